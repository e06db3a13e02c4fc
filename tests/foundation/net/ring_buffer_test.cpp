// The byte ring: reads and peeks across the wrap point, growth, a failed
// growth that keeps the data, release.
#include "foundation/net/ring_buffer.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/memory/memory.h"
#include "tests/foundation/files/files_test_support.h"

namespace {

using tessel::RingBuffer;

// A ring of `capacity` bytes whose `bytes` start at `read` and wrap; the
// free bytes hold '.'.
RingBuffer MakeRing(int32_t capacity, int32_t read, const std::string& bytes) {
    RingBuffer ring = {};
    ring.storage = static_cast<uint8_t*>(tessel::AllocTracked(capacity, __FILE__, __LINE__));
    ring.capacity = capacity;
    for (int32_t i = 0; i < capacity; ++i) {
        ring.storage[i] = '.';
    }
    for (size_t i = 0; i < bytes.size(); ++i) {
        ring.storage[(read + i) % capacity] = static_cast<uint8_t>(bytes[i]);
    }
    ring.readPosition = read;
    ring.writePosition = static_cast<int32_t>((read + bytes.size()) % capacity);
    ring.stored = static_cast<int32_t>(bytes.size());
    return ring;
}

std::string Storage(const RingBuffer& ring, int32_t from, int32_t count) {
    return std::string(reinterpret_cast<const char*>(ring.storage) + from, count);
}

TEST(RingBuffer, ReadsExactlyTheStoredCountAcrossTheWrapAndRefusesOneMore) {
    RingBuffer ring = MakeRing(10, 7, "abcdef");  // "def" wraps to the start
    char out[16] = "unchanged";

    EXPECT_EQ(tessel::RingBufferRead(&ring, out, 7, 0), -1);
    EXPECT_EQ(std::string(out), "unchanged");
    EXPECT_EQ(ring.stored, 6);
    EXPECT_EQ(ring.readPosition, 7);

    ASSERT_EQ(tessel::RingBufferRead(&ring, out, 6, 1), 0);
    EXPECT_EQ(std::string(out, 6), "abcdef");
    EXPECT_EQ(ring.stored, 6) << "a peek keeps the bytes";
    EXPECT_EQ(ring.readPosition, 7);

    ASSERT_EQ(tessel::RingBufferRead(&ring, out, 4, 0), 0);
    EXPECT_EQ(std::string(out, 4), "abcd");
    EXPECT_EQ(ring.stored, 2);
    EXPECT_EQ(ring.readPosition, 1);
    ASSERT_EQ(tessel::RingBufferRead(&ring, out, 2, 0), 0);
    EXPECT_EQ(std::string(out, 2), "ef");
    EXPECT_EQ(ring.stored, 0);
    EXPECT_EQ(tessel::RingBufferRead(&ring, out, 1, 1), -1);
    tessel::RingBufferRelease(&ring);
}

TEST(RingBuffer, AReadPositionAtTheCapacityIsFoldedToTheStart) {
    RingBuffer ring = MakeRing(10, 0, "xyz");
    ring.readPosition = 10;  // the same place as 0
    char out[3];
    ASSERT_EQ(tessel::RingBufferRead(&ring, out, 3, 0), 0);
    EXPECT_EQ(std::string(out, 3), "xyz");
    EXPECT_EQ(ring.readPosition, 3);
    tessel::RingBufferRelease(&ring);
}

TEST(RingBuffer, GrowthGivesStoredTimesThreeHalvesPlusTheRequestPlus1000ContiguousFromZero) {
    struct Case {
        const char* name;
        int32_t read;
    };
    for (const Case& c :
         {Case{"in one piece", 1}, Case{"wrapped", 6}, Case{"read at capacity", 10}}) {
        SCOPED_TRACE(c.name);
        RingBuffer ring = MakeRing(10, c.read % 10, "ABCDEFGH");
        ring.readPosition = c.read;
        ASSERT_EQ(tessel::RingBufferReserve(&ring, 5), 0);
        EXPECT_EQ(ring.capacity, 8 * 3 / 2 + 5 + 1000);
        EXPECT_EQ(ring.readPosition, 0);
        EXPECT_EQ(ring.writePosition, 8);
        EXPECT_EQ(ring.stored, 8);
        EXPECT_EQ(Storage(ring, 0, 8), "ABCDEFGH");
        tessel::RingBufferRelease(&ring);
    }
}

TEST(RingBuffer, ReserveThatFitsLeavesTheRingAsItIs) {
    RingBuffer ring = MakeRing(10, 6, "ABC");
    uint8_t* storage = ring.storage;
    ASSERT_EQ(tessel::RingBufferReserve(&ring, 7), 0);
    EXPECT_EQ(ring.storage, storage);
    EXPECT_EQ(ring.capacity, 10);
    EXPECT_EQ(ring.readPosition, 6);
    tessel::RingBufferRelease(&ring);
}

TEST(RingBuffer, FailedGrowthKeepsTheStorageAndTheBytes) {
    tessel_test::LogScope log;
    struct Case {
        const char* name;
        bool heapFails;
        int32_t request;
    };
    for (const Case& c : {Case{"heap exhausted", true, 5}, Case{"past 2 GB", false, 0x7FFFFFF0}}) {
        SCOPED_TRACE(c.name);
        RingBuffer ring = MakeRing(10, 6, "ABCDEFGH");
        uint8_t* storage = ring.storage;
        tessel::SetTrackedHeapFailing(c.heapFails);
        EXPECT_EQ(tessel::RingBufferReserve(&ring, c.request), -1);
        tessel::SetTrackedHeapFailing(false);
        EXPECT_EQ(ring.storage, storage);
        EXPECT_EQ(ring.capacity, 10);
        EXPECT_EQ(ring.stored, 8);
        char out[8];
        ASSERT_EQ(tessel::RingBufferRead(&ring, out, 8, 0), 0);
        EXPECT_EQ(std::string(out, 8), "ABCDEFGH");
        tessel::RingBufferRelease(&ring);
    }
    EXPECT_NE(
        log.Text().find("リングバッファの再確保に失敗しました(確保しようとしたサイズ 1017 byte)"),
        std::string::npos)
        << log.Text();
}

TEST(RingBuffer, NegativeCountsAreRefused) {
    tessel_test::LogScope log;
    RingBuffer ring = MakeRing(10, 0, "AB");
    char out[2];
    EXPECT_EQ(tessel::RingBufferRead(&ring, out, -1, 0), -1);
    EXPECT_EQ(tessel::RingBufferReserve(&ring, -1), -1);
    EXPECT_EQ(ring.stored, 2);
    EXPECT_EQ(ring.capacity, 10);
    tessel::RingBufferRelease(&ring);
}

TEST(RingBuffer, ReleaseFreesTheStorageAndClearsEveryField) {
    RingBuffer ring = MakeRing(10, 4, "ABC");
    EXPECT_EQ(tessel::RingBufferRelease(&ring), 0);
    EXPECT_EQ(ring.storage, nullptr);
    EXPECT_EQ(ring.readPosition, 0);
    EXPECT_EQ(ring.writePosition, 0);
    EXPECT_EQ(ring.stored, 0);
    EXPECT_EQ(ring.capacity, 0);
    EXPECT_EQ(tessel::RingBufferRelease(&ring), 0);  // an empty ring too
}

}  // namespace
