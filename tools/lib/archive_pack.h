// The archive packer: turns a folder (or files given one by one) into a data
// archive that the library reads (foundation/files/archive.h) in place of the
// folder. Files are LZ-packed where that makes them at least an eighth
// smaller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tessel {

// The largest archive the packer writes: the reader's offsets and sizes are
// signed 32-bit values, so it could not open one of 2 GiB or more.
constexpr uint32_t kMaxArchiveBytes = 0x7FFFFFFF;

struct ArchivePackOptions {
    const char* keyText = nullptr;  // null or empty: the default key
    bool secondKey = false;         // scramble with the second key instead
    bool compress = true;           // LZ-pack files where it pays
    int level = 6;                  // LZ search level, 1 to 9
    uint16_t version = 4;           // 0 to 4; compression needs 2 or later
    uint32_t codePage = 932;        // names' code page (stored from version 4)
};

// File times as the archive stores them: 100 ns units since 1601 (UTC).
struct ArchiveTimes {
    uint64_t created = 0;
    uint64_t accessed = 0;
    uint64_t written = 0;
};

class ArchiveBuilder {
  public:
    ArchiveBuilder();
    ~ArchiveBuilder();

    // Paths use '\' or '/' between names; the folders on the way are made as
    // needed and matched without regard to ASCII letter case. -1 for an empty
    // or too long name, or a name taken by an entry of the other kind.
    int AddFile(const std::string& path, const void* data, size_t size,
                const ArchiveTimes& times = {});
    int AddDirectory(const std::string& path, const ArchiveTimes& times = {});

    // The whole archive file. -1 when it would pass kMaxArchiveBytes or the
    // options are invalid.
    int Build(const ArchivePackOptions& options, std::vector<uint8_t>* out) const;

    struct Node;

  private:
    Node* Walk(const std::string& path, bool makeLast, bool lastIsDir, const ArchiveTimes& times);
    std::unique_ptr<Node> root_;
};

// Packs the folder (a path in the platform's Windows form) with everything
// below it. 0, or -1 with a message on stderr.
int PackFolder(const char* folder, const ArchivePackOptions& options, std::vector<uint8_t>* out);
int PackFolderToFile(const char* folder, const char* archivePath,
                     const ArchivePackOptions& options);

}  // namespace tessel
