// The motion reader on a whole input as the motion file, against the small
// legged character of the motion tests (two knee chains, two morphs): every
// set that comes out is walked key by key. The bake's cost grows with the
// last frame, which may reach the cap of a million: a frame's solve costs up
// to about 0.6 ms when the targets stay out of reach, and each baked key
// along a hostile curve about 0.7 us. Motions naming frames past 500 meet a
// character of one bone and no chains, and past 200,000 one of no bones (the
// keys are still read, counted and bounded to the cap), so that each run
// stays well under a second.
#include <cstring>

#include "foundation/memory/log.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_target.h"
#include "tests/models/pmd/pmd_rig.h"

namespace {

constexpr uint32_t kSolvedFramesLimit = 500;
constexpr uint32_t kBakedFramesLimit = 200000;

uint32_t U32At(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// The largest frame the bone and morph keys inside the input name.
uint32_t LargestNamedFrame(const uint8_t* data, size_t size) {
    uint32_t largest = 0;
    size_t at = 50;
    for (size_t section = 0, stride = 111; section < 2 && at + 4 <= size; ++section, stride = 23) {
        const uint64_t count = U32At(data + at);
        at += 4;
        for (uint64_t k = 0; k < count && at + stride <= size; ++k, at += stride) {
            const uint32_t frame = U32At(data + at + 15);
            largest = frame > largest ? frame : largest;
        }
    }
    return largest;
}

void BuildRig(tessel_test::PmdRig* rig, uint32_t lastFrame) {
    if (lastFrame <= kSolvedFramesLimit) {
        tessel_test::BuildLeggedRig(rig);
    } else if (lastFrame <= kBakedFramesLimit) {
        rig->AddBone("centre", -1, {0.0f, 10.0f, 0.0f});
    }
    rig->AddShape("blink");
    rig->AddShape("smile");
}

uint32_t WalkKeys(const tessel::ReadModel& model) {
    uint32_t sum = 0;
    for (const tessel::ReadModelKeySet* keys = model.firstKeySet; keys != nullptr;
         keys = keys->next) {
        const int32_t floats = tessel::ReadModelKeyValueBytes(keys->kind) / 4;
        const auto* values = static_cast<const float*>(keys->values);
        for (int32_t k = 0; k < keys->keyCount; ++k) {
            uint32_t bits;
            std::memcpy(&bits, &keys->times[k], 4);
            sum += bits;
            std::memcpy(&bits, &values[k * floats], 4);
            sum += bits;
        }
    }
    return sum;
}

}  // namespace

TESSEL_FUZZ_TARGET(model_vmd) {
    static const bool ready = [] {
        tessel::EnableLogFile(0);
        return true;
    }();
    (void)ready;
    tessel_test::PmdRig rig;
    BuildRig(&rig, LargestNamedFrame(data, size));
    std::vector<uint8_t> image(data, data + size);
    if (rig.Load(image) == 0) {
        tessel_fuzz::sink = tessel_fuzz::sink + WalkKeys(rig.model);
    }
    return 0;
}
