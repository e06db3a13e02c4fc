// The sine table, its lookup and the Mat3x4 products, builders and
// transposes.
#include "models/math/model_math.h"

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

void TransformPoint3x4(const Mat3x4* matrix, Vec3* out, const Vec3* point) {
    const float(*m)[4] = matrix->m;
    out->x = m[0][0] * point->x + m[0][1] * point->y + m[0][2] * point->z + m[0][3];
    out->y = m[1][0] * point->x + m[1][1] * point->y + m[1][2] * point->z + m[1][3];
    out->z = m[2][0] * point->x + m[2][1] * point->y + m[2][2] * point->z + m[2][3];
}

void MultiplyMatrix3x4(const Mat3x4* a, Mat3x4* out, const Mat3x4* b) {
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 4; ++c) {
            float sum = a->m[r][0] * b->m[0][c] + a->m[r][1] * b->m[1][c] + a->m[r][2] * b->m[2][c];
            out->m[r][c] = c == 3 ? sum + a->m[r][3] : sum;
        }
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
