// Off-screen plain surfaces in the video formats YV12, YUY2 and UYVY: their
// sizes and locks, and StretchRect from them onto colour surfaces, checked
// pixel for pixel against the conversion rule written out here once more and
// against BT.601 in doubles.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "d3d9_fixture.h"
#include "platform/d3d9/yuv_surface.h"
#include "support/yuv_rules.h"

using d3d9test::DeviceTest;

namespace {

using yuv_rules::ChannelGap;
using yuv_rules::Clamp;

constexpr D3DFORMAT kYv12 = MAKEFOURCC('Y', 'V', '1', '2');
constexpr D3DFORMAT kYuy2 = MAKEFOURCC('Y', 'U', 'Y', '2');
constexpr D3DFORMAT kUyvy = MAKEFOURCC('U', 'Y', 'V', 'Y');
const D3DFORMAT kVideoFormats[] = {kYv12, kYuy2, kUyvy};

// The device's rule: BT.601 factors in 16.16 fixed point, rounded.
uint32_t RuleArgb(int y, int u, int v) {
    const int l = 76309 * (y - 16);
    const int r = Clamp((l + 104597 * (v - 128) + 32768) >> 16);
    const int g = Clamp((l - 25675 * (u - 128) - 53279 * (v - 128) + 32768) >> 16);
    const int b = Clamp((l + 132201 * (u - 128) + 32768) >> 16);
    return 0xFF000000u | static_cast<uint32_t>(r << 16 | g << 8 | b);
}

// BT.601 studio range from its weights, in doubles.
int OracleChannel(double value) {
    return Clamp(static_cast<int>(std::floor(value + 0.5)));
}
uint32_t OracleArgb(int y, int u, int v) {
    const double kr = 0.299, kb = 0.114, kg = 1.0 - kr - kb;
    const double luma = (y - 16) * 255.0 / 219.0;
    const double pb = (u - 128) * 255.0 / 224.0;
    const double pr = (v - 128) * 255.0 / 224.0;
    const int r = OracleChannel(luma + 2.0 * (1.0 - kr) * pr);
    const int g =
        OracleChannel(luma - 2.0 * kb * (1.0 - kb) / kg * pb - 2.0 * kr * (1.0 - kr) / kg * pr);
    const int b = OracleChannel(luma + 2.0 * (1.0 - kb) * pb);
    return 0xFF000000u | static_cast<uint32_t>(r << 16 | g << 8 | b);
}

// A picture of random samples and its Y, U, V at each pixel, as the layouts
// store them (chroma shared by 2x1 pixels, or 2x2 in YV12).
struct VideoPicture {
    int width, height;
    std::vector<uint8_t> y, u, v;  // u and v per pixel
};

VideoPicture RandomPicture(D3DFORMAT format, int width, int height, uint32_t seed) {
    std::mt19937 random(seed);
    VideoPicture p{width, height, {}, {}, {}};
    p.y.resize(static_cast<size_t>(width) * height);
    p.u.resize(p.y.size());
    p.v.resize(p.y.size());
    for (uint8_t& s : p.y) {
        s = static_cast<uint8_t>(random());
    }
    const int rowsPerChroma = format == kYv12 ? 2 : 1;
    for (int y = 0; y < height; y += rowsPerChroma) {
        for (int x = 0; x < width; x += 2) {
            const uint8_t u = static_cast<uint8_t>(random());
            const uint8_t v = static_cast<uint8_t>(random());
            for (int dy = 0; dy < rowsPerChroma; ++dy) {
                for (int dx = 0; dx < 2; ++dx) {
                    const size_t at = static_cast<size_t>(y + dy) * width + x + dx;
                    p.u[at] = u;
                    p.v[at] = v;
                }
            }
        }
    }
    return p;
}

// Writes the picture through a lock of the whole surface, in the layout the
// format names.
void Store(IDirect3DSurface9* surface, D3DFORMAT format, const VideoPicture& p) {
    D3DLOCKED_RECT locked;
    ASSERT_EQ(surface->LockRect(&locked, nullptr, 0), D3D_OK);
    uint8_t* bits = static_cast<uint8_t*>(locked.pBits);
    const int pitch = locked.Pitch;
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            const size_t at = static_cast<size_t>(y) * p.width + x;
            if (format == kYv12) {
                bits[y * pitch + x] = p.y[at];
                uint8_t* vPlane = bits + pitch * p.height;
                uint8_t* uPlane = vPlane + (pitch / 2) * (p.height / 2);
                vPlane[(y / 2) * (pitch / 2) + x / 2] = p.v[at];
                uPlane[(y / 2) * (pitch / 2) + x / 2] = p.u[at];
            } else {
                uint8_t* pair = bits + y * pitch + (x / 2) * 4;
                const bool yuy2 = format == kYuy2;
                pair[(yuy2 ? 0 : 1) + 2 * (x % 2)] = p.y[at];
                pair[yuy2 ? 1 : 0] = p.u[at];
                pair[yuy2 ? 3 : 2] = p.v[at];
            }
        }
    }
    ASSERT_EQ(surface->UnlockRect(), D3D_OK);
}

