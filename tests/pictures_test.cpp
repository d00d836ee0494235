// The picture builder, run as the build runs it ("tintaria-studio OUT
// pictures") on small test pictures under fixtures/pictures/, and its
// archives read back with the game's own readers: the keys the catalogue
// names and no others, model streams read to their last byte, regions that
// tile the covered canvas without gaps or overlaps and share their edges
// vertex for vertex, label points inside their own region only, numbers
// inside their regions, overlays in front; counts as drawn and as the
// catalogue wants them; and the errors an artist gets for a picture the game
// cannot use. The same variant checks run on every picture the build made.
#include "game/game.h"
#include "resources/resources.h"
#include "support/test_support.h"

#include <SDL/SDL.h>
#include <SDL/SDL_image.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// What a run of the builder printed and how it ended.
struct StudioRun {
    int status;
    std::string output;          // standard output and error together
};

struct Point {
    double x, y;
};

// One region as the manifest lists it.
struct ManifestRegion {
    int key;
    std::string entry;
    int colour;
    int element;
    Point label;
    double radius;
    double area;
};

struct Manifest {
    int page;
    std::string variant;
    std::string archive;
    std::vector<int> drawn;
    std::vector<int> catalogue;
    std::vector<ManifestRegion> regions;
};

// A variant read back: every region's triangles in canvas coordinates, and the overlays.
struct BuiltVariant {
    bool loaded;
    PakArchive archive;
    std::map<std::string, std::vector<Point>> regions;   // three points per triangle
    std::vector<Point> numbers;
    std::vector<Point> outlines;
};

// Triangles of all regions bucketed by canvas cell, to find the ones around a point quickly.
struct TriangleIndex {
    std::vector<const std::vector<Point>*> regions;
    std::vector<std::vector<std::pair<int, size_t>>> cells;   // region, first point of the triangle
};

// One picture source with a mistake, and what the builder must say about it.
struct SourceMistake {
    const char* name;
    const char* body;            // placed after a full-canvas sky in a correct document
    const char* document;        // or the whole file, when the mistake is in the document itself
    const char* expected;        // part of the message
};

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

const double kCanvas = 30.0;
const double kPictureY = -51.121;  // overlay model y of the canvas plane
const double kClickRadius = 0.35;
const int kIndexCells = 60;             // half a unit each

const char* const kDocumentStart =
    "<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 300 300\">\n"
    "<rect id=\"sky\" x=\"0\" y=\"0\" width=\"300\" height=\"300\" fill=\"#ffbc01\"/>\n";

const SourceMistake kMistakes[] = {
    {"FillOutsideThePalette", "<rect id=\"roof\" x=\"10\" y=\"10\" width=\"50\" height=\"50\" fill=\"#123456\"/>", nullptr,
     "<rect id=\"roof\"> (line 4): has fill #123456, which is not a colour of page 7's palette"},
    {"NoFill", "<circle cx=\"50\" cy=\"50\" r=\"30\"/>", nullptr, "<circle> (line 4): has no fill (SVG draws it black)"},
    {"InheritedWrongFill", "<g fill=\"#ff0000\"><rect id=\"wall\" x=\"10\" y=\"10\" width=\"50\" height=\"50\"/></g>",
     nullptr, "<rect id=\"wall\"> (line 4): has fill #ff0000"},
    {"Stroke", "<rect id=\"door\" x=\"10\" y=\"10\" width=\"50\" height=\"50\" fill=\"#d89900\" stroke=\"#000000\"/>",
     nullptr, "<rect id=\"door\"> (line 4): has a stroke"},
    {"StrokeInStyle",
     "<rect id=\"door\" x=\"10\" y=\"10\" width=\"50\" height=\"50\" style=\"fill:#d89900;stroke:#000000\"/>", nullptr,
     "<rect id=\"door\"> (line 4): has a stroke"},
    {"SeeThrough", "<rect id=\"glass\" x=\"10\" y=\"10\" width=\"50\" height=\"50\" fill=\"#d89900\" opacity=\"0.5\"/>",
     nullptr, "<rect id=\"glass\"> (line 4): is see-through"},
    {"Gradient",
     "<defs><linearGradient id=\"g\"><stop offset=\"0\" stop-color=\"#d89900\"/></linearGradient></defs>"
     "<rect id=\"lit\" x=\"10\" y=\"10\" width=\"50\" height=\"50\" fill=\"url(#g)\"/>",
     nullptr, "<rect id=\"lit\"> (line 4): its fill is not a plain colour"},
    {"Text", "<text x=\"10\" y=\"10\">7</text>", nullptr, "<text> (line 4): text is not shown"},
    {"Bitmap", "<image x=\"0\" y=\"0\" width=\"10\" height=\"10\" href=\"a.png\"/>", nullptr,
     "<image> (line 4): bitmaps are not read"},
    {"Clone", "<use href=\"#sky\"/>", nullptr, "<use> (line 4): clones are not read"},
    {"ClipPath", "<rect x=\"10\" y=\"10\" width=\"50\" height=\"50\" fill=\"#d89900\" clip-path=\"url(#c)\"/>", nullptr,
     "uses clip-path"},
    {"MarkedForBothVariants",
     "<g class=\"normal\"><rect id=\"odd\" class=\"detailed\" x=\"10\" y=\"10\" width=\"50\" height=\"50\" "
     "fill=\"#d89900\"/></g>",
     nullptr, "<rect id=\"odd\"> (line 4) is marked for one variant inside a group marked for the other"},
    {"WrongViewBox", nullptr,
     "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 100 100\"><rect width=\"10\" height=\"10\"/></svg>",
     "needs viewBox=\"0 0 300 300\""},
    {"NoNamespace", nullptr, "<svg viewBox=\"0 0 300 300\"><rect width=\"10\" height=\"10\"/></svg>",
     "the root element must be <svg xmlns=\"http://www.w3.org/2000/svg\""},
    {"NotXml", nullptr, "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 300 300\"><rect></svg>",
     "not readable XML"},
};

