// The whole-quad kernels in two forms each: portable C++ and AVX2, chosen once per process
// (the test switch keeps to the portable forms). Routes:
// - DrawQuadTexels and DrawBilinearQuad: a quad whose tint leaves no alpha under a blend that
//   then keeps the target (a layer faded out) only ORs in the target's X bits, reading no texel.
// - DrawQuadTexels: each texel ORed, tinted (a mask when every tint channel is 0 or 255, else
//   a multiply) and ORed again; the alpha test as a lane mask (eight failing pixels skip the
//   rest); then copy (a repeated texel row without a test copied from the target row above)
//   or one of the three blends (AVX2, eight pixels a step; all-transparent steps, and
//   all-opaque ones under SRCALPHA / INVSRCALPHA, skip the arithmetic; alpha spread with one
//   byte shuffle, division by 255 as mulhi(x + 128, 257); ADD and REVSUBTRACT by saturating
//   byte adds and subtracts; multiply and invert by one rounded product a channel). Columns:
//   contiguous (plain loads), within eight texels a run (one load and a permutation), or anything
//   else (gathers).
// - BilinearHorizontal / BilinearVertical: the two passes of a bilinear stretch, eight pixels
//   a step (taps within eight texels of the step's first by a load and a permutation, others
//   by gathers; madd for the vertical weights).
// - DrawBilinearQuad: the two passes and the quad kernel's tint, test and blend fused, eight
//   pixels a step kept in registers from the vertical weights to the store (the two weighed
//   texel rows in a pair of buffers); a row's last part steps back over the step before. The
//   horizontal pass notes the steps whose texels are all clear; a step clear in both rows
//   skips the weighing under the blends that keep the target at alpha 0 (ClearSteps).
// - SpanTexelOffsetsInside: a turned span's texel offsets, four pixels a step in doubles.
// - LinearTapsAlong: a quad's linear taps along an axis, four pixels a step in doubles.
// - LinearSpanSamples: a turned span's linear samples, four pixels a step: the taps in doubles,
//   the four texels by gathers, both weighings in 16-bit words (madd for the vertical one, each
//   pixel with its own weights); steps with a tap off the level (but under CLAMP), and the
//   last part, pixel by pixel.
// - DrawLinearSpans: LinearSpanSamples and the quad kernel's tint, test and blend fused over a
//   turned triangle's spans, eight pixels a step, set up once a triangle; each span's two ends
//   tell whether its taps need the clamp and NaN guards and the edge checks (the mapping keeps
//   order along a span); texel pairs by 64-bit gathers; a last part's lanes stand on the
//   span's last pixel and go through lane masks.
// - DrawQuadTexels and DrawBilinearQuad ask for the target's lines (and the quad kernel for the
//   texels' too) a few rows ahead (RowsAhead): a quad's rows lie a pitch apart, often a page
//   or more, and a target last drawn a frame ago has left the caches, so each row would start
//   with misses the processor's own prefetch learns from only after several.
// Non-temporal stores were tried for large copies and left out: the 4.9 MB target of a
// 1280x960 stretch stays in the last-level cache, which plain stores use and they bypass.
// A row's last part (under eight pixels) is a step of its own through lane masks, but in
// DrawBilinearQuad.
// Not here: depth, stage programs other than a tint, 16-bit formats, border texels, other
// blends; the caller routes those draws to the per-pixel path.
#include "platform/d3d9/raster_kernels.h"

#include "platform/d3d9/raster_pixel.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace platform {
namespace {

std::atomic<bool> g_vectorKernels{true};

// ---------------------------------------------------------------------------------------------
// Portable forms

bool Tinted(const QuadTexels& q) {
    return q.tint != 0xFFFFFFFFu;
}

bool Tested(const QuadTexels& q) {
    return q.alphaFunc >= kCmpNever && q.alphaFunc < kCmpAlways;
}

// A repeated texel row copies the target row above only where every pixel is written alike.
bool RowsRepeat(const QuadTexels& q) {
    return q.blend == QuadBlend::kCopy && !Tested(q);
}

// Does every pixel of the quad reach the blend with alpha 0, under a blend that then leaves
// the target (SRCALPHA / INVSRCALPHA gives round(255 d / 255) = d, ADD and REVSUBTRACT d +- 0)?
// A tint with no alpha and no constant alpha bits: a layer faded out wholly.
bool SeeThrough(const QuadTexels& q) {
    bool leaves = q.blend == QuadBlend::kSrcAlpha || q.blend == QuadBlend::kAdd ||
                  q.blend == QuadBlend::kRevSubtract;
    return leaves && Tinted(q) && (q.tint >> 24) == 0 && (q.constant >> 24) == 0;
}

// What a see-through quad writes: every pixel that passes the alpha test (alpha 0 passes for
// all or for none) gets the target's X bits, and nothing else changes.
void SeeThroughQuad(const QuadTexels& q) {
    if (q.targetOr == 0 || (Tested(q) && !RasterCompare(q.alphaFunc, 0, q.alphaRef)))
        return;
    for (int32_t y = 0; y < q.height; ++y) {
        uint32_t* out = q.out + y * q.outPitch;
        for (int32_t x = 0; x < q.width; ++x)
            out[x] |= q.targetOr;
    }
}

void QuadTexelsPortable(const QuadTexels& q) {
    bool tinted = Tinted(q);
    bool tested = Tested(q);
    for (int32_t y = 0; y < q.height; ++y) {
        uint32_t* out = q.out + y * q.outPitch;
        const uint32_t* row = q.texRows[y];
        for (int32_t x = 0; x < q.width; ++x) {
            uint32_t texel = row[q.cols != nullptr ? q.cols[x] : q.col0 + x] | q.alphaOr;
            if (tinted)
                texel = TintTexel(texel, q.tint);
            texel |= q.constant;
            if (tested && !RasterCompare(q.alphaFunc, texel >> 24, q.alphaRef))
                continue;
            out[x] = BlendQuadPixel(q.blend, texel, out[x] | q.targetOr) | q.targetOr;
        }
    }
}

void BilinearHorizontalPortable(uint16_t* h, const uint32_t* row, const int32_t* first,
                                const int32_t* second, const uint16_t* fx, int32_t width,
                                uint32_t alphaOr) {
    for (int32_t i = 0; i < width; ++i) {
        uint32_t c0 = row[first[i]] | alphaOr;
        uint32_t c1 = row[second[i]] | alphaOr;
        uint32_t w = fx[4 * i];
        for (int c = 0; c < 4; ++c) {
            uint32_t a = (c0 >> (8 * c)) & 255;
            uint32_t b = (c1 >> (8 * c)) & 255;
            // Kept biased by 0x8000, as the vertical pass reads it.
            h[4 * i + c] = static_cast<uint16_t>((a * (256 - w) + b * w) ^ 0x8000u);
        }
    }
}

void BilinearVerticalPortable(uint32_t* out, const uint16_t* h0, const uint16_t* h1, uint32_t fy,
                              int32_t width, uint32_t targetOr) {
    for (int32_t i = 0; i < width; ++i) {
        uint32_t pixel = 0;
        for (int c = 0; c < 4; ++c) {
            uint32_t a = h0[4 * i + c] ^ 0x8000u;
            uint32_t b = h1[4 * i + c] ^ 0x8000u;
            pixel |= ((a * (256 - fy) + b * fy + 32768) >> 16) << (8 * c);
        }
        out[i] = pixel | targetOr;
    }
}

// The texel rows a bilinear quad has weighed, two kept: a quad's target rows read texel rows
// in order, each (but at the ends) by two target rows or more.
class WeighedRows {
  public:
    // Each slot holds the entries' four channels, then a word a step of eight entries for the
    // vector kernel's note of clear steps (BilinearHorizontalAvx2).
    WeighedRows(const BilinearQuad& q, int32_t entries) : q_(q) {
        std::vector<uint16_t>* slots = Slots();
        for (int slot = 0; slot < 2; ++slot)
            slots[slot].resize(static_cast<size_t>(entries) * 4 + static_cast<size_t>(entries) / 8);
    }
    // Texel row texelRow weighed by weigh(h, row), keeping the row keep where it is held.
    template <typename Weigh>
    const uint16_t* Get(int32_t texelRow, int32_t keep, Weigh weigh) {
        std::vector<uint16_t>* slots = Slots();
        for (int slot = 0; slot < 2; ++slot) {
            if (held_[slot] == texelRow)
                return slots[slot].data();
        }
        int slot = held_[0] == keep ? 1 : 0;
        weigh(slots[slot].data(),
              reinterpret_cast<const uint32_t*>(q_.texels + texelRow * q_.texelPitch));
        held_[slot] = texelRow;
        return slots[slot].data();
    }

