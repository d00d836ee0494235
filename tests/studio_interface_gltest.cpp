// The interface archive as the game shows it: "interface.pak" built by the
// real content builder, its models loaded and drawn by the engine under the
// scene's light, placed as the game places them, and read back from the
// window at the aspect ratios the layout must serve (5:4 to 21:9).
//
// With TINTARIA_SHOTS_DIR set, every view is also saved there as a PNG.
#include "resources/resources.h"
#include "scene/scene.h"
#include "shell/shell.h"
#include "support/test_support.h"

#include <GL/gl.h>
#include <SDL/SDL.h>
#include <SDL/SDL_image.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// A view of the window: the part of it used, at one aspect ratio.
struct View {
    const char* name;
    double aspect;
    int width, height;
};

// A read-back frame, rows bottom to top.
struct Frame {
    int width, height;
    std::vector<uint8_t> rgb;

    const uint8_t* at(int x, int y) const { return &rgb[((size_t)y * width + x) * 3]; }
};

// A point on screen.
struct Pixel {
    int x, y;
};

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

const double kTan = std::tan(22.5 * M_PI / 180);
const double kAspects[] = {5.0 / 4.0, 4.0 / 3.0, 16.0 / 9.0, 21.0 / 9.0};
const char* const kAspectNames[] = {"5x4", "4x3", "16x9", "21x9"};

// The picture canvas in scene space and its depth.
const double kCanvasX0 = -11.716, kCanvasX1 = 18.284, kCanvasY0 = -14.607, kCanvasY1 = 15.393;
const double kCanvasDepth = 48.879;

// Tube slots and turns in the two modes.
const double kNumberTubeX = -9.857, kNumberTubeZ = 77;
const double kNineTubesY[9] = {5.282, 3.929, 2.576, 1.224, -0.129, -1.482, -2.835, -4.188, -5.541};
const double kFreeTubes[18][3] = {
    {-11.54, 5.426, 75},  {-9.983, 5.575, 75},  {-11.54, 4.0, 75},    {-9.983, 4.149, 75},  {-11.54, 2.575, 75},
    {-9.983, 2.724, 75},  {-11.54, 1.149, 75},  {-9.983, 1.298, 75},  {-11.54, -0.277, 75}, {-9.983, -0.128, 75},
    {-11.54, -1.703, 75}, {-9.983, -1.554, 75}, {-11.54, -3.128, 75}, {-9.983, -2.979, 75}, {-11.54, -4.554, 75},
    {-9.983, -4.405, 75}, {-11.54, -5.98, 75},  {-9.983, -5.831, 75},
};
const int kFreeColours[18][3] = {
    {255, 255, 255}, {255, 255, 0}, {255, 204, 51}, {255, 153, 0}, {255, 0, 0},   {255, 102, 102},
    {255, 204, 204}, {204, 0, 204}, {153, 51, 204}, {0, 0, 255},   {102, 0, 153}, {0, 204, 255},
    {0, 204, 153},   {102, 153, 102}, {204, 204, 0}, {153, 204, 0}, {102, 102, 0}, {51, 51, 51},
};
const int kPageOnePalette[9][3] = {{204, 0, 0},     {251, 255, 193}, {72, 60, 50},    {0, 128, 0},  {255, 223, 0},
                                   {255, 204, 139}, {255, 233, 115}, {161, 109, 0}, {229, 183, 59}};
const double kNumberTurn[3] = {-26.553, 70.428, 52.833};
const double kFreeTurn[3] = {39.716, 35.708, 89.14};

const char* const kToolbarKeys[] = {"knopka_close", "knopka_help", "knopka_menu", "knopka_back",
                                    "knopka_clear", "knopka_reset", "knopka_color"};

std::string pakDir;
std::string pakPath;
std::string shotsDir;

// ---------------------------------------------------------------------------
// Helpers: files and the builder
// ---------------------------------------------------------------------------

std::string toolsDir() {
    const char* env = getenv("TINTARIA_TOOLS_DIR");
    return env && *env ? std::string(env) : std::string(TINTARIA_BINARY_DIR) + "/tools";
}

uint32_t crc32(const uint8_t* data, size_t size, uint32_t crc = 0) {
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void putBigEndian(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back((uint8_t)(v >> shift));
}

void pngChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    putBigEndian(out, (uint32_t)data.size());
    std::vector<uint8_t> typed(type, type + 4);
    typed.insert(typed.end(), data.begin(), data.end());
    out.insert(out.end(), typed.begin(), typed.end());
    putBigEndian(out, crc32(typed.data(), typed.size()));
}

