// Reading the four data tables into a GameDataBlock. Lines are read through the
// library's file layer, so a table may also come from its folder's archive.
//
// Line rules, common to the four files: commas count as blanks; a line whose
// first character is a digit is a data line, an '@' starts an image line (in
// the image tables only), anything else is a comment. A data line with fewer
// fields than its format keeps the previous line's values for the rest. A line
// whose id, image number, row or cell count lies outside its table is refused
// with one log line and changes nothing.
#pragma once

#include <cstdint>

#include "game/data/game_data.h"

// The image calls the tables make, supplied by whoever owns image handles.
struct TableImageOps {
    int32_t (*loadImage)(const char* path);  // a new image handle, -1 on failure
    int32_t (*cutImage)(int x, int y, int width, int height, int32_t source);  // -1 on failure
    int (*imageSize)(int32_t image, int* width, int* height);  // 0, or -1 for a bad handle
};

// What one file gave; a file that does not open reads as all zero.
struct TableReadCount {
    int opened;        // 1 when the file opened
    int imageLines;    // '@' lines taken
    int dataLines;     // data lines stored
    int shortLines;    // data lines with fewer fields than their format (stored all the same)
    int refusedLines;  // lines refused for an out-of-range value
};

constexpr int kTablePathMax = 63;

extern const char kBulletTableFolder[];  // "image\tama\"
extern const char kEnemyTableFolder[];   // "image\enemy\"

TableReadCount ReadBulletImageTable(const char* path, const char* folder, const TableImageOps& ops,
                                    BulletImageTable* table);
TableReadCount ReadEnemyImageTable(const char* path, const char* folder, const TableImageOps& ops,
                                   EnemyImageTable* table);
TableReadCount ReadBulletInfoTable(const char* path, const TableImageOps& ops,
                                   const BulletImageTable& images, BulletInfoRow* rows);
TableReadCount ReadEnemyInfoTable(const char* path, const TableImageOps& ops,
                                  const EnemyImageTable& images, EnemyInfoRow* rows);

// The four files in start-up order: bullet_image.csv and tama_info.csv from
// image\tama\, enemy_image.csv and enemy_info.csv from image\enemy\. The counts
// of the four, in that order, go to `counts` when it is not null.
void LoadDataTables(GameDataBlock* data, const TableImageOps& ops, TableReadCount counts[4]);

// The margin of a kind whose picture is width x height: the larger side times
// 1.41421356 x 0.5 x 1.2 (single-precision constants widened), or twice the
// larger side for bullets of draw style 4.
double PictureHitRadius(int width, int height);
double PulseRingHitRadius(int width, int height);
