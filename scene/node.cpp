// Scene nodes: transforms, colours, models, frame callbacks, and the
// recursive draw that is also the update.
#include "scene/scene.h"

#include "resources/resources.h"
#include "shell/shell.h"

#include <GL/gl.h>

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

SceneNode* currentNode = nullptr;

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

// A component counts as set unless it compares equal to 0, so NaN is issued.
static bool isSet(double v) { return !(v == 0.0); }

static void callFrameCallbacks(SceneNode* node, int phase) {
    for (size_t i = 0; i < node->frameCallbacks.size(); ++i)
        node->frameCallbacks[i].fn(phase, node->frameCallbacks[i].userData);
}

static void drawOwnMeshes(SceneNode* node) {
    for (int i = 0; i < node->meshCount; ++i) {
        if (node->visible)
            drawMesh(node->meshes[i]);
        else
            captureMeshMatrix(node->meshes[i]);
    }
}

static void releaseModels(SceneNode* node) {
    for (size_t i = 0; i < node->archiveNames.size(); ++i)
        releaseArchive(node->archiveNames[i].c_str());
    node->archiveNames.clear();
    for (int i = 0; i < node->meshCount; ++i) {
        freeMesh(node->meshes[i]);
        delete node->meshes[i];
    }
    node->meshes.clear();
    node->meshCount = 0;
}

static void pushColourToMeshes(SceneNode* node, double r, double g, double b, double a) {
    for (int i = 0; i < node->meshCount; ++i) setMeshColor(node->meshes[i], r, g, b, a);
}

// Destroys closed children one at a time, rescanning from the start after each.
static void removeClosedChildren(SceneNode* node) {
    for (;;) {
        size_t i = 0;
        while (i < node->children.size() && !node->children[i]->closed) ++i;
        if (i == node->children.size()) return;
        SceneNode* child = node->children[i];
        destroyNode(child);
        delete child;
        node->children.erase(node->children.begin() + i);
    }
}

// ---------------------------------------------------------------------------
// Transforms
// ---------------------------------------------------------------------------

void resetTransform(Transform* t) {
    t->x = t->y = t->z = 0.0;
    t->ax = t->ay = t->az = 0.0;
    t->sx = t->sy = t->sz = 1.0;
}

void clearTransform(Transform* t) {
    resetTransform(t);
    t->scaleInUse = false;
}

void applyTransform(const Transform* t) {
    if (isSet(t->x) || isSet(t->y) || isSet(t->z))
        glTranslatef((float)t->x, (float)t->y, (float)t->z);
    if (isSet(t->ax)) glRotatef((float)t->ax, 1.0f, 0.0f, 0.0f);
    if (isSet(t->ay)) glRotatef((float)t->ay, 0.0f, 1.0f, 0.0f);
    if (isSet(t->az)) glRotatef((float)t->az, 0.0f, 0.0f, 1.0f);
}

void applyScale(const Transform* t) { glScaled(t->sx, t->sy, t->sz); }

// ---------------------------------------------------------------------------
// Nodes: lifetime
// ---------------------------------------------------------------------------

SceneNode* createNode() {
    SceneNode* node = new SceneNode();
    clearTransform(&node->transform);
    initRunner(&node->runner);
    node->actions.currentGroup = -1;
    node->actions.runner = &node->runner;
    node->closing = false;
    node->closed = false;
    node->r = node->g = node->b = 1.0;
    node->alpha = 1.0;
    node->visible = true;
    node->scaleChildren = false;
    node->meshCount = 0;
    node->loaded = false;
    return node;
}

void destroyNode(SceneNode* node) {
    releaseModels(node);
    node->frameCallbacks.clear();
    node->children.clear();
    node->runner.running.clear();
    node->actions.groups.clear();
    node->actions.currentGroup = -1;
}

void closeNode(SceneNode* node) { node->closing = true; }

void addChild(SceneNode* node, SceneNode* child) { node->children.push_back(child); }

