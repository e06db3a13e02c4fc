// Method 2 of the decoder chain: Ogg Vorbis decoded by libvorbisfile reading
// through the decoder's InputStream.
#pragma once

#include "sound/decoders/pcm_decoder.h"

namespace tessel {

// The width of the samples Ogg Vorbis decodes to, in bytes (1 or 2); the sound
// system sets 2 at start-up.
void SetOggSampleWidth(int width);
int GetOggSampleWidth();
// 1 while a movie loads its sound (the older vorbisfile release), else 0.
void SetVorbisfileBuildFlag(int flag);
int GetVorbisfileBuildFlag();

// 0 or -1; a refusal leaves nothing allocated.
int OggDecoderOpen(PcmDecoder* decoder);
// Refills the output block: 0, or -1 at the end of the data.
int OggDecoderRead(PcmDecoder* decoder);
int OggDecoderSeek(PcmDecoder* decoder, int64_t sample);
int64_t OggDecoderLength(PcmDecoder* decoder);
int OggDecoderClose(PcmDecoder* decoder);

}  // namespace tessel