// A frame as an RGB PNG with stored (uncompressed) deflate blocks, top row first.
void savePng(const Frame& frame, const std::string& name) {
    if (shotsDir.empty()) return;
    std::vector<uint8_t> raw;
    for (int y = frame.height - 1; y >= 0; --y) {
        raw.push_back(0);
        raw.insert(raw.end(), frame.at(0, y), frame.at(0, y) + (size_t)frame.width * 3);
    }
    std::vector<uint8_t> z = {0x78, 0x01};
    for (size_t at = 0; at < raw.size(); at += 65535) {
        size_t n = std::min<size_t>(65535, raw.size() - at);
        z.push_back(at + n == raw.size() ? 1 : 0);
        z.insert(z.end(), {(uint8_t)n, (uint8_t)(n >> 8), (uint8_t)~n, (uint8_t)(~n >> 8)});
        z.insert(z.end(), raw.begin() + at, raw.begin() + at + n);
    }
    uint32_t a = 1, b = 0;
    for (uint8_t c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    putBigEndian(z, (b << 16) | a);
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    putBigEndian(header, (uint32_t)frame.width);
    putBigEndian(header, (uint32_t)frame.height);
    header.insert(header.end(), {8, 2, 0, 0, 0});
    pngChunk(png, "IHDR", header);
    pngChunk(png, "IDAT", z);
    pngChunk(png, "IEND", {});
    writeFileBytes(shotsDir + "/" + name + ".png", png);
}

// The model's mesh records, straight from the archive's bytes (valid while the suite holds the archive).
std::vector<MeshRecord> modelRecords(const char* key) {
    int32_t size = 0;
    const uint8_t* bytes = getEntry(pakPath.c_str(), key, &size);
    std::vector<MeshRecord> records;
    if (bytes) parseModelStream(bytes, (size_t)size, &records);
    releaseArchive(pakPath.c_str());
    return records;
}

std::vector<float> floatsOf(const uint8_t* bytes, size_t count) {
    std::vector<float> out(count);
    memcpy(out.data(), bytes, count * sizeof(float));
    return out;
}

// Every vertex position of a model.
std::vector<float> modelPositions(const char* key) {
    std::vector<float> all;
    for (const MeshRecord& r : modelRecords(key)) {
        std::vector<float> p = floatsOf(r.positions, 9 * (size_t)r.triangleCount);
        all.insert(all.end(), p.begin(), p.end());
    }
    return all;
}

bool materialTransparent(const MeshRecord& r) { return r.material->bytes[1] != 0; }

// ---------------------------------------------------------------------------
// Helpers: drawing
// ---------------------------------------------------------------------------

View viewFor(int index) {
    int w = renderer->width, h = renderer->height;
    double aspect = kAspects[index];
    int vw = w, vh = (int)std::lround(w / aspect);
    if (vh > h) {
        vh = h;
        vw = (int)std::lround(h * aspect);
    }
    return View{kAspectNames[index], aspect, vw, vh};
}

void useView(const View& v) {
    glViewport(0, 0, v.width, v.height);
    float projection[16];
    perspectiveMatrix(45.0f, (float)v.aspect, 0.1f, 250.0f, projection);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(projection);
    glMatrixMode(GL_MODELVIEW);
}

void restoreView() {
    View full = {"full", (double)renderer->width / renderer->height, renderer->width, renderer->height};
    useView(full);
}

// The screen pixel of a scene point (after the frame's translation by -100).
Pixel project(const View& v, double x, double y, double sceneZ) {
    double depth = 100 - sceneZ;
    double nx = x / (depth * kTan * v.aspect), ny = y / (depth * kTan);
    return Pixel{(int)std::lround((nx + 1) / 2 * v.width), (int)std::lround((ny + 1) / 2 * v.height)};
}

// A node with a model, added to a parent.
SceneNode* modelNode(SceneNode* parent, const char* key, double x = 0, double y = 0, double z = 0) {
    SceneNode* node = createNode();
    if (key) loadModel(node, pakPath.c_str(), key);
    setPosition(node, x, y, z);
    addChild(parent, node);
    return node;
}

void destroyTree(SceneNode* node) {
    for (SceneNode* child : node->children) destroyTree(child);
    destroyNode(node);
    delete node;
}

// A root lit as the game lights its two roots.
SceneNode* litRoot() {
    SceneNode* root = createNode();
    addFrameCallback(root, lightingFrameCallback, nullptr);
    return root;
}

Frame drawFrame(const View& v, SceneNode* root, SceneNode* cursor = nullptr) {
    useView(v);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glTranslatef(0, 0, -100);
    drawNode(root);
    flushDeferredMeshes();
    if (cursor) {
        glLoadIdentity();
        glTranslatef(0, 0, -100);
        drawNode(cursor);
        flushDeferredMeshes();
    }
    Frame f{v.width, v.height, std::vector<uint8_t>((size_t)v.width * v.height * 3)};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, v.width, v.height, GL_RGB, GL_UNSIGNED_BYTE, f.rgb.data());
    restoreView();
    return f;
}

