// Memory streams: whole items, seeking, and reads past the end.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/files/streams.h"
#include "foundation/memory/memory.h"

namespace {

using tessel::StreamHandleOf;

TEST(MemoryStream, ReadsWholeItemsAndTheRestAsOne) {
    const char data[] = "abcdefghi";  // 9 bytes
    tessel::MemoryStream* stream = tessel::OpenMemoryStream(data, 9);
    ASSERT_NE(stream, nullptr);
    tessel::StreamOps* ops = tessel::GetMemoryStreamOps();
    tessel::StreamHandle handle = StreamHandleOf(stream);
    char buffer[16] = {};
    EXPECT_EQ(ops->read(buffer, 4, 10, handle), 2u);  // 10 items of 4 with 9 left
    EXPECT_EQ(std::string(buffer, 8), "abcdefgh");
    EXPECT_EQ(ops->seek(handle, 6, 0), 0);
    EXPECT_EQ(ops->read(buffer, 4, 10, handle), 1u);  // 3 left: copied, counted as 1
    EXPECT_EQ(std::string(buffer, 3), "ghi");
    EXPECT_EQ(ops->tell(handle), 9);
    EXPECT_EQ(ops->eof(handle), 0);
    EXPECT_EQ(ops->read(buffer, 1, 1, handle), 0u);
    EXPECT_EQ(ops->eof(handle), 1);
    EXPECT_EQ(ops->idle(handle), 1);
    EXPECT_EQ(ops->close(handle), 0);
    EXPECT_EQ(tessel::CheckTrackedBlocks(), 0);
}

TEST(MemoryStream, SeekClampsToTheDataAndClearsTheEndFlag) {
    const char data[] = "0123456789";
    tessel::MemoryStream* stream = tessel::OpenMemoryStream(data, 10);
    tessel::StreamHandle handle = StreamHandleOf(stream);
    struct Case {
        int32_t offset;
        int origin;
        int32_t expected;
    };
    const Case cases[] = {
        // Relative seeks start from the end, where the reads before each case left it.
        {-5, 0, 0},   {25, 0, 10}, {3, 0, 3},  {2, 1, 10},  {-7, 1, 3},
        {-100, 1, 0}, {-4, 2, 6},  {4, 2, 10}, {-10, 2, 0}, {0, 2, 10},
    };
    char buffer[16];
    for (const Case& c : cases) {
        tessel::MemStreamRead(buffer, 1, 100, handle);
        tessel::MemStreamRead(buffer, 1, 1, handle);  // sets the end flag
        EXPECT_EQ(tessel::MemStreamSeek(handle, c.offset, c.origin), 0);
        EXPECT_EQ(tessel::MemStreamTell(handle), c.expected) << c.offset << " " << c.origin;
        EXPECT_EQ(tessel::MemStreamEof(handle), 0);
    }
    tessel::CloseMemoryStream(handle);
}

TEST(MemoryStream, NothingAskedForReadsNothing) {
    const char data[] = "xyz";
    tessel::MemoryStream* stream = tessel::OpenMemoryStream(data, 3);
    tessel::StreamHandle handle = StreamHandleOf(stream);
    char buffer[4] = {'-', '-', '-', '-'};
    EXPECT_EQ(tessel::MemStreamRead(buffer, 0, 5, handle), 0u);
    EXPECT_EQ(tessel::MemStreamRead(buffer, 5, 0, handle), 0u);
    EXPECT_EQ(std::string(buffer, 4), "----");
    EXPECT_EQ(tessel::MemStreamTell(handle), 0);
    // A byte total beyond 32 bits is whole items of what is left.
    EXPECT_EQ(tessel::MemStreamRead(buffer, 0x10000, 0x10001, handle), 1u);
    EXPECT_EQ(std::string(buffer, 3), "xyz");
    tessel::CloseMemoryStream(handle);
    // An empty stream is at its end at once.
    stream = tessel::OpenMemoryStream(nullptr, 0);
    handle = StreamHandleOf(stream);
    EXPECT_EQ(tessel::MemStreamRead(buffer, 1, 1, handle), 0u);
    EXPECT_EQ(tessel::MemStreamEof(handle), 1);
    tessel::CloseMemoryStream(handle);
}

TEST(MemoryStream, OpenFailsWhenMemoryRunsOut) {
    tessel::SetTrackedHeapFailing(true);
    EXPECT_EQ(tessel::OpenMemoryStream("a", 1), nullptr);
    tessel::SetTrackedHeapFailing(false);
}

}  // namespace
