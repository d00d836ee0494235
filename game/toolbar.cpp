// The toolbar: five fixed buttons with their keys, four buttons that pop in
// and shrink away with the game state, and the undo history of free mode.
#include "game/game.h"

#include "audio/audio.h"
#include "shell/shell.h"

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// A conditional button: its image, place, state function and the flag its watcher keeps.
struct ToolButton {
    const char* image;
    double x;
    ToolButtonState state;
    bool* shown;
};

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

bool undoAvailable = false;
std::vector<ColourEntry> undoHistory;
bool backShown = false, clearShown = false, resetShown = false, colourShown = false;
ToolbarScreens toolbarScreens = {nullptr, nullptr, nullptr, nullptr, nullptr};

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

// Toolbar buttons stand 39 units in front of the eye.
static const float kToolbarEyeDepth = 39.0f;
static const double kToolbarZ = 61.0;
static const double kArrowX = 14.973, kArrowY = -13.155;
static const double kHoverScale = 1.1;

static bool backButtonState(int query);
static bool clearButtonState(int query);
static bool resetButtonState(int query);
static bool colourButtonState(int query);

static const ToolButton kBackButton = {"knopka_back", 4.3, backButtonState, &backShown};
static const ToolButton kClearButton = {"knopka_clear", 7.3, clearButtonState, &clearShown};
static const ToolButton kResetButton = {"knopka_reset", -3.7, resetButtonState, &resetShown};
static const ToolButton kColourButton = {"knopka_color", -7.5, colourButtonState, &colourShown};

static void openScreen(ScreenOpener opener, int value) {
    if (opener) opener(value);
}

// Shared answers of the state functions; the condition says whether the button is wanted.
static bool answerState(int query, bool wanted, bool* shown) {
    switch (query) {
    case TOOL_SHOULD_LEAVE: return !wanted;
    case TOOL_FORGET: *shown = false; return true;
    case TOOL_MAY_REACT: return *shown;
    default: return false;
    }
}

static bool backButtonState(int query) {
    if (query == TOOL_RUN_COMMAND) {
        undoLastPaint();
        return true;
    }
    bool answer = answerState(query, undoAvailable, &backShown);
    if (query == TOOL_FORGET) undoHistory.clear();
    return answer;
}

static bool clearButtonState(int query) {
    if (query == TOOL_RUN_COMMAND) {
        openScreen(toolbarScreens.clearDialog, 0);
        return true;
    }
    return answerState(query, !isPageBlank(*settings), &clearShown);
}

static bool resetButtonState(int query) {
    if (query == TOOL_RUN_COMMAND) {
        clearCustomColours(*settings);
        return true;
    }
    return answerState(query, hasCustomColours(*settings), &resetShown);
}

static bool colourButtonState(int query) {
    if (query == TOOL_RUN_COMMAND) {
        openScreen(toolbarScreens.colourDialog, selectedTube);
        return true;
    }
    return answerState(query, !noColourChosen, &colourShown);
}

static void addEndless(SceneNode* node, ActionCallbackFn callback, int32_t i1, int32_t i2, void* userData) {
    ActionDesc action = ActionDesc();
    initAction(&action, 1, true, 0);
    setActionParams(&action, callback, i1, i2, 0.0, 0.0, 0.0);
    action.userData = userData;
    addAction(&node->actions, action);
}

static void toolbarHover(void*);

static void addToolbarButton(const char* image, double x, double y, ActionCallbackFn click) {
    SceneNode* node = createNode();
    addFrameCallback(node, pickableFrameCallback, nullptr);
    loadModel(node, "interface.pak", image);
    setPosition(node, x, y, kToolbarZ);
    setRotation(node, -90, 0, 0);
    addGroup(&node->actions);
    addEndless(node, click, 0, 0, nullptr);
    addEndless(node, toolbarHover, 0, 0, nullptr);
    activateGroup(&node->actions, 0);
    addChild(currentNode, node);
}

// Whether a fixed button's command runs this tick: a click on it, or its key while no dialog is open.
static bool commandRequested(int key) {
    if (isHoveredInGame() && leftClicked) return true;
    return key != 0 && !dialogOpen && !innerDialogOpen && isKeyPressed(key) && consumeKey();
}

static void closeButtonAction(void*) {
    if (!commandRequested(GAME_KEY_ESCAPE)) return;
    playSound("button.wav", false);
    openScreen(toolbarScreens.exitDialog, 0);
}

static void helpButtonAction(void*) {
    if (!commandRequested(GAME_KEY_F1)) return;
    playSound("button.wav", false);
    openScreen(toolbarScreens.helpScreen, 0);
}

static void menuButtonAction(void*) {
    if (!commandRequested(0)) return;
    playSound("button.wav", false);
    openScreen(toolbarScreens.settingsMenu, 0);
}

static void previousPageAction(void*) {
    if (!commandRequested(GAME_KEY_LEFT)) return;
    playSound("button.wav", false);
    previousPage();
}

static void nextPageAction(void*) {
    if (!commandRequested(GAME_KEY_RIGHT)) return;
    playSound("button.wav", false);
    nextPage();
}

