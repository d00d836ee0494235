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
    const uint8_t black[3] = {0, 0, 0};
    uint8_t before[3];
    const double modeCard[3] = {4.77, -0.028, kPanelScene + kPieceDepth};
    waitForChangeAt(modeCard[0], modeCard[1], modeCard[2], black);  // the help screen has grown
    size_t musicFrom = recordedBytes(game);
    waitMs(1000);
    EXPECT_GT(loudnessSince(musicFrom), 50) << "the music plays";

    // The help screen is open: choose free colouring (the third card).
    sceneClick(modeCard[0], modeCard[1], modeCard[2]);
    ASSERT_NO_FATAL_FAILURE(waitForTheSheet());

    // Settings: music off, then German.
    const double music[3] = {-3.202, 0.292, kPanelScene + kPieceDepth};
    colourAt(music[0], music[1], music[2], before);
    sceneClick(0.92 - 39 * 0.41421356237309503 * width / height + 0.1, toolbarRowY(), 61);
    waitForChangeAt(music[0], music[1], music[2], before);  // the menu has opened
    colourAt(music[0], music[1], music[2], before);
    sceneClick(music[0], music[1], music[2]);
    waitForChangeAt(music[0], music[1], music[2], before);  // the tick went away
    waitMs(1000);
    size_t silentFrom = recordedBytes(game);
    waitMs(1000);
    EXPECT_LT(loudnessSince(silentFrom), 20) << "the music stopped";
    const double german[3] = {-1.17, -2.582, kPanelScene + kPieceDepth};
    // Just above the English flag, where the glow that marks the current language shows.
    const double english[3] = {-2.401, -2.582 + 0.55, kPanelScene + kPieceDepth};
    colourAt(english[0], english[1], english[2], before);
    sceneClick(german[0], german[1], german[2]);
    waitForChangeAt(english[0], english[1], english[2], before);  // the rebuilt menu marks German, not English
    sceneClick(3.374, 2.256, kPanelScene + kPieceDepth);  // close
    ASSERT_NO_FATAL_FAILURE(waitForTheSheet());

    // Paint region 11 red, then clear the picture through its confirmation.
    int x, y;
    clickTube(-11.54, 2.575, 75, false);  // the red tube
    regionPoint(regionWithKey(11), &x, &y);
    const double clearButton[3] = {7.3, toolbarRowY(), 61};
    const double yes[3] = {-1.323, -1.633, kPanelScene + kPieceDepth};
    colourAt(clearButton[0], clearButton[1], clearButton[2], before);  // where the clear button will come
    ASSERT_TRUE(clickAt(x, y));
    const uint8_t red[3] = {255, 0, 0}, white[3] = {255, 255, 255};
    uint8_t seen[3];
    EXPECT_TRUE(waitForColour(x, y, red, 16, 5000, seen)) << "painted red";
    waitForChangeAt(clearButton[0], clearButton[1], clearButton[2], before);  // the clear button has popped in
    colourAt(yes[0], yes[1], yes[2], before);
    sceneClick(clearButton[0], clearButton[1], clearButton[2]);
    waitForChangeAt(yes[0], yes[1], yes[2], before);  // the confirmation has opened
    ASSERT_TRUE(pressKey("Return"));
    EXPECT_TRUE(waitForColour(x, y, white, 16, 5000, seen)) << "cleared";

    // Paint region 21 again, so something is left to keep.
    regionPoint(regionWithKey(21), &x, &y);
    ASSERT_TRUE(clickAt(x, y));
    EXPECT_TRUE(waitForColour(x, y, red, 16, 5000, seen));

    // Tube 1 takes a colour from the colour dialog's ready paints.
    clickTube(-11.54, 5.426, 75, false);  // tube 1 (the colour button is there since the red tube was chosen)
    const double paint[3] = {-3.906, -1.275, kPanelScene + 0.1};
    colourAt(paint[0], paint[1], paint[2], before);
    sceneClick(-7.5, toolbarRowY(), 61);
    waitForChangeAt(paint[0], paint[1], paint[2], before);  // the colour dialog has opened
    // The red paint, first in the top row; a child holds the button a moment.
    sceneToWindow(paint[0], paint[1], paint[2], width, height, &x, &y);
    colourAt(paint[0], paint[1], paint[2], before);
    ASSERT_TRUE(holdAt(x, y, 200));
    ASSERT_TRUE(moveTo(2, height - 2));
    waitForChangeAt(paint[0], paint[1], paint[2], before);  // the dialog has closed

    // The help screen, told not to open at the start any more.
    const double startBox[3] = {-4.644, -2.319, kPanelScene + kPieceDepth};
    colourAt(startBox[0], startBox[1], startBox[2], before);
    ASSERT_TRUE(pressKey("F1"));
    waitForChangeAt(startBox[0], startBox[1], startBox[2], before);  // the help screen has opened
    colourAt(startBox[0], startBox[1], startBox[2], before);
    sceneClick(startBox[0], startBox[1], startBox[2]);
    waitForChangeAt(startBox[0], startBox[1], startBox[2], before);  // unticked
    ASSERT_TRUE(pressKey("Escape"));
    ASSERT_NO_FATAL_FAILURE(waitForTheSheet());

    ASSERT_NO_FATAL_FAILURE(leaveThroughTheExitConfirmation());
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
