// Steady-state frames allocate nothing: the game's scene, made from the
// build's own archives, drawn by the shell's renderFrame with every C++ heap
// allocation on this thread counted (the game's code allocates only through
// new; the GL driver's own C allocations are its business). Once a screen has
// settled (growth animations over, hover and pick lists at their size) a frame
// must not allocate, wherever the pointer rests; the frame that builds a page
// or opens a dialog does, which shows the count works.
#include "dialogs/dialogs.h"
#include "game/game.h"
#include "resources/resources.h"
#include "scene/scene.h"
#include "shell/shell.h"
#include "store/store.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <new>
#include <ostream>
#include <string>
#include <unistd.h>

// ---------------------------------------------------------------------------
// Counting allocator
// ---------------------------------------------------------------------------

namespace {

// Only this thread's allocations while armed count: the mixer and the
// renderer's worker threads allocate on their own schedule.
thread_local bool countingArmed = false;
thread_local long allocationCount = 0;

void noteAllocation() {
    if (countingArmed) ++allocationCount;
}

// alignment 0 for the default one; freed with free() either way.
void* allocateOrNull(size_t size, size_t alignment) {
    noteAllocation();
    if (size == 0) size = 1;
    if (alignment <= alignof(std::max_align_t)) return malloc(size);
    void* block = nullptr;
    return posix_memalign(&block, alignment, size) == 0 ? block : nullptr;
}

void* allocateOrThrow(size_t size) {
    void* block = allocateOrNull(size, 0);
    if (!block) throw std::bad_alloc();
    return block;
}

void* allocateAlignedOrThrow(size_t size, std::align_val_t alignment) {
    void* block = allocateOrNull(size, (size_t)alignment);
    if (!block) throw std::bad_alloc();
    return block;
}

}  // namespace

