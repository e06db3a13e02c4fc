// Speed of textured quads (two triangles each, as the game's four-corner image
// draws) on a 640x480 target: 32x32 and 256x256 images drawn axis-aligned and
// turned by 30 degrees, as a copy, as an alpha blend (mode 1, parameter 200)
// and from a source with per-pixel alpha under the transparent flag; for each
// pairing of target and source the game can make (32-bit from 32-bit, RGB565
// from RGB565, and both depths from paletted images, which carry no alpha);
// side by side with SDL_RenderGeometry on SDL2's software renderer over a
// target of the same depth (SDL_BLENDMODE_NONE; SDL_BLENDMODE_BLEND with vertex
// alpha 200; SDL_BLENDMODE_BLEND with the texture's alpha). Mpx/s of drawn
// pixels (the image's area per quad). One core.

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

// Target depth and source kind.
enum Format { kDirect32, kDirect565, kPaletted32, kPaletted565 };
const char* const kFormatNames[] = {"32-bit from 32-bit", "RGB565 from RGB565",
                                    "32-bit from paletted", "RGB565 from paletted"};

bool Narrow(Format f) {
    return f == kDirect565 || f == kPaletted565;
}
bool Paletted(Format f) {
    return f == kPaletted32 || f == kPaletted565;
}

uint32_t To565(uint32_t argb) {
    return ((argb >> 8) & 0xF800) | ((argb >> 5) & 0x07E0) | ((argb >> 3) & 0x001F);
}

// The palette index of a colour: 3 bits of red, 3 of green, 2 of blue.
uint32_t IndexOf(uint32_t argb) {
    return ((argb >> 16) & 0xE0) | ((argb >> 11) & 0x1C) | ((argb >> 6) & 0x03);
}
uint32_t EntryOf(uint32_t index) {
    return 0xFF000000u | ((index & 0xE0) << 16) | ((index & 0x1C) << 11) | ((index & 0x03) << 6);
}

// The image's pixels in the source's own form, its palette filled.
void FillImage(MEMIMG* image, Format f, const std::vector<uint32_t>& pixels, int size, bool alpha) {
    const MemImgBase* base = image->base;
    if (Paletted(f)) {
        for (uint32_t i = 0; i < 256; ++i) {
            const uint32_t entry = Narrow(f) ? To565(EntryOf(i)) : EntryOf(i);
            std::memcpy(base->palette + (Narrow(f) ? 2 : 4) * i, &entry, Narrow(f) ? 2 : 4);
        }
    }
    for (int y = 0; y < size; ++y) {
        uint8_t* row = image->pixels + y * base->pitch;
        for (int x = 0; x < size; ++x) {
            const uint32_t v = pixels[size_t(y) * size + x];
            if (Paletted(f)) {
                row[x] = uint8_t(IndexOf(v));
            } else if (f == kDirect565) {
                const uint32_t w = To565(v) | (alpha ? (v >> 24) << 16 : 0);
                std::memcpy(row + x * base->format->bytes, &w, size_t(base->format->bytes));
            } else {
                std::memcpy(row + 4 * x, &v, 4);
            }
        }
    }
}

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
    const Format format = static_cast<Format>(state.range(3));
    const int type = Narrow(format) ? 0 : 1;
    const bool alpha = kind == kAlphaSource;
    MEMIMG target{};
    MEMIMG image{};
    MemImgCreate(&target, kWidth, kHeight, -1, 0, type, 0, 0, 0, nullptr);
    MemImgCreate(&image, size, size, -1, 0, type, Paletted(format) ? 1 : 0, alpha ? 1 : 0, 0,
                 nullptr);
    std::memset(target.pixels, 0x30, size_t(target.base->pitch) * kHeight);
    FillImage(&image, format, ImagePixels(size, alpha), size, alpha);
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
    const bool narrow = Narrow(static_cast<Format>(state.range(3)));
    SDL_Surface* target =
        SDL_CreateRGBSurfaceWithFormat(0, kWidth, kHeight, narrow ? 16 : 32,
                                       narrow ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_ARGB8888);
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

// Calls fn(format, turned, size, kind) for every case that runs: paletted
// images have no alpha of their own.
template <class Fn>
void EachCase(Fn fn) {
    for (int format = kDirect32; format <= kPaletted565; ++format) {
        for (int turned : {0, 1}) {
            for (int size : {32, 256}) {
                for (int kind = kCopy; kind <= kAlphaSource; ++kind) {
                    if (kind != kAlphaSource || !Paletted(Format(format))) {
                        fn(format, turned, size, kind);
                    }
                }
            }
        }
    }
}

void PrintSummary(const softbench::RateReporter& r) {
    int shown = -1;
    EachCase([&](int format, int turned, int size, int kind) {
        if (format != shown) {
            const std::string title =
                std::string("textured quads, 640x480 ") + kFormatNames[format];
            softbench::PrintHeader(title.c_str(), "SDL Mpx/s");
            shown = format;
        }
        const std::string args = std::to_string(kind) + "/" + std::to_string(size) + "/" +
                                 std::to_string(turned) + "/" + std::to_string(format);
        softbench::PrintRow(std::to_string(size) + "x" + std::to_string(size) +
                                (turned ? " turned " : " ") + kKindNames[kind],
                            r.Mpx("SoftQuad/" + args), r.Mpx("SdlQuad/" + args));
    });
}

}  // namespace

int main(int argc, char** argv) {
    MemImgBuildBlendTables();
    EachCase([](int format, int turned, int size, int kind) {
        benchmark::RegisterBenchmark("SoftQuad", SoftQuad)->Args({kind, size, turned, format});
        benchmark::RegisterBenchmark("SdlQuad", SdlQuad)->Args({kind, size, turned, format});
    });
    return benchspread::RunWithSummary<softbench::RateReporter>(argc, argv, PrintSummary);
}
