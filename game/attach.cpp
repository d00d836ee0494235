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

// ---------------------------------------------------------------------------
// Start-up
// ---------------------------------------------------------------------------

void attachGame(SceneNode* toolbarNode, SceneNode* pageHost, SceneNode* paletteHost, SceneNode* cursorHost) {
    // Bubbles differ from run to run.
    srand((unsigned)time(nullptr));

    currentPageVariant = pageVariant(&pageCatalogue[0], settings->detailedPictures);
    pageRebuildRequested = true;
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