  private:
    static std::vector<uint16_t>* Slots() {
        thread_local std::vector<uint16_t> slots[2];
        return slots;
    }
    const BilinearQuad& q_;
    int32_t held_[2] = {-1, -1};
};

void BilinearQuadPortable(const BilinearQuad& q) {
    const int32_t width = q.writer.width;
    const int32_t entries = BilinearSteps(width) * 8;
    WeighedRows weighed(q, entries);
    auto weigh = [&](uint16_t* h, const uint32_t* row) {
        BilinearHorizontalPortable(h, row, q.first, q.second, q.fx, entries, q.alphaOr);
    };
    thread_local std::vector<uint32_t> stepped, filtered;
    stepped.resize(static_cast<size_t>(entries));
    filtered.resize(static_cast<size_t>(width));
    const uint32_t* filteredRow = filtered.data();
    QuadTexels row = q.writer;
    row.texRows = &filteredRow;
    row.cols = nullptr;
    row.col0 = 0;
    row.height = 1;
    row.rowLength = width;
    for (int32_t y = 0; y < q.writer.height; ++y) {
        const LinearTaps& r = q.rows[y];
        const uint16_t* h0 = weighed.Get(r.first, r.second, weigh);
        const uint16_t* h1 = weighed.Get(r.second, r.first, weigh);
        BilinearVerticalPortable(stepped.data(), h0, h1, r.weight, entries, 0);
        for (int32_t i = 0; i < entries; ++i) {
            int32_t x = BilinearStepColumn(i / 8, width) + i % 8;
            if (x < width)
                filtered[x] = stepped[i];
        }
        row.out = q.writer.out + y * q.writer.outPitch;
        QuadTexelsPortable(row);
    }
}

void SpanTexelOffsetsPortable(int32_t* out, int64_t left, int32_t n, const SpanMapping& m) {
    for (int32_t i = 0; i < n; ++i) {
        double x = static_cast<double>(left + i);
        float u = static_cast<float>(m.ua * x + m.uy + m.uc);
        float v = static_cast<float>(m.va * x + m.vy + m.vc);
        // Non-negative here, so truncation is floor.
        out[i] = static_cast<int32_t>(static_cast<double>(v) * m.height) * m.pitch +
                 static_cast<int32_t>(static_cast<double>(u) * m.width);
    }
}

uint32_t LinearSpanSample(const LinearSpan& m, int64_t px) {
    double x = static_cast<double>(px);
    float u = static_cast<float>(m.ua * x + m.uy + m.uc);
    float v = static_cast<float>(m.va * x + m.vy + m.vc);
    LinearTaps cols = LinearTapsFor(u, m.width, m.addressU);
    LinearTaps rows = LinearTapsFor(v, m.height, m.addressV);
    auto fetch = [&](int32_t tx, int32_t ty) {
        if (tx < 0 || ty < 0)
            return m.borderColor;
        uint32_t texel;
        std::memcpy(&texel, m.texels + (static_cast<intptr_t>(ty) * m.pitch + tx) * 4, 4);
        return texel | m.alphaOr;
    };
    return BilinearCombine(fetch(cols.first, rows.first), fetch(cols.second, rows.first),
                           fetch(cols.first, rows.second), fetch(cols.second, rows.second),
                           cols.weight, rows.weight);
}

void LinearSpanSamplesPortable(uint32_t* out, int64_t left, int32_t n, const LinearSpan& m) {
    for (int32_t i = 0; i < n; ++i)
        out[i] = LinearSpanSample(m, left + i);
}

// One span of a turned triangle's rows: its samples into a row, then the quad kernel's
// portable form over it.
void LinearSpansPortable(const LinearSpans& q) {
    thread_local std::vector<uint32_t> samples;
    for (int32_t i = 0; i < q.rowCount; ++i) {
        const LinearSpanRow& r = q.rows[i];
        LinearSpan m = q.sampling;
        m.uy = r.uy;
        m.vy = r.vy;
        samples.resize(static_cast<size_t>(r.count));
        LinearSpanSamplesPortable(samples.data(), r.left, r.count, m);
        const uint32_t* row = samples.data();
        QuadTexels k = q.writer;
        k.out = q.writer.out + r.y * q.writer.outPitch + r.left;
        k.texRows = &row;
        k.cols = nullptr;
        k.col0 = 0;
        k.width = r.count;
        k.height = 1;
        k.rowLength = r.count;
        QuadTexelsPortable(k);
    }
}

void LinearTapsAlongPortable(LinearTaps* out, double a0, double step, int32_t first, int32_t count,
                             int32_t size, uint32_t mode) {
    for (int32_t i = 0; i < count; ++i)
        out[i] = LinearTapsFor(static_cast<float>(a0 + step * (first + i)), size, mode);
}

#if defined(__x86_64__)
// ---------------------------------------------------------------------------------------------
// AVX2 forms

// Eight blended pixels: one byte shuffle spreads each pixel's alpha over its four 16-bit
// channels; x = s a + d (255 - a) + 128 never passes 16 bits; mulhi by 257 divides by 255.
const char kSpreadAlpha[32] = {6, -1, 6, -1, 6, -1, 6, -1, 14, -1, 14, -1, 14, -1, 14, -1,
                               6, -1, 6, -1, 6, -1, 6, -1, 14, -1, 14, -1, 14, -1, 14, -1};

__attribute__((target("avx2"))) inline __m256i BlendEight(__m256i s, __m256i d) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i ff = _mm256_set1_epi16(255);
    const __m256i half = _mm256_set1_epi16(128);
    const __m256i by257 = _mm256_set1_epi16(257);
    const __m256i spread = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kSpreadAlpha));
    __m256i sLo = _mm256_unpacklo_epi8(s, zero);
    __m256i sHi = _mm256_unpackhi_epi8(s, zero);
    __m256i dLo = _mm256_unpacklo_epi8(d, zero);
    __m256i dHi = _mm256_unpackhi_epi8(d, zero);
    __m256i aLo = _mm256_shuffle_epi8(sLo, spread);
    __m256i aHi = _mm256_shuffle_epi8(sHi, spread);
    __m256i xLo = _mm256_add_epi16(_mm256_mullo_epi16(sLo, aLo),
                                   _mm256_mullo_epi16(dLo, _mm256_sub_epi16(ff, aLo)));
    __m256i xHi = _mm256_add_epi16(_mm256_mullo_epi16(sHi, aHi),
                                   _mm256_mullo_epi16(dHi, _mm256_sub_epi16(ff, aHi)));
    xLo = _mm256_mulhi_epu16(_mm256_add_epi16(xLo, half), by257);
    xHi = _mm256_mulhi_epu16(_mm256_add_epi16(xHi, half), by257);
    return _mm256_packus_epi16(xLo, xHi);
}

// round(x k / 255) on each byte of eight pixels, kLo and kHi the factors of the low and high
// four bytes of each 64-bit half as 16-bit words (x k + 128 never passes 16 bits).
__attribute__((target("avx2"))) inline __m256i MulDiv255(__m256i x, __m256i kLo, __m256i kHi) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i half = _mm256_set1_epi16(128);
    const __m256i by257 = _mm256_set1_epi16(257);
    __m256i lo = _mm256_mullo_epi16(_mm256_unpacklo_epi8(x, zero), kLo);
    __m256i hi = _mm256_mullo_epi16(_mm256_unpackhi_epi8(x, zero), kHi);
    lo = _mm256_mulhi_epu16(_mm256_add_epi16(lo, half), by257);
    hi = _mm256_mulhi_epu16(_mm256_add_epi16(hi, half), by257);
    return _mm256_packus_epi16(lo, hi);
}

