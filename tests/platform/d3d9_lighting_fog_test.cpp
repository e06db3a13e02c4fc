// The fixed-function vertex stage read back pixel by pixel: lights of each kind with their
// attenuation, range and cones at the edges, the material sources, specular with a known power,
// global ambient, NORMALIZENORMALS, and fog of each mode at its start, middle and end, vertex
// and table. Points draw one pixel each in exactly their vertex's colour, so each case reads
// the vertex stage's result alone; expectations come from the documented formulas here.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "d3d9_fixture.h"

namespace {

using d3d9test::DeviceTest;
using d3d9test::FloatBits;
using d3d9test::Identity;

struct LitVertex {
    float x, y, z;
    float nx, ny, nz;
    DWORD diffuse, specular;
};
constexpr DWORD kFvfLit = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR;
static_assert(sizeof(LitVertex) == 32);

// A channel as the vertex stage stores it: clamped to 0..1, times 255, rounded.
uint32_t Channel(double v) {
    v = std::fmin(std::fmax(v, 0.0), 1.0);
    return static_cast<uint32_t>(std::floor(v * 255.0 + 0.5));
}

uint32_t Grey(double v, uint32_t alpha = 255) {
    uint32_t c = Channel(v);
    return (alpha << 24) | (c << 16) | (c << 8) | c;
}

class VertexStageTest : public DeviceTest {
  protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_NE(device_, nullptr);
        d3d9test::SetIdentityTransforms(device_);
        device_->SetFVF(kFvfLit);
        device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
        device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        device_->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
        ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0), D3D_OK);
        D3DMATERIAL9 m{};
        m.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
        device_->SetMaterial(&m);
        device_->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
        device_->SetRenderState(D3DRS_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL);
    }

    // Draws one point at eye-space (x, y, z) (the transforms are the identity, so this is clip
    // space too) and reads its pixel: x and y in 1/32 and 1/24 steps land on whole pixels.
    uint32_t DrawPoint(LitVertex v) {
        EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0), D3D_OK);
        EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &v, sizeof v), D3D_OK);
        int px = static_cast<int>(std::floor(32.0 + v.x * 32.0 + 0.5));
        int py = static_cast<int>(std::floor(24.0 - v.y * 24.0 + 0.5));
        return platform::ReadD3D9BackBufferPixel(device_, px, py);
    }

    void SetLight(const D3DLIGHT9& light) {
        ASSERT_EQ(device_->SetLight(0, &light), D3D_OK);
        ASSERT_EQ(device_->LightEnable(0, TRUE), D3D_OK);
    }
};

D3DLIGHT9 WhiteLight(DWORD type) {
    D3DLIGHT9 l{};
    l.Type = type;
    l.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
    l.Range = 100.0f;
    l.Attenuation0 = 1.0f;
    l.Falloff = 1.0f;
    return l;
}

// Spot factor by the documented formula.
double Spot(double rho, double theta, double phi, double falloff) {
    double inner = std::cos(theta / 2), outer = std::cos(phi / 2);
    if (rho > inner)
        return 1.0;
    if (rho <= outer)
        return 0.0;
    return std::pow((rho - outer) / (inner - outer), falloff);
}

