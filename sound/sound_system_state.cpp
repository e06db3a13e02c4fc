// The sound system's globals and the test hooks that attach the tables to a
// device without starting the whole system.
#include "sound/handles/sound_table.h"
#include "sound/sound_system_internal.h"
#include "sound/sound_testing.h"

namespace tessel {

SoundSystem g_soundSystem = {};

void LockSound() {
    if (g_soundSystem.lockMade)
        EnterCriticalSection(&g_soundSystem.lock);
}

void UnlockSound() {
    if (g_soundSystem.lockMade)
        LeaveCriticalSection(&g_soundSystem.lock);
}

void AttachSoundSystemForTest(IDirectSound8* sound) {
    InitializeCriticalSection(&g_soundSystem.lock);
    g_soundSystem.lockMade = 1;
    ListInit(&g_soundSystem.streamHead, &g_soundSystem.streamTail);
    ResetSoundTable();
    g_soundSystem.sound = sound;
}

void DetachSoundSystemForTest() {
    DeleteAllSounds();
    g_soundSystem.sound = nullptr;
    if (g_soundSystem.lockMade)
        DeleteCriticalSection(&g_soundSystem.lock);
    g_soundSystem.lockMade = 0;
}

}  // namespace tessel
