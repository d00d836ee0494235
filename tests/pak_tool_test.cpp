// tintaria-pak, run as a real program: archives it creates list, extract and
// print byte for byte, and archives whose names would escape the target
// folder, damaged archives and bad command lines are refused.
#include "resources/resources.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace {

typedef std::vector<uint8_t> Bytes;

struct ToolResult {
    int status;  // exit status, -1 when the tool did not exit normally
    std::string out;
    std::string err;
};

std::string toolPath() {
    const char* tools = getenv("TINTARIA_TOOLS_DIR");
#ifdef TINTARIA_BINARY_DIR
    if (!tools) tools = TINTARIA_BINARY_DIR "/tools";
#endif
    return std::string(tools ? tools : ".") + "/tintaria-pak";
}

std::string readText(const std::string& path) {
    Bytes bytes;
    readFileBytes(path.c_str(), bytes);
    return std::string(bytes.begin(), bytes.end());
}

Bytes readBytes(const std::string& path) {
    Bytes bytes;
    EXPECT_TRUE(readFileBytes(path.c_str(), bytes)) << path;
    return bytes;
}

void writeBytes(const std::string& path, const Bytes& bytes) {
    FILE* file = fopen(path.c_str(), "wb");
    ASSERT_TRUE(file != nullptr) << path;
    // fwrite's buffer must not be null, even for no bytes.
    if (!bytes.empty()) {
        EXPECT_EQ(bytes.size(), fwrite(bytes.data(), 1, bytes.size(), file));
    }
    fclose(file);
}

// Everything under a folder, as paths relative to it.
std::set<std::string> treeOf(const std::string& folder) {
    std::set<std::string> found;
    if (!std::filesystem::exists(folder)) return found;
    for (const auto& item : std::filesystem::recursive_directory_iterator(folder)) {
        found.insert(std::filesystem::relative(item.path(), folder).string());
    }
    return found;
}

class PakTool : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = testing::TempDir() + "pak_tool_test.XXXXXX";
        ASSERT_TRUE(mkdtemp(pattern.data()) != nullptr);
        dir = pattern;
        ASSERT_TRUE(std::filesystem::exists(toolPath())) << toolPath();
    }
    void TearDown() override {
        std::filesystem::remove_all(dir);
    }
    std::string path(const std::string& name) const {
        return dir + "/" + name;
    }

    // Runs the tool with the arguments as they are, no shell in between.
    ToolResult run(const std::vector<std::string>& arguments) const {
        std::string tool = toolPath();
        std::string outPath = path(".stdout"), errPath = path(".stderr");
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(tool.c_str()));
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        fflush(nullptr);
        pid_t child = fork();
        if (child == 0) {
            int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(126);
            execv(tool.c_str(), argv.data());
            _exit(127);
        }
        ToolResult result = {-1, "", ""};
        int status = 0;
        if (child < 0 || waitpid(child, &status, 0) != child) {
            ADD_FAILURE() << "could not run " << tool;
            return result;
        }
        if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
        result.out = readText(outPath);
        result.err = readText(errPath);
        remove(outPath.c_str());
        remove(errPath.c_str());
        return result;
    }

    std::string dir;
};

struct SourceFile {
    std::string name;
    Bytes bytes;
};

std::vector<SourceFile> sampleFiles() {
    Bytes binary;
    for (int round = 0; round < 3; round++) {
        for (int value = 0; value < 256; value++) binary.push_back((uint8_t)value);
        binary.insert(binary.end(), 17, 0);
    }
    std::string longName;
    for (int i = 0; i < 127; i++) longName.push_back("abcdefghijklmnopqrstuvwxyz0123456789_-"[i % 38]);
    return {
        {"greeting.txt", {'h', 'e', 'l', 'l', 'o', '\n'}},
        {longName, {'l', 'o', 'n', 'g'}},
        {"binary.raw", binary},
        {"empty", {}},
        {"Greeting.txt", {'H', 'I'}},
    };
}

std::string expectedListing(const std::vector<SourceFile>& files) {
    std::string listing;
    for (const SourceFile& file : files) listing += std::to_string(file.bytes.size()) + "\t" + file.name + "\n";
    return listing;
}

