// Draw targets on both paths: choosing them, erasing, locking, capturing,
// saving to a file and presenting to the window.
#include <cstring>
#include <filesystem>

#include "foundation/runtime/system_state.h"
#include "graphics/camera/camera.h"
#include "graphics/mask/mask_screen.h"
#include "graphics/targets/draw_targets.h"
#include "images/image_loader.h"
#include "tests/graphics/images/image_test_support.h"
#include "tests/graphics/targets/target_test_support.h"

namespace tessel_test {
namespace {

class DrawTargetTest : public ScreenTargetTest {};

TEST_P(DrawTargetTest, ATargetThatIsNoDrawableImageIsRefusedWithNothingChanged) {
    const int plain = tessel::CreateBlankImage(32, 32);
    ASSERT_NE(plain, -1);
    ASSERT_EQ(tessel::SetClipRegion(3, 4, 50, 60), 0);
    tessel::PlaceCameraByAngles(1.5f, 2.5f, -30.0f, 0.1f, 0.2f, 0.3f);
    const tessel::Mat4 view = tessel::g_drawSettings.view;
    const RECT area = tessel::g_drawSettings.drawArea;
    std::vector<int> refused = {12345, -1, -6, 0};
    if (Hardware()) {
        refused.push_back(plain);
    }
    for (int target : refused) {
        SCOPED_TRACE(target);
        EXPECT_EQ(tessel::SelectDrawTarget(target), -1);
        EXPECT_EQ(tessel::QueryDrawTarget(), -2);
        EXPECT_EQ(tessel::MaskScreenIsEnabled(), 0);
        EXPECT_EQ(std::memcmp(&view, &tessel::g_drawSettings.view, sizeof view), 0);
        EXPECT_EQ(std::memcmp(&area, &tessel::g_drawSettings.drawArea, sizeof area), 0);
    }
    if (!Hardware()) {
        EXPECT_EQ(tessel::SelectDrawTarget(plain), 0) << "every memory image can be drawn on";
    }
}

TEST_P(DrawTargetTest, ATargetOfTheSameSizeKeepsTheDrawAreaAndAnotherSizeResetsIt) {
    tessel::g_drawSettings.drawableImageCreation = 1;
    const int same = tessel::CreateDrawableImage(640, 480);
    const int small = tessel::CreateDrawableImage(40, 30);
    ASSERT_NE(same, -1);
    ASSERT_NE(small, -1);
    ASSERT_EQ(tessel::SetClipRegion(10, 20, 300, 200), 0);
    ASSERT_EQ(tessel::SelectDrawTarget(same), 0);
    EXPECT_EQ(tessel::QueryDrawTarget(), same);
    const RECT kept = tessel::g_drawSettings.drawArea;
    EXPECT_EQ(kept.left, 10);
    EXPECT_EQ(kept.bottom, 200);
    ASSERT_EQ(tessel::SelectDrawTarget(small), 0);
    const RECT reset = tessel::g_drawSettings.drawArea;
    EXPECT_EQ(reset.left, 0);
    EXPECT_EQ(reset.top, 0);
    EXPECT_EQ(reset.right, 40);
    EXPECT_EQ(reset.bottom, 30);
    ASSERT_EQ(tessel::SelectDrawTarget(-2), 0);
    EXPECT_EQ(tessel::g_drawSettings.drawArea.right, 640);
}

TEST_P(DrawTargetTest, ErasingFillsTheRectangleOrAllWhenTheLeftIsNegative) {
    Paint(RECT{0, 0, 640, 480}, 0x102030);
    Paint(RECT{5, 6, 9, 8}, 0xC08040);
    EXPECT_EQ(TargetPixel(5, 6), 0xC08040u);
    EXPECT_EQ(TargetPixel(8, 7), 0xC08040u);
    EXPECT_EQ(TargetPixel(9, 7), 0x102030u);
    EXPECT_EQ(TargetPixel(5, 8), 0x102030u);
    Paint(RECT{-1, 0, 2, 2}, 0x40F0A0);
    EXPECT_EQ(TargetPixel(639, 479), 0x40F0A0u);
    EXPECT_EQ(TargetPixel(7, 7), 0x40F0A0u);
}

TEST_P(DrawTargetTest, ADrawableImageTargetIsErasedAndLockedApartFromTheScreen) {
    tessel::g_drawSettings.drawableImageCreation = 1;
    const int image = tessel::CreateDrawableImage(20, 10);
    ASSERT_NE(image, -1);
    Paint(RECT{0, 0, 640, 480}, 0x000000);
    ASSERT_EQ(tessel::SelectDrawTarget(image), 0);
    Paint(RECT{0, 0, 20, 10}, 0x3366CC);
    EXPECT_EQ(TargetPixel(19, 9), 0x3366CCu);
    EXPECT_EQ(Pixel(image, 19, 9) & 0xFFFFFF, 0x3366CCu);
    const RECT outside = {0, 0, 21, 10};
    tessel::BASEIMAGE view = {};
    EXPECT_EQ(tessel::LockScreenRect(&outside, &view), -1);
    ASSERT_EQ(tessel::SelectDrawTarget(-2), 0);
    EXPECT_EQ(TargetPixel(19, 9), 0x000000u);
}

TEST_P(DrawTargetTest, CaptureNeedsAnImageOfExactlyTheRectanglesSize) {
    Paint(RECT{0, 0, 640, 480}, 0x0A0B0C);
    Paint(RECT{100, 50, 103, 52}, 0xF01020);
    const int exact = tessel::CreateBlankImage(5, 4);
    const int larger = tessel::CreateBlankImage(6, 4);
    ASSERT_NE(exact, -1);
    ASSERT_NE(larger, -1);
    EXPECT_EQ(tessel::CaptureScreenToImage(99, 49, 105, 53, larger), 0);
    EXPECT_EQ(tessel::CaptureScreenToImage(99, 49, 104, 53, larger), -1);
    EXPECT_EQ(tessel::CaptureScreenToImage(99, 49, 104, 53, exact), 0);
    EXPECT_EQ(Pixel(exact, 0, 0) & 0xFFFFFF, 0x0A0B0Cu);
    EXPECT_EQ(Pixel(exact, 1, 1) & 0xFFFFFF, 0xF01020u);
    EXPECT_EQ(Pixel(exact, 3, 2) & 0xFFFFFF, 0xF01020u);
    EXPECT_EQ(Pixel(exact, 4, 2) & 0xFFFFFF, 0x0A0B0Cu);
    EXPECT_EQ(tessel::CaptureScreenToImage(636, 0, 641, 4, exact), -1);
    EXPECT_EQ(tessel::CaptureScreenToImage(0, 0, 5, 4, 12345), -1);
}

TEST_P(DrawTargetTest, ASavedScreenRectangleReadsBackWithItsPixels) {
    Paint(RECT{0, 0, 640, 480}, 0x204060);
    Paint(RECT{12, 7, 14, 8}, 0xE0C0A0);
    const std::string path = dir().Linux("shot.bmp");
    ASSERT_EQ(tessel::SaveDrawScreen(10, 5, 17, 9, path.c_str(), 0, 80, 0, -1), 0) << Log();
    tessel::BASEIMAGE read = {};
    ASSERT_EQ(tessel::LoadImageBufferFromFile(path.c_str(), nullptr, 0, 0, &read, 0), 0);
    ASSERT_EQ(read.width, 7);
    ASSERT_EQ(read.height, 4);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 7; ++x) {
            SCOPED_TRACE(testing::Message() << x << "," << y);
            int r = 0, g = 0, b = 0, a = 0;
            tessel::ReadImagePixel(&read, x, y, &r, &g, &b, &a);
            const bool inside = (x == 2 || x == 3) && y == 2;
            const uint32_t want = inside ? 0xE0C0A0 : 0x204060;
            EXPECT_EQ((uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b), want);
        }
    }
    tessel::ReleaseImageBuffer(&read);
}

