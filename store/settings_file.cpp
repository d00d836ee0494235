// The settings file: building a new record, reading one from the bytes of a
// file, writing it back, and resetting the scalar fields.
//
// The file is little-endian with no padding between fields. Version 1 is the
// current format; any other version is the short format, which ends after the
// detailedPictures flag. The reader trusts nothing: every count is checked
// against the bytes left before anything is read or allocated for it, so any
// byte string, however damaged, yields a record that keeps the invariants.

#include "store/store.h"

#include <cstring>
#include <unordered_set>

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

namespace {

// Read position in the bytes of a settings file.
struct ByteReader {
    const uint8_t* next;
    size_t left;
};

// One page record read completely, before it becomes a slot.
struct PageRecord {
    int32_t pageId;
    ColourList numberCustomPalette;
    NumberList numberPaintNormal;
    NumberList numberPaintDetailed;
    ColourList freePaintNormal;
    ColourList freePaintDetailed;
};

}  // namespace

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

static const int32_t CURRENT_FORMAT_VERSION = 1;

// Sizes of the records in the file.
static const size_t COLOUR_ENTRY_BYTES = 32;
static const size_t NUMBER_ENTRY_BYTES = 8;

// Defaults of the five switches; a stored flag byte other than 0 or 1 takes these.
static const bool DEFAULT_SHOW_HELP_AT_START = true;
static const bool DEFAULT_SOUND_ON = true;
static const bool DEFAULT_MUSIC_ON = true;
static const bool DEFAULT_NUMBERS_MODE = true;
static const bool DEFAULT_DETAILED_PICTURES = false;

// ---------------------------------------------------------------------------
// Internal helpers: reading
// ---------------------------------------------------------------------------

static bool readByte(ByteReader& in, uint8_t& value) {
    if (in.left < 1) return false;
    value = in.next[0];
    in.next += 1;
    in.left -= 1;
    return true;
}

static bool readInt(ByteReader& in, int32_t& value) {
    if (in.left < 4) return false;
    uint32_t bits = uint32_t(in.next[0]) | uint32_t(in.next[1]) << 8 |
                    uint32_t(in.next[2]) << 16 | uint32_t(in.next[3]) << 24;
    value = int32_t(bits);
    in.next += 4;
    in.left -= 4;
    return true;
}

static bool readDouble(ByteReader& in, double& value) {
    if (in.left < 8) return false;
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = bits << 8 | in.next[i];
    std::memcpy(&value, &bits, sizeof value);
    in.next += 8;
    in.left -= 8;
    return true;
}

static void skipBytes(ByteReader& in, size_t count) {
    in.next += count;
    in.left -= count;
}

// A stored switch: 0 and 1 are the two states, any other byte is damage and
// gives the switch its default.
static bool readFlag(ByteReader& in, bool fallback, bool& value) {
    uint8_t byte;
    if (!readByte(in, byte)) return false;
    value = byte == 0 ? false : byte == 1 ? true : fallback;
    return true;
}

// The count in front of a list. Zero or less means an empty list; a count the
// rest of the file cannot hold is a failed read, so no list is ever sized
// beyond the bytes that are really there.
static bool readCount(ByteReader& in, size_t recordBytes, size_t& count) {
    int32_t stored;
    if (!readInt(in, stored)) return false;
    count = stored > 0 ? size_t(stored) : 0;
    return count <= in.left / recordBytes;
}

static void readEntry(ByteReader& in, ColourEntry& entry) {
    readInt(in, entry.key);
    skipBytes(in, 4);  // padding
    readDouble(in, entry.r);
    readDouble(in, entry.g);
    readDouble(in, entry.b);
}

static void readEntry(ByteReader& in, NumberEntry& entry) {
    readInt(in, entry.key);
    readInt(in, entry.number);
}

