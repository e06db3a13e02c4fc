// The last presented frame on both paths: kept at each whole-screen
// presentation, shown again while the window is inactive, with the back
// screen and the draw settings left as the program had them.
#include "foundation/memory/memory.h"
#include "foundation/runtime/main_window.h"
#include "foundation/runtime/system_state.h"
#include "graphics/device/graphics_device.h"
#include "graphics/targets/draw_targets.h"
#include "tests/graphics/images/image_test_support.h"
#include "tests/graphics/targets/target_test_support.h"

namespace tessel_test {
namespace {

constexpr uint32_t kFrame = 0x203040;
constexpr uint32_t kMark = 0xF01008;
constexpr uint32_t kHalfDrawn = 0xC0FFEE;

class LastFrameTest : public ScreenTargetTest {
  protected:
    static uint32_t WindowPixel(int x, int y) {
        return platform::ReadWindowPixel(tessel::GetMainWindow(), x, y);
    }
    // A frame of one colour with a mark near the top-left corner, presented.
    static void PresentFrame(uint32_t colour, uint32_t mark) {
        Paint(RECT{0, 0, 640, 480}, colour);
        Paint(RECT{5, 7, 6, 8}, mark);
        ASSERT_EQ(tessel::PresentScreenPublic(), 0);
    }
    // The window shows the half-drawn back screen, through a partial
    // presentation, which keeps no frame.
    static void ShowHalfDrawnFrame() {
        Paint(RECT{0, 0, 640, 480}, kHalfDrawn);
        const RECT whole = {0, 0, 640, 480};
        ASSERT_EQ(tessel::PresentScreen(&whole), 0);
        ASSERT_EQ(WindowPixel(300, 200), kHalfDrawn);
    }
    static void ExpectWindowShowsFrame(uint32_t colour, uint32_t mark) {
        EXPECT_EQ(WindowPixel(0, 0), colour);
        EXPECT_EQ(WindowPixel(5, 7), mark);
        EXPECT_EQ(WindowPixel(6, 7), colour);
        EXPECT_EQ(WindowPixel(639, 479), colour);
    }
    static void ExpectBackScreenHalfDrawn() {
        ASSERT_EQ(tessel::QueryDrawTarget(), tessel::kBackScreen);
        EXPECT_EQ(TargetPixel(0, 0), kHalfDrawn);
        EXPECT_EQ(TargetPixel(5, 7), kHalfDrawn);
        EXPECT_EQ(TargetPixel(639, 479), kHalfDrawn);
    }
};

TEST_P(LastFrameTest, ARepaintShowsTheLastFullFrameAndLeavesTheBackScreenAndSettings) {
    PresentFrame(kFrame, kMark);
    ShowHalfDrawnFrame();
    ASSERT_EQ(tessel::SetClipRegion(10, 20, 300, 200), 0);
    ASSERT_EQ(tessel::SetImageBlendMode(1, 77), 0);
    ASSERT_EQ(tessel::SetImageBrightness(10, 20, 30), 0);
    ASSERT_EQ(tessel::SetImageFilterMode(0), 0);
    ASSERT_EQ(tessel::SetVerticalBlankWait(1), 0);
    const tessel::DrawSettings before = tessel::g_drawSettings;

    ASSERT_EQ(tessel::RepaintLastFrame(), 0) << Log();
    ExpectWindowShowsFrame(kFrame, kMark);
    ExpectBackScreenHalfDrawn();
    const tessel::DrawSettings& after = tessel::g_drawSettings;
    EXPECT_EQ(after.blendMode, before.blendMode);
    EXPECT_EQ(after.blendParam, before.blendParam);
    EXPECT_EQ(after.brightness, before.brightness);
    EXPECT_EQ(after.filterMode, before.filterMode);
    EXPECT_EQ(after.verticalBlankWaitOff, before.verticalBlankWaitOff);
    EXPECT_EQ(after.drawArea.left, 10);
    EXPECT_EQ(after.drawArea.bottom, 200);
    EXPECT_EQ(tessel::g_system.runWhenInactive, 0);

    // A newer frame replaces the kept one and the image made from it.
    ASSERT_EQ(tessel::SetClipRegionWhole(), 0);
    ASSERT_EQ(tessel::SetImageBlendMode(0, 0), 0);
    PresentFrame(0x0A0B0C, 0x00FF00);
    ShowHalfDrawnFrame();
    ASSERT_EQ(tessel::RepaintLastFrame(), 0);
    ExpectWindowShowsFrame(0x0A0B0C, 0x00FF00);
    ExpectBackScreenHalfDrawn();
}

TEST_P(LastFrameTest, ARepaintFromADrawableImageTargetGoesBackToIt) {
    tessel::g_drawSettings.drawableImageCreation = 1;
    const int image = tessel::CreateDrawableImage(40, 30);
    ASSERT_NE(image, -1);
    PresentFrame(kFrame, kMark);
    ASSERT_EQ(tessel::SelectDrawTarget(image), 0);
    Paint(RECT{0, 0, 40, 30}, 0x123456);
    ASSERT_EQ(tessel::SetClipRegion(1, 2, 30, 20), 0);
    ASSERT_EQ(tessel::RepaintLastFrame(), 0);
    ExpectWindowShowsFrame(kFrame, kMark);
    EXPECT_EQ(tessel::QueryDrawTarget(), image);
    EXPECT_EQ(tessel::g_drawSettings.drawArea.left, 1);
    EXPECT_EQ(tessel::g_drawSettings.drawArea.bottom, 20);
    EXPECT_EQ(TargetPixel(39, 29), 0x123456u);
}

// The window procedure: losing the focus shows the kept frame, and so does
// a paint while inactive, instead of the half-drawn back screen.
TEST_P(LastFrameTest, AnInactiveWindowIsPaintedWithTheLastFrame) {
    PresentFrame(kFrame, kMark);
    ShowHalfDrawnFrame();
    HWND window = tessel::GetMainWindow();
    SendMessageA(window, WM_ACTIVATE, WA_INACTIVE, 0);
    ExpectWindowShowsFrame(kFrame, kMark);

    ShowHalfDrawnFrame();
    const RECT uncovered = {0, 0, 20, 20};
    InvalidateRect(window, &uncovered, FALSE);
    UpdateWindow(window);
    EXPECT_EQ(WindowPixel(5, 7), kMark);
    ExpectBackScreenHalfDrawn();

    Activate();
    InvalidateRect(window, &uncovered, FALSE);
    UpdateWindow(window);
    EXPECT_EQ(WindowPixel(5, 7), kHalfDrawn) << "active again: the back screen";
}

// The change of mode selects the front screen, whose refresh would present
// the new, erased screen were the start-up's timer still pending; it is
// stopped so that the frame from before the change is the last one.
TEST_P(LastFrameTest, AFrameKeptBeforeTheScreenGrewIsStretchedOverIt) {
    KillTimer(tessel::GetMainWindow(), tessel::kFrontScreenTimerId);
    Paint(RECT{0, 0, 320, 480}, kFrame);
    Paint(RECT{320, 0, 640, 480}, kMark);
    ASSERT_EQ(tessel::PresentScreenPublic(), 0);
    ASSERT_EQ(tessel::SetScreenMode(800, 600, 32, 0), 0);
    ASSERT_EQ(tessel::SelectDrawTarget(tessel::kBackScreen), 0);
    Paint(RECT{0, 0, 800, 600}, kHalfDrawn);
    ASSERT_EQ(tessel::RepaintLastFrame(), 0) << Log();
    EXPECT_EQ(WindowPixel(10, 300), kFrame);
    EXPECT_EQ(WindowPixel(390, 300), kFrame);
    EXPECT_EQ(WindowPixel(410, 300), kMark);
    EXPECT_EQ(WindowPixel(790, 590), kMark);
    EXPECT_EQ(TargetPixel(790, 590), kHalfDrawn);
}

TEST_P(LastFrameTest, TheKeptFrameAndItsImageAreFreedAtTheEnd) {
    PresentFrame(kFrame, kMark);
    ASSERT_EQ(tessel::RepaintLastFrame(), 0);
    ASSERT_EQ(tessel::EndLibrary(), 0);
    EXPECT_EQ(tessel::LastFrameKept(), 0);
    EXPECT_EQ(tessel::TrackedBlockCount(), 0u) << Log();
}

INSTANTIATE_TEST_SUITE_P(Paths, LastFrameTest, ::testing::Bool(), PathName);

}  // namespace
}  // namespace tessel_test
