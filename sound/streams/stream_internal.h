// What the stream sound files share: the record of a stream handle, the ring
// it plays through and who holds it, the play-position bookkeeping, and the
// units of the refill arithmetic.
#pragma once

#include <cstdint>

#include "sound/handles/sound_record.h"

namespace tessel {

// The record of a stream sound, or null.
SoundRecord* StreamRecordFromHandle(int handle);
// The record owning the ring a stream sound plays through (itself, or the
// sound it shares with); null when that sound is gone.
SoundRecord* RingOwnerOf(SoundRecord* record);

// Takes the ring for `handle`: free or already its own, it becomes its own;
// held by another sound, the claim fails unless `force`, which halts that
// sound first. 0 or -1; `ring` receives the ring.
int ClaimSharedStreamBuffer(int handle, SoundRecord* record, SoundBuffer** ring, int force);
// Brings the played bytes up to the play cursor `cursor` (-1: read it from
// the ring), taking the loop wraps the cursor has passed.
void TrackStreamPosition(int handle, SoundRecord* record, int32_t cursor);
// Source 0 from its start, nothing written or pending, not ending.
void ResetStreamCounters(SoundRecord* record);
// Moves the current source's decoder to the byte position.
void SeekCurrentSource(SoundRecord* record);

// Halting and priming with the sound lock already held.
int HaltStreamLocked(int handle);
int PrimeStreamLocked(int handle);

// The refill's units: B bytes per second, A the block, R the ring.
struct StreamUnits {
    int32_t perSecond;
    int32_t block;
    int32_t ring;
};
StreamUnits UnitsOf(const SoundRecord* record);
inline int32_t RoundDownToBlock(int64_t bytes, int32_t block) {
    return static_cast<int32_t>(bytes / block * block);
}
// Three quarters of a second: the first fill, and how far the writer may run
// ahead of the play cursor.
inline int32_t FirstFillBytes(const StreamUnits& u) {
    return RoundDownToBlock(int64_t{u.perSecond} * 192 / 256, u.block);
}
// An eighth of a second: a refill while enough is buffered, and the silence
// after the end.
inline int32_t StepBytes(const StreamUnits& u) {
    return RoundDownToBlock(u.perSecond / 8, u.block);
}

}  // namespace tessel
