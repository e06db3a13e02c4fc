// The MP3 opener over any bytes: tag skipping and the frame scan, then the
// frames decoded through the compression manager, read, sought and decoded
// whole.
#include "fuzz/fuzz_target.h"
#include "fuzz/sound_decoding.h"

TESSEL_FUZZ_TARGET(sound_mp3) {
    static int (*const openers[])(tessel::PcmDecoder*) = {tessel::OpenMp3AcmDecoder};
    return tessel_fuzz::RunSoundDecoder(data, size, openers, 1);
}
