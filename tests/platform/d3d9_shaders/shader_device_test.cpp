// Shaders through the device, against the fixed pipeline drawing the same scene:
// - a vertex shader doing the fixed pipeline's transform and one directional light gives the
//   fixed pipeline's pixels on a lit mesh (within one step per channel), through the FVF and
//   through a vertex declaration;
// - a pixel shader modulating a texture by the diffuse colour gives the fixed stage program's
//   pixels exactly (point and linear filtering, with fog and blending after it, and through a
//   mip chain whose levels the shader route chooses as the stages do);
// - every sampler s0 to s15 of a pixel shader reads its own texture and sampler states;
// - oFog as the vertex fog factor, before the stages and after a pixel shader;
// - texkill and a depth test on the shader route; points and lines through the pixel shader;
// - skinning with a bone palette through a0, read from UBYTE4 indices and FLOAT4 weights.
#include <cmath>
#include <vector>

#include "modulate_shader.h"
#include "platform/d3d9/raster_draw.h"
#include "shader_device_fixture.h"
#include "shader_test_support.h"

namespace {

using namespace shadertest;

struct LitVertex {
    float x, y, z;
    float nx, ny, nz;
    DWORD diffuse;
    float u, v;
};
constexpr DWORD kLitFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;

// A bumpy grid in front of the camera: coordinates on a 1/64 grid and a projection of short
// binary fractions, so that positions come out the same to the bit both ways.
std::vector<LitVertex> LitMesh() {
    std::vector<LitVertex> tris;
    const int n = 8;
    auto vertex = [&](int i, int j) {
        LitVertex v;
        v.x = (i - n / 2) / 4.0f;
        v.y = (j - n / 2) / 4.0f;
        v.z = 2.0f + ((i * 3 + j * 5) % 7) / 64.0f;
        float nx = std::sin(i * 0.7f), ny = std::cos(j * 0.9f), nz = -1.5f;
        float len = std::sqrt(nx * nx + ny * ny + nz * nz);
        v.nx = nx / len, v.ny = ny / len, v.nz = nz / len;
        v.diffuse = 0xFF000000u | ((37u * i + 11u * j) % 256u) << 16 |
                    ((91u * j + 7u * i) % 256u) << 8 | ((200u + 13u * i) % 256u);
        v.u = i / float(n);
        v.v = j / float(n);
        return v;
    };
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            tris.push_back(vertex(i, j));
            tris.push_back(vertex(i + 1, j));
            tris.push_back(vertex(i, j + 1));
            tris.push_back(vertex(i + 1, j));
            tris.push_back(vertex(i + 1, j + 1));
            tris.push_back(vertex(i, j + 1));
        }
    }
    return tris;
}

D3DMATRIX Projection() {
    D3DMATRIX p{};
    p._11 = 1.5f;
    p._22 = 2.0f;
    p._33 = 1.0625f;
    p._34 = 1.0f;
    p._43 = -0.5f;
    return p;
}

class ShaderPipelineTest : public ShaderDeviceTest {
  protected:
    std::vector<uint32_t> Pixels() {
        std::vector<uint32_t> out;
        for (int y = 0; y < 48; ++y) {
            for (int x = 0; x < 64; ++x)
                out.push_back(platform::ReadD3D9BackBufferPixel(device_, x, y) & 0xFFFFFFu);
        }
        return out;
    }

