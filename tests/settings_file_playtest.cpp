// The settings file as the real game reads it at start and writes it back at
// exit: a file longer than one read chunk is read whole, a file from a newer
// version keeps its switches and language but not its progress, a file cut
// short keeps the pages read completely and takes default switches, and a
// file far too large to be ours is not read at all.
#include "store/store.h"
#include "support/play_harness.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <sys/stat.h>

namespace {

enum FileDamage { UNDAMAGED, NEWER_VERSION, CUT_IN_LAST_PAGE, PADDED_BEYOND_16_MIB };

struct FileCase {
    const char* name;
    FileDamage damage;
    // What the game saved at exit.
    bool switchesKept;     // else every switch and the language take their defaults
    size_t page1Entries;   // page 1 is the one on screen, so it has a slot in every case
    bool pages2And3Kept;
};

const size_t kEntriesPerPage = 80;  // two such pages take more than 4 KiB

const FileCase kFileCases[] = {
    {"Whole", UNDAMAGED, true, 2, true},
    {"NewerVersion", NEWER_VERSION, true, 0, false},
    {"CutInLastPage", CUT_IN_LAST_PAGE, false, 0, true},
    {"FarTooLarge", PADDED_BEYOND_16_MIB, false, 0, false},
};

void PrintTo(const FileCase& c, std::ostream* out) { *out << c.name; }
std::string caseName(const ::testing::TestParamInfo<FileCase>& info) { return info.param.name; }

// A player in free mode with detailed pictures, Spanish, the help screen and
// the music off, on page 1 with two regions painted and pages 2 and 3 full of paint.
Settings* playerWithProgress() {
    Settings* s = defaultSettings();
    s->showHelpAtStart = false;
    s->musicOn = false;
    s->numbersMode = false;
    s->detailedPictures = true;
    setLanguage(*s, 2);
    for (int page : {3, 2}) {
        selectPage(*s, page);
        for (size_t key = 1; key <= kEntriesPerPage; ++key) paintRegion(*s, int(key), 0.5, 0.25, 1.0, 0);
    }
    selectPage(*s, 1);
    paintRegion(*s, 11, 1.0, 0.0, 0.0, 0);
    paintRegion(*s, 21, 0.0, 0.0, 1.0, 0);
    return s;
}

class SettingsFileTest : public PlayHarness, public ::testing::WithParamInterface<FileCase> {};

}  // namespace

TEST_P(SettingsFileTest, TheGameReadsWhatTheLoaderAllowsAndWritesItBack) {
    const FileCase& c = GetParam();
    Settings* player = playerWithProgress();
    std::vector<uint8_t> bytes;
    saveSettings(*player, bytes);
    ASSERT_EQ(player->pageIds, (std::vector<int32_t>{3, 2, 1}));
    delete player;
    ASSERT_GT(bytes.size(), 4096u);
    if (c.damage == NEWER_VERSION) {
        bytes[0] = 2;
    } else if (c.damage == CUT_IN_LAST_PAGE) {
        bytes.resize(bytes.size() - 10);  // inside page 1's record, the last one written
    } else if (c.damage == PADDED_BEYOND_16_MIB) {
        bytes.resize((16u << 20) + 1, 0);
    }
    std::string folder = dir + "/user/tintaria";
    ASSERT_EQ(0, mkdir((dir + "/user").c_str(), 0700));
    ASSERT_EQ(0, mkdir(folder.c_str(), 0700));
    ASSERT_TRUE(writeFileBytes(folder + "/pigmora-tintaria-cfg", bytes));
    bytes.clear();

    ASSERT_NO_FATAL_FAILURE(startWith(nullptr));
    waitMs(3000);  // whatever opens at start has opened
    ASSERT_EQ(0, quitWithEscapeAndReturn(&game));

    Settings* saved = savedSettings();
    Settings* kept = playerWithProgress();
    Settings* defaults = defaultSettings();
    const Settings* want = c.switchesKept ? kept : defaults;
    EXPECT_EQ(want->showHelpAtStart, saved->showHelpAtStart);
    EXPECT_EQ(want->musicOn, saved->musicOn);
    EXPECT_EQ(want->numbersMode, saved->numbersMode);
    EXPECT_EQ(want->detailedPictures, saved->detailedPictures);
    EXPECT_EQ(want->language, saved->language);
    delete kept;
    delete defaults;

    EXPECT_EQ(1, currentPageId(*saved)) << "the game opens page 1";
    std::vector<int32_t> pages(saved->pageIds.begin(), saved->pageIds.end());
    std::sort(pages.begin(), pages.end());
    std::vector<int32_t> wantPages = {1};
    if (c.pages2And3Kept) wantPages = {1, 2, 3};
    EXPECT_EQ(wantPages, pages);
    // The paint was put down in free mode on detailed pictures.
    saved->numbersMode = false;
    saved->detailedPictures = true;
    EXPECT_EQ(c.page1Entries, currentPaintCount(*saved));
    if (c.pages2And3Kept) {
        for (int page : {2, 3}) {
            selectPage(*saved, page);
            EXPECT_EQ(kEntriesPerPage, currentPaintCount(*saved)) << "page " << page;
        }
    }
    delete saved;
}

INSTANTIATE_TEST_SUITE_P(Start, SettingsFileTest, ::testing::ValuesIn(kFileCases), caseName);
