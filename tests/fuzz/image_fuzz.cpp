// The image-entry decoder (SDL_image, then conversion to R, G, B, A bytes) on
// arbitrary bytes: a decoded image comes out in exactly that layout, rows a
// whole number of pixels apart, with every row of its pixels readable.
#include "fuzz_target.h"

#include "resources/resources.h"

#include <SDL/SDL.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (size_t)INT32_MAX) return 0;
    SDL_Surface* image = decodeImageEntry(data, (int32_t)size);
    if (!image) return 0;
    const SDL_PixelFormat* f = image->format;
    FUZZ_CHECK(f->BytesPerPixel == 4 && f->Amask != 0);
    // The upload gives GL the row length as pitch / 4.
    FUZZ_CHECK(image->w >= 0 && image->h >= 0 && image->pitch >= image->w * 4 && image->pitch % 4 == 0);
    if (SDL_MUSTLOCK(image)) SDL_LockSurface(image);
    volatile unsigned sum = 0;
    const uint8_t* pixels = (const uint8_t*)image->pixels;
    for (int y = 0; y < image->h; ++y)
        for (int x = 0; x < image->w * 4; ++x) sum += pixels[(size_t)y * image->pitch + x];
    if (SDL_MUSTLOCK(image)) SDL_UnlockSurface(image);
    SDL_FreeSurface(image);
    return 0;
}