// ---------------------------------------------------------------------------
// Nodes: placement and colour
// ---------------------------------------------------------------------------

void setPosition(SceneNode* node, double x, double y, double z) {
    node->transform.x = x;
    node->transform.y = y;
    node->transform.z = z;
}

void moveBy(SceneNode* node, double dx, double dy, double dz) {
    node->transform.x += dx;
    node->transform.y += dy;
    node->transform.z += dz;
}

void setRotation(SceneNode* node, double ax, double ay, double az) {
    node->transform.ax = ax;
    node->transform.ay = ay;
    node->transform.az = az;
}

void rotateBy(SceneNode* node, double dx, double dy, double dz) {
    node->transform.ax += dx;
    node->transform.ay += dy;
    node->transform.az += dz;
}

void setScale(SceneNode* node, double sx, double sy, double sz) {
    node->transform.sx = sx;
    node->transform.sy = sy;
    node->transform.sz = sz;
    node->transform.scaleInUse = true;
}

void scaleBy(SceneNode* node, double dx, double dy, double dz) {
    node->transform.sx += dx;
    node->transform.sy += dy;
    node->transform.sz += dz;
    node->transform.scaleInUse = true;
}

void setColor(SceneNode* node, double r, double g, double b) {
    pushColourToMeshes(node, r, g, b, node->alpha);
    node->r = r;
    node->g = g;
    node->b = b;
}

void setAlpha(SceneNode* node, double a) {
    pushColourToMeshes(node, node->r, node->g, node->b, a);
    node->alpha = a;
}

void setColorAlpha(SceneNode* node, double r, double g, double b, double a) {
    pushColourToMeshes(node, r, g, b, a);
    node->r = r;
    node->g = g;
    node->b = b;
    node->alpha = a;
}

// ---------------------------------------------------------------------------
// Nodes: models, callbacks, drawing
// ---------------------------------------------------------------------------

void loadModel(SceneNode* node, const char* archiveName, const char* entryName) {
    node->archiveNames.push_back(archiveName);
    node->meshCount += readModel(archiveName, entryName, node->meshes);
    node->loaded = true;
}

void unloadModel(SceneNode* node) {
    releaseModels(node);
    node->loaded = false;
}

void addFrameCallback(SceneNode* node, FrameCallbackFn fn, void* userData) {
    FrameCallback callback = {fn, userData};
    node->frameCallbacks.push_back(callback);
}

void clearFrameCallbacks(SceneNode* node) { node->frameCallbacks.clear(); }

void drawNode(SceneNode* node) {
    currentNode = node;
    glPushMatrix();
    applyTransform(&node->transform);
    if (node->scaleChildren && node->transform.scaleInUse) applyScale(&node->transform);

    if (!node->closing) {
        tickRunner(&node->runner);
        if (node->loaded) {
            callFrameCallbacks(node, PHASE_BEFORE_MESHES);
            if (node->transform.scaleInUse && !node->scaleChildren) {
                glPushMatrix();
                applyScale(&node->transform);
                drawOwnMeshes(node);
                glPopMatrix();
            } else {
                drawOwnMeshes(node);
            }
            callFrameCallbacks(node, PHASE_AFTER_MESHES);
        }
    }

    removeClosedChildren(node);

    if (node->closing && node->children.empty()) {
        node->closed = true;
    } else {
        // Children appended while drawing are drawn in the same pass.
        for (size_t i = 0; i < node->children.size(); ++i) {
            SceneNode* child = node->children[i];
            if (node->closing) child->closing = true;
            callFrameCallbacks(node, PHASE_BEFORE_CHILD);
            drawNode(child);
            callFrameCallbacks(node, PHASE_AFTER_CHILD);
        }
    }
    glPopMatrix();
}

void drawNodeForPicking(SceneNode* node) {
    for (size_t i = 0; i < node->meshes.size(); ++i) drawMeshForPicking(node->meshes[i]);
}
