// The game's data tables: the bullet and enemy kinds, which image files they
// use and how those files are cut into animation cells. Four comma-separated
// text files fill them once at start-up, before the other assets load; the
// bullet and enemy managers copy the rows they need.
#pragma once

#include <cstdint>

constexpr int kBulletImageFiles = 16;
constexpr int kEnemyImageFiles = 64;
constexpr int kCellRows = 64;
constexpr int kCellsPerRow = 32;
constexpr int kBulletKinds = 64;
constexpr int kEnemyKinds = 64;

// One kind of enemy bullet (tama_info.csv).
struct BulletInfoRow {
    int32_t imageRow;  // bullet cell row whose cell 0 is the picture; 0 none
    int32_t int1;      // appear style: 0 and 6 skip appearing, 3 halves the fade step
    int32_t int2;      // vanish style, 0 to 3
    int32_t style;     // draw style: 0 trail, 1 plain, 2 turned, 3 spinning, 4 rings, 6 timed
    int32_t int3;      // non-zero pulses the white core
    int32_t width;     // of the image row's first cell; 0 without an image row
    int32_t height;
    int32_t int4;
    double real1;      // appear scale the fade starts from
    double real2;      // scale the fade ends at
    double real3;      // radius of the bullet's hit circle
    double hitRadius;  // margin for leaving the field, from the picture's size
};

// One kind of enemy (enemy_info.csv).
struct EnemyInfoRow {
    int32_t imageRow;  // enemy cell row; 0 none
    int32_t int1;      // 3 halves the appearing fade step
    int32_t int2;
    int32_t int3;
    int32_t int4;
    int32_t int5;
    int32_t width;  // of the image row's first cell; 0 without an image row
    int32_t height;
    double real1;  // radius of the body's hit circle
    double real2;  // radius of the circle player shots and bomb pieces test
    double real3;
    double real4;
    double hitRadius;
};

// Image handles: the files a table names, by image number, and the cell rows
// cut from them, by row id. Unfilled entries are 0.
struct BulletImageTable {
    int32_t files[kBulletImageFiles];
    int32_t rows[kCellRows][kCellsPerRow];
};
struct EnemyImageTable {
    int32_t files[kEnemyImageFiles];
    int32_t rows[kCellRows][kCellsPerRow];
};

struct GameDataBlock {
    int32_t screenWidth;  // set by start-up from the configuration
    int32_t screenHeight;
    BulletImageTable bulletImages;
    BulletInfoRow bulletInfo[kBulletKinds];
    EnemyImageTable enemyImages;
    EnemyInfoRow enemyInfo[kEnemyKinds];
};

extern GameDataBlock GameData;
