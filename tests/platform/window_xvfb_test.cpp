// A real window on a real (virtual) X server: this program starts Xvfb, runs
// itself again on it with SDL's X11 driver, and that second process opens a
// window, presents its framebuffer, types a key into it with xdotool and
// keeps a screenshot of the screen in tests/artifacts/.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/kernel.h"
#include "platform/window.h"
#include "platform/window_testing.h"
#include "tests/platform/window_test_support.h"

extern char** environ;

using namespace windowtest;

namespace {

constexpr int kClientX = 40;
constexpr int kClientY = 30;
constexpr int kWidth = 320;
constexpr int kHeight = 240;

// Quadrants of plain colours, so that a screenshot shows at a glance whether
// rows or channels came out swapped.
uint32_t PatternAt(int x, int y) {
    bool right = x >= kWidth / 2;
    bool bottom = y >= kHeight / 2;
    if (!right && !bottom)
        return 0x00FF0000u;  // red
    if (right && !bottom)
        return 0x0000FF00u;  // green
    if (!right && bottom)
        return 0x000000FFu;  // blue
    return 0x00FFFFFFu;      // white
}

std::string ArtifactPath(const char* name) {
    std::string source = __FILE__;  // .../tests/platform/window_xvfb_test.cpp
    std::string tests = source.substr(0, source.rfind('/'));
    tests = tests.substr(0, tests.rfind('/'));
    std::string dir = tests + "/artifacts";
    mkdir(dir.c_str(), 0755);
    return dir + "/" + name;
}

bool HaveProgram(const char* name) {
    std::string command = std::string("command -v ") + name + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

// The colour of one screen pixel of a PNG, as "r,g,b".
std::string PixelOf(const std::string& png, int x, int y) {
    std::string command = "convert '" + png + "' -format '%[fx:int(255*p{" + std::to_string(x) +
                          "," + std::to_string(y) + "}.r)],%[fx:int(255*p{" + std::to_string(x) +
                          "," + std::to_string(y) + "}.g)],%[fx:int(255*p{" + std::to_string(x) +
                          "," + std::to_string(y) + "}.b)]' info:";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return "";
    }
    char buffer[64] = {};
    std::string out = fgets(buffer, sizeof buffer, pipe) != nullptr ? buffer : "";
    pclose(pipe);
    return out;
}

void PumpFor(DWORD milliseconds) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        PumpAll();
        Sleep(5);
    }
}

