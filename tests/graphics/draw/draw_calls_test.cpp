// The public drawing calls on both paths, read back by pixel: placement, mirroring, parts, pivots,
// masks and boxes.
#include <gtest/gtest.h>

#include <cstring>

#include "graphics/batch/vertex_batch.h"
#include "graphics/device/pending_steps.h"
#include "graphics/draw/draw_calls.h"
#include "graphics/memimg/memimg.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/targets/draw_targets.h"
#include "tests/graphics/images/image_test_support.h"

using namespace tessel;

namespace {

// Non-round colours so that a shifted or mirrored pixel never matches by chance.
uint32_t Pattern(int x, int y) {
    return 0xFF000000u | (uint32_t(x * 7 + 13) << 16) | (uint32_t(y * 11 + 5) << 8) |
           uint32_t((x * y + 41) & 0xFF);
}

class DrawCallsTest : public tessel_test::BothPathsImageTest {
  protected:
    void SetUp() override {
        BothPathsImageTest::SetUp();
        if (!GetParam()) {
            std::memset(&target_, 0, sizeof target_);
            ASSERT_EQ(MemImgCreateDefault(&target_, 640, 480, kMemImgRgb32), 0);
            MemImgFillRect(&target_, nullptr, 0);
            g_targets.currentSoftTarget = &target_;
        }
    }
    void TearDown() override {
        if (!GetParam()) {
            g_targets.currentSoftTarget = nullptr;
            MemImgRelease(&target_);
        }
        SetImageBlendMode(0, 255);
        SetImageBrightness(255, 255, 255);
        BothPathsImageTest::TearDown();
    }
    int MakeImage(int w, int h) {
        BASEIMAGE base = MakeArgb(w, h, Pattern, false);
        const int handle = CreateImageFromBaseImage(&base);
        ReleaseImageBuffer(&base);
        return handle;
    }
    // The drawn pixel as 0xRRGGBB.
    uint32_t Screen(int x, int y) {
        if (GetParam()) {
            FlushVertexBatch();
            return platform::ReadD3D9BackBufferPixel(g_graphics.device, x, y) & 0xFFFFFFu;
        }
        uint32_t v;
        std::memcpy(&v, target_.pixels + y * target_.base->pitch + x * 4, 4);
        return v & 0xFFFFFFu;
    }
    // A box colour in the target's pixel format: the screen's on the device,
    // the 32-bit test target's on the software path.
    uint32_t BoxColour(int r, int g, int b) {
        return GetParam() ? ColorToScreenPixel(uint8_t(r), uint8_t(g), uint8_t(b))
                          : uint32_t(r << 16 | g << 8 | b);
    }
    void ClearScreen() { FillBoxArea(0, 0, 640, 480, ColorToScreenPixel(0, 0, 0)); }
    MEMIMG target_;
};

TEST_P(DrawCallsTest, AnImageAtAPointReproducesItselfPixelForPixel) {
    const int h = MakeImage(32, 32);
    ASSERT_NE(h, -1);
    ClearScreen();
    ASSERT_EQ(DrawImageAt(20, 30, h, 0), 0);
    for (int y = -1; y <= 32; ++y) {
        for (int x = -1; x <= 32; ++x) {
            const bool inside = x >= 0 && x < 32 && y >= 0 && y < 32;
            ASSERT_EQ(Screen(20 + x, 30 + y), inside ? Pattern(x, y) & 0xFFFFFF : 0u)
                << x << "," << y;
        }
    }
}

TEST_P(DrawCallsTest, SwappedCornersAndTheMirroredCallsDrawTheImageMirrored) {
    const int h = MakeImage(8, 4);
    struct Case {
        const char* name;
        int (*draw)(int);
    };
    const Case cases[] = {
        {"stretched", [](int image) { return DrawImageStretched(28, 10, 20, 14, image, 0); }},
        {"mirrored", [](int image) { return DrawImageMirrored(20, 10, image, 0); }},
        {"mirrored float", [](int image) { return DrawImageMirroredF(20.0f, 10.0f, image, 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClearScreen();
        ASSERT_EQ(c.draw(h), 0);
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 8; ++x) {
                ASSERT_EQ(Screen(20 + x, 10 + y), Pattern(7 - x, y) & 0xFFFFFF) << x << "," << y;
            }
        }
        EXPECT_EQ(Screen(19, 10), 0u);
        EXPECT_EQ(Screen(28, 10), 0u);
    }
}

TEST_P(DrawCallsTest, APartDrawsOnlyItsSourceColumnsAndLeavesTheDrawAreaAsItWas) {
    const int h = MakeImage(32, 16);
    SetClipRegion(0, 0, 400, 300);
    const RECT before = g_drawSettings.drawArea;
    for (int mirror = 0; mirror < 2; ++mirror) {
        SCOPED_TRACE(mirror);
        ClearScreen();
        ASSERT_EQ(DrawImagePart(100, 100, 8, 0, 16, 16, h, 0, mirror), 0);
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                const int source = mirror ? 8 + 15 - x : 8 + x;
                ASSERT_EQ(Screen(100 + x, 100 + y), Pattern(source, y) & 0xFFFFFF) << x << "," << y;
            }
            ASSERT_EQ(Screen(99, 100 + y), 0u);
            ASSERT_EQ(Screen(116, 100 + y), 0u);
        }
        EXPECT_EQ(std::memcmp(&g_drawSettings.drawArea, &before, sizeof before), 0);
        EXPECT_EQ(g_drawSettings.drawAreaF[2], 400.0f);
    }
}

