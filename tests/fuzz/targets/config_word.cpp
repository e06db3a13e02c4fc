// config.dat as the settings program and the game read it: up to four bytes
// into a zeroed word, every byte then looked at, and the word written back.
#include <cstdio>

#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_target.h"
#include "game/config_word.h"

TESSEL_FUZZ_TARGET(config_word) {
    tessel_fuzz::ExactCopy copy(data, size);
    FILE* file = size > 0 ? fmemopen(copy.bytes.get(), size, "rb") : fopen("/dev/null", "rb");
    if (file == nullptr) {
        return 0;
    }
    ConfigWord word = {};
    const size_t got = ReadConfigWord(file, &word);
    fclose(file);
    for (size_t i = 0; i < kConfigWordBytes; ++i) {
        tessel_fuzz::sink = tessel_fuzz::sink + ConfigWordByte(word, i) + got;
    }
    char written[kConfigWordBytes + 1] = {};
    FILE* out = fmemopen(written, sizeof written, "wb");
    if (out != nullptr) {
        WriteConfigWord(out, word);
        fclose(out);
    }
    return 0;
}
