// The pose arithmetic of the bone matrices as inline functions, for the IK
// solver's inner steps; the pose file's functions are these. Each keeps its
// operations in the order that gives its bits: lanes of a vector register
// each do exactly their scalar operations.
#pragma once

#include <emmintrin.h>

#include <cmath>

#include "models/pmd/pmd_work.h"

namespace tessel::pmd_pose {

inline void QuatToMatrix(Mat4* out, const PmdQuat& q) {
    const float x = q.x, y = q.y, z = q.z, w = q.w;
    out->m[0][0] = 1.0f - 2.0f * (y * y + z * z);
    out->m[0][1] = 2.0f * (x * y + z * w);
    out->m[0][2] = 2.0f * (x * z - y * w);
    out->m[0][3] = 0.0f;
    out->m[1][0] = 2.0f * (x * y - z * w);
    out->m[1][1] = 1.0f - 2.0f * (x * x + z * z);
    out->m[1][2] = 2.0f * (y * z + x * w);
    out->m[1][3] = 0.0f;
    out->m[2][0] = 2.0f * (x * z + y * w);
    out->m[2][1] = 2.0f * (y * z - x * w);
    out->m[2][2] = 1.0f - 2.0f * (x * x + y * y);
    out->m[2][3] = 0.0f;
    out->m[3][0] = 0.0f;
    out->m[3][1] = 0.0f;
    out->m[3][2] = 0.0f;
    out->m[3][3] = 1.0f;
}

inline void Normalize(PmdQuat* q) {
    const float length = std::sqrt(q->x * q->x + q->y * q->y + q->z * q->z + q->w * q->w);
    const __m128 v = _mm_loadu_ps(&q->x);
    _mm_storeu_ps(&q->x, _mm_div_ps(v, _mm_set1_ps(length)));
}

inline PmdQuat Multiply(const PmdQuat& a, const PmdQuat& b) {
    return PmdQuat{a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
                   a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
                   a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w,
                   a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

// Row `row` of the product of two affine matrices (last column 0, 0, 0, 1)
// without the terms that are exactly 0: the same sums in the same order as
// MatMul's, so the same bits, at less than half the cost. Columns 0 and 1
// go in the two lanes of a double pair, column 2 alone.
inline void AffineRow(Mat4* out, const Mat4& a, const Mat4& b, int row) {
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

// world = pose matrix x parent's world (the pose matrix alone at the top).
inline void BoneMatrix(PmdBoneWork* bone) {
    Mat4 pose;
    QuatToMatrix(&pose, bone->poseRotation);
    pose.m[3][0] = bone->poseTranslation.x;
    pose.m[3][1] = bone->poseTranslation.y;
    pose.m[3][2] = bone->poseTranslation.z;
    if (bone->parent == nullptr) {
        bone->world = pose;
        return;
    }
    for (int row = 0; row < 4; ++row) {
        AffineRow(&bone->world, pose, bone->parent->world, row);
    }
}

// Only the world matrix's translation row.
inline void BonePosition(PmdBoneWork* bone) {
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

}  // namespace tessel::pmd_pose
