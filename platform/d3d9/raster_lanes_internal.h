// What the routes that shade 3D triangles share besides the perspective rule: planes placed on
// a row, the depth quantised and read inline, and four-lane steps of the single-precision rule
// (every step the scalar step lane by lane). Private to platform/d3d9.
#pragma once

#include <cstdint>
#include <cstring>

#include "platform/d3d9/raster_draw_internal.h"
#include "platform/d3d9/raster_projective_internal.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform::raster_internal {

// A plane along one row: a x + (b y) + c, in that order, as Plane::At adds.
struct RowPlane {
    double a, by, c;
    double At(double x) const { return a * x + by + c; }
};

inline RowPlane OnRow(const Plane& p, double y) {
    return {p.a, p.b * y, p.c};
}

// lround of v >= 0 without the library call: the whole part, one up from a half. Both steps
// are exact in double, so ties go away from zero as lround's do.
inline uint64_t RoundHalfUp(double v) {
    uint64_t whole = static_cast<uint64_t>(v);
    return whole + (v - static_cast<double>(whole) >= 0.5 ? 1 : 0);
}

// QuantizeRasterDepth, inline.
inline uint32_t QuantizeDepth(uint32_t format, float z) {
    if (!(z > 0.0f))
        z = 0.0f;
    double clamped = z > 1.0f ? 1.0 : static_cast<double>(z);
    switch (format) {
        case kFmtD16:
            return static_cast<uint32_t>(RoundHalfUp(clamped * 65535.0));
        case kFmtD24X8:
            return static_cast<uint32_t>(RoundHalfUp(clamped * 16777215.0));
        case kFmtD32:
            return static_cast<uint32_t>(RoundHalfUp(clamped * 4294967295.0));
        default:
            return 0;
    }
}

