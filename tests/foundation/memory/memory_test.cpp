#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "foundation/files/files_test_support.h"
#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"

namespace {

using tessel::TrackedBlockHeader;
using tessel_test::LogScope;

TrackedBlockHeader* HeaderOf(void* data) {
    return reinterpret_cast<TrackedBlockHeader*>(static_cast<char*>(data) -
                                                 tessel::kTrackedDataOffset);
}

// The line the leak report writes for a block, time stamp masked.
std::string ExpectedLine(void* data, const char* name, int line, const std::string& shown,
                         const std::string& hex) {
    TrackedBlockHeader* header = HeaderOf(data);
    char text[300];
    std::snprintf(text, sizeof(text),
                  "T:\tsize:%u(%.3fkb)  file:%s  line:%d  ID:%d  addr:%016" PRIxPTR
                  "  data:<%s> [%s]\r\n",
                  header->size, header->size / 1024.0, name, line, static_cast<int>(header->serial),
                  reinterpret_cast<uintptr_t>(data), shown.c_str(), hex.c_str());
    return text;
}

TEST(TrackedMemory, EmptyReport) {
    LogScope log;
    tessel::DumpTrackedBlocks();
    EXPECT_EQ(log.Text(),
              "T:\r\nT:Alloc memory dump\r\nT:\tTotal size:0(0.000kb)  Alloc num:0\r\nT:\r\n");
}

TEST(TrackedMemory, ReportListsBlocksNewestFirstWithTheirBytes) {
    LogScope log;
    auto* small = static_cast<char*>(tessel::AllocTracked(3, nullptr, 7));
    std::memcpy(small, "ab", 3);
    auto* wide =
        static_cast<unsigned char*>(tessel::AllocTracked(20, "graphics/image_table.cpp", 12));
    for (int i = 0; i < 20; ++i) {
        wide[i] = static_cast<unsigned char>(0x1E + i * 7);
    }
    tessel::DumpTrackedBlocks();
    std::string wideShown;
    std::string wideHex;
    for (int i = 0; i < 16; ++i) {
        unsigned char c = wide[i];
        wideShown += (c < 0x20 || c >= 0x80) ? '.' : static_cast<char>(c);
        char pair[4];
        std::snprintf(pair, sizeof(pair), "%02x", c);
        wideHex += std::string(i == 0 ? "" : " ") + pair;
    }
    std::string expected = "T:\r\nT:Alloc memory dump\r\n" +
                           ExpectedLine(wide, "image_table.cpp", 12, wideShown, wideHex) +
                           ExpectedLine(small, "", 7, "ab.", "61 62 00") +
                           "T:\tTotal size:23(0.022kb)  Alloc num:2\r\nT:\r\n";
    EXPECT_EQ(log.Text(), expected);
    tessel::FreeTracked(small);
    tessel::FreeTracked(wide);
}

TEST(TrackedMemory, SourceNameKeepsItsLastFifteenCharacters) {
    void* a = tessel::AllocTracked(1, "abcdefghijklmnopqrst", 1);
    void* b = tessel::AllocTracked(1, nullptr, 1);
    void* c = tessel::AllocTracked(1, "short.cpp", 1);
    EXPECT_STREQ(HeaderOf(a)->name, "fghijklmnopqrst");
    EXPECT_STREQ(HeaderOf(b)->name, "");
    EXPECT_STREQ(HeaderOf(c)->name, "short.cpp");
    tessel::FreeTracked(a);
    tessel::FreeTracked(b);
    tessel::FreeTracked(c);
}

TEST(TrackedMemory, DataIsAlignedAndZeroedWhenAsked) {
    std::vector<void*> blocks;
    for (uint32_t size : {1u, 3u, 16u, 100u, 4097u}) {
        auto* data = static_cast<unsigned char*>(tessel::AllocTrackedZeroed(size, nullptr, 0));
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(data) % 16, 0u);
        for (uint32_t i = 0; i < size; ++i) {
            ASSERT_EQ(data[i], 0) << size;
        }
        blocks.push_back(data);
    }
    for (void* block : blocks) {
        tessel::FreeTracked(block);
    }
    tessel::FreeTracked(nullptr);  // ignored
    EXPECT_EQ(tessel::CheckTrackedBlocks(), 0);
}

