// The mixer's arithmetic, driven by calling the fill callback directly: no
// device is opened; a SoundSystem record stands in for an enabled one.
#include "audio/audio.h"
#include "fixtures/audio/wav_bytes.h"
#include "resources/resources.h"
#include "shell/shell.h"
#include "store/store.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Fixture: a temporary folder holding the archives, switches on, no device
// ---------------------------------------------------------------------------

const int BUFFER_BYTES = SOUND_BUFFER_FRAMES * SOUND_FRAME_BYTES;
const int16_t TONE = 1280;                                  // divisible by 128: volume scaling is exact
const int16_t LOOPED_TONE = TONE * LOOP_VOLUME / SDL_MIX_MAXVOLUME;  // 380

class MixerTest : public ::testing::Test {
protected:
    void SetUp() override {
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        oldDir = cwd;
        dir = makeTempDir("audio");
        ASSERT_FALSE(dir.empty());
        ASSERT_EQ(chdir(dir.c_str()), 0);
        record.soundOn = true;
        record.musicOn = true;
        settings = &record;
        memset(soundChannels, 0, sizeof soundChannels);
        soundSystem = new SoundSystem();
    }

    void TearDown() override {
        shutdownSound();
        settings = nullptr;
        // The mixer never releases its archive references; drop them so the next test reads its own files.
        for (const char* name : {"sound.pak", "music.pak"})
            while (archiveReferences(name) > 0) releaseArchive(name);
        if (!oldDir.empty()) {
            EXPECT_EQ(chdir(oldDir.c_str()), 0);
        }
        removeTree(dir);
    }

    void writeArchives(const ArchiveEntries& sounds, const ArchiveEntries& music) {
        ASSERT_TRUE(writeSoundArchive("sound.pak", sounds));
        ASSERT_TRUE(writeSoundArchive("music.pak", music));
    }

    // One fill of the callback over a silent buffer; the result as 16-bit samples.
    std::vector<int16_t> mix(int bytes = BUFFER_BYTES) {
        std::vector<int16_t> out(bytes / 2, 0);
        mixChannels(nullptr, reinterpret_cast<Uint8*>(out.data()), bytes);
        return out;
    }

    int busyChannels() {
        int busy = 0;
        for (const SoundChannel& c : soundChannels) busy += !(c.position == c.length && !c.loop);
        return busy;
    }

    Settings record{};
    std::string dir, oldDir;
};

// ---------------------------------------------------------------------------
// Helpers
// ---------------------------------------------------------------------------

// A device-format WAV (22050 Hz stereo 16-bit) holding one constant value for some frames.
std::vector<uint8_t> constantWav(int frames, int16_t value) {
    return wav16(2, SOUND_RATE, std::vector<int16_t>(2 * frames, value));
}

// Frames of the buffer, from the start, whose two samples both equal value.
int leadingFramesEqual(const std::vector<int16_t>& samples, int16_t value) {
    size_t i = 0;
    while (i + 1 < samples.size() && samples[i] == value && samples[i + 1] == value) i += 2;
    return (int)(i / 2);
}

bool allSilent(const std::vector<int16_t>& samples, size_t fromFrame) {
    for (size_t i = 2 * fromFrame; i < samples.size(); ++i)
        if (samples[i] != 0) return false;
    return true;
}

// ---------------------------------------------------------------------------
// Switches and volume
// ---------------------------------------------------------------------------

TEST_F(MixerTest, SwitchesGateRequestsAndSetTheVolume) {
    writeArchives({{"beep.wav", constantWav(600, TONE)}}, {{"music.wav", constantWav(600, TONE)}});
    struct Row {
        bool soundOn, musicOn, loop;
        bool starts;          // a channel is taken by the request
        int16_t firstSample;  // what the next callback mixes
        bool busyAfter;       // the channel still plays after that callback
    } rows[] = {
        {true, true, false, true, TONE, true},
        {true, true, true, true, LOOPED_TONE, true},
        {false, true, false, false, 0, false},
        {false, true, true, true, LOOPED_TONE, true},
        {true, false, false, true, TONE, true},
        {true, false, true, true, 0, false},  // taken, then stopped by the callback
        {false, false, false, false, 0, false},
        {false, false, true, false, 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << "soundOn " << row.soundOn << " musicOn " << row.musicOn << " loop "
                                          << row.loop);
        memset(soundChannels, 0, sizeof soundChannels);
        record.soundOn = row.soundOn;
        record.musicOn = row.musicOn;
        playSound(row.loop ? "music.wav" : "beep.wav", row.loop);
        EXPECT_EQ(busyChannels(), row.starts ? 1 : 0);
        std::vector<int16_t> out = mix();
        EXPECT_EQ(out[0], row.firstSample);
        EXPECT_EQ(out[1], row.firstSample);
        EXPECT_EQ(busyChannels(), row.busyAfter ? 1 : 0);
    }
}

