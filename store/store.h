// The settings and progress store: the player's switches and the colouring
// progress of every picture, kept between runs in one binary file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// A keyed colour: in a palette the key is the 0-based colour number, in a
// free-mode paint list it is the region key.
struct ColourEntry {
    int32_t key;
    double r, g, b;
};

// A region painted in colour-by-number mode, with its 0-based colour number.
struct NumberEntry {
    int32_t key;
    int32_t number;
};

typedef std::vector<ColourEntry> ColourList;
typedef std::vector<NumberEntry> NumberList;

// Everything the game remembers between runs, plus the values that belong to
// the picture on screen (region count, default palettes), which are not stored.
// Invariant: pageIds and the six per-slot lists have one element per slot;
// currentSlot is -1 or a valid slot index; a key occurs once per list.
struct Settings {
    bool showHelpAtStart;
    bool soundOn;
    bool musicOn;
    bool numbersMode;
    bool detailedPictures;
    uint8_t reservedFlag;
    int32_t reservedWord;
    unsigned regionCount;
    std::vector<uint8_t> preservedBytes;
    int32_t language;
    int32_t currentSlot;
    std::vector<int32_t> pageIds;
    std::vector<ColourList> freePaintNormal;
    std::vector<ColourList> freePaintDetailed;
    std::vector<NumberList> numberPaintNormal;
    std::vector<NumberList> numberPaintDetailed;
    std::vector<ColourList> numberDefaultPalette;
    std::vector<ColourList> numberCustomPalette;
    ColourList freeDefaultPalette;
    ColourList freeCustomPalette;
};

enum ResetMode { RESET_FULL, RESET_NEWER_ONLY };

// Number of interface languages (en, de, es, ru, fr).
enum { LANGUAGE_COUNT = 5 };

// ---------------------------------------------------------------------------
// Construction and storage
// ---------------------------------------------------------------------------

// New record with every default; the language comes from "lang.ini". Caller owns it (delete).
Settings* defaultSettings();
// New record read from the bytes of a settings file; never fails: what cannot be read takes its default. Caller owns it.
Settings* loadSettings(const uint8_t* bytes, size_t size);
// The record in the current file format (version 1), appended to out.
void saveSettings(const Settings& s, std::vector<uint8_t>& out);
// Resets the scalar fields: RESET_FULL all of them, RESET_NEWER_ONLY those the short format lacks. Lists stay.
void resetScalarSettings(Settings& s, ResetMode mode);

// ---------------------------------------------------------------------------
// Language
// ---------------------------------------------------------------------------

// The language index named by "lang.ini" in the working directory; 0 (English) when missing or unknown.
int readDefaultLanguage();
// The language index named by the text of a "lang.ini" file; 0 when it names none.
int parseDefaultLanguage(const char* text, size_t size);
// The current interface language, 0 to 4.
int getLanguage(const Settings& s);
// Sets the interface language.
void setLanguage(Settings& s, int index);
// Archive file name of the current language's dialog images, e.g. "langde.pak".
const char* languageArchive(const Settings& s);
// Two-letter code of a language index ("en", "de", "es", "ru", "fr"); "en" outside 0 to 4.
const char* languageCode(int index);

// ---------------------------------------------------------------------------
// Pages and palettes (palette operations in colour-by-number mode need a current slot)
// ---------------------------------------------------------------------------

// Sets the region count of the picture being shown.
void setRegionCount(Settings& s, unsigned count);
// Makes the slot of a page id current, creating it on the first visit.
void selectPage(Settings& s, int pageId);
// Page id of the current slot; 0 when no page has been opened.
int currentPageId(const Settings& s);
// Colour of a colour number in the current palette (custom over default); white when neither has it.
void paletteColour(const Settings& s, int number, double rgb[3]);
// Sets or adds the default colour of a number in the current palette.
void setDefaultColour(Settings& s, int number, double r, double g, double b);
// Sets or adds the player's own colour of a number in the current palette.
void setCustomColour(Settings& s, int number, double r, double g, double b);
// Whether the current palette has colours of the player's own; false without a slot.
bool hasCustomColours(const Settings& s);
// Forgets the player's own colours of the current palette.
void clearCustomColours(Settings& s);

// ---------------------------------------------------------------------------
// Painted regions of the current slot (need a current slot unless noted)
// ---------------------------------------------------------------------------

// Records a painted region by the rule of the current mode.
void paintRegion(Settings& s, int regionKey, double r, double g, double b, int number);
// Whether the region is in the current paint list.
bool isRegionPainted(const Settings& s, int regionKey);
// The colour the region shows; white when unpainted.
void regionColour(const Settings& s, int regionKey, double rgb[3]);
// Whether every region is painted; true without a slot.
bool isPageComplete(const Settings& s);
// Whether nothing is painted; true without a slot.
bool isPageBlank(const Settings& s);
// Empties the current paint list.
void clearCurrentPainted(Settings& s);
// Empties the four paint lists of every slot; palettes and slots stay.
void clearAllPainted(Settings& s);
// Number of entries in the current paint list; 0 without a slot.
size_t currentPaintCount(const Settings& s);
