// Dialog archives: "langall.pak" with the images every language shares (the
// backdrop veil, panel frames, tick boxes, round close button, web buttons,
// help mode cards and marker, language flags, the about box) and one archive
// per interface language with the texts drawn as images (confirmations, the
// settings and help contents, the help labels, worded buttons, the colour
// dialog's title). Every text is set with Pango in the Andika font, measured
// against the place it is drawn into, shrunk a little when needed, and the
// build fails when it still does not fit.
//
// Dialog pieces hang under nodes turned -90 degrees about X: a model point
// (x, y, z) lands at the node's position + (x, z, -y), so the images are drawn
// in the model's x/z plane (x right, z up) and y is depth (negative is nearer).
#include "tools/studio/studio.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// One interface language, in the game's language order.
struct DialogLanguage {
    const char* code;     // also the name of its text file, code + ".txt"
    const char* archive;
};

// The texts of one language: key to UTF-8 text.
typedef std::map<std::string, std::string> TextTable;

struct Rgb {
    double r, g, b;
};

// A rectangle of a node's x/z plane in dialog units (x right, z up).
struct Area {
    double x0, z0, x1, z1;
};

// How the letters of a text are inked.
enum TextInk { INK_DARK, INK_SOFT, INK_WHITE };

// Where one text of the tables is drawn, and how.
struct TextPlace {
    const char* key;
    const char* image;        // the model the text is drawn into, for messages
    Area box;                 // the text must fit inside, relative to the image's node
    double size;              // preferred letter size (em) in units
    bool bold;
    int maxLines;
    PangoAlignment align;
    TextInk ink;
};

// An image being drawn. It covers `area` of its node's plane; drawing happens
// in design pixels (kDesignPx per unit, y down from the area's top-left corner)
// and is scaled onto a texture with power-of-two sides.
struct Sheet {
    cairo_surface_t* surface;
    cairo_t* cr;
    Area area;
    std::string image;
    std::string language;
};

// The colours of a shaded shape: gradient from top to bottom, and its rim.
struct ShapeLook {
    Rgb top, bottom, edge;
};

// A label of the help screen's background, pointing at a toolbar button whose place is fixed.
struct HelpLabel {
    const char* key;
    const char* texture;
    double targetX, targetZ;  // the tip of the pointer, on the panel plane
    Area bubble;
};

// A piece of a dialog where the game puts it (centre and size of its body), for the build-time layout check.
struct PiecePlace {
    const char* key;
    double x, z, w, h;
};

// A dialog's frame and the pieces the game places on it.
struct DialogLayout {
    const char* name;
    Area frame;
    std::vector<PiecePlace> pieces;
};

// The small pictures used as icons in the contents and buttons.
enum IconKind {
    ICON_DOOR, ICON_CLEAR, ICON_CLEAR_ALL, ICON_GEAR, ICON_SPEAKER, ICON_NOTES, ICON_NUMBERS, ICON_MOSAIC,
    ICON_INFO, ICON_ERASER, ICON_TICK, ICON_CROSS, ICON_GLOBE, ICON_SPEECH, ICON_PALETTE, ICON_QUESTION,
    ICON_BRUSH
};

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

static const DialogLanguage kLanguages[] = {
    {"en", "langen.pak"}, {"de", "langde.pak"}, {"es", "langes.pak"}, {"ru", "langru.pak"}, {"fr", "langfr.pak"}};
static const int kLanguageCount = 5;

static const char* const kFontFamily = "Andika";
static const double kDesignPx = 100.0;      // design pixels per unit
static const double kTexelsPerUnit = 80.0;  // at least this many texels per unit on a texture
static const double kMinTextScale = 0.72;   // a text may shrink to this share of its preferred size
static const double kShrinkStep = 0.97;
static const float kLineSpacing = 0.82f;    // share of the font's own line height

// Depths on a node: a panel's frame, its content just in front, the pieces' own images at their node.
static const double kFrameY = 0.0;
static const double kContentY = -0.05;
static const double kPieceY = 0.0;

// The veil lies at eye depth 44 (node y -56 under the game layer): behind the
// toolbar (39) so the help screen shows the toolbar buttons undimmed when they
// are drawn opaque, and in front of the picture (about 49). It reaches past the
// view's edges at 21:9 there (half height 18.23, half width 42.5).
static const double kVeilY = -56.0;
static const Area kVeilArea = {-45.0, -19.5, 45.0, 19.5};

// Where the game places the pieces, relative to their panel (x, z; the pieces stand at y -0.2).
static const double kConfirmOkX = -1.323, kConfirmCancelX = 1.696, kConfirmButtonsZ = -1.633;
static const double kConfirmDropsZ = -2.55, kAboutDropsZ = -1.27;
static const double kAboutCloseX = 0.255, kAboutCloseZ = -2.305;
static const double kAboutFacebookX = -2.0, kAboutTwitterX = 2.45, kAboutLinksZ = -0.25;
static const double kAboutVersionX = 3.55, kAboutVersionZ = -2.5;  // the lower right corner, clear of the close button
static const double kMenuCheckX = -3.202;
static const double kMenuNumbersZ = 2.272, kMenuDetailZ = 1.589, kMenuSoundZ = 0.924, kMenuMusicZ = 0.292;
static const double kMenuCloseX = 3.374, kMenuCloseZ = 2.256;
static const double kMenuSideX = 2.246, kMenuAboutZ = -0.73, kMenuClearAllZ = 0.659;
static const double kMenuWebX = -1.324, kMenuWebZ = -0.73;
static const double kFlagX[kLanguageCount] = {-2.401, -1.17, 0.061, 1.292, 2.523};
static const double kFlagZ = -2.582;
static const double kModeX[3] = {-4.536, 0.095, 4.77};
static const double kModeZ = -0.028;
static const double kHelpCheckX = -4.644, kHelpCheckZ = -2.319;
static const double kColourCloseX = 4.296, kColourCloseZ = 2.994;

// The toolbar seen from the panel plane: buttons at eye depth 39, panels at 18.5.
static const double kPanelDepth = 18.5, kToolbarDepth = 39.0;
static const double kToolbarRowY = 16.15426 - 0.92;  // 39 tan(22.5 degrees) - 0.92: fixed at every aspect ratio
static const double kArrowsX = 14.973, kArrowsY = -13.155;
static const double kColourButtonX = -7.5, kResetButtonX = -3.7, kBackButtonX = 4.3, kClearButtonX = 7.3;

// Sizes of the pieces (units).
static const double kCheckSide = 0.6;          // rows of the menu are 0.63 apart
static const double kWordButtonW = 2.75, kWordButtonH = 1.0;
static const double kSideButtonW = 3.1, kSideButtonH = 1.0;
static const double kCloseWordW = 2.7, kCloseWordH = 0.95;
static const double kCloseRadius = 0.46;
static const double kWebButtonW = 2.4, kWebButtonH = 0.95;
static const double kFlagW = 1.0, kFlagH = 0.68;  // flags are 1.231 apart
static const double kModeCardW = 4.1, kModeCardH = 2.7;

// Panel frames (bodies, without their shadows).
static const Area kConfirmFrame = {-4.45, -3.2, 4.85, 3.25};
static const Area kMenuFrame = {-4.35, -3.5, 4.6, 3.7};
static const Area kHelpFrame = {-7.2, -4.45, 7.45, 4.9};
static const Area kColourFrame = {-5.2, -3.75, 5.2, 3.7};

// Content areas.
static const Area kConfirmContent = {-4.15, -2.8, 4.6, 3.0};
static const Area kMenuContent = {-4.2, -3.3, 4.45, 3.55};
static const Area kHelpContent = {-7.0, -4.3, 7.25, 4.75};
static const Area kAboutContent = {-4.25, -3.05, 4.65, 3.1};
static const Area kColourTitleArea = {-4.95, 2.4, 3.75, 3.5};

// The help screen's legend of the toolbar buttons that move with the aspect ratio.
static const double kLegendZ = -3.6;

// Panels must fit a 4:3 screen at their depth (eye depth 18.5: half width 10.2, half height 7.66).
static const double kPanelMaxX = 9.5, kPanelMaxZ = 7.0;
static const double kFrameShadow = 0.42, kFrameRim = 0.2;

// Every dialog's frame and its pieces at their places, checked when the archives are built.
static const DialogLayout kDialogLayouts[] = {
    {"confirmation",
     kConfirmFrame,
     {{"button_ok", kConfirmOkX, kConfirmButtonsZ, kWordButtonW, kWordButtonH},
      {"button_cancel", kConfirmCancelX, kConfirmButtonsZ, kWordButtonW, kWordButtonH}}},
    {"about",
     kConfirmFrame,
     {{"button_close", kAboutCloseX, kAboutCloseZ, kCloseWordW, kCloseWordH},
      {"button_facebook", kAboutFacebookX, kAboutLinksZ, kWebButtonW, kWebButtonH},
      {"button_twitter", kAboutTwitterX, kAboutLinksZ, kWebButtonW, kWebButtonH}}},
    {"settings",
     kMenuFrame,
     {{"checkbox", kMenuCheckX, kMenuNumbersZ, kCheckSide, kCheckSide},
      {"checkbox", kMenuCheckX, kMenuDetailZ, kCheckSide, kCheckSide},
      {"checkbox", kMenuCheckX, kMenuSoundZ, kCheckSide, kCheckSide},
      {"checkbox", kMenuCheckX, kMenuMusicZ, kCheckSide, kCheckSide},
      {"button_close", kMenuCloseX, kMenuCloseZ, 2 * kCloseRadius, 2 * kCloseRadius},
      {"setup_button_about", kMenuSideX, kMenuAboutZ, kSideButtonW, kSideButtonH},
      {"setup_button_clearall", kMenuSideX, kMenuClearAllZ, kSideButtonW, kSideButtonH},
      {"button_facebook", kMenuWebX, kMenuWebZ, kWebButtonW, kWebButtonH},
      {"setup_lang_en", kFlagX[0], kFlagZ, kFlagW, kFlagH},
      {"setup_lang_de", kFlagX[1], kFlagZ, kFlagW, kFlagH},
      {"setup_lang_es", kFlagX[2], kFlagZ, kFlagW, kFlagH},
      {"setup_lang_ru", kFlagX[3], kFlagZ, kFlagW, kFlagH},
      {"setup_lang_fr", kFlagX[4], kFlagZ, kFlagW, kFlagH}}},
    {"help",
     kHelpFrame,
     {{"help_mode1", kModeX[0], kModeZ, kModeCardW, kModeCardH},
      {"help_mode2", kModeX[1], kModeZ, kModeCardW, kModeCardH},
      {"help_mode3", kModeX[2], kModeZ, kModeCardW, kModeCardH},
      {"checkbox", kHelpCheckX, kHelpCheckZ, kCheckSide, kCheckSide}}},
    {"colour", kColourFrame, {{"button_close", kColourCloseX, kColourCloseZ, 2 * kCloseRadius, 2 * kCloseRadius}}},
};

