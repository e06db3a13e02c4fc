// Key normalisation: the runtime plays quaternion rotations and vector or
// one-float keys, so whole-matrix keys split into a translation and a 3x3
// part, the 3x3 part becomes quaternions (plus scale keys when it scales),
// vectors with a constant component split into three one-float sets so the
// constant one thins to a single key, and components that stayed alike merge
// back. Routes, in pass order: SplitMatrixSet, MatrixSetToQuaternions,
// thinning, SplitVectorSet, thinning, MergeComponents, thinning.
#include <cmath>
#include <cstring>
#include <initializer_list>

#include "foundation/memory/memory.h"
#include "models/read/read_model.h"
#include "models/read/read_model_preparation.h"
#include "models/util/model_containers.h"

namespace tessel {

namespace {

// Key kinds and targets the passes turn into one another.
constexpr uint8_t kKindVector = 1;
constexpr uint8_t kKindMatrix4x3 = 2;
constexpr uint8_t kKindMatrix3x3 = 3;
constexpr uint8_t kKindFloat = 5;
constexpr uint8_t kKindRotationQuaternion = 7;
constexpr uint8_t kTargetRotation = 0;
constexpr uint8_t kTargetScale = 5;
constexpr uint8_t kTargetTranslation = 10;
constexpr uint8_t kTargetMatrix = 15;
constexpr uint8_t kTargetMatrix3x3 = 17;

constexpr float kUnitScaleLow = 0.999f;
constexpr float kUnitScaleHigh = 1.0001f;
constexpr float kConstantComponent = 1e-6f;
constexpr float kEqualStart = 1e-7f;

// A byte count of count records of the given size, or 0 when it does not fit
// the allocators.
uint32_t ArrayBytes(int count, int recordBytes) {
    const uint64_t bytes = static_cast<uint64_t>(count) * static_cast<uint64_t>(recordBytes);
    return count <= 0 || bytes > UINT32_MAX ? 0 : static_cast<uint32_t>(bytes);
}

void* ChainArray(ReadModel* model, int count, int recordBytes) {
    const uint32_t bytes = ArrayBytes(count, recordBytes);
    return bytes == 0 ? nullptr : AllocChainedBlock(bytes, &model->blocks);
}

float* Floats(void* values) {
    return static_cast<float*>(values);
}

// Takes the key set out of its animation and out of the model.
void UnlinkKeySet(ReadModel* model, ReadModelAnim* anim, ReadModelKeySet* keys) {
    (keys->prev != nullptr ? keys->prev->next : model->firstKeySet) = keys->next;
    (keys->next != nullptr ? keys->next->prev : model->lastKeySet) = keys->prev;
    --model->keySetCount;
    (keys->prevInAnim != nullptr ? keys->prevInAnim->nextInAnim : anim->firstKeySet) =
        keys->nextInAnim;
    (keys->nextInAnim != nullptr ? keys->nextInAnim->prevInAnim : anim->lastKeySet) =
        keys->prevInAnim;
    --anim->keySetCount;
    keys->prev = keys->next = nullptr;
    keys->prevInAnim = keys->nextInAnim = nullptr;
}

// The new set gets the source's time form: a copy of its table in tableRoom,
// or its step and start.
void CopyTiming(const ReadModelKeySet* from, ReadModelKeySet* to, float* tableRoom) {
    to->length = from->length;
    to->keyCount = from->keyCount;
    to->hasTimeTable = from->hasTimeTable;
    to->timeStep = from->timeStep;
    to->startTime = from->startTime;
    to->times = nullptr;
    if (from->hasTimeTable != 0) {
        std::memcpy(tableRoom, from->times, static_cast<size_t>(from->keyCount) * 4);
        to->times = tableRoom;
    }
}

int TableBytesPerKey(const ReadModelKeySet* keys) {
    return keys->hasTimeTable != 0 ? 4 : 0;
}

template <typename Visit>
void ForEachKeySet(ReadModelAnim* anim, Visit visit) {
    for (ReadModelKeySet* keys = anim->firstKeySet; keys != nullptr;) {
        ReadModelKeySet* next = keys->nextInAnim;
        visit(keys);
        keys = next;
    }
}

void ThinAll(ReadModel* model, uint8_t onlyToSingle) {
    for (ReadModelAnim* anim = model->firstAnim; anim != nullptr; anim = anim->next) {
        ForEachKeySet(anim, [&](ReadModelKeySet* keys) { ThinKeySet(model, keys, onlyToSingle); });
    }
}

// ---- whole-matrix keys: translation plus a 3x3 set

void SplitMatrixSet(ReadModel* model, ReadModelAnim* anim, ReadModelKeySet* matrix) {
    const int count = matrix->keyCount;
    auto* room = static_cast<uint8_t*>(ChainArray(model, count, 16));
    if (room == nullptr) {
        return;
    }
    ReadModelKeySet* part = ReadModelNewKeySet(model, anim);
    if (part == nullptr) {
        return;
    }
    float* keys = Floats(matrix->values);
    auto* translations = reinterpret_cast<float*>(room);
    for (int i = 0; i < count; ++i) {
        std::memcpy(translations + 3 * i, keys + 12 * i + 9, 12);
    }
    for (int i = 0; i < count; ++i) {
        std::memmove(keys + 9 * i, keys + 12 * i, 36);
    }
    part->kind = kKindMatrix3x3;
    part->target = kTargetMatrix3x3;
    part->values = keys;
    CopyTiming(matrix, part, reinterpret_cast<float*>(room + static_cast<size_t>(count) * 12));
    matrix->kind = kKindVector;
    matrix->target = kTargetTranslation;
    matrix->values = translations;
    model->keyDataBytes += TableBytesPerKey(matrix) * count;
}

// ---- 3x3 keys: quaternions, and scales when any key scales

struct Quaternion {
    float x, y, z, w;
};

// m0 to m8 in stored order, with unit-length columns.
Quaternion QuaternionOfMatrix(const float* m) {
    Quaternion q;
    const float t = m[0] + m[4] + m[8] + 1.0f;
    if (t >= 1.0f) {
        const float s = 0.5f / std::sqrt(t);
        q.w = 0.25f / s;
        q.x = (m[5] - m[7]) * s;
        q.y = (m[6] - m[2]) * s;
        q.z = (m[1] - m[3]) * s;
    } else if (m[0] > m[4] && m[0] > m[8]) {
        const float r = std::sqrt(m[0] - m[4] - m[8] + 1.0f);
        const float s = 0.5f / r;
        q.x = r * 0.5f;
        q.y = (m[1] + m[3]) * s;
        q.z = (m[2] + m[6]) * s;
        q.w = (m[5] - m[7]) * s;
    } else if (m[4] >= m[8]) {
        const float r = std::sqrt(m[4] - m[8] - m[0] + 1.0f);
        const float s = 0.5f / r;
        q.y = r * 0.5f;
        q.x = (m[1] + m[3]) * s;
        q.z = (m[5] + m[7]) * s;
        q.w = (m[6] - m[2]) * s;
    } else {
        const float r = std::sqrt(m[8] - m[4] - m[0] + 1.0f);
        const float s = 0.5f / r;
        q.z = r * 0.5f;
        q.x = (m[2] + m[6]) * s;
        q.y = (m[5] + m[7]) * s;
        q.w = (m[1] - m[3]) * s;
    }
    return q;
}

bool UnitScale(float scale) {
    return scale >= kUnitScaleLow && scale <= kUnitScaleHigh;
}

// Divides column c (elements c, c + 3, c + 6) by its length; the length. A
// zero column stays as it is.
float NormaliseColumn(float* m, int c) {
    const float scale = std::sqrt(m[c] * m[c] + m[c + 3] * m[c + 3] + m[c + 6] * m[c + 6]);
    if (scale > 0.0f) {
        m[c] /= scale;
        m[c + 3] /= scale;
        m[c + 6] /= scale;
    }
    return scale;
}

void AddScaleSet(ReadModel* model, ReadModelAnim* anim, const ReadModelKeySet* rotation,
                 const float* times) {
    ReadModelKeySet* scales = ReadModelNewKeySet(model, anim);
    if (scales == nullptr) {
        return;
    }
    const int count = rotation->keyCount;
    auto* bytes = static_cast<uint8_t*>(rotation->values);
    scales->kind = kKindVector;
    scales->target = kTargetScale;
    scales->values = bytes + static_cast<size_t>(count) * 16;
    scales->length = rotation->length;
    scales->keyCount = count;
    scales->hasTimeTable = rotation->hasTimeTable;
    scales->timeStep = rotation->timeStep;
    scales->startTime = rotation->startTime;
    scales->times = nullptr;
    if (rotation->hasTimeTable != 0) {
        auto* table = reinterpret_cast<float*>(bytes + static_cast<size_t>(count) * 28);
        std::memcpy(table, times, static_cast<size_t>(count) * 4);
        scales->times = table;
    }
    model->keyDataBytes += (12 + TableBytesPerKey(scales)) * count;
}

void MatrixSetToQuaternions(ReadModel* model, ReadModelAnim* anim, ReadModelKeySet* matrix) {
    const int count = matrix->keyCount;
    const uint32_t bytes = ArrayBytes(count, 28);
    auto* work = bytes == 0 ? nullptr : static_cast<uint8_t*>(AllocTracked(bytes, "", 0));
    if (work == nullptr) {
        return;
    }
    auto* quaternions = reinterpret_cast<Quaternion*>(work);
    auto* scales = reinterpret_cast<float*>(work + static_cast<size_t>(count) * 16);
    bool scaled = false;
    for (int i = 0; i < count; ++i) {
        float m[9];
        std::memcpy(m, Floats(matrix->values) + 9 * i, sizeof m);
        for (int c = 0; c < 3; ++c) {
            scales[3 * i + c] = NormaliseColumn(m, c);
            scaled = scaled || !UnitScale(scales[3 * i + c]);
        }
        quaternions[i] = QuaternionOfMatrix(m);
    }
    const float* times = matrix->times;
    std::memcpy(matrix->values, work, static_cast<size_t>(count) * 28);
    matrix->kind = kKindRotationQuaternion;
    matrix->target = kTargetRotation;
    anim->animFlag = 0;
    model->keyDataBytes -= 20 * count;
    if (scaled) {
        AddScaleSet(model, anim, matrix, times);
    }
    FreeTracked(work);
}

// ---- vectors with a constant component: three one-float sets

bool HasConstantComponent(const ReadModelKeySet* keys) {
    const float* v = Floats(keys->values);
    for (int c = 0; c < 3; ++c) {
        bool constant = true;
        for (int i = 1; i < keys->keyCount && constant; ++i) {
            constant = std::fabs(v[3 * i + c] - v[c]) <= kConstantComponent;
        }
        if (constant) {
            return true;
        }
    }
    return false;
}

// The first component target of a vector target; 0 when it has none.
uint8_t FirstComponentTarget(uint8_t target) {
    switch (target) {
        case kTargetRotation:
            return 1;
        case kTargetScale:
            return 6;
        case kTargetTranslation:
            return 11;
        default:
            return 0;
    }
}

void SplitVectorSet(ReadModel* model, ReadModelAnim* anim, ReadModelKeySet* keys) {
    const uint8_t firstTarget = FirstComponentTarget(keys->target);
    if (firstTarget == 0 || keys->keyCount <= 1 || !HasConstantComponent(keys)) {
        return;
    }
    const int count = keys->keyCount;
    ReadModelKeySet* y = ReadModelNewKeySet(model, anim);
    ReadModelKeySet* z = y == nullptr ? nullptr : ReadModelNewKeySet(model, anim);
    float* tables = nullptr;
    if (z != nullptr && keys->hasTimeTable != 0) {
        tables = static_cast<float*>(ChainArray(model, count, 8));
    }
    float* yz = nullptr;
    if (z != nullptr && (tables != nullptr || keys->hasTimeTable == 0)) {
        yz = static_cast<float*>(ChainArray(model, count, 8));
    }
    if (yz == nullptr) {
        for (ReadModelKeySet* made : {z, y}) {
            if (made != nullptr) {
                UnlinkKeySet(model, anim, made);
            }
        }
        return;
    }
    float* v = Floats(keys->values);
    for (int i = 0; i < count; ++i) {
        yz[i] = v[3 * i + 1];
        yz[count + i] = v[3 * i + 2];
    }
    for (int i = 0; i < count; ++i) {
        v[i] = v[3 * i];
    }
    CopyTiming(keys, y, tables);
    CopyTiming(keys, z, tables == nullptr ? nullptr : tables + count);
    y->values = yz;
    z->values = yz + count;
    keys->kind = y->kind = z->kind = kKindFloat;
    keys->target = firstTarget;
    y->target = static_cast<uint8_t>(firstTarget + 1);
    z->target = static_cast<uint8_t>(firstTarget + 2);
    model->keyDataBytes += 2 * TableBytesPerKey(keys) * count;
    for (ReadModelKeySet* part : {keys, y, z}) {
        ThinKeySet(model, part, 0);
    }
}

// ---- one-float sets of the same timing: one vector set again

ReadModelKeySet* FindTarget(ReadModelAnim* anim, uint8_t target) {
    for (ReadModelKeySet* keys = anim->firstKeySet; keys != nullptr; keys = keys->nextInAnim) {
        if (keys->target == target) {
            return keys;
        }
    }
    return nullptr;
}

bool SameTiming(const ReadModelKeySet* a, const ReadModelKeySet* b) {
    if (a->keyCount != b->keyCount || a->hasTimeTable != b->hasTimeTable) {
        return false;
    }
    if (a->hasTimeTable == 0) {
        return a->timeStep == b->timeStep && std::fabs(a->startTime - b->startTime) <= kEqualStart;
    }
    for (int i = 0; i < a->keyCount; ++i) {
        if (a->times[i] != b->times[i]) {
            return false;
        }
    }
    return true;
}

void MergeComponents(ReadModel* model, ReadModelAnim* anim, uint8_t firstTarget,
                     uint8_t vectorTarget) {
    ReadModelKeySet* x = FindTarget(anim, firstTarget);
    ReadModelKeySet* y = FindTarget(anim, static_cast<uint8_t>(firstTarget + 1));
    ReadModelKeySet* z = FindTarget(anim, static_cast<uint8_t>(firstTarget + 2));
    if (x == nullptr || y == nullptr || z == nullptr) {
        return;
    }
    if (x->kind != kKindFloat || y->kind != kKindFloat || z->kind != kKindFloat ||
        !SameTiming(x, y) || !SameTiming(x, z)) {
        return;
    }
    const int count = x->keyCount;
    float* merged = static_cast<float*>(ChainArray(model, count, 12));
    if (merged == nullptr) {
        return;
    }
    for (int i = 0; i < count; ++i) {
        merged[3 * i] = Floats(x->values)[i];
        merged[3 * i + 1] = Floats(y->values)[i];
        merged[3 * i + 2] = Floats(z->values)[i];
    }
    x->kind = kKindVector;
    x->target = vectorTarget;
    x->values = merged;
    model->keyDataBytes -= 2 * TableBytesPerKey(x) * count;
    UnlinkKeySet(model, anim, y);
    UnlinkKeySet(model, anim, z);
}

}  // namespace

void SplitMatrixAnimKeys(ReadModel* model) {
    for (ReadModelAnim* anim = model->firstAnim; anim != nullptr; anim = anim->next) {
        ForEachKeySet(anim, [&](ReadModelKeySet* keys) {
            if (keys->target == kTargetMatrix && keys->kind == kKindMatrix4x3) {
                SplitMatrixSet(model, anim, keys);
            }
        });
    }
    for (ReadModelAnim* anim = model->firstAnim; anim != nullptr; anim = anim->next) {
        for (ReadModelKeySet* keys = anim->firstKeySet; keys != nullptr; keys = keys->nextInAnim) {
            if (keys->kind == kKindMatrix3x3 && keys->target == kTargetMatrix3x3) {
                MatrixSetToQuaternions(model, anim, keys);
                break;
            }
        }
    }
    ThinAll(model, 1);
    for (ReadModelAnim* anim = model->firstAnim; anim != nullptr; anim = anim->next) {
        if (anim->animSet != nullptr && anim->animSet->keepVectorKeys != 0) {
            continue;
        }
        ForEachKeySet(anim, [&](ReadModelKeySet* keys) {
            if (keys->kind == kKindVector) {
                SplitVectorSet(model, anim, keys);
            }
        });
    }
    ThinAll(model, 1);
    for (ReadModelAnim* anim = model->firstAnim; anim != nullptr; anim = anim->next) {
        MergeComponents(model, anim, 11, kTargetTranslation);
        MergeComponents(model, anim, 6, kTargetScale);
        MergeComponents(model, anim, 1, kTargetRotation);
    }
    ThinAll(model, 0);
}

}  // namespace tessel
