// Generated textures without a GL context: description parsing, the plasma
// and fire generators, the fire palette.
#include "resources/resources.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Plasma reference: the pattern as the design states it, one pixel at a time.
// ---------------------------------------------------------------------------

struct PlasmaPixel {
    int v;
    uint8_t rgba[4];
};

PlasmaPixel referencePlasma(int w, int h, const uint8_t base[3], int t, int x, int y) {
    double a = 6.28 / w, b = 6.28 / h;
    double s = sin(x * a - 0.00012 * t);
    s += sin(2 * x * a - 0.00024 * t);
    s += sin(4 * x * a - 0.0048 * t);
    s += sin(y * b - 0.00012 * t);
    s += sin(2 * y * b - 0.00024 * t);
    s += sin(4 * y * b - 0.0048 * t);
    PlasmaPixel p;
    p.v = (int)(s * 21 + 128);
    for (int c = 0; c < 3; ++c) p.rgba[c] = (uint8_t)(((base[c] + p.v - 120) % 256 + 256) % 256);
    p.rgba[3] = (p.v >= 121 && p.v <= 126) ? 255 : 0;
    bool line = x == h - 1 || x % 16 == 0 || y % 16 == 0 || y == w - 1;
    if (line) {
        p.rgba[1] = 127;
        p.rgba[3] = 255;
    }
    return p;
}

std::vector<uint8_t> runPlasma(int w, int h, const uint8_t base[3], int t) {
    std::vector<uint8_t> pixels((size_t)w * h * 4, 0xEE);
    uint8_t colours[3] = {base[0], base[1], base[2]};
    plasmaGenerator(t, w, h, pixels.data(), colours);
    return pixels;
}

const uint8_t* pixelAt(const std::vector<uint8_t>& pixels, int w, int x, int y) {
    return &pixels[((size_t)y * w + x) * 4];
}

bool isGridPixel(const uint8_t* p) { return p[1] == 127 && p[3] == 255; }

// ---------------------------------------------------------------------------
// Plasma
// ---------------------------------------------------------------------------

struct PlasmaGolden {
    int w, h;
    uint8_t base[3];
    int t, x, y;
    uint8_t rgba[4];
};

// Worked out by hand from the formula (double precision), away from truncation edges.
const PlasmaGolden plasmaGoldens[] = {
    {64, 64, {10, 200, 250}, 0, 43, 1, {11, 201, 251, 255}},     // v = 121: first opaque value
    {64, 64, {10, 200, 250}, 0, 54, 1, {10, 200, 250, 0}},       // v = 120: just below the band
    {64, 64, {10, 200, 250}, 0, 55, 2, {16, 206, 0, 255}},       // v = 126: last opaque value, blue wraps to 0
    {64, 64, {10, 200, 250}, 0, 28, 2, {17, 207, 1, 0}},         // v = 127: just above the band
    {64, 64, {10, 200, 250}, 0, 50, 1, {18, 208, 2, 0}},         // v = 128 (S near 0): base + 8
    {64, 64, {10, 200, 250}, 0, 6, 2, {90, 24, 74, 0}},          // v = 200
    {64, 64, {10, 200, 250}, 0, 16, 37, {65, 127, 49, 255}},     // grid column 16
    {64, 64, {10, 200, 250}, 0, 63, 37, {30, 127, 14, 255}},     // last column of a square texture
    {64, 32, {250, 3, 128}, 12345, 58, 4, {251, 4, 129, 255}},   // v = 121 at a later time
    {64, 32, {250, 3, 128}, 12345, 11, 6, {0, 9, 134, 255}},     // v = 126, red wraps to 0
    {64, 32, {250, 3, 128}, 12345, 2, 1, {155, 164, 33, 0}},     // v = 25: green wraps below 0
    {64, 32, {250, 3, 128}, 12345, 31, 5, {14, 127, 148, 255}},  // x == h − 1 is a line
    {64, 32, {250, 3, 128}, 12345, 63, 5, {228, 237, 106, 0}},   // the last column is not
    {64, 32, {250, 3, 128}, 12345, 5, 31, {198, 207, 76, 0}},    // nor the last row
    {32, 64, {7, 77, 177}, 999, 5, 31, {49, 127, 219, 255}},     // y == w − 1 is a line
    {32, 64, {7, 77, 177}, 999, 31, 5, {24, 94, 194, 0}},        // the last column of a tall texture is not
};

