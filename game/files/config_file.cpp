// Reading config.dat.
#include "game/files/config_file.h"

#include "game/files/game_file.h"

void LoadConfigFile(ConfigWord* word) {
    uint8_t bytes[kConfigWordBytes];
    for (size_t i = 0; i < kConfigWordBytes; ++i) {
        bytes[i] = ConfigWordByte(*word, i);
    }
    if (ReadGameFile(kConfigFileName, bytes, sizeof bytes) < 0) {
        *word = ConfigWord{};
        return;
    }
    for (size_t i = 0; i < kConfigWordBytes; ++i) {
        SetConfigWordByte(word, i, bytes[i]);
    }
}
