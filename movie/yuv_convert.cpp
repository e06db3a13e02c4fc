// The conversion tables and the three conversions of a decoded frame into
// B, G, R, 255 pixels.
//
// Routes: ConvertYuv420ToBgrx takes the AVX2 loop where the processor has it
// and the SSE2 loop, which every x86-64 processor has, otherwise; the table
// loop finishes the columns a vector step does not fill. All give the same
// bytes, because an arithmetic shift by 14 followed by the clamp equals the
// truncating division followed by the clamp (a negative sum clamps to 0
// either way).
#include "movie/yuv_convert.h"

#include <immintrin.h>

#include <algorithm>
#include <cstring>

#include "movie/theora_decoder.h"

namespace tessel {

uint8_t YuvClamp[kYuvClampSize];
int32_t YuvRv[256];
int32_t YuvGu[256];
int32_t YuvGv[256];
int32_t YuvBu[256];
int32_t YuvY[256];

namespace {

// BT.601 factors 1.596, 0.391, 0.813, 2.018 and 1.164 times 16384, cut to whole
// numbers.
constexpr int32_t kRv = 26148;
constexpr int32_t kGu = 6406;
constexpr int32_t kGv = 13320;
constexpr int32_t kBu = 33062;
constexpr int32_t kY = 19070;
// The AVX2 route halves these two to fit them into 16 bits.
static_assert(kBu % 2 == 0 && kGv % 2 == 0);

inline uint32_t PackBgrx(int r, int g, int b) {
    return 0xFF000000u | (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) |
           static_cast<uint32_t>(b);
}

inline uint32_t TablePixel(int32_t luma, int32_t rv, int32_t guv, int32_t bu) {
    const uint8_t* clamp = YuvClamp + kYuvClampBias;
    return PackBgrx(clamp[(luma + rv) >> 14], clamp[(luma + guv) >> 14], clamp[(luma + bu) >> 14]);
}

// The two luma rows of the pair that starts at ROW and the chroma rows they
// share.
struct RowPairStarts {
    const uint8_t* y0;
    const uint8_t* y1;
    const uint8_t* u;
    const uint8_t* v;
};

inline RowPairStarts RowPairSamples(const YuvPlanes& p, int row) {
    const uint8_t* y0 = p.y + static_cast<intptr_t>(row) * p.yStride;
    return {y0, y0 + p.yStride, p.u + static_cast<intptr_t>(row / 2) * p.uvStride,
            p.v + static_cast<intptr_t>(row / 2) * p.uvStride};
}

// Columns [from, width) of one row pair through the tables.
void TableRowPair(const YuvPlanes& p, int row, int from, int width, uint32_t* out0,
                  uint32_t* out1) {
    const auto [y0, y1, u, v] = RowPairSamples(p, row);
    for (int x = from; x < width; x += 2) {
        const int cu = u[x / 2];
        const int cv = v[x / 2];
        const int32_t rv = YuvRv[cv];
        const int32_t guv = YuvGu[cu] + YuvGv[cv];
        const int32_t bu = YuvBu[cu];
        out0[x] = TablePixel(YuvY[y0[x]], rv, guv, bu);
        out0[x + 1] = TablePixel(YuvY[y0[x + 1]], rv, guv, bu);
        out1[x] = TablePixel(YuvY[y1[x]], rv, guv, bu);
        out1[x + 1] = TablePixel(YuvY[y1[x + 1]], rv, guv, bu);
    }
}

inline uint32_t* DestRow(uint8_t* dest, int destPitch, int row) {
    return reinterpret_cast<uint32_t*>(dest + static_cast<intptr_t>(row) * destPitch);
}

// Sixteen pixels of one row, in 16-bit lanes: each sum of two products comes
// exact in 32 bits from one multiply-add, (Y - 16) * kY paired with a chroma
// product, so that a sum of three takes two. kBu does not fit 16 bits: its
// product is taken as (2 (U - 128)) * (kBu / 2), and kGv's as twice (V - 128)
// * (kGv / 2). The shift by 14, then the saturating packs to 16 and 8 bits,
// clamp exactly as the tables do.
__attribute__((target("avx2"))) inline __m256i Avx2Sums(__m256i lo, __m256i hi, __m256i factors) {
    return _mm256_packs_epi32(_mm256_srai_epi32(_mm256_madd_epi16(lo, factors), 14),
                              _mm256_srai_epi32(_mm256_madd_epi16(hi, factors), 14));
}

// The chroma of sixteen pixels: each of eight samples twice, less 128, as
// sixteen 16-bit lanes.
__attribute__((target("avx2"))) inline __m256i Avx2Chroma(const uint8_t* samples) {
    const __m128i eight = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(samples));
    return _mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm_unpacklo_epi8(eight, eight)),
                            _mm256_set1_epi16(128));
}

