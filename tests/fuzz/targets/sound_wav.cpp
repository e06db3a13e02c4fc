// The WAV openers of the sound decoder chain (PCM, then compressed through
// the compression manager) over any bytes; what opens is read, sought and
// decoded whole.
#include "fuzz/fuzz_target.h"
#include "fuzz/sound_decoding.h"

TESSEL_FUZZ_TARGET(sound_wav) {
    static int (*const openers[])(tessel::PcmDecoder*) = {tessel::OpenWavPcmDecoder,
                                                          tessel::OpenWavAcmDecoder};
    return tessel_fuzz::RunSoundDecoder(data, size, openers, 2);
}