TEST(TrackedMemory, GrowingZeroesTheNewBytesAndKeepsThePlaceInTheList) {
    LogScope log;
    void* older = tessel::AllocTracked(1, nullptr, 1);
    auto* grown = static_cast<unsigned char*>(tessel::AllocTracked(8, nullptr, 2));
    void* newer = tessel::AllocTracked(1, nullptr, 3);
    std::memset(grown, 0xAB, 8);
    uint16_t serialBefore = HeaderOf(grown)->serial;
    for (uint32_t size : {64u, 100000u, 300000u}) {
        grown = static_cast<unsigned char*>(tessel::ReallocTracked(grown, size, nullptr, 4));
        ASSERT_NE(grown, nullptr);
        for (uint32_t i = 0; i < 8; ++i) {
            ASSERT_EQ(grown[i], 0xAB);
        }
        for (uint32_t i = 8; i < size; ++i) {
            ASSERT_EQ(grown[i], 0) << "byte " << i << " of " << size;
        }
        std::memset(grown + 8, 0, size - 8);
    }
    EXPECT_NE(HeaderOf(grown)->serial, serialBefore);
    EXPECT_EQ(HeaderOf(grown)->line, 4);
    EXPECT_EQ(tessel::CheckTrackedBlocks(), 0);
    tessel::DumpTrackedBlocks();
    std::string text = log.Text();
    size_t newest = text.find("line:3 ");
    size_t middle = text.find("line:4 ");
    size_t oldest = text.find("line:1 ");
    EXPECT_LT(newest, middle);
    EXPECT_LT(middle, oldest);
    EXPECT_NE(text.find("Total size:300002("), std::string::npos);
    EXPECT_NE(text.find("Alloc num:3"), std::string::npos);
    tessel::FreeTracked(older);
    tessel::FreeTracked(newer);
    // Now the only block, also the head: shrinking keeps it listed.
    grown = static_cast<unsigned char*>(tessel::ReallocTracked(grown, 2, nullptr, 5));
    EXPECT_EQ(grown[0], 0xAB);
    EXPECT_EQ(tessel::CheckTrackedBlocks(), 0);
    tessel::FreeTracked(grown);
}

TEST(TrackedMemory, ReallocOfNullAllocates) {
    void* block = tessel::ReallocTracked(nullptr, 10, "n.cpp", 9);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(HeaderOf(block)->size, 10u);
    EXPECT_STREQ(HeaderOf(block)->name, "n.cpp");
    tessel::FreeTracked(block);
}

TEST(TrackedMemory, ZeroSizedBlocksAreTracedAtEachStep) {
    LogScope log;
    void* block = tessel::AllocTracked(0, nullptr, 21);
    std::string afterAlloc = ExpectedLine(block, "", 21, "", "");
    block = tessel::ReallocTracked(block, 0, nullptr, 22);
    std::string afterRealloc = ExpectedLine(block, "", 22, "", "");
    void* kept = block;
    std::string beforeFree = ExpectedLine(kept, "", 22, "", "");
    tessel::FreeTracked(block);
    EXPECT_EQ(log.Text(), "T:mem alloc  " + afterAlloc.substr(2) + "T:mem realloc  " +
                              afterRealloc.substr(2) + "T:mem free  " + beforeFree.substr(2));
}

TEST(TrackedMemory, DamagedHeaderIsFoundAndReported) {
    LogScope log;
    void* a = tessel::AllocTracked(4, nullptr, 1);
    void* b = tessel::AllocTracked(4, nullptr, 2);
    void* c = tessel::AllocTracked(4, nullptr, 3);
    std::memset(a, 'A', 4);
    std::memset(b, 'B', 4);
    std::memset(c, 'C', 4);
    EXPECT_EQ(tessel::CheckTrackedBlocks(), 0);
    HeaderOf(b)->line = 99;  // an overrun of the block before it would do this
    EXPECT_EQ(tessel::CheckTrackedBlocks(), -1);
    EXPECT_EQ(log.Text(), "T:以下のメモリ確保情報が破損しました" +
                              ExpectedLine(b, "", 99, "BBBB", "42 42 42 42").substr(2));
    HeaderOf(b)->line = 2;
    EXPECT_EQ(tessel::CheckTrackedBlocks(), 0);
    // The guard copy itself damaged counts as well.
    reinterpret_cast<TrackedBlockHeader*>(static_cast<char*>(c) - tessel::kTrackedDataOffset / 2)
        ->size = 5;
    EXPECT_EQ(tessel::CheckTrackedBlocks(), -1);
    reinterpret_cast<TrackedBlockHeader*>(static_cast<char*>(c) - tessel::kTrackedDataOffset / 2)
        ->size = 4;
    EXPECT_EQ(tessel::CheckTrackedBlocks(), 0);
    tessel::FreeTracked(a);
    tessel::FreeTracked(b);
    tessel::FreeTracked(c);
}

