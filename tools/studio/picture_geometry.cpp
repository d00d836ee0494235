// From shapes to regions, with GEOS. The outlines of all shapes of a variant
// (and the canvas edge) are noded together on one grid and cut the canvas
// into faces; each face belongs to the topmost shape that covers it. Faces of
// one shape that share an edge form a piece. Because every piece is made of
// the same faces, neighbouring pieces share their edges vertex for vertex:
// no gaps, no overlaps, no T-junctions. Hairline pieces (overlay noise, gaps
// where two shapes were meant to meet) go to the neighbour they share most
// edge with; pieces too small to click are errors. Pieces are then counted
// per colour, split along gentle cuts where the catalogue wants more,
// numbered by position, triangulated, and given their numbers and outlines.
#include "tools/studio/pictures.h"
#include "tools/studio/studio.h"

#include <geos_c.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <unordered_map>

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// Frees a GEOS geometry with the context that made it.
struct GeosFree {
    GEOSContextHandle_t handle;
    void operator()(GEOSGeometry* g) const {
        if (g) GEOSGeom_destroy_r(handle, g);
    }
};
typedef std::unique_ptr<GEOSGeometry, GeosFree> Geom;

// One face of the noded outlines.
struct Face {
    Geom polygon;
    PicturePoint inside;     // a point inside it
    double area;
    int owner;               // the shape shown here; kUncovered or kOffCanvas
    int piece;
};

// Faces of one owner connected through shared edges.
struct Piece {
    int owner;
    std::vector<int> faces;
    Geom polygon;
    double area;
    PicturePoint centre;     // of the largest inscribed circle
    double radius;
};

// A region being made: its colour, shape and polygon.
struct Draft {
    int colour;
    int shape;
    Geom polygon;
    double area;
    PicturePoint centre;
    double radius;
};

// Where a line crosses a ring: the distance along the line, and which ring.
struct Crossing {
    double t;
    int ring;
};

// One straight stretch of a cut, between two boundary vertices.
struct CutSpan {
    PicturePoint a, b;
};

// A way to cut a region in two, before it is tried: spans along one line, from the outer
// ring through holes back to the outer ring.
struct CutCandidate {
    std::vector<CutSpan> spans;
    double score;
};

// An edge between two grid points, in grid units, the smaller end first.
struct SegmentKey {
    int64_t x0, y0, x1, y1;
    bool operator==(const SegmentKey& o) const { return x0 == o.x0 && y0 == o.y0 && x1 == o.x1 && y1 == o.y1; }
};
struct SegmentHash {
    size_t operator()(const SegmentKey& k) const {
        uint64_t h = (uint64_t)k.x0 * 0x9E3779B97F4A7C15ull;
        h ^= (uint64_t)k.y0 + 0x632BE59BD9B4E019ull + (h << 6) + (h >> 2);
        h ^= (uint64_t)k.x1 + 0x85EBCA77C2B2AE63ull + (h << 6) + (h >> 2);
        h ^= (uint64_t)k.y1 + 0xC2B2AE3D27D4EB4Full + (h << 6) + (h >> 2);
        return (size_t)h;
    }
};

// Everything one variant build works with.
struct Work {
    GEOSContextHandle_t handle;
    const PictureSource* source;
    const PageEntry* page;
    bool detailed;
    std::vector<const PictureShape*> shapes;   // of this variant, painting order
    PictureVariant* out;
    std::string geosMessage;
};

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

const double kPictureGrid = 1.0 / 1024.0;
const double kPictureFlatness = 0.005;
const double kCrumbRadius = 0.05;
const double kClickRadius = 0.35;
const double kOutlineWidth = 0.12;
const double kOutlineLift = 0.03;
const double kNumberLift = 0.06;

static const double kCanvas = 30.0;
static const int kUncovered = -1;      // inside the canvas, under no shape
static const int kOffCanvas = -2;
// Longest edge of any outline, so that a cut can always end at a vertex nearby.
static const double kLongestEdge = 0.25;
// Accuracy of the largest inscribed circles.
static const double kCircleTolerance = 0.01;
static const double kRoughCircleTolerance = 0.05;   // enough to compare cuts
// Hairline pieces at least this large are mentioned in the notes.
static const double kNotedCrumbArea = 0.05;
// Strips of a region narrower than twice this (a gap where two shapes nearly meet, left
// joined to a larger part) are mentioned in the notes when at least this large.
static const double kStripRadius = 0.25;
static const double kNotedStripArea = 0.5;
// Parts of a region joined by a neck narrower than twice this are mentioned in the notes
// when each part could be clicked on its own: one region, one number, though the child may
// see two. Only hairline threads count: narrow joins wider than that are drawn on purpose
// (grass teeth, a wall between windows) and the child sees them as one shape.
static const double kNeckRadius = 0.1;
// A part counts as clickable on its own when, shrunk by the click radius, this much of it
// is left: less is a spot only just wide enough, not worth a note.
static const double kNeckCoreArea = 0.01;
// Canvas left under no shape is mentioned from this area on.
static const double kNotedBareArea = 0.5;
// Cut directions tried when splitting, and how much a cut bends (of its length).
static const int kCutDirections = 12;
static const double kCutBend = 0.06;
// Cuts tried in full once one has worked, and how clickable the halves must be.
static const int kCutsTried = 8;
static const double kSplitRadius = 1.5 * kClickRadius;
// The outlines are made in tiles of a sixth of the canvas.
static const int kOutlineTiles = 6;
// The outlines may stray this far from the boundaries (a twelfth of their width, a
// fraction of a pixel on a full HD screen): the boundaries carry points every
// kLongestEdge and along every curve for the cutting, which a drawn line does not need.
static const double kOutlineSimplify = kOutlineWidth / 12;

// ---------------------------------------------------------------------------
// Internal helpers: messages
// ---------------------------------------------------------------------------

// "at (12.30, 4.50) on the canvas, SVG (123.0, 255.0)"
static std::string placeText(PicturePoint p) {
    return studioFormat("at (%.2f, %.2f) on the canvas, SVG (%.1f, %.1f)", p.x, p.y, p.x * 10.0, (kCanvas - p.y) * 10.0);
}

static void addError(Work* work, PicturePoint place, const std::string& message) {
    work->out->errors.push_back(pictureVariantName(work->source->fileName, work->page, work->detailed) + ": " + message);
    work->out->errorPlaces.push_back(place);
}

static void addNote(Work* work, const std::string& message) {
    work->out->notes.push_back(pictureVariantName(work->source->fileName, work->page, work->detailed) + ": " + message);
}

static void geosMessage(const char* message, void* userData) {
    static_cast<Work*>(userData)->geosMessage = message;
}

// ---------------------------------------------------------------------------
// Internal helpers: GEOS
// ---------------------------------------------------------------------------

static Geom own(Work* work, GEOSGeometry* g) { return Geom(g, GeosFree{work->handle}); }

static double snap(double v) { return std::round(v / kPictureGrid) * kPictureGrid; }
static int64_t gridUnits(double v) { return (int64_t)std::llround(v / kPictureGrid); }

static GEOSCoordSequence* sequence(Work* work, const PictureRing& points, bool close) {
    size_t n = points.size() + (close ? 1 : 0);
    GEOSCoordSequence* seq = GEOSCoordSeq_create_r(work->handle, (unsigned)n, 2);
    for (size_t i = 0; i < n; ++i) {
        const PicturePoint& p = points[i % points.size()];
        GEOSCoordSeq_setXY_r(work->handle, seq, (unsigned)i, p.x, p.y);
    }
    return seq;
}

static Geom lineString(Work* work, const PictureRing& points, bool close) {
    return own(work, GEOSGeom_createLineString_r(work->handle, sequence(work, points, close)));
}

