// The device's draw calls: the library's vertex formats, every primitive type, indexed draws,
// untransformed vertices, the call trace and the lost switch.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "d3d9_fixture.h"
#include "platform/d3d9/raster_draw.h"
#include "platform/d3d9/raster_kernels.h"

namespace {

using d3d9test::DeviceTest;

constexpr DWORD kFvfColor2D = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;              // stride 20
constexpr DWORD kFvfTex2D = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;  // stride 28
constexpr DWORD kFvfTex2D2 = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2;
constexpr DWORD kFvfTex3D = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;  // stride 24

struct Color2D {
    float x, y, z, rhw;
    DWORD colour;
};
struct Tex2D {
    float x, y, z, rhw;
    DWORD colour;
    float u, v;
};
struct Tex2D2 {
    float x, y, z, rhw;
    DWORD colour, specular;
    float u1, v1, u2, v2;
};
struct Tex3D {
    float x, y, z;
    DWORD colour;
    float u, v;
};
static_assert(sizeof(Color2D) == 20 && sizeof(Tex2D) == 28 && sizeof(Tex2D2) == 40 &&
              sizeof(Tex3D) == 24);

class DrawTest : public DeviceTest {
  protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_NE(device_, nullptr);
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
        ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0), D3D_OK);
    }
    uint32_t Pixel(int x, int y) { return platform::ReadD3D9BackBufferPixel(device_, x, y); }

    // An 8x4 A8R8G8B8 texture whose texel (x, y) is 0xFF000000 | x << 16 | y << 8 | 0x40.
    IDirect3DTexture9* MakeTexture() {
        IDirect3DTexture9* tex = nullptr;
        EXPECT_EQ(
            device_->CreateTexture(8, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr),
            D3D_OK);
        D3DLOCKED_RECT locked;
        EXPECT_EQ(tex->LockRect(0, &locked, nullptr, 0), D3D_OK);
        for (int y = 0; y < 4; ++y) {
            auto* row =
                reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch);
            for (int x = 0; x < 8; ++x)
                row[x] = Texel(x, y);
        }
        EXPECT_EQ(tex->UnlockRect(0), D3D_OK);
        return tex;
    }
    static uint32_t Texel(int x, int y) {
        return 0xFF000000u | (static_cast<uint32_t>(x * 16) << 16) | (y * 32 << 8) | 0x40;
    }
    void UseTextureOnly(IDirect3DTexture9* tex) {
        device_->SetTexture(0, tex);
        device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        device_->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    }
};

TEST_F(DrawTest, ColourBoxInTheLibrarysQuadLayout) {
    device_->SetFVF(kFvfColor2D);
    device_->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    const DWORD red = 0xFFFF0000u;
    // Colour only in the first vertex of each triangle, as the batch writes it.
    Color2D v[6] = {{10, 5, 0.2f, 1, red}, {20, 5, 0.2f, 1, 0}, {10, 9, 0.2f, 1, 0},
                    {20, 9, 0.2f, 1, red}, {10, 9, 0.2f, 1, 0}, {20, 5, 0.2f, 1, 0}};
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, v, sizeof(Color2D)), D3D_OK);
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x) {
            bool inside = x >= 10 && x < 20 && y >= 5 && y < 9;
            ASSERT_EQ(Pixel(x, y), inside ? red : 0xFF000000u) << x << "," << y;
        }
    }
}

// The library's box outline: four one-pixel bands of six vertices each at whole coordinates.
TEST_F(DrawTest, BoxOutlineBandsCoverTheBorderOnce) {
    device_->SetFVF(kFvfColor2D);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    const DWORD c = 0xFF101010u;
    auto band = [&](std::vector<Color2D>* v, float x1, float y1, float x2, float y2) {
        const float q[6][2] = {{x1, y1}, {x2, y1}, {x1, y2}, {x2, y2}, {x1, y2}, {x2, y1}};
        for (const auto& p : q)
            v->push_back({p[0], p[1], 0, 1, c});
    };
    std::vector<Color2D> v;
    const float x1 = 0, y1 = 0, x2 = 4, y2 = 3;
    band(&v, x1, y1, x2, y1 + 1);          // top
    band(&v, x2 - 1, y1 + 1, x2, y2);      // right
    band(&v, x1, y1 + 1, x1 + 1, y2);      // left
    band(&v, x1 + 1, y2 - 1, x2 - 1, y2);  // bottom
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 8, v.data(), 20), D3D_OK);
    int lit = 0;
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 6; ++x) {
            uint32_t p = Pixel(x, y) & 0xFFFFFF;
            ASSERT_TRUE(p == 0 || p == 0x101010) << x << "," << y;
            lit += p != 0;
        }
    }
    EXPECT_EQ(lit, 10);
    EXPECT_EQ(Pixel(1, 1) & 0xFFFFFF, 0u);
    EXPECT_EQ(Pixel(2, 1) & 0xFFFFFF, 0u);
}

