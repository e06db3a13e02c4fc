// The built-in shaders against the fixed-function pipeline: one lit, textured, blended scene
// drawn both ways, with the shaders that the selectors and the mesh terms pick, matches within
// one step per channel, for every lighting, light kind, fog formula and colour-source bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/math/matrix.h"
#include "graphics/batch/vertex_batch.h"
#include "graphics/device/device_state.h"
#include "graphics/device/graphics_device.h"
#include "graphics/device/shader_pack.h"
#include "graphics/state/render_state_cache.h"
#include "tests/graphics/device/graphics_test_support.h"
#include "tests/graphics/targets/drawing_comparison.h"

using namespace tessel;
using tessel_test::GraphicsTest;

namespace {

struct SceneVertex {
    float position[3];
    float normal[3];
    uint32_t diffuse;
    uint32_t specular;
    float tex[4];
};
static_assert(sizeof(SceneVertex) == 48);
constexpr DWORD kSceneFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR |
                            D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE4(0);
constexpr uint32_t kBackground = 0xFF102030;
constexpr int kWidth = 320;
constexpr int kHeight = 240;

// A bumpy grid facing the camera: every normal leans another way, every vertex has its own
// colours.
std::vector<SceneVertex> GridTriangles() {
    const int n = 12;
    auto vertex = [n](int i, int j) {
        SceneVertex v = {};
        const float x = -1.0f + 2.0f * static_cast<float>(i) / n;
        const float y = -1.0f + 2.0f * static_cast<float>(j) / n;
        v.position[0] = x;
        v.position[1] = y;
        v.position[2] = 0.15f * x * y;
        const float nx = 0.7f * x, ny = -0.5f * y, nz = -1.0f;
        const float length = std::sqrt(nx * nx + ny * ny + nz * nz);
        v.normal[0] = nx / length;
        v.normal[1] = ny / length;
        v.normal[2] = nz / length;
        const uint32_t r = static_cast<uint32_t>(40 + 200 * i / n);
        const uint32_t g = static_cast<uint32_t>(230 - 150 * j / n);
        v.diffuse = 0xC0000000u | (r << 16) | (g << 8) | 0x70u;
        v.specular = 0x80000000u | (g << 16) | (0x50u << 8) | r;
        v.tex[0] = static_cast<float>(i) / 4.0f;
        v.tex[1] = static_cast<float>(j) / 4.0f;
        v.tex[2] = 1.0f;
        v.tex[3] = 1.0f;
        return v;
    };
    std::vector<SceneVertex> out;
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) {
            const SceneVertex a = vertex(i, j), b = vertex(i + 1, j), c = vertex(i, j + 1),
                              d = vertex(i + 1, j + 1);
            out.insert(out.end(), {a, c, b, b, c, d});
        }
    }
    return out;
}

// The grid in the tangent-frame layout, for the normal map's shaders: each binormal is the
// opposite of its tangent.
struct TangentVertex {
    float position[3];
    float normal[3];
    float tangent[3];
    float binormal[3];
    uint32_t diffuse;
    uint32_t specular;
    float tex[4];
};
static_assert(sizeof(TangentVertex) == 72);

std::vector<TangentVertex> WithTangentFrames(const std::vector<SceneVertex>& grid) {
    std::vector<TangentVertex> out;
    for (const SceneVertex& v : grid) {
        TangentVertex t = {};
        std::memcpy(t.position, v.position, sizeof t.position);
        std::memcpy(t.normal, v.normal, sizeof t.normal);
        const float tangent[3] = {0.9f, 0.3f + 0.1f * v.position[0], 0.2f};
        for (int c = 0; c < 3; ++c) {
            t.tangent[c] = tangent[c];
            t.binormal[c] = -tangent[c];
        }
        t.diffuse = v.diffuse;
        t.specular = v.specular;
        std::memcpy(t.tex, v.tex, sizeof t.tex);
        out.push_back(t);
    }
    return out;
}

struct SceneCase {
    const char* name;
    int lighting;
    int lightTypes[3];  // D3DLIGHTTYPE of lights 0..2, 0 off
    int fog;
    int specular;
    int diffuseFromVertex;
    int specularFromVertex;
};

