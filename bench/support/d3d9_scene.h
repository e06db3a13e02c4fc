// What the 3D benchmarks share: the matrices, the sphere and texture they draw, the texture's
// upload into a device mip chain, and the timing of a peer's frames in a child process (the
// peer reads its thread count once a process).
#pragma once

#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench/support/spread.h"
#include "platform/d3d9.h"

namespace bench {

inline D3DMATRIX Identity() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

inline D3DMATRIX Translation(float x, float y, float z) {
    D3DMATRIX m = Identity();
    m._41 = x, m._42 = y, m._43 = z;
    return m;
}

inline D3DMATRIX Perspective(float cot, float aspect, float n, float f) {
    D3DMATRIX p{};
    p._11 = cot / aspect;
    p._22 = cot;
    p._33 = f / (f - n);
    p._43 = -n * f / (f - n);
    p._34 = 1.0f;
    return p;
}

inline DWORD FloatBits(float f) {
    DWORD d;
    std::memcpy(&d, &f, 4);
    return d;
}

// A unit sphere of 2 x 50 x 100 = 10,000 triangles, texture wrapped four times round and twice
// from pole to pole; make(nx, ny, nz, u, v) builds a vertex of the caller's layout.
template <class Mesh, class MakeVertex>
Mesh Sphere10k(MakeVertex make) {
    Mesh m;
    const int rings = 50, segments = 100;
    for (int r = 0; r <= rings; ++r) {
        double theta = M_PI * r / rings;
        for (int g = 0; g <= segments; ++g) {
            double phi = 2.0 * M_PI * g / segments;
            float nx = static_cast<float>(std::sin(theta) * std::cos(phi));
            float ny = static_cast<float>(std::cos(theta));
            float nz = static_cast<float>(std::sin(theta) * std::sin(phi));
            m.vertices.push_back(make(nx, ny, nz, float(g) / segments * 4, float(r) / rings * 2));
        }
    }
    for (int r = 0; r < rings; ++r) {
        for (int g = 0; g < segments; ++g) {
            uint16_t a = static_cast<uint16_t>(r * (segments + 1) + g);
            uint16_t b = static_cast<uint16_t>(a + segments + 1);
            for (uint16_t i : {a, b, static_cast<uint16_t>(a + 1), static_cast<uint16_t>(a + 1), b,
                               static_cast<uint16_t>(b + 1)})
                m.indices.push_back(i);
        }
    }
    return m;
}

// A 256x256 texture of tiles and rings in the floor's colours.
inline std::vector<uint32_t> TexturePixels() {
    std::vector<uint32_t> p(256 * 256);
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            bool line = (x % 64) < 3 || (y % 64) < 3;
            int dx = x % 64 - 32, dy = y % 64 - 32;
            bool ring = std::abs(dx * dx + dy * dy - 324) < 40;
            p[y * 256 + x] = line ? 0xFF30D0E0u : (ring ? 0xFFE070C0u : 0xFF28103Cu + (y / 4));
        }
    }
    return p;
}

// TexturePixels into every level of a 256x256 mip chain, each level point-sampled from the
// full picture (the peer builds its own chain).
inline void FillMipChain(IDirect3DTexture9* texture) {
    std::vector<uint32_t> pixels = TexturePixels();
    for (DWORD level = 0, side = 256; level < texture->GetLevelCount(); ++level, side /= 2) {
        D3DLOCKED_RECT locked;
        texture->LockRect(level, &locked, nullptr, 0);
        int step = 256 / static_cast<int>(side);
        for (DWORD y = 0; y < side; ++y) {
            auto* row =
                reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch);
            for (DWORD x = 0; x < side; ++x)
                row[x] = pixels[y * step * 256 + x * step];
        }
        texture->UnlockRect(level);
    }
}

// A windowed device with a small back buffer; the benchmarks draw into their own targets.
inline IDirect3DDevice9* CreateBenchDevice(IDirect3D9* d3d) {
    D3DPRESENT_PARAMETERS p{};
    p.BackBufferWidth = 64;
    p.BackBufferHeight = 64;
    p.BackBufferFormat = D3DFMT_X8R8G8B8;
    p.BackBufferCount = 1;
    p.SwapEffect = D3DSWAPEFFECT_COPY;
    HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1000));
    p.hDeviceWindow = window;
    p.Windowed = TRUE;
    p.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    IDirect3DDevice9* device = nullptr;
    if (d3d == nullptr ||
        d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p,
                          &device) != D3D_OK) {
        return nullptr;
    }
    return device;
}

