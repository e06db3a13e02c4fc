// Painting rectangles of the current draw target and reading its pixels
// back, for the tests of targets, presentation and the last frame.
#pragma once

#include <gtest/gtest.h>

#include "foundation/runtime/main_window.h"
#include "graphics/targets/draw_targets.h"
#include "images/base_image.h"

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

}  // namespace tessel_test
