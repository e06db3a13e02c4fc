// The rows of the bullet and enemy kind tables and the image tables cut from
// the image files, as the bullet and enemy managers copy them when they are
// built. Start-up reads them from the game's CSV tables; the managers only
// read them.
#pragma once

#include <cstdint>

constexpr int kKindRows = 64;
constexpr int kCellRows = 64;
constexpr int kCellsPerRow = 32;
constexpr int kBulletImageFiles = 16;
constexpr int kEnemyImageFiles = 64;

// One bullet kind.
struct BulletInfoRow {
    int32_t imageRow;  // the cell row whose cell 0 is the bullet's picture; 0 none
    int32_t int1;      // appear style: 0 and 6 skip appearing, 3 halves the fade step
    int32_t int2;      // vanish style, 0 to 3
    int32_t style;     // draw style: 0 trail emitter, 1 plain, 2 turned, 3 spinning, 4 pulse
                       // rings, 6 timed
    int32_t int3;      // non-zero: the body's white image pulses
    int32_t width;     // of the picture
    int32_t height;
    int32_t int4;
    double real1;      // appearing starts at real1 x the request's appear scale factor ...
    double real2;      // ... and shrinks towards real2
    double real3;      // radius of the bullet's hit circle
    double hitRadius;  // the margin past the field's edges before the bullet is dropped
};

// One enemy kind.
struct EnemyInfoRow {
    int32_t imageRow;
    int32_t int1;  // 3 halves the appearing fade step
    int32_t int2;
    int32_t int3;
    int32_t int4;
    int32_t int5;
    int32_t width;
    int32_t height;
    double real1;  // radius of the body's hit circle
    double real2;  // radius of the circle that player shots and bomb pieces test
    double real3;
    double real4;
    double hitRadius;
};

// Image handles: the files by image number and the cells cut from them, by
// row id. Unfilled entries are 0.
struct BulletImageTable {
    int32_t files[kBulletImageFiles];
    int32_t cells[kCellRows][kCellsPerRow];
};

struct EnemyImageTable {
    int32_t files[kEnemyImageFiles];
    int32_t cells[kCellRows][kCellsPerRow];
};
