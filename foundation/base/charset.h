// The library's character-set code: which double-byte character set narrow
// strings are in. Start-up chooses it; the string helpers read it.
#pragma once

#include <cstdint>

namespace tessel {

// 0 or 1 Shift-JIS (code page 932), 2 Korean (949), 3 Traditional Chinese
// (950), 4 Simplified Chinese (936).
enum : int32_t {
    kCharSetDefault = 0,
    kCharSetShiftJis = 1,
    kCharSetKorean = 2,
    kCharSetTraditionalChinese = 3,
    kCharSetSimplifiedChinese = 4,
};

// 0 until start-up chooses one; 0 reads lead bytes as Shift-JIS.
extern int32_t LibraryCharSet;

// The code page of the character set, in which narrow paths are converted
// to and from UTF-16 (Shift-JIS for the default).
uint32_t LibraryCodePage();

}  // namespace tessel
