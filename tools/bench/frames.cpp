// Frame scenarios: the game's scene made by its own start-up functions and
// drawn by its own renderFrame, without the loop's pacing, with the pointer
// over the middle of the picture. Pages are switched and dialogs opened the
// way the toolbar does it.
#include "tools/bench/bench.h"

#include "audio/audio.h"
#include "dialogs/dialogs.h"
#include "game/game.h"
#include "platform/platform.h"
#include "resources/resources.h"
#include "scene/scene.h"
#include "shell/shell.h"
#include "store/store.h"

#include <GL/gl.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unistd.h>

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

// Closing dialogs shrink out over DIALOG_CLOSE_MS; this many more frames of
// game time let every closing node go.
static const double kSettleMs = DIALOG_CLOSE_MS + 300.0;

// Celebration bursts follow each other at 200 ms and bubbles live up to 1.3 s.
static const double kCelebrationTailMs = 1400.0;
static const int kMaxCelebrationFrames = 4000;

// One loop iteration as the game runs it, minus the sleep; a key press is
// delivered the way handleInputEvent records one. Returns the frame's ms.
static double timedFrame(int key = 0) {
    beginInputIteration();
    SDL_Event event;
    while (SDL_PollEvent(&event)) handleInputEvent(event);
    mouseX = renderer->width / 2;
    mouseY = renderer->height / 2;
    if (key) {
        keyEventPending = true;
        keyConsumed = false;
        keyEvent.keysym.sym = (SDLKey)key;
    }
    double start = nowMs();
    renderFrame();
    return nowMs() - start;
}

static void runFrames(int count) {
    for (int i = 0; i < count; ++i) timedFrame();
}

// Frames until the game clock has moved on by ms.
static void runFor(double ms) {
    unsigned start = SDL_GetTicks();
    while ((double)(SDL_GetTicks() - start) < ms) timedFrame();
}

static BenchSeries* seriesFor(BenchRun* run, const std::string& label, const char* unit) {
    for (BenchSeries& s : run->series)
        if (s.label == label) return &s;
    run->series.push_back(BenchSeries{label, unit, {}});
    return &run->series.back();
}

static void timeFrames(BenchRun* run, const std::string& label, const FrameBudget& budget) {
    runFrames(budget.warmupFrames);
    BenchSeries* s = seriesFor(run, label, "ms");
    for (int i = 0; i < budget.timedFrames; ++i) s->samples.push_back(timedFrame());
}

// The empty frame: renderFrame over two empty roots, so the clear, the
// read-back, the swap and a selection pass without candidates remain. The
// game's roots are put aside meanwhile and given back by restoreRoots.
static void useEmptyRoots(SceneNode* saved[2]) {
    saved[0] = sceneRoot;
    saved[1] = cursorRoot;
    sceneRoot = createNode();
    cursorRoot = createNode();
}

static void restoreRoots(SceneNode* const saved[2]) {
    for (SceneNode* root : {sceneRoot, cursorRoot}) {
        destroyNode(root);
        delete root;
    }
    sceneRoot = saved[0];
    cursorRoot = saved[1];
}

static void timeFloor(BenchRun* run, const FrameBudget& budget) {
    SceneNode* saved[2];
    useEmptyRoots(saved);
    timeFrames(run, "floor (empty frame)", budget);
    restoreRoots(saved);
}

static const char* modeName(bool numbers) { return numbers ? "numbers" : "free"; }

static std::string pageLabel(const PageEntry& page, bool detailed, bool numbers) {
    char label[64];
    snprintf(label, sizeof label, "main p%02d %s %s", page.pageId, detailed ? "detailed" : "normal", modeName(numbers));
    return label;
}

// Switches to the page as the settings menu's switches and the arrows do, and
// times the frame that rebuilds it.
static void openPage(BenchRun* run, const PageEntry& page, bool detailed, bool numbers) {
    settings->numbersMode = numbers;
    settings->detailedPictures = detailed;
    selectPage(*settings, page.pageId);
    selectPageBuilder();
    seriesFor(run, "page rebuild frame", "ms")->samples.push_back(timedFrame());
}

