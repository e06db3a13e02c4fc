// Speed of the CPU device's rasteriser on the game's two heavy loads, side by side with SDL2's
// software renderer drawing the same pictures: 32x32 point-sampled, alpha-blended sprites
// (sprites per second) and a 640x480 image stretched onto 1280x960 (frames per second), point
// sampled beside SDL's renderer and bilinear beside SDL_SoftStretchLinear. One-thread rows
// are compared by process CPU time, rows with the device's threads by wall time beside it. The
// sprites are drawn both straight into the rasteriser and through the device as the library sends
// them: DrawPrimitiveUP with FVF 0x144 (stride 28), batches of 2340 vertices, flat shading with the
// colour in the first vertex of each triangle.

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/d3d9.h"
#include "platform/d3d9/raster_draw.h"
#include "platform/d3d9/raster_texel.h"
#include "support/spread.h"

namespace {

using namespace platform;

constexpr int kSpriteCount = 1000;
constexpr int kSpriteSize = 32;
constexpr int kScreenWidth = 640;
constexpr int kScreenHeight = 480;

struct SpritePlace {
    int x, y;
};

const std::vector<SpritePlace>& Places() {
    static const std::vector<SpritePlace> places = [] {
        std::mt19937 rng(12345);
        std::vector<SpritePlace> p;
        for (int i = 0; i < kSpriteCount; ++i) {
            p.push_back({static_cast<int>(rng() % (kScreenWidth - kSpriteSize)),
                         static_cast<int>(rng() % (kScreenHeight - kSpriteSize))});
        }
        return p;
    }();
    return places;
}

// A round sprite with a soft edge: opaque middle, translucent rim, transparent corners.
std::vector<uint32_t> SpritePixels() {
    std::vector<uint32_t> pixels(kSpriteSize * kSpriteSize);
    for (int y = 0; y < kSpriteSize; ++y) {
        for (int x = 0; x < kSpriteSize; ++x) {
            int dx = 2 * x - kSpriteSize + 1, dy = 2 * y - kSpriteSize + 1;
            int d2 = dx * dx + dy * dy;
            uint32_t a = d2 < 600 ? 255 : (d2 < 1000 ? 128 : 0);
            pixels[y * kSpriteSize + x] = (a << 24) | ((x * 8) << 16) | ((y * 8) << 8) | 0x40;
        }
    }
    return pixels;
}

std::vector<uint32_t> PicturePixels(int w, int h) {
    std::vector<uint32_t> pixels(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            pixels[static_cast<size_t>(y) * w + x] = 0xFF000000u | (x << 12) | y;
    }
    return pixels;
}

RasterVertex Corner(float x, float y, float u, float v) {
    RasterVertex r;
    r.x = x;
    r.y = y;
    r.z = 0.2f;
    r.rhw = 1.0f;
    r.diffuse = 0xFFFFFFFFu;
    r.tex[0][0] = u;
    r.tex[0][1] = v;
    return r;
}

void AppendQuad(std::vector<RasterVertex>* v, float x1, float y1, float x2, float y2) {
    v->push_back(Corner(x1, y1, 0, 0));
    v->push_back(Corner(x2, y1, 1, 0));
    v->push_back(Corner(x1, y2, 0, 1));
    v->push_back(Corner(x2, y2, 1, 1));
    v->push_back(Corner(x1, y2, 0, 1));
    v->push_back(Corner(x2, y1, 1, 0));
}

// The states the library sets for a textured 2D draw: stage 0 modulates the texture by the
// vertex colour, flat shading, no culling, no depth.
RasterStates SpriteStates(const RasterTexture* texture, bool blend, int width, int height) {
    RasterStates s;
    SetDefaultRasterStates(&s);
    s.viewport = {0, 0, width, height, 0.0f, 1.0f};
    s.render[kRsCullMode] = kCullNone;
    s.render[kRsShadeMode] = kShadeFlat;
    s.render[kRsLighting] = 0;
    s.textures[0] = texture;
    s.stage[0][kTssColorOp] = kTopModulate;
    s.stage[0][kTssColorArg1] = kTaTexture;
    s.stage[0][kTssColorArg2] = kTaDiffuse;
    s.stage[0][kTssAlphaOp] = kTopModulate;
    s.stage[0][kTssAlphaArg1] = kTaTexture;
    s.stage[0][kTssAlphaArg2] = kTaDiffuse;
    s.sampler[0][kSampAddressU] = kAddressClamp;
    s.sampler[0][kSampAddressV] = kAddressClamp;
    if (blend) {
        s.render[kRsAlphaBlendEnable] = 1;
        s.render[kRsSrcBlend] = kBlendSrcAlpha;
        s.render[kRsDestBlend] = kBlendInvSrcAlpha;
    }
    return s;
}

void Draw(const RasterTarget& target, const RasterStates& states,
          const std::vector<RasterVertex>& v) {
    RasterDrawCall call;
    call.primitiveType = kPrimTriangleList;
    call.primitiveCount = static_cast<uint32_t>(v.size() / 3);
    call.vertices = v.data();
    call.vertexCount = static_cast<uint32_t>(v.size());
    DrawRasterPrimitives(target, states, call);
}

// The sprite, the screen it is drawn on and the blended sprite states; the
// texture and the target point into the vectors, so a scene stays in place.
struct SpriteScene {
    SpriteScene() {
        texture.format = kFmtA8R8G8B8;
        texture.levelCount = 1;
        texture.levels[0] = {reinterpret_cast<uint8_t*>(sprite.data()), kSpriteSize, kSpriteSize,
                             kSpriteSize * 4, kFmtA8R8G8B8};
        target.color = {reinterpret_cast<uint8_t*>(screen.data()), kScreenWidth, kScreenHeight,
                        kScreenWidth * 4, kFmtX8R8G8B8};
        states = SpriteStates(&texture, true, kScreenWidth, kScreenHeight);
    }
    SpriteScene(const SpriteScene&) = delete;
    SpriteScene& operator=(const SpriteScene&) = delete;