// The points of a ring or line; a closed ring loses its repeated last point.
static PictureRing ringPoints(Work* work, const GEOSGeometry* ring, bool dropLast) {
    const GEOSCoordSequence* seq = GEOSGeom_getCoordSeq_r(work->handle, ring);
    unsigned n = 0;
    GEOSCoordSeq_getSize_r(work->handle, seq, &n);
    PictureRing points;
    for (unsigned i = 0; i < n; ++i) {
        double x, y;
        GEOSCoordSeq_getXY_r(work->handle, seq, i, &x, &y);
        points.push_back(PicturePoint{x, y});
    }
    if (dropLast && points.size() > 1) points.pop_back();
    return points;
}

static double signedArea(const PictureRing& ring) {
    double twice = 0;
    for (size_t i = 0; i < ring.size(); ++i) {
        const PicturePoint& a = ring[i];
        const PicturePoint& b = ring[(i + 1) % ring.size()];
        twice += a.x * b.y - b.x * a.y;
    }
    return twice / 2;
}

// Outer ring first, counter-clockwise, then the holes, clockwise.
static std::vector<PictureRing> polygonRings(Work* work, const GEOSGeometry* polygon) {
    std::vector<PictureRing> rings;
    rings.push_back(ringPoints(work, GEOSGetExteriorRing_r(work->handle, polygon), true));
    int holes = GEOSGetNumInteriorRings_r(work->handle, polygon);
    for (int i = 0; i < holes; ++i) rings.push_back(ringPoints(work, GEOSGetInteriorRingN_r(work->handle, polygon, i), true));
    for (size_t r = 0; r < rings.size(); ++r)
        if ((signedArea(rings[r]) > 0) != (r == 0)) std::reverse(rings[r].begin(), rings[r].end());
    return rings;
}

static std::vector<const GEOSGeometry*> parts(Work* work, const GEOSGeometry* g) {
    std::vector<const GEOSGeometry*> list;
    int n = GEOSGetNumGeometries_r(work->handle, g);
    for (int i = 0; i < n; ++i) list.push_back(GEOSGetGeometryN_r(work->handle, g, i));
    return list;
}

// A collection that takes over the geometries.
static Geom collection(Work* work, int type, std::vector<Geom>* members) {
    std::vector<GEOSGeometry*> raw;
    for (Geom& g : *members) raw.push_back(g.release());
    members->clear();
    return own(work, GEOSGeom_createCollection_r(work->handle, type, raw.data(), (unsigned)raw.size()));
}

static double area(Work* work, const GEOSGeometry* g) {
    double a = 0;
    GEOSArea_r(work->handle, g, &a);
    return a;
}

static double length(Work* work, const GEOSGeometry* g) {
    double l = 0;
    GEOSLength_r(work->handle, g, &l);
    return l;
}

// Centre and radius of the largest circle inside a polygon.
static void inscribedCircle(Work* work, const GEOSGeometry* polygon, PicturePoint* centre, double* radius,
                            double tolerance = kCircleTolerance) {
    Geom line = own(work, GEOSMaximumInscribedCircle_r(work->handle, polygon, tolerance));
    *centre = PicturePoint{0, 0};
    *radius = 0;
    if (!line) return;
    PictureRing points = ringPoints(work, line.get(), false);
    if (points.empty()) return;
    *centre = points[0];
    *radius = length(work, line.get());
}

static PicturePoint pointInside(Work* work, const GEOSGeometry* polygon) {
    Geom point = own(work, GEOSPointOnSurface_r(work->handle, polygon));
    double x = 0, y = 0;
    if (point) {
        GEOSGeomGetX_r(work->handle, point.get(), &x);
        GEOSGeomGetY_r(work->handle, point.get(), &y);
    }
    return PicturePoint{x, y};
}

// ---------------------------------------------------------------------------
// Internal helpers: shapes and faces
// ---------------------------------------------------------------------------

// Whether rings cover a point under a fill rule (winding numbers).
static bool ringsCover(const std::vector<PictureRing>& rings, PictureFillRule rule, PicturePoint p) {
    int winding = 0;
    for (const PictureRing& ring : rings) {
        size_t n = ring.size();
        for (size_t i = 0; i < n; ++i) {
            const PicturePoint& a = ring[i];
            const PicturePoint& b = ring[(i + 1) % n];
            double cross = (b.x - a.x) * (p.y - a.y) - (p.x - a.x) * (b.y - a.y);
            if (a.y <= p.y) {
                if (b.y > p.y && cross > 0) ++winding;
            } else if (b.y <= p.y && cross < 0) {
                --winding;
            }
        }
    }
    return rule == FILL_EVENODD ? (winding & 1) != 0 : winding != 0;
}

static void shapeBounds(const PictureShape& shape, double box[4]) {
    box[0] = box[1] = 1e30;
    box[2] = box[3] = -1e30;
    for (const PictureRing& ring : shape.rings)
        for (const PicturePoint& p : ring) {
            box[0] = std::min(box[0], p.x);
            box[1] = std::min(box[1], p.y);
            box[2] = std::max(box[2], p.x);
            box[3] = std::max(box[3], p.y);
        }
}

// The canvas cut along every outline of the variant's shapes, all on the grid.
static std::vector<Face> canvasFaces(Work* work) {
    std::vector<Geom> lines;
    PictureRing canvas = {{0, 0}, {kCanvas, 0}, {kCanvas, kCanvas}, {0, kCanvas}};
    lines.push_back(lineString(work, canvas, true));
    for (const PictureShape* shape : work->shapes)
        for (const PictureRing& ring : shape->rings) lines.push_back(lineString(work, ring, true));
    Geom all = collection(work, GEOS_MULTILINESTRING, &lines);
    Geom dense = own(work, GEOSDensify_r(work->handle, all.get(), kLongestEdge));
    Geom noded = own(work, GEOSUnaryUnionPrec_r(work->handle, dense.get(), kPictureGrid));
    std::vector<Face> faces;
    if (!noded) return faces;
    const GEOSGeometry* input[1] = {noded.get()};
    Geom polygons = own(work, GEOSPolygonize_r(work->handle, input, 1));
    if (!polygons) return faces;

    std::vector<double> boxes(work->shapes.size() * 4);
    for (size_t s = 0; s < work->shapes.size(); ++s) shapeBounds(*work->shapes[s], &boxes[s * 4]);
    for (const GEOSGeometry* polygon : parts(work, polygons.get())) {
        Face face;
        face.polygon = own(work, GEOSGeom_clone_r(work->handle, polygon));
        face.inside = pointInside(work, polygon);
        face.area = area(work, polygon);
        face.piece = -1;
        const PicturePoint& p = face.inside;
        face.owner = (p.x < 0 || p.y < 0 || p.x > kCanvas || p.y > kCanvas) ? kOffCanvas : kUncovered;
        for (int s = (int)work->shapes.size() - 1; s >= 0 && face.owner == kUncovered; --s) {
            const double* box = &boxes[s * 4];
            if (p.x < box[0] || p.y < box[1] || p.x > box[2] || p.y > box[3]) continue;
            if (ringsCover(work->shapes[s]->rings, work->shapes[s]->fillRule, p)) face.owner = s;
        }
        faces.push_back(std::move(face));
    }
    return faces;
}

static SegmentKey segmentKey(PicturePoint a, PicturePoint b) {
    int64_t ax = gridUnits(a.x), ay = gridUnits(a.y), bx = gridUnits(b.x), by = gridUnits(b.y);
    if (ax > bx || (ax == bx && ay > by)) {
        std::swap(ax, bx);
        std::swap(ay, by);
    }
    return SegmentKey{ax, ay, bx, by};
}

