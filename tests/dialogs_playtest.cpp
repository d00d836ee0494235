// A first session with the real game, as a child (and a parent) would have
// it: the help screen chooses free colouring, the settings menu silences the
// music and switches to German, a picture is painted and cleared, tube 1
// gets a colour from the colour dialog, the help screen is told not to come
// back, and the exit confirmation ends the game with all of it saved. The
// second start shows the same progress and no help screen.
#include "store/store.h"
#include "support/play_harness.h"

#include <gtest/gtest.h>

namespace {

using FirstSession = PlayHarness;

// Dialog pieces sit under the game layer, turned to face the viewer: a point
// (x, depth, z) on a panel at depth -81.5 lands at scene (x, z, 81.5 - depth).
const double kPanelScene = 81.5;
const double kPieceDepth = 0.2;

}  // namespace

TEST_F(FirstSession, ChoicesMadeInTheDialogsAreKeptForTheNextStart) {
    ASSERT_NO_FATAL_FAILURE(startWith(nullptr));  // a new installation: no settings file
    waitMs(2500);
    size_t musicFrom = recordedBytes(game);
    waitMs(1000);
    EXPECT_GT(loudnessSince(musicFrom), 50) << "the music plays";

    // The help screen is open: choose free colouring (the third card).
    sceneClick(4.77, -0.028, kPanelScene + kPieceDepth);
    ASSERT_NO_FATAL_FAILURE(waitForTheSheet());

    // Settings: music off, then German.
    sceneClick(0.92 - 39 * 0.41421356237309503 * width / height + 0.1, toolbarRowY(), 61);
    waitMs(800);
    sceneClick(-3.202, 0.292, kPanelScene + kPieceDepth);  // music
    waitMs(1500);
    size_t silentFrom = recordedBytes(game);
    waitMs(1000);
    EXPECT_LT(loudnessSince(silentFrom), 20) << "the music stopped";
    sceneClick(-1.17, -2.582, kPanelScene + kPieceDepth);  // the German flag
    waitMs(900);
    sceneClick(3.374, 2.256, kPanelScene + kPieceDepth);  // close
    ASSERT_NO_FATAL_FAILURE(waitForTheSheet());

    // Paint region 11 red, then clear the picture through its confirmation.
    int x, y;
    clickTube(-11.54, 2.575, 75, false);  // the red tube
    regionPoint(regionWithKey(11), &x, &y);
    ASSERT_TRUE(clickAt(x, y));
    const uint8_t red[3] = {255, 0, 0}, white[3] = {255, 255, 255};
    uint8_t seen[3];
    EXPECT_TRUE(waitForColour(x, y, red, 16, 5000, seen)) << "painted red";
    waitMs(600);
    sceneClick(7.3, toolbarRowY(), 61);  // the clear button
    waitMs(600);
    ASSERT_TRUE(pressKey("Return"));
    EXPECT_TRUE(waitForColour(x, y, white, 16, 5000, seen)) << "cleared";

    // Paint region 21 again, so something is left to keep.
    regionPoint(regionWithKey(21), &x, &y);
    ASSERT_TRUE(clickAt(x, y));
    EXPECT_TRUE(waitForColour(x, y, red, 16, 5000, seen));

    // Tube 1 takes a colour from the colour dialog's ready paints.
    clickTube(-11.54, 5.426, 75, false);  // tube 1
    waitMs(700);  // the colour button pops in
    sceneClick(-7.5, toolbarRowY(), 61);
    waitMs(800);
    // The red paint, first in the top row; a child holds the button a moment.
    sceneToWindow(-3.906, -1.275, kPanelScene + 0.1, width, height, &x, &y);
    ASSERT_TRUE(holdAt(x, y, 200));
    waitMs(1000);

    // The help screen, told not to open at the start any more.
    ASSERT_TRUE(pressKey("F1"));
    waitMs(800);
    sceneClick(-4.644, -2.319, kPanelScene + kPieceDepth);
    waitMs(300);
    ASSERT_TRUE(pressKey("Escape"));
    ASSERT_NO_FATAL_FAILURE(waitForTheSheet());

    ASSERT_TRUE(pressKey("Escape"));
    waitMs(700);
    ASSERT_TRUE(pressKey("Return"));
    ASSERT_EQ(0, waitForGameExit(&game, 10000)) << "the exit confirmation ends the game normally";

    Settings* saved = savedSettings();
    EXPECT_FALSE(saved->numbersMode) << "free colouring, chosen on the help screen";
    EXPECT_FALSE(saved->detailedPictures);
    EXPECT_FALSE(saved->musicOn);
    EXPECT_EQ(1, getLanguage(*saved)) << "German";
    EXPECT_FALSE(saved->showHelpAtStart);
    ASSERT_EQ(1u, saved->freeCustomPalette.size()) << "tube 1's own colour";
    EXPECT_EQ(0, saved->freeCustomPalette[0].key);
    EXPECT_GT(saved->freeCustomPalette[0].r, 0.7) << "red, taken from the screen";
    EXPECT_LT(saved->freeCustomPalette[0].g, 0.4);
    EXPECT_EQ(1, currentPageId(*saved));
    EXPECT_TRUE(isRegionPainted(*saved, 21));
    EXPECT_FALSE(isRegionPainted(*saved, 11)) << "cleared";
    delete saved;

    // The second start: no help screen, the painted region shows again.
    killGame(&game);
    ASSERT_NO_FATAL_FAILURE(startWith(nullptr));
    ASSERT_NO_FATAL_FAILURE(waitForTheSheet());
    regionPoint(regionWithKey(21), &x, &y);
    EXPECT_TRUE(waitForColour(x, y, red, 16, 5000, seen)) << "the progress is back";
}
