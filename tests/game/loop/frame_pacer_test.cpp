// Frame pacing: due times within a one-second cycle, and the mean frame time of a whole cycle.
#include "game/loop/frame_pacer.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A clock that only the sleeps and the test move.
struct FakeClock {
    static int& Now() {
        static int now = 0;
        return now;
    }
    static std::vector<int>& Sleeps() {
        static std::vector<int> sleeps;
        return sleeps;
    }
    static int Read() { return Now(); }
    static void Sleep(int ms) {
        Sleeps().push_back(ms);
        Now() += ms;
    }
};

class FramePacerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetFramePacer(&pacer_);
        FakeClock::Now() = 70000;
        FakeClock::Sleeps().clear();
    }
    // One frame that takes `work` ms before its wait; the ms slept.
    int Frame(int work) {
        FakeClock::Now() += work;
        size_t before = FakeClock::Sleeps().size();
        WaitFrameOf(&pacer_, &FakeClock::Read, &FakeClock::Sleep);
        return FakeClock::Sleeps().size() > before ? FakeClock::Sleeps().back() : 0;
    }

    FramePacerState pacer_{};
};

TEST_F(FramePacerTest, FramesAreDueAtTruncatedSixtiethsOfTheCycle) {
    // Early enough that a wait for "cycle start + 1000" would show.
    FakeClock::Now() = 400;
    EXPECT_EQ(Frame(3), 0) << "the very first call never waits";
    EXPECT_EQ(pacer_.cycleStart, 403);
    // Due 403 + n x 16.666...: 419, 436, 453, 469 (truncated).
    std::vector<int> sleeps;
    for (int n = 1; n <= 4; ++n) {
        sleeps.push_back(Frame(2));
    }
    EXPECT_EQ(sleeps, (std::vector<int>{14, 15, 15, 14}));
    EXPECT_EQ(FakeClock::Now(), 469);
}

TEST_F(FramePacerTest, ALateFrameIsNotMadeUpAndTheNextCycleStartsASecondLater) {
    Frame(0);  // cycle start 70000
    EXPECT_EQ(Frame(40), 0) << "40 ms late for 70016: no sleep";
    EXPECT_EQ(Frame(0), 0) << "70040 is past 70033 too";
    EXPECT_EQ(Frame(0), 10) << "frame 3 is due at 70050 whatever came before";
    for (int n = 4; n < 60; ++n) {
        Frame(1);
    }
    EXPECT_EQ(pacer_.cycleIndex, 0);
    EXPECT_EQ(FakeClock::Now(), 70983);
    EXPECT_EQ(Frame(1), 16) << "frame 0 of the next cycle is due at start + 1000";
    EXPECT_EQ(pacer_.cycleStart, 71000);
}

TEST_F(FramePacerTest, TheMeanIsKnownOnceAWholeCycleHasBeenMeasured) {
    for (int n = 0; n < 60; ++n) {
        Frame(1);
        EXPECT_EQ(pacer_.meanFrameTime, 0.0) << "first cycle, frame " << n;
    }
    for (int n = 0; n < 59; ++n) {
        Frame(1);
        EXPECT_EQ(pacer_.meanFrameTime, 0.0) << "second cycle, frame " << n;
    }
    Frame(1);
    // 60 frames from 70984 (the end of the first cycle) to 71984.
    EXPECT_DOUBLE_EQ(pacer_.meanFrameTime, 1000.0 / 60.0);
    // A cycle whose first 17 frames take 30 ms of work each runs late.
    const int cycleBefore = pacer_.lastFrameTime;
    for (int n = 0; n < 60; ++n) {
        Frame(n < 17 ? 30 : 1);
    }
    EXPECT_DOUBLE_EQ(pacer_.meanFrameTime, (pacer_.lastFrameTime - cycleBefore) / 60.0);
    EXPECT_GT(pacer_.meanFrameTime, 1000.0 / 60.0);
}

}  // namespace
