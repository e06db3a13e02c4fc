// The swap chain and Present: the back buffer point-stretched onto the window's framebuffer.
#include "platform/d3d9/present.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/d3d9/device.h"
#include "platform/d3d9/trace.h"

namespace platform::d3d9 {

namespace {

inline int PointSample(int d, int n, int m) {
    return static_cast<int>((static_cast<int64_t>(2 * d + 1) * n) / (2 * static_cast<int64_t>(m)));
}

}  // namespace

void StretchToFramebuffer(const Surface& source, const RECT& from, const RECT& to, uint32_t* pixels,
                          int width, int height, int pitch) {
    int sw = from.right - from.left;
    int sh = from.bottom - from.top;
    int dw = to.right - to.left;
    int dh = to.bottom - to.top;
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) {
        return;
    }
    int x0 = std::max<int>(to.left, 0);
    int x1 = std::min<int>(to.right, width);
    int y0 = std::max<int>(to.top, 0);
    int y1 = std::min<int>(to.bottom, height);
    if (x0 >= x1 || y0 >= y1) {
        return;
    }
    std::vector<uint32_t> row(static_cast<size_t>(sw));
    std::vector<int> columns(static_cast<size_t>(x1 - x0));
    for (int x = x0; x < x1; ++x) {
        columns[x - x0] = PointSample(x - to.left, sw, dw);
    }
    // One to one across, the columns are a run of the decoded row.
    bool contiguous = true;
    for (int x = x0 + 1; x < x1 && contiguous; ++x) {
        contiguous = columns[x - x0] == columns[0] + (x - x0);
    }
    const FormatInfo* info = FindFormat(source.Format());
    // One to one from a 32-bit surface, its stored colour bits are the framebuffer's: no
    // decoding, one pass a row.
    const bool direct =
        contiguous && (source.Format() == D3DFMT_X8R8G8B8 || source.Format() == D3DFMT_A8R8G8B8);
    int decoded = -1;
    const uint32_t* previous = nullptr;
    for (int y = y0; y < y1; ++y) {
        int sy = from.top + PointSample(y - to.top, sh, dh);
        auto* out = reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(pixels) +
                                                static_cast<size_t>(y) * pitch);
        // A row from the source row the row above came from is that row again.
        if (sy == decoded) {
            std::memcpy(out + x0, previous + x0, static_cast<size_t>(x1 - x0) * 4);
            previous = out;
            continue;
        }
        const uint8_t* in = source.Bits() + static_cast<size_t>(sy) * source.Pitch() +
                            static_cast<size_t>(from.left) * info->bytesPerUnit;
        if (direct) {
            const uint8_t* run = in + static_cast<size_t>(columns[0]) * 4;
            for (int x = x0; x < x1; ++x) {
                uint32_t stored;
                std::memcpy(&stored, run + static_cast<size_t>(x - x0) * 4, 4);
                out[x] = stored & 0x00FFFFFFu;
            }
            decoded = sy;
            previous = out;
            continue;
        }
        DecodeRow(source.Format(), in, row.data(), sw);
        decoded = sy;
        if (contiguous) {
            const uint32_t* run = row.data() + columns[0];
            for (int x = x0; x < x1; ++x) {
                out[x] = run[x - x0] & 0x00FFFFFFu;
            }
        } else {
            for (int x = x0; x < x1; ++x) {
                out[x] = row[columns[x - x0]] & 0x00FFFFFFu;
            }
        }
        previous = out;
    }
}

// ---------------------------------------------------------------------------
// SwapChain

SwapChain::SwapChain(Device* device, const D3DPRESENT_PARAMETERS& parameters, DeviceLifePtr life)
    : device_(device), parameters_(parameters), life_(life) {
    bool lockable = (parameters.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER) != 0;
    backBuffer_ = std::make_unique<Surface>(
        SurfaceKind::BackBuffer, parameters.BackBufferFormat,
        static_cast<int>(parameters.BackBufferWidth), static_cast<int>(parameters.BackBufferHeight),
        D3DPOOL_DEFAULT, D3DUSAGE_RENDERTARGET, lockable, device, life);
}

HRESULT SwapChain::QueryInterface(REFIID iid, void** object) {
    return QueryFor(this, iid, object, {&IID_IDirect3DSwapChain9});
}

ULONG SwapChain::AddRef() {
    return device_->AddRef();
}

ULONG SwapChain::Release() {
    return device_->Release();
}

HRESULT SwapChain::GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type,
                                 IDirect3DSurface9** backBuffer) {
    Enter("IDirect3DSwapChain9::GetBackBuffer");
    if (backBuffer == nullptr) {
        return Refuse(Why::NullArgument);
    }
    if (index != 0 || type != D3DBACKBUFFER_TYPE_MONO) {
        return Refuse(Why::IndexOutOfRange);
    }
    *backBuffer = backBuffer_.get();
    backBuffer_->AddRef();
    return D3D_OK;
}

HRESULT SwapChain::Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                           const RGNDATA* dirtyRegion, DWORD flags) {
    Trace("Present", "%s -> %s, window %p", FormatRect(sourceRect).c_str(),
          FormatRect(destRect).c_str(), static_cast<void*>(destWindowOverride));
    SettleDraws(life_);
    if (life_->lost) {
        return Refuse(Why::DeviceLost);
    }
    // Presenting inside a scene is a caller's fault that Direct3D 9 reports.
    if (device_->State().inScene) {
        return Refuse(Why::PresentInsideScene);
    }
    bool anyRect = sourceRect != nullptr || destRect != nullptr || dirtyRegion != nullptr;
    if (anyRect && parameters_.SwapEffect != D3DSWAPEFFECT_COPY) {
        return Refuse(Why::RectsNeedCopySwapEffect);
    }
    RECT whole = {0, 0, backBuffer_->Width(), backBuffer_->Height()};
    RECT from = sourceRect != nullptr ? *sourceRect : whole;
    if (from.left >= from.right || from.top >= from.bottom) {
        return Refuse(Why::EmptyRect);
    }
    if (destRect != nullptr &&
        (destRect->left >= destRect->right || destRect->top >= destRect->bottom)) {
        return Refuse(Why::EmptyRect);
    }
    // A source reaching past the back buffer is clipped to it; the part that
    // is left still fills the whole destination.
    from.left = std::max(from.left, whole.left);
    from.top = std::max(from.top, whole.top);
    from.right = std::min(from.right, whole.right);
    from.bottom = std::min(from.bottom, whole.bottom);
    bool nothingLeft = from.left >= from.right || from.top >= from.bottom;
    if (parameters_.PresentationInterval != D3DPRESENT_INTERVAL_IMMEDIATE) {
        WaitForNextVerticalBlank();
    }
    HWND window = destWindowOverride != nullptr ? destWindowOverride : parameters_.hDeviceWindow;
    // Swap effect COPY: the back buffer is only read, so it keeps its contents.
    if (!nothingLeft) {
        PresentToWindow(window, *backBuffer_, from, destRect);
    }
    return D3D_OK;
}

HRESULT Device::Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                        const RGNDATA* dirtyRegion) {
    return swapChain_->Present(sourceRect, destRect, destWindowOverride, dirtyRegion, 0);
}

}  // namespace platform::d3d9
