// The bubbles of "interface.pak", "buble1" to "buble5": round soap bubbles
// that puff out of a clicked tube and burst over a finished picture. The game
// colours each with its tube's colour and fades it, so they are white and
// transparent; billboarded, they face the viewer (+Z) and are centred on the
// origin, since the game scales them about it.
#include "tools/studio/studio.h"

#include <cmath>
#include <string>

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// One bubble's look: how strong its rim and skin are and where the light glints.
struct BubbleLook {
    double rim;           // opacity of the rim
    double skin;          // opacity of the middle
    double glintAngle;    // degrees, where the big glint sits (0 = right, 90 = down on the image)
    double glintSize;
    int sparkles;         // small round glints beside the big one
    bool star;            // a four-pointed twinkle
};

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

static const double kBubbleSize = 2.0;  // model units across; the game shows them at 0.1 to 0.4 of that
static const int kBubblePixels = 128;

static const BubbleLook kBubbles[5] = {
    {0.90, 0.30, 225.0, 1.0, 1, false},
    {0.95, 0.38, 235.0, 0.9, 2, false},
    {0.85, 0.26, 315.0, 0.8, 1, false},
    {0.92, 0.34, 210.0, 1.1, 0, true},
    {0.88, 0.30, 250.0, 0.7, 2, true},
};

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

static std::vector<uint8_t> bubbleImage(const BubbleLook& look) {
    cairo_surface_t* surface = studioCanvas(kBubblePixels, kBubblePixels);
    cairo_t* cr = cairo_create(surface);
    cairo_translate(cr, kBubblePixels / 2.0, kBubblePixels / 2.0);
    cairo_scale(cr, kBubblePixels / 2.0, kBubblePixels / 2.0);

    // Skin and rim in one radial sweep; the outer edge is soft.
    cairo_pattern_t* body = cairo_pattern_create_radial(0, 0, 0, 0, 0, 0.95);
    cairo_pattern_add_color_stop_rgba(body, 0.0, 1, 1, 1, look.skin * 0.6);
    cairo_pattern_add_color_stop_rgba(body, 0.65, 1, 1, 1, look.skin);
    cairo_pattern_add_color_stop_rgba(body, 0.88, 1, 1, 1, look.rim);
    cairo_pattern_add_color_stop_rgba(body, 0.94, 1, 1, 1, look.rim * 0.8);
    cairo_pattern_add_color_stop_rgba(body, 1.0, 1, 1, 1, 0.0);
    cairo_arc(cr, 0, 0, 0.95, 0, 2 * M_PI);
    cairo_set_source(cr, body);
    cairo_fill(cr);
    cairo_pattern_destroy(body);

    // The big glint: a curved sliver along the rim.
    double a = look.glintAngle * M_PI / 180;
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, 0.13 * look.glintSize);
    cairo_arc(cr, 0, 0, 0.66, a - 0.45 * look.glintSize, a + 0.45 * look.glintSize);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.95);
    cairo_stroke(cr);
    for (int i = 0; i < look.sparkles; ++i) {
        double b = a + 0.75 + 0.35 * i;
        cairo_arc(cr, 0.66 * std::cos(b), 0.66 * std::sin(b), 0.07 - 0.02 * i, 0, 2 * M_PI);
        cairo_fill(cr);
    }
    if (look.star) {
        double sx = 0.38 * std::cos(a + M_PI), sy = 0.38 * std::sin(a + M_PI);
        cairo_move_to(cr, sx, sy - 0.2);
        cairo_curve_to(cr, sx + 0.03, sy - 0.03, sx + 0.03, sy - 0.03, sx + 0.2, sy);
        cairo_curve_to(cr, sx + 0.03, sy + 0.03, sx + 0.03, sy + 0.03, sx, sy + 0.2);
        cairo_curve_to(cr, sx - 0.03, sy + 0.03, sx - 0.03, sy + 0.03, sx - 0.2, sy);
        cairo_curve_to(cr, sx - 0.03, sy - 0.03, sx - 0.03, sy - 0.03, sx, sy - 0.2);
        cairo_close_path(cr);
        cairo_set_source_rgba(cr, 1, 1, 1, 0.9);
        cairo_fill(cr);
    }
    cairo_destroy(cr);
    std::vector<uint8_t> png = studioPng(surface);
    cairo_surface_destroy(surface);
    return png;
}

// ---------------------------------------------------------------------------
// Public operations
// ---------------------------------------------------------------------------

void addInterfaceBubbles(PakArchive* archive) {
    for (int i = 0; i < 5; ++i) {
        std::string key = "buble" + std::to_string(i + 1);
        studioAdd(archive, key + ".png", bubbleImage(kBubbles[i]));
        MeshSource mesh =
            studioFacingImage(key + ".png", 0.0f, 0.0f, (float)kBubbleSize, (float)kBubbleSize, 0.0f, true);
        studioAdd(archive, key, studioModel({mesh}));
    }
}
