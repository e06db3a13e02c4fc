// Display modes, display changes and the refused requests.
#include <gtest/gtest.h>

#include <vector>

#include "platform/kernel.h"
#include "platform/window.h"
#include "platform/window_testing.h"
#include "tests/platform/window_test_support.h"

using namespace windowtest;

namespace {

class Displays : public ::testing::Test {
  protected:
    void SetUp() override {
        RegisterTestClass("DisplayTest");
        window = CreateWindowExA(0, "DisplayTest", "display", 0x80CA0000u, 0, 0, 320, 240, nullptr,
                                 nullptr, nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        PumpAll();
        Log().clear();
    }
    void TearDown() override {
        DestroyWindow(window);
        PumpAll();
        platform::SetDisplayModes(nullptr, -1, nullptr);  // SDL's own list again
        Log().clear();
    }
    // Every WM_DISPLAYCHANGE the window has in its queue now.
    std::vector<Received> DisplayChanges() {
        Log().clear();
        PumpAll();
        return Only({WM_DISPLAYCHANGE});
    }
    HWND window = nullptr;
};

const platform::DisplayMode kModes[] = {
    {640, 480, 8, 60},  {640, 480, 16, 60}, {640, 480, 32, 60},  {800, 600, 16, 60},
    {800, 600, 16, 75}, {800, 600, 32, 60}, {1024, 768, 32, 60},
};
const platform::DisplayMode kDesktop = {1024, 768, 32, 60};

TEST_F(Displays, EnumerationGivesTheListCurrentAndDesktop) {
    platform::SetDisplayModes(kModes, 7, &kDesktop);
    DEVMODEA mode;
    DWORD count = 0;
    while (EnumDisplaySettingsA(nullptr, count, &mode)) {
        EXPECT_EQ(mode.dmSize, sizeof(DEVMODEA));
        EXPECT_EQ(mode.dmPelsWidth, static_cast<DWORD>(kModes[count].width));
        EXPECT_EQ(mode.dmPelsHeight, static_cast<DWORD>(kModes[count].height));
        EXPECT_EQ(mode.dmBitsPerPel, static_cast<DWORD>(kModes[count].bitsPerPixel));
        EXPECT_EQ(mode.dmDisplayFrequency, static_cast<DWORD>(kModes[count].refreshRate));
        ++count;
    }
    EXPECT_EQ(count, 7u);
    ASSERT_TRUE(EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode));
    EXPECT_EQ(mode.dmPelsWidth, 1024u);
    ASSERT_TRUE(EnumDisplaySettingsA(nullptr, ENUM_REGISTRY_SETTINGS, &mode));
    EXPECT_EQ(mode.dmBitsPerPel, 32u);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 768);
}

TEST_F(Displays, ModeChangePostsDisplayChangeAndRestoreDoesAgain) {
    platform::SetDisplayModes(kModes, 7, &kDesktop);
    DEVMODEA request = {};
    request.dmSize = sizeof request;
    request.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL | DM_DISPLAYFREQUENCY;
    request.dmPelsWidth = 800;
    request.dmPelsHeight = 600;
    request.dmBitsPerPel = 16;
    request.dmDisplayFrequency = 75;
    ASSERT_EQ(ChangeDisplaySettingsA(&request, CDS_FULLSCREEN), DISP_CHANGE_SUCCESSFUL);
    auto changes = DisplayChanges();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].window, window);
    EXPECT_EQ(changes[0].wParam, 16u);
    EXPECT_EQ(changes[0].lParam, MAKELONG(800, 600));
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 800);
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 16);
    EXPECT_EQ(GetDeviceCaps(screen, PLANES), 1);
    EXPECT_EQ(GetDeviceCaps(screen, VREFRESH), 75);
    EXPECT_EQ(ReleaseDC(nullptr, screen), 1);

    // The same mode again is no change and is not announced.
    ASSERT_EQ(ChangeDisplaySettingsA(&request, 0), DISP_CHANGE_SUCCESSFUL);
    EXPECT_TRUE(DisplayChanges().empty());

    ASSERT_EQ(ChangeDisplaySettingsA(nullptr, 0), DISP_CHANGE_SUCCESSFUL);
    changes = DisplayChanges();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].wParam, 32u);
    EXPECT_EQ(changes[0].lParam, MAKELONG(1024, 768));
}

