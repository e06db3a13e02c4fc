// Library start-up and shutdown: the whole cycle twice in one process, the
// refusals (a 24-bit desktop, a second instance), the banner and the fatal exit.
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "foundation/runtime/system_state.h"
#include "platform/kernel.h"
#include "platform/window_testing.h"
#include "sound/system/sound_system.h"
#include "tests/foundation/runtime/library_test_support.h"
#include "tests/support/spawn_self.h"

using namespace tessel;
using tessel_test::LibraryTest;
using tessel_test::SpawnSelf;
using tessel_test::WaitExit;

namespace {

constexpr char kEmptyLeakReport[] =
    "T:Alloc memory dump\r\nT:\tTotal size:0(0.000kb)  Alloc num:0\r\nT:\r\n";

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string CurrentDirectory() {
    char* path = getcwd(nullptr, 0);
    std::string out = path != nullptr ? path : "";
    free(path);
    return out;
}

bool FileExists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

template <typename Condition>
bool WaitFor(Condition condition, int milliseconds) {
    for (int waited = 0; waited < milliseconds; waited += 5) {
        if (condition()) {
            return true;
        }
        Sleep(5);
    }
    return condition();
}

}  // namespace

TEST_F(LibraryTest, StartsAndEndsTwiceWithEmptyLeakReports) {
    EXPECT_EQ(EndLibrary(), 0) << "ending a library that never started";
    std::string startDirectory = CurrentDirectory();
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(StartLibrary(), 0);
        HWND window = GetMainWindow();
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(IsWindowVisible(window));
        EXPECT_EQ(IsMainWindowActive(), 1);
        EXPECT_EQ(IsQuitRequested(), 0);
        char title[64] = "";
        GetWindowTextA(window, title, sizeof(title));
        EXPECT_STREQ(title, "LibraryTest");
        RECT client;
        GetClientRect(window, &client);
        EXPECT_EQ(client.right - client.left, 640);
        EXPECT_EQ(client.bottom - client.top, 480);

        EXPECT_EQ(StartLibrary(), 0) << "a second start does nothing";
        EXPECT_EQ(GetMainWindow(), window);

        // Shutdown puts the start directory back as the current directory.
        ASSERT_EQ(chdir("/"), 0);
        EXPECT_EQ(EndLibrary(), 0);
        EXPECT_EQ(GetMainWindow(), nullptr);
        EXPECT_FALSE(IsWindow(window));
        EXPECT_EQ(CurrentDirectory(), startDirectory);

        std::string log = Log();
        EXPECT_NE(log.find("T:ウインドウの作成に成功しました\r\n"), std::string::npos) << log;
        EXPECT_NE(log.find("T:ＣＯＭを終了... 完了\r\n"), std::string::npos) << log;
        EXPECT_TRUE(EndsWith(log, kEmptyLeakReport)) << log;
    }
}

