// The movie frame renderer on its own: which media types it takes, the row
// pitch, and where each row of a delivered sample lands in its buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "movie/renderer/movie_frame_renderer.h"
#include "platform/dshow_testing.h"

namespace {

using tessel::MovieFrameRenderer;

// The packed 4:2:2 video subtype, named by its FourCC.
const GUID kSubtypeYuy2 = {
    0x32595559, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

CMediaType VideoType(const GUID& major, const GUID& subtype, const GUID& format, int width,
                     int height) {
    CMediaType type;
    type.SetType(&major);
    type.SetSubtype(&subtype);
    type.SetFormatType(&format);
    auto* info =
        reinterpret_cast<VIDEOINFOHEADER*>(type.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
    info->bmiHeader.biWidth = width;
    info->bmiHeader.biHeight = height;
    info->bmiHeader.biBitCount = 24;
    return type;
}

CMediaType Rgb24(int width, int height) {
    return VideoType(MEDIATYPE_Video, MEDIASUBTYPE_RGB24, FORMAT_VideoInfo, width, height);
}

// A renderer held by one reference for the test's length.
struct Held {
    MovieFrameRenderer* renderer = tessel::CreateMovieFrameRenderer(nullptr, nullptr);
    Held() { renderer->AddRef(); }
    ~Held() { renderer->Release(); }
    MovieFrameRenderer* operator->() const { return renderer; }
};

// Renders `bytes` (a sample of exactly that length) and returns the buffer.
std::vector<uint8_t> Render(MovieFrameRenderer* renderer, std::vector<uint8_t> bytes) {
    CMediaSample* sample =
        new CMediaSample("test", nullptr, nullptr, bytes.data(), static_cast<LONG>(bytes.size()));
    EXPECT_EQ(sample->SetActualDataLength(static_cast<LONG>(bytes.size())), S_OK);
    EXPECT_EQ(renderer->DoRenderSample(sample), S_OK);
    delete sample;
    const size_t size = static_cast<size_t>(renderer->Pitch()) * renderer->Height();
    return {renderer->FrameBuffer(), renderer->FrameBuffer() + size};
}

std::vector<uint8_t> Numbered(size_t count, uint8_t first = 1) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<uint8_t>(first + i * 7);
    }
    return bytes;
}

TEST(MovieFrameRenderer, TakesOnlyTwentyFourBitRgbVideoWithAVideoInfoHeader) {
    Held held;
    EXPECT_EQ(held->CheckMediaType(nullptr), E_POINTER);
    struct Case {
        const GUID* major;
        const GUID* subtype;
        const GUID* format;
        HRESULT expected;
    };
    const Case cases[] = {
        {&MEDIATYPE_Video, &MEDIASUBTYPE_RGB24, &FORMAT_VideoInfo, S_OK},
        {&MEDIATYPE_Video, &MEDIASUBTYPE_RGB32, &FORMAT_VideoInfo, E_FAIL},
        {&MEDIATYPE_Video, &kSubtypeYuy2, &FORMAT_VideoInfo, E_FAIL},
        {&MEDIATYPE_Audio, &MEDIASUBTYPE_RGB24, &FORMAT_VideoInfo, E_FAIL},
        {&MEDIATYPE_Video, &MEDIASUBTYPE_RGB24, &FORMAT_WaveFormatEx, E_INVALIDARG},
        {&MEDIATYPE_Video, &MEDIASUBTYPE_RGB32, &GUID_NULL, E_INVALIDARG},
    };
    for (const Case& c : cases) {
        CMediaType type = VideoType(*c.major, *c.subtype, *c.format, 4, 4);
        EXPECT_EQ(held->CheckMediaType(&type), c.expected);
    }
    // A video info type whose header is missing cannot give the frame size.
    CMediaType bare;
    bare.SetType(&MEDIATYPE_Video);
    bare.SetSubtype(&MEDIASUBTYPE_RGB24);
    bare.SetFormatType(&FORMAT_VideoInfo);
    EXPECT_EQ(held->CheckMediaType(&bare), E_INVALIDARG);
}

TEST(MovieFrameRenderer, RowsAreThreeBytesAPixelRoundedUpToFourBytes) {
    Held held;
    const int widths[] = {1, 2, 3, 4, 5, 7, 641};
    const int pitches[] = {4, 8, 12, 12, 16, 24, 1924};
    for (size_t i = 0; i < std::size(widths); ++i) {
        CMediaType type = Rgb24(widths[i], 2);
        ASSERT_EQ(held->SetMediaType(&type), S_OK);
        EXPECT_EQ(held->Pitch(), pitches[i]) << "width " << widths[i];
        EXPECT_EQ(tessel::MovieFramePitch(widths[i]), (3 * widths[i] + 3) / 4 * 4);
    }
}

TEST(MovieFrameRenderer, ABottomUpFrameIsStoredTopRowFirst) {
    Held held;
    const int height = 5;
    CMediaType type = Rgb24(3, height);  // positive height: bottom row first
    ASSERT_EQ(held->SetMediaType(&type), S_OK);
    EXPECT_EQ(held->BottomUp(), 1);
    EXPECT_EQ(held->TakeNewFrame(), 0);
    const int pitch = held->Pitch();
    const std::vector<uint8_t> sample = Numbered(static_cast<size_t>(pitch) * height);
    const std::vector<uint8_t> stored = Render(held.renderer, sample);
    for (int row = 0; row < height; ++row) {
        EXPECT_EQ(0, std::memcmp(&stored[static_cast<size_t>(height - 1 - row) * pitch],
                                 &sample[static_cast<size_t>(row) * pitch], pitch))
            << "source row " << row;
    }
    EXPECT_EQ(held->TakeNewFrame(), 1);
    EXPECT_EQ(held->TakeNewFrame(), 0);
}

TEST(MovieFrameRenderer, ATopDownFrameIsStoredAsItComes) {
    Held held;
    CMediaType type = Rgb24(5, -4);
    ASSERT_EQ(held->SetMediaType(&type), S_OK);
    EXPECT_EQ(held->BottomUp(), 0);
    EXPECT_EQ(held->Height(), 4);
    const std::vector<uint8_t> sample = Numbered(static_cast<size_t>(held->Pitch()) * 4);
    EXPECT_EQ(Render(held.renderer, sample), sample);
}

TEST(MovieFrameRenderer, AShortSampleFillsOnlyWhatItHolds) {
    Held held;
    CMediaType type = Rgb24(2, 3);  // pitch 8, 24 bytes
    ASSERT_EQ(held->SetMediaType(&type), S_OK);
    Render(held.renderer, std::vector<uint8_t>(24, 0xEE));
    // Ten bytes: the first source row whole and two bytes of the second.
    const std::vector<uint8_t> stored = Render(held.renderer, Numbered(10));
    const std::vector<uint8_t> full = Numbered(10);
    EXPECT_EQ(0, std::memcmp(&stored[16], full.data(), 8));
    EXPECT_EQ(stored[8], full[8]);
    EXPECT_EQ(stored[9], full[9]);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(stored[i], 0xEE) << i;
    }
    for (int i = 10; i < 16; ++i) {
        EXPECT_EQ(stored[i], 0xEE) << i;
    }
    // A top-down frame the same way: one copy of the ten bytes.
    CMediaType topDown = Rgb24(2, -3);
    ASSERT_EQ(held->SetMediaType(&topDown), S_OK);
    Render(held.renderer, std::vector<uint8_t>(24, 0xEE));
    const std::vector<uint8_t> again = Render(held.renderer, Numbered(10));
    EXPECT_EQ(0, std::memcmp(again.data(), full.data(), 10));
    EXPECT_EQ(again[10], 0xEE);
}