    void Clear() {
        ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF102030u, 1, 0), D3D_OK);
    }

    IDirect3DVertexShader9* MakeVertexShader(const std::vector<uint32_t>& tokens) {
        IDirect3DVertexShader9* vs = nullptr;
        EXPECT_EQ(device_->CreateVertexShader(tokens.data(), &vs), D3D_OK);
        return vs;
    }
    IDirect3DPixelShader9* MakePixelShader(const std::vector<uint32_t>& tokens) {
        IDirect3DPixelShader9* ps = nullptr;
        EXPECT_EQ(device_->CreatePixelShader(tokens.data(), &ps), D3D_OK);
        return ps;
    }

    IDirect3DTexture9* Checker(int size) {
        IDirect3DTexture9* tex = nullptr;
        EXPECT_EQ(device_->CreateTexture(size, size, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex,
                                         nullptr),
                  D3D_OK);
        D3DLOCKED_RECT r;
        EXPECT_EQ(tex->LockRect(0, &r, nullptr, 0), D3D_OK);
        for (int y = 0; y < size; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(r.pBits) + y * r.Pitch);
            for (int x = 0; x < size; ++x)
                row[x] = 0x80000000u | ((x * 53 + y * 17) & 255) << 16 |
                         ((x * 11 + y * 97) & 255) << 8 | ((x ^ y) * 29 & 255) | (x & 1) << 30;
        }
        tex->UnlockRect(0);
        return tex;
    }
};

// The fixed pipeline's transform and one directional light, with the vertex colour as the
// diffuse material and the global ambient times the material's ambient:
//   c0..c3  columns of world x view x projection;  c4..c6 rows... of the normal matrix
//   c7      the unit vector to the light;  c8 (0, 1, 0, 0);  c9 the light's diffuse;
//   c10     global ambient x material ambient
std::vector<uint32_t> LitVertexShader() {
    ShaderBuilder b = ShaderBuilder::Vertex();
    b.DclInput(kUsagePosition, 0, V(0));
    b.DclInput(kUsageNormal, 0, V(1));
    b.DclInput(kUsageColor, 0, V(2));
    b.DclInput(kUsageTexCoord, 0, V(3));
    b.Emit(kOpM4x4, OPos(), {V(0), C(0)});
    b.Emit(kOpM3x3, R(0).Mask("xyz"), {V(1), C(4)});
    b.Emit(kOpDp3, R(1).Mask("x"), {R(0), C(7)});
    b.Emit(kOpMax, R(1).Mask("x"), {R(1), C(8).Swz("x")});
    b.Emit(kOpMul, R(2), {V(2), C(9)});
    b.Emit(kOpMad, OD(0).Mask("xyz").Sat(), {R(2), R(1).Swz("x"), C(10)});
    b.Emit(kOpMov, OD(0).Mask("w"), {V(2)});
    b.Emit(kOpMov, OT(0), {V(3)});
    return b.Finish();
}

