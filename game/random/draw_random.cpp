// A 32-bit xorshift; its top fifteen bits are the value.
#include "game/random/draw_random.h"

int32_t NextDrawRandom(DrawRandom* generator) {
    uint32_t s = generator->state;
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    generator->state = s;
    return static_cast<int32_t>(s >> 17);
}
