// Scene nodes and actions under a real OpenGL context: the draw that is also
// the update, closing subtrees, action timing, groups, commands and links.
#include "scene/scene.h"
#include "shell/shell.h"
#include "support/test_support.h"

#include <GL/gl.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// What the callbacks saw, in call order.
std::vector<std::string> calls;
std::vector<double> elapsedSeen;

void record(void* tag) {
    calls.push_back(static_cast<const char*>(tag));
    elapsedSeen.push_back(currentAction->elapsed);
}

void recordAndFinish(void* tag) {
    record(tag);
    finishAction(currentAction);
}

ActionDesc makeAction(ActionCallbackFn fn, const char* tag, double duration, int32_t actionTag = 1) {
    ActionDesc a = ActionDesc();
    initAction(&a, actionTag, true, duration);
    setActionCallback(&a, fn, const_cast<char*>(tag));
    return a;
}

// Starts an action on the node through a group of its own, as game code does.
void runOn(SceneNode* node, const ActionDesc& action) {
    int group = addGroup(&node->actions);
    addAction(&node->actions, action);
    activateGroup(&node->actions, group);
}

class SceneTest : public ::testing::Test {
protected:
    SceneNode* root = nullptr;

    void SetUp() override {
        testRenderer();
        calls.clear();
        elapsedSeen.clear();
        frameTicks = 1000;
        root = createNode();
    }
    void TearDown() override {
        destroyTree(root);
        gameLayer = nullptr;
    }
    static void destroyTree(SceneNode* node) {
        for (SceneNode* child : node->children) destroyTree(child);
        destroyNode(node);
        delete node;
    }
    // One frame of the given length: the clock advances, then the tree is drawn.
    void frame(unsigned ms = 16) {
        frameTicks += ms;
        glLoadIdentity();
        drawNode(root);
    }
    SceneNode* child(SceneNode* parent) {
        SceneNode* node = createNode();
        addChild(parent, node);
        return node;
    }
};

}  // namespace

TEST_F(SceneTest, ClosingTakesTheSubtreeDownOneLevelPerFrame) {
    SceneNode* node = child(root);
    SceneNode* a = child(node);
    SceneNode* b = child(node);
    runOn(node, makeAction(record, "node", 0));
    runOn(a, makeAction(record, "leaf", 0));
    frame();
    ASSERT_EQ(2u, calls.size());

    closeNode(node);
    calls.clear();
    frame();
    EXPECT_TRUE(calls.empty()) << "a closing subtree no longer acts";
    EXPECT_TRUE(a->closed);
    EXPECT_TRUE(b->closed);
    EXPECT_FALSE(node->closed);

    frame();
    EXPECT_TRUE(node->children.empty()) << "closed leaves are destroyed by their parent";
    EXPECT_TRUE(node->closed);
    ASSERT_EQ(1u, root->children.size());

    frame();
    EXPECT_TRUE(root->children.empty());
    EXPECT_FALSE(root->closed);
}

TEST_F(SceneTest, TimedActionRunsUpToAndIncludingTheTickThatReachesItsDuration) {
    SceneNode* node = child(root);
    runOn(node, makeAction(record, "timed", 500));
    for (int i = 0; i < 31; ++i) frame();
    EXPECT_EQ(31u, calls.size());
    EXPECT_EQ(1u, node->runner.running.size());
    frame();  // total reaches 512
    EXPECT_EQ(32u, calls.size());
    EXPECT_TRUE(node->runner.running.front().finished);
    frame();
    EXPECT_EQ(32u, calls.size());
    EXPECT_TRUE(node->runner.running.empty()) << "dropped at the next tick";
}

TEST_F(SceneTest, OneTickAndSelfFinishingActionsRunOnce) {
    SceneNode* node = createNode();  // created in this frame ...
    runOn(node, makeAction(record, "once", -1));
    runOn(node, makeAction(recordAndFinish, "self", 0));
    addChild(root, node);
    frameTicks -= 16;
    frame();  // ... and first drawn in it: dt 0
    frame();
    frame();
    EXPECT_EQ((std::vector<std::string>{"once", "self"}), calls);
    EXPECT_EQ(0.0, elapsedSeen[0]);
}

TEST_F(SceneTest, FirstTickMeasuresFromTheFrameTheNodeWasCreatedIn) {
    SceneNode* node = child(root);  // created at 1000
    runOn(node, makeAction(record, "a", 0));
    frame(40);
    frame(16);
    ASSERT_EQ(2u, elapsedSeen.size());
    EXPECT_EQ(40.0, elapsedSeen[0]);
    EXPECT_EQ(56.0, elapsedSeen[1]);
}

TEST_F(SceneTest, CommandsPauseResumeAndStopTaggedActions) {
    SceneNode* node = child(root);
    runOn(node, makeAction(record, "tagged", 0, 7));
    runOn(node, makeAction(record, "other", 0, 8));
    int pause = addGroup(&node->actions);
    addCommand(&node->actions, 7, COMMAND_PAUSE);
    int resume = addGroup(&node->actions);
    addCommand(&node->actions, 7, COMMAND_RESUME);
    int stop = addGroup(&node->actions);
    addCommand(&node->actions, 7, COMMAND_STOP);

    frame();
    activateGroup(&node->actions, pause);
    calls.clear();
    frame();
    frame();
    EXPECT_EQ((std::vector<std::string>{"other", "other"}), calls);
    EXPECT_EQ(16.0, node->runner.running.front().total) << "a paused action gains no time";

    activateGroup(&node->actions, resume);
    calls.clear();
    elapsedSeen.clear();
    frame();
    EXPECT_EQ((std::vector<std::string>{"tagged", "other"}), calls);
    EXPECT_EQ(32.0, elapsedSeen[0]) << "it continues where it stopped";

    activateGroup(&node->actions, pause);
    activateGroup(&node->actions, stop);
    calls.clear();
    frame();
    EXPECT_EQ((std::vector<std::string>{"other"}), calls) << "a stopped paused action is removed uncalled";
    EXPECT_EQ(1u, node->runner.running.size());
}