// For every edge, the faces on its two sides (-1 where there is none).
static std::unordered_map<SegmentKey, std::pair<int, int>, SegmentHash> faceEdges(Work* work, const std::vector<Face>& faces) {
    std::unordered_map<SegmentKey, std::pair<int, int>, SegmentHash> edges;
    for (size_t f = 0; f < faces.size(); ++f)
        for (const PictureRing& ring : polygonRings(work, faces[f].polygon.get()))
            for (size_t i = 0; i < ring.size(); ++i) {
                SegmentKey key = segmentKey(ring[i], ring[(i + 1) % ring.size()]);
                auto found = edges.find(key);
                if (found == edges.end())
                    edges.emplace(key, std::make_pair((int)f, -1));
                else
                    found->second.second = (int)f;
            }
    return edges;
}

static int findRoot(std::vector<int>& parent, int i) {
    while (parent[i] != i) i = parent[i] = parent[parent[i]];
    return i;
}

// Groups faces of one owner joined by an edge into pieces, in the order of their first face.
static std::vector<Piece> groupPieces(Work* work, std::vector<Face>& faces,
                                      const std::unordered_map<SegmentKey, std::pair<int, int>, SegmentHash>& edges) {
    std::vector<int> parent(faces.size());
    for (size_t i = 0; i < faces.size(); ++i) parent[i] = (int)i;
    for (const auto& edge : edges) {
        int a = edge.second.first, b = edge.second.second;
        if (b < 0 || faces[a].owner != faces[b].owner || faces[a].owner == kOffCanvas) continue;
        int ra = findRoot(parent, a), rb = findRoot(parent, b);
        if (ra != rb) parent[std::max(ra, rb)] = std::min(ra, rb);
    }
    std::vector<Piece> pieces;
    std::vector<int> pieceOfRoot(faces.size(), -1);
    for (size_t f = 0; f < faces.size(); ++f) {
        if (faces[f].owner == kOffCanvas) continue;
        int root = findRoot(parent, (int)f);
        if (pieceOfRoot[root] < 0) {
            pieceOfRoot[root] = (int)pieces.size();
            Piece piece;
            piece.owner = faces[f].owner;
            piece.area = 0;
            piece.centre = PicturePoint{0, 0};
            piece.radius = 0;
            pieces.push_back(std::move(piece));
        }
        Piece& piece = pieces[pieceOfRoot[root]];
        piece.faces.push_back((int)f);
        piece.area += faces[f].area;
        faces[f].piece = pieceOfRoot[root];
    }
    for (Piece& piece : pieces) {
        std::vector<Geom> members;
        for (int f : piece.faces) members.push_back(own(work, GEOSGeom_clone_r(work->handle, faces[f].polygon.get())));
        Geom group = collection(work, GEOS_GEOMETRYCOLLECTION, &members);
        piece.polygon = own(work, GEOSCoverageUnion_r(work->handle, group.get()));
        if (piece.polygon && GEOSGeomTypeId_r(work->handle, piece.polygon.get()) == GEOS_MULTIPOLYGON &&
            GEOSGetNumGeometries_r(work->handle, piece.polygon.get()) == 1)
            piece.polygon = own(work, GEOSGeom_clone_r(work->handle, GEOSGetGeometryN_r(work->handle, piece.polygon.get(), 0)));
        if (piece.polygon) inscribedCircle(work, piece.polygon.get(), &piece.centre, &piece.radius);
    }
    return pieces;
}

static std::string shapeText(Work* work, int owner) {
    return owner >= 0 ? work->shapes[owner]->name : std::string("the bare canvas");
}

static std::string colourText(Work* work, int colour) {
    return studioFormat("colour %d (%s)", colour, pictureColourHex(work->page, colour).c_str());
}

// Gives hairline pieces to the neighbour they share the longest edge with. True when anything moved.
static bool absorbCrumbs(Work* work, std::vector<Face>& faces, const std::vector<Piece>& pieces,
                         const std::unordered_map<SegmentKey, std::pair<int, int>, SegmentHash>& edges) {
    std::vector<std::vector<double>> shared(pieces.size());
    bool moved = false;
    std::vector<int> order;
    for (size_t p = 0; p < pieces.size(); ++p)
        if (pieces[p].radius < kCrumbRadius) order.push_back((int)p);
    if (order.empty()) return false;
    std::vector<double> contact(pieces.size());
    for (int p : order) {
        std::fill(contact.begin(), contact.end(), 0.0);
        for (int f : pieces[p].faces)
            for (const PictureRing& ring : polygonRings(work, faces[f].polygon.get()))
                for (size_t i = 0; i < ring.size(); ++i) {
                    const PicturePoint& a = ring[i];
                    const PicturePoint& b = ring[(i + 1) % ring.size()];
                    auto found = edges.find(segmentKey(a, b));
                    if (found == edges.end()) continue;
                    int other = found->second.first == f ? found->second.second : found->second.first;
                    if (other < 0 || faces[other].piece < 0 || faces[other].piece == p) continue;
                    contact[faces[other].piece] += std::hypot(b.x - a.x, b.y - a.y);
                }
        // The best neighbour: a real piece if there is one, shown by a shape if possible.
        int best = -1;
        for (size_t q = 0; q < pieces.size(); ++q) {
            if (contact[q] <= 0) continue;
            auto rank = [&](int i) {
                return (pieces[i].owner >= 0 ? 2 : 0) + (pieces[i].radius >= kCrumbRadius ? 1 : 0);
            };
            if (best < 0 || rank((int)q) > rank(best) || (rank((int)q) == rank(best) && contact[q] > contact[best]))
                best = (int)q;
        }
        const Piece& crumb = pieces[p];
        if (best < 0 || pieces[best].owner < 0) {
            if (crumb.owner >= 0)
                addError(work, crumb.centre,
                         studioFormat("a speck of %s %s is too small to see or click (%.2f units across; "
                                    "from %s): enlarge or remove it",
                                    colourText(work, work->shapes[crumb.owner]->colour).c_str(),
                                    placeText(crumb.centre).c_str(), 2 * crumb.radius,
                                    shapeText(work, crumb.owner).c_str()));
            for (int f : crumb.faces) faces[f].owner = kOffCanvas;
            moved = true;
            continue;
        }
        if (crumb.area >= kNotedCrumbArea)
            addNote(work, studioFormat("a hairline strip of %s %s (%.2f units wide) was given to its neighbour, %s: "
                                     "if two shapes should meet there, let them overlap",
                                     crumb.owner >= 0 ? shapeText(work, crumb.owner).c_str() : "the bare canvas",
                                     placeText(crumb.centre).c_str(), 2 * crumb.radius,
                                     shapeText(work, pieces[best].owner).c_str()));
        for (int f : crumb.faces) faces[f].owner = pieces[best].owner;
        moved = true;
    }
    return moved;
}

// Notes the narrow strips of a region: what an opening (shrinking, then growing back)
// takes away, where it is large enough not to be just a sharp corner.
static void noteStrips(Work* work, const Draft& draft) {
    Geom inner = own(work, GEOSBuffer_r(work->handle, draft.polygon.get(), -kStripRadius, 2));
    if (!inner) return;
    Geom opened = own(work, GEOSBuffer_r(work->handle, inner.get(), kStripRadius, 2));
    if (!opened) return;
    Geom thin = own(work, GEOSDifference_r(work->handle, draft.polygon.get(), opened.get()));
    if (!thin) return;
    for (const GEOSGeometry* part : parts(work, thin.get())) {
        if (area(work, part) < kNotedStripArea) continue;
        addNote(work, studioFormat("a strip of %s %s is narrower than %.0f SVG units (%s): if two shapes should meet "
                                 "there, let them overlap",
                                 colourText(work, draft.colour).c_str(), placeText(pointInside(work, part)).c_str(),
                                 20 * kStripRadius, work->shapes[draft.shape]->name.c_str()));
    }
}

static void addNeckNote(Work* work, const Draft& draft, PicturePoint place, int lobes) {
    addNote(work, studioFormat("a region of %s %s is %d parts joined by a neck narrower than %.0f SVG units (%s): "
                             "they are counted as one region with one number; if they should be separate, let the "
                             "shape above cover the neck, if one, widen it",
                             colourText(work, draft.colour).c_str(), placeText(place).c_str(), lobes,
                             20 * kNeckRadius, work->shapes[draft.shape]->name.c_str()));
}

