// A library started around a graphics test on the Direct3D stand-in: the
// default adapter profile, a virtual vertical blank, a scripted refresh clock
// (so that measuring the refresh takes no time) and a known list of display
// modes; everything the graphics layer keeps across starts is reset after.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/math/matrix.h"
#include "foundation/runtime/system_state.h"
#include "graphics/device/device_state.h"
#include "graphics/device/display_modes.h"
#include "graphics/device/graphics_device.h"
#include "graphics/device/shader_pack.h"
#include "graphics/memimg/memimg.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/state/render_state_cache.h"
#include "platform/d3d9_testing.h"
#include "platform/kernel.h"
#include "platform/kernel_testing.h"
#include "platform/types.h"
#include "platform/window.h"
#include "platform/window_testing.h"
#include "softrender/draw_state.h"
#include "tests/foundation/runtime/library_test_support.h"

namespace tessel_test {

// A display whose blanks come at scripted intervals on a clock that only
// moves when the code under test sleeps or waits. After the script the last
// interval repeats.
struct ScriptedBlanks {
    static inline int64_t now = 0;
    static inline int64_t lastBlank = 0;
    static inline std::vector<int64_t> intervals;
    static inline size_t nextInterval = 0;
    static inline int waits = 0;
    static inline std::vector<DWORD> sleeps;

    static void Start(std::vector<int64_t> script) {
        now = 1000000;
        lastBlank = now;
        intervals = std::move(script);
        nextInterval = 0;
        waits = 0;
        sleeps.clear();
        static const tessel::VerticalBlankClock clock = {Wait, Read, Sleep};
        tessel::SetVerticalBlankClock(&clock);
    }
    static int64_t TakeInterval() {
        if (intervals.empty()) {
            return 16667;
        }
        int64_t interval = intervals[std::min(nextInterval, intervals.size() - 1)];
        ++nextInterval;
        return interval;
    }
    // The next blank that begins after now.
    static void Wait() {
        ++waits;
        int64_t blank = lastBlank + TakeInterval();
        while (blank <= now) {
            blank += TakeInterval();
        }
        now = blank;
        lastBlank = blank;
    }
    static int64_t Read() { return now; }
    static void Sleep(DWORD milliseconds) {
        sleeps.push_back(milliseconds);
        now += static_cast<int64_t>(milliseconds) * 1000;
    }
};

inline const platform::DisplayMode kTestModes[] = {
    {320, 240, 8, 60},  {640, 480, 16, 60},  {640, 480, 32, 60},  {800, 600, 16, 60},
    {800, 600, 32, 60}, {1024, 768, 16, 60}, {1024, 768, 32, 60}, {1024, 768, 32, 75},
};
inline const platform::DisplayMode kTestDesktop = {1024, 768, 32, 60};

class GraphicsTest : public LibraryTest {
  protected:
    void SetUp() override {
        LibraryTest::SetUp();
        platform::SetDisplayModes(kTestModes, std::size(kTestModes), &kTestDesktop);
        platform::ResetD3D9Profile();
        platform::SetVirtualVerticalBlank(true);
        // Call counts run for the whole process: a test counts only its own calls.
        platform::ClearD3D9Trace();
        ScriptedBlanks::Start({});
    }
    void TearDown() override {
        LibraryTest::TearDown();
        tessel::g_screen = {};
        tessel::SetUseHardwareOption(1);
        tessel::SetDesktopCompositionOff(0);
        tessel::g_drawSettings.emulation320x240 = 0;
        tessel::SetVerticalBlankClock(nullptr);
        platform::FailNextD3D9Calls(platform::D3D9FailPoint::CreateDevice, 0);
        platform::SetModuleAbsent("d3d9.dll", false);
        platform::ResetD3D9Profile();
        platform::SetVirtualVerticalBlank(false);
        platform::SetD3D9TraceRecording(false);
    }

    static platform::D3D9Profile ProfileWithout(std::vector<D3DFORMAT> textures,
                                                std::vector<D3DFORMAT> renderTargets) {
        platform::D3D9Profile profile = platform::DefaultD3D9Profile();
        auto drop = [](std::vector<D3DFORMAT>* list, const std::vector<D3DFORMAT>& gone) {
            for (D3DFORMAT format : gone) {
                std::erase(*list, format);
            }
        };
        drop(&profile.textureFormats, textures);
        drop(&profile.renderTargetTextureFormats, renderTargets);
        return profile;
    }

    static D3DSURFACE_DESC Desc(IDirect3DSurface9* surface) {
        D3DSURFACE_DESC desc = {};
        if (surface != nullptr) {
            surface->GetDesc(&desc);
        }
        return desc;
    }

    // Sends the activation the window layer delivers when focus returns.
    static void Activate(int minimised = 0) {
        SendMessageA(tessel::GetMainWindow(), WM_ACTIVATE, MAKELONG(WA_ACTIVE, minimised), 0);
    }

    // Every object of the device part is gone.
    static void ExpectNoDeviceObjects() {
        const tessel::GraphicsDevice& g = tessel::g_graphics;
        EXPECT_EQ(g.device, nullptr);
        EXPECT_EQ(g.swapChain, nullptr);
        EXPECT_EQ(g.backBuffer, nullptr);
        EXPECT_EQ(g.subBackBuffer, nullptr);
        EXPECT_EQ(g.depthSurface, nullptr);
        EXPECT_EQ(g.maxBrightnessVolume, nullptr);
        EXPECT_EQ(g.direct3D, nullptr);
        EXPECT_EQ(g.directDraw, nullptr);
        EXPECT_EQ(g.d3d9Module, nullptr);
        EXPECT_EQ(platform::CurrentD3D9Device(), nullptr) << "a device outlived its release";
    }
};

}  // namespace tessel_test
