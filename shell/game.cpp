// The program's spine: global input state, the main loop with its pacing,
// the frame, the light, the way out, start-up and shutdown.
#include "shell/shell.h"

#include "audio/audio.h"
#include "dialogs/dialogs.h"
#include "game/game.h"
#include "platform/platform.h"
#include "resources/resources.h"
#include "scene/scene.h"
#include "store/store.h"

#include <GL/gl.h>
#include <cstdint>
#include <cstdio>
#include <vector>

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

std::string configPath;
Settings* settings = nullptr;
Renderer* renderer = nullptr;
SoundSystem* soundSystem = nullptr;
SceneNode* sceneRoot = nullptr;
SceneNode* cursorRoot = nullptr;
SceneNode* gameLayer = nullptr;

int mouseX = 0, mouseY = 0;
bool leftButtonDown = false;
bool leftClicked = false;
bool leftClickLatch = false;
bool keyEventPending = false;
bool keyConsumed = false;
SDL_KeyboardEvent keyEvent;
unsigned frameStart = 0, frameEnd = 0;
int frameDelay = 0;
unsigned frameTicks = 0;
double pickedColor[3] = {0.0, 0.0, 0.0};

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

// The frame period: an iteration that drew faster than this sleeps the rest.
static const int kFramePeriodMs = 16;

// A settings file is a few kilobytes; anything far larger is not one of ours.
static const long kMaxSettingsFileBytes = 16L * 1024 * 1024;

static Settings* readSettingsFile(const std::string& path) {
    FILE* f = path.empty() ? nullptr : fopen(path.c_str(), "rb");
    if (!f) return defaultSettings();
    std::vector<uint8_t> bytes;
    uint8_t chunk[4096];
    size_t n;
    bool tooLarge = false;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) {
        if ((long)(bytes.size() + n) > kMaxSettingsFileBytes) {
            tooLarge = true;
            break;
        }
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    bool failed = ferror(f) != 0;
    fclose(f);
    if (failed || tooLarge) return defaultSettings();
    return loadSettings(bytes.data(), bytes.size());
}

static SceneNode* createFixedNode(SceneNode* parent) {
    SceneNode* node = createNode();
    addChild(parent, node);
    return node;
}

// ---------------------------------------------------------------------------
// Input
// ---------------------------------------------------------------------------

void beginInputIteration() {
    keyEventPending = false;
    leftClicked = false;
}

void handleInputEvent(const SDL_Event& event) {
    switch (event.type) {
    case SDL_MOUSEBUTTONDOWN:
        if (event.button.button != SDL_BUTTON_LEFT) break;
        leftButtonDown = true;
        if (!leftClickLatch) {
            leftClicked = true;
            leftClickLatch = true;
        }
        break;
    case SDL_MOUSEBUTTONUP:
        if (event.button.button != SDL_BUTTON_LEFT) break;
        leftButtonDown = false;
        leftClickLatch = false;
        break;
    case SDL_MOUSEMOTION:
        mouseX = event.motion.x;
        mouseY = event.motion.y;
        break;
    case SDL_KEYDOWN:
        keyEventPending = true;
        keyConsumed = false;
        keyEvent = event.key;
        break;
    default:  // the window system's quit request among them: only requestQuit ends the game
        break;
    }
}

bool isKeyPressed(int keySym) {
    return keyEventPending && !keyConsumed && (int)keyEvent.keysym.sym == keySym;
}

bool consumeKey() {
    keyConsumed = true;
    return true;
}

// ---------------------------------------------------------------------------
// Frame and lighting
// ---------------------------------------------------------------------------

int frameSleep(unsigned start, unsigned end) {
    // Signed 64-bit so that a tick counter wrapping inside the iteration
    // gives a full period rather than a huge or negative sleep.
    int64_t delay = (int64_t)start - (int64_t)end + kFramePeriodMs;
    if (delay > kFramePeriodMs) delay = kFramePeriodMs;
    if (delay < 0) delay = 0;
    return (int)delay;
}

void renderFrame() {
    frameTicks = SDL_GetTicks();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -100.0f);
    drawNode(sceneRoot);
    flushDeferredMeshes();

    glFlush();
    float rgb[3] = {0.0f, 0.0f, 0.0f};
    // Window rows count from the bottom in OpenGL; row height - 1 is the top one.
    glReadPixels(mouseX, renderer->height - 1 - mouseY, 1, 1, GL_RGB, GL_FLOAT, rgb);
    for (int i = 0; i < 3; ++i) pickedColor[i] = rgb[i];

    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -100.0f);
    drawNode(cursorRoot);
    swapBuffers(renderer);
    updatePicker();
}

