// Speed of the run-table blit against the plain keyed blit in the same run:
// 1000 keyed 64x64 sprites a frame on a 640x480 target, the same sprite with
// its run table valid and without it. Sprites: a small disc (about 70% of
// each sprite transparent) and a full round one (about 20% transparent), as
// keyed copies, the white alpha blend at 200, and an alpha source in the copy
// mode; 32-bit and RGB565. One core.

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "graphics/memimg/blend_tables.h"
#include "graphics/memimg/memimg.h"
#include "soft_rates.h"
#include "softrender/blit.h"
#include "softrender/run_table.h"

namespace {

using namespace tessel;

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kSize = 64;
constexpr int kSprites = 1000;
constexpr uint32_t kKey32 = 0xFFFF00FFu;
constexpr uint32_t kKey565 = 0xF81Fu;

enum Kind { kSparse32, kRound32, kAlpha32, kAlphaSource32, kSparse565, kAlpha565 };
const char* const kKindNames[] = {
    "32-bit keyed copy, 70% clear",   "32-bit keyed copy, 20% clear",
    "32-bit mode 1 p 200, 70% clear", "32-bit alpha source, mode 0",
    "RGB565 keyed copy, 70% clear",   "RGB565 mode 1 p 200, 70% clear"};

bool Is565(Kind k) {
    return k == kSparse565 || k == kAlpha565;
}

// Inside the sprite's disc: radius 20 (sparse) or 32 (round).
bool Inside(Kind k, int x, int y) {
    const int r = k == kRound32 ? kSize / 2 : 20;
    const int dx = 2 * x - kSize + 1, dy = 2 * y - kSize + 1;
    return dx * dx + dy * dy < 4 * r * r;
}

uint32_t Pixel(Kind k, int x, int y) {
    const bool in = Inside(k, x, y);
    if (Is565(k)) {
        return in ? uint32_t((x / 2) << 11 | y << 5 | 9) : kKey565;
    }
    const uint32_t colour = uint32_t(x * 4) << 16 | uint32_t(y * 4) << 8 | 0x40;
    if (k == kAlphaSource32) {  // a soft rim of alpha 128 around an opaque core
        const int dx = 2 * x - kSize + 1, dy = 2 * y - kSize + 1;
        const uint32_t alpha = !in ? 0 : (dx * dx + dy * dy < 4 * 16 * 16 ? 255 : 128);
        return alpha << 24 | colour;
    }
    return in ? 0xC8000000u | colour : kKey32;
}

void Draw(benchmark::State& state) {
    const Kind kind = static_cast<Kind>(state.range(0));
    const bool runs = state.range(1) != 0;
    const int type = Is565(kind) ? kMemImgRgb565 : kMemImgRgb32;
    MEMIMG target{}, sprite{};
    MemImgCreate(&target, kWidth, kHeight, -1, 0, type, 0, 0, 0, nullptr);
    MemImgCreate(&sprite, kSize, kSize, -1, Is565(kind) ? kKey565 : kKey32, type, 0,
                 kind == kAlphaSource32 ? 1 : 0, 1, nullptr);
    std::memset(target.pixels, 0x30, size_t(target.base->pitch) * kHeight);
    const int bytes = Is565(kind) ? 2 : 4;
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const uint32_t v = Pixel(kind, x, y);
            std::memcpy(sprite.pixels + y * sprite.base->pitch + x * bytes, &v, size_t(bytes));
        }
    }
    MemImgBuildRunTable(&sprite);
    sprite.base->runTableValid = runs ? 1 : 0;
    SoftDrawState draw = DefaultSoftDrawState(RECT{0, 0, kWidth, kHeight});
    if (kind == kAlpha32 || kind == kAlpha565) {
        draw.blendMode = kBlendAlpha;
        draw.blendParam = 200;
    }
    std::mt19937 rng(kind);
    std::vector<POINT> places;
    for (int i = 0; i < kSprites; ++i) {
        places.push_back({LONG(rng() % (kWidth - kSize + 1)), LONG(rng() % (kHeight - kSize + 1))});
    }
    for (auto _ : state) {
        for (const POINT& p : places) {
            MemImgBlit(draw, &target, &sprite, p.x, p.y, 1, nullptr);
        }
        benchmark::DoNotOptimize(target.pixels[0]);
    }
    state.SetItemsProcessed(state.iterations() * kSprites * kSize * kSize);
    MemImgRelease(&sprite);
    MemImgRelease(&target);
}

void PrintSummary(const softbench::RateReporter& r) {
    softbench::PrintHeader("64x64 sprites, run table vs plain keyed", "plain Mpx/s");
    for (int kind = kSparse32; kind <= kAlpha565; ++kind) {
        const std::string k = std::to_string(kind);
        softbench::PrintRow(kKindNames[kind], r.Mpx("Draw/" + k + "/1"), r.Mpx("Draw/" + k + "/0"));
    }
}

}  // namespace

int main(int argc, char** argv) {
    MemImgBuildBlendTables();
    for (int kind = kSparse32; kind <= kAlpha565; ++kind) {
        benchmark::RegisterBenchmark("Draw", Draw)->Args({kind, 1});
        benchmark::RegisterBenchmark("Draw", Draw)->Args({kind, 0});
    }
    return benchspread::RunWithSummary<softbench::RateReporter>(argc, argv, PrintSummary);
}
