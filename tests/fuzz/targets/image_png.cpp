// The PNG loader alone over any bytes; what it takes is read to the last byte.
#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_target.h"

TESSEL_FUZZ_TARGET(image_png) {
    return tessel_fuzz::RunImageLoader(tessel::ReadPngImage, data, size);
}
