// The drawing example on a virtual display, on each drawing path: it starts,
// loads its pictures from the archive, shows its frames and ends by itself;
// a screenshot of each path is kept in tests/artifacts/ to be looked at, and
// a few of its pixels are checked here. Skipped where Xvfb or the X tools
// are missing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "tests/examples/example_display.h"

namespace {

using namespace tessel_test;

constexpr long kFrames = 360;
// The red box's middle, there from the first frame on.
constexpr int kRedX = 50;
constexpr int kRedY = 40;
constexpr char kRed[] = "224,60,60";

TEST(DrawImagesOnADisplay, EachPathShowsTheBoxesAndPicturesAndEndsCleanly) {
    if (!OnPath("Xvfb") || !OnPath("xdotool") || !OnPath("import") || !OnPath("xwininfo")) {
        GTEST_SKIP() << "Xvfb, xdotool, xwininfo or ImageMagick is not installed";
    }
    const std::string buildFolder = ThisProgramFolder();
    const std::string program = buildFolder + "/draw_images";
    ASSERT_EQ(access(program.c_str(), X_OK), 0) << program;
    ASSERT_EQ(access((buildFolder + "/example_pictures.dat").c_str(), R_OK), 0);
    ASSERT_NE(access((buildFolder + "/example_pictures").c_str(), F_OK), 0)
        << "the folder must be gone, so that the archive stands in for it";
    VirtualDisplay display;
    ASSERT_TRUE(display.Start("800x600x24"));

    for (const bool software : {false, true}) {
        const char* path = software ? "software" : "hardware";
        SCOPED_TRACE(path);
        const pid_t pid = StartExample(program, display.name(), kFrames, software);
        ASSERT_GT(pid, 0);
        const std::string window = WaitForWindow(display.name(), pid, "Drawing images");
        ASSERT_FALSE(window.empty()) << "the window did not appear";
        const WindowCorner corner = FindWindowCorner(display.name(), window);
        const int left = corner.left;
        const int top = corner.top;
        ASSERT_GE(left, 0) << corner.info;
        ASSERT_GE(top, 0) << corner.info;
        const std::string shot = ScreenshotPath(buildFolder, std::string("draw_images_") + path);
        ASSERT_TRUE(
            TakeScreenshotOnceShowing(display.name(), shot, left + kRedX, top + kRedY, kRed))
            << shot;
        EXPECT_EQ(WaitForExit(pid, 60000), 0) << "the example did not end by itself";

        struct Spot {
            int x, y;
            const char* rgb;
        };
        const Spot spots[] = {
            {kRedX, kRedY, kRed},      // the red box
            {130, 40, "60,200,90"},    // the green box
            {210, 40, "70,110,230"},   // the blue box
            {290, 40, "240,210,60"},   // the yellow box
            {400, 40, "24,28,48"},     // the background
            {150, 88, "255,255,255"},  // the white outline's top edge
            {31, 101, "240,240,240"},  // the plain tile's frame
        };
        for (const Spot& spot : spots) {
            SCOPED_TRACE(testing::Message() << spot.x << "," << spot.y);
            EXPECT_EQ(PixelOf(shot, left + spot.x, top + spot.y), spot.rgb);
        }
    }
}

}  // namespace
