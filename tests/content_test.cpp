// The archives the build writes into its data folder, read with the game's
// own readers: every key the game names is there and of the kind it is used
// as, every entry is an image, a sound or a model and nothing else, models
// and images refer to each other, and the content builder gives the same
// bytes on every run.
#include "content_keys.h"
#include "resources/resources.h"

#include <SDL/SDL.h>
#include <SDL/SDL_image.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

typedef std::vector<uint8_t> Bytes;

// What one entry's bytes turned out to be; an entry is meant to be exactly one.
struct EntryKinds {
    bool image;
    bool wav;
    bool model;
    int width, height;             // image only
    SDL_AudioSpec sound;           // wav only
    Uint32 soundBytes;             // wav only
    std::vector<MeshRecord> meshes;  // model only; pointers into the archive
};

// The filter byte of every row of a PNG, read from its inflated image data.
struct PngRows {
    bool read;
    std::vector<uint8_t> filters;
};

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

const int kMaxImageSide = 2048;
const double kShortestMusicSeconds = 40.0;
const double kLongestMusicSeconds = 90.0;

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

std::string dataDir() { return TINTARIA_BINARY_DIR "/data"; }

std::string studioPath() {
    const char* tools = getenv("TINTARIA_TOOLS_DIR");
    return std::string(tools && *tools ? tools : TINTARIA_BINARY_DIR "/tools") + "/tintaria-studio";
}

void decodeImage(const uint8_t* bytes, int32_t size, EntryKinds* kinds) {
    SDL_Surface* image = IMG_Load_RW(SDL_RWFromConstMem(bytes, size), 1);
    if (!image) return;
    kinds->image = true;
    kinds->width = image->w;
    kinds->height = image->h;
    SDL_FreeSurface(image);
}

void parseWav(const uint8_t* bytes, int32_t size, EntryKinds* kinds) {
    Uint8* samples = nullptr;
    if (!SDL_LoadWAV_RW(SDL_RWFromConstMem(bytes, size), 1, &kinds->sound, &samples, &kinds->soundBytes)) return;
    kinds->wav = true;
    SDL_FreeWAV(samples);
}

// A model is a stream that the reader takes in full, to its very last byte.
void parseModel(const uint8_t* bytes, int32_t size, EntryKinds* kinds) {
    size_t end = 0;
    std::vector<MeshRecord> meshes;
    if (parseModelStream(bytes, (size_t)size, &meshes, &end) && end == (size_t)size) {
        kinds->model = true;
        kinds->meshes = meshes;
    }
}

EntryKinds classify(const uint8_t* bytes, int32_t size) {
    EntryKinds kinds = EntryKinds();
    decodeImage(bytes, size, &kinds);
    parseWav(bytes, size, &kinds);
    parseModel(bytes, size, &kinds);
    return kinds;
}

uint32_t bigEndian32(const uint8_t* p) { return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3]; }

// Only 8-bit samples without interlacing, all the content builder writes.
PngRows pngRowFilters(const uint8_t* bytes, int32_t size) {
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    PngRows rows = {false, {}};
    if (size < 8 || memcmp(bytes, kSignature, 8) != 0) return rows;
    uint32_t width = 0, height = 0;
    int channels = 0;
    Bytes compressed;
    for (size_t at = 8; at + 12 <= (size_t)size;) {
        uint32_t length = bigEndian32(bytes + at);
        if (length > (size_t)size - at - 12) return rows;
        const uint8_t* type = bytes + at + 4;
        const uint8_t* data = bytes + at + 8;
        if (memcmp(type, "IHDR", 4) == 0 && length >= 13) {
            width = bigEndian32(data);
            height = bigEndian32(data + 4);
            static const int kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
            if (data[8] != 8 || data[9] > 6 || data[12] != 0) return rows;
            channels = kChannels[data[9]];
        } else if (memcmp(type, "IDAT", 4) == 0) {
            compressed.insert(compressed.end(), data, data + length);
        }
        at += 12 + (size_t)length;
    }
    if (channels == 0 || width == 0 || height == 0) return rows;
    const size_t stride = 1 + (size_t)width * (size_t)channels;
    Bytes image(stride * height);
    uLongf inflated = (uLongf)image.size();
    if (uncompress(image.data(), &inflated, compressed.data(), (uLong)compressed.size()) != Z_OK ||
        inflated != image.size())
        return rows;
    for (uint32_t y = 0; y < height; ++y) rows.filters.push_back(image[y * stride]);
    rows.read = true;
    return rows;
}

bool floatsAreFinite(const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        float value;
        memcpy(&value, bytes + 4 * i, 4);
        if (!std::isfinite(value)) return false;
    }
    return true;
}

bool namesGeneratedTexture(const char* textureName) { return textureName[0] != '\0' && textureName[1] == '#'; }

std::string testNameOf(const testing::TestParamInfo<ContentArchive>& info) {
    std::string name = info.param.fileName;
    for (char& c : name)
        if (!isalnum((unsigned char)c)) c = '_';
    return name;
}

