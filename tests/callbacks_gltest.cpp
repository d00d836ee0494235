// The ready-made action and frame callbacks, ticked by a real runner on a
// real node with 16 ms frames.
#include "scene/scene.h"
#include "shell/shell.h"
#include "support/test_support.h"

#include <GL/gl.h>
#include <gtest/gtest.h>
#include <cmath>

namespace {

class CallbackTest : public ::testing::Test {
protected:
    SceneNode* root = nullptr;
    SceneNode* node = nullptr;
    std::vector<double> offsets;  // the node's drawn x (or angle) per frame

    void SetUp() override {
        testRenderer();
        frameTicks = 5000;
        root = createNode();
        node = createNode();
        addChild(root, node);
    }
    void TearDown() override {
        for (SceneNode* child : root->children) {
            for (SceneNode* grandchild : child->children) {
                destroyNode(grandchild);
                delete grandchild;
            }
            destroyNode(child);
            delete child;
        }
        destroyNode(root);
        delete root;
    }
    void start(ActionCallbackFn fn, int axis, double p1, double p2, double p3, double duration = 0) {
        ActionDesc a = ActionDesc();
        initAction(&a, 1, true, duration);
        setActionParams(&a, fn, axis, p1, p2, p3);
        runOn(a);
    }
    void runOn(const ActionDesc& a) {
        int group = addGroup(&node->actions);
        addAction(&node->actions, a);
        activateGroup(&node->actions, group);
    }
    // Frames of 16 ms; after each, the model-view of the node's first child.
    void frames(int count) {
        for (int i = 0; i < count; ++i) {
            frameTicks += 16;
            glLoadIdentity();
            drawNode(root);
        }
    }
};

std::vector<GLfloat> childMatrix;
void captureChildMatrix(int phase, void*) {
    if (phase != PHASE_BEFORE_CHILD) return;
    childMatrix.assign(16, 0.0f);
    glGetFloatv(GL_MODELVIEW_MATRIX, childMatrix.data());
}

}  // namespace

TEST_F(CallbackTest, CloseAfterDelayClosesOnTheFirstTickPastTheDelay) {
    start(closeAfterDelayAction, 0, 700, 0, 0);
    frames(43);  // 688 ms
    EXPECT_FALSE(node->closing);
    frames(1);  // 704 ms: past 700
    EXPECT_TRUE(node->closing);
}

TEST_F(CallbackTest, OffsetsSwingSlideAndEaseAboutTheNodesOwnPosition) {
    SceneNode* child = createNode();
    addChild(node, child);
    addFrameCallback(node, captureChildMatrix, nullptr);
    setPosition(node, 1.0, 2.0, 3.0);

    struct Case {
        const char* what;
        ActionCallbackFn fn;
        int axis;
        double p1, p2, p3;
        int frameCount;  // 16 ms each
        double expected;
    } cases[] = {
        {"swing at t = 0", swingOffsetAction, 1, 2.0, 2 * M_PI, 0.0, 0, 0.0},
        {"swing, 256 ms", swingOffsetAction, 1, 2.0, 6.28, 0.0, 16, 2.0 * sin(256 * 6.28 / 1000)},
        {"slide -5 per second for 1008 ms", slideOffsetAction, 1, -5.0, 0, 0, 63, -5.0 * 1.008},
        {"ease towards 4", easeOffsetAction, 1, 4.0, -3.0, 0, 63, 4.0 * (1 - exp(1.008 * -3.0))},
        {"axis 3 does nothing", slideOffsetAction, 3, 100.0, 0, 0, 10, 0.0},
    };
    for (const Case& c : cases) {
        node->runner.running.clear();
        frameTicks += 1000;  // the action starts on a fresh frame
        frames(1);
        start(c.fn, c.axis, c.p1, c.p2, c.p3);
        frameTicks -= 16;  // its first tick sees dt 0
        frames(1 + c.frameCount);
        EXPECT_NEAR(2.0 + c.expected, childMatrix[13], 1e-3) << c.what;
        EXPECT_NEAR(1.0, childMatrix[12], 1e-5) << c.what << ": other axes untouched";
        EXPECT_EQ(2.0, node->transform.y) << c.what << ": the node's own position stays";
    }
    node->runner.running.clear();
    frames(1);
    EXPECT_NEAR(2.0, childMatrix[13], 1e-5) << "back at its own place once the action is gone";
}

TEST_F(CallbackTest, LastingMotionAccumulatesInTheNodeItself) {
    start(moveAtSpeedAction, 0, 10.0, 0, 0, 1000);
    frames(63);  // 1008 ms: the action's last tick is at 1008
    EXPECT_NEAR(10.08, node->transform.x, 1e-9);
    frames(5);
    EXPECT_NEAR(10.08, node->transform.x, 1e-9) << "the node keeps its place after the action";

    start(turnAtSpeedAction, 2, 0.0, 1.0, 0);
    frames(10);
    EXPECT_NEAR(10.0, node->transform.az, 1e-9) << "one degree per tick, whatever the frame time";
}

TEST_F(CallbackTest, SpinAndRockTurnTheOffsetOnly) {
    SceneNode* child = createNode();
    addChild(node, child);
    addFrameCallback(node, captureChildMatrix, nullptr);
    start(spinOffsetAction, 2, 90.0, 0.0, 0);  // 90 degrees per second about Z
    frameTicks -= 16;
    frames(1 + 62);  // 992 ms
    frames(1);       // 1008 ms: about 90.7 degrees
    double angle = atan2(childMatrix[1], childMatrix[0]) * 180 / M_PI;
    EXPECT_NEAR(90.72, angle, 0.01);
    EXPECT_EQ(0.0, node->transform.az);
}

TEST_F(CallbackTest, FrameCallbacksChangeStateAroundTheNodeAndRestoreIt) {
    SceneNode* child = createNode();
    addChild(node, child);
    struct Probe {
        bool depth, lighting;
    };
    static Probe seen;
    addFrameCallback(node, noDepthFrameCallback, nullptr);
    addFrameCallback(node, unlitFrameCallback, nullptr);
    addFrameCallback(node, [](int phase, void*) {
        if (phase == PHASE_BEFORE_CHILD) seen = {glIsEnabled(GL_DEPTH_TEST) == GL_TRUE, glIsEnabled(GL_LIGHTING) == GL_TRUE};
    }, nullptr);
    glEnable(GL_LIGHTING);
    frames(1);
    EXPECT_FALSE(seen.depth);
    EXPECT_FALSE(seen.lighting);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST)) << "depth testing back after the child";
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING)) << "the ancestor's lighting back after the child";
    glDisable(GL_LIGHTING);
}
