// Speed of the rotated blit on a 640x480 target: 32x32 and 128x128 round
// sprites turned by random angles at their own size, as a keyed copy, from a
// source with per-pixel alpha under the transparent flag (the game's
// bullets), and as an alpha blend (mode 1, parameter 200); side by side with
// SDL_RenderCopyEx on SDL2's software renderer over the same sprites (a
// colour-keyed texture, SDL_BLENDMODE_BLEND with the texture's alpha, and
// SDL_BLENDMODE_BLEND with an alpha modulation of 200), nearest texels; the
// game's bullets, an alpha source tinted in mode 0 and its glow added in mode
// 2 at parameter 255, beside SDL_BLENDMODE_BLEND and SDL_BLENDMODE_ADD with a
// colour modulation. The
// 32-bit target is the measure; an RGB565 target is shown beside it. Mpx/s
// of drawn pixels (the sprite's area per draw). One core. Ours runs at each
// kernel width the processor has (SSE2, and AVX2 where present), the widths
// side by side with the peer in one run.

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "graphics/memimg/blend_tables.h"
#include "graphics/memimg/memimg.h"
#include "soft_rates.h"
#include "softrender/kernel_width.h"
#include "softrender/rotate.h"

namespace {

using namespace tessel;

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr uint32_t kKey = 0xFFFF00FFu;  // opaque magenta

enum Kind { kKeyed, kAlphaSource, kBlend, kTinted, kGlow };
const char* const kKindNames[] = {"keyed copy", "alpha source, mode 0 keyed",
                                  "alpha blend (mode 1, p 200)", "alpha source, mode 0 tinted",
                                  "alpha source, mode 2 p 255 tinted"};
// The game's bullet bodies and glows: a brightness that tints, as the peer's
// colour modulation does.
constexpr uint32_t kTint = 0xC08040;

bool AlphaKind(Kind kind) {
    return kind == kAlphaSource || kind == kTinted || kind == kGlow;
}

// A round sprite on the key with a gradient inside; the alpha version has
// its key pixels at alpha 0 and a half-transparent rim.
std::vector<uint32_t> SpritePixels(int size, bool alpha) {
    std::vector<uint32_t> pixels(size_t(size) * size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const int dx = 2 * x - size + 1, dy = 2 * y - size + 1;
            const int r2 = dx * dx + dy * dy, s2 = size * size;
            uint32_t v = r2 < s2 ? 0xFF000000u | uint32_t((x * 255 / size) << 16) |
                                       uint32_t((y * 255 / size) << 8) | 0x40
                                 : kKey;
            if (alpha) {
                const uint32_t a = r2 >= s2 ? 0 : (r2 < s2 / 2 ? 255 : 128);
                v = (v & 0xFFFFFF) | (a << 24);
            }
            pixels[size_t(y) * size + x] = v;
        }
    }
    return pixels;
}

uint32_t To565(uint32_t v) {
    return ((v >> 8) & 0xF800) | ((v >> 5) & 0x07E0) | ((v >> 3) & 0x001F);
}

struct Draw {
    int x, y;
    float angle;  // radians
};

// Centres that keep the turned sprite inside the target, random angles.
std::vector<Draw> Draws(int size, int count) {
    std::mt19937 rng(size * 13 + 5);
    const int reach = size * 3 / 4 + 4;
    std::vector<Draw> draws;
    for (int i = 0; i < count; ++i) {
        const int x = reach + int(rng() % uint32_t(kWidth - 2 * reach));
        const int y = reach + int(rng() % uint32_t(kHeight - 2 * reach));
        draws.push_back({x, y, float(rng() % 62832) * 1e-4f});
    }
    return draws;
}

int CountFor(int size) {
    return size == 32 ? 1000 : 60;
}

void SoftRotate(benchmark::State& state) {
    const Kind kind = static_cast<Kind>(state.range(0));
    const int size = static_cast<int>(state.range(1));
    const int colorType = static_cast<int>(state.range(2));
    if (!soft::SetKernelWidth(static_cast<soft::KernelWidth>(state.range(3)))) {
        state.SkipWithError("the processor lacks the kernel width");
        return;
    }
    const bool alpha = AlphaKind(kind);
    const int bytes = colorType == 1 || alpha ? 4 : 2;
    MEMIMG target{};
    MEMIMG sprite{};
    MemImgCreate(&target, kWidth, kHeight, -1, 0, colorType, 0, 0, 0, nullptr);
    MemImgCreate(&sprite, size, size, -1, colorType == 1 ? kKey : To565(kKey), colorType, 0,
                 alpha ? 1 : 0, 0, nullptr);
    std::memset(target.pixels, 0x30, size_t(target.base->pitch) * kHeight);
    const std::vector<uint32_t> pixels = SpritePixels(size, alpha);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const uint32_t v = pixels[size_t(y) * size + x];
            const uint32_t stored = colorType == 1 ? v : (To565(v) | ((v >> 24) << 16));
            std::memcpy(sprite.pixels + y * sprite.base->pitch + x * bytes, &stored, size_t(bytes));
        }
    }
    SoftDrawState draw = DefaultSoftDrawState(RECT{0, 0, kWidth, kHeight});
    draw.blendMode = kind == kBlend ? kBlendAlpha : (kind == kGlow ? kBlendAdd : kBlendCopy);
    draw.blendParam = kind == kGlow ? 255 : 200;
    if (kind == kTinted || kind == kGlow) {
        draw.brightness = kTint;
    }
    const int trans = kind == kBlend ? 0 : 1;
    const std::vector<Draw> draws = Draws(size, CountFor(size));
    for (auto _ : state) {
        for (const Draw& d : draws) {
            MemImgRotateBlit(draw, &target, &sprite, d.x, d.y, d.angle, 1.0f, trans, 0, nullptr);
        }
        benchmark::DoNotOptimize(target.pixels[0]);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(draws.size()) * size * size);
    MemImgRelease(&sprite);
    MemImgRelease(&target);
}

