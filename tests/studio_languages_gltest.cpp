// The dialog archives built by the real content builder, read with the game's
// own archive and model code and drawn with its renderer as the dialogs place
// their pieces: every key the dialogs load, one key set for all languages,
// panels that fit a 4:3 screen, transparent flat meshes, a veil over the whole
// view, the questions readable in every language, texts that do not fit
// failing the build, and the same bytes from the same sources.
//
// With TINTARIA_DIALOG_SHOTS set to a folder, the drawing tests also save a
// PNG screenshot of every dialog in every language there, for people to look
// at; TINTARIA_DIALOG_INTERFACE, a folder with "interface.pak", puts the real
// background and toolbar behind them and the palette into the colour dialog.
#include "resources/resources.h"
#include "scene/scene.h"
#include "shell/shell.h"
#include "support/test_support.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// A piece of a dialog as the game places it: image key, from which archive, where on its parent.
struct Piece {
    const char* key;
    bool localised;
    double x, y, z;
};

// The extent of a model's vertices in the x/z plane of its node.
struct Extent {
    double x0, z0, x1, z1, y0, y1;
};

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

const char* const kLanguageArchives[5] = {"langen.pak", "langde.pak", "langes.pak", "langru.pak", "langfr.pak"};
const char* const kLanguageCodes[5] = {"en", "de", "es", "ru", "fr"};

const char* const kSharedKeys[] = {
    "menu_alpha", "checked", "unchecked", "dialog_background", "menu_dialog", "help_dialog", "about",
    "button_close", "button_facebook", "button_twitter", "help_select", "help_mode1", "help_mode2", "help_mode3",
    "setup_lang_en", "setup_lang_de", "setup_lang_es", "setup_lang_ru", "setup_lang_fr", "setup_lang_cursor",
    "colors_dialog"};
const char* const kLocalisedKeys[] = {"menu_exit", "menu_clear", "menu_clearall", "setup", "help", "help_bg",
                                      "button_ok", "button_cancel", "setup_button_about", "setup_button_clearall",
                                      "button_close", "text_void"};

// Panels stand at (0, -81.5, 0) under the game layer (inner dialogs one unit nearer); pieces relative to them.
const double kPanelY = -81.5, kInnerPanelY = -82.5;

const Piece kConfirmPieces[] = {{"dialog_background", false, 0, 0, 0},
                                {"button_ok", true, -1.323, -0.2, -1.633},
                                {"button_cancel", true, 1.696, -0.2, -1.633}};
const Piece kMenuPieces[] = {{"menu_dialog", false, 0, 0, 0},
                             {"setup", true, 0, 0, 0},
                             {"unchecked", false, -3.202, -0.2, 0.924},
                             {"unchecked", false, -3.202, -0.2, 0.292},
                             {"unchecked", false, -3.202, -0.2, 2.272},
                             {"unchecked", false, -3.202, -0.2, 1.589},
                             {"button_close", false, 3.374, -0.2, 2.256},
                             {"setup_button_about", true, 2.246, -0.2, -0.73},
                             {"setup_button_clearall", true, 2.246, -0.2, 0.659},
                             {"button_facebook", false, -1.324, -0.2, -0.73},
                             {"setup_lang_en", false, -2.401, -0.2, -2.582},
                             {"setup_lang_de", false, -1.17, -0.2, -2.582},
                             {"setup_lang_es", false, 0.061, -0.2, -2.582},
                             {"setup_lang_ru", false, 1.292, -0.2, -2.582},
                             {"setup_lang_fr", false, 2.523, -0.2, -2.582}};
const Piece kHelpPieces[] = {{"help_dialog", false, 0, 0, 0},       {"help", true, 0, 0, 0},
                             {"help_select", false, -4.57, -0.1, -0.052}, {"help_mode1", false, -4.536, -0.2, -0.028},
                             {"help_mode2", false, 0.095, -0.2, -0.028},  {"help_mode3", false, 4.77, -0.2, -0.028},
                             {"unchecked", false, -4.644, -0.2, -2.319}};
const Piece kAboutPieces[] = {{"dialog_background", false, 0, 0, 0},
                              {"about", false, 0, 0, 0},
                              {"button_close", true, 0.255, -0.2, -2.305},
                              {"button_facebook", false, -2.0, -0.2, -0.25},
                              {"button_twitter", false, 2.45, -0.2, -0.25}};
