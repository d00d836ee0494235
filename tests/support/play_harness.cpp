#include "support/play_harness.h"

#include <cmath>
#include <cstring>
#include <sys/stat.h>

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

static const double kHalfFieldTangent = 0.41421356237309503;  // tan(22.5 degrees)

// ---------------------------------------------------------------------------
// Harness
// ---------------------------------------------------------------------------

void PlayHarness::SetUp() {
    dir = makeTempDir("play");
    for (const char* name : {"interface.pak", "langall.pak", "langen.pak", "langde.pak", "langes.pak", "langru.pak",
                             "langfr.pak", "sound.pak", "music.pak"}) {
        std::vector<uint8_t> bytes = readWholeFile(std::string(TINTARIA_BINARY_DIR "/data/") + name);
        ASSERT_FALSE(bytes.empty()) << name << " was not built";
        ASSERT_TRUE(writeFileBytes(dir + "/" + name, bytes));
    }
    for (int id = 1; id <= 3; ++id) {
        char name[64];
        snprintf(name, sizeof name, "%s/page%02d.pak", dir.c_str(), id);
        std::vector<TestRegion> regions = writeTestPage(name, id, false);
        if (id == 1) page1 = regions;
        snprintf(name, sizeof name, "%s/hpage%02d.pak", dir.c_str(), id);
        writeTestPage(name, id, true);
    }
}

bool PlayHarness::useBuiltPage1(std::vector<double>* radii) {
    std::string data = TINTARIA_BINARY_DIR "/data/";
    std::vector<uint8_t> archive = readWholeFile(data + "page01.pak");
    std::vector<uint8_t> manifest = readWholeFile(data + "page01.json");
    if (archive.empty() || manifest.empty()) return false;
    if (!writeFileBytes(dir + "/page01.pak", archive)) return false;
    page1.clear();
    radii->clear();
    // One region a line: {"key": K, "entry": "...", "colour": N, ..., "label": [X, Y], "radius": R, ...}
    std::string text(manifest.begin(), manifest.end());
    size_t at = 0;
    while ((at = text.find("{\"key\":", at)) != std::string::npos) {
        size_t end = text.find('}', at);
        std::string line = text.substr(at, end - at);
        TestRegion r;
        char entry[64] = {0};
        double radius = 0;
        int colour = 0;
        if (sscanf(line.c_str(), "{\"key\": %d, \"entry\": \"%63[^\"]\", \"colour\": %d", &r.key, entry, &colour) == 3) {
            size_t label = line.find("\"label\": [");
            size_t rad = line.find("\"radius\": ");
            if (label != std::string::npos && rad != std::string::npos &&
                sscanf(line.c_str() + label, "\"label\": [%f, %f]", &r.cx, &r.cy) == 2 &&
                sscanf(line.c_str() + rad, "\"radius\": %lf", &radius) == 1) {
                r.entry = entry;
                r.colourNumber = colour - 1;
                page1.push_back(r);
                radii->push_back(radius);
            }
        }
        at = end;
    }
    return !page1.empty();
}

void PlayHarness::TearDown() {
    killGame(&game);
    EXPECT_EQ("", gameSanitizerReport(game)) << "the game's memory or behaviour faults";
    removeTree(dir);
}

void PlayHarness::startWith(const Settings* s) {
    if (s) {
        std::string folder = dir + "/user/tintaria";
        mkdir((dir + "/user").c_str(), 0700);
        mkdir(folder.c_str(), 0700);
        std::vector<uint8_t> bytes;
        saveSettings(*s, bytes);
        ASSERT_TRUE(writeFileBytes(folder + "/pigmora-tintaria-cfg", bytes));
    }
    game = launchGame(dir, dir + "/user");
    ASSERT_NE(0, game.pid);
    width = game.width;
    height = game.height;
}

void PlayHarness::waitForTheSheet() {
    const uint8_t paper[3] = {255, 255, 255};
    uint8_t seen[3];
    ASSERT_TRUE(waitForColour(width / 2, height / 2, paper, 8, 20000, seen))
        << "the picture's sheet, seen " << (int)seen[0] << "," << (int)seen[1] << "," << (int)seen[2];
    waitMs(300);
}

Settings* PlayHarness::savedSettings() {
    std::vector<uint8_t> bytes = readWholeFile(settingsFileOf(game));
    return loadSettings(bytes.data(), bytes.size());
}