    std::vector<uint32_t> sprite = SpritePixels();
    std::vector<uint32_t> screen = std::vector<uint32_t>(kScreenWidth * kScreenHeight, 0xFF102030u);
    RasterTexture texture;
    RasterTarget target;
    RasterStates states;
};

void DrawSpritesTimed(benchmark::State& state, SpriteScene& scene,
                      const std::vector<RasterVertex>& v) {
    for (auto _ : state) {
        Draw(scene.target, scene.states, v);
        benchmark::DoNotOptimize(scene.screen.data());
    }
    state.SetItemsProcessed(state.iterations() * kSpriteCount);
    SetRasterThreadCount(0);
}

void RasterSprites(benchmark::State& state) {
    SetRasterThreadCount(static_cast<int>(state.range(0)));
    SpriteScene scene;
    std::vector<RasterVertex> v;
    for (const SpritePlace& p : Places()) {
        AppendQuad(&v, p.x - 0.5f, p.y - 0.5f, p.x + kSpriteSize - 0.5f, p.y + kSpriteSize - 0.5f);
    }
    DrawSpritesTimed(state, scene, v);
}

// The same sprites turned by a small angle: the general triangle route, as bullets take it.
void RasterTurnedSprites(benchmark::State& state) {
    SetRasterThreadCount(static_cast<int>(state.range(0)));
    SpriteScene scene;
    std::vector<RasterVertex> v;
    const float c = 0.9950042f, s = 0.0998334f;  // 0.1 radians
    for (const SpritePlace& p : Places()) {
        AppendQuad(&v, 0, 0, kSpriteSize, kSpriteSize);
        for (size_t k = v.size() - 6; k < v.size(); ++k) {
            float x = v[k].x - kSpriteSize / 2, y = v[k].y - kSpriteSize / 2;
            v[k].x = p.x + kSpriteSize / 2 + c * x - s * y;
            v[k].y = p.y + kSpriteSize / 2 + s * x + c * y;
        }
    }
    DrawSpritesTimed(state, scene, v);
}

// The game's bullet layer as it reaches the rasteriser: 600 one-quad draws of the sprite,
// filtered linearly, at fractional positions and scales 0.8 .. 1.7 (and 1.0), alternately
// alpha-blended and added, most tinted by the vertex colour. range(0): 1 turns every fourth
// sprite by a small angle (the triangle route), 2 turns every one, 3 turns every one cut
// from a 256x256 sheet as the game's bullets are (its taps then stay inside the texture), 0
// keeps them all upright.
void RasterLinearSprites(benchmark::State& state) {
    SetRasterThreadCount(1);
    SpriteScene scene;
    RasterStates states[2] = {scene.states, scene.states};
    for (RasterStates& s : states) {
        s.sampler[0][kSampMagFilter] = kFilterLinear;
        s.sampler[0][kSampMinFilter] = kFilterLinear;
    }
    states[1].render[kRsDestBlend] = kBlendOne;
    const bool sheet = state.range(0) == 3;
    constexpr int kSheet = 256, kCellX = 96, kCellY = 64;
    std::vector<uint32_t> sheetTexels(kSheet * kSheet, 0x00808080u);
    RasterTexture sheetTexture = scene.texture;
    if (sheet) {
        for (int y = 0; y < kSpriteSize; ++y) {
            for (int x = 0; x < kSpriteSize; ++x)
                sheetTexels[(kCellY + y) * kSheet + kCellX + x] = scene.sprite[y * kSpriteSize + x];
        }
        sheetTexture.levels[0] = {reinterpret_cast<uint8_t*>(sheetTexels.data()), kSheet, kSheet,
                                  kSheet * 4, kFmtA8R8G8B8};
        for (RasterStates& s : states)
            s.textures[0] = &sheetTexture;
    }
    const int turnEvery = state.range(0) >= 2 ? 1 : 4;
    const bool turn = state.range(0) != 0;
    constexpr int kBullets = 600;
    std::mt19937 rng(4242);
    std::vector<std::vector<RasterVertex>> quads;
    for (int i = 0; i < kBullets; ++i) {
        float cx = 16.0f + static_cast<float>(rng() % 6080) / 10.0f;
        float cy = 16.0f + static_cast<float>(rng() % 4480) / 10.0f;
        float scale = i % 5 == 0 ? 1.0f : 0.8f + static_cast<float>(rng() % 91) / 100.0f;
        float half = kSpriteSize * scale / 2;
        std::vector<RasterVertex> v;
        AppendQuad(&v, cx - half, cy - half, cx + half, cy + half);
        // A few colours, as the game's bullets have.
        const uint32_t kTints[4] = {0xFFFFFFFFu, 0xFFFF8040u, 0xC040A0FFu, 0xFF80FF80u};
        uint32_t tint = kTints[rng() % 4];
        const float c = 0.8660254f, s = 0.5f;  // 30 degrees
        for (RasterVertex& r : v) {
            r.diffuse = tint;
            if (sheet) {
                r.tex[0][0] = (kCellX + r.tex[0][0] * kSpriteSize) / kSheet;
                r.tex[0][1] = (kCellY + r.tex[0][1] * kSpriteSize) / kSheet;
            }
            if (turn && i % turnEvery == 0) {
                float x = r.x - cx, y = r.y - cy;
                r.x = cx + c * x - s * y;
                r.y = cy + s * x + c * y;
            }
        }
        quads.push_back(std::move(v));
    }
    for (auto _ : state) {
        for (int i = 0; i < kBullets; ++i)
            Draw(scene.target, states[i % 2], quads[i]);
        benchmark::DoNotOptimize(scene.screen.data());
    }
    state.SetItemsProcessed(state.iterations() * kBullets);
    SetRasterThreadCount(0);
}

void RasterStretch(benchmark::State& state) {
    SetRasterThreadCount(static_cast<int>(state.range(0)));
    std::vector<uint32_t> picture = PicturePixels(kScreenWidth, kScreenHeight);
    RasterTexture texture;
    texture.format = kFmtX8R8G8B8;
    texture.levelCount = 1;
    texture.levels[0] = {reinterpret_cast<uint8_t*>(picture.data()), kScreenWidth, kScreenHeight,
                         kScreenWidth * 4, kFmtX8R8G8B8};
    std::vector<uint32_t> screen(kScreenWidth * kScreenHeight * 4);
    RasterTarget target;
    target.color = {reinterpret_cast<uint8_t*>(screen.data()), 2 * kScreenWidth, 2 * kScreenHeight,
                    2 * kScreenWidth * 4, kFmtX8R8G8B8};
    RasterStates states = SpriteStates(&texture, false, 2 * kScreenWidth, 2 * kScreenHeight);
    if (state.range(1) != 0) {  // the bilinear filter mode of the settings program
        states.sampler[0][kSampMagFilter] = kFilterLinear;
        states.sampler[0][kSampMinFilter] = kFilterLinear;
    }
    std::vector<RasterVertex> v;
    AppendQuad(&v, -0.5f, -0.5f, 2 * kScreenWidth - 0.5f, 2 * kScreenHeight - 0.5f);
    for (auto _ : state) {
        Draw(target, states, v);
        benchmark::DoNotOptimize(screen.data());
    }
    state.SetItemsProcessed(state.iterations());
    SetRasterThreadCount(0);
}

// The sprites through the device, as the library sends them.
struct LibraryVertex {
    float x, y, z, rhw;
    DWORD colour;
    float u, v;
};
static_assert(sizeof(LibraryVertex) == 28);
constexpr DWORD kLibraryFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;  // 0x144
constexpr size_t kBatchVertices = 2340;

std::vector<LibraryVertex> LibrarySpriteVertices() {
    std::vector<LibraryVertex> v;
    for (const SpritePlace& p : Places()) {
        float x1 = p.x - 0.5f, y1 = p.y - 0.5f;
        float x2 = x1 + kSpriteSize, y2 = y1 + kSpriteSize;
        // Colour only in the first vertex of each triangle; the others keep what the
        // batch held before (here 0).
        v.push_back({x1, y1, 0.2f, 1.0f, 0xFFFFFFFFu, 0, 0});
        v.push_back({x2, y1, 0.2f, 1.0f, 0, 1, 0});
        v.push_back({x1, y2, 0.2f, 1.0f, 0, 0, 1});
        v.push_back({x2, y2, 0.2f, 1.0f, 0xFFFFFFFFu, 1, 1});
        v.push_back({x1, y2, 0.2f, 1.0f, 0, 0, 1});
        v.push_back({x2, y1, 0.2f, 1.0f, 0, 1, 0});
    }
    return v;
}

struct DeviceScene {
    DeviceScene() {
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS p{};
        p.BackBufferWidth = kScreenWidth;
        p.BackBufferHeight = kScreenHeight;
        p.BackBufferFormat = D3DFMT_X8R8G8B8;
        p.BackBufferCount = 1;
        p.SwapEffect = D3DSWAPEFFECT_COPY;
        // The device draws into no window here; any handle will do.
        p.hDeviceWindow = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1000));
        p.Windowed = TRUE;
        p.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        if (d3d == nullptr ||
            FAILED(d3d->CreateDevice(0, D3DDEVTYPE_HAL, p.hDeviceWindow,
                                     D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &device))) {
            return;
        }
        if (FAILED(device->CreateTexture(kSpriteSize, kSpriteSize, 1, 0, D3DFMT_A8R8G8B8,
                                         D3DPOOL_MANAGED, &texture, nullptr))) {
            return;
        }
        D3DLOCKED_RECT locked;
        texture->LockRect(0, &locked, nullptr, 0);
        std::vector<uint32_t> pixels = SpritePixels();
        for (int y = 0; y < kSpriteSize; ++y) {
            std::memcpy(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch,
                        pixels.data() + y * kSpriteSize, kSpriteSize * 4);
        }
        texture->UnlockRect(0);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF102030u, 1.0f, 0);
        device->SetFVF(kLibraryFvf);
        device->SetTexture(0, texture);
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
        device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
        device->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
        device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    }
    ~DeviceScene() {
        if (texture != nullptr)
            texture->Release();
        if (device != nullptr)
            device->Release();
        if (d3d != nullptr)
            d3d->Release();
    }
    bool Ok() const { return texture != nullptr; }

    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    IDirect3DTexture9* texture = nullptr;
};