TEST_F(ShaderPipelineTest, VertexShaderMatchesTheFixedTransformAndLight) {
    std::vector<LitVertex> mesh = LitMesh();
    D3DMATRIX id = d3d9test::Identity(), proj = Projection();
    device_->SetTransform(D3DTS_WORLD, &id);
    device_->SetTransform(D3DTS_VIEW, &id);
    device_->SetTransform(D3DTS_PROJECTION, &proj);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device_->SetRenderState(D3DRS_AMBIENT, 0x00303030u);
    D3DMATERIAL9 material{};
    material.Ambient = {0.5f, 0.75f, 1.0f, 1.0f};
    device_->SetMaterial(&material);
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {0.9f, 0.8f, 0.7f, 1.0f};
    light.Direction = {0.48f, -0.6f, 0.64f};  // unit length
    device_->SetLight(0, &light);
    device_->LightEnable(0, TRUE);
    device_->SetFVF(kLitFvf);
    Clear();
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, mesh.size() / 3, mesh.data(),
                                       sizeof(LitVertex)),
              D3D_OK);
    std::vector<uint32_t> fixed = Pixels();

    // Columns of the projection (world and view are identity); the normal matrix is identity.
    const float constants[11][4] = {
        {proj._11, proj._21, proj._31, proj._41},
        {proj._12, proj._22, proj._32, proj._42},
        {proj._13, proj._23, proj._33, proj._43},
        {proj._14, proj._24, proj._34, proj._44},
        {1, 0, 0, 0},
        {0, 1, 0, 0},
        {0, 0, 1, 0},
        {-0.48f, 0.6f, -0.64f, 0},
        {0, 1, 0, 0},
        {0.9f, 0.8f, 0.7f, 1.0f},
        {0.5f * 0x30 / 255.0f, 0.75f * 0x30 / 255.0f, 1.0f * 0x30 / 255.0f, 0}};
    ASSERT_EQ(device_->SetVertexShaderConstantF(0, &constants[0][0], 11), D3D_OK);
    IDirect3DVertexShader9* vs = MakeVertexShader(LitVertexShader());
    ASSERT_EQ(device_->SetVertexShader(vs), D3D_OK);
    int covered = 0;
    for (int pass = 0; pass < 2; ++pass) {
        IDirect3DVertexDeclaration9* decl = nullptr;
        if (pass == 1) {
            const D3DVERTEXELEMENT9 elements[] = {
                {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
                {0, 12, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
                {0, 24, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
                {0, 28, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
                D3DDECL_END()};
            ASSERT_EQ(device_->CreateVertexDeclaration(elements, &decl), D3D_OK);
            ASSERT_EQ(device_->SetVertexDeclaration(decl), D3D_OK);
        }
        Clear();
        ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, mesh.size() / 3, mesh.data(),
                                           sizeof(LitVertex)),
                  D3D_OK);
        std::vector<uint32_t> shaded = Pixels();
        covered = 0;
        int exact = 0;
        for (size_t i = 0; i < fixed.size(); ++i) {
            if (fixed[i] != 0x102030u)
                ++covered;
            if (fixed[i] == shaded[i])
                ++exact;
            for (int c = 0; c < 3; ++c) {
                int a = (fixed[i] >> (8 * c)) & 255, s = (shaded[i] >> (8 * c)) & 255;
                ASSERT_LE(std::abs(a - s), 1)
                    << "pass " << pass << " pixel " << i % 64 << "," << i / 64 << std::hex
                    << " fixed " << fixed[i] << " shader " << shaded[i];
            }
        }
        EXPECT_GT(exact, static_cast<int>(fixed.size()) * 9 / 10);
        if (decl != nullptr)
            decl->Release();
    }
    EXPECT_GT(covered, 1500);  // the mesh covers most of the target
    // A null shader returns to transform and lighting: the fixed picture to the bit.
    ASSERT_EQ(device_->SetVertexShader(nullptr), D3D_OK);
    ASSERT_EQ(device_->SetFVF(kLitFvf), D3D_OK);
    Clear();
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, mesh.size() / 3, mesh.data(),
                                       sizeof(LitVertex)),
              D3D_OK);
    EXPECT_TRUE(Pixels() == fixed);
    vs->Release();
}

struct ScreenVertex {
    float x, y, z, rhw;
    DWORD diffuse;
    float u, v;
};
constexpr DWORD kScreenFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

std::vector<ScreenVertex> ScreenTriangles() {
    // A fan of triangles with different colours and a perspective mapping (rhw varies).
    std::vector<ScreenVertex> v;
    const float cx = 31.3f, cy = 23.7f;
    for (int k = 0; k < 12; ++k) {
        float a0 = k * 0.5236f, a1 = (k + 1) * 0.5236f;
        DWORD c = 0xFF000000u | (k * 20u) << 16 | (255u - k * 15u) << 8 | (k * 7u + 40u);
        v.push_back({cx, cy, 0.5f, 1.0f, 0xFFFFFFFFu, 0.5f, 0.5f});
        v.push_back({cx + 40 * std::cos(a0), cy + 30 * std::sin(a0), 0.25f, 0.5f, c,
                     0.5f + std::cos(a0), 0.5f + std::sin(a0)});
        v.push_back({cx + 40 * std::cos(a1), cy + 30 * std::sin(a1), 0.75f, 2.0f, 0x80FF8040u,
                     0.5f + std::cos(a1), 0.5f + std::sin(a1)});
    }
    return v;
}

