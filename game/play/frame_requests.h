// What a play frame asks of the services that are not part of play: sound
// effects by slot, music tracks, and a change of scene. Play only queues the
// requests; the main loop hands them on once a frame and empties the queue.
// Nothing here feeds back into play, so a replay runs the same without them.
#pragma once

#include <cstdint>

#include "game/math/color.h"

constexpr int kSoundRequestCapacity = 256;

struct SoundRequestQueue {
    int32_t count;
    int32_t slots[kSoundRequestCapacity];
};
extern SoundRequestQueue FrameSoundRequests;

// Queues the effect in `slot`; a full queue drops it.
void RequestSound(int32_t slot);
void ClearSoundRequests();

enum MusicCommand : int32_t {
    kMusicPlayFromStart = 0,  // rewind, then play looping
    kMusicStop = 1,
};
struct MusicRequest {
    int32_t track;
    int32_t command;
};
constexpr int kMusicRequestCapacity = 8;
struct MusicRequestQueue {
    int32_t count;
    MusicRequest requests[kMusicRequestCapacity];
};
extern MusicRequestQueue FrameMusicRequests;
void RequestMusic(int32_t track, int32_t command);
void ClearMusicRequests();

// The latest scene change asked for, until the scene machine takes it.
struct SceneChangeRequest {
    int32_t pending;
    int32_t scene;
    int32_t fadeFrames;
    ColorRecord colour;
};
extern SceneChangeRequest PendingSceneChange;
void RequestSceneChange(int32_t scene, int32_t fadeFrames, ColorRecord colour);
// True while a requested change is pending, which is while its fade runs.
bool SceneFadeRunning();
