// The FPS figure's cells and places, and the screenshot key's saves.
#include "game/loop/frame_overlays.h"

#include <gtest/gtest.h>

#include "game/startup/init_game.h"
#include "tests/game/loop/frame_recorder.h"

namespace {

class FrameOverlayTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FpsSheetImage = 0x08000042;
        ScreenshotKey = ScreenshotKeyState{};
    }
    void TearDown() override { FpsSheetImage = -1; }

    // Each drawn cell as "x:sourceX/width".
    std::vector<std::string> Cells() const {
        std::vector<std::string> cells;
        for (const std::string& call : bound_.recorder.calls) {
            int x, y, sx, sy, w, h, image, trans, mirror;
            if (std::sscanf(call.c_str(), "DrawImagePart(%d,%d,%d,%d,%d,%d,%d,%d,%d)", &x, &y, &sx,
                            &sy, &w, &h, &image, &trans, &mirror) != 9) {
                continue;
            }
            EXPECT_EQ(y, 464);
            EXPECT_EQ(sy, 0);
            EXPECT_EQ(h, 16);
            EXPECT_EQ(image, FpsSheetImage);
            EXPECT_EQ(trans, 1);
            EXPECT_EQ(mirror, 0);
            cells.push_back(std::to_string(x) + ":" + std::to_string(sx) + "/" + std::to_string(w));
        }
        return cells;
    }

    game_test::BoundFrameRecorder bound_;
};

TEST_F(FrameOverlayTest, TheFigureShowsDigitsAtTheirPlaces) {
    struct Case {
        double mean;  // ms
        std::vector<std::string> digits;
    };
    const Case cases[] = {
        // No mean yet, and 1000 fps or more: dashes.
        {0.0, {"593:154/14", "606:154/14", "624:154/14"}},
        {0.999, {"593:154/14", "606:154/14", "624:154/14"}},
        // 1000 / 16.75 = 59.70...: 5, 9, 7.
        {16.75, {"593:70/14", "606:126/14", "624:98/14"}},
        // 1000 / 8.1037277 = 123.40...: 1, 2, 3, 4 with the hundreds at 580.
        {8.1037277, {"580:14/14", "593:28/14", "606:42/14", "624:56/14"}},
        // 1000 / 100.5 = 9.95...: a leading zero.
        {100.5, {"593:0/14", "606:126/14", "624:126/14"}},
        // 1000 / 1.0010010 = 999.0: three whole digits and a zero tenth.
        {1.001001, {"580:126/14", "593:126/14", "606:126/14", "624:0/14"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mean);
        bound_.recorder.calls.clear();
        DrawFpsOverlay(c.mean);
        ASSERT_FALSE(bound_.recorder.calls.empty());
        EXPECT_EQ(bound_.recorder.calls.front(), "SetImageBlendMode(1,255)");
        std::vector<std::string> expected = {"544:168/43", "619:140/6"};
        expected.insert(expected.end(), c.digits.begin(), c.digits.end());
        EXPECT_EQ(Cells(), expected);
    }
}

TEST_F(FrameOverlayTest, HoldingTheKeySavesOneShotAndEachNewPressAnother) {
    game_test::FrameRecorder& rec = bound_.recorder;
    rec.localTime.tm_year = 126;  // 2026
    rec.localTime.tm_mon = 11;
    rec.localTime.tm_mday = 10;
    rec.localTime.tm_hour = 9;
    rec.localTime.tm_min = 5;
    rec.localTime.tm_sec = 7;
    const int held[] = {0, 1, 1, 1, 0, 1, 0, 0, 1};
    std::vector<int> savedIn;
    for (int frame = 0; frame < 9; ++frame) {
        rec.keyDown = held[frame];
        size_t before = rec.calls.size();
        SaveScreenshotOnKey();
        if (rec.calls.size() > before) {
            EXPECT_EQ(rec.calls.back(),
                      "SaveDrawScreen(screenshot\\261210090507.bmp)(0,0,640,480,0,80,1,-1)");
            savedIn.push_back(frame);
        }
    }
    EXPECT_EQ(savedIn, (std::vector<int>{1, 5, 8}));
}

TEST(ScreenshotName, IsTheLocalTimeInTwoDigitFields) {
    std::tm time{};
    time.tm_year = 99;  // 1999
    time.tm_mon = 0;
    time.tm_mday = 2;
    time.tm_hour = 23;
    time.tm_min = 59;
    time.tm_sec = 58;
    char name[kScreenshotNameBytes];
    FormatScreenshotName(time, name);
    EXPECT_STREQ(name, "screenshot\\990102235958.bmp");
}

}  // namespace
