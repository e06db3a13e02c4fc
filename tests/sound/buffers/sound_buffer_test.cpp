// Sound buffers: the operations over one device buffer, ring sizes, and how
// CreateSoundBuffers makes, duplicates, falls back and gives up.
#include "sound/buffers/sound_buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/base/list.h"
#include "platform/dsound_testing.h"
#include "sound/handles/sound_table.h"
#include "sound/sound_fixture.h"

namespace {

using soundtest::Pcm;
using soundtest::SoundTest;
using namespace tessel;

class SoundBufferTest : public SoundTest {
  protected:
    void TearDown() override {
        SetSoundAbortHookForTest(nullptr);
        SoundTest::TearDown();
    }
};

TEST(StreamRingBytesTest, OneSecondInWholeBlocks) {
    struct Case {
        WAVEFORMATEX format;
        DWORD bytes;
    };
    WAVEFORMATEX ragged = Pcm(2, 16, 11025);
    ragged.nAvgBytesPerSec = 44102;  // not whole blocks: rounds up
    WAVEFORMATEX high = Pcm(2, 16, 11025);
    high.nAvgBytesPerSec = 0x01000000 + 4000;  // only the low 24 bits count
    const Case cases[] = {
        {Pcm(1, 8, 22050), 22050},
        {Pcm(2, 16, 44100), 176400},
        {ragged, 44104},
        {high, 4000},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StreamRingBytes(c.format), c.bytes) << c.format.nAvgBytesPerSec;
    }
}

TEST_F(SoundBufferTest, OperationsOnAnInvalidBufferFailAndChangeNothing) {
    SoundBuffer buffer = {};
    DWORD status = 0;
    void* part = nullptr;
    DWORD size = 0;
    EXPECT_EQ(SoundBufferRelease(&buffer), -1);
    EXPECT_EQ(SoundBufferPlay(&buffer, 0), -1);
    EXPECT_EQ(SoundBufferStop(&buffer), -1);
    EXPECT_EQ(SoundBufferStatus(&buffer, &status), -1);
    EXPECT_EQ(SoundBufferSetPosition(&buffer, 0), -1);
    EXPECT_EQ(SoundBufferSetVolume(&buffer, 0), -1);
    EXPECT_EQ(SoundBufferSetPan(&buffer, 0), -1);
    EXPECT_EQ(SoundBufferSetFrequency(&buffer, 0), -1);
    EXPECT_EQ(SoundBufferLock(0, 4, &buffer, &part, &size, &part, &size), -1);
    EXPECT_EQ(SoundBufferUnlock(&buffer, nullptr, 0, nullptr, 0), -1);
    EXPECT_EQ(buffer.valid, 0);
    EXPECT_EQ(buffer.buffer, nullptr);
}

