// Replays a corpus through one fuzz target without libFuzzer, so the seeds and
// the regression inputs run as ordinary tests under any compiler. Each argument
// is a file or a folder (every regular file in it, in name order). Each input
// is handed over in a heap block of exactly its size, as libFuzzer does, so an
// address sanitizer sees any read past its end. Fails when no input was found;
// a crash or sanitizer report in the target ends the process on its own.
#include "fuzz_target.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

static bool readWhole(const std::filesystem::path& path, std::vector<uint8_t>& out) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    out.clear();
    uint8_t chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) out.insert(out.end(), chunk, chunk + got);
    bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

static void listInputs(const std::filesystem::path& path, std::vector<std::filesystem::path>& inputs) {
    std::error_code error;
    if (!std::filesystem::is_directory(path, error)) {
        inputs.push_back(path);
        return;
    }
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::directory_iterator(path, error))
        if (entry.is_regular_file()) found.push_back(entry.path());
    std::sort(found.begin(), found.end());
    inputs.insert(inputs.end(), found.begin(), found.end());
}

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) listInputs(argv[i], inputs);
    if (inputs.empty()) {
        std::fprintf(stderr, "replay: no inputs\n");
        return 1;
    }
    for (const auto& path : inputs) {
        std::vector<uint8_t> bytes;
        if (!readWhole(path, bytes)) {
            std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
            return 1;
        }
        std::fprintf(stderr, "replay: %s (%zu bytes)\n", path.c_str(), bytes.size());
        uint8_t* block = new uint8_t[bytes.size()];
        if (!bytes.empty()) std::memcpy(block, bytes.data(), bytes.size());
        LLVMFuzzerTestOneInput(block, bytes.size());
        delete[] block;
    }
    std::fprintf(stderr, "replay: %zu inputs, no fault\n", inputs.size());
    return 0;
}
