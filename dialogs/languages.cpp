// The language row of the settings menu: a flag per language, the current
// one marked; choosing another rebuilds the menu in that language.
#include "dialogs/dialogs.h"

#include "audio/audio.h"
#include "shell/shell.h"
#include "store/store.h"

#include <cstdio>

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

// The marker lies a little behind the flag it marks.
static const double kCursorBehind = 0.1;

static void flagKey(int index, char* key, size_t size) { snprintf(key, size, "setup_lang_%s", languageCode(index)); }

static SceneNode* inertPiece(const char* image, double x, double y, double z) {
    SceneNode* node = createNode();
    setPosition(node, x, y, z);
    loadModel(node, "langall.pak", image);
    addGroup(&node->actions);
    return node;
}

static void addFadeOut(SceneNode* node) {
    ActionDesc fade = ActionDesc();
    initAction(&fade, 1, true, 0);
    setActionCallback(&fade, fadeOutItem, nullptr);
    addAction(&node->actions, fade);
}

// ---------------------------------------------------------------------------
// Languages
// ---------------------------------------------------------------------------

GroupLink addLanguageItem(SceneNode* panel, int index, double x, double y, double z) {
    char key[32];
    flagKey(index, key, sizeof key);
    if (index != getLanguage(*settings))
        return addDialogButton(panel, key, x, y, z, selectLanguage, panel, LEVEL_DIALOG, false, index, 0, 0, 1.1);

    SceneNode* flag = inertPiece(key, x, y, z);
    addFadeOut(flag);
    SceneNode* cursor = inertPiece("setup_lang_cursor", x, y + kCursorBehind, z);
    addLink(&cursor->actions, &flag->actions, 0);
    addFadeOut(cursor);
    addChild(panel, cursor);
    addChild(panel, flag);
    return GroupLink{&cursor->actions, 0};
}

void selectLanguage(void* panel) {
    if (dialogTransition || !isHoveredInDialog() || !leftClicked) return;
    playSound("button.wav", false);
    setLanguage(*settings, currentAction->iparam1);
    activateGroup(&static_cast<SceneNode*>(panel)->actions, 3);
}
