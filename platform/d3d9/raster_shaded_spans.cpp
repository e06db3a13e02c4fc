// The shaded-span route: the triangles of 3D drawing (perspective, Gouraud colours, mipmaps,
// depth, fog) on a 32-bit target whose blend the write mode computes in place, with stage
// textures of 32-bit texels (or none). It gives the pixels of the per-pixel path
// (raster_pipeline.cpp) bit for bit: the same attribute planes in the same arithmetic (single
// precision for perspective triangles, raster_projective_internal.h; double for affine ones)
// with the same roundings, the same sampling and combining rules, but
// - what is constant along a row (b y + c of every plane) is worked out once a row;
// - the states are read once a draw (ShadedPlan), so the pixel loop holds no dispatch on
//   formats, filters or shading beyond a few well-predicted flags;
// - a pixel is tested against the depth buffer before it is shaded, and dropped early;
// - the level of detail and the mip levels it picks are worked out once per 2x2 block and
//   kept for the block's other pixels (BlockLodCache);
// - texels are read straight from 32-bit levels; the bilinear and mip blends of levels that
//   wrap by mask run in vector lanes (four pixels together where they share their levels,
//   SamplePicked4), the others two channels a word;
// - the common stage program (texture times diffuse, alpha from either or both) is a few
//   integer operations instead of the general combiner, and on perspective Gouraud
//   triangles four pixels share each vector step (ShadeRowModulate4), which also works out
//   its row's block levels of detail four blocks at a time before shading (FillBlockPicks)
//   and D16 and D24X8 depths four pixels at a time.
//
// Routes: CompileShadedPlan says whether a draw fits and reads its states; RasterShadedSpans
// walks one triangle's rows in a band, and ShadeRow (or ShadeRowModulate4) the pixels of one
// span.
#include "platform/d3d9/raster_shaded_spans_internal.h"

#include "platform/d3d9/raster_lanes_internal.h"
#include "platform/d3d9/raster_projective_internal.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform::raster_internal {