// The second process, on the X server that the first one started.
TEST(XvfbWindowHelper, ShowAndCapture) {
    const char* shot = std::getenv("TESSEL_XVFB_SCREENSHOT");
    if (shot == nullptr) {
        GTEST_SKIP() << "runs only inside the Xvfb test";
    }
    ASSERT_TRUE(platform::HasRealVideoDriver())
        << "DISPLAY=" << std::getenv("DISPLAY") << ": " << SDL_GetError();
    RegisterTestClass("XvfbTestClass");
    const DWORD style = 0x80CA0000u;
    RECT rect = {0, 0, kWidth, kHeight};
    AdjustWindowRectEx(&rect, style, FALSE, 0);
    HWND window = CreateWindowExA(0, "XvfbTestClass", "Xvfb テスト", style, kClientX + rect.left,
                                  kClientY + rect.top, rect.right - rect.left,
                                  rect.bottom - rect.top, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    PumpFor(300);

    platform::WindowFramebuffer fb;
    ASSERT_TRUE(platform::LockWindowFramebuffer(window, &fb));
    ASSERT_EQ(fb.width, kWidth);
    ASSERT_EQ(fb.height, kHeight);
    for (int y = 0; y < fb.height; ++y) {
        for (int x = 0; x < fb.width; ++x) {
            fb.pixels[y * (fb.pitch / 4) + x] = PatternAt(x, y);
        }
    }
    platform::UnlockWindowFramebuffer(window, true);
    PumpFor(300);

    // A key typed on the X server arrives as the key and its character.
    SDL_RaiseWindow(platform::SdlWindowOf(windowtest::RecordOf(window)));
    SDL_SetWindowInputFocus(platform::SdlWindowOf(windowtest::RecordOf(window)));
    PumpFor(200);
    Log().clear();
    ASSERT_EQ(std::system("xdotool key q"), 0);
    PumpFor(400);
    auto keys = Only({WM_KEYDOWN, WM_CHAR});
    ASSERT_GE(keys.size(), 2u);
    EXPECT_EQ(keys[0].message, WM_KEYDOWN);
    EXPECT_EQ(keys[0].wParam, static_cast<WPARAM>('Q'));
    EXPECT_EQ((keys[0].lParam >> 16) & 0xFF, 0x10);
    EXPECT_EQ(keys[1].message, WM_CHAR);
    EXPECT_EQ(keys[1].wParam, static_cast<WPARAM>('q'));

    // The layout's characters come from the server's text, control
    // characters from the keys; each once.
    Log().clear();
    ASSERT_EQ(std::system("xdotool key shift+2 Return"), 0);
    PumpFor(400);
    auto chars = Only({WM_CHAR});
    ASSERT_EQ(chars.size(), 2u);
    EXPECT_EQ(chars[0].wParam, static_cast<WPARAM>('@'));
    EXPECT_EQ(chars[1].wParam, 13u);

    std::string command = std::string("import -window root '") + shot + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    int x = 0;
    int y = 0;
    SDL_GetWindowPosition(platform::SdlWindowOf(windowtest::RecordOf(window)), &x, &y);
    EXPECT_EQ(PixelOf(shot, x + 10, y + 10), "255,0,0");
    EXPECT_EQ(PixelOf(shot, x + kWidth - 10, y + 10), "0,255,0");
    EXPECT_EQ(PixelOf(shot, x + 10, y + kHeight - 10), "0,0,255");
    EXPECT_EQ(PixelOf(shot, x + kWidth - 10, y + kHeight - 10), "255,255,255");

    // Full screen in a mode the server cannot show: the picture covers the
    // whole screen, stretched.
    SDL_DisplayMode desktop;
    ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &desktop), 0);
    const platform::DisplayMode modes[] = {{640, 480, 32, 60},
                                           {desktop.w, desktop.h, 32, desktop.refresh_rate}};
    platform::SetDisplayModes(modes, 2, &modes[1]);
    DEVMODEA request = {};
    request.dmSize = sizeof request;
    request.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL;
    request.dmPelsWidth = 640;
    request.dmPelsHeight = 480;
    request.dmBitsPerPel = 32;
    ASSERT_EQ(ChangeDisplaySettingsA(&request, CDS_FULLSCREEN), DISP_CHANGE_SUCCESSFUL);
    SetWindowLongA(window, GWL_STYLE, static_cast<LONG>(WS_POPUP));
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 640, 480, SWP_SHOWWINDOW);
    Log().clear();
    PumpFor(500);
    EXPECT_FALSE(Only({WM_DISPLAYCHANGE}).empty());
    EXPECT_TRUE(Only({WM_SIZE}).empty());  // the window keeps the mode's size
    ASSERT_TRUE(platform::LockWindowFramebuffer(window, &fb));
    ASSERT_EQ(fb.width, 640);
    for (int y = 0; y < fb.height; ++y) {
        for (int x = 0; x < fb.width; ++x) {
            fb.pixels[y * (fb.pitch / 4) + x] = PatternAt(x * kWidth / 640, y * kHeight / 480);
        }
    }
    platform::UnlockWindowFramebuffer(window, true);
    PumpFor(300);
    std::string full = std::string(shot).replace(std::string(shot).rfind(".png"), 4, "_full.png");
    command = "import -window root '" + full + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(PixelOf(full, 10, 10), "255,0,0");
    EXPECT_EQ(PixelOf(full, desktop.w - 10, 10), "0,255,0");
    EXPECT_EQ(PixelOf(full, 10, desktop.h - 10), "0,0,255");
    EXPECT_EQ(PixelOf(full, desktop.w - 10, desktop.h - 10), "255,255,255");

    // A real message box, answered from the keyboard once it shows; its
    // texts go to the screen as UTF-8 from the program's code page 932.
    std::string box = std::string(shot).replace(std::string(shot).rfind(".png"), 4, "_box.png");
    std::string answer =
        "(for i in $(seq 100); do id=$(xwininfo -root -tree | awk '/\"Tessel /{print $1}'); "
        "[ -n \"$id\" ] && break; sleep 0.1; done; xdotool windowfocus --sync $id; sleep 0.3; "
        "import -window root '" +
        box + "'; xdotool key Return) >/dev/null 2>&1 &";
    ASSERT_EQ(std::system(answer.c_str()), 0);
    EXPECT_EQ(MessageBoxA(window, "ねぇ、フルスクリーン、するの？", "Tessel 画面のコトだけど……",
                          MB_YESNO | MB_ICONQUESTION),
              IDYES);
    EXPECT_EQ(access(box.c_str(), R_OK), 0);

    DestroyWindow(window);
    PumpAll();
}