// Subtraction without the blend operation: invert the destination, add, invert again.
TEST_F(DrawTest, SubtractByInvertedDestinationPasses) {
    device_->SetFVF(kFvfColor2D);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFFFFFFu, 1.0f, 0), D3D_OK);
    D3DRECT second = {1, 0, 2, 1};
    ASSERT_EQ(device_->Clear(1, &second, D3DCLEAR_TARGET, 0xFF1A1A1Au, 1.0f, 0), D3D_OK);
    auto box = [&](DWORD colour) {
        Color2D v[4] = {
            {0, 0, 0, 1, colour}, {2, 0, 0, 1, colour}, {0, 1, 0, 1, colour}, {2, 1, 0, 1, colour}};
        ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, 20), D3D_OK);
    };
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_INVDESTCOLOR);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    box(0xFFFFFFFFu);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    Color2D p[2] = {{0, 0, 0, 1, 0xFF404040u}, {1, 0, 0, 1, 0xFF808080u}};
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_POINTLIST, 2, p, 20), D3D_OK);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_INVDESTCOLOR);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    box(0xFFFFFFFFu);
    EXPECT_EQ(Pixel(0, 0), 0xFFBFBFBFu);  // 1.0 - 0.25 = 0.75
    EXPECT_EQ(Pixel(1, 0), 0xFF000000u);  // 0.1 - 0.5 stops at 0
}

TEST_F(DrawTest, TexturedImageAtHalfPixelShowsEveryTexel) {
    IDirect3DTexture9* tex = MakeTexture();
    UseTextureOnly(tex);
    device_->SetFVF(kFvfTex2D);
    float x0 = 30 - 0.5f, y0 = 20 - 0.5f, x1 = x0 + 8, y1 = y0 + 4;
    Tex2D v[6] = {{x0, y0, 0, 1, 0xFFFFFFFF, 0, 0}, {x1, y0, 0, 1, 0xFFFFFFFF, 1, 0},
                  {x0, y1, 0, 1, 0xFFFFFFFF, 0, 1}, {x1, y1, 0, 1, 0xFFFFFFFF, 1, 1},
                  {x0, y1, 0, 1, 0xFFFFFFFF, 0, 1}, {x1, y0, 0, 1, 0xFFFFFFFF, 1, 0}};
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, v, sizeof(Tex2D)), D3D_OK);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(Pixel(30 + x, 20 + y), Texel(x, y)) << x << "," << y;
    }
    EXPECT_EQ(Pixel(29, 20), 0xFF000000u);
    EXPECT_EQ(Pixel(38, 20), 0xFF000000u);
    device_->SetTexture(0, nullptr);
    tex->Release();
}

// The device keeps its own copy of the states for the rasteriser: a render, stage or sampler
// state set between two draws of the same quad must reach the second.
TEST_F(DrawTest, EachKindOfStateSetBetweenTwoDrawsReachesTheSecond) {
    IDirect3DTexture9* tex = MakeTexture();
    device_->SetFVF(kFvfTex2D);
    // 16 x 4 pixels from (30, 20), u from 0 to 2: column 8 + x reads texel x while wrapping.
    float x0 = 30 - 0.5f, y0 = 20 - 0.5f, x1 = x0 + 16, y1 = y0 + 4;
    const DWORD diffuse = 0xFF336699u;
    Tex2D v[6] = {{x0, y0, 0, 1, diffuse, 0, 0}, {x1, y0, 0, 1, diffuse, 2, 0},
                  {x0, y1, 0, 1, diffuse, 0, 1}, {x1, y1, 0, 1, diffuse, 2, 1},
                  {x0, y1, 0, 1, diffuse, 0, 1}, {x1, y0, 0, 1, diffuse, 2, 0}};
    struct Case {
        const char* name;
        void (*change)(IDirect3DDevice9*);
        uint32_t after;  // pixel (41, 21): column 11 of the quad, row 1
    };
    const uint32_t cleared = 0xFF0000FFu;
    const Case cases[] = {
        {"alpha test that passes nothing",
         [](IDirect3DDevice9* d) {
             d->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
             d->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_NEVER);
         },
         cleared},
        {"colour from the diffuse",
         [](IDirect3DDevice9* d) { d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE); },
         diffuse},
        {"clamped addressing",
         [](IDirect3DDevice9* d) { d->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP); },
         Texel(7, 1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UseTextureOnly(tex);
        device_->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
        device_->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
        device_->Clear(0, nullptr, D3DCLEAR_TARGET, cleared, 1.0f, 0);
        ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, v, sizeof(Tex2D)), D3D_OK);
        EXPECT_EQ(Pixel(41, 21), Texel(3, 1));
        c.change(device_);
        device_->Clear(0, nullptr, D3DCLEAR_TARGET, cleared, 1.0f, 0);
        ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, v, sizeof(Tex2D)), D3D_OK);
        EXPECT_EQ(Pixel(41, 21), c.after);
    }
    device_->SetTexture(0, nullptr);
    tex->Release();
}

