// The archive format's pieces that stand alone: keys, scrambling, wildcard
// matching, path splitting and normalised full paths.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/base/text.h"
#include "foundation/files/archive.h"
#include "platform/kernel.h"

namespace {

using namespace tessel;

std::string KeyOf(const char* text) {
    uint8_t key[kArchiveKeySize];
    ArchiveKeyFromText(text, key);
    return std::string(reinterpret_cast<char*>(key), kArchiveKeySize);
}

TEST(ArchiveKey, TextIsRepeatedOrCutToTwelveBytes) {
    EXPECT_EQ(KeyOf("abc"), KeyOf("abcabcabcabc"));
    EXPECT_EQ(KeyOf("abcdefghijkl"), KeyOf("abcdefghijklmnop"));
    EXPECT_NE(KeyOf("abcdefghijkl"), KeyOf("abcdefghijkm"));
    EXPECT_EQ(KeyOf(nullptr), KeyOf(""));
    EXPECT_NE(KeyOf(nullptr), KeyOf("x"));
    uint8_t second[kArchiveKeySize];
    ArchiveSecondKey(second);
    EXPECT_NE(std::string(reinterpret_cast<char*>(second), kArchiveKeySize), KeyOf(nullptr));
    // The key is not the text itself.
    EXPECT_NE(KeyOf("abcdefghijkl"), "abcdefghijkl");
}

TEST(ArchiveKey, ScramblingFollowsTheAbsoluteOffset) {
    uint8_t key[kArchiveKeySize];
    ArchiveKeyFromText("offsets", key);
    std::string data(1000, '\0');
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>(i * 7);
    }
    // Every start and length, against the byte-by-byte rule.
    for (uint64_t position : {0ull, 1ull, 11ull, 12ull, 13ull, 1000003ull}) {
        for (size_t size : {0u, 1u, 23u, 24u, 25u, 100u, 1000u}) {
            std::string scrambled = data.substr(0, size);
            ArchiveXorAt(size, scrambled.data(), position, key);
            for (size_t i = 0; i < size; ++i) {
                ASSERT_EQ(static_cast<uint8_t>(scrambled[i]),
                          static_cast<uint8_t>(data[i] ^ key[(position + i) % 12]))
                    << position << " " << i;
            }
            ArchiveXorAt(size, scrambled.data(), position, key);
            EXPECT_EQ(scrambled, data.substr(0, size));
        }
    }
}

TEST(ArchiveKey, CodePagesGiveTheirCharacterSets) {
    EXPECT_EQ(ArchiveCharSetFromCodePage(932), 1);
    EXPECT_EQ(ArchiveCharSetFromCodePage(936), 4);
    EXPECT_EQ(ArchiveCharSetFromCodePage(949), 2);
    EXPECT_EQ(ArchiveCharSetFromCodePage(950), 3);
    EXPECT_EQ(ArchiveCharSetFromCodePage(0), 0);
    EXPECT_EQ(ArchiveCharSetFromCodePage(1252), 0);
}

// An archive written byte by byte from the format's tables, apart from the
// packer: version 2, a root with a.txt and the folder Data, which holds
// file.bin (names of whole words get one word of zeros more).
class HandMadeArchive {
  public:
    HandMadeArchive() {
        // Header (24 bytes), then the data area: "hello" and "xyz!".
        bytes_.assign(24, 0);
        Append("hello");
        Append("xyz!");
        const uint32_t tableOffset = static_cast<uint32_t>(bytes_.size());
        // Name table: the root's empty name, then a.txt, Data and file.bin.
        const uint32_t rootName = Name("", "");
        const uint32_t aName = Name("a.txt", "A.TXT");
        const uint32_t subName = Name("Data", "DATA");
        const uint32_t bName = Name("file.bin", "FILE.BIN");
        const uint32_t fileTable = static_cast<uint32_t>(bytes_.size()) - tableOffset;
        // File table, 44 bytes an entry: the root, its two entries (in the
        // order of their search forms), then Data's one entry.
        Entry(rootName, 0x10, 0, 0);
        Entry(aName, 0x20, 0, 5);
        Entry(subName, 0x10, 16, 0);
        Entry(bName, 0x20, 5, 4);
        const uint32_t dirTable = static_cast<uint32_t>(bytes_.size()) - tableOffset;
        // Directory records: own entry, parent record, count, first entry.
        Put32(0);
        Put32(0xFFFFFFFFu);
        Put32(2);
        Put32(44);
        Put32(88);
        Put32(0);
        Put32(1);
        Put32(132);
        const uint32_t tableSize = static_cast<uint32_t>(bytes_.size()) - tableOffset;
        bytes_[0] = 'Q';
        bytes_[1] = 'P';
        At16(2, 2);
        At32(4, tableSize);
        At32(8, 24);
        At32(12, tableOffset);
        At32(16, fileTable);
        At32(20, dirTable);
        uint8_t key[kArchiveKeySize];
        ArchiveKeyFromText(nullptr, key);
        ArchiveXorAt(bytes_.size(), bytes_.data(), 0, key);
    }
    std::vector<uint8_t>& Bytes() { return bytes_; }

