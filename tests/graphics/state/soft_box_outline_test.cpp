// The software box outline drawn by the line kernel on a memory image: an
// adding blend shows each outline pixel hit exactly once and nothing else.
#include <gtest/gtest.h>

#include <cstring>

#include "graphics/memimg/blend_tables.h"
#include "graphics/memimg/memimg.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/state/soft_box_outline.h"
#include "graphics/targets/draw_targets.h"

using namespace tessel;

namespace {

constexpr int kSide = 24;
constexpr uint32_t kColour = 0x030201;

class SoftBoxOutlineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        MemImgBuildBlendTables();
        std::memset(&target_, 0, sizeof target_);
        ASSERT_EQ(MemImgCreateDefault(&target_, kSide, kSide, kMemImgRgb32), 0);
        g_targets.currentSoftTarget = &target_;
        g_drawSettings.blendMode = kBlendAdd;
        g_drawSettings.blendParam = 255;
    }
    void TearDown() override {
        g_targets.currentSoftTarget = nullptr;
        g_drawSettings.blendMode = kBlendCopy;
        g_drawSettings.blendParam = 255;
        MemImgRelease(&target_);
    }
    void Clear() { MemImgFillRect(&target_, nullptr, 0); }
    uint32_t Pixel(int x, int y) const {
        uint32_t v;
        std::memcpy(&v, target_.pixels + y * target_.base->pitch + x * 4, 4);
        return v & 0xFFFFFFu;
    }
    MEMIMG target_;
};

TEST_F(SoftBoxOutlineTest, TheOutlineAddsToEachOfItsPixelsOnce) {
    struct Box {
        int x1, y1, x2, y2;
    };
    // Wide, small, partly outside, one column, one row, one pixel.
    const Box boxes[] = {{10, 12, 17, 17}, {0, 0, 2, 2}, {-3, 4, 5, 6},
                         {3, 3, 4, 9},     {3, 3, 9, 4}, {5, 5, 6, 6}};
    for (const Box& b : boxes) {
        SCOPED_TRACE(testing::Message() << b.x1 << "," << b.y1 << " - " << b.x2 << "," << b.y2);
        Clear();
        ASSERT_EQ(SoftDrawBoxOutline(b.x1, b.y1, b.x2, b.y2, kColour), 0);
        for (int y = 0; y < kSide; ++y) {
            for (int x = 0; x < kSide; ++x) {
                const bool inside = x >= b.x1 && x < b.x2 && y >= b.y1 && y < b.y2;
                const bool border = x == b.x1 || x == b.x2 - 1 || y == b.y1 || y == b.y2 - 1;
                ASSERT_EQ(Pixel(x, y), inside && border ? kColour : 0u) << x << ", " << y;
            }
        }
    }
}

TEST_F(SoftBoxOutlineTest, FourLinesGoRoundTheBoxAndCarryTheBlendParameter) {
    g_drawSettings.blendParam = 77;
    MemImgLineRecord lines[4];
    ASSERT_EQ(MakeBoxOutlineLines(10, 20, 17, 25, 9, lines), 4);
    const int expected[4][4] = {
        {10, 20, 16, 20}, {16, 20, 16, 24}, {16, 24, 10, 24}, {10, 24, 10, 20}};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(lines[i].x1, expected[i][0]);
        EXPECT_EQ(lines[i].y1, expected[i][1]);
        EXPECT_EQ(lines[i].x2, expected[i][2]);
        EXPECT_EQ(lines[i].y2, expected[i][3]);
        EXPECT_EQ(lines[i].colour, 9u);
        EXPECT_EQ(lines[i].extra, 77);
    }
}

}  // namespace
