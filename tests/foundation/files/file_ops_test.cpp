// The file layer's plain files: counts, the end flag, the reader thread and its cache.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "foundation/files/file_ops.h"
#include "foundation/files/files_test_support.h"
#include "foundation/files/streams.h"
#include "foundation/memory/memory.h"
#include "platform/kernel.h"

namespace {

using tessel::FileHandle;
using tessel_test::ScratchDirectory;

std::string PatternBytes(size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    uint32_t state = seed;
    for (size_t i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = static_cast<char>(state >> 24);
    }
    return bytes;
}

struct Mode {
    const char* name;
    int cache;
    int async;
};

const Mode kModes[] = {
    {"plain", 0, 0},
    {"cache", 1, 0},
    {"async", 0, 1},
    {"cache+async", 1, 1},
};

// Reads and, for an asynchronous file, waits until the data is there.
uint32_t ReadAndWait(void* buffer, uint32_t size, uint32_t count, FileHandle file) {
    uint32_t got = tessel::FsRead(buffer, size, count, file);
    while (tessel::FsIdle(file) == 0) {
        Sleep(0);
    }
    return got;
}

class FileLayerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        tessel::SetArchiveUse(0);
        tessel::InstallFileOps(nullptr);
    }
    void TearDown() override { EXPECT_EQ(tessel::CheckTrackedBlocks(), 0); }
    ScratchDirectory dir_;
};

TEST_F(FileLayerTest, ItemCountsAndTheEndFlagInEveryMode) {
    tessel_test::WriteWholeFile(dir_.Linux("nine.bin"), "abcdefghi");
    for (const Mode& mode : kModes) {
        SCOPED_TRACE(mode.name);
        FileHandle file = tessel::FsOpen("NINE.BIN", mode.cache, 0, mode.async);
        ASSERT_NE(file, 0u);
        char buffer[64] = {};
        // 10 items of 4 bytes with 9 bytes left: 2 whole items.
        EXPECT_EQ(ReadAndWait(buffer, 4, 10, file), 2u);
        EXPECT_EQ(std::string(buffer, 8), "abcdefgh");
        EXPECT_EQ(tessel::FsTell(file), 8);
        EXPECT_EQ(tessel::FsEof(file), 0);
        // With 1 byte left an item of 4 cannot be read: 0 and the end flag.
        EXPECT_EQ(ReadAndWait(buffer, 4, 1, file), 0u);
        EXPECT_NE(tessel::FsEof(file), 0);
        // Exactly up to the end does not set the flag; the next read does.
        EXPECT_EQ(tessel::FsSeek(file, 5, 0), 0);
        EXPECT_EQ(tessel::FsEof(file), 0);
        EXPECT_EQ(ReadAndWait(buffer, 1, 4, file), 4u);
        EXPECT_EQ(std::string(buffer, 4), "fghi");
        EXPECT_EQ(tessel::FsEof(file), 0);
        EXPECT_EQ(ReadAndWait(buffer, 1, 1, file), 0u);
        EXPECT_EQ(tessel::FsEof(file), -1);
        // A seek beyond the end is allowed; a read there reads nothing.
        EXPECT_EQ(tessel::FsSeek(file, 100, 0), 0);
        std::memset(buffer, 'z', sizeof(buffer));
        EXPECT_EQ(ReadAndWait(buffer, 1, 8, file), 0u);
        EXPECT_EQ(buffer[0], 'z');
        EXPECT_NE(tessel::FsEof(file), 0);
        // Origins, and positions before the start refused.
        EXPECT_EQ(tessel::FsSeek(file, -3, 2), 0);
        EXPECT_EQ(tessel::FsTell(file), 6);
        EXPECT_EQ(tessel::FsSeek(file, -2, 1), 0);
        EXPECT_EQ(ReadAndWait(buffer, 1, 1, file), 1u);
        EXPECT_EQ(buffer[0], 'e');
        EXPECT_EQ(tessel::FsSeek(file, -20, 1), -1);
        EXPECT_EQ(tessel::FsTell(file), 5);
        // Size 0, and a count whose byte total overflows 32 bits.
        EXPECT_EQ(ReadAndWait(buffer, 0, 5, file), 0u);
        EXPECT_EQ(ReadAndWait(buffer, 0x10000, 0x10000, file), 0u);
        EXPECT_NE(tessel::FsEof(file), 0);
        EXPECT_EQ(tessel::FsClose(file), 0);
    }
}

