// The real game as a separate process under the test's X display, driven
// with real pointer and key events (xdotool) and watched through
// screenshots and its recorded sound output.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

// One run of the game binary in a folder of its own, on an X screen of its own
// (a private Xvfb), so pointer, keys and screenshots belong to this run alone.
struct GameProcess {
    pid_t pid;
    pid_t xvfbPid;
    int width, height;       // the screen's size
    std::string folder;      // working directory, where its archives are
    std::string userData;    // XDG_DATA_HOME of the run: the settings file lives below it
    std::string soundFile;   // where SDL's disk audio driver records the mix
};

// A screenshot of the whole X screen, 8-bit RGB rows from the top.
struct Screenshot {
    int width, height;
    std::vector<uint8_t> rgb;
};

// Starts a private X screen (DISPLAY of this process then names it), then the game in folder with its own
// settings folder and recorded sound; pid 0 on failure.
GameProcess launchGame(const std::string& folder, const std::string& userData);
// The same for any command line; the program is looked up in PATH as a desktop launcher looks it up.
GameProcess launchCommand(const std::vector<std::string>& command, const std::string& folder,
                          const std::string& userData);
// Waits up to limitMs for the game to end: its exit status, -1 if it still runs, 128+ for a signal.
int waitForGameExit(GameProcess* game, int limitMs);
// Quits as a player does, whatever is open: Escape (which closes an open screen, else asks whether to
// stop), then Return, a few times over; the exit status as waitForGameExit gives it.
int quitWithEscapeAndReturn(GameProcess* game);
// Ends a game that is still running, and its X screen.
void killGame(GameProcess* game);
// The settings file of a run.
std::string settingsFileOf(const GameProcess& game);
// What a sanitized game reported in its folder, from every run there; empty when nothing (always so in a
// build without sanitizers). A killed game reports no leaks: only one that ended by itself is checked for them.
std::string gameSanitizerReport(const GameProcess& game);

// Runs xdotool with the arguments (no shell); true when it succeeded.
bool xdotool(const std::vector<std::string>& args);
// Moves the pointer to a window pixel, waits a few frames for picking to follow, and clicks.
bool clickAt(int x, int y);
// Moves the pointer there, then presses the left button, holds it for holdMs and releases it.
bool holdAt(int x, int y, int holdMs);
// Moves the pointer without clicking.
bool moveTo(int x, int y);
// Presses a key by its X name ("Escape", "Return", "Right").
bool pressKey(const char* name);
// Sleeps for a number of milliseconds (for frames to pass, not as a measure).
void waitMs(int ms);

// Takes a screenshot of the root window; false when it cannot.
bool takeScreenshot(Screenshot* shot);
// Saves a screenshot of the root window as a PNG file; false when it cannot.
bool saveScreenshot(const std::string& path);
// The colour of one screenshot pixel.
void pixelAt(const Screenshot& shot, int x, int y, uint8_t rgb[3]);
// Waits until the pixel at (x, y) is within tolerance of the colour, up to limitMs; the last colour seen.
bool waitForColour(int x, int y, const uint8_t want[3], int tolerance, int limitMs, uint8_t seen[3]);

// Waits until the pixel at (x, y) has left the colour `from` (when given) and then holds still over two
// screenshots: an animation there has ended. The colour it settled on goes to seen.
bool waitForSettledPixel(int x, int y, const uint8_t* from, int limitMs, uint8_t seen[3]);

// Window pixel of a point of the picture canvas (0 to 30 each way, y up) on a screen of that size.
void canvasToWindow(double cx, double cy, int width, int height, int* x, int* y);
// Window pixel of a scene point (after the frame's translation) on a screen of that size.
void sceneToWindow(double sx, double sy, double sz, int width, int height, int* x, int* y);

// The recorded sound's 16-bit stereo samples (44100 Hz on this machine's SDL), from byte offset.
std::vector<int16_t> recordedSound(const GameProcess& game, size_t fromByte = 0);
// The size of the recording so far.
size_t recordedBytes(const GameProcess& game);
