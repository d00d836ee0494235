// tintaria-bench: frame, start-up, memory and content-build figures of the
// game on this machine. `make bench` runs it once per screen size under its
// own Xvfb screen and then writes the report.
//
//   tintaria-bench frames RUNFILE [WARMUP TIMED STARTUP_RUNS]   (needs an X screen)
//   tintaria-bench content STUDIO RUNFILE        adds the content build to a run file
//   tintaria-bench report MARKDOWN RUNFILE...    prints the table, writes the Markdown report
//   tintaria-bench profile PAGE DETAILED NUMBERS FRAMES   one main screen, for a profiler (see profiledFrames)
//   tintaria-bench first-frame                   (child) start-up, one frame, clock to stdout
#include "tools/bench/bench.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unistd.h>

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

static const FrameBudget kDefaultBudget = {10, 30};
static const int kDefaultStartupRuns = 5;

static int usage() {
    fprintf(stderr,
            "usage: tintaria-bench frames RUNFILE [WARMUP TIMED STARTUP_RUNS]\n"
            "       tintaria-bench content STUDIO RUNFILE\n"
            "       tintaria-bench report MARKDOWN RUNFILE...\n");
    return 2;
}

static std::string selfPath() {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "";
    path[n] = '\0';
    return path;
}

static int positiveArgument(const char* text, int fallback) {
    int value = text ? atoi(text) : 0;
    return value > 0 ? value : fallback;
}

// The game changes into its data folder at start-up: a relative run file is
// taken from where the benchmark was started.
static std::string absolutePath(const char* path) {
    if (path[0] == '/') return path;
    char* here = getcwd(nullptr, 0);
    std::string joined = here ? std::string(here) + "/" + path : path;
    free(here);
    return joined;
}

static int runFrames(int argc, char** argv) {
    std::string runFile = absolutePath(argv[2]);
    FrameBudget budget = kDefaultBudget;
    budget.warmupFrames = positiveArgument(argc > 3 ? argv[3] : nullptr, budget.warmupFrames);
    budget.timedFrames = positiveArgument(argc > 4 ? argv[4] : nullptr, budget.timedFrames);
    int startupRuns = positiveArgument(argc > 5 ? argv[5] : nullptr, kDefaultStartupRuns);
    BenchRun run = measureFrames(budget);
    // The children need the window closed: each opens its own on the same screen.
    measureStartup(selfPath().c_str(), startupRuns, &run);
    if (!saveRun(run, runFile)) {
        fprintf(stderr, "tintaria-bench: cannot write %s\n", runFile.c_str());
        return 1;
    }
    return 0;
}

static int runContent(char** argv) {
    BenchRun run;
    if (!loadRun(argv[3], &run)) {
        fprintf(stderr, "tintaria-bench: cannot read %s\n", argv[3]);
        return 1;
    }
    measureContentBuild(argv[2], &run);
    if (!saveRun(run, argv[3])) {
        fprintf(stderr, "tintaria-bench: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}

static const char* const kMethod =
    "Figures come from `make bench` (tools/bench). For each screen size a private Xvfb screen of that\n"
    "size is started and the game's scene is made by its own start-up functions (settings, window,\n"
    "sound, createScene) and drawn by the shell's renderFrame, unpaced: no frame sleep, the pointer over\n"
    "the middle of the window. Each scenario draws its warm-up frames untimed, then its timed frames;\n"
    "a cell shows the median / 95th percentile in ms and, in brackets, the median as a multiple of the\n"
    "floor. The floor is renderFrame over two empty roots (clear, colour read-back, swap, a selection\n"
    "pass without candidates), timed at the start and the end of the same run.\n"
    "\n"
    "- main pNN: the main screen of every picture, normal and detailed, in numbers mode and free mode,\n"
    "  entered the way the settings switches do (selectPageBuilder);\n"
    "- page rebuild frame: the frame that builds a page (archive read, texture decode, region nodes), one\n"
    "  per switch above; its target is on the slowest one;\n"
    "- dialog open frame: the frame that builds a screen opened through the toolbar's table;\n"
    "- settings menu open: the main screen with the settings menu over it;\n"
    "- celebration: the detailed picture with the most regions, painted, during the twelve bursts up to\n"
    "  the last bubble;\n"
    "- start-up to first frame: a child process of the benchmark calling startGame and renderFrame, as a\n"
    "  first start (no settings file: the help screen opens), from the spawn to the end of the first swap;\n"
    "- peak resident memory: the start-up children, and the whole benchmark after visiting every screen;\n"
    "- content build: tintaria-studio writing every archive into a scratch folder.\n";

static int runReport(int argc, char** argv) {
    std::vector<BenchRun> runs;
    for (int i = 3; i < argc; ++i) {
        BenchRun run;
        if (!loadRun(argv[i], &run)) {
            fprintf(stderr, "tintaria-bench: cannot read %s\n", argv[i]);
            return 1;
        }
        runs.push_back(run);
    }
    printf("%s", formatReport(runs, false).c_str());

    FILE* f = fopen(argv[2], "w");
    if (!f) {
        fprintf(stderr, "tintaria-bench: cannot write %s\n", argv[2]);
        return 1;
    }
    fprintf(f, "# Benchmarks\n\n## Method\n\n%s\n## Machine\n\n", kMethod);
    for (const BenchRun& run : runs) {
        fprintf(f, "%s:\n\n", run.screen.c_str());
        for (const auto& fact : run.facts) fprintf(f, "- %s: %s\n", fact.first.c_str(), fact.second.c_str());
        fputc('\n', f);
    }
    fprintf(f, "## Results\n\n%s", formatReport(runs, true).c_str());
    if (fclose(f) != 0) {
        fprintf(stderr, "tintaria-bench: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Entry
// ---------------------------------------------------------------------------

int main(int argc, char** argv) {
    if (argc >= 2 && strcmp(argv[1], "first-frame") == 0) return reportFirstFrame();
    if (argc >= 3 && strcmp(argv[1], "frames") == 0) return runFrames(argc, argv);
    if (argc == 6 && strcmp(argv[1], "profile") == 0)
        return profileFrames(atoi(argv[2]), atoi(argv[3]) != 0, atoi(argv[4]) != 0, positiveArgument(argv[5], 1));
    if (argc == 4 && strcmp(argv[1], "content") == 0) return runContent(argv);
    if (argc >= 4 && strcmp(argv[1], "report") == 0) return runReport(argc, argv);
    return usage();
}
