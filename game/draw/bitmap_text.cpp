// The letter-sheet text drawer: one image part per character.
#include "game/draw/bitmap_text.h"

#include "game/draw/library_draw_calls.h"
#include "game/startup/init_game.h"

namespace {

constexpr int32_t kFirstCharacter = 32;
constexpr int32_t kCellsPerRow = 16;
constexpr int32_t kStylesPerColumn = 5;
constexpr int32_t kStyleBlockWidth = 256;
constexpr int32_t kStyleBlockHeight = 96;
constexpr uint8_t kLineFeed = 10;

// A byte of 0 or one from 128 on ends the text.
bool EndsText(uint8_t byte) {
    return byte == 0 || byte >= 128;
}

int64_t TextLength(const char* text) {
    int64_t length = 0;
    while (!EndsText(static_cast<uint8_t>(text[length]))) {
        ++length;
    }
    return length;
}

// Characters below the space have no cell: they take their place and draw nothing.
void DrawCell(int64_t x, int64_t y, int32_t style, uint8_t character) {
    if (character < kFirstCharacter) {
        return;
    }
    int32_t n = character - kFirstCharacter;
    int32_t sourceX =
        n % kCellsPerRow * kTextCellSize + style / kStylesPerColumn * kStyleBlockWidth;
    int32_t sourceY =
        n / kCellsPerRow * kTextCellSize + style % kStylesPerColumn * kStyleBlockHeight;
    DrawCalls().drawPart(static_cast<int32_t>(x), static_cast<int32_t>(y), sourceX, sourceY,
                         kTextCellSize, kTextCellSize, LetterSheetImage, 1, 0);
}

}  // namespace

void DrawBitmapText(int32_t x, int32_t y, int32_t style, const char* text, int32_t align,
                    int32_t spacing, int32_t lineGap) {
    if (text == nullptr) {
        return;
    }
    const int64_t step = int64_t{kTextCellSize} + spacing;
    if (align == kTextAlignRight) {
        int64_t length = TextLength(text);
        int64_t penX = x - step * length;
        for (int64_t i = 0; i < length; ++i, penX += step) {
            DrawCell(penX, y, style, static_cast<uint8_t>(text[i]));
        }
        return;
    }
    int64_t penX = x;
    int64_t penY = y;
    for (const char* at = text; !EndsText(static_cast<uint8_t>(*at)); ++at) {
        uint8_t character = static_cast<uint8_t>(*at);
        if (character == kLineFeed) {
            penX = x;
            penY += int64_t{kTextCellSize} + lineGap;
            continue;
        }
        DrawCell(penX, penY, style, character);
        penX += step;
    }
}