// Every file under a folder, by path relative to it.
std::set<std::string> filesUnder(const std::string& folder) {
    std::set<std::string> files;
    for (const auto& item : std::filesystem::recursive_directory_iterator(folder))
        if (item.is_regular_file()) files.insert(std::filesystem::relative(item.path(), folder).string());
    return files;
}

// Runs the content builder with every builder into the folder; its exit status, -1 when it did not exit.
int runStudio(const std::string& outDir) {
    std::string tool = studioPath();
    fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        execl(tool.c_str(), tool.c_str(), outDir.c_str(), (char*)nullptr);
        _exit(127);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// ---------------------------------------------------------------------------
// Fixture: one archive of the table, read with the game's reader
// ---------------------------------------------------------------------------

class ContentArchiveTest : public testing::TestWithParam<ContentArchive> {
protected:
    PakArchive archive = PakArchive();
    bool loaded = false;            // read without fault by the game's reader
    std::vector<EntryKinds> kinds;  // per entry, in file order

    // A missing archive fails HoldsEveryKeyTheGameNames once; the other checks skip it.
    void SetUp() override {
        std::string path = dataDir() + "/" + GetParam().fileName;
        loaded = loadArchiveFile(&archive, path.c_str());
        for (size_t i = 0; i < archive.names.size(); ++i) kinds.push_back(classify(archive.data[i], archive.sizes[i]));
    }
    void TearDown() override { clearArchive(&archive); }

    // Index of the first entry of that name, -1 when there is none.
    int entryIndex(const std::string& name) const {
        for (size_t i = 0; i < archive.names.size(); ++i)
            if (archive.names[i] == name) return (int)i;
        return -1;
    }
    bool isNamedByGame(const std::string& name) const {
        for (const std::string& key : GetParam().keys)
            if (key == name) return true;
        return false;
    }
};

}  // namespace

// Test names and failure reports show the archive's file name.
void PrintTo(const ContentArchive& archive, std::ostream* out) { *out << archive.fileName; }

// ---------------------------------------------------------------------------
// Tests
// ---------------------------------------------------------------------------

TEST_P(ContentArchiveTest, HoldsEveryKeyTheGameNames) {
    ASSERT_TRUE(loaded) << GetParam().fileName << " is missing or damaged in " << dataDir();
    std::string missing, wrongKind;
    for (const std::string& key : GetParam().keys) {
        int i = entryIndex(key);
        if (i < 0) {
            missing += " " + key;
            continue;
        }
        bool fits = GetParam().use == USE_MODELS ? kinds[i].model : kinds[i].wav;
        if (!fits) wrongKind += " " + key;
    }
    EXPECT_EQ("", missing) << GetParam().fileName << " lacks these keys";
    EXPECT_EQ("", wrongKind) << GetParam().fileName << ": these keys are not "
                             << (GetParam().use == USE_MODELS ? "model streams" : "WAV sounds");
}

TEST_P(ContentArchiveTest, NamesEachEntryOnce) {
    if (!loaded) GTEST_SKIP() << GetParam().fileName << " is missing";
    std::set<std::string> seen;
    for (const std::string& name : archive.names)
        EXPECT_TRUE(seen.insert(name).second) << "\"" << name << "\" appears twice in " << GetParam().fileName;
}

TEST_P(ContentArchiveTest, EveryEntryIsExactlyOneImageSoundOrModel) {
    if (!loaded) GTEST_SKIP() << GetParam().fileName << " is missing";
    for (size_t i = 0; i < archive.names.size(); ++i) {
        const std::string& name = archive.names[i];
        const EntryKinds& k = kinds[i];
        int matches = (int)k.image + (int)k.wav + (int)k.model;
        EXPECT_EQ(1, matches) << name << " is " << (k.image ? "an image " : "") << (k.wav ? "a WAV " : "")
                              << (k.model ? "a model " : "") << (matches == 0 ? "neither image, WAV nor model" : "");
        if (GetParam().use == USE_SOUNDS) {
            EXPECT_TRUE(k.wav) << name << ": the mixer reads only WAV sounds from " << GetParam().fileName;
        } else {
            EXPECT_FALSE(k.wav) << name << ": nothing plays sounds from " << GetParam().fileName;
        }
        if (k.image) {
            EXPECT_LE(k.width, kMaxImageSide) << name;
            EXPECT_LE(k.height, kMaxImageSide) << name;
        }
        if (k.wav) {
            EXPECT_EQ(AUDIO_S16LSB, k.sound.format) << name << " is not 16-bit PCM";
            EXPECT_GT(k.soundBytes, 0u) << name << " holds no samples";
        }
        for (const MeshRecord& mesh : k.meshes) {
            size_t n = (size_t)mesh.triangleCount;
            EXPECT_TRUE(floatsAreFinite(mesh.positions, 9 * n) && floatsAreFinite(mesh.normals, 9 * n) &&
                        floatsAreFinite(mesh.texCoords, 6 * n))
                << name << " has a position, normal or texture coordinate that is not a finite number";
        }
    }
}

