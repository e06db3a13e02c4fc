// Feeding the game's input state once a play frame: in a live game from the
// live buttons, recording each frame's mask into the replay state; in
// playback from the masks recorded there. The state holds 216000 masks:
// past them a live game records nothing more and playback reads 0.
#pragma once

#include <cstdint>

#include "game/files/replay_file.h"
#include "game/input/input_state.h"

void RecordButtonMask(ReplayState* replay, int32_t frame, uint16_t mask);
uint16_t RecordedButtonMask(const ReplayState& replay, int32_t frame);

// One live play frame: the game's state takes the live buttons and the
// resulting mask is stored as frame `frame` of the replay.
void FeedLiveFrame(InputState* game, const InputState& live, ReplayState* replay, int32_t frame);
// One frame of playback from the replay's mask `frame`.
void FeedReplayFrame(InputState* game, const ReplayState& replay, int32_t frame);
