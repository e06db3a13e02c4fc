#include "foundation/log.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/memory.h"
#include "platform/kernel.h"
#include "platform/winmm.h"

namespace tessel {

namespace {

// What the log keeps of the library's system state. The log-off setting, the
// start directory and the start time outlive every start-up of the library.
struct LogState {
    int logOff = 0;
    char fileName[256] = "Log.txt";
    char startDirectory[260] = "";
    int indentLevel = 0;
    int midLine = 0;
    DWORD startTime = 0;
};

LogState state;

constexpr size_t kStackTextLimit = 255;
// The TAB run is built in the same 536-byte buffer as the time stamp; deeper
// levels are written at this depth.
constexpr int kMaxIndentTabs = 535;
constexpr int kFormatBufferSize = 1024;

bool LeadByteAt(const char* p) {
    return IsDBCSLeadByte(static_cast<BYTE>(*p)) != 0 && p[1] != '\0';
}

// The first line feed at or after `p`, stepping over double-byte characters.
const char* FindLineFeed(const char* p) {
    while (*p != '\0') {
        if (LeadByteAt(p)) {
            p += 2;
            continue;
        }
        if (*p == '\n') {
            return p;
        }
        ++p;
    }
    return nullptr;
}

// Line feeds become CR LF, until a line feed that already has its CR: from
// there on the text is copied as it stands. Returns the converted length.
size_t ConvertLineEnds(const char* text, char* out) {
    char* at = out;
    const char* rest = text;
    for (const char* lf = FindLineFeed(rest); lf != nullptr; lf = FindLineFeed(rest)) {
        if (lf != text && lf[-1] == '\r') {
            break;
        }
        size_t run = static_cast<size_t>(lf - rest);
        std::memcpy(at, rest, run);
        at += run;
        *at++ = '\r';
        *at++ = '\n';
        rest = lf + 1;
    }
    size_t tail = std::strlen(rest);
    std::memcpy(at, rest, tail + 1);
    return static_cast<size_t>(at - out) + tail;
}

bool EndsWithBackslash(const char* text) {
    bool last = false;
    for (const char* p = text; *p != '\0';) {
        if (LeadByteAt(p)) {
            last = false;
            p += 2;
            continue;
        }
        last = *p == '\\';
        ++p;
    }
    return last;
}

void WriteBytes(HANDLE file, const char* bytes, size_t length) {
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, bytes, static_cast<DWORD>(length), &written, nullptr);
    }
}

void WriteLineStart(HANDLE file) {
    char buffer[536];
    int length = std::snprintf(buffer, sizeof(buffer),
                               "%d:", static_cast<int>(timeGetTime() - state.startTime));
    WriteBytes(file, buffer, static_cast<size_t>(length));
    OutputDebugStringA(buffer);
    int tabs = state.indentLevel < kMaxIndentTabs ? state.indentLevel : kMaxIndentTabs;
    if (tabs > 0) {
        std::memset(buffer, '\t', static_cast<size_t>(tabs));
        buffer[tabs] = '\0';
        WriteBytes(file, buffer, static_cast<size_t>(tabs));
        OutputDebugStringA(buffer);
    }
}

void Output(const char* converted, size_t length) {
    if (state.logOff != 0 || state.startDirectory[0] == '\0' || length == 0) {
        return;
    }
    std::string path(state.startDirectory);
    if (!EndsWithBackslash(state.startDirectory)) {
        path += '\\';
    }
    path += state.fileName;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        SetFilePointer(file, 0, nullptr, FILE_END);
    }
    if (state.midLine == 0) {
        WriteLineStart(file);
    }
    WriteBytes(file, converted, length);
    OutputDebugStringA(converted);
    state.midLine = converted[length - 1] == '\n' ? 0 : 1;
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
}

// Cuts a formatted text that filled its buffer so that the line end still
// fits and no double-byte character is split.
void TrimForLineEnd(char* text, size_t limit) {
    size_t at = 0;
    while (text[at] != '\0') {
        size_t step = LeadByteAt(text + at) ? 2 : 1;
        if (at + step > limit) {
            break;
        }
        at += step;
    }
    text[at] = '\0';
}

// --- A printf for UTF-16 formats, with the wide rules of Windows. ---

