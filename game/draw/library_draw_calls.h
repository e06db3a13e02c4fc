// The library drawing calls that the game makes straight, outside the queues'
// requests: the bullet layer draws thousands of images inside one callback.
// The game reaches them through this table so that start-up can bind the
// library's functions and a test can bind a recorder. While nothing is bound
// every call does nothing.
#pragma once

#include <cstdint>

struct LibraryDrawCalls {
    // SetImageBlendMode: the blend mode and its parameter.
    void (*setBlendMode)(int32_t mode, int32_t parameter);
    // SetImageBlendModeOnly: the mode alone, keeping the parameter and the draw colour.
    void (*setBlendModeOnly)(int32_t mode);
    // SetImageBrightnessPackedRaw: red in the low byte of `brightness`; `combined`
    // is the packed draw colour with alpha in the top byte.
    void (*setBrightnessPackedRaw)(uint32_t brightness, uint32_t combined);
    // DrawImageRotatedF: centred at (x, y), angle in radians, transparent and mirror flags.
    void (*drawRotated)(float x, float y, double scale, double angle, int32_t image,
                        int32_t transparent, int32_t mirror);
    // DrawImageRotatedAltF: the same, transparent and unmirrored, without checks.
    void (*drawRotatedAlt)(float x, float y, double scale, double angle, int32_t image);
};

// Binds `calls` (kept by address, not copied); null unbinds.
void BindLibraryDrawCalls(const LibraryDrawCalls* calls);
// The bound table, or one whose calls do nothing.
const LibraryDrawCalls& DrawCalls();
