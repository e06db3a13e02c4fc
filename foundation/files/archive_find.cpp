// Listing an archive's directories with wildcard patterns, and the path text
// helpers that lookups and listings share.
#include <cstring>

#include "foundation/base/text.h"
#include "foundation/files/archive.h"
#include "foundation/files/archive_internal.h"
#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "platform/kernel.h"

namespace tessel {

using namespace archive_detail;

namespace {

void UpperCaseAscii(char* s, int32_t charSet) {
    for (char* p = s; *p != '\0';) {
        char* next = const_cast<char*>(NextChar(p, charSet));
        if (next - p == 1 && *p >= 'a' && *p <= 'z') {
            *p = static_cast<char>(*p - 'a' + 'A');
        }
        p = next;
    }
}

void ClearInfo(FileFindInfo* info) {
    std::memset(info, 0, sizeof(*info));
}

void FillEntryInfo(const uint8_t* entry, const NameView& name, FileFindInfo* info) {
    ClearInfo(info);
    CopyTextN(info->name, name.written, static_cast<int>(sizeof(info->name)) - 1);
    info->isDirectory = IsDirEntry(entry) ? 1 : 0;
    info->sizeLow = LoadU32(entry + kEntrySize);
    info->sizeHigh = 0;
    FileTimeToLocalDate(LoadU64(entry + kEntryCreated), info->created);
    FileTimeToLocalDate(LoadU64(entry + kEntryWritten), info->lastWritten);
}

void FillDotInfo(const char* name, FileFindInfo* info) {
    ClearInfo(info);
    CopyText(info->name, name);
    info->isDirectory = 1;
}

// Just past the last separator or colon of text[0, length), walking whole
// characters from the start: a second byte may have the separator's value.
size_t PastLastSeparatorOrColon(const char* text, size_t length, int32_t charSet) {
    size_t past = 0;
    for (const char* p = text; p < text + length; p = NextChar(p, charSet)) {
        if (IsSeparator(*p) || *p == ':') {
            past = static_cast<size_t>(p - text) + 1;
        }
    }
    return past;
}

}  // namespace

int ArchiveSplitPath(const ArchiveState* state, char* name, char* dir, const char* path) {
    const char* last = nullptr;
    for (const char* p = path; *p != '\0'; p = NextChar(p, state->charSet)) {
        if (IsSeparator(*p) || *p == ':') {
            last = p;
        }
    }
    if (last == nullptr) {
        if (name != nullptr) {
            CopyText(name, path);
        }
        if (dir != nullptr) {
            dir[0] = '\0';
        }
        return 0;
    }
    if (name != nullptr) {
        CopyText(name, last + 1);
    }
    if (dir != nullptr) {
        const size_t length = static_cast<size_t>(last - path);
        std::memcpy(dir, path, length);
        dir[length] = '\0';
    }
    return 0;
}

int MatchWildcard(const char* name, const char* pattern, int32_t charSet) {
    const char* n = name;
    const char* p = pattern;
    while (*p != '\0') {
        if (IsLeadByte(p, charSet) && p[1] != '\0') {
            if (n[0] != p[0] || n[1] != p[1]) {
                return -1;
            }
            n += 2;
            p += 2;
            continue;
        }
        if (*p == '?') {
            if (*n == '\0') {
                return -1;
            }
            ++n;
            ++p;
            continue;
        }
        if (*p == '*') {
            while (*p == '*') {
                ++p;
            }
            if (*p == '\0') {
                return 0;
            }
            // Only the first occurrence is tried: no backtracking.
            while (*n != '\0' && *n != *p) {
                n = NextChar(n, charSet);
            }
            if (*n == '\0') {
                return -1;
            }
            ++n;
            ++p;
            continue;
        }
        if (*n != *p) {
            return -1;
        }
        ++n;
        ++p;
    }
    return *n == '\0' ? 0 : -1;
}

int NormaliseFullPath(const char* path, char* out) {
    char base[MAX_PATH + 1] = {};
    const DWORD got = GetCurrentDirectoryA(MAX_PATH, base);
    if (got == 0 || got >= MAX_PATH) {
        base[0] = '\0';
    }
    const int32_t charSet = LibraryCharSet;
    UpperCaseAscii(base, charSet);
    // The result is built in a scratch buffer and cut to MAX_PATH - 1 bytes,
    // so that a long path can never run past the caller's buffer.
    constexpr size_t kScratch = 2 * MAX_PATH + 2;
    char result[kScratch];
    size_t length = 0;
    const char* p = path;
    auto append = [&](const char* text, size_t n) {
        if (length + n >= kScratch) {
            n = kScratch - 1 - length;
        }
        std::memcpy(result + length, text, n);
        length += n;
        result[length] = '\0';
    };
    if (IsSeparator(p[0]) && p[1] == p[0]) {
        append("\\", 1);
        p += 2;
    } else if (IsSeparator(p[0])) {
        append(base, base[0] != '\0' && base[1] == ':' ? 2 : 0);
        p += 1;
    } else if (p[0] != '\0' && p[1] == ':') {
        append(p, 2);
        p += 2;
        if (*p == '\\') {
            ++p;
        }
    } else {
        size_t baseLength = std::strlen(base);
        if (baseLength > 0 && IsSeparator(base[baseLength - 1])) {
            --baseLength;
        }
        append(base, baseLength);
    }
    while (*p != '\0') {
        const char* start = p;
        while (*p != '\0' && !IsSeparator(*p)) {
            p = NextChar(p, charSet);
        }
        const size_t n = static_cast<size_t>(p - start);
        const bool last = *p == '\0';
        if (*p != '\0') {
            ++p;
        }
        if (n == 0) {
            continue;
        }
        if (!last && n == 1 && start[0] == '.') {
            continue;
        }
        if (!last && n == 2 && start[0] == '.' && start[1] == '.') {
            // Back to the nearest separator or colon; a drive root stays.
            const size_t cut = PastLastSeparatorOrColon(result, length, charSet);
            if (cut > 0 && IsSeparator(result[cut - 1])) {
                length = cut - 1;
                result[length] = '\0';
            }
            continue;
        }
        append("\\", 1);
        append(start, n);
    }
    result[length] = '\0';
    UpperCaseAscii(result, charSet);
    CopyTextN(out, result, MAX_PATH - 1);
    return 0;
}

ArchiveFind* ArchiveFindFirst(ArchiveState* state, const char* pattern, FileFindInfo* info) {
    WaitForLoad(state);
    if (std::strlen(pattern) >= kArchivePatternBytes) {
        LogArchive(ArchiveLog::PatternTooLong);
        return nullptr;
    }
    ArchiveFind* find =
        static_cast<ArchiveFind*>(AllocTrackedZeroed(sizeof(ArchiveFind), __FILE__, __LINE__));
    if (find == nullptr) {
        LogArchive(ArchiveLog::NoMemoryForSearch);
        return nullptr;
    }
    char dir[kArchivePatternBytes];
    ArchiveSplitPath(state, find->pattern, dir, pattern);
    UpperCaseAscii(find->pattern, state->charSet);
    UpperCaseAscii(dir, state->charSet);
    find->archive = state;
    find->dir = state->currentDir;
    if (dir[0] != '\0') {
        uint8_t* before = state->currentDir;
        const int entered = ArchiveEnterDir(state, dir, 0, nullptr);
        find->dir = state->currentDir;
        state->currentDir = before;
        if (entered != 0) {
            FreeTracked(find);
            return nullptr;
        }
    }
    find->index = 0;
    if (ArchiveFindNext(find, info) != 0) {
        FreeTracked(find);
        return nullptr;
    }
    ++find->index;
    return find;
}

int ArchiveFindNext(ArchiveFind* find, FileFindInfo* info) {
    ArchiveState* state = find->archive;
    WaitForLoad(state);
    FileFindInfo scratch;
    if (info == nullptr) {
        info = &scratch;
    }
    const bool root = IsRootDir(state, find->dir);
    const int32_t dots = root ? 1 : 2;
    for (; find->index < dots; ++find->index) {
        const char* name = find->index == 0 ? "." : "..";
        if (MatchWildcard(name, find->pattern, state->charSet) == 0) {
            FillDotInfo(name, info);
            return 0;
        }
    }
    const uint8_t* first = nullptr;
    uint32_t count = 0;
    if (!DirEntries(state, find->dir, &first, &count)) {
        return -1;
    }
    const uint32_t entrySize = ArchiveEntrySize(state->header.version);
    for (; static_cast<uint32_t>(find->index - dots) < count; ++find->index) {
        const uint8_t* entry = first + static_cast<size_t>(find->index - dots) * entrySize;
        NameView name;
        if (!EntryName(state, entry, &name)) {
            return -1;
        }
        if (MatchWildcard(reinterpret_cast<const char*>(name.search), find->pattern,
                          state->charSet) == 0) {
            FillEntryInfo(entry, name, info);
            return 0;
        }
    }
    return -1;
}

int ArchiveFindClose(ArchiveFind* find) {
    if (find != nullptr) {
        FreeTracked(find);
    }
    return 0;
}

}  // namespace tessel