namespace {

inline uint32_t LoadTexel(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// The four-texel weighted sum of BilinearCombine, worked as
//   (256 - fy) (c00 (256 - fx) + c10 fx) + fy (c01 (256 - fx) + c11 fx),
// which is the same integer: first along the rows with two channels a word (each 16-bit lane
// at most 255 * 256), then down with two channels a 64-bit word (each 32-bit lane at most
// 255 * 65536 + 32768).
[[gnu::always_inline]] inline uint32_t Bilinear2(uint32_t c00, uint32_t c10, uint32_t c01,
                                                 uint32_t c11, uint32_t fx, uint32_t fy) {
    const uint32_t gx = 256 - fx, gy = 256 - fy;
    constexpr uint32_t kPair = 0x00FF00FFu;
    uint32_t rb0 = (c00 & kPair) * gx + (c10 & kPair) * fx;
    uint32_t rb1 = (c01 & kPair) * gx + (c11 & kPair) * fx;
    uint32_t ag0 = ((c00 >> 8) & kPair) * gx + ((c10 >> 8) & kPair) * fx;
    uint32_t ag1 = ((c01 >> 8) & kPair) * gx + ((c11 >> 8) & kPair) * fx;
    auto spread = [](uint32_t lanes) {
        return (static_cast<uint64_t>(lanes >> 16) << 32) | (lanes & 0xFFFFu);
    };
    constexpr uint64_t kHalf = (uint64_t{32768} << 32) | 32768;
    constexpr uint64_t kByte = (uint64_t{255} << 32) | 255;
    uint64_t rb = ((spread(rb0) * gy + spread(rb1) * fy + kHalf) >> 16) & kByte;
    uint64_t ag = ((spread(ag0) * gy + spread(ag1) * fy + kHalf) >> 16) & kByte;
    return static_cast<uint32_t>(rb | (rb >> 16)) | (static_cast<uint32_t>(ag | (ag >> 16)) << 8);
}

// (c0 (256 - f) + c1 f + 128) >> 8 per channel, two channels a word (each lane stays below
// 65536).
[[gnu::always_inline]] inline uint32_t Lerp2(uint32_t c0, uint32_t c1, uint32_t f) {
    uint32_t lo = ((c0 & 0x00FF00FFu) * (256 - f) + (c1 & 0x00FF00FFu) * f + 0x00800080u) >> 8;
    uint32_t hi =
        (((c0 >> 8) & 0x00FF00FFu) * (256 - f) + ((c1 >> 8) & 0x00FF00FFu) * f + 0x00800080u) >> 8;
    return (lo & 0x00FF00FFu) | ((hi & 0x00FF00FFu) << 8);
}

// AddressRasterTexel, with WRAP on a power-of-two size as a mask (the same index, negative
// ones too, in two's complement).
[[gnu::always_inline]] inline int32_t Address(int32_t index, int32_t size, const AxisWrap& a) {
    if (a.mask != 0)
        return index & a.mask;
    return AddressRasterTexel(index, size, a.mode);
}

// LinearTapsFor, addressed as above.
[[gnu::always_inline]] inline LinearTaps TapsFor(float u, int32_t size, const AxisWrap& a) {
    int64_t t = RasterFloorToIndex((static_cast<double>(u) * size - 0.5) * 256.0 + 0.5);
    int32_t i0 = static_cast<int32_t>(t >> 8);
    LinearTaps taps;
    taps.first = Address(i0, size, a);
    taps.second = Address(i0 + 1, size, a);
    taps.weight = static_cast<uint32_t>(t & 255);
    return taps;
}

inline uint32_t Fetch(const Level32& l, int32_t x, int32_t y) {
    return LoadTexel(l.bits + static_cast<intptr_t>(y) * l.pitch + 4 * static_cast<intptr_t>(x)) |
           l.alphaOr;
}

[[gnu::always_inline]] inline uint32_t SampleLevel32(const Sampler32& t, int32_t level,
                                                     uint32_t filter, float u, float v) {
    level = std::clamp(level, 0, t.levelCount - 1);
    const Level32& l = t.levels[level];
    if (!l.valid)
        return 0xFFFFFFFFu;
    const RasterSampler& sm = *t.sampler;
    if (IsLinearFilter(filter)) {
        LinearTaps cols = TapsFor(u, l.width, l.wrapU);
        LinearTaps rows = TapsFor(v, l.height, l.wrapV);
        if ((cols.first | cols.second | rows.first | rows.second) >= 0) {
            const uint8_t* r0 = l.bits + static_cast<intptr_t>(rows.first) * l.pitch;
            const uint8_t* r1 = l.bits + static_cast<intptr_t>(rows.second) * l.pitch;
            return Bilinear2(LoadTexel(r0 + 4 * cols.first) | l.alphaOr,
                             LoadTexel(r0 + 4 * cols.second) | l.alphaOr,
                             LoadTexel(r1 + 4 * cols.first) | l.alphaOr,
                             LoadTexel(r1 + 4 * cols.second) | l.alphaOr, cols.weight, rows.weight);
        }
        auto fetch = [&](int32_t x, int32_t y) {
            return (x < 0 || y < 0) ? sm.borderColor : Fetch(l, x, y);
        };
        return Bilinear2(fetch(cols.first, rows.first), fetch(cols.second, rows.first),
                         fetch(cols.first, rows.second), fetch(cols.second, rows.second),
                         cols.weight, rows.weight);
    }
    int32_t tx = Address(RasterTexelIndex(u, l.width), l.width, l.wrapU);
    int32_t ty = Address(RasterTexelIndex(v, l.height), l.height, l.wrapV);
    if (tx < 0 || ty < 0)
        return sm.borderColor;
    return Fetch(l, tx, ty);
}

// What the level of detail chooses, as SampleRaster chooses it: one level with a filter, or
// two neighbouring levels blended by f / 256. Worked out once per 2x2 block where the level
// of detail is.
struct MipPick {
    int32_t level = 0;
    uint32_t filter = kFilterPoint;
    uint32_t f = 0;  // non-zero: blend level and level + 1
    // Set by ResolveLanes where the pick is read in vector lanes: the levels filtered
    // (second where f is non-zero), so that the pixels skip the checks.
    const Level32* first = nullptr;
    const Level32* second = nullptr;
};

[[gnu::always_inline]] inline MipPick PickMip(const Sampler32& t, float lod) {
    const RasterSampler& sm = *t.sampler;
    if (!sm.needsLod)
        return {sm.baseLevel, sm.magFilter, 0};
    double l = static_cast<double>(lod) + sm.lodBias;
    if (!(l > 0.0))
        return {sm.baseLevel, sm.magFilter, 0};
    if (l > 64.0)
        l = 64.0;
    // l is in (0, 64], so each floor below is of a positive value: the truncation of the
    // conversion, without the library call.
    switch (sm.mipFilter) {
        case kFilterPoint:
            return {sm.baseLevel + static_cast<int32_t>(l + 0.5), sm.minFilter, 0};
        case kFilterLinear:
        case kFilterAnisotropic: {
            const int32_t whole = static_cast<int32_t>(l);
            int32_t level = sm.baseLevel + whole;
            uint32_t f = static_cast<uint32_t>((l - static_cast<double>(whole)) * 256.0 + 0.5);
            if (f == 0 || level + 1 >= t.levelCount)
                return {level, sm.minFilter, 0};
            if (f >= 256)
                return {level + 1, sm.minFilter, 0};
            return {level, sm.minFilter, f};
        }
        default:
            return {sm.baseLevel, sm.minFilter, 0};
    }
}

#if defined(__SSE2__)
// The bilinear taps of one level at (u, v) when both axes wrap by mask: the texel offsets of
// the four corners and the weights, as TapsFor gives them, u and v side by side in doubles.
struct MaskedTaps {
    const uint8_t* row0;
    const uint8_t* row1;
    int32_t col0, col1;  // byte offsets
    uint32_t fx, fy;
};

[[gnu::always_inline]] inline MaskedTaps TapsMasked(const Level32& l, float u, float v) {
    const __m128d size = _mm_set_pd(static_cast<double>(l.height), static_cast<double>(l.width));
    __m128d t = _mm_set_pd(static_cast<double>(v), static_cast<double>(u));
    t = _mm_add_pd(
        _mm_mul_pd(_mm_sub_pd(_mm_mul_pd(t, size), _mm_set1_pd(0.5)), _mm_set1_pd(256.0)),
        _mm_set1_pd(0.5));
    // RasterFloorToIndex: NaN to 0, clamped to +-2^30, then floor.
    t = _mm_and_pd(t, _mm_cmpord_pd(t, t));
    t = _mm_min_pd(_mm_max_pd(t, _mm_set1_pd(-1073741824.0)), _mm_set1_pd(1073741824.0));
    __m128i i = _mm_cvttpd_epi32(t);
    __m128i down = _mm_castpd_si128(_mm_cmpgt_pd(_mm_cvtepi32_pd(i), t));
    i = _mm_add_epi32(i, _mm_shuffle_epi32(down, _MM_SHUFFLE(3, 3, 2, 0)));
    int32_t tu = _mm_cvtsi128_si32(i);
    int32_t tv = _mm_cvtsi128_si32(_mm_srli_si128(i, 4));
    int32_t x0 = tu >> 8, y0 = tv >> 8;
    MaskedTaps taps;
    taps.row0 = l.bits + static_cast<intptr_t>(y0 & l.wrapV.mask) * l.pitch;
    taps.row1 = l.bits + static_cast<intptr_t>((y0 + 1) & l.wrapV.mask) * l.pitch;
    taps.col0 = 4 * (x0 & l.wrapU.mask);
    taps.col1 = 4 * ((x0 + 1) & l.wrapU.mask);
    taps.fx = static_cast<uint32_t>(tu & 255);
    taps.fy = static_cast<uint32_t>(tv & 255);
    return taps;
}

// Bilinear2 of the four corners, eight channels at a time in 16-bit lanes, the last step in
// 32-bit lanes: the same integers.
[[gnu::always_inline]] inline __m128i BilinearLanes(const MaskedTaps& t, uint32_t alphaOr) {
    const __m128i zero = _mm_setzero_si128();
    __m128i c = _mm_set_epi32(static_cast<int>(LoadTexel(t.row1 + t.col1) | alphaOr),
                              static_cast<int>(LoadTexel(t.row1 + t.col0) | alphaOr),
                              static_cast<int>(LoadTexel(t.row0 + t.col1) | alphaOr),
                              static_cast<int>(LoadTexel(t.row0 + t.col0) | alphaOr));
    const int gx = static_cast<int>(256 - t.fx), fx = static_cast<int>(t.fx);
    const __m128i wx = _mm_set_epi16(fx, fx, fx, fx, gx, gx, gx, gx);
    __m128i top = _mm_mullo_epi16(_mm_unpacklo_epi8(c, zero), wx);  // c00 gx | c10 fx
    __m128i bottom = _mm_mullo_epi16(_mm_unpackhi_epi8(c, zero), wx);
    top = _mm_add_epi16(top, _mm_srli_si128(top, 8));
    bottom = _mm_add_epi16(bottom, _mm_srli_si128(bottom, 8));
    __m128i rows = _mm_unpacklo_epi64(top, bottom);  // row 0 | row 1, each at most 255 * 256
    const int gy = static_cast<int>(256 - t.fy), fy = static_cast<int>(t.fy);
    const __m128i wy = _mm_set_epi16(fy, fy, fy, fy, gy, gy, gy, gy);
    __m128i lo = _mm_mullo_epi16(rows, wy), hi = _mm_mulhi_epu16(rows, wy);
    __m128i sum = _mm_add_epi32(_mm_unpacklo_epi16(lo, hi), _mm_unpackhi_epi16(lo, hi));
    return _mm_srli_epi32(_mm_add_epi32(sum, _mm_set1_epi32(32768)), 16);  // 4 x 32-bit
}

inline uint32_t PackLanes(__m128i channels) {
    __m128i words = _mm_packs_epi32(channels, channels);
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(words, words)));
}
#endif

[[gnu::always_inline]] inline bool Masked(const Level32& l) {
    return l.valid && l.wrapU.mask != 0 && l.wrapV.mask != 0;
}

// SampleRaster's rules on 32-bit levels, the level chosen.
[[gnu::always_inline]] inline uint32_t SamplePicked(const Sampler32& t, const MipPick& pick,
                                                    float u, float v) {
    if (t.none)
        return 0xFFFFFFFFu;
#if defined(__SSE2__)
    if (pick.first != nullptr) {  // resolved: the lanes below, without their checks
        __m128i c0 = BilinearLanes(TapsMasked(*pick.first, u, v), pick.first->alphaOr);
        if (pick.second == nullptr)
            return PackLanes(c0);
        __m128i c1 = BilinearLanes(TapsMasked(*pick.second, u, v), pick.second->alphaOr);
        const __m128i f = _mm_set1_epi32(static_cast<int>(pick.f));
        const __m128i g = _mm_set1_epi32(static_cast<int>(256 - pick.f));
        __m128i a = _mm_madd_epi16(c0, g), b = _mm_madd_epi16(c1, f);
        __m128i mixed = _mm_add_epi32(_mm_add_epi32(a, b), _mm_set1_epi32(128));
        return PackLanes(_mm_srli_epi32(mixed, 8));
    }
    // Linear filtering of levels that wrap by mask, in vector lanes.
    if (IsLinearFilter(pick.filter)) {
        int32_t level = std::clamp(pick.level, 0, t.levelCount - 1);
        const Level32& l0 = t.levels[level];
        if (Masked(l0)) {
            __m128i c0 = BilinearLanes(TapsMasked(l0, u, v), l0.alphaOr);
            if (pick.f == 0)
                return PackLanes(c0);
            int32_t next = std::clamp(pick.level + 1, 0, t.levelCount - 1);
            const Level32& l1 = t.levels[next];
            if (Masked(l1)) {
                __m128i c1 = BilinearLanes(TapsMasked(l1, u, v), l1.alphaOr);
                // (c0 (256 - f) + c1 f + 128) >> 8, in 32-bit lanes.
                const __m128i f = _mm_set1_epi32(static_cast<int>(pick.f));
                const __m128i g = _mm_set1_epi32(static_cast<int>(256 - pick.f));
                __m128i a = _mm_madd_epi16(c0, g), b = _mm_madd_epi16(c1, f);
                __m128i mixed = _mm_add_epi32(_mm_add_epi32(a, b), _mm_set1_epi32(128));
                return PackLanes(_mm_srli_epi32(mixed, 8));
            }
        }
    }
#endif
    uint32_t c0 = SampleLevel32(t, pick.level, pick.filter, u, v);
    if (pick.f == 0)
        return c0;
    return Lerp2(c0, SampleLevel32(t, pick.level + 1, pick.filter, u, v), pick.f);
}