TEST(PlasmaGenerator, MatchesHandComputedPixels) {
    for (const PlasmaGolden& g : plasmaGoldens) {
        std::vector<uint8_t> pixels = runPlasma(g.w, g.h, g.base, g.t);
        const uint8_t* p = pixelAt(pixels, g.w, g.x, g.y);
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(p[c], g.rgba[c]) << g.w << "x" << g.h << " t=" << g.t << " at (" << g.x << ", " << g.y
                                       << ") channel " << c;
    }
}

struct PlasmaCase {
    int w, h;
    uint8_t base[3];
    int t;
};

TEST(PlasmaGenerator, EveryPixelFollowsTheFormula) {
    const PlasmaCase cases[] = {
        {64, 64, {10, 200, 250}, 0},
        {64, 32, {250, 3, 128}, 12345},
        {32, 64, {7, 77, 177}, 999},
        {48, 80, {0, 0, 0}, 2000000000},
        {17, 5, {255, 255, 255}, -5000},
    };
    std::set<int> bandEdgesSeen;
    for (const PlasmaCase& k : cases) {
        std::vector<uint8_t> pixels = runPlasma(k.w, k.h, k.base, k.t);
        for (int y = 0; y < k.h; ++y)
            for (int x = 0; x < k.w; ++x) {
                PlasmaPixel want = referencePlasma(k.w, k.h, k.base, k.t, x, y);
                const uint8_t* got = pixelAt(pixels, k.w, x, y);
                ASSERT_EQ(0, memcmp(got, want.rgba, 4))
                    << k.w << "x" << k.h << " t=" << k.t << " at (" << x << ", " << y << ") v=" << want.v;
                bool line = x == k.h - 1 || x % 16 == 0 || y % 16 == 0 || y == k.w - 1;
                if (!line && (want.v == 120 || want.v == 121 || want.v == 126 || want.v == 127))
                    bandEdgesSeen.insert(want.v);
            }
    }
    // The comparison above only proves the band if both of its edges were crossed.
    EXPECT_EQ(bandEdgesSeen, (std::set<int>{120, 121, 126, 127}));
}

struct GridCase {
    int w, h;
    std::vector<int> lineColumns, lineRows, openColumns, openRows;
};

TEST(PlasmaGenerator, GridLinesFollowTheCrossedEdgeTests) {
    const GridCase cases[] = {
        {64, 64, {0, 16, 32, 48, 63}, {0, 16, 32, 48, 63}, {1, 15, 62}, {1, 15, 62}},
        // Wide: column h − 1 = 31 is a line, column 63 and row 31 are not.
        {64, 32, {0, 16, 31, 32, 48}, {0, 16}, {1, 30, 63}, {1, 31}},
        // Tall: row w − 1 = 31 is a line, row 63 and column 31 are not.
        {32, 64, {0, 16}, {0, 16, 31, 32, 48}, {1, 31}, {1, 30, 63}},
    };
    const uint8_t base[3] = {40, 90, 140};
    for (const GridCase& k : cases) {
        std::vector<uint8_t> pixels = runPlasma(k.w, k.h, base, 0);
        for (int x : k.lineColumns)
            for (int y = 0; y < k.h; ++y)
                EXPECT_TRUE(isGridPixel(pixelAt(pixels, k.w, x, y))) << k.w << "x" << k.h << " column " << x;
        for (int y : k.lineRows)
            for (int x = 0; x < k.w; ++x)
                EXPECT_TRUE(isGridPixel(pixelAt(pixels, k.w, x, y))) << k.w << "x" << k.h << " row " << y;
        // An open line shows the pattern, which is transparent almost everywhere.
        for (int x : k.openColumns) {
            int transparent = 0;
            for (int y = 0; y < k.h; ++y) transparent += pixelAt(pixels, k.w, x, y)[3] == 0;
            EXPECT_GT(transparent, 0) << k.w << "x" << k.h << " column " << x;
        }
        for (int y : k.openRows) {
            int transparent = 0;
            for (int x = 0; x < k.w; ++x) transparent += pixelAt(pixels, k.w, x, y)[3] == 0;
            EXPECT_GT(transparent, 0) << k.w << "x" << k.h << " row " << y;
        }
    }
}

