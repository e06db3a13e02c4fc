// The archive-aware file operations: any folder may be replaced by an
// archive beside it named after the folder plus the archive extension
// (image\title.png is read from image.dat when that exists), transparently to
// every reader of files. Paths that no archive holds go to the plain files.
#pragma once

#include <cstdint>

#include "foundation/files/archive.h"
#include "foundation/files/file_ops.h"

namespace tessel {

constexpr int kMaxOpenArchives = 512;
constexpr int kMaxArcFsFiles = 512;
constexpr int kMaxArcFsFinds = 512;
constexpr int kArchivePathBytes = 256;
constexpr int kMaxArchiveSuffix = 63;
constexpr FileHandle kArcFsHandleBits = 0xF0000000u;

struct ArchiveRecord {
    int32_t refCount;
    ArchiveState state;
    char path[kArchivePathBytes];
};

struct ArcFsFileRecord {
    int32_t inArchive;
    FileHandle plain;
    int32_t archiveSlot;
    ArchiveStream stream;
};

// Sets the extension when text holds 1 to 63 characters, else the default
// "QPK". Forgets the last resolution.
int UseArchiveSuffix(const char* text);
// Null: archives open with the default key; else the first 12 characters
// are the key text. Forgets the last resolution.
int UseArchiveKeyText(const char* text);
// The same, as the library's options.
int SetArchiveSuffixOption(const char* text);
int SetArchiveKeyOption(const char* text);

// The slot of the open archive of that path (one more reference), opening it
// when it is not open yet; -1 when it cannot be opened or the table is full.
int AcquireArchive(int hint, const char* path, int readWhole, int asynchronous);
// Gives back one reference (never below 0); the archive stays open until a
// purge.
int ReleaseArchive(int slot);
// Finds the archive that stands in for a folder of path, trying the folders
// from the shortest up. 0 with one more reference on the archive, or -1.
// archivePath holds 256 bytes; innerPath MAX_PATH.
int ResolveArchivePath(const char* path, int* slot, char* archivePath, char* innerPath);
// Closes every archive that nothing refers to.
void PurgeUnusedArchives();
int PurgeArchivesAtExit();

FileHandle ArcFsOpen(const char* path, int cache, int third, int asynchronous);
int ArcFsClose(FileHandle file);
int32_t ArcFsTell(FileHandle file);
int ArcFsSeek(FileHandle file, int32_t offset, int origin);
uint32_t ArcFsRead(void* buffer, uint32_t size, uint32_t count, FileHandle file);
int ArcFsEof(FileHandle file);
int ArcFsIdle(FileHandle file);
int ArcFsSetCurrentDir(const char* path);
int ArcFsGetCurrentDir(char* buffer);
FindHandle ArcFsFindFirst(const char* pattern, FileFindInfo* info);
int ArcFsFindNext(FindHandle search, FileFindInfo* info);
int ArcFsFindClose(FindHandle search);

// The table of the operations above (the file layer's default while archive
// use is on).
const FileOps& ArchiveFileOps();

// For tests: the reference count of an archive slot (-1 when empty), and the
// numbers of open archives and files.
int ArchiveSlotReferences(int slot);
int OpenArchiveCount();
int OpenArcFsFileCount();

}  // namespace tessel
