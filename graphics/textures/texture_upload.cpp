// Transfers of pixels from a BASEIMAGE into an image's textures or memory
// image.
//
// Routes (UploadImageToTexture): a memory image takes the rectangle through
// MemImgTransferFromBaseImage. A texture image visits the tiles its
// destination overlaps; per tile part:
//   - drawable: the rectangle is converted once into a system-memory surface
//     and each part copied to the render target (UpdateSurface);
//   - one level: converted straight into the locked texture (or its staging
//     copy), the last column and row repeated into the texture's unused
//     border; DXT blocks pass through when they fill the whole texture;
//   - several levels: the base's own levels converted level by level, or
//     level 0 halved into each further level; DXT levels pass through.
// Not done: GDI bitmaps as a source. Movie frames: movie_frames.cpp.
#include <algorithm>
#include <cstring>

#include "foundation/math/matrix.h"
#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "graphics/batch/vertex_batch.h"
#include "graphics/device/device_internal.h"
#include "graphics/device/device_state.h"
#include "graphics/device/shader_pack.h"
#include "graphics/images/image_records.h"
#include "graphics/memimg/memimg.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/state/render_state_cache.h"
#include "graphics/textures/image_textures.h"
#include "images/convert.h"
#include "images/dxt.h"
#include "images/image_loader.h"
#include "platform/types.h"
#include "softrender/draw_state.h"

