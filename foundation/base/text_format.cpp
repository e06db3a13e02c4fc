// printf-style formatting into caller buffers, narrow and UTF-16.
//
// The runtime's wide formatter works on 32-bit wchar_t and reads %s as a
// narrow string, so the UTF-16 form parses the format itself: each numeric
// conversion is handed to the narrow formatter and widened, strings and
// characters are copied (narrow ones converted from the system code page).
//
// Not here: %n in the UTF-16 form (refused: it would write through an argument).
#include <cstdio>
#include <string>

#include "foundation/base/text.h"
#include "platform/kernel.h"

namespace tessel {

int FormatText(char* buffer, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    FormatTextV(buffer, format, arguments);
    va_end(arguments);
    return 0;
}

int FormatTextV(char* buffer, const char* format, va_list arguments) {
    return std::vsprintf(buffer, format, arguments);
}

namespace {

enum class Size { kDefault, kChar, kShort, kLong32, kLong64, kPointer, kLongDouble, kWide };

struct Directive {
    std::string flags;
    int width = -1;
    int precision = -1;
    Size size = Size::kDefault;
    char16_t conversion = 0;
    bool leftAlign() const { return flags.find('-') != std::string::npos; }
};

bool IsFlag(char16_t c) {
    return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0';
}

bool IsDigitUnit(char16_t c) {
    return c >= '0' && c <= '9';
}

// Reads digits or '*' (an int argument) at *p; -1 when neither is there.
int ReadCount(const char16_t** p, va_list* arguments) {
    if (**p == '*') {
        ++*p;
        return va_arg(*arguments, int);
    }
    if (!IsDigitUnit(**p)) {
        return -1;
    }
    int value = 0;
    while (IsDigitUnit(**p)) {
        if (value < 100000) {
            value = value * 10 + (**p - '0');
        }
        ++*p;
    }
    return value;
}

bool StartsWith(const char16_t* p, const char* ascii) {
    for (; *ascii != '\0'; ++p, ++ascii) {
        if (*p != static_cast<char16_t>(*ascii)) {
            return false;
        }
    }
    return true;
}

// Windows' size prefixes: h, hh, l (32-bit), ll, I64, I32, I (pointer-sized),
// z, t, j, L, w.
Size ReadSize(const char16_t** p) {
    struct Prefix {
        const char* text;
        Size size;
    };
    static const Prefix kPrefixes[] = {
        {"hh", Size::kChar},   {"h", Size::kShort},    {"ll", Size::kLong64},
        {"l", Size::kLong32},  {"I64", Size::kLong64}, {"I32", Size::kLong32},
        {"I", Size::kPointer}, {"z", Size::kPointer},  {"t", Size::kPointer},
        {"j", Size::kLong64},  {"q", Size::kLong64},   {"L", Size::kLongDouble},
        {"w", Size::kWide},
    };
    for (const Prefix& prefix : kPrefixes) {
        if (StartsWith(*p, prefix.text)) {
            *p += std::char_traits<char>::length(prefix.text);
            return prefix.size;
        }
    }
    return Size::kDefault;
}

// Reads one conversion after its '%'; false when the format is malformed.
bool ReadDirective(const char16_t** p, va_list* arguments, Directive* directive) {
    while (IsFlag(**p)) {
        directive->flags.push_back(static_cast<char>(**p));
        ++*p;
    }
    directive->width = ReadCount(p, arguments);
    if (directive->width < -1) {  // a negative '*' width aligns left
        directive->flags.push_back('-');
        directive->width = -directive->width;
    }
    if (**p == '.') {
        ++*p;
        directive->precision = ReadCount(p, arguments);
        if (directive->precision == -1 && (*p)[-1] == '.') {
            directive->precision = 0;
        }
    }
    directive->size = ReadSize(p);
    directive->conversion = **p;
    if (directive->conversion == 0) {
        return false;
    }
    ++*p;
    return true;
}

void Pad(std::u16string* out, int count) {
    if (count > 0) {
        out->append(static_cast<size_t>(count), u' ');
    }
}

void AppendAligned(std::u16string* out, const std::u16string& text, const Directive& directive) {
    int padding = directive.width - static_cast<int>(text.size());
    if (!directive.leftAlign()) {
        Pad(out, padding);
    }
    out->append(text);
    if (directive.leftAlign()) {
        Pad(out, padding);
    }
}

std::u16string WideFromNarrow(const char* text, int precision) {
    int bytes = 0;
    while (text[bytes] != '\0' && (precision < 0 || bytes < precision)) {
        // Keep a double-byte character whole.
        bytes += (IsLeadByte(text + bytes, LibraryCharSet) && text[bytes + 1] != '\0') ? 2 : 1;
    }
    if (precision >= 0 && bytes > precision) {
        bytes -= 2;
    }
    if (bytes <= 0) {
        return std::u16string();
    }
    int units = MultiByteToWideChar(CP_ACP, 0, text, bytes, nullptr, 0);
    std::u16string wide(static_cast<size_t>(units), u'\0');
    MultiByteToWideChar(CP_ACP, 0, text, bytes, wide.data(), units);
    return wide;
}

std::u16string WideFromWide(const WCHAR* text, int precision) {
    size_t units = 0;
    while (text[units] != 0 && (precision < 0 || units < static_cast<size_t>(precision))) {
        ++units;
    }
    return std::u16string(text, units);
}

// %s and %c take wide text unless marked narrow (%hs, %S, %hc, %C).
bool NarrowText(const Directive& directive) {
    bool upper = directive.conversion == 'S' || directive.conversion == 'C';
    if (directive.size == Size::kShort) {
        return true;
    }
    if (directive.size == Size::kLong32 || directive.size == Size::kWide) {
        return false;
    }
    return upper;
}

void AppendString(std::u16string* out, const Directive& directive, va_list* arguments) {
    if (NarrowText(directive)) {
        const char* text = va_arg(*arguments, const char*);
        AppendAligned(out, WideFromNarrow(text != nullptr ? text : "(null)", directive.precision),
                      directive);
        return;
    }
    const WCHAR* text = va_arg(*arguments, const WCHAR*);
    AppendAligned(out, WideFromWide(text != nullptr ? text : u"(null)", directive.precision),
                  directive);
}

void AppendChar(std::u16string* out, const Directive& directive, va_list* arguments) {
    int value = va_arg(*arguments, int);
    if (NarrowText(directive)) {
        char narrow[2] = {static_cast<char>(value), '\0'};
        AppendAligned(out, WideFromNarrow(narrow, -1), directive);
        return;
    }
    AppendAligned(out, std::u16string(1, static_cast<char16_t>(value)), directive);
}

// The narrow form of a numeric conversion, for the runtime's formatter.
std::string NarrowDirective(const Directive& directive, const char* size) {
    std::string text = "%" + directive.flags;
    if (directive.width >= 0) {
        text += std::to_string(directive.width);
    }
    if (directive.precision >= 0) {
        text += "." + std::to_string(directive.precision);
    }
    text += size;
    text.push_back(static_cast<char>(directive.conversion));
    return text;
}

template <typename T>
void AppendNumber(std::u16string* out, const Directive& directive, const char* size, T value) {
    std::string format = NarrowDirective(directive, size);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    int length = std::snprintf(nullptr, 0, format.c_str(), value);
    if (length <= 0) {
        return;
    }
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), format.c_str(), value);
#pragma GCC diagnostic pop
    for (int i = 0; i < length; ++i) {
        out->push_back(static_cast<unsigned char>(text[static_cast<size_t>(i)]));
    }
}

