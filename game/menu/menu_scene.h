// The out-game scenes: splash, title menu, replay select, key configuration,
// replay save and collection are one scene type told apart by its mode, which
// equals the scene id the scene machine switches to. A menu scene owns a pool
// for its effects, a cursor and a frame counter; it reads the live input and
// draws through the top draw queue.
#pragma once

#include <cstdint>

#include "game/pool/task_pool.h"

enum MenuMode : int32_t {
    kMenuSplash = 0,
    kMenuTitle = 1,
    kMenuReplaySelect = 3,
    kMenuKeyConfig = 4,
    kMenuReplaySave = 6,
    kMenuCollection = 7,
};

struct MenuScene {
    TaskPool pool;
    int32_t mode;
    int32_t cursor;
    int32_t frame;
};

// Builds the scene of `mode`; null when there is no memory for it.
MenuScene* ConstructMenuScene(int32_t mode);
void DestroyMenuScene(MenuScene* scene);
// The mode's handler with phase 1, then the pool's update.
void UpdateMenuScene(MenuScene* scene);
// The mode's handler with phase 2, then the pool's drawing.
void DrawMenuScene(MenuScene* scene);
