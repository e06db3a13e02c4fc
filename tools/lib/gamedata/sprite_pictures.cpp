// The play field's sprites: the player with her shot and marks, the enemy
// fairies, orbs and the boss, the bullet sheet and the effect animations.
// Bullet bodies and glows are drawn white: the game tints them per bullet.
// In this order: the player's frame and the fairy drawer; the player's sheet
// and marks; fairies, orbs and the boss; the bullet sheet; the explosions.
// Every cell stays inside its own rectangle, since the game cuts the sheets.
#include <cmath>

#include "tools/lib/gamedata/gamedata_internal.h"

namespace tessel::gamedata {

namespace {

constexpr float kPi = 3.14159265358979f;
const Rgba kInk{0.1f, 0.04f, 0.16f, 1};

// A small flying figure in a 32 x 48 cell (the player), frame 0..4.
void PlayerFrame(Canvas& c, float x, float y, int frame) {
    const float cx = x + 16;
    const float flap = std::sin(frame * 2.0f * kPi / 5.0f);
    // Wings of light.
    for (float side : {-1.0f, 1.0f}) {
        c.Ellipse(cx + side * 8, y + 24, 7, 3.5f + flap * 1.2f, side * (25 + flap * 10),
                  WithAlpha(kCyan, 0.55f), true);
    }
    // Cape and body.
    std::vector<float> cape{cx - 6, y + 18, cx + 6, y + 18, cx + 11, y + 40, cx - 11, y + 40};
    c.Polygon(cape, kInk);
    std::vector<float> capeIn{cx - 5, y + 19, cx + 5, y + 19, cx + 9.5f, y + 39, cx - 9.5f, y + 39};
    c.Polygon(capeIn, Rgba{0.3f, 0.22f, 0.65f, 1});
    c.Disc(cx, y + 14, 7, kInk);
    c.Disc(cx, y + 14, 6, Rgba{1.0f, 0.88f, 0.8f, 1});
    c.Ellipse(cx, y + 10, 7, 4, 0, Rgba{0.95f, 0.55f, 0.75f, 1});
    // Hat.
    std::vector<float> hat{cx - 9, y + 9, cx + 9, y + 8, cx + 3, y + 1};
    c.Polygon(hat, Rgba{0.3f, 0.22f, 0.65f, 1});
    c.Disc(cx - 2.5f, y + 15, 1.1f, kInk);
    c.Disc(cx + 2.5f, y + 15, 1.1f, kInk);
    // The glowing core that marks the hit point, and the exhaust.
    c.Glow(cx, y + 26, 7, WithAlpha(kWhite, 0.9f));
    c.Glow(cx, y + 42, 6 + (frame % 2) * 2.0f, WithAlpha(kPink, 0.8f));
}

// A fairy enemy in a 32 x 32 cell: front (side 0) or side view, frame 0..3.
void FairyFrame(Canvas& c, float x, float y, float size, const Rgba& dress, int frame, bool side) {
    const float s = size / 32.0f;
    const float cx = x + 16 * s;
    const float cy = y + 16 * s;
    const float flap = std::sin(frame * kPi / 2.0f);
    const Rgba wing = WithAlpha(Mix(dress, kWhite, 0.6f), 0.6f);
    if (side) {
        c.Ellipse(cx + 4 * s, cy - 3 * s, 9 * s, (4 + 2 * flap) * s, -40 + flap * 15, wing, true);
        c.Ellipse(cx + 6 * s, cy + 1 * s, 7 * s, (3 + flap) * s, -15 + flap * 10, wing, true);
    } else {
        for (float sideSign : {-1.0f, 1.0f}) {
            c.Ellipse(cx + sideSign * 9 * s, cy - 3 * s, 9 * s, (4 + 2 * flap) * s,
                      sideSign * (-30 + flap * 12), wing, true);
        }
    }
    std::vector<float> body{cx - 6 * s, cy,          cx + 6 * s, cy,
                            cx + 9 * s, cy + 13 * s, cx - 9 * s, cy + 13 * s};
    if (side) {
        body = {cx - 5 * s, cy, cx + 5 * s, cy, cx + 4 * s, cy + 13 * s, cx - 10 * s, cy + 12 * s};
    }
    c.Polygon(body, dress);
    c.Disc(cx, cy - 4 * s, 6.5f * s, kInk);
    c.Disc(cx, cy - 4 * s, 5.6f * s, Rgba{1.0f, 0.9f, 0.82f, 1});
    c.Ellipse(cx - (side ? 2 : 0) * s, cy - 8 * s, 6.5f * s, 3.5f * s, 0, Mix(dress, kInk, 0.3f));
    if (side) {
        c.Disc(cx - 2.5f * s, cy - 4 * s, 1.0f * s, kInk);
    } else {
        c.Disc(cx - 2.2f * s, cy - 4 * s, 1.0f * s, kInk);
        c.Disc(cx + 2.2f * s, cy - 4 * s, 1.0f * s, kInk);
    }
    c.Glow(cx, cy + 4 * s, 14 * s, WithAlpha(dress, 0.35f));
}

void MakePlayerSheet(Output& out) {
    Canvas canvas(256, 64);
    for (int i = 0; i < 5; ++i) {
        PlayerFrame(canvas, i * 32.0f, 0, i);
    }
    // The shot: a glowing needle pointing up, 16 x 32 at (160, 0).
    canvas.Glow(168, 16, 14, WithAlpha(kCyan, 0.6f));
    std::vector<float> needle{168, 1, 172, 16, 168, 31, 164, 16};
    canvas.Polygon(needle, Rgba{0.75f, 1.0f, 1.0f, 0.95f});
    canvas.Line(168, 4, 168, 28, 1.5f, kWhite, true);
    // A bomb petal ring, 64 x 64 at (192, 0).
    for (int i = 0; i < 6; ++i) {
        const float a = i * 60.0f;
        const float px = 224 + 16 * std::cos(a * kPi / 180.0f);
        const float py = 32 + 16 * std::sin(a * kPi / 180.0f);
        canvas.Ellipse(px, py, 13, 6, a, WithAlpha(kPink, 0.55f), true);
    }
    canvas.Ring(224, 32, 26, 2.0f, WithAlpha(kWhite, 0.8f), true);
    canvas.Glow(224, 32, 32, WithAlpha(kPink, 0.5f));
    SavePicture(out, "image/player/player00.png", canvas);
}

void MakePlayerMarks(Output& out) {
    Canvas canvas(128, 128);
    // Slow-mode circle, 64 x 64.
    canvas.Ring(32, 32, 28, 2.0f, WithAlpha(kCyan, 0.9f), true);
    canvas.Ring(32, 32, 22, 1.0f, WithAlpha(kPink, 0.8f), true);
    for (int i = 0; i < 12; ++i) {
        const float a = i * 30.0f * kPi / 180.0f;
        canvas.Line(32 + 23 * std::cos(a), 32 + 23 * std::sin(a), 32 + 27 * std::cos(a),
                    32 + 27 * std::sin(a), 1.2f, WithAlpha(kWhite, 0.8f), true);
    }
    canvas.Star(32, 32, 20, 8, 6, 0, WithAlpha(kCyan, 0.2f), true);
    // The item, 32 x 32 at (64, 0): a point star.
    canvas.Glow(80, 16, 15, WithAlpha(kGold, 0.7f));
    canvas.Star(80, 16, 11, 4.5f, 4, 45, kGold);
    canvas.Star(80, 16, 6, 2.5f, 4, 45, kWhite);
    // The time item's clock, 48 x 48 at (0, 64).
    canvas.Glow(24, 88, 23, WithAlpha(kCyan, 0.6f));
    canvas.Disc(24, 88, 14, Rgba{0.1f, 0.2f, 0.4f, 0.9f});
    canvas.Ring(24, 88, 14, 2.0f, kCyan);
    canvas.Line(24, 88, 24, 78, 2.0f, kWhite);
    canvas.Line(24, 88, 31, 91, 2.0f, kWhite);
    // Four small tags, 64 x 16 at (64, 64).
    const char* tags[4] = {"+10000", "TIME+30", "BONUS", "SLOW"};
    TextStyle tag = LabelTextStyle(11);
    tag.top = kGold;
    for (int i = 0; i < 4; ++i) {
        DrawTextInBox(canvas, tags[i], 64, 64 + 16.0f * i, 128, 80 + 16.0f * i, Align::Centre, tag);
    }
    SavePicture(out, "image/player/system.png", canvas);

    Canvas marker(32, 4);
    marker.FillRect(0, 0, 32, 4, WithAlpha(kPink, 0.5f));
    marker.FillRect(4, 1, 28, 3, kWhite);
    SavePicture(out, "image/player/marker.png", marker);
}

// Each enemy's cells lie in one run of eight: four front frames, then four
// side frames, which the drawing takes as cells 4 to 7 of the same row.
void MakeFairies(Output& out) {
    Canvas canvas(512, 256);
    const Rgba dresses[4] = {Rgba{0.3f, 0.5f, 1.0f, 1}, Rgba{1.0f, 0.4f, 0.55f, 1},
                             Rgba{0.35f, 0.85f, 0.45f, 1}, Rgba{1.0f, 0.75f, 0.3f, 1}};
    for (int kind = 0; kind < 4; ++kind) {
        for (int frame = 0; frame < 4; ++frame) {
            FairyFrame(canvas, frame * 32.0f, kind * 32.0f, 32, dresses[kind], frame, false);
            FairyFrame(canvas, 128 + frame * 32.0f, kind * 32.0f, 32, dresses[kind], frame, true);
        }
    }
    const Rgba bigDresses[2] = {Rgba{0.6f, 0.35f, 1.0f, 1}, Rgba{0.2f, 0.8f, 0.9f, 1}};
    for (int row = 0; row < 2; ++row) {
        for (int frame = 0; frame < 8; ++frame) {
            const float x = frame * 64.0f;
            const float y = 128 + row * 64.0f;
            canvas.Ring(x + 32, y + 34, 26, 1.5f, WithAlpha(bigDresses[row], 0.5f), true);
            FairyFrame(canvas, x, y, 64, bigDresses[row], frame % 4, frame >= 4);
        }
    }
    SavePicture(out, "image/enemy/fairy_t.png", canvas);
}

void MakeOrbs(Output& out) {
    // An orb looks the same from every side: its eight cells turn its star
    // through one quarter turn, front and side alike.
    Canvas canvas(256, 128);
    for (int row = 0; row < 4; ++row) {
        const Rgba hue = Hsv(row * 90.0f + 200.0f, 0.6f, 1.0f);
        for (int frame = 0; frame < 8; ++frame) {
            const float cx = frame * 32 + 16.0f;
            const float cy = row * 32 + 16.0f;
            canvas.Glow(cx, cy, 15, WithAlpha(hue, 0.7f));
            canvas.Disc(cx, cy, 10, Mix(hue, kInk, 0.3f));
            canvas.Disc(cx, cy, 8, hue);
            const float a = (frame % 4) * 22.5f;
            canvas.Star(cx, cy, 7, 2.5f, 4, a, WithAlpha(kWhite, 0.9f));
            canvas.Disc(cx - 3, cy - 3, 2.5f, WithAlpha(kWhite, 0.6f));
        }
    }
    SavePicture(out, "image/enemy/onmyo.png", canvas);
}

// The boss: a large cat spirit, 64 x 64 per frame, the same four frames
// again as its side view.
void MakeBoss(Output& out) {
    Canvas canvas(512, 64);
    for (int cell = 0; cell < 8; ++cell) {
        const int frame = cell % 4;
        const float cx = cell * 64 + 32.0f;
        const float bob = std::sin(frame * kPi / 2.0f) * 1.5f;
        const float cy = 34 + bob;
        const Rgba fur{0.92f, 0.9f, 1.0f, 1};
        canvas.Glow(cx, cy, 32, WithAlpha(kPink, 0.5f));
        for (int i = 0; i < 3; ++i) {  // tails
            const float a = (200 + i * 30 + frame * 6) * kPi / 180.0f;
            canvas.Line(cx, cy + 8, cx + 26 * std::cos(a) * -1, cy + 8 + 20 * std::sin(a), 4,
                        WithAlpha(kPink, 0.8f), true);
        }
        canvas.Ellipse(cx, cy + 8, 16, 13, 0, kInk);
        canvas.Ellipse(cx, cy + 8, 14.5f, 11.5f, 0, fur);
        for (float side : {-1.0f, 1.0f}) {
            std::vector<float> ear{cx + side * 16, cy - 8,         cx + side * 4,
                                   cy - 14,        cx + side * 17, cy - 26};
            canvas.Polygon(ear, kInk);
            std::vector<float> earIn{cx + side * 14.5f, cy - 10,           cx + side * 6,
                                     cy - 14,           cx + side * 15.5f, cy - 23};
            canvas.Polygon(earIn, kPink);
        }
        canvas.Disc(cx, cy - 6, 15, kInk);
        canvas.Disc(cx, cy - 6, 13.5f, fur);
        for (float side : {-1.0f, 1.0f}) {
            canvas.Ellipse(cx + side * 6, cy - 7, 3, frame == 3 ? 0.8f : 4, 0,
                           Rgba{0.2f, 0.75f, 0.5f, 1});
            canvas.Line(cx + side * 4, cy - 1, cx + side * 14, cy - 3, 0.8f, kInk);
            canvas.Line(cx + side * 4, cy + 0, cx + side * 14, cy + 2, 0.8f, kInk);
        }
        canvas.Disc(cx, cy - 2, 1.5f, kPink);
        canvas.Star(cx, cy + 10, 5, 2, 5, frame * 18.0f, kGold);
    }
    SavePicture(out, "image/enemy/pelka.png", canvas);
}

}  // namespace

void MakePlayerPictures(Output& out) {
    MakePlayerSheet(out);
    MakePlayerMarks(out);
}

void MakeEnemyPictures(Output& out) {
    MakeFairies(out);
    MakeOrbs(out);
    MakeBoss(out);
}

void MakeBulletPictures(Output& out) {
    // Rows of 32 x 32 cells (the tables cut them): y 0 the appear flashes,
    // then one row per bullet shape with body, glow and white core, and the
    // sixteen 16 x 16 frames of the timed spark at y 224.
    Canvas canvas(256, 256);
    // Appear flash (cells 0 and 1) and the plain appear mark (cell at 64, 0).
    canvas.Ring(16, 16, 10, 3, WithAlpha(kWhite, 0.9f), true);
    canvas.Glow(16, 16, 15, WithAlpha(kWhite, 0.5f));
    canvas.Glow(48, 16, 15, WithAlpha(kWhite, 0.9f), 1.5f);
    canvas.Star(80, 16, 13, 3, 4, 0, WithAlpha(kWhite, 0.9f), true);
    for (int shape = 0; shape < 6; ++shape) {
        const float y = 32.0f + shape * 32.0f;
        const float cy = y + 16;
        // Glow (cell 1) is common: a soft white light.
        canvas.Glow(48, cy, 15, WithAlpha(kWhite, 0.8f), 2.0f);
        switch (shape) {
            case 0:  // small round
                canvas.Disc(16, cy, 7, Rgba{0.75f, 0.75f, 0.75f, 1});
                canvas.Disc(16, cy, 5.5f, kWhite);
                canvas.Disc(80, cy, 3.5f, kWhite);
                break;
            case 1:  // large orb
                canvas.Disc(16, cy, 13, Rgba{0.7f, 0.7f, 0.7f, 1});
                canvas.Disc(16, cy, 11, kWhite);
                canvas.Disc(80, cy, 7, kWhite);
                canvas.Disc(78, cy - 2, 3, WithAlpha(kWhite, 0.8f));
                break;
            case 2:  // grain, pointing up
                canvas.Ellipse(16, cy, 5, 10, 0, Rgba{0.75f, 0.75f, 0.75f, 1});
                canvas.Ellipse(16, cy, 3.8f, 8.5f, 0, kWhite);
                canvas.Ellipse(80, cy, 2, 5.5f, 0, kWhite);
                break;
            case 3:  // star
                canvas.Star(16, cy, 12, 5, 5, 0, Rgba{0.8f, 0.8f, 0.8f, 1});
                canvas.Star(16, cy, 10, 4, 5, 0, kWhite);
                canvas.Star(80, cy, 6, 2.5f, 5, 0, kWhite);
                break;
            case 4:  // arrowhead, pointing up
                canvas.Polygon({16, y + 3, 25, y + 27, 16, y + 21, 7, y + 27},
                               Rgba{0.8f, 0.8f, 0.8f, 1});
                canvas.Polygon({16, y + 6, 22, y + 24, 16, y + 19, 10, y + 24}, kWhite);
                canvas.Polygon({80, y + 8, 83, y + 20, 80, y + 18, 77, y + 20}, kWhite);
                break;
            default:  // ring
                canvas.Ring(16, cy, 11, 3.5f, kWhite);
                canvas.Ring(80, cy, 11, 1.5f, kWhite, true);
                break;
        }
    }
    // The timed spark: sixteen frames opening and fading.
    for (int f = 0; f < 16; ++f) {
        const float cx = f * 16 + 8.0f;
        const float t = f / 15.0f;
        canvas.Star(cx, 232, 2 + 5.5f * t, 1 + t, 4, f * 11.0f, WithAlpha(kWhite, 1.0f - 0.8f * t),
                    true);
        canvas.Glow(cx, 232, 7, WithAlpha(kWhite, 0.6f * (1.0f - t)));
    }
    SavePicture(out, "image/tama/bullet.png", canvas);
}

void MakeEffectPictures(Output& out) {
    // Eight explosions of sixteen 16 x 16 frames each: a flash that opens into
    // a ring of sparks and fades.
    Canvas canvas(256, 128);
    for (int row = 0; row < 8; ++row) {
        const Rgba hue = row == 0 ? kWhite : Hsv(row * 45.0f - 30.0f, 0.6f, 1.0f);
        Dice dice(100 + row);
        float angles[6];
        for (float& a : angles) {
            a = dice.Range(0, 2 * kPi);
        }
        for (int f = 0; f < 16; ++f) {
            const float t = f / 15.0f;
            const float cx = f * 16 + 8.0f;
            const float cy = row * 16 + 8.0f;
            const float fade = std::pow(1.0f - t, 0.7f);
            canvas.Glow(cx, cy, 3.5f + 4.0f * t, WithAlpha(Mix(kWhite, hue, t), fade), 1.0f);
            canvas.Disc(cx, cy, 2.5f * (1.0f - t) + 0.5f, WithAlpha(kWhite, fade), true);
            canvas.Ring(cx, cy, 1.5f + 5.0f * t, 1.5f, WithAlpha(hue, fade), true);
            for (float a : angles) {
                const float r = 2 + 4.5f * t;
                canvas.Disc(cx + r * std::cos(a), cy + r * std::sin(a), 1.0f,
                            WithAlpha(kWhite, fade), true);
            }
        }
    }
    SavePicture(out, "image/effect/fire.png", canvas);
}

}  // namespace tessel::gamedata
