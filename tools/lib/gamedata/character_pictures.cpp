// Mirelo, the game's star-witch, drawn from ellipses and polygons: once for
// the title (beside the menu) and once for the collection (with a backdrop).
#include <cmath>

#include "tools/lib/gamedata/gamedata_internal.h"

namespace tessel::gamedata {

namespace {

struct Look {
    Rgba robe;
    Rgba robeShade;
    Rgba hair;
    Rgba eyes;
    float staffSide;  // +1 staff on her right (viewer's left), -1 the other
};

void DrawWitch(Canvas& c, float cx, float top, const Look& look) {
    const Rgba skin{1.0f, 0.88f, 0.8f, 1};
    const Rgba outline{0.12f, 0.04f, 0.18f, 1};
    // Staff behind the body.
    const float sx = cx - 150 * look.staffSide;
    c.Line(sx, top + 160, sx + 40 * look.staffSide, top + 470, 9, outline);
    c.Line(sx, top + 160, sx + 40 * look.staffSide, top + 470, 6, Rgba{0.6f, 0.4f, 0.25f, 1});
    c.Glow(sx, top + 150, 70, WithAlpha(kGold, 0.8f));
    c.Star(sx, top + 150, 30, 12, 5, 10, outline);
    c.Star(sx, top + 150, 26, 10, 5, 10, kGold);
    c.Star(sx, top + 150, 12, 5, 5, 10, WithAlpha(kWhite, 0.8f));
    // Hair falling behind the shoulders.
    c.Ellipse(cx, top + 270, 110, 150, 0, outline);
    c.Ellipse(cx, top + 270, 106, 146, 0, look.hair);
    // Robe: a flared dress with a collar.
    std::vector<float> robe{cx - 60,  top + 300, cx + 60,  top + 300,
                            cx + 150, top + 520, cx - 150, top + 520};
    c.Polygon(robe, outline);
    std::vector<float> robeIn{cx - 56,  top + 304, cx + 56,  top + 304,
                              cx + 145, top + 520, cx - 145, top + 520};
    c.Polygon(robeIn, look.robe);
    std::vector<float> shade{cx + 10,  top + 304, cx + 56, top + 304,
                             cx + 145, top + 520, cx + 60, top + 520};
    c.Polygon(shade, look.robeShade);
    c.Ellipse(cx, top + 306, 66, 20, 0, outline);
    c.Ellipse(cx, top + 306, 62, 16, 0, kWhite);
    c.Star(cx, top + 340, 14, 6, 4, 0, kGold);
    // Face.
    c.Ellipse(cx, top + 230, 82, 78, 0, outline);
    c.Ellipse(cx, top + 230, 78, 74, 0, skin);
    c.Ellipse(cx - 42, top + 258, 14, 8, 0, WithAlpha(kPink, 0.45f));
    c.Ellipse(cx + 42, top + 258, 14, 8, 0, WithAlpha(kPink, 0.45f));
    for (float side : {-1.0f, 1.0f}) {
        const float ex = cx + 30 * side;
        c.Ellipse(ex, top + 232, 15, 22, 0, outline);
        c.Ellipse(ex, top + 234, 12, 18, 0, look.eyes);
        c.Ellipse(ex, top + 240, 8, 10, 0, Mix(look.eyes, outline, 0.5f));
        c.Disc(ex - 4, top + 226, 5, kWhite);
        c.Disc(ex + 4, top + 244, 2.5f, WithAlpha(kWhite, 0.8f));
    }
    c.Line(cx - 7, top + 270, cx + 7, top + 270, 2.5f, outline);
    // Fringe over the forehead.
    for (int i = -3; i <= 3; ++i) {
        std::vector<float> lock{cx + i * 24.0f - 18, top + 160,
                                cx + i * 24.0f + 18, top + 160,
                                cx + i * 22.0f + 4,  top + 214 - std::abs(i) * 3.0f};
        c.Polygon(lock, look.hair);
    }
    // Hat: brim, cone and band.
    c.Ellipse(cx, top + 165, 140, 30, -4, outline);
    c.Ellipse(cx, top + 165, 136, 26, -4, look.robe);
    std::vector<float> cone{cx - 80,  top + 160, cx + 75,  top + 152, cx + 60,
                            top + 40, cx + 110,  top - 10, cx + 20,   top + 30};
    c.Polygon(cone, outline);
    std::vector<float> coneIn{cx - 74,  top + 156, cx + 70, top + 148, cx + 56,
                              top + 44, cx + 100,  top - 2, cx + 22,   top + 36};
    c.Polygon(coneIn, look.robe);
    std::vector<float> band{cx - 76, top + 150, cx + 72, top + 142,
                            cx + 70, top + 126, cx - 70, top + 132};
    c.Polygon(band, kPink);
    c.Star(cx + 30, top + 100, 12, 5, 5, 0, kGold);
}

}  // namespace

void MakeCharacterPictures(Output& out) {
    const Look title{Rgba{0.28f, 0.2f, 0.62f, 1}, Rgba{0.2f, 0.13f, 0.45f, 1},
                     Rgba{0.95f, 0.55f, 0.75f, 1}, Rgba{0.2f, 0.7f, 0.85f, 1}, -1.0f};
    Canvas portrait(512, 512);
    portrait.Glow(256, 300, 250, WithAlpha(kCyan, 0.25f), 1.5f);
    DrawWitch(portrait, 256, 40, title);
    SavePicture(out, "image/system/mirelo.png", portrait);

    const Look collection{Rgba{0.62f, 0.18f, 0.35f, 1}, Rgba{0.45f, 0.12f, 0.25f, 1},
                          Rgba{0.98f, 0.85f, 0.5f, 1}, Rgba{0.35f, 0.8f, 0.4f, 1}, 1.0f};
    Canvas backdrop(512, 512);
    backdrop.Disc(256, 260, 230, Rgba{0.08f, 0.05f, 0.2f, 0.85f});
    backdrop.Ring(256, 260, 230, 4, kGold);
    backdrop.Ring(256, 260, 216, 1.5f, WithAlpha(kCyan, 0.8f), true);
    backdrop.Star(256, 260, 200, 80, 6, 0, WithAlpha(kCyan, 0.08f), true);
    DrawWitch(backdrop, 256, 40, collection);
    SavePicture(out, "image/system/col_mirelo.png", backdrop);
}

}  // namespace tessel::gamedata
