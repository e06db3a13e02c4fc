// The decoder on a Direct3D device: the YUV surface it makes in the first
// video format the device offers holds the decoded planes byte for byte, its
// RGB image follows the conversion rule bit for bit, and StretchRect turns
// the surface into colour. The planes come from an independent decode of the
// same clip.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "graphics/device/device_state.h"
#include "movie/movie_test_support.h"
#include "movie/theora_decoder.h"
#include "platform/d3d9_fixture.h"
#include "support/yuv_rules.h"

namespace {

using yuv_rules::Clamp;
using yuv_rules::TableRule;

using tessel::TheoraDecoder;
using tessel_test::MemoryFile;
using tessel_test::OracleFrame;

constexpr D3DFORMAT kYv12 = MAKEFOURCC('Y', 'V', '1', '2');
constexpr D3DFORMAT kYuy2 = MAKEFOURCC('Y', 'U', 'Y', '2');
constexpr D3DFORMAT kUyvy = MAKEFOURCC('U', 'Y', 'V', 'Y');

struct DecoderCloser {
    void operator()(TheoraDecoder* d) const { tessel::TheoraClose(d); }
};
using DecoderPtr = std::unique_ptr<TheoraDecoder, DecoderCloser>;

// What each layout holds for a 4:2:0 frame, row by row at the given pitch.
std::vector<uint8_t> Expected(D3DFORMAT format, const OracleFrame& f, int pitch) {
    const int w = f.yWidth;
    const int h = f.yHeight;
    std::vector<uint8_t> bytes(static_cast<size_t>(pitch) * (format == kYv12 ? h + h / 2 : h));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint8_t luma = f.y[y * w + x];
            const uint8_t u = f.u[(y / 2) * f.uvWidth + x / 2];
            const uint8_t v = f.v[(y / 2) * f.uvWidth + x / 2];
            if (format == kYv12) {
                bytes[y * pitch + x] = luma;
                uint8_t* vPlane = bytes.data() + pitch * h;
                uint8_t* uPlane = vPlane + (pitch / 2) * (h / 2);
                vPlane[(y / 2) * (pitch / 2) + x / 2] = v;
                uPlane[(y / 2) * (pitch / 2) + x / 2] = u;
                continue;
            }
            uint8_t* pair = bytes.data() + y * pitch + (x / 2) * 4;
            const bool yuy2 = format == kYuy2;
            pair[(yuy2 ? 0 : 1) + 2 * (x % 2)] = luma;
            pair[yuy2 ? 1 : 0] = u;
            pair[yuy2 ? 3 : 2] = v;
        }
    }
    return bytes;
}

std::vector<uint8_t> SurfaceBytes(IDirect3DSurface9* surface, size_t size, int* pitch) {
    D3DLOCKED_RECT locked;
    EXPECT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    *pitch = locked.Pitch;
    const uint8_t* bits = static_cast<const uint8_t*>(locked.pBits);
    std::vector<uint8_t> bytes(bits, bits + size);
    surface->UnlockRect();
    return bytes;
}

class TheoraSurfaceTest : public d3d9test::DeviceTest {
  protected:
    void SetUp() override {
        DeviceTest::SetUp();
        tessel::TheoraBuildYuvTables();
        savedInUse_ = tessel::g_graphics.hardwareInUse;
        savedDevice_ = tessel::g_graphics.device;
        tessel::g_graphics.hardwareInUse = 1;
        tessel::g_graphics.device = device_;
        UseClip(64, 48);
    }
    // Encodes the clip the decoder opens, at the given frame size.
    void UseClip(int width, int height) {
        spec_.width = width;
        spec_.height = height;
        clip_ = tessel::EncodeTheoraClip(spec_, tessel::FrameNumberPainter());
        frames_ = tessel_test::DecodeAllFrames(clip_);
        ASSERT_EQ(frames_.size(), static_cast<size_t>(spec_.frames));
    }
    void TearDown() override {
        tessel::g_graphics.hardwareInUse = savedInUse_;
        tessel::g_graphics.device = savedDevice_;
        DeviceTest::TearDown();
    }
    void OfferVideoFormats(std::vector<D3DFORMAT> formats) {
        platform::D3D9Profile profile = d3d9test::PinnedProfile();
        profile.videoFormats = std::move(formats);
        platform::SetD3D9Profile(profile);
    }
    DecoderPtr Open() {
        file_.bytes = clip_;
        return DecoderPtr(tessel_test::OpenMemoryClip(file_, 4));
    }

    tessel::TheoraClipOptions spec_ = [] {
        tessel::TheoraClipOptions s;
        s.frames = 20;
        s.keyFrameInterval = 8;
        return s;
    }();
    std::vector<uint8_t> clip_;
    std::vector<OracleFrame> frames_;
    MemoryFile file_;
    int32_t savedInUse_ = 0;
    IDirect3DDevice9* savedDevice_ = nullptr;
};