void setupLight() {
    static const GLfloat ambient[4] = {0.22f, 0.22f, 0.22f, 1.0f};
    static const GLfloat diffuse[4] = {0.6f, 0.6f, 0.6f, 1.0f};
    static const GLfloat specular[4] = {0.7f, 0.7f, 0.7f, 1.0f};
    glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, 0);
    glLightfv(GL_LIGHT1, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT1, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT1, GL_SPECULAR, specular);
}

void lightingFrameCallback(int phase, void*) {
    if (phase == PHASE_BEFORE_MESHES || phase == PHASE_BEFORE_CHILD) {
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT1);
    } else {
        glDisable(GL_LIGHT1);
        glDisable(GL_LIGHTING);
    }
}

// ---------------------------------------------------------------------------
// Program
// ---------------------------------------------------------------------------

void requestQuit() {
    if (!configPath.empty() && settings) {
        std::vector<uint8_t> bytes;
        saveSettings(*settings, bytes);
        platformReplaceFile(configPath, bytes.data(), bytes.size());
    }
    closeNode(sceneRoot);
    closeNode(cursorRoot);
}

void startGame() {
    configPath = platformSettingsPath();
    settings = readSettingsFile(configPath);
    renderer = createRenderer();
    initSound();
    SDL_WM_SetCaption("tintaria", "tintaria");
    createScene();
}

void createScene() {
    sceneRoot = createNode();
    cursorRoot = createNode();
    if (settings->musicOn) playSound("music.wav", true);
    setupLight();
    addFrameCallback(sceneRoot, lightingFrameCallback, nullptr);
    addFrameCallback(cursorRoot, lightingFrameCallback, nullptr);

    SceneNode* background = createFixedNode(sceneRoot);
    setRotation(background, -90.0, 0.0, 0.0);
    loadModel(background, "interface.pak", "fon");

    // The drawing order is fixed here: pages are built before the tubes that
    // show their palette, and dialogs open over everything.
    SceneNode* toolbarNode = createFixedNode(sceneRoot);
    SceneNode* pageHost = createFixedNode(sceneRoot);
    SceneNode* paletteHost = createFixedNode(sceneRoot);
    addFrameCallback(paletteHost, lightingFrameCallback, nullptr);
    gameLayer = createFixedNode(sceneRoot);
    setRotation(gameLayer, -90.0, 0.0, 0.0);
    SceneNode* cursorHost = createFixedNode(cursorRoot);
    attachGame(toolbarNode, pageHost, paletteHost, cursorHost);
    attachDialogs();
}

void destroyScene() {
    // Children still attached to a root that had not finished closing are
    // taken down with it, so nothing outlives the loop.
    SceneNode* roots[2] = {sceneRoot, cursorRoot};
    for (SceneNode* root : roots) {
        if (!root) continue;
        std::vector<SceneNode*> pending(1, root);
        while (!pending.empty()) {
            SceneNode* node = pending.back();
            pending.pop_back();
            pending.insert(pending.end(), node->children.begin(), node->children.end());
            destroyNode(node);
            delete node;
        }
    }
    sceneRoot = cursorRoot = gameLayer = nullptr;
}

void runLoopIteration() {
    frameStart = SDL_GetTicks();
    beginInputIteration();
    SDL_Event event;
    while (SDL_PollEvent(&event)) handleInputEvent(event);
    renderFrame();
    frameEnd = SDL_GetTicks();
    frameDelay = frameSleep(frameStart, frameEnd);
    if (frameDelay > 0) SDL_Delay((Uint32)frameDelay);
}

void runMainLoop() {
    while (!sceneRoot->closed && !cursorRoot->closed) runLoopIteration();
}

void shutdownGame() {
    // The mixer reads the music switch on the audio thread: it stops before
    // the settings record goes.
    if (soundSystem) shutdownSound();
    delete settings;
    settings = nullptr;
    destroyScene();
    if (renderer) {
        shutdownRenderer(renderer);
        delete renderer;
        renderer = nullptr;
    }
}

int runGame() {
    platformEnterDataDirectory();
    startGame();
    runMainLoop();
    shutdownGame();
    return 0;
}
