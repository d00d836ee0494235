// The colouring game: the catalogue of pictures and how a page is built,
// painting and completion, the paint tubes and the brush, the toolbar, and
// the bubbles that celebrate a finished picture.
#pragma once

#include "scene/scene.h"
#include "store/store.h"

#include <cstdint>
#include <vector>

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

enum { PAGE_COUNT = 15, MAX_PAGE_COLOURS = 9, FREE_TUBE_COUNT = 18 };

// One picture variant: its archive, colours and the number of regions of each colour.
struct PageVariant {
    const char* archive;
    int regionCounts[MAX_PAGE_COLOURS];  // E(N) for colour numbers 1 to colourCount
};

// One picture of the catalogue, in its two variants.
struct PageEntry {
    int pageId;
    int colourCount;                     // 8 or 9
    uint8_t palette[MAX_PAGE_COLOURS][3];
    PageVariant normal;
    PageVariant detailed;
};

// One region of a variant: its entry name, key and 0-based colour number.
struct PageRegion {
    char entryName[32];
    int key;
    int colourNumber;
};

// Answers of a conditional toolbar button's state function.
enum ToolQuery { TOOL_SHOULD_LEAVE = 1, TOOL_FORGET = 2, TOOL_MAY_REACT = 3, TOOL_RUN_COMMAND = 4 };
typedef bool (*ToolButtonState)(int query);

// Opens a screen; the value is the selected tube for the colour dialog, 0 otherwise.
typedef void (*ScreenOpener)(int value);

// The screens the toolbar opens, made by the dialogs; null until they attach themselves.
struct ToolbarScreens {
    ScreenOpener exitDialog;      // close button and Escape
    ScreenOpener helpScreen;      // help button and F1
    ScreenOpener settingsMenu;    // menu button
    ScreenOpener clearDialog;     // clear button
    ScreenOpener colourDialog;    // colour button
};

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

extern const PageEntry pageCatalogue[PAGE_COUNT];

// Page state
extern const PageVariant* currentPageVariant;   // what the next rebuild builds
extern bool pageRebuildRequested;
extern bool keepBrushColour;                    // one-shot: the next build keeps the brush
extern bool keepPalette;                        // one-shot: the next rebuild keeps the tubes
extern SceneNode* pageHolder;
extern SceneNode* paletteHolder;
extern int pageColourCount;

// Brush state
extern double brushColour[3];
extern bool noColourChosen;
extern int selectedTube;                        // 0-based
extern int hintTube;                            // 1-based, 0 = none

// Undo and toolbar state
extern bool undoAvailable;
extern std::vector<ColourEntry> undoHistory;
extern bool backShown, clearShown, resetShown, colourShown;
extern ToolbarScreens toolbarScreens;

// Colour dialog: the left button was seen held while the palette image was hovered.
extern bool palettePressLatch;

// Celebration state
extern std::vector<int> burstTubeNumbers;
extern int burstsLeft;
extern int nextBurstTube;
extern bool burstPending;

// ---------------------------------------------------------------------------
// Catalogue and pages
// ---------------------------------------------------------------------------

// The catalogue entry of a page id; null for an id outside the catalogue.
const PageEntry* findPage(int pageId);
// The variant of the entry that a detailed switch selects.
const PageVariant* pageVariant(const PageEntry* page, bool detailed);
// The entry a variant belongs to.
const PageEntry* variantPage(const PageVariant* variant);
// Number of regions of a variant.
int variantRegionCount(const PageEntry* page, const PageVariant* variant);
// The regions of a variant in ascending byte order of their entry names.
std::vector<PageRegion> variantRegions(const PageEntry* page, const PageVariant* variant);
// Region key of colour number N (1-based) and element M: the digits of N followed by those of M.
int regionKey(int colourNumber, int element);

// Endless action of pageHost (user data: paletteHost): performs a requested rebuild.
void pageLoader(void* paletteHostNode);
// Single-tick action of a new pageHolder: builds currentPageVariant under currentNode.
void pageBuilder(void* userData);
// Creates one pickable region node under the parent.
void buildRegion(const char* archive, const char* entryName, int key, int colourNumber, SceneNode* parent);
// Requests a rebuild of the current page in the variant the detailed switch selects.
void selectPageBuilder();
// Requests the next page (after 15 comes 1).
void nextPage();
// Requests the previous page (before 1 comes 15).
void previousPage();

// ---------------------------------------------------------------------------
// Painting
// ---------------------------------------------------------------------------

// Endless action of a region (iparam1 key, iparam2 colour number): colour fade and click rule.
void regionBehaviour(void* userData);

// ---------------------------------------------------------------------------
// Palette, tubes and brush
// ---------------------------------------------------------------------------

// Single-tick action of a new paletteHolder: creates the tube slots.
void paletteBuilder(void* userData);
// Endless action of a tube slot: builds its tube, rebuilds it when its colour changes.
void tubeSlotBehaviour(void* userData);
// Endless action of a tube: celebration hook, hover growth, choosing the colour, hint.
void tubeBehaviour(void* ribbonNode);
// Tube animations (user data: the ribbon node): growth when built, bounce when chosen, wobble as a hint.
void tubeAppear(void* ribbonNode);
void tubeChosen(void* ribbonNode);
void tubeHint(void* ribbonNode);
// Single-tick action of cursorHost: builds the brush cursor under currentNode.
void buildBrush(void* userData);
// Endless actions of the brush: follow the mouse, show the brush colour.
void brushFollow(void* userData);
void brushTint(void* userData);

// ---------------------------------------------------------------------------
// Toolbar
// ---------------------------------------------------------------------------

// Single-tick action of toolbarNode: the five fixed buttons.
void buildToolbar(void* userData);
// Watchers of toolbarNode: show a conditional button when its condition holds.
void watchBackButton(void* userData);
void watchClearButton(void* userData);
void watchResetButton(void* userData);
void watchColourButton(void* userData);
// Ends the back button's history.
void forgetUndo();
// Undoes the last free-mode paint.
void undoLastPaint();
// The y of the toolbar row: just below the top edge at eye depth 39.
double toolbarRowY();

// ---------------------------------------------------------------------------
// Celebration
// ---------------------------------------------------------------------------

// Prepares twelve bursts, the first from tube n (1-based).
void startCelebration(int n);
// Called by every tube first in its tick: releases a burst when it is this tube's turn.
void tryCelebrationBurst();
// A puff of bubbles from the clicked tube (currentNode).
void spawnClickBubbles();

// ---------------------------------------------------------------------------
// Colour dialog
// ---------------------------------------------------------------------------

// Builder for runOnce with the 0-based tube index: replaces the tube's colour with one from a palette image.
void buildColourDialog(void* userData);
// Endless action of the palette image (user data: the preview swatch): preview, and take the colour on release.
void paletteHover(void* previewSwatch);
// Single-tick actions that carry the taken colour to the brush and the settings, then close the dialog.
void takeHoverColour(void* fixedSwatch);
void applyChosenColour(void* container);
// Single-tick action of a cancelled colour dialog: the brush gets back the tube's colour.
void restoreBrush(void* userData);

// ---------------------------------------------------------------------------
// Start-up
// ---------------------------------------------------------------------------

// Attaches the game's actions to the fixed nodes made at start-up.
void attachGame(SceneNode* toolbarNode, SceneNode* pageHost, SceneNode* paletteHost, SceneNode* cursorHost);
