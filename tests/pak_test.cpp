// The .pak archive library: the byte layout, parsing of valid and damaged
// files, lookups, building, and the reference-counted registry of archives.
#include "resources/resources.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace {

typedef std::vector<uint8_t> Bytes;
typedef std::vector<std::pair<std::string, std::string>> EntryList;

void put8(Bytes& out, int value) {
    out.push_back((uint8_t)value);
}

void put32(Bytes& out, int64_t value) {
    uint32_t bits = (uint32_t)value;
    for (int shift = 0; shift < 32; shift += 8) out.push_back((uint8_t)(bits >> shift));
}

void putText(Bytes& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
}

// An archive laid out by hand, independently of the library's writer.
Bytes handMadeArchive(int32_t count, const EntryList& entries) {
    Bytes out;
    put32(out, count);
    for (const auto& entry : entries) {
        put8(out, (int)entry.first.size());
        putText(out, entry.first);
        put32(out, (int64_t)entry.second.size());
        putText(out, entry.second);
    }
    return out;
}

Bytes handMadeArchive(const EntryList& entries) {
    return handMadeArchive((int32_t)entries.size(), entries);
}

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string entryText(const PakArchive& archive, const char* name) {
    int32_t size = -1;
    const uint8_t* bytes = findEntry(&archive, name, &size);
    EXPECT_TRUE(bytes != nullptr) << "no entry " << name;
    return bytes ? std::string((const char*)bytes, (size_t)size) : std::string();
}

void expectEmpty(const PakArchive& archive) {
    EXPECT_TRUE(archive.names.empty());
    EXPECT_TRUE(archive.data.empty());
    EXPECT_TRUE(archive.sizes.empty());
    EXPECT_TRUE(archive.entryTextureSlot.empty());
    EXPECT_TRUE(archive.entryTextureCount.empty());
}

// Bytes that end exactly where an inaccessible page begins: a parser that
// reads one byte past the end crashes the test instead of reading garbage.
struct GuardedBytes {
    uint8_t* mapping = nullptr;
    size_t mappingSize = 0;
    const uint8_t* data = nullptr;
    size_t size = 0;

    explicit GuardedBytes(const Bytes& bytes) {
        size_t page = (size_t)sysconf(_SC_PAGESIZE);
        size_t dataPages = (bytes.size() + page - 1) / page;
        mappingSize = (dataPages + 1) * page;
        void* mapped = mmap(nullptr, mappingSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED) {
            ADD_FAILURE() << "mmap failed";
            mappingSize = 0;
            return;
        }
        mapping = (uint8_t*)mapped;
        EXPECT_EQ(0, mprotect(mapping + dataPages * page, page, PROT_NONE));
        uint8_t* start = mapping + dataPages * page - bytes.size();
        if (!bytes.empty()) memcpy(start, bytes.data(), bytes.size());
        data = start;
        size = bytes.size();
    }
    ~GuardedBytes() {
        if (mapping) munmap(mapping, mappingSize);
    }
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;
};

bool parseGuarded(PakArchive* archive, const Bytes& bytes) {
    GuardedBytes guarded(bytes);
    return parseArchive(archive, guarded.data, guarded.size);
}