TEST_F(MixerTest, ClearingMusicStopsLoopsButNotEffectsAndSettingItResumesNothing) {
    writeArchives({{"beep.wav", constantWav(2000, TONE)}}, {{"music.wav", constantWav(2000, TONE)}});
    playSound("music.wav", true);
    playSound("beep.wav", false);
    EXPECT_EQ(mix()[0], TONE + LOOPED_TONE);

    record.musicOn = false;
    EXPECT_EQ(mix()[0], TONE);
    EXPECT_FALSE(soundChannels[0].loop);
    EXPECT_EQ(soundChannels[0].position, soundChannels[0].length);

    record.musicOn = true;
    EXPECT_EQ(mix()[0], TONE);
    EXPECT_EQ(busyChannels(), 1);
}

TEST_F(MixerTest, OneShotPlaysToItsEndEvenWhenSoundIsSwitchedOff) {
    writeArchives({{"beep.wav", constantWav(600, TONE)}}, {});
    playSound("beep.wav", false);
    std::vector<int16_t> first = mix();
    record.soundOn = false;
    std::vector<int16_t> second = mix();
    std::vector<int16_t> third = mix();

    EXPECT_EQ(leadingFramesEqual(first, TONE), SOUND_BUFFER_FRAMES);
    EXPECT_EQ(leadingFramesEqual(second, TONE), 600 - SOUND_BUFFER_FRAMES);
    EXPECT_TRUE(allSilent(second, 600 - SOUND_BUFFER_FRAMES));
    EXPECT_TRUE(allSilent(third, 0));
    EXPECT_EQ(busyChannels(), 0);
}

// ---------------------------------------------------------------------------
// Looping
// ---------------------------------------------------------------------------

TEST_F(MixerTest, LoopRewindsOnlyAtTheStartOfACallback) {
    struct Row {
        int frames;
        std::vector<int> tonePerCallback;  // leading frames of music in each successive buffer
    } rows[] = {
        {100, {100, 100, 100}},
        {SOUND_BUFFER_FRAMES, {512, 512, 512}},
        {600, {512, 88, 512, 88}},
        {1100, {512, 512, 76, 512}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.frames << " frames");
        std::string name = "loop" + std::to_string(row.frames) + ".wav";
        writeArchives({}, {{name, constantWav(row.frames, TONE)}});
        while (archiveReferences("music.pak") > 0) releaseArchive("music.pak");
        memset(soundChannels, 0, sizeof soundChannels);
        playSound(name.c_str(), true);
        for (int expected : row.tonePerCallback) {
            std::vector<int16_t> out = mix();
            EXPECT_EQ(leadingFramesEqual(out, LOOPED_TONE), expected);
            EXPECT_TRUE(allSilent(out, expected));
        }
    }
}

// ---------------------------------------------------------------------------
// Channels
// ---------------------------------------------------------------------------

TEST_F(MixerTest, SixthRequestIsDroppedWithoutCuttingOffThePlayingFive) {
    writeArchives({{"beep.wav", constantWav(600, TONE)}}, {});
    for (int i = 0; i < SOUND_CHANNEL_COUNT; ++i) playSound("beep.wav", false);
    EXPECT_EQ(busyChannels(), SOUND_CHANNEL_COUNT);
    EXPECT_EQ(mix()[0], SOUND_CHANNEL_COUNT * TONE);

    playSound("beep.wav", false);
    for (const SoundChannel& c : soundChannels) EXPECT_EQ(c.position, (uint32_t)BUFFER_BYTES);
    std::vector<int16_t> tail = mix();
    EXPECT_EQ(leadingFramesEqual(tail, SOUND_CHANNEL_COUNT * TONE), 600 - SOUND_BUFFER_FRAMES);
    EXPECT_TRUE(allSilent(tail, 600 - SOUND_BUFFER_FRAMES));

    // Once they have finished, the first channel is free again.
    playSound("beep.wav", false);
    EXPECT_EQ(busyChannels(), 1);
    EXPECT_EQ(soundChannels[0].position, 0u);
}

