// Sound buffers over the device's secondary buffers, and CreateSoundBuffers.
#include "sound/buffers/sound_buffer.h"

#include "foundation/memory/log.h"
#include "foundation/runtime/startup.h"
#include "sound/handles/sound_table.h"
#include "sound/sound_system_internal.h"
#include "sound/sound_testing.h"

namespace tessel {
namespace {

SoundAbortHook g_abortHook = nullptr;

int Result(HRESULT hr) {
    return SUCCEEDED(hr) ? 0 : -1;
}

bool Usable(const SoundBuffer* buffer) {
    return buffer != nullptr && buffer->valid && buffer->buffer != nullptr;
}

void AbortSound(const char* text) {
    if (g_abortHook != nullptr) {
        g_abortHook(text);
        return;
    }
    AbortWithLog(text);
}

}  // namespace

void SetSoundAbortHookForTest(SoundAbortHook hook) {
    g_abortHook = hook;
}

int SoundBufferCreate(SoundBuffer* buffer, const DSBUFFERDESC* description) {
    if (buffer == nullptr || buffer->valid || !SoundSystemUp())
        return -1;
    IDirectSoundBuffer* made = nullptr;
    if (FAILED(g_soundSystem.sound->CreateSoundBuffer(description, &made, nullptr)))
        return -1;
    buffer->buffer = made;
    buffer->valid = 1;
    return 0;
}

int SoundBufferDuplicate(SoundBuffer* buffer, const SoundBuffer* source) {
    if (buffer == nullptr || buffer->valid || !Usable(source) || !SoundSystemUp())
        return -1;
    IDirectSoundBuffer* made = nullptr;
    if (FAILED(g_soundSystem.sound->DuplicateSoundBuffer(source->buffer, &made)))
        return -1;
    buffer->buffer = made;
    buffer->valid = 1;
    return 0;
}

int SoundBufferRelease(SoundBuffer* buffer) {
    if (!Usable(buffer))
        return -1;
    buffer->buffer->Release();
    buffer->buffer = nullptr;
    buffer->valid = 0;
    return 0;
}

int SoundBufferPlay(SoundBuffer* buffer, int loop) {
    if (!Usable(buffer))
        return -1;
    return Result(buffer->buffer->Play(0, 0, loop != 0 ? DSBPLAY_LOOPING : 0));
}

int SoundBufferStop(SoundBuffer* buffer) {
    if (!Usable(buffer))
        return -1;
    return Result(buffer->buffer->Stop());
}

int SoundBufferStatus(SoundBuffer* buffer, DWORD* status) {
    if (!Usable(buffer))
        return -1;
    return Result(buffer->buffer->GetStatus(status));
}

int SoundBufferSetPosition(SoundBuffer* buffer, DWORD bytes) {
    if (!Usable(buffer))
        return -1;
    return Result(buffer->buffer->SetCurrentPosition(bytes));
}

int SoundBufferPlayCursor(SoundBuffer* buffer, DWORD* play) {
    if (!Usable(buffer))
        return -1;
    return Result(buffer->buffer->GetCurrentPosition(play, nullptr));
}

int SoundBufferSetVolume(SoundBuffer* buffer, LONG volume) {
    if (!Usable(buffer))
        return -1;
    return Result(buffer->buffer->SetVolume(volume));
}

int SoundBufferSetPan(SoundBuffer* buffer, LONG pan) {
    if (!Usable(buffer))
        return -1;
    return Result(buffer->buffer->SetPan(pan));
}

int SoundBufferSetFrequency(SoundBuffer* buffer, DWORD frequency) {
    if (!Usable(buffer))
        return -1;
    return Result(buffer->buffer->SetFrequency(frequency));
}

int SoundBufferLock(DWORD offset, DWORD bytes, SoundBuffer* buffer, void** part1, DWORD* size1,
                    void** part2, DWORD* size2) {
    if (!Usable(buffer))
        return -1;
    return Result(buffer->buffer->Lock(offset, bytes, part1, size1, part2, size2, 0));
}

int SoundBufferUnlock(SoundBuffer* buffer, void* part1, DWORD size1, void* part2, DWORD size2) {
    if (!Usable(buffer))
        return -1;
    return Result(buffer->buffer->Unlock(part1, size1, part2, size2));
}

DWORD StreamRingBytes(const WAVEFORMATEX& format) {
    const DWORD perSecond = format.nAvgBytesPerSec & 0xFFFFFF;
    const DWORD block = format.nBlockAlign == 0 ? 1 : format.nBlockAlign;
    return (perSecond + block - 1) / block * block;
}

namespace {

DSBUFFERDESC Describe(DWORD flags, DWORD bytes, WAVEFORMATEX* format) {
    DSBUFFERDESC description = {};
    description.dwSize = sizeof(description);
    description.dwFlags = flags;
    description.dwBufferBytes = bytes;
    description.lpwfxFormat = format;
    return description;
}

int CreateRing(SoundRecord* record, WAVEFORMATEX format, int handle) {
    const DWORD bytes = StreamRingBytes(format);
    DSBUFFERDESC description = Describe(kStreamRingFlags, bytes, &format);
    if (SoundBufferCreate(&record->buffers[0], &description) != 0) {
        AbortSound("ストリーム風サウンドバッファの作成に失敗しました");
        return -1;
    }
    record->ringBytes = static_cast<int32_t>(bytes);
    record->bufferCount = 1;
    record->kind = kStreamSound;
    ListInsertAfter(&g_soundSystem.streamHead, &record->streamNode, handle, record);
    return 0;
}

int CreateNew(SoundBuffer* buffer, WAVEFORMATEX format, int size) {
    DSBUFFERDESC description = Describe(kMemoryBufferFlags, static_cast<DWORD>(size), &format);
    if (SoundBufferCreate(buffer, &description) == 0)
        return 0;
    description.dwFlags = kFallbackBufferFlags;
    return SoundBufferCreate(buffer, &description);
}

int CreateMemoryBuffers(SoundRecord* record, const SoundRecord* source, WAVEFORMATEX format,
                        int size, int count) {
    record->kind = kMemorySound;
    record->bufferCount = count;
    if (count > kSoundBufferSlots)
        count = kSoundBufferSlots;
    for (int i = 0; i < count; ++i) {
        if (i > 0 || source != nullptr) {
            const SoundBuffer* original = i == 0 ? &source->buffers[0] : &record->buffers[0];
            if (SoundBufferDuplicate(&record->buffers[i], original) == 0)
                continue;
            if (i > 0) {
                record->bufferCount = i;
                return 0;
            }
        }
        if (CreateNew(&record->buffers[i], format, size) == 0)
            continue;
        for (int j = i - 1; j >= 0; --j)
            SoundBufferRelease(&record->buffers[j]);
        WriteLog("DirectSoundBuffer の作成に失敗しました\n");
        return -1;
    }
    if (count >= 1)
        record->bufferCount = count;
    return 0;
}

}  // namespace

int CreateSoundBuffers(int copyFrom, const WAVEFORMATEX* format, int size, int isStream, int count,
                       int handle) {
    SoundRecord* record = SoundRecordFromHandle(handle);
    if (record == nullptr)
        return -1;
    const SoundRecord* source = nullptr;
    if (copyFrom != -1) {
        source = SoundRecordFromHandle(copyFrom);
        if (source == nullptr || isStream != 0)
            return -1;
        format = &source->format;
        size = source->pcmBytes;
    }
    if (format == nullptr)
        return -1;
    if (isStream == 1)
        return CreateRing(record, *format, handle);
    return CreateMemoryBuffers(record, source, *format, size, count);
}

}  // namespace tessel
