// The whole loader chain as a program loads from memory: plain, then (when
// that took the image) mirrored and handed over as a DIB.
#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_target.h"

namespace {

using namespace tessel;

void UseDib(const BITMAPINFO* info, const void* pixels) {
    const BITMAPINFOHEADER& header = info->bmiHeader;
    const int64_t height = header.biHeight < 0 ? -int64_t{header.biHeight} : header.biHeight;
    const int64_t rowBytes = ((int64_t{header.biWidth} * header.biBitCount + 31) / 32) * 4;
    tessel_fuzz::sink =
        tessel_fuzz::sink + tessel_fuzz::SumBytes(static_cast<const uint8_t*>(pixels),
                                                  static_cast<uint64_t>(rowBytes * height));
}

}  // namespace

TESSEL_FUZZ_TARGET(image_chain) {
    tessel_fuzz::ExactCopy copy(data, size);
    const int bytes = static_cast<int>(size);
    BASEIMAGE image = {};
    if (LoadImageBuffer(nullptr, copy.bytes.get(), bytes, 1, 0, 0, &image, nullptr, nullptr) != 0) {
        return 0;
    }
    tessel_fuzz::UseImage(&image);
    ReleaseImageBuffer(&image);
    if (LoadImageBuffer(nullptr, copy.bytes.get(), bytes, 1, 0, 1, &image, nullptr, nullptr) == 0) {
        tessel_fuzz::UseImage(&image);
        ReleaseImageBuffer(&image);
    }
    BITMAPINFO* info = nullptr;
    void* pixels = nullptr;
    if (LoadImageBuffer(nullptr, copy.bytes.get(), bytes, 1, 1, 0, nullptr, &info, &pixels) == 0) {
        UseDib(info, pixels);
        FreeTracked(info);
        FreeTracked(pixels);
    }
    return 0;
}
