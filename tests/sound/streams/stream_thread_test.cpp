// The sound thread keeping a stream fed on the dummy audio driver, where the
// device's own thread mixes in real time: a stream many times its one-second
// ring plays to its end without the mixer ever playing a frame the refill had
// not written. Fifteen seconds wrap the ring fifteen times and take some five
// hundred refill passes against the device's own pace; a longer stream would
// only repeat them in real time.
#include <gtest/gtest.h>

#include "foundation/files/streams.h"
#include "foundation/runtime/system_state.h"
#include "platform/dsound_testing.h"
#include "platform/kernel.h"
#include "sound/handles/sound_table.h"
#include "sound/sound_system_internal.h"
#include "sound/sound_testing.h"
#include "sound/streams/stream_sound.h"
#include "sound/system/sound_system.h"
#include "tests/sound/streams/stream_fixture.h"

namespace {

using namespace tessel;

// Waits (generously) until `done` holds; false on time-out.
template <class Condition>
bool WaitFor(Condition done, DWORD limitMs) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > limitMs)
            return false;
        Sleep(5);
    }
    return true;
}

TEST(StreamThread, FifteenRingsOfSoundPlayToTheirEndWithoutUnderrun) {
    constexpr int kSeconds = 15;
    platform::SetDirectSoundTestMode(false);
    ASSERT_EQ(StartSoundSystem(), 0);
    ASSERT_NE(g_soundSystem.sound, nullptr);
    std::vector<uint8_t> wav =
        streamtest::Wav(2, 44100, 16, streamtest::Ramp16(44100 * kSeconds, 2));
    MemoryStream* memory = OpenMemoryStream(wav.data(), static_cast<uint32_t>(wav.size()));
    ASSERT_NE(memory, nullptr);
    InputStream stream = {};
    InitInputStream(&stream, GetMemoryStreamOps(), StreamHandleOf(memory));
    const int handle = AddSoundData(-1);
    int owns = -1;
    ASSERT_EQ(AddSreamSound(&stream, 0, handle, kSourceOwnStream, &owns, -1), 0);
    EXPECT_EQ(owns, 0);
    ASSERT_EQ(StartStreamPlayback(handle, 1, 0), 0);
    EXPECT_TRUE(WaitFor([&] { return GetStreamPositionMs(handle) >= 1000; }, 30000));
    EXPECT_TRUE(WaitFor([&] { return IsStreamPlaying(handle) == 0; }, 240000));
    LockSound();  // the thread writes these under the lock
    EXPECT_EQ(SoundRecordFromHandle(handle)->lastSourceReached, 1);
    EXPECT_EQ(SoundRecordFromHandle(handle)->playing, 0);
    UnlockSound();
    EXPECT_EQ(GetStreamPositionMs(handle), 0);
    EXPECT_EQ(platform::GetDirectSoundUnderrunFrames(g_soundSystem.sound), 0);
    EXPECT_GT(SoundThreadPasses(), kSeconds * 1000 / 30 / 2);
    EXPECT_EQ(DeleteSoundHandle(handle), 0);
    EXPECT_EQ(EndSoundSystem(), 0);
    CloseMemoryStream(StreamHandleOf(memory));
}

}  // namespace
