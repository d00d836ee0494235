// Where the game meets the program's fixed nodes at start-up.
#include "game/game.h"

#include "shell/shell.h"

#include <cstdlib>
#include <ctime>

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

static ActionDesc endlessAction(ActionCallbackFn callback, void* userData, double duration = 0) {
    ActionDesc action = ActionDesc();
    initAction(&action, 1, true, duration);
    setActionCallback(&action, callback, userData);
    return action;
}

// Every game global at its start value, so that each new scene starts clean.
static void resetGameState() {
    pageRebuildRequested = true;
    keepBrushColour = keepPalette = false;
    pageHolder = paletteHolder = nullptr;
    pageColourCount = 0;
    brushColour[0] = brushColour[1] = brushColour[2] = 0.0;
    noColourChosen = true;
    selectedTube = 0;
    hintTube = 0;
    forgetUndo();
    backShown = clearShown = resetShown = colourShown = false;
    burstTubeNumbers.clear();
    burstsLeft = 0;
    nextBurstTube = 0;
    burstPending = false;
}

// ---------------------------------------------------------------------------
// Start-up
// ---------------------------------------------------------------------------

void attachGame(SceneNode* toolbarNode, SceneNode* pageHost, SceneNode* paletteHost, SceneNode* cursorHost) {
    // Bubbles differ from run to run.
    srand((unsigned)time(nullptr));

    resetGameState();
    currentPageVariant = pageVariant(&pageCatalogue[0], settings->detailedPictures);
    selectPageBuilder();

    addGroup(&toolbarNode->actions);
    addAction(&toolbarNode->actions, endlessAction(watchBackButton, nullptr));
    addAction(&toolbarNode->actions, endlessAction(watchClearButton, nullptr));
    addAction(&toolbarNode->actions, endlessAction(watchResetButton, nullptr));
    addAction(&toolbarNode->actions, endlessAction(watchColourButton, nullptr));
    addAction(&toolbarNode->actions, endlessAction(buildToolbar, nullptr, -1));
    activateGroup(&toolbarNode->actions, 0);

    addGroup(&pageHost->actions);
    addAction(&pageHost->actions, endlessAction(pageLoader, paletteHost));
    activateGroup(&pageHost->actions, 0);

    addGroup(&cursorHost->actions);
    addAction(&cursorHost->actions, endlessAction(buildBrush, nullptr, -1));
    activateGroup(&cursorHost->actions, 0);
}
