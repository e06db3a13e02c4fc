// The game's own frames on each drawing path (the hardware path with the CPU
// device rasterising, and the software path), in the generated data folder:
// - one frame of the play scene at a heavy scripted load: 400 or more bullets
//   drifting over the field and 40 resting enemies that fire now and then,
//   topped up between frames, with
//   the whole frame loop's pass (input, update, sounds, fade, the draw into
//   the frame image through both queues, the stretch and the presentation);
//   CPU milliseconds per frame, goal 2;
// - start-up to the first presented frame: the files, the library, every
//   asset, the splash scene and its first frame; milliseconds, goal 150.
// The frame's wait is left out: the loop's clock is one that never waits.
// One core.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <time.h>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "foundation/runtime/main_window.h"
#include "game/bullets/bullet_manager.h"
#include "game/enemies/enemy_manager.h"
#include "game/loop/frame_calls.h"
#include "game/loop/frame_loop.h"
#include "game/loop/scene_machine.h"
#include "game/play/game_scene.h"
#include "game/play/play_state.h"
#include "game/random/draw_random.h"
#include "graphics/device/graphics_device.h"
#include "platform/d3d9_testing.h"

namespace {

constexpr int kBullets = 400;
constexpr int kEnemies = 40;
constexpr int kTopUpRing = 40;
// An enemy kind that stays where it is put and now and then fires one bullet
// at the player; the player never shoots back, so the load stays as asked.
constexpr int32_t kRestingEnemy = 0;

std::map<std::string, double> g_ms;

// A monotonic clock; <chrono> does not build with the game's execution character set.
double Seconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The loop's calls with a clock that only the frame's own wait would move,
// and no input.
int g_now = 0;
FrameCalls LoopCalls() {
    FrameCalls calls = LibraryFrameCalls();
    calls.readClock = [] { return g_now; };
    calls.sleep = [](int ms) { g_now += ms; };
    calls.updateInput = [](InputState* live) { ApplyButtonMask(live, 0); };
    return calls;
}

bool Start(benchmark::State& state, bool hardware) {
    tessel::SetRunWhenInactive(1);  // a headless window never becomes active
    tessel::SetUseHardwareOption(hardware ? 1 : 0);
    ResetSceneMachine();
    if (StartGame() != 0) {
        state.SkipWithError("the game did not start");
        return false;
    }
    return true;
}

void Stop() {
    DestroyScenes();
    ResetSceneMachine();
    CurrentFrameCalls().endLibrary();
}

int ActiveBullets(const GameScene& scene) {
    int count = 0;
    for (const Bullet* bullet : scene.bullets.order) {
        count += bullet->active != 0 ? 1 : 0;
    }
    return count;
}

int ActiveEnemies(const GameScene& scene) {
    int count = 0;
    for (const Enemy* enemy : scene.enemies.order) {
        count += enemy->active != 0 ? 1 : 0;
    }
    return count;
}

// The bullet kinds with a picture of their own that stay one bullet: a trail
// leaves another every frame, a timed spark ends by itself.
std::vector<int32_t> SteadyBulletKinds(const BulletManager& manager) {
    std::vector<int32_t> kinds;
    for (int32_t kind = 0; kind < kKindRows; ++kind) {
        const BulletInfoRow& row = BulletKindRow(manager, kind);
        if (row.imageRow != 0 && row.style != kBulletTrail && row.style != kBulletTimed) {
            kinds.push_back(kind);
        }
    }
    return kinds;
}

// Rings of slow bullets and resting enemies until the field holds the load.
void TopUp(GameScene* scene, const std::vector<int32_t>& kinds, DrawRandom* places) {
    for (int bullets = ActiveBullets(*scene); bullets < kBullets; bullets += kTopUpRing) {
        BulletRequest ring{};
        ring.kind = kinds[NextDrawRandom(places) % kinds.size()];
        ring.behaviour = -1;
        ring.x = 40.0 + NextDrawRandom(places) % 300;
        ring.y = 40.0 + NextDrawRandom(places) % 300;
        ring.speed = 0.4;
        ring.angle = NextDrawRandom(places) % 360;
        ring.scale = 1.0;
        ring.colour = ColorRecord{255, 255, 255, 255};
        FireBulletRing(&scene->bullets, ring, kTopUpRing, 0, 8.0);
    }
    for (int enemies = ActiveEnemies(*scene); enemies < kEnemies; ++enemies) {
        QueueEnemySpawn(&scene->enemies, kRestingEnemy, 24.0 + NextDrawRandom(places) % 336,
                        24.0 + NextDrawRandom(places) % 200, 0.0, 270.0, 0, 0, 0.0, 0.0, 0.0);
    }
}

void PlayFrame(benchmark::State& state) {
    const bool hardware = state.range(0) != 0;
    const FrameCalls calls = LoopCalls();
    BindFrameCalls(&calls);
    if (!Start(state, hardware)) {
        BindFrameCalls(nullptr);
        return;
    }
    ReplayPlayback = 0;
    CurrentPlay = PlaySettings{0, 0, kModeEndless, 2, 2, 1234567u, 0};
    NextSceneId = kScenePlay;
    SwitchScene();
    FadeState.counter = 0;
    GameScene* scene = SceneSlots.play;
    // The wave schedule waits for a boss that never comes: the load is the benchmark's alone.
    scene->wavePhase = 7;
    scene->bossActive = 1;
    DrawRandom places{};
    const std::vector<int32_t> kinds = SteadyBulletKinds(scene->bullets);
    if (kinds.empty()) {
        state.SkipWithError("no bullet kind to load the field with");
        Stop();
        BindFrameCalls(nullptr);
        return;
    }
    int bullets = 0;
    int enemies = 0;
    for (auto _ : state) {
        state.PauseTiming();
        scene->player.invincibility = 1 << 20;  // the load never ends the game
        TopUp(scene, kinds, &places);
        state.ResumeTiming();
        RunFrame();
        bullets += ActiveBullets(*scene);
        enemies += ActiveEnemies(*scene);
    }
    const double frames = static_cast<double>(state.iterations());
    state.counters["bullets"] = frames > 0 ? bullets / frames : 0.0;
    state.counters["enemies"] = frames > 0 ? enemies / frames : 0.0;
    Stop();
    BindFrameCalls(nullptr);
}

void StartUpToFirstFrame(benchmark::State& state) {
    const bool hardware = state.range(0) != 0;
    const FrameCalls calls = LoopCalls();
    BindFrameCalls(&calls);
    for (auto _ : state) {
        const double begin = Seconds();
        if (!Start(state, hardware)) {
            break;
        }
        RunFrame();  // draws and presents the splash's first frame
        state.SetIterationTime(Seconds() - begin);
        Stop();
    }
    BindFrameCalls(nullptr);
}

BENCHMARK(PlayFrame)->Arg(1)->Arg(0)->ArgName("hardware")->Unit(benchmark::kMillisecond);
BENCHMARK(StartUpToFirstFrame)
    ->Arg(1)
    ->Arg(0)
    ->ArgName("hardware")
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

// Keeps each run's time to print it against its goal after the table.
class GoalReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.iterations > 0) {
                const bool manual = run.run_name.str().find("manual_time") != std::string::npos;
                g_ms[run.benchmark_name()] =
                    manual ? run.GetAdjustedRealTime() : run.GetAdjustedCPUTime();
            }
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    // Headless unless a display is asked for.
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    platform::SetVirtualVerticalBlank(true);
    if (chdir(VANTREL_GAME_DATA_DIR) != 0) {
        std::fprintf(stderr, "no game data folder at %s\n", VANTREL_GAME_DATA_DIR);
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    GoalReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const auto& [name, ms] : g_ms) {
        const bool startUp = name.rfind("StartUp", 0) == 0;
        const double goal = startUp ? 150.0 : 2.0;
        std::printf("%-44s %9.3f ms%s  goal <= %g ms: %s\n", name.c_str(), ms,
                    startUp ? " to the first frame" : " CPU/frame", goal,
                    ms <= goal ? "met" : "missed");
    }
    benchmark::Shutdown();
    return 0;
}