bool isBlack(const uint8_t* p) { return p[0] + p[1] + p[2] < 24; }
bool isWhite(const uint8_t* p) { return p[0] >= 250 && p[1] >= 250 && p[2] >= 250; }

// The background as the game places it: turned -90 degrees about X.
void addBackground(SceneNode* root) {
    SceneNode* fon = modelNode(root, "fon");
    setRotation(fon, -90, 0, 0);
}

double toolbarRowY() { return 39 * kTan - 0.92; }

// The toolbar as the game places it, with every conditional button shown.
void addToolbar(SceneNode* root, const View& v) {
    double halfWidth = 39 * kTan * v.aspect, row = toolbarRowY();
    struct Place {
        const char* key;
        double x, y;
    } places[] = {
        {"knopka_close", halfWidth - 0.92 - 0.1, row}, {"knopka_help", 2.9 - halfWidth + 0.1, row},
        {"knopka_menu", 0.92 - halfWidth + 0.1, row},  {"knopka_left", 14.973, -13.155},
        {"knopka_right", 14.973, -13.155},             {"knopka_back", 4.3, row},
        {"knopka_clear", 7.3, row},                    {"knopka_reset", -3.7, row},
        {"knopka_color", -7.5, row},
    };
    for (const Place& p : places) setRotation(modelNode(root, p.key, p.x, p.y, 61), -90, 0, 0);
}

// One tube as the palette builds it: slot, tube, ribbon in its colour, label.
SceneNode* addTube(SceneNode* parent, const double slot[3], const double turn[3], const int rgb[3], int number,
                   double scale, bool ribbon = true, bool body = true, bool label = true) {
    SceneNode* slotNode = modelNode(parent, nullptr, slot[0], slot[1], slot[2]);
    setRotation(slotNode, -90, 0, 0);
    SceneNode* tube = createNode();
    SceneNode* ribbonNode = createNode();
    ribbonNode->scaleChildren = true;
    if (ribbon) loadModel(ribbonNode, pakPath.c_str(), "lenta");
    setColor(ribbonNode, rgb[0] / 255.0, rgb[1] / 255.0, rgb[2] / 255.0);
    addChild(tube, ribbonNode);
    if (number > 0 && label) modelNode(ribbonNode, ("tubik" + std::to_string(number)).c_str());
    setRotation(tube, turn[0], turn[1], turn[2]);
    if (body) loadModel(tube, pakPath.c_str(), "tubik_no_num");
    setScale(tube, scale, scale, scale);
    setScale(ribbonNode, scale, scale, scale);
    addChild(slotNode, tube);
    return tube;
}

void addNumberTubes(SceneNode* root, int count, double scale) {
    for (int i = 0; i < count; ++i) {
        double slot[3] = {kNumberTubeX, kNineTubesY[i], kNumberTubeZ};
        addTube(root, slot, kNumberTurn, kPageOnePalette[i], i + 1, scale);
    }
}

void addFreeTubes(SceneNode* root) {
    for (int i = 0; i < 18; ++i) addTube(root, kFreeTubes[i], kFreeTurn, kFreeColours[i], 0, 1.0);
}

// The brush as the cursor host builds it, its tip at a scene point at eye depth 17.
SceneNode* addBrush(SceneNode* cursor, double x, double y, const double colour[3], bool chosen) {
    SceneNode* handle = modelNode(cursor, "kist_ruchka", x, y, 83);
    setRotation(handle, -125, 0, 180);
    SceneNode* bristles = modelNode(handle, "kist_vors_color");
    setColor(bristles, colour[0], colour[1], colour[2]);
    double s = chosen ? 1.0 : 0.92;
    setScale(bristles, s, s, 1);
    return handle;
}

// The pixels that differ from black.
std::vector<bool> coverage(const Frame& f) {
    std::vector<bool> on((size_t)f.width * f.height);
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x) on[(size_t)y * f.width + x] = !isBlack(f.at(x, y));
    return on;
}

// The decoded image of an archive entry as RGBA bytes, top row first.
std::vector<uint8_t> entryImage(const char* key, int* w, int* h) {
    int32_t size = 0;
    const uint8_t* bytes = getEntry(pakPath.c_str(), key, &size);
    std::vector<uint8_t> pixels;
    SDL_Surface* s = bytes ? IMG_Load_RW(SDL_RWFromConstMem(bytes, size), 1) : nullptr;
    releaseArchive(pakPath.c_str());
    if (!s) return pixels;
    SDL_Surface* rgba = SDL_CreateRGBSurface(SDL_SWSURFACE, s->w, s->h, 32, 0x000000FF, 0x0000FF00, 0x00FF0000,
                                             0xFF000000);
    SDL_SetAlpha(s, 0, 255);
    SDL_BlitSurface(s, nullptr, rgba, nullptr);
    *w = rgba->w;
    *h = rgba->h;
    for (int y = 0; y < rgba->h; ++y) {
        const uint8_t* row = (const uint8_t*)rgba->pixels + y * rgba->pitch;
        pixels.insert(pixels.end(), row, row + rgba->w * 4);
    }
    SDL_FreeSurface(rgba);
    SDL_FreeSurface(s);
    return pixels;
}

