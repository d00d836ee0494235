// The colouring game driven through the real scene, frame by frame: the
// painting rules, tubes and brush, undo, page navigation, the conditional
// toolbar buttons and the celebration. The pointer is placed by naming the
// node under it (what the selection pass would find); sounds are identified
// by the mixer channel they start.
#include "audio/audio.h"
#include "game/game.h"
#include "resources/resources.h"
#include "scene/scene.h"
#include "shell/shell.h"
#include "store/store.h"
#include "support/test_support.h"

#include "support/scene_harness.h"

#include <GL/gl.h>
#include <gtest/gtest.h>
#include <cstring>
#include <unistd.h>

namespace {

class GameLogicTest : public SceneHarness {
protected:
    SceneNode* picture() { return pageHolder->children[0]; }
    SceneNode* region(int key) {
        for (SceneNode* node : picture()->children)
            if (node->runner.running.front().iparam1 == key) return node;
        return nullptr;
    }
    std::vector<SceneNode*> tubes() {
        std::vector<SceneNode*> result;
        for (SceneNode* slot : paletteHolder->children)
            if (!slot->children.empty()) result.push_back(slot->children.back());
        return result;
    }
    SceneNode* tube(int number) { return tubes()[number - 1]; }
    SceneNode* toolbar() { return sceneRoot->children[1]; }
};

using Sounds = std::vector<std::string>;

}  // namespace

TEST_F(GameLogicTest, PageIsBuiltFromTheCatalogueWithItsTubes) {
    selectPage(*settings, 7);
    paintRegion(*settings, 110, 0, 0, 0, 0);  // no such region: ignored by the page
    paintRegion(*settings, 23, 0, 0, 0, 1);
    createScene();
    frame();
    ASSERT_NE(nullptr, pageHolder);
    EXPECT_EQ(31u, picture()->children.size()) << "page 7, normal: 31 regions";
    EXPECT_EQ(11, picture()->children[0]->runner.running.front().iparam1) << "color1el1 first";
    EXPECT_EQ(31u, settings->regionCount);
    EXPECT_FALSE(region(11)->visible) << "unpainted: hidden but pickable";
    EXPECT_TRUE(region(23)->visible);
    EXPECT_EQ(0.8, region(23)->r) << "starts grey and glides from there";

    std::vector<SceneNode*> all = tubes();
    ASSERT_EQ(9u, all.size());
    EXPECT_NEAR(5.282, paletteHolder->children[0]->transform.y, 1e-9);
    EXPECT_NEAR(-5.541, paletteHolder->children[8]->transform.y, 1e-9);
    double colour[3];
    paletteColour(*settings, 8, colour);
    EXPECT_DOUBLE_EQ(141 / 255.0, colour[0]) << "page 7's ninth colour";
    EXPECT_DOUBLE_EQ(141 / 255.0, all[8]->children[0]->r) << "the ribbon carries the tube colour";
}

TEST_F(GameLogicTest, NumbersModePaintsOnlyWithTheRegionsOwnTube) {
    selectPage(*settings, 7);
    createScene();
    frame();

    click(region(31));
    EXPECT_EQ(Sounds{"scena_false.wav"}, takePlayed()) << "no tube chosen yet";
    EXPECT_EQ(0, hintTube) << "tube 3 took the hint and wobbles";
    EXPECT_FALSE(isRegionPainted(*settings, 31));

    click(tube(3));
    EXPECT_EQ(Sounds{"banka.wav"}, takePlayed());
    EXPECT_FALSE(noColourChosen);
    EXPECT_EQ(2, selectedTube);

    click(region(31));
    EXPECT_EQ(Sounds{"scena.wav"}, takePlayed());
    EXPECT_TRUE(isRegionPainted(*settings, 31));
    EXPECT_TRUE(region(31)->visible);

    click(region(51));
    EXPECT_EQ(Sounds{"scena_false.wav"}, takePlayed());
    EXPECT_FALSE(isRegionPainted(*settings, 51));

    click(region(31));
    EXPECT_TRUE(takePlayed().empty()) << "a painted region ignores further clicks";

    frames(200);
    double wanted[3];
    paletteColour(*settings, 2, wanted);
    EXPECT_NEAR(wanted[0], region(31)->r, 1e-3) << "the region glided to its tube's colour";
    EXPECT_NEAR(wanted[2], region(31)->b, 1e-3);
}

TEST_F(GameLogicTest, LastRegionFinishesThePageAndStartsTheBursts) {
    selectPage(*settings, 7);
    const PageEntry* page = findPage(7);
    for (const PageRegion& r : variantRegions(page, &page->normal))
        if (r.key != 11) paintRegion(*settings, r.key, 0, 0, 0, r.colourNumber);
    createScene();
    frame();
    click(tube(1));
    takePlayed();
    size_t before = pageHolder->children.size();
    frame(region(11), true);
    EXPECT_EQ(Sounds{"finish.wav"}, takePlayed());
    EXPECT_TRUE(isPageComplete(*settings));
    EXPECT_EQ(12, burstsLeft + (burstPending ? 0 : 1)) << "twelve bursts prepared";
    frame();  // tube 1 releases the first burst in its next tick
    EXPECT_EQ(11, burstsLeft);
    EXPECT_EQ(before + 51, pageHolder->children.size()) << "a trigger and fifty bubbles";
    for (int i = 0; i < 400 && burstsLeft > 0; ++i) frame();
    EXPECT_EQ(0, burstsLeft) << "every burst found its tube";
}

