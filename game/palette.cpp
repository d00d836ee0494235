// The paint tubes at the left of the picture (the page's colours, or the
// eighteen free colours) and the brush cursor that shows the chosen colour.
#include "game/game.h"

#include "audio/audio.h"
#include "shell/shell.h"

#include <cmath>
#include <cstdio>

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

double brushColour[3] = {0.0, 0.0, 0.0};
bool noColourChosen = true;
int selectedTube = 0;
int hintTube = 0;

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

// One column of tubes in colour-by-number mode, top to bottom.
static const double kNumberTubeX = -9.857, kNumberTubeZ = 77.0;
static const double kNumberTubeY9[9] = {5.282, 3.929, 2.576, 1.224, -0.129, -1.482, -2.835, -4.188, -5.541};
static const double kNumberTubeY8[8] = {4.956, 3.569, 2.182, 0.795, -0.592, -1.979, -3.366, -4.753};

// Two columns of free-mode tubes: position and colour (0-255, divided by 256).
struct FreeTube {
    double x, y, z;
    int r, g, b;
};
static const FreeTube kFreeTubes[FREE_TUBE_COUNT] = {
    {-11.54, 5.426, 75, 255, 255, 255},  {-9.983, 5.575, 75, 255, 255, 0},
    {-11.54, 4.0, 75, 255, 204, 51},     {-9.983, 4.149, 75, 255, 153, 0},
    {-11.54, 2.575, 75, 255, 0, 0},      {-9.983, 2.724, 75, 255, 102, 102},
    {-11.54, 1.149, 75, 255, 204, 204},  {-9.983, 1.298, 75, 204, 0, 204},
    {-11.54, -0.277, 75, 153, 51, 204},  {-9.983, -0.128, 75, 0, 0, 255},
    {-11.54, -1.703, 75, 102, 0, 153},   {-9.983, -1.554, 75, 0, 204, 255},
    {-11.54, -3.128, 75, 0, 204, 153},   {-9.983, -2.979, 75, 102, 153, 102},
    {-11.54, -4.554, 75, 204, 204, 0},   {-9.983, -4.405, 75, 153, 204, 0},
    {-11.54, -5.98, 75, 102, 102, 0},    {-9.983, -5.831, 75, 51, 51, 51},
};

static const double kNumberTubeTurn[3] = {-26.553, 70.428, 52.833};
static const double kFreeTubeTurn[3] = {39.716, 35.708, 89.14};

static const double kHoverScale = 1.2;
static const double kHoverMsPerUnit = 300.0;

// The brush's tip follows the mouse on the plane 17 units in front of the eye.
static const float kBrushEyeDepth = -17.0f;
static const double kBrushZ = 83.0;

static void startEndless(SceneNode* node, ActionCallbackFn callback, void* userData) {
    ActionDesc action = ActionDesc();
    initAction(&action, 1, true, 0);
    setActionCallback(&action, callback, userData);
    addAction(&node->actions, action);
}

static void createTubeSlot(SceneNode* parent, int index, double x, double y, double z) {
    SceneNode* slot = createNode();
    setPosition(slot, x, y, z);
    setRotation(slot, -90, 0, 0);
    addGroup(&slot->actions);
    ActionDesc action = ActionDesc();
    initAction(&action, 1, true, 0);
    setActionParams(&action, tubeSlotBehaviour, index, 1, 0.0, 0.0, 0.0);
    addAction(&slot->actions, action);
    activateGroup(&slot->actions, 0);
    addChild(parent, slot);
}

static SceneNode* buildTube(SceneNode* slot, int index, const double colour[3]) {
    SceneNode* tube = createNode();
    SceneNode* ribbon = createNode();
    ribbon->scaleChildren = true;
    loadModel(ribbon, "interface.pak", "lenta");
    setColor(ribbon, colour[0], colour[1], colour[2]);
    addChild(tube, ribbon);
    if (settings->numbersMode) {
        SceneNode* label = createNode();
        char key[32];
        snprintf(key, sizeof key, "tubik%d", index + 1);
        loadModel(label, "interface.pak", key);
        addChild(ribbon, label);
    }
    const double* turn = settings->numbersMode ? kNumberTubeTurn : kFreeTubeTurn;
    setRotation(tube, turn[0], turn[1], turn[2]);
    addFrameCallback(tube, pickableFrameCallback, nullptr);
    loadModel(tube, "interface.pak", "tubik_no_num");

    addGroup(&tube->actions);
    ActionDesc behaviour = ActionDesc();
    initAction(&behaviour, 1, true, 0);
    setActionParams(&behaviour, tubeBehaviour, index + 1, colour[0], colour[1], colour[2]);
    behaviour.userData = ribbon;
    addAction(&tube->actions, behaviour);
    startEndless(tube, tubeAppear, ribbon);
    activateGroup(&tube->actions, 0);
    addGroup(&tube->actions);
    startEndless(tube, tubeChosen, ribbon);
    addGroup(&tube->actions);
    startEndless(tube, tubeHint, ribbon);
    addChild(slot, tube);
    return tube;
}

static void setTubeScale(SceneNode* ribbon, double sx, double sy, double sz) {
    setScale(currentNode, sx, sy, sz);
    setScale(ribbon, sx, sy, sz);
}

static void growTube(SceneNode* ribbon, double d) {
    scaleBy(currentNode, d, d, d);
    scaleBy(ribbon, d, d, d);
}

// ---------------------------------------------------------------------------
// Palette and tubes
// ---------------------------------------------------------------------------

