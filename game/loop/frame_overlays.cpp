// The FPS figure and the screenshot key.
#include "game/loop/frame_overlays.h"

#include <initializer_list>

#include "game/loop/frame_calls.h"
#include "game/startup/init_game.h"

ScreenshotKeyState ScreenshotKey = {};

namespace {

constexpr int kFpsY = 464;
constexpr int kFpsLabelLeft = 544;
constexpr int kFpsPointLeft = 619;
constexpr int kHundredsLeft = 580;
constexpr int kTensLeft = 593;
constexpr int kOnesLeft = 606;
constexpr int kTenthsLeft = 624;

void DrawSheetCell(int x, int sourceX, int width) {
    CurrentFrameCalls().drawImagePart(x, kFpsY, sourceX, 0, width, kFpsCellHeight, FpsSheetImage, 1,
                                      0);
}

void DrawDigit(int x, int digit) {
    DrawSheetCell(x, digit * kFpsDigitWidth, kFpsDigitWidth);
}

}  // namespace

void DrawFpsOverlay(double meanFrameTime) {
    CurrentFrameCalls().setBlendMode(1, 255);
    DrawSheetCell(kFpsLabelLeft, kFpsLabelX, kFpsLabelWidth);
    DrawSheetCell(kFpsPointLeft, kFpsPointX, kFpsPointWidth);
    const double fps = meanFrameTime == 0.0 ? 0.0 : 1000.0 / meanFrameTime;
    if (meanFrameTime == 0.0 || fps >= 1000.0) {
        for (int x : {kTensLeft, kOnesLeft, kTenthsLeft}) {
            DrawSheetCell(x, kFpsDashX, kFpsDigitWidth);
        }
        return;
    }
    if (fps > 0.0 && fps < 100.0) {
        const int tens = static_cast<int>(fps / 10);
        const int ones = static_cast<int>(fps - tens * 10);
        const int tenths = static_cast<int>((fps - tens * 10 - ones) * 10);
        DrawDigit(kTensLeft, tens);
        DrawDigit(kOnesLeft, ones);
        DrawDigit(kTenthsLeft, tenths);
        return;
    }
    if (fps >= 100.0) {
        const int hundreds = static_cast<int>(fps / 100);
        const int tens = static_cast<int>((fps - hundreds * 100) / 10);
        const int ones = static_cast<int>(fps - hundreds * 100 - tens * 10);
        const int tenths = static_cast<int>((fps - hundreds * 100 - tens * 10 - ones) * 10);
        DrawDigit(kHundredsLeft, hundreds);
        DrawDigit(kTensLeft, tens);
        DrawDigit(kOnesLeft, ones);
        DrawDigit(kTenthsLeft, tenths);
    }
}

void FormatScreenshotName(const std::tm& localTime, char name[kScreenshotNameBytes]) {
    if (std::strftime(name, kScreenshotNameBytes, "screenshot\\%y%m%d%H%M%S.bmp", &localTime) ==
        0) {
        name[0] = '\0';
    }
}

void SaveScreenshotOnKey() {
    const FrameCalls& calls = CurrentFrameCalls();
    ScreenshotKey.downLast = ScreenshotKey.down;
    ScreenshotKey.down = calls.isKeyPressed(kScreenshotKey) != 0 ? 1 : 0;
    if (ScreenshotKey.down <= ScreenshotKey.downLast) {
        return;
    }
    char name[kScreenshotNameBytes];
    FormatScreenshotName(calls.localTime(), name);
    if (name[0] == '\0') {
        return;
    }
    constexpr int kBmp = 0;
    calls.saveDrawScreen(0, 0, 640, 480, name, kBmp, 80, 1, -1);
}