// Marks a pick whose levels SamplePicked filters in vector lanes: a linear filter on a level
// that wraps by mask, and, where two levels blend, on a next level that does too.
inline void ResolveLanes(const Sampler32& t, MipPick* pick) {
#if defined(__SSE2__)
    if (t.none || !IsLinearFilter(pick->filter))
        return;
    const Level32& l0 = t.levels[std::clamp(pick->level, 0, t.levelCount - 1)];
    if (!Masked(l0))
        return;
    if (pick->f == 0) {
        pick->first = &l0;
        return;
    }
    const Level32& l1 = t.levels[std::clamp(pick->level + 1, 0, t.levelCount - 1)];
    if (!Masked(l1))
        return;
    pick->first = &l0;
    pick->second = &l1;
#else
    (void)t;
    (void)pick;
#endif
}

#if defined(__SSE2__)
// The texel coordinate of four lanes along one axis of size `size` in 1/256 texels, as
// TapsMasked works it out: (u size - 0.5) 256 + 0.5 in double, NaN to 0, clamped to +-2^30,
// floored.
[[gnu::always_inline]] inline __m128i TapCoordinates4(const float* c, double size) {
    const __m128 f = _mm_loadu_ps(c);
    auto floored = [&](__m128d t) {
        t = _mm_add_pd(_mm_mul_pd(_mm_sub_pd(_mm_mul_pd(t, _mm_set1_pd(size)), _mm_set1_pd(0.5)),
                                  _mm_set1_pd(256.0)),
                       _mm_set1_pd(0.5));
        t = _mm_and_pd(t, _mm_cmpord_pd(t, t));
        t = _mm_min_pd(_mm_max_pd(t, _mm_set1_pd(-1073741824.0)), _mm_set1_pd(1073741824.0));
        __m128i i = _mm_cvttpd_epi32(t);
        __m128i down = _mm_castpd_si128(_mm_cmpgt_pd(_mm_cvtepi32_pd(i), t));
        return _mm_add_epi32(i, _mm_shuffle_epi32(down, _MM_SHUFFLE(3, 3, 2, 0)));
    };
    return _mm_unpacklo_epi64(floored(_mm_cvtps_pd(f)), floored(_mm_cvtps_pd(_mm_movehl_ps(f, f))));
}

// Each lane's 16-bit weight four times over, for lanes 0 and 1 (low) or 2 and 3 (high).
[[gnu::always_inline]] inline __m128i WeightsLow(__m128i w) {
    const __m128i w16 = _mm_packs_epi32(w, w);
    const __m128i pairs = _mm_unpacklo_epi16(w16, w16);
    return _mm_unpacklo_epi32(pairs, pairs);
}
[[gnu::always_inline]] inline __m128i WeightsHigh(__m128i w) {
    const __m128i w16 = _mm_packs_epi32(w, w);
    const __m128i pairs = _mm_unpacklo_epi16(w16, w16);
    return _mm_unpackhi_epi32(pairs, pairs);
}

// Bilinear2 of two pixels' corners (eight channels in 16-bit lanes each) with their weights:
// along the rows in 16 bits, down in 32, rounded; the two pixels' channels in 16-bit lanes.
[[gnu::always_inline]] inline __m128i BilinearPair(__m128i c00, __m128i c10, __m128i c01,
                                                   __m128i c11, __m128i gx, __m128i fx, __m128i gy,
                                                   __m128i fy) {
    const __m128i row0 = _mm_add_epi16(_mm_mullo_epi16(c00, gx), _mm_mullo_epi16(c10, fx));
    const __m128i row1 = _mm_add_epi16(_mm_mullo_epi16(c01, gx), _mm_mullo_epi16(c11, fx));
    const __m128i lo0 = _mm_mullo_epi16(row0, gy), hi0 = _mm_mulhi_epu16(row0, gy);
    const __m128i lo1 = _mm_mullo_epi16(row1, fy), hi1 = _mm_mulhi_epu16(row1, fy);
    const __m128i half = _mm_set1_epi32(32768);
    __m128i first = _mm_add_epi32(_mm_unpacklo_epi16(lo0, hi0), _mm_unpacklo_epi16(lo1, hi1));
    __m128i second = _mm_add_epi32(_mm_unpackhi_epi16(lo0, hi0), _mm_unpackhi_epi16(lo1, hi1));
    first = _mm_srli_epi32(_mm_add_epi32(first, half), 16);
    second = _mm_srli_epi32(_mm_add_epi32(second, half), 16);
    return _mm_packs_epi32(first, second);
}

// BilinearLanes(TapsMasked(l, u, v)) of four lanes, packed: the taps worked out four lanes at a
// time, the texels read lane by lane, the sums two pixels a step.
[[gnu::always_inline]] inline __m128i Bilinear4(const Level32& l, const float* u, const float* v) {
    const __m128i tu = TapCoordinates4(u, static_cast<double>(l.width));
    const __m128i tv = TapCoordinates4(v, static_cast<double>(l.height));
    const __m128i byte = _mm_set1_epi32(255), one = _mm_set1_epi32(1);
    const __m128i maskU = _mm_set1_epi32(l.wrapU.mask), maskV = _mm_set1_epi32(l.wrapV.mask);
    const __m128i x0 = _mm_srai_epi32(tu, 8), y0 = _mm_srai_epi32(tv, 8);
    alignas(16) int32_t cols0[4], cols1[4], rows0[4], rows1[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(cols0), _mm_slli_epi32(_mm_and_si128(x0, maskU), 2));
    _mm_store_si128(reinterpret_cast<__m128i*>(cols1),
                    _mm_slli_epi32(_mm_and_si128(_mm_add_epi32(x0, one), maskU), 2));
    _mm_store_si128(reinterpret_cast<__m128i*>(rows0), _mm_and_si128(y0, maskV));
    _mm_store_si128(reinterpret_cast<__m128i*>(rows1),
                    _mm_and_si128(_mm_add_epi32(y0, one), maskV));
    alignas(16) uint32_t c[4][4];  // c00, c10, c01, c11 of each lane
    for (int i = 0; i < 4; ++i) {
        const uint8_t* r0 = l.bits + static_cast<intptr_t>(rows0[i]) * l.pitch;
        const uint8_t* r1 = l.bits + static_cast<intptr_t>(rows1[i]) * l.pitch;
        c[0][i] = LoadTexel(r0 + cols0[i]) | l.alphaOr;
        c[1][i] = LoadTexel(r0 + cols1[i]) | l.alphaOr;
        c[2][i] = LoadTexel(r1 + cols0[i]) | l.alphaOr;
        c[3][i] = LoadTexel(r1 + cols1[i]) | l.alphaOr;
    }
    const __m128i fx = _mm_and_si128(tu, byte), fy = _mm_and_si128(tv, byte);
    const __m128i full = _mm_set1_epi16(256);
    const __m128i fxLow = WeightsLow(fx), fxHigh = WeightsHigh(fx);
    const __m128i fyLow = WeightsLow(fy), fyHigh = WeightsHigh(fy);
    const __m128i zero = _mm_setzero_si128();
    __m128i corner[4];
    for (int k = 0; k < 4; ++k)
        corner[k] = _mm_load_si128(reinterpret_cast<const __m128i*>(c[k]));
    auto low = [&](int k) { return _mm_unpacklo_epi8(corner[k], zero); };
    auto high = [&](int k) { return _mm_unpackhi_epi8(corner[k], zero); };
    const __m128i first = BilinearPair(low(0), low(1), low(2), low(3), _mm_sub_epi16(full, fxLow),
                                       fxLow, _mm_sub_epi16(full, fyLow), fyLow);
    const __m128i second =
        BilinearPair(high(0), high(1), high(2), high(3), _mm_sub_epi16(full, fxHigh), fxHigh,
                     _mm_sub_epi16(full, fyHigh), fyHigh);
    return _mm_packus_epi16(first, second);
}

