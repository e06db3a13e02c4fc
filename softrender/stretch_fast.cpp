// Fast paths of the stretch blit: none yet; every draw runs the general
// kernels.
#include "softrender/stretch_internal.h"

namespace tessel::soft {

bool StretchFastPath(const StretchSetup&) {
    return false;
}

}  // namespace tessel::soft
