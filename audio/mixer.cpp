// The sound mixer: opening the device, loading and converting sounds on first
// use, starting them on free channels, and the fill callback that mixes them.
#include "audio/audio.h"

#include "resources/resources.h"
#include "shell/shell.h"
#include "store/store.h"

#include <climits>
#include <cstring>

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

SoundChannel soundChannels[SOUND_CHANNEL_COUNT];

// Longest sound the mixer takes. The converted buffer grows with the length in
// time, not in bytes (a WAV of one frame per second is small but converts to a
// full-rate one), so this bounds it: ten minutes are some 53 MB.
static const uint64_t maximumSoundSeconds = 600;

// Sizes in a WAV file: the RIFF header ("RIFF", length, "WAVE") and a chunk header (name, length).
static const size_t riffHeaderBytes = 12;
static const size_t chunkHeaderBytes = 8;

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

// The main thread flips musicOn and searches for idle channels without the
// audio lock, while the callback reads the switch and advances positions.
// Those fields are therefore read and written as relaxed atomics: single
// untorn loads and stores, no ordering beyond what the audio lock gives the
// four assignments of a start.
template <typename T> static T loadRelaxed(const T& field) { return __atomic_load_n(&field, __ATOMIC_RELAXED); }
template <typename T> static void storeRelaxed(T& field, T value) { __atomic_store_n(&field, value, __ATOMIC_RELAXED); }

// Read afresh for each looping channel in each callback; no settings record means no music.
static bool musicSwitchOn() {
    const Settings* current = loadRelaxed(settings);
    return current && loadRelaxed(current->musicOn);
}

static bool isIdle(const SoundChannel& channel) {
    return loadRelaxed(channel.position) == loadRelaxed(channel.length) && !loadRelaxed(channel.loop);
}

static int findIdleChannel() {
    for (int i = 0; i < SOUND_CHANNEL_COUNT; ++i)
        if (isIdle(soundChannels[i])) return i;
    return -1;
}

static int findCachedSound(const SoundSystem& system, const char* name) {
    for (size_t i = 0; i < system.cacheNames.size(); ++i)
        if (system.cacheNames[i] == name) return (int)i;
    return -1;
}

// The bytes of a RIFF WAVE with no chunk stating more bytes than follow it:
// SDL's reader allocates a chunk's stated length before it reads the chunk, so
// a few damaged bytes could otherwise ask for gigabytes. A chunk cut short
// (a sound whose end is missing) is stated at the length that is there, which
// SDL would have read anyway; false when the bytes are no RIFF WAVE.
static bool wavWithChunksInside(const uint8_t* bytes, size_t size, std::vector<uint8_t>& out) {
    if (size < riffHeaderBytes || memcmp(bytes, "RIFF", 4) != 0 || memcmp(bytes + 8, "WAVE", 4) != 0) return false;
    out.assign(bytes, bytes + size);
    size_t at = riffHeaderBytes;
    while (size - at >= chunkHeaderBytes) {
        uint8_t* length = out.data() + at + 4;
        uint32_t stated = (uint32_t)length[0] | (uint32_t)length[1] << 8 | (uint32_t)length[2] << 16 |
                          (uint32_t)length[3] << 24;
        at += chunkHeaderBytes;
        if (stated > size - at) {
            const uint32_t present = (uint32_t)(size - at);
            for (int i = 0; i < 4; ++i) length[i] = (uint8_t)(present >> (8 * i));
            break;
        }
        // Chunks start on even offsets; the pad byte of the last one may be missing.
        at += stated + (stated & 1);
        if (at >= size) break;
    }
    return true;
}

// Whether the decoded samples last no longer than the mixer takes.
static bool wavDurationFits(const SDL_AudioSpec& format, Uint32 length) {
    const uint64_t frameBytes = (uint64_t)((format.format & 0xFF) / 8) * format.channels;
    if (frameBytes == 0 || format.freq <= 0) return false;
    return length / frameBytes <= maximumSoundSeconds * (uint64_t)format.freq;
}

// The four assignments of a start, under the lock so the callback never mixes a half-assigned channel.
static void startChannel(SoundChannel& channel, const SoundSample& sample, bool loop) {
    SDL_LockAudio();
    channel.data = sample.data;
    channel.length = sample.length;
    channel.position = 0;
    channel.loop = loop;
    SDL_UnlockAudio();
}

// ---------------------------------------------------------------------------
// Device
// ---------------------------------------------------------------------------

void initSound() {
    soundSystem = new SoundSystem();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) < 0) {
        soundSystem->disabled = true;
        return;
    }
    SDL_AudioSpec wanted;
    memset(&wanted, 0, sizeof wanted);
    wanted.freq = SOUND_RATE;
    wanted.format = SOUND_SAMPLE_FORMAT;
    wanted.channels = SOUND_CHANNELS;
    wanted.samples = SOUND_BUFFER_FRAMES;
    wanted.callback = mixChannels;
    // No obtained format is asked for: SDL then converts from exactly this one itself.
    if (SDL_OpenAudio(&wanted, nullptr) < 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        soundSystem->disabled = true;
        return;
    }
    SDL_PauseAudio(0);
}

