// Speed of the CPU device in 3D, CPU milliseconds per frame, side by side in one run with Mesa's
// llvmpipe (through OSMesa) drawing the same meshes with the same states:
// - the game's floor frame: seven copies of the stage floor tile (the plate of six quads and two
//   rails that the game-data generator writes, each quad in both windings, 280 triangles),
//   textured with a mip chain, lit by a directional light, fogged (LINEAR, vertex), depth tested
//   (D16), into a 512x512 texture render target, as the play scene draws it;
// - a lit (directional and point light, specular), textured, depth-tested sphere of 10,000
//   triangles at 640x480.
// llvmpipe reads its thread count once a process, so each of its two runs (LP_NUM_THREADS=1 and
// all processors) happens in a child process before the benchmarks; the table after them gives
// the ratios with triangles and pixels per second. Our plain per-pixel path (the fast routes
// off) runs beside them, to show what the routes gain. Goals: the floor frame at most 1 ms, and
// ahead of llvmpipe at one thread.

#include <GL/gl.h>
#include <GL/osmesa.h>
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "bench/support/d3d9_scene.h"
#include "platform/d3d9.h"
#include "platform/d3d9/raster_draw.h"

namespace {

using bench::FrameTimes;
using bench::Identity;
using bench::Perspective;
using bench::TexturePixels;
using bench::Translation;

// ---------------------------------------------------------------------------------------------
// The scenes, shared by both renderers

struct Vertex {
    float x, y, z;
    float nx, ny, nz;
    DWORD diffuse;
    float u, v;
};
constexpr DWORD kFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;

struct Mesh {
    std::vector<Vertex> vertices;
    std::vector<uint16_t> indices;
};

struct Scene {
    int width, height;
    std::vector<Mesh> meshes;
    std::vector<D3DMATRIX> worlds;  // per copy of meshes[0] (the floor), or one
    D3DMATRIX view, projection;
    bool fog;
    bool pointLight;
    DWORD clear;
    int TriangleCount() const {
        size_t n = 0;
        for (const Mesh& m : meshes)
            n += m.indices.size() / 3;
        return static_cast<int>(n * worlds.size());
    }
};

// The floor tile as the generator lays it out: x -300..300 in six plate quads at y 0 and two
// rails (top at y 40, inner face) along the edges, z -150..150; each quad in both windings.
Mesh FloorTile() {
    Mesh m;
    auto quad = [&](const float(&p)[4][3], float nx, float ny, float nz, float u0, float v0,
                    float u1, float v1) {
        const float uv[4][2] = {{u0, v0}, {u1, v0}, {u1, v1}, {u0, v1}};
        for (int side = 0; side < 2; ++side) {
            uint16_t base = static_cast<uint16_t>(m.vertices.size());
            float s = side == 0 ? 1.0f : -1.0f;
            for (int i = 0; i < 4; ++i) {
                int k = side == 0 ? i : 3 - i;
                m.vertices.push_back({p[k][0], p[k][1], p[k][2], s * nx, s * ny, s * nz,
                                      0xFFFFFFFFu, uv[k][0], uv[k][1]});
            }
            for (uint16_t i : {0, 1, 2, 0, 2, 3})
                m.indices.push_back(static_cast<uint16_t>(base + i));
        }
    };
    for (int i = 0; i < 6; ++i) {
        float x0 = -300.0f + 100.0f * i, x1 = x0 + 100.0f;
        const float p[4][3] = {{x0, 0, 150}, {x1, 0, 150}, {x1, 0, -150}, {x0, 0, -150}};
        quad(p, 0, 1, 0, 0.0f, 0.0f, 1.0f, 0.5f);
    }
    for (float side : {-1.0f, 1.0f}) {
        float outer = 300.0f * side, inner = 270.0f * side;
        const float top[4][3] = {
            {inner, 40, 150}, {outer, 40, 150}, {outer, 40, -150}, {inner, 40, -150}};
        quad(top, 0, 1, 0, 0.0f, 0.5f, 0.25f, 1.0f);
        const float face[4][3] = {
            {inner, 0, 150}, {inner, 40, 150}, {inner, 40, -150}, {inner, 0, -150}};
        quad(face, -side, 0, 0, 0.25f, 0.5f, 0.5f, 1.0f);
    }
    return m;
}

Scene FloorScene() {
    Scene s;
    s.width = s.height = 512;
    s.meshes.push_back(FloorTile());
    // The play scene's placement: tile length 300, scroll distance 1600, n = 7 copies from far
    // to near at x = 256; the camera at (256, 300, 0), near 100, far 10000.
    const int n = 7;
    for (int i = 0; i < n; ++i)
        s.worlds.push_back(Translation(256.0f, 0.0f, (n - i) * 300.0f - 150.0f));
    s.view = Translation(-256.0f, -300.0f, 0.0f);
    s.projection = Perspective(1.7320508f, 1.0f, 100.0f, 10000.0f);
    s.fog = true;
    s.pointLight = false;
    s.clear = 0xFF3C003Cu;
    return s;
}

Scene SphereScene() {
    Scene s;
    s.width = 640;
    s.height = 480;
    s.meshes.push_back(bench::Sphere10k<Mesh>([](float nx, float ny, float nz, float u, float v) {
        return Vertex{nx, ny, nz, nx, ny, nz, 0xFFFFFFFFu, u, v};
    }));
    s.worlds.push_back(Identity());
    s.view = Translation(0.0f, 0.0f, 2.6f);
    s.projection = Perspective(1.7320508f, 640.0f / 480.0f, 0.5f, 100.0f);
    s.fog = false;
    s.pointLight = true;
    s.clear = 0xFF102030u;
    return s;
}

constexpr float kFogStart = 200.0f, kFogEnd = 1400.0f;

// ---------------------------------------------------------------------------------------------
// Our device

struct OurRenderer {
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    IDirect3DTexture9* target = nullptr;
    IDirect3DSurface9* targetSurface = nullptr;
    IDirect3DSurface9* depth = nullptr;
    IDirect3DTexture9* texture = nullptr;