const Piece kColourPieces[] = {{"colors_dialog", false, 0, 0, 0},
                               {"text_void", true, 0, 0, 0},
                               {"button_close", false, 4.296, -0.2, 2.994}};

// ---------------------------------------------------------------------------
// Internal helpers: files and the builder
// ---------------------------------------------------------------------------

std::string studioProgram() {
    const char* tools = getenv("TINTARIA_TOOLS_DIR");
    std::string dir = tools && *tools ? tools : std::string(TINTARIA_BINARY_DIR) + "/tools";
    return dir + "/tintaria-studio";
}

// Runs the builder's "languages" into outDir; returns its exit status and what it printed.
int runStudio(const std::string& outDir, const std::string& environment, std::string* output) {
    std::string command = environment + " '" + studioProgram() + "' '" + outDir + "' languages 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    char buffer[512];
    std::string text;
    while (fgets(buffer, sizeof buffer, pipe)) text += buffer;
    int status = pclose(pipe);
    if (output) *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

float readFloat(const uint8_t* p) {
    float f;
    memcpy(&f, p, 4);
    return f;
}

std::vector<MeshRecord> modelRecords(const PakArchive& archive, const char* key, size_t* end, int32_t* size) {
    std::vector<MeshRecord> records;
    const uint8_t* bytes = findEntry(&archive, key, size);
    if (bytes) parseModelStream(bytes, (size_t)*size, &records, end);
    return records;
}

Extent modelExtent(const PakArchive& archive, const char* key) {
    Extent e = {1e9, 1e9, -1e9, -1e9, 1e9, -1e9};
    size_t end = 0;
    int32_t size = 0;
    for (const MeshRecord& r : modelRecords(archive, key, &end, &size)) {
        for (int32_t v = 0; v < r.triangleCount * 3; ++v) {
            double x = readFloat(r.positions + v * 12), y = readFloat(r.positions + v * 12 + 4),
                   z = readFloat(r.positions + v * 12 + 8);
            e.x0 = std::min(e.x0, x);
            e.x1 = std::max(e.x1, x);
            e.z0 = std::min(e.z0, z);
            e.z1 = std::max(e.z1, z);
            e.y0 = std::min(e.y0, y);
            e.y1 = std::max(e.y1, y);
        }
    }
    return e;
}

// ---------------------------------------------------------------------------
// Internal helpers: screenshots
// ---------------------------------------------------------------------------

uint32_t crc32Of(const uint8_t* data, size_t n, uint32_t crc) {
    crc = ~crc;
    for (size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void putBig32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back((uint8_t)(v >> shift));
}

void putChunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& data) {
    putBig32(png, (uint32_t)data.size());
    std::vector<uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    png.insert(png.end(), body.begin(), body.end());
    putBig32(png, crc32Of(body.data(), body.size(), 0));
}

// An RGB PNG of the pixels (rows from the top), stored without compression.
std::vector<uint8_t> pngOf(int w, int h, const std::vector<uint8_t>& rgbTopDown) {
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    putBig32(header, (uint32_t)w);
    putBig32(header, (uint32_t)h);
    header.insert(header.end(), {8, 2, 0, 0, 0});
    putChunk(png, "IHDR", header);
    std::vector<uint8_t> raw;
    for (int y = 0; y < h; ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), rgbTopDown.begin() + (size_t)y * w * 3, rgbTopDown.begin() + (size_t)(y + 1) * w * 3);
    }
    std::vector<uint8_t> z = {0x78, 0x01};
    uint32_t a = 1, b = 0;
    for (uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    for (size_t at = 0; at < raw.size(); at += 65535) {
        size_t n = std::min((size_t)65535, raw.size() - at);
        z.push_back(at + n == raw.size() ? 1 : 0);
        z.insert(z.end(), {(uint8_t)(n & 0xFF), (uint8_t)(n >> 8), (uint8_t)(~n & 0xFF), (uint8_t)((~n >> 8) & 0xFF)});
        z.insert(z.end(), raw.begin() + at, raw.begin() + at + n);
    }
    putBig32(z, (b << 16) | a);
    putChunk(png, "IDAT", z);
    putChunk(png, "IEND", {});
    return png;
}

