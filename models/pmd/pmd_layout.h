// The PMD file's sections located and bounded: every count is checked
// against the image before anything is read, and every index a record holds
// against the table it names, so the reader's steps can walk the records
// without a test of their own. Little-endian fields are read byte by byte.
#pragma once

#include <cstdint>
#include <cstring>

namespace tessel {

constexpr int kPmdVertexBytes = 38;
constexpr int kPmdMaterialBytes = 70;
constexpr int kPmdBoneBytes = 39;
constexpr int kPmdIkHeadBytes = 11;
constexpr int kPmdMorphHeadBytes = 25;
constexpr int kPmdMorphEntryBytes = 16;
constexpr int kPmdNameBytes = 20;
constexpr int kPmdToonNames = 10;
constexpr int kPmdToonNameBytes = 100;
constexpr uint16_t kPmdNoBone = 0xFFFF;
constexpr uint8_t kPmdNoToon = 0xFF;

inline uint16_t PmdU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t PmdU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline float PmdF32(const uint8_t* p) {
    const uint32_t bits = PmdU32(p);
    float f = 0.0f;
    std::memcpy(&f, &bits, 4);
    return f;
}

// Where each section starts; the record pointers point into the image.
struct PmdLayout {
    uint32_t vertexCount;
    const uint8_t* vertices;
    uint32_t indexCount;
    const uint8_t* indices;
    uint32_t materialCount;
    const uint8_t* materials;
    uint32_t boneCount;
    const uint8_t* bones;
    uint32_t ikCount;
    const uint8_t* iks;  // records of differing lengths, one after another
    uint32_t morphCount;
    const uint8_t* morphs;
    const uint8_t* toonNames;  // null: the file has no toon-name table
};

// 0 when the image is a PMD file of version 1.0 whose sections all lie
// inside it and whose indices all name records that exist; -2 without a log
// line when it does not begin with "Pmd"; -1 after one log line otherwise.
int LocatePmdSections(const uint8_t* image, int32_t size, PmdLayout* out);

// The start of the record after an IK record or a morph.
inline const uint8_t* NextPmdIk(const uint8_t* ik) {
    return ik + kPmdIkHeadBytes + 2 * ik[4];
}
inline const uint8_t* NextPmdMorph(const uint8_t* morph) {
    return morph + kPmdMorphHeadBytes +
           static_cast<size_t>(kPmdMorphEntryBytes) * PmdU32(morph + 20);
}

// A name field as a 0-ended text of at most `bytes` bytes.
inline void CopyPmdName(const uint8_t* field, int bytes, char* out) {
    int n = 0;
    while (n < bytes && field[n] != 0) {
        out[n] = static_cast<char>(field[n]);
        ++n;
    }
    out[n] = 0;
}

}  // namespace tessel
