// Test hooks of the media graph (not part of it).
#pragma once

#include "platform/dshow.h"
#include "platform/dsound.h"

namespace platform {

// Framework objects (filters, pins' filters, allocators, enumerators and
// graphs) alive now, process-wide.
long LiveMediaObjects();

// Forgets a registered filter or file source.
void UnregisterMediaFilter(const CLSID& classId);
void UnregisterFileSource(const CLSID& classId);

// The sound object an audio renderer plays through (no reference added),
// made when the renderer first pauses connected; null before, for other
// filters, and when no sound device opened.
IDirectSound8* AudioRendererSound(IBaseFilter* filter);
// Bytes an audio renderer has written to its buffer that are not played yet.
DWORD AudioRendererQueuedBytes(IBaseFilter* filter);

}  // namespace platform
