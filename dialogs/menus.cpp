// The exit, clear and clear-all confirmations and the settings menu.
#include "dialogs/dialogs.h"

#include "audio/audio.h"
#include "game/game.h"
#include "shell/shell.h"
#include "store/store.h"

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// A confirmation: its text image, where its OK and Cancel buttons stand, and what OK does.
struct Confirmation {
    const char* text;
    double buttonY;
    ActionCallbackFn confirm;
    bool inner;
};

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

static const double kOkX = -1.323, kCancelX = 1.696, kButtonZ = -1.633;
static const double kHover = 1.1;
static const double kMenuDepth = -0.2;
static const double kMenuChangeDelayMs = 250.0;

static const Confirmation kExit = {"menu_exit", -0.2, confirmExit, false};
static const Confirmation kClear = {"menu_clear", -0.171, confirmClear, false};
static const Confirmation kClearAll = {"menu_clearall", -0.171, confirmClearAll, true};

// The menu's switches, top to bottom on the panel.
struct MenuCheckbox {
    bool Settings::*value;
    double z;
};
static const MenuCheckbox kMenuCheckboxes[] = {
    {&Settings::soundOn, 0.924},
    {&Settings::musicOn, 0.292},
    {&Settings::numbersMode, 2.272},
    {&Settings::detailedPictures, 1.589},
};
static const double kCheckboxX = -3.202;
static const double kLanguageX[LANGUAGE_COUNT] = {-2.401, -1.17, 0.061, 1.292, 2.523};
static const double kLanguageZ = -2.582;

static ActionDesc endless(ActionCallbackFn callback, void* userData) {
    ActionDesc action = ActionDesc();
    initAction(&action, 1, true, 0);
    setActionCallback(&action, callback, userData);
    return action;
}

static void addCloseTimer(SceneNode* node) {
    ActionDesc timer = endless(dialogCloseTimer, nullptr);
    timer.param1 = DIALOG_CLOSE_MS;
    addAction(&node->actions, timer);
}

static void linkTo(SceneNode* node, const GroupLink& link) { addLink(&node->actions, link.set, link.group); }

static void buildConfirmation(const Confirmation& c) {
    SceneNode* container = currentNode;
    GroupLink backdrop = {nullptr, 0};
    if (c.inner) {
        innerDialogOpen = true;
    } else {
        dialogOpen = true;
        backdrop = addDialogBackdrop(nullptr);
    }
    SceneNode* panel =
        addDialogPanel("dialog_background", c.text, 0, c.inner ? INNER_PANEL_DEPTH : DIALOG_PANEL_DEPTH, 0, true);
    int level = c.inner ? LEVEL_INNER_DIALOG : LEVEL_DIALOG;
    SceneNode* okData = c.confirm == confirmExit ? nullptr : container;
    GroupLink ok = addDialogButton(panel, "button_ok", kOkX, c.buttonY, kButtonZ, c.confirm, okData, level, true, 0,
                                   0, 0, kHover);
    GroupLink cancel = addDialogButton(panel, "button_cancel", kCancelX, c.buttonY, kButtonZ,
                                       c.inner ? closeInnerDialog : closeDialog, container, level, true, 0, 0, 0, kHover);
    addGroup(&container->actions);
    addLink(&container->actions, &panel->actions, 1);
    if (!c.inner) linkTo(container, backdrop);
    linkTo(container, ok);
    linkTo(container, cancel);
    addCloseTimer(container);
}

// OK of a confirmation: a click on it, or Return.
static bool confirmRequested() {
    if (dialogTransition) return false;
    return (isHovered() && leftClicked) || (isKeyPressed(GAME_KEY_RETURN) && consumeKey());
}

// In colour-by-number mode the cleared picture is rebuilt, keeping the tubes and the chosen colour.
static void rebuildAfterClearing() {
    if (settings->numbersMode) {
        pageRebuildRequested = true;
        keepBrushColour = true;
        keepPalette = true;
    }
}

static SceneNode* watcherNode() {
    SceneNode* node = createNode();
    addGroup(&node->actions);
    ActionDesc music = endless(musicWatcher, nullptr);
    music.iparam1 = settings->musicOn;
    ActionDesc numbers = endless(numbersModeWatcher, nullptr);
    numbers.iparam1 = settings->numbersMode;
    ActionDesc detail = endless(detailWatcher, nullptr);
    detail.iparam1 = settings->detailedPictures;
    addAction(&node->actions, music);
    addAction(&node->actions, numbers);
    addAction(&node->actions, detail);
    activateGroup(&node->actions, 0);
    return node;
}

// Whether the watched switch changed since the watcher last looked; remembers the new value.
static bool switchChanged(bool now) {
    if ((currentAction->iparam1 != 0) == now) return false;
    currentAction->iparam1 = now;
    return true;
}

