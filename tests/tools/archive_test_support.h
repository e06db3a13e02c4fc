// Archives for tests: a small tree with nested folders, Japanese names, empty
// files and both compressible and incompressible data, built in memory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "foundation/files/archive.h"
#include "foundation/files/archive_internal.h"
#include "tools/lib/archive_pack.h"

namespace tessel_test {

using tessel::archive_detail::ArchiveLog;

// A whole line the reader logs, by its name in the reader's table.
inline std::string LogLine(ArchiveLog which) {
    return tessel::archive_detail::ArchiveLogText(which);
}

// The line of a damaged archive, by the name of the damage.
inline std::string DamagedLine(ArchiveLog what) {
    char line[512];
    std::snprintf(line, sizeof line, tessel::archive_detail::ArchiveLogText(ArchiveLog::Damaged),
                  tessel::archive_detail::ArchiveLogText(what));
    return line;
}

// Path (with '\') -> contents.
using FileTree = std::map<std::string, std::string>;

inline std::string NoiseBytes(size_t size, uint32_t seed) {
    std::string s(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (auto& c : s) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x);
    }
    return s;
}

inline std::string RepeatingBytes(size_t size) {
    std::string s;
    while (s.size() < size) {
        s += "the same line again and again, ";
    }
    s.resize(size);
    return s;
}

inline FileTree SampleTree() {
    FileTree tree;
    tree["readme.txt"] = RepeatingBytes(5000);
    tree["empty.bin"] = "";
    tree["noise.bin"] = NoiseBytes(3000, 7);
    tree["image\\Player.png"] = NoiseBytes(700, 3);
    tree["image\\title.png"] = RepeatingBytes(20000);
    tree["image\\enemy\\boss.png"] = RepeatingBytes(123);
    tree["image\\enemy\\small\\a.bmp"] = NoiseBytes(1, 9);
    tree["sound\\爆発.wav"] = RepeatingBytes(4096);
    tree["データ\\表.csv"] = "a,b,c\r\n1,2,3\r\n";
    tree["データ\\空.txt"] = "";
    return tree;
}

inline std::vector<uint8_t> BuildArchive(const FileTree& tree,
                                         const tessel::ArchivePackOptions& options = {}) {
    tessel::ArchiveBuilder builder;
    for (const auto& [path, bytes] : tree) {
        builder.AddFile(path, bytes.data(), bytes.size());
    }
    std::vector<uint8_t> out;
    builder.Build(options, &out);
    return out;
}

// Reads one file of an open archive whole through a stream; false when it
// cannot be opened.
inline bool ReadArchived(tessel::ArchiveState* state, const std::string& path, std::string* out) {
    tessel::ArchiveStream stream;
    if (tessel::ArchiveStreamOpen(&stream, state, path.c_str(), 0) != 0) {
        return false;
    }
    out->clear();
    char buffer[1000];
    uint32_t got = 0;
    while ((got = tessel::ArchiveStreamRead(&stream, buffer, sizeof(buffer))) > 0) {
        out->append(buffer, got);
    }
    tessel::ArchiveStreamClose(&stream);
    return true;
}

}  // namespace tessel_test
