// Kernel objects behind HANDLE values. Internal to the platform layer.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/types.h"

namespace platform {

enum class ObjectKind { Thread, Event, Semaphore, File, Other };

// A thread blocked in a wait. It is listed on every object it waits for, so
// a signal wakes only the threads that wait for that object.
struct Waiter {
    std::condition_variable condition;
};

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
    std::vector<Waiter*> waiters;  // guarded by WaitLock()
};

void RetainObject(KernelObject* object);
void ReleaseObject(KernelObject* object);
KernelObject* ObjectFromHandle(HANDLE handle);

// One lock guards the state of every waitable object, so that a wait on
// several objects sees them all at one instant.
std::mutex& WaitLock();

// Wakes the threads waiting for `object`; call with WaitLock() held, after
// changing its state.
void WakeWaiters(KernelObject* object);

// The condition for the hand-over of a starting thread (its id, its resume);
// rare, so one condition serves all of them.
std::condition_variable& ThreadStartCondition();

}  // namespace platform
