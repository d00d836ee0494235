// A child playing the real game: the real binary with the real interface,
// sounds and dialogs, a picture of the test's own (its regions' centres are
// known), real pointer and key events, screenshots and the recorded sound.
#include "game/game.h"
#include "store/store.h"
#include "support/game_process.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <cmath>
#include <sys/stat.h>

namespace {

const double kHalfFieldTangent = 0.41421356237309503;  // tan(22.5 degrees)

class PlayTest : public ::testing::Test {
protected:
    std::string dir;
    std::vector<TestRegion> page1;
    GameProcess game = {};
    int width = 0, height = 0;

    void SetUp() override {
        dir = makeTempDir("play");
        for (const char* name : {"interface.pak", "langall.pak", "langen.pak", "langde.pak", "langes.pak",
                                 "langru.pak", "langfr.pak", "sound.pak", "music.pak"}) {
            std::vector<uint8_t> bytes = readWholeFile(std::string(TINTARIA_BINARY_DIR "/data/") + name);
            ASSERT_FALSE(bytes.empty()) << name << " was not built";
            ASSERT_TRUE(writeFileBytes(dir + "/" + name, bytes));
        }
        for (int id = 1; id <= 3; ++id) {
            char name[64];
            snprintf(name, sizeof name, "%s/page%02d.pak", dir.c_str(), id);
            std::vector<TestRegion> regions = writeTestPage(name, id, false);
            if (id == 1) page1 = regions;
        }
    }
    void TearDown() override {
        killGame(&game);
        removeTree(dir);
    }

    // Writes the settings a run starts from.
    void startWith(const Settings& s) {
        std::string folder = dir + "/user/tintaria";
        mkdir((dir + "/user").c_str(), 0700);
        mkdir(folder.c_str(), 0700);
        std::vector<uint8_t> bytes;
        saveSettings(s, bytes);
        ASSERT_TRUE(writeFileBytes(folder + "/pigmora-tintaria-cfg", bytes));
        game = launchGame(dir, dir + "/user");
        ASSERT_NE(0, game.pid);
        width = game.width;
        height = game.height;
        const uint8_t paper[3] = {255, 255, 255};
        uint8_t seen[3];
        ASSERT_TRUE(waitForColour(width / 2, height / 2, paper, 8, 20000, seen)) << "the picture's sheet appears";
        waitMs(300);
    }
    // The settings the game wrote when it ended.
    Settings* savedSettings() {
        std::vector<uint8_t> bytes = readWholeFile(settingsFileOf(game));
        return loadSettings(bytes.data(), bytes.size());
    }
    void sceneClick(double sx, double sy, double sz) {
        int x, y;
        sceneToWindow(sx, sy, sz, width, height, &x, &y);
        ASSERT_TRUE(clickAt(x, y));
    }
    void regionPoint(const TestRegion& r, int* x, int* y) { canvasToWindow(r.cx, r.cy, width, height, x, y); }
    const TestRegion& regionWithKey(int key) {
        for (const TestRegion& r : page1)
            if (r.key == key) return r;
        return page1.front();
    }
    double toolbarRowY() { return 39 * kHalfFieldTangent - 0.92; }
    // Loudness of the sound recorded since a byte offset (root mean square).
    double loudnessSince(size_t from) {
        std::vector<int16_t> samples = recordedSound(game, from);
        double sum = 0;
        for (int16_t s : samples) sum += (double)s * s;
        return samples.empty() ? 0 : std::sqrt(sum / samples.size());
    }
    // Zero crossings per thousand samples of the sound since a byte offset: a chime is high, a boop low.
    double brightnessSince(size_t from) {
        std::vector<int16_t> samples = recordedSound(game, from);
        int crossings = 0, counted = 0;
        for (size_t i = 2; i < samples.size(); i += 2) {  // left channel
            if (std::abs(samples[i]) < 200 && std::abs(samples[i - 2]) < 200) continue;
            crossings += (samples[i] >= 0) != (samples[i - 2] >= 0);
            ++counted;
        }
        return counted ? 1000.0 * crossings / counted : 0;
    }
};

Settings* playerSettings(bool numbers) {
    Settings* s = defaultSettings();
    s->showHelpAtStart = false;
    s->musicOn = false;
    s->numbersMode = numbers;
    selectPage(*s, 1);
    return s;
}

}  // namespace

