// Sheets for the artists: a PNG per page drawn straight from the built
// meshes with Cairo, showing the finished picture (every region in its
// palette colour) and the picture as the child first sees it (white, numbers
// and outlines), for the normal and the detailed variant. Places with an
// error are circled in red.
#include "tools/studio/pictures.h"
#include "tools/studio/studio.h"

#include <cairo.h>

#include <cmath>
#include <string>

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

static const int kPanelPixels = 600;   // one canvas: 20 pixels per unit
static const int kPanelGap = 16;
static const int kTitleBand = 28;

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

static void trianglesPath(cairo_t* cr, const std::vector<PicturePoint>& triangles) {
    for (size_t i = 0; i + 2 < triangles.size(); i += 3) {
        cairo_move_to(cr, triangles[i].x, triangles[i].y);
        cairo_line_to(cr, triangles[i + 1].x, triangles[i + 1].y);
        cairo_line_to(cr, triangles[i + 2].x, triangles[i + 2].y);
        cairo_close_path(cr);
    }
}

// One canvas at (x, y) on the sheet: finished, or white with the numbers.
static void drawPanel(cairo_t* cr, const PictureVariant& variant, bool finished, double x, double y) {
    cairo_save(cr);
    cairo_translate(cr, x, y + kPanelPixels);
    cairo_scale(cr, kPanelPixels / 30.0, -kPanelPixels / 30.0);
    cairo_rectangle(cr, 0, 0, 30, 30);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_fill(cr);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    for (const PictureRegion& region : variant.regions) {
        const uint8_t* c = variant.page->palette[region.colour - 1];
        if (finished)
            cairo_set_source_rgb(cr, c[0] / 255.0, c[1] / 255.0, c[2] / 255.0);
        else
            cairo_set_source_rgb(cr, 1, 1, 1);
        trianglesPath(cr, region.triangles);
        cairo_fill(cr);
    }
    cairo_set_source_rgb(cr, 0.24, 0.24, 0.27);
    trianglesPath(cr, variant.outlineTriangles);
    cairo_fill(cr);
    if (!finished) {
        trianglesPath(cr, variant.numberTriangles);
        cairo_fill(cr);
    }
    cairo_set_source_rgb(cr, 0.9, 0.05, 0.05);
    cairo_set_line_width(cr, 0.15);
    for (const PicturePoint& p : variant.errorPlaces) {
        cairo_new_sub_path(cr);
        cairo_arc(cr, p.x, p.y, 0.8, 0, 2 * M_PI);
    }
    cairo_stroke(cr);
    cairo_restore(cr);

    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 14);
    cairo_move_to(cr, x, y - 8);
    std::string title = std::string(pageVariant(variant.page, variant.detailed)->archive) +
                        (finished ? " finished" : " as first seen") +
                        (variant.errors.empty() ? "" : "  (" + std::to_string(variant.errors.size()) + " errors)");
    cairo_show_text(cr, title.c_str());
}

// ---------------------------------------------------------------------------
// Output
// ---------------------------------------------------------------------------

void writePictureSheet(const PictureVariant* normal, const PictureVariant* detailed, const std::string& path) {
    int width = 4 * kPanelPixels + 5 * kPanelGap;
    int height = kPanelPixels + kTitleBand + 2 * kPanelGap;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 0.78, 0.8, 0.84);
    cairo_paint(cr);
    const PictureVariant* variants[2] = {normal, detailed};
    int column = 0;
    for (const PictureVariant* variant : variants) {
        for (bool finished : {true, false}) {
            if (variant)
                drawPanel(cr, *variant, finished, kPanelGap + column * (kPanelPixels + kPanelGap), kTitleBand + kPanelGap);
            ++column;
        }
    }
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    if (cairo_surface_write_to_png(surface, path.c_str()) != CAIRO_STATUS_SUCCESS)
        studioFail("cannot write %s", path.c_str());
    cairo_surface_destroy(surface);
}