// Each channel of eight pixels times its pixel's alpha, divided by 255 with rounding.
__attribute__((target("avx2"))) inline __m256i ScaleEightBySrcAlpha(__m256i s) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i spread = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kSpreadAlpha));
    __m256i aLo = _mm256_shuffle_epi8(_mm256_unpacklo_epi8(s, zero), spread);
    __m256i aHi = _mm256_shuffle_epi8(_mm256_unpackhi_epi8(s, zero), spread);
    return MulDiv255(s, aLo, aHi);
}

// All ones in the pixels whose alpha passes the test.
__attribute__((target("avx2"))) inline __m256i AlphaPassEight(__m256i s, uint32_t func,
                                                              __m256i ref) {
    const __m256i ones = _mm256_set1_epi32(-1);
    __m256i a = _mm256_srli_epi32(s, 24);
    switch (func) {
        case kCmpNever:
            return _mm256_setzero_si256();
        case kCmpLess:
            return _mm256_cmpgt_epi32(ref, a);
        case kCmpEqual:
            return _mm256_cmpeq_epi32(a, ref);
        case kCmpLessEqual:
            return _mm256_xor_si256(_mm256_cmpgt_epi32(a, ref), ones);
        case kCmpGreater:
            return _mm256_cmpgt_epi32(a, ref);
        case kCmpNotEqual:
            return _mm256_xor_si256(_mm256_cmpeq_epi32(a, ref), ones);
        case kCmpGreaterEqual:
            return _mm256_xor_si256(_mm256_cmpgt_epi32(ref, a), ones);
        default:
            return ones;
    }
}

// Listed columns read as one unaligned load and a lane permutation where a run of eight
// columns lies within eight texels from its first (any enlargement does) and the load stays
// inside the row: the columns before the first run that does not.
int32_t PermutedColumns(const QuadTexels& q) {
    int32_t x = 0;
    for (; x + 8 <= q.width; x += 8) {
        int32_t base = q.cols[x];
        if (base < 0 || base + 8 > q.rowLength)
            return x;
        for (int j = 1; j < 8; ++j) {
            int32_t offset = q.cols[x + j] - base;
            if (offset < 0 || offset > 7)
                return x;
        }
    }
    return x;
}

// What turns eight texels into eight target pixels, set up once a quad: the texel's OR, the
// tint (a mask when every channel is 0 or 255, else a multiply), the constant bits, the alpha
// test and the target's X bits.
struct EightWriter {
    __m256i alphaOr, constant, targetOr, alphaRef, alphaMask, tintAnd, tintWords;
    bool tinted, maskTint, tested;
    uint32_t alphaFunc;
};

__attribute__((target("avx2"))) inline EightWriter MakeEightWriter(const QuadTexels& q) {
    EightWriter w;
    w.alphaOr = _mm256_set1_epi32(static_cast<int>(q.alphaOr));
    w.constant = _mm256_set1_epi32(static_cast<int>(q.constant));
    w.targetOr = _mm256_set1_epi32(static_cast<int>(q.targetOr));
    w.alphaRef = _mm256_set1_epi32(static_cast<int>(q.alphaRef));
    w.alphaMask = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    w.tinted = Tinted(q);
    uint32_t tintMask = 0xFFFFFFFFu;
    w.maskTint = true;
    for (int shift = 0; w.tinted && shift < 32; shift += 8) {
        uint32_t k = (q.tint >> shift) & 255;
        w.maskTint = w.maskTint && (k == 0 || k == 255);
        if (k != 255)
            tintMask &= ~(255u << shift);
    }
    w.tested = Tested(q);
    w.alphaFunc = q.alphaFunc;
    w.tintAnd = _mm256_set1_epi32(static_cast<int>(tintMask));
    w.tintWords = _mm256_setzero_si256();
    if (w.tinted && !w.maskTint) {
        w.tintWords = _mm256_unpacklo_epi8(_mm256_set1_epi32(static_cast<int>(q.tint)),
                                           _mm256_setzero_si256());
    }
    return w;
}

// Eight texels s over the eight target pixels old: false when none passes the alpha test (the
// target stays), else the pixels to store in *result (failing ones as they were).
template <QuadBlend kBlend>
__attribute__((target("avx2"))) inline bool FinishEight(const EightWriter& w, __m256i s,
                                                        __m256i old, __m256i* result) {
    s = _mm256_or_si256(s, w.alphaOr);
    if (w.tinted) {
        s = w.maskTint ? _mm256_and_si256(s, w.tintAnd) : MulDiv255(s, w.tintWords, w.tintWords);
    }
    s = _mm256_or_si256(s, w.constant);
    __m256i pass = _mm256_set1_epi32(-1);
    if (w.tested) {
        pass = AlphaPassEight(s, w.alphaFunc, w.alphaRef);
        if (_mm256_testz_si256(pass, pass))
            return false;
    }
    __m256i out;
    if constexpr (kBlend == QuadBlend::kCopy) {
        out = s;
    } else if constexpr (kBlend == QuadBlend::kSrcAlpha || kBlend == QuadBlend::kAdd ||
                         kBlend == QuadBlend::kRevSubtract) {
        __m256i d = _mm256_or_si256(old, w.targetOr);
        // Eight transparent texels leave the target (but for the X bits an X8R8G8B8 target
        // gets); for SRCALPHA / INVSRCALPHA eight opaque ones replace it. These checks cost
        // less than the blend they save, mispredicted sprite edges included (measured).
        if (_mm256_testz_si256(s, w.alphaMask)) {
            out = d;
        } else if constexpr (kBlend == QuadBlend::kSrcAlpha) {
            out = _mm256_testc_si256(s, w.alphaMask) ? s : BlendEight(s, d);
        } else if constexpr (kBlend == QuadBlend::kAdd) {
            out = _mm256_adds_epu8(d, ScaleEightBySrcAlpha(s));
        } else {
            out = _mm256_subs_epu8(d, ScaleEightBySrcAlpha(s));
        }
    } else if constexpr (kBlend == QuadBlend::kMultiply || kBlend == QuadBlend::kInvert) {
        __m256i d = _mm256_or_si256(old, w.targetOr);
        const __m256i zero = _mm256_setzero_si256();
        if constexpr (kBlend == QuadBlend::kMultiply) {
            out = MulDiv255(d, _mm256_unpacklo_epi8(s, zero), _mm256_unpackhi_epi8(s, zero));
        } else {
            __m256i inverse = _mm256_xor_si256(d, _mm256_set1_epi32(-1));
            out = MulDiv255(s, _mm256_unpacklo_epi8(inverse, zero),
                            _mm256_unpackhi_epi8(inverse, zero));
        }
    }
    out = _mm256_or_si256(out, w.targetOr);
    if (w.tested)
        out = _mm256_blendv_epi8(old, out, pass);
    *result = out;
    return true;
}

// How many rows ahead of the one drawn a kernel asks for the target's (and the texels') cache
// lines: about 512 pixels ahead, so that they arrive before the kernel reaches them. Measured
// on the game's frame: with other work sharing the caches its 512-pixel layer onto a
// 1024-pixel-wide target took up to 2.5 times longer without; on a quiet machine the gain is
// small.
inline int32_t RowsAhead(int32_t width) {
    return std::clamp(512 / std::max(width, 1), 1, 8);
}

// Asks for the cache line holding p (no fault for any address).
__attribute__((target("avx2"))) inline void Prefetch(const void* p) {
    _mm_prefetch(static_cast<const char*>(p), _MM_HINT_T0);
}

