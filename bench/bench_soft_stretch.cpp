// Speed of the stretch blit: the game's final frame, a 640x480 32-bit image
// stretched to 960x720 and 1280x960 in copy mode, beside SDL_BlitScaled and
// SDL_SoftStretch on the same pixels and a plain copy of the destination's
// size (the memory speed the copy is measured against); then 64x64 sprites
// with alpha stretched 2x in copy mode with the transparent flag on (each
// pixel blended by its alpha), beside SDL_BlitScaled with
// SDL_BLENDMODE_BLEND, and two draws of the general kernels (an add, and a
// blend with a blend mask). Destination pixels per second, one core.

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <array>
#include <cstring>
#include <random>
#include <vector>

#include "graphics/memimg/blend_tables.h"
#include "graphics/memimg/memimg.h"
#include "soft_rates.h"
#include "softrender/stretch.h"

namespace {

using namespace tessel;

constexpr int kFrameWidth = 640;
constexpr int kFrameHeight = 480;
constexpr int kSprite = 64;
constexpr int kSprites = 200;

// A frame of busy pixels, so that nothing compresses or repeats.
std::vector<uint32_t> FramePixels() {
    std::vector<uint32_t> pixels(size_t(kFrameWidth) * kFrameHeight);
    std::mt19937 rng(7);
    for (uint32_t& v : pixels) {
        v = rng() | 0xFF000000u;
    }
    return pixels;
}

// A round sprite: alpha 0 outside, a soft rim at 128, opaque inside.
std::vector<uint32_t> SpritePixels() {
    std::vector<uint32_t> pixels(size_t(kSprite) * kSprite);
    for (int y = 0; y < kSprite; ++y) {
        for (int x = 0; x < kSprite; ++x) {
            const int dx = 2 * x - kSprite + 1, dy = 2 * y - kSprite + 1;
            const int r = dx * dx + dy * dy;
            const uint32_t alpha =
                r >= kSprite * kSprite ? 0 : (r < kSprite * kSprite / 2 ? 255 : 128);
            pixels[size_t(y) * kSprite + x] =
                alpha << 24 | uint32_t(x * 4) << 16 | uint32_t(y * 4) << 8 | 0x40;
        }
    }
    return pixels;
}

void WriteRows(uint8_t* rows, int pitch, const std::vector<uint32_t>& pixels, int width) {
    for (size_t y = 0; y < pixels.size() / width; ++y) {
        std::memcpy(rows + y * pitch, &pixels[y * width], size_t(width) * 4);
    }
}

struct Place {
    int x, y;
};

std::vector<Place> SpritePlaces(int side, int width, int height) {
    std::mt19937 rng(11);
    std::vector<Place> places;
    for (int i = 0; i < kSprites; ++i) {
        places.push_back({int(rng() % (width - side + 1)), int(rng() % (height - side + 1))});
    }
    return places;
}

// Args: destination width, height.
void SoftFrame(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    MEMIMG frame{}, target{};
    MemImgCreate(&frame, kFrameWidth, kFrameHeight, -1, 0, kMemImgRgb32, 0, 0, 0, nullptr);
    MemImgCreate(&target, w, h, -1, 0, kMemImgRgb32, 0, 0, 0, nullptr);
    WriteRows(frame.pixels, frame.base->pitch, FramePixels(), kFrameWidth);
    const SoftDrawState draw = DefaultSoftDrawState(RECT{0, 0, w, h});
    const RECT rect{0, 0, w, h};
    for (auto _ : state) {
        MemImgStretchBlit(draw, &target, &frame, &rect, 0, nullptr);
        benchmark::DoNotOptimize(target.pixels[0]);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(w) * h);
    MemImgRelease(&target);
    MemImgRelease(&frame);
}

// Args: destination width, height, 0 SDL_BlitScaled / 1 SDL_SoftStretch.
void SdlFrame(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    SDL_Surface* frame =
        SDL_CreateRGBSurfaceWithFormat(0, kFrameWidth, kFrameHeight, 32, SDL_PIXELFORMAT_ARGB8888);
    SDL_Surface* target = SDL_CreateRGBSurfaceWithFormat(0, w, h, 32, SDL_PIXELFORMAT_ARGB8888);
    WriteRows(static_cast<uint8_t*>(frame->pixels), frame->pitch, FramePixels(), kFrameWidth);
    SDL_SetSurfaceBlendMode(frame, SDL_BLENDMODE_NONE);
    SDL_Rect dest{0, 0, w, h};
    for (auto _ : state) {
        if (state.range(2) == 0) {
            SDL_BlitScaled(frame, nullptr, target, &dest);
        } else {
            SDL_SoftStretch(frame, nullptr, target, &dest);
        }
        benchmark::DoNotOptimize(static_cast<uint8_t*>(target->pixels)[0]);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(w) * h);
    SDL_FreeSurface(target);
    SDL_FreeSurface(frame);
}

// The memory speed: one copy of the destination's bytes.
void MemoryCopy(benchmark::State& state) {
    const size_t bytes = size_t(state.range(0)) * state.range(1) * 4;
    std::vector<uint8_t> from(bytes, 0x5A), to(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(1));
}

// Args: 0 the alpha sprite in copy mode, keyed (beside SDL); 1 the add of
// mode 2 at 200 and 2 the blend of mode 1 at 200 with a blend mask, both of a
// keyed sprite without alpha, through the general kernels.
void SoftSprites(benchmark::State& state) {
    const int kind = static_cast<int>(state.range(0));
    MEMIMG sprite{}, target{}, mask{};
    MemImgCreate(&sprite, kSprite, kSprite, -1, 0, kMemImgRgb32, 0, kind == 0 ? 1 : 0, 0, nullptr);
    MemImgCreate(&target, kFrameWidth, kFrameHeight, -1, 0, kMemImgRgb32, 0, 0, 0, nullptr);
    MemImgCreate(&mask, kSprite, kSprite, -1, 0, kMemImgGray8, 0, 0, 0, nullptr);
    WriteRows(sprite.pixels, sprite.base->pitch, SpritePixels(), kSprite);
    for (int y = 0; y < kSprite; ++y) {
        std::memset(mask.pixels + y * mask.base->pitch, y * 255 / kSprite, size_t(kSprite));
    }
    MemImgBuildFadeTable(128, 255);
    std::memset(target.pixels, 0x30, size_t(target.base->pitch) * kFrameHeight);
    SoftDrawState draw = DefaultSoftDrawState(RECT{0, 0, kFrameWidth, kFrameHeight});
    draw.blendMode = std::array<uint32_t, 3>{kBlendCopy, kBlendAdd, kBlendAlpha}[kind];
    draw.blendParam = 200;
    const std::vector<Place> places = SpritePlaces(2 * kSprite, kFrameWidth, kFrameHeight);
    for (auto _ : state) {
        for (const Place& p : places) {
            const RECT rect{p.x, p.y, p.x + 2 * kSprite, p.y + 2 * kSprite};
            MemImgStretchBlit(draw, &target, &sprite, &rect, 1, kind == 2 ? &mask : nullptr);
        }
        benchmark::DoNotOptimize(target.pixels[0]);
    }
    state.SetItemsProcessed(state.iterations() * kSprites * 4 * kSprite * kSprite);
    MemImgRelease(&mask);
    MemImgRelease(&target);
    MemImgRelease(&sprite);
}

void SdlSprites(benchmark::State& state) {
    SDL_Surface* sprite =
        SDL_CreateRGBSurfaceWithFormat(0, kSprite, kSprite, 32, SDL_PIXELFORMAT_ARGB8888);
    SDL_Surface* target =
        SDL_CreateRGBSurfaceWithFormat(0, kFrameWidth, kFrameHeight, 32, SDL_PIXELFORMAT_ARGB8888);
    WriteRows(static_cast<uint8_t*>(sprite->pixels), sprite->pitch, SpritePixels(), kSprite);
    std::memset(target->pixels, 0x30, size_t(target->pitch) * kFrameHeight);
    SDL_SetSurfaceBlendMode(sprite, SDL_BLENDMODE_BLEND);
    const std::vector<Place> places = SpritePlaces(2 * kSprite, kFrameWidth, kFrameHeight);
    for (auto _ : state) {
        for (const Place& p : places) {
            SDL_Rect dest{p.x, p.y, 2 * kSprite, 2 * kSprite};
            SDL_BlitScaled(sprite, nullptr, target, &dest);
        }
        benchmark::DoNotOptimize(static_cast<uint8_t*>(target->pixels)[0]);
    }
    state.SetItemsProcessed(state.iterations() * kSprites * 4 * kSprite * kSprite);
    SDL_FreeSurface(target);
    SDL_FreeSurface(sprite);
}

void PrintSummary(const softbench::RateReporter& r) {
    for (const char* size : {"960/720", "1280/960"}) {
        const std::string s = size;
        softbench::PrintHeader(("640x480 to " + s + ", copy").c_str(), "peer Mpx/s");
        const softbench::Samples ours = r.Mpx("SoftFrame/" + s);
        softbench::PrintRow("against SDL_BlitScaled", ours, r.Mpx("SdlFrame/" + s + "/0"));
        softbench::PrintRow("against SDL_SoftStretch", ours, r.Mpx("SdlFrame/" + s + "/1"));
        softbench::PrintRow("against a memcpy of the destination", ours, r.Mpx("MemoryCopy/" + s));
    }
    softbench::PrintHeader("64x64 alpha sprites stretched 2x", "SDL Mpx/s");
    softbench::PrintRow("alpha blend against SDL_BlitScaled", r.Mpx("SoftSprites/0"),
                        r.Mpx("SdlSprites"));
    softbench::PrintRow("add (mode 2, p 200), keyed", r.Mpx("SoftSprites/1"), 0);
    softbench::PrintRow("mode 1, p 200, with a blend mask", r.Mpx("SoftSprites/2"), 0);
}

}  // namespace

int main(int argc, char** argv) {
    MemImgBuildBlendTables();
    for (auto [w, h] : {std::pair{960, 720}, std::pair{1280, 960}}) {
        benchmark::RegisterBenchmark("SoftFrame", SoftFrame)->Args({w, h});
        benchmark::RegisterBenchmark("SdlFrame", SdlFrame)->Args({w, h, 0});
        benchmark::RegisterBenchmark("SdlFrame", SdlFrame)->Args({w, h, 1});
        benchmark::RegisterBenchmark("MemoryCopy", MemoryCopy)->Args({w, h});
    }
    for (int kind = 0; kind < 3; ++kind) {
        benchmark::RegisterBenchmark("SoftSprites", SoftSprites)->Arg(kind);
    }
    benchmark::RegisterBenchmark("SdlSprites", SdlSprites);
    return benchspread::RunWithSummary<softbench::RateReporter>(argc, argv, PrintSummary);
}
