// The cell table, its name cache and the game's 54 image records.
#include "game/startup/image_cells.h"

#include <cstring>

#include "foundation/memory/log.h"
#include "game/startup/startup_calls.h"

int32_t ImageCellTable[kImageCellTableSize];
int32_t ImageCellNext = 0;
ImageNameEntry ImageNameCache[kImageNameCacheSize];
ImageCellRecord GameImages[kGameImageRecords];

const ImageCellCut kGameImageCuts[kGameImageRecords] = {
    {"image\\system\\circle.png", 1, 1, 0, 0, 640, 480},
    {"image\\system\\title_back.png", 1, 1, 0, 0, 640, 480},
    {"image\\system\\title_logo.png", 1, 1, 0, 0, 400, 192},
    {"image\\system\\chosaku.png", 1, 1, 0, 0, 512, 32},
    {"image\\system\\title_menu.png", 6, 1, 0, 0, 160, 24},
    {"image\\system\\title_menu.png", 6, 1, 0, 144, 320, 12},
    {"image\\player\\player00.png", 5, 5, 0, 0, 32, 48},
    {"image\\player\\player00.png", 1, 1, 160, 0, 16, 32},
    {"image\\player\\player00.png", 1, 1, 192, 0, 64, 64},
    {"image\\player\\system.png", 1, 1, 0, 0, 64, 64},
    {"image\\player\\system.png", 1, 1, 64, 0, 32, 32},
    {"image\\player\\system.png", 1, 1, 0, 64, 48, 48},
    {"image\\player\\system.png", 4, 1, 64, 64, 64, 16},
    {"image\\ver", 1, 1, 0, 0, 64, 16},
    {"image\\system\\panel_info.png", 6, 1, 0, 0, 64, 16},
    {"image\\system\\panel_info.png", 4, 1, 64, 0, 64, 16},
    {"image\\system\\panel_info.png", 1, 1, 0, 96, 128, 16},
    {"image\\system\\panel_info.png", 2, 2, 0, 112, 16, 16},
    {"image\\system\\num.png", 10, 5, 0, 0, 32, 32},
    {"image\\system\\num.png", 1, 1, 160, 0, 16, 32},
    {"image\\system\\mozi.png", 3, 1, 0, 0, 256, 32},
    {"image\\system\\mozi.png", 4, 1, 0, 96, 256, 32},
    {"image\\system\\mozi.png", 2, 1, 0, 224, 256, 16},
    {"image\\system\\gameover.png", 3, 1, 0, 0, 256, 64},
    {"image\\system\\collection.png", 13, 4, 0, 0, 64, 64},
    {"image\\system\\collection_info.png", 13, 1, 0, 0, 320, 48},
    {"image\\system\\msgwin.png", 1, 1, 0, 0, 380, 64},
    {"image\\system\\padconf.png", 6, 1, 0, 0, 256, 24},
    {"image\\system\\mirelo.png", 1, 1, 0, 0, 512, 512},
    {"image\\system\\col_mirelo.png", 1, 1, 0, 0, 512, 512},
    {"image\\player\\marker.png", 1, 1, 0, 0, 32, 4},
    {"image\\enemy\\fairy_t.png", 4, 4, 0, 0, 32, 32},
    {"image\\enemy\\fairy_t.png", 4, 4, 128, 0, 32, 32},
    {"image\\enemy\\fairy_t.png", 4, 4, 0, 32, 32, 32},
    {"image\\enemy\\fairy_t.png", 4, 4, 128, 32, 32, 32},
    {"image\\enemy\\fairy_t.png", 4, 4, 0, 64, 32, 32},
    {"image\\enemy\\fairy_t.png", 4, 4, 128, 64, 32, 32},
    {"image\\enemy\\fairy_t.png", 4, 4, 0, 96, 32, 32},
    {"image\\enemy\\fairy_t.png", 4, 4, 128, 96, 32, 32},
    {"image\\enemy\\fairy_t.png", 4, 4, 0, 128, 64, 64},
    {"image\\enemy\\fairy_t.png", 4, 4, 0, 192, 64, 64},
    {"image\\enemy\\onmyo.png", 2, 2, 0, 0, 32, 32},
    {"image\\enemy\\onmyo.png", 2, 2, 0, 32, 32, 32},
    {"image\\enemy\\onmyo.png", 2, 2, 0, 64, 32, 32},
    {"image\\enemy\\onmyo.png", 2, 2, 0, 96, 32, 32},
    {"image\\enemy\\pelka.png", 4, 4, 0, 0, 64, 64},
    {"image\\effect\\fire.png", 16, 16, 0, 0, 16, 16},
    {"image\\effect\\fire.png", 16, 16, 0, 16, 16, 16},
    {"image\\effect\\fire.png", 16, 16, 0, 32, 16, 16},
    {"image\\effect\\fire.png", 16, 16, 0, 48, 16, 16},
    {"image\\effect\\fire.png", 16, 16, 0, 64, 16, 16},
    {"image\\effect\\fire.png", 16, 16, 0, 80, 16, 16},
    {"image\\effect\\fire.png", 16, 16, 0, 96, 16, 16},
    {"image\\effect\\fire.png", 16, 16, 0, 112, 16, 16},
};