// Every text of the tables and where it goes.
static const TextPlace kTextPlaces[] = {
    {"exit.question", "menu_exit", {-1.55, -0.85, 4.4, 2.8}, 0.52, true, 4, PANGO_ALIGN_CENTER, INK_DARK},
    {"clear.question", "menu_clear", {-1.55, -0.85, 4.4, 2.8}, 0.52, true, 4, PANGO_ALIGN_CENTER, INK_DARK},
    {"clearall.question", "menu_clearall", {-1.55, -0.85, 4.4, 2.8}, 0.52, true, 4, PANGO_ALIGN_CENTER, INK_DARK},
    {"button.yes", "button_ok", {-0.52, -0.4, 1.22, 0.4}, 0.48, true, 1, PANGO_ALIGN_CENTER, INK_WHITE},
    {"button.no", "button_cancel", {-0.52, -0.4, 1.22, 0.4}, 0.48, true, 1, PANGO_ALIGN_CENTER, INK_WHITE},
    {"button.close", "button_close", {-0.42, -0.38, 1.2, 0.38}, 0.42, true, 1, PANGO_ALIGN_CENTER, INK_WHITE},
    {"settings.title", "setup", {-3.15, 2.82, 2.7, 3.42}, 0.48, true, 1, PANGO_ALIGN_LEFT, INK_DARK},
    {"settings.numbers", "setup", {-2.2, 2.0, 2.75, 2.545}, 0.38, false, 1, PANGO_ALIGN_LEFT, INK_DARK},
    {"settings.detailed", "setup", {-2.2, 1.317, 4.1, 1.862}, 0.38, false, 1, PANGO_ALIGN_LEFT, INK_DARK},
    {"settings.sound", "setup", {-2.2, 0.652, 0.45, 1.197}, 0.38, false, 1, PANGO_ALIGN_LEFT, INK_DARK},
    {"settings.music", "setup", {-2.2, 0.02, 0.45, 0.565}, 0.38, false, 1, PANGO_ALIGN_LEFT, INK_DARK},
    {"settings.about", "setup_button_about", {-0.66, -0.42, 1.42, 0.42}, 0.4, true, 2, PANGO_ALIGN_CENTER,
     INK_WHITE},
    {"settings.clearall", "setup_button_clearall", {-0.66, -0.42, 1.42, 0.42}, 0.4, true, 2, PANGO_ALIGN_CENTER,
     INK_WHITE},
    {"help.title", "help", {-6.6, 3.88, 6.85, 4.62}, 0.62, true, 1, PANGO_ALIGN_CENTER, INK_DARK},
    {"help.intro", "help", {-6.6, 2.95, 6.85, 3.8}, 0.4, false, 2, PANGO_ALIGN_CENTER, INK_DARK},
    {"help.mode1.title", "help", {-6.8, 2.15, -2.27, 2.75}, 0.38, true, 1, PANGO_ALIGN_CENTER, INK_DARK},
    {"help.mode1.text", "help", {-6.8, 1.62, -2.27, 2.15}, 0.32, false, 1, PANGO_ALIGN_CENTER, INK_SOFT},
    {"help.mode2.title", "help", {-2.17, 2.15, 2.36, 2.75}, 0.38, true, 1, PANGO_ALIGN_CENTER, INK_DARK},
    {"help.mode2.text", "help", {-2.17, 1.62, 2.36, 2.15}, 0.32, false, 1, PANGO_ALIGN_CENTER, INK_SOFT},
    {"help.mode3.title", "help", {2.46, 2.15, 7.08, 2.75}, 0.38, true, 1, PANGO_ALIGN_CENTER, INK_DARK},
    {"help.mode3.text", "help", {2.46, 1.62, 7.08, 2.15}, 0.32, false, 1, PANGO_ALIGN_CENTER, INK_SOFT},
    {"help.startup", "help", {-4.2, -2.62, 3.2, -2.02}, 0.36, false, 1, PANGO_ALIGN_LEFT, INK_DARK},
    {"help.close", "help", {-5.85, -3.92, -2.95, -3.28}, 0.34, false, 1, PANGO_ALIGN_LEFT, INK_DARK},
    {"help.help", "help", {-1.23, -3.92, 2.05, -3.28}, 0.34, false, 1, PANGO_ALIGN_LEFT, INK_DARK},
    {"help.menu", "help", {3.4, -3.92, 6.95, -3.28}, 0.34, false, 1, PANGO_ALIGN_LEFT, INK_DARK},
    // The help labels' boxes are their bubbles, in the table below.
    {"label.colour", "help_bg", {0, 0, 0, 0}, 0.3, true, 2, PANGO_ALIGN_CENTER, INK_DARK},
    {"label.reset", "help_bg", {0, 0, 0, 0}, 0.3, true, 2, PANGO_ALIGN_CENTER, INK_DARK},
    {"label.back", "help_bg", {0, 0, 0, 0}, 0.3, true, 2, PANGO_ALIGN_CENTER, INK_DARK},
    {"label.clear", "help_bg", {0, 0, 0, 0}, 0.3, true, 2, PANGO_ALIGN_CENTER, INK_DARK},
    {"label.arrows", "help_bg", {0, 0, 0, 0}, 0.3, true, 1, PANGO_ALIGN_CENTER, INK_DARK},
    {"colour.title", "text_void", {-3.95, 2.58, 3.65, 3.32}, 0.44, true, 1, PANGO_ALIGN_CENTER, INK_DARK},
    {"about.greeting", "about", {-3.7, 0.45, 4.2, 1.45}, 0.34, false, 2, PANGO_ALIGN_CENTER, INK_SOFT},
};

// The help screen's labels of the toolbar buttons with fixed places (the
// conditional ones along the top, the page arrows at the lower right). The
// bubbles sit below the toolbar row and above the arrows, clear of the panel.
static const double kLabelTop = 6.5, kLabelBottom = 5.5;
static const HelpLabel kHelpLabels[] = {
    {"label.colour", "help_bg_colour.png", kColourButtonX * kPanelDepth / kToolbarDepth,
     kToolbarRowY * kPanelDepth / kToolbarDepth - 0.5, {-6.55, kLabelBottom, -3.2, kLabelTop}},
    {"label.reset", "help_bg_reset.png", kResetButtonX * kPanelDepth / kToolbarDepth,
     kToolbarRowY * kPanelDepth / kToolbarDepth - 0.5, {-3.05, kLabelBottom, -0.12, kLabelTop}},
    {"label.back", "help_bg_back.png", kBackButtonX * kPanelDepth / kToolbarDepth,
     kToolbarRowY * kPanelDepth / kToolbarDepth - 0.5, {0.03, kLabelBottom, 2.62, kLabelTop}},
    {"label.clear", "help_bg_clear.png", kClearButtonX * kPanelDepth / kToolbarDepth,
     kToolbarRowY * kPanelDepth / kToolbarDepth - 0.5, {2.92, kLabelBottom, 6.0, kLabelTop}},
    {"label.arrows", "help_bg_arrows.png", kArrowsX * kPanelDepth / kToolbarDepth,
     kArrowsY * kPanelDepth / kToolbarDepth + 0.45, {5.45, -5.52, 8.75, -4.95}},
};

// Colours: one palette for every dialog.
static const Rgb kInkDark = {0.16, 0.22, 0.36};
static const Rgb kInkSoft = {0.33, 0.4, 0.55};
static const Rgb kOutline = {0.2, 0.25, 0.42};
static const Rgb kPaperTop = {1.0, 0.995, 0.965};
static const Rgb kPaperBottom = {0.995, 0.955, 0.87};
static const Rgb kSky = {0.31, 0.68, 0.97};
static const Rgb kViolet = {0.6, 0.45, 0.92};
static const Rgb kLeaf = {0.3, 0.76, 0.5};
static const Rgb kSun = {1.0, 0.64, 0.2};
static const Rgb kGold = {1.0, 0.8, 0.18};
static const Rgb kWhite = {1.0, 1.0, 1.0};
static const Rgb kRed = {0.95, 0.3, 0.27};
static const Rgb kOrange = {1.0, 0.6, 0.18};
static const Rgb kYellow = {1.0, 0.86, 0.25};
static const Rgb kGreen = {0.36, 0.78, 0.32};
static const Rgb kBlue = {0.25, 0.55, 0.95};
static const Rgb kPurple = {0.62, 0.38, 0.85};
static const Rgb kPink = {1.0, 0.55, 0.7};
static const Rgb kWater = {0.78, 0.92, 1.0};

static const ShapeLook kYesLook = {{0.5, 0.88, 0.42}, {0.24, 0.66, 0.27}, {0.13, 0.45, 0.2}};
static const ShapeLook kNoLook = {{1.0, 0.55, 0.47}, {0.9, 0.3, 0.27}, {0.66, 0.17, 0.17}};
static const ShapeLook kBlueLook = {{0.45, 0.75, 1.0}, {0.2, 0.5, 0.92}, {0.12, 0.32, 0.7}};
static const ShapeLook kTealLook = {{0.38, 0.86, 0.84}, {0.12, 0.62, 0.66}, {0.06, 0.42, 0.47}};
static const ShapeLook kOrangeLook = {{1.0, 0.75, 0.35}, {0.97, 0.52, 0.12}, {0.72, 0.34, 0.05}};
static const ShapeLook kPurpleLook = {{0.74, 0.6, 1.0}, {0.52, 0.36, 0.88}, {0.34, 0.2, 0.64}};
static const ShapeLook kGoldLook = {{1.0, 0.93, 0.45}, {1.0, 0.74, 0.1}, {0.8, 0.52, 0.02}};

// ---------------------------------------------------------------------------
// Internal helpers: texts
// ---------------------------------------------------------------------------

static std::string textFolder() {
    // The texts can be read from elsewhere, so a test can check that a text too long fails the build.
    const char* other = getenv("TINTARIA_STUDIO_TEXTS");
    if (other && *other) return other;
    return std::string(TINTARIA_STUDIO_SOURCES) + "/assets/texts";
}

static std::string trimmed(const std::string& s) {
    size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return std::string();
    size_t b = s.find_last_not_of(" \t\r");
    return s.substr(a, b - a + 1);
}

static std::string unescaped(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == 'n') {
            out += '\n';
            ++i;
        } else {
            out += s[i];
        }
    }
    return out;
}

static bool isKnownKey(const std::string& key) {
    for (const TextPlace& place : kTextPlaces)
        if (key == place.key) return true;
    return false;
}

// Reads one language's texts; fails on an unreadable file, a malformed line, a
// text that is no UTF-8, an unknown or repeated key, or a key left out.
static TextTable readTexts(const DialogLanguage& language) {
    std::string path = textFolder() + "/" + language.code + ".txt";
    std::vector<uint8_t> bytes;
    if (!readFileBytes(path.c_str(), bytes)) studioFail("cannot read the texts %s", path.c_str());
    std::string all(bytes.begin(), bytes.end());
    if (!g_utf8_validate(all.c_str(), (gssize)all.size(), nullptr)) studioFail("%s is not UTF-8", path.c_str());
    TextTable table;
    size_t start = 0;
    int lineNumber = 0;
    while (start < all.size()) {
        size_t end = all.find('\n', start);
        if (end == std::string::npos) end = all.size();
        std::string line = all.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        std::string content = trimmed(line);
        if (content.empty() || content[0] == '#') continue;
        size_t equals = content.find('=');
        if (equals == std::string::npos) studioFail("%s:%d: expected \"key = text\"", path.c_str(), lineNumber);
        std::string key = trimmed(content.substr(0, equals));
        std::string text = unescaped(trimmed(content.substr(equals + 1)));
        if (!isKnownKey(key)) studioFail("%s:%d: unknown text key \"%s\"", path.c_str(), lineNumber, key.c_str());
        if (table.count(key)) studioFail("%s:%d: text \"%s\" given twice", path.c_str(), lineNumber, key.c_str());
        if (text.empty()) studioFail("%s:%d: text \"%s\" is empty", path.c_str(), lineNumber, key.c_str());
        table[key] = text;
    }
    for (const TextPlace& place : kTextPlaces)
        if (!table.count(place.key)) studioFail("%s: text \"%s\" is missing", path.c_str(), place.key);
    return table;
}

static const TextPlace& textPlace(const char* key) {
    for (const TextPlace& place : kTextPlaces)
        if (strcmp(place.key, key) == 0) return place;
    studioFail("no place for the text \"%s\"", key);
}

// ---------------------------------------------------------------------------
// Internal helpers: sheets
// ---------------------------------------------------------------------------

static int textureSide(double units) {
    int side = 16;
    while (side < units * kTexelsPerUnit && side < 2048) side *= 2;
    return side;
}

