// Linux platform layer: the settings file lives in the per-user data folder
// (XDG base directories), the archives in the working directory or the
// installed or built data folder, and web addresses go to xdg-open.
//
// When no settings folder can be found or created, platformSettingsPath
// returns "": the game then starts with default settings and cannot save.
#include "platform/platform.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// Where the archives lie, given by the build; the defaults let the file
// compile on its own. An empty build folder means there is none.
#ifndef TINTARIA_BUILD_DATA_DIR
#define TINTARIA_BUILD_DATA_DIR ""
#endif
#ifndef TINTARIA_INSTALL_DATA_SUBDIR
#define TINTARIA_INSTALL_DATA_SUBDIR "share/tintaria"
#endif
#ifndef TINTARIA_INSTALL_BIN_SUBDIR
#define TINTARIA_INSTALL_BIN_SUBDIR "bin"
#endif

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

static const char settingsFolderName[] = "tintaria";
static const char settingsFileName[] = "pigmora-tintaria-cfg";
static const char interfaceArchiveName[] = "interface.pak";

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

static std::string joinPath(const std::string& folder, const std::string& name)
{
    return (folder.empty() || folder.back() == '/') ? folder + name : folder + "/" + name;
}

static bool isAbsolute(const char* path)
{
    return path != nullptr && path[0] == '/';
}

