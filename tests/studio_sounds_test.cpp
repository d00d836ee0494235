// The content builder's sounds, built by running the real tintaria-studio:
// every sound the game plays is in its archive and is a WAV file SDL reads;
// the effects are short, prompt and clean; the music is long and loops
// without a click; and a second build writes the same bytes.
#include "resources/resources.h"
#include "support/test_support.h"

#include <SDL/SDL.h>
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// A sound as SDL decoded it, reduced to its first channel.
struct DecodedSound {
    bool parsed;
    SDL_AudioSpec spec;
    std::vector<int16_t> samples;
    double seconds;
};

// The longest an effect may last, for a game whose sounds answer clicks.
struct EffectLimit {
    const char* entry;
    double maxSeconds;
};

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

const EffectLimit kEffects[] = {
    {"button.wav", 0.15}, {"scena.wav", 1.0}, {"scena_false.wav", 0.8}, {"finish.wav", 3.0}, {"banka.wav", 0.5},
};

// ---------------------------------------------------------------------------
// Helpers
// ---------------------------------------------------------------------------

std::string studioPath() {
    const char* tools = getenv("TINTARIA_TOOLS_DIR");
#ifdef TINTARIA_BINARY_DIR
    if (!tools) tools = TINTARIA_BINARY_DIR "/tools";
#endif
    return std::string(tools ? tools : ".") + "/tintaria-studio";
}

// Runs "tintaria-studio DIR sounds"; its exit status, -1 when it did not exit normally.
int runStudio(const std::string& outDir) {
    std::string tool = studioPath();
    fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        execl(tool.c_str(), tool.c_str(), outDir.c_str(), "sounds", (char*)nullptr);
        _exit(127);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

DecodedSound decode(const uint8_t* bytes, int32_t size) {
    DecodedSound sound = DecodedSound();
    Uint8* buffer = nullptr;
    Uint32 length = 0;
    SDL_RWops* reader = SDL_RWFromConstMem(bytes, size);
    if (!reader || !SDL_LoadWAV_RW(reader, 1, &sound.spec, &buffer, &length)) return sound;
    sound.parsed = true;
    if (sound.spec.format == AUDIO_S16LSB && sound.spec.channels > 0) {
        const int16_t* frames = reinterpret_cast<const int16_t*>(buffer);
        size_t count = length / (2 * sound.spec.channels);
        for (size_t i = 0; i < count; ++i) sound.samples.push_back(frames[i * sound.spec.channels]);
        sound.seconds = (double)count / sound.spec.freq;
    }
    SDL_FreeWAV(buffer);
    return sound;
}

double dbfs(double level) {
    return 20.0 * std::log10(std::max(level, 1.0) / 32768.0);
}

int peakOf(const std::vector<int16_t>& samples, size_t from, size_t to) {
    int peak = 0;
    for (size_t i = from; i < to && i < samples.size(); ++i) peak = std::max(peak, std::abs((int)samples[i]));
    return peak;
}

double meanOf(const std::vector<int16_t>& samples) {
    double sum = 0.0;
    for (int16_t s : samples) sum += s;
    return samples.empty() ? 0.0 : sum / samples.size();
}

// The given fraction (0..1) of the sample-to-sample steps are at most this large.
int stepPercentile(const std::vector<int16_t>& samples, double fraction) {
    std::vector<int> steps;
    for (size_t i = 1; i < samples.size(); ++i) steps.push_back(std::abs(samples[i] - samples[i - 1]));
    std::sort(steps.begin(), steps.end());
    return steps.empty() ? 0 : steps[(size_t)(fraction * (steps.size() - 1))];
}

// ---------------------------------------------------------------------------
// Fixture: one build of the sounds, made once for all the tests of a run
// ---------------------------------------------------------------------------

class StudioSounds : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = makeTempDir("studio-sounds");
        status = runStudio(dir);
        loadArchiveFile(&effects, (dir + "/sound.pak").c_str());
        loadArchiveFile(&music, (dir + "/music.pak").c_str());
    }
    static void TearDownTestSuite() {
        clearArchive(&effects);
        clearArchive(&music);
        removeTree(dir);
    }
    void SetUp() override {
        ASSERT_EQ(0, status) << studioPath() << " failed";
    }

    static DecodedSound effect(const char* entry) {
        int32_t size = 0;
        const uint8_t* bytes = findEntry(&effects, entry, &size);
        return bytes ? decode(bytes, size) : DecodedSound();
    }
    static DecodedSound tune() {
        int32_t size = 0;
        const uint8_t* bytes = findEntry(&music, "music.wav", &size);
        return bytes ? decode(bytes, size) : DecodedSound();
    }

    static std::string dir;
    static int status;
    static PakArchive effects, music;
};

std::string StudioSounds::dir;
int StudioSounds::status;
PakArchive StudioSounds::effects, StudioSounds::music;

// ---------------------------------------------------------------------------
// Tests
// ---------------------------------------------------------------------------

TEST_F(StudioSounds, EverySoundTheGamePlaysIsInItsArchive) {
    int32_t size = 0;
    for (const EffectLimit& e : kEffects) {
        EXPECT_NE(nullptr, findEntry(&effects, e.entry, &size)) << e.entry;
        EXPECT_GT(size, 44) << e.entry;
    }
    EXPECT_NE(nullptr, findEntry(&music, "music.wav", &size));
    EXPECT_GT(size, 44);
}

