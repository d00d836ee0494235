// The real program, started as a player starts it: it finds its archives,
// opens its window and shows the background; a damaged interface archive
// ends it with status 1.
#include "support/game_process.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

TEST(GameRun, ShowsTheBackgroundFromTheArchiveInItsWorkingDirectory) {
    std::string dir = makeTempDir("run");
    // An orange image on the background: nothing else on an X screen is that colour.
    ASSERT_TRUE(writeTestArchive(dir + "/interface.pak",
                                 {{"fon", modelBytes({uprightQuad(-300, -300, 300, 300, 0, "orange")})},
                                  {"orange", solidBmp(8, 8, 255, 128, 0)}}));
    ASSERT_FALSE(writeTestPage(dir + "/page01.pak", 1, false).empty());
    ASSERT_TRUE(writeTestArchive(dir + "/langall.pak", {}));  // the help screen of a new installation
    ASSERT_TRUE(writeTestArchive(dir + "/langen.pak", {}));
    ASSERT_TRUE(writeTestArchive(dir + "/music.pak", {}));
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

TEST(GameRun, DamagedInterfaceArchiveEndsTheProgramWithStatusOne) {
    std::string dir = makeTempDir("damaged");
    ASSERT_TRUE(writeFileBytes(dir + "/interface.pak", {5, 0, 0, 0, 100, 'f', 'o'}));  // names cut short
    GameProcess game = launchGame(dir, dir + "/user");
    EXPECT_EQ(1, waitForGameExit(&game, 20000));
    killGame(&game);
    EXPECT_EQ("", gameSanitizerReport(game)) << "a refusal, not a fault";
    removeTree(dir);
}
