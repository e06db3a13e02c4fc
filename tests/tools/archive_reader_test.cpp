// Archives the packer writes, read back through the library's reader in
// memory: contents, lookups, listings; and damaged archives refused or read
// within bounds.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <set>

#include "foundation/base/text.h"
#include "foundation/files/archive.h"
#include "foundation/files/files_test_support.h"
#include "tests/tools/archive_test_support.h"
#include "tools/lib/archive_pack.h"

namespace {

using namespace tessel;
using namespace tessel_test;

struct PackCase {
    const char* label;
    ArchivePackOptions options;
    const char* openKey;
};

ArchivePackOptions Options(const char* key, bool second, bool compress, uint16_t version) {
    ArchivePackOptions o;
    o.keyText = key;
    o.secondKey = second;
    o.compress = compress;
    o.version = version;
    return o;
}

TEST(ArchiveReader, EveryPackedArchiveReadsBackByteForByte) {
    const PackCase cases[] = {
        {"default key, packed", Options(nullptr, false, true, 4), nullptr},
        {"key text, packed", Options("secret", false, true, 4), "secret"},
        {"second key, packed", Options(nullptr, true, true, 4), "anything"},
        {"key text, stored", Options("k", false, false, 4), "k"},
        {"version 2", Options("abc", false, true, 2), "abc"},
        {"version 1 (short entries)", Options(nullptr, false, true, 1), nullptr},
        {"version 0", Options(nullptr, false, false, 0), ""},
    };
    const FileTree tree = SampleTree();
    for (const PackCase& c : cases) {
        SCOPED_TRACE(c.label);
        std::vector<uint8_t> bytes = BuildArchive(tree, c.options);
        ASSERT_FALSE(bytes.empty());
        const std::vector<uint8_t> original = bytes;
        ArchiveState state;
        ArchiveStateClear(&state);
        ASSERT_EQ(ArchiveOpenInMemory(&state, bytes.data(), bytes.size(), c.openKey), 0);
        for (const auto& [path, contents] : tree) {
            std::string got;
            ASSERT_TRUE(ReadArchived(&state, path, &got)) << path;
            EXPECT_EQ(got, contents) << path;
        }
        ArchiveClose(&state);
        EXPECT_EQ(bytes, original) << "closing scrambles the caller's buffer again";
    }
}

TEST(ArchiveReader, CompressibleFilesArePackedAndNoiseIsStored) {
    std::vector<uint8_t> bytes = BuildArchive(SampleTree());
    ArchiveState state;
    ArchiveStateClear(&state);
    ASSERT_EQ(ArchiveOpenInMemory(&state, bytes.data(), bytes.size(), nullptr), 0);
    const uint8_t* title = ArchiveFindFile(&state, "image\\title.png");
    const uint8_t* noise = ArchiveFindFile(&state, "noise.bin");
    ASSERT_NE(title, nullptr);
    ASSERT_NE(noise, nullptr);
    uint32_t stored = 0;
    std::memcpy(&stored, title + 40, 4);
    EXPECT_LT(stored, 20000u);
    std::memcpy(&stored, noise + 40, 4);
    EXPECT_EQ(stored, kArchiveNotCompressed);
    ArchiveClose(&state);
}

class OpenSample : public ::testing::Test {
  protected:
    void SetUp() override {
        bytes_ = BuildArchive(SampleTree());
        ArchiveStateClear(&state_);
        ASSERT_EQ(ArchiveOpenInMemory(&state_, bytes_.data(), bytes_.size(), nullptr), 0);
    }
    void TearDown() override { ArchiveClose(&state_); }

    std::set<std::string> List(const char* pattern) {
        std::set<std::string> names;
        FileFindInfo info;
        ArchiveFind* find = ArchiveFindFirst(&state_, pattern, &info);
        if (find == nullptr) {
            return names;
        }
        do {
            names.insert(info.name);
        } while (ArchiveFindNext(find, &info) == 0 && ++find->index > 0);
        ArchiveFindClose(find);
        return names;
    }

