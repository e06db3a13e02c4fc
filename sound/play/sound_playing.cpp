// Playing sounds: a memory sound plays its buffers in turn, so an effect can
// overlap itself; a stream sound goes to its ring. Also stop, state,
// positions and lengths. Memory sounds are played without the sound lock;
// the sound thread never touches their buffers.
#include "foundation/runtime/message_pump.h"
#include "platform/kernel.h"
#include "sound/buffers/sound_buffer.h"
#include "sound/decoders/pcm_decoder.h"
#include "sound/handles/sound_table.h"
#include "sound/play/sound_calls.h"
#include "sound/sound_system_internal.h"
#include "sound/sound_units.h"
#include "sound/streams/stream_sound.h"

namespace tessel {
namespace {

int BufferPlays(SoundBuffer* buffer) {
    DWORD status = 0;
    if (SoundBufferStatus(buffer, &status) != 0)
        return -1;
    return (status & DSBSTATUS_PLAYING) != 0 ? 1 : 0;
}

int UsableBuffers(const SoundRecord* record) {
    return record->bufferCount < kSoundBufferSlots ? record->bufferCount : kSoundBufferSlots;
}

int PlayMemorySound(SoundRecord* record, int playType, int fromTop) {
    const int count = UsableBuffers(record);
    if (count < 1)
        return -1;
    const int last = record->lastBuffer >= 0 && record->lastBuffer < count ? record->lastBuffer : 0;
    DWORD lastPosition = 0;
    SoundBufferPlayCursor(&record->buffers[last], &lastPosition);
    const int next = last + 1 < count ? last + 1 : 0;
    SoundBuffer* buffer = &record->buffers[next];
    if (BufferPlays(buffer) == 1) {
        if (fromTop == 0)
            return 0;
        SoundBufferStop(buffer);
    }
    SoundBufferSetPosition(buffer, fromTop != 0 ? 0 : lastPosition);
    SoundBufferSetVolume(buffer, record->volume);
    SoundBufferSetPan(buffer, record->pan);
    SoundBufferSetFrequency(buffer, static_cast<DWORD>(record->frequency));
    record->lastBuffer = next;
    return SoundBufferPlay(buffer, playType == kPlayLooping ? 1 : 0);
}

void WaitWhilePlaying(int handle) {
    if (PumpMessagesInner() != 0)
        return;
    while (IsSoundPlaying(handle) == 1) {
        Sleep(1);
        if (PumpMessagesInner() != 0)
            return;
    }
}

int32_t BlockOf(const SoundRecord* record) {
    return record->format.nBlockAlign == 0 ? 1 : record->format.nBlockAlign;
}

}  // namespace

int PlaySoundHandle(int handle, int playType, int fromTop) {
    SoundRecord* record = SoundRecordFromHandle(handle);
    if (record == nullptr)
        return -1;
    if (record->kind == kStreamSound)
        return StartStreamPlayback(handle, playType, fromTop);
    if (PlayMemorySound(record, playType, fromTop) != 0)
        return -1;
    if (playType == kPlayAndWait)
        WaitWhilePlaying(handle);
    return 0;
}

int StopSoundHandle(int handle) {
    SoundRecord* record = SoundRecordFromHandle(handle);
    if (record == nullptr)
        return -1;
    if (record->kind == kStreamSound)
        return HaltStreamPlayback(handle);
    for (int i = 0; i < UsableBuffers(record); ++i) {
        const int plays = BufferPlays(&record->buffers[i]);
        if (plays < 0)
            return -1;
        if (plays == 1)
            SoundBufferStop(&record->buffers[i]);
    }
    return 0;
}

int IsSoundPlaying(int handle) {
    SoundRecord* record = SoundRecordFromHandle(handle);
    if (record == nullptr)
        return -1;
    if (record->kind == kStreamSound)
        return IsStreamPlaying(handle) == 1 ? 1 : 0;
    for (int i = 0; i < UsableBuffers(record); ++i) {
        if (BufferPlays(&record->buffers[i]) == 1)
            return 1;
    }
    return 0;
}

int SetSoundPositionSamples(int64_t samples, int handle) {
    SoundRecord* record = SoundRecordFromHandle(handle);
    if (record == nullptr)
        return -1;
    return SetSoundPositionBytes(samples * BlockOf(record), handle);
}

int SetSoundPositionBytes(int64_t bytes, int handle) {
    SoundRecord* record = SoundRecordFromHandle(handle);
    if (record == nullptr || bytes < 0 || bytes > INT32_MAX)
        return -1;
    if (record->kind == kStreamSound)
        return SetStreamPlayOffset(static_cast<int>(bytes), handle);
    const int count = UsableBuffers(record);
    if (count < 1)
        return -1;
    const int last = record->lastBuffer >= 0 && record->lastBuffer < count ? record->lastBuffer : 0;
    return SoundBufferSetPosition(&record->buffers[last], static_cast<DWORD>(bytes));
}

int GetSoundPositionMs(int handle) {
    SoundRecord* record = SoundRecordFromHandle(handle);
    if (record == nullptr)
        return -1;
    if (record->kind == kStreamSound)
        return GetStreamPositionMs(handle);
    const int count = UsableBuffers(record);
    if (count < 1)
        return 0;
    const int last = record->lastBuffer >= 0 && record->lastBuffer < count ? record->lastBuffer : 0;
    DWORD play = 0;
    SoundBufferPlayCursor(&record->buffers[last], &play);
    return SamplesToMilliseconds(static_cast<int>(play / BlockOf(record)),
                                 static_cast<int>(record->format.nSamplesPerSec));
}

int64_t GetSoundLengthSamples(int handle) {
    SoundRecord* record = SoundRecordFromHandle(handle);
    if (record == nullptr)
        return -1;
    if (record->kind == kMemorySound)
        return record->pcmBytes / BlockOf(record);
    int64_t samples = 0;
    for (int i = 0; i < record->sourceCount && i < kStreamSourceSlots; ++i) {
        auto* decoder = static_cast<PcmDecoder*>(record->sources[i].decoder);
        if (decoder != nullptr)
            samples += GetDecoderPcmSize(decoder) / BlockOf(record);
    }
    return samples;
}

int64_t GetSoundLengthMs(int handle) {
    SoundRecord* record = SoundRecordFromHandle(handle);
    if (record == nullptr)
        return -1;
    const int64_t samples = GetSoundLengthSamples(handle);
    const uint32_t rate = record->format.nSamplesPerSec;
    return rate == 0 ? 0 : samples * 1000 / rate;
}

}  // namespace tessel
