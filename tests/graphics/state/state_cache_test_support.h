// A library started on the Direct3D stand-in with the device's call trace at
// hand: what the render-state cache and the batch sent, in order.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graphics/batch/vertex_batch.h"
#include "graphics/device/shader_pack.h"
#include "graphics/state/render_state_cache.h"
#include "tests/graphics/device/graphics_test_support.h"

namespace tessel_test {

class StateCacheTest : public GraphicsTest {
  protected:
    void SetUp() override {
        GraphicsTest::SetUp();
        ASSERT_EQ(tessel::StartLibrary(), 0);
        ASSERT_NE(tessel::g_graphics.device, nullptr);
        device_ = tessel::g_graphics.device;
        tessel::FlushVertexBatch();
        // Untextured, as 2D boxes and lines draw.
        tessel::SelectVertexFormat(tessel::kVertexColor2D);
        platform::SetD3D9TraceRecording(true);
        platform::ClearD3D9Trace();
    }
    void TearDown() override {
        platform::SetD3D9TraceRecording(false);
        tessel::ShaderPathOn = 0;
        tessel::g_system.quit = 0;
        GraphicsTest::TearDown();
        // The cache outlives the library, as it does in a process; each
        // test starts from a clean one.
        tessel::g_stateCache = {};
    }

    // Each traced call as "Method arguments".
    static std::vector<std::string> Calls() {
        std::vector<std::string> calls;
        for (const platform::D3D9TraceEntry& entry : platform::D3D9Trace()) {
            calls.push_back(entry.method + " " + entry.arguments);
        }
        return calls;
    }
    static int Count(const std::string& call) {
        int count = 0;
        for (const std::string& made : Calls()) {
            count += made == call ? 1 : 0;
        }
        return count;
    }
    // Where a call first comes in the trace; -1 when it never does.
    static int IndexOf(const std::string& call) {
        std::vector<std::string> calls = Calls();
        for (size_t i = 0; i < calls.size(); ++i) {
            if (calls[i] == call) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
    static int IndexOfMethod(const std::string& method) {
        std::vector<platform::D3D9TraceEntry> trace = platform::D3D9Trace();
        for (size_t i = 0; i < trace.size(); ++i) {
            if (trace[i].method == method) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
    static std::string RenderState(D3DRENDERSTATETYPE state, DWORD value) {
        char text[64];
        snprintf(text, sizeof(text), "SetRenderState %u, 0x%X", state, value);
        return text;
    }
    static std::string SamplerState(DWORD stage, D3DSAMPLERSTATETYPE state, DWORD value) {
        char text[64];
        snprintf(text, sizeof(text), "SetSamplerState %u, %u, 0x%X", stage, state, value);
        return text;
    }
    DWORD ReadRenderState(D3DRENDERSTATETYPE state) const {
        DWORD value = 0xDEADBEEF;
        device_->GetRenderState(state, &value);
        return value;
    }
    DWORD ReadSamplerState(DWORD stage, D3DSAMPLERSTATETYPE state) const {
        DWORD value = 0xDEADBEEF;
        device_->GetSamplerState(stage, state, &value);
        return value;
    }
    // Puts `count` coloured points in the batch, so that a flush has
    // something to draw.
    static void AppendPoints(int count) {
        uint8_t* vertices = tessel::ReserveBatchVertices(D3DPT_POINTLIST, count);
        ASSERT_NE(vertices, nullptr);
    }

    IDirect3DDevice9* device_ = nullptr;
};

}  // namespace tessel_test
