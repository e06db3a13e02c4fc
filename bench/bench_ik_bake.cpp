// Baking a motion for a PMD character: a 1,000-frame walk of the small legged
// character of the motion tests (12 bones, two knee chains of 40 iterations,
// keys every 10 frames on the centre, the feet's IK targets and the upper
// body) read and baked whole, the chains solved at every frame, in
// milliseconds per motion (goal: at most 20 ms); and the same character
// reaching for targets out of reach.
#include <benchmark/benchmark.h>

#include "support/spread.h"
#include "tests/models/pmd/pmd_rig.h"

namespace {

void BM_BakeWalkWithIk(benchmark::State& state) {
    const std::vector<uint8_t> motion = tessel_test::WalkMotion(1000);
    for (auto _ : state) {
        tessel_test::PmdRig rig;
        tessel_test::BuildLeggedRig(&rig);
        if (rig.Load(motion) != 0) {
            state.SkipWithError("the walk did not bake");
        }
        benchmark::DoNotOptimize(rig.model.keyDataBytes);
    }
}
BENCHMARK(BM_BakeWalkWithIk)->Unit(benchmark::kMillisecond);

// The same character over 1,000 frames with both feet's targets out of reach
// below it, in milliseconds per motion.
void BM_BakeUnreachableTargets(benchmark::State& state) {
    const std::vector<uint8_t> motion = tessel_test::UnreachableMotion(1000);
    for (auto _ : state) {
        tessel_test::PmdRig rig;
        tessel_test::BuildLeggedRig(&rig);
        if (rig.Load(motion) != 0) {
            state.SkipWithError("the motion did not bake");
        }
        benchmark::DoNotOptimize(rig.model.keyDataBytes);
    }
}
BENCHMARK(BM_BakeUnreachableTargets)->Unit(benchmark::kMillisecond);

void PrintSummary(const benchspread::SpreadReporter& r) {
    benchspread::PrintSummaryHeader("ms a motion, CPU");
    benchspread::PrintFigureRow("BM_BakeWalkWithIk",
                                benchspread::Scaled(r.Get("BM_BakeWalkWithIk", "cpu_seconds"), 1e3),
                                20, true);
    benchspread::PrintFigureRow(
        "BM_BakeUnreachableTargets",
        benchspread::Scaled(r.Get("BM_BakeUnreachableTargets", "cpu_seconds"), 1e3), 0, true);
}

}  // namespace

int main(int argc, char** argv) {
    return benchspread::RunWithSummary(argc, argv, PrintSummary);
}
