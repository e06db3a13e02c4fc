// The archive packer: a tree of directories and files, each name stored with
// its search form, written as a data archive (header, data, name table, file
// table, directory table) scrambled with the key. Files are LZ-packed where
// that makes them at least an eighth smaller, else stored.
// Not here: reading archives back (foundation/files/archive.cpp).
#include "tools/lib/archive_pack.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>

#include "foundation/base/text.h"
#include "foundation/files/archive.h"
#include "platform/kernel.h"
#include "tools/lib/lz_compress.h"

namespace tessel {

struct ArchiveBuilder::Node {
    std::string name;  // as written
    bool isDir = false;
    ArchiveTimes times;
    std::vector<uint8_t> data;
    std::vector<std::unique_ptr<Node>> children;
};

namespace {

using Node = ArchiveBuilder::Node;

constexpr size_t kMaxNameBytes = kArchiveNameKeyBytes - 1;

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// The name with ASCII letters upper-cased, double-byte characters kept whole,
// as the reader builds its lookup keys.
std::string SearchForm(const std::string& name, int32_t charSet) {
    std::string out = name;
    for (size_t i = 0; i < out.size(); ++i) {
        if (IsLeadByte(&out[i], charSet) && i + 1 < out.size()) {
            ++i;
            continue;
        }
        if (out[i] >= 'a' && out[i] <= 'z') {
            out[i] = static_cast<char>(out[i] - 'a' + 'A');
        }
    }
    return out;
}

// Splits at separators, double-byte aware, dropping empty names.
std::vector<std::string> SplitNames(const std::string& path, int32_t charSet) {
    std::vector<std::string> names;
    std::string current;
    for (size_t i = 0; i < path.size(); ++i) {
        if (IsLeadByte(&path[i], charSet) && i + 1 < path.size()) {
            current += path[i];
            current += path[++i];
            continue;
        }
        if (IsSeparator(path[i])) {
            if (!current.empty()) {
                names.push_back(current);
            }
            current.clear();
            continue;
        }
        current += path[i];
    }
    if (!current.empty()) {
        names.push_back(current);
    }
    return names;
}

void Put16(std::vector<uint8_t>* out, size_t at, uint32_t v) {
    (*out)[at] = static_cast<uint8_t>(v);
    (*out)[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(std::vector<uint8_t>* out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        (*out)[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

void Put64(std::vector<uint8_t>* out, size_t at, uint64_t v) {
    Put32(out, at, static_cast<uint32_t>(v));
    Put32(out, at + 4, static_cast<uint32_t>(v >> 32));
}

// Appends one name entry; returns its offset.
size_t AppendName(std::vector<uint8_t>* names, const std::string& name, int32_t charSet) {
    const std::string search = SearchForm(name, charSet);
    const size_t wordCount = (search.size() + 4) / 4;
    uint32_t checksum = 0;
    for (unsigned char c : search) {
        checksum += c;
    }
    const size_t at = names->size();
    names->resize(at + 4 + 4 * wordCount + name.size() + 1, 0);
    Put16(names, at, static_cast<uint32_t>(wordCount));
    Put16(names, at + 2, checksum & 0xFFFF);
    std::memcpy(names->data() + at + 4, search.data(), search.size());
    std::memcpy(names->data() + at + 4 + 4 * wordCount, name.data(), name.size());
    return at;
}

struct PlannedEntry {
    const Node* node;
    size_t nameOffset;
    uint32_t parentRecord;  // for directories: the record index of the node itself
    uint32_t record;
};

uint64_t FileTimeValue(const FILETIME& t) {
    return static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime;
}

}  // namespace

ArchiveBuilder::ArchiveBuilder() : root_(std::make_unique<Node>()) {
    root_->isDir = true;
}

ArchiveBuilder::~ArchiveBuilder() = default;

Node* ArchiveBuilder::Walk(const std::string& path, bool makeLast, bool lastIsDir,
                           const ArchiveTimes& times) {
    // Names are split with the Shift-JIS rules; the code page the archive is
    // built with only changes how the reader upper-cases them.
    const std::vector<std::string> names = SplitNames(path, kCharSetShiftJis);
    if (names.empty()) {
        return nullptr;
    }
    Node* dir = root_.get();
    for (size_t i = 0; i < names.size(); ++i) {
        const bool last = i + 1 == names.size();
        if (names[i].size() > kMaxNameBytes) {
            return nullptr;
        }
        const std::string key = SearchForm(names[i], kCharSetShiftJis);
        Node* found = nullptr;
        for (auto& child : dir->children) {
            if (SearchForm(child->name, kCharSetShiftJis) == key) {
                found = child.get();
                break;
            }
        }
        if (found != nullptr) {
            if (last && (!lastIsDir || !found->isDir)) {
                return nullptr;  // a file may be added once; kinds may not mix
            }
            if (!last && !found->isDir) {
                return nullptr;
            }
            dir = found;
            continue;
        }
        auto node = std::make_unique<Node>();
        node->name = names[i];
        node->isDir = !last || lastIsDir;
        if (last) {
            node->times = times;
        }
        dir->children.push_back(std::move(node));
        dir = dir->children.back().get();
    }
    return makeLast ? dir : nullptr;
}

int ArchiveBuilder::AddFile(const std::string& path, const void* data, size_t size,
                            const ArchiveTimes& times) {
    Node* node = Walk(path, true, false, times);
    if (node == nullptr) {
        return -1;
    }
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    node->data.assign(bytes, bytes + size);
    return 0;
}

int ArchiveBuilder::AddDirectory(const std::string& path, const ArchiveTimes& times) {
    return Walk(path, true, true, times) == nullptr ? -1 : 0;
}

int ArchiveBuilder::Build(const ArchivePackOptions& options, std::vector<uint8_t>* out) const {
    if (options.version > kArchiveMaxVersion) {
        return -1;
    }
    const uint32_t version = options.version;
    const int32_t charSet = version >= 4 ? ArchiveCharSetFromCodePage(options.codePage) : 0;
    const uint32_t entrySize = ArchiveEntrySize(version);
    const uint32_t headerSize = ArchiveHeaderSize(version);

    // Entries in breadth-first order: the root's own entry, then each
    // directory's children one after another, so that a directory's entries
    // are contiguous. Directory records follow the same order.
    std::vector<uint8_t> names;
    std::vector<PlannedEntry> entries;
    std::vector<const Node*> dirs;      // record index -> node
    std::vector<uint32_t> dirOwnEntry;  // record index -> entry index
    std::vector<uint32_t> dirParent;    // record index -> parent record
    std::vector<uint32_t> dirFirst;
    entries.push_back({root_.get(), AppendName(&names, "", charSet), 0, 0});
    dirs.push_back(root_.get());
    dirOwnEntry.push_back(0);
    dirParent.push_back(kArchiveNoParent);
    for (size_t record = 0; record < dirs.size(); ++record) {
        std::vector<const Node*> children;
        for (const auto& child : dirs[record]->children) {
            children.push_back(child.get());
        }
        std::sort(children.begin(), children.end(), [charSet](const Node* a, const Node* b) {
            return SearchForm(a->name, charSet) < SearchForm(b->name, charSet);
        });
        dirFirst.push_back(static_cast<uint32_t>(entries.size()));
        for (const Node* child : children) {
            PlannedEntry entry{child, AppendName(&names, child->name, charSet),
                               static_cast<uint32_t>(record), 0};
            if (child->isDir) {
                entry.record = static_cast<uint32_t>(dirs.size());
                dirs.push_back(child);
                dirOwnEntry.push_back(static_cast<uint32_t>(entries.size()));
                dirParent.push_back(static_cast<uint32_t>(record));
            }
            entries.push_back(entry);
        }
    }

    // The data area: a file is LZ-packed when that saves at least an eighth
    // of it; below that, decoding it at every open costs more than the
    // bytes it saves.
    std::vector<uint8_t> data;
    std::vector<uint32_t> dataOffset(entries.size(), 0);
    std::vector<uint32_t> storedSize(entries.size(), kArchiveNotCompressed);
    std::vector<uint8_t> packed;
    for (size_t i = 0; i < entries.size(); ++i) {
        const Node* node = entries[i].node;
        if (node->isDir) {
            continue;
        }
        if (node->data.size() > kMaxArchiveBytes || data.size() > kMaxArchiveBytes) {
            return -1;
        }
        dataOffset[i] = static_cast<uint32_t>(data.size());
        const bool tryPacking = options.compress && version >= 2 && !node->data.empty();
        if (tryPacking &&
            LzCompress(node->data.data(), node->data.size(), &packed, options.level) == 0 &&
            packed.size() <= node->data.size() - node->data.size() / 8) {
            storedSize[i] = static_cast<uint32_t>(packed.size());
            data.insert(data.end(), packed.begin(), packed.end());
        } else {
            data.insert(data.end(), node->data.begin(), node->data.end());
        }
    }

    while (names.size() % 4 != 0) {
        names.push_back(0);
    }
    const uint64_t fileTableOffset = names.size();
    const uint64_t dirTableOffset = fileTableOffset + entries.size() * entrySize;
    const uint64_t tableSize = dirTableOffset + dirs.size() * kArchiveDirRecordSize;
    const uint64_t tableOffset = headerSize + data.size();
    if (tableOffset + tableSize > kMaxArchiveBytes) {
        return -1;
    }

    out->assign(tableOffset + tableSize, 0);
    out->at(0) = 'Q';
    out->at(1) = 'P';
    Put16(out, 2, version);
    Put32(out, 4, static_cast<uint32_t>(tableSize));
    Put32(out, 8, headerSize);
    Put32(out, 12, static_cast<uint32_t>(tableOffset));
    Put32(out, 16, static_cast<uint32_t>(fileTableOffset));
    Put32(out, 20, static_cast<uint32_t>(dirTableOffset));
    if (version >= 4) {
        Put32(out, 24, options.codePage);
    }
    std::copy(data.begin(), data.end(), out->begin() + headerSize);
    std::copy(names.begin(), names.end(), out->begin() + tableOffset);
    for (size_t i = 0; i < entries.size(); ++i) {
        const Node* node = entries[i].node;
        const size_t at = tableOffset + fileTableOffset + i * entrySize;
        Put32(out, at, static_cast<uint32_t>(entries[i].nameOffset));
        Put32(out, at + 4, node->isDir ? kArchiveDirAttribute : 0x20);
        Put64(out, at + 8, node->times.created);
        Put64(out, at + 16, node->times.accessed);
        Put64(out, at + 24, node->times.written);
        if (node->isDir) {
            Put32(out, at + 32, entries[i].record * kArchiveDirRecordSize);
            Put32(out, at + 36, 0);
        } else {
            Put32(out, at + 32, dataOffset[i]);
            Put32(out, at + 36, static_cast<uint32_t>(node->data.size()));
        }
        if (version >= 2) {
            Put32(out, at + 40, node->isDir ? kArchiveNotCompressed : storedSize[i]);
        }
    }
    for (size_t record = 0; record < dirs.size(); ++record) {
        const size_t at = tableOffset + dirTableOffset + record * kArchiveDirRecordSize;
        Put32(out, at, dirOwnEntry[record] * entrySize);
        const uint32_t parent = dirParent[record];
        Put32(out, at + 4,
              parent == kArchiveNoParent ? kArchiveNoParent : parent * kArchiveDirRecordSize);
        Put32(out, at + 8, static_cast<uint32_t>(dirs[record]->children.size()));
        Put32(out, at + 12, dirFirst[record] * entrySize);
    }

    uint8_t key[kArchiveKeySize];
    if (options.secondKey) {
        ArchiveSecondKey(key);
    } else {
        ArchiveKeyFromText(options.keyText, key);
    }
    ArchiveXorAt(out->size(), out->data(), 0, key);
    return 0;
}

namespace {

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const DWORD size = GetFileSize(file, nullptr);
    bool ok = size != INVALID_FILE_SIZE;
    if (ok) {
        bytes->resize(size);
        DWORD got = 0;
        ok = size == 0 || (ReadFile(file, bytes->data(), size, &got, nullptr) && got == size);
    }
    CloseHandle(file);
    return ok;
}

uint64_t FindDataSize(const WIN32_FIND_DATAA& found) {
    return uint64_t{found.nFileSizeHigh} << 32 | found.nFileSizeLow;
}

int AddFolder(ArchiveBuilder* builder, const std::string& folder, const std::string& inner) {
    WIN32_FIND_DATAA found;
    const std::string pattern = folder + "\\*";
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "cannot list %s\n", folder.c_str());
        return -1;
    }
    int result = 0;
    std::vector<uint8_t> bytes;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") {
            continue;
        }
        const std::string path = folder + "\\" + name;
        const std::string innerPath = inner.empty() ? name : inner + "\\" + name;
        const ArchiveTimes times{FileTimeValue(found.ftCreationTime),
                                 FileTimeValue(found.ftLastAccessTime),
                                 FileTimeValue(found.ftLastWriteTime)};
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (builder->AddDirectory(innerPath, times) != 0 ||
                AddFolder(builder, path, innerPath) != 0) {
                result = -1;
            }
        } else if (FindDataSize(found) > kMaxArchiveBytes) {
            std::fprintf(stderr,
                         "cannot pack %s: archives stay below 2 GiB, which this file is not\n",
                         path.c_str());
            result = -1;
        } else if (!ReadWholeFile(path, &bytes) ||
                   builder->AddFile(innerPath, bytes.data(), bytes.size(), times) != 0) {
            std::fprintf(stderr, "cannot pack %s\n", path.c_str());
            result = -1;
        }
    } while (result == 0 && FindNextFileA(search, &found));
    FindClose(search);
    return result;
}

}  // namespace

int PackFolder(const char* folder, const ArchivePackOptions& options, std::vector<uint8_t>* out) {
    ArchiveBuilder builder;
    std::string root = folder;
    while (!root.empty() && IsSeparator(root.back())) {
        root.pop_back();
    }
    if (AddFolder(&builder, root, "") != 0) {
        return -1;
    }
    if (builder.Build(options, out) != 0) {
        std::fprintf(stderr, "%s does not fit one archive: archives stay below 2 GiB\n", folder);
        return -1;
    }
    return 0;
}

int PackFolderToFile(const char* folder, const char* archivePath,
                     const ArchivePackOptions& options) {
    std::vector<uint8_t> bytes;
    if (PackFolder(folder, options, &bytes) != 0) {
        return -1;
    }
    HANDLE file = CreateFileA(archivePath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "cannot create %s\n", archivePath);
        return -1;
    }
    DWORD written = 0;
    const bool ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size();
    CloseHandle(file);
    if (!ok) {
        std::fprintf(stderr, "cannot write %s\n", archivePath);
        return -1;
    }
    return 0;
}

}  // namespace tessel