void PrintTo(const SceneCase& c, std::ostream* os) {
    *os << c.name;
}

D3DLIGHT9 LightOfType(int type) {
    D3DLIGHT9 l = {};
    l.Type = static_cast<D3DLIGHTTYPE>(type);
    l.Diffuse = {0.9f, 0.75f, 0.6f, 1.0f};
    l.Specular = {1.0f, 0.9f, 0.8f, 1.0f};
    l.Ambient = {0.2f, 0.1f, 0.15f, 1.0f};
    l.Range = 10.0f;
    l.Falloff = 1.0f;
    if (type == D3DLIGHT_DIRECTIONAL) {
        l.Direction = {0.3f, -0.4f, 1.0f};
    } else if (type == D3DLIGHT_POINT) {
        l.Position = {0.6f, 0.5f, -1.2f};
        l.Attenuation0 = 0.5f;
        l.Attenuation1 = 0.3f;
        l.Attenuation2 = 0.1f;
    } else {
        l.Position = {-0.5f, 0.1f, -2.0f};
        l.Direction = {0.25f, -0.05f, 1.0f};
        l.Attenuation0 = 1.0f;
        l.Theta = 0.5f;
        l.Phi = 1.1f;
    }
    return l;
}

class ShaderSceneTest : public GraphicsTest, public ::testing::WithParamInterface<SceneCase> {
  protected:
    void SetUp() override {
        GraphicsTest::SetUp();
        platform::D3D9Profile profile = platform::DefaultD3D9Profile();
        profile.vertexShaderVersion = D3DVS_VERSION(2, 0);
        profile.pixelShaderVersion = D3DPS_VERSION(2, 0);
        platform::SetD3D9Profile(profile);
        ASSERT_EQ(SetScreenMode(kWidth, kHeight, 32, 0), 0);
        ASSERT_EQ(StartLibrary(), 0);
        ASSERT_EQ(ShaderPathOn, 1);
        device_ = g_graphics.device;
        texture_ = MakeTexture([](int x, int y) {
            return 0xFF000000u | static_cast<uint32_t>((255 - 20 * x) << 16) |
                   static_cast<uint32_t>((160 + 12 * y) << 8) |
                   static_cast<uint32_t>(90 + 15 * ((x + y) % 4));
        });
        ASSERT_NE(texture_, nullptr);
    }
    void TearDown() override {
        if (texture_ != nullptr) {
            texture_->Release();
        }
        SetShaderPackSourceForTesting(nullptr, 0);
        GraphicsTest::TearDown();
    }

