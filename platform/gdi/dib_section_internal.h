// The DIB section selected into a memory context, as the DIB blits write it.
#pragma once

#include <cstdint>

#include "platform/gdi/objects_internal.h"

namespace platform::gdi {

class DibSectionTarget {
  public:
    // Open when dc is a live memory context; its stock 1 x 1 bitmap takes
    // nothing.
    explicit DibSectionTarget(HDC dc);

    bool IsOpen() const { return open_; }
    int Width() const { return section_ != nullptr ? section_->width : 0; }
    int Height() const { return section_ != nullptr ? section_->height : 0; }
    // Stores 0x00RRGGBB pixels into row y (counted from the top of the
    // bitmap): writer(x, rgb).
    auto RowWriter(int y) {
        int stored = section_->topDown ? y : section_->height - 1 - y;
        uint8_t* row = section_->pixels + static_cast<ptrdiff_t>(stored) * section_->stride;
        int bytes = section_->bitCount / 8;
        return [row, bytes](int x, uint32_t rgb) {
            uint8_t* p = row + static_cast<ptrdiff_t>(x) * bytes;
            p[0] = static_cast<uint8_t>(rgb);
            p[1] = static_cast<uint8_t>(rgb >> 8);
            p[2] = static_cast<uint8_t>(rgb >> 16);
            if (bytes == 4) {
                p[3] = 0;
            }
        };
    }
    // No row is held as 0x00RRGGBB pixels: every write goes through WriteRun or RowWriter.
    uint32_t* DirectRow(int) { return nullptr; }
    // Stores n 0x00RRGGBB pixels into row y from column x on.
    void WriteRun(int y, int x, const uint32_t* rgb, int n) {
        auto out = RowWriter(y);
        for (int i = 0; i < n; ++i) {
            out(x + i, rgb[i]);
        }
    }
    void MarkChanged() {}

  private:
    bool open_ = false;
    DibSection* section_ = nullptr;
};

}  // namespace platform::gdi
