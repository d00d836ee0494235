// Generated textures: the registry that shares them by description, the
// dynamic texture that pairs a GL texture with its pixel buffer and generator,
// and the two generators, "Plasma" and "Fire".
#include "resources/resources.h"

#include "shell/shell.h"

#include <GL/gl.h>
#include <cmath>
#include <cstdlib>
#include <cstring>

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// One linear stretch of the fire palette: entries first to end − 1.
struct PaletteRamp {
    int first;
    int end;
    uint8_t from[4];
    uint8_t to[4];
};

// A decimal number from a description. value saturates far beyond any accepted size, so long
// digit runs cannot overflow; lowByte is the exact two's-complement low byte of the number.
struct ParsedInteger {
    int64_t value;
    uint8_t lowByte;
};

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

ProceduralTextureRegistry proceduralTextureRegistry;

// Black through red, orange and yellow to a bluish white-hot; heat 255 never occurs.
static const PaletteRamp fireRamps[] = {
    {0, 64, {0, 0, 0, 100}, {255, 51, 36, 255}},
    {64, 96, {255, 51, 36, 255}, {255, 189, 51, 255}},
    {96, 128, {255, 189, 51, 255}, {255, 237, 51, 255}},
    {128, 196, {255, 237, 51, 255}, {100, 100, 189, 255}},
    {196, 255, {100, 100, 189, 255}, {255, 231, 51, 255}},
};

static const int hiddenFireRows = 3;
static const int gridSpacing = 16;
static const int64_t parsedIntegerLimit = int64_t(1) << 40;

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

static bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads an optionally signed decimal integer at *at, which moves past it; false when no digit follows.
static bool readInteger(const char* text, size_t* at, ParsedInteger* out) {
    size_t i = *at;
    bool negative = false;
    if (text[i] == '-' || text[i] == '+') {
        negative = text[i] == '-';
        ++i;
    }
    if (!isDigit(text[i])) return false;
    int64_t magnitude = 0;
    unsigned low = 0;
    for (; isDigit(text[i]); ++i) {
        int digit = text[i] - '0';
        if (magnitude < parsedIntegerLimit) magnitude = magnitude * 10 + digit;
        low = (low * 10 + digit) & 0xFF;
    }
    out->value = negative ? -magnitude : magnitude;
    out->lowByte = (uint8_t)(negative ? (256 - low) & 0xFF : low);
    *at = i;
    return true;
}

// Steps over one separator character; false at the end of the text.
static bool skipSeparator(const char* text, size_t* at) {
    if (text[*at] == '\0') return false;
    ++*at;
    return true;
}

static bool validTextureSize(int64_t width, int64_t height) {
    return width > 0 && height > 0 && width <= maximumProceduralSide && height <= maximumProceduralSide &&
           width * height <= maximumProceduralPixels;
}

static int findDescription(const char* description) {
    const std::vector<std::string>& descriptions = proceduralTextureRegistry.descriptions;
    for (size_t i = 0; i < descriptions.size(); ++i)
        if (descriptions[i] == description) return (int)i;
    return -1;
}

static void releasePlasmaColours(void* colours) { delete[] (uint8_t*)colours; }

// The image upload reads the buffer as tightly packed rows, whatever pixel-store state the caller left.
static void beginBufferUpload() {
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
}

static void endBufferUpload() { glPopClientAttrib(); }

// ---------------------------------------------------------------------------
// Registry
// ---------------------------------------------------------------------------

bool parseTextureDescription(const char* description, TextureDescription* out) {
    if (!description || description[0] == '\0' || description[1] == '\0') return false;
    size_t at = 2;
    size_t kindStart = at;
    while (description[at] != '\0' && !isDigit(description[at])) ++at;
    std::string kind(description + kindStart, at - kindStart);

    TextureDescription parsed;
    if (kind == "Plasma") parsed.kind = PROCEDURAL_PLASMA;
    else if (kind == "Fire") parsed.kind = PROCEDURAL_FIRE;
    else return false;

    ParsedInteger width, height;
    if (!readInteger(description, &at, &width) || !skipSeparator(description, &at) ||
        !readInteger(description, &at, &height))
        return false;
    if (!validTextureSize(width.value, height.value)) return false;
    parsed.width = (int32_t)width.value;
    parsed.height = (int32_t)height.value;

    if (parsed.kind == PROCEDURAL_PLASMA) {
        for (int channel = 0; channel < 3; ++channel) {
            ParsedInteger colour;
            if (!skipSeparator(description, &at) || !readInteger(description, &at, &colour)) return false;
            parsed.base[channel] = colour.lowByte;
        }
    } else {
        // The spark row is drawn modulo half the height.
        if (parsed.height < 2) return false;
        parsed.base[0] = parsed.base[1] = parsed.base[2] = 0;
    }
    *out = parsed;
    return true;
}

