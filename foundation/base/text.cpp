// String helpers for the library's byte strings (double-byte aware) and
// UTF-16 strings: copying, appending, searching, comparing with and without
// case, upper-casing, and numbers to and from text. Every output is
// NUL-terminated in a caller's buffer large enough for it.
// Not here: formatting (text_format.cpp).
#include "foundation/base/text.h"

#include <cmath>

namespace tessel {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Bytes taken by the character at p: 2 for a lead byte with its trail byte,
// else 1. A lead byte right before the NUL counts alone, so that no walk ever
// steps past the end of the string.
int CharBytes(const char* p) {
    return (IsLeadByte(p, LibraryCharSet) && p[1] != '\0') ? 2 : 1;
}

}  // namespace

void CopyText(char* dst, const char* src) {
    while ((*dst++ = *src++) != '\0') {
    }
}

void CopyTextW(WCHAR* dst, const WCHAR* src) {
    while ((*dst++ = *src++) != 0) {
    }
}

void CopyTextN(char* dst, const char* src, int n) {
    for (int i = 0; i < n && *src != '\0'; ++i) {
        *dst++ = *src++;
    }
    *dst = '\0';
}

void CopyTextNW(WCHAR* dst, const WCHAR* src, int n) {
    for (int i = 0; i < n && *src != 0; ++i) {
        *dst++ = *src++;
    }
    *dst = 0;
}

void AppendText(char* dst, const char* src) {
    while (*dst != '\0') {
        ++dst;
    }
    CopyText(dst, src);
}

int TextLengthW(const WCHAR* s) {
    int length = 0;
    while (s[length] != 0) {
        ++length;
    }
    return length;
}

const char* FindText(const char* s, const char* part) {
    for (; *s != '\0'; ++s) {
        int i = 0;
        while (part[i] != '\0' && s[i] == part[i]) {
            ++i;
        }
        if (part[i] == '\0') {
            return s;
        }
    }
    return nullptr;
}

char* FindText(char* s, const char* part) {
    return const_cast<char*>(FindText(static_cast<const char*>(s), part));
}

const char* FindTextChar(const char* s, int c) {
    const char wanted = static_cast<char>(c);
    while (*s != '\0') {
        int bytes = CharBytes(s);
        if (bytes == 1 && *s == wanted) {
            return s;
        }
        s += bytes;
    }
    return nullptr;
}

char* FindTextChar(char* s, int c) {
    return const_cast<char*>(FindTextChar(static_cast<const char*>(s), c));
}

int CompareText(const char* a, const char* b) {
    for (; *a == *b; ++a, ++b) {
        if (*a == '\0') {
            return 0;
        }
    }
    return 1;
}

int CompareTextNoCase(const char* a, const char* b) {
    while (*a != '\0' || *b != '\0') {
        int bytes = CharBytes(a);
        if (bytes == 2) {
            // A trail byte may lie in the ASCII letter range; it is not a letter.
            if (a[0] != b[0] || a[1] != b[1]) {
                return 1;
            }
        } else if (UpperAscii(*a) != UpperAscii(*b)) {
            return 1;
        }
        a += bytes;
        b += bytes;
    }
    return 0;
}

int CompareTextN(const void* a, const void* b, int n) {
    if (n < 0) {
        return 1;
    }
    const auto* pa = static_cast<const unsigned char*>(a);
    const auto* pb = static_cast<const unsigned char*>(b);
    for (int i = 0; i < n; ++i) {
        if (pa[i] != pb[i]) {
            return 1;
        }
    }
    return 0;
}

char* UpperCaseText(char* s) {
    while (*s != '\0') {
        int bytes = CharBytes(s);
        if (bytes == 1) {
            *s = UpperAscii(*s);
        }
        s += bytes;
    }
    return s;
}

int IsLeadByte(const void* p, int32_t code) {
    const unsigned char c = *static_cast<const unsigned char*>(p);
    if (code == kCharSetKorean || code == kCharSetTraditionalChinese ||
        code == kCharSetSimplifiedChinese) {
        return c >= 0x80 ? 1 : 0;
    }
    return ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) ? 1 : 0;
}

int IsHighSurrogate(WCHAR unit) {
    return (unit >= 0xD800 && unit <= 0xDBFF) ? 1 : 0;
}