    void SetUpScene(const SceneCase& c) {
        Vec3 eye = {0.0f, 0.0f, -3.0f}, target = {0.0f, 0.0f, 0.0f}, up = {0.0f, 1.0f, 0.0f};
        Mat4 view = {}, projection = {};
        LookAtMatrix(&view, &eye, &target, &up);
        MatPerspective(&projection, 0.9f, 0.5f, 20.0f, static_cast<float>(kHeight) / kWidth);
        SetViewTransformState(&view);
        SetProjectionTransformState(&projection);
        D3DMATERIAL9 material = {};
        material.Diffuse = {0.8f, 0.7f, 0.6f, 0.9f};
        material.Ambient = {0.3f, 0.35f, 0.4f, 1.0f};
        material.Specular = {0.9f, 0.8f, 0.7f, 0.6f};
        material.Emissive = {0.05f, 0.1f, 0.0f, 0.0f};
        material.Power = 12.0f;
        SetMaterialState(&material);
        SetAmbientColorState(0xFF303838);
        for (int i = 0; i < 3; ++i) {
            if (c.lightTypes[i] != 0) {
                const D3DLIGHT9 light = LightOfType(c.lightTypes[i]);
                SetLightState(i, &light);
            }
            EnableLightState(i, c.lightTypes[i] != 0 ? 1 : 0);
        }
        SetLightingSwitch(c.lighting);
        SetSpecularState(c.specular);
        SetDiffuseFromVertexColor(c.diffuseFromVertex);
        SetSpecularFromVertexColor(c.specularFromVertex);
        SetFogColorState(0xFF8090A0);
        SetFogRangeState(2.2f, 4.0f);
        SetFogDensityState(0.35f);
        SetFogModeState(c.fog);
        SetFogEnableState(c.fog != 0 ? 1 : 0);
        // The world: turned about z and moved, through the device transform on the fixed
        // path and three registers on the shader path.
        Mat4 world = MatRotZByValue(0.3f);
        world.m[3][0] = 0.1f;
        world.m[3][1] = -0.05f;
        world.m[3][2] = 0.2f;
        SetWorldTransformDirect(&world);
        float rows[3][4];
        for (int r = 0; r < 3; ++r) {
            for (int k = 0; k < 4; ++k) {
                rows[r][k] = world.m[k][r];
            }
        }
        SetVertexShaderConstF(94, &rows[0][0], 3);
        static const float kIdentityRows[2][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}};
        SetVertexShaderConstF(88, &kIdentityRows[0][0], 2);
        // Stage 0 the texel times the colour, stage 1 the alpha times the texture factor.
        const uint32_t factor = 0xB0FFFFFFu;
        const float factorRegister[4] = {1.0f, 1.0f, 1.0f, static_cast<float>(0xB0) / 255.0f};
        SetPixelShaderConstF(5, factorRegister, 1);
        device_->SetRenderState(D3DRS_TEXTUREFACTOR, factor);
        device_->SetTexture(0, texture_);
        device_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
        device_->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
        device_->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
        device_->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
        device_->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP);
        device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        device_->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        device_->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        device_->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
        device_->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
        device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device_->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_CURRENT);
        device_->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        device_->SetTextureStageState(1, D3DTSS_ALPHAARG1, D3DTA_CURRENT);
        device_->SetTextureStageState(1, D3DTSS_ALPHAARG2, D3DTA_TFACTOR);
        device_->SetTextureStageState(2, D3DTSS_COLOROP, D3DTOP_DISABLE);
        device_->SetTextureStageState(2, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
        device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    }

    // The scene's pixels drawn one way (the shaders from the tangent-frame layout's vertices
    // when asked).
    std::vector<uint32_t> Draw(bool shaders, int vertexIndex, int pixelIndex,
                               bool tangentFrames = false) {
        EnsureSceneBegun();
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBackground, 1.0f, 0);
        if (shaders) {
            EXPECT_EQ(SelectBuiltInVertexShader(vertexIndex), 1) << vertexIndex;
            EXPECT_EQ(SelectBuiltInPixelShader(pixelIndex), 1) << pixelIndex;
        } else {
            device_->SetVertexShader(nullptr);
            device_->SetPixelShader(nullptr);
            g_stateCache.vertexShader = nullptr;
            g_stateCache.pixelShader = nullptr;
            g_stateCache.declaration = nullptr;
            device_->SetFVF(kSceneFvf);
        }
        const std::vector<SceneVertex> triangles = GridTriangles();
        const UINT count = static_cast<UINT>(triangles.size() / 3);
        if (tangentFrames) {
            const std::vector<TangentVertex> framed = WithTangentFrames(triangles);
            EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, count, framed.data(),
                                               sizeof(TangentVertex)),
                      D3D_OK);
        } else {
            EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, count, triangles.data(),
                                               sizeof(SceneVertex)),
                      D3D_OK);
        }
        return BackBufferPixels();
    }

    // An 8 x 8 managed texture of A8R8G8B8 texels texel(x, y); null, and a failure, when the
    // device does not make it.
    template <typename Texel>
    IDirect3DTexture9* MakeTexture(Texel texel) const {
        IDirect3DTexture9* texture = nullptr;
        if (device_->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture,
                                   nullptr) != D3D_OK) {
            ADD_FAILURE() << "no texture";
            return nullptr;
        }
        D3DLOCKED_RECT locked = {};
        if (texture->LockRect(0, &locked, nullptr, 0) != D3D_OK) {
            ADD_FAILURE() << "no lock";
            texture->Release();
            return nullptr;
        }
        for (int y = 0; y < 8; ++y) {
            auto* row =
                reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch);
            for (int x = 0; x < 8; ++x) {
                row[x] = texel(x, y);
            }
        }
        texture->UnlockRect(0);
        return texture;
    }

    std::vector<uint32_t> BackBufferPixels() const {
        std::vector<uint32_t> pixels;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                pixels.push_back(platform::ReadD3D9BackBufferPixel(device_, x, y));
            }
        }
        return pixels;
    }

    IDirect3DDevice9* device_ = nullptr;
    IDirect3DTexture9* texture_ = nullptr;
};

