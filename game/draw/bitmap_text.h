// Text drawn from the letter sheet: 16 x 16 cells for the characters from the
// space on, 16 to a row, in blocks of 256 x 96 chosen by the style (five
// blocks to a column). The flush draws text and number requests with it, and
// scenes call it straight.
#pragma once

#include <cstdint>

constexpr int32_t kTextCellSize = 16;
// Align 0 starts at x and breaks lines; align 3 ends at x, on one line.
constexpr int32_t kTextAlignLeft = 0;
constexpr int32_t kTextAlignRight = 3;

// The text ends at a byte of 0 or of 128 or more. `spacing` widens (or, below
// 0, narrows) the step from one cell to the next; `lineGap` the step from one
// line to the next.
void DrawBitmapText(int32_t x, int32_t y, int32_t style, const char* text, int32_t align,
                    int32_t spacing, int32_t lineGap);