    explicit OurRenderer(const Scene& s) {
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        device = bench::CreateBenchDevice(d3d);
        if (device == nullptr)
            return;
        bench::SetTargetAndDepth(device, s.width, s.height, &target, &targetSurface, &depth);
        texture = bench::CreateSceneTexture(device);
        SetStates(s);
    }
    ~OurRenderer() {
        if (device == nullptr)
            return;
        texture->Release();
        depth->Release();
        targetSurface->Release();
        target->Release();
        device->Release();
        d3d->Release();
    }

    void SetStates(const Scene& s) {
        device->SetTransform(D3DTS_VIEW, &s.view);
        device->SetTransform(D3DTS_PROJECTION, &s.projection);
        device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
        device->SetRenderState(D3DRS_LIGHTING, TRUE);
        device->SetRenderState(D3DRS_AMBIENT, 0xFF404040u);
        D3DLIGHT9 sun{};
        sun.Type = D3DLIGHT_DIRECTIONAL;
        sun.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
        sun.Specular = {1.0f, 1.0f, 1.0f, 1.0f};
        sun.Direction = {0.3f, -1.0f, 0.5f};
        device->SetLight(0, &sun);
        device->LightEnable(0, TRUE);
        if (s.pointLight) {
            D3DLIGHT9 lamp{};
            lamp.Type = D3DLIGHT_POINT;
            lamp.Diffuse = {0.8f, 0.6f, 0.3f, 1.0f};
            lamp.Specular = {1.0f, 1.0f, 1.0f, 1.0f};
            lamp.Position = {-2.0f, 1.5f, -1.0f};
            lamp.Range = 50.0f;
            lamp.Attenuation0 = 1.0f;
            lamp.Attenuation1 = 0.1f;
            device->SetLight(1, &lamp);
            device->LightEnable(1, TRUE);
            device->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
        }
        D3DMATERIAL9 m{};
        m.Diffuse = {0.8f, 0.8f, 0.8f, 1.0f};
        m.Ambient = {0.6f, 0.6f, 0.6f, 1.0f};
        m.Emissive = {0.4f, 0.4f, 0.4f, 1.0f};
        m.Specular = {0.1f, 0.1f, 0.1f, 1.0f};
        m.Power = 5.0f;
        if (s.pointLight) {
            m.Emissive = {0.0f, 0.0f, 0.0f, 0.0f};
            m.Specular = {0.5f, 0.5f, 0.5f, 1.0f};
            m.Power = 20.0f;
        }
        device->SetMaterial(&m);
        device->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
        device->SetRenderState(D3DRS_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL);
        if (s.fog) {
            device->SetRenderState(D3DRS_FOGENABLE, TRUE);
            device->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
            device->SetRenderState(D3DRS_FOGCOLOR, s.clear);
            device->SetRenderState(D3DRS_FOGSTART, bench::FloatBits(kFogStart));
            device->SetRenderState(D3DRS_FOGEND, bench::FloatBits(kFogEnd));
        }
        device->SetTexture(0, texture);
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
        device->SetFVF(kFvf);
    }

