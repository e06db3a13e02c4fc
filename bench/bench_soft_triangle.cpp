// Speed of textured quads (two triangles each, as the game's four-corner image
// draws) on a 640x480 32-bit target: 32x32 and 256x256 images drawn axis-
// aligned and turned by 30 degrees, as a copy, as an alpha blend (mode 1,
// parameter 200) and from a source with per-pixel alpha under the transparent
// flag; side by side with SDL_RenderGeometry on SDL2's software renderer over
// the same pixels (SDL_BLENDMODE_NONE; SDL_BLENDMODE_BLEND with vertex alpha
// 200; SDL_BLENDMODE_BLEND with the texture's alpha). Mpx/s of drawn pixels
// (the image's area per quad). One core.

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "graphics/memimg/blend_tables.h"
#include "graphics/memimg/memimg.h"
#include "soft_rates.h"
#include "softrender/triangle.h"

namespace {

using namespace tessel;

constexpr int kWidth = 640;
constexpr int kHeight = 480;

enum Kind { kCopy, kBlend, kAlphaSource };
const char* const kKindNames[] = {"copy", "alpha blend (mode 1, p 200)", "per-pixel alpha, keyed"};

// Stripes and a gradient, opaque; the alpha version fades out toward the rim
// and is clear in the corners.
std::vector<uint32_t> ImagePixels(int size, bool alpha) {
    std::vector<uint32_t> pixels(size_t(size) * size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const uint32_t stripe = ((x / 4 + y / 4) & 1) ? 0x30 : 0xD0;
            uint32_t a = 255;
            if (alpha) {
                const int dx = 2 * x - size + 1, dy = 2 * y - size + 1;
                const int r2 = dx * dx + dy * dy, s2 = size * size;
                a = r2 >= s2 ? 0 : (r2 > s2 / 2 ? uint32_t(255 * (s2 - r2) / (s2 / 2)) : 255);
            }
            pixels[size_t(y) * size + x] = (a << 24) | uint32_t((x * 255 / size) << 16) |
                                           uint32_t((y * 255 / size) << 8) | stripe;
        }
    }
    return pixels;
}

struct Quad {
    float x[4], y[4];  // top-left, top-right, bottom-left, bottom-right
};

// Quads of the image's size at random places inside the target, turned by
// the angle about their centres.
std::vector<Quad> Quads(int size, int count, float angle) {
    std::mt19937 rng(size * 7 + (angle != 0 ? 1 : 0));
    const float c = std::cos(angle), s = std::sin(angle);
    const float reach = size * 0.71f;
    std::vector<Quad> quads;
    for (int i = 0; i < count; ++i) {
        const float cx = reach + float(rng() % uint32_t(kWidth - 2 * reach));
        const float cy = reach + float(rng() % uint32_t(kHeight - 2 * reach));
        Quad q{};
        const float corner[4][2] = {{-1, -1}, {1, -1}, {-1, 1}, {1, 1}};
        for (int k = 0; k < 4; ++k) {
            const float dx = corner[k][0] * size / 2, dy = corner[k][1] * size / 2;
            q.x[k] = std::floor(cx + dx * c - dy * s);
            q.y[k] = std::floor(cy + dx * s + dy * c);
        }
        quads.push_back(q);
    }
    return quads;
}

int CountFor(int size) {
    return size == 32 ? 1000 : 16;
}

float AngleOf(int64_t turned) {
    return turned != 0 ? 0.5235988f : 0.0f;
}