TEST_F(ShaderPipelineTest, PixelShaderModulatingATextureEqualsTheFixedStage) {
    std::vector<ScreenVertex> tris = ScreenTriangles();
    IDirect3DTexture9* tex = Checker(16);
    device_->SetTexture(0, tex);
    device_->SetFVF(kScreenFvf);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    IDirect3DPixelShader9* ps = MakePixelShader(ModulatePixelShader());
    struct Setting {
        DWORD filter;
        bool blend;
        bool fog;
    };
    const Setting kSettings[] = {{D3DTEXF_POINT, false, false},
                                 {D3DTEXF_LINEAR, false, false},
                                 {D3DTEXF_LINEAR, true, false},
                                 {D3DTEXF_POINT, true, true}};
    for (const Setting& st : kSettings) {
        device_->SetSamplerState(0, D3DSAMP_MAGFILTER, st.filter);
        device_->SetSamplerState(0, D3DSAMP_MINFILTER, st.filter);
        device_->SetRenderState(D3DRS_ALPHABLENDENABLE, st.blend);
        device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        device_->SetRenderState(D3DRS_FOGENABLE, st.fog);
        device_->SetRenderState(D3DRS_FOGCOLOR, 0x00336699u);
        device_->SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_LINEAR);
        device_->SetRenderState(D3DRS_FOGSTART, d3d9test::FloatBits(0.2f));
        device_->SetRenderState(D3DRS_FOGEND, d3d9test::FloatBits(0.9f));
        device_->SetPixelShader(nullptr);  // back to the stages after the last setting's shader
        Clear();
        platform::ResetRasterRouteCounts();
        ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, tris.size() / 3, tris.data(),
                                           sizeof(ScreenVertex)),
                  D3D_OK);
        EXPECT_EQ(platform::RasterRouteCount(platform::RasterRoute::kShaderBlocks), 0u);
        std::vector<uint32_t> fixed = Pixels();
        ASSERT_EQ(device_->SetPixelShader(ps), D3D_OK);
        Clear();
        platform::ResetRasterRouteCounts();
        ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, tris.size() / 3, tris.data(),
                                           sizeof(ScreenVertex)),
                  D3D_OK);
        EXPECT_EQ(platform::RasterRouteCount(platform::RasterRoute::kShaderBlocks), 12u);
        std::vector<uint32_t> shaded = Pixels();
        int differing = 0;
        for (size_t i = 0; i < fixed.size(); ++i)
            differing += fixed[i] != shaded[i];
        EXPECT_EQ(differing, 0) << "filter " << st.filter << " blend " << st.blend << " fog "
                                << st.fog;
    }
    device_->SetPixelShader(nullptr);
    device_->SetTexture(0, nullptr);
    ps->Release();
    tex->Release();
}

// Reads its texture from sampler `sampler` with the coordinates of t0.
std::vector<uint32_t> ModulateFromSamplerShader(uint32_t sampler) {
    ShaderBuilder b = ShaderBuilder::Pixel();
    b.DclPixelInput(T(0));
    b.DclPixelInput(V(0));
    b.DclSampler(sampler);
    b.Emit(kOpTex, R(0), {T(0), S(sampler)});
    b.Emit(kOpMul, OC(0), {R(0), V(0)});
    return b.Finish();
}

