// The rasteriser's whole-quad pixel kernels: a quad's texels (or a row of finished colours)
// copied onto the target or blended, with the alpha test, and rows of a bilinear stretch. Each
// kernel has a portable form and an AVX2 form, chosen once per process from the processor (and
// a test switch); both give exactly the pixels of the per-pixel route (raster_pixel.h):
//
// - blend SRCALPHA / INVSRCALPHA: each channel round((s a + d (255 - a)) / 255), computed as
//   mulhi(x + 128, 257) with x = s a + d (255 - a), which equals the per-pixel
//   (x + 128 + ((x + 128) >> 8)) >> 8 = (x + 127) / 255 for every x up to 65025;
// - blend SRCALPHA / ONE with ADD: min(255, round((s a + 255 d) / 255)) = min(255, d +
//   round(s a / 255)), a saturating add; with REVSUBTRACT max(0, d - round(s a / 255)), as
//   round((255 d - x) / 255) = d - round(x / 255) for whole d and x >= 0;
// - ZERO / SRCCOLOR (or DESTCOLOR / ZERO) with ADD: round(d s / 255); INVDESTCOLOR / ZERO:
//   round(s (255 - d) / 255), each channel, alpha too;
// - the stage program reduced to a tint: each channel round(t k / 255) (MODULATE by a
//   constant colour), k = 255 leaving it and k = 0 clearing it, then ORed with constant bits;
// - bilinear: (h0 (256 - fy) + h1 fy + 32768) >> 16 with h = c0 (256 - fx) + c1 fx, the
//   per-pixel four-weight sum regrouped (raster_sample.h), so each texel row is weighed
//   horizontally once however many target rows read it.
//
// The kernels read 32-bit A8R8G8B8 or X8R8G8B8 texels and write 32-bit targets; the caller
// checks the formats, the absence of depth tests and a texel mapping the tint can express.
#pragma once

#include <cstdint>

#include "platform/d3d9/raster_sample.h"
#include "platform/d3d9/raster_types.h"

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

// round(c a / 255) on each channel c of src, a its alpha (the alpha channel too).
inline uint32_t ScaleBySrcAlpha(uint32_t src) {
    uint32_t a = src >> 24;
    uint32_t rb = (src & 0x00FF00FFu) * a + 0x00800080u;
    rb = ((rb + ((rb >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
    uint32_t ag = ((src >> 8) & 0x00FF00FFu) * a + 0x00800080u;
    ag = (ag + ((ag >> 8) & 0x00FF00FFu)) & 0xFF00FF00u;
    return rb | ag;
}

// Per channel min(255, a + b) and max(0, a - b).
inline uint32_t AddBytesSaturated(uint32_t a, uint32_t b) {
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        uint32_t sum = ((a >> shift) & 255) + ((b >> shift) & 255);
        out |= (sum > 255 ? 255 : sum) << shift;
    }
    return out;
}
inline uint32_t SubtractBytesSaturated(uint32_t a, uint32_t b) {
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        uint32_t x = (a >> shift) & 255, y = (b >> shift) & 255;
        out |= (x > y ? x - y : 0) << shift;
    }
    return out;
}

// Per channel round(t k / 255), k the same channel of tint.
inline uint32_t TintTexel(uint32_t t, uint32_t tint) {
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        uint32_t x = ((t >> shift) & 255) * ((tint >> shift) & 255) + 128;
        out |= ((x + (x >> 8)) >> 8) << shift;
    }
    return out;
}

// The blends the kernels compute (writes with every channel enabled).
enum class QuadBlend : uint8_t {
    kCopy,         // blending off
    kSrcAlpha,     // SRCALPHA, INVSRCALPHA, ADD
    kAdd,          // SRCALPHA, ONE, ADD
    kRevSubtract,  // SRCALPHA, ONE, REVSUBTRACT
    kMultiply,     // ZERO, SRCCOLOR or DESTCOLOR, ZERO, with ADD
    kInvert,       // INVDESTCOLOR, ZERO, ADD
};

// One pixel of a blend over dest (dest already ORed with the target's X bits).
inline uint32_t BlendQuadPixel(QuadBlend blend, uint32_t src, uint32_t dest) {
    switch (blend) {
        case QuadBlend::kSrcAlpha:
            return BlendSrcAlpha(src, dest);
        case QuadBlend::kAdd:
            return AddBytesSaturated(dest, ScaleBySrcAlpha(src));
        case QuadBlend::kRevSubtract:
            return SubtractBytesSaturated(dest, ScaleBySrcAlpha(src));
        case QuadBlend::kMultiply:
            return TintTexel(dest, src);
        case QuadBlend::kInvert:
            return TintTexel(src, ~dest);
        default:
            return src;
    }
}

// A quad of point-sampled texels onto the target. Row y reads texRows[y]; column x reads
// texel cols[x] of its row, or col0 + x when cols is null. Every texel t becomes
// TintTexel(t | alphaOr, tint) | constant (alphaOr: X8R8G8B8 texels; tint and constant: the
// stage program), is tested by alphaFunc against alphaRef (a failed pixel is left as it is) and
// blended; every written pixel and the destination read by the blend is ORed with targetOr
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
    uint32_t tint = 0xFFFFFFFFu;
    uint32_t constant = 0;
    uint32_t targetOr = 0;
    int32_t rowLength = 0;  // texels each row holds from its start
    QuadBlend blend = QuadBlend::kCopy;
    uint32_t alphaFunc = kCmpAlways;
    uint32_t alphaRef = 0;  // 0..255
};
void DrawQuadTexels(const QuadTexels& quad);

