// The byte helpers: filling, moving and copying, checked against plain loops.
#include "foundation/base/bytes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace tessel {
namespace {

std::vector<uint8_t> Pattern(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    return bytes;
}

TEST(Bytes, FillBytesSetsNBytesAndReturnsTheValue) {
    uint8_t buffer[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    EXPECT_EQ(FillBytes(buffer + 1, 0xAB, 5), 0xAB);
    const uint8_t expected[8] = {1, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 1, 1};
    EXPECT_EQ(std::memcmp(buffer, expected, sizeof(buffer)), 0);
    EXPECT_EQ(FillBytes(nullptr, 9, 0), 9);
}

// Every overlap of source and destination in a small buffer, in both
// directions, against a copy through a temporary buffer.
TEST(Bytes, MoveBytesMatchesACopyThroughATemporary) {
    constexpr size_t kSize = 24;
    for (size_t src = 0; src < kSize; ++src) {
        for (size_t dst = 0; dst < kSize; ++dst) {
            size_t limit = kSize - (src > dst ? src : dst);
            for (size_t n = 0; n <= limit; ++n) {
                std::vector<uint8_t> moved = Pattern(kSize);
                std::vector<uint8_t> expected = moved;
                std::vector<uint8_t> temporary(expected.begin() + static_cast<long>(src),
                                               expected.begin() + static_cast<long>(src + n));
                std::copy(temporary.begin(), temporary.end(),
                          expected.begin() + static_cast<long>(dst));
                MoveBytes(moved.data() + dst, moved.data() + src, n);
                ASSERT_EQ(moved, expected) << "src " << src << " dst " << dst << " n " << n;
            }
        }
    }
}

TEST(Bytes, CopyBytesCopiesForward) {
    std::vector<uint8_t> source = Pattern(64);
    std::vector<uint8_t> target(64, 0);
    CopyBytes(target.data(), source.data(), 64);
    EXPECT_EQ(target, source);
    CopyBytes(nullptr, source.data(), 0);

    // Onto the bytes just behind the source, a forward copy repeats them.
    uint8_t run[8] = {'a', 'b', 0, 0, 0, 0, 0, 0};
    CopyBytes(run + 2, run, 6);
    const uint8_t expected[8] = {'a', 'b', 'a', 'b', 'a', 'b', 'a', 'b'};
    EXPECT_EQ(std::memcmp(run, expected, sizeof(run)), 0);
}

TEST(Bytes, CompareMemoryCases) {
    const uint8_t a[] = {1, 2, 3, 0, 5};
    const uint8_t b[] = {1, 2, 3, 0, 6};
    struct Case {
        size_t n;
        int expected;
    };
    const Case cases[] = {{0, 0}, {1, 0}, {4, 0}, {5, 1}};
    for (const Case& c : cases) {
        EXPECT_EQ(CompareMemory(a, b, c.n), c.expected) << "n " << c.n;
    }
    const uint8_t high[] = {0xFF};
    const uint8_t low[] = {0x00};
    EXPECT_EQ(CompareMemory(high, low, 1), 1);
    EXPECT_EQ(CompareMemory(low, high, 1), 1);  // no order, just different
    EXPECT_EQ(CompareMemory(nullptr, nullptr, 0), 0);
}

}  // namespace
}  // namespace tessel
