// The solid models of "interface.pak": the paint tube ("tubik_no_num"), the
// ribbon that carries its colour ("lenta"), the number labels ("tubik1" to
// "tubik9") and the brush ("kist_ruchka", "kist_vors_color"). They are real
// 3D shapes with smooth normals, so the scene's light shades them softly.
//
// Each is authored where it is seen, then carried into model space with the
// inverse of its node's rotation:
// - a tube slot is turned -90 degrees about X and the tube node by the
//   angles of its mode, X then Y then Z, so scene = slot + Rx(-90) Rx Ry Rz p.
//   The tube lies along model +Z with its nozzle forward (the click bubbles
//   start at (0, 0, 3.1) and fly along +Z); the number label faces the viewer
//   in colour-by-number mode, the only mode that shows numbers;
// - the brush handle is turned (-125, 0, 180) at eye depth 17; its bristle
//   tip is the model origin, the point that follows the mouse.
#include "tools/studio/studio.h"

#include <pango/pangocairo.h>

#include <cmath>
#include <functional>
#include <string>

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

struct Vec3 {
    double x, y, z;
};

// A rotation as three rows.
struct Mat3 {
    double m[3][3];
};

// A smooth surface over (u, v): its points, a point inside it that tells
// outward from inward, and its texture coordinates.
struct Surface {
    std::function<Vec3(double u, double v)> at;
    std::function<Vec3(double u, double v)> inside;
    std::function<void(double u, double v, float st[2])> texture;
};

// The tube's own frame in model space: its axis, the side facing the viewer in
// colour-by-number mode, and the side that is up on screen there.
struct TubeFrame {
    Vec3 axis, front, up;
};

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

// Node rotations of the tube in the two modes, and of the brush handle.
static const double kTubeTurnNumbers[3] = {-26.553, 70.428, 52.833};
static const double kBrushTurn[3] = {-125.0, 0.0, 180.0};

// The tube along its axis (model z). In colour-by-number mode the slots are
// 1.353 apart at eye depth 23 and the axis rises 17.7 degrees on screen, so
// neighbours stand 1.29 apart across it: the body (0.92 high, 1.1 when a hovered
// tube grows by 1.2) leaves room. In free mode the screen shows the body's
// depth (0.72) across it, where neighbours stand about 1.0 apart.
static const double kTubeBack = -0.40;        // the crimped end
static const double kTubeCrimpEnd = -0.16;    // where the flat crimp opens out
static const double kTubeRound = 0.42;        // fully round from here
static const double kTubeShoulder = 1.98;     // the body ends, the shoulder begins
static const double kTubeNeck = 2.20;         // the shoulder meets the neck
static const double kTubeNeckEnd = 2.30;
static const double kTubeHalfHeight = 0.46;   // across, up on screen in colour-by-number mode
static const double kTubeHalfDepth = 0.36;    // across, towards the viewer there
static const double kCrimpHalfWidth = 0.50;
static const double kCrimpHalfThickness = 0.035;
// The crimp is turned about the axis from the up side towards the front, so that
// it shows as a flat end in both modes: the viewer looks along the front in
// colour-by-number mode and almost along the up side in free mode.
static const double kCrimpTurn = 35.0 * M_PI / 180;
static const double kNeckRadius = 0.17;
static const double kCapStart = 2.26;
static const double kCapEnd = 2.62;
static const double kCapRadius = 0.25;
static const double kBandStart = 0.50;
static const double kBandEnd = 1.86;
static const double kBandLift = 1.012;        // the ribbon lies just outside the body
static const double kLabelLift = 1.03;        // the label just outside the ribbon
static const double kLabelStart = 0.72;
static const double kLabelEnd = 1.64;
static const double kLabelHalfHeight = 0.80;  // of the body's half height, up and down