TEST_F(TheoraSurfaceTest, TheSurfaceHoldsThePlanesInTheFirstFormatOffered) {
    struct Case {
        std::vector<D3DFORMAT> offered;
        D3DFORMAT chosen;
    };
    const Case cases[] = {
        {{kYv12, kYuy2, kUyvy}, kYv12},
        {{kUyvy, kYuy2}, kYuy2},
        {{kUyvy}, kUyvy},
    };
    for (const Case& c : cases) {
        OfferVideoFormats(c.offered);
        DecoderPtr d = Open();
        ASSERT_NE(d, nullptr);
        ASSERT_EQ(tessel::TheoraYuvSurfaceFormat(d.get()), c.chosen);
        IDirect3DSurface9* surface = tessel::TheoraYuvSurface(d.get());
        ASSERT_NE(surface, nullptr);
        int shown = 0;
        for (int step : {0, 3, 6, 8, 2}) {
            tessel::TheoraAdvance(d.get(), step);
            shown += step;
            if (step > 0) {
                EXPECT_EQ(tessel::TheoraUpdateImage(d.get(), 0, 1), 1);
            }
            const OracleFrame& f = frames_[shown];
            const size_t size =
                static_cast<size_t>(f.yWidth) * f.yHeight * (c.chosen == kYv12 ? 3 : 4) / 2;
            int pitch = 0;
            const std::vector<uint8_t> bytes = SurfaceBytes(surface, size, &pitch);
            EXPECT_EQ(bytes, Expected(c.chosen, f, pitch)) << "frame " << shown;
        }
        // StretchRect turns the frame shown into colour on a render target.
        IDirect3DSurface9* target = nullptr;
        ASSERT_EQ(device_->CreateRenderTarget(64, 48, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, TRUE,
                                              &target, nullptr),
                  D3D_OK);
        ASSERT_EQ(device_->StretchRect(surface, nullptr, target, nullptr, D3DTEXF_NONE), D3D_OK);
        const OracleFrame& f = frames_[shown];
        EXPECT_EQ(platform::ReadD3D9SurfacePixel(target, 10, 30),
                  platform::ReadD3D9SurfacePixel(surface, 10, 30));
        EXPECT_EQ(platform::ReadD3D9SurfacePixel(target, 10, 30) & 0xFF00u,
                  f.y[30 * 64 + 10] > 128 ? 0xFF00u : 0u);
        target->Release();
    }
}

TEST_F(TheoraSurfaceTest, WithoutAVideoFormatThereIsNoSurface) {
    OfferVideoFormats({});
    DecoderPtr d = Open();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(tessel::TheoraYuvSurface(d.get()), nullptr);
    EXPECT_EQ(tessel::TheoraYuvSurfaceFormat(d.get()), 0u);
    tessel::TheoraAdvance(d.get(), 1);
    EXPECT_EQ(tessel::TheoraUpdateImage(d.get(), 0, 1), 0);
}

// At 80 pixels across, the chroma rows are 40 bytes: every other one starts
// off a 16-byte boundary of the stock's plane and ends in a part of a block.
TEST_F(TheoraSurfaceTest, TheRgbImageFollowsTheRuleBitForBit) {
    for (const int width : {64, 80}) {
        UseClip(width, 32);
        DecoderPtr d = Open();
        ASSERT_NE(d, nullptr);
        int shown = 0;
        for (int step : {0, 1, 7, 5, 6}) {
            tessel::TheoraAdvance(d.get(), step);
            shown += step;
            tessel::TheoraUpdateImage(d.get(), 1, 0);
            const tessel::BASEIMAGE* image = tessel::TheoraRgbImage(d.get());
            const OracleFrame& f = frames_[shown];
            ASSERT_EQ(f.yWidth, width);
            for (int y = 0; y < f.yHeight; ++y) {
                for (int x = 0; x < f.yWidth; ++x) {
                    uint32_t pixel;
                    std::memcpy(&pixel, image->pixels + y * image->pitch + 4 * x, 4);
                    ASSERT_EQ(pixel,
                              TableRule(f.y[y * f.yWidth + x], f.u[(y / 2) * f.uvWidth + x / 2],
                                        f.v[(y / 2) * f.uvWidth + x / 2]))
                        << width << " wide, frame " << shown << " at " << x << "," << y;
                }
            }
        }
    }
}

TEST_F(TheoraSurfaceTest, ASurfaceThatWillNotLockIsMadeAgain) {
    DecoderPtr d = Open();
    ASSERT_NE(d, nullptr);
    IDirect3DSurface9* first = tessel::TheoraYuvSurface(d.get());
    ASSERT_NE(first, nullptr);
    first->AddRef();
    D3DLOCKED_RECT locked;
    ASSERT_EQ(first->LockRect(&locked, nullptr, 0), D3D_OK);
    tessel::TheoraAdvance(d.get(), 4);
    EXPECT_EQ(tessel::TheoraUpdateImage(d.get(), 0, 1), 1);
    IDirect3DSurface9* second = tessel::TheoraYuvSurface(d.get());
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    int pitch = 0;
    const OracleFrame& f = frames_[4];
    const std::vector<uint8_t> bytes =
        SurfaceBytes(second, static_cast<size_t>(f.yWidth) * f.yHeight * 3 / 2, &pitch);
    EXPECT_EQ(bytes, Expected(kYv12, f, pitch));
    first->UnlockRect();
    EXPECT_EQ(first->Release(), 0u);
}

}  // namespace
