// The loop's input state and frame pacing, driven with synthetic SDL events.
#include "shell/shell.h"

#include <gtest/gtest.h>

namespace {

SDL_Event mouseButton(Uint8 type, Uint8 button, Uint16 x, Uint16 y) {
    SDL_Event e = SDL_Event();
    e.type = type;
    e.button.type = type;
    e.button.button = button;
    e.button.x = x;
    e.button.y = y;
    return e;
}

SDL_Event motion(Uint16 x, Uint16 y) {
    SDL_Event e = SDL_Event();
    e.type = SDL_MOUSEMOTION;
    e.motion.x = x;
    e.motion.y = y;
    return e;
}

SDL_Event keyDown(SDLKey sym) {
    SDL_Event e = SDL_Event();
    e.type = SDL_KEYDOWN;
    e.key.type = SDL_KEYDOWN;
    e.key.keysym.sym = sym;
    return e;
}

class InputTest : public ::testing::Test {
protected:
    void SetUp() override {
        mouseX = mouseY = 0;
        leftButtonDown = leftClicked = leftClickLatch = false;
        keyEventPending = keyConsumed = false;
        beginInputIteration();
    }
};

}  // namespace

TEST(FramePacing, SleepsTheRestOfSixteenMillisecondsAndCopesWithTickWrap) {
    struct Case {
        unsigned start, end;
        int sleep;
    } cases[] = {
        {1000, 1005, 11},           // quick frame: the rest of the period
        {1000, 1000, 16},           // instant frame: a whole period
        {1000, 1016, 0},            // exactly the period: no sleep
        {1000, 1020, 0},            // slow frame: no sleep
        {0xFFFFFFF0u, 0x5u, 16},    // counter wrapped inside the iteration: one period
        {0xFFFFFFFFu, 0xFFFFFFFFu, 16},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.sleep, frameSleep(c.start, c.end)) << c.start << " -> " << c.end;
}

TEST_F(InputTest, HeldButtonClicksOnceUntilReleased) {
    handleInputEvent(mouseButton(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 5, 5));
    EXPECT_TRUE(leftClicked);
    EXPECT_TRUE(leftButtonDown);

    beginInputIteration();
    EXPECT_FALSE(leftClicked) << "the pulse lasts one iteration";
    handleInputEvent(mouseButton(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 5, 5));
    EXPECT_FALSE(leftClicked) << "a second press without release gives no second pulse";

    beginInputIteration();
    handleInputEvent(mouseButton(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 5, 5));
    EXPECT_FALSE(leftButtonDown);
    handleInputEvent(mouseButton(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 5, 5));
    EXPECT_TRUE(leftClicked) << "after a release the next press clicks again";
}

TEST_F(InputTest, OnlyTheLeftButtonCounts) {
    handleInputEvent(mouseButton(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 5, 5));
    handleInputEvent(mouseButton(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_MIDDLE, 5, 5));
    EXPECT_FALSE(leftClicked);
    EXPECT_FALSE(leftButtonDown);
    handleInputEvent(mouseButton(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 5, 5));
    handleInputEvent(mouseButton(SDL_MOUSEBUTTONUP, SDL_BUTTON_RIGHT, 5, 5));
    EXPECT_TRUE(leftButtonDown) << "another button's release does not release the left one";
}

TEST_F(InputTest, PositionComesFromMotionOnly) {
    handleInputEvent(motion(640, 360));
    handleInputEvent(mouseButton(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 10, 20));
    EXPECT_EQ(640, mouseX);
    EXPECT_EQ(360, mouseY);
}

TEST_F(InputTest, FirstHandlerTakesTheKeyAndOnlyTheLastKeyOfAnIterationCounts) {
    handleInputEvent(keyDown(SDLK_ESCAPE));
    handleInputEvent(keyDown(SDLK_RIGHT));
    EXPECT_FALSE(isKeyPressed(GAME_KEY_ESCAPE)) << "a later key-down replaces the earlier one";
    EXPECT_TRUE(isKeyPressed(GAME_KEY_RIGHT));

    bool first = isKeyPressed(GAME_KEY_RIGHT) && consumeKey();
    bool second = isKeyPressed(GAME_KEY_RIGHT) && consumeKey();
    EXPECT_TRUE(first);
    EXPECT_FALSE(second) << "a consumed key is seen by no later handler";

    beginInputIteration();
    EXPECT_FALSE(isKeyPressed(GAME_KEY_RIGHT)) << "the key lives one iteration";
    handleInputEvent(keyDown(SDLK_F1));
    EXPECT_TRUE(isKeyPressed(GAME_KEY_F1)) << "a new key-down clears the consumed mark";
}

TEST_F(InputTest, WindowCloseRequestChangesNothing) {
    SDL_Event quit = SDL_Event();
    quit.type = SDL_QUIT;
    handleInputEvent(quit);
    EXPECT_FALSE(keyEventPending);
    EXPECT_FALSE(leftClicked);
}
