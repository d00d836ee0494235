// The "pictures" builder: every page whose source exists in
// assets/pictures/ (pageNN.svg) becomes "pageNN.pak" and "hpageNN.pak", each
// with a manifest beside it ("pageNN.json", "hpageNN.json": the regions' keys,
// label points and areas, for tests and tools; not shipped in the archives).
// It prints a table of regions per colour against the catalogue for every
// variant, and fails when any variant has an error.
//
// Environment, for the artists and the tests:
//   TINTARIA_PICTURES_SOURCES  another folder of pageNN.svg files
//   TINTARIA_PICTURES_SHEETS   a folder to write a PNG of every page into
#include "tools/studio/pictures.h"
#include "tools/studio/studio.h"

#include <libxml/parser.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <thread>

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// One variant to build, and what came of it.
struct PictureJob {
    const PictureSource* source;
    bool detailed;
    PictureVariant result;
    double seconds;
};

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

// Where the picture canvas lies in the frame of the overlay node (turned -90 degrees
// about X): canvas (cx, cy) is model (cx + x, y, cy + z).
static const double kOverlayX = -11.716;
static const double kOverlayY = -51.121;
static const double kOverlayZ = -14.607;

static const char* const kRegionTexture = "white";
static const char* const kInkTexture = "ink";
static const double kInk[3] = {0.24, 0.24, 0.27};   // dark grey, a little cool

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

static std::string sourceFolder() {
    const char* folder = getenv("TINTARIA_PICTURES_SOURCES");
    if (folder && *folder) return folder;
    return std::string(TINTARIA_STUDIO_SOURCES) + "/assets/pictures";
}

static bool fileExists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

static std::string archiveBase(const PictureVariant& variant) {
    std::string name = pageVariant(variant.page, variant.detailed)->archive;
    return name.substr(0, name.size() - 4);
}

// A mesh of canvas triangles: in the canvas plane for the regions, or over it for the overlays.
// Triangles that are flat once in floats are left out, and every normal faces the viewer
// (+Z for the regions; -Y for the overlays, whose node is turned -90 degrees about X).
static MeshSource canvasMesh(const std::vector<PicturePoint>& triangles, const char* texture, bool overlay, double lift) {
    MeshSource mesh = studioMesh(texture, MATERIAL_FLAT, false);
    const float t[2] = {0.5f, 0.5f};
    for (size_t i = 0; i + 2 < triangles.size(); i += 3) {
        float p[3][3];
        for (int k = 0; k < 3; ++k) {
            const PicturePoint& c = triangles[i + k];
            if (overlay) {
                p[k][0] = (float)(c.x + kOverlayX);
                p[k][1] = (float)(kOverlayY - lift);
                p[k][2] = (float)(c.y + kOverlayZ);
            } else {
                p[k][0] = (float)c.x;
                p[k][1] = (float)c.y;
                p[k][2] = 0.0f;
            }
        }
        // The canvas y of a vertex is its model y for the regions, its model z for the overlays.
        int v = overlay ? 2 : 1;
        double twice = ((double)p[1][0] - p[0][0]) * ((double)p[2][v] - p[0][v]) -
                       ((double)p[2][0] - p[0][0]) * ((double)p[1][v] - p[0][v]);
        if (twice <= 0) continue;
        studioTriangle(&mesh, p[0], p[1], p[2], t, t, t);
    }
    for (size_t i = 0; i + 2 < mesh.normals.size(); i += 3) {
        mesh.normals[i] = 0.0f;
        mesh.normals[i + 1] = overlay ? -1.0f : 0.0f;
        mesh.normals[i + 2] = overlay ? 0.0f : 1.0f;
    }
    return mesh;
}

static std::string numberText(double v) {
    char buffer[32];
    snprintf(buffer, sizeof buffer, "%.4f", v);
    return buffer;
}

// ---------------------------------------------------------------------------
// Output
// ---------------------------------------------------------------------------

