// The picture builder: turns the picture sources (one SVG file per page, see
// assets/pictures/README.md) into the thirty page archives. Per page and
// variant: the visible area of every shape is split into regions, counted
// against the catalogue, split further where the catalogue wants more, checked
// for pieces too small to click, numbered, triangulated, and given its number
// and outline overlays. Everything is deterministic: same sources, same bytes.
#pragma once

#include "game/game.h"

#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// A point of the picture canvas: x to the right and y upwards, 0 to 30.
struct PicturePoint {
    double x, y;
};

// A closed ring of points; the last point is not repeated.
typedef std::vector<PicturePoint> PictureRing;

enum PictureFillRule { FILL_NONZERO, FILL_EVENODD };

// Which variants a shape belongs to.
enum PictureLayer { LAYER_BOTH, LAYER_NORMAL_ONLY, LAYER_DETAILED_ONLY };

// One filled shape of a source, flattened into canvas coordinates.
struct PictureShape {
    std::string name;                 // how messages name it: <path id="roof"> (line 12)
    int colour;                       // 1-based colour number of the page's palette
    PictureFillRule fillRule;
    PictureLayer layer;
    std::vector<PictureRing> rings;   // every subpath, closed
};

// A picture source as read: its shapes in painting order (bottom first).
struct PictureSource {
    std::string fileName;             // "page03.svg"
    const PageEntry* page;
    std::vector<PictureShape> shapes;
    std::vector<std::string> errors;  // each a complete message naming the file
    std::vector<std::string> notes;   // warnings that do not stop the build
};

// One region of a built variant.
struct PictureRegion {
    int colour;                       // N, 1-based
    int element;                      // M, 1-based
    int key;                          // the digits of N followed by those of M
    std::string entry;                // "color" N "el" M
    PicturePoint label;               // the pole of inaccessibility: where the number goes
    double labelRadius;               // radius of the largest circle inside the region
    double area;
    std::vector<PictureRing> rings;   // outer ring first, then the holes
    std::vector<PicturePoint> triangles;  // counter-clockwise, three points each
};

// The outcome of building one variant of a source.
struct PictureVariant {
    const PageEntry* page;
    bool detailed;
    std::string source;               // file name of the source
    std::vector<int> drawn;           // regions per colour as drawn, before splitting
    std::vector<PictureRegion> regions;        // by colour, then element
    std::vector<PicturePoint> numberTriangles; // canvas coordinates, counter-clockwise
    std::vector<PicturePoint> outlineTriangles;
    std::vector<std::string> errors;
    std::vector<std::string> notes;
    std::vector<PicturePoint> errorPlaces;     // where the errors are, for the sheets
};

// One digit of the label font, triangulated, in units of the digit's ink height.
struct PictureGlyph {
    std::vector<PicturePoint> triangles;       // ink box from (0, 0) to (width, 1)
    double width;
};

// The label digits 1 to 9 (index 0 unused).
struct PictureGlyphs {
    PictureGlyph digits[10];
};

// ---------------------------------------------------------------------------
// Sizes (canvas units: the canvas is 30 across; an SVG unit is a tenth)
// ---------------------------------------------------------------------------

// The grid all geometry is snapped to; a power of two, so floats hold it exactly.
extern const double kPictureGrid;
// Largest distance between a curve and its flattened polyline.
extern const double kPictureFlatness;
// A piece whose largest inscribed circle is smaller than this is overlay noise or
// a hairline gap and goes to its neighbour.
extern const double kCrumbRadius;
// A region must hold a circle of this radius: a fingertip-sized click at 1024 x 768.
extern const double kClickRadius;
// Width of the outlines.
extern const double kOutlineWidth;
// Depth of the overlays in front of the regions (the overlay node's model y is -51.121 minus this).
extern const double kOutlineLift;
extern const double kNumberLift;

// ---------------------------------------------------------------------------
// Reading sources (picture_svg.cpp)
// ---------------------------------------------------------------------------

// Reads an SVG source for the page; problems are listed in the result's errors.
PictureSource readPictureSource(const std::string& path, const PageEntry* page);

// ---------------------------------------------------------------------------
// Regions (picture_geometry.cpp)
// ---------------------------------------------------------------------------

// Builds one variant of a source: regions, counts, splits, numbering, meshes and overlays.
PictureVariant buildPictureVariant(const PictureSource& source, bool detailed, const PictureGlyphs& glyphs);
// The variant's name in messages: "page03.svg, detailed variant (hpage03.pak)".
std::string pictureVariantName(const std::string& source, const PageEntry* page, bool detailed);
// The palette colour of a colour number as "#rrggbb".
std::string pictureColourHex(const PageEntry* page, int colour);

// ---------------------------------------------------------------------------
// Labels (picture_labels.cpp)
// ---------------------------------------------------------------------------

// The digits 1 to 9 of the label font, outlined and triangulated.
PictureGlyphs loadPictureGlyphs();
// Appends the triangles of digit n, its ink box centred on the point and height tall.
void placePictureDigit(const PictureGlyphs& glyphs, int n, PicturePoint centre, double height,
                       std::vector<PicturePoint>* triangles);
// The ink height of a label in a region whose largest inscribed circle has this radius.
double pictureDigitHeight(const PictureGlyphs& glyphs, int n, double radius);

// ---------------------------------------------------------------------------
// Output (pictures.cpp, picture_sheet.cpp)
// ---------------------------------------------------------------------------

// The archive entries of a built variant: region models, overlays and their textures.
void writePictureArchive(const PictureVariant& variant, const std::string& outDir);
// The manifest of a built variant as JSON text.
std::string pictureManifest(const PictureVariant& variant);
// The table of regions per colour against the catalogue, with the errors and notes.
std::string pictureReport(const PictureVariant& variant);
// A PNG of the page: finished, as the child first sees it, and both again for the
// detailed variant; error places circled in red. Either variant may be null.
void writePictureSheet(const PictureVariant* normal, const PictureVariant* detailed, const std::string& path);
