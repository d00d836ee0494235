// A child colouring in the real game: tubes, regions, the arrows, undo.
#include "game/game.h"
#include "store/store.h"
#include "support/play_harness.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <sys/stat.h>

namespace {

using PlayTest = PlayHarness;

Settings* playerSettings(bool numbers) {
    Settings* s = defaultSettings();
    s->showHelpAtStart = false;
    s->musicOn = false;
    s->numbersMode = numbers;
    selectPage(*s, 1);
    return s;
}

// Where the picture of a game in play is kept for the README and the metainfo.
const char kScreenshotPath[] = TINTARIA_BINARY_DIR "/screenshots/playing.png";

// The tubes of a nine-colour page in colour-by-number mode, top to bottom.
const double kNumberTubeX = -9.857, kNumberTubeZ = 77.0;
const double kNumberTubeY9[9] = {5.282, 3.929, 2.576, 1.224, -0.129, -1.482, -2.835, -4.188, -5.541};

}  // namespace

TEST_F(PlayTest, NumbersModePaintsTheRightRegionAndTheArrowsTurnThePage) {
    Settings* s = playerSettings(true);
    ASSERT_NO_FATAL_FAILURE(startWith(s));
    delete s;
    ASSERT_NO_FATAL_FAILURE(waitForTheSheet());

    clickTube(-9.857, 5.282, 77, true);  // tube 1
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
    ASSERT_NO_FATAL_FAILURE(leaveThroughTheExitConfirmation());
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
    ASSERT_NO_FATAL_FAILURE(startWith(s));
    delete s;
    ASSERT_NO_FATAL_FAILURE(waitForTheSheet());

    clickTube(-11.54, 2.575, 75, false);  // the red tube
    int x, y;
    regionPoint(regionWithKey(21), &x, &y);
    uint8_t before[3];
    colourAt(4.3, toolbarRowY(), 61, before);  // where the back button will come
    ASSERT_TRUE(clickAt(x, y));
    const uint8_t red[3] = {255, 0, 0};
    uint8_t seen[3];
    EXPECT_TRUE(waitForColour(x, y, red, 16, 5000, seen))
        << "region 21 shows " << (int)seen[0] << "," << (int)seen[1] << "," << (int)seen[2];
    waitForChangeAt(4.3, toolbarRowY(), 61, before);  // the back button has popped in
    sceneClick(4.3, toolbarRowY(), 61);
    regionPoint(regionWithKey(21), &x, &y);
    const uint8_t white[3] = {255, 255, 255};
    EXPECT_TRUE(waitForColour(x, y, white, 16, 5000, seen))
        << "undone: region 21 shows " << (int)seen[0] << "," << (int)seen[1] << "," << (int)seen[2];

    ASSERT_NO_FATAL_FAILURE(leaveThroughTheExitConfirmation());
    ASSERT_EQ(0, waitForGameExit(&game, 10000));
    Settings* saved = savedSettings();
    EXPECT_TRUE(isPageBlank(*saved)) << "nothing left painted";
    delete saved;
}

TEST_F(PlayTest, ARealPictureIsPaintedWhereItsManifestPlacesTheRegions) {
    std::vector<double> radii;
    if (!useBuiltPage1(&radii)) GTEST_SKIP() << "the pictures are not built";
    // The roomiest region of colour 1, and one of another colour.
    size_t mine = page1.size(), other = page1.size();
    for (size_t i = 0; i < page1.size(); ++i) {
        if (page1[i].colourNumber == 0 && (mine == page1.size() || radii[i] > radii[mine])) mine = i;
        if (page1[i].colourNumber != 0 && (other == page1.size() || radii[i] > radii[other])) other = i;
    }
    ASSERT_LT(mine, page1.size());
    ASSERT_LT(other, page1.size());
    Settings* s = playerSettings(true);
    ASSERT_NO_FATAL_FAILURE(startWith(s));
    delete s;
    const uint8_t black[3] = {0, 0, 0};
    int tx, ty;
    sceneToWindow(-9.857, 5.282, 77, width, height, &tx, &ty);
    uint8_t settled[3];
    ASSERT_TRUE(waitForSettledPixel(tx, ty, black, 20000, settled)) << "the tubes have grown";

    // The number sits on the label point: look beside it, still well inside the region.
    auto inside = [&](size_t i, int* x, int* y) {
        canvasToWindow(page1[i].cx + 0.75 * radii[i], page1[i].cy, width, height, x, y);
    };
    ASSERT_TRUE(moveTo(2, height - 2));  // the brush follows the pointer: keep it off the picture
    const uint8_t white[3] = {255, 255, 255}, red[3] = {204, 0, 0};
    uint8_t seen[3];
    int x, y, ox, oy;
    inside(mine, &x, &y);
    inside(other, &ox, &oy);
    EXPECT_TRUE(waitForColour(x, y, white, 12, 3000, seen))
        << "unpainted regions show the white sheet, seen " << (int)seen[0] << "," << (int)seen[1] << "," << (int)seen[2];

    clickTube(-9.857, 5.282, 77, true);
    ASSERT_TRUE(clickAt(ox, oy));
    ASSERT_TRUE(clickAt(x, y));
    ASSERT_TRUE(moveTo(2, height - 2));
    EXPECT_TRUE(waitForColour(x, y, red, 16, 5000, seen))
        << page1[mine].entry << " shows " << (int)seen[0] << "," << (int)seen[1] << "," << (int)seen[2];
    EXPECT_TRUE(waitForColour(ox, oy, white, 12, 100, seen)) << page1[other].entry << " stays white";
}

