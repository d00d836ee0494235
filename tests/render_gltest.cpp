// The window and the frame through the real renderer: fixed state, view
// geometry, the colour read back under the mouse, meshes opaque and
// transparent, shared textures and the selection pass.
#include "resources/resources.h"
#include "scene/scene.h"
#include "shell/shell.h"
#include "support/test_support.h"

#include <GL/gl.h>
#include <SDL/SDL.h>
#include <gtest/gtest.h>
#include <cmath>

namespace {

class RenderTest : public ::testing::Test {
protected:
    std::string dir;
    std::string pak;

    void SetUp() override {
        testRenderer();
        dir = makeTempDir("render");
        pak = dir + "/test.pak";
        sceneRoot = createNode();
        cursorRoot = createNode();
        dialogOpen = innerDialogOpen = false;
        mouseX = renderer->width / 2;
        mouseY = renderer->height / 2;
    }
    void TearDown() override {
        destroyTree(sceneRoot);
        destroyTree(cursorRoot);
        sceneRoot = cursorRoot = nullptr;
        picker.hovered = nullptr;
        removeTree(dir);
    }
    static void destroyTree(SceneNode* node) {
        for (SceneNode* child : node->children) destroyTree(child);
        destroyNode(node);
        delete node;
    }
    SceneNode* modelNode(SceneNode* parent, const char* entry) {
        SceneNode* node = createNode();
        loadModel(node, pak.c_str(), entry);
        addChild(parent, node);
        return node;
    }
    // Draws the scene layer and its transparent pass, as the frame does before the read-back.
    void drawScene() {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glLoadIdentity();
        glTranslatef(0.0f, 0.0f, -100.0f);
        drawNode(sceneRoot);
        flushDeferredMeshes();
    }
    void centre(uint8_t rgb[3]) { readBackPixel(renderer->width / 2, renderer->height / 2, rgb); }
};

void expectColour(const uint8_t rgb[3], int r, int g, int b, const char* what) {
    EXPECT_NEAR(r, rgb[0], 2) << what;
    EXPECT_NEAR(g, rgb[1], 2) << what;
    EXPECT_NEAR(b, rgb[2], 2) << what;
}

}  // namespace

