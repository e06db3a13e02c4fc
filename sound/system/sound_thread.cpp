// The sound thread's loop. The refill of each stream sound and the soft-sound
// players are filled in by their own folders; the loop owns the timing, the
// lock and the stop handshake.
#include "sound/system/sound_thread.h"

#include <atomic>

#include "sound/sound_system_internal.h"

namespace tessel {
namespace {

std::atomic<long> g_passes{0};
std::atomic<bool> g_running{false};

}  // namespace

DWORD SoundStreamThread(LPVOID) {
    while (InterlockedCompareExchange(&g_soundSystem.stopWord, 0, 0) != 1) {
        RunSoundPassHook();
        LockSound();
        for (ListNode* node = g_soundSystem.streamHead.next; node != &g_soundSystem.streamTail;
             node = node->next) {
        }
        UnlockSound();
        ++g_passes;
        Sleep(30);
    }
    InterlockedExchange(&g_soundSystem.stopWord, 2);
    g_running = false;
    return 0;
}

void ResetSoundThreadCounters() {
    g_passes = 0;
    g_running = true;
}

long SoundThreadPasses() {
    return g_passes;
}

bool SoundThreadRunning() {
    return g_running;
}

}  // namespace tessel