    void Frame(const Scene& s) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, s.clear, 1.0f, 0);
        device->BeginScene();
        for (const D3DMATRIX& world : s.worlds) {
            device->SetTransform(D3DTS_WORLD, &world);
            for (const Mesh& m : s.meshes) {
                device->DrawIndexedPrimitiveUP(
                    D3DPT_TRIANGLELIST, 0, static_cast<UINT>(m.vertices.size()),
                    static_cast<UINT>(m.indices.size() / 3), m.indices.data(), D3DFMT_INDEX16,
                    m.vertices.data(), sizeof(Vertex));
            }
        }
        device->EndScene();
    }
};

// ---------------------------------------------------------------------------------------------
// llvmpipe through OSMesa, in a child process per thread count

struct MesaRenderer {
    OSMesaContext context = nullptr;
    std::vector<uint32_t> buffer;
    GLuint texture = 0;

    explicit MesaRenderer(const Scene& s) {
        context = OSMesaCreateContextExt(OSMESA_BGRA, 16, 0, 0, nullptr);
        buffer.resize(static_cast<size_t>(s.width) * s.height);
        if (context == nullptr ||
            !OSMesaMakeCurrent(context, buffer.data(), GL_UNSIGNED_BYTE, s.width, s.height)) {
            context = nullptr;
            return;
        }
        glViewport(0, 0, s.width, s.height);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glEnable(GL_CULL_FACE);  // the device culls counter-clockwise: GL's back faces here
        glEnable(GL_LIGHTING);
        glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, GL_TRUE);
        glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL, GL_SEPARATE_SPECULAR_COLOR);
        GLfloat ambient[4] = {0.25f, 0.25f, 0.25f, 1.0f};
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        std::vector<uint32_t> pixels = TexturePixels();
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 256, 256, 0, GL_BGRA, GL_UNSIGNED_BYTE,
                     pixels.data());
        glEnable(GL_TEXTURE_2D);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        GLfloat dif[4] = {0.8f, 0.8f, 0.8f, 1.0f}, amb[4] = {0.6f, 0.6f, 0.6f, 1.0f};
        GLfloat emi[4] = {0.4f, 0.4f, 0.4f, 1.0f}, spc[4] = {0.1f, 0.1f, 0.1f, 1.0f};
        if (s.pointLight) {
            emi[0] = emi[1] = emi[2] = 0.0f;
            spc[0] = spc[1] = spc[2] = 0.5f;
        }
        glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, dif);
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, amb);
        glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, emi);
        glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, spc);
        glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, s.pointLight ? 20.0f : 5.0f);
        if (s.fog) {
            glEnable(GL_FOG);
            glFogi(GL_FOG_MODE, GL_LINEAR);
            glFogf(GL_FOG_START, kFogStart);
            glFogf(GL_FOG_END, kFogEnd);
            GLfloat c[4] = {60 / 255.0f, 0.0f, 60 / 255.0f, 1.0f};
            glFogfv(GL_FOG_COLOR, c);
        }
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_NORMAL_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(&s.projection._11);
        // The lights are placed in view space, as the device does.
        glMatrixMode(GL_MODELVIEW);
        glLoadMatrixf(&s.view._11);
        GLfloat white[4] = {1, 1, 1, 1};
        GLfloat sunDir[4] = {-0.3f, 1.0f, -0.5f, 0.0f};
        glEnable(GL_LIGHT0);
        glLightfv(GL_LIGHT0, GL_POSITION, sunDir);
        glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
        glLightfv(GL_LIGHT0, GL_SPECULAR, white);
        if (s.pointLight) {
            GLfloat pos[4] = {-2.0f, 1.5f, -1.0f, 1.0f}, col[4] = {0.8f, 0.6f, 0.3f, 1.0f};
            glEnable(GL_LIGHT1);
            glLightfv(GL_LIGHT1, GL_POSITION, pos);
            glLightfv(GL_LIGHT1, GL_DIFFUSE, col);
            glLightfv(GL_LIGHT1, GL_SPECULAR, white);
            glLightf(GL_LIGHT1, GL_LINEAR_ATTENUATION, 0.1f);
        }
        GLfloat clear[4] = {((s.clear >> 16) & 255) / 255.0f, ((s.clear >> 8) & 255) / 255.0f,
                            (s.clear & 255) / 255.0f, 1.0f};
        glClearColor(clear[0], clear[1], clear[2], clear[3]);
    }
    ~MesaRenderer() {
        if (context != nullptr)
            OSMesaDestroyContext(context);
    }

    void Frame(const Scene& s) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        for (const D3DMATRIX& world : s.worlds) {
            glMatrixMode(GL_MODELVIEW);
            glLoadMatrixf(&s.view._11);
            glMultMatrixf(&world._11);
            for (const Mesh& m : s.meshes) {
                glVertexPointer(3, GL_FLOAT, sizeof(Vertex), &m.vertices[0].x);
                glNormalPointer(GL_FLOAT, sizeof(Vertex), &m.vertices[0].nx);
                glTexCoordPointer(2, GL_FLOAT, sizeof(Vertex), &m.vertices[0].u);
                glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(m.indices.size()),
                               GL_UNSIGNED_SHORT, m.indices.data());
            }
        }
        glFinish();
    }
};

