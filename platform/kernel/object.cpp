// Kernel objects' reference counts, the one checked table behind every
// kernel HANDLE, the lock of waitable objects, CloseHandle and the per-thread
// last error.
#include "platform/kernel/object_internal.h"

#include "platform/handle_table_internal.h"
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

namespace {

struct Handles {
    std::mutex lock;
    HandleTable<KernelObject> table{HandleKind::Kernel};
};

Handles& KernelHandles() {
    static auto* handles = new Handles();
    return *handles;
}

uintptr_t IdOf(HANDLE handle) {
    return reinterpret_cast<uintptr_t>(handle);
}

}  // namespace

HANDLE AddHandle(KernelObject* object) {
    uintptr_t id = 0;
    {
        std::lock_guard<std::mutex> guard(KernelHandles().lock);
        id = KernelHandles().table.Add(object);
    }
    if (id == 0) {
        ReleaseObject(object);
        return nullptr;
    }
    return reinterpret_cast<HANDLE>(id);
}

HeldObject<KernelObject> LookupObject(HANDLE handle) {
    std::lock_guard<std::mutex> guard(KernelHandles().lock);
    KernelObject* object = KernelHandles().table.Find(IdOf(handle));
    if (object == nullptr) {
        return HeldObject<KernelObject>();
    }
    RetainObject(object);
    return HeldObject<KernelObject>(object);
}

bool RemoveHandle(HANDLE handle) {
    KernelObject* object = nullptr;
    {
        std::lock_guard<std::mutex> guard(KernelHandles().lock);
        object = KernelHandles().table.Remove(IdOf(handle));
    }
    if (object == nullptr) {
        return false;
    }
    ReleaseObject(object);
    return true;
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
    if (!platform::RemoveHandle(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