// Every form of new and delete is replaced, not only the plain ones: a
// library that allocates with one form we left alone and frees with one we
// replaced (Mesa's LLVM uses the aligned and nothrow forms) would otherwise
// mix two allocators, which AddressSanitizer rightly reports.
void* operator new(size_t size) { return allocateOrThrow(size); }
void* operator new[](size_t size) { return allocateOrThrow(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return allocateOrNull(size, 0); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return allocateOrNull(size, 0); }
void* operator new(size_t size, std::align_val_t align) { return allocateAlignedOrThrow(size, align); }
void* operator new[](size_t size, std::align_val_t align) { return allocateAlignedOrThrow(size, align); }
void* operator new(size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
    return allocateOrNull(size, (size_t)align);
}
void* operator new[](size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
    return allocateOrNull(size, (size_t)align);
}
void operator delete(void* block) noexcept { free(block); }
void operator delete[](void* block) noexcept { free(block); }
void operator delete(void* block, size_t) noexcept { free(block); }
void operator delete[](void* block, size_t) noexcept { free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { free(block); }
void operator delete(void* block, std::align_val_t) noexcept { free(block); }
void operator delete[](void* block, std::align_val_t) noexcept { free(block); }
void operator delete(void* block, size_t, std::align_val_t) noexcept { free(block); }
void operator delete[](void* block, size_t, std::align_val_t) noexcept { free(block); }
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept { free(block); }
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept { free(block); }

namespace {

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// A settled screen: a page's main screen in a mode, a dialog over it when opener is set,
// and where the pointer rests.
struct SteadyScreen {
    const char* name;
    bool numbersMode;
    bool detailed;
    int pageId;
    ScreenOpener ToolbarScreens::*opener;  // null: the main screen itself
    double pointerX, pointerY;              // where the pointer rests, in window fractions from the top left
};

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

// Long enough for every opening animation to end.
const unsigned kSettleMs = 1200;
const int kCountedFrames = 10;

const SteadyScreen kScreens[] = {
    {"numbers_mode_page", true, false, 1, nullptr, 0.5, 0.5},
    {"numbers_mode_detailed_page", true, true, 9, nullptr, 0.5, 0.5},
    {"numbers_mode_over_tubes", true, false, 2, nullptr, 0.1, 0.5},
    {"numbers_mode_over_toolbar", true, true, 4, nullptr, 0.5, 0.04},
    {"free_mode_page", false, false, 5, nullptr, 0.5, 0.5},
    {"free_mode_detailed_page", false, true, 14, nullptr, 0.5, 0.5},
    {"free_mode_over_tubes", false, false, 6, nullptr, 0.1, 0.6},
    {"settings_menu", true, false, 3, &ToolbarScreens::settingsMenu, 0.5, 0.5},
    {"help_screen", true, false, 3, &ToolbarScreens::helpScreen, 0.5, 0.5},
    {"exit_dialog", false, false, 7, &ToolbarScreens::exitDialog, 0.5, 0.5},
};

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

void PrintTo(const SteadyScreen& screen, std::ostream* out) { *out << screen.name; }

double pointerX = 0.5, pointerY = 0.5;

void frameWithPointerResting() {
    beginInputIteration();
    SDL_Event event;
    while (SDL_PollEvent(&event)) handleInputEvent(event);
    mouseX = (int)(pointerX * renderer->width);
    mouseY = (int)(pointerY * renderer->height);
    renderFrame();
}

long countedFrame() {
    allocationCount = 0;
    countingArmed = true;
    frameWithPointerResting();
    countingArmed = false;
    return allocationCount;
}

void settle() {
    unsigned start = SDL_GetTicks();
    while (SDL_GetTicks() - start < kSettleMs) frameWithPointerResting();
}

// ---------------------------------------------------------------------------
// Fixture: the game's scene over the build's archives, settings in a scratch folder
// ---------------------------------------------------------------------------

class SteadyFrameTest : public ::testing::TestWithParam<SteadyScreen> {
protected:
    std::string userFolder;
    char* previousDir = nullptr;

    void SetUp() override {
        userFolder = makeTempDir("steady");
        isolateUserData(userFolder);
        previousDir = getcwd(nullptr, 0);
        ASSERT_EQ(0, chdir(TINTARIA_BINARY_DIR "/data")) << "the build's archives are missing";
        settings = defaultSettings();
        settings->showHelpAtStart = false;
        settings->musicOn = false;
        testRenderer();
        createScene();
    }

    void TearDown() override {
        destroyScene();
        delete settings;
        settings = nullptr;
        picker.hovered = nullptr;
        picker.candidates.clear();
        dialogOpen = innerDialogOpen = false;
        EXPECT_EQ(0, chdir(previousDir));
        free(previousDir);
        removeTree(userFolder);
    }

    void openPage(const SteadyScreen& screen) {
        settings->numbersMode = screen.numbersMode;
        settings->detailedPictures = screen.detailed;
        selectPage(*settings, screen.pageId);
        selectPageBuilder();
        settle();
    }
};

TEST_P(SteadyFrameTest, SettledFramesAllocateNothing) {
    const SteadyScreen& screen = GetParam();
    pointerX = screen.pointerX;
    pointerY = screen.pointerY;
    openPage(screen);
    if (screen.opener) {
        (toolbarScreens.*screen.opener)(0);
        settle();
        ASSERT_TRUE(dialogOpen);
    }
    for (int i = 0; i < kCountedFrames; ++i) ASSERT_EQ(0, countedFrame()) << "frame " << i << " after settling";
}

INSTANTIATE_TEST_SUITE_P(Screens, SteadyFrameTest, ::testing::ValuesIn(kScreens),
                         [](const ::testing::TestParamInfo<SteadyScreen>& info) { return info.param.name; });

// The counter sees the frame's own work: the frame that builds a page and the
// one that opens a dialog make nodes on the heap.
TEST_F(SteadyFrameTest, BuildingFramesAreCounted) {
    pointerX = pointerY = 0.5;
    openPage(kScreens[0]);
    settings->detailedPictures = true;
    selectPageBuilder();
    EXPECT_GT(countedFrame(), 0);
    settle();
    toolbarScreens.settingsMenu(0);
    EXPECT_GT(countedFrame(), 0);
}

}  // namespace
