// A long session of the real game in process: the built archives, the
// game's own start-up and scene, a thousand page turns in both variants,
// every dialog opened and closed a hundred times and five finished pictures
// with their bubbles, on a frame clock of the test's own, in rounds that mix
// them. Resident memory must stay level from the hundredth turn on; in the
// sanitizer build, where quarantine holds freed memory, the leak checker at
// exit judges instead.
#include "dialogs/dialogs.h"
#include "game/game.h"
#include "resources/resources.h"
#include "scene/scene.h"
#include "shell/shell.h"
#include "store/store.h"
#include "support/scene_harness.h"
#include "support/test_support.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// One dialog of the game and how a player opens it; inner dialogs open from the settings menu.
struct DialogCase {
    const char* name;
    void (*open)();
    bool inner;
};

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

#if defined(__SANITIZE_ADDRESS__)
const bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
const bool kSanitized = true;
#else
const bool kSanitized = false;
#endif
#else
const bool kSanitized = false;
#endif

// The session is rounds of a hundred page turns, each after a share of the dialog openings and, every
// other round, a finished picture, so that the reference taken after the first hundred turns has seen
// every path once: what grows after it builds up rather than warms up. The sanitizer build runs two
// rounds: its leak checker needs one pass through each path, and everything there runs slower.
const int kRounds = kSanitized ? 2 : 10;
const int kTurnsPerRound = 100;          // resident memory is taken as the reference after the first round
const int kOpeningsPerDialogPerRound = kSanitized ? 5 : 10;
const int kCelebratedPages[] = {2, 5, 8, 11, 14};
const int kCelebrations = (int)(sizeof kCelebratedPages / sizeof kCelebratedPages[0]);
const double kAllowedGrowth = 0.05;
// Frames last 16 ms as in the game, or 250 ms where the test only waits for an animation or a timer
// (a slow machine's frames: the game's timing holds with them too).
const unsigned kFrameMs = 16, kWaitingFrameMs = 250;
// Pages are turned as fast as the game takes the arrow keys, one frame apart; every tenth turn waits
// until the turned-away pages have gone.
const int kTurnsBetweenSettling = 10;
// Bounds on frames for things that take a few hundred milliseconds; reaching one is a failure.
const int kFramesToSettle = 200;
const int kFramesToCelebrate = 1000;

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

// VmRSS of this process in kilobytes; 0 when /proc cannot tell.
long residentKilobytes() {
    FILE* f = fopen("/proc/self/status", "r");
    if (!f) return 0;
    char line[256];
    long kb = 0;
    while (fgets(line, sizeof line, f))
        if (sscanf(line, "VmRSS: %ld kB", &kb) == 1) break;
    fclose(f);
    return kb;
}

void frame(SceneNode* hover = nullptr, bool click = false, int key = 0, unsigned ms = kFrameMs) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    drawSceneFrame(hover, click, key, ms);
    swapBuffers(renderer);  // as the game's frame ends: the driver's queue is flushed
}

void openExitWithEscape() { frame(nullptr, false, GAME_KEY_ESCAPE); }
void openHelpWithF1() { frame(nullptr, false, GAME_KEY_F1); }
void openMenu() { toolbarScreens.settingsMenu(0); }
void openClear() { toolbarScreens.clearDialog(0); }
void openColour() { toolbarScreens.colourDialog(selectedTube); }
void openAboutBox() { runOnce(buildAbout, 0); }
void openClearAllBox() { runOnce(buildClearAllDialog, 0); }

const DialogCase kDialogs[] = {
    {"exit confirmation", openExitWithEscape, false},
    {"help", openHelpWithF1, false},
    {"settings menu", openMenu, false},
    {"clear confirmation", openClear, false},
    {"colour dialog", openColour, false},
    {"about", openAboutBox, true},
    {"clear-all confirmation", openClearAllBox, true},
};

