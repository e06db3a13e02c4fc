// 3D rasterisation on the device: depth buffers of each format with every ZFUNC, ZWRITEENABLE,
// DEPTHBIAS and SLOPESCALEDEPTHBIAS; a triangle crossing the near plane; culling by winding;
// wire-frame and point fill; mip levels chosen in perspective with LOD bias; texture sets past
// the second, texture transforms and projected coordinates; a texture render target with its
// own depth surface drawn and then sampled.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "d3d9_fixture.h"

namespace {

using d3d9test::DeviceTest;
using d3d9test::FloatBits;
using d3d9test::Identity;

struct Vertex {
    float x, y, z;
    DWORD colour;
};
constexpr DWORD kFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;

class RasterTest : public DeviceTest {
  protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_NE(device_, nullptr);
        d3d9test::SetIdentityTransforms(device_);
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device_->SetFVF(kFvf);
        device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
        ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0), D3D_OK);
    }
    uint32_t Pixel(int x, int y) { return platform::ReadD3D9BackBufferPixel(device_, x, y); }

    // A rectangle over the whole screen at clip depth z (identity transforms).
    void Screen(float z, DWORD colour) { Rect(-1, 1, 1, -1, z, z, colour); }
    void Rect(float l, float t, float r, float b, float zl, float zr, DWORD colour) {
        Vertex v[4] = {
            {l, t, zl, colour}, {r, t, zr, colour}, {l, b, zl, colour}, {r, b, zr, colour}};
        ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(Vertex)), D3D_OK);
    }

    IDirect3DSurface9* Depth(D3DFORMAT format) {
        IDirect3DSurface9* depth = nullptr;
        EXPECT_EQ(device_->CreateDepthStencilSurface(64, 48, format, D3DMULTISAMPLE_NONE, 0, FALSE,
                                                     &depth, nullptr),
                  D3D_OK);
        return depth;
    }
};

TEST_F(RasterTest, EveryZFuncOnEveryDepthFormat) {
    struct Func {
        DWORD func;
        bool less, equal, greater;  // passes when the new depth is less, equal, greater
    };
    const Func funcs[] = {
        {D3DCMP_NEVER, false, false, false},      {D3DCMP_LESS, true, false, false},
        {D3DCMP_EQUAL, false, true, false},       {D3DCMP_LESSEQUAL, true, true, false},
        {D3DCMP_GREATER, false, false, true},     {D3DCMP_NOTEQUAL, true, false, true},
        {D3DCMP_GREATEREQUAL, false, true, true}, {D3DCMP_ALWAYS, true, true, true},
    };
    for (D3DFORMAT format : {D3DFMT_D16, D3DFMT_D24X8, D3DFMT_D32}) {
        IDirect3DSurface9* depth = Depth(format);
        ASSERT_EQ(device_->SetDepthStencilSurface(depth), D3D_OK);
        device_->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
        for (const Func& f : funcs) {
            for (int side = 0; side < 3; ++side) {
                SCOPED_TRACE(::testing::Message()
                             << "format " << format << ", func " << f.func << ", side " << side);
                device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 0.5f,
                               0);
                device_->SetRenderState(D3DRS_ZFUNC, f.func);
                // Depths a step of the format apart: the test tells them apart at its precision.
                float z = side == 0 ? 0.49f : (side == 1 ? 0.5f : 0.51f);
                Screen(z, 0xFF00FF00u);
                bool pass = side == 0 ? f.less : (side == 1 ? f.equal : f.greater);
                EXPECT_EQ(Pixel(20, 20), pass ? 0xFF00FF00u : 0xFF000000u);
            }
        }
        device_->SetDepthStencilSurface(nullptr);
        depth->Release();
    }
}

