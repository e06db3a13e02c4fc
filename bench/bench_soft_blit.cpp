// Speed of the blit on a 640x480 target: copy, keyed copy, the white alpha
// blend (mode 1, parameter 200) and the white add (mode 2, parameter 255) of
// 32x32 and 256x256 sprites, side by side with SDL_BlitSurface on the same
// pixels (SDL_BLENDMODE_NONE, colour key, SDL_BLENDMODE_BLEND by a surface
// alpha of 200 from an XRGB8888 sprite, SDL's fastest route to these pixels,
// SDL_BLENDMODE_ADD); then sprites with alpha and a few modes of our own. The
// 32-bit target is the measure; an RGB565 target is shown beside it (SDL
// blends RGB565 by a surface alpha of 200 too). The summary gives each ratio
// with its spread over the repetitions, and how far the pixels of one blit
// differ from SDL's. One core.

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "graphics/memimg/blend_tables.h"
#include "graphics/memimg/memimg.h"
#include "soft_rates.h"
#include "softrender/blit.h"

namespace {

using namespace tessel;

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr uint32_t kKey = 0xC8FF00FFu;  // magenta with the sprites' top byte

enum Kind { kCopy, kKeyed, kAlpha, kAdd, kAlphaSource, kMasked, kSubtract };
const char* const kKindNames[] = {"copy",
                                  "keyed copy",
                                  "alpha blend (mode 1)",
                                  "add (mode 2)",
                                  "alpha source, mode 0 keyed",
                                  "mode 1 with a blend mask",
                                  "subtract (mode 3, p 200)"};

// A round sprite on a magenta key with a gradient inside; top byte 200.
std::vector<uint32_t> SpritePixels(int size) {
    std::vector<uint32_t> pixels(size_t(size) * size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const int dx = 2 * x - size + 1, dy = 2 * y - size + 1;
            const bool inside = dx * dx + dy * dy < size * size;
            pixels[size_t(y) * size + x] = inside ? 0xC8000000u | uint32_t((x * 255 / size) << 16) |
                                                        uint32_t((y * 255 / size) << 8) | 0x40
                                                  : kKey;
        }
    }
    return pixels;
}

// The same sprite with its key pixels at alpha 0 and a soft rim.
std::vector<uint32_t> AlphaPixels(int size) {
    std::vector<uint32_t> pixels = SpritePixels(size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            uint32_t& v = pixels[size_t(y) * size + x];
            const int dx = 2 * x - size + 1, dy = 2 * y - size + 1;
            const uint32_t alpha =
                v == kKey ? 0 : (dx * dx + dy * dy < size * size / 2 ? 255 : 128);
            v = (v & 0xFFFFFF) | (alpha << 24);
        }
    }
    return pixels;
}

struct Place {
    int x, y;
};

std::vector<Place> Places(int size, int count) {
    std::mt19937 rng(size);
    std::vector<Place> places;
    for (int i = 0; i < count; ++i) {
        places.push_back({int(rng() % (kWidth - size + 1)), int(rng() % (kHeight - size + 1))});
    }
    return places;
}

int CountFor(int size) {
    return size == 32 ? 1000 : 16;
}

uint32_t To565(uint32_t v) {
    return ((v >> 8) & 0xF800) | ((v >> 5) & 0x07E0) | ((v >> 3) & 0x001F);
}

// Writes the 32-bit pixels into rows of `bytes` bytes a pixel (4, or 2 as RGB565).
void WriteRows(uint8_t* rows, int pitch, const std::vector<uint32_t>& pixels, int size, int bytes) {
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const uint32_t v = pixels[size_t(y) * size + x];
            const uint32_t stored = bytes == 4 ? v : To565(v);
            std::memcpy(rows + y * pitch + x * bytes, &stored, size_t(bytes));
        }
    }
}

