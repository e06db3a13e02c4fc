// The rasteriser's whole-quad pixel kernels: a quad's texels copied onto the target or blended
// with SRCALPHA / INVSRCALPHA / ADD, and rows of a bilinear stretch. Each kernel has a portable
// form and an AVX2 form, chosen once per process from the processor (and a test switch); both
// give exactly the pixels of the per-pixel route (raster_pixel.h):
//
// - blend: each channel round((s a + d (255 - a)) / 255), computed as mulhi(x + 128, 257) with
//   x = s a + d (255 - a), which equals the per-pixel (x + 128 + ((x + 128) >> 8)) >> 8;
// - bilinear: (h0 (256 - fy) + h1 fy + 32768) >> 16 with h = c0 (256 - fx) + c1 fx, the
//   per-pixel four-weight sum regrouped (raster_sample.h), so each texel row is weighed
//   horizontally once however many target rows read it.
//
// The kernels read 32-bit A8R8G8B8 or X8R8G8B8 texels and write 32-bit targets; the caller
// checks the formats, the absence of depth and alpha tests and an identity texel mapping.
#pragma once

#include <cstdint>

namespace platform {

// SRCALPHA / INVSRCALPHA / ADD on 8-bit channels, two channels at a time; equal to
// BlendRasterPixel for that setup.
inline uint32_t BlendSrcAlpha(uint32_t src, uint32_t dst) {
    uint32_t a = src >> 24;
    uint32_t na = 255 - a;
    uint32_t rb = (src & 0x00FF00FFu) * a + (dst & 0x00FF00FFu) * na + 0x00800080u;
    rb = ((rb + ((rb >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
    uint32_t ag = ((src >> 8) & 0x00FF00FFu) * a + ((dst >> 8) & 0x00FF00FFu) * na + 0x00800080u;
    ag = (ag + ((ag >> 8) & 0x00FF00FFu)) & 0xFF00FF00u;
    return rb | ag;
}

// A quad of point-sampled texels onto the target. Row y reads texRows[y]; column x reads
// texel cols[x] of its row, or col0 + x when cols is null. Every texel is ORed with alphaOr
// (X8R8G8B8 texels), every written pixel and the destination read by the blend with targetOr
// (X8R8G8B8 targets).
struct QuadTexels {
    uint32_t* out = nullptr;  // the quad's top-left target pixel
    intptr_t outPitch = 0;    // in pixels
    const uint32_t* const* texRows = nullptr;
    const int32_t* cols = nullptr;
    int32_t col0 = 0;
    int32_t width = 0;
    int32_t height = 0;
    uint32_t alphaOr = 0;
    uint32_t targetOr = 0;
    int32_t rowLength = 0;  // texels each row holds from its start
    bool blend = false;     // SRCALPHA / INVSRCALPHA / ADD; otherwise a copy
};
void DrawQuadTexels(const QuadTexels& quad);

// The two passes of a bilinear stretch. The horizontal pass weighs texels first[i] and
// second[i] of a texel row (ORed with alphaOr) by fx, given for each pixel four times (once a
// channel): h[4 i + c] = c0 (256 - fx) + c1 fx, stored biased by 0x8000. The vertical pass
// weighs two such rows by fy: out[i] = ((h0 (256 - fy) + h1 fy + 32768) >> 16 per channel)
// | targetOr.
void BilinearHorizontal(uint16_t* h, const uint32_t* row, const int32_t* first,
                        const int32_t* second, const uint16_t* fx, int32_t width, uint32_t alphaOr);
void BilinearVertical(uint32_t* out, const uint16_t* h0, const uint16_t* h1, uint32_t fy,
                      int32_t width, uint32_t targetOr);

// Test switch: false keeps to the portable kernels whatever the processor has.
void SetRasterVectorKernelsEnabled(bool enabled);

}  // namespace platform
