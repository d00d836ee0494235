// The window, the fixed OpenGL state every drawing relies on, and the
// perspective geometry that places interface elements against the edges.
#include "shell/shell.h"

#include "platform/platform.h"

#include <GL/gl.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__) && defined(__linux__)
#include <dlfcn.h>
#include <link.h>
#endif

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

static const float kFieldOfView = 45.0f;
static const float kNearPlane = 0.1f;
static const float kFarPlane = 250.0f;

// out = a × b for column-order 4 × 4 matrices.
static void multiplyMatrices(const float a[16], const float b[16], float out[16]) {
    for (int col = 0; col < 4; ++col)
        for (int row = 0; row < 4; ++row) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) sum += a[k * 4 + row] * b[col * 4 + k];
            out[col * 4 + row] = sum;
        }
}

// Inverse by cofactors; false when the determinant is 0.
static bool invertMatrix(const float m[16], float inv[16]) {
    float t[16];
    t[0] = m[5] * m[10] * m[15] - m[5] * m[11] * m[14] - m[9] * m[6] * m[15] + m[9] * m[7] * m[14] +
           m[13] * m[6] * m[11] - m[13] * m[7] * m[10];
    t[4] = -m[4] * m[10] * m[15] + m[4] * m[11] * m[14] + m[8] * m[6] * m[15] - m[8] * m[7] * m[14] -
           m[12] * m[6] * m[11] + m[12] * m[7] * m[10];
    t[8] = m[4] * m[9] * m[15] - m[4] * m[11] * m[13] - m[8] * m[5] * m[15] + m[8] * m[7] * m[13] +
           m[12] * m[5] * m[11] - m[12] * m[7] * m[9];
    t[12] = -m[4] * m[9] * m[14] + m[4] * m[10] * m[13] + m[8] * m[5] * m[14] - m[8] * m[6] * m[13] -
            m[12] * m[5] * m[10] + m[12] * m[6] * m[9];
    t[1] = -m[1] * m[10] * m[15] + m[1] * m[11] * m[14] + m[9] * m[2] * m[15] - m[9] * m[3] * m[14] -
           m[13] * m[2] * m[11] + m[13] * m[3] * m[10];
    t[5] = m[0] * m[10] * m[15] - m[0] * m[11] * m[14] - m[8] * m[2] * m[15] + m[8] * m[3] * m[14] +
           m[12] * m[2] * m[11] - m[12] * m[3] * m[10];
    t[9] = -m[0] * m[9] * m[15] + m[0] * m[11] * m[13] + m[8] * m[1] * m[15] - m[8] * m[3] * m[13] -
           m[12] * m[1] * m[11] + m[12] * m[3] * m[9];
    t[13] = m[0] * m[9] * m[14] - m[0] * m[10] * m[13] - m[8] * m[1] * m[14] + m[8] * m[2] * m[13] +
            m[12] * m[1] * m[10] - m[12] * m[2] * m[9];
    t[2] = m[1] * m[6] * m[15] - m[1] * m[7] * m[14] - m[5] * m[2] * m[15] + m[5] * m[3] * m[14] +
           m[13] * m[2] * m[7] - m[13] * m[3] * m[6];
    t[6] = -m[0] * m[6] * m[15] + m[0] * m[7] * m[14] + m[4] * m[2] * m[15] - m[4] * m[3] * m[14] -
           m[12] * m[2] * m[7] + m[12] * m[3] * m[6];
    t[10] = m[0] * m[5] * m[15] - m[0] * m[7] * m[13] - m[4] * m[1] * m[15] + m[4] * m[3] * m[13] +
            m[12] * m[1] * m[7] - m[12] * m[3] * m[5];
    t[14] = -m[0] * m[5] * m[14] + m[0] * m[6] * m[13] + m[4] * m[1] * m[14] - m[4] * m[2] * m[13] -
            m[12] * m[1] * m[6] + m[12] * m[2] * m[5];
    t[3] = -m[1] * m[6] * m[11] + m[1] * m[7] * m[10] + m[5] * m[2] * m[11] - m[5] * m[3] * m[10] -
           m[9] * m[2] * m[7] + m[9] * m[3] * m[6];
    t[7] = m[0] * m[6] * m[11] - m[0] * m[7] * m[10] - m[4] * m[2] * m[11] + m[4] * m[3] * m[10] +
           m[8] * m[2] * m[7] - m[8] * m[3] * m[6];
    t[11] = -m[0] * m[5] * m[11] + m[0] * m[7] * m[9] + m[4] * m[1] * m[11] - m[4] * m[3] * m[9] -
            m[8] * m[1] * m[7] + m[8] * m[3] * m[5];
    t[15] = m[0] * m[5] * m[10] - m[0] * m[6] * m[9] - m[4] * m[1] * m[10] + m[4] * m[2] * m[9] +
            m[8] * m[1] * m[6] - m[8] * m[2] * m[5];
    float det = m[0] * t[0] + m[1] * t[4] + m[2] * t[8] + m[3] * t[12];
    if (det == 0.0f) return false;
    for (int i = 0; i < 16; ++i) inv[i] = t[i] / det;
    return true;
}

static void fail(const char* format) {
    fprintf(stderr, format, SDL_GetError());
    exit(1);
}

static void setGlAttributes(int multisample) {
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, multisample ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, multisample ? 4 : 0);
    SDL_GL_SetAttribute(SDL_GL_ACCELERATED_VISUAL, multisample ? 1 : 0);
}