// ---------------------------------------------------------------------------
// Fire palette
// ---------------------------------------------------------------------------

struct PaletteEntry {
    int index;
    uint8_t rgba[4];
};

TEST(FirePalette, RampBoundariesMatchTheTable) {
    // First and last entry of each ramp, worked out by hand; the last one before each ramp's end
    // shows that the whole value is truncated, not just the step.
    const PaletteEntry entries[] = {
        {0, {0, 0, 0, 100}},        {32, {127, 25, 18, 177}},   {63, {251, 50, 35, 252}},
        {64, {255, 51, 36, 255}},   {95, {255, 184, 50, 255}},  {96, {255, 189, 51, 255}},
        {127, {255, 235, 51, 255}}, {128, {255, 237, 51, 255}}, {195, {102, 102, 186, 255}},
        {196, {100, 100, 189, 255}}, {254, {252, 228, 53, 255}},
    };
    FireState* fire = createFireState(8, 8);
    ASSERT_NE(fire, nullptr);
    for (const PaletteEntry& e : entries)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(fire->palette[e.index][c], e.rgba[c]) << "entry " << e.index << " channel " << c;
    releaseFireState(fire);
}

TEST(FirePalette, GradientCoversFirstToEndExclusiveAndTruncatesTheValue) {
    uint8_t palette[256][4];
    memset(palette, 0xAB, sizeof palette);
    const uint8_t from[4] = {255, 0, 10, 200};
    const uint8_t to[4] = {100, 9, 10, 0};
    fillPaletteGradient(palette, 10, 14, from, to);
    const PaletteEntry entries[] = {
        {9, {0xAB, 0xAB, 0xAB, 0xAB}},
        {10, {255, 0, 10, 200}},
        {11, {216, 2, 10, 150}},  // 255 − 38.75 = 216.25; 9 × 0.25 = 2.25
        {12, {177, 4, 10, 100}},
        {13, {138, 6, 10, 50}},   // 255 − 116.25 = 138.75
        {14, {0xAB, 0xAB, 0xAB, 0xAB}},
    };
    for (const PaletteEntry& e : entries)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(palette[e.index][c], e.rgba[c]) << "entry " << e.index << " channel " << c;
}

// ---------------------------------------------------------------------------
// Fire generator
// ---------------------------------------------------------------------------

struct FireCell {
    int row, column;
    uint8_t heat;
};

// The draws one fire step makes, in the documented order, replayed from a seed.
struct FireDraws {
    std::vector<FireCell> seeds;
    FireCell spark;
};

FireDraws replayFireDraws(unsigned seed, int w, int h) {
    srand(seed);
    FireDraws draws;
    int k = rand() & (w - 1);
    for (int i = 0; i < k; ++i) {
        FireCell cell;
        cell.column = rand() % w;
        cell.row = h + rand() % 3;
        cell.heat = (uint8_t)(rand() & 0xFF);
        draws.seeds.push_back(cell);
    }
    draws.spark.column = rand() % w;
    draws.spark.row = h / 2 + rand() % (h / 2);
    draws.spark.heat = (uint8_t)(rand() & 0xFF);
    return draws;
}