// Test names and failure messages show a mistake by its name.
void PrintTo(const SourceMistake& mistake, std::ostream* os) { *os << mistake.name; }

// ---------------------------------------------------------------------------
// Internal helpers: running the builder
// ---------------------------------------------------------------------------

std::string studioPath() {
    const char* tools = getenv("TINTARIA_TOOLS_DIR");
    return std::string(tools && *tools ? tools : TINTARIA_BINARY_DIR "/tools") + "/tintaria-studio";
}

std::string fixture(const char* name) { return std::string(TINTARIA_FIXTURES_DIR) + "/pictures/" + name; }

StudioRun runPictures(const std::string& sources, const std::string& outDir) {
    std::string command = "TINTARIA_PICTURES_SOURCES='" + sources + "' '" + studioPath() + "' '" + outDir +
                          "' pictures 2>&1";
    StudioRun run = {-1, std::string()};
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
    int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

bool fileExists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

// ---------------------------------------------------------------------------
// Internal helpers: reading the manifest (the builder's own small JSON)
// ---------------------------------------------------------------------------

// The text after "name": in an object's text.
const char* afterKey(const std::string& text, const char* name, size_t from = 0) {
    size_t at = text.find(std::string("\"") + name + "\":", from);
    return at == std::string::npos ? nullptr : text.c_str() + at + strlen(name) + 3;
}

std::vector<int> intList(const char* at) {
    std::vector<int> values;
    if (!at || !(at = strchr(at, '['))) return values;
    ++at;
    while (*at && *at != ']') {
        char* end = nullptr;
        long v = strtol(at, &end, 10);
        if (end == at) break;
        values.push_back((int)v);
        at = end;
        while (*at == ',' || *at == ' ') ++at;
    }
    return values;
}

std::string stringValue(const char* at) {
    if (!at || !(at = strchr(at, '"'))) return std::string();
    const char* end = strchr(at + 1, '"');
    return end ? std::string(at + 1, end) : std::string();
}

bool readManifest(const std::string& path, Manifest* manifest) {
    std::vector<uint8_t> bytes = readWholeFile(path);
    if (bytes.empty()) return false;
    std::string text(bytes.begin(), bytes.end());
    size_t regionsAt = text.find("\"regions\":");
    if (regionsAt == std::string::npos) return false;
    std::string head = text.substr(0, regionsAt);
    const char* page = afterKey(head, "page");
    manifest->page = page ? atoi(page) : 0;
    manifest->variant = stringValue(afterKey(head, "variant"));
    manifest->archive = stringValue(afterKey(head, "archive"));
    manifest->drawn = intList(afterKey(head, "drawn"));
    manifest->catalogue = intList(afterKey(head, "catalogue"));
    size_t at = regionsAt;
    while ((at = text.find('{', at + 1)) != std::string::npos) {
        size_t end = text.find('}', at);
        std::string object = text.substr(at, end - at);
        ManifestRegion r;
        r.key = atoi(afterKey(object, "key"));
        r.entry = stringValue(afterKey(object, "entry"));
        r.colour = atoi(afterKey(object, "colour"));
        r.element = atoi(afterKey(object, "element"));
        if (sscanf(afterKey(object, "label"), " [%lf, %lf]", &r.label.x, &r.label.y) != 2) return false;
        r.radius = atof(afterKey(object, "radius"));
        r.area = atof(afterKey(object, "area"));
        manifest->regions.push_back(r);
        at = end;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Internal helpers: reading the archive
// ---------------------------------------------------------------------------

float floatAt(const uint8_t* bytes, size_t index) {
    float v;
    memcpy(&v, bytes + 4 * index, 4);
    return v;
}

float materialFloat(const MeshMaterial* material, int offset) {
    float v;
    memcpy(&v, material->bytes + offset, 4);
    return v;
}

// The colour of the middle pixel of an image entry; false when it is not an image.
bool imageColour(const PakArchive& archive, const char* name, uint8_t rgb[3]) {
    int32_t size = 0;
    const uint8_t* bytes = findEntry(&archive, name, &size);
    if (!bytes) return false;
    SDL_Surface* image = IMG_Load_RW(SDL_RWFromConstMem(bytes, size), 1);
    if (!image) return false;
    SDL_LockSurface(image);
    const uint8_t* pixel = (const uint8_t*)image->pixels + (image->h / 2) * image->pitch +
                           (image->w / 2) * image->format->BytesPerPixel;
    Uint32 value = 0;
    memcpy(&value, pixel, image->format->BytesPerPixel);
    SDL_GetRGB(value, image->format, &rgb[0], &rgb[1], &rgb[2]);
    SDL_UnlockSurface(image);
    SDL_FreeSurface(image);
    return true;
}

// Checks one mesh's material, texture and normals; appends its triangles in canvas coordinates.
// Regions lie in the canvas plane facing +Z; overlays lie in front of it, facing -Y.
void readMesh(const PakArchive& archive, const std::string& entry, const MeshRecord& mesh, bool overlay,
              std::vector<Point>* points, double* depth) {
    SCOPED_TRACE(entry);
    EXPECT_EQ(0, mesh.material->bytes[0]) << "no alpha test";
    EXPECT_EQ(0, mesh.material->bytes[1]) << "opaque";
    for (int i = 0; i < 4; ++i) EXPECT_EQ(0.0f, materialFloat(mesh.material, 36 + 4 * i)) << "no specular";
    uint8_t rgb[3] = {0, 0, 0};
    ASSERT_TRUE(imageColour(archive, mesh.textureName, rgb)) << "texture " << mesh.textureName << " is an image here";
    if (overlay) {
        EXPECT_TRUE(rgb[0] > 20 && rgb[0] < 110 && rgb[1] > 20 && rgb[1] < 110 && rgb[2] > 20 && rgb[2] < 110)
            << "dark grey ink, not black: " << (int)rgb[0] << " " << (int)rgb[1] << " " << (int)rgb[2];
    } else {
        EXPECT_TRUE(rgb[0] == 255 && rgb[1] == 255 && rgb[2] == 255) << "a region's texture is white";
    }
    *depth = 0;
    int wrongNormals = 0, offPlane = 0;
    for (int32_t v = 0; v < 3 * mesh.triangleCount; ++v) {
        float x = floatAt(mesh.positions, 3 * v), y = floatAt(mesh.positions, 3 * v + 1);
        float z = floatAt(mesh.positions, 3 * v + 2);
        float nx = floatAt(mesh.normals, 3 * v), ny = floatAt(mesh.normals, 3 * v + 1), nz = floatAt(mesh.normals, 3 * v + 2);
        if (overlay) {
            wrongNormals += !(nx == 0 && ny == -1 && nz == 0);
            offPlane += v > 0 && y != *depth;
            points->push_back(Point{x + 11.716, z + 14.607});
            *depth = y;
        } else {
            wrongNormals += !(nx == 0 && ny == 0 && nz == 1);
            offPlane += z != 0.0f;
            points->push_back(Point{x, y});
        }
    }
    EXPECT_EQ(0, wrongNormals) << "normals face the viewer";
    EXPECT_EQ(0, offPlane) << "every vertex in one plane";
}

BuiltVariant readVariant(const std::string& path, const PageEntry* page, bool detailed) {
    BuiltVariant built;
    built.loaded = loadArchiveFile(&built.archive, path.c_str());
    if (!built.loaded) return built;
    std::set<std::string> wanted;
    for (const PageRegion& region : variantRegions(page, pageVariant(page, detailed))) wanted.insert(region.entryName);
    double numbersDepth = 0, outlinesDepth = 0;
    for (size_t i = 0; i < built.archive.names.size(); ++i) {
        const std::string& name = built.archive.names[i];
        bool region = wanted.count(name) > 0, numbers = name == "list_nums", outlines = name == "list_kontur";
        if (!region && !numbers && !outlines) continue;
        std::vector<MeshRecord> meshes;
        size_t end = 0;
        EXPECT_TRUE(parseModelStream(built.archive.data[i], (size_t)built.archive.sizes[i], &meshes, &end) &&
                    end == (size_t)built.archive.sizes[i])
            << name << " is a model stream read to its last byte";
        EXPECT_EQ(1u, meshes.size()) << name;
        for (const MeshRecord& mesh : meshes) {
            if (region) readMesh(built.archive, name, mesh, false, &built.regions[name], &numbersDepth);
            if (numbers) readMesh(built.archive, name, mesh, true, &built.numbers, &numbersDepth);
            if (outlines) readMesh(built.archive, name, mesh, true, &built.outlines, &outlinesDepth);
        }
    }
    EXPECT_LT(outlinesDepth, kPictureY) << "outlines in front of the regions";
    EXPECT_GT(outlinesDepth, kPictureY - 0.5) << "outlines close to the regions";
    EXPECT_LT(numbersDepth, outlinesDepth) << "numbers in front of the outlines";
    return built;
}

// ---------------------------------------------------------------------------
// Internal helpers: geometry of the triangles
// ---------------------------------------------------------------------------

double cross(Point a, Point b, Point c) { return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x); }

double trianglesArea(const std::vector<Point>& t) {
    double total = 0;
    for (size_t i = 0; i + 2 < t.size(); i += 3) total += cross(t[i], t[i + 1], t[i + 2]) / 2;
    return total;
}


// The index cell of a canvas point (points off the canvas go to the nearest cell).
int cellOf(Point p) {
    int cx = std::min(kIndexCells - 1, std::max(0, (int)(p.x / kCanvas * kIndexCells)));
    int cy = std::min(kIndexCells - 1, std::max(0, (int)(p.y / kCanvas * kIndexCells)));
    return cy * kIndexCells + cx;
}

TriangleIndex indexTriangles(const std::vector<const std::vector<Point>*>& lists) {
    TriangleIndex index;
    index.cells.resize(kIndexCells * kIndexCells);
    for (const std::vector<Point>* list : lists) {
        int r = (int)index.regions.size();
        index.regions.push_back(list);
        const std::vector<Point>& t = *list;
        for (size_t i = 0; i + 2 < t.size(); i += 3) {
            Point lo = {std::min({t[i].x, t[i + 1].x, t[i + 2].x}), std::min({t[i].y, t[i + 1].y, t[i + 2].y})};
            Point hi = {std::max({t[i].x, t[i + 1].x, t[i + 2].x}), std::max({t[i].y, t[i + 1].y, t[i + 2].y})};
            int c0 = cellOf(lo), c1 = cellOf(hi);
            for (int cy = c0 / kIndexCells; cy <= c1 / kIndexCells; ++cy)
                for (int cx = c0 % kIndexCells; cx <= c1 % kIndexCells; ++cx)
                    index.cells[cy * kIndexCells + cx].push_back(std::make_pair(r, i));
        }
    }
    return index;
}

// How many triangles hold the point strictly inside (a point on an edge counts for neither side).
int trianglesHolding(const TriangleIndex& index, Point p) {
    int count = 0;
    for (const auto& item : index.cells[cellOf(p)]) {
        const std::vector<Point>& t = *index.regions[item.first];
        size_t i = item.second;
        if (cross(t[i], t[i + 1], p) > 0 && cross(t[i + 1], t[i + 2], p) > 0 && cross(t[i + 2], t[i], p) > 0) ++count;
    }
    return count;
}

// Whether some triangle holds the point, edges included.
bool trianglesTouch(const TriangleIndex& index, Point p) {
    for (const auto& item : index.cells[cellOf(p)]) {
        const std::vector<Point>& t = *index.regions[item.first];
        size_t i = item.second;
        if (cross(t[i], t[i + 1], p) >= 0 && cross(t[i + 1], t[i + 2], p) >= 0 && cross(t[i + 2], t[i], p) >= 0)
            return true;
    }
    return false;
}

std::pair<std::pair<double, double>, std::pair<double, double>> edgeKey(Point a, Point b) {
    std::pair<double, double> pa(a.x, a.y), pb(b.x, b.y);
    return pa < pb ? std::make_pair(pa, pb) : std::make_pair(pb, pa);
}

// The edges of a region's boundary: triangle edges that only one of its triangles has.
std::vector<std::pair<Point, Point>> boundaryEdges(const std::vector<Point>& t) {
    std::map<std::pair<std::pair<double, double>, std::pair<double, double>>, int> uses;
    for (size_t i = 0; i + 2 < t.size(); i += 3)
        for (int k = 0; k < 3; ++k) ++uses[edgeKey(t[i + k], t[i + (k + 1) % 3])];
    std::vector<std::pair<Point, Point>> edges;
    for (const auto& use : uses)
        if (use.second == 1)
            edges.push_back(std::make_pair(Point{use.first.first.first, use.first.first.second},
                                           Point{use.first.second.first, use.first.second.second}));
    return edges;
}

// Whether a point lies in a region and not on its boundary: in one of its (counter-clockwise)
// triangles or on an edge between two of them, and on none of its boundary edges.
bool insideRegion(const std::vector<Point>& t, Point p) {
    bool held = false;
    for (size_t i = 0; i + 2 < t.size() && !held; i += 3)
        held = cross(t[i], t[i + 1], p) >= 0 && cross(t[i + 1], t[i + 2], p) >= 0 && cross(t[i + 2], t[i], p) >= 0;
    if (!held) return false;
    for (const auto& e : boundaryEdges(t))
        if (cross(e.first, e.second, p) == 0 && std::min(e.first.x, e.second.x) <= p.x &&
            p.x <= std::max(e.first.x, e.second.x) && std::min(e.first.y, e.second.y) <= p.y &&
            p.y <= std::max(e.first.y, e.second.y))
            return false;
    return true;
}

// ---------------------------------------------------------------------------
// Internal helpers: the checks every built variant must pass
// ---------------------------------------------------------------------------

// Checks the archive and manifest of one variant in a folder; coveredArea < 0 when not known.
void checkVariant(const std::string& folder, const PageEntry* page, bool detailed, double coveredArea) {
    const PageVariant* variant = pageVariant(page, detailed);
    std::string archiveName = variant->archive;
    SCOPED_TRACE(archiveName);
    std::string base = folder + "/" + archiveName.substr(0, archiveName.size() - 4);
    BuiltVariant built = readVariant(base + ".pak", page, detailed);
    ASSERT_TRUE(built.loaded) << base << ".pak";
    Manifest manifest;
    ASSERT_TRUE(readManifest(base + ".json", &manifest)) << base << ".json";

    // Keys: colorNelM for M = 1 to E(N) and nothing else besides the overlays and their images.
    std::set<std::string> expected;
    for (int n = 1; n <= page->colourCount; ++n)
        for (int m = 1; m <= variant->regionCounts[n - 1]; ++m)
            expected.insert("color" + std::to_string(n) + "el" + std::to_string(m));
    std::set<std::string> regionEntries;
    for (const std::string& name : built.archive.names) {
        if (name.compare(0, 5, "color") == 0) regionEntries.insert(name);
        else if (name != "list_nums" && name != "list_kontur") {
            uint8_t rgb[3];
            EXPECT_TRUE(imageColour(built.archive, name.c_str(), rgb)) << name << " is neither a region, an overlay nor an image";
        }
    }
    EXPECT_EQ(expected, regionEntries);
    EXPECT_EQ(expected.size(), built.archive.names.size() - std::count_if(built.archive.names.begin(), built.archive.names.end(),
                                                                          [](const std::string& n) { return n.compare(0, 5, "color") != 0; }));
    EXPECT_FALSE(built.numbers.empty());
    EXPECT_FALSE(built.outlines.empty());

    // The manifest names the same regions, with their keys and counts.
    EXPECT_EQ(page->pageId, manifest.page);
    EXPECT_EQ(archiveName, manifest.archive);
    EXPECT_EQ(std::vector<int>(variant->regionCounts, variant->regionCounts + page->colourCount), manifest.catalogue);
    ASSERT_EQ(expected.size(), manifest.regions.size());
    std::map<std::string, const ManifestRegion*> byEntry;
    for (const ManifestRegion& r : manifest.regions) {
        EXPECT_EQ("color" + std::to_string(r.colour) + "el" + std::to_string(r.element), r.entry);
        EXPECT_EQ(regionKey(r.colour, r.element), r.key) << r.entry;
        EXPECT_GE(r.radius, kClickRadius - 1e-3) << r.entry << " is big enough to click";
        byEntry[r.entry] = &r;
    }
    ASSERT_EQ(expected.size(), byEntry.size());

    // Areas: each region's triangles cover its area; together the covered canvas.
    double total = 0;
    for (const auto& region : built.regions) {
        double a = trianglesArea(region.second);
        EXPECT_NEAR(byEntry[region.first]->area, a, 1e-3 * std::max(1.0, a)) << region.first;
        for (size_t i = 0; i + 2 < region.second.size(); i += 3)
            EXPECT_GT(cross(region.second[i], region.second[i + 1], region.second[i + 2]), 0)
                << region.first << " triangles face the viewer";
        total += a;
    }
    if (coveredArea >= 0) {
        EXPECT_NEAR(coveredArea, total, 1e-3);
    }

    // No overlaps: a fine grid of points off the grid lines, each inside one region at most.
    std::vector<const std::vector<Point>*> lists;
    for (const auto& region : built.regions) lists.push_back(&region.second);
    TriangleIndex index = indexTriangles(lists);
    int uncovered = 0, overlapping = 0, samples = 0;
    for (double y = 0.0513; y < kCanvas; y += 0.0937)
        for (double x = 0.0371; x < kCanvas; x += 0.0937) {
            int holding = trianglesHolding(index, Point{x, y});
            overlapping += holding > 1;
            uncovered += holding == 0;
            ++samples;
        }
    EXPECT_EQ(0, overlapping) << "of " << samples << " points, some lie in two triangles";
    if (coveredArea >= 0) {
        EXPECT_NEAR(coveredArea / (kCanvas * kCanvas), 1.0 - (double)uncovered / samples, 0.01);
    }

    // Label points lie inside their own region and no other; element numbers run in reading order.
    for (const ManifestRegion& r : manifest.regions) {
        for (const auto& region : built.regions)
            EXPECT_EQ(region.first == r.entry, insideRegion(region.second, r.label))
                << "label of " << r.entry << " at " << r.label.x << ", " << r.label.y << " against " << region.first;
        if (r.element > 1) {
            const ManifestRegion* before = byEntry["color" + std::to_string(r.colour) + "el" + std::to_string(r.element - 1)];
            // A step down of more than the row tolerance (0.01, less the manifest's rounding)
            // starts a new row; within a row, whose labels may drift a little further apart
            // step by step, the next one stands to the right.
            double down = before->label.y - r.label.y;
            bool below = down > 0.01 - 1e-4;
            bool rightOf = std::fabs(down) < 0.05 && before->label.x < r.label.x;
            EXPECT_TRUE(below || rightOf) << r.entry << " follows " << before->entry << " top to bottom, left to right";
        }
    }

    // One number per region, its ink centred on the label point and inside the region's largest circle.
    std::map<std::string, std::vector<Point>> numberInk;
    for (size_t i = 0; i + 2 < built.numbers.size(); i += 3) {
        Point c = {(built.numbers[i].x + built.numbers[i + 1].x + built.numbers[i + 2].x) / 3,
                   (built.numbers[i].y + built.numbers[i + 1].y + built.numbers[i + 2].y) / 3};
        const ManifestRegion* nearest = nullptr;
        for (const ManifestRegion& r : manifest.regions)
            if (!nearest || std::hypot(r.label.x - c.x, r.label.y - c.y) <
                                std::hypot(nearest->label.x - c.x, nearest->label.y - c.y))
                nearest = &r;
        numberInk[nearest->entry].insert(numberInk[nearest->entry].end(), built.numbers.begin() + i,
                                         built.numbers.begin() + i + 3);
    }
    EXPECT_EQ(manifest.regions.size(), numberInk.size()) << "every region has its number";
    for (const auto& ink : numberInk) {
        const ManifestRegion& r = *byEntry[ink.first];
        Point lo = ink.second[0], hi = ink.second[0];
        for (const Point& p : ink.second) {
            lo = Point{std::min(lo.x, p.x), std::min(lo.y, p.y)};
            hi = Point{std::max(hi.x, p.x), std::max(hi.y, p.y)};
        }
        EXPECT_NEAR(r.label.x, (lo.x + hi.x) / 2, 1e-3) << "number of " << r.entry;
        EXPECT_NEAR(r.label.y, (lo.y + hi.y) / 2, 1e-3) << "number of " << r.entry;
        EXPECT_LT(std::hypot(hi.x - lo.x, hi.y - lo.y) / 2, r.radius) << "number of " << r.entry << " fits its region";
        EXPECT_GT(hi.y - lo.y, 0.45) << "number of " << r.entry << " is tall enough to read";
    }

    // The outlines cover the boundary of every region.
    TriangleIndex outlineIndex = indexTriangles(std::vector<const std::vector<Point>*>(1, &built.outlines));
    int bare = 0;
    for (const auto& region : built.regions)
        for (const auto& e : boundaryEdges(region.second))
            bare += !trianglesTouch(outlineIndex, Point{(e.first.x + e.second.x) / 2, (e.first.y + e.second.y) / 2});
    EXPECT_EQ(0, bare) << "boundary edges without an outline";

    // Neighbours share their edges vertex for vertex: no region has a vertex in the middle of another's edge.
    std::vector<std::vector<Point>> cellVertices(kIndexCells * kIndexCells);
    std::vector<std::pair<Point, Point>> edges;
    std::set<std::pair<double, double>> seen;
    for (const auto& region : built.regions)
        for (const auto& e : boundaryEdges(region.second)) {
            edges.push_back(e);
            for (const Point& v : {e.first, e.second})
                if (seen.insert(std::make_pair(v.x, v.y)).second) cellVertices[cellOf(v)].push_back(v);
        }
    int junctions = 0;
    for (const auto& e : edges) {
        int c0 = cellOf(Point{std::min(e.first.x, e.second.x), std::min(e.first.y, e.second.y)});
        int c1 = cellOf(Point{std::max(e.first.x, e.second.x), std::max(e.first.y, e.second.y)});
        for (int cy = c0 / kIndexCells; cy <= c1 / kIndexCells; ++cy)
            for (int cx = c0 % kIndexCells; cx <= c1 % kIndexCells; ++cx)
                for (const Point& v : cellVertices[cy * kIndexCells + cx]) {
                    if (v.x < std::min(e.first.x, e.second.x) || v.x > std::max(e.first.x, e.second.x) ||
                        v.y < std::min(e.first.y, e.second.y) || v.y > std::max(e.first.y, e.second.y))
                        continue;
                    if ((v.x == e.first.x && v.y == e.first.y) || (v.x == e.second.x && v.y == e.second.y)) continue;
                    if (cross(e.first, e.second, v) == 0) ++junctions;
                }
    }
    EXPECT_EQ(0, junctions) << "vertices lying inside another region's edge";
    clearArchive(&built.archive);
}

const ManifestRegion* findRegion(const Manifest& manifest, const char* entry) {
    for (const ManifestRegion& r : manifest.regions)
        if (r.entry == entry) return &r;
    return nullptr;
}

// The canvas point named in a message as "at (x, y) on the canvas".
bool placeIn(const std::string& message, Point* p) {
    size_t at = message.find(" on the canvas");
    if (at == std::string::npos) return false;
    size_t open = message.rfind('(', at);
    return open != std::string::npos && sscanf(message.c_str() + open, "(%lf, %lf)", &p->x, &p->y) == 2;
}

// ---------------------------------------------------------------------------
// Tests: a picture that builds
// ---------------------------------------------------------------------------

class GardenPicture : public testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = makeTempDir("pictures-garden");
        run = runPictures(fixture("garden"), folder);
    }
    static void TearDownTestSuite() { removeTree(folder); }
    static std::string folder;
    static StudioRun run;
};
std::string GardenPicture::folder;
StudioRun GardenPicture::run;

