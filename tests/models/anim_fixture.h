// Frame trees for the animation tests, and attaching and seeking their
// animation sets through the tools' attach calls.
#pragma once

#include "foundation/memory/memory.h"
#include "models/core/model_records.h"
#include "tests/models/model_base_builder.h"
#include "tools/lib/attach_motion.h"

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

inline void SeekAnim(tessel::ModelInstance* record, int slot, float time) {
    tessel::SeekMotion(record, slot, time);
}

// Attaches animation set `set` in `slot` with a blend rate at a time; false when a block is
// not had.
inline bool AttachAnim(tessel::ModelInstance* record, int set, int slot, float rate, float time) {
    return tessel::AttachMotion(record, set, slot, rate, time, kTestAttachSlots);
}

}  // namespace tessel_test
