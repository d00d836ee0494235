// The Linux platform layer against the real file system, environment and
// process table, and the portable browser-command parsing.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <fcntl.h>
#include <memory>
#include <set>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

struct RegistryCase {
    const char* name;
    std::string value;  // the bytes in the buffer before its zero fill, may hold a NUL
    std::string expectedPath;
    std::string expectedCommandLine;
};

// Folders are given relative to the test's temporary folder ("@" stands for it); null means unset.
struct SettingsCase {
    const char* name;
    const char* dataHome;
    const char* home;
    const char* expectedFolder;  // null: no path can be given
    const char* createdParent;   // a folder the call had to create above ours, or null
};

struct ReplaceCase {
    const char* name;
    bool oldFileExists;
    std::string oldBytes;
    std::string newBytes;
};

// Where the program copy lies and what it finds, relative to the prefix folder.
struct DataDirectoryCase {
    const char* name;
    const char* executableFolder;
    bool workingDirectoryHoldsArchive;
    bool installedFolderExists;
    bool installedFolderHoldsArchive;
    const char* expected;  // "work", "installed" or "build"
};

// Sets or unsets an environment variable for one scope.
struct ScopedEnvironment {
    std::string name;
    bool wasSet;
    std::string previous;

    ScopedEnvironment(const char* variable, const char* value) : name(variable)
    {
        const char* old = getenv(variable);
        wasSet = old != nullptr;
        previous = old ? old : "";
        if (value) {
            setenv(variable, value, 1);
        } else {
            unsetenv(variable);
        }
    }
    ~ScopedEnvironment()
    {
        if (wasSet) {
            setenv(name.c_str(), previous.c_str(), 1);
        } else {
            unsetenv(name.c_str());
        }
    }
};

static std::string makeTempFolder(const char* tag);

// A fresh temporary folder, removed with everything in it at the end of the scope.
struct ScopedFolder {
    std::string path;

    explicit ScopedFolder(const char* tag) : path(makeTempFolder(tag)) {}
    ~ScopedFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

// Works in another folder for one scope.
struct ScopedWorkingDirectory {
    std::string previous;

    explicit ScopedWorkingDirectory(const std::string& folder)
    {
        char buffer[PATH_MAX];
        previous = getcwd(buffer, sizeof buffer) ? buffer : "/";
        EXPECT_EQ(chdir(folder.c_str()), 0) << folder;
    }
    ~ScopedWorkingDirectory() { EXPECT_EQ(chdir(previous.c_str()), 0); }
};

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

static const char probeVariable[] = "TINTARIA_PLATFORM_TEST_PROBE";
static const char address[] = "https://example.org/facebook/?utm_source=tintaria&utm_medium=win-ad&utm_campaign=de";

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

// A copy of this program started with the probe variable set enters its data
// directory and writes where it ended up into the file the variable names.
static int runDataDirectoryProbe()
{
    const char* report = getenv(probeVariable);
    if (report == nullptr) {
        return 0;
    }
    platformEnterDataDirectory();
    char folder[PATH_MAX];
    FILE* file = fopen(report, "w");
    if (file && getcwd(folder, sizeof folder)) {
        fputs(folder, file);
    }
    if (file) {
        fclose(file);
    }
    _exit(0);
}

[[maybe_unused]] static const int probeDone = runDataDirectoryProbe();

static std::string resolved(const std::string& path)
{
    char buffer[PATH_MAX];
    return realpath(path.c_str(), buffer) ? buffer : "";
}

static std::string expandTemp(const char* path, const std::string& temp)
{
    std::string text = path;
    if (!text.empty() && text[0] == '@') {
        text.replace(0, 1, temp);
    }
    return text;
}

static std::string makeTempFolder(const char* tag)
{
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base && base[0] ? base : "/tmp") + "/tintaria-" + tag + "-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    return mkdtemp(buffer.data()) ? buffer.data() : "";
}

static std::string readText(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

static bool writeText(const std::string& path, const std::string& text)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    file.close();
    return !file.fail();
}

