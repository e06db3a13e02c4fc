// The lock around the library's public entry points that touch the window and
// the global tables (start, end and the message pump). Recursive per thread,
// and fair: up to 4096 waiting threads enter in the order they arrived; a
// thread beyond that polls every millisecond for a place in the queue.
#pragma once

namespace tessel {

void LockPublicCall();
void UnlockPublicCall();

// Closes the lock's events and critical section so that nothing of it is left
// after the library ends; the next LockPublicCall makes them again. Refused
// while a thread holds the lock or waits for it, since that thread still
// needs them: returns 1 when torn down, 0 when kept (or never made).
int TearDownPublicCallLock();

// 1 when the calling thread holds the lock, else 0.
int IsPublicCallLockHolder();

// The number of threads queued for the lock (for tests).
int PublicCallWaitingCount();

}  // namespace tessel
