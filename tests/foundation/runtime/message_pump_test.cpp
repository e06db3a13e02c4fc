// The frame pump: how many messages one frame takes, the end of the program,
// the wait while the window is inactive, and the clocks.
#include <time.h>

#include <atomic>
#include <thread>

#include "foundation/runtime/system_state.h"
#include "graphics/images/image_records.h"
#include "graphics/targets/draw_targets.h"
#include "platform/kernel.h"
#include "platform/winmm.h"
#include "tests/foundation/runtime/library_test_support.h"

using namespace tessel;
using tessel_test::LibraryTest;

namespace {

constexpr UINT kProbe = WM_USER + 40;

// The probe messages still queued, taken from the queue.
int TakeProbes() {
    MSG msg;
    int count = 0;
    while (PeekMessageA(&msg, nullptr, kProbe, kProbe + 10, PM_REMOVE)) {
        ++count;
    }
    return count;
}

double ThreadCpuSeconds() {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace

TEST_F(LibraryTest, ActiveWindowTakesAtMostFiveMessagesPerFrame) {
    ASSERT_EQ(StartLibrary(), 0);
    DrainMessages();
    ASSERT_EQ(IsMainWindowActive(), 1);
    for (UINT i = 0; i < 6; ++i) {
        PostMessageA(GetMainWindow(), kProbe + i, 0, 0);
    }
    EXPECT_EQ(PumpMessages(), 0);
    MSG left;
    ASSERT_TRUE(PeekMessageA(&left, nullptr, kProbe, kProbe + 10, PM_NOREMOVE));
    EXPECT_EQ(left.message, kProbe + 5) << "the sixth waits for the next frame";
    EXPECT_EQ(TakeProbes(), 1);

    for (UINT i = 0; i < 6; ++i) {
        PostMessageA(GetMainWindow(), kProbe + i, 0, 0);
    }
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_EQ(TakeProbes(), 0);
}

TEST_F(LibraryTest, ClosingTheWindowEndsTheFrameLoop) {
    ASSERT_EQ(StartLibrary(), 0);
    DrainMessages();
    PostMessageA(GetMainWindow(), WM_CLOSE, 0, 0);
    EXPECT_EQ(PumpMessages(), -1);
    EXPECT_EQ(IsQuitRequested(), 1);
    EXPECT_EQ(PumpMessages(), -1) << "and every frame after it";
    EXPECT_EQ(g_system.ending, 4);
    EXPECT_EQ(IsCloseRequested(), 0) << "the user closed it, not the library";
    EXPECT_EQ(EndLibrary(), 0);
    std::string log = Log();
    EXPECT_NE(
        log.find("T:ウインドウを閉じようとしています\r\nT:ウインドウが破棄されようとしています\r\n"
                 "T:ソフトを終了する準備が整いました\r\n"),
        std::string::npos)
        << log;
}

TEST_F(LibraryTest, MessageAfterQuitIsTakenButNotDispatched) {
    ASSERT_EQ(StartLibrary(), 0);
    DrainMessages();
    // An inactive window keeps the frame in its loop, which therefore meets the
    // close behind the quit: taken from the queue, it never reaches the window.
    HWND window = GetMainWindow();
    PostMessageA(window, WM_ACTIVATEAPP, FALSE, 0);
    PostThreadMessageA(GetCurrentThreadId(), WM_QUIT, 0, 0);
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(PumpMessages(), -1);
    EXPECT_TRUE(IsWindow(window));
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_CLOSE, WM_CLOSE, PM_NOREMOVE));
    EXPECT_EQ(PumpMessages(), -1);
}

TEST_F(LibraryTest, InactiveWindowWaitsWithoutSpinning) {
    ASSERT_EQ(StartLibrary(), 0);
    // Start-up leaves the front screen selected, whose refresh timer presents
    // on its own, inactive or not; a program drawing frames selects the back.
    tessel::SelectDrawTarget(tessel::kBackScreen);
    DrainMessages();
    HWND window = GetMainWindow();
    PostMessageA(window, WM_ACTIVATEAPP, FALSE, 0);

    // Another thread brings the window back after a while; until then the
    // frame does not return. Losing focus repaints the last frame once, which
    // a sanitizer build pays for in tens of milliseconds: the wait is long
    // enough that only spinning could reach the bound.
    std::atomic<bool> reactivated{false};
    std::thread other([window, &reactivated] {
        Sleep(1000);
        reactivated = true;
        PostMessageA(window, WM_ACTIVATEAPP, TRUE, 0);
    });
    double cpuBefore = ThreadCpuSeconds();
    DWORD wallBefore = timeGetTime();
    EXPECT_EQ(PumpMessages(), 0);
    double cpu = ThreadCpuSeconds() - cpuBefore;
    double wall = (timeGetTime() - wallBefore) / 1000.0;
    other.join();

    EXPECT_TRUE(reactivated.load()) << "the frame returned while the window was inactive";
    EXPECT_EQ(IsMainWindowActive(), 1);
    EXPECT_LT(cpu, wall * 0.3) << "cpu " << cpu << " s over " << wall << " s";
}