struct Avx2ChromaTerms {
    __m256i cu;    // U - 128
    __m256i cu2;   // 2 (U - 128)
    __m256i cv;    // V - 128
    __m256i gvLo;  // (V - 128) * -kGv in 32 bits, pixels 0-3 and 8-11
    __m256i gvHi;  // pixels 4-7 and 12-15
};

__attribute__((target("avx2"))) void Avx2Sixteen(const uint8_t* y, const Avx2ChromaTerms& c,
                                                 uint32_t* out) {
    const __m256i luma =
        _mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y))),
                         _mm256_set1_epi16(16));
    const __m256i r = Avx2Sums(_mm256_unpacklo_epi16(luma, c.cv), _mm256_unpackhi_epi16(luma, c.cv),
                               _mm256_set1_epi32(kRv << 16 | kY));
    const __m256i b =
        Avx2Sums(_mm256_unpacklo_epi16(luma, c.cu2), _mm256_unpackhi_epi16(luma, c.cu2),
                 _mm256_set1_epi32((kBu / 2) << 16 | kY));
    const __m256i gFactors = _mm256_set1_epi32(
        static_cast<int32_t>(static_cast<uint32_t>(-kGu) << 16 | static_cast<uint32_t>(kY)));
    const __m256i gLo =
        _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(luma, c.cu), gFactors), c.gvLo);
    const __m256i gHi =
        _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(luma, c.cu), gFactors), c.gvHi);
    const __m256i g = _mm256_packs_epi32(_mm256_srai_epi32(gLo, 14), _mm256_srai_epi32(gHi, 14));
    // Per 128-bit half: B and R bytes, G and 255 bytes, then B G R 255.
    const __m256i br = _mm256_packus_epi16(b, r);
    const __m256i ga = _mm256_packus_epi16(g, _mm256_set1_epi16(255));
    const __m256i bg = _mm256_unpacklo_epi8(br, ga);
    const __m256i ra = _mm256_unpackhi_epi8(br, ga);
    const __m256i first = _mm256_unpacklo_epi16(bg, ra);   // pixels 0-3, 8-11
    const __m256i second = _mm256_unpackhi_epi16(bg, ra);  // pixels 4-7, 12-15
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                        _mm256_permute2x128_si256(first, second, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 8),
                        _mm256_permute2x128_si256(first, second, 0x31));
}

__attribute__((target("avx2"))) void Avx2RowPair(const YuvPlanes& p, int row, int width,
                                                 uint32_t* out0, uint32_t* out1) {
    const auto [y0, y1, u, v] = RowPairSamples(p, row);
    const __m256i gvFactors = _mm256_set1_epi16(static_cast<int16_t>(-kGv / 2));
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        Avx2ChromaTerms c;
        c.cu = Avx2Chroma(u + x / 2);
        c.cu2 = _mm256_add_epi16(c.cu, c.cu);
        c.cv = Avx2Chroma(v + x / 2);
        c.gvLo = _mm256_madd_epi16(_mm256_unpacklo_epi16(c.cv, c.cv), gvFactors);
        c.gvHi = _mm256_madd_epi16(_mm256_unpackhi_epi16(c.cv, c.cv), gvFactors);
        Avx2Sixteen(y0 + x, c, out0 + x);
        Avx2Sixteen(y1 + x, c, out1 + x);
    }
    TableRowPair(p, row, x, width, out0, out1);
}