// (c0 (256 - f) + c1 f + 128) >> 8 per channel of four packed pixels, f per lane.
[[gnu::always_inline]] inline __m128i MipBlend4(__m128i c0, __m128i c1, __m128i f) {
    const __m128i zero = _mm_setzero_si128(), round = _mm_set1_epi16(128);
    const __m128i g = _mm_sub_epi32(_mm_set1_epi32(256), f);
    auto mix = [&](__m128i a, __m128i b, __m128i ga, __m128i fb) {
        __m128i sum = _mm_add_epi16(_mm_mullo_epi16(a, ga), _mm_mullo_epi16(b, fb));
        return _mm_srli_epi16(_mm_add_epi16(sum, round), 8);
    };
    const __m128i first =
        mix(_mm_unpacklo_epi8(c0, zero), _mm_unpacklo_epi8(c1, zero), WeightsLow(g), WeightsLow(f));
    const __m128i second = mix(_mm_unpackhi_epi8(c0, zero), _mm_unpackhi_epi8(c1, zero),
                               WeightsHigh(g), WeightsHigh(f));
    return _mm_packus_epi16(first, second);
}
#endif

// SamplePicked of four lanes (those in `active`; the others get white): where every active
// lane's pick is resolved onto one level (and, where they blend, one next level), the four are
// filtered together, the others lane by lane.
inline void SamplePicked4(const Sampler32& t, const MipPick* picks, const float* u, const float* v,
                          unsigned active, uint32_t* out) {
#if defined(__SSE2__)
    const Level32* first = nullptr;
    const Level32* second = nullptr;
    // With fewer than three lanes live, four lanes' work costs more than theirs alone.
    bool together = !t.none && __builtin_popcount(active) >= 3;
    for (int l = 0; l < 4 && together; ++l) {
        if (!(active & (1u << l)))
            continue;
        const MipPick& p = picks[l];
        // One first level makes one next level: its neighbour.
        together = p.first != nullptr && (first == nullptr || p.first == first);
        first = p.first;
        second = p.second != nullptr ? p.second : second;
    }
    if (together) {
        __m128i c = Bilinear4(*first, u, v);
        if (second != nullptr) {
            // A lane that keeps to one level has f 0: its first level's texel.
            alignas(16) int32_t f[4] = {};
            for (int l = 0; l < 4; ++l) {
                if (active & (1u << l))
                    f[l] = static_cast<int32_t>(picks[l].f);
            }
            c = MipBlend4(c, Bilinear4(*second, u, v),
                          _mm_load_si128(reinterpret_cast<const __m128i*>(f)));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), c);
        return;
    }
#endif
    for (int l = 0; l < 4; ++l)
        out[l] = (active & (1u << l)) ? SamplePicked(t, picks[l], u[l], v[l]) : 0xFFFFFFFFu;
}

// SampleRaster's rules on 32-bit levels.
[[gnu::always_inline]] inline uint32_t Sample32(const Sampler32& t, float u, float v, float lod) {
    if (t.none)
        return 0xFFFFFFFFu;
    return SamplePicked(t, PickMip(t, lod), u, v);
}

bool IsArg(uint32_t arg, uint32_t select) {
    return arg == select;  // no modifier bits
}
bool IsDiffuseArg(uint32_t arg) {
    return IsArg(arg, kTaDiffuse) || IsArg(arg, kTaCurrent);  // CURRENT is DIFFUSE at stage 0
}

// A stage after the first that hands the current colour and alpha on as they
// are: the 3D models' second stage, which multiplies the alpha by the texture
// factor's (an exact identity at 255, as DivRound255(a * 255) is a).
bool PassesCurrentOn(const RasterStageProgram::Stage& st, uint32_t textureFactor) {
    if (st.usesTexture || st.resultToTemp)
        return false;
    const auto selectsCurrent = [](uint32_t op, uint32_t arg1, uint32_t arg2) {
        return (op == kTopSelectArg1 && IsArg(arg1, kTaCurrent)) ||
               (op == kTopSelectArg2 && IsArg(arg2, kTaCurrent));
    };
    if (!selectsCurrent(st.colorOp, st.colorArg1, st.colorArg2))
        return false;
    if (st.alphaOp == kTopDisable || selectsCurrent(st.alphaOp, st.alphaArg1, st.alphaArg2))
        return true;
    const bool byOpaqueFactor =
        (textureFactor >> 24) == 255 &&
        ((IsArg(st.alphaArg1, kTaCurrent) && IsArg(st.alphaArg2, kTaTFactor)) ||
         (IsArg(st.alphaArg1, kTaTFactor) && IsArg(st.alphaArg2, kTaCurrent)));
    return st.alphaOp == kTopModulate && byOpaqueFactor;
}

}  // namespace

void SampleLanes32(const Sampler32& t, const float* u, const float* v, const float* lod, int lanes,
                   uint32_t active, uint32_t* out) {
    if (t.none) {
        for (int l = 0; l < lanes; ++l)
            out[l] = 0xFFFFFFFFu;
        return;
    }
    // Lanes of one 2x2 block share their level of detail, and so their pick.
    constexpr int kMaxLanes = 32;
    lanes = std::min(lanes, kMaxLanes);
    uint32_t pickedBits = 0;
    bool picked = false;
    MipPick pick, picks[kMaxLanes];
    for (int l = 0; l < lanes; ++l) {
        if (!(active & (1u << l)))
            continue;
        uint32_t bits;
        std::memcpy(&bits, &lod[l], 4);
        if (!picked || bits != pickedBits) {
            pick = PickMip(t, lod[l]);
            ResolveLanes(t, &pick);
            pickedBits = bits;
            picked = true;
        }
        picks[l] = pick;
    }
    int l = 0;
    for (; l + 4 <= lanes; l += 4)
        SamplePicked4(t, picks + l, u + l, v + l, (active >> l) & 15, out + l);
    for (; l < lanes; ++l) {
        if (active & (1u << l))
            out[l] = SamplePicked(t, picks[l], u[l], v[l]);
    }
}

namespace {

AxisWrap WrapFor(uint32_t mode, int32_t size) {
    bool wrap = mode != kAddressMirror && mode != kAddressClamp && mode != kAddressBorder &&
                mode != kAddressMirrorOnce;  // unknown modes wrap
    bool powerOfTwo = size > 0 && (size & (size - 1)) == 0;
    return {mode, wrap && powerOfTwo ? size - 1 : 0};
}

bool IsArgbLevel(const RasterSurface& l) {
    return l.format == kFmtA8R8G8B8 || l.format == kFmtX8R8G8B8;
}

}  // namespace

bool CompileSampler32(const RasterSampler& sm, Sampler32* t) {
    t->sampler = &sm;
    const RasterTexture* tex = sm.texture;
    t->none = tex == nullptr || tex->levelCount <= 0;
    if (t->none)
        return true;
    t->levelCount = std::min(tex->levelCount, kRasterMaxLevels);
    for (int i = 0; i < t->levelCount; ++i) {
        const RasterSurface& l = tex->levels[i];
        Level32& out = t->levels[i];
        out.valid = l.width > 0 && l.height > 0 && l.bits != nullptr;
        if (out.valid && !IsArgbLevel(l))
            return false;
        out.bits = l.bits;
        out.width = l.width;
        out.height = l.height;
        out.pitch = l.pitch;
        out.alphaOr = l.format == kFmtX8R8G8B8 ? 0xFF000000u : 0u;
        out.wrapU = WrapFor(sm.addressU, l.width);
        out.wrapV = WrapFor(sm.addressV, l.height);
    }
    return true;
}