// The two passes of a bilinear stretch. The horizontal pass weighs texels first[i] and
// second[i] of a texel row (ORed with alphaOr) by fx, given for each pixel four times (once a
// channel): h[4 i + c] = c0 (256 - fx) + c1 fx, stored biased by 0x8000. The vertical pass
// weighs two such rows by fy: out[i] = ((h0 (256 - fy) + h1 fy + 32768) >> 16 per channel)
// | targetOr. rowLength: the texels the row holds (no index reaches it).
void BilinearHorizontal(uint16_t* h, const uint32_t* row, const int32_t* first,
                        const int32_t* second, const uint16_t* fx, int32_t width, uint32_t alphaOr,
                        int32_t rowLength);
void BilinearVertical(uint32_t* out, const uint16_t* h0, const uint16_t* h1, uint32_t fy,
                      int32_t width, uint32_t targetOr);

// A linearly filtered quad of 32-bit texels onto a 32-bit target, a row in one pass: each
// texel row weighed horizontally once (as BilinearHorizontal, two rows kept), each target row
// weighed vertically (as BilinearVertical, targetOr 0) and handed straight to the quad kernel's
// tint, alpha test and blend, equal to those passes run one after the other. writer holds the
// target (out, outPitch), the size and the pixel settings, its alphaOr 0 (the texels' own OR,
// alphaOr here, comes before the weighing); rows the taps of each target row. The columns come
// in steps of eight pixels, BilinearSteps(width) of them: first, second and fx hold eight
// pixels' taps a step (fx four times a pixel), step k for the pixels from
// BilinearStepColumn(k, width), past the quad's last column repeating it.
struct BilinearQuad {
    QuadTexels writer;
    const uint8_t* texels = nullptr;  // level's first row
    intptr_t texelPitch = 0;          // in bytes
    int32_t rowLength = 0;            // texels a row holds
    uint32_t alphaOr = 0;
    const int32_t* first = nullptr;
    const int32_t* second = nullptr;
    const uint16_t* fx = nullptr;
    const LinearTaps* rows = nullptr;
};
inline int32_t BilinearSteps(int32_t width) {
    return (width + 7) / 8;
}
// Whole steps from column 0; a last part steps back to end on the quad's last column, over
// part of the step before, so that it needs no lane mask (a quad under eight pixels wide has
// one step, masked).
inline int32_t BilinearStepColumn(int32_t k, int32_t width) {
    int32_t x = 8 * k;
    return (x + 8 <= width || width < 8) ? x : width - 8;
}
void DrawBilinearQuad(const BilinearQuad& quad);