TEST_F(MixerTest, ChannelsPlayingOneSoundShareOneCachedBuffer) {
    writeArchives({{"beep.wav", constantWav(600, TONE)}}, {});
    playSound("beep.wav", false);
    playSound("beep.wav", false);
    ASSERT_EQ(soundSystem->cacheNames.size(), 1u);
    EXPECT_EQ(soundChannels[0].data, soundSystem->cacheSamples[0].data);
    EXPECT_EQ(soundChannels[1].data, soundSystem->cacheSamples[0].data);
    EXPECT_EQ(archiveReferences("sound.pak"), 1);  // the entry is read once
}

// ---------------------------------------------------------------------------
// Cache
// ---------------------------------------------------------------------------

TEST_F(MixerTest, CacheIsKeyedByNameAloneWhicheverArchiveCameFirst) {
    const int16_t musicTone = 2 * TONE;
    writeArchives({{"shared.wav", constantWav(600, TONE)}}, {{"shared.wav", constantWav(600, musicTone)}});
    struct Row {
        bool firstLoop;
        int16_t mixed;  // both channels play the first archive's bytes
        const char* untouched;
    } rows[] = {
        {false, TONE + LOOPED_TONE, "music.pak"},
        {true, (int16_t)(musicTone * LOOP_VOLUME / SDL_MIX_MAXVOLUME + musicTone), "sound.pak"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.firstLoop ? "music first" : "effect first");
        shutdownSound();
        soundSystem = new SoundSystem();
        for (const char* name : {"sound.pak", "music.pak"})
            while (archiveReferences(name) > 0) releaseArchive(name);
        playSound("shared.wav", row.firstLoop);
        playSound("shared.wav", !row.firstLoop);
        EXPECT_EQ(soundSystem->cacheNames.size(), 1u);
        EXPECT_EQ(archiveReferences(row.untouched), 0);
        EXPECT_EQ(mix()[0], row.mixed);
    }
}

// ---------------------------------------------------------------------------
// Conversion
// ---------------------------------------------------------------------------

TEST_F(MixerTest, SoundsAreConvertedToTheDeviceFormat) {
    struct Row {
        const char* name;
        std::vector<uint8_t> wav;
        uint32_t convertedBytes;
    } rows[] = {
        {"stereo22050.wav", wav16(2, 22050, std::vector<int16_t>(2000, TONE)), 4000},
        {"mono22050.wav", wav16(1, 22050, std::vector<int16_t>(1000, TONE)), 4000},
        {"mono11025.wav", wav16(1, 11025, std::vector<int16_t>(1000, TONE)), 8000},
        {"stereo44100.wav", wav16(2, 44100, std::vector<int16_t>(2000, TONE)), 2000},
        {"unsigned8.wav", wavFile(WavFormat{1, 1, 22050, 8}, std::vector<uint8_t>(1000, 128 + TONE / 256)), 4000},
    };
    ArchiveEntries entries;
    for (const Row& row : rows) entries.push_back({row.name, row.wav});
    writeArchives(entries, {});
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        memset(soundChannels, 0, sizeof soundChannels);
        playSound(row.name, false);
        EXPECT_EQ(soundChannels[0].length, row.convertedBytes);
        // Well inside the sound, away from any resampling edge: both sides carry the tone.
        std::vector<int16_t> out = mix(256 * SOUND_FRAME_BYTES);
        EXPECT_NEAR(out[2 * 200], TONE, TONE / 100);
        EXPECT_NEAR(out[2 * 200 + 1], TONE, TONE / 100);
    }
}

// ---------------------------------------------------------------------------
// Bad entries and a disabled system
// ---------------------------------------------------------------------------