TEST_F(GardenPicture, BuildsBothVariants) {
    EXPECT_EQ(0, run.status) << run.output;
    EXPECT_TRUE(fileExists(folder + "/page07.pak"));
    EXPECT_TRUE(fileExists(folder + "/hpage07.pak"));
}

TEST_F(GardenPicture, NormalVariantPassesEveryCheck) { checkVariant(folder, findPage(7), false, 900.0); }

TEST_F(GardenPicture, DetailedVariantPassesEveryCheck) { checkVariant(folder, findPage(7), true, 900.0); }

TEST_F(GardenPicture, CountsRegionsAsDrawnAndSplitsUpToTheCatalogue) {
    // Sky and the disc in the ring; ring and birds; sun (and cloud); pillar and flower centre (and
    // stones); wall halves and beds; petals; crown (and bush); ground; trunk.
    const std::vector<int> normal = {2, 3, 1, 2, 4, 1, 2, 1, 1};
    const std::vector<int> detailed = {2, 4, 2, 5, 4, 1, 1, 1, 1};
    Manifest a, b;
    ASSERT_TRUE(readManifest(folder + "/page07.json", &a));
    ASSERT_TRUE(readManifest(folder + "/hpage07.json", &b));
    EXPECT_EQ(normal, a.drawn);
    EXPECT_EQ(detailed, b.drawn);
    EXPECT_EQ("normal", a.variant);
    EXPECT_EQ("detailed", b.variant);
    EXPECT_EQ(31u, a.regions.size());
    EXPECT_EQ(80u, b.regions.size());
}

