// The interface archive "interface.pak": the desk background with the paper
// sheet behind the picture, the toolbar buttons, the paint tubes with their
// ribbons and number labels, the brush, the bubbles, the colour dialog's
// pieces and the empty stand-in for the numbers of free mode. Everything is
// drawn here in code; the other interface_*.cpp files add their parts.
//
// The background node is turned -90 degrees about X, so a model point
// (x, y, z) lands at scene (x, z, -y): x runs right, z runs up and y is the
// depth, eye depth = 100 + y.
#include "tools/studio/studio.h"

#include <cmath>
#include <cstdint>

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// A rectangle in scene units.
struct SceneRect {
    double x0, y0, x1, y1;
};

// Something small lying on the desk outside the sheet, in desk units (x right, y up).
struct DeskCrayon {
    double x, y;        // centre
    double angle;       // degrees, counter-clockwise from pointing right
    double length;
    double r, g, b;
};

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

// The picture canvas as the page builder places it: scene x and y at eye depth 48.879.
static const SceneRect kCanvas = {-11.716, -14.607, 18.284, 15.393};
static const double kCanvasDepth = 48.879;

// The sheet lies just behind the canvas and shows a little white margin around it.
static const double kSheetDepth = 49.2;
static const double kSheetMargin = 0.55;

// The desk lies behind the sheet. Its half-extents cover the view at 21:9
// (half width 0.966 x depth) and at 5:4 (half height 0.414 x depth) with a margin.
static const double kDeskDepth = 49.6;
static const double kDeskHalfWidth = 49.0;
// How far inside the sheet's outline the desk's hidden part is left out
// (about ten pixels at 1920 x 1080).
static const double kDeskHoleInset = 0.5;
static const int kDeskImageWidth = 2048;
static const int kDeskImageHeight = 900;

// Planks of a warm, light wood, bottom to top; each a little different.
static const double kPlankColours[][3] = {
    {0.945, 0.800, 0.588}, {0.925, 0.772, 0.553}, {0.952, 0.812, 0.604},
    {0.930, 0.780, 0.565}, {0.948, 0.806, 0.596}, {0.922, 0.768, 0.548},
    {0.940, 0.795, 0.580}, {0.933, 0.784, 0.570},
};
static const double kPlankHeight = 5.6;

// Crayons lying about on the wide sides of the desk, seen only on wide screens
// (the view's half width at the desk is 25.8 at 5:4 and 47.9 at 21:9).
static const DeskCrayon kDeskCrayons[] = {
    {-33.5, 9.0, 62.0, 6.5, 0.93, 0.27, 0.23},
    {-30.5, 7.5, 70.0, 6.0, 0.20, 0.62, 0.93},
    {-37.0, -8.0, -20.0, 6.2, 0.35, 0.78, 0.32},
    {32.0, -10.5, 25.0, 6.3, 0.99, 0.78, 0.16},
    {36.5, 6.0, 105.0, 5.8, 0.62, 0.38, 0.88},
    {40.0, -4.0, -65.0, 6.0, 1.00, 0.52, 0.72},
};

// Scattered drops of paint outside the sheet, two of them close enough to show
// at 5:4 too: desk x, y, radius, colour.
static const double kPaintDrops[][6] = {
    {-21.5, -17.0, 1.0, 0.98, 0.55, 0.20},
    {-19.8, -18.6, 0.5, 0.98, 0.55, 0.20},
    {22.6, 12.0, 1.2, 0.30, 0.70, 0.95},
    {24.0, 10.2, 0.55, 0.30, 0.70, 0.95},
    {-30.5, 17.2, 0.9, 0.55, 0.80, 0.25},
    {43.0, 16.0, 1.0, 0.95, 0.35, 0.55},
    {-42.5, 15.0, 1.2, 1.00, 0.82, 0.20},
};

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

// A fixed pseudo-random sequence, so the wood grain is the same on every build.
static uint32_t deskRandomState = 20240611u;

static double deskRandom() {
    deskRandomState = deskRandomState * 1664525u + 1013904223u;
    return (double)(deskRandomState >> 8) / 16777216.0;
}

