// The plain file operations: files of the file system, read directly or
// through a reader thread of their own with a 128 KB read-ahead cache.
// Routes: a file opened with the cache or the asynchronous option gets the
// reader thread, any other is read directly; searches and the current
// directory go straight to the platform.
// Not here: writing, archives (archive_fs.cpp).
#include <cstdio>
#include <cstring>

#include "foundation/files/file_ops.h"
#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "platform/kernel.h"

namespace tessel {

namespace {

constexpr uint32_t kCacheBytes = 0x20000;
constexpr DWORD kCacheFillWaitMs = 100;

enum ReaderCommand : int32_t {
    kCommandOpen = 0,
    kCommandClose = 1,
    kCommandRead = 2,
    kCommandSeek = 3,
    kCommandQuit = 4,
};

// What the reader thread receives. The caller writes the command fields only
// while the done event is set; the thread writes its results before it sets it.
struct ReaderBlock {
    HANDLE file;
    HANDLE commandEvent;
    HANDLE doneEvent;
    int32_t command;
    int32_t threadEnded;
    int32_t openFailed;
    char path[260];
    uint8_t* readTarget;
    uint32_t readPosition;
    uint32_t readSize;
    uint32_t bytesRead;  // all of a read, the cached part included
    uint32_t seekTarget;
    uint8_t* cache;
    uint32_t cachePosition;
    uint32_t cachedBytes;
};

struct PlainFile {
    HANDLE file;
    int32_t threaded;
    int32_t cacheFlag;
    int32_t asyncFlag;
    int32_t endFlag;
    uint32_t position;
    uint32_t size;
    DWORD threadId;
    HANDLE thread;
    ReaderBlock block;
};

PlainFile* FromHandle(FileHandle handle) {
    return reinterpret_cast<PlainFile*>(handle);
}

HANDLE OpenForReading(const char* path, DWORD share) {
    return CreateFileA(path, GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

bool SeekPlatform(HANDLE file, uint32_t position) {
    LONG high = 0;
    DWORD low = SetFilePointer(file, static_cast<LONG>(position), &high, FILE_BEGIN);
    return !(low == INVALID_SET_FILE_POINTER && GetLastError() != ERROR_SUCCESS);
}

void FillCache(ReaderBlock* block) {
    if (block->cachedBytes >= kCacheBytes) {
        return;
    }
    SeekPlatform(block->file, block->cachePosition + block->cachedBytes);
    DWORD got = 0;
    ReadFile(block->file, block->cache + block->cachedBytes, kCacheBytes - block->cachedBytes, &got,
             nullptr);
    block->cachedBytes += got;
}

void ServeRead(ReaderBlock* block) {
    block->bytesRead = 0;
    if (block->cache != nullptr && block->readPosition == block->cachePosition &&
        block->cachedBytes > 0) {
        uint32_t n = block->readSize < block->cachedBytes ? block->readSize : block->cachedBytes;
        std::memcpy(block->readTarget, block->cache, n);
        block->readTarget += n;
        block->readPosition += n;
        block->readSize -= n;
        block->cachePosition += n;
        block->cachedBytes -= n;
        std::memmove(block->cache, block->cache + n, block->cachedBytes);
        block->bytesRead = n;
        if (block->readSize == 0) {
            return;
        }
    }
    DWORD got = 0;
    if (SeekPlatform(block->file, block->readPosition)) {
        ReadFile(block->file, block->readTarget, block->readSize, &got, nullptr);
    }
    block->readSize = got;
    block->bytesRead += got;
    if (block->cache != nullptr) {
        block->cachePosition = block->readPosition + got;
        block->cachedBytes = 0;
    }
}

DWORD FileReaderThread(LPVOID parameter) {
    auto* block = static_cast<ReaderBlock*>(parameter);
    for (;;) {
        DWORD waited = WaitForSingleObject(block->commandEvent,
                                           block->cache != nullptr ? kCacheFillWaitMs : INFINITE);
        if (waited == WAIT_TIMEOUT) {
            if (block->file != nullptr) {
                FillCache(block);
            }
            continue;
        }
        ResetEvent(block->commandEvent);
        ResetEvent(block->doneEvent);
        switch (block->command) {
            case kCommandOpen:
                block->file = OpenForReading(block->path, 0);
                if (block->file == INVALID_HANDLE_VALUE) {
                    block->file = nullptr;
                    block->openFailed = 1;
                    block->threadEnded = 1;
                    SetEvent(block->doneEvent);
                    return 0;
                }
                break;
            case kCommandClose:
                CloseHandle(block->file);
                block->file = nullptr;
                break;
            case kCommandRead:
                ServeRead(block);
                break;
            case kCommandSeek:
                SeekPlatform(block->file, block->seekTarget);
                if (block->cache != nullptr) {
                    block->cachePosition = block->seekTarget;
                    block->cachedBytes = 0;
                }
                break;
            case kCommandQuit:
                if (block->file != nullptr) {
                    CloseHandle(block->file);
                    block->file = nullptr;
                }
                block->threadEnded = 1;
                SetEvent(block->doneEvent);
                return 0;
            default:
                break;
        }
        SetEvent(block->doneEvent);
    }
}

// Waits for the previous command to finish, then hands the thread the next.
void PostCommand(PlainFile* file, int32_t command) {
    WaitForSingleObject(file->block.doneEvent, INFINITE);
    file->block.command = command;
    ResetEvent(file->block.doneEvent);
    SetEvent(file->block.commandEvent);
}

void WaitForCommand(PlainFile* file) {
    WaitForSingleObject(file->block.doneEvent, INFINITE);
}

void ReleaseThreadParts(PlainFile* file) {
    WaitForSingleObject(file->thread, INFINITE);
    CloseHandle(file->thread);
    FreeTracked(file->block.cache);
    CloseHandle(file->block.commandEvent);
    CloseHandle(file->block.doneEvent);
}

FileHandle OpenWithReaderThread(PlainFile* file, const char* path) {
    // The size is taken once, here; the thread then keeps its own handle.
    HANDLE probe = OpenForReading(path, FILE_SHARE_READ);
    if (probe == INVALID_HANDLE_VALUE) {
        FreeTracked(file);
        return 0;
    }
    file->size = GetFileSize(probe, nullptr);
    CloseHandle(probe);
    if (file->cacheFlag != 0) {
        file->block.cache = static_cast<uint8_t*>(AllocTracked(kCacheBytes, nullptr, 0));
        if (file->block.cache == nullptr) {
            WriteLog("ファイル読み込みキャッシュ用メモリの確保に失敗しました\n");
            FreeTracked(file);
            return 0;
        }
    }
    file->block.commandEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    file->block.doneEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    file->thread = CreateThread(nullptr, 0, FileReaderThread, &file->block, 0, &file->threadId);
    if (file->thread == nullptr) {
        FreeTracked(file->block.cache);
        CloseHandle(file->block.commandEvent);
        CloseHandle(file->block.doneEvent);
        FreeTracked(file);
        WriteLog("ファイルアクセス専用スレッドの作成に失敗しました\n");
        return 0;
    }
    std::snprintf(file->block.path, sizeof(file->block.path), "%s", path);
    PostCommand(file, kCommandOpen);
    WaitForCommand(file);
    if (file->block.openFailed != 0) {
        ReleaseThreadParts(file);
        FreeTracked(file);
        WriteLog("ファイルのオープンに失敗しました\n");
        return 0;
    }
    file->position = 0;
    file->endFlag = 0;
    return reinterpret_cast<FileHandle>(file);
}

}  // namespace

FileHandle PlainFsOpen(const char* path, int cache, int /*third*/, int async) {
    auto* file = static_cast<PlainFile*>(AllocTrackedZeroed(sizeof(PlainFile), nullptr, 0));
    if (file == nullptr) {
        return 0;
    }
    file->cacheFlag = cache;
    file->asyncFlag = async;
    file->threaded = (cache != 0 || async != 0) ? 1 : 0;
    if (file->threaded != 0) {
        return OpenWithReaderThread(file, path);
    }
    file->file = OpenForReading(path, FILE_SHARE_READ);
    if (file->file == INVALID_HANDLE_VALUE) {
        FreeTracked(file);
        return 0;
    }
    file->size = GetFileSize(file->file, nullptr);
    file->position = 0;
    file->endFlag = 0;
    return reinterpret_cast<FileHandle>(file);
}

int PlainFsClose(FileHandle handle) {
    PlainFile* file = FromHandle(handle);
    if (file->threaded == 0) {
        BOOL closed = CloseHandle(file->file);
        FreeTracked(file);
        return closed != 0 ? 0 : -1;
    }
    PostCommand(file, kCommandQuit);
    WaitForCommand(file);
    ReleaseThreadParts(file);
    FreeTracked(file);
    return 0;
}

int32_t PlainFsTell(FileHandle handle) {
    return static_cast<int32_t>(FromHandle(handle)->position);
}

int PlainFsSeek(FileHandle handle, int32_t offset, int origin) {
    PlainFile* file = FromHandle(handle);
    int64_t target = offset;
    if (origin == 1) {
        target += file->position;
    } else if (origin == 2) {
        target += file->size;
    } else if (origin != 0) {
        return -1;
    }
    // A position before the start, or one the 32-bit position cannot hold, is refused.
    if (target < 0 || target > 0xFFFFFFFFLL) {
        return -1;
    }
    auto position = static_cast<uint32_t>(target);
    if (file->threaded == 0) {
        if (!SeekPlatform(file->file, position)) {
            return -1;
        }
    } else {
        WaitForCommand(file);
        file->block.seekTarget = position;
        PostCommand(file, kCommandSeek);
    }
    file->position = position;
    file->endFlag = 0;
    return 0;
}

uint32_t PlainFsRead(void* buffer, uint32_t size, uint32_t count, FileHandle handle) {
    PlainFile* file = FromHandle(handle);
    if (size == 0) {
        return 0;
    }
    // At or past the end (a seek may go beyond it) nothing is read.
    if (file->position >= file->size) {
        file->endFlag = 1;
        return 0;
    }
    uint64_t left = file->size - file->position;
    if (static_cast<uint64_t>(size) * count > left) {
        count = static_cast<uint32_t>(left / size);
        if (count == 0) {
            file->endFlag = 1;
            return 0;
        }
    }
    uint32_t bytes = size * count;  // fits: at most the bytes left
    if (file->threaded == 0) {
        DWORD got = 0;
        if (ReadFile(file->file, buffer, bytes, &got, nullptr) == 0) {
            return 0;
        }
        file->position += got;
        return got / size;
    }
    WaitForCommand(file);
    file->block.readTarget = static_cast<uint8_t*>(buffer);
    file->block.readPosition = file->position;
    file->block.readSize = bytes;
    PostCommand(file, kCommandRead);
    if (file->asyncFlag != 0) {
        // The caller tests FsIdle before it uses the data.
        file->position += bytes;
        return count;
    }
    WaitForCommand(file);
    file->position += file->block.bytesRead;
    return file->block.bytesRead / size;
}

int PlainFsEof(FileHandle handle) {
    return FromHandle(handle)->endFlag > 0 ? -1 : 0;
}

int PlainFsIdle(FileHandle handle) {
    PlainFile* file = FromHandle(handle);
    if (file->threaded == 0) {
        return 1;
    }
    return WaitForSingleObject(file->block.doneEvent, 0) == WAIT_OBJECT_0 ? 1 : 0;
}

int PlainFsSetCurrentDir(const char* path) {
    return SetCurrentDirectoryA(path);
}

int PlainFsGetCurrentDir(char* buffer) {
    return static_cast<int>(GetCurrentDirectoryA(MAX_PATH, buffer));
}

void FileTimeToLocalDate(uint64_t time, int32_t fields[6]) {
    FILETIME universal = {static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
    FILETIME local;
    SYSTEMTIME calendar;
    if (!FileTimeToLocalFileTime(&universal, &local) || !FileTimeToSystemTime(&local, &calendar)) {
        std::memset(fields, 0, 6 * sizeof(int32_t));
        return;
    }
    fields[0] = calendar.wYear;
    fields[1] = calendar.wMonth;
    fields[2] = calendar.wDay;
    fields[3] = calendar.wHour;
    fields[4] = calendar.wMinute;
    fields[5] = calendar.wSecond;
}

namespace {

uint64_t TimeValue(const FILETIME& time) {
    return (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

void FillFindInfo(const WIN32_FIND_DATAA& data, FileFindInfo* info) {
    if (info == nullptr) {
        return;
    }
    std::memcpy(info->name, data.cFileName, sizeof(info->name));
    info->name[sizeof(info->name) - 1] = '\0';
    info->isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? 1 : 0;
    info->sizeLow = data.nFileSizeLow;
    info->sizeHigh = data.nFileSizeHigh;
    FileTimeToLocalDate(TimeValue(data.ftCreationTime), info->created);
    FileTimeToLocalDate(TimeValue(data.ftLastWriteTime), info->lastWritten);
}

}  // namespace

FindHandle PlainFsFindFirst(const char* pattern, FileFindInfo* info) {
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(pattern, &data);
    if (search == INVALID_HANDLE_VALUE) {
        return -1;
    }
    FillFindInfo(data, info);
    return reinterpret_cast<FindHandle>(search);
}

int PlainFsFindNext(FindHandle search, FileFindInfo* info) {
    WIN32_FIND_DATAA data;
    if (FindNextFileA(reinterpret_cast<HANDLE>(search), &data) == 0) {
        return -1;
    }
    FillFindInfo(data, info);
    return 0;
}

int PlainFsFindClose(FindHandle search) {
    return FindClose(reinterpret_cast<HANDLE>(search)) != 0 ? 0 : -1;
}

}  // namespace tessel
