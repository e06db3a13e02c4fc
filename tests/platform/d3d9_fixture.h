// A Direct3D 9 device for the device tests, with helpers to fill and read
// surfaces through their locks, and EXPECT_REFUSED, which asserts why the
// device refused a call. Every refusal a test provokes must be asserted so
// (d3d9_refusal_test.cpp checks it after each test).
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/d3d9.h"
#include "platform/d3d9_testing.h"

namespace d3d9test {

// Refusals asserted by EXPECT_REFUSED since the program started.
inline uint64_t& AssertedRefusals() {
    static uint64_t count = 0;
    return count;
}

// The call was refused once, for that reason, with the reason's result.
inline void CheckRefusal(HRESULT result, uint64_t countBefore, platform::D3D9Refusal reason,
                         const char* call) {
    EXPECT_EQ(result, platform::D3D9RefusalResult(reason)) << call;
    EXPECT_EQ(platform::D3D9RefusalCount(), countBefore + 1) << call << ": not refused once";
    EXPECT_STREQ(platform::D3D9RefusalName(platform::LastD3D9Refusal()),
                 platform::D3D9RefusalName(reason))
        << call;
    ++AssertedRefusals();
}

}  // namespace d3d9test

// EXPECT_REFUSED(NullArgument, device->GetViewport(nullptr)): the call returns
// what the reason gives and the device names that reason.
#define EXPECT_REFUSED(reason, ...)                                                            \
    do {                                                                                       \
        uint64_t refusalsBefore_ = platform::D3D9RefusalCount();                               \
        HRESULT refusedResult_ = (__VA_ARGS__);                                                \
        d3d9test::CheckRefusal(refusedResult_, refusalsBefore_, platform::D3D9Refusal::reason, \
                               #__VA_ARGS__);                                                  \
    } while (0)

namespace d3d9test {

// The device tests draw into no window, so any non-null handle will do.
inline HWND FakeWindow() {
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1000));
}

// The default profile with its own display, whatever the window service's is.
inline platform::D3D9Profile PinnedProfile() {
    platform::D3D9Profile profile = platform::DefaultD3D9Profile();
    profile.followDesktop = false;
    return profile;
}

inline D3DPRESENT_PARAMETERS WindowedParameters(UINT width, UINT height, HWND window) {
    D3DPRESENT_PARAMETERS p{};
    p.BackBufferWidth = width;
    p.BackBufferHeight = height;
    p.BackBufferFormat = D3DFMT_X8R8G8B8;
    p.BackBufferCount = 1;
    p.SwapEffect = D3DSWAPEFFECT_COPY;
    p.hDeviceWindow = window;
    p.Windowed = TRUE;
    p.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    p.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    return p;
}

class DeviceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::ResetD3D9Profile();
        platform::ClearD3D9Trace();
        d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d_, nullptr);
        D3DPRESENT_PARAMETERS p = WindowedParameters(64, 48, FakeWindow());
        ASSERT_EQ(d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, FakeWindow(),
                                     D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &device_),
                  D3D_OK);
    }

    void TearDown() override {
        if (device_ != nullptr) {
            EXPECT_EQ(device_->Release(), 0u);
        }
        d3d_->Release();
        platform::ResetD3D9Profile();
        platform::SetD3D9TraceRecording(false);
        platform::ClearD3D9Trace();
    }

    IDirect3DSurface9* Plain(UINT w, UINT h, D3DFORMAT format, D3DPOOL pool = D3DPOOL_DEFAULT) {
        IDirect3DSurface9* surface = nullptr;
        EXPECT_EQ(device_->CreateOffscreenPlainSurface(w, h, format, pool, &surface, nullptr),
                  D3D_OK);
        return surface;
    }

    IDirect3D9* d3d_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
};

// Writes raw bytes row by row into a lockable surface.
inline void FillBytes(IDirect3DSurface9* surface, const std::vector<uint8_t>& bytes, int rowBytes,
                      int rows) {
    D3DLOCKED_RECT locked;
    ASSERT_EQ(surface->LockRect(&locked, nullptr, 0), D3D_OK);
    for (int y = 0; y < rows; ++y) {
        std::memcpy(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch,
                    bytes.data() + y * rowBytes, static_cast<size_t>(rowBytes));
    }
    ASSERT_EQ(surface->UnlockRect(), D3D_OK);
}

inline std::vector<uint8_t> ReadBytes(IDirect3DSurface9* surface, int rowBytes, int rows) {
    std::vector<uint8_t> bytes(static_cast<size_t>(rowBytes) * rows);
    D3DLOCKED_RECT locked;
    EXPECT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    for (int y = 0; y < rows; ++y) {
        std::memcpy(bytes.data() + y * rowBytes,
                    static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch,
                    static_cast<size_t>(rowBytes));
    }
    EXPECT_EQ(surface->UnlockRect(), D3D_OK);
    return bytes;
}

inline D3DMATRIX Identity() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

// World, view and projection all identity: vertices are given in clip space.
inline void SetIdentityTransforms(IDirect3DDevice9* device) {
    D3DMATRIX id = Identity();
    device->SetTransform(D3DTS_WORLD, &id);
    device->SetTransform(D3DTS_VIEW, &id);
    device->SetTransform(D3DTS_PROJECTION, &id);
}

// A float as the DWORD that render states holding floats take.
inline DWORD FloatBits(float f) {
    DWORD d;
    std::memcpy(&d, &f, 4);
    return d;
}

}  // namespace d3d9test