// The sheet in scene units at its own depth: the canvas seen through the same
// view rays, plus the margin.
static SceneRect sheetRect() {
    double k = kSheetDepth / kCanvasDepth;
    return SceneRect{kCanvas.x0 * k - kSheetMargin, kCanvas.y0 * k - kSheetMargin, kCanvas.x1 * k + kSheetMargin,
                     kCanvas.y1 * k + kSheetMargin};
}

static void drawPlanks(cairo_t* cr, double halfWidth, double halfHeight) {
    int plankCount = (int)std::ceil(2 * halfHeight / kPlankHeight) + 1;
    int colourCount = (int)(sizeof kPlankColours / sizeof kPlankColours[0]);
    for (int p = 0; p < plankCount; ++p) {
        double y0 = -halfHeight + p * kPlankHeight - 1.3;
        const double* c = kPlankColours[p % colourCount];
        cairo_rectangle(cr, -halfWidth, y0, 2 * halfWidth, kPlankHeight);
        cairo_set_source_rgb(cr, c[0], c[1], c[2]);
        cairo_fill(cr);

        // Grain: long, gently waving lines along the plank.
        int lines = 9;
        for (int l = 0; l < lines; ++l) {
            double y = y0 + (l + 0.5 + (deskRandom() - 0.5) * 0.6) * kPlankHeight / lines;
            double amplitude = 0.05 + deskRandom() * 0.12;
            double wave = 6.0 + deskRandom() * 10.0;
            double phase = deskRandom() * 6.283;
            cairo_move_to(cr, -halfWidth, y);
            for (double x = -halfWidth; x <= halfWidth; x += 0.5)
                cairo_line_to(cr, x, y + amplitude * std::sin(x / wave + phase));
            cairo_set_line_width(cr, 0.05 + deskRandom() * 0.07);
            cairo_set_source_rgba(cr, 0.62, 0.42, 0.22, 0.10 + deskRandom() * 0.08);
            cairo_stroke(cr);
        }
        // A soft knot now and then.
        if (deskRandom() < 0.6) {
            double kx = -halfWidth + deskRandom() * 2 * halfWidth, ky = y0 + kPlankHeight * (0.3 + 0.4 * deskRandom());
            for (int ring = 3; ring >= 1; --ring) {
                cairo_save(cr);
                cairo_translate(cr, kx, ky);
                cairo_scale(cr, 1.0, 0.35);
                cairo_arc(cr, 0, 0, 0.35 * ring, 0, 2 * M_PI);
                cairo_restore(cr);
                cairo_set_line_width(cr, 0.06);
                cairo_set_source_rgba(cr, 0.60, 0.40, 0.20, 0.16);
                cairo_stroke(cr);
            }
        }
        // The seam to the next plank: a dark groove with a light edge under it.
        cairo_set_line_width(cr, 0.09);
        cairo_move_to(cr, -halfWidth, y0 + kPlankHeight);
        cairo_line_to(cr, halfWidth, y0 + kPlankHeight);
        cairo_set_source_rgba(cr, 0.50, 0.32, 0.16, 0.45);
        cairo_stroke(cr);
        cairo_move_to(cr, -halfWidth, y0 + kPlankHeight - 0.1);
        cairo_line_to(cr, halfWidth, y0 + kPlankHeight - 0.1);
        cairo_set_source_rgba(cr, 1.0, 0.93, 0.80, 0.35);
        cairo_stroke(cr);
    }
}

// A soft shadow: the rectangle grown in many faint steps.
static void drawSoftShadow(cairo_t* cr, SceneRect r, double dx, double dy, double spread, double strength) {
    int steps = 24;
    for (int i = steps; i >= 1; --i) {
        double grow = spread * i / steps;
        studioRoundedRectangle(cr, r.x0 + dx - grow, r.y0 + dy - grow, r.x1 + dx + grow, r.y1 + dy + grow, 0.2 + grow);
        cairo_set_source_rgba(cr, 0.35, 0.22, 0.10, strength / steps);
        cairo_fill(cr);
    }
}

