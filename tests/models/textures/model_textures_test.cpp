// Model textures: the built-in images, loading with the white stand-in for a
// lost file, semi-transparency, kept files and texts, file callbacks, the
// refill after a lost device, the size limits of the pictures and the
// per-model filter mode.
#include "models/textures/model_textures.h"

#include <string>

#include "foundation/files/streams.h"
#include "graphics/device/graphics_device.h"
#include "models/core/model_system.h"
#include "tests/images/image_test_support.h"
#include "tests/models/model_test_support.h"

namespace tessel_test {
namespace {

std::u16string Wide(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

// A PNG with alpha whose pixels come from colour(x, y) as 0xAARRGGBB.
template <typename F>
Bytes ArgbPng(int width, int height, F colour, bool alpha = true) {
    PngRecipe recipe;
    recipe.width = width;
    recipe.height = height;
    recipe.colorType = alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint32_t c = colour(x, y);
            recipe.rows.push_back(static_cast<uint8_t>(c >> 16));
            recipe.rows.push_back(static_cast<uint8_t>(c >> 8));
            recipe.rows.push_back(static_cast<uint8_t>(c));
            if (alpha) {
                recipe.rows.push_back(static_cast<uint8_t>(c >> 24));
            }
        }
    }
    return MakePng(recipe);
}

uint32_t Picture(int x, int y) {
    return 0xFF000000u | uint32_t(x * 16) << 16 | uint32_t(y * 16) << 8 | 0x40u;
}

// The results of one load, freed at the end.
struct LoadedTexture {
    int result = -2;
    void* colourImage = reinterpret_cast<void*>(1);
    int colourSize = -1;
    void* alphaImage = reinterpret_cast<void*>(1);
    int alphaSize = -1;
    int handle = -2;
    int semiTransparent = -1;
    char* colourText = reinterpret_cast<char*>(1);
    char* alphaText = reinterpret_cast<char*>(1);

    ~LoadedTexture() {
        if (result == 0) {
            tessel::FreeTracked(colourImage);
            tessel::FreeTracked(alphaImage);
            tessel::FreeTracked(colourText);
            tessel::FreeTracked(alphaText);
        }
    }
};

void Load(LoadedTexture* out, const char16_t* colour, const char16_t* alpha,
          const char16_t* directory = nullptr, int flags = 0, float value = 0.0f, int flagByte = 0,
          const tessel::ModelFileCallbacks* callbacks = nullptr) {
    out->result = tessel::LoadModelTexture(&out->colourImage, &out->colourSize, &out->alphaImage,
                                           &out->alphaSize, &out->handle, &out->semiTransparent,
                                           &out->colourText, &out->alphaText, colour, alpha,
                                           directory, flags, value, flagByte, callbacks);
}

// --------------------------------------------------------- built-in images

Bytes ExpectedWhiteTga() {
    TgaRecipe recipe;
    recipe.type = 10;
    recipe.width = 8;
    recipe.height = 8;
    recipe.pixelBits = 32;
    recipe.descriptor = 0x08;
    for (int row = 0; row < 8; ++row) {
        recipe.data.insert(recipe.data.end(), {0x87, 0xFF, 0xFF, 0xFF, 0xFF});
    }
    recipe.footer = true;
    return MakeTga(recipe);
}

Bytes ExpectedRampTga() {
    TgaRecipe recipe;
    recipe.type = 10;
    recipe.width = 256;
    recipe.height = 8;
    recipe.pixelBits = 24;
    recipe.descriptor = 0x00;
    for (int row = 0; row < 8; ++row) {
        for (uint8_t level : {0, 85, 170, 255}) {
            recipe.data.insert(recipe.data.end(), {0xBF, level, level, level});
        }
    }
    recipe.footer = true;
    return MakeTga(recipe);
}

TEST(BuiltInTexturesTest, TheEmbeddedImagesAreTheirFilesByteForByte) {
    const Bytes white(tessel::WhiteTextureTga(),
                      tessel::WhiteTextureTga() + tessel::kWhiteTextureTgaSize);
    const Bytes ramp(tessel::RampTextureTga(),
                     tessel::RampTextureTga() + tessel::kRampTextureTgaSize);
    EXPECT_EQ(white, ExpectedWhiteTga());
    EXPECT_EQ(ramp, ExpectedRampTga());
    EXPECT_EQ(white.size(), 84u);
    EXPECT_EQ(ramp.size(), 172u);
}

TEST(BuiltInTexturesTest, TheEmbeddedImagesDecodeToWhiteAndFourGreySteps) {
    Decoded white;
    Decode(Bytes(tessel::WhiteTextureTga(), tessel::WhiteTextureTga() + 84), &white);
    ASSERT_EQ(white.result, 0);
    ASSERT_EQ(white.image.width, 8);
    ASSERT_EQ(white.image.height, 8);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            EXPECT_EQ(tessel::ReadImagePixelPacked(&white.image, x, y), 0xFFFFFFFFu);
        }
    }
    Decoded ramp;
    Decode(Bytes(tessel::RampTextureTga(), tessel::RampTextureTga() + 172), &ramp);
    ASSERT_EQ(ramp.result, 0);
    ASSERT_EQ(ramp.image.width, 256);
    ASSERT_EQ(ramp.image.height, 8);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 256; ++x) {
            const uint32_t level = 85u * static_cast<uint32_t>(x / 64);
            ASSERT_EQ(tessel::ReadImagePixelPacked(&ramp.image, x, y) & 0xFFFFFF, level * 0x10101u)
                << x << "," << y;
        }
    }
    tessel::ReleaseImageBuffer(&white.image);
    tessel::ReleaseImageBuffer(&ramp.image);
}

