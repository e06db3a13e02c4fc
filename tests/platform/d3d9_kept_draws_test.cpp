// The device's kept draws: small draws replayed later on bands of rows across threads give the
// pixels of one thread drawing each at once, and every call that reads or changes pixels the
// kept draws touch or sample replays them first.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "d3d9_fixture.h"
#include "platform/d3d9/raster_draw.h"
#include "platform/window.h"
#include "popup_window.h"

namespace {

constexpr DWORD kFvfTex2D = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;
constexpr int kWidth = 160, kHeight = 120;
constexpr DWORD kClear = 0xFF203040u;

struct Tex2D {
    float x, y, z, rhw;
    DWORD colour;
    float u, v;
};

struct Lcg {
    uint32_t seed;
    uint32_t Next() { return seed = seed * 1103515245u + 12345u, seed >> 8; }
    int Below(int n) { return static_cast<int>(Next() % static_cast<uint32_t>(n)); }
    float Unit() { return static_cast<float>(Next() % 4096) / 4096.0f; }
};

// What one run left: the pixels of its target and whatever it read on the way.
using Seen = std::vector<uint32_t>;

class KeptDrawsTest : public d3d9test::DeviceTest {
  public:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_NE(device_, nullptr);
        ASSERT_EQ(device_->CreateRenderTarget(kWidth, kHeight, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE,
                                              0, TRUE, &target_, nullptr),
                  D3D_OK);
        ASSERT_EQ(device_->SetRenderTarget(0, target_), D3D_OK);
        D3DVIEWPORT9 vp = {0, 0, kWidth, kHeight, 0.0f, 1.0f};
        device_->SetViewport(&vp);
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
        device_->SetFVF(kFvfTex2D);
    }
    void TearDown() override {
        IDirect3DSurface9* back = nullptr;
        device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
        device_->SetRenderTarget(0, back);
        back->Release();
        for (IDirect3DTexture9* t : textures_)
            t->Release();
        if (target_ != nullptr)
            target_->Release();
        platform::SetRasterThreadCount(0);
        DeviceTest::TearDown();
    }