TEST_P(ContentArchiveTest, ModelTexturesAreImagesHereOrGeneratedTextures) {
    if (!loaded) GTEST_SKIP() << GetParam().fileName << " is missing";
    for (size_t i = 0; i < archive.names.size(); ++i)
        for (const MeshRecord& mesh : kinds[i].meshes) {
            std::string texture = mesh.textureName;
            if (namesGeneratedTexture(mesh.textureName)) {
                TextureDescription description;
                EXPECT_TRUE(parseTextureDescription(mesh.textureName, &description))
                    << archive.names[i] << " asks for a generated texture that cannot be made: \"" << texture << "\"";
                continue;
            }
            int at = entryIndex(texture);
            EXPECT_TRUE(at >= 0 && kinds[at].image)
                << archive.names[i] << " names texture \"" << texture << "\", which is no image entry of "
                << GetParam().fileName;
        }
}

TEST_P(ContentArchiveTest, EveryImageIsUsed) {
    if (!loaded) GTEST_SKIP() << GetParam().fileName << " is missing";
    std::set<std::string> textures;
    for (const EntryKinds& k : kinds)
        for (const MeshRecord& mesh : k.meshes) textures.insert(mesh.textureName);
    for (size_t i = 0; i < archive.names.size(); ++i) {
        if (!kinds[i].image) continue;
        EXPECT_TRUE(textures.count(archive.names[i]) || isNamedByGame(archive.names[i]))
            << "no model of " << GetParam().fileName << " uses the image " << archive.names[i];
    }
}

// The game decodes images at start-up and on every page turn; a row filtered
// with Average or Paeth costs several times more to undo than None, Sub or Up.
TEST_P(ContentArchiveTest, ImagesAreRowFilteredToDecodeQuickly) {
    if (!loaded) GTEST_SKIP() << GetParam().fileName << " is missing";
    for (size_t i = 0; i < archive.names.size(); ++i) {
        if (!kinds[i].image) continue;
        PngRows rows = pngRowFilters(archive.data[i], archive.sizes[i]);
        ASSERT_TRUE(rows.read) << archive.names[i] << ": not a PNG of 8-bit samples without interlacing";
        EXPECT_EQ((size_t)kinds[i].height, rows.filters.size()) << archive.names[i];
        int slow = 0;
        for (uint8_t filter : rows.filters) slow += filter > 2;
        EXPECT_EQ(0, slow) << archive.names[i] << ": rows filtered with Average or Paeth, of " << rows.filters.size();
    }
}

INSTANTIATE_TEST_SUITE_P(Archives, ContentArchiveTest, testing::ValuesIn(contentArchives), testNameOf);

TEST(ContentMusic, LastsFortyToNinetySeconds) {
    PakArchive music = PakArchive();
    std::string path = dataDir() + "/music.pak";
    if (!loadArchiveFile(&music, path.c_str())) GTEST_SKIP() << "music.pak is missing";
    int32_t size = 0;
    const uint8_t* bytes = findEntry(&music, "music.wav", &size);
    EntryKinds k = EntryKinds();
    if (bytes) parseWav(bytes, size, &k);
    clearArchive(&music);
    ASSERT_TRUE(k.wav) << "music.wav is no WAV";
    double frameBytes = (double)k.sound.channels * ((k.sound.format & 0xFF) / 8);
    double seconds = k.soundBytes / frameBytes / k.sound.freq;
    EXPECT_GE(seconds, kShortestMusicSeconds);
    EXPECT_LE(seconds, kLongestMusicSeconds);
}

TEST(ContentStudio, WritesTheSameBytesOnEveryRun) {
    ASSERT_TRUE(std::filesystem::exists(studioPath())) << studioPath();
    std::string base = testing::TempDir() + "content_test.XXXXXX";
    ASSERT_TRUE(mkdtemp(base.data()) != nullptr);
    std::string first = base + "/first", second = base + "/second";

    EXPECT_EQ(0, runStudio(first));
    EXPECT_EQ(0, runStudio(second));
    std::set<std::string> firstFiles = filesUnder(first), secondFiles = filesUnder(second);
    EXPECT_FALSE(firstFiles.empty()) << "the content builder wrote nothing";
    EXPECT_EQ(firstFiles, secondFiles);
    for (const std::string& name : firstFiles) {
        if (!secondFiles.count(name)) continue;
        Bytes a, b;
        EXPECT_TRUE(readFileBytes((first + "/" + name).c_str(), a)) << name;
        EXPECT_TRUE(readFileBytes((second + "/" + name).c_str(), b)) << name;
        EXPECT_TRUE(a == b) << name << " differs between two runs of the content builder";
    }
    std::filesystem::remove_all(base);
}