// A counted list of entries. A key that occurs again in the same list is
// damage (nothing the game does can store it twice), and every lookup would
// find the first occurrence anyway, so later occurrences are dropped.
template <typename Entry>
static bool readList(ByteReader& in, size_t recordBytes, std::vector<Entry>& list) {
    size_t count;
    if (!readCount(in, recordBytes, count)) return false;
    std::unordered_set<int32_t> keys;
    for (size_t i = 0; i < count; ++i) {
        Entry entry;
        readEntry(in, entry);
        if (keys.insert(entry.key).second) list.push_back(entry);
    }
    return true;
}

static bool readPageRecord(ByteReader& in, PageRecord& page) {
    return readInt(in, page.pageId) &&
           readList(in, COLOUR_ENTRY_BYTES, page.numberCustomPalette) &&
           readList(in, NUMBER_ENTRY_BYTES, page.numberPaintNormal) &&
           readList(in, NUMBER_ENTRY_BYTES, page.numberPaintDetailed) &&
           readList(in, COLOUR_ENTRY_BYTES, page.freePaintNormal) &&
           readList(in, COLOUR_ENTRY_BYTES, page.freePaintDetailed);
}

// A slot is added only once its whole record has been read, so a record cut
// short leaves no slot behind and the per-slot lists keep one length.
static void appendSlot(Settings& s, PageRecord& page) {
    s.pageIds.push_back(page.pageId);
    s.numberCustomPalette.push_back(std::move(page.numberCustomPalette));
    s.numberPaintNormal.push_back(std::move(page.numberPaintNormal));
    s.numberPaintDetailed.push_back(std::move(page.numberPaintDetailed));
    s.freePaintNormal.push_back(std::move(page.freePaintNormal));
    s.freePaintDetailed.push_back(std::move(page.freePaintDetailed));
    s.numberDefaultPalette.push_back(ColourList());
}

// Reads the fields the short format and the current one share: everything up
// to detailedPictures. Returns false at the first failed read.
static bool readCommonFields(ByteReader& in, Settings& s, int32_t& version) {
    int32_t preservedLength;
    if (!readInt(in, version) || !readInt(in, preservedLength)) return false;
    if (preservedLength < 0 || size_t(preservedLength) > in.left) return false;
    s.preservedBytes.assign(in.next, in.next + preservedLength);
    skipBytes(in, size_t(preservedLength));
    return readFlag(in, DEFAULT_SHOW_HELP_AT_START, s.showHelpAtStart) &&
           readFlag(in, DEFAULT_SOUND_ON, s.soundOn) &&
           readFlag(in, DEFAULT_MUSIC_ON, s.musicOn) &&
           readInt(in, s.language) &&
           readFlag(in, DEFAULT_NUMBERS_MODE, s.numbersMode) &&
           readFlag(in, DEFAULT_DETAILED_PICTURES, s.detailedPictures);
}

// Reads the fields only the current format has. Pages read completely stay in
// s even when a later read fails.
static bool readNewerFields(ByteReader& in, Settings& s) {
    int32_t pageCount;
    if (!readByte(in, s.reservedFlag) || !readInt(in, s.reservedWord) ||
        !readList(in, COLOUR_ENTRY_BYTES, s.freeCustomPalette) ||
        !readInt(in, s.currentSlot) || !readInt(in, pageCount))
        return false;
    // The page count is not checked against the bytes left as a whole: each
    // record is checked as it is read, and the pages before a cut are kept.
    for (int32_t i = 0; i < pageCount; ++i) {
        PageRecord page;
        if (!readPageRecord(in, page)) return false;
        appendSlot(s, page);
    }
    return true;
}

// Values the reader takes as stored but the rest of the game cannot work with.
static void mendLoadedValues(Settings& s) {
    if (s.language < 0 || s.language >= LANGUAGE_COUNT) s.language = readDefaultLanguage();
    if (s.currentSlot < -1 || s.currentSlot >= int32_t(s.pageIds.size())) s.currentSlot = -1;
}

// ---------------------------------------------------------------------------
// Internal helpers: writing
// ---------------------------------------------------------------------------