TEST_F(DrawTest, DxtTextureIsSampledAsDecodedAndFollowsNewBlocks) {
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &tex, nullptr),
              D3D_OK);
    auto fill = [&](uint16_t c0, uint16_t c1, uint32_t indices) {
        D3DLOCKED_RECT locked;
        ASSERT_EQ(tex->LockRect(0, &locked, nullptr, 0), D3D_OK);
        auto* b = static_cast<uint8_t*>(locked.pBits);
        b[0] = c0 & 0xFF, b[1] = c0 >> 8, b[2] = c1 & 0xFF, b[3] = c1 >> 8;
        std::memcpy(b + 4, &indices, 4);
        ASSERT_EQ(tex->UnlockRect(0), D3D_OK);
    };
    fill(0xF800, 0x001F, 0xE4E4E4E4u);  // each row: colours 0, 1, 2, 3
    UseTextureOnly(tex);
    device_->SetFVF(kFvfTex2D);
    Tex2D v[4] = {{-0.5f, -0.5f, 0, 1, 0xFFFFFFFF, 0, 0},
                  {3.5f, -0.5f, 0, 1, 0xFFFFFFFF, 1, 0},
                  {-0.5f, 3.5f, 0, 1, 0xFFFFFFFF, 0, 1},
                  {3.5f, 3.5f, 0, 1, 0xFFFFFFFF, 1, 1}};
    IDirect3DSurface9* level = nullptr;
    ASSERT_EQ(tex->GetSurfaceLevel(0, &level), D3D_OK);
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(Tex2D)), D3D_OK);
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(Pixel(x, 1), platform::ReadD3D9SurfacePixel(level, x, 1)) << x;
    }
    EXPECT_EQ(Pixel(0, 0), 0xFFFF0000u);
    fill(0x07E0, 0x07E0, 0);  // all green now
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(Tex2D)), D3D_OK);
    EXPECT_EQ(Pixel(3, 3), 0xFF00FF00u);
    level->Release();
    device_->SetTexture(0, nullptr);
    tex->Release();
}

TEST_F(DrawTest, SecondTextureSetAndSpecularOfTheMaskFormat) {
    IDirect3DTexture9* tex = MakeTexture();
    UseTextureOnly(tex);
    device_->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 1);
    // Alpha from the specular colour: SELECTARG1 SPECULAR.
    device_->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_SPECULAR);
    device_->SetFVF(kFvfTex2D2);
    // The first set points at texel (0, 0), the second at texel (5, 2).
    float u = 5.5f / 8, vv = 2.5f / 4;
    Tex2D2 p = {3, 4, 0, 1, 0xFFFFFFFF, 0x7F000000, 0.01f, 0.01f, u, vv};
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &p, sizeof(Tex2D2)), D3D_OK);
    EXPECT_EQ(Pixel(3, 4) & 0xFFFFFF, Texel(5, 2) & 0xFFFFFF);
    device_->SetTexture(0, nullptr);
    tex->Release();
}

