// The off-screen image handles, unset until start-up makes the images.
#include "game/draw/game_screens.h"

int32_t FrameImage = -1;
int32_t EffectScreen = -1;
int32_t FloorScreen = -1;
