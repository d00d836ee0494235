// Models drawn by the engine exactly as the game draws them: scene nodes that
// load the entry, turned as the game turns them, lit by the scene's light,
// drawn with drawNode and the transparent pass; one grid cell per model, each
// fitted to its cell by the bounding box of its turned positions.
#include "tools/preview/preview.h"

#include "resources/resources.h"
#include "scene/scene.h"
#include "shell/shell.h"

#include <GL/gl.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// Which pose the game gives the keys that start with keyPrefix in the archives whose
// file name starts with archivePrefix.
struct PoseRule {
    const char* archivePrefix;
    const char* keyPrefix;
    const PreviewPose* pose;
};

// Pieces the game assembles from several models, shown together as well.
struct Assembly {
    const char* archiveName;
    const char* label;
    const PreviewPose* pose;
    std::vector<PreviewPart> parts;
};

// A cell's nodes: the root that places and lights it, and the nodes that hold its models.
struct CellNodes {
    SceneNode* root;
    SceneNode* outer;
    SceneNode* inner;
    std::vector<SceneNode*> parts;
};

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

static const PreviewPose kFacing = {"facing", {0, 0, 0}, {0, 0, 0}};
static const PreviewPose kUpright = {"turned -90 about X", {-90, 0, 0}, {0, 0, 0}};
static const PreviewPose kTubeNumbers = {"tube, colour-by-number", {-90, 0, 0}, {-26.553, 70.428, 52.833}};
static const PreviewPose kTubeFree = {"tube, free mode", {-90, 0, 0}, {39.716, 35.708, 89.14}};
static const PreviewPose kBrush = {"brush", {-125, 0, 180}, {0, 0, 0}};

// First match wins; keys that match no rule face the viewer unturned.
static const PoseRule kPoseRules[] = {
    // The background, the toolbar buttons and the colour dialog's swatches and palette
    // hang under nodes turned -90 degrees about X.
    {"interface.pak", "fon", &kUpright},
    {"interface.pak", "knopka_", &kUpright},
    {"interface.pak", "color_", &kUpright},
    {"interface.pak", "palitra_", &kUpright},
    // The numbers overlay hangs under the page holder, which is turned like the background.
    {"interface.pak", "list_", &kUpright},
    // Tube body, ribbon and label: the slot's turn, then the tube's own (colour-by-number mode shown).
    {"interface.pak", "tubik", &kTubeNumbers},
    {"interface.pak", "lenta", &kTubeNumbers},
    {"interface.pak", "kist_", &kBrush},
    // Bubbles are billboards: whatever the parents' turn, they face the viewer.
    {"interface.pak", "buble", &kFacing},
    // Every dialog piece hangs under the game layer, turned -90 degrees about X.
    {"lang", "", &kUpright},
    // A picture's numbers and outlines hang under the page holder; its regions under the
    // picture node, whose +90 turns them back to facing the viewer.
    {"page", "list_", &kUpright},
    {"hpage", "list_", &kUpright},
};

static const std::vector<Assembly> kAssemblies = {
    {"interface.pak", "tube 3, colour-by-number mode", &kTubeNumbers,
     {{"tubik_no_num", false, 1, 1, 1}, {"lenta", true, 0.95, 0.3, 0.25}, {"tubik3", false, 1, 1, 1}}},
    {"interface.pak", "tube, free mode", &kTubeFree,
     {{"tubik_no_num", false, 1, 1, 1}, {"lenta", true, 0.2, 0.5, 0.95}}},
    {"interface.pak", "brush with a colour chosen", &kBrush,
     {{"kist_ruchka", false, 1, 1, 1}, {"kist_vors_color", true, 1.0, 0.6, 0.1}}},
    {"interface.pak", "colour dialog palette", &kUpright,
     {{"palitra_gradient", false, 1, 1, 1}, {"palitra_colors", false, 1, 1, 1}}},
};

static const int kCellWidth = 320;
static const int kCellHeight = 240;
static const int kCheckerSquare = 16;
static const double kFieldOfView = 45.0;  // the game's
static const double kMargin = 0.9;        // share of the cell the model may fill

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

static bool startsWith(const std::string& text, const char* prefix) {
    return text.compare(0, strlen(prefix), prefix) == 0;
}

