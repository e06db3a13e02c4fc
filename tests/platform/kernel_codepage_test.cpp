// Code pages. This file compiles with code page 932 as its execution
// character set, so narrow literals hold code page 932 bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/kernel.h"

namespace {

std::u16string ToWide(UINT codePage, const std::string& text) {
    int units =
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::u16string wide(static_cast<size_t>(units), u'\0');
    if (units > 0) {
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                            units);
    }
    return wide;
}

std::string ToNarrow(UINT codePage, const std::u16string& wide, BOOL* usedDefault = nullptr,
                     LPCSTR defaultChar = nullptr) {
    int bytes = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()),
                                    nullptr, 0, defaultChar, usedDefault);
    std::string text(static_cast<size_t>(bytes), '\0');
    if (bytes > 0) {
        WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), text.data(),
                            bytes, defaultChar, usedDefault);
    }
    return text;
}

const char kJapanese[] = "日本語のテキスト～ソ表示、ｶﾀｶﾅ abc\\";
const WCHAR kJapaneseWide[] = u"日本語のテキスト～ソ表示、ｶﾀｶﾅ abc\\";

TEST(KernelCodePage, SystemCodePageIs932) {
    EXPECT_EQ(GetACP(), 932u);
    EXPECT_EQ(GetOEMCP(), 932u);
    for (UINT codePage : {932u, 936u, 949u, 950u, CP_UTF8}) {
        EXPECT_TRUE(IsValidCodePage(codePage)) << codePage;
    }
    EXPECT_FALSE(IsValidCodePage(12345));
}

TEST(KernelCodePage, JapaneseRoundTripWithSizeQueries) {
    // -1: the terminating NUL is converted and counted.
    const int units = MultiByteToWideChar(932, 0, kJapanese, -1, nullptr, 0);
    ASSERT_EQ(units, static_cast<int>(std::char_traits<char16_t>::length(kJapaneseWide)) + 1);
    std::vector<WCHAR> wide(static_cast<size_t>(units) + 4, u'X');
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, kJapanese, -1, wide.data(), units), units);
    EXPECT_EQ(std::u16string(wide.data()), kJapaneseWide);
    EXPECT_EQ(wide[static_cast<size_t>(units)], u'X') << "wrote past the result";

    BOOL usedDefault = TRUE;
    const int bytes =
        WideCharToMultiByte(932, 0, wide.data(), -1, nullptr, 0, nullptr, &usedDefault);
    ASSERT_EQ(bytes, static_cast<int>(sizeof(kJapanese)));
    std::vector<char> narrow(static_cast<size_t>(bytes) + 4, 'X');
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, narrow.data(), bytes, nullptr,
                                  &usedDefault),
              bytes);
    EXPECT_EQ(std::memcmp(narrow.data(), kJapanese, sizeof(kJapanese)), 0);
    EXPECT_EQ(narrow[static_cast<size_t>(bytes)], 'X');
    EXPECT_FALSE(usedDefault);
}

TEST(KernelCodePage, ExplicitLengthsLeaveTheTerminatorOut) {
    WCHAR wide[8];
    std::fill(std::begin(wide), std::end(wide), u'X');
    EXPECT_EQ(MultiByteToWideChar(932, 0, "日本", 4, wide, 8), 2);
    EXPECT_EQ(wide[0], u'日');
    EXPECT_EQ(wide[1], u'本');
    EXPECT_EQ(wide[2], u'X');
    char narrow[8];
    std::memset(narrow, 'X', sizeof(narrow));
    EXPECT_EQ(WideCharToMultiByte(932, 0, u"日本", 2, narrow, 8, nullptr, nullptr), 4);
    EXPECT_EQ(std::memcmp(narrow, "日本X", 5), 0);
}

TEST(KernelCodePage, TooSmallBuffersAndBadArgumentsFail) {
    WCHAR wide[2];
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(932, 0, "日本語", -1, wide, 2), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    char narrow[3];
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(932, 0, u"日本", -1, narrow, 3, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(12345, 0, "a", -1, wide, 2), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(MultiByteToWideChar(932, 0, nullptr, -1, wide, 2), 0);
    EXPECT_EQ(MultiByteToWideChar(932, 0, "a", -1, nullptr, 2), 0);
    EXPECT_EQ(WideCharToMultiByte(12345, 0, u"a", -1, narrow, 3, nullptr, nullptr), 0);
    EXPECT_EQ(WideCharToMultiByte(932, 0, nullptr, -1, narrow, 3, nullptr, nullptr), 0);
}

// Microsoft's table, not JIS's: 0x8160 is the full-width tilde.
TEST(KernelCodePage, WaveDashIsTheFullWidthTilde) {
    EXPECT_EQ(ToWide(932, "\x81\x60"), u"\uFF5E");
    EXPECT_EQ(ToNarrow(932, u"\uFF5E"), "\x81\x60");
    EXPECT_EQ(ToWide(932, "\x81\x5F"), u"\uFF3C");  // full-width backslash
    EXPECT_EQ(ToWide(932, "\x87\x40"), u"\u2460");  // NEC row 13: circled 1
}

TEST(KernelCodePage, InvalidBytesAreReplaced) {
    struct Case {
        std::string bytes;
        std::u16string expected;
    };
    const Case cases[] = {
        {"a\x85\x40z", u"a\u30FBz"},  // an unassigned double-byte code: one character
        {"a\x81", u"a\u30FB"},        // a lead byte at the end
        {"\x81 b", u"\u30FB b"},      // a lead byte before a byte that cannot trail
        {std::string("\x81\0b", 3), std::u16string(u"\u30FB\0b", 3)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(ToWide(932, c.bytes), c.expected);
    }

    // With -1 a lead byte right before the NUL must not swallow it.
    WCHAR wide[4] = {u'X', u'X', u'X', u'X'};
    EXPECT_EQ(MultiByteToWideChar(932, 0, "\x81", -1, wide, 4), 2);
    EXPECT_EQ(wide[0], 0x30FB);
    EXPECT_EQ(wide[1], 0);

    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, "a\x85\x40", -1, wide, 4), 0);
    EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
    EXPECT_EQ(ToWide(CP_UTF8, "a\xFF"), u"a\uFFFD");
}

