// The catalogue of the fifteen pictures and their two variants, how a page
// is built from its archive, the page loader and page navigation.
#include "game/game.h"

#include "shell/shell.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

// Page id, colour count, palette (0-255), then the normal and the detailed
// variant: archive and region count of each colour number.
const PageEntry pageCatalogue[PAGE_COUNT] = {
    {1, 9, {{204, 0, 0}, {251, 255, 193}, {72, 60, 50}, {0, 128, 0}, {255, 223, 0}, {255, 204, 139}, {255, 233, 115}, {161, 109, 0}, {229, 183, 59}},
     {"page01.pak", {14, 10, 5, 1, 9, 1, 7, 6, 3}},
     {"hpage01.pak", {23, 14, 6, 8, 9, 1, 13, 8, 6}}},
    {2, 9, {{136, 206, 239}, {232, 244, 254}, {200, 225, 254}, {254, 242, 204}, {245, 236, 54}, {28, 163, 15}, {9, 115, 22}, {193, 178, 128}, {204, 127, 50}},
     {"page02.pak", {7, 12, 5, 4, 1, 5, 2, 5, 2}},
     {"hpage02.pak", {18, 23, 5, 4, 1, 5, 2, 5, 2}}},
    {3, 9, {{0, 128, 0}, {255, 240, 142}, {204, 0, 0}, {161, 18, 0}, {0, 98, 125}, {197, 153, 0}, {229, 228, 226}, {255, 218, 157}, {255, 223, 0}},
     {"page03.pak", {4, 8, 10, 7, 6, 5, 8, 10, 7}},
     {"hpage03.pak", {16, 28, 11, 7, 6, 6, 12, 12, 7}}},
    {4, 8, {{148, 180, 255}, {229, 228, 226}, {87, 0, 186}, {255, 127, 0}, {255, 223, 0}, {193, 157, 255}, {255, 192, 203}, {194, 255, 190}},
     {"page04.pak", {2, 6, 11, 1, 5, 3, 3, 4}},
     {"hpage04.pak", {20, 13, 13, 1, 7, 3, 3, 4}}},
    {5, 8, {{157, 213, 255}, {229, 228, 226}, {192, 192, 192}, {205, 127, 50}, {185, 205, 255}, {168, 96, 0}, {188, 247, 231}, {0, 90, 83}},
     {"page05.pak", {1, 9, 2, 4, 13, 3, 10, 10}},
     {"hpage05.pak", {19, 37, 4, 14, 13, 4, 16, 10}}},
    {6, 9, {{0, 128, 0}, {101, 67, 33}, {210, 180, 140}, {139, 151, 255}, {96, 0, 233}, {229, 255, 130}, {197, 46, 0}, {255, 223, 0}, {245, 147, 0}},
     {"page06.pak", {1, 3, 2, 6, 12, 1, 8, 9, 4}},
     {"hpage06.pak", {13, 3, 2, 6, 12, 23, 8, 9, 4}}},
    {7, 9, {{255, 188, 1}, {216, 153, 0}, {230, 255, 111}, {187, 27, 0}, {165, 29, 0}, {131, 25, 0}, {0, 128, 0}, {40, 100, 0}, {141, 0, 24}},
     {"page07.pak", {4, 3, 1, 2, 5, 4, 4, 2, 6}},
     {"hpage07.pak", {12, 4, 28, 5, 13, 4, 6, 2, 6}}},
    {8, 8, {{171, 10, 0}, {255, 227, 127}, {251, 254, 185}, {255, 223, 0}, {255, 193, 204}, {143, 88, 255}, {170, 208, 0}, {194, 178, 128}},
     {"page08.pak", {10, 6, 8, 11, 3, 4, 4, 2}},
     {"hpage08.pak", {20, 47, 16, 11, 3, 4, 4, 2}}},
    {9, 9, {{124, 20, 0}, {249, 255, 183}, {72, 60, 50}, {151, 244, 215}, {0, 120, 136}, {192, 192, 192}, {255, 219, 185}, {128, 128, 128}, {94, 22, 0}},
     {"page09.pak", {5, 7, 11, 15, 2, 9, 1, 18, 2}},
     {"hpage09.pak", {6, 7, 16, 28, 18, 11, 1, 23, 6}}},
    {10, 9, {{251, 253, 151}, {255, 223, 0}, {0, 128, 0}, {255, 185, 76}, {199, 1, 23}, {155, 5, 2}, {123, 0, 253}, {255, 163, 198}, {192, 255, 17}},
     {"page10.pak", {4, 10, 1, 2, 6, 4, 3, 3, 2}},
     {"hpage10.pak", {8, 11, 8, 40, 8, 6, 3, 3, 2}}},
    {11, 9, {{122, 147, 254}, {210, 227, 254}, {2, 179, 84}, {251, 249, 201}, {101, 67, 33}, {72, 60, 50}, {29, 137, 9}, {17, 232, 49}, {247, 98, 0}},
     {"page11.pak", {1, 5, 2, 1, 8, 2, 9, 6, 4}},
     {"hpage11.pak", {7, 10, 2, 19, 12, 3, 9, 6, 4}}},
    {12, 9, {{0, 128, 0}, {255, 223, 0}, {194, 7, 2}, {255, 249, 168}, {165, 112, 0}, {229, 183, 59}, {150, 75, 0}, {255, 229, 105}, {107, 0, 247}},
     {"page12.pak", {3, 13, 11, 9, 5, 3, 2, 3, 7}},
     {"hpage12.pak", {9, 15, 13, 9, 24, 11, 5, 10, 7}}},
    {13, 9, {{254, 202, 224}, {101, 67, 33}, {253, 125, 187}, {232, 246, 253}, {116, 108, 192}, {253, 249, 217}, {254, 228, 180}, {193, 178, 128}, {228, 227, 225}},
     {"page13.pak", {6, 8, 4, 12, 6, 3, 3, 5, 5}},
     {"hpage13.pak", {12, 9, 4, 12, 16, 9, 3, 8, 12}}},
    {14, 9, {{200, 222, 254}, {217, 165, 32}, {172, 204, 254}, {123, 16, 1}, {180, 101, 29}, {254, 228, 180}, {254, 222, 0}, {101, 67, 33}, {153, 204, 50}},
     {"page14.pak", {3, 10, 10, 4, 5, 2, 9, 7, 3}},
     {"hpage14.pak", {34, 11, 10, 8, 5, 2, 10, 9, 5}}},
    {15, 8, {{136, 206, 239}, {254, 249, 223}, {0, 149, 182}, {204, 127, 50}, {158, 12, 6}, {235, 212, 64}, {25, 169, 19}, {245, 243, 108}},
     {"page15.pak", {5, 11, 10, 15, 9, 7, 15, 10}},
     {"hpage15.pak", {25, 20, 13, 17, 14, 7, 16, 10}}},
};

