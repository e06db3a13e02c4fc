// Stored formats of the device: sizes, and conversion of pixels to and from
// 32-bit A8R8G8B8 words (0xAARRGGBB), the device's working colour.
//
// Widening follows hardware: an n-bit channel becomes 8 bits by bit
// replication (5 bits v -> v << 3 | v >> 2, 4 bits v -> v * 17, a 1-bit alpha
// -> 0 or 255). Narrowing keeps the top bits. Channels a format lacks read as
// 255 for alpha (X formats, R5G6B5) and are written as all ones.
#pragma once

#include <cstdint>

#include "platform/d3d9.h"

namespace platform::d3d9 {

struct FormatInfo {
    D3DFORMAT format;
    const char* name;
    // Bytes of one pixel; for block formats the bytes of one 4x4 block.
    int bytesPerUnit;
    bool blockCompressed;
    bool depth;
    bool hasAlpha;
};

// Null for a format the device does not store.
const FormatInfo* FindFormat(D3DFORMAT format);

bool IsDxtFormat(D3DFORMAT format);
bool IsDepthFormat(D3DFORMAT format);

// Bytes of one row of pixels (a row of 4x4 blocks for DXT formats).
int RowPitch(D3DFORMAT format, int width);
// Rows of storage: the height, or the number of block rows.
int StorageRows(D3DFORMAT format, int height);

// The largest surface the device keeps: at most kMaxSurfaceSide pixels on a
// side (a Direct3D 9 card's render-target limit) and at most kMaxSurfaceBytes
// of storage, so that a mistaken size is refused before anything is reserved.
constexpr uint32_t kMaxSurfaceSide = 16384;
constexpr uint64_t kMaxSurfaceBytes = uint64_t{256} << 20;

// Bytes of storage a surface of that size takes, in 64 bits: 0 for a format
// the device does not store, UINT64_MAX when even that would overflow.
uint64_t StorageBytes(D3DFORMAT format, uint64_t width, uint64_t height);

// One pixel of a plain colour format.
uint32_t DecodePixel(D3DFORMAT format, const uint8_t* pixel);
void EncodePixel(D3DFORMAT format, uint32_t argb, uint8_t* pixel);

// A row of `count` pixels of a plain colour format.
void DecodeRow(D3DFORMAT format, const uint8_t* source, uint32_t* dest, int count);
void EncodeRow(D3DFORMAT format, const uint32_t* source, uint8_t* dest, int count);

// One 4x4 block of a DXT format into 16 words, row by row. DXT2 and DXT4
// hold premultiplied colour; the words keep the colour as stored.
void DecodeDxtBlock(D3DFORMAT format, const uint8_t* block, uint32_t texels[16]);

// The pixel (x, y) of an image in any colour format, DXT included.
uint32_t ReadPixel(D3DFORMAT format, const uint8_t* bits, int pitch, int x, int y);

// Depth formats keep depth in [0, 1] as an unsigned fixed-point number of
// 16, 24 or 32 bits, rounded to nearest.
uint32_t EncodeDepth(D3DFORMAT format, float z);
float DecodeDepth(D3DFORMAT format, const uint8_t* pixel);
void WriteDepth(D3DFORMAT format, uint8_t* pixel, uint32_t value);

}  // namespace platform::d3d9
