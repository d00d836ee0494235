// The installed game: the build's install rules put into a fresh prefix,
// then the program started as the desktop starts it (the launcher entry's
// Exec line, looked up in PATH, from the player's home folder). It must take
// its archives from <prefix>/share/tintaria, show its first frame, keep its
// settings under the player's data folder and end with status 0.
#include "support/game_process.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Runs a program with its arguments, output to a file; its exit status, -1 when it did not end normally.
int runQuietly(const std::vector<std::string>& args, const std::string& outputFile) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        int out = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out >= 0) {
            dup2(out, 1);
            dup2(out, 2);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string textOf(const std::string& path) {
    std::vector<uint8_t> bytes = readWholeFile(path);
    return std::string(bytes.begin(), bytes.end());
}

// The value of a key in a desktop entry's main group; empty when absent.
std::string desktopValue(const std::string& entry, const std::string& key) {
    std::istringstream lines(entry);
    std::string line;
    bool inMainGroup = false;
    while (std::getline(lines, line)) {
        if (!line.empty() && line[0] == '[') inMainGroup = line == "[Desktop Entry]";
        else if (inMainGroup && line.compare(0, key.size() + 1, key + "=") == 0) return line.substr(key.size() + 1);
    }
    return "";
}

// The Exec line's words without its field codes (%f, %U, ...); quoting is not used by ours.
std::vector<std::string> execWords(const std::string& exec) {
    std::istringstream words(exec);
    std::vector<std::string> out;
    std::string word;
    while (words >> word)
        if (!(word.size() == 2 && word[0] == '%')) out.push_back(word);
    return out;
}

std::string realPath(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? resolved : "";
}

// Width and height from a PNG's header; false when the file is no PNG.
bool pngSize(const std::string& path, uint32_t* width, uint32_t* height) {
    std::vector<uint8_t> b = readWholeFile(path);
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (b.size() < 24 || !std::equal(signature, signature + 8, b.begin())) return false;
    *width = uint32_t(b[16]) << 24 | uint32_t(b[17]) << 16 | uint32_t(b[18]) << 8 | b[19];
    *height = uint32_t(b[20]) << 24 | uint32_t(b[21]) << 16 | uint32_t(b[22]) << 8 | b[23];
    return true;
}

class InstalledGame : public ::testing::Test {
protected:
    std::string dir, prefix, home;
    GameProcess game = {};
    std::string savedPath;

    void SetUp() override {
        dir = makeTempDir("install");
        prefix = dir + "/prefix";
        home = dir + "/home";
        ASSERT_EQ(0, mkdir(home.c_str(), 0700));
        const char* path = getenv("PATH");
        savedPath = path ? path : "";
    }
    void TearDown() override {
        killGame(&game);
        setenv("PATH", savedPath.c_str(), 1);
        removeTree(dir);
    }
};

}  // namespace

TEST_F(InstalledGame, StartsFromItsLauncherEntryAnywhereAndEndsNormally) {
    std::string log = dir + "/install.log";
    ASSERT_EQ(0, runQuietly({TINTARIA_CMAKE_COMMAND, "--install", TINTARIA_BINARY_DIR, "--prefix", prefix}, log))
        << textOf(log);

    // The metainfo, its launcher entry and its icon agree as a software centre reads them.
    ASSERT_EQ(0, runQuietly({"appstreamcli", "validate-tree", "--no-net", prefix}, log)) << textOf(log);

    std::string entry = textOf(prefix + "/share/applications/" TINTARIA_APP_ID ".desktop");
    ASSERT_FALSE(entry.empty()) << "no launcher entry under share/applications";
    std::string icon = desktopValue(entry, "Icon");
    ASSERT_FALSE(icon.empty());
    std::string icons = prefix + "/share/icons/hicolor/";
    uint32_t w = 0, h = 0;
    EXPECT_TRUE(pngSize(icons + "48x48/apps/" + icon + ".png", &w, &h)) << "the icon at the size every theme has";
    EXPECT_EQ(48u, w);
    EXPECT_EQ(48u, h);
    EXPECT_NE(std::string::npos, textOf(icons + "scalable/apps/" + icon + ".svg").find("<svg"));

    std::vector<std::string> command = execWords(desktopValue(entry, "Exec"));
    ASSERT_FALSE(command.empty()) << "no Exec line";
    ASSERT_EQ(std::string::npos, command[0].find('/')) << "the entry names the program for PATH to find";
    setenv("PATH", (prefix + "/bin:/usr/bin:/bin").c_str(), 1);
    game = launchCommand(command, home, home + "/.local/share");
    ASSERT_NE(0, game.pid);

    // The first frame: the middle of the screen leaves the empty screen's black and settles.
    const uint8_t black[3] = {0, 0, 0};
    uint8_t seen[3];
    ASSERT_TRUE(waitForSettledPixel(game.width / 2, game.height / 2, black, 30000, seen)) << "no frame shown";

    std::string proc = "/proc/" + std::to_string(game.pid);
    EXPECT_EQ(realPath(prefix + "/bin/" + command[0]), realPath(proc + "/exe")) << "the installed program runs";
    EXPECT_EQ(realPath(prefix + "/share/tintaria"), realPath(proc + "/cwd"))
        << "the archives are taken from the installation";

    // A new player sees the help screen first, which the first Escape closes.
    int status = quitWithEscapeAndReturn(&game);
    EXPECT_EQ(0, status) << "-1: still running; 128 and above: ended by a signal";
    EXPECT_FALSE(readWholeFile(home + "/.local/share/tintaria/pigmora-tintaria-cfg").empty())
        << "the settings are kept in the player's data folder";
}