// A temporary folder per test for archive files; archives of that folder
// still listed at the end are released so later tests start clean.
class PakFiles : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = testing::TempDir() + "pak_test.XXXXXX";
        ASSERT_TRUE(mkdtemp(pattern.data()) != nullptr);
        dir = pattern;
    }
    void TearDown() override {
        for (size_t i = pakLibrary.fileNames.size(); i-- > 0;) {
            std::string name = pakLibrary.fileNames[i];
            if (name.compare(0, dir.size(), dir) != 0) continue;
            while (archiveReferences(name.c_str()) > 0) releaseArchive(name.c_str());
        }
        std::filesystem::remove_all(dir);
    }
    std::string path(const std::string& name) const {
        return dir + "/" + name;
    }
    std::string writeFile(const std::string& name, const Bytes& bytes) const {
        std::string full = path(name);
        FILE* file = fopen(full.c_str(), "wb");
        EXPECT_TRUE(file != nullptr) << full;
        if (file) {
            // fwrite's buffer must not be null, even for no bytes.
            if (!bytes.empty()) {
                EXPECT_EQ(bytes.size(), fwrite(bytes.data(), 1, bytes.size(), file));
            }
            fclose(file);
        }
        return full;
    }
    Bytes readFile(const std::string& full) const {
        Bytes bytes;
        EXPECT_TRUE(readFileBytes(full.c_str(), bytes)) << full;
        return bytes;
    }
    // This test's archives in library order.
    std::vector<std::string> listedHere() const {
        std::vector<std::string> names;
        for (const std::string& name : pakLibrary.fileNames) {
            if (name.compare(0, dir.size(), dir) == 0) names.push_back(name);
        }
        return names;
    }

    static PakArchive* listedArchive(const std::string& file) {
        for (size_t i = 0; i < pakLibrary.fileNames.size(); i++) {
            if (pakLibrary.fileNames[i] == file) return pakLibrary.archives[i];
        }
        return nullptr;
    }

    std::string dir;
};

typedef PakFiles PakFilesDeathTest;

// ---------------------------------------------------------------------------
// Byte layout
// ---------------------------------------------------------------------------

TEST(PakLayout, SerializedArchiveMatchesHandMadeBytes) {
    std::string longName(127, 'n');
    Bytes longData(258);
    for (size_t i = 0; i < longData.size(); i++) longData[i] = (uint8_t)(i * 7);
    PakArchive archive;
    const uint8_t abData[] = {1, 2, 3};
    ASSERT_TRUE(addEntryFromMemory(&archive, "ab", abData, sizeof abData));
    ASSERT_TRUE(addEntryFromMemory(&archive, "", nullptr, 0));
    ASSERT_TRUE(addEntryFromMemory(&archive, longName, longData.data(), longData.size()));

    Bytes expected = {
        3, 0, 0, 0,                     // entry count
        2, 'a', 'b', 3, 0, 0, 0, 1, 2, 3,  // "ab", 3 bytes
        0, 0, 0, 0, 0,                  // empty name, 0 bytes
        127,                            // name length of the last entry
    };
    putText(expected, longName);
    Bytes sizeWord = {0x02, 0x01, 0x00, 0x00};  // 258, little-endian
    expected = concat(concat(expected, sizeWord), longData);

    Bytes out = {0xEE};  // serializing appends to what is already there
    serializeArchive(&archive, out);
    EXPECT_EQ(concat({0xEE}, expected), out);
    clearArchive(&archive);
}

TEST(PakLayout, EmptyArchiveIsAZeroCount) {
    PakArchive archive;
    Bytes out;
    serializeArchive(&archive, out);
    EXPECT_EQ(Bytes({0, 0, 0, 0}), out);
}

TEST_F(PakFiles, WrittenFileHoldsTheSerializedBytes) {
    PakArchive archive;
    ASSERT_TRUE(addEntryFromMemory(&archive, "tube", "\x00\x01\x02", 3));
    ASSERT_TRUE(addEntryFromMemory(&archive, "empty", nullptr, 0));
    std::string file = path("out.pak");
    ASSERT_TRUE(writeArchiveFile(&archive, file.c_str()));
    EXPECT_EQ(handMadeArchive({{"tube", std::string("\x00\x01\x02", 3)}, {"empty", ""}}), readFile(file));
    clearArchive(&archive);
}

TEST_F(PakFiles, WritingIntoAMissingFolderFails) {
    PakArchive archive;
    ASSERT_TRUE(addEntryFromMemory(&archive, "a", "x", 1));
    EXPECT_FALSE(writeArchiveFile(&archive, path("no/such/folder.pak").c_str()));
    clearArchive(&archive);
}

// ---------------------------------------------------------------------------
// Parsing
// ---------------------------------------------------------------------------