SceneNode* pageHost() { return sceneRoot->children[2]; }
SceneNode* paletteHost() { return sceneRoot->children[3]; }

// Frames until the old page and palette have gone and no dialog remains; false when that takes too long.
bool settle() {
    for (int i = 0; i < kFramesToSettle; ++i) {
        frame();
        if (pageHost()->children.size() == 1 && paletteHost()->children.size() == 1 && gameLayer->children.empty())
            return true;
    }
    return false;
}

// Lets the opening finish (its first 150 ms ignore keys), then presses Escape whenever a dialog is open and
// still, until every dialog has closed and gone; false when one stays.
bool closeEveryDialog() {
    frame(nullptr, false, 0, kWaitingFrameMs);
    for (int i = 0; i < kFramesToSettle; ++i) {
        bool open = dialogOpen || innerDialogOpen;
        frame(nullptr, false, open && !dialogTransition ? GAME_KEY_ESCAPE : 0, kWaitingFrameMs);
        if (!dialogOpen && !innerDialogOpen && gameLayer->children.empty()) return true;
    }
    return false;
}

SceneNode* regionNode(int key) {
    for (SceneNode* node : pageHolder->children[0]->children)
        if (node->runner.running.front().iparam1 == key) return node;
    return nullptr;
}

SceneNode* tubeNode(int number) {
    SceneNode* slot = paletteHolder->children[number - 1];
    return slot->children.empty() ? nullptr : slot->children.back();
}

// ---------------------------------------------------------------------------
// The session
// ---------------------------------------------------------------------------

class Soak : public ::testing::Test {
protected:
    std::string userDir;
    char* previousDir = nullptr;

    // The game started as a player starts it, from the build's archives with a settings folder of its own
    // and its sound mixed on the audio thread into nowhere.
    void SetUp() override {
        userDir = makeTempDir("soak");
        isolateUserData(userDir);
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
        previousDir = getcwd(nullptr, 0);
        ASSERT_EQ(0, chdir(TINTARIA_BINARY_DIR "/data")) << "the content was not built";
        ASSERT_EQ(0, access("interface.pak", R_OK)) << "the content was not built";
        startGame();
        ASSERT_NE(nullptr, soundSystem) << "the mixer runs";
        ASSERT_TRUE(closeEveryDialog()) << "the help screen of a new player";
    }

    void TearDown() override {
        shutdownGame();
        EXPECT_EQ(0, archiveReferences("interface.pak")) << "every model reference was released";
        if (previousDir) {
            EXPECT_EQ(0, chdir(previousDir));
        }
        free(previousDir);
        removeTree(userDir);
    }

    // A page turn by arrow key in the variant asked for; the old page goes in the frames that follow.
    void turnPage(int turn) {
        settings->detailedPictures = (turn / 25) % 2 == 1;
        bool back = turn % 4 == 3;
        int from = currentPageId(*settings);
        frame(nullptr, false, back ? GAME_KEY_LEFT : GAME_KEY_RIGHT);  // the new page is built in this frame
        int expected = (from - 1 + (back ? PAGE_COUNT - 1 : 1)) % PAGE_COUNT + 1;
        ASSERT_EQ(expected, currentPageId(*settings)) << "turn " << turn;
        const PageEntry* page = findPage(expected);
        ASSERT_EQ(pageVariant(page, settings->detailedPictures), currentPageVariant) << "turn " << turn;
        frame();
        if (turn % kTurnsBetweenSettling == kTurnsBetweenSettling - 1) {
            ASSERT_TRUE(settle()) << "turn " << turn << ": turned-away pages stay";
        }
        ASSERT_EQ((size_t)variantRegionCount(page, currentPageVariant), pageHolder->children[0]->children.size())
            << "turn " << turn;
    }

