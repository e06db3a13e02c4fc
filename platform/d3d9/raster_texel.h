// Pixel formats as the rasteriser sees them: reading texels, writing target pixels, DXT blocks,
// depth. The conversions themselves are the device's (platform/d3d9/format.h), so that draws,
// copies and read-back agree on every bit:
// - Colours travel as 0xAARRGGBB words with 8 bits a channel.
// - Widening (16-bit formats to 8 bits) replicates the high bits into the low ones, as
//   hardware does: 5 bits v -> (v << 3) | (v >> 2), 6 bits -> (v << 2) | (v >> 4),
//   4 bits -> v * 17, 1 bit -> 0 or 255. Formats without alpha read alpha 255.
// - Narrowing (8 bits to a 16-bit target) keeps the top bits; one alpha bit is the top bit.
//   A widened value narrows back to itself. X8R8G8B8 is written with 0xFF in its unused byte.
// - DXT colours widen the two 5-6-5 end points, then interpolate each channel truncating:
//   (2 c0 + c1) / 3, (c0 + 2 c1) / 3, and in DXT1's three-colour mode (c0 <= c1)
//   (c0 + c1) / 2 and transparent black. DXT2 to DXT5 always use four colours. DXT4/5 alphas:
//   a0 > a1 gives ((7 - i) a0 + i a1) / 7 for i = 1..6, otherwise ((5 - i) a0 + i a1) / 5 for
//   i = 1..4, then 0 and 255. DXT2/4 are returned as stored (premultiplied).
// - Depth: a depth z in 0..1 is stored as round(z * (2^bits - 1)) for D16 (16 bits), D24X8
//   (24 bits, low bits of the word) and D32 (32 bits); comparisons work on those integers.
#pragma once

#include <cstdint>

#include "platform/d3d9/raster_types.h"

namespace platform {

// Bytes per pixel of an uncompressed format, 0 for a compressed or unknown one.
int RasterBytesPerPixel(uint32_t format);
bool IsDxtFormat(uint32_t format);
// Bytes per 4x4 block of a DXT format (8 or 16).
int DxtBlockBytes(uint32_t format);

// Widens a stored 16- or 32-bit pixel of a colour format to 0xAARRGGBB.
uint32_t DecodeRasterPixel(uint32_t format, uint32_t stored);
// Narrows 0xAARRGGBB to the stored value of a colour format.
uint32_t EncodeRasterPixel(uint32_t format, uint32_t argb);

// Decodes a whole DXT block into 16 colours, row by row.
void DecodeDxtBlock(uint32_t format, const uint8_t* block, uint32_t out[16]);
// One texel (x, y in 0..3) of a DXT block.
uint32_t DecodeDxtTexel(uint32_t format, const uint8_t* block, int x, int y);

// Texel (x, y) of a surface, inside its bounds, as 0xAARRGGBB. Unknown formats read opaque black.
uint32_t ReadRasterTexel(const RasterSurface& surface, int32_t x, int32_t y);
// Writes a colour pixel (colour formats only).
void WriteRasterPixel(const RasterSurface& surface, int32_t x, int32_t y, uint32_t argb);

// Depth in the integer scale of a depth format (see above); z is clamped to 0..1 first.
uint32_t QuantizeRasterDepth(uint32_t format, float z);
uint32_t ReadRasterDepth(const RasterSurface& depth, int32_t x, int32_t y);
void WriteRasterDepth(const RasterSurface& depth, int32_t x, int32_t y, uint32_t value);

}  // namespace platform
