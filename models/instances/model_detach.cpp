// The per-model blocks that deleting a model frees: attached animations, the
// blocks attached to the model or a frame, and the work buffers.
#include "foundation/memory/memory.h"
#include "models/anim/model_animation.h"
#include "models/core/model_system.h"
#include "models/instances/model_instances.h"
#include "models/util/model_containers.h"

namespace tessel {

namespace {

ModelInstance* LiveModel(int modelHandle) {
    return g_models.initialised != 0 ? GetModelInstance(modelHandle) : nullptr;
}

bool FrameInRange(const ModelInstance* record, int frame) {
    return frame >= -1 && frame < record->base->frameCount;
}

}  // namespace

int DetachModelAnim(int modelHandle, int slot) {
    ModelInstance* record = LiveModel(modelHandle);
    if (record == nullptr || slot < 0 || slot >= record->attachSlotCapacity) {
        return -1;
    }
    ModelAttachSlot& attach = record->attachSlots[slot];
    if (attach.inUse != 0) {
        // The frames it moved must be computed again without it, or they
        // would keep its pose.
        ModelAttachedAnim* anim = attach.anim;
        for (int32_t i = 0; anim != nullptr && i < anim->set->animCount; ++i) {
            ModelInstanceFrame* target = anim->states[i].target;
            if (target != nullptr) {
                MarkFrameChanged(target->change, target->changeBitWord);
            }
        }
        FreeTracked(anim);
        attach.anim = nullptr;
        attach.inUse = 0;
        const int32_t capacity = record->attachSlotCapacity;
        for (int32_t frame = 0; frame < record->base->frameCount; ++frame) {
            ModelBlendEntry& entry = record->attachTable[frame * capacity + slot];
            entry.inUse = 0;
            entry.state = nullptr;
        }
        --record->attachedAnimCount;
    }
    record->animationsEvaluated = 0;
    record->matricesValid = 0;
    return 0;
}

int FreeModelFrameBlock(int modelHandle, int frame) {
    ModelInstance* record = LiveModel(modelHandle);
    if (record == nullptr || !FrameInRange(record, frame)) {
        return -1;
    }
    void** owner = frame < 0 ? &record->attachedBlock : &record->frames[frame].attachedBlock;
    void* block = *owner;
    if (block == nullptr) {
        return 0;
    }
    *owner = nullptr;
    // The block's first word heads the chain of blocks it holds.
    FreeChainedBlocks(static_cast<void**>(block));
    FreeTracked(block);
    return 0;
}

int FreeModelWorkBuffer(int modelHandle, int frame, int kind) {
    ModelInstance* record = LiveModel(modelHandle);
    if (record == nullptr || !FrameInRange(record, frame) || kind < 0 || kind > 1) {
        return -1;
    }
    void** buffers = frame < 0 ? record->workBuffers : record->frames[frame].workBuffers;
    // The record keeps kind 1 first.
    void*& buffer = buffers[1 - kind];
    FreeTracked(buffer);
    buffer = nullptr;
    return 0;
}

}  // namespace tessel