// Every sampler a ps_2_0 may name reads the texture and sampler states of its own number, past
// the four stages the fixed path runs: the pixels equal the stage program's with the texture on
// stage 0, while stage 0 holds another texture.
TEST_F(ShaderPipelineTest, EverySamplerOfAPixelShaderReadsItsOwnTexture) {
    std::vector<ScreenVertex> tris = ScreenTriangles();
    IDirect3DTexture9* tex = Checker(16);
    IDirect3DTexture9* other = Checker(4);
    device_->SetFVF(kScreenFvf);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device_->SetPixelShader(nullptr);
    device_->SetTexture(0, tex);
    device_->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    Clear();
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, tris.size() / 3, tris.data(),
                                       sizeof(ScreenVertex)),
              D3D_OK);
    const std::vector<uint32_t> fixed = Pixels();
    for (uint32_t sampler : {3u, 4u, 5u, 8u, 15u}) {
        IDirect3DPixelShader9* ps = MakePixelShader(ModulateFromSamplerShader(sampler));
        device_->SetTexture(0, other);
        device_->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
        device_->SetTexture(sampler, tex);
        device_->SetSamplerState(sampler, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
        ASSERT_EQ(device_->SetPixelShader(ps), D3D_OK);
        Clear();
        ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, tris.size() / 3, tris.data(),
                                           sizeof(ScreenVertex)),
                  D3D_OK);
        const std::vector<uint32_t> shaded = Pixels();
        int differing = 0;
        for (size_t i = 0; i < fixed.size(); ++i)
            differing += fixed[i] != shaded[i];
        EXPECT_EQ(differing, 0) << "sampler " << sampler;
        device_->SetPixelShader(nullptr);
        device_->SetTexture(sampler, nullptr);
        device_->SetSamplerState(sampler, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
        ps->Release();
    }
    device_->SetTexture(0, nullptr);
    other->Release();
    tex->Release();
}

TEST_F(ShaderPipelineTest, PixelShaderTakesMipLevelsAsTheFixedStageDoes) {
    // A 32x32 chain of six levels, each level its own colours, drawn minified by a perspective
    // fan (the level of detail changes across every triangle).
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(device_->CreateTexture(32, 32, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr),
              D3D_OK);
    for (DWORD level = 0, side = 32; level < tex->GetLevelCount(); ++level, side /= 2) {
        D3DLOCKED_RECT r;
        ASSERT_EQ(tex->LockRect(level, &r, nullptr, 0), D3D_OK);
        for (DWORD y = 0; y < side; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(r.pBits) + y * r.Pitch);
            for (DWORD x = 0; x < side; ++x)
                row[x] = (level * 40u) << 16 | ((x * 37 + y * 11) & 255) << 8 | (255 - level * 40);
        }
        tex->UnlockRect(level);
    }
    std::vector<ScreenVertex> tris = ScreenTriangles();
    for (ScreenVertex& v : tris) {
        v.u *= 6.0f;
        v.v *= 5.0f;
    }
    device_->SetTexture(0, tex);
    device_->SetFVF(kScreenFvf);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device_->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device_->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    Clear();
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, tris.size() / 3, tris.data(),
                                       sizeof(ScreenVertex)),
              D3D_OK);
    std::vector<uint32_t> fixed = Pixels();
    IDirect3DPixelShader9* ps = MakePixelShader(ModulatePixelShader());
    ASSERT_EQ(device_->SetPixelShader(ps), D3D_OK);
    Clear();
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, tris.size() / 3, tris.data(),
                                       sizeof(ScreenVertex)),
              D3D_OK);
    std::vector<uint32_t> shaded = Pixels();
    // Bands of rows on four threads give the same pixels.
    platform::SetRasterThreadCount(4);
    Clear();
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, tris.size() / 3, tris.data(),
                                       sizeof(ScreenVertex)),
              D3D_OK);
    platform::SetRasterThreadCount(0);
    EXPECT_TRUE(Pixels() == shaded);
    int differing = 0, deepLevels = 0;
    for (size_t i = 0; i < fixed.size(); ++i) {
        differing += fixed[i] != shaded[i];
        deepLevels += ((fixed[i] >> 16) & 255) >= 40;  // red shows levels past the first
    }
    EXPECT_EQ(differing, 0);
    EXPECT_GT(deepLevels, 200);
    device_->SetPixelShader(nullptr);
    device_->SetTexture(0, nullptr);
    ps->Release();
    tex->Release();
}

