// Playing a stream sound: who holds a shared ring, priming, start and halt,
// and the position heard, which follows the ring's play cursor and goes back
// to a loop start when the cursor passes where the writer wrapped.
#include "foundation/runtime/message_pump.h"
#include "platform/kernel.h"
#include "sound/buffers/sound_buffer.h"
#include "sound/decoders/pcm_decoder.h"
#include "sound/handles/sound_table.h"
#include "sound/sound_system_internal.h"
#include "sound/sound_units.h"
#include "sound/streams/stream_internal.h"
#include "sound/streams/stream_sound.h"

namespace tessel {
namespace {

// The ring's holder is read without the sound lock by IsStreamPlaying.
int32_t CurrentUser(const SoundRecord* owner) {
    return __atomic_load_n(&owner->currentUser, __ATOMIC_ACQUIRE);
}

void SetCurrentUser(SoundRecord* owner, int32_t handle) {
    __atomic_store_n(&owner->currentUser, handle, __ATOMIC_RELEASE);
}

int32_t Modulo(int64_t value, int32_t ring) {
    const int64_t rest = value % ring;
    return static_cast<int32_t>(rest < 0 ? rest + ring : rest);
}

bool RingPlays(SoundBuffer* ring) {
    DWORD status = 0;
    return SoundBufferStatus(ring, &status) == 0 && (status & DSBSTATUS_PLAYING) != 0;
}

void ApplySettings(const SoundRecord* record, SoundBuffer* ring) {
    SoundBufferSetVolume(ring, record->volume);
    SoundBufferSetPan(ring, record->pan);
    SoundBufferSetFrequency(ring, static_cast<DWORD>(record->frequency));
}

int StartLocked(int handle, int playType, int fromTop) {
    SoundRecord* record = StreamRecordFromHandle(handle);
    SoundBuffer* ring = nullptr;
    if (record == nullptr || ClaimSharedStreamBuffer(handle, record, &ring, 1) != 0)
        return -1;
    if (fromTop == 0 && IsStreamPlaying(handle) == 1)
        return 0;
    HaltStreamLocked(handle);
    if (((playType ^ record->playType) & 2) != 0 && record->lastSourceReached) {
        ResetStreamCounters(record);
        record->playing = 0;
    }
    if (fromTop != 0) {
        record->lastSourceReached = 0;
        if (record->playedBytes > 0) {
            ResetStreamCounters(record);
            record->playing = 0;
        }
    }
    record->playType = playType;
    PrimeStreamLocked(handle);
    ApplySettings(record, ring);
    return SoundBufferPlay(ring, 1);
}

}  // namespace

SoundRecord* StreamRecordFromHandle(int handle) {
    SoundRecord* record = SoundRecordFromHandle(handle);
    return record != nullptr && record->kind == kStreamSound ? record : nullptr;
}

SoundRecord* RingOwnerOf(SoundRecord* record) {
    return record->sharedOwner == -1 ? record : SoundRecordFromHandle(record->sharedOwner);
}

StreamUnits UnitsOf(const SoundRecord* record) {
    StreamUnits units;
    units.perSecond = static_cast<int32_t>(record->format.nAvgBytesPerSec & 0xFFFFFF);
    units.block = record->format.nBlockAlign == 0 ? 1 : record->format.nBlockAlign;
    units.ring = record->ringBytes > 0 ? record->ringBytes : 1;
    return units;
}

int ClaimSharedStreamBuffer(int handle, SoundRecord* record, SoundBuffer** ring, int force) {
    SoundRecord* owner = RingOwnerOf(record);
    if (owner == nullptr || !owner->buffers[0].valid)
        return -1;
    *ring = &owner->buffers[0];
    const int32_t user = CurrentUser(owner);
    if (user != -1 && user != handle) {
        if (force == 0)
            return -1;
        HaltStreamLocked(user);
    }
    SetCurrentUser(owner, handle);
    return 0;
}

void ResetStreamCounters(SoundRecord* record) {
    record->currentSource = 0;
    record->sourcePlays = 0;
    record->sourcePosition = 0;
    record->playedBytes = 0;
    record->lastPlayCursor = 0;
    record->writeCursor = -800;
    record->refillThreshold = -1;
    record->ending = 0;
    record->wrapFirst = 0;
    record->wrapCount = 0;
}

void SeekCurrentSource(SoundRecord* record) {
    auto* decoder = static_cast<PcmDecoder*>(record->sources[record->currentSource].decoder);
    if (decoder == nullptr)
        return;
    const int32_t block = UnitsOf(record).block;
    // Always made: the decoder's own shortcut skips short moves, and a loop of
    // a few bytes would then never get back to its start.
    SeekDecoderExactly(decoder, record->sourcePosition / block);
}

void TrackStreamPosition(int handle, SoundRecord* record, int32_t cursor) {
    SoundRecord* owner = RingOwnerOf(record);
    if (owner == nullptr || CurrentUser(owner) != handle)
        return;
    if (cursor == -1) {
        DWORD play = 0;
        if (SoundBufferPlayCursor(&owner->buffers[0], &play) != 0)
            return;
        cursor = static_cast<int32_t>(play);
    }
    const int32_t last = record->lastPlayCursor;
    if (cursor == last)
        return;
    const int32_t ring = UnitsOf(record).ring;
    // Wraps the cursor has passed since the last look, oldest first.
    int32_t from = last;
    bool wrapped = false;
    int64_t loopStart = 0;
    while (record->wrapCount > 0) {
        const LoopWrap& wrap = record->wraps[record->wrapFirst];
        if (Modulo(int64_t{wrap.writePosition} - from, ring) > Modulo(int64_t{cursor} - from, ring))
            break;
        from = wrap.writePosition;
        loopStart = wrap.loopStartBytes;
        wrapped = true;
        record->wrapFirst = (record->wrapFirst + 1) % kLoopWrapSlots;
        --record->wrapCount;
    }
    if (wrapped)
        record->playedBytes = Modulo(int64_t{cursor} - from, ring) + loopStart;
    else
        record->playedBytes += Modulo(int64_t{cursor} - last, ring);
    record->lastPlayCursor = cursor;
}

int HaltStreamLocked(int handle) {
    SoundRecord* record = StreamRecordFromHandle(handle);
    if (record == nullptr)
        return -1;
    TrackStreamPosition(handle, record, -1);
    SoundBuffer* ring = nullptr;
    if (ClaimSharedStreamBuffer(handle, record, &ring, 0) != 0)
        return 0;
    if (record->sharedOwner != -1)
        SetCurrentUser(RingOwnerOf(record), -1);
    DWORD status = 0;
    if (SoundBufferStatus(ring, &status) != 0)
        return -1;
    if ((status & DSBSTATUS_PLAYING) != 0)
        SoundBufferStop(ring);
    return 0;
}

int PrimeStreamLocked(int handle) {
    SoundRecord* record = StreamRecordFromHandle(handle);
    if (record == nullptr)
        return -1;
    SoundBuffer* ring = nullptr;
    if (IsStreamPlaying(handle) == 1 || ClaimSharedStreamBuffer(handle, record, &ring, 0) != 0 ||
        record->playing)
        return 0;
    SoundBufferSetPosition(ring, 0);
    SeekCurrentSource(record);
    record->writeCursor = -800;
    record->refillThreshold = -1;
    record->lastPlayCursor = 0;
    record->ending = 0;
    record->wrapFirst = 0;
    record->wrapCount = 0;
    record->playing = 1;
    RefillStreamSound(handle);
    return 0;
}

int IsStreamPlaying(int handle) {
    SoundRecord* record = StreamRecordFromHandle(handle);
    if (record == nullptr)
        return -1;
    SoundRecord* owner = RingOwnerOf(record);
    if (owner == nullptr)
        return 0;
    const int32_t user = CurrentUser(owner);
    if (user != -1 && user != handle)
        return 0;
    return RingPlays(&owner->buffers[0]) ? 1 : 0;
}

int PrimeStreamSound(int handle) {
    LockSound();
    const int result = PrimeStreamLocked(handle);
    UnlockSound();
    return result;
}

int StartStreamPlayback(int handle, int playType, int fromTop) {
    LockSound();
    const int result = StartLocked(handle, playType, fromTop);
    UnlockSound();
    if (result != 0 || playType != 0)
        return result;
    // Played to its end on the caller's thread, with the lock free for the
    // sound thread.
    if (PumpMessagesInner() != 0)
        return 0;
    while (IsStreamPlaying(handle) == 1) {
        Sleep(1);
        if (PumpMessagesInner() != 0)
            break;
    }
    return 0;
}

int HaltStreamPlayback(int handle) {
    LockSound();
    const int result = HaltStreamLocked(handle);
    UnlockSound();
    return result;
}

int GetStreamPositionMs(int handle) {
    LockSound();
    SoundRecord* record = StreamRecordFromHandle(handle);
    int result = -1;
    if (record != nullptr) {
        TrackStreamPosition(handle, record, -1);
        const int rate = static_cast<int>(record->format.nSamplesPerSec);
        const int64_t samples = record->playedBytes / UnitsOf(record).block;
        const int length = SamplesToMilliseconds(static_cast<int>(record->totalSamples), rate);
        const int heard = SamplesToMilliseconds(static_cast<int>(samples), rate);
        result = heard < length ? heard : length;
    }
    UnlockSound();
    return result;
}

int SetStreamPlayOffset(int bytes, int handle) {
    LockSound();
    SoundRecord* record = StreamRecordFromHandle(handle);
    if (record == nullptr || bytes < 0 || bytes / UnitsOf(record).block > record->totalSamples ||
        record->sourceCount >= 2) {
        UnlockSound();
        return -1;
    }
    // A ring left playing would repeat its second for ever with nobody
    // refilling it; a playing sound starts again from the new place.
    const bool wasPlaying = IsStreamPlaying(handle) == 1;
    if (wasPlaying)
        HaltStreamLocked(handle);
    record->currentSource = 0;
    record->sourcePlays = 0;
    record->wrapFirst = 0;
    record->wrapCount = 0;
    record->playedBytes = bytes;
    record->sourcePosition = bytes;
    record->playing = 0;
    int result = 0;
    if (wasPlaying)
        result = StartLocked(handle, record->playType, 0);
    UnlockSound();
    return result;
}

}  // namespace tessel