void SoftBlit(benchmark::State& state) {
    const Kind kind = static_cast<Kind>(state.range(0));
    const int size = static_cast<int>(state.range(1));
    const int colorType = static_cast<int>(state.range(2));
    const int bytes = colorType == 1 ? 4 : 2;
    MEMIMG target{};
    MEMIMG sprite{};
    MemImgCreate(&target, kWidth, kHeight, -1, 0, colorType, 0, 0, 0, nullptr);
    MemImgCreate(&sprite, size, size, -1, bytes == 4 ? kKey : To565(kKey), colorType, 0,
                 kind == kAlphaSource ? 1 : 0, 0, nullptr);
    MEMIMG mask{};
    MemImgCreate(&mask, size, size, -1, 0, kMemImgGray8, 0, 0, 0, nullptr);
    for (int y = 0; y < size; ++y) {
        std::memset(mask.pixels + y * mask.base->pitch, y * 255 / size, size_t(size));
    }
    MemImgBuildFadeTable(128, 255);
    std::memset(target.pixels, 0x30, size_t(target.base->pitch) * kHeight);
    const std::vector<uint32_t> pixels =
        kind == kAlphaSource ? AlphaPixels(size) : SpritePixels(size);
    WriteRows(sprite.pixels, sprite.base->pitch, pixels, size, bytes);
    SoftDrawState draw = DefaultSoftDrawState(RECT{0, 0, kWidth, kHeight});
    static constexpr uint32_t kDrawModes[] = {kBlendCopy, kBlendCopy,  kBlendAlpha,   kBlendAdd,
                                              kBlendCopy, kBlendAlpha, kBlendSubtract};
    draw.blendMode = kDrawModes[kind];
    draw.blendParam = kind == kAdd ? 255 : 200;
    const int trans = (kind == kKeyed || kind == kAlphaSource) ? 1 : 0;
    const MEMIMG* blendMask = kind == kMasked ? &mask : nullptr;
    const std::vector<Place> places = Places(size, CountFor(size));
    for (auto _ : state) {
        for (const Place& p : places) {
            MemImgBlit(draw, &target, &sprite, p.x, p.y, trans, blendMask);
        }
        benchmark::DoNotOptimize(target.pixels[0]);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(places.size()) * size * size);
    MemImgRelease(&mask);
    MemImgRelease(&sprite);
    MemImgRelease(&target);
}

// SDL's surfaces for a kind: a target cleared to 0x30 and the sprite set up
// for SDL's fastest blit to the same pixels as ours.
struct SdlPair {
    SDL_Surface* target;
    SDL_Surface* sprite;
};

SdlPair MakeSdlPair(Kind kind, int size, bool wide) {
    const Uint32 format = wide ? SDL_PIXELFORMAT_ARGB8888 : SDL_PIXELFORMAT_RGB565;
    SDL_Surface* target =
        SDL_CreateRGBSurfaceWithFormat(0, kWidth, kHeight, wide ? 32 : 16, format);
    std::vector<uint32_t> pixels = kind == kAlphaSource ? AlphaPixels(size) : SpritePixels(size);
    // A constant alpha from a source without an alpha channel takes SDL's
    // surface-alpha route, 2-3x its per-pixel route, for the same pixels.
    const Uint32 spriteFormat = wide && kind == kAlpha ? Uint32(SDL_PIXELFORMAT_RGB888) : format;
    SDL_Surface* sprite =
        SDL_CreateRGBSurfaceWithFormat(0, size, size, wide ? 32 : 16, spriteFormat);
    WriteRows(static_cast<uint8_t*>(sprite->pixels), sprite->pitch, pixels, size, wide ? 4 : 2);
    std::memset(target->pixels, 0x30, size_t(target->pitch) * kHeight);
    static constexpr SDL_BlendMode kModes[] = {SDL_BLENDMODE_NONE, SDL_BLENDMODE_NONE,
                                               SDL_BLENDMODE_BLEND, SDL_BLENDMODE_ADD,
                                               SDL_BLENDMODE_BLEND};
    SDL_SetSurfaceBlendMode(sprite, kModes[kind]);
    if (kind == kKeyed) {
        SDL_SetColorKey(sprite, SDL_TRUE, wide ? kKey : To565(kKey));
    }
    if (kind == kAlpha) {
        SDL_SetSurfaceAlphaMod(sprite, 200);
    }
    return {target, sprite};
}

void SdlBlit(benchmark::State& state) {
    const Kind kind = static_cast<Kind>(state.range(0));
    const int size = static_cast<int>(state.range(1));
    const bool wide = state.range(2) == 1;
    auto [target, sprite] = MakeSdlPair(kind, size, wide);
    const std::vector<Place> places = Places(size, CountFor(size));
    for (auto _ : state) {
        for (const Place& p : places) {
            SDL_Rect dest{p.x, p.y, size, size};
            SDL_BlitSurface(sprite, nullptr, target, &dest);
        }
        benchmark::DoNotOptimize(static_cast<uint8_t*>(target->pixels)[0]);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(places.size()) * size * size);
    SDL_FreeSurface(sprite);
    SDL_FreeSurface(target);
}

// The largest difference of a colour channel between our blit of one sprite
// and SDL's, and how many target pixels differ in colour; a 32-bit target.
struct PixelDifference {
    int pixels = 0;
    int largest = 0;
};

