// The game's memory of its draw target. Scenes select targets through these
// calls so that the loop and the draw queues' flush can go back to the one a
// scene drew on; a target is an image handle or a screen code.
#pragma once

#include <cstdint>

// SceneDrawTarget and CurrentDrawTarget, the memory these calls keep.
#include "game/draw/game_screens.h"

// Remembers `target` as both and selects it.
void SetDrawTarget(int32_t target);
// Selects CurrentDrawTarget again.
void RestoreDrawTarget();
// SetDrawTarget, erase the whole target, and select it again (it stays
// selected and remembered).
void SelectAndClearScreen(int32_t target);