TEST_P(DrawCallsTest, APivotAtAngleZeroAndScaleOneDrawsAsAtAPoint) {
    const int h = MakeImage(16, 16);
    ClearScreen();
    ASSERT_EQ(DrawImagePivotRotatedF(50.0f, 60.0f, 3.0f, 4.0f, 1.0, 0.0, h, 0, 0), 0);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            ASSERT_EQ(Screen(47 + x, 56 + y), Pattern(x, y) & 0xFFFFFF) << x << "," << y;
        }
    }
    EXPECT_EQ(Screen(46, 56), 0u);
}

TEST_P(DrawCallsTest, ABoxFillsItsOrderedCornersAndNothingElse) {
    ClearScreen();
    const uint32_t red = BoxColour(200, 30, 7);
    ASSERT_EQ(FillBoxArea(50, 50, 10, 10, red), 0);
    EXPECT_EQ(Screen(10, 10), 0xC81E07u);
    EXPECT_EQ(Screen(49, 49), 0xC81E07u);
    EXPECT_EQ(Screen(50, 50), 0u);
    EXPECT_EQ(Screen(9, 10), 0u);
    ASSERT_EQ(DrawBoxShape(100, 100, 104, 103, red, 0), 0);
    EXPECT_EQ(Screen(101, 101), 0u) << "an outline leaves its inside";
    EXPECT_EQ(Screen(103, 101), 0xC81E07u);
}

TEST_P(DrawCallsTest, ABlendMaskSmallerThanTheImageRefusesEveryCheckedDraw) {
    const int h = MakeImage(16, 16);
    const int small = MakeImage(8, 16);
    g_drawSettings.blendMaskImage = small;
    EXPECT_EQ(DrawImageAt(0, 0, h, 0), -1);
    EXPECT_EQ(DrawImageAtF(0, 0, h, 0), -1);
    EXPECT_EQ(DrawImageStretched(0, 0, 5, 5, h, 0), -1);
    EXPECT_EQ(DrawImageRotatedF(20, 20, 1.0, 0.3, h, 0, 0), -1);
    g_drawSettings.blendMaskImage = -1;
}

TEST_P(DrawCallsTest, BadHandlesAreRefusedEvenByTheLeanRotatedForm) {
    const int h = MakeImage(4, 4);
    ASSERT_EQ(ReleaseImageHandle(h), 0);
    const int bad[] = {h, -1, 12345, kImageHandleKind | 30000, kImageHandleKind | 0xFFFF};
    for (int handle : bad) {
        SCOPED_TRACE(handle);
        EXPECT_EQ(DrawImageRotatedAltF(10, 10, 1.0, 0.5, handle), -1);
        EXPECT_EQ(DrawImageAt(10, 10, handle, 0), -1);
        EXPECT_EQ(DrawImageMirrored(10, 10, handle, 0), -1);
    }
}

TEST_P(DrawCallsTest, AnEmptyDrawAreaDrawsNothing) {
    const int h = MakeImage(4, 4);
    ClearScreen();
    SetClipRegion(10, 10, 10, 20);
    EXPECT_EQ(DrawImageAt(10, 10, h, 0), 0);
    EXPECT_EQ(FillBoxArea(0, 0, 30, 30, ColorToScreenPixel(255, 255, 255)), 0);
    SetClipRegionWhole();
    EXPECT_EQ(Screen(10, 10), 0u);
}

TEST_P(DrawCallsTest, APolygonListDrawsOnlyOnTheHardwarePath) {
    ClearScreen();
    const PolygonVertex strip[4] = {{10, 10, 0, 0, 0x30, 0x60, 0x90, 0xFF},
                                    {30, 10, 0, 0, 0x30, 0x60, 0x90, 0xFF},
                                    {10, 30, 0, 0, 0x30, 0x60, 0x90, 0xFF},
                                    {30, 30, 0, 0, 0x30, 0x60, 0x90, 0xFF}};
    EXPECT_EQ(DrawPolygonList(strip, 4, 5, kNoPolygonImage, 0, 0), 0);
    EXPECT_EQ(Screen(20, 20), GetParam() ? 0x906030u : 0u);
    EXPECT_EQ(Screen(35, 20), 0u);
    EXPECT_EQ(DrawPolygonList(strip, 4, 5, 12345, 0, 0), -1);
    EXPECT_EQ(DrawPolygonList(strip, 0, 5, kNoPolygonImage, 0, 0), -1);
    EXPECT_EQ(DrawPolygonList(strip, 4, 9, kNoPolygonImage, 0, 0), -1);
}