static bool holdsAll(const std::vector<std::string>& keys, const std::vector<PreviewPart>& parts) {
    for (const PreviewPart& part : parts)
        if (std::find(keys.begin(), keys.end(), part.key) == keys.end()) return false;
    return true;
}

static CellNodes buildCellNodes(const std::string& archivePath, const PreviewCell& cell) {
    CellNodes nodes;
    nodes.root = createNode();
    addFrameCallback(nodes.root, lightingFrameCallback, nullptr);
    nodes.outer = createNode();
    setRotation(nodes.outer, cell.pose->outer[0], cell.pose->outer[1], cell.pose->outer[2]);
    addChild(nodes.root, nodes.outer);
    nodes.inner = createNode();
    setRotation(nodes.inner, cell.pose->inner[0], cell.pose->inner[1], cell.pose->inner[2]);
    addChild(nodes.outer, nodes.inner);
    // As the game does: the first model in the turned node, each further one in a child of the one before.
    SceneNode* holder = nodes.inner;
    for (size_t i = 0; i < cell.parts.size(); ++i) {
        if (i > 0) {
            SceneNode* child = createNode();
            addChild(holder, child);
            holder = child;
        }
        loadModel(holder, archivePath.c_str(), cell.parts[i].key.c_str());
        if (cell.parts[i].tinted) setColor(holder, cell.parts[i].r, cell.parts[i].g, cell.parts[i].b);
        nodes.parts.push_back(holder);
    }
    return nodes;
}

static void destroyTree(SceneNode* node) {
    for (SceneNode* child : node->children) destroyTree(child);
    destroyNode(node);
    delete node;
}

// Bounding box of the models' positions after the pose's turns, as the engine applies them.
static bool turnedBounds(const CellNodes& nodes, double low[3], double high[3]) {
    double m[16];
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    applyTransform(&nodes.outer->transform);
    applyTransform(&nodes.inner->transform);
    glGetDoublev(GL_MODELVIEW_MATRIX, m);
    glPopMatrix();
    bool any = false;
    for (const SceneNode* node : nodes.parts)
        for (const Mesh* mesh : node->meshes)
            for (int32_t v = 0; v < 3 * mesh->triangleCount; ++v) {
                float p[3];
                memcpy(p, mesh->positions + 12 * (size_t)v, sizeof p);
                for (int axis = 0; axis < 3; ++axis) {
                    double c = m[axis] * p[0] + m[4 + axis] * p[1] + m[8 + axis] * p[2] + m[12 + axis];
                    low[axis] = any ? std::min(low[axis], c) : c;
                    high[axis] = any ? std::max(high[axis], c) : c;
                }
                any = true;
            }
    return any;
}

// Gives the cell the colour state of a run's first draw. After a mesh with a colour override,
// the engine restores the current colour with glPopAttrib, which (with Mesa at least) leaves the
// material that GL_COLOR_MATERIAL tracks at the override; the next mesh's white then changes
// nothing and it draws tinted. Within a cell that shows as the game would show it; across cells
// it would make every model look like whatever tinted model came before it. With colour
// material off, the next mesh's own material applies, and turning colour material on again
// takes the current colour, as at the first draw.
static void resetColourState() {
    glDisable(GL_COLOR_MATERIAL);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
}

static void clearCellBackground(int x, int y) {
    glEnable(GL_SCISSOR_TEST);
    for (int row = 0; row * kCheckerSquare < kCellHeight; ++row)
        for (int col = 0; col * kCheckerSquare < kCellWidth; ++col) {
            float shade = (row + col) % 2 ? 0.62f : 0.8f;
            glScissor(x + col * kCheckerSquare, y + row * kCheckerSquare, kCheckerSquare, kCheckerSquare);
            glClearColor(shade, shade, shade + 0.02f, 1.0f);
            glClear(GL_COLOR_BUFFER_BIT);
        }
    glScissor(x, y, kCellWidth, kCellHeight);
    glClear(GL_DEPTH_BUFFER_BIT);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
}