// Notes a region made of parts that meet only through a neck too narrow to click (say a
// thread of a lower shape left where a band above it stops a hair short): the parts are
// counted as one region with one number, which is a merge the artist should hear about.
// Shrinking by the neck radius cuts the necks; the parts left that still hold the click
// circle are the lobes, and two or more of them mean the region is joined through a neck.
static void noteNecks(Work* work, const Draft& draft) {
    Geom thin = own(work, GEOSBuffer_r(work->handle, draft.polygon.get(), -kNeckRadius, 2));
    if (!thin) return;
    std::vector<Geom> kept;
    for (const GEOSGeometry* part : parts(work, thin.get())) {
        Geom core = kNeckRadius < kClickRadius
                        ? own(work, GEOSBuffer_r(work->handle, part, -(kClickRadius - kNeckRadius), 2))
                        : own(work, GEOSGeom_clone_r(work->handle, part));
        if (core && area(work, core.get()) >= kNeckCoreArea) kept.push_back(own(work, GEOSGeom_clone_r(work->handle, part)));
    }
    if (kept.size() < 2) return;
    std::vector<const GEOSGeometry*> lobes;
    for (const Geom& g : kept) lobes.push_back(g.get());
    // The neck lies between the two lobes nearest each other; when the midpoint between
    // them falls outside the region (a thread along its edge), the nearest point of the
    // region to it is on the thread.
    double best = -1;
    PicturePoint place = draft.centre;
    for (size_t i = 0; i < lobes.size(); ++i)
        for (size_t j = i + 1; j < lobes.size(); ++j) {
            GEOSCoordSequence* pair = GEOSNearestPoints_r(work->handle, lobes[i], lobes[j]);
            if (!pair) continue;
            double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
            GEOSCoordSeq_getXY_r(work->handle, pair, 0, &x0, &y0);
            GEOSCoordSeq_getXY_r(work->handle, pair, 1, &x1, &y1);
            GEOSCoordSeq_destroy_r(work->handle, pair);
            double d = std::hypot(x1 - x0, y1 - y0);
            if (best >= 0 && d >= best) continue;
            best = d;
            place = PicturePoint{(x0 + x1) / 2, (y0 + y1) / 2};
        }
    // Better still: what is left of the region once every lobe is grown back is the necks
    // (and sharp corners); a piece of it that touches two lobes is a neck itself.
    std::vector<Geom> grown;
    for (const GEOSGeometry* lobe : lobes) grown.push_back(own(work, GEOSBuffer_r(work->handle, lobe, kNeckRadius, 8)));
    std::vector<Geom> copies;
    for (const Geom& g : grown)
        if (g) copies.push_back(own(work, GEOSGeom_clone_r(work->handle, g.get())));
    Geom all = collection(work, GEOS_GEOMETRYCOLLECTION, &copies);
    Geom joined = all ? own(work, GEOSUnaryUnion_r(work->handle, all.get())) : Geom(nullptr, GeosFree{work->handle});
    Geom rest = joined ? own(work, GEOSDifference_r(work->handle, draft.polygon.get(), joined.get()))
                       : Geom(nullptr, GeosFree{work->handle});
    if (rest)
        for (const GEOSGeometry* part : parts(work, rest.get())) {
            int touched = 0;
            for (const Geom& g : grown) {
                double d = 1;
                if (g && GEOSDistance_r(work->handle, part, g.get(), &d) && d < 4 * kPictureGrid) ++touched;
            }
            if (touched >= 2) {
                place = pointInside(work, part);
                return addNeckNote(work, draft, place, (int)lobes.size());
            }
        }
    Geom middle = own(work, GEOSGeom_createPointFromXY_r(work->handle, place.x, place.y));
    if (middle && GEOSIntersects_r(work->handle, draft.polygon.get(), middle.get()) != 1) {
        GEOSCoordSequence* pair = GEOSNearestPoints_r(work->handle, draft.polygon.get(), middle.get());
        if (pair) {
            GEOSCoordSeq_getXY_r(work->handle, pair, 0, &place.x, &place.y);
            GEOSCoordSeq_destroy_r(work->handle, pair);
        }
    }
    addNeckNote(work, draft, place, (int)lobes.size());
}

// ---------------------------------------------------------------------------
// Internal helpers: splitting a region in two
// ---------------------------------------------------------------------------

// Where a line (point o, direction d) crosses the rings, in order along it.
static std::vector<Crossing> lineCrossings(const std::vector<PictureRing>& rings, PicturePoint o, PicturePoint d) {
    std::vector<Crossing> crossings;
    PicturePoint n = {-d.y, d.x};
    for (size_t r = 0; r < rings.size(); ++r) {
        const PictureRing& ring = rings[r];
        for (size_t i = 0; i < ring.size(); ++i) {
            const PicturePoint& a = ring[i];
            const PicturePoint& b = ring[(i + 1) % ring.size()];
            double sa = (a.x - o.x) * n.x + (a.y - o.y) * n.y;
            double sb = (b.x - o.x) * n.x + (b.y - o.y) * n.y;
            if ((sa > 0) == (sb > 0)) continue;
            double t = sa / (sa - sb);
            PicturePoint c = {a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)};
            crossings.push_back(Crossing{(c.x - o.x) * d.x + (c.y - o.y) * d.y, (int)r});
        }
    }
    std::sort(crossings.begin(), crossings.end(), [](const Crossing& x, const Crossing& y) { return x.t < y.t; });
    return crossings;
}

// Area of the rings on the positive side of the line n . p = s (holes subtract: their rings run the other way).
static double areaAbove(const std::vector<PictureRing>& rings, PicturePoint n, double s) {
    double total = 0;
    for (const PictureRing& ring : rings) {
        PictureRing clipped;
        for (size_t i = 0; i < ring.size(); ++i) {
            const PicturePoint& a = ring[i];
            const PicturePoint& b = ring[(i + 1) % ring.size()];
            double sa = a.x * n.x + a.y * n.y - s, sb = b.x * n.x + b.y * n.y - s;
            if (sa >= 0) clipped.push_back(a);
            if ((sa >= 0) != (sb >= 0)) {
                double t = sa / (sa - sb);
                clipped.push_back(PicturePoint{a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)});
            }
        }
        total += signedArea(clipped);
    }
    return std::fabs(total);
}

// The vertex of one ring nearest to a point.
static PicturePoint nearestVertex(const PictureRing& ring, PicturePoint p) {
    PicturePoint best = ring[0];
    double bestDistance = 1e30;
    for (const PicturePoint& v : ring) {
        double d = (v.x - p.x) * (v.x - p.x) + (v.y - p.y) * (v.y - p.y);
        if (d < bestDistance) {
            bestDistance = d;
            best = v;
        }
    }
    return best;
}