INSTANTIATE_TEST_SUITE_P(BothPaths, DrawCallsTest, ::testing::Bool(), tessel_test::PathName);

using SoftwareDrawTest = tessel_test::ImageTest;

TEST_F(SoftwareDrawTest, AFloatPointIsTruncatedOnTheSoftwarePath) {
    Start(false);
    MEMIMG target = {};
    ASSERT_EQ(MemImgCreateDefault(&target, 64, 64, kMemImgRgb32), 0);
    MemImgFillRect(&target, nullptr, 0);
    g_targets.currentSoftTarget = &target;
    BASEIMAGE base = MakeArgb(4, 4, Pattern, false);
    const int h = CreateImageFromBaseImage(&base);
    ReleaseImageBuffer(&base);
    EXPECT_EQ(DrawImageAtF(10.9f, -0.9f, h, 0), 0);
    uint32_t at = 0, before = 0;
    std::memcpy(&at, target.pixels + 10 * 4, 4);
    std::memcpy(&before, target.pixels + 9 * 4, 4);
    EXPECT_EQ(at & 0xFFFFFF, Pattern(0, 0) & 0xFFFFFF);
    EXPECT_EQ(before & 0xFFFFFF, 0u);
    g_targets.currentSoftTarget = nullptr;
    MemImgRelease(&target);
}

}  // namespace

namespace {

// A subtract draw on a device with and without the blend-operation capability.
class SubtractPassesTest : public tessel_test::ImageTest,
                           public ::testing::WithParamInterface<bool> {};

TEST_P(SubtractPassesTest, SubtractingLeavesTheSamePixelsAndRestoresTheSettingsExactly) {
    platform::D3D9Profile profile = platform::DefaultD3D9Profile();
    if (!GetParam()) {
        profile.primitiveMiscCaps &= ~D3DPMISCCAPS_BLENDOP;
    }
    platform::SetD3D9Profile(profile);
    Start(true);
    ASSERT_EQ(g_graphics.blendOpSupported, GetParam() ? 1 : 0);
    BASEIMAGE base = MakeArgb(
        8, 8, [](int x, int) { return x < 4 ? 0xFF327805u : 0xFFFFFFFFu; }, false);
    const int h = CreateImageFromBaseImage(&base);
    ReleaseImageBuffer(&base);
    FillBoxArea(0, 0, 640, 480, ColorToScreenPixel(200, 100, 40));
    SetImageBlendMode(3, 255);
    SetImageBrightness(255, 255, 255);
    ASSERT_EQ(DrawImageAt(10, 10, h, 0), 0);
    EXPECT_EQ(g_drawSettings.blendMode, 3);
    EXPECT_EQ(g_drawSettings.blendParam, 255);
    FlushVertexBatch();
    auto at = [](int x, int y) {
        return platform::ReadD3D9BackBufferPixel(g_graphics.device, x, y) & 0xFFFFFF;
    };
    EXPECT_EQ(at(10, 10), 0x960023u) << "200-50, 100-120 held at 0, 40-5";
    EXPECT_EQ(at(17, 17), 0u) << "white takes everything";
    EXPECT_EQ(at(9, 10), 0xC86428u) << "outside the image, inverted twice or never";
    EXPECT_EQ(at(18, 18), 0xC86428u);

    // The passes alone: the brightness and parameter come back, the boxes
    // were drawn white.
    SetImageBlendMode(3, 128);
    SetImageBrightness(32, 64, 128);
    const uint32_t combined = g_drawSettings.combinedDrawColor;
    const RECT r = {0, 0, 4, 4};
    SubtractBlendPrePass(&r);
    EXPECT_EQ(g_drawSettings.blendMode, 5);
    EXPECT_EQ(g_drawSettings.blendParam, 128);
    EXPECT_EQ(g_drawSettings.brightness, 0x204080u);
    SubtractBlendPostPass(&r);
    EXPECT_EQ(g_drawSettings.blendMode, 3);
    EXPECT_EQ(g_drawSettings.blendParam, 128);
    EXPECT_EQ(g_drawSettings.brightness, 0x204080u);
    EXPECT_EQ(g_drawSettings.combinedDrawColor, combined);
    SetImageBlendMode(0, 255);
    SetImageBrightness(255, 255, 255);
}

INSTANTIATE_TEST_SUITE_P(BlendOp, SubtractPassesTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("WithBlendOp")
                                               : std::string("WithoutBlendOp");
                         });

}  // namespace
