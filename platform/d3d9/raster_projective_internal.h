// The per-pixel arithmetic of perspective triangles, in single precision, shared by every path
// that shades them (the per-pixel path, the shaded spans and the pixel-shader route) so that
// all of them give the same bits. Private to platform/d3d9.
//
// The rule, for a pixel (x, y) of a perspective triangle:
// - each attribute plane is held as floats and read as a x + (b y + c);
// - w = 1 / rhw (0 where rhw is 0), and an attribute is its plane's value times w; colour
//   channels round half up and clamp to 0..255;
// - a set's coordinates are U w, V w, or U / Q, V / Q for projected sets (0 where Q is 0);
// - the level of detail is worked out once per 2x2 block of pixels, at its top-left pixel
//   (even x, even y), from the derivatives du/dx = (U.a - u D.a) / D with D the plane of q or
//   of rhw: lod = log2 of the larger of |(du/dx W, dv/dx H)| and |(du/dy W, dv/dy H)|,
//   log2 worked out by PortableLog2;
// - depth stays the double-precision plane of the affine rule, so depth buffers of 24 and 32
//   bits keep their resolution, and so do the eye distance of table fog and the affine
//   triangles (the 2D routes) as a whole.
// Every step is one IEEE operation in a fixed order, so vector lanes give the scalar bits;
// the build keeps contraction off.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "platform/d3d9/raster_draw_internal.h"

namespace platform::raster_internal {

inline float RowOf(const FloatPlane& p, float y) {
    return p.b * y + p.c;
}
inline float AtRow(const FloatPlane& p, float x, float row) {
    return p.a * x + row;
}
inline float FloatAt(const FloatPlane& p, float x, float y) {
    return AtRow(p, x, RowOf(p, y));
}
inline float InverseOr0(float q) {
    return q != 0.0f ? 1.0f / q : 0.0f;
}

// RoundChannel in single precision.
inline int32_t RoundChannelF(float v) {
    if (!(v > 0.0f))
        return 0;
    if (v >= 255.0f)
        return 255;
    return static_cast<int32_t>(v + 0.5f);
}

// w at a pixel of a perspective triangle.
inline float PerspectiveW(const Triangle& t, float x, float y) {
    return InverseOr0(FloatAt(t.fplanes[kAttrRhw], x, y));
}

// A colour plane group (diffuse or specular) at a pixel.
inline RasterColor PerspectiveColour(const Triangle& t, int first, float x, float y, float w) {
    return {RoundChannelF(FloatAt(t.fplanes[first], x, y) * w),
            RoundChannelF(FloatAt(t.fplanes[first + 1], x, y) * w),
            RoundChannelF(FloatAt(t.fplanes[first + 2], x, y) * w),
            RoundChannelF(FloatAt(t.fplanes[first + 3], x, y) * w)};
}

// A set's coordinates at a pixel, and the reciprocal of its denominator.
struct FloatCoordinates {
    float u, v, inverse;
};
inline FloatCoordinates PerspectiveCoordinates(const DrawSetup& s, const Triangle& t, int set,
                                               float x, float y, float w) {
    float inverse = w;
    if (s.texProjected[set])
        inverse = InverseOr0(FloatAt(t.fplanes[kAttrTexQ + set], x, y));
    return {FloatAt(t.fplanes[kAttrTex + 2 * set], x, y) * inverse,
            FloatAt(t.fplanes[kAttrTex + 2 * set + 1], x, y) * inverse, inverse};
}

// The screen derivatives of a set at a pixel.
struct FloatDerivatives {
    float dudx, dvdx, dudy, dvdy;
};
inline FloatDerivatives PerspectiveDerivatives(const DrawSetup& s, const Triangle& t, int set,
                                               float x, float y) {
    const FloatPlane& pu = t.fplanes[kAttrTex + 2 * set];
    const FloatPlane& pv = t.fplanes[kAttrTex + 2 * set + 1];
    const FloatPlane& den = s.texProjected[set] ? t.fplanes[kAttrTexQ + set] : t.fplanes[kAttrRhw];
    FloatCoordinates c = PerspectiveCoordinates(s, t, set, x, y, PerspectiveW(t, x, y));
    return {(pu.a - c.u * den.a) * c.inverse, (pv.a - c.v * den.a) * c.inverse,
            (pu.b - c.u * den.b) * c.inverse, (pv.b - c.v * den.b) * c.inverse};
}

// log2 of m > 0 in plain double arithmetic, the same on every machine (the library's log2
// picks its code by processor): m = x 2^e with x in [1, 2), and log2 x = 2 atanh(s) / ln 2
// with s = (x - 1) / (x + 1) <= 1/3, its series to s^13 (error below 1e-7). Powers of two
// come out exact. m is a positive float widened, so its double is normal and x and e are
// read from its bits; the series' coefficients 1 / k are the correctly rounded quotients.
inline double PortableLog2(double m) {
    if (m > 1.0e300)
        return 997.0;  // infinite derivatives: beyond every chain
    uint64_t bits;
    std::memcpy(&bits, &m, 8);
    const int e = static_cast<int>((bits >> 52) & 0x7FF) - 1023;
    bits = (bits & 0x000FFFFFFFFFFFFFu) | (uint64_t{1023} << 52);
    double x;
    std::memcpy(&x, &bits, 8);
    const double s = (x - 1.0) / (x + 1.0), s2 = s * s;
    constexpr double kInverse[7] = {1.0 / 13.0, 1.0 / 11.0, 1.0 / 9.0, 1.0 / 7.0,
                                    1.0 / 5.0,  1.0 / 3.0,  1.0};
    double series = kInverse[0];
    for (int k = 1; k < 7; ++k)
        series = kInverse[k] + s2 * series;
    return static_cast<double>(e) + s * series * 2.8853900817779268;  // 2 / ln 2
}

// The level of detail of a texture for the given derivatives.
inline float LodOf(const FloatDerivatives& d, const RasterTexture& tex) {
    float w = static_cast<float>(tex.levels[0].width);
    float h = static_cast<float>(tex.levels[0].height);
    float ux = d.dudx * w, vx = d.dvdx * h, uy = d.dudy * w, vy = d.dvdy * h;
    float x2 = ux * ux + vx * vx;
    float y2 = uy * uy + vy * vy;
    float m = x2 > y2 ? x2 : y2;
    if (!(m > 0.0f))
        return -64.0f;
    return 0.5f * static_cast<float>(PortableLog2(static_cast<double>(m)));
}

// The level of detail of stage i's texture at pixel (x, y): that of its 2x2 block.
inline float PerspectiveLod(const DrawSetup& s, const Triangle& t, int set,
                            const RasterTexture& tex, int32_t x, int32_t y) {
    float bx = static_cast<float>(x & ~1), by = static_cast<float>(y & ~1);
    return LodOf(PerspectiveDerivatives(s, t, set, bx, by), tex);
}

}  // namespace platform::raster_internal
