// The public-call lock: recursive per thread, first come first served, and
// torn down only when nobody needs it.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "foundation/runtime/public_call_lock.h"
#include "platform/kernel.h"

using namespace tessel;

namespace {

bool WaitForQueue(int count) {
    for (int waited = 0; waited < 10000; ++waited) {
        if (PublicCallWaitingCount() == count) {
            return true;
        }
        Sleep(1);
    }
    return false;
}

}  // namespace

TEST(PublicCallLock, WaitingThreadsEnterInTheOrderTheyArrived) {
    constexpr int kThreads = 6;
    LockPublicCall();
    std::mutex orderLock;
    std::vector<int> order;
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([i, &order, &orderLock] {
            LockPublicCall();
            {
                std::lock_guard<std::mutex> guard(orderLock);
                order.push_back(i);
            }
            UnlockPublicCall();
        });
        // Each one queues before the next is started.
        ASSERT_TRUE(WaitForQueue(i + 1));
    }
    UnlockPublicCall();
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(PublicCallWaitingCount(), 0);
}

TEST(PublicCallLock, FreeLockWithWaitersGoesToTheFirstInLine) {
    // A thread that arrives while others wait queues behind them even when it
    // finds the lock released for a moment: the holder itself, here.
    LockPublicCall();
    std::vector<int> order;
    std::mutex orderLock;
    std::thread first([&order, &orderLock] {
        LockPublicCall();
        std::lock_guard<std::mutex> guard(orderLock);
        order.push_back(1);
        UnlockPublicCall();
    });
    ASSERT_TRUE(WaitForQueue(1));
    UnlockPublicCall();
    LockPublicCall();
    {
        std::lock_guard<std::mutex> guard(orderLock);
        order.push_back(2);
    }
    UnlockPublicCall();
    first.join();
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(PublicCallLock, HolderTakesItAgain) {
    LockPublicCall();
    LockPublicCall();
    UnlockPublicCall();
    // Still held after one release: another thread has to wait.
    std::atomic<bool> entered{false};
    std::thread other([&entered] {
        LockPublicCall();
        entered = true;
        UnlockPublicCall();
    });
    ASSERT_TRUE(WaitForQueue(1));
    EXPECT_FALSE(entered.load());
    UnlockPublicCall();
    other.join();
    EXPECT_TRUE(entered.load());
}

TEST(PublicCallLock, TearDownWaitsUntilNobodyNeedsTheLock) {
    LockPublicCall();
    std::atomic<bool> release{false};
    std::thread other([&release] {
        LockPublicCall();
        while (!release.load()) {
            Sleep(1);
        }
        UnlockPublicCall();
    });
    ASSERT_TRUE(WaitForQueue(1));
    EXPECT_EQ(TearDownPublicCallLock(), 0) << "held, and a thread waits";
    UnlockPublicCall();
    // The waiter has been woken but may not have taken the lock yet; either
    // way the lock is still needed.
    EXPECT_EQ(TearDownPublicCallLock(), 0);
    release = true;
    other.join();
    EXPECT_EQ(TearDownPublicCallLock(), 1);
    EXPECT_EQ(TearDownPublicCallLock(), 0) << "already gone";
    // The next use makes it again.
    LockPublicCall();
    UnlockPublicCall();
    EXPECT_EQ(TearDownPublicCallLock(), 1);
}
