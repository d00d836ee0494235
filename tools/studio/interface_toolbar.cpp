// The toolbar buttons of "interface.pak": round, glossy sweets of buttons,
// each its own bright colour with a large white picture that needs no reading.
//
// A button node stands at eye depth 39 turned -90 degrees about X: a model
// point (x, y, z) lands at the button's position + (x, z, -y). Each image is
// centred on the origin in the x/z plane (hover growth scales about it); the
// two page arrows share one position and carry their own offsets.
#include "tools/studio/studio.h"

#include <pango/pangocairo.h>

#include <cmath>

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// The picture on a button.
enum ButtonIcon {
    ICON_CLOSE, ICON_HELP, ICON_GEAR, ICON_LEFT, ICON_RIGHT, ICON_UNDO, ICON_ERASER, ICON_RESET, ICON_PALETTE
};

struct ToolbarButton {
    const char* key;
    double r, g, b;        // the button's colour
    ButtonIcon icon;
    double centreX;        // offset of the image from the node's origin, model x
};

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

// Every image is this wide in the model (the round button is 0.9 of it across).
static const double kButtonSize = 1.95;
static const double kArrowOffset = 1.15;
static const int kButtonPixels = 128;

static const ToolbarButton kButtons[] = {
    {"knopka_close", 0.94, 0.27, 0.24, ICON_CLOSE, 0.0},
    {"knopka_help", 0.20, 0.58, 0.96, ICON_HELP, 0.0},
    {"knopka_menu", 0.62, 0.40, 0.90, ICON_GEAR, 0.0},
    {"knopka_left", 0.27, 0.78, 0.35, ICON_LEFT, -kArrowOffset},
    {"knopka_right", 0.27, 0.78, 0.35, ICON_RIGHT, kArrowOffset},
    {"knopka_back", 1.00, 0.60, 0.16, ICON_UNDO, 0.0},
    {"knopka_clear", 1.00, 0.44, 0.64, ICON_ERASER, 0.0},
    {"knopka_reset", 0.10, 0.74, 0.70, ICON_RESET, 0.0},
    {"knopka_color", 1.00, 0.78, 0.15, ICON_PALETTE, 0.0},
};

// ---------------------------------------------------------------------------
// Internal helpers: pictures
// ---------------------------------------------------------------------------

static void paintClose(cairo_t* cr) {
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, 0.27);
    cairo_move_to(cr, -0.31, -0.31);
    cairo_line_to(cr, 0.31, 0.31);
    cairo_move_to(cr, 0.31, -0.31);
    cairo_line_to(cr, -0.31, 0.31);
    cairo_stroke(cr);
}

static void paintHelp(cairo_t* cr) {
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* font = pango_font_description_from_string("Andika Bold");
    pango_font_description_set_absolute_size(font, 1.25 * PANGO_SCALE);
    pango_layout_set_font_description(layout, font);
    pango_layout_set_text(layout, "?", -1);
    PangoRectangle ink;
    pango_layout_get_extents(layout, &ink, nullptr);
    double inkX = (double)ink.x / PANGO_SCALE, inkY = (double)ink.y / PANGO_SCALE;
    double inkW = (double)ink.width / PANGO_SCALE, inkH = (double)ink.height / PANGO_SCALE;
    cairo_move_to(cr, -inkX - inkW / 2, -inkY - inkH / 2);
    pango_cairo_layout_path(cr, layout);
    cairo_fill(cr);
    pango_font_description_free(font);
    g_object_unref(layout);
}

