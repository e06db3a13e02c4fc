// What the archive reader's sources share: little-endian loads and the
// checked views of the tables.
#pragma once

#include <cstdint>
#include <cstring>

#include "foundation/files/archive.h"

namespace tessel::archive_detail {

inline uint16_t LoadU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

inline uint32_t LoadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

inline uint64_t LoadU64(const uint8_t* p) {
    return static_cast<uint64_t>(LoadU32(p)) | static_cast<uint64_t>(LoadU32(p + 4)) << 32;
}

// Offsets within a file entry and a directory record.
enum : uint32_t {
    kEntryName = 0,
    kEntryAttributes = 4,
    kEntryCreated = 8,
    kEntryAccessed = 16,
    kEntryWritten = 24,
    kEntryOffset = 32,
    kEntrySize = 36,
    kEntryStored = 40,
    kDirOwnEntry = 0,
    kDirParent = 4,
    kDirCount = 8,
    kDirFirst = 12,
};

// One name of the name table, checked to lie inside the table block.
struct NameView {
    uint16_t wordCount;
    uint16_t checksum;
    const uint8_t* search;  // 4 x wordCount bytes, ending in a zero byte
    const char* written;    // NUL-terminated inside the table block
};

// Every line the archive reader logs, named once. Most are whole lines;
// UnsupportedVersion takes the version, Damaged the name of the damage found
// (one of the entries after it). Tests find the lines by these names.
#define TESSEL_ARCHIVE_LOG_TEXTS(X)                                                    \
    X(UnsupportedVersion, "アーカイブのバージョン %u には対応していません")            \
    X(NotAnArchiveFile, "アーカイブファイルではありません")                            \
    X(ArchiveFileTooShort, "アーカイブファイルが短すぎます")                           \
    X(NotArchiveData, "アーカイブのデータではありません")                              \
    X(DataShorterThanHeader, "アーカイブのデータがヘッダより短いです")                 \
    X(NoMemoryForTables, "アーカイブのテーブル用メモリの確保に失敗しました")           \
    X(NoMemoryForLoad, "アーカイブを読み込むメモリの確保に失敗しました")               \
    X(NameTooLong, "アーカイブ内のファイル名が長すぎます")                             \
    X(PatternTooLong, "検索パターンが長すぎます")                                      \
    X(NoMemoryForSearch, "検索情報用メモリの確保に失敗しました")                       \
    X(TooManyArchives, "同時に開けるアーカイブの数が限界を超えました")                 \
    X(NoMemoryForArchive, "アーカイブの情報を格納するメモリの確保に失敗しました")      \
    X(TooManyFiles, "同時に開けるファイルの数が限界を超えました")                      \
    X(TooManyFinds, "同時に行えるファイル検索の数が限界を超えました")                  \
    X(NoMemoryForFile, "ファイルの情報を格納するメモリの確保に失敗しました")           \
    X(NoMemoryForFind, "ファイル検索用のメモリの確保に失敗しました")                   \
    X(NoMemoryForExpanding, "圧縮ファイルの展開用メモリの確保に失敗しました")          \
    X(NoMemoryForCompressedRead, "圧縮ファイルの読み込み用メモリの確保に失敗しました") \
    X(Damaged, "アーカイブが壊れています : %s")                                        \
    X(HeaderCut, "ヘッダが途中で切れています")                                         \
    X(HeaderUnreadable, "ヘッダを読めません")                                          \
    X(TableOutsideFile, "テーブルがファイルの外にあります")                            \
    X(BadTablePlace, "テーブルの位置が不正です")                                       \
    X(TablesUnreadable, "テーブルを読めません")                                        \
    X(DataStartOutsideFile, "データの開始位置がファイルの外にあります")                \
    X(BadDirectoryPlace, "ディレクトリ情報の位置が不正です")                           \
    X(BadDirectoryCount, "ディレクトリのファイル数が不正です")                         \
    X(BadNamePlace, "名前の位置が不正です")                                            \
    X(BadNameLength, "名前の長さが不正です")                                           \
    X(NameNotEnded, "名前が終わっていません")                                          \
    X(FileDataOutsideArchive, "ファイルのデータがアーカイブの外にあります")            \
    X(ArchiveUnreadable, "アーカイブを読み込めません")                                 \
    X(CannotExpand, "圧縮されたファイルを展開できません")                              \
    X(CompressedUnreadable, "圧縮されたファイルを読めません")                          \
    X(DecodedTooLarge, "圧縮されたファイルのサイズが大きすぎます")                     \
    X(DecodedSizeMismatch, "圧縮されたファイルのサイズが一致しません")

enum class ArchiveLog {
#define TESSEL_ARCHIVE_LOG_NAME(name, text) name,
    TESSEL_ARCHIVE_LOG_TEXTS(TESSEL_ARCHIVE_LOG_NAME)
#undef TESSEL_ARCHIVE_LOG_NAME
};

const char* ArchiveLogText(ArchiveLog which);
// Logs a whole line; returns -1.
int LogArchive(ArchiveLog which);

// Logs the damage ("...壊れています : " and its name) and returns -1.
int Damaged(ArchiveLog what);

// Waits (zero sleeps) for a pending whole-archive load.
void WaitForLoad(ArchiveState* state);

// The directory record at an offset of the directory table, or null (logged)
// when it does not lie inside the table block.
const uint8_t* DirRecordAt(const ArchiveState* state, uint32_t offset);
// The first entry and the number of entries of a directory; false (logged)
// when they do not all lie inside the file table.
bool DirEntries(const ArchiveState* state, const uint8_t* dir, const uint8_t** first,
                uint32_t* count);
bool EntryName(const ArchiveState* state, const uint8_t* entry, NameView* view);
bool NameMatchesKey(const NameView& name, const ArchiveNameKey& key);
inline bool IsDirEntry(const uint8_t* entry) {
    return (LoadU32(entry + kEntryAttributes) & kArchiveDirAttribute) != 0;
}
inline bool IsRootDir(const ArchiveState* state, const uint8_t* dir) {
    return dir == state->dirTable;
}
// True when the entry's data is one LZ block (version 2 on, stored size set).
bool EntryIsCompressed(const ArchiveState* state, const uint8_t* entry);
// The absolute offset and the stored size of a file's data; false (logged)
// when the range does not lie inside the archive.
bool EntryDataRange(const ArchiveState* state, const uint8_t* entry, uint32_t* offset,
                    uint32_t* stored);
// Steps over one character (two bytes for a double-byte one, never over a NUL).
const char* NextChar(const char* p, int32_t charSet);
inline bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

}  // namespace tessel::archive_detail
