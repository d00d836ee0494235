// Bubbles: a puff from a clicked tube, and the twelve bursts that celebrate a
// finished picture, each from a tube and in its colour.
#include "game/game.h"

#include "shell/shell.h"

#include <cstdio>
#include <cstdlib>

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

std::vector<int> burstTubeNumbers;
int burstsLeft = 0;
int nextBurstTube = 0;
bool burstPending = false;

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

enum { kBursts = 12, kBurstBubbles = 50, kClickBubbles = 20, kBubbleImages = 5 };

// Bursts hang 23 units in front of the eye, in front of the picture.
static const double kBurstDepth = -77.0;

static int randomBelow(int n) { return rand() % n; }

static SceneNode* newBubble(const double colour[3]) {
    SceneNode* bubble = createNode();
    char key[32];
    snprintf(key, sizeof key, "buble%d", randomBelow(kBubbleImages) + 1);
    loadModel(bubble, "interface.pak", key);
    setColor(bubble, colour[0], colour[1], colour[2]);
    addFrameCallback(bubble, billboardFrameCallback, nullptr);
    return bubble;
}

static void addEndless(SceneNode* node, ActionCallbackFn callback, int32_t axis, double p1, double p2, double p3) {
    ActionDesc action = ActionDesc();
    initAction(&action, 1, true, 0);
    setActionParams(&action, callback, axis, p1, p2, p3);
    addAction(&node->actions, action);
}

static void burstTrigger(void*) {
    if (currentAction->elapsed > 200.0) {
        burstPending = true;
        closeNode(currentNode);
    }
}

static void burstBubble(void*) {
    double life = currentAction->param1;
    double t = currentAction->elapsed;
    if (t > 0.6 * life) setAlpha(currentNode, 1.0 - (t - 0.6 * life) / (0.4 * life));
    if (life > t) {
        double s = t / life * 0.3;
        setScale(currentNode, s, s, s);
    } else {
        closeNode(currentNode);
    }
}

static void clickBubbleShrink(void*) {
    double s = (1.3 - currentAction->elapsed / 700.0) * 0.3;
    setScale(currentNode, s, s, s);
}

// ---------------------------------------------------------------------------
// Celebration
// ---------------------------------------------------------------------------

void startCelebration(int n) {
    nextBurstTube = n;
    burstTubeNumbers.clear();
    for (int i = 0; i < kBursts; ++i) burstTubeNumbers.push_back(i % pageColourCount + 1);
    burstsLeft = kBursts;
    burstPending = true;
}

void tryCelebrationBurst() {
    if (!burstPending || currentAction->iparam1 != nextBurstTube || burstsLeft == 0 || !pageHolder) return;
    const double colour[3] = {currentAction->param1, currentAction->param2, currentAction->param3};
    burstPending = false;
    --burstsLeft;
    if (!burstTubeNumbers.empty()) {
        int pick = randomBelow((int)burstTubeNumbers.size());
        nextBurstTube = burstTubeNumbers[pick];
        burstTubeNumbers.erase(burstTubeNumbers.begin() + pick);
    }

    SceneNode* trigger = createNode();
    addGroup(&trigger->actions);
    addEndless(trigger, burstTrigger, 0, 0, 0, 0);
    activateGroup(&trigger->actions, 0);
    addChild(pageHolder, trigger);

    for (int i = 0; i < kBurstBubbles; ++i) {
        SceneNode* bubble = newBubble(colour);
        double x = randomBelow(78) / 5.0 - 5.0;
        double z = randomBelow(68) / 5.0 - 6.35;
        setPosition(bubble, x, kBurstDepth, z);
        addGroup(&bubble->actions);
        addEndless(bubble, burstBubble, 0, 700.0 + randomBelow(600), 0, 0);
        activateGroup(&bubble->actions, 0);
        addChild(pageHolder, bubble);
    }
}

void spawnClickBubbles() {
    SceneNode* tube = currentNode;
    const double colour[3] = {currentAction->param1, currentAction->param2, currentAction->param3};
    for (int i = 0; i < kClickBubbles; ++i) {
        SceneNode* bubble = newBubble(colour);
        setPosition(bubble, 0.0, 0.0, 3.1);
        addGroup(&bubble->actions);
        addEndless(bubble, clickBubbleShrink, 0, 0, 0, 0);
        for (int axis = 0; axis < 3; ++axis) {
            double amplitude = randomBelow(20) / 10;
            double frequency = randomBelow(50) / 10;
            addEndless(bubble, swingOffsetAction, axis, amplitude, frequency, 0.0);
        }
        addEndless(bubble, closeAfterDelayAction, 0, 700.0, 0, 0);
        addEndless(bubble, slideOffsetAction, 0, -(2 - randomBelow(40) / 10), 0, 0);
        addEndless(bubble, slideOffsetAction, 1, -(2 - randomBelow(40) / 10), 0, 0);
        addEndless(bubble, slideOffsetAction, 2, (randomBelow(60) / 10 + 2) * 1.4, 0, 0);
        activateGroup(&bubble->actions, 0);
        addChild(tube, bubble);
    }
}