TEST_F(GardenPicture, PlacesShapesWhereTheSourceDrawsThem) {
    Manifest manifest;
    ASSERT_TRUE(readManifest(folder + "/page07.json", &manifest));
    // The sun is colour 3's only region: an ellipse of radii 2.5 and 2 around SVG (250, 150).
    const ManifestRegion* sun = findRegion(manifest, "color3el1");
    ASSERT_TRUE(sun);
    EXPECT_NEAR(M_PI * 2.5 * 2.0, sun->area, 0.005 * sun->area);
    EXPECT_NEAR(25.0, sun->label.x, 0.05);
    EXPECT_NEAR(15.0, sun->label.y, 0.05);
    EXPECT_NEAR(2.0, sun->radius, 0.02);
    // The crown, turned with its tree by -10 degrees about SVG (60, 220): its centre lands at
    // SVG (52.19, 175.68), canvas (5.219, 12.432); its four pieces and the normal-only bush
    // are colour 7.
    BuiltVariant built = readVariant(folder + "/page07.pak", findPage(7), false);
    double area = 0, mx = 0, my = 0;
    for (int m = 1; m <= 4; ++m) {
        const std::vector<Point>& t = built.regions["color7el" + std::to_string(m)];
        for (size_t i = 0; i + 2 < t.size(); i += 3) {
            double a = cross(t[i], t[i + 1], t[i + 2]) / 2;
            if ((t[i].x + t[i + 1].x + t[i + 2].x) / 3 > 9.0) continue;   // the bush, far right of the crown
            area += a;
            mx += a * (t[i].x + t[i + 1].x + t[i + 2].x) / 3;
            my += a * (t[i].y + t[i + 1].y + t[i + 2].y) / 3;
        }
    }
    EXPECT_NEAR(M_PI * 9.0, area, 0.005 * area);
    EXPECT_NEAR(5.219, mx / area, 0.01);
    EXPECT_NEAR(12.432, my / area, 0.01);
    clearArchive(&built.archive);
}

