// The software blend tables and the fade table against their closed forms.
#include "graphics/memimg/blend_tables.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tessel {
namespace {

class BlendTablesTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { MemImgBuildBlendTables(); }
};

TEST_F(BlendTablesTest, ScaleEntriesAreTheFloorOfTheProductOver255) {
    for (int r = 0; r < 256; ++r) {
        for (int i = 0; i < 256; ++i) {
            // floor(i r / 255) is the largest q with 255 q <= i r.
            const int q = g_blendTables.scale[r][i];
            ASSERT_LE(255 * q, i * r) << r << " " << i;
            ASSERT_GT(255 * (q + 1), i * r) << r << " " << i;
        }
    }
    EXPECT_EQ(g_blendTables.scale[255][200], 200);
    EXPECT_EQ(g_blendTables.scale[0][255], 0);
    EXPECT_EQ(g_blendTables.scale[128][24], 12);
}

TEST_F(BlendTablesTest, DeltaEntriesTruncateTowardZeroOnBothSides) {
    for (int p = 0; p < 256; ++p) {
        EXPECT_EQ(g_blendTables.delta[p][0], 0);
        for (int d = -255; d <= 255; ++d) {
            const int v = g_blendTables.delta[p][256 + d];
            const int magnitude = (d < 0 ? -d : d) * p / 255;
            ASSERT_EQ(v, d < 0 ? -magnitude : magnitude) << p << " " << d;
        }
    }
    EXPECT_EQ(g_blendTables.delta[255][256 - 200], -200);
    EXPECT_EQ(g_blendTables.delta[128][256 - 1], 0);
}

TEST_F(BlendTablesTest, MixEntriesWeighTheFirstFieldByQOver63) {
    for (int q = 0; q < 64; ++q) {
        for (int a = 0; a < 64; ++a) {
            for (int b = 0; b < 64; ++b) {
                const int v = g_blendTables.mix6[q][a][b];
                const int num = a * q + b * (63 - q);
                ASSERT_LE(63 * v, num);
                ASSERT_GT(63 * (v + 1), num);
            }
        }
    }
    EXPECT_EQ(g_blendTables.mix6[25][63][0], 25);
    EXPECT_EQ(g_blendTables.mix6[63][17][40], 17);
}

struct FadeCase {
    int level, range;
    int entries[4][2];  // {mask byte, factor}
};

TEST_F(BlendTablesTest, FadeTableMatchesItsExamples) {
    const FadeCase cases[] = {
        {0, 0, {{0, 255}, {1, 255}, {128, 255}, {255, 255}}},
        {255, 0, {{0, 0}, {200, 0}, {254, 0}, {255, 1}}},
        // Range 0: 0 below the level, 256 - level at it, 255 above.
        {100, 0, {{99, 0}, {100, 156}, {101, 255}, {0, 0}}},
        // Range 255: m + 256 - 2 x level, limited.
        {100, 255, {{0, 56}, {50, 106}, {199, 255}, {255, 255}}},
        {200, 255, {{0, 0}, {143, 0}, {145, 1}, {255, 111}}},
        {37, 9, {{0, 0}, {28, 0}, {29, 14}, {40, 255}}},
    };
    for (const FadeCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "level " << c.level << " range " << c.range);
        MemImgBuildFadeTable(c.level, c.range);
        for (const auto& e : c.entries) {
            EXPECT_EQ(g_blendTables.maskFactor[e[0]], e[1]) << "mask " << e[0];
        }
        const int d = c.range + 1;
        const int b = 256 - ((65536 / d + 256) * c.level) / 256;
        for (int m = 0; m < 256; ++m) {
            ASSERT_EQ(g_blendTables.maskFactor[m], std::clamp(m * 256 / d + b, 0, 255));
        }
    }
}

TEST_F(BlendTablesTest, FadeClampsItsArgumentsInsteadOfDividingByZero) {
    MemImgBuildFadeTable(-5, -1);  // as (0, 0)
    EXPECT_EQ(g_blendTables.maskFactor[0], 255);
    MemImgBuildFadeTable(300, 999);  // as (255, 255)
    EXPECT_EQ(g_blendTables.maskFactor[255], 1);
    EXPECT_EQ(g_blendTables.maskFactor[254], 0);
}

}  // namespace
}  // namespace tessel