// A wax crayon: a rounded body with a paper wrapper and a cone tip, pointing along +x.
static void drawCrayon(cairo_t* cr, const DeskCrayon& c) {
    double half = c.length / 2, radius = 0.42;
    cairo_save(cr);
    cairo_translate(cr, c.x + 0.25, c.y - 0.3);
    cairo_rotate(cr, c.angle * M_PI / 180);
    studioRoundedRectangle(cr, -half, -radius, half - 0.6, radius, radius);
    cairo_set_source_rgba(cr, 0.35, 0.22, 0.10, 0.18);
    cairo_fill(cr);
    cairo_restore(cr);

    cairo_save(cr);
    cairo_translate(cr, c.x, c.y);
    cairo_rotate(cr, c.angle * M_PI / 180);
    // Tip.
    cairo_move_to(cr, half - 1.2, -radius * 0.8);
    cairo_line_to(cr, half - 0.05, -0.1);
    cairo_arc(cr, half - 0.1, 0, 0.1, -M_PI / 2, M_PI / 2);
    cairo_line_to(cr, half - 1.2, radius * 0.8);
    cairo_close_path(cr);
    cairo_set_source_rgb(cr, c.r * 0.85, c.g * 0.85, c.b * 0.85);
    cairo_fill(cr);
    // Body, rounded at the back.
    studioRoundedRectangle(cr, -half, -radius, half - 1.1, radius, radius * 0.6);
    cairo_pattern_t* shade = cairo_pattern_create_linear(0, radius, 0, -radius);
    cairo_pattern_add_color_stop_rgb(shade, 0.0, std::fmin(1, c.r + 0.25), std::fmin(1, c.g + 0.25),
                                     std::fmin(1, c.b + 0.25));
    cairo_pattern_add_color_stop_rgb(shade, 0.45, c.r, c.g, c.b);
    cairo_pattern_add_color_stop_rgb(shade, 1.0, c.r * 0.72, c.g * 0.72, c.b * 0.72);
    cairo_set_source(cr, shade);
    cairo_fill(cr);
    cairo_pattern_destroy(shade);
    // Paper wrapper with two thin stripes.
    double w0 = -half + 0.9, w1 = half - 2.2;
    cairo_rectangle(cr, w0, -radius, w1 - w0, 2 * radius);
    cairo_set_source_rgba(cr, 1.0, 1.0, 1.0, 0.35);
    cairo_fill(cr);
    cairo_set_line_width(cr, 0.12);
    for (double x : {w0 + 0.35, w1 - 0.35}) {
        cairo_move_to(cr, x, -radius);
        cairo_line_to(cr, x, radius);
    }
    cairo_set_source_rgb(cr, c.r * 0.6, c.g * 0.6, c.b * 0.6);
    cairo_stroke(cr);
    cairo_restore(cr);
}

static void drawPaintDrop(cairo_t* cr, const double* d) {
    double x = d[0], y = d[1], radius = d[2];
    cairo_arc(cr, x + 0.12, y - 0.15, radius, 0, 2 * M_PI);
    cairo_set_source_rgba(cr, 0.35, 0.22, 0.10, 0.15);
    cairo_fill(cr);
    cairo_arc(cr, x, y, radius, 0, 2 * M_PI);
    cairo_set_source_rgb(cr, d[3], d[4], d[5]);
    cairo_fill(cr);
    cairo_arc(cr, x - radius * 0.35, y + radius * 0.35, radius * 0.28, 0, 2 * M_PI);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.55);
    cairo_fill(cr);
}

// The desk image in desk units (x right, y up, origin at the view's centre).
static std::vector<uint8_t> deskImage(double halfWidth, double halfHeight) {
    cairo_surface_t* surface = studioCanvas(kDeskImageWidth, kDeskImageHeight);
    cairo_t* cr = cairo_create(surface);
    cairo_translate(cr, kDeskImageWidth / 2.0, kDeskImageHeight / 2.0);
    cairo_scale(cr, kDeskImageWidth / (2 * halfWidth), -kDeskImageHeight / (2 * halfHeight));

    drawPlanks(cr, halfWidth, halfHeight);

    // The sheet's shadow, seen through the view rays at the desk's depth.
    SceneRect s = sheetRect();
    double k = kDeskDepth / kSheetDepth;
    SceneRect onDesk = {s.x0 * k, s.y0 * k, s.x1 * k, s.y1 * k};
    drawSoftShadow(cr, onDesk, 0.25, -0.35, 0.9, 0.55);

    for (const DeskCrayon& c : kDeskCrayons) drawCrayon(cr, c);
    for (const double* d : kPaintDrops) drawPaintDrop(cr, d);

    // A gentle darkening towards the far edges keeps the eye in the middle.
    cairo_pattern_t* vignette = cairo_pattern_create_radial(0, 0, 20, 0, 0, 55);
    cairo_pattern_add_color_stop_rgba(vignette, 0, 0.3, 0.18, 0.05, 0.0);
    cairo_pattern_add_color_stop_rgba(vignette, 1, 0.3, 0.18, 0.05, 0.22);
    cairo_rectangle(cr, -halfWidth, -halfHeight, 2 * halfWidth, 2 * halfHeight);
    cairo_set_source(cr, vignette);
    cairo_fill(cr);
    cairo_pattern_destroy(vignette);

    cairo_destroy(cr);
    std::vector<uint8_t> png = studioPng(surface);
    cairo_surface_destroy(surface);
    return png;
}