TEST_F(ShaderPipelineTest, PointsAndLinesRunThePixelShader) {
    ShaderBuilder b = ShaderBuilder::Pixel();
    b.DclPixelInput(V(0));
    b.DclPixelInput(T(0));
    b.Emit(kOpMul, R(0), {V(0), C(0)});
    b.Emit(kOpAdd, OC(0), {R(0), T(0).Swz("zzzx")});  // t0.x into alpha only
    IDirect3DPixelShader9* ps = MakePixelShader(b.Finish());
    const float tint[4] = {1.0f, 0.5f, 0.25f, 1.0f};
    ASSERT_EQ(device_->SetPixelShaderConstantF(0, tint, 1), D3D_OK);
    ASSERT_EQ(device_->SetPixelShader(ps), D3D_OK);
    device_->SetFVF(kScreenFvf);
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1, 0), D3D_OK);
    ScreenVertex point = {10, 10, 0.5f, 1, 0xFF804020u, 0, 0};
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &point, sizeof point), D3D_OK);
    ScreenVertex line[2] = {{5, 20, 0.5f, 1, 0xFF804020u, 0, 0},
                            {30, 20, 0.5f, 1, 0xFF804020u, 0, 0}};
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_LINELIST, 1, line, sizeof(ScreenVertex)), D3D_OK);
    // (0x80, 0x40 x 0.5, 0x20 x 0.25): 128, 32, 8.
    EXPECT_EQ(platform::ReadD3D9BackBufferPixel(device_, 10, 10) & 0xFFFFFFu, 0x802008u);
    EXPECT_EQ(platform::ReadD3D9BackBufferPixel(device_, 5, 20) & 0xFFFFFFu, 0x802008u);
    EXPECT_EQ(platform::ReadD3D9BackBufferPixel(device_, 29, 20) & 0xFFFFFFu, 0x802008u);
    EXPECT_EQ(platform::ReadD3D9BackBufferPixel(device_, 4, 20) & 0xFFFFFFu, 0u);
    device_->SetPixelShader(nullptr);
    ps->Release();
}

TEST_F(ShaderPipelineTest, OFogIsTheVertexFogFactor) {
    // Clip-space vertices straight through; colour c0, fog factor c1.x = 0.25, so alpha 64 of
    // 255: each channel round((c 64 + fog 191) / 255) with the fog colour red.
    ShaderBuilder b = ShaderBuilder::Vertex();
    b.DclInput(kUsagePosition, 0, V(0));
    b.Emit(kOpMov, OPos(), {V(0)});
    b.Emit(kOpMov, OD(0), {C(0)});
    b.Emit(kOpMov, OFog().Mask("x"), {C(1).Swz("x")});
    IDirect3DVertexShader9* vs = MakeVertexShader(b.Finish());
    const float constants[2][4] = {{0, 1, 0, 1}, {0.25f, 0, 0, 0}};
    ASSERT_EQ(device_->SetVertexShaderConstantF(0, &constants[0][0], 2), D3D_OK);
    ASSERT_EQ(device_->SetVertexShader(vs), D3D_OK);
    device_->SetFVF(D3DFVF_XYZ);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    device_->SetRenderState(D3DRS_FOGENABLE, TRUE);
    device_->SetRenderState(D3DRS_FOGCOLOR, 0x00FF0000u);
    device_->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    const float quad[6][3] = {{-1, 1, 0.5f}, {1, 1, 0.5f},  {-1, -1, 0.5f},
                              {1, 1, 0.5f},  {1, -1, 0.5f}, {-1, -1, 0.5f}};
    ShaderBuilder p = ShaderBuilder::Pixel();
    p.DclPixelInput(V(0));
    p.Emit(kOpMov, OC(0), {V(0)});
    IDirect3DPixelShader9* ps = MakePixelShader(p.Finish());
    for (IDirect3DPixelShader9* pixel : {static_cast<IDirect3DPixelShader9*>(nullptr), ps}) {
        ASSERT_EQ(device_->SetPixelShader(pixel), D3D_OK);
        ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1, 0), D3D_OK);
        ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, quad, sizeof quad[0]), D3D_OK);
        EXPECT_EQ(platform::ReadD3D9BackBufferPixel(device_, 20, 20) & 0xFFFFFFu, 0xBF4000u)
            << (pixel != nullptr ? "pixel shader" : "stages");
    }
    device_->SetPixelShader(nullptr);
    device_->SetVertexShader(nullptr);
    ps->Release();
    vs->Release();
}

