// The movie example on a virtual display, on each drawing path: it starts,
// loads its Theora clip and its graph clip as images, shows their frames and
// ends by itself; a screenshot of each path is kept in
// tests/artifacts/. Skipped where Xvfb or the X tools are missing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "tests/examples/example_display.h"

namespace {

using namespace tessel_test;

constexpr long kFrames = 600;
// The panel under the left movie, outside its picture.
constexpr int kPanelX = 18;
constexpr int kPanelY = 240;
constexpr char kPanel[] = "60,60,80";

struct Rgb {
    int r = -1, g = -1, b = -1;
};

Rgb RgbOf(const std::string& png, int x, int y) {
    Rgb c;
    std::sscanf(PixelOf(png, x, y).c_str(), "%d,%d,%d", &c.r, &c.g, &c.b);
    return c;
}

std::string Text(Rgb c) {
    return std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b);
}

// The graph clip's bands: red top, blue bottom, green changing.
bool LooksLikeAviTop(Rgb c) {
    return c.r > 200 && c.b < 80;
}
bool LooksLikeAviBottom(Rgb c) {
    return c.r < 80 && c.b > 190;
}

TEST(PlayMoviesOnADisplay, EachPathShowsBothClipsMovingAndEndsCleanly) {
    if (!OnPath("Xvfb") || !OnPath("xdotool") || !OnPath("import") || !OnPath("xwininfo")) {
        GTEST_SKIP() << "Xvfb, xdotool, xwininfo or ImageMagick is not installed";
    }
    const std::string buildFolder = ThisProgramFolder();
    const std::string program = buildFolder + "/play_movies";
    ASSERT_EQ(access(program.c_str(), X_OK), 0) << program;
    ASSERT_EQ(access((buildFolder + "/example_movies/clip.ogv").c_str(), R_OK), 0);
    ASSERT_EQ(access((buildFolder + "/example_movies/clip.avi").c_str(), R_OK), 0);
    VirtualDisplay display;
    ASSERT_TRUE(display.Start("800x600x24"));

    for (const bool software : {false, true}) {
        const char* path = software ? "software" : "hardware";
        SCOPED_TRACE(path);
        const pid_t pid = StartExample(program, display.name(), kFrames, software);
        ASSERT_GT(pid, 0);
        const std::string window = WaitForWindow(display.name(), pid, "Playing movies");
        ASSERT_FALSE(window.empty()) << "the window did not appear";
        const WindowCorner corner = FindWindowCorner(display.name(), window);
        const int left = corner.left;
        const int top = corner.top;
        ASSERT_GE(left, 0) << corner.info;
        ASSERT_GE(top, 0) << corner.info;
        const std::string shot = ScreenshotPath(buildFolder, std::string("play_movies_") + path);
        // The panel shows once drawing has begun; the graph clip's first
        // frame comes from its own streaming thread and may follow later.
        const auto bothClipsShow = [&](const std::string& png) {
            return PixelOf(png, left + kPanelX, top + kPanelY) == kPanel &&
                   LooksLikeAviTop(RgbOf(png, left + 464, top + 60)) &&
                   LooksLikeAviBottom(RgbOf(png, left + 464, top + 180));
        };
        TakeScreenshotOnce(display.name(), shot, bothClipsShow);
        ASSERT_EQ(PixelOf(shot, left + kPanelX, top + kPanelY), kPanel) << shot;
        // The Theora clip's picture: its cells on a background that is
        // neither the panel nor the window's.
        const Rgb theora = RgbOf(shot, left + 270, top + 200);
        EXPECT_NE(Text(theora), kPanel);
        EXPECT_NE(Text(theora), "24,28,48");
        EXPECT_TRUE(LooksLikeAviTop(RgbOf(shot, left + 464, top + 60)))
            << Text(RgbOf(shot, left + 464, top + 60));
        EXPECT_TRUE(LooksLikeAviBottom(RgbOf(shot, left + 464, top + 180)))
            << Text(RgbOf(shot, left + 464, top + 180));
        EXPECT_EQ(WaitForExit(pid, 90000), 0) << "the example did not end by itself";
    }
}

}  // namespace
