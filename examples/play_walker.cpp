// Plays our walking PMD character: its walk (motion 0, whose leg poses the
// loader baked from IK targets) and its blink (motion 1) loop at 30 frames a
// second while the camera stands before it, a little to its left.
//
//   play_walker [MODEL.pmd] [FRAMES] [--software]
//
// Without a model it shows the walker, which the build writes into the
// folder "example_walker" beside the program. It runs until the window is
// closed, or for FRAMES frames (also taken from PLAY_WALKER_FRAMES). The
// library evaluates attached animations but leaves attaching them and
// moving them in time to its callers: this program does both for its two
// motions. The software path has no 3D: there the model does not load.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "examples/example_options.h"
#include "examples/example_startup.h"
#include "examples/model_example.h"
#include "foundation/memory/memory.h"
#include "foundation/runtime/main_window.h"
#include "foundation/runtime/message_pump.h"
#include "foundation/runtime/startup.h"
#include "foundation/runtime/window_mode.h"
#include "graphics/camera/camera.h"
#include "graphics/device/graphics_device.h"
#include "graphics/images/image_records.h"
#include "graphics/targets/draw_targets.h"
#include "models/core/model_records.h"
#include "models/core/model_system.h"
#include "models/drawing/model_drawing.h"
#include "models/loading/model_loading.h"

namespace {

constexpr char kDefaultModel[] = "example_walker\\walker.pmd";
constexpr int kSlots = 2;
constexpr double kFramesPerSecond = 30.0;
constexpr double kScreenRate = 60.0;

float KeyTime(const tessel::ModelKeySet& keys, int k) {
    return keys.hasTimeTable != 0 ? keys.times[k]
                                  : keys.startTime + static_cast<float>(k) * keys.timeStep;
}

// Moves an attached motion to `time`: every key cursor to the last key not
// after it, and the evaluation marked stale.
void SeekMotion(tessel::ModelInstance* record, int slot, float time) {
    tessel::ModelAttachedAnim* anim = record->attachSlots[slot].anim;
    anim->time = time;
    for (int32_t i = 0; i < anim->set->animCount; ++i) {
        tessel::ModelFrameAnimState& state = anim->states[i];
        for (int32_t k = 0; k < state.anim->keySetCount; ++k) {
            const tessel::ModelKeySet& keys = *state.cursors[k].keySet;
            int32_t index = 0;
            while (index + 1 < keys.keyCount && KeyTime(keys, index + 1) <= time) {
                ++index;
            }
            state.cursors[k].keyIndex = index;
        }
    }
    anim->evaluated = 0;
    record->animationsEvaluated = 0;
    record->matricesValid = 0;
}

// Attaches animation set `set` in `slot` at full rate, in tracked blocks laid
// out as the model's deletion frees them. false when a block is not had.
bool AttachMotion(tessel::ModelInstance* record, int set, int slot) {
    const tessel::ModelBase* base = record->base;
    const int32_t frames = base->frameCount;
    if (record->attachSlots == nullptr) {
        record->attachSlotCapacity = kSlots;
        record->attachSlots = static_cast<tessel::ModelAttachSlot*>(tessel::AllocTrackedZeroed(
            sizeof(tessel::ModelAttachSlot) * kSlots, __FILE__, __LINE__));
        record->attachTable = static_cast<tessel::ModelBlendEntry*>(tessel::AllocTrackedZeroed(
            static_cast<uint32_t>(sizeof(tessel::ModelBlendEntry) * kSlots * frames), __FILE__,
            __LINE__));
        if (record->attachSlots == nullptr || record->attachTable == nullptr) {
            return false;
        }
    }
    const tessel::ModelAnimSet& animSet = base->animSets[set];
    size_t cursors = 0;
    for (int32_t i = 0; i < animSet.animCount; ++i) {
        cursors += static_cast<size_t>(animSet.anims[i].keySetCount);
    }
    const size_t bytes = sizeof(tessel::ModelAttachedAnim) +
                         sizeof(tessel::ModelFrameAnimState) * animSet.animCount +
                         sizeof(tessel::ModelKeyCursor) * cursors;
    auto* anim = static_cast<tessel::ModelAttachedAnim*>(
        tessel::AllocTrackedZeroed(static_cast<uint32_t>(bytes), __FILE__, __LINE__));
    if (anim == nullptr) {
        return false;
    }
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
            entry.rate = 1.0f;
            entry.state = &state;
        }
    }
    record->attachSlots[slot].inUse = 1;
    record->attachSlots[slot].anim = anim;
    ++record->attachedAnimCount;
    SeekMotion(record, slot, 0.0f);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const ExampleOptions options =
        ReadExampleOptions(argc, argv, "PLAY_WALKER_FRAMES", kDefaultModel);
    const int model = StartModelExample(options, kDefaultModel, "Playing a walking character");
    if (model == -1) {
        return 1;
    }
    tessel::ModelInstance* record = tessel::GetModelInstance(model);
    const int motions = record->base->animSetCount < kSlots ? record->base->animSetCount : kSlots;
    for (int m = 0; m < motions; ++m) {
        if (!AttachMotion(record, m, m)) {
            std::fprintf(stderr, "motion %d could not be attached\n", m);
        }
    }
    std::printf("%d motions playing\n", motions);
    tessel::SetBackgroundRgb(40, 48, 64);
    const long frames = RunFrames(options.frames, [&](long frame) {
        tessel::EraseDrawTarget(nullptr);
        tessel::PlaceCameraByAngles(-12.0f, 10.0f, -30.0f, 0.1f, 0.38f, 0.0f);
        tessel::SetCameraDepthRange(1.0f, 1000.0f);
        const double seconds = static_cast<double>(frame) / kScreenRate;
        for (int m = 0; m < motions; ++m) {
            if (record->attachSlots == nullptr || record->attachSlots[m].anim == nullptr) {
                continue;
            }
            const double length = record->base->animSets[m].length;
            const double at = std::fmod(seconds * kFramesPerSecond, length > 0.0 ? length : 1.0);
            SeekMotion(record, m, static_cast<float>(at));
        }
        tessel::RenderModel(model);
    });
    tessel::EndLibrary();
    std::printf("%ld frames\n", frames);
    return 0;
}
