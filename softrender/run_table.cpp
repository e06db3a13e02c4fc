// The run-table builder: one pass over the stored image's rows, each pixel
// classed and merged into the current run until its kind changes or it
// reaches 64 pixels.
#include "softrender/run_table.h"

#include <cstring>

#include "foundation/memory/log.h"

namespace tessel {

namespace {

// The kind of the pixel at p (its run byte with length 1).
uint8_t PixelKind(const MemImgBase& b, const uint8_t* p) {
    if (b.paletted == 1) {
        return *p == b.transparent ? kRunSkip : kRunOpaque;
    }
    if (b.alphaFlag == 1) {
        const uint8_t a = b.colorType == kMemImgRgb32 ? p[3] : p[2];
        return a == 0 ? kRunSkip : (a == 255 ? kRunOpaque : kRunAlpha);
    }
    uint32_t v = 0;
    if (b.colorType == kMemImgRgb32) {
        std::memcpy(&v, p, 4);
    } else {
        uint16_t h = 0;
        std::memcpy(&h, p, 2);
        v = h;
    }
    return v == b.transparent ? kRunSkip : kRunOpaque;
}

}  // namespace

int MemImgBuildRunTable(MEMIMG* image) {
    if (!MemImgIsValid(image)) {
        return WriteLog("透過ランテーブルを作る MEMIMG が不正です\n");
    }
    MemImgBase& b = *image->base;
    if (b.colorType != kMemImgRgb565 && b.colorType != kMemImgRgb32) {
        return WriteLogFormat("透過ランテーブルはカラータイプ %u の MEMIMG には作れません",
                              b.colorType);
    }
    if (b.runTable == nullptr) {
        return WriteLog("MEMIMG に透過ランテーブルの領域がありません\n");
    }
    const int bytes = b.format->bytes;
    uint8_t* out = b.runTable;
    for (int y = 0; y < b.height; ++y) {
        const uint8_t* p = b.pixels + static_cast<int64_t>(y) * b.pitch;
        int x = 0;
        while (x < b.width) {
            const uint8_t kind = PixelKind(b, p + static_cast<int64_t>(x) * bytes);
            int n = 1;
            while (n < kRunMaxLength && x + n < b.width &&
                   PixelKind(b, p + static_cast<int64_t>(x + n) * bytes) == kind) {
                ++n;
            }
            *out++ = static_cast<uint8_t>(kind | (n - 1));
            x += n;
        }
        *out++ = kRunRowEnd;
    }
    b.runTableValid = 1;
    return 0;
}

}  // namespace tessel