TEST_F(ShaderPipelineTest, TexkillDropsPixelsAndDepthStillTests) {
    IDirect3DSurface9* depth = nullptr;
    ASSERT_EQ(device_->CreateDepthStencilSurface(64, 48, D3DFMT_D16, D3DMULTISAMPLE_NONE, 0, FALSE,
                                                 &depth, nullptr),
              D3D_OK);
    device_->SetDepthStencilSurface(depth);
    device_->SetRenderState(D3DRS_ZENABLE, TRUE);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);
    // Kill where u - 0.5 < 0: the left half of a full-screen quad at depth 0.5.
    ShaderBuilder b = ShaderBuilder::Pixel();
    b.Def(0, -0.5f, 0, 0, 0);
    b.Def(1, 1, 0.5f, 0.25f, 1);
    b.DclPixelInput(T(0));
    b.Emit(kOpAdd, R(0), {T(0).Swz("xxxx"), C(0).Swz("x")});
    b.Emit(kOpTexKill, R(0), {});
    b.Emit(kOpMov, OC(0), {C(1)});
    IDirect3DPixelShader9* ps = MakePixelShader(b.Finish());
    device_->SetPixelShader(ps);
    device_->SetFVF(kScreenFvf);
    auto quad = [&](float z) {
        ScreenVertex q[6] = {{0, 0, z, 1, 0, 0, 0},   {64, 0, z, 1, 0, 1, 0},
                             {0, 48, z, 1, 0, 0, 1},  {64, 0, z, 1, 0, 1, 0},
                             {64, 48, z, 1, 0, 1, 1}, {0, 48, z, 1, 0, 0, 1}};
        ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, q, sizeof(ScreenVertex)), D3D_OK);
    };
    quad(0.5f);
    EXPECT_EQ(platform::ReadD3D9BackBufferPixel(device_, 10, 20) & 0xFFFFFFu, 0u);
    EXPECT_EQ(platform::ReadD3D9BackBufferPixel(device_, 40, 20) & 0xFFFFFFu, 0xFF8040u);
    // Behind the written half nothing lands; in front of the killed half it does.
    device_->SetPixelShader(nullptr);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    ScreenVertex back[3] = {{0, 0, 0.75f, 1, 0xFF0000FFu, 0, 0},
                            {128, 0, 0.75f, 1, 0xFF0000FFu, 0, 0},
                            {0, 96, 0.75f, 1, 0xFF0000FFu, 0, 0}};
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, back, sizeof(ScreenVertex)), D3D_OK);
    EXPECT_EQ(platform::ReadD3D9BackBufferPixel(device_, 10, 20) & 0xFFFFFFu, 0x0000FFu);
    EXPECT_EQ(platform::ReadD3D9BackBufferPixel(device_, 40, 20) & 0xFFFFFFu, 0xFF8040u);
    device_->SetDepthStencilSurface(nullptr);
    depth->Release();
    ps->Release();
}

