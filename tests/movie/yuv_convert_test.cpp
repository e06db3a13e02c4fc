// The conversion tables and the conversions of decoded frames into B, G, R,
// 255 pixels, against the rules written out here once more and BT.601 in
// doubles.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "movie/theora_decoder.h"
#include "movie/yuv_convert.h"
#include "support/yuv_rules.h"

namespace {

using yuv_rules::ChannelGap;
using yuv_rules::Clamp;
using yuv_rules::TableRule;

using tessel::YuvPlanes;

// The general rule in single precision, truncated.
int TruncClamp(float f) {
    return f <= -1.0f ? 0 : (f >= 255.0f ? 255 : static_cast<int>(f));
}
uint32_t FloatRule(int y, int u, int v) {
    const float l = static_cast<float>(y - 16) * 1.164f;
    const float cu = static_cast<float>(u - 128);
    const float cv = static_cast<float>(v - 128);
    const int r = TruncClamp(l + cv * 1.596f);
    const int g = TruncClamp(l - cu * 0.391f - cv * 0.813f);
    const int b = TruncClamp(l + cu * 2.018f);
    return 0xFF000000u | static_cast<uint32_t>(r << 16 | g << 8 | b);
}

// BT.601 studio range in doubles, truncated as both rules do.
uint32_t Bt601(int y, int u, int v) {
    const double l = 1.164 * (y - 16);
    const int r = Clamp(static_cast<int>(std::trunc(l + 1.596 * (v - 128))));
    const int g = Clamp(static_cast<int>(std::trunc(l - 0.391 * (u - 128) - 0.813 * (v - 128))));
    const int b = Clamp(static_cast<int>(std::trunc(l + 2.018 * (u - 128))));
    return 0xFF000000u | static_cast<uint32_t>(r << 16 | g << 8 | b);
}

struct Frame {
    int yWidth, yHeight, uvWidth, uvHeight, yStride, uvStride;
    std::vector<uint8_t> y, u, v;
    YuvPlanes Planes() const {
        return {y.data(), u.data(), v.data(), yWidth,  yHeight,
                yStride,  uvWidth,  uvHeight, uvStride};
    }
};

// Random samples, with strides wider than the rows.
Frame RandomFrame(int yWidth, int yHeight, int uvWidth, int uvHeight, uint32_t seed) {
    std::mt19937 random(seed);
    Frame f{yWidth, yHeight, uvWidth, uvHeight, yWidth + 7, uvWidth + 3, {}, {}, {}};
    f.y.resize(static_cast<size_t>(f.yStride) * yHeight);
    f.u.resize(static_cast<size_t>(f.uvStride) * uvHeight);
    f.v.resize(f.u.size());
    for (auto* plane : {&f.y, &f.u, &f.v}) {
        for (uint8_t& s : *plane) {
            s = static_cast<uint8_t>(random());
        }
    }
    return f;
}

class YuvConvertTest : public ::testing::Test {
  protected:
    void SetUp() override { tessel::TheoraBuildYuvTables(); }
};

TEST_F(YuvConvertTest, TablesHoldTheFactorsExactly) {
    EXPECT_EQ(tessel::TheoraBuildYuvTables(), 0);
    // Each step is its BT.601 factor times 16384, cut to a whole number.
    const struct {
        const int32_t* table;
        int32_t step;
        double factor;
        int sign;
        int zeroAt;
    } tables[] = {
        {tessel::YuvRv, 26148, 1.596, 1, 128},  {tessel::YuvGu, 6406, 0.391, -1, 128},
        {tessel::YuvGv, 13320, 0.813, -1, 128}, {tessel::YuvBu, 33062, 2.018, 1, 128},
        {tessel::YuvY, 19070, 1.164, 1, 16},
    };
    for (const auto& t : tables) {
        EXPECT_LT(std::abs(t.step - t.factor * 16384), 1.0) << t.factor;
        for (int x = 0; x < 256; ++x) {
            ASSERT_EQ(t.table[x], t.sign * (x - t.zeroAt) * t.step) << t.factor << " at " << x;
        }
    }
    EXPECT_EQ(tessel::YuvRv[255], 127 * 26148);
    EXPECT_EQ(tessel::YuvY[0], -16 * 19070);
    for (int i = -512; i < 768; ++i) {
        ASSERT_EQ(tessel::YuvClamp[i + tessel::kYuvClampBias], Clamp(i)) << i;
    }
}

// Every route of the 4:2:0 conversion: the one the processor picks (AVX2
// where it has it), the SSE2 one and the plain table loop.
using Convert420 = void (*)(const YuvPlanes&, int, int, uint8_t*, int);
const struct {
    const char* name;
    Convert420 convert;
} kRoutes[] = {
    {"picked", tessel::ConvertYuv420ToBgrx},
    {"sse2", tessel::ConvertYuv420ToBgrxSse2},
    {"table", tessel::ConvertYuv420ToBgrxPortable},
};

TEST_F(YuvConvertTest, Frames420MatchTheTableRuleOnEveryRoute) {
    // Widths that leave the sixteen- and eight-pixel steps tails of every
    // length the steps can leave (2 to 14), one under a step and ones that
    // fill the steps; heights that are not round.
    const int sizes[][2] = {{64, 48}, {38, 6}, {2, 2},  {18, 4}, {14, 10},
                            {46, 2},  {30, 6}, {28, 4}, {8, 2},  {26, 14}};
    int worst = 0;
    for (const auto& route : kRoutes) {
        for (const auto& size : sizes) {
            const Frame f = RandomFrame(size[0], size[1], size[0] / 2, size[1] / 2,
                                        static_cast<uint32_t>(size[0] * 131 + size[1]));
            // A guard pixel past each row shows a write beyond the width.
            const int pitch = size[0] + 1;
            std::vector<uint32_t> out(static_cast<size_t>(pitch) * size[1], 0x12345678u);
            route.convert(f.Planes(), size[0], size[1], reinterpret_cast<uint8_t*>(out.data()),
                          pitch * 4);
            for (int y = 0; y < size[1]; ++y) {
                for (int x = 0; x < size[0]; ++x) {
                    const int ys = f.y[y * f.yStride + x];
                    const int us = f.u[(y / 2) * f.uvStride + x / 2];
                    const int vs = f.v[(y / 2) * f.uvStride + x / 2];
                    const uint32_t got = out[static_cast<size_t>(y) * pitch + x];
                    ASSERT_EQ(got, TableRule(ys, us, vs))
                        << route.name << " " << size[0] << "x" << size[1] << ": " << x << "," << y;
                    worst = std::max(worst, ChannelGap(got, Bt601(ys, us, vs)));
                }
                ASSERT_EQ(out[static_cast<size_t>(y) * pitch + size[0]], 0x12345678u)
                    << route.name << " " << size[0] << " row " << y;
            }
        }
    }
    EXPECT_LE(worst, 1);
}

TEST_F(YuvConvertTest, TheTableRuleHoldsForEverySample) {
    // One row pair per (u, v): all 256 luma values against each chroma pair,
    // on both vector routes.
    Frame f{256, 2, 128, 1, 256, 128, {}, {}, {}};
    f.y.resize(512);
    for (int i = 0; i < 512; ++i) {
        f.y[i] = static_cast<uint8_t>(i % 256);
    }
    std::vector<uint32_t> out(512);
    for (const auto& route : {kRoutes[0], kRoutes[1]}) {
        for (int u = 0; u < 256; ++u) {
            for (int v = 0; v < 256; v += 3) {
                f.u.assign(128, static_cast<uint8_t>(u));
                f.v.assign(128, static_cast<uint8_t>(v));
                route.convert(f.Planes(), 256, 2, reinterpret_cast<uint8_t*>(out.data()), 1024);
                for (int y = 0; y < 256; ++y) {
                    ASSERT_EQ(out[y], TableRule(y, u, v))
                        << route.name << " " << y << " " << u << " " << v;
                }
            }
        }
    }
}

TEST_F(YuvConvertTest, OtherLayoutsTakeTheChromaSampleOfTheirOwnPlane) {
    struct Case {
        const char* name;
        int uvWidth, uvHeight;
    };
    const Case cases[] = {{"4:4:4", 20, 10}, {"4:2:2", 10, 10}, {"4:2:0 on this route", 10, 5}};
    for (const Case& c : cases) {
        const Frame f = RandomFrame(20, 10, c.uvWidth, c.uvHeight, c.uvWidth * 31 + c.uvHeight);
        std::vector<uint32_t> out(200);
        tessel::ConvertYuvToBgrxFloat(f.Planes(), 20, 10, reinterpret_cast<uint8_t*>(out.data()),
                                      80);
        for (int y = 0; y < 10; ++y) {
            for (int x = 0; x < 20; ++x) {
                const int cx = x * c.uvWidth / 20;
                const int cy = y * c.uvHeight / 10;
                const uint32_t want = FloatRule(f.y[y * f.yStride + x], f.u[cy * f.uvStride + cx],
                                                f.v[cy * f.uvStride + cx]);
                ASSERT_EQ(out[y * 20 + x], want) << c.name << " " << x << "," << y;
                EXPECT_LE(ChannelGap(want, Bt601(f.y[y * f.yStride + x], f.u[cy * f.uvStride + cx],
                                                 f.v[cy * f.uvStride + cx])),
                          1);
            }
        }
    }
}

}  // namespace
