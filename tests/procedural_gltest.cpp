// Generated textures in a real GL context: the shared registry, creation and
// upload of dynamic textures, and what GL holds after an advance.
#include "resources/resources.h"

#include "shell/shell.h"
#include "support/test_support.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

namespace {

// Texture names the driver hands out stay far below this in these tests.
const unsigned textureNameProbeLimit = 4096;

class ProceduralGl : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(testRenderer(), nullptr);
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    void TearDown() override {
        // Every test leaves the registry as it found it.
        EXPECT_TRUE(proceduralTextureRegistry.textures.empty());
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    }
};

int registryIndex(const char* description) {
    for (size_t i = 0; i < proceduralTextureRegistry.descriptions.size(); ++i)
        if (proceduralTextureRegistry.descriptions[i] == description) return (int)i;
    return -1;
}

DynamicTexture* registeredTexture(const char* description) {
    int index = registryIndex(description);
    return index < 0 ? nullptr : proceduralTextureRegistry.textures[index];
}

std::set<unsigned> liveTextureNames() {
    std::set<unsigned> names;
    for (unsigned name = 1; name < textureNameProbeLimit; ++name)
        if (glIsTexture(name)) names.insert(name);
    return names;
}

GLint currentBinding() {
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    return bound;
}

std::vector<uint8_t> readTexture(unsigned texture, int w, int h) {
    std::vector<uint8_t> image((size_t)w * h * 4, 0xEE);
    GLint previous = currentBinding();
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, image.data());
    glBindTexture(GL_TEXTURE_2D, (GLuint)previous);
    return image;
}

std::vector<uint8_t> bufferOf(const DynamicTexture* texture) {
    return std::vector<uint8_t>(texture->pixels, texture->pixels + texture->pixelBytes);
}

void releaseBlock(void* block) { delete[] (uint8_t*)block; }

// A plasma texture made directly, as the registry would for those colours.
DynamicTexture* makePlasma(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
    uint8_t* colours = new uint8_t[3]{r, g, b};
    return createDynamicTexture(plasmaGenerator, releaseBlock, colours, w, h);
}

void deleteDynamic(DynamicTexture* texture) {
    glDeleteTextures(1, &texture->texture);
    destroyDynamicTexture(texture);
}

// ---------------------------------------------------------------------------
// Registry
// ---------------------------------------------------------------------------

TEST_F(ProceduralGl, SameDescriptionSharesOneTextureUntilTheLastRelease) {
    const char* description = "P#Plasma16x8x1x2x3";
    unsigned first = getProceduralTexture(description);
    ASSERT_NE(first, 0u);
    EXPECT_TRUE(glIsTexture(first));
    EXPECT_EQ(getProceduralTexture(description), first);
    ASSERT_EQ(proceduralTextureRegistry.textures.size(), 1u);
    EXPECT_EQ(proceduralTextureRegistry.references[0], 2);

    releaseProceduralTexture(description);
    EXPECT_TRUE(glIsTexture(first));
    EXPECT_EQ(registryIndex(description), 0);
    EXPECT_EQ(proceduralTextureRegistry.references[0], 1);

    releaseProceduralTexture(description);
    EXPECT_FALSE(glIsTexture(first));
    EXPECT_EQ(registryIndex(description), -1);
    EXPECT_TRUE(proceduralTextureRegistry.descriptions.empty());
    EXPECT_TRUE(proceduralTextureRegistry.references.empty());

    releaseProceduralTexture(description);  // no longer registered: nothing happens
    EXPECT_TRUE(proceduralTextureRegistry.textures.empty());
}

TEST_F(ProceduralGl, DifferentDescriptionsGetSeparateTextures) {
    const char* descriptions[] = {
        "P#Plasma8x8x1x2x3", "Q#Plasma8x8x1x2x3", "P#Plasma8x8x1x2x4", "P#Fire8x8", "F#Fire8x8",
    };
    std::set<unsigned> names;
    for (const char* d : descriptions) {
        unsigned name = getProceduralTexture(d);
        ASSERT_NE(name, 0u) << d;
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 5u);
    ASSERT_EQ(proceduralTextureRegistry.textures.size(), 5u);
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(proceduralTextureRegistry.descriptions[i], descriptions[i]);

    // Removing one from the middle keeps the order of the rest.
    releaseProceduralTexture(descriptions[2]);
    const char* remaining[] = {descriptions[0], descriptions[1], descriptions[3], descriptions[4]};
    ASSERT_EQ(proceduralTextureRegistry.descriptions.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(proceduralTextureRegistry.descriptions[i], remaining[i]);
        EXPECT_EQ(proceduralTextureRegistry.references[i], 1);
    }
    for (const char* d : remaining) releaseProceduralTexture(d);
    for (unsigned name : names) EXPECT_FALSE(glIsTexture(name));
}