// The texel offsets of a span of a triangle whose texels all lie inside the texture: for
// pixel i at x = left + i, with u = float((ua x + uy) + uc) and v likewise (the rasteriser's
// own expression, in that order), out[i] = trunc(v h) pitch + trunc(u w). Four pixels a step
// in the AVX2 form, whose conversions round as the scalar casts do.
struct SpanMapping {
    double ua, uy, uc;
    double va, vy, vc;
    double width, height;  // of the texture level
    int32_t pitch;         // in texels
};
void SpanTexelOffsetsInside(int32_t* out, int64_t left, int32_t n, const SpanMapping& m);

// The linear samples of a span of a turned triangle from a 32-bit level: for pixel i at
// x = left + i, u = float((ua x + uy) + uc) and v likewise (the rasteriser's own expression),
// out[i] is what SampleRaster gives there with the LINEAR filter and no level of detail: the
// taps of LinearTapsFor, the border colour where one falls outside, the texels (ORed with
// alphaOr) weighed as BilinearCombine. Four pixels a step in the AVX2 form (the taps in
// doubles, as LinearTapsAlong, the weighing in 16-bit words), where every tap of the step lies
// inside the level or the address mode is CLAMP; other steps and the last part pixel by pixel.
struct LinearSpan {
    double ua, uy, uc;
    double va, vy, vc;
    const uint8_t* texels;  // level's first row
    int32_t pitch;          // in texels
    int32_t width, height;  // of the level
    uint32_t addressU, addressV;
    uint32_t alphaOr;
    uint32_t borderColor;
};
void LinearSpanSamples(uint32_t* out, int64_t left, int32_t n, const LinearSpan& m);

// The spans of a turned triangle, each sampled as LinearSpanSamples does and handed straight to
// the quad kernel's tint, alpha test and blend, as DrawQuadTexels on that one row would: the
// pixels of the two run one after the other, set up once for all the rows and without the
// row of samples between them (a small quad's spans are a few pixels each, so what the two
// calls set up for every span costs as much as the pixels). writer holds the target (out at
// its pixel (0, 0), outPitch) and the pixel settings, its alphaOr 0 (the texels' own OR is
// sampling's); sampling's uy and vy are each row's own. Eight pixels a step in the AVX2 form,
// a span's last part through lane masks; the texel pairs of a tap row by one 64-bit load a
// pixel (for a level at least two texels wide).
struct LinearSpanRow {
    int32_t y;      // target row
    int32_t left;   // first column
    int32_t count;  // pixels, at least one
    double uy, vy;  // the u and v planes' b y terms for the row
};
struct LinearSpans {
    QuadTexels writer;
    LinearSpan sampling;
    const LinearSpanRow* rows = nullptr;
    int32_t rowCount = 0;
};
void DrawLinearSpans(const LinearSpans& spans);

// The linear taps of count pixels along one axis of a quad: out[i] = LinearTapsFor(float(a0 +
// step (first + i)), size, mode), the quads' own expression. Four pixels a step in the AVX2
// form, the same double operations with the float rounding by cvtpd_ps and the floor by
// roundpd; the address modes past the texture's edges pixel by pixel.
void LinearTapsAlong(LinearTaps* out, double a0, double step, int32_t first, int32_t count,
                     int32_t size, uint32_t mode);

// Test switch: false keeps to the portable kernels whatever the processor has.
void SetRasterVectorKernelsEnabled(bool enabled);

}  // namespace platform
