// The play screen's frame: the side panel, its labels and icons, the large
// digits, the frames-per-second sheet and the letter sheet.
#include <cmath>
#include <string>

#include "tools/lib/gamedata/gamedata_internal.h"

namespace tessel::gamedata {

void DrawPanelTitle(Canvas& canvas, const std::string& text, float x, float y) {
    const TextStyle title = LabelTextStyle(12, kGold, Rgba{1.0f, 0.55f, 0.3f, 1});
    DrawTextInBox(canvas, text, x, y, x + 64, y + 16, Align::Centre, title);
}

namespace {

void MakeSidePanel(Output& out) {
    // Left half (the frame's x 0-127) and right half (x 512-639) side by side.
    Canvas canvas(256, 480);
    canvas.VerticalGradient(0, 0, 256, 480, Rgba{0.1f, 0.05f, 0.22f, 1},
                            Rgba{0.03f, 0.02f, 0.08f, 1});
    Dice dice(3);
    for (int i = 0; i < 60; ++i) {  // a faint tile pattern
        const float x = float(int(dice.Range(0, 16)) * 16);
        const float y = float(int(dice.Range(0, 30)) * 16);
        canvas.FillRect(x + 1, y + 1, x + 15, y + 15,
                        WithAlpha(kCyan, 0.04f + 0.04f * dice.Unit()));
    }
    // The edges facing the play field glow.
    for (int i = 0; i < 6; ++i) {
        const float alpha = 0.5f / (i + 1);
        canvas.FillRect(127 - i, 0, 128 - i, 480, WithAlpha(kCyan, alpha));
        canvas.FillRect(128 + i, 0, 129 + i, 480, WithAlpha(kCyan, alpha));
    }
    canvas.FillRect(124, 0, 125, 480, WithAlpha(kPink, 0.6f));
    canvas.FillRect(131, 0, 132, 480, WithAlpha(kPink, 0.6f));
    // A circle motif low on each side.
    for (float cx : {64.0f, 192.0f}) {
        canvas.Ring(cx, 400, 44, 1.5f, WithAlpha(kCyan, 0.35f), true);
        canvas.Ring(cx, 400, 36, 1.0f, WithAlpha(kPink, 0.3f), true);
        canvas.Star(cx, 400, 34, 14, 5, 0, WithAlpha(kCyan, 0.12f), true);
    }
    SavePicture(out, "image/system/panel.png", canvas);
}

void MakePanelInfo(Output& out) {
    Canvas canvas(128, 128);
    const TextStyle label = LabelTextStyle(12, kCyan, kWhite);
    const char* labels[6] = {"HiScore", "Score", "Player", "Bomb", "Level", "Time"};
    for (int i = 0; i < 6; ++i) {
        DrawTextInBox(canvas, labels[i], 2, 16.0f * i, 64, 16.0f * i + 16, Align::Left, label);
    }
    // The panel shows this cell over every mode, its replays included, so it
    // names none of them.
    DrawPanelTitle(canvas, kPanelTitleText, 64, 0);
    // The rule under each figure.
    canvas.FillRect(4, 110, 124, 111, WithAlpha(kCyan, 0.8f));
    canvas.FillRect(4, 111, 124, 112, WithAlpha(kPink, 0.5f));
    // Life and bomb icons.
    canvas.Star(8, 120, 7, 3, 5, 0, kPink);
    canvas.Star(8, 120, 4, 1.8f, 5, 0, WithAlpha(kWhite, 0.6f));
    canvas.Disc(24, 120, 6, Rgba{0.3f, 0.8f, 0.4f, 1});
    canvas.Disc(22.5f, 118.5f, 2.5f, WithAlpha(kWhite, 0.7f));
    canvas.Ring(24, 120, 6, 1.0f, Rgba{0.1f, 0.3f, 0.1f, 1});
    SavePicture(out, "image/system/panel_info.png", canvas);
}

void MakeBigDigits(Output& out) {
    Canvas canvas(176, 64);
    TextStyle digit;
    digit.pixelSize = 30;
    digit.top = kWhite;
    digit.bottom = kGold;
    digit.outline = 2.0f;
    digit.outlineColour = Rgba{0.2f, 0.08f, 0.0f, 1};
    digit.glowRadius = 2;
    digit.glowColour = Rgba{1.0f, 0.6f, 0.2f, 1};
    for (int d = 0; d < 10; ++d) {
        const float x = (d % 5) * 32.0f;
        const float y = (d / 5) * 32.0f;
        DrawTextInBox(canvas, std::string(1, char('0' + d)), x, y, x + 32, y + 32, Align::Centre,
                      digit);
    }
    DrawTextInBox(canvas, ":", 160, 0, 176, 32, Align::Centre, digit);
    SavePicture(out, "image/system/num.png", canvas);
}

void MakeFpsSheet(Output& out) {
    Canvas canvas(256, 16);
    TextStyle style = LabelTextStyle(13);
    style.top = Rgba{0.7f, 1.0f, 0.7f, 1};
    for (int d = 0; d < 10; ++d) {
        DrawTextInBox(canvas, std::string(1, char('0' + d)), d * 14.0f, 0, d * 14.0f + 14, 16,
                      Align::Centre, style);
    }
    DrawTextInBox(canvas, ".", 140, 0, 146, 16, Align::Centre, style);
    DrawTextInBox(canvas, "-", 154, 0, 168, 16, Align::Centre, style);
    DrawTextInBox(canvas, "FPS", 168, 0, 211, 16, Align::Centre, style);
    SavePicture(out, "image/system/FPS.png", canvas);
}

}  // namespace

void MakeHudPictures(Output& out) {
    MakeSidePanel(out);
    MakePanelInfo(out);
    MakeBigDigits(out);
    MakeFpsSheet(out);
}

void MakeLetterSheet(Output& out) {
    // Five styles of the 96 characters from ' ', 16 to a row: a style is a
    // 256 x 96 block, block row = style. Style 4 is the dark edge drawn
    // under every text.
    Canvas canvas(256, 480);
    TextStyle styles[5];
    styles[0] = LabelTextStyle(14);
    styles[0].outline = 0.0f;
    styles[1] = LabelTextStyle(14);
    styles[1].outline = 0.0f;
    styles[1].top = kWhite;
    styles[1].bottom = Rgba{0.6f, 0.85f, 1.0f, 1};
    styles[2] = LabelTextStyle(15);
    styles[2].outline = 0.0f;
    styles[2].top = kWhite;
    styles[2].bottom = kGold;
    styles[3] = LabelTextStyle(14);
    styles[3].outline = 0.0f;
    styles[3].top = Rgba{1.0f, 0.8f, 0.9f, 1};
    styles[3].bottom = Rgba{1.0f, 0.3f, 0.5f, 1};
    styles[4] = LabelTextStyle(14);
    styles[4].top = styles[4].bottom = Rgba{0.02f, 0.02f, 0.08f, 0.85f};
    styles[4].outline = 1.5f;
    styles[4].outlineColour = Rgba{0.02f, 0.02f, 0.08f, 0.85f};
    for (int style = 0; style < 5; ++style) {
        for (int n = 0; n < 96; ++n) {
            const char c = static_cast<char>(32 + n);
            if (c == ' ' || c == 127) {
                continue;
            }
            const float x = (n % 16) * 16.0f;
            const float y = (n / 16) * 16.0f + style * 96.0f;
            DrawTextInBox(canvas, std::string(1, c), x, y, x + 16, y + 16, Align::Centre,
                          styles[style]);
        }
    }
    SavePicture(out, "image/system/ascii.png", canvas);
}

}  // namespace tessel::gamedata
