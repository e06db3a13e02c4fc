// The game's off-screen images and its memory of the draw target. Start-up
// makes the images; until then they are -1, which every drawing call refuses.
#pragma once

#include <cstdint>

// 640 x 480: every scene draws into it and it is stretched onto the back screen.
extern int32_t FrameImage;
// 512 x 512: the play field.
extern int32_t EffectScreen;
// 512 x 512: the 3D floor under the play field.
extern int32_t FloorScreen;

// The back screen's code among the draw targets.
constexpr int32_t kBackScreenTarget = -2;
// The target the scenes draw on, which a queue's flush selects again when done.
extern int32_t SceneDrawTarget;
// The target last selected, so that a flush selects only on a change.
extern int32_t CurrentDrawTarget;