TEST_F(RasterTest, DepthWriteAndBias) {
    IDirect3DSurface9* depth = Depth(D3DFMT_D24X8);
    ASSERT_EQ(device_->SetDepthStencilSurface(depth), D3D_OK);
    device_->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device_->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
    device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    // Without depth writes a nearer draw leaves the buffer: a farther one still passes.
    device_->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    Screen(0.3f, 0xFFFF0000u);
    Screen(0.6f, 0xFF0000FFu);
    EXPECT_EQ(Pixel(5, 5), 0xFF0000FFu);
    device_->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    Screen(0.6f, 0xFF0000FFu);
    Screen(0.6f, 0xFF00FF00u);  // equal depth: LESS fails
    EXPECT_EQ(Pixel(5, 5), 0xFF0000FFu);
    // DEPTHBIAS is added to the depth before the test: -0.01 makes the equal draw nearer.
    device_->SetRenderState(D3DRS_DEPTHBIAS, FloatBits(-0.01f));
    Screen(0.6f, 0xFF00FF00u);
    EXPECT_EQ(Pixel(5, 5), 0xFF00FF00u);
    device_->SetRenderState(D3DRS_DEPTHBIAS, 0);

    // SLOPESCALEDEPTHBIAS times the larger depth slope per pixel: a rectangle whose depth rises
    // 0.5 across 64 pixels (1/128 per pixel) and a bias of -2 moves it 1/64 nearer everywhere.
    device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    Rect(-1, 1, 1, -1, 0.25f, 0.75f, 0xFF0000FFu);
    Rect(-1, 1, 1, -1, 0.25f + 0.5f / 128.0f, 0.75f + 0.5f / 128.0f, 0xFFFF0000u);  // behind
    EXPECT_EQ(Pixel(30, 20), 0xFF0000FFu);
    device_->SetRenderState(D3DRS_SLOPESCALEDEPTHBIAS, FloatBits(-2.0f));
    Rect(-1, 1, 1, -1, 0.25f + 0.5f / 128.0f, 0.75f + 0.5f / 128.0f, 0xFFFF0000u);
    EXPECT_EQ(Pixel(30, 20), 0xFFFF0000u);
    device_->SetRenderState(D3DRS_SLOPESCALEDEPTHBIAS, FloatBits(-0.5f));  // 1/256: not enough
    Rect(-1, 1, 1, -1, 0.25f + 1.0f / 128.0f, 0.75f + 1.0f / 128.0f, 0xFF00FF00u);
    EXPECT_EQ(Pixel(30, 20), 0xFFFF0000u);
    device_->SetDepthStencilSurface(nullptr);
    depth->Release();
}

TEST_F(RasterTest, ViewportDepthRangeAndTheFarPlane) {
    IDirect3DSurface9* depth = Depth(D3DFMT_D32);
    ASSERT_EQ(device_->SetDepthStencilSurface(depth), D3D_OK);
    device_->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device_->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
    struct Case {
        float minZ, maxZ, clipZ;
        float cleared;
        bool drawn;
    } cases[] = {
        {0.0f, 1.0f, 0.5f, 0.51f, true},     // depth 0.5
        {0.25f, 0.75f, 1.0f, 0.74f, false},  // depth 0.75: behind 0.74
        {0.25f, 0.75f, 1.0f, 0.76f, true},
        {0.25f, 0.75f, 0.0f, 0.26f, true},  // depth 0.25
        {0.25f, 0.75f, 0.0f, 0.24f, false},
        {0.0f, 1.0f, 1.001f, 1.0f, false},   // beyond the far plane: clipped away
        {0.0f, 1.0f, -0.001f, 1.0f, false},  // before the near plane
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.minZ << ".." << c.maxZ << ", z " << c.clipZ);
        D3DVIEWPORT9 vp = {0, 0, 64, 48, c.minZ, c.maxZ};
        ASSERT_EQ(device_->SetViewport(&vp), D3D_OK);
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, c.cleared, 0);
        Screen(c.clipZ, 0xFFFFFFFFu);
        EXPECT_EQ(Pixel(30, 20), c.drawn ? 0xFFFFFFFFu : 0xFF000000u);
    }
    device_->SetDepthStencilSurface(nullptr);
    depth->Release();
}

