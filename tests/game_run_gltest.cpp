// The real program, started as a player starts it: it finds its archives,
// opens its window and shows the background; a damaged or missing interface
// archive ends it with status 1.
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <csignal>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char* gamePath() { return TINTARIA_GAME_PATH; }

// Starts the game in folder; returns its process id.
pid_t startGameIn(const std::string& folder, const std::string& userData) {
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(folder.c_str()) != 0) _exit(127);
        setenv("XDG_DATA_HOME", userData.c_str(), 1);
        // No audio device, as on a machine without a sound card: the game runs silent.
        setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
        execl(gamePath(), gamePath(), (char*)nullptr);
        _exit(127);
    }
    return pid;
}

// Waits up to the limit for the process to end; its exit status, or -1 if it still runs.
int waitForExit(pid_t pid, int limitMs) {
    for (int waited = 0; waited <= limitMs; waited += 50) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        usleep(50 * 1000);
    }
    return -1;
}

// The colour at the middle of the screen, from a screenshot of the root window.
bool screenCentre(const std::string& dir, uint8_t rgb[3]) {
    std::string shot = dir + "/shot.ppm";
    std::string command = "import -window root -depth 8 " + shot + " 2>/dev/null";
    if (system(command.c_str()) != 0) return false;
    std::vector<uint8_t> bytes = readWholeFile(shot);
    // Binary PPM: "P6\n<w> <h>\n255\n" then RGB rows.
    int w = 0, h = 0, max = 0, offset = 0;
    if (sscanf((const char*)bytes.data(), "P6 %d %d %d%n", &w, &h, &max, &offset) != 3) return false;
    size_t at = (size_t)offset + 1 + ((size_t)(h / 2) * w + w / 2) * 3;
    if (at + 3 > bytes.size()) return false;
    for (int i = 0; i < 3; ++i) rgb[i] = bytes[at + i];
    return true;
}

}  // namespace

TEST(GameRun, ShowsTheBackgroundFromTheArchiveInItsWorkingDirectory) {
    std::string dir = makeTempDir("run");
    // An orange image on the background: nothing else on an X screen is that colour.
    ASSERT_TRUE(writeTestArchive(dir + "/interface.pak",
                                 {{"fon", modelBytes({uprightQuad(-300, -300, 300, 300, 0, "orange")})},
                                  {"orange", solidBmp(8, 8, 255, 128, 0)}}));
    ASSERT_FALSE(writeTestPage(dir + "/page01.pak", 1, false).empty());
    ASSERT_TRUE(writeTestArchive(dir + "/langall.pak", {}));  // the help screen of a new installation
    ASSERT_TRUE(writeTestArchive(dir + "/langen.pak", {}));
    pid_t pid = startGameIn(dir, dir + "/user");

    bool shown = false;
    uint8_t rgb[3] = {0, 0, 0};
    for (int attempt = 0; attempt < 100 && !shown; ++attempt) {
        usleep(100 * 1000);
        shown = screenCentre(dir, rgb) && rgb[0] > 230 && rgb[1] > 110 && rgb[1] < 150 && rgb[2] < 20;
    }
    int status = waitForExit(pid, 0);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    EXPECT_EQ(-1, status) << "the game was still running";
    EXPECT_TRUE(shown) << "centre colour " << (int)rgb[0] << "," << (int)rgb[1] << "," << (int)rgb[2];
    removeTree(dir);
}

TEST(GameRun, DamagedInterfaceArchiveEndsTheProgramWithStatusOne) {
    std::string dir = makeTempDir("damaged");
    ASSERT_TRUE(writeFileBytes(dir + "/interface.pak", {5, 0, 0, 0, 100, 'f', 'o'}));  // names cut short
    pid_t pid = startGameIn(dir, dir + "/user");
    EXPECT_EQ(1, waitForExit(pid, 20000));
    removeTree(dir);
}