void PlayHarness::sceneClick(double sx, double sy, double sz) {
    int x, y;
    sceneToWindow(sx, sy, sz, width, height, &x, &y);
    ASSERT_TRUE(clickAt(x, y));
}

void PlayHarness::colourAt(double sx, double sy, double sz, uint8_t rgb[3]) {
    int x, y;
    sceneToWindow(sx, sy, sz, width, height, &x, &y);
    Screenshot shot;
    ASSERT_TRUE(takeScreenshot(&shot));
    pixelAt(shot, x, y, rgb);
}

void PlayHarness::waitForChangeAt(double sx, double sy, double sz, const uint8_t before[3]) {
    int x, y;
    sceneToWindow(sx, sy, sz, width, height, &x, &y);
    uint8_t seen[3];
    ASSERT_TRUE(waitForSettledPixel(x, y, before, 20000, seen)) << "nothing changed at " << x << "," << y;
}

void PlayHarness::leaveThroughTheExitConfirmation() {
    // The Yes button of the confirmation, on its panel 18.5 units in front of the eye.
    const double yes[3] = {-1.323, -1.633, 81.7};
    uint8_t before[3];
    colourAt(yes[0], yes[1], yes[2], before);
    ASSERT_TRUE(pressKey("Escape"));
    waitForChangeAt(yes[0], yes[1], yes[2], before);
    ASSERT_TRUE(pressKey("Return"));
}

void PlayHarness::regionPoint(const TestRegion& r, int* x, int* y) { canvasToWindow(r.cx, r.cy, width, height, x, y); }

const TestRegion& PlayHarness::regionWithKey(int key) {
    for (const TestRegion& r : page1)
        if (r.key == key) return r;
    return page1.front();
}

// Rotates p about one axis by degrees, as glRotate does.
static void turn(double p[3], int axis, double degrees) {
    double a = degrees * M_PI / 180.0, c = cos(a), s = sin(a);
    int i = (axis + 1) % 3, j = (axis + 2) % 3;
    double u = p[i], v = p[j];
    p[i] = c * u - s * v;
    p[j] = s * u + c * v;
}

void PlayHarness::clickTube(double x, double y, double z, bool numbersMode) {
    // The middle of the tube body's own points, turned as the slot and the tube node turn it.
    PakArchive archive;
    ASSERT_TRUE(loadArchiveFile(&archive, (dir + "/interface.pak").c_str()));
    int32_t size = 0;
    const uint8_t* bytes = findEntry(&archive, "tubik_no_num", &size);
    std::vector<MeshRecord> records;
    ASSERT_TRUE(bytes && parseModelStream(bytes, (size_t)size, &records));
    double sum[3] = {0, 0, 0};
    long count = 0;
    for (const MeshRecord& r : records)
        for (int32_t k = 0; k < 9 * r.triangleCount; k += 3, ++count)
            for (int c = 0; c < 3; ++c) {
                float f;
                memcpy(&f, r.positions + 4 * (k + c), sizeof f);
                sum[c] += f;
            }
    clearArchive(&archive);
    ASSERT_GT(count, 0);
    double p[3] = {sum[0] / count, sum[1] / count, sum[2] / count};
    const double number[3] = {-26.553, 70.428, 52.833}, free[3] = {39.716, 35.708, 89.14};
    const double* angles = numbersMode ? number : free;
    turn(p, 2, angles[2]);  // the node applies X, then Y, then Z: a point meets them in reverse
    turn(p, 1, angles[1]);
    turn(p, 0, angles[0]);
    turn(p, 0, -90.0);      // the slot
    sceneClick(x + p[0], y + p[1], z + p[2]);
}

double PlayHarness::toolbarRowY() { return 39 * kHalfFieldTangent - 0.92; }

double PlayHarness::loudnessSince(size_t from) {
    std::vector<int16_t> samples = recordedSound(game, from);
    double sum = 0;
    for (int16_t s : samples) sum += (double)s * s;
    return samples.empty() ? 0 : std::sqrt(sum / samples.size());
}

double PlayHarness::brightnessSince(size_t from) {
    std::vector<int16_t> samples = recordedSound(game, from);
    int crossings = 0, counted = 0;
    for (size_t i = 2; i < samples.size(); i += 2) {  // left channel
        if (std::abs(samples[i]) < 200 && std::abs(samples[i - 2]) < 200) continue;
        crossings += (samples[i] >= 0) != (samples[i - 2] >= 0);
        ++counted;
    }
    return counted ? 1000.0 * crossings / counted : 0;
}
