// A block of memory served to a media graph as a file: `T_CMemStream` holds
// the bytes with a read position and an optional read-rate limit, and
// `T_CMemReader` is the source filter whose output pin "Output" hands them
// to the graph's parsers through IAsyncReader.
#pragma once

#include "platform/dshow.h"

namespace tessel {

// Bytes it does not own, a position, and a rate limit in bytes per
// millisecond since creation (0 and 0xFFFFFFFF: no limit).
class T_CMemStream {
  public:
    T_CMemStream(const BYTE* data, LONGLONG length, DWORD rate);
    virtual ~T_CMemStream();
    T_CMemStream(const T_CMemStream&) = delete;
    T_CMemStream& operator=(const T_CMemStream&) = delete;

    // S_FALSE outside 0..length (the length itself is a valid position).
    virtual HRESULT SetPointer(LONGLONG position);
    // Up to `count` bytes from the position, cut at the end; waits while the
    // rate limit has not yet let them through.
    virtual HRESULT Read(BYTE* buffer, DWORD count, BOOL aligned, LPDWORD readOut);
    // The length; `available` (when not null) what the rate limit has let
    // through by now.
    virtual LONGLONG Size(LONGLONG* available);
    virtual DWORD Alignment();
    virtual void Lock();
    virtual void Unlock();

  private:
    bool Unlimited() const { return rate_ == 0 || rate_ == 0xFFFFFFFFu; }

    const BYTE* data_;
    LONGLONG length_;
    LONGLONG position_ = 0;
    DWORD rate_;
    DWORD startTime_;
    CCritSec lock_;
};

// A new stream over `data`, or null when memory runs out.
T_CMemStream* CreateMemStream(const BYTE* data, LONGLONG length, DWORD rate);
void DestroyMemStream(T_CMemStream* stream);

// A new reader filter over `stream` offering `mediaType`, with no reference
// (the caller takes the first); null with E_OUTOFMEMORY in `result` (when
// not null) when memory runs out. The stream must outlive the filter.
IBaseFilter* CreateMemReader(T_CMemStream* stream, const AM_MEDIA_TYPE* mediaType, HRESULT* result);

}  // namespace tessel