unsigned getProceduralTexture(const char* description) {
    if (!description) return 0;
    int index = findDescription(description);
    if (index >= 0) {
        ++proceduralTextureRegistry.references[index];
        return proceduralTextureRegistry.textures[index]->texture;
    }

    TextureDescription parsed;
    if (!parseTextureDescription(description, &parsed)) return 0;
    DynamicTexture* texture = nullptr;
    if (parsed.kind == PROCEDURAL_PLASMA) {
        uint8_t* colours = new uint8_t[3];
        memcpy(colours, parsed.base, 3);
        texture = createDynamicTexture(plasmaGenerator, releasePlasmaColours, colours, parsed.width,
                                       parsed.height);
    } else {
        FireState* fire = createFireState(parsed.width, parsed.height);
        if (fire)
            texture = createDynamicTexture(fireGenerator, releaseFireState, fire, parsed.width, parsed.height);
    }
    if (!texture) return 0;

    proceduralTextureRegistry.textures.push_back(texture);
    proceduralTextureRegistry.descriptions.push_back(description);
    proceduralTextureRegistry.references.push_back(1);
    return texture->texture;
}

void releaseProceduralTexture(const char* description) {
    if (!description) return;
    int index = findDescription(description);
    if (index < 0) return;
    ProceduralTextureRegistry& registry = proceduralTextureRegistry;
    if (--registry.references[index] > 0) return;
    DynamicTexture* texture = registry.textures[index];
    glDeleteTextures(1, &texture->texture);
    destroyDynamicTexture(texture);
    registry.textures.erase(registry.textures.begin() + index);
    registry.descriptions.erase(registry.descriptions.begin() + index);
    registry.references.erase(registry.references.begin() + index);
}

void advanceProceduralTextures() {
    for (DynamicTexture* texture : proceduralTextureRegistry.textures)
        advanceDynamicTexture(texture, (int)frameTicks);
}

// ---------------------------------------------------------------------------
// Dynamic textures
// ---------------------------------------------------------------------------

DynamicTexture* createDynamicTexture(TextureGenerator generator, ParameterRelease releaseParameters,
                                     void* parameters, int32_t width, int32_t height) {
    if (!validTextureSize(width, height)) {
        if (releaseParameters) releaseParameters(parameters);
        return nullptr;
    }
    DynamicTexture* texture = new DynamicTexture;
    texture->generator = generator;
    texture->parameters = parameters;
    texture->releaseParameters = releaseParameters;
    texture->width = width;
    texture->height = height;
    texture->pixelBytes = (size_t)width * (size_t)height * 4;
    // Zeroed so that the image before the first advance is transparent black, not stale heap.
    texture->pixels = new uint8_t[texture->pixelBytes]();
    texture->texture = 0;

    glGenTextures(1, &texture->texture);
    glBindTexture(GL_TEXTURE_2D, texture->texture);
    beginBufferUpload();
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, texture->pixels);
    endBufferUpload();
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    return texture;
}

void advanceDynamicTexture(DynamicTexture* texture, int t) {
    if (!texture) return;
    texture->generator(t, texture->width, texture->height, texture->pixels, texture->parameters);
    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    glBindTexture(GL_TEXTURE_2D, texture->texture);
    beginBufferUpload();
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, texture->width, texture->height, GL_RGBA, GL_UNSIGNED_BYTE,
                    texture->pixels);
    endBufferUpload();
    glBindTexture(GL_TEXTURE_2D, (GLuint)previous);
}

void destroyDynamicTexture(DynamicTexture* texture) {
    if (!texture) return;
    delete[] texture->pixels;
    if (texture->releaseParameters) texture->releaseParameters(texture->parameters);
    delete texture;
}

// ---------------------------------------------------------------------------
// Generators
// ---------------------------------------------------------------------------