TEST(TrackedMemory, FreeingABlockRefreshesItsNeighboursGuards) {
    void* a = tessel::AllocTracked(4, nullptr, 1);
    void* b = tessel::AllocTracked(4, nullptr, 2);
    void* c = tessel::AllocTracked(4, nullptr, 3);
    void* d = tessel::AllocTracked(4, nullptr, 4);
    tessel::FreeTracked(b);  // a's newer link and c's older link change
    EXPECT_EQ(tessel::CheckTrackedBlocks(), 0);
    tessel::FreeTracked(d);  // the newest: c becomes the head
    EXPECT_EQ(tessel::CheckTrackedBlocks(), 0);
    tessel::FreeTracked(a);
    EXPECT_EQ(tessel::CheckTrackedBlocks(), 0);
    tessel::FreeTracked(c);
}

TEST(TrackedMemory, SerialWrapsAfter65536Allocations) {
    void* first = tessel::AllocTracked(1, nullptr, 0);
    uint16_t serial = HeaderOf(first)->serial;
    for (int i = 0; i < 65535; ++i) {
        tessel::FreeTracked(tessel::AllocTracked(1, nullptr, 0));
    }
    void* again = tessel::AllocTracked(1, nullptr, 0);
    EXPECT_EQ(HeaderOf(again)->serial, serial);
    tessel::FreeTracked(first);
    tessel::FreeTracked(again);
}

TEST(TrackedMemory, HeapExhaustionReportsAndKeepsTheOldBlock) {
    LogScope log;
    auto* kept = static_cast<char*>(tessel::AllocTracked(2, nullptr, 5));
    kept[0] = 'o';
    kept[1] = 'k';
    tessel::SetTrackedHeapFailing(true);
    EXPECT_EQ(tessel::AllocTracked(10, nullptr, 6), nullptr);
    EXPECT_EQ(tessel::ReallocTracked(kept, 1000, nullptr, 7), nullptr);
    tessel::SetTrackedHeapFailing(false);
    std::string report = "T:\r\nT:Alloc memory dump\r\n" +
                         ExpectedLine(kept, "", 5, "ok", "6f 6b") +
                         "T:\tTotal size:2(0.002kb)  Alloc num:1\r\nT:\r\n";
    EXPECT_EQ(log.Text(), report + report);
    EXPECT_EQ(kept[0], 'o');
    EXPECT_EQ(tessel::CheckTrackedBlocks(), 0);

    // A failed allocation also checks every header; a failed resize does not.
    HeaderOf(kept)->line = 55;
    tessel::SetTrackedHeapFailing(true);
    EXPECT_EQ(tessel::ReallocTracked(kept, 1000, nullptr, 7), nullptr);
    EXPECT_EQ(log.Text().find("以下のメモリ確保情報が破損しました"), std::string::npos);
    EXPECT_EQ(tessel::AllocTracked(10, nullptr, 6), nullptr);
    tessel::SetTrackedHeapFailing(false);
    EXPECT_NE(log.Text().find("以下のメモリ確保情報が破損しました"), std::string::npos);
    HeaderOf(kept)->line = 5;
    tessel::FreeTracked(kept);
}

TEST(TrackedMemory, ManyThreadsShareTheList) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            std::vector<void*> mine;
            for (int i = 0; i < 2000; ++i) {
                mine.push_back(tessel::AllocTracked(static_cast<uint32_t>(i % 50 + 1), nullptr, t));
                if (i % 3 == 0) {
                    mine.back() = tessel::ReallocTracked(mine.back(), 80, nullptr, t);
                }
                if (i % 2 == 0) {
                    tessel::FreeTracked(mine.front());
                    mine.erase(mine.begin());
                }
            }
            for (void* block : mine) {
                tessel::FreeTracked(block);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(tessel::CheckTrackedBlocks(), 0);
    LogScope log;
    tessel::DumpTrackedBlocks();
    EXPECT_NE(log.Text().find("Total size:0(0.000kb)  Alloc num:0"), std::string::npos);
}

}  // namespace