// The two drawings cover a quarter of the target at least and agree within one step wherever
// both drew.
void ExpectWithinOneStep(const std::vector<uint32_t>& fixed, const std::vector<uint32_t>& shaded) {
    const tessel_test::DrawingComparison c =
        tessel_test::CompareDrawings(fixed, shaded, kBackground);
    EXPECT_GT(c.drawn, kWidth * kHeight / 4);
    // Covered one way only: edge pixels, where the corners' precisions differ.
    EXPECT_LT(c.oneWay, c.drawn / 100);
    EXPECT_EQ(c.off, 0) << "worst " << c.worst << " of " << c.drawn;
}

TEST_P(ShaderSceneTest, TheShaderPathDrawsTheFixedPipelinesSceneWithinOneStep) {
    const SceneCase& c = GetParam();
    SetUpScene(c);
    const int low = c.specular + 2 * c.specularFromVertex + 4 * c.diffuseFromVertex;
    const int vertexIndex = VertexShaderSelector + low;
    const int pixelIndex = PixelShaderSelector + low;
    const std::vector<uint32_t> fixed = Draw(false, vertexIndex, pixelIndex);
    const std::vector<uint32_t> shaded = Draw(true, vertexIndex, pixelIndex);
    ExpectWithinOneStep(fixed, shaded);
}

// The normal map's shaders (tangent-frame layout, pixel shaders lighting by stage 2) with a
// flat map: its texel (128, 128, 255) leans as far along the tangent as along the binormal,
// which is the tangent's opposite, so the two cancel and each pixel is lit by N.L of the
// interpolated directions to the lights, what the fixed pipeline lights at the vertices.
// Two lights together saturate some vertex colours, which per-pixel lighting rightly does not
// reproduce: those scenes are left out.
TEST_P(ShaderSceneTest, TheNormalMapShadersLightAFlatMapAsTheVerticesDo) {
    const SceneCase& c = GetParam();
    const int lights = (c.lightTypes[0] != 0) + (c.lightTypes[1] != 0) + (c.lightTypes[2] != 0);
    if (c.lighting != 0 && lights > 1) {
        GTEST_SKIP() << "saturated vertex colours";
    }
    SetUpScene(c);
    IDirect3DTexture9* flat = MakeTexture([](int, int) { return 0xFF8080FFu; });
    ASSERT_NE(flat, nullptr);
    device_->SetTexture(2, flat);
    // Per pixel against per vertex: the vertex colours interpolated, as meshes draw.
    device_->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
    const int low = c.specular + 2 * c.specularFromVertex + 4 * c.diffuseFromVertex;
    const int vertexIndex = VertexShaderSelector + low + 2048;
    const int pixelIndex = PixelShaderSelector + low + 864;
    const bool lightsOn = (PixelShaderSelector / 432) % 8 == 5;
    if (lightsOn && c.diffuseFromVertex != 0) {
        // The map lights with the material's diffuse colour: no shader, the fixed path draws.
        EXPECT_EQ(SelectBuiltInPixelShader(pixelIndex), 0);
        flat->Release();
        return;
    }
    const std::vector<uint32_t> fixed = Draw(false, vertexIndex, pixelIndex);
    const std::vector<uint32_t> shaded = Draw(true, vertexIndex, pixelIndex, true);
    flat->Release();
    const tessel_test::DrawingComparison d =
        tessel_test::CompareDrawings(fixed, shaded, kBackground);
    EXPECT_GT(d.drawn, kWidth * kHeight / 4);
    // The fixed path rounds the colours at the vertices and again between them: two steps
    // at most, and those rarely.
    EXPECT_LE(d.worst, 2);
    EXPECT_LT(d.off, d.drawn / 20) << "worst " << d.worst << " of " << d.drawn;
}