// A perspective camera: eye space (x, y, z) goes to clip (x, y, z - 1, z) (near plane at z = 1,
// no far plane within reach), so pixel x = 32 + 32 x / z.
D3DMATRIX Perspective() {
    D3DMATRIX p{};
    p._11 = p._22 = 1.0f;
    p._33 = 1.0f;
    p._43 = -1.0f;
    p._34 = 1.0f;
    return p;
}

TEST_F(RasterTest, TriangleCrossingTheNearPlaneIsCutNotWrapped) {
    D3DMATRIX p = Perspective();
    device_->SetTransform(D3DTS_PROJECTION, &p);
    // One vertex behind the eye: unclipped, its division by a negative w would fling the
    // triangle across the screen. Cut at z = 1, the polygon reaches x = 32 + 32 * 0.5 / 1.
    Vertex v[3] = {{0.5f, -0.5f, 4.0f, 0xFFFFFFFFu},
                   {0.5f, 0.5f, 4.0f, 0xFFFFFFFFu},
                   {0.5f, 0.0f, -2.0f, 0xFFFFFFFFu}};
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(Vertex)), D3D_OK);
    // The cut edge lies on the near plane at x = 0.5: pixels 36..47 lit at the middle row, none
    // left of x = 36, none at the far right.
    EXPECT_EQ(Pixel(36, 24), 0xFFFFFFFFu);
    EXPECT_EQ(Pixel(47, 24), 0xFFFFFFFFu);
    EXPECT_EQ(Pixel(35, 24), 0xFF000000u);
    EXPECT_EQ(Pixel(20, 24), 0xFF000000u);
    EXPECT_EQ(Pixel(63, 24), 0xFF000000u);
    // Wholly behind the eye: nothing.
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
    Vertex behind[3] = {
        {-1, -1, -2, 0xFFFFFFFFu}, {1, -1, -2, 0xFFFFFFFFu}, {0, 1, -2, 0xFFFFFFFFu}};
    device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, behind, sizeof(Vertex));
    for (int y = 0; y < 48; y += 3) {
        for (int x = 0; x < 64; x += 3)
            ASSERT_EQ(Pixel(x, y), 0xFF000000u) << x << ", " << y;
    }
}

TEST_F(RasterTest, CullingByWindingIn3D) {
    // Clockwise on the screen (y up in clip space, down on the screen).
    Vertex cw[3] = {{-0.5f, 0.5f, 0.5f, 0xFFFFFFFFu},
                    {0.5f, 0.5f, 0.5f, 0xFFFFFFFFu},
                    {-0.5f, -0.5f, 0.5f, 0xFFFFFFFFu}};
    struct Case {
        DWORD cull;
        bool drawsCw;
    } cases[] = {{D3DCULL_NONE, true}, {D3DCULL_CW, false}, {D3DCULL_CCW, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cull);
        device_->SetRenderState(D3DRS_CULLMODE, c.cull);
        device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
        device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, cw, sizeof(Vertex));
        EXPECT_EQ(Pixel(20, 16), c.drawsCw ? 0xFFFFFFFFu : 0xFF000000u);
        Vertex ccw[3] = {cw[0], cw[2], cw[1]};
        device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
        device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, ccw, sizeof(Vertex));
        EXPECT_EQ(Pixel(20, 16), c.cull == D3DCULL_CCW ? 0xFF000000u : 0xFFFFFFFFu);
    }
}