void DeviceSprites(benchmark::State& state) {
    SetRasterThreadCount(static_cast<int>(state.range(0)));
    DeviceScene scene;
    if (!scene.Ok()) {
        state.SkipWithError("no device");
        return;
    }
    std::vector<LibraryVertex> v = LibrarySpriteVertices();
    for (auto _ : state) {
        scene.device->BeginScene();
        for (size_t first = 0; first < v.size(); first += kBatchVertices) {
            size_t count = std::min(kBatchVertices, v.size() - first);
            scene.device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, static_cast<UINT>(count / 3),
                                          &v[first], sizeof(LibraryVertex));
        }
        scene.device->EndScene();
    }
    state.SetItemsProcessed(state.iterations() * kSpriteCount);
    SetRasterThreadCount(0);
}

struct SdlScene {
    SDL_Surface* screen = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;

    SdlScene(int width, int height, const std::vector<uint32_t>& pixels, int tw, int th,
             bool blend) {
        screen = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_ARGB8888);
        renderer = SDL_CreateSoftwareRenderer(screen);
        SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(
            const_cast<uint32_t*>(pixels.data()), tw, th, 32, tw * 4, SDL_PIXELFORMAT_ARGB8888);
        texture = SDL_CreateTextureFromSurface(renderer, source);
        SDL_FreeSurface(source);
        SDL_SetTextureBlendMode(texture, blend ? SDL_BLENDMODE_BLEND : SDL_BLENDMODE_NONE);
        SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    }
    ~SdlScene() {
        SDL_DestroyTexture(texture);
        SDL_DestroyRenderer(renderer);
        SDL_FreeSurface(screen);
    }
    bool Ok() const { return screen && renderer && texture; }
};