// ---------------------------------------------------------------------------
// The fixture: one archive for all tests
// ---------------------------------------------------------------------------

class StudioInterface : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        testRenderer();
        setupLight();
        const char* shots = getenv("TINTARIA_SHOTS_DIR");
        shotsDir = shots ? shots : "";
        pakDir = makeTempDir("studio-interface");
        std::string command = "\"" + toolsDir() + "/tintaria-studio\" \"" + pakDir + "\" interface";
        int status = system(command.c_str());
        ASSERT_EQ(0, status) << command;
        pakPath = pakDir + "/interface.pak";
        // Mesh records point into the archive's bytes: the suite holds the
        // archive so that they stay valid after each helper's own release.
        int32_t size = 0;
        ASSERT_NE(nullptr, getEntry(pakPath.c_str(), "fon", &size));
    }
    static void TearDownTestSuite() {
        releaseArchive(pakPath.c_str());
        removeTree(pakDir);
    }

    SceneNode* root = nullptr;
    SceneNode* cursor = nullptr;

    void SetUp() override {
        ASSERT_FALSE(pakPath.empty());
        root = litRoot();
        cursor = litRoot();
    }
    void TearDown() override {
        destroyTree(root);
        destroyTree(cursor);
        deferredMeshes.meshes.clear();
    }
    void reset() {
        destroyTree(root);
        destroyTree(cursor);
        root = litRoot();
        cursor = litRoot();
    }
};

}  // namespace

// ---------------------------------------------------------------------------
// Background
// ---------------------------------------------------------------------------

TEST_F(StudioInterface, BackgroundFillsTheWholeViewAtEveryAspect) {
    for (int i = 0; i < 4; ++i) {
        View v = viewFor(i);
        reset();
        addBackground(root);
        Frame f = drawFrame(v, root);
        savePng(f, std::string("background-") + v.name);
        int black = 0;
        for (int y = 0; y < f.height; ++y)
            for (int x = 0; x < f.width; ++x) black += isBlack(f.at(x, y));
        EXPECT_EQ(0, black) << v.name << ": pixels the background leaves uncovered";
        for (Pixel p : {Pixel{0, 0}, Pixel{f.width - 1, 0}, Pixel{0, f.height - 1}, Pixel{f.width - 1, f.height - 1}})
            EXPECT_FALSE(isBlack(f.at(p.x, p.y))) << v.name << " corner " << p.x << ", " << p.y;
    }
}

TEST_F(StudioInterface, WhiteSheetShowsBehindTheWholeCanvasAndIsOnlySlightlyLarger) {
    View v = viewFor(2);
    addBackground(root);
    Frame f = drawFrame(v, root);
    int notWhite = 0, samples = 0;
    for (int i = 0; i <= 20; ++i)
        for (int j = 0; j <= 20; ++j) {
            double x = kCanvasX0 + 0.1 + (kCanvasX1 - kCanvasX0 - 0.2) * i / 20;
            double y = kCanvasY0 + 0.1 + (kCanvasY1 - kCanvasY0 - 0.2) * j / 20;
            Pixel p = project(v, x, y, 100 - kCanvasDepth);
            ++samples;
            if (!isWhite(f.at(p.x, p.y))) ++notWhite;
        }
    EXPECT_EQ(0, notWhite) << "of " << samples << " points of the canvas, these do not show white paper";

    // Two units out from the canvas the desk shows: the sheet is a sheet, not the background.
    int white = 0;
    for (int k = 0; k < 40; ++k) {
        double t = k / 40.0;
        double xs[] = {kCanvasX0 - 2, kCanvasX1 + 2, kCanvasX0 + (kCanvasX1 - kCanvasX0) * t,
                       kCanvasX0 + (kCanvasX1 - kCanvasX0) * t};
        double ys[] = {kCanvasY0 + (kCanvasY1 - kCanvasY0) * t, kCanvasY0 + (kCanvasY1 - kCanvasY0) * t,
                       kCanvasY0 - 2, kCanvasY1 + 2};
        for (int side = 0; side < 4; ++side) {
            Pixel p = project(v, xs[side], ys[side], 100 - kCanvasDepth);
            white += isWhite(f.at(p.x, p.y));
        }
    }
    EXPECT_EQ(0, white) << "points two units outside the canvas that are still white";
}

// ---------------------------------------------------------------------------
// Toolbar
// ---------------------------------------------------------------------------

