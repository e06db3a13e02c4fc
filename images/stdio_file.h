// Standard file streams for the writers that hand a FILE to their library.
#pragma once

#include <cstdio>

#include "platform/types.h"

namespace tessel {

// Creates (or replaces) the file named by the UTF-16 path when given, else by
// the code page 932 path, for binary writing through the platform's path
// mapping. Null when it cannot be opened.
FILE* OpenWriteFile(const WCHAR* widePath, const char* path);

}  // namespace tessel