TEST_F(ProceduralGl, AskingAgainAfterTheLastReleaseStartsFromScratch) {
    const char* description = "F#Fire16x12";
    getProceduralTexture(description);
    DynamicTexture* texture = registeredTexture(description);
    ASSERT_NE(texture, nullptr);
    srand(77);
    for (int step = 0; step < 10; ++step) advanceDynamicTexture(texture, step);
    releaseProceduralTexture(description);

    unsigned again = getProceduralTexture(description);
    ASSERT_NE(again, 0u);
    EXPECT_TRUE(glIsTexture(again));
    texture = registeredTexture(description);
    ASSERT_NE(texture, nullptr);
    const FireState* fire = (const FireState*)texture->parameters;
    for (int i = 0; i < 16 * 15; ++i) {
        ASSERT_EQ(fire->heat[i], 0) << "cell " << i;
        ASSERT_EQ(fire->nextHeat[i], 0) << "cell " << i;
    }
    EXPECT_EQ(bufferOf(texture), std::vector<uint8_t>(16 * 12 * 4, 0));
    releaseProceduralTexture(description);
}

TEST_F(ProceduralGl, UnusableDescriptionsYieldZeroAndRegisterNothing) {
    const char* kept = "P#Plasma8x8x1x2x3";
    unsigned keptName = getProceduralTexture(kept);
    ASSERT_NE(keptName, 0u);
    glBindTexture(GL_TEXTURE_2D, 0);

    const char* bad[] = {
        "",           "P",          "P#Smoke8x8",         "P#plasma8x8x1x2x3", "P#Plasma8x8x1x2",
        "P#Fire8x",   "P#Fire",     "P#Plasma0x8x1x2x3",  "P#Fire8x-8",        "P#Fire4097x8",
        "P#Fire8x1",  "P#Plasma8x8x1x2x", "P#Plasma99999999999999999999x8x1x2x3", "P#Plasma4096x4097x1x2x3",
    };
    std::set<unsigned> before = liveTextureNames();
    for (const char* d : bad) {
        EXPECT_EQ(getProceduralTexture(d), 0u) << "\"" << d << "\"";
        EXPECT_EQ(currentBinding(), 0) << "\"" << d << "\"";
        releaseProceduralTexture(d);
    }
    EXPECT_EQ(getProceduralTexture(nullptr), 0u);
    releaseProceduralTexture(nullptr);
    EXPECT_EQ(liveTextureNames(), before);

    // Releasing the bad ones touched nothing else.
    ASSERT_EQ(proceduralTextureRegistry.textures.size(), 1u);
    EXPECT_EQ(proceduralTextureRegistry.descriptions[0], kept);
    EXPECT_EQ(proceduralTextureRegistry.references[0], 1);
    EXPECT_TRUE(glIsTexture(keptName));
    releaseProceduralTexture(kept);
}

TEST_F(ProceduralGl, AdvancingTheRegistryUsesFrameTicksInRegistryOrder) {
    const char* plasma = "P#Plasma32x16x200x100x50";
    const char* fireA = "F#Fire16x8";
    const char* fireB = "F#Fire24x10";
    getProceduralTexture(plasma);
    getProceduralTexture(fireA);
    getProceduralTexture(fireB);

    frameTicks = 7777;
    srand(2024);
    advanceProceduralTextures();

    std::vector<uint8_t> wantPlasma(32 * 16 * 4);
    uint8_t colours[3] = {200, 100, 50};
    plasmaGenerator(7777, 32, 16, wantPlasma.data(), colours);
    EXPECT_EQ(bufferOf(registeredTexture(plasma)), wantPlasma);

    // The same two fire steps made by hand, in registry order, from the same seed.
    FireState* a = createFireState(16, 8);
    FireState* b = createFireState(24, 10);
    std::vector<uint8_t> wantA(16 * 8 * 4), wantB(24 * 10 * 4);
    srand(2024);
    fireGenerator(0, 16, 8, wantA.data(), a);
    fireGenerator(0, 24, 10, wantB.data(), b);
    EXPECT_EQ(bufferOf(registeredTexture(fireA)), wantA);
    EXPECT_EQ(bufferOf(registeredTexture(fireB)), wantB);
    releaseFireState(a);
    releaseFireState(b);

    for (const char* d : {plasma, fireA, fireB}) {
        DynamicTexture* texture = registeredTexture(d);
        EXPECT_EQ(readTexture(texture->texture, texture->width, texture->height), bufferOf(texture)) << d;
        releaseProceduralTexture(d);
    }
}