TEST(MovieFrameRenderer, ANewMediaTypeReplacesTheBufferAndForgetsTheFrame) {
    Held held;
    CMediaType small = Rgb24(2, 2);
    ASSERT_EQ(held->SetMediaType(&small), S_OK);
    Render(held.renderer, Numbered(16));
    CMediaType large = Rgb24(6, 3);
    ASSERT_EQ(held->SetMediaType(&large), S_OK);
    EXPECT_EQ(held->TakeNewFrame(), 0);
    EXPECT_EQ(held->Width(), 6);
    EXPECT_EQ(held->Pitch(), 20);
    const std::vector<uint8_t> sample = Numbered(60, 9);
    const std::vector<uint8_t> stored = Render(held.renderer, sample);
    EXPECT_EQ(0, std::memcmp(stored.data(), &sample[40], 20));
}

TEST(MovieFrameRenderer, WithoutABufferSamplesAreDroppedAndANullSampleIsRefused) {
    Held held;
    EXPECT_EQ(held->DoRenderSample(nullptr), E_POINTER);
    std::vector<uint8_t> bytes(16);
    CMediaSample* sample = new CMediaSample("test", nullptr, nullptr, bytes.data(), 16);
    EXPECT_EQ(held->DoRenderSample(sample), S_OK);
    EXPECT_EQ(held->TakeNewFrame(), 0);
    CMediaType empty = Rgb24(0, 4);
    ASSERT_EQ(held->SetMediaType(&empty), S_OK);
    EXPECT_EQ(held->FrameBuffer(), nullptr);
    EXPECT_EQ(held->DoRenderSample(sample), S_OK);
    EXPECT_EQ(held->TakeNewFrame(), 0);
    delete sample;
}

TEST(MovieFrameRenderer, CreationReportsSuccessAndTheClassId) {
    HRESULT result = E_FAIL;
    MovieFrameRenderer* renderer = tessel::CreateMovieFrameRenderer(nullptr, &result);
    ASSERT_NE(renderer, nullptr);
    EXPECT_EQ(result, S_OK);
    renderer->AddRef();
    CLSID id = {};
    EXPECT_EQ(renderer->GetClassID(&id), S_OK);
    EXPECT_EQ(id, tessel::CLSID_MovieFrameRenderer);
    renderer->Release();
}

}  // namespace
