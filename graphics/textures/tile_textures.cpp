// Setting up an image's pixel store. The request (format, levels, staging) is
// made from the creation's arguments and the new-image options; the hardware
// path cuts the picture into power-of-two tiles and creates their textures,
// the software path creates one memory image. Each image then gets its draw
// information: the tile parts its rectangle covers, or its memory-image view.
//
// Routes: SetupImageTextures -> MakeRequest -> (SetupTiles -> CreateTileTextures
// | SetupMemImg) -> BuildTextureDrawInfo. The device's lost-and-found pair
// ReleaseAllTileTextures / RecreateAllTileTextures lives here too; filling the
// textures with pixels does not (texture_upload.cpp).
#include <algorithm>
#include <cstring>

#include "foundation/math/matrix.h"
#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "graphics/device/device_internal.h"
#include "graphics/device/device_state.h"
#include "graphics/device/graphics_device.h"
#include "graphics/device/shader_pack.h"
#include "graphics/images/image_records.h"
#include "graphics/memimg/memimg.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/state/render_state_cache.h"
#include "graphics/textures/image_textures.h"
#include "platform/types.h"
#include "softrender/draw_state.h"

namespace tessel {

namespace {

// Software format codes of the source record.
constexpr uint32_t kSoft16 = 15;
constexpr uint32_t kSoft16Alpha = 16;
constexpr uint32_t kSoft32 = 17;
constexpr uint32_t kSoft32Alpha = 18;

int FullMipChain(int width, int height) {
    int levels = 1;
    while (width > 1 || height > 1) {
        width = std::max(1, width / 2);
        height = std::max(1, height / 2);
        ++levels;
    }
    return levels;
}

int DefaultMipLevels(int width, int height) {
    if (g_textureOptions.mipLevelsOn == 0) {
        return 1;
    }
    if (g_textureOptions.mipLevelCount == -1) {
        return FullMipChain(width, height);
    }
    return g_textureOptions.mipLevelCount;
}

TextureFormatRequest MakeRequest(int width, int height, int alpha, int palette, int compressedKind,
                                 int mipLevels) {
    TextureFormatRequest r = {};
    r.mipLevels = mipLevels == -1 ? DefaultMipLevels(width, height) : mipLevels;
    if (g_drawSettings.drawableImageCreation == 1) {
        r.staging = 1;
        r.compressedKind = 0;
        r.mipLevels = 0;
        r.colorKey = 0;
        r.alpha = g_drawSettings.drawableImageAlpha != 0;
        r.drawable = 1;
    } else {
        r.staging = g_drawSettings.textureRequestFlag != 0;
        r.colorKey = g_drawSettings.colorKeyTextureFormat != 0;
        r.alpha = alpha != 0;
        r.compressedKind = static_cast<uint8_t>(compressedKind);
    }
    const int depth = g_drawSettings.newImageColorDepth;
    const int bits = depth != 0 ? depth : QueryScreenColorDepth();
    if (g_graphics.hardwareInUse != 0) {
        r.hardware = 1;
        // The argument counts here, not the drawable-alpha option.
        r.colorBits = static_cast<uint8_t>(depth == 0 && alpha == 1 ? 32 : bits);
        if (r.alpha != 0) {
            r.colorKey = 0;
        }
    } else {
        r.software = 1;
        r.colorBits = static_cast<uint8_t>(bits);
        r.compressedKind = 0;
        r.mipLevels = 0;
        r.colorKey = 0;
        r.staging = 0;
        r.drawable = 1;
        r.palette = palette != 0;
    }
    return r;
}

// Lays the tiles row by row; a square-only device gets square tiles with the
// rest of each longer side appended at the end. -1 past kMaxTextureTiles.
int LayTiles(int width, int height, int single, TextureTile* tiles) {
    int widths[kMaxTexturePieces];
    int heights[kMaxTexturePieces];
    const int columns = RoundTextureSize(width, widths, single);
    const int rows = RoundTextureSize(height, heights, single);
    if (columns < 0 || rows < 0 || columns * rows > kMaxTextureTiles) {
        return -1;
    }
    const bool square = (g_graphics.deviceCaps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) != 0;
    int count = columns * rows;
    int index = 0;
    int extra = count;
    for (int row = 0, y = 0; row < rows; y += heights[row], ++row) {
        for (int column = 0, x = 0; column < columns; x += widths[column], ++column) {
            int tw = widths[column];
            int th = heights[row];
            if (square && tw != th) {
                const int side = std::min(tw, th);
                const int more = std::max(tw, th) / side - 1;
                if (extra + more > kMaxTextureTiles) {
                    return -1;
                }
                for (int k = 1; k <= more; ++k) {
                    tiles[extra++] = TextureTile{nullptr,
                                                 nullptr,
                                                 nullptr,
                                                 nullptr,
                                                 tw > th ? x + k * side : x,
                                                 tw > th ? y : y + k * side,
                                                 0,
                                                 0,
                                                 side,
                                                 side};
                }
                tw = th = side;
            }
            tiles[index++] = TextureTile{nullptr, nullptr, nullptr, nullptr, x, y, 0, 0, tw, th};
        }
    }
    count = extra;
    for (int i = 0; i < count; ++i) {
        TextureTile& t = tiles[i];
        t.width = std::max(0, std::min(t.textureWidth, width - t.x));
        t.height = std::max(0, std::min(t.textureHeight, height - t.y));
    }
    return count;
}

int SetupTiles(ImageSourceRecord* source) {
    TextureTile laid[kMaxTextureTiles];
    const int count = LayTiles(static_cast<int>(source->width), static_cast<int>(source->height),
                               source->request.drawable, laid);
    if (count < 0) {
        return WriteLogFormat("%dx%d の画像はテクスチャの分割数の上限を越えます\n", source->width,
                              source->height);
    }
    source->tiles = static_cast<TextureTile*>(
        AllocTrackedZeroed(static_cast<uint32_t>(sizeof(TextureTile) * count), __FILE__, __LINE__));
    if (source->tiles == nullptr) {
        return WriteLog("グラフィックのオリジナル画像データ保存用メモリの確保に失敗しました\n");
    }
    std::memcpy(source->tiles, laid, sizeof(TextureTile) * count);
    source->tileCount = static_cast<uint32_t>(count);
    return CreateTileTextures(source);
}

int SetupMemImg(ImageSourceRecord* source) {
    const TextureFormatRequest& r = source->request;
    const bool wide = r.colorBits != 16;
    source->formatCode =
        wide ? (r.alpha ? kSoft32Alpha : kSoft32) : (r.alpha ? kSoft16Alpha : kSoft16);
    const uint32_t colorType = wide ? kMemImgRgb32 : kMemImgRgb565;
    uint32_t transparent = 0xFFFF;
    if (r.palette == 0) {
        const uint32_t c = source->transparentColor;
        transparent = EncodePixelColor(MemImgStandardFormat(colorType, r.alpha, 0),
                                       (c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF, 0);
    }
    if (MemImgCreate(&source->memImg, static_cast<int>(source->width),
                     static_cast<int>(source->height), -1, transparent, static_cast<int>(colorType),
                     r.palette, r.alpha, 0, nullptr) != 0) {
        return WriteLog("メモリイメージの作成に失敗しました\n");
    }
    // A new image starts black, as its textures do on the hardware path.
    MemImgFillRect(&source->memImg, nullptr, 0);
    return 0;
}

// Zeroes every level of a texture that locks.
int ClearTextureLevels(IDirect3DTexture9* texture, int rows) {
    const DWORD levels = texture->GetLevelCount();
    for (DWORD level = 0; level < levels; ++level) {
        D3DLOCKED_RECT locked = {};
        if (FAILED(texture->LockRect(level, &locked, nullptr, 0))) {
            return WriteLog("テクスチャのロックに失敗しました\n");
        }
        std::memset(locked.pBits, 0, static_cast<size_t>(locked.Pitch) * std::max(1, rows));
        texture->UnlockRect(level);
        rows = std::max(1, rows / 2);
    }
    return 0;
}

int ClearTile(const ImageSourceRecord* source, const TextureTile& tile) {
    if (source->request.drawable != 0) {
        g_graphics.device->ColorFill(tile.surface, nullptr, 0);
        return 0;
    }
    if (DxtKindOfFormat(g_graphics.formats.texture[source->formatCode]) != 0) {
        return 0;
    }
    if (tile.staging != nullptr) {
        if (ClearTextureLevels(tile.staging, tile.textureHeight) != 0) {
            return -1;
        }
        g_graphics.device->UpdateTexture(tile.staging, tile.texture);
        return 0;
    }
    return ClearTextureLevels(tile.texture, tile.textureHeight);
}

int CreateOneTile(const ImageSourceRecord* source, D3DFORMAT format, TextureTile* tile) {
    const TextureFormatRequest& r = source->request;
    // A 9Ex device keeps nothing managed; the stand-in has none, so the
    // request's own staging flag decides.
    const bool staging = r.staging != 0;
    const bool drawable = r.drawable != 0;
    const D3DPOOL pool = !staging && !drawable ? D3DPOOL_MANAGED : D3DPOOL_DEFAULT;
    IDirect3DDevice9* device = g_graphics.device;
    if (FAILED(device->CreateTexture(tile->textureWidth, tile->textureHeight, source->mipLevels,
                                     drawable ? D3DUSAGE_RENDERTARGET : 0, format, pool,
                                     &tile->texture, nullptr))) {
        tile->texture = nullptr;
        return WriteLog("書き込み専用テクスチャの作成に失敗しました\n");
    }
    if (!drawable && staging &&
        FAILED(device->CreateTexture(tile->textureWidth, tile->textureHeight, source->mipLevels,
                                     D3DUSAGE_DYNAMIC, format, D3DPOOL_SYSTEMMEM, &tile->staging,
                                     nullptr))) {
        tile->staging = nullptr;
        ReleaseComObject(&tile->texture);
        return WriteLog("メモリテクスチャの作成に失敗しました\n");
    }
    if (FAILED(tile->texture->GetSurfaceLevel(0, &tile->surface))) {
        tile->surface = nullptr;
        return WriteLog("テクスチャのサーフェスアドレスの取得に失敗しました\n");
    }
    return ClearTile(source, *tile);
}

float Ratio(int part, int whole) {
    return static_cast<float>(part) / static_cast<float>(whole);
}

// Along one axis: where the part lands in the image and where it starts in
// the tile.
void PlacePart(int tileStart, int imageStart, int32_t* dest, int32_t* inTile) {
    *dest = tileStart > imageStart ? tileStart - imageStart : 0;
    *inTile = tileStart > imageStart ? 0 : imageStart - tileStart;
}

void FillEntry(const ImageRecord& image, TextureTile* tile, TileDrawEntry* e) {
    PlacePart(tile->x, image.x, &e->destX, &e->tileX);
    PlacePart(tile->y, image.y, &e->destY, &e->tileY);
    e->width = std::min(tile->x + tile->width, image.x + image.width) - std::max(tile->x, image.x);
    e->height =
        std::min(tile->y + tile->height, image.y + image.height) - std::max(tile->y, image.y);
    const int xs[4] = {e->destX, e->destX + e->width, e->destX, e->destX + e->width};
    const int ys[4] = {e->destY, e->destY, e->destY + e->height, e->destY + e->height};
    const int us[4] = {e->tileX, e->tileX + e->width, e->tileX, e->tileX + e->width};
    const int vs[4] = {e->tileY, e->tileY, e->tileY + e->height, e->tileY + e->height};
    for (int c = 0; c < 4; ++c) {
        e->corners[c][0] = static_cast<float>(xs[c]);
        e->corners[c][1] = static_cast<float>(ys[c]);
        e->corners[c][2] = Ratio(us[c], tile->textureWidth);
        e->corners[c][3] = Ratio(vs[c], tile->textureHeight);
        const double h = image.height;
        e->upperCorner[c] =
            ys[c] <= h - static_cast<double>(xs[c]) * h / static_cast<double>(image.width) ? 1 : 0;
    }
    e->tile = tile;
}

bool Overlaps(const TextureTile& tile, const ImageRecord& image) {
    return tile.x < image.x + image.width && image.x < tile.x + tile.width &&
           tile.y < image.y + image.height && image.y < tile.y + tile.height;
}

int BuildTileEntries(ImageRecord* image) {
    ImageSourceRecord* source = image->source;
    int used = 0;
    for (uint32_t i = 0; i < source->tileCount; ++i) {
        used += Overlaps(source->tiles[i], *image) ? 1 : 0;
    }
    if (used == 0) {
        return WriteLog("テクスチャ描画情報の作成に失敗しました\n");
    }
    auto* entries = static_cast<TileDrawEntry*>(AllocTrackedZeroed(
        static_cast<uint32_t>(sizeof(TileDrawEntry) * used), __FILE__, __LINE__));
    if (entries == nullptr) {
        return WriteLog("画像描画情報格納用メモリの確保に失敗しました\n");
    }
    FreeTracked(image->tileEntries);
    image->tileEntries = entries;
    image->tileEntryCount = used;
    for (uint32_t i = 0; i < source->tileCount; ++i) {
        if (Overlaps(source->tiles[i], *image)) {
            FillEntry(*image, &source->tiles[i], entries++);
        }
    }
    return 0;
}

}  // namespace

int RoundTextureSize(int size, int* sizes, int single) {
    if (size <= 8) {
        sizes[0] = 8;
        return 1;
    }
    const int maximum = std::max(8, static_cast<int>(g_graphics.maxTextureSize));
    int t = maximum;
    while (t > 8 && t > size) {
        t /= 2;
    }
    int screenWidth = 0;
    QueryScreenSize(&screenWidth, nullptr);
    if ((g_textureOptions.powerOfTwoOn == 0 || single != 0 || size < screenWidth) &&
        2 * t <= maximum) {
        sizes[0] = t < size ? 2 * t : t;
        return 1;
    }
    int count = 0;
    for (;;) {
        if (count == kMaxTexturePieces) {
            return -1;
        }
        sizes[count++] = t;
        size -= t;
        if (size < 1) {
            break;
        }
        if (size > 3 * t / 4 && t < maximum) {
            sizes[count - 1] = 2 * t;
            break;
        }
        while (size < t && t > 8) {
            t /= 2;
        }
    }
    if (count >= 2 && sizes[count - 1] == sizes[count - 2] && 2 * sizes[count - 1] <= maximum) {
        sizes[count - 2] *= 2;
        --count;
    }
    return count;
}

int SetupImageTextures(int handle, int width, int height, int alpha, int palette,
                       int compressedKind, int mipLevels) {
    ImageRecord* image = GetImageRecord(handle);
    if (image == nullptr) {
        return -1;
    }
    if (width < 1 || height < 1) {
        WriteLogFormat("%dx%d の大きさのグラフィックは作成できません\n", width, height);
        ReleaseImageHandle(handle);
        return -1;
    }
    auto* source = static_cast<ImageSourceRecord*>(
        AllocTrackedZeroed(sizeof(ImageSourceRecord), __FILE__, __LINE__));
    if (source == nullptr) {
        WriteLog("グラフィックのオリジナル画像データ保存用メモリの確保に失敗しました\n");
        ReleaseImageHandle(handle);
        return -1;
    }
    source->refCount = 1;
    source->request = MakeRequest(width, height, alpha, palette, compressedKind, mipLevels);
    source->transparentColor = g_drawSettings.transparentColor;
    source->width = static_cast<uint32_t>(width);
    source->height = static_cast<uint32_t>(height);
    image->source = source;
    image->x = 0;
    image->y = 0;
    image->width = width;
    image->height = height;
    int result = 0;
    if (source->request.hardware != 0) {
        source->formatCode = static_cast<uint32_t>(PickTextureFormatIndex(source->request));
        source->mipLevels = static_cast<uint32_t>(std::max(0, source->request.mipLevels));
        result = SetupTiles(source);
    } else {
        result = SetupMemImg(source);
    }
    if (result != 0 || BuildTextureDrawInfo(handle) != 0) {
        ReleaseImageHandle(handle);
        return -1;
    }
    return 0;
}

int BuildTextureDrawInfo(int handle) {
    ImageRecord* image = GetImageRecord(handle);
    if (image == nullptr || image->source == nullptr) {
        return -1;
    }
    if (IsTextureSource(image->source)) {
        return BuildTileEntries(image);
    }
    MemImgMakeView(&image->view, &image->source->memImg, image->x, image->y, image->width,
                   image->height);
    if (MemImgIsValid(&image->view) == 0) {
        return WriteLog("テクスチャ描画情報の作成に失敗しました\n");
    }
    return 0;
}

int CreateTileTextures(ImageSourceRecord* source) {
    if (!IsTextureSource(source)) {
        return 0;
    }
    if (g_graphics.device == nullptr) {
        return -1;
    }
    const D3DFORMAT format = g_graphics.formats.texture[source->formatCode];
    if (format == 0) {
        return WriteLog("指定のフォーマットで作成できるテクスチャフォーマットがありませんでした\n");
    }
    for (uint32_t i = 0; i < source->tileCount; ++i) {
        TextureTile* tile = &source->tiles[i];
        if (tile->texture == nullptr && CreateOneTile(source, format, tile) != 0) {
            return -1;
        }
    }
    return 0;
}

void ReleaseTileTextures(ImageSourceRecord* source) {
    if (!IsTextureSource(source)) {
        return;
    }
    for (uint32_t i = 0; i < source->tileCount; ++i) {
        TextureTile& tile = source->tiles[i];
        ReleaseComObject(&tile.surface);
        ReleaseComObject(&tile.texture);
        ReleaseComObject(&tile.staging);
    }
}

void ReleaseDrawableBackup(ImageSourceRecord* source) {
    if (source == nullptr) {
        return;
    }
    if (IsTextureSource(source)) {
        for (uint32_t i = 0; i < source->tileCount; ++i) {
            ReleaseComObject(&source->tiles[i].backup);
        }
        return;
    }
    if (source->backup != nullptr) {
        MemImgRelease(source->backup);
        FreeTracked(source->backup);
        source->backup = nullptr;
    }
}

int ReleaseAllTileTextures() {
    for (int slot = 0; slot < g_images.end; ++slot) {
        const ImageRecord* image = g_images.slots[slot];
        if (image != nullptr) {
            ReleaseTileTextures(image->source);
        }
    }
    return 0;
}

int RecreateAllTileTextures() {
    for (int slot = 0; slot < g_images.end && g_graphics.device != nullptr; ++slot) {
        const ImageRecord* image = g_images.slots[slot];
        if (image != nullptr) {
            CreateTileTextures(image->source);
        }
    }
    return 0;
}

}  // namespace tessel
