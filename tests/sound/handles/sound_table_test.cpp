// The sound table: handles and their check numbers, the end index, reuse of
// a handle's slot, and deletion of memory sounds and shared stream rings.
#include "sound/handles/sound_table.h"

#include <gtest/gtest.h>

#include <vector>

#include "foundation/memory/memory.h"
#include "sound/buffers/sound_buffer.h"
#include "sound/sound_fixture.h"

namespace {

using soundtest::SoundTest;
using namespace tessel;

class SoundTableTest : public SoundTest {};

TEST_F(SoundTableTest, CheckNumbersWrapAfter2047AndStaleHandlesFail) {
    const int first = AddSoundData(-1);
    EXPECT_EQ(first, 0x10000000);
    ASSERT_EQ(DeleteSoundHandle(first), 0);
    EXPECT_EQ(SoundRecordFromHandle(first), nullptr);
    EXPECT_EQ(DeleteSoundHandle(first), -1);
    for (int i = 1; i < 2048; ++i) {
        const int handle = AddSoundData(-1);
        ASSERT_EQ(handle, ((i | 0x1000) << 16)) << i;
        ASSERT_EQ(DeleteSoundHandle(first), -1);
        ASSERT_EQ(DeleteSoundHandle(handle), 0);
    }
    // The 2049th handle takes check number 0 again and so equals the first.
    EXPECT_EQ(AddSoundData(-1), first);
    EXPECT_NE(SoundRecordFromHandle(first), nullptr);
}

TEST_F(SoundTableTest, EndIndexFollowsTheHighestSlotInUse) {
    std::vector<int> handles;
    for (int i = 0; i < 4; ++i)
        handles.push_back(AddSoundData(-1));
    EXPECT_EQ(SoundTableEndIndex(), 4);
    DeleteSoundHandle(handles[1]);
    DeleteSoundHandle(handles[2]);
    EXPECT_EQ(SoundTableEndIndex(), 4);
    // The end index is where a new sound goes while it is below the top.
    const int again = AddSoundData(-1);
    EXPECT_EQ(again & 0xFFFF, 4);
    DeleteSoundHandle(again);
    EXPECT_EQ(SoundTableEndIndex(), 4);
    DeleteSoundHandle(handles[3]);
    EXPECT_EQ(SoundTableEndIndex(), 1);
    DeleteSoundHandle(handles[0]);
    EXPECT_EQ(SoundTableEndIndex(), 0);
    EXPECT_EQ(SoundsInUse(), 0);
}

TEST_F(SoundTableTest, AFullTableRefusesAndAHoleIsFilledFromTheBottom) {
    const uint32_t blocks = TrackedBlockCount();
    std::vector<int> handles;
    for (int i = 0; i < kSoundSlots; ++i)
        handles.push_back(AddSoundData(-1));
    EXPECT_EQ(SoundTableEndIndex(), kSoundSlots);
    EXPECT_EQ(AddSoundData(-1), -1);
    ASSERT_EQ(DeleteSoundHandle(handles[5]), 0);
    EXPECT_EQ(AddSoundData(-1) & 0xFFFF, 5);
    EXPECT_EQ(DeleteAllSounds(), 0);
    EXPECT_EQ(SoundsInUse(), 0);
    EXPECT_EQ(SoundTableEndIndex(), 0);
    EXPECT_EQ(TrackedBlockCount(), blocks);
}

TEST_F(SoundTableTest, AGivenHandleKeepsItsSlotOnlyWhileTheSlotIsFree) {
    const int live = AddSoundData(-1);
    const int other = AddSoundData(live);
    EXPECT_NE(other, live);
    EXPECT_NE(other & 0xFFFF, live & 0xFFFF);

    const int gone = AddSoundData(-1);
    DeleteSoundHandle(gone);
    const int between = AddSoundData(-1);  // moves the check counter on
    EXPECT_EQ(between & 0xFFFF, gone & 0xFFFF);
    DeleteSoundHandle(between);
    EXPECT_EQ(AddSoundData(gone), gone);
    EXPECT_NE(SoundRecordFromHandle(gone), nullptr);
    EXPECT_EQ(SoundRecordFromHandle(between), nullptr);
}

TEST_F(SoundTableTest, ForeignAndMalformedHandlesFail) {
    const int live = AddSoundData(-1);
    const int cases[] = {
        -1,
        live | static_cast<int>(0x80000000u),
        (live & ~0x78000000) | 0x18000000,  // another kind
        (live & ~0xFFFF) | 0x8000,          // slot past the table
        live + 1,                           // an empty slot
        live ^ 0x00010000,                  // another check number
    };
    for (int handle : cases) {
        EXPECT_EQ(SoundRecordFromHandle(handle), nullptr) << std::hex << handle;
        EXPECT_EQ(DeleteSoundHandle(handle), -1) << std::hex << handle;
    }
    EXPECT_EQ(SoundsInUse(), 1);
}

TEST_F(SoundTableTest, TheSharedPcmGoesWithItsLastSound) {
    const uint32_t blocks = TrackedBlockCount();
    const int a = AddSoundData(-1);
    const int b = AddSoundData(-1);
    void* pcm = AllocTracked(64, __FILE__, __LINE__);
    auto* count = static_cast<int32_t*>(AllocTracked(4, __FILE__, __LINE__));
    *count = 2;
    for (int handle : {a, b}) {
        SoundRecord* record = SoundRecordFromHandle(handle);
        record->pcm = pcm;
        record->pcmShareCount = count;
        record->pcmBytes = 64;
    }
    const WAVEFORMATEX format = soundtest::Pcm(1, 16, 22050);
    ASSERT_EQ(CreateSoundBuffers(-1, &format, 64, 0, 2, a), 0);
    ASSERT_EQ(DeleteSoundHandle(a), 0);
    EXPECT_EQ(*count, 1);
    ASSERT_EQ(DeleteSoundHandle(b), 0);
    EXPECT_EQ(TrackedBlockCount(), blocks);
}

TEST_F(SoundTableTest, AStreamSharedByOthersStaysUntilItsLastSharerGoes) {
    const uint32_t blocks = TrackedBlockCount();
    const WAVEFORMATEX format = soundtest::Pcm(2, 16, 44100);
    const int owner = AddSoundData(-1);
    ASSERT_EQ(CreateSoundBuffers(-1, &format, 0, 1, 1, owner), 0);
    std::vector<int> sharers;
    for (int i = 0; i < 2; ++i) {
        const int sharer = AddSoundData(-1);
        SoundRecord* record = SoundRecordFromHandle(sharer);
        record->kind = kStreamSound;
        record->sharedOwner = owner;
        ++SoundRecordFromHandle(owner)->sharerCount;
        sharers.push_back(sharer);
    }
    EXPECT_EQ(DeleteSoundHandle(owner), 0);
    ASSERT_NE(SoundRecordFromHandle(owner), nullptr);
    EXPECT_EQ(SoundRecordFromHandle(owner)->deletePending, 1);
    EXPECT_TRUE(SoundRecordFromHandle(owner)->buffers[0].valid);
    EXPECT_EQ(DeleteSoundHandle(sharers[0]), 0);
    EXPECT_NE(SoundRecordFromHandle(owner), nullptr);
    EXPECT_EQ(DeleteSoundHandle(sharers[1]), 0);
    EXPECT_EQ(SoundRecordFromHandle(owner), nullptr);
    EXPECT_EQ(SoundsInUse(), 0);
    EXPECT_EQ(TrackedBlockCount(), blocks);
}

TEST_F(SoundTableTest, DeleteAllSoundsEmptiesTheTableIncludingPendingRings) {
    const WAVEFORMATEX format = soundtest::Pcm(1, 8, 22050);
    const int owner = AddSoundData(-1);
    ASSERT_EQ(CreateSoundBuffers(-1, &format, 0, 1, 1, owner), 0);
    const int sharer = AddSoundData(-1);
    SoundRecordFromHandle(sharer)->kind = kStreamSound;
    SoundRecordFromHandle(sharer)->sharedOwner = owner;
    SoundRecordFromHandle(owner)->sharerCount = 1;
    AddSoundData(-1);
    EXPECT_EQ(DeleteAllSounds(), 0);
    EXPECT_EQ(SoundsInUse(), 0);
    EXPECT_EQ(SoundTableEndIndex(), 0);
}

TEST(SoundTableDownTest, EverythingFailsWhileTheSoundSystemIsDown) {
    EXPECT_EQ(DeleteAllSounds(), -1);
    EXPECT_EQ(SoundRecordFromHandle(0x10000000), nullptr);
    EXPECT_EQ(DeleteSoundHandle(0x10000000), -1);
}

}  // namespace