// Ways to cut, along lines in every direction: across the widest spot and across the
// area at a half, a third and two thirds. A line inside the region runs in stretches
// from the outer ring to the outer ring, crossing holes on the way: each such stretch
// cuts the region in two. The shorter the cut and the more even the halves, the better.
static std::vector<CutCandidate> cutCandidates(const Draft& draft, const std::vector<PictureRing>& rings) {
    std::vector<CutCandidate> candidates;
    double size = std::sqrt(draft.area);
    for (int k = 0; k < kCutDirections; ++k) {
        double angle = M_PI * k / kCutDirections;
        PicturePoint d = {std::cos(angle), std::sin(angle)};
        PicturePoint n = {-d.y, d.x};
        double lo = 1e30, hi = -1e30;
        for (const PicturePoint& p : rings[0]) {
            lo = std::min(lo, p.x * n.x + p.y * n.y);
            hi = std::max(hi, p.x * n.x + p.y * n.y);
        }
        double offsets[4];
        const double shares[3] = {0.5, 1.0 / 3.0, 2.0 / 3.0};
        for (int q = 0; q < 3; ++q) {
            double a = lo, b = hi;
            for (int i = 0; i < 40; ++i) {
                double mid = (a + b) / 2;
                if (areaAbove(rings, n, mid) > draft.area * shares[q]) a = mid; else b = mid;
            }
            offsets[q] = (a + b) / 2;
        }
        offsets[3] = draft.centre.x * n.x + draft.centre.y * n.y;
        for (double s : offsets) {
            PicturePoint o = {n.x * s, n.y * s};
            std::vector<Crossing> crossings = lineCrossings(rings, o, d);
            if (crossings.size() % 2 != 0) continue;
            // Stretches: inside intervals joined where the gap between them is a hole.
            std::vector<CutCandidate> stretches;
            for (size_t i = 0; i + 1 < crossings.size(); i += 2) {
                PicturePoint from = {o.x + d.x * crossings[i].t, o.y + d.y * crossings[i].t};
                PicturePoint to = {o.x + d.x * crossings[i + 1].t, o.y + d.y * crossings[i + 1].t};
                CutSpan span = {nearestVertex(rings[crossings[i].ring], from),
                                nearestVertex(rings[crossings[i + 1].ring], to)};
                if (i > 0 && crossings[i].ring > 0)
                    stretches.back().spans.push_back(span);
                else
                    stretches.push_back(CutCandidate{std::vector<CutSpan>(1, span), 0.0});
            }
            for (CutCandidate& c : stretches) {
                double cutLength = 0;
                for (const CutSpan& span : c.spans) cutLength += std::hypot(span.b.x - span.a.x, span.b.y - span.a.y);
                double balance = 0.25;   // unknown until tried
                if (stretches.size() == 1) {
                    double above = areaAbove(rings, n, s);
                    balance = std::min(above, draft.area - above) / draft.area;
                }
                c.score = balance - 0.25 * cutLength / size;
                candidates.push_back(c);
            }
        }
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const CutCandidate& x, const CutCandidate& y) { return x.score > y.score; });
    return candidates;
}

// A span's points from a to b, bent by a share of its length, at most kLongestEdge apart, on the grid.
static PictureRing spanLine(const CutSpan& span, double bend) {
    PicturePoint a = span.a, b = span.b;
    double spanLength = std::hypot(b.x - a.x, b.y - a.y);
    int steps = std::max(1, (int)std::ceil(spanLength / (kLongestEdge * 0.9)));
    PicturePoint n = {-(b.y - a.y) / spanLength, (b.x - a.x) / spanLength};
    PictureRing line;
    line.push_back(a);
    for (int i = 1; i < steps; ++i) {
        double t = (double)i / steps;
        double offset = 4 * bend * spanLength * t * (1 - t);
        PicturePoint p = {snap(a.x + t * (b.x - a.x) + n.x * offset), snap(a.y + t * (b.y - a.y) + n.y * offset)};
        if (p.x != line.back().x || p.y != line.back().y) line.push_back(p);
    }
    if (line.back().x == b.x && line.back().y == b.y) line.pop_back();
    line.push_back(b);
    return line;
}

