// Bone poses of the PMD reader: quaternions and their Euler angles, and the
// bones' world matrices from their poses.
#include <emmintrin.h>

#include <cmath>

#include "foundation/base/numbers.h"
#include "models/math/model_math.h"
#include "models/pmd/pmd_work.h"

namespace tessel {

void PmdQuatToMatrix(Mat4* out, const PmdQuat* q) {
    const float x = q->x, y = q->y, z = q->z, w = q->w;
    MatIdentity(out);
    out->m[0][0] = 1.0f - 2.0f * (y * y + z * z);
    out->m[0][1] = 2.0f * (x * y + z * w);
    out->m[0][2] = 2.0f * (x * z - y * w);
    out->m[1][0] = 2.0f * (x * y - z * w);
    out->m[1][1] = 1.0f - 2.0f * (x * x + z * z);
    out->m[1][2] = 2.0f * (y * z + x * w);
    out->m[2][0] = 2.0f * (x * z + y * w);
    out->m[2][1] = 2.0f * (y * z - x * w);
    out->m[2][2] = 1.0f - 2.0f * (x * x + y * y);
}

void QuatNormalize(PmdQuat* q) {
    const float length = std::sqrt(q->x * q->x + q->y * q->y + q->z * q->z + q->w * q->w);
    // Four lanes divided at once: each the very quotient of its own division.
    const __m128 v = _mm_loadu_ps(&q->x);
    _mm_storeu_ps(&q->x, _mm_div_ps(v, _mm_set1_ps(length)));
}

void QuatFromEuler(PmdQuat* out, float x, float y, float z) {
    QuatFromEuler(out, x, y, z, ExactSinCos());
}

void QuatFromEuler(PmdQuat* out, float x, float y, float z, const ExactSinCos& sinCos) {
    float sx, cx, sy, cy, sz, cz;
    sinCos(x * 0.5f, &sx, &cx);
    sinCos(y * 0.5f, &sy, &cy);
    sinCos(z * 0.5f, &sz, &cz);
    out->x = sx * cy * cz - cx * sy * sz;
    out->y = cx * sy * cz + sx * cy * sz;
    out->z = cx * cy * sz - sx * sy * cz;
    out->w = cx * cy * cz + sx * sy * sz;
}

namespace {

// The z angle's atan2 is the dearer half of the work; a caller that throws
// z away skips it.
void EulerAngles(Vec3* out, const PmdQuat* q, bool withZ) {
    constexpr float kLimit = 1.5707963f;
    const float x = q->x, y = q->y, z = q->z, w = q->w;
    float sine = -2.0f * (x * z + w * y);
    sine = sine < -1.0f ? -1.0f : (sine > 1.0f ? 1.0f : sine);
    out->y = static_cast<float>(AsinF(sine));
    if (out->y > -kLimit && out->y < kLimit) {
        out->x = static_cast<float>(Atan2F(2.0f * (x * w + y * z), 1.0f - 2.0f * (x * x + y * y)));
        out->z =
            withZ
                ? static_cast<float>(Atan2F(2.0f * (x * y + w * z), 1.0f - 2.0f * (y * y + z * z)))
                : 0.0f;
        return;
    }
    const float angle =
        static_cast<float>(Atan2F(2.0f * (x * y - w * z), 1.0f - 2.0f * (x * x + z * z)));
    out->x = out->y <= -kLimit ? -angle : angle;
    out->z = 0.0f;
}

}  // namespace

void EulerFromQuat(Vec3* out, const PmdQuat* q) {
    EulerAngles(out, q, true);
}

void EulerXYFromQuat(Vec3* out, const PmdQuat* q) {
    EulerAngles(out, q, false);
}

PmdQuat QuatMultiply(const PmdQuat& a, const PmdQuat& b) {
    return PmdQuat{a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
                   a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
                   a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w,
                   a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

namespace {

// Row `row` of the product of two affine matrices (last column 0, 0, 0, 1)
// without the terms that are exactly 0: the same sums in the same order as
// MatMul's, so the same bits, at less than half the cost.
void AffineRow(Mat4* out, const Mat4& a, const Mat4& b, int row) {
    // Columns 0 and 1 in the two lanes of a double pair, column 2 alone:
    // every lane takes its column's sums in the order above.
    const __m128d a0 = _mm_set1_pd(a.m[row][0]);
    const __m128d a1 = _mm_set1_pd(a.m[row][1]);
    const __m128d a2 = _mm_set1_pd(a.m[row][2]);
    __m128d pair = _mm_setzero_pd();
    pair = _mm_add_pd(pair, _mm_mul_pd(a0, _mm_set_pd(b.m[0][1], b.m[0][0])));
    pair = _mm_add_pd(pair, _mm_mul_pd(a1, _mm_set_pd(b.m[1][1], b.m[1][0])));
    pair = _mm_add_pd(pair, _mm_mul_pd(a2, _mm_set_pd(b.m[2][1], b.m[2][0])));
    double last = 0.0;
    last += static_cast<double>(a.m[row][0]) * b.m[0][2];
    last += static_cast<double>(a.m[row][1]) * b.m[1][2];
    last += static_cast<double>(a.m[row][2]) * b.m[2][2];
    if (row == 3) {
        pair = _mm_add_pd(pair, _mm_set_pd(b.m[3][1], b.m[3][0]));
        last += static_cast<double>(b.m[3][2]);
    }
    const __m128 floats = _mm_cvtpd_ps(pair);
    out->m[row][0] = _mm_cvtss_f32(floats);
    out->m[row][1] = _mm_cvtss_f32(_mm_shuffle_ps(floats, floats, 1));
    out->m[row][2] = static_cast<float>(last);
    out->m[row][3] = row == 3 ? 1.0f : 0.0f;
}

// MatMul of two affine matrices; the solver spends most of its time here.
void AffineProduct(Mat4* out, const Mat4& a, const Mat4& b) {
    for (int row = 0; row < 4; ++row) {
        AffineRow(out, a, b, row);
    }
}

}  // namespace

void UpdatePmdBoneMatrix(PmdBoneWork* bone) {
    Mat4 pose;
    PmdQuatToMatrix(&pose, &bone->poseRotation);
    pose.m[3][0] = bone->poseTranslation.x;
    pose.m[3][1] = bone->poseTranslation.y;
    pose.m[3][2] = bone->poseTranslation.z;
    if (bone->parent == nullptr) {
        bone->world = pose;
        return;
    }
    AffineProduct(&bone->world, pose, bone->parent->world);
}

void UpdatePmdBonePosition(PmdBoneWork* bone) {
    Mat4 pose;
    pose.m[3][0] = bone->poseTranslation.x;
    pose.m[3][1] = bone->poseTranslation.y;
    pose.m[3][2] = bone->poseTranslation.z;
    if (bone->parent == nullptr) {
        bone->world.m[3][0] = pose.m[3][0];
        bone->world.m[3][1] = pose.m[3][1];
        bone->world.m[3][2] = pose.m[3][2];
        bone->world.m[3][3] = 1.0f;
        return;
    }
    AffineRow(&bone->world, pose, bone->parent->world, 3);
}

int UpdatePmdBoneMatrices(int boneCount, PmdBoneWork* bones) {
    for (int i = 0; i < boneCount; ++i) {
        UpdatePmdBoneMatrix(&bones[i]);
    }
    return 0;
}

}  // namespace tessel
