// Where the dialogs meet the game at start-up.
#include "dialogs/dialogs.h"

#include "game/game.h"
#include "shell/shell.h"
#include "store/store.h"

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

static void openExit(int) { runOnce(buildExitDialog, 0); }
static void openHelp(int) { runOnce(buildHelp, 0); }
static void openMenu(int) { openSettingsMenu(); }
static void openClear(int) { runOnce(buildClearDialog, 0); }
static void openColour(int tube) { runOnce(buildColourDialog, tube); }

// ---------------------------------------------------------------------------
// Start-up
// ---------------------------------------------------------------------------

void attachDialogs() {
    dialogOpen = innerDialogOpen = dialogTransition = false;
    palettePressLatch = false;
    toolbarScreens = ToolbarScreens{openExit, openHelp, openMenu, openClear, openColour};
    if (settings->showHelpAtStart) runOnce(buildHelp, 0);
}
