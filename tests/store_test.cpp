// The settings and progress store: the file layout, reading damaged files,
// "lang.ini", page slots, palettes and painted regions.

#include "store/store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <new>
#include <ostream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

// ---------------------------------------------------------------------------
// Allocation watch: the loader must size nothing by a stored count before the
// count is known to fit the file. Every allocation made while the watch is on
// is measured; a loader that trusts a count asks for gigabytes. The operators
// stay out of line so that the compiler does not pair an inlined free with
// the operator new it cannot see through.
// ---------------------------------------------------------------------------

static bool watchingAllocations = false;
static size_t largestAllocation = 0;

[[gnu::noinline]] void* operator new(size_t size) {
    if (watchingAllocations && size > largestAllocation) largestAllocation = size;
    if (void* block = std::malloc(size ? size : 1)) return block;
    throw std::bad_alloc();
}

[[gnu::noinline]] void operator delete(void* block) noexcept {
    std::free(block);
}

[[gnu::noinline]] void operator delete(void* block, size_t) noexcept {
    std::free(block);
}

bool operator==(const ColourEntry& a, const ColourEntry& b) {
    return a.key == b.key && a.r == b.r && a.g == b.g && a.b == b.b;
}

bool operator==(const NumberEntry& a, const NumberEntry& b) {
    return a.key == b.key && a.number == b.number;
}

std::ostream& operator<<(std::ostream& out, const ColourEntry& e) {
    return out << "{" << e.key << ": " << e.r << ", " << e.g << ", " << e.b << "}";
}

std::ostream& operator<<(std::ostream& out, const NumberEntry& e) {
    return out << "{" << e.key << ": #" << e.number << "}";
}

namespace {

typedef std::vector<uint8_t> Bytes;
typedef std::unique_ptr<Settings> Record;

// Offsets in tests/fixtures/store/two_pages.hex (see the comments there).
const size_t FIXTURE_SIZE = 301;
const size_t AT_PRESERVED_LENGTH = 4;
const size_t AT_SHOW_HELP = 11;
const size_t AT_SOUND = 12;
const size_t AT_MUSIC = 13;
const size_t AT_LANGUAGE = 14;
const size_t AT_NUMBERS_MODE = 18;
const size_t AT_DETAILED = 19;
const size_t AT_RESERVED_FLAG = 20;
const size_t AT_PALETTE_COUNT = 25;
const size_t AT_SECOND_PALETTE_KEY = 61;
const size_t AT_FIRST_PADDING = 33;
const size_t PALETTE_END = 93;
const size_t AT_CURRENT_SLOT = 93;
const size_t AT_PAGE_COUNT = 97;
const size_t AT_SLOT0_NUMBER_PAINT_COUNT = 141;
const size_t AT_SLOT0_SECOND_NUMBER_KEY = 153;
const size_t SLOT0_END = 205;
const size_t AT_SLOT1_FREE_DETAILED_COUNT = 233;

// The language "lang.ini" names in most tests, so that a value taken from it
// differs from the fixture's own language (2) and from English.
const int LANG_INI_LANGUAGE = 3;

// A block far beyond what any file of a few hundred bytes needs.
const size_t ALLOCATION_BOUND = 4096;

Bytes readHexFixture(const char* name) {
    std::ifstream file(std::string(TINTARIA_FIXTURES_DIR) + "/store/" + name);
    Bytes bytes;
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream words(line.substr(0, line.find('#')));
        std::string word;
        while (words >> word) bytes.push_back(uint8_t(std::stoul(word, nullptr, 16)));
    }
    return bytes;
}

const Bytes& fixture() {
    static const Bytes bytes = readHexFixture("two_pages.hex");
    return bytes;
}

Bytes patched(Bytes bytes, size_t offset, const Bytes& replacement) {
    for (size_t i = 0; i < replacement.size(); ++i) bytes[offset + i] = replacement[i];
    return bytes;
}

