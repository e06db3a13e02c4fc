#include "foundation/runtime/public_call_lock.h"

#include <atomic>

#include "platform/kernel.h"

namespace tessel {

namespace {

constexpr int kQueueSize = 4096;
constexpr DWORD kNoOwner = 0xFFFFFFFFu;

struct QueueEntry {
    DWORD threadId;
    HANDLE event;  // manual reset; set when this place is first in line and the lock is free
};

// The holder's id and the held flag are read without the section by
// IsPublicCallLockHolder, on any thread, so they are atomics.
struct PublicCallLock {
    std::atomic<DWORD> owner = kNoOwner;
    std::atomic<int> held = 0;
    int recursion = 0;
    int waiting = 0;
    QueueEntry queue[kQueueSize] = {};
    int eventsMade = 0;
    CRITICAL_SECTION section;
};

PublicCallLock lock;

// Guards the making and the tearing down of the lock's own objects, which
// outlive neither; this one is made once and lives as long as the process.
CRITICAL_SECTION& SetupSection() {
    static CRITICAL_SECTION* section = [] {
        auto* made = new CRITICAL_SECTION;
        InitializeCriticalSection(made);
        return made;
    }();
    return *section;
}

void MakeLockObjects() {
    for (QueueEntry& entry : lock.queue) {
        entry.threadId = 0;
        entry.event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    InitializeCriticalSection(&lock.section);
    lock.eventsMade = 1;
}

// Enters the lock's critical section, making the lock's objects first when
// they do not exist.
void EnterLockSection() {
    EnterCriticalSection(&SetupSection());
    if (lock.eventsMade == 0) {
        MakeLockObjects();
    }
    EnterCriticalSection(&lock.section);
    LeaveCriticalSection(&SetupSection());
}

// The first waiter leaves the queue; its event goes to the freed last place.
void RemoveFirstWaiter(int count) {
    HANDLE event = lock.queue[0].event;
    for (int i = 1; i < count; ++i) {
        lock.queue[i - 1] = lock.queue[i];
    }
    lock.queue[count - 1] = {0, event};
    lock.waiting = count - 1;
}

}  // namespace

void LockPublicCall() {
    DWORD me = GetCurrentThreadId();
    for (;;) {
        EnterLockSection();
        int count = lock.waiting;
        if (lock.held == 0) {
            if (count == 0 || lock.owner == me) {
                break;
            }
            if (lock.queue[0].threadId == me) {
                RemoveFirstWaiter(count);
                break;
            }
        } else if (lock.owner == me) {
            break;
        }
        if (count >= kQueueSize) {
            LeaveCriticalSection(&lock.section);
            Sleep(1);
            continue;
        }
        lock.queue[count].threadId = me;
        HANDLE event = lock.queue[count].event;
        lock.waiting = count + 1;
        LeaveCriticalSection(&lock.section);
        WaitForSingleObject(event, INFINITE);
        ResetEvent(event);
    }
    ++lock.recursion;
    lock.held = 1;
    lock.owner = me;
    LeaveCriticalSection(&lock.section);
}

void UnlockPublicCall() {
    EnterCriticalSection(&lock.section);
    bool wake = false;
    if (lock.recursion == 1) {
        lock.held = 0;
        lock.owner = kNoOwner;
        wake = lock.waiting > 0;
    }
    --lock.recursion;
    HANDLE first = lock.queue[0].event;
    LeaveCriticalSection(&lock.section);
    if (wake) {
        SetEvent(first);
        Sleep(0);
    }
}

int TearDownPublicCallLock() {
    EnterCriticalSection(&SetupSection());
    int tornDown = 0;
    if (lock.eventsMade != 0) {
        EnterCriticalSection(&lock.section);
        bool inUse = lock.held != 0 || lock.waiting != 0;
        LeaveCriticalSection(&lock.section);
        if (!inUse) {
            lock.eventsMade = 0;
            for (QueueEntry& entry : lock.queue) {
                CloseHandle(entry.event);
                entry.event = nullptr;
            }
            DeleteCriticalSection(&lock.section);
            tornDown = 1;
        }
    }
    LeaveCriticalSection(&SetupSection());
    return tornDown;
}

int IsPublicCallLockHolder() {
    // Only the holder itself can find its own id in the owner word, so the
    // answer needs no lock.
    return lock.held != 0 && lock.owner == GetCurrentThreadId() ? 1 : 0;
}

int PublicCallWaitingCount() {
    EnterLockSection();
    int count = lock.waiting;
    LeaveCriticalSection(&lock.section);
    return count;
}

}  // namespace tessel