// Which side of the line a-b the point c is on: twice the signed area of the triangle.
// Exact for points on the grid: their differences and products fit a double.
static double orientation(PicturePoint a, PicturePoint b, PicturePoint c) {
    return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

static bool samePoint(PicturePoint a, PicturePoint b) { return a.x == b.x && a.y == b.y; }

// Whether two segments share any point (crossing, touching or overlapping).
static bool segmentsMeet(PicturePoint p1, PicturePoint p2, PicturePoint q1, PicturePoint q2) {
    if (std::max(p1.x, p2.x) < std::min(q1.x, q2.x) || std::max(q1.x, q2.x) < std::min(p1.x, p2.x) ||
        std::max(p1.y, p2.y) < std::min(q1.y, q2.y) || std::max(q1.y, q2.y) < std::min(p1.y, p2.y))
        return false;
    double d1 = orientation(q1, q2, p1), d2 = orientation(q1, q2, p2);
    double d3 = orientation(p1, p2, q1), d4 = orientation(p1, p2, q2);
    if (((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0))) return true;
    auto within = [](PicturePoint a, PicturePoint b, PicturePoint c) {
        return std::min(a.x, b.x) <= c.x && c.x <= std::max(a.x, b.x) && std::min(a.y, b.y) <= c.y &&
               c.y <= std::max(a.y, b.y);
    };
    return (d1 == 0 && within(q1, q2, p1)) || (d2 == 0 && within(q1, q2, p2)) || (d3 == 0 && within(p1, p2, q1)) ||
           (d4 == 0 && within(p1, p2, q2));
}

// Whether a line from one boundary vertex to another runs inside the rings, meeting
// the boundary only at its two ends (and there only the edges that end at them).
static bool runsInside(const std::vector<PictureRing>& rings, const PictureRing& line) {
    if (line.size() < 2 || samePoint(line.front(), line.back())) return false;
    PicturePoint a = line.front(), b = line.back();
    for (const PictureRing& ring : rings)
        for (size_t e = 0; e < ring.size(); ++e) {
            PicturePoint e0 = ring[e], e1 = ring[(e + 1) % ring.size()];
            for (size_t k = 0; k + 1 < line.size(); ++k) {
                if (!segmentsMeet(line[k], line[k + 1], e0, e1)) continue;
                bool atA = k == 0 && (samePoint(e0, a) || samePoint(e1, a));
                bool atB = k + 2 == line.size() && (samePoint(e0, b) || samePoint(e1, b));
                if (!atA && !atB) return false;
                // Touching at an end only: the edge must not run along the line.
                PicturePoint end = atA ? a : b;
                PicturePoint other = samePoint(e0, end) ? e1 : e0;
                PicturePoint next = atA ? line[1] : line[line.size() - 2];
                if (orientation(end, next, other) == 0 &&
                    (other.x - end.x) * (next.x - end.x) + (other.y - end.y) * (next.y - end.y) > 0)
                    return false;
                // A one-segment line touching an edge at its far end only is fine; anything else is not.
                if (atA && !atB && line.size() == 2 && !(samePoint(e0, a) || samePoint(e1, a))) return false;
            }
        }
    PicturePoint middle = {(line[0].x + line[1].x) / 2, (line[0].y + line[1].y) / 2};
    return ringsCover(rings, FILL_EVENODD, middle);
}

// Cuts a polygon along a line from one vertex of the outer ring to another (checked with
// runsInside) by walking the outer ring: the halves share the line's points and keep
// every vertex of the boundary; each hole goes to the half around it.
static void cutRings(const std::vector<PictureRing>& rings, const PictureRing& cut, std::vector<PictureRing>* first,
                     std::vector<PictureRing>* second) {
    const PictureRing& outer = rings[0];
    size_t n = outer.size(), ia = 0, ib = 0;
    PicturePoint a = cut.front(), b = cut.back();
    for (size_t i = 0; i < n; ++i) {
        if (samePoint(outer[i], a)) ia = i;
        if (samePoint(outer[i], b)) ib = i;
    }
    // First half: the outer ring from a to b, back along the cut; second: from b to a, then the cut.
    PictureRing one, two;
    for (size_t i = ia; i != ib; i = (i + 1) % n) one.push_back(outer[i]);
    one.push_back(outer[ib]);
    for (size_t k = cut.size() - 2; k >= 1; --k) one.push_back(cut[k]);
    for (size_t i = ib; i != ia; i = (i + 1) % n) two.push_back(outer[i]);
    two.push_back(outer[ia]);
    for (size_t k = 1; k + 1 < cut.size(); ++k) two.push_back(cut[k]);
    first->assign(1, one);
    second->assign(1, two);
    for (size_t r = 1; r < rings.size(); ++r) {
        PicturePoint probe = rings[r][0];
        for (const PicturePoint& p : rings[r])
            if (!samePoint(p, a) && !samePoint(p, b)) {
                probe = p;
                break;
            }
        (ringsCover(*first, FILL_EVENODD, probe) ? first : second)->push_back(rings[r]);
    }
}

static Geom polygonFromRings(Work* work, const std::vector<PictureRing>& rings) {
    GEOSGeometry* shell = GEOSGeom_createLinearRing_r(work->handle, sequence(work, rings[0], true));
    std::vector<GEOSGeometry*> holes;
    for (size_t r = 1; r < rings.size(); ++r)
        holes.push_back(GEOSGeom_createLinearRing_r(work->handle, sequence(work, rings[r], true)));
    return own(work, GEOSGeom_createPolygon_r(work->handle, shell, holes.data(), (unsigned)holes.size()));
}

// Cuts a polygon in two along a candidate; none when the cut does not qualify. One span
// between two outer vertices is cut by walking the ring (and gently bent); spans through
// holes by polygonizing the boundary with them. Either way no new vertex appears on
// the boundary, so the neighbours still share every vertex.
static std::vector<Geom> cutAlong(Work* work, const std::vector<PictureRing>& rings, const CutCandidate& cut) {
    std::vector<Geom> halves;
    if (cut.spans.size() == 1) {
        for (double bend : {kCutBend, 0.0}) {
            PictureRing line = spanLine(cut.spans[0], bend);
            if (!runsInside(rings, line)) continue;
            std::vector<PictureRing> sides[2];
            cutRings(rings, line, &sides[0], &sides[1]);
            for (int i = 0; i < 2; ++i) halves.push_back(polygonFromRings(work, sides[i]));
            return halves;
        }
        return halves;
    }
    std::vector<Geom> lines;
    for (const PictureRing& ring : rings) lines.push_back(lineString(work, ring, true));
    for (const CutSpan& span : cut.spans) {
        PictureRing line = spanLine(span, 0.0);
        if (!runsInside(rings, line)) return halves;
        lines.push_back(lineString(work, line, false));
    }
    Geom all = collection(work, GEOS_MULTILINESTRING, &lines);
    Geom noded = own(work, GEOSUnaryUnion_r(work->handle, all.get()));
    if (!noded) return halves;
    const GEOSGeometry* input[1] = {noded.get()};
    Geom faces = own(work, GEOSPolygonize_r(work->handle, input, 1));
    if (!faces) return halves;
    for (const GEOSGeometry* face : parts(work, faces.get()))
        if (ringsCover(rings, FILL_EVENODD, pointInside(work, face)))
            halves.push_back(own(work, GEOSGeom_clone_r(work->handle, face)));
    if (halves.size() != 2) halves.clear();
    return halves;
}

// Splits a draft in two along the best cut that leaves both halves comfortably clickable.
static bool splitDraft(Work* work, const Draft& draft, Draft* first, Draft* second) {
    std::vector<PictureRing> rings = polygonRings(work, draft.polygon.get());
    std::vector<CutCandidate> candidates = cutCandidates(draft, rings);
    double bestScore = -1e30;
    std::vector<Geom> best;
    int tried = 0;
    for (const CutCandidate& c : candidates) {
        if (tried >= kCutsTried && !best.empty()) break;
        std::vector<Geom> halves = cutAlong(work, rings, c);
        if (halves.empty()) continue;
        ++tried;
        PicturePoint centres[2];
        double radii[2], areas[2];
        for (int i = 0; i < 2; ++i) {
            inscribedCircle(work, halves[i].get(), &centres[i], &radii[i], kRoughCircleTolerance);
            areas[i] = area(work, halves[i].get());
        }
        if (std::min(radii[0], radii[1]) < kSplitRadius) continue;
        double cutLength = 0;
        for (const CutSpan& span : c.spans) cutLength += std::hypot(span.b.x - span.a.x, span.b.y - span.a.y);
        double score = std::min(areas[0], areas[1]) / draft.area - 0.25 * cutLength / std::sqrt(draft.area) +
                       0.1 * std::min(radii[0], radii[1]) / draft.radius;
        if (score > bestScore) {
            bestScore = score;
            best = std::move(halves);
        }
    }
    if (best.empty()) return false;
    Draft* outs[2] = {first, second};
    for (int i = 0; i < 2; ++i) {
        outs[i]->colour = draft.colour;
        outs[i]->shape = draft.shape;
        outs[i]->polygon = std::move(best[i]);
        outs[i]->area = area(work, outs[i]->polygon.get());
        inscribedCircle(work, outs[i]->polygon.get(), &outs[i]->centre, &outs[i]->radius);
    }
    return true;
}

// ---------------------------------------------------------------------------
// Internal helpers: meshes
// ---------------------------------------------------------------------------

static void appendTriangles(Work* work, const GEOSGeometry* result, std::vector<PicturePoint>* triangles) {
    for (const GEOSGeometry* triangle : parts(work, result)) {
        PictureRing ring = ringPoints(work, GEOSGetExteriorRing_r(work->handle, triangle), true);
        if (ring.size() != 3) continue;
        double twice = signedArea(ring) * 2;
        if (twice == 0) continue;
        if (twice < 0) std::swap(ring[1], ring[2]);
        triangles->insert(triangles->end(), ring.begin(), ring.end());
    }
}

// Triangles of a region, counter-clockwise, using its vertices only. GEOS's ear clipper
// sometimes fails to join many holes to their shell; then the region is cut in two
// through its holes, as a split would cut it (the cut's points lie inside, so the
// neighbours still share every boundary vertex), and each half is tried again.
static bool triangulateRegion(Work* work, const GEOSGeometry* polygon, std::vector<PicturePoint>* triangles,
                              int depth = 0) {
    Geom result = own(work, GEOSConstrainedDelaunayTriangulation_r(work->handle, polygon));
    if (result) {
        appendTriangles(work, result.get(), triangles);
        return true;
    }
    if (depth >= 12 || GEOSGeomTypeId_r(work->handle, polygon) != GEOS_POLYGON) return false;
    Draft draft;
    draft.polygon = own(work, GEOSGeom_clone_r(work->handle, polygon));
    draft.area = area(work, polygon);
    inscribedCircle(work, polygon, &draft.centre, &draft.radius, kRoughCircleTolerance);
    std::vector<PictureRing> rings = polygonRings(work, polygon);
    for (const CutCandidate& c : cutCandidates(draft, rings)) {
        std::vector<Geom> halves = cutAlong(work, rings, c);
        if (halves.size() == 2)
            return triangulateRegion(work, halves[0].get(), triangles, depth + 1) &&
                   triangulateRegion(work, halves[1].get(), triangles, depth + 1);
    }
    return false;
}

// Triangles of a polygon or collection of polygons where new vertices do no harm (the
// outlines), counter-clockwise. When the ear clipper fails, the polygon is cut in two
// through a hole and each side is tried again.
static bool triangulate(Work* work, const GEOSGeometry* polygon, std::vector<PicturePoint>* triangles, int depth = 0) {
    Geom result = own(work, GEOSConstrainedDelaunayTriangulation_r(work->handle, polygon));
    if (result) {
        appendTriangles(work, result.get(), triangles);
        return true;
    }
    if (depth >= 12) return false;
    double x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    GEOSGeom_getXMin_r(work->handle, polygon, &x0);
    GEOSGeom_getXMax_r(work->handle, polygon, &x1);
    GEOSGeom_getYMin_r(work->handle, polygon, &y0);
    GEOSGeom_getYMax_r(work->handle, polygon, &y1);
    double split = (x0 + x1) / 2;
    for (const GEOSGeometry* part : parts(work, polygon))
        if (GEOSGeomTypeId_r(work->handle, part) == GEOS_POLYGON && GEOSGetNumInteriorRings_r(work->handle, part) > 0) {
            const GEOSGeometry* hole = GEOSGetInteriorRingN_r(work->handle, part, 0);
            double h0 = 0, h1 = 0;
            GEOSGeom_getXMin_r(work->handle, hole, &h0);
            GEOSGeom_getXMax_r(work->handle, hole, &h1);
            split = (h0 + h1) / 2;
            break;
        }
    Geom left = own(work, GEOSGeom_createRectangle_r(work->handle, x0 - 1, y0 - 1, split, y1 + 1));
    Geom right = own(work, GEOSGeom_createRectangle_r(work->handle, split, y0 - 1, x1 + 1, y1 + 1));
    for (const Geom& side : {std::move(left), std::move(right)}) {
        Geom piece = own(work, GEOSIntersection_r(work->handle, polygon, side.get()));
        if (!piece || !triangulate(work, piece.get(), triangles, depth + 1)) return false;
    }
    return true;
}

// Where a region's outline touches itself: a vertex its rings pass through twice (two
// shapes above meeting corner to corner, say). GEOS's ear clipper cannot always join
// rings there, so this is the likely place when a region fails to triangulate.
static bool touchingPoint(const std::vector<PictureRing>& rings, PicturePoint* at) {
    std::map<std::pair<int64_t, int64_t>, int> seen;
    for (const PictureRing& ring : rings)
        for (const PicturePoint& p : ring)
            if (++seen[std::make_pair(gridUnits(p.x), gridUnits(p.y))] == 2) {
                *at = p;
                return true;
            }
    return false;
}

// The shapes other than the given one whose outlines pass through a point, as
// "<path id="a"> (line 3), <rect id="b"> (line 9)"; empty when none does.
static std::string shapesThrough(Work* work, PicturePoint p, int except) {
    const double near = 2 * kPictureGrid;   // the outlines were snapped to the grid since
    const int most = 4;
    std::string names;
    int found = 0;
    for (size_t s = 0; s < work->shapes.size() && found < most; ++s) {
        if ((int)s == except) continue;
        bool through = false;
        for (const PictureRing& ring : work->shapes[s]->rings) {
            for (size_t i = 0; i < ring.size() && !through; ++i) {
                const PicturePoint& a = ring[i];
                const PicturePoint& b = ring[(i + 1) % ring.size()];
                double dx = b.x - a.x, dy = b.y - a.y, len = dx * dx + dy * dy;
                double t = len > 0 ? std::max(0.0, std::min(1.0, ((p.x - a.x) * dx + (p.y - a.y) * dy) / len)) : 0;
                through = std::hypot(a.x + t * dx - p.x, a.y + t * dy - p.y) <= near;
            }
            if (through) break;
        }
        if (!through) continue;
        names += (found ? ", " : "") + work->shapes[s]->name;
        ++found;
    }
    return names;
}

// The error for a region that could not be triangulated: its shape, and where its
// outline touches itself when it does, since covering that point is the usual mend.
static void triangulationError(Work* work, const Draft& draft, const PictureRegion& region) {
    std::string failure =
        "could not be triangulated" + (work->geosMessage.empty() ? "" : " (" + work->geosMessage + ")");
    std::string what = "the region " + region.entry + " of " + colourText(work, draft.colour) + " (" +
                       work->shapes[draft.shape]->name + ")";
    PicturePoint at;
    if (!touchingPoint(region.rings, &at)) {
        addError(work, draft.centre, what + " " + placeText(draft.centre) + " " + failure);
        return;
    }
    std::string others = shapesThrough(work, at, draft.shape);
    addError(work, at,
             what + " " + failure + ": its outline touches itself " + placeText(at) +
                 (others.empty() ? std::string() : ", where it meets " + others) +
                 "; let one shape cover that meeting point (overlap the shapes there a little)");
}

static double trianglesArea(const std::vector<PicturePoint>& t, size_t from = 0) {
    double total = 0;
    for (size_t i = from; i + 2 < t.size(); i += 3)
        total += ((t[i + 1].x - t[i].x) * (t[i + 2].y - t[i].y) - (t[i + 2].x - t[i].x) * (t[i + 1].y - t[i].y)) / 2;
    return total;
}

// The outlines: every region boundary once, widened evenly with round joins. Widened and
// triangulated tile by tile: the lines near a tile, widened, then cut to the tile give
// the same as cutting the whole widened outline, and many small pieces are much quicker
// to widen and to triangulate than one with a hole per region.
static void outlineMesh(Work* work, const std::vector<Draft>& drafts, std::vector<PicturePoint>* triangles) {
    std::vector<Geom> lines;
    for (const Draft& d : drafts) lines.push_back(own(work, GEOSBoundary_r(work->handle, d.polygon.get())));
    if (lines.empty()) return;
    Geom all = collection(work, GEOS_GEOMETRYCOLLECTION, &lines);
    Geom noded = own(work, GEOSUnaryUnion_r(work->handle, all.get()));
    if (!noded) return;
    // Joined into whole lines between junctions first: the simplification keeps every line's ends.
    Geom joined = own(work, GEOSLineMerge_r(work->handle, noded.get()));
    if (!joined) return;
    Geom merged = own(work, GEOSTopologyPreserveSimplify_r(work->handle, joined.get(), kOutlineSimplify));
    if (!merged) return;
    GEOSBufferParams* params = GEOSBufferParams_create_r(work->handle);
    GEOSBufferParams_setEndCapStyle_r(work->handle, params, GEOSBUF_CAP_ROUND);
    GEOSBufferParams_setJoinStyle_r(work->handle, params, GEOSBUF_JOIN_ROUND);
    GEOSBufferParams_setQuadrantSegments_r(work->handle, params, 4);
    const double half = kOutlineWidth / 2, reach = kOutlineWidth;
    for (int ty = 0; ty < kOutlineTiles; ++ty)
        for (int tx = 0; tx < kOutlineTiles; ++tx) {
            double x0 = kCanvas * tx / kOutlineTiles, x1 = kCanvas * (tx + 1) / kOutlineTiles;
            double y0 = kCanvas * ty / kOutlineTiles, y1 = kCanvas * (ty + 1) / kOutlineTiles;
            // Tiles on the canvas edge take in the outline's overhang beyond it.
            if (tx == 0) x0 -= reach;
            if (ty == 0) y0 -= reach;
            if (tx == kOutlineTiles - 1) x1 += reach;
            if (ty == kOutlineTiles - 1) y1 += reach;
            Geom local = own(work, GEOSClipByRect_r(work->handle, merged.get(), x0 - reach, y0 - reach, x1 + reach, y1 + reach));
            if (!local || GEOSisEmpty_r(work->handle, local.get())) continue;
            Geom wide = own(work, GEOSBufferWithParams_r(work->handle, local.get(), params, half));
            Geom tile = own(work, GEOSGeom_createRectangle_r(work->handle, x0, y0, x1, y1));
            Geom piece = wide ? own(work, GEOSIntersection_r(work->handle, wide.get(), tile.get())) : Geom(nullptr, GeosFree{work->handle});
            if (piece) triangulate(work, piece.get(), triangles);
        }
    GEOSBufferParams_destroy_r(work->handle, params);
}

// Labels closer than this in height stand on one row for the element numbers.
static const double kReadingRowTolerance = 0.01;

// Element numbers: top to bottom, then left to right, of the label points. Rows are
// found by walking the labels from the top and starting a new row at every step down
// of more than the tolerance, so labels level to within a hair are read left to right
// whichever side of a grid line they fell.
static void sortInReadingOrder(std::vector<Draft>* drafts) {
    std::stable_sort(drafts->begin(), drafts->end(), [](const Draft& a, const Draft& b) {
        int64_t ay = gridUnits(a.centre.y), by = gridUnits(b.centre.y);
        if (ay != by) return ay > by;
        return gridUnits(a.centre.x) < gridUnits(b.centre.x);
    });
    size_t rowStart = 0;
    for (size_t i = 1; i <= drafts->size(); ++i) {
        if (i < drafts->size() && (*drafts)[i - 1].centre.y - (*drafts)[i].centre.y <= kReadingRowTolerance) continue;
        std::stable_sort(drafts->begin() + rowStart, drafts->begin() + i, [](const Draft& a, const Draft& b) {
            return gridUnits(a.centre.x) < gridUnits(b.centre.x);
        });
        rowStart = i;
    }
}

// ---------------------------------------------------------------------------
// Regions
// ---------------------------------------------------------------------------

std::string pictureVariantName(const std::string& source, const PageEntry* page, bool detailed) {
    return source + ", " + (detailed ? "detailed" : "normal") + " variant (" + pageVariant(page, detailed)->archive + ")";
}

std::string pictureColourHex(const PageEntry* page, int colour) {
    const uint8_t* c = page->palette[colour - 1];
    return studioFormat("#%02x%02x%02x", c[0], c[1], c[2]);
}

PictureVariant buildPictureVariant(const PictureSource& source, bool detailed, const PictureGlyphs& glyphs) {
    PictureVariant out;
    out.page = source.page;
    out.detailed = detailed;
    out.source = source.fileName;
    out.drawn.assign(source.page->colourCount, 0);

    Work work;
    work.handle = GEOS_init_r();
    GEOSContext_setErrorMessageHandler_r(work.handle, geosMessage, &work);
    work.source = &source;
    work.page = source.page;
    work.detailed = detailed;
    work.out = &out;
    for (const PictureShape& shape : source.shapes)
        if (shape.layer == LAYER_BOTH || shape.layer == (detailed ? LAYER_DETAILED_ONLY : LAYER_NORMAL_ONLY))
            work.shapes.push_back(&shape);

    // Faces and pieces; hairlines go to their neighbours until none is left.
    std::vector<Face> faces = canvasFaces(&work);
    auto edges = faceEdges(&work, faces);
    std::vector<Piece> pieces = groupPieces(&work, faces, edges);
    for (int round = 0; round < 4 && absorbCrumbs(&work, faces, pieces, edges); ++round)
        pieces = groupPieces(&work, faces, edges);

    // Pieces shown by a shape are the regions as drawn.
    std::vector<std::vector<Draft>> byColour(source.page->colourCount);
    std::vector<bool> shown(work.shapes.size(), false);
    for (Piece& piece : pieces) {
        if (piece.owner == kUncovered && piece.area >= kNotedBareArea)
            addNote(&work, studioFormat("white space %s (%.1f square units): no shape covers it, so it cannot be "
                                      "painted",
                                      placeText(piece.centre).c_str(), piece.area));
        if (piece.owner < 0 || !piece.polygon) continue;
        const PictureShape* shape = work.shapes[piece.owner];
        shown[piece.owner] = true;
        // A piece is one polygon; should the union of its faces fall apart anyway, each part is a region.
        std::vector<Geom> polygons;
        if (GEOSGeomTypeId_r(work.handle, piece.polygon.get()) == GEOS_POLYGON)
            polygons.push_back(std::move(piece.polygon));
        else
            for (const GEOSGeometry* part : parts(&work, piece.polygon.get()))
                if (GEOSGeomTypeId_r(work.handle, part) == GEOS_POLYGON)
                    polygons.push_back(own(&work, GEOSGeom_clone_r(work.handle, part)));
        for (Geom& polygon : polygons) {
            Draft draft;
            draft.colour = shape->colour;
            draft.shape = piece.owner;
            draft.polygon = std::move(polygon);
            draft.area = area(&work, draft.polygon.get());
            inscribedCircle(&work, draft.polygon.get(), &draft.centre, &draft.radius);
            if (draft.radius < kClickRadius)
                addError(&work, draft.centre,
                         studioFormat("a piece of %s %s is too small or thin to click: its widest spot is %.2f units "
                                    "across, at least %.2f are needed (%s)",
                                    colourText(&work, shape->colour).c_str(), placeText(draft.centre).c_str(),
                                    2 * draft.radius, 2 * kClickRadius, shape->name.c_str()));
            else {
                noteStrips(&work, draft);
                noteNecks(&work, draft);
            }
            byColour[shape->colour - 1].push_back(std::move(draft));
        }
    }
    for (size_t s = 0; s < work.shapes.size(); ++s)
        if (!shown[s]) addNote(&work, work.shapes[s]->name + " shows nowhere: the shapes above it cover it");

    // Counts against the catalogue; too few are made up by splitting the largest regions.
    const PageVariant* variant = pageVariant(source.page, detailed);
    for (int n = 1; n <= source.page->colourCount; ++n) {
        std::vector<Draft>& drafts = byColour[n - 1];
        int wanted = variant->regionCounts[n - 1];
        out.drawn[n - 1] = (int)drafts.size();
        if ((int)drafts.size() > wanted) {
            addError(&work, drafts.front().centre,
                     studioFormat("%s has %d regions, the catalogue wants %d: merge or recolour %d of them",
                                colourText(&work, n).c_str(), (int)drafts.size(), wanted,
                                (int)drafts.size() - wanted));
            sortInReadingOrder(&drafts);
            continue;
        }
        if (drafts.empty()) {
            addError(&work, PicturePoint{15, 15},
                     studioFormat("%s has no region, the catalogue wants %d", colourText(&work, n).c_str(), wanted));
            continue;
        }
        std::vector<int> unsplittable(0);
        while ((int)drafts.size() < wanted) {
            int largest = -1;
            for (size_t i = 0; i < drafts.size(); ++i)
                if (std::find(unsplittable.begin(), unsplittable.end(), (int)i) == unsplittable.end() &&
                    (largest < 0 || drafts[i].area > drafts[largest].area))
                    largest = (int)i;
            if (largest < 0) break;
            Draft first, second;
            if (!splitDraft(&work, drafts[largest], &first, &second)) {
                unsplittable.push_back(largest);
                continue;
            }
            drafts[largest] = std::move(first);
            drafts.push_back(std::move(second));
        }
        if ((int)drafts.size() < wanted)
            addError(&work, drafts.front().centre,
                     studioFormat("%s has %d region%s, the catalogue wants %d, and splitting reached only %d: "
                                "draw more regions of this colour, or larger ones",
                                colourText(&work, n).c_str(), out.drawn[n - 1], out.drawn[n - 1] == 1 ? "" : "s",
                                wanted, (int)drafts.size()));
        sortInReadingOrder(&drafts);
    }

    // Regions with their meshes and labels.
    std::vector<Draft> all;
    for (int n = 1; n <= source.page->colourCount; ++n)
        for (size_t m = 0; m < byColour[n - 1].size(); ++m) {
            Draft& draft = byColour[n - 1][m];
            PictureRegion region;
            region.colour = n;
            region.element = (int)m + 1;
            region.key = regionKey(n, region.element);
            region.entry = studioFormat("color%del%d", n, region.element);
            region.label = draft.centre;
            region.labelRadius = draft.radius;
            region.area = draft.area;
            region.rings = polygonRings(&work, draft.polygon.get());
            if (!triangulateRegion(&work, draft.polygon.get(), &region.triangles) ||
                std::fabs(trianglesArea(region.triangles) - draft.area) > 1e-6 * std::max(1.0, draft.area))
                triangulationError(&work, draft, region);
            double height = pictureDigitHeight(glyphs, n, draft.radius);
            placePictureDigit(glyphs, n, draft.centre, height, &out.numberTriangles);
            out.regions.push_back(std::move(region));
            all.push_back(std::move(draft));
        }
    outlineMesh(&work, all, &out.outlineTriangles);

    all.clear();
    pieces.clear();
    faces.clear();
    GEOS_finish_r(work.handle);
    return out;
}