template <QuadBlend kBlend, bool kListed>
__attribute__((target("avx2"))) void QuadTexelsAvx2(const QuadTexels& q) {
    const EightWriter w = MakeEightWriter(q);
    int32_t permuted = kListed ? PermutedColumns(q) : 0;
    const int32_t ahead = RowsAhead(q.width);
    for (int32_t y = 0; y < q.height; ++y) {
        uint32_t* out = q.out + y * q.outPitch;
        const uint32_t* row = q.texRows[y];
        // The row ahead's target and texels, or this row's again near the end.
        const int32_t yAhead = y + ahead < q.height ? y + ahead : y;
        const uint32_t* outAhead = q.out + yAhead * q.outPitch;
        const uint32_t* rowAhead = q.texRows[yAhead];
        // A copy of the texel row the row above copied is that row again.
        if (RowsRepeat(q) && y > 0 && row == q.texRows[y - 1]) {
            std::memcpy(out, out - q.outPitch, static_cast<size_t>(q.width) * 4);
            continue;
        }
        const uint32_t* run = row + q.col0;
        // Whole steps of eight; the row's last part is a step of its own, its texels copied
        // out first and the target read and written through a lane mask.
        for (int32_t x = 0; x < q.width; x += 8) {
            const int32_t left = q.width - x;
            Prefetch(outAhead + x);
            Prefetch(rowAhead + (kListed ? q.cols[x] : q.col0 + x));
            __m256i s;
            __m256i lanes = _mm256_set1_epi32(-1);
            if (left < 8) {
                alignas(32) uint32_t part[8] = {};
                for (int32_t j = 0; j < left; ++j)
                    part[j] = kListed ? row[q.cols[x + j]] : run[x + j];
                s = _mm256_load_si256(reinterpret_cast<const __m256i*>(part));
                lanes = _mm256_cmpgt_epi32(_mm256_set1_epi32(left),
                                           _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
            } else if constexpr (kListed) {
                __m256i index = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q.cols + x));
                if (x < permuted) {
                    int32_t base = q.cols[x];
                    s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + base));
                    s = _mm256_permutevar8x32_epi32(
                        s, _mm256_sub_epi32(index, _mm256_set1_epi32(base)));
                } else {
                    s = _mm256_i32gather_epi32(reinterpret_cast<const int*>(row), index, 4);
                }
            } else {
                s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(run + x));
            }
            __m256i* dst = reinterpret_cast<__m256i*>(out + x);
            __m256i old = left < 8
                              ? _mm256_maskload_epi32(reinterpret_cast<const int*>(out + x), lanes)
                              : _mm256_loadu_si256(dst);
            __m256i result;
            if (!FinishEight<kBlend>(w, s, old, &result))
                continue;
            if (left < 8) {
                _mm256_maskstore_epi32(reinterpret_cast<int*>(out + x), lanes, result);
            } else {
                _mm256_storeu_si256(dst, result);
            }
        }
    }
}

template <QuadBlend kBlend>
void QuadTexelsAvx2For(const QuadTexels& q) {
    q.cols != nullptr ? QuadTexelsAvx2<kBlend, true>(q) : QuadTexelsAvx2<kBlend, false>(q);
}

// Eight texels of a row by their indices: one unaligned load and a lane permutation where the
// eight lie within eight texels from the first and the load stays inside the row (any
// enlargement or same-size draw), a gather otherwise (gathers cost several times more).
__attribute__((target("avx2"))) inline __m256i EightTexels(const uint32_t* row,
                                                           const int32_t* indices,
                                                           int32_t rowLength) {
    const __m256i index = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(indices));
    const int32_t base = indices[0];
    if (base >= 0 && base <= rowLength - 8) {
        const __m256i offsets = _mm256_sub_epi32(index, _mm256_set1_epi32(base));
        if (_mm256_testz_si256(offsets, _mm256_set1_epi32(~7))) {
            const __m256i run = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + base));
            return _mm256_permutevar8x32_epi32(run, offsets);
        }
    }
    return _mm256_i32gather_epi32(reinterpret_cast<const int*>(row), index, 4);
}

// clear, when not null, gets a word a whole step of eight: 1 when all sixteen texels of the step
// (ORed with alphaOr) have alpha 0, so that every weighed alpha of the step is 0.
__attribute__((target("avx2"))) void BilinearHorizontalAvx2(uint16_t* h, const uint32_t* row,
                                                            const int32_t* first,
                                                            const int32_t* second,
                                                            const uint16_t* fx, int32_t width,
                                                            uint32_t alphaOr, int32_t rowLength,
                                                            uint16_t* clear = nullptr) {
    const __m256i alpha = _mm256_set1_epi32(static_cast<int>(alphaOr));
    const __m256i bias = _mm256_set1_epi16(static_cast<short>(0x8000));
    const __m256i alphaMask = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    int32_t i = 0;
    for (; i + 8 <= width; i += 8) {
        __m256i c0 = _mm256_or_si256(EightTexels(row, first + i, rowLength), alpha);
        __m256i c1 = _mm256_or_si256(EightTexels(row, second + i, rowLength), alpha);
        if (clear != nullptr)
            clear[i / 8] =
                static_cast<uint16_t>(_mm256_testz_si256(_mm256_or_si256(c0, c1), alphaMask));
        for (int half = 0; half < 2; ++half) {
            // Four pixels' channels in memory order, 16 bits each.
            __m256i a = _mm256_cvtepu8_epi16(half == 0 ? _mm256_castsi256_si128(c0)
                                                       : _mm256_extracti128_si256(c0, 1));
            __m256i b = _mm256_cvtepu8_epi16(half == 0 ? _mm256_castsi256_si128(c1)
                                                       : _mm256_extracti128_si256(c1, 1));
            __m256i w =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(fx + 4 * i + 16 * half));
            // a (256 - w) + b w = 256 a + (b - a) w, exact in 16 bits as it never passes 65280.
            __m256i sum = _mm256_add_epi16(_mm256_slli_epi16(a, 8),
                                           _mm256_mullo_epi16(_mm256_sub_epi16(b, a), w));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(h + 4 * i + 16 * half),
                                _mm256_xor_si256(sum, bias));
        }
    }
    if (i < width) {
        BilinearHorizontalPortable(h + 4 * i, row, first + i, second + i, fx + 4 * i, width - i,
                                   alphaOr);
    }
}

// Eight pixels of the vertical pass from eight pixels' weighed channels in each row.
__attribute__((target("avx2"))) inline __m256i VerticalEight(const uint16_t* h0, const uint16_t* h1,
                                                             __m256i weights) {
    const __m256i round = _mm256_set1_epi32(32768 * 256 + 32768);
    __m256i words[2];
    for (int half = 0; half < 2; ++half) {
        __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(h0 + 16 * half));
        __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(h1 + 16 * half));
        __m256i lo = _mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), weights);
        __m256i hi = _mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), weights);
        lo = _mm256_srli_epi32(_mm256_add_epi32(lo, round), 16);
        hi = _mm256_srli_epi32(_mm256_add_epi32(hi, round), 16);
        words[half] = _mm256_packus_epi32(lo, hi);  // back in memory order within lanes
    }
    __m256i bytes = _mm256_packus_epi16(words[0], words[1]);
    // packus interleaves the lanes of its two inputs: 64-bit quarters 0, 2, 1, 3.
    return _mm256_permute4x64_epi64(bytes, 0xD8);
}

// With h' = h - 32768 as a signed word: h0 (256 - fy) + h1 fy = madd(h', w) + 32768 * 256.
__attribute__((target("avx2"))) inline __m256i VerticalWeights(uint32_t fy) {
    return _mm256_set1_epi32(static_cast<int>((fy << 16) | (256 - fy)));
}

__attribute__((target("avx2"))) void BilinearVerticalAvx2(uint32_t* out, const uint16_t* h0,
                                                          const uint16_t* h1, uint32_t fy,
                                                          int32_t width, uint32_t targetOr) {
    const __m256i weights = VerticalWeights(fy);
    const __m256i targetOrV = _mm256_set1_epi32(static_cast<int>(targetOr));
    int32_t i = 0;
    for (; i + 8 <= width; i += 8) {
        __m256i bytes = VerticalEight(h0 + 4 * i, h1 + 4 * i, weights);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_or_si256(bytes, targetOrV));
    }
    if (i < width) {
        BilinearVerticalPortable(out + i, h0 + 4 * i, h1 + 4 * i, fy, width - i, targetOr);
    }
}

