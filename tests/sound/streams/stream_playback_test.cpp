// Playing stream sounds on a test-mode device: the position heard across a
// loop point, a loop played seamlessly through the sound thread's pass, a
// shared ring, the sources a sound takes and refuses, halting, playing from
// the top and moving to an offset.
#include <gtest/gtest.h>

#include <string>

#include "foundation/memory/memory.h"
#include "sound/system/sound_thread.h"
#include "tests/foundation/files/files_test_support.h"
#include "tests/sound/streams/stream_fixture.h"

namespace {

using namespace streamtest;
using tessel::GetStreamPositionMs;
using tessel::IsStreamPlaying;
using tessel::RefillStreamSound;
using tessel::StartStreamPlayback;

void SetLoopStart(tessel::SoundRecord* record, int32_t samples) {
    record->sources[0].loopCount = 255;
    record->sources[0].loopStart = samples;
    record->sources[0].loopStartBytes = int64_t{samples} * record->format.nBlockAlign;
}

int64_t PlayedAt(int handle, DWORD cursor) {
    tessel::SoundRecord* record = tessel::SoundRecordFromHandle(handle);
    EXPECT_EQ(record->buffers[0].buffer->SetCurrentPosition(cursor), DS_OK);
    GetStreamPositionMs(handle);
    return tessel::SoundRecordFromHandle(handle)->playedBytes;
}

// One second with its loop start at half a second: the writer wraps at ring
// position 0; the position heard jumps back to the loop start exactly when
// the play cursor reaches it, whether it stops there or goes past it.
TEST_F(StreamTest, TheLoopPointTakesThePositionBackWhenTheCursorPassesTheWrap) {
    std::vector<uint8_t> pcm = Ramp16(44100, 2);
    const int handle = MakeStream(Wav(2, 44100, 16, pcm));
    ASSERT_NE(handle, -1);
    SetLoopStart(Record(handle), 22050);
    ASSERT_EQ(StartStreamPlayback(handle, 3, 0), 0);
    for (DWORD cursor : {4u, 22048u, 44096u}) {
        SetCursor(handle, cursor);
        ASSERT_EQ(RefillStreamSound(handle), 0);
    }
    // The last top-up took the source's last 4 bytes, then the loop section.
    ASSERT_EQ(Record(handle)->writeCursor, 22044);
    EXPECT_EQ(RingBytes(handle, 176396, 4), Slice(pcm, 176396, 4));
    EXPECT_EQ(RingBytes(handle, 0, 22044), Slice(pcm, 88200, 22044));
    ASSERT_EQ(Record(handle)->wrapCount, 1);

    EXPECT_EQ(PlayedAt(handle, 176392), 176392);
    EXPECT_EQ(PlayedAt(handle, 176396), 176396);
    EXPECT_EQ(GetStreamPositionMs(handle), 999);
    EXPECT_EQ(PlayedAt(handle, 0), 88200);
    EXPECT_EQ(GetStreamPositionMs(handle), 500);
    EXPECT_EQ(PlayedAt(handle, 400), 88600);
    EXPECT_EQ(Record(handle)->wrapCount, 0);

    // The same jump taken in one step past the wrap.
    ASSERT_EQ(StartStreamPlayback(handle, 3, 1), 0);
    for (DWORD cursor : {4u, 22048u, 44096u}) {
        SetCursor(handle, cursor);
        ASSERT_EQ(RefillStreamSound(handle), 0);
    }
    EXPECT_EQ(PlayedAt(handle, 176000), 176000);
    EXPECT_EQ(PlayedAt(handle, 1000), 89200);
}

// A 0.3 s sound looping over its last 0.1 s (and over its last 20 ms, shorter
// than the thread's pass), mixed for ten seconds with one pass of the sound
// thread every 30 ms of sound: the mix is the sound and then its loop section
// over and over, sample for sample, no frame is played before it was
// written, and the position heard follows every wrap.
TEST_F(StreamTest, AShortLoopPlaysSeamlesslyForTenSeconds) {
    const int frames = 13230;
    std::vector<uint8_t> pcm = Ramp16(frames, 2);
    std::vector<int16_t> samples = sound_test::AsSamples(pcm);
    for (const int section : {4410, 882}) {
        SCOPED_TRACE(section);
        const int loopStart = frames - section;
        const int handle = MakeStream(Wav(2, 44100, 16, pcm));
        ASSERT_NE(handle, -1);
        SetLoopStart(Record(handle), loopStart);
        ASSERT_EQ(StartStreamPlayback(handle, 3, 0), 0);
        const int passes = 334;
        const int step = 1323;
        for (int pass = 0; pass < passes; ++pass) {
            std::vector<int16_t> out = Mix(step);
            for (int i = 0; i < step; ++i) {
                const int heard = pass * step + i;
                const int frame =
                    heard < frames ? heard : loopStart + (heard - loopStart) % section;
                ASSERT_EQ(out[2 * i], samples[2 * frame]) << heard;
                ASSERT_EQ(out[2 * i + 1], samples[2 * frame + 1]) << heard;
            }
            tessel::RunSoundThreadPass();
            const int heard = (pass + 1) * step;
            const int frame = heard < frames ? heard : loopStart + (heard - loopStart) % section;
            ASSERT_EQ(Record(handle)->playedBytes, int64_t{frame} * 4) << pass;
        }
        EXPECT_EQ(platform::GetDirectSoundUnderrunFrames(real), 0);
        ASSERT_EQ(tessel::DeleteSoundHandle(handle), 0);
    }
}

// Two sounds of one format through one ring: starting the second halts the
// first, which writes nothing while the ring is the other's.
TEST_F(StreamTest, ASharedRingPlaysOneSoundAtATime) {
    std::vector<uint8_t> first = Ramp16(44100, 2);
    std::vector<uint8_t> second = Ramp16(44100, 2);
    for (size_t i = 0; i < second.size(); ++i)
        second[i] = static_cast<uint8_t>(second[i] ^ 0x5A);
    const int a = MakeStream(Wav(2, 44100, 16, first));
    const int b = MakeStream(Wav(2, 44100, 16, second), 0, a);
    ASSERT_NE(a, -1);
    ASSERT_NE(b, -1);
    EXPECT_EQ(proxy->createBytes.size(), 1u);
    EXPECT_EQ(Record(b)->sharedOwner, a);
    EXPECT_EQ(Record(a)->sharerCount, 1);

    ASSERT_EQ(StartStreamPlayback(a, 1, 0), 0);
    EXPECT_EQ(IsStreamPlaying(a), 1);
    EXPECT_EQ(IsStreamPlaying(b), 0);
    EXPECT_EQ(RingBytes(a, 0, 132300), Slice(first, 0, 132300));

    SetCursor(a, 40000);
    ASSERT_EQ(StartStreamPlayback(b, 1, 0), 0);
    EXPECT_EQ(Record(a)->playedBytes, 40000);  // halted where it was heard
    EXPECT_EQ(IsStreamPlaying(a), 0);
    EXPECT_EQ(IsStreamPlaying(b), 1);
    EXPECT_EQ(Record(a)->currentUser, b);
    EXPECT_EQ(RingBytes(b, 0, 132300), Slice(second, 0, 132300));
    SetCursor(b, 40000);
    EXPECT_EQ(RefillStreamSound(a), 0);
    EXPECT_EQ(Record(a)->writeCursor, 132300);  // the first sound's own count, unchanged
    EXPECT_EQ(RingBytes(b, 132300, 22048), std::vector<uint8_t>(22048, 0)) << "nothing written";
    tessel::RunSoundThreadPass();
    EXPECT_EQ(RingBytes(b, 132300, 22048), Slice(second, 132300, 22048));
    EXPECT_EQ(Record(b)->writeCursor, 154348);

    // A different format makes its own ring.
    const int c = MakeStream(Wav(1, 22050, 8, Ramp8(22050)), 0, a);
    ASSERT_NE(c, -1);
    EXPECT_EQ(Record(c)->sharedOwner, -1);
    EXPECT_EQ(proxy->createBytes.size(), 2u);

    // Deleting the sound the ring plays stops it.
    ASSERT_EQ(tessel::DeleteSoundHandle(b), 0);
    EXPECT_EQ(IsStreamPlaying(a), 0);
    EXPECT_EQ(Record(a)->sharerCount, 0);
    EXPECT_EQ(Record(a)->currentUser, -1);
}

// Sources are refused while the sound plays, past the third, in another
// format, on a memory sound and when no decoder takes them; each says why,
// and a refused source leaves nothing behind.
TEST_F(StreamTest, SourcesAreAddedUpToThreeAndRefusedWithTheirReason) {
    tessel_test::LogScope log;
    const uint32_t blocks = tessel::TrackedBlockCount();
    std::vector<uint8_t> wav = Wav(2, 44100, 16, Ramp16(4410, 2));
    const int handle = MakeStream(wav);
    ASSERT_NE(handle, -1);
    ASSERT_EQ(StartStreamPlayback(handle, 1, 0), 0);
    const auto add = [&](const std::vector<uint8_t>& image, int mode = 2) {
        return tessel::AddStreamSourceMemory(image.data(), static_cast<uint32_t>(image.size()), 0,
                                             handle, mode, -1);
    };
    EXPECT_EQ(add(wav), -1);
    ASSERT_EQ(tessel::HaltStreamPlayback(handle), 0);
    EXPECT_EQ(add(Wav(1, 44100, 16, Ramp16(100, 1))), -1);
    EXPECT_EQ(add(std::vector<uint8_t>(64, 7)), -1);
    EXPECT_EQ(add(wav, 0), 0);  // decoded whole into a WAV image
    EXPECT_EQ(add(wav, 3), 0);  // from memory, kept as the file image
    EXPECT_EQ(add(wav), -1);
    EXPECT_EQ(Record(handle)->sourceCount, 3);
    EXPECT_EQ(Record(handle)->totalSamples, 3 * 4410);
    EXPECT_EQ(Record(handle)->sources[1].kind, 0);
    EXPECT_EQ(Record(handle)->sources[2].kind, 2);

    const int memory = tessel::AddSoundData(-1);
    WAVEFORMATEX format = soundtest::Pcm(2, 16, 44100);
    ASSERT_EQ(tessel::CreateSoundBuffers(-1, &format, 400, 0, 1, memory), 0);
    EXPECT_EQ(tessel::AddStreamSourceMemory(wav.data(), static_cast<uint32_t>(wav.size()), 0,
                                            memory, 2, -1),
              -1);
    ASSERT_EQ(tessel::DeleteSoundHandle(memory), 0);
    ASSERT_EQ(tessel::DeleteSoundHandle(handle), 0);
    EXPECT_EQ(tessel::TrackedBlockCount(), blocks);

    const std::string text = log.Text();
    for (const char* line : {
             "既に再生中のストリームサウンドデータにデータを追加しようとしました\r\n",
             "フォーマットの違う音声データは同時に使うことは出来ません",
             "音声データのオープンに失敗しました",
             "ストリーム風サウンドの制御データ領域がいっぱいです\r\n",
             "ストリーム風サウンドではないサウンドデータが渡されました in AddSreamSound\r\n",
             "ＷＡＶファイルのストリームイメージのセットアップに失敗しました \r\n",
         }) {
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
}

// A file source read straight from the file keeps it open until the sound
// goes; one kept in memory closes it at once.
TEST_F(StreamTest, FileSourcesKeepTheirFileOnlyWhenTheyReadIt) {
    tessel_test::ScratchDirectory dir;
    std::vector<uint8_t> pcm = Ramp16(44100, 2);
    tessel_test::WriteWholeFile(dir.Linux("tune.wav"), Wav(2, 44100, 16, pcm));
    const uint32_t blocks = tessel::TrackedBlockCount();
    for (int mode : {3, 2, 0}) {
        SCOPED_TRACE(mode);
        const int handle = tessel::AddSoundData(-1);
        ASSERT_EQ(tessel::AddStreamSourceFile("tune.wav", 0, handle, mode, -1), 0);
        EXPECT_EQ(Record(handle)->sources[0].ownedStream != nullptr, mode == 3);
        ASSERT_EQ(StartStreamPlayback(handle, 1, 0), 0);
        EXPECT_EQ(RingBytes(handle, 0, 132300), Slice(pcm, 0, 132300));
        ASSERT_EQ(tessel::DeleteSoundHandle(handle), 0);
        EXPECT_EQ(tessel::TrackedBlockCount(), blocks);
    }
    tessel_test::LogScope log;
    const int handle = tessel::AddSoundData(-1);
    EXPECT_EQ(tessel::AddStreamSourceFile("missing.wav", 0, handle, 2, -1), -1);
    EXPECT_NE(log.Text().find("右記のＷＡＶファイルのロードに失敗しました：missing.wav \r\n"),
              std::string::npos);
}

// Halting keeps the place; playing again goes on from it, from the top starts
// over; an offset is a place to play from, refused past the end and with two
// sources.
TEST_F(StreamTest, HaltingKeepsThePlaceAndOffsetsMoveIt) {
    std::vector<uint8_t> pcm = Ramp16(88200, 2);  // 2 s
    const int handle = MakeStream(Wav(2, 44100, 16, pcm));
    ASSERT_NE(handle, -1);
    EXPECT_EQ(tessel::SetStreamPlayOffset(88200, handle), 0);
    EXPECT_EQ(GetStreamPositionMs(handle), 500);
    ASSERT_EQ(StartStreamPlayback(handle, 1, 0), 0);
    EXPECT_EQ(RingBytes(handle, 0, 132300), Slice(pcm, 88200, 132300));

    SetCursor(handle, 8000);
    ASSERT_EQ(RefillStreamSound(handle), 0);
    ASSERT_EQ(tessel::HaltStreamPlayback(handle), 0);
    EXPECT_EQ(IsStreamPlaying(handle), 0);
    EXPECT_EQ(Record(handle)->playing, 1);
    ASSERT_EQ(StartStreamPlayback(handle, 1, 0), 0);  // on from where it was
    EXPECT_EQ(PlayCursor(handle), 8000u);
    EXPECT_EQ(Record(handle)->writeCursor, 154348);
    EXPECT_EQ(Record(handle)->playedBytes, 88200 + 8000);

    ASSERT_EQ(StartStreamPlayback(handle, 1, 1), 0);  // from the top
    EXPECT_EQ(PlayCursor(handle), 0u);
    EXPECT_EQ(Record(handle)->writeCursor, 132300);
    EXPECT_EQ(Record(handle)->playedBytes, 0);
    EXPECT_EQ(RingBytes(handle, 0, 132300), Slice(pcm, 0, 132300));

    // Moved while it plays, it plays on from the new place.
    EXPECT_EQ(tessel::SetStreamPlayOffset(176400, handle), 0);
    EXPECT_EQ(IsStreamPlaying(handle), 1);
    EXPECT_EQ(RingBytes(handle, 0, 132300), Slice(pcm, 176400, 132300));
    EXPECT_EQ(GetStreamPositionMs(handle), 1000);

    EXPECT_EQ(tessel::SetStreamPlayOffset(352800, handle), 0);
    EXPECT_EQ(tessel::SetStreamPlayOffset(352804, handle), -1);
    EXPECT_EQ(tessel::SetStreamPlayOffset(-4, handle), -1);
    ASSERT_EQ(tessel::HaltStreamPlayback(handle), 0);
    std::vector<uint8_t> wav = Wav(2, 44100, 16, pcm);
    ASSERT_EQ(tessel::AddStreamSourceMemory(wav.data(), static_cast<uint32_t>(wav.size()), 0,
                                            handle, 2, -1),
              0);
    EXPECT_EQ(tessel::SetStreamPlayOffset(0, handle), -1);
}

}  // namespace
