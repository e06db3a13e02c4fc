// The pulling decoders' base: connection of the input to the upstream
// reader, the output pins made per connection, the streaming thread and
// its delivery, and the start and stop positions that seeking sets.
//
// Routes: the reader cursor and the PCM type, the input pin, the output pin, the filter (pins per
// connection, Pause and Stop with the thread, delivery), seeking.
#include "platform/dshow/filters/pull_decoder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/mmreg.h"

namespace platform::dshow {

// ---- input pin -------------------------------------------------------------

LONG ReaderCursor::Read(void* buffer, size_t bytes) {
    LONGLONG left = length - position;
    LONG count = static_cast<LONG>(std::min<LONGLONG>(left, std::min<size_t>(bytes, 1 << 20)));
    if (count <= 0) {
        return 0;
    }
    if (reader->SyncRead(position, count, static_cast<BYTE*>(buffer)) != S_OK) {
        return -1;
    }
    position += count;
    return count;
}

LONGLONG ReaderCursor::Seek(LONGLONG offset, int whence) {
    LONGLONG base = whence == SEEK_CUR ? position : whence == SEEK_END ? length : 0;
    LONGLONG target = base + offset;
    if (target < 0 || target > length) {
        return -1;
    }
    position = target;
    return target;
}

CMediaType Pcm16Type(long rate, int channels) {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<WORD>(channels);
    format.nSamplesPerSec = static_cast<DWORD>(rate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = static_cast<WORD>(2 * channels);
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    CMediaType type;
    type.InitMediaType();
    type.SetType(&MEDIATYPE_Audio);
    type.SetSubtype(&MEDIASUBTYPE_PCM);
    type.SetFormatType(&FORMAT_WaveFormatEx);
    type.bFixedSizeSamples = TRUE;
    type.lSampleSize = format.nBlockAlign;
    type.SetFormat(reinterpret_cast<const BYTE*>(&format), sizeof(format));
    return type;
}

PullInputPin::PullInputPin(PullDecoderFilter* filter, CCritSec* lock, HRESULT* result)
    : CBasePin("pull input", filter, lock, result, u"Input", PINDIR_INPUT), decoder_(filter) {}

PullInputPin::~PullInputPin() {
    if (reader_ != nullptr) {
        reader_->Release();
    }
}

HRESULT PullInputPin::CheckMediaType(const CMediaType* type) {
    return decoder_->CheckInputType(type);
}

HRESULT PullInputPin::CheckConnect(IPin* pin) {
    HRESULT result = CBasePin::CheckConnect(pin);
    if (FAILED(result)) {
        return result;
    }
    void* reader = nullptr;
    result = pin->QueryInterface(IID_IAsyncReader, &reader);
    if (FAILED(result)) {
        return result;
    }
    if (reader_ != nullptr) {
        reader_->Release();
    }
    reader_ = static_cast<IAsyncReader*>(reader);
    return S_OK;
}

HRESULT PullInputPin::CompleteConnect(IPin* receivePin) {
    (void)receivePin;
    return reader_ != nullptr ? decoder_->ConnectInput(reader_) : E_UNEXPECTED;
}

HRESULT PullInputPin::BreakConnect() {
    decoder_->DisconnectInput();
    if (reader_ != nullptr) {
        reader_->Release();
        reader_ = nullptr;
    }
    return S_OK;
}

// ---- output pin ------------------------------------------------------------

DecodedOutputPin::DecodedOutputPin(PullDecoderFilter* filter, CCritSec* lock, HRESULT* result,
                                   LPCWSTR name, const CMediaType& type, LONG bufferBytes,
                                   LONG buffers)
    : CBaseOutputPin("decoded output", filter, lock, result, name),
      type_(type),
      bufferBytes_(bufferBytes),
      buffers_(buffers) {}

HRESULT DecodedOutputPin::CheckMediaType(const CMediaType* type) {
    bool same =
        type->majortype == type_.majortype && type->subtype == type_.subtype &&
        type->formattype == type_.formattype && type->cbFormat == type_.cbFormat &&
        (type_.cbFormat == 0 || (type->pbFormat != nullptr &&
                                 std::memcmp(type->pbFormat, type_.pbFormat, type_.cbFormat) == 0));
    return same ? S_OK : S_FALSE;
}

HRESULT DecodedOutputPin::GetMediaType(int position, CMediaType* type) {
    if (position < 0) {
        return E_INVALIDARG;
    }
    if (position > 0) {
        return VFW_S_NO_MORE_ITEMS;
    }
    *type = type_;
    return S_OK;
}

HRESULT DecodedOutputPin::DecideBufferSize(IMemAllocator* allocator,
                                           ALLOCATOR_PROPERTIES* request) {
    request->cBuffers = std::max(request->cBuffers, buffers_);
    request->cbBuffer = std::max(request->cbBuffer, bufferBytes_);
    request->cbAlign = std::max<LONG>(request->cbAlign, 1);
    ALLOCATOR_PROPERTIES actual{};
    HRESULT result = allocator->SetProperties(request, &actual);
    if (FAILED(result)) {
        return result;
    }
    return actual.cbBuffer >= bufferBytes_ && actual.cBuffers >= 1 ? S_OK : E_FAIL;
}

// ---- filter ----------------------------------------------------------------

PullDecoderFilter::PullDecoderFilter(LPCTSTR name, REFCLSID classId)
    : CBaseFilter(name, nullptr, &lock_, classId) {
    HRESULT result = S_OK;
    input_ = new PullInputPin(this, &lock_, &result);
}

PullDecoderFilter::~PullDecoderFilter() {
    JoinThread();
    delete input_;
    for (DecodedOutputPin* pin : outputs_) {
        delete pin;
    }
    for (DecodedOutputPin* pin : retired_) {
        delete pin;
    }
}

HRESULT PullDecoderFilter::NonDelegatingQueryInterface(REFIID iid, void** object) {
    if (IsEqualGUID(iid, IID_IMediaSeeking)) {
        return GetInterface(static_cast<IMediaSeeking*>(this), object);
    }
    return CBaseFilter::NonDelegatingQueryInterface(iid, object);
}

int PullDecoderFilter::GetPinCount() {
    CAutoLock lock(&lock_);
    return 1 + static_cast<int>(outputs_.size());
}

CBasePin* PullDecoderFilter::GetPin(int index) {
    CAutoLock lock(&lock_);
    if (index == 0) {
        return input_;
    }
    if (index < 0 || index > static_cast<int>(outputs_.size())) {
        return nullptr;
    }
    return outputs_[index - 1];
}

HRESULT PullDecoderFilter::ConnectInput(IAsyncReader* reader) {
    CAutoLock lock(&lock_);
    for (DecodedOutputPin* pin : outputs_) {
        if (pin->IsConnected()) {
            return VFW_E_ALREADY_CONNECTED;
        }
    }
    retired_.insert(retired_.end(), outputs_.begin(), outputs_.end());
    outputs_.clear();
    IncrementPinVersion();
    duration_ = 0;
    HRESULT result = OpenStream(reader);
    if (FAILED(result)) {
        DisconnectInput();
    }
    return result;
}

void PullDecoderFilter::DisconnectInput() {
    CAutoLock lock(&lock_);
    CloseStream();
    // Pins still connected downstream stay until they are disconnected.
    auto keep = std::stable_partition(outputs_.begin(), outputs_.end(),
                                      [](DecodedOutputPin* pin) { return pin->IsConnected(); });
    retired_.insert(retired_.end(), keep, outputs_.end());
    outputs_.erase(keep, outputs_.end());
    IncrementPinVersion();
}

void PullDecoderFilter::AddOutput(LPCWSTR name, const CMediaType& type, LONG bufferBytes,
                                  LONG buffers) {
    HRESULT result = S_OK;
    outputs_.push_back(
        new DecodedOutputPin(this, &lock_, &result, name, type, bufferBytes, buffers));
    IncrementPinVersion();
}

HRESULT PullDecoderFilter::Pause() {
    CAutoLock lock(&lock_);
    bool starting = m_State == State_Stopped;
    HRESULT result = CBaseFilter::Pause();
    if (FAILED(result) || !starting || !input_->IsConnected()) {
        return result;
    }
    JoinThread();
    stopRequested_ = false;
    runStart_ = startPosition_;
    runStop_ = stopPosition_;
    thread_ = std::thread([this] { ThreadProc(); });
    return S_OK;
}

HRESULT PullDecoderFilter::Stop() {
    CAutoLock lock(&lock_);
    stopRequested_ = true;
    // Decommitting the allocators wakes a thread that waits for a buffer.
    HRESULT result = CBaseFilter::Stop();
    JoinThread();
    return result;
}

void PullDecoderFilter::JoinThread() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void PullDecoderFilter::ThreadProc() {
    REFERENCE_TIME stop = runStop_ >= 0 ? runStop_ : duration_.load();
    for (DecodedOutputPin* pin : outputs_) {
        if (pin->IsConnected()) {
            pin->DeliverNewSegment(runStart_, stop, 1.0);
        }
    }
    HRESULT result = SeekStream(runStart_);
    while (result == S_OK && !StopRequested()) {
        result = DecodeSome();
    }
    if (StopRequested() || result == E_ABORT) {
        return;  // stopped, or downstream refused: nothing more to say
    }
    // The error goes first, so that waiting for completion reports it
    // rather than the end the renderers then see.
    if (FAILED(result)) {
        NotifyEvent(EC_ERRORABORT, result, 0);
    }
    EndStreams();
}

void PullDecoderFilter::EndStreams() {
    for (DecodedOutputPin* pin : outputs_) {
        if (pin->IsConnected()) {
            pin->DeliverEndOfStream();
        }
    }
}

IMediaSample* PullDecoderFilter::TakeBuffer(size_t output) {
    IMediaSample* sample = nullptr;
    if (FAILED(outputs_[output]->GetDeliveryBuffer(&sample, nullptr, nullptr, 0))) {
        return nullptr;
    }
    return sample;
}

bool PullDecoderFilter::DeliverBuffer(size_t output, IMediaSample* sample) {
    HRESULT result = outputs_[output]->Deliver(sample);
    sample->Release();
    return result == S_OK;
}

bool PullDecoderFilter::DeliverBytes(size_t output, const BYTE* data, size_t length,
                                     REFERENCE_TIME start, REFERENCE_TIME stop, bool syncPoint) {
    DecodedOutputPin* pin = outputs_[output];
    if (!pin->IsConnected()) {
        return true;
    }
    size_t done = 0;
    while (done < length) {
        IMediaSample* sample = TakeBuffer(output);
        if (sample == nullptr) {
            return false;
        }
        BYTE* buffer = nullptr;
        sample->GetPointer(&buffer);
        size_t part = std::min<size_t>(length - done, static_cast<size_t>(sample->GetSize()));
        std::memcpy(buffer, data + done, part);
        sample->SetActualDataLength(static_cast<LONG>(part));
        REFERENCE_TIME span = stop - start;
        REFERENCE_TIME from =
            start + static_cast<REFERENCE_TIME>(static_cast<double>(span) * done / length) -
            runStart_;
        REFERENCE_TIME to =
            start +
            static_cast<REFERENCE_TIME>(static_cast<double>(span) * (done + part) / length) -
            runStart_;
        sample->SetTime(&from, &to);
        sample->SetSyncPoint(syncPoint && done == 0 ? TRUE : FALSE);
        done += part;
        if (!DeliverBuffer(output, sample)) {
            return false;
        }
    }
    return true;
}

// ---- seeking ---------------------------------------------------------------

HRESULT PullDecoderFilter::GetDuration(LONGLONG* duration) {
    if (duration == nullptr) {
        return E_POINTER;
    }
    *duration = duration_;
    return input_->IsConnected() ? S_OK : E_FAIL;
}

HRESULT PullDecoderFilter::GetStopPosition(LONGLONG* stop) {
    if (stop == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(&lock_);
    *stop = stopPosition_ >= 0 ? stopPosition_ : duration_.load();
    return S_OK;
}

HRESULT PullDecoderFilter::GetCurrentPosition(LONGLONG* current) {
    if (current == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(&lock_);
    *current = startPosition_;
    return S_OK;
}

HRESULT PullDecoderFilter::SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                                        DWORD stopFlags) {
    CAutoLock lock(&lock_);
    DWORD how = currentFlags & AM_SEEKING_PositioningBitsMask;
    if (how != AM_SEEKING_NoPositioning) {
        if (current == nullptr) {
            return E_POINTER;
        }
        LONGLONG target =
            how == AM_SEEKING_AbsolutePositioning ? *current : startPosition_ + *current;
        startPosition_ = std::max<LONGLONG>(0, target);
    }
    how = stopFlags & AM_SEEKING_PositioningBitsMask;
    if (how != AM_SEEKING_NoPositioning) {
        if (stop == nullptr) {
            return E_POINTER;
        }
        LONGLONG base = stopPosition_ >= 0 ? stopPosition_ : duration_.load();
        LONGLONG target = how == AM_SEEKING_AbsolutePositioning ? *stop : base + *stop;
        stopPosition_ = std::max<LONGLONG>(0, target);
    }
    return S_OK;
}

HRESULT PullDecoderFilter::GetPositions(LONGLONG* current, LONGLONG* stop) {
    HRESULT result = current != nullptr ? GetCurrentPosition(current) : S_OK;
    if (SUCCEEDED(result) && stop != nullptr) {
        result = GetStopPosition(stop);
    }
    return result;
}

}  // namespace platform::dshow