void AppendInteger(std::u16string* out, const Directive& directive, va_list* arguments) {
    const bool isSigned = directive.conversion == 'd' || directive.conversion == 'i';
    switch (directive.size) {
        case Size::kLong64:
            if (isSigned) {
                AppendNumber(out, directive, "ll", va_arg(*arguments, long long));
            } else {
                AppendNumber(out, directive, "ll", va_arg(*arguments, unsigned long long));
            }
            return;
        case Size::kPointer:
            if (isSigned) {
                AppendNumber(out, directive, "t", va_arg(*arguments, ptrdiff_t));
            } else {
                AppendNumber(out, directive, "z", va_arg(*arguments, size_t));
            }
            return;
        default:
            break;
    }
    // char, short, int and Windows' 32-bit long all arrive as an int.
    int value = va_arg(*arguments, int);
    const char* size = directive.size == Size::kChar    ? "hh"
                       : directive.size == Size::kShort ? "h"
                                                        : "";
    if (isSigned) {
        AppendNumber(out, directive, size, value);
    } else {
        AppendNumber(out, directive, size, static_cast<unsigned int>(value));
    }
}

void AppendFloating(std::u16string* out, const Directive& directive, va_list* arguments) {
    if (directive.size == Size::kLongDouble) {
        AppendNumber(out, directive, "L", va_arg(*arguments, long double));
    } else {
        AppendNumber(out, directive, "", va_arg(*arguments, double));
    }
}

