// Shared helpers for the tests: a real window with an OpenGL context, pixel
// read-back, temporary folders and small files.
#pragma once

#include "resources/resources.h"

#include <cstdint>
#include <string>
#include <vector>

struct Renderer;

// The process's one full-screen window and GL context (opened on first use, kept to the end).
Renderer* testRenderer();
// The colour of one window pixel of the back buffer, origin bottom-left, as bytes.
void readBackPixel(int x, int y, uint8_t rgb[3]);
// A new empty folder under the system's temporary folder; removed by removeTree.
std::string makeTempDir(const char* tag);
// Removes a folder and everything under it.
void removeTree(const std::string& path);
// Writes bytes to a file; false on failure.
bool writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
// Reads a whole file; empty when it cannot be read.
std::vector<uint8_t> readWholeFile(const std::string& path);
// Makes the settings path point into a private folder so tests never touch the player's file.
void isolateUserData(const std::string& folder);



// A flat rectangle from (x0, y0) to (x1, y1) at depth z, facing +Z, texture coordinates 0..1 with t = 0 at the top.
MeshSource quadMesh(float x0, float y0, float x1, float y1, float z, const std::string& texture = "none",
                    bool transparent = false);
// Writes an archive of named entries into folder/fileName; false on failure.
bool writeTestArchive(const std::string& path, const std::vector<std::pair<std::string, std::vector<uint8_t>>>& entries);
// The model stream of the meshes.
std::vector<uint8_t> modelBytes(const std::vector<MeshSource>& meshes);
// A rectangle for a node turned -90 degrees about X (the background and the game layer): it lies in the
// model's XZ plane at depth y (x right, z up on screen), facing the viewer.
MeshSource uprightQuad(float x0, float z0, float x1, float z1, float y, const std::string& texture = "none");
// A 24-bit BMP image of w × h pixels given as 0xRRGGBB, row 0 at the top.
std::vector<uint8_t> bmpImage(int w, int h, const uint32_t* rgbPixels);
// A BMP image of one colour.
std::vector<uint8_t> solidBmp(int w, int h, uint8_t r, uint8_t g, uint8_t b);

// One region of a test page: its entry, key, colour number and centre on the 30 × 30 canvas.
struct TestRegion {
    std::string entry;
    int key;
    int colourNumber;
    float cx, cy;
};
// Writes a page archive for the catalogue's page id and variant: every region a small square in a grid on
// the canvas, with empty number and outline overlays. Returns the regions in building order.
std::vector<TestRegion> writeTestPage(const std::string& path, int pageId, bool detailed);