    IDirect3DTexture9* MakeTexture(int w, int h, uint32_t seed, D3DPOOL pool = D3DPOOL_MANAGED,
                                   DWORD usage = 0) {
        IDirect3DTexture9* tex = nullptr;
        EXPECT_EQ(device_->CreateTexture(w, h, 1, usage, D3DFMT_A8R8G8B8, pool, &tex, nullptr),
                  D3D_OK);
        if (pool != D3DPOOL_DEFAULT)
            FillTexture(tex, w, h, seed);
        textures_.push_back(tex);
        return tex;
    }
    static void FillTexture(IDirect3DTexture9* tex, int w, int h, uint32_t seed) {
        Lcg r{seed};
        D3DLOCKED_RECT locked;
        ASSERT_EQ(tex->LockRect(0, &locked, nullptr, 0), D3D_OK);
        for (int y = 0; y < h; ++y) {
            auto* row =
                reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch);
            for (int x = 0; x < w; ++x)
                row[x] = r.Next() | (r.Below(3) == 0 ? 0xFF000000u : 0u);
        }
        ASSERT_EQ(tex->UnlockRect(0), D3D_OK);
    }

    void UseTexture(IDirect3DTexture9* tex, bool modulate, bool linear) {
        device_->SetTexture(0, tex);
        device_->SetTextureStageState(0, D3DTSS_COLOROP,
                                      modulate ? D3DTOP_MODULATE : D3DTOP_SELECTARG1);
        device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        device_->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        device_->SetTextureStageState(0, D3DTSS_ALPHAOP,
                                      modulate ? D3DTOP_MODULATE : D3DTOP_SELECTARG1);
        device_->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        device_->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
        D3DTEXTUREFILTERTYPE f = linear ? D3DTEXF_LINEAR : D3DTEXF_POINT;
        device_->SetSamplerState(0, D3DSAMP_MAGFILTER, f);
        device_->SetSamplerState(0, D3DSAMP_MINFILTER, f);
    }
    void Blend(int mode) {
        device_->SetRenderState(D3DRS_ALPHABLENDENABLE, mode != 0);
        const DWORD factors[3][2] = {{D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA},
                                     {D3DBLEND_SRCALPHA, D3DBLEND_ONE},
                                     {D3DBLEND_ONE, D3DBLEND_ONE}};
        if (mode != 0) {
            device_->SetRenderState(D3DRS_SRCBLEND, factors[mode - 1][0]);
            device_->SetRenderState(D3DRS_DESTBLEND, factors[mode - 1][1]);
        }
    }

    // A quad from (x, y) of w x h turned by angle (0: along the axes), texture coordinates
    // u0 .. u0 + du (v likewise).
    void Quad(float x, float y, float w, float h, float angle, DWORD colour, float u0 = 0.0f,
              float v0 = 0.0f, float du = 1.0f, float dv = 1.0f) {
        float c = std::cos(angle), s = std::sin(angle);
        float cx = x + w / 2, cy = y + h / 2;
        auto at = [&](float px, float py, float u, float v) {
            float dx = px - cx, dy = py - cy;
            return Tex2D{cx + dx * c - dy * s, cy + dx * s + dy * c, 0, 1, colour, u, v};
        };
        Tex2D v[6] = {at(x, y, u0, v0),          at(x + w, y, u0 + du, v0),
                      at(x, y + h, u0, v0 + dv), at(x + w, y + h, u0 + du, v0 + dv),
                      at(x, y + h, u0, v0 + dv), at(x + w, y, u0 + du, v0)};
        ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, v, sizeof(Tex2D)), D3D_OK);
    }

    uint32_t Pixel(IDirect3DSurface9* s, int x, int y) {
        return platform::ReadD3D9SurfacePixel(s, x, y);
    }
    void AppendPixels(IDirect3DSurface9* s, int w, int h, Seen* seen) {
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x)
                seen->push_back(Pixel(s, x, y));
        }
    }

    // The run with the device on one thread, then on `threads`, each from a cleared target
    // and the same states.
    void RunBoth(const std::function<void(Seen*)>& run, Seen* one, Seen* many, int threads = 4) {
        for (int pass = 0; pass < 2; ++pass) {
            platform::SetRasterThreadCount(pass == 0 ? 1 : threads);
            ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, kClear, 1.0f, 0), D3D_OK);
            // Both runs from the same states.
            UseTexture(nullptr, true, false);
            Blend(0);
            uint64_t kept = platform::RasterKeptDrawCount();
            Seen* seen = pass == 0 ? one : many;
            run(seen);
            AppendPixels(target_, kWidth, kHeight, seen);
            // One thread draws each at once; more keep them.
            if (pass == 0)
                EXPECT_EQ(platform::RasterKeptDrawCount(), kept);
            else
                EXPECT_GT(platform::RasterKeptDrawCount(), kept);
        }
    }

    IDirect3DSurface9* target_ = nullptr;
    std::vector<IDirect3DTexture9*> textures_;
};