TEST_F(MixerTest, MissingOrNonWavEntryIsSkipped) {
    std::vector<uint8_t> good = constantWav(600, TONE);
    std::vector<uint8_t> cutHeader(good.begin(), good.begin() + 40);
    std::vector<uint8_t> data = sampleBytes(std::vector<int16_t>(1200, TONE));
    struct Row {
        const char* name;
        std::vector<uint8_t> bytes;
    } rows[] = {
        {"empty.wav", {}},
        {"text.wav", {'n', 'o', 't', ' ', 'a', ' ', 'w', 'a', 'v', 'e'}},
        {"riffonly.wav", {'R', 'I', 'F', 'F'}},
        {"cutheader.wav", cutHeader},
        {"mpeg.wav", wavFile(WavFormat{0x55, 2, 22050, 16}, data)},
        {"nochannels.wav", wavFile(WavFormat{1, 0, 22050, 16}, data)},
        {"norate.wav", wavFile(WavFormat{1, 2, 0, 16}, data)},
        {"twelvebit.wav", wavFile(WavFormat{1, 2, 22050, 12}, data)},
    };
    ArchiveEntries entries;
    for (const Row& row : rows) entries.push_back({row.name, row.bytes});
    entries.push_back({"good.wav", good});
    writeArchives(entries, entries);
    for (const Row& row : rows) {
        for (bool loop : {false, true}) {
            SCOPED_TRACE(::testing::Message() << row.name << (loop ? " looping" : ""));
            playSound(row.name, loop);
            EXPECT_EQ(busyChannels(), 0);
            EXPECT_TRUE(soundSystem->cacheNames.empty());
        }
    }
    playSound("absent.wav", false);
    playSound("absent.wav", true);
    EXPECT_EQ(busyChannels(), 0);
    EXPECT_TRUE(soundSystem->cacheNames.empty());

    // No channel was used up by the failures.
    playSound("good.wav", false);
    EXPECT_EQ(soundChannels[0].length, 600u * SOUND_FRAME_BYTES);
}

TEST_F(MixerTest, DataChunkLongerThanTheEntryPlaysOnlyTheBytesPresent) {
    // Stated lengths up to the largest a size word holds: none may be taken at its word.
    std::vector<uint8_t> data = sampleBytes(std::vector<int16_t>(2 * 300, TONE));
    for (int64_t stated : {int64_t(1) << 24, int64_t(0x7FFFFFFF), int64_t(0xFFFFFFF0)}) {
        SCOPED_TRACE(stated);
        memset(soundChannels, 0, sizeof soundChannels);
        shutdownSound();
        soundSystem = new SoundSystem();
        while (archiveReferences("sound.pak") > 0) releaseArchive("sound.pak");
        writeArchives({{"short.wav", wavFile(WavFormat{1, 2, 22050, 16}, data, stated)}}, {});
        playSound("short.wav", false);
        uint32_t frames = soundChannels[0].length / SOUND_FRAME_BYTES;
        EXPECT_GT(frames, 0u);
        EXPECT_LE(soundChannels[0].length, data.size());
        std::vector<int16_t> out = mix();
        EXPECT_EQ(leadingFramesEqual(out, TONE), (int)frames);
        EXPECT_TRUE(allSilent(out, frames));
    }
}

// Converted, a sound takes its length in time at the device rate, however few bytes it has.
TEST_F(MixerTest, SoundsOfUpToTenMinutesAreTaken) {
    struct Row {
        const char* name;
        uint32_t rate;
        int frames;
        bool taken;
    } rows[] = {
        {"ten_minutes.wav", 1, 600, true},
        {"longer.wav", 1, 601, false},
        {"longer_at_8000.wav", 8000, 8000 * 600 + 1, false},
    };
    ArchiveEntries entries;
    for (const Row& row : rows)
        entries.push_back({row.name, wav16(1, row.rate, std::vector<int16_t>((size_t)row.frames, TONE))});
    writeArchives(entries, {});
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        memset(soundChannels, 0, sizeof soundChannels);
        playSound(row.name, false);
        EXPECT_EQ(busyChannels(), row.taken ? 1 : 0);
        if (row.taken) {
            EXPECT_NEAR((double)soundChannels[0].length, 600.0 * SOUND_RATE * SOUND_FRAME_BYTES,
                        SOUND_RATE * SOUND_FRAME_BYTES);
        }
    }
}

TEST_F(MixerTest, DisabledSystemTouchesNoArchive) {
    writeArchives({{"beep.wav", constantWav(600, TONE)}}, {{"music.wav", constantWav(600, TONE)}});
    soundSystem->disabled = true;
    playSound("beep.wav", false);
    playSound("music.wav", true);
    EXPECT_EQ(busyChannels(), 0);
    EXPECT_EQ(archiveReferences("sound.pak"), 0);
    EXPECT_EQ(archiveReferences("music.pak"), 0);
}

}  // namespace
