#include "platform/kernel/object.h"

#include "platform/kernel/threads.h"

namespace platform {

void RetainObject(KernelObject* object) {
    object->refs.fetch_add(1, std::memory_order_relaxed);
}

void ReleaseObject(KernelObject* object) {
    if (object->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        delete object;
    }
}

KernelObject* ObjectFromHandle(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    return static_cast<KernelObject*>(handle);
}

std::mutex& WaitLock() {
    static std::mutex lock;
    return lock;
}

void WakeWaiters(KernelObject* object) {
    for (Waiter* waiter : object->waiters) {
        waiter->condition.notify_one();
    }
}

std::condition_variable& ThreadStartCondition() {
    static std::condition_variable condition;
    return condition;
}

}  // namespace platform

namespace {
thread_local DWORD lastError = 0;
}

DWORD GetLastError() {
    return lastError;
}

void SetLastError(DWORD error) {
    lastError = error;
}

BOOL CloseHandle(HANDLE handle) {
    platform::KernelObject* object = platform::ObjectFromHandle(handle);
    if (object == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    platform::ReleaseObject(object);
    return TRUE;
}
