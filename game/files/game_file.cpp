// Whole-file reads and writes of the game's records.
#include "game/files/game_file.h"

#include <cstdio>
#include <string>

#include "platform/kernel/files.h"

namespace {

constexpr char kTemporarySuffix[] = ".tmp";

}  // namespace

long ReadGameFile(const char* path, uint8_t* bytes, size_t size) {
    FILE* file = platform::fopen(path, "rb");
    if (file == nullptr) {
        return -1;
    }
    size_t count = fread(bytes, 1, size, file);
    fclose(file);
    return static_cast<long>(count);
}

int WriteGameFile(const char* path, const uint8_t* bytes, size_t size) {
    // Writing over the file itself would lose it to a save that stops
    // part-way (a full disk): a score, a progress or a replay.
    std::string temporary = std::string(path) + kTemporarySuffix;
    FILE* file = platform::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        return -1;
    }
    // A buffered failure (a full disk) shows only when the file is closed.
    bool written = fwrite(bytes, 1, size, file) == size;
    bool closed = fclose(file) == 0;
    if (written && closed &&
        MoveFileExA(temporary.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return 0;
    }
    DeleteFileA(temporary.c_str());
    return -1;
}
