#include "support/test_support.h"

#include "shell/shell.h"

#include <GL/gl.h>
#include <cstdio>
#include <cstdlib>
#include <ftw.h>
#include <unistd.h>

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

static int removeEntry(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }

// ---------------------------------------------------------------------------
// Window
// ---------------------------------------------------------------------------

Renderer* testRenderer() {
    if (!renderer) renderer = createRenderer();
    return renderer;
}

void readBackPixel(int x, int y, uint8_t rgb[3]) {
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
}

// ---------------------------------------------------------------------------
// Files
// ---------------------------------------------------------------------------

std::string makeTempDir(const char* tag) {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/tintaria-" + tag + "-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) return std::string();
    return std::string(buffer.data());
}

void removeTree(const std::string& path) {
    if (!path.empty()) nftw(path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

bool writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    // fwrite's buffer must not be null, even for no bytes.
    bool ok = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

std::vector<uint8_t> readWholeFile(const std::string& path) {
    std::vector<uint8_t> bytes;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return bytes;
    uint8_t chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    fclose(f);
    return bytes;
}

void isolateUserData(const std::string& folder) { setenv("XDG_DATA_HOME", folder.c_str(), 1); }

// ---------------------------------------------------------------------------
// Archives and models
// ---------------------------------------------------------------------------

#include "resources/resources.h"

MeshSource quadMesh(float x0, float y0, float x1, float y1, float z, const std::string& texture, bool transparent) {
    MeshSource m = MeshSource();
    m.textureName = texture;
    m.transparent = transparent;
    for (int i = 0; i < 4; ++i) {
        m.ambient[i] = 1.0f;
        m.diffuse[i] = 1.0f;
        m.specular[i] = 0.0f;
    }
    const float corners[6][4] = {{x0, y0, 0, 1}, {x1, y0, 1, 1}, {x1, y1, 1, 0},
                                 {x0, y0, 0, 1}, {x1, y1, 1, 0}, {x0, y1, 0, 0}};
    for (const auto& c : corners) {
        m.positions.insert(m.positions.end(), {c[0], c[1], z});
        m.normals.insert(m.normals.end(), {0.0f, 0.0f, 1.0f});
        m.texCoords.insert(m.texCoords.end(), {c[2], c[3]});
    }
    return m;
}

std::vector<uint8_t> modelBytes(const std::vector<MeshSource>& meshes) {
    std::vector<uint8_t> bytes;
    serializeModel(meshes, bytes);
    return bytes;
}

bool writeTestArchive(const std::string& path,
                      const std::vector<std::pair<std::string, std::vector<uint8_t>>>& entries) {
    PakArchive archive;
    for (const auto& e : entries)
        if (!addEntryFromMemory(&archive, e.first, e.second.data(), e.second.size())) return false;
    bool ok = writeArchiveFile(&archive, path.c_str());
    clearArchive(&archive);
    return ok;
}

MeshSource uprightQuad(float x0, float z0, float x1, float z1, float y, const std::string& texture) {
    MeshSource m = quadMesh(x0, z0, x1, z1, 0.0f, texture);
    for (size_t i = 0; i < m.positions.size(); i += 3) {
        m.positions[i + 2] = m.positions[i + 1];
        m.positions[i + 1] = y;
        m.normals[i + 1] = -1.0f;
        m.normals[i + 2] = 0.0f;
    }
    return m;
}

// ---------------------------------------------------------------------------
// Images
// ---------------------------------------------------------------------------

#include <SDL/SDL.h>
#include <cstring>

std::vector<uint8_t> bmpImage(int w, int h, const uint32_t* rgbPixels) {
    SDL_Surface* s = SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 24, 0xFF0000, 0x00FF00, 0x0000FF, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint32_t c = rgbPixels[y * w + x];
            Uint32 mapped = SDL_MapRGB(s->format, (c >> 16) & 255, (c >> 8) & 255, c & 255);
            memcpy((Uint8*)s->pixels + y * s->pitch + x * 3, &mapped, 3);
        }
    std::vector<uint8_t> buffer(1024 + (size_t)w * h * 4);
    SDL_RWops* rw = SDL_RWFromMem(buffer.data(), (int)buffer.size());
    SDL_SaveBMP_RW(s, rw, 0);
    buffer.resize((size_t)SDL_RWtell(rw));
    SDL_RWclose(rw);
    SDL_FreeSurface(s);
    return buffer;
}

std::vector<uint8_t> solidBmp(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
    std::vector<uint32_t> pixels((size_t)w * h, ((uint32_t)r << 16) | ((uint32_t)g << 8) | b);
    return bmpImage(w, h, pixels.data());
}

// ---------------------------------------------------------------------------
// Pages
// ---------------------------------------------------------------------------

#include "game/game.h"

#include <cmath>

std::vector<TestRegion> writeTestPage(const std::string& path, int pageId, bool detailed) {
    const PageEntry* page = findPage(pageId);
    std::vector<TestRegion> regions;
    if (!page) return regions;
    const PageVariant* variant = pageVariant(page, detailed);
    std::vector<PageRegion> all = variantRegions(page, variant);
    int columns = (int)std::ceil(std::sqrt((double)all.size()));
    float cell = 30.0f / columns;
    std::vector<std::pair<std::string, std::vector<uint8_t>>> entries;
    for (size_t i = 0; i < all.size(); ++i) {
        float cx = cell * ((float)(i % columns) + 0.5f);
        float cy = 30.0f - cell * ((float)(i / columns) + 0.5f);
        float h = cell * 0.4f;
        entries.push_back({all[i].entryName, modelBytes({quadMesh(cx - h, cy - h, cx + h, cy + h, 0.0f, "")})});
        regions.push_back(TestRegion{all[i].entryName, all[i].key, all[i].colourNumber, cx, cy});
    }
    entries.push_back({"list_nums", modelBytes({})});
    entries.push_back({"list_kontur", modelBytes({})});
    writeTestArchive(path, entries);
    return regions;
}
