// The BMP, PNG and JPEG writers: the files' layout, and their pixels read
// back by our loaders and by libpng and libjpeg themselves.
#include "images/image_writer.h"

#include <gtest/gtest.h>

#include "foundation/files/files_test_support.h"
#include "images/image_loader.h"
#include "images/image_test_support.h"

namespace tessel_test {
namespace {

using tessel::BASEIMAGE;

Bytes ReadBytes(const std::string& linuxPath) {
    std::string text = ReadWholeFile(linuxPath);
    return Bytes(text.begin(), text.end());
}

// An image of the given preset filled with the test picture.
struct Picture {
    BASEIMAGE image = {};
    Picture(int width, int height, void (*preset)(tessel::PixelFormatDesc*), bool alpha = false) {
        tessel::PixelFormatDesc format = {};
        preset(&format);
        BASEIMAGE model = {};
        model.format = format;
        EXPECT_EQ(tessel::CreateImageBufferLike(width, height, &model, &image), 0);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                uint32_t c = TestColour(x, y);
                tessel::WriteImagePixel(&image, x, y, c >> 16, (c >> 8) & 0xFF, c & 0xFF,
                                        alpha ? (x * 40 + y) & 0xFF : 255);
            }
        }
    }
    ~Picture() { tessel::ReleaseImageBuffer(&image); }
};

void Set565(tessel::PixelFormatDesc* format) {
    tessel::SetPixelFormatFromMasks(format, 16, 0xF800, 0x7E0, 0x1F, 0);
}

struct BmpLayoutCase {
    int width, height;
    void (*preset)(tessel::PixelFormatDesc*);
    uint32_t offset, fileSize;
    int bitCount;
};

TEST(SaveImageAsBmp, SizesOffsetsAndHeaders) {
    ScratchDirectory dir;
    const BmpLayoutCase cases[] = {
        {640, 480, tessel::SetPixelFormatXrgb32, 54, 54 + 480 * 1920, 24},
        {3, 2, tessel::SetPixelFormatRgb24, 54, 54 + 2 * 12, 24},
        {5, 3, tessel::SetPixelFormatPal8, 1078, 1078 + 3 * 8, 8},
        {2, 2, Set565, 54, 54 + 2 * 8, 24},
    };
    for (const BmpLayoutCase& c : cases) {
        Picture picture(c.width, c.height, c.preset);
        std::string path = dir.Windows() + "\\out.bmp";
        ASSERT_EQ(tessel::SaveImageAsBmp(path.c_str(), &picture.image), 0);
        Bytes file = ReadBytes(dir.Linux("out.bmp"));
        ASSERT_EQ(file.size(), c.fileSize) << c.width;
        EXPECT_EQ(file[0], 'B');
        EXPECT_EQ(file[1], 'M');
        EXPECT_EQ(GetLe32(&file[2]), c.fileSize);
        EXPECT_EQ(GetLe32(&file[6]), 0u);
        EXPECT_EQ(GetLe32(&file[10]), c.offset);
        EXPECT_EQ(GetLe32(&file[14]), 40u);
        EXPECT_EQ(GetLe32(&file[18]), uint32_t(c.width));
        EXPECT_EQ(GetLe32(&file[22]), uint32_t(c.height));
        EXPECT_EQ(GetLe16(&file[26]), 1);
        EXPECT_EQ(GetLe16(&file[28]), c.bitCount);
        for (int i = 30; i < 54; ++i) {
            ASSERT_EQ(file[i], 0) << i;
        }
    }
}

