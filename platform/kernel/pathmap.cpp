// The path mapping: a Windows path in code page 932 (drive C: is the root,
// '\' or '/' between components) becomes a Linux path in UTF-8. An exact
// name wins; else each component is found without regard to case, as a
// Windows file system would; a name that does not exist keeps its spelling.
// Also errno to Windows errors, and the name folding find.cpp matches with.
// Not here: other drives (refused) and network paths.
#include "platform/kernel/pathmap_internal.h"

#include <dirent.h>
#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/kernel/codepage.h"
#include "platform/kernel/files.h"

namespace platform {

namespace {

std::string Convert(const char* text, size_t length, UINT from, UINT to) {
    if (length == 0) {
        return std::string();
    }
    int units = MultiByteToWideChar(from, 0, text, static_cast<int>(length), nullptr, 0);
    if (units <= 0) {
        return std::string();
    }
    std::u16string wide(static_cast<size_t>(units), u'\0');
    MultiByteToWideChar(from, 0, text, static_cast<int>(length), wide.data(), units);
    int bytes = WideCharToMultiByte(to, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return std::string();
    }
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(to, 0, wide.data(), units, out.data(), bytes, nullptr, nullptr);
    return out;
}

bool IsAscii(const std::string& text) {
    for (unsigned char c : text) {
        if (c >= 0x80) {
            return false;
        }
    }
    return true;
}

// Decodes one UTF-8 sequence at `i`, advancing it; a broken byte stands for itself.
char32_t DecodeUtf8(const std::string& s, size_t& i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    char32_t value = extra == 0 ? c : (c & (0x3F >> extra));
    if (extra > 0 && i + static_cast<size_t>(extra) >= s.size()) {
        ++i;
        return c;
    }
    for (int k = 1; k <= extra; ++k) {
        unsigned char next = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
        if ((next & 0xC0) != 0x80) {
            ++i;
            return c;
        }
        value = (value << 6) | (next & 0x3F);
    }
    i += static_cast<size_t>(extra) + 1;
    return value;
}

char32_t FoldChar(char32_t c) {
    if (c >= U'A' && c <= U'Z')
        return c + 32;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return c + 32;  // Latin-1
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2)
        return c + 32;  // Greek
    if (c >= 0x410 && c <= 0x42F)
        return c + 32;  // Cyrillic
    if (c >= 0x400 && c <= 0x40F)
        return c + 80;
    if (c >= 0xFF21 && c <= 0xFF3A)
        return c + 32;  // full-width Latin
    return c;
}

std::vector<std::string> SplitComponents(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        if (end > start) {
            parts.push_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return parts;
}

std::string CurrentLinuxDirectory() {
    std::vector<char> buffer(4096);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) {
            return "/";
        }
        buffer.resize(buffer.size() * 2);
    }
    return std::string(buffer.data());
}

// The entry of `directory` whose name equals `name` without regard to case,
// or an empty string.
std::string FindEntryNoCase(const std::string& directory, const std::string& name) {
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr) {
        return std::string();
    }
    std::string found;
    while (struct dirent* entry = readdir(dir)) {
        std::string candidate(entry->d_name);
        if (NamesEqualNoCase(candidate, name)) {
            found = candidate;
            break;
        }
    }
    closedir(dir);
    return found;
}

std::string Join(const std::string& directory, const std::string& name) {
    return directory == "/" ? "/" + name : directory + "/" + name;
}

}  // namespace

std::string Cp932ToUtf8(const char* text) {
    size_t length = std::strlen(text);
    std::string plain(text, length);
    if (IsAscii(plain)) {
        return plain;
    }
    return Convert(text, length, 932, CP_UTF8);
}

std::string Cp932ToUtf8(const std::string& text) {
    return Cp932ToUtf8(text.c_str());
}

std::string Utf8ToCp932(const std::string& text) {
    if (IsAscii(text)) {
        return text;
    }
    return Convert(text.data(), text.size(), CP_UTF8, 932);
}

