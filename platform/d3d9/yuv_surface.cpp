// The FourCC video formats of off-screen plain surfaces: their layout, the
// rules of their size and locks, and their conversion to colour.
#include "platform/d3d9/yuv_surface.h"

#include <algorithm>

#include "platform/d3d9/trace.h"

namespace platform::d3d9 {

namespace {

// The Y, U and V of pixel (x, y) of a surface.
struct YuvSample {
    int y;
    int u;
    int v;
};

YuvSample SampleAt(const Surface& surface, int x, int y) {
    const D3DFORMAT format = surface.Format();
    const uint8_t* bits = surface.Bits();
    const int pitch = surface.Pitch();
    if (format == D3DFMT_YV12) {
        const int half = pitch / 2;
        const uint8_t* vPlane = bits + static_cast<size_t>(pitch) * surface.Height();
        const uint8_t* uPlane = vPlane + static_cast<size_t>(half) * (surface.Height() / 2);
        const size_t chroma = static_cast<size_t>(y / 2) * half + static_cast<size_t>(x / 2);
        return {bits[static_cast<size_t>(y) * pitch + x], uPlane[chroma], vPlane[chroma]};
    }
    const uint8_t* pair = bits + static_cast<size_t>(y) * pitch + static_cast<size_t>(x / 2) * 4;
    const int yAt = format == D3DFMT_YUY2 ? 0 : 1;
    const int cAt = format == D3DFMT_YUY2 ? 1 : 0;
    return {pair[yAt + 2 * (x % 2)], pair[cAt], pair[cAt + 2]};
}

inline uint32_t Clamp8(int value) {
    return static_cast<uint32_t>(std::clamp(value, 0, 255));
}

}  // namespace

bool IsYuvFormat(D3DFORMAT format) {
    return format == D3DFMT_YV12 || format == D3DFMT_YUY2 || format == D3DFMT_UYVY;
}

int YuvRowPitch(D3DFORMAT format, int width) {
    return format == D3DFMT_YV12 ? width : 2 * width;
}

int YuvStorageRows(D3DFORMAT format, int height) {
    return format == D3DFMT_YV12 ? height + height / 2 : height;
}

D3D9Refusal YuvSizeFault(D3DFORMAT format, UINT width, UINT height) {
    if (width % 2 != 0 || (format == D3DFMT_YV12 && height % 2 != 0)) {
        return Why::OddVideoSize;
    }
    return Why::None;
}

D3D9Refusal YuvLockFault(D3DFORMAT format, const RECT& area, int width, int height) {
    if (area.left >= area.right || area.top >= area.bottom) {
        return Why::EmptyRect;
    }
    if (area.left < 0 || area.top < 0 || area.right > width || area.bottom > height) {
        return Why::RectOutsideSurface;
    }
    if (format == D3DFMT_YV12) {
        const bool whole =
            area.left == 0 && area.top == 0 && area.right == width && area.bottom == height;
        return whole ? Why::None : Why::VideoLockRect;
    }
    return area.left % 2 == 0 && area.right % 2 == 0 ? Why::None : Why::VideoLockRect;
}

size_t YuvLockOffset(D3DFORMAT format, const RECT& area, int pitch) {
    const int bytes = format == D3DFMT_YV12 ? 1 : 2;
    return static_cast<size_t>(area.top) * pitch + static_cast<size_t>(area.left) * bytes;
}

uint32_t YuvToArgb(int y, int u, int v) {
    const int luma = 76309 * (y - 16);
    const int cu = u - 128;
    const int cv = v - 128;
    const uint32_t r = Clamp8((luma + 104597 * cv + 32768) >> 16);
    const uint32_t g = Clamp8((luma - 25675 * cu - 53279 * cv + 32768) >> 16);
    const uint32_t b = Clamp8((luma + 132201 * cu + 32768) >> 16);
    return 0xFF000000u | (r << 16) | (g << 8) | b;
}

void DecodeYuvRow(const Surface& surface, int y, int left, int count, uint32_t* out) {
    for (int i = 0; i < count; ++i) {
        const YuvSample s = SampleAt(surface, left + i, y);
        out[i] = YuvToArgb(s.y, s.u, s.v);
    }
}

uint32_t ReadYuvPixel(const Surface& surface, int x, int y) {
    const YuvSample s = SampleAt(surface, x, y);
    return YuvToArgb(s.y, s.u, s.v);
}

}  // namespace platform::d3d9