    std::vector<uint8_t> bytes_;
    ArchiveState state_;
};

TEST_F(OpenSample, LookupIgnoresAsciiCaseAndBothSeparators) {
    std::string got;
    for (const char* path : {"image\\Player.png", "IMAGE\\PLAYER.PNG", "image/player.png",
                             "Image/Enemy\\SMALL/A.BMP", "\\image\\title.png", "データ\\表.CSV"}) {
        EXPECT_TRUE(ReadArchived(&state_, path, &got)) << path;
    }
    for (const char* path : {"image", "image\\", "image\\nothing.png", "nothing\\a.bmp",
                             "image\\small\\a.bmp", "", "readme.txt\\x"}) {
        EXPECT_EQ(ArchiveFindFile(&state_, path), nullptr) << path;
    }
}

TEST_F(OpenSample, DirectoryWalksChangeAndRestoreTheCurrentDirectory) {
    EXPECT_EQ(ArchiveEnterDir(&state_, "image\\enemy", 1, nullptr), 0);
    EXPECT_NE(ArchiveFindFile(&state_, "boss.png"), nullptr);
    EXPECT_EQ(ArchiveEnterDir(&state_, "..", 1, nullptr), 0);
    EXPECT_NE(ArchiveFindFile(&state_, "title.png"), nullptr);
    ArchiveNameKey key;
    EXPECT_EQ(ArchiveEnterDir(&state_, "enemy\\missing\\deeper", 1, &key), -1);
    EXPECT_EQ(key.wordCount, 2);  // "MISSING": the component that failed
    EXPECT_NE(ArchiveFindFile(&state_, "title.png"), nullptr) << "restored";
    EXPECT_EQ(ArchiveEnterDir(&state_, "enemy\\missing", 0, nullptr), -1);
    EXPECT_NE(ArchiveFindFile(&state_, "boss.png"), nullptr) << "left where the walk stopped";
    EXPECT_EQ(ArchiveEnterDir(&state_, "\\", 1, nullptr), 0);
    EXPECT_EQ(ArchiveEnterDir(&state_, "..", 1, nullptr), -1) << "the root has no parent";
    EXPECT_EQ(ArchiveEnterDir(&state_, ".", 1, nullptr), 0);
    EXPECT_NE(ArchiveFindFile(&state_, "readme.txt"), nullptr);
}

TEST_F(OpenSample, ListingsReportStoredCaseDotsAndWildcards) {
    const std::set<std::string> root = List("*");
    EXPECT_TRUE(root.count("."));
    EXPECT_FALSE(root.count("..")) << "the root lists no parent";
    EXPECT_TRUE(root.count("image"));
    EXPECT_TRUE(root.count("readme.txt"));
    EXPECT_TRUE(root.count("データ"));
    EXPECT_EQ(root.size(), 7u);
    EXPECT_EQ(List("image\\*"),
              (std::set<std::string>{".", "..", "Player.png", "title.png", "enemy"}));
    EXPECT_EQ(List("IMAGE\\*.PNG"), (std::set<std::string>{"Player.png", "title.png"}));
    EXPECT_EQ(List("image/p?ayer.*"), (std::set<std::string>{"Player.png"}));
    EXPECT_EQ(List("データ\\*.csv"), (std::set<std::string>{"表.csv"}));
    EXPECT_TRUE(List("nothing\\*").empty());
    EXPECT_TRUE(List("*.zip").empty());

    FileFindInfo info;
    ArchiveFind* find = ArchiveFindFirst(&state_, "image\\title.png", &info);
    ASSERT_NE(find, nullptr);
    EXPECT_EQ(info.isDirectory, 0);
    EXPECT_EQ(info.sizeLow, 20000u);
    EXPECT_EQ(info.sizeHigh, 0u);
    ArchiveFindClose(find);
    find = ArchiveFindFirst(&state_, "ENEMY", &info);
    EXPECT_EQ(find, nullptr) << "enemy lies in image, not in the root";
    find = ArchiveFindFirst(&state_, "image\\ENEMY", &info);
    ASSERT_NE(find, nullptr);
    EXPECT_EQ(info.isDirectory, 1);
    EXPECT_STREQ(info.name, "enemy");
    ArchiveFindClose(find);
}

TEST_F(OpenSample, StreamsClampReadsAndSeeks) {
    ArchiveStream stream;
    ASSERT_EQ(ArchiveStreamOpen(&stream, &state_, "image\\enemy\\boss.png", 0), 0);
    std::vector<char> buffer(200);
    EXPECT_EQ(ArchiveStreamRead(&stream, buffer.data(), 100), 100u);
    EXPECT_EQ(ArchiveStreamTell(&stream), 100);
    EXPECT_EQ(ArchiveStreamRead(&stream, buffer.data(), 100), 23u) << "only the bytes left";
    EXPECT_EQ(ArchiveStreamEof(&stream), 0);
    EXPECT_EQ(ArchiveStreamRead(&stream, buffer.data(), 100), 0u);
    EXPECT_EQ(ArchiveStreamEof(&stream), -1);
    EXPECT_EQ(ArchiveStreamSeek(&stream, -10, 2), 0);
    EXPECT_EQ(ArchiveStreamEof(&stream), 0);
    EXPECT_EQ(ArchiveStreamTell(&stream), 113);
    EXPECT_EQ(ArchiveStreamSeek(&stream, 1000, 0), 0);
    EXPECT_EQ(ArchiveStreamTell(&stream), 123);
    EXPECT_EQ(ArchiveStreamSeek(&stream, -1000, 1), 0);
    EXPECT_EQ(ArchiveStreamTell(&stream), 0);
    EXPECT_EQ(ArchiveStreamIdle(&stream), 1);
    ArchiveStreamClose(&stream);

    ASSERT_EQ(ArchiveStreamOpen(&stream, &state_, "empty.bin", 0), 0);
    EXPECT_EQ(ArchiveStreamRead(&stream, buffer.data(), 10), 0u);
    EXPECT_EQ(ArchiveStreamEof(&stream), -1);
    ArchiveStreamClose(&stream);
    EXPECT_EQ(ArchiveStreamOpen(&stream, &state_, "image", 0), -1);
}

TEST_F(OpenSample, EntryLocationPointsAtStoredData) {
    uint32_t offset = 0;
    uint32_t size = 0;
    ASSERT_EQ(ArchiveEntryLocation(&state_, "image\\Player.png", &offset, &size), 0);
    const std::string expected = SampleTree()["image\\Player.png"];
    ASSERT_EQ(size, expected.size());
    EXPECT_EQ(std::memcmp(ArchiveImagePtr(&state_) + offset, expected.data(), size), 0);
    EXPECT_EQ(ArchiveEntryLocation(&state_, "missing", nullptr, nullptr), -1);
}

TEST(ArchiveReader, WrongKeysAndForeignBuffersAreRefusedAndLeftAsTheyWere) {
    LogScope log;
    std::vector<uint8_t> bytes = BuildArchive(SampleTree(), Options("right", false, true, 4));
    const std::vector<uint8_t> original = bytes;
    ArchiveState state;
    ArchiveStateClear(&state);
    EXPECT_EQ(ArchiveOpenInMemory(&state, bytes.data(), bytes.size(), "wrong"), -1);
    EXPECT_EQ(bytes, original);
    EXPECT_EQ(ArchiveOpenInMemory(&state, bytes.data(), bytes.size(), nullptr), -1);
    EXPECT_EQ(bytes, original);
    std::vector<uint8_t> text(100, 'x');
    EXPECT_EQ(ArchiveOpenInMemory(&state, text.data(), text.size(), nullptr), -1);
    EXPECT_EQ(text, std::vector<uint8_t>(100, 'x'));
    EXPECT_NE(log.Text().find(LogLine(ArchiveLog::NotArchiveData)), std::string::npos);

    // A key text is cut to its first 12 characters.
    bytes = BuildArchive(SampleTree(), Options("twelve chars", false, true, 4));
    ASSERT_EQ(ArchiveOpenInMemory(&state, bytes.data(), bytes.size(), "twelve chars and more"), 0);
    ArchiveClose(&state);
}

TEST(ArchiveReader, ReadingWholeFromAFileEqualsReadingFromMemory) {
    ScratchDirectory dir;
    const FileTree tree = SampleTree();
    std::vector<uint8_t> bytes = BuildArchive(tree, Options("key", false, true, 4));
    WriteWholeFile(dir.Linux("a.dat"), bytes);
    const std::string path = dir.Windows() + "\\a.dat";
    for (int mode = 0; mode < 3; ++mode) {
        SCOPED_TRACE(mode);
        ArchiveState state;
        ArchiveStateClear(&state);
        if (mode == 0) {
            ASSERT_EQ(ArchiveOpenStreamed(&state, path.c_str(), "key"), 0);
        } else {
            ASSERT_EQ(ArchiveOpenImage(&state, path.c_str(), "key", mode == 2), 0);
            while (ArchivePollLoad(&state) == 0) {
            }
            EXPECT_NE(ArchiveImagePtr(&state), nullptr);
        }
        for (const auto& [name, contents] : tree) {
            std::string got;
            ASSERT_TRUE(ReadArchived(&state, name, &got)) << name;
            EXPECT_EQ(got, contents) << name;
        }
        ArchiveCloseAndClear(&state);
    }
}

TEST(ArchiveReader, AsynchronousStreamsDeliverTheSameBytes) {
    ScratchDirectory dir;
    const FileTree tree = SampleTree();
    std::vector<uint8_t> bytes = BuildArchive(tree);
    WriteWholeFile(dir.Linux("a.dat"), bytes);
    const std::string path = dir.Windows() + "\\a.dat";
    ArchiveState state;
    ArchiveStateClear(&state);
    ASSERT_EQ(ArchiveOpenStreamed(&state, path.c_str(), nullptr), 0);
    for (const auto& [name, contents] : tree) {
        ArchiveStream stream;
        ASSERT_EQ(ArchiveStreamOpen(&stream, &state, name.c_str(), 1), 0);
        std::string got(contents.size(), '\0');
        size_t at = 0;
        while (at < got.size()) {
            const uint32_t n = ArchiveStreamRead(&stream, got.data() + at, 777);
            ASSERT_GT(n, 0u);
            while (ArchiveStreamIdle(&stream) == 0) {
            }
            at += n;
        }
        EXPECT_EQ(got, contents) << name;
        ArchiveStreamClose(&stream);
    }
    ArchiveClose(&state);
}

// Truncations and damage: each must be refused or read within bounds; the
// sanitizers catch any read outside the buffer.
void ReadEverything(std::vector<uint8_t> bytes, const FileTree& tree) {
    // The exact size, so that a read past the end leaves the heap block.
    uint8_t* buffer = new uint8_t[bytes.size()];
    if (!bytes.empty()) {
        std::memcpy(buffer, bytes.data(), bytes.size());
    }
    ArchiveState state;
    ArchiveStateClear(&state);
    if (ArchiveOpenInMemory(&state, buffer, static_cast<uint32_t>(bytes.size()), nullptr) == 0) {
        std::string got;
        for (const auto& entry : tree) {
            ReadArchived(&state, entry.first, &got);
        }
        FileFindInfo info;
        for (const char* pattern : {"*", "image\\*", "image\\enemy\\small\\*", "データ\\*"}) {
            ArchiveFind* find = ArchiveFindFirst(&state, pattern, &info);
            if (find != nullptr) {
                while (ArchiveFindNext(find, &info) == 0 && ++find->index < 100) {
                }
                ArchiveFindClose(find);
            }
        }
        ArchiveEnterDir(&state, "image\\enemy\\..", 1, nullptr);
        ArchiveClose(&state);
    }
    delete[] buffer;
}

FileTree SmallTree() {
    FileTree tree;
    tree["a.txt"] = RepeatingBytes(100);
    tree["d\\b.bin"] = NoiseBytes(20, 1);
    tree["d\\e\\c.txt"] = "";
    return tree;
}

TEST(ArchiveReader, EveryTruncationIsRefusedOrReadWithinBounds) {
    LogScope log;
    const FileTree tree = SmallTree();
    const std::vector<uint8_t> bytes = BuildArchive(tree);
    for (size_t size = 0; size < bytes.size(); ++size) {
        ReadEverything(std::vector<uint8_t>(bytes.begin(), bytes.begin() + size), tree);
    }
    // Shorter than the table block: refused at open, with a log line.
    std::vector<uint8_t> cut(bytes.begin(), bytes.end() - 1);
    ArchiveState state;
    ArchiveStateClear(&state);
    EXPECT_EQ(ArchiveOpenInMemory(&state, cut.data(), cut.size(), nullptr), -1);
    EXPECT_EQ(ArchiveOpenInMemory(&state, cut.data(), 10, nullptr), -1);
    EXPECT_EQ(ArchiveOpenInMemory(&state, cut.data(), 0, nullptr), -1);
    EXPECT_NE(log.Text().find(DamagedLine(ArchiveLog::TableOutsideFile)), std::string::npos);
    EXPECT_NE(log.Text().find(LogLine(ArchiveLog::DataShorterThanHeader)), std::string::npos);
}

TEST(ArchiveReader, RandomByteFlipsAreRefusedOrReadWithinBounds) {
    LogScope log;
    const FileTree tree = SmallTree();
    const std::vector<uint8_t> bytes = BuildArchive(tree);
    uint32_t x = 12345;
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> damaged = bytes;
        const int flips = 1 + round % 4;
        for (int i = 0; i < flips; ++i) {
            x = x * 1664525u + 1013904223u;
            damaged[(x >> 8) % damaged.size()] ^= static_cast<uint8_t>(1u << (x % 8));
        }
        ReadEverything(damaged, tree);
    }
}

