// A model texture's images from two files given as one input: byte 0 holds
// the switches (bit 0 height map to normal map, bit 1 turn by 180 degrees,
// bit 2 an alpha file follows), bytes 1 and 2 the colour file's length (little
// endian), then the colour file and the alpha file, built under the model
// texture limits. Both images the merge makes are read to the last byte.
#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_target.h"
#include "models/textures/model_textures.h"

TESSEL_FUZZ_TARGET(model_texture_images) {
    if (size < 3) {
        return 0;
    }
    const uint8_t switches = data[0];
    size_t colourSize = static_cast<size_t>(data[1]) | static_cast<size_t>(data[2]) << 8;
    const size_t rest = size - 3;
    colourSize = colourSize < rest ? colourSize : rest;
    const bool withAlpha = (switches & 4) != 0;
    tessel_fuzz::ExactCopy colour(data + 3, colourSize);
    tessel_fuzz::ExactCopy alpha(data + 3 + colourSize, rest - colourSize);
    tessel::BASEIMAGE colourImage = {};
    tessel::BASEIMAGE alphaImage = {};
    if (tessel::BuildModelTextureImages(
            &colourImage, &alphaImage, colourSize > 0 ? colour.bytes.get() : nullptr,
            static_cast<int>(colourSize), withAlpha ? alpha.bytes.get() : nullptr,
            static_cast<int>(alpha.size), switches & 1, 1.5f, (switches >> 1) & 1) == 0) {
        tessel_fuzz::UseImage(&colourImage);
        if (alphaImage.pixels != nullptr) {
            tessel_fuzz::UseImage(&alphaImage);
        }
        tessel::ReleaseImageBuffer(&colourImage);
        tessel::ReleaseImageBuffer(&alphaImage);
    }
    return 0;
}
