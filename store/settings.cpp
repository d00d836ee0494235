// The settings record in play: the interface language and "lang.ini", page
// slots, the current palette and the painted regions of the current slot.
//
// Operations that work on the current slot do nothing (or answer as for an
// unpainted region) when there is none, so a call out of order cannot reach
// past the per-slot lists.

#include "store/store.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

namespace {

// One interface language: its code, the archive of its dialog images and the
// "lang.ini" word that names it.
struct LanguageInfo {
    const char* code;
    const char* archive;
    const char* iniValue;
};

}  // namespace

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

// Indexed by language number; 0 is the fallback for anything unknown.
static const LanguageInfo LANGUAGES[LANGUAGE_COUNT] = {
    {"en", "langen.pak", "default=en"},
    {"de", "langde.pak", "default=de"},
    {"es", "langes.pak", "default=es"},
    {"ru", "langru.pak", "default=ru"},
    {"fr", "langfr.pak", "default=fr"},
};

static const char* const LANGUAGE_FILE = "lang.ini";

// "lang.ini" holds one short line or two; what lies beyond this many bytes is
// ignored as if the file ended there.
static const size_t LANGUAGE_FILE_LIMIT = 64 * 1024;

static const double WHITE[3] = {1.0, 1.0, 1.0};

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

static bool isLanguageIndex(int index) {
    return index >= 0 && index < LANGUAGE_COUNT;
}

// The whitespace of a formatted stream read in the C locale.
static bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// Finds the next whitespace-separated word at or after *pos; false when none is left.
static bool nextWord(const char* text, size_t size, size_t* pos, size_t* start, size_t* length) {
    size_t i = *pos;
    while (i < size && isBlank(text[i])) ++i;
    if (i == size) return false;
    *start = i;
    while (i < size && !isBlank(text[i])) ++i;
    *length = i - *start;
    *pos = i;
    return true;
}

static bool hasSlot(const Settings& s) {
    return s.currentSlot >= 0 && size_t(s.currentSlot) < s.pageIds.size();
}

static void copyColour(double rgb[3], double r, double g, double b) {
    rgb[0] = r;
    rgb[1] = g;
    rgb[2] = b;
}

static void setEntryColour(ColourEntry& entry, double r, double g, double b) {
    entry.r = r;
    entry.g = g;
    entry.b = b;
}

static bool isWhite(double r, double g, double b) {
    return r == 1.0 && g == 1.0 && b == 1.0;
}

// The first entry with the key, const when the list is; null when there is none.
template <typename List>
static auto findEntry(List& list, int key) -> decltype(list.data()) {
    for (auto& entry : list)
        if (entry.key == key) return &entry;
    return nullptr;
}

static void setColourEntry(ColourList& list, int key, double r, double g, double b) {
    ColourEntry* entry = findEntry(list, key);
    if (entry) {
        setEntryColour(*entry, r, g, b);
    } else {
        list.push_back(ColourEntry{key, r, g, b});
    }
}

// The accessors below serve both const and mutable records: S is Settings
// or const Settings, and the list pointer they return has the same constness.

// The custom and the default list of the current palette; null when the
// palette belongs to a slot and there is none.
template <typename S>
static auto customPalette(S& s) -> decltype(&s.freeCustomPalette) {
    if (!s.numbersMode) return &s.freeCustomPalette;
    return hasSlot(s) ? &s.numberCustomPalette[s.currentSlot] : nullptr;
}

template <typename S>
static auto defaultPalette(S& s) -> decltype(&s.freeDefaultPalette) {
    if (!s.numbersMode) return &s.freeDefaultPalette;
    return hasSlot(s) ? &s.numberDefaultPalette[s.currentSlot] : nullptr;
}

// The current paint list is a number list in colour-by-number mode and a
// colour list in free mode; each accessor answers null in the other mode or
// without a slot.
template <typename S>
static auto numberPaintList(S& s) -> decltype(&s.numberPaintNormal[0]) {
    if (!s.numbersMode || !hasSlot(s)) return nullptr;
    return s.detailedPictures ? &s.numberPaintDetailed[s.currentSlot]
                              : &s.numberPaintNormal[s.currentSlot];
}

template <typename S>
static auto freePaintList(S& s) -> decltype(&s.freePaintNormal[0]) {
    if (s.numbersMode || !hasSlot(s)) return nullptr;
    return s.detailedPictures ? &s.freePaintDetailed[s.currentSlot]
                              : &s.freePaintNormal[s.currentSlot];
}

// ---------------------------------------------------------------------------
// Language
// ---------------------------------------------------------------------------

int readDefaultLanguage() {
    FILE* file = std::fopen(LANGUAGE_FILE, "rb");
    if (!file) return 0;
    // Read in pieces so that the buffer grows with the file, not to the limit.
    std::vector<char> text;
    char piece[1024];
    size_t got;
    while (text.size() < LANGUAGE_FILE_LIMIT &&
           (got = std::fread(piece, 1, std::min(sizeof piece, LANGUAGE_FILE_LIMIT - text.size()), file)) > 0)
        text.insert(text.end(), piece, piece + got);
    std::fclose(file);
    return parseDefaultLanguage(text.data(), text.size());
}

// The word that counts is the second one, or the first when there is only one.
int parseDefaultLanguage(const char* text, size_t size) {
    if (!text) return 0;
    size_t pos = 0, start = 0, length = 0;
    if (!nextWord(text, size, &pos, &start, &length)) return 0;
    nextWord(text, size, &pos, &start, &length);
    for (int index = 0; index < LANGUAGE_COUNT; ++index) {
        const char* value = LANGUAGES[index].iniValue;
        if (length == std::strlen(value) && std::memcmp(text + start, value, length) == 0)
            return index;
    }
    return 0;
}