TEST_F(SoundBufferTest, ABufferPlaysLocksAcrossItsEndAndReleasesOnce) {
    WAVEFORMATEX format = Pcm(2, 16, 44100);
    DSBUFFERDESC description = {sizeof(DSBUFFERDESC), kMemoryBufferFlags, 400, 0, &format, {}};
    SoundBuffer buffer = {};
    ASSERT_EQ(SoundBufferCreate(&buffer, &description), 0);
    EXPECT_EQ(SoundBufferCreate(&buffer, &description), -1);  // already valid

    void* part1 = nullptr;
    void* part2 = nullptr;
    DWORD size1 = 0;
    DWORD size2 = 0;
    ASSERT_EQ(SoundBufferLock(300, 200, &buffer, &part1, &size1, &part2, &size2), 0);
    EXPECT_EQ(size1, 100u);
    EXPECT_EQ(size2, 100u);
    ASSERT_NE(part2, nullptr);
    std::memset(part1, 0x11, size1);
    std::memset(part2, 0x22, size2);
    EXPECT_EQ(SoundBufferUnlock(&buffer, part1, size1, part2, size2), 0);

    DWORD status = 0;
    EXPECT_EQ(SoundBufferSetPosition(&buffer, 8), 0);
    EXPECT_EQ(SoundBufferPlay(&buffer, 1), 0);
    EXPECT_EQ(SoundBufferStatus(&buffer, &status), 0);
    EXPECT_EQ(status & (DSBSTATUS_PLAYING | DSBSTATUS_LOOPING),
              DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
    std::vector<uint8_t> mixed(4 * 10);
    EXPECT_GT(platform::AdvanceDirectSoundMixer(real, 10, mixed.data()), 0);
    DWORD play = 0;
    ASSERT_EQ(buffer.buffer->GetCurrentPosition(&play, nullptr), DS_OK);
    EXPECT_EQ(play, 48u);
    EXPECT_EQ(SoundBufferSetVolume(&buffer, -600), 0);
    EXPECT_EQ(SoundBufferSetPan(&buffer, 2500), 0);
    EXPECT_EQ(SoundBufferSetFrequency(&buffer, 22050), 0);
    EXPECT_EQ(SoundBufferStop(&buffer), 0);
    EXPECT_EQ(SoundBufferStatus(&buffer, &status), 0);
    EXPECT_EQ(status & DSBSTATUS_PLAYING, 0u);
    EXPECT_EQ(SoundBufferRelease(&buffer), 0);
    EXPECT_EQ(SoundBufferRelease(&buffer), -1);
}

TEST_F(SoundBufferTest, ADuplicateFailingAtTheThirdBufferLeavesTwo) {
    const WAVEFORMATEX format = Pcm(1, 16, 22050);
    const int handle = AddSoundData(-1);
    proxy->refuseDuplicateFrom = 2;  // buffer 1 duplicates, buffer 2 does not
    ASSERT_EQ(CreateSoundBuffers(-1, &format, 882, 0, 3, handle), 0);
    SoundRecord* record = SoundRecordFromHandle(handle);
    EXPECT_EQ(record->bufferCount, 2);
    EXPECT_EQ(record->kind, kMemorySound);
    EXPECT_TRUE(record->buffers[0].valid && record->buffers[1].valid);
    EXPECT_FALSE(record->buffers[2].valid);
    EXPECT_EQ(proxy->createFlags, std::vector<DWORD>{kMemoryBufferFlags});
    EXPECT_EQ(proxy->createBytes, std::vector<DWORD>{882});
}

TEST_F(SoundBufferTest, TheFallbackFlagsAreTriedAndBothFailingGivesUp) {
    const WAVEFORMATEX format = Pcm(1, 16, 22050);
    const int handle = AddSoundData(-1);
    proxy->refuseFlags = kMemoryBufferFlags;
    ASSERT_EQ(CreateSoundBuffers(-1, &format, 100, 0, 2, handle), 0);
    EXPECT_EQ(proxy->createFlags, (std::vector<DWORD>{kMemoryBufferFlags, kFallbackBufferFlags}));
    EXPECT_EQ(SoundRecordFromHandle(handle)->bufferCount, 2);

    const int refused = AddSoundData(-1);
    proxy->refuseFlags = ~0u;
    EXPECT_EQ(CreateSoundBuffers(-1, &format, 100, 0, 2, refused), -1);
    EXPECT_FALSE(SoundRecordFromHandle(refused)->buffers[0].valid);
}

TEST_F(SoundBufferTest, CopyingDuplicatesTheSourceOrFallsBackToANewBuffer) {
    const WAVEFORMATEX format = Pcm(2, 16, 44100);
    const int source = AddSoundData(-1);
    ASSERT_EQ(CreateSoundBuffers(-1, &format, 1600, 0, 1, source), 0);
    SoundRecordFromHandle(source)->format = format;
    SoundRecordFromHandle(source)->pcmBytes = 1600;

    const int copy = AddSoundData(-1);
    ASSERT_EQ(CreateSoundBuffers(source, nullptr, 0, 0, 2, copy), 0);
    EXPECT_EQ(SoundRecordFromHandle(copy)->bufferCount, 2);
    EXPECT_EQ(proxy->duplicates, 2);
    EXPECT_EQ(proxy->createBytes.size(), 1u);

    const int fallback = AddSoundData(-1);
    proxy->refuseDuplicateFrom = proxy->duplicates + 1;
    ASSERT_EQ(CreateSoundBuffers(source, nullptr, 0, 0, 2, fallback), 0);
    EXPECT_EQ(SoundRecordFromHandle(fallback)->bufferCount, 1);
    EXPECT_EQ(proxy->createBytes.back(), 1600u);  // the source's size, not the given one

    EXPECT_EQ(CreateSoundBuffers(source, nullptr, 0, 1, 1, AddSoundData(-1)),
              -1);  // copies are memory sounds
    EXPECT_EQ(CreateSoundBuffers(-1, &format, 16, 0, 1, copy + 1), -1);
}

TEST_F(SoundBufferTest, ARingHoldsOneSecondAndJoinsTheFrontOfTheStreamList) {
    const WAVEFORMATEX format = Pcm(1, 8, 22050);
    const int first = AddSoundData(-1);
    const int second = AddSoundData(-1);
    ASSERT_EQ(CreateSoundBuffers(-1, &format, 0, 1, 1, first), 0);
    ASSERT_EQ(CreateSoundBuffers(-1, &format, 0, 1, 1, second), 0);
    EXPECT_EQ(proxy->createFlags, (std::vector<DWORD>{kStreamRingFlags, kStreamRingFlags}));
    EXPECT_EQ(proxy->createBytes, (std::vector<DWORD>{22050, 22050}));
    SoundRecord* record = SoundRecordFromHandle(second);
    EXPECT_EQ(record->kind, kStreamSound);
    EXPECT_EQ(record->bufferCount, 1);
    EXPECT_EQ(record->ringBytes, 22050);
    EXPECT_EQ(record->streamNode.previous->value, -1);  // the head: newest first
    EXPECT_EQ(record->streamNode.next->value, first);
}

std::string g_abortText;
void RecordAbort(const char* text) {
    g_abortText = text;
}

TEST_F(SoundBufferTest, ARingThatCannotBeMadeEndsTheProgram) {
    g_abortText.clear();
    SetSoundAbortHookForTest(RecordAbort);
    proxy->refuseFlags = kStreamRingFlags;
    const WAVEFORMATEX format = Pcm(2, 16, 44100);
    EXPECT_EQ(CreateSoundBuffers(-1, &format, 0, 1, 1, AddSoundData(-1)), -1);
    EXPECT_EQ(g_abortText, "ストリーム風サウンドバッファの作成に失敗しました");
}

}  // namespace
