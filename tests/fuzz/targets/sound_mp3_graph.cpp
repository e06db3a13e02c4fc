// The decoder chain's conversion graph over any bytes: the memory reader
// serves them to the media graph's parsers, the sample grabber collects the
// PCM, and the decoder holding it is read, sought and decoded whole.
#include "fuzz/fuzz_target.h"
#include "fuzz/sound_decoding.h"

TESSEL_FUZZ_TARGET(sound_mp3_graph) {
    static int (*const openers[])(tessel::PcmDecoder*) = {tessel::DecodeMp3ToPcm};
    return tessel_fuzz::RunSoundDecoder(data, size, openers, 1);
}
