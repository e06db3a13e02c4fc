// The stage block that draws the game's floor tile alone, as the first
// stage lays it out (view centre, fog range, scroll, the stage's colour),
// shared by the floor's tests and its benchmark.
#pragma once

#include "game/play/game_scene.h"

namespace vantrel_test {

// Clears the block first: the scene's constructor leaves it to the play
// set-up, so nothing comes from an earlier use of the heap.
inline void SetUpFloorStage(StageBlock* stage, int model) {
    *stage = StageBlock{};
    for (auto& slot : stage->models) {
        slot = StageModelSlot{-1, 0};
    }
    stage->models[0] = StageModelSlot{model, 300};
    stage->viewCentre[0] = stage->viewCentre[1] = stage->viewCentre[2] = 256.0;
    stage->colour[0] = 60;
    stage->colour[1] = 0;
    stage->colour[2] = 60;
    stage->scrollDistance = 1600;
    stage->fogStart = 200.0;
    stage->fogEnd = 1400.0;
}

}  // namespace vantrel_test