// Writes a u32 at an offset of the descrambled archive and scrambles it again.
std::vector<uint8_t> WithField(const std::vector<uint8_t>& bytes, uint32_t at, uint32_t value) {
    uint8_t key[kArchiveKeySize];
    ArchiveKeyFromText(nullptr, key);
    std::vector<uint8_t> plain = bytes;
    ArchiveXorAt(plain.size(), plain.data(), 0, key);
    for (int i = 0; i < 4; ++i) {
        plain[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
    ArchiveXorAt(plain.size(), plain.data(), 0, key);
    return plain;
}

uint32_t FieldOf(const std::vector<uint8_t>& bytes, uint32_t at) {
    uint8_t key[kArchiveKeySize];
    ArchiveKeyFromText(nullptr, key);
    std::vector<uint8_t> plain = bytes;
    ArchiveXorAt(plain.size(), plain.data(), 0, key);
    return plain[at] | plain[at + 1] << 8 | plain[at + 2] << 16 |
           static_cast<uint32_t>(plain[at + 3]) << 24;
}

TEST(ArchiveReader, HostileOffsetsAndCountsAreRefused) {
    LogScope log;
    const FileTree tree = SmallTree();
    const std::vector<uint8_t> bytes = BuildArchive(tree);
    const uint32_t tableOffset = FieldOf(bytes, 12);
    const uint32_t fileTable = tableOffset + FieldOf(bytes, 16);
    const uint32_t dirTable = tableOffset + FieldOf(bytes, 20);
    const uint32_t hostile[] = {
        0xFFFFFFFFu, 0x80000000u, 0x7FFFFFF0u, 0xFFFFFFF0u, static_cast<uint32_t>(bytes.size()),
        1u << 20};
    // Header fields, the root record's fields and every field of the first
    // entries (names, data offsets, sizes, stored sizes, record offsets).
    std::vector<uint32_t> fields = {4, 8, 12, 16, 20};
    for (uint32_t f = 0; f < 16; f += 4) {
        fields.push_back(dirTable + f);
        fields.push_back(dirTable + 16 + f);
    }
    for (uint32_t entry = 0; entry < 6; ++entry) {
        for (uint32_t f : {0u, 4u, 32u, 36u, 40u}) {
            fields.push_back(fileTable + entry * kArchiveEntrySize + f);
        }
    }
    for (uint32_t at : fields) {
        for (uint32_t value : hostile) {
            ReadEverything(WithField(bytes, at, value), tree);
        }
    }
    // A name word count that runs past the table block.
    const uint32_t nameOfA = tableOffset + FieldOf(bytes, fileTable + kArchiveEntrySize);
    ReadEverything(WithField(bytes, nameOfA, (FieldOf(bytes, nameOfA) & 0xFFFF0000u) | 0xFFFF),
                   tree);
    // Each check of the reader fired somewhere among the cases.
    const ArchiveLog damages[] = {ArchiveLog::TableOutsideFile,      ArchiveLog::BadTablePlace,
                                  ArchiveLog::BadDirectoryPlace,     ArchiveLog::BadDirectoryCount,
                                  ArchiveLog::BadNamePlace,          ArchiveLog::BadNameLength,
                                  ArchiveLog::FileDataOutsideArchive};
    for (ArchiveLog damage : damages) {
        SCOPED_TRACE(static_cast<int>(damage));
        EXPECT_NE(log.Text().find(DamagedLine(damage)), std::string::npos);
    }
}

// Where the size field of a file's entry lies in the archive's bytes.
uint32_t SizeFieldOf(const std::vector<uint8_t>& bytes, const char* name) {
    std::vector<uint8_t> buffer = bytes;
    ArchiveState state;
    ArchiveStateClear(&state);
    if (ArchiveOpenInMemory(&state, buffer.data(), static_cast<uint32_t>(buffer.size()), nullptr) !=
        0) {
        return 0;
    }
    const uint8_t* entry = ArchiveFindFile(&state, name);
    const uint32_t at = entry == nullptr ? 0 : static_cast<uint32_t>(entry - buffer.data()) + 36;
    ArchiveClose(&state);
    return at;
}

// A compressed file must decode to exactly the size its entry claims. A claim
// of 0xFFFFFFFF once matched the decoder's -1, so a failed decoding passed for
// a 4 GiB file read from an untouched buffer; a claim the block's own header
// does not make is refused before the buffer for it is taken.
TEST(ArchiveReader, CompressedFilesWhoseSizeClaimTheBlockDoesNotMakeAreRefused) {
    LogScope log;
    ScratchDirectory dir;
    FileTree tree;
    tree["a.txt"] = RepeatingBytes(100);
    const std::vector<uint8_t> bytes = BuildArchive(tree);
    const uint32_t sizeField = SizeFieldOf(bytes, "a.txt");
    ASSERT_NE(sizeField, 0u);
    ASSERT_EQ(FieldOf(bytes, sizeField), 100u);
    ASSERT_NE(FieldOf(bytes, sizeField + 4), kArchiveNotCompressed);
    const std::string path = dir.Windows() + "\\a.dat";
    for (uint32_t claim : {0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu, 101u, 99u}) {
        std::vector<uint8_t> damaged = WithField(bytes, sizeField, claim);
        WriteWholeFile(dir.Linux("a.dat"), damaged);
        for (int mode = 0; mode < 3; ++mode) {
            SCOPED_TRACE(testing::Message() << claim << " mode " << mode);
            ArchiveState state;
            ArchiveStateClear(&state);
            const int opened =
                mode == 0 ? ArchiveOpenInMemory(&state, damaged.data(),
                                                static_cast<uint32_t>(damaged.size()), nullptr)
                          : ArchiveOpenStreamed(&state, path.c_str(), nullptr);
            ASSERT_EQ(opened, 0);
            ArchiveStream stream;
            const bool asynchronous = mode == 2;
            const int streamOpened = ArchiveStreamOpen(&stream, &state, "a.txt", asynchronous);
            if (asynchronous && claim <= 0x7FFFFFFFu) {
                // The block arrives after the open: the stream then gives nothing.
                ASSERT_EQ(streamOpened, 0);
                char byte = 0;
                EXPECT_EQ(ArchiveStreamRead(&stream, &byte, 1), 0u);
                ArchiveStreamClose(&stream);
            } else {
                EXPECT_EQ(streamOpened, -1);
            }
            ArchiveClose(&state);
        }
    }
    // Each refusal names its reason: two claims past any block in every mode,
    // three mismatches in the two modes that decode at the open.
    const std::string text = log.Text();
    auto count = [&text](const std::string& what) {
        int n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
            ++n;
        }
        return n;
    };
    EXPECT_EQ(count(DamagedLine(ArchiveLog::DecodedTooLarge)), 6);
    EXPECT_EQ(count(DamagedLine(ArchiveLog::DecodedSizeMismatch)), 6);
}

}  // namespace

