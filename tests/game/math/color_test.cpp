// Colour records, the 0..1 to byte rule and the pale hue circle.
#include "game/math/color.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

void ExpectColor(const ColorRecord& got, int r, int g, int b, int a) {
    EXPECT_EQ(got.r, r);
    EXPECT_EQ(got.g, g);
    EXPECT_EQ(got.b, b);
    EXPECT_EQ(got.a, a);
}

TEST(GameColor, RecordsHoldTheirBytesInOrder) {
    ExpectColor(MakeColor(1, 2, 3), 1, 2, 3, 255);
    ExpectColor(MakeColorAlpha(1, 2, 3, 4), 1, 2, 3, 4);
    ExpectColor(MakeDefaultColor(), 255, 255, 255, 255);
}

TEST(GameColor, UnitToByteTruncatesAndLimits) {
    const struct {
        double f;
        int byte;
    } cases[] = {
        {1.0, 255},
        {0.999, 254},
        {-0.5, 0},
        {2.0, 255},
        {0.5, 127},
        {0.0039, 0},
        {0.004, 1},
        {-0.001, 0},
        {1e300, 255},
        {-1e300, 0},
        {std::numeric_limits<double>::quiet_NaN(), 0},
        {static_cast<float>(0.7), 178},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.f);
        EXPECT_EQ(UnitToByte(c.f), c.byte);
    }
}

TEST(GameColor, HueCircleKeepsAQuarterOfWhite) {
    // Hand-computed from the segment rules: t = p x k x 255 with k the
    // single-precision step of the segment.
    const struct {
        int hue;
        int r, g, b;
    } cases[] = {
        {0, 255, 64, 64},     // red
        {12, 255, 118, 46},   // t = 72.83
        {42, 255, 255, 0},    // the end of the first segment is yellow
        {43, 255, 255, 0},    // and the second starts there
        {49, 228, 255, 9},    // t = 35.65
        {70, 135, 255, 40},   // falling channel on step 0.0232, low channel on 0.0233
        {85, 69, 255, 62},    // t = 249.54, falling t = 248.47
        {110, 27, 255, 173},  // t = 145.04
        {120, 12, 255, 218},  // t = 205.48
        {128, 0, 255, 255},   // cyan
        {140, 18, 202, 255},  // t = 71.30
        {171, 64, 64, 255},   // blue
        {212, 250, 2, 255},   // t = 248.83
        {213, 255, 0, 255},   // magenta
        {220, 255, 10, 224},  // t = 41.59
        {254, 255, 61, 72},   // t = 243.60, back towards red
        {255, 255, 64, 64},   // taken modulo 255
        {300, 246, 255, 3},   // 300 mod 255 = 45
        {-6, 255, 53, 95},    // wraps to 249, never below the circle
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hue);
        ExpectColor(HueToColor(c.hue, 1.0, 255), c.r, c.g, c.b, 255);
    }
}

TEST(GameColor, HueBrightnessScalesAndLimitsEachChannelAndAlphaIsKept) {
    ExpectColor(HueToColor(0, 0.5, 128), 127, 32, 32, 128);
    ExpectColor(HueToColor(0, 2.0, 7), 255, 128, 128, 7);
    ExpectColor(HueToColor(171, -1.0, 0), 0, 0, 0, 0);
    ExpectColor(HueToColor(85, 1.0, 200), 69, 255, 62, 200);
}

}  // namespace