void paletteBuilder(void*) {
    SceneNode* holder = currentNode;
    if (settings->numbersMode) {
        const double* ys = pageColourCount == 8 ? kNumberTubeY8 : kNumberTubeY9;
        int count = pageColourCount == 8 ? 8 : pageColourCount == 9 ? 9 : 0;
        for (int i = 0; i < count; ++i) createTubeSlot(holder, i, kNumberTubeX, ys[i], kNumberTubeZ);
        return;
    }
    for (int i = 0; i < FREE_TUBE_COUNT; ++i) {
        const FreeTube& t = kFreeTubes[i];
        setDefaultColour(*settings, i, t.r / 256.0, t.g / 256.0, t.b / 256.0);
        createTubeSlot(holder, i, t.x, t.y, t.z);
    }
}

void tubeSlotBehaviour(void*) {
    ActionDesc* action = currentAction;
    double colour[3];
    paletteColour(*settings, action->iparam1, colour);
    bool built = action->iparam2 == 0;
    if (built && colour[0] == action->param1 && colour[1] == action->param2 && colour[2] == action->param3) return;
    if (built)
        closeNode(static_cast<SceneNode*>(action->userData));
    else
        action->iparam2 = 0;
    action->param1 = colour[0];
    action->param2 = colour[1];
    action->param3 = colour[2];
    SceneNode* slot = currentNode;
    action->userData = buildTube(slot, action->iparam1, colour);
}

void tubeBehaviour(void* ribbonNode) {
    SceneNode* ribbon = static_cast<SceneNode*>(ribbonNode);
    ActionDesc* action = currentAction;
    SceneNode* tube = currentNode;
    int number = action->iparam1;
    tryCelebrationBurst();

    if (!isHoveredInGame()) {
        if (tube->transform.sx > 1.0) {
            growTube(ribbon, -action->elapsed / kHoverMsPerUnit);
            if (tube->transform.sx <= 1.0) setTubeScale(ribbon, 1, 1, 1);
        }
        action->elapsed = 0.0;
        if (number == hintTube) {
            hintTube = 0;
            activateGroup(&tube->actions, 2);
        }
        return;
    }
    if (tube->transform.sx < kHoverScale) {
        growTube(ribbon, action->elapsed / kHoverMsPerUnit);
        if (tube->transform.sx >= kHoverScale) setTubeScale(ribbon, kHoverScale, kHoverScale, kHoverScale);
    }
    if (leftClicked) {
        playSound("banka.wav", false);
        spawnClickBubbles();
        noColourChosen = false;
        selectedTube = number - 1;
        brushColour[0] = action->param1;
        brushColour[1] = action->param2;
        brushColour[2] = action->param3;
        action->elapsed = 0.0;
        activateGroup(&tube->actions, 1);
    } else {
        action->elapsed = 0.0;
    }
}

void tubeAppear(void* ribbonNode) {
    SceneNode* ribbon = static_cast<SceneNode*>(ribbonNode);
    double t = currentAction->elapsed;
    if (t <= 700.0) {
        double s = sin(t * 1.57079632679489 / 700.0);
        setTubeScale(ribbon, s, s, s);
    } else {
        setTubeScale(ribbon, 1, 1, 1);
        finishAction(currentAction);
    }
}

void tubeChosen(void* ribbonNode) {
    SceneNode* ribbon = static_cast<SceneNode*>(ribbonNode);
    double t = currentAction->elapsed;
    if (t <= 300.0) {
        double s = sin(t * 6.28318530717956 / 300.0);
        setTubeScale(ribbon, 1.2 - 0.03 * s, 1.2 - 0.03 * s, 1.2 + 0.04 * s);
    } else {
        setTubeScale(ribbon, 1.2, 1.2, 1.2);
        finishAction(currentAction);
    }
}

void tubeHint(void* ribbonNode) {
    SceneNode* ribbon = static_cast<SceneNode*>(ribbonNode);
    double t = currentAction->elapsed;
    if (t <= 400.0) {
        double s = 1.0 - 0.07 * sin(t * 6.28318530717956 / 400.0);
        setTubeScale(ribbon, s, s, s);
    } else {
        setTubeScale(ribbon, 1, 1, 1);
        finishAction(currentAction);
    }
}

// ---------------------------------------------------------------------------
// Brush
// ---------------------------------------------------------------------------

void buildBrush(void*) {
    SceneNode* handle = createNode();
    setRotation(handle, -125, 0, 180);
    loadModel(handle, "interface.pak", "kist_ruchka");
    addGroup(&handle->actions);
    startEndless(handle, brushFollow, nullptr);
    activateGroup(&handle->actions, 0);
    addChild(currentNode, handle);

    SceneNode* bristles = createNode();
    loadModel(bristles, "interface.pak", "kist_vors_color");
    addGroup(&bristles->actions);
    startEndless(bristles, brushTint, nullptr);
    activateGroup(&bristles->actions, 0);
    addChild(handle, bristles);
}

void brushFollow(void*) {
    double fx = ((double)mouseX / renderer->width - 0.5) * 2.0;
    double fy = ((double)mouseY / renderer->height - 0.5) * 2.0;
    setPosition(currentNode, -viewHalfWidth(renderer, kBrushEyeDepth) * fx,
                viewHalfHeight(renderer, kBrushEyeDepth) * fy, kBrushZ);
}

void brushTint(void*) {
    setColor(currentNode, brushColour[0], brushColour[1], brushColour[2]);
    double s = noColourChosen ? 0.92 : 1.0;
    setScale(currentNode, s, s, 1.0);
}