// Draws one cell into the window rectangle at (x, y), bottom-left origin; its label names the
// entry and the turned model's width and height in scene units, which the fitting hides.
static std::string drawCell(const std::string& archivePath, const PreviewCell& cell, int x, int y) {
    std::string label = cell.label;
    clearCellBackground(x, y);
    resetColourState();
    glViewport(x, y, kCellWidth, kCellHeight);
    CellNodes nodes = buildCellNodes(archivePath, cell);
    double low[3] = {0, 0, 0}, high[3] = {0, 0, 0};
    if (turnedBounds(nodes, low, high)) {
        double aspect = (double)kCellWidth / kCellHeight;
        double half[3], centre[3];
        for (int axis = 0; axis < 3; ++axis) {
            half[axis] = (high[axis] - low[axis]) / 2;
            centre[axis] = (high[axis] + low[axis]) / 2;
        }
        // Far enough that the box's nearest face fills the view at most by the margin.
        double tangent = std::tan(kFieldOfView / 2 * M_PI / 180) * kMargin;
        double frontDistance = std::max(std::max(half[1], half[0] / aspect) / tangent, 1e-3);
        double distance = frontDistance + half[2];
        setPosition(nodes.root, -centre[0], -centre[1], -centre[2] - distance);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        setPerspective((float)kFieldOfView, (float)aspect, (float)(frontDistance * 0.5),
                       (float)(distance + half[2] + frontDistance));
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        drawNode(nodes.root);
        flushDeferredMeshes();
        char size[64];
        snprintf(size, sizeof size, "  %.3g × %.3g", high[0] - low[0], high[1] - low[1]);
        label += size;
    } else {
        label += "  (no triangles)";
    }
    destroyTree(nodes.root);
    glDisable(GL_SCISSOR_TEST);
    return label;
}

// ---------------------------------------------------------------------------
// Poses and cells
// ---------------------------------------------------------------------------

const PreviewPose* poseFor(const std::string& archiveName, const std::string& key) {
    for (const PoseRule& rule : kPoseRules)
        if (startsWith(archiveName, rule.archivePrefix) && startsWith(key, rule.keyPrefix)) return rule.pose;
    return &kFacing;
}

std::vector<PreviewCell> modelCells(const std::string& archiveName, const std::vector<std::string>& modelKeys) {
    std::vector<PreviewCell> cells;
    for (const std::string& key : modelKeys)
        cells.push_back(PreviewCell{key, poseFor(archiveName, key), {PreviewPart{key, false, 1, 1, 1}}});
    for (const Assembly& assembly : kAssemblies)
        if (archiveName == assembly.archiveName && holdsAll(modelKeys, assembly.parts))
            cells.push_back(PreviewCell{assembly.label, assembly.pose, assembly.parts});
    return cells;
}

// ---------------------------------------------------------------------------
// Drawing with the engine
// ---------------------------------------------------------------------------

void openPreviewWindow() {
    renderer = createRenderer();
    setupLight();
}

PreviewSheet drawModelSheet(const std::string& archivePath, const std::string& title,
                            const std::vector<PreviewCell>& cells) {
    PreviewSheet sheet = createSheet(title, (int)cells.size(), kCellWidth, kCellHeight);
    int columns = std::max(1, renderer->width / kCellWidth);
    int rows = std::max(1, renderer->height / kCellHeight);
    int perFrame = columns * rows;
    std::vector<unsigned char> pixels((size_t)renderer->width * renderer->height * 4);
    // One reference for the whole sheet, so the archive is read once, not once per cell.
    openArchive(archivePath.c_str());
    for (size_t first = 0; first < cells.size(); first += perFrame) {
        size_t count = std::min(cells.size() - first, (size_t)perFrame);
        glViewport(0, 0, renderer->width, renderer->height);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        std::vector<std::string> labels;
        for (size_t i = 0; i < count; ++i) {
            int x = (int)(i % columns) * kCellWidth;
            int y = renderer->height - (int)(i / columns + 1) * kCellHeight;
            labels.push_back(drawCell(archivePath, cells[first + i], x, y));
        }
        glFinish();
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadBuffer(GL_BACK);
        glReadPixels(0, 0, renderer->width, renderer->height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        for (size_t i = 0; i < count; ++i) {
            int x = (int)(i % columns) * kCellWidth;
            int y = renderer->height - (int)(i / columns + 1) * kCellHeight;
            addGlCell(&sheet, pixels.data(), renderer->width, x, y, labels[i]);
        }
        swapBuffers(renderer);
    }
    releaseArchive(archivePath.c_str());
    glViewport(0, 0, renderer->width, renderer->height);
    return sheet;
}
