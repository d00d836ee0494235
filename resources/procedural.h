// Generated textures: "Plasma" and "Fire" pixel buffers computed in main
// memory, uploaded to OpenGL and shared by description. (A section to be
// folded into resources/resources.h.)
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// Fills a width × height RGBA buffer (rows of width pixels, row 0 first) for time t in ms.
typedef void (*TextureGenerator)(int t, int width, int height, uint8_t* pixels, void* parameters);
// Frees a generator's parameter block.
typedef void (*ParameterRelease)(void* parameters);

// A GL texture whose image is the pixel buffer as its generator last left it.
struct DynamicTexture {
    TextureGenerator generator;
    void* parameters;               // owned; freed by releaseParameters
    ParameterRelease releaseParameters;
    int32_t width;
    int32_t height;
    unsigned texture;               // GL texture name
    uint8_t* pixels;                // width × height × 4 bytes, R, G, B, A
    size_t pixelBytes;
};

// The parameter block of "Fire": a heat field that rises and cools, and the colours of heat.
struct FireState {
    uint8_t palette[256][4];        // R, G, B, A per heat value; 255 is never reached
    uint8_t* heat;                  // current field: width × rows cells, one byte each
    uint8_t* nextHeat;              // the field being computed; swapped with heat after each step
    int32_t width;
    int32_t rows;                   // visible height + 3 hidden rows where heat is injected
};

// Shared generated textures: parallel lists in creation order.
struct ProceduralTextureRegistry {
    std::vector<DynamicTexture*> textures;
    std::vector<std::string> descriptions;  // the key: the mesh's whole texture name
    std::vector<int> references;            // at least 1 while listed
};

enum ProceduralKind { PROCEDURAL_PLASMA, PROCEDURAL_FIRE };

// What a description asks for.
struct TextureDescription {
    ProceduralKind kind;
    int32_t width;
    int32_t height;
    uint8_t base[3];                // Plasma only: red, green, blue, each the low byte of its number
};

// Largest side and pixel count a generated texture may have: the buffers stay bounded and
// no size product can overflow.
const int32_t maximumProceduralSide = 4096;
const int32_t maximumProceduralPixels = maximumProceduralSide * maximumProceduralSide;

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

// The one registry of the process. At exit only its lists are dropped: the GL
// context is gone by then, so textures still listed are neither deleted nor freed.
extern ProceduralTextureRegistry proceduralTextureRegistry;

// ---------------------------------------------------------------------------
// Registry (main thread, GL context current)
// ---------------------------------------------------------------------------

// The GL texture for a description ("?#Plasma<w>?<h>?<r>?<g>?<b>" or "?#Fire<w>?<h>",
// each ? one arbitrary character), created on first use; +1 reference. 0, with nothing
// created or registered, when the description cannot make a texture.
unsigned getProceduralTexture(const char* description);
// -1 reference; at 0 the GL texture is deleted and the entry removed. Unknown descriptions are ignored.
void releaseProceduralTexture(const char* description);
// Advances every registered texture, in registry order, to frameTicks. The game never calls it,
// so generated textures keep the content they had when created.
void advanceProceduralTextures();
// Reads a description; false when it names another kind, lacks a number, is shorter than two
// characters, or gives a size the generators can't take (not positive, over the maxima, a Fire
// height below 2). Reads nothing past the terminating NUL.
bool parseTextureDescription(const char* description, TextureDescription* out);

// ---------------------------------------------------------------------------
// Dynamic textures
// ---------------------------------------------------------------------------

// A new texture with a zeroed buffer (transparent black) uploaded as its image; the generator is
// not run. The new texture stays bound to GL_TEXTURE_2D. Takes ownership of the parameter block;
// on a size that is not positive or over the maxima it releases the block and returns null.
DynamicTexture* createDynamicTexture(TextureGenerator generator, ParameterRelease releaseParameters,
                                     void* parameters, int32_t width, int32_t height);
// Runs the generator for time t and re-uploads the whole image; the texture binding is kept.
void advanceDynamicTexture(DynamicTexture* texture, int t);
// Frees the buffer, the parameter block and the record; the GL texture must be deleted before.
void destroyDynamicTexture(DynamicTexture* texture);

// ---------------------------------------------------------------------------
// Generators
// ---------------------------------------------------------------------------

// Sine-wave pattern in a base colour (parameters: 3 bytes R, G, B), opaque only in a thin band,
// with a green grid every 16 pixels.
void plasmaGenerator(int t, int width, int height, uint8_t* pixels, void* parameters);
// One step of the fire (parameters: a FireState of the same size; t is not used). Uses rand().
void fireGenerator(int t, int width, int height, uint8_t* pixels, void* parameters);
// A cold fire of that size with its palette; null when the size cannot be taken (width below 1,
// height below 2, over the maxima).
FireState* createFireState(int32_t width, int32_t height);
// Frees a FireState (a ParameterRelease).
void releaseFireState(void* state);
// Linear ramp over palette entries first to end − 1: each channel from + (to − from) × p,
// p = (i − first) / (end − first), truncated toward zero; entries outside 0 to 255 are skipped.
void fillPaletteGradient(uint8_t palette[][4], int first, int end, const uint8_t from[4], const uint8_t to[4]);
