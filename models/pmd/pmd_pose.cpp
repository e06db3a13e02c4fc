// Bone poses of the PMD reader: quaternions and their Euler angles, and the
// bones' world matrices from their poses.
#include "foundation/base/numbers.h"
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
    const float length = SqrtFloat(q->x * q->x + q->y * q->y + q->z * q->z + q->w * q->w);
    q->x /= length;
    q->y /= length;
    q->z /= length;
    q->w /= length;
}

void QuatFromEuler(PmdQuat* out, float x, float y, float z) {
    float sx, cx, sy, cy, sz, cz;
    SinCos(x * 0.5f, &sx, &cx);
    SinCos(y * 0.5f, &sy, &cy);
    SinCos(z * 0.5f, &sz, &cz);
    out->x = sx * cy * cz - cx * sy * sz;
    out->y = cx * sy * cz + sx * cy * sz;
    out->z = cx * cy * sz - sx * sy * cz;
    out->w = cx * cy * cz + sx * sy * sz;
}

void EulerFromQuat(Vec3* out, const PmdQuat* q) {
    constexpr float kLimit = 1.5707963f;
    const float x = q->x, y = q->y, z = q->z, w = q->w;
    float sine = -2.0f * (x * z + w * y);
    sine = sine < -1.0f ? -1.0f : (sine > 1.0f ? 1.0f : sine);
    out->y = static_cast<float>(AsinF(sine));
    if (out->y > -kLimit && out->y < kLimit) {
        out->x = static_cast<float>(Atan2F(2.0f * (x * w + y * z), 1.0f - 2.0f * (x * x + y * y)));
        out->z = static_cast<float>(Atan2F(2.0f * (x * y + w * z), 1.0f - 2.0f * (y * y + z * z)));
        return;
    }
    const float angle =
        static_cast<float>(Atan2F(2.0f * (x * y - w * z), 1.0f - 2.0f * (x * x + z * z)));
    out->x = out->y <= -kLimit ? -angle : angle;
    out->z = 0.0f;
}

PmdQuat QuatMultiply(const PmdQuat& a, const PmdQuat& b) {
    return PmdQuat{a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
                   a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
                   a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w,
                   a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

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
    MatMul(&bone->world, &pose, &bone->parent->world);
}

int UpdatePmdBoneMatrices(int boneCount, PmdBoneWork* bones) {
    for (int i = 0; i < boneCount; ++i) {
        UpdatePmdBoneMatrix(&bones[i]);
    }
    return 0;
}

}  // namespace tessel
