// One frame of a shooter-like scene through the public drawing calls, on the
// hardware path (the CPU device rasterising) and on the software path: a
// 640x480 background, 300 colour-keyed 32x32 sprites, 200 additive 16x16
// bullets turned by their own angles, 20 alpha-blended boxes. Side by side
// with the same scene through SDL2's software renderer (SDL_RenderCopy,
// SDL_RenderCopyEx, SDL_RenderFillRect). Reports milliseconds of CPU per frame
// (the goal: 2 or less on each path) and frames per second; the ratios to
// SDL's renderer are printed at the end with their spread over the
// repetitions. Both paths draw a 32-bit screen, as the game does and as SDL's
// target is. The library's CPU time counts every thread of the process, as
// the CPU device may hand a large draw to threads.

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/headless_library.h"
#include "foundation/math/matrix.h"
#include "foundation/runtime/main_window.h"
#include "foundation/runtime/startup.h"
#include "foundation/runtime/window_mode.h"
#include "graphics/batch/vertex_batch.h"
#include "graphics/device/device_state.h"
#include "graphics/device/graphics_device.h"
#include "graphics/device/shader_pack.h"
#include "graphics/draw/draw_calls.h"
#include "graphics/images/image_create.h"
#include "graphics/memimg/memimg.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/state/render_state_cache.h"
#include "graphics/targets/draw_targets.h"
#include "images/base_image.h"
#include "platform/d3d9_testing.h"
#include "platform/types.h"
#include "softrender/draw_state.h"
#include "support/spread.h"

namespace {

using namespace tessel;

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kSprites = 300;
constexpr int kBullets = 200;
constexpr int kBoxes = 20;

struct Placed {
    int x, y;
    float angle;
};

struct Scene {
    std::vector<Placed> sprites, bullets, boxes;
};

Scene MakeScene() {
    std::mt19937 rng(77);
    Scene s;
    for (int i = 0; i < kSprites; ++i) {
        s.sprites.push_back({int(rng() % (kWidth - 32)), int(rng() % (kHeight - 32)), 0.0f});
    }
    for (int i = 0; i < kBullets; ++i) {
        s.bullets.push_back({8 + int(rng() % (kWidth - 16)), 8 + int(rng() % (kHeight - 16)),
                             float(rng() % 62832) * 1e-4f});
    }
    for (int i = 0; i < kBoxes; ++i) {
        s.boxes.push_back({int(rng() % (kWidth - 64)), int(rng() % (kHeight - 48)), 0.0f});
    }
    return s;
}

// 0xAARRGGBB pixels of the three pictures; magenta is the sprites' key.
uint32_t BackgroundPixel(int x, int y) {
    return 0xFF000000u | uint32_t((x * 255 / kWidth) << 16) | uint32_t((y * 255 / kHeight) << 8) |
           0x30;
}
uint32_t SpritePixel(int x, int y) {
    const int dx = 2 * x - 31, dy = 2 * y - 31;
    return dx * dx + dy * dy < 32 * 32
               ? 0xFF000000u | uint32_t((x * 8) << 16) | uint32_t(y * 8) | 0x4000
               : 0xFFFF00FFu;
}
uint32_t BulletPixel(int x, int y) {
    const int dx = 2 * x - 15, dy = 2 * y - 15;
    const uint32_t a = dx * dx + dy * dy < 16 * 16 ? 255u : 0u;
    return (a << 24) | 0x80C0FFu;
}

template <typename F>
BASEIMAGE Picture(int w, int h, F pixel) {
    BASEIMAGE image = {};
    CreateArgbImageBuffer(w, h, &image);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint32_t c = pixel(x, y);
            WriteImagePixel(&image, x, y, (c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF, c >> 24);
        }
    }
    return image;
}

int MakeImage(BASEIMAGE image) {
    const int handle = CreateImageFromBaseImage(&image);
    ReleaseImageBuffer(&image);
    return handle;
}