void stepFire(FireState* fire, int w, int h, unsigned seed, std::vector<uint8_t>& pixels, int t = 0) {
    pixels.assign((size_t)w * h * 4, 0xEE);
    srand(seed);
    fireGenerator(t, w, h, pixels.data(), fire);
}

uint8_t cell(const uint8_t* field, int w, int row, int column) { return field[(size_t)row * w + column]; }

void expectPixelsShowVisibleHeat(const FireState* fire, int w, int h, const std::vector<uint8_t>& pixels) {
    for (int i = 0; i < w * h; ++i)
        ASSERT_EQ(0, memcmp(&pixels[(size_t)i * 4], fire->palette[fire->heat[i]], 4)) << "cell " << i;
}

struct FireSize {
    int w, h;
};

const FireSize fireSizes[] = {{16, 12}, {20, 9}, {3, 2}, {2, 6}, {1, 4}};
const unsigned fireSeeds[] = {1, 7, 12345, 99991};

TEST(FireGenerator, FreshStateIsColdAndSized) {
    for (const FireSize& s : fireSizes) {
        FireState* fire = createFireState(s.w, s.h);
        ASSERT_NE(fire, nullptr);
        EXPECT_EQ(fire->width, s.w);
        EXPECT_EQ(fire->rows, s.h + 3);
        for (int i = 0; i < s.w * (s.h + 3); ++i) {
            EXPECT_EQ(fire->heat[i], 0);
            EXPECT_EQ(fire->nextHeat[i], 0);
        }
        releaseFireState(fire);
    }
}

TEST(FireGenerator, RejectsSizesItCannotStep) {
    const FireSize bad[] = {{0, 8}, {8, 0}, {8, 1}, {-1, 8}, {4097, 2}, {2, 4097}};
    for (const FireSize& s : bad) EXPECT_EQ(createFireState(s.w, s.h), nullptr) << s.w << "x" << s.h;
}

TEST(FireGenerator, FirstStepInjectsIntoHiddenRowsAndOneSpark) {
    for (const FireSize& s : fireSizes)
        for (unsigned seed : fireSeeds) {
            FireState* fire = createFireState(s.w, s.h);
            const uint8_t* before = fire->heat;
            std::vector<uint8_t> pixels;
            stepFire(fire, s.w, s.h, seed, pixels);
            ASSERT_EQ(fire->nextHeat, before) << "the buffers are swapped after the step";

            // The old field holds exactly the injected cells, later draws overwriting earlier ones.
            std::vector<uint8_t> injected((size_t)s.w * (s.h + 3), 0);
            FireDraws draws = replayFireDraws(seed, s.w, s.h);
            for (const FireCell& c : draws.seeds) {
                ASSERT_GE(c.row, s.h);
                ASSERT_LT(c.row, s.h + 3);
                injected[(size_t)c.row * s.w + c.column] = c.heat;
            }
            ASSERT_GE(draws.spark.row, s.h / 2);
            ASSERT_LT(draws.spark.row, s.h);
            injected[(size_t)draws.spark.row * s.w + draws.spark.column] = draws.spark.heat;
            EXPECT_EQ(0, memcmp(fire->nextHeat, injected.data(), injected.size()))
                << s.w << "x" << s.h << " seed " << seed;

            // Heat reaches only the two rows above the hidden ones and the spark's row and the two above it.
            for (int r = 0; r < s.h; ++r)
                for (int c = 0; c < s.w; ++c) {
                    bool reachable = r >= s.h - 2 || (r >= draws.spark.row - 2 && r <= draws.spark.row);
                    bool edge = c == 0 || c == s.w - 1;
                    if (edge || !reachable) {
                        EXPECT_EQ(cell(fire->heat, s.w, r, c), 0) << "row " << r << " column " << c;
                    }
                }
            expectPixelsShowVisibleHeat(fire, s.w, s.h, pixels);
            releaseFireState(fire);
        }
}

