// What the game makes of each byte of the configuration word.
#include "game/config_word.h"

#include <gtest/gtest.h>

namespace {

struct Decoding {
    ConfigWord word;
    int width, height;
    ConfigScreenMode screenMode;
    int colourBits;
    bool halfRate, runInactive, linearFloor, showFps;
};

TEST(ConfigWordDecoding, EveryByteOutsideItsTableFallsBackToTheFirstChoice) {
    const Decoding table[] = {
        {{0x00, 0x00, 0x00, 0x00}, 640, 480, kConfigScreenWindow, 32, false, false, false, false},
        {{0x02, 0x01, 0x01, 0x0A}, 1280, 960, kConfigScreenFull, 16, false, true, false, true},
        {{0x01, 0x02, 0x00, 0x05},
         960,
         720,
         kConfigScreenAskEachStart,
         32,
         true,
         false,
         true,
         false},
        {{0x03, 0x03, 0x02, 0xF0}, 640, 480, kConfigScreenWindow, 32, false, false, false, false},
        {{0xFF, 0xFF, 0xFF, 0xFF}, 640, 480, kConfigScreenWindow, 32, true, true, true, true},
    };
    for (const Decoding& row : table) {
        SCOPED_TRACE(testing::Message()
                     << std::hex << int(row.word.resolution) << ' ' << int(row.word.screenMode)
                     << ' ' << int(row.word.colourDepth) << ' ' << int(row.word.options));
        ScreenSize size = ConfigScreenSize(row.word);
        EXPECT_EQ(size.width, row.width);
        EXPECT_EQ(size.height, row.height);
        EXPECT_EQ(ConfigScreenModeOf(row.word), row.screenMode);
        EXPECT_EQ(ConfigColourBits(row.word), row.colourBits);
        EXPECT_EQ(ConfigOptionOn(row.word, kConfigHalfFrameRate), row.halfRate);
        EXPECT_EQ(ConfigOptionOn(row.word, kConfigRunInactive), row.runInactive);
        EXPECT_EQ(ConfigOptionOn(row.word, kConfigNoMipmaps), row.linearFloor);
        EXPECT_EQ(ConfigOptionOn(row.word, kConfigShowFps), row.showFps);
    }
}

}  // namespace
