// The window framebuffer behind a window's device context, locked for the
// life of the object.
#pragma once

#include <cstdint>
#include <cstring>

#include "platform/gdi.h"

namespace platform::gdi {

class FramebufferDC {
  public:
    explicit FramebufferDC(HDC dc);
    ~FramebufferDC();
    FramebufferDC(const FramebufferDC&) = delete;
    FramebufferDC& operator=(const FramebufferDC&) = delete;

    // False for a context without a window (the screen, memory contexts).
    bool IsOpen() const { return open_; }
    const WindowFramebuffer& Pixels() const { return framebuffer_; }
    uint32_t* Row(int y) {
        return reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(framebuffer_.pixels) +
                                           static_cast<size_t>(y) * framebuffer_.pitch);
    }
    int Width() const { return framebuffer_.width; }
    int Height() const { return framebuffer_.height; }
    // Stores 0x00RRGGBB pixels into row y: writer(x, rgb).
    auto RowWriter(int y) {
        uint32_t* row = Row(y);
        return [row](int x, uint32_t rgb) { row[x] = rgb; };
    }
    // Row y's 0x00RRGGBB pixels, for writers that fill them in place.
    uint32_t* DirectRow(int y) { return Row(y); }
    // Stores n 0x00RRGGBB pixels into row y from column x on.
    void WriteRun(int y, int x, const uint32_t* rgb, int n) {
        std::memcpy(Row(y) + x, rgb, static_cast<size_t>(n) * sizeof(uint32_t));
    }
    void MarkChanged() { changed_ = true; }

  private:
    HWND window_ = nullptr;
    bool open_ = false;
    bool changed_ = false;
    WindowFramebuffer framebuffer_ = {};
};

}  // namespace platform::gdi