void plasmaGenerator(int t, int width, int height, uint8_t* pixels, void* parameters) {
    const uint8_t* base = (const uint8_t*)parameters;
    const double a = 6.28 / width;
    const double b = 6.28 / height;
    for (int y = 0; y < height; ++y) {
        // The row terms are added after the column terms, so the sum keeps its order.
        const double row1 = sin(y * b - 0.00012 * t);
        const double row2 = sin(2 * y * b - 0.00024 * t);
        const double row3 = sin(4 * y * b - 0.0048 * t);
        uint8_t* pixel = pixels + (size_t)y * width * 4;
        for (int x = 0; x < width; ++x, pixel += 4) {
            double s = sin(x * a - 0.00012 * t) + sin(2 * x * a - 0.00024 * t) + sin(4 * x * a - 0.0048 * t);
            s = s + row1 + row2 + row3;
            const int v = (int)(s * 21 + 128);
            const int shift = v - 120;
            pixel[0] = (uint8_t)(base[0] + shift);
            pixel[1] = (uint8_t)(base[1] + shift);
            pixel[2] = (uint8_t)(base[2] + shift);
            pixel[3] = v >= 121 && v <= 126 ? 255 : 0;
            // The edge lines compare x with the height and y with the width: on a non-square
            // texture they fall inside the image, and the far edges stay open.
            if (x == height - 1 || x % gridSpacing == 0 || y % gridSpacing == 0 || y == width - 1) {
                pixel[1] = 127;
                pixel[3] = 255;
            }
        }
    }
}

void fireGenerator(int, int width, int height, uint8_t* pixels, void* parameters) {
    FireState* fire = (FireState*)parameters;
    uint8_t* heat = fire->heat;
    uint8_t* next = fire->nextHeat;
    const int w = fire->width;

    // Fresh heat in the hidden rows below the picture; the draws go column, row, value.
    const int seeds = rand() & (width - 1);
    for (int i = 0; i < seeds; ++i) {
        const int column = rand() % width;
        const int row = height + rand() % hiddenFireRows;
        heat[(size_t)row * w + column] = (uint8_t)(rand() & 0xFF);
    }
    const int half = height >> 1;
    {
        const int column = rand() % width;
        const int row = half + rand() % half;
        heat[(size_t)row * w + column] = (uint8_t)(rand() & 0xFF);
    }

    // Each inner cell takes the mean of its two row neighbours and the three cells below it in
    // each of the next two rows, less one: heat rises toward row 0 and fades. The side columns
    // stay cold (on a one-cell row they are the same cell).
    for (int r = 0; r < height; ++r) {
        const uint8_t* in = heat + (size_t)r * w;
        uint8_t* out = next + (size_t)r * w;
        out[0] = 0;
        for (int c = 1; c < w - 1; ++c) {
            const int sum = in[c - 1] + in[c + 1] + in[c + w - 1] + in[c + w] + in[c + w + 1] +
                            in[c + 2 * w - 1] + in[c + 2 * w] + in[c + 2 * w + 1];
            int value = sum >> 3;
            if (value != 0) --value;
            out[c] = (uint8_t)value;
        }
        out[w - 1] = 0;
    }

    const size_t visible = (size_t)width * height;
    for (size_t i = 0; i < visible; ++i) memcpy(pixels + i * 4, fire->palette[next[i]], 4);

    // The hidden rows of the new field keep what that buffer held two steps ago.
    fire->heat = next;
    fire->nextHeat = heat;
}

FireState* createFireState(int32_t width, int32_t height) {
    if (height < 2 || !validTextureSize(width, height)) return nullptr;
    FireState* fire = new FireState;
    memset(fire->palette, 0, sizeof fire->palette);
    fire->width = width;
    fire->rows = height + hiddenFireRows;
    const size_t cells = (size_t)width * (size_t)fire->rows;
    fire->heat = new uint8_t[cells]();
    fire->nextHeat = new uint8_t[cells]();
    for (const PaletteRamp& ramp : fireRamps)
        fillPaletteGradient(fire->palette, ramp.first, ramp.end, ramp.from, ramp.to);
    return fire;
}

void releaseFireState(void* state) {
    FireState* fire = (FireState*)state;
    if (!fire) return;
    delete[] fire->heat;
    delete[] fire->nextHeat;
    delete fire;
}

void fillPaletteGradient(uint8_t palette[][4], int first, int end, const uint8_t from[4], const uint8_t to[4]) {
    if (end <= first) return;
    // Entries outside the palette are skipped; the ramp keeps its slope.
    const int stop = end < 256 ? end : 256;
    for (int i = first < 0 ? 0 : first; i < stop; ++i) {
        const double p = (double)(i - first) / (end - first);
        for (int channel = 0; channel < 4; ++channel)
            palette[i][channel] = (uint8_t)(int)(from[channel] + (to[channel] - from[channel]) * p);
    }
}