// Skinning: each vertex blends two bones of a palette (three rows of c10.. per bone) by its
// UBYTE4 indices and FLOAT4 weights; points show where each vertex lands.
TEST_F(ShaderPipelineTest, SkinningThroughTheAddressRegister) {
    struct SkinVertex {
        float x, y, z;
        float w[4];
        uint8_t index[4];
    };
    const D3DVERTEXELEMENT9 elements[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
        {0, 12, D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_BLENDWEIGHT, 0},
        {0, 28, D3DDECLTYPE_UBYTE4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_BLENDINDICES, 0},
        D3DDECL_END()};
    IDirect3DVertexDeclaration9* decl = nullptr;
    ASSERT_EQ(device_->CreateVertexDeclaration(elements, &decl), D3D_OK);
    ShaderBuilder b = ShaderBuilder::Vertex();
    b.Def(0, 0, 1, 0, 3);
    b.DclInput(kUsagePosition, 0, V(0));
    b.DclInput(kUsageBlendWeight, 0, V(1));
    b.DclInput(kUsageBlendIndices, 0, V(2));
    b.Emit(kOpMul, R(0), {V(2), C(0).Swz("w")});
    b.Emit(kOpMova, A0().Mask("xy"), {R(0)});
    b.Emit(kOpMov, R(1), {V(0)});
    b.Emit(kOpMov, R(1).Mask("w"), {C(0).Swz("y")});
    for (int bone = 0; bone < 2; ++bone) {
        for (int row = 0; row < 3; ++row)
            b.Emit(kOpDp4, R(2 + bone).Mask(row == 0 ? "x" : (row == 1 ? "y" : "z")),
                   {R(1), C(10 + row).RelA0(bone)});
    }
    b.Emit(kOpMul, R(4).Mask("xyz"), {R(2), V(1).Swz("x")});
    b.Emit(kOpMad, R(4).Mask("xyz"), {R(3), V(1).Swz("y"), R(4)});
    b.Emit(kOpMov, R(4).Mask("w"), {C(0).Swz("y")});
    b.Emit(kOpMov, OPos(), {R(4)});
    b.Emit(kOpMov, OD(0), {C(1)});
    IDirect3DVertexShader9* vs = MakeVertexShader(b.Finish());
    // Bone k translates by (k / 8, -k / 16, 0); c1 is the colour.
    std::vector<float> palette(4 * 30, 0.0f);
    for (int k = 0; k < 10; ++k) {
        for (int row = 0; row < 3; ++row)
            palette[4 * (3 * k + row) + row] = 1.0f;
        palette[4 * (3 * k) + 3] = k / 8.0f;
        palette[4 * (3 * k + 1) + 3] = -k / 16.0f;
    }
    ASSERT_EQ(device_->SetVertexShaderConstantF(10, palette.data(), 30), D3D_OK);
    const float white[4] = {1, 1, 1, 1};
    ASSERT_EQ(device_->SetVertexShaderConstantF(1, white, 1), D3D_OK);
    device_->SetVertexDeclaration(decl);
    device_->SetVertexShader(vs);
    const SkinVertex points[] = {
        {-0.5f, 0.5f, 0.5f, {1, 0, 0, 0}, {2, 0, 0, 0}},         // bone 2: (-0.25, 0.375)
        {-0.5f, 0.0f, 0.5f, {0.5f, 0.5f, 0, 0}, {0, 8, 0, 0}},   // half 0, half 8: (0, -0.25)
        {0.0f, 0.5f, 0.5f, {0.25f, 0.75f, 0, 0}, {4, 1, 0, 0}},  // (0.25*0.5+0.75*0.125, ...)
    };
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1, 0), D3D_OK);
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_POINTLIST, 3, points, sizeof(SkinVertex)), D3D_OK);
    // Screen: x' = (1 + x) 32, y' = (1 - y) 24, lit at floor(+ 0.5).
    struct Where {
        float x, y;
    };
    const Where kExpected[] = {{-0.25f, 0.375f},
                               {0.0f, -0.25f},
                               {0.25f * 0.5f + 0.75f * 0.125f, 0.5f - 0.25f * 0.25f - 0.75f / 16}};
    int lit = 0;
    for (const Where& w : kExpected) {
        int px = static_cast<int>(std::floor((1 + w.x) * 32 + 0.5f));
        int py = static_cast<int>(std::floor((1 - w.y) * 24 + 0.5f));
        EXPECT_EQ(platform::ReadD3D9BackBufferPixel(device_, px, py) & 0xFFFFFFu, 0xFFFFFFu)
            << w.x << "," << w.y;
    }
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x)
            lit += (platform::ReadD3D9BackBufferPixel(device_, x, y) & 0xFFFFFFu) != 0;
    }
    EXPECT_EQ(lit, 3);
    device_->SetVertexShader(nullptr);
    device_->SetVertexDeclaration(nullptr);
    vs->Release();
    decl->Release();
}

}  // namespace
