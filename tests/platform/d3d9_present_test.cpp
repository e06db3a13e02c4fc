// Presentation of the back buffer into the window framebuffer.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "d3d9_fixture.h"
#include "platform/window.h"
#include "popup_window.h"

using d3d9test::WindowedParameters;

namespace {

HWND MakeWindow(int width, int height) {
    return windowtest::MakePopupWindow("D3D9PresentTest", "present", width, height);
}

uint32_t FramebufferPixel(HWND window, int x, int y) {
    return platform::ReadWindowPixel(window, x, y);
}

class PresentTest : public ::testing::Test {
  protected:
    void Open(UINT width, UINT height, D3DFORMAT format, UINT interval,
              D3DSWAPEFFECT swapEffect = D3DSWAPEFFECT_COPY) {
        platform::ResetD3D9Profile();
        window_ = MakeWindow(64, 32);
        ASSERT_NE(window_, nullptr);
        d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS p = WindowedParameters(width, height, window_);
        p.BackBufferFormat = format;
        p.PresentationInterval = interval;
        p.SwapEffect = swapEffect;
        ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_,
                                     D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &device_),
                  D3D_OK);
        ASSERT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back_), D3D_OK);
    }

    void TearDown() override {
        if (back_ != nullptr) {
            back_->Release();
        }
        if (device_ != nullptr) {
            EXPECT_EQ(device_->Release(), 0u);
        }
        if (d3d_ != nullptr) {
            d3d_->Release();
        }
        if (window_ != nullptr) {
            DestroyWindow(window_);
        }
        platform::SetVirtualVerticalBlank(false);
    }

    // Every back-buffer pixel a colour of its own.
    void Pattern() {
        D3DSURFACE_DESC desc;
        back_->GetDesc(&desc);
        for (UINT y = 0; y < desc.Height; ++y) {
            for (UINT x = 0; x < desc.Width; ++x) {
                platform::WriteD3D9SurfacePixel(back_, static_cast<int>(x), static_cast<int>(y),
                                                0xFF000000u | (y * 8) << 16 | (x * 4) << 8 | 0x5A);
            }
        }
    }

    uint32_t Back(int x, int y) { return platform::ReadD3D9SurfacePixel(back_, x, y) & 0xFFFFFF; }

    HWND window_ = nullptr;
    IDirect3D9* d3d_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
    IDirect3DSurface9* back_ = nullptr;
};

TEST_F(PresentTest, WholeBackBufferStretchesOverTheClientArea) {
    Open(32, 16, D3DFMT_X8R8G8B8, D3DPRESENT_INTERVAL_IMMEDIATE);
    Pattern();
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 64; ++x) {
            ASSERT_EQ(FramebufferPixel(window_, x, y), Back(x / 2, y / 2)) << x << ", " << y;
        }
    }
}