#if defined(__SANITIZE_ADDRESS__) && defined(__linux__)
// Under the leak checker the OpenGL driver stays loaded to the end: SDL_Quit
// would unload it, and blocks that only the driver's data pointed to would be
// reported as leaks at an address no suppression can name.
static int keepGraphicsDriverLoaded(struct dl_phdr_info* info, size_t, void*) {
    if (info->dlpi_name && strstr(info->dlpi_name, "_dri.so"))
        dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    return 0;
}
#endif

static void setFixedGlState() {
    glEnable(GL_TEXTURE_2D);
    glShadeModel(GL_SMOOTH);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glAlphaFunc(GL_GREATER, 0.9f);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glEnable(GL_NORMALIZE);
    // Meshes take their colour through the material from the first frame on,
    // also a transparent mesh drawn before any opaque one.
    glEnable(GL_COLOR_MATERIAL);
    const char* extensions = (const char*)glGetString(GL_EXTENSIONS);
    if (extensions && strstr(extensions, "GL_EXT_separate_specular_color"))
        glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL, GL_SEPARATE_SPECULAR_COLOR);
    // Meshes draw from client arrays for the whole run; only the selection
    // pass switches the normal and texture-coordinate arrays off.
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
}

// ---------------------------------------------------------------------------
// Renderer
// ---------------------------------------------------------------------------

Renderer* createRenderer() {
    platformPrepareVideo();
    if (SDL_Init(SDL_INIT_VIDEO) < 0) fail("Video initialization failed: %s\n");

    const SDL_VideoInfo* info = SDL_GetVideoInfo();
    Renderer* r = new Renderer();
    r->width = info->current_w;
    r->height = info->current_h;

    Uint32 flags = SDL_OPENGL | SDL_FULLSCREEN | SDL_HWSURFACE | SDL_ASYNCBLIT;
    if (info->blit_hw) flags |= SDL_HWACCEL;

    setGlAttributes(1);
    if (SDL_SetVideoMode(r->width, r->height, 32, flags)) {
        glEnable(GL_MULTISAMPLE);
    } else {
        setGlAttributes(0);
        if (!SDL_SetVideoMode(r->width, r->height, 32, flags)) fail("Video mode set failed: %s\n");
    }

    setFixedGlState();
#if defined(__SANITIZE_ADDRESS__) && defined(__linux__)
    dl_iterate_phdr(keepGraphicsDriverLoaded, nullptr);
#endif

    if (r->height == 0) r->height = 1;
    float aspect = (float)r->width / (float)r->height;
    glViewport(0, 0, r->width, r->height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    setPerspective(kFieldOfView, aspect, kNearPlane, kFarPlane);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    float modelView[16], projection[16];
    int viewport[4];
    glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    if (!unProject(0.0f, 0.0f, -1.0f, modelView, projection, viewport, r->nearCorner)) {
        r->nearCorner[0] = r->nearCorner[1] = 0.0f;
        r->nearCorner[2] = -1.0f;
    }

    // The system cursor is replaced by an invisible one rather than hidden:
    // SDL's compatibility layer turns a hidden cursor in a full-screen window
    // into relative mouse mode, where touch screens, tablets, remote desktops
    // and synthetic pointer events no longer report where the pointer is.
    static Uint8 noPixels[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    r->blankCursor = SDL_CreateCursor(noPixels, noPixels, 8, 8, 0, 0);
    if (r->blankCursor)
        SDL_SetCursor(r->blankCursor);
    else
        SDL_ShowCursor(SDL_DISABLE);
    return r;
}

void shutdownRenderer(Renderer* r) {
    if (r->blankCursor) SDL_FreeCursor(r->blankCursor);
    r->blankCursor = nullptr;
    SDL_Quit();
}

bool swapBuffers(Renderer*) {
    SDL_GL_SwapBuffers();
    return true;
}

float viewHalfWidth(const Renderer* r, float d) { return r->nearCorner[0] * d / r->nearCorner[2]; }

float viewHalfHeight(const Renderer* r, float d) { return r->nearCorner[1] * d / r->nearCorner[2]; }

bool perspectiveMatrix(float fovy, float aspect, float zNear, float zFar, float m[16]) {
    float half = fovy / 2.0f * (float)M_PI / 180.0f;
    float dz = zFar - zNear;
    float s = sinf(half);
    if (dz == 0.0f || s == 0.0f || aspect == 0.0f) return false;
    float cot = cosf(half) / s;
    for (int i = 0; i < 16; ++i) m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
    m[0] = cot / aspect;
    m[5] = cot;
    m[10] = -(zFar + zNear) / dz;
    m[11] = -1.0f;
    m[14] = -2.0f * zNear * zFar / dz;
    m[15] = 0.0f;
    return true;
}

void setPerspective(float fovy, float aspect, float zNear, float zFar) {
    float m[16];
    if (perspectiveMatrix(fovy, aspect, zNear, zFar, m)) glMultMatrixf(m);
}

bool unProject(float winX, float winY, float winZ, const float modelView[16], const float projection[16],
               const int viewport[4], float out[3]) {
    float product[16], inverse[16];
    multiplyMatrices(projection, modelView, product);
    if (!invertMatrix(product, inverse)) return false;
    float in[4] = {(winX - (float)viewport[0]) / (float)viewport[2] * 2.0f - 1.0f,
                   (winY - (float)viewport[1]) / (float)viewport[3] * 2.0f - 1.0f, winZ * 2.0f - 1.0f, 1.0f};
    float res[4];
    for (int row = 0; row < 4; ++row)
        res[row] = inverse[row] * in[0] + inverse[4 + row] * in[1] + inverse[8 + row] * in[2] + inverse[12 + row] * in[3];
    if (res[3] == 0.0f) return false;
    out[0] = res[0] / res[3];
    out[1] = res[1] / res[3];
    out[2] = res[2] / res[3];
    return true;
}
