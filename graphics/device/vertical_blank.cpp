// The length of one display refresh and the wait for the vertical blank.
// The wait sleeps in 1 ms steps until about 3 ms before the blank is due and
// only then blocks in DirectDraw's wait, so that a frame does not keep a
// processor spinning for a whole refresh.
#include <cstdlib>

#include "foundation/runtime/message_pump.h"
#include "graphics/device/device_state.h"
#include "graphics/device/display_modes.h"
#include "platform/kernel.h"

namespace tessel {

namespace {

constexpr int kMeasureRounds = 60;
constexpr int kSteadyRounds = 10;
constexpr int64_t kSteadyToleranceUs = 1000;
constexpr DWORD kMeasurePauseMs = 5;
constexpr int64_t kUnmeasuredThresholdUs = 4000;
constexpr int64_t kBlockingMarginUs = 3000;

int64_t frameInterval = -1;
int64_t lastBlankTime = 0;

void WaitForDirectDrawBlank() {
    if (g_graphics.directDraw != nullptr) {
        g_graphics.directDraw->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr);
    }
}

int64_t ReadLibraryClock() {
    return static_cast<int64_t>(ReadMicrosecondClock(0));
}

const VerticalBlankClock kDefaultClock = {WaitForDirectDrawBlank, ReadLibraryClock, Sleep};
VerticalBlankClock blankClock = kDefaultClock;

int64_t WaitAndNoteBlank() {
    blankClock.waitForBlank();
    lastBlankTime = blankClock.readMicroseconds();
    return lastBlankTime;
}

}  // namespace

void SetVerticalBlankClock(const VerticalBlankClock* clock) {
    blankClock = clock != nullptr ? *clock : kDefaultClock;
}

int64_t QueryFrameInterval() {
    return frameInterval;
}

int MeasureFrameInterval() {
    frameInterval = -1;
    blankClock.waitForBlank();
    int64_t before = blankClock.readMicroseconds();
    int64_t previous = 0;
    int64_t sum = 0;
    int streak = 0;
    for (int round = 0; round < kMeasureRounds; ++round) {
        blankClock.waitForBlank();
        int64_t now = blankClock.readMicroseconds();
        int64_t interval = now - before;
        if (std::llabs(previous - interval) < kSteadyToleranceUs) {
            sum += interval;
            ++streak;
        } else {
            sum = 0;
            streak = 0;
        }
        previous = interval;
        before = now;
        if (streak >= kSteadyRounds) {
            // The sum's low 32 bits, as a signed value, divided with truncation.
            frameInterval = static_cast<int32_t>(static_cast<uint32_t>(sum)) / streak;
        }
        blankClock.sleep(kMeasurePauseMs);
        if (streak >= kSteadyRounds) {
            break;
        }
    }
    WaitVerticalBlank();
    return 0;
}

void WaitVerticalBlank() {
    int64_t threshold =
        frameInterval == -1 ? kUnmeasuredThresholdUs : frameInterval - kBlockingMarginUs;
    if (blankClock.readMicroseconds() - lastBlankTime < threshold) {
        blankClock.sleep(0);
        while (blankClock.readMicroseconds() - lastBlankTime < threshold) {
            blankClock.sleep(1);
        }
        WaitAndNoteBlank();
        return;
    }
    WaitAndNoteBlank();
    blankClock.sleep(0);
}

}  // namespace tessel
