// The conversion tables and the three conversions of a decoded frame into
// B, G, R, 255 pixels.
//
// Routes: ConvertYuv420ToBgrx takes the AVX2 loop where the processor has it
// and the table loop otherwise; both give the same bytes, because an
// arithmetic shift by 14 followed by the clamp equals the truncating division
// followed by the clamp (a negative sum clamps to 0 either way).
#include "movie/yuv_convert.h"

#include <immintrin.h>

#include <algorithm>

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

inline uint32_t PackBgrx(int r, int g, int b) {
    return 0xFF000000u | (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) |
           static_cast<uint32_t>(b);
}

inline uint32_t TablePixel(int32_t luma, int32_t rv, int32_t guv, int32_t bu) {
    const uint8_t* clamp = YuvClamp + kYuvClampBias;
    return PackBgrx(clamp[(luma + rv) >> 14], clamp[(luma + guv) >> 14], clamp[(luma + bu) >> 14]);
}

// Columns [from, width) of one row pair through the tables.
void TableRowPair(const YuvPlanes& p, int row, int from, int width, uint32_t* out0,
                  uint32_t* out1) {
    const uint8_t* y0 = p.y + static_cast<intptr_t>(row) * p.yStride;
    const uint8_t* y1 = y0 + p.yStride;
    const uint8_t* u = p.u + static_cast<intptr_t>(row / 2) * p.uvStride;
    const uint8_t* v = p.v + static_cast<intptr_t>(row / 2) * p.uvStride;
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

// One channel of eight pixels: the sum shifted down by 14 and clamped.
__attribute__((target("avx2"))) inline __m256i Avx2Channel(__m256i luma, __m256i term) {
    const __m256i value = _mm256_srai_epi32(_mm256_add_epi32(luma, term), 14);
    return _mm256_min_epi32(_mm256_max_epi32(value, _mm256_setzero_si256()),
                            _mm256_set1_epi32(255));
}

// Eight pixels of one row: luma terms plus the chroma terms of their four
// chroma samples, each spread over two lanes.
__attribute__((target("avx2"))) inline __m256i Avx2Eight(const uint8_t* y, __m256i rv, __m256i guv,
                                                         __m256i bu) {
    const __m256i luma = _mm256_mullo_epi32(
        _mm256_sub_epi32(_mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(y))),
                         _mm256_set1_epi32(16)),
        _mm256_set1_epi32(kY));
    const __m256i r = Avx2Channel(luma, rv);
    const __m256i g = Avx2Channel(luma, guv);
    const __m256i b = Avx2Channel(luma, bu);
    return _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi32(r, 16), _mm256_slli_epi32(g, 8)),
                           _mm256_or_si256(b, _mm256_set1_epi32(static_cast<int>(0xFF000000u))));
}

__attribute__((target("avx2"))) void Avx2RowPair(const YuvPlanes& p, int row, int width,
                                                 uint32_t* out0, uint32_t* out1) {
    const uint8_t* y0 = p.y + static_cast<intptr_t>(row) * p.yStride;
    const uint8_t* y1 = y0 + p.yStride;
    const uint8_t* u = p.u + static_cast<intptr_t>(row / 2) * p.uvStride;
    const uint8_t* v = p.v + static_cast<intptr_t>(row / 2) * p.uvStride;
    const __m256i spread = _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3);
    const __m256i bias = _mm256_set1_epi32(128);
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        int32_t u4;
        int32_t v4;
        __builtin_memcpy(&u4, u + x / 2, 4);
        __builtin_memcpy(&v4, v + x / 2, 4);
        const __m256i cu = _mm256_permutevar8x32_epi32(
            _mm256_sub_epi32(_mm256_cvtepu8_epi32(_mm_cvtsi32_si128(u4)), bias), spread);
        const __m256i cv = _mm256_permutevar8x32_epi32(
            _mm256_sub_epi32(_mm256_cvtepu8_epi32(_mm_cvtsi32_si128(v4)), bias), spread);
        const __m256i rv = _mm256_mullo_epi32(cv, _mm256_set1_epi32(kRv));
        const __m256i guv =
            _mm256_sub_epi32(_mm256_setzero_si256(),
                             _mm256_add_epi32(_mm256_mullo_epi32(cu, _mm256_set1_epi32(kGu)),
                                              _mm256_mullo_epi32(cv, _mm256_set1_epi32(kGv))));
        const __m256i bu = _mm256_mullo_epi32(cu, _mm256_set1_epi32(kBu));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out0 + x), Avx2Eight(y0 + x, rv, guv, bu));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out1 + x), Avx2Eight(y1 + x, rv, guv, bu));
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

void ConvertYuv420ToBgrx(const YuvPlanes& planes, int width, int height, uint8_t* dest,
                         int destPitch) {
    if (!HasAvx2()) {
        ConvertYuv420ToBgrxPortable(planes, width, height, dest, destPitch);
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
