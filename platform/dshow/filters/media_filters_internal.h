// The platform's own media filters, which RenderFile and Render insert: the
// file source, the MPEG audio decoder (libmpg123), the general splitter and
// decoder (FFmpeg's libraries) and the audio renderer (the sound mixer).
#pragma once

#include "platform/dshow.h"

namespace platform::dshow {

extern const CLSID kMpegAudioDecoderClass;
extern const CLSID kMediaFileDecoderClass;

IBaseFilter* CreateFileSource();
IBaseFilter* CreateMpegAudioDecoder();
IBaseFilter* CreateMediaFileDecoder();
IBaseFilter* CreateAudioRenderer();

// True when the bytes start like MPEG audio: an ID3 tag, or a frame header
// followed by a second one where the first frame ends (when both fit).
bool LooksLikeMpegAudio(const BYTE* head, size_t length);

// Registers the filters above with their merits.
void RegisterMediaDecoders();

}  // namespace platform::dshow
