// Leaving the real game when its settings cannot be written: a settings
// folder that is read-only or on a full disk, or a game held to a file size
// below its settings', keeps the previous file byte for byte, and the game
// still ends normally.
//
// Tests run as root, where permission bits stop no write, so the folder is
// made read-only or full with mounts in a mount namespace of this test
// process alone (the game and its X screen inherit it). Without the
// privilege for that the test is skipped, saying why.
#include "store/store.h"
#include "support/play_harness.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <set>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum FolderState { FOLDER_WRITABLE, FOLDER_READ_ONLY, FOLDER_FULL, FOLDER_SIZE_LIMITED };

struct ExitCase {
    const char* name;  // also the test's name
    FolderState state;
};

// The writable folder shows that the run does change the settings file.
const ExitCase kExitCases[] = {
    {"Writable", FOLDER_WRITABLE},
    {"ReadOnly", FOLDER_READ_ONLY},
    {"Full", FOLDER_FULL},
    {"FileSizeLimit", FOLDER_SIZE_LIMITED},
};

void PrintTo(const ExitCase& c, std::ostream* out) { *out << c.name; }

std::string caseName(const ::testing::TestParamInfo<ExitCase>& info) { return info.param.name; }

std::set<std::string> entriesOf(const std::string& folder) {
    std::set<std::string> names;
    DIR* d = opendir(folder.c_str());
    if (!d) return names;
    while (dirent* e = readdir(d))
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names.insert(e->d_name);
    closedir(d);
    return names;
}

// Writes a file until the file system refuses more; true when it ended full.
bool fillUp(const std::string& path) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) return false;
    char block[4096];
    memset(block, 'x', sizeof block);
    ssize_t n;
    while ((n = write(fd, block, sizeof block)) > 0) {
    }
    int error = errno;
    // A last partial block may still fit.
    while (write(fd, block, 1) == 1) {
    }
    close(fd);
    return n < 0 && error == ENOSPC;
}

class ExitTest : public PlayHarness, public ::testing::WithParamInterface<ExitCase> {
protected:
    std::string settingsFolder;
    bool mounted = false;

    void TearDown() override {
        killGame(&game);
        if (mounted) umount2(settingsFolder.c_str(), MNT_DETACH);
        PlayHarness::TearDown();
    }

    // A private mount namespace, so the mounts below are seen by this test and its children only.
    bool enterOwnMountNamespace(std::string* why) {
        if (unshare(CLONE_NEWNS) != 0) {
            *why = std::string("cannot make a mount namespace: ") + strerror(errno);
            return false;
        }
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            *why = std::string("cannot make the mounts private: ") + strerror(errno);
            return false;
        }
        return true;
    }
};

}  // namespace

TEST_P(ExitTest, PreviousSettingsSurviveAFailedSaveAndTheGameStillEnds) {
    const ExitCase& c = GetParam();
    settingsFolder = dir + "/user/tintaria";
    ASSERT_EQ(0, mkdir((dir + "/user").c_str(), 0700));
    ASSERT_EQ(0, mkdir(settingsFolder.c_str(), 0700));
    if (c.state == FOLDER_READ_ONLY || c.state == FOLDER_FULL) {
        std::string why;
        if (!enterOwnMountNamespace(&why)) GTEST_SKIP() << why;
    }
    if (c.state == FOLDER_FULL) {
        ASSERT_EQ(0, mount("tintaria-test", settingsFolder.c_str(), "tmpfs", 0, "size=64k,mode=0700"))
            << strerror(errno);
        mounted = true;
    }

    // A player on page 1 with the help screen and the music off.
    Settings* s = defaultSettings();
    s->showHelpAtStart = false;
    s->musicOn = false;
    selectPage(*s, 1);
    std::vector<uint8_t> previous;
    saveSettings(*s, previous);
    delete s;
    std::string file = settingsFolder + "/pigmora-tintaria-cfg";
    ASSERT_TRUE(writeFileBytes(file, previous));

    if (c.state == FOLDER_FULL) {
        ASSERT_TRUE(fillUp(settingsFolder + "/filler"));
    }
    if (c.state == FOLDER_READ_ONLY) {
        ASSERT_EQ(0, mount(settingsFolder.c_str(), settingsFolder.c_str(), nullptr, MS_BIND, nullptr));
        mounted = true;
        ASSERT_EQ(0, mount(nullptr, settingsFolder.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr))
            << strerror(errno);
        ASSERT_NE(0, access(settingsFolder.c_str(), W_OK)) << "the folder is read-only even for root";
    }
    std::set<std::string> before = entriesOf(settingsFolder);

    ASSERT_NO_FATAL_FAILURE(startWith(nullptr));
    ASSERT_NO_FATAL_FAILURE(waitForTheSheet());
    if (c.state == FOLDER_SIZE_LIMITED) {
        // Past the limit a write raises SIGXFSZ, which ends a process that does not ignore it.
        const struct rlimit limit = {16, 16};
        ASSERT_EQ(0, prlimit(game.pid, RLIMIT_FSIZE, &limit, nullptr)) << strerror(errno);
    }
    // Turning the page adds page 2's slot: the file the game means to write is longer than the one there.
    ASSERT_TRUE(pressKey("Right"));
    waitMs(500);
    ASSERT_NO_FATAL_FAILURE(leaveThroughTheExitConfirmation());
    EXPECT_EQ(0, waitForGameExit(&game, 10000)) << "the game ends normally";

    EXPECT_EQ(before, entriesOf(settingsFolder)) << "no temporary file is left behind";
    std::vector<uint8_t> after = readWholeFile(file);
    if (c.state == FOLDER_WRITABLE) {
        Settings* saved = loadSettings(after.data(), after.size());
        EXPECT_EQ(2, currentPageId(*saved));
        delete saved;
    } else {
        EXPECT_EQ(previous, after) << "the previous settings file is intact";
    }
}

INSTANTIATE_TEST_SUITE_P(SettingsFolder, ExitTest, ::testing::ValuesIn(kExitCases), caseName);