struct CoolingCase {
    const char* name;
    std::vector<FireCell> setup;   // current field, rows the spark and the seeds cannot reach
    std::vector<FireCell> hot;     // expected non-zero cells of rows 0 to 3 after one step
    uint8_t uniform;               // if not 0: rows 0 to 5 filled with this heat first
    uint8_t uniformExpected;       // then every inner cell of rows 0 to 3 holds this
};

TEST(FireGenerator, CoolingAveragesEightNeighboursAndSubtractsOne) {
    // 16 × 12: the spark lands in rows 6 to 11 and seeds in rows 12 to 14, so rows 0 to 3 of the
    // next field depend only on rows 0 to 5 of the current one.
    const int w = 16, h = 12;
    const CoolingCase cases[] = {
        {"one hot cell rises and spreads", {{1, 5, 80}},
         {{0, 4, 9}, {0, 5, 9}, {0, 6, 9}, {1, 4, 9}, {1, 6, 9}}, 0, 0},
        {"a sum below 8 stays cold, never wraps", {{2, 10, 7}}, {}, 0, 0},
        {"a cell at the edge feeds only inner cells", {{3, 0, 240}}, {{1, 1, 29}, {2, 1, 29}, {3, 1, 29}}, 0, 0},
        {"uniform heat loses one", {}, {}, 200, 199},
        {"full heat tops out at 254", {}, {}, 255, 254},
    };
    for (const CoolingCase& k : cases) {
        FireState* fire = createFireState(w, h);
        if (k.uniform) memset(fire->heat, k.uniform, (size_t)w * 6);
        for (const FireCell& c : k.setup) fire->heat[c.row * w + c.column] = c.heat;
        std::vector<uint8_t> pixels;
        stepFire(fire, w, h, 4242, pixels);
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < w; ++c) {
                uint8_t want = 0;
                if (k.uniform && c > 0 && c < w - 1) want = k.uniformExpected;
                for (const FireCell& hot : k.hot)
                    if (hot.row == r && hot.column == c) want = hot.heat;
                EXPECT_EQ(cell(fire->heat, w, r, c), want) << k.name << ": row " << r << " column " << c;
            }
        expectPixelsShowVisibleHeat(fire, w, h, pixels);
        releaseFireState(fire);
    }
}

TEST(FireGenerator, HiddenRowsOfTheNewFieldKeepTheirOldContent) {
    const int w = 8, h = 6;
    FireState* fire = createFireState(w, h);
    for (int i = w * h; i < w * (h + 3); ++i) fire->nextHeat[i] = (uint8_t)(i * 7 + 1);
    std::vector<uint8_t> pixels;
    stepFire(fire, w, h, 3, pixels);
    for (int i = w * h; i < w * (h + 3); ++i) EXPECT_EQ(fire->heat[i], (uint8_t)(i * 7 + 1)) << "cell " << i;
    releaseFireState(fire);
}

TEST(FireGenerator, TimeDoesNotChangeTheStep) {
    const int w = 16, h = 12;
    FireState* early = createFireState(w, h);
    FireState* late = createFireState(w, h);
    std::vector<uint8_t> earlyPixels, latePixels;
    for (int step = 0; step < 5; ++step) {
        stepFire(early, w, h, 100 + step, earlyPixels, 0);
        stepFire(late, w, h, 100 + step, latePixels, 987654 + step * 16);
        ASSERT_EQ(earlyPixels, latePixels) << "step " << step;
    }
    releaseFireState(early);
    releaseFireState(late);
}

TEST(FireGenerator, HeatFromBelowClimbsToTheTopOverManySteps) {
    // Over many steps, seeded heat rises out of the hidden rows into the visible rows near the
    // bottom, more than the sparks alone could put there.
    const int w = 32, h = 8;
    FireState* fire = createFireState(w, h);
    std::vector<uint8_t> pixels;
    int hotCellsInBottomRow = 0;
    for (int step = 0; step < 40; ++step) {
        stepFire(fire, w, h, 500 + step, pixels);
        for (int c = 1; c < w - 1; ++c) hotCellsInBottomRow += cell(fire->heat, w, h - 1, c) != 0;
        expectPixelsShowVisibleHeat(fire, w, h, pixels);
    }
    EXPECT_GT(hotCellsInBottomRow, 40);
    releaseFireState(fire);
}

