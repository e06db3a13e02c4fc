// The whole loader chain as a program loads from memory. One load per input,
// as a program makes it; the input's length picks how: plain, mirrored, or
// handed over as a DIB (a byte more or less is the fuzzer's cheapest change,
// and the loaders ignore bytes past an image).
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
    const int how = static_cast<int>(size % 3);
    if (how == 2) {
        BITMAPINFO* info = nullptr;
        void* pixels = nullptr;
        if (LoadImageBuffer(nullptr, copy.bytes.get(), bytes, 1, 1, 0, nullptr, &info, &pixels) ==
            0) {
            UseDib(info, pixels);
            FreeTracked(info);
            FreeTracked(pixels);
        }
        return 0;
    }
    BASEIMAGE image = {};
    if (LoadImageBuffer(nullptr, copy.bytes.get(), bytes, 1, 0, how, &image, nullptr, nullptr) ==
        0) {
        tessel_fuzz::UseImage(&image);
        ReleaseImageBuffer(&image);
    }
    return 0;
}