// ---------------------------------------------------------------------------
// Round trips
// ---------------------------------------------------------------------------

TEST_F(PakTool, CreateListAndExtractRoundTrip) {
    std::vector<SourceFile> files = sampleFiles();
    std::filesystem::create_directory(path("source"));
    std::vector<std::string> arguments = {"create", path("game.pak")};
    for (const SourceFile& file : files) {
        writeBytes(path("source/" + file.name), file.bytes);
        arguments.push_back(path("source/" + file.name));
    }
    ToolResult created = run(arguments);
    ASSERT_EQ(0, created.status) << created.err;

    // Entries are named by base name, in command-line order.
    PakArchive archive;
    ASSERT_TRUE(loadArchiveFile(&archive, path("game.pak").c_str()));
    ASSERT_EQ(files.size(), archive.names.size());
    for (size_t i = 0; i < files.size(); i++) {
        EXPECT_EQ(files[i].name, archive.names[i]);
        EXPECT_EQ(files[i].bytes, Bytes(archive.data[i], archive.data[i] + archive.sizes[i]));
    }
    clearArchive(&archive);

    ToolResult listed = run({"list", path("game.pak")});
    EXPECT_EQ(0, listed.status) << listed.err;
    EXPECT_EQ(expectedListing(files), listed.out);

    ToolResult extracted = run({"extract", path("game.pak"), path("out")});
    ASSERT_EQ(0, extracted.status) << extracted.err;
    std::set<std::string> expectedTree;
    for (const SourceFile& file : files) {
        expectedTree.insert(file.name);
        EXPECT_EQ(file.bytes, readBytes(path("out/" + file.name))) << file.name;
    }
    EXPECT_EQ(expectedTree, treeOf(path("out")));
}

TEST_F(PakTool, CreateFromAFolderStoresTheNamesAsGiven) {
    std::filesystem::create_directories(path("source/sub"));
    writeBytes(path("source/tube1"), {'t', 0, '1'});
    writeBytes(path("source/sub/knopka"), {'k'});
    ToolResult created = run({"create", path("c.pak"), "-C", path("source"), "sub/knopka", "tube1"});
    ASSERT_EQ(0, created.status) << created.err;
    EXPECT_EQ("1\tsub/knopka\n3\ttube1\n", run({"list", path("c.pak")}).out);

    ToolResult extracted = run({"extract", path("c.pak"), path("out")});
    ASSERT_EQ(0, extracted.status) << extracted.err;
    EXPECT_EQ(Bytes({'k'}), readBytes(path("out/sub/knopka")));
    EXPECT_EQ(Bytes({'t', 0, '1'}), readBytes(path("out/tube1")));
}

TEST_F(PakTool, CatPrintsTheExactBytes) {
    std::vector<SourceFile> files = sampleFiles();
    PakArchive archive;
    for (const SourceFile& file : files) {
        ASSERT_TRUE(addEntryFromMemory(&archive, file.name, file.bytes.data(), file.bytes.size()));
    }
    ASSERT_TRUE(writeArchiveFile(&archive, path("cat.pak").c_str()));
    clearArchive(&archive);

    for (const SourceFile& file : files) {
        SCOPED_TRACE(file.name);
        ToolResult printed = run({"cat", path("cat.pak"), file.name});
        EXPECT_EQ(0, printed.status) << printed.err;
        EXPECT_EQ(std::string(file.bytes.begin(), file.bytes.end()), printed.out);
    }
    ToolResult missing = run({"cat", path("cat.pak"), "greeting"});
    EXPECT_EQ(1, missing.status);
    EXPECT_EQ("", missing.out);
    EXPECT_NE(std::string::npos, missing.err.find("greeting"));
}

// ---------------------------------------------------------------------------
// Refusals
// ---------------------------------------------------------------------------

