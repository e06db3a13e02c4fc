// Small filters around the library's own media filters in their tests: a
// push source of numbered PCM chunks that opens its run with a segment, and
// a sink that records what reaches it; plus a graph helper that runs the
// filters without a clock until the sink reports the end.
#pragma once

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "platform/dshow.h"
#include "platform/mmreg.h"

namespace filtertest {

const CLSID kChunkSourceClass = {
    0x7D2A1E90, 0x3B4C, 0x4F11, {0x9A, 0x01, 0x11, 0x22, 0x33, 0x44, 0x55, 0x01}};
const CLSID kRecordingSinkClass = {
    0x7D2A1E90, 0x3B4C, 0x4F11, {0x9A, 0x01, 0x11, 0x22, 0x33, 0x44, 0x55, 0x02}};

// 16-bit stereo PCM at 8000 Hz with its WAVEFORMATEX.
inline CMediaType PcmType() {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = 8000;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = 32000;
    format.wBitsPerSample = 16;
    CMediaType type;
    type.SetType(&MEDIATYPE_Audio);
    type.SetSubtype(&MEDIASUBTYPE_PCM);
    type.SetFormatType(&FORMAT_WaveFormatEx);
    type.SetFormat(reinterpret_cast<const BYTE*>(&format), sizeof(format));
    return type;
}

class ChunkSource;

// Chunk i holds `chunkBytes` bytes of value i + 1 and runs from i * 1000 to
// (i + 1) * 1000; the run opens with a segment starting at `segmentStart`.
class ChunkStream final : public CSourceStream {
  public:
    ChunkStream(HRESULT* result, CSource* filter, int chunks, LONG chunkBytes,
                REFERENCE_TIME segmentStart)
        : CSourceStream("chunk stream", result, filter, u"Out"),
          chunks_(chunks),
          chunkBytes_(chunkBytes),
          segmentStart_(segmentStart) {}

    HRESULT GetMediaType(int position, CMediaType* type) override {
        if (position < 0) {
            return E_INVALIDARG;
        }
        if (position > 0) {
            return VFW_S_NO_MORE_ITEMS;
        }
        *type = PcmType();
        return S_OK;
    }
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
        ALLOCATOR_PROPERTIES wanted = *request;
        wanted.cBuffers = std::max<LONG>(wanted.cBuffers, 1);
        wanted.cbBuffer = std::max(wanted.cbBuffer, chunkBytes_);
        wanted.cbAlign = std::max<LONG>(wanted.cbAlign, 1);
        ALLOCATOR_PROPERTIES actual{};
        return allocator->SetProperties(&wanted, &actual);
    }
    HRESULT OnThreadStartPlay() override {
        next_ = 0;
        return DeliverNewSegment(segmentStart_, segmentStart_ + chunks_ * 1000, 1.0);
    }
    HRESULT FillBuffer(IMediaSample* sample) override {
        if (next_ == chunks_) {
            return S_FALSE;
        }
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        std::fill(data, data + chunkBytes_, static_cast<BYTE>(next_ + 1));
        sample->SetActualDataLength(chunkBytes_);
        REFERENCE_TIME start = next_ * 1000;
        REFERENCE_TIME stop = start + 1000;
        sample->SetTime(&start, &stop);
        ++next_;
        return S_OK;
    }

  private:
    int chunks_;
    LONG chunkBytes_;
    REFERENCE_TIME segmentStart_;
    int next_ = 0;  // on the streaming thread
};

class ChunkSource final : public CSource {
  public:
    ChunkSource(int chunks, LONG chunkBytes, REFERENCE_TIME segmentStart)
        : CSource("chunk source", nullptr, kChunkSourceClass, &result_) {
        new ChunkStream(&result_, this, chunks, chunkBytes, segmentStart);
    }

  private:
    HRESULT result_ = S_OK;
};

// What reached the sink: each sample's first byte and its buffer address.
class RecordingSink final : public CBaseRenderer {
  public:
    RecordingSink() : CBaseRenderer(kRecordingSinkClass, "recording sink", nullptr, &result_) {}

    HRESULT CheckMediaType(const CMediaType* type) override {
        return type->majortype == MEDIATYPE_Audio ? S_OK : S_FALSE;
    }
    HRESULT DoRenderSample(IMediaSample* sample) override {
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        std::lock_guard<std::mutex> lock(mutex_);
        firstBytes_.push_back(sample->GetActualDataLength() > 0 ? data[0] : 0);
        return S_OK;
    }
    std::vector<BYTE> FirstBytes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return firstBytes_;
    }

  private:
    HRESULT result_ = S_OK;
    std::mutex mutex_;
    std::vector<BYTE> firstBytes_;
};

inline IPin* PinOf(IBaseFilter* filter, PIN_DIRECTION direction) {
    IEnumPins* pins = nullptr;
    filter->EnumPins(&pins);
    IPin* pin = nullptr;
    ULONG fetched = 0;
    IPin* found = nullptr;
    while (found == nullptr && pins->Next(1, &pin, &fetched) == S_OK) {
        PIN_DIRECTION d;
        pin->QueryDirection(&d);
        if (d == direction) {
            found = pin;
        } else {
            pin->Release();
        }
    }
    pins->Release();
    return found;
}

// A graph of filters joined in a chain, run without a clock.
class ChainGraph {
  public:
    ChainGraph() {
        void* object = nullptr;
        EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IGraphBuilder, &object),
                  S_OK);
        graph_ = static_cast<IGraphBuilder*>(object);
    }
    ~ChainGraph() { graph_->Release(); }
    ChainGraph(const ChainGraph&) = delete;
    ChainGraph& operator=(const ChainGraph&) = delete;

    IGraphBuilder* get() const { return graph_; }

    void Add(IBaseFilter* filter, const WCHAR* name) {
        ASSERT_EQ(graph_->AddFilter(filter, name), S_OK);
    }
    HRESULT Join(IBaseFilter* from, IBaseFilter* to) {
        IPin* out = PinOf(from, PINDIR_OUTPUT);
        IPin* in = PinOf(to, PINDIR_INPUT);
        HRESULT result = graph_->ConnectDirect(out, in, nullptr);
        out->Release();
        in->Release();
        return result;
    }
    // Runs until the graph completes (generously long); the event code.
    LONG RunToEnd() {
        void* object = nullptr;
        graph_->QueryInterface(IID_IMediaFilter, &object);
        auto* filter = static_cast<IMediaFilter*>(object);
        filter->SetSyncSource(nullptr);
        filter->Release();
        graph_->QueryInterface(IID_IMediaControl, &object);
        auto* control = static_cast<IMediaControl*>(object);
        graph_->QueryInterface(IID_IMediaEvent, &object);
        auto* events = static_cast<IMediaEvent*>(object);
        LONG code = 0;
        EXPECT_EQ(control->Run(), S_OK);
        EXPECT_EQ(events->WaitForCompletion(60000, &code), S_OK);
        control->Stop();
        events->Release();
        control->Release();
        return code;
    }

  private:
    IGraphBuilder* graph_ = nullptr;
};

}  // namespace filtertest
