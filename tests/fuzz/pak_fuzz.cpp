// The archive reader on arbitrary bytes: a refusal leaves the archive empty,
// every accepted entry's block holds its whole size, lookups find the first
// entry of a name (a name holding a zero byte is reached by no lookup), and
// writing the archive and reading it back gives it again.
#include "fuzz_target.h"

#include "resources/resources.h"

#include <cstring>

static bool sameArchive(const PakArchive& a, const PakArchive& b) {
    if (a.names != b.names || a.sizes != b.sizes) return false;
    for (size_t i = 0; i < a.data.size(); ++i)
        if (std::memcmp(a.data[i], b.data[i], (size_t)a.sizes[i]) != 0) return false;
    return true;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PakArchive archive;
    if (!parseArchive(&archive, data, size)) {
        FUZZ_CHECK(archive.names.empty() && archive.data.empty());
        return 0;
    }
    size_t total = 0;
    for (size_t i = 0; i < archive.names.size(); ++i) {
        FUZZ_CHECK(archive.data[i] != nullptr && archive.sizes[i] >= 0);
        FUZZ_CHECK(archive.names[i].size() <= 127);
        total += (size_t)archive.sizes[i] + archive.names[i].size() + 5;
        // Looked up by its C string, which ends at a zero byte inside the name, if any.
        const char* key = archive.names[i].c_str();
        int32_t found = -1;
        const uint8_t* first = findEntry(&archive, key, &found);
        size_t firstIndex = 0;
        while (firstIndex < archive.names.size() && archive.names[firstIndex] != key) ++firstIndex;
        if (firstIndex == archive.names.size())
            FUZZ_CHECK(first == nullptr && found == 0);
        else
            FUZZ_CHECK(first == archive.data[firstIndex] && found == archive.sizes[firstIndex]);
    }
    FUZZ_CHECK(total + 4 <= size);

    std::vector<uint8_t> written;
    serializeArchive(&archive, written);
    PakArchive again;
    FUZZ_CHECK(parseArchive(&again, written.data(), written.size()));
    FUZZ_CHECK(sameArchive(archive, again));
    clearArchive(&again);
    clearArchive(&archive);
    return 0;
}
