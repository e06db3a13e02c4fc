// The archive-aware file calls: a path is probed folder by folder for an
// archive standing in for that folder (FOLDER.dat beside it, or the suffix
// set) and then read from the archive; every other path goes to the plain
// files. Open archives are shared by slot and purged when unused; the last
// resolution is cached. Files, directory changes and searches all take
// this route.
// Not here: the archive format itself (archive.cpp), writing.
#include "foundation/files/archive_fs.h"

#include <cstring>

#include "foundation/base/text.h"
#include "foundation/files/archive_internal.h"
#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "platform/kernel.h"

namespace tessel {

using archive_detail::ArchiveLog;
using archive_detail::LogArchive;

namespace {

struct ArcFsFind {
    int32_t inArchive;
    int32_t archiveSlot;
    FindHandle plain;
    ArchiveFind* find;
};

ArchiveRecord* archives[kMaxOpenArchives];
int archiveCount = 0;
ArcFsFileRecord* files[kMaxArcFsFiles];
int fileCount = 0;
// Open listings. A handle carries its slot and the serial of the listing
// opened there, so a closed handle stays refused after its slot is reused.
ArcFsFind* finds[kMaxArcFsFinds];
uint32_t findSerials[kMaxArcFsFinds];
constexpr int kFindSlotBits = 10;
static_assert(kMaxArcFsFinds <= 1 << kFindSlotBits);
constexpr FindHandle kFindHandleBit = FindHandle{1} << 30;
constexpr uint32_t kFindSerialMask = (1u << (30 - kFindSlotBits)) - 1;

char suffix[kMaxArchiveSuffix + 1] = "";
char keyText[kArchiveKeySize + 1] = "";
bool keySet = false;

// The last archive found, and the last folder whose probes found none: a
// file there that is not an archive is read (and its refusal logged) once,
// not at every open.
struct ResolveCache {
    int slot;
    char archivePath[kArchivePathBytes];
    int prefixLength;  // 0: nothing cached
    char missFolder[MAX_PATH];
};
ResolveCache cache = {-1, "", 0, ""};

void ForgetResolution() {
    cache.slot = -1;
    cache.archivePath[0] = '\0';
    cache.prefixLength = 0;
    cache.missFolder[0] = '\0';
}

const char* Suffix() {
    return suffix[0] != '\0' ? suffix : "QPK";
}

void DropReference(int slot) {
    if (slot >= 0 && slot < kMaxOpenArchives && archives[slot] != nullptr &&
        archives[slot]->refCount > 0) {
        --archives[slot]->refCount;
    }
}

ArcFsFileRecord* FileOf(FileHandle file) {
    const FileHandle slot = file & ~kArcFsHandleBits;
    if ((file & kArcFsHandleBits) != kArcFsHandleBits || slot >= kMaxArcFsFiles) {
        return nullptr;
    }
    return files[slot];
}

FindHandle FindHandleOf(int slot) {
    return kFindHandleBit | static_cast<FindHandle>(findSerials[slot]) << kFindSlotBits | slot;
}

// The slot of an open listing's handle, or -1.
int FindSlotOf(FindHandle search) {
    if (search < 0 || (search & ~((kFindHandleBit << 1) - 1)) != 0 ||
        (search & kFindHandleBit) == 0) {
        return -1;
    }
    const int slot = static_cast<int>(search & ((1 << kFindSlotBits) - 1));
    if (slot >= kMaxArcFsFinds || finds[slot] == nullptr || FindHandleOf(slot) != search) {
        return -1;
    }
    return slot;
}

ArcFsFind* FindOf(FindHandle search) {
    const int slot = FindSlotOf(search);
    return slot < 0 ? nullptr : finds[slot];
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// The folder part of the path up to `length` bytes, plus "." and the suffix,
// into out; false when that does not fit an archive path.
bool MakeArchivePath(const char* path, size_t length, char* out) {
    const size_t suffixLength = std::strlen(Suffix());
    if (length + 1 + suffixLength >= kArchivePathBytes) {
        return false;
    }
    std::memcpy(out, path, length);
    out[length] = '.';
    std::memcpy(out + length + 1, Suffix(), suffixLength + 1);
    return true;
}

// Tries the folders of an absolute path from the shortest up; the file name
// itself is never tried. Returns the slot and the prefix length, or -1.
int ProbeFolders(const char* full, char* archivePath, int* prefixLength) {
    const char* p = full;
    if (IsSeparator(p[0]) && IsSeparator(p[1])) {
        p += 2;  // a network path's leading pair stays with its first name
    }
    while (*p != '\0') {
        const char* start = p;
        while (*p != '\0' && !IsSeparator(*p)) {
            p += (IsLeadByte(p, LibraryCharSet) && p[1] != '\0') ? 2 : 1;
        }
        if (*p == '\0') {
            return -1;  // the file name
        }
        if (p == start) {
            return -1;  // an empty name
        }
        const size_t length = static_cast<size_t>(p - full);
        if (!MakeArchivePath(full, length, archivePath)) {
            return -1;
        }
        const int slot = AcquireArchive(-1, archivePath, 0, 0);
        if (slot >= 0) {
            *prefixLength = static_cast<int>(length);
            return slot;
        }
        ++p;
    }
    return -1;
}

// The length of the folder part of an absolute path (up to its last
// separator), walking whole characters.
size_t FolderLength(const char* full) {
    size_t length = 0;
    for (const char* p = full; *p != '\0';) {
        if (IsSeparator(*p)) {
            length = static_cast<size_t>(p - full);
        }
        p += (IsLeadByte(p, LibraryCharSet) && p[1] != '\0') ? 2 : 1;
    }
    return length;
}

bool IsKnownMiss(const char* full, size_t folderLength) {
    return cache.missFolder[0] != '\0' && std::strlen(cache.missFolder) == folderLength &&
           std::strncmp(full, cache.missFolder, folderLength) == 0;
}

void RememberMiss(const char* full, size_t folderLength) {
    if (folderLength == 0 || folderLength >= sizeof cache.missFolder) {
        return;
    }
    std::memcpy(cache.missFolder, full, folderLength);
    cache.missFolder[folderLength] = '\0';
}

void CloseArchiveSlot(int slot) {
    ArchiveClose(&archives[slot]->state);
    FreeTracked(archives[slot]);
    archives[slot] = nullptr;
    --archiveCount;
}

void FreeFileSlot(int slot) {
    FreeTracked(files[slot]);
    files[slot] = nullptr;
}

// Registers the table as the file layer's default while archive use is on.
struct RegisterTable {
    RegisterTable() { RegisterArchiveFileOps(&ArchiveFileOps()); }
} registerTable;

}  // namespace

int UseArchiveSuffix(const char* text) {
    const size_t length = text == nullptr ? 0 : std::strlen(text);
    if (length >= 1 && length <= kMaxArchiveSuffix) {
        CopyText(suffix, text);
    } else {
        suffix[0] = '\0';
    }
    ForgetResolution();
    return 0;
}

int UseArchiveKeyText(const char* text) {
    if (text == nullptr) {
        keySet = false;
        keyText[0] = '\0';
    } else {
        keySet = true;
        CopyTextN(keyText, text, kArchiveKeySize);
    }
    ForgetResolution();
    return 0;
}

int SetArchiveSuffixOption(const char* text) {
    return UseArchiveSuffix(text);
}

int SetArchiveKeyOption(const char* text) {
    return UseArchiveKeyText(text);
}

int AcquireArchive(int hint, const char* path, int readWhole, int asynchronous) {
    if (hint >= 0 && hint < kMaxOpenArchives && archives[hint] != nullptr &&
        std::strcmp(archives[hint]->path, path) == 0) {
        ++archives[hint]->refCount;
        return hint;
    }
    int freeSlot = -1;
    for (int slot = 0; slot < kMaxOpenArchives; ++slot) {
        if (archives[slot] == nullptr) {
            freeSlot = slot;
            continue;
        }
        if (std::strcmp(archives[slot]->path, path) == 0) {
            ++archives[slot]->refCount;
            return slot;
        }
    }
    if (std::strlen(path) >= kArchivePathBytes) {
        return -1;
    }
    if (archiveCount >= kMaxOpenArchives) {
        PurgeUnusedArchives();
        if (archiveCount >= kMaxOpenArchives) {
            LogArchive(ArchiveLog::TooManyArchives);
            return -1;
        }
        freeSlot = -1;
    }
    for (int slot = 0; freeSlot < 0 && slot < kMaxOpenArchives; ++slot) {
        if (archives[slot] == nullptr) {
            freeSlot = slot;
        }
    }
    ArchiveState state;
    ArchiveStateClear(&state);
    const char* key = keySet ? keyText : nullptr;
    const int opened = readWhole ? ArchiveOpenImage(&state, path, key, asynchronous)
                                 : ArchiveOpenStreamed(&state, path, key);
    if (opened != 0) {
        return -1;
    }
    ArchiveRecord* record =
        static_cast<ArchiveRecord*>(AllocTrackedZeroed(sizeof(ArchiveRecord), __FILE__, __LINE__));
    if (record == nullptr) {
        LogArchive(ArchiveLog::NoMemoryForArchive);
        ArchiveClose(&state);
        return -1;
    }
    record->state = state;
    // The root and the current directory point into the tables, which stay
    // where they are; only the record is new.
    record->refCount = 1;
    CopyText(record->path, path);
    archives[freeSlot] = record;
    ++archiveCount;
    return freeSlot;
}

int ReleaseArchive(int slot) {
    DropReference(slot);
    return 0;
}

int ResolveArchivePath(const char* path, int* slot, char* archivePath, char* innerPath) {
    char full[MAX_PATH];
    NormaliseFullPath(path, full);
    int found = -1;
    const int cached = cache.prefixLength;
    if (cached > 0 && std::strncmp(full, cache.archivePath, static_cast<size_t>(cached)) == 0 &&
        IsSeparator(full[cached])) {
        found = AcquireArchive(cache.slot, cache.archivePath, 0, 0);
        if (found < 0) {
            return -1;
        }
        cache.slot = found;
    } else {
        const size_t folderLength = FolderLength(full);
        if (IsKnownMiss(full, folderLength)) {
            return -1;
        }
        char probe[kArchivePathBytes];
        int prefixLength = 0;
        found = ProbeFolders(full, probe, &prefixLength);
        if (found < 0) {
            RememberMiss(full, folderLength);
            return -1;
        }
        cache.slot = found;
        CopyText(cache.archivePath, probe);
        cache.prefixLength = prefixLength;
    }
    *slot = found;
    if (archivePath != nullptr) {
        CopyText(archivePath, cache.archivePath);
    }
    if (innerPath != nullptr) {
        CopyText(innerPath, full + cache.prefixLength + 1);
    }
    return 0;
}

void PurgeUnusedArchives() {
    for (int slot = 0; slot < kMaxOpenArchives; ++slot) {
        if (archives[slot] != nullptr && archives[slot]->refCount < 1) {
            CloseArchiveSlot(slot);
        }
    }
}

int PurgeArchivesAtExit() {
    PurgeUnusedArchives();
    return 0;
}

FileHandle ArcFsOpen(const char* path, int cache, int third, int asynchronous) {
    if (fileCount >= kMaxArcFsFiles) {
        LogArchive(ArchiveLog::TooManyFiles);
        return 0;
    }
    int slot = 0;
    while (slot < kMaxArcFsFiles && files[slot] != nullptr) {
        ++slot;
    }
    if (slot == kMaxArcFsFiles) {
        LogArchive(ArchiveLog::TooManyFiles);
        return 0;
    }
    ArcFsFileRecord* record = static_cast<ArcFsFileRecord*>(
        AllocTrackedZeroed(sizeof(ArcFsFileRecord), __FILE__, __LINE__));
    if (record == nullptr) {
        LogArchive(ArchiveLog::NoMemoryForFile);
        return 0;
    }
    files[slot] = record;
    int archive = -1;
    char inner[MAX_PATH];
    if (ResolveArchivePath(path, &archive, nullptr, inner) != 0) {
        record->inArchive = 0;
        record->plain = PlainFsOpen(path, cache, 1, asynchronous);
        if (record->plain == 0) {
            FreeFileSlot(slot);
            return 0;
        }
    } else {
        record->inArchive = 1;
        record->archiveSlot = archive;
        if (ArchiveStreamOpen(&record->stream, &archives[archive]->state, inner, asynchronous) !=
            0) {
            // No fallback: a folder that has an archive is served only by it.
            DropReference(archive);
            FreeFileSlot(slot);
            return 0;
        }
    }
    ++fileCount;
    return static_cast<FileHandle>(slot) | kArcFsHandleBits;
}

int ArcFsClose(FileHandle file) {
    ArcFsFileRecord* record = FileOf(file);
    if (record == nullptr) {
        return -1;
    }
    if (record->inArchive) {
        ArchiveStreamClose(&record->stream);
        DropReference(record->archiveSlot);
    } else {
        PlainFsClose(record->plain);
    }
    FreeFileSlot(static_cast<int>(file & ~kArcFsHandleBits));
    --fileCount;
    return 0;
}

int32_t ArcFsTell(FileHandle file) {
    ArcFsFileRecord* record = FileOf(file);
    if (record == nullptr) {
        return -1;
    }
    return record->inArchive ? ArchiveStreamTell(&record->stream) : PlainFsTell(record->plain);
}

int ArcFsSeek(FileHandle file, int32_t offset, int origin) {
    ArcFsFileRecord* record = FileOf(file);
    if (record == nullptr) {
        return -1;
    }
    return record->inArchive ? ArchiveStreamSeek(&record->stream, offset, origin)
                             : PlainFsSeek(record->plain, offset, origin);
}

uint32_t ArcFsRead(void* buffer, uint32_t size, uint32_t count, FileHandle file) {
    ArcFsFileRecord* record = FileOf(file);
    // A bad handle reads nothing: an all-ones count would pass for data.
    if (record == nullptr || size == 0) {
        return 0;
    }
    if (!record->inArchive) {
        return PlainFsRead(buffer, size, count, record->plain);
    }
    const uint64_t bytes = static_cast<uint64_t>(size) * count;
    const uint32_t asked = bytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(bytes);
    return ArchiveStreamRead(&record->stream, buffer, asked) / size;
}

int ArcFsEof(FileHandle file) {
    ArcFsFileRecord* record = FileOf(file);
    if (record == nullptr) {
        return -1;
    }
    return record->inArchive ? ArchiveStreamEof(&record->stream) : PlainFsEof(record->plain);
}

int ArcFsIdle(FileHandle file) {
    ArcFsFileRecord* record = FileOf(file);
    if (record == nullptr) {
        return -1;
    }
    return record->inArchive ? ArchiveStreamIdle(&record->stream) : PlainFsIdle(record->plain);
}

int ArcFsSetCurrentDir(const char* path) {
    SetCurrentDirectoryA(path);
    return 0;
}

int ArcFsGetCurrentDir(char* buffer) {
    GetCurrentDirectoryA(kArchivePathBytes, buffer);
    return 0;
}

FindHandle ArcFsFindFirst(const char* pattern, FileFindInfo* info) {
    int slot = 0;
    while (slot < kMaxArcFsFinds && finds[slot] != nullptr) {
        ++slot;
    }
    if (slot == kMaxArcFsFinds) {
        LogArchive(ArchiveLog::TooManyFinds);
        return -1;
    }
    ArcFsFind* record =
        static_cast<ArcFsFind*>(AllocTrackedZeroed(sizeof(ArcFsFind), __FILE__, __LINE__));
    if (record == nullptr) {
        LogArchive(ArchiveLog::NoMemoryForFind);
        return -1;
    }
    int archive = -1;
    char inner[MAX_PATH];
    if (ResolveArchivePath(pattern, &archive, nullptr, inner) == 0) {
        record->inArchive = 1;
        record->archiveSlot = archive;
        record->find = ArchiveFindFirst(&archives[archive]->state, inner, info);
        if (record->find == nullptr) {
            DropReference(archive);
            FreeTracked(record);
            return -1;
        }
    } else {
        record->plain = PlainFsFindFirst(pattern, info);
        if (record->plain == -1) {
            FreeTracked(record);
            return -1;
        }
    }
    finds[slot] = record;
    findSerials[slot] = (findSerials[slot] + 1) & kFindSerialMask;
    return FindHandleOf(slot);
}

int ArcFsFindNext(FindHandle search, FileFindInfo* info) {
    ArcFsFind* record = FindOf(search);
    if (record == nullptr) {
        return -1;
    }
    if (!record->inArchive) {
        return PlainFsFindNext(record->plain, info);
    }
    if (ArchiveFindNext(record->find, info) != 0) {
        return -1;
    }
    ++record->find->index;
    return 0;
}

int ArcFsFindClose(FindHandle search) {
    const int slot = FindSlotOf(search);
    if (slot < 0) {
        return -1;
    }
    ArcFsFind* record = finds[slot];
    finds[slot] = nullptr;
    if (record->inArchive) {
        ArchiveFindClose(record->find);
        DropReference(record->archiveSlot);
    } else {
        PlainFsFindClose(record->plain);
    }
    FreeTracked(record);
    return 0;
}

const FileOps& ArchiveFileOps() {
    static constexpr FileOps kTable = {
        ArcFsOpen,          ArcFsClose,     ArcFsTell,     ArcFsSeek,
        ArcFsRead,          ArcFsEof,       ArcFsIdle,     ArcFsSetCurrentDir,
        ArcFsGetCurrentDir, ArcFsFindFirst, ArcFsFindNext, ArcFsFindClose,
    };
    return kTable;
}

int ArchiveSlotReferences(int slot) {
    if (slot < 0 || slot >= kMaxOpenArchives || archives[slot] == nullptr) {
        return -1;
    }
    return archives[slot]->refCount;
}

int OpenArchiveCount() {
    return archiveCount;
}

int OpenArcFsFileCount() {
    return fileCount;
}

}  // namespace tessel
