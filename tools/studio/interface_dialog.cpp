// The colour dialog's own pieces in "interface.pak": the palette the child
// picks from ("palitra_gradient", a rainbow from light to dark, and
// "palitra_colors", sixteen ready paints) and the two swatches ("color_hover",
// the colour under the mouse, and "color_const", the tube's colour).
//
// They hang under the dialog panel (eye depth 18.5, turned -90 degrees about
// X): a model point (x, y, z) lands at the panel + (x, z, -y), y is depth and
// negative is nearer. The panel's close button sits at (4.296, -0.2, 2.994),
// so the pieces keep to x -4.3 .. 4.3 and z -3.0 .. 2.4, a little in front of
// the panel's own images. All fade with the dialog, so all are transparent.
//
// The dialog takes the colour under the mouse from the rendered image, so the
// palette must be drawn exactly as painted here: flat images with no specular
// (lit straight on, ambient and diffuse add up to more than 1 and the texture
// shows unchanged), fully opaque wherever a colour can be taken.
#include "tools/studio/studio.h"

#include <cmath>

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// A flat piece of the dialog: its place and size in panel units, its image size.
struct DialogPiece {
    const char* key;
    double x, z;
    double width, height;
    int pixelsWide, pixelsHigh;
};

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

static const double kPieceDepth = -0.1;  // in front of the panel, behind its close button

static const DialogPiece kGradient = {"palitra_gradient", -1.15, 1.05, 6.3, 2.7, 512, 220};
static const DialogPiece kColours = {"palitra_colors", -1.15, -1.85, 6.3, 2.3, 512, 187};
static const DialogPiece kHoverSwatch = {"color_hover", 3.3, 0.7, 2.0, 2.0, 128, 128};
static const DialogPiece kConstSwatch = {"color_const", 3.3, -1.75, 1.5, 1.5, 128, 128};

// The ready paints, two rows of eight, as 0-255 values.
static const int kReadyPaints[2][8][3] = {
    {{229, 28, 35}, {255, 140, 0}, {255, 222, 0}, {140, 214, 40}, {20, 160, 60}, {70, 190, 255}, {30, 80, 230},
     {140, 60, 200}},
    {{255, 140, 190}, {230, 50, 150}, {255, 205, 160}, {140, 82, 30}, {215, 175, 110}, {255, 255, 255},
     {150, 150, 150}, {30, 30, 30}},
};

// The share of the gradient's width given to the grey column at its right end.
static const double kGreyShare = 0.08;

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

// A fully saturated colour of hue h (0 to 1 round the wheel).
static void pureHue(double h, double rgb[3]) {
    double x = std::fmod(h, 1.0) * 6.0;
    int sector = (int)x;
    // Eased within each sixth, so the bright yellow, cyan and pink do not stand out as lines.
    double f = x - sector;
    f = f * f * (3 - 2 * f);
    double table[6][3] = {{1, f, 0}, {1 - f, 1, 0}, {0, 1, f}, {0, 1 - f, 1}, {f, 0, 1}, {1, 0, 1 - f}};
    for (int i = 0; i < 3; ++i) rgb[i] = table[sector % 6][i];
}

static void storePixel(unsigned char* row, int x, double r, double g, double b) {
    // Cairo's ARGB32 pixel is one native 32-bit word, alpha in the top byte.
    uint32_t value = 0xFF000000u | ((uint32_t)std::lround(r * 255) << 16) | ((uint32_t)std::lround(g * 255) << 8) |
                     (uint32_t)std::lround(b * 255);
    ((uint32_t*)row)[x] = value;
}

// Hue across, from light at the top through the pure colour to dark at the
// bottom; a grey column from white to black at the right end.
static std::vector<uint8_t> gradientImage(const DialogPiece& piece) {
    cairo_surface_t* surface = studioCanvas(piece.pixelsWide, piece.pixelsHigh);
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    int stride = cairo_image_surface_get_stride(surface);
    int hueColumns = (int)std::lround(piece.pixelsWide * (1 - kGreyShare));
    for (int y = 0; y < piece.pixelsHigh; ++y) {
        double v = (y + 0.5) / piece.pixelsHigh;
        unsigned char* row = data + y * stride;
        for (int x = 0; x < piece.pixelsWide; ++x) {
            double rgb[3];
            if (x < hueColumns) {
                pureHue((x + 0.5) / hueColumns * 0.92, rgb);  // red round to pink, not back to red
                if (v < 0.5) {
                    double white = std::pow(1 - v / 0.5, 1.3) * 0.85;
                    for (double& c : rgb) c = c + (1 - c) * white;
                } else {
                    double dark = (v - 0.5) / 0.5 * 0.72;
                    for (double& c : rgb) c = c * (1 - dark);
                }
            } else {
                double grey = 1 - v;
                rgb[0] = rgb[1] = rgb[2] = grey;
            }
            storePixel(row, x, rgb[0], rgb[1], rgb[2]);
        }
    }
    cairo_surface_mark_dirty(surface);
    std::vector<uint8_t> png = studioPng(surface);
    cairo_surface_destroy(surface);
    return png;
}

