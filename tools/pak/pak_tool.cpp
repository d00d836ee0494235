// tintaria-pak: lists, extracts, creates and prints .pak archives, the files
// every image, model and sound of the game is read from.
//
//   tintaria-pak list ARCHIVE              size, a tab and the name of each entry
//   tintaria-pak extract ARCHIVE DIR       each entry to DIR/name
//   tintaria-pak create ARCHIVE FILE...    each file stored under its base name
//   tintaria-pak create ARCHIVE -C DIR NAME...   DIR/NAME stored as NAME
//   tintaria-pak cat ARCHIVE ENTRY         the entry's bytes on standard output
//
// Exit status: 0 on success, 1 on a failure (explained in one line on the
// standard error stream), 2 on bad usage.
#include "resources/resources.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

static const char usageText[] =
    "usage: tintaria-pak list ARCHIVE\n"
    "       tintaria-pak extract ARCHIVE DIR\n"
    "       tintaria-pak create ARCHIVE FILE...\n"
    "       tintaria-pak create ARCHIVE -C DIR NAME...\n"
    "       tintaria-pak cat ARCHIVE ENTRY\n";

static const size_t maximumNameLength = 127;

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

static int usage() {
    fputs(usageText, stderr);
    return 2;
}

static int fail(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    fputs("tintaria-pak: ", stderr);
    vfprintf(stderr, format, arguments);
    fputc('\n', stderr);
    va_end(arguments);
    return 1;
}

static bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

// Names are bytes from a file; one that would land outside the target folder
// (absolute, a drive, a ".." component) or cannot be a file name is refused.
// Backslashes count as separators so an archive is judged the same everywhere.
static bool isSafeEntryName(const std::string& name) {
    if (name.empty() || isSeparator(name[0])) return false;
    if (name.size() >= 2 && name[1] == ':') return false;
    if (name.find('\0') != std::string::npos) return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = start;
        while (end < name.size() && !isSeparator(name[end])) end++;
        if (name.compare(start, end - start, "..") == 0) return false;
        start = end + 1;
    }
    return true;
}

static std::string baseName(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

static std::string joinPath(const std::string& directory, const std::string& name) {
    if (directory.empty() || directory.back() == '/') return directory + name;
    return directory + "/" + name;
}

// Loads the archive or explains in one line why not; false after explaining.
static bool loadOrExplain(PakArchive* archive, const char* fileName) {
    std::vector<uint8_t> bytes;
    errno = 0;
    if (!readFileBytes(fileName, bytes)) {
        if (errno != 0) fail("cannot read %s: %s", fileName, strerror(errno));
        else fail("cannot read %s", fileName);
        return false;
    }
    if (!parseArchive(archive, bytes.data(), bytes.size())) {
        fail("%s is damaged: an entry count, name length or size does not fit the file", fileName);
        return false;
    }
    return true;
}

static bool addNamedFile(PakArchive* archive, const std::string& path, const std::string& name) {
    if (name.empty()) {
        fail("%s gives no entry name", path.c_str());
        return false;
    }
    if (name.size() > maximumNameLength) {
        fail("entry name of %s is longer than %zu bytes", path.c_str(), maximumNameLength);
        return false;
    }
    std::vector<uint8_t> bytes;
    errno = 0;
    if (!readFileBytes(path.c_str(), bytes)) {
        fail("cannot read %s%s%s", path.c_str(), errno ? ": " : "", errno ? strerror(errno) : "");
        return false;
    }
    addEntryFromMemory(archive, name, bytes.data(), bytes.size());
    return true;
}

// ---------------------------------------------------------------------------
// Commands
// ---------------------------------------------------------------------------

static int listArchive(const char* fileName) {
    PakArchive archive;
    if (!loadOrExplain(&archive, fileName)) return 1;
    for (size_t i = 0; i < archive.names.size(); i++) {
        printf("%ld\t", (long)archive.sizes[i]);
        fwrite(archive.names[i].data(), 1, archive.names[i].size(), stdout);
        putchar('\n');
    }
    clearArchive(&archive);
    if (fflush(stdout) != 0 || ferror(stdout)) return fail("cannot write the listing");
    return 0;
}

static int extractArchive(const char* fileName, const std::string& directory) {
    PakArchive archive;
    if (!loadOrExplain(&archive, fileName)) return 1;
    // Every name is checked before anything is written, so a refused archive leaves no files behind.
    for (size_t i = 0; i < archive.names.size(); i++) {
        const std::string& name = archive.names[i];
        if (!isSafeEntryName(name)) {
            clearArchive(&archive);
            return fail("%s: entry %zu is named \"%s\", which cannot be written inside %s; nothing extracted",
                        fileName, i + 1, name.c_str(), directory.c_str());
        }
        for (size_t j = 0; j < i; j++) {
            if (archive.names[j] == name) {
                fprintf(stderr, "tintaria-pak: warning: %s holds \"%s\" more than once; the game reads the first, "
                        "the extracted file is the last\n", fileName, name.c_str());
                break;
            }
        }
    }
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    for (size_t i = 0; i < archive.names.size() && !error; i++) {
        std::filesystem::path parent = std::filesystem::path(joinPath(directory, archive.names[i])).parent_path();
        std::filesystem::create_directories(parent, error);
    }
    bool extracted = !error && extractAllEntries(&archive, joinPath(directory, ""));
    clearArchive(&archive);
    if (!extracted) return fail("cannot write the entries of %s into %s", fileName, directory.c_str());
    return 0;
}

static int createArchive(const char* fileName, int count, char** arguments) {
    PakArchive archive;
    bool added = true;
    if (count >= 2 && strcmp(arguments[0], "-C") == 0) {
        std::string directory = arguments[1];
        if (count == 2) return usage();
        for (int i = 2; i < count && added; i++) {
            std::string name = arguments[i];
            if (!isSafeEntryName(name)) {
                added = false;
                fail("\"%s\" cannot be an entry name: it would not stay inside the folder it is extracted to",
                     name.c_str());
            } else {
                added = addNamedFile(&archive, joinPath(directory, name), name);
            }
        }
    } else {
        if (count == 0 || strcmp(arguments[0], "-C") == 0) return usage();
        for (int i = 0; i < count && added; i++) added = addNamedFile(&archive, arguments[i], baseName(arguments[i]));
    }
    bool written = added && writeArchiveFile(&archive, fileName);
    clearArchive(&archive);
    if (!added) return 1;
    if (!written) return fail("cannot write %s", fileName);
    return 0;
}

static int catEntry(const char* fileName, const char* entryName) {
    PakArchive archive;
    if (!loadOrExplain(&archive, fileName)) return 1;
    int32_t size = 0;
    const uint8_t* bytes = findEntry(&archive, entryName, &size);
    int status = 0;
    if (!bytes) {
        status = fail("%s has no entry \"%s\"", fileName, entryName);
    } else if (fwrite(bytes, 1, (size_t)size, stdout) != (size_t)size || fflush(stdout) != 0) {
        status = fail("cannot write the entry");
    }
    clearArchive(&archive);
    return status;
}

int main(int argc, char** argv) {
    if (argc < 3) return usage();
    std::string command = argv[1];
    if (command == "list" && argc == 3) return listArchive(argv[2]);
    if (command == "extract" && argc == 4 && argv[3][0] != '\0') return extractArchive(argv[2], argv[3]);
    if (command == "create") return createArchive(argv[2], argc - 3, argv + 3);
    if (command == "cat" && argc == 4) return catEntry(argv[2], argv[3]);
    return usage();
}
