// Baking a bone's motion keys into one key per frame: the file's Bezier
// curves per channel, quaternions blended along the shorter way.
#include "models/pmd/vmd_internal.h"

namespace tessel {

namespace {

// s^3 + x2 s^2 (1 - s) + x1 s (1 - s)^2, the curve's coordinate at parameter s.
float CurveCoordinate(float first, float second, float s) {
    const float rest = 1.0f - s;
    return s * s * s + second * s * s * rest + first * s * rest * rest;
}

void StoreEntry(PmdBoneWork* bone, int32_t index, uint32_t time, const Vec3& translation,
                const PmdQuat& rotation) {
    bone->translationTimes[index] = static_cast<float>(time);
    bone->rotationTimes[index] = static_cast<float>(time);
    bone->bakedTranslations[index] = translation;
    bone->bakedRotations[index] = rotation;
}

void RepeatEntry(PmdBoneWork* bone, int32_t index, uint32_t time, int32_t from) {
    StoreEntry(bone, index, time, bone->bakedTranslations[from], bone->bakedRotations[from]);
}

}  // namespace

float VmdCurveValue(const float* curve, float t) {
    const float x1 = curve[0], y1 = curve[1], x2 = curve[2], y2 = curve[3];
    float s = t;
    for (int step = 0; step < 32; ++step) {
        const float residual = CurveCoordinate(x1, x2, s) - t;
        if (residual > -1e-4f && residual < 1e-4f) {
            break;
        }
        s -= 0.5f * residual;
    }
    return CurveCoordinate(y1, y2, s);
}

void VmdKeyValue(const VmdBoneKey* key, const Vec3* rest, Vec3* translation, PmdQuat* rotation) {
    *translation =
        Vec3{rest->x + key->position.x, rest->y + key->position.y, rest->z + key->position.z};
    *rotation = key->rotation;
    QuatNormalize(rotation);
}

void VmdSegmentValue(const VmdBoneKey* a, const VmdBoneKey* b, uint32_t g, const Vec3* rest,
                     Vec3* translation, PmdQuat* rotation) {
    const float t = static_cast<float>(g - a->frame) / static_cast<float>(b->frame - a->frame);
    float u[4];
    for (int channel = 0; channel < 4; ++channel) {
        u[channel] = a->linear[channel] != 0 ? t : VmdCurveValue(a->curve + 4 * channel, t);
    }
    translation->x = rest->x + a->position.x + (b->position.x - a->position.x) * u[0];
    translation->y = rest->y + a->position.y + (b->position.y - a->position.y) * u[1];
    translation->z = rest->z + a->position.z + (b->position.z - a->position.z) * u[2];
    const PmdQuat& p = a->rotation;
    const PmdQuat& q = b->rotation;
    const float dot = p.x * q.x + p.y * q.y + p.z * q.z + p.w * q.w;
    const float w = u[3];
    const float sign = dot >= 0.0f ? 1.0f : -1.0f;
    *rotation = PmdQuat{(1.0f - w) * p.x + sign * w * q.x, (1.0f - w) * p.y + sign * w * q.y,
                        (1.0f - w) * p.z + sign * w * q.z, (1.0f - w) * p.w + sign * w * q.w};
    QuatNormalize(rotation);
}

void BakeVmdBoneKeys(PmdBoneWork* bone, const VmdNameEntry* entry, uint32_t lastFrame) {
    const Vec3 rest = bone->frame->translation;
    auto* first = static_cast<VmdBoneKey*>(entry->firstKey);
    const bool chain = bone->inChain != 0;
    Vec3 translation;
    PmdQuat rotation;
    int32_t at = 0;
    if (chain) {
        VmdKeyValue(first, &rest, &translation, &rotation);
        for (uint32_t g = 0; g < first->frame; ++g) {
            StoreEntry(bone, at++, g, translation, rotation);
        }
    }
    VmdBoneKey* key = first;
    for (; key->next != nullptr; key = key->next) {
        key->firstBaked = at;
        for (uint32_t g = key->frame; g < key->next->frame; ++g) {
            VmdSegmentValue(key, key->next, g, &rest, &translation, &rotation);
            StoreEntry(bone, at++, g, translation, rotation);
        }
    }
    key->firstBaked = at;
    VmdKeyValue(key, &rest, &translation, &rotation);
    StoreEntry(bone, at++, key->frame, translation, rotation);
    if (!chain) {
        return;
    }
    for (uint32_t g = key->frame + 1; g <= lastFrame; ++g, ++at) {
        RepeatEntry(bone, at, g, at - 1);
    }
}

}  // namespace tessel
