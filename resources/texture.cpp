// Image textures made from archive entries, shared by every mesh that names
// the same entry of the same archive and deleted with the last of them.
#include "resources/resources.h"

#include <GL/gl.h>
#include <SDL/SDL.h>
#include <SDL/SDL_image.h>
#include <cstring>

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

static int findEntryIndex(const PakArchive* archive, const char* entryName) {
    for (size_t i = 0; i < archive->names.size(); ++i)
        if (archive->names[i] == entryName) return (int)i;
    return -1;
}

static PakArchive* findListedArchive(const char* fileName) {
    for (size_t i = 0; i < pakLibrary.fileNames.size(); ++i)
        if (pakLibrary.fileNames[i] == fileName) return pakLibrary.archives[i];
    return nullptr;
}

// Pixels as R, G, B, A bytes in memory, whatever the image's own layout.
static SDL_Surface* toRgbaBytes(SDL_Surface* image) {
    const Uint32 rMask = SDL_BYTEORDER == SDL_BIG_ENDIAN ? 0xFF000000u : 0x000000FFu;
    const Uint32 gMask = SDL_BYTEORDER == SDL_BIG_ENDIAN ? 0x00FF0000u : 0x0000FF00u;
    const Uint32 bMask = SDL_BYTEORDER == SDL_BIG_ENDIAN ? 0x0000FF00u : 0x00FF0000u;
    const Uint32 aMask = SDL_BYTEORDER == SDL_BIG_ENDIAN ? 0x000000FFu : 0xFF000000u;
    const SDL_PixelFormat* f = image->format;
    if (f->BytesPerPixel == 4 && f->Rmask == rMask && f->Gmask == gMask && f->Bmask == bMask && f->Amask == aMask)
        return image;
    SDL_Surface* converted = SDL_CreateRGBSurface(SDL_SWSURFACE, image->w, image->h, 32, rMask, gMask, bMask, aMask);
    if (!converted) return nullptr;
    // Without per-surface alpha the blit copies alpha instead of blending; an
    // image without alpha of its own comes out opaque.
    SDL_SetAlpha(image, 0, SDL_ALPHA_OPAQUE);
    if (f->Amask == 0) SDL_FillRect(converted, nullptr, SDL_MapRGBA(converted->format, 0, 0, 0, 255));
    SDL_BlitSurface(image, nullptr, converted, nullptr);
    return converted;
}

static unsigned uploadImage(const uint8_t* bytes, int32_t size) {
    if (!bytes || size <= 0) return 0;
    SDL_RWops* rw = SDL_RWFromConstMem(bytes, size);
    if (!rw) return 0;
    SDL_Surface* image = IMG_Load_RW(rw, 1);
    if (!image) return 0;
    SDL_Surface* rgba = toRgbaBytes(image);
    unsigned name = 0;
    if (rgba) {
        if (SDL_MUSTLOCK(rgba)) SDL_LockSurface(rgba);
        GLuint texture = 0;
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        GLint rowLength = 0;
        glGetIntegerv(GL_UNPACK_ROW_LENGTH, &rowLength);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, rgba->pitch / 4);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, rgba->w, rgba->h, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba->pixels);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, rowLength);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        if (SDL_MUSTLOCK(rgba)) SDL_UnlockSurface(rgba);
        name = texture;
        if (rgba != image) SDL_FreeSurface(rgba);
    }
    SDL_FreeSurface(image);
    return name;
}

// ---------------------------------------------------------------------------
// Textures
// ---------------------------------------------------------------------------

unsigned getTexture(const char* fileName, const char* entryName) {
    PakArchive* archive = openArchive(fileName);
    int index = findEntryIndex(archive, entryName);
    if (index < 0) return 0;
    if (archive->entryTextureSlot[index] == 0)
        archive->entryTextureSlot[index] = uploadImage(archive->data[index], archive->sizes[index]);
    // Bytes that are no image give no texture, so no texture reference is
    // counted; the caller's release of texture 0 drops only the archive.
    if (archive->entryTextureSlot[index] != 0) archive->entryTextureCount[index] += 1;
    return archive->entryTextureSlot[index];
}

void releaseTexture(const char* fileName, unsigned texture) {
    PakArchive* archive = findListedArchive(fileName);
    if (!archive) return;
    if (texture != 0) {
        for (size_t i = 0; i < archive->entryTextureSlot.size(); ++i) {
            if (archive->entryTextureSlot[i] != texture) continue;
            if (--archive->entryTextureCount[i] == 0) {
                GLuint name = texture;
                glDeleteTextures(1, &name);
                archive->entryTextureSlot[i] = 0;
            }
        }
    }
    releaseArchive(fileName);
}
