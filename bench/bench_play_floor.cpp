// The game's stage floor alone, as the play scene draws it into its 512x512 floor screen (the
// floor model from the generated data, the stage's camera and linear fog), on the CPU Direct3D
// device through the built-in shaders (shaders:1) and through the fixed-function path
// (shaders:0). CPU milliseconds per floor, the process's (the device rasterises large draws on
// helper threads). Goal: the shader path within 1.2 times the fixed path.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "bench/headless_library.h"
#include "game/draw/game_screens.h"
#include "game/loop/frame_calls.h"
#include "game/play/game_scene.h"
#include "game/startup/init_game.h"
#include "graphics/device/shader_pack.h"
#include "graphics/images/image_create.h"
#include "models/loading/model_loading.h"
#include "platform/d3d9_testing.h"
#include "platform/kernel/files.h"
#include "support/spread.h"
#include "tests/game/play/floor_stage.h"

namespace {

struct FloorRun {
    bool ready = false;
    std::unique_ptr<GameScene> scene;
};

FloorRun& Run() {
    static FloorRun run;
    if (run.ready) {
        return run;
    }
    if (!benchlib::StartHeadlessLibrary(true) || tessel::ShaderPathOn == 0) {
        return run;
    }
    const std::string path = platform::WindowsPathFromLinux(std::string(VANTREL_GAME_DATA_DIR) +
                                                            "/image/model/stage_1/yuka.mqo");
    const int model = tessel::LoadModel(path.c_str());
    FloorScreen = tessel::CreateDrawableImage(512, 512);
    if (model < 0 || FloorScreen == -1) {
        return run;
    }
    GameFloor = FloorRecord{model, 300, 1};
    run.scene = std::make_unique<GameScene>();
    vantrel_test::SetUpFloorStage(&run.scene->stage, model);
    BindFrameCalls(nullptr);
    run.ready = true;
    return run;
}

void Floor(benchmark::State& state) {
    FloorRun& run = Run();
    if (!run.ready) {
        state.SkipWithError("the library, the shader path or the floor model did not start");
        return;
    }
    const bool shaders = state.range(0) != 0;
    tessel::ShaderPathOn = shaders ? 1 : 0;
    DrawStageFloor(run.scene.get());  // warm: shaders made, buffers current
    for (auto _ : state) {
        DrawStageFloor(run.scene.get());
    }
    tessel::ShaderPathOn = 1;
}

}  // namespace

BENCHMARK(Floor)
    ->ArgName("shaders")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

namespace {

// The shader path's floor over the fixed path's: the goal is at most 1.2.
void PrintSummary(const benchspread::SpreadReporter& r) {
    constexpr double kGoal = 1.2;
    benchspread::PrintSideBySideHeader("ms a floor, process CPU", "shaders", "fixed",
                                       "shaders/fixed [spread]");
    const benchspread::Samples ratios = benchspread::PrintSideBySideFigures(
        r, "512x512 floor", "Floor/shaders:1", "Floor/shaders:0", "cpu_seconds", 1e3,
        benchspread::RatioOf::kLeftOverRight, "%.2f");
    benchspread::PrintFigureRow("shaders/fixed against its goal", ratios, kGoal, true);
}

}  // namespace

int main(int argc, char** argv) {
    // Headless unless a display is asked for.
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    platform::SetVirtualVerticalBlank(true);
    return benchspread::RunWithSummary(argc, argv, PrintSummary);
}
