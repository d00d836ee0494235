// Image textures made from archive entries, shared by every mesh that names
// the same entry of the same archive and deleted with the last of them.
#include "resources/resources.h"

#include <GL/gl.h>
#include <SDL/SDL.h>
#include <SDL/SDL_image.h>
#include <algorithm>
#include <cstring>

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// Read position in an image entry's bytes, behind the SDL_RWops the decoder reads through.
struct EntryReader {
    const uint8_t* bytes;
    size_t size;
    size_t position;
};

// An image format the game decodes: how its bytes begin, the check of its
// layout that gives the declared size (false when the layout cannot be
// decoded inside the bytes) and SDL_image's decoder.
struct ImageFormat {
    const char* magic;
    size_t magicLength;
    bool (*checkLayout)(const uint8_t* bytes, size_t size, int64_t* width, int64_t* height);
    SDL_Surface* (SDLCALL* decode)(SDL_RWops* source);
};

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

static bool checkPngLayout(const uint8_t* bytes, size_t size, int64_t* width, int64_t* height);
static bool checkBmpLayout(const uint8_t* bytes, size_t size, int64_t* width, int64_t* height);

// The studio writes PNG; BMP serves hand-made archives. SDL_image's other
// decoders never see archive bytes: the game has no use for them, and some do
// not survive damaged input (a damaged XPM crashes SDL_image 1.2.12).
static const ImageFormat imageFormats[] = {
    {"\x89PNG\r\n\x1a\n", 8, checkPngLayout, IMG_LoadPNG_RW},
    {"BM", 2, checkBmpLayout, IMG_LoadBMP_RW},
};

// Largest side an image entry may declare: decoders allocate the whole image
// before reading its pixels, so a header must not be able to ask for more.
static const int64_t maximumImageSide = 4096;

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

static uint32_t bigEndian32(const uint8_t* p) {
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | (uint32_t)p[3];
}

static uint32_t littleEndian32(const uint8_t* p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static uint16_t littleEndian16(const uint8_t* p) { return (uint16_t)(p[0] | p[1] << 8); }

// IHDR comes first, right after the signature, and IEND last. Every chunk up
// to IEND must lie inside the bytes: libpng reads a chunk's stated length
// whether or not it is there (SDL_image ignores short reads), and a length
// word beyond the end would have it read and checksum gigabytes of nothing.
static bool checkPngLayout(const uint8_t* bytes, size_t size, int64_t* width, int64_t* height) {
    const size_t signatureBytes = 8, chunkOverhead = 12;  // length, type, CRC
    if (size < signatureBytes + chunkOverhead + 13 || memcmp(bytes + 12, "IHDR", 4) != 0) return false;
    *width = bigEndian32(bytes + 16);
    *height = bigEndian32(bytes + 20);
    size_t at = signatureBytes;
    while (size - at >= chunkOverhead) {
        const uint32_t length = bigEndian32(bytes + at);
        if (length > size - at - chunkOverhead) return false;
        if (memcmp(bytes + at + 4, "IEND", 4) == 0) return true;
        at += chunkOverhead + length;
    }
    return false;
}

// The info header follows the 14-byte file header: the 12-byte OS/2 one with
// 16-bit sides, or a Windows one with signed 32-bit sides (a negative height
// means the rows run top down).
static bool checkBmpLayout(const uint8_t* bytes, size_t size, int64_t* width, int64_t* height) {
    if (size < 18) return false;
    if (littleEndian32(bytes + 14) == 12) {
        if (size < 22) return false;
        *width = littleEndian16(bytes + 18);
        *height = littleEndian16(bytes + 20);
        return true;
    }
    if (size < 26) return false;
    *width = (int32_t)littleEndian32(bytes + 18);
    *height = (int32_t)littleEndian32(bytes + 22);
    if (*height < 0) *height = -*height;
    return true;
}

static int SDLCALL seekEntry(SDL_RWops* rw, int offset, int whence) {
    EntryReader* reader = (EntryReader*)rw->hidden.unknown.data1;
    int64_t base = whence == RW_SEEK_SET ? 0 : whence == RW_SEEK_CUR ? (int64_t)reader->position
                 : whence == RW_SEEK_END ? (int64_t)reader->size : -1;
    int64_t target = base + offset;
    if (base < 0 || target < 0 || target > (int64_t)reader->size) return -1;
    reader->position = (size_t)target;
    return (int)target;
}

// Reads whole objects as far as the bytes go. Not every SDL_image decoder
// checks for a short read (its PNG reader parses whatever its buffer held
// before), so the part of the request beyond the end is zeroed: such a decoder
// sees zeros, never stale bytes.
static int SDLCALL readEntry(SDL_RWops* rw, void* out, int size, int count) {
    EntryReader* reader = (EntryReader*)rw->hidden.unknown.data1;
    if (size <= 0 || count <= 0) return 0;
    const size_t requested = (size_t)size * (size_t)count;
    const size_t whole = std::min((size_t)count, (reader->size - reader->position) / (size_t)size);
    const size_t copied = whole * (size_t)size;
    if (copied > 0) memcpy(out, reader->bytes + reader->position, copied);
    memset((uint8_t*)out + copied, 0, requested - copied);
    reader->position += copied;
    return (int)whole;
}

static int SDLCALL writeEntry(SDL_RWops*, const void*, int, int) { return -1; }

static int SDLCALL closeEntry(SDL_RWops* rw) {
    delete (EntryReader*)rw->hidden.unknown.data1;
    SDL_FreeRW(rw);
    return 0;
}

// A read-only SDL_RWops over the bytes (not copied); closing it frees it. Null when SDL cannot allocate one.
static SDL_RWops* openEntryReader(const uint8_t* bytes, int32_t size) {
    SDL_RWops* rw = SDL_AllocRW();
    if (!rw) return nullptr;
    rw->seek = seekEntry;
    rw->read = readEntry;
    rw->write = writeEntry;
    rw->close = closeEntry;
    rw->hidden.unknown.data1 = new EntryReader{bytes, (size_t)size, 0};
    return rw;
}

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
    SDL_Surface* rgba = decodeImageEntry(bytes, size);
    if (!rgba) return 0;
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
    SDL_FreeSurface(rgba);
    return texture;
}

// ---------------------------------------------------------------------------
// Textures
// ---------------------------------------------------------------------------

SDL_Surface* decodeImageEntry(const uint8_t* bytes, int32_t size) {
    if (!bytes || size <= 0) return nullptr;
    const ImageFormat* format = nullptr;
    for (const ImageFormat& candidate : imageFormats)
        if ((size_t)size >= candidate.magicLength && memcmp(bytes, candidate.magic, candidate.magicLength) == 0)
            format = &candidate;
    int64_t width = 0, height = 0;
    if (!format || !format->checkLayout(bytes, (size_t)size, &width, &height)) return nullptr;
    if (width < 1 || height < 1 || width > maximumImageSide || height > maximumImageSide) return nullptr;
    SDL_RWops* rw = openEntryReader(bytes, size);
    if (!rw) return nullptr;
    SDL_Surface* image = format->decode(rw);
    SDL_RWclose(rw);
    if (!image) return nullptr;
    SDL_Surface* rgba = toRgbaBytes(image);
    if (rgba != image) SDL_FreeSurface(image);
    return rgba;
}

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