TEST_F(RenderTest, ViewGeometryFollowsTheDesktopAspect) {
    ASSERT_EQ(16 * renderer->height, 9 * renderer->width) << "the test display is 16:9";
    EXPECT_NEAR(41.42, viewHalfHeight(renderer, 100), 0.01);
    EXPECT_NEAR(73.64, viewHalfWidth(renderer, 100), 0.01);
    EXPECT_NEAR(-16.15, viewHalfHeight(renderer, -39), 0.01) << "the sign of the depth is kept";

    float projection[16], modelView[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    ASSERT_TRUE(perspectiveMatrix(45, 4.0f / 3.0f, 0.1f, 250, projection));
    int viewport[4] = {0, 0, 1024, 768};
    Renderer fourThree = Renderer();
    ASSERT_TRUE(unProject(0, 0, -1, modelView, projection, viewport, fourThree.nearCorner));
    EXPECT_NEAR(55.23, viewHalfWidth(&fourThree, 100), 0.01);
}

TEST_F(RenderTest, DegeneratePerspectiveLeavesTheMatrixAlone) {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    GLfloat before[16], after[16];
    glGetFloatv(GL_PROJECTION_MATRIX, before);
    setPerspective(45, 0.0f, 0.1f, 250);
    setPerspective(45, 1.0f, 5.0f, 5.0f);
    setPerspective(0, 1.0f, 0.1f, 250);
    glGetFloatv(GL_PROJECTION_MATRIX, after);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(before[i], after[i]) << i;
}

TEST_F(RenderTest, FrameReadsTheSceneColourUnderTheMouseNotTheCursor) {
    ASSERT_TRUE(writeTestArchive(pak, {{"green", modelBytes({quadMesh(-10, -10, 10, 10, 0)})},
                                       {"top", modelBytes({quadMesh(-80, 30, 80, 50, 0)})}}));
    setColor(modelNode(sceneRoot, "green"), 0.0, 1.0, 0.0);
    setColor(modelNode(cursorRoot, "green"), 1.0, 0.0, 1.0);  // the brush over the same spot
    setColor(modelNode(sceneRoot, "top"), 0.0, 0.0, 1.0);

    renderFrame();
    EXPECT_NEAR(0.0, pickedColor[0], 0.01);
    EXPECT_NEAR(1.0, pickedColor[1], 0.01);
    EXPECT_NEAR(0.0, pickedColor[2], 0.01);

    mouseY = 0;  // the topmost row is inside the window too
    renderFrame();
    EXPECT_NEAR(1.0, pickedColor[2], 0.01);
    mouseY = renderer->height - 1;
    renderFrame();
    EXPECT_NEAR(0.0, pickedColor[0] + pickedColor[1] + pickedColor[2], 0.01) << "the bottom row is clear";
}

TEST_F(RenderTest, OpaqueOverrideIgnoresAlphaAndRestoresTheCurrentColour) {
    ASSERT_TRUE(writeTestArchive(pak, {{"quad", modelBytes({quadMesh(-10, -10, 10, 10, 0)})}}));
    SceneNode* node = modelNode(sceneRoot, "quad");
    setColor(node, 1.0, 0.0, 0.0);
    setAlpha(node, 0.2);
    EXPECT_EQ(0.2, node->meshes[0]->a);
    EXPECT_EQ(1.0, node->meshes[0]->r);
    glColor4f(0.1f, 0.2f, 0.3f, 0.4f);
    drawScene();
    uint8_t rgb[3];
    centre(rgb);
    expectColour(rgb, 255, 0, 0, "fully opaque red");
    GLfloat current[4];
    glGetFloatv(GL_CURRENT_COLOR, current);
    EXPECT_FLOAT_EQ(0.3f, current[2]) << "the colour before the draw is back";
}

TEST_F(RenderTest, TransparentMeshWaitsForTheDeferredPassAndBlends) {
    ASSERT_TRUE(writeTestArchive(pak, {{"back", modelBytes({quadMesh(-10, -10, 10, 10, -1)})},
                                       {"glass", modelBytes({quadMesh(-5, -5, 5, 5, 1, "none", true)})},
                                       {"late", modelBytes({quadMesh(-2, -2, 2, 2, 0)})}}));
    modelNode(sceneRoot, "back");
    SceneNode* glass = modelNode(sceneRoot, "glass");
    setColorAlpha(glass, 1.0, 0.0, 0.0, 0.5);

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -100.0f);
    drawNode(sceneRoot);
    uint8_t rgb[3];
    centre(rgb);
    expectColour(rgb, 255, 255, 255, "not drawn during the traversal");
    ASSERT_EQ(1u, deferredMeshes.meshes.size());
    flushDeferredMeshes();
    centre(rgb);
    expectColour(rgb, 255, 128, 128, "blended at half opacity");
    EXPECT_TRUE(deferredMeshes.meshes.empty());
    EXPECT_FALSE(glIsEnabled(GL_BLEND));

    // Depth writes were off: an opaque mesh behind the glass still draws.
    SceneNode* late = modelNode(sceneRoot, "late");
    setColor(late, 0.0, 0.0, 1.0);
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -100.0f);
    drawNode(late);
    centre(rgb);
    expectColour(rgb, 0, 0, 255, "the glass left no depth behind");
}

TEST_F(RenderTest, MeshesNamingOneImageShareOneTextureUntilTheLastIsFreed) {
    const uint32_t pixels[4] = {0xFF0000, 0xFF0000, 0x0000FF, 0x0000FF};
    std::vector<MeshSource> two = {quadMesh(-10, -10, 0, 10, 0, "img"), quadMesh(0, -10, 10, 10, 0, "img")};
    std::vector<MeshSource> wide = {quadMesh(-1, -1, 1, 1, 0, "wide")};
    std::vector<uint32_t> widePixels(256 * 128, 0x00FF00);
    ASSERT_TRUE(writeTestArchive(pak, {{"img", bmpImage(4, 1, pixels)},
                                       {"wide", bmpImage(256, 128, widePixels.data())},
                                       {"two", modelBytes(two)},
                                       {"wide model", modelBytes(wide)},
                                       {"single", modelBytes({quadMesh(-1, -1, 1, 1, 0, "img")})},
                                       {"broken", modelBytes({quadMesh(-1, -1, 1, 1, 0, "two")})}}));
    SceneNode* node = modelNode(sceneRoot, "two");
    ASSERT_EQ(2, node->meshCount);
    unsigned texture = node->meshes[0]->texture;
    ASSERT_NE(0u, texture);
    EXPECT_EQ(texture, node->meshes[1]->texture);
    EXPECT_EQ(3, archiveReferences(pak.c_str())) << "one for the model, one per texture reference";

    drawScene();
    // Within the left quad (x from -10 to 0 units), a quarter and three quarters across.
    float pixelsPerUnit = renderer->width / 2 / viewHalfWidth(renderer, 100);
    uint8_t left[3], right[3];
    readBackPixel(renderer->width / 2 - (int)lroundf(7.5f * pixelsPerUnit), renderer->height / 2, left);
    readBackPixel(renderer->width / 2 - (int)lroundf(2.5f * pixelsPerUnit), renderer->height / 2, right);
    expectColour(left, 255, 0, 0, "the image's left texel");
    expectColour(right, 0, 0, 255, "the image's right texel");

    SceneNode* other = modelNode(sceneRoot, "wide model");
    glBindTexture(GL_TEXTURE_2D, other->meshes[0]->texture);
    GLint w = 0, h = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    EXPECT_EQ(256, w);
    EXPECT_EQ(128, h);

    SceneNode* broken = modelNode(sceneRoot, "broken");  // names an entry that is no image
    EXPECT_EQ(0u, broken->meshes[0]->texture);

    SceneNode* single = modelNode(sceneRoot, "single");
    EXPECT_EQ(texture, single->meshes[0]->texture);
    unloadModel(node);
    EXPECT_TRUE(glIsTexture(texture)) << "another mesh still uses it";
    unloadModel(single);
    EXPECT_FALSE(glIsTexture(texture)) << "deleted with the last mesh";
    EXPECT_EQ(4, archiveReferences(pak.c_str())) << "the wide and the broken model hold two each";
}

