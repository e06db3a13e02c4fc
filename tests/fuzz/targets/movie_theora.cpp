// The Theora movie decoder over any bytes: opened from memory, then (frames
// up to a million pixels) advanced through a few frames, wrapping at the end,
// with every frame converted, and one seek back; every converted pixel is read.
#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_target.h"
#include "movie/movie_test_support.h"
#include "movie/theora_decoder.h"

namespace {

constexpr int64_t kAdvancedPixels = 1 << 20;

void ReadPicture(tessel::TheoraDecoder* decoder) {
    if (tessel::TheoraUpdateImage(decoder, 1, 1) == 0) {
        return;
    }
    const tessel::BASEIMAGE* image = tessel::TheoraRgbImage(decoder);
    tessel_fuzz::sink =
        tessel_fuzz::sink +
        tessel_fuzz::SumBytes(image->pixels, static_cast<uint64_t>(image->pitch) * image->height);
}

}  // namespace

TESSEL_FUZZ_TARGET(movie_theora) {
    tessel::TheoraBuildYuvTables();
    tessel_test::MemoryFile file{std::vector<uint8_t>(data, data + size), 0};
    tessel::TheoraDecoder* decoder = tessel_test::OpenMemoryClip(file, 2);
    if (decoder == nullptr) {
        return 0;
    }
    tessel::TheoraMovieInfo info{};
    tessel::TheoraQueryInfo(decoder, &info);
    tessel_fuzz::sink = tessel_fuzz::sink + static_cast<uint32_t>(info.frameCount + info.width);
    ReadPicture(decoder);
    // Large frames stop at the first: each further frame of up to 2048 x 2048
    // costs the decoder more than a run may take.
    if (static_cast<int64_t>(info.width) * info.height > kAdvancedPixels) {
        tessel::TheoraClose(decoder);
        return 0;
    }
    for (int step : {1, 2, 1, 5}) {
        tessel::TheoraAdvance(decoder, step);
        ReadPicture(decoder);
    }
    tessel::TheoraSeek(decoder, 1);
    ReadPicture(decoder);
    tessel::TheoraClose(decoder);
    return 0;
}