int32_t TextToInt(const char* s) {
    constexpr int kMaxDigits = 32;
    while (*s != '\0' && !IsDigit(*s) && *s != '-') {
        ++s;
    }
    if (*s == '\0') {
        return -1;
    }
    bool negative = false;
    if (*s == '-') {
        negative = true;
        ++s;
    }
    uint32_t value = 0;
    for (int i = 0; i < kMaxDigits && IsDigit(*s); ++i, ++s) {
        value = value * 10u + static_cast<uint32_t>(*s - '0');
    }
    return static_cast<int32_t>(negative ? 0u - value : value);
}

namespace {

// The three digit runs of a decimal number as TextToDouble reads it.
struct NumberParts {
    bool negative = false;
    bool exponentNegative = false;
    const char* integer = nullptr;
    int integerDigits = 0;
    const char* fraction = nullptr;
    int fractionDigits = 0;
    const char* exponent = nullptr;
    int exponentDigits = 0;
};

// Splits s into its parts; false for anything that is not a number.
bool SplitNumber(const char* s, NumberParts* parts) {
    constexpr int kMaxDigits = 127;
    if (*s == '-') {
        parts->negative = true;
        ++s;
    }
    enum { kInteger, kFraction, kExponent } section = kInteger;
    bool exponentSign = false;
    parts->integer = s;
    for (; *s != '\0'; ++s) {
        if (IsDigit(*s)) {
            int* count = section == kInteger    ? &parts->integerDigits
                         : section == kFraction ? &parts->fractionDigits
                                                : &parts->exponentDigits;
            if (++*count > kMaxDigits) {
                return false;
            }
        } else if (*s == '.' && section == kInteger) {
            section = kFraction;
            parts->fraction = s + 1;
        } else if ((*s == 'e' || *s == 'E') && section != kExponent) {
            section = kExponent;
            parts->exponent = s + 1;
        } else if ((*s == '+' || *s == '-') && section == kExponent && !exponentSign &&
                   parts->exponentDigits == 0) {
            exponentSign = true;
            parts->exponentNegative = *s == '-';
            parts->exponent = s + 1;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

double TextToDouble(const char* s) {
    NumberParts parts;
    if (!SplitNumber(s, &parts) || (parts.integerDigits == 0 && parts.fractionDigits == 0)) {
        return 0.0;
    }
    const long double sign = parts.negative ? -1.0L : 1.0L;
    long double integer = 0.0L;
    long double power = 1.0L;
    for (int i = parts.integerDigits - 1; i >= 0; --i) {
        integer += sign * (parts.integer[i] - '0') * power;
        power *= 10.0L;
    }
    long double fraction = 0.0L;
    power = 0.1L;
    for (int i = 0; i < parts.fractionDigits; ++i) {
        fraction += sign * (parts.fraction[i] - '0') * power;
        power *= 0.1L;
    }
    // Exponent digits accumulate modulo 2^64, as a 64-bit integer would.
    uint64_t exponent = 0;
    for (int i = 0; i < parts.exponentDigits; ++i) {
        exponent = exponent * 10u + static_cast<uint64_t>(parts.exponent[i] - '0');
    }
    int64_t signedExponent =
        static_cast<int64_t>(parts.exponentNegative ? 0u - exponent : exponent);
    long double value = integer + fraction;
    // Once the value is 0 or infinite, further steps change nothing; stopping
    // there keeps a huge exponent from running for ages.
    for (int64_t i = 0; i < signedExponent && value != 0.0L && !std::isinf(value); ++i) {
        value *= 10.0L;
    }
    for (int64_t i = 0; i > signedExponent && value != 0.0L; --i) {
        value /= 10.0L;
    }
    return static_cast<double>(value);
}

char* IntToText(int32_t value, char* buffer, int radix) {
    if (radix < 2 || radix > 36) {
        buffer[0] = '\0';
        return buffer;
    }
    char* out = buffer;
    uint32_t magnitude = static_cast<uint32_t>(value);
    if (value < 0) {
        *out++ = '-';
        magnitude = 0u - magnitude;
    }
    char digits[33];
    int count = 0;
    do {
        uint32_t digit = magnitude % static_cast<uint32_t>(radix);
        digits[count++] = static_cast<char>(digit < 10 ? '0' + digit : 'a' + digit - 10);
        magnitude /= static_cast<uint32_t>(radix);
    } while (magnitude != 0);
    while (count > 0) {
        *out++ = digits[--count];
    }
    *out = '\0';
    return buffer;
}

}  // namespace tessel
