// The sound system's start and end on the dummy audio driver: the log lines
// in order, the silence buffer, the thread, failures at each start step, the
// end's join with the thread held inside its pass, and the capture file's
// header.
#include "sound/system/sound_system.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "foundation/memory/memory.h"
#include "foundation/runtime/system_state.h"
#include "platform/dsound_testing.h"
#include "platform/kernel.h"
#include "platform/kernel_testing.h"
#include "sound/handles/sound_table.h"
#include "sound/sound_system_internal.h"
#include "sound/sound_testing.h"
#include "tests/foundation/files/files_test_support.h"

namespace {

using namespace tessel;

bool WaitForPasses(long passes) {
    for (int i = 0; i < 20000; ++i) {
        if (SoundThreadPasses() >= passes)
            return true;
        Sleep(1);
    }
    return false;
}

// Each line must follow the one before it in the text.
void ExpectInOrder(const std::string& text, const std::vector<std::string>& lines) {
    size_t at = 0;
    for (const std::string& line : lines) {
        const size_t found = text.find(line, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line;
        at = found + line.size();
    }
}

class SoundSystemTest : public ::testing::Test {
  protected:
    void TearDown() override {
        SetSoundStartFailureForTest(kStartNoFailure);
        EndSoundSystem();
        g_system.quit = 0;
    }
};

TEST_F(SoundSystemTest, StartsAndEndsWithItsLogLinesAndLeavesNothingBehind) {
    const uint32_t blocks = TrackedBlockCount();
    tessel_test::LogScope log;
    ASSERT_EQ(StartSoundSystem(), 0);
    EXPECT_EQ(StartSoundSystem(), -1);
    EXPECT_TRUE(SilenceBufferPlaying());
    EXPECT_TRUE(WaitForPasses(2));
    EXPECT_EQ(RefreshMusicState(), 0);
    EXPECT_EQ(ReplayMusicMci(), 0);
    const int handle = AddSoundData(-1);
    EXPECT_NE(SoundRecordFromHandle(handle), nullptr);
    ASSERT_EQ(EndSoundSystem(), 0);
    EXPECT_EQ(EndSoundSystem(), -1);
    EXPECT_FALSE(SoundThreadRunning());
    EXPECT_EQ(TrackedBlockCount(), blocks);
    ExpectInOrder(log.Text(), {
                                  "DirectSound の初期化を行います\r\n",
                                  "DirectSound インターフェースの取得を行います....  成功\r\n",
                                  "引き続きインターフェースの初期化処理...  成功\r\n",
                                  "DirectSound デバイスを列挙します\r\n",
                                  "モジュール名:",
                                  "  ドライバ記述:",
                                  "最大サンプリングレート:",
                                  "KHz 最小サンプリングレート:",
                                  "総サウンドメモリ領域:0.00KB 空きサウンドメモリ領域:0.00KB \r\n",
                                  "利用可能サンプリング精度\r\n",
                                  " プライマリ １６bit = ",
                                  " セカンダリ １６bit = ",
                                  "利用可能チャンネル\r\n",
                                  " プライマリ MONO = ",
                                  " セカンダリ MONO = ",
                                  "DirectSound の初期化は正常に終了しました\r\n",
                                  "DirectSound の終了処理は正常に終了しました\r\n",
                              });
}

TEST_F(SoundSystemTest, AFailedDeviceStepLeavesSoundDown) {
    struct Case {
        SoundStartStep step;
        const char* message;
    };
    const Case cases[] = {
        {kStartCreateDevice, "DirectSoundインターフェースの作成に失敗しました\r\n"},
        {kStartInitialize, "初期化に失敗しました\r\n"},
        {kStartCooperativeLevel, "DirectSoundの協調レベルの設定に失敗しました\r\n"},
        {kStartPrimaryBuffer, "DirectSoundのプライマリサウンドバッファの作成に失敗しました\r\n"},
    };
    const uint32_t blocks = TrackedBlockCount();
    for (const Case& c : cases) {
        tessel_test::LogScope log;
        SetSoundStartFailureForTest(c.step);
        EXPECT_EQ(StartSoundSystem(), -1) << c.step;
        EXPECT_NE(log.Text().find(c.message), std::string::npos) << c.step;
        EXPECT_EQ(log.Text().find("正常に終了しました"), std::string::npos) << c.step;
        EXPECT_EQ(EndSoundSystem(), -1);
        EXPECT_EQ(DeleteAllSounds(), -1);
        EXPECT_EQ(RefreshMusicState(), -1);
        EXPECT_EQ(DeleteSoundHandle(0x10000000), -1);
        EXPECT_FALSE(SoundThreadRunning());
        EXPECT_EQ(TrackedBlockCount(), blocks);
    }
    SetSoundStartFailureForTest(kStartNoFailure);
    EXPECT_EQ(StartSoundSystem(), 0);
}

TEST_F(SoundSystemTest, ALaterStepOnlyLogsAndSoundStillStarts) {
    struct Case {
        SoundStartStep step;
        const char* message;
        bool silence;
    };
    const Case cases[] = {
        {kStartPrimaryFormat,
         "DirectSoundのプライマリサウンドバッファのフォーマット設定に失敗しました\r\n", true},
        {kStartSilenceBuffer, "無音バッファの作成に失敗しました", false},
        {kStartSilenceLock, "無音バッファのロックに失敗しました", false},
        {kStartDeviceLibrary, "DSOUND.DLL のロードに失敗しました\r\n", true},
        {kStartEnumerateEntry, "DirectSound デバイスの列挙用関数のポインタ取得に失敗しました\r\n",
         true},
    };
    const uint32_t blocks = TrackedBlockCount();
    for (const Case& c : cases) {
        tessel_test::LogScope log;
        SetSoundStartFailureForTest(c.step);
        ASSERT_EQ(StartSoundSystem(), 0) << c.step;
        EXPECT_EQ(SilenceBufferPlaying(), c.silence) << c.step;
        EXPECT_EQ(DeleteAllSounds(), 0);
        EXPECT_EQ(EndSoundSystem(), 0);
        EXPECT_NE(log.Text().find(c.message), std::string::npos) << c.step;
        EXPECT_NE(log.Text().find("DirectSound の初期化は正常に終了しました"), std::string::npos)
            << c.step;
        EXPECT_EQ(TrackedBlockCount(), blocks);
    }
}

HANDLE g_passRelease = nullptr;
std::atomic<bool> g_passHeld{false};

// Holds the sound thread inside its pass until the test releases it.
void HoldPass() {
    g_passHeld = true;
    WaitForSingleObject(g_passRelease, INFINITE);
}

template <typename Condition>
bool WaitFor(Condition condition) {
    for (int i = 0; i < 20000; ++i) {
        if (condition())
            return true;
        Sleep(1);
    }
    return false;
}

TEST_F(SoundSystemTest, EndJoinsTheThreadEvenWhenThePumpReportsQuit) {
    ASSERT_EQ(StartSoundSystem(), 0);
    g_passRelease = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_passHeld = false;
    SetSoundPassHookForTest(HoldPass);
    ASSERT_TRUE(WaitFor([] { return g_passHeld.load(); }));
    const HANDLE thread = g_soundSystem.thread;
    // The handshake's wait ends at once, the thread still inside its pass.
    g_system.quit = 1;
    std::atomic<bool> ended{false};
    std::thread end([&ended] {
        EndSoundSystem();
        ended = true;
    });
    // The end either waits for the thread or goes on to delete the lock and
    // the tables under it.
    EXPECT_TRUE(WaitFor([&] { return ended || platform::ThreadsWaitingFor(thread) > 0; }));
    EXPECT_FALSE(ended) << "the end went on while the sound thread was in its pass";
    EXPECT_TRUE(SoundThreadRunning());
    SetEvent(g_passRelease);
    end.join();
    EXPECT_FALSE(SoundThreadRunning());
    EXPECT_FALSE(SoundSystemUp());
    SetSoundPassHookForTest(nullptr);
    CloseHandle(g_passRelease);
}

TEST_F(SoundSystemTest, StartsAndEndsAHundredTimes) {
    // Without a device, so that the loop measures the system's own work.
    platform::SetDirectSoundTestMode(true);
    const uint32_t blocks = TrackedBlockCount();
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(StartSoundSystem(), 0) << i;
        AddSoundData(-1);
        ASSERT_EQ(EndSoundSystem(), 0) << i;
    }
    platform::SetDirectSoundTestMode(false);
    EXPECT_EQ(TrackedBlockCount(), blocks);
}

TEST_F(SoundSystemTest, CloseWaveCaptureWritesTheHeaderOverTheFileStart) {
    tessel_test::ScratchDirectory dir;
    EXPECT_EQ(CloseWaveCapture(), -1);
    ASSERT_EQ(OpenWaveCaptureForTest((dir.Windows() + "\\capture.wav").c_str(), 0x12345), 0);
    ASSERT_EQ(CloseWaveCapture(), 0);
    const std::string bytes = tessel_test::ReadWholeFile(dir.Linux("capture.wav"));
    const unsigned char expected[46] = {
        'R', 'I', 'F', 'F', 0x6B, 0x23, 0x01, 0x00, 'W',  'A',  'V',  'E',  'f',  'm',  't',  ' ',
        18,  0,   0,   0,   1,    0,    2,    0,    0x44, 0xAC, 0,    0,    0x10, 0xB1, 0x02, 0,
        4,   0,   16,  0,   0,    0,    'd',  'a',  't',  'a',  0x45, 0x23, 0x01, 0x00};
    ASSERT_EQ(bytes.size(), 46u);
    EXPECT_EQ(std::memcmp(bytes.data(), expected, 46), 0);
    EXPECT_EQ(CloseWaveCapture(), -1);
}

}  // namespace