TEST_F(StudioSounds, EverySoundIsSixteenBitPcmThatSdlReads) {
    std::vector<std::pair<std::string, DecodedSound>> sounds;
    for (const EffectLimit& e : kEffects) sounds.push_back({e.entry, effect(e.entry)});
    sounds.push_back({"music.wav", tune()});
    for (const auto& named : sounds) {
        const DecodedSound& sound = named.second;
        ASSERT_TRUE(sound.parsed) << named.first << ": " << SDL_GetError();
        EXPECT_EQ(AUDIO_S16LSB, sound.spec.format) << named.first;
        EXPECT_TRUE(sound.spec.channels == 1 || sound.spec.channels == 2) << named.first;
        EXPECT_TRUE(sound.spec.freq == 22050 || sound.spec.freq == 44100) << named.first;
        EXPECT_FALSE(sound.samples.empty()) << named.first;
    }
}

TEST_F(StudioSounds, EffectsAreShortStartAtOnceAndEndInSilence) {
    for (const EffectLimit& e : kEffects) {
        DecodedSound sound = effect(e.entry);
        ASSERT_FALSE(sound.samples.empty()) << e.entry;
        EXPECT_LE(sound.seconds, e.maxSeconds) << e.entry;
        // A sound that answers a click must be heard within 20 ms of it.
        size_t onset = 0;
        while (onset < sound.samples.size() && dbfs(std::abs(sound.samples[onset])) < -30.0) ++onset;
        EXPECT_LT((double)onset / sound.spec.freq, 0.020) << e.entry;
        // Starting or stopping away from zero would click.
        EXPECT_LT(dbfs(std::abs(sound.samples.front())), -60.0) << e.entry;
        EXPECT_LT(dbfs(std::abs(sound.samples.back())), -60.0) << e.entry;
    }
}

TEST_F(StudioSounds, EffectsPeakNearMinusThreeDecibelsWithoutOffset) {
    for (const EffectLimit& e : kEffects) {
        DecodedSound sound = effect(e.entry);
        ASSERT_FALSE(sound.samples.empty()) << e.entry;
        double peak = dbfs(peakOf(sound.samples, 0, sound.samples.size()));
        EXPECT_LE(peak, -2.5) << e.entry;
        EXPECT_GE(peak, -7.0) << e.entry;
        EXPECT_LT(std::fabs(meanOf(sound.samples)), 32.0) << e.entry;
    }
}

TEST_F(StudioSounds, MusicIsLongQuieterThanTheEffectsAndNeverFallsSilent) {
    DecodedSound sound = tune();
    ASSERT_FALSE(sound.samples.empty());
    EXPECT_GE(sound.seconds, 40.0);
    EXPECT_LE(sound.seconds, 90.0);
    int loudestEffect = 0;
    for (const EffectLimit& e : kEffects) {
        DecodedSound other = effect(e.entry);
        loudestEffect = std::max(loudestEffect, peakOf(other.samples, 0, other.samples.size()));
    }
    double peak = dbfs(peakOf(sound.samples, 0, sound.samples.size()));
    EXPECT_LT(peak, dbfs(loudestEffect));
    EXPECT_GE(peak, -12.0);
    EXPECT_LT(std::fabs(meanOf(sound.samples)), 32.0);
    // A broken part of the score would leave a gap; the tune keeps playing.
    size_t second = (size_t)sound.spec.freq;
    for (size_t from = 0; from + second <= sound.samples.size(); from += second / 2)
        EXPECT_GT(dbfs(peakOf(sound.samples, from, from + second)), -30.0) << "around " << from / second << " s";
}

TEST_F(StudioSounds, MusicLoopsWithoutAClick) {
    DecodedSound sound = tune();
    const std::vector<int16_t>& s = sound.samples;
    const size_t around = 16;
    ASSERT_GT(s.size(), 2 * around + 2);
    int joint = std::abs(s.front() - s.back());
    // No larger than the steps on either side of the joint, nor than most steps of the tune.
    int nearby = 0;
    for (size_t i = 1; i <= around; ++i) {
        nearby = std::max(nearby, std::abs(s[i] - s[i - 1]));
        nearby = std::max(nearby, std::abs(s[s.size() - i] - s[s.size() - i - 1]));
    }
    EXPECT_LE(joint, nearby * 3 / 2) << "steps next to the joint reach " << nearby;
    EXPECT_LE(joint, stepPercentile(s, 0.9));
    // The mixer waits for its next buffer before it starts the loop again, so
    // the music stops and resumes there: both ends lie within a typical step of zero.
    int median = stepPercentile(s, 0.5);
    EXPECT_LE(std::abs(s.front()), median);
    EXPECT_LE(std::abs(s.back()), median);
}

TEST_F(StudioSounds, TwoBuildsWriteTheSameBytes) {
    std::string again = makeTempDir("studio-sounds-again");
    ASSERT_EQ(0, runStudio(again));
    for (const char* archive : {"sound.pak", "music.pak"}) {
        std::vector<uint8_t> first = readWholeFile(dir + "/" + archive);
        std::vector<uint8_t> second = readWholeFile(again + "/" + archive);
        ASSERT_FALSE(first.empty()) << archive;
        EXPECT_TRUE(first == second) << archive << " differs between two builds";
    }
    removeTree(again);
}

}  // namespace
