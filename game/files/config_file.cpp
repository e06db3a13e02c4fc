// Reading and writing config.dat.
#include "game/files/config_file.h"

#include "game/files/game_file.h"

namespace {

void EncodeConfigWord(const ConfigWord& word, uint8_t bytes[kConfigWordBytes]) {
    for (size_t i = 0; i < kConfigWordBytes; ++i) {
        bytes[i] = ConfigWordByte(word, i);
    }
}

}  // namespace

void LoadConfigFile(ConfigWord* word) {
    uint8_t bytes[kConfigWordBytes];
    EncodeConfigWord(*word, bytes);
    if (ReadGameFile(kConfigFileName, bytes, sizeof bytes) < 0) {
        *word = ConfigWord{};
        return;
    }
    for (size_t i = 0; i < kConfigWordBytes; ++i) {
        SetConfigWordByte(word, i, bytes[i]);
    }
}

int SaveConfigFile(const ConfigWord& word) {
    uint8_t bytes[kConfigWordBytes];
    EncodeConfigWord(word, bytes);
    return WriteGameFile(kConfigFileName, bytes, sizeof bytes);
}
