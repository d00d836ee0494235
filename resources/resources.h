// Resources and media: the .pak archive library, image textures made from
// archive entries, the model stream and mesh drawing, generated textures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// One archive read whole into memory: parallel sequences, one element per
// entry in file order. Each entry's bytes are a heap block of exactly its size
// (new[]); an entry of 0 bytes still has its own non-null block, so "present
// but empty" and "missing" stay apart.
struct PakArchive {
    std::vector<std::string> names;
    std::vector<uint8_t*> data;
    std::vector<int32_t> sizes;
    std::vector<unsigned> entryTextureSlot;  // GL texture made from the entry, 0 while none
    std::vector<int32_t> entryTextureCount;  // outstanding references to that texture
};

// The process-wide registry of open archives, in order of opening.
struct PakLibrary {
    std::vector<std::string> fileNames;  // exactly as the callers spelled them
    std::vector<PakArchive*> archives;
    std::vector<int> references;         // at least 1 while listed
};

// The one library of the process; its archives are freed at exit.
extern PakLibrary pakLibrary;

// ---------------------------------------------------------------------------
// Archive library (reference counted; a missing or damaged archive ends the process with status 1)
// ---------------------------------------------------------------------------

// The archive of that file name, loaded on first use; +1 reference.
PakArchive* openArchive(const char* fileName);
// Bytes and size of the first entry of that name (null and 0 when missing); +1 reference either way.
const uint8_t* getEntry(const char* fileName, const char* entryName, int32_t* size);
// -1 reference; at 0 the archive's memory is freed. Unknown names are ignored.
void releaseArchive(const char* fileName);
// Current reference count of an archive; 0 when it is not listed.
int archiveReferences(const char* fileName);

// ---------------------------------------------------------------------------
// Archive records (reading, lookup and building)
// ---------------------------------------------------------------------------

// Fills an empty archive from the bytes of a .pak file; false when a count, name length or
// size does not fit in the bytes left (the archive is then left empty). Allocates no more than size
// for entry bytes, and nothing on the word of a count before the bytes left could hold it.
bool parseArchive(PakArchive* archive, const uint8_t* bytes, size_t size);
// Replaces out with the whole file; false (out empty) when it cannot be opened or read to its end.
bool readFileBytes(const char* path, std::vector<uint8_t>& out);
// Fills an empty archive from a file; false when it cannot be read or is damaged.
bool loadArchiveFile(PakArchive* archive, const char* fileName);
// As loadArchiveFile, but a missing or damaged file ends the process with status 1.
void readArchiveFile(PakArchive* archive, const char* fileName);
// Frees every entry block and empties the archive.
void clearArchive(PakArchive* archive);
// Bytes and size of the first entry of that exact name; null and 0 when there is none.
const uint8_t* findEntry(const PakArchive* archive, const char* entryName, int32_t* size);
// Appends an entry holding a copy of the bytes; false when the name is longer than 127 bytes.
bool addEntryFromMemory(PakArchive* archive, const std::string& name, const void* bytes, size_t size);
// Appends an entry holding the file's bytes, named by the path exactly as passed; false when unreadable.
bool addEntryFromFile(PakArchive* archive, const char* path);
// The archive in the .pak format, appended to out.
void serializeArchive(const PakArchive* archive, std::vector<uint8_t>& out);
// Writes the archive to a file; false when the file cannot be written.
bool writeArchiveFile(const PakArchive* archive, const char* fileName);
// Writes each entry to prefix + name (the caller supplies any separator); false at the first failure.
bool extractAllEntries(const PakArchive* archive, const std::string& prefix);
