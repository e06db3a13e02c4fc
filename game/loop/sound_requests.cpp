// The effect slots' requests and rests, and the queued music commands.
#include "game/loop/sound_requests.h"

#include "game/loop/frame_calls.h"
#include "game/startup/game_sounds.h"

MusicRequestQueue FrameMusicRequests{};

namespace {

// Once in the background, from the start.
constexpr int kPlayOnce = 1;
constexpr int kPlayLooping = 3;

int32_t MusicTrackHandle(int32_t track) {
    if (track == 1) {
        return MusicTrack1;
    }
    if (track == 2) {
        return MusicTrack2;
    }
    return -1;
}

}  // namespace

void RequestSound(int32_t slot) {
    if (slot < 0 || slot >= kSoundSlots) {
        return;
    }
    SoundSlots[slot].requested = 1;
}

void ClearSoundRequests() {
    for (SoundRequestSlot& slot : SoundSlots) {
        slot.requested = 0;
    }
}

void FlushSoundRequests() {
    const FrameCalls& calls = CurrentFrameCalls();
    for (SoundRequestSlot& slot : SoundSlots) {
        if (slot.cooldown > 0) {
            slot.cooldown -= 1;
        } else if (slot.requested != 0) {
            calls.playSound(slot.sound, kPlayOnce, 1);
            slot.cooldown = 1;
        }
        slot.requested = 0;
    }
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

void FlushMusicRequests() {
    const FrameCalls& calls = CurrentFrameCalls();
    for (int32_t i = 0; i < FrameMusicRequests.count && i < kMusicRequestCapacity; ++i) {
        const MusicRequest& request = FrameMusicRequests.requests[i];
        const int32_t sound = MusicTrackHandle(request.track);
        if (request.command == kMusicPlayFromStart) {
            calls.setSoundPositionSamples(0, sound);
            calls.playSound(sound, kPlayLooping, 0);
        } else if (request.command == kMusicStop) {
            calls.stopSound(sound);
        }
    }
    ClearMusicRequests();
}