TEST_F(LibraryTest, SoundStartsAfterInputAndEndsBetweenInputAndTheWindow) {
    ASSERT_EQ(StartLibrary(), 0);
    EXPECT_EQ(RefreshMusicState(), 0) << "sound is up";
    EXPECT_EQ(EndLibrary(), 0);
    EXPECT_EQ(RefreshMusicState(), -1) << "sound is down";
    const std::string log = Log();
    const std::vector<std::string> inOrder = {
        "T:DirectInput 関連の初期化は正常に終了しました\r\n",
        "T:DirectSound の初期化を行います\r\n",
        "T:DirectSound の初期化は正常に終了しました\r\n",
        "T:Ｚバッファのフォーマットは",
        "T:DirectInput 関連の終了処理... 完了\r\n",
        "T:DirectSound の終了処理は正常に終了しました\r\n",
        "T:ウインドウを閉じようとしています\r\n",
    };
    size_t at = 0;
    for (const std::string& line : inOrder) {
        const size_t found = log.find(line, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << log;
        at = found + line.size();
    }
}

// The end stops the sound thread while the user looks at another window:
// it must not wait for the window to be activated again.
TEST_F(LibraryTest, EndFinishesWhileTheWindowIsInactive) {
    ASSERT_EQ(StartLibrary(), 0);
    HWND window = GetMainWindow();
    SendMessageA(window, WM_ACTIVATE, WA_INACTIVE, 0);
    ASSERT_EQ(IsMainWindowActive(), 0);
    std::atomic<bool> ended{false};
    std::atomic<bool> rescued{false};
    // Activates the window after a generous wait, so that a broken end
    // fails here instead of hanging.
    std::thread watchdog([&] {
        for (int i = 0; i < 10000 && !ended; ++i)
            Sleep(1);
        if (!ended) {
            rescued = true;
            PostMessageA(window, WM_ACTIVATEAPP, TRUE, 0);
        }
    });
    EXPECT_EQ(EndLibrary(), 0);
    ended = true;
    watchdog.join();
    EXPECT_FALSE(rescued) << "the end waited for the window's activation";
    EXPECT_TRUE(EndsWith(Log(), kEmptyLeakReport)) << Log();
}

TEST_F(LibraryTest, TwentyFourBitDesktopIsRefusedInWindowMode) {
    platform::DisplayMode desktop = {1024, 768, 24, 60};
    platform::SetDisplayModes(&desktop, 1, &desktop);
    EXPECT_EQ(StartLibrary(), -1);
    EXPECT_EQ(GetMainWindow(), nullptr);
    EXPECT_EQ(g_system.started, 0);
    EXPECT_EQ(g_system.starting, 0);
    EXPECT_NE(Log().find("T:Tesselは２４ビットカラーモードに対応していません\r\n"),
              std::string::npos)
        << Log();

    // Nothing was left half-started: a desktop of 32 bits starts.
    desktop.bitsPerPixel = 32;
    platform::SetDisplayModes(&desktop, 1, &desktop);
    EXPECT_EQ(StartLibrary(), 0);
    EXPECT_NE(GetMainWindow(), nullptr);
}

// The second process of SecondInstanceIsRefused: starts the library and keeps
// it running until the file it made is removed.
TEST(SecondInstanceHelper, KeepsTheLibraryRunning) {
    const char* space = std::getenv("TESSEL_STARTUP_HELPER_NAMESPACE");
    const char* ready = std::getenv("TESSEL_STARTUP_HELPER_READY");
    if (space == nullptr || ready == nullptr) {
        GTEST_SKIP() << "runs only as the second process of SecondInstanceIsRefused";
    }
    tessel_test::ScratchDirectory dir;
    platform::SetInstanceNamespace(space);
    ChangeWindowMode(1);
    SetWindowTitle("LibraryTest");
    ASSERT_EQ(StartLibrary(), 0);
    tessel_test::WriteWholeFile(ready, "running");
    WaitFor(
        [ready] {
            PumpMessages();
            return !FileExists(ready);
        },
        30000);
    EXPECT_EQ(EndLibrary(), 0);
}

TEST_F(LibraryTest, SecondInstanceIsRefused) {
    std::string ready = dir().Linux("helper-ready");
    pid_t helper = SpawnSelf("SecondInstanceHelper.KeepsTheLibraryRunning",
                             {"TESSEL_STARTUP_HELPER_NAMESPACE=" + tessel_test::ProcessNamespace(),
                              "TESSEL_STARTUP_HELPER_READY=" + ready});
    ASSERT_GT(helper, 0);
    ASSERT_TRUE(WaitFor([&ready] { return FileExists(ready); }, 30000));

    EXPECT_EQ(StartLibrary(), -1);
    EXPECT_EQ(GetMainWindow(), nullptr);
    EXPECT_EQ(IsQuitRequested(), 1);
    std::string log = Log();
    EXPECT_NE(log.find("ソフトの二重起動検査... 二重起動されています、ソフトを終了します\r\n"),
              std::string::npos)
        << log;
    EXPECT_TRUE(EndsWith(log, kEmptyLeakReport)) << "the failed start was taken down: " << log;

    std::remove(ready.c_str());
    EXPECT_EQ(WaitExit(helper), 0);
    // Once the first instance has ended, this one starts.
    EXPECT_EQ(StartLibrary(), 0);
    EXPECT_EQ(IsQuitRequested(), 0);
}

TEST_F(LibraryTest, BannerDescribesTheMachine) {
    ASSERT_EQ(StartLibrary(), 0);
    std::string log = Log();
    const char* const opening[] = {
        "T:システムの情報を出力します\r\n",
        "T:\tTessel Ver3.04\r\n",
        "T:\tＯＳ  Windows7 ( Build 7601 Service Pack 1 )\r\n",
    };
    size_t at = 0;
    for (const char* line : opening) {
        EXPECT_EQ(log.compare(at, std::string(line).size(), line), 0) << line << "\n" << log;
        at += std::string(line).size();
    }
    // Every 64-bit x86 processor has the time-stamp counter, MMX, SSE and SSE2.
    EXPECT_NE(log.find("T:\tＣＰＵ動作速度：大体"), std::string::npos) << log;
    EXPECT_NE(log.find("GHz\r\nT:\tＭＭＸ命令を使用します\r\nT:\tＳＳＥ命令が使用可能です\r\n"
                       "T:\tＳＳＥ２命令が使用可能です\r\n"),
              std::string::npos)
        << log;
    DWORD regs[4];
    CpuidQuery(0, regs);
    std::string vendor(reinterpret_cast<const char*>(&regs[1]), 4);
    vendor.append(reinterpret_cast<const char*>(&regs[3]), 4);
    vendor.append(reinterpret_cast<const char*>(&regs[2]), 4);
    EXPECT_NE(log.find("T:\tＣＰＵベンダ：" + vendor + "\r\n"), std::string::npos) << log;
    // The banner's indent ends with it.
    EXPECT_NE(log.find("\r\nT:ＣＯＭの初期化... 成功しました\r\n"), std::string::npos) << log;

    EXPECT_EQ(g_system.info.osCode, kOsWindows7);
    EXPECT_EQ(IsMmxSupported(), 1);
    EXPECT_EQ(g_system.info.hasSse2, 1);
    EXPECT_GT(g_system.info.cpuMhz, 0);

    // The measured rate matches the counter over 50 ms of the monotonic clock, within 2%, and
    // the megahertz figure is that rate.
    timespec start{};
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    const ULONGLONG before = ReadTimeStampCounter();
    usleep(50000);
    const ULONGLONG ticks = ReadTimeStampCounter() - before;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const double seconds = static_cast<double>(now.tv_sec - start.tv_sec) +
                           static_cast<double>(now.tv_nsec - start.tv_nsec) / 1e9;
    const double rate = static_cast<double>(ticks) / seconds;
    const double measured = static_cast<double>(g_system.info.timeStampTicksPerSecond);
    EXPECT_NEAR(measured / rate, 1.0, 0.02) << measured << " against " << rate;
    EXPECT_EQ(g_system.info.cpuMhz,
              static_cast<int32_t>(g_system.info.timeStampTicksPerSecond / 1000000));
}

// The second process of AbortEndsTheLibraryAndExitsWithMinusOne.
TEST(AbortHelper, StartsAndAborts) {
    const char* directory = std::getenv("TESSEL_ABORT_HELPER_DIRECTORY");
    if (directory == nullptr) {
        GTEST_SKIP() << "runs only as the second process of AbortEndsTheLibrary...";
    }
    ASSERT_EQ(chdir(directory), 0);
    platform::SetInstanceNamespace(std::getenv("TESSEL_ABORT_HELPER_NAMESPACE"));
    ChangeWindowMode(1);
    ASSERT_EQ(StartLibrary(), 0);
    AbortWithLogFormat("fatal %d", 7);
}

TEST_F(LibraryTest, AbortEndsTheLibraryAndExitsWithMinusOne) {
    pid_t helper = SpawnSelf("AbortHelper.StartsAndAborts",
                             {"TESSEL_ABORT_HELPER_DIRECTORY=" + dir().path(),
                              "TESSEL_ABORT_HELPER_NAMESPACE=" + tessel_test::ProcessNamespace()});
    ASSERT_GT(helper, 0);
    EXPECT_EQ(WaitExit(helper), 255);
    std::string log = Log();
    EXPECT_NE(log.find("T:fatal 7\r\nT:DirectInput 関連の終了処理... 完了\r\n"
                       "T:DirectSound の終了処理は正常に終了しました\r\n"
                       "T:ウインドウを閉じようとしています\r\n"),
              std::string::npos)
        << log;
    EXPECT_TRUE(EndsWith(log, kEmptyLeakReport)) << log;
}
