// The Ogg Vorbis adapter over any bytes: libvorbisfile reading through the
// decoder's stream callbacks; what opens is read, sought and decoded whole.
#include "fuzz/fuzz_target.h"
#include "fuzz/sound_decoding.h"
#include "sound/decoders/ogg_decoder.h"

TESSEL_FUZZ_TARGET(sound_ogg) {
    static int (*const openers[])(tessel::PcmDecoder*) = {tessel::OggDecoderOpen};
    return tessel_fuzz::RunSoundDecoder(data, size, openers, 1);
}