namespace {

// The file's handle from the cache, loading it into the first free entry
// when no entry names it; false when the name does not fit or the cache is full.
bool CachedFileImage(const char* path, int32_t* image) {
    if (std::strlen(path) >= kImageNameBytes) {
        tessel::WriteLogFormat("画像ファイル名が長すぎます : %s", path);
        return false;
    }
    for (ImageNameEntry& entry : ImageNameCache) {
        if (entry.name[0] == '\0') {
            std::strcpy(entry.name, path);
            entry.image = CurrentStartupCalls().loadImage(path);
            *image = entry.image;
            return true;
        }
        if (std::strcmp(entry.name, path) == 0) {
            *image = entry.image;
            return true;
        }
    }
    tessel::WriteLogFormat("画像ファイル名の表が一杯です : %s", path);
    return false;
}

bool StoreCell(int32_t image) {
    if (ImageCellNext >= kImageCellTableSize) {
        tessel::WriteLog("画像セルの表が一杯です\n");
        return false;
    }
    ImageCellTable[ImageCellNext++] = image;
    return true;
}

}  // namespace

void ResetImageCells() {
    std::memset(ImageNameCache, 0, sizeof ImageNameCache);
    for (int32_t& cell : ImageCellTable) {
        cell = -1;
    }
    ImageCellNext = 0;
}

ImageCellRecord LoadImageCells(const char* path, int count, int perRow, int x0, int y0,
                               int cellWidth, int cellHeight) {
    ImageCellRecord record{ImageCellNext, count == 0 ? 1 : count};
    int32_t file = -1;
    const bool cached = CachedFileImage(path, &file);
    if (count == 0) {
        StoreCell(file);
        return record;
    }
    for (int i = 0; i < count; ++i) {
        // A row of no cells cannot place any; its cells are left missing.
        const int32_t cell = !cached || perRow <= 0
                                 ? -1
                                 : CurrentStartupCalls().cutImage(x0 + (i % perRow) * cellWidth,
                                                                  y0 + (i / perRow) * cellHeight,
                                                                  cellWidth, cellHeight, file);
        if (!StoreCell(cell)) {
            break;
        }
    }
    return record;
}

void LoadGameImages() {
    ResetImageCells();
    for (int i = 0; i < kGameImageRecords; ++i) {
        const ImageCellCut& cut = kGameImageCuts[i];
        GameImages[i] =
            LoadImageCells(cut.path, cut.count, cut.perRow, cut.x0, cut.y0, cut.width, cut.height);
    }
}

int32_t GameImageCell(int record, int cell) {
    if (record < 0 || record >= kGameImageRecords) {
        return -1;
    }
    const ImageCellRecord& cells = GameImages[record];
    if (cell < 0 || cell >= cells.count || cells.first < 0 ||
        cells.first + cell >= kImageCellTableSize) {
        return -1;
    }
    return ImageCellTable[cells.first + cell];
}