TEST_F(StudioInterface, ToolbarButtonsAreCentredOnTheirOriginAndAboutOnePointEightAcross) {
    for (const char* key : kToolbarKeys) {
        std::vector<float> p = modelPositions(key);
        ASSERT_FALSE(p.empty()) << key;
        float x0 = 1e9f, x1 = -1e9f, z0 = 1e9f, z1 = -1e9f;
        for (size_t i = 0; i < p.size(); i += 3) {
            x0 = std::min(x0, p[i]);
            x1 = std::max(x1, p[i]);
            z0 = std::min(z0, p[i + 2]);
            z1 = std::max(z1, p[i + 2]);
            EXPECT_NEAR(0.0f, p[i + 1], 0.01f) << key << " lies in the x/z plane";
        }
        EXPECT_NEAR(0.0f, (x0 + x1) / 2, 0.01f) << key;
        EXPECT_NEAR(0.0f, (z0 + z1) / 2, 0.01f) << key;
        EXPECT_GE(x1 - x0, 1.6f) << key;
        EXPECT_LE(x1 - x0, 2.0f) << key;
        EXPECT_LE(z1 - z0, 2.0f) << key << ": would reach over the top edge of the view";
    }
    // The arrows share one point: each keeps to its own side of it.
    std::vector<float> left = modelPositions("knopka_left"), right = modelPositions("knopka_right");
    ASSERT_FALSE(left.empty());
    ASSERT_FALSE(right.empty());
    for (size_t i = 0; i < left.size(); i += 3) {
        EXPECT_LT(left[i], 0.05f);
        EXPECT_GT(left[i], -2.4f);
        EXPECT_LE(std::fabs(left[i + 2]), 1.0f);
    }
    for (size_t i = 0; i < right.size(); i += 3) {
        EXPECT_GT(right[i], -0.05f);
        EXPECT_LT(right[i], 2.4f);
        EXPECT_LE(std::fabs(right[i + 2]), 1.0f);
    }
}

TEST_F(StudioInterface, ToolbarButtonsBlendTheirRoundEdgesIntoWhatIsBehind) {
    View v = viewFor(2);
    addBackground(root);
    addToolbar(root, v);
    Frame f = drawFrame(v, root);
    savePng(f, "toolbar-16x9");
    // The corners of each image are see-through: the desk shows there, not black.
    double halfWidth = 39 * kTan * v.aspect;
    double xs[] = {halfWidth - 1.02, -halfWidth + 3.0, -halfWidth + 1.02, 4.3, 7.3, -3.7, -7.5};
    for (double x : xs)
        for (double dx : {-0.95, 0.95})
            for (double dz : {-0.95, 0.95}) {
                Pixel p = project(v, x + dx, toolbarRowY() + dz, 61);
                EXPECT_FALSE(isBlack(f.at(std::clamp(p.x, 0, f.width - 1), std::clamp(p.y, 0, f.height - 1))))
                    << "button at x " << x << ": its corner draws black";
            }
}

// ---------------------------------------------------------------------------
// Tubes
// ---------------------------------------------------------------------------

TEST_F(StudioInterface, NumberTubesGrownUnderTheMouseStillDoNotTouchTheirNeighbours) {
    View v = viewFor(0);
    std::vector<bool> odd, even, all;
    for (int pass = 0; pass < 3; ++pass) {
        reset();
        for (int i = 0; i < 9; ++i) {
            if ((pass == 0 && i % 2 == 1) || (pass == 1 && i % 2 == 0)) continue;
            double slot[3] = {kNumberTubeX, kNineTubesY[i], kNumberTubeZ};
            addTube(root, slot, kNumberTurn, kPageOnePalette[i], i + 1, 1.2);
        }
        Frame f = drawFrame(v, root);
        (pass == 0 ? even : pass == 1 ? odd : all) = coverage(f);
        if (pass == 2) savePng(f, "tubes-grown-5x4");
    }
    int overlap = 0, covered = 0;
    for (size_t i = 0; i < all.size(); ++i) {
        overlap += odd[i] && even[i];
        covered += all[i];
    }
    EXPECT_GT(covered, 0);
    EXPECT_EQ(0, overlap) << "pixels where two tubes grown to 1.2 overlap";
}