namespace {

// Per node: whether its watcher saw it hovered in the last frame.
struct HoverSeen {
    bool hovered, inGame, inDialog;
};

void watchHover(void* user) {
    HoverSeen* seen = static_cast<HoverSeen*>(user);
    seen->hovered = isHovered();
    seen->inGame = isHoveredInGame();
    seen->inDialog = isHoveredInDialog();
}

SceneNode* pickableNode(SceneNode* parent, const std::string& pak, const char* entry, HoverSeen* seen) {
    SceneNode* node = createNode();
    loadModel(node, pak.c_str(), entry);
    addFrameCallback(node, pickableFrameCallback, nullptr);
    ActionDesc watcher = ActionDesc();
    initAction(&watcher, 1, true, 0);
    setActionCallback(&watcher, watchHover, seen);
    addGroup(&node->actions);
    addAction(&node->actions, watcher);
    activateGroup(&node->actions, 0);
    addChild(parent, node);
    return node;
}

}  // namespace

TEST_F(RenderTest, NearestPickableWinsEvenWhenHiddenAndTheFirstWinsATie) {
    ASSERT_TRUE(writeTestArchive(pak, {{"far", modelBytes({quadMesh(-10, -10, 10, 10, 0)})},
                                       {"near", modelBytes({quadMesh(-10, -10, 10, 10, 5)})},
                                       {"same", modelBytes({quadMesh(-10, -10, 10, 10, 0)})}}));
    HoverSeen far = {}, nearSeen = {}, tie = {};
    pickableNode(sceneRoot, pak, "far", &far);
    SceneNode* hidden = pickableNode(sceneRoot, pak, "near", &nearSeen);
    hidden->visible = false;
    pickableNode(sceneRoot, pak, "same", &tie);

    renderFrame();  // the pass at the end of this frame ...
    renderFrame();  // ... is what the watchers see in the next
    EXPECT_TRUE(nearSeen.hovered) << "a hidden node nearer to the eye is hit";
    EXPECT_FALSE(far.hovered);
    EXPECT_FALSE(tie.hovered);

    closeNode(hidden);
    renderFrame();  // the closing node is no candidate from now on
    renderFrame();
    EXPECT_TRUE(far.hovered) << "at equal depth the node drawn first wins";
    EXPECT_FALSE(tie.hovered);
    EXPECT_TRUE(far.inGame);
    EXPECT_FALSE(far.inDialog);

    dialogOpen = true;
    renderFrame();
    EXPECT_FALSE(far.inGame) << "the main screen ignores the mouse under a dialog";
    EXPECT_TRUE(far.inDialog);
    innerDialogOpen = true;
    renderFrame();
    EXPECT_FALSE(far.inDialog) << "a dialog on top silences the one below";

    mouseX = 5;  // away from every node
    renderFrame();
    renderFrame();
    EXPECT_FALSE(far.hovered);
    EXPECT_EQ(nullptr, picker.hovered);
}

TEST_F(RenderTest, NodeWithoutModelNeverBecomesACandidate) {
    HoverSeen seen = {};
    SceneNode* node = createNode();
    addFrameCallback(node, pickableFrameCallback, nullptr);
    addChild(sceneRoot, node);
    renderFrame();
    renderFrame();
    EXPECT_EQ(nullptr, picker.hovered);
    EXPECT_FALSE(seen.hovered);
}