TEST_F(GardenPicture, GivesAHairlineGapToANeighbourAndSaysSo) {
    EXPECT_NE(std::string::npos, run.output.find("a hairline strip of <rect id=\"under\"> (line 31)")) << run.output;
}

TEST_F(GardenPicture, HasNoWallJoinedThroughANeck) {
    EXPECT_EQ(std::string::npos, run.output.find("page07.svg, normal variant (page07.pak): a region of colour 5 (#a51d00)"))
        << run.output;
    EXPECT_EQ(std::string::npos, run.output.find("neck narrower than 7 SVG units (<rect id=\"wall\">")) << run.output;
}

TEST(PictureNotes, TwoPartsJoinedByAThreadAreOneRegionAndSaySo) {
    std::string folder = makeTempDir("pictures-neck");
    StudioRun run = runPictures(fixture("neck"), folder);
    EXPECT_EQ(0, run.status) << run.output;
    size_t at = run.output.find("note: page07.svg, normal variant (page07.pak): a region of colour 5 (#a51d00) at (");
    ASSERT_NE(std::string::npos, at) << run.output;
    std::string line = run.output.substr(at, run.output.find('\n', at) - at);
    EXPECT_NE(std::string::npos, line.find("is 2 parts joined by a neck narrower than 2 SVG units (<rect id=\"wall\"> (line 17))"))
        << line;
    EXPECT_NE(std::string::npos, line.find(", SVG (")) << line;
    // The thread runs along the wall's foot under the pillar: canvas y 22, x 19.5 to 22.5.
    Point place;
    ASSERT_TRUE(placeIn(line, &place)) << line;
    EXPECT_GT(place.x, 19.0);
    EXPECT_LT(place.x, 23.0);
    EXPECT_NEAR(22.0, place.y, 0.5);
    EXPECT_TRUE(fileExists(folder + "/page07.pak")) << "a note does not stop the build";
    removeTree(folder);
}

