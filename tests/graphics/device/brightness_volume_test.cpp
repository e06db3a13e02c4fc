// The brightness rule and the volume texture filled by it.
#include <gtest/gtest.h>

#include <cfenv>
#include <vector>

#include "graphics/device/device_internal.h"
#include "graphics/device/device_state.h"
#include "graphics/device/graphics_device.h"
#include "tests/graphics/device/graphics_test_support.h"

using namespace tessel;
using tessel_test::GraphicsTest;

namespace {

TEST(MaximiseBrightness, KeepsTheHueAndRaisesTheBrightestChannelTo255) {
    struct Case {
        int r, g, b;
        Rgb8 want;
    };
    // Expected values worked by hand from the rule: t = (hi-lo)*255/hi,
    // u = ((lo-mid)*255/(hi-lo) + 255)*t, lo' = 255-t, mid' = 255-u/255.
    const Case cases[] = {
        {0, 0, 0, {255, 255, 255}},
        {10, 10, 10, {255, 255, 255}},     // grey
        {300, 300, 300, {255, 255, 255}},  // clamped grey
        {255, 0, 0, {255, 0, 0}},
        {0, 255, 0, {0, 255, 0}},
        {0, 0, 255, {0, 0, 255}},
        {300, 0, 0, {255, 0, 0}},       // clamped
        {100, 50, 0, {255, 127, 0}},    // -127.5 truncates toward zero
        {20, 60, 100, {51, 153, 255}},  // blue highest, red lowest
        {20, 100, 60, {51, 255, 153}},  // green highest, red lowest
        {60, 100, 20, {153, 255, 51}},  // green highest, blue lowest
        {100, 20, 60, {255, 51, 153}},  // red highest, green lowest
        {100, 60, 20, {255, 153, 51}},  // red highest, blue lowest
        {60, 20, 100, {153, 51, 255}},  // blue highest, green lowest
        // With the lowest channel 0, taking the middle for the lowest would
        // change the result: one case per order.
        {0, 3, 7, {0, 109, 255}},
        {0, 7, 3, {0, 255, 109}},
        {3, 7, 0, {109, 255, 0}},
        {7, 0, 3, {255, 0, 109}},
        {7, 3, 0, {255, 109, 0}},
        {3, 0, 7, {109, 0, 255}},
        {50, 50, 100, {128, 128, 255}},   // tie below: red counts as lowest
        {100, 100, 50, {255, 255, 128}},  // tie above: both stay highest
        {100, 50, 100, {255, 128, 255}},  // tie above, red and blue
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.r << ", " << c.g << ", " << c.b);
        Rgb8 got = MaximiseBrightness(c.r, c.g, c.b);
        EXPECT_EQ(got.r, c.want.r);
        EXPECT_EQ(got.g, c.want.g);
        EXPECT_EQ(got.b, c.want.b);
    }
}

// The rule with the plain division operator, channels in the library's order of comparisons.
Rgb8 BrightenedByPlainDivision(int r, int g, int b) {
    const Rgb8 white = {255, 255, 255};
    if (r == 0 && g == 0 && b == 0) {
        return white;
    }
    int c[3] = {r, g, b};
    int hi, mid, lo;  // channel indices
    if (r <= g && g <= b) {
        hi = 2, mid = 1, lo = 0;
    } else if (r <= g && b >= r) {
        hi = 1, mid = 2, lo = 0;
    } else if (r <= g) {
        hi = 1, mid = 0, lo = 2;
    } else if (b < r && g <= b) {
        hi = 0, mid = 2, lo = 1;
    } else if (b < r) {
        hi = 0, mid = 1, lo = 2;
    } else {
        hi = 2, mid = 0, lo = 1;
    }
    if (c[hi] == c[lo]) {
        return white;
    }
    const int t = (c[hi] - c[lo]) * 255 / c[hi];
    const int u = ((c[lo] - c[mid]) * 255 / (c[hi] - c[lo]) + 255) * t;
    uint8_t out[3];
    out[hi] = 255;
    out[lo] = static_cast<uint8_t>(255 - t);
    out[mid] = static_cast<uint8_t>(255 - u / 255);
    return {out[0], out[1], out[2]};
}

