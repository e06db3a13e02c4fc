// Expansion of DXT1 to DXT5 block data into plain pixels.
#pragma once

#include "images/base_image.h"

namespace tessel {

// Expands a compressed image in place into 32-bit ARGB pixels (pitch width x 4,
// kind 0). A plain image is left alone (0); -1 when the new block cannot be
// allocated (the image stays as it was) or the kind is unknown. Rows hold
// ceil(width / 4) blocks and the image ceil(height / 4) block rows; the pixels
// of partial blocks past the right and bottom edges are dropped. Only the
// first mip level is decoded, and the level count cleared.
int DecodeDxtImage(BASEIMAGE* image);

}  // namespace tessel
