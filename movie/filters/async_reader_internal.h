// The layers behind the memory reader: one read request, the queue with its
// worker thread that performs queued reads against the stream, and the
// filter with its output pin that the graph sees.
#pragma once

#include "movie/filters/mem_reader.h"

namespace tessel {

class AsyncReadQueue;

// One read, performed on the worker thread or at once.
class AsyncReadRequest {
  public:
    AsyncReadRequest(AsyncReadQueue* queue, T_CMemStream* stream, LONGLONG position, LONG length,
                     BOOL aligned, BYTE* buffer, LPVOID context, DWORD_PTR user)
        : queue_(queue),
          stream_(stream),
          position_(position),
          length_(length),
          aligned_(aligned),
          buffer_(buffer),
          context_(context),
          user_(user) {}

    // Reads into the buffer and keeps the result: S_FALSE for a read cut
    // short by the end of the stream, whose length then becomes what was read.
    HRESULT Complete();

    HRESULT Result() const { return result_; }
    LONG Length() const { return length_; }
    LONGLONG Position() const { return position_; }
    LPVOID Context() const { return context_; }
    DWORD_PTR User() const { return user_; }

  private:
    AsyncReadQueue* queue_;
    T_CMemStream* stream_;
    LONGLONG position_;
    LONG length_;
    BOOL aligned_;
    BYTE* buffer_;
    LPVOID context_;  // the media sample, or null
    DWORD_PTR user_;
    HRESULT result_ = VFW_E_TIMEOUT;  // until performed
};

class AsyncReadQueue {
  public:
    explicit AsyncReadQueue(T_CMemStream* stream);
    ~AsyncReadQueue();
    AsyncReadQueue(const AsyncReadQueue&) = delete;
    AsyncReadQueue& operator=(const AsyncReadQueue&) = delete;

    HRESULT Request(LONGLONG position, LONG length, BOOL aligned, BYTE* buffer, LPVOID context,
                    DWORD_PTR user);
    HRESULT WaitForNext(DWORD timeout, LPVOID* contextOut, DWORD_PTR* userOut, LONG* actualOut);
    HRESULT SyncReadAligned(LONGLONG position, LONG length, BYTE* buffer, LONG* actualOut,
                            LPVOID context);
    HRESULT SyncRead(LONGLONG position, LONG length, BYTE* buffer);
    HRESULT Length(LONGLONG* total, LONGLONG* available);
    HRESULT Alignment(LONG* alignment);
    HRESULT BeginFlush();
    HRESULT EndFlush();

    CCritSec* ReaderLock() { return &readerLock_; }
    T_CMemStream* Stream() const { return stream_; }

  private:
    static DWORD ThreadProc(LPVOID self);
    DWORD Work();
    bool IsAligned(LONGLONG value) const;
    HRESULT StartThread();
    void StopThread();
    void PutDone(AsyncReadRequest* request);
    // The next done request, resetting the done event when it was the last
    // one; null when there is none. Under the list lock.
    AsyncReadRequest* TakeDone();
    void PerformQueued();

    CCritSec readerLock_;
    T_CMemStream* stream_;
    CCritSec listLock_;
    BOOL flushing_ = FALSE;
    CGenericList<AsyncReadRequest> work_;
    CGenericList<AsyncReadRequest> done_;
    CAMEvent workEvent_{TRUE};
    CAMEvent doneEvent_{TRUE};
    LONG inProgress_ = 0;
    BOOL waitingForAll_ = FALSE;
    CAMEvent allDoneEvent_{FALSE};
    CAMEvent stopEvent_{TRUE};
    HANDLE thread_ = nullptr;
};

class AsyncReaderFilter;

class AsyncReaderOutputPin final : public CBasePin, public IAsyncReader {
  public:
    AsyncReaderOutputPin(HRESULT* result, AsyncReaderFilter* filter, AsyncReadQueue* queue,
                         CCritSec* lock);

    // Its IUnknown calls go to the filter, which owns it.
    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT CheckConnect(IPin* pin) override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT BreakConnect() override;
    HRESULT Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
    // The base's connection, for the filter's Connect.
    HRESULT ConnectAsPin(IPin* receivePin, const AM_MEDIA_TYPE* type) {
        return CBasePin::Connect(receivePin, type);
    }

    // IAsyncReader; its flushes also answer the pin's.
    HRESULT RequestAllocator(IMemAllocator* preferred, ALLOCATOR_PROPERTIES* properties,
                             IMemAllocator** actual) override;
    HRESULT Request(IMediaSample* sample, DWORD_PTR user) override;
    HRESULT WaitForNext(DWORD timeout, IMediaSample** sample, DWORD_PTR* user) override;
    HRESULT SyncReadAligned(IMediaSample* sample) override;
    HRESULT SyncRead(LONGLONG position, LONG length, BYTE* buffer) override;
    HRESULT Length(LONGLONG* total, LONGLONG* available) override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;

  private:
    // The byte range a sample's times name, cut at the end of the stream
    // rounded up to its alignment (the sample's stop time follows the cut).
    HRESULT RangeOf(IMediaSample* sample, LONGLONG* position, LONG* length);
    // RangeOf and the sample's buffer the range is read into; E_POINTER for
    // no sample.
    HRESULT ReadTargetOf(IMediaSample* sample, LONGLONG* position, LONG* length, BYTE** buffer);
    bool AlignmentFits(LONG alignment);

    bool queriedForAsyncReader_ = false;
    AsyncReaderFilter* filter_;
    AsyncReadQueue* queue_;
};

class AsyncReaderFilter : public CBaseFilter {
  public:
    AsyncReaderFilter(LPCTSTR name, LPUNKNOWN outer, T_CMemStream* stream, HRESULT* result,
                      const CMediaType* mediaType);
    ~AsyncReaderFilter() override;

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override { return index == 0 ? &outputPin_ : nullptr; }
    virtual HRESULT Connect(IPin* receivePin, const AM_MEDIA_TYPE* type);

    const CMediaType* MediaType() const { return &mediaType_; }
    CCritSec* FilterLock() { return &filterLock_; }

  private:
    CCritSec filterLock_;
    AsyncReadQueue queue_;
    AsyncReaderOutputPin outputPin_;
    CMediaType mediaType_;
};

class T_CMemReader final : public AsyncReaderFilter {
  public:
    T_CMemReader(T_CMemStream* stream, const CMediaType* mediaType, HRESULT* result)
        : AsyncReaderFilter("Mem Reader", nullptr, stream, result, mediaType) {}
};

// The filter's memory-reader class id.
extern const CLSID CLSID_AsyncReaderFilter;

}  // namespace tessel
