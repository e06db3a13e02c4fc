// The game's own frame at its heaviest, and its start-up, on the hardware path
// (the CPU Direct3D 9 device) and on the software path: the real game code and
// the generated data, headless, without the frame pacing's sleep.
//
// PlayFrame: a 2minutes game (a new one from level 0 as the title starts it,
// and one from the top level), played by the steering script of the replay
// proof, is first searched with updates only (drawing never changes play) for
// the pass with the most enemy bullets and enemies alive. Each iteration then
// builds the play scene again through the scene machine, plays up to that pass
// (the last two drawn, so that every cache is warm) and times the pass whole:
// the messages, the input, the updates, the draw through both queues and their
// flush, the stretch onto the back screen and the presentation. CPU time is
// the process's, as the device rasterises large draws on helper threads.
// Counters: the load (bullets, enemies, pooled objects; the pass and how many
// passes the game lasted), what the frame asks of the library (draws, and
// their area in megapixels, from one more untimed pass), and where the frame
// went in wall milliseconds (update, flush of the queues, stretch, present;
// the rest is clearing and queueing).
//
// StartUp: from the start of the program's start-up (its files, InitGame with
// the loading picture, LoadSystemImages, the splash scene) to the end of the
// first frame the loop presents; the library's end is left out. `first_ms` is
// the run's first start (the process's first for the hardware path; run the
// software one alone with --benchmark_filter=StartUp/hardware:0 for its own),
// `loading_ms` when the loading picture was presented.
//
// PlaySound: a second of the level-0 game in real time (60 passes, each
// followed by a sleep to the next sixtieth of a second) on the hardware path,
// with the sound system up on SDL's dummy audio driver, which pulls the mix
// in real time as a device does (sound:1), and with it down, on a driver SDL
// lacks (sound:0). The game plays its track and effects as it goes; the
// process's CPU over the second, on less off, is what the sound thread and
// the mixer cost.
//
// The software path's level-30 frame runs once more for each narrower kernel
// width the processor has (kernels:1 SSE2, kernels:0 pixel by pixel), beside
// the widest (kernels:2 where AVX2 is present), in the same run. The hardware
// path runs with the device on one thread (device:0, every draw at once), with
// large draws split by rows across its workers (device:1), and with small draws
// kept and replayed on bands of rows too (device:2, its default), side by side:
// CPU is the process's, Time the wall's.
//
// Goals: a level-0 frame in 1.5 ms of CPU on both paths; a level-30 frame in
// 6 ms on the software path, and in 8 ms of CPU and 3 ms of wall time on the
// hardware path; 100 ms of CPU to the first frame; and 2% of one core
// for the sound, printed with the figures after the table.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "foundation/runtime/message_pump.h"
#include "game/draw/draw_queue.h"
#include "game/draw/library_draw_calls.h"
#include "game/input/input_state.h"
#include "game/loop/frame_calls.h"
#include "game/loop/frame_loop.h"
#include "game/loop/frame_pacer.h"
#include "game/loop/scene_machine.h"
#include "game/play/game_scene.h"
#include "game/play/play_state.h"
#include "game/play/replay_check.h"
#include "game/startup/startup_calls.h"
#include "graphics/device/graphics_device.h"
#include "graphics/images/image_records.h"
#include "graphics/targets/draw_targets.h"
#include "platform/d3d9/raster_draw.h"
#include "platform/d3d9_testing.h"
#include "softrender/kernel_width.h"
#include "sound/sound_system_internal.h"

