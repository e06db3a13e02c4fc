// The real vantrelcfg on a virtual display, driven by keyboard input as a user
// would drive it. Skipped where Xvfb or xdotool is missing.
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

TEST(SettingsProgramOnADisplay, KeyboardChoicesAreSavedToConfigDat) {
    if (!OnPath("Xvfb") || !OnPath("xdotool")) {
        GTEST_SKIP() << "Xvfb or xdotool is not installed";
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
    Sleep(200);  // let the toolkit take the focus before the first key
    // Focus starts on the save button; Tab follows the creation order:
    // save, cancel, 32 bit, 16 bit, 640, 960, 1280, the four boxes, window,
    // full screen, ask.
    OnDisplay(display.name(),
              "timeout 20 xdotool key --delay 30 Tab Tab Tab space Tab Tab Tab space Tab space Tab "
              "Tab Tab "
              "space Tab Tab Tab space");
    Sleep(300);
    std::string shot = ScreenshotPath(buildFolder, "settings_dialog");
    if (OnPath("import")) {
        OnDisplay(display.name(), "timeout 20 import -window root '" + shot + "'");
        EXPECT_EQ(access(shot.c_str(), R_OK), 0) << shot;
    }
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
