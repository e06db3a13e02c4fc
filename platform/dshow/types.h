// The media graph's plain types, identifiers and result codes: media types,
// allocator properties, the video header, reference time, and the GUID and
// HRESULT values the graph's callers compare against.
#pragma once

#include "platform/com.h"
#include "platform/gdi.h"
#include "platform/types.h"

// Media time in units of 100 ns.
using REFERENCE_TIME = LONGLONG;
using HEVENT = DWORD_PTR;
using OAFilterState = LONG;

struct AM_MEDIA_TYPE {
    GUID majortype;
    GUID subtype;
    BOOL bFixedSizeSamples;
    BOOL bTemporalCompression;
    ULONG lSampleSize;
    GUID formattype;
    IUnknown* pUnk;
    ULONG cbFormat;
    BYTE* pbFormat;  // task memory
};

struct ALLOCATOR_PROPERTIES {
    LONG cBuffers;
    LONG cbBuffer;
    LONG cbAlign;
    LONG cbPrefix;
};

struct VIDEOINFOHEADER {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    BITMAPINFOHEADER bmiHeader;
};

enum PIN_DIRECTION { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };

enum FILTER_STATE { State_Stopped = 0, State_Paused = 1, State_Running = 2 };

struct IBaseFilter;
struct IFilterGraph;

#define MAX_PIN_NAME 128
#define MAX_FILTER_NAME 128

struct PIN_INFO {
    IBaseFilter* pFilter;  // holds a reference
    PIN_DIRECTION dir;
    WCHAR achName[MAX_PIN_NAME];
};

struct FILTER_INFO {
    WCHAR achName[MAX_FILTER_NAME];
    IFilterGraph* pGraph;  // holds a reference
};

// Seeking flags of IMediaSeeking::SetPositions.
#define AM_SEEKING_NoPositioning 0x0u
#define AM_SEEKING_AbsolutePositioning 0x1u
#define AM_SEEKING_RelativePositioning 0x2u
#define AM_SEEKING_IncrementalPositioning 0x3u
#define AM_SEEKING_PositioningBitsMask 0x3u

// Sample properties of IMediaSample::GetTime.
#define VFW_S_NO_STOP_TIME ((HRESULT)0x00040270)

// Event codes.
#define EC_COMPLETE 0x01
#define EC_USERABORT 0x02
#define EC_ERRORABORT 0x03

// Filter merits.
#define MERIT_PREFERRED 0x800000u
#define MERIT_NORMAL 0x600000u
#define MERIT_UNLIKELY 0x400000u
#define MERIT_DO_NOT_USE 0x200000u

