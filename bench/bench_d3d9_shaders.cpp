// Speed of the CPU device's shader machine, CPU milliseconds per frame, side by side in one run
// with the device's fixed pipeline and with Mesa's llvmpipe (through OSMesa) running the
// equivalent GLSL: a textured (256x256, mipmapped, trilinear), lit (one directional light,
// ambient, emissive), fogged (LINEAR, vertex), depth-tested sphere of 10,000 triangles at
// 640x480. The shaders do what the fixed pipeline does for this scene:
//   vertex: position through world x view x projection, N.L lighting of the material, the
//           linear fog factor of the view depth, texture coordinates passed on;
//   pixel:  the texel times the diffuse colour (fog is applied after it, as the fixed fog).
// llvmpipe runs at one thread (LP_NUM_THREADS=1) in a child process before the benchmarks;
// ours draw at one thread too. Goals: shaders within 1.5x of our fixed pipeline, and ahead of
// llvmpipe at one thread; the table after the benchmarks gives the ratios.

#include <GL/gl.h>
#include <GL/glext.h>
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
#include <vector>

#include "bench/support/d3d9_scene.h"
#include "platform/d3d9.h"
#include "platform/d3d9/raster_draw.h"
#include "platform/d3d9/shaders/shader_builder.h"
#include "platform/d3d9_testing.h"
#include "tests/platform/d3d9_shaders/modulate_shader.h"

namespace {

using namespace platform::shader;
using bench::FrameTimes;
using bench::Identity;
using bench::TexturePixels;

struct Vertex {
    float x, y, z;
    float nx, ny, nz;
    float u, v;
};
constexpr DWORD kFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;
constexpr int kWidth = 640, kHeight = 480;
constexpr float kFogStart = 2.0f, kFogEnd = 3.4f;
constexpr DWORD kClear = 0xFF203040u;

struct Mesh {
    std::vector<Vertex> vertices;
    std::vector<uint16_t> indices;
};

Mesh Sphere() {
    return bench::Sphere10k<Mesh>([](float nx, float ny, float nz, float u, float v) {
        return Vertex{nx, ny, nz, nx, ny, nz, u, v};
    });
}

D3DMATRIX View() {
    return bench::Translation(0.0f, 0.0f, 2.6f);
}

D3DMATRIX Projection() {
    return bench::Perspective(1.7320508f, 640.0f / 480.0f, 0.5f, 100.0f);
}

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r{};
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            double s = 0.0;
            for (int k = 0; k < 4; ++k)
                s += static_cast<double>(a.m[i][k]) * b.m[k][j];
            r.m[i][j] = static_cast<float>(s);
        }
    }
    return r;
}

// The light, material and global ambient of the scene.
const float kLightDir[3] = {0.3f, -1.0f, 0.5f};  // where the light shines, view space
const float kMaterialDiffuse[4] = {0.8f, 0.8f, 0.8f, 1.0f};
const float kMaterialAmbient = 0.6f, kMaterialEmissive = 0.1f, kGlobalAmbient = 0x40 / 255.0f;

// ---------------------------------------------------------------------------------------------
// Our device, fixed pipeline or shaders

std::vector<uint32_t> VertexShaderTokens() {
    ShaderBuilder b = ShaderBuilder::Vertex();
    b.DclInput(kUsagePosition, 0, V(0));
    b.DclInput(kUsageNormal, 0, V(1));
    b.DclInput(kUsageTexCoord, 0, V(2));
    b.Emit(kOpM4x4, OPos(), {V(0), C(0)});
    b.Emit(kOpM3x3, R(0).Mask("xyz"), {V(1), C(4)});
    b.Emit(kOpDp3, R(1).Mask("x"), {R(0), C(7)});
    b.Emit(kOpMax, R(1).Mask("x"), {R(1), C(10).Swz("x")});
    b.Emit(kOpMad, OD(0).Mask("xyz").Sat(), {C(8), R(1).Swz("x"), C(9)});
    b.Emit(kOpMov, OD(0).Mask("w"), {C(8)});
    b.Emit(kOpDp4, R(2).Mask("z"), {V(0), C(11)});
    b.Emit(kOpMad, OFog().Mask("x"), {R(2).Swz("z"), C(10).Swz("z"), C(10).Swz("y")});
    b.Emit(kOpMov, OT(0).Mask("xy"), {V(2)});
    return b.Finish();
}

