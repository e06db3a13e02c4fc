// The real vantrelcfg on a virtual display, driven by keyboard input as a user
// would drive it. Skipped where Xvfb, xdotool or ImageMagick is missing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/virtual_display.h"

namespace {

using namespace tessel_test;

pid_t StartProgram(const std::string& program, const std::string& folder,
                   const std::string& display) {
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(folder.c_str()) != 0) {
            _exit(126);
        }
        setenv("DISPLAY", display.c_str(), 1);
        setenv("GDK_BACKEND", "x11", 1);
        setenv("NO_AT_BRIDGE", "1", 1);
        unsetenv("WAYLAND_DISPLAY");
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// The window that has the keyboard focus, as xdotool names it.
std::string Focused(const std::string& display) {
    return FirstLine(OnDisplay(display, "timeout 10 xdotool getwindowfocus"));
}

// Polls `done` until it holds; false after `ms`.
template <class Condition>
bool WaitUntil(Condition done, DWORD ms) {
    const DWORD start = timeGetTime();
    while (!done()) {
        if (timeGetTime() - start > ms) {
            return false;
        }
        Sleep(50);
    }
    return true;
}

bool SamePixels(const WindowPicture& a, const WindowPicture& b) {
    if (a.width() != b.width() || a.height() != b.height()) {
        return false;
    }
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const Rgb p = a.At(x, y), q = b.At(x, y);
            if (p.r != q.r || p.g != q.g || p.b != q.b) {
                return false;
            }
        }
    }
    return true;
}

// True once the window shows something other than `before` and two takes in
// a row agree; `last` keeps the latest take.
bool Settled(const std::string& display, const std::string& window, const WindowPicture& before,
             WindowPicture* last) {
    WindowPicture now;
    if (!now.Take(display, window) || SamePixels(now, before)) {
        return false;
    }
    const bool still = SamePixels(now, *last);
    *last = now;
    return still;
}

TEST(SettingsProgramOnADisplay, KeyboardChoicesAreSavedToConfigDat) {
    if (!OnPath("Xvfb") || !OnPath("xdotool") || !OnPath("import")) {
        GTEST_SKIP() << "Xvfb, xdotool or ImageMagick is not installed";
    }
    std::string buildFolder = ThisProgramFolder();
    std::string program = buildFolder + "/vantrelcfg";
    ASSERT_EQ(access(program.c_str(), X_OK), 0) << program;
    VirtualDisplay display;
    ASSERT_TRUE(display.Start());

    char pattern[] = "/tmp/vantrelcfg_display_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    std::string folder = pattern;
    std::string file = folder + "/config.dat";
    {
        FILE* f = fopen(file.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        const unsigned char highBits[] = {0, 0, 0, 0xF0};
        fwrite(highBits, 1, 4, f);
        fclose(f);
    }

    pid_t pid = StartProgram(program, folder, display.name());
    ASSERT_GT(pid, 0);
    std::string window = FirstLine(OnDisplay(
        display.name(), "timeout 30 xdotool search --sync --onlyvisible --name vantrelcfg"));
    ASSERT_FALSE(window.empty()) << "the dialog did not appear";
    OnDisplay(display.name(), "timeout 10 xdotool windowfocus --sync " + window);
    ASSERT_TRUE(WaitUntil([&] { return Focused(display.name()) == window; }, 10000))
        << "the dialog did not take the focus";
    // What the dialog shows before the keys, to see them taken below.
    WindowPicture before;
    ASSERT_TRUE(before.Take(display.name(), window));
    // Focus starts on the save button; Tab follows the creation order:
    // save, cancel, 32 bit, 16 bit, 640, 960, 1280, the four boxes, window,
    // full screen, ask.
    OnDisplay(display.name(),
              "timeout 20 xdotool key --delay 30 Tab Tab Tab space Tab Tab Tab space Tab space Tab "
              "Tab Tab "
              "space Tab Tab Tab space");
    // The keys are taken once the dialog has redrawn and holds still.
    WindowPicture after;
    ASSERT_TRUE(WaitUntil([&] { return Settled(display.name(), window, before, &after); }, 20000))
        << "the dialog did not change with the keys";
    std::string shot = ScreenshotPath(buildFolder, "settings_dialog");
    EXPECT_TRUE(after.SaveAsPng(shot)) << shot;
    OnDisplay(display.name(), "timeout 10 xdotool key Return");
    EXPECT_EQ(WaitForExit(pid, 30000), 0);

    FILE* f = fopen(file.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    unsigned char saved[8] = {};
    size_t count = fread(saved, 1, sizeof(saved), f);
    fclose(f);
    ASSERT_EQ(count, 4u);
    // 1280 by 960, ask at each start, 16 bit, boxes 51 and 54 on beside the
    // untouched high bits.
    EXPECT_EQ(saved[0], 2);
    EXPECT_EQ(saved[1], 2);
    EXPECT_EQ(saved[2], 1);
    EXPECT_EQ(saved[3], 0xF9);
    std::string cleanup = "rm -rf '" + folder + "'";
    EXPECT_EQ(system(cleanup.c_str()), 0);
}

}  // namespace