void AppendWide(std::u16string* out, const std::u16string& field, bool leftAlign, int width) {
    int pad = width - static_cast<int>(field.size());
    if (!leftAlign && pad > 0) {
        out->append(static_cast<size_t>(pad), u' ');
    }
    out->append(field);
    if (leftAlign && pad > 0) {
        out->append(static_cast<size_t>(pad), u' ');
    }
}

std::u16string WidenNarrow(const char* text, int precision) {
    if (text == nullptr) {
        return u"(null)";
    }
    size_t length = std::strlen(text);
    if (precision >= 0 && static_cast<size_t>(precision) < length) {
        length = static_cast<size_t>(precision);
    }
    if (length == 0) {
        return std::u16string();
    }
    int units = MultiByteToWideChar(932, 0, text, static_cast<int>(length), nullptr, 0);
    std::u16string wide(static_cast<size_t>(units > 0 ? units : 0), u'\0');
    if (units > 0) {
        MultiByteToWideChar(932, 0, text, static_cast<int>(length), wide.data(), units);
    }
    return wide;
}

std::u16string WideText(const WCHAR* text, int precision) {
    if (text == nullptr) {
        return u"(null)";
    }
    std::u16string wide;
    for (size_t i = 0; text[i] != 0; ++i) {
        if (precision >= 0 && i >= static_cast<size_t>(precision)) {
            break;
        }
        wide.push_back(text[i]);
    }
    return wide;
}

std::u16string FormatWide(const WCHAR* format, va_list args) {
    std::u16string out;
    for (const WCHAR* p = format; *p != 0; ++p) {
        if (*p != u'%') {
            out.push_back(*p);
            continue;
        }
        std::string spec = "%";
        bool leftAlign = false;
        ++p;
        while (*p == u'-' || *p == u'+' || *p == u' ' || *p == u'#' || *p == u'0') {
            leftAlign = leftAlign || *p == u'-';
            spec.push_back(static_cast<char>(*p++));
        }
        int width = 0;
        if (*p == u'*') {
            width = va_arg(args, int);
            if (width < 0) {
                leftAlign = true;
                width = -width;
                spec.push_back('-');
            }
            spec += std::to_string(width);
            ++p;
        } else {
            while (*p >= u'0' && *p <= u'9') {
                width = width * 10 + (*p - u'0');
                spec.push_back(static_cast<char>(*p++));
            }
        }
        int precision = -1;
        if (*p == u'.') {
            ++p;
            precision = 0;
            if (*p == u'*') {
                precision = va_arg(args, int);
                ++p;
            } else {
                while (*p >= u'0' && *p <= u'9') {
                    precision = precision * 10 + (*p++ - u'0');
                }
            }
            if (precision >= 0) {
                spec += "." + std::to_string(precision);
            }
        }
        // Length: h and l as on Windows (l is 32 bits), ll and I64 for 64 bits.
        int size = 0;  // -1 short/narrow, 0 plain, 1 long, 2 64-bit
        if (*p == u'h') {
            size = -1;
            ++p;
        } else if (*p == u'l' && p[1] == u'l') {
            size = 2;
            p += 2;
        } else if (*p == u'l' || *p == u'w') {
            size = 1;
            ++p;
        } else if (*p == u'I' && p[1] == u'6' && p[2] == u'4') {
            size = 2;
            p += 3;
        }
        WCHAR conversion = *p;
        char narrow[128];
        switch (conversion) {
            case u'%':
                out.push_back(u'%');
                break;
            case u's':
            case u'S': {
                bool isNarrow = (conversion == u'S' && size != 1) || size == -1;
                std::u16string field = isNarrow ? WidenNarrow(va_arg(args, const char*), precision)
                                                : WideText(va_arg(args, const WCHAR*), precision);
                AppendWide(&out, field, leftAlign, width);
                break;
            }
            case u'c':
            case u'C': {
                int value = va_arg(args, int);
                bool isNarrow = (conversion == u'C' && size != 1) || size == -1;
                char single[2] = {static_cast<char>(value), '\0'};
                std::u16string field = isNarrow ? WidenNarrow(single, -1)
                                                : std::u16string(1, static_cast<WCHAR>(value));
                AppendWide(&out, field, leftAlign, width);
                break;
            }
            case u'd':
            case u'i':
            case u'u':
            case u'x':
            case u'X':
            case u'o': {
                spec += size == 2 ? "ll" : "";
                spec.push_back(static_cast<char>(conversion));
                if (size == 2) {
                    std::snprintf(narrow, sizeof(narrow), spec.c_str(), va_arg(args, long long));
                } else {
                    std::snprintf(narrow, sizeof(narrow), spec.c_str(), va_arg(args, int));
                }
                out += WidenNarrow(narrow, -1);
                break;
            }
            case u'f':
            case u'F':
            case u'e':
            case u'E':
            case u'g':
            case u'G':
            case u'a':
            case u'A':
                spec.push_back(static_cast<char>(conversion));
                std::snprintf(narrow, sizeof(narrow), spec.c_str(), va_arg(args, double));
                out += WidenNarrow(narrow, -1);
                break;
            case u'p':
                std::snprintf(narrow, sizeof(narrow), "%016" PRIxPTR,
                              reinterpret_cast<uintptr_t>(va_arg(args, void*)));
                out += WidenNarrow(narrow, -1);
                break;
            case 0:
                return out;  // a lone '%' at the end
            default:
                break;  // unknown conversions (and %n) write nothing
        }
    }
    return out;
}

}  // namespace