TEST_F(Displays, RefusedRequestsChangeNothing) {
    platform::SetDisplayModes(kModes, 7, &kDesktop);
    struct Case {
        DWORD fields;
        DWORD width, height, bits, rate;
        DWORD flags;
        LONG expected;
    };
    const DWORD all = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL;
    const Case cases[] = {
        {all, 320, 240, 16, 0, CDS_FULLSCREEN, DISP_CHANGE_BADMODE},            // no such size
        {all, 800, 600, 24, 0, CDS_FULLSCREEN, DISP_CHANGE_BADMODE},            // no such depth
        {all | DM_DISPLAYFREQUENCY, 800, 600, 32, 85, 0, DISP_CHANGE_BADMODE},  // no such rate
        {all, 800, 600, 32, 0, CDS_TEST, DISP_CHANGE_SUCCESSFUL},               // only a test
    };
    for (const Case& c : cases) {
        DEVMODEA request = {};
        request.dmSize = sizeof request;
        request.dmFields = c.fields;
        request.dmPelsWidth = c.width;
        request.dmPelsHeight = c.height;
        request.dmBitsPerPel = c.bits;
        request.dmDisplayFrequency = c.rate;
        EXPECT_EQ(ChangeDisplaySettingsA(&request, c.flags), c.expected);
    }
    EXPECT_TRUE(DisplayChanges().empty());
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
}

TEST_F(Displays, GoingFullScreenByStyleIsADisplayChange) {
    platform::SetDisplayModes(kModes, 7, &kDesktop);
    SetWindowLongA(window, GWL_STYLE, static_cast<LONG>(WS_POPUP));
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 1024, 768, SWP_SHOWWINDOW);
    auto changes = DisplayChanges();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].lParam, MAKELONG(1024, 768));
    SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 1024, 768, SWP_SHOWWINDOW);
    EXPECT_TRUE(DisplayChanges().empty());  // nothing changed
    SetWindowLongA(window, GWL_STYLE, static_cast<LONG>(0x80CA0000u));
    EXPECT_EQ(DisplayChanges().size(), 1u);  // and back
}

TEST_F(Displays, SdlsDesktopIsListedAt16And32Bits) {
    platform::SetDisplayModes(nullptr, -1, nullptr);
    DEVMODEA current;
    ASSERT_TRUE(EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &current));
    // The dummy driver reports XRGB8888, which SDL counts as 24 bits.
    EXPECT_EQ(current.dmBitsPerPel, 32u);
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES), 32);
    ReleaseDC(nullptr, screen);
    bool have16 = false;
    bool have32 = false;
    DEVMODEA mode;
    for (DWORD i = 0; EnumDisplaySettingsA(nullptr, i, &mode); ++i) {
        if (mode.dmPelsWidth == current.dmPelsWidth && mode.dmPelsHeight == current.dmPelsHeight) {
            have16 = have16 || mode.dmBitsPerPel == 16;
            have32 = have32 || mode.dmBitsPerPel == 32;
        }
        EXPECT_GE(mode.dmBitsPerPel, 16u);
    }
    EXPECT_TRUE(have16);
    EXPECT_TRUE(have32);
}

TEST_F(Displays, WindowDeviceContextsNameTheirWindow) {
    HDC dc = GetDC(window);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(WindowFromDC(dc), window);
    EXPECT_EQ(ReleaseDC(window, dc), 1);
    EXPECT_EQ(ReleaseDC(window, dc), 0);  // released once
    EXPECT_EQ(WindowFromDC(dc), nullptr);
    EXPECT_EQ(GetDC(reinterpret_cast<HWND>(16)), nullptr);
}

}  // namespace