TEST_F(DrawTest, AllSixPrimitiveTypes) {
    device_->SetFVF(kFvfColor2D);
    const DWORD c = 0xFF00FF00u;
    Color2D pts[2] = {{1, 1, 0, 1, c}, {3, 1, 0, 1, c}};
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_POINTLIST, 2, pts, 20), D3D_OK);
    EXPECT_EQ(Pixel(1, 1), c);
    EXPECT_EQ(Pixel(3, 1), c);
    EXPECT_EQ(Pixel(2, 1), 0xFF000000u);
    Color2D lines[4] = {{0, 5, 0, 1, c}, {6, 5, 0, 1, c}, {0, 7, 0, 1, c}, {6, 7, 0, 1, c}};
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_LINELIST, 2, lines, 20), D3D_OK);
    EXPECT_EQ(Pixel(3, 5), c);
    EXPECT_EQ(Pixel(3, 7), c);
    EXPECT_EQ(Pixel(3, 6), 0xFF000000u);
    Color2D strip[3] = {{10, 10, 0, 1, c}, {16, 10, 0, 1, c}, {16, 16, 0, 1, c}};
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_LINESTRIP, 2, strip, 20), D3D_OK);
    EXPECT_EQ(Pixel(13, 10), c);
    EXPECT_EQ(Pixel(16, 13), c);
    Color2D tri[4] = {{20, 20, 0, 1, c}, {28, 20, 0, 1, c}, {20, 28, 0, 1, c}, {28, 28, 0, 1, c}};
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, 20), D3D_OK);
    EXPECT_EQ(Pixel(21, 21), c);
    EXPECT_EQ(Pixel(27, 27), 0xFF000000u);
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, tri, 20), D3D_OK);
    EXPECT_EQ(Pixel(27, 27), c);
    Color2D fan[4] = {{40, 30, 0, 1, c}, {48, 30, 0, 1, c}, {48, 38, 0, 1, c}, {40, 38, 0, 1, c}};
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, fan, 20), D3D_OK);
    EXPECT_EQ(Pixel(41, 37), c);
    EXPECT_EQ(Pixel(47, 31), c);
    EXPECT_REFUSED(BadPrimitiveType, device_->DrawPrimitiveUP(7, 1, fan, 20));
    EXPECT_REFUSED(NullArgument, device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, nullptr, 20));
    EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 0, fan, 20), D3D_OK);
}

TEST_F(DrawTest, IndexedDrawsWithSixteenAndThirtyTwoBitIndices) {
    device_->SetFVF(kFvfColor2D);
    const DWORD c = 0xFF0000FFu;
    // Vertices 0 and 1 lie outside the declared range and are never read.
    Color2D v[6] = {{0, 0, 0, 1, 0},  {0, 0, 0, 1, 0},  {4, 4, 0, 1, c},
                    {12, 4, 0, 1, c}, {4, 12, 0, 1, c}, {12, 12, 0, 1, c}};
    const uint16_t i16[6] = {2, 3, 4, 5, 4, 3};
    ASSERT_EQ(
        device_->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 2, 4, 2, i16, D3DFMT_INDEX16, v, 20),
        D3D_OK);
    EXPECT_EQ(Pixel(5, 5), c);
    EXPECT_EQ(Pixel(11, 11), c);
    const uint32_t i32[4] = {2, 3, 4, 5};
    for (Color2D& x : v)
        x.colour = 0xFFFFFF00u, x.x += 20;
    ASSERT_EQ(
        device_->DrawIndexedPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, 4, 2, i32, D3DFMT_INDEX32, v, 20),
        D3D_OK);
    EXPECT_EQ(Pixel(25, 5), 0xFFFFFF00u);
    EXPECT_EQ(Pixel(31, 11), 0xFFFFFF00u);
    EXPECT_REFUSED(BadIndexFormat,
                   device_->DrawIndexedPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, 4, 2, i32, 99, v, 20));
}

TEST_F(DrawTest, UntransformedVerticesGoThroughTheTransformsAndViewport) {
    device_->SetFVF(kFvfTex3D);
    D3DMATRIX world{};
    world._11 = world._22 = world._33 = world._44 = 1.0f;
    world._41 = 0.5f;  // move right by a quarter of the viewport width
    device_->SetTransform(D3DTS_WORLD, &world);
    D3DVIEWPORT9 vp = {0, 0, 64, 48, 0.0f, 1.0f};
    device_->SetViewport(&vp);
    const DWORD c = 0xFFFF00FFu;
    // A square from -0.25 to 0.25 in x and y: pixels 24..40 wide, 18..30 high before the move.
    Tex3D v[4] = {{-0.25f, 0.25f, 0.5f, c, 0, 0},
                  {0.25f, 0.25f, 0.5f, c, 0, 0},
                  {-0.25f, -0.25f, 0.5f, c, 0, 0},
                  {0.25f, -0.25f, 0.5f, c, 0, 0}};
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    device_->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(Tex3D)), D3D_OK);
    EXPECT_EQ(Pixel(40, 18), c);
    EXPECT_EQ(Pixel(55, 29), c);
    EXPECT_EQ(Pixel(39, 24), 0xFF000000u);
    EXPECT_EQ(Pixel(56, 24), 0xFF000000u);
}

