// The .pak archive library: reading archives whole into memory, looking up
// entries, building and writing archives, and the process-wide registry that
// keeps each open archive in memory while somebody holds a reference to it.
#include "resources/resources.h"

#include <SDL/SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// Frees every archive still listed when static objects are destroyed at exit.
// Its one instance is defined after pakLibrary in this file, so it goes first,
// while the library's sequences still exist. GL textures made from entries are
// left alone: the GL context is gone by then.
struct PakLibraryCleanup {
    ~PakLibraryCleanup();
};

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

PakLibrary pakLibrary;
static PakLibraryCleanup pakLibraryCleanup;

// Every entry record holds at least its name-length byte and its size word.
static const size_t minimumEntryRecordSize = 5;
static const size_t maximumNameLength = 127;

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

PakLibraryCleanup::~PakLibraryCleanup() {
    for (PakArchive* archive : pakLibrary.archives) {
        clearArchive(archive);
        delete archive;
    }
    pakLibrary.fileNames.clear();
    pakLibrary.archives.clear();
    pakLibrary.references.clear();
}

static int32_t readInt32(const uint8_t* bytes) {
    uint32_t value = (uint32_t)bytes[0] | (uint32_t)bytes[1] << 8 | (uint32_t)bytes[2] << 16 |
                     (uint32_t)bytes[3] << 24;
    return (int32_t)value;
}

static void appendInt32(std::vector<uint8_t>& out, int32_t value) {
    uint32_t bits = (uint32_t)value;
    out.push_back((uint8_t)bits);
    out.push_back((uint8_t)(bits >> 8));
    out.push_back((uint8_t)(bits >> 16));
    out.push_back((uint8_t)(bits >> 24));
}

// A block of exactly size bytes; new[] of 0 still yields a distinct non-null pointer.
static uint8_t* copyBlock(const uint8_t* bytes, size_t size) {
    uint8_t* block = new uint8_t[size];
    if (size > 0) memcpy(block, bytes, size);
    return block;
}

static void appendEntry(PakArchive* archive, const std::string& name, uint8_t* block, int32_t size) {
    archive->names.push_back(name);
    archive->data.push_back(block);
    archive->sizes.push_back(size);
    archive->entryTextureSlot.push_back(0);
    archive->entryTextureCount.push_back(0);
}

// Reads one entry record at *at, which moves past it; false when the record is damaged.
static bool parseEntry(PakArchive* archive, const uint8_t* bytes, size_t size, size_t* at) {
    size_t left = size - *at;
    if (left < minimumEntryRecordSize) return false;
    int nameLength = bytes[*at] < 128 ? bytes[*at] : bytes[*at] - 256;
    if (nameLength < 0) return false;
    left -= 1;
    if ((size_t)nameLength + 4 > left) return false;
    const uint8_t* name = bytes + *at + 1;
    left -= (size_t)nameLength + 4;
    int32_t dataSize = readInt32(name + nameLength);
    if (dataSize < 0 || (size_t)dataSize > left) return false;
    const uint8_t* data = name + nameLength + 4;
    appendEntry(archive, std::string((const char*)name, (size_t)nameLength), copyBlock(data, (size_t)dataSize),
                dataSize);
    *at += 1 + (size_t)nameLength + 4 + (size_t)dataSize;
    return true;
}

static int findArchiveIndex(const char* fileName) {
    for (size_t i = 0; i < pakLibrary.fileNames.size(); i++) {
        if (pakLibrary.fileNames[i] == fileName) return (int)i;
    }
    return -1;
}

static bool writeBytes(const char* path, const uint8_t* bytes, size_t size) {
    FILE* file = fopen(path, "wb");
    if (!file) return false;
    bool written = size == 0 || fwrite(bytes, 1, size, file) == size;
    if (fclose(file) != 0) written = false;
    return written;
}

// The game cannot go on without its archives, and a damaged one is treated
// like a missing one: the process ends quietly with status 1. SDL goes first:
// its audio thread would otherwise go on mixing from channels that exit's
// destructors are freeing, and the desktop gets its screen mode back.
[[noreturn]] static void endForUnusableArchive() {
    SDL_Quit();
    exit(1);
}

// ---------------------------------------------------------------------------
// Archive library
// ---------------------------------------------------------------------------

PakArchive* openArchive(const char* fileName) {
    int index = findArchiveIndex(fileName);
    if (index >= 0) {
        pakLibrary.references[index]++;
        return pakLibrary.archives[index];
    }
    PakArchive* archive = new PakArchive();
    if (!loadArchiveFile(archive, fileName)) {
        // Freed before ending, so a leak checker at exit has nothing to report.
        delete archive;
        endForUnusableArchive();
    }
    pakLibrary.fileNames.push_back(fileName);
    pakLibrary.archives.push_back(archive);
    pakLibrary.references.push_back(1);
    return archive;
}

const uint8_t* getEntry(const char* fileName, const char* entryName, int32_t* size) {
    return findEntry(openArchive(fileName), entryName, size);
}

