// A library started and ended around a test: a scratch directory that holds
// the log, a window mode start, and an instance namespace of this process so
// that test programs running side by side never see each other's windows.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "foundation/memory/log.h"
#include "foundation/runtime/main_window.h"
#include "foundation/runtime/message_pump.h"
#include "foundation/runtime/startup.h"
#include "foundation/runtime/window_mode.h"
#include "platform/window.h"
#include "platform/window_testing.h"
#include "tests/foundation/files/files_test_support.h"

namespace tessel_test {

// Switches the display to 640 x 480 at 32 bits, as a full-screen program does.
inline LONG SwitchDisplayTo640By480() {
    DEVMODEA mode = {};
    mode.dmSize = sizeof mode;
    mode.dmPelsWidth = 640;
    mode.dmPelsHeight = 480;
    mode.dmBitsPerPel = 32;
    mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL;
    return ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN);
}

inline std::string ProcessNamespace() {
    return "library-test-" + std::to_string(getpid());
}

// A key going down or up, as the keyboard driver reports it; the next frames
// of the message pump take it.
inline void PushKey(SDL_Scancode code, bool down) {
    SDL_Event event = {};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.scancode = code;
    event.key.keysym.sym = SDL_GetKeyFromScancode(code);
    SDL_PushEvent(&event);
}

class LibraryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::SetInstanceNamespace(ProcessNamespace().c_str());
        tessel::EnableLogFile(1);
        tessel::ChangeWindowMode(1);
        tessel::SetWindowTitle("LibraryTest");
    }
    void TearDown() override {
        tessel::EndLibrary();
        platform::SetDisplayModes(nullptr, -1, nullptr);
        tessel::SetLogStartDirectory(nullptr);
    }

    // Full screen needs a display mode of the screen's size; the desktop
    // stays at its own larger mode.
    static void OfferFullScreenModes() {
        static const platform::DisplayMode modes[] = {
            {640, 480, 16, 60}, {640, 480, 32, 60}, {1024, 768, 32, 60}};
        platform::SetDisplayModes(modes, 3, &modes[2]);
    }

    std::string Log() const { return MaskTimeStamps(ReadWholeFile(dir_.Linux("Log.txt"))); }
    const ScratchDirectory& dir() const { return dir_; }

    // Runs frames until the queue has nothing left for the window.
    static void DrainMessages() {
        for (int i = 0; i < 20; ++i) {
            tessel::PumpMessages();
        }
    }

  private:
    ScratchDirectory dir_;
};

}  // namespace tessel_test