bool CompileShadedPlan(const DrawSetup& s, ShadedPlan* plan) {
    if (!s.write.direct || s.fillMode != kFillSolid)
        return false;
    for (int i = 0; i < s.program.stageCount; ++i) {
        if (!s.needTexture[i])
            continue;
        if (!CompileSampler32(s.samplers[i], &plan->samplers[i]))
            return false;
        plan->lodStage[i] = s.samplers[i].needsLod;
        plan->lodSet[i] = s.texSet[i] < kRasterTexCoordSets ? static_cast<int>(s.texSet[i]) : 0;
        plan->anyLod = plan->anyLod || plan->lodStage[i];
    }
    const RasterStageProgram& p = s.program;
    const RasterStageProgram::Stage& st = p.stages[0];
    const bool oneStage =
        p.stageCount == 1 || (p.stageCount == 2 && PassesCurrentOn(p.stages[1], p.textureFactor));
    bool modulate = oneStage && st.usesTexture && !st.resultToTemp && st.colorOp == kTopModulate &&
                    ((IsArg(st.colorArg1, kTaTexture) && IsDiffuseArg(st.colorArg2)) ||
                     (IsDiffuseArg(st.colorArg1) && IsArg(st.colorArg2, kTaTexture)));
    if (!modulate)
        return true;
    if (st.alphaOp == kTopSelectArg1 && IsArg(st.alphaArg1, kTaTexture)) {
        plan->alphaFrom = ShadedPlan::AlphaFrom::kTexture;
    } else if (st.alphaOp == kTopSelectArg2 && IsArg(st.alphaArg2, kTaTexture)) {
        plan->alphaFrom = ShadedPlan::AlphaFrom::kTexture;
    } else if (st.alphaOp == kTopDisable ||
               (st.alphaOp == kTopSelectArg1 && IsDiffuseArg(st.alphaArg1)) ||
               (st.alphaOp == kTopSelectArg2 && IsDiffuseArg(st.alphaArg2))) {
        plan->alphaFrom = ShadedPlan::AlphaFrom::kDiffuse;
    } else if (st.alphaOp == kTopModulate &&
               ((IsArg(st.alphaArg1, kTaTexture) && IsDiffuseArg(st.alphaArg2)) ||
                (IsDiffuseArg(st.alphaArg1) && IsArg(st.alphaArg2, kTaTexture)))) {
        plan->alphaFrom = ShadedPlan::AlphaFrom::kProduct;
    } else {
        return true;
    }
    plan->combine = ShadedPlan::Combine::kModulate;
    return true;
}

namespace {

inline int32_t FogMix(int32_t a, int32_t b, int32_t alpha) {
    return (a * alpha + b * (255 - alpha) + 127) / 255;
}

// Everything one row of one triangle needs, its planes placed on the row.
struct RowState {
    RowPlane rhw, z;
    RowPlane diffuse[4], specular[4];
    RowPlane u[kRasterTexCoordSets], v[kRasterTexCoordSets], q[kRasterTexCoordSets];
    // Perspective triangles: b y + c of their float planes.
    float frhw;
    float fdiffuse[4], fspecular[4];
    float fu[kRasterTexCoordSets], fv[kRasterTexCoordSets], fq[kRasterTexCoordSets];
};

// The levels of detail of the 2x2 blocks of a pair of rows, worked out at the first pixel of
// a block that needs one and kept for the other three. A stamp per block column says whether
// its values belong to the current pair of rows of the current triangle.
struct BlockLodCache {
    std::vector<uint32_t> stamps;
    std::vector<MipPick> values;  // kRasterStageCount per block column
    uint32_t current = 0;