class VideoSurfaceTest : public DeviceTest {
  protected:
    IDirect3DSurface9* Target(UINT w, UINT h) {
        IDirect3DSurface9* target = nullptr;
        EXPECT_EQ(device_->CreateRenderTarget(w, h, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, TRUE,
                                              &target, nullptr),
                  D3D_OK);
        return target;
    }
};

TEST(VideoColourRule, EverySampleMatchesTheRuleAndBt601WithinOne) {
    int worst = 0;
    for (int y = 0; y < 256; ++y) {
        for (int u = 0; u < 256; ++u) {
            for (int v = 0; v < 256; ++v) {
                const uint32_t got = platform::d3d9::YuvToArgb(y, u, v);
                ASSERT_EQ(got, RuleArgb(y, u, v)) << y << " " << u << " " << v;
                worst = std::max(worst, ChannelGap(got, OracleArgb(y, u, v)));
            }
        }
    }
    EXPECT_LE(worst, 1);
}

TEST_F(VideoSurfaceTest, SizesAndPoolsFollowTheFormats) {
    struct Case {
        D3DFORMAT format;
        UINT width, height;
        D3DPOOL pool;
        platform::D3D9Refusal refusal;
    };
    using platform::D3D9Refusal;
    const Case cases[] = {
        {kYv12, 64, 48, D3DPOOL_DEFAULT, D3D9Refusal::None},
        {kYuy2, 64, 47, D3DPOOL_DEFAULT, D3D9Refusal::None},
        {kUyvy, 2, 1, D3DPOOL_SYSTEMMEM, D3D9Refusal::None},
        {kYv12, 64, 47, D3DPOOL_DEFAULT, D3D9Refusal::OddVideoSize},
        {kYv12, 63, 48, D3DPOOL_DEFAULT, D3D9Refusal::OddVideoSize},
        {kYuy2, 63, 48, D3DPOOL_DEFAULT, D3D9Refusal::OddVideoSize},
        {kUyvy, 1, 2, D3DPOOL_DEFAULT, D3D9Refusal::OddVideoSize},
        {kYuy2, 64, 48, D3DPOOL_MANAGED, D3D9Refusal::BadPool},
    };
    for (const Case& c : cases) {
        IDirect3DSurface9* surface = nullptr;
        if (c.refusal == D3D9Refusal::None) {
            ASSERT_EQ(device_->CreateOffscreenPlainSurface(c.width, c.height, c.format, c.pool,
                                                           &surface, nullptr),
                      D3D_OK);
            D3DSURFACE_DESC desc;
            ASSERT_EQ(surface->GetDesc(&desc), D3D_OK);
            EXPECT_EQ(desc.Format, c.format);
            EXPECT_EQ(desc.Width, c.width);
            D3DLOCKED_RECT locked;
            ASSERT_EQ(surface->LockRect(&locked, nullptr, 0), D3D_OK);
            EXPECT_EQ(locked.Pitch, static_cast<INT>(c.format == kYv12 ? c.width : 2 * c.width));
            surface->UnlockRect();
            surface->Release();
            continue;
        }
        const uint64_t before = platform::D3D9RefusalCount();
        HRESULT result = device_->CreateOffscreenPlainSurface(c.width, c.height, c.format, c.pool,
                                                              &surface, nullptr);
        d3d9test::CheckRefusal(result, before, c.refusal, "CreateOffscreenPlainSurface");
        EXPECT_EQ(surface, nullptr);
    }
}