TEST_F(RasterTest, WireFrameDrawsTheEdgesAndPointFillTheCorners) {
    struct Screen2D {
        float x, y, z, rhw;
        DWORD colour;
    };
    device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    const DWORD c = 0xFF404000u;
    Screen2D tri[3] = {{4, 4, 0, 1, c}, {20, 4, 0, 1, c}, {4, 20, 0, 1, c}};
    device_->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
    // Added blending: a pixel drawn twice would show a brighter colour.
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(Screen2D));
    EXPECT_EQ(Pixel(4, 4), c);            // a corner
    EXPECT_EQ(Pixel(12, 4), c);           // the top edge
    EXPECT_EQ(Pixel(4, 12), c);           // the left edge
    EXPECT_EQ(Pixel(12, 12), c);          // the diagonal
    EXPECT_EQ(Pixel(8, 8), 0xFF000000u);  // inside stays empty
    int lit = 0, other = 0;
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 24; ++x) {
            lit += Pixel(x, y) == c;
            other += Pixel(x, y) != c && Pixel(x, y) != 0xFF000000u;
        }
    }
    EXPECT_EQ(lit, 16 + 16 + 16);  // three edges of 16 pixels, each corner once
    EXPECT_EQ(other, 0);
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
    device_->SetRenderState(D3DRS_FILLMODE, D3DFILL_POINT);
    device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(Screen2D));
    lit = 0;
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 24; ++x)
            lit += Pixel(x, y) == c;
    }
    EXPECT_EQ(lit, 3);
    EXPECT_EQ(Pixel(20, 4), c);
    // Culling still applies to outlines: the triangle is clockwise.
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(Screen2D));
    EXPECT_EQ(Pixel(4, 4), 0xFF000000u);
}

struct TexVertex {
    float x, y, z;
    float u, v;
};

// A texture whose level i is one colour, from the given list.
IDirect3DTexture9* LevelColoured(IDirect3DDevice9* device, UINT size,
                                 std::vector<uint32_t> colours) {
    IDirect3DTexture9* tex = nullptr;
    EXPECT_EQ(device->CreateTexture(size, size, static_cast<UINT>(colours.size()), 0,
                                    D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr),
              D3D_OK);
    for (UINT level = 0; level < colours.size(); ++level) {
        UINT side = size >> level;
        D3DLOCKED_RECT locked;
        EXPECT_EQ(tex->LockRect(level, &locked, nullptr, 0), D3D_OK);
        for (UINT y = 0; y < side; ++y) {
            auto* row =
                reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch);
            for (UINT x = 0; x < side; ++x)
                row[x] = colours[level];
        }
        tex->UnlockRect(level);
    }
    return tex;
}

TEST_F(RasterTest, MipLevelsFromTheScreenDerivativesWithLodBias) {
    IDirect3DTexture9* tex =
        LevelColoured(device_, 64, {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu});
    device_->SetTexture(0, tex);
    device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device_->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
    device_->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1);
    D3DMATRIX p = Perspective();
    device_->SetTransform(D3DTS_PROJECTION, &p);
    // A plane from -1 to 1 at eye depth z spans 64 / z pixels across and 48 / z down, showing
    // 64 texels across and 48 down: z texels a pixel both ways, lod log2 z. At z = 1 level 0,
    // at z = 2 level 1; LOD bias 1 moves each one level down.
    auto plane = [&](float z) {
        TexVertex v[4] = {
            {-1, 1, z, 0, 0}, {1, 1, z, 1, 0}, {-1, -1, z, 0, 0.75f}, {1, -1, z, 1, 0.75f}};
        device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
        ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(TexVertex)), D3D_OK);
    };
    // The near plane is at z = 1; stand the z = 1 plane just behind it.
    struct Case {
        float z;
        float bias;
        uint32_t colour;
    } cases[] = {{1.01f, 0.0f, 0xFFFF0000u}, {2.0f, 0.0f, 0xFF00FF00u}, {4.0f, 0.0f, 0xFF0000FFu},
                 {1.01f, 1.0f, 0xFF00FF00u}, {2.0f, 1.0f, 0xFF0000FFu}, {4.0f, -2.0f, 0xFFFF0000u}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "z " << c.z << ", bias " << c.bias);
        device_->SetSamplerState(0, D3DSAMP_MIPMAPLODBIAS, FloatBits(c.bias));
        plane(c.z);
        EXPECT_EQ(Pixel(32, 24), c.colour);
    }
    // MIPFILTER LINEAR between levels 0 and 1 at lod 0.5: the halves blend.
    device_->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    device_->SetSamplerState(0, D3DSAMP_MIPMAPLODBIAS, FloatBits(0.5f));
    plane(1.01f);
    uint32_t mixed = Pixel(32, 24);
    EXPECT_GT((mixed >> 16) & 255, 100u);
    EXPECT_GT((mixed >> 8) & 255, 100u);
    device_->SetTexture(0, nullptr);
    tex->Release();
}

