// Colours as the screen stores them: the pixel value of an r, g, b triple in
// the screen's format, and back. The hardware path takes the device format of
// the screen depth; the software path its standard memory-image format.
#include <cstdint>

#include "graphics/device/device_state.h"
#include "graphics/device/graphics_device.h"
#include "graphics/memimg/memimg.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/textures/texture_formats.h"

namespace tessel {

namespace {

const PixelFormatDesc* ScreenFormat() {
    const bool sixteen = QueryScreenColorDepth() == 16;
    if (g_graphics.hardwareInUse != 0) {
        return PixelFormatForD3DFormat(sixteen ? D3DFMT_R5G6B5 : D3DFMT_X8R8G8B8);
    }
    return MemImgStandardFormat(sixteen ? 0 : 1, 0, 0);
}

uint32_t PlaceChannel(uint8_t value, int width, int shift) {
    if (width == 0) {
        return 0;
    }
    return (static_cast<uint32_t>(value) >> (8 - width)) << shift;
}

int ExpandChannel(uint32_t pixel, uint32_t mask, int width, int shift) {
    if (width == 0) {
        return 0;
    }
    const uint32_t max = (1u << width) - 1;
    return static_cast<int>(((pixel & mask) >> shift) * 255u / max);
}

}  // namespace

uint32_t ColorToScreenPixel(uint8_t red, uint8_t green, uint8_t blue) {
    const PixelFormatDesc* f = ScreenFormat();
    if (f == nullptr) {
        return 0;
    }
    return PlaceChannel(red, f->redWidth, f->redShift) +
           PlaceChannel(green, f->greenWidth, f->greenShift) +
           PlaceChannel(blue, f->blueWidth, f->blueShift) + f->unusedMask;
}

int ScreenPixelToColor(uint32_t pixel, int* red, int* green, int* blue) {
    const PixelFormatDesc* f = ScreenFormat();
    if (f == nullptr) {
        return -1;
    }
    if (red != nullptr) {
        *red = ExpandChannel(pixel, f->redMask, f->redWidth, f->redShift);
    }
    if (green != nullptr) {
        *green = ExpandChannel(pixel, f->greenMask, f->greenWidth, f->greenShift);
    }
    if (blue != nullptr) {
        *blue = ExpandChannel(pixel, f->blueMask, f->blueWidth, f->blueShift);
    }
    return 0;
}

}  // namespace tessel