struct OurRenderer {
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    IDirect3DTexture9* target = nullptr;
    IDirect3DSurface9* targetSurface = nullptr;
    IDirect3DSurface9* depth = nullptr;
    IDirect3DTexture9* texture = nullptr;
    IDirect3DVertexShader9* vs = nullptr;
    IDirect3DPixelShader9* ps = nullptr;

    explicit OurRenderer(bool shaders) {
        platform::D3D9Profile profile = platform::DefaultD3D9Profile();
        profile.vertexShaderVersion = D3DVS_VERSION(2, 0);
        profile.pixelShaderVersion = D3DPS_VERSION(2, 0);
        platform::SetD3D9Profile(profile);
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        device = bench::CreateBenchDevice(d3d);
        if (device == nullptr)
            return;
        bench::SetTargetAndDepth(device, kWidth, kHeight, &target, &targetSurface, &depth);
        texture = bench::CreateSceneTexture(device);
        SetStates();
        if (shaders)
            SetShaders();
    }
    ~OurRenderer() {
        if (device != nullptr) {
            if (vs != nullptr)
                vs->Release();
            if (ps != nullptr)
                ps->Release();
            texture->Release();
            depth->Release();
            targetSurface->Release();
            target->Release();
            device->Release();
        }
        if (d3d != nullptr)
            d3d->Release();
        platform::ResetD3D9Profile();
    }

    void SetStates() {
        D3DMATRIX world = Identity(), view = View(), projection = Projection();
        device->SetTransform(D3DTS_WORLD, &world);
        device->SetTransform(D3DTS_VIEW, &view);
        device->SetTransform(D3DTS_PROJECTION, &projection);
        device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
        device->SetRenderState(D3DRS_LIGHTING, TRUE);
        device->SetRenderState(D3DRS_AMBIENT, 0xFF404040u);
        D3DLIGHT9 sun{};
        sun.Type = D3DLIGHT_DIRECTIONAL;
        sun.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
        sun.Direction = {kLightDir[0], kLightDir[1], kLightDir[2]};
        device->SetLight(0, &sun);
        device->LightEnable(0, TRUE);
        D3DMATERIAL9 m{};
        m.Diffuse = {kMaterialDiffuse[0], kMaterialDiffuse[1], kMaterialDiffuse[2], 1.0f};
        m.Ambient = {kMaterialAmbient, kMaterialAmbient, kMaterialAmbient, 1.0f};
        m.Emissive = {kMaterialEmissive, kMaterialEmissive, kMaterialEmissive, 1.0f};
        device->SetMaterial(&m);
        device->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
        device->SetRenderState(D3DRS_FOGENABLE, TRUE);
        device->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
        device->SetRenderState(D3DRS_FOGCOLOR, kClear);
        device->SetRenderState(D3DRS_FOGSTART, bench::FloatBits(kFogStart));
        device->SetRenderState(D3DRS_FOGEND, bench::FloatBits(kFogEnd));
        device->SetTexture(0, texture);
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
        device->SetFVF(kFvf);
    }

    void SetShaders() {
        std::vector<uint32_t> vt = VertexShaderTokens(), pt = shadertest::ModulatePixelShader();
        if (device->CreateVertexShader(vt.data(), &vs) != D3D_OK ||
            device->CreatePixelShader(pt.data(), &ps) != D3D_OK) {
            return;
        }
        D3DMATRIX worldView = View();
        D3DMATRIX all = Multiply(worldView, Projection());
        float c[12][4] = {};
        for (int col = 0; col < 4; ++col) {
            for (int row = 0; row < 4; ++row)
                c[col][row] = all.m[row][col];
        }
        for (int col = 0; col < 3; ++col) {
            for (int row = 0; row < 3; ++row)
                c[4 + col][row] = worldView.m[row][col];
        }
        float len = std::sqrt(kLightDir[0] * kLightDir[0] + kLightDir[1] * kLightDir[1] +
                              kLightDir[2] * kLightDir[2]);
        for (int i = 0; i < 3; ++i)
            c[7][i] = -kLightDir[i] / len;
        for (int i = 0; i < 4; ++i)
            c[8][i] = kMaterialDiffuse[i];
        for (int i = 0; i < 3; ++i)
            c[9][i] = kMaterialEmissive + kMaterialAmbient * kGlobalAmbient;
        float range = kFogEnd - kFogStart;
        c[10][0] = 0.0f;
        c[10][1] = kFogEnd / range;
        c[10][2] = -1.0f / range;
        for (int row = 0; row < 4; ++row)
            c[11][row] = worldView.m[row][2];
        device->SetVertexShaderConstantF(0, &c[0][0], 12);
        device->SetVertexShader(vs);
        device->SetPixelShader(ps);
    }

