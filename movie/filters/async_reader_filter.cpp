// The memory reader filter and its output pin: the pin offers the filter's
// one media type, connects only to pins that pull through IAsyncReader, and
// turns the samples' byte times into reads on the queue.
//
// Routes: the pin's types and connection steps; its allocator; its reads
// (Request, WaitForNext, the synchronous ones, Length, the flushes); the
// filter and CreateMemReader.
#include <new>

#include "movie/filters/async_reader_internal.h"

namespace tessel {

namespace {

// Sample times of a byte stream are byte positions times this.
constexpr REFERENCE_TIME kUnitsPerByte = 10000000;

}  // namespace

const CLSID CLSID_AsyncReaderFilter = {
    0xC553F2C0, 0x1529, 0x11D0, {0xB4, 0xD1, 0x00, 0x80, 0x5F, 0x6C, 0xBB, 0xEA}};

// ---- output pin: types and connection --------------------------------------

AsyncReaderOutputPin::AsyncReaderOutputPin(HRESULT* result, AsyncReaderFilter* filter,
                                           AsyncReadQueue* queue, CCritSec* lock)
    : CBasePin("Async output pin", filter, lock, result, u"Output", PINDIR_OUTPUT),
      filter_(filter),
      queue_(queue) {}

HRESULT AsyncReaderOutputPin::NonDelegatingQueryInterface(REFIID iid, void** object) {
    if (IsEqualGUID(iid, IID_IAsyncReader)) {
        queriedForAsyncReader_ = true;
        return GetInterface(static_cast<IAsyncReader*>(this), object);
    }
    return CBasePin::NonDelegatingQueryInterface(iid, object);
}

HRESULT AsyncReaderOutputPin::GetMediaType(int position, CMediaType* type) {
    if (position < 0) {
        return E_INVALIDARG;
    }
    if (position > 0) {
        return VFW_S_NO_MORE_ITEMS;
    }
    if (type == nullptr) {
        return E_POINTER;
    }
    if (filter_ == nullptr) {
        return E_UNEXPECTED;
    }
    return type->Set(*filter_->MediaType());
}

HRESULT AsyncReaderOutputPin::CheckMediaType(const CMediaType* type) {
    CAutoLock lock(filter_->FilterLock());
    const CMediaType* offered = filter_->MediaType();
    if (type->majortype != offered->majortype) {
        return S_FALSE;
    }
    return offered->subtype == GUID_NULL || type->subtype == offered->subtype ? S_OK : S_FALSE;
}

HRESULT AsyncReaderOutputPin::CheckConnect(IPin* pin) {
    queriedForAsyncReader_ = false;
    return CBasePin::CheckConnect(pin);
}

HRESULT AsyncReaderOutputPin::CompleteConnect(IPin* receivePin) {
    // A pin that never asked for the reader would wait for pushed samples
    // that never come.
    if (!queriedForAsyncReader_) {
        return E_FAIL;
    }
    return CBasePin::CompleteConnect(receivePin);
}

HRESULT AsyncReaderOutputPin::BreakConnect() {
    queriedForAsyncReader_ = false;
    return CBasePin::BreakConnect();
}

HRESULT AsyncReaderOutputPin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) {
    return filter_->Connect(receivePin, type);
}

// ---- output pin: allocator -------------------------------------------------

bool AsyncReaderOutputPin::AlignmentFits(LONG alignment) {
    LONG streamAlignment = 1;
    queue_->Alignment(&streamAlignment);
    return alignment > 0 && (streamAlignment <= 1 || alignment % streamAlignment == 0);
}

HRESULT AsyncReaderOutputPin::RequestAllocator(IMemAllocator* preferred,
                                               ALLOCATOR_PROPERTIES* properties,
                                               IMemAllocator** actual) {
    if (properties == nullptr || actual == nullptr) {
        return E_POINTER;
    }
    *actual = nullptr;
    ALLOCATOR_PROPERTIES wanted = *properties;
    if (wanted.cbAlign == 0 || !AlignmentFits(wanted.cbAlign)) {
        LONG streamAlignment = 1;
        queue_->Alignment(&streamAlignment);
        wanted.cbAlign = streamAlignment;
    }
    ALLOCATOR_PROPERTIES got{};
    if (preferred != nullptr && SUCCEEDED(preferred->SetProperties(&wanted, &got)) &&
        AlignmentFits(got.cbAlign)) {
        preferred->AddRef();
        *actual = preferred;
        return S_OK;
    }
    HRESULT result = S_OK;
    auto* made = new (std::nothrow) CMemAllocator("Async reader allocator", nullptr, &result);
    if (made == nullptr) {
        return E_OUTOFMEMORY;
    }
    made->AddRef();
    result = made->SetProperties(&wanted, &got);
    if (SUCCEEDED(result) && AlignmentFits(got.cbAlign)) {
        *actual = made;
        return S_OK;
    }
    made->Release();
    return VFW_E_BADALIGN;
}

// ---- output pin: reads -------------------------------------------------------

