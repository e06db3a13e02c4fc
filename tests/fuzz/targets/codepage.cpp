// Code page conversions both ways. The first byte picks the code page, the
// second the flags and the length form; the rest is the text, read as bytes
// for the way in and as UTF-16 units for the way out.
#include <memory>

#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_target.h"
#include "platform/kernel.h"

namespace {

const UINT kCodePages[] = {CP_ACP, CP_OEMCP, 932, 936, 949, 950, CP_UTF8, 1252, 437};

struct Choice {
    UINT codePage;
    DWORD toWideFlags;
    DWORD toBytesFlags;
    bool terminated;  // the length given as -1
    bool withDefault;
};

Choice Choose(const uint8_t* data) {
    Choice choice;
    choice.codePage = kCodePages[data[0] % (sizeof kCodePages / sizeof kCodePages[0])];
    choice.toWideFlags = (data[1] & 1) ? MB_ERR_INVALID_CHARS : MB_PRECOMPOSED;
    choice.toBytesFlags = (data[1] & 2) ? WC_NO_BEST_FIT_CHARS : 0;
    choice.terminated = (data[1] & 4) != 0;
    choice.withDefault = (data[1] & 8) != 0;
    return choice;
}

// Asks for the size, converts into a buffer of exactly that size and into one
// unit too small; returns the units written (0 on refusal).
int ToWide(const Choice& c, const char* text, int bytes, std::unique_ptr<WCHAR[]>* out) {
    const int units = MultiByteToWideChar(c.codePage, c.toWideFlags, text, bytes, nullptr, 0);
    if (units <= 0) {
        return 0;
    }
    out->reset(new WCHAR[units]);
    const int written =
        MultiByteToWideChar(c.codePage, c.toWideFlags, text, bytes, out->get(), units);
    if (units > 1) {
        std::unique_ptr<WCHAR[]> small(new WCHAR[units - 1]);
        MultiByteToWideChar(c.codePage, c.toWideFlags, text, bytes, small.get(), units - 1);
    }
    return written;
}

void ToBytes(const Choice& c, const WCHAR* text, int units, const char* defaultChar) {
    BOOL usedDefault = FALSE;
    const int bytes = WideCharToMultiByte(c.codePage, c.toBytesFlags, text, units, nullptr, 0,
                                          defaultChar, &usedDefault);
    if (bytes <= 0) {
        return;
    }
    std::unique_ptr<char[]> out(new char[bytes]);
    if (WideCharToMultiByte(c.codePage, c.toBytesFlags, text, units, out.get(), bytes, defaultChar,
                            &usedDefault) == bytes) {
        tessel_fuzz::sink =
            tessel_fuzz::sink +
            tessel_fuzz::SumBytes(reinterpret_cast<const uint8_t*>(out.get()), bytes);
    }
    if (bytes > 1) {
        std::unique_ptr<char[]> small(new char[bytes - 1]);
        WideCharToMultiByte(c.codePage, c.toBytesFlags, text, units, small.get(), bytes - 1,
                            defaultChar, nullptr);
    }
}

}  // namespace

TESSEL_FUZZ_TARGET(codepage) {
    if (size < 2) {
        return 0;
    }
    const Choice choice = Choose(data);
    const size_t textBytes = size - 2;
    // The terminated form gets the text with a NUL after it; the counted form
    // gets exactly the text.
    std::unique_ptr<char[]> text(new char[textBytes + (choice.terminated ? 1 : 0)]);
    std::memcpy(text.get(), data + 2, textBytes);
    if (choice.terminated) {
        text[textBytes] = '\0';
    }
    const int length = choice.terminated ? -1 : static_cast<int>(textBytes);
    const char defaultChar[2] = {textBytes > 0 ? text[0] : '?', textBytes > 1 ? text[1] : '?'};
    const char* fallback = choice.withDefault ? defaultChar : nullptr;

    std::unique_ptr<WCHAR[]> wide;
    const int units = ToWide(choice, text.get(), length, &wide);
    if (units > 0) {
        ToBytes(choice, wide.get(), units, fallback);
    }
    // The same bytes taken as UTF-16 text.
    const size_t rawUnits = textBytes / 2;
    std::unique_ptr<WCHAR[]> raw(new WCHAR[rawUnits + (choice.terminated ? 1 : 0)]);
    std::memcpy(raw.get(), data + 2, rawUnits * 2);
    if (choice.terminated) {
        raw[rawUnits] = 0;
    }
    ToBytes(choice, raw.get(), choice.terminated ? -1 : static_cast<int>(rawUnits), fallback);
    for (size_t i = 0; i < textBytes && i < 4; ++i) {
        tessel_fuzz::sink = tessel_fuzz::sink + static_cast<uint32_t>(IsDBCSLeadByteEx(
                                                    choice.codePage, static_cast<BYTE>(text[i])));
    }
    return 0;
}
