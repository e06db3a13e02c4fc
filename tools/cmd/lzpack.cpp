// lzpack: packs a file into one block of the library's LZ format, or expands
// such a block back into the file.
//
//   lzpack c [-1..-9] input output
//   lzpack x input output

#include <cstdio>
#include <cstring>
#include <vector>

#include "foundation/files/lz.h"
#include "tools/lib/lz_compress.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: lzpack c [-1..-9] input output   compress (level 6 by default)\n"
                 "       lzpack x input output            expand\n");
    return 2;
}

bool ReadFile(const char* path, std::vector<uint8_t>* data) {
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr) {
        std::fprintf(stderr, "lzpack: cannot open %s\n", path);
        return false;
    }
    data->clear();
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        data->insert(data->end(), chunk, chunk + got);
    }
    const bool ok = std::ferror(f) == 0;
    std::fclose(f);
    if (!ok) {
        std::fprintf(stderr, "lzpack: cannot read %s\n", path);
    }
    return ok;
}

bool WriteFile(const char* path, const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(path, "wb");
    if (f == nullptr) {
        std::fprintf(stderr, "lzpack: cannot create %s\n", path);
        return false;
    }
    const bool ok = std::fwrite(data, 1, size, f) == size;
    if (std::fclose(f) != 0 || !ok) {
        std::fprintf(stderr, "lzpack: cannot write %s\n", path);
        return false;
    }
    return true;
}

int Compress(int level, const char* input, const char* output) {
    std::vector<uint8_t> data;
    if (!ReadFile(input, &data)) {
        return 1;
    }
    std::vector<uint8_t> packed;
    if (tessel::LzCompress(data.data(), data.size(), &packed, level) != 0) {
        std::fprintf(stderr, "lzpack: %s is too large for one block\n", input);
        return 1;
    }
    if (!WriteFile(output, packed.data(), packed.size())) {
        return 1;
    }
    std::printf("%s: %zu -> %zu bytes\n", input, data.size(), packed.size());
    return 0;
}

int Expand(const char* input, const char* output) {
    std::vector<uint8_t> packed;
    if (!ReadFile(input, &packed)) {
        return 1;
    }
    const uint32_t packedSize = static_cast<uint32_t>(packed.size());
    if (packed.size() != packedSize) {
        std::fprintf(stderr, "lzpack: %s is too large\n", input);
        return 1;
    }
    const int size = tessel::LzExpand(packed.data(), packedSize, nullptr, 0);
    if (size < 0) {
        std::fprintf(stderr, "lzpack: %s is not an LZ block\n", input);
        return 1;
    }
    // One spare byte keeps data() valid for an empty block.
    std::vector<uint8_t> data(static_cast<size_t>(size) + 1);
    if (tessel::LzExpand(packed.data(), packedSize, data.data(), static_cast<uint32_t>(size)) < 0) {
        std::fprintf(stderr, "lzpack: %s is corrupt\n", input);
        return 1;
    }
    return WriteFile(output, data.data(), static_cast<size_t>(size)) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return Usage();
    }
    if (std::strcmp(argv[1], "c") == 0) {
        int level = tessel::kLzDefaultLevel;
        int next = 2;
        if (argc == 5 && argv[2][0] == '-' && argv[2][1] >= '1' && argv[2][1] <= '9' &&
            argv[2][2] == '\0') {
            level = argv[2][1] - '0';
            next = 3;
        }
        if (argc != next + 2) {
            return Usage();
        }
        return Compress(level, argv[next], argv[next + 1]);
    }
    if (std::strcmp(argv[1], "x") == 0 && argc == 4) {
        return Expand(argv[2], argv[3]);
    }
    return Usage();
}
