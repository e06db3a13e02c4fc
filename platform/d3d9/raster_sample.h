// Texture sampling of the CPU device.
//
// - Point: texel (floor(u W), floor(v H)).
// - Linear: the four texels around (u W - 0.5, v H - 0.5), weighted in 1/256 steps: with
//   t = round((u W - 0.5) * 256), x0 = floor(t / 256) and fx = t mod 256 (likewise y0, fy), each
//   channel is (c00 (256 - fx)(256 - fy) + c10 fx (256 - fy) + c01 (256 - fx) fy + c11 fx fy
//   + 32768) >> 16. ANISOTROPIC filters as LINEAR.
// - Address modes act on whole texel indices: WRAP x mod W; MIRROR folds with period 2W;
//   CLAMP clamps to 0..W-1; BORDER gives the border colour outside 0..W-1; MIRRORONCE mirrors
//   once about 0 then clamps.
// - Level of detail: lod = log2 of the larger of the lengths of (du/dx W, dv/dx H) and
//   (du/dy W, dv/dy H) at level 0, plus MIPMAPLODBIAS. lod <= 0 uses MAGFILTER on level
//   MAXMIPLEVEL; otherwise MINFILTER, and MIPFILTER NONE stays on MAXMIPLEVEL, POINT takes
//   level MAXMIPLEVEL + floor(lod + 0.5), LINEAR blends levels floor(lod) and floor(lod) + 1
//   (from MAXMIPLEVEL) with weight f = round(frac(lod) * 256): (c0 (256 - f) + c1 f + 128) >> 8.
//   Levels beyond the chain use its last level.
#pragma once

#include <cstdint>

#include "platform/d3d9/raster_types.h"

namespace platform {

struct RasterSampler {
    const RasterTexture* texture = nullptr;
    uint32_t addressU = kAddressWrap;
    uint32_t addressV = kAddressWrap;
    uint32_t borderColor = 0;
    uint32_t magFilter = kFilterPoint;
    uint32_t minFilter = kFilterPoint;
    uint32_t mipFilter = kFilterNone;
    int32_t baseLevel = 0;
    float lodBias = 0.0f;
    // True when the level of detail changes the result (mip chain or differing filters).
    bool needsLod = false;
};

void CompileRasterSampler(const RasterStates& states, int stage, RasterSampler* sampler);

// Samples at (u, v); lod as described above (ignored unless needsLod). No texture: opaque white.
uint32_t SampleRaster(const RasterSampler& sampler, float u, float v, float lod);

// The texel index of coordinate u along an axis of the given size with the address mode;
// -1 for BORDER outside the texture.
int32_t AddressRasterTexelOutside(int32_t index, int32_t size, uint32_t mode);
inline int32_t AddressRasterTexel(int32_t index, int32_t size, uint32_t mode) {
    if (static_cast<uint32_t>(index) < static_cast<uint32_t>(size))
        return index;
    return AddressRasterTexelOutside(index, size, mode);
}

// The two texels along one axis that linear sampling weighs at coordinate u, already addressed
// (-1 for the border), and the weight of the second in 1/256.
struct LinearTaps {
    int32_t first;
    int32_t second;
    uint32_t weight;
};
// floor(v) kept within +-2^30, which keeps texel arithmetic inside int32 (NaN gives 0).
inline int64_t RasterFloorToIndex(double v) {
    constexpr double kIndexLimit = 1073741824.0;
    if (!(v == v))
        return 0;
    if (v > kIndexLimit)
        v = kIndexLimit;
    if (v < -kIndexLimit)
        v = -kIndexLimit;
    // floor without a library call: truncation, one down for negative fractions.
    int64_t i = static_cast<int64_t>(v);
    return static_cast<double>(i) > v ? i - 1 : i;
}
// Inline, as the quads work it out for every column and row and the triangles for every pixel.
[[gnu::always_inline]] inline LinearTaps LinearTapsFor(float u, int32_t size, uint32_t mode) {
    int64_t t = RasterFloorToIndex((static_cast<double>(u) * size - 0.5) * 256.0 + 0.5);
    int32_t i0 = static_cast<int32_t>(t >> 8);
    LinearTaps taps;
    taps.first = AddressRasterTexel(i0, size, mode);
    taps.second = AddressRasterTexel(i0 + 1, size, mode);
    taps.weight = static_cast<uint32_t>(t & 255);
    return taps;
}
// The weighted sum of four texels, as described above.
uint32_t BilinearCombine(uint32_t c00, uint32_t c10, uint32_t c01, uint32_t c11, uint32_t fx,
                         uint32_t fy);

// floor(u * size) kept within +-2^30 (NaN gives 0).
inline int32_t RasterTexelIndex(float u, int32_t size) {
    double v = static_cast<double>(u) * size;
    if (!(v > -1073741824.0))
        return v == v ? -1073741824 : 0;
    if (v > 1073741824.0)
        return 1073741824;
    int32_t i = static_cast<int32_t>(v);
    return static_cast<double>(i) > v ? i - 1 : i;
}

}  // namespace platform
