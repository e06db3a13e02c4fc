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

ScreenSize ConfigScreenSize(const ConfigWord& word) {
    switch (word.resolution) {
        case kConfigResolution960x720:
            return {960, 720};
        case kConfigResolution1280x960:
            return {1280, 960};
        default:
            return {640, 480};
    }
}

ConfigScreenMode ConfigScreenModeOf(const ConfigWord& word) {
    switch (word.screenMode) {
        case kConfigScreenFull:
        case kConfigScreenAskEachStart:
            return static_cast<ConfigScreenMode>(word.screenMode);
        default:
            return kConfigScreenWindow;
    }
}

int ConfigColourBits(const ConfigWord& word) {
    return word.colourDepth == kConfigColour16Bit ? 16 : 32;
}

bool ConfigOptionOn(const ConfigWord& word, ConfigOption option) {
    return (word.options & option) != 0;
}