void writePictureArchive(const PictureVariant& variant, const std::string& outDir) {
    PakArchive archive = PakArchive();
    // Regions in the order the game builds them.
    for (const PageRegion& wanted : variantRegions(variant.page, pageVariant(variant.page, variant.detailed)))
        for (const PictureRegion& region : variant.regions)
            if (region.entry == wanted.entryName)
                studioAdd(&archive, region.entry, studioModel({canvasMesh(region.triangles, kRegionTexture, false, 0)}));
    studioAdd(&archive, "list_nums", studioModel({canvasMesh(variant.numberTriangles, kInkTexture, true, kNumberLift)}));
    studioAdd(&archive, "list_kontur",
              studioModel({canvasMesh(variant.outlineTriangles, kInkTexture, true, kOutlineLift)}));
    studioAdd(&archive, kRegionTexture, studioSolidPng(1, 1, 1));
    studioAdd(&archive, kInkTexture, studioSolidPng(kInk[0], kInk[1], kInk[2]));
    studioWrite(&archive, outDir, pageVariant(variant.page, variant.detailed)->archive);
}

std::string pictureManifest(const PictureVariant& variant) {
    const PageVariant* catalogue = pageVariant(variant.page, variant.detailed);
    std::string json = "{\n";
    json += "  \"source\": \"" + variant.source + "\",\n";
    json += "  \"page\": " + std::to_string(variant.page->pageId) + ",\n";
    json += std::string("  \"variant\": \"") + (variant.detailed ? "detailed" : "normal") + "\",\n";
    json += std::string("  \"archive\": \"") + catalogue->archive + "\",\n";
    json += "  \"drawn\": [";
    for (int n = 0; n < variant.page->colourCount; ++n) json += (n ? ", " : "") + std::to_string(variant.drawn[n]);
    json += "],\n  \"catalogue\": [";
    for (int n = 0; n < variant.page->colourCount; ++n)
        json += (n ? ", " : "") + std::to_string(catalogue->regionCounts[n]);
    json += "],\n  \"regions\": [\n";
    for (size_t i = 0; i < variant.regions.size(); ++i) {
        const PictureRegion& r = variant.regions[i];
        json += "    {\"key\": " + std::to_string(r.key) + ", \"entry\": \"" + r.entry +
                "\", \"colour\": " + std::to_string(r.colour) + ", \"element\": " + std::to_string(r.element) +
                ", \"label\": [" + numberText(r.label.x) + ", " + numberText(r.label.y) +
                "], \"radius\": " + numberText(r.labelRadius) + ", \"area\": " + numberText(r.area) + "}";
        json += i + 1 < variant.regions.size() ? ",\n" : "\n";
    }
    json += "  ]\n}\n";
    return json;
}

std::string pictureReport(const PictureVariant& variant) {
    const PageVariant* catalogue = pageVariant(variant.page, variant.detailed);
    int colours = variant.page->colourCount;
    int splits = 0, wanted = 0;
    for (int n = 0; n < colours; ++n) {
        wanted += catalogue->regionCounts[n];
        if (variant.drawn[n] < catalogue->regionCounts[n]) splits += catalogue->regionCounts[n] - variant.drawn[n];
    }
    std::string text = pictureVariantName(variant.source, variant.page, variant.detailed) + ": ";
    if (variant.errors.empty())
        text += std::to_string(wanted) + " regions, ok" +
                (splits ? " (" + std::to_string(splits) + " made by splitting)" : std::string()) + "\n";
    else
        text += std::to_string(variant.errors.size()) + " error(s)\n";
    std::string rows[3] = {"  colour    ", "  drawn     ", "  catalogue "};
    for (int n = 0; n < colours; ++n) {
        char cell[16];
        snprintf(cell, sizeof cell, "%4d ", n + 1);
        rows[0] += cell;
        snprintf(cell, sizeof cell, "%4d%c", variant.drawn[n],
                 variant.drawn[n] > catalogue->regionCounts[n] ? '!' : variant.drawn[n] < catalogue->regionCounts[n] ? '+' : ' ');
        rows[1] += cell;
        snprintf(cell, sizeof cell, "%4d ", catalogue->regionCounts[n]);
        rows[2] += cell;
    }
    for (std::string& row : rows) text += row.erase(row.find_last_not_of(' ') + 1) + "\n";
    for (const std::string& e : variant.errors) text += "  error: " + e + "\n";
    for (const std::string& n : variant.notes) text += "  note: " + n + "\n";
    return text;
}

