// Attaching an animation set of a model's base to the model, and moving it to
// a time, as an animation player would: the library evaluates attached
// animations but leaves attaching and seeking to its callers. The blocks are
// tracked and laid out as the model's deletion frees them. The model example
// and the animation tests share it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/memory/memory.h"
#include "models/core/model_records.h"

namespace tessel {

inline float MotionKeyTime(const ModelKeySet& keys, int32_t k) {
    return keys.hasTimeTable != 0 ? keys.times[k]
                                  : keys.startTime + static_cast<float>(k) * keys.timeStep;
}

// The last key whose time is not after `time` (key 0 before the first).
inline int32_t LastKeyAtOrBefore(const ModelKeySet& keys, float time) {
    int32_t index = 0;
    for (int32_t k = 1; k < keys.keyCount; ++k) {
        if (MotionKeyTime(keys, k) <= time) {
            index = k;
        }
    }
    return index;
}

// Moves the motion attached in `slot` to `time`: every key cursor to the last
// key not after it, and the evaluation marked stale.
inline void SeekMotion(ModelInstance* record, int slot, float time) {
    ModelAttachedAnim* anim = record->attachSlots[slot].anim;
    anim->time = time;
    for (int32_t i = 0; i < anim->set->animCount; ++i) {
        ModelFrameAnimState& state = anim->states[i];
        for (int32_t k = 0; k < state.anim->keySetCount; ++k) {
            state.cursors[k].keyIndex = LastKeyAtOrBefore(*state.cursors[k].keySet, time);
        }
    }
    anim->evaluated = 0;
    record->animationsEvaluated = 0;
    record->matricesValid = 0;
}

// Attaches animation set `set` in `slot` with a blend rate, at `time`; the
// model's first attachment makes room for `slotCapacity` slots. false when a
// block is not had.
inline bool AttachMotion(ModelInstance* record, int set, int slot, float rate, float time,
                         int slotCapacity) {
    const ModelBase* base = record->base;
    const int32_t frames = base->frameCount;
    if (record->attachSlots == nullptr) {
        record->attachSlotCapacity = slotCapacity;
        record->attachSlots = static_cast<ModelAttachSlot*>(AllocTrackedZeroed(
            static_cast<uint32_t>(sizeof(ModelAttachSlot) * slotCapacity), __FILE__, __LINE__));
        record->attachTable = static_cast<ModelBlendEntry*>(AllocTrackedZeroed(
            static_cast<uint32_t>(sizeof(ModelBlendEntry) * slotCapacity * frames), __FILE__,
            __LINE__));
        if (record->attachSlots == nullptr || record->attachTable == nullptr) {
            return false;
        }
    }
    const ModelAnimSet& animSet = base->animSets[set];
    size_t cursors = 0;
    for (int32_t i = 0; i < animSet.animCount; ++i) {
        cursors += static_cast<size_t>(animSet.anims[i].keySetCount);
    }
    const size_t bytes = sizeof(ModelAttachedAnim) +
                         sizeof(ModelFrameAnimState) * animSet.animCount +
                         sizeof(ModelKeyCursor) * cursors;
    auto* anim = static_cast<ModelAttachedAnim*>(
        AllocTrackedZeroed(static_cast<uint32_t>(bytes), __FILE__, __LINE__));
    if (anim == nullptr) {
        return false;
    }
    anim->set = &animSet;
    anim->states = reinterpret_cast<ModelFrameAnimState*>(anim + 1);
    auto* cursor = reinterpret_cast<ModelKeyCursor*>(anim->states + animSet.animCount);
    for (int32_t i = 0; i < animSet.animCount; ++i) {
        ModelFrameAnimState& state = anim->states[i];
        const ModelAnim& a = animSet.anims[i];
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
            ModelBlendEntry& entry =
                record->attachTable[a.frame * record->attachSlotCapacity + slot];
            entry.inUse = 1;
            entry.rate = rate;
            entry.state = &state;
        }
    }
    record->attachSlots[slot].inUse = 1;
    record->attachSlots[slot].anim = anim;
    ++record->attachedAnimCount;
    SeekMotion(record, slot, time);
    return true;
}

}  // namespace tessel
