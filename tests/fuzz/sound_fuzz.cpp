// The sound-entry loader (SDL's WAV reader, then conversion to the device
// format) on arbitrary bytes: a converted sound is a buffer of which all
// bytes are readable, as the mixer reads them.
#include "fuzz_target.h"

#include "audio/audio.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (size_t)INT32_MAX) return 0;
    SoundSample sample;
    if (!convertSoundEntry(data, (int32_t)size, &sample)) return 0;
    FUZZ_CHECK(sample.data != nullptr);
    volatile unsigned sum = 0;
    for (uint32_t i = 0; i < sample.length; ++i) sum += sample.data[i];
    delete[] sample.data;
    return 0;
}