TEST_F(RasterTest, EightTextureSetsTexCoordIndexTransformsAndProjection) {
    // Position, then sets of 1, 2, 3, 4, 1, 2, 3 and 4 floats; stage 0 reads set 7.
    const DWORD fvf = D3DFVF_XYZ | D3DFVF_TEX8 | D3DFVF_TEXCOORDSIZE1(0) | D3DFVF_TEXCOORDSIZE2(1) |
                      D3DFVF_TEXCOORDSIZE3(2) | D3DFVF_TEXCOORDSIZE4(3) | D3DFVF_TEXCOORDSIZE1(4) |
                      D3DFVF_TEXCOORDSIZE2(5) | D3DFVF_TEXCOORDSIZE3(6) | D3DFVF_TEXCOORDSIZE4(7);
    struct Wide {
        float x, y, z;
        float s0, s1[2], s2[3], s3[4], s4, s5[2], s6[3], s7[4];
    };
    static_assert(sizeof(Wide) == 12 + 4 * 20);
    // An 8x8 texture: texel (x, y) is x * 32 red, y * 32 green.
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr),
              D3D_OK);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(tex->LockRect(0, &locked, nullptr, 0), D3D_OK);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch)[x] =
                0xFF000000u | (x * 32u) << 16 | (y * 32u) << 8;
        }
    }
    tex->UnlockRect(0);
    device_->SetTexture(0, tex);
    device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device_->SetFVF(fvf);
    auto draw = [&](float u, float v, float q) {
        Wide w{};
        w.s7[0] = u, w.s7[1] = v, w.s7[2] = q, w.s7[3] = 1.0f;
        w.s1[0] = 0.99f, w.s1[1] = 0.99f;  // a set no stage reads
        Wide quad[4] = {w, w, w, w};
        float xs[4] = {-1, 1, -1, 1}, ys[4] = {1, 1, -1, -1};
        for (int i = 0; i < 4; ++i)
            quad[i].x = xs[i], quad[i].y = ys[i], quad[i].z = 0.5f;
        device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
        ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Wide)), D3D_OK);
    };
    device_->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 7);
    draw(0.3f, 0.6f, 1.0f);  // texel (2, 4)
    EXPECT_EQ(Pixel(10, 10), 0xFF000000u | 64u << 16 | 128u << 8);
    // COUNT2 with a translation in the third row (the coordinate's padded 1): +0.25 in u.
    D3DMATRIX t = Identity();
    t._31 = 0.25f;
    device_->SetTransform(D3DTS_TEXTURE0, &t);
    device_->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    draw(0.3f, 0.6f, 2.0f);  // the third coordinate is given (2), so the row scales: u + 0.5
    EXPECT_EQ(Pixel(10, 10), 0xFF000000u | 192u << 16 | 128u << 8);
    // COUNT3 | PROJECTED: (u, v) / q.
    t = Identity();
    device_->SetTransform(D3DTS_TEXTURE0, &t);
    device_->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS,
                                  D3DTTFF_COUNT3 | D3DTTFF_PROJECTED);
    draw(0.6f, 1.2f, 2.0f);  // (0.3, 0.6): texel (2, 4)
    EXPECT_EQ(Pixel(10, 10), 0xFF000000u | 64u << 16 | 128u << 8);
    // A two-float set is padded with 1: the third row translates it.
    device_->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 5);
    t._32 = 0.5f;
    device_->SetTransform(D3DTS_TEXTURE0, &t);
    device_->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    {
        Wide w{};
        w.s5[0] = 0.1f, w.s5[1] = 0.1f;
        Wide quad[4] = {w, w, w, w};
        float xs[4] = {-1, 1, -1, 1}, ys[4] = {1, 1, -1, -1};
        for (int i = 0; i < 4; ++i)
            quad[i].x = xs[i], quad[i].y = ys[i], quad[i].z = 0.5f;
        device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Wide));
    }
    EXPECT_EQ(Pixel(10, 10), 0xFF000000u | 0u << 16 | 128u << 8);  // (0.1, 0.6): texel (0, 4)
    // Untransformed again: a one-float set reads v = 0, not the float after it, and a set
    // beyond the vertex's reads (0, 0).
    device_->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    auto drawSets = [&](DWORD set) {
        Wide w{};
        w.s4 = 0.3f, w.s5[0] = 0.9f, w.s5[1] = 0.9f;
        Wide quad[4] = {w, w, w, w};
        float xs[4] = {-1, 1, -1, 1}, ys[4] = {1, 1, -1, -1};
        for (int i = 0; i < 4; ++i)
            quad[i].x = xs[i], quad[i].y = ys[i], quad[i].z = 0.5f;
        device_->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, set);
        device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FFu, 1.0f, 0);
        device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Wide));
    };
    drawSets(4);
    EXPECT_EQ(Pixel(10, 10), 0xFF000000u | 64u << 16);  // (0.3, 0): texel (2, 0)
    drawSets(9);
    EXPECT_EQ(Pixel(10, 10), 0xFF000000u);  // texel (0, 0)
    device_->SetTexture(0, nullptr);
    tex->Release();
}