TEST_P(DrawTargetTest, SavingReportsTheWritersFailureAndRefusesUnknownTypes) {
    const std::string unknown = dir().Linux("shot.xyz");
    EXPECT_EQ(tessel::SaveDrawScreen(0, 0, 8, 8, unknown.c_str(), 3, 80, 0, -1), -1);
    EXPECT_FALSE(std::filesystem::exists(unknown));
    const std::string nowhere = dir().Linux("missing-folder/shot.png");
    EXPECT_EQ(tessel::SaveDrawScreen(0, 0, 8, 8, nowhere.c_str(), 2, 80, 0, -1), -1);
    const std::string png = dir().Linux("shot.png");
    EXPECT_EQ(tessel::SaveDrawScreen(0, 0, 8, 8, png.c_str(), 2, 80, 0, -1), 0);
    EXPECT_EQ(tessel::SaveDrawScreen(0, 0, 641, 8, png.c_str(), 2, 80, 0, -1), -1);
    EXPECT_EQ(tessel::SaveDrawScreen(4, 0, 4, 8, png.c_str(), 2, 80, 0, -1), -1);
}

TEST_P(DrawTargetTest, APresentedFrameReachesTheWindow) {
    Paint(RECT{0, 0, 640, 480}, 0x112233);
    Paint(RECT{639, 479, 640, 480}, 0xAABBCC);
    ASSERT_EQ(tessel::PresentScreenPublic(), 0);
    HWND window = tessel::GetMainWindow();
    EXPECT_EQ(platform::ReadWindowPixel(window, 0, 0), 0x112233u);
    EXPECT_EQ(platform::ReadWindowPixel(window, 639, 479), 0xAABBCCu);
    EXPECT_EQ(platform::ReadWindowPixel(window, 638, 479), 0x112233u);
}

