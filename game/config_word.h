// The configuration word of config.dat: four bytes, no header, no checksum.
// The settings program writes it; the game reads it at start-up. Both keep it
// in zero-initialised storage, so a missing file reads as all zero and a short
// file fills only the bytes it has. No byte's range is tested on reading.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr size_t kConfigWordBytes = 4;

// Byte 0.
enum ConfigResolution : uint8_t {
    kConfigResolution640x480 = 0,
    kConfigResolution960x720 = 1,
    kConfigResolution1280x960 = 2,
};

// Byte 1.
enum ConfigScreenMode : uint8_t {
    kConfigScreenWindow = 0,
    kConfigScreenFull = 1,
    kConfigScreenAskEachStart = 2,
};

// Byte 2.
enum ConfigColourDepth : uint8_t {
    kConfigColour32Bit = 0,
    kConfigColour16Bit = 1,
};

// Byte 3: four one-bit switches; bits 4 to 7 mean nothing to the game.
enum ConfigOption : uint8_t {
    kConfigHalfFrameRate = 0x01,  // draw the scene only on every second frame
    kConfigRunInactive = 0x02,    // keep running while the window is inactive
    kConfigNoMipmaps = 0x04,      // floor texture: linear filtering, no mipmaps
    kConfigShowFps = 0x08,        // show the frames-per-second figure
};

struct ConfigWord {
    uint8_t resolution;   // byte 0
    uint8_t screenMode;   // byte 1
    uint8_t colourDepth;  // byte 2
    uint8_t options;      // byte 3
};

// Byte i of the word as it stands in the file.
uint8_t ConfigWordByte(const ConfigWord& word, size_t index);
void SetConfigWordByte(ConfigWord* word, size_t index, uint8_t value);

// Reads up to four bytes from `file` into the word; bytes the file lacks keep
// their value. Returns the count of bytes read.
size_t ReadConfigWord(FILE* file, ConfigWord* word);

// Writes the four bytes; returns the count the stream accepted (4 unless the
// write failed). Buffered failures show only when the stream is closed.
size_t WriteConfigWord(FILE* file, const ConfigWord& word);

// What the game makes of the word. A byte outside its table falls back to the
// first choice, so no stored value can ask for something the game lacks.
struct ScreenSize {
    int32_t width;
    int32_t height;
};
ScreenSize ConfigScreenSize(const ConfigWord& word);          // 640x480 unless 1 or 2
ConfigScreenMode ConfigScreenModeOf(const ConfigWord& word);  // window unless 1 or 2
int ConfigColourBits(const ConfigWord& word);                 // 16 for 1, else 32
bool ConfigOptionOn(const ConfigWord& word, ConfigOption option);
