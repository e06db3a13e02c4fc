// Data archives: one file that packs a directory tree and stands in for a
// folder of the game's data.
//
// Layout (little-endian, every byte of the file XORed with key[offset % 12]):
//   header     "QP", u16 version (0-4), u32 table block size, u32 data start,
//              u32 table block offset, u32 file table offset and u32 directory
//              table offset (both within the table block), and from version 4
//              u32 code page of the names.
//   table block: the name table at its start, then (at the offsets the header
//              gives) the file table and the directory table.
//   name entry: u16 word count W, u16 checksum of the search form, the search
//              form (ASCII letters upper-cased, zero-padded to 4 x W bytes,
//              W = (length + 4) / 4), then the name as written, NUL-terminated.
//   file entry: u32 name offset, u32 attributes (0x10 directory), u64 creation,
//              access and write times, u32 data offset (from the data start)
//              or, for a directory, its record offset in the directory table,
//              u32 size, and from version 2 u32 stored size (0xFFFFFFFF: the
//              data is not compressed; else one LZ block of that size).
//   directory record: u32 own entry offset, u32 parent record offset
//              (0xFFFFFFFF for the root), u32 entry count, u32 first entry
//              offset; the root record is the first one.
//
// The reader trusts nothing beyond what it checks: every offset, count and
// data range is checked against the sizes it knows before it is used, and a
// damaged archive gives -1 (or null) and a log line, never a read outside the
// archive.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/files/file_ops.h"

