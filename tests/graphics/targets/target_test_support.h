// A library started on either path with 32-bit screens, drawing on the back
// screen; painting rectangles of the current draw target and reading its
// pixels back. For the tests of targets, presentation and the last frame.
#pragma once

#include <gtest/gtest.h>

#include "foundation/runtime/main_window.h"
#include "foundation/runtime/system_state.h"
#include "graphics/targets/draw_targets.h"
#include "images/base_image.h"
#include "tests/graphics/images/image_test_support.h"

namespace tessel_test {

// Fills a rectangle of the current target with a colour (0xRRGGBB).
inline void Paint(const RECT& rect, uint32_t rgb) {
    tessel::SetBackgroundRgb(rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF);
    ASSERT_EQ(tessel::EraseDrawTarget(&rect), 0);
}

// A pixel of the current target, 0xRRGGBB, read through a screen lock.
inline uint32_t TargetPixel(int x, int y) {
    tessel::BASEIMAGE view = {};
    const RECT rect = {x, y, x + 1, y + 1};
    if (tessel::LockScreenRect(&rect, &view) != 0) {
        ADD_FAILURE() << "no lock at " << x << "," << y;
        return 0xDEADBEEF;
    }
    int r = 0, g = 0, b = 0, a = 0;
    tessel::ReadImagePixel(&view, 0, 0, &r, &g, &b, &a);
    tessel::ReleaseScreenLock();
    return (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b);
}

// The screens are 32-bit so that colours compare exactly.
class ScreenTargetTest : public ImageTest, public ::testing::WithParamInterface<bool> {
  protected:
    void SetUp() override {
        ImageTest::SetUp();
        tessel::g_screen.colorBits = 32;
        Start(GetParam());
        ASSERT_EQ(tessel::SelectDrawTarget(tessel::kBackScreen), 0);
    }
    void TearDown() override {
        ImageTest::TearDown();
        tessel::g_system.windowScaleX = 1.0;
        tessel::g_system.windowScaleY = 1.0;
        tessel::g_system.runWhenInactive = 0;
    }
    bool Hardware() const { return GetParam(); }
};

}  // namespace tessel_test
