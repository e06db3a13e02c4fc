// The warp grid: its points for strength 1 against values worked out by hand, its strips and its
// phase.
#include "game/draw/warp_grid.h"

#include <gtest/gtest.h>

#include "game/draw/game_screens.h"
#include "tests/game/draw/draw_call_recorder.h"

namespace {

using namespace draw_test;

class WarpGridTest : public testing::Test {
  protected:
    void SetUp() override {
        saved_ = FloorScreen;
        FloorScreen = 44;
        WarpGridPhase = 0;
    }
    void TearDown() override {
        FloorScreen = saved_;
        WarpGridPhase = 0;
    }

    // Grid point (i, j) of the last draw: column i leads strip i and trails strip i - 1.
    static const tessel::PolygonVertex& Point(int i, int j) {
        return i < 20 ? g_polygons.at(i).at(2 * j) : g_polygons.at(i - 1).at(2 * j + 1);
    }

    RecordedDrawing recorded_;
    int32_t saved_ = -1;
};

TEST_F(WarpGridTest, PointsSwingByTheWaveWeightedByTheirDistanceFromTheCentre) {
    DrawWarpGrid(200, 240, 1.0, 15.0);
    ASSERT_EQ(g_polygons.size(), 20u);
    // The phase is 9 on the first draw; a point's offset is 15 sin(-(24 i + 9) degrees) x w,
    // w = 1 - distance / 160 (0 beyond), on both axes.
    const struct {
        int i, j;
        double x, y;  // the unswung place is (40 + 16 i, 80 + 16 j)
        float u, v;   // (-24 / 512 + i / 32, 96 / 512 + j / 32)
        int green;    // round((1 - w) x 255)
    } cases[] = {
        // The centre: w = 1, 15 sin(111 degrees) = 14.0037064.
        {10, 10, 214.0037064, 254.0037064, 0.265625f, 0.5f, 0},
        // 80 from the centre (48, 64): w = 0.5, 7.5 sin(39 degrees) = 4.7199029.
        {13, 14, 252.7199029, 308.7199029, 0.359375f, 0.625f, 128},
        // 48 to the left: w = 0.7, 10.5 sin(-177 degrees) = -0.5495275; green 76.5 rounds up.
        {7, 10, 151.4504725, 239.4504725, 0.171875f, 0.5f, 77},
        // The corners and an edge's middle are 160 or more away: unswung, untinted.
        {0, 0, 40.0, 80.0, -0.046875f, 0.1875f, 255},
        {20, 20, 360.0, 400.0, 0.578125f, 0.8125f, 255},
        {10, 20, 200.0, 400.0, 0.265625f, 0.8125f, 255},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.i << "," << c.j);
        const tessel::PolygonVertex& p = Point(c.i, c.j);
        EXPECT_NEAR(p.x, c.x, 2e-5);
        EXPECT_NEAR(p.y, c.y, 2e-5);
        EXPECT_EQ(p.u, c.u);
        EXPECT_EQ(p.v, c.v);
        EXPECT_EQ(p.r, 255);
        EXPECT_EQ(p.g, c.green);
        EXPECT_EQ(p.b, 255);
        EXPECT_EQ(p.a, 255);
    }
    for (int k = 0; k < 20; ++k) {
        EXPECT_EQ(g_calls[k], "polygons 42 5 44 1 0");
        // A strip zigzags down its two columns.
        EXPECT_EQ(g_polygons[k][7].x, Point(k + 1, 3).x);
        EXPECT_EQ(g_polygons[k][7].v, g_polygons[k][6].v);
        EXPECT_EQ(g_polygons[k][8].v, Point(k, 4).v);
    }
}

TEST_F(WarpGridTest, ThePhaseMovesByNineAndWrapsOnlyPast360) {
    const struct {
        int before;
        int after;
    } cases[] = {{0, 9}, {351, 360}, {355, 4}, {360, 9}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before);
        WarpGridPhase = c.before;
        DrawWarpGrid(200, 240, 0.5, 15.0);
        EXPECT_EQ(WarpGridPhase, c.after);
    }
}

TEST_F(WarpGridTest, StrengthZeroDrawsNothingAndKeepsThePhase) {
    WarpGridPhase = 100;
    DrawWarpGrid(200, 240, 0.0, 15.0);
    EXPECT_TRUE(g_calls.empty());
    EXPECT_EQ(WarpGridPhase, 100);
}

}  // namespace