TEST_P(DrawTargetTest, APartialPresentationThatMapsToNothingIsRefused) {
    ASSERT_EQ(tessel::PresentScreenPublic(), 0);
    const RECT empty = {5, 5, 5, 9};
    EXPECT_EQ(tessel::PresentScreen(&empty), -1);
    const RECT part = {0, 0, 10, 10};
    EXPECT_EQ(tessel::PresentScreen(&part), 0);
}

TEST_P(DrawTargetTest, EnablingTheMaskScreenIsRefusedAndChangesNothing) {
    Paint(RECT{0, 0, 640, 480}, 0x445566);
    EXPECT_EQ(tessel::MaskScreenEnable(1), -1);
    EXPECT_EQ(tessel::MaskScreenIsEnabled(), 0);
    EXPECT_EQ(tessel::g_maskScreen.active, 0);
    EXPECT_EQ(tessel::QueryDrawTarget(), -2);
    Paint(RECT{1, 1, 2, 2}, 0x778899);
    EXPECT_EQ(TargetPixel(1, 1), 0x778899u);
    EXPECT_EQ(TargetPixel(2, 1), 0x445566u);
}

TEST_P(DrawTargetTest, ALockIsHeldUntilReleasedAndASurfaceThatCannotBeLockedIsCopied) {
    tessel::g_drawSettings.drawableImageCreation = 1;
    const int image = tessel::CreateDrawableImage(8, 8);
    ASSERT_NE(image, -1);
    ASSERT_EQ(tessel::SelectDrawTarget(image), 0);
    Paint(RECT{0, 0, 8, 8}, 0x5A6B7C);
    Paint(RECT{5, 6, 6, 7}, 0x102030);
    const RECT rect = {2, 3, 6, 7};
    tessel::BASEIMAGE view = {};
    ASSERT_EQ(tessel::LockScreenRect(&rect, &view), 0) << Log();
    EXPECT_EQ(view.width, 4);
    EXPECT_EQ(view.height, 4);
    tessel::BASEIMAGE second = {};
    EXPECT_EQ(tessel::LockScreenRect(&rect, &second), -1) << "one lock at a time";
    if (Hardware()) {
        EXPECT_NE(tessel::g_targets.lockedCopy, nullptr)
            << "a render-target texture cannot be locked";
        EXPECT_NE(tessel::g_targets.lockedSurface != nullptr,
                  tessel::g_targets.lockedCopy != nullptr);
    }
    int r = 0, g = 0, b = 0, a = 0;
    tessel::ReadImagePixel(&view, 3, 3, &r, &g, &b, &a);
    EXPECT_EQ((r << 16) | (g << 8) | b, 0x102030);
    tessel::ReadImagePixel(&view, 2, 3, &r, &g, &b, &a);
    EXPECT_EQ((r << 16) | (g << 8) | b, 0x5A6B7C);
    EXPECT_EQ(tessel::ReleaseScreenLock(), 0);
    EXPECT_EQ(tessel::g_targets.lockHeld, 0);
    EXPECT_EQ(tessel::g_targets.lockedCopy, nullptr);
    EXPECT_EQ(tessel::ReleaseScreenLock(), 0);
}

INSTANTIATE_TEST_SUITE_P(Paths, DrawTargetTest, ::testing::Bool(), PathName);