// The desk image as a rectangle with a hole where the sheet always covers it:
// eight cells of a three-by-three grid, whole edges shared, so no pixel falls
// between them. A full rectangle would have the software renderer fill and
// multisample the third of the screen under the sheet twice each frame.
static MeshSource deskAroundSheet(double halfWidth, double halfHeight) {
    SceneRect s = sheetRect();
    double k = kDeskDepth / kSheetDepth;
    const double xs[4] = {-halfWidth, s.x0 * k + kDeskHoleInset, s.x1 * k - kDeskHoleInset, halfWidth};
    const double zs[4] = {-halfHeight, s.y0 * k + kDeskHoleInset, s.y1 * k - kDeskHoleInset, halfHeight};
    const float y = (float)(kDeskDepth - 100.0);
    MeshSource mesh = studioMesh("fon_desk.png", MATERIAL_FLAT, false);
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) {
            if (i == 1 && j == 1) continue;
            // The image's coordinates as on the whole rectangle: left-bottom (0, 1), right-top (1, 0).
            studioUprightRect(&mesh, (float)xs[i], (float)zs[j], (float)xs[i + 1], (float)zs[j + 1], y,
                              (float)((xs[i] + halfWidth) / (2 * halfWidth)),
                              (float)((halfHeight - zs[j]) / (2 * halfHeight)),
                              (float)((xs[i + 1] + halfWidth) / (2 * halfWidth)),
                              (float)((halfHeight - zs[j + 1]) / (2 * halfHeight)));
        }
    return mesh;
}

// "fon": the desk far behind, the sheet just behind the canvas.
static void addBackground(PakArchive* archive) {
    double halfWidth = kDeskHalfWidth;
    double halfHeight = halfWidth * kDeskImageHeight / kDeskImageWidth;
    studioAdd(archive, "fon_desk.png", deskImage(halfWidth, halfHeight));
    studioAdd(archive, "fon_sheet.png", studioSolidPng(1.0, 1.0, 1.0));

    SceneRect s = sheetRect();
    std::vector<MeshSource> meshes;
    meshes.push_back(deskAroundSheet(halfWidth, halfHeight));
    meshes.push_back(studioUprightImage("fon_sheet.png", (float)((s.x0 + s.x1) / 2), (float)((s.y0 + s.y1) / 2),
                                        (float)(s.x1 - s.x0), (float)(s.y1 - s.y0), (float)(kSheetDepth - 100.0),
                                        false));
    studioAdd(archive, "fon", studioModel(meshes));
}

// ---------------------------------------------------------------------------
// Public operations
// ---------------------------------------------------------------------------

// Parts made in the other interface files; each adds its models and their images.
void addInterfaceToolbar(PakArchive* archive);
void addInterfaceTubes(PakArchive* archive);
void addInterfaceBrush(PakArchive* archive);
void addInterfaceBubbles(PakArchive* archive);
void addInterfaceColourDialog(PakArchive* archive);

void buildInterface(const std::string& outDir) {
    PakArchive archive = PakArchive();
    addBackground(&archive);
    addInterfaceToolbar(&archive);
    addInterfaceTubes(&archive);
    addInterfaceBrush(&archive);
    addInterfaceBubbles(&archive);
    addInterfaceColourDialog(&archive);
    // Free mode shows no numbers over the picture: the stand-in holds no meshes.
    studioAdd(&archive, "list_nums_nodigits", studioModel({}));
    studioWrite(&archive, outDir, "interface.pak");
}

STUDIO_BUILDER("interface", buildInterface);
