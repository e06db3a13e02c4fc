// Reads an opened archive the way the file layer does: every directory listed
// from the root down, every file opened by its path and read to the end, with
// a seek back into its middle.
#pragma once

#include <cstring>
#include <string>

#include "foundation/files/archive.h"
#include "fuzz/fuzz_support.h"

namespace tessel_fuzz {

// A damaged directory table may loop back on itself: the walk stops at a
// depth and a number of entries no real archive of the game comes near.
constexpr int kArchiveWalkDepth = 12;
constexpr int kArchiveWalkEntries = 4096;

inline void ReadArchivedFile(tessel::ArchiveState* state, const std::string& path) {
    tessel::ArchiveStream stream;
    if (tessel::ArchiveStreamOpen(&stream, state, path.c_str(), 0) != 0) {
        return;
    }
    uint8_t buffer[4096];
    uint32_t got = 0;
    while ((got = tessel::ArchiveStreamRead(&stream, buffer, sizeof buffer)) > 0) {
        sink = sink + SumBytes(buffer, got);
    }
    const int32_t end = tessel::ArchiveStreamTell(&stream);
    tessel::ArchiveStreamSeek(&stream, end / 2, 0);
    got = tessel::ArchiveStreamRead(&stream, buffer, 7);
    sink = sink + SumBytes(buffer, got) + static_cast<uint32_t>(tessel::ArchiveStreamEof(&stream));
    tessel::ArchiveStreamClose(&stream);
}

inline void WalkArchiveDir(tessel::ArchiveState* state, const std::string& dir, int depth,
                           int* entries) {
    tessel::FileFindInfo info;
    const std::string pattern = dir + "*";
    tessel::ArchiveFind* find = tessel::ArchiveFindFirst(state, pattern.c_str(), &info);
    if (find == nullptr) {
        return;
    }
    do {
        if (++*entries > kArchiveWalkEntries) {
            break;
        }
        if (std::strcmp(info.name, ".") == 0 || std::strcmp(info.name, "..") == 0) {
            continue;
        }
        const std::string path = dir + info.name;
        if (info.isDirectory == 0) {
            ReadArchivedFile(state, path);
        } else if (depth < kArchiveWalkDepth) {
            WalkArchiveDir(state, path + "\\", depth + 1, entries);
        }
    } while (tessel::ArchiveFindNext(find, &info) == 0 && ++find->index > 0);
    tessel::ArchiveFindClose(find);
}

// Lists and reads everything, then closes the archive.
inline void WalkWholeArchive(tessel::ArchiveState* state) {
    int entries = 0;
    WalkArchiveDir(state, "", 0, &entries);
    tessel::ArchiveEnterDir(state, "..", 1, nullptr);
    tessel::ArchiveCloseAndClear(state);
}

}  // namespace tessel_fuzz
