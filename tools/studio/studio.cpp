#include "tools/studio/studio.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

static std::vector<StudioBuilder>& builderList() {
    static std::vector<StudioBuilder> builders;
    return builders;
}

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

static const int kMaxImageSide = 2048;

static void appendPngBytes(png_structp png, png_bytep data, size_t length) {
    std::vector<uint8_t>* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

static void flushPngBytes(png_structp) {}

[[noreturn]] static void failPng(png_structp, png_const_charp message) {
    studioFail("cannot encode an image as PNG: %s", message);
}

// One row of a cairo image as PNG samples: RGBA with straight alpha (cairo
// keeps premultiplied native-endian words; rounded as cairo's own writer
// does), or RGB for a surface without alpha.
static void pngRow(const uint32_t* pixels, int width, bool alpha, uint8_t* out) {
    for (int x = 0; x < width; ++x) {
        uint32_t p = pixels[x];
        uint32_t a = alpha ? p >> 24 : 255;
        uint32_t rgb[3] = {(p >> 16) & 0xff, (p >> 8) & 0xff, p & 0xff};
        for (int c = 0; c < 3; ++c) *out++ = (uint8_t)(a == 0 ? 0 : (rgb[c] * 255 + a / 2) / a);
        if (alpha) *out++ = (uint8_t)a;
    }
}

static void setMaterialColours(MeshSource* mesh, StudioMaterial material) {
    for (int i = 0; i < 4; ++i) {
        mesh->ambient[i] = 1.0f;
        mesh->diffuse[i] = 1.0f;
        mesh->specular[i] = 0.0f;
    }
    mesh->shininess = 0.0f;
    if (material == MATERIAL_GLOSSY) {
        for (int i = 0; i < 3; ++i) mesh->specular[i] = 0.35f;
        mesh->shininess = 40.0f;
    }
}

// ---------------------------------------------------------------------------
// Builders
// ---------------------------------------------------------------------------

int registerStudioBuilder(const char* name, void (*build)(const std::string& outDir)) {
    builderList().push_back(StudioBuilder{name, build});
    return (int)builderList().size();
}

std::vector<StudioBuilder> studioBuilders() {
    std::vector<StudioBuilder> builders = builderList();
    std::sort(builders.begin(), builders.end(),
              [](const StudioBuilder& a, const StudioBuilder& b) { return strcmp(a.name, b.name) < 0; });
    return builders;
}

// ---------------------------------------------------------------------------
// Failing the build
// ---------------------------------------------------------------------------

std::string studioFormat(const char* format, ...) {
    char buffer[2048];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

void studioFail(const char* format, ...) {
    va_list args;
    va_start(args, format);
    fputs("tintaria-studio: ", stderr);
    vfprintf(stderr, format, args);
    fputc('\n', stderr);
    va_end(args);
    exit(1);
}

// ---------------------------------------------------------------------------
// Archives
// ---------------------------------------------------------------------------

void studioAdd(PakArchive* archive, const std::string& name, const std::vector<uint8_t>& bytes) {
    for (const std::string& existing : archive->names)
        if (existing == name) studioFail("entry \"%s\" added twice", name.c_str());
    if (!addEntryFromMemory(archive, name, bytes.data(), bytes.size()))
        studioFail("entry name \"%s\" is longer than 127 bytes", name.c_str());
}

void studioWrite(PakArchive* archive, const std::string& outDir, const char* fileName) {
    std::string path = outDir + "/" + fileName;
    if (!writeArchiveFile(archive, path.c_str())) studioFail("cannot write %s", path.c_str());
    clearArchive(archive);
}

// ---------------------------------------------------------------------------
// Images
// ---------------------------------------------------------------------------

cairo_surface_t* studioCanvas(int width, int height) {
    if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide)
        studioFail("image of %d x %d pixels: sides must be 1 to %d", width, height, kMaxImageSide);
    return cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
}

// Written with libpng rather than cairo's writer to choose the row filters:
// the game decodes every image at start-up or on a page turn, and undoing
// the Paeth filter, which an encoder left free picks for most rows of a
// painted image, costs more than the inflating. None, Sub and Up undo in a
// pass each, and the archives stay about the same size.
std::vector<uint8_t> studioPng(cairo_surface_t* surface) {
    cairo_surface_flush(surface);
    cairo_format_t format = cairo_image_surface_get_format(surface);
    if (format != CAIRO_FORMAT_ARGB32 && format != CAIRO_FORMAT_RGB24)
        studioFail("cannot encode an image of cairo format %d as PNG", (int)format);
    const bool alpha = format == CAIRO_FORMAT_ARGB32;
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const uint8_t* data = cairo_image_surface_get_data(surface);

    std::vector<uint8_t> bytes;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, failPng, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) studioFail("cannot encode an image as PNG: out of memory");
    png_set_write_fn(png, &bytes, appendPngBytes, flushPngBytes);
    png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, 8,
                 alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE | PNG_FILTER_SUB | PNG_FILTER_UP);
    png_write_info(png, info);
    std::vector<uint8_t> row((size_t)width * (alpha ? 4 : 3));
    for (int y = 0; y < height; ++y) {
        pngRow(reinterpret_cast<const uint32_t*>(data + (size_t)y * stride), width, alpha, row.data());
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return bytes;
}