static void writeByte(std::vector<uint8_t>& out, uint8_t value) {
    out.push_back(value);
}

static void writeInt(std::vector<uint8_t>& out, int32_t value) {
    uint32_t bits = uint32_t(value);
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(bits >> (8 * i)));
}

static void writeDouble(std::vector<uint8_t>& out, double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 8; ++i) out.push_back(uint8_t(bits >> (8 * i)));
}

static void writeEntry(std::vector<uint8_t>& out, const ColourEntry& entry) {
    writeInt(out, entry.key);
    writeInt(out, 0);  // padding
    writeDouble(out, entry.r);
    writeDouble(out, entry.g);
    writeDouble(out, entry.b);
}

static void writeEntry(std::vector<uint8_t>& out, const NumberEntry& entry) {
    writeInt(out, entry.key);
    writeInt(out, entry.number);
}

template <typename Entry>
static void writeList(std::vector<uint8_t>& out, const std::vector<Entry>& list) {
    writeInt(out, int32_t(list.size()));
    for (const Entry& entry : list) writeEntry(out, entry);
}

// ---------------------------------------------------------------------------
// Construction and storage
// ---------------------------------------------------------------------------

Settings* defaultSettings() {
    Settings* s = new Settings();
    resetScalarSettings(*s, RESET_FULL);
    return s;
}

Settings* loadSettings(const uint8_t* bytes, size_t size) {
    Settings* s = new Settings();
    ByteReader in = {bytes, bytes ? size : 0};
    int32_t version = 0;
    if (!readCommonFields(in, *s, version)) {
        resetScalarSettings(*s, RESET_FULL);
    } else if (version != CURRENT_FORMAT_VERSION) {
        resetScalarSettings(*s, RESET_NEWER_ONLY);
    } else if (!readNewerFields(in, *s)) {
        resetScalarSettings(*s, RESET_FULL);
    }
    mendLoadedValues(*s);
    return s;
}

void saveSettings(const Settings& s, std::vector<uint8_t>& out) {
    writeInt(out, CURRENT_FORMAT_VERSION);
    writeInt(out, int32_t(s.preservedBytes.size()));
    out.insert(out.end(), s.preservedBytes.begin(), s.preservedBytes.end());
    writeByte(out, s.showHelpAtStart ? 1 : 0);
    writeByte(out, s.soundOn ? 1 : 0);
    writeByte(out, s.musicOn ? 1 : 0);
    writeInt(out, s.language);
    writeByte(out, s.numbersMode ? 1 : 0);
    writeByte(out, s.detailedPictures ? 1 : 0);
    writeByte(out, s.reservedFlag);
    writeInt(out, s.reservedWord);
    writeList(out, s.freeCustomPalette);
    writeInt(out, s.currentSlot);
    writeInt(out, int32_t(s.pageIds.size()));
    for (size_t slot = 0; slot < s.pageIds.size(); ++slot) {
        writeInt(out, s.pageIds[slot]);
        writeList(out, s.numberCustomPalette[slot]);
        writeList(out, s.numberPaintNormal[slot]);
        writeList(out, s.numberPaintDetailed[slot]);
        writeList(out, s.freePaintNormal[slot]);
        writeList(out, s.freePaintDetailed[slot]);
    }
}

void resetScalarSettings(Settings& s, ResetMode mode) {
    if (mode == RESET_FULL) {
        s.preservedBytes.clear();
        s.language = readDefaultLanguage();
        s.showHelpAtStart = DEFAULT_SHOW_HELP_AT_START;
        s.soundOn = DEFAULT_SOUND_ON;
        s.musicOn = DEFAULT_MUSIC_ON;
        s.numbersMode = DEFAULT_NUMBERS_MODE;
        s.detailedPictures = DEFAULT_DETAILED_PICTURES;
    }
    s.reservedFlag = 1;
    s.reservedWord = 0;
    s.currentSlot = -1;
}
