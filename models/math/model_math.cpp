// The sine table, its lookup and the Mat3x4 products, builders and
// transposes.
#include "models/math/model_math.h"

#include <emmintrin.h>
#include <fpu_control.h>

#include <cmath>
#include <cstring>

#include "foundation/base/numbers.h"

namespace tessel {

namespace {

float g_sineTable[kSineTableSize];

// Single-precision pi and 1 / 65536, as the table's angles are built from.
constexpr float kPi = 3.1415927410125732f;
constexpr float kStepFraction = 1.0f / 65536.0f;
// 65536 / 2pi held as a float, and 1.5 x 2^23, which puts the rounded index
// into a float's low mantissa bits.
constexpr double kIndexScale = 10430.3779296875;
constexpr double kIndexBias = 12582912.0;

// The evaluation in double is within an ulp of the true values and the
// library's extended one far closer; a margin 2^12 times that decides
// whether both must round to the same float.
constexpr double kDoubleMargin = 0x1p-40;
// Angles the quick route takes: beyond them the library answers.
constexpr float kQuickSmallest = 0x1p-30f;
constexpr float kQuickLargest = 64.0f;
// Round to nearest with 64-bit mantissas on the x87 unit; round to nearest
// without flushing or treating denormals as zero on the SSE unit.
constexpr fpu_control_t kX87ModeMask = 0x0F00;
constexpr fpu_control_t kX87Default = 0x0300;
constexpr unsigned kSseModeMask = 0xE040;

bool DefaultFloatModes() {
    fpu_control_t x87 = 0;
    _FPU_GETCW(x87);
    return (x87 & kX87ModeMask) == kX87Default && (_mm_getcsr() & kSseModeMask) == 0;
}

// The float nearest to `value` when every number within the margin of it
// rounds to that same float.
bool RoundsSurely(double value, float* out) {
    const double margin = std::fabs(value) * kDoubleMargin;
    const float low = static_cast<float>(value - margin);
    const float high = static_cast<float>(value + margin);
    *out = low;
    return low == high;
}

struct SinCosPair {
    float s;
    float c;
};

SinCosPair Lookup(float angle) {
    uint32_t index = SineTableIndex(angle);
    return {g_sineTable[index], g_sineTable[(index + 16384) & 0xFFFF]};
}

void ClearTranslation(Mat3x4* out) {
    out->m[0][3] = 0.0f;
    out->m[1][3] = 0.0f;
    out->m[2][3] = 0.0f;
}

void SetRow(Mat3x4* out, int row, float a, float b, float c) {
    out->m[row][0] = a;
    out->m[row][1] = b;
    out->m[row][2] = c;
}

}  // namespace

void FillSineTable() {
    for (int i = 0; i < kSineTableSize; ++i) {
        float angle = static_cast<float>(i) * kPi;
        angle = angle * 2.0f;
        angle = angle * kStepFraction;
        float cosine = 0.0f;
        SinCos(angle, &g_sineTable[i], &cosine);
    }
}

const float* SineTableEntries() {
    return g_sineTable;
}

uint32_t SineTableIndex(float angle) {
    // The product of two floats is exact in extended precision; only the sum
    // rounds there, and then once more to a float, as the index was always
    // taken.
    long double sum = static_cast<long double>(angle) * static_cast<long double>(kIndexScale) +
                      static_cast<long double>(kIndexBias);
    float rounded = static_cast<float>(sum);
    uint32_t bits = 0;
    std::memcpy(&bits, &rounded, sizeof bits);
    return bits & 0xFFFFu;
}

void SinCosLookup(float angle, float* sine, float* cosine) {
    SinCosPair v = Lookup(angle);
    *sine = v.s;
    *cosine = v.c;
}

ExactSinCos::ExactSinCos() : defaultModes_(DefaultFloatModes()) {}

void ExactSinCos::operator()(float angle, float* sine, float* cosine) const {
    const float size = std::fabs(angle);
    if (defaultModes_ && size == 0.0f) {
        // A key's own time: the sine keeps the zero's sign.
        *sine = angle;
        *cosine = 1.0f;
        return;
    }
    if (!defaultModes_ || !(size >= kQuickSmallest && size <= kQuickLargest)) {
        SinCos(angle, sine, cosine);
        return;
    }
    double s = 0.0;
    double c = 0.0;
    ::sincos(static_cast<double>(angle), &s, &c);
    float quickSine = 0.0f;
    float quickCosine = 0.0f;
    if (!RoundsSurely(s, &quickSine) || !RoundsSurely(c, &quickCosine)) {
        SinCos(angle, sine, cosine);
        return;
    }
    *sine = quickSine;
    *cosine = quickCosine;
}

void TransformPoint3x4(const Mat3x4* matrix, Vec3* out, const Vec3* point) {
    const float(*m)[4] = matrix->m;
    out->x = m[0][0] * point->x + m[0][1] * point->y + m[0][2] * point->z + m[0][3];
    out->y = m[1][0] * point->x + m[1][1] * point->y + m[1][2] * point->z + m[1][3];
    out->z = m[2][0] * point->x + m[2][1] * point->y + m[2][2] * point->z + m[2][3];
}

// Row by row with four columns at once: each column's sum is taken in the
// order the plain loop takes it, ((a0 b0 + a1 b1) + a2 b2), and only the
// translation column adds a's own translation (adding zero elsewhere would
// turn a -0 into +0).
void MultiplyMatrix3x4(const Mat3x4* a, Mat3x4* out, const Mat3x4* b) {
    const __m128 b0 = _mm_loadu_ps(b->m[0]);
    const __m128 b1 = _mm_loadu_ps(b->m[1]);
    const __m128 b2 = _mm_loadu_ps(b->m[2]);
    const __m128 translationLane = _mm_castsi128_ps(_mm_set_epi32(-1, 0, 0, 0));
    __m128 rows[3];
    for (int r = 0; r < 3; ++r) {
        const float* row = a->m[r];
        __m128 sum = _mm_mul_ps(_mm_set1_ps(row[0]), b0);
        sum = _mm_add_ps(sum, _mm_mul_ps(_mm_set1_ps(row[1]), b1));
        sum = _mm_add_ps(sum, _mm_mul_ps(_mm_set1_ps(row[2]), b2));
        const __m128 moved = _mm_add_ps(sum, _mm_set1_ps(row[3]));
        rows[r] =
            _mm_or_ps(_mm_andnot_ps(translationLane, sum), _mm_and_ps(translationLane, moved));
    }
    for (int r = 0; r < 3; ++r) {
        _mm_storeu_ps(out->m[r], rows[r]);
    }
}

void Mat3x4MulTranslation(const Mat3x4* a, const Mat3x4* b, Mat3x4* out) {
    for (int r = 0; r < 3; ++r) {
        out->m[r][0] = a->m[r][0];
        out->m[r][1] = a->m[r][1];
        out->m[r][2] = a->m[r][2];
        out->m[r][3] = a->m[r][0] * b->m[0][3] + a->m[r][1] * b->m[1][3] + a->m[r][2] * b->m[2][3] +
                       a->m[r][3];
    }
}

// Each builder writes the closed form of its product Rthird Rsecond Rfirst.

void Mat3x4FromEulerXYZ(Mat3x4* out, float x, float y, float z) {
    auto [sx, cx] = Lookup(x);
    auto [sy, cy] = Lookup(y);
    auto [sz, cz] = Lookup(z);
    SetRow(out, 0, cy * cz, cz * sx * sy - cx * sz, cx * cz * sy + sx * sz);
    SetRow(out, 1, cy * sz, cx * cz + sx * sy * sz, cx * sy * sz - cz * sx);
    SetRow(out, 2, -sy, cy * sx, cx * cy);
    ClearTranslation(out);
}

void Mat3x4FromEulerXZY(Mat3x4* out, float x, float y, float z) {
    auto [sx, cx] = Lookup(x);
    auto [sy, cy] = Lookup(y);
    auto [sz, cz] = Lookup(z);
    SetRow(out, 0, cy * cz, sx * sy - cx * cy * sz, cx * sy + cy * sx * sz);
    SetRow(out, 1, sz, cx * cz, -cz * sx);
    SetRow(out, 2, -cz * sy, cx * sy * sz + cy * sx, cx * cy - sx * sy * sz);
    ClearTranslation(out);
}

void Mat3x4FromEulerYXZ(Mat3x4* out, float x, float y, float z) {
    auto [sx, cx] = Lookup(x);
    auto [sy, cy] = Lookup(y);
    auto [sz, cz] = Lookup(z);
    SetRow(out, 0, cy * cz - sx * sy * sz, -cx * sz, cy * sx * sz + cz * sy);
    SetRow(out, 1, cy * sz + cz * sx * sy, cx * cz, sy * sz - cy * cz * sx);
    SetRow(out, 2, -cx * sy, sx, cx * cy);
    ClearTranslation(out);
}

void Mat3x4FromEulerYZX(Mat3x4* out, float x, float y, float z) {
    auto [sx, cx] = Lookup(x);
    auto [sy, cy] = Lookup(y);
    auto [sz, cz] = Lookup(z);
    SetRow(out, 0, cy * cz, -sz, cz * sy);
    SetRow(out, 1, cx * cy * sz + sx * sy, cx * cz, cx * sy * sz - cy * sx);
    SetRow(out, 2, cy * sx * sz - cx * sy, cz * sx, cx * cy + sx * sy * sz);
    ClearTranslation(out);
}

void Mat3x4FromEulerZXY(Mat3x4* out, float x, float y, float z) {
    auto [sx, cx] = Lookup(x);
    auto [sy, cy] = Lookup(y);
    auto [sz, cz] = Lookup(z);
    SetRow(out, 0, cy * cz + sx * sy * sz, cz * sx * sy - cy * sz, cx * sy);
    SetRow(out, 1, cx * sz, cx * cz, -sx);
    SetRow(out, 2, cy * sx * sz - cz * sy, cy * cz * sx + sy * sz, cx * cy);
    ClearTranslation(out);
}

void Mat3x4FromEulerZYX(Mat3x4* out, float x, float y, float z) {
    auto [sx, cx] = Lookup(x);
    auto [sy, cy] = Lookup(y);
    auto [sz, cz] = Lookup(z);
    SetRow(out, 0, cy * cz, -cy * sz, sy);
    SetRow(out, 1, cx * sz + cz * sx * sy, cx * cz - sx * sy * sz, -cy * sx);
    SetRow(out, 2, sx * sz - cx * cz * sy, cx * sy * sz + cz * sx, cx * cy);
    ClearTranslation(out);
}

void Transpose4x4To3x4(Mat3x4* out, const Mat4* in) {
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 4; ++c) {
            out->m[r][c] = in->m[c][r];
        }
    }
}

void Transpose3x4To4x4(Mat4* out, const Mat3x4* in) {
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 4; ++c) {
            out->m[c][r] = in->m[r][c];
        }
    }
    out->m[0][3] = 0.0f;
    out->m[1][3] = 0.0f;
    out->m[2][3] = 0.0f;
    out->m[3][3] = 1.0f;
}

}  // namespace tessel
