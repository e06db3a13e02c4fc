// The graph's file source: a filter with one output pin that serves a file
// named by RenderFile to the parsers downstream through IAsyncReader. The
// pin's subtype says MPEG audio when the file starts like it, and is left
// open otherwise, so that the general splitter looks at the rest.
//
// Routes: the filter (Load, GetCurFile), the pin's type, and its reader
// (RequestAllocator, Request and WaitForNext, the synchronous reads, Length
// and the flushes).
#include <fcntl.h>
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>

#include "platform/dshow/filters/media_filters_internal.h"
#include "platform/kernel.h"

namespace platform::dshow {

namespace {

constexpr REFERENCE_TIME kUnitsPerByte = 10000000;

HRESULT FromWin32(DWORD error) {
    return static_cast<HRESULT>(0x80070000u | (error & 0xFFFFu));
}

class FileSource;

class FileSourcePin final : public CBasePin, public IAsyncReader {
  public:
    FileSourcePin(FileSource* filter, CCritSec* lock, HRESULT* result);

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override {
        if (IsEqualGUID(iid, IID_IAsyncReader)) {
            return GetInterface(static_cast<IAsyncReader*>(this), object);
        }
        return CBasePin::NonDelegatingQueryInterface(iid, object);
    }

    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;

    // IAsyncReader (its flush calls also answer the pin's)
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
    // Reads the range the sample's times name into it; S_FALSE when the
    // file ends inside the range.
    HRESULT ReadInto(IMediaSample* sample);

    FileSource* source_;
    std::mutex queueMutex_;
    std::condition_variable queueChanged_;
    struct Done {
        IMediaSample* sample;
        DWORD_PTR user;
        HRESULT result;
    };
    std::deque<Done> done_;  // under queueMutex_
    bool flushing_ = false;  // under queueMutex_
};

class FileSource final : public CBaseFilter, public IFileSourceFilter {
  public:
    FileSource() : CBaseFilter("File Source", nullptr, &lock_, CLSID_AsyncReader) {
        HRESULT result = S_OK;
        pin_ = new FileSourcePin(this, &lock_, &result);
    }
    ~FileSource() override {
        delete pin_;
        if (file_ >= 0) {
            close(file_);
        }
    }

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override {
        if (IsEqualGUID(iid, IID_IFileSourceFilter)) {
            return GetInterface(static_cast<IFileSourceFilter*>(this), object);
        }
        return CBaseFilter::NonDelegatingQueryInterface(iid, object);
    }

    int GetPinCount() override { return file_ >= 0 ? 1 : 0; }
    CBasePin* GetPin(int index) override { return index == 0 && file_ >= 0 ? pin_ : nullptr; }

    HRESULT Load(LPCWSTR fileName, const AM_MEDIA_TYPE* type) override;
    HRESULT GetCurFile(LPWSTR* fileName, AM_MEDIA_TYPE* type) override;

    int File() const { return file_; }
    LONGLONG Size() const { return size_; }
    const GUID& Subtype() const { return subtype_; }

