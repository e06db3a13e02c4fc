// The sound thread: every 30 ms, under the sound lock, one refill pass over
// the playing stream sounds and the soft-sound players. It ends when the
// stop word is 1, answering with 2.
#pragma once

#include "platform/types.h"

namespace tessel {

DWORD SoundStreamThread(LPVOID parameter);
// One pass of the thread: under the sound lock, one refill of every stream
// sound with its playing flag set. Tests run it directly.
void RunSoundThreadPass();
// Called before the thread is made: no passes yet, and running from now
// until the thread's function returns.
void ResetSoundThreadCounters();
// Passes the thread has finished since the sound system started.
long SoundThreadPasses();

}  // namespace tessel