// The outline shaders: each vertex pushed out along its normal by the thickness in c42, in the
// material's diffuse colour, against the fixed path drawing the pushed-out positions itself in
// that colour.
TEST_F(ShaderSceneTest, TheOutlineShaderPushesTheVerticesOutAlongTheirNormals) {
    const SceneCase unlit = {"Outline", 0, {0, 0, 0}, 0, 0, 0, 0};
    SetUpScene(unlit);
    D3DMATERIAL9 material = {};
    material.Diffuse = {0.3f, 0.55f, 0.8f, 1.0f};
    SetMaterialState(&material);
    const float thickness = 0.3f;
    const float registers[4] = {thickness, thickness, thickness, thickness};
    SetVertexShaderConstF(42, registers, 1);
    const float opaque[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    SetPixelShaderConstF(5, opaque, 1);
    device_->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFFFFFFFFu);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    IDirect3DTexture9* white = nullptr;
    ASSERT_EQ(device_->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &white, nullptr),
              D3D_OK);
    D3DLOCKED_RECT locked = {};
    ASSERT_EQ(white->LockRect(0, &locked, nullptr, 0), D3D_OK);
    *static_cast<uint32_t*>(locked.pBits) = 0xFFFFFFFFu;
    white->UnlockRect(0);
    device_->SetTexture(0, white);
    const std::vector<SceneVertex> triangles = GridTriangles();
    // Fixed path: the pushed-out corners, coloured as the outline pass colours them.
    struct OutlineVertex {
        float position[3];
        uint32_t diffuse;
    };
    std::vector<OutlineVertex> pushed;
    const uint32_t colour = 0xFF000000u | static_cast<uint32_t>(0.3f * 255.0f) << 16 |
                            static_cast<uint32_t>(0.55f * 255.0f) << 8 |
                            static_cast<uint32_t>(0.8f * 255.0f);
    for (const SceneVertex& v : triangles) {
        OutlineVertex o = {};
        for (int c = 0; c < 3; ++c) {
            o.position[c] = v.position[c] + v.normal[c] * thickness;
        }
        o.diffuse = colour;
        pushed.push_back(o);
    }
    EnsureSceneBegun();
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBackground, 1.0f, 0);
    device_->SetVertexShader(nullptr);
    device_->SetPixelShader(nullptr);
    g_stateCache.vertexShader = nullptr;
    g_stateCache.pixelShader = nullptr;
    g_stateCache.declaration = nullptr;
    device_->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, static_cast<UINT>(pushed.size() / 3),
                                       pushed.data(), sizeof(OutlineVertex)),
              D3D_OK);
    const std::vector<uint32_t> fixed = BackBufferPixels();
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    const std::vector<uint32_t> shaded = Draw(true, 96 * 512, 0);
    ExpectWithinOneStep(fixed, shaded);
    white->Release();
}

const SceneCase kSceneCases[] = {
    {"Unlit", 0, {0, 0, 0}, 0, 0, 0, 0},
    {"UnlitSpecular", 0, {0, 0, 0}, 0, 1, 1, 1},
    {"LitWithoutLights", 1, {0, 0, 0}, 0, 1, 0, 0},
    {"Directional", 1, {3, 0, 0}, 0, 0, 0, 0},
    {"DirectionalSpecular", 1, {3, 0, 0}, 0, 1, 0, 0},
    {"Point", 1, {1, 0, 0}, 0, 1, 0, 0},
    {"Spot", 1, {2, 0, 0}, 0, 1, 0, 0},
    {"SecondAndThirdLights", 1, {0, 1, 2}, 0, 1, 0, 0},
    {"ThreeLightsVertexColours", 1, {3, 1, 2}, 0, 1, 1, 1},
    {"DiffuseFromVertexOnly", 1, {3, 0, 1}, 0, 0, 1, 0},
    {"SpecularFromVertexOnly", 1, {1, 3, 0}, 0, 1, 0, 1},
    {"LinearFog", 1, {3, 0, 0}, 3, 1, 0, 0},
    {"ExpFog", 1, {3, 1, 0}, 1, 0, 0, 0},
    {"Exp2Fog", 0, {0, 0, 0}, 2, 0, 0, 0},
};

INSTANTIATE_TEST_SUITE_P(Bits, ShaderSceneTest, ::testing::ValuesIn(kSceneCases),
                         [](const ::testing::TestParamInfo<SceneCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
