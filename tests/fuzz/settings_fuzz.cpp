// The settings reader on arbitrary bytes: whatever the file holds, the record
// keeps its invariants (one element per slot in every per-slot list, a valid or
// no current slot, a known language, each key once per list), the operations on
// the current slot stay inside it, and what is written back reads back the same.
#include "fuzz_target.h"

#include "store/store.h"

#include <unordered_set>

template <typename List>
static bool keysOnce(const List& list) {
    std::unordered_set<int32_t> keys;
    for (const auto& entry : list)
        if (!keys.insert(entry.key).second) return false;
    return true;
}

template <typename Lists>
static bool keysOnceInEach(const Lists& lists) {
    for (const auto& list : lists)
        if (!keysOnce(list)) return false;
    return true;
}

static void checkRecord(const Settings& s) {
    const size_t slots = s.pageIds.size();
    FUZZ_CHECK(s.freePaintNormal.size() == slots && s.freePaintDetailed.size() == slots);
    FUZZ_CHECK(s.numberPaintNormal.size() == slots && s.numberPaintDetailed.size() == slots);
    FUZZ_CHECK(s.numberDefaultPalette.size() == slots && s.numberCustomPalette.size() == slots);
    FUZZ_CHECK(s.currentSlot >= -1 && s.currentSlot < (int64_t)slots);
    FUZZ_CHECK(getLanguage(s) >= 0 && getLanguage(s) < LANGUAGE_COUNT);
    FUZZ_CHECK(keysOnce(s.freeCustomPalette) && keysOnce(s.freeDefaultPalette));
    FUZZ_CHECK(keysOnceInEach(s.freePaintNormal) && keysOnceInEach(s.freePaintDetailed));
    FUZZ_CHECK(keysOnceInEach(s.numberPaintNormal) && keysOnceInEach(s.numberPaintDetailed));
    FUZZ_CHECK(keysOnceInEach(s.numberCustomPalette) && keysOnceInEach(s.numberDefaultPalette));
}

// What the game asks of a freshly loaded record when it shows a picture.
static void usePicture(Settings& s) {
    double rgb[3];
    languageArchive(s);
    currentPageId(s);
    paletteColour(s, 0, rgb);
    regionColour(s, 1, rgb);
    isRegionPainted(s, 1);
    hasCustomColours(s);
    isPageComplete(s);
    isPageBlank(s);
    currentPaintCount(s);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Settings* loaded = loadSettings(data, size);
    checkRecord(*loaded);
    usePicture(*loaded);

    std::vector<uint8_t> written;
    saveSettings(*loaded, written);
    Settings* reloaded = loadSettings(written.data(), written.size());
    checkRecord(*reloaded);
    std::vector<uint8_t> rewritten;
    saveSettings(*reloaded, rewritten);
    FUZZ_CHECK(rewritten == written);

    delete reloaded;
    delete loaded;
    return 0;
}
