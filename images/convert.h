// Copying a rectangle of pixels from one colour format into another.
#pragma once

#include <cstdint>

#include "images/pixel_format.h"
#include "platform/types.h"

namespace tessel {

enum : int {
    kDitherNone = 0,
    kDitherOrdered = 1,  // 4 x 4 threshold matrix
    kDitherCarried = 2,  // dropped bits carried from pixel to pixel
};

// Copies srcRect (right and bottom exclusive) of the source to (dstX, dstY) of
// the destination. Nothing is clipped: the caller keeps both sides inside.
//   alpha image: same size as the source, alpha read from its red channel when
//                the source has none (alphaFormat may be null).
//   mirror: the rectangle is written right to left.
//   colorKey: pixels of keyColor (0x00RRGGBB) get alpha 0, all others full alpha.
//   transparentCopy: source pixels whose raw value equals keyColor are skipped.
//   alphaOnly: red, green and blue become 0; redAsAlpha: the red channel becomes
//   the alpha; paletteRemap: two 1-byte formats with different palettes are
//   matched colour by colour.
// Returns -1 for an empty rectangle, the highest index copied on a plain copy
// between two 8-bit images, else 0.
int ConvertImagePixels(void* dstPixels, int dstPitch, const PixelFormatDesc* dstFormat,
                       const void* srcPixels, int srcPitch, const PixelFormatDesc* srcFormat,
                       const void* alphaPixels, int alphaPitch, const PixelFormatDesc* alphaFormat,
                       int dstX, int dstY, const RECT* srcRect, int mirror, int colorKey,
                       uint32_t keyColor, int ditherMode, int alphaOnly, int redAsAlpha,
                       int transparentCopy, int paletteRemap);

// 1 (the default) lets common format pairs take their fixed fast paths; 0 sends
// them through the generic per-pixel rule, so that tests and benchmarks can
// compare the two.
extern int g_convertUseFixedPairs;

}  // namespace tessel
