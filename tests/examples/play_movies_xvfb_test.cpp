// The movie example on a virtual display, on each drawing path: it starts,
// loads its Theora clip and its graph clip as images, shows their frames and
// ends by itself; a screenshot of each path is kept in
// tests/artifacts/. Skipped where Xvfb or the X tools are missing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "tests/support/virtual_display.h"

namespace {

using namespace tessel_test;

constexpr long kFrames = 600;
// The panel under the left movie, outside its picture.
constexpr int kPanelX = 18;
constexpr int kPanelY = 240;
constexpr char kPanel[] = "60,60,80";

pid_t StartExample(const std::string& program, const std::string& display, bool software) {
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("DISPLAY", display.c_str(), 1);
        setenv("SDL_VIDEODRIVER", "x11", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        setenv("TESSEL_INSTANCE_NAMESPACE", ("play_movies-" + std::to_string(getpid())).c_str(), 1);
        // The X client libraries keep allocations to the end; they are not ours.
        setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        const int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        const std::string frames = std::to_string(kFrames);
        execl(program.c_str(), program.c_str(), frames.c_str(), software ? "--software" : nullptr,
              static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

struct Rgb {
    int r = -1, g = -1, b = -1;
};

Rgb PixelOf(const std::string& png, int x, int y) {
    const std::string at = "p{" + std::to_string(x) + "," + std::to_string(y) + "}";
    const std::string text = CommandOutput("convert '" + png + "' -format '%[fx:int(255*" + at +
                                           ".r+0.5)],%[fx:int(255*" + at +
                                           ".g+0.5)],%[fx:int(255*" + at + ".b+0.5)]' info:");
    Rgb c;
    std::sscanf(text.c_str(), "%d,%d,%d", &c.r, &c.g, &c.b);
    return c;
}

std::string Text(Rgb c) {
    return std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b);
}

// A screenshot that shows a drawn frame, within thirty seconds.
bool Screenshot(const std::string& display, const std::string& shot, int left, int top) {
    const DWORD start = timeGetTime();
    while (timeGetTime() - start < 30000) {
        unlink(shot.c_str());
        OnDisplay(display, "timeout 20 import -window root '" + shot + "'");
        if (access(shot.c_str(), R_OK) == 0 &&
            Text(PixelOf(shot, left + kPanelX, top + kPanelY)) == kPanel) {
            return true;
        }
        Sleep(100);
    }
    return false;
}

int Field(const std::string& info, const std::string& name) {
    const size_t at = info.find(name);
    return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + name.size());
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
        const pid_t pid = StartExample(program, display.name(), software);
        ASSERT_GT(pid, 0);
        const std::string window = WaitForWindow(display.name(), pid, "Playing movies");
        ASSERT_FALSE(window.empty()) << "the window did not appear";
        const std::string info = OnDisplay(display.name(), "xwininfo -id " + window);
        const int left = Field(info, "Absolute upper-left X:");
        const int top = Field(info, "Absolute upper-left Y:");
        ASSERT_GE(left, 0) << info;
        ASSERT_GE(top, 0) << info;
        const std::string shot = ScreenshotPath(buildFolder, std::string("play_movies_") + path);
        ASSERT_TRUE(Screenshot(display.name(), shot, left, top)) << shot;
        // The Theora clip's picture: its cells on a background that is
        // neither the panel nor the window's.
        const Rgb theora = PixelOf(shot, left + 270, top + 200);
        EXPECT_NE(Text(theora), kPanel);
        EXPECT_NE(Text(theora), "24,28,48");
        EXPECT_TRUE(LooksLikeAviTop(PixelOf(shot, left + 464, top + 60)))
            << Text(PixelOf(shot, left + 464, top + 60));
        EXPECT_TRUE(LooksLikeAviBottom(PixelOf(shot, left + 464, top + 180)))
            << Text(PixelOf(shot, left + 464, top + 180));
        EXPECT_EQ(WaitForExit(pid, 90000), 0) << "the example did not end by itself";
    }
}

}  // namespace
