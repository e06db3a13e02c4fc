// The pieces of the MP3 conversion graph that its tests reach on their own:
// the grabber's callback that collects PCM into the decoder, and the pin
// search by direction.
#pragma once

#include "platform/dshow.h"

namespace tessel {

// Appends the sample's bytes to the decoder (`context`) PCM block, which
// grows in steps of 1 MiB; after a failed growth the block is null and
// further samples are dropped. Always S_OK.
HRESULT AppendSampleToBuffer(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                             BOOL typeChanged, DWORD_PTR context);

// The filter's first pin of that direction with a reference for the caller,
// or null.
IPin* FindPinByDirection(IBaseFilter* filter, PIN_DIRECTION direction);

}  // namespace tessel