TEST(PakParse, ReadsEntriesInFileOrder) {
    PakArchive archive;
    ASSERT_TRUE(parseGuarded(&archive, handMadeArchive({{"b", "22"}, {"a", "1"}, {"c", ""}})));
    EXPECT_EQ(std::vector<std::string>({"b", "a", "c"}), archive.names);
    EXPECT_EQ(std::vector<int32_t>({2, 1, 0}), archive.sizes);
    EXPECT_EQ(std::vector<unsigned>(3, 0), archive.entryTextureSlot);
    EXPECT_EQ(std::vector<int32_t>(3, 0), archive.entryTextureCount);
    ASSERT_EQ(3u, archive.data.size());
    EXPECT_EQ("22", std::string((const char*)archive.data[0], 2));
    EXPECT_EQ("1", std::string((const char*)archive.data[1], 1));
    EXPECT_TRUE(archive.data[2] != nullptr);
    clearArchive(&archive);
    expectEmpty(archive);
}

TEST(PakParse, EntriesAreCopiesOfTheInput) {
    Bytes bytes = handMadeArchive({{"a", "xyz"}, {"b", "uvw"}});
    PakArchive archive;
    ASSERT_TRUE(parseArchive(&archive, bytes.data(), bytes.size()));
    for (const uint8_t* block : archive.data) {
        EXPECT_FALSE(block >= bytes.data() && block < bytes.data() + bytes.size());
    }
    EXPECT_NE(archive.data[0], archive.data[1]);
    std::fill(bytes.begin(), bytes.end(), 0);
    EXPECT_EQ("xyz", entryText(archive, "a"));
    EXPECT_EQ("uvw", entryText(archive, "b"));
    clearArchive(&archive);
}

TEST(PakParse, CountOfZeroOrLessMeansNoEntries) {
    const int32_t counts[] = {0, -1, -5, INT32_MIN};
    for (int32_t count : counts) {
        SCOPED_TRACE(count);
        // Records follow, but the count says there are none to read.
        PakArchive archive;
        EXPECT_TRUE(parseGuarded(&archive, handMadeArchive(count, {{"a", "1"}})));
        expectEmpty(archive);
    }
}

TEST(PakParse, BytesAfterTheLastEntryAreIgnored) {
    PakArchive archive;
    Bytes bytes = concat(handMadeArchive({{"a", "1"}}), {0xFF, 0xFF, 0xFF, 0xFF, 0x80, 'z'});
    ASSERT_TRUE(parseGuarded(&archive, bytes));
    EXPECT_EQ(std::vector<std::string>({"a"}), archive.names);
    clearArchive(&archive);
}

TEST(PakParse, NamesAreExactByteStrings) {
    PakArchive archive;
    ASSERT_TRUE(parseGuarded(&archive, handMadeArchive({{"tube", "first"},
                                                        {"Tube", "capital"},
                                                        {"tube", "second"},
                                                        {"tube.png", "png"},
                                                        {"", "nameless"},
                                                        {"empty", ""}})));
    struct Lookup {
        const char* name;
        const char* expected;  // null: no such entry
    } lookups[] = {
        {"tube", "first"},  // duplicates: the first in file order wins
        {"Tube", "capital"},
        {"TUBE", nullptr},
        {"tube.png", "png"},
        {"tub", nullptr},
        {"tube ", nullptr},
        {"", "nameless"},
        {"empty", ""},
        {"missing", nullptr},
    };
    for (const Lookup& lookup : lookups) {
        SCOPED_TRACE(lookup.name);
        int32_t size = 99;
        const uint8_t* bytes = findEntry(&archive, lookup.name, &size);
        if (lookup.expected) {
            ASSERT_TRUE(bytes != nullptr);
            EXPECT_EQ(lookup.expected, std::string((const char*)bytes, (size_t)size));
        } else {
            EXPECT_TRUE(bytes == nullptr);
            EXPECT_EQ(0, size);
        }
    }
    clearArchive(&archive);
}

