// The game's 22 sound effects and its two music tracks. The effects are held
// whole with three buffers each, so that quick repeats overlap; the tracks
// stream from their files and loop back to a point past their openings.
#pragma once

#include <cstdint>

constexpr int kSoundSlots = 22;

// One sound effect: its handle and this frame's request. A slot plays at
// most once every two frames.
struct SoundRequestSlot {
    int32_t sound;     // -1 when the file did not load: the slot plays nothing
    int32_t cooldown;  // frames to rest before the next play
    int32_t requested;
};

extern SoundRequestSlot SoundSlots[kSoundSlots];
extern int32_t MusicTrack1;  // Endless
extern int32_t MusicTrack2;  // 2minutes

constexpr int64_t kTrack1LoopMs = 32972;
constexpr int64_t kTrack2LoopMs = 19818;

// The slots' names in slot order (select, cancel, ..., cat); each is the file
// sound\se\<name>.wav.
extern const char* const kSoundSlotNames[kSoundSlots];

// Loads the effects into the slots in slot order, clears every slot's request
// and rest, then loads the two tracks streamed with their loop points.
void LoadGameSounds();