// A w x h render target with a D16 depth buffer, set on the device with a viewport over it.
inline void SetTargetAndDepth(IDirect3DDevice9* device, int w, int h, IDirect3DTexture9** target,
                              IDirect3DSurface9** surface, IDirect3DSurface9** depth) {
    device->CreateTexture(w, h, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, target,
                          nullptr);
    (*target)->GetSurfaceLevel(0, surface);
    device->CreateDepthStencilSurface(w, h, D3DFMT_D16, D3DMULTISAMPLE_NONE, 0, FALSE, depth,
                                      nullptr);
    device->SetRenderTarget(0, *surface);
    device->SetDepthStencilSurface(*depth);
    D3DVIEWPORT9 vp = {0, 0, DWORD(w), DWORD(h), 0.0f, 1.0f};
    device->SetViewport(&vp);
}

// The managed, mipmapped texture of TexturePixels.
inline IDirect3DTexture9* CreateSceneTexture(IDirect3DDevice9* device) {
    IDirect3DTexture9* texture = nullptr;
    device->CreateTexture(256, 256, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr);
    FillMipChain(texture);
    return texture;
}

// Not <chrono>: its headers do not build with the CP932 execution character set.
inline double NowMs(clockid_t clock) {
    timespec t;
    clock_gettime(clock, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

// Median wall-clock and process CPU (all threads) milliseconds of a frame.
struct FrameTimes {
    double wall = -1.0, cpu = -1.0;
};

// After five frames to warm up; draw() draws one frame.
template <class Draw>
FrameTimes MedianFrameMs(Draw draw, int frames) {
    for (int i = 0; i < 5; ++i)
        draw();
    std::vector<double> wall, cpu;
    for (int i = 0; i < frames; ++i) {
        double w0 = NowMs(CLOCK_MONOTONIC), c0 = NowMs(CLOCK_PROCESS_CPUTIME_ID);
        draw();
        cpu.push_back(NowMs(CLOCK_PROCESS_CPUTIME_ID) - c0);
        wall.push_back(NowMs(CLOCK_MONOTONIC) - w0);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    return {wall[wall.size() / 2], cpu[cpu.size() / 2]};
}

// measure() run in a child process with llvmpipe at `threads` threads; its result (plain data)
// comes back through a pipe, or Result{} when the child fails.
template <class Result, class Measure>
Result MeasureInChild(int threads, Measure measure) {
    int fds[2];
    Result result{};
    if (pipe(fds) != 0)
        return result;
    pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        char value[16];
        std::snprintf(value, sizeof value, "%d", threads);
        setenv("LP_NUM_THREADS", value, 1);
        setenv("GALLIUM_DRIVER", "llvmpipe", 1);
        Result t = measure();
        ssize_t written = write(fds[1], &t, sizeof t);
        _exit(written == sizeof t ? 0 : 1);
    }
    close(fds[1]);
    if (child > 0) {
        if (read(fds[0], &result, sizeof result) != sizeof result)
            result = Result{};
        waitpid(child, nullptr, 0);
    }
    close(fds[0]);
    return result;
}

// Keeps each repetition's times per frame, by benchmark name, for the table after the
// benchmarks (medians) and the ratios (with their spread); in milliseconds, the CPU time the
// drawing thread's alone.
class FrameTableReporter : public benchspread::SpreadReporter {
  public:
    // The median times of the named benchmark, or none (negative) when it did not run.
    FrameTimes Of(const std::string& name) const {
        const benchspread::Samples wall = WallMs(name);
        if (wall.Empty())
            return FrameTimes{};
        return {wall.Median(), benchspread::Scaled(Get(name, "cpu_seconds"), 1e3).Median()};
    }
    // Every repetition's wall-clock milliseconds of a frame.
    benchspread::Samples WallMs(const std::string& name) const {
        return benchspread::Scaled(Get(name, "real_seconds"), 1e3);
    }
};

}  // namespace bench