TEST_F(PlayTest, NumbersModePaintsTheRightRegionAndTheArrowsTurnThePage) {
    Settings* s = playerSettings(true);
    ASSERT_NO_FATAL_FAILURE(startWith(*s));
    delete s;

    sceneClick(-9.857, 5.282, 77);  // tube 1
    waitMs(300);
    int x, y;
    regionPoint(regionWithKey(11), &x, &y);
    size_t before = recordedBytes(game);
    ASSERT_TRUE(clickAt(x, y));
    const uint8_t red[3] = {204, 0, 0};  // page 1's first colour
    uint8_t seen[3];
    EXPECT_TRUE(waitForColour(x, y, red, 16, 5000, seen))
        << "region 11 shows " << (int)seen[0] << "," << (int)seen[1] << "," << (int)seen[2];
    double right = brightnessSince(before);
    EXPECT_GT(loudnessSince(before), 300) << "a sound was played";

    regionPoint(regionWithKey(21), &x, &y);
    before = recordedBytes(game);
    ASSERT_TRUE(clickAt(x, y));
    waitMs(1200);
    const uint8_t white[3] = {255, 255, 255};
    EXPECT_TRUE(waitForColour(x, y, white, 8, 100, seen)) << "a region of number 2 stays unpainted";
    double wrong = brightnessSince(before);
    EXPECT_GT(loudnessSince(before), 300);
    EXPECT_GT(right, wrong * 1.5) << "the right click chimes, the wrong one boops lower";

    sceneClick(14.973 + 1.15, -13.155, 61);  // the right arrow
    waitMs(500);
    ASSERT_TRUE(pressKey("Right"));
    waitMs(500);
    ASSERT_TRUE(pressKey("Escape"));
    waitMs(600);
    ASSERT_TRUE(pressKey("Return"));
    ASSERT_EQ(0, waitForGameExit(&game, 10000)) << "the exit confirmation ends the game normally";

    Settings* saved = savedSettings();
    EXPECT_EQ(3, currentPageId(*saved)) << "two pages on";
    selectPage(*saved, 1);
    EXPECT_TRUE(isRegionPainted(*saved, 11));
    EXPECT_FALSE(isRegionPainted(*saved, 21));
    delete saved;
}

TEST_F(PlayTest, FreeModePaintsAnyRegionAndTheBackButtonUndoesIt) {
    Settings* s = playerSettings(false);
    ASSERT_NO_FATAL_FAILURE(startWith(*s));
    delete s;

    sceneClick(-11.54, 2.575, 75);  // the red tube
    waitMs(300);
    int x, y;
    regionPoint(regionWithKey(21), &x, &y);
    ASSERT_TRUE(clickAt(x, y));
    const uint8_t red[3] = {255, 0, 0};
    uint8_t seen[3];
    EXPECT_TRUE(waitForColour(x, y, red, 16, 5000, seen))
        << "region 21 shows " << (int)seen[0] << "," << (int)seen[1] << "," << (int)seen[2];

    waitMs(600);  // the back button pops in
    sceneClick(4.3, toolbarRowY(), 61);
    regionPoint(regionWithKey(21), &x, &y);
    const uint8_t white[3] = {255, 255, 255};
    EXPECT_TRUE(waitForColour(x, y, white, 16, 5000, seen))
        << "undone: region 21 shows " << (int)seen[0] << "," << (int)seen[1] << "," << (int)seen[2];

    ASSERT_TRUE(pressKey("Escape"));
    waitMs(600);
    ASSERT_TRUE(pressKey("Return"));
    ASSERT_EQ(0, waitForGameExit(&game, 10000));
    Settings* saved = savedSettings();
    EXPECT_TRUE(isPageBlank(*saved)) << "nothing left painted";
    delete saved;
}
