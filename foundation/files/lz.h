// The library's LZ77 block format, used by archive entries, the shader pack
// and model files.
//
// Header (9 bytes, little-endian): u32 decoded size, u32 encoded size (header
// included), u8 escape byte E. The body holds codes: a byte other than E is
// itself; E E is the byte E; E c (c != E) starts a match. For a match,
// c' = c - 1 when c > E, else c; the length is (c' >> 3) + 4, or with bit 2 of
// c' set ((c' >> 3) | (x << 5)) + 4 with one more byte x; the low two bits of
// c' pick the distance: one byte d, a u16 d, or a u16 plus a byte (bits 16-23)
// d, each giving d + 1; 3 means the previous match's distance + 1 (before any
// match: distance 1). The copy runs forward and may overlap itself.
#pragma once

#include <cstdint>

namespace tessel {

constexpr uint32_t kLzHeaderSize = 9;

// Trusts the header for the sizes of both buffers: reads at most the encoded
// size from src and writes at most the decoded size to dst. With a null dst
// nothing is decoded (ask for the size, allocate, call again). Returns the
// decoded size, or -1 when the codes are corrupt (they would reach past the
// body, before the start of the output or past the decoded size, or leave the
// output short).
int LzExpand(const void* src, void* dst);

// The same with the buffers' sizes given: never reads more than srcSize bytes
// nor writes more than dstCapacity. -1 as well when the header claims more
// than either buffer holds. With a null dst only the header is checked.
int LzExpand(const void* src, uint32_t srcSize, void* dst, uint32_t dstCapacity);

}  // namespace tessel
