// The string helpers: copying, searching, comparing and numbers as text.
#include "foundation/base/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace tessel {
namespace {

// Sets the library's character-set code for one test and puts it back.
class CharSetScope {
  public:
    explicit CharSetScope(int32_t code) : saved_(LibraryCharSet) { LibraryCharSet = code; }
    ~CharSetScope() { LibraryCharSet = saved_; }

  private:
    int32_t saved_;
};

// A heap copy of exactly the string's bytes and its NUL, so that the
// sanitizer sees any read past the end.
std::vector<char> Exact(const char* text) {
    return std::vector<char>(text, text + std::strlen(text) + 1);
}

TEST(TextCopy, CopyTextAndAppendText) {
    char buffer[16];
    std::memset(buffer, 'X', sizeof(buffer));
    CopyText(buffer, "abc");
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(buffer[4], 'X');
    AppendText(buffer, "de");
    EXPECT_STREQ(buffer, "abcde");
    AppendText(buffer, "");
    EXPECT_STREQ(buffer, "abcde");
    CopyText(buffer, "");
    EXPECT_STREQ(buffer, "");
}

TEST(TextCopy, CopyTextNStopsAtNOrTheNulAndTerminates) {
    struct Case {
        const char* src;
        int n;
        const char* expected;
    };
    const Case cases[] = {
        {"abcdef", 3, "abc"}, {"abc", 10, "abc"}, {"abc", 3, "abc"},
        {"abc", 0, ""},       {"abc", -5, ""},    {"", 4, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.src) + " n=" + std::to_string(c.n));
        char buffer[16];
        std::memset(buffer, 'X', sizeof(buffer));
        CopyTextN(buffer, c.src, c.n);
        EXPECT_STREQ(buffer, c.expected);
        size_t written = std::strlen(c.expected) + 1;
        EXPECT_EQ(buffer[written], 'X') << "wrote past the terminator";
    }
}

TEST(TextCopy, WideCopiesAndLength) {
    const WCHAR source[] = u"テキストabc";
    WCHAR buffer[16];
    CopyTextW(buffer, source);
    EXPECT_EQ(std::u16string(buffer), source);
    EXPECT_EQ(TextLengthW(buffer), 7);
    EXPECT_EQ(TextLengthW(u""), 0);

    for (WCHAR& unit : buffer) {
        unit = u'X';
    }
    CopyTextNW(buffer, source, 2);
    EXPECT_EQ(std::u16string(buffer), u"テキ");
    EXPECT_EQ(buffer[3], u'X');
    CopyTextNW(buffer, source, 0);
    EXPECT_EQ(buffer[0], 0);
    CopyTextNW(buffer, source, 100);
    EXPECT_EQ(std::u16string(buffer), source);
}

TEST(TextSearch, FindTextCases) {
    struct Case {
        const char* s;
        const char* part;
        int offset;  // -1 for null
    };
    const Case cases[] = {
        {"abcabc", "ca", 2}, {"aab", "ab", 1}, {"abc", "abc", 0},
        {"abc", "abcd", -1}, {"abc", "", 0},   {"", "", -1},
        {"", "a", -1},       {"abc", "x", -1}, {"ab\\c", "\\", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("'") + c.s + "' '" + c.part + "'");
        std::vector<char> s = Exact(c.s);
        const char* found = FindText(static_cast<const char*>(s.data()), c.part);
        if (c.offset < 0) {
            EXPECT_EQ(found, nullptr);
        } else {
            EXPECT_EQ(found, s.data() + c.offset);
        }
    }
    char mutableText[] = "xyz";
    char* found = FindText(mutableText, "yz");
    ASSERT_NE(found, nullptr);
    *found = 'Y';
    EXPECT_STREQ(mutableText, "xYz");
}

