// Random stretch scenes and their expected images: the walk's closed forms for
// the geometry, the oracle for each pixel.
#pragma once

#include <cstdint>
#include <vector>

#include "softrender/blit_scene.h"
#include "softrender/stretch.h"

namespace tessel::kit {

struct StretchScene {
    BlitScene blit;  // images and settings; its x and y are unused
    RECT rect;       // x1, y1, x2, y2 as given
};

// A blit scene of random pixels with a random rectangle (either corner order,
// sides from 1 to rectSide) somewhere around the destination.
StretchScene RandomStretch(BiasedRandom& random, Source kind, int sw, int sh, int dw, int dh,
                           int rectSide);

// Draws the scene with MemImgStretchBlit; fails the test when a guard band
// changed.
std::vector<uint32_t> DrawStretch(const StretchScene& scene);

// The source index that destination pixel i (counted from the rectangle's
// start edge) shows on an axis of destSide pixels over srcSide source pixels,
// before mirroring: floor(i x 65536 / R), or one less under the strict walk
// where that position is a whole number of 1 or more and the axis shrinks.
int ShownIndex(int64_t i, int64_t destSide, int64_t srcSide, bool strict);

// Whether the scene's kernel walks by the strict rule.
bool WalksStrictly(const BlitScene& scene);

// What the oracle says the destination holds after the draw.
std::vector<uint32_t> ExpectStretch(const StretchScene& scene);

}  // namespace tessel::kit
