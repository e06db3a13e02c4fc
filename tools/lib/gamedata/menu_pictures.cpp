// The menus' pictures: title entries and their descriptions, scene titles,
// pause words, the game-over and level-up banners, the collection, the
// message window and the key-configuration labels.
#include <cmath>

#include "tools/lib/gamedata/gamedata_internal.h"

namespace tessel::gamedata {

namespace {

void MakeTitleMenu(Output& out) {
    Canvas canvas(320, 216);
    const char* entries[6] = {"Endless", "2minutes", "Collection", "Replay", "Key Config", "Quit"};
    for (int i = 0; i < 6; ++i) {
        const float y = 24.0f * i;
        canvas.Star(9, y + 12, 6, 2.5f, 4, 0, WithAlpha(kCyan, 0.9f), true);
        DrawTextInBox(canvas, entries[i], 20, y, 160, y + 24, Align::Left, MenuTextStyle(18));
    }
    const char* descriptions[6] = {
        "Play until your lives run out. How far can you go?",
        "Two minutes on the clock. A miss costs 15 seconds.",
        "Look at the medals you have earned so far.",
        "Watch a replay you saved.",
        "Choose the pad buttons for shot, bomb, slow and pause.",
        "Close the game. See you again!",
    };
    TextStyle small = LabelTextStyle(11);
    small.outline = 0.0f;
    for (int i = 0; i < 6; ++i) {
        const float y = 144.0f + 12.0f * i;
        DrawTextInBox(canvas, descriptions[i], 4, y, 320, y + 12, Align::Left, small);
    }
    SavePicture(out, "image/system/title_menu.png", canvas);
}

void MakeWords(Output& out) {
    Canvas canvas(256, 256);
    TextStyle big = MenuTextStyle(26);
    big.glowColour = kPink;
    DrawTextInBox(canvas, "- PAUSE -", 0, 0, 256, 32, Align::Left, big);
    DrawTextInBox(canvas, "Resume", 0, 32, 256, 64, Align::Left, MenuTextStyle(22));
    DrawTextInBox(canvas, "Give up", 0, 64, 256, 96, Align::Left, MenuTextStyle(22));
    const char* titles[4] = {"Replay Select", "Replay Save", "Key Config", "Collection"};
    for (int i = 0; i < 4; ++i) {
        const float y = 96.0f + 32.0f * i;
        canvas.FillRect(0, y + 27, 200, y + 29, WithAlpha(kPink, 0.7f));
        DrawTextInBox(canvas, titles[i], 2, y, 256, y + 28, Align::Left, big);
    }
    const TextStyle label = LabelTextStyle(13, kGold, Rgba{1.0f, 0.6f, 0.2f, 1});
    DrawTextInBox(canvas, "LEVEL", 0, 224, 256, 240, Align::Left, label);
    DrawTextInBox(canvas, "TIME", 0, 240, 256, 256, Align::Left, label);
    SavePicture(out, "image/system/mozi.png", canvas);
}

void MakeBanners(Output& out) {
    Canvas canvas(256, 192);
    TextStyle over = MenuTextStyle(40);
    over.top = Rgba{1.0f, 0.8f, 0.85f, 1};
    over.bottom = Rgba{0.9f, 0.15f, 0.3f, 1};
    over.glowColour = Rgba{1.0f, 0.2f, 0.3f, 1};
    DrawTextInBox(canvas, "GAME OVER", 0, 0, 256, 64, Align::Centre, over);
    // A band of light behind the words.
    for (int y = 64; y < 128; ++y) {
        const float t = 1.0f - std::fabs(y - 96.0f) / 32.0f;
        canvas.FillRect(0, y, 256, y + 1, WithAlpha(kPink, 0.55f * t * t));
    }
    canvas.Line(8, 96, 248, 96, 1.5f, WithAlpha(kWhite, 0.9f), true);
    TextStyle up = MenuTextStyle(40);
    up.top = kWhite;
    up.bottom = kGold;
    up.glowColour = kGold;
    DrawTextInBox(canvas, "LEVEL UP!", 0, 128, 256, 192, Align::Centre, up);
    SavePicture(out, "image/system/gameover.png", canvas);
}

// A medal: a coloured disc with rim and symbol; cell 0 is the locked one.
void Medal(Canvas& canvas, float cx, float cy, int index) {
    if (index == 0) {
        canvas.Disc(cx, cy, 26, Rgba{0.25f, 0.25f, 0.32f, 1});
        canvas.Ring(cx, cy, 24, 2.5f, Rgba{0.5f, 0.5f, 0.6f, 1});
        DrawTextInBox(canvas, "?", cx - 26, cy - 26, cx + 26, cy + 26, Align::Centre,
                      LabelTextStyle(30));
        return;
    }
    const Rgba hue = Hsv(index * 30.0f, 0.65f, 1.0f);
    canvas.Glow(cx, cy, 32, WithAlpha(hue, 0.6f));
    canvas.Disc(cx, cy, 25, Mix(hue, kWhite, 0.15f));
    canvas.Disc(cx - 5, cy - 6, 14, WithAlpha(kWhite, 0.25f));
    canvas.Ring(cx, cy, 24, 3.0f, kGold);
    canvas.Star(cx, cy + 1, 13, 5.5f, 4 + index % 3, index * 9.0f, WithAlpha(kWhite, 0.95f));
}

void MakeCollection(Output& out) {
    Canvas icons(256, 256);
    for (int i = 0; i < 13; ++i) {
        Medal(icons, (i % 4) * 64 + 32.0f, (i / 4) * 64 + 32.0f, i);
    }
    SavePicture(out, "image/system/collection.png", icons);

    Canvas info(320, 624);
    const char* texts[13][2] = {
        {"? ? ?", "Not earned yet. Keep playing!"},
        {"No Miss", "Finish a 2minutes game without a miss."},
        {"Bombless", "Finish a game without a single bomb."},
        {"Close Call", "Save yourself with a bomb 30 times."},
        {"Never Give Up?", "Give up 50 times. It happens."},
        {"Cat Tamer", "Defeat the boss 50 times."},
        {"Regular", "Start 10 games."},
        {"Devoted", "Start 100 games."},
        {"Level 5", "Reach level 5 in any mode."},
        {"Level 10", "Reach level 10 in any mode."},
        {"Level 15", "Reach level 15 in any mode."},
        {"Quick Five", "Reach level 5 in 2minutes."},
        {"Quick Ten", "Reach level 10 in 2minutes."},
    };
    TextStyle head = MenuTextStyle(18);
    head.glowColour = kGold;
    TextStyle body = LabelTextStyle(13);
    for (int i = 0; i < 13; ++i) {
        const float y = 48.0f * i;
        info.RoundRect(1, y + 1, 319, y + 47, 6, Rgba{0.05f, 0.04f, 0.15f, 0.75f});
        info.RoundRectFrame(1, y + 1, 319, y + 47, 6, 1.2f, WithAlpha(kCyan, 0.7f));
        DrawTextInBox(info, texts[i][0], 10, y + 2, 320, y + 24, Align::Left, head);
        DrawTextInBox(info, texts[i][1], 12, y + 24, 320, y + 44, Align::Left, body);
    }
    SavePicture(out, "image/system/collection_info.png", info);
}

void MakeMessageWindow(Output& out) {
    Canvas canvas(380, 64);
    canvas.RoundRect(2, 2, 378, 62, 10, Rgba{0.04f, 0.03f, 0.14f, 0.8f});
    canvas.VerticalGradient(4, 4, 376, 24, WithAlpha(kWhite, 0.12f), WithAlpha(kWhite, 0.0f));
    canvas.RoundRectFrame(2, 2, 378, 62, 10, 2.0f, kCyan);
    canvas.RoundRectFrame(6, 6, 374, 58, 7, 1.0f, WithAlpha(kPink, 0.6f));
    for (float x : {12.0f, 368.0f}) {
        canvas.Star(x, 32, 6, 2, 4, 0, kWhite, true);
    }
    SavePicture(out, "image/system/msgwin.png", canvas);
}

void MakePadLabels(Output& out) {
    Canvas canvas(256, 144);
    const char* labels[6] = {"Shot", "Bomb", "Slow", "Pause", "Save and return", "Cancel"};
    for (int i = 0; i < 6; ++i) {
        const float y = 24.0f * i;
        canvas.Ring(10, y + 12, 5, 1.5f, kCyan, true);
        DrawTextInBox(canvas, labels[i], 22, y, 256, y + 24, Align::Left, MenuTextStyle(17));
    }
    SavePicture(out, "image/system/padconf.png", canvas);
}

}  // namespace

void MakeMenuPictures(Output& out) {
    MakeTitleMenu(out);
    MakeWords(out);
    MakeBanners(out);
    MakeCollection(out);
    MakeMessageWindow(out);
    MakePadLabels(out);
}

}  // namespace tessel::gamedata
