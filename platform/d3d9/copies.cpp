// Copies between surfaces and textures, colour fills and clears, with
// Direct3D 9's rules on pools, formats and rectangles.
//
// Routes: StretchRect copies bytes when formats and sizes match, copies DXT
// blocks as they are into the same format, and otherwise point-samples through
// 32-bit colour (every filter samples the nearest pixel); video formats are
// read through their colour rule (yuv_surface.h) and are never written. UpdateSurface,
// UpdateTexture and GetRenderTargetData copy bytes. ColorFill and Clear encode
// the colour once and fill; Clear is cut to the viewport and scissor.
//
// Not here: filtered stretching, format conversion into DXT, stencil clears.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/d3d9/device.h"
#include "platform/d3d9/trace.h"
#include "platform/d3d9/yuv_surface.h"

namespace platform::d3d9 {

namespace {

// What is wrong with a rectangle of a surface, or None.
D3D9Refusal RectFault(const RECT& r, const Surface& surface) {
    if (r.left >= r.right || r.top >= r.bottom) {
        return Why::EmptyRect;
    }
    if (r.left < 0 || r.top < 0 || r.right > surface.Width() || r.bottom > surface.Height()) {
        return Why::RectOutsideSurface;
    }
    return Why::None;
}

// The source and destination rectangles of a copy.
HRESULT CheckRects(const RECT& from, const Surface& source, const RECT& to, const Surface& dest) {
    D3D9Refusal fault = RectFault(from, source);
    if (fault == Why::None) {
        fault = RectFault(to, dest);
    }
    return fault == Why::None ? D3D_OK : Refuse(fault);
}

// UpdateTexture's rules: from system memory into the default pool, one format.
HRESULT CheckTextureCopy(D3DPOOL sourcePool, D3DFORMAT sourceFormat, D3DPOOL destPool,
                         D3DFORMAT destFormat) {
    if (sourcePool != D3DPOOL_SYSTEMMEM || destPool != D3DPOOL_DEFAULT) {
        return Refuse(Why::BadPool);
    }
    if (sourceFormat != destFormat) {
        return Refuse(Why::FormatMismatch);
    }
    return D3D_OK;
}

bool Overlap(const RECT& a, const RECT& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

bool BlockAligned(const RECT& r, const Surface& surface) {
    auto aligned = [](LONG v, int edge) { return v % 4 == 0 || v == edge; };
    return aligned(r.left, surface.Width()) && aligned(r.top, surface.Height()) &&
           aligned(r.right, surface.Width()) && aligned(r.bottom, surface.Height());
}

RECT WholeRect(const Surface& surface) {
    return {0, 0, surface.Width(), surface.Height()};
}

// Copies the stored bytes of a rectangle between two surfaces of one format,
// block rows for DXT formats.
void CopyBytes(const Surface& source, const RECT& from, Surface& dest, POINT to) {
    const FormatInfo* info = FindFormat(source.Format());
    bool blocks = info->blockCompressed;
    int unit = blocks ? 4 : 1;
    int columns = (from.right - from.left + unit - 1) / unit;
    int rows = (from.bottom - from.top + unit - 1) / unit;
    size_t rowBytes = static_cast<size_t>(columns) * info->bytesPerUnit;
    for (int row = 0; row < rows; ++row) {
        const uint8_t* in = source.Bits() +
                            static_cast<size_t>(from.top / unit + row) * source.Pitch() +
                            static_cast<size_t>(from.left / unit) * info->bytesPerUnit;
        uint8_t* out = dest.Bits() + static_cast<size_t>(to.y / unit + row) * dest.Pitch() +
                       static_cast<size_t>(to.x / unit) * info->bytesPerUnit;
        std::memmove(out, in, rowBytes);
    }
    dest.Touch();
}

// Decodes one source row into words; DXT rows are read pixel by pixel.
void DecodeSourceRow(const Surface& source, int y, int left, int count, uint32_t* out) {
    if (IsYuvFormat(source.Format())) {
        DecodeYuvRow(source, y, left, count, out);
        return;
    }
    const FormatInfo* info = FindFormat(source.Format());
    if (info->blockCompressed) {
        for (int i = 0; i < count; ++i) {
            out[i] = ReadPixel(source.Format(), source.Bits(), source.Pitch(), left + i, y);
        }
        return;
    }
    const uint8_t* row = source.Bits() + static_cast<size_t>(y) * source.Pitch() +
                         static_cast<size_t>(left) * info->bytesPerUnit;
    DecodeRow(source.Format(), row, out, count);
}

// The source index of destination index d when n source pixels are spread
// over m destination pixels with point sampling: the source pixel under the
// destination pixel's centre.
inline int PointSample(int d, int n, int m) {
    return static_cast<int>((static_cast<int64_t>(2 * d + 1) * n) / (2 * static_cast<int64_t>(m)));
}

// Point-sampled, format-converting copy of a rectangle onto another.
void StretchPixels(const Surface& source, const RECT& from, Surface& dest, const RECT& to) {
    int sw = from.right - from.left;
    int sh = from.bottom - from.top;
    int dw = to.right - to.left;
    int dh = to.bottom - to.top;
    if (source.Format() == dest.Format() && sw == dw && sh == dh) {
        CopyBytes(source, from, dest, POINT{to.left, to.top});
        return;
    }
    std::vector<uint32_t> sourceRow(static_cast<size_t>(sw));
    std::vector<uint32_t> destRow(static_cast<size_t>(dw));
    std::vector<int> columns(static_cast<size_t>(dw));
    for (int x = 0; x < dw; ++x) {
        columns[x] = PointSample(x, sw, dw);
    }
    int bytes = FindFormat(dest.Format())->bytesPerUnit;
    int decodedRow = -1;
    for (int y = 0; y < dh; ++y) {
        int sy = from.top + PointSample(y, sh, dh);
        if (sy != decodedRow) {
            DecodeSourceRow(source, sy, from.left, sw, sourceRow.data());
            decodedRow = sy;
        }
        for (int x = 0; x < dw; ++x) {
            destRow[x] = sourceRow[columns[x]];
        }
        EncodeRow(dest.Format(), destRow.data(),
                  dest.Row(to.top + y) + static_cast<size_t>(to.left) * bytes, dw);
    }
    dest.Touch();
}

// Fills a rectangle with one stored pixel of `bytes` bytes: its first row unit by unit (with
// the unit's width known to the compiler where it can be, so the loop becomes wide stores),
// the other rows as copies of it.
template <int kBytes>
void FillRowOf(uint8_t* out, LONG count, const uint8_t* pixel) {
    for (LONG x = 0; x < count; ++x, out += kBytes) {
        std::memcpy(out, pixel, kBytes);
    }
}

void FillArea(Surface& surface, const RECT& area, const uint8_t* pixel, int bytes) {
    const LONG count = area.right - area.left;
    uint8_t* first = surface.Row(area.top) + static_cast<size_t>(area.left) * bytes;
    switch (bytes) {
        case 2:
            FillRowOf<2>(first, count, pixel);
            break;
        case 4:
            FillRowOf<4>(first, count, pixel);
            break;
        default:
            for (LONG x = 0; x < count; ++x) {
                std::memcpy(first + static_cast<size_t>(x) * bytes, pixel,
                            static_cast<size_t>(bytes));
            }
            break;
    }
    const size_t rowBytes = static_cast<size_t>(count) * bytes;
    for (LONG y = area.top + 1; y < area.bottom; ++y) {
        std::memcpy(surface.Row(y) + static_cast<size_t>(area.left) * bytes, first, rowBytes);
    }
    surface.Touch();
}

// Fills a rectangle of a plain colour surface with one stored pixel.
void FillPixels(Surface& surface, const RECT& area, D3DCOLOR color) {
    uint8_t pixel[4] = {};
    EncodePixel(surface.Format(), color, pixel);
    FillArea(surface, area, pixel, FindFormat(surface.Format())->bytesPerUnit);
}

void FillDepth(Surface& surface, const RECT& area, float z) {
    uint8_t stored[4] = {};
    WriteDepth(surface.Format(), stored, EncodeDepth(surface.Format(), z));
    FillArea(surface, area, stored, FindFormat(surface.Format())->bytesPerUnit);
}

RECT Intersect(const RECT& a, const RECT& b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
}

bool IsEmpty(const RECT& r) {
    return r.left >= r.right || r.top >= r.bottom;
}

bool IsColourTarget(const Surface& surface) {
    return surface.Kind() == SurfaceKind::Plain || surface.IsRenderTarget();
}

}  // namespace

HRESULT Device::StretchRect(IDirect3DSurface9* sourceSurface, const RECT* sourceRect,
                            IDirect3DSurface9* destSurface, const RECT* destRect,
                            D3DTEXTUREFILTERTYPE filter) {
    Trace("StretchRect", "%p %s -> %p %s, filter %u", static_cast<void*>(sourceSurface),
          FormatRect(sourceRect).c_str(), static_cast<void*>(destSurface),
          FormatRect(destRect).c_str(), filter);
    SettleDraws(life_);
    Surface* source = AsSurface(sourceSurface);
    Surface* dest = AsSurface(destSurface);
    if (source == nullptr || dest == nullptr) {
        return Refuse(Why::NullArgument);
    }
    if (filter > D3DTEXF_LINEAR) {
        return Refuse(Why::BadFilter);
    }
    // Video formats convert into colour, never the other way.
    if (IsYuvFormat(dest->Format())) {
        return Refuse(Why::VideoTarget);
    }
    if (source->Pool() != D3DPOOL_DEFAULT || dest->Pool() != D3DPOOL_DEFAULT) {
        return Refuse(Why::BadPool);
    }
    if (IsDepthFormat(source->Format()) || IsDepthFormat(dest->Format())) {
        return Refuse(Why::DepthCopy);
    }
    if (!IsColourTarget(*dest)) {
        return Refuse(Why::NotAColourSurface);
    }
    if (source->IsLocked() || dest->IsLocked()) {
        return Refuse(Why::AlreadyLocked);
    }
    RECT from = sourceRect != nullptr ? *sourceRect : WholeRect(*source);
    RECT to = destRect != nullptr ? *destRect : WholeRect(*dest);
    HRESULT check = CheckRects(from, *source, to, *dest);
    if (FAILED(check)) {
        return check;
    }
    if (source == dest && Overlap(from, to)) {
        return Refuse(Why::OverlappingCopy);
    }
    if (IsDxtFormat(dest->Format())) {
        // Block formats are only copied as they are, never written pixel by pixel.
        bool sameSize = from.right - from.left == to.right - to.left &&
                        from.bottom - from.top == to.bottom - to.top;
        if (source->Format() != dest->Format()) {
            return Refuse(Why::FormatMismatch);
        }
        if (!sameSize) {
            return Refuse(Why::SizeMismatch);
        }
        if (!BlockAligned(from, *source) || !BlockAligned(to, *dest)) {
            return Refuse(Why::RectOffBlocks);
        }
    }
    if (IsLost()) {
        return D3D_OK;
    }
    // Every filter samples the nearest source pixel.
    StretchPixels(*source, from, *dest, to);
    return D3D_OK;
}

HRESULT Device::UpdateSurface(IDirect3DSurface9* sourceSurface, const RECT* sourceRect,
                              IDirect3DSurface9* destSurface, const POINT* destPoint) {
    Trace("UpdateSurface", "%p %s -> %p (%d, %d)", static_cast<void*>(sourceSurface),
          FormatRect(sourceRect).c_str(), static_cast<void*>(destSurface),
          destPoint != nullptr ? destPoint->x : 0, destPoint != nullptr ? destPoint->y : 0);
    SettleDraws(life_);
    Surface* source = AsSurface(sourceSurface);
    Surface* dest = AsSurface(destSurface);
    if (source == nullptr || dest == nullptr) {
        return Refuse(Why::NullArgument);
    }
    if (source->Pool() != D3DPOOL_SYSTEMMEM || dest->Pool() != D3DPOOL_DEFAULT) {
        return Refuse(Why::BadPool);
    }
    if (source->Format() != dest->Format()) {
        return Refuse(Why::FormatMismatch);
    }
    if (IsDepthFormat(dest->Format())) {
        return Refuse(Why::DepthCopy);
    }
    if (IsYuvFormat(dest->Format())) {
        return Refuse(Why::VideoTarget);
    }
    if (source->IsLocked() || dest->IsLocked()) {
        return Refuse(Why::AlreadyLocked);
    }
    RECT from = sourceRect != nullptr ? *sourceRect : WholeRect(*source);
    POINT to = destPoint != nullptr ? *destPoint : POINT{0, 0};
    // In 64 bits: a point near the edge of the coordinate range must not wrap
    // the rectangle back into the surface.
    int64_t right = static_cast<int64_t>(to.x) + (static_cast<int64_t>(from.right) - from.left);
    int64_t bottom = static_cast<int64_t>(to.y) + (static_cast<int64_t>(from.bottom) - from.top);
    if (right > dest->Width() || bottom > dest->Height()) {
        return Refuse(Why::RectOutsideSurface);
    }
    RECT target = {to.x, to.y, static_cast<LONG>(right), static_cast<LONG>(bottom)};
    HRESULT check = CheckRects(from, *source, target, *dest);
    if (FAILED(check)) {
        return check;
    }
    if (IsDxtFormat(dest->Format()) &&
        (!BlockAligned(from, *source) || !BlockAligned(target, *dest))) {
        return Refuse(Why::RectOffBlocks);
    }
    CopyBytes(*source, from, *dest, to);
    return D3D_OK;
}

HRESULT Device::UpdateTexture(IDirect3DBaseTexture9* sourceTexture,
                              IDirect3DBaseTexture9* destTexture) {
    Trace("UpdateTexture", "%p -> %p", static_cast<void*>(sourceTexture),
          static_cast<void*>(destTexture));
    SettleDraws(life_);
    if (sourceTexture == nullptr || destTexture == nullptr) {
        return Refuse(Why::NullArgument);
    }
    if (sourceTexture->GetType() != destTexture->GetType()) {
        return Refuse(Why::KindMismatch);
    }
    if (sourceTexture->GetType() == D3DRTYPE_TEXTURE) {
        auto* source = static_cast<Texture*>(sourceTexture);
        auto* dest = static_cast<Texture*>(destTexture);
        HRESULT check =
            CheckTextureCopy(source->Pool(), source->Format(), dest->Pool(), dest->Format());
        if (FAILED(check)) {
            return check;
        }
        // The source may have more levels; each destination level takes the
        // source level of its own size.
        int skip = 0;
        while (skip < source->LevelCount() &&
               source->Level(skip)->Width() > dest->Level(0)->Width()) {
            ++skip;
        }
        if (skip + dest->LevelCount() > source->LevelCount()) {
            return Refuse(Why::SizeMismatch);
        }
        for (int level = 0; level < dest->LevelCount(); ++level) {
            Surface* from = source->Level(level + skip);
            Surface* to = dest->Level(level);
            if (from->Width() != to->Width() || from->Height() != to->Height()) {
                return Refuse(Why::SizeMismatch);
            }
        }
        for (int level = 0; level < dest->LevelCount(); ++level) {
            Surface* from = source->Level(level + skip);
            CopyBytes(*from, WholeRect(*from), *dest->Level(level), POINT{0, 0});
        }
        return D3D_OK;
    }
    if (sourceTexture->GetType() == D3DRTYPE_VOLUMETEXTURE) {
        auto* source = static_cast<VolumeTexture*>(sourceTexture);
        auto* dest = static_cast<VolumeTexture*>(destTexture);
        HRESULT check =
            CheckTextureCopy(source->Pool(), source->Format(), dest->Pool(), dest->Format());
        if (FAILED(check)) {
            return check;
        }
        if (source->LevelCount() < dest->LevelCount()) {
            return Refuse(Why::SizeMismatch);
        }
        for (int level = 0; level < dest->LevelCount(); ++level) {
            const Volume& from = source->Level(level);
            Volume& to = dest->Level(level);
            if (from.width != to.width || from.height != to.height || from.depth != to.depth) {
                return Refuse(Why::SizeMismatch);
            }
        }
        for (int level = 0; level < dest->LevelCount(); ++level) {
            dest->Level(level).bits = source->Level(level).bits;
        }
        return D3D_OK;
    }
    return Refuse(Why::KindMismatch);
}

HRESULT Device::GetRenderTargetData(IDirect3DSurface9* renderTarget,
                                    IDirect3DSurface9* destSurface) {
    Trace("GetRenderTargetData", "%p -> %p", static_cast<void*>(renderTarget),
          static_cast<void*>(destSurface));
    SettleDraws(life_);
    Surface* source = AsSurface(renderTarget);
    Surface* dest = AsSurface(destSurface);
    if (source == nullptr || dest == nullptr) {
        return Refuse(Why::NullArgument);
    }
    if (!source->IsRenderTarget()) {
        return Refuse(Why::NotARenderTarget);
    }
    if (source->Pool() != D3DPOOL_DEFAULT || dest->Pool() != D3DPOOL_SYSTEMMEM) {
        return Refuse(Why::BadPool);
    }
    if (source->Format() != dest->Format()) {
        return Refuse(Why::FormatMismatch);
    }
    if (source->Width() != dest->Width() || source->Height() != dest->Height()) {
        return Refuse(Why::SizeMismatch);
    }
    if (dest->IsLocked()) {
        return Refuse(Why::AlreadyLocked);
    }
    if (IsLost()) {
        return Refuse(Why::DeviceLost);
    }
    CopyBytes(*source, WholeRect(*source), *dest, POINT{0, 0});
    return D3D_OK;
}

HRESULT Device::ColorFill(IDirect3DSurface9* surfaceInterface, const RECT* rect, D3DCOLOR color) {
    Trace("ColorFill", "%p %s, 0x%08X", static_cast<void*>(surfaceInterface),
          FormatRect(rect).c_str(), color);
    SettleDraws(life_);
    Surface* surface = AsSurface(surfaceInterface);
    if (surface == nullptr) {
        return Refuse(Why::NullArgument);
    }
    if (surface->Pool() != D3DPOOL_DEFAULT) {
        return Refuse(Why::BadPool);
    }
    if (IsYuvFormat(surface->Format())) {
        return Refuse(Why::VideoTarget);
    }
    if (!IsColourTarget(*surface) || IsDxtFormat(surface->Format()) ||
        IsDepthFormat(surface->Format())) {
        return Refuse(Why::NotAColourSurface);
    }
    if (surface->IsLocked()) {
        return Refuse(Why::AlreadyLocked);
    }
    RECT area = rect != nullptr ? *rect : WholeRect(*surface);
    D3D9Refusal fault = RectFault(area, *surface);
    if (fault != Why::None) {
        return Refuse(fault);
    }
    if (IsLost()) {
        return D3D_OK;
    }
    FillPixels(*surface, area, color);
    return D3D_OK;
}

void Device::ClearRect(const RECT& area, DWORD flags, D3DCOLOR color, float z) {
    Surface* target = state_.renderTargets[0];
    if ((flags & D3DCLEAR_TARGET) != 0) {
        RECT inside = Intersect(area, WholeRect(*target));
        if (!IsEmpty(inside)) {
            FillPixels(*target, inside, color);
        }
    }
    if ((flags & D3DCLEAR_ZBUFFER) != 0) {
        // A depth surface larger than the target is used from its top-left corner.
        RECT inside = Intersect(area, WholeRect(*state_.depthStencil));
        if (!IsEmpty(inside)) {
            FillDepth(*state_.depthStencil, inside, z);
        }
    }
}

HRESULT Device::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                      DWORD stencil) {
    Trace("Clear", "%u rects, flags 0x%X, colour 0x%08X, z %g, stencil %u", count, flags, color, z,
          stencil);
    SettleDraws(life_);
    if (count != 0 && rects == nullptr) {
        return Refuse(Why::NullArgument);
    }
    if ((flags & D3DCLEAR_STENCIL) != 0 || (flags & (D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER)) == 0) {
        return Refuse(Why::BadClearFlags);
    }
    if ((flags & D3DCLEAR_ZBUFFER) != 0 && state_.depthStencil == nullptr) {
        return Refuse(Why::NoDepthSurface);
    }
    if ((flags & D3DCLEAR_ZBUFFER) != 0 && !(z >= 0.0f && z <= 1.0f)) {
        return Refuse(Why::BadDepthRange);
    }
    if (IsLost()) {
        return D3D_OK;
    }
    RECT drawable = DrawableArea();
    if (count == 0) {
        ClearRect(drawable, flags, color, z);
        return D3D_OK;
    }
    for (DWORD i = 0; i < count; ++i) {
        RECT r = {rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2};
        RECT inside = Intersect(r, drawable);
        if (!IsEmpty(inside)) {
            ClearRect(inside, flags, color, z);
        }
    }
    return D3D_OK;
}

}  // namespace platform::d3d9