TEST_F(SceneTest, LinkedGroupsStartAfterTheGroupsOwnActionsInLinkOrder) {
    SceneNode* node = child(root);
    ActionSet* set = &node->actions;
    addGroup(set);
    addAction(set, makeAction(record, "own", -1));
    addGroup(set);
    addAction(set, makeAction(record, "first link", -1));
    addGroup(set);
    addAction(set, makeAction(record, "second link", -1));
    set->currentGroup = 0;
    addLink(set, set, 1);
    addLink(set, set, 2);
    activateGroup(set, 0);
    activateGroup(set, 99);  // no such group: ignored
    frame();
    EXPECT_EQ((std::vector<std::string>{"own", "first link", "second link"}), calls);
}

namespace {
SceneNode* activatingNode = nullptr;
void activateGroupOne(void*) {
    record(const_cast<char*>("starter"));
    activateGroup(&activatingNode->actions, 1);
}
}  // namespace

TEST_F(SceneTest, ActionsStartedDuringATickRunInTheSamePassWithTheSameTime) {
    SceneNode* node = child(root);
    activatingNode = node;
    addGroup(&node->actions);
    addAction(&node->actions, makeAction(activateGroupOne, "", -1));
    addGroup(&node->actions);
    addAction(&node->actions, makeAction(record, "started", -1));
    activateGroup(&node->actions, 0);
    frame(16);
    EXPECT_EQ((std::vector<std::string>{"starter", "started"}), calls);
    EXPECT_EQ(16.0, elapsedSeen[1]);
}

namespace {
SceneNode* growingParent = nullptr;
void addRecordingChild(void*) {
    SceneNode* node = createNode();
    runOn(node, makeAction(record, "new child", 0));
    addChild(growingParent, node);
}
}  // namespace

TEST_F(SceneTest, ChildAddedDuringItsParentsTickIsDrawnInTheSameFrame) {
    growingParent = child(root);
    runOn(growingParent, makeAction(addRecordingChild, "", -1));
    frame();
    EXPECT_EQ((std::vector<std::string>{"new child"}), calls);
}

namespace {
std::vector<float> childX;  // model-view x translation when each child is drawn
void recordChildMatrix(int phase, void*) {
    if (phase != PHASE_BEFORE_CHILD) return;
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    childX.push_back(m[12]);
    childX.push_back(m[0]);
}
void pushOffset(void*) { currentAction->target->x += 5.0; }
}  // namespace

TEST_F(SceneTest, ActionOffsetMovesChildrenForThatFrameOnly) {
    SceneNode* node = child(root);
    setPosition(node, 2.0, 0.0, 0.0);
    child(node);
    addFrameCallback(node, recordChildMatrix, nullptr);
    runOn(node, makeAction(pushOffset, "", -1));
    childX.clear();
    frame();
    frame();
    ASSERT_EQ(4u, childX.size());
    EXPECT_FLOAT_EQ(7.0f, childX[0]);
    EXPECT_FLOAT_EQ(2.0f, childX[2]) << "the offset is rebuilt from zero each frame";
}

TEST_F(SceneTest, ScaleReachesChildrenOnlyWhenAskedTo) {
    SceneNode* node = child(root);
    child(node);
    addFrameCallback(node, recordChildMatrix, nullptr);
    setScale(node, 2.0, 2.0, 2.0);
    childX.clear();
    frame();
    node->scaleChildren = true;
    frame();
    ASSERT_EQ(4u, childX.size());
    EXPECT_FLOAT_EQ(1.0f, childX[1]);
    EXPECT_FLOAT_EQ(2.0f, childX[3]);

    scaleBy(node, 0.1, 0.1, 0.1);
    EXPECT_DOUBLE_EQ(2.1, node->transform.sx) << "scaleBy adds";
}

namespace {
int32_t onceParam = 0;
SceneNode* onceNode = nullptr;
void openScreen(void*) {
    onceParam = currentAction->iparam1;
    onceNode = currentNode;
    calls.push_back("screen");
}
}  // namespace

TEST_F(SceneTest, RunOnceBuildsUnderTheGameLayerExactlyOnce) {
    gameLayer = child(root);
    runOnce(openScreen, 3);
    frame();
    frame();
    EXPECT_EQ((std::vector<std::string>{"screen"}), calls);
    EXPECT_EQ(3, onceParam);
    ASSERT_EQ(1u, gameLayer->children.size());
    EXPECT_EQ(gameLayer->children[0], onceNode) << "the callback's node hangs under the game layer and stays";
}

TEST_F(SceneTest, ColourWithoutModelIsOnlyStored) {
    SceneNode* node = child(root);
    setColor(node, 1.0, 0.0, 0.0);
    setAlpha(node, 0.5);
    EXPECT_EQ(1.0, node->r);
    EXPECT_EQ(0.0, node->g);
    EXPECT_EQ(0.5, node->alpha);
    EXPECT_TRUE(node->meshes.empty());
}