// A step whose texels in both weighed rows are all clear weighs to alpha 0 in every pixel. With
// no constant alpha after it, under a blend that then keeps the target, FinishEight gives the
// target with its X bits where the alpha test lets alpha 0 pass: that without the weighing (a
// sprite's clear margins are a third of the game's bullet steps).
struct ClearSteps {
    bool keep;      // clear steps keep the target (but for its X bits)
    bool write;     // ... and write the X bits in
    int32_t flags;  // where a weighed row's flags start (BilinearHorizontalAvx2's clear)
};

template <QuadBlend kBlend>
ClearSteps ClearStepsFor(const BilinearQuad& q, const EightWriter& w, int32_t entries) {
    ClearSteps c;
    c.keep = (kBlend == QuadBlend::kSrcAlpha || kBlend == QuadBlend::kAdd ||
              kBlend == QuadBlend::kRevSubtract) &&
             (q.writer.constant >> 24) == 0 && (q.writer.alphaOr >> 24) == 0;
    c.write =
        (!w.tested || RasterCompare(w.alphaFunc, 0, q.writer.alphaRef)) && q.writer.targetOr != 0;
    c.flags = 4 * entries;
    return c;
}

// Step k of two weighed rows over old: false when the target stays as it is.
template <QuadBlend kBlend>
__attribute__((target("avx2"))) inline bool BilinearEight(const EightWriter& w,
                                                          const ClearSteps& clear, int32_t k,
                                                          const uint16_t* h0, const uint16_t* h1,
                                                          __m256i weights, __m256i old,
                                                          __m256i* result) {
    if (clear.keep && (h0[clear.flags + k] & h1[clear.flags + k]) != 0) {
        *result = _mm256_or_si256(old, w.targetOr);
        return clear.write;
    }
    return FinishEight<kBlend>(w, VerticalEight(h0 + 32 * k, h1 + 32 * k, weights), old, result);
}

// The fused bilinear quad: a last part that steps back over the step before is worked out
// first, from the target as it was, and stored last, so that every pixel of the overlap gets
// the one value both steps compute for it.
template <QuadBlend kBlend>
__attribute__((target("avx2"))) void BilinearQuadAvx2(const BilinearQuad& q) {
    const EightWriter w = MakeEightWriter(q.writer);
    const int32_t width = q.writer.width;
    const int32_t steps = BilinearSteps(width);
    const int32_t entries = steps * 8;
    WeighedRows weighed(q, entries);
    auto weigh = [&](uint16_t* h, const uint32_t* row) {
        BilinearHorizontalAvx2(h, row, q.first, q.second, q.fx, entries, q.alphaOr, q.rowLength,
                               h + 4 * entries);
    };
    const ClearSteps clear = ClearStepsFor<kBlend>(q, w, entries);
    const bool masked = width < 8;
    const bool overlap = !masked && width % 8 != 0;
    const int32_t whole = overlap ? steps - 1 : steps;
    const __m256i lanes =
        _mm256_cmpgt_epi32(_mm256_set1_epi32(width), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
    const int32_t ahead = RowsAhead(width);
    for (int32_t y = 0; y < q.writer.height; ++y) {
        const LinearTaps& r = q.rows[y];
        const uint16_t* h0 = weighed.Get(r.first, r.second, weigh);
        const uint16_t* h1 = weighed.Get(r.second, r.first, weigh);
        const __m256i weights = VerticalWeights(r.weight);
        uint32_t* out = q.writer.out + y * q.writer.outPitch;
        // The target row ahead (the texels' rows are few and stay in the caches).
        if (y + ahead < q.writer.height) {
            const uint32_t* outAhead = out + ahead * q.writer.outPitch;
            for (int32_t x = 0; x < width; x += 16)
                Prefetch(outAhead + x);
            Prefetch(outAhead + width - 1);
        }
        __m256i result;
        if (masked) {
            __m256i old = _mm256_maskload_epi32(reinterpret_cast<const int*>(out), lanes);
            if (BilinearEight<kBlend>(w, clear, 0, h0, h1, weights, old, &result))
                _mm256_maskstore_epi32(reinterpret_cast<int*>(out), lanes, result);
            continue;
        }
        __m256i last = _mm256_setzero_si256();
        bool lastWritten = false;
        if (overlap) {
            const int32_t k = steps - 1;
            __m256i old = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(out + width - 8));
            lastWritten = BilinearEight<kBlend>(w, clear, k, h0, h1, weights, old, &last);
        }
        for (int32_t k = 0; k < whole; ++k) {
            __m256i* dst = reinterpret_cast<__m256i*>(out + 8 * k);
            __m256i old = _mm256_loadu_si256(dst);
            if (BilinearEight<kBlend>(w, clear, k, h0, h1, weights, old, &result))
                _mm256_storeu_si256(dst, result);
        }
        if (lastWritten)
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + width - 8), last);
    }
}

// Four pixels a step: the same multiplies and adds in doubles (no fused forms), the float
// rounding by cvtpd_ps (to nearest, as the cast) and truncation by cvttpd.
__attribute__((target("avx2"))) void SpanTexelOffsetsAvx2(int32_t* out, int64_t left, int32_t n,
                                                          const SpanMapping& m) {
    const __m256d ua = _mm256_set1_pd(m.ua), uy = _mm256_set1_pd(m.uy), uc = _mm256_set1_pd(m.uc);
    const __m256d va = _mm256_set1_pd(m.va), vy = _mm256_set1_pd(m.vy), vc = _mm256_set1_pd(m.vc);
    const __m256d w = _mm256_set1_pd(m.width), h = _mm256_set1_pd(m.height);
    const __m128i pitch = _mm_set1_epi32(m.pitch);
    const __m256d steps = _mm256_setr_pd(0.0, 1.0, 2.0, 3.0);
    for (int32_t i = 0; i < n; i += 4) {
        __m256d x = _mm256_add_pd(_mm256_set1_pd(static_cast<double>(left + i)), steps);
        __m256d u = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(ua, x), uy), uc);
        __m256d v = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(va, x), vy), vc);
        u = _mm256_mul_pd(_mm256_cvtps_pd(_mm256_cvtpd_ps(u)), w);
        v = _mm256_mul_pd(_mm256_cvtps_pd(_mm256_cvtpd_ps(v)), h);
        __m128i offsets =
            _mm_add_epi32(_mm_mullo_epi32(_mm256_cvttpd_epi32(v), pitch), _mm256_cvttpd_epi32(u));
        if (i + 4 <= n) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), offsets);
        } else {
            // The pixels past the span were worked out but are not stored.
            const __m128i lanes =
                _mm_cmpgt_epi32(_mm_set1_epi32(n - i), _mm_setr_epi32(0, 1, 2, 3));
            _mm_maskstore_epi32(out + i, lanes, offsets);
        }
    }
}

