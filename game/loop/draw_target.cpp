// Selecting, remembering and clearing the game's draw targets.
#include "game/loop/draw_target.h"

#include "game/loop/frame_calls.h"

void SetDrawTarget(int32_t target) {
    SceneDrawTarget = target;
    CurrentDrawTarget = target;
    CurrentFrameCalls().selectDrawTarget(target);
}

void RestoreDrawTarget() {
    CurrentFrameCalls().selectDrawTarget(CurrentDrawTarget);
}

void SelectAndClearScreen(int32_t target) {
    SetDrawTarget(target);
    CurrentFrameCalls().eraseDrawTarget();
    RestoreDrawTarget();
}