TEST_F(PresentTest, RectanglesChooseSourceAndDestination) {
    Open(32, 16, D3DFMT_X8R8G8B8, D3DPRESENT_INTERVAL_IMMEDIATE);
    Pattern();
    platform::WindowFramebuffer fb;
    ASSERT_TRUE(platform::LockWindowFramebuffer(window_, &fb));
    for (int i = 0; i < fb.width * fb.height; ++i) {
        fb.pixels[i] = 0x123456;
    }
    platform::UnlockWindowFramebuffer(window_, false);

    // Source (8, 4)-(16, 12) onto (40, 10)-(48, 18): one to one.
    RECT source = {8, 4, 16, 12};
    RECT dest = {40, 10, 48, 18};
    ASSERT_EQ(device_->Present(&source, &dest, nullptr, nullptr), D3D_OK);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 64; ++x) {
            bool inside = x >= 40 && x < 48 && y >= 10 && y < 18;
            ASSERT_EQ(FramebufferPixel(window_, x, y),
                      inside ? Back(8 + x - 40, 4 + y - 10) : 0x123456u)
                << x << ", " << y;
        }
    }
    // A destination running past the client area is cut at its edge, and
    // the source is still spread over the whole destination rectangle.
    RECT beyond = {56, 24, 72, 40};
    ASSERT_EQ(device_->Present(&source, &beyond, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(FramebufferPixel(window_, 63, 31), Back(8 + 7 / 2, 4 + 7 / 2));
    // A source reaching past the back buffer is clipped to it: columns 0..31
    // of rows 0..7 then fill the whole client area.
    RECT outside = {0, 0, 33, 8};
    ASSERT_EQ(device_->Present(&outside, nullptr, nullptr, nullptr), D3D_OK);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 64; ++x) {
            ASSERT_EQ(FramebufferPixel(window_, x, y), Back(x / 2, y / 4)) << x << ", " << y;
        }
    }
    RECT upLeft = {-3, -5, 8, 4};
    ASSERT_EQ(device_->Present(&upLeft, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(FramebufferPixel(window_, 63, 31), Back(7, 3));
    EXPECT_EQ(FramebufferPixel(window_, 0, 0), Back(0, 0));
}

TEST_F(PresentTest, OneToOneKeepsTheColourBitsWhateverTheUnusedByteHolds) {
    Open(64, 32, D3DFMT_X8R8G8B8, D3DPRESENT_INTERVAL_IMMEDIATE);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(back_->LockRect(&locked, nullptr, 0), D3D_OK);
    for (int y = 0; y < 32; ++y) {
        auto* row =
            reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch);
        for (int x = 0; x < 64; ++x)
            row[x] = static_cast<uint32_t>(x * 0x01030507u + y * 0x2B0D0B09u);
    }
    ASSERT_EQ(back_->UnlockRect(), D3D_OK);
    auto stored = [](int x, int y) {
        return static_cast<uint32_t>(x * 0x01030507u + y * 0x2B0D0B09u) & 0xFFFFFFu;
    };
    // The whole buffer, then a part of it onto another place, then one cut at the left edge.
    RECT source = {5, 3, 29, 19}, dest = {37, 11, 61, 27};
    RECT cutSource = {30, 20, 50, 30}, cutDest = {-6, 20, 14, 30};
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    ASSERT_EQ(device_->Present(&source, &dest, nullptr, nullptr), D3D_OK);
    ASSERT_EQ(device_->Present(&cutSource, &cutDest, nullptr, nullptr), D3D_OK);
    // Read straight from the framebuffer: its unused byte is written too.
    platform::WindowFramebuffer fb;
    ASSERT_TRUE(platform::LockWindowFramebuffer(window_, &fb));
    std::vector<uint32_t> shown(64 * 32);
    for (int y = 0; y < 32; ++y)
        std::memcpy(&shown[y * 64], fb.pixels + y * (fb.pitch / 4), 64 * 4);
    platform::UnlockWindowFramebuffer(window_, false);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 64; ++x) {
            bool moved = x >= 37 && x < 61 && y >= 11 && y < 27;
            bool cut = x < 14 && y >= 20 && y < 30;
            uint32_t expected = cut     ? stored(x + 36, y)
                                : moved ? stored(x - 32, y - 8)
                                        : stored(x, y);
            ASSERT_EQ(shown[y * 64 + x], expected) << x << ", " << y;
        }
    }
}

