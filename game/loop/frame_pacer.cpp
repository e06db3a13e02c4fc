// The due times of the frames and the mean frame time.
#include "game/loop/frame_pacer.h"

#include "game/loop/frame_calls.h"

FramePacerState FramePacer = {};

namespace {

constexpr double kFrameMilliseconds = 16.666666666666668;
constexpr int32_t kCycleMilliseconds = 1000;

// Publishes the cycle's mean. The first cycle's frame 0 has no frame before
// it, so its duration is the clock's whole reading: that cycle measures
// nothing and the overlay keeps its dashes until a whole cycle is known.
void EndCycle(FramePacerState* pacer) {
    pacer->measuredCycles = pacer->measuredCycles < 2 ? pacer->measuredCycles + 1 : 2;
    if (pacer->measuredCycles < 2) {
        return;
    }
    double sum = 0.0;
    for (int32_t duration : pacer->durations) {
        sum += static_cast<double>(duration);
    }
    pacer->meanFrameTime = sum / 60.0;
}

}  // namespace

void ResetFramePacer(FramePacerState* pacer) {
    *pacer = FramePacerState{};
}

void WaitFrame() {
    const FrameCalls& calls = CurrentFrameCalls();
    WaitFrameOf(&FramePacer, calls.readClock, calls.sleep);
}

void WaitFrameOf(FramePacerState* pacer, int (*readClock)(), void (*sleep)(int milliseconds)) {
    const int32_t n = pacer->cycleIndex;
    bool waits = false;
    int32_t due = 0;
    if (n > 0) {
        due = static_cast<int32_t>(pacer->cycleStart + n * kFrameMilliseconds);
        waits = true;
    } else if (pacer->lastFrameTime != 0) {
        due = pacer->cycleStart + kCycleMilliseconds;
        waits = true;
    }
    if (waits) {
        const int32_t rest = due - readClock();
        if (rest > 0) {
            sleep(rest);
        }
    }
    const int32_t now = readClock();
    if (n == 0) {
        pacer->cycleStart = now;
    }
    pacer->durations[n] = now - pacer->lastFrameTime;
    pacer->lastFrameTime = now;
    if (n == kPacerCycleFrames - 1) {
        EndCycle(pacer);
    }
    pacer->cycleIndex = (n + 1) % kPacerCycleFrames;
}
