// The application shell: the window and fixed OpenGL state, the global input
// state, the main loop with its frame pacing, the frame, and shutdown.
#pragma once

#include <SDL/SDL.h>
#include <string>

struct Settings;
struct SceneNode;
struct SoundSystem;

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// The one window and its view geometry.
struct Renderer {
    int width;             // window pixels: the desktop size at start-up
    int height;
    float nearCorner[3];   // eye-space point under window pixel (0, 0) at window depth -1
    SDL_Cursor* blankCursor;  // the system cursor, made invisible: the game draws its own brush
};

// SDL 1.2 key symbols the game reacts to.
enum GameKey {
    GAME_KEY_RETURN = 13,
    GAME_KEY_ESCAPE = 27,
    GAME_KEY_RIGHT = 275,
    GAME_KEY_LEFT = 276,
    GAME_KEY_F1 = 282
};

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

extern std::string configPath;       // the settings file; empty when there is none
extern Settings* settings;
extern Renderer* renderer;
extern SoundSystem* soundSystem;     // null while the game has no sound system
extern SceneNode* sceneRoot;         // everything but the brush; colour is read back from it
extern SceneNode* cursorRoot;        // the brush layer, drawn after the read-back
extern SceneNode* gameLayer;         // parent of screens and dialogs

extern int mouseX, mouseY;           // window pixels, origin top-left
extern bool leftButtonDown;
extern bool leftClicked;             // the left button went down in this iteration
extern bool leftClickLatch;          // a press was reported and not yet released
extern bool keyEventPending;         // a key went down in this iteration
extern bool keyConsumed;             // a handler took the pending key
extern SDL_KeyboardEvent keyEvent;   // the last key-down of this iteration
extern unsigned frameStart, frameEnd;
extern int frameDelay;
extern unsigned frameTicks;          // clock of every action runner, taken at the frame's start
extern double pickedColor[3];        // scene colour under the mouse, read back every frame

// ---------------------------------------------------------------------------
// Renderer (window and fixed OpenGL state)
// ---------------------------------------------------------------------------

// Opens the full-screen window with its OpenGL state; on failure prints a line and exits with status 1.
Renderer* createRenderer();
// Ends SDL; the caller deletes the record.
void shutdownRenderer(Renderer* r);
bool swapBuffers(Renderer* r);
// Half the visible width at signed eye-space depth d.
float viewHalfWidth(const Renderer* r, float d);
// Half the visible height at signed eye-space depth d.
float viewHalfHeight(const Renderer* r, float d);
// Multiplies the current matrix by a perspective projection; leaves it alone for a degenerate one.
void setPerspective(float fovy, float aspect, float zNear, float zFar);
// The perspective matrix (column order) into m; false, m untouched, for a degenerate one.
bool perspectiveMatrix(float fovy, float aspect, float zNear, float zFar, float m[16]);
// Object coordinates of a window point; false when the matrices cannot be inverted.
bool unProject(float winX, float winY, float winZ, const float modelView[16], const float projection[16],
               const int viewport[4], float out[3]);

// ---------------------------------------------------------------------------
// Input
// ---------------------------------------------------------------------------

// Starts a loop iteration: the one-iteration pulses are cleared.
void beginInputIteration();
// Folds one SDL event into the input globals.
void handleInputEvent(const SDL_Event& event);
// Whether an unconsumed key-down of this iteration has that symbol.
bool isKeyPressed(int keySym);
// Takes the pending key so no later handler sees it; returns true.
bool consumeKey();

// ---------------------------------------------------------------------------
// Frame and lighting
// ---------------------------------------------------------------------------

// Sleep in ms after an iteration that started at start and ended at end (wrap-safe).
int frameSleep(unsigned start, unsigned end);
// Draws one frame: scene, transparent pass, colour read-back, cursor, swap, selection pass.
void renderFrame();
// Sets up the one light of the scene.
void setupLight();
// Frame callback: lighting on around the node's meshes and each child.
void lightingFrameCallback(int phase, void* userData);

// ---------------------------------------------------------------------------
// Program
// ---------------------------------------------------------------------------

// Saves the settings and starts taking both roots down; the loop ends a few frames later.
void requestQuit();
// Start-up: settings, window, sound, then the scene.
void startGame();
// The two roots with the fixed nodes and the game attached to them; needs settings and a window.
void createScene();
// Destroys both trees, whatever is still attached to them.
void destroyScene();
// Runs iterations until the first root reports closed.
void runMainLoop();
// Runs one iteration: input, frame, pacing.
void runLoopIteration();
// Shutdown after the loop: settings, roots, sound, video.
void shutdownGame();
