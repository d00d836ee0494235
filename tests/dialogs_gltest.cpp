// Dialogs through the real scene: opening and closing with their timing,
// the modal flags and the keys, the settings menu's switches and language
// row, the confirmations, the colour dialog and the web-link addresses.
#include "dialogs/dialogs.h"
#include "game/game.h"
#include "shell/shell.h"
#include "store/store.h"
#include "support/scene_harness.h"

#include <gtest/gtest.h>
#include <cmath>

namespace {

using Sounds = std::vector<std::string>;

class DialogTest : public SceneHarness {
protected:
    void SetUp() override {
        SceneHarness::SetUp();
        selectPage(*settings, 7);
        createScene();
        frame();
    }
    // The container of the dialog opened last.
    SceneNode* topDialog() { return gameLayer->children.back(); }
    // A dialog's panel: the container's child after the backdrop (or its first for inner dialogs).
    SceneNode* panelOf(SceneNode* container, bool inner = false) { return container->children[inner ? 0 : 1]; }
    SceneNode* toolbarButton(int index) { return sceneRoot->children[1]->children[index]; }
    // Frames of 16 ms adding up to at least ms.
    void wait(int ms) { frames((ms + 15) / 16); }
    // Whether a node once under parent is closing or already taken away (and deleted: not to be read then).
    static bool closingOrGone(const SceneNode* parent, const SceneNode* node) {
        for (const SceneNode* child : parent->children)
            if (child == node) return node->closing || node->closed;
        return true;
    }
};

}  // namespace

TEST_F(DialogTest, ExitConfirmationIgnoresEarlyKeysThenReturnEndsTheGame) {
    frame(nullptr, false, GAME_KEY_ESCAPE);
    EXPECT_TRUE(dialogOpen) << "Escape opened the exit confirmation in the same frame";
    EXPECT_EQ(Sounds{"button.wav"}, takePlayed());
    EXPECT_TRUE(dialogTransition);

    wait(96);
    frame(nullptr, false, GAME_KEY_RETURN);
    EXPECT_FALSE(sceneRoot->closing) << "Return within the first 150 ms is ignored";
    wait(100);
    EXPECT_FALSE(dialogTransition);
    frame(nullptr, false, GAME_KEY_RETURN);
    EXPECT_TRUE(sceneRoot->closing) << "Return confirms: the game ends";
    EXPECT_TRUE(cursorRoot->closing);
    EXPECT_TRUE(takePlayed().empty()) << "without a sound";
}

TEST_F(DialogTest, EscapeClosesOnlyTheTopmostDialogAndWaitsForItsClosing) {
    openSettingsMenu();
    frame();
    SceneNode* menu = topDialog();
    wait(200);
    runOnce(buildAbout, 0);
    frame();
    EXPECT_TRUE(innerDialogOpen);
    wait(200);

    frame(nullptr, false, GAME_KEY_ESCAPE);
    EXPECT_FALSE(innerDialogOpen) << "the about box closed";
    EXPECT_TRUE(dialogOpen) << "the menu beneath stays";
    wait(100);
    frame(nullptr, false, GAME_KEY_ESCAPE);
    EXPECT_TRUE(dialogOpen) << "Escape during the about box's closing is ignored";
    wait(500);
    frame(nullptr, false, GAME_KEY_ESCAPE);
    EXPECT_FALSE(dialogOpen) << "then Escape closes the menu";
    wait(600);
    EXPECT_TRUE(closingOrGone(gameLayer, menu));
}

TEST_F(DialogTest, PanelGrowsAlongAQuarterSineAndGrowsOnWhileFading) {
    runOnce(buildExitDialog, 0);
    frame(nullptr, false, 0, 0);  // built now, first tick with no time
    SceneNode* container = topDialog();
    SceneNode* panel = panelOf(container);
    EXPECT_EQ(0.0, panel->transform.sx);
    frame(nullptr, false, 0, 250);
    EXPECT_NEAR(sin(M_PI / 4), panel->transform.sx, 1e-9);
    EXPECT_EQ(1.0, panel->transform.sy) << "depth is never scaled";
    frame(nullptr, false, 0, 250);
    EXPECT_NEAR(1.0, panel->transform.sx, 1e-9);
    frame(nullptr, false, 0, 16);
    EXPECT_EQ(1.0, panel->transform.sx) << "settled";

    activateGroup(&container->actions, 1);
    frame(nullptr, false, 0, 250);
    EXPECT_NEAR(1 + sin(M_PI / 4), panel->transform.sx, 1e-9);
    EXPECT_NEAR(0.5, panel->alpha, 1e-9);
    EXPECT_TRUE(dialogTransition);
}

TEST_F(DialogTest, ButtonsGrowUnderThePointerOnlyAtTheirLevel) {
    runOnce(buildExitDialog, 0);
    frame();
    SceneNode* ok = panelOf(topDialog())->children[0];
    for (int i = 0; i < 5; ++i) frame(ok, false, 0, 10);
    EXPECT_NEAR(1 + 50 / 1100.0, ok->transform.sx, 1e-9);
    for (int i = 0; i < 20; ++i) frame(nullptr);
    EXPECT_EQ(1.0, ok->transform.sx) << "back to 1, never below";

    innerDialogOpen = true;  // a dialog on top silences this one
    for (int i = 0; i < 5; ++i) frame(ok, false, 0, 10);
    EXPECT_EQ(1.0, ok->transform.sx);
}

