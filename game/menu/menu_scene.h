// The out-game scenes: splash, title menu, replay select, key configuration,
// replay save and collection are one scene type told apart by its mode, which
// equals the scene id the scene machine switches to. A menu scene owns a pool
// for its effects, a cursor and a frame counter; it reads the live input and
// draws through the top draw queue onto the frame image.
//
// Each mode has one handler, called with phase 1 to update and phase 2 to
// draw. Handlers ignore input while a scene fade runs, so a choice made once
// is not made again while the screen darkens.
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

enum MenuPhase : int32_t {
    kMenuPhaseUpdate = 1,
    kMenuPhaseDraw = 2,
};

// The sound slots the menus play.
enum MenuSound : int32_t {
    kMenuSoundSelect = 0,  // the cursor moved
    kMenuSoundCancel = 1,
    kMenuSoundCheck = 2,  // a choice was made
};

struct MenuScene {
    TaskPool pool;
    int32_t mode;
    int32_t cursor;
    int32_t frame;  // updates run so far, this one included
};

// Where the title and the replay list were left, for when they are built again.
extern int32_t RememberedTitleCursor;
extern int32_t RememberedReplayCursor;

// Builds the scene of `mode`; null when there is no memory for it.
MenuScene* ConstructMenuScene(int32_t mode);
void DestroyMenuScene(MenuScene* scene);
// The mode's handler with phase 1, then the pool's update.
void UpdateMenuScene(MenuScene* scene);
// The mode's handler with phase 2, then the pool's drawing.
void DrawMenuScene(MenuScene* scene);

// A new press of down moves the cursor one on, of up one back (each with the
// select sound); then the cursor wraps once into 0..count-1.
void MoveMenuCursor(MenuScene* scene, int32_t count);

void SplashMode(MenuScene* scene, int32_t phase);
void TitleMenuMode(MenuScene* scene, int32_t phase);
void ReplaySelectMode(MenuScene* scene, int32_t phase);
void KeyConfigMode(MenuScene* scene, int32_t phase);
void ReplaySaveMode(MenuScene* scene, int32_t phase);
void CollectionMode(MenuScene* scene, int32_t phase);
