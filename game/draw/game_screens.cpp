// The off-screen image handles, unset until start-up makes the images, and
// the draw-target memory, which starts on the back screen as the library does.
#include "game/draw/game_screens.h"

int32_t FrameImage = -1;
int32_t EffectScreen = -1;
int32_t FloorScreen = -1;

int32_t SceneDrawTarget = kBackScreenTarget;
int32_t CurrentDrawTarget = kBackScreenTarget;
