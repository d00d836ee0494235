// tintaria-preview OUTDIR [ARCHIVE...]: contact sheets of the game's archives.
// An ARCHIVE without a slash names an archive of the build's data folder; with
// none, every archive there is shown. For each archive it writes
// OUTDIR/<name>-models.png (every model drawn by the engine) and
// OUTDIR/<name>-images.png (every image as it decodes), when it has any.
#include "tools/preview/preview.h"

#include "resources/resources.h"
#include "shell/shell.h"

#include <SDL/SDL.h>
#include <SDL/SDL_image.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// The entries of one archive by what they are; sounds and anything else are left out.
struct ArchiveContents {
    std::vector<std::string> models;
    std::vector<size_t> images;  // entry indices
};

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

static const int kImageCellWidth = 240;
static const int kImageCellHeight = 180;

static std::string dataFolder() { return TINTARIA_PREVIEW_DATA_DIR; }

static std::vector<std::string> archivesOfDataFolder() {
    std::vector<std::string> paths;
    std::error_code error;
    for (const auto& item : std::filesystem::directory_iterator(dataFolder(), error))
        if (item.is_regular_file() && item.path().extension() == ".pak") paths.push_back(item.path().string());
    std::sort(paths.begin(), paths.end());
    return paths;
}

static std::string archivePath(const std::string& argument) {
    return argument.find('/') == std::string::npos ? dataFolder() + "/" + argument : argument;
}

// A model is a stream that the engine's reader takes to its last byte; an image is what SDL_image decodes.
static ArchiveContents sortEntries(const PakArchive& archive) {
    ArchiveContents contents;
    for (size_t i = 0; i < archive.names.size(); ++i) {
        size_t end = 0;
        std::vector<MeshRecord> records;
        if (parseModelStream(archive.data[i], (size_t)archive.sizes[i], &records, &end) &&
            end == (size_t)archive.sizes[i]) {
            contents.models.push_back(archive.names[i]);
            continue;
        }
        SDL_Surface* image = IMG_Load_RW(SDL_RWFromConstMem(archive.data[i], archive.sizes[i]), 1);
        if (image) {
            contents.images.push_back(i);
            SDL_FreeSurface(image);
        }
    }
    return contents;
}

static bool writeAndReport(PreviewSheet* sheet, const std::string& path) {
    if (!writeSheet(sheet, path)) {
        fprintf(stderr, "tintaria-preview: cannot write %s\n", path.c_str());
        return false;
    }
    printf("%s\n", path.c_str());
    return true;
}

// Writes the sheets of one archive; false when it cannot be read or a sheet cannot be written.
static bool previewArchive(const std::string& path, const std::string& outDir) {
    PakArchive archive = PakArchive();
    if (!loadArchiveFile(&archive, path.c_str())) {
        fprintf(stderr, "tintaria-preview: cannot read %s\n", path.c_str());
        return false;
    }
    std::string name = std::filesystem::path(path).filename().string();
    std::string stem = std::filesystem::path(path).stem().string();
    ArchiveContents contents = sortEntries(archive);
    bool ok = true;
    if (!contents.models.empty()) {
        std::vector<PreviewCell> cells = modelCells(name, contents.models);
        PreviewSheet sheet = drawModelSheet(path, name + ": models, drawn by the engine as the game turns them", cells);
        ok = writeAndReport(&sheet, outDir + "/" + stem + "-models.png") && ok;
    }
    if (!contents.images.empty()) {
        PreviewSheet sheet = createSheet(name + ": images as they decode", (int)contents.images.size(),
                                         kImageCellWidth, kImageCellHeight);
        for (size_t i : contents.images) addImageCell(&sheet, archive.data[i], archive.sizes[i], archive.names[i]);
        ok = writeAndReport(&sheet, outDir + "/" + stem + "-images.png") && ok;
    }
    if (contents.models.empty() && contents.images.empty()) printf("%s: no models or images\n", name.c_str());
    clearArchive(&archive);
    return ok;
}

// ---------------------------------------------------------------------------
// Program
// ---------------------------------------------------------------------------

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: tintaria-preview OUTDIR [ARCHIVE...]\n");
        return 2;
    }
    std::string outDir = argv[1];
    std::error_code error;
    std::filesystem::create_directories(outDir, error);
    if (!std::filesystem::is_directory(outDir)) {
        fprintf(stderr, "tintaria-preview: %s is not a folder\n", outDir.c_str());
        return 1;
    }
    std::vector<std::string> paths;
    for (int i = 2; i < argc; ++i) paths.push_back(archivePath(argv[i]));
    if (argc == 2) paths = archivesOfDataFolder();
    if (paths.empty()) fprintf(stderr, "tintaria-preview: no archives in %s\n", dataFolder().c_str());

    openPreviewWindow();
    bool ok = true;
    for (const std::string& path : paths) ok = previewArchive(path, outDir) && ok;
    shutdownRenderer(renderer);
    delete renderer;
    renderer = nullptr;
    return ok ? 0 : 1;
}
