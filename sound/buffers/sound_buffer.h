// The thin layer over one secondary buffer, and the making of a sound's
// buffers: 1 to 10 copies of a memory sound's PCM, or a stream sound's ring.
#pragma once

#include "platform/dsound.h"
#include "sound/handles/sound_record.h"

namespace tessel {

// Buffer descriptions the sound system asks for.
constexpr DWORD kMemoryBufferFlags = 0x80E2;  // static, pan, volume, frequency, exact cursor
constexpr DWORD kFallbackBufferFlags = 0xC2;  // static, volume, frequency
constexpr DWORD kStreamRingFlags = 0x180E2;   // the memory flags, heard while inactive

// Each returns 0, or -1 when the buffer is not valid (already valid for the
// two that make one) or the device refuses.
int SoundBufferCreate(SoundBuffer* buffer, const DSBUFFERDESC* description);
int SoundBufferDuplicate(SoundBuffer* buffer, const SoundBuffer* source);
int SoundBufferRelease(SoundBuffer* buffer);
int SoundBufferPlay(SoundBuffer* buffer, int loop);
int SoundBufferStop(SoundBuffer* buffer);
int SoundBufferStatus(SoundBuffer* buffer, DWORD* status);
int SoundBufferSetPosition(SoundBuffer* buffer, DWORD bytes);
// The play cursor in bytes.
int SoundBufferPlayCursor(SoundBuffer* buffer, DWORD* play);
int SoundBufferSetVolume(SoundBuffer* buffer, LONG volume);
int SoundBufferSetPan(SoundBuffer* buffer, LONG pan);
// 0 plays at the format's own rate. A buffer made without frequency control
// refuses; callers applying a sound's settings ignore that.
int SoundBufferSetFrequency(SoundBuffer* buffer, DWORD frequency);
int SoundBufferLock(DWORD offset, DWORD bytes, SoundBuffer* buffer, void** part1, DWORD* size1,
                    void** part2, DWORD* size2);
int SoundBufferUnlock(SoundBuffer* buffer, void* part1, DWORD size1, void* part2, DWORD size2);

// The ring of a stream sound holds one second: the format's bytes per second
// (low 24 bits) rounded up to whole blocks.
DWORD StreamRingBytes(const WAVEFORMATEX& format);

// Makes the buffers of `handle`. With `copyFrom` (a memory sound) its format
// and PCM size are used and its buffer 0 is duplicated. A ring that cannot be
// made ends the program. 0 or -1.
int CreateSoundBuffers(int copyFrom, const WAVEFORMATEX* format, int size, int isStream, int count,
                       int handle);

}  // namespace tessel