TEST(PakParse, DamagedArchivesAreRejectedWithoutReadingPastTheEnd) {
    Bytes oneRecord = handMadeArchive({{"a", "xyz"}});
    Bytes afterCount(oneRecord.begin() + 4, oneRecord.end());
    struct Case {
        const char* what;
        Bytes bytes;
    };
    std::vector<Case> cases;
    cases.push_back({"no bytes at all", {}});
    cases.push_back({"count cut short", {1, 0, 0}});
    cases.push_back({"count of one, nothing after it", {1, 0, 0, 0}});
    cases.push_back({"count larger than the records", concat({2, 0, 0, 0}, afterCount)});
    cases.push_back({"count at the 32-bit limit", concat({0xFF, 0xFF, 0xFF, 0x7F}, afterCount)});
    {
        // Taken as 128 unsigned, the bytes after it would make a whole record.
        Bytes bytes = {1, 0, 0, 0, 0x80};
        putText(bytes, std::string(128, 'a'));
        put32(bytes, 0);
        cases.push_back({"negative name length 0x80", bytes});
    }
    {
        Bytes bytes = {1, 0, 0, 0, 0xFF};
        putText(bytes, std::string(255, 'a'));
        put32(bytes, 0);
        cases.push_back({"negative name length 0xFF", bytes});
    }
    cases.push_back({"name runs past the end", {1, 0, 0, 0, 10, 'a', 'b', 'c', 0, 0}});
    cases.push_back({"size word cut short", {1, 0, 0, 0, 1, 'a', 0, 0}});
    cases.push_back({"size one beyond the end", {1, 0, 0, 0, 1, 'a', 4, 0, 0, 0, 'x', 'y', 'z'}});
    cases.push_back({"size at the 32-bit limit", {1, 0, 0, 0, 1, 'a', 0xFF, 0xFF, 0xFF, 0x7F, 'x'}});
    cases.push_back({"size of -1", {1, 0, 0, 0, 1, 'a', 0xFF, 0xFF, 0xFF, 0xFF, 'x', 'y', 'z'}});
    cases.push_back({"most negative size", {1, 0, 0, 0, 1, 'a', 0, 0, 0, 0x80, 'x', 'y', 'z'}});
    {
        Bytes bytes = handMadeArchive(2, {{"good", "data"}});
        Bytes bad = {1, 'b', 9, 0, 0, 0, 'x'};
        cases.push_back({"second record damaged after a good one", concat(bytes, bad)});
    }
    for (const Case& damaged : cases) {
        SCOPED_TRACE(damaged.what);
        PakArchive archive;
        EXPECT_FALSE(parseGuarded(&archive, damaged.bytes));
        expectEmpty(archive);
    }
}

TEST(PakParse, EveryTruncationOfAValidArchiveIsRejected) {
    Bytes whole = handMadeArchive({{"first", "abc"}, {"", "nameless"}, {std::string(127, 'L'), "long"}, {"last", ""}});
    for (size_t length = 0; length < whole.size(); length++) {
        SCOPED_TRACE(length);
        PakArchive archive;
        EXPECT_FALSE(parseGuarded(&archive, Bytes(whole.begin(), whole.begin() + length)));
        expectEmpty(archive);
    }
    PakArchive archive;
    EXPECT_TRUE(parseGuarded(&archive, whole));
    EXPECT_EQ(4u, archive.names.size());
    clearArchive(&archive);
}

// ---------------------------------------------------------------------------
// Building
// ---------------------------------------------------------------------------

TEST(PakBuild, NamesUpTo127BytesAreAccepted) {
    struct Case {
        size_t length;
        bool accepted;
    } cases[] = {{0, true}, {1, true}, {127, true}, {128, false}, {255, false}, {256, false}};
    for (const Case& test : cases) {
        SCOPED_TRACE(test.length);
        PakArchive archive;
        ASSERT_TRUE(addEntryFromMemory(&archive, "before", "b", 1));
        EXPECT_EQ(test.accepted, addEntryFromMemory(&archive, std::string(test.length, 'x'), "data", 4));
        EXPECT_EQ(test.accepted ? 2u : 1u, archive.names.size());
        EXPECT_EQ(archive.names.size(), archive.data.size());
        EXPECT_EQ(archive.names.size(), archive.sizes.size());
        EXPECT_EQ(archive.names.size(), archive.entryTextureSlot.size());
        EXPECT_EQ(archive.names.size(), archive.entryTextureCount.size());
        clearArchive(&archive);
    }
}