// The brush, measured from the tip along its axis (eye-depth units at depth 17).
static const double kBristleLength = 0.78;
static const double kBristleRadius = 0.20;
static const double kFerruleStart = 0.70;
static const double kFerruleEnd = 1.24;
static const double kFerruleRadius = 0.19;
static const double kHandleStart = 1.18;
static const double kHandleEnd = 2.55;
// On screen the handle leans up and to the right and a little towards the viewer.
static const Vec3 kBrushDirection = {0.50, 0.80, 0.30};

static const double kHandleColour[3] = {0.18, 0.48, 0.95};
static const double kTubeMetal[3] = {0.86, 0.88, 0.92};
static const double kLabelInk[3] = {0.13, 0.16, 0.30};

static const int kAround = 20;  // facets around a round part: a quarter pixel from round at the tubes' size

// ---------------------------------------------------------------------------
// Internal helpers: vectors
// ---------------------------------------------------------------------------

static Vec3 add(Vec3 a, Vec3 b) { return Vec3{a.x + b.x, a.y + b.y, a.z + b.z}; }
static Vec3 sub(Vec3 a, Vec3 b) { return Vec3{a.x - b.x, a.y - b.y, a.z - b.z}; }
static Vec3 scaled(Vec3 a, double k) { return Vec3{a.x * k, a.y * k, a.z * k}; }
static double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
static Vec3 cross(Vec3 a, Vec3 b) { return Vec3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
static double length(Vec3 a) { return std::sqrt(dot(a, a)); }
static Vec3 normalised(Vec3 a) { return scaled(a, 1.0 / length(a)); }

static Mat3 multiply(const Mat3& a, const Mat3& b) {
    Mat3 r = Mat3();
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) r.m[i][j] += a.m[i][k] * b.m[k][j];
    return r;
}

static Mat3 rotation(int axis, double degrees) {
    double a = degrees * M_PI / 180, c = std::cos(a), s = std::sin(a);
    Mat3 r = Mat3();
    int i = (axis + 1) % 3, j = (axis + 2) % 3;
    r.m[axis][axis] = 1;
    r.m[i][i] = c;
    r.m[i][j] = -s;
    r.m[j][i] = s;
    r.m[j][j] = c;
    return r;
}

// What a node turned by (ax, ay, az), X then Y then Z, does to its model.
static Mat3 nodeTurn(const double angles[3]) {
    return multiply(rotation(0, angles[0]), multiply(rotation(1, angles[1]), rotation(2, angles[2])));
}

static Vec3 apply(const Mat3& r, Vec3 p) {
    return Vec3{r.m[0][0] * p.x + r.m[0][1] * p.y + r.m[0][2] * p.z,
                r.m[1][0] * p.x + r.m[1][1] * p.y + r.m[1][2] * p.z,
                r.m[2][0] * p.x + r.m[2][1] * p.y + r.m[2][2] * p.z};
}

static Vec3 applyInverse(const Mat3& r, Vec3 p) {
    return Vec3{r.m[0][0] * p.x + r.m[1][0] * p.y + r.m[2][0] * p.z,
                r.m[0][1] * p.x + r.m[1][1] * p.y + r.m[2][1] * p.z,
                r.m[0][2] * p.x + r.m[1][2] * p.y + r.m[2][2] * p.z};
}

// ---------------------------------------------------------------------------
// Internal helpers: meshes
// ---------------------------------------------------------------------------

static void pushVertex(MeshSource* mesh, Vec3 p, Vec3 n, const float st[2]) {
    mesh->positions.insert(mesh->positions.end(), {(float)p.x, (float)p.y, (float)p.z});
    mesh->normals.insert(mesh->normals.end(), {(float)n.x, (float)n.y, (float)n.z});
    mesh->texCoords.insert(mesh->texCoords.end(), {st[0], st[1]});
}

