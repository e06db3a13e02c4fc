// Path arithmetic with Windows conventions: '\' and '/' both separate, a
// drive is a letter and ':', a leading pair of separators starts a network
// path. Byte strings are in the library's double-byte character set; UTF-16
// strings keep surrogate pairs together. Buffers hold 260 characters.
#pragma once

#include "platform/types.h"

namespace tessel {

constexpr int kPathCapacity = 260;

// The absolute form of path against base (null: the current directory of the
// file layer); null path gives base. 0, or -1 (empty out) when the result
// would not fit 260 characters.
int MakeFullPath(const char* path, char* out, const char* base);
int MakeFullPathW(const WCHAR* path, WCHAR* out, const WCHAR* base);

// The name after the last separator or colon, and the directory before it
// (empty when there is none). Either output may be null. Returns 0.
int SplitPath(const char* path, char* name, char* directory);
int SplitPathW(const WCHAR* path, WCHAR* name, WCHAR* directory);

// The path leading from directory base to file; the full path of file when
// they lie on different drives or servers. 0, or -1 when it does not fit.
int MakeRelativePath(const char* file, const char* base, char* out);
int MakeRelativePathW(const WCHAR* file, const WCHAR* base, WCHAR* out);

// A new empty file in the temporary folder, opened for writing; its full
// name goes to path (when given, 260 bytes). Null on failure.
HANDLE CreateTempFile(char* path);

}  // namespace tessel
