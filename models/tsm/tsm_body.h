// The TSM envelope and the bounded view of its expanded body: the magic,
// the expansion into a buffer four bytes behind its start (so the body's
// offsets count from the start of the file) and reads that refuse every
// offset and count reaching outside the expanded bytes, and the decoders of
// the body's packed values (quantisers, packed positions, skin weights,
// normals).
#pragma once

#include <cstdint>

namespace tessel {

constexpr uint32_t kTsmMagicSize = 4;
// The decoded value of a packed position that stands for base + range.
constexpr float kTsmPositionScale = 60000.0f;

// The expanded body. bytes[0..3] are unused (where the magic stood in the
// file); the body proper is bytes[4..end).
struct TsmBody {
    uint8_t* block;  // tracked; null when nothing was expanded
    uint32_t end;    // one past the last readable offset
};

// 1 when the image starts with the magic.
int IsTsmImage(const void* image, int32_t size);
// Expands the body of a TSM image. -1 without a message when the image is
// not TSM or its block is corrupt (nothing allocated then), -1 with the
// allocation message when the buffer cannot be had; else 0.
int ExpandTsmBody(const void* image, int32_t size, TsmBody* body);
void FreeTsmBody(TsmBody* body);

// 1 when [offset, offset + count x stride) lies inside the body (offset 0
// is "none" and never inside).
int TsmRangeInside(const TsmBody& body, uint32_t offset, uint64_t count, uint64_t stride);
// The word at offset, or 0 with *ok cleared when it reaches outside.
uint32_t TsmWord(const TsmBody& body, uint32_t offset, int* ok);

// A forward reader over packed data that stops at the body's end: every
// read past it gives 0 and clears ok.
struct TsmCursor {
    const uint8_t* at;
    const uint8_t* end;
    int ok;
};

TsmCursor TsmCursorAt(const TsmBody& body, uint32_t offset);
uint8_t TsmReadU8(TsmCursor* cursor);
uint16_t TsmReadU16(TsmCursor* cursor);
uint32_t TsmReadU32(TsmCursor* cursor);
float TsmReadFloat(TsmCursor* cursor);

// The two-byte quantiser of packed keys: value = stored x step + base. -1
// when the base's table index is 32 or more, else 0.
int DecodeTsmQuantiser(uint8_t first, uint8_t second, float* base, float* step);
// A packed position coordinate: value x range / 60000 + base.
float DecodeTsmPackedCoordinate(uint16_t value, float base, float range);

// Frame packing flags (frame word 0xb0).
constexpr uint16_t kTsmNormalBits = 0x0003;
constexpr uint16_t kTsmPackedPositions = 0x0004;
constexpr uint16_t kTsmNoWeights = 0x0008;
constexpr uint16_t kTsmWideBoneIndex = 0x0010;
constexpr uint16_t kTsmWideWeight = 0x0020;

// One position's (bone index, weight) pairs, up to maxWeights; an end marker
// is stored as index -1 without a weight and ends the list. The unused
// pairs are left as they are. Returns the number of weights read.
int DecodeTsmWeights(TsmCursor* cursor, uint16_t flags, int maxWeights, int32_t* bones,
                     float* weights);
// One normal per the flags' low two bits; 0 (none) leaves out untouched.
void DecodeTsmNormal(TsmCursor* cursor, uint16_t flags, float out[3]);

}  // namespace tessel