void SdlRotate(benchmark::State& state) {
    const Kind kind = static_cast<Kind>(state.range(0));
    const int size = static_cast<int>(state.range(1));
    const bool wide = state.range(2) == 1;
    SDL_Surface* target =
        SDL_CreateRGBSurfaceWithFormat(0, kWidth, kHeight, wide ? 32 : 16,
                                       wide ? SDL_PIXELFORMAT_ARGB8888 : SDL_PIXELFORMAT_RGB565);
    std::memset(target->pixels, 0x30, size_t(target->pitch) * kHeight);
    SDL_Renderer* renderer = SDL_CreateSoftwareRenderer(target);
    std::vector<uint32_t> pixels = SpritePixels(size, AlphaKind(kind));
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(pixels.data(), size, size, 32,
                                                              size * 4, SDL_PIXELFORMAT_ARGB8888);
    if (!AlphaKind(kind)) {
        SDL_SetColorKey(surface, kind == kKeyed ? SDL_TRUE : SDL_FALSE, kKey);
    }
    SDL_Texture* texture = SDL_CreateTextureFromSurface(renderer, surface);
    SDL_SetTextureBlendMode(texture, kind == kGlow ? SDL_BLENDMODE_ADD : SDL_BLENDMODE_BLEND);
    if (kind == kTinted || kind == kGlow) {
        SDL_SetTextureColorMod(texture, kTint >> 16, (kTint >> 8) & 0xFF, kTint & 0xFF);
    }
    SDL_SetTextureScaleMode(texture, SDL_ScaleModeNearest);
    if (kind == kBlend) {
        SDL_SetTextureAlphaMod(texture, 200);
    }
    const std::vector<Draw> draws = Draws(size, CountFor(size));
    for (auto _ : state) {
        for (const Draw& d : draws) {
            const SDL_Rect rect{d.x - size / 2, d.y - size / 2, size, size};
            SDL_RenderCopyEx(renderer, texture, nullptr, &rect, d.angle * 57.29578, nullptr,
                             SDL_FLIP_NONE);
        }
        SDL_RenderFlush(renderer);
        benchmark::DoNotOptimize(static_cast<uint8_t*>(target->pixels)[0]);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(draws.size()) * size * size);
    SDL_DestroyTexture(texture);
    SDL_FreeSurface(surface);
    SDL_DestroyRenderer(renderer);
    SDL_FreeSurface(target);
}

bool Measured(int kind, int colorType) {
    return colorType == 1 || !AlphaKind(static_cast<Kind>(kind));
}

constexpr int kSse2 = static_cast<int>(soft::KernelWidth::kSse2);
constexpr int kAvx2 = static_cast<int>(soft::KernelWidth::kAvx2);

void PrintSummary(const softbench::RateReporter& r) {
    for (int colorType : {1, 0}) {
        softbench::PrintWidthHeader(colorType == 1 ? "turned sprites onto 640x480 32-bit"
                                                   : "turned sprites onto 640x480 RGB565",
                                    "SDL Mpx/s");
        for (int size : {32, 128}) {
            for (int kind = kKeyed; kind <= kGlow; ++kind) {
                if (!Measured(kind, colorType)) {
                    continue;
                }
                const std::string args = std::to_string(kind) + "/" + std::to_string(size) + "/" +
                                         std::to_string(colorType);
                softbench::PrintWidthRow(
                    std::to_string(size) + "x" + std::to_string(size) + " " + kKindNames[kind],
                    r.Mpx("SoftRotate/" + args + "/" + std::to_string(kSse2)),
                    r.Mpx("SoftRotate/" + args + "/" + std::to_string(kAvx2)),
                    r.Mpx("SdlRotate/" + args));
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    MemImgBuildBlendTables();
    for (int colorType : {1, 0}) {
        for (int size : {32, 128}) {
            for (int kind = kKeyed; kind <= kGlow; ++kind) {
                if (!Measured(kind, colorType)) {
                    continue;
                }
                for (int width = kSse2; width <= static_cast<int>(soft::WidestKernelWidth());
                     ++width) {
                    benchmark::RegisterBenchmark("SoftRotate", SoftRotate)
                        ->Args({kind, size, colorType, width});
                }
                benchmark::RegisterBenchmark("SdlRotate", SdlRotate)->Args({kind, size, colorType});
            }
        }
    }
    return benchspread::RunWithSummary<softbench::RateReporter>(argc, argv, PrintSummary);
}