TEST(SaveImageAsBmp, PixelsGoBottomUpWithZeroPaddingAndComeBack) {
    ScratchDirectory dir;
    std::string path = dir.Windows() + "\\rgb.bmp";
    Picture picture(3, 2, tessel::SetPixelFormatRgb24);
    ASSERT_EQ(tessel::SaveImageAsBmp(path.c_str(), &picture.image), 0);
    Bytes file = ReadBytes(dir.Linux("rgb.bmp"));
    // The first stored row is the image's bottom row; 9 pixel bytes, 3 zeros.
    uint32_t first = uint32_t(file[56]) << 16 | uint32_t(file[55]) << 8 | file[54];
    EXPECT_EQ(first, TestColour(0, 1));
    EXPECT_EQ(file[63] | file[64] | file[65], 0);
    Decoded back;
    Decode(file, &back);
    ASSERT_EQ(back.result, 0);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(back.Rgb(x, y), TestColour(x, y));
        }
    }

    // 8 bits: palette entries as blue, green, red, 0 and index bytes.
    Picture paletted(5, 3, tessel::SetPixelFormatGray8);
    paletted.image.format.palette[7] = tessel::PaletteEntry{1, 2, 3, 99};
    path = dir.Windows() + "\\pal.bmp";
    ASSERT_EQ(tessel::SaveImageAsBmp(path.c_str(), &paletted.image), 0);
    file = ReadBytes(dir.Linux("pal.bmp"));
    EXPECT_EQ(file[54 + 7 * 4], 1);
    EXPECT_EQ(file[54 + 7 * 4 + 2], 3);
    EXPECT_EQ(file[54 + 7 * 4 + 3], 0);
    Decoded palBack;
    Decode(file, &palBack);
    ASSERT_EQ(palBack.result, 0);
    EXPECT_EQ(std::memcmp(palBack.image.pixels, paletted.image.pixels, 5), 0);
}

TEST(SaveImageAsBmp, SixteenBitChannelsAreShiftedWithoutReplication) {
    ScratchDirectory dir;
    Picture white(1, 1, Set565);
    tessel::WriteImagePixel(&white.image, 0, 0, 255, 255, 255, 255);
    std::string path = dir.Windows() + "\\w.bmp";
    ASSERT_EQ(tessel::SaveImageAsBmp(path.c_str(), &white.image), 0);
    Bytes file = ReadBytes(dir.Linux("w.bmp"));
    EXPECT_EQ(file[54], 248);
    EXPECT_EQ(file[55], 252);
    EXPECT_EQ(file[56], 248);
}

TEST(SaveImageAsBmp, ReplacesAFileAndRefusesWhatItCannotWrite) {
    LogScope log;
    const ScratchDirectory& dir = log.dir();
    WriteWholeFile(dir.Linux("old.bmp"), std::string(5000, 'x'));
    Picture picture(2, 2, tessel::SetPixelFormatRgb24);
    std::string path = dir.Windows() + "\\old.bmp";
    ASSERT_EQ(tessel::SaveImageAsBmp(path.c_str(), &picture.image), 0);
    EXPECT_EQ(ReadBytes(dir.Linux("old.bmp")).size(), 54u + 16u);

    BASEIMAGE fourBit = picture.image;
    fourBit.format.bits = 4;
    std::string other = dir.Windows() + "\\four.bmp";
    EXPECT_EQ(tessel::SaveImageAsBmp(other.c_str(), &fourBit), -1);
    EXPECT_TRUE(ReadBytes(dir.Linux("four.bmp")).empty());

    std::string nowhere = dir.Windows() + "\\missing\\x.bmp";
    EXPECT_EQ(tessel::SaveImageAsBmp(nowhere.c_str(), &picture.image), -1);
    EXPECT_NE(log.Text().find("ＢＭＰセーブ用ファイルのオープンに失敗しました"), std::string::npos);
}

// libpng's own reading of a file: colour type and RGBA rows.
Bytes ReadPngDirectly(const Bytes& file, int* colorType, int* width, int* height) {
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    EXPECT_TRUE(png_image_begin_read_from_memory(&image, file.data(), file.size()));
    *colorType = (image.format & PNG_FORMAT_FLAG_ALPHA) ? 6 : 2;
    *width = image.width;
    *height = image.height;
    image.format = PNG_FORMAT_RGBA;
    Bytes out(PNG_IMAGE_SIZE(image));
    EXPECT_TRUE(png_image_finish_read(&image, nullptr, out.data(), 0, nullptr));
    return out;
}