static void timeMainScreens(BenchRun* run, const FrameBudget& budget) {
    for (int numbers = 1; numbers >= 0; --numbers)
        for (int detailed = 0; detailed <= 1; ++detailed)
            for (const PageEntry& page : pageCatalogue) {
                openPage(run, page, detailed != 0, numbers != 0);
                timeFrames(run, pageLabel(page, detailed != 0, numbers != 0), budget);
            }
}

// Opens a screen through the toolbar's table, times the frame that builds it,
// and closes it with Escape when asked to.
static void timeDialogOpen(BenchRun* run, const char* name, ScreenOpener opener, bool close) {
    opener(0);
    seriesFor(run, std::string("dialog open frame (") + name + ")", "ms")->samples.push_back(timedFrame());
    if (!close) return;
    runFor(kSettleMs);
    timedFrame(GAME_KEY_ESCAPE);
    runFor(kSettleMs);
}

static void timeDialogs(BenchRun* run, const FrameBudget& budget) {
    const PageEntry& first = pageCatalogue[0];
    openPage(run, first, false, true);
    runFor(kSettleMs);
    for (int i = 0; i < 3; ++i) {
        timeDialogOpen(run, "help", toolbarScreens.helpScreen, true);
        timeDialogOpen(run, "exit", toolbarScreens.exitDialog, true);
        timeDialogOpen(run, "clear", toolbarScreens.clearDialog, true);
        timeDialogOpen(run, "settings", toolbarScreens.settingsMenu, i < 2);
    }
    timeFrames(run, "settings menu open", budget);
    timedFrame(GAME_KEY_ESCAPE);
    runFor(kSettleMs);
}

// The detailed variant with the most regions: the heaviest picture to celebrate over.
static const PageEntry* largestDetailedPage() {
    const PageEntry* best = nullptr;
    int bestCount = -1;
    for (const PageEntry& page : pageCatalogue) {
        int count = variantRegionCount(&page, &page.detailed);
        if (count > bestCount) {
            best = &page;
            bestCount = count;
        }
    }
    return best;
}

// Every region painted in its own colour, the page rebuilt as it then looks,
// and the twelve bursts of a finished picture timed to their last bubble.
static void timeCelebration(BenchRun* run, const FrameBudget& budget) {
    const PageEntry* page = largestDetailedPage();
    openPage(run, *page, true, true);
    runFor(kSettleMs);
    for (const PageRegion& region : variantRegions(page, &page->detailed)) {
        double rgb[3];
        paletteColour(*settings, region.colourNumber, rgb);
        paintRegion(*settings, region.key, rgb[0], rgb[1], rgb[2], region.colourNumber);
    }
    openPage(run, *page, true, true);
    runFrames(budget.warmupFrames);
    runFor(kSettleMs);

    char label[64];
    snprintf(label, sizeof label, "celebration p%02d detailed", page->pageId);
    BenchSeries* s = seriesFor(run, label, "ms");
    startCelebration(1);
    unsigned lastBurstTicks = SDL_GetTicks();
    int seenBursts = burstsLeft;
    for (int i = 0; i < kMaxCelebrationFrames; ++i) {
        s->samples.push_back(timedFrame());
        if (burstsLeft != seenBursts) {
            seenBursts = burstsLeft;
            lastBurstTicks = SDL_GetTicks();
        }
        if (burstsLeft == 0 && (double)(SDL_GetTicks() - lastBurstTicks) > kCelebrationTailMs) break;
    }
    clearCurrentPainted(*settings);
}

// The process's own high-water mark (VmHWM): unlike getrusage's figure for a
// child, it does not carry over the parent's size from before the exec.
static long peakResidentKilobytes() {
    FILE* f = fopen("/proc/self/status", "r");
    if (!f) return 0;
    char line[256];
    long kilobytes = 0;
    while (fgets(line, sizeof line, f))
        if (sscanf(line, "VmHWM: %ld kB", &kilobytes) == 1) break;
    fclose(f);
    return kilobytes;
}

static void addFact(BenchRun* run, const char* key, const char* value) {
    run->facts.push_back({key, value ? value : "unknown"});
}

static std::string cpuModel() {
    FILE* f = fopen("/proc/cpuinfo", "r");
    if (!f) return "unknown";
    char line[512];
    std::string model = "unknown";
    while (fgets(line, sizeof line, f)) {
        if (strncmp(line, "model name", 10) != 0) continue;
        const char* colon = strchr(line, ':');
        if (!colon) continue;
        model = colon + 2;
        while (!model.empty() && (model.back() == '\n' || model.back() == ' ')) model.pop_back();
        break;
    }
    fclose(f);
    return model;
}

