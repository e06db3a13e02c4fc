// FindFirstFileA and its search handles: a folder's matching names are read
// at once (case and '*.*' as Windows treats them), sorted, and handed out one
// by one; a search is a checked kernel HANDLE like any other.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/kernel/file_object_internal.h"
#include "platform/kernel/files.h"
#include "platform/kernel/pathmap_internal.h"

namespace platform {

namespace {

struct FoundEntry {
    std::u32string sortKey;
    WIN32_FIND_DATAA data;
};

// A search handle; FindClose ends it (CloseHandle does not apply on Windows).
struct FindObject : KernelObject {
    FindObject() : KernelObject(ObjectKind::Find) {}
    std::vector<FoundEntry> entries;
    size_t next = 0;
};

bool MatchWildcard(const char32_t* pattern, const char32_t* name) {
    // Iterative matching with one back-track point for the last '*'.
    const char32_t* star = nullptr;
    const char32_t* resume = nullptr;
    while (*name != 0) {
        if (*pattern == U'*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == U'?' || *pattern == *name) {
            ++pattern;
            ++name;
        } else if (star != nullptr) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == U'*') {
        ++pattern;
    }
    return *pattern == 0;
}

bool HasWildcard(const std::string& text) {
    return text.find_first_of("*?") != std::string::npos;
}

bool FillEntry(const std::string& directory, const std::string& name, FoundEntry* entry) {
    std::string full = directory == "/" ? "/" + name : directory + "/" + name;
    struct stat info;
    if (stat(full.c_str(), &info) != 0) {
        return false;  // a dangling link is not reported
    }
    std::string windowsName = Utf8ToCp932(name);
    if (windowsName.size() >= MAX_PATH) {
        return false;
    }
    WIN32_FIND_DATAA& data = entry->data;
    std::memset(&data, 0, sizeof(data));
    data.dwFileAttributes = AttributesFromMode(info.st_mode);
    FileTimes times = FileTimesOf(full, -1);
    data.ftCreationTime = times.creation;
    data.ftLastAccessTime = times.lastAccess;
    data.ftLastWriteTime = times.lastWrite;
    uint64_t size = S_ISDIR(info.st_mode) ? 0 : static_cast<uint64_t>(info.st_size);
    data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data.nFileSizeLow = static_cast<DWORD>(size);
    std::memcpy(data.cFileName, windowsName.c_str(), windowsName.size() + 1);
    entry->sortKey = FoldName(name);
    return true;
}

// Splits a Windows pattern at its last separator. The separator is looked for
// after conversion, where a '\' cannot be the second byte of a character.
void SplitPattern(const char* pattern, std::string* directory, std::string* name) {
    std::string utf8 = Cp932ToUtf8(pattern);
    size_t cut = utf8.find_last_of("\\/");
    if (cut == std::string::npos) {
        size_t colon = utf8.size() >= 2 && utf8[1] == ':' ? 2 : 0;
        *directory = Utf8ToCp932(utf8.substr(0, colon) + ".");
        *name = utf8.substr(colon);
        return;
    }
    *directory = Utf8ToCp932(utf8.substr(0, cut + 1));
    *name = utf8.substr(cut + 1);
}

}  // namespace

}  // namespace platform

HANDLE FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findData) {
    if (fileName == nullptr || findData == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string windowsDirectory;
    std::string pattern;
    platform::SplitPattern(fileName, &windowsDirectory, &pattern);
    std::string directory;
    DWORD error = 0;
    if (!platform::MapWindowsPath(windowsDirectory.c_str(), &directory, &error)) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    if (pattern.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (pattern == "*.*") {
        pattern = "*";  // Windows' old spelling of "every name"
    }
    std::u32string foldedPattern = platform::FoldName(pattern);
    bool wildcard = platform::HasWildcard(pattern);
    bool atRoot = directory == "/";
    auto* search = new platform::FindObject();
    while (struct dirent* entry = readdir(dir)) {
        std::string name(entry->d_name);
        if (atRoot && (name == "." || name == "..")) {
            continue;
        }
        std::u32string folded = platform::FoldName(name);
        bool matches = wildcard ? platform::MatchWildcard(foldedPattern.c_str(), folded.c_str())
                                : folded == foldedPattern;
        platform::FoundEntry found;
        if (matches && platform::FillEntry(directory, name, &found)) {
            search->entries.push_back(std::move(found));
        }
    }
    closedir(dir);
    if (search->entries.empty()) {
        platform::ReleaseObject(search);
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::sort(search->entries.begin(), search->entries.end(),
              [](const platform::FoundEntry& a, const platform::FoundEntry& b) {
                  return a.sortKey < b.sortKey;
              });
    *findData = search->entries[0].data;
    search->next = 1;
    HANDLE handle = platform::AddHandle(search);
    if (handle == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    return handle;
}

namespace {

platform::HeldObject<platform::FindObject> SearchFromHandle(HANDLE handle) {
    return platform::LookupObject<platform::FindObject>(handle, platform::ObjectKind::Find);
}

}  // namespace

BOOL FindNextFileA(HANDLE findFile, LPWIN32_FIND_DATAA findData) {
    auto search = SearchFromHandle(findFile);
    if (!search || findData == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (search->next >= search->entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *findData = search->entries[search->next++].data;
    return TRUE;
}

BOOL FindClose(HANDLE findFile) {
    if (!SearchFromHandle(findFile) || !platform::RemoveHandle(findFile)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