    void Frame(const Mesh& m) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kClear, 1.0f, 0);
        device->BeginScene();
        device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(m.vertices.size()),
                                       static_cast<UINT>(m.indices.size() / 3), m.indices.data(),
                                       D3DFMT_INDEX16, m.vertices.data(), sizeof(Vertex));
        device->EndScene();
    }

    uint32_t Pixel(int x, int y) { return platform::ReadD3D9SurfacePixel(targetSurface, x, y); }
};

// ---------------------------------------------------------------------------------------------
// llvmpipe through OSMesa, GLSL of the same shaders, in a child process at one thread

const char* kVertexGlsl = R"(#version 120
uniform vec3 toLight;
uniform vec4 diffuse;
uniform vec3 ambient;
uniform vec2 fog;  // end / (end - start), -1 / (end - start)
varying vec4 colour;
varying float fogFactor;
void main() {
    gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex;
    vec3 n = gl_NormalMatrix * gl_Normal;
    float d = max(dot(n, toLight), 0.0);
    colour = vec4(clamp(diffuse.rgb * d + ambient, 0.0, 1.0), diffuse.a);
    vec4 eye = gl_ModelViewMatrix * gl_Vertex;
    fogFactor = clamp(fog.x + fog.y * -eye.z, 0.0, 1.0);
    gl_TexCoord[0] = gl_MultiTexCoord0;
}
)";

const char* kFragmentGlsl = R"(#version 120
uniform sampler2D tex;
uniform vec3 fogColour;
varying vec4 colour;
varying float fogFactor;
void main() {
    vec4 c = texture2D(tex, gl_TexCoord[0].xy) * colour;
    gl_FragColor = vec4(mix(fogColour, c.rgb, fogFactor), c.a);
}
)";

template <class F>
F Gl(const char* name) {
    return reinterpret_cast<F>(OSMesaGetProcAddress(name));
}

struct MesaRenderer {
    OSMesaContext context = nullptr;
    std::vector<uint32_t> buffer;
    GLuint texture = 0;
    bool ok = false;