TEST(TextSearch, FindTextCharStepsOverDoubleByteCharacters) {
    // "ソ" is 0x83 0x5C in code page 932: its second byte is a backslash.
    struct Case {
        int32_t charSet;
        const char* s;
        char c;
        int offset;
    };
    const Case cases[] = {
        {1, "ソ\\", '\\', 2},
        {0, "ソ\\", '\\', 2},
        {1, "ソ", '\\', -1},
        {1, "表示\\能力", '\\', 4},
        {1, "a\\b", '\\', 1},
        {1, "", '\\', -1},
        {1, "abc", 'x', -1},
        {1, "\xB0\\", '\\', 1},   // half-width katakana: a single byte
                                  // in 932
        {2, "\xB0\\", '\\', -1},  // in Korean every byte from 0x80 leads
        {3, "\xB0\\/", '/', 2},
        {4, "\xFF\\\\", '\\', 2},
        {1, "ソ\\", '\x5C', 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("charset " + std::to_string(c.charSet) + " offset " +
                     std::to_string(c.offset));
        CharSetScope scope(c.charSet);
        std::vector<char> s = Exact(c.s);
        const char* found = FindTextChar(static_cast<const char*>(s.data()), c.c);
        if (c.offset < 0) {
            EXPECT_EQ(found, nullptr);
        } else {
            EXPECT_EQ(found, s.data() + c.offset);
        }
    }
}

TEST(TextSearch, LeadByteBeforeTheNulDoesNotReadPastTheEnd) {
    CharSetScope scope(1);
    std::vector<char> s = Exact("a\x83");
    EXPECT_EQ(FindTextChar(s.data(), '\\'), nullptr);
    EXPECT_EQ(UpperCaseText(s.data()), s.data() + 2);
    EXPECT_EQ(s[0], 'A');
    std::vector<char> a = Exact("\x83");
    std::vector<char> b = Exact("\x83");
    EXPECT_EQ(CompareTextNoCase(a.data(), b.data()), 0);
}

TEST(TextCompare, CompareTextAndNoCase) {
    struct Case {
        const char* a;
        const char* b;
        int exact;
        int noCase;
    };
    const Case cases[] = {
        {"abc", "abc", 0, 0},
        {"abc", "abd", 1, 1},
        {"abc", "ab", 1, 1},
        {"ab", "abc", 1, 1},
        {"", "", 0, 0},
        {"", "a", 1, 1},
        {"aBc", "AbC", 1, 0},
        {"a[", "A{", 1, 1},
        {"@", "`", 1, 1},
        {"ソ", "ソ", 0, 0},
        {"テスト", "てすと", 1, 1},
        // ア is 0x83 0x41 and ヂ 0x83 0x61: trail bytes that look like A and a.
        {"ア", "ヂ", 1, 1},
        {"xアy", "XアY", 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("'") + c.a + "' '" + c.b + "'");
        EXPECT_EQ(CompareText(c.a, c.b), c.exact);
        EXPECT_EQ(CompareTextNoCase(c.a, c.b), c.noCase);
    }
}

TEST(TextCompare, CompareTextNComparesExactlyNBytes) {
    const char a[] = {'a', 'b', '\0', 'c'};
    const char b[] = {'a', 'b', '\0', 'd'};
    struct Case {
        int n;
        int expected;
    };
    const Case cases[] = {{0, 0}, {-1, 1}, {INT_MIN, 1}, {2, 0}, {3, 0}, {4, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        EXPECT_EQ(CompareTextN(a, b, c.n), c.expected);
    }
    EXPECT_EQ(CompareTextN("x", "y", 0), 0);
}

TEST(TextCase, UpperCaseTextLeavesDoubleByteCharactersWhole) {
    CharSetScope scope(1);
    char text[] = "abcヂz{`~";
    char* end = UpperCaseText(text);
    EXPECT_EQ(end, text + std::strlen(text));
    EXPECT_STREQ(text, "ABCヂZ{`~");
    EXPECT_EQ(static_cast<unsigned char>(text[4]), 0x61);  // the trail byte of ヂ stays

    char empty[] = "";
    EXPECT_EQ(UpperCaseText(empty), empty);
}

TEST(TextCharSet, IsLeadByteByCode) {
    struct Case {
        unsigned char byte;
        int shiftJis;  // codes 0, 1 and any other
        int others;    // codes 2, 3, 4
    };
    const Case cases[] = {
        {0x00, 0, 0}, {0x5C, 0, 0}, {0x7F, 0, 0}, {0x80, 0, 1}, {0x81, 1, 1}, {0x9F, 1, 1},
        {0xA0, 0, 1}, {0xDF, 0, 1}, {0xE0, 1, 1}, {0xFC, 1, 1}, {0xFD, 0, 1}, {0xFF, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.byte));
        for (int32_t code : {0, 1, 5, -1}) {
            EXPECT_EQ(IsLeadByte(&c.byte, code), c.shiftJis) << "code " << code;
        }
        for (int32_t code : {2, 3, 4}) {
            EXPECT_EQ(IsLeadByte(&c.byte, code), c.others) << "code " << code;
        }
    }
}

TEST(TextCharSet, IsHighSurrogate) {
    EXPECT_EQ(IsHighSurrogate(0xD7FF), 0);
    EXPECT_EQ(IsHighSurrogate(0xD800), 1);
    EXPECT_EQ(IsHighSurrogate(0xDBFF), 1);
    EXPECT_EQ(IsHighSurrogate(0xDC00), 0);
    EXPECT_EQ(IsHighSurrogate(u'a'), 0);
}

TEST(TextNumbers, TextToIntCases) {
    struct Case {
        const char* text;
        int32_t expected;
    };
    const Case cases[] = {
        {"x-12y", -12},
        {"abc", -1},
        {"-a", 0},
        {"a-", 0},
        {"--5", 0},
        {"", -1},
        {"123", 123},
        {"  42abc", 42},
        {"ソ7", 7},
        {"2147483647", INT32_MAX},
        {"2147483648", INT32_MIN},  // modulo 2^32
        {"4294967295", -1},
        {"4294967296", 0},
        {"-2147483648", INT32_MIN},
        {"007", 7},
        {"1 2", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(TextToInt(c.text), c.expected);
    }
}

TEST(TextNumbers, TextToIntReadsAtMost32Digits) {
    std::string digits(40, '1');
    uint32_t expected = 0;
    for (int i = 0; i < 32; ++i) {
        expected = expected * 10u + 1u;
    }
    EXPECT_EQ(TextToInt(digits.c_str()), static_cast<int32_t>(expected));
}

TEST(TextNumbers, TextToDoubleCases) {
    struct Case {
        const char* text;
        double expected;
    };
    const Case cases[] = {
        {"1.5e2", 150.0}, {"1.2.3", 0.0},       {".5", 0.5},   {"-2", -2.0},   {"", 0.0},
        {"-", 0.0},       {"5.", 5.0},          {".", 0.0},    {"e5", 0.0},    {"-.25", -0.25},
        {"1e+3", 1000.0}, {"1E-2", 0.01},       {"2e", 2.0},   {"12a", 0.0},   {"1e2e3", 0.0},
        {"1e--2", 0.0},   {"1e2-", 0.0},        {"+1", 0.0},   {" 1", 0.0},    {"1e2.5", 0.0},
        {"0.125", 0.125}, {"3.14159", 3.14159}, {"-0.0", 0.0}, {"100", 100.0}, {"1.5E-2", 0.015},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_DOUBLE_EQ(TextToDouble(c.text), c.expected);
    }
}

TEST(TextNumbers, TextToDoubleDigitLimitsAndHugeExponents) {
    std::string digits127(127, '9');
    EXPECT_NEAR(TextToDouble(digits127.c_str()) / 1e127, 1.0, 1e-12);
    EXPECT_EQ(TextToDouble(std::string(128, '1').c_str()), 0.0);
    EXPECT_EQ(TextToDouble(("0." + std::string(128, '1')).c_str()), 0.0);
    EXPECT_EQ(TextToDouble(("1e" + std::string(128, '1')).c_str()), 0.0);
    // An exponent far beyond the range ends as infinity or zero, promptly.
    EXPECT_TRUE(std::isinf(TextToDouble("1e999999999999999999")));
    EXPECT_LT(TextToDouble("-1e99999999999"), 0.0);
    EXPECT_EQ(TextToDouble("1e-99999999999999"), 0.0);
    EXPECT_EQ(TextToDouble("0e999999999999999"), 0.0);
}

TEST(TextNumbers, IntToTextCases) {
    struct Case {
        int32_t value;
        int radix;
        const char* expected;
    };
    const Case cases[] = {
        {0, 10, "0"},
        {7, 10, "7"},
        {-255, 16, "-ff"},
        {255, 2, "11111111"},
        {INT32_MAX, 36, "zik0zj"},
        {INT32_MIN, 10, "-2147483648"},
        {INT32_MIN, 16, "-80000000"},
        {35, 36, "z"},
        {5, 1, ""},
        {5, 37, ""},
        {-1, 10, "-1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.value) + " radix " + std::to_string(c.radix));
        char buffer[40];
        EXPECT_EQ(IntToText(c.value, buffer, c.radix), buffer);
        EXPECT_STREQ(buffer, c.expected);
    }
}

int CallFormatTextV(char* buffer, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int result = FormatTextV(buffer, format, arguments);
    va_end(arguments);
    return result;
}

int CallFormatWideTextV(WCHAR* buffer, const WCHAR* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int result = FormatWideTextV(buffer, format, arguments);
    va_end(arguments);
    return result;
}

TEST(TextFormat, NarrowFormatting) {
    char buffer[64];
    EXPECT_EQ(FormatText(buffer, "%d-%s-%04x", 12, "ab", 0xBEEF), 0);
    EXPECT_STREQ(buffer, "12-ab-beef");
    EXPECT_EQ(CallFormatTextV(buffer, "%sです%d", "テスト", 5), 11);
    EXPECT_STREQ(buffer, "テストです5");
}

TEST(TextFormat, WideFormattingWithWindowsConversions) {
    CharSetScope scope(1);
    WCHAR buffer[128];
    EXPECT_EQ(FormatWideText(buffer, u"%d|%5d|%-4d|%x|%X|%08.3f", -3, 42, 7, 255u, 255u, 3.14159),
              0);
    EXPECT_EQ(std::u16string(buffer), u"-3|   42|7   |ff|FF|0003.142");

    EXPECT_EQ(CallFormatWideTextV(buffer, u"[%s][%ls][%ws][%hs][%S]", u"ワイド", u"w", u"x",
                                  "ナロー", "S"),
              19);
    EXPECT_EQ(std::u16string(buffer), u"[ワイド][w][x][ナロー][S]");

    CallFormatWideTextV(buffer, u"%c%hc%C%lc|%5s|%-5s|%.2s|%*d|%.*s|%%", u'語', 'a', 'b', u'c',
                        u"ab", u"cd", u"efgh", 3, 9, 1, u"xyz");
    EXPECT_EQ(std::u16string(buffer), u"語abc|   ab|cd   |ef|  9|x|%");

    CallFormatWideTextV(buffer, u"%I64d %lld %I64u %ld %lu %hd %hhu %zu", -5000000000LL,
                        7000000000LL, 18446744073709551615ULL, -2, 4000000000u, 70000, 300,
                        size_t{9});
    EXPECT_EQ(std::u16string(buffer),
              u"-5000000000 7000000000 18446744073709551615 -2 4000000000 4464 44 9");

    CallFormatWideTextV(buffer, u"%s|%hs", static_cast<const WCHAR*>(nullptr),
                        static_cast<const char*>(nullptr));
    EXPECT_EQ(std::u16string(buffer), u"(null)|(null)");

    // The narrow precision keeps a double-byte character whole.
    CallFormatWideTextV(buffer, u"%.3hs|", "アイ");
    EXPECT_EQ(std::u16string(buffer), u"ア|");
}

TEST(TextFormat, WideFormattingRefusesWhatItCannotRead) {
    WCHAR buffer[32];
    int count = 0;
    EXPECT_EQ(CallFormatWideTextV(buffer, u"abc%"), -1);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(CallFormatWideTextV(buffer, u"%n", &count), -1);
    EXPECT_EQ(CallFormatWideTextV(buffer, u"%y", 1), -1);
    EXPECT_EQ(CallFormatWideTextV(buffer, u"plain"), 5);
    EXPECT_EQ(std::u16string(buffer), u"plain");
}

}  // namespace
}  // namespace tessel
