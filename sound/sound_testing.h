// Test hooks of the sound system (not part of the library's interface).
#pragma once

#include <cstdint>

#include "platform/dmusic.h"
#include "platform/dsound.h"

namespace tessel {

// Marks the sound system up over `sound` with a fresh lock, an empty table
// and an empty stream list, without a thread or a silence buffer, so that
// tests reach the tables and buffers alone. The caller keeps `sound`.
void AttachSoundSystemForTest(IDirectSound8* sound);
// Deletes every sound, then marks the sound system down and deletes the lock.
void DetachSoundSystemForTest();

// Replaces the fatal exit taken when a stream ring cannot be made; null
// restores it. The hook must not return for the library to stay consistent;
// tests may return after recording the text.
using SoundAbortHook = void (*)(const char* text);
void SetSoundAbortHookForTest(SoundAbortHook hook);

}  // namespace tessel

namespace tessel {

// The start-up steps a test can make fail, one at a time.
enum SoundStartStep {
    kStartNoFailure = 0,
    kStartCreateDevice,
    kStartInitialize,
    kStartCooperativeLevel,
    kStartPrimaryBuffer,
    kStartPrimaryFormat,
    kStartSilenceBuffer,
    kStartSilenceLock,
    kStartDeviceLibrary,
    kStartEnumerateEntry,
    // Music mode 1 only.
    kStartMusicLoader,
    kStartMusicPerformance,
    kStartMusicObject,
    kStartMusic8,
    kStartMusicAudio,
};
void SetSoundStartFailureForTest(SoundStartStep step);
// Chooses the music mode the next start takes: 0 DirectSound with MIDI
// through MCI, 1 DirectMusic.
void SetMusicModeForTest(int mode);
int MusicModeForTest();

// Adds a music record over `segment` (which the record then owns; null for
// MIDI through MCI), marked playing or not, as a loader would; its handle or
// -1. Reads back a record's playing flag (-1 for a bad handle).
int AddMusicForTest(IDirectMusicSegment8* segment, int playing);
int MusicPlayingForTest(int handle);
// Sets the MCI music's loop request and playing flag; reads the flag back.
void SetMciMusicForTest(int loop, int playing);
int MciMusicPlayingForTest();
// How many times the music state was polled since the process started.
long MusicPollsForTest();

// Opens a capture file as if `dataBytes` bytes of sound had been written to
// it, so that CloseWaveCapture has something to finish. 0 or -1.
int OpenWaveCaptureForTest(const char* path, uint32_t dataBytes);

// Passes the sound thread has finished since the sound system started.
long SoundThreadPasses();
// Whether the sound thread's function is still running.
bool SoundThreadRunning();
// Called by the sound thread at the start of each pass, outside the sound
// lock; a hook that blocks holds the thread inside its pass. Null: none.
using SoundPassHook = void (*)();
void SetSoundPassHookForTest(SoundPassHook hook);
// Whether the silence buffer exists and plays.
bool SilenceBufferPlaying();

}  // namespace tessel
