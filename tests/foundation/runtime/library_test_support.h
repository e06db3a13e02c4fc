// A library started and ended around a test: a scratch directory that holds
// the log, a window mode start, and an instance namespace of this process so
// that test programs running side by side never see each other's windows.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "foundation/memory/log.h"
#include "foundation/runtime/main_window.h"
#include "foundation/runtime/message_pump.h"
#include "foundation/runtime/startup.h"
#include "foundation/runtime/window_mode.h"
#include "platform/window.h"
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