    MesaRenderer() {
        context = OSMesaCreateContextExt(OSMESA_BGRA, 16, 0, 0, nullptr);
        buffer.resize(static_cast<size_t>(kWidth) * kHeight);
        if (context == nullptr ||
            !OSMesaMakeCurrent(context, buffer.data(), GL_UNSIGNED_BYTE, kWidth, kHeight)) {
            return;
        }
        auto createShader = Gl<PFNGLCREATESHADERPROC>("glCreateShader");
        auto shaderSource = Gl<PFNGLSHADERSOURCEPROC>("glShaderSource");
        auto compileShader = Gl<PFNGLCOMPILESHADERPROC>("glCompileShader");
        auto getShaderiv = Gl<PFNGLGETSHADERIVPROC>("glGetShaderiv");
        auto createProgram = Gl<PFNGLCREATEPROGRAMPROC>("glCreateProgram");
        auto attachShader = Gl<PFNGLATTACHSHADERPROC>("glAttachShader");
        auto linkProgram = Gl<PFNGLLINKPROGRAMPROC>("glLinkProgram");
        auto getProgramiv = Gl<PFNGLGETPROGRAMIVPROC>("glGetProgramiv");
        auto useProgram = Gl<PFNGLUSEPROGRAMPROC>("glUseProgram");
        auto uniformLocation = Gl<PFNGLGETUNIFORMLOCATIONPROC>("glGetUniformLocation");
        auto uniform1i = Gl<PFNGLUNIFORM1IPROC>("glUniform1i");
        auto uniform2f = Gl<PFNGLUNIFORM2FPROC>("glUniform2f");
        auto uniform3f = Gl<PFNGLUNIFORM3FPROC>("glUniform3f");
        auto uniform4f = Gl<PFNGLUNIFORM4FPROC>("glUniform4f");
        if (createShader == nullptr || useProgram == nullptr || uniform4f == nullptr)
            return;
        GLuint shaders[2] = {createShader(GL_VERTEX_SHADER), createShader(GL_FRAGMENT_SHADER)};
        const char* sources[2] = {kVertexGlsl, kFragmentGlsl};
        GLuint program = createProgram();
        for (int i = 0; i < 2; ++i) {
            shaderSource(shaders[i], 1, &sources[i], nullptr);
            compileShader(shaders[i]);
            GLint compiled = 0;
            getShaderiv(shaders[i], GL_COMPILE_STATUS, &compiled);
            if (!compiled)
                return;
            attachShader(program, shaders[i]);
        }
        linkProgram(program);
        GLint linked = 0;
        getProgramiv(program, GL_LINK_STATUS, &linked);
        if (!linked)
            return;
        useProgram(program);
        float len = std::sqrt(kLightDir[0] * kLightDir[0] + kLightDir[1] * kLightDir[1] +
                              kLightDir[2] * kLightDir[2]);
        // GL's eye space looks down -z where the device's view space looks down +z.
        uniform3f(uniformLocation(program, "toLight"), -kLightDir[0] / len, -kLightDir[1] / len,
                  kLightDir[2] / len);
        uniform4f(uniformLocation(program, "diffuse"), kMaterialDiffuse[0], kMaterialDiffuse[1],
                  kMaterialDiffuse[2], kMaterialDiffuse[3]);
        float a = kMaterialEmissive + kMaterialAmbient * kGlobalAmbient;
        uniform3f(uniformLocation(program, "ambient"), a, a, a);
        float range = kFogEnd - kFogStart;
        uniform2f(uniformLocation(program, "fog"), kFogEnd / range, -1.0f / range);
        uniform3f(uniformLocation(program, "fogColour"), ((kClear >> 16) & 255) / 255.0f,
                  ((kClear >> 8) & 255) / 255.0f, (kClear & 255) / 255.0f);
        uniform1i(uniformLocation(program, "tex"), 0);

        glViewport(0, 0, kWidth, kHeight);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glEnable(GL_CULL_FACE);
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        std::vector<uint32_t> pixels = TexturePixels();
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 256, 256, 0, GL_BGRA, GL_UNSIGNED_BYTE,
                     pixels.data());
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_NORMAL_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        D3DMATRIX projection = Projection(), view = View();
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(&projection._11);
        glMatrixMode(GL_MODELVIEW);
        glLoadMatrixf(&view._11);
        glClearColor(((kClear >> 16) & 255) / 255.0f, ((kClear >> 8) & 255) / 255.0f,
                     (kClear & 255) / 255.0f, 1.0f);
        ok = true;
    }
    ~MesaRenderer() {
        if (context != nullptr)
            OSMesaDestroyContext(context);
    }

    void Frame(const Mesh& m) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glVertexPointer(3, GL_FLOAT, sizeof(Vertex), &m.vertices[0].x);
        glNormalPointer(GL_FLOAT, sizeof(Vertex), &m.vertices[0].nx);
        glTexCoordPointer(2, GL_FLOAT, sizeof(Vertex), &m.vertices[0].u);
        glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(m.indices.size()), GL_UNSIGNED_SHORT,
                       m.indices.data());
        glFinish();
    }
};

FrameTimes MeasureMesaOneThread() {
    return bench::MeasureInChild<FrameTimes>(1, [] {
        FrameTimes t;
        Mesh mesh = Sphere();
        MesaRenderer r;
        if (r.ok)
            t = bench::MedianFrameMs([&] { r.Frame(mesh); }, 60);
        return t;
    });
}