TEST_F(RenderTest, ModelReferencesAreHeldPerLoadAndReleasedOnDestroy) {
    ASSERT_TRUE(writeTestArchive(pak, {{"quad", modelBytes({quadMesh(-1, -1, 1, 1, 0, "")})}}));
    SceneNode* node = createNode();
    loadModel(node, pak.c_str(), "quad");
    loadModel(node, pak.c_str(), "quad");
    loadModel(node, pak.c_str(), "no such entry");
    EXPECT_EQ(2, node->meshCount);
    EXPECT_TRUE(node->loaded);
    EXPECT_EQ(5, archiveReferences(pak.c_str())) << "three models, two texture look-ups";
    destroyNode(node);
    delete node;
    EXPECT_EQ(0, archiveReferences(pak.c_str())) << "every load released, the archive freed";
}

TEST_F(RenderTest, BillboardTurnsMeshesToTheViewerAndLightFollowsItsNode) {
    ASSERT_TRUE(writeTestArchive(pak, {{"quad", modelBytes({quadMesh(-10, -10, 10, 10, 0)})}}));
    SceneNode* turned = modelNode(sceneRoot, "quad");
    setRotation(turned, 0.0, 90.0, 0.0);  // edge-on to the viewer
    setColor(turned, 1.0, 1.0, 0.0);
    drawScene();
    uint8_t rgb[3];
    centre(rgb);
    expectColour(rgb, 0, 0, 0, "edge-on: nothing to see");

    addFrameCallback(turned, billboardFrameCallback, nullptr);
    drawScene();
    centre(rgb);
    expectColour(rgb, 255, 255, 0, "billboarded: facing the viewer at the same place");

    SceneNode* lamp = createNode();
    setPosition(lamp, 3.0, 4.0, 5.0);
    ActionDesc place = ActionDesc();
    initAction(&place, 1, true, -1);
    setActionParams(&place, lightAtNodeAction, 1, 0, 0, 0);
    addGroup(&lamp->actions);
    addAction(&lamp->actions, place);
    activateGroup(&lamp->actions, 0);
    addChild(sceneRoot, lamp);
    drawScene();
    GLfloat position[4];
    glGetLightfv(GL_LIGHT1, GL_POSITION, position);
    EXPECT_FLOAT_EQ(3.0f, position[0]);
    EXPECT_FLOAT_EQ(4.0f, position[1]);
    EXPECT_FLOAT_EQ(-95.0f, position[2]) << "at the node, in eye coordinates";
    EXPECT_FLOAT_EQ(1.0f, position[3]) << "a positional light";
}

TEST_F(RenderTest, LightingCallbackLightsChildrenWithTheSceneLight) {
    MeshSource away = quadMesh(-10, -10, 10, 10, 0);
    for (size_t i = 2; i < away.normals.size(); i += 3) away.normals[i] = -1.0f;  // turned from the light
    ASSERT_TRUE(writeTestArchive(pak, {{"quad", modelBytes({away})}}));
    setupLight();
    GLfloat light[4] = {0, 0, 1, 0};
    glLightfv(GL_LIGHT1, GL_POSITION, light);  // OpenGL's default: from the viewer
    SceneNode* node = modelNode(sceneRoot, "quad");
    setColor(node, 0.5, 0.5, 0.5);
    drawScene();
    uint8_t unlit[3];
    centre(unlit);
    addFrameCallback(sceneRoot, lightingFrameCallback, nullptr);
    drawScene();
    uint8_t lit[3];
    centre(lit);
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING)) << "switched off again after the child";
    // Lit from behind: only the ambient terms, (global 0.2 + light 0.22) × 0.5.
    EXPECT_NEAR(128, unlit[0], 2);
    EXPECT_NEAR(54, lit[0], 2);
}

TEST_F(RenderTest, TintedMeshLeavesNoTintOnTheNextUnderTheLight) {
    ASSERT_TRUE(writeTestArchive(pak, {{"left", modelBytes({quadMesh(-10, -10, 0, 10, 0)})},
                                       {"right", modelBytes({quadMesh(0, -10, 10, 10, 0)})}}));
    setupLight();
    GLfloat light[4] = {0, 0, 1, 0};
    glLightfv(GL_LIGHT1, GL_POSITION, light);
    addFrameCallback(sceneRoot, lightingFrameCallback, nullptr);
    setColor(modelNode(sceneRoot, "left"), 0.2, 0.5, 0.95);
    modelNode(sceneRoot, "right");  // no colour of its own: plain white
    drawScene();
    uint8_t rgb[3];
    readBackPixel(renderer->width / 2 + 40, renderer->height / 2, rgb);
    expectColour(rgb, 255, 255, 255, "the white mesh after a tinted one");
}
