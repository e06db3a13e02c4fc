// 1,000 random lit, textured, fogged meshes in perspective, checked two ways:
// - every vertex drawn alone as a point against a model of the vertex stage written here from
//   the documented formulas (transform, three lights of each kind, material sources, specular,
//   vertex fog) and of the pixel (point sample, MODULATE, specular add, fog), bit for bit;
// - every mesh drawn as triangles with depth by the device as it runs (threads, fast routes)
//   (the shaded spans) and by its plain per-pixel path on one thread, bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "d3d9_fixture.h"
#include "platform/d3d9/raster_draw.h"

namespace {

using d3d9test::DeviceTest;
using d3d9test::FloatBits;
using d3d9test::Identity;

struct MeshVertex {
    float x, y, z;
    float nx, ny, nz;
    DWORD diffuse, specular;
    float u, v;
};
constexpr DWORD kFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1;

using Vec = std::array<double, 3>;
double Dot(const Vec& a, const Vec& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
Vec Unit(Vec v) {
    double n = std::sqrt(Dot(v, v));
    if (n > 0.0) {
        for (double& c : v)
            c /= n;
    }
    return v;
}
uint32_t Channel(double v) {
    v = std::fmin(std::fmax(v, 0.0), 1.0);
    return static_cast<uint32_t>(std::floor(v * 255.0 + 0.5));
}

struct Scene {
    D3DMATRIX world, view, projection;
    D3DLIGHT9 lights[3];
    D3DMATERIAL9 material;
    DWORD ambient;
    DWORD diffuseSource, specularSource, ambientSource, emissiveSource;
    BOOL specularEnable;
    DWORD fogMode;
    float fogStart, fogEnd, fogDensity;
    DWORD fogColour;
    uint32_t texels[64];
    std::vector<MeshVertex> vertices;
};

class RandomMeshTest : public DeviceTest {
  protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_NE(device_, nullptr);
        ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture_,
                                         nullptr),
                  D3D_OK);
        ASSERT_EQ(device_->CreateDepthStencilSurface(64, 48, D3DFMT_D24X8, D3DMULTISAMPLE_NONE, 0,
                                                     FALSE, &depth_, nullptr),
                  D3D_OK);
        device_->SetDepthStencilSurface(depth_);
        device_->SetTexture(0, texture_);
        device_->SetFVF(kFvf);
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    }
    void TearDown() override {
        device_->SetTexture(0, nullptr);
        device_->SetDepthStencilSurface(nullptr);
        texture_->Release();
        depth_->Release();
        platform::SetRasterFastQuadsEnabled(true);
        platform::SetRasterThreadCount(0);
        DeviceTest::TearDown();
    }

    void Apply(const Scene& s) {
        device_->SetTransform(D3DTS_WORLD, &s.world);
        device_->SetTransform(D3DTS_VIEW, &s.view);
        device_->SetTransform(D3DTS_PROJECTION, &s.projection);
        for (int i = 0; i < 3; ++i) {
            device_->SetLight(i, &s.lights[i]);
            device_->LightEnable(i, TRUE);
        }
        device_->SetMaterial(&s.material);
        device_->SetRenderState(D3DRS_AMBIENT, s.ambient);
        device_->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, s.diffuseSource);
        device_->SetRenderState(D3DRS_SPECULARMATERIALSOURCE, s.specularSource);
        device_->SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, s.ambientSource);
        device_->SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, s.emissiveSource);
        device_->SetRenderState(D3DRS_SPECULARENABLE, s.specularEnable);
        device_->SetRenderState(D3DRS_FOGENABLE, s.fogMode != D3DFOG_NONE);
        device_->SetRenderState(D3DRS_FOGVERTEXMODE, s.fogMode);
        device_->SetRenderState(D3DRS_FOGSTART, FloatBits(s.fogStart));
        device_->SetRenderState(D3DRS_FOGEND, FloatBits(s.fogEnd));
        device_->SetRenderState(D3DRS_FOGDENSITY, FloatBits(s.fogDensity));
        device_->SetRenderState(D3DRS_FOGCOLOR, s.fogColour);
        D3DLOCKED_RECT locked;
        ASSERT_EQ(texture_->LockRect(0, &locked, nullptr, 0), D3D_OK);
        for (int y = 0; y < 8; ++y)
            std::memcpy(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch, s.texels + 8 * y,
                        32);
        texture_->UnlockRect(0);
    }

    IDirect3DTexture9* texture_ = nullptr;
    IDirect3DSurface9* depth_ = nullptr;
};

