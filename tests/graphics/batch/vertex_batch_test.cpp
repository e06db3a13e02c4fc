// The vertex batch: primitive counts of a flush, dropping on quit or skip,
// the fixed limits, the prefilled and zeroed arrays, the shader selectors
// and the grid strips.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "graphics/batch/vertex_batch.h"
#include "graphics/device/shader_pack.h"
#include "tests/graphics/state/state_cache_test_support.h"

using namespace tessel;
using tessel_test::StateCacheTest;

namespace {

TEST_F(StateCacheTest, AFlushDrawsWholePrimitivesOfThePendingVertices) {
    struct Case {
        D3DPRIMITIVETYPE kind;
        int vertices;
        const char* draw;
    };
    const Case cases[] = {
        {D3DPT_TRIANGLELIST, 5, "DrawPrimitiveUP 4, 1, stride 20"},
        {D3DPT_TRIANGLESTRIP, 2, "DrawPrimitiveUP 5, 0, stride 20"},
        {D3DPT_TRIANGLEFAN, 7, "DrawPrimitiveUP 6, 5, stride 20"},
        {D3DPT_LINELIST, 5, "DrawPrimitiveUP 2, 2, stride 20"},
        {D3DPT_LINESTRIP, 4, "DrawPrimitiveUP 3, 3, stride 20"},
        {D3DPT_POINTLIST, 3, "DrawPrimitiveUP 1, 3, stride 20"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.draw);
        platform::ClearD3D9Trace();
        ASSERT_NE(ReserveBatchVertices(c.kind, c.vertices), nullptr);
        EXPECT_EQ(FlushVertexBatch(), 0);
        EXPECT_EQ(Count(c.draw), 1);
        EXPECT_EQ(g_batch.count, 0);
        EXPECT_EQ(g_batch.writePointer, g_batch.buffers[g_batch.format]);
        EXPECT_EQ(g_batch.primitiveKind, static_cast<int>(c.kind)) << "the kind survives";
    }
}

TEST_F(StateCacheTest, AFlushAfterAQuitRequestOrWithTheSkipFlagDrawsNothingButEmptiesTheBatch) {
    for (int quit = 0; quit < 2; ++quit) {
        SCOPED_TRACE(quit ? "quit" : "skip");
        platform::ClearD3D9Trace();
        g_system.quit = quit;
        g_batch.skip = quit ? 0 : 1;
        AppendPoints(4);
        EXPECT_EQ(FlushVertexBatch(), 0);
        EXPECT_EQ(g_batch.count, 0);
        EXPECT_EQ(IndexOfMethod("DrawPrimitiveUP"), -1);
        EXPECT_EQ(g_batch.skip, quit ? 0 : 1) << "a flush cleared the skip flag";
        g_system.quit = 0;
        g_batch.skip = 0;
    }
}

TEST_F(StateCacheTest, AnEmptyFlushTouchesNothingAndAFlushWithoutADeviceKeepsTheBatch) {
    EXPECT_EQ(FlushVertexBatch(), 0);
    EXPECT_TRUE(Calls().empty());
    AppendPoints(2);
    IDirect3DDevice9* device = g_graphics.device;
    g_graphics.device = nullptr;
    EXPECT_EQ(FlushVertexBatch(), -1);
    EXPECT_EQ(FlushVertexBatchPublic(), 0);
    EXPECT_EQ(g_batch.count, 2);
    g_graphics.device = device;
}

TEST_F(StateCacheTest, TheFvfIsSentOnlyWhenTheFormatChanges) {
    // The start-up point drew untextured already; another format first.
    ASSERT_EQ(SelectVertexFormat(kVertexTex2D2), 0);
    AppendPoints(1);
    FlushVertexBatch();
    ASSERT_EQ(SelectVertexFormat(kVertexColor2D), 0);
    platform::ClearD3D9Trace();
    AppendPoints(1);
    FlushVertexBatch();
    AppendPoints(1);
    FlushVertexBatch();
    EXPECT_EQ(Count("SetFVF 0x44"), 1);
    ASSERT_EQ(SelectVertexFormat(kVertexTex2D), 0);
    AppendPoints(1);
    FlushVertexBatch();
    EXPECT_EQ(Count("SetFVF 0x144"), 1);
    EXPECT_EQ(Count("DrawPrimitiveUP 1, 1, stride 28"), 1);
    EXPECT_EQ(SelectVertexFormat(4), -1);
}

TEST_F(StateCacheTest, EachFormatHoldsItsLimitAndTheNextVertexStartsANewDraw) {
    for (int format = 0; format < kVertexFormatCount; ++format) {
        SCOPED_TRACE(format);
        ASSERT_EQ(SelectVertexFormat(format), 0);
        int limit = kVertexLimit[format];
        EXPECT_LE(limit * kVertexStride[format], kBatchBufferBytes);
        EXPECT_EQ(ReserveBatchVertices(D3DPT_POINTLIST, limit + 1), nullptr);
        ASSERT_NE(ReserveBatchVertices(D3DPT_POINTLIST, limit - 1), nullptr);
        platform::ClearD3D9Trace();
        ASSERT_NE(ReserveBatchVertices(D3DPT_POINTLIST, 1), nullptr);
        EXPECT_EQ(IndexOfMethod("DrawPrimitiveUP"), -1) << "the last slot did not fit";
        EXPECT_EQ(g_batch.count, limit);
        uint8_t* next = ReserveBatchVertices(D3DPT_POINTLIST, 1);
        EXPECT_EQ(next, g_batch.buffers[format]);
        EXPECT_EQ(g_batch.count, 1);
        FlushVertexBatch();
    }
    EXPECT_EQ(ReserveBatchVertices(0, 1), nullptr);
    EXPECT_EQ(ReserveBatchVertices(7, 1), nullptr);
    EXPECT_EQ(ReserveBatchVertices(D3DPT_POINTLIST, 0), nullptr);
}

TEST_F(StateCacheTest, AnotherPrimitiveKindDrawsThePendingRunFirst) {
    ASSERT_NE(ReserveBatchVertices(D3DPT_TRIANGLELIST, 6), nullptr);
    ASSERT_NE(ReserveBatchVertices(D3DPT_TRIANGLELIST, 3), nullptr);
    EXPECT_EQ(IndexOfMethod("DrawPrimitiveUP"), -1);
    ASSERT_NE(ReserveBatchVertices(D3DPT_LINELIST, 2), nullptr);
    EXPECT_EQ(Count("DrawPrimitiveUP 4, 3, stride 20"), 1);
    EXPECT_EQ(g_batch.count, 2);
}

TEST_F(StateCacheTest, TheSetUpPointDrawsFromZeroedPrefilledSlots) {
    // Whatever the arrays held before (here, colours of earlier draws) must
    // not reach the point that the next start-up appends.
    for (int format = 0; format < kVertexFormatCount; ++format) {
        const uint32_t stale = 0xDEADBEEF;
        std::memcpy(g_batch.buffers[format] + 16, &stale, 4);
        std::memcpy(g_batch.buffers[format] + 12, &stale, 4);
    }
    EndLibrary();
    platform::SetD3D9TraceRecording(true);
    platform::ClearD3D9Trace();
    ASSERT_EQ(StartLibrary(), 0);
    // The draw settings' reset, right after the point went in, flushed it.
    EXPECT_EQ(g_batch.count, 0);
    EXPECT_EQ(Count("DrawPrimitiveUP 1, 1, stride 20"), 1) << "one point, untextured";
    std::vector<platform::D3D9TraceEntry> trace = platform::D3D9Trace();
    const platform::D3D9TraceEntry* draw = nullptr;
    for (const auto& entry : trace) {
        if (entry.method == "DrawPrimitiveUP") {
            draw = &entry;
        }
    }
    ASSERT_NE(draw, nullptr);
    int stride = kVertexStride[g_batch.format];
    ASSERT_EQ(draw->vertices.size(), static_cast<size_t>(stride));
    float position[4];
    std::memcpy(position, draw->vertices.data(), sizeof(position));
    EXPECT_EQ(position[0], 0.0f);
    EXPECT_EQ(position[1], 0.0f);
    EXPECT_EQ(position[2], 0.0f);
    EXPECT_EQ(position[3], 1.0f) << "rhw is prefilled";
    uint32_t colour = 0xDEADBEEF;
    std::memcpy(&colour, draw->vertices.data() + 16, 4);
    EXPECT_EQ(colour, 0u) << "the unwritten colour must come from a zeroed array";
}

TEST_F(StateCacheTest, SlotsArePrefilledWithDepthRhwAndAWhiteSpecular) {
    for (int format = 0; format < kVertexTex3D; ++format) {
        SCOPED_TRACE(format);
        const uint8_t* last =
            g_batch.buffers[format] + (kVertexLimit[format] - 1) * kVertexStride[format];
        float depthAndRhw[2];
        std::memcpy(depthAndRhw, last + 8, 8);
        EXPECT_EQ(depthAndRhw[0], 0.0f);
        EXPECT_EQ(depthAndRhw[1], 1.0f);
    }
    uint32_t specular = 0;
    std::memcpy(&specular, g_batch.buffers[kVertexTex2D2] + 7 * 40 + 20, 4);
    EXPECT_EQ(specular, 0xFFFFFFFFu);
    float notPrefilled = -1.0f;
    std::memcpy(&notPrefilled, g_batch.buffers[kVertexTex3D] + 12, 4);
    EXPECT_EQ(notPrefilled, 0.0f);
}

TEST_F(StateCacheTest, ShaderSelectorsFollowLightingLightTypesAndFog) {
    ShaderPathOn = 1;
    D3DLIGHT9 directional = {};
    directional.Type = D3DLIGHT_DIRECTIONAL;
    D3DLIGHT9 point = {};
    point.Type = D3DLIGHT_POINT;
    ApplyLightBlock(0, 1, &directional);
    ApplyLightBlock(1, 1, &point);
    ApplyLightBlock(2, 0, &point);
    SetFogEnableState(0);
    SetLightingSwitch(1);
    UpdateShaderSelectors();
    EXPECT_EQ(VertexShaderSelector, 29088);
    EXPECT_EQ(PixelShaderSelector, 2328);

    // Fog counts only while it is on; lighting off clears the light part.
    SetFogModeState(2);
    EXPECT_EQ(VertexShaderSelector, 29088);
    SetFogEnableState(1);
    EXPECT_EQ(VertexShaderSelector, 8 * (0 + 4 * (1 + 4 * (3 + 4 * (2 + 8 * 7)))));
    SetLightingSwitch(0);
    EXPECT_EQ(VertexShaderSelector, 8 * 4 * 4 * 4 * 2);
    EXPECT_EQ(PixelShaderSelector, 0);

    // Off the shader path the selectors are left as they are.
    ShaderPathOn = 0;
    SetLightingSwitch(1);
    EXPECT_EQ(VertexShaderSelector, 8 * 4 * 4 * 4 * 2);
}

TEST_F(StateCacheTest, GridStripsAreDrawnInListsOfAtMostAThousandIndices) {
    std::vector<VertexTex2D> grid(100 * 10);
    EXPECT_EQ(DrawGridStrips(1, grid.data(), 10), -1);
    EXPECT_EQ(DrawGridStrips(100, grid.data(), 1), -1);
    EXPECT_EQ(DrawGridStrips(501, grid.data(), 2), -1);
    AppendPoints(1);
    FlushVertexBatch();
    platform::ClearD3D9Trace();
    ASSERT_EQ(DrawGridStrips(100, grid.data(), 10), 0);
    // Nine strips of 200 indices, joined by two: four strips make 806.
    const char* full =
        "DrawIndexedPrimitiveUP 5, min 0, 1000 vertices, 804, index format 101, stride 28";
    const char* rest =
        "DrawIndexedPrimitiveUP 5, min 0, 1000 vertices, 198, index format 101, stride 28";
    EXPECT_EQ(Count(full), 2);
    EXPECT_EQ(Count(rest), 1);
    EXPECT_EQ(Count("SetFVF 0x144"), 1);

    // Two strips of 500 fill a list but for the two joining indices.
    std::vector<VertexTex2D> wide(250 * 3);
    platform::ClearD3D9Trace();
    ASSERT_EQ(DrawGridStrips(250, wide.data(), 3), 0);
    EXPECT_EQ(Count("DrawIndexedPrimitiveUP 5, min 0, 750 vertices, 498, index format 101, "
                    "stride 28"),
              2);
}

// Every pixel of the grid's area is covered exactly once when the strips are
// drawn adding up: a wrong index leaves a hole or hits a pixel twice.
TEST_F(StateCacheTest, GridStripsCoverTheirAreaExactlyOnce) {
    const int columns = 120;  // a split into several lists
    const int rows = 7;
    std::vector<VertexTex2D> grid(columns * rows);
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            grid[row * columns + column] = {static_cast<float>(column * 3),
                                            static_cast<float>(row * 4),
                                            0.0f,
                                            1.0f,
                                            0xFF101010u,
                                            0.0f,
                                            0.0f};
        }
    }
    device_->SetTexture(0, nullptr);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    device_->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    SetZEnableState(0);
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    ASSERT_EQ(DrawGridStrips(columns, grid.data(), rows), 0);
    const int right = (columns - 1) * 3;
    const int bottom = (rows - 1) * 4;
    int wrong = 0;
    for (int y = 0; y <= bottom; ++y) {
        for (int x = 0; x <= right; ++x) {
            uint32_t expected = x < right && y < bottom ? 0x101010u : 0u;
            uint32_t pixel = platform::ReadD3D9BackBufferPixel(device_, x, y) & 0xFFFFFFu;
            if (pixel != expected && wrong++ < 5) {
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex << pixel;
            }
        }
    }
    EXPECT_EQ(wrong, 0);
}

}  // namespace
