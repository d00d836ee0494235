// The colour dialog: the chosen tube takes any colour of a palette image,
// read back from the screen under the pointer when the button is released.
#include "game/game.h"

#include "audio/audio.h"
#include "dialogs/dialogs.h"
#include "shell/shell.h"

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

bool palettePressLatch = false;

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

static ActionDesc action(ActionCallbackFn callback, void* userData, double duration) {
    ActionDesc a = ActionDesc();
    initAction(&a, 1, true, duration);
    setActionCallback(&a, callback, userData);
    return a;
}

// A swatch: group 0 (not started) runs its single-tick step, group 1 fades it out.
static SceneNode* swatch(const char* image, const double colour[3], ActionCallbackFn step, void* stepData,
                         int32_t index) {
    SceneNode* node = createNode();
    loadModel(node, "interface.pak", image);
    setColor(node, colour[0], colour[1], colour[2]);
    addGroup(&node->actions);
    ActionDesc once = action(step, stepData, -1);
    once.iparam1 = index;
    addAction(&node->actions, once);
    addGroup(&node->actions);
    addAction(&node->actions, action(fadeOutItem, nullptr, 0));
    return node;
}

// ---------------------------------------------------------------------------
// Colour dialog
// ---------------------------------------------------------------------------

void buildColourDialog(void*) {
    SceneNode* container = currentNode;
    int tube = currentAction->iparam1;
    dialogOpen = true;
    GroupLink backdrop = addDialogBackdrop(nullptr);
    SceneNode* panel = addDialogPanel("colors_dialog", "text_void", 0, DIALOG_PANEL_DEPTH, 0, true);
    double colour[3];
    paletteColour(*settings, tube, colour);

    SceneNode* fixed = swatch("color_const", colour, applyChosenColour, container, tube);
    addChild(panel, fixed);
    SceneNode* preview = swatch("color_hover", colour, takeHoverColour, fixed, 0);
    addChild(panel, preview);

    SceneNode* palette = createNode();
    addFrameCallback(palette, pickableFrameCallback, nullptr);
    loadModel(palette, "interface.pak", "palitra_gradient");
    loadModel(palette, "interface.pak", "palitra_colors");
    addGroup(&palette->actions);
    addAction(&palette->actions, action(paletteHover, preview, 0));
    activateGroup(&palette->actions, 0);
    addGroup(&palette->actions);
    addAction(&palette->actions, action(fadeOutItem, nullptr, 0));
    addChild(panel, palette);

    GroupLink close = addDialogButton(panel, "button_close", 4.296, -0.2, 2.994, cancelDialog, container,
                                      LEVEL_DIALOG, false, 0, 0, 0, 1.1);

    ActionSet* set = &container->actions;
    addGroup(set);  // 1: close
    addLink(set, &panel->actions, 1);
    addLink(set, &fixed->actions, 1);
    addLink(set, &preview->actions, 1);
    addLink(set, &palette->actions, 1);
    addLink(set, backdrop.set, backdrop.group);
    addLink(set, close.set, close.group);
    ActionDesc timer = action(dialogCloseTimer, nullptr, 0);
    timer.param1 = DIALOG_CLOSE_MS;
    addAction(set, timer);
    addGroup(set);  // 2: cancel
    ActionDesc restore = action(restoreBrush, nullptr, -1);
    restore.param1 = colour[0];
    restore.param2 = colour[1];
    restore.param3 = colour[2];
    addAction(set, restore);
    addLink(set, set, 1);
}

void paletteHover(void* previewSwatch) {
    SceneNode* preview = static_cast<SceneNode*>(previewSwatch);
    if (dialogTransition || !isHovered()) {
        palettePressLatch = false;
        return;
    }
    setColor(preview, pickedColor[0], pickedColor[1], pickedColor[2]);
    if (!leftButtonDown && palettePressLatch) {
        palettePressLatch = false;
        playSound("button.wav", false);
        activateGroup(&preview->actions, 0);
    }
    if (leftButtonDown) palettePressLatch = true;
}

void takeHoverColour(void* fixedSwatch) {
    SceneNode* fixed = static_cast<SceneNode*>(fixedSwatch);
    SceneNode* preview = currentNode;
    setColor(fixed, preview->r, preview->g, preview->b);
    brushColour[0] = preview->r;
    brushColour[1] = preview->g;
    brushColour[2] = preview->b;
    activateGroup(&fixed->actions, 0);
}

void applyChosenColour(void* container) {
    SceneNode* fixed = currentNode;
    int tube = currentAction->iparam1;
    double current[3];
    paletteColour(*settings, tube, current);
    if (current[0] != fixed->r || current[1] != fixed->g || current[2] != fixed->b)
        setCustomColour(*settings, tube, fixed->r, fixed->g, fixed->b);
    activateGroup(&static_cast<SceneNode*>(container)->actions, 1);
    dialogOpen = false;
}

void restoreBrush(void*) {
    brushColour[0] = currentAction->param1;
    brushColour[1] = currentAction->param2;
    brushColour[2] = currentAction->param3;
}