TEST(PakBuild, EntryFromMemoryIsACopy) {
    char source[] = "paint";
    PakArchive archive;
    ASSERT_TRUE(addEntryFromMemory(&archive, "p", source, 5));
    source[0] = 'f';
    EXPECT_EQ("paint", entryText(archive, "p"));
    int32_t size = -1;
    ASSERT_TRUE(addEntryFromMemory(&archive, "nothing", nullptr, 0));
    EXPECT_TRUE(findEntry(&archive, "nothing", &size) != nullptr);
    EXPECT_EQ(0, size);
    clearArchive(&archive);
}

TEST_F(PakFiles, NameOf127BytesRoundTripsThroughAFile) {
    std::string name;
    for (int i = 0; i < 127; i++) name.push_back((char)(1 + (i * 37) % 255));  // every byte but 0, high ones too
    PakArchive written;
    ASSERT_TRUE(addEntryFromMemory(&written, name, "long name", 9));
    std::string file = path("long.pak");
    ASSERT_TRUE(writeArchiveFile(&written, file.c_str()));
    clearArchive(&written);

    PakArchive read;
    readArchiveFile(&read, file.c_str());
    ASSERT_EQ(1u, read.names.size());
    EXPECT_EQ(name, read.names[0]);
    EXPECT_EQ("long name", entryText(read, name.c_str()));
    clearArchive(&read);
}

TEST_F(PakFiles, EntryFromFileIsNamedByThePathAsPassed) {
    writeFile("picture.png", {0, 1, 0, 2});
    writeFile("empty", {});
    std::string spelled = dir + "/./picture.png";
    PakArchive archive;
    ASSERT_TRUE(addEntryFromFile(&archive, spelled.c_str()));
    ASSERT_TRUE(addEntryFromFile(&archive, path("empty").c_str()));
    EXPECT_EQ(std::vector<std::string>({spelled, path("empty")}), archive.names);
    EXPECT_EQ(std::string("\0\1\0\2", 4), entryText(archive, spelled.c_str()));
    EXPECT_EQ("", entryText(archive, path("empty").c_str()));

    // Refusals leave the archive as it was.
    std::string tooLong = dir + "/" + std::string(127, 'x');
    writeFile(std::string(127, 'x'), {1});
    const std::string refused[] = {path("missing"), dir, tooLong};
    for (const std::string& file : refused) {
        SCOPED_TRACE(file);
        EXPECT_FALSE(addEntryFromFile(&archive, file.c_str()));
        EXPECT_EQ(2u, archive.names.size());
    }
    clearArchive(&archive);
}

TEST_F(PakFiles, ExtractWritesEachEntryToThePrefixFollowedByItsName) {
    PakArchive archive;
    ASSERT_TRUE(addEntryFromMemory(&archive, "a.bin", "\0\xFF\0", 3));
    ASSERT_TRUE(addEntryFromMemory(&archive, "b", nullptr, 0));
    writeFile("out-a.bin", Bytes(100, 'o'));  // an older, longer file is truncated
    ASSERT_TRUE(extractAllEntries(&archive, path("out-")));
    EXPECT_EQ(Bytes({0, 0xFF, 0}), readFile(path("out-a.bin")));
    EXPECT_EQ(Bytes(), readFile(path("out-b")));

    EXPECT_FALSE(extractAllEntries(&archive, path("missing/")));
    clearArchive(&archive);
}

// ---------------------------------------------------------------------------
// Reading files
// ---------------------------------------------------------------------------

TEST_F(PakFiles, FilesAreReadWhole) {
    Bytes binary;
    for (int i = 0; i < 70000; i++) binary.push_back((uint8_t)(i % 251));
    EXPECT_EQ(binary, readFile(writeFile("binary", binary)));
    EXPECT_EQ(Bytes(), readFile(writeFile("empty", {})));

    Bytes leftover = {9, 9};
    EXPECT_FALSE(readFileBytes(path("missing").c_str(), leftover));
    EXPECT_TRUE(leftover.empty());
    EXPECT_FALSE(readFileBytes(dir.c_str(), leftover));
}