TEST(SavePng, AlphaDecidesTheColourTypeAndBothReadersAgree) {
    ScratchDirectory dir;
    for (bool alpha : {false, true}) {
        Picture picture(7, 4, alpha ? tessel::SetPixelFormatArgb32 : tessel::SetPixelFormatXrgb32,
                        alpha);
        std::string path = dir.Windows() + "\\p.png";
        ASSERT_EQ(tessel::SaveImageAsPng(path.c_str(), &picture.image, 9), 0);
        Bytes file = ReadBytes(dir.Linux("p.png"));
        EXPECT_EQ(file[25], alpha ? 6 : 2);  // colour type in the header chunk
        int colorType = 0, w = 0, h = 0;
        Bytes rgba = ReadPngDirectly(file, &colorType, &w, &h);
        EXPECT_EQ(colorType, alpha ? 6 : 2);
        ASSERT_EQ(w, 7);
        ASSERT_EQ(h, 4);
        Decoded ours;
        Decode(file, &ours);
        ASSERT_EQ(ours.result, 0);
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 7; ++x) {
                const uint8_t* p = rgba.data() + (y * 7 + x) * 4;
                uint32_t a = alpha ? uint32_t((x * 40 + y) & 0xFF) : 0xFF;
                EXPECT_EQ(uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2], TestColour(x, y));
                EXPECT_EQ(p[3], a);
                EXPECT_EQ(ours.At(x, y), TestColour(x, y) | (alpha ? a << 24 : 0));
            }
        }
    }
}

TEST(SavePng, AWidePathAndFailuresGiveMinusOne) {
    ScratchDirectory dir;
    Picture picture(2, 2, tessel::SetPixelFormatRgb24);
    std::string narrow = dir.Windows() + "\\wide.png";
    std::u16string wide(narrow.begin(), narrow.end());  // the scratch path is ASCII
    ASSERT_EQ(tessel::WritePngFile(wide.c_str(), "ignored.png", &picture.image, 6), 0);
    EXPECT_FALSE(ReadBytes(dir.Linux("wide.png")).empty());
    std::string nowhere = dir.Windows() + "\\missing\\x.png";
    EXPECT_EQ(tessel::SaveImageAsPng(nowhere.c_str(), &picture.image, 6), -1);
    std::string bad = dir.Windows() + "\\bad.png";
    EXPECT_EQ(tessel::SaveImageAsPng(bad.c_str(), &picture.image, 42), -1);  // no such level
}

TEST(SaveJpeg, LibjpegAndOurLoaderReadTheSamePicture) {
    ScratchDirectory dir;
    // A smooth picture: chroma subsampling keeps it close.
    Picture picture(16, 8, tessel::SetPixelFormatXrgb32);
    auto smooth = [](int x, int y) {
        return uint32_t(x * 12) << 16 | uint32_t(y * 20) << 8 | 0x80;
    };
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 16; ++x) {
            uint32_t c = smooth(x, y);
            tessel::WriteImagePixel(&picture.image, x, y, c >> 16, (c >> 8) & 0xFF, c & 0xFF, 0);
        }
    }
    std::string path = dir.Windows() + "\\j.jpg";
    ASSERT_EQ(tessel::SaveImageAsJpeg(path.c_str(), &picture.image, 100), 0);
    Bytes file = ReadBytes(dir.Linux("j.jpg"));
    int w = 0, h = 0, n = 0;
    Bytes direct = DecodeJpegDirectly(file, &w, &h, &n);
    ASSERT_EQ(w, 16);
    ASSERT_EQ(h, 8);
    ASSERT_EQ(n, 3);
    Decoded ours;
    Decode(file, &ours);
    ASSERT_EQ(ours.result, 0);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 16; ++x) {
            const uint8_t* p = direct.data() + (y * 16 + x) * 3;
            uint32_t theirs = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
            EXPECT_EQ(ours.Rgb(x, y), theirs);
            // Quality 100 keeps every channel near the original.
            uint32_t c = smooth(x, y);
            for (int shift : {0, 8, 16}) {
                int diff = int((theirs >> shift) & 0xFF) - int((c >> shift) & 0xFF);
                EXPECT_LE(std::abs(diff), 16) << x << "," << y;
            }
        }
    }
    std::string nowhere = dir.Windows() + "\\missing\\x.jpg";
    EXPECT_EQ(tessel::SaveImageAsJpeg(nowhere.c_str(), &picture.image, 90), -1);
}

}  // namespace
}  // namespace tessel_test
