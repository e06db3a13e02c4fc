// The device's resources: surfaces with Direct3D 9's lock rules by kind, pool and usage;
// textures as chains of surface levels; volume textures; and the interface identifiers.
//
// Not here: dirty regions (every unlock that could write counts as a change), AddDirtyRect,
// priorities and eviction, cube textures.
#include "platform/d3d9/objects.h"

#include <algorithm>
#include <cstring>

#include "platform/d3d9/raster_draw.h"
#include "platform/d3d9_testing.h"

#include "platform/d3d9/trace.h"
#include "platform/d3d9/yuv_surface.h"

const IID IID_IDirect3D9 = {
    0x81BDCBCA, 0x64D4, 0x426D, {0xAE, 0x8D, 0xAD, 0x01, 0x47, 0xF4, 0x27, 0x5C}};
const IID IID_IDirect3DDevice9 = {
    0xD0223B96, 0xBF7A, 0x43FD, {0x92, 0xBD, 0xA4, 0x3B, 0x0D, 0x82, 0xB9, 0xEB}};
const IID IID_IDirect3DSurface9 = {
    0x0CFBAF3A, 0x9FF6, 0x429A, {0x99, 0xB3, 0xA2, 0x79, 0x6A, 0xF8, 0xB8, 0x9B}};
const IID IID_IDirect3DTexture9 = {
    0x85C31227, 0x3DE5, 0x4F00, {0x9B, 0x3A, 0xF1, 0x1A, 0xC3, 0x8C, 0x18, 0xB5}};
const IID IID_IDirect3DVolumeTexture9 = {
    0x2518526C, 0xE789, 0x4111, {0xA7, 0xB9, 0x47, 0xEF, 0x32, 0x8D, 0x13, 0xE6}};
const IID IID_IDirect3DSwapChain9 = {
    0x794950F2, 0xADFC, 0x458A, {0x90, 0x5E, 0x10, 0xA1, 0x0B, 0x0B, 0x50, 0x3B}};