TEST_F(GameLogicTest, FreeModePaintsAnyRegionAndUndoRestoresEachColourBefore) {
    settings->numbersMode = false;
    selectPage(*settings, 7);
    createScene();
    frame();
    ASSERT_EQ(18u, tubes().size());
    EXPECT_TRUE(tubes()[0]->children[0]->children.empty()) << "no number labels in free mode";

    click(region(11));
    EXPECT_TRUE(takePlayed().empty()) << "no colour chosen: no click at all";

    click(tube(5));  // red
    click(region(11));
    click(region(11));
    EXPECT_EQ((Sounds{"banka.wav", "scena.wav"}), takePlayed()) << "the same colour twice paints once";
    click(tube(10));  // blue
    click(region(11));
    EXPECT_EQ((Sounds{"banka.wav", "scena.wav"}), takePlayed());
    ASSERT_EQ(2u, undoHistory.size());
    EXPECT_EQ(1.0, undoHistory[0].r) << "white before the first paint";
    EXPECT_EQ(255 / 256.0, undoHistory[1].r) << "red before the second";
    frame();
    EXPECT_TRUE(backShown) << "the back button came";

    undoLastPaint();
    double colour[3];
    regionColour(*settings, 11, colour);
    EXPECT_EQ(255 / 256.0, colour[0]);
    EXPECT_EQ(0.0, colour[2]);
    undoLastPaint();
    EXPECT_FALSE(isRegionPainted(*settings, 11)) << "white again: unpainted";
    EXPECT_FALSE(undoAvailable);
    frame();
    EXPECT_FALSE(backShown) << "the back button is leaving";
}

TEST_F(GameLogicTest, ArrowsWrapAroundAndFreeModeKeepsTubesAndBrush) {
    selectPage(*settings, 15);
    createScene();
    frame();
    SceneNode* firstPage = pageHolder;
    nextPage();
    nextPage();  // two requests in one frame: one rebuild
    frame();
    EXPECT_EQ(1, currentPageId(*settings)) << "after 15 comes 1 (the second request aimed from 15 too)";
    EXPECT_NE(firstPage, pageHolder);
    EXPECT_TRUE(firstPage->closing);
    previousPage();
    frame();
    EXPECT_EQ(15, currentPageId(*settings)) << "before 1 comes 15";

    settings->numbersMode = false;
    settings->detailedPictures = true;
    selectPageBuilder();
    keepPalette = false;
    frame();
    click(tube(3));
    SceneNode* palette = paletteHolder;
    undoAvailable = true;
    nextPage();
    EXPECT_FALSE(undoAvailable) << "the history belongs to the page it was made on";
    frame();
    EXPECT_EQ(1, currentPageId(*settings));
    EXPECT_EQ(palette, paletteHolder) << "free tubes stay";
    EXPECT_FALSE(noColourChosen) << "and so does the chosen colour";
    EXPECT_FALSE(keepPalette);
    EXPECT_FALSE(keepBrushColour);
    EXPECT_EQ((unsigned)variantRegionCount(findPage(1), &findPage(1)->detailed), settings->regionCount)
        << "the detailed variant";
}

TEST_F(GameLogicTest, CelebrationDrawsItsTubesFromTheColourCount) {
    struct Case {
        int colours;
        std::vector<int> expected;
    } cases[] = {
        {9, {1, 2, 3, 4, 5, 6, 7, 8, 9, 1, 2, 3}},
        {8, {1, 2, 3, 4, 5, 6, 7, 8, 1, 2, 3, 4}},
    };
    for (const Case& c : cases) {
        pageColourCount = c.colours;
        startCelebration(4);
        EXPECT_EQ(c.expected, burstTubeNumbers) << c.colours << " colours";
        EXPECT_EQ(4, nextBurstTube);
        EXPECT_EQ(12, burstsLeft);
        EXPECT_TRUE(burstPending);
    }
}

TEST_F(GameLogicTest, ConditionalButtonPopsInGrowsUnderThePointerAndShrinksAway) {
    selectPage(*settings, 7);
    createScene();
    frame();
    size_t fixedButtons = toolbar()->children.size();
    undoAvailable = true;
    frame();
    ASSERT_EQ(fixedButtons + 1, toolbar()->children.size());
    SceneNode* back = toolbar()->children.back();
    EXPECT_DOUBLE_EQ(0.3, back->transform.sx);
    EXPECT_NEAR(toolbarRowY(), back->transform.y, 1e-9);

    frames(26);  // 416 ms at 1/600 per ms: not quite there
    EXPECT_LT(back->transform.sx, 1.0);
    frames(2);
    EXPECT_DOUBLE_EQ(1.0, back->transform.sx);
    for (int i = 0; i < 10; ++i) frame(back);
    EXPECT_DOUBLE_EQ(1.1, back->transform.sx) << "grown under the pointer";
    frames(10);
    EXPECT_DOUBLE_EQ(1.0, back->transform.sx) << "relaxed when the pointer left";

    undoHistory.push_back(ColourEntry{11, 1, 1, 1});
    forgetUndo();
    frame();
    EXPECT_FALSE(backShown);
    frame(back, true);
    EXPECT_FALSE(undoAvailable) << "a leaving button runs no command";
    frames(26);  // its closing timer, started with the leaving tick's 16 ms, is at 448
    EXPECT_FALSE(back->closing);
    frame();
    EXPECT_TRUE(back->closing) << "closed once 450 ms have passed";
    EXPECT_NEAR(1.0 - 464 / 600.0, back->transform.sx, 1e-9) << "shrinking at 1/600 per ms all along";
}
