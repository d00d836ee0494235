// tintaria-studio OUTDIR [BUILDER...]: writes the game's archives into OUTDIR.
#include "tools/studio/studio.h"

#include <cstdio>
#include <cstring>
#include <sys/stat.h>

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: tintaria-studio OUTDIR [BUILDER...]\nbuilders:");
        for (const StudioBuilder& b : studioBuilders()) fprintf(stderr, " %s", b.name);
        fputc('\n', stderr);
        return 2;
    }
    std::string outDir = argv[1];
    mkdir(outDir.c_str(), 0755);
    struct stat info;
    if (stat(outDir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) studioFail("%s is not a folder", outDir.c_str());
    for (const StudioBuilder& b : studioBuilders()) {
        bool wanted = argc == 2;
        for (int i = 2; i < argc; ++i) wanted = wanted || strcmp(argv[i], b.name) == 0;
        if (wanted) b.build(outDir);
    }
    return 0;
}
