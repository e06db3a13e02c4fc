// A device made under the shader profile (caps report vertex and pixel shaders 2.0), 64 x 48,
// with a D16 depth surface at hand.
#pragma once

#include "platform/d3d9_fixture.h"

namespace shadertest {

inline platform::D3D9Profile ShaderProfile() {
    platform::D3D9Profile profile = d3d9test::PinnedProfile();
    profile.vertexShaderVersion = D3DVS_VERSION(2, 0);
    profile.pixelShaderVersion = D3DPS_VERSION(2, 0);
    return profile;
}

class ShaderDeviceTest : public ::testing::Test {
  protected:
    void SetUp() override { Create(64, 48); }

    void Create(UINT width, UINT height) {
        platform::ResetD3D9Profile();
        platform::SetD3D9Profile(ShaderProfile());
        platform::ClearD3D9Trace();
        d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d_, nullptr);
        D3DPRESENT_PARAMETERS p =
            d3d9test::WindowedParameters(width, height, d3d9test::FakeWindow());
        ASSERT_EQ(d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, d3d9test::FakeWindow(),
                                     D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &device_),
                  D3D_OK);
    }

    void TearDown() override {
        if (device_ != nullptr) {
            EXPECT_EQ(device_->Release(), 0u);
        }
        if (d3d_ != nullptr)
            d3d_->Release();
        platform::ResetD3D9Profile();
        platform::ClearD3D9Trace();
    }

    IDirect3D9* d3d_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
};

}  // namespace shadertest