// The SSE2 route: eight pixels a step, the sums and packs of the AVX2 route
// in 128-bit lanes.
inline __m128i Sse2Sums(__m128i lo, __m128i hi, __m128i factors) {
    return _mm_packs_epi32(_mm_srai_epi32(_mm_madd_epi16(lo, factors), 14),
                           _mm_srai_epi32(_mm_madd_epi16(hi, factors), 14));
}

// The chroma of eight pixels: each of four samples twice, less 128.
inline __m128i Sse2Chroma(const uint8_t* samples) {
    int32_t four;
    std::memcpy(&four, samples, sizeof four);
    const __m128i bytes = _mm_cvtsi32_si128(four);
    return _mm_sub_epi16(_mm_unpacklo_epi8(_mm_unpacklo_epi8(bytes, bytes), _mm_setzero_si128()),
                         _mm_set1_epi16(128));
}

struct Sse2ChromaTerms {
    __m128i cu;    // U - 128
    __m128i cu2;   // 2 (U - 128)
    __m128i cv;    // V - 128
    __m128i gvLo;  // (V - 128) * -kGv in 32 bits, pixels 0-3
    __m128i gvHi;  // pixels 4-7
};

void Sse2Eight(const uint8_t* y, const Sse2ChromaTerms& c, uint32_t* out) {
    const __m128i luma =
        _mm_sub_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(y)),
                                        _mm_setzero_si128()),
                      _mm_set1_epi16(16));
    const __m128i r = Sse2Sums(_mm_unpacklo_epi16(luma, c.cv), _mm_unpackhi_epi16(luma, c.cv),
                               _mm_set1_epi32(kRv << 16 | kY));
    const __m128i b = Sse2Sums(_mm_unpacklo_epi16(luma, c.cu2), _mm_unpackhi_epi16(luma, c.cu2),
                               _mm_set1_epi32((kBu / 2) << 16 | kY));
    const __m128i gFactors = _mm_set1_epi32(
        static_cast<int32_t>(static_cast<uint32_t>(-kGu) << 16 | static_cast<uint32_t>(kY)));
    const __m128i gLo =
        _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(luma, c.cu), gFactors), c.gvLo);
    const __m128i gHi =
        _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(luma, c.cu), gFactors), c.gvHi);
    const __m128i g = _mm_packs_epi32(_mm_srai_epi32(gLo, 14), _mm_srai_epi32(gHi, 14));
    // B and R bytes, G and 255 bytes, then B G R 255.
    const __m128i br = _mm_packus_epi16(b, r);
    const __m128i ga = _mm_packus_epi16(g, _mm_set1_epi16(255));
    const __m128i bg = _mm_unpacklo_epi8(br, ga);
    const __m128i ra = _mm_unpackhi_epi8(br, ga);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(bg, ra));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4), _mm_unpackhi_epi16(bg, ra));
}

void Sse2RowPair(const YuvPlanes& p, int row, int width, uint32_t* out0, uint32_t* out1) {
    const auto [y0, y1, u, v] = RowPairSamples(p, row);
    const __m128i gvFactors = _mm_set1_epi16(static_cast<int16_t>(-kGv / 2));
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        Sse2ChromaTerms c;
        c.cu = Sse2Chroma(u + x / 2);
        c.cu2 = _mm_add_epi16(c.cu, c.cu);
        c.cv = Sse2Chroma(v + x / 2);
        c.gvLo = _mm_madd_epi16(_mm_unpacklo_epi16(c.cv, c.cv), gvFactors);
        c.gvHi = _mm_madd_epi16(_mm_unpackhi_epi16(c.cv, c.cv), gvFactors);
        Sse2Eight(y0 + x, c, out0 + x);
        Sse2Eight(y1 + x, c, out1 + x);
    }
    TableRowPair(p, row, x, width, out0, out1);
}

