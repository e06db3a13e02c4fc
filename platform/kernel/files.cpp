// Files behind checked HANDLEs: CreateFileA's creation modes, reads and
// writes, the file pointer, sizes and times, deletion, renaming, directories,
// the current directory, temporary names, and the FILETIME/SYSTEMTIME
// conversions. Every name goes through the path mapping (pathmap) first;
// errno becomes the Windows error a program expects (a missing file and a
// missing folder are told apart).
// Not here: sharing modes and overlapped I/O (accepted, not enforced), file
// searches (find.cpp).
#include "platform/kernel/files.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/kernel/codepage.h"
#include "platform/kernel/file_object_internal.h"
#include "platform/kernel/object_internal.h"
#include "platform/kernel/pathmap_internal.h"
#include "platform/kernel/threads.h"
#include "platform/kernel/time.h"

namespace platform {

namespace {

constexpr LONGLONG kTicksPerSecond = 10'000'000;
constexpr LONGLONG kEpochDifference = 11'644'473'600LL;  // seconds from 1601 to 1970

HeldObject<FileObject> FileFromHandle(HANDLE handle) {
    return LookupObject<FileObject>(handle, ObjectKind::File);
}

FILETIME FileTimeFromTicks(ULONGLONG ticks) {
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

ULONGLONG TicksFromFileTime(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

std::string ParentOf(const std::string& linuxPath) {
    size_t slash = linuxPath.rfind('/');
    return slash == 0 ? "/" : linuxPath.substr(0, slash);
}

// The directory part of a Linux path exists: a missing file then reports
// "file not found", else "path not found", as Windows tells them apart.
DWORD MissingError(const std::string& linuxPath) {
    struct stat info;
    if (stat(ParentOf(linuxPath).c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        return ERROR_FILE_NOT_FOUND;
    }
    return ERROR_PATH_NOT_FOUND;
}

DWORD ErrorForPath(int error, const std::string& linuxPath) {
    return error == ENOENT ? MissingError(linuxPath) : ErrorFromErrno(error);
}

template <typename T>
T Fail(DWORD error, T result) {
    SetLastError(error);
    return result;
}

std::string TempFolderLinux() {
    const char* folder = std::getenv("TMPDIR");
    if (folder == nullptr || folder[0] != '/') {
        folder = "/tmp";
    }
    std::string path(folder);
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

// Copies `text` with its NUL when it fits: the Windows rule for calls that
// return a length or the size needed.
DWORD CopyOut(const std::string& text, DWORD bufferLength, LPSTR buffer) {
    if (buffer == nullptr || bufferLength < text.size() + 1) {
        return static_cast<DWORD>(text.size() + 1);
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
}

// Flushes what the kernel holds of a file or a directory to the disk.
bool SyncPath(const std::string& linuxPath, int extraFlags) {
    int fd = open(linuxPath.c_str(), O_RDONLY | O_CLOEXEC | extraFlags);
    if (fd < 0) {
        return false;
    }
    bool synced = fsync(fd) == 0;
    int error = errno;
    close(fd);
    errno = error;
    return synced;
}

// Where a rename onto `linuxPath` must land: the file a symbolic link names,
// so that the link survives the replacement.
std::string FollowLinks(const std::string& linuxPath) {
    char* real = realpath(linuxPath.c_str(), nullptr);
    if (real == nullptr) {
        return linuxPath;
    }
    std::string followed(real);
    std::free(real);
    return followed;
}

}  // namespace

FileTimes FileTimesOf(const std::string& linuxPath, int fd) {
    struct statx info;
    int result =
        fd >= 0 ? statx(fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &info)
                : statx(AT_FDCWD, linuxPath.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &info);
    FileTimes times{};
    if (result != 0) {
        return times;
    }
    auto convert = [](const struct statx_timestamp& stamp) {
        return FileTimeFromTicks(static_cast<ULONGLONG>(
            (stamp.tv_sec + kEpochDifference) * kTicksPerSecond + stamp.tv_nsec / 100));
    };
    times.lastWrite = convert(info.stx_mtime);
    times.lastAccess = convert(info.stx_atime);
    // Not every file system keeps a birth time; the last change stands in.
    times.creation =
        (info.stx_mask & STATX_BTIME) != 0 ? convert(info.stx_btime) : convert(info.stx_mtime);
    return times;
}

DWORD AttributesFromMode(mode_t mode) {
    DWORD attributes = 0;
    if (S_ISDIR(mode)) {
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    }
    if ((mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        attributes |= FILE_ATTRIBUTE_READONLY;
    }
    return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

FileObject::~FileObject() {
    if (fd >= 0) {
        close(fd);
    }
}

FILE* fopen(const char* fileName, const char* mode) {
    std::string linuxPath;
    DWORD error = 0;
    if (!MapWindowsPath(fileName, &linuxPath, &error)) {
        errno = ENOENT;
        return nullptr;
    }
    return std::fopen(linuxPath.c_str(), mode);
}

}  // namespace platform

using platform::FileObject;

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD /*shareMode*/,
                   LPSECURITY_ATTRIBUTES /*attributes*/, DWORD creationDisposition,
                   DWORD /*flagsAndAttributes*/, HANDLE /*templateFile*/) {
    std::string path;
    DWORD error = 0;
    if (!platform::MapWindowsPath(fileName, &path, &error)) {
        return platform::Fail(error, INVALID_HANDLE_VALUE);
    }
    bool read = (desiredAccess & GENERIC_READ) != 0;
    bool append = (desiredAccess & FILE_APPEND_DATA) != 0 && (desiredAccess & GENERIC_WRITE) == 0;
    bool write = (desiredAccess & GENERIC_WRITE) != 0 || append;
    int flags = O_CLOEXEC | (read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY);
    if (append) {
        flags |= O_APPEND;
    }
    switch (creationDisposition) {
        case CREATE_NEW:
            flags |= O_CREAT | O_EXCL;
            break;
        case CREATE_ALWAYS:
            flags |= O_CREAT | O_TRUNC;
            break;
        case OPEN_EXISTING:
            break;
        case OPEN_ALWAYS:
            flags |= O_CREAT;
            break;
        case TRUNCATE_EXISTING:
            flags |= O_TRUNC;
            break;
        default:
            return platform::Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    }
    bool existed = platform::PathExists(path);
    int fd = open(path.c_str(), flags, 0666);
    if (fd < 0) {
        return platform::Fail(platform::ErrorForPath(errno, path), INVALID_HANDLE_VALUE);
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        close(fd);  // a directory is not a file on Windows
        return platform::Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    }
    HANDLE file = platform::AddHandle(new FileObject(fd, path));
    if (file == nullptr) {
        return platform::Fail(ERROR_TOO_MANY_OPEN_FILES, INVALID_HANDLE_VALUE);
    }
    bool reportsExisting =
        creationDisposition == CREATE_ALWAYS || creationDisposition == OPEN_ALWAYS;
    SetLastError(reportsExisting && existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return file;
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
              LPOVERLAPPED /*overlapped*/) {
    if (bytesRead != nullptr) {
        *bytesRead = 0;
    }
    auto file = platform::FileFromHandle(handle);
    if (!file) {
        return platform::Fail(ERROR_INVALID_HANDLE, FALSE);
    }
    DWORD done = 0;
    auto* out = static_cast<char*>(buffer);
    while (done < bytesToRead) {
        ssize_t got = read(file->fd, out + done, bytesToRead - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            if (bytesRead != nullptr) {
                *bytesRead = done;
            }
            return platform::Fail(errno == EBADF ? ERROR_ACCESS_DENIED : ERROR_READ_FAULT, FALSE);
        }
        if (got == 0) {
            break;
        }
        done += static_cast<DWORD>(got);
    }
    if (bytesRead != nullptr) {
        *bytesRead = done;
    }
    return TRUE;
}

BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPOVERLAPPED /*overlapped*/) {
    if (bytesWritten != nullptr) {
        *bytesWritten = 0;
    }
    auto file = platform::FileFromHandle(handle);
    if (!file) {
        return platform::Fail(ERROR_INVALID_HANDLE, FALSE);
    }
    DWORD done = 0;
    const auto* in = static_cast<const char*>(buffer);
    while (done < bytesToWrite) {
        ssize_t put = write(file->fd, in + done, bytesToWrite - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            if (bytesWritten != nullptr) {
                *bytesWritten = done;
            }
            DWORD error = errno == ENOSPC  ? ERROR_DISK_FULL
                          : errno == EBADF ? ERROR_ACCESS_DENIED
                                           : ERROR_WRITE_FAULT;
            return platform::Fail(error, FALSE);
        }
        done += static_cast<DWORD>(put);
    }
    if (bytesWritten != nullptr) {
        *bytesWritten = done;
    }
    return TRUE;
}

DWORD SetFilePointer(HANDLE handle, LONG distance, LPLONG distanceHigh, DWORD moveMethod) {
    auto file = platform::FileFromHandle(handle);
    if (!file) {
        return platform::Fail(ERROR_INVALID_HANDLE, INVALID_SET_FILE_POINTER);
    }
    int64_t offset = distanceHigh == nullptr
                         ? static_cast<int64_t>(distance)
                         : static_cast<int64_t>(
                               (static_cast<uint64_t>(static_cast<DWORD>(*distanceHigh)) << 32) |
                               static_cast<DWORD>(distance));
    int64_t base = 0;
    if (moveMethod == FILE_CURRENT) {
        base = lseek(file->fd, 0, SEEK_CUR);
    } else if (moveMethod == FILE_END) {
        struct stat info;
        base = fstat(file->fd, &info) == 0 ? info.st_size : -1;
    } else if (moveMethod != FILE_BEGIN) {
        return platform::Fail(ERROR_INVALID_PARAMETER, INVALID_SET_FILE_POINTER);
    }
    if (base < 0) {
        return platform::Fail(ERROR_INVALID_HANDLE, INVALID_SET_FILE_POINTER);
    }
    int64_t target = base + offset;
    // Without the high word the target must stay below 2 GB, as a LONG.
    if (target < 0 || (distanceHigh == nullptr && target > 0x7FFFFFFF)) {
        return platform::Fail(ERROR_NEGATIVE_SEEK, INVALID_SET_FILE_POINTER);
    }
    if (lseek(file->fd, target, SEEK_SET) < 0) {
        return platform::Fail(platform::ErrorFromErrno(errno), INVALID_SET_FILE_POINTER);
    }
    if (distanceHigh != nullptr) {
        *distanceHigh = static_cast<LONG>(static_cast<uint64_t>(target) >> 32);
    }
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(target);
}

DWORD GetFileSize(HANDLE handle, LPDWORD fileSizeHigh) {
    auto file = platform::FileFromHandle(handle);
    struct stat info;
    if (!file || fstat(file->fd, &info) != 0) {
        return platform::Fail(ERROR_INVALID_HANDLE, INVALID_FILE_SIZE);
    }
    uint64_t size = static_cast<uint64_t>(info.st_size);
    if (fileSizeHigh != nullptr) {
        *fileSizeHigh = static_cast<DWORD>(size >> 32);
    }
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

BOOL GetFileTime(HANDLE handle, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite) {
    auto file = platform::FileFromHandle(handle);
    if (!file) {
        return platform::Fail(ERROR_INVALID_HANDLE, FALSE);
    }
    platform::FileTimes times = platform::FileTimesOf(file->path, file->fd);
    if (creation != nullptr) {
        *creation = times.creation;
    }
    if (lastAccess != nullptr) {
        *lastAccess = times.lastAccess;
    }
    if (lastWrite != nullptr) {
        *lastWrite = times.lastWrite;
    }
    return TRUE;
}

BOOL DeleteFileA(LPCSTR fileName) {
    std::string path;
    DWORD error = 0;
    if (!platform::MapWindowsPath(fileName, &path, &error)) {
        return platform::Fail(error, FALSE);
    }
    struct stat info;
    if (lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        return platform::Fail(ERROR_ACCESS_DENIED, FALSE);
    }
    if (unlink(path.c_str()) != 0) {
        return platform::Fail(platform::ErrorForPath(errno, path), FALSE);
    }
    return TRUE;
}

BOOL DeleteFileW(LPCWSTR fileName) {
    if (fileName == nullptr) {
        return platform::Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    char narrow[MAX_PATH * 2];
    if (WideCharToMultiByte(932, 0, fileName, -1, narrow, sizeof(narrow), nullptr, nullptr) <= 0) {
        return platform::Fail(ERROR_FILENAME_EXCED_RANGE, FALSE);
    }
    return DeleteFileA(narrow);
}

BOOL MoveFileExA(LPCSTR existingFileName, LPCSTR newFileName, DWORD flags) {
    if ((flags & ~(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) != 0) {
        return platform::Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    std::string from;
    std::string to;
    DWORD error = 0;
    if (!platform::MapWindowsPath(existingFileName, &from, &error) ||
        !platform::MapWindowsPath(newFileName, &to, &error)) {
        return platform::Fail(error, FALSE);
    }
    struct stat info;
    if (lstat(from.c_str(), &info) != 0) {
        return platform::Fail(platform::ErrorForPath(errno, from), FALSE);
    }
    if (lstat(to.c_str(), &info) == 0) {
        if ((flags & MOVEFILE_REPLACE_EXISTING) == 0) {
            return platform::Fail(ERROR_ALREADY_EXISTS, FALSE);
        }
        to = platform::FollowLinks(to);
        // A dangling link stays a link here, and is refused with the devices.
        bool replaceable =
            lstat(to.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            (platform::AttributesFromMode(info.st_mode) & FILE_ATTRIBUTE_READONLY) == 0;
        if (!replaceable) {
            return platform::Fail(ERROR_ACCESS_DENIED, FALSE);
        }
    }
    bool writeThrough = (flags & MOVEFILE_WRITE_THROUGH) != 0;
    // The bytes go to the disk before the name does: a crash in between
    // must not leave the new name on an empty file.
    if (writeThrough && !platform::SyncPath(from, 0)) {
        return platform::Fail(platform::ErrorFromErrno(errno), FALSE);
    }
    if (rename(from.c_str(), to.c_str()) != 0) {
        DWORD code = errno == EXDEV ? ERROR_NOT_SAME_DEVICE : platform::ErrorForPath(errno, to);
        return platform::Fail(code, FALSE);
    }
    if (writeThrough && !platform::SyncPath(platform::ParentOf(to), O_DIRECTORY)) {
        return platform::Fail(platform::ErrorFromErrno(errno), FALSE);
    }
    return TRUE;
}

BOOL CreateDirectoryA(LPCSTR pathName, LPSECURITY_ATTRIBUTES /*attributes*/) {
    std::string path;
    DWORD error = 0;
    if (!platform::MapWindowsPath(pathName, &path, &error)) {
        return platform::Fail(error, FALSE);
    }
    if (mkdir(path.c_str(), 0777) != 0) {
        DWORD code = errno == EEXIST   ? ERROR_ALREADY_EXISTS
                     : errno == ENOENT ? ERROR_PATH_NOT_FOUND
                                       : platform::ErrorFromErrno(errno);
        return platform::Fail(code, FALSE);
    }
    return TRUE;
}

DWORD GetFileAttributesA(LPCSTR fileName) {
    std::string path;
    DWORD error = 0;
    if (!platform::MapWindowsPath(fileName, &path, &error)) {
        return platform::Fail(error, INVALID_FILE_ATTRIBUTES);
    }
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        return platform::Fail(platform::ErrorForPath(errno, path), INVALID_FILE_ATTRIBUTES);
    }
    return platform::AttributesFromMode(info.st_mode);
}

DWORD GetCurrentDirectoryA(DWORD bufferLength, LPSTR buffer) {
    char* cwd = getcwd(nullptr, 0);
    if (cwd == nullptr) {
        return platform::Fail(platform::ErrorFromErrno(errno), 0u);
    }
    std::string windows = platform::WindowsPathFromLinux(cwd);
    std::free(cwd);
    return platform::CopyOut(windows, bufferLength, buffer);
}

BOOL SetCurrentDirectoryA(LPCSTR pathName) {
    std::string path;
    DWORD error = 0;
    if (!platform::MapWindowsPath(pathName, &path, &error)) {
        return platform::Fail(error, FALSE);
    }
    if (chdir(path.c_str()) != 0) {
        DWORD code = errno == ENOENT    ? ERROR_FILE_NOT_FOUND
                     : errno == ENOTDIR ? ERROR_DIRECTORY
                                        : platform::ErrorFromErrno(errno);
        return platform::Fail(code, FALSE);
    }
    return TRUE;
}

DWORD GetTempPathA(DWORD bufferLength, LPSTR buffer) {
    std::string windows = platform::WindowsPathFromLinux(platform::TempFolderLinux());
    if (windows.back() != '\\') {
        windows += '\\';
    }
    return platform::CopyOut(windows, bufferLength, buffer);
}

UINT GetTempFileNameA(LPCSTR pathName, LPCSTR prefixString, UINT unique, LPSTR tempFileName) {
    if (pathName == nullptr || tempFileName == nullptr) {
        return platform::Fail(ERROR_INVALID_PARAMETER, 0u);
    }
    std::string base(pathName);
    if (!base.empty() && base.back() != '\\' && base.back() != '/') {
        base += '\\';
    }
    std::string prefix = prefixString == nullptr ? "" : std::string(prefixString).substr(0, 3);
    static std::atomic<UINT> counter{static_cast<UINT>(getpid())};
    for (UINT attempt = 0; attempt < 0x10000u; ++attempt) {
        UINT number = unique != 0 ? unique : (counter.fetch_add(1) & 0xFFFFu);
        if (number == 0) {
            continue;
        }
        char hex[16];
        std::snprintf(hex, sizeof(hex), "%X", number & 0xFFFFu);
        std::string name = base + prefix + hex + ".TMP";
        if (name.size() >= MAX_PATH) {
            return platform::Fail(ERROR_BUFFER_OVERFLOW, 0u);
        }
        if (unique != 0) {
            std::memcpy(tempFileName, name.c_str(), name.size() + 1);
            return unique;
        }
        HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            std::memcpy(tempFileName, name.c_str(), name.size() + 1);
            return number;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) {
            return 0;  // the folder is missing or not writable; the error stays set
        }
    }
    return platform::Fail(ERROR_FILE_EXISTS, 0u);
}

BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, FILETIME* localFileTime) {
    ULONGLONG ticks = platform::TicksFromFileTime(*fileTime);
    time_t seconds = static_cast<time_t>(static_cast<LONGLONG>(ticks / platform::kTicksPerSecond) -
                                         platform::kEpochDifference);
    struct tm parts;
    if (localtime_r(&seconds, &parts) == nullptr) {
        return platform::Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    LONGLONG local = static_cast<LONGLONG>(ticks) +
                     static_cast<LONGLONG>(parts.tm_gmtoff) * platform::kTicksPerSecond;
    *localFileTime = platform::FileTimeFromTicks(static_cast<ULONGLONG>(local));
    return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime) {
    ULONGLONG ticks = platform::TicksFromFileTime(*fileTime);
    if (ticks >= 0x8000000000000000ULL) {
        return platform::Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    time_t seconds = static_cast<time_t>(static_cast<LONGLONG>(ticks / platform::kTicksPerSecond) -
                                         platform::kEpochDifference);
    struct tm parts;
    if (gmtime_r(&seconds, &parts) == nullptr) {
        return platform::Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    long nanoseconds = static_cast<long>(ticks % platform::kTicksPerSecond) * 100;
    platform::FillSystemTime(parts, nanoseconds, systemTime);
    return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime) {
    const SYSTEMTIME& t = *systemTime;
    if (t.wYear < 1601 || t.wYear > 30827 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 ||
        t.wDay > 31 || t.wHour > 23 || t.wMinute > 59 || t.wSecond > 59 || t.wMilliseconds > 999) {
        return platform::Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    struct tm parts {};
    parts.tm_year = t.wYear - 1900;
    parts.tm_mon = t.wMonth - 1;
    parts.tm_mday = t.wDay;
    parts.tm_hour = t.wHour;
    parts.tm_min = t.wMinute;
    parts.tm_sec = t.wSecond;
    time_t seconds = timegm(&parts);
    if (parts.tm_mday != t.wDay) {
        return platform::Fail(ERROR_INVALID_PARAMETER, FALSE);  // 31 April and the like
    }
    LONGLONG ticks =
        (static_cast<LONGLONG>(seconds) + platform::kEpochDifference) * platform::kTicksPerSecond +
        static_cast<LONGLONG>(t.wMilliseconds) * 10'000;
    *fileTime = platform::FileTimeFromTicks(static_cast<ULONGLONG>(ticks));
    return TRUE;
}