TEST_F(StudioInterface, TubesInBothModesStayBetweenTheLeftEdgeAndThePicture) {
    for (int mode = 0; mode < 2; ++mode) {
        View v = viewFor(0);
        reset();
        if (mode == 0) addNumberTubes(root, 9, 1.0);
        else addFreeTubes(root);
        Frame f = drawFrame(v, root);
        savePng(f, mode == 0 ? "tubes-numbers-5x4" : "tubes-free-5x4");
        int canvasLeft = project(v, kCanvasX0, 0, 100 - kCanvasDepth).x;
        int right = 0, leftEdge = 0, top = 0, bottom = f.height;
        for (int y = 0; y < f.height; ++y)
            for (int x = 0; x < f.width; ++x)
                if (!isBlack(f.at(x, y))) {
                    right = std::max(right, x);
                    top = std::max(top, y);
                    bottom = std::min(bottom, y);
                    if (x == 0) ++leftEdge;
                }
        EXPECT_LT(right, canvasLeft) << (mode ? "free" : "numbers") << ": tubes reach over the picture";
        EXPECT_EQ(0, leftEdge) << (mode ? "free" : "numbers") << ": tubes cut off by the left edge at 5:4";
        EXPECT_LT(top, project(v, 0, toolbarRowY() - 1.0, 61).y) << "tubes reach up into the toolbar";
        EXPECT_GT(bottom, 0);
    }
}

TEST_F(StudioInterface, RibbonShowsTheTubeColourAndCarriesTheLabel) {
    View v = viewFor(2);
    double slot[3] = {kNumberTubeX, kNineTubesY[4], kNumberTubeZ};
    const int red[3] = {230, 20, 20};
    addTube(root, slot, kNumberTurn, red, 5, 1.0, true, false, false);
    Frame ribbon = drawFrame(v, root);
    reset();
    addTube(root, slot, kNumberTurn, red, 5, 1.0, false, false, true);
    Frame label = drawFrame(v, root);
    savePng(ribbon, "ribbon");
    savePng(label, "label");

    int reddish = 0, ribbonPixels = 0, outside = 0, labelPixels = 0, dark = 0, white = 0;
    for (int y = 1; y + 1 < v.height; ++y)
        for (int x = 1; x + 1 < v.width; ++x) {
            const uint8_t* p = ribbon.at(x, y);
            if (!isBlack(p)) {
                ++ribbonPixels;
                reddish += p[0] > 2 * p[1] + 40 && p[0] > 2 * p[2] + 40;
            }
            const uint8_t* q = label.at(x, y);
            if (isBlack(q)) continue;
            ++labelPixels;
            white += isWhite(q) || (q[0] > 200 && q[1] > 200 && q[2] > 200);
            dark += q[0] < 90 && q[1] < 90 && q[2] < 120;
            bool onRibbon = false;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) onRibbon = onRibbon || !isBlack(ribbon.at(x + dx, y + dy));
            outside += !onRibbon;
        }
    ASSERT_GT(ribbonPixels, 100);
    EXPECT_GT(reddish, ribbonPixels * 3 / 4) << "the ribbon does not show the node's colour";
    ASSERT_GT(labelPixels, 100);
    EXPECT_EQ(0, outside) << "label pixels that are not on the ribbon";
    EXPECT_GT(white, labelPixels / 3) << "the label's white sticker";
    EXPECT_GT(dark, labelPixels / 20) << "the label's dark digit";
}

// ---------------------------------------------------------------------------
// Brush and bubbles
// ---------------------------------------------------------------------------

TEST_F(StudioInterface, BrushTipIsTheModelOriginAndTheHandleLeansUpAndRight) {
    std::vector<float> p = modelPositions("kist_vors_color");
    ASSERT_FALSE(p.empty());
    float nearest = 1e9f;
    for (size_t i = 0; i < p.size(); i += 3)
        nearest = std::min(nearest, std::sqrt(p[i] * p[i] + p[i + 1] * p[i + 1] + p[i + 2] * p[i + 2]));
    EXPECT_LT(nearest, 1e-4f) << "the bristles reach the origin";

    View v = viewFor(2);
    for (int chosen = 0; chosen < 2; ++chosen) {
        reset();
        const double colour[3] = {0.1, 0.8, 0.2};
        addBrush(cursor, 0, 0, colour, chosen == 1);
        Frame f = drawFrame(v, root, cursor);
        savePng(f, chosen ? "brush-chosen" : "brush-unchosen");
        int x0 = f.width, y0 = f.height, x1 = -1, y1 = -1;
        for (int y = 0; y < f.height; ++y)
            for (int x = 0; x < f.width; ++x)
                if (!isBlack(f.at(x, y))) {
                    x0 = std::min(x0, x);
                    y0 = std::min(y0, y);
                    x1 = std::max(x1, x);
                    y1 = std::max(y1, y);
                }
        int cx = v.width / 2, cy = v.height / 2;
        EXPECT_NEAR(cx, x0, 6) << "the brush's left end is its tip, at the mouse";
        EXPECT_NEAR(cy, y0, 6) << "the brush's lowest point is its tip, at the mouse";
        EXPECT_GT(x1 - cx, v.height / 20);
        EXPECT_GT(y1 - cy, v.height / 10);
    }
}