// Random sequences of sprites and triangles with the game's changes between them: blends,
// colour modulation, filters, texture switches, a texture rewritten while kept draws sample
// it, and reads of the target through its lock on the way.
TEST_F(KeptDrawsTest, RandomSequencesGiveTheOneThreadPixels) {
    const int sizes[3][2] = {{16, 16}, {32, 8}, {8, 8}};
    IDirect3DTexture9* texs[3];
    for (int i = 0; i < 3; ++i)
        texs[i] = MakeTexture(sizes[i][0], sizes[i][1], 1 + i);
    int compared = 0;
    // Three and four threads cut the target into bands of ten and of eight rows.
    for (uint32_t seed = 1; seed <= 8; ++seed) {
        Seen one, four;
        const int threads = seed % 2 == 0 ? 3 : 4;
        RunBoth(
            [&](Seen* seen) {
                Lcg r{seed};
                for (int i = 0; i < 3; ++i)
                    FillTexture(texs[i], sizes[i][0], sizes[i][1], 10 + i);
                for (int step = 0; step < 400; ++step) {
                    int op = r.Below(20);
                    if (op < 2) {
                        UseTexture(texs[r.Below(3)], r.Below(2) == 0, r.Below(2) == 0);
                    } else if (op < 4) {
                        Blend(r.Below(4));
                    } else if (op == 4 && r.Below(4) == 0) {
                        int i = r.Below(3);
                        FillTexture(texs[i], sizes[i][0], sizes[i][1], r.Next());
                    } else if (op == 5 && r.Below(4) == 0) {
                        D3DLOCKED_RECT locked;
                        ASSERT_EQ(target_->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
                        int x = r.Below(kWidth), y = r.Below(kHeight);
                        uint32_t p;
                        std::memcpy(
                            &p, static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch + 4 * x, 4);
                        seen->push_back(p);
                        ASSERT_EQ(target_->UnlockRect(), D3D_OK);
                    } else {
                        float x = r.Unit() * (kWidth + 20) - 20, y = r.Unit() * (kHeight + 20) - 20;
                        float w = 2 + r.Unit() * 30, h = 2 + r.Unit() * 30;
                        bool snapped = r.Below(2) == 0;
                        if (snapped) {
                            x = std::floor(x) - 0.5f;
                            y = std::floor(y) - 0.5f;
                        }
                        float angle = r.Below(3) == 0 ? 0.0f : r.Unit() * 6.28f;
                        DWORD colour = r.Next() | (r.Below(2) == 0 ? 0xFF000000u : 0x80000000u);
                        Quad(x, y, w, h, angle, colour, r.Unit() - 0.5f, r.Unit() - 0.5f,
                             0.25f + r.Unit() * 2, 0.25f + r.Unit() * 2);
                    }
                }
            },
            &one, &four, threads);
        ASSERT_EQ(one.size(), four.size());
        for (size_t i = 0; i < one.size(); ++i) {
            ASSERT_EQ(one[i], four[i])
                << "seed " << seed << " value " << i << " threads " << threads;
            compared += one[i] != kClear;
        }
    }
    EXPECT_GT(compared, 20000);  // the sprites covered much of the target
}

// Each call that reads or changes pixels, with a kept draw before it whose pixels the call
// would miss, or change under, if it did not replay the kept draws first.
class KeptDrawsSyncTest : public KeptDrawsTest {
  public:
    void Sprite(IDirect3DTexture9* tex, float x, float y) {
        UseTexture(tex, false, false);
        Blend(0);
        Quad(x - 0.5f, y - 0.5f, 40, 40, 0, 0xFFFFFFFFu);
    }
    IDirect3DDevice9* Device() { return device_; }
    IDirect3DSurface9* Target() { return target_; }
};

struct SyncCase {
    const char* name;
    std::function<void(KeptDrawsSyncTest*, Seen*)> run;
};

IDirect3DSurface9* LevelOf(IDirect3DTexture9* tex) {
    IDirect3DSurface9* s = nullptr;
    EXPECT_EQ(tex->GetSurfaceLevel(0, &s), D3D_OK);
    s->Release();  // the texture keeps it
    return s;
}

const SyncCase kSyncCases[] = {
    {"a lock of a sampled texture",
     [](KeptDrawsSyncTest* t, Seen*) {
         IDirect3DTexture9* tex = t->MakeTexture(16, 16, 5);
         t->Sprite(tex, 10, 10);
         KeptDrawsTest::FillTexture(tex, 16, 16, 6);
         t->Sprite(tex, 60, 60);
     }},
    {"a lock of the target",
     [](KeptDrawsSyncTest* t, Seen* seen) {
         t->Sprite(t->MakeTexture(16, 16, 5), 10, 10);
         D3DLOCKED_RECT locked;
         ASSERT_EQ(t->Target()->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
         uint32_t p;
         std::memcpy(&p, static_cast<uint8_t*>(locked.pBits) + 20 * locked.Pitch + 4 * 20, 4);
         seen->push_back(p);
         ASSERT_EQ(t->Target()->UnlockRect(), D3D_OK);
     }},
    {"a clear",
     [](KeptDrawsSyncTest* t, Seen*) {
         t->Sprite(t->MakeTexture(16, 16, 5), 10, 10);
         D3DRECT r = {0, 0, 30, 30};
         ASSERT_EQ(t->Device()->Clear(1, &r, D3DCLEAR_TARGET, 0xFF00FF00u, 1.0f, 0), D3D_OK);
     }},
    {"a colour fill",
     [](KeptDrawsSyncTest* t, Seen*) {
         t->Sprite(t->MakeTexture(16, 16, 5), 10, 10);
         RECT r = {0, 0, 30, 30};
         ASSERT_EQ(t->Device()->ColorFill(t->Target(), &r, 0xFF00FF00u), D3D_OK);
     }},
    {"a stretch from the target",
     [](KeptDrawsSyncTest* t, Seen* seen) {
         IDirect3DTexture9* copy =
             t->MakeTexture(32, 32, 0, D3DPOOL_DEFAULT, D3DUSAGE_RENDERTARGET);
         t->Sprite(t->MakeTexture(16, 16, 5), 10, 10);
         RECT from = {0, 0, 32, 32};
         ASSERT_EQ(
             t->Device()->StretchRect(t->Target(), &from, LevelOf(copy), nullptr, D3DTEXF_NONE),
             D3D_OK);
         ASSERT_EQ(t->Device()->ColorFill(t->Target(), nullptr, 0xFF000000u), D3D_OK);
         t->AppendPixels(LevelOf(copy), 32, 32, seen);
     }},
    {"a read of the target's data",
     [](KeptDrawsSyncTest* t, Seen* seen) {
         IDirect3DSurface9* plain = nullptr;
         ASSERT_EQ(t->Device()->CreateOffscreenPlainSurface(kWidth, kHeight, D3DFMT_A8R8G8B8,
                                                            D3DPOOL_SYSTEMMEM, &plain, nullptr),
                   D3D_OK);
         t->Sprite(t->MakeTexture(16, 16, 5), 10, 10);
         ASSERT_EQ(t->Device()->GetRenderTargetData(t->Target(), plain), D3D_OK);
         ASSERT_EQ(t->Device()->ColorFill(t->Target(), nullptr, 0xFF000000u), D3D_OK);
         t->AppendPixels(plain, 40, 40, seen);
         plain->Release();
     }},
    {"an update of a sampled texture's surface",
     [](KeptDrawsSyncTest* t, Seen*) {
         IDirect3DTexture9* tex = t->MakeTexture(16, 16, 0, D3DPOOL_DEFAULT);
         IDirect3DTexture9* first = t->MakeTexture(16, 16, 5, D3DPOOL_SYSTEMMEM);
         IDirect3DTexture9* second = t->MakeTexture(16, 16, 6, D3DPOOL_SYSTEMMEM);
         ASSERT_EQ(t->Device()->UpdateSurface(LevelOf(first), nullptr, LevelOf(tex), nullptr),
                   D3D_OK);
         t->Sprite(tex, 10, 10);
         ASSERT_EQ(t->Device()->UpdateSurface(LevelOf(second), nullptr, LevelOf(tex), nullptr),
                   D3D_OK);
     }},
    {"an update of a sampled texture",
     [](KeptDrawsSyncTest* t, Seen*) {
         IDirect3DTexture9* tex = t->MakeTexture(16, 16, 0, D3DPOOL_DEFAULT);
         IDirect3DTexture9* first = t->MakeTexture(16, 16, 5, D3DPOOL_SYSTEMMEM);
         IDirect3DTexture9* second = t->MakeTexture(16, 16, 6, D3DPOOL_SYSTEMMEM);
         ASSERT_EQ(t->Device()->UpdateTexture(first, tex), D3D_OK);
         t->Sprite(tex, 10, 10);
         ASSERT_EQ(t->Device()->UpdateTexture(second, tex), D3D_OK);
     }},
    {"drawing into a texture a kept draw samples",
     [](KeptDrawsSyncTest* t, Seen*) {
         // The sprite samples the texture's bottom rows for the target's top ones, so that its
         // band and the band that draws into them differ.
         IDirect3DTexture9* tex =
             t->MakeTexture(kWidth, kHeight, 0, D3DPOOL_DEFAULT, D3DUSAGE_RENDERTARGET);
         IDirect3DTexture9* sprite = t->MakeTexture(16, 16, 5);  // its lock replays
         ASSERT_EQ(t->Device()->ColorFill(LevelOf(tex), nullptr, 0xFF0000FFu), D3D_OK);
         t->UseTexture(tex, false, false);
         t->Blend(0);
         t->Quad(-0.5f, -0.5f, kWidth, kHeight, 0, 0xFFFFFFFFu, 0, 1, 1, -1);
         ASSERT_EQ(t->Device()->SetRenderTarget(0, LevelOf(tex)), D3D_OK);
         t->Device()->SetTexture(0, sprite);
         t->Quad(-0.5f, -0.5f, kWidth, kHeight, 0, 0xFFFFFFFFu);
         ASSERT_EQ(t->Device()->SetRenderTarget(0, t->Target()), D3D_OK);
         D3DVIEWPORT9 vp = {0, 0, kWidth, kHeight, 0.0f, 1.0f};
         t->Device()->SetViewport(&vp);
     }},
    {"a draw that samples its own target",
     [](KeptDrawsSyncTest* t, Seen* seen) {
         // The second quad copies the target's bottom half, where the first sprite lies, to its
         // top half: bands of other rows than those it reads.
         IDirect3DTexture9* tex =
             t->MakeTexture(kWidth, kHeight, 0, D3DPOOL_DEFAULT, D3DUSAGE_RENDERTARGET);
         ASSERT_EQ(t->Device()->ColorFill(LevelOf(tex), nullptr, 0xFF0000FFu), D3D_OK);
         ASSERT_EQ(t->Device()->SetRenderTarget(0, LevelOf(tex)), D3D_OK);
         t->Sprite(t->MakeTexture(16, 16, 5), 60, 75);
         t->UseTexture(tex, false, false);
         t->Quad(-0.5f, -0.5f, kWidth, kHeight / 2, 0, 0xFFFFFFFFu, 0, 0.5f, 1, 0.5f);
         t->AppendPixels(LevelOf(tex), kWidth, kHeight, seen);
         ASSERT_EQ(t->Device()->SetRenderTarget(0, t->Target()), D3D_OK);
         D3DVIEWPORT9 vp = {0, 0, kWidth, kHeight, 0.0f, 1.0f};
         t->Device()->SetViewport(&vp);
     }},
    {"the release of a sampled texture",
     [](KeptDrawsSyncTest* t, Seen*) {
         IDirect3DTexture9* tex = nullptr;
         ASSERT_EQ(t->Device()->CreateTexture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex,
                                              nullptr),
                   D3D_OK);
         KeptDrawsTest::FillTexture(tex, 16, 16, 5);
         t->Sprite(tex, 10, 10);
         t->Device()->SetTexture(0, nullptr);
         EXPECT_EQ(tex->Release(), 0u);
         // Storage of the same size, reused where the freed texture's was.
         IDirect3DTexture9* other = t->MakeTexture(16, 16, 6);
         (void)other;
     }},
};

TEST_F(KeptDrawsSyncTest, EveryCallThatReadsOrChangesPixelsReplaysTheKeptDrawsFirst) {
    for (const SyncCase& c : kSyncCases) {
        Seen one, four;
        RunBoth([&](Seen* seen) { c.run(this, seen); }, &one, &four);
        EXPECT_TRUE(one == four) << c.name;
    }
}

// Presentation shows the kept draws.
TEST_F(KeptDrawsSyncTest, PresentationShowsTheKeptDraws) {
    HWND window = windowtest::MakePopupWindow("KeptDrawsTest", "present", 64, 48);
    ASSERT_NE(window, nullptr);
    std::vector<uint32_t> shown[2];
    for (int pass = 0; pass < 2; ++pass) {
        platform::SetRasterThreadCount(pass == 0 ? 1 : 4);
        IDirect3DSurface9* back = nullptr;
        ASSERT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
        ASSERT_EQ(device_->SetRenderTarget(0, back), D3D_OK);
        ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, kClear, 1.0f, 0), D3D_OK);
        Sprite(MakeTexture(16, 16, 5), 10, 10);
        ASSERT_EQ(device_->Present(nullptr, nullptr, window, nullptr), D3D_OK);
        for (int y = 0; y < 48; y += 3) {
            for (int x = 0; x < 64; x += 3)
                shown[pass].push_back(platform::ReadWindowPixel(window, x, y));
        }
        ASSERT_EQ(device_->SetRenderTarget(0, target_), D3D_OK);
        back->Release();
    }
    EXPECT_TRUE(shown[0] == shown[1]);
    EXPECT_NE(shown[1][6 * 22 + 6], kClear & 0xFFFFFF);  // the sprite, presented
    DestroyWindow(window);
}

}  // namespace

