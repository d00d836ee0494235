// Decoding image entries without a GL context: the formats taken, the layout
// of the result, and the refusal of damaged or oversized entries before
// SDL_image could hang, crash or allocate for them.
#include "resources/resources.h"
#include "support/test_support.h"

#include <SDL/SDL.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

typedef std::vector<uint8_t> Bytes;

// A file of the fuzz corpus, where the inputs of past faults are kept.
Bytes corpusFile(const std::string& name) {
    std::ifstream in(std::string(TINTARIA_SOURCE_DIR) + "/tests/fuzz/corpus/image/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

SDL_Surface* decode(const Bytes& bytes) {
    return decodeImageEntry(bytes.data(), (int32_t)bytes.size());
}

// R, G, B, A of one pixel.
std::vector<int> pixelAt(SDL_Surface* image, int x, int y) {
    const uint8_t* p = (const uint8_t*)image->pixels + y * image->pitch + x * 4;
    return {p[0], p[1], p[2], p[3]};
}

TEST(ImageEntry, PngAndBmpComeOutAsRgbaBytes) {
    uint32_t pixels[] = {0xFF0000, 0x00FF00, 0x0000FF};
    struct Row {
        const char* name;
        Bytes bytes;
        int width, height;
        std::vector<int> firstPixel;
    } rows[] = {
        {"bmp", bmpImage(3, 1, pixels), 3, 1, {255, 0, 0, 255}},
        {"png with alpha", corpusFile("rgba.png"), 4, 3, {255, 0, 0, 128}},
        {"png without alpha", corpusFile("rgb.png"), 5, 2, {255, 165, 0, 255}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_FALSE(row.bytes.empty());
        SDL_Surface* image = decode(row.bytes);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->w, row.width);
        EXPECT_EQ(image->h, row.height);
        EXPECT_EQ(image->format->BytesPerPixel, 4);
        std::vector<int> first = pixelAt(image, 0, 0);
        for (int channel = 0; channel < 4; ++channel) EXPECT_NEAR(first[channel], row.firstPixel[channel], 1);
        SDL_FreeSurface(image);
    }
}

TEST(ImageEntry, DamagedOrOversizedEntriesAreRefused) {
    std::vector<uint32_t> wide(4097, 0x808080);
    Bytes cutBmp = bmpImage(4, 4, wide.data());
    cutBmp.resize(30);
    struct Row {
        const char* name;
        Bytes bytes;
    } rows[] = {
        // SDL_image ignores short reads: these made it parse stale bytes forever.
        {"png cut inside a chunk", corpusFile("rgba_cut.png")},
        // A chunk length past the end had libpng checksum 1.6 GB of nothing.
        {"png chunk beyond the bytes", corpusFile("regress_png_chunk_beyond_bytes.png")},
        // SDL_image 1.2.12 dereferences null on this XPM.
        {"damaged xpm", corpusFile("regress_xpm_crash.xpm")},
        {"gif, read by SDL_image but not taken", corpusFile("tiny.gif")},
        {"bmp wider than 4096", bmpImage(4097, 1, wide.data())},
        {"bmp cut in its header", cutBmp},
        {"no image", Bytes{'B', 'M'}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_GE(row.bytes.size(), 2u);
        EXPECT_EQ(decode(row.bytes), nullptr);
    }
    // The widest side taken.
    SDL_Surface* widest = decode(bmpImage(4096, 1, wide.data()));
    ASSERT_NE(widest, nullptr);
    EXPECT_EQ(widest->w, 4096);
    SDL_FreeSurface(widest);
}

}  // namespace
