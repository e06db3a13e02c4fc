// Reading config.dat: missing, short, long and the settings program's word.
#include "game/files/config_file.h"

#include <gtest/gtest.h>

#include "tests/game/game_folder_support.h"

namespace {

using game_test::Bytes;

class ConfigFile : public game_test::GameFolder {};

TEST_F(ConfigFile, TheSettingsProgramsWordDecodesToItsChoices) {
    Write("config.dat", {0x02, 0x01, 0x01, 0x0A});
    ConfigWord word{};
    LoadConfigFile(&word);
    EXPECT_EQ(ConfigScreenSize(word).width, 1280);
    EXPECT_EQ(ConfigScreenSize(word).height, 960);
    EXPECT_EQ(ConfigScreenModeOf(word), kConfigScreenFull);
    EXPECT_EQ(ConfigColourBits(word), 16);
    EXPECT_TRUE(ConfigOptionOn(word, kConfigRunInactive));
    EXPECT_TRUE(ConfigOptionOn(word, kConfigShowFps));
    EXPECT_FALSE(ConfigOptionOn(word, kConfigHalfFrameRate));
    EXPECT_FALSE(ConfigOptionOn(word, kConfigNoMipmaps));
}

TEST_F(ConfigFile, MissingReadsAsZeroAndShortOrLongFillsOnlyFourBytesAtMost) {
    ConfigWord word{7, 7, 7, 7};
    LoadConfigFile(&word);
    EXPECT_EQ(ConfigWordByte(word, 0) | ConfigWordByte(word, 1) | ConfigWordByte(word, 2) |
                  ConfigWordByte(word, 3),
              0);

    word = ConfigWord{7, 7, 7, 7};
    Write("config.dat", {0x01, 0x02});
    LoadConfigFile(&word);
    EXPECT_EQ(word.resolution, 1);
    EXPECT_EQ(word.screenMode, 2);
    EXPECT_EQ(word.colourDepth, 7);
    EXPECT_EQ(word.options, 7);

    Write("config.dat", {0x02, 0x00, 0x01, 0x08, 0x55, 0x66});
    LoadConfigFile(&word);
    EXPECT_EQ(word.resolution, 2);
    EXPECT_EQ(word.screenMode, 0);
    EXPECT_EQ(word.colourDepth, 1);
    EXPECT_EQ(word.options, 8);
}

}  // namespace