// The outward normal at (u, v), from the surface's slopes; where they vanish
// (a pole) the normal is taken a little way off it.
static Vec3 surfaceNormal(const Surface& s, double u, double v) {
    const double h = 1e-4;
    for (double nudge : {0.0, 1e-3, -1e-3, 1e-2, -1e-2}) {
        double w = v + nudge;
        Vec3 du = sub(s.at(u + h, w), s.at(u - h, w));
        Vec3 dv = sub(s.at(u, w + h), s.at(u, w - h));
        Vec3 n = cross(du, dv);
        if (length(n) < 1e-12) continue;
        n = normalised(n);
        if (dot(n, sub(s.at(u, v), s.inside(u, v))) < 0) n = scaled(n, -1.0);
        return n;
    }
    return normalised(sub(s.at(u, v), s.inside(u, v)));
}

// Appends the surface as a grid of us x vs samples, each cell two triangles.
static void addSurface(MeshSource* mesh, const Surface& s, const std::vector<double>& us,
                       const std::vector<double>& vs) {
    for (size_t j = 0; j + 1 < vs.size(); ++j)
        for (size_t i = 0; i + 1 < us.size(); ++i) {
            double cu[4] = {us[i], us[i + 1], us[i + 1], us[i]};
            double cv[4] = {vs[j], vs[j], vs[j + 1], vs[j + 1]};
            Vec3 p[4], n[4];
            float st[4][2];
            for (int k = 0; k < 4; ++k) {
                p[k] = s.at(cu[k], cv[k]);
                n[k] = surfaceNormal(s, cu[k], cv[k]);
                s.texture(cu[k], cv[k], st[k]);
            }
            // A cell that closes into a point is one triangle.
            if (length(sub(p[0], p[1])) > 1e-9) {
                pushVertex(mesh, p[0], n[0], st[0]);
                pushVertex(mesh, p[1], n[1], st[1]);
                pushVertex(mesh, p[2], n[2], st[2]);
            }
            if (length(sub(p[2], p[3])) > 1e-9) {
                pushVertex(mesh, p[0], n[0], st[0]);
                pushVertex(mesh, p[2], n[2], st[2]);
                pushVertex(mesh, p[3], n[3], st[3]);
            }
        }
}

static std::vector<double> steps(double from, double to, int count) {
    std::vector<double> values;
    for (int i = 0; i <= count; ++i) values.push_back(from + (to - from) * i / count);
    return values;
}

static std::vector<double> around() { return steps(0.0, 1.0, kAround); }

// Carries a mesh authored in one space into another.
static void transformMesh(MeshSource* mesh, const std::function<Vec3(Vec3)>& turn) {
    for (size_t i = 0; i + 2 < mesh->positions.size(); i += 3) {
        Vec3 p = turn(Vec3{mesh->positions[i], mesh->positions[i + 1], mesh->positions[i + 2]});
        Vec3 n = turn(Vec3{mesh->normals[i], mesh->normals[i + 1], mesh->normals[i + 2]});
        mesh->positions[i] = (float)p.x;
        mesh->positions[i + 1] = (float)p.y;
        mesh->positions[i + 2] = (float)p.z;
        mesh->normals[i] = (float)n.x;
        mesh->normals[i + 1] = (float)n.y;
        mesh->normals[i + 2] = (float)n.z;
    }
}

// ---------------------------------------------------------------------------
// Internal helpers: images
// ---------------------------------------------------------------------------

static std::vector<uint8_t> finishImage(cairo_surface_t* surface, cairo_t* cr) {
    cairo_destroy(cr);
    std::vector<uint8_t> png = studioPng(surface);
    cairo_surface_destroy(surface);
    return png;
}

// The tube's metal along its length (t = 0 at the crimped end): ridges pressed
// into the crimp, a plain body, a darker threaded neck.
static std::vector<uint8_t> tubeBodyImage() {
    const int w = 8, h = 256;
    cairo_surface_t* surface = studioCanvas(w, h);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, kTubeMetal[0], kTubeMetal[1], kTubeMetal[2]);
    cairo_paint(cr);
    double total = kTubeNeckEnd - kTubeBack;
    double crimpRows = h * (kTubeCrimpEnd - kTubeBack + 0.04) / total;
    for (int i = 0; i < 5; ++i) {
        double y = crimpRows * (i + 0.5) / 5;
        cairo_rectangle(cr, 0, y - 1.2, w, 2.4);
        cairo_set_source_rgb(cr, 0.68, 0.70, 0.75);
        cairo_fill(cr);
    }
    double neckRow = h * (kTubeNeck - kTubeBack) / total;
    cairo_rectangle(cr, 0, neckRow, w, h - neckRow);
    cairo_set_source_rgb(cr, 0.72, 0.74, 0.78);
    cairo_fill(cr);
    return finishImage(surface, cr);
}