void SdlSprites(benchmark::State& state) {
    std::vector<uint32_t> sprite = SpritePixels();
    SdlScene scene(kScreenWidth, kScreenHeight, sprite, kSpriteSize, kSpriteSize, true);
    if (!scene.Ok()) {
        state.SkipWithError(SDL_GetError());
        return;
    }
    for (auto _ : state) {
        for (const SpritePlace& p : Places()) {
            SDL_Rect dest{p.x, p.y, kSpriteSize, kSpriteSize};
            SDL_RenderCopy(scene.renderer, scene.texture, nullptr, &dest);
        }
        SDL_RenderFlush(scene.renderer);
        benchmark::DoNotOptimize(scene.screen->pixels);
    }
    state.SetItemsProcessed(state.iterations() * kSpriteCount);
}

void SdlTurnedSprites(benchmark::State& state) {
    std::vector<uint32_t> sprite = SpritePixels();
    SdlScene scene(kScreenWidth, kScreenHeight, sprite, kSpriteSize, kSpriteSize, true);
    if (!scene.Ok()) {
        state.SkipWithError(SDL_GetError());
        return;
    }
    const double degrees = 0.1 * 180.0 / 3.14159265358979;
    for (auto _ : state) {
        for (const SpritePlace& p : Places()) {
            SDL_Rect dest{p.x, p.y, kSpriteSize, kSpriteSize};
            SDL_RenderCopyEx(scene.renderer, scene.texture, nullptr, &dest, degrees, nullptr,
                             SDL_FLIP_NONE);
        }
        SDL_RenderFlush(scene.renderer);
        benchmark::DoNotOptimize(scene.screen->pixels);
    }
    state.SetItemsProcessed(state.iterations() * kSpriteCount);
}