namespace tessel {

namespace {

constexpr const char* kDxtRefusal =
    "DXTフォーマットのテクスチャに標準形式のイメージを転送することはできません\n";

RECT Intersect(const RECT& a, const RECT& b) {
    return RECT{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                std::min(a.bottom, b.bottom)};
}

bool IsEmpty(const RECT& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

int BlockBytes(uint32_t kind) {
    return kind == kPixelsDxt1 ? 8 : 16;
}

// Bytes of one level of a compressed picture.
size_t DxtLevelBytes(int width, int height, uint32_t kind) {
    return static_cast<size_t>((width + 3) / 4) * static_cast<size_t>((height + 3) / 4) *
           static_cast<size_t>(BlockBytes(kind));
}

// Where level `level` of a plain multi-level base starts, and its pitch.
const uint8_t* PlainLevel(const BASEIMAGE& base, int level, int* pitch) {
    const uint8_t* p = base.pixels;
    int w = base.width;
    int h = base.height;
    *pitch = base.pitch;
    for (int l = 0; l < level; ++l) {
        p += static_cast<size_t>(*pitch) * h;
        w = std::max(1, w / 2);
        h = std::max(1, h / 2);
        *pitch = w * base.format.bytes;
    }
    return p;
}

// A plain copy of a compressed base's first level; the caller releases it.
int DecodedCopy(const BASEIMAGE& base, BASEIMAGE* out) {
    *out = base;
    out->mipCount = 0;
    const size_t bytes = DxtLevelBytes(base.width, base.height, base.format.compressedKind);
    out->pixels =
        static_cast<uint8_t*>(AllocTracked(static_cast<uint32_t>(bytes), __FILE__, __LINE__));
    if (out->pixels == nullptr) {
        return WriteLog("標準イメージ用のメモリ確保に失敗しました\n");
    }
    std::memcpy(out->pixels, base.pixels, bytes);
    if (DecodeDxtImage(out) != 0) {
        ReleaseImageBuffer(out);
        return WriteLog("標準イメージ用のメモリ確保に失敗しました\n");
    }
    return 0;
}

// One transfer into the tiles of a texture source.
struct TileJob {
    const ImageUpload* upload;
    ImageSourceRecord* source;
    const PixelFormatDesc* dstFormat;
    const BASEIMAGE* base;       // plain pixels (decoded when the base was DXT)
    const BASEIMAGE* alphaBase;  // plain too, or null
    const BASEIMAGE* original;   // as the caller gave it
    uint32_t textureKind;        // DXT kind of the device format, 0 for plain pixels
    bool key;
    RECT dest;                 // in source-picture coordinates
    IDirect3DSurface9* plain;  // drawable transfers
};

void ConvertInto(const TileJob& job, void* pixels, int pitch, int dstX, int dstY, int baseX,
                 int baseY, int width, int height) {
    ConvertImageDesc d;
    d.dstPixels = pixels;
    d.dstPitch = pitch;
    d.dstFormat = job.dstFormat;
    d.dstX = dstX;
    d.dstY = dstY;
    d.srcPixels = job.base->pixels;
    d.srcPitch = job.base->pitch;
    d.srcFormat = &job.base->format;
    d.srcRect = RECT{baseX, baseY, baseX + width, baseY + height};
    if (job.alphaBase != nullptr) {
        d.alphaPixels = job.alphaBase->pixels;
        d.alphaPitch = job.alphaBase->pitch;
        d.alphaFormat = &job.alphaBase->format;
    }
    d.colorKey = job.key;
    d.keyColor = job.source->transparentColor;
    d.ditherMode = GetImageLoadOption();
    ConvertImagePixels(d);
}

// The data's last column and row copied into the extra column and row.
void RepeatEdges(uint8_t* pixels, int pitch, int bytes, int width, int height, bool column,
                 bool row) {
    auto at = [&](int x, int y) { return pixels + static_cast<ptrdiff_t>(y) * pitch + x * bytes; };
    if (column) {
        for (int y = 0; y < height; ++y) {
            std::memcpy(at(width, y), at(width - 1, y), bytes);
        }
    }
    if (row) {
        std::memcpy(at(0, height), at(0, height - 1), static_cast<size_t>(width) * bytes);
    }
    if (column && row) {
        std::memcpy(at(width, height), at(width - 1, height - 1), bytes);
    }
}

// Copies level `level` of a compressed base whole into the locked level.
void CopyDxtLevel(const BASEIMAGE& base, int level, const D3DLOCKED_RECT& locked, int texWidth,
                  int texHeight) {
    const uint32_t kind = base.format.compressedKind;
    const uint8_t* src = base.pixels;
    int w = base.width;
    int h = base.height;
    for (int l = 0; l < level; ++l) {
        src += DxtLevelBytes(w, h, kind);
        w = std::max(1, w / 2);
        h = std::max(1, h / 2);
    }
    const int lw = std::max(1, texWidth >> level);
    const int lh = std::max(1, texHeight >> level);
    const size_t rowBytes = static_cast<size_t>((lw + 3) / 4) * BlockBytes(kind);
    const size_t srcRowBytes = static_cast<size_t>((w + 3) / 4) * BlockBytes(kind);
    auto* dst = static_cast<uint8_t*>(locked.pBits);
    for (int row = 0; row < (lh + 3) / 4; ++row) {
        std::memcpy(dst + static_cast<ptrdiff_t>(row) * locked.Pitch, src + row * srcRowBytes,
                    std::min(rowBytes, srcRowBytes));
    }
}

bool CoversWholeTexture(const TextureTile& tile, const RECT& inTile) {
    return inTile.left == 0 && inTile.top == 0 && inTile.right == tile.textureWidth &&
           inTile.bottom == tile.textureHeight;
}

int UploadDrawablePart(const TileJob& job, const TextureTile& tile, const RECT& overlap) {
    const RECT from{overlap.left - job.dest.left, overlap.top - job.dest.top,
                    overlap.right - job.dest.left, overlap.bottom - job.dest.top};
    const POINT to{overlap.left - tile.x, overlap.top - tile.y};
    if (FAILED(g_graphics.device->UpdateSurface(job.plain, &from, tile.surface, &to))) {
        return WriteLog("描画可能テクスチャへの画像の転送に失敗しました\n");
    }
    return 0;
}

int UploadSingleLevel(const TileJob& job, const TextureTile& tile, const RECT& overlap, int baseX,
                      int baseY) {
    IDirect3DTexture9* target = tile.staging != nullptr ? tile.staging : tile.texture;
    const RECT inTile{overlap.left - tile.x, overlap.top - tile.y, overlap.right - tile.x,
                      overlap.bottom - tile.y};
    const uint32_t kind = job.textureKind;
    if (kind != 0) {
        if (!CoversWholeTexture(tile, inTile) || job.original->format.compressedKind != kind) {
            WriteLog(kDxtRefusal);
            return 0;
        }
        D3DLOCKED_RECT locked = {};
        if (FAILED(target->LockRect(0, &locked, nullptr, 0))) {
            return WriteLog("テクスチャのロックに失敗しました\n");
        }
        CopyDxtLevel(*job.original, 0, locked, tile.textureWidth, tile.textureHeight);
        target->UnlockRect(0);
        return 0;
    }
    const bool column = inTile.right == tile.width && tile.textureWidth > tile.width;
    const bool row = inTile.bottom == tile.height && tile.textureHeight > tile.height;
    const RECT lockRect{inTile.left, inTile.top, inTile.right + (column ? 1 : 0),
                        inTile.bottom + (row ? 1 : 0)};
    D3DLOCKED_RECT locked = {};
    if (FAILED(target->LockRect(0, &locked, &lockRect, 0))) {
        return WriteLog("テクスチャのロックに失敗しました\n");
    }
    const int width = inTile.right - inTile.left;
    const int height = inTile.bottom - inTile.top;
    ConvertInto(job, locked.pBits, locked.Pitch, 0, 0, baseX, baseY, width, height);
    if (job.dstFormat->bytes == 2 || job.dstFormat->bytes == 4) {
        RepeatEdges(static_cast<uint8_t*>(locked.pBits), locked.Pitch, job.dstFormat->bytes, width,
                    height, column, row);
    }
    target->UnlockRect(0);
    return 0;
}

int PowerOfTwoAtLeast(int n) {
    int p = 1;
    while (p < n) {
        p *= 2;
    }
    return p;
}

// Writes rows of a level buffer into the locked rectangle of one level.
int WriteLevel(IDirect3DTexture9* target, int level, const RECT& rect, const uint8_t* pixels,
               int pitch, int bytes) {
    D3DLOCKED_RECT locked = {};
    if (FAILED(target->LockRect(level, &locked, &rect, 0))) {
        return WriteLog("ミップマップテクスチャのロックに失敗しました\n");
    }
    const int width = rect.right - rect.left;
    for (int y = 0; y < rect.bottom - rect.top; ++y) {
        std::memcpy(static_cast<uint8_t*>(locked.pBits) + static_cast<ptrdiff_t>(y) * locked.Pitch,
                    pixels + static_cast<ptrdiff_t>(y) * pitch, static_cast<size_t>(width) * bytes);
    }
    target->UnlockRect(level);
    return 0;
}

// The part's rectangle on level `level`, cut to that level's size.
RECT LevelRect(const TextureTile& tile, const RECT& inTile, int level) {
    const int lw = std::max(1, tile.textureWidth >> level);
    const int lh = std::max(1, tile.textureHeight >> level);
    const int left = std::min(inTile.left >> level, lw - 1);
    const int top = std::min(inTile.top >> level, lh - 1);
    const int width = std::max(1, (inTile.right - inTile.left) >> level);
    const int height = std::max(1, (inTile.bottom - inTile.top) >> level);
    return RECT{left, top, std::min(lw, left + width), std::min(lh, top + height)};
}

int GenerateLevels(const TileJob& job, const TextureTile& tile, IDirect3DTexture9* target,
                   int levels, const RECT& inTile, int baseX, int baseY) {
    const int bytes = job.dstFormat->bytes;
    const int width = inTile.right - inTile.left;
    const int height = inTile.bottom - inTile.top;
    const int pw = PowerOfTwoAtLeast(width);
    const int ph = PowerOfTwoAtLeast(height);
    const size_t half = static_cast<size_t>(pw) * ph * bytes;
    auto* buffer = static_cast<uint8_t*>(
        AllocTrackedZeroed(static_cast<uint32_t>(half * 2), __FILE__, __LINE__));
    if (buffer == nullptr) {
        return WriteLog(
            "テクスチャへ転送する画像を一時的に格納するメモリ領域の確保に失敗しました\n");
    }
    uint8_t* current = buffer;
    uint8_t* next = buffer + half;
    int cw = pw;
    int ch = ph;
    ConvertInto(job, current, pw * bytes, 0, 0, baseX, baseY, width, height);
    int result = 0;
    for (int level = 0; level < levels && result == 0; ++level) {
        result =
            WriteLevel(target, level, LevelRect(tile, inTile, level), current, cw * bytes, bytes);
        if (level + 1 < levels) {
            HalveImagePixels(job.dstFormat, next, std::max(1, cw / 2) * bytes, current, cw * bytes,
                             0, 0, 0, 0, cw, ch);
            std::swap(current, next);
            cw = std::max(1, cw / 2);
            ch = std::max(1, ch / 2);
        }
    }
    FreeTracked(buffer);
    return result;
}

int UploadLevels(const TileJob& job, const TextureTile& tile, const RECT& overlap, int baseX,
                 int baseY, int levels) {
    IDirect3DTexture9* target = tile.staging != nullptr ? tile.staging : tile.texture;
    const RECT inTile{overlap.left - tile.x, overlap.top - tile.y, overlap.right - tile.x,
                      overlap.bottom - tile.y};
    const BASEIMAGE& original = *job.original;
    const int baseLevels = std::max(1, original.mipCount);
    const uint32_t kind = job.textureKind;
    if (kind != 0) {
        if (!CoversWholeTexture(tile, inTile) || original.format.compressedKind != kind ||
            baseLevels < levels) {
            WriteLog(kDxtRefusal);
            return 0;
        }
        for (int level = 0; level < levels; ++level) {
            D3DLOCKED_RECT locked = {};
            if (FAILED(target->LockRect(level, &locked, nullptr, 0))) {
                return WriteLog("ミップマップテクスチャのロックに失敗しました\n");
            }
            CopyDxtLevel(original, level, locked, tile.textureWidth, tile.textureHeight);
            target->UnlockRect(level);
        }
        return 0;
    }
    if (baseLevels < levels || job.base != &original) {
        return GenerateLevels(job, tile, target, levels, inTile, baseX, baseY);
    }
    for (int level = 0; level < levels; ++level) {
        const RECT rect = LevelRect(tile, inTile, level);
        D3DLOCKED_RECT locked = {};
        if (FAILED(target->LockRect(level, &locked, &rect, 0))) {
            return WriteLog("ミップマップテクスチャのロックに失敗しました\n");
        }
        BASEIMAGE levelBase = original;
        levelBase.pixels = const_cast<uint8_t*>(PlainLevel(original, level, &levelBase.pitch));
        levelBase.width = std::max(1, original.width >> level);
        levelBase.height = std::max(1, original.height >> level);
        TileJob levelJob = job;
        levelJob.base = &levelBase;
        levelJob.alphaBase = nullptr;
        const int bx = std::min(baseX >> level, levelBase.width - 1);
        const int by = std::min(baseY >> level, levelBase.height - 1);
        const int w = std::min<int>(rect.right - rect.left, levelBase.width - bx);
        const int h = std::min<int>(rect.bottom - rect.top, levelBase.height - by);
        ConvertInto(levelJob, locked.pBits, locked.Pitch, 0, 0, bx, by, w, h);
        target->UnlockRect(level);
    }
    return 0;
}

int UploadPart(const TileJob& job, const TextureTile& tile, const RECT& region) {
    const RECT overlap = Intersect(job.dest, region);
    if (IsEmpty(overlap) || tile.texture == nullptr) {
        return 0;
    }
    if (job.source->request.drawable != 0) {
        return UploadDrawablePart(job, tile, overlap);
    }
    const int baseX = job.upload->sourceRect.left + (overlap.left - job.dest.left);
    const int baseY = job.upload->sourceRect.top + (overlap.top - job.dest.top);
    const int levels = static_cast<int>(tile.texture->GetLevelCount());
    const int result = levels <= 1 ? UploadSingleLevel(job, tile, overlap, baseX, baseY)
                                   : UploadLevels(job, tile, overlap, baseX, baseY, levels);
    if (result == 0 && tile.staging != nullptr) {
        g_graphics.device->UpdateTexture(tile.staging, tile.texture);
    }
    return result;
}

// The rectangle converted whole into a system-memory surface for the copies
// to a render target.
int MakePlainSurface(TileJob* job, D3DFORMAT format) {
    const int width = job->dest.right - job->dest.left;
    const int height = job->dest.bottom - job->dest.top;
    if (FAILED(g_graphics.device->CreateOffscreenPlainSurface(
            width, height, format, D3DPOOL_SYSTEMMEM, &job->plain, nullptr))) {
        job->plain = nullptr;
        return WriteLog("画像転送用のシステムメモリテクスチャの作成に失敗しました\n");
    }
    D3DLOCKED_RECT locked = {};
    if (FAILED(job->plain->LockRect(&locked, nullptr, D3DLOCK_DISCARD))) {
        ReleaseComObject(&job->plain);
        return WriteLog("画像転送用のシステムメモリテクスチャの作成に失敗しました\n");
    }
    ConvertInto(*job, locked.pBits, locked.Pitch, 0, 0, job->upload->sourceRect.left,
                job->upload->sourceRect.top, width, height);
    job->plain->UnlockRect();
    return 0;
}

int UploadToTiles(const ImageUpload& u, ImageRecord* image) {
    if (g_graphics.device == nullptr) {
        return -1;
    }
    ImageSourceRecord* source = image->source;
    const D3DFORMAT format = g_graphics.formats.texture[source->formatCode];
    TileJob job = {};
    job.upload = &u;
    job.source = source;
    job.dstFormat = PixelFormatForD3DFormat(format);
    if (job.dstFormat == nullptr) {
        job.dstFormat = TextureFormatDescriptor(static_cast<int>(source->formatCode));
    }
    job.original = u.base;
    job.base = u.base;
    job.alphaBase = u.alphaBase;
    const int width = u.sourceRect.right - u.sourceRect.left;
    const int height = u.sourceRect.bottom - u.sourceRect.top;
    const int offsetX = u.destInSource != 0 ? 0 : image->x;
    const int offsetY = u.destInSource != 0 ? 0 : image->y;
    job.dest = RECT{u.destX + offsetX, u.destY + offsetY, u.destX + offsetX + width,
                    u.destY + offsetY + height};
    BASEIMAGE decoded = {};
    BASEIMAGE decodedAlpha = {};
    int result = 0;
    job.textureKind = DxtKindOfFormat(format);
    const bool plainTexture = job.textureKind == 0;
    if (plainTexture && u.base->format.compressedKind != 0) {
        result = DecodedCopy(*u.base, &decoded);
        job.base = &decoded;
    }
    if (result == 0 && plainTexture && u.alphaBase != nullptr &&
        u.alphaBase->format.compressedKind != 0) {
        result = DecodedCopy(*u.alphaBase, &decodedAlpha);
        job.alphaBase = &decodedAlpha;
    }
    job.key = u.useTransparent != 0 && job.dstFormat->alphaWidth != 0 && job.alphaBase == nullptr &&
              job.base->format.alphaWidth == 0;
    if (result == 0 && source->request.drawable != 0) {
        result = MakePlainSurface(&job, format);
    }
    if (u.destInSource != 0) {
        for (uint32_t i = 0; i < source->tileCount && result == 0; ++i) {
            const TextureTile& t = source->tiles[i];
            result = UploadPart(job, t, RECT{t.x, t.y, t.x + t.width, t.y + t.height});
        }
    } else {
        for (int i = 0; i < image->tileEntryCount && result == 0; ++i) {
            const TileDrawEntry& e = image->tileEntries[i];
            const int left = image->x + e.destX;
            const int top = image->y + e.destY;
            result = UploadPart(job, *e.tile, RECT{left, top, left + e.width, top + e.height});
        }
    }
    ReleaseComObject(&job.plain);
    ReleaseImageBuffer(&decoded);
    ReleaseImageBuffer(&decodedAlpha);
    return result;
}

// The palette entry that holds the transparent colour; a value past the
// palette when none does, so that no index turns transparent by accident.
uint32_t TransparentPaletteIndex(const MemImgBase& store, uint32_t color) {
    const int r = (color >> 16) & 0xFF;
    const int g = (color >> 8) & 0xFF;
    const int b = color & 0xFF;
    const uint32_t count = 256;
    if (store.colorType == kMemImgRgb565) {
        const uint32_t value = static_cast<uint32_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
        for (uint32_t i = 0; i < count; ++i) {
            if (LoadPixelValue(store.palette + i * 2, 2) == value) {
                return i;
            }
        }
        return 0xFFFF;
    }
    const uint32_t value = static_cast<uint32_t>((r << 16) | (g << 8) | b);
    for (uint32_t i = 0; i < count; ++i) {
        if ((LoadPixelValue(store.palette + i * 4, 4) & 0xFFFFFF) == value) {
            return i;
        }
    }
    return 0xFFFF;
}

int UploadToMemImg(const ImageUpload& u, ImageRecord* image) {
    ImageSourceRecord* source = image->source;
    const int width = u.sourceRect.right - u.sourceRect.left;
    const int height = u.sourceRect.bottom - u.sourceRect.top;
    const int offsetX = u.destInSource != 0 ? 0 : image->x;
    const int offsetY = u.destInSource != 0 ? 0 : image->y;
    const RECT bounds =
        u.destInSource != 0
            ? RECT{0, 0, static_cast<LONG>(source->width), static_cast<LONG>(source->height)}
            : RECT{image->x, image->y, image->x + image->width, image->y + image->height};
    RECT dest{u.destX + offsetX, u.destY + offsetY, u.destX + offsetX + width,
              u.destY + offsetY + height};
    dest = Intersect(dest, bounds);
    if (IsEmpty(dest)) {
        return -1;
    }
    const int srcX = u.sourceRect.left + (dest.left - (u.destX + offsetX));
    const int srcY = u.sourceRect.top + (dest.top - (u.destY + offsetY));
    if (MemImgTransferFromBaseImage(u.base, u.alphaBase, &source->memImg, srcX, srcY,
                                    dest.right - dest.left, dest.bottom - dest.top, dest.left,
                                    dest.top, u.useTransparent, source->transparentColor) != 0) {
        return -1;
    }
    MemImgBase* store = source->memImg.base;
    if (store->paletted != 0 && store->palette != nullptr) {
        store->transparent = TransparentPaletteIndex(*store, source->transparentColor);
    }
    return 0;
}

// Cuts the source rectangle to the pictures, moving the destination point
// with its top-left corner, so that nothing is read from outside them. false
// when nothing is left.
bool ClipToPictures(ImageUpload* u) {
    int width = u->base->width;
    int height = u->base->height;
    if (u->alphaBase != nullptr) {
        width = std::min(width, static_cast<int>(u->alphaBase->width));
        height = std::min(height, static_cast<int>(u->alphaBase->height));
    }
    RECT& r = u->sourceRect;
    if (r.left < 0) {
        u->destX -= r.left;
        r.left = 0;
    }
    if (r.top < 0) {
        u->destY -= r.top;
        r.top = 0;
    }
    r.right = std::min<LONG>(r.right, width);
    r.bottom = std::min<LONG>(r.bottom, height);
    return !IsEmpty(r);
}

}  // namespace

int UploadImageToTexture(const ImageUpload& request) {
    ImageUpload u = request;
    if (g_graphics.started == 0) {
        return -1;
    }
    ImageRecord* image = GetImageRecord(u.handle);
    if (image == nullptr || image->source == nullptr || u.base == nullptr ||
        u.base->pixels == nullptr) {
        return -1;
    }
    FlushVertexBatch();
    if (u.sourceRect.right - u.sourceRect.left < 1 || u.sourceRect.bottom - u.sourceRect.top < 1) {
        return 0;
    }
    if (!ClipToPictures(&u)) {
        return WriteLog("転送元の矩形が画像の外にあります\n");
    }
    if (IsTextureSource(image->source)) {
        return UploadToTiles(u, image);
    }
    return UploadToMemImg(u, image);
}

int FillImageFromSource(const char* fileName, int gdi, const BASEIMAGE* base,
                        const BASEIMAGE* alphaBase, int reloadX, int reloadY, int handle,
                        uint32_t loaderOption) {
    const ImageRecord* image = GetImageRecord(handle);
    if (image == nullptr) {
        return -1;
    }
    const RECT rect{reloadX, reloadY, reloadX + image->width, reloadY + image->height};
    return UploadImageRect(fileName, gdi, base, alphaBase, &rect, 0, 0, handle, loaderOption);
}

int UploadImageRect(const char* fileName, int gdi, const BASEIMAGE* base,
                    const BASEIMAGE* alphaBase, const RECT* sourceRect, int destX, int destY,
                    int handle, uint32_t loaderOption) {
    ImageRecord* image = GetImageRecord(handle);
    if (g_graphics.started == 0 || image == nullptr || base == nullptr) {
        return -1;
    }
    if (gdi != 0) {
        return WriteLog("GDI のビットマップからの転送には対応していません\n");
    }
    SetImageFileName(handle, fileName, -1);
    RECT rect = sourceRect != nullptr ? *sourceRect : RECT{0, 0, base->width, base->height};
    image->reloadX = rect.left - destX;
    image->reloadY = rect.top - destY;
    image->loaderOption = loaderOption;
    ImageUpload upload = {};
    upload.handle = handle;
    upload.base = base;
    upload.alphaBase = alphaBase;
    upload.sourceRect = rect;
    upload.destX = destX;
    upload.destY = destY;
    upload.useTransparent = g_drawSettings.transparentColorUseOff == 0 ? 1 : 0;
    return UploadImageToTexture(upload);
}

}  // namespace tessel
