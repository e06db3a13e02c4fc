// The movie table: 100 slots, handles whose check number refuses a stale
// handle once its slot is taken again, and the calls on bad handles.
#include <gtest/gtest.h>

#include "tests/movie/movie_playback_support.h"

namespace {

using namespace movietest;
using namespace tessel;

class MovieTableTest : public MovieFilesTest {
  protected:
    void SetUp() override {
        MovieFilesTest::SetUp();
        WriteFileBytes("clip.ogv", NumberedClip(3));
    }
};

TEST_F(MovieTableTest, AHandleNamesItsSlotAndCheckNumberAndOpensPausedWithTheFrameSize) {
    int width = 0;
    int height = 0;
    const int first = Open("clip.ogv", &width, &height);
    const int second = Open("clip.ogv", nullptr, nullptr);
    ASSERT_NE(first, -1);
    ASSERT_NE(second, -1);
    EXPECT_EQ(first & 0x78000000, 0x18000000);
    EXPECT_EQ(first & 0xFFFF, 0);
    EXPECT_EQ(second & 0xFFFF, 1);
    // Consecutive opens take consecutive check numbers.
    EXPECT_EQ(((second >> 16) & 0x7FF), (((first >> 16) & 0x7FF) + 1) % 2048);
    EXPECT_EQ(width, 64);
    EXPECT_EQ(height, 48);
    const MovieRecord* record = MovieRecordFromHandle(first);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->theora, 1);
    EXPECT_EQ(record->paused, 1);
    EXPECT_EQ(record->playing, 0);
    EXPECT_EQ(record->playType, 1);
    EXPECT_EQ(record->sound, -1);  // no sound system, and the clip has no sound
    EXPECT_EQ(record->width, 64);
    EXPECT_EQ(record->currentImage, TheoraRgbImage(record->decoder));
    EXPECT_EQ(OpenMovieCountForTest(), 2);
}

TEST_F(MovieTableTest, TheHundredAndFirstOpenFailsAndAFreedSlotComesBackWithANewCheck) {
    std::vector<int> handles;
    for (int i = 0; i < kMovieSlots; ++i) {
        const int handle = Open("clip.ogv");
        ASSERT_NE(handle, -1) << i;
        handles.push_back(handle);
    }
    EXPECT_EQ(OpenMovie("clip.ogv", nullptr, nullptr, 0), -1);
    EXPECT_EQ(OpenMovieCountForTest(), kMovieSlots);

    const int old = handles[37];
    ASSERT_EQ(MovieDispose(old), 0);
    EXPECT_EQ(MovieDispose(old), -1);
    const int again = Open("clip.ogv");
    ASSERT_NE(again, -1);
    EXPECT_EQ(again & 0xFFFF, 37);
    EXPECT_NE(again, old);
    EXPECT_EQ(MovieRecordFromHandle(old), nullptr);
    EXPECT_NE(MovieRecordFromHandle(again), nullptr);
    EXPECT_EQ(MovieSetFrameHook(old, nullptr, 0), -1);
    EXPECT_EQ(MoviePlay(old, 1), -1);
    EXPECT_EQ(MovieDrawToWindow(0, 0, 1, old, 1), -1);
    EXPECT_EQ(MovieDrawToWindow(0, 0, 1, again, 1), 0);
    EXPECT_EQ(MovieAdvanceFrame(old, 0), 0);
}

TEST_F(MovieTableTest, OnlyLiveMovieHandlesNameARecord) {
    const int handle = Open("clip.ogv");
    ASSERT_NE(handle, -1);
    const int check = handle & 0x07FF0000;
    const int cases[] = {
        -1,
        handle | static_cast<int>(0x80000000u),                     // negative
        (handle & ~0x78000000) | 0x08000000,                        // an image's kind
        (handle & ~0xFFFF) | 1,                                     // an empty slot
        (handle & ~0xFFFF) | 100,                                   // past the table
        (handle & ~0x07FF0000) | ((check + 0x10000) & 0x07FF0000),  // another check
    };
    for (int bad : cases) {
        EXPECT_EQ(MovieRecordFromHandle(bad), nullptr) << std::hex << bad;
        EXPECT_EQ(MovieDispose(bad), -1) << std::hex << bad;
    }
    EXPECT_NE(MovieRecordFromHandle(handle), nullptr);
}

TEST_F(MovieTableTest, AFileThatIsNoMovieFailsWithItsLogLineAndLeavesTheSlotFree) {
    WriteFileBytes("note.txt", std::vector<uint8_t>(100, 'x'));
    EXPECT_EQ(OpenMovie("note.txt", nullptr, nullptr, 0), -1);
    EXPECT_EQ(OpenMovie("missing.ogv", nullptr, nullptr, 0), -1);
    // Headers without a frame: nothing to show, and no frame count to wrap a
    // looping clock by.
    WriteFileBytes("empty.ogv", NumberedClip(0));
    EXPECT_EQ(OpenMovie("empty.ogv", nullptr, nullptr, 0), -1);
    EXPECT_EQ(OpenMovieCountForTest(), 0);
    const int handle = Open("clip.ogv");
    EXPECT_EQ(handle & 0xFFFF, 0);
}

}  // namespace