TEST_F(GardenPicture, PrintsATableOfCountsPerColour) {
    EXPECT_NE(std::string::npos, run.output.find("page07.svg, normal variant (page07.pak): 31 regions, ok")) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("page07.svg, detailed variant (hpage07.pak): 80 regions, ok"));
    EXPECT_NE(std::string::npos, run.output.find("  drawn        2+   3    1    2    4+   1+   2+   1+   1+"));
    EXPECT_NE(std::string::npos, run.output.find("  catalogue   12    4   28    5   13    4    6    2    6"));
    EXPECT_NE(std::string::npos, run.output.find("no source yet for page01.svg, page02.svg"));
}

TEST_F(GardenPicture, BuildsTheSameBytesAgain) {
    std::string again = makeTempDir("pictures-again");
    EXPECT_EQ(0, runPictures(fixture("garden"), again).status);
    for (const char* name : {"page07.pak", "hpage07.pak", "page07.json", "hpage07.json"}) {
        std::vector<uint8_t> first = readWholeFile(folder + "/" + name), second = readWholeFile(again + "/" + name);
        EXPECT_FALSE(first.empty()) << name;
        EXPECT_TRUE(first == second) << name;
    }
    removeTree(again);
}

// ---------------------------------------------------------------------------
// Tests: pictures the game cannot use
// ---------------------------------------------------------------------------

