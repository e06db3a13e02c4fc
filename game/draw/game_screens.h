// The game's off-screen images. Start-up makes them; until then they are -1,
// which every drawing call refuses.
#pragma once

#include <cstdint>

// 640 x 480: every scene draws into it and it is stretched onto the back screen.
extern int32_t FrameImage;
// 512 x 512: the play field.
extern int32_t EffectScreen;
// 512 x 512: the 3D floor under the play field.
extern int32_t FloorScreen;