  private:
    void Append(const std::string& text) { bytes_.insert(bytes_.end(), text.begin(), text.end()); }
    void Put16(uint32_t v) {
        bytes_.push_back(uint8_t(v));
        bytes_.push_back(uint8_t(v >> 8));
    }
    void Put32(uint32_t v) {
        Put16(v & 0xFFFF);
        Put16(v >> 16);
    }
    void At16(size_t at, uint32_t v) {
        bytes_[at] = uint8_t(v);
        bytes_[at + 1] = uint8_t(v >> 8);
    }
    void At32(size_t at, uint32_t v) {
        At16(at, v & 0xFFFF);
        At16(at + 2, v >> 16);
    }
    // A name entry: word count, checksum of the search form's bytes, the
    // search form padded to whole words, the name as written with its NUL.
    uint32_t Name(const std::string& name, const std::string& search) {
        const uint32_t at = static_cast<uint32_t>(bytes_.size()) - tableStart_;
        const uint32_t words = static_cast<uint32_t>(search.size() + 4) / 4;
        uint32_t checksum = 0;
        for (unsigned char c : search) {
            checksum += c;
        }
        Put16(words);
        Put16(checksum & 0xFFFF);
        std::string padded = search;
        padded.resize(words * 4, '\0');
        Append(padded);
        Append(name);
        bytes_.push_back(0);
        return at;
    }
    void Entry(uint32_t name, uint32_t attributes, uint32_t offset, uint32_t size) {
        Put32(name);
        Put32(attributes);
        for (int time = 0; time < 3; ++time) {
            Put32(0x12345678u);
            Put32(0x01D00000u);
        }
        Put32(offset);
        Put32(size);
        Put32(0xFFFFFFFFu);  // stored as it is
    }

    std::vector<uint8_t> bytes_;
    uint32_t tableStart_ = 24 + 9;
};

std::string ReadWhole(ArchiveState* state, const char* path) {
    ArchiveStream stream;
    if (ArchiveStreamOpen(&stream, state, path, 0) != 0) {
        return "(cannot open)";
    }
    std::string out;
    char buffer[64];
    uint32_t got = 0;
    while ((got = ArchiveStreamRead(&stream, buffer, sizeof buffer)) > 0) {
        out.append(buffer, got);
    }
    ArchiveStreamClose(&stream);
    return out;
}

TEST(ArchiveReader, ReadsAnArchiveWrittenFromTheFormatsTables) {
    HandMadeArchive archive;
    ArchiveState state;
    ArchiveStateClear(&state);
    ASSERT_EQ(ArchiveOpenInMemory(&state, archive.Bytes().data(),
                                  static_cast<uint32_t>(archive.Bytes().size()), nullptr),
              0);
    EXPECT_EQ(ReadWhole(&state, "a.txt"), "hello");
    EXPECT_EQ(ReadWhole(&state, "DATA\\FILE.BIN"), "xyz!");
    FileFindInfo info;
    ArchiveFind* find = ArchiveFindFirst(&state, "*", &info);
    ASSERT_NE(find, nullptr);
    std::vector<std::string> names = {info.name};
    while (ArchiveFindNext(find, &info) == 0) {
        names.push_back(info.name);
        ++find->index;
    }
    ArchiveFindClose(find);
    EXPECT_EQ(names, (std::vector<std::string>{".", "a.txt", "Data"}));
    ASSERT_EQ(ArchiveEnterDir(&state, "data", 0, nullptr), 0);
    EXPECT_EQ(ReadWhole(&state, "File.Bin"), "xyz!");
    ASSERT_EQ(ArchiveEnterDir(&state, "..", 0, nullptr), 0);
    EXPECT_EQ(ReadWhole(&state, "a.txt"), "hello");
    ArchiveClose(&state);
}

