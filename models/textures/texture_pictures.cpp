// A model texture's pictures decoded under the texture limits: a few bytes
// of header claiming a picture of tens of millions of pixels must not make
// the merge clear, convert and scale pictures of that size, so each decoded
// picture is held to the texture budget and longest side before its pixels
// are allocated.
#include "images/image_loader.h"
#include "models/textures/model_textures.h"
#include "models/util/mesh_utilities.h"

namespace tessel {

int BuildModelTextureImages(BASEIMAGE* colourOut, BASEIMAGE* alphaOut, const void* colourFile,
                            int colourSize, const void* alphaFile, int alphaSize, int toNormalMap,
                            float bumpScale, int rotate) {
    const ImageLimitScope limit(kModelTextureBudget, kModelTextureLongestSide);
    return MergeColorAndAlphaImages(colourOut, alphaOut, colourFile, colourSize, alphaFile,
                                    alphaSize, toNormalMap, bumpScale, rotate);
}

}  // namespace tessel
