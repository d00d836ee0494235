// The real audio path: SDL's disk driver stands in for a sound card and
// records what the device plays into a file, which is then searched for the
// tone. Also the start-up without a usable device.
#include "audio/audio.h"
#include "fixtures/audio/wav_bytes.h"
#include "resources/resources.h"
#include "shell/shell.h"
#include "store/store.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Fixture: a temporary folder with the tone as music and as an effect
// ---------------------------------------------------------------------------

// The music: 200 frames of a 441 Hz sine at 11025 Hz, 25 frames a period. In
// the device format that is 400 frames of 50 each, shorter than one 512-frame
// callback, so the recording holds one burst per callback and silence between.
const int TONE_RATE = 11025;
const int TONE_FRAMES = 200;
const int TONE_PERIOD = 25;
const double TONE_AMPLITUDE = 16000;
const double DEVICE_FRAMES_PER_TONE_FRAME = (double)SOUND_RATE / TONE_RATE;

// A burst starts after at least this many quiet recorded frames: far more than
// a sine spends near zero, far fewer than the silence between bursts.
const int QUIET_RUN = 32;
const int LOUD = 1000;

class AudioDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        oldDir = cwd;
        dir = makeTempDir("audio-device");
        ASSERT_FALSE(dir.empty());
        ASSERT_EQ(chdir(dir.c_str()), 0);
        std::vector<int16_t> tone(TONE_FRAMES);
        for (int i = 0; i < TONE_FRAMES; ++i)
            tone[i] = (int16_t)std::lround(TONE_AMPLITUDE * std::sin(2 * M_PI * i / TONE_PERIOD));
        ASSERT_TRUE(writeSoundArchive("music.pak", {{"music.wav", wav16(1, TONE_RATE, tone)}}));
        ASSERT_TRUE(writeSoundArchive("sound.pak", {{"button.wav", wav16(1, TONE_RATE, tone)}}));
        record.soundOn = true;
        record.musicOn = true;
        settings = &record;
    }

    void TearDown() override {
        shutdownSound();
        settings = nullptr;
        for (const char* name : {"sound.pak", "music.pak"})
            while (archiveReferences(name) > 0) releaseArchive(name);
        unsetenv("SDL_AUDIODRIVER");
        unsetenv("SDL_DISKAUDIOFILE");
        unsetenv("SDL_DISKAUDIODELAY");
        if (!oldDir.empty()) {
            EXPECT_EQ(chdir(oldDir.c_str()), 0);
        }
        removeTree(dir);
    }

    Settings record{};
    std::string dir, oldDir;
};

// ---------------------------------------------------------------------------
// Helpers
// ---------------------------------------------------------------------------

long fileSize(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? (long)info.st_size : -1;
}

// Recorded frames where a burst of sound begins after a quiet run.
std::vector<size_t> burstStarts(const std::vector<int16_t>& left) {
    std::vector<size_t> starts;
    int quiet = 0;
    for (size_t i = 0; i < left.size(); ++i) {
        if (std::abs(left[i]) <= LOUD) {
            ++quiet;
            continue;
        }
        if (quiet >= QUIET_RUN) starts.push_back(i);
        quiet = 0;
    }
    return starts;
}

// Mean distance between rising zero crossings in [from, to), in recorded frames; 0 when fewer than two.
double meanPeriod(const std::vector<int16_t>& left, size_t from, size_t to) {
    double first = -1, last = -1;
    int crossings = 0;
    for (size_t i = from + 1; i < to && i < left.size(); ++i) {
        if (left[i - 1] < 0 && left[i] >= 0) {
            double at = (i - 1) + (double)-left[i - 1] / (left[i] - left[i - 1]);
            if (first < 0) first = at;
            last = at;
            ++crossings;
        }
    }
    return crossings < 2 ? 0 : (last - first) / (crossings - 1);
}

// ---------------------------------------------------------------------------
// Tests
// ---------------------------------------------------------------------------

