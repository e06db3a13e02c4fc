// The sound system's globals, shared by the folders of sound/: the device,
// the lock the sound thread takes for each pass, and the list of stream
// sounds it refills.
#pragma once

#include "foundation/base/list.h"
#include "platform/dmusic.h"
#include "platform/dsound.h"
#include "platform/kernel.h"

namespace tessel {

struct SoundSystem {
    IDirectSound8* sound;  // null while the sound system is down
    IDirectSoundBuffer* primary;
    IDirectSoundBuffer* silence;
    CRITICAL_SECTION lock;
    int lockMade;
    HANDLE thread;
    DWORD threadId;
    volatile LONG stopWord;                 // 1 asks the sound thread to stop, 2 = it has
    int musicMode;                          // 0 DirectSound with MIDI through MCI, 1 DirectMusic
    IDirectMusicLoader8* loader;            // music mode 1 only
    IDirectMusicPerformance8* performance;  // music mode 1 only
    ListNode streamHead;
    ListNode streamTail;
};

extern SoundSystem g_soundSystem;

inline bool SoundSystemUp() {
    return g_soundSystem.sound != nullptr;
}

// The lock is taken only when it exists, so that table work during a failed
// start-up and in tests without a thread stays safe.
void LockSound();
void UnlockSound();

// Runs the test hook set for the start of each sound-thread pass, if any.
void RunSoundPassHook();

}  // namespace tessel