// Result codes.
#define E_UNEXPECTED ((HRESULT)0x8000FFFF)
#define E_ABORT ((HRESULT)0x80004004)
#define OLE_S_FIRST ((HRESULT)0x00040000)
#define VFW_S_NO_MORE_ITEMS ((HRESULT)0x00040103)
#define VFW_S_DUPLICATE_NAME ((HRESULT)0x0004022D)
#define VFW_S_STATE_INTERMEDIATE ((HRESULT)0x00040237)
#define VFW_S_PARTIAL_RENDER ((HRESULT)0x00040242)
#define VFW_E_INVALIDMEDIATYPE ((HRESULT)0x80040200)
#define VFW_E_ENUM_OUT_OF_SYNC ((HRESULT)0x80040203)
#define VFW_E_ALREADY_CONNECTED ((HRESULT)0x80040204)
#define VFW_E_FILTER_ACTIVE ((HRESULT)0x80040205)
#define VFW_E_NO_TYPES ((HRESULT)0x80040206)
#define VFW_E_NO_ACCEPTABLE_TYPES ((HRESULT)0x80040207)
#define VFW_E_INVALID_DIRECTION ((HRESULT)0x80040208)
#define VFW_E_NOT_CONNECTED ((HRESULT)0x80040209)
#define VFW_E_NO_ALLOCATOR ((HRESULT)0x8004020A)
#define VFW_E_RUNTIME_ERROR ((HRESULT)0x8004020B)
#define VFW_E_BUFFER_NOTSET ((HRESULT)0x8004020C)
#define VFW_E_BUFFER_OVERFLOW ((HRESULT)0x8004020D)
#define VFW_E_BADALIGN ((HRESULT)0x8004020E)
#define VFW_E_ALREADY_COMMITTED ((HRESULT)0x8004020F)
#define VFW_E_BUFFERS_OUTSTANDING ((HRESULT)0x80040210)
#define VFW_E_NOT_COMMITTED ((HRESULT)0x80040211)
#define VFW_E_SIZENOTSET ((HRESULT)0x80040212)
#define VFW_E_NO_CLOCK ((HRESULT)0x80040213)
#define VFW_E_NOT_FOUND ((HRESULT)0x80040216)
#define VFW_E_CANNOT_CONNECT ((HRESULT)0x80040217)
#define VFW_E_CANNOT_RENDER ((HRESULT)0x80040218)
#define VFW_E_NOT_STOPPED ((HRESULT)0x80040224)
#define VFW_E_WRONG_STATE ((HRESULT)0x80040227)
#define VFW_E_START_TIME_AFTER_END ((HRESULT)0x80040228)
#define VFW_E_TYPE_NOT_ACCEPTED ((HRESULT)0x8004022A)
#define VFW_E_DUPLICATE_NAME ((HRESULT)0x8004022D)
#define VFW_E_TIMEOUT ((HRESULT)0x8004022E)
#define VFW_E_INVALID_MEDIA_TYPE ((HRESULT)0x80040248)
#define VFW_E_SAMPLE_TIME_NOT_SET ((HRESULT)0x80040249)
#define VFW_E_MEDIA_TIME_NOT_SET ((HRESULT)0x80040251)

extern const GUID GUID_NULL;

extern const IID IID_IPersist;
extern const IID IID_IMediaFilter;
extern const IID IID_IBaseFilter;
extern const IID IID_IPin;
extern const IID IID_IEnumPins;
extern const IID IID_IEnumFilters;
extern const IID IID_IEnumMediaTypes;
extern const IID IID_IFilterGraph;
extern const IID IID_IGraphBuilder;
extern const IID IID_IMediaControl;
extern const IID IID_IMediaEvent;
extern const IID IID_IMediaEventSink;
extern const IID IID_IMediaSeeking;
extern const IID IID_IBasicAudio;
extern const IID IID_IReferenceClock;
extern const IID IID_IMediaSample;
extern const IID IID_IMemAllocator;
extern const IID IID_IMemInputPin;
extern const IID IID_IAsyncReader;
extern const IID IID_IFileSourceFilter;

extern const CLSID CLSID_FilterGraph;
extern const CLSID CLSID_NullRenderer;
extern const CLSID CLSID_MemoryAllocator;
extern const CLSID CLSID_SystemClock;
extern const CLSID CLSID_AsyncReader;
extern const CLSID CLSID_DSoundRender;

extern const GUID MEDIATYPE_Video;
extern const GUID MEDIATYPE_Audio;
extern const GUID MEDIATYPE_Stream;
extern const GUID MEDIASUBTYPE_PCM;
extern const GUID MEDIASUBTYPE_RGB24;
extern const GUID MEDIASUBTYPE_RGB32;
extern const GUID MEDIASUBTYPE_MPEG1Audio;
extern const GUID FORMAT_None;
extern const GUID FORMAT_VideoInfo;
extern const GUID FORMAT_WaveFormatEx;
extern const GUID TIME_FORMAT_MEDIA_TIME;

inline bool operator==(const GUID& a, const GUID& b) {
    return IsEqualGUID(a, b);
}
inline bool operator!=(const GUID& a, const GUID& b) {
    return !IsEqualGUID(a, b);
}
