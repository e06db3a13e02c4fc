// The BGRA loader alone over any bytes; what it takes is read to the last byte.
#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_target.h"

TESSEL_FUZZ_TARGET(image_bgra) {
    return tessel_fuzz::RunImageLoader(tessel::ReadBgraImage, data, size);
}