std::vector<uint8_t> readWindow(int* w, int* h) {
    *w = renderer->width;
    *h = renderer->height;
    std::vector<uint8_t> bottomUp((size_t)*w * *h * 3), topDown((size_t)*w * *h * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, *w, *h, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
    for (int y = 0; y < *h; ++y)
        memcpy(&topDown[(size_t)y * *w * 3], &bottomUp[(size_t)(*h - 1 - y) * *w * 3], (size_t)*w * 3);
    return topDown;
}

// ---------------------------------------------------------------------------
// The fixture: the archives built once, a stand-in game screen behind the dialogs
// ---------------------------------------------------------------------------

class StudioLanguagesTest : public ::testing::Test {
protected:
    static std::string dataDir;
    static std::string buildOutput;
    static int buildStatus;
    std::string sceneDir;
    std::string interfacePak;  // the real interface, for screenshots only
    SceneNode* root = nullptr;

    static void SetUpTestSuite() {
        dataDir = makeTempDir("languages");
        buildStatus = runStudio(dataDir, "", &buildOutput);
    }
    static void TearDownTestSuite() { removeTree(dataDir); }

    void SetUp() override { ASSERT_EQ(0, buildStatus) << buildOutput; }
    void TearDown() override {
        if (root) destroyTree(root);
        root = nullptr;
        if (!sceneDir.empty()) removeTree(sceneDir);
    }

    static void destroyTree(SceneNode* node) {
        for (SceneNode* child : node->children) destroyTree(child);
        destroyNode(node);
        delete node;
    }

    static std::string archivePath(const char* name) { return dataDir + "/" + name; }

    static PakArchive readArchive(const char* name) {
        PakArchive archive;
        EXPECT_TRUE(loadArchiveFile(&archive, archivePath(name).c_str())) << name;
        return archive;
    }

    // The game's screen in plain colours: sky, the white sheet with painted patches, toolbar buttons, tubes.
    // Each colour is a texture of its own: the stand-in sets no node colours, so the dialogs are drawn exactly
    // as their own images say.
    void buildStandInScreen() {
        sceneDir = makeTempDir("languages-scene");
        std::string pak = sceneDir + "/screen.pak";
        const uint8_t colours[8][3] = {{140, 204, 255}, {255, 255, 255}, {255, 140, 26}, {76, 190, 76},
                                       {242, 76, 128}, {242, 190, 50}, {76, 152, 242}, {120, 200, 150}};
        std::vector<std::pair<std::string, std::vector<uint8_t>>> entries;
        for (int i = 0; i < 8; ++i)
            entries.push_back({"c" + std::to_string(i), solidBmp(4, 4, colours[i][0], colours[i][1], colours[i][2])});
        auto quad = [&](const char* name, float x0, float z0, float x1, float z1, float y, int colour) {
            entries.push_back({name, modelBytes({uprightQuad(x0, z0, x1, z1, y, "c" + std::to_string(colour))})});
        };
        quad("sky", -90, -40, 90, 40, -30, 0);
        quad("sheet", -11.7f, -14.6f, 18.3f, 15.4f, -51.1f, 1);
        quad("orange", -4, -4, 4, 4, -51.2f, 2);
        quad("green", -4, -4, 4, 4, -51.2f, 3);
        quad("pink", -4, -4, 4, 4, -51.2f, 4);
        quad("button", -0.9f, -0.9f, 0.9f, 0.9f, 0, 5);
        quad("arrow", -0.9f, -0.9f, 0.9f, 0.9f, 0, 6);
        quad("tube", -0.5f, -0.6f, 0.5f, 0.6f, 0, 7);
        ASSERT_TRUE(writeTestArchive(pak, entries));
        setupLight();
        root = createNode();
        addFrameCallback(root, lightingFrameCallback, nullptr);
        SceneNode* screen = createNode();
        setRotation(screen, -90, 0, 0);
        addChild(root, screen);
        auto add = [&](const char* key, double x, double y, double z) {
            SceneNode* node = createNode();
            loadModel(node, pak.c_str(), key);
            setPosition(node, x, y, z);
            addChild(screen, node);
        };
        // For screenshots, the real background and toolbar when a folder with "interface.pak" is given.
        const char* interface = getenv("TINTARIA_DIALOG_INTERFACE");
        if (interface && *interface && getenv("TINTARIA_DIALOG_SHOTS")) {
            interfacePak = std::string(interface) + "/interface.pak";
            SceneNode* fon = createNode();
            loadModel(fon, interfacePak.c_str(), "fon");
            addChild(screen, fon);
            const double row = -viewHalfHeight(renderer, -39) - 0.92;
            const std::pair<const char*, double> buttons[] = {
                {"knopka_close", -viewHalfWidth(renderer, -39) - 0.92 - 0.1},
                {"knopka_help", 2.9 - viewHalfWidth(renderer, 39) + 0.1},
                {"knopka_menu", 0.92 - viewHalfWidth(renderer, 39) + 0.1},
                {"knopka_back", 4.3}, {"knopka_clear", 7.3}, {"knopka_reset", -3.7}, {"knopka_color", -7.5}};
            for (const auto& b : buttons) {
                SceneNode* node = createNode();
                loadModel(node, interfacePak.c_str(), b.first);
                setPosition(node, b.second, -61, row);
                addChild(screen, node);
            }
            for (const char* arrow : {"knopka_left", "knopka_right"}) {
                SceneNode* node = createNode();
                loadModel(node, interfacePak.c_str(), arrow);
                setPosition(node, 14.973, -61, -13.155);
                addChild(screen, node);
            }
            return;
        }
        add("sky", 0, 0, 0);
        add("sheet", 0, 0, 0);
        add("orange", -2, 0, 6);
        add("green", 9, 0, -5);
        add("pink", 4, 0, 2);
        const double row = -viewHalfHeight(renderer, -39) - 0.92;
        const double xs[7] = {-7.5, -3.7, 4.3, 7.3, -viewHalfWidth(renderer, -39) - 1.02,
                              0.92 - viewHalfWidth(renderer, 39) + 0.1, 2.9 - viewHalfWidth(renderer, 39) + 0.1};
        for (double x : xs) add("button", x, -61, row);
        add("arrow", 14.973 - 1.1, -61, -13.155);
        add("arrow", 14.973 + 1.1, -61, -13.155);
        for (int i = 0; i < 8; ++i) add("tube", -9.857, -77, 4.956 - 1.387 * i);
    }

    // A node with a model of the built archives at a position, under a parent.
    SceneNode* place(SceneNode* parent, const char* archive, const char* key, double x, double y, double z) {
        SceneNode* node = createNode();
        loadModel(node, archivePath(archive).c_str(), key);
        setPosition(node, x, y, z);
        addChild(parent, node);
        return node;
    }

    // A dialog's container under a node turned like the game layer, with the backdrop when it is top-level.
    SceneNode* dialogLayer(bool backdrop) {
        SceneNode* layer = createNode();
        setRotation(layer, -90, 0, 0);
        addChild(root, layer);
        if (backdrop) place(layer, "langall.pak", "menu_alpha", 0, 0, 0);
        return layer;
    }

    SceneNode* panelWith(SceneNode* layer, const Piece* pieces, size_t count, int language, double panelY) {
        SceneNode* panel = place(layer, "langall.pak", pieces[0].key, 0, panelY, 0);
        for (size_t i = 1; i < count; ++i) {
            const Piece& p = pieces[i];
            const char* archive = p.localised ? kLanguageArchives[language] : "langall.pak";
            if (p.x == 0 && p.y == 0 && p.z == 0)
                loadModel(panel, archivePath(archive).c_str(), p.key);  // the panel's content image
            else
                place(panel, archive, p.key, p.x, p.y, p.z);
        }
        return panel;
    }

    void drawFrame() {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glLoadIdentity();
        glTranslatef(0.0f, 0.0f, -100.0f);
        drawNode(root);
        flushDeferredMeshes();
    }

    // Window pixel (origin bottom-left) of a point on a panel-parallel plane at eye depth d.
    static void toWindow(double x, double z, double depth, int* wx, int* wy) {
        *wx = (int)lround(renderer->width / 2.0 * (1 + x / viewHalfWidth(renderer, (float)depth)));
        *wy = (int)lround(renderer->height / 2.0 * (1 + z / viewHalfHeight(renderer, (float)depth)));
    }

    // How many pixels of a plane rectangle at eye depth d are dark ink (the texts' navy letters).
    static int inkPixels(double x0, double z0, double x1, double z1, double depth, int* total) {
        int ax, ay, bx, by;
        toWindow(x0, z0, depth, &ax, &ay);
        toWindow(x1, z1, depth, &bx, &by);
        int w = bx - ax, h = by - ay;
        std::vector<uint8_t> rgb((size_t)w * h * 3);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadBuffer(GL_BACK);
        glReadPixels(ax, ay, w, h, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        int ink = 0;
        for (size_t i = 0; i < rgb.size(); i += 3)
            if (rgb[i] < 110 && rgb[i + 1] < 120 && rgb[i + 2] < 150 && rgb[i + 2] >= rgb[i]) ++ink;
        *total = w * h;
        return ink;
    }

    // How many pixels of a plane rectangle lean to the given channel (0 red, 1 green).
    static int leaningPixels(double x0, double z0, double x1, double z1, double depth, int channel, int* total) {
        int ax, ay, bx, by;
        toWindow(x0, z0, depth, &ax, &ay);
        toWindow(x1, z1, depth, &bx, &by);
        int w = bx - ax, h = by - ay;
        std::vector<uint8_t> rgb((size_t)w * h * 3);
        glReadPixels(ax, ay, w, h, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        int count = 0;
        for (size_t i = 0; i < rgb.size(); i += 3) {
            int mine = rgb[i + channel], other = rgb[i + 1 - channel];
            if (mine > other + 50 && mine > rgb[i + 2] + 40) ++count;
        }
        *total = w * h;
        return count;
    }

    void saveShot(const std::string& name) {
        const char* folder = getenv("TINTARIA_DIALOG_SHOTS");
        if (!folder || !*folder) return;
        int w, h;
        std::vector<uint8_t> pixels = readWindow(&w, &h);
        char size[32];
        snprintf(size, sizeof size, "%dx%d", w, h);
        std::string path = std::string(folder) + "/" + name + "-" + size + ".png";
        EXPECT_TRUE(writeFileBytes(path, pngOf(w, h, pixels))) << path;
    }
};

std::string StudioLanguagesTest::dataDir;
std::string StudioLanguagesTest::buildOutput;
int StudioLanguagesTest::buildStatus = -1;

// ---------------------------------------------------------------------------
// Tests: the archives
// ---------------------------------------------------------------------------

TEST_F(StudioLanguagesTest, EveryArchiveHoldsEveryKeyTheDialogsLoad) {
    PakArchive shared = readArchive("langall.pak");
    for (const char* key : kSharedKeys) {
        int32_t size = 0;
        EXPECT_NE(nullptr, findEntry(&shared, key, &size)) << "langall.pak lacks " << key;
    }
    for (const char* name : kLanguageArchives) {
        PakArchive language = readArchive(name);
        for (const char* key : kLocalisedKeys) {
            int32_t size = 0;
            EXPECT_NE(nullptr, findEntry(&language, key, &size)) << name << " lacks " << key;
        }
        clearArchive(&language);
    }
    clearArchive(&shared);
}

TEST_F(StudioLanguagesTest, EveryModelParsesToItsEndAndNamesImagesOfItsOwnArchive) {
    std::vector<std::pair<const char*, std::vector<const char*>>> archives = {
        {"langall.pak", std::vector<const char*>(std::begin(kSharedKeys), std::end(kSharedKeys))}};
    for (const char* name : kLanguageArchives)
        archives.push_back({name, std::vector<const char*>(std::begin(kLocalisedKeys), std::end(kLocalisedKeys))});
    for (const auto& a : archives) {
        PakArchive archive = readArchive(a.first);
        for (const char* key : a.second) {
            size_t end = 0;
            int32_t size = 0;
            std::vector<MeshRecord> records = modelRecords(archive, key, &end, &size);
            ASSERT_FALSE(records.empty()) << a.first << " " << key;
            EXPECT_EQ((size_t)size, end) << a.first << " " << key << ": the stream ends with its last mesh";
            for (const MeshRecord& r : records) {
                int32_t imageSize = 0;
                const uint8_t* image = findEntry(&archive, r.textureName, &imageSize);
                ASSERT_NE(nullptr, image) << a.first << " " << key << " names " << r.textureName;
                ASSERT_GT(imageSize, 8);
                EXPECT_EQ(0, memcmp(image, "\x89PNG", 4)) << r.textureName;
            }
        }
        clearArchive(&archive);
    }
}

TEST_F(StudioLanguagesTest, LanguageArchivesShareOneKeySet) {
    PakArchive first = readArchive(kLanguageArchives[0]);
    std::set<std::string> keys(first.names.begin(), first.names.end());
    clearArchive(&first);
    for (int i = 1; i < 5; ++i) {
        PakArchive other = readArchive(kLanguageArchives[i]);
        std::set<std::string> otherKeys(other.names.begin(), other.names.end());
        EXPECT_EQ(keys, otherKeys) << kLanguageArchives[i] << " differs from " << kLanguageArchives[0];
        clearArchive(&other);
    }
}

TEST_F(StudioLanguagesTest, EveryDialogMeshIsTransparentAndFlat) {
    std::vector<const char*> names = {"langall.pak"};
    names.insert(names.end(), std::begin(kLanguageArchives), std::end(kLanguageArchives));
    for (const char* name : names) {
        PakArchive archive = readArchive(name);
        for (const std::string& key : archive.names) {
            if (key.find('.') != std::string::npos) continue;  // images; models have plain keys
            size_t end = 0;
            int32_t size = 0;
            for (const MeshRecord& r : modelRecords(archive, key.c_str(), &end, &size)) {
                EXPECT_NE(0, r.material->bytes[1]) << name << " " << key << ": opacity shows only when transparent";
                for (int c = 0; c < 3; ++c)
                    EXPECT_EQ(0.0f, readFloat(r.material->bytes + 36 + 4 * c))
                        << name << " " << key << ": a flat image under the light needs no specular";
            }
        }
        clearArchive(&archive);
    }
}

TEST_F(StudioLanguagesTest, PanelsAndTheirPiecesFitAFourThreeScreen) {
    PakArchive shared = readArchive("langall.pak");
    std::vector<std::pair<const Piece*, size_t>> dialogs = {
        {kConfirmPieces, 3}, {kMenuPieces, 15}, {kHelpPieces, 7}, {kAboutPieces, 5}, {kColourPieces, 3}};
    const char* contents[] = {"menu_exit", "menu_clear", "menu_clearall"};
    for (int language = 0; language < 5; ++language) {
        PakArchive local = readArchive(kLanguageArchives[language]);
        for (const auto& d : dialogs) {
            for (size_t i = 0; i < d.second; ++i) {
                const Piece& p = d.first[i];
                Extent e = modelExtent(p.localised ? local : shared, p.key);
                EXPECT_GE(p.x + e.x0, -9.5) << p.key << " at 4:3, depth 18.5";
                EXPECT_LE(p.x + e.x1, 9.5) << p.key << " at 4:3, depth 18.5";
                EXPECT_GE(p.z + e.z0, -7.0) << p.key;
                EXPECT_LE(p.z + e.z1, 7.0) << p.key;
            }
        }
        for (const char* key : contents) {
            Extent e = modelExtent(local, key);
            EXPECT_GE(e.x0, -9.5) << key;
            EXPECT_LE(e.x1, 9.5) << key;
            EXPECT_GE(e.z0, -7.0) << key;
            EXPECT_LE(e.z1, 7.0) << key;
            EXPECT_LT(e.y1, 0.0) << key << " lies in front of its frame";
        }
        // The help labels hang at the panel's depth and must be seen on the narrowest screen, 5:4.
        Extent labels = modelExtent(local, "help_bg");
        double halfHeight = 18.5 * tan(22.5 * M_PI / 180);
        EXPECT_GE(labels.x0, -halfHeight * 5 / 4);
        EXPECT_LE(labels.x1, halfHeight * 5 / 4);
        EXPECT_GE(labels.z0, -halfHeight);
        EXPECT_LE(labels.z1, halfHeight);
        clearArchive(&local);
    }
    clearArchive(&shared);
}

TEST_F(StudioLanguagesTest, VeilCoversTheWholeViewAtTwentyOneByNine) {
    PakArchive shared = readArchive("langall.pak");
    Extent veil = modelExtent(shared, "menu_alpha");
    clearArchive(&shared);
    double depth = 100 + veil.y0;  // node y -> scene z = -y, eye depth 100 - z
    EXPECT_DOUBLE_EQ(veil.y0, veil.y1) << "one flat veil";
    EXPECT_GT(depth, 39.5) << "behind the toolbar";
    EXPECT_LT(depth, 48.5) << "in front of the picture";
    double halfHeight = depth * tan(22.5 * M_PI / 180), halfWidth = halfHeight * 21 / 9;
    EXPECT_LE(veil.x0, -halfWidth);
    EXPECT_GE(veil.x1, halfWidth);
    EXPECT_LE(veil.z0, -halfHeight);
    EXPECT_GE(veil.z1, halfHeight);
}

// ---------------------------------------------------------------------------
// Tests: the builder
// ---------------------------------------------------------------------------

TEST_F(StudioLanguagesTest, SameSourcesGiveTheSameBytes) {
    std::string again = makeTempDir("languages-again");
    std::string output;
    ASSERT_EQ(0, runStudio(again, "", &output)) << output;
    std::vector<const char*> names = {"langall.pak"};
    names.insert(names.end(), std::begin(kLanguageArchives), std::end(kLanguageArchives));
    for (const char* name : names) {
        std::vector<uint8_t> first = readWholeFile(archivePath(name)), second = readWholeFile(again + "/" + name);
        EXPECT_FALSE(first.empty()) << name;
        EXPECT_TRUE(first == second) << name << " differs between two builds";
    }
    removeTree(again);
}

TEST_F(StudioLanguagesTest, TextTooLongForItsPlaceFailsTheBuildNamingIt) {
    std::string texts = makeTempDir("languages-texts");
    std::string out = makeTempDir("languages-failing");
    for (const char* code : kLanguageCodes) {
        std::string source = std::string(TINTARIA_SOURCE_DIR) + "/tools/studio/assets/texts/" + code + ".txt";
        std::vector<uint8_t> bytes = readWholeFile(source);
        ASSERT_FALSE(bytes.empty()) << source;
        if (strcmp(code, "de") == 0) {
            std::string text(bytes.begin(), bytes.end());
            size_t at = text.find("\nbutton.yes = ");
            ASSERT_NE(std::string::npos, at);
            size_t lineEnd = text.find('\n', at + 1);
            text.insert(lineEnd, ", natürlich, ganz bestimmt, ohne jeden Zweifel");
            bytes.assign(text.begin(), text.end());
        }
        ASSERT_TRUE(writeFileBytes(texts + "/" + code + ".txt", bytes));
    }
    std::string output;
    EXPECT_EQ(1, runStudio(out, "TINTARIA_STUDIO_TEXTS='" + texts + "'", &output));
    EXPECT_NE(std::string::npos, output.find("\"button.yes\" (de)")) << output;
    EXPECT_NE(std::string::npos, output.find("button_ok")) << output;
    removeTree(texts);
    removeTree(out);
}

// ---------------------------------------------------------------------------
// Tests: drawn by the engine as the game places the pieces
// ---------------------------------------------------------------------------

TEST_F(StudioLanguagesTest, ConfirmationsShowTheirQuestionAndButtonsInEveryLanguage) {
    testRenderer();
    buildStandInScreen();
    const char* contents[3] = {"menu_exit", "menu_clear", "menu_clearall"};
    for (int language = 0; language < 5; ++language) {
        for (const char* content : contents) {
            SceneNode* layer = dialogLayer(true);
            SceneNode* panel = panelWith(layer, kConfirmPieces, 3, language, kPanelY);
            drawFrame();
            int total = 0;
            int blank = inkPixels(-1.5, -0.8, 4.3, 2.75, 100 + kPanelY + 0.05, &total);
            loadModel(panel, archivePath(kLanguageArchives[language]).c_str(), content);
            drawFrame();
            int ink = inkPixels(-1.5, -0.8, 4.3, 2.75, 100 + kPanelY + 0.05, &total);
            EXPECT_LT(blank, total / 200) << "the frame alone leaves the text area clear";
            EXPECT_GT(ink, total / 100) << content << " (" << kLanguageCodes[language] << ") shows its question";
            int yes = leaningPixels(-1.323 - 1.2, -1.633 - 0.4, -1.323 + 1.2, -1.633 + 0.4, 100 + kPanelY + 0.2, 1,
                                    &total);
            EXPECT_GT(yes, total / 3) << "the yes button is green where it stands";
            int no = leaningPixels(1.696 - 1.2, -1.633 - 0.4, 1.696 + 1.2, -1.633 + 0.4, 100 + kPanelY + 0.2, 0,
                                   &total);
            EXPECT_GT(no, total / 3) << "the no button is red where it stands";
            saveShot(std::string(content) + "-" + kLanguageCodes[language]);
            root->children.erase(std::find(root->children.begin(), root->children.end(), layer));
            destroyTree(layer);
        }
    }
}

TEST_F(StudioLanguagesTest, EveryDialogDrawsItsPanelInEveryLanguage) {
    testRenderer();
    buildStandInScreen();
    for (int language = 0; language < 5; ++language) {
        std::string code = kLanguageCodes[language];
        // The settings menu with two switches on and the current language marked.
        auto menu = [&](SceneNode* layer) {
            SceneNode* panel = panelWith(layer, kMenuPieces, 15, language, kPanelY);
            const double checks[2][2] = {{-3.202, 2.272}, {-3.202, 0.924}};
            for (const auto& c : checks) place(panel, "langall.pak", "checked", c[0], -0.2, c[1]);
            const double flagX[5] = {-2.401, -1.17, 0.061, 1.292, 2.523};
            SceneNode* cursor = place(panel, "langall.pak", "setup_lang_cursor", flagX[language], -0.1, -2.582);
            // Drawn behind the current flag, as the game attaches it before the flag.
            panel->children.erase(std::find(panel->children.begin(), panel->children.end(), cursor));
            panel->children.insert(panel->children.begin() + 8 + language, cursor);
            return panel;
        };
        std::vector<std::pair<std::string, std::function<void()>>> scenes = {
            {"setup", [&] { menu(dialogLayer(true)); }},
            {"help",
             [&] {
                 SceneNode* layer = dialogLayer(true);
                 place(layer, kLanguageArchives[language], "help_bg", 0, kPanelY, 0);
                 SceneNode* panel = panelWith(layer, kHelpPieces, 7, language, kPanelY);
                 place(panel, "langall.pak", "checked", -4.644, -0.2, -2.319);
             }},
            {"about",
             [&] {
                 menu(dialogLayer(true));
                 panelWith(dialogLayer(false), kAboutPieces, 5, language, kInnerPanelY);
             }},
            {"clearall-over-setup",
             [&] {
                 menu(dialogLayer(true));
                 SceneNode* panel = panelWith(dialogLayer(false), kConfirmPieces, 3, language, kInnerPanelY);
                 loadModel(panel, archivePath(kLanguageArchives[language]).c_str(), "menu_clearall");
             }},
            {"colour",
             [&] {
                 SceneNode* panel = panelWith(dialogLayer(true), kColourPieces, 3, language, kPanelY);
                 if (interfacePak.empty()) return;
                 for (const char* key : {"color_const", "color_hover", "palitra_gradient", "palitra_colors"}) {
                     SceneNode* node = createNode();
                     loadModel(node, interfacePak.c_str(), key);
                     addChild(panel, node);
                 }
             }},
        };
        for (const auto& scene : scenes) {
            size_t before = root->children.size();
            scene.second();
            drawFrame();
            saveShot(scene.first + "-" + code);
            int total = 0;
            int ink = inkPixels(-4.0, -2.5, 4.0, 3.2, 100 + kPanelY, &total);
            EXPECT_GT(ink, total / 400) << scene.first << " (" << code << ") shows words";
            while (root->children.size() > before) {
                SceneNode* layer = root->children.back();
                root->children.pop_back();
                destroyTree(layer);
            }
        }
    }
}

}  // namespace
