// Path arithmetic, once for byte strings and once for UTF-16 (templates over
// the character type): full paths against a base, splitting into folder and
// name, relative paths, and the temporary file. '.' and '..' are resolved
// as text, without asking the file system.
// Not here: mapping to Linux paths (the platform's pathmap).
#include "foundation/files/paths.h"

#include <string>
#include <vector>

#include "foundation/base/charset.h"
#include "foundation/base/text.h"
#include "foundation/files/file_ops.h"
#include "platform/kernel.h"

namespace tessel {

namespace {

// How many units the character at p takes: 2 for a double-byte character or
// a surrogate pair whose second unit is there, else 1.
int CharUnits(const char* p) {
    return (IsLeadByte(p, LibraryCharSet) != 0 && p[1] != 0) ? 2 : 1;
}
int CharUnits(const WCHAR* p) {
    return (IsHighSurrogate(*p) != 0 && p[1] != 0) ? 2 : 1;
}

template <typename C>
bool IsSeparator(C c) {
    return c == C('\\') || c == C('/');
}

template <typename C>
using Text = std::basic_string<C>;

template <typename C>
Text<C> Literal(const char* ascii) {
    Text<C> out;
    for (const char* p = ascii; *p != 0; ++p) {
        out.push_back(static_cast<C>(*p));
    }
    return out;
}

Text<char> CurrentDirectory(char) {
    char buffer[kPathCapacity] = {};
    CurrentFileOps.getCurrentDir(buffer);
    return Text<char>(buffer);
}

Text<WCHAR> CurrentDirectory(WCHAR) {
    Text<char> narrow = CurrentDirectory(char{});
    WCHAR wide[kPathCapacity] = {};
    int units = MultiByteToWideChar(LibraryCodePage(), 0, narrow.c_str(), -1, wide, kPathCapacity);
    return units > 0 ? Text<WCHAR>(wide) : Text<WCHAR>();
}

// Index of the last character of s, stepping over double-byte characters.
template <typename C>
size_t LastCharIndex(const Text<C>& s) {
    size_t last = Text<C>::npos;
    for (size_t i = 0; i < s.size();) {
        last = i;
        i += static_cast<size_t>(CharUnits(s.c_str() + i));
    }
    return last;
}

// Position of the last separator or colon, or npos.
template <typename C>
size_t LastSeparatorOrColon(const C* s, size_t length) {
    size_t found = Text<C>::npos;
    for (size_t i = 0; i < length;) {
        if (IsSeparator(s[i]) || s[i] == C(':')) {
            found = i;
        }
        i += static_cast<size_t>(CharUnits(s + i));
    }
    return found;
}

template <typename C>
void RemoveTrailingSeparator(Text<C>* s) {
    size_t last = LastCharIndex(*s);
    if (last != Text<C>::npos && IsSeparator((*s)[last])) {
        s->erase(last);
    }
}

template <typename C>
bool StoreOut(const Text<C>& result, C* out) {
    if (result.size() >= static_cast<size_t>(kPathCapacity)) {
        out[0] = 0;
        return false;
    }
    result.copy(out, result.size());
    out[result.size()] = 0;
    return true;
}

template <typename C>
void AddComponent(Text<C>* result, const Text<C>& component, bool last) {
    if (!last && component == Literal<C>(".")) {
        return;
    }
    if (!last && component == Literal<C>("..")) {
        size_t cut = LastSeparatorOrColon(result->c_str(), result->size());
        if (cut != Text<C>::npos && (*result)[cut] != C(':')) {
            result->erase(cut);
        }
        return;
    }
    result->push_back(C('\\'));
    *result += component;
}

template <typename C>
Text<C> FullPath(const C* path, const C* base) {
    Text<C> baseText = base != nullptr ? Text<C>(base) : CurrentDirectory(C{});
    if (path == nullptr) {
        return baseText;
    }
    Text<C> result;
    const C* read = path;
    if (IsSeparator(path[0]) && path[1] == path[0]) {
        result = Literal<C>("\\");
        read = path + 2;
    } else if (IsSeparator(path[0])) {
        result = baseText.substr(0, 2);
        read = path + 1;
    } else if (path[0] != 0 && path[1] == C(':')) {
        result = Text<C>(path, 2);
        read = IsSeparator(path[2]) ? path + 3 : path + 2;
    } else {
        result = baseText;
        RemoveTrailingSeparator(&result);
    }
    Text<C> component;
    for (const C* p = read; *p != 0;) {
        if (IsSeparator(*p)) {
            if (!component.empty()) {
                AddComponent(&result, component, false);
                component.clear();
            }
            ++p;
            continue;
        }
        int units = CharUnits(p);
        component.append(p, static_cast<size_t>(units));
        p += units;
    }
    if (!component.empty()) {
        AddComponent(&result, component, true);
    }
    return result;
}

template <typename C>
void Split(const C* path, C* name, C* directory) {
    Text<C> text = path != nullptr ? Text<C>(path) : Text<C>();
    size_t cut = LastSeparatorOrColon(text.c_str(), text.size());
    Text<C> namePart = cut == Text<C>::npos ? text : text.substr(cut + 1);
    Text<C> directoryPart = cut == Text<C>::npos ? Text<C>() : text.substr(0, cut);
    if (name != nullptr) {
        namePart.copy(name, namePart.size());
        name[namePart.size()] = 0;
    }
    if (directory != nullptr) {
        directoryPart.copy(directory, directoryPart.size());
        directory[directoryPart.size()] = 0;
    }
}

// A path cut into its root (first component, with a leading pair of
// separators when there is one) and the components after it, each with the
// position where the text from it on begins.
template <typename C>
struct Walk {
    Text<C> root;
    std::vector<Text<C>> components;
    std::vector<size_t> starts;
    Text<C> text;
};

template <typename C>
Walk<C> WalkPath(const Text<C>& text) {
    Walk<C> walk;
    walk.text = text;
    size_t i = 0;
    bool first = true;
    while (i < text.size()) {
        if (IsSeparator(text[i])) {
            ++i;
            continue;
        }
        size_t start = i;
        while (i < text.size() && !IsSeparator(text[i])) {
            i += static_cast<size_t>(CharUnits(text.c_str() + i));
        }
        if (first) {
            // The root keeps a leading pair of separators (a network path).
            size_t rootStart =
                (start >= 2 && IsSeparator(text[0]) && IsSeparator(text[1])) ? 0 : start;
            walk.root = text.substr(rootStart, i - rootStart);
            first = false;
            continue;
        }
        walk.components.push_back(text.substr(start, i - start));
        walk.starts.push_back(start);
    }
    return walk;
}

template <typename C>
int Relative(const C* file, const C* base, C* out) {
    Text<C> fullFile = FullPath(file, static_cast<const C*>(nullptr));
    Text<C> fullBase = FullPath(base, static_cast<const C*>(nullptr));
    C name[kPathCapacity * 2];
    C directory[kPathCapacity * 2];
    if (fullFile.size() >= static_cast<size_t>(kPathCapacity) ||
        fullBase.size() >= static_cast<size_t>(kPathCapacity)) {
        out[0] = 0;
        return -1;
    }
    Split(fullFile.c_str(), name, directory);
    RemoveTrailingSeparator(&fullBase);
    Walk<C> dirWalk = WalkPath(Text<C>(directory));
    Walk<C> baseWalk = WalkPath(fullBase);
    if (dirWalk.root != baseWalk.root) {
        return StoreOut(fullFile, out) ? 0 : -1;
    }
    size_t same = 0;
    while (same < dirWalk.components.size() && same < baseWalk.components.size() &&
           dirWalk.components[same] == baseWalk.components[same]) {
        ++same;
    }
    Text<C> result;
    for (size_t up = same; up < baseWalk.components.size(); ++up) {
        result += Literal<C>("..\\");
    }
    if (same < dirWalk.components.size()) {
        result += dirWalk.text.substr(dirWalk.starts[same]);
        result.push_back(C('\\'));
    }
    result += Text<C>(name);
    return StoreOut(result, out) ? 0 : -1;
}

}  // namespace

int MakeFullPath(const char* path, char* out, const char* base) {
    return StoreOut(FullPath(path, base), out) ? 0 : -1;
}

int MakeFullPathW(const WCHAR* path, WCHAR* out, const WCHAR* base) {
    return StoreOut(FullPath(path, base), out) ? 0 : -1;
}

int SplitPath(const char* path, char* name, char* directory) {
    Split(path, name, directory);
    return 0;
}

int SplitPathW(const WCHAR* path, WCHAR* name, WCHAR* directory) {
    Split(path, name, directory);
    return 0;
}

int MakeRelativePath(const char* file, const char* base, char* out) {
    return Relative(file, base, out);
}

int MakeRelativePathW(const WCHAR* file, const WCHAR* base, WCHAR* out) {
    return Relative(file, base, out);
}

HANDLE CreateTempFile(char* path) {
    char folder[kPathCapacity + 2];
    DWORD length = GetTempPathA(257, folder);
    if (length == 0 || length > 256) {
        return nullptr;
    }
    if (folder[length - 1] != '\\') {
        folder[length] = '\\';
        folder[length + 1] = '\0';
    }
    char name[MAX_PATH];
    if (GetTempFileNameA(folder, "tmp", 0, name) == 0) {
        return nullptr;
    }
    char full[kPathCapacity];
    if (MakeFullPath(name, full, nullptr) != 0) {
        DeleteFileA(name);
        return nullptr;
    }
    DeleteFileA(full);
    HANDLE file =
        CreateFileA(full, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    if (path != nullptr) {
        CopyText(path, full);
    }
    return file;
}

}  // namespace tessel
