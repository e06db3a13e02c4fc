// Chained blocks, bit rows and the frame change descriptor.
#include <gtest/gtest.h>

#include <vector>

#include "foundation/memory/memory.h"
#include "models/util/model_containers.h"

namespace tessel_test {
namespace {

TEST(ChainedBlocksTest, FreeingAnEmptyChainOnlyClearsTheHead) {
    void* head = nullptr;
    tessel::FreeChainedBlocks(&head);
    EXPECT_EQ(head, nullptr);
}

TEST(ChainedBlocksTest, BlocksAreZeroedAndFreedAllAtOnce) {
    const uint32_t before = tessel::TrackedBlockCount();
    void* head = nullptr;
    std::vector<uint8_t*> blocks;
    for (uint32_t size : {1u, 100u, 4096u}) {
        auto* bytes = static_cast<uint8_t*>(tessel::AllocChainedBlock(size, &head));
        ASSERT_NE(bytes, nullptr);
        for (uint32_t i = 0; i < size; ++i) {
            ASSERT_EQ(bytes[i], 0) << i;
        }
        EXPECT_EQ(reinterpret_cast<uintptr_t>(bytes) % 16, 0u);
        bytes[size - 1] = 0xAB;
        blocks.push_back(bytes);
    }
    EXPECT_EQ(tessel::TrackedBlockCount(), before + 3);
    tessel::FreeChainedBlocks(&head);
    EXPECT_EQ(head, nullptr);
    EXPECT_EQ(tessel::TrackedBlockCount(), before);
}

TEST(ChainedBlocksTest, AFailedAllocationLeavesTheChainAsItWas) {
    void* head = nullptr;
    ASSERT_NE(tessel::AllocChainedBlock(8, &head), nullptr);
    void* kept = head;
    tessel::SetTrackedHeapFailing(true);
    EXPECT_EQ(tessel::AllocChainedBlock(8, &head), nullptr);
    tessel::BitRowArray rows = {};
    EXPECT_EQ(tessel::InitBitRowArray(&rows, 10, 4, &head), -1);
    tessel::SetTrackedHeapFailing(false);
    EXPECT_EQ(head, kept);
    tessel::FreeChainedBlocks(&head);
}

class BitRowTest : public ::testing::Test {
  protected:
    void TearDown() override { tessel::FreeChainedBlocks(&head_); }
    void* head_ = nullptr;
};

TEST_F(BitRowTest, RowsHaveTheirBytesAUsedByteAndAWordEach) {
    tessel::BitRowArray rows = {};
    ASSERT_EQ(tessel::InitBitRowArray(&rows, 11, 5, &head_), 0);
    EXPECT_EQ(rows.bytesPerRow, 3);
    EXPECT_EQ(rows.rowCount, 5);
    EXPECT_EQ(rows.rowsInUse, 0);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(rows.rowWords) % 4, 0u);
    EXPECT_GE(reinterpret_cast<uint8_t*>(rows.rowWords), rows.rows + 15);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(rows.rowWords[i], 0u);
    }
}

TEST_F(BitRowTest, SettingBitsTwiceInARowCountsTheRowOnce) {
    tessel::BitRowArray rows = {};
    ASSERT_EQ(tessel::InitBitRowArray(&rows, 16, 3, &head_), 0);
    EXPECT_EQ(tessel::SetRowBit(&rows, 1, 3), 0);
    EXPECT_EQ(tessel::SetRowBit(&rows, 1, 3), 0);
    EXPECT_EQ(tessel::SetRowBit(&rows, 1, 12), 0);
    EXPECT_EQ(rows.rowsInUse, 1);
    tessel::SetRowBit(&rows, 2, 0);
    EXPECT_EQ(rows.rowsInUse, 2);
    EXPECT_EQ(rows.rows[3], 0x08);
    EXPECT_EQ(rows.rows[4], 0x10);
    EXPECT_EQ(rows.rows[5], 1) << "the used byte";
}