int getLanguage(const Settings& s) {
    return s.language;
}

// An index outside the table is ignored: every reader of the language relies
// on it naming one of the five.
void setLanguage(Settings& s, int index) {
    if (isLanguageIndex(index)) s.language = index;
}

const char* languageArchive(const Settings& s) {
    return LANGUAGES[isLanguageIndex(s.language) ? s.language : 0].archive;
}

const char* languageCode(int index) {
    return LANGUAGES[isLanguageIndex(index) ? index : 0].code;
}

// ---------------------------------------------------------------------------
// Pages and palettes
// ---------------------------------------------------------------------------

void setRegionCount(Settings& s, unsigned count) {
    s.regionCount = count;
}

void selectPage(Settings& s, int pageId) {
    for (size_t slot = 0; slot < s.pageIds.size(); ++slot) {
        if (s.pageIds[slot] == pageId) {
            s.currentSlot = int32_t(slot);
            return;
        }
    }
    s.pageIds.push_back(pageId);
    s.freePaintNormal.push_back(ColourList());
    s.freePaintDetailed.push_back(ColourList());
    s.numberPaintNormal.push_back(NumberList());
    s.numberPaintDetailed.push_back(NumberList());
    s.numberCustomPalette.push_back(ColourList());
    s.numberDefaultPalette.push_back(ColourList());
    s.currentSlot = int32_t(s.pageIds.size() - 1);
}

int currentPageId(const Settings& s) {
    return hasSlot(s) ? s.pageIds[s.currentSlot] : 0;
}

// A number with neither a custom nor a default colour shows white, the colour
// of an unpainted region, so a missing palette entry is visible but harmless.
void paletteColour(const Settings& s, int number, double rgb[3]) {
    const ColourList* lists[2] = {customPalette(s), defaultPalette(s)};
    for (const ColourList* list : lists) {
        const ColourEntry* entry = list ? findEntry(*list, number) : nullptr;
        if (entry) {
            copyColour(rgb, entry->r, entry->g, entry->b);
            return;
        }
    }
    copyColour(rgb, WHITE[0], WHITE[1], WHITE[2]);
}

void setDefaultColour(Settings& s, int number, double r, double g, double b) {
    ColourList* list = defaultPalette(s);
    if (list) setColourEntry(*list, number, r, g, b);
}

void setCustomColour(Settings& s, int number, double r, double g, double b) {
    ColourList* list = customPalette(s);
    if (list) setColourEntry(*list, number, r, g, b);
}

bool hasCustomColours(const Settings& s) {
    if (!hasSlot(s)) return false;
    return !customPalette(s)->empty();
}

void clearCustomColours(Settings& s) {
    ColourList* list = customPalette(s);
    if (list) list->clear();
}

// ---------------------------------------------------------------------------
// Painted regions of the current slot
// ---------------------------------------------------------------------------

// In colour-by-number mode the region keeps its colour number, not a colour,
// so it follows later changes of that number's tube. In free mode painting a
// listed region white unpaints it.
void paintRegion(Settings& s, int regionKey, double r, double g, double b, int number) {
    if (NumberList* numbers = numberPaintList(s)) {
        NumberEntry* entry = findEntry(*numbers, regionKey);
        if (entry)
            entry->number = number;
        else
            numbers->push_back(NumberEntry{regionKey, number});
    } else if (ColourList* colours = freePaintList(s)) {
        ColourEntry* entry = findEntry(*colours, regionKey);
        if (!entry)
            colours->push_back(ColourEntry{regionKey, r, g, b});
        else if (isWhite(r, g, b))
            colours->erase(colours->begin() + (entry - colours->data()));
        else
            setEntryColour(*entry, r, g, b);
    }
}

bool isRegionPainted(const Settings& s, int regionKey) {
    if (const NumberList* numbers = numberPaintList(s)) return findEntry(*numbers, regionKey) != nullptr;
    if (const ColourList* colours = freePaintList(s)) return findEntry(*colours, regionKey) != nullptr;
    return false;
}

void regionColour(const Settings& s, int regionKey, double rgb[3]) {
    if (const NumberList* numbers = numberPaintList(s)) {
        if (const NumberEntry* entry = findEntry(*numbers, regionKey)) {
            paletteColour(s, entry->number, rgb);
            return;
        }
    } else if (const ColourList* colours = freePaintList(s)) {
        if (const ColourEntry* entry = findEntry(*colours, regionKey)) {
            copyColour(rgb, entry->r, entry->g, entry->b);
            return;
        }
    }
    copyColour(rgb, WHITE[0], WHITE[1], WHITE[2]);
}

bool isPageComplete(const Settings& s) {
    if (!hasSlot(s)) return true;
    return currentPaintCount(s) == s.regionCount;
}

bool isPageBlank(const Settings& s) {
    return currentPaintCount(s) == 0;
}

void clearCurrentPainted(Settings& s) {
    if (NumberList* numbers = numberPaintList(s)) numbers->clear();
    if (ColourList* colours = freePaintList(s)) colours->clear();
}

void clearAllPainted(Settings& s) {
    for (size_t slot = 0; slot < s.pageIds.size(); ++slot) {
        s.freePaintNormal[slot].clear();
        s.freePaintDetailed[slot].clear();
        s.numberPaintNormal[slot].clear();
        s.numberPaintDetailed[slot].clear();
    }
}

size_t currentPaintCount(const Settings& s) {
    if (const NumberList* numbers = numberPaintList(s)) return numbers->size();
    if (const ColourList* colours = freePaintList(s)) return colours->size();
    return 0;
}