    void StartPair(int32_t width) {
        size_t columns = static_cast<size_t>(width / 2 + 1);
        if (stamps.size() < columns) {
            stamps.assign(columns, 0);
            values.resize(columns * kRasterStageCount);
        }
        if (++current == 0) {
            std::fill(stamps.begin(), stamps.end(), 0);
            current = 1;
        }
    }
};

// The pixels px = left..right of row py: the per-pixel path's ShadeAndWrite, fed as
// RasterTriangleRows feeds it.
// A pixel's colours as RasterTriangleRows interpolates them, and its vertex fog factor.
struct PixelColours {
    RasterColor diffuse, specular;
    int32_t fogAlpha;
};

template <bool kGouraud>
[[gnu::always_inline]] inline void PerspectiveColours(const DrawSetup& s, const Triangle& t,
                                                      const RowState& r, float x, float w,
                                                      PixelColours* c) {
    if constexpr (kGouraud) {
        const FloatPlane* p = t.fplanes;
        auto channel = [&](int k, float row) { return RoundChannelF(AtRow(p[k], x, row) * w); };
        const float* d = r.fdiffuse;
        c->diffuse = {channel(kAttrDiffuse, d[0]), channel(kAttrDiffuse + 1, d[1]),
                      channel(kAttrDiffuse + 2, d[2]), channel(kAttrDiffuse + 3, d[3])};
        if (s.program.usesSpecular) {
            const float* sp = r.fspecular;
            c->specular = {channel(kAttrSpecular, sp[0]), channel(kAttrSpecular + 1, sp[1]),
                           channel(kAttrSpecular + 2, sp[2]), channel(kAttrSpecular + 3, sp[3])};
            c->fogAlpha = c->specular.a;
        } else if (s.fog == FogSource::kVertex) {
            c->fogAlpha = channel(kAttrSpecular + 3, r.fspecular[3]);
        }
    }
}

template <bool kGouraud>
[[gnu::always_inline]] inline void InterpolateColours(const DrawSetup& s, const RowState& r,
                                                      double x, double wp, PixelColours* c) {
    if constexpr (kGouraud) {
        const RowPlane* d = r.diffuse;
        c->diffuse = {RoundChannel(d[0].At(x) * wp), RoundChannel(d[1].At(x) * wp),
                      RoundChannel(d[2].At(x) * wp), RoundChannel(d[3].At(x) * wp)};
        if (s.program.usesSpecular) {
            const RowPlane* sp = r.specular;
            c->specular = {RoundChannel(sp[0].At(x) * wp), RoundChannel(sp[1].At(x) * wp),
                           RoundChannel(sp[2].At(x) * wp), RoundChannel(sp[3].At(x) * wp)};
            c->fogAlpha = c->specular.a;
        } else if (s.fog == FogSource::kVertex) {
            c->fogAlpha = RoundChannel(r.specular[3].At(x) * wp);
        }
    }
}

// Each set's coordinates at a pixel: U / D as doubles (for the level of detail), 1 / D, and as
// the floats the sampler takes.
struct PixelCoordinates {
    double u[kRasterTexCoordSets], v[kRasterTexCoordSets], inverse[kRasterTexCoordSets];
    float fu[kRasterTexCoordSets] = {}, fv[kRasterTexCoordSets] = {};
};

[[gnu::always_inline]] inline void InterpolateCoordinates(const DrawSetup& s, const RowState& r,
                                                          double x, double wp,
                                                          PixelCoordinates* c) {
    for (int set = 0; set < kRasterTexCoordSets; ++set) {
        if (!s.texSetUsed[set])
            continue;
        double inverse = wp;
        if (s.texProjected[set]) {
            double q = r.q[set].At(x);
            inverse = q != 0.0 ? 1.0 / q : 0.0;
        }
        c->inverse[set] = inverse;
        c->u[set] = r.u[set].At(x) * inverse;
        c->v[set] = r.v[set].At(x) * inverse;
        c->fu[set] = static_cast<float>(c->u[set]);
        c->fv[set] = static_cast<float>(c->v[set]);
    }
}

// Each set's coordinates at a pixel of a perspective triangle.
[[gnu::always_inline]] inline void PerspectiveCoordinates(const DrawSetup& s, const Triangle& t,
                                                          const RowState& r, float x, float w,
                                                          PixelCoordinates* c) {
    for (int set = 0; set < kRasterTexCoordSets; ++set) {
        if (!s.texSetUsed[set])
            continue;
        float inverse = w;
        if (s.texProjected[set])
            inverse = InverseOr0(AtRow(t.fplanes[kAttrTexQ + set], x, r.fq[set]));
        c->fu[set] = AtRow(t.fplanes[kAttrTex + 2 * set], x, r.fu[set]) * inverse;
        c->fv[set] = AtRow(t.fplanes[kAttrTex + 2 * set + 1], x, r.fv[set]) * inverse;
    }
}

// The level of detail of stage i at a pixel, as CoordinatesAt and LodFor give it: du/dx =
// (U.a - u D.a) / D with u first rounded to float, D the plane of q, of rhw or none.
template <bool kPerspective>
[[gnu::always_inline]] inline float LevelOfDetail(const DrawSetup& s, const ShadedPlan& plan,
                                                  const Triangle& t, const RowState& r, double x,
                                                  double wp, const PixelCoordinates& c, int i) {
    int set = plan.lodSet[i];
    const Plane& pu = t.planes[kAttrTex + 2 * set];
    const Plane& pv = t.planes[kAttrTex + 2 * set + 1];
    const Plane* den = nullptr;
    double inverse = wp;
    double u, v;
    if (s.texSetUsed[set]) {
        inverse = c.inverse[set];
        u = c.u[set], v = c.v[set];
    } else {
        // A stage reading a set beyond the vertex's: set 0, which no stage samples.
        if (s.texProjected[set]) {
            double q = r.q[set].At(x);
            inverse = q != 0.0 ? 1.0 / q : 0.0;
        }
        u = r.u[set].At(x) * inverse, v = r.v[set].At(x) * inverse;
    }
    if (s.texProjected[set])
        den = &t.planes[kAttrTexQ + set];
    else if (kPerspective)
        den = &t.planes[kAttrRhw];
    double dudx = pu.a, dudy = pu.b, dvdx = pv.a, dvdy = pv.b;
    if (den != nullptr) {
        double fu = static_cast<float>(u), fv = static_cast<float>(v);
        dudx = (pu.a - fu * den->a) * inverse;
        dudy = (pu.b - fu * den->b) * inverse;
        dvdx = (pv.a - fv * den->a) * inverse;
        dvdy = (pv.b - fv * den->b) * inverse;
    }
    return static_cast<float>(LodFor(dudx, dvdx, dudy, dvdy, *s.samplers[i].texture));
}

// Stage 0's texel times the diffuse colour, with the alpha the plan says, plus specular.
[[gnu::always_inline]] inline RasterColor Modulate(const DrawSetup& s, const ShadedPlan& plan,
                                                   uint32_t texel, const PixelColours& pc) {
    const RasterColor& d = pc.diffuse;
    int32_t ta = static_cast<int32_t>(texel >> 24);
    RasterColor c;
    c.r = DivRound255(static_cast<int32_t>((texel >> 16) & 255) * d.r);
    c.g = DivRound255(static_cast<int32_t>((texel >> 8) & 255) * d.g);
    c.b = DivRound255(static_cast<int32_t>(texel & 255) * d.b);
    switch (plan.alphaFrom) {
        case ShadedPlan::AlphaFrom::kTexture:
            c.a = ta;
            break;
        case ShadedPlan::AlphaFrom::kDiffuse:
            c.a = d.a;
            break;
        default:
            c.a = DivRound255(ta * d.a);
            break;
    }
    if (s.program.specularAdd) {
        c.r = std::min(255, c.r + pc.specular.r);
        c.g = std::min(255, c.g + pc.specular.g);
        c.b = std::min(255, c.b + pc.specular.b);
    }
    return c;
}

// Stage i's texel at a pixel.
[[gnu::always_inline]] inline uint32_t StageTexel(const DrawSetup& s, const ShadedPlan& plan,
                                                  const PixelCoordinates& c, const MipPick* picks,
                                                  int i) {
    uint32_t set = s.texSet[i];
    float u = set < kRasterTexCoordSets ? c.fu[set] : 0.0f;
    float v = set < kRasterTexCoordSets ? c.fv[set] : 0.0f;
    return SamplePicked(plan.samplers[i], picks[i], u, v);
}

// The stage program's result at a pixel.
[[gnu::always_inline]] inline RasterColor Combine(const DrawSetup& s, const ShadedPlan& plan,
                                                  const PixelCoordinates& c, const MipPick* picks,
                                                  const PixelColours& pc) {
    if (plan.combine == ShadedPlan::Combine::kModulate)
        return Modulate(s, plan, StageTexel(s, plan, c, picks, 0), pc);
    RasterColor textures[kRasterStageCount];
    for (int i = 0; i < s.program.stageCount; ++i) {
        if (s.needTexture[i])
            textures[i] = ColorFromArgb(StageTexel(s, plan, c, picks, i));
    }
    return RunStageProgram(s.program, textures, pc.diffuse, pc.specular);
}

// Vertex or table fog, after the stages.
[[gnu::always_inline]] inline void Fog(const DrawSetup& s, const RowState& r, double x, float z,
                                       int32_t fogAlpha, RasterColor* c) {
    int32_t alpha = fogAlpha;
    if (s.fog == FogSource::kTable) {
        double d = z;
        if (s.fogFromW) {
            double q = r.rhw.At(x);
            d = static_cast<float>(q != 0.0 ? 1.0 / q : 0.0);
        }
        alpha = TableFogAlpha(s, d);
    }
    c->r = FogMix(c->r, s.fogColor.r, alpha);
    c->g = FogMix(c->g, s.fogColor.g, alpha);
    c->b = FogMix(c->b, s.fogColor.b, alpha);
}

// Where row py of the target starts: its depth values (null without a depth
// test), each depthBytes wide, and its colour.
struct RowTarget {
    uint32_t depthFormat;
    int depthBytes;
    uint8_t* depthRow;
    uint32_t* out;
};

[[gnu::always_inline]] inline RowTarget RowTargetOf(const DrawSetup& s, int32_t py) {
    const uint32_t depthFormat = s.target.depth.format;
    uint8_t* depthRow = s.depthTest
                            ? s.target.depth.bits + static_cast<intptr_t>(py) * s.target.depth.pitch
                            : nullptr;
    uint32_t* out = reinterpret_cast<uint32_t*>(s.target.color.bits +
                                                static_cast<intptr_t>(py) * s.target.color.pitch);
    return {depthFormat, depthFormat == kFmtD16 ? 2 : 4, depthRow, out};
}

// The pixels px = left..right of row py: the per-pixel path's ShadeAndWrite, fed as
// RasterTriangleRows feeds it.
template <bool kPerspective, bool kGouraud>
void ShadeRow(const DrawSetup& s, const ShadedPlan& plan, const Triangle& t, const RowState& r,
              int32_t py, int64_t left, int64_t right, BlockLodCache* blocks) {
    const auto [depthFormat, depthBytes, depthRow, out] = RowTargetOf(s, py);
    const WriteMode& w = s.write;
    PixelColours colours = {t.flatDiffuse, t.flatSpecular, t.flatSpecular.a};
    PixelCoordinates coordinates;
    // Stages without a level of detail keep one pick along the row.
    MipPick picks[kRasterStageCount];
    for (int i = 0; i < s.program.stageCount; ++i) {
        if (s.needTexture[i] && !plan.samplers[i].none)
            picks[i] = PickMip(plan.samplers[i], 0.0f);
    }
    const int lodStages = plan.anyLod ? s.program.stageCount : 0;
    for (int64_t px = left; px <= right; ++px) {
        const double x = static_cast<double>(px);
        const double wp = 1.0;
        float fw = 1.0f;
        if constexpr (kPerspective)
            fw = InverseOr0(AtRow(t.fplanes[kAttrRhw], static_cast<float>(px), r.frhw));
        const float z = static_cast<float>(r.z.At(x));
        uint32_t depth = 0;
        uint8_t* depthAt = nullptr;
        if (s.depthTest) {
            depth = QuantizeDepth(depthFormat, z + s.depthBias + t.slopeBias);
            depthAt = depthRow + depthBytes * px;
            if (!RasterCompare(s.zFunc, depth, LoadDepth(depthFormat, depthAt)))
                continue;
        }
        if constexpr (kPerspective) {
            const float fx = static_cast<float>(px);
            PerspectiveColours<kGouraud>(s, t, r, fx, fw, &colours);
            if (s.anyTexture) {
                PerspectiveCoordinates(s, t, r, fx, fw, &coordinates);
                if (lodStages != 0) {
                    const size_t column = static_cast<size_t>(px >> 1);
                    MipPick* values = &blocks->values[column * kRasterStageCount];
                    if (blocks->stamps[column] != blocks->current) {
                        blocks->stamps[column] = blocks->current;
                        for (int i = 0; i < lodStages; ++i) {
                            if (plan.lodStage[i] && !plan.samplers[i].none) {
                                values[i] = PickMip(
                                    plan.samplers[i],
                                    PerspectiveLod(s, t, plan.lodSet[i], *s.samplers[i].texture,
                                                   static_cast<int32_t>(px), py));
                            }
                        }
                    }
                    for (int i = 0; i < lodStages; ++i) {
                        if (plan.lodStage[i])
                            picks[i] = values[i];
                    }
                }
            }
        } else {
            InterpolateColours<kGouraud>(s, r, x, wp, &colours);
            if (s.anyTexture) {
                InterpolateCoordinates(s, r, x, wp, &coordinates);
                for (int i = 0; i < lodStages; ++i) {
                    if (plan.lodStage[i] && !plan.samplers[i].none) {
                        picks[i] = PickMip(
                            plan.samplers[i],
                            LevelOfDetail<kPerspective>(s, plan, t, r, x, wp, coordinates, i));
                    }
                }
            }
        }
        RasterColor c = Combine(s, plan, coordinates, picks, colours);
        if (s.alphaTest && !RasterCompare(s.alphaFunc, static_cast<uint32_t>(c.a), s.alphaRef))
            continue;
        if (s.depthWrite)
            StoreDepth(depthFormat, depthAt, depth);
        if (s.fog != FogSource::kNone)
            Fog(s, r, x, z, colours.fogAlpha, &c);
        uint32_t colour = ArgbFromColor(c);
        uint32_t* dst = out + px;
        if (w.blendOff)
            *dst = colour | w.targetOr;
        else
            *dst = BlendQuadPixel(w.blend, colour, *dst | w.targetOr) | w.targetOr;
    }
}

#if defined(__SSE2__)
// Four lanes of the single-precision rule and of the modulate program; every step is the
// scalar step lane by lane, so the pixels are ShadeRow's.

// (a b + 127) / 255 for channels of at most 255 (the products fit the low 16 bits).
inline __m128i MulRound255(__m128i a, __m128i b) {
    return Div255(_mm_add_epi32(_mm_mullo_epi16(a, b), _mm_set1_epi32(127)));
}

inline __m128i ChannelOf(__m128i argb, int shift) {
    return _mm_and_si128(_mm_srli_epi32(argb, shift), _mm_set1_epi32(255));
}

// The mip picks of stage 0 at the blocks of row py that pixels left..right fall in and that
// the pair of rows has not met yet, four blocks a step, so that no pixel waits on its block's
// level of detail.
void FillBlockPicks(const DrawSetup& s, const ShadedPlan& plan, const Triangle& t, int32_t py,
                    int64_t left, int64_t right, BlockLodCache* blocks) {
    const Sampler32& sampler = plan.samplers[0];
    const RasterTexture& tex = *s.samplers[0].texture;
    const int set = plan.lodSet[0];
    const float by = static_cast<float>(py & ~1);
    const int64_t last = right >> 1;
    alignas(16) float lods[4];
    for (int64_t c0 = left >> 1; c0 <= last; c0 += 4) {
        const int64_t end = std::min(c0 + 3, last);
        bool fresh = false;
        for (int64_t c = c0; c <= end; ++c)
            fresh = fresh || blocks->stamps[static_cast<size_t>(c)] != blocks->current;
        if (!fresh)
            continue;
        const __m128 x = _mm_mul_ps(
            _mm_add_ps(_mm_set1_ps(static_cast<float>(c0)), _mm_set_ps(3.0f, 2.0f, 1.0f, 0.0f)),
            _mm_set1_ps(2.0f));
        _mm_store_ps(lods, PerspectiveLodLanes(t, set, tex, x, by));
        for (int64_t c = c0; c <= end; ++c) {
            const size_t column = static_cast<size_t>(c);
            if (blocks->stamps[column] == blocks->current)
                continue;
            blocks->stamps[column] = blocks->current;
            MipPick& pick = blocks->values[column * kRasterStageCount];
            pick = PickMip(sampler, lods[c - c0]);
            ResolveLanes(sampler, &pick);
        }
    }
}

// The pixels left..right of row py of a perspective Gouraud triangle whose program is stage
// 0's texture times the diffuse colour (plus specular), reading an unprojected set, with
// vertex fog or none: ShadeRow<true, true> four pixels at a time.
void ShadeRowModulate4(const DrawSetup& s, const ShadedPlan& plan, const Triangle& t,
                       const RowState& r, int32_t py, int64_t left, int64_t right,
                       BlockLodCache* blocks) {
    const auto [depthFormat, depthBytes, depthRow, out] = RowTargetOf(s, py);
    const WriteMode& w = s.write;
    const Sampler32& sampler = plan.samplers[0];
    const int set = static_cast<int>(s.texSet[0]);
    const bool lod = plan.lodStage[0] && !sampler.none;
    MipPick pick;
    if (!sampler.none) {
        pick = PickMip(sampler, 0.0f);
        ResolveLanes(sampler, &pick);
    }
    const bool specular = s.program.specularAdd;
    const bool vertexFog = s.fog == FogSource::kVertex;
    const FloatPlane* p = t.fplanes;
    const __m128 steps = _mm_set_ps(3.0f, 2.0f, 1.0f, 0.0f);
    alignas(16) float us[4], vs[4];
    alignas(16) uint32_t texels[4] = {}, colours[4];
    uint32_t depths[4];
    MipPick picks[4];
    // D16 and D24X8 depths are worked out four at a time.
    double depthScale = 0.0;
    if (s.depthTest && depthFormat == kFmtD16)
        depthScale = 65535.0;
    else if (s.depthTest && depthFormat == kFmtD24X8)
        depthScale = 16777215.0;
    if (lod)
        FillBlockPicks(s, plan, t, py, left, right, blocks);
    for (int64_t x0 = left; x0 <= right; x0 += 4) {
        const int n = static_cast<int>(std::min<int64_t>(4, right - x0 + 1));
        const __m128 x = _mm_add_ps(_mm_set1_ps(static_cast<float>(x0)), steps);
        __m128 q = PlaneLanes(p[kAttrRhw], x, r.frhw);
        __m128 wl =
            _mm_and_ps(_mm_div_ps(_mm_set1_ps(1.0f), q), _mm_cmpneq_ps(q, _mm_setzero_ps()));
        _mm_store_ps(us, _mm_mul_ps(PlaneLanes(p[kAttrTex + 2 * set], x, r.fu[set]), wl));
        _mm_store_ps(vs, _mm_mul_ps(PlaneLanes(p[kAttrTex + 2 * set + 1], x, r.fv[set]), wl));
        unsigned active = 0;
        if (depthScale != 0.0)
            DepthLanes(r.z, x0, s.depthBias, t.slopeBias, depthScale, depths);
        for (int l = 0; l < n; ++l) {
            const int64_t px = x0 + l;
            if (s.depthTest) {
                if (depthScale == 0.0) {
                    const float z = static_cast<float>(r.z.At(static_cast<double>(px)));
                    depths[l] = QuantizeDepth(depthFormat, z + s.depthBias + t.slopeBias);
                }
                if (!RasterCompare(s.zFunc, depths[l],
                                   LoadDepth(depthFormat, depthRow + depthBytes * px)))
                    continue;
            }
            active |= 1u << l;
            if (lod) {
                const size_t column = static_cast<size_t>(px >> 1);
                MipPick* values = &blocks->values[column * kRasterStageCount];
                if (blocks->stamps[column] != blocks->current) {
                    blocks->stamps[column] = blocks->current;
                    values[0] = PickMip(sampler,
                                        PerspectiveLod(s, t, plan.lodSet[0], *s.samplers[0].texture,
                                                       static_cast<int32_t>(px), py));
                }
                pick = values[0];
            }
            picks[l] = pick;
        }
        if (active == 0)
            continue;
        SamplePicked4(sampler, picks, us, vs, active, texels);
        auto colour = [&](int k, float row) {
            return RoundChannels(_mm_mul_ps(PlaneLanes(p[k], x, row), wl));
        };
        const __m128i texel = _mm_load_si128(reinterpret_cast<const __m128i*>(texels));
        const __m128i ta = _mm_srli_epi32(texel, 24);
        __m128i cr = MulRound255(ChannelOf(texel, 16), colour(kAttrDiffuse, r.fdiffuse[0]));
        __m128i cg = MulRound255(ChannelOf(texel, 8), colour(kAttrDiffuse + 1, r.fdiffuse[1]));
        __m128i cb = MulRound255(ChannelOf(texel, 0), colour(kAttrDiffuse + 2, r.fdiffuse[2]));
        __m128i ca = ta;
        if (plan.alphaFrom != ShadedPlan::AlphaFrom::kTexture) {
            __m128i da = colour(kAttrDiffuse + 3, r.fdiffuse[3]);
            ca = plan.alphaFrom == ShadedPlan::AlphaFrom::kDiffuse ? da : MulRound255(ta, da);
        }
        __m128i fogAlpha = _mm_setzero_si128();
        if (specular) {
            const __m128i top = _mm_set1_epi32(255);
            cr = _mm_min_epi16(top, _mm_add_epi32(cr, colour(kAttrSpecular, r.fspecular[0])));
            cg = _mm_min_epi16(top, _mm_add_epi32(cg, colour(kAttrSpecular + 1, r.fspecular[1])));
            cb = _mm_min_epi16(top, _mm_add_epi32(cb, colour(kAttrSpecular + 2, r.fspecular[2])));
        }
        if (vertexFog) {
            fogAlpha = colour(kAttrSpecular + 3, r.fspecular[3]);
            cr = FogMixLanes(cr, fogAlpha, s.fogColor.r);
            cg = FogMixLanes(cg, fogAlpha, s.fogColor.g);
            cb = FogMixLanes(cb, fogAlpha, s.fogColor.b);
        }
        // The alpha test reads the colour before fog, which leaves alpha alone.
        __m128i argb = _mm_or_si128(_mm_or_si128(_mm_slli_epi32(ca, 24), _mm_slli_epi32(cr, 16)),
                                    _mm_or_si128(_mm_slli_epi32(cg, 8), cb));
        _mm_store_si128(reinterpret_cast<__m128i*>(colours), argb);
        for (int l = 0; l < n; ++l) {
            if (!(active & (1u << l)))
                continue;
            const int64_t px = x0 + l;
            if (s.alphaTest && !RasterCompare(s.alphaFunc, colours[l] >> 24, s.alphaRef))
                continue;
            if (s.depthWrite)
                StoreDepth(depthFormat, depthRow + depthBytes * px, depths[l]);
            uint32_t* dst = out + px;
            if (w.blendOff)
                *dst = colours[l] | w.targetOr;
            else
                *dst = BlendQuadPixel(w.blend, colours[l], *dst | w.targetOr) | w.targetOr;
        }
    }
}

// Whether a perspective triangle's rows fit ShadeRowModulate4.
bool FitsModulate4(const DrawSetup& s, const ShadedPlan& plan, const Triangle& t) {
    if (!t.perspective || s.flat || plan.combine != ShadedPlan::Combine::kModulate)
        return false;
    if (s.fog == FogSource::kTable || s.texSet[0] >= kRasterTexCoordSets)
        return false;
    const uint32_t set = s.texSet[0];
    return s.texSetUsed[set] && !s.texProjected[set];
}
#endif

// b y + c of the float planes a perspective triangle's pixels read on row y.
void PerspectiveRow(const DrawSetup& s, const Triangle& t, float y, RowState* r) {
    r->frhw = RowOf(t.fplanes[kAttrRhw], y);
    for (int c = 0; c < 4; ++c) {
        if (s.planeUsed[kAttrDiffuse + c])
            r->fdiffuse[c] = RowOf(t.fplanes[kAttrDiffuse + c], y);
        if (s.planeUsed[kAttrSpecular + c])
            r->fspecular[c] = RowOf(t.fplanes[kAttrSpecular + c], y);
    }
    for (int set = 0; set < kRasterTexCoordSets; ++set) {
        if (s.texSetUsed[set]) {
            r->fu[set] = RowOf(t.fplanes[kAttrTex + 2 * set], y);
            r->fv[set] = RowOf(t.fplanes[kAttrTex + 2 * set + 1], y);
        }
        if (s.planeUsed[kAttrTexQ + set])
            r->fq[set] = RowOf(t.fplanes[kAttrTexQ + set], y);
    }
}

}  // namespace

