// The .x reader on a binary file: byte 0 of the input chooses 4-byte (even)
// or 8-byte (odd) floats, the rest is the token stream, parsed and converted
// into a read model whose arrays are read whole.
#include "fuzz/fuzz_target.h"
#include "fuzz/x_model_load.h"

TESSEL_FUZZ_TARGET(model_x_binary) {
    if (size == 0) {
        return 0;
    }
    const char* header = (data[0] & 1) != 0 ? "xof 0303bin 0064" : "xof 0303bin 0032";
    return tessel_fuzz::LoadXBody(header, data + 1, size - 1);
}
