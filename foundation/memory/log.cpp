#include "foundation/memory/log.h"

#include <atomic>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/base/charset.h"
#include "foundation/base/text.h"
#include "foundation/memory/memory.h"
#include "platform/kernel.h"
#include "platform/winmm.h"

namespace tessel {

namespace {

// What the log keeps of the library's system state. The log-off setting, the
// start directory and the start time outlive every start-up of the library.
// The log takes no lock: threads may write at once, so what two of them
// change per text is atomic, and each text reaches the file in one append.
struct LogState {
    int logOff = 0;
    char fileName[256] = "Log.txt";
    char startDirectory[260] = "";
    std::atomic<int> indentLevel = 0;
    std::atomic<int> midLine = 0;
    DWORD startTime = 0;
};

LogState state;

constexpr size_t kStackTextLimit = 255;
// The TAB run is built in the same 536-byte buffer as the time stamp; deeper
// levels are written at this depth.
constexpr int kMaxIndentTabs = 535;
constexpr int kFormatBufferSize = 1024;

bool LeadByteAt(const char* p) {
    return IsLeadByte(p, LibraryCharSet) != 0 && p[1] != '\0';
}

const char* FindLineFeed(const char* p) {
    return FindTextChar(p, '\n');
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

// The time stamp and the indent's TABs that open a line.
std::string LineStart() {
    char buffer[536];
    int length = std::snprintf(buffer, sizeof(buffer),
                               "%d:", static_cast<int>(timeGetTime() - state.startTime));
    std::string start(buffer, static_cast<size_t>(length));
    const int level = state.indentLevel.load();
    start.append(static_cast<size_t>(level < kMaxIndentTabs ? level : kMaxIndentTabs), '\t');
    return start;
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
    // Whether this text opens a line is settled in one step, so two threads
    // never both take (or both miss) the same line start.
    const int endsMidLine = converted[length - 1] == '\n' ? 0 : 1;
    std::string text = state.midLine.exchange(endsMidLine) == 0 ? LineStart() : std::string();
    text.append(converted, length);
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        CloseHandle(file);
    }
    OutputDebugStringA(text.c_str());
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
    WCHAR text[kFormatBufferSize];
    va_list args;
    va_start(args, format);
    int units = FormatWideTextBounded(text, kFormatBufferSize - 1, format, args);
    va_end(args);
    if (units < 0) {
        return -1;
    }
    text[units] = u'\n';
    text[units + 1] = 0;
    // A text that does not fit once converted is shortened until it does,
    // keeping its line end.
    char narrow[kFormatBufferSize + 1];
    int bytes = 0;
    for (int keep = units; keep >= 0; --keep) {
        text[keep] = u'\n';
        bytes = WideCharToMultiByte(932, 0, text, keep + 1, narrow, kFormatBufferSize, nullptr,
                                    nullptr);
        if (bytes > 0) {
            break;
        }
    }
    if (bytes <= 0) {
        return -1;
    }
    narrow[bytes] = '\0';
    return WriteLog(narrow);
}

int IndentLog() {
    ++state.indentLevel;
    return 0;
}

int OutdentLog() {
    int level = state.indentLevel.load();
    while (level > 0 && !state.indentLevel.compare_exchange_weak(level, level - 1)) {
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

void ReportOnConsole(const char* text) {
    int units = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (units <= 0) {
        return;
    }
    std::u16string utf16(static_cast<size_t>(units), u'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, utf16.data(), units);
    int bytes = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return;
    }
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), -1, utf8.data(), bytes, nullptr, nullptr);
    std::fputs(utf8.c_str(), stderr);
    std::fflush(stderr);
}

}  // namespace tessel