// ---------------------------------------------------------------------------
// The builder
// ---------------------------------------------------------------------------

static void buildPictures(const std::string& outDir) {
    std::string folder = sourceFolder();
    const char* sheets = getenv("TINTARIA_PICTURES_SHEETS");
    xmlInitParser();
    PictureGlyphs glyphs = loadPictureGlyphs();

    std::vector<PictureSource> sources;
    std::string missing;
    sources.reserve(PAGE_COUNT);
    for (const PageEntry& page : pageCatalogue) {
        char name[32];
        snprintf(name, sizeof name, "page%02d.svg", page.pageId);
        std::string path = folder + "/" + name;
        if (!fileExists(path)) {
            missing += std::string(missing.empty() ? "" : ", ") + name;
            continue;
        }
        sources.push_back(readPictureSource(path, &page));
    }

    std::vector<PictureJob> jobs;
    for (const PictureSource& source : sources)
        for (bool detailed : {false, true}) jobs.push_back(PictureJob{&source, detailed, PictureVariant(), 0.0});
    std::atomic<size_t> next(0);
    auto worker = [&]() {
        for (size_t i = next++; i < jobs.size(); i = next++) {
            auto start = std::chrono::steady_clock::now();
            jobs[i].result = buildPictureVariant(*jobs[i].source, jobs[i].detailed, glyphs);
            jobs[i].seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
    };
    unsigned threads = std::max(1u, std::min(std::thread::hardware_concurrency(), (unsigned)jobs.size()));
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t) pool.emplace_back(worker);
    worker();
    for (std::thread& t : pool) t.join();

    int failed = 0, built = 0;
    for (const PictureSource& source : sources) {
        for (const std::string& e : source.errors) printf("error: %s\n", e.c_str());
        for (const std::string& n : source.notes) printf("note: %s\n", n.c_str());
        failed += source.errors.empty() ? 0 : 1;
    }
    for (size_t i = 0; i < jobs.size(); ++i) {
        PictureVariant& variant = jobs[i].result;
        std::string report = pictureReport(variant);
        char seconds[32];
        snprintf(seconds, sizeof seconds, "  [%.1f s]", jobs[i].seconds);
        report.insert(report.find('\n'), seconds);
        fputs(report.c_str(), stdout);
        if (!variant.errors.empty() || !jobs[i].source->errors.empty()) {
            failed += variant.errors.empty() ? 0 : 1;
            continue;
        }
        writePictureArchive(variant, outDir);
        ++built;
        std::string manifestPath = outDir + "/" + archiveBase(variant) + ".json";
        std::ofstream manifest(manifestPath, std::ios::binary);
        manifest << pictureManifest(variant);
        if (!manifest) studioFail("cannot write %s", manifestPath.c_str());
    }
    if (sheets && *sheets) {
        mkdir(sheets, 0755);
        for (size_t i = 0; i + 1 < jobs.size(); i += 2)
            writePictureSheet(&jobs[i].result, &jobs[i + 1].result,
                              std::string(sheets) + "/" + archiveBase(jobs[i].result) + ".png");
    }
    if (!jobs.empty()) printf("pictures: in the tables, + marks fewer regions drawn than the catalogue has (the rest "
                              "made by splitting), ! more\n");
    if (!missing.empty()) printf("pictures: no source yet for %s (in %s)\n", missing.c_str(), folder.c_str());
    printf("pictures: %d variant(s) built from %d source(s)\n", built, (int)sources.size());
    fflush(stdout);
    if (failed) studioFail("pictures: %d source(s) or variant(s) have errors (listed above)", failed);
}

STUDIO_BUILDER("pictures", buildPictures);
