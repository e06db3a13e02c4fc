// Reading the current draw target back: a locked view of a rectangle, a copy
// into an image of exactly the rectangle's size, and a file through the image
// writers; and the whole screen copied out, whatever the target, for the last
// frame. The device path locks the surface itself when it can and a
// system-memory copy when it cannot; the software path describes the memory
// image in place.
#include <cstring>

#include "foundation/memory/log.h"
#include "graphics/batch/vertex_batch.h"
#include "graphics/device/device_state.h"
#include "graphics/device/graphics_device.h"
#include "graphics/images/image_records.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/targets/draw_targets.h"
#include "graphics/textures/texture_formats.h"
#include "images/convert.h"
#include "images/image_writer.h"

namespace tessel {

namespace {

bool InsideTarget(int x1, int y1, int x2, int y2) {
    int width = 0;
    int height = 0;
    CurrentTargetSize(&width, &height);
    return x1 >= 0 && y1 >= 0 && x1 < x2 && y1 < y2 && x2 <= width && y2 <= height;
}

// The image behind the current target; null for a screen.
ImageRecord* TargetImage() {
    const int target = g_drawSettings.drawTarget;
    return target < 0 ? nullptr : GetImageRecord(target);
}

const MEMIMG* TargetMemImg() {
    const ImageRecord* record = TargetImage();
    return record != nullptr ? &record->view : &g_targets.primarySoftScreen;
}

IDirect3DSurface9* ScreenSurface(D3DFORMAT* format) {
    *format = g_graphics.formats.screen;
    return g_graphics.subBackBuffer != nullptr ? g_graphics.subBackBuffer : g_graphics.backBuffer;
}

// The surface the device draws the current target on, with its format.
IDirect3DSurface9* TargetSurface(D3DFORMAT* format) {
    const ImageRecord* record = TargetImage();
    if (record != nullptr) {
        const ImageSourceRecord* source = record->source;
        if (source == nullptr || source->tiles == nullptr) {
            return nullptr;
        }
        *format = g_graphics.formats.texture[source->formatCode];
        return source->tiles[0].surface;
    }
    return ScreenSurface(format);
}

void DescribeMemImg(const MEMIMG* image, const RECT& rect, BASEIMAGE* out) {
    const MemImgBase* base = image->base;
    out->format = *base->format;
    out->width = rect.right - rect.left;
    out->height = rect.bottom - rect.top;
    out->pitch = base->pitch;
    out->pixels = image->pixels + rect.top * base->pitch + rect.left * base->format->bytes;
    out->mipCount = 0;
}

void DescribeLocked(D3DFORMAT format, const D3DLOCKED_RECT& locked, int width, int height,
                    BASEIMAGE* out) {
    const PixelFormatDesc* desc = PixelFormatForD3DFormat(format);
    out->format = desc != nullptr ? *desc : PixelFormatDesc{};
    out->width = width;
    out->height = height;
    out->pitch = locked.Pitch;
    out->pixels = static_cast<uint8_t*>(locked.pBits);
    out->mipCount = 0;
}

// The rectangle copied through a render target into system memory and
// locked there, for surfaces that cannot be locked in place.
int LockThroughCopy(IDirect3DSurface9* surface, D3DFORMAT format, const RECT& rect,
                    D3DLOCKED_RECT* locked, IDirect3DSurface9** lockedCopy) {
    IDirect3DDevice9* device = g_graphics.device;
    const UINT width = static_cast<UINT>(rect.right - rect.left);
    const UINT height = static_cast<UINT>(rect.bottom - rect.top);
    IDirect3DSurface9* renderTarget = nullptr;
    if (FAILED(device->CreateRenderTarget(width, height, format, D3DMULTISAMPLE_NONE, 0, FALSE,
                                          &renderTarget, nullptr))) {
        return WriteLog("バックバッファロック用描画可能サーフェスの作成に失敗しました\n");
    }
    IDirect3DSurface9* copy = nullptr;
    if (FAILED(device->CreateOffscreenPlainSurface(width, height, format, D3DPOOL_SYSTEMMEM, &copy,
                                                   nullptr))) {
        renderTarget->Release();
        return WriteLog("バックバッファロック用システムメモリサーフェスの作成に失敗しました\n");
    }
    device->StretchRect(surface, &rect, renderTarget, nullptr, D3DTEXF_NONE);
    device->GetRenderTargetData(renderTarget, copy);
    renderTarget->Release();
    if (FAILED(copy->LockRect(locked, nullptr, D3DLOCK_READONLY))) {
        copy->Release();
        return WriteLog("バックバッファロック用システムメモリサーフェスのロックに失敗しました\n");
    }
    *lockedCopy = copy;
    return 0;
}

// The rectangle of a surface locked read-only in place or, when that cannot
// be, through a copy (returned in *lockedCopy).
int LockForReading(IDirect3DSurface9* surface, D3DFORMAT format, const RECT& rect,
                   D3DLOCKED_RECT* locked, IDirect3DSurface9** lockedCopy) {
    *lockedCopy = nullptr;
    if (SUCCEEDED(surface->LockRect(locked, &rect, D3DLOCK_READONLY))) {
        return 0;
    }
    return LockThroughCopy(surface, format, rect, locked, lockedCopy);
}

void UnlockAfterReading(IDirect3DSurface9* surface, IDirect3DSurface9* lockedCopy) {
    if (lockedCopy != nullptr) {
        lockedCopy->UnlockRect();
        lockedCopy->Release();
        return;
    }
    surface->UnlockRect();
}

int LockOnDevice(const RECT& rect, BASEIMAGE* image) {
    if (g_graphics.device == nullptr) {
        return -1;
    }
    D3DFORMAT format = D3DFMT_UNKNOWN;
    IDirect3DSurface9* surface = TargetSurface(&format);
    if (surface == nullptr) {
        return -1;
    }
    D3DLOCKED_RECT locked = {};
    IDirect3DSurface9* copy = nullptr;
    if (LockForReading(surface, format, rect, &locked, &copy) != 0) {
        return -1;
    }
    g_targets.lockedCopy = copy;
    g_targets.lockedSurface = copy == nullptr ? surface : nullptr;
    DescribeLocked(format, locked, rect.right - rect.left, rect.bottom - rect.top, image);
    return 0;
}

// Every tile of a texture image takes its part of the locked screen pixels.
void ConvertIntoTiles(const ImageRecord* record, const BASEIMAGE& screen) {
    const PixelFormatDesc* format = TextureFormatDescriptor(record->source->formatCode);
    for (int i = 0; i < record->tileEntryCount; ++i) {
        const TileDrawEntry& entry = record->tileEntries[i];
        TextureTile* tile = entry.tile;
        IDirect3DTexture9* texture = tile->staging != nullptr ? tile->staging : tile->texture;
        const RECT part = {entry.tileX, entry.tileY, entry.tileX + entry.width,
                           entry.tileY + entry.height};
        D3DLOCKED_RECT locked = {};
        if (format == nullptr || FAILED(texture->LockRect(0, &locked, &part, 0))) {
            continue;
        }
        ConvertImageDesc d;
        d.dstPixels = locked.pBits;
        d.dstPitch = locked.Pitch;
        d.dstFormat = format;
        d.srcPixels = screen.pixels;
        d.srcPitch = screen.pitch;
        d.srcFormat = &screen.format;
        d.srcRect =
            RECT{entry.destX, entry.destY, entry.destX + entry.width, entry.destY + entry.height};
        ConvertImagePixels(d);
        texture->UnlockRect(0);
        if (tile->staging != nullptr) {
            g_graphics.device->UpdateTexture(tile->staging, tile->texture);
        }
    }
}

bool SameFormat(const PixelFormatDesc& a, const PixelFormatDesc& b) {
    return a.bits == b.bits && a.bytes == b.bytes && a.redMask == b.redMask &&
           a.greenMask == b.greenMask && a.blueMask == b.blueMask && a.alphaMask == b.alphaMask &&
           a.compressedKind == b.compressedKind;
}

// Row by row into a buffer of the same size and format, made anew when the
// one there differs.
int CopyWholeImage(const BASEIMAGE& from, BASEIMAGE* into) {
    const bool fits = into->pixels != nullptr && into->width == from.width &&
                      into->height == from.height && SameFormat(into->format, from.format);
    if (!fits) {
        ReleaseImageBuffer(into);
        if (CreateImageBufferLike(from.width, from.height, &from, into) != 0) {
            return -1;
        }
    }
    const size_t rowBytes = static_cast<size_t>(from.width) * from.format.bytes;
    for (int y = 0; y < from.height; ++y) {
        std::memcpy(into->pixels + static_cast<ptrdiff_t>(y) * into->pitch,
                    from.pixels + static_cast<ptrdiff_t>(y) * from.pitch, rowBytes);
    }
    return 0;
}

}  // namespace

int LockScreenRect(const RECT* rect, BASEIMAGE* image) {
    FlushVertexBatch();
    EnsureSceneEnded();
    if (rect == nullptr || image == nullptr || g_targets.lockHeld != 0 ||
        !InsideTarget(rect->left, rect->top, rect->right, rect->bottom)) {
        return -1;
    }
    if (g_graphics.hardwareInUse != 0) {
        if (LockOnDevice(*rect, image) != 0) {
            return -1;
        }
    } else {
        const MEMIMG* target = TargetMemImg();
        if (MemImgIsValid(target) == 0) {
            return -1;
        }
        DescribeMemImg(target, *rect, image);
    }
    g_targets.lockHeld = 1;
    return 0;
}

int ReleaseScreenLock() {
    if (g_targets.lockHeld == 0) {
        return 0;
    }
    if (g_targets.lockedCopy != nullptr || g_targets.lockedSurface != nullptr) {
        UnlockAfterReading(g_targets.lockedSurface, g_targets.lockedCopy);
    }
    g_targets.lockedCopy = nullptr;
    g_targets.lockedSurface = nullptr;
    g_targets.lockHeld = 0;
    return 0;
}

int CaptureScreenToImage(int x1, int y1, int x2, int y2, int image) {
    ImageRecord* record = GetImageRecord(image);
    if (record == nullptr) {
        return WriteLog("取り込み先の画像ハンドルが無効です\n");
    }
    FlushVertexBatch();
    EnsureSceneEnded();
    if (!InsideTarget(x1, y1, x2, y2) || record->width != x2 - x1 || record->height != y2 - y1) {
        return WriteLog("取り込む矩形と画像の大きさが合いません\n");
    }
    const ImageSourceRecord* source = record->source;
    if (!IsTextureSource(source)) {
        const RECT area = {x1, y1, x2, y2};
        MemImgCopyRect(&record->view, TargetMemImg(), &area, 0, 0);
        return 0;
    }
    if (g_graphics.device == nullptr) {
        return -1;
    }
    const RECT area = {x1, y1, x2, y2};
    if (source->request.drawable != 0 && source->tiles != nullptr) {
        D3DFORMAT format = D3DFMT_UNKNOWN;
        IDirect3DSurface9* from = TargetSurface(&format);
        const RECT to = {record->x, record->y, record->x + record->width,
                         record->y + record->height};
        g_graphics.device->StretchRect(from, &area, source->tiles[0].surface, &to, D3DTEXF_NONE);
        return 0;
    }
    BASEIMAGE screen = {};
    if (LockScreenRect(&area, &screen) != 0) {
        return -1;
    }
    ConvertIntoTiles(record, screen);
    ReleaseScreenLock();
    return 0;
}

// The writer's result is passed on, so that a file that could not be
// written is not reported as saved.
int SaveDrawScreen(int x1, int y1, int x2, int y2, const char* fileName, int saveType,
                   int jpegQuality, int /*jpegExtra*/, int pngLevel) {
    if (!InsideTarget(x1, y1, x2, y2)) {
        return WriteLog("SaveDrawScreen の矩形が描画先の外にあります\n");
    }
    if (saveType < 0 || saveType > 2) {
        return WriteLog("SaveDrawScreen の保存形式が不明です\n");
    }
    const RECT area = {x1, y1, x2, y2};
    BASEIMAGE image = {};
    IDirect3DSurface9* copy = nullptr;
    if (g_graphics.hardwareInUse != 0) {
        if (g_graphics.device == nullptr) {
            return -1;
        }
        FlushVertexBatch();
        EnsureSceneEnded();
        D3DFORMAT format = D3DFMT_UNKNOWN;
        IDirect3DSurface9* source = TargetSurface(&format);
        D3DSURFACE_DESC desc = {};
        if (source == nullptr || FAILED(source->GetDesc(&desc))) {
            return -1;
        }
        if (FAILED(g_graphics.device->CreateOffscreenPlainSurface(
                desc.Width, desc.Height, format, D3DPOOL_SYSTEMMEM, &copy, nullptr))) {
            return WriteLog("SaveDrawScreen 用システムメモリサーフェスの作成に失敗しました\n");
        }
        g_graphics.device->GetRenderTargetData(source, copy);
        D3DLOCKED_RECT locked = {};
        if (FAILED(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
            copy->Release();
            return -1;
        }
        DescribeLocked(format, locked, x2 - x1, y2 - y1, &image);
        image.pixels += y1 * locked.Pitch + x1 * image.format.bytes;
    } else {
        const MEMIMG* target = TargetMemImg();
        if (MemImgIsValid(target) == 0) {
            return -1;
        }
        DescribeMemImg(target, area, &image);
    }
    int result = -1;
    switch (saveType) {
        case 0:
            result = SaveImageAsBmp(fileName, &image);
            break;
        case 1:
            result = SaveImageAsJpeg(fileName, &image, jpegQuality);
            break;
        default:
            result = SaveImageAsPng(fileName, &image, pngLevel);
            break;
    }
    if (copy != nullptr) {
        copy->UnlockRect();
        copy->Release();
    }
    return result;
}

int CopyScreenPixels(BASEIMAGE* into) {
    int width = 0;
    int height = 0;
    QueryImageSize(kBackScreen, &width, &height);
    const RECT whole = {0, 0, width, height};
    BASEIMAGE screen = {};
    IDirect3DSurface9* surface = nullptr;
    IDirect3DSurface9* copy = nullptr;
    if (g_graphics.hardwareInUse != 0) {
        const D3DFORMAT format = g_graphics.formats.screen;
        surface = g_graphics.device != nullptr ? g_graphics.backBuffer : nullptr;
        D3DLOCKED_RECT locked = {};
        if (surface == nullptr || LockForReading(surface, format, whole, &locked, &copy) != 0) {
            return -1;
        }
        DescribeLocked(format, locked, width, height, &screen);
    } else {
        if (MemImgIsValid(&g_targets.primarySoftScreen) == 0) {
            return -1;
        }
        DescribeMemImg(&g_targets.primarySoftScreen, whole, &screen);
    }
    const int result = CopyWholeImage(screen, into);
    if (surface != nullptr) {
        UnlockAfterReading(surface, copy);
    }
    return result;
}

}  // namespace tessel