namespace {

using namespace tessel;
using namespace tessel_test;

// Makes the tree as files under a folder through the platform's file calls
// (so that Japanese names land as the platform spells them).
void MakeFolder(const std::string& root, const FileTree& tree) {
    CreateDirectoryA(root.c_str(), nullptr);
    for (const auto& [path, contents] : tree) {
        for (size_t at = 0; at < path.size(); ++at) {
            if (IsLeadByte(&path[at], kCharSetShiftJis)) {
                ++at;  // a double-byte character, whose second byte may be '\\'
            } else if (path[at] == '\\') {
                CreateDirectoryA((root + "\\" + path.substr(0, at)).c_str(), nullptr);
            }
        }
        HANDLE file = CreateFileA((root + "\\" + path).c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
        DWORD written = 0;
        WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr);
        CloseHandle(file);
    }
}

TEST(ArchivePacker, AFolderOnDiskReadsBackByteForByte) {
    ScratchDirectory dir;
    const FileTree tree = SampleTree();
    const std::string folder = dir.Windows() + "\\data";
    MakeFolder(folder, tree);
    CreateDirectoryA((folder + "\\空のフォルダ").c_str(), nullptr);
    for (bool second : {false, true}) {
        ArchivePackOptions options;
        options.keyText = "disk";
        options.secondKey = second;
        const std::string archive = dir.Windows() + "\\data.dat";
        ASSERT_EQ(PackFolderToFile(folder.c_str(), archive.c_str(), options), 0);
        ArchiveState state;
        ArchiveStateClear(&state);
        ASSERT_EQ(ArchiveOpenStreamed(&state, archive.c_str(), "disk"), 0);
        for (const auto& [path, contents] : tree) {
            std::string got;
            ASSERT_TRUE(ReadArchived(&state, path, &got)) << path;
            EXPECT_EQ(got, contents) << path;
        }
        EXPECT_EQ(ArchiveEnterDir(&state, "空のフォルダ", 1, nullptr), 0);
        FileFindInfo info;
        ArchiveFind* find = ArchiveFindFirst(&state, "*", &info);
        ASSERT_NE(find, nullptr);
        EXPECT_STREQ(info.name, ".");
        EXPECT_EQ(ArchiveFindNext(find, &info), 0);
        EXPECT_STREQ(info.name, "..");
        ++find->index;
        EXPECT_EQ(ArchiveFindNext(find, &info), -1);
        ArchiveFindClose(find);
        ArchiveClose(&state);
    }
    std::vector<uint8_t> bytes;
    EXPECT_EQ(PackFolder((dir.Windows() + "\\missing").c_str(), {}, &bytes), -1);
}

TEST(ArchivePacker, RefusesAFileTheReaderCouldNotOpenBeforeReadingIt) {
    // Sparse files: only their sizes are real. The reader's offsets are
    // signed 32-bit values, so an archive stays below 2 GiB.
    const int64_t sizes[] = {int64_t{kMaxArchiveBytes} + 1, (int64_t{1} << 32) + 5};
    for (int64_t size : sizes) {
        SCOPED_TRACE(size);
        ScratchDirectory dir;
        ASSERT_EQ(mkdir(dir.Linux("big").c_str(), 0755), 0);
        FILE* file = std::fopen(dir.Linux("big/huge.bin").c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fclose(file);
        ASSERT_EQ(truncate(dir.Linux("big/huge.bin").c_str(), size), 0);
        std::vector<uint8_t> bytes;
        testing::internal::CaptureStderr();
        const int result = PackFolder((dir.Windows() + "\\big").c_str(), {}, &bytes);
        const std::string message = testing::internal::GetCapturedStderr();
        EXPECT_EQ(result, -1);
        EXPECT_NE(message.find("huge.bin"), std::string::npos) << message;
        EXPECT_NE(message.find("2 GiB"), std::string::npos) << message;
        EXPECT_TRUE(bytes.empty());
    }
}

TEST(ArchivePacker, RefusesNamesThatCannotBeStored) {
    ArchiveBuilder builder;
    EXPECT_EQ(builder.AddFile("a\\b.txt", "x", 1), 0);
    EXPECT_EQ(builder.AddFile("A\\B.TXT", "y", 1), -1) << "the same name in another case";
    EXPECT_EQ(builder.AddFile("a\\b.txt\\c", "y", 1), -1) << "a file is no folder";
    EXPECT_EQ(builder.AddDirectory("a\\b.txt"), -1);
    EXPECT_EQ(builder.AddFile("a", "y", 1), -1) << "a folder is no file";
    EXPECT_EQ(builder.AddFile("", "y", 1), -1);
    EXPECT_EQ(builder.AddFile(std::string(1024, 'n'), "y", 1), -1);
    EXPECT_EQ(builder.AddFile(std::string(1023, 'n'), "y", 1), 0);
    std::vector<uint8_t> out;
    ArchivePackOptions options;
    options.version = 5;
    EXPECT_EQ(builder.Build(options, &out), -1);
    options.version = 4;
    ASSERT_EQ(builder.Build(options, &out), 0);
    ArchiveState state;
    ArchiveStateClear(&state);
    ASSERT_EQ(ArchiveOpenInMemory(&state, out.data(), out.size(), nullptr), 0);
    EXPECT_NE(ArchiveFindFile(&state, std::string(1023, 'N').c_str()), nullptr);
    ArchiveClose(&state);
}

TEST(ArchiveReader, VersionFiveAndAboveIsRefused) {
    LogScope log;
    std::vector<uint8_t> bytes = BuildArchive(SmallTree());
    bytes = WithField(bytes, 0, 'Q' | 'P' << 8 | 5 << 16);
    const std::vector<uint8_t> original = bytes;
    ArchiveState state;
    ArchiveStateClear(&state);
    EXPECT_EQ(ArchiveOpenInMemory(&state, bytes.data(), bytes.size(), nullptr), -1);
    EXPECT_EQ(bytes, original);
    EXPECT_NE(log.Text().find("バージョン 5"), std::string::npos);
}

TEST(ArchiveReader, DamagedArchiveFilesAreRefusedOrReadWithinBounds) {
    ScratchDirectory dir;
    const FileTree tree = SmallTree();
    const std::vector<uint8_t> bytes = BuildArchive(tree);
    const std::string path = dir.Windows() + "\\a.dat";
    uint32_t x = 99;
    for (size_t round = 0; round < bytes.size() + 200; ++round) {
        std::vector<uint8_t> damaged = bytes;
        if (round < bytes.size()) {
            damaged.resize(round);
        } else {
            x = x * 1664525u + 1013904223u;
            damaged[(x >> 8) % damaged.size()] ^= static_cast<uint8_t>(1u << (x % 8));
        }
        WriteWholeFile(dir.Linux("a.dat"), damaged);
        for (int whole = 0; whole < 2; ++whole) {
            ArchiveState state;
            ArchiveStateClear(&state);
            const int opened = whole ? ArchiveOpenImage(&state, path.c_str(), nullptr, 0)
                                     : ArchiveOpenStreamed(&state, path.c_str(), nullptr);
            if (opened != 0) {
                continue;
            }
            std::string got;
            for (const auto& entry : tree) {
                ReadArchived(&state, entry.first, &got);
            }
            ArchiveClose(&state);
        }
    }
}

}  // namespace

namespace {

using namespace tessel;
using namespace tessel_test;

TEST(ArchiveReader, AnArchiveFileCutShortAfterItsOpenEndsReadsEarly) {
    ScratchDirectory dir;
    FileTree tree;
    tree["noise.bin"] = NoiseBytes(5000, 4);
    const std::vector<uint8_t> bytes = BuildArchive(tree);
    WriteWholeFile(dir.Linux("a.dat"), bytes);
    const std::string path = dir.Windows() + "\\a.dat";
    ArchiveState state;
    ArchiveStateClear(&state);
    ASSERT_EQ(ArchiveOpenStreamed(&state, path.c_str(), nullptr), 0);
    ASSERT_EQ(truncate(dir.Linux("a.dat").c_str(), 1000), 0);
    std::string got;
    ASSERT_TRUE(ReadArchived(&state, "noise.bin", &got));
    EXPECT_LT(got.size(), 1000u);
    EXPECT_EQ(got, tree["noise.bin"].substr(0, got.size()));
    ArchiveClose(&state);
}

}  // namespace
