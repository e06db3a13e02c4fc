// Threads behind checked HANDLEs: each runs on a detached std::thread that
// holds its own reference to its object, reports its id before CreateThread
// returns and waits while suspended; ExitThread unwinds to the bottom of the
// thread's stack. The pseudo-handle of the current thread is not in the table.
#include "platform/kernel/threads.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <thread>

#include "platform/kernel/object_internal.h"

namespace platform {
namespace {

// Windows' pseudo-handle of the calling thread.
HANDLE const currentThreadPseudoHandle = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2));

struct ThreadObject : KernelObject {
    ThreadObject() : KernelObject(ObjectKind::Thread) {}

    bool IsWaitable() const override { return true; }
    bool IsSignalled() const override { return finished; }

    LPTHREAD_START_ROUTINE start = nullptr;
    LPVOID parameter = nullptr;
    DWORD suspendCount = 0;  // guarded by WaitLock()
    bool finished = false;   // guarded by WaitLock()
    DWORD exitCode = STILL_ACTIVE;
    DWORD threadId = 0;
    std::atomic<int> priority{THREAD_PRIORITY_NORMAL};
};

thread_local ThreadObject* currentThread = nullptr;

// Thrown by ExitThread and caught at the bottom of the thread's stack, so the
// thread's own frames unwind normally.
struct ThreadExit {
    DWORD code;
};

void FinishThread(ThreadObject* thread, DWORD code) {
    {
        std::lock_guard<std::mutex> guard(WaitLock());
        thread->exitCode = code;
        thread->finished = true;
        WakeWaiters(thread);
    }
    ReleaseObject(thread);
}

void RunThread(ThreadObject* thread) {
    currentThread = thread;
    {
        std::unique_lock<std::mutex> guard(WaitLock());
        thread->threadId = GetCurrentThreadId();
        ThreadStartCondition().notify_all();
        ThreadStartCondition().wait(guard, [thread] { return thread->suspendCount == 0; });
    }
    DWORD code = 0;
    try {
        code = thread->start(thread->parameter);
    } catch (const ThreadExit& exit) {
        code = exit.code;
    }
    FinishThread(thread, code);
}

HeldObject<ThreadObject> ThreadFromHandle(HANDLE handle) {
    if (handle == currentThreadPseudoHandle) {
        if (currentThread == nullptr) {
            return HeldObject<ThreadObject>();
        }
        RetainObject(currentThread);
        return HeldObject<ThreadObject>(currentThread);
    }
    return LookupObject<ThreadObject>(handle, ObjectKind::Thread);
}

}  // namespace
}  // namespace platform

using platform::ThreadObject;

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                    DWORD flags, LPDWORD threadId) {
    if (start == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* thread = new ThreadObject;
    thread->start = start;
    thread->parameter = parameter;
    thread->suspendCount = (flags & CREATE_SUSPENDED) ? 1 : 0;
    HANDLE handle = platform::AddHandle(thread);
    if (handle == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    platform::RetainObject(thread);  // the running thread's own reference
    try {
        std::thread(platform::RunThread, thread).detach();
    } catch (...) {
        platform::ReleaseObject(thread);
        platform::RemoveHandle(handle);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    // The id is known once the new thread has reported it.
    std::unique_lock<std::mutex> guard(platform::WaitLock());
    platform::ThreadStartCondition().wait(guard, [thread] { return thread->threadId != 0; });
    if (threadId != nullptr) {
        *threadId = thread->threadId;
    }
    return handle;
}

DWORD ResumeThread(HANDLE handle) {
    auto thread = platform::ThreadFromHandle(handle);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0xFFFFFFFFu;
    }
    DWORD previous;
    {
        std::lock_guard<std::mutex> guard(platform::WaitLock());
        previous = thread->suspendCount;
        if (thread->suspendCount > 0) {
            --thread->suspendCount;
        }
    }
    platform::ThreadStartCondition().notify_all();
    return previous;
}

BOOL GetExitCodeThread(HANDLE handle, LPDWORD exitCode) {
    auto thread = platform::ThreadFromHandle(handle);
    if (!thread || exitCode == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(platform::WaitLock());
    *exitCode = thread->finished ? thread->exitCode : STILL_ACTIVE;
    return TRUE;
}

// Priorities are kept and reported back. A raise above normal is also asked
// of the system as a lower niceness of the thread (time-critical the
// lowest); an unprivileged process is refused that, and the refusal is
// ignored, as the thread then simply runs at normal priority. Lowering is
// not asked for: an unprivileged thread could never come back from it.
BOOL SetThreadPriority(HANDLE handle, int priority) {
    auto thread = platform::ThreadFromHandle(handle);
    if (!thread) {
        return handle == platform::currentThreadPseudoHandle ? TRUE : FALSE;
    }
    thread->priority = priority;
    std::lock_guard<std::mutex> guard(platform::WaitLock());
    // A finished thread's id may already name another thread.
    if (priority > THREAD_PRIORITY_NORMAL && !thread->finished) {
        int niceness = priority >= THREAD_PRIORITY_TIME_CRITICAL ? platform::kTimeCriticalNiceness
                                                                 : -5 * priority;
        setpriority(PRIO_PROCESS, static_cast<id_t>(thread->threadId), niceness);
    }
    return TRUE;
}

int GetThreadPriority(HANDLE handle) {
    auto thread = platform::ThreadFromHandle(handle);
    if (!thread) {
        return handle == platform::currentThreadPseudoHandle ? THREAD_PRIORITY_NORMAL
                                                             : THREAD_PRIORITY_ERROR_RETURN;
    }
    return thread->priority;
}

HANDLE GetCurrentThread() {
    return platform::currentThreadPseudoHandle;
}

namespace {

// A thread's id never changes, and every critical section records its owner
// on each entry, so the id is asked of the kernel once per thread. A forked
// child's thread has an id of its own: the cache is cleared in the child.
thread_local DWORD cachedThreadId = 0;

void ForgetThreadIdInChild() {
    cachedThreadId = 0;
}

}  // namespace

DWORD GetCurrentThreadId() {
    static const int forkHandler = pthread_atfork(nullptr, nullptr, ForgetThreadIdInChild);
    (void)forkHandler;
    if (cachedThreadId == 0) {
        cachedThreadId = static_cast<DWORD>(syscall(SYS_gettid));
    }
    return cachedThreadId;
}

DWORD GetCurrentProcessId() {
    return static_cast<DWORD>(getpid());
}

void ExitThread(DWORD exitCode) {
    if (platform::currentThread == nullptr) {
        // A thread we did not start has no frame to unwind to.
        pthread_exit(nullptr);
    }
    throw platform::ThreadExit{exitCode};
}