TEST_F(BitRowTest, ListingReachesTheBitsOfAPartialLastByte) {
    tessel::BitRowArray rows = {};
    ASSERT_EQ(tessel::InitBitRowArray(&rows, 11, 2, &head_), 0);
    for (int bit : {10, 0, 9, 7}) {
        tessel::SetRowBit(&rows, 0, bit);
    }
    uint16_t out[16] = {};
    ASSERT_EQ(tessel::ListRowBits(&rows, 0, out), 4);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 7);
    EXPECT_EQ(out[2], 9);
    EXPECT_EQ(out[3], 10);
    EXPECT_EQ(tessel::ListRowBits(&rows, 1, out), 0);
}

TEST_F(BitRowTest, RowsCopyOutInAndOrIntoBuffers) {
    tessel::BitRowArray rows = {};
    ASSERT_EQ(tessel::InitBitRowArray(&rows, 20, 3, &head_), 0);
    tessel::SetRowBit(&rows, 0, 1);
    tessel::SetRowBit(&rows, 0, 19);
    uint8_t buffer[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    tessel::CopyRowOut(&rows, 0, buffer);
    EXPECT_EQ(buffer[0], 0x02);
    EXPECT_EQ(buffer[1], 0x00);
    EXPECT_EQ(buffer[2], 0x08);
    EXPECT_EQ(buffer[3], 0) << "the used-byte place is cleared";
    EXPECT_EQ(tessel::CountBufferBits(buffer, rows.bytesPerRow), 2);

    const uint8_t incoming[4] = {0x81, 0x00, 0x01, 1};
    tessel::CopyRowIn(&rows, 2, incoming);
    EXPECT_EQ(rows.rowsInUse, 2);
    tessel::CopyRowIn(&rows, 2, incoming);
    EXPECT_EQ(rows.rowsInUse, 2) << "the row was in use already";

    uint8_t merged[4] = {0x10, 0, 0, 0x55};
    tessel::OrRowInto(&rows, 2, merged);
    EXPECT_EQ(merged[0], 0x91);
    EXPECT_EQ(merged[2], 0x01);
    EXPECT_EQ(merged[3], 0x55) << "the used byte is not or-ed";
    EXPECT_EQ(tessel::CountBufferBits(merged, rows.bytesPerRow), 4);
}

TEST(FrameChangeDescriptorTest, RunsSpanTheWordsTheirBitsReach) {
    const struct {
        int firstBit;
        int count;
        int wordIndex;
        int runWords;
        std::vector<uint32_t> masks;
    } cases[] = {
        {30, 4, 0, 2, {0xC0000000u, 0x00000003u}},  {0, 1, 0, 1, {0x00000001u}},
        {70, 32, 2, 2, {0xFFFFFFC0u, 0x0000003Fu}}, {5, 3, 0, 1, {0x000000E0u}},
        {32, 64, 1, 2, {0xFFFFFFFFu, 0xFFFFFFFFu}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.firstBit << "+" << c.count);
        std::vector<uint32_t> words(c.masks.size() + 1, 0);
        words[0] = 0x12345678u;  // the first word is cleared, not or-ed
        tessel::FrameChangeDescriptor d = {};
        tessel::InitFrameChangeDescriptor(&d, words.data(), c.firstBit, c.count);
        EXPECT_EQ(d.wordIndex, c.wordIndex);
        EXPECT_EQ(d.runWords, c.runWords);
        EXPECT_EQ(d.singleMask, 1u << (c.firstBit % 32));
        EXPECT_EQ(d.maskWords, words.data());
        for (size_t i = 0; i < c.masks.size(); ++i) {
            EXPECT_EQ(words[i], c.masks[i]) << i;
        }
        EXPECT_EQ(words.back(), 0u);
    }
    tessel::FrameChangeDescriptor d = {};
    tessel::InitFrameChangeDescriptor(&d, nullptr, 30, 4);
    EXPECT_EQ(d.runWords, 2);
    EXPECT_EQ(d.maskWords, nullptr);
}

}  // namespace
}  // namespace tessel_test