namespace platform::d3d9 {

namespace {

// What is wrong with a lock rectangle, or None: it must have area, lie in the
// surface and, for DXT, lie on block boundaries (or end at the surface's edge).
D3D9Refusal LockRectFault(const RECT& r, int width, int height, bool blocks) {
    if (r.left >= r.right || r.top >= r.bottom) {
        return Why::EmptyRect;
    }
    if (r.left < 0 || r.top < 0 || r.right > width || r.bottom > height) {
        return Why::RectOutsideSurface;
    }
    auto aligned = [](LONG v, int edge) { return v % 4 == 0 || v == edge; };
    if (blocks && !(aligned(r.left, width) && aligned(r.top, height) && aligned(r.right, width) &&
                    aligned(r.bottom, height))) {
        return Why::RectOffBlocks;
    }
    return Why::None;
}

// New resource memory is left as the allocator gives it: every caller writes
// what it later reads (uploads, clears, render passes), and zeroing textures
// the upload then overwrote was a third of the start-up. Under the poison (the
// test programs) every byte is the poison byte, so that a read of memory
// never written shows.
void PrepareNewStorage(ResourceMemory& bytes, size_t size) {
    bytes.resize(size);
    if (platform::D3D9PoisonFill()) {
        std::memset(bytes.data(), platform::kD3D9PoisonByte, size);
    }
}

}  // namespace

void SettleDraws(const DeviceLife* life) {
    if (life != nullptr && life->batch != nullptr)
        life->batch->Flush();
}

// ---------------------------------------------------------------------------
// Surface

Surface::Surface(SurfaceKind kind, D3DFORMAT format, int width, int height, D3DPOOL pool,
                 DWORD usage, bool lockable, IUnknown* owner, DeviceLifePtr life)
    : kind_(kind),
      format_(format),
      width_(width),
      height_(height),
      pool_(pool),
      usage_(usage),
      lockable_(lockable),
      owner_(owner),
      life_(std::move(life)),
      pitch_(RowPitch(format, width)) {
    PrepareNewStorage(storage_, static_cast<size_t>(pitch_) * StorageRows(format, height));
}

// Kept draws may sample or write this surface's storage: they run before it goes.
Surface::~Surface() {
    SettleDraws(life_);
}

ULONG Surface::AddRef() {
    if (owner_ != nullptr) {
        return owner_->AddRef();
    }
    return RefCounted::AddRef();
}

ULONG Surface::Release() {
    if (owner_ != nullptr) {
        return owner_->Release();
    }
    return RefCounted::Release();
}

HRESULT Surface::GetDesc(D3DSURFACE_DESC* desc) {
    Enter("IDirect3DSurface9::GetDesc");
    if (desc == nullptr) {
        return Refuse(Why::NullArgument);
    }
    desc->Format = format_;
    desc->Type = D3DRTYPE_SURFACE;
    desc->Usage = usage_;
    desc->Pool = pool_;
    desc->MultiSampleType = D3DMULTISAMPLE_NONE;
    desc->MultiSampleQuality = 0;
    desc->Width = static_cast<UINT>(width_);
    desc->Height = static_cast<UINT>(height_);
    return D3D_OK;
}

bool Surface::LockAllowed() const {
    switch (kind_) {
        case SurfaceKind::Plain:
            return true;
        case SurfaceKind::RenderTarget:
        case SurfaceKind::BackBuffer:
            return lockable_;
        case SurfaceKind::DepthStencil:
            return false;
        case SurfaceKind::TextureLevel:
            if (pool_ != D3DPOOL_DEFAULT) {
                return true;
            }
            return (usage_ & D3DUSAGE_DYNAMIC) != 0 && (usage_ & D3DUSAGE_RENDERTARGET) == 0;
    }
    return false;
}

HRESULT Surface::LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    Trace("IDirect3DSurface9::LockRect", "%p, rect %s, flags 0x%X", static_cast<void*>(this),
          FormatRect(rect).c_str(), flags);
    if (locked == nullptr) {
        return Refuse(Why::NullArgument);
    }
    if (locked_) {
        return Refuse(Why::AlreadyLocked);
    }
    SettleDraws(life_);
    if (!LockAllowed()) {
        return Refuse(Why::NotLockable);
    }
    if (kind_ == SurfaceKind::BackBuffer && life_ && life_->lost) {
        return Refuse(Why::DeviceLost);
    }
    RECT whole = {0, 0, width_, height_};
    const RECT& area = rect != nullptr ? *rect : whole;
    if (IsYuvFormat(format_)) {
        D3D9Refusal fault = YuvLockFault(format_, area, width_, height_);
        if (fault != Why::None) {
            return Refuse(fault);
        }
        locked->Pitch = pitch_;
        locked->pBits = storage_.data() + YuvLockOffset(format_, area, pitch_);
        locked_ = true;
        lockedReadOnly_ = (flags & D3DLOCK_READONLY) != 0;
        return D3D_OK;
    }
    bool blocks = IsDxtFormat(format_);
    D3D9Refusal fault = LockRectFault(area, width_, height_, blocks);
    if (fault != Why::None) {
        return Refuse(fault);
    }
    const FormatInfo* info = FindFormat(format_);
    size_t offset = blocks ? static_cast<size_t>(area.top / 4) * pitch_ +
                                 static_cast<size_t>(area.left / 4) * info->bytesPerUnit
                           : static_cast<size_t>(area.top) * pitch_ +
                                 static_cast<size_t>(area.left) * info->bytesPerUnit;
    locked->Pitch = pitch_;
    locked->pBits = storage_.data() + offset;
    locked_ = true;
    lockedReadOnly_ = (flags & D3DLOCK_READONLY) != 0;
    return D3D_OK;
}

HRESULT Surface::UnlockRect() {
    Trace("IDirect3DSurface9::UnlockRect", "%p", static_cast<void*>(this));
    if (!locked_) {
        return Refuse(Why::NotLocked);
    }
    locked_ = false;
    if (!lockedReadOnly_) {
        Touch();
    }
    return D3D_OK;
}

uint32_t Surface::ReadArgb(int x, int y) const {
    if (IsYuvFormat(format_)) {
        return ReadYuvPixel(*this, x, y);
    }
    if (IsDepthFormat(format_)) {
        const uint8_t* p = storage_.data() + static_cast<size_t>(y) * pitch_ +
                           static_cast<size_t>(x) * FindFormat(format_)->bytesPerUnit;
        return format_ == D3DFMT_D16 ? static_cast<uint32_t>(p[0] | (p[1] << 8))
                                     : static_cast<uint32_t>(p[0]) | (p[1] << 8) | (p[2] << 16) |
                                           (static_cast<uint32_t>(p[3]) << 24);
    }
    return ReadPixel(format_, storage_.data(), pitch_, x, y);
}

void Surface::WriteArgb(int x, int y, uint32_t argb) {
    const FormatInfo* info = FindFormat(format_);
    if (info == nullptr || info->blockCompressed || info->depth) {
        return;
    }
    EncodePixel(format_, argb, Row(y) + static_cast<size_t>(x) * info->bytesPerUnit);
    Touch();
}

// ---------------------------------------------------------------------------
// Texture

Texture::Texture(int width, int height, int levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                 DeviceLifePtr life)
    : usage_(usage), format_(format), pool_(pool) {
    for (int i = 0; i < levels; ++i) {
        levels_.push_back(std::make_unique<Surface>(SurfaceKind::TextureLevel, format, width,
                                                    height, pool, usage, true, this, life));
        width = std::max(1, width / 2);
        height = std::max(1, height / 2);
    }
}