bool HasAvx2() {
    static const bool kAvx2 = __builtin_cpu_supports("avx2");
    return kAvx2;
}

// The chroma plane index of a luma index, for a plane of `chroma` samples
// over `luma` ones.
inline int ChromaIndex(int i, int chroma, int luma) {
    return static_cast<int>(static_cast<int64_t>(i) * chroma / luma);
}

inline int TruncClamp(float value) {
    // Outside this range the value clamps anyway; the cast stays defined.
    if (value <= -1.0f) {
        return 0;
    }
    if (value >= 255.0f) {
        return 255;
    }
    return static_cast<int>(value);
}

}  // namespace

int TheoraBuildYuvTables() {
    for (int i = -kYuvClampBias; i < kYuvClampSize - kYuvClampBias; ++i) {
        YuvClamp[i + kYuvClampBias] = static_cast<uint8_t>(std::clamp(i, 0, 255));
    }
    for (int x = 0; x < 256; ++x) {
        YuvRv[x] = (x - 128) * kRv;
        YuvGu[x] = -(x - 128) * kGu;
        YuvGv[x] = -(x - 128) * kGv;
        YuvBu[x] = (x - 128) * kBu;
        YuvY[x] = (x - 16) * kY;
    }
    return 0;
}

bool IsYuv420(const YuvPlanes& planes) {
    return planes.yWidth == 2 * planes.uvWidth && planes.yHeight == 2 * planes.uvHeight;
}

void ConvertYuv420ToBgrxPortable(const YuvPlanes& planes, int width, int height, uint8_t* dest,
                                 int destPitch) {
    for (int row = 0; row + 1 < height; row += 2) {
        TableRowPair(planes, row, 0, width, DestRow(dest, destPitch, row),
                     DestRow(dest, destPitch, row + 1));
    }
}

void ConvertYuv420ToBgrxSse2(const YuvPlanes& planes, int width, int height, uint8_t* dest,
                             int destPitch) {
    for (int row = 0; row + 1 < height; row += 2) {
        Sse2RowPair(planes, row, width, DestRow(dest, destPitch, row),
                    DestRow(dest, destPitch, row + 1));
    }
}

void ConvertYuv420ToBgrx(const YuvPlanes& planes, int width, int height, uint8_t* dest,
                         int destPitch) {
    if (!HasAvx2()) {
        ConvertYuv420ToBgrxSse2(planes, width, height, dest, destPitch);
        return;
    }
    for (int row = 0; row + 1 < height; row += 2) {
        Avx2RowPair(planes, row, width, DestRow(dest, destPitch, row),
                    DestRow(dest, destPitch, row + 1));
    }
}

void ConvertYuvToBgrxFloat(const YuvPlanes& planes, int width, int height, uint8_t* dest,
                           int destPitch) {
    for (int row = 0; row < height; ++row) {
        const uint8_t* y = planes.y + static_cast<intptr_t>(row) * planes.yStride;
        const intptr_t chromaRow = ChromaIndex(row, planes.uvHeight, planes.yHeight);
        const uint8_t* u = planes.u + chromaRow * planes.uvStride;
        const uint8_t* v = planes.v + chromaRow * planes.uvStride;
        uint32_t* out = DestRow(dest, destPitch, row);
        for (int x = 0; x < width; ++x) {
            const int column = ChromaIndex(x, planes.uvWidth, planes.yWidth);
            const float luma = static_cast<float>(y[x] - 16) * 1.164f;
            const float cu = static_cast<float>(u[column] - 128);
            const float cv = static_cast<float>(v[column] - 128);
            const float r = luma + cv * 1.596f;
            const float g = luma - cu * 0.391f - cv * 0.813f;
            const float b = luma + cu * 2.018f;
            out[x] = PackBgrx(TruncClamp(r), TruncClamp(g), TruncClamp(b));
        }
    }
}

}  // namespace tessel
