// What the loop adds over the scenes' picture: the frames-per-second figure
// from the FPS sheet, and a screenshot of the finished frame when the P key
// goes down.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

// The FPS sheet's cells, all 16 high: digits 0-9 14 wide from x 0, the point
// at x 140 (6 wide), a dash at x 154, the label at x 168 (43 wide).
constexpr int kFpsCellHeight = 16;
constexpr int kFpsDigitWidth = 14;
constexpr int kFpsPointX = 140;
constexpr int kFpsPointWidth = 6;
constexpr int kFpsDashX = 154;
constexpr int kFpsLabelX = 168;
constexpr int kFpsLabelWidth = 43;

// The figure of the mean frame time (ms) at the frame's bottom right: dashes
// while there is no mean or the rate is 1000 or more, else two or three
// whole digits and a tenth.
void DrawFpsOverlay(double meanFrameTime);

constexpr int kScreenshotKey = 25;  // the P key's scan code
constexpr size_t kScreenshotNameBytes = 64;

struct ScreenshotKeyState {
    int32_t down;      // this frame
    int32_t downLast;  // the frame before
};
extern ScreenshotKeyState ScreenshotKey;

// "screenshot\yymmddhhmmss.bmp" of the local time.
void FormatScreenshotName(const std::tm& localTime, char name[kScreenshotNameBytes]);
// On a new press of the key, saves the current draw target's 640 x 480 as a
// BMP named for the local time; a save that fails is dropped.
void SaveScreenshotOnKey();