TEST_F(PakFiles, UnusableArchiveFilesDoNotLoad) {
    std::string valid = writeFile("valid.pak", handMadeArchive({{"a", "1"}}));
    std::string files[] = {
        path("missing.pak"),
        dir,
        writeFile("empty.pak", {}),
        writeFile("truncated.pak", {1, 0, 0, 0, 1, 'a', 1, 0, 0, 0}),
    };
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        PakArchive archive;
        EXPECT_FALSE(loadArchiveFile(&archive, file.c_str()));
        expectEmpty(archive);
    }
    PakArchive archive;
    EXPECT_TRUE(loadArchiveFile(&archive, valid.c_str()));
    EXPECT_EQ("1", entryText(archive, "a"));
    clearArchive(&archive);
}

TEST_F(PakFilesDeathTest, UnusableArchiveEndsTheProcessQuietly) {
    std::string files[] = {
        path("missing.pak"),
        dir,
        writeFile("empty.pak", {}),
        writeFile("count.pak", {0x10, 0, 0, 0, 0, 0, 0, 0, 0}),
        writeFile("negative-size.pak", {1, 0, 0, 0, 1, 'a', 0xFF, 0xFF, 0xFF, 0xFF}),
        writeFile("truncated.pak", {1, 0, 0, 0, 1, 'a', 4, 0, 0, 0, 'x'}),
    };
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        PakArchive archive;
        EXPECT_EXIT(readArchiveFile(&archive, file.c_str()), testing::ExitedWithCode(1), "^$");
        int32_t size = 0;
        EXPECT_EXIT(getEntry(file.c_str(), "a", &size), testing::ExitedWithCode(1), "^$");
    }
}

// ---------------------------------------------------------------------------
// Archive library
// ---------------------------------------------------------------------------

TEST_F(PakFiles, OpeningTwiceLoadsOnce) {
    std::string file = writeFile("page.pak", handMadeArchive({{"a", "apple"}}));
    PakArchive* first = openArchive(file.c_str());
    EXPECT_EQ(1, archiveReferences(file.c_str()));
    // Without the file a second load would end the process.
    ASSERT_EQ(0, remove(file.c_str()));
    PakArchive* second = openArchive(file.c_str());
    EXPECT_EQ(first, second);
    EXPECT_EQ(2, archiveReferences(file.c_str()));
    EXPECT_EQ(std::vector<std::string>({file}), listedHere());

    releaseArchive(file.c_str());
    EXPECT_EQ(1, archiveReferences(file.c_str()));
    EXPECT_EQ("apple", entryText(*first, "a"));
    releaseArchive(file.c_str());
    EXPECT_EQ(0, archiveReferences(file.c_str()));
    EXPECT_TRUE(listedHere().empty());
}

TEST_F(PakFiles, GetEntryCountsAReferenceAlsoWhenTheEntryIsMissing) {
    std::string file = writeFile("page.pak", handMadeArchive({{"a", "apple"}, {"empty", ""}}));
    int32_t size = 99;
    EXPECT_TRUE(getEntry(file.c_str(), "missing", &size) == nullptr);
    EXPECT_EQ(0, size);
    EXPECT_EQ(1, archiveReferences(file.c_str()));

    const uint8_t* bytes = getEntry(file.c_str(), "a", &size);
    EXPECT_EQ(2, archiveReferences(file.c_str()));
    ASSERT_TRUE(bytes != nullptr);
    EXPECT_EQ("apple", std::string((const char*)bytes, (size_t)size));
    // The caller gets the archive's own block, not a copy.
    ASSERT_TRUE(listedArchive(file) != nullptr);
    EXPECT_EQ(listedArchive(file)->data[0], bytes);

    EXPECT_TRUE(getEntry(file.c_str(), "empty", &size) != nullptr);
    EXPECT_EQ(0, size);
    EXPECT_EQ(3, archiveReferences(file.c_str()));
    for (int i = 0; i < 3; i++) releaseArchive(file.c_str());
    EXPECT_EQ(0, archiveReferences(file.c_str()));
}