  private:
    CCritSec lock_;
    FileSourcePin* pin_ = nullptr;
    int file_ = -1;
    LONGLONG size_ = 0;
    GUID subtype_ = GUID_NULL;
    std::u16string name_;
};

// ---- filter --------------------------------------------------------------

HRESULT FileSource::Load(LPCWSTR fileName, const AM_MEDIA_TYPE* type) {
    (void)type;
    if (fileName == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(&lock_);
    if (file_ >= 0) {
        return E_UNEXPECTED;  // one file per source
    }
    char narrow[MAX_PATH * 2] = {};
    if (WideCharToMultiByte(932, 0, fileName, -1, narrow, sizeof(narrow), nullptr, nullptr) <= 0) {
        return E_INVALIDARG;
    }
    std::string path;
    DWORD error = 0;
    if (!MapWindowsPath(narrow, &path, &error)) {
        return FromWin32(error);
    }
    int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        return FromWin32(ERROR_FILE_NOT_FOUND);
    }
    off_t size = lseek(file, 0, SEEK_END);
    if (size < 0) {
        close(file);
        return E_FAIL;
    }
    BYTE head[4096];
    ssize_t got = pread(file, head, sizeof(head), 0);
    file_ = file;
    size_ = size;
    subtype_ = got > 0 && LooksLikeMpegAudio(head, static_cast<size_t>(got))
                   ? MEDIASUBTYPE_MPEG1Audio
                   : GUID_NULL;
    name_ = fileName;
    IncrementPinVersion();
    return S_OK;
}

HRESULT FileSource::GetCurFile(LPWSTR* fileName, AM_MEDIA_TYPE* type) {
    if (fileName == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(&lock_);
    *fileName = nullptr;
    if (file_ < 0) {
        return E_FAIL;
    }
    auto* copy = static_cast<WCHAR*>(CoTaskMemAlloc((name_.size() + 1) * sizeof(WCHAR)));
    if (copy == nullptr) {
        return E_OUTOFMEMORY;
    }
    std::copy(name_.begin(), name_.end(), copy);
    copy[name_.size()] = 0;
    *fileName = copy;
    if (type != nullptr) {
        CMediaType offered;
        pin_->GetMediaType(0, &offered);
        CopyMediaType(type, &offered);
    }
    return S_OK;
}

// ---- pin -----------------------------------------------------------------

FileSourcePin::FileSourcePin(FileSource* filter, CCritSec* lock, HRESULT* result)
    : CBasePin("file source output", filter, lock, result, u"Output", PINDIR_OUTPUT),
      source_(filter) {}

HRESULT FileSourcePin::GetMediaType(int position, CMediaType* type) {
    if (position < 0) {
        return E_INVALIDARG;
    }
    if (position > 0) {
        return VFW_S_NO_MORE_ITEMS;
    }
    type->InitMediaType();
    type->SetType(&MEDIATYPE_Stream);
    type->SetSubtype(&source_->Subtype());
    type->SetFormatType(&FORMAT_None);
    type->bFixedSizeSamples = TRUE;
    type->lSampleSize = 1;
    return S_OK;
}

HRESULT FileSourcePin::CheckMediaType(const CMediaType* type) {
    if (type->majortype != MEDIATYPE_Stream) {
        return S_FALSE;
    }
    return type->subtype == GUID_NULL || type->subtype == source_->Subtype() ? S_OK : S_FALSE;
}

HRESULT FileSourcePin::RequestAllocator(IMemAllocator* preferred, ALLOCATOR_PROPERTIES* properties,
                                        IMemAllocator** actual) {
    if (properties == nullptr || actual == nullptr) {
        return E_POINTER;
    }
    *actual = nullptr;
    ALLOCATOR_PROPERTIES wanted = *properties;
    if (wanted.cbAlign == 0) {
        wanted.cbAlign = 1;
    }
    ALLOCATOR_PROPERTIES got{};
    if (preferred != nullptr && SUCCEEDED(preferred->SetProperties(&wanted, &got))) {
        preferred->AddRef();
        *actual = preferred;
        return S_OK;
    }
    HRESULT result = S_OK;
    auto* made = new CMemAllocator("file source allocator", nullptr, &result);
    made->AddRef();
    result = made->SetProperties(&wanted, &got);
    if (FAILED(result)) {
        made->Release();
        return result;
    }
    *actual = made;
    return S_OK;
}

HRESULT FileSourcePin::ReadInto(IMediaSample* sample) {
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    if (FAILED(sample->GetTime(&start, &stop)) || start < 0 || stop < start) {
        return E_INVALIDARG;
    }
    LONGLONG position = start / kUnitsPerByte;
    LONGLONG length = (stop - start) / kUnitsPerByte;
    if (length > sample->GetSize()) {
        return E_INVALIDARG;
    }
    if (position + length > source_->Size()) {
        length = std::max<LONGLONG>(0, source_->Size() - position);
        REFERENCE_TIME end = (position + length) * kUnitsPerByte;
        sample->SetTime(&start, &end);
    }
    BYTE* buffer = nullptr;
    sample->GetPointer(&buffer);
    HRESULT result = SyncRead(position, static_cast<LONG>(length), buffer);
    sample->SetActualDataLength(static_cast<LONG>(length));
    return result;
}

HRESULT FileSourcePin::Request(IMediaSample* sample, DWORD_PTR user) {
    if (sample == nullptr) {
        return E_POINTER;
    }
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        if (flushing_) {
            return VFW_E_WRONG_STATE;
        }
    }
    // Reads are served at once: a local file gives no reason to queue them.
    HRESULT result = ReadInto(sample);
    if (FAILED(result)) {
        return result;
    }
    std::lock_guard<std::mutex> lock(queueMutex_);
    done_.push_back({sample, user, result});
    queueChanged_.notify_all();
    return S_OK;
}

HRESULT FileSourcePin::WaitForNext(DWORD timeout, IMediaSample** sample, DWORD_PTR* user) {
    if (sample == nullptr || user == nullptr) {
        return E_POINTER;
    }
    *sample = nullptr;
    *user = 0;
    std::unique_lock<std::mutex> lock(queueMutex_);
    auto ready = [this] { return !done_.empty() || flushing_; };
    if (timeout == INFINITE) {
        queueChanged_.wait(lock, ready);
    } else if (!queueChanged_.wait_for(lock, std::chrono::milliseconds(timeout), ready)) {
        return VFW_E_TIMEOUT;
    }
    if (done_.empty()) {
        return VFW_E_WRONG_STATE;
    }
    Done done = done_.front();
    done_.pop_front();
    *sample = done.sample;
    *user = done.user;
    return flushing_ ? VFW_E_WRONG_STATE : done.result;
}

HRESULT FileSourcePin::SyncReadAligned(IMediaSample* sample) {
    if (sample == nullptr) {
        return E_POINTER;
    }
    return ReadInto(sample);
}

HRESULT FileSourcePin::SyncRead(LONGLONG position, LONG length, BYTE* buffer) {
    if (length < 0 || position < 0) {
        return E_INVALIDARG;
    }
    if (length > 0 && buffer == nullptr) {
        return E_POINTER;
    }
    LONG done = 0;
    while (done < length) {
        ssize_t got = pread(source_->File(), buffer + done, static_cast<size_t>(length - done),
                            static_cast<off_t>(position + done));
        if (got < 0) {
            return E_FAIL;
        }
        if (got == 0) {
            return S_FALSE;  // the file ends inside the range
        }
        done += static_cast<LONG>(got);
    }
    return S_OK;
}

HRESULT FileSourcePin::Length(LONGLONG* total, LONGLONG* available) {
    if (total == nullptr) {
        return E_POINTER;
    }
    *total = source_->Size();
    if (available != nullptr) {
        *available = source_->Size();
    }
    return S_OK;
}

HRESULT FileSourcePin::BeginFlush() {
    std::lock_guard<std::mutex> lock(queueMutex_);
    flushing_ = true;
    queueChanged_.notify_all();
    return S_OK;
}

HRESULT FileSourcePin::EndFlush() {
    std::lock_guard<std::mutex> lock(queueMutex_);
    flushing_ = false;
    return S_OK;
}

}  // namespace

IBaseFilter* CreateFileSource() {
    auto* source = new FileSource();
    source->NonDelegatingAddRef();
    return source;
}

}  // namespace platform::dshow
