// Turns the registry's "http\shell\open\command" value into the program to
// start and its command line. Portable and pure, so it is tested everywhere.
#include "platform/platform.h"

#include <cstring>

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

static char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// True when text holds ".exe" at position, ignoring ASCII case.
static bool exeSuffixAt(const std::string& text, size_t position)
{
    static const char suffix[] = ".exe";
    for (size_t i = 0; i < 4; ++i) {
        if (asciiLower(text[position + i]) != suffix[i]) {
            return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------
// Web addresses
// ---------------------------------------------------------------------------

BrowserCommand browserCommandFromRegistryValue(const char* value, size_t capacity, const std::string& address)
{
    // A value that fills the whole buffer has no terminator: it ends at the
    // buffer's end rather than wherever the next zero byte happens to be.
    std::string path;
    if (value != nullptr && capacity > 0) {
        const void* terminator = std::memchr(value, '\0', capacity);
        size_t length = terminator ? static_cast<size_t>(static_cast<const char*>(terminator) - value) : capacity;
        path.assign(value, length);
    }

    if (!path.empty() && path[0] == '"') {
        path.erase(0, 1);
    }

    // Cutting after ".exe" drops the closing quote and the browser's own arguments.
    if (path.size() >= 4) {
        for (size_t position = 0; position <= path.size() - 4; ++position) {
            if (exeSuffixAt(path, position)) {
                path.resize(position + 4);
                break;
            }
        }
    }

    size_t lastSlash = path.rfind('/');
    std::string programName = (lastSlash == std::string::npos) ? path : path.substr(lastSlash + 1);

    BrowserCommand command;
    command.path = path;
    command.commandLine = "\"" + programName + "\" " + address;
    return command;
}