TEST(KernelCodePage, UnmappableCharactersGiveTheDefaultCharacter) {
    BOOL usedDefault = FALSE;
    EXPECT_EQ(ToNarrow(932, u"a\u00E9\uAC00b", &usedDefault), "a??b");
    EXPECT_TRUE(usedDefault);
    // A surrogate pair is one character, so one default character.
    usedDefault = FALSE;
    EXPECT_EQ(ToNarrow(932, u"x\U0001F600y", &usedDefault), "x?y");
    EXPECT_TRUE(usedDefault);
    // The default character is one character, read from a pointer to it alone.
    const char star = '*';
    EXPECT_EQ(ToNarrow(932, u"\u00E9", &usedDefault, &star), "*");
    const char doubleByte[2] = {'\x81', '\x45'};  // "・"
    EXPECT_EQ(ToNarrow(932, u"\u00E9", &usedDefault, doubleByte), "\x81\x45");

    usedDefault = TRUE;
    EXPECT_EQ(ToNarrow(932, u"abc", &usedDefault), "abc");
    EXPECT_FALSE(usedDefault);
}

TEST(KernelCodePage, OtherCodePagesRoundTrip) {
    struct Case {
        UINT codePage;
        std::u16string text;
        size_t bytes;
    };
    const Case cases[] = {
        {936, u"中文汉字abc", 11},
        {949, u"한국어abc", 9},
        {950, u"繁體中文abc", 11},
        {CP_UTF8, u"日本語é", 11},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.codePage);
        BOOL usedDefault = TRUE;
        std::string narrow =
            ToNarrow(c.codePage, c.text, c.codePage == CP_UTF8 ? nullptr : &usedDefault);
        EXPECT_EQ(narrow.size(), c.bytes);
        EXPECT_EQ(ToWide(c.codePage, narrow), c.text);
        if (c.codePage != CP_UTF8) {
            EXPECT_FALSE(usedDefault);
        }
    }
}

TEST(KernelCodePage, LeadByteRanges) {
    struct Case {
        BYTE byte;
        bool in932;
        bool inOthers;  // 936, 949, 950
    };
    const Case cases[] = {
        {0x00, false, false}, {0x40, false, false}, {0x7F, false, false}, {0x80, false, false},
        {0x81, true, true},   {0x9F, true, true},   {0xA0, false, true},  {0xDF, false, true},
        {0xE0, true, true},   {0xFC, true, true},   {0xFD, false, true},  {0xFE, false, true},
        {0xFF, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.byte));
        EXPECT_EQ(IsDBCSLeadByteEx(932, c.byte) != FALSE, c.in932);
        EXPECT_EQ(IsDBCSLeadByteEx(CP_ACP, c.byte) != FALSE, c.in932);
        EXPECT_EQ(IsDBCSLeadByte(c.byte) != FALSE, c.in932);
        for (UINT codePage : {936u, 949u, 950u}) {
            EXPECT_EQ(IsDBCSLeadByteEx(codePage, c.byte) != FALSE, c.inOthers) << codePage;
        }
        EXPECT_FALSE(IsDBCSLeadByteEx(CP_UTF8, c.byte));
    }
}

// Walking a string a character at a time with IsDBCSLeadByteEx finds as many
// characters as the conversion does, in every double-byte code page.
TEST(KernelCodePage, DoubleByteSteppingCountsCharacters) {
    struct Case {
        UINT codePage;
        std::u16string text;
    };
    const Case cases[] = {
        {932, u"日本語abcｶﾀｶﾅ表示ソ\\x"},
        {936, u"中文a汉字bc"},
        {949, u"한국어 abc 漢字"},
        {950, u"繁體a中文bc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.codePage);
        std::string narrow = ToNarrow(c.codePage, c.text);
        size_t characters = 0;
        size_t doubleBytes = 0;
        for (size_t i = 0; i < narrow.size(); ++characters) {
            if (IsDBCSLeadByteEx(c.codePage, static_cast<BYTE>(narrow[i]))) {
                ASSERT_LT(i + 1, narrow.size()) << "a lead byte at the end";
                // Each step lands on a character of its own: it converts alone.
                EXPECT_EQ(ToWide(c.codePage, narrow.substr(i, 2)).size(), 1u);
                i += 2;
                ++doubleBytes;
            } else {
                i += 1;
            }
        }
        EXPECT_EQ(characters, c.text.size());
        EXPECT_EQ(narrow.size(), c.text.size() + doubleBytes);
    }
}

}  // namespace