namespace {

// Milliseconds on the monotonic clock (<chrono> cannot be built with the
// game's execution character set).
double NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

constexpr double kFrameGoalMs = 1.5;             // level 0, both paths
constexpr double kPeakSoftwareGoalMs = 6.0;      // level 30
constexpr double kPeakHardwareGoalMs = 8.0;      // level 30, CPU
constexpr double kPeakHardwareWallGoalMs = 3.0;  // level 30, wall
constexpr double kStartGoalMs = 100.0;
constexpr double kSoundGoalShare = 0.02;  // of one core
constexpr int kSoundIterations = 5;       // seconds of play

// The games searched: their play generator's seed and the steering script's.
constexpr uint32_t kGameSeed = 20261210u;
constexpr uint32_t kScriptSeed = 7u;
// Longer than a 2minutes game without its time bonuses.
constexpr int32_t kSearchFrames = 9000;
// Frames drawn before the timed one.
constexpr int32_t kWarmFrames = 2;
constexpr int kFrameIterations = 8;
constexpr int kStartIterations = 10;

double MillisecondsSince(double start) {
    return NowMs() - start;
}

// A working folder that is the generated data folder to the game (its image
// and sound folders linked in) with a config.dat of our own: the defaults
// (640 x 480, a window, 32 bits), and running while inactive, as a headless
// window never becomes active. Left and removed at the end.
class GameFolder {
  public:
    GameFolder() {
        char pattern[] = "/tmp/bench_play_frame_XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            return;
        }
        path_ = pattern;
        previous_ = std::filesystem::current_path();
        const std::filesystem::path data = VANTREL_GAME_DATA_DIR;
        std::error_code error;
        std::filesystem::create_directory_symlink(data / "image", path_ / "image", error);
        std::filesystem::create_directory_symlink(data / "sound", path_ / "sound", error);
        std::ofstream(path_ / "config.dat", std::ios::binary).write("\0\0\0\x02", 4);
        std::filesystem::current_path(path_, error);
        ready_ = !error;
    }
    ~GameFolder() {
        std::error_code error;
        std::filesystem::current_path(previous_, error);
        if (!path_.empty()) {
            std::filesystem::remove_all(path_, error);  // the links, not what they lead to
        }
    }
    GameFolder(const GameFolder&) = delete;
    GameFolder& operator=(const GameFolder&) = delete;

    bool ready() const { return ready_; }

  private:
    std::filesystem::path path_;
    std::filesystem::path previous_;
    bool ready_ = false;
};

// Where one frame's wall time went, gathered by the bound call table.
struct FrameSplit {
    double updateStart = 0;
    bool updating = false;
    double update = 0;
    double flush = 0;
    double stretch = 0;
    double present = 0;
};

struct Harness {
    static inline int now = 1000;
    static inline MaskScript script = MakeMaskScript(kScriptSeed);
    static inline FrameSplit split;
    static inline double loadingPresentedMs = 0;
    static inline double startupBegan = 0;

    // A clock that only the frame waits move: the pacing never sleeps.
    static int ReadClock() { return now; }
    static void Sleep(int milliseconds) { now += milliseconds; }

    // The steering player in a play scene; nothing held elsewhere.
    static void UpdateInput(InputState* live) {
        split.updateStart = NowMs();
        split.updating = true;
        const uint16_t mask =
            LiveGameScene != nullptr ? NextSteeredMask(&script, *LiveGameScene) : 0;
        ApplyButtonMask(live, mask);
    }
    // The draw's first call ends the update.
    static int SelectDrawTarget(int target) {
        if (split.updating) {
            split.update += MillisecondsSince(split.updateStart);
            split.updating = false;
        }
        return LibraryFrameCalls().selectDrawTarget(target);
    }
    static void FlushDrawQueue(DrawQueue* queue) {
        const double start = NowMs();
        LibraryFrameCalls().flushDrawQueue(queue);
        split.flush += MillisecondsSince(start);
    }
    static int DrawImageStretched(int x1, int y1, int x2, int y2, int image, int transparent) {
        const double start = NowMs();
        const int result =
            LibraryFrameCalls().drawImageStretched(x1, y1, x2, y2, image, transparent);
        split.stretch += MillisecondsSince(start);
        return result;
    }
    static int PresentScreen() {
        const double start = NowMs();
        const int result = LibraryFrameCalls().presentScreen();
        split.present += MillisecondsSince(start);
        return result;
    }
    static int PresentLoadingPicture() {
        const int result = LibraryStartupCalls().presentScreen();
        loadingPresentedMs = MillisecondsSince(startupBegan);
        return result;
    }
};

const FrameCalls kFrameCalls = [] {
    FrameCalls calls = LibraryFrameCalls();
    calls.readClock = &Harness::ReadClock;
    calls.sleep = &Harness::Sleep;
    calls.updateInput = &Harness::UpdateInput;
    calls.selectDrawTarget = &Harness::SelectDrawTarget;
    calls.flushDrawQueue = &Harness::FlushDrawQueue;
    calls.drawImageStretched = &Harness::DrawImageStretched;
    calls.presentScreen = &Harness::PresentScreen;
    return calls;
}();