namespace {

// A device released with draws kept into a target only it still holds replays them before the
// target goes (the address sanitizer sees it otherwise), and one the caller holds shows them.
TEST_F(KeptDrawsSyncTest, ADeviceReleasedWithKeptDrawsReplaysThemFirst) {
    platform::SetRasterThreadCount(4);
    D3DPRESENT_PARAMETERS p = d3d9test::WindowedParameters(64, 48, d3d9test::FakeWindow());
    IDirect3DDevice9* other = nullptr;
    ASSERT_EQ(d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, d3d9test::FakeWindow(),
                                 D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &other),
              D3D_OK);
    IDirect3DSurface9* held = nullptr;
    IDirect3DSurface9* dropped = nullptr;
    for (IDirect3DSurface9** s : {&held, &dropped}) {
        ASSERT_EQ(other->CreateRenderTarget(64, 48, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, TRUE,
                                            s, nullptr),
                  D3D_OK);
    }
    other->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    other->SetRenderState(D3DRS_LIGHTING, FALSE);
    other->SetFVF(kFvfTex2D);
    const Tex2D v[3] = {{-0.5f, -0.5f, 0, 1, 0xFF123456u, 0, 0},
                        {64.0f, -0.5f, 0, 1, 0xFF123456u, 0, 0},
                        {-0.5f, 48.0f, 0, 1, 0xFF123456u, 0, 0}};
    uint64_t kept = platform::RasterKeptDrawCount();
    for (IDirect3DSurface9* s : {held, dropped}) {
        ASSERT_EQ(other->SetRenderTarget(0, s), D3D_OK);
        ASSERT_EQ(other->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0), D3D_OK);
        ASSERT_EQ(other->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(Tex2D)), D3D_OK);
    }
    dropped->Release();  // the device's binding is its last reference
    EXPECT_EQ(other->Release(), 0u);
    EXPECT_EQ(platform::RasterKeptDrawCount(), kept + 2);
    EXPECT_EQ(platform::ReadD3D9SurfacePixel(held, 2, 2), 0xFF123456u);
    held->Release();
}

}  // namespace