// t = floor((double(float(a0 + step x)) size - 0.5) 256 + 0.5), clamped to +-2^30 (NaN gives
// 0) as RasterFloorToIndex does, for four x at a time; then each tap pair from t.
__attribute__((target("avx2"))) void LinearTapsAlongAvx2(LinearTaps* out, double a0, double step,
                                                         int32_t first, int32_t count, int32_t size,
                                                         uint32_t mode) {
    const __m256d a = _mm256_set1_pd(a0), s = _mm256_set1_pd(step);
    const __m256d sizes = _mm256_set1_pd(static_cast<double>(size));
    const __m256d half = _mm256_set1_pd(0.5), scale = _mm256_set1_pd(256.0);
    const __m256d limit = _mm256_set1_pd(1073741824.0), lowLimit = _mm256_set1_pd(-1073741824.0);
    const __m256d steps = _mm256_setr_pd(0.0, 1.0, 2.0, 3.0);
    int32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        __m256d x = _mm256_add_pd(_mm256_set1_pd(static_cast<double>(first + i)), steps);
        __m256d u = _mm256_cvtps_pd(_mm256_cvtpd_ps(_mm256_add_pd(a, _mm256_mul_pd(s, x))));
        __m256d v =
            _mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(_mm256_mul_pd(u, sizes), half), scale), half);
        __m256d ordered = _mm256_cmp_pd(v, v, _CMP_ORD_Q);
        v = _mm256_max_pd(_mm256_min_pd(v, limit), lowLimit);
        v = _mm256_and_pd(_mm256_floor_pd(v), ordered);  // NaN lanes become +0
        alignas(16) int32_t t[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(t), _mm256_cvttpd_epi32(v));
        for (int k = 0; k < 4; ++k) {
            int32_t i0 = t[k] >> 8;
            LinearTaps& taps = out[i + k];
            taps.first = AddressRasterTexel(i0, size, mode);
            taps.second = AddressRasterTexel(i0 + 1, size, mode);
            taps.weight = static_cast<uint32_t>(t[k] & 255);
        }
    }
    LinearTapsAlongPortable(out + i, a0, step, first + i, count - i, size, mode);
}

// One axis of a turned span's texture mapping, set up once for all its rows.
struct SpanAxis {
    __m256d a, c, size, scaled;  // scaled: 256 size
    __m128i last, lastPair;      // size - 1 and size - 2
    uint32_t mode;
};

__attribute__((target("avx2"))) inline SpanAxis MakeSpanAxis(double a, double c, int32_t size,
                                                             uint32_t mode) {
    SpanAxis ax;
    ax.a = _mm256_set1_pd(a);
    ax.c = _mm256_set1_pd(c);
    ax.size = _mm256_set1_pd(static_cast<double>(size));
    ax.scaled = _mm256_set1_pd(256.0 * size);
    ax.last = _mm_set1_epi32(size - 1);
    ax.lastPair = _mm_set1_epi32(size - 2);
    ax.mode = mode;
    return ax;
}

// The tap positions t (as LinearTapsFor works them out, before the split into texel and
// weight) of four pixels along one axis: float((a x + y) + c), then as LinearTapsAlongAvx2.
// kBounded: the caller knows every t of the four to be a number within +-2^30, so that the
// clamp and the NaN mask would leave them as they are, and the size to be at most 2^20;
// kInside, that every tap lies inside the level too.
//
// Bounded, t = ((u size - 0.5) 256) + 0.5 is worked out as u (256 size) - 127.5, one rounding
// for four, with the same floor. u is a float, so u size and u 256 size are exact (24 bits
// times at most 28). Where |t| <= 2^30 every step of the long form is exact too (its result
// spans at most 53 bits from its top to its lowest bit), but where |u size| < 2^-9, and the
// short form then gives the exact value: the same t. In that tiny range both lie strictly
// between -128 and -127 (|256 u size| < 1/2 and the roundings move them by far less), so
// both floor to -128.
template <bool kBounded, bool kInside = false>
__attribute__((target("avx2"))) inline __m128i SpanTapPositions(const SpanAxis& ax, __m256d x,
                                                                __m256d y) {
    const __m256d half = _mm256_set1_pd(0.5), scale = _mm256_set1_pd(256.0);
    __m256d u = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(ax.a, x), y), ax.c);
    u = _mm256_cvtps_pd(_mm256_cvtpd_ps(u));
    if constexpr (kBounded) {
        __m256d t = _mm256_add_pd(_mm256_mul_pd(u, ax.scaled), _mm256_set1_pd(-127.5));
        // Inside the level every t is at least 0, where truncation is the floor.
        if constexpr (kInside)
            return _mm256_cvttpd_epi32(t);
        return _mm256_cvttpd_epi32(_mm256_floor_pd(t));
    }
    __m256d t =
        _mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(_mm256_mul_pd(u, ax.size), half), scale), half);
    const __m256d limit = _mm256_set1_pd(1073741824.0), lowLimit = _mm256_set1_pd(-1073741824.0);
    __m256d ordered = _mm256_cmp_pd(t, t, _CMP_ORD_Q);
    t = _mm256_max_pd(_mm256_min_pd(t, limit), lowLimit);
    t = _mm256_and_pd(_mm256_floor_pd(t), ordered);  // NaN lanes become +0
    return _mm256_cvttpd_epi32(t);
}

// Where four taps along an axis read: the first texel index i0 = t >> 8 (the second is the next
// one) as base, clamped to 0 .. size - 2 under CLAMP, where pastLast marks the taps whose both
// texels are the last one (i0 > size - 2) and beforeFirst those whose both are the first
// (i0 < 0). False when a tap lies off the level under another mode. kInside: the caller knows
// every tap to lie inside.
struct TapReach {
    __m128i base, pastLast, beforeFirst;
};

template <bool kInside>
__attribute__((target("avx2"))) inline bool SpanTapReach(const SpanAxis& ax, __m128i t,
                                                         TapReach* r) {
    const __m128i i0 = _mm_srai_epi32(t, 8);
    const __m128i zero = _mm_setzero_si128();
    if constexpr (kInside) {
        r->base = i0;
        return true;
    }
    r->pastLast = _mm_cmpgt_epi32(i0, ax.lastPair);
    r->beforeFirst = _mm_cmpgt_epi32(zero, i0);
    r->base = _mm_min_epi32(_mm_max_epi32(i0, zero), ax.lastPair);
    if (ax.mode == kAddressClamp)
        return true;
    __m128i outside = _mm_or_si128(r->pastLast, r->beforeFirst);
    return _mm_testz_si128(outside, outside);
}

// The two texel rows of four taps along y, as texel offsets (rows times the pitch).
template <bool kInside>
__attribute__((target("avx2"))) inline void TapRows(const SpanAxis& ax, const TapReach& r,
                                                    __m128i pitch, __m128i* row0, __m128i* row1) {
    __m128i y0 = r.base, y1 = _mm_add_epi32(r.base, _mm_set1_epi32(1));
    if constexpr (!kInside) {
        // The clamped base is i0 but where a tap lies past an edge: there both rows are the edge.
        y0 = _mm_blendv_epi8(y0, y1, r.pastLast);
        y1 = _mm_blendv_epi8(y1, y0, r.beforeFirst);
    }
    *row0 = _mm_mullo_epi32(y0, pitch);
    *row1 = _mm_mullo_epi32(y1, pitch);
}

// Each of four 32-bit values spread over the four 16-bit channel words of its pixel.
__attribute__((target("avx2"))) inline __m256i SpreadOverChannels(__m128i values) {
    __m128i both = _mm_or_si128(values, _mm_slli_epi32(values, 16));
    return _mm256_setr_m128i(_mm_unpacklo_epi32(both, both), _mm_unpackhi_epi32(both, both));
}

// Four pixels' texel pairs (ORed with alphaOr) weighed along x: 256 c0 + (c1 - c0) fx,
// exact in 16 bits (as in the horizontal pass), biased by 0x8000 for a signed multiply-add.
__attribute__((target("avx2"))) inline __m256i WeighFourAlongX(__m128i c0, __m128i c1, __m256i fx,
                                                               __m128i alphaOr) {
    __m256i a = _mm256_cvtepu8_epi16(_mm_or_si128(c0, alphaOr));
    __m256i b = _mm256_cvtepu8_epi16(_mm_or_si128(c1, alphaOr));
    __m256i h =
        _mm256_add_epi16(_mm256_slli_epi16(a, 8), _mm256_mullo_epi16(_mm256_sub_epi16(b, a), fx));
    return _mm256_xor_si256(h, _mm256_set1_epi16(static_cast<short>(0x8000)));
}

// What every step of a turned span's sampling reads from the level, set up once.
struct SpanSampling {
    SpanAxis u, v;
    __m128i pitch, alphaOr;
    const int* texels;
};

__attribute__((target("avx2"))) inline SpanSampling MakeSpanSampling(const LinearSpan& m) {
    SpanSampling c;
    c.u = MakeSpanAxis(m.ua, m.uc, m.width, m.addressU);
    c.v = MakeSpanAxis(m.va, m.vc, m.height, m.addressV);
    c.pitch = _mm_set1_epi32(m.pitch);
    c.alphaOr = _mm_set1_epi32(static_cast<int>(m.alphaOr));
    c.texels = reinterpret_cast<const int*>(m.texels);
    return c;
}