struct MesaTimes {
    FrameTimes floor, sphere;
};

// CPU time in a child, as llvmpipe sizes its thread pool once a process.
MesaTimes MeasureMesa(int threads) {
    return bench::MeasureInChild<MesaTimes>(threads, [] {
        MesaTimes t;
        Scene floor = FloorScene(), sphere = SphereScene();
        {
            MesaRenderer r(floor);
            if (r.context != nullptr)
                t.floor = bench::MedianFrameMs([&] { r.Frame(floor); }, 200);
        }
        {
            MesaRenderer r(sphere);
            if (r.context != nullptr)
                t.sphere = bench::MedianFrameMs([&] { r.Frame(sphere); }, 60);
        }
        return t;
    });
}

MesaTimes g_mesaOne, g_mesaAll;
int g_processors = 1;

// ---------------------------------------------------------------------------------------------
// Benchmarks: our device at one thread and at its own choice

void RunOurs(benchmark::State& state, const Scene& s, int threads, bool plainPath = false) {
    platform::SetRasterThreadCount(threads);
    platform::SetRasterFastQuadsEnabled(!plainPath);
    OurRenderer r(s);
    if (r.device == nullptr) {
        state.SkipWithError("no device");
        return;
    }
    for (auto _ : state)
        r.Frame(s);
    state.counters["triangles/s"] = benchmark::Counter(
        double(state.iterations()) * s.TriangleCount(), benchmark::Counter::kIsRate);
    state.counters["pixels/s"] = benchmark::Counter(double(state.iterations()) * s.width * s.height,
                                                    benchmark::Counter::kIsRate);
    platform::SetRasterThreadCount(0);
    platform::SetRasterFastQuadsEnabled(true);
}

void BM_FloorFrame_Ours1Thread(benchmark::State& state) {
    RunOurs(state, FloorScene(), 1);
}
void BM_FloorFrame_Ours(benchmark::State& state) {
    RunOurs(state, FloorScene(), 0);
}
void BM_Sphere10k_Ours1Thread(benchmark::State& state) {
    RunOurs(state, SphereScene(), 1);
}
void BM_Sphere10k_Ours(benchmark::State& state) {
    RunOurs(state, SphereScene(), 0);
}
// Our plain per-pixel path, which the fast routes must equal: what the routes gain.
void BM_FloorFrame_PlainPath1Thread(benchmark::State& state) {
    RunOurs(state, FloorScene(), 1, true);
}
void BM_Sphere10k_PlainPath1Thread(benchmark::State& state) {
    RunOurs(state, SphereScene(), 1, true);
}
BENCHMARK(BM_FloorFrame_PlainPath1Thread)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sphere10k_PlainPath1Thread)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FloorFrame_Ours1Thread)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FloorFrame_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sphere10k_Ours1Thread)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sphere10k_Ours)->Unit(benchmark::kMillisecond);

