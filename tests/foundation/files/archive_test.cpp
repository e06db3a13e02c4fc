// The archive format's pieces that stand alone: keys, scrambling, wildcard
// matching, path splitting and normalised full paths.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

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
