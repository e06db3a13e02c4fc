// The game's pictures cut into cells: 54 records, each a run of consecutive
// entries of one cell table, made in a fixed order that other parts of the
// game index. A name cache makes every file load once however many records
// cut it; the cells share the file's pixels as sub-images.
#pragma once

#include <cstdint>

constexpr int kImageCellTableSize = 8000;
constexpr int kImageNameCacheSize = 256;
// 63 characters and the end: the game's own record of
// "image\system\collection_info.png" needs 32.
constexpr int kImageNameBytes = 64;
constexpr int kGameImageRecords = 54;

struct ImageCellRecord {
    int32_t first;  // index into ImageCellTable
    int32_t count;  // consecutive cells
};

struct ImageNameEntry {
    char name[kImageNameBytes];  // empty: a free entry
    int32_t image;
};

// What one record cuts from which file.
struct ImageCellCut {
    const char* path;
    int count, perRow, x0, y0, width, height;
};
// The 54 records' cuts, in their fixed order.
extern const ImageCellCut kGameImageCuts[kGameImageRecords];

extern int32_t ImageCellTable[kImageCellTableSize];  // -1 where no cell is
extern int32_t ImageCellNext;                        // the next free entry
extern ImageNameEntry ImageNameCache[kImageNameCacheSize];
extern ImageCellRecord GameImages[kGameImageRecords];

// Empties the name cache and the cell table.
void ResetImageCells();
// Cuts `count` cells of w x h, `perRow` to a row, from (x0, y0) of the file,
// into the next entries of the cell table; a count of 0 stores the file's own
// handle once. A file that does not load gives -1 cells; a name longer than
// the cache holds, a full cache or a full table refuse with one log line.
ImageCellRecord LoadImageCells(const char* path, int count, int perRow, int x0, int y0,
                               int cellWidth, int cellHeight);
// The 54 records, in their fixed order.
void LoadGameImages();
// The image of cell `cell` of record `record`; -1 when the record has no such
// cell (or was never made).
int32_t GameImageCell(int record, int cell);