// ------------------------------------------------------------------ loading

class ModelTextureTest : public ModelSystemTest {
  protected:
    void SetUp() override {
        ModelSystemTest::SetUp();
        WriteWholeFile(dir().Linux("picture.png"), ArgbPng(16, 16, Picture));
    }
};

TEST_F(ModelTextureTest, AMissingColourFileLoadsAsOpaqueWhite8By8) {
    LoadedTexture t;
    Load(&t, u"lost/nowhere.png", nullptr);
    ASSERT_EQ(t.result, 0);
    EXPECT_EQ(t.semiTransparent, 0);
    ASSERT_EQ(t.colourSize, 84);
    EXPECT_EQ(
        Bytes(static_cast<uint8_t*>(t.colourImage), static_cast<uint8_t*>(t.colourImage) + 84),
        ExpectedWhiteTga());
    EXPECT_EQ(t.alphaImage, nullptr);
    EXPECT_EQ(t.colourText, nullptr) << "no directory: no text kept";
    int width = 0, height = 0;
    ASSERT_EQ(tessel::QueryImageSize(t.handle, &width, &height), 0);
    EXPECT_EQ(width, 8);
    EXPECT_EQ(height, 8);
    EXPECT_EQ(Pixel(t.handle, 5, 6), 0xFFFFFFFFu);
    EXPECT_NE(Log().find("Load Texture Error : カラーチャンネル画像ファイル lost/nowhere.png "
                         "の読み込みに失敗しました"),
              std::string::npos)
        << Log();
}

