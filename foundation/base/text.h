// The library's string helpers, and through the includes below all of its
// small helpers: bytes, numbers and lists.
//
// Narrow strings are byte strings in the library's double-byte character set
// (foundation/charset.h); wide strings are UTF-16. Every output is
// NUL-terminated and the caller provides a buffer large enough for it.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "foundation/base/bytes.h"
#include "foundation/base/charset.h"
#include "foundation/base/list.h"
#include "foundation/base/numbers.h"
#include "platform/types.h"

namespace tessel {

// Copies src with its NUL.
void CopyText(char* dst, const char* src);
void CopyTextW(WCHAR* dst, const WCHAR* src);
// Copies at most n bytes (units), stopping at src's NUL, then terminates, so
// dst needs n + 1; n below 1 gives an empty dst.
void CopyTextN(char* dst, const char* src, int n);
void CopyTextNW(WCHAR* dst, const WCHAR* src, int n);
// Copies src behind dst's end.
void AppendText(char* dst, const char* src);

// Number of UTF-16 units before the NUL.
int TextLengthW(const WCHAR* s);

// The first place in s where part begins, or null; byte by byte. An empty
// part matches at the start of a non-empty s; an empty s matches nothing.
const char* FindText(const char* s, const char* part);
char* FindText(char* s, const char* part);
// The first single-byte character c in s; double-byte characters (by
// LibraryCharSet) are stepped over whole, so their second byte never matches.
const char* FindTextChar(const char* s, int c);
char* FindTextChar(char* s, int c);

// 0 when equal, 1 when different; no order.
int CompareText(const char* a, const char* b);
// As CompareText, with ASCII a-z and A-Z taken as equal; the bytes of a
// double-byte character are compared exactly.
int CompareTextNoCase(const char* a, const char* b);
// Compares exactly n bytes, not stopping at a NUL: 0 equal, 1 different;
// n = 0 counts as equal, n below 0 as different.
int CompareTextN(const void* a, const void* b, int n);

// In place: ASCII a-z to A-Z, double-byte characters stepped over whole.
// Returns the terminating NUL.
char* UpperCaseText(char* s);

// 1 when the byte at p starts a double-byte character of the character set
// `code`: for 2, 3 and 4 every byte from 0x80; else Shift-JIS's 0x81-0x9F
// and 0xE0-0xFC.
int IsLeadByte(const void* p, int32_t code);
// 1 for a UTF-16 unit in 0xD800-0xDBFF.
int IsHighSurrogate(WCHAR unit);

// The first decimal number in s: bytes before the first digit or '-' are
// skipped; -1 when s holds neither; a '-' with no digit after it gives 0.
// Accumulates modulo 2^32 over at most 32 digits.
int32_t TextToInt(const char* s);
// A decimal number with optional '-', fraction and exponent; any other
// character, or a malformed number, gives 0.
double TextToDouble(const char* s);
// Writes value in radix 2..36 (lower-case letters above 9) with a leading
// '-' when negative; returns buffer. Another radix gives an empty text.
char* IntToText(int32_t value, char* buffer, int radix);

// printf-style formatting into the caller's buffer; returns 0.
int FormatText(char* buffer, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Returns what the runtime's formatter returns (characters written, or -1).
int FormatTextV(char* buffer, const char* format, va_list arguments)
    __attribute__((format(printf, 2, 0)));
// The same for UTF-16, with Windows' meaning of the wide conversions: %s and
// %c take a wide string and character, %hs/%S and %hc/%C narrow ones (code
// page of the system), %ls/%ws wide ones. Returns 0.
int FormatWideText(WCHAR* buffer, const WCHAR* format, ...);
// Returns the number of units written, or -1 for a format it cannot read.
int FormatWideTextV(WCHAR* buffer, const WCHAR* format, va_list arguments);
// As FormatWideTextV into a buffer of `units` units: a longer text is cut
// (never inside a surrogate pair) and terminated. Returns the units kept.
int FormatWideTextBounded(WCHAR* buffer, int units, const WCHAR* format, va_list arguments);

}  // namespace tessel
