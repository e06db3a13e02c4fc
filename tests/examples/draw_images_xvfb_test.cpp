// The drawing example on a virtual display, on each drawing path: it starts,
// loads its pictures from the archive, shows its frames and ends by itself;
// a screenshot of each path is kept in tests/artifacts/ to be looked at, and
// a few of its pixels are checked here. Skipped where Xvfb or the X tools
// are missing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "tests/support/virtual_display.h"

namespace {

using namespace tessel_test;

constexpr long kFrames = 360;
// The red box's middle, there from the first frame on.
constexpr int kRedX = 50;
constexpr int kRedY = 40;
constexpr char kRed[] = "224,60,60";

pid_t StartExample(const std::string& program, const std::string& display, bool software) {
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("DISPLAY", display.c_str(), 1);
        setenv("SDL_VIDEODRIVER", "x11", 1);
        // Library tests running beside this one hold windows of the same
        // class; a namespace of its own keeps them from counting as a first
        // instance of the example.
        setenv("TESSEL_INSTANCE_NAMESPACE", ("draw_images-" + std::to_string(getpid())).c_str(), 1);
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

// A pixel of the screenshot as "r,g,b".
std::string PixelOf(const std::string& png, int x, int y) {
    const std::string at = "p{" + std::to_string(x) + "," + std::to_string(y) + "}";
    return CommandOutput("convert '" + png + "' -format '%[fx:int(255*" + at +
                         ".r+0.5)],%[fx:int(255*" + at + ".g+0.5)],%[fx:int(255*" + at +
                         ".b+0.5)]' info:");
}

// Screenshots until one shows a drawn frame (start-up measures the clocks
// for up to a second after the window shows); false when none does within
// thirty seconds (sanitizer builds on a busy machine are slow).
bool TakeScreenshotOnceDrawn(const std::string& display, const std::string& shot, int left,
                             int top) {
    const DWORD start = timeGetTime();
    while (timeGetTime() - start < 30000) {
        unlink(shot.c_str());
        OnDisplay(display, "timeout 20 import -window root '" + shot + "'");
        if (access(shot.c_str(), R_OK) == 0 && PixelOf(shot, left + kRedX, top + kRedY) == kRed) {
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
        const pid_t pid = StartExample(program, display.name(), software);
        ASSERT_GT(pid, 0);
        const std::string window = WaitForWindow(display.name(), pid, "Drawing images");
        ASSERT_FALSE(window.empty()) << "the window did not appear";
        const std::string info = OnDisplay(display.name(), "xwininfo -id " + window);
        const int left = Field(info, "Absolute upper-left X:");
        const int top = Field(info, "Absolute upper-left Y:");
        ASSERT_GE(left, 0) << info;
        ASSERT_GE(top, 0) << info;
        const std::string shot = ScreenshotPath(buildFolder, std::string("draw_images_") + path);
        ASSERT_TRUE(TakeScreenshotOnceDrawn(display.name(), shot, left, top)) << shot;
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
