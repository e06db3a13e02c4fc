// The matrices of an animated model per frame: a 100-bone skeleton (a root
// and eleven limbs of nine frames, each frame with a skin bone) with two
// animations blended on every frame, moved to a new time and brought up to
// date as drawing does once a frame. The goal is 20 microseconds an update.
#include <benchmark/benchmark.h>

#include <cmath>

#include "bench/headless_library.h"
#include "models/anim/model_animation.h"
#include "models/core/model_system.h"
#include "support/spread.h"
#include "tests/models/anim_fixture.h"
#include "tests/models/model_base_builder.h"

namespace {

constexpr int kLimbs = 11;
constexpr int kLimbLength = 9;
constexpr int kKeys = 30;

tessel_test::TestKeySet Keys(uint8_t kind, uint8_t target, int floats, float phase) {
    tessel_test::TestKeySet keys;
    keys.kind = kind;
    keys.target = target;
    for (int k = 0; k < kKeys; ++k) {
        const float a = 0.2f * static_cast<float>(k) + phase;
        if (floats == 4) {
            // A turn of up to 0.3 radians about a slowly moving axis.
            const float half = 0.15f * std::sin(a);
            keys.values.insert(keys.values.end(), {std::sin(half) * 0.6f, std::sin(half) * 0.8f,
                                                   0.0f, std::cos(half)});
        } else {
            keys.values.insert(keys.values.end(),
                               {0.1f * std::sin(a), 1.0f + 0.05f * std::cos(a), 0.02f * a});
        }
    }
    return keys;
}

// Moves every cursor of an attached animation to a time on uniform keys.
void Seek(tessel::ModelInstance* model, int slot, float time) {
    tessel::ModelAttachedAnim* anim = model->attachSlots[slot].anim;
    anim->time = time;
    const int key = static_cast<int>(time) < kKeys - 1 ? static_cast<int>(time) : kKeys - 1;
    for (int32_t i = 0; i < anim->set->animCount; ++i) {
        tessel::ModelFrameAnimState& state = anim->states[i];
        for (int32_t k = 0; k < state.anim->keySetCount; ++k) {
            state.cursors[k].keyIndex = key;
        }
    }
    anim->evaluated = 0;
    model->animationsEvaluated = 0;
}

void BM_UpdateModelMatrices_100Bones_TwoBlendedAnimations(benchmark::State& state) {
    if (!benchlib::StartHeadlessLibrary(true) || tessel::g_models.initialised == 0) {
        state.SkipWithError("the library did not start on the hardware path");
        return;
    }
    tessel_test::TestBase base;
    base.frames = {tessel_test::TestFrame{}};
    for (int limb = 0; limb < kLimbs; ++limb) {
        for (int j = 0; j < kLimbLength; ++j) {
            tessel_test::TestFrame frame;
            frame.parent = j == 0 ? 0 : static_cast<int>(base.frames.size()) - 1;
            frame.translation = {0.0f, 1.5f, 0.25f * static_cast<float>(limb)};
            frame.rotation = {0.0f, 0.1f * static_cast<float>(j), 0.0f};
            base.frames.push_back(frame);
        }
    }
    const int frames = static_cast<int>(base.frames.size());
    for (int f = 0; f < frames; ++f) {
        tessel::Mat3x4 bind = {{{1, 0, 0, 0.5f}, {0, 1, 0, -1.5f * f}, {0, 0, 1, 0}}};
        base.skinBones.push_back({f, f, bind, 0});
    }
    for (int set = 0; set < 2; ++set) {
        tessel_test::TestAnimSet animSet;
        for (int f = 0; f < frames; ++f) {
            animSet.anims.push_back(
                {f, {Keys(set == 0 ? 0 : 7, 0, 4, 0.1f * f), Keys(1, 10, 3, 0.05f * f + set)}});
        }
        base.animSets.push_back(animSet);
    }
    if (base.Store() == -1) {
        state.SkipWithError("the base could not be stored");
        return;
    }
    const int handle = tessel_test::CreateTestModel(base.handle());
    tessel::ModelInstance* model = tessel::GetModelInstance(handle);
    tessel_test::AttachAnim(model, 0, 0, 0.75f, 0.0f);
    tessel_test::AttachAnim(model, 1, 1, 0.5f, 0.0f);
    tessel::UpdateModelMatrices(model);
    float time = 0.0f;
    for (auto _ : state) {
        time = time + 0.25f < kKeys - 1 ? time + 0.25f : 0.0f;
        Seek(model, 0, time);
        Seek(model, 1, time);
        model->matricesValid = 0;
        tessel::UpdateModelMatrices(model);
        benchmark::DoNotOptimize(model->boneMatrices[frames - 1].m[0][3]);
    }
    state.counters["frames"] = frames;
    tessel::DeleteModelInstance(handle);
    tessel::EndLibrary();
}
BENCHMARK(BM_UpdateModelMatrices_100Bones_TwoBlendedAnimations)->Unit(benchmark::kMicrosecond);

void PrintSummary(const benchspread::SpreadReporter& r) {
    const char* name = "BM_UpdateModelMatrices_100Bones_TwoBlendedAnimations";
    benchspread::PrintSummaryHeader("us an update, CPU");
    benchspread::PrintFigureRow(name, benchspread::Scaled(r.Get(name, "cpu_seconds"), 1e6), 20,
                                true);
}

}  // namespace

int main(int argc, char** argv) {
    return benchspread::RunWithSummary(argc, argv, PrintSummary);
}