static void noteMachine(BenchRun* run) {
    char text[64];
    snprintf(text, sizeof text, "%dx%d", renderer->width, renderer->height);
    run->screen = text;
    addFact(run, "CPU", cpuModel().c_str());
    snprintf(text, sizeof text, "%ld online", sysconf(_SC_NPROCESSORS_ONLN));
    addFact(run, "cores", text);
    addFact(run, "OpenGL renderer", (const char*)glGetString(GL_RENDERER));
    addFact(run, "OpenGL version", (const char*)glGetString(GL_VERSION));
    GLint samples = 0;
    glGetIntegerv(GL_SAMPLES, &samples);
    snprintf(text, sizeof text, "%d", samples);
    addFact(run, "samples per pixel", text);
    double load[3];
    if (getloadavg(load, 3) == 3) {
        snprintf(text, sizeof text, "%.2f %.2f %.2f", load[0], load[1], load[2]);
        addFact(run, "load average at start", text);
    }
    time_t now = time(nullptr);
    strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", gmtime(&now));
    addFact(run, "date", text);
}

// Settings as a returning player has them: defaults without the help screen
// at start and without music (no sound device here), in a scratch folder so
// the player's own file is never touched.
static void openGame(const std::string& userFolder) {
    setenv("XDG_DATA_HOME", userFolder.c_str(), 1);
    platformEnterDataDirectory();
    configPath.clear();
    settings = defaultSettings();
    settings->showHelpAtStart = false;
    settings->musicOn = false;
    renderer = createRenderer();
    initSound();
    createScene();
}

// ---------------------------------------------------------------------------
// Measuring
// ---------------------------------------------------------------------------

double nowMs() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec * 1000.0 + (double)t.tv_nsec / 1e6;
}

BenchRun measureFrames(const FrameBudget& budget) {
    BenchRun run;
    std::string userFolder = scratchFolder("user");
    openGame(userFolder);
    noteMachine(&run);
    runFrames(budget.warmupFrames);

    timeFloor(&run, budget);
    timeMainScreens(&run, budget);
    timeDialogs(&run, budget);
    timeCelebration(&run, budget);
    timeFloor(&run, budget);

    seriesFor(&run, "peak resident memory (every screen visited)", "MB")
        ->samples.push_back((double)peakResidentKilobytes() / 1024.0);

    shutdownGame();
    std::string command = "rm -rf '" + userFolder + "'";
    if (!userFolder.empty() && system(command.c_str()) != 0) fprintf(stderr, "could not remove %s\n", userFolder.c_str());
    return run;
}

// Kept out of line so that a profiler can collect inside it alone
// (valgrind --tool=callgrind --toggle-collect=profiledFrames).
__attribute__((noinline)) void profiledFrames(int count) { runFrames(count); }

int profileFrames(int pageId, bool detailed, bool numbers, int count) {
    const PageEntry* page = findPage(pageId);
    if (!page && pageId != 0) return 2;
    std::string userFolder = scratchFolder("user");
    openGame(userFolder);
    BenchRun run;
    noteMachine(&run);
    for (const auto& fact : run.facts) fprintf(stderr, "%s: %s\n", fact.first.c_str(), fact.second.c_str());
    if (page) {
        openPage(&run, *page, detailed, numbers);
        runFrames(10);
        profiledFrames(count);
    } else {
        SceneNode* saved[2];
        useEmptyRoots(saved);
        runFrames(10);
        profiledFrames(count);
        restoreRoots(saved);
    }
    shutdownGame();
    std::string command = "rm -rf '" + userFolder + "'";
    if (!userFolder.empty() && system(command.c_str()) != 0) fprintf(stderr, "could not remove %s\n", userFolder.c_str());
    return 0;
}

int reportFirstFrame() {
    platformEnterDataDirectory();
    startGame();
    renderFrame();
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    printf("%lld %ld\n", (long long)t.tv_sec * 1000000000LL + t.tv_nsec, peakResidentKilobytes());
    fflush(stdout);
    shutdownGame();
    return 0;
}
