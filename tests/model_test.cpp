// The model stream reader against streams written by the model writer, and
// against damaged streams that must never be read beyond their end.
#include "resources/resources.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <cstring>

namespace {

std::vector<uint8_t> twoMeshModel() {
    MeshSource a = quadMesh(-1, -2, 3, 4, 5, "picture");
    a.alphaTest = true;
    a.shininess = 12.5f;
    a.diffuse[2] = 0.25f;
    MeshSource b = quadMesh(0, 0, 1, 1, 0, "x#Plasma64 64 1 2 3", true);
    return modelBytes({a, b});
}

float floatAt(const uint8_t* p, size_t index) {
    float f;
    memcpy(&f, p + 4 * index, sizeof f);
    return f;
}

void putInt32At(std::vector<uint8_t>& bytes, size_t offset, int32_t value) {
    for (int i = 0; i < 4; ++i) bytes[offset + i] = (uint8_t)((uint32_t)value >> (8 * i));
}

}  // namespace

TEST(ModelStream, WriterAndReaderAreInverse) {
    std::vector<uint8_t> bytes = twoMeshModel();
    std::vector<MeshRecord> records;
    ASSERT_TRUE(parseModelStream(bytes.data(), bytes.size(), &records));
    ASSERT_EQ(2u, records.size());

    EXPECT_STREQ("picture", records[0].textureName);
    EXPECT_EQ(2, records[0].triangleCount);
    EXPECT_EQ(1, records[0].material->bytes[0]) << "alpha test";
    EXPECT_EQ(0, records[0].material->bytes[1]) << "transparent";
    EXPECT_EQ(12.5f, floatAt(records[0].material->bytes, 13)) << "shininess at byte 52";
    EXPECT_EQ(0.25f, floatAt(records[0].material->bytes, 7)) << "diffuse blue at byte 28";
    EXPECT_EQ(-1.0f, floatAt(records[0].positions, 0));
    EXPECT_EQ(-2.0f, floatAt(records[0].positions, 1));
    EXPECT_EQ(5.0f, floatAt(records[0].positions, 2));
    EXPECT_EQ(1.0f, floatAt(records[0].normals, 2));
    EXPECT_EQ(records[0].positions + 36 * 2, records[0].normals);
    EXPECT_EQ(records[0].normals + 36 * 2, records[0].texCoords);

    EXPECT_STREQ("x#Plasma64 64 1 2 3", records[1].textureName);
    EXPECT_EQ(1, records[1].material->bytes[1]);
    EXPECT_EQ(records[1].texCoords + 24 * 2, bytes.data() + bytes.size()) << "the last record ends the stream";
}

TEST(ModelStream, MarkerSectionEmptyMeshesAndTrailingBytes) {
    std::vector<uint8_t> plain = twoMeshModel();

    std::vector<uint8_t> withSection = plain;
    withSection[0] = 0xFF;
    withSection.insert(withSection.begin() + 1, {9, 9, 9, 9});
    std::vector<MeshRecord> records;
    ASSERT_TRUE(parseModelStream(withSection.data(), withSection.size(), &records));
    EXPECT_EQ(2u, records.size()) << "0xFF skips a 4-byte section before the count";

    std::vector<uint8_t> otherMarker = plain;
    otherMarker[0] = 0x7E;
    otherMarker.push_back(0xAB);  // trailing bytes are ignored
    ASSERT_TRUE(parseModelStream(otherMarker.data(), otherMarker.size(), &records));
    EXPECT_EQ(2u, records.size());

    MeshSource empty = quadMesh(0, 0, 1, 1, 0, "e");
    empty.positions.clear();
    std::vector<uint8_t> withEmpty = modelBytes({empty, quadMesh(0, 0, 1, 1, 0, "next")});
    ASSERT_TRUE(parseModelStream(withEmpty.data(), withEmpty.size(), &records));
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(0, records[0].triangleCount);
    EXPECT_STREQ("next", records[1].textureName) << "the next record starts after the reserved byte";
}

TEST(ModelStream, DamagedStreamsYieldNoMeshes) {
    std::vector<uint8_t> good = twoMeshModel();
    const size_t nameLength = 1 + 4;          // offset of the first name-length field
    const size_t triangles = nameLength + 4 + 8 + 60;  // first triangle count ("picture" + NUL = 8)

    struct Case {
        const char* what;
        size_t offset;
        int32_t value;
    } cases[] = {
        {"mesh count beyond the bytes", 1, 1000},
        {"negative mesh count", 1, -1},
        {"name length beyond the bytes", nameLength, 1 << 30},
        {"negative name length", nameLength, -5},
        {"empty name field", nameLength, 0},
        {"triangle count beyond the bytes", triangles, 3},
        {"huge triangle count", triangles, 0x7FFFFFFF},
        {"negative triangle count", triangles, -2},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bad = good;
        putInt32At(bad, c.offset, c.value);
        // An exact-size heap copy: a read past the end is a read past the block.
        std::vector<uint8_t> exact(bad);
        std::vector<MeshRecord> records(1);
        EXPECT_FALSE(parseModelStream(exact.data(), exact.size(), &records)) << c.what;
        EXPECT_TRUE(records.empty()) << c.what;
    }

    std::vector<uint8_t> unterminated = modelBytes({quadMesh(0, 0, 1, 1, 0, "abc")});
    unterminated[nameLength + 4 + 3] = 'd';  // the terminator becomes a letter
    std::vector<MeshRecord> records;
    EXPECT_FALSE(parseModelStream(unterminated.data(), unterminated.size(), &records)) << "unterminated name";

    for (size_t cut = 0; cut < good.size(); ++cut) {
        std::vector<uint8_t> shortCopy(good.begin(), good.begin() + cut);
        EXPECT_FALSE(parseModelStream(shortCopy.data(), shortCopy.size(), &records)) << "cut at " << cut;
    }
}
