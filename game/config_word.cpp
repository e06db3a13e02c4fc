#include "game/config_word.h"

uint8_t ConfigWordByte(const ConfigWord& word, size_t index) {
    switch (index) {
        case 0:
            return word.resolution;
        case 1:
            return word.screenMode;
        case 2:
            return word.colourDepth;
        default:
            return word.options;
    }
}

void SetConfigWordByte(ConfigWord* word, size_t index, uint8_t value) {
    switch (index) {
        case 0:
            word->resolution = value;
            break;
        case 1:
            word->screenMode = value;
            break;
        case 2:
            word->colourDepth = value;
            break;
        default:
            word->options = value;
            break;
    }
}

size_t ReadConfigWord(FILE* file, ConfigWord* word) {
    uint8_t bytes[kConfigWordBytes] = {};
    size_t count = fread(bytes, 1, kConfigWordBytes, file);
    for (size_t i = 0; i < count; ++i) {
        SetConfigWordByte(word, i, bytes[i]);
    }
    return count;
}

size_t WriteConfigWord(FILE* file, const ConfigWord& word) {
    uint8_t bytes[kConfigWordBytes];
    for (size_t i = 0; i < kConfigWordBytes; ++i) {
        bytes[i] = ConfigWordByte(word, i);
    }
    return fwrite(bytes, 1, kConfigWordBytes, file);
}
