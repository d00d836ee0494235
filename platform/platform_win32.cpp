// Windows platform layer: the settings file lives in the all-users
// application-data folder, the archives beside the program, and web
// addresses go to the browser named in the registry.
//
// When the application-data folder cannot be found, platformSettingsPath
// returns "": the game then starts with default settings and cannot save.
#include "platform/platform.h"

#include <cstdlib>
#include <string>
#include <vector>

#include <windows.h>
#include <shlobj.h>

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

static const char settingsFileName[] = "pigmora-tintaria-cfg";
static const char interfaceArchiveName[] = "interface.pak";
static const DWORD registryValueCapacity = 256;
// Attempts at a fresh temporary name before giving up on a replacement.
static const unsigned temporaryNameAttempts = 100;

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

static bool isRegularFile(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

static std::string executableFolder()
{
    std::vector<char> buffer(MAX_PATH * 4);
    DWORD length = GetModuleFileNameA(NULL, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0 || length >= buffer.size()) {
        return "";
    }
    std::string path(buffer.data(), length);
    size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? "" : path.substr(0, separator);
}

// Creates a temporary file next to path that no other file or process uses.
static HANDLE createTemporaryFile(const std::string& path, std::string& temporaryPath)
{
    std::string stem = path + ".tmp-" + std::to_string(GetCurrentProcessId()) + "-";
    for (unsigned attempt = 0; attempt < temporaryNameAttempts; ++attempt) {
        temporaryPath = stem + std::to_string(attempt);
        HANDLE file = CreateFileA(temporaryPath.c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) {
            return file;
        }
    }
    return INVALID_HANDLE_VALUE;
}

// Writes all bytes; WriteFile takes at most a DWORD's worth at a time.
static bool writeAll(HANDLE file, const void* bytes, size_t size)
{
    const char* next = static_cast<const char*>(bytes);
    while (size > 0) {
        DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(file, next, chunk, &written, NULL) || written == 0) {
            return false;
        }
        next += written;
        size -= written;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Files and folders
// ---------------------------------------------------------------------------

std::string platformSettingsPath()
{
    char folder[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathA(NULL, CSIDL_COMMON_APPDATA | CSIDL_FLAG_CREATE, NULL, 0 /* SHGFP_TYPE_CURRENT */,
                                folder))) {
        return "";
    }
    return std::string(folder) + "\\" + settingsFileName;
}

// The archives normally lie beside the program in the working directory; a
// program started from elsewhere looks in its own folder.
void platformEnterDataDirectory()
{
    if (isRegularFile(interfaceArchiveName)) {
        return;
    }
    std::string folder = executableFolder();
    if (!folder.empty() && isRegularFile(folder + "\\" + interfaceArchiveName)) {
        SetCurrentDirectoryA(folder.c_str());
    }
}

// The new contents go to a temporary file in the same folder, reach the
// disk, and only then take the old file's name.
bool platformReplaceFile(const std::string& path, const void* bytes, size_t size)
{
    std::string temporaryPath;
    HANDLE file = createTemporaryFile(path, temporaryPath);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool written = writeAll(file, bytes, size) && FlushFileBuffers(file);
    bool closed = CloseHandle(file) != 0;
    if (!written || !closed ||
        !MoveFileExA(temporaryPath.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(temporaryPath.c_str());
        return false;
    }
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
    // back every frame. A value the user set is kept. _putenv_s changes both
    // the C runtime's copy and the process environment that SDL reads.
    if (getenv("SDL12COMPAT_OPENGL_SCALING") == nullptr) {
        _putenv_s("SDL12COMPAT_OPENGL_SCALING", "0");
    }
}

// ---------------------------------------------------------------------------
// Web addresses
// ---------------------------------------------------------------------------

// The default browser's command comes from the registry. A missing key or
// value starts nothing; the caller quits the program all the same.
void platformOpenAddress(const std::string& address)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "http\\shell\\open\\command", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return;
    }
    char value[registryValueCapacity] = {};
    DWORD size = registryValueCapacity;
    LONG status = RegQueryValueExA(key, NULL, NULL, NULL, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        return;
    }

    BrowserCommand command = browserCommandFromRegistryValue(value, registryValueCapacity, address);
    std::vector<char> commandLine(command.commandLine.begin(), command.commandLine.end());
    commandLine.push_back('\0');

    STARTUPINFOA startupInfo;
    ZeroMemory(&startupInfo, sizeof startupInfo);
    startupInfo.cb = sizeof startupInfo;
    PROCESS_INFORMATION processInfo;
    ZeroMemory(&processInfo, sizeof processInfo);
    if (CreateProcessA(command.path.c_str(), commandLine.data(), NULL, NULL, FALSE, 0, NULL, NULL, &startupInfo,
                       &processInfo)) {
        CloseHandle(processInfo.hThread);
        CloseHandle(processInfo.hProcess);
    }
}
