// Kernel threads, events, semaphores, critical sections, waits and stale handles.
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/kernel.h"
#include "platform/kernel_testing.h"
#include "platform/winmm.h"

namespace {

DWORD ReturnParameter(LPVOID parameter) {
    return static_cast<DWORD>(reinterpret_cast<uintptr_t>(parameter));
}

TEST(KernelThreads, SuspendedThreadRunsOnlyAfterResume) {
    static std::atomic<int> ran{0};
    ran = 0;
    DWORD id = 0;
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID) -> DWORD {
            ran = 1;
            return 7;
        },
        nullptr, CREATE_SUSPENDED, &id);
    ASSERT_NE(thread, nullptr);
    EXPECT_NE(id, 0u);
    EXPECT_EQ(WaitForSingleObject(thread, 30), WAIT_TIMEOUT);
    EXPECT_EQ(ran.load(), 0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(ResumeThread(thread), 1u);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(ran.load(), 1);
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 7u);
    EXPECT_TRUE(CloseHandle(thread));
}

TEST(KernelThreads, ExitThreadSetsTheExitCode) {
    HANDLE thread = CreateThread(
        nullptr, 0, [](LPVOID) -> DWORD { ExitThread(42); }, nullptr, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    EXPECT_EQ(code, 42u);
    CloseHandle(thread);
}

TEST(KernelThreads, WaitForMultipleObjectsAnyAndAll) {
    HANDLE threads[3];
    for (uintptr_t i = 0; i < 3; ++i) {
        threads[i] =
            CreateThread(nullptr, 0, ReturnParameter, reinterpret_cast<LPVOID>(i), 0, nullptr);
    }
    EXPECT_EQ(WaitForMultipleObjects(3, threads, TRUE, 5000), WAIT_OBJECT_0);
    DWORD any = WaitForMultipleObjects(3, threads, FALSE, 0);
    EXPECT_EQ(any, WAIT_OBJECT_0);  // all are signalled: the first wins
    for (HANDLE thread : threads) {
        CloseHandle(thread);
    }
}

// The id is the kernel's for each thread, the main one, one started after it
// and the thread of a forked child, whose id differs from its parent's.
TEST(KernelThreads, EachThreadAndAForkedChildGetTheKernelsId) {
    const DWORD main = GetCurrentThreadId();
    EXPECT_EQ(main, static_cast<DWORD>(syscall(SYS_gettid)));
    EXPECT_EQ(GetCurrentThreadId(), main) << "asked again";
    DWORD other = 0;
    DWORD otherKernel = 0;
    std::thread([&] {
        other = GetCurrentThreadId();
        otherKernel = static_cast<DWORD>(syscall(SYS_gettid));
    }).join();
    EXPECT_EQ(other, otherKernel);
    EXPECT_NE(other, main);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        // The child reports whether it was given its own id, not its parent's.
        const DWORD id = GetCurrentThreadId();
        const char right = id == static_cast<DWORD>(syscall(SYS_gettid)) && id != main;
        _exit(write(fds[1], &right, 1) == 1 ? 0 : 1);
    }
    close(fds[1]);
    char right = 0;
    EXPECT_EQ(read(fds[0], &right, 1), 1);
    close(fds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(right, 1) << "the child's thread kept its parent's id";
    EXPECT_EQ(GetCurrentThreadId(), main);
}

TEST(KernelEvents, AutoResetReleasesOneWaitManualStaysSet) {
    HANDLE autoEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE manualEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(autoEvent, 0), WAIT_TIMEOUT);
    SetEvent(autoEvent);
    EXPECT_EQ(WaitForSingleObject(autoEvent, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(autoEvent, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(manualEvent, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(manualEvent, 0), WAIT_OBJECT_0);
    ResetEvent(manualEvent);
    EXPECT_EQ(WaitForSingleObject(manualEvent, 0), WAIT_TIMEOUT);

    HANDLE both[2] = {autoEvent, manualEvent};
    SetEvent(manualEvent);
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0 + 1);
    CloseHandle(autoEvent);
    CloseHandle(manualEvent);
}

TEST(KernelEvents, TimeOutWaitsAboutTheAskedTime) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    DWORD start = timeGetTime();
    EXPECT_EQ(WaitForSingleObject(event, 50), WAIT_TIMEOUT);
    DWORD elapsed = timeGetTime() - start;
    EXPECT_GE(elapsed, 49u);
    CloseHandle(event);
}

TEST(KernelEvents, EventWakesAThreadBlockedOnIt) {
    static HANDLE event;
    event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE waiter = CreateThread(
        nullptr, 0, [](LPVOID) -> DWORD { return WaitForSingleObject(event, 10000); }, nullptr, 0,
        nullptr);
    Sleep(20);
    SetEvent(event);
    ASSERT_EQ(WaitForSingleObject(waiter, 10000), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeThread(waiter, &code);
    EXPECT_EQ(code, WAIT_OBJECT_0);
    CloseHandle(waiter);
    CloseHandle(event);
}

TEST(KernelWaits, WaitersAreCountedWhileTheyBlock) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(platform::ThreadsWaitingFor(event), 0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    EXPECT_EQ(platform::ThreadsWaitingFor(event), 0) << "a poll never blocks";
    std::vector<std::thread> waiters;
    for (int i = 0; i < 2; ++i)
        waiters.emplace_back([event] { WaitForSingleObject(event, INFINITE); });
    bool both = false;
    for (int i = 0; i < 20000 && !both; ++i) {
        both = platform::ThreadsWaitingFor(event) == 2;
        if (!both)
            Sleep(1);
    }
    EXPECT_TRUE(both);
    SetEvent(event);
    for (std::thread& waiter : waiters)
        waiter.join();
    EXPECT_EQ(platform::ThreadsWaitingFor(event), 0);
    CloseHandle(event);
    EXPECT_EQ(platform::ThreadsWaitingFor(event), 0) << "a closed handle";
}

TEST(KernelSemaphores, CountsAndRefusesOverRelease) {
    HANDLE semaphore = CreateSemaphoreA(nullptr, 1, 2, nullptr);
    LONG previous = -1;
    EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(ReleaseSemaphore(semaphore, 2, &previous));
    EXPECT_EQ(previous, 0);
    EXPECT_FALSE(ReleaseSemaphore(semaphore, 1, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_TOO_MANY_POSTS);
    EXPECT_EQ(CreateSemaphoreA(nullptr, 3, 2, nullptr), nullptr);
    CloseHandle(semaphore);
}

TEST(KernelCriticalSection, RecursiveAndSharedByThreads) {
    static CRITICAL_SECTION section;
    static int counter;
    counter = 0;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EnterCriticalSection(&section);  // recursion on one thread
    EXPECT_EQ(section.recursionCount, 2);
    EXPECT_EQ(section.owningThread, GetCurrentThreadId());
    LeaveCriticalSection(&section);
    LeaveCriticalSection(&section);

    auto work = [](LPVOID) -> DWORD {
        for (int i = 0; i < 20000; ++i) {
            EnterCriticalSection(&section);
            EnterCriticalSection(&section);
            int value = counter;
            counter = value + 1;
            LeaveCriticalSection(&section);
            LeaveCriticalSection(&section);
        }
        return 0;
    };
    HANDLE threads[4];
    for (HANDLE& thread : threads) {
        thread = CreateThread(nullptr, 0, work, nullptr, 0, nullptr);
    }
    WaitForMultipleObjects(4, threads, TRUE, INFINITE);
    for (HANDLE thread : threads) {
        CloseHandle(thread);
    }
    EXPECT_EQ(counter, 80000);
    EXPECT_TRUE(TryEnterCriticalSection(&section));
    LeaveCriticalSection(&section);
    DeleteCriticalSection(&section);
}

TEST(KernelWaits, BadArgumentsFail) {
    EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForMultipleObjects(0, nullptr, FALSE, 0), WAIT_FAILED);
    EXPECT_FALSE(CloseHandle(nullptr));
    EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));

    // A closed handle is refused even once a new object has taken its slot.
    HANDLE stale = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(CloseHandle(stale));
    HANDLE fresh = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_NE(fresh, stale);
    EXPECT_EQ(WaitForSingleObject(stale, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    HANDLE both[2] = {fresh, stale};
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_FAILED);
    EXPECT_FALSE(CloseHandle(stale));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_TRUE(CloseHandle(fresh));
}

// What each kind of object answers when its handle is stale: Win32's
// refusal and ERROR_INVALID_HANDLE, and the new object in the slot untouched.
TEST(KernelHandles, ClosedHandlesAreRefusedAndLeaveTheSlotsNewObjectAlone) {
    SetLastError(0);
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_TRUE(CloseHandle(event));
    HANDLE newEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    EXPECT_FALSE(SetEvent(event));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(WaitForSingleObject(newEvent, 0), WAIT_TIMEOUT);
    SetLastError(0);
    EXPECT_FALSE(ResetEvent(event));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    CloseHandle(newEvent);

    HANDLE semaphore = CreateSemaphoreA(nullptr, 0, 2, nullptr);
    ASSERT_TRUE(CloseHandle(semaphore));
    HANDLE newSemaphore = CreateSemaphoreA(nullptr, 0, 2, nullptr);
    SetLastError(0);
    EXPECT_FALSE(ReleaseSemaphore(semaphore, 1, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(WaitForSingleObject(newSemaphore, 0), WAIT_TIMEOUT);
    CloseHandle(newSemaphore);

    HANDLE thread =
        CreateThread(nullptr, 0, ReturnParameter, reinterpret_cast<LPVOID>(5), 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    ASSERT_TRUE(CloseHandle(thread));
    HANDLE newThread = CreateThread(nullptr, 0, ReturnParameter, reinterpret_cast<LPVOID>(9),
                                    CREATE_SUSPENDED, nullptr);
    DWORD code = 0;
    SetLastError(0);
    EXPECT_FALSE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(ResumeThread(thread), 0xFFFFFFFFu);
    EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_ERROR_RETURN);
    EXPECT_FALSE(SetThreadPriority(thread, THREAD_PRIORITY_HIGHEST));
    EXPECT_EQ(WaitForSingleObject(newThread, 0), WAIT_TIMEOUT);  // still suspended
    EXPECT_EQ(ResumeThread(newThread), 1u);
    EXPECT_EQ(WaitForSingleObject(newThread, 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeThread(newThread, &code));
    EXPECT_EQ(code, 9u);
    CloseHandle(newThread);
}

TEST(KernelHandles, ValuesThatWereNeverHandlesAreRefused) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    auto value = reinterpret_cast<uintptr_t>(event);
    const uintptr_t bogus[] = {0x1234, value + 1, value ^ (uintptr_t{1} << 40), ~uintptr_t{0} - 5};
    for (uintptr_t made : bogus) {
        SCOPED_TRACE(made);
        SetLastError(0);
        EXPECT_FALSE(SetEvent(reinterpret_cast<HANDLE>(made)));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        EXPECT_FALSE(CloseHandle(reinterpret_cast<HANDLE>(made)));
    }
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(event));
}

}  // namespace

namespace {

struct TwoEvents {
    HANDLE events[2];
    BOOL waitAll;
};

DWORD WaitOnBoth(LPVOID parameter) {
    auto* pair = static_cast<TwoEvents*>(parameter);
    return WaitForMultipleObjects(2, pair->events, pair->waitAll, 10000);
}

// A blocked wait on several objects must hear each of them, whichever comes
// first and however they arrive.
TEST(KernelWaits, BlockedWaitOnSeveralObjectsWakesForEach) {
    for (BOOL waitAll : {FALSE, TRUE}) {
        TwoEvents pair{{CreateEventA(nullptr, TRUE, FALSE, nullptr),
                        CreateEventA(nullptr, TRUE, FALSE, nullptr)},
                       waitAll};
        HANDLE waiter = CreateThread(nullptr, 0, WaitOnBoth, &pair, 0, nullptr);
        Sleep(20);
        SetEvent(pair.events[1]);
        if (waitAll) {
            EXPECT_EQ(WaitForSingleObject(waiter, 30), WAIT_TIMEOUT);
            SetEvent(pair.events[0]);
        }
        ASSERT_EQ(WaitForSingleObject(waiter, 10000), WAIT_OBJECT_0);
        DWORD code = 0;
        GetExitCodeThread(waiter, &code);
        EXPECT_EQ(code, waitAll ? WAIT_OBJECT_0 : WAIT_OBJECT_0 + 1);
        CloseHandle(waiter);
        CloseHandle(pair.events[0]);
        CloseHandle(pair.events[1]);
    }
}

}  // namespace