TEST_F(ModelTextureTest, OnlyAnAlphaBelow255OrAnAlphaFileMakesATextureSemiTransparent) {
    const struct {
        const char* what;
        Bytes colour;
        bool alphaFile;
        int semi;
    } cases[] = {
        {"alpha 255 everywhere", ArgbPng(8, 8, Picture), false, 0},
        {"one pixel of alpha 254",
         ArgbPng(8, 8, [](int x, int y) { return x == 7 && y == 6 ? 0xFE102030u : Picture(x, y); }),
         false, 1},
        {"no alpha channel", ArgbPng(8, 8, Picture, false), false, 0},
        {"an alpha file", ArgbPng(8, 8, Picture, false), true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteWholeFile(dir().Linux("c.png"), c.colour);
        WriteWholeFile(dir().Linux("a.png"), ArgbPng(8, 8, Picture, false));
        LoadedTexture t;
        Load(&t, u"c.png", c.alphaFile ? u"a.png" : nullptr);
        ASSERT_EQ(t.result, 0);
        EXPECT_EQ(t.semiTransparent, c.semi);
        EXPECT_EQ(t.colourSize, static_cast<int>(c.colour.size()));
        EXPECT_EQ(t.alphaImage != nullptr, c.alphaFile);
        tessel::ReleaseImageHandle(t.handle);
    }
}

TEST_F(ModelTextureTest, TheTexelsAreThePicturesAndTheTextsRelativeToTheDirectory) {
    const std::u16string directory = Wide(dir().Windows());
    const std::u16string colour = directory + u"\\picture.png";
    LoadedTexture t;
    Load(&t, colour.c_str(), u"picture.png", directory.c_str());
    ASSERT_EQ(t.result, 0) << Log();
    EXPECT_STREQ(t.colourText, "picture.png");
    EXPECT_STREQ(t.alphaText, "picture.png");
    for (int y = 0; y < 16; y += 5) {
        for (int x = 0; x < 16; x += 3) {
            EXPECT_EQ(Pixel(t.handle, x, y) & 0xFFFFFF, Picture(x, y) & 0xFFFFFF) << x << "," << y;
        }
    }
}

TEST_F(ModelTextureTest, ALostAlphaFileStandsInAsWhiteOfTheColourSize) {
    LoadedTexture t;
    Load(&t, u"picture.png", u"gone_a.png");
    ASSERT_EQ(t.result, 0) << Log();
    EXPECT_EQ(t.semiTransparent, 1);
    EXPECT_EQ(t.alphaSize, 84);
    EXPECT_EQ(Pixel(t.handle, 9, 9), Picture(9, 9)) << "opaque where the white alpha is";
    EXPECT_NE(Log().find("アルファチャンネル用テクスチャファイル gone_a.png"), std::string::npos);
}

TEST_F(ModelTextureTest, AFileThatIsNoImageFailsAndClearsEveryOutput) {
    WriteWholeFile(dir().Linux("text.png"), std::string("no picture here"));
    const uint32_t before = tessel::TrackedBlockCount();
    LoadedTexture t;
    Load(&t, u"text.png", nullptr, Wide(dir().Windows()).c_str());
    EXPECT_EQ(t.result, -1);
    EXPECT_EQ(t.colourImage, nullptr);
    EXPECT_EQ(t.colourSize, 0);
    EXPECT_EQ(t.alphaImage, nullptr);
    EXPECT_EQ(t.handle, -1);
    EXPECT_EQ(t.colourText, nullptr);
    EXPECT_EQ(t.alphaText, nullptr);
    EXPECT_EQ(tessel::TrackedBlockCount(), before);
    EXPECT_NE(Log().find("テクスチャ用の BASEIMAGE の作成に失敗しました"), std::string::npos);
}

// A run-length 8-bit BMP of any claimed size in a few dozen bytes: one run
// of two pixels, then the end of the bitmap.
Bytes ClaimingBmp(int width, int height) {
    BmpRecipe recipe;
    recipe.width = width;
    recipe.height = height;
    recipe.bits = 8;
    recipe.compression = 1;
    recipe.table = {0x000000, 0xFFFFFF};
    recipe.pixels = {2, 1, 0, 1};
    return MakeBmp(recipe);
}

// Each picture a texture decodes is held to 2048 x 2048 pixels' worth and
// 4096 a side before its pixels exist, as colour and as alpha, with the
// loader's line naming the size; the limit is the texture's, not the
// program's image budget.
TEST_F(ModelTextureTest, PicturesPastTheTextureLimitsAreRefusedBeforeDecoding) {
    struct Case {
        int width, height;
        bool taken;
        const char* line;
    };
    const char* budget = "がメモリの上限 16777216 byte を超えています";
    const char* side = "が一辺の上限 4096 を超えています";
    const Case cases[] = {
        {2048, 2048, true, nullptr}, {4096, 1024, true, nullptr}, {1024, 4096, true, nullptr},
        {2048, 2049, false, budget}, {4096, 1025, false, budget}, {4097, 1, false, side},
        {1, 4097, false, side},
    };
    for (const Case& c : cases) {
        for (bool asAlpha : {false, true}) {
            SCOPED_TRACE(testing::Message()
                         << c.width << " x " << c.height << (asAlpha ? " alpha" : " colour"));
            const Bytes file = ClaimingBmp(c.width, c.height);
            ASSERT_LT(file.size(), 80u);
            const std::string before = Log();
            tessel::BASEIMAGE colour = {};
            tessel::BASEIMAGE alpha = {};
            const int result = tessel::BuildModelTextureImages(
                &colour, &alpha, asAlpha ? nullptr : file.data(), static_cast<int>(file.size()),
                asAlpha ? file.data() : nullptr, static_cast<int>(file.size()), 0, 1.0f, 0);
            const std::string lines = Log().substr(before.size());
            EXPECT_EQ(result, c.taken ? 0 : -1) << lines;
            if (c.taken) {
                EXPECT_EQ(colour.width, c.width);
                EXPECT_EQ(colour.height, c.height);
            } else {
                EXPECT_EQ(colour.pixels, nullptr);
                EXPECT_EQ(alpha.pixels, nullptr);
                EXPECT_NE(lines.find(std::to_string(c.width) + " x " + std::to_string(c.height) +
                                     " " + c.line),
                          std::string::npos)
                    << lines;
            }
            tessel::ReleaseImageBuffer(&colour);
            tessel::ReleaseImageBuffer(&alpha);
        }
    }
    // The program's budget is untouched: the same picture decodes outside.
    tessel::BASEIMAGE plain = {};
    const Bytes wide = ClaimingBmp(4097, 1);
    EXPECT_EQ(tessel::LoadImageBufferFromFile(nullptr, wide.data(), static_cast<int>(wide.size()),
                                              1, &plain, 0),
              0);
    tessel::ReleaseImageBuffer(&plain);
}

// A fuzz find: 61 bytes of alpha file claiming 258 x 64513 pixels, which the
// merge turned into a white picture, a normal map and a scaling of that
// size. The load now fails at the decode, and every output is cleared.
TEST_F(ModelTextureTest, ATinyFileClaimingAHugePictureFailsTheLoad) {
    std::string tests = TESSEL_TEST_DATA_DIR;
    tests.resize(tests.rfind('/'));
    const std::string raw =
        ReadWholeFile(tests + "/fuzz/corpus/model_texture_images/slow_large_bmp_4");
    const Bytes input(raw.begin(), raw.end());
    ASSERT_EQ(input.size(), 64u);
    const size_t colourSize = input[1] | input[2] << 8;
    ASSERT_EQ(colourSize, 0u);
    WriteWholeFile(dir().Linux("huge_a.bmp"), Bytes(input.begin() + 3, input.end()));
    const uint32_t blocks = tessel::TrackedBlockCount();
    LoadedTexture t;
    Load(&t, nullptr, u"huge_a.bmp", nullptr, 1, 1.5f, 1);
    EXPECT_EQ(t.result, -1);
    EXPECT_EQ(t.handle, -1);
    EXPECT_EQ(t.alphaImage, nullptr);
    EXPECT_EQ(tessel::TrackedBlockCount(), blocks);
    EXPECT_NE(Log().find("画像の大きさ 258 x 64513 が"), std::string::npos) << Log();
    EXPECT_NE(Log().find("テクスチャ用の BASEIMAGE の作成に失敗しました"), std::string::npos);
}

TEST_F(ModelTextureTest, CallbacksReadTheFilesAndGetTheirBytesBack) {
    static Bytes served;
    static std::vector<std::string> asked;
    static std::vector<void*> released;
    served = ArgbPng(4, 4, Picture);
    asked.clear();
    released.clear();
    int context = 0;
    const tessel::ModelFileCallbacks callbacks = {
        [](const char* name, void** image, int* size, void*) {
            asked.push_back(name);
            if (std::string(name) != "served.png") {
                return -1;
            }
            *image = served.data();
            *size = static_cast<int>(served.size());
            return 0;
        },
        [](void* image, void*) { released.push_back(image); },
        &context,
    };
    LoadedTexture t;
    Load(&t, u"served.png", u"refused.png", nullptr, 0, 0.0f, 0, &callbacks);
    ASSERT_EQ(t.result, 0);
    EXPECT_EQ(asked, (std::vector<std::string>{"served.png", "refused.png"}));
    ASSERT_EQ(released.size(), 1u);
    EXPECT_EQ(released[0], served.data());
    EXPECT_NE(t.colourImage, served.data()) << "the bytes are copied";
    EXPECT_EQ(Bytes(static_cast<uint8_t*>(t.colourImage),
                    static_cast<uint8_t*>(t.colourImage) + t.colourSize),
              served);
    EXPECT_EQ(t.alphaSize, 84) << "the refused file stands in as white";
}

// ---------------------------------------------------- device loss, filters

// A base whose texture was loaded from a file (turned by the flag byte), a
// model with a texture of its own, and the white and grey default textures.
class ModelTextureRestoreTest : public ModelTextureTest {
  protected:
    void LoadInto(int* handle, void** colour, int* size, int flagByte) {
        LoadedTexture t;
        Load(&t, u"picture.png", nullptr, nullptr, 0, 0.0f, flagByte);
        ASSERT_EQ(t.result, 0);
        *handle = t.handle;
        *colour = t.colourImage;
        *size = t.colourSize;
        t.colourImage = nullptr;
    }
};

TEST_F(ModelTextureRestoreTest, ALostDeviceGivesBackTheSameTexels) {
    int base = MakeTestBase({.textures = 1});
    tessel::ModelTexture& texture = tessel::GetModelBase(base)->textures[0];
    tessel::FreeTracked(texture.colourImage);
    texture.flagByte = 1;
    LoadInto(&texture.imageHandle, &texture.colourImage, &texture.colourImageSize, 1);
    int model = MakeTestModel(base);
    tessel::ModelInstanceTexture& own = tessel::GetModelInstance(model)->textures[0];
    own.modelOwn = 1;
    LoadInto(&own.imageHandle, &own.ownColourImage, &own.ownColourImageSize, 1);
    tessel::g_models.whiteTexture = tessel::LoadImageSourceToNewHandle(
        tessel::WhiteTextureTga(), tessel::kWhiteTextureTgaSize, nullptr, 0, 0, 0);
    ASSERT_NE(tessel::g_models.whiteTexture, -1);
    tessel::g_models.greyRampTexture = tessel::CreateGreyRampImage();
    ASSERT_NE(tessel::g_models.greyRampTexture, -1);
    const int handles[] = {texture.imageHandle, own.imageHandle};
    for (int handle : handles) {
        ASSERT_EQ(Pixel(handle, 0, 0), Picture(15, 15)) << "turned by the flag byte";
    }

    platform::LoseD3D9Devices();
    Activate();
    ASSERT_EQ(tessel::IsGraphicsDeviceLost(), 0);
    for (int handle : handles) {
        SCOPED_TRACE(handle);
        for (int y = 0; y < 16; y += 3) {
            for (int x = 0; x < 16; x += 5) {
                ASSERT_EQ(Pixel(handle, x, y), Picture(15 - x, 15 - y)) << x << "," << y;
            }
        }
    }
    EXPECT_EQ(Pixel(tessel::g_models.whiteTexture, 7, 7), 0xFFFFFFFFu);
    for (int x : {0, 1, 137, 255}) {
        EXPECT_EQ(Pixel(tessel::g_models.greyRampTexture, x, 5) & 0xFFFFFFu,
                  static_cast<uint32_t>(x) * 0x010101u)
            << "the grey ramp refilled, at " << x;
    }
}

TEST_F(ModelTextureTest, TheFilterModeIsSetOnlyForATextureOfAValidModel) {
    int base = MakeTestBase({.textures = 2});
    int keeper = MakeTestModel(base);
    int model = MakeTestModel(base);
    tessel::ModelInstance* record = tessel::GetModelInstance(model);
    const struct {
        const char* what;
        int handle;
        int index;
        int result;
    } cases[] = {
        {"last texture", model, 1, 0},
        {"index equal to the count", model, 2, -1},
        {"negative index", model, -1, -1},
        {"another check number", WithCheck(model, CheckOf(keeper)), 1, -1},
        {"a base handle", base, 1, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        record->textures[1].filterMode = 2;
        EXPECT_EQ(tessel::SetModelTextureFilter(c.handle, c.index, 1), c.result);
        EXPECT_EQ(record->textures[1].filterMode, c.result == 0 ? 1 : 2);
    }
    EXPECT_EQ(tessel::GetModelInstance(keeper)->textures[1].filterMode, 2);
    tessel::EndModelSystem();
    EXPECT_EQ(tessel::SetModelTextureFilter(model, 0, 1), -1);
}

// The texels of a loaded texture are the same on both drawing paths.
class ModelTextureBothPathsTest : public BothPathsImageTest {};

TEST_P(ModelTextureBothPathsTest, ALoadedTextureHoldsThePicture) {
    WriteWholeFile(dir().Linux("picture.png"), ArgbPng(16, 16, Picture));
    LoadedTexture t;
    Load(&t, u"picture.png", nullptr);
    ASSERT_EQ(t.result, 0);
    for (int y = 0; y < 16; y += 3) {
        for (int x = 0; x < 16; x += 5) {
            EXPECT_EQ(Pixel(t.handle, x, y), Picture(x, y)) << x << "," << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, ModelTextureBothPathsTest, ::testing::Bool(), PathName);

}  // namespace
}  // namespace tessel_test
