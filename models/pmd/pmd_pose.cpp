// Bone poses of the PMD reader: quaternions and their Euler angles, and the
// bones' world matrices from their poses.
#include "foundation/base/numbers.h"
#include "models/math/model_math.h"
#include "models/pmd/pmd_pose_math.h"
#include "models/pmd/pmd_work.h"

namespace tessel {

void PmdQuatToMatrix(Mat4* out, const PmdQuat* q) {
    pmd_pose::QuatToMatrix(out, *q);
}

void QuatNormalize(PmdQuat* q) {
    pmd_pose::Normalize(q);
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
    return pmd_pose::Multiply(a, b);
}

void UpdatePmdBoneMatrix(PmdBoneWork* bone) {
    pmd_pose::BoneMatrix(bone);
}

void UpdatePmdBonePosition(PmdBoneWork* bone) {
    pmd_pose::BonePosition(bone);
}

int UpdatePmdBoneMatrices(int boneCount, PmdBoneWork* bones) {
    for (int i = 0; i < boneCount; ++i) {
        UpdatePmdBoneMatrix(&bones[i]);
    }
    return 0;
}

}  // namespace tessel