Scene RandomScene(std::mt19937& rng) {
    std::uniform_real_distribution<float> unit(0.0f, 1.0f), signed1(-1.0f, 1.0f);
    auto colour = [&] { return D3DCOLORVALUE{unit(rng), unit(rng), unit(rng), unit(rng)}; };
    Scene s;
    s.world = Identity();
    float scale = 0.5f + unit(rng);
    s.world._11 = s.world._22 = s.world._33 = scale;
    s.world._41 = signed1(rng) * 0.5f;
    s.view = Identity();
    s.view._43 = 4.0f;  // push the mesh 4 units in front of the eye
    // Perspective: near 1, far 20, 90 degrees across.
    s.projection = D3DMATRIX{};
    s.projection._11 = 1.0f;
    s.projection._22 = 4.0f / 3.0f;
    s.projection._33 = 20.0f / 19.0f;
    s.projection._43 = -20.0f / 19.0f;
    s.projection._34 = 1.0f;
    const DWORD types[3] = {D3DLIGHT_DIRECTIONAL, D3DLIGHT_POINT, D3DLIGHT_SPOT};
    for (int i = 0; i < 3; ++i) {
        D3DLIGHT9& l = s.lights[i];
        l = D3DLIGHT9{};
        l.Type = types[i];
        l.Diffuse = colour();
        l.Specular = colour();
        l.Ambient = D3DCOLORVALUE{unit(rng) * 0.3f, unit(rng) * 0.3f, unit(rng) * 0.3f, 0};
        l.Position = {signed1(rng) * 2, signed1(rng) * 2, unit(rng) * 3};
        l.Direction = {signed1(rng), signed1(rng), 0.5f + unit(rng)};
        l.Range = 2.0f + unit(rng) * 6.0f;
        l.Attenuation0 = 0.5f + unit(rng);
        l.Attenuation1 = unit(rng) * 0.3f;
        l.Attenuation2 = unit(rng) * 0.1f;
        l.Theta = 0.2f + unit(rng);
        l.Phi = l.Theta + unit(rng);
        l.Falloff = 0.5f + unit(rng) * 2;
    }
    s.material.Diffuse = colour();
    s.material.Ambient = colour();
    s.material.Specular = colour();
    s.material.Emissive = D3DCOLORVALUE{unit(rng) * 0.2f, unit(rng) * 0.2f, unit(rng) * 0.2f, 0};
    s.material.Power = 1.0f + unit(rng) * 30.0f;
    s.ambient = rng() | 0xFF000000u;
    auto source = [&] { return static_cast<DWORD>(rng() % 3); };
    s.diffuseSource = source();
    s.specularSource = source();
    s.ambientSource = source();
    s.emissiveSource = source();
    s.specularEnable = rng() % 2;
    const DWORD modes[4] = {D3DFOG_NONE, D3DFOG_LINEAR, D3DFOG_EXP, D3DFOG_EXP2};
    s.fogMode = modes[rng() % 4];
    s.fogStart = 2.0f + unit(rng) * 2.0f;
    s.fogEnd = s.fogStart + 1.0f + unit(rng) * 4.0f;
    s.fogDensity = unit(rng) * 0.4f;
    s.fogColour = rng() | 0xFF000000u;
    for (uint32_t& t : s.texels)
        t = rng();
    int count = 3 * (1 + static_cast<int>(rng() % 3));
    for (int i = 0; i < count; ++i) {
        MeshVertex v;
        v.x = signed1(rng) * 2.0f;
        v.y = signed1(rng) * 1.5f;
        v.z = signed1(rng) * 1.5f;
        Vec n = Unit({signed1(rng), signed1(rng), signed1(rng) - 0.5});
        v.nx = static_cast<float>(n[0]), v.ny = static_cast<float>(n[1]);
        v.nz = static_cast<float>(n[2]);
        v.diffuse = rng();
        v.specular = rng();
        v.u = unit(rng);
        v.v = unit(rng);
        s.vertices.push_back(v);
    }
    return s;
}

