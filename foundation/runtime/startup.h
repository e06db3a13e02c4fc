// Bringing the library up in one call and down in another, in the order the
// rest of the library relies on; the start-up banner; the fatal exit.
#pragma once

namespace tessel {

// 0 when started (or already running), -1 when start-up failed and was undone.
int StartLibrary();
// 0; does nothing when the library is not running.
int EndLibrary();
// The same without the public-call lock.
int StartLibraryInner();
int EndLibraryInner();

// Logs the text, ends the library and the process (exit code -1).
[[noreturn]] void AbortWithLog(const char* text);
[[noreturn]] void AbortWithLogFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The system-information banner of the log. 0.
int LogSystemInfo();

}  // namespace tessel
