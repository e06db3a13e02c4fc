// The per-frame message pump and the library's clocks.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace tessel {

// Called once per frame on the window thread: dispatches the window's pending
// messages (at most five per call while the window is active), waits without
// busy load while the window is inactive, and returns -1 when the program is
// to end, else 0. Takes the public-call lock.
int PumpMessages();
// The same without the lock, for the library's own loops on the window thread.
int PumpMessagesInner();
// Whether PumpMessagesInner, called now, would stay until the window is
// activated again: an inactive window without run-when-inactive on the
// window thread, no close posted and no quit. A loop that pumps only to keep
// the window answering while it waits for something else must not pump then.
bool PumpHoldsUntilActivation();
// Returns once the window may be drawn to or read from.
void WaitWhileInactive();

// timeGetTime with bit 31 cleared: never negative, wraps after about 24.8 days.
int ReadMillisecondClock();
// Microseconds: from the time-stamp counter when asked and available while the
// library runs, else from the performance counter, else from the millisecond
// clock.
uint64_t ReadMicrosecondClock(int useTimeStampCounter);
int GetLocalDateTime(int* year, int* month, int* day, int* hour, int* minute, int* second);
int ConvertFileTimeToDateTime(const FILETIME* fileTime, int* year, int* month, int* day, int* hour,
                              int* minute, int* second);

}  // namespace tessel
