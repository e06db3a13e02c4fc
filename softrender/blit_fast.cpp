// The blit's fast paths (none yet beyond the row copy).
#include "softrender/blit_fast.h"

#include <cstring>

namespace tessel::soft {

int g_blitUseFastPaths = 1;

bool FastPath32(const BlitSetup& s) {
    if (g_blitUseFastPaths == 0) {
        return false;
    }
    const BlitCall& c = s.call;
    if (s.mode == kBlendCopy && !s.trans) {
        const uint8_t* src = c.src;
        uint8_t* dst = c.dst;
        const size_t row = size_t(c.width) * 4;
        for (int y = 0; y < c.height; ++y) {
            std::memmove(dst, src, row);
            src += row + c.srcSkip;
            dst += row + c.dstSkip;
        }
        return true;
    }
    return false;
}

}  // namespace tessel::soft