static void paintGear(cairo_t* cr) {
    const int teeth = 8;
    const double outer = 0.56, root = 0.42, hole = 0.17;
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    cairo_new_path(cr);
    for (int i = 0; i < teeth; ++i) {
        double a = 2 * M_PI * i / teeth;
        double step = 2 * M_PI / teeth;
        // Each tooth: a flat top a little narrower than its base.
        double baseHalf = step * 0.26, topHalf = step * 0.17;
        cairo_arc(cr, 0, 0, root, a - step / 2, a - baseHalf);
        cairo_line_to(cr, outer * std::cos(a - topHalf), outer * std::sin(a - topHalf));
        cairo_arc(cr, 0, 0, outer, a - topHalf, a + topHalf);
        cairo_line_to(cr, root * std::cos(a + baseHalf), root * std::sin(a + baseHalf));
        cairo_arc(cr, 0, 0, root, a + baseHalf, a + step / 2);
    }
    cairo_close_path(cr);
    cairo_new_sub_path(cr);
    cairo_arc(cr, 0, 0, hole, 0, 2 * M_PI);
    cairo_close_path(cr);
    cairo_fill_preserve(cr);
    // Rounds the teeth's corners a little.
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_width(cr, 0.06);
    cairo_stroke(cr);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
}

// A chunky arrow pointing right (direction +1) or left (-1).
static void paintArrow(cairo_t* cr, double direction) {
    const double points[][2] = {{-0.42, -0.15}, {0.0, -0.15}, {0.0, -0.40}, {0.46, 0.0},
                                {0.0, 0.40},    {0.0, 0.15},  {-0.42, 0.15}};
    cairo_new_path(cr);
    for (const double* p : points) cairo_line_to(cr, direction * (p[0] + 0.02), p[1]);
    cairo_close_path(cr);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_width(cr, 0.12);
    cairo_fill_preserve(cr);
    cairo_stroke(cr);
}


// Undo: a hooked arrow curling back to the left.
static void paintUndo(cairo_t* cr) {
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, 0.2);
    cairo_new_path(cr);
    cairo_arc(cr, 0.06, 0.08, 0.36, M_PI * 1.02, M_PI * 2.3);
    cairo_stroke(cr);
    // The head at the left end, pointing down.
    cairo_move_to(cr, -0.56, 0.02);
    cairo_line_to(cr, -0.04, 0.02);
    cairo_line_to(cr, -0.30, 0.42);
    cairo_close_path(cr);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_width(cr, 0.08);
    cairo_fill_preserve(cr);
    cairo_stroke(cr);
}

// Start over: a round arrow going all the way round.
static void paintReset(cairo_t* cr) {
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, 0.19);
    cairo_new_path(cr);
    double radius = 0.36, end = -M_PI * 0.42;
    cairo_arc(cr, 0, 0.02, radius, -M_PI * 0.05, M_PI * 1.58);
    cairo_stroke(cr);
    // The head at the arc's end, pointing on round the circle (clockwise on screen).
    double ex = radius * std::cos(end), ey = 0.02 + radius * std::sin(end);
    double tx = -std::sin(end), ty = std::cos(end);  // clockwise tangent
    double nx = std::cos(end), ny = std::sin(end);   // outward
    cairo_move_to(cr, ex + nx * 0.24 - tx * 0.02, ey + ny * 0.24 - ty * 0.02);
    cairo_line_to(cr, ex - nx * 0.24 - tx * 0.02, ey - ny * 0.24 - ty * 0.02);
    cairo_line_to(cr, ex + tx * 0.30, ey + ty * 0.30);
    cairo_close_path(cr);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_width(cr, 0.08);
    cairo_fill_preserve(cr);
    cairo_stroke(cr);
}