void studioRoundedRectangle(cairo_t* cr, double x0, double y0, double x1, double y1, double radius) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x1 - radius, y0 + radius, radius, -M_PI / 2, 0);
    cairo_arc(cr, x1 - radius, y1 - radius, radius, 0, M_PI / 2);
    cairo_arc(cr, x0 + radius, y1 - radius, radius, M_PI / 2, M_PI);
    cairo_arc(cr, x0 + radius, y0 + radius, radius, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

std::vector<uint8_t> studioSolidPng(double r, double g, double b, double a) {
    cairo_surface_t* surface = studioCanvas(4, 4);
    cairo_t* cr = cairo_create(surface);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgba(cr, r, g, b, a);
    cairo_paint(cr);
    cairo_destroy(cr);
    std::vector<uint8_t> png = studioPng(surface);
    cairo_surface_destroy(surface);
    return png;
}

// ---------------------------------------------------------------------------
// Models
// ---------------------------------------------------------------------------

MeshSource studioMesh(const std::string& texture, StudioMaterial material, bool transparent) {
    MeshSource mesh = MeshSource();
    mesh.textureName = texture;
    mesh.transparent = transparent;
    setMaterialColours(&mesh, material);
    return mesh;
}

void studioTriangle(MeshSource* mesh, const float p0[3], const float p1[3], const float p2[3], const float t0[2],
                    const float t1[2], const float t2[2]) {
    float u[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
    float v[3] = {p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
    float n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (length > 0.0f)
        for (float& c : n) c /= length;
    const float* points[3] = {p0, p1, p2};
    const float* coords[3] = {t0, t1, t2};
    for (int k = 0; k < 3; ++k) {
        mesh->positions.insert(mesh->positions.end(), points[k], points[k] + 3);
        mesh->normals.insert(mesh->normals.end(), n, n + 3);
        mesh->texCoords.insert(mesh->texCoords.end(), coords[k], coords[k] + 2);
    }
}

void studioUprightRect(MeshSource* mesh, float x0, float z0, float x1, float z1, float y, float u0, float v0,
                       float u1, float v1) {
    // Wound so that the normal points to -Y, where the viewer is once the node is turned.
    const float a[3] = {x0, y, z0}, b[3] = {x1, y, z0}, c[3] = {x1, y, z1}, d[3] = {x0, y, z1};
    const float ta[2] = {u0, v0}, tb[2] = {u1, v0}, tc[2] = {u1, v1}, td[2] = {u0, v1};
    studioTriangle(mesh, a, b, c, ta, tb, tc);
    studioTriangle(mesh, a, c, d, ta, tc, td);
}

MeshSource studioUprightImage(const std::string& texture, float cx, float cz, float width, float height, float y,
                              bool transparent) {
    MeshSource mesh = studioMesh(texture, MATERIAL_FLAT, transparent);
    studioUprightRect(&mesh, cx - width / 2, cz - height / 2, cx + width / 2, cz + height / 2, y, 0, 1, 1, 0);
    return mesh;
}

MeshSource studioFacingImage(const std::string& texture, float cx, float cy, float width, float height, float z,
                             bool transparent) {
    MeshSource mesh = studioMesh(texture, MATERIAL_FLAT, transparent);
    float x0 = cx - width / 2, x1 = cx + width / 2, y0 = cy - height / 2, y1 = cy + height / 2;
    const float a[3] = {x0, y0, z}, b[3] = {x1, y0, z}, c[3] = {x1, y1, z}, d[3] = {x0, y1, z};
    const float ta[2] = {0, 1}, tb[2] = {1, 1}, tc[2] = {1, 0}, td[2] = {0, 0};
    studioTriangle(&mesh, a, b, c, ta, tb, tc);
    studioTriangle(&mesh, a, c, d, ta, tc, td);
    return mesh;
}

std::vector<uint8_t> studioModel(const std::vector<MeshSource>& meshes) {
    std::vector<uint8_t> bytes;
    serializeModel(meshes, bytes);
    return bytes;
}