const StartupCalls kStartupCalls = [] {
    StartupCalls calls = LibraryStartupCalls();
    calls.presentScreen = &Harness::PresentLoadingPicture;
    return calls;
}();

// The program's start-up on one drawing path: 0, or -1 when the library did
// not start.
int StartGameOnPath(bool hardware) {
    BindFrameCalls(&kFrameCalls);
    BindStartupCalls(&kStartupCalls);
    ResetSceneMachine();
    ResetFramePacer(&FramePacer);
    tessel::SetUseHardwareOption(hardware ? 1 : 0);
    Harness::startupBegan = NowMs();
    return StartGame();
}

// One pass of the loop as RunFrameLoop makes it: 0, or -1 when the window went.
int LoopPass() {
    if (CurrentFrameCalls().pumpMessages() != 0) {
        return -1;
    }
    RunFrame();
    return 0;
}

// The program's end without its files: the scenes, then the library.
void EndGame() {
    DestroyScenes();
    CurrentFrameCalls().endLibrary();
    BindFrameCalls(nullptr);
    BindStartupCalls(nullptr);
}

// A 2minutes game, where a death costs time and not the game, built by the
// scene machine as the title's choice builds it, from `level`.
void BuildPlayScene(int32_t level) {
    PlaySettings settings{};
    settings.mode = kModeTwoMinutes;
    settings.lives = kTwoMinutesStartLives;
    settings.bombs = kStartBombs;
    settings.seed = kGameSeed;
    settings.level = level;
    CurrentPlay = settings;
    ReplayPlayback = 0;
    ConstructInputState(&LiveInput);
    Harness::script = MakeMaskScript(kScriptSeed);
    NextSceneId = kScenePlay;
    SwitchScene();
}

void AdvanceWithoutDrawing() {
    UpdateFrame();
    FrameCounter += 1;
}

struct PlayLoad {
    int32_t bullets = 0;
    int32_t enemies = 0;
    int32_t objects = 0;  // the task pool: shots, items, particles, wave spawners
    int32_t Weight() const { return bullets + enemies; }
};

PlayLoad LoadNow() {
    const GameScene& scene = *LiveGameScene;
    return PlayLoad{scene.bullets.activeCount, scene.enemies.activeCount, scene.pool.activeCount};
}

bool PlayGoesOn() {
    return LiveGameScene != nullptr && !SceneFadeRunning();
}

struct HeaviestFrame {
    int32_t pass = -1;  // the loop pass, from 0 after the scene was built
    PlayLoad load;
    int32_t level = 0;     // the game's level then
    int32_t searched = 0;  // passes played before the game ended or the search stopped
};

HeaviestFrame FindHeaviestFrame(int32_t startLevel) {
    BuildPlayScene(startLevel);
    HeaviestFrame heaviest;
    int32_t searched = 0;
    for (int32_t pass = 0; pass < kSearchFrames && PlayGoesOn(); ++pass) {
        AdvanceWithoutDrawing();
        if (LiveGameScene != nullptr && LoadNow().Weight() > heaviest.load.Weight()) {
            heaviest = HeaviestFrame{pass, LoadNow(), CurrentPlay.level, 0};
        }
        searched = pass + 1;
    }
    heaviest.searched = searched;
    return heaviest;
}

// Plays the passes before `pass`, the last kWarmFrames of them whole.
int PlayUpTo(int32_t startLevel, int32_t pass) {
    BuildPlayScene(startLevel);
    for (int32_t i = 0; i < pass; ++i) {
        if (i < pass - kWarmFrames) {
            AdvanceWithoutDrawing();
        } else if (LoopPass() != 0) {
            return -1;
        }
    }
    return PlayGoesOn() ? 0 : -1;
}

// What the game asks of the library in one frame: the images it draws and
// their area on the target (an image's size times its scale squared).
struct DrawCensus {
    static inline int64_t draws = 0;
    static inline double pixels = 0;