TEST_F(PakTool, ExtractRefusesNamesThatCannotStayInsideTheFolder) {
    std::filesystem::create_directories(path("a"));
    std::string outside = path("x");
    const std::string names[] = {
        "../x", "../../x", "a/../../x", "..", "sub/..", "..\\x", "", outside, std::string("ok\0x", 4),
    };
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        PakArchive archive;
        // A harmless entry first: nothing at all may be written when a later one is refused.
        ASSERT_TRUE(addEntryFromMemory(&archive, "good", "g", 1));
        ASSERT_TRUE(addEntryFromMemory(&archive, name, "escaped", 7));
        ASSERT_TRUE(writeArchiveFile(&archive, path("a/evil.pak").c_str()));
        clearArchive(&archive);

        ToolResult result = run({"extract", path("a/evil.pak"), path("a/out")});
        EXPECT_EQ(1, result.status);
        EXPECT_FALSE(result.err.empty());
        EXPECT_TRUE(treeOf(path("a/out")).empty());
        EXPECT_EQ(std::set<std::string>({"a", "a/evil.pak"}), treeOf(dir));
    }
}

TEST_F(PakTool, DamagedOrMissingArchivesFailWithAMessageNamingThem) {
    PakArchive archive;
    ASSERT_TRUE(addEntryFromMemory(&archive, "entry", "contents", 8));
    std::vector<uint8_t> whole;
    serializeArchive(&archive, whole);
    clearArchive(&archive);
    writeBytes(path("truncated.pak"), Bytes(whole.begin(), whole.end() - 1));
    writeBytes(path("negative.pak"), {1, 0, 0, 0, 0xF0, 'a', 0, 0, 0, 0});

    const std::string archives[] = {path("truncated.pak"), path("negative.pak"), path("missing.pak")};
    for (const std::string& file : archives) {
        const std::vector<std::string> commands[] = {
            {"list", file},
            {"extract", file, path("out")},
            {"cat", file, "entry"},
        };
        for (const std::vector<std::string>& command : commands) {
            SCOPED_TRACE(command[0] + " " + file);
            ToolResult result = run(command);
            EXPECT_EQ(1, result.status);
            EXPECT_EQ("", result.out);
            EXPECT_NE(std::string::npos, result.err.find(file));
            EXPECT_EQ(1, std::count(result.err.begin(), result.err.end(), '\n'));
            EXPECT_FALSE(std::filesystem::exists(path("out")));
        }
    }
}

TEST_F(PakTool, CreateRefusesUnusableInputs) {
    std::string tooLong(128, 'y');
    writeBytes(path(tooLong), {1});
    writeBytes(path("fine"), {2});
    const std::vector<std::string> commands[] = {
        {"create", path("new.pak"), path("fine"), path("missing")},
        {"create", path("new.pak"), path(tooLong)},
        {"create", path("new.pak"), dir + "/"},
        {"create", path("new.pak"), "-C", dir, "../fine"},
        {"create", path("new.pak"), "-C", dir, "missing"},
        {"create", path("missing/new.pak"), path("fine")},
    };
    for (const std::vector<std::string>& command : commands) {
        SCOPED_TRACE(command.back());
        ToolResult result = run(command);
        EXPECT_EQ(1, result.status);
        EXPECT_FALSE(result.err.empty());
        EXPECT_FALSE(std::filesystem::exists(path("new.pak")));
    }
}

TEST_F(PakTool, BadUsageExitsWithStatus2) {
    const std::vector<std::string> commands[] = {
        {},
        {"list"},
        {"unpack", path("a.pak")},
        {"list", path("a.pak"), "more"},
        {"extract", path("a.pak")},
        {"extract", path("a.pak"), ""},
        {"create", path("a.pak")},
        {"create", path("a.pak"), "-C"},
        {"create", path("a.pak"), "-C", dir},
        {"cat", path("a.pak")},
        {"cat", path("a.pak"), "x", "y"},
    };
    for (const std::vector<std::string>& command : commands) {
        SCOPED_TRACE(command.empty() ? "(none)" : command[0] + " with " + std::to_string(command.size()));
        ToolResult result = run(command);
        EXPECT_EQ(2, result.status);
        EXPECT_EQ(0u, result.err.find("usage:"));
        EXPECT_EQ("", result.out);
        EXPECT_FALSE(std::filesystem::exists(path("a.pak")));
    }
}

}  // namespace
