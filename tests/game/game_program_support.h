// The whole game program on the running library, in a scratch folder that
// holds the generated data: start-up's log kept off, the frame loop's calls
// the library's own until a test changes some and binds them, and the
// program's global state back as at process start afterwards.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "game/loop/frame_calls.h"
#include "game/loop/frame_overlays.h"
#include "game/loop/frame_pacer.h"
#include "game/loop/scene_machine.h"
#include "game/play/play_state.h"
#include "game/random/dsfmt_random.h"
#include "game/startup/startup_calls.h"
#include "tests/graphics/device/graphics_test_support.h"

namespace game_test {

// A clock of milliseconds that only the frame loop's sleeps move.
struct SleepClock {
    static inline int now = 1000;
    static int Read() { return now; }
    static void Sleep(int ms) { now += ms; }
};

class GameProgramTest : public tessel_test::GraphicsTest {
  protected:
    void SetUp() override {
        GraphicsTest::SetUp();
        startCalls_ = LibraryStartupCalls();
        startCalls_.enableLogFile = [](int) { return 0; };
        BindStartupCalls(&startCalls_);
        frameCalls_ = LibraryFrameCalls();
        ResetSceneMachine();
        ResetFramePacer(&FramePacer);
        ScreenshotKey = ScreenshotKeyState{};
    }
    void TearDown() override {
        BindFrameCalls(nullptr);
        BindStartupCalls(nullptr);
        ResetSceneMachine();
        ReplayPlayback = 0;
        PlayRandom = savedPlay_;
        AuxRandomB = savedB_;
        GraphicsTest::TearDown();
    }

    // The frame loop's clock and sleep on a SleepClock that starts afresh.
    void UseSleepClock() {
        SleepClock::now = 1000;
        frameCalls_.readClock = &SleepClock::Read;
        frameCalls_.sleep = &SleepClock::Sleep;
    }
    // Binds frameCalls_ as the test has set them.
    void BindFrames() { BindFrameCalls(&frameCalls_); }

    std::string Folder(const char* name) const { return dir().Linux(name); }

    // The generated pictures and sounds, where the program looks for them.
    void LinkGameData() const {
        const std::string data = VANTREL_GAME_DATA_DIR;
        ASSERT_EQ(symlink((data + "/image").c_str(), Folder("image").c_str()), 0);
        ASSERT_EQ(symlink((data + "/sound").c_str(), Folder("sound").c_str()), 0);
    }

    StartupCalls startCalls_{};
    FrameCalls frameCalls_{};

  private:
    const DsfmtRandom savedPlay_ = PlayRandom;
    const DsfmtRandom savedB_ = AuxRandomB;
};

}  // namespace game_test
