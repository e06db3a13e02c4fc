// Kernel objects behind HANDLE values. Internal to the platform layer.
// A HANDLE is a checked id in one table of kernel objects (see
// handle_table_internal.h): a closed handle is refused, never followed.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/types.h"

namespace platform {

enum class ObjectKind { Thread, Event, Semaphore, File, Find };

// A thread blocked in a wait. It is listed on every object it waits for, so
// a signal wakes only the threads that wait for that object.
struct Waiter {
    std::condition_variable condition;
};

// A reference-counted kernel object. Its handle holds one reference, and so
// does every internal user (a running thread, a call under way).
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

// A reference held for the length of a call: a handle closed meanwhile by
// another thread does not free the object under it.
template <typename T>
class HeldObject {
  public:
    HeldObject() = default;
    explicit HeldObject(T* object) : object_(object) {}  // takes over a reference
    HeldObject(HeldObject&& other) noexcept : object_(other.object_) { other.object_ = nullptr; }
    HeldObject& operator=(HeldObject&& other) noexcept {
        std::swap(object_, other.object_);
        return *this;
    }
    ~HeldObject() {
        if (object_ != nullptr) {
            ReleaseObject(object_);
        }
    }
    T* get() const { return object_; }
    T* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

  private:
    T* object_ = nullptr;
};

// Gives a new object its handle, which takes over the reference the object
// was made with; null (and the object released) when no handle is left.
HANDLE AddHandle(KernelObject* object);

// The object behind a live handle of the given kind; empty for a closed,
// made-up or foreign handle and for one of another kind.
HeldObject<KernelObject> LookupObject(HANDLE handle);

// Ends a handle; its reference goes with it. False for a handle not live.
bool RemoveHandle(HANDLE handle);

template <typename T>
HeldObject<T> LookupObject(HANDLE handle, ObjectKind kind) {
    HeldObject<KernelObject> object = LookupObject(handle);
    if (!object || object->kind != kind) {
        return HeldObject<T>();
    }
    RetainObject(object.get());
    return HeldObject<T>(static_cast<T*>(object.get()));
}

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