namespace {

// Draws of more than 64 primitives go at once; a batch replays at 4096 draws by itself.
TEST_F(KeptDrawsSyncTest, LargeDrawsAndLongBatchesAreNotKept) {
    platform::SetRasterThreadCount(4);
    std::vector<Tex2D> v;
    for (int i = 0; i < 65; ++i) {
        float x = static_cast<float>(i % 16) * 8 - 0.5f, y = static_cast<float>(i / 16) * 8 - 0.5f;
        for (const auto& [dx, dy] : {std::pair{0, 0}, {7, 0}, {0, 7}})
            v.push_back({x + dx, y + dy, 0, 1, 0xFF808080u, 0, 0});
    }
    for (UINT count : {64u, 65u}) {
        uint64_t before = platform::RasterKeptDrawCount();
        ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, count, v.data(), sizeof(Tex2D)),
                  D3D_OK);
        // The large draw replays the kept one before it and is not kept itself.
        EXPECT_EQ(platform::RasterKeptDrawCount(), before + (count == 64 ? 0 : 1)) << count;
    }
    uint64_t before = platform::RasterKeptDrawCount();
    for (int i = 0; i < 4096; ++i)
        ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v.data(), sizeof(Tex2D)), D3D_OK);
    EXPECT_EQ(platform::RasterKeptDrawCount(), before + 4096);
}

}  // namespace