// ---------------------------------------------------------------------------
// Confirmations
// ---------------------------------------------------------------------------

void buildExitDialog(void*) { buildConfirmation(kExit); }
void buildClearDialog(void*) { buildConfirmation(kClear); }
void buildClearAllDialog(void*) { buildConfirmation(kClearAll); }

void confirmExit(void*) {
    if (confirmRequested()) requestQuit();
}

void confirmClear(void* container) {
    if (!confirmRequested()) return;
    playSound("button.wav", false);
    rebuildAfterClearing();
    clearCurrentPainted(*settings);
    activateGroup(&static_cast<SceneNode*>(container)->actions, 1);
    dialogOpen = false;
    forgetUndo();
}

void confirmClearAll(void* container) {
    if (!confirmRequested()) return;
    playSound("button.wav", false);
    rebuildAfterClearing();
    clearAllPainted(*settings);
    activateGroup(&static_cast<SceneNode*>(container)->actions, 1);
    innerDialogOpen = false;
    forgetUndo();
}

// ---------------------------------------------------------------------------
// Settings menu
// ---------------------------------------------------------------------------

void openSettingsMenu() {
    SceneNode* container = createNode();
    GroupLink backdrop = addDialogBackdrop(container);
    addGroup(&container->actions);
    ActionDesc build = ActionDesc();
    initAction(&build, 1, true, -1);
    setActionCallback(&build, buildSettingsMenu, nullptr);
    addAction(&container->actions, build);
    activateGroup(&container->actions, 0);
    addChild(gameLayer, container);
    addGroup(&container->actions);
    linkTo(container, backdrop);
    ActionDesc closer = endless(closeAfterDelayAction, nullptr);
    closer.param1 = DIALOG_CLOSE_MS;
    addAction(&container->actions, closer);
}

void buildSettingsMenu(void*) {
    SceneNode* container = currentNode;
    dialogOpen = true;
    SceneNode* panel = addDialogPanel("menu_dialog", "setup", 0, DIALOG_PANEL_DEPTH, 0, true);

    std::vector<GroupLink> pieces;
    for (const MenuCheckbox& box : kMenuCheckboxes)
        pieces.push_back(addCheckbox(panel, kCheckboxX, kMenuDepth, box.z, &(settings->*box.value)));
    addChild(panel, watcherNode());
    pieces.push_back(addDialogButton(panel, "button_close", 3.374, kMenuDepth, 2.256, cancelDialog, panel,
                                     LEVEL_DIALOG, false, 0, 0, 0, kHover));
    pieces.push_back(addDialogButton(panel, "setup_button_about", 2.246, kMenuDepth, -0.73, openAbout, nullptr,
                                     LEVEL_DIALOG, true, 0, 0, 0, kHover));
    pieces.push_back(addDialogButton(panel, "setup_button_clearall", 2.246, kMenuDepth, 0.659, openClearAll, nullptr,
                                     LEVEL_DIALOG, true, 0, 0, 0, kHover));
    pieces.push_back(addWebLink(panel, "button_facebook", -1.324, kMenuDepth, -0.73, 3, 1.05, LEVEL_DIALOG, false));
    for (int i = 0; i < LANGUAGE_COUNT; ++i)
        pieces.push_back(addLanguageItem(panel, i, kLanguageX[i], kMenuDepth, kLanguageZ));

    ActionSet* set = &panel->actions;
    addGroup(set);  // 2: close
    addLink(set, &container->actions, 1);
    addLink(set, set, 4);
    addGroup(set);  // 3: rebuild in another language
    addLink(set, set, 4);
    addCloseTimer(panel);
    ActionDesc rebuild = endless(activateGroupAfterDelay, container);
    rebuild.iparam1 = 0;
    rebuild.param1 = kMenuChangeDelayMs;
    addAction(set, rebuild);
    addGroup(set);  // 4: take away
    addLink(set, set, 1);
    for (const GroupLink& piece : pieces) addLink(set, piece.set, piece.group);
}

void openAbout(void*) {
    if (dialogTransition || !isHoveredInDialog() || !leftClicked) return;
    playSound("button.wav", false);
    runOnce(buildAbout, 0);
}

void openClearAll(void*) {
    if (dialogTransition || !isHoveredInDialog() || !leftClicked) return;
    playSound("button.wav", false);
    runOnce(buildClearAllDialog, 0);
}

void musicWatcher(void*) {
    if (switchChanged(settings->musicOn) && settings->musicOn) playSound("music.wav", true);
}

void numbersModeWatcher(void*) {
    if (!switchChanged(settings->numbersMode)) return;
    pageRebuildRequested = true;
    forgetUndo();
}

void detailWatcher(void*) {
    if (!switchChanged(settings->detailedPictures)) return;
    selectPageBuilder();
    keepPalette = true;
    forgetUndo();
}
