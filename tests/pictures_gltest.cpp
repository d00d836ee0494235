// A picture built by the picture builder, shown by the game itself: the
// garden test picture is built into the scene's folder as page 7 and the
// game builds its page from it. Drawn with the engine's light and materials,
// every region shows its own colour at its label point and the outlines are
// dark over every boundary; the selection pass finds each region under its
// label point, painted or not.
#include "game/game.h"
#include "resources/resources.h"
#include "scene/scene.h"
#include "shell/shell.h"
#include "store/store.h"
#include "support/scene_harness.h"
#include "support/test_support.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// A region as the manifest lists it: key, colour number and label point.
struct LabelledRegion {
    int key;
    int colour;
    double x, y;
};

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

// Where the canvas lies in scene space (the picture node's placement).
const double kCanvasX = -11.716, kCanvasY = -14.607, kCanvasZ = 51.121;

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

std::string studioPath() {
    const char* tools = getenv("TINTARIA_TOOLS_DIR");
    return std::string(tools && *tools ? tools : TINTARIA_BINARY_DIR "/tools") + "/tintaria-studio";
}

// The regions of a manifest written by the builder.
std::vector<LabelledRegion> manifestRegions(const std::string& path) {
    std::vector<uint8_t> bytes = readWholeFile(path);
    std::string text(bytes.begin(), bytes.end());
    std::vector<LabelledRegion> regions;
    size_t at = text.find("\"regions\":");
    while (at != std::string::npos && (at = text.find("{\"key\":", at + 1)) != std::string::npos) {
        LabelledRegion r;
        const char* p = text.c_str() + at;
        r.key = atoi(p + 7);
        r.colour = atoi(strstr(p, "\"colour\":") + 9);
        sscanf(strstr(p, "\"label\":") + 8, " [%lf, %lf]", &r.x, &r.y);
        regions.push_back(r);
    }
    return regions;
}

// A colour of its own for every region, far apart from the others.
void distinctColour(int i, double rgb[3]) {
    static const double levels[5] = {0.15, 0.35, 0.55, 0.75, 0.95};
    rgb[0] = levels[i % 5];
    rgb[1] = levels[(i / 5) % 5];
    rgb[2] = levels[(i / 25) % 5];
}

class PicturePageTest : public SceneHarness {
protected:
    std::vector<LabelledRegion> regions;

    void SetUp() override {
        SceneHarness::SetUp();
        std::string command = "TINTARIA_PICTURES_SOURCES='" TINTARIA_FIXTURES_DIR "/pictures/garden' '" + studioPath() +
                              "' '" + dir + "' pictures > /dev/null 2>&1";
        int status = system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
        regions = manifestRegions(dir + "/page07.json");
        ASSERT_EQ(31u, regions.size());
        selectPage(*settings, 7);
    }

    // The window position of a canvas point, origin bottom-left.
    void windowPoint(double cx, double cy, int* x, int* y) {
        GLdouble modelView[16], projection[16], wx, wy, wz;
        GLint viewport[4];
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glTranslatef(0.0f, 0.0f, -100.0f);
        glGetDoublev(GL_MODELVIEW_MATRIX, modelView);
        glGetDoublev(GL_PROJECTION_MATRIX, projection);
        glGetIntegerv(GL_VIEWPORT, viewport);
        gluProject(cx + kCanvasX, cy + kCanvasY, kCanvasZ, modelView, projection, viewport, &wx, &wy, &wz);
        *x = (int)std::floor(wx);
        *y = (int)std::floor(wy);
    }

    SceneNode* regionNode(int key) {
        for (SceneNode* node : pageHolder->children[0]->children)
            if (node->runner.running.front().iparam1 == key) return node;
        return nullptr;
    }

    // Draws the scene as a frame does and runs the selection pass with the pointer at a canvas point.
    SceneNode* pickAt(double cx, double cy) {
        int x, y;
        windowPoint(cx, cy, &x, &y);
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        mouseX = x;
        mouseY = viewport[3] - y;
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glLoadIdentity();
        glTranslatef(0.0f, 0.0f, -100.0f);
        drawNode(sceneRoot);
        flushDeferredMeshes();
        updatePicker();
        return picker.hovered;
    }
};

}  // namespace

TEST_F(PicturePageTest, EveryRegionShowsItsColourAtItsLabelAndOutlinesAreDark) {
    settings->numbersMode = false;   // free colours: any region may take any colour
    std::map<int, int> indexOfKey;
    for (size_t i = 0; i < regions.size(); ++i) {
        double rgb[3];
        distinctColour((int)i, rgb);
        paintRegion(*settings, regions[i].key, rgb[0], rgb[1], rgb[2], regions[i].colour - 1);
        indexOfKey[regions[i].key] = (int)i;
    }
    createScene();
    for (int i = 0; i < 40; ++i) frame(nullptr, false, 0, 250);   // let the colours settle
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    frame();

    // The light scales every colour alike: measure it on the first region.
    int x, y;
    uint8_t pixel[3];
    windowPoint(regions[0].x, regions[0].y, &x, &y);
    readBackPixel(x, y, pixel);
    double first[3];
    distinctColour(0, first);
    double light = (pixel[0] + pixel[1] + pixel[2]) / (255.0 * (first[0] + first[1] + first[2]));
    ASSERT_GT(light, 0.5);
    for (size_t i = 0; i < regions.size(); ++i) {
        double rgb[3];
        distinctColour((int)i, rgb);
        windowPoint(regions[i].x, regions[i].y, &x, &y);
        readBackPixel(x, y, pixel);
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(std::min(255.0, 255.0 * rgb[c] * light), pixel[c], 14.0)
                << "region " << regions[i].key << " channel " << c << " at " << regions[i].x << ", " << regions[i].y;
    }

    // Outlines are dark on the canvas edge and on the sun's rim (an ellipse around (25, 15), radii 2.5 and 2).
    const double rims[][2] = {{15.0, 0.02}, {25.0, 17.0}, {22.5, 15.0}};
    for (const double* p : rims) {
        windowPoint(p[0], p[1], &x, &y);
        readBackPixel(x, y, pixel);
        EXPECT_LT(pixel[0] + pixel[1] + pixel[2], 3 * 110) << "outline at " << p[0] << ", " << p[1];
    }
}

TEST_F(PicturePageTest, TheSelectionPassFindsEveryRegionUnderItsLabelPaintedOrNot) {
    settings->numbersMode = true;
    paintRegion(*settings, regions[3].key, 0, 0, 0, regions[3].colour - 1);
    createScene();
    frame();
    frame();
    for (const LabelledRegion& r : regions) {
        SceneNode* expected = regionNode(r.key);
        ASSERT_NE(nullptr, expected) << r.key;
        EXPECT_EQ(expected, pickAt(r.x, r.y)) << "region " << r.key << " at " << r.x << ", " << r.y
                                               << (expected->visible ? " (painted)" : " (not painted)");
    }
    EXPECT_TRUE(regionNode(regions[3].key)->visible);
    EXPECT_FALSE(regionNode(regions[4].key)->visible);
    // Numbers and outlines: two models in the overlay, after the picture.
    ASSERT_EQ(2u, pageHolder->children.size());
    EXPECT_EQ(2, pageHolder->children[1]->meshCount);
}