Bytes littleEndian(int32_t value) {
    uint32_t bits = uint32_t(value);
    return {uint8_t(bits), uint8_t(bits >> 8), uint8_t(bits >> 16), uint8_t(bits >> 24)};
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

Record load(const Bytes& bytes, size_t size) {
    return Record(loadSettings(bytes.data(), size));
}

Record load(const Bytes& bytes) {
    return load(bytes, bytes.size());
}

Bytes save(const Settings& s) {
    Bytes out;
    saveSettings(s, out);
    return out;
}

Record fresh() {
    return Record(defaultSettings());
}

std::vector<double> colourOf(void (*query)(const Settings&, int, double[3]), const Settings& s, int key) {
    double rgb[3] = {-1, -1, -1};
    query(s, key, rgb);
    return {rgb[0], rgb[1], rgb[2]};
}

const std::vector<double> WHITE = {1, 1, 1};

// What every record must satisfy, whatever bytes it was read from.
void expectWellFormed(const Settings& s) {
    size_t slots = s.pageIds.size();
    EXPECT_EQ(s.freePaintNormal.size(), slots);
    EXPECT_EQ(s.freePaintDetailed.size(), slots);
    EXPECT_EQ(s.numberPaintNormal.size(), slots);
    EXPECT_EQ(s.numberPaintDetailed.size(), slots);
    EXPECT_EQ(s.numberDefaultPalette.size(), slots);
    EXPECT_EQ(s.numberCustomPalette.size(), slots);
    EXPECT_GE(s.currentSlot, -1);
    EXPECT_LT(s.currentSlot, int32_t(slots));
    EXPECT_GE(s.language, 0);
    EXPECT_LT(s.language, LANGUAGE_COUNT);

    auto expectUniqueKeys = [](const auto& list) {
        std::set<int32_t> keys;
        for (const auto& entry : list) EXPECT_TRUE(keys.insert(entry.key).second) << "key " << entry.key;
    };
    expectUniqueKeys(s.freeCustomPalette);
    for (size_t i = 0; i < slots && i < s.numberPaintDetailed.size(); ++i) {
        expectUniqueKeys(s.freePaintNormal[i]);
        expectUniqueKeys(s.freePaintDetailed[i]);
        expectUniqueKeys(s.numberPaintNormal[i]);
        expectUniqueKeys(s.numberPaintDetailed[i]);
        expectUniqueKeys(s.numberCustomPalette[i]);
    }
}

// The values a record takes when its file cannot be read.
void expectScalarDefaults(const Settings& s) {
    EXPECT_TRUE(s.showHelpAtStart);
    EXPECT_TRUE(s.soundOn);
    EXPECT_TRUE(s.musicOn);
    EXPECT_TRUE(s.numbersMode);
    EXPECT_FALSE(s.detailedPictures);
    EXPECT_EQ(s.reservedFlag, 1);
    EXPECT_EQ(s.reservedWord, 0);
    EXPECT_TRUE(s.preservedBytes.empty());
    EXPECT_EQ(s.language, LANG_INI_LANGUAGE);
    EXPECT_EQ(s.currentSlot, -1);
}

// Every test runs in a private empty working directory, where it may write
// "lang.ini".
class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        char* previous = getcwd(nullptr, 0);
        ASSERT_NE(previous, nullptr);
        previousDirectory = previous;
        std::free(previous);
        char folder[] = "/tmp/store_test_XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        directory = folder;
        ASSERT_EQ(chdir(directory.c_str()), 0);
    }

    void TearDown() override {
        std::remove("lang.ini");
        EXPECT_EQ(chdir(previousDirectory.c_str()), 0);
        EXPECT_EQ(rmdir(directory.c_str()), 0);
    }

    void writeLangIni(const std::string& text) {
        std::ofstream file("lang.ini", std::ios::binary);
        file << text;
    }

    std::string previousDirectory;
    std::string directory;
};

class StoreFileTest : public StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        writeLangIni("default=ru");
        ASSERT_EQ(fixture().size(), FIXTURE_SIZE);
    }
};

// ---------------------------------------------------------------------------
// File layout
// ---------------------------------------------------------------------------

TEST_F(StoreFileTest, NewRecordSavesAsTheDefaultLayout) {
    writeLangIni("default=fr");
    const Bytes expected = {
        0x01, 0x00, 0x00, 0x00,  // version 1
        0x00, 0x00, 0x00, 0x00,  // no preserved bytes
        0x01, 0x01, 0x01,        // help at start, sound, music
        0x04, 0x00, 0x00, 0x00,  // language fr, from lang.ini
        0x01, 0x00, 0x01,        // numbers mode, normal pictures, reserved flag
        0x00, 0x00, 0x00, 0x00,  // reserved word
        0x00, 0x00, 0x00, 0x00,  // free custom palette: empty
        0xff, 0xff, 0xff, 0xff,  // no current slot
        0x00, 0x00, 0x00, 0x00,  // no pages
    };
    EXPECT_EQ(save(*fresh()), expected);
}

TEST_F(StoreFileTest, FixtureLoadsFieldByField) {
    ASSERT_EQ(fixture().size(), FIXTURE_SIZE);
    Record s = load(fixture());

    EXPECT_EQ(s->preservedBytes, (Bytes{0x07, 0xff, 0x00}));
    EXPECT_FALSE(s->showHelpAtStart);
    EXPECT_TRUE(s->soundOn);
    EXPECT_FALSE(s->musicOn);
    EXPECT_EQ(s->language, 2);
    EXPECT_FALSE(s->numbersMode);
    EXPECT_TRUE(s->detailedPictures);
    EXPECT_EQ(s->reservedFlag, 7);
    EXPECT_EQ(s->reservedWord, 0x12345678);
    EXPECT_EQ(s->freeCustomPalette, (ColourList{{3, 0.1, 0.2, 0.3}, {17, 1.0, 0.5, 0.0}}));
    EXPECT_TRUE(s->freeDefaultPalette.empty());
    EXPECT_EQ(s->currentSlot, 1);
    EXPECT_EQ(s->pageIds, (std::vector<int32_t>{5, 12}));
    expectWellFormed(*s);

    EXPECT_EQ(s->numberCustomPalette[0], (ColourList{{0, 0.25, 0.5, 0.75}}));
    EXPECT_EQ(s->numberPaintNormal[0], (NumberList{{110, 0}, {93, 8}}));
    EXPECT_TRUE(s->numberPaintDetailed[0].empty());
    EXPECT_EQ(s->freePaintNormal[0], (ColourList{{21, 0.6, 0.9, 0.1}}));
    EXPECT_TRUE(s->freePaintDetailed[0].empty());

    EXPECT_TRUE(s->numberCustomPalette[1].empty());
    EXPECT_TRUE(s->numberPaintNormal[1].empty());
    EXPECT_EQ(s->numberPaintDetailed[1], (NumberList{{1203, 11}}));
    EXPECT_TRUE(s->freePaintNormal[1].empty());
    EXPECT_EQ(s->freePaintDetailed[1], (ColourList{{15, 1, 1, 1}, {42, 0, 0, 0}}));

    EXPECT_TRUE(s->numberDefaultPalette[0].empty());
    EXPECT_TRUE(s->numberDefaultPalette[1].empty());
}