const PageVariant* currentPageVariant = &pageCatalogue[0].normal;
bool pageRebuildRequested = true;
bool keepBrushColour = false;
bool keepPalette = false;
SceneNode* pageHolder = nullptr;
SceneNode* paletteHolder = nullptr;
int pageColourCount = 0;

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

// The picture lies in the page holder's turned frame, with its canvas corner here.
static const double kPictureX = -11.716, kPictureY = -51.121, kPictureZ = -14.607;
// Regions start grey and glide to their colour from the first frame.
static const double kNewRegionGrey = 0.8;

static int decimalDigits(int value) {
    int digits = 1;
    while (value >= 10) {
        value /= 10;
        ++digits;
    }
    return digits;
}

static SceneNode* singleTickNode(ActionCallbackFn callback) {
    SceneNode* node = createNode();
    addGroup(&node->actions);
    ActionDesc action = ActionDesc();
    initAction(&action, 1, true, -1);
    setActionCallback(&action, callback, nullptr);
    addAction(&node->actions, action);
    activateGroup(&node->actions, 0);
    return node;
}

static int catalogueIndex(int pageId) {
    for (int i = 0; i < PAGE_COUNT; ++i)
        if (pageCatalogue[i].pageId == pageId) return i;
    return -1;
}

// Requests the page at a catalogue position after a step, as the arrows do.
static void stepPage(int step) {
    int i = catalogueIndex(currentPageId(*settings));
    if (i < 0) return;
    pageRebuildRequested = true;
    forgetUndo();
    if (!settings->numbersMode) {
        // The free palette and the chosen colour carry over to the next page.
        keepBrushColour = true;
        keepPalette = true;
    }
    int next = (i + step + PAGE_COUNT) % PAGE_COUNT;
    currentPageVariant = pageVariant(&pageCatalogue[next], settings->detailedPictures);
}

// ---------------------------------------------------------------------------
// Catalogue
// ---------------------------------------------------------------------------

const PageEntry* findPage(int pageId) {
    int i = catalogueIndex(pageId);
    return i < 0 ? nullptr : &pageCatalogue[i];
}

const PageVariant* pageVariant(const PageEntry* page, bool detailed) {
    return detailed ? &page->detailed : &page->normal;
}

