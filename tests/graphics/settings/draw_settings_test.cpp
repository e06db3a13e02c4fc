// The draw settings: clamps, the combined colour, the draw area, transparency and screen colours.
#include <gtest/gtest.h>

#include "graphics/camera/camera.h"
#include "graphics/settings/draw_settings.h"
#include "tests/graphics/device/graphics_test_support.h"

namespace {

using namespace tessel;
using tessel_test::GraphicsTest;

class DrawSettingsTest : public GraphicsTest, public testing::WithParamInterface<bool> {
  protected:
    void SetUp() override {
        GraphicsTest::SetUp();
        SetUseHardwareOption(GetParam() ? 1 : 0);
        ASSERT_EQ(StartLibrary(), 0);
        ASSERT_EQ(g_graphics.hardwareInUse, GetParam() ? 1 : 0);
    }
    void TearDown() override {
        GraphicsTest::TearDown();
        ResetDrawState();
    }
    static RECT Area() { return g_drawSettings.drawArea; }
};

TEST_P(DrawSettingsTest, BrightnessAndBlendParameterAreClampedAndTheCombinedColourFollows) {
    struct Case {
        int r, g, b;
        uint32_t stored;
    };
    const Case cases[] = {{300, -5, 128, 0xFF0080}, {17, 255, 0, 0x11FF00}, {-1, 256, 1, 0x00FF01}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.r << "," << c.g << "," << c.b);
        EXPECT_EQ(SetImageBrightness(c.r, c.g, c.b), 0);
        EXPECT_EQ(g_drawSettings.brightness, c.stored);
    }
    EXPECT_EQ(SetImageBlendMode(1, 1000), 0);
    EXPECT_EQ(g_drawSettings.blendParam, 255);
    EXPECT_EQ(g_drawSettings.combinedDrawColor, 0xFF00FF01u);
    SetImageBlendMode(2, 77);
    EXPECT_EQ(g_drawSettings.combinedDrawColor, 0x4D00FF01u);
    // Copy mode draws opaque whatever the parameter.
    SetImageBlendMode(0, 77);
    EXPECT_EQ(g_drawSettings.combinedDrawColor, 0xFF00FF01u);
    // The mode alone leaves the colour to the next full setter.
    EXPECT_EQ(SetImageBlendModeOnly(3), 3);
    EXPECT_EQ(g_drawSettings.combinedDrawColor, 0xFF00FF01u);
    SetImageBrightnessPacked(0xAB102030);
    EXPECT_EQ(g_drawSettings.brightness, 0x102030u);
    EXPECT_EQ(g_drawSettings.combinedDrawColor, 0x4D102030u);
    // The raw form takes red from the low byte and the colour as given.
    SetImageBrightnessPackedRaw(0x302010, 0x12345678);
    EXPECT_EQ(g_drawSettings.brightness, 0x102030u);
    EXPECT_EQ(g_drawSettings.combinedDrawColor, 0x4D102030u) << "nothing changed";
    SetImageBrightnessPackedRaw(0x030201, 0x12345678);
    EXPECT_EQ(g_drawSettings.brightness, 0x010203u);
    EXPECT_EQ(g_drawSettings.combinedDrawColor, 0x12345678u);
}

TEST_P(DrawSettingsTest, TheClipRegionIsOrderedClampedAndMayBeEmpty) {
    struct Case {
        RECT asked;
        RECT area;
        int empty;
    };
    const Case cases[] = {
        {{100, 50, 10, 0}, {10, 0, 100, 50}, 0}, {{-20, -20, 2000, 2000}, {0, 0, 640, 480}, 0},
        {{5, 5, 5, 100}, {5, 5, 5, 100}, 1},     {{700, 10, 650, 20}, {640, 10, 640, 20}, 1},
        {{3, 7, 13, 17}, {3, 7, 13, 17}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.asked.left << "," << c.asked.top << ","
                                        << c.asked.right << "," << c.asked.bottom);
        ASSERT_EQ(SetClipRegion(c.asked.left, c.asked.top, c.asked.right, c.asked.bottom), 0);
        EXPECT_EQ(Area().left, c.area.left);
        EXPECT_EQ(Area().top, c.area.top);
        EXPECT_EQ(Area().right, c.area.right);
        EXPECT_EQ(Area().bottom, c.area.bottom);
        EXPECT_EQ(g_drawSettings.drawAreaF[2], static_cast<float>(c.area.right));
        EXPECT_EQ(g_drawSettings.drawAreaEmpty, c.empty);
        EXPECT_EQ(g_drawSettings.requestedArea.left, c.asked.left);
    }
    if (GetParam()) {
        // The device clips to the last area that was not empty.
        const D3DVIEWPORT9& viewport = g_stateCache.viewport;
        EXPECT_EQ(viewport.X, 3u);
        EXPECT_EQ(viewport.Y, 7u);
        EXPECT_EQ(viewport.Width, 10u);
        EXPECT_EQ(viewport.Height, 10u);
    }
    g_drawSettings.drawTarget = 0x08000123;  // no such image
    const RECT kept = Area();
    EXPECT_EQ(SetClipRegion(0, 0, 10, 10), -1);
    EXPECT_EQ(Area().right, kept.right);
}