void SdlStretch(benchmark::State& state) {
    std::vector<uint32_t> picture = PicturePixels(kScreenWidth, kScreenHeight);
    SdlScene scene(2 * kScreenWidth, 2 * kScreenHeight, picture, kScreenWidth, kScreenHeight,
                   false);
    if (!scene.Ok()) {
        state.SkipWithError(SDL_GetError());
        return;
    }
    for (auto _ : state) {
        SDL_Rect dest{0, 0, 2 * kScreenWidth, 2 * kScreenHeight};
        SDL_RenderCopy(scene.renderer, scene.texture, nullptr, &dest);
        SDL_RenderFlush(scene.renderer);
        benchmark::DoNotOptimize(scene.screen->pixels);
    }
    state.SetItemsProcessed(state.iterations());
}

// SDL's own bilinear stretch of a surface, the peer of the device's LINEAR filter.
void SdlStretchLinear(benchmark::State& state) {
    std::vector<uint32_t> picture = PicturePixels(kScreenWidth, kScreenHeight);
    SDL_Surface* source =
        SDL_CreateRGBSurfaceWithFormatFrom(picture.data(), kScreenWidth, kScreenHeight, 32,
                                           kScreenWidth * 4, SDL_PIXELFORMAT_ARGB8888);
    SDL_Surface* screen = SDL_CreateRGBSurfaceWithFormat(0, 2 * kScreenWidth, 2 * kScreenHeight, 32,
                                                         SDL_PIXELFORMAT_ARGB8888);
    if (source == nullptr || screen == nullptr) {
        state.SkipWithError(SDL_GetError());
        return;
    }
    for (auto _ : state) {
        if (SDL_SoftStretchLinear(source, nullptr, screen, nullptr) != 0) {
            state.SkipWithError(SDL_GetError());
            break;
        }
        benchmark::DoNotOptimize(screen->pixels);
    }
    state.SetItemsProcessed(state.iterations());
    SDL_FreeSurface(screen);
    SDL_FreeSurface(source);
}

