// The fixtures of the mesh shader path's tests: a library started on a device with shaders 2.0
// and the target's pixels read back; on it, a model on the base built by the test with its
// device buffers, its meshes drawn on the shader path or the fixed-function path, and the two
// drawings compared pixel by pixel.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "graphics/camera/camera.h"
#include "graphics/device/device_state.h"
#include "graphics/device/shader_pack.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/state/render_state_cache.h"
#include "models/anim/model_animation.h"
#include "models/buffers/model_buffers.h"
#include "models/drawing/model_drawing.h"
#include "models/instances/model_instances.h"
#include "platform/d3d9_testing.h"
#include "tests/graphics/targets/drawing_comparison.h"
#include "tests/graphics/targets/target_test_support.h"
#include "tests/models/model_base_builder.h"
#include "tests/models/model_test_support.h"

namespace tessel_test {

constexpr uint32_t kBackground = 0x102030;

// Large enough on the target's camera (z = 0 shows pixel for pixel), turned a little so that
// nothing is round.
inline tessel::Mat3x4 Placement(float scale, float turn, float x, float y) {
    const float c = std::cos(turn) * scale, s = std::sin(turn) * scale;
    return {{{c, -s, 0.0f, x}, {s, c, 0.0f, y}, {0.0f, 0.0f, scale, 0.0f}}};
}

// The current target's 640 x 480 pixels, 0xRRGGBB, row by row.
inline std::vector<uint32_t> ReadTargetPixels() {
    std::vector<uint32_t> pixels;
    IDirect3DSurface9* target = tessel::g_stateCache.renderTarget;
    for (int y = 0; y < 480; ++y) {
        for (int x = 0; x < 640; ++x) {
            pixels.push_back(platform::ReadD3D9SurfacePixel(target, x, y) & 0xFFFFFF);
        }
    }
    return pixels;
}

// The library on the hardware path of a device with shaders 2.0, the shader path on, drawing
// on the back screen with the 3D lighting on.
class ShaderModelTest : public ModelSystemTest {
  protected:
    void SetUp() override {
        platform::D3D9Profile profile = platform::DefaultD3D9Profile();
        profile.vertexShaderVersion = D3DVS_VERSION(2, 0);
        profile.pixelShaderVersion = D3DPS_VERSION(2, 0);
        ImageTest::SetUp();
        platform::SetD3D9Profile(profile);
        Start(true);
        ASSERT_EQ(tessel::ShaderPathOn, 1);
        ASSERT_EQ(tessel::SelectDrawTarget(tessel::kBackScreen), 0);
        tessel::EnableLighting3D(1);
    }
    void TearDown() override {
        tessel::ShaderPathOn = 0;
        ModelSystemTest::TearDown();
    }
};

class MeshShaderPathTest : public ShaderModelTest {
  protected:
    void SetUp() override {
        ShaderModelTest::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        base_.frames = {{-1, {120.0f, 180.0f, 0.0f}, {45.0f, 45.0f, 45.0f}, {0.0f, 0.0f, 0.2f}},
                        {0}};
        base_.skinBones = {{0, 0, {}, 0}, {0, 1, {}, 0}};
    }
    void TearDown() override {
        platform::SetD3D9TraceRecording(false);
        ShaderModelTest::TearDown();
    }

    // beforeBuffers may change the stored base before its device buffers are made.
    void Create(const std::function<void(TestBase&)>& beforeBuffers = {}) {
        ASSERT_NE(base_.Store(), -1);
        if (beforeBuffers) {
            beforeBuffers(base_);
        }
        ASSERT_EQ(tessel::BuildModelBaseBuffers(base_.handle(), 1), 0);
        const int handle = tessel::NewModelHandle();
        ASSERT_EQ(tessel::CreateModelFromBase(handle, base_.handle()), 0);
        record_ = tessel::GetModelInstance(handle);
        tessel::UpdateModelMatrices(record_);
        record_->boneMatrices[0] = Placement(40.0f, 0.15f, 150.0f, 200.0f);
        record_->boneMatrices[1] = Placement(36.0f, -0.1f, 170.0f, 230.0f);
    }

    // The target's pixels after one draw of every mesh, on the shader path or not.
    std::vector<uint32_t> Draw(bool shaders) {
        tessel::ShaderPathOn = shaders ? 1 : 0;
        // The registers set while the path was off live in the shadows only: the first upload
        // sends them all, as after the shaders are made again.
        tessel::g_stateCache.wholeUpload = 1;
        Paint(RECT{0, 0, 640, 480}, kBackground);
        // Each drawing starts from a clear depth buffer, whatever was drawn before it.
        tessel::g_graphics.device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        tessel::BeginModelDrawState(record_);
        for (int32_t m = 0; m < record_->base->meshCount; ++m) {
            tessel::DrawModelMesh(&record_->meshes[m]);
        }
        tessel::FlushVertexBatchPublic();
        return ReadTargetPixels();
    }

    void ExpectSameBothWays(int expectedShaderDraws) {
        const int indexed = platform::D3D9CallCount("DrawIndexedPrimitive");
        const int fromMemory = platform::D3D9CallCount("DrawIndexedPrimitiveUP");
        const std::vector<uint32_t> shaded = Draw(true);
        EXPECT_EQ(platform::D3D9CallCount("DrawIndexedPrimitive") - indexed, expectedShaderDraws);
        const int fixedDrawsWithShaders =
            platform::D3D9CallCount("DrawIndexedPrimitiveUP") - fromMemory;
        EXPECT_EQ(fixedDrawsWithShaders, record_->base->meshCount - expectedShaderDraws);
        const std::vector<uint32_t> fixed = Draw(false);
        EXPECT_EQ(platform::D3D9CallCount("DrawIndexedPrimitive") - indexed, expectedShaderDraws);
        const DrawingComparison c = CompareDrawings(shaded, fixed, kBackground);
        EXPECT_GT(c.drawn, 500);
        EXPECT_EQ(c.off, 0) << "worst " << c.worst << " of " << c.drawn;
    }

    TestBase base_;
    tessel::ModelInstance* record_ = nullptr;
};

}  // namespace tessel_test
