// Transparency run tables: each row of an image as runs of up to 64 pixels
// that are skipped, drawn opaque or drawn with their own alpha, so that the
// blit steps over transparent areas without reading them.
#pragma once

#include <cstdint>

#include "graphics/memimg/memimg.h"

namespace tessel {

// Run bytes: the kind in the top two bits, the length minus 1 in the low six.
enum : uint8_t {
    kRunSkip = 0x00,
    kRunOpaque = 0x40,
    kRunAlpha = 0x80,
    kRunRowEnd = 0xC0,
};
constexpr int kRunMaxLength = 64;

// Rebuilds the run table of the image's store from its pixels (the whole
// stored image, whichever view is given) and marks it valid. A paletted pixel
// equal to the transparent index is skipped, any other opaque; with an alpha
// plane alpha 0 is skipped, 255 opaque and anything else an alpha pixel;
// otherwise a pixel whose whole value equals the transparent value is
// skipped. 0; -1 with a log line for an invalid image, colour types 2 and 3,
// or a store made without a run-table buffer.
int MemImgBuildRunTable(MEMIMG* image);

}  // namespace tessel
