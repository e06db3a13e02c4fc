// Test hooks of DirectSound (not part of DirectSound).
#pragma once

#include "platform/dsound.h"

namespace platform {

// DirectSound objects initialised from now on mix without a device and
// without a thread: a test advances the mixer itself and reads what it
// mixed, so cursors, wraps, ends and levels are exact.
void SetDirectSoundTestMode(bool on);

// Frames of one device period (the SDL buffer, and what one pass of the
// mixer reads ahead, which a playing buffer's write cursor stays clear of)
// for objects initialised from now on; 512 unless set.
void SetDirectSoundPeriodFrames(int frames);

// Mixes `frames` frames of every playing buffer of a test-mode object into
// `out`, in the device's format; returns the bytes written, or -1 when the
// object is not in test mode.
int AdvanceDirectSoundMixer(IDirectSound8* sound, int frames, void* out);

// Frames the mixer played from buffers written while they play (streams)
// that had not been written since they were last played: the writer fell
// behind. -1 when the object is not of this layer.
long long GetDirectSoundUnderrunFrames(IDirectSound8* sound);

// The format the mixer writes: the primary buffer's, 44100 Hz 16-bit stereo
// until it is set.
bool GetDirectSoundDeviceFormat(IDirectSound8* sound, WAVEFORMATEX* format);

}  // namespace platform