static bool isDirectory(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

static bool folderHoldsInterfaceArchive(const std::string& folder)
{
    struct stat info;
    std::string archive = joinPath(folder, interfaceArchiveName);
    return stat(archive.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Creates the folder unless it already is one.
static bool makeFolder(const std::string& path, mode_t mode)
{
    if (isDirectory(path) || mkdir(path.c_str(), mode) == 0) {
        return true;
    }
    return errno == EEXIST && isDirectory(path);
}

// Creates the folder and every missing folder above it.
static bool makeFolderTree(const std::string& path, mode_t mode)
{
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        if (path[slash - 1] != '/' && !makeFolder(path.substr(0, slash), mode)) {
            return false;
        }
    }
    return makeFolder(path, mode);
}

static std::string parentFolder(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The per-user data folder: $XDG_DATA_HOME, else ~/.local/share. Relative
// values are ignored because the program changes its working directory.
static std::string userDataFolder()
{
    const char* dataHome = getenv("XDG_DATA_HOME");
    if (isAbsolute(dataHome)) {
        return dataHome;
    }
    const char* home = getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
        const struct passwd* user = getpwuid(getuid());
        home = user ? user->pw_dir : nullptr;
    }
    if (!isAbsolute(home)) {
        return "";
    }
    return joinPath(home, ".local/share");
}

static std::string executableFolder()
{
    std::vector<char> buffer(4096);
    ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0 || static_cast<size_t>(length) >= buffer.size()) {
        return "";
    }
    return parentFolder(std::string(buffer.data(), static_cast<size_t>(length)));
}

// The installed data folder: <prefix>/share/tintaria for an executable in
// <prefix>/bin. An executable elsewhere is taken to sit one level below the prefix.
static std::string installedDataFolder()
{
    std::string dataSubdir = TINTARIA_INSTALL_DATA_SUBDIR;
    if (isAbsolute(dataSubdir.c_str())) {
        return dataSubdir;
    }
    std::string binFolder = executableFolder();
    if (binFolder.empty()) {
        return "";
    }
    std::string binSubdir = std::string("/") + TINTARIA_INSTALL_BIN_SUBDIR;
    std::string prefix;
    if (binFolder.size() > binSubdir.size() &&
        binFolder.compare(binFolder.size() - binSubdir.size(), binSubdir.size(), binSubdir) == 0) {
        prefix = binFolder.substr(0, binFolder.size() - binSubdir.size());
    } else {
        prefix = parentFolder(binFolder);
    }
    return joinPath(prefix, dataSubdir);
}

// Writes all bytes, going on after short writes and interruptions.
static bool writeAll(int descriptor, const void* bytes, size_t size)
{
    const char* next = static_cast<const char*>(bytes);
    while (size > 0) {
        ssize_t written = write(descriptor, next, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        next += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// Makes a rename inside the folder durable; some file systems refuse, which is harmless.
static void syncFolder(const std::string& folder)
{
    int descriptor = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor >= 0) {
        fsync(descriptor);
        close(descriptor);
    }
}

// ---------------------------------------------------------------------------
// Files and folders
// ---------------------------------------------------------------------------

std::string platformSettingsPath()
{
    std::string base = userDataFolder();
    if (base.empty() || !makeFolderTree(base, 0755)) {
        return "";
    }
    std::string folder = joinPath(base, settingsFolderName);
    if (!makeFolder(folder, 0700)) {
        return "";
    }
    return joinPath(folder, settingsFileName);
}

// Archives are opened by bare name, so the program works from the folder
// that holds them. Search order: the working directory, the installed data
// folder beside the executable, the build tree's data folder; when none
// holds the archives the working directory stays.
void platformEnterDataDirectory()
{
    if (folderHoldsInterfaceArchive(".")) {
        return;
    }
    std::string installed = installedDataFolder();
    if (!installed.empty() && folderHoldsInterfaceArchive(installed) && chdir(installed.c_str()) == 0) {
        return;
    }
    std::string built = TINTARIA_BUILD_DATA_DIR;
    if (!built.empty() && isDirectory(built) && chdir(built.c_str()) == 0) {
        return;
    }
}

// The new contents go to a temporary file in the same folder, reach the
// disk, and only then take the old file's name in one rename.
bool platformReplaceFile(const std::string& path, const void* bytes, size_t size)
{
    std::string temporaryPath = path + ".tmp-XXXXXX";
    std::vector<char> nameBuffer(temporaryPath.begin(), temporaryPath.end());
    nameBuffer.push_back('\0');

    int descriptor = mkostemp(nameBuffer.data(), O_CLOEXEC);
    if (descriptor < 0) {
        return false;
    }
    temporaryPath = nameBuffer.data();

    bool written = writeAll(descriptor, bytes, size) && fsync(descriptor) == 0;
    bool closed = close(descriptor) == 0;
    if (!written || !closed || rename(temporaryPath.c_str(), path.c_str()) != 0) {
        unlink(temporaryPath.c_str());
        return false;
    }
    syncFolder(parentFolder(path));
    return true;
}

// ---------------------------------------------------------------------------
// Video
// ---------------------------------------------------------------------------

void platformPrepareVideo()
{
    // sdl12-compat otherwise draws OpenGL into an off-screen framebuffer that
    // it scales to the window; glReadPixels of the back buffer then reads
    // black without an error, and the game reads the colour under the mouse
    // back every frame. A value the user set is kept.
    setenv("SDL12COMPAT_OPENGL_SCALING", "0", 0);
}

// ---------------------------------------------------------------------------
// Web addresses
// ---------------------------------------------------------------------------

// xdg-open runs in a grandchild that init adopts, so nothing is left to reap
// while the game goes on; the address is one argument, never seen by a shell.
void platformOpenAddress(const std::string& address)
{
    // Everything the children need is prepared here: after fork only
    // async-signal-safe calls are made.
    std::string program = "xdg-open";
    std::vector<char*> arguments = {&program[0], const_cast<char*>(address.c_str()), nullptr};

    pid_t child = fork();
    if (child < 0) {
        return;
    }
    if (child == 0) {
        if (fork() == 0) {
            int nullInput = open("/dev/null", O_RDONLY);
            if (nullInput >= 0) {
                dup2(nullInput, STDIN_FILENO);
            }
            closefrom(STDERR_FILENO + 1);
            execvp(arguments[0], arguments.data());
            _exit(127);
        }
        _exit(0);
    }
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
}
