// Recording and playing back the game's button masks.
#include "game/input/replay_input.h"

namespace {

bool HasMaskRoom(int32_t frame) {
    return frame >= 0 && frame < kReplayMaskCount;
}

}  // namespace

void RecordButtonMask(ReplayState* replay, int32_t frame, uint16_t mask) {
    if (HasMaskRoom(frame)) {
        replay->masks[frame] = mask;
    }
}

uint16_t RecordedButtonMask(const ReplayState& replay, int32_t frame) {
    return HasMaskRoom(frame) ? replay.masks[frame] : 0;
}

void FeedLiveFrame(InputState* game, const InputState& live, ReplayState* replay, int32_t frame) {
    ApplyLiveInput(game, live);
    RecordButtonMask(replay, frame, game->currentButtons);
}

void FeedReplayFrame(InputState* game, const ReplayState& replay, int32_t frame) {
    ApplyButtonMask(game, RecordedButtonMask(replay, frame));
}