TEST_F(FileLayerTest, ReaderThreadAndCacheReadTheSameBytesAsPlainReads) {
    const std::string data = PatternBytes(700000, 7);
    tessel_test::WriteWholeFile(dir_.Linux("big.bin"), data);
    for (const Mode& mode : kModes) {
        SCOPED_TRACE(mode.name);
        FileHandle file = tessel::FsOpen("big.bin", mode.cache, 0, mode.async);
        ASSERT_NE(file, 0u);
        uint32_t state = 12345;
        std::vector<char> buffer(300000);
        for (int step = 0; step < 300; ++step) {
            state = state * 1103515245u + 12345u;
            uint32_t offset = (state >> 8) % data.size();
            state = state * 1103515245u + 12345u;
            // Mostly small reads, some larger than the cache.
            uint32_t size = (step % 10 == 0) ? (state >> 8) % 300000 : (state >> 8) % 5000;
            if (step % 3 != 0) {
                ASSERT_EQ(tessel::FsSeek(file, static_cast<int32_t>(offset), 0), 0);
            } else {
                offset = static_cast<uint32_t>(tessel::FsTell(file));  // go on from here
            }
            if (step == 50 && mode.cache != 0) {
                Sleep(250);  // let the cache fill while idle
            }
            uint32_t expected =
                offset >= data.size() ? 0 : std::min<uint32_t>(size, data.size() - offset);
            uint32_t got = ReadAndWait(buffer.data(), 1, size, file);
            ASSERT_EQ(got, expected) << "offset " << offset << " size " << size;
            ASSERT_EQ(std::memcmp(buffer.data(), data.data() + offset, got), 0)
                << "offset " << offset << " size " << size;
        }
        EXPECT_EQ(tessel::FsClose(file), 0);
    }
}

TEST_F(FileLayerTest, TheReaderThreadServesWhileAnotherThreadWorks) {
    const std::string data = PatternBytes(300000, 11);
    tessel_test::WriteWholeFile(dir_.Linux("shared.bin"), data);
    tessel_test::LogScope log;  // the other thread logs and takes tracked memory
    std::atomic<bool> done = false;
    std::thread worker([&done] {
        for (int n = 0; !done.load(); ++n) {
            void* block = tessel::AllocTracked(64 + n % 512, __FILE__, __LINE__);
            tessel::WriteLogFormat("worker %d", n);
            tessel::FreeTracked(block);
        }
    });
    const std::string path = dir_.Windows() + "\\shared.bin";
    for (const Mode& mode : {kModes[1], kModes[2], kModes[3]}) {
        SCOPED_TRACE(mode.name);
        FileHandle file = tessel::FsOpen(path.c_str(), mode.cache, 0, mode.async);
        ASSERT_NE(file, 0u);
        std::string read;
        char chunk[7000];
        while (uint32_t got = ReadAndWait(chunk, 1, sizeof(chunk), file)) {
            read.append(chunk, got);
        }
        EXPECT_EQ(read, data);
        tessel::FsClose(file);
    }
    done = true;
    worker.join();
}

TEST_F(FileLayerTest, SequentialReadsAreServedFromTheFilledCache) {
    const std::string data = PatternBytes(400000, 3);
    tessel_test::WriteWholeFile(dir_.Linux("music.bin"), data);
    FileHandle file = tessel::FsOpen("music.bin", 1, 0, 0);
    ASSERT_NE(file, 0u);
    std::string read;
    char chunk[4096];
    while (uint32_t got = tessel::FsRead(chunk, 1, sizeof(chunk), file)) {
        read.append(chunk, got);
        if (read.size() % (64 * 4096) == 0) {
            Sleep(150);
        }
    }
    EXPECT_EQ(read, data);
    EXPECT_NE(tessel::FsEof(file), 0);
    tessel::FsClose(file);
}