std::u32string FoldName(const std::string& utf8) {
    std::u32string out;
    size_t i = 0;
    while (i < utf8.size()) {
        out.push_back(FoldChar(DecodeUtf8(utf8, i)));
    }
    return out;
}

bool NamesEqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() == b.size() && a == b) {
        return true;
    }
    return FoldName(a) == FoldName(b);
}

DWORD ErrorFromErrno(int error) {
    switch (error) {
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EEXIST:
            return ERROR_FILE_EXISTS;
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS:
        case EBUSY:
            return ERROR_ACCESS_DENIED;
        case ENOTEMPTY:
            return ERROR_DIR_NOT_EMPTY;
        case ENAMETOOLONG:
            return ERROR_FILENAME_EXCED_RANGE;
        case EMFILE:
        case ENFILE:
            return ERROR_TOO_MANY_OPEN_FILES;
        case ENOSPC:
            return ERROR_DISK_FULL;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case EBADF:
            return ERROR_INVALID_HANDLE;
        case EINVAL:
            return ERROR_INVALID_PARAMETER;
        default:
            return ERROR_GEN_FAILURE;
    }
}

bool PathExists(const std::string& linuxPath) {
    struct stat info;
    return stat(linuxPath.c_str(), &info) == 0;
}

bool MapWindowsPath(const char* windowsPath, std::string* linuxPath, DWORD* error) {
    if (windowsPath == nullptr || windowsPath[0] == '\0') {
        *error = ERROR_PATH_NOT_FOUND;
        return false;
    }
    // Convert first: a '\' byte may be the second byte of a double-byte character.
    std::string path = Cp932ToUtf8(windowsPath);
    for (char& c : path) {
        if (c == '\\') {
            c = '/';
        }
    }
    if (path.size() >= 2 && path[1] == ':' &&
        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
        if (path[0] != 'C' && path[0] != 'c') {
            *error = ERROR_PATH_NOT_FOUND;
            return false;
        }
        path.erase(0, 2);  // "C:x" is relative to the current directory of drive C:
    }
    if (path.size() >= 2 && path[0] == '/' && path[1] == '/') {
        *error = ERROR_PATH_NOT_FOUND;  // no network paths
        return false;
    }
    std::string absolute =
        path.empty() || path[0] != '/' ? CurrentLinuxDirectory() + "/" + path : path;
    // "." and ".." are resolved on the text, as Windows does before asking the
    // file system; ".." at the root stays at the root.
    std::vector<std::string> parts;
    for (std::string& part : SplitComponents(absolute)) {
        if (part == ".") {
            continue;
        }
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
            continue;
        }
        parts.push_back(std::move(part));
    }
    std::string resolved = "/";
    bool lookingUp = true;  // false once a component is missing: the rest cannot exist
    for (const std::string& part : parts) {
        std::string exact = Join(resolved, part);
        if (!lookingUp) {
            resolved = exact;
            continue;
        }
        struct stat info;
        if (lstat(exact.c_str(), &info) == 0) {
            resolved = exact;
            continue;
        }
        std::string match = FindEntryNoCase(resolved, part);
        if (match.empty()) {
            lookingUp = false;
            resolved = exact;
        } else {
            resolved = Join(resolved, match);
        }
    }
    *linuxPath = resolved;
    return true;
}

std::string WindowsPathFromLinux(const std::string& linuxPath) {
    std::string windows = "C:" + Utf8ToCp932(linuxPath);
    for (size_t i = 2; i < windows.size(); ++i) {
        // After conversion a '/' can only be a separator: code page 932 trail
        // bytes start at 0x40.
        if (windows[i] == '/') {
            windows[i] = '\\';
        }
    }
    if (windows.size() == 2) {
        windows += '\\';
    }
    return windows;
}

}  // namespace platform