    static void Count(int32_t image, double scale) {
        int width = 0;
        int height = 0;
        draws += 1;
        if (tessel::QueryImageSize(image, &width, &height) == 0) {
            pixels += width * height * scale * scale;
        }
    }
    static void Rotated(float x, float y, double scale, double angle, int32_t image,
                        int32_t transparent, int32_t mirror) {
        Count(image, scale);
        LibraryOwnDrawCalls().drawRotated(x, y, scale, angle, image, transparent, mirror);
    }
    static void RotatedAlt(float x, float y, double scale, double angle, int32_t image) {
        Count(image, scale);
        LibraryOwnDrawCalls().drawRotatedAlt(x, y, scale, angle, image);
    }
    static void At(float x, float y, int32_t image, int32_t transparent) {
        Count(image, 1.0);
        LibraryOwnDrawCalls().drawAt(x, y, image, transparent);
    }
    static void Part(int32_t tx, int32_t ty, int32_t sx, int32_t sy, int32_t w, int32_t h,
                     int32_t image, int32_t transparent, int32_t mirror) {
        draws += 1;
        pixels += static_cast<double>(w) * h;
        LibraryOwnDrawCalls().drawPart(tx, ty, sx, sy, w, h, image, transparent, mirror);
    }
    static void PivotRotated(float x, float y, float px, float py, double scale, double angle,
                             int32_t image, int32_t transparent, int32_t mirror) {
        Count(image, scale);
        LibraryOwnDrawCalls().drawPivotRotated(x, y, px, py, scale, angle, image, transparent,
                                               mirror);
    }
};

const LibraryDrawCalls kCensusCalls = [] {
    LibraryDrawCalls calls = LibraryOwnDrawCalls();
    calls.drawRotated = &DrawCensus::Rotated;
    calls.drawRotatedAlt = &DrawCensus::RotatedAlt;
    calls.drawAt = &DrawCensus::At;
    calls.drawPart = &DrawCensus::Part;
    calls.drawPivotRotated = &DrawCensus::PivotRotated;
    return calls;
}();

// The device calls of one frame that say how the draws reached the device:
// how many batches were drawn and how many state and target changes split
// them (all 0 on the software path).
constexpr const char* kCountedDeviceCalls[] = {
    "DrawPrimitiveUP",      "SetTexture",      "SetRenderState",
    "SetTextureStageState", "SetSamplerState", "SetRenderTarget",
};
constexpr const char* kDeviceCallCounters[] = {
    "dev_draws", "dev_textures", "dev_states", "dev_stages", "dev_samplers", "dev_targets",
};
constexpr int kCountedCalls = static_cast<int>(std::size(kCountedDeviceCalls));

struct DeviceCallCounts {
    int counts[kCountedCalls] = {};
    static DeviceCallCounts Now() {
        DeviceCallCounts now;
        for (int i = 0; i < kCountedCalls; ++i) {
            now.counts[i] = platform::D3D9CallCount(kCountedDeviceCalls[i]);
        }
        return now;
    }
};

// The heaviest frame once more, untimed, counting its draws and the device
// calls they made.
DeviceCallCounts TakeCensus(int32_t startLevel, int32_t pass) {
    DeviceCallCounts made;
    if (PlayUpTo(startLevel, pass) != 0) {
        return made;
    }
    DrawCensus::draws = 0;
    DrawCensus::pixels = 0;
    BindLibraryDrawCalls(&kCensusCalls);
    const DeviceCallCounts before = DeviceCallCounts::Now();
    LoopPass();
    const DeviceCallCounts after = DeviceCallCounts::Now();
    BindLibraryDrawCalls(&LibraryOwnDrawCalls());
    for (int i = 0; i < kCountedCalls; ++i) {
        made.counts[i] = after.counts[i] - before.counts[i];
    }
    return made;
}

struct PathFigures {
    double frameCpuMs = 0;
    double frameWallMs = 0;
    HeaviestFrame heaviest;
    int64_t draws = 0;
    double pixels = 0;
};
// By (hardware, start level, kernel width, device threads).
std::map<std::tuple<bool, int32_t, int, int>, PathFigures> g_frames;

struct StartFigures {
    double firstMs = 0;  // the run's first start, wall
    double meanMs = 0;
    double loadingFirstMs = 0;
    double cpuMs = 0;  // a start on average, the process's CPU (the goal's measure)
};
std::map<bool, StartFigures> g_starts;  // by hardware

