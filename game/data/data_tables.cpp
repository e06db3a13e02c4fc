// The four data-table readers. Each file is read line by line; the fields of a
// line are taken in order until one does not parse, like a scanf, into parse
// targets that live as long as the file is read, so a short line keeps the
// values of the line before it. Names are read with a width limit, and a
// line whose numbers would index outside a table is refused rather than
// written anywhere.
#include "game/data/data_tables.h"

#include <algorithm>
#include <cstring>

#include "foundation/files/file_ops.h"
#include "foundation/memory/log.h"
#include "game/data/table_fields_internal.h"

GameDataBlock GameData;

const char kBulletTableFolder[] = "image\\tama\\";
const char kEnemyTableFolder[] = "image\\enemy\\";

namespace {

using table_fields::FieldScanner;

constexpr int kLineBytes = 256;
constexpr int kNameBytes = 64;
constexpr int kMaxCellsPerLine = kCellsPerRow;

bool InRange(int32_t value, int32_t low, int32_t end) {
    return value >= low && value < end;
}

void RefuseLine(const char* path, int lineNumber, const char* why, TableReadCount* count) {
    tessel::WriteLogFormat("データ表の行を読み飛ばしました : %s %d 行目 : %s\n", path, lineNumber,
                           why);
    ++count->refusedLines;
}

// Calls `onLine`(text, first character, line number) for every line that is an
// image line or a data line; commas become blanks first.
template <class OnLine>
TableReadCount ReadTableLines(const char* path, OnLine onLine) {
    TableReadCount count{};
    tessel::FileHandle file = tessel::FsOpenRead(path, 0);
    if (file == 0) {
        return count;
    }
    count.opened = 1;
    char line[kLineBytes];
    int lineNumber = 0;
    while (tessel::FsReadLine(line, kLineBytes, file) >= 0) {
        ++lineNumber;
        for (int i = 0; i < kLineBytes && line[i] != '\0'; ++i) {
            if (line[i] == ',') {
                line[i] = ' ';
            }
        }
        const char first = line[0];
        if (first == '@' || (first >= '0' && first <= '9')) {
            onLine(line, first, lineNumber, &count);
        }
    }
    tessel::FsClose(file);
    return count;
}

// folder + name into `path`; false when it would pass the path limit.
bool JoinTablePath(const char* folder, const char* name, char (&path)[kTablePathMax + 1]) {
    size_t folderLength = std::strlen(folder);
    size_t nameLength = std::strlen(name);
    if (folderLength + nameLength > kTablePathMax) {
        return false;
    }
    std::memcpy(path, folder, folderLength);
    std::memcpy(path + folderLength, name, nameLength + 1);
    return true;
}

// Parse targets of an image table, kept for the whole file.
struct ImageLineFields {
    char tag[kNameBytes];
    int32_t image;
    char name[kNameBytes];
};
struct CellLineFields {
    int32_t row;
    int32_t image;
    char name[kNameBytes];
    int32_t x0, y0, width, height, count, perRow, unused;
};

// The shared reader of both image tables: `files` has `fileCount` entries,
// `rows` the 64 cell rows. `hasTenthField` reads the bullet table's extra value.
TableReadCount ReadImageTable(const char* path, const char* folder, const TableImageOps& ops,
                              int32_t* files, int fileCount, int32_t (*rows)[kCellsPerRow],
                              bool hasTenthField) {
    ImageLineFields image{};
    CellLineFields cells{};
    return ReadTableLines(path, [&](const char* line, char first, int lineNumber,
                                    TableReadCount* count) {
        if (first == '@') {
            FieldScanner(line)
                .Word(image.tag, kNameBytes)
                .Int(&image.image)
                .Word(image.name, kNameBytes);
            if (!InRange(image.image, 0, fileCount)) {
                RefuseLine(path, lineNumber, "画像番号が範囲外です", count);
                return;
            }
            char imagePath[kTablePathMax + 1];
            if (!JoinTablePath(folder, image.name, imagePath)) {
                RefuseLine(path, lineNumber, "画像ファイル名が長すぎます", count);
                return;
            }
            files[image.image] = ops.loadImage(imagePath);
            ++count->imageLines;
            return;
        }
        FieldScanner scan(line);
        scan.Int(&cells.row).Int(&cells.image).Word(cells.name, kNameBytes).Int(&cells.x0);
        scan.Int(&cells.y0).Int(&cells.width).Int(&cells.height).Int(&cells.count);
        scan.Int(&cells.perRow);
        if (hasTenthField) {
            scan.Int(&cells.unused);
        }
        const int expected = hasTenthField ? 10 : 9;
        if (!InRange(cells.row, 0, kCellRows)) {
            RefuseLine(path, lineNumber, "行番号が範囲外です", count);
            return;
        }
        if (!InRange(cells.image, 0, fileCount)) {
            RefuseLine(path, lineNumber, "画像番号が範囲外です", count);
            return;
        }
        if (!InRange(cells.count, 0, kMaxCellsPerLine + 1)) {
            RefuseLine(path, lineNumber, "セル数が範囲外です", count);
            return;
        }
        if (cells.perRow < 1) {
            RefuseLine(path, lineNumber, "一行のセル数が 0 以下です", count);
            return;
        }
        // The far cell of each axis; with the near one (x0, y0) it bounds them all.
        const int64_t lastColumn = cells.count == 0 ? 0 : std::min(cells.count, cells.perRow) - 1;
        const int64_t lastLine = cells.count == 0 ? 0 : (cells.count - 1) / cells.perRow;
        const int64_t farX = cells.x0 + lastColumn * cells.width;
        const int64_t farY = cells.y0 + lastLine * cells.height;
        if (farX > INT32_MAX || farX < INT32_MIN || farY > INT32_MAX || farY < INT32_MIN) {
            RefuseLine(path, lineNumber, "セルの位置が範囲外です", count);
            return;
        }
        for (int i = 0; i < cells.count; ++i) {
            const auto x = static_cast<int>(cells.x0 + int64_t(i % cells.perRow) * cells.width);
            const auto y = static_cast<int>(cells.y0 + int64_t(i / cells.perRow) * cells.height);
            rows[cells.row][i] = ops.cutImage(x, y, cells.width, cells.height, files[cells.image]);
        }
        ++count->dataLines;
        if (scan.count() < expected) {
            ++count->shortLines;
        }
    });
}

// Width and height of the row's first cell, 0 x 0 without a row or when the
// cell is not a valid image.
void RowPictureSize(const TableImageOps& ops, const int32_t (*rows)[kCellsPerRow], int32_t row,
                    int32_t* width, int32_t* height) {
    int w = 0;
    int h = 0;
    if (row == 0 || ops.imageSize(rows[row][0], &w, &h) != 0) {
        w = 0;
        h = 0;
    }
    *width = w;
    *height = h;
}

// The shared reader of both kind tables. After the kind id and the name,
// `scanFields` reads the rest of a line into the parse targets (kept for the
// whole file); `margin` gives a row's hit radius from its picture's size.
template <class Row, class ScanFields, class Margin>
TableReadCount ReadKindTable(const char* path, const TableImageOps& ops,
                             const int32_t (*cellRows)[kCellsPerRow], Row* rows, int kinds,
                             const char* kindRefusal, int fieldCount, ScanFields scanFields,
                             Margin margin) {
    int32_t kind = 0;
    char name[kNameBytes] = {};
    Row fields{};
    return ReadTableLines(path,
                          [&](const char* line, char first, int lineNumber, TableReadCount* count) {
                              if (first == '@') {
                                  return;
                              }
                              FieldScanner scan(line);
                              scan.Int(&kind).Word(name, kNameBytes);
                              scanFields(scan, fields);
                              if (!InRange(kind, 0, kinds)) {
                                  RefuseLine(path, lineNumber, kindRefusal, count);
                                  return;
                              }
                              if (!InRange(fields.imageRow, 0, kCellRows)) {
                                  RefuseLine(path, lineNumber, "画像行番号が範囲外です", count);
                                  return;
                              }
                              Row row = fields;
                              RowPictureSize(ops, cellRows, row.imageRow, &row.width, &row.height);
                              row.hitRadius = row.imageRow != 0 ? margin(row) : 0.0;
                              rows[kind] = row;
                              ++count->dataLines;
                              if (scan.count() < fieldCount) {
                                  ++count->shortLines;
                              }
                          });
}

}  // namespace