static std::set<std::string> folderEntries(const std::string& folder)
{
    std::set<std::string> names;
    DIR* directory = opendir(folder.c_str());
    if (directory == nullptr) {
        return names;
    }
    while (const struct dirent* entry = readdir(directory)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.insert(name);
        }
    }
    closedir(directory);
    return names;
}

static mode_t permissions(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

static bool isDirectory(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Waits for a file that another process finishes by renaming it into place.
static bool waitForFile(const std::string& path)
{
    for (int attempt = 0; attempt < 500; ++attempt) {
        if (access(path.c_str(), F_OK) == 0) {
            return true;
        }
        usleep(20000);
    }
    return false;
}

// Starts program from folder with the probe variable naming report; true when it exited with 0.
static bool runProbe(const std::string& program, const std::string& folder, const std::string& report)
{
    pid_t child = fork();
    if (child == 0) {
        if (chdir(folder.c_str()) == 0) {
            setenv(probeVariable, report.c_str(), 1);
            execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        }
        _exit(127);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// ---------------------------------------------------------------------------
// Browser command from the registry value
// ---------------------------------------------------------------------------

TEST(BrowserCommandFromRegistryValue, TurnsValuesIntoPathAndCommandLine)
{
    const RegistryCase cases[] = {
        {"quoted path in capitals with arguments",
         "\"C:\\Program Files\\Mozilla Firefox\\FIREFOX.EXE\" -osint -url \"%1\"",
         "C:\\Program Files\\Mozilla Firefox\\FIREFOX.EXE",
         std::string("\"C:\\Program Files\\Mozilla Firefox\\FIREFOX.EXE\" ") + address},
        {"no .exe keeps the whole value", "C:\\browsers\\open-url %1", "C:\\browsers\\open-url %1",
         std::string("\"C:\\browsers\\open-url %1\" ") + address},
        {"slashes: program name after the last one", "\"C:/Program Files/Web/browser.exe\" --url \"%1\"",
         "C:/Program Files/Web/browser.exe", std::string("\"browser.exe\" ") + address},
        {"first .exe wins", "\"D:\\tools.exe.d\\browser.exe\" %1", "D:\\tools.exe",
         std::string("\"D:\\tools.exe\" ") + address},
        {"mixed case at the very end", "C:\\b.ExE", "C:\\b.ExE", std::string("\"C:\\b.ExE\" ") + address},
        {"only a later quote is kept", "C:\\x y\\\"b\" %1", "C:\\x y\\\"b\" %1",
         std::string("\"C:\\x y\\\"b\" %1\" ") + address},
        {"stops at the terminator", std::string("C:\\web\\open\0.exe junk", 21), "C:\\web\\open",
         std::string("\"C:\\web\\open\" ") + address},
        {"shorter than .exe", "\".e", ".e", std::string("\".e\" ") + address},
        {"empty value", "", "", std::string("\"\" ") + address},
    };
    for (const RegistryCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<char> buffer(256, '\0');
        std::copy(c.value.begin(), c.value.end(), buffer.begin());
        BrowserCommand command = browserCommandFromRegistryValue(buffer.data(), buffer.size(), address);
        EXPECT_EQ(command.path, c.expectedPath);
        EXPECT_EQ(command.commandLine, c.expectedCommandLine);
    }
}

// The registry fills the whole buffer and leaves no terminator: only the 256
// bytes count. The exact-size block lets AddressSanitizer see an overrun;
// the second block has a ".exe" and a terminator right after the capacity,
// which a read past the end would pick up.
TEST(BrowserCommandFromRegistryValue, ReadsAnUnterminatedValueOnlyInsideTheBuffer)
{
    const size_t capacity = 256;
    std::string filling = "\"" + std::string(capacity - 1, 'w');

    std::unique_ptr<char[]> exactBlock(new char[capacity]);
    std::memcpy(exactBlock.get(), filling.data(), capacity);
    BrowserCommand exact = browserCommandFromRegistryValue(exactBlock.get(), capacity, address);
    EXPECT_EQ(exact.path, std::string(capacity - 1, 'w'));

    std::string trailer = ".exe\" %1";
    std::unique_ptr<char[]> longerBlock(new char[capacity + trailer.size() + 1]);
    std::memcpy(longerBlock.get(), filling.data(), capacity);
    std::memcpy(longerBlock.get() + capacity, trailer.c_str(), trailer.size() + 1);
    BrowserCommand bounded = browserCommandFromRegistryValue(longerBlock.get(), capacity, address);
    EXPECT_EQ(bounded.path, std::string(capacity - 1, 'w'));
    EXPECT_EQ(bounded.commandLine, "\"" + std::string(capacity - 1, 'w') + "\" " + address);
}

// ---------------------------------------------------------------------------
// Settings path
// ---------------------------------------------------------------------------

TEST(PlatformSettingsPath, FindsOrCreatesThePerUserFolder)
{
    const SettingsCase cases[] = {
        {"fresh nested XDG_DATA_HOME", "@/xdg/deep", "@/home", "@/xdg/deep/tintaria", "@/xdg/deep"},
        {"XDG_DATA_HOME with a trailing slash", "@/xdg-slash/", "@/home", "@/xdg-slash/tintaria", nullptr},
        {"XDG_DATA_HOME unset", nullptr, "@/home", "@/home/.local/share/tintaria", "@/home/.local"},
        {"XDG_DATA_HOME empty", "", "@/home", "@/home/.local/share/tintaria", nullptr},
        {"XDG_DATA_HOME relative", "relative/data", "@/home", "@/home/.local/share/tintaria", nullptr},
        {"XDG_DATA_HOME under a regular file", "@/plain/data", "@/home", nullptr, nullptr},
        {"our folder name taken by a regular file", "@/occupied", "@/home", nullptr, nullptr},
        {"HOME under a regular file", nullptr, "@/plain/home", nullptr, nullptr},
    };
    for (const SettingsCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedFolder temp("settings");
        ASSERT_FALSE(temp.path.empty());
        ASSERT_EQ(mkdir((temp.path + "/home").c_str(), 0755), 0);
        ASSERT_EQ(mkdir((temp.path + "/occupied").c_str(), 0755), 0);
        ASSERT_TRUE(writeText(temp.path + "/occupied/tintaria", "a file"));
        ASSERT_TRUE(writeText(temp.path + "/plain", "a file"));
        // A relative value would be resolved here, inside the temporary folder.
        ScopedWorkingDirectory work(temp.path);
        ScopedEnvironment dataHome("XDG_DATA_HOME",
                                   c.dataHome ? expandTemp(c.dataHome, temp.path).c_str() : nullptr);
        ScopedEnvironment home("HOME", expandTemp(c.home, temp.path).c_str());
        mode_t previousMask = umask(022);

        std::string path = platformSettingsPath();
        umask(previousMask);

        if (c.expectedFolder == nullptr) {
            EXPECT_EQ(path, "");
            continue;
        }
        std::string folder = expandTemp(c.expectedFolder, temp.path);
        EXPECT_EQ(path, folder + "/pigmora-tintaria-cfg");
        EXPECT_TRUE(isDirectory(folder));
        EXPECT_EQ(permissions(folder), 0700u);
        if (c.createdParent) {
            EXPECT_EQ(permissions(expandTemp(c.createdParent, temp.path)), 0755u);
        }
        EXPECT_FALSE(isDirectory(temp.path + "/relative"));
    }
}

// ---------------------------------------------------------------------------
// Replacing files
// ---------------------------------------------------------------------------

TEST(PlatformReplaceFile, LeavesExactlyTheNewBytes)
{
    std::string binary("\0\1\2\377settings\0\n", 14);
    const ReplaceCase cases[] = {
        {"new file", false, "", binary},
        {"longer file replaced by a shorter one", true, std::string(5000, 'o'), "short"},
        {"replaced by nothing", true, "old", ""},
        {"large contents", true, "old", std::string(3 << 20, 'L')},
    };
    for (const ReplaceCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedFolder temp("replace");
        std::string path = temp.path + "/cfg";
        if (c.oldFileExists) {
            ASSERT_TRUE(writeText(path, c.oldBytes));
        }

        EXPECT_TRUE(platformReplaceFile(path, c.newBytes.data(), c.newBytes.size()));

        EXPECT_EQ(readText(path), c.newBytes);
        EXPECT_EQ(folderEntries(temp.path), std::set<std::string>{"cfg"});
    }
}

// Tests run as root, where permissions stop nothing, so the failures come
// from a missing folder, a folder in the file's place and unreadable bytes.
TEST(PlatformReplaceFile, FailureKeepsTheOldStateAndLeavesNoTemporary)
{
    const size_t pageSize = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    void* unreadable = mmap(nullptr, pageSize, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(unreadable, MAP_FAILED);
    std::string bytes = "new contents";

    {
        SCOPED_TRACE("folder does not exist");
        ScopedFolder temp("replace");
        EXPECT_FALSE(platformReplaceFile(temp.path + "/missing/cfg", bytes.data(), bytes.size()));
        EXPECT_TRUE(folderEntries(temp.path).empty());
    }
    {
        SCOPED_TRACE("a folder has the file's name");
        ScopedFolder temp("replace");
        ASSERT_EQ(mkdir((temp.path + "/cfg").c_str(), 0755), 0);
        ASSERT_TRUE(writeText(temp.path + "/cfg/inside", "kept"));
        EXPECT_FALSE(platformReplaceFile(temp.path + "/cfg", bytes.data(), bytes.size()));
        EXPECT_EQ(folderEntries(temp.path), std::set<std::string>{"cfg"});
        EXPECT_EQ(readText(temp.path + "/cfg/inside"), "kept");
    }
    {
        SCOPED_TRACE("the bytes cannot be read");
        ScopedFolder temp("replace");
        std::string old("old\0settings", 12);
        ASSERT_TRUE(writeText(temp.path + "/cfg", old));
        EXPECT_FALSE(platformReplaceFile(temp.path + "/cfg", unreadable, pageSize));
        EXPECT_EQ(readText(temp.path + "/cfg"), old);
        EXPECT_EQ(folderEntries(temp.path), std::set<std::string>{"cfg"});
    }
    munmap(unreadable, pageSize);
}

// ---------------------------------------------------------------------------
// Data directory
// ---------------------------------------------------------------------------

// A copy of this program placed in a made-up installation tree reports where
// platformEnterDataDirectory took it.
TEST(PlatformEnterDataDirectory, FollowsTheSearchOrder)
{
    std::string buildData = resolved(TINTARIA_BINARY_DIR "/data");
    const DataDirectoryCase cases[] = {
        {"working directory holds the archives", "bin", true, true, true, "work"},
        {"installed data folder", "bin", false, true, true, "installed"},
        {"installed data folder without archives", "bin", false, true, false, "build"},
        {"no installed data folder", "bin", false, false, false, "build"},
        {"program outside bin", "games", false, true, true, "installed"},
    };
    for (const DataDirectoryCase& c : cases) {
        SCOPED_TRACE(c.name);
        if (std::string(c.expected) == "build" && buildData.empty()) {
            GTEST_SKIP() << "the build tree has no data folder";
        }
        ScopedFolder temp("datadir");
        std::string prefix = temp.path + "/prefix";
        std::string work = temp.path + "/work";
        std::string installed = prefix + "/share/tintaria";
        std::string program = prefix + "/" + c.executableFolder + "/platform_test";
        ASSERT_EQ(mkdir(work.c_str(), 0755), 0);
        ASSERT_EQ(mkdir(prefix.c_str(), 0755), 0);
        ASSERT_EQ(mkdir((prefix + "/" + c.executableFolder).c_str(), 0755), 0);
        ASSERT_TRUE(writeText(program, readText("/proc/self/exe")));
        ASSERT_EQ(chmod(program.c_str(), 0755), 0);
        if (c.workingDirectoryHoldsArchive) {
            ASSERT_TRUE(writeText(work + "/interface.pak", "pak"));
        }
        if (c.installedFolderExists) {
            ASSERT_EQ(mkdir((prefix + "/share").c_str(), 0755), 0);
            ASSERT_EQ(mkdir(installed.c_str(), 0755), 0);
        }
        if (c.installedFolderHoldsArchive) {
            ASSERT_TRUE(writeText(installed + "/interface.pak", "pak"));
        }

        std::string report = temp.path + "/report";
        ASSERT_TRUE(runProbe(program, work, report));

        std::string expected = std::string(c.expected) == "work"        ? resolved(work)
                               : std::string(c.expected) == "installed" ? resolved(installed)
                                                                        : buildData;
        EXPECT_EQ(resolved(readText(report)), expected);
    }
}

// ---------------------------------------------------------------------------
// Video
// ---------------------------------------------------------------------------

TEST(PlatformPrepareVideo, TurnsOffOpenGLScalingUnlessTheUserChose)
{
    struct Case {
        const char* before;  // null: unset
        const char* after;
    };
    const Case cases[] = {{nullptr, "0"}, {"1", "1"}, {"", ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before ? c.before : "unset");
        ScopedEnvironment scaling("SDL12COMPAT_OPENGL_SCALING", c.before);
        platformPrepareVideo();
        const char* value = getenv("SDL12COMPAT_OPENGL_SCALING");
        ASSERT_NE(value, nullptr);
        EXPECT_STREQ(value, c.after);
    }
}

// ---------------------------------------------------------------------------
// Web addresses
// ---------------------------------------------------------------------------

// A stand-in xdg-open first on PATH records its arguments, its standard input
// and whether it inherited a descriptor the test holds open.
TEST(PlatformOpenAddress, PassesTheAddressAsOneArgumentAndLeavesNoZombie)
{
    const int heldDescriptor = 57;
    const char* addresses[] = {
        address,
        "https://example.org/a b; touch shell-ran & $(touch substituted) `touch quoted` 'q' \"d\" > redirected",
    };
    ScopedFolder temp("open");
    std::string bin = temp.path + "/bin";
    ASSERT_EQ(mkdir(bin.c_str(), 0755), 0);
    ASSERT_TRUE(writeText(bin + "/xdg-open",
                          "#!/bin/sh\n"
                          "{\n"
                          "  printf '%s\\n' \"$#\"\n"
                          "  for argument in \"$@\"; do printf '%s\\n' \"$argument\"; done\n"
                          "  printf 'stdin=%s\\n' \"$(readlink /proc/$$/fd/0)\"\n"
                          "  if [ -e /proc/$$/fd/57 ]; then echo held=yes; else echo held=no; fi\n"
                          "} > \"$TINTARIA_FAKE_XDG_REPORT.partial\"\n"
                          "mv \"$TINTARIA_FAKE_XDG_REPORT.partial\" \"$TINTARIA_FAKE_XDG_REPORT\"\n"));
    ASSERT_EQ(chmod((bin + "/xdg-open").c_str(), 0755), 0);
    const char* oldPath = getenv("PATH");
    ScopedEnvironment path("PATH", (bin + ":" + (oldPath ? oldPath : "/usr/bin:/bin")).c_str());

    // The test's own input is a pipe and it holds a descriptor open, so a
    // browser that inherits either can be told apart from a clean start.
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    int savedInput = dup(STDIN_FILENO);
    ASSERT_GE(savedInput, 0);
    ASSERT_EQ(dup2(pipeEnds[0], STDIN_FILENO), STDIN_FILENO);
    ASSERT_EQ(dup2(pipeEnds[1], heldDescriptor), heldDescriptor);

    for (size_t i = 0; i < sizeof addresses / sizeof addresses[0]; ++i) {
        SCOPED_TRACE(addresses[i]);
        std::string work = temp.path + "/work" + std::to_string(i);
        ASSERT_EQ(mkdir(work.c_str(), 0755), 0);
        std::string report = temp.path + "/report" + std::to_string(i);
        ScopedEnvironment reportVariable("TINTARIA_FAKE_XDG_REPORT", report.c_str());
        {
            ScopedWorkingDirectory inWork(work);
            platformOpenAddress(addresses[i]);
        }

        errno = 0;
        EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
        EXPECT_EQ(errno, ECHILD);
        ASSERT_TRUE(waitForFile(report));
        EXPECT_EQ(readText(report), std::string("1\n") + addresses[i] + "\nstdin=/dev/null\nheld=no\n");
        EXPECT_TRUE(folderEntries(work).empty());
    }

    dup2(savedInput, STDIN_FILENO);
    close(savedInput);
    close(heldDescriptor);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
}