static Sheet openSheetSized(const std::string& image, const std::string& language, const Area& area, int width,
                            int height) {
    Sheet sheet;
    sheet.surface = studioCanvas(width, height);
    sheet.cr = cairo_create(sheet.surface);
    sheet.area = area;
    sheet.image = image;
    sheet.language = language;
    cairo_scale(sheet.cr, width / ((area.x1 - area.x0) * kDesignPx), height / ((area.z1 - area.z0) * kDesignPx));
    cairo_set_line_join(sheet.cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_cap(sheet.cr, CAIRO_LINE_CAP_ROUND);
    return sheet;
}

static Sheet openSheet(const std::string& image, const std::string& language, const Area& area) {
    return openSheetSized(image, language, area, textureSide(area.x1 - area.x0), textureSide(area.z1 - area.z0));
}

static std::vector<uint8_t> closeSheet(Sheet* sheet) {
    if (cairo_status(sheet->cr) != CAIRO_STATUS_SUCCESS)
        studioFail("drawing \"%s\" (%s) failed: %s", sheet->image.c_str(), sheet->language.c_str(),
                   cairo_status_to_string(cairo_status(sheet->cr)));
    cairo_destroy(sheet->cr);
    std::vector<uint8_t> png = studioPng(sheet->surface);
    cairo_surface_destroy(sheet->surface);
    sheet->cr = nullptr;
    sheet->surface = nullptr;
    return png;
}

static double toPx(double units) { return units * kDesignPx; }
static double px(const Sheet& s, double x) { return (x - s.area.x0) * kDesignPx; }
static double pz(const Sheet& s, double z) { return (s.area.z1 - z) * kDesignPx; }

static Area grown(const Area& a, double by) { return Area{a.x0 - by, a.z0 - by, a.x1 + by, a.z1 + by}; }
static Area centred(double cx, double cz, double w, double h) {
    return Area{cx - w / 2, cz - h / 2, cx + w / 2, cz + h / 2};
}

// ---------------------------------------------------------------------------
// Internal helpers: paths and shading
// ---------------------------------------------------------------------------

static Rgb mix(const Rgb& a, const Rgb& b, double t) {
    return Rgb{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

static void setColour(cairo_t* cr, const Rgb& c, double alpha = 1.0) {
    cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

static void roundedPath(const Sheet& s, const Area& a, double radius) {
    double l = px(s, a.x0), r = px(s, a.x1), t = pz(s, a.z1), b = pz(s, a.z0);
    double rr = std::min(toPx(radius), std::min(r - l, b - t) / 2);
    cairo_new_sub_path(s.cr);
    cairo_arc(s.cr, r - rr, t + rr, rr, -M_PI / 2, 0);
    cairo_arc(s.cr, r - rr, b - rr, rr, 0, M_PI / 2);
    cairo_arc(s.cr, l + rr, b - rr, rr, M_PI / 2, M_PI);
    cairo_arc(s.cr, l + rr, t + rr, rr, M_PI, 3 * M_PI / 2);
    cairo_close_path(s.cr);
}

static void circlePath(const Sheet& s, double cx, double cz, double radius) {
    cairo_new_sub_path(s.cr);
    cairo_arc(s.cr, px(s, cx), pz(s, cz), toPx(radius), 0, 2 * M_PI);
    cairo_close_path(s.cr);
}

static void setVerticalGradient(const Sheet& s, double zTop, double zBottom, const Rgb& top, const Rgb& bottom,
                                double alpha = 1.0) {
    cairo_pattern_t* p = cairo_pattern_create_linear(0, pz(s, zTop), 0, pz(s, zBottom));
    cairo_pattern_add_color_stop_rgba(p, 0, top.r, top.g, top.b, alpha);
    cairo_pattern_add_color_stop_rgba(p, 1, bottom.r, bottom.g, bottom.b, alpha);
    cairo_set_source(s.cr, p);
    cairo_pattern_destroy(p);
}

// A soft shadow under a rounded shape: layers that widen and fade, a little lower than the shape.
static void softShadow(const Sheet& s, const Area& a, double radius, double spread, double alpha) {
    const int layers = 14;
    for (int i = layers; i >= 1; --i) {
        double g = spread * i / layers;
        Area layer{a.x0 - g * 0.7, a.z0 - g - spread * 0.3, a.x1 + g * 0.7, a.z1 + g * 0.5 - spread * 0.3};
        roundedPath(s, layer, radius + g);
        cairo_set_source_rgba(s.cr, 0.08, 0.1, 0.25, alpha / layers * 1.6);
        cairo_fill(s.cr);
    }
}

// A glossy highlight over the upper part of the current clip.
static void gloss(const Sheet& s, const Area& a, double radius, double strength) {
    double h = a.z1 - a.z0;
    Area shine{a.x0 + std::min(0.12, h * 0.12), a.z1 - h * 0.5, a.x1 - std::min(0.12, h * 0.12),
               a.z1 - std::min(0.06, h * 0.06)};
    roundedPath(s, shine, std::max(0.0, radius - 0.05));
    cairo_pattern_t* p = cairo_pattern_create_linear(0, pz(s, shine.z1), 0, pz(s, shine.z0));
    cairo_pattern_add_color_stop_rgba(p, 0, 1, 1, 1, strength);
    cairo_pattern_add_color_stop_rgba(p, 1, 1, 1, 1, 0.02);
    cairo_set_source(s.cr, p);
    cairo_fill(s.cr);
    cairo_pattern_destroy(p);
}

// A shaded rounded shape: shadow, gradient body, gloss and rim.
static void paintShape(const Sheet& s, const Area& a, double radius, const ShapeLook& look, double rim,
                       double shadow = 0.12) {
    if (shadow > 0) softShadow(s, a, radius, shadow, 0.35);
    roundedPath(s, a, radius);
    setVerticalGradient(s, a.z1, a.z0, look.top, look.bottom);
    cairo_fill_preserve(s.cr);
    cairo_save(s.cr);
    cairo_clip(s.cr);
    gloss(s, a, radius, 0.5);
    cairo_restore(s.cr);
    roundedPath(s, grown(a, -rim / 2), std::max(0.0, radius - rim / 2));
    cairo_set_line_width(s.cr, toPx(rim));
    setColour(s.cr, look.edge);
    cairo_stroke(s.cr);
}

// A panel frame: a coloured rim around cream paper, with a soft shadow.
static void paintCard(const Sheet& s, const Area& body, const Rgb& rim) {
    const double radius = 0.55, rimWidth = kFrameRim;
    softShadow(s, body, radius, 0.32, 0.5);
    ShapeLook rimLook = {mix(rim, kWhite, 0.3), rim, mix(rim, Rgb{0, 0, 0.2}, 0.35)};
    roundedPath(s, body, radius);
    setVerticalGradient(s, body.z1, body.z0, rimLook.top, rimLook.bottom);
    cairo_fill(s.cr);
    Area paper = grown(body, -rimWidth);
    roundedPath(s, paper, radius - rimWidth);
    setVerticalGradient(s, paper.z1, paper.z0, kPaperTop, kPaperBottom);
    cairo_fill(s.cr);
    // The paper's upper edge in a faint shade, as if it lay a little below the rim.
    cairo_save(s.cr);
    roundedPath(s, paper, radius - rimWidth);
    cairo_clip(s.cr);
    roundedPath(s, Area{paper.x0 - 0.2, paper.z0 - 0.2, paper.x1 + 0.2, paper.z1 + 0.02}, radius);
    cairo_set_line_width(s.cr, toPx(0.12));
    setColour(s.cr, rimLook.edge, 0.18);
    cairo_stroke(s.cr);
    cairo_restore(s.cr);
    // Rim edges and a highlight along the top.
    roundedPath(s, grown(body, -0.025), radius - 0.025);
    cairo_set_line_width(s.cr, toPx(0.05));
    setColour(s.cr, rimLook.edge);
    cairo_stroke(s.cr);
    roundedPath(s, paper, radius - rimWidth);
    cairo_set_line_width(s.cr, toPx(0.035));
    setColour(s.cr, rimLook.edge, 0.7);
    cairo_stroke(s.cr);
    cairo_move_to(s.cr, px(s, body.x0 + radius), pz(s, body.z1 - 0.07));
    cairo_line_to(s.cr, px(s, body.x1 - radius), pz(s, body.z1 - 0.07));
    cairo_set_line_width(s.cr, toPx(0.04));
    cairo_set_source_rgba(s.cr, 1, 1, 1, 0.55);
    cairo_stroke(s.cr);
}

// A row of seven little paint drops in rainbow colours, centred at (cx, cz).
static void paintDrops(const Sheet& s, double cx, double cz) {
    const Rgb drops[7] = {kRed, kOrange, kYellow, kGreen, kSky, kBlue, kPurple};
    for (int i = 0; i < 7; ++i) {
        double x = cx + (i - 3) * 0.75;
        circlePath(s, x, cz, 0.15);
        setColour(s.cr, drops[i]);
        cairo_fill_preserve(s.cr);
        cairo_set_line_width(s.cr, toPx(0.025));
        setColour(s.cr, mix(drops[i], Rgb{0, 0, 0.2}, 0.35));
        cairo_stroke(s.cr);
        circlePath(s, x - 0.05, cz + 0.05, 0.04);
        setColour(s.cr, kWhite, 0.8);
        cairo_fill(s.cr);
    }
}

// ---------------------------------------------------------------------------
// Internal helpers: letters
// ---------------------------------------------------------------------------

static PangoLayout* newLayout(const Sheet& s, const std::string& text, double sizeUnits, bool bold) {
    PangoLayout* layout = pango_cairo_create_layout(s.cr);
    // Unhinted outlines and metrics: the measures do not depend on the texture's scale.
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    PangoContext* context = pango_layout_get_context(layout);
    pango_cairo_context_set_font_options(context, options);
    cairo_font_options_destroy(options);
    // Laid out in design pixels, whatever the texture's own (unequal) scales: cairo stretches the
    // finished glyphs, and the quad stretches them back.
    pango_context_set_matrix(context, nullptr);
    pango_layout_context_changed(layout);
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, kFontFamily);
    pango_font_description_set_weight(font, bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_absolute_size(font, toPx(sizeUnits) * PANGO_SCALE);
    pango_layout_set_font_description(layout, font);
    pango_font_description_free(font);
    // Andika leaves room for stacked accents between lines; lines of one text can sit closer.
    pango_layout_set_line_spacing(layout, kLineSpacing);
    pango_layout_set_text(layout, text.c_str(), -1);
    return layout;
}

// Fails when a letter of the layout is missing from Andika or set in another font.
static void checkLetters(const Sheet& s, PangoLayout* layout, const char* what) {
    if (pango_layout_get_unknown_glyphs_count(layout) > 0)
        studioFail("text %s (%s, image \"%s\") has letters no font can show", what, s.language.c_str(),
                   s.image.c_str());
    PangoLayoutIter* iter = pango_layout_get_iter(layout);
    do {
        PangoLayoutRun* run = pango_layout_iter_get_run_readonly(iter);
        if (!run) continue;
        PangoFontDescription* d = pango_font_describe(run->item->analysis.font);
        std::string family = pango_font_description_get_family(d) ? pango_font_description_get_family(d) : "";
        pango_font_description_free(d);
        if (family != kFontFamily)
            studioFail("text %s (%s, image \"%s\") is partly set in \"%s\", not in %s", what, s.language.c_str(),
                       s.image.c_str(), family.c_str(), kFontFamily);
    } while (pango_layout_iter_next_run(iter));
    pango_layout_iter_free(iter);
}

// Whether a line of the wrapped layout starts inside a word (Pango breaks a word that is too long for a line).
static bool breaksInsideWord(PangoLayout* layout, const std::string& text) {
    GSList* lines = pango_layout_get_lines_readonly(layout);
    bool first = true;
    for (GSList* l = lines; l; l = l->next) {
        PangoLayoutLine* line = (PangoLayoutLine*)l->data;
        if (!first && line->start_index > 0) {
            char before = text[line->start_index - 1];
            if (before != ' ' && before != '\n' && before != '-') return true;
        }
        first = false;
    }
    return false;
}

// Sets a text into its place: shrinks it until it fits, or fails the build naming the text, language and sizes.
static void setText(const Sheet& s, const TextPlace& place, const std::string& text, const Area& box,
                    const Rgb& outline) {
    const double boxW = box.x1 - box.x0, boxH = box.z1 - box.z0;
    // Fewer lines first: a text takes a second line only when one line would have to shrink too far.
    int lineLimit = 1;
    double size = place.size;
    for (;;) {
        PangoLayout* layout = newLayout(s, text, size, place.bold);
        pango_layout_set_width(layout, (int)(toPx(boxW) * PANGO_SCALE));
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD);
        pango_layout_set_alignment(layout, place.align);
        std::string what = std::string("\"") + place.key + "\"";
        checkLetters(s, layout, what.c_str());
        // Measured by the letters' ink: accents need room, the font's generous line gap does not.
        PangoRectangle ink, logical;
        pango_layout_get_extents(layout, &ink, &logical);
        double inkLeft = (double)ink.x / PANGO_SCALE, inkRight = (double)(ink.x + ink.width) / PANGO_SCALE;
        double width = (inkRight - inkLeft) / kDesignPx;
        double height = (double)ink.height / PANGO_SCALE / kDesignPx;
        int lines = pango_layout_get_line_count(layout);
        bool broken = breaksInsideWord(layout, text);
        bool inside = inkLeft >= -1e-6 && inkRight <= toPx(boxW) + 1e-6;
        bool fits = lines <= lineLimit && !broken && inside && height <= boxH + 1e-6;
        if (fits) {
            double top = pz(s, box.z1) + (toPx(boxH) - (double)ink.height / PANGO_SCALE) / 2 -
                         (double)ink.y / PANGO_SCALE;
            cairo_save(s.cr);
            if (place.ink == INK_WHITE) {
                // A soft shadow, a dark outline and white letters: readable on any button colour.
                cairo_move_to(s.cr, px(s, box.x0), top + toPx(0.035));
                pango_cairo_layout_path(s.cr, layout);
                cairo_set_line_width(s.cr, toPx(size * 0.16));
                setColour(s.cr, outline, 0.35);
                cairo_stroke(s.cr);
                cairo_move_to(s.cr, px(s, box.x0), top);
                pango_cairo_layout_path(s.cr, layout);
                cairo_set_line_width(s.cr, toPx(size * 0.13));
                setColour(s.cr, outline);
                cairo_stroke(s.cr);
                cairo_move_to(s.cr, px(s, box.x0), top);
                setColour(s.cr, kWhite);
                pango_cairo_show_layout(s.cr, layout);
            } else {
                cairo_move_to(s.cr, px(s, box.x0), top);
                setColour(s.cr, place.ink == INK_DARK ? kInkDark : kInkSoft);
                pango_cairo_show_layout(s.cr, layout);
            }
            cairo_restore(s.cr);
            g_object_unref(layout);
            return;
        }
        g_object_unref(layout);
        double next = size * kShrinkStep;
        if (next < place.size * kMinTextScale && lineLimit < place.maxLines) {
            ++lineLimit;
            size = place.size;
            continue;
        }
        if (next < place.size * kMinTextScale)
            studioFail("text \"%s\" (%s) does not fit image \"%s\": at the smallest size %.3f it takes %.2f x %.2f "
                       "units in %d line%s%s, the place is %.2f x %.2f units for at most %d line%s",
                       place.key, s.language.c_str(), s.image.c_str(), size, width, height, lines,
                       lines == 1 ? "" : "s", broken ? " with a word broken" : "", boxW, boxH, place.maxLines,
                       place.maxLines == 1 ? "" : "s");
        size = next;
    }
}

static void setPlacedText(const Sheet& s, const char* key, const TextTable& texts, const Rgb& outline = kOutline) {
    const TextPlace& place = textPlace(key);
    setText(s, place, texts.at(key), place.box, outline);
}

// A short fixed word or number centred at (cx, cz): digits, "www", "?", "i".
static void setMark(const Sheet& s, const char* text, double cx, double cz, double size, bool bold, const Rgb& fill,
                    const Rgb* outline, double outlineShare = 0.14) {
    PangoLayout* layout = newLayout(s, text, size, bold);
    std::string what = std::string("\"") + text + "\"";
    checkLetters(s, layout, what.c_str());
    PangoRectangle ink, logical;
    pango_layout_get_extents(layout, &ink, &logical);
    // Centred on the ink, so digits and signs sit in the middle of their badges.
    double x = px(s, cx) - ((double)ink.x + ink.width / 2.0) / PANGO_SCALE;
    double y = pz(s, cz) - ((double)ink.y + ink.height / 2.0) / PANGO_SCALE;
    cairo_save(s.cr);
    if (outline) {
        cairo_move_to(s.cr, x, y);
        pango_cairo_layout_path(s.cr, layout);
        cairo_set_line_width(s.cr, toPx(size * outlineShare));
        setColour(s.cr, *outline);
        cairo_stroke(s.cr);
    }
    cairo_move_to(s.cr, x, y);
    setColour(s.cr, fill);
    pango_cairo_show_layout(s.cr, layout);
    cairo_restore(s.cr);
    g_object_unref(layout);
}

// ---------------------------------------------------------------------------
// Internal helpers: icons
// ---------------------------------------------------------------------------

// Icons are drawn in a local square: origin at (cx, cz), one local unit = size units, y down.
static void beginIcon(const Sheet& s, double cx, double cz, double size) {
    cairo_save(s.cr);
    cairo_translate(s.cr, px(s, cx), pz(s, cz));
    cairo_scale(s.cr, toPx(size), toPx(size));
}

static void endIcon(const Sheet& s) { cairo_restore(s.cr); }

static void localRounded(cairo_t* cr, double x0, double y0, double x1, double y1, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x1 - r, y0 + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x1 - r, y1 - r, r, 0, M_PI / 2);
    cairo_arc(cr, x0 + r, y1 - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x0 + r, y0 + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

static void fillAndEdge(cairo_t* cr, const Rgb& fill, const Rgb& edge, double width) {
    setColour(cr, fill);
    cairo_fill_preserve(cr);
    cairo_set_line_width(cr, width);
    setColour(cr, edge);
    cairo_stroke(cr);
}

// A fat stroke with a darker border: drawn twice, wide in the edge colour, then narrower in the fill.
static void fatStroke(cairo_t* cr, const Rgb& fill, const Rgb& edge, double width, double border) {
    cairo_set_line_width(cr, width + 2 * border);
    setColour(cr, edge);
    cairo_stroke_preserve(cr);
    cairo_set_line_width(cr, width);
    setColour(cr, fill);
    cairo_stroke(cr);
}

static void tickPath(cairo_t* cr) {
    cairo_move_to(cr, -0.3, 0.0);
    cairo_line_to(cr, -0.08, 0.24);
    cairo_line_to(cr, 0.32, -0.26);
}

static void crossPath(cairo_t* cr) {
    cairo_move_to(cr, -0.22, -0.22);
    cairo_line_to(cr, 0.22, 0.22);
    cairo_move_to(cr, 0.22, -0.22);
    cairo_line_to(cr, -0.22, 0.22);
}

static void gearPath(cairo_t* cr, double r) {
    const int teeth = 8;
    cairo_new_sub_path(cr);
    for (int i = 0; i < teeth * 2; ++i) {
        double a0 = (i - 0.5) * M_PI / teeth, a1 = (i + 0.5) * M_PI / teeth;
        double radius = (i % 2 == 0) ? r : r * 0.78;
        double shrink = (i % 2 == 0) ? 0.12 : 0.0;
        cairo_arc(cr, 0, 0, radius, a0 + shrink * M_PI / teeth, a1 - shrink * M_PI / teeth);
    }
    cairo_close_path(cr);
}

static void drawPictureFrame(cairo_t* cr, double x0, double y0, double x1, double y1) {
    localRounded(cr, x0, y0, x1, y1, 0.06);
    fillAndEdge(cr, kWhite, kOutline, 0.035);
    localRounded(cr, x0 + 0.06, y0 + 0.06, x1 - 0.06, y1 - 0.06, 0.03);
    setColour(cr, kWater);
    cairo_fill(cr);
    double w = x1 - x0, h = y1 - y0;
    cairo_arc(cr, x0 + w * 0.7, y0 + h * 0.32, h * 0.13, 0, 2 * M_PI);
    setColour(cr, kYellow);
    cairo_fill(cr);
    cairo_move_to(cr, x0 + 0.06, y1 - 0.06);
    cairo_curve_to(cr, x0 + w * 0.3, y0 + h * 0.45, x0 + w * 0.55, y0 + h * 0.6, x1 - 0.06, y0 + h * 0.62);
    cairo_line_to(cr, x1 - 0.06, y1 - 0.06);
    cairo_close_path(cr);
    setColour(cr, kGreen);
    cairo_fill(cr);
}

static void drawEraser(cairo_t* cr, double cx, double cy, double scale) {
    cairo_save(cr);
    cairo_translate(cr, cx, cy);
    cairo_rotate(cr, -0.6);
    cairo_scale(cr, scale, scale);
    localRounded(cr, -0.3, -0.14, 0.3, 0.14, 0.06);
    setColour(cr, kPink);
    cairo_fill(cr);
    localRounded(cr, 0.02, -0.14, 0.3, 0.14, 0.06);
    setColour(cr, kBlue);
    cairo_fill(cr);
    cairo_rectangle(cr, 0.0, -0.14, 0.06, 0.28);
    setColour(cr, kWhite);
    cairo_fill(cr);
    localRounded(cr, -0.3, -0.14, 0.3, 0.14, 0.06);
    cairo_set_line_width(cr, 0.035 / scale);
    setColour(cr, kOutline);
    cairo_stroke(cr);
    cairo_restore(cr);
}

static void drawSparkle(cairo_t* cr, double cx, double cy, double r, const Rgb& colour) {
    cairo_move_to(cr, cx, cy - r);
    cairo_curve_to(cr, cx + r * 0.15, cy - r * 0.15, cx + r * 0.15, cy - r * 0.15, cx + r, cy);
    cairo_curve_to(cr, cx + r * 0.15, cy + r * 0.15, cx + r * 0.15, cy + r * 0.15, cx, cy + r);
    cairo_curve_to(cr, cx - r * 0.15, cy + r * 0.15, cx - r * 0.15, cy + r * 0.15, cx - r, cy);
    cairo_curve_to(cr, cx - r * 0.15, cy - r * 0.15, cx - r * 0.15, cy - r * 0.15, cx, cy - r);
    cairo_close_path(cr);
    setColour(cr, colour);
    cairo_fill(cr);
}

// An icon centred at (cx, cz), about `size` units across.
static void drawIcon(const Sheet& s, IconKind kind, double cx, double cz, double size) {
    cairo_t* cr = s.cr;
    if (kind == ICON_NUMBERS) {
        paintShape(s, centred(cx, cz, size * 0.95, size * 0.8), size * 0.2,
                   ShapeLook{{1.0, 0.82, 0.45}, {1.0, 0.62, 0.22}, {0.75, 0.4, 0.08}}, size * 0.06, 0.0);
        setMark(s, "123", cx, cz, size * 0.42, true, kWhite, &kOutline, 0.2);
        return;
    }
    if (kind == ICON_QUESTION || kind == ICON_INFO) {
        const ShapeLook& look = kBlueLook;
        Area a = centred(cx, cz, size, size);
        paintShape(s, a, size / 2, look, size * 0.07, 0.0);
        setMark(s, kind == ICON_QUESTION ? "?" : "i", cx, cz, size * 0.62, true, kWhite, &look.edge, 0.16);
        return;
    }
    beginIcon(s, cx, cz, size);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    switch (kind) {
    case ICON_DOOR: {
        cairo_arc(cr, 0, 0, 0.5, 0, 2 * M_PI);
        setColour(cr, {0.88, 0.94, 1.0});
        cairo_fill(cr);
        localRounded(cr, -0.28, -0.36, 0.14, 0.38, 0.05);
        fillAndEdge(cr, {0.55, 0.36, 0.22}, {0.35, 0.22, 0.12}, 0.03);
        localRounded(cr, -0.22, -0.3, 0.08, 0.38, 0.03);
        setColour(cr, {0.98, 0.96, 0.85});
        cairo_fill(cr);
        // The open door leaf.
        cairo_move_to(cr, -0.22, -0.3);
        cairo_line_to(cr, -0.02, -0.24);
        cairo_line_to(cr, -0.02, 0.44);
        cairo_line_to(cr, -0.22, 0.38);
        cairo_close_path(cr);
        fillAndEdge(cr, {0.85, 0.55, 0.3}, {0.45, 0.28, 0.14}, 0.03);
        cairo_arc(cr, -0.06, 0.07, 0.025, 0, 2 * M_PI);
        setColour(cr, kGold);
        cairo_fill(cr);
        // The way out.
        cairo_move_to(cr, 0.02, 0.02);
        cairo_line_to(cr, 0.36, 0.02);
        fatStroke(cr, kGreen, {0.15, 0.45, 0.18}, 0.1, 0.025);
        cairo_move_to(cr, 0.26, -0.1);
        cairo_line_to(cr, 0.4, 0.02);
        cairo_line_to(cr, 0.26, 0.14);
        fatStroke(cr, kGreen, {0.15, 0.45, 0.18}, 0.1, 0.025);
        break;
    }
    case ICON_CLEAR:
        cairo_arc(cr, 0, 0, 0.5, 0, 2 * M_PI);
        setColour(cr, {1.0, 0.93, 0.95});
        cairo_fill(cr);
        drawPictureFrame(cr, -0.34, -0.3, 0.24, 0.16);
        drawEraser(cr, 0.14, 0.22, 0.75);
        drawSparkle(cr, -0.2, 0.3, 0.07, kGold);
        drawSparkle(cr, 0.36, -0.12, 0.06, kGold);
        break;
    case ICON_CLEAR_ALL:
        cairo_arc(cr, 0, 0, 0.5, 0, 2 * M_PI);
        setColour(cr, {1.0, 0.93, 0.95});
        cairo_fill(cr);
        drawPictureFrame(cr, -0.2, -0.4, 0.32, 0.0);
        drawPictureFrame(cr, -0.3, -0.3, 0.22, 0.1);
        drawPictureFrame(cr, -0.4, -0.2, 0.12, 0.2);
        drawEraser(cr, 0.16, 0.26, 0.75);
        drawSparkle(cr, -0.22, 0.34, 0.07, kGold);
        drawSparkle(cr, 0.38, -0.08, 0.06, kGold);
        break;
    case ICON_GEAR:
        gearPath(cr, 0.48);
        fillAndEdge(cr, {0.55, 0.62, 0.78}, kOutline, 0.05);
        cairo_arc(cr, 0, 0, 0.16, 0, 2 * M_PI);
        fillAndEdge(cr, kWhite, kOutline, 0.05);
        break;
    case ICON_SPEAKER:
        cairo_move_to(cr, -0.42, -0.12);
        cairo_line_to(cr, -0.22, -0.12);
        cairo_line_to(cr, 0.02, -0.34);
        cairo_line_to(cr, 0.02, 0.34);
        cairo_line_to(cr, -0.22, 0.12);
        cairo_line_to(cr, -0.42, 0.12);
        cairo_close_path(cr);
        fillAndEdge(cr, kSky, kOutline, 0.05);
        cairo_new_path(cr);
        cairo_arc(cr, 0.04, 0, 0.2, -0.8, 0.8);
        cairo_set_line_width(cr, 0.07);
        setColour(cr, kOutline);
        cairo_stroke(cr);
        cairo_arc(cr, 0.04, 0, 0.36, -0.8, 0.8);
        cairo_stroke(cr);
        break;
    case ICON_NOTES:
        cairo_move_to(cr, -0.16, 0.26);
        cairo_line_to(cr, -0.16, -0.3);
        cairo_line_to(cr, 0.32, -0.4);
        cairo_line_to(cr, 0.32, 0.16);
        cairo_set_line_width(cr, 0.07);
        setColour(cr, kOutline);
        cairo_stroke(cr);
        cairo_move_to(cr, -0.16, -0.3);
        cairo_line_to(cr, 0.32, -0.4);
        cairo_line_to(cr, 0.32, -0.26);
        cairo_line_to(cr, -0.16, -0.16);
        cairo_close_path(cr);
        setColour(cr, kOutline);
        cairo_fill(cr);
        for (int i = 0; i < 2; ++i) {
            cairo_save(cr);
            cairo_translate(cr, i == 0 ? -0.27 : 0.21, i == 0 ? 0.28 : 0.18);
            cairo_rotate(cr, -0.4);
            cairo_scale(cr, 1.3, 1.0);
            cairo_arc(cr, 0, 0, 0.11, 0, 2 * M_PI);
            cairo_restore(cr);
            fillAndEdge(cr, kPurple, kOutline, 0.04);
        }
        break;
    case ICON_MOSAIC: {
        const Rgb cells[9] = {kRed, kYellow, kBlue, kGreen, kOrange, kPink, kPurple, kSky, kLeaf};
        for (int i = 0; i < 9; ++i) {
            double x = -0.42 + (i % 3) * 0.28, y = -0.42 + (i / 3) * 0.28;
            localRounded(cr, x, y, x + 0.26, y + 0.26, 0.05);
            fillAndEdge(cr, cells[i], kOutline, 0.03);
        }
        break;
    }
    case ICON_ERASER:
        drawEraser(cr, 0, 0, 1.2);
        break;
    case ICON_TICK:
        tickPath(cr);
        fatStroke(cr, kWhite, {0.12, 0.42, 0.18}, 0.17, 0.045);
        break;
    case ICON_CROSS:
        crossPath(cr);
        fatStroke(cr, kWhite, {0.6, 0.14, 0.14}, 0.17, 0.045);
        break;
    case ICON_GLOBE:
        cairo_arc(cr, 0, 0, 0.42, 0, 2 * M_PI);
        fillAndEdge(cr, {0.45, 0.78, 1.0}, {0.1, 0.3, 0.6}, 0.05);
        cairo_save(cr);
        cairo_arc(cr, 0, 0, 0.42, 0, 2 * M_PI);
        cairo_clip(cr);
        cairo_move_to(cr, -0.3, -0.22);
        cairo_curve_to(cr, -0.1, -0.35, 0.05, -0.2, -0.02, -0.05);
        cairo_curve_to(cr, -0.1, 0.1, -0.25, 0.05, -0.3, -0.22);
        cairo_move_to(cr, 0.08, 0.05);
        cairo_curve_to(cr, 0.3, -0.05, 0.42, 0.15, 0.25, 0.32);
        cairo_curve_to(cr, 0.12, 0.4, 0.05, 0.2, 0.08, 0.05);
        setColour(cr, {0.4, 0.85, 0.4});
        cairo_fill(cr);
        cairo_set_line_width(cr, 0.035);
        cairo_set_source_rgba(cr, 1, 1, 1, 0.85);
        cairo_save(cr);
        cairo_scale(cr, 0.45, 1.0);
        cairo_arc(cr, 0, 0, 0.42, 0, 2 * M_PI);
        cairo_restore(cr);
        cairo_stroke(cr);
        cairo_move_to(cr, -0.42, 0);
        cairo_line_to(cr, 0.42, 0);
        cairo_move_to(cr, 0, -0.42);
        cairo_line_to(cr, 0, 0.42);
        cairo_stroke(cr);
        cairo_restore(cr);
        cairo_arc(cr, 0, 0, 0.42, 0, 2 * M_PI);
        cairo_set_line_width(cr, 0.05);
        setColour(cr, {0.1, 0.3, 0.6});
        cairo_stroke(cr);
        break;
    case ICON_SPEECH:
        localRounded(cr, -0.42, -0.34, 0.42, 0.22, 0.16);
        cairo_move_to(cr, -0.18, 0.2);
        cairo_line_to(cr, -0.26, 0.42);
        cairo_line_to(cr, 0.02, 0.2);
        fillAndEdge(cr, kWhite, {0.06, 0.42, 0.47}, 0.05);
        localRounded(cr, -0.395, -0.315, 0.395, 0.195, 0.14);
        setColour(cr, kWhite);
        cairo_fill(cr);
        for (int i = 0; i < 3; ++i) {
            cairo_arc(cr, -0.2 + i * 0.2, -0.06, 0.065, 0, 2 * M_PI);
            setColour(cr, i == 0 ? kRed : (i == 1 ? kYellow : kGreen));
            cairo_fill(cr);
        }
        break;
    case ICON_PALETTE: {
        cairo_save(cr);
        cairo_scale(cr, 1.0, 0.8);
        cairo_arc(cr, 0, 0, 0.45, 0, 2 * M_PI);
        cairo_restore(cr);
        cairo_arc_negative(cr, 0.16, 0.16, 0.08, 2 * M_PI, 0);
        fillAndEdge(cr, {0.96, 0.84, 0.62}, {0.55, 0.38, 0.2}, 0.04);
        const Rgb blobs[5] = {kRed, kYellow, kGreen, kBlue, kPurple};
        const double bx[5] = {-0.25, -0.05, 0.18, -0.3, 0.3}, by[5] = {-0.12, -0.22, -0.18, 0.1, 0.0};
        for (int i = 0; i < 5; ++i) {
            cairo_arc(cr, bx[i], by[i], 0.075, 0, 2 * M_PI);
            setColour(cr, blobs[i]);
            cairo_fill(cr);
        }
        break;
    }
    case ICON_BRUSH:
        cairo_save(cr);
        cairo_rotate(cr, 0.7);
        localRounded(cr, -0.06, -0.48, 0.06, 0.1, 0.05);
        fillAndEdge(cr, {0.9, 0.45, 0.3}, {0.5, 0.2, 0.1}, 0.03);
        cairo_rectangle(cr, -0.075, 0.08, 0.15, 0.1);
        fillAndEdge(cr, {0.8, 0.82, 0.86}, kOutline, 0.025);
        cairo_move_to(cr, -0.075, 0.18);
        cairo_curve_to(cr, -0.09, 0.3, -0.03, 0.42, 0.0, 0.48);
        cairo_curve_to(cr, 0.03, 0.42, 0.09, 0.3, 0.075, 0.18);
        cairo_close_path(cr);
        fillAndEdge(cr, kBlue, kOutline, 0.03);
        cairo_restore(cr);
        break;
    default:
        break;
    }
    endIcon(s);
}

// ---------------------------------------------------------------------------
// Internal helpers: models
// ---------------------------------------------------------------------------

// A flat quad covering the sheet's area at depth y, textured with the sheet; all dialog images are transparent
// (they fade and have soft edges).
static MeshSource sheetMesh(PakArchive* pak, Sheet* sheet, const std::string& texture, double y) {
    Area a = sheet->area;
    studioAdd(pak, texture, closeSheet(sheet));
    return studioUprightImage(texture, (float)((a.x0 + a.x1) / 2), (float)((a.z0 + a.z1) / 2), (float)(a.x1 - a.x0),
                              (float)(a.z1 - a.z0), (float)y, true);
}

static void addSheetModel(PakArchive* pak, Sheet* sheet, const std::string& model, double y) {
    MeshSource mesh = sheetMesh(pak, sheet, model + ".png", y);
    studioAdd(pak, model, studioModel({mesh}));
}

// ---------------------------------------------------------------------------
// Internal helpers: shared images ("langall.pak")
// ---------------------------------------------------------------------------

// The backdrop: a dark blue veil, a little denser towards the edges of the view.
static void addVeil(PakArchive* pak) {
    Sheet s = openSheetSized("menu_alpha", "all", kVeilArea, 128, 64);
    cairo_surface_flush(s.surface);
    int w = cairo_image_surface_get_width(s.surface), h = cairo_image_surface_get_height(s.surface);
    int stride = cairo_image_surface_get_stride(s.surface);
    unsigned char* data = cairo_image_surface_get_data(s.surface);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            double ux = kVeilArea.x0 + (x + 0.5) / w * (kVeilArea.x1 - kVeilArea.x0);
            double uz = kVeilArea.z1 - (y + 0.5) / h * (kVeilArea.z1 - kVeilArea.z0);
            double r = std::sqrt((ux / 26.0) * (ux / 26.0) + (uz / 18.2) * (uz / 18.2));
            double t = std::min(1.0, std::max(0.0, (r - 0.35) / 0.75));
            double alpha = 0.5 + 0.16 * t * t * (3 - 2 * t);
            const double colour[3] = {0.07, 0.08, 0.22};
            uint32_t a = (uint32_t)lround(alpha * 255);
            uint32_t rr = (uint32_t)lround(colour[0] * a), gg = (uint32_t)lround(colour[1] * a),
                     bb = (uint32_t)lround(colour[2] * a);
            uint32_t* pixel = (uint32_t*)(data + y * stride) + x;
            *pixel = (a << 24) | (rr << 16) | (gg << 8) | bb;
        }
    }
    cairo_surface_mark_dirty(s.surface);
    addSheetModel(pak, &s, "menu_alpha", kVeilY);
}

static void addTickBox(PakArchive* pak, bool checked) {
    const char* key = checked ? "checked" : "unchecked";
    Sheet s = openSheet(key, "all", centred(0, 0, 0.8, 0.8));
    Area box = centred(0, 0, kCheckSide - 0.04, kCheckSide - 0.04);
    softShadow(s, box, 0.12, 0.06, 0.35);
    roundedPath(s, box, 0.12);
    if (checked)
        setVerticalGradient(s, box.z1, box.z0, {0.93, 1.0, 0.9}, {0.78, 0.95, 0.74});
    else
        setVerticalGradient(s, box.z1, box.z0, kWhite, {0.88, 0.92, 0.98});
    cairo_fill(s.cr);
    roundedPath(s, grown(box, -0.035), 0.09);
    cairo_set_line_width(s.cr, toPx(0.07));
    setColour(s.cr, checked ? Rgb{0.2, 0.6, 0.27} : Rgb{0.33, 0.5, 0.82});
    cairo_stroke(s.cr);
    if (checked) {
        // A big tick that reaches a little over the box's top right corner.
        beginIcon(s, 0.03, 0.0, 0.66);
        tickPath(s.cr);
        fatStroke(s.cr, {0.27, 0.74, 0.3}, {0.1, 0.38, 0.14}, 0.17, 0.04);
        endIcon(s);
    }
    addSheetModel(pak, &s, key, kPieceY);
}

static void addFrame(PakArchive* pak, const char* key, const Area& body, const Rgb& rim) {
    Sheet s = openSheet(key, "all", grown(body, kFrameShadow));
    paintCard(s, body, rim);
    addSheetModel(pak, &s, key, kFrameY);
}

static void addRoundClose(PakArchive* pak) {
    Sheet s = openSheet("button_close", "all", centred(0, 0, 1.16, 1.16));
    Area a = centred(0, 0, kCloseRadius * 2, kCloseRadius * 2);
    paintShape(s, a, kCloseRadius, kNoLook, 0.06, 0.08);
    drawIcon(s, ICON_CROSS, 0, 0, 0.78);
    addSheetModel(pak, &s, "button_close", kPieceY);
}

// A web link: a rounded button with a picture and "www", no brand.
static void addWebButton(PakArchive* pak, const char* key, const ShapeLook& look, IconKind icon) {
    Sheet s = openSheet(key, "all", centred(0, 0, kWebButtonW + 0.3, kWebButtonH + 0.3));
    Area a = centred(0, 0, kWebButtonW, kWebButtonH);
    paintShape(s, a, kWebButtonH / 2, look, 0.06);
    circlePath(s, -0.72, 0, 0.36);
    setColour(s.cr, kWhite, 0.92);
    cairo_fill(s.cr);
    drawIcon(s, icon, -0.72, 0, 0.62);
    setMark(s, "www", 0.38, 0.0, 0.46, true, kWhite, &look.edge, 0.18);
    addSheetModel(pak, &s, key, kPieceY);
}

// The fish of the mode cards, in card units centred on the picture.
static void fishBodyPath(cairo_t* cr) {
    cairo_save(cr);
    cairo_translate(cr, -0.2, 0.02);
    cairo_scale(cr, 1.1, 0.68);
    cairo_arc(cr, 0, 0, 1.0, 0, 2 * M_PI);
    cairo_restore(cr);
}

static void fishTailPath(cairo_t* cr) {
    cairo_move_to(cr, 0.8, 0.02);
    cairo_curve_to(cr, 1.1, -0.3, 1.35, -0.62, 1.55, -0.6);
    cairo_curve_to(cr, 1.42, -0.2, 1.42, 0.24, 1.55, 0.64);
    cairo_curve_to(cr, 1.35, 0.66, 1.1, 0.34, 0.8, 0.02);
    cairo_close_path(cr);
}

static void fishFinPath(cairo_t* cr) {
    cairo_move_to(cr, -0.55, -0.6);
    cairo_curve_to(cr, -0.35, -0.98, 0.15, -0.98, 0.35, -0.58);
    cairo_close_path(cr);
}

// Fills the clip of a fish part with vertical bands split at the given x positions (curved a little).
static void fishBands(cairo_t* cr, const std::vector<double>& splits, const std::vector<Rgb>& colours) {
    double left = -1.5;
    for (size_t i = 0; i <= splits.size(); ++i) {
        double right = i < splits.size() ? splits[i] : 1.7;
        cairo_move_to(cr, left, -1.2);
        cairo_curve_to(cr, left + 0.12, -0.4, left - 0.12, 0.4, left, 1.2);
        cairo_line_to(cr, right, 1.2);
        cairo_curve_to(cr, right - 0.12, 0.4, right + 0.12, -0.4, right, -1.2);
        cairo_close_path(cr);
        setColour(cr, colours[i]);
        cairo_fill(cr);
        left = right;
    }
    for (double x : splits) {
        cairo_move_to(cr, x, -1.2);
        cairo_curve_to(cr, x - 0.12, -0.4, x + 0.12, 0.4, x, 1.2);
        cairo_set_line_width(cr, 0.04);
        setColour(cr, kOutline);
        cairo_stroke(cr);
    }
}

static void fishOutlineAndEye(cairo_t* cr) {
    cairo_set_line_width(cr, 0.05);
    setColour(cr, kOutline);
    fishFinPath(cr);
    cairo_stroke(cr);
    fishTailPath(cr);
    cairo_stroke(cr);
    fishBodyPath(cr);
    cairo_stroke(cr);
    cairo_arc(cr, -0.85, -0.12, 0.15, 0, 2 * M_PI);
    fillAndEdge(cr, kWhite, kOutline, 0.04);
    cairo_arc(cr, -0.88, -0.1, 0.075, 0, 2 * M_PI);
    setColour(cr, kOutline);
    cairo_fill(cr);
    cairo_arc(cr, -0.9, -0.13, 0.025, 0, 2 * M_PI);
    setColour(cr, kWhite);
    cairo_fill(cr);
    cairo_arc(cr, -1.02, 0.18, 0.12, 0.2, 1.4);
    cairo_set_line_width(cr, 0.04);
    setColour(cr, kOutline);
    cairo_stroke(cr);
}

// The three mode cards: simple pictures with numbers, detailed pictures with numbers, free colouring.
static void addModeCard(PakArchive* pak, int mode) {
    std::string key = "help_mode" + std::to_string(mode);
    Sheet s = openSheet(key, "all", centred(0, 0, kModeCardW + 0.36, kModeCardH + 0.36));
    Area card = centred(0, 0, kModeCardW, kModeCardH);
    const Rgb rims[3] = {kSky, kViolet, kSun};
    softShadow(s, card, 0.3, 0.12, 0.4);
    roundedPath(s, card, 0.3);
    setVerticalGradient(s, card.z1, card.z0, mix(rims[mode - 1], kWhite, 0.25), rims[mode - 1]);
    cairo_fill(s.cr);
    Area picture = grown(card, -0.13);
    roundedPath(s, picture, 0.2);
    setVerticalGradient(s, picture.z1, picture.z0, {0.88, 0.96, 1.0}, {0.66, 0.86, 0.98});
    cairo_fill(s.cr);
    cairo_t* cr = s.cr;
    cairo_save(cr);
    roundedPath(s, picture, 0.2);
    cairo_clip(cr);
    // Water plants and bubbles.
    beginIcon(s, 0, 0, 1.0);
    for (int i = 0; i < 3; ++i) {
        double x = -1.7 + i * 0.25;
        cairo_move_to(cr, x, 1.3);
        cairo_curve_to(cr, x - 0.15, 0.9, x + 0.15, 0.7, x, 0.35 + i * 0.1);
        cairo_set_line_width(cr, 0.09);
        setColour(cr, {0.3, 0.7, 0.45});
        cairo_stroke(cr);
    }
    const double bubbleX[3] = {-1.45, -1.3, -1.5}, bubbleY[3] = {-0.75, -0.45, -0.2}, bubbleR[3] = {0.1, 0.07, 0.05};
    for (int i = 0; i < 3; ++i) {
        cairo_arc(cr, bubbleX[i], bubbleY[i], bubbleR[i], 0, 2 * M_PI);
        cairo_set_source_rgba(cr, 1, 1, 1, 0.8);
        cairo_set_line_width(cr, 0.03);
        cairo_stroke(cr);
    }
    cairo_translate(cr, 0.15, 0.08);
    cairo_scale(cr, 0.95, 0.95);
    if (mode == 1) {
        cairo_save(cr);
        fishBodyPath(cr);
        cairo_clip(cr);
        fishBands(cr, {-0.55, 0.25}, {kOrange, kWhite, kYellow});
        cairo_restore(cr);
        cairo_save(cr);
        fishTailPath(cr);
        cairo_clip(cr);
        fishBands(cr, {}, {kWhite});
        cairo_restore(cr);
        cairo_save(cr);
        fishFinPath(cr);
        cairo_clip(cr);
        fishBands(cr, {}, {kRed});
        cairo_restore(cr);
        fishOutlineAndEye(cr);
    } else if (mode == 2) {
        cairo_save(cr);
        fishBodyPath(cr);
        cairo_clip(cr);
        fishBands(cr, {-0.55}, {kOrange, kWhite});
        // Scales: many small regions, some painted.
        const Rgb painted[3] = {kYellow, kOrange, kRed};
        int n = 0;
        for (int row = 0; row < 5; ++row) {
            for (int col = 0; col < 6; ++col) {
                double x = -0.4 + col * 0.24 + (row % 2) * 0.12, y = -0.58 + row * 0.27;
                cairo_arc(cr, x, y, 0.16, 0, 2 * M_PI);
                bool colour = (n * 7) % 5 < 2;
                setColour(cr, colour ? painted[n % 3] : kWhite);
                cairo_fill_preserve(cr);
                cairo_set_line_width(cr, 0.03);
                setColour(cr, kOutline);
                cairo_stroke(cr);
                ++n;
            }
        }
        cairo_restore(cr);
        cairo_save(cr);
        fishTailPath(cr);
        cairo_clip(cr);
        fishBands(cr, {1.1, 1.3}, {kYellow, kWhite, kRed});
        cairo_restore(cr);
        cairo_save(cr);
        fishFinPath(cr);
        cairo_clip(cr);
        fishBands(cr, {-0.2, 0.1}, {kRed, kWhite, kRed});
        cairo_restore(cr);
        fishOutlineAndEye(cr);
    } else {
        cairo_save(cr);
        fishBodyPath(cr);
        cairo_clip(cr);
        fishBands(cr, {-0.75, -0.4, -0.05, 0.3, 0.6}, {kPink, kRed, kOrange, kYellow, kGreen, kSky});
        cairo_restore(cr);
        cairo_save(cr);
        fishTailPath(cr);
        cairo_clip(cr);
        fishBands(cr, {}, {kPurple});
        cairo_restore(cr);
        cairo_save(cr);
        fishFinPath(cr);
        cairo_clip(cr);
        fishBands(cr, {}, {kBlue});
        cairo_restore(cr);
        fishOutlineAndEye(cr);
    }
    endIcon(s);
    if (mode == 1) {
        setMark(s, "2", 0.15 + 0.95 * -0.15, 0.08 * -0.95 + 0.02, 0.42, true, kInkSoft, nullptr);
        setMark(s, "1", 0.15 + 0.95 * 1.27, -0.05, 0.34, true, kInkSoft, nullptr);
    } else if (mode == 2) {
        const double nx[5] = {-0.2, 0.28, 0.52, 0.05, 0.75}, nz[5] = {0.4, 0.15, -0.38, -0.4, 0.12};
        const char* digits[5] = {"3", "5", "2", "4", "6"};
        for (int i = 0; i < 5; ++i) setMark(s, digits[i], nx[i], nz[i], 0.16, true, kInkSoft, nullptr);
    } else {
        // A brush painting its own colours.
        drawIcon(s, ICON_BRUSH, 1.45, -0.68, 0.8);
        drawSparkle(cr, px(s, -1.0), pz(s, 0.95), toPx(0.1), kGold);
    }
    cairo_restore(cr);
    roundedPath(s, card, 0.3);
    cairo_set_line_width(s.cr, toPx(0.05));
    setColour(s.cr, mix(rims[mode - 1], Rgb{0, 0, 0.2}, 0.4));
    cairo_stroke(s.cr);
    if (mode != 3) {
        // A number badge in the corner says "numbers" without words.
        Area badge = centred(-1.45, 0.9, 0.8, 0.5);
        paintShape(s, badge, 0.2, kGoldLook, 0.04, 0.04);
        setMark(s, "123", -1.45, 0.9, 0.28, true, kWhite, &kGoldLook.edge, 0.2);
    } else {
        drawIcon(s, ICON_PALETTE, -1.45, 0.88, 0.7);
    }
    addSheetModel(pak, &s, key, kPieceY);
}

// A glowing golden ring; the piece in front of it covers its middle.
static void addGlow(PakArchive* pak, const char* key, double w, double h, double radius) {
    Sheet s = openSheet(key, "all", centred(0, 0, w + 0.4, h + 0.4));
    Area body = centred(0, 0, w, h);
    for (int i = 8; i >= 1; --i) {
        roundedPath(s, grown(body, 0.18 * i / 8), radius + 0.18 * i / 8);
        setColour(s.cr, kGold, 0.09);
        cairo_fill(s.cr);
    }
    roundedPath(s, body, radius);
    setVerticalGradient(s, body.z1, body.z0, {1.0, 0.95, 0.55}, {1.0, 0.72, 0.12});
    cairo_fill(s.cr);
    roundedPath(s, grown(body, -0.025), radius);
    cairo_set_line_width(s.cr, toPx(0.05));
    setColour(s.cr, {0.85, 0.55, 0.05});
    cairo_stroke(s.cr);
    addSheetModel(pak, &s, key, kPieceY);
}

static void stripes(const Sheet& s, const Area& f, const Rgb* colours, const double* shares, int count,
                    bool vertical) {
    double at = 0;
    for (int i = 0; i < count; ++i) {
        double a = at, b = at + shares[i];
        at = b;
        if (vertical)
            cairo_rectangle(s.cr, px(s, f.x0 + (f.x1 - f.x0) * a), pz(s, f.z1), toPx((f.x1 - f.x0) * (b - a)) + 0.5,
                            toPx(f.z1 - f.z0));
        else
            cairo_rectangle(s.cr, px(s, f.x0), pz(s, f.z1 - (f.z1 - f.z0) * a), toPx(f.x1 - f.x0),
                            toPx((f.z1 - f.z0) * (b - a)) + 0.5);
        setColour(s.cr, colours[i]);
        cairo_fill(s.cr);
    }
}

static void unionFlag(const Sheet& s, const Area& f) {
    const Rgb blue = {0.0, 0.16, 0.45}, red = {0.8, 0.1, 0.18};
    setColour(s.cr, blue);
    cairo_rectangle(s.cr, px(s, f.x0), pz(s, f.z1), toPx(f.x1 - f.x0), toPx(f.z1 - f.z0));
    cairo_fill(s.cr);
    double h = f.z1 - f.z0;
    cairo_move_to(s.cr, px(s, f.x0), pz(s, f.z1));
    cairo_line_to(s.cr, px(s, f.x1), pz(s, f.z0));
    cairo_move_to(s.cr, px(s, f.x0), pz(s, f.z0));
    cairo_line_to(s.cr, px(s, f.x1), pz(s, f.z1));
    cairo_set_line_cap(s.cr, CAIRO_LINE_CAP_BUTT);
    cairo_set_line_width(s.cr, toPx(h * 0.2));
    setColour(s.cr, kWhite);
    cairo_stroke_preserve(s.cr);
    cairo_set_line_width(s.cr, toPx(h * 0.08));
    setColour(s.cr, red);
    cairo_stroke(s.cr);
    double cx = (f.x0 + f.x1) / 2, cz = (f.z0 + f.z1) / 2;
    cairo_move_to(s.cr, px(s, f.x0), pz(s, cz));
    cairo_line_to(s.cr, px(s, f.x1), pz(s, cz));
    cairo_move_to(s.cr, px(s, cx), pz(s, f.z1));
    cairo_line_to(s.cr, px(s, cx), pz(s, f.z0));
    cairo_set_line_width(s.cr, toPx(h * 0.34));
    setColour(s.cr, kWhite);
    cairo_stroke_preserve(s.cr);
    cairo_set_line_width(s.cr, toPx(h * 0.2));
    setColour(s.cr, red);
    cairo_stroke(s.cr);
    cairo_set_line_cap(s.cr, CAIRO_LINE_CAP_ROUND);
}

// A small waving flag with a white rim and a soft shine.
static void addFlag(PakArchive* pak, const char* code) {
    std::string key = std::string("setup_lang_") + code;
    Sheet s = openSheet(key, "all", centred(0, 0, kFlagW + 0.24, kFlagH + 0.24));
    Area body = centred(0, 0, kFlagW, kFlagH);
    softShadow(s, body, 0.12, 0.07, 0.4);
    roundedPath(s, body, 0.12);
    setColour(s.cr, kWhite);
    cairo_fill(s.cr);
    Area f = grown(body, -0.05);
    cairo_save(s.cr);
    roundedPath(s, f, 0.08);
    cairo_clip(s.cr);
    if (strcmp(code, "en") == 0) {
        unionFlag(s, f);
    } else if (strcmp(code, "de") == 0) {
        const Rgb c[3] = {{0.1, 0.1, 0.12}, {0.86, 0.1, 0.12}, {1.0, 0.8, 0.0}};
        const double share[3] = {1.0 / 3, 1.0 / 3, 1.0 / 3};
        stripes(s, f, c, share, 3, false);
    } else if (strcmp(code, "es") == 0) {
        const Rgb c[3] = {{0.78, 0.08, 0.12}, {1.0, 0.77, 0.0}, {0.78, 0.08, 0.12}};
        const double share[3] = {0.25, 0.5, 0.25};
        stripes(s, f, c, share, 3, false);
    } else if (strcmp(code, "ru") == 0) {
        const Rgb c[3] = {kWhite, {0.0, 0.22, 0.65}, {0.84, 0.16, 0.12}};
        const double share[3] = {1.0 / 3, 1.0 / 3, 1.0 / 3};
        stripes(s, f, c, share, 3, false);
    } else {
        const Rgb c[3] = {{0.0, 0.2, 0.6}, kWhite, {0.93, 0.16, 0.22}};
        const double share[3] = {1.0 / 3, 1.0 / 3, 1.0 / 3};
        stripes(s, f, c, share, 3, true);
    }
    // Soft folds of cloth and a shine along the top.
    cairo_pattern_t* folds = cairo_pattern_create_linear(px(s, f.x0), 0, px(s, f.x1), 0);
    for (int i = 0; i <= 6; ++i)
        cairo_pattern_add_color_stop_rgba(folds, i / 6.0, i % 2 ? 0 : 1, i % 2 ? 0 : 1, i % 2 ? 0.1 : 1,
                                          i % 2 ? 0.1 : 0.12);
    cairo_set_source(s.cr, folds);
    cairo_paint(s.cr);
    cairo_pattern_destroy(folds);
    gloss(s, f, 0.08, 0.35);
    cairo_restore(s.cr);
    roundedPath(s, body, 0.12);
    cairo_set_line_width(s.cr, toPx(0.025));
    setColour(s.cr, {0.55, 0.6, 0.72});
    cairo_stroke(s.cr);
    addSheetModel(pak, &s, key, kPieceY);
}

// The about box, the same in every language: the name in rainbow letters, the
// version, the two link buttons' row left free, and "have fun" in all five languages.
static void addAbout(PakArchive* pak, const TextTable* texts) {
    Sheet s = openSheet("about", "all", kAboutContent);
    drawIcon(s, ICON_PALETTE, -3.15, 2.25, 1.25);
    drawIcon(s, ICON_BRUSH, 3.65, 2.25, 1.15);
    paintDrops(s, (kAboutFacebookX + kAboutTwitterX) / 2, kAboutDropsZ);
    const char* name = "tintaria";
    const Rgb letters[8] = {kRed, kOrange, {0.95, 0.75, 0.05}, kGreen, {0.1, 0.72, 0.75}, kBlue, kPurple, kPink};
    PangoLayout* layout = newLayout(s, name, 1.15, true);
    checkLetters(s, layout, "\"tintaria\"");
    PangoAttrList* attributes = pango_attr_list_new();
    for (int i = 0; i < 8; ++i) {
        PangoAttribute* a = pango_attr_foreground_new((guint16)(letters[i].r * 65535), (guint16)(letters[i].g * 65535),
                                                      (guint16)(letters[i].b * 65535));
        a->start_index = i;
        a->end_index = i + 1;
        pango_attr_list_insert(attributes, a);
    }
    pango_layout_set_attributes(layout, attributes);
    pango_attr_list_unref(attributes);
    PangoRectangle ink, logical;
    pango_layout_get_extents(layout, &ink, &logical);
    double x = px(s, 0.25) - ((double)ink.x + ink.width / 2.0) / PANGO_SCALE;
    double y = pz(s, 2.3) - ((double)ink.y + ink.height / 2.0) / PANGO_SCALE;
    cairo_move_to(s.cr, x, y + toPx(0.05));
    pango_cairo_layout_path(s.cr, layout);
    cairo_set_line_width(s.cr, toPx(0.2));
    setColour(s.cr, kOutline, 0.25);
    cairo_stroke(s.cr);
    cairo_move_to(s.cr, x, y);
    pango_cairo_layout_path(s.cr, layout);
    cairo_set_line_width(s.cr, toPx(0.16));
    setColour(s.cr, kWhite);
    cairo_stroke(s.cr);
    cairo_move_to(s.cr, x, y);
    pango_cairo_show_layout(s.cr, layout);
    g_object_unref(layout);
    Area tag = centred(kAboutVersionX, kAboutVersionZ, 1.3, 0.44);
    roundedPath(s, tag, 0.22);
    setColour(s.cr, {0.9, 0.94, 1.0});
    cairo_fill_preserve(s.cr);
    cairo_set_line_width(s.cr, toPx(0.03));
    setColour(s.cr, {0.6, 0.7, 0.88});
    cairo_stroke(s.cr);
    setMark(s, "1.0.0", kAboutVersionX, kAboutVersionZ, 0.27, true, kInkSoft, nullptr);
    // Lines break only between the greetings: inside one, spaces do not break.
    std::string greetings;
    for (int i = 0; i < kLanguageCount; ++i) {
        if (i) greetings += "  \xC2\xB7  ";
        std::string greeting = texts[i].at("about.greeting");
        for (size_t at = greeting.find(' '); at != std::string::npos; at = greeting.find(' ', at))
            greeting.replace(at, 1, "\xC2\xA0");
        greetings += greeting;
    }
    const TextPlace& place = textPlace("about.greeting");
    setText(s, place, greetings, place.box, kOutline);
    addSheetModel(pak, &s, "about", kContentY);
}

// ---------------------------------------------------------------------------
// Internal helpers: images of one language
// ---------------------------------------------------------------------------

// A confirmation's content: a picture on the left, the question on the right, above the two buttons.
static void addConfirmation(PakArchive* pak, const char* key, const char* textKey, IconKind icon,
                            const DialogLanguage& language, const TextTable& texts) {
    Sheet s = openSheet(key, language.code, kConfirmContent);
    drawIcon(s, icon, -2.85, 0.98, 2.25);
    setPlacedText(s, textKey, texts);
    // Under the buttons, where the frame leaves room for the about box's close button.
    paintDrops(s, (kConfirmOkX + kConfirmCancelX) / 2, kConfirmDropsZ);
    addSheetModel(pak, &s, key, kContentY);
}

// A button with a picture on its left and a word on its right.
static void addWordButton(PakArchive* pak, const char* key, const char* textKey, double w, double h,
                          const ShapeLook& look, IconKind icon, const DialogLanguage& language,
                          const TextTable& texts) {
    Sheet s = openSheet(key, language.code, centred(0, 0, w + 0.3, h + 0.3));
    Area a = centred(0, 0, w, h);
    paintShape(s, a, h / 2, look, 0.06);
    double iconX = -w / 2 + h / 2;
    circlePath(s, iconX, 0, h * 0.36);
    setColour(s.cr, look.edge, 0.35);
    cairo_fill(s.cr);
    if (icon == ICON_TICK || icon == ICON_CROSS)
        drawIcon(s, icon, iconX, 0, h * 0.62);
    else
        drawIcon(s, icon, iconX, 0, h * 0.58);
    const TextPlace& place = textPlace(textKey);
    setText(s, place, texts.at(textKey), place.box, look.edge);
    addSheetModel(pak, &s, key, kPieceY);
}

// The settings menu's content: title, the four switch rows beside the tick boxes, a line above the flags.
static void addSetup(PakArchive* pak, const DialogLanguage& language, const TextTable& texts) {
    Sheet s = openSheet("setup", language.code, kMenuContent);
    drawIcon(s, ICON_GEAR, -3.55, 3.12, 0.58);
    setPlacedText(s, "settings.title", texts);
    const double rowZ[4] = {kMenuNumbersZ, kMenuDetailZ, kMenuSoundZ, kMenuMusicZ};
    const IconKind icons[4] = {ICON_NUMBERS, ICON_MOSAIC, ICON_SPEAKER, ICON_NOTES};
    const char* keys[4] = {"settings.numbers", "settings.detailed", "settings.sound", "settings.music"};
    for (int i = 0; i < 4; ++i) {
        // A faint stripe joins each tick box to its picture and words.
        Area stripe{kMenuCheckX - 0.4, rowZ[i] - 0.29, textPlace(keys[i]).box.x1, rowZ[i] + 0.29};
        roundedPath(s, stripe, 0.29);
        setColour(s.cr, i % 2 ? Rgb{0.9, 0.94, 1.0} : Rgb{0.99, 0.93, 0.84}, 0.75);
        cairo_fill(s.cr);
        drawIcon(s, icons[i], -2.6, rowZ[i], 0.5);
        setPlacedText(s, keys[i], texts);
    }
    cairo_move_to(s.cr, px(s, -3.7), pz(s, -1.68));
    cairo_line_to(s.cr, px(s, 3.95), pz(s, -1.68));
    cairo_set_line_width(s.cr, toPx(0.04));
    const double dots[2] = {toPx(0.02), toPx(0.14)};
    cairo_set_dash(s.cr, dots, 2, 0);
    setColour(s.cr, kViolet, 0.7);
    cairo_stroke(s.cr);
    cairo_set_dash(s.cr, nullptr, 0, 0);
    addSheetModel(pak, &s, "setup", kContentY);
}

// The help screen's content: title, how to paint, the three modes' names above
// their cards, the start-up switch's words and the buttons that move with the screen.
static void addHelp(PakArchive* pak, const DialogLanguage& language, const TextTable& texts) {
    Sheet s = openSheet("help", language.code, kHelpContent);
    setPlacedText(s, "help.title", texts);
    setPlacedText(s, "help.intro", texts);
    const char* titles[3] = {"help.mode1.title", "help.mode2.title", "help.mode3.title"};
    const char* lines[3] = {"help.mode1.text", "help.mode2.text", "help.mode3.text"};
    for (int i = 0; i < 3; ++i) {
        setPlacedText(s, titles[i], texts);
        setPlacedText(s, lines[i], texts);
    }
    setPlacedText(s, "help.startup", texts);
    // The legend: the three buttons at the screen's corners, drawn round like the toolbar's.
    const char* legend[3] = {"help.close", "help.help", "help.menu"};
    for (int i = 0; i < 3; ++i) {
        double x = textPlace(legend[i]).box.x0 - 0.45;
        if (i == 0) {
            paintShape(s, centred(x, kLegendZ, 0.62, 0.62), 0.31, kNoLook, 0.04, 0.04);
            drawIcon(s, ICON_CROSS, x, kLegendZ, 0.5);
        } else if (i == 1) {
            drawIcon(s, ICON_QUESTION, x, kLegendZ, 0.62);
        } else {
            paintShape(s, centred(x, kLegendZ, 0.62, 0.62), 0.31, kPurpleLook, 0.04, 0.04);
            beginIcon(s, x, kLegendZ, 0.46);
            gearPath(s.cr, 0.46);
            fillAndEdge(s.cr, kWhite, kPurpleLook.edge, 0.06);
            cairo_arc(s.cr, 0, 0, 0.15, 0, 2 * M_PI);
            setColour(s.cr, kPurpleLook.bottom);
            cairo_fill(s.cr);
            endIcon(s);
        }
        setPlacedText(s, legend[i], texts);
    }
    addSheetModel(pak, &s, "help", kContentY);
}

// The help screen's background: speech bubbles pointing at the toolbar buttons
// whose places are fixed, one mesh each, at the panel's depth.
static void addHelpLabels(PakArchive* pak, const DialogLanguage& language, const TextTable& texts) {
    std::vector<MeshSource> meshes;
    for (const HelpLabel& label : kHelpLabels) {
        bool up = label.targetZ > label.bubble.z1;
        Area area{std::min(label.bubble.x0, label.targetX - 0.3) - 0.15,
                  std::min(label.bubble.z0, label.targetZ) - 0.15,
                  std::max(label.bubble.x1, label.targetX + 0.3) + 0.15,
                  std::max(label.bubble.z1, label.targetZ) + 0.15};
        Sheet s = openSheet("help_bg", language.code, area);
        double baseZ = up ? label.bubble.z1 - 0.05 : label.bubble.z0 + 0.05;
        double tx = label.targetX;
        softShadow(s, label.bubble, 0.25, 0.08, 0.4);
        // Pointer and bubble in one outline.
        cairo_move_to(s.cr, px(s, tx - 0.2), pz(s, baseZ));
        cairo_line_to(s.cr, px(s, tx), pz(s, label.targetZ));
        cairo_line_to(s.cr, px(s, tx + 0.2), pz(s, baseZ));
        cairo_close_path(s.cr);
        roundedPath(s, label.bubble, 0.25);
        cairo_set_fill_rule(s.cr, CAIRO_FILL_RULE_WINDING);
        setColour(s.cr, kGoldLook.edge);
        cairo_set_line_width(s.cr, toPx(0.09));
        cairo_stroke_preserve(s.cr);
        setVerticalGradient(s, label.bubble.z1, label.bubble.z0, {1.0, 1.0, 0.93}, {1.0, 0.95, 0.75});
        cairo_fill(s.cr);
        const TextPlace& place = textPlace(label.key);
        setText(s, place, texts.at(label.key), grown(label.bubble, -0.12), kOutline);
        meshes.push_back(sheetMesh(pak, &s, label.texture, kFrameY));
    }
    studioAdd(pak, "help_bg", studioModel(meshes));
}

// The colour dialog's title, along the top of its frame left of the close button.
static void addColourTitle(PakArchive* pak, const DialogLanguage& language, const TextTable& texts) {
    Sheet s = openSheet("text_void", language.code, kColourTitleArea);
    drawIcon(s, ICON_PALETTE, -4.45, 2.95, 0.72);
    setPlacedText(s, "colour.title", texts);
    addSheetModel(pak, &s, "text_void", kContentY);
}

// ---------------------------------------------------------------------------
// Internal helpers: archives
// ---------------------------------------------------------------------------

// Fails when a frame with its shadow would not fit a 4:3 screen, or a piece at its place would stick out of
// its frame's paper or touch another piece: the images are drawn for these places.
static void checkLayouts() {
    for (const DialogLayout& dialog : kDialogLayouts) {
        Area outer = grown(dialog.frame, kFrameShadow), paper = grown(dialog.frame, -kFrameRim);
        if (outer.x0 < -kPanelMaxX || outer.x1 > kPanelMaxX || outer.z0 < -kPanelMaxZ || outer.z1 > kPanelMaxZ)
            studioFail("the %s frame does not fit a 4:3 screen at its depth", dialog.name);
        for (size_t i = 0; i < dialog.pieces.size(); ++i) {
            const PiecePlace& p = dialog.pieces[i];
            Area a = centred(p.x, p.z, p.w, p.h);
            if (a.x0 < paper.x0 || a.x1 > paper.x1 || a.z0 < paper.z0 || a.z1 > paper.z1)
                studioFail("\"%s\" at (%.3f, %.3f) sticks out of the %s frame", p.key, p.x, p.z, dialog.name);
            for (size_t j = i + 1; j < dialog.pieces.size(); ++j) {
                const PiecePlace& q = dialog.pieces[j];
                Area b = centred(q.x, q.z, q.w, q.h);
                if (a.x0 < b.x1 && b.x0 < a.x1 && a.z0 < b.z1 && b.z0 < a.z1)
                    studioFail("\"%s\" and \"%s\" overlap in the %s dialog", p.key, q.key, dialog.name);
            }
        }
    }
}

// Makes sure the letters come from Andika, not from a font the machine happens to pick instead.
static void checkFontInstalled() {
    PangoFontMap* map = pango_cairo_font_map_get_default();
    PangoContext* context = pango_font_map_create_context(map);
    PangoFontDescription* want = pango_font_description_from_string(kFontFamily);
    PangoFont* font = pango_font_map_load_font(map, context, want);
    std::string family;
    if (font) {
        PangoFontDescription* got = pango_font_describe(font);
        if (pango_font_description_get_family(got)) family = pango_font_description_get_family(got);
        pango_font_description_free(got);
        g_object_unref(font);
    }
    pango_font_description_free(want);
    g_object_unref(context);
    if (family != kFontFamily)
        studioFail("the font %s is not installed (Debian: fonts-sil-andika); found \"%s\" instead", kFontFamily,
                   family.c_str());
}

static void buildSharedArchive(const std::string& outDir, const TextTable* texts) {
    PakArchive pak;
    addVeil(&pak);
    addTickBox(&pak, false);
    addTickBox(&pak, true);
    addFrame(&pak, "dialog_background", kConfirmFrame, kSky);
    addFrame(&pak, "menu_dialog", kMenuFrame, kViolet);
    addFrame(&pak, "help_dialog", kHelpFrame, kLeaf);
    addFrame(&pak, "colors_dialog", kColourFrame, kSun);
    addAbout(&pak, texts);
    addRoundClose(&pak);
    addWebButton(&pak, "button_facebook", kBlueLook, ICON_GLOBE);
    addWebButton(&pak, "button_twitter", kTealLook, ICON_SPEECH);
    addGlow(&pak, "help_select", kModeCardW + 0.4, kModeCardH + 0.4, 0.45);
    for (int mode = 1; mode <= 3; ++mode) addModeCard(&pak, mode);
    for (const DialogLanguage& language : kLanguages) addFlag(&pak, language.code);
    addGlow(&pak, "setup_lang_cursor", kFlagW + 0.18, kFlagH + 0.18, 0.17);
    studioWrite(&pak, outDir, "langall.pak");
}

static void buildLanguageArchive(const std::string& outDir, const DialogLanguage& language,
                                 const TextTable& texts) {
    PakArchive pak;
    addConfirmation(&pak, "menu_exit", "exit.question", ICON_DOOR, language, texts);
    addConfirmation(&pak, "menu_clear", "clear.question", ICON_CLEAR, language, texts);
    addConfirmation(&pak, "menu_clearall", "clearall.question", ICON_CLEAR_ALL, language, texts);
    addSetup(&pak, language, texts);
    addHelp(&pak, language, texts);
    addHelpLabels(&pak, language, texts);
    addWordButton(&pak, "button_ok", "button.yes", kWordButtonW, kWordButtonH, kYesLook, ICON_TICK, language, texts);
    addWordButton(&pak, "button_cancel", "button.no", kWordButtonW, kWordButtonH, kNoLook, ICON_CROSS, language,
                  texts);
    addWordButton(&pak, "setup_button_about", "settings.about", kSideButtonW, kSideButtonH, kBlueLook, ICON_INFO,
                  language, texts);
    addWordButton(&pak, "setup_button_clearall", "settings.clearall", kSideButtonW, kSideButtonH, kOrangeLook,
                  ICON_ERASER, language, texts);
    addWordButton(&pak, "button_close", "button.close", kCloseWordW, kCloseWordH, kNoLook, ICON_CROSS, language,
                  texts);
    addColourTitle(&pak, language, texts);
    studioWrite(&pak, outDir, language.archive);
}

// ---------------------------------------------------------------------------
// Public operations
// ---------------------------------------------------------------------------

void buildLanguages(const std::string& outDir) {
    checkLayouts();
    checkFontInstalled();
    TextTable texts[kLanguageCount];
    for (int i = 0; i < kLanguageCount; ++i) texts[i] = readTexts(kLanguages[i]);
    buildSharedArchive(outDir, texts);
    for (int i = 0; i < kLanguageCount; ++i) buildLanguageArchive(outDir, kLanguages[i], texts[i]);
}

STUDIO_BUILDER("languages", buildLanguages);