double PictureHitRadius(int width, int height) {
    const int larger = width > height ? width : height;
    return larger * static_cast<double>(1.41421356f) * 0.5 * static_cast<double>(1.2f);
}

double PulseRingHitRadius(int width, int height) {
    const int larger = width > height ? width : height;
    return 2.0 * larger;
}

TableReadCount ReadBulletImageTable(const char* path, const char* folder, const TableImageOps& ops,
                                    BulletImageTable* table) {
    return ReadImageTable(path, folder, ops, table->files, kBulletImageFiles, table->rows, true);
}

TableReadCount ReadEnemyImageTable(const char* path, const char* folder, const TableImageOps& ops,
                                   EnemyImageTable* table) {
    return ReadImageTable(path, folder, ops, table->files, kEnemyImageFiles, table->rows, false);
}

TableReadCount ReadBulletInfoTable(const char* path, const TableImageOps& ops,
                                   const BulletImageTable& images, BulletInfoRow* rows) {
    return ReadKindTable(
        path, ops, images.rows, rows, kBulletKinds, "弾の種類番号が範囲外です", 11,
        [](FieldScanner& scan, BulletInfoRow& fields) {
            // The two reals after the appear style are stored crossed.
            scan.Int(&fields.imageRow).Int(&fields.int1).Real(&fields.real2).Real(&fields.real1);
            scan.Int(&fields.int2).Real(&fields.real3).Int(&fields.style).Int(&fields.int3);
            scan.Int(&fields.int4);
        },
        [](const BulletInfoRow& row) {
            return row.style == 4 ? PulseRingHitRadius(row.width, row.height)
                                  : PictureHitRadius(row.width, row.height);
        });
}