TEST_F(PresentTest, PresentInsideASceneIsRefused) {
    Open(32, 16, D3DFMT_X8R8G8B8, D3DPRESENT_INTERVAL_IMMEDIATE);
    Pattern();
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    EXPECT_REFUSED(PresentInsideScene, device_->Present(nullptr, nullptr, nullptr, nullptr));
    IDirect3DSwapChain9* chain = nullptr;
    ASSERT_EQ(device_->GetSwapChain(0, &chain), D3D_OK);
    EXPECT_REFUSED(PresentInsideScene, chain->Present(nullptr, nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(FramebufferPixel(window_, 5, 7), 0u);
    ASSERT_EQ(device_->EndScene(), D3D_OK);
    EXPECT_EQ(chain->Present(nullptr, nullptr, nullptr, nullptr, 0), D3D_OK);
    EXPECT_EQ(FramebufferPixel(window_, 5, 7), Back(2, 3));
    chain->Release();
}

TEST_F(PresentTest, RectanglesNeedTheCopySwapEffect) {
    const D3DSWAPEFFECT kFlip = 2;
    for (D3DSWAPEFFECT effect : {D3DSWAPEFFECT_DISCARD, kFlip}) {
        SCOPED_TRACE(effect);
        Open(32, 16, D3DFMT_X8R8G8B8, D3DPRESENT_INTERVAL_IMMEDIATE, effect);
        RECT rect = {0, 0, 8, 8};
        EXPECT_REFUSED(RectsNeedCopySwapEffect, device_->Present(&rect, nullptr, nullptr, nullptr));
        EXPECT_REFUSED(RectsNeedCopySwapEffect, device_->Present(nullptr, &rect, nullptr, nullptr));
        EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        TearDown();
        back_ = nullptr;
        device_ = nullptr;
        d3d_ = nullptr;
        window_ = nullptr;
    }
}

TEST_F(PresentTest, BackBufferKeepsItsContentsAfterPresent) {
    Open(64, 32, D3DFMT_X8R8G8B8, D3DPRESENT_INTERVAL_IMMEDIATE);
    Pattern();
    std::vector<uint32_t> before;
    for (int i = 0; i < 64 * 32; ++i) {
        before.push_back(Back(i % 64, i / 64));
    }
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    for (int i = 0; i < 64 * 32; ++i) {
        ASSERT_EQ(Back(i % 64, i / 64), before[i]);
        ASSERT_EQ(FramebufferPixel(window_, i % 64, i / 64), before[i]);
    }
}

TEST_F(PresentTest, SixteenBitBackBufferWidensByBitReplication) {
    Open(64, 32, D3DFMT_R5G6B5, D3DPRESENT_INTERVAL_IMMEDIATE);
    // R5G6B5 (1, 33, 31) widens to (0x08, 0x86, 0xFF).
    D3DLOCKED_RECT locked;
    ASSERT_EQ(back_->LockRect(&locked, nullptr, 0), D3D_OK);
    static_cast<uint16_t*>(locked.pBits)[0] = static_cast<uint16_t>(1 << 11 | 33 << 5 | 31);
    back_->UnlockRect();
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(FramebufferPixel(window_, 0, 0), 0x0886FFu);
}

TEST_F(PresentTest, IntervalOneWaitsForTheVerticalBlank) {
    Open(64, 32, D3DFMT_X8R8G8B8, D3DPRESENT_INTERVAL_ONE);
    platform::SetVirtualVerticalBlank(true);
    uint64_t before = platform::VerticalBlankCount();
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(platform::VerticalBlankCount(), before + 2);

    IDirect3DSwapChain9* chain = nullptr;
    ASSERT_EQ(device_->GetSwapChain(0, &chain), D3D_OK);
    ASSERT_EQ(chain->Present(nullptr, nullptr, nullptr, nullptr, 0), D3D_OK);
    EXPECT_EQ(platform::VerticalBlankCount(), before + 3);
    chain->Release();
}

TEST_F(PresentTest, ImmediatePresentsWithoutWaitingAndOverridesTheWindow) {
    Open(64, 32, D3DFMT_X8R8G8B8, D3DPRESENT_INTERVAL_IMMEDIATE);
    platform::SetVirtualVerticalBlank(true);
    uint64_t before = platform::VerticalBlankCount();
    Pattern();
    HWND other = MakeWindow(64, 32);
    ASSERT_EQ(device_->Present(nullptr, nullptr, other, nullptr), D3D_OK);
    EXPECT_EQ(platform::VerticalBlankCount(), before);
    EXPECT_EQ(FramebufferPixel(other, 5, 7), Back(5, 7));
    EXPECT_EQ(FramebufferPixel(window_, 5, 7), 0u);
    DestroyWindow(other);
}

TEST_F(PresentTest, LostDevicePresentsNothing) {
    Open(64, 32, D3DFMT_X8R8G8B8, D3DPRESENT_INTERVAL_IMMEDIATE);
    Pattern();
    platform::LoseD3D9Devices();
    EXPECT_REFUSED(DeviceLost, device_->Present(nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(FramebufferPixel(window_, 5, 7), 0u);
}

TEST_F(PresentTest, WindowedDeviceTakesTheClientSizeWhenAskedForNone) {
    Open(64, 32, D3DFMT_X8R8G8B8, D3DPRESENT_INTERVAL_IMMEDIATE);
    D3DPRESENT_PARAMETERS p = WindowedParameters(0, 0, window_);
    IDirect3DDevice9* sized = nullptr;
    ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                 &p, &sized),
              D3D_OK);
    EXPECT_EQ(p.BackBufferWidth, 64u);
    EXPECT_EQ(p.BackBufferHeight, 32u);
    EXPECT_EQ(sized->Release(), 0u);
}

}  // namespace