FrameTimes g_mesa;

// ---------------------------------------------------------------------------------------------
// Benchmarks: ours at one thread, fixed pipeline and shaders

void RunOurs(benchmark::State& state, bool shaders) {
    platform::SetRasterThreadCount(1);
    Mesh mesh = Sphere();
    OurRenderer r(shaders);
    if (r.device == nullptr || (shaders && (r.vs == nullptr || r.ps == nullptr))) {
        state.SkipWithError("no device or shaders");
        return;
    }
    for (auto _ : state)
        r.Frame(mesh);
    state.counters["triangles/s"] =
        benchmark::Counter(double(state.iterations()) * 10000, benchmark::Counter::kIsRate);
    platform::SetRasterThreadCount(0);
}

void BM_Sphere10k_Fixed1Thread(benchmark::State& state) {
    RunOurs(state, false);
}
void BM_Sphere10k_Shaders1Thread(benchmark::State& state) {
    RunOurs(state, true);
}
BENCHMARK(BM_Sphere10k_Fixed1Thread)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sphere10k_Shaders1Thread)->Unit(benchmark::kMillisecond);

void PrintRow(const char* name, FrameTimes t) {
    if (t.wall <= 0.0) {
        std::printf("%-44s %10s\n", name, "n/a");
        return;
    }
    std::printf("%-44s %10.3f %10.3f\n", name, t.wall, t.cpu);
}

// How far the two pictures of our device differ (channel steps), as a check that the shaders
// draw the same scene.
void PrintDifference() {
    Mesh mesh = Sphere();
    OurRenderer fixed(false);
    if (fixed.device == nullptr)
        return;
    fixed.Frame(mesh);
    std::vector<uint32_t> a;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x)
            a.push_back(fixed.Pixel(x, y));
    }
    OurRenderer shaded(true);
    shaded.Frame(mesh);
    int worst = 0;
    long differing = 0, drawn = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            uint32_t p = a[static_cast<size_t>(y) * kWidth + x], q = shaded.Pixel(x, y);
            int d = 0;
            for (int c = 0; c < 3; ++c)
                d = std::max(d, std::abs(int((p >> (8 * c)) & 255) - int((q >> (8 * c)) & 255)));
            worst = std::max(worst, d);
            differing += d != 0;
            drawn += (q & 0xFFFFFFu) != (kClear & 0xFFFFFFu);
        }
    }
    std::printf(
        "shaders against the fixed pipeline: of %ld pixels drawn, %ld differ, by at most "
        "%d steps\n",
        drawn, differing, worst);
}

}  // namespace

int main(int argc, char** argv) {
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    g_mesa = MeasureMesaOneThread();
    benchspread::Initialize(&argc, &argv);
    bench::FrameTableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const FrameTimes fixed = reporter.Of("BM_Sphere10k_Fixed1Thread");
    const FrameTimes shaders = reporter.Of("BM_Sphere10k_Shaders1Thread");
    std::printf("\nsphere 10k 640x480, textured, lit, fogged; ms per frame, one thread\n");
    std::printf("%-44s %10s %10s\n", "renderer", "wall ms", "CPU ms");
    PrintRow("ours, fixed pipeline", fixed);
    PrintRow("ours, shaders", shaders);
    PrintRow("llvmpipe, GLSL", g_mesa);
    PrintDifference();
    const benchspread::Samples fixedMs = reporter.WallMs("BM_Sphere10k_Fixed1Thread");
    const benchspread::Samples shadersMs = reporter.WallMs("BM_Sphere10k_Shaders1Thread");
    benchspread::PrintSummaryHeader("wall-clock ratios [spread]", "ratio");
    benchspread::PrintFigureRow("shaders / fixed", benchspread::Ratios(shadersMs, fixedMs), 1.5,
                                true);
    // llvmpipe's median against each of our repetitions.
    benchspread::PrintFigureRow("llvmpipe / shaders",
                                benchspread::Ratios(benchspread::Samples(g_mesa.wall), shadersMs),
                                1.0);
    return 0;
}