TEST_F(VertexStageTest, LightsOfEachKindWithAttenuationRangeAndCones) {
    struct Case {
        const char* name;
        D3DLIGHT9 light;
        LitVertex vertex;
        double expected;  // diffuse intensity on a white material
    };
    std::vector<Case> cases;
    auto add = [&](const char* name, D3DLIGHT9 l, float x, float z, double expected) {
        cases.push_back({name, l, {x, 0.0f, z, 0.0f, 0.0f, -1.0f, 0, 0}, expected});
    };
    D3DLIGHT9 dir = WhiteLight(D3DLIGHT_DIRECTIONAL);
    dir.Direction = {0.0f, 0.0f, 1.0f};
    add("directional, head on", dir, 0.0f, 0.5f, 1.0);
    dir.Direction = {0.0f, -0.6f, 0.8f};  // N.L = 0.8
    add("directional, tilted", dir, 0.0f, 0.5f, 0.8);
    dir.Direction = {0.0f, 0.0f, -1.0f};  // from behind the surface
    add("directional, from behind", dir, 0.0f, 0.5f, 0.0);
    dir.Range = 0.001f;  // directional lights have no range
    dir.Direction = {0.0f, 0.0f, 1.0f};
    add("directional ignores range", dir, 0.0f, 0.5f, 1.0);

    D3DLIGHT9 point = WhiteLight(D3DLIGHT_POINT);
    point.Position = {0.0f, 0.0f, -1.5f};  // d = 2 from z = 0.5
    point.Attenuation0 = 0.0f;
    point.Attenuation1 = 1.0f;
    add("point, linear attenuation at 2", point, 0.0f, 0.5f, 0.5);
    point.Attenuation0 = 1.0f;
    point.Attenuation1 = 0.0f;
    point.Attenuation2 = 0.75f;
    add("point, quadratic attenuation at 2", point, 0.0f, 0.5f, 1.0 / 4.0);
    point.Attenuation2 = 0.0f;
    point.Range = 2.0f;
    add("point, exactly at its range", point, 0.0f, 0.5f, 1.0);
    point.Range = 1.999f;
    add("point, just past its range", point, 0.0f, 0.5f, 0.0);
    point.Range = 100.0f;
    // Off axis: N.L = 2 / sqrt(2^2 + 0.5^2).
    add("point, off axis", point, 0.5f, 0.5f, 2.0 / std::sqrt(4.25));

    D3DLIGHT9 spot = WhiteLight(D3DLIGHT_SPOT);
    spot.Position = {0.0f, 0.0f, -0.5f};  // 1 from the plane z = 0.5
    spot.Direction = {0.0f, 0.0f, 1.0f};
    spot.Theta = 0.5f;
    spot.Phi = 1.0f;
    spot.Falloff = 2.0f;
    // Inside the inner cone (x < tan 0.25), between the cones, outside the outer (x > tan 0.5).
    for (float x : {0.0f, 0.25f, 0.375f, 0.5f, 0.75f}) {
        double rho = 1.0 / std::sqrt(1.0 + double(x) * x);  // also N.L
        add("spot", spot, x, 0.5f, rho * Spot(rho, 0.5f, 1.0f, 2.0));
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.name << " at x " << c.vertex.x);
        SetLight(c.light);
        EXPECT_EQ(DrawPoint(c.vertex), Grey(c.expected));
    }
    // The between-cones cases really are between the cones.
    EXPECT_EQ(Spot(1.0 / std::sqrt(1.0 + 0.25 * 0.25), 0.5, 1.0, 2.0), 1.0);
    EXPECT_GT(Spot(1.0 / std::sqrt(1.0 + 0.375 * 0.375), 0.5, 1.0, 2.0), 0.0);
    EXPECT_LT(Spot(1.0 / std::sqrt(1.0 + 0.5 * 0.5), 0.5, 1.0, 2.0), 1.0);
    EXPECT_EQ(Spot(1.0 / std::sqrt(1.0 + 0.75 * 0.75), 0.5, 1.0, 2.0), 0.0);
}

TEST_F(VertexStageTest, LightsSumAndAmbientsAdd) {
    D3DLIGHT9 a = WhiteLight(D3DLIGHT_DIRECTIONAL);
    a.Direction = {0.0f, 0.0f, 1.0f};
    a.Diffuse = {0.25f, 0.5f, 0.125f, 1.0f};
    a.Ambient = {0.1f, 0.0f, 0.2f, 0.0f};
    D3DLIGHT9 b = a;
    b.Direction = {0.0f, -0.6f, 0.8f};
    ASSERT_EQ(device_->SetLight(0, &a), D3D_OK);
    ASSERT_EQ(device_->SetLight(3, &b), D3D_OK);
    device_->LightEnable(0, TRUE);
    device_->LightEnable(3, TRUE);
    D3DMATERIAL9 m{};
    m.Diffuse = {1.0f, 1.0f, 1.0f, 0.5f};
    m.Ambient = {0.5f, 0.5f, 0.5f, 1.0f};
    m.Emissive = {0.0f, 0.125f, 0.0f, 0.0f};
    device_->SetMaterial(&m);
    device_->SetRenderState(D3DRS_AMBIENT, 0xFF402000u);  // global ambient
    uint32_t got = DrawPoint({0.0f, 0.0f, 0.5f, 0.0f, 0.0f, -1.0f, 0, 0});
    double ga[3] = {0x40 / 255.0, 0x20 / 255.0, 0.0};
    double ld[3] = {0.25, 0.5, 0.125}, la[3] = {0.1, 0.0, 0.2}, em[3] = {0.0, 0.125, 0.0};
    uint32_t expected = Channel(0.5) << 24;
    for (int c = 0; c < 3; ++c) {
        double v = em[c] + 0.5 * ga[c] + (0.5 * la[c] + ld[c] * 1.0) + (0.5 * la[c] + ld[c] * 0.8);
        expected |= Channel(v) << (16 - 8 * c);
    }
    // The target is X8R8G8B8: alpha reads back as 255.
    EXPECT_EQ(got, expected | 0xFF000000u);
}