PixelDifference CompareOneBlit(Kind kind, int size) {
    MEMIMG target{};
    MEMIMG sprite{};
    MemImgCreate(&target, kWidth, kHeight, -1, 0, 1, 0, 0, 0, nullptr);
    MemImgCreate(&sprite, size, size, -1, kKey, 1, 0, kind == kAlphaSource ? 1 : 0, 0, nullptr);
    std::memset(target.pixels, 0x30, size_t(target.base->pitch) * kHeight);
    const std::vector<uint32_t> pixels =
        kind == kAlphaSource ? AlphaPixels(size) : SpritePixels(size);
    WriteRows(sprite.pixels, sprite.base->pitch, pixels, size, 4);
    SoftDrawState draw = DefaultSoftDrawState(RECT{0, 0, kWidth, kHeight});
    static constexpr uint32_t kDrawModes[] = {kBlendCopy, kBlendCopy, kBlendAlpha, kBlendAdd,
                                              kBlendCopy};
    draw.blendMode = kDrawModes[kind];
    draw.blendParam = kind == kAdd ? 255 : 200;
    const int trans = (kind == kKeyed || kind == kAlphaSource) ? 1 : 0;
    MemImgBlit(draw, &target, &sprite, 8, 8, trans, nullptr);
    auto [sdlTarget, sdlSprite] = MakeSdlPair(kind, size, true);
    SDL_Rect dest{8, 8, size, size};
    SDL_BlitSurface(sdlSprite, nullptr, sdlTarget, &dest);
    PixelDifference difference;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            uint32_t a, b;
            std::memcpy(&a, target.pixels + y * target.base->pitch + x * 4, 4);
            std::memcpy(&b, static_cast<uint8_t*>(sdlTarget->pixels) + y * sdlTarget->pitch + x * 4,
                        4);
            int largest = 0;
            for (int shift : {0, 8, 16}) {
                const int d = std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF));
                largest = std::max(largest, d);
            }
            difference.pixels += largest > 0;
            difference.largest = std::max(difference.largest, largest);
        }
    }
    SDL_FreeSurface(sdlSprite);
    SDL_FreeSurface(sdlTarget);
    MemImgRelease(&sprite);
    MemImgRelease(&target);
    return difference;
}

void PrintPixelCheck() {
    std::printf("\n%-40s %16s %16s\n", "same pixels as SDL? (32-bit, one blit)", "pixels differ",
                "largest channel");
    for (int size : {32, 256}) {
        for (int kind = kCopy; kind <= kAlphaSource; ++kind) {
            const PixelDifference d = CompareOneBlit(static_cast<Kind>(kind), size);
            std::printf("%-40s %16d %16d\n",
                        (std::to_string(size) + "x" + std::to_string(size) + " " + kKindNames[kind])
                            .c_str(),
                        d.pixels, d.largest);
        }
    }
}

void PrintSummary(const softbench::RateReporter& r) {
    for (int colorType : {1, 0}) {
        softbench::PrintHeader(
            colorType == 1 ? "blit onto 640x480 32-bit" : "blit onto 640x480 RGB565", "SDL Mpx/s");
        for (int size : {32, 256}) {
            for (int kind = kCopy; kind <= kSubtract; ++kind) {
                if (colorType == 0 && kind == kAlphaSource) {
                    continue;
                }
                const std::string args = std::to_string(kind) + "/" + std::to_string(size) + "/" +
                                         std::to_string(colorType);
                softbench::PrintRow(
                    std::to_string(size) + "x" + std::to_string(size) + " " + kKindNames[kind],
                    r.Mpx("SoftBlit/" + args), r.Mpx("SdlBlit/" + args));
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    MemImgBuildBlendTables();
    for (int colorType : {1, 0}) {
        for (int size : {32, 256}) {
            for (int kind = kCopy; kind <= kSubtract; ++kind) {
                if (colorType == 0 && kind == kAlphaSource) {
                    continue;
                }
                benchmark::RegisterBenchmark("SoftBlit", SoftBlit)->Args({kind, size, colorType});
                if (kind <= kAlphaSource) {
                    benchmark::RegisterBenchmark("SdlBlit", SdlBlit)->Args({kind, size, colorType});
                }
            }
        }
    }
    return benchspread::RunWithSummary<softbench::RateReporter>(
        argc, argv, [](const softbench::RateReporter& reporter) {
            PrintSummary(reporter);
            PrintPixelCheck();
        });
}
