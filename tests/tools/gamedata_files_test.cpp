// The generator's file writers: saved pictures keep drawn black apart from the transparent key,
// WAVs are 16-bit PCM.
#include <gtest/gtest.h>

#include <string>

#include "foundation/files/files_test_support.h"
#include "images/base_image.h"
#include "images/image_loader.h"
#include "tools/lib/gamedata/canvas.h"
#include "tools/lib/gamedata/synth.h"

namespace {

using namespace tessel::gamedata;

TEST(GameDataCanvas, SavedBlackStaysVisibleAndClearPixelsAreZero) {
    tessel_test::ScratchDirectory folder;
    Canvas canvas(4, 1);
    canvas.at(0, 0) = Rgba{0, 0, 0, 1};        // drawn black
    canvas.at(1, 0) = Rgba{0, 0, 0, 0.5f};     // half-covered black
    canvas.at(2, 0) = Rgba{0.2f, 0.4f, 1, 0};  // clear, with colour left in it
    canvas.at(3, 0) = Rgba{1, 0.5f, 0.25f, 0.75f};
    ASSERT_EQ(canvas.SavePng(folder.Linux("pixels.png")), 0);
    tessel::BASEIMAGE image{};
    ASSERT_EQ(tessel::LoadImageBufferFromFile(folder.Linux("pixels.png").c_str(), nullptr, 0, 0,
                                              &image, 0),
              0);
    const int expected[4][4] = {{1, 1, 1, 255}, {1, 1, 1, 128}, {0, 0, 0, 0}, {255, 128, 64, 191}};
    for (int x = 0; x < 4; ++x) {
        SCOPED_TRACE(x);
        int r, g, b, a;
        tessel::ReadImagePixel(&image, x, 0, &r, &g, &b, &a);
        EXPECT_EQ(r, expected[x][0]);
        EXPECT_EQ(g, expected[x][1]);
        EXPECT_EQ(b, expected[x][2]);
        EXPECT_EQ(a, expected[x][3]);
    }
    tessel::ReleaseImageBuffer(&image);
}

TEST(GameDataWav, IsMonoSixteenBitPcmWithClippedSamples) {
    const std::vector<uint8_t> wav = EncodeWav({0.5f, 2.0f, -2.0f}, 22050);
    ASSERT_EQ(wav.size(), 44u + 6u);
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
    EXPECT_EQ(wav[4], 42);  // RIFF size: 36 + data
    EXPECT_EQ(std::string(wav.begin() + 8, wav.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(wav[22], 1);                                         // one channel
    EXPECT_EQ(wav[24] | (wav[25] << 8), 22050);                    // rate
    EXPECT_EQ(wav[28] | (wav[29] << 8) | (wav[30] << 16), 44100);  // bytes per second
    EXPECT_EQ(std::string(wav.begin() + 36, wav.begin() + 40), "data");
    EXPECT_EQ(wav[40], 6);
    const auto sample = [&](int i) { return int16_t(wav[44 + 2 * i] | (wav[45 + 2 * i] << 8)); };
    EXPECT_EQ(sample(0), 16384);
    EXPECT_EQ(sample(1), 32767);
    EXPECT_EQ(sample(2), -32767);
}

}  // namespace
