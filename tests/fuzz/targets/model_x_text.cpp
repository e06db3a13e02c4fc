// The .x reader on a text file whose body is the input: tokens, comments,
// double-byte names, references, skipping and every template's data, then
// the conversion into a read model, whose arrays are read whole.
#include "fuzz/fuzz_target.h"
#include "fuzz/x_model_load.h"

TESSEL_FUZZ_TARGET(model_x_text) {
    return tessel_fuzz::LoadXBody("xof 0303txt 0032", data, size);
}
