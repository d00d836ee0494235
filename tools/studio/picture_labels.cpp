// The region numbers: the digits 1 to 9 of Andika Bold (the interface's
// font, made for beginning readers), taken as outlines from Pango and Cairo,
// filled by their winding and triangulated once; each region's number is a
// copy scaled to fit inside the region's largest inscribed circle.
#include "tools/studio/pictures.h"
#include "tools/studio/studio.h"

#include <cairo.h>
#include <geos_c.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

static const char* const kLabelFont = "Andika Bold";
// Size the outlines are taken at, in pixels, and how closely Cairo flattens them.
// The largest label is about 32 pixels high on a full HD screen (the canvas shows
// some 27 pixels per unit there), so a pixel at this size is a sixth of a pixel on
// that screen and a third on a 4K one. Finer costs triangles and nothing to see:
// the software renderer pays for every small triangle, and a page has hundreds of
// numbers.
static const double kOutlinePixels = 200.0;
static const double kOutlineTolerance = 1.0;
// A number's ink box fits in this share of the inscribed circle, and is never taller than the cap.
static const double kLabelFill = 0.8;
static const double kLargestLabel = 1.2;

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

static GEOSGeometry* closedLine(GEOSContextHandle_t h, const PictureRing& ring) {
    GEOSCoordSequence* seq = GEOSCoordSeq_create_r(h, (unsigned)ring.size() + 1, 2);
    for (size_t i = 0; i <= ring.size(); ++i) {
        const PicturePoint& p = ring[i % ring.size()];
        GEOSCoordSeq_setXY_r(h, seq, (unsigned)i, p.x, p.y);
    }
    return GEOSGeom_createLineString_r(h, seq);
}

// Non-zero winding of the rings around a point, as TrueType outlines are filled.
static bool insideGlyph(const std::vector<PictureRing>& rings, double x, double y) {
    int winding = 0;
    for (const PictureRing& ring : rings)
        for (size_t i = 0; i < ring.size(); ++i) {
            const PicturePoint& a = ring[i];
            const PicturePoint& b = ring[(i + 1) % ring.size()];
            double cross = (b.x - a.x) * (y - a.y) - (x - a.x) * (b.y - a.y);
            if (a.y <= y) {
                if (b.y > y && cross > 0) ++winding;
            } else if (b.y <= y && cross < 0) {
                --winding;
            }
        }
    return winding != 0;
}

// The filled area of the rings, triangulated counter-clockwise.
static std::vector<PicturePoint> fillRings(const std::vector<PictureRing>& rings) {
    GEOSContextHandle_t h = GEOS_init_r();
    std::vector<GEOSGeometry*> lines;
    for (const PictureRing& ring : rings) lines.push_back(closedLine(h, ring));
    GEOSGeometry* all = GEOSGeom_createCollection_r(h, GEOS_MULTILINESTRING, lines.data(), (unsigned)lines.size());
    GEOSGeometry* noded = GEOSUnaryUnion_r(h, all);
    const GEOSGeometry* input[1] = {noded};
    GEOSGeometry* faces = GEOSPolygonize_r(h, input, 1);
    std::vector<GEOSGeometry*> kept;
    for (int i = 0; i < GEOSGetNumGeometries_r(h, faces); ++i) {
        const GEOSGeometry* face = GEOSGetGeometryN_r(h, faces, i);
        GEOSGeometry* point = GEOSPointOnSurface_r(h, face);
        double x = 0, y = 0;
        GEOSGeomGetX_r(h, point, &x);
        GEOSGeomGetY_r(h, point, &y);
        GEOSGeom_destroy_r(h, point);
        if (insideGlyph(rings, x, y)) kept.push_back(GEOSGeom_clone_r(h, face));
    }
    GEOSGeometry* keptAll = GEOSGeom_createCollection_r(h, GEOS_GEOMETRYCOLLECTION, kept.data(), (unsigned)kept.size());
    GEOSGeometry* filled = GEOSUnaryUnion_r(h, keptAll);
    GEOSGeometry* triangles = GEOSConstrainedDelaunayTriangulation_r(h, filled);
    std::vector<PicturePoint> out;
    for (int i = 0; triangles && i < GEOSGetNumGeometries_r(h, triangles); ++i) {
        const GEOSGeometry* ring = GEOSGetExteriorRing_r(h, GEOSGetGeometryN_r(h, triangles, i));
        const GEOSCoordSequence* seq = GEOSGeom_getCoordSeq_r(h, ring);
        PicturePoint p[3];
        for (unsigned k = 0; k < 3; ++k) GEOSCoordSeq_getXY_r(h, seq, k, &p[k].x, &p[k].y);
        double twice = (p[1].x - p[0].x) * (p[2].y - p[0].y) - (p[2].x - p[0].x) * (p[1].y - p[0].y);
        if (twice == 0) continue;
        if (twice < 0) std::swap(p[1], p[2]);
        out.insert(out.end(), p, p + 3);
    }
    for (GEOSGeometry* g : {all, noded, faces, keptAll, filled, triangles})
        if (g) GEOSGeom_destroy_r(h, g);
    GEOS_finish_r(h);
    return out;
}

