// The archives the game reads and the entry keys it names in each: models
// that nodes load, and sounds that the mixer plays. Picture archives are not
// listed yet; their content comes with the pictures.
#pragma once

#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// What the game does with the entries it names in an archive.
enum ContentUse {
    USE_MODELS,  // loadModel: named entries are model streams; images serve as their textures
    USE_SOUNDS   // playSound: every entry is a WAV
};

struct ContentArchive {
    const char* fileName;
    ContentUse use;
    std::vector<std::string> keys;
};

// ---------------------------------------------------------------------------
// Tables
// ---------------------------------------------------------------------------

// Every language archive holds the same dialog images, in its own language.
inline const std::vector<std::string> languageArchiveKeys = {
    "menu_exit", "menu_clear", "menu_clearall", "setup", "help", "help_bg", "button_ok", "button_cancel",
    "setup_button_about", "setup_button_clearall", "button_close", "text_void",
};

inline const std::vector<ContentArchive> contentArchives = {
    {"interface.pak", USE_MODELS,
     {
         "fon",
         "knopka_close", "knopka_help", "knopka_menu", "knopka_left", "knopka_right",
         "knopka_back", "knopka_clear", "knopka_reset", "knopka_color",
         "tubik_no_num", "lenta",
         "tubik1", "tubik2", "tubik3", "tubik4", "tubik5", "tubik6", "tubik7", "tubik8", "tubik9",
         "kist_ruchka", "kist_vors_color",
         "buble1", "buble2", "buble3", "buble4", "buble5",
         "list_nums_nodigits",
         "color_const", "color_hover", "palitra_gradient", "palitra_colors",
     }},
    {"langall.pak", USE_MODELS,
     {
         "menu_alpha", "checked", "unchecked", "dialog_background", "menu_dialog", "help_dialog", "about",
         "button_close", "button_facebook", "button_twitter", "help_select", "help_mode1", "help_mode2",
         "help_mode3", "setup_lang_en", "setup_lang_de", "setup_lang_es", "setup_lang_ru", "setup_lang_fr",
         "setup_lang_cursor", "colors_dialog",
     }},
    {"langen.pak", USE_MODELS, languageArchiveKeys},
    {"langde.pak", USE_MODELS, languageArchiveKeys},
    {"langes.pak", USE_MODELS, languageArchiveKeys},
    {"langru.pak", USE_MODELS, languageArchiveKeys},
    {"langfr.pak", USE_MODELS, languageArchiveKeys},
    {"sound.pak", USE_SOUNDS, {"button.wav", "scena.wav", "scena_false.wav", "finish.wav", "banka.wav"}},
    {"music.pak", USE_SOUNDS, {"music.wav"}},
};
