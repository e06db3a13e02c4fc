// The base of the platform's parsing decoders: an input pin that pulls
// bytes from the upstream reader (IAsyncReader), output pins of decoded
// types that the derived filter makes once it has looked at the stream, one
// streaming thread between Pause and Stop, and seeking by the start
// position that the next run begins at.
//
// Samples carry times relative to the start position, which each run
// announces downstream with NewSegment.
#pragma once

#include <atomic>
#include <thread>
#include <vector>

#include "platform/dshow.h"

namespace platform::dshow {

class PullDecoderFilter;

// A position of our own in the upstream reader's bytes, for libraries that
// read through callbacks.
struct ReaderCursor {
    IAsyncReader* reader = nullptr;
    LONGLONG position = 0;
    LONGLONG length = 0;

    // Up to `bytes` (at most 1 MiB a call) from the position: the count, 0
    // at the end, -1 when the reader fails.
    LONG Read(void* buffer, size_t bytes);
    // Moves to offset from SEEK_SET, SEEK_CUR or SEEK_END: the new position,
    // or -1 (unmoved) outside 0..length.
    LONGLONG Seek(LONGLONG offset, int whence);
};

// The type of 16-bit PCM at `rate` with one or two channels.
CMediaType Pcm16Type(long rate, int channels);

class PullInputPin final : public CBasePin {
  public:
    PullInputPin(PullDecoderFilter* filter, CCritSec* lock, HRESULT* result);
    ~PullInputPin() override;

    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT CheckConnect(IPin* pin) override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT BreakConnect() override;
    HRESULT BeginFlush() override { return S_OK; }
    HRESULT EndFlush() override { return S_OK; }
    IAsyncReader* Reader() const { return reader_; }

  private:
    PullDecoderFilter* decoder_;
    IAsyncReader* reader_ = nullptr;  // holds a reference while connected
};

// An output pin with one fixed type and buffers of a fixed size.
class DecodedOutputPin final : public CBaseOutputPin {
  public:
    DecodedOutputPin(PullDecoderFilter* filter, CCritSec* lock, HRESULT* result, LPCWSTR name,
                     const CMediaType& type, LONG bufferBytes, LONG buffers);

    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    LONG BufferBytes() const { return bufferBytes_; }
    const CMediaType& Type() const { return type_; }

  private:
    CMediaType type_;
    LONG bufferBytes_;
    LONG buffers_;
};

class PullDecoderFilter : public CBaseFilter, public IMediaSeeking {
  public:
    PullDecoderFilter(LPCTSTR name, REFCLSID classId);
    ~PullDecoderFilter() override;

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

    int GetPinCount() override;
    CBasePin* GetPin(int index) override;
    HRESULT Pause() override;
    HRESULT Stop() override;

    // IMediaSeeking: positions in 100 ns from the start of the media.
    HRESULT GetDuration(LONGLONG* duration) override;
    HRESULT GetStopPosition(LONGLONG* stop) override;
    HRESULT GetCurrentPosition(LONGLONG* current) override;
    HRESULT SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                         DWORD stopFlags) override;
    HRESULT GetPositions(LONGLONG* current, LONGLONG* stop) override;

    // Called by the input pin.
    virtual HRESULT CheckInputType(const CMediaType* type) = 0;
    HRESULT ConnectInput(IAsyncReader* reader);
    void DisconnectInput();

  protected:
    // Looks at the stream: S_OK after adding the output pins (AddOutput) and
    // setting the duration, a failure when the stream is not for this filter.
    virtual HRESULT OpenStream(IAsyncReader* reader) = 0;
    virtual void CloseStream() = 0;
    // On the streaming thread: get ready to decode from `start`.
    virtual HRESULT SeekStream(REFERENCE_TIME start) = 0;
    // On the streaming thread: decode and deliver some. S_OK goes on,
    // S_FALSE is the end of the data, a failure aborts the stream.
    virtual HRESULT DecodeSome() = 0;

    void AddOutput(LPCWSTR name, const CMediaType& type, LONG bufferBytes, LONG buffers);
    DecodedOutputPin* Output(size_t index) const { return outputs_[index]; }
    size_t OutputCount() const { return outputs_.size(); }
    // Delivers bytes on an output, cut into as many buffers as they fill,
    // with times spread over them in proportion; media times relative to
    // the run's start position. False when downstream refused them or the
    // filter stops (the run then ends without an error).
    bool DeliverBytes(size_t output, const BYTE* data, size_t length, REFERENCE_TIME start,
                      REFERENCE_TIME stop, bool syncPoint);
    // Hands out one buffer of the output to fill in place, or null.
    IMediaSample* TakeBuffer(size_t output);
    bool DeliverBuffer(size_t output, IMediaSample* sample);
    bool StopRequested() const { return stopRequested_.load(); }
    REFERENCE_TIME RunStart() const { return runStart_; }
    // The stop position, or -1 when none was set (play to the end).
    REFERENCE_TIME RunStop() const { return runStop_; }

    CCritSec lock_;
    std::atomic<LONGLONG> duration_{0};

  private:
    void ThreadProc();
    void JoinThread();
    void EndStreams();

    PullInputPin* input_ = nullptr;
    std::vector<DecodedOutputPin*> outputs_;
    // Pins of an earlier connection: kept until the filter goes, since a
    // caller may still hold them.
    std::vector<DecodedOutputPin*> retired_;
    std::thread thread_;
    std::atomic<bool> stopRequested_{false};
    REFERENCE_TIME startPosition_ = 0;  // under lock_
    REFERENCE_TIME stopPosition_ = -1;  // under lock_
    REFERENCE_TIME runStart_ = 0;       // the streaming thread's copies
    REFERENCE_TIME runStop_ = -1;
};

}  // namespace platform::dshow