// The eraser's outline, turned to lie across the button.
static void eraserPath(cairo_t* cr) {
    cairo_new_path(cr);
    double x0 = -0.46, x1 = 0.46, y0 = -0.2, y1 = 0.2, r = 0.09;
    cairo_arc(cr, x1 - r, y0 + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x1 - r, y1 - r, r, 0, M_PI / 2);
    cairo_arc(cr, x0 + r, y1 - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x0 + r, y0 + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

static void paintEraserShape(cairo_t* cr) {
    cairo_save(cr);
    cairo_translate(cr, 0.0, -0.06);
    cairo_rotate(cr, -M_PI / 5);
    eraserPath(cr);
    cairo_fill(cr);
    cairo_restore(cr);
    // Crumbs rubbed off, under the eraser.
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, 0.09);
    cairo_move_to(cr, -0.5, 0.5);
    cairo_line_to(cr, -0.12, 0.5);
    cairo_move_to(cr, 0.04, 0.5);
    cairo_line_to(cr, 0.16, 0.5);
    cairo_stroke(cr);
}

// The eraser's paper sleeve, in blue, over the white eraser.
static void paintEraserSleeve(cairo_t* cr) {
    cairo_save(cr);
    cairo_translate(cr, 0.0, -0.06);
    cairo_rotate(cr, -M_PI / 5);
    eraserPath(cr);
    cairo_clip(cr);
    cairo_rectangle(cr, -0.06, -0.3, 0.6, 0.6);
    cairo_set_source_rgb(cr, 0.25, 0.62, 0.98);
    cairo_fill(cr);
    cairo_rectangle(cr, -0.06, -0.3, 0.05, 0.6);
    cairo_set_source_rgb(cr, 0.16, 0.45, 0.80);
    cairo_fill(cr);
    cairo_restore(cr);
}

// The palette: a white board with a thumb hole.
static void palettePath(cairo_t* cr) {
    cairo_new_path(cr);
    cairo_save(cr);
    cairo_scale(cr, 0.58, 0.46);
    cairo_arc(cr, 0, 0, 1.0, M_PI * 0.18, M_PI * 2.05);
    cairo_restore(cr);
    // The notch at the lower right.
    cairo_curve_to(cr, 0.42, 0.06, 0.2, 0.12, 0.28, 0.34);
    cairo_close_path(cr);
    cairo_new_sub_path(cr);
    cairo_arc(cr, 0.08, 0.22, 0.09, 0, 2 * M_PI);
    cairo_close_path(cr);
}

static void paintPaletteShape(cairo_t* cr) {
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    palettePath(cr);
    cairo_fill(cr);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
}

static void paintPaletteDots(cairo_t* cr) {
    static const double dots[][5] = {
        {-0.30, 0.08, 0.95, 0.20, 0.20},  {-0.26, -0.2, 1.00, 0.80, 0.10}, {0.02, -0.28, 0.25, 0.75, 0.30},
        {0.30, -0.18, 0.20, 0.50, 0.95},  {-0.12, 0.26, 0.70, 0.35, 0.90},
    };
    for (const double* d : dots) {
        cairo_arc(cr, d[0], d[1], 0.1, 0, 2 * M_PI);
        cairo_set_source_rgb(cr, d[2], d[3], d[4]);
        cairo_fill(cr);
    }
}

// ---------------------------------------------------------------------------
// Internal helpers: the button
// ---------------------------------------------------------------------------

static double lighter(double c, double amount) { return c + (1.0 - c) * amount; }

// The picture's shape, filled or stroked with the current source (the unit square [-1, 1], y down).
static void paintIconShape(cairo_t* cr, ButtonIcon icon) {
    switch (icon) {
    case ICON_CLOSE: paintClose(cr); break;
    case ICON_HELP: paintHelp(cr); break;
    case ICON_GEAR: paintGear(cr); break;
    case ICON_LEFT: paintArrow(cr, -1.0); break;
    case ICON_RIGHT: paintArrow(cr, 1.0); break;
    case ICON_UNDO: paintUndo(cr); break;
    case ICON_ERASER: paintEraserShape(cr); break;
    case ICON_RESET: paintReset(cr); break;
    case ICON_PALETTE: paintPaletteShape(cr); break;
    }
}

static std::vector<uint8_t> buttonImage(const ToolbarButton& button) {
    cairo_surface_t* surface = studioCanvas(kButtonPixels, kButtonPixels);
    cairo_t* cr = cairo_create(surface);
    cairo_translate(cr, kButtonPixels / 2.0, kButtonPixels / 2.0);
    cairo_scale(cr, kButtonPixels / 2.0, kButtonPixels / 2.0);
    double r = button.r, g = button.g, b = button.b;

    // Soft shadow below the button.
    cairo_pattern_t* shadow = cairo_pattern_create_radial(0, 0.05, 0.8, 0, 0.05, 0.99);
    cairo_pattern_add_color_stop_rgba(shadow, 0, 0.2, 0.12, 0.05, 0.45);
    cairo_pattern_add_color_stop_rgba(shadow, 1, 0.2, 0.12, 0.05, 0.0);
    cairo_arc(cr, 0, 0.05, 0.99, 0, 2 * M_PI);
    cairo_set_source(cr, shadow);
    cairo_fill(cr);
    cairo_pattern_destroy(shadow);

    // White rim, a touch darker at the bottom.
    cairo_pattern_t* rim = cairo_pattern_create_linear(0, -0.9, 0, 0.9);
    cairo_pattern_add_color_stop_rgb(rim, 0, 1, 1, 1);
    cairo_pattern_add_color_stop_rgb(rim, 1, 0.86, 0.86, 0.88);
    cairo_arc(cr, 0, 0, 0.9, 0, 2 * M_PI);
    cairo_set_source(cr, rim);
    cairo_fill(cr);
    cairo_pattern_destroy(rim);

    // The coloured disc, lit from the upper left.
    cairo_pattern_t* disc = cairo_pattern_create_radial(-0.25, -0.3, 0.05, 0, 0, 0.8);
    cairo_pattern_add_color_stop_rgb(disc, 0, lighter(r, 0.35), lighter(g, 0.35), lighter(b, 0.35));
    cairo_pattern_add_color_stop_rgb(disc, 0.6, r, g, b);
    cairo_pattern_add_color_stop_rgb(disc, 1, r * 0.78, g * 0.78, b * 0.78);
    cairo_arc(cr, 0, 0, 0.79, 0, 2 * M_PI);
    cairo_set_source(cr, disc);
    cairo_fill(cr);
    cairo_pattern_destroy(disc);

    // Gloss over the upper half.
    cairo_pattern_t* gloss = cairo_pattern_create_linear(0, -0.76, 0, -0.05);
    cairo_pattern_add_color_stop_rgba(gloss, 0, 1, 1, 1, 0.55);
    cairo_pattern_add_color_stop_rgba(gloss, 1, 1, 1, 1, 0.0);
    cairo_save(cr);
    cairo_translate(cr, 0, -0.38);
    cairo_scale(cr, 0.62, 0.38);
    cairo_arc(cr, 0, 0, 1.0, 0, 2 * M_PI);
    cairo_restore(cr);
    cairo_set_source(cr, gloss);
    cairo_fill(cr);
    cairo_pattern_destroy(gloss);

    // The picture: a darker copy below as its shadow, then white.
    cairo_save(cr);
    cairo_translate(cr, 0.0, 0.05);
    cairo_set_source_rgba(cr, r * 0.45, g * 0.45, b * 0.45, 0.55);
    paintIconShape(cr, button.icon);
    cairo_restore(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    paintIconShape(cr, button.icon);
    // Two pictures have coloured parts over their white shape.
    if (button.icon == ICON_ERASER) paintEraserSleeve(cr);
    if (button.icon == ICON_PALETTE) paintPaletteDots(cr);

    cairo_destroy(cr);
    std::vector<uint8_t> png = studioPng(surface);
    cairo_surface_destroy(surface);
    return png;
}

// ---------------------------------------------------------------------------
// Public operations
// ---------------------------------------------------------------------------

void addInterfaceToolbar(PakArchive* archive) {
    for (const ToolbarButton& button : kButtons) {
        std::string texture = std::string(button.key) + ".png";
        studioAdd(archive, texture, buttonImage(button));
        // Transparent, for the soft round edge.
        MeshSource mesh = studioUprightImage(texture, (float)button.centreX, 0.0f, (float)kButtonSize,
                                             (float)kButtonSize, 0.0f, true);
        studioAdd(archive, button.key, studioModel({mesh}));
    }
}
