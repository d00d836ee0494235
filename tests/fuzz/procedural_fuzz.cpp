// The generated-texture description parser on arbitrary text: an accepted
// description always names a size the generators can take, and small ones are
// run through their generator (one Plasma frame, two Fire steps) on buffers of
// exactly the size the game allocates.
#include "fuzz_target.h"

#include "resources/resources.h"

#include <cstring>

// Larger accepted sizes are only parsed: running them would slow the fuzzer without reaching new code.
static const int64_t largestGeneratedPixels = 64 * 64;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The text ends at its first zero byte, as a name read from a model stream does.
    char* text = new char[size + 1];
    if (size > 0) std::memcpy(text, data, size);
    text[size] = '\0';
    TextureDescription description;
    bool accepted = parseTextureDescription(text, &description);
    delete[] text;
    if (!accepted) return 0;

    const int32_t w = description.width, h = description.height;
    FUZZ_CHECK(w > 0 && h > 0 && w <= maximumProceduralSide && h <= maximumProceduralSide);
    FUZZ_CHECK((int64_t)w * h <= maximumProceduralPixels);
    if ((int64_t)w * h > largestGeneratedPixels) return 0;

    uint8_t* pixels = new uint8_t[(size_t)w * (size_t)h * 4];
    if (description.kind == PROCEDURAL_PLASMA) {
        plasmaGenerator(1000, w, h, pixels, description.base);
    } else {
        FUZZ_CHECK(description.kind == PROCEDURAL_FIRE && h >= 2);
        FireState* fire = createFireState(w, h);
        FUZZ_CHECK(fire != nullptr);
        fireGenerator(0, w, h, pixels, fire);
        fireGenerator(40, w, h, pixels, fire);
        releaseFireState(fire);
    }
    delete[] pixels;
    return 0;
}
