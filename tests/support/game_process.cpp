#include "support/game_process.h"

#include "support/test_support.h"

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

// The picture canvas's corner in the scene, and the frame's eye distance.
static const double kCanvasX = -11.716, kCanvasY = -14.607, kCanvasZ = 51.121;
static const double kEyeDistance = 100.0;
static const double kHalfFieldTangent = 0.41421356237309503;  // tan(22.5 degrees)
static const int kScreenWidth = 1280, kScreenHeight = 720;
// The sanitizers add ".<pid>" to this name in the game's folder.
static const char* const kSanitizerLogName = "sanitizer-report";

static int runProgram(const std::vector<std::string>& args, bool quiet = false) {
    pid_t pid = fork();
    if (pid == 0) {
        if (quiet) {
            int devnull = open("/dev/null", O_WRONLY);
            if (devnull >= 0) {
                dup2(devnull, 1);
                dup2(devnull, 2);
            }
        }
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// ---------------------------------------------------------------------------
// The game process
// ---------------------------------------------------------------------------

// Starts Xvfb on a free display; its process id, and the display's number in *number.
static pid_t startXvfb(int width, int height, int* number) {
    int fds[2];
    if (pipe(fds) != 0) return 0;
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        std::string fd = std::to_string(fds[1]);
        std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
        int devnull = open("/dev/null", O_WRONLY);
        if (devnull >= 0) dup2(devnull, 2);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
               (char*)nullptr);
        _exit(127);
    }
    close(fds[1]);
    // The server may write its number and the newline separately, and it
    // gives up if the pipe is closed before the newline: read up to it.
    char text[32] = {0};
    size_t got = 0;
    ssize_t n = 1;
    while (pid > 0 && got < sizeof text - 1 && !strchr(text, '\n') &&
           (n = read(fds[0], text + got, sizeof text - 1 - got)) > 0)
        got += (size_t)n;
    close(fds[0]);
    if (got == 0) {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        return 0;
    }
    *number = atoi(text);
    // The server has announced its display; wait until it takes connections.
    std::string name = ":" + std::to_string(*number);
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (runProgram({"xdpyinfo", "-display", name}, true) == 0) return pid;
        usleep(50 * 1000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return 0;
}

GameProcess launchGame(const std::string& folder, const std::string& userData) {
    return launchCommand({TINTARIA_GAME_PATH}, folder, userData);
}

GameProcess launchCommand(const std::vector<std::string>& command, const std::string& folder,
                          const std::string& userData) {
    GameProcess game = {0, 0, kScreenWidth, kScreenHeight, folder, userData, folder + "/sound-output.raw"};
    if (command.empty()) return game;
    int display = 0;
    game.xvfbPid = startXvfb(game.width, game.height, &display);
    if (!game.xvfbPid) return game;
    setenv("DISPLAY", (":" + std::to_string(display)).c_str(), 1);
    std::vector<char*> argv;
    for (const std::string& a : command) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(folder.c_str()) != 0) _exit(127);
        setenv("XDG_DATA_HOME", userData.c_str(), 1);
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", game.soundFile.c_str(), 1);
        // A sanitized game writes its findings into the run's folder, where
        // gameSanitizerReport reads them; other builds ignore these variables.
        for (const char* variable : {"ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
            const char* inherited = getenv(variable);
            std::string options = std::string(inherited ? inherited : "") + ":log_path=" + folder + "/" +
                                  kSanitizerLogName;
            setenv(variable, options.c_str(), 1);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    game.pid = pid > 0 ? pid : 0;
    return game;
}

int waitForGameExit(GameProcess* game, int limitMs) {
    for (int waited = 0; game->pid; waited += 20) {
        int status = 0;
        if (waitpid(game->pid, &status, WNOHANG) == game->pid) {
            game->pid = 0;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (waited >= limitMs) return -1;
        usleep(20 * 1000);
    }
    return -1;
}

int quitWithEscapeAndReturn(GameProcess* game) {
    int status = -1;
    for (int round = 0; round < 6 && status == -1; ++round) {
        // The confirmation ignores Return for its first 150 ms.
        if (!pressKey("Escape")) return -1;
        waitMs(800);
        if (!pressKey("Return")) return -1;
        status = waitForGameExit(game, 2000);
    }
    return status;
}

void killGame(GameProcess* game) {
    pid_t* pids[2] = {&game->pid, &game->xvfbPid};
    for (pid_t* pid : pids) {
        if (!*pid) continue;
        kill(*pid, SIGKILL);
        waitpid(*pid, nullptr, 0);
        *pid = 0;
    }
}

std::string settingsFileOf(const GameProcess& game) { return game.userData + "/tintaria/pigmora-tintaria-cfg"; }

std::string gameSanitizerReport(const GameProcess& game) {
    std::string report;
    DIR* folder = opendir(game.folder.c_str());
    if (!folder) return report;
    std::string prefix = std::string(kSanitizerLogName) + ".";
    while (struct dirent* entry = readdir(folder)) {
        if (strncmp(entry->d_name, prefix.c_str(), prefix.size()) != 0) continue;
        std::vector<uint8_t> bytes = readWholeFile(game.folder + "/" + entry->d_name);
        report += std::string(entry->d_name) + ":\n" + std::string(bytes.begin(), bytes.end());
    }
    closedir(folder);
    return report;
}

// ---------------------------------------------------------------------------
// Input
// ---------------------------------------------------------------------------

bool xdotool(const std::vector<std::string>& args) {
    std::vector<std::string> command(1, "xdotool");
    command.insert(command.end(), args.begin(), args.end());
    return runProgram(command) == 0;
}

void waitMs(int ms) { usleep((useconds_t)ms * 1000); }

bool moveTo(int x, int y) { return xdotool({"mousemove", std::to_string(x), std::to_string(y)}); }

bool clickAt(int x, int y) {
    // Picking answers one frame after the pointer arrives: let a few frames pass.
    if (!moveTo(x, y)) return false;
    waitMs(300);
    return xdotool({"click", "1"});
}

bool holdAt(int x, int y, int holdMs) {
    if (!moveTo(x, y)) return false;
    waitMs(150);
    if (!xdotool({"mousedown", "1"})) return false;
    waitMs(holdMs);
    return xdotool({"mouseup", "1"});
}

bool pressKey(const char* name) { return xdotool({"key", name}); }

// ---------------------------------------------------------------------------
// Screen
// ---------------------------------------------------------------------------

bool takeScreenshot(Screenshot* shot) {
    char path[] = "/tmp/tintaria-shot-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0) return false;
    close(fd);
    std::string target = std::string("ppm:") + path;
    bool ok = runProgram({"import", "-window", "root", "-depth", "8", target}) == 0;
    std::vector<uint8_t> bytes = readWholeFile(path);
    unlink(path);
    if (!ok || bytes.empty()) return false;
    int w = 0, h = 0, max = 0, offset = 0;
    bytes.push_back(0);
    if (sscanf((const char*)bytes.data(), "P6 %d %d %d%n", &w, &h, &max, &offset) != 3 || max != 255) return false;
    size_t start = (size_t)offset + 1, size = (size_t)w * h * 3;
    if (bytes.size() < start + size) return false;
    shot->width = w;
    shot->height = h;
    shot->rgb.assign(bytes.begin() + start, bytes.begin() + start + size);
    return true;
}

bool saveScreenshot(const std::string& path) {
    return runProgram({"import", "-window", "root", "-depth", "8", "png:" + path}) == 0;
}

void pixelAt(const Screenshot& shot, int x, int y, uint8_t rgb[3]) {
    size_t at = ((size_t)y * shot.width + x) * 3;
    for (int i = 0; i < 3; ++i) rgb[i] = shot.rgb[at + i];
}

bool waitForColour(int x, int y, const uint8_t want[3], int tolerance, int limitMs, uint8_t seen[3]) {
    for (int waited = 0; waited <= limitMs; waited += 100) {
        Screenshot shot;
        if (takeScreenshot(&shot)) {
            pixelAt(shot, x, y, seen);
            bool close = true;
            for (int i = 0; i < 3; ++i) close = close && std::abs((int)seen[i] - (int)want[i]) <= tolerance;
            if (close) return true;
        }
        waitMs(100);
    }
    return false;
}

bool waitForSettledPixel(int x, int y, const uint8_t* from, int limitMs, uint8_t seen[3]) {
    uint8_t last[3] = {0, 0, 0};
    bool haveLast = false;
    for (int waited = 0; waited <= limitMs; waited += 150) {
        Screenshot shot;
        if (takeScreenshot(&shot)) {
            pixelAt(shot, x, y, seen);
            bool left = !from || seen[0] != from[0] || seen[1] != from[1] || seen[2] != from[2];
            bool still = haveLast && seen[0] == last[0] && seen[1] == last[1] && seen[2] == last[2];
            if (left && still) return true;
            for (int i = 0; i < 3; ++i) last[i] = seen[i];
            haveLast = left;
        }
        waitMs(150);
    }
    return false;
}

void sceneToWindow(double sx, double sy, double sz, int width, int height, int* x, int* y) {
    double depth = kEyeDistance - sz;
    double halfHeight = depth * kHalfFieldTangent;
    double halfWidth = halfHeight * width / height;
    *x = (int)lround(width / 2.0 + sx / halfWidth * width / 2.0);
    *y = (int)lround(height / 2.0 - sy / halfHeight * height / 2.0);
}

void canvasToWindow(double cx, double cy, int width, int height, int* x, int* y) {
    sceneToWindow(cx + kCanvasX, cy + kCanvasY, kCanvasZ, width, height, x, y);
}

// ---------------------------------------------------------------------------
// Sound
// ---------------------------------------------------------------------------

size_t recordedBytes(const GameProcess& game) {
    struct stat info;
    return stat(game.soundFile.c_str(), &info) == 0 ? (size_t)info.st_size : 0;
}

std::vector<int16_t> recordedSound(const GameProcess& game, size_t fromByte) {
    std::vector<uint8_t> bytes = readWholeFile(game.soundFile);
    std::vector<int16_t> samples;
    for (size_t i = fromByte & ~(size_t)1; i + 1 < bytes.size(); i += 2)
        samples.push_back((int16_t)(bytes[i] | (bytes[i + 1] << 8)));
    return samples;
}