// The vertex stage and the pixel of a point, from the documented rules.
uint32_t ModelPoint(const Scene& s, const MeshVertex& mv) {
    // World and view here are a uniform scale plus translations: eye = p scale + offsets.
    double scale = s.world._11;
    Vec eye = {mv.x * scale + s.world._41, mv.y * scale, mv.z * scale + s.view._43};
    // The inverse transpose of a uniform scale divides the normal by it.
    Vec normal = {mv.nx / scale, mv.ny / scale, mv.nz / scale};
    auto argb = [](DWORD c) {
        return std::array<double, 4>{((c >> 16) & 255) / 255.0, ((c >> 8) & 255) / 255.0,
                                     (c & 255) / 255.0, (c >> 24) / 255.0};
    };
    auto value = [](const D3DCOLORVALUE& c) { return std::array<double, 4>{c.r, c.g, c.b, c.a}; };
    auto pick = [&](DWORD source, const D3DCOLORVALUE& m) {
        if (source == D3DMCS_COLOR1)
            return argb(mv.diffuse);
        if (source == D3DMCS_COLOR2)
            return argb(mv.specular);
        return value(m);
    };
    auto cd = pick(s.diffuseSource, s.material.Diffuse);
    auto ca = pick(s.ambientSource, s.material.Ambient);
    auto cs = pick(s.specularSource, s.material.Specular);
    auto ce = pick(s.emissiveSource, s.material.Emissive);
    auto ga = argb(s.ambient);
    Vec diffuse, specular = {0, 0, 0};
    for (int c = 0; c < 3; ++c)
        diffuse[c] = ce[c] + ca[c] * ga[c];
    Vec toEye = Unit({-eye[0], -eye[1], -eye[2]});
    for (const D3DLIGHT9& l : s.lights) {
        // The view only translates: light positions move by it, directions do not.
        Vec lp = {l.Position.x, l.Position.y, l.Position.z + s.view._43};
        Vec ld = Unit({l.Direction.x, l.Direction.y, l.Direction.z});
        Vec toLight;
        double atten = 1.0, spot = 1.0;
        if (l.Type == D3DLIGHT_DIRECTIONAL) {
            toLight = {-ld[0], -ld[1], -ld[2]};
        } else {
            Vec d = {lp[0] - eye[0], lp[1] - eye[1], lp[2] - eye[2]};
            double dist = std::sqrt(Dot(d, d));
            if (dist > l.Range)
                continue;
            toLight = Unit(d);
            atten = 1.0 / (l.Attenuation0 + l.Attenuation1 * dist + l.Attenuation2 * dist * dist);
            if (l.Type == D3DLIGHT_SPOT) {
                double rho = -Dot(toLight, ld);
                double inner = std::cos(double(l.Theta) / 2), outer = std::cos(double(l.Phi) / 2);
                if (rho <= outer)
                    spot = 0.0;
                else if (rho <= inner)
                    spot = std::pow((rho - outer) / (inner - outer), double(l.Falloff));
            }
        }
        double nl = std::fmax(Dot(normal, toLight), 0.0);
        auto la = value(l.Ambient), ldiff = value(l.Diffuse), ls = value(l.Specular);
        for (int c = 0; c < 3; ++c)
            diffuse[c] += atten * spot * (ca[c] * la[c] + cd[c] * ldiff[c] * nl);
        if (!s.specularEnable)
            continue;
        Vec half = Unit({toLight[0] + toEye[0], toLight[1] + toEye[1], toLight[2] + toEye[2]});
        double nh = std::fmax(Dot(normal, half), 0.0);
        for (int c = 0; c < 3; ++c)
            specular[c] += atten * spot * cs[c] * ls[c] * std::pow(nh, double(s.material.Power));
    }
    // Pixel: texel times diffuse, plus specular, then fog.
    int tx = static_cast<int>(std::floor(double(mv.u) * 8)),
        ty = static_cast<int>(std::floor(double(mv.v) * 8));
    uint32_t texel = s.texels[ty * 8 + tx];
    double f = 1.0;
    if (s.fogMode == D3DFOG_LINEAR)
        f = (s.fogEnd - eye[2]) / (double(s.fogEnd) - s.fogStart);
    else if (s.fogMode == D3DFOG_EXP)
        f = std::exp(-eye[2] * s.fogDensity);
    else if (s.fogMode == D3DFOG_EXP2)
        f = std::exp(-(eye[2] * s.fogDensity) * (eye[2] * s.fogDensity));
    uint32_t fa = Channel(f);
    uint32_t out = 0xFF000000u;
    for (int c = 0; c < 3; ++c) {
        int shift = 16 - 8 * c;
        uint32_t t = (texel >> shift) & 255;
        uint32_t d = Channel(diffuse[c]);
        uint32_t v = (t * d + 127) / 255;
        if (s.specularEnable)
            v = std::min(255u, v + Channel(specular[c]));
        if (s.fogMode != D3DFOG_NONE) {
            uint32_t g = (s.fogColour >> shift) & 255;
            v = (v * fa + g * (255 - fa) + 127) / 255;
        }
        out |= v << shift;
    }
    return out;
}

