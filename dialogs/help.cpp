// The help screen, which also chooses the game mode, and the about box.
#include "dialogs/dialogs.h"

#include "audio/audio.h"
#include "game/game.h"
#include "shell/shell.h"
#include "store/store.h"

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// A game mode of the help screen: its button, the switches it sets, where its marker goes.
struct HelpMode {
    const char* image;
    double buttonX;
    bool detailed;
    bool numbers;
    double markerX;
};

// A toolbar button the help screen shows at its place when the real one is hidden.
struct ToolbarPlaceholder {
    const char* image;
    double x;
};

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

static const HelpMode kModes[3] = {
    {"help_mode1", -4.536, false, true, -4.57},
    {"help_mode2", 0.095, true, true, 0.12},
    {"help_mode3", 4.77, false, false, 4.85},
};
static const double kModeButtonY = -0.2, kModeButtonZ = -0.028;
static const double kMarkerY = -0.1, kMarkerZ = -0.052;
// Where the marker waits, unseen, when the switches match no mode.
static const double kHiddenMarker[3] = {3.767, -0.2, -40.44};

// In front of the toolbar's own buttons by a hair, on the toolbar's row.
static const double kPlaceholderY = -61.005;

static ActionDesc endless(ActionCallbackFn callback, void* userData) {
    ActionDesc action = ActionDesc();
    initAction(&action, 1, true, 0);
    setActionCallback(&action, callback, userData);
    return action;
}

// A node that fades in with the backdrop and out with it.
static SceneNode* fadingNode(SceneNode* parent) {
    SceneNode* node = createNode();
    addGroup(&node->actions);
    addAction(&node->actions, endless(backdropFadeIn, nullptr));
    activateGroup(&node->actions, 0);
    addGroup(&node->actions);
    addAction(&node->actions, endless(backdropFadeOut, nullptr));
    addChild(parent, node);
    return node;
}

static SceneNode* placeholder(SceneNode* container, const char* image, double x, bool realButtonShown) {
    SceneNode* node = fadingNode(container);
    if (!realButtonShown) loadModel(node, "interface.pak", image);
    setPosition(node, x, kPlaceholderY, -viewHalfHeight(renderer, -39.0f) - 0.92);
    return node;
}

static int currentMode() {
    for (int i = 0; i < 3; ++i)
        if (kModes[i].detailed == settings->detailedPictures && kModes[i].numbers == settings->numbersMode) return i;
    return -1;
}

static void closeHelp(SceneNode* container) {
    playSound("button.wav", false);
    dialogOpen = false;
    activateGroup(&container->actions, 1);
}

static void linkGroupOne(SceneNode* container, SceneNode* node) { addLink(&container->actions, &node->actions, 1); }

// ---------------------------------------------------------------------------
// Help
// ---------------------------------------------------------------------------

void buildHelp(void*) {
    SceneNode* container = currentNode;
    dialogOpen = true;
    SceneNode* colour = placeholder(container, "knopka_color", -7.5, colourShown);
    SceneNode* back = placeholder(container, "knopka_back", 4.3, undoAvailable);
    SceneNode* clear = placeholder(container, "knopka_clear", 7.3, clearShown);
    GroupLink backdrop = addDialogBackdrop(nullptr);
    SceneNode* holder = createNode();
    addChild(container, holder);
    SceneNode* panel = addDialogPanel("help_dialog", "help", 0, DIALOG_PANEL_DEPTH, 0, true);

    SceneNode* marker = createNode();
    loadModel(marker, "langall.pak", "help_select");
    setAlpha(marker, 0);
    addGroup(&marker->actions);
    addAction(&marker->actions, endless(helpSelector, nullptr));
    activateGroup(&marker->actions, 0);
    addGroup(&marker->actions);
    addAction(&marker->actions, endless(fadeOutItem, nullptr));
    addChild(panel, marker);

    GroupLink modes[3];
    for (int i = 0; i < 3; ++i)
        modes[i] = addDialogButton(panel, kModes[i].image, kModes[i].buttonX, kModeButtonY, kModeButtonZ,
                                   chooseHelpMode, container, LEVEL_DIALOG, false, i + 1, 0, 0, 1.05);

    SceneNode* background = fadingNode(holder);
    loadModel(background, languageArchive(*settings), "help_bg");
    setPosition(background, 0, DIALOG_PANEL_DEPTH, 0);

    GroupLink checkbox = addCheckbox(panel, -4.644, -0.2, -2.319, &settings->showHelpAtStart);

    addGroup(&container->actions);
    for (SceneNode* node : {colour, back, clear, panel, background, marker}) linkGroupOne(container, node);
    addLink(&container->actions, backdrop.set, backdrop.group);
    for (const GroupLink& mode : modes) addLink(&container->actions, mode.set, mode.group);
    addLink(&container->actions, checkbox.set, checkbox.group);
    ActionDesc timer = endless(dialogCloseTimer, nullptr);
    timer.param1 = DIALOG_CLOSE_MS;
    addAction(&container->actions, timer);
}

void chooseHelpMode(void* containerNode) {
    SceneNode* container = static_cast<SceneNode*>(containerNode);
    int mode = currentAction->iparam1;
    if (mode == 1 && !dialogTransition && dialogOpen && !innerDialogOpen && isKeyPressed(GAME_KEY_ESCAPE) &&
        consumeKey()) {
        closeHelp(container);
        return;
    }
    if (dialogTransition || !isHoveredInDialog() || !leftClicked) return;
    const HelpMode& wanted = kModes[mode - 1];
    if (currentMode() != mode - 1) {
        if (settings->detailedPictures != wanted.detailed) settings->detailedPictures = wanted.detailed;
        if (settings->numbersMode != wanted.numbers)
            settings->numbersMode = wanted.numbers;
        else
            keepPalette = true;  // the tubes change only with the colouring mode
        selectPageBuilder();
        forgetUndo();
    }
    closeHelp(container);
}

void helpSelector(void*) {
    int mode = currentMode();
    if (mode < 0) {
        setPosition(currentNode, kHiddenMarker[0], kHiddenMarker[1], kHiddenMarker[2]);
        setAlpha(currentNode, 0);
    } else {
        setPosition(currentNode, kModes[mode].markerX, kMarkerY, kMarkerZ);
        setAlpha(currentNode, 1);
    }
}

// ---------------------------------------------------------------------------
// About
// ---------------------------------------------------------------------------

void buildAbout(void*) {
    SceneNode* container = currentNode;
    innerDialogOpen = true;
    SceneNode* panel = addDialogPanel("dialog_background", "about", 0, INNER_PANEL_DEPTH, 0, false);
    GroupLink close = addDialogButton(panel, "button_close", 0.255, -0.2, -2.305, closeInnerDialog, container,
                                      LEVEL_INNER_DIALOG, true, 0, 0, 0, 1.1);
    GroupLink facebook = addWebLink(panel, "button_facebook", -2.0, -0.2, -0.25, 3, 1.05, LEVEL_INNER_DIALOG, false);
    GroupLink twitter = addWebLink(panel, "button_twitter", 2.45, -0.2, -0.25, 4, 1.05, LEVEL_INNER_DIALOG, false);
    addGroup(&container->actions);
    addLink(&container->actions, &panel->actions, 1);
    for (const GroupLink& link : {close, facebook, twitter}) addLink(&container->actions, link.set, link.group);
    ActionDesc timer = endless(dialogCloseTimer, nullptr);
    timer.param1 = DIALOG_CLOSE_MS;
    addAction(&container->actions, timer);
}