TEST(ArchiveWildcard, MatchesWithoutBacktracking) {
    struct Case {
        const char* name;
        const char* pattern;
        int result;
    };
    const Case cases[] = {
        {"A.PNG", "*.PNG", 0},   {"A.PNG", "*", 0},
        {"A.PNG", "A.PNG", 0},   {"A.PNG", "?.PNG", 0},
        {"AB.PNG", "?.PNG", -1}, {"A.PNG", "A.PN", -1},
        {"A.PN", "A.PNG", -1},   {"BAA", "*A", -1},
        {"BA", "*A", 0},         {"A.B.C", "*.C", -1},
        {"A.C", "**.C", 0},      {"", "*", 0},
        {"", "?", -1},           {".", "*", 0},
        {"..", "*.*", 0},        {"README", "*.*", -1},
        {"ABC", "A*", 0},        {"ABC", "*B*", 0},
        {"表.CSV", "*.CSV", 0},  {"表.CSV", "表*", 0},
        {"表.CSV", "?.CSV", -1}, {"表.CSV", "\x95?.CSV", -1},
        {"表X", "表X", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MatchWildcard(c.name, c.pattern, kCharSetShiftJis), c.result)
            << c.name << " ~ " << c.pattern;
    }
}

TEST(ArchivePaths, SplitAtTheLastSeparatorOrColon) {
    ArchiveState state;
    ArchiveStateClear(&state);
    state.charSet = kCharSetShiftJis;
    struct Case {
        const char* path;
        const char* name;
        const char* dir;
    };
    const Case cases[] = {
        {"abc", "abc", ""},
        {"a\\b\\c.txt", "c.txt", "a\\b"},
        {"a/b", "b", "a"},
        {"c:x", "x", "c"},
        {"\\x", "x", ""},
        {"a\\", "", "a"},
        {"表\\*.csv", "*.csv", "表"},
        {"表", "表", ""},
    };
    for (const Case& c : cases) {
        char name[260];
        char dir[260];
        ArchiveSplitPath(&state, name, dir, c.path);
        EXPECT_STREQ(name, c.name) << c.path;
        EXPECT_STREQ(dir, c.dir) << c.path;
    }
}

TEST(ArchivePaths, NormalisedPathsAreAbsoluteAndUpperCase) {
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\tmp"));
    struct Case {
        const char* path;
        const char* expected;
    };
    const Case cases[] = {
        {"image\\a.png", "C:\\TMP\\IMAGE\\A.PNG"},
        {"image/sub/../b.png", "C:\\TMP\\IMAGE\\B.PNG"},
        {".\\x\\.\\y", "C:\\TMP\\X\\Y"},
        {"..\\..\\..\\z", "C:\\Z"},
        {"\\root\\f", "C:\\ROOT\\F"},
        {"d:\\Data\\f", "D:\\DATA\\F"},
        {"\\\\server\\share\\f", "\\\\SERVER\\SHARE\\F"},
        {"a\\..", "C:\\TMP\\A\\.."},
        {"データ\\表.csv", "C:\\TMP\\データ\\表.CSV"},
        // Characters whose second byte is the separator's byte are walked whole.
        {"表\\..\\data\\x.png", "C:\\TMP\\DATA\\X.PNG"},
        {"ソ\\能\\..\\f", "C:\\TMP\\ソ\\F"},
    };
    for (const Case& c : cases) {
        char out[MAX_PATH];
        EXPECT_EQ(NormaliseFullPath(c.path, out), 0);
        EXPECT_STREQ(out, c.expected) << c.path;
    }
    // A path longer than the buffer is cut, never written past it.
    const std::string longPath(600, 'a');
    char out[MAX_PATH + 8];
    std::memset(out, 'Z', sizeof(out));
    NormaliseFullPath(longPath.c_str(), out);
    EXPECT_EQ(std::strlen(out), MAX_PATH - 1u);
    SetCurrentDirectoryA(previous);
}

}  // namespace