TEST_F(FileLayerTest, ASynchronousReadThatGetsLessReportsWhatItGot) {
    tessel_test::WriteWholeFile(dir_.Linux("shrinks.bin"), PatternBytes(1000, 1));
    for (const Mode& mode : {kModes[0], kModes[1]}) {
        SCOPED_TRACE(mode.name);
        FileHandle file = tessel::FsOpen("shrinks.bin", mode.cache, 0, 0);
        ASSERT_NE(file, 0u);
        ASSERT_EQ(truncate(dir_.Linux("shrinks.bin").c_str(), 10), 0);  // shrinks after open
        char buffer[1000];
        EXPECT_EQ(tessel::FsRead(buffer, 4, 250, file), 2u);  // 10 bytes: 2 whole items
        EXPECT_EQ(tessel::FsTell(file), 10) << "just past what was read";
        tessel::FsClose(file);
        tessel_test::WriteWholeFile(dir_.Linux("shrinks.bin"), PatternBytes(1000, 1));
    }
}

TEST_F(FileLayerTest, MissingFilesFailQuietly) {
    tessel_test::LogScope log;
    for (const Mode& mode : kModes) {
        EXPECT_EQ(tessel::FsOpen("absent.bin", mode.cache, 0, mode.async), 0u) << mode.name;
    }
    EXPECT_EQ(tessel::FsOpenRead("absent.bin", 0), 0u);
    EXPECT_EQ(log.Text(), "");
}

TEST_F(FileLayerTest, ReadLineCases) {
    struct Case {
        std::string bytes;
        int bufferSize;
        std::vector<std::string> lines;  // then -1
    };
    const std::vector<Case> cases = {
        {"ab\r\ncd", 64, {"ab", "cd"}},
        {"ab\r\n\r\nc\r\n", 64, {"ab", "", "c"}},
        {"one\ntwo", 64, {"one\ntwo"}},  // a lone LF does not end a line
        // The rest of a long line comes next; its CR LF then ends an empty line.
        {"abcdefgh\r\nx", 5, {"abcd", "efgh", "", "x"}},
        // A double-byte character cut by the buffer's end is left for the next call.
        {"abc\x82\xa0z", 5, {"abc", "\x82\xa0z"}},
        {"ab\r", 64, {"ab\r"}},
        // A lead byte that ends the file is the last line's content.
        {"ab\r\nc\x82", 64, {"ab", "c\x82"}},
        {"\x82\xa0\x82", 3, {"\x82\xa0", "\x82"}},
        {"a\x82", 2, {"a", "\x82"}},
        // A lead byte takes the byte after it whatever that is, a CR too:
        // the CR LF behind it ends no line.
        {"ab\x81\r\ncd\r\ne", 64, {"ab\x81\r\ncd", "e"}},
    };
    for (const Case& c : cases) {
        tessel_test::WriteWholeFile(dir_.Linux("lines.txt"), c.bytes);
        FileHandle file = tessel::FsOpenRead("lines.txt", 0);
        ASSERT_NE(file, 0u);
        std::vector<char> buffer(static_cast<size_t>(c.bufferSize));
        for (const std::string& line : c.lines) {
            int length = tessel::FsReadLine(buffer.data(), c.bufferSize, file);
            ASSERT_EQ(length, static_cast<int>(line.size())) << c.bytes;
            EXPECT_EQ(std::string(buffer.data()), line);
        }
        EXPECT_EQ(tessel::FsReadLine(buffer.data(), c.bufferSize, file), -1) << c.bytes;
        tessel::FsClose(file);
    }
    // The position after a line is just past its CR LF.
    tessel_test::WriteWholeFile(dir_.Linux("lines.txt"), "ab\r\ncd");
    FileHandle file = tessel::FsOpenRead("lines.txt", 1);
    char buffer[64];
    EXPECT_EQ(tessel::FsReadLine(buffer, sizeof(buffer), file), 2);
    EXPECT_EQ(tessel::FsTell(file), 4);
    EXPECT_EQ(tessel::FsAtEnd(file), 0);
    EXPECT_EQ(tessel::FsReadLine(buffer, sizeof(buffer), file), 2);
    EXPECT_EQ(tessel::FsAtEnd(file), 1);
    EXPECT_EQ(tessel::FsTell(file), 6);
    tessel::FsClose(file);
}