TEST_F(StudioInterface, BubblesAreRoundTransparentAndCentredFacingTheViewer) {
    for (int n = 1; n <= 5; ++n) {
        std::string key = "buble" + std::to_string(n);
        std::vector<MeshRecord> records = modelRecords(key.c_str());
        ASSERT_FALSE(records.empty()) << key;
        for (const MeshRecord& r : records) EXPECT_TRUE(materialTransparent(r)) << key << " fades: transparent";
        std::vector<float> p = modelPositions(key.c_str());
        float x0 = 1e9f, x1 = -1e9f, y0 = 1e9f, y1 = -1e9f;
        for (size_t i = 0; i < p.size(); i += 3) {
            x0 = std::min(x0, p[i]);
            x1 = std::max(x1, p[i]);
            y0 = std::min(y0, p[i + 1]);
            y1 = std::max(y1, p[i + 1]);
            EXPECT_NEAR(0.0f, p[i + 2], 1e-4f) << key << " is flat, facing +Z";
        }
        EXPECT_NEAR(0.0f, (x0 + x1) / 2, 1e-3f) << key;
        EXPECT_NEAR(0.0f, (y0 + y1) / 2, 1e-3f) << key;
        EXPECT_NEAR(x1 - x0, y1 - y0, 1e-3f) << key << " is as wide as it is high";
    }

    // Drawn as a burst draws them, coloured and billboarded: round about their centre.
    View v = viewFor(2);
    for (int n = 1; n <= 5; ++n) {
        reset();
        SceneNode* layer = modelNode(root, nullptr);
        setRotation(layer, -90, 0, 0);
        SceneNode* bubble = modelNode(layer, ("buble" + std::to_string(n)).c_str(), 0, -77, 0);
        setColor(bubble, 0.2, 0.6, 1.0);
        addFrameCallback(bubble, billboardFrameCallback, nullptr);
        setScale(bubble, 0.3 * 10, 0.3 * 10, 0.3 * 10);
        Frame f = drawFrame(v, root);
        if (n == 1) savePng(f, "bubble");
        int x0 = f.width, y0 = f.height, x1 = -1, y1 = -1;
        for (int y = 0; y < f.height; ++y)
            for (int x = 0; x < f.width; ++x)
                if (!isBlack(f.at(x, y))) {
                    x0 = std::min(x0, x);
                    y0 = std::min(y0, y);
                    x1 = std::max(x1, x);
                    y1 = std::max(y1, y);
                }
        ASSERT_GE(x1, x0);
        EXPECT_NEAR(v.width / 2.0, (x0 + x1) / 2.0, 3) << n;
        EXPECT_NEAR(v.height / 2.0, (y0 + y1) / 2.0, 3) << n;
        EXPECT_NEAR(x1 - x0, y1 - y0, 4) << n << " is round";
    }
}

// ---------------------------------------------------------------------------
// Colour dialog
// ---------------------------------------------------------------------------