// Formats one conversion; false for one it does not know (or %n, which
// would write through an argument).
bool AppendConversion(std::u16string* out, const Directive& directive, va_list* arguments) {
    switch (directive.conversion) {
        case '%':
            out->push_back(u'%');
            return true;
        case 's':
        case 'S':
            AppendString(out, directive, arguments);
            return true;
        case 'c':
        case 'C':
            AppendChar(out, directive, arguments);
            return true;
        case 'd':
        case 'i':
        case 'u':
        case 'o':
        case 'x':
        case 'X':
            AppendInteger(out, directive, arguments);
            return true;
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
        case 'a':
        case 'A':
            AppendFloating(out, directive, arguments);
            return true;
        case 'p':
            AppendNumber(out, directive, "", va_arg(*arguments, void*));
            return true;
        default:
            return false;
    }
}

}  // namespace

int FormatWideText(WCHAR* buffer, const WCHAR* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    FormatWideTextV(buffer, format, arguments);
    va_end(arguments);
    return 0;
}

namespace {

// The formatted text, or false for a format that cannot be read.
bool FormatWideString(const WCHAR* format, va_list arguments, std::u16string* out) {
    va_list list;
    va_copy(list, arguments);
    const char16_t* p = format;
    bool ok = true;
    while (*p != 0 && ok) {
        if (*p != u'%') {
            out->push_back(*p++);
            continue;
        }
        ++p;
        Directive directive;
        ok = ReadDirective(&p, &list, &directive) && AppendConversion(out, directive, &list);
    }
    va_end(list);
    return ok;
}

}  // namespace

int FormatWideTextV(WCHAR* buffer, const WCHAR* format, va_list arguments) {
    std::u16string out;
    if (!FormatWideString(format, arguments, &out)) {
        buffer[0] = 0;
        return -1;
    }
    out.copy(buffer, out.size());
    buffer[out.size()] = 0;
    return static_cast<int>(out.size());
}

int FormatWideTextBounded(WCHAR* buffer, int units, const WCHAR* format, va_list arguments) {
    if (units <= 0) {
        return -1;
    }
    std::u16string out;
    if (!FormatWideString(format, arguments, &out)) {
        buffer[0] = 0;
        return -1;
    }
    size_t kept =
        out.size() < static_cast<size_t>(units - 1) ? out.size() : static_cast<size_t>(units - 1);
    if (kept < out.size() && kept > 0 && IsHighSurrogate(out[kept - 1])) {
        --kept;  // never half of a surrogate pair
    }
    out.copy(buffer, kept);
    buffer[kept] = 0;
    return static_cast<int>(kept);
}

}  // namespace tessel