TEST_F(DrawTest, DefaultCullModeRemovesCounterClockwiseTriangles) {
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    device_->SetFVF(kFvfColor2D);
    const DWORD c = 0xFFFFFFFFu;
    Color2D ccw[3] = {{0, 0, 0, 1, c}, {0, 8, 0, 1, c}, {8, 0, 0, 1, c}};
    Color2D cw[3] = {{10, 0, 0, 1, c}, {18, 0, 0, 1, c}, {10, 8, 0, 1, c}};
    device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, ccw, 20);
    device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, cw, 20);
    EXPECT_EQ(Pixel(1, 1), 0xFF000000u);
    EXPECT_EQ(Pixel(11, 1), c);
}

TEST_F(DrawTest, TraceKeepsVertexBytesAndLostDeviceDrawsNothing) {
    device_->SetFVF(kFvfColor2D);
    platform::SetD3D9TraceRecording(true);
    Color2D p = {5, 5, 0, 1, 0xFFFF0000u};
    int before = platform::D3D9CallCount("DrawPrimitiveUP");
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &p, 20), D3D_OK);
    EXPECT_EQ(platform::D3D9CallCount("DrawPrimitiveUP"), before + 1);
    std::vector<platform::D3D9TraceEntry> trace = platform::D3D9Trace();
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.back().method, "DrawPrimitiveUP");
    ASSERT_EQ(trace.back().vertices.size(), 20u);
    EXPECT_EQ(std::memcmp(trace.back().vertices.data(), &p, 20), 0);
    platform::LoseD3D9Devices();
    Color2D q = {6, 5, 0, 1, 0xFFFF0000u};
    EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &q, 20), D3D_OK);
    EXPECT_EQ(platform::D3D9CallCount("DrawPrimitiveUP"), before + 2);
    EXPECT_EQ(Pixel(5, 5), 0xFFFF0000u);
    EXPECT_EQ(Pixel(6, 5), 0xFF000000u);
}

// A primitive count whose vertex count passes 32 bits is refused instead of wrapping into a
// small count and looping over billions of primitives.
TEST_F(DrawTest, PrimitiveCountsWhoseVertexCountOverflowsAreRefused) {
    device_->SetFVF(kFvfColor2D);
    const Color2D v[4] = {{0, 0, 0, 1, 0xFFFFFFFFu},
                          {4, 0, 0, 1, 0xFFFFFFFFu},
                          {0, 4, 0, 1, 0xFFFFFFFFu},
                          {4, 4, 0, 1, 0xFFFFFFFFu}};
    const uint16_t indices[6] = {0, 1, 2, 3, 2, 1};
    struct Case {
        D3DPRIMITIVETYPE type;
        UINT count;
    };
    const Case cases[] = {
        {D3DPT_TRIANGLELIST, 0x55555556u},   // 3 n wraps to 2
        {D3DPT_TRIANGLESTRIP, 0xFFFFFFFFu},  // n + 2 wraps to 1
        {D3DPT_TRIANGLEFAN, 0xFFFFFFFEu},    // n + 2 wraps to 0
        {D3DPT_LINELIST, 0x80000001u},       // 2 n wraps to 2
        {D3DPT_LINESTRIP, 0xFFFFFFFFu},      // n + 1 wraps to 0
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        EXPECT_REFUSED(VertexCountOverflow,
                       device_->DrawPrimitiveUP(c.type, c.count, v, sizeof(Color2D)));
        EXPECT_REFUSED(VertexCountOverflow,
                       device_->DrawIndexedPrimitiveUP(c.type, 0, 4, c.count, indices,
                                                       D3DFMT_INDEX16, v, sizeof(Color2D)));
    }
    // A vertex range whose end passes 32 bits.
    EXPECT_REFUSED(VertexCountOverflow,
                   device_->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0xFFFFFFF0u, 0x20, 2,
                                                   indices, D3DFMT_INDEX16, v, sizeof(Color2D)));
    EXPECT_EQ(Pixel(1, 1), 0xFF000000u);
}

