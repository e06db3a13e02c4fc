// The device format table: each role's try-order on adapters that lack
// formats, the names the log shows, and the software path when a format that
// must exist is missing.
#include <gtest/gtest.h>

#include <functional>
#include <utility>

#include "graphics/device/device_state.h"
#include "graphics/device/graphics_device.h"
#include "tests/graphics/device/graphics_test_support.h"

using namespace tessel;
using tessel_test::GraphicsTest;

namespace {

using Entries = std::vector<std::pair<int, D3DFORMAT>>;

struct FormatCase {
    const char* name;
    std::function<void(platform::D3D9Profile*)> change;
    int hardware;
    Entries entries;
    std::vector<const char*> lines;
};

void Drop(std::vector<D3DFORMAT>* list, std::initializer_list<D3DFORMAT> gone) {
    for (D3DFORMAT format : gone) {
        std::erase(*list, format);
    }
}

void SixteenBitDesktop(platform::D3D9Profile* p) {
    p->followDesktop = false;
    p->displayMode.Format = D3DFMT_R5G6B5;
}

const FormatCase kCases[] = {
    {"every format",
     [](platform::D3D9Profile*) {},
     1,
     {{kTex16, D3DFMT_R5G6B5},
      {kTex32, D3DFMT_X8R8G8B8},
      {kTexAlpha16, D3DFMT_A4R4G4B4},
      {kTexAlpha32, D3DFMT_A8R8G8B8},
      {kTexAlphaTest16, D3DFMT_A1R5G5B5},
      {kTexAlphaTest32, D3DFMT_A8R8G8B8},
      {kTexDxt1, D3DFMT_DXT1},
      {kTexDxt1 + 1, D3DFMT_DXT2},
      {kTexDxt5, D3DFMT_DXT5},
      {kTexDrawable16, D3DFMT_X1R5G5B5},
      {kTexDrawable32, D3DFMT_X8R8G8B8},
      {kTexDrawableAlpha32, D3DFMT_A8R8G8B8}},
     {"画面のフォーマットは D3DFMT_X8R8G8B8 です\r\n",
      "Ｚバッファのフォーマットは D3DFMT_D16 です\r\n",
      "T:16bit カラーフォーマットは T_D3DFMT_R5G6B5 です\r\n",
      "T:32bit カラーフォーマットは T_D3DFMT_X8R8G8B8 です\r\n",
      "アルファ付き 16bit カラーフォーマットは T_D3DFMT_A4R4G4B4 です\r\n",
      "アルファテスト用 16bit カラーフォーマットは T_D3DFMT_A1R5G5B5 です\r\n",
      "ＤＸＴ１テクスチャフォーマットは T_D3DFMT_DXT1 です\r\n",
      "ＤＸＴ４テクスチャフォーマットは T_D3DFMT_DXT4 です\r\n",
      "T:描画用 16bit カラーフォーマットは T_D3DFMT_R5G5B5 です\r\n",
      "T:描画用 32bit カラーフォーマットは T_D3DFMT_X8R8G8B8 です\r\n",
      "描画用アルファ付き 32bit カラーフォーマットは T_D3DFMT_A8R8G8B8 です\r\n"}},
    {"no DXT",
     [](platform::D3D9Profile* p) {
         Drop(&p->textureFormats,
              {D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3, D3DFMT_DXT4, D3DFMT_DXT5});
     },
     1,
     {{kTexDxt1, D3DFMT_A1R5G5B5},
      {kTexDxt1 + 1, D3DFMT_A8R8G8B8},
      {kTexDxt1 + 2, D3DFMT_A8R8G8B8},
      {kTexDxt1 + 3, D3DFMT_A8R8G8B8},
      {kTexDxt5, D3DFMT_A8R8G8B8}},
     {"ＤＸＴ１テクスチャフォーマットは使えません\r\n",
      "ＤＸＴ２テクスチャフォーマットは使えません\r\n",
      "ＤＸＴ３テクスチャフォーマットは使えません\r\n",
      "ＤＸＴ４テクスチャフォーマットは使えません\r\n",
      "ＤＸＴ５テクスチャフォーマットは使えません\r\n"}},
    {"no DXT and no A1R5G5B5: DXT1 follows the alpha-test entry",
     [](platform::D3D9Profile* p) {
         Drop(&p->textureFormats, {D3DFMT_DXT1, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4});
     },
     1,
     {{kTexAlpha16, D3DFMT_A8R8G8B8},
      {kTexAlphaTest16, D3DFMT_A8R8G8B8},
      {kTexAlphaTest32, D3DFMT_A8R8G8B8},
      {kTexDxt1, D3DFMT_A8R8G8B8},
      {kTexDxt1 + 1, D3DFMT_DXT2}},
     {"アルファ付き 16bit カラーフォーマットは T_D3DFMT_A8R8G8B8 です\r\n",
      "アルファテスト用 16bit カラーフォーマットは T_D3DFMT_A8R8G8B8 です\r\n"}},
    {"no R5G6B5 on a 16-bit desktop",
     [](platform::D3D9Profile* p) {
         SixteenBitDesktop(p);
         Drop(&p->textureFormats, {D3DFMT_R5G6B5});
         Drop(&p->renderTargetTextureFormats, {D3DFMT_R5G6B5});
     },
     1,
     {{kTex16, D3DFMT_X1R5G5B5},
      {kTex32, D3DFMT_X8R8G8B8},
      {kTexDrawable16, D3DFMT_X1R5G5B5},
      {kTexDrawable32, D3DFMT_X8R8G8B8}},
     {"画面のフォーマットは D3DFMT_R5G6B5 です\r\n",
      "T:16bit カラーフォーマットは T_D3DFMT_X1R5G5B5 です\r\n",
      "T:描画用 16bit カラーフォーマットは D3DFMT_R5G5B5 です\r\n"}},
    {"a 16-bit desktop draws in its own format first",
     SixteenBitDesktop,
     1,
     {{kTexDrawable16, D3DFMT_R5G6B5}},
     {"T:描画用 16bit カラーフォーマットは D3DFMT_R5G6B5 です\r\n"}},
    {"no 32-bit colour texture: the 16-bit one serves under its name",
     [](platform::D3D9Profile* p) { Drop(&p->textureFormats, {D3DFMT_X8R8G8B8}); },
     1,
     {{kTex32, D3DFMT_R5G6B5}},
     {"T:32bit カラーフォーマットは T_D3DFMT_R5G6B5 です\r\n"}},
    {"no drawable 16-bit or 32-bit format leaves those entries empty",
     [](platform::D3D9Profile* p) {
         Drop(&p->renderTargetTextureFormats,
              {D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8});
     },
     1,
     {{kTexDrawable16, 0}, {kTexDrawable32, 0}, {kTexDrawableAlpha32, D3DFMT_A4R4G4B4}},
     {"使用できる描画用 16bit カラーフォーマットがありませんでした\r\n",
      "使用できる描画用 32bit カラーフォーマットがありませんでした\r\n",
      "描画用アルファ付き 32bit カラーフォーマットは D3DFMT_A4R4G4B4 です\r\n"}},
    {"no D16",
     [](platform::D3D9Profile* p) { Drop(&p->depthFormats, {D3DFMT_D16}); },
     1,
     {},
     {"Ｚバッファのフォーマットは D3DFMT_D24X8 です\r\n"}},
    {"no depth format at all",
     [](platform::D3D9Profile* p) { p->depthFormats.clear(); },
     0,
     {},
     {"使用できる Zバッファフォーマットが見つかりませんでした\r\n"}},
    {"no 16-bit colour texture",
     [](platform::D3D9Profile* p) {
         Drop(&p->textureFormats, {D3DFMT_R5G6B5, D3DFMT_X1R5G5B5});
     },
     0,
     {},
     {"使用できる 16bit カラーフォーマットが見つかりませんでした\r\n"}},
    {"no 16-bit alpha texture",
     [](platform::D3D9Profile* p) {
         Drop(&p->textureFormats, {D3DFMT_A4R4G4B4, D3DFMT_A8R8G8B8});
     },
     0,
     {},
     {"使用できるアルファ付き 16bit カラーフォーマットが見つかりませんでした\r\n"}},
};

TEST_F(GraphicsTest, EachFormatRoleTakesTheFirstAcceptedFormatOfItsTryOrder) {
    for (const FormatCase& c : kCases) {
        SCOPED_TRACE(c.name);
        platform::D3D9Profile profile = platform::DefaultD3D9Profile();
        c.change(&profile);
        platform::SetD3D9Profile(profile);
        ASSERT_EQ(StartLibrary(), 0);
        EXPECT_EQ(g_graphics.hardwareInUse, c.hardware);
        for (const auto& [index, format] : c.entries) {
            EXPECT_EQ(g_graphics.formats.texture[index], format) << "entry " << index;
        }
        std::string log = Log();
        for (const char* line : c.lines) {
            EXPECT_NE(log.find(line), std::string::npos) << "missing log line: " << line;
        }
        if (c.hardware == 0) {
            EXPECT_EQ(platform::CurrentD3D9Device(), nullptr);
        }
        ASSERT_EQ(EndLibrary(), 0);
    }
}

TEST_F(GraphicsTest, TheScreensDepthPicksTheDrawableAndAlphaTestEntries) {
    ASSERT_EQ(StartLibrary(), 0);  // a 32-bit desktop
    EXPECT_EQ(g_graphics.formats.drawableForScreen, g_graphics.formats.texture[kTexDrawable32]);
    EXPECT_EQ(g_graphics.formats.alphaTestForScreen, g_graphics.formats.texture[kTexAlphaTest32]);
    EXPECT_EQ(g_graphics.formats.depth, static_cast<D3DFORMAT>(D3DFMT_D16));
}

}  // namespace