TEST_F(VertexStageTest, MaterialSourcesTakeTheVertexColoursWhereAsked) {
    const DWORD vd = 0x80336699u, vs = 0x40C0A020u;
    D3DMATERIAL9 m{};
    m.Diffuse = {0.0f, 0.0f, 0.0f, 1.0f};
    m.Ambient = {0.2f, 0.4f, 0.6f, 1.0f};
    m.Emissive = {0.1f, 0.1f, 0.1f, 1.0f};
    device_->SetMaterial(&m);
    device_->SetRenderState(D3DRS_AMBIENT, 0xFFFFFFFFu);  // ambient reads Ca itself
    auto rgb = [](DWORD c) {
        return std::vector<double>{((c >> 16) & 255) / 255.0, ((c >> 8) & 255) / 255.0,
                                   (c & 255) / 255.0};
    };
    struct Case {
        DWORD ambientSource, emissiveSource;
        BOOL colorVertex;
        std::vector<double> ambient, emissive;
    };
    std::vector<double> ma = {0.2, 0.4, 0.6}, me = {0.1, 0.1, 0.1};
    Case cases[] = {
        {D3DMCS_MATERIAL, D3DMCS_MATERIAL, TRUE, ma, me},
        {D3DMCS_COLOR1, D3DMCS_MATERIAL, TRUE, rgb(vd), me},
        {D3DMCS_MATERIAL, D3DMCS_COLOR2, TRUE, ma, rgb(vs)},
        {D3DMCS_COLOR2, D3DMCS_COLOR1, TRUE, rgb(vs), rgb(vd)},
        {D3DMCS_COLOR1, D3DMCS_COLOR2, FALSE, ma, me},  // COLORVERTEX off: the material
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "ambient " << c.ambientSource << ", emissive " << c.emissiveSource
                     << ", colour vertex " << c.colorVertex);
        device_->SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, c.ambientSource);
        device_->SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, c.emissiveSource);
        device_->SetRenderState(D3DRS_COLORVERTEX, c.colorVertex);
        uint32_t expected = 0xFF000000u;
        for (int k = 0; k < 3; ++k)
            expected |= Channel(c.ambient[k] + c.emissive[k]) << (16 - 8 * k);
        EXPECT_EQ(DrawPoint({0.0f, 0.0f, 0.5f, 0.0f, 0.0f, -1.0f, vd, vs}), expected);
    }
    // The diffuse source gives the alpha: read it through the alpha channel into the colour.
    device_->SetRenderState(D3DRS_COLORVERTEX, TRUE);
    device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE | D3DTA_ALPHAREPLICATE);
    device_->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1);
    EXPECT_EQ(DrawPoint({0.0f, 0.0f, 0.5f, 0.0f, 0.0f, -1.0f, vd, vs}), 0xFF808080u);
    device_->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR2);
    EXPECT_EQ(DrawPoint({0.0f, 0.0f, 0.5f, 0.0f, 0.0f, -1.0f, vd, vs}), 0xFF404040u);
    device_->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
    EXPECT_EQ(DrawPoint({0.0f, 0.0f, 0.5f, 0.0f, 0.0f, -1.0f, vd, vs}), 0xFFFFFFFFu);
}