TEST_F(StoreFileTest, FixtureSavesBackByteForByte) {
    EXPECT_EQ(save(*load(fixture())), fixture());
}

TEST_F(StoreFileTest, PaddingIsIgnoredWhenReadAndWrittenAsZero) {
    Bytes dirty = patched(fixture(), AT_FIRST_PADDING, {0xaa, 0xbb, 0xcc, 0xdd});
    EXPECT_EQ(save(*load(dirty)), fixture());
}

TEST_F(StoreFileTest, ProgressMadeInPlaySurvivesSaveAndLoad) {
    Record s = fresh();
    selectPage(*s, 9);
    paintRegion(*s, 110, 0, 0, 0, 0);
    setCustomColour(*s, 0, 0.1, 0.2, 0.3);
    s->numbersMode = false;
    paintRegion(*s, 21, 0.5, 0.25, 0.125, 0);
    setCustomColour(*s, 4, 0.3, 0.2, 0.1);
    s->preservedBytes = {1, 2, 3, 4, 5};

    Record again = load(save(*s));
    EXPECT_EQ(save(*again), save(*s));
    EXPECT_EQ(again->currentSlot, 0);
    EXPECT_EQ(again->numberPaintNormal[0], (NumberList{{110, 0}}));
    EXPECT_EQ(again->freePaintNormal[0], (ColourList{{21, 0.5, 0.25, 0.125}}));
}

// ---------------------------------------------------------------------------
// Short format
// ---------------------------------------------------------------------------

TEST_F(StoreFileTest, OtherVersionsKeepSwitchesAndLanguageButNoProgress) {
    // The fixture's body under another version number: everything after
    // detailedPictures must be ignored.
    const int32_t versions[] = {0, 2, -1, 0x01000000};
    for (int32_t version : versions) {
        SCOPED_TRACE(version);
        Record s = load(patched(fixture(), 0, littleEndian(version)));
        EXPECT_EQ(s->preservedBytes, (Bytes{0x07, 0xff, 0x00}));
        EXPECT_FALSE(s->showHelpAtStart);
        EXPECT_TRUE(s->soundOn);
        EXPECT_FALSE(s->musicOn);
        EXPECT_EQ(s->language, 2);
        EXPECT_FALSE(s->numbersMode);
        EXPECT_TRUE(s->detailedPictures);
        EXPECT_EQ(s->reservedFlag, 1);
        EXPECT_EQ(s->reservedWord, 0);
        EXPECT_EQ(s->currentSlot, -1);
        EXPECT_TRUE(s->pageIds.empty());
        EXPECT_TRUE(s->freeCustomPalette.empty());
        expectWellFormed(*s);
    }
}

TEST_F(StoreFileTest, ShortFormatEndsAfterDetailedPictures) {
    Bytes version0 = patched(fixture(), 0, littleEndian(0));
    Record whole = load(version0, AT_DETAILED + 1);
    EXPECT_EQ(whole->language, 2);
    EXPECT_TRUE(whole->detailedPictures);

    Record cut = load(version0, AT_DETAILED);
    expectScalarDefaults(*cut);
}

// ---------------------------------------------------------------------------
// Damaged files
// ---------------------------------------------------------------------------

TEST_F(StoreFileTest, FixtureCutAtEveryLengthKeepsOnlyCompletePages) {
    Record whole = load(fixture());
    for (size_t size = 0; size < fixture().size(); ++size) {
        SCOPED_TRACE(size);
        Record s = load(fixture(), size);
        expectWellFormed(*s);
        expectScalarDefaults(*s);

        size_t pagesKept = size >= SLOT0_END ? 1 : 0;
        ASSERT_EQ(s->pageIds.size(), pagesKept);
        if (pagesKept == 1) {
            EXPECT_EQ(s->pageIds[0], 5);
            EXPECT_EQ(s->numberCustomPalette[0], whole->numberCustomPalette[0]);
            EXPECT_EQ(s->numberPaintNormal[0], whole->numberPaintNormal[0]);
            EXPECT_EQ(s->freePaintNormal[0], whole->freePaintNormal[0]);
        }
        EXPECT_EQ(s->freeCustomPalette.size(), size >= PALETTE_END ? 2u : 0u);
    }
}