// Starts Xvfb on a free display; returns its pid and display number.
bool StartXvfb(pid_t* pid, int* display) {
    int fds[2];
    if (pipe(fds) != 0) {
        return false;
    }
    std::string fd = std::to_string(fds[1]);
    char program[] = "Xvfb";
    char displayFd[] = "-displayfd";
    char screen[] = "-screen";
    char zero[] = "0";
    char geometry[] = "800x600x24";
    char noListen[] = "-nolisten";
    char tcp[] = "tcp";
    char* argv[] = {program, displayFd, fd.data(), screen, zero, geometry, noListen, tcp, nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    int result = posix_spawnp(pid, "Xvfb", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (result != 0) {
        close(fds[0]);
        return false;
    }
    // The server writes the number, then a line end; closing our end before
    // the line end arrives would end the server.
    std::string number;
    bool ok = false;
    while (number.size() < 16) {
        pollfd wait = {fds[0], POLLIN, 0};
        char c = 0;
        if (poll(&wait, 1, 10000) != 1 || read(fds[0], &c, 1) != 1) {
            break;
        }
        if (c == '\n') {
            ok = !number.empty();
            break;
        }
        number += c;
    }
    close(fds[0]);
    if (!ok) {
        kill(*pid, SIGTERM);
        waitpid(*pid, nullptr, 0);
        return false;
    }
    *display = std::atoi(number.c_str());
    return true;
}

TEST(XvfbWindow, ARealWindowShowsItsFramebufferAndTakesKeys) {
    if (!HaveProgram("Xvfb") || !HaveProgram("import") || !HaveProgram("xdotool")) {
        GTEST_SKIP() << "Xvfb, ImageMagick or xdotool is not installed";
    }
    pid_t server = 0;
    int display = 0;
    ASSERT_TRUE(StartXvfb(&server, &display));
    std::string shot = ArtifactPath("window_xvfb.png");
    unlink(shot.c_str());

    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        std::string entry = *e;
        if (entry.rfind("SDL_VIDEODRIVER=", 0) != 0 && entry.rfind("DISPLAY=", 0) != 0 &&
            entry.rfind("ASAN_OPTIONS=", 0) != 0) {
            env.push_back(entry);
        }
    }
    env.push_back("SDL_VIDEODRIVER=x11");
    env.push_back("DISPLAY=:" + std::to_string(display));
    env.push_back("TESSEL_XVFB_SCREENSHOT=" + shot);
    // The X client libraries keep allocations to the end; they are not ours.
    env.push_back("ASAN_OPTIONS=detect_leaks=0");
    std::vector<char*> envp;
    for (std::string& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    std::string filter = "--gtest_filter=XvfbWindowHelper.ShowAndCapture";
    char self[] = "/proc/self/exe";
    char* argv[] = {self, filter.data(), nullptr};
    pid_t helper = 0;
    ASSERT_EQ(posix_spawn(&helper, "/proc/self/exe", nullptr, nullptr, argv, envp.data()), 0);
    // A helper stuck on a message box nobody answers is ended, not waited for.
    int status = 0;
    DWORD start = GetTickCount();
    while (waitpid(helper, &status, WNOHANG) == 0) {
        if (GetTickCount() - start > 60000) {
            kill(helper, SIGKILL);
            waitpid(helper, &status, 0);
            break;
        }
        Sleep(20);
    }
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(access(shot.c_str(), R_OK), 0);
}

}  // namespace
