// Baking a motion for a PMD character: a 1,000-frame walk of the small legged
// character of the motion tests (12 bones, two knee chains of 40 iterations,
// keys every 10 frames on the centre, the feet's IK targets and the upper
// body) read and baked whole, the chains solved at every frame, in
// milliseconds of wall time per motion (goal: at most 20 ms); and the same
// character reaching for targets out of reach. Each bakes on one thread
// (workers:1) and then on as many as the bake itself chooses for this
// machine (workers:0), side by side.
#include <benchmark/benchmark.h>

#include "models/pmd/vmd_internal.h"
#include "support/spread.h"
#include "tests/models/pmd/pmd_rig.h"

namespace {

void Bake(benchmark::State& state, const std::vector<uint8_t>& motion) {
    tessel::ForceVmdIkBakeWorkers(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        tessel_test::PmdRig rig;
        tessel_test::BuildLeggedRig(&rig);
        if (rig.Load(motion) != 0) {
            state.SkipWithError("the motion did not bake");
        }
        benchmark::DoNotOptimize(rig.model.keyDataBytes);
    }
    state.counters["workers"] = tessel::VmdIkBakeWorkersOfLastBake();
    tessel::ForceVmdIkBakeWorkers(0);
}

// One thread, then the bake's own choice of workers; wall milliseconds.
void OneThreadThenTheBakesWorkers(benchmark::internal::Benchmark* b) {
    b->ArgName("workers")->Arg(1)->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond);
}

void BM_BakeWalkWithIk(benchmark::State& state) {
    Bake(state, tessel_test::WalkMotion(1000));
}
BENCHMARK(BM_BakeWalkWithIk)->Apply(OneThreadThenTheBakesWorkers);

// The same character over 1,000 frames with both feet's targets out of reach
// below it, in milliseconds per motion.
void BM_BakeUnreachableTargets(benchmark::State& state) {
    Bake(state, tessel_test::UnreachableMotion(1000));
}
BENCHMARK(BM_BakeUnreachableTargets)->Apply(OneThreadThenTheBakesWorkers);

void PrintSummary(const benchspread::SpreadReporter& r) {
    benchspread::PrintSummaryHeader("ms a motion, wall");
    const auto wall = [&r](const char* name) {
        return benchspread::ScaledFigure(r, name, "real_seconds", 1e3);
    };
    benchspread::PrintFigureRow("walk, one thread", wall("BM_BakeWalkWithIk/workers:1"), 0, true);
    benchspread::PrintFigureRow("walk, the bake's workers", wall("BM_BakeWalkWithIk/workers:0"), 20,
                                true);
    benchspread::PrintFigureRow("out of reach, one thread",
                                wall("BM_BakeUnreachableTargets/workers:1"), 0, true);
    benchspread::PrintFigureRow("out of reach, the bake's workers",
                                wall("BM_BakeUnreachableTargets/workers:0"), 0, true);
}

}  // namespace

int main(int argc, char** argv) {
    return benchspread::RunWithSummary(argc, argv, PrintSummary);
}