TEST_F(PlayTest, EveryRegionOfSeveralNumbersKeepsItsColourOnARealPicture) {
    std::vector<double> radii;
    if (!useBuiltPage1(&radii)) GTEST_SKIP() << "the pictures are not built";
    const PageEntry* page = findPage(1);
    ASSERT_TRUE(page != nullptr);
    ASSERT_EQ(9, page->colourCount);
    // Numbers that leave the picture about half done: red, dark brown, green and yellow.
    const int painted[] = {0, 2, 3, 4};
    auto chosen = [&](int number) { return std::find(std::begin(painted), std::end(painted), number) != std::end(painted); };
    auto inside = [&](size_t i, int* x, int* y) {
        canvasToWindow(page1[i].cx + 0.75 * radii[i], page1[i].cy, width, height, x, y);
    };
    // Regions too small to hit reliably with the pointer are left out of both painting and checking.
    auto roomy = [&](size_t i) {
        int x0, y0, x1, y1;
        canvasToWindow(page1[i].cx, page1[i].cy, width, height, &x0, &y0);
        canvasToWindow(page1[i].cx + radii[i], page1[i].cy, width, height, &x1, &y1);
        return std::abs(x1 - x0) >= 5;
    };

    Settings* s = playerSettings(true);
    ASSERT_NO_FATAL_FAILURE(startWith(s));
    delete s;
    const uint8_t black[3] = {0, 0, 0};
    int tx, ty;
    sceneToWindow(kNumberTubeX, kNumberTubeY9[0], kNumberTubeZ, width, height, &tx, &ty);
    uint8_t settled[3];
    ASSERT_TRUE(waitForSettledPixel(tx, ty, black, 20000, settled)) << "the tubes have grown";

    // Each stroke is watched until its region shows the colour: on a busy machine a frame can take
    // longer than the pointer's pause before a click, and the click then lands on the region picked
    // before. Such a stroke, or a dropped tube click, is given another try.
    size_t paintedCount = 0;
    int x = 0, y = 0;
    for (int number : painted) {
        bool tubeTaken = false;
        for (size_t i = 0; i < page1.size(); ++i) {
            if (page1[i].colourNumber != number || !roomy(i)) continue;
            inside(i, &x, &y);
            bool shown = false;
            for (int attempt = 0; attempt < 3 && !shown; ++attempt) {
                if (!tubeTaken) {
                    clickTube(kNumberTubeX, kNumberTubeY9[number], kNumberTubeZ, true);
                    waitMs(300);
                }
                ASSERT_TRUE(clickAt(x, y));
                uint8_t seen[3];
                shown = waitForColour(x, y, page->palette[number], 16, 2000, seen);
            }
            ASSERT_TRUE(shown) << "tube " << number + 1 << " paints " << page1[i].entry;
            tubeTaken = true;
            ++paintedCount;
        }
    }
    ASSERT_GT(paintedCount, page1.size() / 4) << "enough of the picture is painted to see it";

    ASSERT_TRUE(moveTo(2, height - 2));  // the brush follows the pointer: keep it off the picture
    for (size_t i = 0; i < page1.size(); ++i) {
        if (!roomy(i)) continue;
        const uint8_t white[3] = {255, 255, 255};
        const uint8_t* want = chosen(page1[i].colourNumber) ? page->palette[page1[i].colourNumber] : white;
        int px, py;
        inside(i, &px, &py);
        uint8_t seen[3];
        // A stroke's sparkle takes a moment to fade.
        EXPECT_TRUE(waitForColour(px, py, want, 16, 5000, seen))
            << page1[i].entry << " (number " << page1[i].colourNumber + 1 << ") shows " << int(seen[0]) << ","
            << int(seen[1]) << "," << int(seen[2]);
    }

    // The brush, still holding the last colour, rests in the sky beside the sun for the picture.
    canvasToWindow(27.0, 23.5, width, height, &x, &y);
    ASSERT_TRUE(moveTo(x, y));
    waitMs(1500);
    mkdir(TINTARIA_BINARY_DIR "/screenshots", 0755);
    EXPECT_TRUE(saveScreenshot(kScreenshotPath)) << kScreenshotPath;
}