TEST(PictureErrors, TooManyRegionsOfAColourFailWithBothCounts) {
    std::string folder = makeTempDir("pictures-too-many");
    StudioRun run = runPictures(fixture("too_many"), folder);
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos,
              run.output.find("page07.svg, normal variant (page07.pak): colour 3 (#e6ff6f) has 2 regions, the "
                              "catalogue wants 1"))
        << run.output;
    EXPECT_FALSE(fileExists(folder + "/page07.pak")) << "a variant with errors is never written";
    removeTree(folder);
}

TEST(PictureErrors, ASliverIsReportedWithItsPlace) {
    std::string folder = makeTempDir("pictures-sliver");
    StudioRun run = runPictures(fixture("sliver"), folder);
    EXPECT_EQ(1, run.status);
    size_t at = run.output.find("page07.svg, normal variant (page07.pak): a piece of colour 1 (#ffbc01) at (");
    ASSERT_NE(std::string::npos, at) << run.output;
    std::string line = run.output.substr(at, run.output.find('\n', at) - at);
    EXPECT_NE(std::string::npos, line.find("is too small or thin to click: its widest spot is 0.20 units across")) << line;
    EXPECT_NE(std::string::npos, line.find("<rect id=\"sky\"> (line 5)")) << line;
    Point place;
    ASSERT_TRUE(placeIn(line, &place)) << line;
    EXPECT_NEAR(15.0, place.x, 0.02);
    EXPECT_GT(place.y, 0.0);
    EXPECT_LT(place.y, 30.0);
    EXPECT_FALSE(fileExists(folder + "/page07.pak"));
    removeTree(folder);
}