// The two texels of four pixels' taps along x in one texel row: one 64-bit load a pixel from
// the reach's base, whose pair holds both taps, or under CLAMP past an edge the edge texel
// (the pair's second past the last, its first before the first). The level is at least two
// texels wide.
template <bool kInside>
__attribute__((target("avx2"))) inline void TexelPairs(const SpanSampling& c, __m128i row,
                                                       const TapReach& r, __m128i* c0,
                                                       __m128i* c1) {
    __m256i pairs = _mm256_i32gather_epi64(reinterpret_cast<const long long*>(c.texels),
                                           _mm_add_epi32(row, r.base), 4);
    pairs = _mm256_permutevar8x32_epi32(pairs, _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7));
    __m128i lo = _mm256_castsi256_si128(pairs), hi = _mm256_extracti128_si256(pairs, 1);
    if constexpr (kInside) {
        *c0 = lo, *c1 = hi;
        return;
    }
    *c0 = _mm_blendv_epi8(lo, hi, r.pastLast);
    *c1 = _mm_blendv_epi8(hi, lo, r.beforeFirst);
}

// Four pixels' linear samples at x (the row's b y terms uy and vy), in *out; false when a tap
// lies off the level and the address mode is not CLAMP (the caller samples those pixel by
// pixel).
template <bool kInside, bool kBounded>
__attribute__((target("avx2"), always_inline)) inline bool FourLinearSamples(const SpanSampling& c,
                                                                             __m256d x, __m256d uy,
                                                                             __m256d vy,
                                                                             __m128i* out) {
    const __m128i tu = SpanTapPositions<kBounded, kInside>(c.u, x, uy);
    const __m128i tv = SpanTapPositions<kBounded, kInside>(c.v, x, vy);
    TapReach cols, rows;
    if (!SpanTapReach<kInside>(c.u, tu, &cols) || !SpanTapReach<kInside>(c.v, tv, &rows))
        return false;
    __m128i row0, row1;
    TapRows<kInside>(c.v, rows, c.pitch, &row0, &row1);
    __m128i c00, c10, c01, c11;
    TexelPairs<kInside>(c, row0, cols, &c00, &c10);
    TexelPairs<kInside>(c, row1, cols, &c01, &c11);
    const __m128i low8 = _mm_set1_epi32(255);
    __m256i fx = SpreadOverChannels(_mm_and_si128(tu, low8));
    __m128i fy = _mm_and_si128(tv, low8);
    __m256i h0 = WeighFourAlongX(c00, c10, fx, c.alphaOr);
    __m256i h1 = WeighFourAlongX(c01, c11, fx, c.alphaOr);
    // Then along y, each pixel by its own pair of weights (256 - fy, fy).
    __m256i w = _mm256_castsi128_si256(
        _mm_or_si128(_mm_slli_epi32(fy, 16), _mm_sub_epi32(_mm_set1_epi32(256), fy)));
    const __m256i round = _mm256_set1_epi32(32768 * 256 + 32768);
    __m256i lo = _mm256_madd_epi16(
        _mm256_unpacklo_epi16(h0, h1),
        _mm256_permutevar8x32_epi32(w, _mm256_setr_epi32(0, 0, 0, 0, 2, 2, 2, 2)));
    __m256i hi = _mm256_madd_epi16(
        _mm256_unpackhi_epi16(h0, h1),
        _mm256_permutevar8x32_epi32(w, _mm256_setr_epi32(1, 1, 1, 1, 3, 3, 3, 3)));
    lo = _mm256_srli_epi32(_mm256_add_epi32(lo, round), 16);
    hi = _mm256_srli_epi32(_mm256_add_epi32(hi, round), 16);
    __m256i words = _mm256_packus_epi32(lo, hi);  // the four pixels in order
    __m256i bytes =
        _mm256_permute4x64_epi64(_mm256_packus_epi16(words, _mm256_setzero_si256()), 0x08);
    *out = _mm256_castsi256_si128(bytes);
    return true;
}

__attribute__((target("avx2"))) void LinearSpanSamplesAvx2(uint32_t* out, int64_t left, int32_t n,
                                                           const LinearSpan& m) {
    if (m.width < 2) {
        LinearSpanSamplesPortable(out, left, n, m);
        return;
    }
    const __m256d steps = _mm256_setr_pd(0.0, 1.0, 2.0, 3.0);
    const SpanSampling c = MakeSpanSampling(m);
    const __m256d uy = _mm256_set1_pd(m.uy), vy = _mm256_set1_pd(m.vy);
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        __m256d x = _mm256_add_pd(_mm256_set1_pd(static_cast<double>(left + i)), steps);
        __m128i samples;
        if (!FourLinearSamples<false, false>(c, x, uy, vy, &samples)) {
            LinearSpanSamplesPortable(out + i, left + i, 4, m);
            continue;
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), samples);
    }
    LinearSpanSamplesPortable(out + i, left + i, n - i, m);
}

// What a span's two ends tell of all its pixels. Every step from x to a tap's first texel
// index (a x, + y, + c, to float, times the size, - 0.5, times 256, + 0.5, floor, >> 8)
// keeps or reverses order, so the pixels between lie between the ends: bounded, every tap
// position a number within +-2^30; inside, every tap inside the level on both axes.
struct SpanReach {
    bool bounded = true;
    bool inside = true;
};

__attribute__((target("avx2"))) inline void ReachAlong(double a, double y, double c, int32_t size,
                                                       int64_t px, SpanReach* r) {
    double x = static_cast<double>(px);
    float u = static_cast<float>(a * x + y + c);
    double t = (static_cast<double>(u) * size - 0.5) * 256.0 + 0.5;
    if (!(t >= -1073741824.0 && t <= 1073741824.0) || size > (1 << 20)) {
        r->bounded = r->inside = false;
        return;
    }
    int64_t i0 = RasterFloorToIndex(t) >> 8;
    if (i0 < 0 || i0 + 1 > size - 1)
        r->inside = false;
}

__attribute__((target("avx2"))) inline SpanReach ReachOf(const LinearSpan& m,
                                                         const LinearSpanRow& row) {
    SpanReach r;
    for (int64_t px :
         {static_cast<int64_t>(row.left), static_cast<int64_t>(row.left) + row.count - 1}) {
        ReachAlong(m.ua, row.uy, m.uc, m.width, px, &r);
        ReachAlong(m.va, row.vy, m.vc, m.height, px, &r);
    }
    return r;
}

