// Files, directories and searches, with Windows paths.
//
// Paths arrive as code page 932 text with '\' (or '/') separators. Drive C:
// is the Linux root; names are converted to UTF-8. A path component that does
// not exist as spelled is looked up without regard to case, as on a Windows
// file system; a file or directory that is created keeps the given spelling.
#pragma once

#include <cstdio>
#include <string>

#include "platform/kernel/threads.h"
#include "platform/types.h"

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
// Writes only, each landing whole at the file's end whoever else writes to it.
#define FILE_APPEND_DATA 0x00000004u

#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u

#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u

#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu

#define FILE_BEGIN 0u
#define FILE_CURRENT 1u
#define FILE_END 2u
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu
#define INVALID_FILE_SIZE 0xFFFFFFFFu

#define MOVEFILE_REPLACE_EXISTING 0x00000001u
#define MOVEFILE_WRITE_THROUGH 0x00000008u

#define ERROR_TOO_MANY_OPEN_FILES 4u
#define ERROR_NOT_SAME_DEVICE 17u
#define ERROR_WRITE_FAULT 29u
#define ERROR_READ_FAULT 30u
#define ERROR_GEN_FAILURE 31u
#define ERROR_DISK_FULL 112u
#define ERROR_NEGATIVE_SEEK 131u
#define ERROR_DIR_NOT_EMPTY 145u
#define ERROR_BUFFER_OVERFLOW 111u
#define ERROR_FILENAME_EXCED_RANGE 206u
#define ERROR_DIRECTORY 267u

struct OVERLAPPED;
using LPOVERLAPPED = OVERLAPPED*;

struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    CHAR cFileName[MAX_PATH];
    CHAR cAlternateFileName[14];
};
using LPWIN32_FIND_DATAA = WIN32_FIND_DATAA*;

// A file HANDLE is a kernel object: CloseHandle closes it. Sharing modes are
// accepted and not enforced.
HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES attributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
              LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped);
DWORD SetFilePointer(HANDLE file, LONG distance, LPLONG distanceHigh, DWORD moveMethod);
DWORD GetFileSize(HANDLE file, LPDWORD fileSizeHigh);
BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite);

BOOL DeleteFileA(LPCSTR fileName);
// The UTF-16 name is taken in code page 932, as the narrow calls take it.
BOOL DeleteFileW(LPCWSTR fileName);
// Gives a file a new name on the same file system. With
// MOVEFILE_REPLACE_EXISTING a file already holding the new name is replaced
// in one step: a reader finds the old file or the new one, never a mixture
// and never no file. A read-only file, a directory or a device is not replaced
// (ERROR_ACCESS_DENIED); without the flag any existing name is refused
// (ERROR_ALREADY_EXISTS). A new name that is a symbolic link keeps the link
// and replaces the file it names. MOVEFILE_WRITE_THROUGH returns only once
// the file's bytes and its new name are on the disk. Other flags are refused
// (ERROR_INVALID_PARAMETER); another file system is ERROR_NOT_SAME_DEVICE.
BOOL MoveFileExA(LPCSTR existingFileName, LPCSTR newFileName, DWORD flags);
BOOL CreateDirectoryA(LPCSTR pathName, LPSECURITY_ATTRIBUTES attributes);
DWORD GetFileAttributesA(LPCSTR fileName);

// The current directory in Windows form ("C:\home\me"). Returns the length
// without the NUL, or the size needed (with the NUL) when the buffer is short.
DWORD GetCurrentDirectoryA(DWORD bufferLength, LPSTR buffer);
BOOL SetCurrentDirectoryA(LPCSTR pathName);

// "*" matches any run of characters, "?" one character, without regard to
// case; "*.*" matches every name. As on Windows, a search of a directory that
// is not the root also reports "." and "..". Names come in ascending order.
HANDLE FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findData);
BOOL FindNextFileA(HANDLE findFile, LPWIN32_FIND_DATAA findData);
BOOL FindClose(HANDLE findFile);

// The temporary folder is $TMPDIR or /tmp, in Windows form with a trailing '\'.
DWORD GetTempPathA(DWORD bufferLength, LPSTR buffer);
// With unique 0 the name is made unique and the file created; otherwise only
// the name is made. The output holds MAX_PATH bytes.
UINT GetTempFileNameA(LPCSTR pathName, LPCSTR prefixString, UINT unique, LPSTR tempFileName);

BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, FILETIME* localFileTime);
BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime);
BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime);

namespace platform {

// The C runtime's fopen through the same path mapping ("wb" creates with the
// given spelling; "rb" finds the file without regard to case).
FILE* fopen(const char* fileName, const char* mode);

// The Linux path (UTF-8) a Windows path names; false with a Windows error
// code when it cannot name one (another drive, a network path, an empty path).
bool MapWindowsPath(const char* windowsPath, std::string* linuxPath, DWORD* error);

// The Windows form (code page 932, "C:\...") of an absolute Linux path.
std::string WindowsPathFromLinux(const std::string& linuxPath);

}  // namespace platform