TEST_F(RandomMeshTest, VertexStageAgreesWithTheModelAndFastPathWithThePlainPath) {
    std::mt19937 rng(20261210);
    const DWORD kClear = 0xFF010203u;
    int points = 0, pixels = 0;
    uint64_t shadedTriangles = 0;
    for (int mesh = 0; mesh < 1000; ++mesh) {
        Scene s = RandomScene(rng);
        Apply(s);
        SCOPED_TRACE(::testing::Message() << "mesh " << mesh);
        // Points: one at a time onto a cleared target; the pixel that changed is the point.
        device_->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        for (const MeshVertex& v : s.vertices) {
            device_->Clear(0, nullptr, D3DCLEAR_TARGET, kClear, 1.0f, 0);
            ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &v, sizeof v), D3D_OK);
            uint32_t expected = ModelPoint(s, v);
            // Where the point lands: the projection gives x / z and y / z.
            double scale = s.world._11;
            double ex = v.x * scale + s.world._41, ey = v.y * scale, ez = v.z * scale + 4.0;
            int px = static_cast<int>(std::floor(32.0 + 32.0 * ex / ez + 0.5));
            int py = static_cast<int>(std::floor(24.0 - 24.0 * (4.0 / 3.0) * ey / ez + 0.5));
            if (px < 1 || px > 62 || py < 1 || py > 46)
                continue;  // near an edge or outside: the position's rounding is not the point
            uint32_t got = 0;
            int found = 0;
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    uint32_t p = platform::ReadD3D9BackBufferPixel(device_, px + dx, py + dy);
                    if (p != kClear)
                        got = p, ++found;
                }
            }
            if (expected == kClear)
                continue;
            ASSERT_EQ(found, 1) << "near " << px << ", " << py;
            EXPECT_EQ(got, expected) << "vertex at " << v.x << ", " << v.y << ", " << v.z;
            ++points;
        }
        // Triangles with depth: the device as it runs against its plain path on one thread.
        device_->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
        std::vector<uint32_t> fast, plain;
        for (int pass = 0; pass < 2; ++pass) {
            platform::SetRasterFastQuadsEnabled(pass == 0);
            platform::SetRasterThreadCount(pass == 0 ? 0 : 1);
            if (pass == 0)
                platform::ResetRasterRouteCounts();
            device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kClear, 1.0f, 0);
            UINT triangles = static_cast<UINT>(s.vertices.size() / 3);
            ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, triangles, s.vertices.data(),
                                               sizeof(MeshVertex)),
                      D3D_OK);
            if (pass == 0)
                shadedTriangles += platform::RasterRouteCount(platform::RasterRoute::kShadedSpans);
            std::vector<uint32_t>& out = pass == 0 ? fast : plain;
            for (int y = 0; y < 48; ++y) {
                for (int x = 0; x < 64; ++x)
                    out.push_back(platform::ReadD3D9BackBufferPixel(device_, x, y));
            }
        }
        ASSERT_EQ(fast, plain);
        for (uint32_t p : fast)
            pixels += p != kClear;
    }
    // The cases reached what they meant to: most points were compared, triangles drew.
    EXPECT_GT(points, 3000);
    EXPECT_GT(pixels, 100000);
    // The device as it runs drew the meshes by its shaded spans, not by the plain path.
    EXPECT_GT(shadedTriangles, 1000u);
}

}  // namespace
