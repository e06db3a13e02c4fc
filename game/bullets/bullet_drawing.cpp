// The bullet layer: every live bullet drawn straight through the library's
// drawing calls from one callback of the front draw queue, in two passes. The
// first lays the additive glows of all bullets, the second their bodies, so
// no glow covers a body. Images are centred at the bullet's place on the
// 640 x 480 frame (the play field sits at (64, 16)); the image tables give a
// bullet's cells by its kind's image row: cell 0 the picture, cell 1 the glow,
// cell 2 the white core. Image row 0 holds the common appear image and row 1
// the fallback appear picture.
//
// By state: appearing bullets draw by their kind's appear style at a scale
// shrinking to their own; normal ones by their draw style; vanishing ones fade
// out additively.
//
// Routes: DrawBulletLayer runs DrawGlow on each live bullet, then DrawBody,
// which goes to DrawAppearing, DrawNormal or DrawVanishing; the pulse rings go
// through DrawPulseRings (normal, vanishing) and DrawAppearRings. Nothing here
// changes a bullet or queues a draw request; the calls go straight to the
// bound library drawing calls.
#include <cmath>

#include "game/bullets/bullet_manager.h"
#include "game/draw/library_draw_calls.h"
#include "game/math/angles.h"

namespace {

// The blend modes of the library's drawing calls.
constexpr int32_t kModeAlpha = 1;
constexpr int32_t kModeAdd = 2;

constexpr double kFieldLeft = 64.0;
constexpr double kFieldTop = 16.0;

// Single-precision constants widened to double, as the game was tuned with them.
constexpr double kGlowSwing = 0.2f;
constexpr double kGlowBase = 0.8f;
constexpr double kCoreSwing = 0.1f;
constexpr double kCoreBase = 0.9f;
constexpr double kRingSpacing = 1.2f;
constexpr double kRingBodyScale = 1.4f;

constexpr double kPulseRate = 2.5;
constexpr double kGlowShare = 0.25;
constexpr double kRingInset = 0.125;
constexpr double kRingCoreScale = 1.2;
constexpr double kRingBodyAlpha = 0.03333;
constexpr double kRingCoreAlpha = 0.03;
constexpr double kAppearRingBodyScale = 1.6;
constexpr double kAppearRingCoreScale = 1.2;
constexpr double kTimedCells = 16.0;
constexpr uint8_t kOpaque = 255;

constexpr int32_t kAppearImageRow = 0;
constexpr int32_t kFallbackAppearRow = 1;

enum BulletCell : int32_t { kPictureCell = 0, kGlowCell = 1, kCoreCell = 2 };

// The drawing calls and the manager's tables, for one layer.
class BulletPainter {
  public:
    BulletPainter(const BulletManager& manager, const LibraryDrawCalls& calls)
        : manager_(manager), calls_(calls) {}

    const BulletInfoRow& Row(int32_t kind) const { return BulletKindRow(manager_, kind); }

    void BlendOnly(int32_t mode) const { calls_.setBlendModeOnly(mode); }
    void BodyBlend(const Bullet& bullet) const {
        BlendOnly(bullet.blendAdd != 0 ? kModeAdd : kModeAlpha);
    }

    void Colour(const ColourPair& colour) const {
        calls_.setBrightnessPackedRaw(PackColourWord(colour.colour),
                                      PackColourWord(colour.swapped));
    }
    void White(uint8_t alpha) const {
        ColourPair white;
        white.Set(MakeColorAlpha(255, 255, 255, alpha));
        Colour(white);
    }

    // Cell `cell` of image row `row` centred on the bullet. A row or cell
    // outside the table draws nothing.
    void Image(const Bullet& bullet, double scale, double turn, int32_t row, int32_t cell) const {
        int32_t image;
        if (!Cell(row, cell, &image)) {
            return;
        }
        calls_.drawRotatedAlt(static_cast<float>(bullet.x + kFieldLeft),
                              static_cast<float>(bullet.y + kFieldTop), scale, turn, image);
    }

    // A ring image `distance` behind the bullet, against its direction.
    void RingImage(const Bullet& bullet, double distance, double scale, double turn, int32_t row,
                   int32_t cell) const {
        int32_t image;
        if (!Cell(row, cell, &image)) {
            return;
        }
        double back = bullet.angle + 180.0;
        calls_.drawRotated(static_cast<float>(bullet.x + kFieldLeft + PolarX(distance, back)),
                           static_cast<float>(bullet.y + kFieldTop + PolarY(distance, back)), scale,
                           turn, image, 1, 0);
    }

    void End() const {
        calls_.setBlendMode(kModeAlpha, 255);
        calls_.setBrightnessPackedRaw(0xFFFFFFFFu, 0xFFFFFFFFu);
    }