TEST_F(StoreFileTest, CountsTheFileCannotHoldAreFailedReads) {
    struct Case {
        const char* what;
        size_t offset;
        int32_t count;
        size_t pagesKept;
        size_t paletteKept;
    };
    const Case cases[] = {
        {"preserved length far beyond the file", AT_PRESERVED_LENGTH, 0x7fffffff, 0, 0},
        {"preserved length one past the end", AT_PRESERVED_LENGTH, int32_t(FIXTURE_SIZE - 8 + 1), 0, 0},
        {"preserved length negative", AT_PRESERVED_LENGTH, -1, 0, 0},
        {"preserved length most negative", AT_PRESERVED_LENGTH, INT32_MIN, 0, 0},
        {"palette count far beyond the file", AT_PALETTE_COUNT, 0x7fffffff, 0, 0},
        {"palette count whose byte size wraps at 32 bits", AT_PALETTE_COUNT, 0x08000000, 0, 0},
        {"palette count one more than the bytes left hold", AT_PALETTE_COUNT, 9, 0, 0},
        {"paint count whose byte size wraps at 32 bits", AT_SLOT0_NUMBER_PAINT_COUNT, 0x20000000, 0, 2},
        {"last list one entry longer than the file", AT_SLOT1_FREE_DETAILED_COUNT, 3, 1, 2},
        {"more page records announced than present", AT_PAGE_COUNT, 0x7fffffff, 2, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes bytes = patched(fixture(), c.offset, littleEndian(c.count));
        largestAllocation = 0;
        watchingAllocations = true;
        Record s = load(bytes);
        watchingAllocations = false;
        EXPECT_LT(largestAllocation, ALLOCATION_BOUND);
        expectWellFormed(*s);
        expectScalarDefaults(*s);
        EXPECT_EQ(s->pageIds.size(), c.pagesKept);
        EXPECT_EQ(s->freeCustomPalette.size(), c.paletteKept);
    }
}

// Hand-made file whose every list count is zero or negative, read as empty.
TEST_F(StoreFileTest, NegativeListCountsMeanEmptyLists) {
    const Bytes header = concat({
        littleEndian(1), littleEndian(0),   // version, no preserved bytes
        {0x00, 0x00, 0x00},                 // help, sound, music off
        littleEndian(1),                    // language de
        {0x00, 0x00, 0x05},                 // free mode, normal, reserved flag 5
        littleEndian(-7),                   // reserved word
        littleEndian(-1),                   // free custom palette count
    });
    const Bytes onePage = concat({
        header, littleEndian(0), littleEndian(1),  // current slot 0, one page
        littleEndian(7),                           // page id
        littleEndian(-1), littleEndian(INT32_MIN), littleEndian(0), littleEndian(-3), littleEndian(-1),
    });
    Record s = load(onePage);
    EXPECT_EQ(s->language, 1);
    EXPECT_FALSE(s->showHelpAtStart);
    EXPECT_EQ(s->reservedFlag, 5);
    EXPECT_EQ(s->reservedWord, -7);
    EXPECT_EQ(s->currentSlot, 0);
    EXPECT_EQ(s->pageIds, (std::vector<int32_t>{7}));
    expectWellFormed(*s);
    EXPECT_TRUE(s->freeCustomPalette.empty());
    EXPECT_TRUE(s->numberCustomPalette[0].empty());
    EXPECT_TRUE(s->numberPaintNormal[0].empty());
    EXPECT_TRUE(s->freePaintDetailed[0].empty());

    const Bytes noPages = concat({header, littleEndian(-1), littleEndian(-4)});
    Record t = load(noPages);
    EXPECT_EQ(t->language, 1);
    EXPECT_EQ(t->reservedWord, -7);
    EXPECT_TRUE(t->pageIds.empty());
}

TEST_F(StoreFileTest, ValuesOutOfRangeAreMended) {
    struct Case {
        const char* what;
        size_t offset;
        Bytes bytes;
        int (*field)(const Settings&);
        int expected;
    };
    auto language = [](const Settings& s) { return int(s.language); };
    auto showHelp = [](const Settings& s) { return int(s.showHelpAtStart); };
    auto sound = [](const Settings& s) { return int(s.soundOn); };
    auto music = [](const Settings& s) { return int(s.musicOn); };
    auto numbers = [](const Settings& s) { return int(s.numbersMode); };
    auto detailed = [](const Settings& s) { return int(s.detailedPictures); };
    auto slot = [](const Settings& s) { return int(s.currentSlot); };
    auto reserved = [](const Settings& s) { return int(s.reservedFlag); };
    const Case cases[] = {
        {"language 5 takes lang.ini's", AT_LANGUAGE, littleEndian(5), language, LANG_INI_LANGUAGE},
        {"language -1 takes lang.ini's", AT_LANGUAGE, littleEndian(-1), language, LANG_INI_LANGUAGE},
        {"language 4 is kept", AT_LANGUAGE, littleEndian(4), language, 4},
        {"language 0 is kept", AT_LANGUAGE, littleEndian(0), language, 0},
        {"help flag 2 is on by default", AT_SHOW_HELP, {0x02}, showHelp, 1},
        {"sound flag 0 is kept", AT_SOUND, {0x00}, sound, 0},
        {"sound flag 0x80 is on by default", AT_SOUND, {0x80}, sound, 1},
        {"music flag 0xff is on by default", AT_MUSIC, {0xff}, music, 1},
        {"mode flag 2 is numbers by default", AT_NUMBERS_MODE, {0x02}, numbers, 1},
        {"detail flag 2 is off by default", AT_DETAILED, {0x02}, detailed, 0},
        {"detail flag 0xff is off by default", AT_DETAILED, {0xff}, detailed, 0},
        {"slot equal to the slot count becomes none", AT_CURRENT_SLOT, littleEndian(2), slot, -1},
        {"slot -2 becomes none", AT_CURRENT_SLOT, littleEndian(-2), slot, -1},
        {"slot 0 is kept", AT_CURRENT_SLOT, littleEndian(0), slot, 0},
        {"slot -1 is kept", AT_CURRENT_SLOT, littleEndian(-1), slot, -1},
        {"reserved flag 0xff is carried", AT_RESERVED_FLAG, {0xff}, reserved, 0xff},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Record s = load(patched(fixture(), c.offset, c.bytes));
        EXPECT_EQ(c.field(*s), c.expected);
        EXPECT_EQ(s->pageIds.size(), 2u) << "a mended value is not a failed read";
    }
}

TEST_F(StoreFileTest, DuplicateKeysKeepTheFirstEntry) {
    Bytes bytes = patched(fixture(), AT_SECOND_PALETTE_KEY, littleEndian(3));
    bytes = patched(bytes, AT_SLOT0_SECOND_NUMBER_KEY, littleEndian(110));
    Record s = load(bytes);
    EXPECT_EQ(s->freeCustomPalette, (ColourList{{3, 0.1, 0.2, 0.3}}));
    EXPECT_EQ(s->numberPaintNormal[0], (NumberList{{110, 0}}));
    EXPECT_EQ(s->pageIds.size(), 2u);
    expectWellFormed(*s);
}

// Whatever the bytes, the record read from them is well formed and saving it
// is a fixed point: reading the saved bytes gives the same bytes again.
void expectSoundAndStable(const Bytes& bytes) {
    Record s = load(bytes);
    expectWellFormed(*s);
    Bytes saved = save(*s);
    EXPECT_EQ(save(*load(saved)), saved);
}

TEST_F(StoreFileTest, EverySingleByteDamageGivesAWellFormedRecord) {
    const uint8_t values[] = {0x00, 0x01, 0x02, 0x7f, 0x80, 0xfe, 0xff};
    for (size_t offset = 0; offset < fixture().size(); ++offset) {
        for (uint8_t value : values) {
            SCOPED_TRACE(testing::Message() << "offset " << offset << " value " << int(value));
            expectSoundAndStable(patched(fixture(), offset, {value}));
            if (HasFailure()) return;
        }
    }
}

TEST_F(StoreFileTest, RandomBytesGiveAWellFormedRecord) {
    std::mt19937 random(20240611);
    for (int round = 0; round < 3000; ++round) {
        Bytes bytes(random() % 400);
        for (uint8_t& byte : bytes) byte = uint8_t(random() % 4 == 0 ? random() : random() % 3);
        if (bytes.size() >= 4 && round % 2 == 0) {
            const Bytes version1 = littleEndian(1);
            std::copy(version1.begin(), version1.end(), bytes.begin());
        }
        SCOPED_TRACE(round);
        expectSoundAndStable(bytes);
        if (HasFailure()) return;
    }
}

TEST_F(StoreFileTest, NoBytesAtAllGiveTheDefaults) {
    Record s(loadSettings(nullptr, 0));
    expectScalarDefaults(*s);
    EXPECT_EQ(save(*s), save(*fresh()));
}

// ---------------------------------------------------------------------------
// Resetting
// ---------------------------------------------------------------------------

TEST_F(StoreFileTest, ResetNewerOnlyKeepsTheShortFormatFields) {
    Record s = load(fixture());
    resetScalarSettings(*s, RESET_NEWER_ONLY);
    EXPECT_EQ(s->language, 2);
    EXPECT_FALSE(s->showHelpAtStart);
    EXPECT_TRUE(s->detailedPictures);
    EXPECT_EQ(s->preservedBytes.size(), 3u);
    EXPECT_EQ(s->reservedFlag, 1);
    EXPECT_EQ(s->reservedWord, 0);
    EXPECT_EQ(s->currentSlot, -1);
    EXPECT_EQ(s->pageIds.size(), 2u);
    EXPECT_EQ(s->freeCustomPalette.size(), 2u);
}

TEST_F(StoreFileTest, ResetFullTakesEveryDefaultButKeepsTheLists) {
    Record s = load(fixture());
    resetScalarSettings(*s, RESET_FULL);
    expectScalarDefaults(*s);
    EXPECT_EQ(s->pageIds.size(), 2u);
    EXPECT_EQ(s->numberPaintNormal[0].size(), 2u);
    EXPECT_EQ(s->freeCustomPalette.size(), 2u);
}

// ---------------------------------------------------------------------------
// Language
// ---------------------------------------------------------------------------

TEST(LanguageFileText, OnlyTheCountedWordNamesTheLanguage) {
    struct Case {
        const char* what;
        std::string text;
        int expected;
    };
    const Case cases[] = {
        {"section header, then the value", "[language]\ndefault=ru\n", 3},
        {"the value alone", "default=fr", 4},
        {"second word, more words after", "x default=de y z", 1},
        {"first word, then another", "default=de other", 0},
        {"third word", "a b default=de", 0},
        {"capitals", "[x]\nDEFAULT=DE", 0},
        {"blanks around the equals sign", "default = de", 0},
        {"Windows line ends", "[language]\r\ndefault=es\r\n", 2},
        {"tab between the words", "[x]\tdefault=es", 2},
        {"vertical tab between the words", "[x]\vdefault=es", 2},
        {"form feed between the words", "[x]\fdefault=es", 2},
        {"empty", "", 0},
        {"only whitespace", " \r\n\t ", 0},
        {"a longer word starting with the value", "[x] default=dex", 0},
        {"a prefix of the value", "[x] default=d", 0},
        {"an unknown code", "[x] default=it", 0},
        {"English named", "[x] default=en", 0},
        {"a NUL byte inside the word", std::string("[x] default=de\0x", 16), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(parseDefaultLanguage(c.text.data(), c.text.size()), c.expected);
    }
}

TEST(LanguageFileText, OnlyTheGivenBytesAreRead) {
    const char text[] = "[x] default=de";
    EXPECT_EQ(parseDefaultLanguage(text, sizeof text - 2), 0);  // "default=d"
    EXPECT_EQ(parseDefaultLanguage(text, sizeof text - 1), 1);
}

TEST_F(StoreTest, DefaultLanguageComesFromLangIniInTheWorkingDirectory) {
    EXPECT_EQ(readDefaultLanguage(), 0) << "no file";
    writeLangIni("[language]\r\ndefault=ru\r\n");
    EXPECT_EQ(readDefaultLanguage(), 3);
    writeLangIni("default=fr");
    EXPECT_EQ(fresh()->language, 4);
}

TEST_F(StoreFileTest, ASettingsFileReadWithoutErrorOverridesLangIni) {
    EXPECT_EQ(load(fixture())->language, 2);
}

TEST_F(StoreTest, LanguageArchiveFollowsTheLanguage) {
    Record s = fresh();
    const char* archives[] = {"langen.pak", "langde.pak", "langes.pak", "langru.pak", "langfr.pak"};
    const char* codes[] = {"en", "de", "es", "ru", "fr"};
    for (int index = 0; index < LANGUAGE_COUNT; ++index) {
        setLanguage(*s, index);
        EXPECT_EQ(getLanguage(*s), index);
        EXPECT_STREQ(languageArchive(*s), archives[index]);
        EXPECT_STREQ(languageCode(index), codes[index]);
    }
    EXPECT_STREQ(languageCode(-1), "en");
    EXPECT_STREQ(languageCode(LANGUAGE_COUNT), "en");
}

TEST_F(StoreTest, SetLanguageIgnoresAnIndexOutsideTheLanguages) {
    Record s = fresh();
    setLanguage(*s, 2);
    setLanguage(*s, LANGUAGE_COUNT);
    setLanguage(*s, -1);
    EXPECT_EQ(getLanguage(*s), 2);
}

// ---------------------------------------------------------------------------
// Pages and palettes
// ---------------------------------------------------------------------------

TEST_F(StoreTest, PagesGetSlotsInTheOrderFirstOpened) {
    Record s = fresh();
    EXPECT_EQ(currentPageId(*s), 0);
    selectPage(*s, 5);
    selectPage(*s, 2);
    EXPECT_EQ(s->currentSlot, 1);
    EXPECT_EQ(currentPageId(*s), 2);
    selectPage(*s, 5);
    EXPECT_EQ(s->currentSlot, 0);
    EXPECT_EQ(s->pageIds, (std::vector<int32_t>{5, 2}));
    expectWellFormed(*s);

    // With no preserved bytes and an empty palette the first page record
    // starts at offset 34.
    Bytes bytes = save(*s);
    ASSERT_GE(bytes.size(), 38u);
    EXPECT_EQ(Bytes(bytes.begin() + 30, bytes.begin() + 38), concat({littleEndian(2), littleEndian(5)}));
}

TEST_F(StoreTest, ReturningToAPageFindsItsProgress) {
    Record s = fresh();
    selectPage(*s, 5);
    paintRegion(*s, 110, 0, 0, 0, 0);
    selectPage(*s, 2);
    EXPECT_FALSE(isRegionPainted(*s, 110));
    selectPage(*s, 5);
    EXPECT_TRUE(isRegionPainted(*s, 110));
}

TEST_F(StoreTest, PaletteColourPrefersTheCustomEntryAndIsWhiteWithoutAny) {
    for (bool numbersMode : {true, false}) {
        SCOPED_TRACE(numbersMode ? "numbers" : "free");
        Record s = fresh();
        selectPage(*s, 3);
        s->numbersMode = numbersMode;
        setDefaultColour(*s, 1, 0.5, 0.5, 0.5);
        setDefaultColour(*s, 2, 0.2, 0.2, 0.2);
        setCustomColour(*s, 2, 0.9, 0.8, 0.7);
        setDefaultColour(*s, 1, 0.1, 0.2, 0.3);  // replaces, does not add
        EXPECT_EQ(colourOf(paletteColour, *s, 1), (std::vector<double>{0.1, 0.2, 0.3}));
        EXPECT_EQ(colourOf(paletteColour, *s, 2), (std::vector<double>{0.9, 0.8, 0.7}));
        EXPECT_EQ(colourOf(paletteColour, *s, 3), WHITE);
        EXPECT_TRUE(hasCustomColours(*s));

        clearCustomColours(*s);
        EXPECT_FALSE(hasCustomColours(*s));
        EXPECT_EQ(colourOf(paletteColour, *s, 2), (std::vector<double>{0.2, 0.2, 0.2}));
    }
}

TEST_F(StoreTest, NumberPalettesBelongToTheirPageAndFreeOnesAreShared) {
    Record s = fresh();
    selectPage(*s, 1);
    setCustomColour(*s, 0, 0.1, 0.1, 0.1);
    s->numbersMode = false;
    setCustomColour(*s, 0, 0.4, 0.4, 0.4);

    selectPage(*s, 2);
    EXPECT_TRUE(hasCustomColours(*s)) << "free-mode colours are shared by all pages";
    s->numbersMode = true;
    EXPECT_FALSE(hasCustomColours(*s)) << "page 1's number colours stay with page 1";
    EXPECT_EQ(colourOf(paletteColour, *s, 0), WHITE);
}

TEST_F(StoreTest, NoCustomColoursWithoutASlotEvenInFreeMode) {
    Record s = fresh();
    s->numbersMode = false;
    setCustomColour(*s, 0, 0.4, 0.4, 0.4);
    EXPECT_EQ(s->freeCustomPalette.size(), 1u);
    EXPECT_FALSE(hasCustomColours(*s));
}

// ---------------------------------------------------------------------------
// Painted regions
// ---------------------------------------------------------------------------

TEST_F(StoreTest, DetailedSwitchChangesTheListButNotTheSlot) {
    for (bool numbersMode : {true, false}) {
        SCOPED_TRACE(numbersMode ? "numbers" : "free");
        Record s = fresh();
        s->numbersMode = numbersMode;
        selectPage(*s, 4);
        paintRegion(*s, 110, 0.3, 0.3, 0.3, 0);
        paintRegion(*s, 23, 0.3, 0.3, 0.3, 1);

        s->detailedPictures = true;
        EXPECT_EQ(currentPageId(*s), 4);
        EXPECT_FALSE(isRegionPainted(*s, 110));
        EXPECT_TRUE(isPageBlank(*s));
        paintRegion(*s, 1203, 0.3, 0.3, 0.3, 11);
        EXPECT_EQ(currentPaintCount(*s), 1u);

        s->detailedPictures = false;
        EXPECT_EQ(currentPaintCount(*s), 2u);
        EXPECT_TRUE(isRegionPainted(*s, 110));
        EXPECT_FALSE(isRegionPainted(*s, 1203));
    }
}

TEST_F(StoreTest, ModesKeepTheirOwnPaintLists) {
    Record s = fresh();
    selectPage(*s, 4);
    paintRegion(*s, 110, 0.3, 0.3, 0.3, 0);
    s->numbersMode = false;
    EXPECT_TRUE(isPageBlank(*s));
    EXPECT_FALSE(isRegionPainted(*s, 110));
}

TEST_F(StoreTest, FreeModeWhiteUnpaintsAPaintedRegionOnly) {
    Record s = fresh();
    s->numbersMode = false;
    selectPage(*s, 1);
    paintRegion(*s, 11, 0.1, 0.1, 0.1, 0);
    paintRegion(*s, 12, 0.2, 0.2, 0.2, 0);
    paintRegion(*s, 13, 0.3, 0.3, 0.3, 0);
    paintRegion(*s, 12, 1, 1, 1, 0);
    EXPECT_EQ(s->freePaintNormal[0], (ColourList{{11, 0.1, 0.1, 0.1}, {13, 0.3, 0.3, 0.3}}))
        << "removal keeps the order of the others";

    paintRegion(*s, 14, 1, 1, 1, 0);
    EXPECT_TRUE(isRegionPainted(*s, 14)) << "an unpainted region painted white is listed";
    EXPECT_EQ(colourOf(regionColour, *s, 14), WHITE);

    paintRegion(*s, 11, 1, 1, 0.999, 0);
    EXPECT_TRUE(isRegionPainted(*s, 11)) << "only exact white unpaints";
}

TEST_F(StoreTest, NumbersModeRepaintChangesTheNumberWithoutAddingAnEntry) {
    Record s = fresh();
    selectPage(*s, 1);
    paintRegion(*s, 11, 0, 0, 0, 0);
    paintRegion(*s, 11, 1, 1, 1, 3);
    EXPECT_EQ(s->numberPaintNormal[0], (NumberList{{11, 3}})) << "white has no meaning in numbers mode";
}

TEST_F(StoreTest, PageIsCompleteWhenThePaintCountReachesTheRegionCount) {
    Record s = fresh();
    EXPECT_TRUE(isPageComplete(*s)) << "without a slot";
    EXPECT_TRUE(isPageBlank(*s)) << "without a slot";
    selectPage(*s, 7);
    setRegionCount(*s, 3);
    EXPECT_FALSE(isPageComplete(*s));
    paintRegion(*s, 11, 0, 0, 0, 0);
    paintRegion(*s, 12, 0, 0, 0, 0);
    paintRegion(*s, 12, 0, 0, 0, 1);
    EXPECT_FALSE(isPageComplete(*s)) << "a repaint is not a new region";
    EXPECT_FALSE(isPageBlank(*s));
    paintRegion(*s, 13, 0, 0, 0, 0);
    EXPECT_TRUE(isPageComplete(*s));
    setRegionCount(*s, 4);
    EXPECT_FALSE(isPageComplete(*s));
}

TEST_F(StoreTest, ClearingThePageEmptiesOnlyTheCurrentList) {
    Record s = fresh();
    selectPage(*s, 7);
    paintRegion(*s, 11, 0, 0, 0, 0);
    s->detailedPictures = true;
    paintRegion(*s, 12, 0, 0, 0, 0);
    clearCurrentPainted(*s);
    EXPECT_TRUE(isPageBlank(*s));
    s->detailedPictures = false;
    EXPECT_TRUE(isRegionPainted(*s, 11));
}

TEST_F(StoreTest, ClearAllPaintedKeepsSlotsAndPalettes) {
    Record s = load(fixture());
    ColourList slot0Palette = s->numberCustomPalette[0];
    ColourList freePalette = s->freeCustomPalette;
    clearAllPainted(*s);
    EXPECT_EQ(s->pageIds, (std::vector<int32_t>{5, 12}));
    EXPECT_EQ(s->currentSlot, 1);
    EXPECT_EQ(s->numberCustomPalette[0], slot0Palette);
    EXPECT_EQ(s->freeCustomPalette, freePalette);
    for (size_t slot = 0; slot < 2; ++slot) {
        EXPECT_TRUE(s->numberPaintNormal[slot].empty());
        EXPECT_TRUE(s->numberPaintDetailed[slot].empty());
        EXPECT_TRUE(s->freePaintNormal[slot].empty());
        EXPECT_TRUE(s->freePaintDetailed[slot].empty());
    }
}

TEST_F(StoreTest, NumbersModeRegionFollowsItsNumbersCurrentColour) {
    Record s = fresh();
    selectPage(*s, 1);
    setDefaultColour(*s, 0, 1, 0, 0);
    setDefaultColour(*s, 1, 0, 1, 0);
    paintRegion(*s, 11, 0.5, 0.5, 0.5, 0);
    EXPECT_EQ(colourOf(regionColour, *s, 11), (std::vector<double>{1, 0, 0})) << "the colour argument is not kept";
    setCustomColour(*s, 0, 0, 0, 1);
    EXPECT_EQ(colourOf(regionColour, *s, 11), (std::vector<double>{0, 0, 1}));
    paintRegion(*s, 11, 0, 0, 0, 1);
    EXPECT_EQ(colourOf(regionColour, *s, 11), (std::vector<double>{0, 1, 0}));
    EXPECT_EQ(colourOf(regionColour, *s, 12), WHITE);
}

TEST_F(StoreTest, FreeModeRegionShowsItsStoredColour) {
    Record s = fresh();
    s->numbersMode = false;
    selectPage(*s, 1);
    setCustomColour(*s, 0, 0, 0, 1);
    paintRegion(*s, 11, 0.25, 0.5, 0.75, 0);
    EXPECT_EQ(colourOf(regionColour, *s, 11), (std::vector<double>{0.25, 0.5, 0.75}));
    paintRegion(*s, 11, 0.75, 0.5, 0.25, 0);
    EXPECT_EQ(colourOf(regionColour, *s, 11), (std::vector<double>{0.75, 0.5, 0.25}));
    EXPECT_EQ(colourOf(regionColour, *s, 12), WHITE);
}

TEST_F(StoreTest, SlotOperationsWithoutASlotChangeNothing) {
    for (bool numbersMode : {true, false}) {
        SCOPED_TRACE(numbersMode ? "numbers" : "free");
        Record s = fresh();
        s->numbersMode = numbersMode;
        paintRegion(*s, 11, 0, 0, 0, 0);
        clearCurrentPainted(*s);
        clearAllPainted(*s);
        EXPECT_FALSE(isRegionPainted(*s, 11));
        EXPECT_EQ(currentPaintCount(*s), 0u);
        EXPECT_EQ(colourOf(regionColour, *s, 11), WHITE);
        EXPECT_TRUE(s->pageIds.empty());
        expectWellFormed(*s);
    }
}

}  // namespace
