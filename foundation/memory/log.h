// The library's text log, "Log.txt" in the start directory: code page 932
// text, CR LF line ends, a millisecond time stamp and one TAB per indent level
// where a line begins. Every piece of text also goes to the debugger output.
#pragma once

#include "platform/types.h"

namespace tessel {

int EnableLogFile(int on);
// Creates an empty "Log.txt" in the current directory and restarts the clock,
// the indent and the line state. Returns 1.
int StartLogFile();

// Each returns -1, so that a caller may return it as its own failure value.
int WriteLog(const char* text);
int WriteLogText(const char* text);
// printf rules, a line end appended.
int WriteLogFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The same for a UTF-16 format (Windows wide rules: %s is a UTF-16 string,
// %S and %hs a narrow one); converted to code page 932.
int WriteLogFormatW(const WCHAR* format, ...);

// A refusal the person starting the program must see even with the log
// switched off: the code page 932 text, as UTF-8, on standard error.
void ReportOnConsole(const char* text);

int IndentLog();
int OutdentLog();

// The directory the log file lives in (start-up records the directory that
// is current then); nothing is written before it is known. Null forgets it.
void SetLogStartDirectory(const char* directory);
const char* GetLogStartDirectory();

}  // namespace tessel
