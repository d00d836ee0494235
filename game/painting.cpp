// Painting: each region glides towards the colour the progress gives it, and
// a click paints it by the colour-by-number rule or the free rule.
#include "game/game.h"

#include "audio/audio.h"
#include "shell/shell.h"

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

// The time over which a region closes the gap to its colour (by about 1/e).
static const double kFadeMs = 500.0;

static bool sameColour(const double a[3], const double b[3]) {
    return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
}

static void fadeTowards(SceneNode* node, const double target[3], double elapsed) {
    double f = elapsed / kFadeMs;
    setColor(node, node->r + (target[0] - node->r) * f, node->g + (target[1] - node->g) * f,
             node->b + (target[2] - node->b) * f);
}

static void numbersModeClick(SceneNode* node, int key, int number, const double target[3]) {
    double wanted[3];
    paletteColour(*settings, number, wanted);
    bool painted = isRegionPainted(*settings, key);
    bool paints = !noColourChosen && !(sameColour(brushColour, target) && painted) &&
                  sameColour(brushColour, wanted) && number == selectedTube;
    if (paints) {
        node->visible = true;
        paintRegion(*settings, key, brushColour[0], brushColour[1], brushColour[2], number);
        if (isPageComplete(*settings)) {
            playSound("finish.wav", false);
            startCelebration(number + 1);
        } else {
            playSound("scena.wav", false);
        }
    } else if (!painted) {
        playSound("scena_false.wav", false);
        hintTube = number + 1;
    }
}

static void freeModeClick(SceneNode* node, int key, int number, const double target[3]) {
    bool paints = !noColourChosen && !(sameColour(brushColour, target) && isRegionPainted(*settings, key));
    if (!paints) return;
    playSound("scena.wav", false);
    undoAvailable = true;
    undoHistory.push_back(ColourEntry{key, target[0], target[1], target[2]});
    node->visible = true;
    paintRegion(*settings, key, brushColour[0], brushColour[1], brushColour[2], number);
}

// ---------------------------------------------------------------------------
// Painting
// ---------------------------------------------------------------------------

void regionBehaviour(void*) {
    ActionDesc* action = currentAction;
    SceneNode* node = currentNode;
    int key = action->iparam1;
    int number = action->iparam2;

    double target[3];
    regionColour(*settings, key, target);
    fadeTowards(node, target, action->elapsed);
    action->elapsed = 0.0;

    if (!isHoveredInGame() || !leftClicked) return;
    if (settings->numbersMode)
        numbersModeClick(node, key, number, target);
    else
        freeModeClick(node, key, number, target);
}