void LibraryFrame(benchmark::State& state) {
    const bool hardware = state.range(0) != 0;
    if (!benchlib::StartHeadlessLibrary(hardware, 32)) {
        state.SkipWithError("the library did not start");
        return;
    }
    int width = 0, height = 0, bits = 0;
    QueryScreenState(&width, &height, &bits);
    if (bits != 32) {
        EndLibrary();
        state.SkipWithError("the screen is not 32-bit");
        return;
    }
    SetTransparentColor(255, 0, 255);
    MEMIMG target = {};
    if (!hardware) {
        MemImgCreateDefault(&target, kWidth, kHeight, kMemImgRgb32);
        g_targets.currentSoftTarget = &target;
    }
    const int background = MakeImage(Picture(kWidth, kHeight, BackgroundPixel));
    const int sprite = MakeImage(Picture(32, 32, SpritePixel));
    const int bullet = MakeImage(Picture(16, 16, BulletPixel));
    const Scene scene = MakeScene();
    const uint32_t boxColour = ColorToScreenPixel(40, 200, 90);
    for (auto _ : state) {
        SetImageBlendMode(0, 255);
        DrawImageAt(0, 0, background, 0);
        for (const Placed& p : scene.sprites) {
            DrawImageAt(p.x, p.y, sprite, 1);
        }
        SetImageBlendMode(2, 255);
        for (const Placed& p : scene.bullets) {
            DrawImageRotatedAltF(float(p.x), float(p.y), 1.0, p.angle, bullet);
        }
        SetImageBlendMode(1, 128);
        for (const Placed& p : scene.boxes) {
            FillBoxArea(p.x, p.y, p.x + 64, p.y + 48, boxColour);
        }
        if (hardware) {
            FlushVertexBatch();
        }
        benchmark::DoNotOptimize(target.pixels);
    }
    state.counters["fps"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    g_targets.currentSoftTarget = nullptr;
    EndLibrary();
    if (!hardware) {
        MemImgRelease(&target);
    }
}

SDL_Texture* SdlTexture(SDL_Renderer* renderer, int w, int h, uint32_t (*pixel)(int, int),
                        bool key) {
    SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, w, h, 32, SDL_PIXELFORMAT_ARGB8888);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint32_t v = pixel(x, y);
            std::memcpy(static_cast<uint8_t*>(s->pixels) + y * s->pitch + x * 4, &v, 4);
        }
    }
    if (key) {
        SDL_SetColorKey(s, SDL_TRUE, 0xFFFF00FFu);
    }
    SDL_Texture* t = SDL_CreateTextureFromSurface(renderer, s);
    SDL_FreeSurface(s);
    return t;
}

void SdlFrame(benchmark::State& state) {
    SDL_Surface* screen =
        SDL_CreateRGBSurfaceWithFormat(0, kWidth, kHeight, 32, SDL_PIXELFORMAT_ARGB8888);
    SDL_Renderer* renderer = SDL_CreateSoftwareRenderer(screen);
    SDL_Texture* background = SdlTexture(renderer, kWidth, kHeight, BackgroundPixel, false);
    SDL_Texture* sprite = SdlTexture(renderer, 32, 32, SpritePixel, true);
    SDL_Texture* bullet = SdlTexture(renderer, 16, 16, BulletPixel, false);
    SDL_SetTextureBlendMode(bullet, SDL_BLENDMODE_ADD);
    SDL_SetTextureBlendMode(background, SDL_BLENDMODE_NONE);
    const Scene scene = MakeScene();
    for (auto _ : state) {
        const SDL_Rect whole = {0, 0, kWidth, kHeight};
        SDL_RenderCopy(renderer, background, nullptr, &whole);
        for (const Placed& p : scene.sprites) {
            const SDL_Rect to = {p.x, p.y, 32, 32};
            SDL_RenderCopy(renderer, sprite, nullptr, &to);
        }
        for (const Placed& p : scene.bullets) {
            const SDL_Rect to = {p.x - 8, p.y - 8, 16, 16};
            SDL_RenderCopyEx(renderer, bullet, nullptr, &to, p.angle * 57.29577951308232, nullptr,
                             SDL_FLIP_NONE);
        }
        SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_BLEND);
        SDL_SetRenderDrawColor(renderer, 40, 200, 90, 128);
        for (const Placed& p : scene.boxes) {
            const SDL_Rect box = {p.x, p.y, 64, 48};
            SDL_RenderFillRect(renderer, &box);
        }
        SDL_RenderFlush(renderer);
        benchmark::DoNotOptimize(screen->pixels);
    }
    state.counters["fps"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    SDL_DestroyTexture(bullet);
    SDL_DestroyTexture(sprite);
    SDL_DestroyTexture(background);
    SDL_DestroyRenderer(renderer);
    SDL_FreeSurface(screen);
}

BENCHMARK(LibraryFrame)
    ->Arg(1)
    ->Arg(0)
    ->ArgName("hardware")
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
BENCHMARK(SdlFrame)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    // Headless unless a display is asked for.
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    platform::SetVirtualVerticalBlank(true);
    benchspread::Initialize(&argc, &argv);
    benchspread::SpreadReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    constexpr double kGoalMs = 2.0;
    const benchspread::Samples sdl = reporter.Get("SdlFrame", "cpu_seconds");
    std::printf("\n%-32s %-28s %-24s\n", "frame", "ms CPU/frame [spread]", "SDL/this [spread]");
    for (const std::string& name : reporter.Names()) {
        benchspread::Samples ms = reporter.Get(name, "cpu_seconds");
        for (double& v : ms.values) {
            v *= 1e3;
        }
        const benchspread::Samples ratio =
            benchspread::Ratios(sdl, reporter.Get(name, "cpu_seconds"));
        std::printf("%-32s %-28s %-24s goal <= %.0f ms: %s\n", name.c_str(),
                    benchspread::FormatSpread(ms, "%.3f").c_str(),
                    benchspread::FormatSpread(ratio).c_str(), kGoalMs,
                    benchspread::CrossesGoal(ms, kGoalMs) ? "spread crosses goal"
                    : ms.Median() <= kGoalMs              ? "met"
                                                          : "missed");
    }
    benchmark::Shutdown();
    return 0;
}