TEST_F(VertexStageTest, SpecularWithAKnownPowerAndLocalViewer) {
    D3DLIGHT9 l = WhiteLight(D3DLIGHT_POINT);
    l.Position = {0.5f, 0.0f, -1.0f};
    l.Specular = {1.0f, 1.0f, 1.0f, 1.0f};
    l.Diffuse = {0.0f, 0.0f, 0.0f, 0.0f};
    SetLight(l);
    D3DMATERIAL9 m{};
    m.Specular = {1.0f, 0.5f, 0.25f, 1.0f};
    m.Power = 10.0f;
    device_->SetMaterial(&m);
    device_->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    // Black from the stages; the specular add alone colours the pixel.
    device_->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF000000u);
    device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    auto unit = [](double x, double y, double z, double out[3]) {
        double n = std::sqrt(x * x + y * y + z * z);
        out[0] = x / n, out[1] = y / n, out[2] = z / n;
    };
    const double vx = -0.25, vz = 0.5;
    double toLight[3], toEye[3], half[3];
    unit(0.5 - vx, 0.0, -1.0 - vz, toLight);
    for (BOOL local : {TRUE, FALSE}) {
        SCOPED_TRACE(local ? "local viewer" : "viewer at infinity");
        device_->SetRenderState(D3DRS_LOCALVIEWER, local);
        if (local)
            unit(-vx, 0.0, -vz, toEye);
        else
            toEye[0] = 0.0, toEye[1] = 0.0, toEye[2] = 1.0;
        unit(toLight[0] + toEye[0], toLight[1] + toEye[1], toLight[2] + toEye[2], half);
        double nh = std::fmax(-half[2], 0.0);  // N = (0, 0, -1)
        double s = std::pow(nh, 10.0);
        uint32_t expected =
            0xFF000000u | Channel(s) << 16 | Channel(0.5 * s) << 8 | Channel(0.25 * s);
        EXPECT_EQ(DrawPoint({float(vx), 0.0f, float(vz), 0.0f, 0.0f, -1.0f, 0, 0}), expected);
    }
    // SPECULARENABLE off: no specular is computed.
    device_->SetRenderState(D3DRS_SPECULARENABLE, FALSE);
    EXPECT_EQ(DrawPoint({float(vx), 0.0f, float(vz), 0.0f, 0.0f, -1.0f, 0, 0}), 0xFF000000u);
}

TEST_F(VertexStageTest, NormalsAreNormalisedOnlyWhenAsked) {
    D3DLIGHT9 l = WhiteLight(D3DLIGHT_DIRECTIONAL);
    l.Direction = {0.0f, 0.0f, 1.0f};
    SetLight(l);
    D3DMATRIX world = Identity();
    world._11 = world._22 = world._33 = 0.5f;  // normals grow by 2 through the inverse transpose
    device_->SetTransform(D3DTS_WORLD, &world);
    LitVertex v = {0.0f, 0.0f, 1.0f, 0.0f, 0.0f, -0.3f, 0, 0};  // at eye z 0.5
    EXPECT_EQ(DrawPoint(v), Grey(0.6));
    device_->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
    EXPECT_EQ(DrawPoint(v), Grey(1.0));
}

TEST_F(VertexStageTest, WithoutLightingTheVertexColoursPass) {
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    EXPECT_EQ(DrawPoint({0.0f, 0.0f, 0.5f, 0.0f, 0.0f, -1.0f, 0xFF123456u, 0}), 0xFF123456u);
}

// Fog: the factor f of each mode, and colour c f + fog (1 - f) per channel with f in 1/255.
uint32_t Fogged(uint32_t colour, uint32_t fog, double f) {
    uint32_t a = Channel(f);
    uint32_t out = 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
        uint32_t c = (colour >> shift) & 255, g = (fog >> shift) & 255;
        out |= ((c * a + g * (255 - a) + 127) / 255) << shift;
    }
    return out;
}

double FogFormula(DWORD mode, double d, double start, double end, double density) {
    switch (mode) {
        case D3DFOG_LINEAR:
            return (end - d) / (end - start);
        case D3DFOG_EXP:
            return std::exp(-d * density);
        default:
            return std::exp(-(d * density) * (d * density));
    }
}

TEST_F(VertexStageTest, VertexFogOfEachModeAtStartMiddleAndEnd) {
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    device_->SetRenderState(D3DRS_FOGENABLE, TRUE);
    device_->SetRenderState(D3DRS_FOGCOLOR, 0xFF2080F0u);
    device_->SetRenderState(D3DRS_FOGSTART, FloatBits(0.2f));
    device_->SetRenderState(D3DRS_FOGEND, FloatBits(0.8f));
    device_->SetRenderState(D3DRS_FOGDENSITY, FloatBits(1.5f));
    const DWORD colour = 0xFFF0E0D0u;
    for (DWORD mode : {D3DFOG_LINEAR, D3DFOG_EXP, D3DFOG_EXP2}) {
        device_->SetRenderState(D3DRS_FOGVERTEXMODE, mode);
        for (float z : {0.2f, 0.5f, 0.8f, 0.95f}) {
            SCOPED_TRACE(::testing::Message() << "mode " << mode << ", depth " << z);
            double f = std::fmin(std::fmax(FogFormula(mode, z, 0.2f, 0.8f, 1.5f), 0.0), 1.0);
            EXPECT_EQ(DrawPoint({0.0f, 0.0f, z, 0.0f, 0.0f, -1.0f, colour, 0}),
                      Fogged(colour, 0xFF2080F0u, f));
        }
    }
    // Range fog measures the distance to the eye instead of the depth.
    device_->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
    device_->SetRenderState(D3DRS_RANGEFOGENABLE, TRUE);
    double d = std::sqrt(0.5 * 0.5 + 0.5 * 0.5);
    EXPECT_EQ(DrawPoint({0.5f, 0.0f, 0.5f, 0.0f, 0.0f, -1.0f, colour, 0}),
              Fogged(colour, 0xFF2080F0u, (0.8 - d) / 0.6));
    // Fog off: nothing changes.
    device_->SetRenderState(D3DRS_FOGENABLE, FALSE);
    EXPECT_EQ(DrawPoint({0.5f, 0.0f, 0.5f, 0.0f, 0.0f, -1.0f, colour, 0}), colour);
}