TEST_F(LibraryTest, RunWhenInactiveKeepsFramesGoing) {
    SetRunWhenInactive(1);
    ASSERT_EQ(StartLibrary(), 0);
    DrainMessages();
    PostMessageA(GetMainWindow(), WM_ACTIVATEAPP, FALSE, 0);
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_EQ(IsMainWindowActive(), 0);
    EXPECT_EQ(PumpMessages(), 0) << "returns without waiting for activation";
    WaitWhileInactive();  // window mode with run-when-inactive: does not wait
    SetRunWhenInactive(0);
}

TEST_F(LibraryTest, WaitWhileInactiveReturnsWhenTheProgramEnds) {
    ASSERT_EQ(StartLibrary(), 0);
    DrainMessages();
    HWND window = GetMainWindow();
    SendMessageA(window, WM_ACTIVATE, WA_INACTIVE, 0);
    ASSERT_EQ(IsMainWindowActive(), 0);
    std::thread other([window] {
        Sleep(50);
        PostMessageA(window, WM_CLOSE, 0, 0);
    });
    WaitWhileInactive();
    other.join();
    EXPECT_EQ(IsQuitRequested(), 1);
}

TEST_F(LibraryTest, PumpFromAnotherThreadMakesOnePass) {
    ASSERT_EQ(StartLibrary(), 0);
    DrainMessages();
    // A frame of another thread makes a single pass over that thread's own
    // queue, and returns.
    int result = 1;
    std::thread([&result] { result = PumpMessages(); }).join();
    EXPECT_EQ(result, 0);
}

TEST(Clocks, MillisecondClockNeverNegative) {
    for (int i = 0; i < 100; ++i) {
        EXPECT_GE(ReadMillisecondClock(), 0);
    }
    EXPECT_EQ(static_cast<DWORD>(ReadMillisecondClock()), timeGetTime() & 0x7FFFFFFFu);
}

TEST_F(LibraryTest, MicrosecondClockFollowsTheMillisecondClock) {
    for (int started = 0; started < 2; ++started) {
        SCOPED_TRACE(started);
        if (started != 0) {
            ASSERT_EQ(StartLibrary(), 0);
        }
        for (int useCounter = 0; useCounter < 2; ++useCounter) {
            // Millisecond readings on both sides of each microsecond reading
            // bound it however the thread is preempted between the calls.
            const DWORD outerBefore = timeGetTime();
            const uint64_t microBefore = ReadMicrosecondClock(useCounter);
            const DWORD innerBefore = timeGetTime();
            Sleep(20);
            const DWORD innerAfter = timeGetTime();
            const uint64_t micro = ReadMicrosecondClock(useCounter) - microBefore;
            const DWORD outerAfter = timeGetTime();
            // Allow the millisecond clock's step at each end. The time-stamp
            // scale is measured at start-up over 100 ms of the millisecond
            // clock, so a busy machine can skew it by a few percent; a fifth
            // still catches a wrong unit or scale.
            const bool calibrated = started != 0 && useCounter != 0;
            const uint64_t outer = (outerAfter - outerBefore + 2) * 1000ull;
            const uint64_t inner = (innerAfter - innerBefore) * 1000ull;
            const uint64_t skew = calibrated ? outer / 5 : 0;
            EXPECT_LE(micro, outer + skew);
            EXPECT_GE(micro + 2000 + skew, inner);
        }
    }
}

TEST(Clocks, LocalDateTimeIsADate) {
    int year = 0, month = 0, day = 0, hour = -1, minute = -1, second = -1;
    EXPECT_EQ(GetLocalDateTime(&year, &month, &day, &hour, &minute, &second), 0);
    EXPECT_GE(year, 2020);
    EXPECT_TRUE(month >= 1 && month <= 12);
    EXPECT_TRUE(day >= 1 && day <= 31);
    EXPECT_TRUE(hour >= 0 && hour <= 23);
    EXPECT_TRUE(minute >= 0 && minute <= 59);
    EXPECT_TRUE(second >= 0 && second <= 60);

    SYSTEMTIME local;
    GetLocalTime(&local);
    FILETIME utc;
    SYSTEMTIME utcNow;
    GetSystemTime(&utcNow);
    SystemTimeToFileTime(&utcNow, &utc);
    EXPECT_EQ(ConvertFileTimeToDateTime(&utc, &year, &month, &day, &hour, &minute, &second), 0);
    EXPECT_EQ(year, local.wYear);
    EXPECT_EQ(month, local.wMonth);
    EXPECT_EQ(day, local.wDay);
    EXPECT_EQ(hour, local.wHour);
    EXPECT_EQ(ConvertFileTimeToDateTime(nullptr, &year, &month, &day, &hour, &minute, &second), -1);
}
