// Measuring the display's refresh and waiting for the vertical blank, on a
// scripted display whose clock moves only by the waits and sleeps.
#include <gtest/gtest.h>

#include <vector>

#include "graphics/device/display_modes.h"
#include "tests/graphics/device/graphics_test_support.h"

using namespace tessel;
using tessel_test::ScriptedBlanks;

namespace {

class VerticalBlank : public ::testing::Test {
  protected:
    void TearDown() override { SetVerticalBlankClock(nullptr); }
};

std::vector<int64_t> Repeat(std::vector<int64_t> head, int64_t value, int count) {
    head.insert(head.end(), count, value);
    return head;
}

TEST_F(VerticalBlank, TheIntervalIsTheMeanOfTheFirstTenSteadyOnes) {
    struct Case {
        const char* name;
        std::vector<int64_t> script;  // the first entry leads up to the first blank
        int64_t interval;
        int waits;
    };
    std::vector<int64_t> broken = Repeat({16667, 20000}, 16667, 10);
    broken = Repeat(Repeat(broken, 30000, 1), 16000, 11);
    const Case cases[] = {
        // The first interval is compared with 0 and never counts.
        {"steady", {16667}, 16667, 1 + 11 + 1},
        // Jitter first, then ten within 1 ms of each other; the mean 16750.9
        // truncates.
        {"jitter, then steady",
         {16667, 20000, 14000, 16600, 16900, 16609, 16900, 16600, 16900, 16600, 16900, 16600, 16900,
          16600},
         16750,
         1 + 13 + 1},
        // A run of nine broken by a jump starts again from nothing.
        {"a broken run", broken, 16000, 1 + 23 + 1},
        {"never steady",
         {16667, 15000, 18000, 15000, 18000, 15000, 18000, 15000, 18000, 15000, 18000, 15000, 18000,
          15000, 18000, 15000, 18000, 15000, 18000, 15000, 18000, 15000, 18000, 15000, 18000, 15000,
          18000, 15000, 18000, 15000, 18000, 15000, 18000, 15000, 18000, 15000, 18000, 15000, 18000,
          15000, 18000, 15000, 18000, 15000, 18000, 15000, 18000, 15000, 18000, 15000, 18000, 15000,
          18000, 15000, 18000, 15000, 18000, 15000, 18000, 15000, 18000, 15000, 18000, 15000},
         -1,
         1 + 60 + 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedBlanks::Start(c.script);
        EXPECT_EQ(MeasureFrameInterval(), 0);
        EXPECT_EQ(QueryFrameInterval(), c.interval);
        EXPECT_EQ(ScriptedBlanks::waits, c.waits);
    }
}

TEST_F(VerticalBlank, TheWaitSleepsUntilShortlyBeforeTheBlankIsDue) {
    struct Case {
        const char* name;
        std::vector<int64_t> script;
        int64_t sinceBlank;  // microseconds since the last blank when the wait starts
        std::vector<DWORD> sleeps;
    };
    std::vector<int64_t> unsteady = {16667};
    for (int i = 0; i < 40; ++i) {
        unsteady.push_back(15000);
        unsteady.push_back(18000);
    }
    const Case cases[] = {
        // Unmeasured: sleeps until 4 ms after the last blank, then blocks.
        {"unmeasured", unsteady, 1000, {0, 1, 1, 1}},
        // Measured 16667: sleeps until 16667 - 3000 = 13667 us have passed.
        {"measured", {16667}, 1000, {0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}},
        {"measured, just short", {16667}, 13666, {0, 1}},
        // Already late: blocks at once and yields afterwards.
        {"measured, late", {16667}, 13667, {0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedBlanks::Start(c.script);
        MeasureFrameInterval();
        int64_t last = ScriptedBlanks::lastBlank;
        ScriptedBlanks::now = last + c.sinceBlank;
        ScriptedBlanks::sleeps.clear();
        int waits = ScriptedBlanks::waits;
        WaitVerticalBlank();
        EXPECT_EQ(ScriptedBlanks::sleeps, c.sleeps);
        EXPECT_EQ(ScriptedBlanks::waits, waits + 1) << "one blocking wait";
        EXPECT_GT(ScriptedBlanks::lastBlank, last);
    }
}

}  // namespace