void shutdownSound() {
    if (!soundSystem) return;
    if (!soundSystem->disabled) {
        SDL_CloseAudio();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    // The callback no longer runs: the channels can drop their pointers into the cache.
    memset(soundChannels, 0, sizeof soundChannels);
    for (SoundSample& sample : soundSystem->cacheSamples) delete[] sample.data;
    soundSystem->cacheNames.clear();
    soundSystem->cacheSamples.clear();
    delete soundSystem;
    soundSystem = nullptr;
}

// ---------------------------------------------------------------------------
// Sound entries
// ---------------------------------------------------------------------------

// The reader covers exactly a copy of the entry's bytes, so a damaged header
// cannot lead the parser beyond them.
bool convertSoundEntry(const uint8_t* bytes, int32_t size, SoundSample* out) {
    std::vector<uint8_t> wav;
    if (!bytes || size <= 0 || !wavWithChunksInside(bytes, (size_t)size, wav)) return false;
    SDL_RWops* reader = SDL_RWFromConstMem(wav.data(), size);
    if (!reader) return false;
    SDL_AudioSpec wavFormat;
    Uint8* wavBytes = nullptr;
    Uint32 wavLength = 0;
    if (!SDL_LoadWAV_RW(reader, 1, &wavFormat, &wavBytes, &wavLength)) return false;

    SDL_AudioCVT conversion;
    bool ok = wavDurationFits(wavFormat, wavLength) &&
              SDL_BuildAudioCVT(&conversion, wavFormat.format, wavFormat.channels, wavFormat.freq,
                                SOUND_SAMPLE_FORMAT, SOUND_CHANNELS, SOUND_RATE) >= 0;
    uint64_t bufferLength = (uint64_t)wavLength * (uint64_t)(ok ? conversion.len_mult : 0);
    ok = ok && wavLength <= INT_MAX && bufferLength <= INT_MAX;
    uint8_t* buffer = nullptr;
    if (ok) {
        buffer = new uint8_t[bufferLength > 0 ? bufferLength : 1];
        // A WAV without samples comes back without a buffer.
        if (wavLength > 0) memcpy(buffer, wavBytes, wavLength);
        conversion.buf = buffer;
        conversion.len = (int)wavLength;
        ok = SDL_ConvertAudio(&conversion) == 0 && conversion.len_cvt >= 0 &&
             (uint64_t)conversion.len_cvt <= bufferLength;
    }
    SDL_FreeWAV(wavBytes);
    if (!ok) {
        delete[] buffer;
        return false;
    }
    out->data = buffer;
    out->length = (uint32_t)conversion.len_cvt;
    return true;
}

// ---------------------------------------------------------------------------
// Playing
// ---------------------------------------------------------------------------

void playSound(const char* name, bool loop) {
    if (!settings || !(settings->soundOn || (loop && settings->musicOn))) return;
    if (!soundSystem || soundSystem->disabled) return;
    int channel = findIdleChannel();
    if (channel < 0) return;

    int cached = findCachedSound(*soundSystem, name);
    if (cached < 0) {
        // The archive reference taken here is never released: the archive stays for the whole run.
        int32_t size = 0;
        const uint8_t* bytes = getEntry(loop ? "music.pak" : "sound.pak", name, &size);
        SoundSample sample;
        if (!bytes || size <= 0 || !convertSoundEntry(bytes, size, &sample)) return;
        soundSystem->cacheNames.push_back(name);
        soundSystem->cacheSamples.push_back(sample);
        cached = (int)soundSystem->cacheSamples.size() - 1;
    }
    startChannel(soundChannels[channel], soundSystem->cacheSamples[cached], loop);
}

// ---------------------------------------------------------------------------
// Mixing
// ---------------------------------------------------------------------------

void mixChannels(void*, Uint8* stream, int length) {
    uint32_t available = length > 0 ? (uint32_t)length : 0;
    for (SoundChannel& channel : soundChannels) {
        if (channel.loop) {
            // A loop restarts only here, so a sample ending mid-buffer leaves the rest of it silent.
            if (channel.position == channel.length) storeRelaxed(channel.position, 0u);
            if (!musicSwitchOn()) {
                storeRelaxed(channel.loop, false);
                storeRelaxed(channel.position, channel.length);
            }
        }
        uint32_t n = channel.length - channel.position;
        if (n > available) n = available;
        if (n > 0)
            SDL_MixAudio(stream, channel.data + channel.position, n, channel.loop ? LOOP_VOLUME : EFFECT_VOLUME);
        storeRelaxed(channel.position, channel.position + n);
    }
}