inline uint32_t LoadDepth(uint32_t format, const uint8_t* p) {
    if (format == kFmtD16) {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    uint32_t v;
    std::memcpy(&v, p, 4);
    return format == kFmtD24X8 ? (v & 0x00FFFFFFu) : v;
}

inline void StoreDepth(uint32_t format, uint8_t* p, uint32_t value) {
    if (format == kFmtD16) {
        uint16_t v = static_cast<uint16_t>(value);
        std::memcpy(p, &v, 2);
        return;
    }
    std::memcpy(p, &value, 4);
}

#if defined(__SSE2__)
// RoundChannelF: NaN and v <= 0 give 0 (max returns its second operand for NaN), v >= 255
// gives 255, and the rest v + 0.5 truncated.
inline __m128i RoundChannels(__m128 v) {
    v = _mm_min_ps(_mm_max_ps(v, _mm_setzero_ps()), _mm_set1_ps(255.0f));
    return _mm_cvttps_epi32(_mm_add_ps(v, _mm_set1_ps(0.5f)));
}

inline __m128 PlaneLanes(const FloatPlane& p, __m128 x, float row) {
    return _mm_add_ps(_mm_mul_ps(_mm_set1_ps(p.a), x), _mm_set1_ps(row));
}

// floor(x / 255) for 0 <= x < 65535, in 32-bit lanes.
inline __m128i Div255(__m128i x) {
    return _mm_srli_epi32(_mm_add_epi32(_mm_add_epi32(x, _mm_set1_epi32(1)), _mm_srli_epi32(x, 8)),
                          8);
}

// FogMix of four lanes: (c alpha + fog (255 - alpha) + 127) / 255 for channels and factors
// of 0..255 (the products fit the low 16 bits, the sum stays below 65535).
inline __m128i FogMixLanes(__m128i c, __m128i alpha, int32_t fog) {
    const __m128i rest = _mm_sub_epi32(_mm_set1_epi32(255), alpha);
    const __m128i sum =
        _mm_add_epi32(_mm_mullo_epi16(c, alpha), _mm_mullo_epi16(_mm_set1_epi32(fog), rest));
    return Div255(_mm_add_epi32(sum, _mm_set1_epi32(127)));
}

// QuantizeDepth of the depth plane at x0 .. x0 + 3 with the biases added, for D16 and D24X8,
// whose values fit signed 32-bit lanes: the scalar steps lane by lane (the plane in double,
// rounded to float, the biases added one after the other, clamped, scaled and rounded half
// up).
inline void DepthLanes(const RowPlane& z, int64_t x0, float depthBias, float slopeBias,
                       double scale, uint32_t* out) {
    const __m128d a = _mm_set1_pd(z.a), by = _mm_set1_pd(z.by), c = _mm_set1_pd(z.c);
    const double x = static_cast<double>(x0);
    auto at = [&](__m128d xs) { return _mm_add_pd(_mm_add_pd(_mm_mul_pd(a, xs), by), c); };
    __m128 zf = _mm_movelh_ps(_mm_cvtpd_ps(at(_mm_set_pd(x + 1.0, x))),
                              _mm_cvtpd_ps(at(_mm_set_pd(x + 3.0, x + 2.0))));
    zf = _mm_add_ps(_mm_add_ps(zf, _mm_set1_ps(depthBias)), _mm_set1_ps(slopeBias));
    // NaN and z <= 0 give 0 (max returns its second operand for NaN), z > 1 gives 1.
    zf = _mm_min_ps(_mm_max_ps(zf, _mm_setzero_ps()), _mm_set1_ps(1.0f));
    const __m128d sc = _mm_set1_pd(scale);
    auto round = [&](__m128 half) {
        const __m128d v = _mm_mul_pd(_mm_cvtps_pd(half), sc);
        const __m128i whole = _mm_cvttpd_epi32(v);
        const __m128d up = _mm_cmpge_pd(_mm_sub_pd(v, _mm_cvtepi32_pd(whole)), _mm_set1_pd(0.5));
        const __m128i one = _mm_shuffle_epi32(_mm_castpd_si128(up), _MM_SHUFFLE(3, 3, 2, 0));
        return _mm_sub_epi32(whole, one);  // the mask is -1 where the rest is a half or more
    };
    const __m128i all = _mm_unpacklo_epi64(round(zf), round(_mm_movehl_ps(zf, zf)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), all);
}

// PortableLog2 in two double lanes, for m widened from positive floats or infinity (other
// lanes give values the caller masks): the same steps in the same order.
inline __m128d PortableLog2Lanes(__m128d m) {
    const __m128i bits = _mm_castpd_si128(m);
    // The biased exponents, from the high words of the two lanes.
    __m128i high = _mm_shuffle_epi32(_mm_srli_epi64(bits, 52), _MM_SHUFFLE(3, 3, 2, 0));
    high = _mm_sub_epi32(_mm_and_si128(high, _mm_set1_epi32(0x7FF)), _mm_set1_epi32(1023));
    const __m128d e = _mm_cvtepi32_pd(high);
    const __m128i mantissa = _mm_and_si128(bits, _mm_set1_epi64x(0x000FFFFFFFFFFFFFll));
    const __m128d x =
        _mm_castsi128_pd(_mm_or_si128(mantissa, _mm_set1_epi64x(int64_t{1023} << 52)));
    const __m128d one = _mm_set1_pd(1.0);
    const __m128d sl = _mm_div_pd(_mm_sub_pd(x, one), _mm_add_pd(x, one));
    const __m128d s2 = _mm_mul_pd(sl, sl);
    constexpr double kInverse[7] = {1.0 / 13.0, 1.0 / 11.0, 1.0 / 9.0, 1.0 / 7.0,
                                    1.0 / 5.0,  1.0 / 3.0,  1.0};
    __m128d series = _mm_set1_pd(kInverse[0]);
    for (int k = 1; k < 7; ++k)
        series = _mm_add_pd(_mm_set1_pd(kInverse[k]), _mm_mul_pd(s2, series));
    __m128d r = _mm_add_pd(e, _mm_mul_pd(_mm_mul_pd(sl, series), _mm_set1_pd(2.8853900817779268)));
    const __m128d huge = _mm_cmpgt_pd(m, _mm_set1_pd(1.0e300));
    return _mm_or_pd(_mm_and_pd(huge, _mm_set1_pd(997.0)), _mm_andnot_pd(huge, r));
}

// PerspectiveLod of an unprojected set at the blocks whose top-left pixels are at x (four
// lanes) on row by: PerspectiveDerivatives and LodOf lane by lane.
inline __m128 PerspectiveLodLanes(const Triangle& t, int set, const RasterTexture& tex, __m128 x,
                                  float by) {
    const FloatPlane& pq = t.fplanes[kAttrRhw];
    const FloatPlane& pu = t.fplanes[kAttrTex + 2 * set];
    const FloatPlane& pv = t.fplanes[kAttrTex + 2 * set + 1];
    const __m128 q = PlaneLanes(pq, x, RowOf(pq, by));
    const __m128 w =
        _mm_and_ps(_mm_div_ps(_mm_set1_ps(1.0f), q), _mm_cmpneq_ps(q, _mm_setzero_ps()));
    const __m128 u = _mm_mul_ps(PlaneLanes(pu, x, RowOf(pu, by)), w);
    const __m128 v = _mm_mul_ps(PlaneLanes(pv, x, RowOf(pv, by)), w);
    auto derivative = [&](float pa, const __m128& c, float da) {
        return _mm_mul_ps(_mm_sub_ps(_mm_set1_ps(pa), _mm_mul_ps(c, _mm_set1_ps(da))), w);
    };
    const __m128 width = _mm_set1_ps(static_cast<float>(tex.levels[0].width));
    const __m128 height = _mm_set1_ps(static_cast<float>(tex.levels[0].height));
    const __m128 ux = _mm_mul_ps(derivative(pu.a, u, pq.a), width);
    const __m128 vx = _mm_mul_ps(derivative(pv.a, v, pq.a), height);
    const __m128 uy = _mm_mul_ps(derivative(pu.b, u, pq.b), width);
    const __m128 vy = _mm_mul_ps(derivative(pv.b, v, pq.b), height);
    const __m128 x2 = _mm_add_ps(_mm_mul_ps(ux, ux), _mm_mul_ps(vx, vx));
    const __m128 y2 = _mm_add_ps(_mm_mul_ps(uy, uy), _mm_mul_ps(vy, vy));
    const __m128 larger = _mm_cmpgt_ps(x2, y2);
    const __m128 m = _mm_or_ps(_mm_and_ps(larger, x2), _mm_andnot_ps(larger, y2));
    const __m128d lo = PortableLog2Lanes(_mm_cvtps_pd(m));
    const __m128d hi = PortableLog2Lanes(_mm_cvtps_pd(_mm_movehl_ps(m, m)));
    const __m128 lod =
        _mm_mul_ps(_mm_set1_ps(0.5f), _mm_movelh_ps(_mm_cvtpd_ps(lo), _mm_cvtpd_ps(hi)));
    const __m128 positive = _mm_cmpgt_ps(m, _mm_setzero_ps());
    return _mm_or_ps(_mm_and_ps(positive, lod), _mm_andnot_ps(positive, _mm_set1_ps(-64.0f)));
}

#endif

}  // namespace platform::raster_internal