void releaseArchive(const char* fileName) {
    int index = findArchiveIndex(fileName);
    if (index < 0) return;
    if (--pakLibrary.references[index] > 0) return;
    clearArchive(pakLibrary.archives[index]);
    delete pakLibrary.archives[index];
    pakLibrary.fileNames.erase(pakLibrary.fileNames.begin() + index);
    pakLibrary.archives.erase(pakLibrary.archives.begin() + index);
    pakLibrary.references.erase(pakLibrary.references.begin() + index);
}

int archiveReferences(const char* fileName) {
    int index = findArchiveIndex(fileName);
    return index < 0 ? 0 : pakLibrary.references[index];
}

// ---------------------------------------------------------------------------
// Archive records: reading
// ---------------------------------------------------------------------------

bool readFileBytes(const char* path, std::vector<uint8_t>& out) {
    std::vector<uint8_t>().swap(out);
    FILE* file = fopen(path, "rb");
    if (!file) return false;
    bool complete = false;
    long length = -1;
    if (fseek(file, 0, SEEK_END) == 0) length = ftell(file);
    if (length >= 0 && fseek(file, 0, SEEK_SET) == 0) {
        // A directory opens and may report a length without being readable:
        // one byte is read before the length is trusted with an allocation.
        uint8_t first = 0;
        size_t got = fread(&first, 1, 1, file);
        if (length == 0) {
            complete = got == 0 && !ferror(file);
        } else if (got == 1) {
            size_t rest = (size_t)length - 1;
            out.resize((size_t)length);
            out[0] = first;
            complete = fread(out.data() + 1, 1, rest, file) == rest && fgetc(file) == EOF;
        }
    }
    fclose(file);
    if (!complete) std::vector<uint8_t>().swap(out);
    return complete;
}

bool parseArchive(PakArchive* archive, const uint8_t* bytes, size_t size) {
    if (size < 4) return false;
    int32_t count = readInt32(bytes);
    size_t at = 4;
    if (count <= 0) return true;
    if ((size_t)count > (size - at) / minimumEntryRecordSize) return false;
    for (int32_t i = 0; i < count; i++) {
        if (!parseEntry(archive, bytes, size, &at)) {
            clearArchive(archive);
            return false;
        }
    }
    return true;
}

bool loadArchiveFile(PakArchive* archive, const char* fileName) {
    std::vector<uint8_t> bytes;
    return readFileBytes(fileName, bytes) && parseArchive(archive, bytes.data(), bytes.size());
}

void readArchiveFile(PakArchive* archive, const char* fileName) {
    if (!loadArchiveFile(archive, fileName)) endForUnusableArchive();
}

void clearArchive(PakArchive* archive) {
    for (uint8_t* block : archive->data) delete[] block;
    archive->names.clear();
    archive->data.clear();
    archive->sizes.clear();
    archive->entryTextureSlot.clear();
    archive->entryTextureCount.clear();
}

const uint8_t* findEntry(const PakArchive* archive, const char* entryName, int32_t* size) {
    for (size_t i = 0; i < archive->names.size(); i++) {
        if (archive->names[i] == entryName) {
            if (size) *size = archive->sizes[i];
            return archive->data[i];
        }
    }
    if (size) *size = 0;
    return nullptr;
}

// ---------------------------------------------------------------------------
// Archive records: building
// ---------------------------------------------------------------------------

bool addEntryFromMemory(PakArchive* archive, const std::string& name, const void* bytes, size_t size) {
    if (name.size() > maximumNameLength || size > (size_t)INT32_MAX) return false;
    appendEntry(archive, name, copyBlock((const uint8_t*)bytes, size), (int32_t)size);
    return true;
}

bool addEntryFromFile(PakArchive* archive, const char* path) {
    if (strlen(path) > maximumNameLength) return false;
    std::vector<uint8_t> bytes;
    return readFileBytes(path, bytes) && addEntryFromMemory(archive, path, bytes.data(), bytes.size());
}

void serializeArchive(const PakArchive* archive, std::vector<uint8_t>& out) {
    appendInt32(out, (int32_t)archive->names.size());
    for (size_t i = 0; i < archive->names.size(); i++) {
        const std::string& name = archive->names[i];
        out.push_back((uint8_t)name.size());
        out.insert(out.end(), name.begin(), name.end());
        appendInt32(out, archive->sizes[i]);
        out.insert(out.end(), archive->data[i], archive->data[i] + archive->sizes[i]);
    }
}

bool writeArchiveFile(const PakArchive* archive, const char* fileName) {
    std::vector<uint8_t> bytes;
    serializeArchive(archive, bytes);
    return writeBytes(fileName, bytes.data(), bytes.size());
}

bool extractAllEntries(const PakArchive* archive, const std::string& prefix) {
    for (size_t i = 0; i < archive->names.size(); i++) {
        std::string path = prefix + archive->names[i];
        if (!writeBytes(path.c_str(), archive->data[i], (size_t)archive->sizes[i])) return false;
    }
    return true;
}
