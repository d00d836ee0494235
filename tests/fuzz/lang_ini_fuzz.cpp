// The "lang.ini" reader on arbitrary text: it reads only the bytes it is given
// (no terminator is assumed) and always names one of the languages.
#include "fuzz_target.h"

#include "store/store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int language = parseDefaultLanguage((const char*)data, size);
    FUZZ_CHECK(language >= 0 && language < LANGUAGE_COUNT);
    return 0;
}
