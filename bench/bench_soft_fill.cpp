// Speed of the blended fill on a 640x480 image at both depths, mode by mode,
// side by side with SDL2: SDL_FillRect for the copy mode and the software
// renderer's blended SDL_RenderFillRect for mode 1; memset of the same bytes
// stands for memory speed.

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstring>

#include "graphics/memimg/blend_tables.h"
#include "graphics/memimg/memimg.h"
#include "soft_rates.h"
#include "softrender/blend_fill.h"

namespace {

using namespace tessel;

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int64_t kPixels = int64_t{kWidth} * kHeight;
constexpr int kModes[] = {0, 1, 2, 3, 4, 10, 11};

struct Target {
    MEMIMG image{};
    explicit Target(int colorType) {
        MemImgCreate(&image, kWidth, kHeight, -1, 0, colorType, 0, 0, 0, nullptr);
        std::memset(image.pixels, 0x5A, size_t(image.base->pitch) * kHeight);
    }
    ~Target() { MemImgRelease(&image); }
};

void SoftFill(benchmark::State& state) {
    const int colorType = static_cast<int>(state.range(0));
    Target target(colorType);
    SoftDrawState draw = DefaultSoftDrawState(RECT{0, 0, kWidth, kHeight});
    draw.blendMode = static_cast<uint32_t>(state.range(1));
    draw.blendParam = 128;
    const uint32_t colour = colorType == 1 ? 0x00C08040u : 0xC408u;
    for (auto _ : state) {
        MemImgBlendFill(draw, &target.image, nullptr, colour);
        benchmark::DoNotOptimize(target.image.pixels[0]);
    }
    state.SetItemsProcessed(state.iterations() * kPixels);
}

void MemsetSpeed(benchmark::State& state) {
    Target target(static_cast<int>(state.range(0)));
    const size_t bytes = size_t(target.image.base->pitch) * kHeight;
    int value = 0;
    for (auto _ : state) {
        std::memset(target.image.pixels, ++value & 0xFF, bytes);
        benchmark::DoNotOptimize(target.image.pixels[0]);
    }
    state.SetItemsProcessed(state.iterations() * kPixels);
}

Uint32 SdlFormat(int colorType) {
    return colorType == 1 ? SDL_PIXELFORMAT_ARGB8888 : SDL_PIXELFORMAT_RGB565;
}

void SdlFillRect(benchmark::State& state) {
    const int colorType = static_cast<int>(state.range(0));
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(
        0, kWidth, kHeight, colorType == 1 ? 32 : 16, SdlFormat(colorType));
    const Uint32 colour = SDL_MapRGB(surface->format, 0xC0, 0x80, 0x40);
    for (auto _ : state) {
        SDL_FillRect(surface, nullptr, colour);
        benchmark::DoNotOptimize(static_cast<uint8_t*>(surface->pixels)[0]);
    }
    state.SetItemsProcessed(state.iterations() * kPixels);
    SDL_FreeSurface(surface);
}

void SdlBlendFill(benchmark::State& state) {
    const int colorType = static_cast<int>(state.range(0));
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(
        0, kWidth, kHeight, colorType == 1 ? 32 : 16, SdlFormat(colorType));
    SDL_Renderer* renderer = SDL_CreateSoftwareRenderer(surface);
    if (renderer == nullptr) {
        state.SkipWithError(SDL_GetError());
        SDL_FreeSurface(surface);
        return;
    }
    SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_BLEND);
    SDL_SetRenderDrawColor(renderer, 0xC0, 0x80, 0x40, 128);
    const SDL_Rect all{0, 0, kWidth, kHeight};
    for (auto _ : state) {
        SDL_RenderFillRect(renderer, &all);
        SDL_RenderFlush(renderer);
        benchmark::DoNotOptimize(static_cast<uint8_t*>(surface->pixels)[0]);
    }
    state.SetItemsProcessed(state.iterations() * kPixels);
    SDL_DestroyRenderer(renderer);
    SDL_FreeSurface(surface);
}

void PrintSummary(const softbench::RateReporter& r) {
    for (int colorType : {1, 0}) {
        const std::string depth = colorType == 1 ? "32-bit" : "RGB565";
        const std::string t = std::to_string(colorType);
        softbench::PrintHeader(("fill 640x480 " + depth + ", p 128").c_str(), "peer Mpx/s");
        softbench::PrintRow("copy vs SDL_FillRect", r.Mpx("SoftFill/" + t + "/0"),
                            r.Mpx("SdlFillRect/" + t));
        softbench::PrintRow("copy vs memset (memory speed)", r.Mpx("SoftFill/" + t + "/0"),
                            r.Mpx("MemsetSpeed/" + t));
        softbench::PrintRow("mode 1 vs SDL_RenderFillRect blended", r.Mpx("SoftFill/" + t + "/1"),
                            r.Mpx("SdlBlendFill/" + t));
        for (int mode : kModes) {
            if (mode > 1) {
                softbench::PrintRow("mode " + std::to_string(mode),
                                    r.Mpx("SoftFill/" + t + "/" + std::to_string(mode)), 0);
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    MemImgBuildBlendTables();
    for (int colorType : {1, 0}) {
        for (int mode : kModes) {
            benchmark::RegisterBenchmark("SoftFill", SoftFill)->Args({colorType, mode});
        }
        benchmark::RegisterBenchmark("MemsetSpeed", MemsetSpeed)->Arg(colorType);
        benchmark::RegisterBenchmark("SdlFillRect", SdlFillRect)->Arg(colorType);
        benchmark::RegisterBenchmark("SdlBlendFill", SdlBlendFill)->Arg(colorType);
    }
    return benchspread::RunWithSummary<softbench::RateReporter>(argc, argv, PrintSummary);
}
