// The memory budget of a decoded image: every loader refuses, before it
// allocates the picture, an image whose pixels (counted at 32 bits) would
// take more than the budget, and says so in one log line; the program may
// set the budget up to the loaders' pixel limit.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>

#include "foundation/files/files_test_support.h"
#include "images/image_loader.h"
#include "images/image_test_support.h"
#include "images/stream_reading.h"

namespace tessel_test {
namespace {

constexpr char kBudgetLine[] = "がメモリの上限";

class ImageBudget : public ::testing::Test {
  protected:
    void TearDown() override {
        ASSERT_EQ(tessel::SetImageMemoryBudget(tessel::kDefaultImageMemoryBudget), 0);
    }
    static int Lines(const std::string& text, const std::string& what) {
        int count = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
            ++count;
        }
        return count;
    }
};

Bytes Rgb24Bmp(int width, int height) {
    BmpRecipe recipe;
    recipe.width = width;
    recipe.height = height;
    recipe.bits = 24;
    recipe.pixels.assign(static_cast<size_t>((width * 3 + 3) & ~3) * height, 0x40);
    return MakeBmp(recipe);
}

// A run-length bitmap of any claimed size: one run, then the end of bitmap.
Bytes RunLengthBmp(int width, int height, int bits) {
    BmpRecipe recipe;
    recipe.width = width;
    recipe.height = height;
    recipe.bits = bits;
    recipe.compression = bits == 8 ? 1 : 2;
    recipe.table = {0x000000, 0xFF0000};
    recipe.pixels = {2, 1, 0, 1};
    return MakeBmp(recipe);
}

Bytes GreyPng(int width, int height) {
    PngRecipe recipe;
    recipe.width = width;
    recipe.height = height;
    recipe.colorType = PNG_COLOR_TYPE_GRAY;
    recipe.rows.assign(static_cast<size_t>(width) * height, 0x80);
    return MakePng(recipe);
}

Bytes GreyJpeg(int width, int height) {
    return MakeJpeg(width, height, 1, Bytes(static_cast<size_t>(width) * height, 0x80), 90);
}

Bytes PlainTga(int width, int height) {
    TgaRecipe recipe;
    recipe.width = width;
    recipe.height = height;
    recipe.data.assign(static_cast<size_t>(width) * height * 3, 0x30);
    return MakeTga(recipe);
}

Bytes PlainBgra(int width, int height) {
    Bytes out = {'B', 'G', 'R', 'A'};
    PutLe32(&out, 0x08080808);
    PutLe32(&out, static_cast<uint32_t>(width));
    PutLe32(&out, static_cast<uint32_t>(height));
    out.resize(out.size() + static_cast<size_t>(width) * height * 4, 0x20);
    return out;
}

Bytes Dxt1Dds(int width, int height) {
    DdsRecipe recipe;
    recipe.width = static_cast<uint32_t>(width);
    recipe.height = static_cast<uint32_t>(height);
    recipe.pixelFlags = 4;
    recipe.fourCc = FourCcOf("DXT1");
    recipe.data.assign(static_cast<size_t>((width + 3) / 4) * ((height + 3) / 4) * 8, 0x11);
    return MakeDds(recipe);
}

TEST_F(ImageBudget, EveryLoaderTakesTheBudgetAndRefusesAPixelMore) {
    // 16 x 16 pixels at 32 bits.
    ASSERT_EQ(tessel::SetImageMemoryBudget(16 * 16 * 4), 0);
    struct Case {
        const char* name;
        std::function<Bytes(int, int)> make;
    };
    const Case cases[] = {
        {"bmp 24", Rgb24Bmp},
        {"bmp rle8", [](int w, int h) { return RunLengthBmp(w, h, 8); }},
        {"bmp rle4", [](int w, int h) { return RunLengthBmp(w, h, 4); }},
        {"png", GreyPng},
        {"jpeg", GreyJpeg},
        {"tga", PlainTga},
        {"bgra", PlainBgra},
        {"dds", Dxt1Dds},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        {
            LogScope log;
            Decoded whole;
            Decode(c.make(16, 16), &whole);
            EXPECT_EQ(whole.result, 0);
            EXPECT_EQ(whole.image.width, 16);
            EXPECT_EQ(Lines(log.Text(), kBudgetLine), 0) << log.Text();
        }
        for (auto [width, height] : {std::pair{17, 16}, std::pair{16, 17}}) {
            LogScope log;
            Decoded over;
            Decode(c.make(width, height), &over);
            EXPECT_EQ(over.result, -1) << width << " x " << height;
            EXPECT_EQ(over.image.pixels, nullptr);
            EXPECT_EQ(Lines(log.Text(), kBudgetLine), 1) << log.Text();
        }
    }
}

TEST_F(ImageBudget, TheDefaultRefusesTinyFilesClaimingHugePictures) {
    EXPECT_EQ(tessel::GetImageMemoryBudget(), int64_t{4096} * 4096 * 4);
    struct Case {
        int width;
        int height;
        int bits;
        bool taken;
    };
    for (const Case& c :
         {Case{4096, 4096, 8, true}, Case{4097, 4096, 8, false}, Case{16384, 16384, 8, false},
          Case{16384, 16384, 4, false}, Case{65536, 4096, 4, false}}) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << " at " << c.bits);
        LogScope log;
        Bytes file = RunLengthBmp(c.width, c.height, c.bits);
        ASSERT_LT(file.size(), 70u);
        Decoded d;
        Decode(file, &d);
        EXPECT_EQ(d.result == 0, c.taken);
        EXPECT_EQ(Lines(log.Text(), kBudgetLine), c.taken ? 0 : 1) << log.Text();
        if (c.taken) {
            // One run of two pixels at the bottom left; the rest stays clear.
            EXPECT_EQ(d.image.pixels[int64_t{c.height - 1} * d.image.pitch + 1], 1);
            EXPECT_EQ(d.image.pixels[0], 0);
        }
    }
    // A JPEG of 128 bytes whose frame claims 14344 x 14653 pixels, kept in
    // the fuzz corpus (beside the tests' data folder).
    std::string tests = TESSEL_TEST_DATA_DIR;
    tests.resize(tests.rfind('/'));
    std::ifstream in(tests + "/fuzz/corpus/image_jpeg/slow_128_bytes_claiming_14344x14653",
                     std::ios::binary);
    Bytes jpeg((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(jpeg.size(), 128u);
    LogScope log;
    Decoded d;
    Decode(jpeg, &d);
    EXPECT_EQ(d.result, -1);
    EXPECT_NE(
        log.Text().find("画像の大きさ 14344 x 14653 がメモリの上限 67108864 byte を超えています"),
        std::string::npos)
        << log.Text();
}

TEST_F(ImageBudget, TheProgramSetsItUpToThePixelLimit) {
    const int64_t largest = tessel::kMaxImagePixels * 4;
    struct Case {
        int64_t bytes;
        int result;
    };
    for (const Case& c : {Case{4, 0}, Case{largest, 0}, Case{12345679, 0}, Case{3, -1}, Case{0, -1},
                          Case{-4, -1}, Case{largest + 1, -1}}) {
        SCOPED_TRACE(c.bytes);
        LogScope log;
        int64_t before = tessel::GetImageMemoryBudget();
        EXPECT_EQ(tessel::SetImageMemoryBudget(c.bytes), c.result);
        EXPECT_EQ(tessel::GetImageMemoryBudget(), c.result == 0 ? c.bytes : before);
        EXPECT_EQ(Lines(log.Text(), "画像のメモリの上限"), c.result == 0 ? 0 : 1) << log.Text();
    }
    // A budget that is not a whole number of pixels holds its whole pixels.
    ASSERT_EQ(tessel::SetImageMemoryBudget(16 * 16 * 4 + 3), 0);
    EXPECT_TRUE(tessel::IsWithinImageBudget(16, 16));
    EXPECT_FALSE(tessel::IsWithinImageBudget(257, 1));
    // The largest budget takes what the pixel limit takes.
    ASSERT_EQ(tessel::SetImageMemoryBudget(largest), 0);
    EXPECT_TRUE(tessel::IsWithinImageBudget(16384, 16384));
    EXPECT_FALSE(tessel::IsWithinImageBudget(16385, 16384));
}

// A scope tightens the budget and bounds the sides for its own thread only,
// never loosens the program's budget, and puts back what it found.
TEST_F(ImageBudget, AScopeTightensTheLimitsOfItsOwnThreadOnly) {
    const auto taken = [](int width, int height) {
        Decoded d;
        Decode(RunLengthBmp(width, height, 8), &d);
        return d.result == 0;
    };
    {
        const tessel::ImageLimitScope scope(64 * 64 * 4, 100);
        struct Case {
            int width, height;
            bool taken;
            const char* line;
        };
        for (const Case& c : {Case{64, 64, true, nullptr}, Case{100, 40, true, nullptr},
                              Case{65, 64, false, kBudgetLine},
                              Case{101, 2, false, "が一辺の上限 100 を超えています"},
                              Case{2, 101, false, "が一辺の上限 100 を超えています"}}) {
            SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
            LogScope log;
            EXPECT_EQ(taken(c.width, c.height), c.taken);
            EXPECT_EQ(Lines(log.Text(), "画像の大きさ"), c.taken ? 0 : 1) << log.Text();
            if (c.line != nullptr) {
                EXPECT_EQ(Lines(log.Text(), c.line), 1) << log.Text();
            }
        }
        bool elsewhere = false;
        std::thread other([&] { elsewhere = taken(200, 200); });
        other.join();
        EXPECT_TRUE(elsewhere) << "another thread keeps the program's limits";
        {
            const tessel::ImageLimitScope inner(0, 0);
            EXPECT_TRUE(taken(200, 200)) << "an empty scope inside lifts the outer one";
        }
        EXPECT_FALSE(taken(101, 2)) << "the inner scope put the outer one back";
        // The program's own budget, when tighter, still holds inside.
        ASSERT_EQ(tessel::SetImageMemoryBudget(32 * 32 * 4), 0);
        EXPECT_FALSE(taken(40, 40));
        EXPECT_TRUE(taken(32, 32));
    }
    ASSERT_EQ(tessel::SetImageMemoryBudget(tessel::kDefaultImageMemoryBudget), 0);
    EXPECT_TRUE(taken(200, 200));
}

}  // namespace
}  // namespace tessel_test
