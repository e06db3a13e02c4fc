// A texture's colour and alpha images from their files: decoded, the colour
// image optionally turned from a height map into a normal map, sides that are
// not powers of two scaled up, the alpha image brought to the colour image's
// size, and both optionally turned by 180 degrees.
#include <cstring>

#include "foundation/base/numbers.h"
#include "graphics/device/device_state.h"
#include "images/image_loader.h"
#include "models/util/mesh_utilities.h"

namespace tessel {

namespace {

constexpr int kDefaultMaxTextureSide = 256;

int NextPowerOfTwo(int value) {
    int p = 1;
    while (p < value && p < (1 << 30)) {
        p <<= 1;
    }
    return p;
}

bool IsPowerOfTwo(int value) {
    return value > 0 && (value & (value - 1)) == 0;
}

int HalfMaxSide(DWORD reported) {
    int side = reported == 0 ? kDefaultMaxTextureSide : static_cast<int>(reported);
    return side / 2;
}

bool DecodeFile(const void* file, int size, BASEIMAGE* out) {
    return LoadImageBufferFromFile(nullptr, file, size, 1, out, 0) == 0;
}

bool MakeWhite(int width, int height, BASEIMAGE* out) {
    if (CreateXrgbImageBuffer(width, height, out) != 0) {
        return false;
    }
    std::memset(out->pixels, 0xFF, static_cast<size_t>(out->pitch) * height);
    return true;
}

int RedAt(BASEIMAGE* image, int x, int y) {
    int red = 0;
    ReadImagePixel(image, x % image->width, y % image->height, &red, nullptr, nullptr, nullptr);
    return red;
}

int ToChannel(float component) {
    return TruncFloatToInt((component + 1.0f) * 127.5f);
}

// The normal map of the image's red channel read as heights.
bool HeightsToNormals(BASEIMAGE* image, float bumpScale) {
    BASEIMAGE normals = {};
    if (CreateXrgbImageBuffer(image->width, image->height, &normals) != 0) {
        return false;
    }
    const float s = bumpScale < 1e-6f ? 1e-6f : bumpScale;
    for (int y = 0; y < image->height; ++y) {
        for (int x = 0; x < image->width; ++x) {
            int here = RedAt(image, x, y);
            float hx = static_cast<float>(RedAt(image, x + 1, y) - here) / 255.0f;
            float hy = static_cast<float>(RedAt(image, x, y + 1) - here) / 255.0f;
            Vec3 n = Vec3Normalised(-hx * s, -hy * s, s * s);
            WriteImagePixel(&normals, x, y, ToChannel(n.x), ToChannel(n.y), ToChannel(n.z), 0);
        }
    }
    ReleaseImageBuffer(image);
    *image = normals;
    return true;
}

// Sides that are not powers of two grow to the next ones, each at most half
// the device's largest texture side.
bool ScaleToPowersOfTwo(BASEIMAGE* image) {
    if (image->pixels == nullptr || (IsPowerOfTwo(image->width) && IsPowerOfTwo(image->height))) {
        return true;
    }
    const D3DCAPS9& caps = g_graphics.deviceCaps;
    int width = NextPowerOfTwo(image->width);
    int height = NextPowerOfTwo(image->height);
    int capWidth = HalfMaxSide(caps.MaxTextureWidth);
    int capHeight = HalfMaxSide(caps.MaxTextureHeight);
    width = width > capWidth && capWidth > 0 ? capWidth : width;
    height = height > capHeight && capHeight > 0 ? capHeight : height;
    BASEIMAGE scaled = {};
    if (CreateImageBufferLike(width, height, image, &scaled) != 0) {
        return false;
    }
    StretchBlitImageBuffer(0, 0, image->width, image->height, image, 0, 0, width, height, &scaled,
                           1);
    ReleaseImageBuffer(image);
    *image = scaled;
    return true;
}

// The alpha image takes the colour image's size: image handles take only an
// alpha image of their own size, and the white stand-in for an unreadable
// file is 8 x 8 whatever the other file is.
bool MatchAlphaSize(BASEIMAGE* alpha, const BASEIMAGE* colour) {
    if (alpha->pixels == nullptr ||
        (alpha->width == colour->width && alpha->height == colour->height)) {
        return true;
    }
    BASEIMAGE scaled = {};
    if (CreateImageBufferLike(colour->width, colour->height, alpha, &scaled) != 0) {
        return false;
    }
    StretchBlitImageBuffer(0, 0, alpha->width, alpha->height, alpha, 0, 0, colour->width,
                           colour->height, &scaled, 1);
    ReleaseImageBuffer(alpha);
    *alpha = scaled;
    return true;
}

}  // namespace

int MergeColorAndAlphaImages(BASEIMAGE* colourOut, BASEIMAGE* alphaOut, const void* colourFile,
                             int colourSize, const void* alphaFile, int alphaSize, int toNormalMap,
                             float bumpScale, int rotate) {
    *colourOut = {};
    *alphaOut = {};
    bool ok = true;
    if (colourFile != nullptr) {
        ok = DecodeFile(colourFile, colourSize, colourOut);
    }
    if (ok && alphaFile != nullptr) {
        ok = DecodeFile(alphaFile, alphaSize, alphaOut);
    }
    if (ok && colourFile == nullptr) {
        ok = alphaFile != nullptr && MakeWhite(alphaOut->width, alphaOut->height, colourOut);
    }
    if (ok && toNormalMap != 0) {
        ok = HeightsToNormals(colourOut, bumpScale);
    }
    ok = ok && ScaleToPowersOfTwo(colourOut) && ScaleToPowersOfTwo(alphaOut) &&
         MatchAlphaSize(alphaOut, colourOut);
    if (ok && rotate != 0) {
        ok = RotateImageBuffer180(colourOut) == 0 &&
             (alphaOut->pixels == nullptr || RotateImageBuffer180(alphaOut) == 0);
    }
    if (!ok) {
        ReleaseImageBuffer(colourOut);
        ReleaseImageBuffer(alphaOut);
        return -1;
    }
    return 0;
}

}  // namespace tessel
