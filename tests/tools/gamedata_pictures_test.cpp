// Generated pictures read by the game the way it shows them: the side panel's
// heading names no mode, and the replay lists' text lies over dark ground.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/files/files_test_support.h"
#include "images/base_image.h"
#include "images/image_loader.h"
#include "tools/lib/gamedata/gamedata_internal.h"

namespace {

using namespace tessel::gamedata;

// A picture as the game loads it: 8-bit RGBA rows.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<int> rgba;

    static Picture Load(const std::string& path) {
        Picture picture;
        tessel::BASEIMAGE image{};
        if (tessel::LoadImageBufferFromFile(path.c_str(), nullptr, 0, 0, &image, 0) != 0) {
            return picture;
        }
        picture.width = image.width;
        picture.height = image.height;
        picture.rgba.resize(static_cast<size_t>(image.width) * image.height * 4);
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                int* p = &picture.rgba[(static_cast<size_t>(y) * image.width + x) * 4];
                tessel::ReadImagePixel(&image, x, y, &p[0], &p[1], &p[2], &p[3]);
            }
        }
        tessel::ReleaseImageBuffer(&image);
        return picture;
    }
    const int* At(int x, int y) const { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
    bool SameCell(const Picture& other, int x0, int y0, int width, int height) const {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                for (int c = 0; c < 4; ++c) {
                    if (At(x0 + x, y0 + y)[c] != other.At(x, y)[c]) {
                        return false;
                    }
                }
            }
        }
        return true;
    }
};

class GeneratedPictures : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(OpenTextFont());
        out.root = folder.Linux("");
    }
    void TearDown() override { CloseTextFont(); }

    tessel_test::ScratchDirectory folder;
    Output out;
};

TEST_F(GeneratedPictures, ThePanelHeadingNamesNoModeAndShowsText) {
    MakeHudPictures(out);
    ASSERT_EQ(out.failures, 0);
    const Picture info = Picture::Load(out.root + "/image/system/panel_info.png");
    ASSERT_EQ(info.width, 128);
    int drawn = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 64; x < 128; ++x) {
            drawn += info.At(x, y)[3] > 0 ? 1 : 0;
        }
    }
    EXPECT_GT(drawn, 20) << "the heading shows";
    // Each mode's name drawn as the heading would be: the cell is none of them.
    for (const char* mode : {"Endless", "2minutes"}) {
        SCOPED_TRACE(mode);
        Canvas cell(64, 16);
        DrawPanelTitle(cell, mode, 0, 0);
        ASSERT_EQ(cell.SavePng(folder.Linux("mode.png")), 0);
        const Picture named = Picture::Load(folder.Linux("mode.png"));
        EXPECT_FALSE(info.SameCell(named, 64, 0, 64, 16));
    }
}

// White list text must stay readable: no letter-sized patch of the ground
// under the lists averages bright.
TEST_F(GeneratedPictures, TheReplayListsLieOverDarkGround) {
    MakeTitlePictures(out);
    ASSERT_EQ(out.failures, 0);
    const Picture back = Picture::Load(out.root + "/image/system/title_back.png");
    ASSERT_EQ(back.width, 640);
    int brightest = 0;
    int brightestX = 0;
    int brightestY = 0;
    for (int y0 = kReplayListTop; y0 < kReplayListBottom; y0 += 16) {
        for (int x0 = kReplayListLeft; x0 < kReplayListRight; x0 += 4) {
            int sum = 0;
            for (int y = y0; y < y0 + 16; ++y) {
                for (int x = x0; x < x0 + 12; ++x) {
                    const int* p = back.At(x, y);
                    sum += (p[0] * 299 + p[1] * 587 + p[2] * 114) / 1000;
                }
            }
            const int mean = sum / (16 * 12);
            if (mean > brightest) {
                brightest = mean;
                brightestX = x0;
                brightestY = y0;
            }
        }
    }
    EXPECT_LT(brightest, 100) << "at " << brightestX << "," << brightestY;
}

}  // namespace