// A batch as the library sends it (2340 vertices of FVF 0x144, flat shading, the colour only in
// the first vertex of each triangle, blended): the fast routes, with and without the vector
// kernels, give the back buffer of the plain route.
TEST_F(DrawTest, LibrarySpriteBatchesGiveThePlainPixels) {
    struct Restore {
        ~Restore() {
            platform::SetRasterFastQuadsEnabled(true);
            platform::SetRasterVectorKernelsEnabled(true);
        }
    } restore;
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(device_->CreateTexture(32, 32, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr),
              D3D_OK);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(tex->LockRect(0, &locked, nullptr, 0), D3D_OK);
    for (int y = 0; y < 32; ++y) {
        auto* row =
            reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch);
        for (int x = 0; x < 32; ++x) {
            int dx = 2 * x - 31, dy = 2 * y - 31, d2 = dx * dx + dy * dy;
            uint32_t a = d2 < 400 ? 255 : (d2 < 900 ? 0x90u - static_cast<uint32_t>(x) : 0);
            row[x] = a << 24 | static_cast<uint32_t>(x * 8) << 16 |
                     static_cast<uint32_t>(y * 8) << 8 | 0x33u;
        }
    }
    ASSERT_EQ(tex->UnlockRect(0), D3D_OK);
    device_->SetFVF(kFvfTex2D);
    device_->SetTexture(0, tex);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device_->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device_->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    device_->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    device_->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    device_->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    device_->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    std::vector<Tex2D> v;
    uint32_t seed = 7;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
    for (int i = 0; i < 390; ++i) {
        float x1 = static_cast<float>(static_cast<int>(next() % 90) - 30) - 0.5f;
        float y1 = static_cast<float>(static_cast<int>(next() % 70) - 25) - 0.5f;
        float w = next() % 3 == 0 ? 32.0f : static_cast<float>(8 + next() % 50);
        float x2 = x1 + w, y2 = y1 + 32.0f;
        DWORD colour = next() % 4 == 0 ? 0x80FFC0FFu : 0xFFFFFFFFu;
        // The others keep whatever the batch held.
        DWORD stale = static_cast<DWORD>(next());
        v.push_back({x1, y1, 0, 1, colour, 0, 0});
        v.push_back({x2, y1, 0, 1, stale, 1, 0});
        v.push_back({x1, y2, 0, 1, stale, 0, 1});
        v.push_back({x2, y2, 0, 1, colour, 1, 1});
        v.push_back({x1, y2, 0, 1, stale, 0, 1});
        v.push_back({x2, y1, 0, 1, stale, 1, 0});
    }
    ASSERT_EQ(v.size(), 2340u);
    std::vector<uint32_t> results[3];
    const bool modes[3][2] = {{false, true}, {true, true}, {true, false}};  // fast, vector
    for (int m = 0; m < 3; ++m) {
        platform::SetRasterFastQuadsEnabled(modes[m][0]);
        platform::SetRasterVectorKernelsEnabled(modes[m][1]);
        ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF405060u, 1.0f, 0), D3D_OK);
        platform::ResetRasterRouteCounts();
        ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 780, v.data(), sizeof(Tex2D)),
                  D3D_OK);
        // White sprites and tinted ones alike go to the quad kernel, the tinted with their tint.
        uint64_t kernel = platform::RasterRouteCount(platform::RasterRoute::kQuadKernel);
        uint64_t rows = platform::RasterRouteCount(platform::RasterRoute::kQuadRows);
        EXPECT_EQ(kernel > 0, modes[m][0]) << "mode " << m;
        EXPECT_EQ(rows, 0u) << "mode " << m;
        for (int y = 0; y < 48; ++y) {
            for (int x = 0; x < 64; ++x)
                results[m].push_back(Pixel(x, y));
        }
    }
    EXPECT_NE(results[0][64 * 20 + 30], 0xFF405060u);  // something was drawn
    EXPECT_TRUE(results[0] == results[1]) << "fast route differs";
    EXPECT_TRUE(results[1] == results[2]) << "portable kernels differ";
    device_->SetTexture(0, nullptr);
    tex->Release();
}

}  // namespace
