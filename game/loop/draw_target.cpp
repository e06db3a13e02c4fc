// Selecting, remembering and clearing the game's draw targets.
#include "game/loop/draw_target.h"

#include "game/loop/frame_calls.h"

int32_t SceneDrawTarget = kBackScreenTarget;
int32_t CurrentDrawTarget = kBackScreenTarget;

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