void SoftQuad(benchmark::State& state) {
    const Kind kind = static_cast<Kind>(state.range(0));
    const int size = static_cast<int>(state.range(1));
    MEMIMG target{};
    MEMIMG image{};
    MemImgCreate(&target, kWidth, kHeight, -1, 0, 1, 0, 0, 0, nullptr);
    MemImgCreate(&image, size, size, -1, 0, 1, 0, kind == kAlphaSource ? 1 : 0, 0, nullptr);
    std::memset(target.pixels, 0x30, size_t(target.base->pitch) * kHeight);
    const std::vector<uint32_t> pixels = ImagePixels(size, kind == kAlphaSource);
    for (int y = 0; y < size; ++y) {
        std::memcpy(image.pixels + y * image.base->pitch, &pixels[size_t(y) * size],
                    size_t(size) * 4);
    }
    SoftDrawState draw = DefaultSoftDrawState(RECT{0, 0, kWidth, kHeight});
    draw.blendMode = kind == kBlend ? kBlendAlpha : kBlendCopy;
    draw.blendParam = 200;
    const int trans = kind == kAlphaSource ? 1 : 0;
    std::vector<std::array<MemImgQuadCorner, 4>> corners;
    for (const Quad& q : Quads(size, CountFor(size), AngleOf(state.range(2)))) {
        std::array<MemImgQuadCorner, 4> c{};
        for (int k = 0; k < 4; ++k) {
            c[k] = {int32_t(q.x[k]), int32_t(q.y[k])};
        }
        corners.push_back(c);
    }
    for (auto _ : state) {
        for (const auto& c : corners) {
            MemImgTexturedQuad(draw, &target, &image, c.data(), trans, nullptr);
        }
        benchmark::DoNotOptimize(target.pixels[0]);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(corners.size()) * size * size);
    MemImgRelease(&image);
    MemImgRelease(&target);
}

void SdlQuad(benchmark::State& state) {
    const Kind kind = static_cast<Kind>(state.range(0));
    const int size = static_cast<int>(state.range(1));
    SDL_Surface* target =
        SDL_CreateRGBSurfaceWithFormat(0, kWidth, kHeight, 32, SDL_PIXELFORMAT_ARGB8888);
    std::memset(target->pixels, 0x30, size_t(target->pitch) * kHeight);
    SDL_Renderer* renderer = SDL_CreateSoftwareRenderer(target);
    std::vector<uint32_t> pixels = ImagePixels(size, kind == kAlphaSource);
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(pixels.data(), size, size, 32,
                                                              size * 4, SDL_PIXELFORMAT_ARGB8888);
    SDL_Texture* texture = SDL_CreateTextureFromSurface(renderer, surface);
    SDL_SetTextureBlendMode(texture, kind == kCopy ? SDL_BLENDMODE_NONE : SDL_BLENDMODE_BLEND);
    SDL_SetTextureScaleMode(texture, SDL_ScaleModeNearest);
    const Uint8 alpha = kind == kBlend ? 200 : 255;
    std::vector<SDL_Vertex> vertices;
    for (const Quad& q : Quads(size, CountFor(size), AngleOf(state.range(2)))) {
        const float u[4] = {0, 1, 0, 1}, v[4] = {0, 0, 1, 1};
        for (int k : {0, 1, 2, 1, 2, 3}) {
            vertices.push_back(SDL_Vertex{{q.x[k], q.y[k]}, {255, 255, 255, alpha}, {u[k], v[k]}});
        }
    }
    for (auto _ : state) {
        for (size_t i = 0; i < vertices.size(); i += 6) {
            SDL_RenderGeometry(renderer, texture, &vertices[i], 6, nullptr, 0);
        }
        SDL_RenderFlush(renderer);
        benchmark::DoNotOptimize(static_cast<uint8_t*>(target->pixels)[0]);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(vertices.size() / 6) * size * size);
    SDL_DestroyTexture(texture);
    SDL_FreeSurface(surface);
    SDL_DestroyRenderer(renderer);
    SDL_FreeSurface(target);
}

void PrintSummary(const softbench::RateReporter& r) {
    softbench::PrintHeader("textured quads onto 640x480 32-bit", "SDL Mpx/s");
    for (int turned : {0, 1}) {
        for (int size : {32, 256}) {
            for (int kind = kCopy; kind <= kAlphaSource; ++kind) {
                const std::string args = std::to_string(kind) + "/" + std::to_string(size) + "/" +
                                         std::to_string(turned);
                softbench::PrintRow(std::to_string(size) + "x" + std::to_string(size) +
                                        (turned ? " turned " : " ") + kKindNames[kind],
                                    r.Mpx("SoftQuad/" + args), r.Mpx("SdlQuad/" + args));
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    MemImgBuildBlendTables();
    for (int turned : {0, 1}) {
        for (int size : {32, 256}) {
            for (int kind = kCopy; kind <= kAlphaSource; ++kind) {
                benchmark::RegisterBenchmark("SoftQuad", SoftQuad)->Args({kind, size, turned});
                benchmark::RegisterBenchmark("SdlQuad", SdlQuad)->Args({kind, size, turned});
            }
        }
    }
    softbench::RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintSummary(reporter);
    benchmark::Shutdown();
    return 0;
}
