// Images that show movies, on both drawing paths: a Theora file loaded as an
// image plays into it, and every draw shows the frame due at that moment,
// read back pixel by pixel against an independent decode of the clip.
#include <gtest/gtest.h>

#include <cstring>

#include "graphics/batch/vertex_batch.h"
#include "graphics/draw/draw_calls.h"
#include "graphics/memimg/memimg.h"
#include "graphics/targets/draw_targets.h"
#include "movie/playback/movie_calls.h"
#include "movie/playback/movie_testing.h"
#include "tests/graphics/images/image_test_support.h"
#include "tests/movie/movie_playback_support.h"
#include "tests/movie/movie_test_support.h"
#include "tests/support/yuv_rules.h"

using namespace tessel;

namespace {

// The device's conversion of its YUV surfaces: BT.601 studio range in
// 16.16 fixed point, rounded.
uint32_t DeviceRule(int y, int u, int v) {
    const int luma = 76309 * (y - 16);
    const int cu = u - 128;
    const int cv = v - 128;
    const int r = yuv_rules::Clamp((luma + 104597 * cv + 32768) >> 16);
    const int g = yuv_rules::Clamp((luma - 25675 * cu - 53279 * cv + 32768) >> 16);
    const int b = yuv_rules::Clamp((luma + 132201 * cu + 32768) >> 16);
    return static_cast<uint32_t>(r << 16 | g << 8 | b);
}

// Ten frames whose luma and chroma vary over the picture and from frame to
// frame, so that the two conversion rules and any two frames differ.
std::vector<uint8_t> ColourfulClip() {
    TheoraClipOptions recipe;
    recipe.frames = 10;
    recipe.quality = 63;
    return EncodeTheoraClip(recipe, [](int frame, ClipPicture& p) {
        for (int y = 0; y < p.height; ++y) {
            for (int x = 0; x < p.width; ++x) {
                p.y[static_cast<size_t>(y) * p.width + x] =
                    static_cast<uint8_t>(16 + (x * 5 + y * 3 + frame * 17) % 220);
            }
        }
        for (int y = 0; y < p.chromaHeight; ++y) {
            for (int x = 0; x < p.chromaWidth; ++x) {
                const size_t at = static_cast<size_t>(y) * p.chromaWidth + x;
                p.u[at] = static_cast<uint8_t>(28 + (x * 7 + frame * 11) % 200);
                p.v[at] = static_cast<uint8_t>(28 + (y * 9 + frame * 13) % 200);
            }
        }
    });
}

class MovieImagesTest : public tessel_test::ImageTest, public ::testing::WithParamInterface<bool> {
  protected:
    void SetUp() override {
        ImageTest::SetUp();
        clip_ = ColourfulClip();
        movietest::WriteFileBytes("clip.ogv", clip_);
        frames_ = tessel_test::DecodeAllFrames(clip_);
        ASSERT_EQ(frames_.size(), 10u);
        SetScreenMode(640, 480, 32, 0);
        Start(GetParam());
        movietest::HandClock::now = 5000000;
        SetMovieClockForTest(movietest::HandClock::Read);
        if (!GetParam()) {
            ASSERT_TRUE(tessel_test::AttachSoftScreen(&target_));
        }
    }
    void TearDown() override {
        if (!GetParam()) {
            tessel_test::DetachSoftScreen(&target_);
        }
        SetMovieClockForTest(nullptr);
        ImageTest::TearDown();
    }
    uint32_t Screen(int x, int y) { return tessel_test::ScreenPixel(GetParam(), target_, x, y); }
    // Frame k as the path shows it: the decoder's table rule in memory, the
    // device's rule through its YUV surface.
    uint32_t Expected(int k, int x, int y) const {
        const tessel_test::OracleFrame& f = frames_[static_cast<size_t>(k)];
        const int luma = f.y[static_cast<size_t>(y) * f.yWidth + x];
        const size_t c = static_cast<size_t>(y / 2) * f.uvWidth + x / 2;
        return GetParam() ? DeviceRule(luma, f.u[c], f.v[c])
                          : yuv_rules::TableRule(luma, f.u[c], f.v[c]) & 0xFFFFFFu;
    }
    // Every pixel of the 64 x 48 picture drawn at (left, top) is frame k's.
    void ExpectFrameAt(int k, int left, int top) {
        int wrong = 0;
        for (int y = 0; y < 48; ++y) {
            for (int x = 0; x < 64; ++x) {
                if (Screen(left + x, top + y) != Expected(k, x, y) && ++wrong <= 3) {
                    ADD_FAILURE() << "frame " << k << " at " << x << "," << y << ": " << std::hex
                                  << Screen(left + x, top + y) << " not " << Expected(k, x, y);
                }
            }
        }
        EXPECT_EQ(wrong, 0);
    }

    tessel_test::ScratchDirectory dir_;
    std::vector<uint8_t> clip_;
    std::vector<tessel_test::OracleFrame> frames_;
    MEMIMG target_;
};

TEST_P(MovieImagesTest, EachDrawShowsTheFrameDueThen) {
    const int image = LoadImageFile("clip.ogv", 0);
    ASSERT_NE(image, -1);
    int width = 0;
    int height = 0;
    ASSERT_EQ(QueryImageSize(image, &width, &height), 0);
    EXPECT_EQ(width, 64);
    EXPECT_EQ(height, 48);
    const int movie = GetImageRecord(image)->movieHandle;
    ASSERT_NE(MovieRecordFromHandle(movie), nullptr);
    ASSERT_EQ(MovieRecordFromHandle(movie)->theora, 1) << "played by the Theora decoder";
    EXPECT_EQ(g_textureOptions.powerOfTwoOn, 0) << "movie images are never cut";

    // Not started: the first frame.
    ASSERT_EQ(DrawImageAt(0, 0, image, 0), 0);
    ExpectFrameAt(0, 0, 0);

    const uint64_t start = movietest::HandClock::now;
    ASSERT_EQ(PlayMovieImage(image, 1), 0);
    movietest::HandClock::now = start + movietest::FrameTime(6, 30);
    ASSERT_EQ(DrawImageAt(100, 50, image, 0), 0);
    ExpectFrameAt(6, 100, 50);
    movietest::HandClock::now = start + movietest::FrameTime(8, 30);
    ASSERT_EQ(DrawImageAt(200, 50, image, 0), 0);
    ExpectFrameAt(8, 200, 50);

    EXPECT_EQ(ReleaseImageHandle(image), 0);
    EXPECT_EQ(MovieRecordFromHandle(movie), nullptr) << "the movie closes with its image";
    EXPECT_EQ(OpenMovieCountForTest(), 0);
}

TEST_P(MovieImagesTest, AnImageThatShowsNoMovieCannotPlay) {
    BASEIMAGE base = MakeArgb(
        4, 4, [](int, int) { return 0xFF102030u; }, false);
    const int image = CreateImageFromBaseImage(&base);
    ReleaseImageBuffer(&base);
    EXPECT_EQ(PlayMovieImage(image, 1), -1);
    EXPECT_EQ(PlayMovieImage(-1, 1), -1);
}

INSTANTIATE_TEST_SUITE_P(BothPaths, MovieImagesTest, ::testing::Bool(), tessel_test::PathName);

}  // namespace