HRESULT Texture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
    Enter("IDirect3DTexture9::GetLevelDesc");
    if (level >= levels_.size()) {
        return Refuse(Why::IndexOutOfRange);
    }
    return levels_[level]->GetDesc(desc);
}

HRESULT Texture::GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) {
    Enter("IDirect3DTexture9::GetSurfaceLevel");
    if (surface == nullptr) {
        return Refuse(Why::NullArgument);
    }
    if (level >= levels_.size()) {
        return Refuse(Why::IndexOutOfRange);
    }
    AddRef();
    *surface = levels_[level].get();
    return D3D_OK;
}

HRESULT Texture::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    Enter("IDirect3DTexture9::LockRect");
    if (level >= levels_.size()) {
        return Refuse(Why::IndexOutOfRange);
    }
    return levels_[level]->LockRect(locked, rect, flags);
}

HRESULT Texture::UnlockRect(UINT level) {
    Enter("IDirect3DTexture9::UnlockRect");
    if (level >= levels_.size()) {
        return Refuse(Why::IndexOutOfRange);
    }
    return levels_[level]->UnlockRect();
}

// ---------------------------------------------------------------------------
// VolumeTexture

VolumeTexture::VolumeTexture(int width, int height, int depth, int levels, DWORD usage,
                             D3DFORMAT format, D3DPOOL pool)
    : usage_(usage), format_(format), pool_(pool) {
    for (int i = 0; i < levels; ++i) {
        Volume volume{width, height, depth, RowPitch(format, width), 0, {}};
        volume.slicePitch = volume.rowPitch * height;
        PrepareNewStorage(volume.bits, static_cast<size_t>(volume.slicePitch) * depth);
        levels_.push_back(std::move(volume));
        width = std::max(1, width / 2);
        height = std::max(1, height / 2);
        depth = std::max(1, depth / 2);
    }
}

HRESULT VolumeTexture::GetLevelDesc(UINT level, D3DVOLUME_DESC* desc) {
    Enter("IDirect3DVolumeTexture9::GetLevelDesc");
    if (desc == nullptr) {
        return Refuse(Why::NullArgument);
    }
    if (level >= levels_.size()) {
        return Refuse(Why::IndexOutOfRange);
    }
    const Volume& volume = levels_[level];
    desc->Format = format_;
    desc->Type = D3DRTYPE_VOLUME;
    desc->Usage = usage_;
    desc->Pool = pool_;
    desc->Width = static_cast<UINT>(volume.width);
    desc->Height = static_cast<UINT>(volume.height);
    desc->Depth = static_cast<UINT>(volume.depth);
    return D3D_OK;
}

HRESULT VolumeTexture::LockBox(UINT level, D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags) {
    Trace("IDirect3DVolumeTexture9::LockBox", "%p, level %u, flags 0x%X", static_cast<void*>(this),
          level, flags);
    if (locked == nullptr) {
        return Refuse(Why::NullArgument);
    }
    if (level >= levels_.size()) {
        return Refuse(Why::IndexOutOfRange);
    }
    bool lockable = pool_ != D3DPOOL_DEFAULT || (usage_ & D3DUSAGE_DYNAMIC) != 0;
    Volume& volume = levels_[level];
    if (!lockable) {
        return Refuse(Why::NotLockable);
    }
    if (volume.locked) {
        return Refuse(Why::AlreadyLocked);
    }
    D3DBOX whole = {0,
                    0,
                    static_cast<UINT>(volume.width),
                    static_cast<UINT>(volume.height),
                    0,
                    static_cast<UINT>(volume.depth)};
    const D3DBOX& area = box != nullptr ? *box : whole;
    if (area.Left >= area.Right || area.Top >= area.Bottom || area.Front >= area.Back) {
        return Refuse(Why::EmptyRect);
    }
    if (area.Right > whole.Right || area.Bottom > whole.Bottom || area.Back > whole.Back) {
        return Refuse(Why::RectOutsideSurface);
    }
    int bytes = FindFormat(format_)->bytesPerUnit;
    locked->RowPitch = volume.rowPitch;
    locked->SlicePitch = volume.slicePitch;
    locked->pBits = volume.bits.data() + static_cast<size_t>(area.Front) * volume.slicePitch +
                    static_cast<size_t>(area.Top) * volume.rowPitch +
                    static_cast<size_t>(area.Left) * bytes;
    volume.locked = true;
    ++version_;
    return D3D_OK;
}

HRESULT VolumeTexture::UnlockBox(UINT level) {
    Enter("IDirect3DVolumeTexture9::UnlockBox");
    if (level >= levels_.size()) {
        return Refuse(Why::IndexOutOfRange);
    }
    if (!levels_[level].locked) {
        return Refuse(Why::NotLocked);
    }
    levels_[level].locked = false;
    return D3D_OK;
}

}  // namespace platform::d3d9