TEST_F(StudioInterface, PaletteShowsExactlyItsOwnColoursUnderTheSceneLight) {
    View v = viewFor(1);
    // Built in the dialog's order: the two swatches in the tube's colour, then the palette image.
    SceneNode* layer = modelNode(root, nullptr);
    setRotation(layer, -90, 0, 0);
    SceneNode* panel = modelNode(layer, nullptr, 0, -81.5, 0);
    panel->scaleChildren = true;
    setColor(modelNode(panel, "color_const"), 1.0, 0.5, 0.0);
    setColor(modelNode(panel, "color_hover"), 0.2, 0.6, 1.0);
    SceneNode* palette = modelNode(panel, "palitra_gradient");
    loadModel(palette, pakPath.c_str(), "palitra_colors");
    setColor(palette, 1, 1, 1);
    Frame f = drawFrame(v, root);
    savePng(f, "colour-dialog-4x3");

    for (const char* key : {"palitra_gradient", "palitra_colors", "color_hover", "color_const"})
        for (const MeshRecord& r : modelRecords(key)) {
            EXPECT_TRUE(materialTransparent(r)) << key << " fades with the dialog";
            EXPECT_EQ(0.0f, floatsOf(r.material->bytes + 36, 3)[0]) << key << ": specular would wash it out";
        }

    // What the child sees, and so picks, is the image's own colour.
    struct Sample {
        double u, t;  // in the image, 0 to 1 from its top left
    };
    for (const char* key : {"palitra_gradient", "palitra_colors"}) {
        std::vector<float> p = modelPositions(key);
        ASSERT_FALSE(p.empty());
        float x0 = 1e9f, x1 = -1e9f, z0 = 1e9f, z1 = -1e9f;
        for (size_t i = 0; i < p.size(); i += 3) {
            x0 = std::min(x0, p[i]);
            x1 = std::max(x1, p[i]);
            z0 = std::min(z0, p[i + 2]);
            z1 = std::max(z1, p[i + 2]);
        }
        int w = 0, h = 0;
        std::vector<uint8_t> image = entryImage((std::string(key) + ".png").c_str(), &w, &h);
        ASSERT_FALSE(image.empty()) << key;
        bool tiles = std::string(key) == "palitra_colors";
        std::vector<Sample> samples, strongRow;
        if (tiles) {
            for (int row = 0; row < 2; ++row)
                for (int col = 0; col < 8; ++col) samples.push_back(Sample{(col + 0.5) / 8, (row + 0.5) / 2});
            strongRow = samples;
        } else {
            for (int i = 0; i < 20; ++i)
                for (int j = 0; j < 9; ++j) samples.push_back(Sample{(i + 0.5) / 20, (j + 0.5) / 9});
            for (int i = 0; i < 12; ++i) strongRow.push_back(Sample{(i + 0.5) / 12 * 0.9, 0.5});
        }
        auto shownAt = [&](const Sample& s) {
            Pixel px = project(v, x0 + (x1 - x0) * s.u, z1 - (z1 - z0) * s.t, 81.6);
            return f.at(px.x, px.y);
        };
        auto ownAt = [&](const Sample& s, int dx, int dy) {
            int px = std::clamp((int)(s.u * w) + dx, 0, w - 1), py = std::clamp((int)(s.t * h) + dy, 0, h - 1);
            return &image[((size_t)py * w + px) * 4];
        };
        // Filtering mixes neighbouring texels, so the colour shown must lie within
        // the range of the image's texels around the point, give or take rounding.
        for (const Sample& s : samples) {
            const uint8_t* shown = shownAt(s);
            for (int c = 0; c < 3; ++c) {
                int lo = 255, hi = 0;
                for (int dy = -3; dy <= 3; ++dy)
                    for (int dx = -3; dx <= 3; ++dx) {
                        lo = std::min<int>(lo, ownAt(s, dx, dy)[c]);
                        hi = std::max<int>(hi, ownAt(s, dx, dy)[c]);
                    }
                EXPECT_GE(shown[c], lo - 4) << key << " at " << s.u << ", " << s.t << " channel " << c;
                EXPECT_LE(shown[c], hi + 4) << key << " at " << s.u << ", " << s.t << " channel " << c;
            }
        }
        // Strong colours: the gradient's middle row is pure hues; the ready paints hold
        // at least the red, orange, yellow, sky blue and blue a child expects.
        int strong = 0;
        for (const Sample& s : strongRow) {
            const uint8_t* shown = shownAt(s);
            strong += std::max({shown[0], shown[1], shown[2]}) - std::min({shown[0], shown[1], shown[2]}) > 180;
        }
        EXPECT_GE(strong, tiles ? 5 : 11) << key << ": too few strong, clear colours";
    }

    // The swatches show the node's colour itself in their middle.
    Pixel h = project(v, 3.3, 0.7, 81.6);
    const uint8_t* hp = f.at(h.x, h.y);
    EXPECT_NEAR(51, hp[0], 6);
    EXPECT_NEAR(153, hp[1], 6);
    EXPECT_NEAR(255, hp[2], 6);
}

// ---------------------------------------------------------------------------
// The whole screen, for the eye
// ---------------------------------------------------------------------------

TEST_F(StudioInterface, WholeScreenInBothModes) {
    for (int i = 0; i < 4; ++i)
        for (int mode = 0; mode < 2; ++mode) {
            View v = viewFor(i);
            reset();
            addBackground(root);
            addToolbar(root, v);
            SceneNode* palette = modelNode(root, nullptr);
            addFrameCallback(palette, lightingFrameCallback, nullptr);
            if (mode == 0) addNumberTubes(palette, 9, 1.0);
            else addFreeTubes(palette);
            SceneNode* layer = modelNode(root, nullptr);
            setRotation(layer, -90, 0, 0);
            const double spots[][2] = {{-2, 4}, {1, 6}, {-3.5, 7}, {0.5, 2.5}, {2.5, 5.5}};
            for (int b = 0; b < 5; ++b) {
                SceneNode* bubble = modelNode(layer, ("buble" + std::to_string(b + 1)).c_str(), spots[b][0], -77,
                                              spots[b][1]);
                setColor(bubble, 1.0, 0.5, 0.1);
                addFrameCallback(bubble, billboardFrameCallback, nullptr);
                setScale(bubble, 0.3, 0.3, 0.3);
            }
            const double colour[3] = {0.8, 0.0, 0.0};
            addBrush(cursor, 1.5, -1.0, colour, true);
            Frame f = drawFrame(v, root, cursor);
            savePng(f, std::string("screen-") + (mode == 0 ? "numbers-" : "free-") + v.name);
            EXPECT_FALSE(isBlack(f.at(0, 0)));
        }
}