// The ribbon: white so the node's colour shows as it is, with a fine line at each edge.
static std::vector<uint8_t> ribbonImage() {
    const int w = 8, h = 64;
    cairo_surface_t* surface = studioCanvas(w, h);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0.62, 0.62, 0.62);
    cairo_rectangle(cr, 0, 0, w, 2);
    cairo_rectangle(cr, 0, h - 2, w, 2);
    cairo_fill(cr);
    return finishImage(surface, cr);
}

// The screw cap's ribs around it, white under the node's colour.
static std::vector<uint8_t> capImage() {
    const int w = 96, h = 4;
    cairo_surface_t* surface = studioCanvas(w, h);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    for (int i = 0; i < 24; ++i) {
        cairo_rectangle(cr, i * 4.0 + 1.0, 0, 1.5, h);
        cairo_set_source_rgb(cr, 0.78, 0.78, 0.78);
        cairo_fill(cr);
    }
    return finishImage(surface, cr);
}

// A white sticker with the number, the digit turned so that it stands upright
// on screen although the tube rises to the right.
static std::vector<uint8_t> labelImage(int number, double uprightTurn) {
    const int size = 128;
    cairo_surface_t* surface = studioCanvas(size, size);
    cairo_t* cr = cairo_create(surface);
    cairo_scale(cr, size, size);
    // The sticker fills the image: the label mesh is exactly its size.
    double inset = 0.03, radius = 0.22;
    cairo_new_sub_path(cr);
    cairo_arc(cr, 1 - inset - radius, inset + radius, radius, -M_PI / 2, 0);
    cairo_arc(cr, 1 - inset - radius, 1 - inset - radius, radius, 0, M_PI / 2);
    cairo_arc(cr, inset + radius, 1 - inset - radius, radius, M_PI / 2, M_PI);
    cairo_arc(cr, inset + radius, inset + radius, radius, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_fill_preserve(cr);
    cairo_set_line_width(cr, 0.035);
    cairo_set_source_rgb(cr, 0.55, 0.58, 0.66);
    cairo_stroke(cr);

    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* font = pango_font_description_from_string("Andika Bold");
    pango_font_description_set_absolute_size(font, 0.95 * PANGO_SCALE);
    pango_layout_set_font_description(layout, font);
    std::string text = std::to_string(number);
    pango_layout_set_text(layout, text.c_str(), -1);
    PangoRectangle ink;
    pango_layout_get_extents(layout, &ink, nullptr);
    double inkX = (double)ink.x / PANGO_SCALE, inkY = (double)ink.y / PANGO_SCALE;
    double inkW = (double)ink.width / PANGO_SCALE, inkH = (double)ink.height / PANGO_SCALE;
    cairo_translate(cr, 0.5, 0.5);
    cairo_rotate(cr, uprightTurn);
    double fit = 0.8 / inkH;
    cairo_scale(cr, fit, fit);
    cairo_move_to(cr, -inkX - inkW / 2, -inkY - inkH / 2);
    pango_cairo_layout_path(cr, layout);
    cairo_set_source_rgb(cr, kLabelInk[0], kLabelInk[1], kLabelInk[2]);
    cairo_fill(cr);
    pango_font_description_free(font);
    g_object_unref(layout);
    return finishImage(surface, cr);
}

// Bristles: white hair under the brush colour, with faint strands along it.
static std::vector<uint8_t> bristleImage() {
    const int w = 64, h = 32;
    cairo_surface_t* surface = studioCanvas(w, h);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    for (int i = 0; i < 16; ++i) {
        cairo_rectangle(cr, i * 4.0 + (i % 3), 0, 1.0, h);
        cairo_set_source_rgb(cr, 0.84, 0.84, 0.84);
        cairo_fill(cr);
    }
    return finishImage(surface, cr);
}

// Along the handle and ferrule (t = 0 at the tip end): grooved metal, then the
// lacquered handle with a light ring near the metal.
static std::vector<uint8_t> brushHandleImage() {
    const int w = 8, h = 256;
    cairo_surface_t* surface = studioCanvas(w, h);
    cairo_t* cr = cairo_create(surface);
    double metalEnd = h * (kFerruleEnd - kFerruleStart) / (kHandleEnd - kFerruleStart);
    cairo_rectangle(cr, 0, 0, w, metalEnd);
    cairo_set_source_rgb(cr, 0.84, 0.85, 0.88);
    cairo_fill(cr);
    for (double f : {0.55, 0.75}) {
        cairo_rectangle(cr, 0, metalEnd * f - 1.5, w, 3);
        cairo_set_source_rgb(cr, 0.58, 0.60, 0.65);
        cairo_fill(cr);
    }
    cairo_rectangle(cr, 0, metalEnd, w, h - metalEnd);
    cairo_set_source_rgb(cr, kHandleColour[0], kHandleColour[1], kHandleColour[2]);
    cairo_fill(cr);
    cairo_rectangle(cr, 0, metalEnd + 10, w, 8);
    cairo_set_source_rgb(cr, 1.0, 0.85, 0.2);
    cairo_fill(cr);
    return finishImage(surface, cr);
}

// ---------------------------------------------------------------------------
// Internal helpers: the tube
// ---------------------------------------------------------------------------

// The tube's frame: model +Z is its axis; front is the side the viewer sees in
// colour-by-number mode, up the side that is up on screen there.
static TubeFrame tubeFrame() {
    Mat3 slot = rotation(0, -90.0);
    Mat3 turn = multiply(slot, nodeTurn(kTubeTurnNumbers));
    TubeFrame f;
    f.axis = Vec3{0, 0, 1};
    Vec3 toViewer = applyInverse(turn, Vec3{0, 0, 1});
    f.front = normalised(sub(toViewer, scaled(f.axis, dot(toViewer, f.axis))));
    f.up = cross(f.front, f.axis);
    return f;
}

// How far the label's digit must turn to stand upright on screen: the angle by
// which the tube's axis rises there.
static double labelUprightTurn() {
    Mat3 turn = multiply(rotation(0, -90.0), nodeTurn(kTubeTurnNumbers));
    Vec3 axis = apply(turn, Vec3{0, 0, 1});
    return std::atan2(axis.y, axis.x);
}

static double smoothStep(double a, double b, double x) {
    double t = std::fmin(1.0, std::fmax(0.0, (x - a) / (b - a)));
    return t * t * (3 - 2 * t);
}

// Half sizes of the tube's cross-section (up, front) at z along the axis, and
// how far the section is turned about the axis there.
static void tubeSection(double z, double* halfUp, double* halfFront, double* turn) {
    *turn = kCrimpTurn * (1 - smoothStep(kTubeCrimpEnd, kTubeRound, z));
    if (z <= kTubeCrimpEnd) {
        *halfUp = kCrimpHalfWidth;
        *halfFront = kCrimpHalfThickness;
    } else if (z <= kTubeRound) {
        double w = smoothStep(kTubeCrimpEnd, kTubeRound, z);
        *halfUp = kCrimpHalfWidth + (kTubeHalfHeight - kCrimpHalfWidth) * w;
        *halfFront = kCrimpHalfThickness + (kTubeHalfDepth - kCrimpHalfThickness) * std::sin(w * M_PI / 2);
    } else if (z <= kTubeShoulder) {
        *halfUp = kTubeHalfHeight;
        *halfFront = kTubeHalfDepth;
    } else if (z <= kTubeNeck) {
        double t = (z - kTubeShoulder) / (kTubeNeck - kTubeShoulder);
        double k = std::sqrt(std::fmax(0.0, 1 - t * t));
        *halfUp = kNeckRadius + (kTubeHalfHeight - kNeckRadius) * k;
        *halfFront = kNeckRadius + (kTubeHalfDepth - kNeckRadius) * k;
    } else {
        *halfUp = kNeckRadius;
        *halfFront = kNeckRadius;
    }
}

static Vec3 tubePoint(const TubeFrame& f, double z, double angle, double halfUp, double halfFront, double turn = 0) {
    double a = halfUp * std::cos(angle), b = halfFront * std::sin(angle);
    double c = std::cos(turn), s = std::sin(turn);
    return add(scaled(f.axis, z), add(scaled(f.up, a * c - b * s), scaled(f.front, a * s + b * c)));
}

static Surface tubeSurface(const TubeFrame& f, double lift, double z0, double z1) {
    Surface s;
    s.at = [f, lift, z0, z1](double u, double z) {
        double up, front, turn;
        tubeSection(std::fmin(z1, std::fmax(z0, z)), &up, &front, &turn);
        return tubePoint(f, z, 2 * M_PI * u, up * lift, front * lift, turn);
    };
    s.inside = [f](double, double z) { return scaled(f.axis, z); };
    s.texture = [z0, z1](double u, double z, float st[2]) {
        st[0] = (float)u;
        st[1] = (float)((z - z0) / (z1 - z0));
    };
    return s;
}

// A flat end of a round part: the rim at radius scale v = 1 closing to the centre.
static Surface endDisc(const TubeFrame& f, double z, double halfUp, double halfFront, double facing, double turn = 0) {
    Surface s;
    s.at = [f, z, halfUp, halfFront, turn](double u, double v) {
        return tubePoint(f, z, 2 * M_PI * u, halfUp * v, halfFront * v, turn);
    };
    s.inside = [f, z, facing](double, double) { return scaled(f.axis, z - facing); };
    s.texture = [](double u, double v, float st[2]) {
        st[0] = (float)u;
        st[1] = (float)(1 - v);
    };
    return s;
}

// Stations along the body: rings only where the section changes. The crimp
// and the body are straight, so their normals, light and texture coordinates
// interpolate exactly between their two end rings; every triangle more costs
// the software renderer setup and binning on each of the nine tubes.
static std::vector<double> bodyStations() {
    std::vector<double> z = steps(kTubeBack, kTubeCrimpEnd, 1);
    std::vector<double> opening = steps(kTubeCrimpEnd, kTubeRound, 6);
    z.insert(z.end(), opening.begin() + 1, opening.end());
    z.push_back(kTubeShoulder);
    std::vector<double> shoulder = steps(0.0, 1.0, 4);
    for (size_t i = 1; i < shoulder.size(); ++i)
        z.push_back(kTubeShoulder + (kTubeNeck - kTubeShoulder) * std::sin(shoulder[i] * M_PI / 2));
    z.push_back(kTubeNeckEnd);
    return z;
}

// The screw cap: a short cylinder whose top edge is rounded off.
static Surface capSurface(const TubeFrame& f) {
    const double round = 0.06;
    Surface s;
    s.at = [f, round](double u, double z) {
        double r = kCapRadius;
        double edge = kCapEnd - round;
        if (z > edge) {
            double a = std::asin(std::fmin(1.0, (z - edge) / round));
            r = kCapRadius - round + round * std::cos(a);
        }
        return tubePoint(f, z, 2 * M_PI * u, r, r);
    };
    s.inside = [f](double, double z) { return scaled(f.axis, z); };
    s.texture = [](double u, double z, float st[2]) {
        st[0] = (float)u;
        st[1] = (float)((z - kCapStart) / (kCapEnd - kCapStart));
    };
    return s;
}

static std::vector<double> capStations() {
    std::vector<double> z = steps(kCapStart, kCapEnd - 0.06, 1);
    for (int i = 1; i <= 3; ++i) z.push_back(kCapEnd - 0.06 + 0.06 * std::sin(i / 3.0 * M_PI / 2));
    return z;
}

// The label: a patch of the ribbon's surface on the side facing the viewer,
// mapped so that the image is even across the screen, not around the tube.
static Surface labelSurface(const TubeFrame& f) {
    double halfUp = kTubeHalfHeight * kBandLift * kLabelLift;
    double halfFront = kTubeHalfDepth * kBandLift * kLabelLift;
    Surface s;
    s.at = [f, halfUp, halfFront](double u, double v) {
        double z = kLabelStart + (kLabelEnd - kLabelStart) * u;
        double a = kLabelHalfHeight * (1 - 2 * v);  // +1 top of the image .. -1 bottom
        double b = std::sqrt(std::fmax(0.0, 1 - a * a));
        return add(scaled(f.axis, z), add(scaled(f.up, halfUp * a), scaled(f.front, halfFront * b)));
    };
    s.inside = [f](double u, double) { return scaled(f.axis, kLabelStart + (kLabelEnd - kLabelStart) * u); };
    s.texture = [](double u, double v, float st[2]) {
        st[0] = (float)u;
        st[1] = (float)v;
    };
    return s;
}

// ---------------------------------------------------------------------------
// Internal helpers: the brush
// ---------------------------------------------------------------------------

static double bristleRadius(double s) {
    double x = s / kBristleLength;
    double belly = 0.62;
    double r = kBristleRadius * std::pow(std::sin(std::fmin(x / belly, 1.0) * M_PI / 2), 0.8);
    if (x > belly) r *= 1 - 0.25 * std::pow((x - belly) / (1.15 - belly), 2);
    return r;
}

static double ferruleRadius(double s) {
    double open = bristleRadius(kFerruleStart) + 0.006;
    double r = open + (kFerruleRadius - open) * smoothStep(kFerruleStart, kFerruleStart + 0.07, s);
    return r - 0.028 * smoothStep(kFerruleEnd - 0.08, kFerruleEnd, s);
}

static double handleRadius(double s) {
    const double end = 0.1, tipRadius = 0.1;
    if (s > kHandleEnd - end) {
        double t = (s - (kHandleEnd - end)) / end;
        return tipRadius * std::sqrt(std::fmax(0.0, 1 - t * t));
    }
    double t = (s - kHandleStart) / (kHandleEnd - end - kHandleStart);
    // Swells a little behind the metal, then tapers to the end.
    double swell = t < 0.4 ? 0.03 * std::sin(t * 2.5 * M_PI) : 0.0;
    return 0.158 + swell - 0.058 * smoothStep(0.3, 1.0, t);
}

// A round part of the brush: radius(s) around the brush's axis, s along it.
static Surface brushSurface(double (*radius)(double), double s0, double s1, double t0, double t1) {
    Vec3 axis = normalised(kBrushDirection);
    Vec3 side = normalised(cross(axis, Vec3{0, 0, 1}));
    Vec3 other = cross(axis, side);
    Surface s;
    s.at = [=](double u, double v) {
        double r = radius(std::fmin(s1, std::fmax(s0, v)));
        double a = 2 * M_PI * u;
        return add(scaled(axis, v), add(scaled(side, r * std::cos(a)), scaled(other, r * std::sin(a))));
    };
    s.inside = [axis](double, double v) { return scaled(axis, v); };
    s.texture = [=](double u, double v, float st[2]) {
        st[0] = (float)u;
        st[1] = (float)(t0 + (t1 - t0) * (v - s0) / (s1 - s0));
    };
    return s;
}

// From the screen space the brush is authored in to its model space.
static Vec3 brushToModel(Vec3 p) { return applyInverse(nodeTurn(kBrushTurn), p); }

// ---------------------------------------------------------------------------
// Public operations
// ---------------------------------------------------------------------------

void addInterfaceTubes(PakArchive* archive) {
    TubeFrame f = tubeFrame();
    studioAdd(archive, "tubik_body.png", tubeBodyImage());
    studioAdd(archive, "lenta_band.png", ribbonImage());
    studioAdd(archive, "lenta_cap.png", capImage());
    studioAdd(archive, "lenta_white.png", studioSolidPng(1, 1, 1));

    MeshSource body = studioMesh("tubik_body.png", MATERIAL_GLOSSY, false);
    addSurface(&body, tubeSurface(f, 1.0, kTubeBack, kTubeNeckEnd), around(), bodyStations());
    double up, front, crimpTurn;
    tubeSection(kTubeBack, &up, &front, &crimpTurn);
    addSurface(&body, endDisc(f, kTubeBack, up, front, -1.0, crimpTurn), around(), steps(1.0, 0.0, 1));
    studioAdd(archive, "tubik_no_num", studioModel({body}));

    // The ribbon carries the tube's colour: band and cap are white under the node's colour.
    MeshSource band = studioMesh("lenta_band.png", MATERIAL_GLOSSY, false);
    addSurface(&band, tubeSurface(f, kBandLift, kBandStart, kBandEnd), around(), steps(kBandStart, kBandEnd, 1));
    MeshSource cap = studioMesh("lenta_cap.png", MATERIAL_GLOSSY, false);
    addSurface(&cap, capSurface(f), around(), capStations());
    MeshSource capEnds = studioMesh("lenta_white.png", MATERIAL_GLOSSY, false);
    addSurface(&capEnds, endDisc(f, kCapEnd, kCapRadius - 0.06, kCapRadius - 0.06, 1.0), around(),
               steps(1.0, 0.0, 1));
    addSurface(&capEnds, endDisc(f, kCapStart, kCapRadius, kCapRadius, -1.0), around(), steps(1.0, 0.0, 1));
    studioAdd(archive, "lenta", studioModel({band, cap, capEnds}));

    double turn = labelUprightTurn();
    for (int n = 1; n <= 9; ++n) {
        std::string key = "tubik" + std::to_string(n);
        studioAdd(archive, key + ".png", labelImage(n, turn));
        // Transparent for the sticker's soft rounded corners.
        MeshSource label = studioMesh(key + ".png", MATERIAL_FLAT, true);
        addSurface(&label, labelSurface(f), steps(0.0, 1.0, 1), steps(0.0, 1.0, 8));
        studioAdd(archive, key, studioModel({label}));
    }
}

void addInterfaceBrush(PakArchive* archive) {
    studioAdd(archive, "kist_bristles.png", bristleImage());
    studioAdd(archive, "kist_handle.png", brushHandleImage());

    MeshSource handle = studioMesh("kist_handle.png", MATERIAL_GLOSSY, false);
    double metalShare = (kFerruleEnd - kFerruleStart) / (kHandleEnd - kFerruleStart);
    double handleFrom = (kHandleStart - kFerruleStart) / (kHandleEnd - kFerruleStart);
    addSurface(&handle, brushSurface(ferruleRadius, kFerruleStart, kFerruleEnd, 0.0, metalShare), around(),
               steps(kFerruleStart, kFerruleEnd, 16));
    addSurface(&handle, brushSurface(handleRadius, kHandleStart, kHandleEnd, handleFrom, 1.0), around(),
               steps(kHandleStart, kHandleEnd, 28));
    transformMesh(&handle, brushToModel);
    studioAdd(archive, "kist_ruchka", studioModel({handle}));

    // The tip is the model origin; the bristles reach into the metal.
    MeshSource bristles = studioMesh("kist_bristles.png", MATERIAL_FLAT, false);
    std::vector<double> along = steps(0.0, 1.0, 18);
    for (double& s : along) s = kFerruleStart * 1.1 * (1 - std::cos(s * M_PI / 2));
    addSurface(&bristles, brushSurface(bristleRadius, 0.0, kFerruleStart * 1.1, 0.0, 1.0), around(), along);
    transformMesh(&bristles, brushToModel);
    studioAdd(archive, "kist_vors_color", studioModel({bristles}));
}
