#include "support/scene_harness.h"

#include "audio/audio.h"
#include "resources/resources.h"
#include "shell/shell.h"
#include "store/store.h"
#include "support/test_support.h"

#include "fixtures/audio/wav_bytes.h"

#include <GL/gl.h>
#include <cstring>
#include <unistd.h>

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

static const char* const kSounds[] = {"button.wav", "scena.wav", "scena_false.wav", "finish.wav", "banka.wav"};

// ---------------------------------------------------------------------------
// Frames
// ---------------------------------------------------------------------------

void drawSceneFrame(SceneNode* hover, bool click, int key, unsigned ms) {
    frameTicks += ms;
    picker.hovered = hover;
    leftClicked = click;
    keyEventPending = key != 0;
    keyConsumed = false;
    keyEvent.keysym.sym = (SDLKey)key;
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -100.0f);
    drawNode(sceneRoot);
    flushDeferredMeshes();
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -100.0f);
    drawNode(cursorRoot);
    leftClicked = false;
    keyEventPending = false;
    picker.candidates.clear();
}

// ---------------------------------------------------------------------------
// Harness
// ---------------------------------------------------------------------------

void SceneHarness::SetUp() {
    testRenderer();
    dir = makeTempDir("scene");
    previousDir = getcwd(nullptr, 0);
    ASSERT_EQ(0, chdir(dir.c_str()));
    MeshSource unit = quadMesh(-0.5f, -0.5f, 0.5f, 0.5f, 0.0f, "");
    ASSERT_TRUE(writeTestArchive("interface.pak", {{"tubik_no_num", modelBytes({unit})},
                                                   {"lenta", modelBytes({unit})},
                                                   {"knopka_back", modelBytes({unit})},
                                                   {"buble1", modelBytes({unit})}}));
    std::vector<std::pair<std::string, std::vector<uint8_t>>> sounds;
    for (size_t i = 0; i < sizeof kSounds / sizeof kSounds[0]; ++i)
        sounds.push_back({kSounds[i], wav16(2, 22050, std::vector<int16_t>(200 * (i + 1), 1000))});
    sounds.push_back({"music.wav", wav16(2, 22050, std::vector<int16_t>(2000, 1000))});
    ASSERT_TRUE(writeTestArchive("sound.pak", sounds));
    ASSERT_TRUE(writeTestArchive("music.pak", {sounds.back()}));
    for (const char* name : {"langall.pak", "langen.pak", "langde.pak", "langes.pak", "langru.pak", "langfr.pak"})
        ASSERT_TRUE(writeTestArchive(name, {}));
    for (int id : {1, 7, 15}) {
        char name[32];
        snprintf(name, sizeof name, "page%02d.pak", id);
        writeTestPage(name, id, false);
        snprintf(name, sizeof name, "hpage%02d.pak", id);
        writeTestPage(name, id, true);
    }
    settings = defaultSettings();
    settings->musicOn = false;
    settings->showHelpAtStart = false;
    soundSystem = new SoundSystem();
    memset(soundChannels, 0, sizeof soundChannels);
    frameTicks = 10000;
}

void SceneHarness::TearDown() {
    destroyScene();
    delete settings;
    settings = nullptr;
    soundSystem->disabled = true;
    shutdownSound();
    picker.hovered = nullptr;
    picker.candidates.clear();
    dialogOpen = innerDialogOpen = false;
    EXPECT_EQ(0, chdir(previousDir));
    free(previousDir);
    removeTree(dir);
}

void SceneHarness::frame(SceneNode* hover, bool click, int key, unsigned ms) { drawSceneFrame(hover, click, key, ms); }

void SceneHarness::frames(int count) {
    for (int i = 0; i < count; ++i) frame();
}

void SceneHarness::click(SceneNode* node) {
    frame(node, true);
    frame();
}

std::vector<std::string> SceneHarness::takePlayed() {
    std::vector<std::string> played;
    for (SoundChannel& channel : soundChannels) {
        if (!channel.data) continue;
        for (size_t i = 0; i < soundSystem->cacheSamples.size(); ++i)
            if (soundSystem->cacheSamples[i].data == channel.data) played.push_back(soundSystem->cacheNames[i]);
    }
    memset(soundChannels, 0, sizeof soundChannels);
    return played;
}
