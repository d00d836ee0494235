// Writes the seeds of the archive, model, settings, "lang.ini", description and
// browser-command targets into <corpus>/<what>/: valid inputs made with the
// game's own writers, then the same cut short or with a count, length or size
// changed to one the bytes cannot hold. Image and sound seeds are made by
// tests/fuzz/make-media-seeds. Regression inputs are added by hand and never
// written here.
#include "platform/platform.h"
#include "resources/resources.h"
#include "store/store.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

typedef std::vector<uint8_t> Bytes;

static std::string corpusFolder;

static void writeSeed(const char* what, const char* name, const Bytes& bytes) {
    std::string path = corpusFolder + "/" + what + "/" + name;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())) {
        std::fprintf(stderr, "make_seeds: cannot write %s\n", path.c_str());
        std::exit(1);
    }
    std::fclose(file);
}

static void writeText(const char* what, const char* name, const std::string& text) {
    writeSeed(what, name, Bytes(text.begin(), text.end()));
}

static Bytes cut(const Bytes& bytes, size_t size) {
    return Bytes(bytes.begin(), bytes.begin() + (size < bytes.size() ? size : bytes.size()));
}

static Bytes patch32(Bytes bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = (uint8_t)(value >> (8 * i));
    return bytes;
}

static Bytes patch8(Bytes bytes, size_t at, uint8_t value) {
    bytes[at] = value;
    return bytes;
}

static void pakSeeds() {
    PakArchive archive;
    addEntryFromMemory(&archive, "a.txt", "hello", 5);
    addEntryFromMemory(&archive, "empty", "", 0);
    addEntryFromMemory(&archive, "a.txt", "second", 6);
    Bytes valid;
    serializeArchive(&archive, valid);
    clearArchive(&archive);
    writeSeed("pak", "valid.pak", valid);
    writeSeed("pak", "no_entries.pak", patch32(cut(valid, 4), 0, 0));
    writeSeed("pak", "negative_count.pak", patch32(valid, 0, 0xFFFFFFFFu));
    writeSeed("pak", "count_beyond_bytes.pak", patch32(valid, 0, 0x7FFFFFFFu));
    writeSeed("pak", "cut_in_data.pak", cut(valid, valid.size() - 3));
    writeSeed("pak", "cut_in_size.pak", cut(valid, 4 + 1 + 5 + 2));
    writeSeed("pak", "name_length_128.pak", patch8(valid, 4, 0x80));
    writeSeed("pak", "size_negative.pak", patch32(valid, 4 + 1 + 5, 0x80000000u));
    writeSeed("pak", "size_beyond_bytes.pak", patch32(valid, 4 + 1 + 5, 0x7FFFFFFFu));
}

static MeshSource triangleMesh(const char* textureName, bool transparent) {
    MeshSource mesh;
    mesh.textureName = textureName;
    mesh.alphaTest = !transparent;
    mesh.transparent = transparent;
    for (int i = 0; i < 4; ++i) mesh.ambient[i] = mesh.diffuse[i] = mesh.specular[i] = 0.5f;
    mesh.shininess = 8.0f;
    mesh.positions = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    mesh.normals = {0, 0, 1, 0, 0, 1, 0, 0, 1};
    mesh.texCoords = {0, 0, 1, 0, 0, 1};
    return mesh;
}

static void modelSeeds() {
    Bytes valid;
    serializeModel({triangleMesh("sheet.png", false), triangleMesh("x#Plasma8?8?10?20?30", true)}, valid);
    writeSeed("model", "valid.mdl", valid);
    // Marker 0xFF: four section bytes before the count.
    Bytes section = {0xFF, 1, 2, 3, 4};
    section.insert(section.end(), valid.begin() + 1, valid.end());
    writeSeed("model", "with_section.mdl", section);
    const size_t nameLength = 1 + 4, name = nameLength + 4, material = name + 10;
    const size_t triangles = material + sizeof(MeshMaterial);
    writeSeed("model", "no_meshes.mdl", patch32(cut(valid, 5), 1, 0));
    writeSeed("model", "count_beyond_bytes.mdl", patch32(valid, 1, 0x7FFFFFFFu));
    writeSeed("model", "count_negative.mdl", patch32(valid, 1, 0xFFFFFFFFu));
    writeSeed("model", "name_length_zero.mdl", patch32(valid, nameLength, 0));
    writeSeed("model", "name_beyond_bytes.mdl", patch32(valid, nameLength, 0x7FFFFFF0u));
    writeSeed("model", "name_unterminated.mdl", patch8(valid, name + 9, 'x'));
    writeSeed("model", "triangles_beyond_bytes.mdl", patch32(valid, triangles, 0x01000000u));
    writeSeed("model", "triangles_negative.mdl", patch32(valid, triangles, 0xFFFFFFFFu));
    writeSeed("model", "cut_in_triangles.mdl", cut(valid, triangles + 4 + 1 + 50));
    writeSeed("model", "cut_in_material.mdl", cut(valid, material + 20));
}