namespace tessel {

constexpr int kArchiveKeySize = 12;
constexpr uint16_t kArchiveMaxVersion = 4;
constexpr uint32_t kArchiveHeaderSizeOld = 24;
constexpr uint32_t kArchiveHeaderSizeV4 = 28;
constexpr uint32_t kArchiveEntrySizeOld = 40;
constexpr uint32_t kArchiveEntrySize = 44;
constexpr uint32_t kArchiveDirRecordSize = 16;
constexpr uint32_t kArchiveDirAttribute = 0x10;
constexpr uint32_t kArchiveNotCompressed = 0xFFFFFFFFu;
constexpr uint32_t kArchiveNoParent = 0xFFFFFFFFu;
constexpr int kArchiveNameKeyBytes = 1024;
constexpr int kArchivePatternBytes = 260;

uint32_t ArchiveHeaderSize(uint32_t version);
uint32_t ArchiveEntrySize(uint32_t version);
// 932 -> 1, 936 -> 4, 949 -> 2, 950 -> 3, anything else 0.
int32_t ArchiveCharSetFromCodePage(uint32_t codePage);

// The 12-byte key of a key text (null or empty: the default key text).
void ArchiveKeyFromText(const char* text, uint8_t key[kArchiveKeySize]);
// The second key that opens are retried with when the first one fails.
void ArchiveSecondKey(uint8_t key[kArchiveKeySize]);
// XORs the bytes that lie at absolute offsets position .. position + size - 1
// with the key; applied twice it restores them.
void ArchiveXorAt(size_t size, void* buffer, uint64_t position, const uint8_t key[kArchiveKeySize]);

// The header's first 24 bytes.
struct ArchiveHeader {
    char magic[2];
    uint16_t version;
    uint32_t tableSize;
    uint32_t dataStart;
    uint32_t tableOffset;
    uint32_t fileTableOffset;
    uint32_t dirTableOffset;
};

struct ArchiveState {
    ArchiveHeader header;
    int32_t codePage;
    int32_t charSet;
    uint8_t* image;  // the whole archive, when it is in memory
    // A streamed archive reads synchronously through a plain file of its own
    // without a reader thread (no thread round trip per read), and opens the
    // file again with a reader thread only when a read is asynchronous.
    FileHandle file;        // with a reader thread; 0 until needed
    FileHandle directFile;  // without one
    char path[MAX_PATH];
    uint8_t* tableBlock;
    uint8_t* fileTable;
    uint8_t* dirTable;
    uint8_t* nameTable;
    uint8_t* currentDir;
    uint8_t key[kArchiveKeySize];
    int32_t inMemory;
    int32_t callerBuffer;
    uint32_t size;  // bytes of the archive (in memory) or of its file
    int32_t loadPending;
    FileHandle pendingFile;
};

struct ArchiveStream {
    ArchiveState* archive;
    const uint8_t* entry;
    uint8_t* decoded;     // a compressed file, decoded whole
    uint8_t* compressed;  // only while its asynchronous load is pending
    int32_t endFlag;
    int32_t position;
    int32_t asynchronous;
    int32_t pending;  // 0 none, 1 compressed load, 2 plain read
    uint32_t pendingOffset;
    void* pendingTarget;
    uint32_t pendingSize;
    uint32_t dataOffset;  // absolute offset of the stored data, checked at open
    uint32_t size;        // the file's size
};

struct ArchiveFind {
    ArchiveState* archive;
    char pattern[kArchivePatternBytes];
    const uint8_t* dir;
    int32_t index;
};

// The search form of one name.
struct ArchiveNameKey {
    uint8_t words[kArchiveNameKeyBytes];
    uint16_t checksum;
    uint16_t wordCount;
};

int ArchiveStateClear(ArchiveState* state);
// Opens an archive that lies in the caller's buffer; the buffer is
// descrambled in place and scrambled again by ArchiveClose (or at once when
// the open fails).
int ArchiveOpenInMemory(ArchiveState* state, void* buffer, uint32_t size, const char* keyText);
// Reads the whole archive into memory (asynchronously: ArchivePollLoad tells
// when it is there).
int ArchiveOpenImage(ArchiveState* state, const char* path, const char* keyText, int asynchronous);
// Keeps the tables in memory and reads file data from the archive file.
int ArchiveOpenStreamed(ArchiveState* state, const char* path, const char* keyText);
int ArchiveClose(ArchiveState* state);
int ArchiveCloseAndClear(ArchiveState* state);
int ArchivePollLoad(ArchiveState* state);
uint8_t* ArchiveImagePtr(ArchiveState* state);

// Reads size bytes at position (-1: where the file stands) and removes the
// scrambling. Returns the bytes read, or -1.
int ArchiveReadAt(FileHandle file, void* buffer, uint32_t size, int64_t position,
                  const uint8_t key[kArchiveKeySize]);
// The archive file opened with a reader thread for asynchronous reads (opened
// on first use); 0 when it cannot be opened.
FileHandle ArchiveAsyncFile(ArchiveState* state);

// Builds the key of the name at text, up to the first '\', '/' or NUL.
// Returns 0, or -1 when the name is longer than a key holds.
int ArchiveNameKeyFromText(const ArchiveState* state, const char* text, ArchiveNameKey* key,
                           int* length);
int ArchiveFindEntry(ArchiveState* state, const ArchiveNameKey* key);
int ArchiveEnterDir(ArchiveState* state, const char* path, int restore, ArchiveNameKey* keyOut);
const uint8_t* ArchiveFindFile(ArchiveState* state, const char* path);
// The offset is counted from the start of the archive. -1 when the file is
// not there or its data does not lie inside the archive.
int ArchiveEntryLocation(ArchiveState* state, const char* path, uint32_t* offset, uint32_t* size);

// A listing of the pattern's directory, or null when nothing matches.
ArchiveFind* ArchiveFindFirst(ArchiveState* state, const char* pattern, FileFindInfo* info);
// Reports the first matching candidate from the find's index on and leaves
// the index there; the caller moves past it. -1 when none is left.
int ArchiveFindNext(ArchiveFind* find, FileFindInfo* info);
int ArchiveFindClose(ArchiveFind* find);
// Splits at the last '\', '/' or ':'; either output may be null.
int ArchiveSplitPath(const ArchiveState* state, char* name, char* dir, const char* path);
// 0 when name matches pattern ('?' any one byte, '*' runs up to the first
// occurrence of the pattern's next byte, no backtracking), else -1.
int MatchWildcard(const char* name, const char* pattern, int32_t charSet);
// An absolute path against the current directory, ASCII letters upper-cased.
int NormaliseFullPath(const char* path, char* out);

int ArchiveStreamOpen(ArchiveStream* stream, ArchiveState* state, const char* path,
                      int asynchronous);
uint32_t ArchiveStreamRead(ArchiveStream* stream, void* buffer, uint32_t count);
int ArchiveStreamSeek(ArchiveStream* stream, int32_t offset, int origin);
int32_t ArchiveStreamTell(ArchiveStream* stream);
int ArchiveStreamEof(ArchiveStream* stream);
int ArchiveStreamIdle(ArchiveStream* stream);
int ArchiveStreamClose(ArchiveStream* stream);

}  // namespace tessel
