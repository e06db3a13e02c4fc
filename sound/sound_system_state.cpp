// The sound system's globals, the test hooks that attach the tables to a
// device without starting the whole system, and the hook that can hold the
// sound thread at the start of its pass.
#include <atomic>

#include "sound/handles/sound_table.h"
#include "sound/sound_system_internal.h"
#include "sound/sound_testing.h"

namespace tessel {

SoundSystem g_soundSystem = {};

namespace {

std::atomic<SoundPassHook> g_passHook{nullptr};

}  // namespace

void SetSoundPassHookForTest(SoundPassHook hook) {
    g_passHook = hook;
}

void SetMusicModeForTest(int mode) {
    g_soundSystem.musicMode = mode;
}

int MusicModeForTest() {
    return g_soundSystem.musicMode;
}

void RunSoundPassHook() {
    SoundPassHook hook = g_passHook;
    if (hook != nullptr)
        hook();
}

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