struct SecondFigures {
    double cpuMs = 0;
    double wallMs = 0;
};
std::map<bool, SecondFigures> g_seconds;  // by sound up

// How the hardware path's device uses threads: not at all, large draws split by rows (small
// ones on the caller's thread), or that and small draws kept and replayed on bands of rows.
constexpr int kDeviceOneThread = 0;
constexpr int kDeviceRows = 1;
constexpr int kDeviceKeptDraws = 2;

// The device's own choice of threads again once a frame run ends.
struct DeviceThreadsAfter {
    ~DeviceThreadsAfter() {
        platform::SetRasterThreadCount(0);
        platform::SetRasterBatchesEnabled(true);
    }
};

// The widest kernels again once a frame run ends, for the runs after it.
struct WidestKernelsAfter {
    ~WidestKernelsAfter() { tessel::soft::SetKernelWidth(tessel::soft::WidestKernelWidth()); }
};

void PlayFrame(benchmark::State& state) {
    const WidestKernelsAfter widestAfter;
    const bool hardware = state.range(0) != 0;
    const int32_t startLevel = static_cast<int32_t>(state.range(1));
    const int kernels = static_cast<int>(state.range(2));
    // The CPU device on one thread, splitting large draws by rows on its pool, or that and
    // keeping small draws for the pool too.
    const int device = static_cast<int>(state.range(3));
    const DeviceThreadsAfter threadsAfter;
    platform::SetRasterThreadCount(device == kDeviceOneThread ? 1 : 0);
    platform::SetRasterBatchesEnabled(device == kDeviceKeptDraws);
    if (!tessel::soft::SetKernelWidth(static_cast<tessel::soft::KernelWidth>(kernels))) {
        state.SkipWithError("the processor lacks the kernel width");
        return;
    }
    if (StartGameOnPath(hardware) != 0) {
        EndGame();
        state.SkipWithError("the library did not start");
        return;
    }
    const HeaviestFrame heaviest = FindHeaviestFrame(startLevel);
    FrameSplit total;
    bool repeated = true;
    for (auto _ : state) {
        state.PauseTiming();
        if (PlayUpTo(startLevel, heaviest.pass) != 0) {
            state.SkipWithError("the play scene ended before its heaviest frame");
            break;
        }
        Harness::split = FrameSplit{};
        state.ResumeTiming();
        LoopPass();
        state.PauseTiming();
        total.update += Harness::split.update;
        total.flush += Harness::split.flush;
        total.stretch += Harness::split.stretch;
        total.present += Harness::split.present;
        repeated =
            repeated && LiveGameScene != nullptr && LoadNow().Weight() == heaviest.load.Weight();
        state.ResumeTiming();
    }
    const DeviceCallCounts deviceCalls = TakeCensus(startLevel, heaviest.pass);
    EndGame();
    if (!repeated) {
        state.SkipWithError("the timed frame's load differs from the searched one");
        return;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["bullets"] = heaviest.load.bullets;
    state.counters["enemies"] = heaviest.load.enemies;
    state.counters["objects"] = heaviest.load.objects;
    state.counters["pass"] = heaviest.pass;
    state.counters["searched"] = heaviest.searched;
    state.counters["draws"] = static_cast<double>(DrawCensus::draws);
    state.counters["Mpx"] = DrawCensus::pixels / 1e6;
    for (int i = 0; i < kCountedCalls; ++i) {
        state.counters[kDeviceCallCounters[i]] = deviceCalls.counts[i];
    }
    state.counters["update_ms"] = total.update / n;
    state.counters["flush_ms"] = total.flush / n;
    state.counters["stretch_ms"] = total.stretch / n;
    state.counters["present_ms"] = total.present / n;
    PathFigures& figures = g_frames[{hardware, startLevel, kernels, device}];
    figures.heaviest = heaviest;
    figures.draws = DrawCensus::draws;
    figures.pixels = DrawCensus::pixels;
}

void StartUp(benchmark::State& state) {
    const bool hardware = state.range(0) != 0;
    double total = 0;
    double first = -1;
    double firstLoading = 0;
    for (auto _ : state) {
        if (StartGameOnPath(hardware) != 0 || LoopPass() != 0) {
            EndGame();
            state.SkipWithError("the game did not reach its first frame");
            return;
        }
        const double ms = MillisecondsSince(Harness::startupBegan);
        state.PauseTiming();
        total += ms;
        if (first < 0) {
            first = ms;
            firstLoading = Harness::loadingPresentedMs;
        }
        EndGame();
        state.ResumeTiming();
    }
    state.counters["first_ms"] = first;
    state.counters["loading_ms"] = firstLoading;
    StartFigures& figures = g_starts[hardware];
    figures.firstMs = first;
    figures.meanMs = total / static_cast<double>(state.iterations());
    figures.loadingFirstMs = firstLoading;
}

void PlaySound(benchmark::State& state) {
    const bool sound = state.range(0) != 0;
    const char* driver = std::getenv("SDL_AUDIODRIVER");
    const std::string kept = driver != nullptr ? driver : "";
    setenv("SDL_AUDIODRIVER", sound ? "dummy" : "no-such-driver", 1);
    const int started = StartGameOnPath(true);
    if (driver != nullptr) {
        setenv("SDL_AUDIODRIVER", kept.c_str(), 1);
    } else {
        unsetenv("SDL_AUDIODRIVER");
    }
    if (started != 0) {
        EndGame();
        state.SkipWithError("the library did not start");
        return;
    }
    if ((tessel::g_soundSystem.sound != nullptr) != sound) {
        EndGame();
        state.SkipWithError(sound ? "the sound system did not start" : "the sound system is up");
        return;
    }
    BuildPlayScene(0);
    constexpr double kPassMs = 1000.0 / 60.0;
    double next = NowMs();
    for (auto _ : state) {
        for (int i = 0; i < 60; ++i) {
            if (!PlayGoesOn() || LoopPass() != 0) {
                state.SkipWithError("the play scene ended");
                break;
            }
            next += kPassMs;
            const double rest = next - NowMs();
            if (rest > 0) {
                usleep(static_cast<useconds_t>(rest * 1000.0));
            }
        }
    }
    EndGame();
}

// The start-up first, so that its first iteration is the process's first start.
BENCHMARK(StartUp)
    ->Arg(1)
    ->Arg(0)
    ->ArgName("hardware")
    ->Iterations(kStartIterations)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
// A new game as the title starts it (level 0), and one from the top level, at
// the widest kernels; the software path's top level at the narrower ones too.
// The hardware path with the device on one thread and on its workers, side by side.
void FrameArguments(benchmark::internal::Benchmark* b) {
    const int widest = static_cast<int>(tessel::soft::WidestKernelWidth());
    for (int level : {0, static_cast<int>(kMaxLevel)}) {
        for (int device : {kDeviceOneThread, kDeviceRows, kDeviceKeptDraws}) {
            b->Args({1, level, widest, device});
        }
    }
    for (int level : {0, static_cast<int>(kMaxLevel)}) {
        b->Args({0, level, widest, kDeviceKeptDraws});
    }
    for (int narrower = widest - 1; narrower >= 0; --narrower) {
        b->Args({0, kMaxLevel, narrower, kDeviceKeptDraws});
    }
}
BENCHMARK(PlayFrame)
    ->Apply(FrameArguments)
    ->ArgNames({"hardware", "level", "kernels", "device"})
    ->Iterations(kFrameIterations)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
// With the sound system up, then down.
BENCHMARK(PlaySound)
    ->Arg(1)
    ->Arg(0)
    ->ArgName("sound")
    ->Iterations(kSoundIterations)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

// Keeps each frame run's CPU and wall time (with repetitions, their median)
// for the verdicts after the table.
class GoalReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const std::string name = run.benchmark_name();
            if (run.error_occurred || run.iterations == 0) {
                continue;
            }
            if (name.rfind("StartUp", 0) == 0 && run.run_type == Run::RT_Iteration) {
                g_starts[name.find("hardware:1") != std::string::npos].cpuMs =
                    run.GetAdjustedCPUTime();
                continue;
            }
            if (name.rfind("PlaySound", 0) == 0) {
                const bool up = name.find("sound:1") != std::string::npos;
                g_seconds[up] = SecondFigures{run.GetAdjustedCPUTime(), run.GetAdjustedRealTime()};
                continue;
            }
            if (name.rfind("PlayFrame", 0) != 0) {
                continue;
            }
            // With repetitions the median speaks for the run; the mean, the
            // spread and the variation are no frame times.
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") {
                continue;
            }
            const bool hardware = name.find("hardware:1") != std::string::npos;
            const int32_t level = name.find("level:0") != std::string::npos ? 0 : kMaxLevel;
            const size_t at = name.find("kernels:");
            const int kernels = at == std::string::npos ? 0 : name[at + 8] - '0';
            const size_t deviceAt = name.find("device:");
            const int device = deviceAt == std::string::npos ? 0 : name[deviceAt + 7] - '0';
            PathFigures& figures = g_frames[{hardware, level, kernels, device}];
            figures.frameCpuMs = run.GetAdjustedCPUTime();
            figures.frameWallMs = run.GetAdjustedRealTime();
        }
    }
};