HRESULT AsyncReaderOutputPin::RangeOf(IMediaSample* sample, LONGLONG* position, LONG* length) {
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    HRESULT result = sample->GetTime(&start, &stop);
    if (FAILED(result)) {
        return result;
    }
    if (start < 0 || stop < start) {
        return E_INVALIDARG;
    }
    LONGLONG wantedLength = (stop - start) / kUnitsPerByte;
    // The buffer must hold what is asked for: the read writes straight into it.
    if (wantedLength > sample->GetSize()) {
        return E_INVALIDARG;
    }
    *position = start / kUnitsPerByte;
    *length = static_cast<LONG>(wantedLength);
    LONGLONG total = 0;
    LONGLONG available = 0;
    queue_->Length(&total, &available);
    LONG alignment = 1;
    queue_->Alignment(&alignment);
    if (alignment > 1) {
        total = (total + alignment - 1) / alignment * alignment;
    }
    if (*position + *length > total) {
        *length = static_cast<LONG>(total > *position ? total - *position : 0);
        REFERENCE_TIME cutStop = (*position + *length) * kUnitsPerByte;
        sample->SetTime(&start, &cutStop);
    }
    return S_OK;
}

HRESULT AsyncReaderOutputPin::ReadTargetOf(IMediaSample* sample, LONGLONG* position, LONG* length,
                                           BYTE** buffer) {
    if (sample == nullptr) {
        return E_POINTER;
    }
    const HRESULT result = RangeOf(sample, position, length);
    if (FAILED(result)) {
        return result;
    }
    sample->GetPointer(buffer);
    return S_OK;
}

HRESULT AsyncReaderOutputPin::Request(IMediaSample* sample, DWORD_PTR user) {
    LONGLONG position = 0;
    LONG length = 0;
    BYTE* buffer = nullptr;
    const HRESULT result = ReadTargetOf(sample, &position, &length, &buffer);
    if (FAILED(result)) {
        return result;
    }
    return queue_->Request(position, length, TRUE, buffer, sample, user);
}

HRESULT AsyncReaderOutputPin::WaitForNext(DWORD timeout, IMediaSample** sample, DWORD_PTR* user) {
    if (sample == nullptr || user == nullptr) {
        return E_POINTER;
    }
    LPVOID context = nullptr;
    LONG actual = 0;
    HRESULT result = queue_->WaitForNext(timeout, &context, user, &actual);
    *sample = static_cast<IMediaSample*>(context);
    if (*sample != nullptr) {
        (*sample)->SetActualDataLength(actual);
    }
    return result;
}

HRESULT AsyncReaderOutputPin::SyncReadAligned(IMediaSample* sample) {
    LONGLONG position = 0;
    LONG length = 0;
    BYTE* buffer = nullptr;
    HRESULT result = ReadTargetOf(sample, &position, &length, &buffer);
    if (FAILED(result)) {
        return result;
    }
    LONG actual = 0;
    result = queue_->SyncReadAligned(position, length, buffer, &actual, sample);
    sample->SetActualDataLength(actual);
    return result;
}

HRESULT AsyncReaderOutputPin::SyncRead(LONGLONG position, LONG length, BYTE* buffer) {
    if (position < 0 || length < 0) {
        return E_INVALIDARG;
    }
    if (length > 0 && buffer == nullptr) {
        return E_POINTER;
    }
    return queue_->SyncRead(position, length, buffer);
}

HRESULT AsyncReaderOutputPin::Length(LONGLONG* total, LONGLONG* available) {
    return queue_->Length(total, available);
}

HRESULT AsyncReaderOutputPin::BeginFlush() {
    return queue_->BeginFlush();
}

HRESULT AsyncReaderOutputPin::EndFlush() {
    return queue_->EndFlush();
}

// ---- filter ------------------------------------------------------------------

AsyncReaderFilter::AsyncReaderFilter(LPCTSTR name, LPUNKNOWN outer, T_CMemStream* stream,
                                     HRESULT* result, const CMediaType* mediaType)
    : CBaseFilter(name, outer, &filterLock_, CLSID_AsyncReaderFilter, result),
      queue_(stream),
      outputPin_(result, this, &queue_, &filterLock_),
      mediaType_(*mediaType) {}

AsyncReaderFilter::~AsyncReaderFilter() = default;

HRESULT AsyncReaderFilter::Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) {
    return outputPin_.ConnectAsPin(receivePin, type);
}

IBaseFilter* CreateMemReader(T_CMemStream* stream, const AM_MEDIA_TYPE* mediaType,
                             HRESULT* result) {
    HRESULT made = S_OK;
    CMediaType type(*mediaType);
    auto* reader = new (std::nothrow) T_CMemReader(stream, &type, &made);
    if (reader == nullptr) {
        if (result != nullptr) {
            *result = E_OUTOFMEMORY;
        }
        return nullptr;
    }
    if (result != nullptr) {
        *result = made;
    }
    return reader;
}

}  // namespace tessel