TEST_F(PakFiles, ArchiveWithNoEntriesOpens) {
    std::string file = writeFile("none.pak", {0, 0, 0, 0});
    PakArchive* archive = openArchive(file.c_str());
    EXPECT_TRUE(archive->names.empty());
    int32_t size = 5;
    EXPECT_TRUE(getEntry(file.c_str(), "", &size) == nullptr);
    EXPECT_EQ(0, size);
    EXPECT_EQ(2, archiveReferences(file.c_str()));
    releaseArchive(file.c_str());
    releaseArchive(file.c_str());
}

TEST_F(PakFiles, ReleasingAnUnlistedNameChangesNothing) {
    std::string file = writeFile("page.pak", handMadeArchive({{"a", "1"}}));
    openArchive(file.c_str());
    std::vector<std::string> before = pakLibrary.fileNames;
    releaseArchive(path("other.pak").c_str());
    releaseArchive((dir + "//page.pak").c_str());
    releaseArchive("");
    EXPECT_EQ(before, pakLibrary.fileNames);
    EXPECT_EQ(1, archiveReferences(file.c_str()));
    releaseArchive(file.c_str());
}

TEST_F(PakFiles, AfterTheLastReleaseTheFileIsReadAgain) {
    std::string file = writeFile("page.pak", handMadeArchive({{"a", "old"}}));
    int32_t size = 0;
    getEntry(file.c_str(), "a", &size);
    writeFile("page.pak", handMadeArchive({{"a", "newer"}}));
    const uint8_t* bytes = getEntry(file.c_str(), "a", &size);
    EXPECT_EQ("old", std::string((const char*)bytes, (size_t)size));  // still the loaded copy
    releaseArchive(file.c_str());
    releaseArchive(file.c_str());
    EXPECT_TRUE(listedHere().empty());

    bytes = getEntry(file.c_str(), "a", &size);
    ASSERT_TRUE(bytes != nullptr);
    EXPECT_EQ("newer", std::string((const char*)bytes, (size_t)size));
    EXPECT_EQ(1, archiveReferences(file.c_str()));
    releaseArchive(file.c_str());
}

TEST_F(PakFiles, TwoSpellingsOfOnePathAreTwoArchives) {
    std::string plain = writeFile("page.pak", handMadeArchive({{"a", "first"}}));
    std::string dotted = dir + "/./page.pak";
    PakArchive* one = openArchive(plain.c_str());
    writeFile("page.pak", handMadeArchive({{"a", "second"}}));
    PakArchive* other = openArchive(dotted.c_str());
    EXPECT_NE(one, other);
    EXPECT_EQ("first", entryText(*one, "a"));
    EXPECT_EQ("second", entryText(*other, "a"));
    EXPECT_EQ(1, archiveReferences(plain.c_str()));
    EXPECT_EQ(1, archiveReferences(dotted.c_str()));

    releaseArchive(plain.c_str());
    EXPECT_EQ(std::vector<std::string>({dotted}), listedHere());
    releaseArchive(dotted.c_str());
}

TEST_F(PakFiles, RemovalKeepsTheOrderOfTheOthers) {
    std::string a = writeFile("a.pak", handMadeArchive({{"x", "a"}}));
    std::string b = writeFile("b.pak", handMadeArchive({{"x", "b"}}));
    std::string c = writeFile("c.pak", handMadeArchive({{"x", "c"}}));
    openArchive(a.c_str());
    openArchive(b.c_str());
    PakArchive* archiveC = openArchive(c.c_str());
    openArchive(b.c_str());
    EXPECT_EQ(std::vector<std::string>({a, b, c}), listedHere());
    releaseArchive(b.c_str());
    EXPECT_EQ(std::vector<std::string>({a, b, c}), listedHere());
    releaseArchive(b.c_str());
    EXPECT_EQ(std::vector<std::string>({a, c}), listedHere());
    EXPECT_EQ(1, archiveReferences(a.c_str()));
    EXPECT_EQ(1, archiveReferences(c.c_str()));
    EXPECT_EQ("c", entryText(*archiveC, "x"));
    releaseArchive(a.c_str());
    releaseArchive(c.c_str());
    EXPECT_TRUE(listedHere().empty());
}

}  // namespace
