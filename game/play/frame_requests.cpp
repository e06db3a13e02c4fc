// The frame's request queues.
#include "game/play/frame_requests.h"

SoundRequestQueue FrameSoundRequests{};
MusicRequestQueue FrameMusicRequests{};
SceneChangeRequest PendingSceneChange{};

void RequestSound(int32_t slot) {
    if (FrameSoundRequests.count < 0 || FrameSoundRequests.count >= kSoundRequestCapacity) {
        return;
    }
    FrameSoundRequests.slots[FrameSoundRequests.count++] = slot;
}

void ClearSoundRequests() {
    FrameSoundRequests.count = 0;
}

void RequestMusic(int32_t track, int32_t command) {
    if (FrameMusicRequests.count < 0 || FrameMusicRequests.count >= kMusicRequestCapacity) {
        return;
    }
    FrameMusicRequests.requests[FrameMusicRequests.count++] = MusicRequest{track, command};
}

void ClearMusicRequests() {
    FrameMusicRequests.count = 0;
}

void RequestSceneChange(int32_t scene, int32_t fadeFrames, ColorRecord colour) {
    PendingSceneChange = SceneChangeRequest{1, scene, fadeFrames, colour};
}

bool SceneFadeRunning() {
    return PendingSceneChange.pending != 0;
}