void PrintRow(const char* name, const Scene& s, FrameTimes t) {
    if (t.wall <= 0.0) {
        std::printf("%-40s %10s\n", name, "n/a");
        return;
    }
    std::printf("%-40s %10.3f %10.3f %14.0f %14.0f\n", name, t.wall, t.cpu,
                s.TriangleCount() * 1000.0 / t.wall, double(s.width) * s.height * 1000.0 / t.wall);
}

}  // namespace

int main(int argc, char** argv) {
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    g_processors = std::max(1u, std::thread::hardware_concurrency());
    // BENCH_NO_LLVMPIPE=1 measures our device alone, for profiling it.
    if (std::getenv("BENCH_NO_LLVMPIPE") == nullptr) {
        g_mesaOne = MeasureMesa(1);
        g_mesaAll = MeasureMesa(g_processors);
    }
    benchspread::Initialize(&argc, &argv);
    bench::FrameTableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const FrameTimes floorPlain = reporter.Of("BM_FloorFrame_PlainPath1Thread");
    const FrameTimes spherePlain = reporter.Of("BM_Sphere10k_PlainPath1Thread");
    const FrameTimes floorOne = reporter.Of("BM_FloorFrame_Ours1Thread");
    const FrameTimes floorAll = reporter.Of("BM_FloorFrame_Ours");
    const FrameTimes sphereOne = reporter.Of("BM_Sphere10k_Ours1Thread");
    const FrameTimes sphereAll = reporter.Of("BM_Sphere10k_Ours");

    Scene floor = FloorScene(), sphere = SphereScene();
    std::printf(
        "\nms per frame: wall clock and CPU (ours: the drawing thread; llvmpipe: the\n"
        "process, all threads; medians for llvmpipe); triangles and target pixels per\n"
        "second of wall clock\n");
    std::printf("%-40s %10s %10s %14s %14s\n", "renderer", "wall ms", "CPU ms", "triangles/s",
                "pixels/s");
    PrintRow("floor 512x512: ours, plain path, 1 thread", floor, floorPlain);
    PrintRow("floor 512x512: ours, 1 thread", floor, floorOne);
    PrintRow("floor 512x512: ours", floor, floorAll);
    PrintRow("floor 512x512: llvmpipe, 1 thread", floor, g_mesaOne.floor);
    char label[64];
    std::snprintf(label, sizeof label, "floor 512x512: llvmpipe, %d threads", g_processors);
    PrintRow(label, floor, g_mesaAll.floor);
    PrintRow("sphere 10k 640x480: ours, plain path, 1 thread", sphere, spherePlain);
    PrintRow("sphere 10k 640x480: ours, 1 thread", sphere, sphereOne);
    PrintRow("sphere 10k 640x480: ours", sphere, sphereAll);
    PrintRow("sphere 10k 640x480: llvmpipe, 1 thread", sphere, g_mesaOne.sphere);
    std::snprintf(label, sizeof label, "sphere 10k 640x480: llvmpipe, %d threads", g_processors);
    PrintRow(label, sphere, g_mesaAll.sphere);
    // llvmpipe's median against each of our repetitions.
    auto ratio = [&](FrameTimes mesa, const char* ours) {
        return benchspread::Ratios(benchspread::Samples(mesa.wall), reporter.WallMs(ours));
    };
    benchspread::PrintSummaryHeader(
        "speed against llvmpipe (its wall time / ours; above 1: ours is faster)", "ratio");
    benchspread::PrintRatioRow("floor: ours 1 thread vs llvmpipe 1 thread",
                               ratio(g_mesaOne.floor, "BM_FloorFrame_Ours1Thread"));
    benchspread::PrintRatioRow("floor: ours vs llvmpipe all",
                               ratio(g_mesaAll.floor, "BM_FloorFrame_Ours"));
    benchspread::PrintRatioRow("sphere: ours 1 thread vs llvmpipe 1 thread",
                               ratio(g_mesaOne.sphere, "BM_Sphere10k_Ours1Thread"));
    benchspread::PrintRatioRow("sphere: ours vs llvmpipe all",
                               ratio(g_mesaAll.sphere, "BM_Sphere10k_Ours"));
    benchspread::PrintSummaryHeader("wall ms a frame");
    benchspread::PrintFigureRow("floor 512x512: ours", reporter.WallMs("BM_FloorFrame_Ours"), 1.0,
                                true, "%.3f");
    return 0;
}