class PictureMistake : public testing::TestWithParam<SourceMistake> {};

TEST_P(PictureMistake, IsAnErrorNamingTheFileAndTheShape) {
    const SourceMistake& mistake = GetParam();
    std::string sources = makeTempDir("pictures-mistake");
    std::string out = makeTempDir("pictures-mistake-out");
    std::string text = mistake.document ? std::string(mistake.document)
                                        : std::string(kDocumentStart) + mistake.body + "\n</svg>\n";
    ASSERT_TRUE(writeFileBytes(sources + "/page07.svg", std::vector<uint8_t>(text.begin(), text.end())));
    StudioRun run = runPictures(sources, out);
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.output.find(std::string("page07.svg: ")));
    EXPECT_NE(std::string::npos, run.output.find(mistake.expected)) << run.output;
    EXPECT_FALSE(fileExists(out + "/page07.pak"));
    removeTree(sources);
    removeTree(out);
}

INSTANTIATE_TEST_SUITE_P(Sources, PictureMistake, testing::ValuesIn(kMistakes),
                         [](const testing::TestParamInfo<SourceMistake>& info) { return std::string(info.param.name); });

TEST(PictureSources, HiddenShapesAreLeftOut) {
    std::string sources = makeTempDir("pictures-hidden");
    std::string out = makeTempDir("pictures-hidden-out");
    std::string text = std::string(kDocumentStart) +
                       "<g style=\"display:none\"><rect id=\"sketch\" width=\"10\" height=\"10\" fill=\"#123456\"/></g>\n"
                       "<rect id=\"draft\" visibility=\"hidden\" width=\"10\" height=\"10\" stroke=\"#000\"/>\n</svg>\n";
    ASSERT_TRUE(writeFileBytes(sources + "/page07.svg", std::vector<uint8_t>(text.begin(), text.end())));
    StudioRun run = runPictures(sources, out);
    EXPECT_EQ(std::string::npos, run.output.find("sketch")) << run.output;
    EXPECT_EQ(std::string::npos, run.output.find("draft")) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("colour 2 (#d89900) has no region, the catalogue wants 3"));
    removeTree(sources);
    removeTree(out);
}

// ---------------------------------------------------------------------------
// Tests: the pictures the build made
// ---------------------------------------------------------------------------

TEST(BuiltPictures, EveryVariantInTheDataFolderPassesEveryCheck) {
    std::string data = TINTARIA_BINARY_DIR "/data";
    int checked = 0;
    for (const PageEntry& page : pageCatalogue)
        for (bool detailed : {false, true}) {
            std::string archive = data + "/" + pageVariant(&page, detailed)->archive;
            if (!fileExists(archive)) continue;
            checkVariant(data, &page, detailed, -1.0);
            ++checked;
        }
    if (checked == 0) GTEST_SKIP() << "no picture has been built yet";
}

}  // namespace
