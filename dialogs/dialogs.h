// Dialogs: the pieces every modal screen is made of (backdrop, growing panel,
// buttons, checkboxes), the confirmations and the settings menu, help and
// about, the language row, web links, and the colour dialog.
#pragma once

#include "scene/scene.h"

#include <string>

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// Who may press a button: a top-level dialog's control, or an inner dialog's.
enum ControlLevel { LEVEL_DIALOG = 1, LEVEL_INNER_DIALOG = 2 };

// Dialog panels: top-level ones, and inner ones one unit nearer so they cover the menu.
enum { DIALOG_CLOSE_MS = 500 };
const double DIALOG_PANEL_DEPTH = -81.5;
const double INNER_PANEL_DEPTH = -82.5;

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

// A panel is in the first 150 ms of opening or in its closing: no dialog control reacts.
extern bool dialogTransition;

// ---------------------------------------------------------------------------
// Pieces (each returns the group that takes it away)
// ---------------------------------------------------------------------------

// A darkening veil over the whole view, under the parent (currentNode when null).
GroupLink addDialogBackdrop(SceneNode* parent);
// A panel growing from its centre at (x, y, z) under currentNode: frame image from "langall.pak",
// content from the language archive when localised.
SceneNode* addDialogPanel(const char* frameKey, const char* contentKey, double x, double y, double z, bool localised);
// An image button that grows under the pointer; the click callback is an endless action with the three ints.
GroupLink addDialogButton(SceneNode* parent, const char* imageKey, double x, double y, double z,
                          ActionCallbackFn click, SceneNode* clickData, int level, bool localised, int32_t i1,
                          int32_t i2, int32_t i3, double hoverScale);
// A tick box bound to a switch of the settings.
GroupLink addCheckbox(SceneNode* parent, double x, double y, double z, bool* value);

// ---------------------------------------------------------------------------
// Ready-made dialog actions
// ---------------------------------------------------------------------------

// Close or cancel a top-level dialog (user data: the node whose group 1 or 2 closes it).
void closeDialog(void* node);
void cancelDialog(void* node);
// Close an inner dialog (user data: its container).
void closeInnerDialog(void* node);
// Closes currentNode once elapsed exceeds param1, ending the transition.
void dialogCloseTimer(void* userData);
// Panel growth and shrink-out (params: the panel's position).
void panelAppear(void* userData);
void panelDisappear(void* userData);
// Hover growth of a button (iparam1 level, param1 hover scale).
void buttonHover(void* userData);
// Fades a piece out over 500 ms.
void fadeOutItem(void* userData);
// Backdrop fades.
void backdropFadeIn(void* userData);
void backdropFadeOut(void* userData);
// Checkbox: the unchecked node toggles, the checked node shows the value (user data: the bool).
void checkboxToggle(void* value);
void checkboxShow(void* value);
// Activates group iparam1 of the user-data node once elapsed exceeds param1.
void activateGroupAfterDelay(void* node);

// ---------------------------------------------------------------------------
// Confirmations and the settings menu
// ---------------------------------------------------------------------------

// Builders for runOnce.
void buildExitDialog(void* userData);
void buildClearDialog(void* userData);
void buildClearAllDialog(void* userData);
void buildSettingsMenu(void* userData);
// Opens the settings menu: container and backdrop stay while the panel is rebuilt.
void openSettingsMenu();
// Menu buttons.
void openAbout(void* userData);
void openClearAll(void* userData);
// OK actions (user data: the dialog container).
void confirmExit(void* userData);
void confirmClear(void* container);
void confirmClearAll(void* container);
// Watchers of the menu's switches.
void musicWatcher(void* userData);
void numbersModeWatcher(void* userData);
void detailWatcher(void* userData);

// ---------------------------------------------------------------------------
// Help and about
// ---------------------------------------------------------------------------

void buildHelp(void* userData);
// Mode buttons of the help screen (iparam1: mode 1 to 3; user data: the container).
void chooseHelpMode(void* container);
// Places the help screen's marker behind the current mode.
void helpSelector(void* userData);
void buildAbout(void* userData);

// ---------------------------------------------------------------------------
// Languages
// ---------------------------------------------------------------------------

// One place of the menu's language row: a flag button, or the marked flag of the current language.
GroupLink addLanguageItem(SceneNode* panel, int index, double x, double y, double z);
// Click action of a flag (iparam1: language index; user data: the menu panel).
void selectLanguage(void* panel);

// ---------------------------------------------------------------------------
// Web links
// ---------------------------------------------------------------------------

// A button that opens a page of the product's site and then ends the program.
GroupLink addWebLink(SceneNode* parent, const char* imageKey, double x, double y, double z, int link,
                     double hoverScale, int level, bool localised);
// Click action of a link button (iparam1 link, iparam3 level).
void followWebLink(void* userData);
// The address of a link (3 or 4) for a language index, with its tracking query.
std::string webLinkAddress(int link, int language);

// ---------------------------------------------------------------------------
// Start-up
// ---------------------------------------------------------------------------

// Lets the toolbar open the dialogs, and opens the help screen when the settings ask for it.
void attachDialogs();