const char* Verdict(double ms, double goal) {
    return ms > 0 && ms <= goal ? "met" : "missed";
}

const char* DeviceName(int device) {
    return device == kDeviceOneThread ? "1 thread" : (device == kDeviceRows ? "rows" : "kept");
}

const char* PathName(bool hardware) {
    return hardware ? "hardware" : "software";
}

double FrameGoalMs(bool hardware, int level) {
    if (level == 0) {
        return kFrameGoalMs;
    }
    return hardware ? kPeakHardwareGoalMs : kPeakSoftwareGoalMs;
}

void PrintVerdicts() {
    for (const auto& [key, f] : g_frames) {
        if (f.frameCpuMs <= 0) {
            continue;
        }
        const auto [hardware, level, kernels, device] = key;
        const double goal = FrameGoalMs(hardware, level);
        const bool wallGoal = hardware && level != 0;
        const bool met =
            f.frameCpuMs <= goal && (!wallGoal || f.frameWallMs <= kPeakHardwareWallGoalMs);
        const auto width = static_cast<tessel::soft::KernelWidth>(kernels);
        std::printf(
            "%-8s frame (%-8s kernels, %-7s), game from level %2d, at level %2d: %4d bullets %3d "
            "enemies %3d objects, %5lld draws over %.2f Mpx: %8.3f ms CPU (%.3f wall)  goal <= "
            "%.1f ms%s: %s\n",
            PathName(hardware), hardware ? "-" : tessel::soft::KernelWidthName(width),
            !hardware ? "-" : DeviceName(device), level, f.heaviest.level, f.heaviest.load.bullets,
            f.heaviest.load.enemies, f.heaviest.load.objects, static_cast<long long>(f.draws),
            f.pixels / 1e6, f.frameCpuMs, f.frameWallMs, goal, wallGoal ? " CPU, <= 3 ms wall" : "",
            met ? "met" : "missed");
    }
    for (const auto& [hardware, f] : g_starts) {
        std::printf(
            "%-8s first frame %6.1f ms after start-up began (loading picture at %.1f ms; "
            "%.1f ms a start on average, %.1f ms of CPU)  goal <= %.0f ms of CPU: %s\n",
            PathName(hardware), f.firstMs, f.loadingFirstMs, f.meanMs, f.cpuMs, kStartGoalMs,
            Verdict(f.cpuMs, kStartGoalMs));
    }
    if (g_seconds.count(true) != 0 && g_seconds.count(false) != 0) {
        const SecondFigures& on = g_seconds[true];
        const SecondFigures& off = g_seconds[false];
        const double share = (on.cpuMs - off.cpuMs) / on.wallMs;
        std::printf(
            "sound    a second of play: %.1f ms CPU with sound, %.1f ms without: the sound "
            "thread and the mixer %.2f%% of one core  goal <= %.0f%%: %s\n",
            on.cpuMs, off.cpuMs, share * 100.0, kSoundGoalShare * 100.0,
            share <= kSoundGoalShare ? "met" : "missed");
    }
}

}  // namespace

int main(int argc, char** argv) {
    // Headless unless a display is asked for.
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    platform::SetVirtualVerticalBlank(true);
    benchmark::Initialize(&argc, argv);
    GameFolder folder;
    if (!folder.ready()) {
        std::fprintf(stderr, "bench_play_frame: no working folder over %s\n",
                     VANTREL_GAME_DATA_DIR);
        return 1;
    }
    GoalReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintVerdicts();
    benchmark::Shutdown();
    return 0;
}
