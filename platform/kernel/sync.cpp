// Critical sections (recursive pthread mutexes), events and semaphores
// behind checked HANDLEs, and waits on one or several objects: one lock
// guards every waitable object's state, so a wait on several sees them all
// at one instant, and a waiter is listed only on the objects it waits for.
#include "platform/kernel/sync.h"

#include <chrono>
#include <thread>
#include <vector>

#include "platform/kernel/object_internal.h"
#include "platform/kernel_testing.h"

namespace platform {
namespace {

struct EventObject : KernelObject {
    EventObject(bool manual, bool initial)
        : KernelObject(ObjectKind::Event), manualReset(manual), signalled(initial) {}
    bool IsWaitable() const override { return true; }
    bool IsSignalled() const override { return signalled; }
    void Consume() override {
        if (!manualReset) {
            signalled = false;
        }
    }
    bool manualReset;
    bool signalled;
};

struct SemaphoreObject : KernelObject {
    SemaphoreObject(LONG initial, LONG maximum)
        : KernelObject(ObjectKind::Semaphore), count(initial), maximumCount(maximum) {}
    bool IsWaitable() const override { return true; }
    bool IsSignalled() const override { return count > 0; }
    void Consume() override { --count; }
    LONG count;
    LONG maximumCount;
};

// Waits under WaitLock() until `ready` holds or the time runs out, listed as
// a waiter on each of the objects meanwhile.
template <typename Ready>
bool WaitUntil(std::unique_lock<std::mutex>& guard, const std::vector<KernelObject*>& objects,
               DWORD milliseconds, Ready ready) {
    if (ready()) {
        return true;
    }
    if (milliseconds == 0) {
        return false;
    }
    Waiter waiter;
    for (KernelObject* object : objects) {
        object->waiters.push_back(&waiter);
    }
    bool satisfied;
    if (milliseconds == INFINITE) {
        waiter.condition.wait(guard, ready);
        satisfied = true;
    } else {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        satisfied = waiter.condition.wait_until(guard, deadline, ready);
    }
    for (KernelObject* object : objects) {
        std::erase(object->waiters, &waiter);
    }
    return satisfied;
}

}  // namespace

int ThreadsWaitingFor(HANDLE handle) {
    HeldObject<KernelObject> object = LookupObject(handle);
    if (!object) {
        return 0;
    }
    std::lock_guard<std::mutex> guard(WaitLock());
    return static_cast<int>(object->waiters.size());
}

}  // namespace platform

using namespace platform;

void InitializeCriticalSection(LPCRITICAL_SECTION section) {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&section->mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
    section->owningThread = 0;
    section->recursionCount = 0;
}

void DeleteCriticalSection(LPCRITICAL_SECTION section) {
    pthread_mutex_destroy(&section->mutex);
}

void EnterCriticalSection(LPCRITICAL_SECTION section) {
    pthread_mutex_lock(&section->mutex);
    section->owningThread = GetCurrentThreadId();
    ++section->recursionCount;
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section) {
    if (pthread_mutex_trylock(&section->mutex) != 0) {
        return FALSE;
    }
    section->owningThread = GetCurrentThreadId();
    ++section->recursionCount;
    return TRUE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION section) {
    if (--section->recursionCount == 0) {
        section->owningThread = 0;
    }
    pthread_mutex_unlock(&section->mutex);
}

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR) {
    return AddHandle(new EventObject(manualReset != FALSE, initialState != FALSE));
}

BOOL SetEvent(HANDLE handle) {
    auto event = LookupObject<EventObject>(handle, ObjectKind::Event);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    {
        std::lock_guard<std::mutex> guard(WaitLock());
        event->signalled = true;
        WakeWaiters(event.get());
    }
    return TRUE;
}

BOOL ResetEvent(HANDLE handle) {
    auto event = LookupObject<EventObject>(handle, ObjectKind::Event);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(WaitLock());
    event->signalled = false;
    return TRUE;
}

HANDLE CreateSemaphoreA(LPSECURITY_ATTRIBUTES, LONG initialCount, LONG maximumCount, LPCSTR) {
    if (maximumCount <= 0 || initialCount < 0 || initialCount > maximumCount) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return AddHandle(new SemaphoreObject(initialCount, maximumCount));
}

BOOL ReleaseSemaphore(HANDLE handle, LONG releaseCount, LPLONG previousCount) {
    auto semaphore = LookupObject<SemaphoreObject>(handle, ObjectKind::Semaphore);
    if (!semaphore) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    {
        std::lock_guard<std::mutex> guard(WaitLock());
        if (releaseCount <= 0 || releaseCount > semaphore->maximumCount - semaphore->count) {
            SetLastError(ERROR_TOO_MANY_POSTS);
            return FALSE;
        }
        if (previousCount != nullptr) {
            *previousCount = semaphore->count;
        }
        semaphore->count += releaseCount;
        WakeWaiters(semaphore.get());
    }
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    return WaitForMultipleObjects(1, &handle, TRUE, milliseconds);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    // Each object is held for the whole wait, so a handle closed by another
    // thread meanwhile does not free it under us; released after the lock
    // (declared before it).
    std::vector<HeldObject<KernelObject>> held(count);
    std::vector<KernelObject*> objects(count);
    for (DWORD i = 0; i < count; ++i) {
        held[i] = LookupObject(handles[i]);
        if (!held[i] || !held[i]->IsWaitable()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        objects[i] = held[i].get();
    }
    std::unique_lock<std::mutex> guard(WaitLock());
    DWORD which = 0;
    auto ready = [&] {
        if (waitAll) {
            for (KernelObject* object : objects) {
                if (!object->IsSignalled()) {
                    return false;
                }
            }
            return true;
        }
        for (DWORD i = 0; i < count; ++i) {
            if (objects[i]->IsSignalled()) {
                which = i;
                return true;
            }
        }
        return false;
    };
    if (!WaitUntil(guard, objects, milliseconds, ready)) {
        return WAIT_TIMEOUT;
    }
    if (waitAll) {
        for (KernelObject* object : objects) {
            object->Consume();
        }
        return WAIT_OBJECT_0;
    }
    objects[which]->Consume();
    return WAIT_OBJECT_0 + which;
}

void Sleep(DWORD milliseconds) {
    if (milliseconds == 0) {
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

LONG InterlockedIncrement(volatile LONG* value) {
    return __atomic_add_fetch(value, 1, __ATOMIC_SEQ_CST);
}

LONG InterlockedDecrement(volatile LONG* value) {
    return __atomic_sub_fetch(value, 1, __ATOMIC_SEQ_CST);
}

LONG InterlockedExchange(volatile LONG* target, LONG value) {
    return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}

LONG InterlockedCompareExchange(volatile LONG* target, LONG exchange, LONG comparand) {
    __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST,
                                __ATOMIC_SEQ_CST);
    return comparand;
}