TEST_F(DialogTest, MenuSwitchesTakeEffectAndCheckboxesFollowTheirSetting) {
    openSettingsMenu();
    frame();
    wait(200);
    SceneNode* panel = panelOf(topDialog());
    SceneNode* soundBox = panel->children[0];
    SceneNode* soundTick = panel->children[1];
    EXPECT_EQ(1.0, soundTick->alpha) << "sound is on";

    click(soundBox);
    EXPECT_FALSE(settings->soundOn);
    EXPECT_EQ(0.0, soundTick->alpha) << "the tick follows on the next frame";

    undoAvailable = true;
    settings->numbersMode = false;
    frame();
    EXPECT_TRUE(pageRebuildRequested) << "a new mode rebuilds the picture";
    EXPECT_FALSE(undoAvailable);

    settings->detailedPictures = true;
    frame();
    EXPECT_TRUE(keepPalette);
    EXPECT_EQ(&findPage(7)->detailed, currentPageVariant) << "the other variant of the same picture";

    takePlayed();
    settings->musicOn = true;
    frame();
    EXPECT_EQ(Sounds{"music.wav"}, takePlayed()) << "music starts when switched on";
}

TEST_F(DialogTest, ChoosingALanguageRebuildsTheMenuKeepingTheBackdrop) {
    openSettingsMenu();
    frame();
    wait(200);
    SceneNode* container = topDialog();
    SceneNode* backdrop = container->children[0];
    SceneNode* oldPanel = panelOf(container);
    // The flags are the panel's last children; German is a button (index 1 of the row).
    SceneNode* german = nullptr;
    for (SceneNode* child : oldPanel->children)
        if (!child->runner.running.empty() && child->runner.running.front().callback == selectLanguage &&
            child->runner.running.front().iparam1 == 1)
            german = child;
    ASSERT_NE(nullptr, german);
    click(german);
    EXPECT_EQ(1, getLanguage(*settings));
    wait(250);
    ASSERT_EQ(3u, container->children.size()) << "a new panel grows while the old one fades";
    EXPECT_EQ(backdrop, container->children[0]);
    EXPECT_TRUE(dialogOpen);
    wait(300);
    EXPECT_TRUE(closingOrGone(container, oldPanel));
}

TEST_F(DialogTest, ClearConfirmationEmptiesThePictureAndRebuildsItKeepingTheTubes) {
    paintRegion(*settings, 11, 0, 0, 0, 0);
    runOnce(buildClearDialog, 0);
    frame();
    wait(200);
    frame(nullptr, false, GAME_KEY_RETURN);
    EXPECT_TRUE(isPageBlank(*settings));
    EXPECT_FALSE(dialogOpen);
    EXPECT_TRUE(pageRebuildRequested);
    EXPECT_TRUE(keepPalette);
    EXPECT_TRUE(keepBrushColour);
}

TEST_F(DialogTest, ColourDialogTakesTheColourUnderThePointerOnRelease) {
    noColourChosen = false;
    selectedTube = 2;
    runOnce(buildColourDialog, 2);
    frame();
    wait(200);
    SceneNode* palette = panelOf(topDialog())->children[2];

    pickedColor[0] = 0.25;
    pickedColor[1] = 0.5;
    pickedColor[2] = 0.75;
    leftButtonDown = true;
    frame(palette);
    frame(nullptr);  // moved off while held: the press is forgotten
    leftButtonDown = false;
    frame(nullptr);
    EXPECT_FALSE(hasCustomColours(*settings));

    leftButtonDown = true;  // pressed elsewhere, brought onto the image held
    frame(palette);
    leftButtonDown = false;
    frame(palette);  // released over it: the swatches pass the colour on over the next frames
    frames(2);
    double colour[3];
    paletteColour(*settings, 2, colour);
    EXPECT_DOUBLE_EQ(0.25, colour[0]);
    EXPECT_DOUBLE_EQ(0.75, colour[2]);
    EXPECT_DOUBLE_EQ(0.5, brushColour[1]);
    EXPECT_FALSE(dialogOpen);
}

TEST(WebLinks, AddressCarriesThePathAndTheLanguageCampaign) {
    struct Case {
        int link, language;
        const char* ending;
    } cases[] = {
        {3, 1, "/facebook/?utm_source=tintaria&utm_medium=win-ad&utm_term=main&utm_content=1.0.0&utm_campaign=de"},
        {4, 3, "/twitter/?utm_source=tintaria&utm_medium=win-ad&utm_term=main&utm_content=1.0.0&utm_campaign=ru"},
        {3, 0, "/facebook/?utm_source=tintaria&utm_medium=win-ad&utm_term=main&utm_content=1.0.0&utm_campaign=en"},
    };
    for (const Case& c : cases) {
        std::string address = webLinkAddress(c.link, c.language);
        std::string ending = c.ending;
        ASSERT_GT(address.size(), ending.size());
        EXPECT_EQ(ending, address.substr(address.size() - ending.size()));
        EXPECT_EQ(0u, address.find("https://")) << address;
    }
}
