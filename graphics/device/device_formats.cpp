// The device format table: for every role, the first format of its try-order
// that the adapter accepts on the screen format, each choice logged by the
// name the log has always shown for it.
#include <iterator>

#include "foundation/memory/log.h"
#include "graphics/device/device_internal.h"
#include "graphics/device/device_state.h"

namespace tessel {

namespace {

struct Candidate {
    D3DFORMAT format;
    const char* name;
};

struct TextureRow {
    int index;
    const char* logFormat;
    Candidate candidates[3];
    const char* failureLine;
};

// The rows that fail device creation when none of their formats is
// accepted. Entry 1 has a fall-back of its own and is handled apart.
const TextureRow kRequiredRows[] = {
    {kTex16,
     "16bit カラーフォーマットは %s です",
     {{D3DFMT_R5G6B5, "T_D3DFMT_R5G6B5"}, {D3DFMT_X1R5G5B5, "T_D3DFMT_X1R5G5B5"}, {0, nullptr}},
     "使用できる 16bit カラーフォーマットが見つかりませんでした\n"},
    {kTexAlpha16,
     "アルファ付き 16bit カラーフォーマットは %s です",
     {{D3DFMT_A4R4G4B4, "T_D3DFMT_A4R4G4B4"}, {D3DFMT_A8R8G8B8, "T_D3DFMT_A8R8G8B8"}, {0, nullptr}},
     "使用できるアルファ付き 16bit カラーフォーマットが見つかりませんでした\n"},
    {kTexAlpha32,
     "アルファ付き 32bit カラーフォーマットは %s です",
     {{D3DFMT_A8R8G8B8, "T_D3DFMT_A8R8G8B8"}, {D3DFMT_A4R4G4B4, "T_D3DFMT_A4R4G4B4"}, {0, nullptr}},
     "使用できるアルファ付き 32bit カラーフォーマットが見つかりませんでした\n"},
    {kTexAlphaTest16,
     "アルファテスト用 16bit カラーフォーマットは %s です",
     {{D3DFMT_A1R5G5B5, "T_D3DFMT_A1R5G5B5"},
      {D3DFMT_A8R8G8B8, "T_D3DFMT_A8R8G8B8"},
      {D3DFMT_A4R4G4B4, "T_D3DFMT_A4R4G4B4"}},
     "使用できるアルファテスト用 16bit カラーフォーマットが見つかりませんでした\n"},
    {kTexAlphaTest32,
     "アルファテスト用 32bit カラーフォーマットは %s です",
     {{D3DFMT_A8R8G8B8, "T_D3DFMT_A8R8G8B8"},
      {D3DFMT_A1R5G5B5, "T_D3DFMT_A1R5G5B5"},
      {D3DFMT_A4R4G4B4, "T_D3DFMT_A4R4G4B4"}},
     "使用できるアルファテスト用 32bit カラーフォーマットが見つかりませんでした\n"},
};

struct DxtRow {
    D3DFORMAT format;
    const char* logFormat;
    const char* acceptedName;
    int fallbackIndex;
};

const DxtRow kDxtRows[] = {
    {D3DFMT_DXT1, "ＤＸＴ１テクスチャフォーマットは%s", " T_D3DFMT_DXT1 です", kTexAlphaTest16},
    {D3DFMT_DXT2, "ＤＸＴ２テクスチャフォーマットは%s", " T_D3DFMT_DXT2 です", kTexAlpha32},
    {D3DFMT_DXT3, "ＤＸＴ３テクスチャフォーマットは%s", " T_D3DFMT_DXT3 です", kTexAlpha32},
    {D3DFMT_DXT4, "ＤＸＴ４テクスチャフォーマットは%s", " T_D3DFMT_DXT4 です", kTexAlpha32},
    {D3DFMT_DXT5, "ＤＸＴ５テクスチャフォーマットは%s", " T_D3DFMT_DXT5 です", kTexAlpha32},
};

const char* ScreenFormatName(D3DFORMAT format) {
    switch (format) {
        case D3DFMT_X8R8G8B8:
            return "D3DFMT_X8R8G8B8";
        case D3DFMT_R5G6B5:
            return "D3DFMT_R5G6B5";
        case D3DFMT_X1R5G5B5:
            return "D3DFMT_X1R5G5B5";
        default:
            return nullptr;
    }
}

bool TextureAccepted(D3DFORMAT format, DWORD usage) {
    return SUCCEEDED(g_graphics.direct3D->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL,
                                                            g_graphics.formats.screen, usage,
                                                            D3DRTYPE_TEXTURE, format));
}

// The first candidate the adapter accepts, or null.
const Candidate* FirstTexture(const Candidate* candidates, int count, DWORD usage) {
    for (int i = 0; i < count; ++i) {
        if (candidates[i].name != nullptr && TextureAccepted(candidates[i].format, usage)) {
            return &candidates[i];
        }
    }
    return nullptr;
}

int ChooseDepthFormat() {
    static const Candidate kDepth[] = {
        {D3DFMT_D16, "D3DFMT_D16"}, {D3DFMT_D24X8, "D3DFMT_D24X8"}, {D3DFMT_D32, "D3DFMT_D32"}};
    D3DFORMAT screen = g_graphics.formats.screen;
    for (const Candidate& candidate : kDepth) {
        if (SUCCEEDED(g_graphics.direct3D->CheckDepthStencilMatch(
                D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, screen, screen, candidate.format))) {
            g_graphics.formats.depth = candidate.format;
            WriteLogFormat("Ｚバッファのフォーマットは %s です", candidate.name);
            return 0;
        }
    }
    return WriteLog("使用できる Zバッファフォーマットが見つかりませんでした\n");
}

// The candidate chosen, or null (logged) when the adapter accepts none.
const Candidate* ChooseRequiredRow(const TextureRow& row) {
    const Candidate* chosen = FirstTexture(row.candidates, 3, 0);
    if (chosen == nullptr) {
        WriteLog(row.failureLine);
        return nullptr;
    }
    g_graphics.formats.texture[row.index] = chosen->format;
    WriteLogFormat(row.logFormat, chosen->name);
    return chosen;
}

// Without a 32-bit colour texture the 16-bit one serves, under its own name.
void ChooseColor32(const char* color16Name) {
    static const Candidate kColor32 = {D3DFMT_X8R8G8B8, "T_D3DFMT_X8R8G8B8"};
    D3DFORMAT* texture = g_graphics.formats.texture;
    const char* name = color16Name;
    if (TextureAccepted(kColor32.format, 0)) {
        texture[kTex32] = kColor32.format;
        name = kColor32.name;
    } else {
        texture[kTex32] = texture[kTex16];
    }
    WriteLogFormat("32bit カラーフォーマットは %s です", name);
}

void ChooseDxt(const DxtRow& row, int index) {
    D3DFORMAT* texture = g_graphics.formats.texture;
    if (TextureAccepted(row.format, 0)) {
        texture[index] = row.format;
        WriteLogFormat(row.logFormat, row.acceptedName);
        return;
    }
    texture[index] = texture[row.fallbackIndex];
    WriteLogFormat(row.logFormat, "使えません");
}

// The drawable rows leave their entry 0 when nothing fits; drawing into
// images of that kind is then unavailable, but the device stays.
void ChooseDrawable(int index, const Candidate* candidates, int count, const char* logFormat,
                    const char* noneLine) {
    const Candidate* chosen = FirstTexture(candidates, count, D3DUSAGE_RENDERTARGET);
    if (chosen == nullptr) {
        g_graphics.formats.texture[index] = 0;
        WriteLog(noneLine);
        return;
    }
    g_graphics.formats.texture[index] = chosen->format;
    WriteLogFormat(logFormat, chosen->name);
}

void ChooseDrawableRows() {
    static const Candidate kOn565[] = {{D3DFMT_R5G6B5, "D3DFMT_R5G6B5"},
                                       {D3DFMT_X1R5G5B5, "D3DFMT_R5G5B5"},
                                       {D3DFMT_X8R8G8B8, "T_D3DFMT_X8R8G8B8"}};
    static const Candidate kOnOther[] = {{D3DFMT_X1R5G5B5, "T_D3DFMT_R5G5B5"},
                                         {D3DFMT_R5G6B5, "T_D3DFMT_R5G6B5"},
                                         {D3DFMT_X8R8G8B8, "T_D3DFMT_X8R8G8B8"}};
    static const Candidate kDrawable32[] = {{D3DFMT_X8R8G8B8, "T_D3DFMT_X8R8G8B8"},
                                            {D3DFMT_R5G6B5, "D3DFMT_R5G6B5"},
                                            {D3DFMT_X1R5G5B5, "D3DFMT_R5G5B5"}};
    static const Candidate kDrawableAlpha[] = {{D3DFMT_A8R8G8B8, "T_D3DFMT_A8R8G8B8"},
                                               {D3DFMT_A4R4G4B4, "D3DFMT_A4R4G4B4"}};
    bool screen565 = g_graphics.formats.screen == D3DFMT_R5G6B5;
    ChooseDrawable(kTexDrawable16, screen565 ? kOn565 : kOnOther, 3,
                   "描画用 16bit カラーフォーマットは %s です",
                   "使用できる描画用 16bit カラーフォーマットがありませんでした\n");
    ChooseDrawable(kTexDrawable32, kDrawable32, 3, "描画用 32bit カラーフォーマットは %s です",
                   "使用できる描画用 32bit カラーフォーマットがありませんでした\n");
    ChooseDrawable(kTexDrawableAlpha32, kDrawableAlpha, 2,
                   "描画用アルファ付き 32bit カラーフォーマットは %s です",
                   "使用できる描画用アルファ付き 32bit カラーフォーマットがありませんでした\n");
}

void ReadScreenFormat() {
    D3DSURFACE_DESC desc = {};
    g_graphics.backBuffer->GetDesc(&desc);
    g_graphics.formats.screen = desc.Format;
    const char* name = ScreenFormatName(desc.Format);
    if (name != nullptr) {
        WriteLogFormat("画面のフォーマットは %s です", name);
    } else {
        WriteLogFormat("バックバッファが対応していないフォーマット %d です",
                       static_cast<int>(desc.Format));
    }
}

}  // namespace

int ChooseDeviceFormats() {
    g_graphics.formats = DeviceFormatTable{};
    ReadScreenFormat();
    if (ChooseDepthFormat() != 0) {
        return -1;
    }
    for (const TextureRow& row : kRequiredRows) {
        const Candidate* chosen = ChooseRequiredRow(row);
        if (chosen == nullptr) {
            return -1;
        }
        if (row.index == kTex16) {
            ChooseColor32(chosen->name);
        }
    }
    for (int i = 0; i < static_cast<int>(std::size(kDxtRows)); ++i) {
        ChooseDxt(kDxtRows[i], kTexDxt1 + i);
    }
    ChooseDrawableRows();
    bool deep = g_screen.colorBits == 32;
    const D3DFORMAT* texture = g_graphics.formats.texture;
    g_graphics.formats.drawableForScreen = texture[deep ? kTexDrawable32 : kTexDrawable16];
    g_graphics.formats.alphaTestForScreen = texture[deep ? kTexAlphaTest32 : kTexAlphaTest16];
    return 0;
}

}  // namespace tessel
