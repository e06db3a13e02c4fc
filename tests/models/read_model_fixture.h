// Small read models built as a reader builds them: meshes of positions and
// polygon faces in a frame, and animations with key sets whose times are a
// table or a step and a start, their bytes counted in keyDataBytes. The
// model is released, and its blocks checked gone, when the fixture ends.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "foundation/memory/memory.h"
#include "models/read/read_model.h"
#include "models/util/model_containers.h"
#include "tests/models/read_model_chain.h"

namespace tessel_test {

struct KeySetLayout {
    int kind = 1;
    int target = 10;
    float length = 0.0f;
    std::vector<float> times;  // empty: no table, the keys at step x i + start
    float step = 1.0f;
    float start = 0.0f;
    std::vector<float> values;  // keyCount x the kind's floats
};

class ReadModelFixture {
  public:
    ReadModelFixture() {
        before_ = tessel::TrackedBlockCount();
        tessel::ReadModelClear(&model);
    }
    ~ReadModelFixture() {
        tessel::ReadModelRelease(&model);
        EXPECT_EQ(tessel::TrackedBlockCount(), before_) << "a block outlived the read model";
    }
    ReadModelFixture(const ReadModelFixture&) = delete;
    ReadModelFixture& operator=(const ReadModelFixture&) = delete;

    // A chain copy of the items.
    template <typename T>
    T* Chain(const std::vector<T>& items) {
        return ChainCopy(&model, items);
    }

    // A mesh in a frame of its own: the faces name positions; every other
    // index array of a corner is 0.
    tessel::ReadModelMesh* AddMesh(const std::vector<tessel::Vec3>& positions,
                                   const std::vector<std::vector<int>>& faces,
                                   float smoothingAngle = 1.5207964f) {
        tessel::ReadModelFrame* frame = tessel::ReadModelNewFrame(&model, "frame", nullptr);
        frame->smoothingAngle = smoothingAngle;
        tessel::ReadModelMesh* mesh = tessel::ReadModelNewMesh(&model, frame);
        mesh->positionCount = static_cast<int32_t>(positions.size());
        mesh->positions = Chain(positions);
        std::vector<tessel::ReadModelFace> records(faces.size());
        for (size_t f = 0; f < faces.size(); ++f) {
            std::memset(&records[f], 0, sizeof records[f]);
            records[f].cornerCount = static_cast<int32_t>(faces[f].size());
            records[f].corners = tessel::ReadModelNewCorners(&model, records[f].cornerCount);
            for (size_t k = 0; k < faces[f].size(); ++k) {
                records[f].corners[k].position = faces[f][k];
            }
        }
        mesh->faceCount = static_cast<int32_t>(faces.size());
        mesh->faces = Chain(records);
        return mesh;
    }

    tessel::ReadModelAnim* AddAnim(int keepVectorKeys = 0) {
        tessel::ReadModelAnimSet* set = tessel::ReadModelNewAnimSet(&model, "set");
        set->keepVectorKeys = keepVectorKeys;
        tessel::ReadModelAnim* anim = tessel::ReadModelNewAnim(&model, set);
        anim->animFlag = 1;
        return anim;
    }

    tessel::ReadModelKeySet* AddKeys(tessel::ReadModelAnim* anim, const KeySetLayout& layout) {
        tessel::ReadModelKeySet* keys = tessel::ReadModelNewKeySet(&model, anim);
        const int floats = tessel::ReadModelKeyValueBytes(layout.kind) / 4;
        keys->kind = static_cast<uint8_t>(layout.kind);
        keys->target = static_cast<uint8_t>(layout.target);
        keys->length = layout.length;
        keys->keyCount = static_cast<int32_t>(layout.values.size()) / floats;
        keys->values = Chain(layout.values);
        keys->hasTimeTable = layout.times.empty() ? 0 : 1;
        keys->times = Chain(layout.times);
        keys->timeStep = layout.step;
        keys->startTime = layout.start;
        model.keyDataBytes += keys->keyCount * (floats * 4 + (layout.times.empty() ? 0 : 4));
        return keys;
    }

    tessel::ReadModel model;

  private:
    uint32_t before_ = 0;
};

// The bytes the model's key sets need, counted from the sets themselves.
inline int32_t KeyBytesOfSets(const tessel::ReadModel& model) {
    int32_t total = 0;
    for (const tessel::ReadModelKeySet* k = model.firstKeySet; k != nullptr; k = k->next) {
        total += k->keyCount *
                 (tessel::ReadModelKeyValueBytes(k->kind) + (k->hasTimeTable != 0 ? 4 : 0));
    }
    return total;
}

// The key sets of an animation in order.
inline std::vector<tessel::ReadModelKeySet*> KeySetsOf(const tessel::ReadModelAnim* anim) {
    std::vector<tessel::ReadModelKeySet*> sets;
    for (tessel::ReadModelKeySet* k = anim->firstKeySet; k != nullptr; k = k->nextInAnim) {
        sets.push_back(k);
    }
    return sets;
}

inline tessel::ReadModelKeySet* KeysWithTarget(const tessel::ReadModelAnim* anim, int target) {
    for (tessel::ReadModelKeySet* k = anim->firstKeySet; k != nullptr; k = k->nextInAnim) {
        if (k->target == target) {
            return k;
        }
    }
    return nullptr;
}

inline std::vector<float> ValuesOf(const tessel::ReadModelKeySet* keys) {
    const int floats = tessel::ReadModelKeyValueBytes(keys->kind) / 4;
    const auto* v = static_cast<const float*>(keys->values);
    return std::vector<float>(v, v + static_cast<size_t>(keys->keyCount) * floats);
}

inline std::vector<float> TimesOf(const tessel::ReadModelKeySet* keys) {
    if (keys->hasTimeTable == 0) {
        return {};
    }
    return std::vector<float>(keys->times, keys->times + keys->keyCount);
}

// The lists agree with their counts and links both ways, model-wide and per
// animation.
inline void ExpectKeyListsWhole(const tessel::ReadModel& model) {
    int count = 0;
    const tessel::ReadModelKeySet* last = nullptr;
    for (const tessel::ReadModelKeySet* k = model.firstKeySet; k != nullptr; k = k->next) {
        EXPECT_EQ(k->prev, last);
        last = k;
        ++count;
    }
    EXPECT_EQ(model.lastKeySet, last);
    int inAnims = 0;
    for (const tessel::ReadModelAnim* a = model.firstAnim; a != nullptr; a = a->next) {
        int n = 0;
        const tessel::ReadModelKeySet* lastInAnim = nullptr;
        for (const tessel::ReadModelKeySet* k = a->firstKeySet; k != nullptr; k = k->nextInAnim) {
            EXPECT_EQ(k->prevInAnim, lastInAnim);
            lastInAnim = k;
            ++n;
        }
        EXPECT_EQ(a->lastKeySet, lastInAnim);
        EXPECT_EQ(a->keySetCount, n);
        inAnims += n;
    }
    EXPECT_EQ(model.keySetCount, count);
    EXPECT_EQ(count, inAnims) << "a set in the model's list is in no animation";
}

}  // namespace tessel_test