void RasterShadedSpans(const DrawSetup& s, const ShadedPlan& plan, const Triangle& t,
                       int32_t bandTop, int32_t bandBottom) {
    int32_t top = std::max(t.top, bandTop);
    int32_t bottom = std::min(t.bottom, bandBottom - 1);
    auto row = t.perspective ? (s.flat ? ShadeRow<true, false> : ShadeRow<true, true>)
                             : (s.flat ? ShadeRow<false, false> : ShadeRow<false, true>);
#if defined(__SSE2__)
    if (FitsModulate4(s, plan, t))
        row = ShadeRowModulate4;
#endif
    RowState r{};
    thread_local BlockLodCache blocks;
    int32_t pair = -1;
    for (int32_t py = top; py <= bottom; ++py) {
        int64_t left, right;
        if (!ClippedTriangleSpan(t, s.clip, py, &left, &right))
            continue;
        if (left > right)
            continue;
        if (t.perspective && plan.anyLod && (py & ~1) != pair) {
            pair = py & ~1;
            blocks.StartPair(s.clip.right);
        }
        double y = py;
        if (t.perspective)
            PerspectiveRow(s, t, static_cast<float>(py), &r);
        r.rhw = OnRow(t.planes[kAttrRhw], y);
        r.z = OnRow(t.planes[kAttrZ], y);
        if (t.perspective) {  // the rest in single precision
            row(s, plan, t, r, py, left, right, &blocks);
            continue;
        }
        for (int c = 0; c < 4; ++c) {
            if (s.planeUsed[kAttrDiffuse + c])
                r.diffuse[c] = OnRow(t.planes[kAttrDiffuse + c], y);
            if (s.planeUsed[kAttrSpecular + c])
                r.specular[c] = OnRow(t.planes[kAttrSpecular + c], y);
        }
        for (int set = 0; set < kRasterTexCoordSets; ++set) {
            if (s.planeUsed[kAttrTex + 2 * set]) {
                r.u[set] = OnRow(t.planes[kAttrTex + 2 * set], y);
                r.v[set] = OnRow(t.planes[kAttrTex + 2 * set + 1], y);
            }
            if (s.planeUsed[kAttrTexQ + set])
                r.q[set] = OnRow(t.planes[kAttrTexQ + set], y);
        }
        row(s, plan, t, r, py, left, right, &blocks);
    }
}

}  // namespace platform::raster_internal
