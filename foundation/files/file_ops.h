// The file layer: one table of twelve file operations through which every
// file the library or the game reads is opened and read. The table holds the
// plain operations (files of the file system, read directly or through a
// reader thread with a read-ahead cache), or the archive-aware ones, or a
// table a program installs itself.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace tessel {

// A file handle: the address of a plain file's record, or an archive-aware
// handle (slot | 0xF0000000, below 2^32). 0 is failure.
using FileHandle = uintptr_t;
// A search handle; -1 when nothing matched.
using FindHandle = intptr_t;

// What a search reports, from the plain and the archive-aware layer alike.
// Dates are local time: year, month, day, hour, minute, second.
struct FileFindInfo {
    char name[260];
    int32_t isDirectory;
    uint32_t sizeLow;
    uint32_t sizeHigh;
    int32_t created[6];
    int32_t lastWritten[6];
};

struct FileOps {
    FileHandle (*open)(const char* path, int cache, int third, int async);
    int (*close)(FileHandle file);
    int32_t (*tell)(FileHandle file);
    // origin: 0 from the start, 1 from the current position, 2 from the end.
    int (*seek)(FileHandle file, int32_t offset, int origin);
    // The number of whole items read.
    uint32_t (*read)(void* buffer, uint32_t size, uint32_t count, FileHandle file);
    int (*eof)(FileHandle file);
    int (*idle)(FileHandle file);
    int (*setCurrentDir)(const char* path);
    int (*getCurrentDir)(char* buffer);  // buffer of 260 bytes
    FindHandle (*findFirst)(const char* pattern, FileFindInfo* info);
    int (*findNext)(FindHandle search, FileFindInfo* info);
    int (*findClose)(FindHandle search);
};

// The table in force (read by the call-throughs at every call).
extern FileOps CurrentFileOps;

// Call-throughs to the table in force.
FileHandle FsOpen(const char* path, int cache, int third, int async);
int FsClose(FileHandle file);
int32_t FsTell(FileHandle file);
int FsSeek(FileHandle file, int32_t offset, int origin);
uint32_t FsRead(void* buffer, uint32_t size, uint32_t count, FileHandle file);
int FsEof(FileHandle file);
int FsIdle(FileHandle file);
int FsGetCurrentDir(char* buffer);

// Opens for reading, no cache; 0 on failure.
FileHandle FsOpenRead(const char* path, int async);
// 1 when the position is at the end of the file, else 0.
int FsAtEnd(FileHandle file);
// One text line without its CR LF; its length, or -1 at the end.
int FsReadLine(char* buffer, int bufferSize, FileHandle file);

// With a table, copies it into the table in force; with null, installs the
// default of the archive-use setting. Returns 0.
int InstallFileOps(const FileOps* table);
// 1 when the table in force is the default one (the idle slot not compared).
int IsDefaultFileOps();
int SetArchiveUse(int on);
int GetArchiveUse();
// The archive-aware layer registers its table here; until then the
// archive-aware default is the plain table.
void RegisterArchiveFileOps(const FileOps* table);

// The plain operations.
const FileOps& PlainFileOps();
FileHandle PlainFsOpen(const char* path, int cache, int third, int async);
int PlainFsClose(FileHandle file);
int32_t PlainFsTell(FileHandle file);
int PlainFsSeek(FileHandle file, int32_t offset, int origin);
uint32_t PlainFsRead(void* buffer, uint32_t size, uint32_t count, FileHandle file);
int PlainFsEof(FileHandle file);
int PlainFsIdle(FileHandle file);
int PlainFsSetCurrentDir(const char* path);
int PlainFsGetCurrentDir(char* buffer);
FindHandle PlainFsFindFirst(const char* pattern, FileFindInfo* info);
int PlainFsFindNext(FindHandle search, FileFindInfo* info);
int PlainFsFindClose(FindHandle search);

// A file time (100 ns units since 1601, universal) as the local year, month,
// day, hour, minute and second of a search record; all 0 when it cannot be
// converted.
void FileTimeToLocalDate(uint64_t time, int32_t fields[6]);

}  // namespace tessel