// ---------------------------------------------------------------------------
// Descriptions
// ---------------------------------------------------------------------------

struct DescriptionCase {
    const char* text;
    size_t length;  // bytes of text including any embedded NUL; 0 = up to the first NUL
    bool valid;
    ProceduralKind kind;
    int w, h;
    uint8_t base[3];
};

TEST(TextureDescription, ParsesOrRejects) {
    const DescriptionCase cases[] = {
        {"P#Plasma64x32x1x2x3", 0, true, PROCEDURAL_PLASMA, 64, 32, {1, 2, 3}},
        {"a#Plasma8_16,10;20;30", 0, true, PROCEDURAL_PLASMA, 8, 16, {10, 20, 30}},
        {"P#Plasma8x8x300x-1x256", 0, true, PROCEDURAL_PLASMA, 8, 8, {44, 255, 0}},
        {"P#Plasma8x8x99999999999999999999x-300x+7", 0, true, PROCEDURAL_PLASMA, 8, 8, {255, 212, 7}},
        {"P#Plasma1x1x0x0x0trailing", 0, true, PROCEDURAL_PLASMA, 1, 1, {0, 0, 0}},
        {"P#Plasma4096x4096x0x0x0", 0, true, PROCEDURAL_PLASMA, 4096, 4096, {0, 0, 0}},
        {"F#Fire64x32", 0, true, PROCEDURAL_FIRE, 64, 32, {0, 0, 0}},
        {"F#Fire64x32x5", 0, true, PROCEDURAL_FIRE, 64, 32, {0, 0, 0}},
        {"F#Fire1x2", 0, true, PROCEDURAL_FIRE, 1, 2, {0, 0, 0}},
        {"__Fire8x8", 0, true, PROCEDURAL_FIRE, 8, 8, {0, 0, 0}},
        // Other kinds.
        {"P#plasma8x8x1x2x3", 0, false, PROCEDURAL_PLASMA, 0, 0, {0, 0, 0}},
        {"P#Smoke8x8", 0, false, PROCEDURAL_PLASMA, 0, 0, {0, 0, 0}},
        {"P# Fire8x8", 0, false, PROCEDURAL_PLASMA, 0, 0, {0, 0, 0}},
        {"PFire8x8", 0, false, PROCEDURAL_PLASMA, 0, 0, {0, 0, 0}},
        {"P#Fire-8x8", 0, false, PROCEDURAL_PLASMA, 0, 0, {0, 0, 0}},
        {"P#8x8", 0, false, PROCEDURAL_PLASMA, 0, 0, {0, 0, 0}},
        // Missing numbers.
        {"P#Plasma", 0, false, PROCEDURAL_PLASMA, 0, 0, {0, 0, 0}},
        {"P#Fire", 0, false, PROCEDURAL_PLASMA, 0, 0, {0, 0, 0}},
        {"P#Fire8", 0, false, PROCEDURAL_PLASMA, 0, 0, {0, 0, 0}},
        {"P#Fire8x", 0, false, PROCEDURAL_PLASMA, 0, 0, {0, 0, 0}},
        {"P#Fire8xy", 0, false, PROCEDURAL_PLASMA, 0, 0, {0, 0, 0}},
        {"P#Fire8x-", 0, false, PROCEDURAL_PLASMA, 0, 0, {0, 0, 0}},
        {"P#Plasma8x8x1x2", 0, false, PROCEDURAL_PLASMA, 0, 0, {0, 0, 0}},
        {"P#Plasma8x8x1x2x", 0, false, PROCEDURAL_PLASMA, 0, 0, {0, 0, 0}},
        {"P#Plasma8x8x1x2xq", 0, false, PROCEDURAL_PLASMA, 0, 0, {0, 0, 0}},
        // Sizes.
        {"P#Plasma0x8x1x2x3", 0, false, PROCEDURAL_PLASMA, 0, 0, {0, 0, 0}},
        {"P#Plasma8x0x1x2x3", 0, false, PROCEDURAL_PLASMA, 0, 0, {0, 0, 0}},
        {"P#Plasma8x-8x1x2x3", 0, false, PROCEDURAL_PLASMA, 0, 0, {0, 0, 0}},
        {"P#Plasma4097x1x1x2x3", 0, false, PROCEDURAL_PLASMA, 0, 0, {0, 0, 0}},
        {"P#Plasma1x4097x1x2x3", 0, false, PROCEDURAL_PLASMA, 0, 0, {0, 0, 0}},
        {"P#Plasma99999999999999999999x8x1x2x3", 0, false, PROCEDURAL_PLASMA, 0, 0, {0, 0, 0}},
        {"P#Plasma4294967360x64x1x2x3", 0, false, PROCEDURAL_PLASMA, 0, 0, {0, 0, 0}},
        {"F#Fire8x1", 0, false, PROCEDURAL_PLASMA, 0, 0, {0, 0, 0}},
        {"F#Fire0x8", 0, false, PROCEDURAL_PLASMA, 0, 0, {0, 0, 0}},
        // Too short, or cut by a NUL before what would make it valid.
        {"", 0, false, PROCEDURAL_PLASMA, 0, 0, {0, 0, 0}},
        {"P", 0, false, PROCEDURAL_PLASMA, 0, 0, {0, 0, 0}},
        {"P\0Fire8x8", 10, false, PROCEDURAL_PLASMA, 0, 0, {0, 0, 0}},
        {"P#Fire8x\0" "8", 10, false, PROCEDURAL_PLASMA, 0, 0, {0, 0, 0}},
        {"P#Plasma8x8x1x2\0" "x3", 18, false, PROCEDURAL_PLASMA, 0, 0, {0, 0, 0}},
    };
    for (const DescriptionCase& k : cases) {
        // A private copy of exactly the given bytes, so a read past the NUL would see
        // the rest of the case (and a sanitizer would see the end of the block).
        size_t length = k.length ? k.length : strlen(k.text) + 1;
        std::vector<char> text(k.text, k.text + length);
        TextureDescription parsed;
        memset(&parsed, 0x5A, sizeof parsed);
        bool ok = parseTextureDescription(text.data(), &parsed);
        ASSERT_EQ(ok, k.valid) << "\"" << k.text << "\"";
        if (!ok) continue;
        EXPECT_EQ(parsed.kind, k.kind) << k.text;
        EXPECT_EQ(parsed.width, k.w) << k.text;
        EXPECT_EQ(parsed.height, k.h) << k.text;
        if (k.kind != PROCEDURAL_PLASMA) continue;
        for (int c = 0; c < 3; ++c) EXPECT_EQ(parsed.base[c], k.base[c]) << k.text << " channel " << c;
    }
    TextureDescription parsed;
    EXPECT_FALSE(parseTextureDescription(nullptr, &parsed));
}

// ---------------------------------------------------------------------------
// Dynamic texture sizes (rejected before any GL call)
// ---------------------------------------------------------------------------

void countRelease(void* counter) { ++*(int*)counter; }

TEST(DynamicTexture, UnusableSizeReleasesTheBlockAndCreatesNothing) {
    const FireSize bad[] = {{0, 4}, {4, 0}, {-3, 4}, {4097, 1}, {1, 4097}};
    for (const FireSize& s : bad) {
        int released = 0;
        EXPECT_EQ(createDynamicTexture(plasmaGenerator, countRelease, &released, s.w, s.h), nullptr)
            << s.w << "x" << s.h;
        EXPECT_EQ(released, 1) << s.w << "x" << s.h;
    }
}

}  // namespace
