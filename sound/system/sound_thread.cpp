// The sound thread's loop: one pass over the playing stream sounds under the
// sound lock every 30 ms, and the stop handshake.
#include "sound/system/sound_thread.h"

#include <atomic>

#include "sound/handles/sound_record.h"
#include "sound/sound_system_internal.h"
#include "sound/streams/stream_sound.h"

namespace tessel {
namespace {

std::atomic<long> g_passes{0};
std::atomic<bool> g_running{false};

}  // namespace

void RunSoundThreadPass() {
    LockSound();
    if (SoundSystemUp()) {
        for (ListNode* node = g_soundSystem.streamHead.next; node != &g_soundSystem.streamTail;
             node = node->next) {
            if (static_cast<SoundRecord*>(node->data)->playing)
                RefillStreamSound(node->value);
        }
    }
    UnlockSound();
}

DWORD SoundStreamThread(LPVOID) {
    while (InterlockedCompareExchange(&g_soundSystem.stopWord, 0, 0) != 1) {
        RunSoundPassHook();
        RunSoundThreadPass();
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
