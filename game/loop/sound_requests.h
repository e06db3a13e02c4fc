// Sound effects and music asked for during a frame. Any game code may request
// an effect by slot during the frame's update or draw; once a frame, after the
// scenes' updates, each requested slot plays unless it is resting, and a slot
// that played rests one frame, so it plays at most every second frame however
// often it is asked for. Music commands are queued the same way and handed to
// the sound system in the order asked. Nothing here feeds back into play.
#pragma once

#include <cstdint>

// Marks the effect slot (0..21, as LoadGameSounds orders them) requested for
// this frame; any other slot is ignored.
void RequestSound(int32_t slot);
// Forgets every slot's request (their rest stays).
void ClearSoundRequests();
// For each slot in order: a resting slot counts its rest down and drops its
// request; else a requested slot plays once from the start and rests.
// Every request is cleared.
void FlushSoundRequests();

enum MusicCommand : int32_t {
    kMusicPlayFromStart = 0,  // rewind, then play looping
    kMusicStop = 1,
};
struct MusicRequest {
    int32_t track;  // 1 Endless, 2 2minutes
    int32_t command;
};
constexpr int kMusicRequestCapacity = 8;
struct MusicRequestQueue {
    int32_t count;
    MusicRequest requests[kMusicRequestCapacity];
};
extern MusicRequestQueue FrameMusicRequests;
// Queues the command; a full queue drops it.
void RequestMusic(int32_t track, int32_t command);
void ClearMusicRequests();
// Hands the queued commands to the sound system and empties the queue.
void FlushMusicRequests();
