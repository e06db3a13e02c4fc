// Kernel objects behind HANDLE values. Internal to the platform layer.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "platform/types.h"

namespace platform {

enum class ObjectKind { Thread, Event, Semaphore, File, Other };

// A reference-counted kernel object. A HANDLE is a pointer to one; every
// handle and every internal user (a running thread) holds a reference.
struct KernelObject {
    explicit KernelObject(ObjectKind k) : kind(k) {}
    virtual ~KernelObject() = default;

    // Waitable objects report whether a wait would return now, and take the
    // signal (auto-reset, semaphore count) when the wait is satisfied. Both run
    // under WaitLock().
    virtual bool IsSignalled() const { return false; }
    virtual void Consume() {}
    virtual bool IsWaitable() const { return false; }

    ObjectKind kind;
    std::atomic<int> refs{1};
};

void RetainObject(KernelObject* object);
void ReleaseObject(KernelObject* object);
KernelObject* ObjectFromHandle(HANDLE handle);

// One lock and one condition for every waitable object: a wait on several
// objects then needs no per-object bookkeeping, and our waits are few.
std::mutex& WaitLock();
std::condition_variable& WaitCondition();

}  // namespace platform
