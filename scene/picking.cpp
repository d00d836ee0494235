// Picking: which pickable node lies under the mouse, found with OpenGL's
// selection mode in a 2 × 2 pixel region, one frame behind the drawing.
#include "scene/scene.h"

#include "resources/resources.h"
#include "shell/shell.h"

#include <GL/gl.h>
#include <GL/glu.h>

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

Picker picker;
bool dialogOpen = false;
bool innerDialogOpen = false;

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

enum { kWordsPerHit = 4 };

// The nearest hit among the records: smallest minimum depth (unsigned), the
// earlier record on a tie. Returns the hit's name, or -1 for none.
static long nearestHitName(const GLuint* buffer, GLint hits) {
    if (hits <= 0) return -1;
    GLuint bestDepth = buffer[1];
    GLuint bestName = buffer[3];
    for (GLint i = 1; i < hits; ++i) {
        const GLuint* record = buffer + i * kWordsPerHit;
        if (record[1] < bestDepth) {
            bestDepth = record[1];
            bestName = record[3];
        }
    }
    return (long)bestName;
}

// ---------------------------------------------------------------------------
// Candidates and queries
// ---------------------------------------------------------------------------

void addPickCandidate() { picker.candidates.push_back(currentNode); }

void pickableFrameCallback(int phase, void*) {
    if (phase == PHASE_BEFORE_MESHES) addPickCandidate();
}

bool isHovered() { return picker.hovered != nullptr && picker.hovered == currentNode; }

bool isHoveredInGame() { return isHovered() && !dialogOpen; }

bool isHoveredInDialog() { return isHovered() && dialogOpen && !innerDialogOpen; }

// ---------------------------------------------------------------------------
// Selection pass
// ---------------------------------------------------------------------------

void updatePicker() {
    glSelectBuffer(PICK_BUFFER_WORDS, picker.selectionBuffer);
    glRenderMode(GL_SELECT);
    glInitNames();
    glPushName(0);

    GLdouble savedProjection[16];
    GLint viewport[4];
    glGetDoublev(GL_PROJECTION_MATRIX, savedProjection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPickMatrix((GLdouble)mouseX, (GLdouble)(viewport[3] - mouseY), 2.0, 2.0, viewport);
    glMultMatrixd(savedProjection);
    glMatrixMode(GL_MODELVIEW);

    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    for (size_t i = 0; i < picker.candidates.size(); ++i) {
        glLoadName((GLuint)i);
        drawNodeForPicking(picker.candidates[i]);
    }
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glFlush();
    GLint hits = glRenderMode(GL_RENDER);

    picker.hovered = nullptr;
    long best = nearestHitName(picker.selectionBuffer, hits);
    if (best >= 0 && (size_t)best < picker.candidates.size()) picker.hovered = picker.candidates[(size_t)best];
    picker.candidates.clear();

    glMatrixMode(GL_PROJECTION);
    glLoadMatrixd(savedProjection);
    glMatrixMode(GL_MODELVIEW);
}