// One span: eight pixels a step, a last part through lane masks with its pixels past the span
// standing on the span's last (so that their taps stay where the span's do).
template <QuadBlend kBlend, bool kInside, bool kBounded>
__attribute__((target("avx2"))) void LinearSpanRowAvx2(const LinearSpans& q, const EightWriter& w,
                                                       const SpanSampling& c,
                                                       const LinearSpanRow& r) {
    uint32_t* out = q.writer.out + r.y * q.writer.outPitch + r.left;
    const __m256d uy = _mm256_set1_pd(r.uy), vy = _mm256_set1_pd(r.vy);
    const __m256d four = _mm256_set1_pd(4.0);
    const __m256d xLast =
        _mm256_set1_pd(static_cast<double>(static_cast<int64_t>(r.left) + r.count - 1));
    __m256d x = _mm256_add_pd(_mm256_set1_pd(static_cast<double>(r.left)),
                              _mm256_setr_pd(0.0, 1.0, 2.0, 3.0));
    for (int32_t i = 0; i < r.count; i += 8) {
        const int32_t left = r.count - i;
        __m256d x0 = x, x1 = _mm256_add_pd(x, four);
        x = _mm256_add_pd(x1, four);
        if (left < 8) {
            x0 = _mm256_min_pd(x0, xLast);
            x1 = _mm256_min_pd(x1, xLast);
        }
        __m128i lo = _mm_setzero_si128(), hi = _mm_setzero_si128();
        bool vector = FourLinearSamples<kInside, kBounded>(c, x0, uy, vy, &lo);
        if (left > 4)
            vector = FourLinearSamples<kInside, kBounded>(c, x1, uy, vy, &hi) && vector;
        __m256i s = _mm256_setr_m128i(lo, hi);
        if (!vector) {
            LinearSpan own = q.sampling;
            own.uy = r.uy;
            own.vy = r.vy;
            alignas(32) uint32_t part[8] = {};
            LinearSpanSamplesPortable(part, static_cast<int64_t>(r.left) + i, std::min(left, 8),
                                      own);
            s = _mm256_load_si256(reinterpret_cast<const __m256i*>(part));
        }
        __m256i result;
        if (left >= 8) {
            __m256i* dst = reinterpret_cast<__m256i*>(out + i);
            if (FinishEight<kBlend>(w, s, _mm256_loadu_si256(dst), &result))
                _mm256_storeu_si256(dst, result);
            continue;
        }
        const __m256i lanes =
            _mm256_cmpgt_epi32(_mm256_set1_epi32(left), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
        int* part = reinterpret_cast<int*>(out + i);
        if (FinishEight<kBlend>(w, s, _mm256_maskload_epi32(part, lanes), &result))
            _mm256_maskstore_epi32(part, lanes, result);
    }
}

template <QuadBlend kBlend>
__attribute__((target("avx2"))) void LinearSpansAvx2(const LinearSpans& q) {
    if (q.sampling.width < 2) {
        LinearSpansPortable(q);
        return;
    }
    const EightWriter w = MakeEightWriter(q.writer);
    const SpanSampling c = MakeSpanSampling(q.sampling);
    for (int32_t i = 0; i < q.rowCount; ++i) {
        const LinearSpanRow& r = q.rows[i];
        const SpanReach reach = ReachOf(q.sampling, r);
        if (reach.inside)
            LinearSpanRowAvx2<kBlend, true, true>(q, w, c, r);
        else if (reach.bounded)
            LinearSpanRowAvx2<kBlend, false, true>(q, w, c, r);
        else
            LinearSpanRowAvx2<kBlend, false, false>(q, w, c, r);
    }
}

bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#endif

}  // namespace

void DrawQuadTexels(const QuadTexels& q) {
    if (q.width <= 0 || q.height <= 0) {
        return;
    }
    if (SeeThrough(q)) {
        SeeThroughQuad(q);
        return;
    }
#if defined(__x86_64__)
    if (g_vectorKernels.load(std::memory_order_relaxed) && HasAvx2()) {
        // One instance a blend, in the order of QuadBlend.
        using Kernel = void (*)(const QuadTexels&);
        static constexpr Kernel kKernels[] = {
            QuadTexelsAvx2For<QuadBlend::kCopy>,     QuadTexelsAvx2For<QuadBlend::kSrcAlpha>,
            QuadTexelsAvx2For<QuadBlend::kAdd>,      QuadTexelsAvx2For<QuadBlend::kRevSubtract>,
            QuadTexelsAvx2For<QuadBlend::kMultiply>, QuadTexelsAvx2For<QuadBlend::kInvert>,
        };
        kKernels[static_cast<int>(q.blend)](q);
        return;
    }
#endif
    QuadTexelsPortable(q);
}

void DrawBilinearQuad(const BilinearQuad& q) {
    if (q.writer.width <= 0 || q.writer.height <= 0) {
        return;
    }
    if (SeeThrough(q.writer)) {
        SeeThroughQuad(q.writer);
        return;
    }
#if defined(__x86_64__)
    if (g_vectorKernels.load(std::memory_order_relaxed) && HasAvx2()) {
        using Kernel = void (*)(const BilinearQuad&);
        static constexpr Kernel kKernels[] = {
            BilinearQuadAvx2<QuadBlend::kCopy>,     BilinearQuadAvx2<QuadBlend::kSrcAlpha>,
            BilinearQuadAvx2<QuadBlend::kAdd>,      BilinearQuadAvx2<QuadBlend::kRevSubtract>,
            BilinearQuadAvx2<QuadBlend::kMultiply>, BilinearQuadAvx2<QuadBlend::kInvert>,
        };
        kKernels[static_cast<int>(q.writer.blend)](q);
        return;
    }
#endif
    BilinearQuadPortable(q);
}

void DrawLinearSpans(const LinearSpans& q) {
    if (q.rowCount <= 0)
        return;
    if (SeeThrough(q.writer)) {
        for (int32_t i = 0; i < q.rowCount; ++i) {
            const LinearSpanRow& r = q.rows[i];
            QuadTexels row = q.writer;
            row.out = q.writer.out + r.y * q.writer.outPitch + r.left;
            row.width = r.count;
            row.height = 1;
            SeeThroughQuad(row);
        }
        return;
    }
#if defined(__x86_64__)
    if (g_vectorKernels.load(std::memory_order_relaxed) && HasAvx2()) {
        using Kernel = void (*)(const LinearSpans&);
        static constexpr Kernel kKernels[] = {
            LinearSpansAvx2<QuadBlend::kCopy>,     LinearSpansAvx2<QuadBlend::kSrcAlpha>,
            LinearSpansAvx2<QuadBlend::kAdd>,      LinearSpansAvx2<QuadBlend::kRevSubtract>,
            LinearSpansAvx2<QuadBlend::kMultiply>, LinearSpansAvx2<QuadBlend::kInvert>,
        };
        kKernels[static_cast<int>(q.writer.blend)](q);
        return;
    }
#endif
    LinearSpansPortable(q);
}

void BilinearHorizontal(uint16_t* h, const uint32_t* row, const int32_t* first,
                        const int32_t* second, const uint16_t* fx, int32_t width, uint32_t alphaOr,
                        int32_t rowLength) {
#if defined(__x86_64__)
    if (g_vectorKernels.load(std::memory_order_relaxed) && HasAvx2()) {
        BilinearHorizontalAvx2(h, row, first, second, fx, width, alphaOr, rowLength);
        return;
    }
#endif
    BilinearHorizontalPortable(h, row, first, second, fx, width, alphaOr);
}

void BilinearVertical(uint32_t* out, const uint16_t* h0, const uint16_t* h1, uint32_t fy,
                      int32_t width, uint32_t targetOr) {
#if defined(__x86_64__)
    if (g_vectorKernels.load(std::memory_order_relaxed) && HasAvx2()) {
        BilinearVerticalAvx2(out, h0, h1, fy, width, targetOr);
        return;
    }
#endif
    BilinearVerticalPortable(out, h0, h1, fy, width, targetOr);
}

void SpanTexelOffsetsInside(int32_t* out, int64_t left, int32_t n, const SpanMapping& m) {
#if defined(__x86_64__)
    if (g_vectorKernels.load(std::memory_order_relaxed) && HasAvx2()) {
        SpanTexelOffsetsAvx2(out, left, n, m);
        return;
    }
#endif
    SpanTexelOffsetsPortable(out, left, n, m);
}

void LinearSpanSamples(uint32_t* out, int64_t left, int32_t n, const LinearSpan& m) {
#if defined(__x86_64__)
    if (g_vectorKernels.load(std::memory_order_relaxed) && HasAvx2()) {
        LinearSpanSamplesAvx2(out, left, n, m);
        return;
    }
#endif
    LinearSpanSamplesPortable(out, left, n, m);
}

void LinearTapsAlong(LinearTaps* out, double a0, double step, int32_t first, int32_t count,
                     int32_t size, uint32_t mode) {
#if defined(__x86_64__)
    if (g_vectorKernels.load(std::memory_order_relaxed) && HasAvx2()) {
        LinearTapsAlongAvx2(out, a0, step, first, count, size, mode);
        return;
    }
#endif
    LinearTapsAlongPortable(out, a0, step, first, count, size, mode);
}

void SetRasterVectorKernelsEnabled(bool enabled) {
    g_vectorKernels.store(enabled);
}

}  // namespace platform
