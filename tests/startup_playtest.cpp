// The real program, started as a player starts it: it finds its archives,
// opens its window and shows the background; an archive it needs at start
// that is missing or damaged ends it with status 1, not a crash.
#include "support/game_process.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// What a new installation opens before its first frame: an orange image on
// the background (nothing else on an X screen is that colour), page 1, the
// help screen's archives and the music.
bool writeStartupArchives(const std::string& dir) {
    return writeTestArchive(dir + "/interface.pak",
                            {{"fon", modelBytes({uprightQuad(-300, -300, 300, 300, 0, "orange")})},
                             {"orange", solidBmp(8, 8, 255, 128, 0)}}) &&
           !writeTestPage(dir + "/page01.pak", 1, false).empty() && writeTestArchive(dir + "/langall.pak", {}) &&
           writeTestArchive(dir + "/langen.pak", {}) &&
           writeTestArchive(dir + "/music.pak", {{"music.wav", std::vector<uint8_t>(64, 0)}});
}

enum Damage { REMOVED, CUT_SHORT, COUNT_BEYOND_THE_FILE, SIZE_BEYOND_THE_FILE };

struct ArchiveCase {
    const char* archive;
    Damage damage;
};

const ArchiveCase kUnusableArchives[] = {
    {"interface.pak", CUT_SHORT},
    {"page01.pak", REMOVED},
    {"page01.pak", SIZE_BEYOND_THE_FILE},
    {"langall.pak", REMOVED},
    {"langen.pak", COUNT_BEYOND_THE_FILE},
    {"music.pak", REMOVED},
    {"music.pak", CUT_SHORT},
};

// Damages a written archive in place; false when it could not.
bool damage(const std::string& path, Damage how) {
    if (how == REMOVED) return unlink(path.c_str()) == 0;
    std::vector<uint8_t> bytes = readWholeFile(path);
    if (bytes.size() < 4) return false;
    if (how == CUT_SHORT) {
        bytes.resize(bytes.size() - 1);
    } else if (how == COUNT_BEYOND_THE_FILE) {
        bytes[0] = 0xff;
        bytes[1] = 0xff;
    } else {
        // The first entry's size field follows its name; the size read there now exceeds the file.
        if (bytes.size() < 5 || bytes.size() < size_t(9 + bytes[4])) return false;
        size_t at = 5 + bytes[4];
        bytes[at + 3] = 0x7f;
    }
    return writeFileBytes(path, bytes);
}

}  // namespace

TEST(GameRun, ShowsTheBackgroundFromTheArchiveInItsWorkingDirectory) {
    std::string dir = makeTempDir("run");
    ASSERT_TRUE(writeStartupArchives(dir));
    GameProcess game = launchGame(dir, dir + "/user");
    ASSERT_NE(0, game.pid);

    const uint8_t orange[3] = {255, 130, 0};
    uint8_t seen[3] = {0, 0, 0};
    bool shown = waitForColour(game.width / 2, game.height / 2, orange, 20, 10000, seen);
    int status = waitForGameExit(&game, 0);
    killGame(&game);
    EXPECT_EQ(-1, status) << "the game was still running";
    EXPECT_TRUE(shown) << "centre colour " << (int)seen[0] << "," << (int)seen[1] << "," << (int)seen[2];
    EXPECT_EQ("", gameSanitizerReport(game));
    removeTree(dir);
}

TEST(GameRun, AMissingOrDamagedArchiveEndsTheProgramWithStatusOne) {
    const char* names[] = {"removed", "cut short", "count beyond the file", "size beyond the file"};
    for (const ArchiveCase& c : kUnusableArchives) {
        SCOPED_TRACE(std::string(c.archive) + " " + names[c.damage]);
        std::string dir = makeTempDir("damaged");
        ASSERT_TRUE(writeStartupArchives(dir));
        ASSERT_TRUE(damage(dir + "/" + c.archive, c.damage));
        GameProcess game = launchGame(dir, dir + "/user");
        EXPECT_EQ(1, waitForGameExit(&game, 20000)) << "128 and above: ended by a signal; -1: still running";
        killGame(&game);
        EXPECT_EQ("", gameSanitizerReport(game)) << "a refusal, not a fault";
        removeTree(dir);
    }
}