static void settingsSeeds() {
    Settings* s = defaultSettings();
    s->numbersMode = true;
    selectPage(*s, 3);
    setCustomColour(*s, 0, 0.25, 0.5, 0.75);
    paintRegion(*s, 7, 0, 0, 0, 2);
    selectPage(*s, 9);
    s->numbersMode = false;
    paintRegion(*s, 4, 1.0, 0.0, 0.0, 0);
    setCustomColour(*s, 1, 0.1, 0.2, 0.3);
    s->numbersMode = true;
    s->preservedBytes = {1, 2, 3};
    Bytes valid;
    saveSettings(*s, valid);
    delete s;
    writeSeed("settings", "two_pages.cfg", valid);
    const size_t preserved = 4, flags = 8 + 3, language = flags + 3, detailed = language + 5;
    const size_t paletteCount = detailed + 1 + 5, currentSlot = paletteCount + 4 + 32, pageCount = currentSlot + 4;
    const size_t firstPage = pageCount + 4;
    writeSeed("settings", "short_format.cfg", patch32(cut(valid, detailed + 1), 0, 0));
    writeSeed("settings", "cut_in_second_page.cfg", cut(valid, valid.size() - 20));
    writeSeed("settings", "preserved_beyond_bytes.cfg", patch32(valid, preserved, 0x7FFFFFFFu));
    writeSeed("settings", "preserved_negative.cfg", patch32(valid, preserved, 0xFFFFFFFFu));
    writeSeed("settings", "flags_damaged.cfg", patch8(patch8(valid, flags, 7), flags + 1, 0xFF));
    writeSeed("settings", "language_unknown.cfg", patch32(valid, language, 99));
    writeSeed("settings", "palette_beyond_bytes.cfg", patch32(valid, paletteCount, 0x7FFFFFFFu));
    writeSeed("settings", "slot_beyond_pages.cfg", patch32(valid, currentSlot, 2));
    writeSeed("settings", "pages_beyond_bytes.cfg", patch32(valid, pageCount, 0x7FFFFFFFu));
    writeSeed("settings", "page_list_beyond_bytes.cfg", patch32(valid, firstPage + 4, 0x40000000u));
    writeSeed("settings", "empty.cfg", Bytes());
}

static void languageSeeds() {
    writeText("lang_ini", "de.ini", "default=de\n");
    writeText("lang_ini", "section_fr.ini", "[language]\r\ndefault=fr\r\n");
    writeText("lang_ini", "unknown.ini", "default=xx\n");
    writeText("lang_ini", "third_word.ini", "  one\tdefault=ru  default=es ");
    writeText("lang_ini", "unterminated.ini", "default=es");
    writeText("lang_ini", "empty.ini", "");
}

static void descriptionSeeds() {
    writeText("procedural", "plasma.txt", "x#Plasma64?64?255?128?0");
    writeText("procedural", "fire.txt", "x#Fire32?32");
    writeText("procedural", "fire_thin.txt", "x#Fire1?2");
    writeText("procedural", "fire_flat.txt", "x#Fire8?1");
    writeText("procedural", "long_number.txt", "x#Plasma99999999999999999999?1?1?1?1");
    writeText("procedural", "signs.txt", "x#Plasma4?4?-1?+300?7");
    writeText("procedural", "negative_size.txt", "x#Fire-4?4");
    writeText("procedural", "largest.txt", "x#Fire4096?4096");
    writeText("procedural", "cut.txt", "x#Plasma4?4?1");
    writeText("procedural", "one_char.txt", "x");
}

static void browserSeeds() {
    writeText("browser_command", "quoted.txt", "\"C:\\Program Files\\Mozilla Firefox\\firefox.exe\" -osint -url \"%1\"");
    writeText("browser_command", "plain.txt", "C:\\PROGRA~1\\IE\\IEXPLORE.EXE %1");
    writeText("browser_command", "no_exe.txt", "\"/usr/bin/browser\" %1");
    writeSeed("browser_command", "terminated.bin", Bytes{'a', '.', 'e', 'x', 'e', 0, 'x', 'y'});
    writeText("browser_command", "quote_only.txt", "\"");
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds <corpus folder>\n");
        return 2;
    }
    corpusFolder = argv[1];
    pakSeeds();
    modelSeeds();
    settingsSeeds();
    languageSeeds();
    descriptionSeeds();
    browserSeeds();
    return 0;
}