TEST_F(RasterTest, TextureRenderTargetWithItsOwnDepthThenSampled) {
    IDirect3DTexture9* target = nullptr;
    ASSERT_EQ(device_->CreateTexture(32, 32, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8,
                                     D3DPOOL_DEFAULT, &target, nullptr),
              D3D_OK);
    IDirect3DSurface9* surface = nullptr;
    ASSERT_EQ(target->GetSurfaceLevel(0, &surface), D3D_OK);
    IDirect3DSurface9* depth = nullptr;
    ASSERT_EQ(device_->CreateDepthStencilSurface(32, 32, D3DFMT_D16, D3DMULTISAMPLE_NONE, 0, FALSE,
                                                 &depth, nullptr),
              D3D_OK);
    IDirect3DSurface9* backBuffer = nullptr;
    ASSERT_EQ(device_->GetRenderTarget(0, &backBuffer), D3D_OK);
    ASSERT_EQ(device_->SetRenderTarget(0, surface), D3D_OK);
    ASSERT_EQ(device_->SetDepthStencilSurface(depth), D3D_OK);
    D3DVIEWPORT9 vp = {0, 0, 32, 32, 0.0f, 1.0f};
    device_->SetViewport(&vp);
    device_->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
    // A near red square on the left half, then a far green one over everything: the red stays.
    Rect(-1, 1, 0, -1, 0.2f, 0.2f, 0xFFFF0000u);
    Screen(0.7f, 0xFF00FF00u);
    EXPECT_EQ(platform::ReadD3D9SurfacePixel(surface, 4, 4), 0xFFFF0000u);
    EXPECT_EQ(platform::ReadD3D9SurfacePixel(surface, 28, 4), 0xFF00FF00u);
    // Back to the back buffer; the target is now a texture.
    ASSERT_EQ(device_->SetRenderTarget(0, backBuffer), D3D_OK);
    ASSERT_EQ(device_->SetDepthStencilSurface(nullptr), D3D_OK);
    D3DVIEWPORT9 full = {0, 0, 64, 48, 0.0f, 1.0f};
    device_->SetViewport(&full);
    device_->SetTexture(0, target);
    device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device_->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1);
    TexVertex v[4] = {
        {-1, 1, 0.5f, 0, 0}, {1, 1, 0.5f, 1, 0}, {-1, -1, 0.5f, 0, 1}, {1, -1, 0.5f, 1, 1}};
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(TexVertex)), D3D_OK);
    EXPECT_EQ(Pixel(8, 24), 0xFFFF0000u);
    EXPECT_EQ(Pixel(56, 24), 0xFF00FF00u);
    device_->SetTexture(0, nullptr);
    backBuffer->Release();
    depth->Release();
    surface->Release();
    target->Release();
}

}  // namespace
