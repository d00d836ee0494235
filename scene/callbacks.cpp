// Ready-made callbacks: delayed closing, offsets that swing, slide, ease and
// spin, lasting motion and rotation, a light at the node, and frame callbacks
// that change OpenGL state around a node.
#include "scene/scene.h"

#include <GL/gl.h>
#include <cmath>

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

// Moves a transform along the axis in iparam1 (0 X, 1 Y, 2 Z; others do nothing).
static void moveAlongAxis(Transform* t, int axis, double amount) {
    if (axis == 0) t->x += amount;
    else if (axis == 1) t->y += amount;
    else if (axis == 2) t->z += amount;
}

static void turnAboutAxis(Transform* t, int axis, double degrees) {
    if (axis == 0) t->ax += degrees;
    else if (axis == 1) t->ay += degrees;
    else if (axis == 2) t->az += degrees;
}

// ---------------------------------------------------------------------------
// Action callbacks
// ---------------------------------------------------------------------------

void closeAfterDelayAction(void*) {
    if (currentAction->elapsed > currentAction->param1) closeNode(currentNode);
}

void swingOffsetAction(void*) {
    const ActionDesc* a = currentAction;
    moveAlongAxis(a->target, a->iparam1, a->param1 * sin(a->elapsed * a->param2 / 1000.0 + a->param3));
}

void slideOffsetAction(void*) {
    const ActionDesc* a = currentAction;
    moveAlongAxis(a->target, a->iparam1, a->elapsed * a->param1 / 1000.0);
}

void easeOffsetAction(void*) {
    const ActionDesc* a = currentAction;
    moveAlongAxis(a->target, a->iparam1, a->param1 * (1.0 - exp(a->elapsed / 1000.0 * a->param2)));
}

void moveAtSpeedAction(void*) {
    ActionDesc* a = currentAction;
    moveAlongAxis(&currentNode->transform, a->iparam1, a->elapsed * a->param1 / 1000.0);
    a->elapsed = 0.0;
}

void spinOffsetAction(void*) {
    const ActionDesc* a = currentAction;
    turnAboutAxis(a->target, a->iparam1, a->elapsed * a->param1 / 1000.0 + a->param2);
}

void turnAtSpeedAction(void*) {
    ActionDesc* a = currentAction;
    turnAboutAxis(&currentNode->transform, a->iparam1, a->elapsed * a->param1 / 1000.0 + a->param2);
    a->elapsed = 0.0;
}

void swingRotationAction(void*) {
    const ActionDesc* a = currentAction;
    turnAboutAxis(a->target, a->iparam1, a->param1 * sin(a->elapsed * a->param2 / 1000.0 + a->param3));
}

void lightAtNodeAction(void*) {
    static const GLfloat origin[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    int light = currentAction->iparam1;
    if (light >= 1 && light <= 4) glLightfv(GL_LIGHT0 + light, GL_POSITION, origin);
}

// ---------------------------------------------------------------------------
// Frame callbacks
// ---------------------------------------------------------------------------

void billboardFrameCallback(int phase, void*) {
    if (phase == PHASE_BEFORE_MESHES) {
        glPushMatrix();
        GLfloat m[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, m);
        m[0] = m[5] = m[10] = 1.0f;
        m[1] = m[2] = m[4] = m[6] = m[8] = m[9] = 0.0f;
        glLoadMatrixf(m);
    } else if (phase == PHASE_AFTER_MESHES) {
        glPopMatrix();
    }
}

void noDepthFrameCallback(int phase, void*) {
    if (phase == PHASE_BEFORE_MESHES || phase == PHASE_BEFORE_CHILD) glDisable(GL_DEPTH_TEST);
    else glEnable(GL_DEPTH_TEST);
}

void unlitFrameCallback(int phase, void*) {
    if (phase == PHASE_BEFORE_MESHES || phase == PHASE_BEFORE_CHILD) glDisable(GL_LIGHTING);
    else glEnable(GL_LIGHTING);
}
