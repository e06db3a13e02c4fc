// Whole-file reads and writes of the game's records.
#include "game/files/game_file.h"

#include <cstdio>

#include "platform/kernel/files.h"

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
    FILE* file = platform::fopen(path, "wb");
    if (file == nullptr) {
        return -1;
    }
    // A buffered failure (a full disk) shows only when the file is closed.
    bool written = fwrite(bytes, 1, size, file) == size;
    bool closed = fclose(file) == 0;
    return written && closed ? 0 : -1;
}
