// The pieces every dialog is made of, their animations, and the rules by
// which dialogs close.
#include "dialogs/dialogs.h"

#include "audio/audio.h"
#include "shell/shell.h"
#include "store/store.h"

#include <cmath>

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

bool dialogTransition = false;

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

static const double kQuarterTurn = 1.57079632679489;
static const double kAnimationMs = 500.0;
static const double kInputBlockedMs = 150.0;

static ActionDesc endless(ActionCallbackFn callback, void* userData) {
    ActionDesc action = ActionDesc();
    initAction(&action, 1, true, 0);
    setActionCallback(&action, callback, userData);
    return action;
}

// Group 0 (started now) and group 1 (the take-away) of a piece.
static void addPieceGroups(SceneNode* node, const ActionDesc* alive, int aliveCount, ActionCallbackFn takeAway) {
    addGroup(&node->actions);
    for (int i = 0; i < aliveCount; ++i) addAction(&node->actions, alive[i]);
    activateGroup(&node->actions, 0);
    addGroup(&node->actions);
    addAction(&node->actions, endless(takeAway, nullptr));
}

static const char* imageArchive(bool localised) { return localised ? languageArchive(*settings) : "langall.pak"; }

static bool isButtonHovered(int level) {
    if (level == LEVEL_DIALOG) return isHoveredInDialog();
    if (level == LEVEL_INNER_DIALOG) return isHovered();
    return false;
}

static bool topLevelCloseRequested() {
    if (dialogTransition) return false;
    if (isHoveredInDialog() && leftClicked) return true;
    return dialogOpen && !innerDialogOpen && isKeyPressed(GAME_KEY_ESCAPE) && consumeKey();
}

// ---------------------------------------------------------------------------
// Pieces
// ---------------------------------------------------------------------------

GroupLink addDialogBackdrop(SceneNode* parent) {
    SceneNode* node = createNode();
    loadModel(node, "langall.pak", "menu_alpha");
    ActionDesc fadeIn = endless(backdropFadeIn, nullptr);
    addPieceGroups(node, &fadeIn, 1, backdropFadeOut);
    addChild(parent ? parent : currentNode, node);
    return GroupLink{&node->actions, 1};
}

SceneNode* addDialogPanel(const char* frameKey, const char* contentKey, double x, double y, double z,
                          bool localised) {
    SceneNode* node = createNode();
    node->scaleChildren = true;
    setScale(node, 0.001, 0.001, 0.001);
    loadModel(node, "langall.pak", frameKey);
    loadModel(node, imageArchive(localised), contentKey);
    setPosition(node, x, y, z);
    ActionDesc appear = endless(panelAppear, nullptr);
    appear.param1 = x;
    appear.param2 = y;
    appear.param3 = z;
    addGroup(&node->actions);
    addAction(&node->actions, appear);
    activateGroup(&node->actions, 0);
    addGroup(&node->actions);
    ActionDesc disappear = appear;
    disappear.callback = panelDisappear;
    addAction(&node->actions, disappear);
    addChild(currentNode, node);
    return node;
}

GroupLink addDialogButton(SceneNode* parent, const char* imageKey, double x, double y, double z,
                          ActionCallbackFn click, SceneNode* clickData, int level, bool localised, int32_t i1,
                          int32_t i2, int32_t i3, double hoverScale) {
    SceneNode* node = createNode();
    addFrameCallback(node, pickableFrameCallback, nullptr);
    loadModel(node, imageArchive(localised), imageKey);
    setPosition(node, x, y, z);
    ActionDesc actions[2] = {endless(click, clickData), endless(buttonHover, nullptr)};
    setActionParams(&actions[0], click, i1, i2, i3, 0.0, 0.0, 0.0);
    actions[0].userData = clickData;
    actions[1].iparam1 = level;
    actions[1].param1 = hoverScale;
    addPieceGroups(node, actions, 2, fadeOutItem);
    addChild(parent, node);
    return GroupLink{&node->actions, 1};
}

GroupLink addCheckbox(SceneNode* parent, double x, double y, double z, bool* value) {
    SceneNode* unchecked = createNode();
    addFrameCallback(unchecked, pickableFrameCallback, nullptr);
    loadModel(unchecked, "langall.pak", "unchecked");
    setPosition(unchecked, x, y, z);
    SceneNode* checked = createNode();
    loadModel(checked, "langall.pak", "checked");
    setPosition(checked, x, y, z);

    ActionDesc toggle = endless(checkboxToggle, value);
    addPieceGroups(unchecked, &toggle, 1, fadeOutItem);
    addLink(&unchecked->actions, &checked->actions, 1);
    ActionDesc show = endless(checkboxShow, value);
    show.iparam1 = !*value;
    addPieceGroups(checked, &show, 1, fadeOutItem);

    addChild(parent, unchecked);
    addChild(parent, checked);
    return GroupLink{&unchecked->actions, 1};
}

