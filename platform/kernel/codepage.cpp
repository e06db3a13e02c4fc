// Code page conversions through iconv, with Windows' sizes, flags and
// failures; lead bytes of the double-byte code pages.
#include "platform/kernel/codepage.h"

#include <errno.h>
#include <iconv.h>

#include <cstring>
#include <string>

#include "platform/kernel/threads.h"

namespace {

constexpr UINT kSystemCodePage = 932;

UINT Resolve(UINT codePage) {
    return (codePage == CP_ACP || codePage == CP_OEMCP) ? kSystemCodePage : codePage;
}

// iconv's names. "CP932" is Microsoft's table, which differs from SHIFT_JIS
// (0x8160 is U+FF5E there, U+301C in SHIFT_JIS); the system's texts need CP932.
const char* IconvName(UINT codePage) {
    switch (codePage) {
        case 932:
            return "CP932";
        case 936:
            return "CP936";
        case 949:
            return "CP949";
        case 950:
            return "CP950";
        case 1252:
            return "CP1252";
        case CP_UTF8:
            return "UTF-8";
        default:
            return nullptr;
    }
}

bool IsDoubleByteCodePage(UINT codePage) {
    return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950;
}

bool LeadByte(UINT codePage, BYTE c) {
    if (codePage == 932) {
        return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    }
    if (codePage == 936 || codePage == 949 || codePage == 950) {
        return c >= 0x81 && c <= 0xFE;
    }
    return false;
}

// The second byte of a double-byte character is never a control character
// or NUL; a lead byte before one of those is an undecodable byte of its own.
bool TrailByte(UINT codePage, BYTE c) {
    return c >= 0x40 && c != 0x7F && c <= (codePage == 932 ? 0xFC : 0xFE);
}

// Windows takes one character from the default-character pointer, which
// need not point to a terminated string.
std::string DefaultCharacter(UINT codePage, LPCSTR defaultChar) {
    if (defaultChar == nullptr || codePage == CP_UTF8) {
        return "?";
    }
    if (LeadByte(codePage, static_cast<BYTE>(defaultChar[0])) &&
        TrailByte(codePage, static_cast<BYTE>(defaultChar[1]))) {
        return std::string(defaultChar, 2);
    }
    return std::string(defaultChar, 1);
}

constexpr WCHAR kWideReplacement = 0x30FB;  // Windows' default for undecodable 932 bytes

// Converts with iconv; on a sequence that does not convert, `onInvalid`
// decides how many input bytes to skip and what to write instead.
struct Converter {
    explicit Converter(const char* to, const char* from) { cd = iconv_open(to, from); }
    ~Converter() {
        if (cd != reinterpret_cast<iconv_t>(-1)) {
            iconv_close(cd);
        }
    }
    bool ok() const { return cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t cd;
};

int Fail(DWORD error) {
    SetLastError(error);
    return 0;
}

}  // namespace

UINT GetACP() {
    return kSystemCodePage;
}
UINT GetOEMCP() {
    return kSystemCodePage;
}

BOOL IsValidCodePage(UINT codePage) {
    return IconvName(codePage) != nullptr ? TRUE : FALSE;
}

BOOL IsDBCSLeadByteEx(UINT codePage, BYTE testChar) {
    return LeadByte(Resolve(codePage), testChar) ? TRUE : FALSE;
}

BOOL IsDBCSLeadByte(BYTE testChar) {
    return IsDBCSLeadByteEx(CP_ACP, testChar);
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceBytes, LPWSTR dest,
                        int destUnits) {
    codePage = Resolve(codePage);
    const char* name = IconvName(codePage);
    if (name == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (source == nullptr || destUnits < 0 || (destUnits > 0 && dest == nullptr)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    size_t length = sourceBytes < 0 ? std::strlen(source) + 1 : static_cast<size_t>(sourceBytes);
    Converter converter("UTF-16LE", name);
    if (!converter.ok()) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    std::u16string out;
    out.reserve(length);
    const char* in = source;
    size_t left = length;
    while (left > 0) {
        char16_t buffer[256];
        char* outPtr = reinterpret_cast<char*>(buffer);
        size_t outLeft = sizeof(buffer);
        size_t result = iconv(converter.cd, const_cast<char**>(&in), &left, &outPtr, &outLeft);
        out.append(buffer, (sizeof(buffer) - outLeft) / sizeof(char16_t));
        if (result != static_cast<size_t>(-1) || errno == E2BIG) {
            continue;
        }
        if (flags & MB_ERR_INVALID_CHARS) {
            return Fail(ERROR_NO_UNICODE_TRANSLATION);
        }
        // An undecodable character: a lead byte with its trail byte, or one byte.
        size_t skip = (IsDoubleByteCodePage(codePage) && left >= 2 &&
                       LeadByte(codePage, static_cast<BYTE>(in[0])) &&
                       TrailByte(codePage, static_cast<BYTE>(in[1])))
                          ? 2
                          : 1;
        if (codePage == CP_UTF8) {
            out.push_back(0xFFFD);
        } else {
            out.push_back(kWideReplacement);
        }
        in += skip;
        left -= skip;
        iconv(converter.cd, nullptr, nullptr, nullptr, nullptr);
    }
    if (destUnits == 0) {
        return static_cast<int>(out.size());
    }
    if (out.size() > static_cast<size_t>(destUnits)) {
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(dest, out.data(), out.size() * sizeof(char16_t));
    return static_cast<int>(out.size());
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceUnits, LPSTR dest,
                        int destBytes, LPCSTR defaultChar, BOOL* usedDefaultChar) {
    codePage = Resolve(codePage);
    const char* name = IconvName(codePage);
    if (name == nullptr || source == nullptr || destBytes < 0 ||
        (destBytes > 0 && dest == nullptr)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    size_t units = 0;
    if (sourceUnits < 0) {
        while (source[units] != 0) {
            ++units;
        }
        ++units;
    } else {
        units = static_cast<size_t>(sourceUnits);
    }
    Converter converter(name, "UTF-16LE");
    if (!converter.ok()) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const std::string fallback = DefaultCharacter(codePage, defaultChar);
    if (usedDefaultChar != nullptr) {
        *usedDefaultChar = FALSE;
    }
    std::string out;
    out.reserve(units * 2);
    const char* in = reinterpret_cast<const char*>(source);
    size_t left = units * sizeof(char16_t);
    while (left > 0) {
        char buffer[512];
        char* outPtr = buffer;
        size_t outLeft = sizeof(buffer);
        size_t result = iconv(converter.cd, const_cast<char**>(&in), &left, &outPtr, &outLeft);
        out.append(buffer, sizeof(buffer) - outLeft);
        if (result != static_cast<size_t>(-1) || errno == E2BIG) {
            continue;
        }
        // A character the code page lacks (or a lone surrogate) becomes the default character.
        size_t skip = sizeof(char16_t);
        char16_t unit;
        std::memcpy(&unit, in, sizeof(unit));
        if (unit >= 0xD800 && unit <= 0xDBFF && left >= 2 * sizeof(char16_t)) {
            char16_t next;
            std::memcpy(&next, in + sizeof(char16_t), sizeof(next));
            if (next >= 0xDC00 && next <= 0xDFFF) {
                skip = 2 * sizeof(char16_t);
            }
        }
        out.append(fallback);
        if (usedDefaultChar != nullptr) {
            *usedDefaultChar = TRUE;
        }
        in += skip;
        left -= skip;
        iconv(converter.cd, nullptr, nullptr, nullptr, nullptr);
    }
    if (destBytes == 0) {
        return static_cast<int>(out.size());
    }
    if (out.size() > static_cast<size_t>(destBytes)) {
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(dest, out.data(), out.size());
    return static_cast<int>(out.size());
}
