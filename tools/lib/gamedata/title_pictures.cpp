// The full-screen pictures: splash, title background, logo, credit line,
// version stamp and the loading picture.
#include <cmath>

#include "tools/lib/gamedata/gamedata_internal.h"

namespace tessel::gamedata {

namespace {

constexpr float kPi = 3.14159265358979f;

// A night sky: a gradient, scattered stars, a low moon glow.
Canvas NightSky(int width, int height, uint32_t seed) {
    Canvas sky(width, height);
    sky.VerticalGradient(0, 0, width, height, kNight, kDusk);
    Dice dice(seed);
    for (int i = 0; i < width * height / 900; ++i) {
        const float x = dice.Range(0, width);
        const float y = dice.Range(0, height * 0.8f);
        const float size = dice.Unit();
        const Rgba star = Mix(kWhite, kCyan, dice.Unit() * 0.6f);
        sky.Disc(x, y, 0.5f + size * 0.9f, WithAlpha(star, 0.5f + size * 0.5f));
        if (size > 0.85f) {
            sky.Glow(x, y, 6.0f + size * 6.0f, WithAlpha(star, 0.5f));
        }
    }
    return sky;
}

// Rings, a star and tick marks: the circle motif of the game's pictures.
void MagicCircle(Canvas& canvas, float cx, float cy, float radius, const Rgba& colour,
                 float turnDeg) {
    canvas.Ring(cx, cy, radius, 3.0f, colour, true);
    canvas.Ring(cx, cy, radius * 0.9f, 1.2f, WithAlpha(colour, 0.7f), true);
    canvas.Ring(cx, cy, radius * 0.55f, 2.0f, colour, true);
    for (int i = 0; i < 5; ++i) {
        const float a0 = (turnDeg + i * 144.0f - 90.0f) * kPi / 180.0f;
        const float a1 = (turnDeg + (i + 1) * 144.0f - 90.0f) * kPi / 180.0f;
        canvas.Line(cx + radius * 0.9f * std::cos(a0), cy + radius * 0.9f * std::sin(a0),
                    cx + radius * 0.9f * std::cos(a1), cy + radius * 0.9f * std::sin(a1), 1.6f,
                    WithAlpha(colour, 0.8f), true);
    }
    for (int i = 0; i < 48; ++i) {
        const float a = (turnDeg + i * 7.5f) * kPi / 180.0f;
        const float inner = i % 4 == 0 ? 0.72f : 0.8f;
        canvas.Line(cx + radius * inner * std::cos(a), cy + radius * inner * std::sin(a),
                    cx + radius * 0.86f * std::cos(a), cy + radius * 0.86f * std::sin(a), 1.0f,
                    WithAlpha(colour, 0.6f), true);
    }
    canvas.Glow(cx, cy, radius * 1.3f, WithAlpha(colour, 0.25f), 1.5f);
}

void MakeSplash(Output& out) {
    Canvas canvas(640, 480);
    canvas.FillRect(0, 0, 640, 480, Rgba{0.01f, 0.01f, 0.03f, 1.0f});
    MagicCircle(canvas, 320, 220, 150, kCyan, 0.0f);
    MagicCircle(canvas, 320, 220, 70, kPink, 36.0f);
    canvas.Disc(320, 220, 62, Rgba{0.02f, 0.02f, 0.06f, 0.92f});
    canvas.Ring(320, 220, 62, 1.5f, WithAlpha(kPink, 0.8f), true);
    TextStyle style = MenuTextStyle(30);
    style.spacing = 6.0f;
    DrawText(canvas, "TESSEL", 320, 232, Align::Centre, style);
    TextStyle small = LabelTextStyle(14);
    small.spacing = 2.0f;
    DrawText(canvas, "a game made with the Tessel library", 320, 430, Align::Centre, small);
    SavePicture(out, "image/system/circle.png", canvas);
}

void MakeTitleBack(Output& out) {
    Canvas canvas = NightSky(640, 480, 7);
    // The moon stands in the top right corner, clear of the replay lists'
    // white text, which needs dark ground.
    constexpr float kMoonX = 604;
    constexpr float kMoonY = 34;
    canvas.Glow(kMoonX, kMoonY, 200, WithAlpha(kPink, 0.3f), 2.0f);
    canvas.Disc(kMoonX, kMoonY, 28, Rgba{1.0f, 0.93f, 0.85f, 1.0f});
    canvas.Glow(kMoonX, kMoonY, 60, WithAlpha(kWhite, 0.5f), 2.5f);
    MagicCircle(canvas, kMoonX, kMoonY, 56, WithAlpha(kCyan, 0.5f), 12.0f);
    // Two ranges of hills, the near one darker.
    for (int layer = 0; layer < 2; ++layer) {
        std::vector<float> hill{0, 480};
        for (int x = 0; x <= 640; x += 16) {
            const float base = layer == 0 ? 360.0f : 410.0f;
            const float y = base - 30.0f * std::sin(x * 0.011f + layer * 2.0f) -
                            14.0f * std::sin(x * 0.037f + layer);
            hill.push_back(float(x));
            hill.push_back(y);
        }
        hill.push_back(640);
        hill.push_back(480);
        canvas.Polygon(hill,
                       layer == 0 ? Rgba{0.12f, 0.05f, 0.22f, 1} : Rgba{0.05f, 0.02f, 0.1f, 1});
    }
    // A floor grid fading into the hills.
    for (int i = -12; i <= 12; ++i) {
        canvas.Line(320 + i * 14.0f, 420, 320 + i * 80.0f, 480, 1.0f, WithAlpha(kCyan, 0.25f),
                    true);
    }
    for (int j = 0; j < 5; ++j) {
        const float y = 424 + j * j * 3.0f;
        canvas.Line(0, y, 640, y, 1.0f, WithAlpha(kCyan, 0.2f), true);
    }
    SavePicture(out, "image/system/title_back.png", canvas);
}

void MakeTitleLogo(Output& out) {
    Canvas canvas(400, 192);
    canvas.Glow(200, 96, 180, WithAlpha(kPink, 0.25f), 2.0f);
    canvas.Star(345, 52, 20, 7, 4, 0, WithAlpha(kWhite, 0.9f), true);
    canvas.Glow(345, 52, 30, WithAlpha(kCyan, 0.8f));
    TextStyle logo;
    logo.pixelSize = 76;
    logo.top = Rgba{1.0f, 0.97f, 0.8f, 1};
    logo.bottom = Rgba{1.0f, 0.45f, 0.75f, 1};
    logo.outline = 3.0f;
    logo.outlineColour = Rgba{0.12f, 0.02f, 0.2f, 1};
    logo.glowRadius = 6;
    logo.glowColour = kPink;
    logo.glowStrength = 1.2f;
    DrawText(canvas, "Vantrel!", 200, 112, Align::Centre, logo);
    TextStyle sub = LabelTextStyle(18);
    sub.spacing = 8.0f;
    DrawText(canvas, "ヴァントレル", 200, 152, Align::Centre, sub);
    canvas.Line(60, 164, 340, 164, 1.5f, WithAlpha(kCyan, 0.8f), true);
    SavePicture(out, "image/system/title_logo.png", canvas);
}

void MakeCredit(Output& out) {
    Canvas canvas(512, 32);
    TextStyle style = LabelTextStyle(13);
    DrawText(canvas, "© 2026 the Tessel project  ·  pictures, sounds and music made by our tools",
             0, 20, Align::Left, style);
    SavePicture(out, "image/system/chosaku.png", canvas);
}

void MakeVersion(Output& out) {
    Canvas canvas(64, 16);
    const TextStyle style = LabelTextStyle(11, kCyan, kWhite);
    DrawTextInBox(canvas, "ver 1.00", 0, 0, 64, 16, Align::Centre, style);
    SavePicture(out, "image/ver", canvas);
}

void MakeLoading(Output& out) {
    Canvas canvas = NightSky(640, 480, 11);
    MagicCircle(canvas, 560, 400, 60, kCyan, 20.0f);
    TextStyle style = MenuTextStyle(28);
    style.spacing = 3.0f;
    DrawText(canvas, "Now Loading...", 470, 412, Align::Right, style);
    TextStyle small = LabelTextStyle(14);
    DrawText(canvas, "しばらくお待ちください", 470, 440, Align::Right, small);
    SavePicture(out, "image/loading", canvas);
}

}  // namespace

TextStyle MenuTextStyle(float size) {
    TextStyle style;
    style.pixelSize = size;
    style.top = kWhite;
    style.bottom = Rgba{0.7f, 0.9f, 1.0f, 1};
    style.outline = size >= 20 ? 2.0f : 1.0f;
    style.glowRadius = size >= 20 ? 4 : 2;
    style.glowColour = kCyan;
    style.glowStrength = 1.0f;
    return style;
}

TextStyle LabelTextStyle(float size, const Rgba& top, const Rgba& bottom) {
    TextStyle style;
    style.pixelSize = size;
    style.top = top;
    style.bottom = bottom;
    style.outline = 1.0f;
    return style;
}

void MakeTitlePictures(Output& out) {
    MakeSplash(out);
    MakeTitleBack(out);
    MakeTitleLogo(out);
    MakeCredit(out);
    MakeVersion(out);
    MakeLoading(out);
}

}  // namespace tessel::gamedata
