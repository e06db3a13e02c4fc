// What one image draw costs besides its pixels, on the hardware path (the CPU
// device) and on the software path: 600 draws of a 2x2 cell, so that filling
// costs next to nothing, in the pattern of the game's bullet layer: 200
// additive glows in each bullet's colour, then for 200 bullets an alpha body
// in its colour and a white core over it, all turned, linearly filtered and
// cut from one sheet, as the game's cells are; the colours come from a
// palette of six, as the game's bullet kinds repeat theirs. With turned:0 every bullet
// points along the axes, as most of the game's do, so that the device takes its quad route
// rather than its triangle spans. `us_per_draw` is the CPU time
// of one draw; the device counters say how many batches the 600 draws became
// and how many stage-state changes split them.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <iterator>
#include <random>
#include <vector>

#include "bench/headless_library.h"
#include "foundation/runtime/main_window.h"
#include "foundation/runtime/startup.h"
#include "foundation/runtime/window_mode.h"
#include "graphics/batch/vertex_batch.h"
#include "graphics/device/graphics_device.h"
#include "graphics/draw/draw_calls.h"
#include "graphics/images/image_create.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/targets/draw_targets.h"
#include "images/base_image.h"
#include "platform/d3d9_testing.h"
#include "support/spread.h"

namespace {

using namespace tessel;

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kBullets = 200;
constexpr int kDrawsPerFrame = 3 * kBullets;
constexpr int kAlphaMode = 1;
constexpr int kAddMode = 2;

struct Bullet {
    float x, y;
    double angle;
    uint32_t colour;  // as the game packs it: 0xAABBGGRR
};

constexpr uint32_t kPalette[] = {0xFF4080FFu, 0xFFFF8040u, 0xFF40FF80u,
                                 0xFF8040FFu, 0xFFFFFF40u, 0xFF40FFFFu};

std::vector<Bullet> MakeBullets() {
    std::mt19937 rng(40);
    std::vector<Bullet> bullets;
    for (int i = 0; i < kBullets; ++i) {
        bullets.push_back({float(8 + rng() % (kWidth - 16)) + 0.25f,
                           float(8 + rng() % (kHeight - 16)) + 0.5f, double(rng() % 62832) * 1e-4,
                           kPalette[rng() % std::size(kPalette)]});
    }
    return bullets;
}

// A sheet of three 2x2 cells side by side: picture, glow, core.
int MakeSheet() {
    BASEIMAGE image = {};
    CreateArgbImageBuffer(6, 2, &image);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 6; ++x) {
            WriteImagePixel(&image, x, y, 40 * x, 100 + 50 * y, 200, 255 - 30 * x);
        }
    }
    const int handle = CreateImageFromBaseImage(&image);
    ReleaseImageBuffer(&image);
    return handle;
}

// The combined colour the game hands over with its packed one.
uint32_t Combined(uint32_t packed) {
    return (packed & 0xFF000000u) | ((packed & 0xFF) << 16) | (packed & 0xFF00) |
           ((packed >> 16) & 0xFF);
}

std::vector<Bullet> Unturned(std::vector<Bullet> bullets) {
    for (Bullet& b : bullets)
        b.angle = 0.0;
    return bullets;
}

void DrawBullets(const std::vector<Bullet>& bullets, const int cells[3]) {
    SetImageBlendModeOnly(kAddMode);
    for (const Bullet& b : bullets) {
        SetImageBrightnessPackedRaw(b.colour, Combined(b.colour));
        DrawImageRotatedF(b.x, b.y, 1.5, b.angle, cells[1], 1, 0);
    }
    for (const Bullet& b : bullets) {
        SetImageBlendModeOnly(kAlphaMode);
        SetImageBrightnessPackedRaw(b.colour, Combined(b.colour));
        DrawImageRotatedF(b.x, b.y, 1.0, b.angle, cells[0], 1, 0);
        SetImageBrightnessPackedRaw(0xFFFFFFFFu, 0xFFFFFFFFu);
        DrawImageRotatedF(b.x, b.y, 1.0, b.angle, cells[2], 1, 0);
    }
}

void DrawOverhead(benchmark::State& state) {
    const bool hardware = state.range(0) != 0;
    if (!benchlib::StartHeadlessLibrary(hardware)) {
        state.SkipWithError("the library did not start");
        return;
    }
    // The game draws into a 640 x 480 image too, never onto a screen.
    const int frame = CreateDrawableImage(kWidth, kHeight);
    if (frame == -1 || SelectDrawTarget(frame) != 0) {
        EndLibrary();
        state.SkipWithError("no drawable image to draw on");
        return;
    }
    const int sheet = MakeSheet();
    const int cells[3] = {CreateSubImageHandle(0, 0, 2, 2, sheet),
                          CreateSubImageHandle(2, 0, 2, 2, sheet),
                          CreateSubImageHandle(4, 0, 2, 2, sheet)};
    const bool turned = state.range(1) != 0;
    const std::vector<Bullet> bullets = turned ? MakeBullets() : Unturned(MakeBullets());
    SetImageFilterMode(kFilterBilinear);
    const int batchesBefore = platform::D3D9CallCount("DrawPrimitiveUP");
    const int stagesBefore = platform::D3D9CallCount("SetTextureStageState");
    for (auto _ : state) {
        DrawBullets(bullets, cells);
        if (hardware) {
            FlushVertexBatch();
        }
    }
    const double frames = double(state.iterations());
    state.counters["us_per_draw"] = benchmark::Counter(
        frames * kDrawsPerFrame, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["batches"] =
        (platform::D3D9CallCount("DrawPrimitiveUP") - batchesBefore) / frames;
    state.counters["stage_sets"] =
        (platform::D3D9CallCount("SetTextureStageState") - stagesBefore) / frames;
    SetImageFilterMode(kFilterNearest);
    EndLibrary();
}

BENCHMARK(DrawOverhead)
    ->ArgsProduct({{1, 0}, {1, 0}})
    ->ArgNames({"hardware", "turned"})
    ->Unit(benchmark::kMicrosecond)
    ->MeasureProcessCPUTime();

// The software path's cost of a draw over the hardware path's: above 1, the
// hardware path draws cheaper.
void PrintSummary(const benchspread::SpreadReporter& r) {
    benchspread::PrintSideBySideHeader("us a draw, process CPU", "hardware", "software",
                                       "software/hardware [spread]");
    // The counter is seconds a draw (shown in us by the table above).
    benchspread::PrintSideBySideFigures(r, "600 bullet-layer draws", "DrawOverhead/hardware:1",
                                        "DrawOverhead/hardware:0", "us_per_draw", 1e6,
                                        benchspread::RatioOf::kRightOverLeft, "%.3f");
}

}  // namespace

int main(int argc, char** argv) {
    return benchspread::RunWithSummary(argc, argv, PrintSummary);
}
