// A child playing the real game: the real binary with the real interface,
// sounds and dialogs, pictures of the test's own (their regions' centres are
// known), real pointer and key events, screenshots and the recorded sound.
#pragma once

#include "store/store.h"
#include "support/game_process.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

class PlayHarness : public ::testing::Test {
protected:
    std::string dir;
    std::vector<TestRegion> page1;
    GameProcess game = {};
    int width = 0, height = 0;

    // A folder with the built interface, dialog and sound archives and test pages 1 to 3.
    void SetUp() override;
    void TearDown() override;

    // Replaces the test's page 1 with the built one, its regions read from the build's manifest
    // (label points and the radius of the circle around each that lies inside the region); false when
    // the pictures are not built.
    bool useBuiltPage1(std::vector<double>* radii);
    // Writes the settings a run starts from (none when s is null) and starts the game.
    void startWith(const Settings* s);
    // Waits until the window shows the picture's sheet at its centre.
    void waitForTheSheet();
    // The settings the game wrote when it ended; the caller deletes them.
    Settings* savedSettings();
    // Clicks the window pixel of a scene point.
    void sceneClick(double sx, double sy, double sz);
    // Waits until what is drawn at a scene point has changed from what was there and stopped moving.
    void waitForChangeAt(double sx, double sy, double sz, const uint8_t before[3]);
    // Escape, then Return once the exit confirmation has opened: the game ends, saving its settings.
    void leaveThroughTheExitConfirmation();
    // The colour now drawn at a scene point.
    void colourAt(double sx, double sy, double sz, uint8_t rgb[3]);
    // The window pixel of a region's centre.
    void regionPoint(const TestRegion& r, int* x, int* y);
    const TestRegion& regionWithKey(int key);
    // Clicks the middle of the tube whose slot stands at (x, y, z), turned as the mode turns tubes.
    void clickTube(double x, double y, double z, bool numbersMode);
    // The y of the toolbar row in the scene.
    double toolbarRowY();
    // Loudness (root mean square) of the sound recorded since a byte offset.
    double loudnessSince(size_t from);
    // Zero crossings per thousand samples since a byte offset: a chime is high, a boop low.
    double brightnessSince(size_t from);
};