// Table fog reads each pixel's depth: z under an affine projection, the eye distance w under a
// perspective one. A whole-screen triangle pair at one depth shows one factor everywhere.
TEST_F(VertexStageTest, TableFogOfEachModeFromZAndFromW) {
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device_->SetRenderState(D3DRS_FOGENABLE, TRUE);
    device_->SetRenderState(D3DRS_FOGCOLOR, 0xFF10E040u);
    device_->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_EXP);  // the table mode wins
    const DWORD colour = 0xFF8040C0u;
    auto quadAt = [&](float z, float w) {
        // Clip-space corners at depth z / w; w scales x and y so the quad covers the screen.
        LitVertex q[4] = {{-w, w, z, 0, 0, -1, colour, 0},
                          {w, w, z, 0, 0, -1, colour, 0},
                          {-w, -w, z, 0, 0, -1, colour, 0},
                          {w, -w, z, 0, 0, -1, colour, 0}};
        device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
        ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof(LitVertex)), D3D_OK);
    };
    for (DWORD mode : {D3DFOG_LINEAR, D3DFOG_EXP, D3DFOG_EXP2}) {
        device_->SetRenderState(D3DRS_FOGTABLEMODE, mode);
        // Affine projection (the identity): z in 0..1 is the depth.
        D3DMATRIX id = Identity();
        device_->SetTransform(D3DTS_PROJECTION, &id);
        device_->SetRenderState(D3DRS_FOGSTART, FloatBits(0.25f));
        device_->SetRenderState(D3DRS_FOGEND, FloatBits(0.75f));
        device_->SetRenderState(D3DRS_FOGDENSITY, FloatBits(2.0f));
        for (float z : {0.25f, 0.5f, 0.75f}) {
            SCOPED_TRACE(::testing::Message() << "z fog, mode " << mode << ", z " << z);
            quadAt(z, 1.0f);
            double f = std::fmin(std::fmax(FogFormula(mode, z, 0.25f, 0.75f, 2.0f), 0.0), 1.0);
            EXPECT_EQ(platform::ReadD3D9BackBufferPixel(device_, 10, 10),
                      Fogged(colour, 0xFF10E040u, f));
            EXPECT_EQ(platform::ReadD3D9BackBufferPixel(device_, 50, 40),
                      Fogged(colour, 0xFF10E040u, f));
        }
        // Perspective projection: w = eye z; the factor follows w, not z.
        D3DMATRIX proj{};
        proj._11 = proj._22 = 1.0f;
        proj._33 = 1.0f;
        proj._43 = -1.0f;
        proj._34 = 1.0f;  // w = z
        device_->SetTransform(D3DTS_PROJECTION, &proj);
        device_->SetRenderState(D3DRS_FOGSTART, FloatBits(2.0f));
        device_->SetRenderState(D3DRS_FOGEND, FloatBits(6.0f));
        device_->SetRenderState(D3DRS_FOGDENSITY, FloatBits(0.25f));
        for (float w : {2.0f, 4.0f, 6.0f}) {
            SCOPED_TRACE(::testing::Message() << "w fog, mode " << mode << ", w " << w);
            quadAt(w, w);
            double f = std::fmin(std::fmax(FogFormula(mode, w, 2.0f, 6.0f, 0.25f), 0.0), 1.0);
            EXPECT_EQ(platform::ReadD3D9BackBufferPixel(device_, 10, 10),
                      Fogged(colour, 0xFF10E040u, f));
        }
    }
}

}  // namespace
