// Pixels of every blend mode drawn on the CPU device, against the device's documented arithmetic.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "graphics/batch/vertex_batch.h"
#include "graphics/drawstate/draw_state.h"
#include "graphics/settings/draw_settings.h"
#include "tests/graphics/device/graphics_test_support.h"

namespace {

using namespace tessel;

// round(x / 255), as the device rounds.
int Div255(int x) {
    return (x + 127) / 255;
}

struct Rgb {
    int r, g, b;
};

constexpr uint32_t kTexel = 0xB4C86432;  // alpha 180, (200, 100, 50)
constexpr uint32_t kDest = 0x205A90;     // (32, 90, 144)
constexpr int kParam = 77;
constexpr Rgb kBright = {240, 130, 255};

class BlendPixelsTest : public tessel_test::GraphicsTest, public testing::WithParamInterface<bool> {
  protected:
    void SetUp() override {
        GraphicsTest::SetUp();
        if (!GetParam()) {
            platform::D3D9Profile profile = platform::DefaultD3D9Profile();
            profile.primitiveMiscCaps &= ~static_cast<DWORD>(D3DPMISCCAPS_BLENDOP);
            platform::SetD3D9Profile(profile);
        }
        ASSERT_EQ(StartLibrary(), 0);
        ASSERT_NE(g_graphics.device, nullptr);
        ASSERT_EQ(g_graphics.blendOpSupported, GetParam() ? 1 : 0);
        IDirect3DDevice9* device = g_graphics.device;
        ASSERT_EQ(
            device->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture_, nullptr),
            D3D_OK);
        D3DLOCKED_RECT locked = {};
        ASSERT_EQ(texture_->LockRect(0, &locked, nullptr, 0), D3D_OK);
        for (int y = 0; y < 2; ++y) {
            auto* row =
                reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch);
            row[0] = row[1] = kTexel;
        }
        texture_->UnlockRect(0);
    }
    void TearDown() override {
        FlushVertexBatch();
        SetDrawTexture(nullptr);
        if (texture_ != nullptr) {
            texture_->Release();
        }
        GraphicsTest::TearDown();
        g_stateCache = {};
    }

    // A 4 x 4 quad of the texture over a cleared target; the pixel at (1, 1).
    uint32_t Draw(int mode) {
        IDirect3DDevice9* device = g_graphics.device;
        FlushVertexBatch();
        device->Clear(0, nullptr, D3DCLEAR_TARGET, kDest, 1.0f, 0);
        SetImageBlendMode(mode, kParam);
        SetImageBrightness(kBright.r, kBright.g, kBright.b);
        TextureFormatRequest info = {};
        info.alpha = 1;
        ApplyDrawSettings(&info, texture_, kDrawUseTextureFlags);
        auto* v = reinterpret_cast<VertexTex2D*>(ReserveBatchVertices(D3DPT_TRIANGLELIST, 6));
        if (v == nullptr) {
            ADD_FAILURE() << "no vertices";
            return 0;
        }
        const float corners[6][4] = {{0, 0, 0, 0}, {4, 0, 1, 0}, {0, 4, 0, 1},
                                     {4, 0, 1, 0}, {4, 4, 1, 1}, {0, 4, 0, 1}};
        for (int i = 0; i < 6; ++i) {
            v[i] = VertexTex2D{corners[i][0] - 0.5f,
                               corners[i][1] - 0.5f,
                               0.0f,
                               1.0f,
                               g_drawSettings.combinedDrawColor,
                               corners[i][2],
                               corners[i][3]};
        }
        FlushVertexBatch();
        return platform::ReadD3D9SurfacePixel(g_graphics.backBuffer, 1, 1) & 0xFFFFFF;
    }

    IDirect3DTexture9* texture_ = nullptr;
};

int Channel(uint32_t c, int shift) {
    return static_cast<int>((c >> shift) & 0xFF);
}

// The device's blend of one channel with factors fs and fd.
int BlendAdd(int s, int fs, int d, int fd) {
    return std::min(255, Div255(s * fs + d * fd));
}
int BlendRevSub(int s, int fs, int d, int fd) {
    return Div255(std::max(0, d * fd - s * fs));
}

TEST_P(BlendPixelsTest, EveryModeBlendsAsTheDeviceArithmeticSays) {
    const bool revSub = GetParam();
    const int texA = static_cast<int>(kTexel >> 24);
    const int bright[3] = {kBright.r, kBright.g, kBright.b};
    const int shifts[3] = {16, 8, 0};
    for (int mode = 0; mode <= 12; ++mode) {
        SCOPED_TRACE(testing::Message() << "mode " << mode);
        const uint32_t got = Draw(mode);
        // Stage 0: the texel modulated by the brightness (not white), alpha by
        // the parameter in every mode but 0.
        const int sa = mode == 0 ? texA : Div255(texA * kParam);
        for (int c = 0; c < 3; ++c) {
            SCOPED_TRACE(testing::Message() << "channel " << c);
            const int t = Channel(kTexel, shifts[c]);
            const int d = Channel(kDest, shifts[c]);
            int s = Div255((mode == 10 ? 255 - t : t) * bright[c]);
            if (mode == 11) {
                // Faded to white as alpha falls.
                s = Div255(s * sa + 255 * (255 - sa));
            }
            int want = 0;
            switch (mode) {
                case 0:  // an alpha texture draws alpha-blended even in copy mode
                case 1:
                case 6:
                case 7:  // keeps the factors mode 6 left
                case 10:
                    want = BlendAdd(s, sa, d, 255 - sa);
                    break;
                case 2:
                case 5:
                    want = BlendAdd(s, sa, d, 255);
                    break;
                case 3:
                    want = revSub ? BlendRevSub(s, sa, d, 255) : BlendAdd(s, 255 - d, d, 0);
                    break;
                case 4:
                case 11:
                    want = BlendAdd(s, 0, d, s);
                    break;
                case 8:
                    want = d;
                    break;
                case 9:
                    want = BlendAdd(s, 255 - d, d, 0);
                    break;
                case 12:
                    // Without the capability the device adds.
                    want = revSub ? BlendRevSub(s, sa, d, 255) : BlendAdd(s, sa, d, 255);
                    break;
            }
            EXPECT_EQ(Channel(got, shifts[c]), want);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Devices, BlendPixelsTest, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "WithReverseSubtract" : "WithoutReverseSubtract";
                         });

}  // namespace
