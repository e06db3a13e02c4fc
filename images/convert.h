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

// One copy of a rectangle between two images. Set the two images and the
// rectangle; every other field left zero keeps its default (no alpha image,
// no mirroring, no key, no dithering), so a call names only what it changes.
struct ConvertImageDesc {
    // The destination: the rectangle is written with its top-left at (dstX, dstY).
    void* dstPixels = nullptr;
    int dstPitch = 0;
    const PixelFormatDesc* dstFormat = nullptr;
    int dstX = 0;
    int dstY = 0;
    // The source and its rectangle (right and bottom exclusive).
    const void* srcPixels = nullptr;
    int srcPitch = 0;
    const PixelFormatDesc* srcFormat = nullptr;
    RECT srcRect = {};
    // An alpha image the size of the source: alpha is read from its red
    // channel when the source has none (alphaFormat may stay null).
    const void* alphaPixels = nullptr;
    int alphaPitch = 0;
    const PixelFormatDesc* alphaFormat = nullptr;
    // The rectangle is written right to left.
    bool mirror = false;
    // Pixels of keyColor (0x00RRGGBB) get alpha 0, all others full alpha.
    bool colorKey = false;
    uint32_t keyColor = 0;
    int ditherMode = kDitherNone;
    // Red, green and blue become 0.
    bool alphaOnly = false;
    // The red channel becomes the alpha.
    bool redAsAlpha = false;
    // Source pixels whose raw value equals keyColor are skipped.
    bool transparentCopy = false;
    // Two 1-byte formats with different palettes are matched colour by colour.
    bool paletteRemap = false;
};

// Copies the rectangle. Nothing is clipped: the caller keeps both sides
// inside. Returns -1 for an empty rectangle, the highest index copied on a
// plain copy between two 8-bit images, else 0.
int ConvertImagePixels(const ConvertImageDesc& desc);

// 1 (the default) lets common format pairs take their fixed fast paths; 0 sends
// them through the generic per-pixel rule, so that tests and benchmarks can
// compare the two.
extern int g_convertUseFixedPairs;

}  // namespace tessel