// Sixteen paints as rounded tiles on a white board.
static std::vector<uint8_t> readyPaintsImage(const DialogPiece& piece) {
    cairo_surface_t* surface = studioCanvas(piece.pixelsWide, piece.pixelsHigh);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    double cellW = (double)piece.pixelsWide / 8, cellH = (double)piece.pixelsHigh / 2, gap = 5;
    for (int row = 0; row < 2; ++row)
        for (int col = 0; col < 8; ++col) {
            const int* c = kReadyPaints[row][col];
            double x0 = col * cellW + gap, y0 = row * cellH + gap;
            studioRoundedRectangle(cr, x0, y0, x0 + cellW - 2 * gap, y0 + cellH - 2 * gap, 12);
            cairo_set_source_rgb(cr, c[0] / 255.0, c[1] / 255.0, c[2] / 255.0);
            cairo_fill_preserve(cr);
            cairo_set_line_width(cr, 2.5);
            cairo_set_source_rgb(cr, c[0] / 255.0 * 0.7, c[1] / 255.0 * 0.7, c[2] / 255.0 * 0.7);
            if (c[0] == 255 && c[1] == 255 && c[2] == 255) cairo_set_source_rgb(cr, 0.75, 0.75, 0.78);
            cairo_stroke(cr);
        }
    cairo_destroy(cr);
    std::vector<uint8_t> png = studioPng(surface);
    cairo_surface_destroy(surface);
    return png;
}

// A round splash of paint: white, softly shaded and outlined, so that the
// node's colour shows as the paint.
static std::vector<uint8_t> swatchImage(const DialogPiece& piece, int bumps, double wobble) {
    cairo_surface_t* surface = studioCanvas(piece.pixelsWide, piece.pixelsHigh);
    cairo_t* cr = cairo_create(surface);
    cairo_translate(cr, piece.pixelsWide / 2.0, piece.pixelsHigh / 2.0);
    cairo_scale(cr, piece.pixelsWide / 2.0, piece.pixelsHigh / 2.0);
    cairo_new_path(cr);
    for (int i = 0; i <= 240; ++i) {
        double a = 2 * M_PI * i / 240;
        double r = 0.86 + wobble * std::cos(bumps * a);
        cairo_line_to(cr, r * std::cos(a), r * std::sin(a));
    }
    cairo_close_path(cr);
    cairo_pattern_t* shade = cairo_pattern_create_radial(-0.3, -0.35, 0.1, 0, 0, 0.95);
    cairo_pattern_add_color_stop_rgb(shade, 0, 1, 1, 1);
    cairo_pattern_add_color_stop_rgb(shade, 0.55, 1, 1, 1);
    cairo_pattern_add_color_stop_rgb(shade, 1, 0.8, 0.8, 0.8);
    cairo_set_source(cr, shade);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(shade);
    cairo_set_line_width(cr, 0.07);
    cairo_set_source_rgb(cr, 0.42, 0.42, 0.42);
    cairo_stroke(cr);
    cairo_destroy(cr);
    std::vector<uint8_t> png = studioPng(surface);
    cairo_surface_destroy(surface);
    return png;
}

static void addPiece(PakArchive* archive, const DialogPiece& piece, const std::vector<uint8_t>& image) {
    std::string texture = std::string(piece.key) + ".png";
    studioAdd(archive, texture, image);
    MeshSource mesh = studioUprightImage(texture, (float)piece.x, (float)piece.z, (float)piece.width,
                                         (float)piece.height, (float)kPieceDepth, true);
    // Textures repeat (the GL default), so at the very edge the filter would
    // mix in the opposite edge: the gradient's white top would show as a line
    // under its dark bottom. Sampling stops half a texel inside instead.
    float insetS = 0.5f / piece.pixelsWide, insetT = 0.5f / piece.pixelsHigh;
    for (size_t i = 0; i + 1 < mesh.texCoords.size(); i += 2) {
        mesh.texCoords[i] = insetS + mesh.texCoords[i] * (1 - 2 * insetS);
        mesh.texCoords[i + 1] = insetT + mesh.texCoords[i + 1] * (1 - 2 * insetT);
    }
    studioAdd(archive, piece.key, studioModel({mesh}));
}

// ---------------------------------------------------------------------------
// Public operations
// ---------------------------------------------------------------------------

void addInterfaceColourDialog(PakArchive* archive) {
    addPiece(archive, kGradient, gradientImage(kGradient));
    addPiece(archive, kColours, readyPaintsImage(kColours));
    addPiece(archive, kHoverSwatch, swatchImage(kHoverSwatch, 7, 0.05));
    addPiece(archive, kConstSwatch, swatchImage(kConstSwatch, 6, 0.04));
}
