// Loading and playing sounds on a test-mode device: the load modes, the
// 180-second line between memory and stream sounds, buffer counts, buffers
// taken in turn, loop points (a memory sound rebuilt as a stream), positions,
// lengths, the wait of play type 0, and what failures say.
#include "sound/play/sound_calls.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/memory/memory.h"
#include "foundation/runtime/system_state.h"
#include "tests/foundation/files/files_test_support.h"
#include "tests/sound/streams/stream_fixture.h"

namespace {

using namespace streamtest;
using namespace tessel;

class SoundCallsTest : public StreamTest {
  protected:
    void TearDown() override {
        SetSoundLoadMode(kLoadWhole);
        g_system.quit = 0;
        StreamTest::TearDown();
    }
    static int Load(const std::vector<uint8_t>& wav, int buffers = 1) {
        return LoadSoundFromImage(wav.data(), static_cast<int>(wav.size()), buffers, -1);
    }
    static DWORD Cursor(int handle, int buffer) {
        DWORD play = 0;
        Record(handle)->buffers[buffer].buffer->GetCurrentPosition(&play, nullptr);
        return play;
    }
    static bool Plays(int handle, int buffer) {
        DWORD status = 0;
        Record(handle)->buffers[buffer].buffer->GetStatus(&status);
        return (status & DSBSTATUS_PLAYING) != 0;
    }
};

TEST_F(SoundCallsTest, TheLoadModeTakesZeroTwoAndThree) {
    EXPECT_EQ(GetSoundLoadMode(), 0);
    EXPECT_EQ(SetSoundLoadMode(3), 0);
    EXPECT_EQ(GetSoundLoadMode(), 3);
    EXPECT_EQ(SetSoundLoadMode(1), 0);
    EXPECT_EQ(GetSoundLoadMode(), 0);
    EXPECT_EQ(SetSoundLoadMode(2), 0);
    EXPECT_EQ(SetSoundLoadMode(4), -1);
    EXPECT_EQ(SetSoundLoadMode(-1), -1);
    EXPECT_EQ(GetSoundLoadMode(), 2);
}

// Whole seconds decide: 180.9 s stays in memory, 181 s is streamed, the load
// mode itself unchanged.
TEST_F(SoundCallsTest, SoundsPast180SecondsAreStreamed) {
    struct Case {
        int frames;
        int kind;
    };
    for (const Case& c : {Case{8000 * 1809 / 10, kMemorySound}, Case{8000 * 181, kStreamSound}}) {
        SCOPED_TRACE(c.frames);
        const int handle = Load(Wav(1, 8000, 8, Ramp8(c.frames)), 2);
        ASSERT_NE(handle, -1);
        EXPECT_EQ(Record(handle)->kind, c.kind);
        EXPECT_EQ(Record(handle)->bufferCount, c.kind == kMemorySound ? 2 : 1);
        EXPECT_EQ(GetSoundLengthSamples(handle), c.frames);
        EXPECT_EQ(GetSoundLengthMs(handle), int64_t{c.frames} * 1000 / 8000);
        EXPECT_EQ(GetSoundLoadMode(), 0);
        if (c.kind == kStreamSound) {
            EXPECT_EQ(Record(handle)->writeCursor, 6000);  // primed
        }
        ASSERT_EQ(DeleteSoundHandle(handle), 0);
    }
}

TEST_F(SoundCallsTest, BufferCountsStopAtTen) {
    tessel_test::ScratchDirectory dir;
    std::vector<uint8_t> pcm = Ramp16(441, 2);
    std::vector<uint8_t> wav = Wav(2, 44100, 16, pcm);
    tessel_test::WriteWholeFile(dir.Linux("shot.wav"), wav);
    const int handle = LoadSoundFile("shot.wav", 20, -1);
    ASSERT_NE(handle, -1);
    EXPECT_EQ(Record(handle)->bufferCount, 10);
    EXPECT_EQ(Record(handle)->frequency, 44100);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(RingBytes(handle, 0, 1764), pcm) << i;  // buffer 0 here; each below
    for (int i = 1; i < 10; ++i) {
        void* part1 = nullptr;
        DWORD size1 = 0;
        ASSERT_EQ(
            Record(handle)->buffers[i].buffer->Lock(0, 1764, &part1, &size1, nullptr, nullptr, 0),
            DS_OK);
        EXPECT_EQ(std::vector<uint8_t>(static_cast<uint8_t*>(part1),
                                       static_cast<uint8_t*>(part1) + size1),
                  pcm);
        Record(handle)->buffers[i].buffer->Unlock(part1, 0, nullptr, 0);
    }
    EXPECT_EQ(Load(wav, 11), -1);
    EXPECT_NE(Load(wav, 10), -1);
}

// Each play takes the next buffer; with all three playing, a play from the
// top restarts the first, and one that is not from the top leaves them be.
TEST_F(SoundCallsTest, PlaysTakeTheBuffersInTurn) {
    const int handle = Load(Wav(2, 44100, 16, Ramp16(44100, 2)), 3);
    ASSERT_NE(handle, -1);
    for (int play = 0; play < 3; ++play) {
        ASSERT_EQ(PlaySoundHandle(handle, kPlayOnce, 1), 0);
        EXPECT_EQ(Record(handle)->lastBuffer, play);
        EXPECT_TRUE(Plays(handle, play));
        Mix(1000);
    }
    EXPECT_EQ(Cursor(handle, 0), 3000u * 4);
    EXPECT_EQ(IsSoundPlaying(handle), 1);
    ASSERT_EQ(PlaySoundHandle(handle, kPlayOnce, 0), 0);
    EXPECT_EQ(Record(handle)->lastBuffer, 2);
    EXPECT_EQ(Cursor(handle, 0), 3000u * 4);
    ASSERT_EQ(PlaySoundHandle(handle, kPlayOnce, 1), 0);
    EXPECT_EQ(Record(handle)->lastBuffer, 0);
    EXPECT_EQ(Cursor(handle, 0), 0u);
    EXPECT_TRUE(Plays(handle, 0));

    ASSERT_EQ(StopSoundHandle(handle), 0);
    EXPECT_EQ(IsSoundPlaying(handle), 0);
    // Not from the top, the next buffer starts where the last one was.
    Record(handle)->buffers[0].buffer->SetCurrentPosition(4000);
    ASSERT_EQ(PlaySoundHandle(handle, kPlayLooping, 0), 0);
    EXPECT_EQ(Cursor(handle, 1), 4000u);
    DWORD status = 0;
    Record(handle)->buffers[1].buffer->GetStatus(&status);
    EXPECT_EQ(status, DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
    EXPECT_EQ(GetSoundPositionMs(handle), 1000 / 44);  // 1000 frames
    EXPECT_EQ(SetSoundPositionSamples(22050, handle), 0);
    EXPECT_EQ(GetSoundPositionMs(handle), 500);
}

// A loop point at or past the end is refused; one inside turns the memory
// sound into a stream sound under the same handle that loops there; -1
// clears it.
TEST_F(SoundCallsTest, LoopPointsMakeAStreamThatLoopsThere) {
    std::vector<uint8_t> pcm = Ramp16(4410, 2);
    const int handle = Load(Wav(2, 44100, 16, pcm), 3);
    ASSERT_NE(handle, -1);
    Record(handle)->volume = -300;
    EXPECT_EQ(SetLoopPointSamples(4410, handle), -1);
    EXPECT_EQ(SetLoopPointSamples(5000, handle), -1);
    EXPECT_EQ(Record(handle)->kind, kMemorySound);
    EXPECT_EQ(SetLoopPointMs(50, handle), 0);  // 2205 samples
    ASSERT_EQ(Record(handle)->kind, kStreamSound);
    EXPECT_EQ(Record(handle)->volume, -300);
    EXPECT_EQ(Record(handle)->sources[0].loopCount, 255);
    EXPECT_EQ(Record(handle)->sources[0].loopStartBytes, 2205 * 4);
    EXPECT_EQ(GetSoundLengthSamples(handle), 4410);

    ASSERT_EQ(PlaySoundHandle(handle, kPlayLooping, 0), 0);
    std::vector<uint8_t> ring = RingBytes(handle, 0, 132300);
    EXPECT_EQ(Slice(ring, 0, 17640), pcm);
    for (size_t at = 17640; at + 8820 <= ring.size(); at += 8820)
        ASSERT_EQ(Slice(ring, at, 8820), Slice(pcm, 8820, 8820)) << at;

    EXPECT_EQ(SetLoopPointSamples(-1, handle), 0);
    EXPECT_EQ(Record(handle)->sources[0].loopCount, 0);
    EXPECT_EQ(Record(handle)->sources[0].loopStartBytes, 0);
    EXPECT_EQ(SetLoopPointSamples(-2, handle), -1);
}

TEST_F(SoundCallsTest, StreamModesLoadFromTheFile) {
    tessel_test::ScratchDirectory dir;
    std::vector<uint8_t> pcm = Ramp16(44100, 2);
    tessel_test::WriteWholeFile(dir.Linux("tune.wav"), Wav(2, 44100, 16, pcm));
    for (int mode : {kLoadFileImage, kLoadFromFile}) {
        SCOPED_TRACE(mode);
        ASSERT_EQ(SetSoundLoadMode(mode), 0);
        const int handle = LoadSoundFile("tune.wav", 3, -1);
        ASSERT_NE(handle, -1);
        EXPECT_EQ(Record(handle)->kind, kStreamSound);
        EXPECT_EQ(Record(handle)->writeCursor, 132300);
        EXPECT_EQ(Record(handle)->sources[0].ownedStream != nullptr, mode == kLoadFromFile);
        EXPECT_EQ(RingBytes(handle, 0, 132300), Slice(pcm, 0, 132300));
        EXPECT_EQ(SetSoundPositionSamples(22050, handle), 0);
        EXPECT_EQ(GetSoundPositionMs(handle), 500);
        ASSERT_EQ(PlaySoundHandle(handle, kPlayOnce, 0), 0);
        EXPECT_EQ(IsSoundPlaying(handle), 1);
        EXPECT_EQ(RingBytes(handle, 0, 88200), Slice(pcm, 88200, 88200)) << "from there";
        ASSERT_EQ(StopSoundHandle(handle), 0);
        EXPECT_EQ(IsSoundPlaying(handle), 0);
    }
}

// Play type 0 waits while the sound plays, but not once the pump reports
// quit: the test-mode device never moves, so only the quit ends the wait.
TEST_F(SoundCallsTest, PlayAndWaitReturnsWhenThePumpReportsQuit) {
    const int memory = Load(Wav(2, 44100, 16, Ramp16(4410, 2)));
    ASSERT_NE(memory, -1);
    ASSERT_EQ(SetSoundLoadMode(kLoadFileImage), 0);
    const int stream = Load(Wav(2, 44100, 16, Ramp16(4410, 2)));
    ASSERT_NE(stream, -1);
    g_system.quit = 1;
    EXPECT_EQ(PlaySoundHandle(memory, kPlayAndWait, 0), 0);
    EXPECT_EQ(PlaySoundHandle(stream, kPlayAndWait, 0), 0);
    EXPECT_EQ(IsSoundPlaying(memory), 1);
    EXPECT_EQ(IsSoundPlaying(stream), 1);
}

TEST_F(SoundCallsTest, FailuresSayWhyAndLeaveNothing) {
    tessel_test::LogScope log;
    const uint32_t blocks = TrackedBlockCount();
    EXPECT_EQ(LoadSoundFile("missing.wav", 1, -1), -1);
    std::vector<uint8_t> junk(100, 9);
    EXPECT_EQ(LoadSoundFromImage(junk.data(), 100, 1, -1), -1);
    ASSERT_EQ(SetSoundLoadMode(kLoadFileImage), 0);
    EXPECT_EQ(LoadSoundFromImage(junk.data(), 100, 1, -1), -1);
    EXPECT_EQ(LoadSoundFile("missing.wav", 1, -1), -1);
    EXPECT_EQ(SoundsInUse(), 0);
    EXPECT_EQ(TrackedBlockCount(), blocks);
    EXPECT_EQ(PlaySoundHandle(12345, 1, 0), -1);
    EXPECT_EQ(IsSoundPlaying(12345), -1);
    EXPECT_EQ(GetSoundLengthSamples(12345), -1);
    const std::string text = log.Text();
    for (const char* line : {
             "右記のファイルのオープンに失敗しました：missing.wav",
             "右記の音声ファイルのロードに失敗しました_1：missing.wav",
             "音声ファイルのＰＣＭへの変換に失敗しました",
             "右記のＷＡＶファイルのロードに失敗しました：missing.wav \r\n",
             "ＷＡＶファイルのストリームイメージのセットアップに失敗しました \r\n",
         }) {
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
}

}  // namespace
