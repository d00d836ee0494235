// The content builder: writes every archive the game reads (images, models,
// sounds, texts) from the sources in this folder. Same sources in, same bytes
// out: nothing depends on the clock, the machine or unseeded randomness.
#pragma once

#include "resources/resources.h"

#include <cairo.h>
#include <cstdint>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// One builder: the archives it writes, and the function that writes them into a folder.
struct StudioBuilder {
    const char* name;
    void (*build)(const std::string& outDir);
};

// A material for flat images: full ambient and diffuse, no specular (a flat
// surface facing the viewer would otherwise wash out white under the scene's light).
enum StudioMaterial { MATERIAL_FLAT, MATERIAL_GLOSSY };

// ---------------------------------------------------------------------------
// Builders
// ---------------------------------------------------------------------------

// Registers a builder; each builder file does it once with a static StudioRegistration.
int registerStudioBuilder(const char* name, void (*build)(const std::string& outDir));
// Every registered builder, in name order.
std::vector<StudioBuilder> studioBuilders();

#define STUDIO_BUILDER(name, fn) static const int studioRegistered_##fn = registerStudioBuilder(name, fn)

// ---------------------------------------------------------------------------
// Failing the build
// ---------------------------------------------------------------------------

// A printf-style message as a string (at most 2047 bytes).
std::string studioFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Prints "tintaria-studio: <message>" to the standard error stream and exits with status 1.
[[noreturn]] void studioFail(const char* format, ...) __attribute__((format(printf, 1, 2)));

// ---------------------------------------------------------------------------
// Archives
// ---------------------------------------------------------------------------

// Adds an entry; fails the build on a name already present or longer than 127 bytes.
void studioAdd(PakArchive* archive, const std::string& name, const std::vector<uint8_t>& bytes);
// Writes the archive to outDir/fileName and empties it; fails the build when it cannot.
void studioWrite(PakArchive* archive, const std::string& outDir, const char* fileName);

// ---------------------------------------------------------------------------
// Images (Cairo)
// ---------------------------------------------------------------------------

// A new transparent ARGB image; the caller destroys it.
cairo_surface_t* studioCanvas(int width, int height);
// The image as PNG bytes (RGBA, RGB for a surface without alpha; rows filtered None, Sub or Up only, cheap to decode).
std::vector<uint8_t> studioPng(cairo_surface_t* surface);
// Adds a rectangle with rounded corners to the current path.
void studioRoundedRectangle(cairo_t* cr, double x0, double y0, double x1, double y1, double radius);
// A small one-colour PNG, for meshes that should draw in a solid colour.
std::vector<uint8_t> studioSolidPng(double r, double g, double b, double a = 1.0);

// ---------------------------------------------------------------------------
// Models
// ---------------------------------------------------------------------------

// A mesh with the material's colours and no triangles yet.
MeshSource studioMesh(const std::string& texture, StudioMaterial material, bool transparent);
// Appends a triangle (positions p, texture coordinates t) with its face normal.
void studioTriangle(MeshSource* mesh, const float p0[3], const float p1[3], const float p2[3], const float t0[2],
                    const float t1[2], const float t2[2]);
// A textured rectangle for nodes turned -90 degrees about X (background, toolbar, dialogs):
// in the model's XZ plane at depth y, centred on (cx, cz), facing the viewer; the image's top at +z.
MeshSource studioUprightImage(const std::string& texture, float cx, float cz, float width, float height, float y,
                              bool transparent);
// Appends one such rectangle, (x0, z0) to (x1, z1) at depth y, with the image coordinates (u0, v0) at its
// first corner and (u1, v1) at the opposite one: a part of a larger image.
void studioUprightRect(MeshSource* mesh, float x0, float z0, float x1, float z1, float y, float u0, float v0,
                       float u1, float v1);
// A textured rectangle for unturned nodes: in the XY plane at depth z, facing +Z; the image's top at +y.
MeshSource studioFacingImage(const std::string& texture, float cx, float cy, float width, float height, float z,
                             bool transparent);
// The model stream of the meshes.
std::vector<uint8_t> studioModel(const std::vector<MeshSource>& meshes);
