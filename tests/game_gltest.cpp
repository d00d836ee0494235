// The program's own start-up, loop, way out and shutdown, in process, with a
// small interface archive of the test's own.
#include "resources/resources.h"
#include "scene/scene.h"
#include "shell/shell.h"
#include "store/store.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::vector<uint8_t> savedBytes(const Settings& s) {
    std::vector<uint8_t> bytes;
    saveSettings(s, bytes);
    return bytes;
}

}  // namespace

TEST(Game, StartsFromTheSettingsFileAndQuitsSavingThemAfterTheRootsClose) {
    std::string dir = makeTempDir("game");
    std::string data = dir + "/data";
    ASSERT_EQ(0, mkdir(data.c_str(), 0700));
    isolateUserData(dir + "/user");
    ASSERT_TRUE(writeTestArchive(data + "/interface.pak",
                                 {{"fon", modelBytes({uprightQuad(-200, -200, 200, 200, 0)})}}));
    ASSERT_FALSE(writeTestPage(data + "/page07.pak", 7, false).empty());
    ASSERT_TRUE(writeTestArchive(data + "/langall.pak", {}));
    ASSERT_TRUE(writeTestArchive(data + "/langde.pak", {}));
    char* previous = getcwd(nullptr, 0);
    ASSERT_EQ(0, chdir(data.c_str()));

    // A player's file: German, music off, one page visited.
    Settings* before = defaultSettings();
    setLanguage(*before, 1);
    before->musicOn = false;
    selectPage(*before, 7);
    std::string configFile = dir + "/user/tintaria/pigmora-tintaria-cfg";
    ASSERT_EQ(0, mkdir((dir + "/user").c_str(), 0700));
    ASSERT_EQ(0, mkdir((dir + "/user/tintaria").c_str(), 0700));
    ASSERT_TRUE(writeFileBytes(configFile, savedBytes(*before)));

    startGame();
    EXPECT_EQ(configFile, configPath);
    ASSERT_NE(nullptr, settings);
    EXPECT_EQ(1, getLanguage(*settings));
    EXPECT_FALSE(settings->musicOn);
    EXPECT_EQ(7, currentPageId(*settings));
    ASSERT_EQ(5u, sceneRoot->children.size()) << "background, toolbar, pages, palette, game layer";
    EXPECT_EQ(gameLayer, sceneRoot->children[4]);
    EXPECT_TRUE(sceneRoot->children[0]->loaded) << "the background model";

    for (int i = 0; i < 3; ++i) runLoopIteration();
    EXPECT_FALSE(sceneRoot->closed);

    settings->soundOn = false;  // something the player changed during the run
    requestQuit();
    std::vector<uint8_t> written = readWholeFile(configFile);
    before->soundOn = false;
    EXPECT_EQ(savedBytes(*before), written) << "the exit saves the record as it stands";

    int frames = 0;
    while (!sceneRoot->closed && !cursorRoot->closed && frames < 100) {
        runLoopIteration();
        ++frames;
    }
    EXPECT_LE(frames, 4) << "both trees are two or three levels deep";
    EXPECT_GE(frames, 2);
    shutdownGame();
    EXPECT_EQ(nullptr, settings);
    EXPECT_EQ(0, archiveReferences("interface.pak")) << "every model reference was released";

    delete before;
    ASSERT_EQ(0, chdir(previous));
    free(previous);
    removeTree(dir);
}