// The software path blits the screen into the window itself; the source y
// of the blit counts from the image's bottom.
class SoftwarePresentTest : public ImageTest {
  protected:
    void TearDown() override {
        ImageTest::TearDown();
        tessel::g_system.windowScaleX = 1.0;
        tessel::g_system.windowScaleY = 1.0;
    }
    void Start(bool hardware) {
        tessel::g_screen.colorBits = 32;
        ImageTest::Start(hardware);
        ASSERT_EQ(tessel::SelectDrawTarget(tessel::kBackScreen), 0);
    }
};

TEST_F(SoftwarePresentTest, AtScaleTwoTheScreenIsStretchedToTwiceItsSize) {
    tessel::g_system.windowScaleX = 2.0;
    tessel::g_system.windowScaleY = 2.0;
    Start(false);
    Paint(RECT{0, 0, 640, 480}, 0x101010);
    Paint(RECT{0, 0, 1, 1}, 0xFF0000);
    Paint(RECT{639, 479, 640, 480}, 0x00FF00);
    ASSERT_EQ(tessel::PresentScreenPublic(), 0);
    HWND window = tessel::GetMainWindow();
    EXPECT_EQ(platform::ReadWindowPixel(window, 1, 1), 0xFF0000u);
    EXPECT_EQ(platform::ReadWindowPixel(window, 2, 2), 0x101010u);
    EXPECT_EQ(platform::ReadWindowPixel(window, 1278, 958), 0x00FF00u);
    EXPECT_EQ(platform::ReadWindowPixel(window, 1277, 957), 0x101010u);
    EXPECT_EQ(tessel::g_targets.presentArea.right, 1280);
    EXPECT_EQ(tessel::g_targets.presentArea.bottom, 960);
}

TEST_F(SoftwarePresentTest, APartialPresentationTakesItsRowsCountedFromTheBottom) {
    Start(false);
    Paint(RECT{0, 0, 640, 480}, 0x000000);
    ASSERT_EQ(tessel::PresentScreenPublic(), 0);
    Paint(RECT{0, 0, 640, 480}, 0x0000FF);
    Paint(RECT{20, 10, 30, 20}, 0xFFFF00);
    const RECT part = {20, 10, 30, 20};
    ASSERT_EQ(tessel::PresentScreen(&part), 0);
    HWND window = tessel::GetMainWindow();
    EXPECT_EQ(platform::ReadWindowPixel(window, 20, 10), 0xFFFF00u);
    EXPECT_EQ(platform::ReadWindowPixel(window, 29, 19), 0xFFFF00u);
    EXPECT_EQ(platform::ReadWindowPixel(window, 30, 19), 0x000000u) << "outside the rectangle";
    EXPECT_EQ(platform::ReadWindowPixel(window, 19, 10), 0x000000u);
}

TEST_F(SoftwarePresentTest, AnUncoveredWindowIsRepaintedFromTheBackScreen) {
    Start(false);
    Paint(RECT{0, 0, 640, 480}, 0x303030);
    ASSERT_EQ(tessel::PresentScreenPublic(), 0);
    Paint(RECT{0, 0, 640, 480}, 0xC0FFEE);
    HWND window = tessel::GetMainWindow();
    EXPECT_EQ(platform::ReadWindowPixel(window, 100, 100), 0x303030u);
    const RECT uncovered = {90, 90, 110, 110};
    InvalidateRect(window, &uncovered, FALSE);
    UpdateWindow(window);
    EXPECT_EQ(platform::ReadWindowPixel(window, 100, 100), 0xC0FFEEu);
    EXPECT_EQ(platform::ReadWindowPixel(window, 200, 200), 0x303030u) << "outside the rectangle";
}

TEST_F(SoftwarePresentTest, The320x240EmulationShowsTheTopLeftQuarterOverTheWindow) {
    Start(false);
    ASSERT_EQ(tessel::SetEmulation320x240(1), 0);
    Paint(RECT{0, 0, 640, 480}, 0x000080);
    Paint(RECT{319, 239, 320, 240}, 0xFFFFFF);
    ASSERT_EQ(tessel::PresentScreenPublic(), 0);
    HWND window = tessel::GetMainWindow();
    EXPECT_EQ(platform::ReadWindowPixel(window, 638, 478), 0xFFFFFFu);
    EXPECT_EQ(platform::ReadWindowPixel(window, 639, 479), 0xFFFFFFu);
    EXPECT_EQ(platform::ReadWindowPixel(window, 637, 477), 0x000080u);
}

}  // namespace
}  // namespace tessel_test