// ---------------------------------------------------------------------------
// Ready-made dialog actions
// ---------------------------------------------------------------------------

void closeDialog(void* node) {
    if (!topLevelCloseRequested()) return;
    dialogOpen = false;
    playSound("button.wav", false);
    activateGroup(&static_cast<SceneNode*>(node)->actions, 1);
}

void cancelDialog(void* node) {
    if (!topLevelCloseRequested()) return;
    dialogOpen = false;
    playSound("button.wav", false);
    activateGroup(&static_cast<SceneNode*>(node)->actions, 2);
}

void closeInnerDialog(void* node) {
    if (dialogTransition) return;
    if (!((isHovered() && leftClicked) || (isKeyPressed(GAME_KEY_ESCAPE) && consumeKey()))) return;
    innerDialogOpen = false;
    playSound("button.wav", false);
    activateGroup(&static_cast<SceneNode*>(node)->actions, 1);
}

void dialogCloseTimer(void*) {
    if (currentAction->elapsed > currentAction->param1) {
        dialogTransition = false;
        closeNode(currentNode);
    }
}

void panelAppear(void*) {
    ActionDesc* a = currentAction;
    double t = a->elapsed;
    dialogTransition = t <= kInputBlockedMs;
    if (t <= kAnimationMs) {
        double s = sin(t * kQuarterTurn / kAnimationMs);
        setPosition(currentNode, a->param1 * s, a->param2, a->param3 * s);
        setScale(currentNode, s, 1, s);
    } else {
        setPosition(currentNode, a->param1, a->param2, a->param3);
        setScale(currentNode, 1, 1, 1);
        finishAction(a);
    }
}

void panelDisappear(void*) {
    ActionDesc* a = currentAction;
    double t = a->elapsed;
    if (t <= kAnimationMs) {
        dialogTransition = true;
        double s = sin(t * kQuarterTurn / kAnimationMs);
        setPosition(currentNode, a->param1 + s * a->param1, a->param2, a->param3 + s * a->param3);
        double alpha = 1.0 - t / kAnimationMs;
        if (currentNode->alpha > alpha) setAlpha(currentNode, alpha);
        setScale(currentNode, 1 + s, 1, 1 + s);
    } else {
        dialogTransition = false;
        setPosition(currentNode, 2 * a->param1, a->param2, 2 * a->param3);
        setScale(currentNode, 2, 1, 2);
        setAlpha(currentNode, 0);
        finishAction(a);
    }
}

void buttonHover(void*) {
    ActionDesc* a = currentAction;
    SceneNode* node = currentNode;
    double h = a->param1;
    double d = a->elapsed / 1100.0;
    if (isButtonHovered(a->iparam1)) {
        if (node->transform.sx < h) scaleBy(node, d, d, d);
        if (node->transform.sx > h) setScale(node, h, h, h);
    } else {
        if (node->transform.sx > 1.0) scaleBy(node, -d, -d, -d);
        if (node->transform.sx < 1.0) setScale(node, 1, 1, 1);
    }
    a->elapsed = 0.0;
}

void fadeOutItem(void*) {
    double t = currentAction->elapsed;
    if (t <= kAnimationMs) {
        double alpha = 1.0 - t / kAnimationMs;
        if (currentNode->alpha > alpha) setAlpha(currentNode, alpha);
    } else {
        setAlpha(currentNode, 0);
        finishAction(currentAction);
    }
}

void backdropFadeIn(void*) {
    double t = currentAction->elapsed;
    if (t <= kAnimationMs) {
        setAlpha(currentNode, t / kAnimationMs);
    } else {
        setAlpha(currentNode, 1);
        finishAction(currentAction);
    }
}

void backdropFadeOut(void*) {
    double t = currentAction->elapsed;
    if (t <= kAnimationMs) {
        setAlpha(currentNode, 1.0 - t / kAnimationMs);
    } else {
        setAlpha(currentNode, 0);
        finishAction(currentAction);
    }
}

void checkboxToggle(void* value) {
    if (dialogTransition || !isHoveredInDialog() || !leftClicked) return;
    playSound("button.wav", false);
    bool* flag = static_cast<bool*>(value);
    *flag = !*flag;
}

void checkboxShow(void* value) {
    bool now = *static_cast<bool*>(value);
    if ((currentAction->iparam1 != 0) == now) return;
    currentAction->iparam1 = now;
    setAlpha(currentNode, now ? 1.0 : 0.0);
}

void activateGroupAfterDelay(void* node) {
    if (currentAction->elapsed > currentAction->param1) {
        activateGroup(&static_cast<SceneNode*>(node)->actions, currentAction->iparam1);
        finishAction(currentAction);
    }
}