TableReadCount ReadEnemyInfoTable(const char* path, const TableImageOps& ops,
                                  const EnemyImageTable& images, EnemyInfoRow* rows) {
    return ReadKindTable(
        path, ops, images.rows, rows, kEnemyKinds, "敵の種類番号が範囲外です", 12,
        [](FieldScanner& scan, EnemyInfoRow& fields) {
            // The last two integers are stored crossed.
            scan.Int(&fields.imageRow).Int(&fields.int1).Int(&fields.int2).Int(&fields.int3);
            scan.Int(&fields.int5).Int(&fields.int4).Real(&fields.real1).Real(&fields.real2);
            scan.Real(&fields.real3).Real(&fields.real4);
        },
        [](const EnemyInfoRow& row) { return PictureHitRadius(row.width, row.height); });
}

void LoadDataTables(GameDataBlock* data, const TableImageOps& ops, TableReadCount counts[4]) {
    char path[kTablePathMax + 1];
    TableReadCount read[4];
    JoinTablePath(kBulletTableFolder, "bullet_image.csv", path);
    read[0] = ReadBulletImageTable(path, kBulletTableFolder, ops, &data->bulletImages);
    JoinTablePath(kBulletTableFolder, "tama_info.csv", path);
    read[1] = ReadBulletInfoTable(path, ops, data->bulletImages, data->bulletInfo);
    JoinTablePath(kEnemyTableFolder, "enemy_image.csv", path);
    read[2] = ReadEnemyImageTable(path, kEnemyTableFolder, ops, &data->enemyImages);
    JoinTablePath(kEnemyTableFolder, "enemy_info.csv", path);
    read[3] = ReadEnemyInfoTable(path, ops, data->enemyImages, data->enemyInfo);
    if (counts != nullptr) {
        for (int i = 0; i < 4; ++i) {
            counts[i] = read[i];
        }
    }
}