const PageEntry* variantPage(const PageVariant* variant) {
    for (const PageEntry& page : pageCatalogue)
        if (&page.normal == variant || &page.detailed == variant) return &page;
    return nullptr;
}

int variantRegionCount(const PageEntry* page, const PageVariant* variant) {
    int count = 0;
    for (int n = 0; n < page->colourCount; ++n) count += variant->regionCounts[n];
    return count;
}

int regionKey(int colourNumber, int element) {
    int key = colourNumber;
    for (int i = 0; i < decimalDigits(element); ++i) key *= 10;
    return key + element;
}

std::vector<PageRegion> variantRegions(const PageEntry* page, const PageVariant* variant) {
    std::vector<PageRegion> regions;
    for (int n = 1; n <= page->colourCount; ++n)
        for (int m = 1; m <= variant->regionCounts[n - 1]; ++m) {
            PageRegion region;
            snprintf(region.entryName, sizeof region.entryName, "color%del%d", n, m);
            region.key = regionKey(n, m);
            region.colourNumber = n - 1;
            regions.push_back(region);
        }
    std::sort(regions.begin(), regions.end(),
              [](const PageRegion& a, const PageRegion& b) { return strcmp(a.entryName, b.entryName) < 0; });
    return regions;
}

// ---------------------------------------------------------------------------
// Building pages
// ---------------------------------------------------------------------------

void pageLoader(void* paletteHostNode) {
    if (!pageRebuildRequested) return;
    pageRebuildRequested = false;
    SceneNode* host = currentNode;

    SceneNode* page = singleTickNode(pageBuilder);
    setRotation(page, -90, 0, 0);
    addChild(host, page);
    if (pageHolder) closeNode(pageHolder);
    pageHolder = page;

    if (keepPalette) {
        keepPalette = false;
        return;
    }
    SceneNode* palette = singleTickNode(paletteBuilder);
    addChild(static_cast<SceneNode*>(paletteHostNode), palette);
    if (paletteHolder) closeNode(paletteHolder);
    paletteHolder = palette;
}

void pageBuilder(void*) {
    const PageVariant* variant = currentPageVariant;
    const PageEntry* page = variantPage(variant);
    if (!page) return;
    SceneNode* holder = currentNode;
    selectPage(*settings, page->pageId);

    if (keepBrushColour) {
        keepBrushColour = false;
    } else {
        brushColour[0] = brushColour[1] = brushColour[2] = 1.0;
        noColourChosen = true;
    }

    SceneNode* picture = createNode();
    setRotation(picture, 90, 0, 0);
    setPosition(picture, kPictureX, kPictureY, kPictureZ);
    addChild(holder, picture);

    pageColourCount = page->colourCount;
    if (settings->numbersMode)
        for (int n = 0; n < page->colourCount; ++n)
            setDefaultColour(*settings, n, page->palette[n][0] / 255.0, page->palette[n][1] / 255.0,
                             page->palette[n][2] / 255.0);
    setRegionCount(*settings, (unsigned)variantRegionCount(page, variant));

    for (const PageRegion& region : variantRegions(page, variant))
        buildRegion(variant->archive, region.entryName, region.key, region.colourNumber, picture);

    SceneNode* overlay = createNode();
    if (settings->numbersMode)
        loadModel(overlay, variant->archive, "list_nums");
    else
        loadModel(overlay, "interface.pak", "list_nums_nodigits");
    loadModel(overlay, variant->archive, "list_kontur");
    addChild(holder, overlay);
}

void buildRegion(const char* archive, const char* entryName, int key, int colourNumber, SceneNode* parent) {
    SceneNode* node = createNode();
    addFrameCallback(node, pickableFrameCallback, nullptr);
    loadModel(node, archive, entryName);
    if (!isRegionPainted(*settings, key)) node->visible = false;
    setColor(node, kNewRegionGrey, kNewRegionGrey, kNewRegionGrey);
    addGroup(&node->actions);
    ActionDesc action = ActionDesc();
    initAction(&action, 1, true, 0);
    setActionParams(&action, regionBehaviour, key, colourNumber, 0.0, 0.0, 0.0);
    addAction(&node->actions, action);
    activateGroup(&node->actions, 0);
    addChild(parent, node);
}

// ---------------------------------------------------------------------------
// Navigation
// ---------------------------------------------------------------------------

void selectPageBuilder() {
    const PageEntry* page = findPage(currentPageId(*settings));
    if (!page) return;
    pageRebuildRequested = true;
    currentPageVariant = pageVariant(page, settings->detailedPictures);
}

void nextPage() { stepPage(1); }

void previousPage() { stepPage(-1); }
