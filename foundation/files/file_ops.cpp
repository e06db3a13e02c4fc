#include "foundation/files/file_ops.h"

#include "foundation/base/charset.h"
#include "foundation/base/text.h"
#include "platform/kernel.h"

namespace tessel {

namespace {

constexpr FileOps kPlainFileOps = {
    PlainFsOpen,          PlainFsClose,     PlainFsTell,     PlainFsSeek,
    PlainFsRead,          PlainFsEof,       PlainFsIdle,     PlainFsSetCurrentDir,
    PlainFsGetCurrentDir, PlainFsFindFirst, PlainFsFindNext, PlainFsFindClose,
};

int archiveUse = 1;
const FileOps* archiveFileOps = nullptr;

const FileOps& DefaultFileOps(int archiveOn) {
    if (archiveOn != 0 && archiveFileOps != nullptr) {
        return *archiveFileOps;
    }
    return kPlainFileOps;
}

bool SameExceptIdle(const FileOps& a, const FileOps& b) {
    return a.open == b.open && a.close == b.close && a.tell == b.tell && a.seek == b.seek &&
           a.read == b.read && a.eof == b.eof && a.setCurrentDir == b.setCurrentDir &&
           a.getCurrentDir == b.getCurrentDir && a.findFirst == b.findFirst &&
           a.findNext == b.findNext && a.findClose == b.findClose;
}

}  // namespace

FileOps CurrentFileOps = kPlainFileOps;

const FileOps& PlainFileOps() {
    return kPlainFileOps;
}

FileHandle FsOpen(const char* path, int cache, int third, int async) {
    return CurrentFileOps.open(path, cache, third, async);
}

int FsClose(FileHandle file) {
    return CurrentFileOps.close(file);
}

int32_t FsTell(FileHandle file) {
    return CurrentFileOps.tell(file);
}

int FsSeek(FileHandle file, int32_t offset, int origin) {
    return CurrentFileOps.seek(file, offset, origin);
}

uint32_t FsRead(void* buffer, uint32_t size, uint32_t count, FileHandle file) {
    return CurrentFileOps.read(buffer, size, count, file);
}

int FsEof(FileHandle file) {
    return CurrentFileOps.eof(file);
}

int FsIdle(FileHandle file) {
    return CurrentFileOps.idle(file);
}

int FsGetCurrentDir(char* buffer) {
    return CurrentFileOps.getCurrentDir(buffer);
}

FileHandle FsOpenRead(const char* path, int async) {
    return FsOpen(path, 0, 1, async != 0 ? 1 : 0);
}

int FsAtEnd(FileHandle file) {
    int32_t position = FsTell(file);
    FsSeek(file, 0, 2);
    int32_t end = FsTell(file);
    FsSeek(file, position, 0);
    return position == end ? 1 : 0;
}

int FsReadLine(char* buffer, int bufferSize, FileHandle file) {
    if (FsEof(file) != 0 || bufferSize < 2) {
        return -1;
    }
    int32_t start = FsTell(file);
    uint32_t got = FsRead(buffer, 1, static_cast<uint32_t>(bufferSize - 1), file);
    while (FsIdle(file) == 0) {
        Sleep(0);
    }
    if (got == 0) {
        return -1;
    }
    uint32_t i = 0;
    while (i < got) {
        if (buffer[i] == '\0') {
            break;
        }
        if (IsLeadByte(buffer + i, LibraryCharSet) != 0) {
            if (i + 1 >= got) {
                // Cut by the buffer's end: the character starts the next line
                // read. A lone lead byte at the file's end (or alone in the
                // buffer) is content, or the reader would never move on.
                const bool bufferFull = got == static_cast<uint32_t>(bufferSize - 1);
                if (bufferFull && i > 0) {
                    FsSeek(file, start + static_cast<int32_t>(i), 0);
                    break;
                }
                i = got;
                break;
            }
            i += 2;
            continue;
        }
        if (buffer[i] == '\r' && i + 1 < got && buffer[i + 1] == '\n') {
            FsSeek(file, start + static_cast<int32_t>(i) + 2, 0);
            break;
        }
        ++i;
    }
    buffer[i] = '\0';
    return static_cast<int>(i);
}

int InstallFileOps(const FileOps* table) {
    CurrentFileOps = table != nullptr ? *table : DefaultFileOps(archiveUse);
    return 0;
}

int IsDefaultFileOps() {
    return SameExceptIdle(CurrentFileOps, DefaultFileOps(archiveUse)) ? 1 : 0;
}

int SetArchiveUse(int on) {
    int wanted = on != 0 ? 1 : 0;
    if (wanted == archiveUse) {
        return 0;
    }
    bool wasDefault = IsDefaultFileOps() != 0;
    archiveUse = wanted;
    if (wasDefault) {
        InstallFileOps(nullptr);
    }
    return 0;
}

int GetArchiveUse() {
    return archiveUse;
}

void RegisterArchiveFileOps(const FileOps* table) {
    bool wasDefault = IsDefaultFileOps() != 0;
    archiveFileOps = table;
    if (wasDefault) {
        InstallFileOps(nullptr);
    }
}

}  // namespace tessel