TEST_F(FileLayerTest, SearchesReportNamesSizesAndLocalDates) {
    tessel_test::WriteWholeFile(dir_.Linux("a.dat"), "12345");
    ASSERT_EQ(mkdir(dir_.Linux("Sub").c_str(), 0777), 0);
    const tessel::FileOps& ops = tessel::CurrentFileOps;
    tessel::FileFindInfo info{};
    tessel::FindHandle search = ops.findFirst("*.DAT", &info);
    ASSERT_NE(search, -1);
    EXPECT_STREQ(info.name, "a.dat");
    EXPECT_EQ(info.isDirectory, 0);
    EXPECT_EQ(info.sizeLow, 5u);
    EXPECT_EQ(info.sizeHigh, 0u);
    SYSTEMTIME now;
    GetLocalTime(&now);
    EXPECT_EQ(info.lastWritten[0], now.wYear);
    EXPECT_EQ(info.lastWritten[1], now.wMonth);
    EXPECT_GE(info.created[0], 2000);
    EXPECT_EQ(ops.findNext(search, &info), -1);
    EXPECT_EQ(ops.findClose(search), 0);
    search = ops.findFirst("sub", nullptr);
    ASSERT_NE(search, -1);
    EXPECT_EQ(ops.findClose(search), 0);
    search = ops.findFirst("s*", &info);
    EXPECT_EQ(info.isDirectory, 1);
    ops.findClose(search);
    EXPECT_EQ(ops.findFirst("*.none", &info), -1);

    char current[260];
    EXPECT_GT(tessel::FsGetCurrentDir(current), 0);
    EXPECT_EQ(std::string(current), dir_.Windows());
    EXPECT_NE(ops.setCurrentDir("SUB"), 0);
    tessel::FsGetCurrentDir(current);
    EXPECT_EQ(std::string(current), dir_.Windows() + "\\Sub");
    EXPECT_EQ(ops.setCurrentDir("missing"), 0);
}

int IdleAlways(FileHandle) {
    return 1;
}
tessel::FileHandle OpenNothing(const char*, int, int, int) {
    return 0;
}
tessel::FileHandle OpenNothingEither(const char*, int, int, int) {
    return 0;
}

TEST_F(FileLayerTest, DefaultTablesFollowTheArchiveSetting) {
    EXPECT_EQ(tessel::IsDefaultFileOps(), 1);
    tessel::FileOps changedIdle = tessel::PlainFileOps();
    changedIdle.idle = IdleAlways;
    tessel::InstallFileOps(&changedIdle);
    EXPECT_EQ(tessel::IsDefaultFileOps(), 1);  // the idle slot is not compared

    tessel::FileOps archive = tessel::PlainFileOps();
    archive.open = OpenNothing;
    tessel::RegisterArchiveFileOps(&archive);
    EXPECT_EQ(tessel::CurrentFileOps.open, tessel::PlainFsOpen);  // archive use is off
    tessel::SetArchiveUse(1);
    EXPECT_EQ(tessel::CurrentFileOps.open, OpenNothing);  // the default followed the setting
    tessel::SetArchiveUse(0);
    EXPECT_EQ(tessel::CurrentFileOps.open, tessel::PlainFsOpen);

    tessel::FileOps own = tessel::PlainFileOps();
    own.open = OpenNothingEither;
    tessel::InstallFileOps(&own);
    EXPECT_EQ(tessel::IsDefaultFileOps(), 0);
    tessel::SetArchiveUse(1);
    tessel::SetArchiveUse(0);
    EXPECT_EQ(tessel::CurrentFileOps.open, OpenNothingEither);  // a program's own table stays
    EXPECT_EQ(tessel::FsOpenRead("anything", 0), 0u);
    tessel::RegisterArchiveFileOps(nullptr);
    tessel::InstallFileOps(nullptr);
    EXPECT_EQ(tessel::CurrentFileOps.open, tessel::PlainFsOpen);
}

TEST_F(FileLayerTest, FileStreamsGoThroughTheTableInForce) {
    tessel_test::WriteWholeFile(dir_.Linux("s.bin"), "stream");
    FileHandle file = tessel::FsOpenRead("S.BIN", 0);
    tessel::StreamOps* ops = tessel::GetFileStreamOps();
    char buffer[8] = {};
    EXPECT_EQ(ops->seek(file, 2, 0), 0);
    EXPECT_EQ(ops->read(buffer, 1, 8, file), 4u);
    EXPECT_STREQ(buffer, "ream");
    EXPECT_EQ(ops->tell(file), 6);
    EXPECT_EQ(ops->idle(file), 1);
    EXPECT_EQ(ops->eof(file), 0);
    EXPECT_EQ(ops->read(buffer, 1, 8, file), 0u);
    EXPECT_NE(ops->eof(file), 0);
    EXPECT_EQ(ops->close(file), 0);
}

}  // namespace
