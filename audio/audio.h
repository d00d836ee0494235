// The sound mixer: WAV entries of "sound.pak" (effects) and "music.pak"
// (looping music), converted once to the device format, cached by name and
// mixed on up to five channels in SDL's audio callback.
#pragma once

#include <SDL/SDL.h>
#include <cstdint>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// The one format the device is opened with and every sound is converted to.
enum SoundDeviceFormat {
    SOUND_RATE = 22050,
    SOUND_SAMPLE_FORMAT = AUDIO_S16LSB,
    SOUND_CHANNELS = 2,
    SOUND_BUFFER_FRAMES = 512,
    SOUND_FRAME_BYTES = 4  // one stereo frame of 16-bit samples
};

enum {
    SOUND_CHANNEL_COUNT = 5,
    LOOP_VOLUME = 38,              // looping sounds (the music) play at 38/128
    EFFECT_VOLUME = SDL_MIX_MAXVOLUME
};

// One playing slot. Idle when position == length and loop is false. The main
// thread assigns all four fields under the audio lock; after that only the
// callback changes position and clears loop.
struct SoundChannel {
    const uint8_t* data;  // converted sample bytes, shared with the cache; null before first use
    uint32_t position;    // byte offset of the next byte to mix
    uint32_t length;      // byte length of the converted sample
    bool loop;
};

// A sound converted to the device format; the buffer is owned by the cache.
struct SoundSample {
    uint8_t* data;
    uint32_t length;
};

// The mixer's state on the main thread. The cache is two parallel lists in
// insertion order, keyed by the entry name alone (not by archive).
struct SoundSystem {
    bool disabled;  // no audio subsystem or no device: every request is ignored
    std::vector<std::string> cacheNames;
    std::vector<SoundSample> cacheSamples;
};

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

// The callback has no user data, so the channels it mixes live here.
extern SoundChannel soundChannels[SOUND_CHANNEL_COUNT];

// ---------------------------------------------------------------------------
// Device (main thread)
// ---------------------------------------------------------------------------

// Creates soundSystem and starts the device; without audio the system is created disabled.
void initSound();
// Stops the device, frees the cached sounds, idles the channels and deletes soundSystem (null after).
void shutdownSound();

// ---------------------------------------------------------------------------
// Sound entries (any thread; no device needed)
// ---------------------------------------------------------------------------

// The bytes of a WAV entry converted to the device format; false (nothing allocated) when they are
// no WAV SDL can read or convert, or last over ten minutes. A chunk stating more bytes than the
// entry holds is read as far as it goes. On success the caller owns out->data (delete[]).
bool convertSoundEntry(const uint8_t* bytes, int32_t size, SoundSample* out);

// ---------------------------------------------------------------------------
// Playing (main thread)
// ---------------------------------------------------------------------------

// Starts a sound on the first idle channel, subject to the sound and music switches;
// dropped when every channel is busy or the entry is missing or not a WAV.
void playSound(const char* name, bool loop);

// ---------------------------------------------------------------------------
// Mixing (audio thread)
// ---------------------------------------------------------------------------

// The device's fill callback: mixes every channel into a buffer of length bytes (user data ignored).
void mixChannels(void* userData, Uint8* stream, int length);