// ---------------------------------------------------------------------------
// Labels
// ---------------------------------------------------------------------------

PictureGlyphs loadPictureGlyphs() {
    PictureGlyphs glyphs;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, 4, 4);
    cairo_t* cr = cairo_create(surface);
    cairo_set_tolerance(cr, kOutlineTolerance);
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* font = pango_font_description_from_string(kLabelFont);
    pango_font_description_set_absolute_size(font, kOutlinePixels * PANGO_SCALE);
    pango_layout_set_font_description(layout, font);

    // Make sure the font itself was found, not a stand-in.
    PangoFont* loaded = pango_context_load_font(pango_layout_get_context(layout), font);
    PangoFontDescription* found = loaded ? pango_font_describe(loaded) : nullptr;
    const char* family = found ? pango_font_description_get_family(found) : nullptr;
    if (!family || strstr(family, "Andika") == nullptr)
        studioFail("the label font %s is not installed (fonts-sil-andika)", kLabelFont);
    if (found) pango_font_description_free(found);
    if (loaded) g_object_unref(loaded);

    for (int n = 1; n <= 9; ++n) {
        char text[2] = {(char)('0' + n), 0};
        pango_layout_set_text(layout, text, -1);
        cairo_new_path(cr);
        cairo_move_to(cr, 0, 0);
        pango_cairo_layout_path(cr, layout);
        cairo_path_t* path = cairo_copy_path_flat(cr);
        std::vector<PictureRing> rings;
        PictureRing ring;
        double x0 = 1e30, y0 = 1e30, x1 = -1e30, y1 = -1e30;
        for (int i = 0; i < path->num_data; i += path->data[i].header.length) {
            const cairo_path_data_t* d = &path->data[i];
            if (d->header.type == CAIRO_PATH_MOVE_TO || d->header.type == CAIRO_PATH_CLOSE_PATH) {
                if (ring.size() >= 3) rings.push_back(ring);
                ring.clear();
            }
            if (d->header.type == CAIRO_PATH_MOVE_TO || d->header.type == CAIRO_PATH_LINE_TO) {
                // Cairo's y runs down; the canvas's runs up.
                PicturePoint p = {d[1].point.x, -d[1].point.y};
                if (ring.empty() || p.x != ring.back().x || p.y != ring.back().y) ring.push_back(p);
            }
        }
        if (ring.size() >= 3) rings.push_back(ring);
        cairo_path_destroy(path);
        if (rings.empty()) studioFail("the label font has no outline for the digit %d", n);
        // The ink box: of the outlines only (the layout's starting point is no ink).
        for (const PictureRing& r : rings)
            for (const PicturePoint& p : r) {
                x0 = std::min(x0, p.x);
                y0 = std::min(y0, p.y);
                x1 = std::max(x1, p.x);
                y1 = std::max(y1, p.y);
            }

        // In units of the ink height, the ink box's lower left corner at the origin.
        double height = y1 - y0;
        for (PictureRing& r : rings)
            for (PicturePoint& p : r) p = PicturePoint{(p.x - x0) / height, (p.y - y0) / height};
        glyphs.digits[n].width = (x1 - x0) / height;
        glyphs.digits[n].triangles = fillRings(rings);
        if (glyphs.digits[n].triangles.empty()) studioFail("the digit %d of the label font cannot be triangulated", n);
    }
    pango_font_description_free(font);
    g_object_unref(layout);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return glyphs;
}

void placePictureDigit(const PictureGlyphs& glyphs, int n, PicturePoint centre, double height,
                       std::vector<PicturePoint>* triangles) {
    const PictureGlyph& glyph = glyphs.digits[n];
    for (const PicturePoint& p : glyph.triangles)
        triangles->push_back(PicturePoint{centre.x + (p.x - glyph.width / 2) * height, centre.y + (p.y - 0.5) * height});
}

double pictureDigitHeight(const PictureGlyphs& glyphs, int n, double radius) {
    double width = glyphs.digits[n].width;
    // Half the ink box's diagonal stays within the fill share of the radius.
    return std::min(kLargestLabel, 2 * kLabelFill * radius / std::sqrt(1 + width * width));
}
