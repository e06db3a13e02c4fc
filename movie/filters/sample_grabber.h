// The sample grabber: an in-place filter that passes samples through
// unchanged and hands each one, with its times, to a callback; it can also
// offer the upstream filter a buffer of the caller's to deliver into.
#pragma once

#include "platform/dshow.h"

namespace tessel {

// Called on the streaming thread, under the grabber's lock, with the
// sample's times offset by the segment start. S_OK passes the sample on,
// S_FALSE holds it back, a failure stops the stream.
using SampleGrabberCallback = HRESULT (*)(IMediaSample* sample, REFERENCE_TIME* start,
                                          REFERENCE_TIME* stop, BOOL typeChanged,
                                          DWORD_PTR context);

struct SampleGrabberControl : IUnknown {
    // Null accepts every type again; fields left null accept any value.
    virtual HRESULT SetAcceptedMediaType(const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT GetConnectedMediaType(AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT SetCallback(SampleGrabberCallback callback, DWORD_PTR context) = 0;
    // One buffer of the caller's, described by `properties`, for the
    // upstream filter to deliver into; only while nothing is connected.
    virtual HRESULT SetDeliveryBuffer(ALLOCATOR_PROPERTIES properties, BYTE* buffer) = 0;

  protected:
    ~SampleGrabberControl() = default;
};

extern const IID IID_SampleGrabberControl;
extern const CLSID CLSID_SampleGrabberFilter;

// A new grabber with no reference (the caller takes the first), or null
// with E_OUTOFMEMORY in `result` (when not null).
IBaseFilter* CreateSampleGrabber(LPUNKNOWN outer, HRESULT* result);

}  // namespace tessel
