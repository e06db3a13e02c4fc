// A bullet manager with a small set of kinds, one per look, for the bullet tests.
#pragma once

#include <memory>

#include "game/bullets/bullet_manager.h"

enum TestBulletKind : int32_t {
    kPlainKind = 1,     // style 1, appears at once, vanishes with a glow
    kTurnedKind = 2,    // style 2, appears through its own cells, vanish style 2
    kSpinningKind = 3,  // style 3, appears with rings, half the fade step, pulsing core
    kPulseKind = 4,     // style 4, appears at once
    kTimedKind = 6,     // style 6, appear style 6
    kTrailKind = 10,    // style 0; its trail is kind 11
    kTrailPieceKind = 11,
    kQuickVanishKind = 12,     // style 1, vanish style 0
    kFallbackAppearKind = 13,  // style 1, appear style 7
    kCommonAppearKind = 14,    // style 2, appear style 1
    kPlainAppearKind = 15,     // style 1, appear style 2
};

inline BulletInfoRow MakeRow(int32_t imageRow, int32_t appear, int32_t vanish, int32_t style,
                             int32_t pulse, int32_t height, double real1, double real2,
                             double real3, double hitRadius) {
    BulletInfoRow row{};
    row.imageRow = imageRow;
    row.int1 = appear;
    row.int2 = vanish;
    row.style = style;
    row.int3 = pulse;
    row.width = height;
    row.height = height;
    row.real1 = real1;
    row.real2 = real2;
    row.real3 = real3;
    row.hitRadius = hitRadius;
    return row;
}

inline std::unique_ptr<BulletManager> MakeTestBulletManager() {
    static BulletInfoRow rows[kKindRows];
    rows[kPlainKind] = MakeRow(5, 0, 1, 1, 0, 16, 2.0, 1.0, 4.0, 10.0);
    rows[kTurnedKind] = MakeRow(6, 2, 2, 2, 0, 16, 2.5, 1.0, 3.5, 12.0);
    rows[kSpinningKind] = MakeRow(7, 3, 3, 3, 1, 24, 3.0, 0.75, 6.0, 20.0);
    rows[kPulseKind] = MakeRow(8, 0, 1, 4, 0, 20, 1.0, 1.0, 7.0, 30.0);
    rows[kTimedKind] = MakeRow(9, 6, 0, 6, 0, 32, 1.0, 1.0, 5.0, 25.0);
    rows[kTrailKind] = MakeRow(kTrailPieceKind, 0, 0, 0, 0, 8, 1.0, 1.0, 2.0, 3.0);
    rows[kTrailPieceKind] = MakeRow(12, 0, 0, 6, 0, 8, 1.0, 1.0, 2.0, 40.0);
    rows[kQuickVanishKind] = MakeRow(5, 0, 0, 1, 0, 16, 2.0, 1.0, 4.0, 10.0);
    rows[kFallbackAppearKind] = MakeRow(5, 7, 1, 1, 0, 16, 2.0, 1.0, 4.0, 10.0);
    rows[kCommonAppearKind] = MakeRow(6, 1, 1, 2, 0, 16, 2.0, 1.0, 4.0, 10.0);
    rows[kPlainAppearKind] = MakeRow(5, 2, 1, 1, 0, 16, 2.0, 1.0, 4.0, 10.0);
    static BulletImageTable images{};
    for (int r = 0; r < kCellRows; ++r) {
        for (int c = 0; c < kCellsPerRow; ++c) {
            images.rows[r][c] = 1000 + r * 100 + c;
        }
    }
    return std::make_unique<BulletManager>(rows, images);
}

// A request with plain values; tests change what they look at.
inline BulletRequest MakeShot(int32_t kind, double x, double y, double speed, double angle) {
    BulletRequest shot{};
    shot.kind = kind;
    shot.behaviour = -1;
    shot.colour = MakeColor(200, 100, 50);
    shot.x = x;
    shot.y = y;
    shot.speed = speed;
    shot.angle = angle;
    shot.scale = 1.0;
    shot.appearSpeed = 0.5;
    shot.appearScaleFactor = 1.0;
    return shot;
}
