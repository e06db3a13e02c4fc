// The letter-sheet text: cells by character and style, the end of a text, line feeds and right
// alignment.
#include "game/draw/bitmap_text.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "game/draw/draw_flush.h"
#include "game/draw/game_screens.h"
#include "game/startup/init_game.h"
#include "tests/game/draw/draw_call_recorder.h"

namespace {

using namespace draw_test;

constexpr int kSheet = 555;

class BitmapTextTest : public testing::Test {
  protected:
    void SetUp() override {
        saved_ = LetterSheetImage;
        LetterSheetImage = kSheet;
    }
    void TearDown() override { LetterSheetImage = saved_; }

    static std::vector<std::string> Text(int x, int y, int style, const char* text, int align,
                                         int spacing, int lineGap) {
        g_calls.clear();
        DrawBitmapText(x, y, style, text, align, spacing, lineGap);
        return g_calls;
    }
    static std::string Cell(int x, int y, int sx, int sy) {
        return Part(x, y, sx, sy, 16, 16, kSheet, 0);
    }

    RecordedDrawing recorded_;
    int32_t saved_ = -1;
};

TEST_F(BitmapTextTest, ACharacterTakesItsCellInTheBlockOfItsStyle) {
    const struct {
        char character;
        int style;
        int sx, sy;
    } cases[] = {
        {' ', 0, 0, 0},         // the first cell
        {'A', 0, 16, 32},       // 65 - 32 = 33: column 1, row 2
        {'A', 7, 272, 224},     // style 7: block column 1, block row 2
        {'~', 9, 480, 464},     // 126 - 32 = 94: column 14, row 5; style 9: block 1, 4
        {'\x7f', 3, 240, 368},  // the last cell, in block row 3
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.character);
        const char text[2] = {c.character, 0};
        EXPECT_EQ(Text(31, 47, c.style, text, kTextAlignLeft, 0, 0),
                  std::vector<std::string>{Cell(31, 47, c.sx, c.sy)});
    }
}

TEST_F(BitmapTextTest, TheTextEndsAtAByteOf128OrMore) {
    for (const char* text : {"AB\x80"
                             "C",
                             "AB\xff"
                             "C",
                             "AB\xc3\xa9"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(Text(0, 0, 0, text, kTextAlignLeft, 0, 0),
                  (std::vector<std::string>{Cell(0, 0, 16, 32), Cell(16, 0, 32, 32)}));
        // Right-aligned, the length counts only what is drawn.
        EXPECT_EQ(Text(100, 0, 0, text, kTextAlignRight, 0, 0),
                  (std::vector<std::string>{Cell(68, 0, 16, 32), Cell(84, 0, 32, 32)}));
    }
}

TEST_F(BitmapTextTest, SpacingMovesThePenAndALineFeedReturnsItToTheStartOfTheNextLine) {
    EXPECT_EQ(Text(10, 20, 0,
                   "AB\nC\x01"
                   "D",
                   kTextAlignLeft, -4, 3),
              (std::vector<std::string>{Cell(10, 20, 16, 32), Cell(22, 20, 32, 32),
                                        // 'C' 19 lower; the control byte takes a place, no cell
                                        Cell(10, 39, 48, 32), Cell(34, 39, 64, 32)}));
    // Right-aligned text stays on one line; a line feed only takes a place.
    EXPECT_EQ(Text(100, 5, 0, "A\nB", kTextAlignRight, 2, 3),
              (std::vector<std::string>{Cell(46, 5, 16, 32), Cell(82, 5, 32, 32)}));
}

TEST_F(BitmapTextTest, ASevenDigitNumberRequestEndsAtXAndStarts84PixelsLeft) {
    auto queue = std::make_unique<DrawQueue>();
    SceneDrawTarget = CurrentDrawTarget = 3;
    QueueNumberDraw(queue.get(), 1234567, 2, 3, 0, kBlendAlpha, 300.9, 48.0, 1.0,
                    MakeDefaultColor(), 1);
    QueueNumberDraw(queue.get(), -5, 1, 3, -1, kBlendAlpha, 300.0, 64.0, 1.0, MakeDefaultColor(),
                    0);
    g_calls.clear();
    FlushDrawQueue(queue.get());
    std::vector<std::string> expected{Blend(1, 255), Bright(255, 255, 255), Blend(1, 255)};
    for (int style : {4, 2}) {
        for (int i = 0; i < 7; ++i) {
            // Digit d is character 48 + d: cell 16 + d, row 1.
            int digit = i + 1;
            expected.push_back(Cell(216 + 12 * i, 48, (16 + digit) % 16 * 16 + style / 5 * 256,
                                    (16 + digit) / 16 * 16 + style % 5 * 96));
        }
    }
    expected.insert(expected.end(), {Bright(255, 255, 255), Blend(1, 255)});
    // "-5": the minus is character 45, cell 13 of row 0.
    expected.insert(expected.end(), {Cell(276, 64, 208, 384), Cell(288, 64, 80, 400),
                                     Cell(276, 64, 208, 96), Cell(288, 64, 80, 112)});
    expected.insert(expected.end(), {Target(3), Blend(1, 255)});
    EXPECT_EQ(g_calls, expected);
    EXPECT_STREQ(queue->requests[0].text, "1234567");
    SceneDrawTarget = CurrentDrawTarget = kBackScreenTarget;
}

}  // namespace
