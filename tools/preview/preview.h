// The content preview: contact sheets of the game's archives. Models are
// drawn by the engine itself (its loading, scene nodes, light and mesh
// drawing) in the game's own window, read back and laid out with labels;
// images are shown as they decode, over a checkerboard.
#pragma once

#include <cairo.h>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// How the game turns a model: the rotation of the node that places it, then the
// rotation of the node that loads it (degrees about X, then Y, then Z).
struct PreviewPose {
    const char* name;
    double outer[3];
    double inner[3];
};

// One model of a cell, loaded into a child of the previous part, optionally tinted
// (the game tints the tube's ribbon and the brush's bristles).
struct PreviewPart {
    std::string key;
    bool tinted;
    double r, g, b;
};

// One cell of a model sheet: the parts drawn together, turned as the game turns them.
struct PreviewCell {
    std::string label;
    const PreviewPose* pose;
    std::vector<PreviewPart> parts;
};

// A contact sheet being filled: cells of a fixed size under a title, each with a label band.
struct PreviewSheet {
    cairo_surface_t* surface;
    int columns;
    int cellWidth, cellHeight;
    int cellCount;
};

// ---------------------------------------------------------------------------
// Poses and cells
// ---------------------------------------------------------------------------

// The pose the game gives the entry key of that archive (file name without folder).
const PreviewPose* poseFor(const std::string& archiveName, const std::string& key);
// One cell per model entry, then the assembled pieces (tube, brush) whose parts the archive holds.
std::vector<PreviewCell> modelCells(const std::string& archiveName, const std::vector<std::string>& modelKeys);

// ---------------------------------------------------------------------------
// Drawing with the engine (window open, GL context current)
// ---------------------------------------------------------------------------

// Opens the game's window with its GL state and the scene's light.
void openPreviewWindow();
// A sheet of the cells, each drawn with the engine from the archive at that path and read back.
PreviewSheet drawModelSheet(const std::string& archivePath, const std::string& title,
                            const std::vector<PreviewCell>& cells);

// ---------------------------------------------------------------------------
// Sheets (Cairo, Pango)
// ---------------------------------------------------------------------------

// An empty sheet for count cells, with the title on top.
PreviewSheet createSheet(const std::string& title, int count, int cellWidth, int cellHeight);
// Puts the next cell: the sheet's cell size of pixels at (x, y) of a GL read-back (RGBA rows
// of rowPixels, bottom row first), and its label.
void addGlCell(PreviewSheet* sheet, const unsigned char* rgbaBottomUp, int rowPixels, int x, int y,
               const std::string& label);
// Puts the next cell: an image entry's bytes decoded by SDL_image, fitted over a checkerboard.
void addImageCell(PreviewSheet* sheet, const unsigned char* bytes, int size, const std::string& label);
// Writes the sheet as PNG and frees it; false when it cannot be written.
bool writeSheet(PreviewSheet* sheet, const std::string& path);