// Every colour: the quotients the library takes by multiplying are those of the division.
TEST(MaximiseBrightness, EveryColourAsThePlainDivisionGivesIt) {
    int wrong = 0;
    for (int r = 0; r < 256; ++r) {
        for (int g = 0; g < 256; ++g) {
            for (int b = 0; b < 256; ++b) {
                const Rgb8 got = MaximiseBrightness(r, g, b);
                const Rgb8 want = BrightenedByPlainDivision(r, g, b);
                if (got.r != want.r || got.g != want.g || got.b != want.b) {
                    ADD_FAILURE_AT(__FILE__, __LINE__) << r << ", " << g << ", " << b;
                    if (++wrong == 10) {
                        return;
                    }
                }
            }
        }
    }
}

TEST(BrightnessVolume, EachTexelHoldsTheBrightenedDoubleOfItsCoordinates) {
    constexpr int side = static_cast<int>(kBrightnessVolumeSide);
    // Padded rows and slices: the fill must follow the pitches.
    const int rowPitch = side * 4 + 16;
    const int slicePitch = rowPitch * side + 32;
    std::vector<uint8_t> bits(static_cast<size_t>(slicePitch) * side, 0xAB);
    D3DLOCKED_BOX box = {rowPitch, slicePitch, bits.data()};
    FillBrightnessVolume(box);
    auto texel = [&](int x, int y, int z) {
        const uint8_t* p = bits.data() + z * slicePitch + y * rowPitch + x * 4;
        return std::vector<int>{p[0], p[1], p[2], p[3]};
    };
    struct Case {
        int x, y, z;
        std::vector<int> bgra;
    };
    const Case cases[] = {
        {0, 0, 0, {255, 255, 255, 255}},
        {7, 7, 7, {255, 255, 255, 255}},  // the dark corner is white
        {7, 7, 8, {255, 224, 224, 255}},  // (14, 14, 16): just outside it
        {8, 0, 0, {0, 0, 255, 255}},
        {127, 64, 0, {0, 128, 255, 255}},
        {10, 30, 50, {255, 153, 51, 255}},  // (20, 60, 100)
        {127, 127, 127, {255, 255, 255, 255}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << ", " << c.y << ", " << c.z);
        EXPECT_EQ(texel(c.x, c.y, c.z), c.bgra);
    }
    EXPECT_EQ(bits[side * 4], 0xAB) << "row padding untouched";
}

// The fill takes four texels at a time: every texel outside the dark corner is the rule's.
TEST(BrightnessVolume, EveryTexelIsTheRulesColourOfItsDoubledCoordinates) {
    constexpr int side = static_cast<int>(kBrightnessVolumeSide);
    std::vector<uint8_t> bits(static_cast<size_t>(side) * side * side * 4, 0);
    D3DLOCKED_BOX box = {side * 4, side * side * 4, bits.data()};
    std::feclearexcept(FE_ALL_EXCEPT);
    FillBrightnessVolume(box);
    EXPECT_EQ(std::fetestexcept(FE_INVALID | FE_DIVBYZERO), 0) << "a grey divided by zero";
    int wrong = 0;
    for (int z = 0; z < side && wrong < 10; ++z) {
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                const bool dark = x < 8 && y < 8 && z < 8;
                const Rgb8 want =
                    dark ? Rgb8{255, 255, 255} : MaximiseBrightness(2 * x, 2 * y, 2 * z);
                const uint8_t* p = bits.data() + ((z * side + y) * side + x) * 4;
                if (p[0] != want.b || p[1] != want.g || p[2] != want.r || p[3] != 255) {
                    ADD_FAILURE() << x << ", " << y << ", " << z;
                    ++wrong;
                }
            }
        }
    }
}

TEST_F(GraphicsTest, TheBrightnessVolumeIsADefaultPoolCubeOfTheDevice) {
    EXPECT_EQ(CreateMaxBrightnessVolume(), -1) << "no device";
    ASSERT_EQ(StartLibrary(), 0);
    ASSERT_EQ(CreateMaxBrightnessVolume(), 0);
    ASSERT_NE(g_graphics.maxBrightnessVolume, nullptr);
    D3DVOLUME_DESC desc = {};
    g_graphics.maxBrightnessVolume->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 128u);
    EXPECT_EQ(desc.Height, 128u);
    EXPECT_EQ(desc.Depth, 128u);
    EXPECT_EQ(desc.Format, static_cast<D3DFORMAT>(D3DFMT_X8R8G8B8));
    EXPECT_EQ(desc.Pool, static_cast<D3DPOOL>(D3DPOOL_DEFAULT));
    EXPECT_EQ(g_graphics.maxBrightnessVolume->GetLevelCount(), 1u);
    ASSERT_EQ(EndLibrary(), 0);
    ExpectNoDeviceObjects();
}

}  // namespace
