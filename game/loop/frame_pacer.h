// Frame pacing at 60 frames a second: every 60 frames form a cycle aligned to
// one second from the cycle's first frame, frame n of it due n x 1000/60 ms
// after that start. A late frame is not made up by skipping; the next frame
// is simply due at its own time. The mean frame time of the last whole cycle
// feeds the FPS overlay.
#pragma once

#include <cstdint>

constexpr int kPacerCycleFrames = 60;

struct FramePacerState {
    int32_t cycleIndex;     // 0..59: this frame's place in the cycle
    int32_t cycleStart;     // ms, the clock after frame 0's wait
    int32_t lastFrameTime;  // ms; 0 until the first frame has ended
    int32_t durations[kPacerCycleFrames];
    double meanFrameTime;    // ms; 0.0 until a whole cycle has been measured
    int32_t measuredCycles;  // cycles ended, up to 2
};
extern FramePacerState FramePacer;

void ResetFramePacer(FramePacerState* pacer);

// Sleeps until this frame is due (no wait on the very first call), then
// measures it.
void WaitFrame();
void WaitFrameOf(FramePacerState* pacer, int (*readClock)(), void (*sleep)(int milliseconds));