TEST_F(VideoSurfaceTest, LocksTakeWholePixelPairsAndYv12Whole) {
    IDirect3DSurface9* packed = Plain(16, 4, kYuy2);
    IDirect3DSurface9* planar = Plain(16, 4, kYv12);
    D3DLOCKED_RECT locked;
    const RECT oddLeft = {1, 0, 4, 2};
    const RECT oddRight = {0, 0, 3, 2};
    const RECT part = {0, 0, 16, 2};
    EXPECT_REFUSED(VideoLockRect, packed->LockRect(&locked, &oddLeft, 0));
    EXPECT_REFUSED(VideoLockRect, packed->LockRect(&locked, &oddRight, 0));
    EXPECT_REFUSED(VideoLockRect, planar->LockRect(&locked, &part, 0));
    // A pair lock starts at its pair: written through it, read whole.
    const RECT pair = {6, 2, 8, 3};
    ASSERT_EQ(packed->LockRect(&locked, &pair, 0), D3D_OK);
    std::memcpy(locked.pBits, "\x51\x52\x53\x54", 4);
    ASSERT_EQ(packed->UnlockRect(), D3D_OK);
    ASSERT_EQ(packed->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(std::memcmp(static_cast<uint8_t*>(locked.pBits) + 2 * locked.Pitch + 12,
                          "\x51\x52\x53\x54", 4),
              0);
    ASSERT_EQ(packed->UnlockRect(), D3D_OK);
    packed->Release();
    planar->Release();
}

TEST_F(VideoSurfaceTest, StretchRectConvertsEachLayoutIntoColour) {
    struct Case {
        int destWidth, destHeight;
    };
    const Case sizes[] = {{32, 16}, {64, 32}, {20, 10}};
    for (D3DFORMAT format : kVideoFormats) {
        const VideoPicture picture = RandomPicture(format, 32, 16, format);
        IDirect3DSurface9* source = Plain(32, 16, format);
        Store(source, format, picture);
        for (const Case& size : sizes) {
            IDirect3DSurface9* target = Target(size.destWidth, size.destHeight);
            ASSERT_EQ(device_->StretchRect(source, nullptr, target, nullptr, D3DTEXF_POINT),
                      D3D_OK);
            for (int y = 0; y < size.destHeight; ++y) {
                for (int x = 0; x < size.destWidth; ++x) {
                    // The source pixel under the destination pixel's centre.
                    const int sx = (2 * x + 1) * 32 / (2 * size.destWidth);
                    const int sy = (2 * y + 1) * 16 / (2 * size.destHeight);
                    const size_t at = static_cast<size_t>(sy) * 32 + sx;
                    ASSERT_EQ(platform::ReadD3D9SurfacePixel(target, x, y),
                              RuleArgb(picture.y[at], picture.u[at], picture.v[at]))
                        << std::hex << format << std::dec << " " << x << "," << y;
                }
            }
            target->Release();
        }
        source->Release();
    }
}

TEST_F(VideoSurfaceTest, NothingIsWrittenIntoAVideoSurface) {
    IDirect3DSurface9* video = Plain(16, 4, kYuy2);
    IDirect3DSurface9* colour = Target(16, 4);
    IDirect3DSurface9* system = Plain(16, 4, kYuy2, D3DPOOL_SYSTEMMEM);
    EXPECT_REFUSED(VideoTarget,
                   device_->StretchRect(colour, nullptr, video, nullptr, D3DTEXF_NONE));
    EXPECT_REFUSED(VideoTarget, device_->ColorFill(video, nullptr, 0xFF00FF00u));
    EXPECT_REFUSED(VideoTarget, device_->UpdateSurface(system, nullptr, video, nullptr));
    system->Release();
    colour->Release();
    video->Release();
}

}  // namespace