static void toolbarHover(void*) {
    ActionDesc* action = currentAction;
    SceneNode* node = currentNode;
    double d = action->elapsed / 1100.0;
    if (!isHoveredInGame()) {
        if (node->transform.sx > 1.0) {
            scaleBy(node, -d, -d, -d);
            if (node->transform.sx < 1.0) setScale(node, 1, 1, 1);
        }
    } else if (node->transform.sx < kHoverScale) {
        scaleBy(node, d, d, d);
        if (node->transform.sx > kHoverScale) setScale(node, kHoverScale, kHoverScale, kHoverScale);
    }
    action->elapsed = 0.0;
}

static void toolButtonBehaviour(void* userData);

static void showToolButton(const ToolButton& button) {
    SceneNode* node = createNode();
    addFrameCallback(node, pickableFrameCallback, nullptr);
    setScale(node, 0.3, 0.3, 0.3);
    loadModel(node, "interface.pak", button.image);
    setRotation(node, -90, 0, 0);
    setPosition(node, button.x, toolbarRowY(), kToolbarZ);
    addGroup(&node->actions);
    addEndless(node, toolButtonBehaviour, 0, 1, (void*)button.state);
    activateGroup(&node->actions, 0);
    addChild(currentNode, node);
}

static void toolButtonBehaviour(void* userData) {
    ToolButtonState state = (ToolButtonState)userData;
    ActionDesc* action = currentAction;
    SceneNode* node = currentNode;
    bool startedLeaving = false;
    if (!action->iparam1 && state(TOOL_SHOULD_LEAVE)) {
        action->iparam1 = 1;
        state(TOOL_FORGET);
        startedLeaving = true;
    }
    bool leaving = action->iparam1 != 0;
    double scale = node->transform.sx;

    if (isHoveredInGame()) {
        if (leftClicked && state(TOOL_MAY_REACT)) {
            playSound("button.wav", false);
            state(TOOL_RUN_COMMAND);
        }
        if (!leaving) {
            if (scale < kHoverScale) {
                double d = action->elapsed / 1100.0;
                scaleBy(node, d, d, d);
                if (node->transform.sx >= kHoverScale) {
                    setScale(node, kHoverScale, kHoverScale, kHoverScale);
                    action->iparam2 = 0;
                }
            }
            action->elapsed = 0.0;
            return;
        }
    }

    bool appearing = action->iparam2 != 0;
    if (!appearing || leaving) {
        if (scale > 1.0 || leaving) {
            double d = action->elapsed / (leaving ? -600.0 : -1100.0);
            scaleBy(node, d, d, d);
        }
        if (!leaving && node->transform.sx < 1.0) setScale(node, 1, 1, 1);
        if (leaving && node->transform.sx < 0.01) setScale(node, 0.01, 0.01, 0.01);
        action->elapsed = 0.0;
        if (startedLeaving) {
            int group = addGroup(&node->actions);
            ActionDesc closer = ActionDesc();
            initAction(&closer, 1, true, 0);
            setActionParams(&closer, closeAfterDelayAction, 450.0, 0.0, 0.0);
            addAction(&node->actions, closer);
            activateGroup(&node->actions, group);
        }
        return;
    }
    if (scale < 1.0) {
        double d = action->elapsed / 600.0;
        scaleBy(node, d, d, d);
        if (node->transform.sx >= 1.0) {
            setScale(node, 1, 1, 1);
            action->iparam2 = 0;
        }
    }
    action->elapsed = 0.0;
}

static void watch(const ToolButton& button, bool wanted) {
    if (wanted && !*button.shown) {
        showToolButton(button);
        *button.shown = true;
    }
}

// ---------------------------------------------------------------------------
// Toolbar
// ---------------------------------------------------------------------------

double toolbarRowY() { return -viewHalfHeight(renderer, -kToolbarEyeDepth) - 0.92; }

void buildToolbar(void*) {
    double y = toolbarRowY();
    addToolbarButton("knopka_close", -viewHalfWidth(renderer, -kToolbarEyeDepth) - 0.92 - 0.1, y, closeButtonAction);
    addToolbarButton("knopka_help", 2.9 - viewHalfWidth(renderer, kToolbarEyeDepth) + 0.1, y, helpButtonAction);
    addToolbarButton("knopka_menu", 0.92 - viewHalfWidth(renderer, kToolbarEyeDepth) + 0.1, y, menuButtonAction);
    addToolbarButton("knopka_left", kArrowX, kArrowY, previousPageAction);
    addToolbarButton("knopka_right", kArrowX, kArrowY, nextPageAction);
}

void watchBackButton(void*) { watch(kBackButton, undoAvailable); }
void watchClearButton(void*) { watch(kClearButton, !isPageBlank(*settings)); }
void watchResetButton(void*) { watch(kResetButton, hasCustomColours(*settings)); }
void watchColourButton(void*) { watch(kColourButton, !noColourChosen); }

void forgetUndo() {
    undoAvailable = false;
    undoHistory.clear();
}

void undoLastPaint() {
    if (undoHistory.empty()) return;
    ColourEntry last = undoHistory.back();
    paintRegion(*settings, last.key, last.r, last.g, last.b, 0);
    undoHistory.pop_back();
    if (undoHistory.empty()) undoAvailable = false;
}