    // One opening of the dialog the way a player opens it, then closing whatever is open.
    void openAndClose(const DialogCase& dialog, int opening) {
        if (dialog.inner) {
            openMenu();
            frame(nullptr, false, 0, kWaitingFrameMs);
            ASSERT_TRUE(dialogOpen) << dialog.name;
        }
        dialog.open();
        frame();
        ASSERT_TRUE(dialog.inner ? innerDialogOpen : dialogOpen) << dialog.name << " opening " << opening;
        ASSERT_TRUE(closeEveryDialog()) << dialog.name << " opening " << opening;
    }

    // Every region but one painted, then the last one by the player: the finish and its bubbles, then the
    // picture emptied again through the clear confirmation.
    void celebrate(int pageId) {
        settings->detailedPictures = false;
        selectPage(*settings, pageId);
        const PageEntry* page = findPage(pageId);
        std::vector<PageRegion> regions = variantRegions(page, &page->normal);
        for (size_t i = 0; i + 1 < regions.size(); ++i)
            paintRegion(*settings, regions[i].key, 0, 0, 0, regions[i].colourNumber);
        selectPageBuilder();
        ASSERT_TRUE(settle());
        const PageRegion& last = regions.back();
        frame(tubeNode(last.colourNumber + 1), true);
        frame();
        ASSERT_EQ(last.colourNumber, selectedTube);
        frame(regionNode(last.key), true);
        ASSERT_TRUE(isPageComplete(*settings)) << "page " << pageId;
        ASSERT_TRUE(burstPending || burstsLeft > 0) << "page " << pageId;
        int frames = 0;
        // Twelve bursts from the tubes, then their bubbles live out their time under the page.
        while ((burstsLeft > 0 || pageHolder->children.size() > 2) && frames < kFramesToCelebrate) {
            frame(nullptr, false, 0, burstsLeft > 0 ? kFrameMs : kWaitingFrameMs);
            ++frames;
        }
        ASSERT_LT(frames, kFramesToCelebrate) << "page " << pageId << ": the bubbles never ended";

        toolbarScreens.clearDialog(0);
        for (int i = 0; i < 20 && !(dialogOpen && !dialogTransition); ++i) frame(nullptr, false, 0, kWaitingFrameMs);
        frame(nullptr, false, GAME_KEY_RETURN);
        ASSERT_TRUE(isPageBlank(*settings)) << "page " << pageId;
        ASSERT_TRUE(settle());
    }
};

}  // namespace

TEST_F(Soak, ResidentMemoryStaysLevelThroughALongSession) {
    auto started = std::chrono::steady_clock::now();
    long settled = 0;
    int turn = 0, celebrations = 0;
    for (int round = 0; round < kRounds; ++round) {
        if (round % 2 == 0 && celebrations < kCelebrations) {
            ASSERT_NO_FATAL_FAILURE(celebrate(kCelebratedPages[celebrations++]));
        }
        for (const DialogCase& dialog : kDialogs)
            for (int i = 0; i < kOpeningsPerDialogPerRound; ++i) ASSERT_NO_FATAL_FAILURE(openAndClose(dialog, i));
        for (int i = 0; i < kTurnsPerRound; ++i) ASSERT_NO_FATAL_FAILURE(turnPage(turn++));
        if (round == 0) settled = residentKilobytes();
        printf("soak: resident %ld kB after %d turns\n", residentKilobytes(), turn);
        fflush(stdout);
    }
    long end = residentKilobytes();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    printf("soak: resident %ld kB after %d turns, %ld kB at the end (%+.2f %%), %.1f s\n", settled, kTurnsPerRound, end,
           settled ? 100.0 * (end - settled) / settled : 0.0, seconds);
    RecordProperty("resident_kb_settled", (int)settled);
    RecordProperty("resident_kb_end", (int)end);
    if (kSanitized) return;  // freed memory sits in quarantine: the leak checker at exit judges this build
    ASSERT_GT(settled, 0) << "/proc/self/status has no VmRSS";
    EXPECT_LE(end, settled * (1 + kAllowedGrowth)) << "resident memory grew over the session";
}
