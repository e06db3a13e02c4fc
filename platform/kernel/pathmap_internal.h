// Path mapping between Windows paths and the Linux file system. Internal to
// the platform layer.
#pragma once

#include <string>

#include "platform/types.h"

namespace platform {

std::string Cp932ToUtf8(const char* text);
std::string Cp932ToUtf8(const std::string& text);
std::string Utf8ToCp932(const std::string& text);

// Equal without regard to case (ASCII, Latin-1, Greek, Cyrillic, full-width
// Latin letters), UTF-8 on both sides.
bool NamesEqualNoCase(const std::string& a, const std::string& b);
// The name folded to one case, for sorting and matching.
std::u32string FoldName(const std::string& utf8);

// Errno to the Windows error code of a failed file call.
DWORD ErrorFromErrno(int error);

// True when the file or directory exists (symbolic links followed).
bool PathExists(const std::string& linuxPath);

}  // namespace platform
