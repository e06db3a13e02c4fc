// Attaching an animation set of a model's base to the model, and moving it
// to a time, as an animation player would: the library evaluates attached
// animations but leaves attaching and seeking to its callers. The blocks are
// tracked and laid out as the model's deletion frees them.
#pragma once

#include "foundation/memory/memory.h"
#include "models/core/model_records.h"
#include "tests/models/model_base_builder.h"

namespace tessel_test {

constexpr int kTestAttachSlots = 4;

// Four frames whose matrices reach every step of the tree: 0 a turned,
// scaled and moved root; 1 its child, turned 0.4 about y (order XYZ) and
// moved; 2 a child of 1 that only moves; 3 a second root without a
// transform of its own.
inline std::vector<TestFrame> TurnedFrameTree() {
    return {
        {-1, {1.5f, -2.25f, 0.75f}, {1.25f, 1.0f, 0.5f}, {0.3f, -0.2f, 0.7f}, 2, 1},
        {0, {0.5f, 3.125f, -1.0f}, {1.0f, 1.0f, 1.0f}, {0.0f, 0.4f, 0.0f}, 0, 1},
        {1, {-0.625f, 0.0f, 2.5f}, {1.0f, 1.0f, 1.0f}, {0.0f, 0.0f, 0.0f}, 0, 1},
        {-1, {0.0f, 0.0f, 0.0f}, {1.0f, 1.0f, 1.0f}, {0.0f, 0.0f, 0.0f}, 0, 1},
    };
}

inline float TestKeyTime(const tessel::ModelKeySet& set, int k) {
    return set.hasTimeTable != 0 ? set.times[k]
                                 : set.startTime + static_cast<float>(k) * set.timeStep;
}

// The last key whose time is not after `time` (key 0 before the first).
inline int32_t SeekKey(const tessel::ModelKeySet& set, float time) {
    int32_t index = 0;
    for (int32_t k = 1; k < set.keyCount; ++k) {
        if (TestKeyTime(set, k) <= time) {
            index = k;
        }
    }
    return index;
}

inline void SeekAnim(tessel::ModelInstance* record, int slot, float time) {
    tessel::ModelAttachedAnim* anim = record->attachSlots[slot].anim;
    anim->time = time;
    for (int32_t i = 0; i < anim->set->animCount; ++i) {
        tessel::ModelFrameAnimState& state = anim->states[i];
        for (int32_t k = 0; k < state.anim->keySetCount; ++k) {
            state.cursors[k].keyIndex = SeekKey(*state.cursors[k].keySet, time);
        }
    }
    anim->evaluated = 0;
    record->animationsEvaluated = 0;
    record->matricesValid = 0;
}

// Attaches animation set `set` in `slot` with a blend rate at a time.
inline void AttachAnim(tessel::ModelInstance* record, int set, int slot, float rate, float time) {
    const tessel::ModelBase* base = record->base;
    const int32_t frames = base->frameCount;
    if (record->attachSlots == nullptr) {
        record->attachSlotCapacity = kTestAttachSlots;
        record->attachSlots = static_cast<tessel::ModelAttachSlot*>(
            tessel::AllocTrackedZeroed(sizeof(tessel::ModelAttachSlot) * kTestAttachSlots, "", 0));
        record->attachTable = static_cast<tessel::ModelBlendEntry*>(tessel::AllocTrackedZeroed(
            sizeof(tessel::ModelBlendEntry) * kTestAttachSlots * frames, "", 0));
    }
    const tessel::ModelAnimSet& animSet = base->animSets[set];
    size_t cursors = 0;
    for (int32_t i = 0; i < animSet.animCount; ++i) {
        cursors += animSet.anims[i].keySetCount;
    }
    const size_t bytes = sizeof(tessel::ModelAttachedAnim) +
                         sizeof(tessel::ModelFrameAnimState) * animSet.animCount +
                         sizeof(tessel::ModelKeyCursor) * cursors;
    auto* block =
        static_cast<uint8_t*>(tessel::AllocTrackedZeroed(static_cast<uint32_t>(bytes), "", 0));
    auto* anim = reinterpret_cast<tessel::ModelAttachedAnim*>(block);
    anim->set = &animSet;
    anim->states = reinterpret_cast<tessel::ModelFrameAnimState*>(anim + 1);
    auto* cursor = reinterpret_cast<tessel::ModelKeyCursor*>(anim->states + animSet.animCount);
    for (int32_t i = 0; i < animSet.animCount; ++i) {
        tessel::ModelFrameAnimState& state = anim->states[i];
        const tessel::ModelAnim& a = animSet.anims[i];
        state.anim = &a;
        state.target = a.frame >= 0 && a.frame < frames ? &record->frames[a.frame] : nullptr;
        state.rotationOrder = state.target != nullptr ? state.target->base->rotationOrder : 0;
        state.cursors = cursor;
        for (int32_t k = 0; k < a.keySetCount; ++k) {
            cursor->keySet = &a.keySets[k];
            cursor->shapeIndex = a.keySets[k].target == 18 ? a.keySets[k].shapeIndex : -1;
            ++cursor;
        }
        if (state.target != nullptr) {
            tessel::ModelBlendEntry& entry =
                record->attachTable[a.frame * record->attachSlotCapacity + slot];
            entry.inUse = 1;
            entry.rate = rate;
            entry.state = &state;
        }
    }
    record->attachSlots[slot].inUse = 1;
    record->attachSlots[slot].anim = anim;
    ++record->attachedAnimCount;
    SeekAnim(record, slot, time);
}

}  // namespace tessel_test
