// The arithmetic every software kernel is made of: the floor interpolation,
// the packed saturating add and subtract of 32-bit and RGB565 pixels (with
// their own low-bit results), the two-pixel RGB565 forms and the table rows.
// All of it is constexpr and branch-free so that the kernels and the tests use
// the very same operations.
#pragma once

#include <cstdint>

#include "graphics/memimg/blend_tables.h"

namespace tessel::soft {

// d + floor((t - d) x w / 2^k) for channel values up to 255 and w < 2^k,
// k <= 24. The true value d x 2^k + (t - d) x w lies in [0, 2^32), so the sum
// is exact in wrapping unsigned arithmetic even when t < d.
constexpr uint32_t Interpolate(uint32_t d, uint32_t t, uint32_t w, int k) {
    return ((d << k) + (t - d) * w) >> k;
}

// floor(x x w / 2^k); four 8-bit factors stay below 2^32.
constexpr uint32_t ScaleDown(uint32_t x, uint32_t w, int k) {
    return (x * w) >> k;
}

// The fill's and the line's brightness: (x x b) >> 8.
constexpr uint32_t Dim(uint32_t x, uint32_t b) {
    return (x * b) >> 8;
}

// --- 32-bit pixels: blue in bits 0-7, green 8-15, red 16-23, top byte 24-31.

constexpr uint32_t Blue32(uint32_t v) {
    return v & 0xFF;
}
constexpr uint32_t Green32(uint32_t v) {
    return (v >> 8) & 0xFF;
}
constexpr uint32_t Red32(uint32_t v) {
    return (v >> 16) & 0xFF;
}
constexpr uint32_t Top32(uint32_t v) {
    return v >> 24;
}
constexpr uint32_t Pack32(uint32_t red, uint32_t green, uint32_t blue, uint32_t top = 0) {
    return (top << 24) | (red << 16) | (green << 8) | blue;
}

// d + floor((s - d) x w / 256) on blue, green and red at once (w <= 255),
// the top byte d's: red and blue share one word, and no channel's sum
// d x (256 - w) + s x w reaches 2^16.
constexpr uint32_t MixChannels32(uint32_t d, uint32_t s, uint32_t w) {
    const uint32_t q = 256 - w;
    return (d & 0xFF000000u) | ((((d & 0xFF00FFu) * q + (s & 0xFF00FFu) * w) >> 8) & 0xFF00FFu) |
           ((((d & 0xFF00u) * q + (s & 0xFF00u) * w) >> 8) & 0xFF00u);
}

// Blue exact; green and red at half precision so that one addition serves all
// three: each channel's carry lands in the cleared low bit of the one above,
// the red carry in bit 24. Low bits of green and red are the OR of the
// operands' low bits and the carry from below; the top byte is the red carry.
constexpr uint32_t PackedAdd32(uint32_t d, uint32_t s) {
    const uint32_t sum = (d & 0x00FEFEFFu) + (s & 0x00FEFEFFu);
    const uint32_t carries = sum & 0x01010100u;
    const uint32_t saturate = carries - (carries >> 8);
    return saturate | ((d | s) & 0x00010100u) | sum;
}

// The same without the operands' low bits of green and red: those bits come
// from the carry below only.
constexpr uint32_t PackedAddDropLow32(uint32_t d, uint32_t s) {
    const uint32_t sum = (d & 0x00FEFEFFu) + (s & 0x00FEFEFFu);
    const uint32_t carries = sum & 0x01010100u;
    return (carries - (carries >> 8)) | sum;
}

// Blue exact; green and red at half precision. The set low bits of green, red
// and the top byte guard against borrows: a guard survives where the channel
// below did not go below zero, and a channel that did is cleared. The low bit
// of green and red is 1 less the borrow from below; the top byte ends 0.
constexpr uint32_t PackedSub32(uint32_t d, uint32_t s) {
    const uint32_t diff = (d | 0x01010100u) - (s & 0xFEFEFEFFu);
    const uint32_t guards = diff & 0x01010100u;
    return (guards - (guards >> 8)) & diff;
}

// --- RGB565: red in bits 11-15, green 5-10, blue 0-4.

constexpr uint32_t Red565(uint32_t v) {
    return (v >> 11) & 31;
}
constexpr uint32_t Green565(uint32_t v) {
    return (v >> 5) & 63;
}
constexpr uint32_t Blue565(uint32_t v) {
    return v & 31;
}
constexpr uint32_t Pack565(uint32_t red, uint32_t green, uint32_t blue) {
    return (red << 11) | (green << 5) | blue;
}

constexpr uint32_t kLowGreenRed565 = 0x0820u;  // low bits of green and red
// Clears them, and in a pair also the second pixel's low blue bit.
constexpr uint32_t kOperand565 = 0xF7DEF7DFu;

constexpr uint32_t PackedAdd565(uint32_t d, uint32_t s) {
    const uint32_t sum = (d & 0xF7DFu) + (s & 0xF7DFu);
    const uint32_t carries = sum & 0x10820u;
    const uint32_t saturate = carries - (carries >> 5);
    return (saturate | ((d | s) & kLowGreenRed565) | sum) & 0xFFFFu;
}

constexpr uint32_t PackedAddDropLow565(uint32_t d, uint32_t s) {
    const uint32_t sum = (d & 0xF7DFu) + (s & 0xF7DFu);
    const uint32_t carries = sum & 0x10820u;
    return ((carries - (carries >> 5)) | sum) & 0xFFFFu;
}

// Green's low bit guards blue and is never kept, so it always ends 0.
constexpr uint32_t PackedSub565(uint32_t d, uint32_t s) {
    const uint32_t diff = (d | 0x10820u) - (s & 0xF7DFu);
    const uint32_t guards = diff & 0x10820u;
    return (guards - (guards >> 5)) & diff & 0xFFFFu;
}

// Two RGB565 pixels in one word, the first in the low half. The second
// pixel's blue loses its low bit to the first pixel's red carry (or borrow),
// and the second red's carry leaves the word: it is taken explicitly from bit
// 32 of a 64-bit sum.
constexpr uint32_t PairAdd565(uint32_t d, uint32_t s) {
    const uint64_t sum = uint64_t{d & kOperand565} + (s & kOperand565);
    const uint64_t carries = sum & 0x108210820ull;
    return static_cast<uint32_t>((carries - (carries >> 5)) | sum);
}

constexpr uint32_t PairSub565(uint32_t d, uint32_t s) {
    const uint64_t diff = (uint64_t{d} | 0x108210820ull) - (s & kOperand565);
    const uint64_t guards = diff & 0x108210820ull;
    return static_cast<uint32_t>((guards - (guards >> 5)) & diff);
}

// --- Table rows, taken once per call.

inline const int32_t* ScaleRow(const BlendTables& t, uint32_t r) {
    return t.scale[r & 0xFF];
}
// Indexed by a signed difference d from -255 to 255.
inline const int32_t* DeltaRow(const BlendTables& t, uint32_t p) {
    return t.delta[p & 0xFF] + 256;
}
// Block floor(p / 4), indexed [source field][destination field].
inline const uint8_t (*MixBlock(const BlendTables& t, uint32_t p))[64] {
    return t.mix6[(p & 0xFF) >> 2];
}

constexpr bool IsWhite(uint32_t brightness) {
    return (brightness & 0xFFFFFFu) == 0xFFFFFFu;
}

// The scale rows of the blue, green and red brightness bytes; with white
// brightness all three are the identity row, so white needs no loop of its own.
inline void BrightnessRows(const BlendTables& t, uint32_t brightness, const int32_t* rows[3]) {
    const bool white = IsWhite(brightness);
    for (int ch = 0; ch < 3; ++ch) {
        rows[ch] = ScaleRow(t, white ? 255u : (brightness >> (8 * ch)) & 0xFFu);
    }
}

}  // namespace tessel::soft