  private:
    bool Cell(int32_t row, int32_t cell, int32_t* image) const {
        if (row < 0 || row >= kCellRows || cell < 0 || cell >= kCellsPerRow) {
            return false;
        }
        *image = manager_.images.rows[row][cell];
        return true;
    }

    const BulletManager& manager_;
    const LibraryDrawCalls& calls_;
};

ColourPair WithAlpha(const ColourPair& colour, double alpha) {
    ColourPair faded = colour;
    faded.SetAlpha(static_cast<uint8_t>(UnitToByte(alpha)));
    return faded;
}

// How a style turns its images: along the direction, by the phase time taken
// as radians, or not at all.
double StyleTurn(const Bullet& bullet, int32_t style) {
    if (style == kBulletTurned) {
        return CompassDegToRad(bullet.angle);
    }
    if (style == kBulletSpinning) {
        return bullet.phaseTime;
    }
    return 0.0;
}

bool IsPlainFamily(int32_t style) {
    return style == kBulletPlain || style == kBulletTurned || style == kBulletSpinning;
}

double CoreScale(const Bullet& bullet, const BulletInfoRow& row, double scale) {
    if (row.int3 == 0) {
        return scale;
    }
    return scale * (std::cos(bullet.phaseTime * kPulseRate) * kCoreSwing + kCoreBase);
}

double RingInset(const BulletInfoRow& row, double scale) {
    return row.height * kRingSpacing * kRingInset * scale;
}

void DrawGlow(const BulletPainter& paint, const Bullet& bullet) {
    const BulletInfoRow& row = paint.Row(bullet.kind);
    bool glowing = bullet.state == kStateNormal && IsPlainFamily(row.style);
    bool vanishing = bullet.state == kStateVanishing && row.int2 == 1;
    if (!glowing && !vanishing) {
        return;
    }
    double scale = (std::cos(bullet.phaseTime * kPulseRate) * kGlowSwing + kGlowBase) * kGlowShare +
                   bullet.scale;
    ColourPair colour = bullet.colour;
    if (vanishing) {
        colour = WithAlpha(bullet.colour, bullet.vanishAlpha);
        scale *= bullet.vanishScale;
    }
    paint.Colour(colour);
    paint.Image(bullet, scale, StyleTurn(bullet, row.style), row.imageRow, kGlowCell);
}

// The pulse rings: a coloured ring and, at half the distance, a white one.
// While vanishing both fade with the bullet and the white ones shrink.
void DrawPulseRings(const BulletPainter& paint, const Bullet& bullet, const BulletInfoRow& row,
                    bool vanishing) {
    double fade = vanishing ? bullet.vanishAlpha : 1.0;
    double coreScale = vanishing ? bullet.vanishShrink : bullet.scale;
    for (int i = 0; i < kPulseRings; ++i) {
        double distance = bullet.ringSize[i] - RingInset(row, bullet.scale);
        double bodyAlpha = bullet.ringTimer[i] * kRingBodyAlpha * bullet.ringAlpha[i];
        double coreAlpha = bullet.ringTimer[i] * kRingCoreAlpha * bullet.ringAlpha[i];
        double coreDistance = distance;
        if (vanishing) {
            bodyAlpha *= fade;
            coreAlpha *= fade;
            coreDistance = bullet.ringSize[i] - RingInset(row, coreScale);
        }
        paint.BodyBlend(bullet);
        paint.Colour(WithAlpha(bullet.colour, bodyAlpha));
        paint.RingImage(bullet, distance, bullet.scale * kRingBodyScale, bullet.ringAngle[i],
                        row.imageRow, kPictureCell);
        paint.BlendOnly(kModeAdd);
        paint.White(static_cast<uint8_t>(UnitToByte(coreAlpha)));
        paint.RingImage(bullet, coreDistance / 2.0, coreScale * kRingCoreScale, bullet.ringAngle[i],
                        row.imageRow, kGlowCell);
    }
}

void DrawTimed(const BulletPainter& paint, const Bullet& bullet, const BulletInfoRow& row) {
    double frame = kTimedCells / bullet.lifetime * bullet.age;
    if (!(frame >= 0.0 && frame < kCellsPerRow)) {
        return;
    }
    paint.BodyBlend(bullet);
    paint.White(kOpaque);
    // The angle goes to the library unconverted, as radians.
    paint.Image(bullet, bullet.scale, bullet.angle, row.imageRow, static_cast<int32_t>(frame));
}

void DrawNormal(const BulletPainter& paint, const Bullet& bullet, const BulletInfoRow& row) {
    if (IsPlainFamily(row.style)) {
        double turn = StyleTurn(bullet, row.style);
        paint.BodyBlend(bullet);
        paint.Colour(bullet.colour);
        paint.Image(bullet, bullet.scale, turn, row.imageRow, kPictureCell);
        paint.White(kOpaque);
        paint.Image(bullet, CoreScale(bullet, row, bullet.scale), turn, row.imageRow, kCoreCell);
    } else if (row.style == kBulletPulse) {
        DrawPulseRings(paint, bullet, row, false);
    } else if (row.style == kBulletTimed) {
        DrawTimed(paint, bullet, row);
    }
}

void DrawVanishing(const BulletPainter& paint, const Bullet& bullet, const BulletInfoRow& row) {
    if (IsPlainFamily(row.style)) {
        ColourPair colour = WithAlpha(bullet.colour, bullet.vanishAlpha);
        double turn = StyleTurn(bullet, row.style);
        paint.BlendOnly(kModeAdd);
        paint.Colour(colour);
        paint.Image(bullet, bullet.vanishShrink, turn, row.imageRow, kPictureCell);
        paint.White(colour.colour.a);
        paint.Image(bullet, CoreScale(bullet, row, bullet.vanishScale), turn, row.imageRow,
                    kCoreCell);
    } else if (row.style == kBulletPulse) {
        DrawPulseRings(paint, bullet, row, true);
    } else if (row.style == kBulletTimed) {
        DrawTimed(paint, bullet, row);
    }
}

// A picture in the bullet's colour and then a white one over it, additively.
void DrawAppearPair(const BulletPainter& paint, const Bullet& bullet, double scale, double turn,
                    int32_t row, int32_t secondCell) {
    paint.BodyBlend(bullet);
    paint.Colour(bullet.colour);
    paint.Image(bullet, scale, turn, row, kPictureCell);
    paint.BlendOnly(kModeAdd);
    paint.White(bullet.colour.colour.a);
    paint.Image(bullet, scale, turn, row, secondCell);
}

void DrawAppearRings(const BulletPainter& paint, const Bullet& bullet, const BulletInfoRow& row,
                     double scale) {
    for (int i = 0; i < kPulseRings; ++i) {
        double distance = bullet.ringSize[i] - RingInset(row, bullet.scale);
        paint.BodyBlend(bullet);
        paint.Colour(bullet.colour);
        paint.RingImage(bullet, distance, scale * kAppearRingBodyScale, bullet.ringAngle[i],
                        row.imageRow, kPictureCell);
        paint.BlendOnly(kModeAdd);
        paint.White(bullet.colour.colour.a);
        paint.RingImage(bullet, distance, scale * kAppearRingCoreScale, bullet.ringAngle[i],
                        row.imageRow, kGlowCell);
    }
}

void DrawAppearing(const BulletPainter& paint, const Bullet& bullet, const BulletInfoRow& row) {
    double scale = (bullet.fade.fadeTarget + bullet.fade.fadeA + bullet.fade.fadeB) * bullet.scale;
    switch (row.int1) {
        case 0:
        case 4:
        case 5:
            return;
        case 1:
            DrawAppearPair(paint, bullet, scale, CompassDegToRad(bullet.angle), kAppearImageRow,
                           kGlowCell);
            return;
        case 2:
            if (row.style == kBulletTurned) {
                DrawAppearPair(paint, bullet, scale, CompassDegToRad(bullet.angle), row.imageRow,
                               kCoreCell);
            } else {
                DrawAppearPair(paint, bullet, scale, 0.0, row.imageRow, kGlowCell);
            }
            return;
        case 3:
            DrawAppearRings(paint, bullet, row, scale);
            return;
        default:
            paint.BodyBlend(bullet);
            paint.Colour(bullet.colour);
            paint.Image(bullet, scale, 0.0, kFallbackAppearRow, kPictureCell);
            return;
    }
}

void DrawBody(const BulletPainter& paint, const Bullet& bullet) {
    const BulletInfoRow& row = paint.Row(bullet.kind);
    switch (bullet.state) {
        case kStateAppearing:
            DrawAppearing(paint, bullet, row);
            break;
        case kStateNormal:
            DrawNormal(paint, bullet, row);
            break;
        case kStateVanishing:
            DrawVanishing(paint, bullet, row);
            break;
        default:
            break;
    }
}

}  // namespace

void DrawBulletLayer(BulletManager* manager) {
    BulletPainter paint(*manager, DrawCalls());
    paint.BlendOnly(kModeAdd);
    for (int32_t position = 0; position < manager->activeCount; ++position) {
        const Bullet& bullet = *manager->order[position];
        if (bullet.active != 0) {
            DrawGlow(paint, bullet);
        }
    }
    for (int32_t position = 0; position < manager->activeEnd; ++position) {
        const Bullet& bullet = *manager->order[position];
        if (bullet.active != 0) {
            DrawBody(paint, bullet);
        }
    }
    paint.End();
}