// One row: our time against the peer's, repetition by repetition (the peer's
// time over ours, so above 1 is faster). A one-thread row is compared by
// process CPU time; a row with the device's threads by wall time, its CPU
// time beside it (what the frame costs the machine).
void PrintRow(const benchspread::SpreadReporter& r, const std::string& label,
              const std::string& ours, const std::string& peer, bool threaded, double goal) {
    const benchspread::Samples cpu =
        benchspread::Ratios(r.Get(peer, "cpu_seconds"), r.Get(ours, "cpu_seconds"));
    if (cpu.Empty()) {
        return;
    }
    if (!threaded) {
        std::printf("%-40s %-24s %-24s", label.c_str(), benchspread::FormatSpread(cpu).c_str(), "");
    } else {
        // The peer runs on one thread: its wall time is its CPU time.
        const benchspread::Samples wall =
            benchspread::Ratios(r.Get(peer, "cpu_seconds"), r.Get(ours, "real_seconds"));
        std::printf("%-40s %-24s %-24s", label.c_str(), benchspread::FormatSpread(cpu).c_str(),
                    benchspread::FormatSpread(wall).c_str());
    }
    if (goal > 0) {
        std::printf(" goal %.2f", goal);
    }
    std::printf("\n");
    benchspread::PrintGoalNote(cpu, goal);
}

void PrintSummary(const benchspread::SpreadReporter& r) {
    std::printf("\n%-40s %-24s %-24s\n", "load, ratio to SDL2 soft [spread]", "by CPU time",
                "by wall time");
    constexpr double kGoal = 2.0;  // sprites by DrawPrimitiveUP, turned sprites
    for (const char* threads : {"1", "0"}) {
        const bool threaded = std::string(threads) == "0";
        const std::string label = threaded ? "threads allowed" : "one thread";
        const std::string t = threads;
        PrintRow(r, "turned sprites, " + label, "RasterTurnedSprites/" + t, "SdlTurnedSprites",
                 threaded, kGoal);
        PrintRow(r, "32x32 blended sprites, " + label, "RasterSprites/" + t, "SdlSprites", threaded,
                 0);
        PrintRow(r, "640x480 -> 1280x960, " + label, "RasterStretch/" + t + "/0", "SdlStretch",
                 threaded, 0);
        PrintRow(r, "  the same bilinear, " + label, "RasterStretch/" + t + "/1",
                 "SdlStretchLinear", threaded, 0);
        PrintRow(r, "sprites by DrawPrimitiveUP, " + label, "DeviceSprites/" + t, "SdlSprites",
                 threaded, kGoal);
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchspread::Initialize(&argc, &argv);
    // Process CPU time throughout, so that work the device hands to its threads is counted.
    // A one-thread row is timed by it (wall time on a shared machine is the neighbours'
    // load); a row with threads is timed by the wall, what it costs a frame.
    benchmark::RegisterBenchmark("RasterSprites", RasterSprites)->Arg(1)->MeasureProcessCPUTime();
    benchmark::RegisterBenchmark("RasterSprites", RasterSprites)
        ->Arg(0)
        ->MeasureProcessCPUTime()
        ->UseRealTime();
    benchmark::RegisterBenchmark("RasterTurnedSprites", RasterTurnedSprites)
        ->Arg(1)
        ->MeasureProcessCPUTime();
    benchmark::RegisterBenchmark("RasterTurnedSprites", RasterTurnedSprites)
        ->Arg(0)
        ->MeasureProcessCPUTime()
        ->UseRealTime();
    benchmark::RegisterBenchmark("RasterLinearSprites", RasterLinearSprites)
        ->Arg(0)
        ->Arg(1)
        ->Arg(2)
        ->Arg(3)
        ->MeasureProcessCPUTime();
    benchmark::RegisterBenchmark("SdlSprites", SdlSprites)->MeasureProcessCPUTime();
    benchmark::RegisterBenchmark("SdlTurnedSprites", SdlTurnedSprites)->MeasureProcessCPUTime();
    benchmark::RegisterBenchmark("RasterStretch", RasterStretch)
        ->Args({1, 0})
        ->Args({1, 1})
        ->MeasureProcessCPUTime();
    benchmark::RegisterBenchmark("RasterStretch", RasterStretch)
        ->Args({0, 0})
        ->Args({0, 1})
        ->MeasureProcessCPUTime()
        ->UseRealTime();
    benchmark::RegisterBenchmark("SdlStretch", SdlStretch)->MeasureProcessCPUTime();
    benchmark::RegisterBenchmark("SdlStretchLinear", SdlStretchLinear)->MeasureProcessCPUTime();
    benchmark::RegisterBenchmark("DeviceSprites", DeviceSprites)->Arg(1)->MeasureProcessCPUTime();
    benchmark::RegisterBenchmark("DeviceSprites", DeviceSprites)
        ->Arg(0)
        ->MeasureProcessCPUTime()
        ->UseRealTime();
    benchspread::SpreadReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintSummary(reporter);
    benchmark::Shutdown();
    return 0;
}