// ---------------------------------------------------------------------------
// Dynamic textures
// ---------------------------------------------------------------------------

TEST_F(ProceduralGl, NewTextureIsBlankBoundAndSizedWithoutRunningTheGenerator) {
    const char* description = "P#Plasma64x32x1x2x3";
    unsigned name = getProceduralTexture(description);
    ASSERT_NE(name, 0u);
    EXPECT_EQ(currentBinding(), (GLint)name);

    GLint width = 0, height = 0, minFilter = 0, magFilter = 0, envMode = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &magFilter);
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &envMode);
    EXPECT_EQ(width, 64);
    EXPECT_EQ(height, 32);
    EXPECT_EQ(minFilter, GL_LINEAR);
    EXPECT_EQ(magFilter, GL_LINEAR);
    EXPECT_EQ(envMode, GL_MODULATE);

    DynamicTexture* texture = registeredTexture(description);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->width, 64);
    EXPECT_EQ(texture->height, 32);
    EXPECT_EQ(texture->pixelBytes, 64u * 32u * 4u);
    const std::vector<uint8_t> blank(64 * 32 * 4, 0);
    EXPECT_EQ(bufferOf(texture), blank);
    EXPECT_EQ(readTexture(name, 64, 32), blank);
    releaseProceduralTexture(description);
}

struct UploadCase {
    int w, h;
    GLint unpackAlignment;  // left set by the caller: the upload must not depend on it
};

TEST_F(ProceduralGl, AdvanceUploadsTheWholeBufferAndKeepsTheCallersState) {
    const UploadCase cases[] = {{64, 32, 4}, {7, 5, 8}, {13, 9, 1}, {1, 1, 2}};
    unsigned other = 0;
    glGenTextures(1, &other);
    for (const UploadCase& k : cases) {
        DynamicTexture* texture = makePlasma(k.w, k.h, 250, 3, 128);
        ASSERT_NE(texture, nullptr);
        glBindTexture(GL_TEXTURE_2D, other);
        glPixelStorei(GL_UNPACK_ALIGNMENT, k.unpackAlignment);

        advanceDynamicTexture(texture, 4321);

        std::vector<uint8_t> want((size_t)k.w * k.h * 4);
        uint8_t colours[3] = {250, 3, 128};
        plasmaGenerator(4321, k.w, k.h, want.data(), colours);
        EXPECT_EQ(bufferOf(texture), want) << k.w << "x" << k.h;
        EXPECT_EQ(readTexture(texture->texture, k.w, k.h), want) << k.w << "x" << k.h;
        EXPECT_EQ(currentBinding(), (GLint)other);
        GLint alignment = 0;
        glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
        EXPECT_EQ(alignment, k.unpackAlignment);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        deleteDynamic(texture);
    }
    glDeleteTextures(1, &other);
}

TEST_F(ProceduralGl, FireTextureInGlFollowsItsBufferStepByStep) {
    const char* description = "F#Fire20x9";
    unsigned name = getProceduralTexture(description);
    DynamicTexture* texture = registeredTexture(description);
    ASSERT_NE(texture, nullptr);
    srand(31337);
    for (int step = 0; step < 8; ++step) {
        advanceDynamicTexture(texture, 0);
        ASSERT_EQ(readTexture(name, 20, 9), bufferOf(texture)) << "step " << step;
    }
    releaseProceduralTexture(description);
    EXPECT_FALSE(glIsTexture(name));
}

}  // namespace