int EnableLogFile(int on) {
    state.logOff = on == 0 ? 1 : 0;
    return 0;
}

int StartLogFile() {
    if (state.logOff != 0) {
        return 1;
    }
    std::strcpy(state.fileName, "Log.txt");
    DeleteFileA(state.fileName);
    HANDLE file = CreateFileA(state.fileName, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
    state.indentLevel = 0;
    state.midLine = 0;
    state.startTime = timeGetTime();
    return 1;
}

int WriteLog(const char* text) {
    if (text == nullptr) {
        return -1;
    }
    size_t length = std::strlen(text);
    char stackBuffer[2 * kStackTextLimit + 1];
    char* work = stackBuffer;
    if (length > kStackTextLimit) {
        work =
            static_cast<char*>(AllocTracked(static_cast<uint32_t>(2 * length + 1), nullptr, 65535));
        if (work == nullptr) {
            return -1;
        }
    }
    size_t converted = ConvertLineEnds(text, work);
    Output(work, converted);
    if (work != stackBuffer) {
        FreeTracked(work);
    }
    return -1;
}

int WriteLogText(const char* text) {
    return WriteLog(text);
}

int WriteLogFormat(const char* format, ...) {
    char buffer[kFormatBufferSize];
    va_list args;
    va_start(args, format);
    int length = std::vsnprintf(buffer, sizeof(buffer), format, args);
    va_end(args);
    if (length < 0) {
        return -1;
    }
    TrimForLineEnd(buffer, sizeof(buffer) - 2);
    std::strcat(buffer, "\n");
    return WriteLog(buffer);
}

int WriteLogFormatW(const WCHAR* format, ...) {
    if (format == nullptr) {
        return -1;
    }
    va_list args;
    va_start(args, format);
    std::u16string text = FormatWide(format, args);
    va_end(args);
    if (text.size() > static_cast<size_t>(kFormatBufferSize - 2)) {
        text.resize(kFormatBufferSize - 2);
        if (text.back() >= 0xD800 && text.back() <= 0xDBFF) {
            text.pop_back();  // never a half of a surrogate pair
        }
    }
    text += u"\n";
    char narrow[kFormatBufferSize + 1];
    int bytes = WideCharToMultiByte(932, 0, text.data(), static_cast<int>(text.size()), narrow,
                                    kFormatBufferSize, nullptr, nullptr);
    if (bytes <= 0) {
        // Too long once converted: convert what fits, keeping the line end.
        std::u16string shorter = text;
        while (bytes <= 0 && shorter.size() > 1) {
            shorter.erase(shorter.size() - 2, 1);
            bytes = WideCharToMultiByte(932, 0, shorter.data(), static_cast<int>(shorter.size()),
                                        narrow, kFormatBufferSize, nullptr, nullptr);
        }
        if (bytes <= 0) {
            return -1;
        }
    }
    narrow[bytes] = '\0';
    return WriteLog(narrow);
}

int IndentLog() {
    ++state.indentLevel;
    return 0;
}

int OutdentLog() {
    if (state.indentLevel > 0) {
        --state.indentLevel;
    }
    return 0;
}

void SetLogStartDirectory(const char* directory) {
    if (directory == nullptr) {
        state.startDirectory[0] = '\0';
        return;
    }
    std::snprintf(state.startDirectory, sizeof(state.startDirectory), "%s", directory);
}

const char* GetLogStartDirectory() {
    return state.startDirectory;
}

}  // namespace tessel