TEST_F(AudioDeviceTest, WithoutAUsableDeviceTheGameRunsSilently) {
    struct Row {
        const char* driver;
        const char* file;  // disk driver output; a folder that does not exist makes opening fail
    } rows[] = {
        {"tintaria-no-such-driver", nullptr},
        {"disk", "/nonexistent-tintaria-folder/out.raw"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.driver);
        setenv("SDL_AUDIODRIVER", row.driver, 1);
        if (row.file) setenv("SDL_DISKAUDIOFILE", row.file, 1);
        initSound();
        ASSERT_NE(soundSystem, nullptr);
        EXPECT_TRUE(soundSystem->disabled);
        playSound("button.wav", false);
        playSound("music.wav", true);
        EXPECT_EQ(archiveReferences("sound.pak"), 0);
        EXPECT_EQ(archiveReferences("music.pak"), 0);
        shutdownSound();
        EXPECT_EQ(soundSystem, nullptr);
        EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);
    }
}

TEST_F(AudioDeviceTest, DiskDriverRecordsTheMusicRestartedAtEveryCallback) {
    std::string output = dir + "/device.raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", output.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);  // write as fast as the callback fills, not in real time

    initSound();
    ASSERT_NE(soundSystem, nullptr);
    ASSERT_FALSE(soundSystem->disabled);
    long before = fileSize(output);
    playSound("music.wav", true);
    // Wait for a generous stretch of recording after the start; the bound only ends a stuck device.
    const long wanted = before + (1L << 20);
    for (int waited = 0; fileSize(output) < wanted && waited < 30000; waited += 10) SDL_Delay(10);
    shutdownSound();
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);

    // The disk driver records the device as sdl12-compat opened it: 16-bit
    // stereo at a rate of its own, at least ours. Only ratios are compared.
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(readFileBytes(output.c_str(), bytes));
    ASSERT_GE((long)bytes.size(), wanted);
    std::vector<int16_t> left(bytes.size() / 4), right(bytes.size() / 4);
    for (size_t i = 0; i < left.size(); ++i) {
        left[i] = (int16_t)(bytes[4 * i] | bytes[4 * i + 1] << 8);
        right[i] = (int16_t)(bytes[4 * i + 2] | bytes[4 * i + 3] << 8);
    }

    std::vector<size_t> starts = burstStarts(left);
    ASSERT_GE(starts.size(), 20u);
    // Bursts recur once per callback: that spacing is the recording's measure of 512 device frames.
    double spacing = (double)(starts[starts.size() - 1] - starts[1]) / (starts.size() - 2);
    for (size_t i = 2; i < starts.size(); ++i) EXPECT_NEAR((double)(starts[i] - starts[i - 1]), spacing, 2.0);
    double scale = spacing / SOUND_BUFFER_FRAMES;
    ASSERT_GE(scale, 0.99);

    size_t from = starts[1], to = starts[2];
    size_t lastLoud = from;
    int peak = 0;
    for (size_t i = from; i < to; ++i) {
        if (std::abs(left[i]) > LOUD) lastLoud = i;
        peak = std::max(peak, std::abs((int)left[i]));
        EXPECT_NEAR(left[i], right[i], 2);
    }
    double toneFrames = TONE_FRAMES * DEVICE_FRAMES_PER_TONE_FRAME;
    EXPECT_NEAR((lastLoud - from) / scale, toneFrames, 8);
    EXPECT_NEAR(meanPeriod(left, from, from + (size_t)(0.9 * toneFrames * scale)) / scale,
                TONE_PERIOD * DEVICE_FRAMES_PER_TONE_FRAME, 0.5);
    EXPECT_NEAR(peak, TONE_AMPLITUDE * LOOP_VOLUME / SDL_MIX_MAXVOLUME, 0.05 * TONE_AMPLITUDE * LOOP_VOLUME / 128);
}

}  // namespace