// On the hardware path with no device the call fails, and a failing call
// changes nothing: not the area, not its empty flag, not the request.
TEST_P(DrawSettingsTest, AFailingClipRegionLeavesAreaFlagAndRequestAsTheyWere) {
    if (!GetParam()) {
        GTEST_SKIP() << "the software path never lacks a device";
    }
    ASSERT_EQ(SetClipRegion(30, 40, 30, 90), 0);
    ASSERT_EQ(g_drawSettings.drawAreaEmpty, 1);
    const RECT area = Area();
    const RECT requested = g_drawSettings.requestedArea;
    IDirect3DDevice9* device = g_graphics.device;
    g_graphics.device = nullptr;
    const int result = SetClipRegion(1, 2, 300, 200);
    g_graphics.device = device;
    EXPECT_EQ(result, -1);
    EXPECT_EQ(g_drawSettings.drawAreaEmpty, 1) << "the area stays empty";
    EXPECT_EQ(Area().left, area.left);
    EXPECT_EQ(Area().right, area.right);
    EXPECT_EQ(Area().bottom, area.bottom);
    EXPECT_EQ(g_drawSettings.drawAreaF[3], static_cast<float>(area.bottom));
    EXPECT_EQ(g_drawSettings.requestedArea.left, requested.left);
    EXPECT_EQ(g_drawSettings.requestedArea.bottom, requested.bottom);
}

TEST_P(DrawSettingsTest, TheTransparentColourIsIgnoredOnAnEightBitScreen) {
    EXPECT_EQ(SetTransparentColor(1, 2, 3), 0);
    EXPECT_EQ(g_drawSettings.transparentColor, 0x010203u);
    g_screen.colorBits = 8;
    EXPECT_EQ(SetTransparentColor(9, 9, 9), 0);
    EXPECT_EQ(g_drawSettings.transparentColor, 0x010203u);
}

TEST_P(DrawSettingsTest, ScreenPixelsFollowTheScreensDepthBothWays) {
    struct Case {
        int bits;
        uint8_t r, g, b;
        uint32_t pixel;
        int backR, backG, backB;
    };
    // A 32-bit screen's pixel carries its unused top byte set.
    const uint32_t top = 0xFF000000u;
    const Case cases[] = {
        {16, 255, 255, 255, 0xFFFF, 255, 255, 255},
        {16, 255, 0, 0, 0xF800, 255, 0, 0},
        {16, 0x87, 0x43, 0x0F, 0x8201, 131, 64, 8},
        {32, 0x87, 0x43, 0x0F, top | 0x87430F, 0x87, 0x43, 0x0F},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.bits << " bits " << int{c.r} << "," << int{c.g} << "," << int{c.b});
        g_screen.colorBits = c.bits;
        EXPECT_EQ(ColorToScreenPixel(c.r, c.g, c.b), c.pixel);
        int r = -1, g = -1, b = -1;
        EXPECT_EQ(ScreenPixelToColor(c.pixel, &r, &g, &b), 0);
        EXPECT_EQ(r, c.backR);
        EXPECT_EQ(g, c.backG);
        EXPECT_EQ(b, c.backB);
    }
}

TEST_P(DrawSettingsTest, TheResetKeepsThePresentationOptionsAndClearsTheRest) {
    SetVerticalBlankWait(0);
    SetEmulation320x240(1);
    SetImageBlendMode(4, 10);
    SetNewImageColorDepth(32);
    SetFogTint(0x1FF, 2, 3);
    EXPECT_EQ(g_drawSettings.fogColor, 0xFFFF0203u);
    ResetDrawState();
    EXPECT_EQ(QueryVerticalBlankWait(), 0);
    EXPECT_EQ(g_drawSettings.emulation320x240, 1);
    EXPECT_EQ(g_drawSettings.blendMode, 0);
    EXPECT_EQ(QueryNewImageColorDepth(), 0);
    EXPECT_EQ(QueryColorKeyTextureFormat(), 1);
    EXPECT_EQ(g_drawSettings.fogColor, 0xFFFFFFFFu);
    EXPECT_EQ(g_drawSettings.fogEnd, 1500.0f);
    EXPECT_EQ(g_drawSettings.drawDepth, 0.2f);
    EXPECT_EQ(QueryDrawTarget(), -4);
    EXPECT_EQ(Area().right, 640);
    SetVerticalBlankWait(1);
    SetEmulation320x240(0);
}

INSTANTIATE_TEST_SUITE_P(Paths, DrawSettingsTest, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "Hardware" : "Software";
                         });

}  // namespace
