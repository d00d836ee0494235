// The model stream reader on arbitrary bytes: every record it accepts lies
// inside the stream (texture name terminated inside it, material, all three
// triangle arrays), and a generated-texture name goes on to the description
// parser, as it does when a mesh is read.
#include "fuzz_target.h"

#include "resources/resources.h"

#include <cstring>

// Reads every byte of a part so that an address sanitizer sees a part that overhangs the stream.
static unsigned touch(const uint8_t* bytes, size_t count) {
    unsigned sum = 0;
    for (size_t i = 0; i < count; ++i) sum += bytes[i];
    return sum;
}

static bool inside(const uint8_t* stream, size_t size, const void* part, size_t count) {
    const uint8_t* p = (const uint8_t*)part;
    return p >= stream && count <= size && (size_t)(p - stream) <= size - count;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<MeshRecord> records;
    size_t end = 0;
    if (!parseModelStream(data, size, &records, &end)) {
        FUZZ_CHECK(records.empty());
        return 0;
    }
    FUZZ_CHECK(end <= size);
    volatile unsigned sum = 0;
    for (const MeshRecord& record : records) {
        size_t nameBytes = std::strlen(record.textureName) + 1;
        FUZZ_CHECK(inside(data, end, record.textureName, nameBytes));
        FUZZ_CHECK(inside(data, end, record.material, sizeof(MeshMaterial)));
        FUZZ_CHECK(record.triangleCount >= 0);
        size_t t = (size_t)record.triangleCount;
        FUZZ_CHECK(inside(data, end, record.positions, 36 * t));
        FUZZ_CHECK(inside(data, end, record.normals, 36 * t));
        FUZZ_CHECK(inside(data, end, record.texCoords, 24 * t));
        sum += touch(record.material->bytes, sizeof(MeshMaterial));
        sum += touch(record.positions, 36 * t) + touch(record.normals, 36 * t) + touch(record.texCoords, 24 * t);
        if (record.textureName[0] != '\0' && record.textureName[1] == '#') {
            TextureDescription description;
            parseTextureDescription(record.textureName, &description);
        }
    }
    (void)sum;
    return 0;
}
