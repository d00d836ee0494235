// A running game scene for tests: a folder of small archives of the test's
// own, the settings, a mixer without a device (sounds are read from its
// channels), and frames drawn with the pointer placed on a named node.
#pragma once

#include "scene/scene.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

// One frame of the running scene, ms after the last, with the pointer over hover (the node the selection
// pass would find), optionally clicking and pressing a key; drawn into the back buffer, not shown.
void drawSceneFrame(SceneNode* hover, bool click, int key, unsigned ms);

class SceneHarness : public ::testing::Test {
protected:
    std::string dir;
    char* previousDir = nullptr;

    // Archives for pages 1, 7 and 15 in both variants, an interface and sounds; the settings are
    // defaults with music off and no help screen. The test calls createScene when ready.
    void SetUp() override;
    // Destroys the scene, the settings and the mixer, and the folder.
    void TearDown() override;
    // One frame of the scene with the pointer over hover, optionally clicking and pressing a key.
    void frame(SceneNode* hover = nullptr, bool click = false, int key = 0, unsigned ms = 16);
    void frames(int count);
    // A click on the node, then a frame with the pointer elsewhere.
    void click(SceneNode* node);
    // The sounds started since the last call, in channel order; the channels are freed again.
    std::vector<std::string> takePlayed();
};
