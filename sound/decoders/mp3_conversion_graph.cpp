// The decoder chain's last resort: the whole sound file is converted to PCM
// in memory by a media graph. The file image is served by a memory reader,
// the graph builder inserts whatever parses and decodes it, a sample grabber
// collects the decoded PCM, and a null renderer ends the chain so that the
// graph runs without a clock, as fast as it can, while this thread keeps
// the window's messages flowing.
//
// Routes: DecodeMp3ToPcm -> BuildGraph (reader, renderer, graph, grabber,
// Render) -> SwapInNullRenderer -> TakeFormat -> RunToCompletion ->
// Release; AppendSampleToBuffer on the streaming thread.
#include "sound/decoders/mp3_conversion_graph.h"

#include <cstring>

#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "foundation/runtime/message_pump.h"
#include "movie/filters/mem_reader.h"
#include "movie/filters/sample_grabber.h"
#include "platform/mmreg.h"
#include "sound/decoders/pcm_decoder.h"

namespace tessel {

namespace {

constexpr uint32_t kGrowthStep = 0x100000;
constexpr LONG kWaitStepMs = 100;

// Everything one conversion holds; all of it goes before DecodeMp3ToPcm
// returns, except the PCM block on success.
struct Conversion {
    PcmDecoder* decoder = nullptr;
    uint8_t* image = nullptr;
    uint32_t size = 0;
    T_CMemStream* stream = nullptr;
    IBaseFilter* reader = nullptr;
    IBaseFilter* nullRenderer = nullptr;
    IGraphBuilder* graph = nullptr;
    IBaseFilter* grabber = nullptr;
    SampleGrabberControl* grabberControl = nullptr;
    IMediaFilter* mediaFilter = nullptr;
    IMediaControl* mediaControl = nullptr;
    IMediaEvent* mediaEvent = nullptr;
};

template <class T>
void ReleaseAndClear(T** object) {
    if (*object != nullptr) {
        (*object)->Release();
        *object = nullptr;
    }
}

// The graph goes before the filters we hold, so that its own references on
// them drop first; the stream may go before the reader, which does not read
// from it once the graph has let go of it.
void Release(Conversion* c) {
    ReleaseAndClear(&c->mediaEvent);
    ReleaseAndClear(&c->mediaFilter);
    ReleaseAndClear(&c->mediaControl);
    ReleaseAndClear(&c->graph);
    ReleaseAndClear(&c->nullRenderer);
    ReleaseAndClear(&c->grabberControl);
    ReleaseAndClear(&c->grabber);
    if (c->stream != nullptr) {
        DestroyMemStream(c->stream);
        c->stream = nullptr;
    }
    ReleaseAndClear(&c->reader);
    if (c->image != nullptr) {
        FreeTracked(c->image);
        c->image = nullptr;
    }
}

int Fail(Conversion* c, const char* message) {
    if (message != nullptr) {
        WriteLogText(message);
    }
    Release(c);
    PcmDecoder* decoder = c->decoder;
    if (decoder->pcmBlock != nullptr) {
        FreeTracked(decoder->pcmBlock);
        decoder->pcmBlock = nullptr;
    }
    decoder->pcmCapacity = 0;
    decoder->pcmSize = 0;
    return -1;
}

// The whole stream in one tracked block; false (without a log line) when it
// cannot be had.
bool ReadWholeStream(Conversion* c) {
    InputStream& in = c->decoder->stream;
    in.ops.seek(in.handle, 0, 2);
    int64_t size = in.ops.tell(in.handle);
    in.ops.seek(in.handle, 0, 0);
    if (size <= 0 || size > UINT32_MAX) {
        return false;
    }
    c->size = static_cast<uint32_t>(size);
    c->image = static_cast<uint8_t*>(AllocTracked(c->size, __FILE__, __LINE__));
    if (c->image == nullptr) {
        return false;
    }
    // A short read leaves the rest of the image zeroed rather than unknown.
    std::memset(c->image, 0, c->size);
    in.ops.read(c->image, c->size, 1, in.handle);
    return true;
}

template <class T>
T* Query(IUnknown* object, REFIID iid) {
    void* found = nullptr;
    return SUCCEEDED(object->QueryInterface(iid, &found)) ? static_cast<T*>(found) : nullptr;
}

// Steps up to Render; the message of the step that failed, or null.
const char* BuildGraph(Conversion* c) {
    c->stream = CreateMemStream(c->image, c->size, 0xFFFFFFFFu);
    if (c->stream == nullptr) {
        return "MP3変換用 T_CMemStream の作成に失敗しました";
    }
    CMediaType streamType;
    streamType.SetType(&MEDIATYPE_Stream);
    streamType.SetSubtype(&MEDIASUBTYPE_MPEG1Audio);
    c->reader = CreateMemReader(c->stream, &streamType, nullptr);
    if (c->reader == nullptr) {
        return "MP3変換用 T_CMemReader の作成に失敗しました";
    }
    c->reader->AddRef();
    void* object = nullptr;
    if (FAILED(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                &object))) {
        return "MP3変換用 NullRender の作成に失敗しました";
    }
    c->nullRenderer = static_cast<IBaseFilter*>(object);
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr,
                                CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_IGraphBuilder,
                                &object))) {
        return "MP3変換用 IGraphBuilder の作成に失敗しました";
    }
    c->graph = static_cast<IGraphBuilder*>(object);
    c->grabber = CreateSampleGrabber(nullptr, nullptr);
    if (c->grabber == nullptr) {
        return "MP3変換用 T_CSampleGrabber の作成に失敗しました";
    }
    c->grabber->AddRef();
    c->grabberControl = Query<SampleGrabberControl>(c->grabber, IID_SampleGrabberControl);
    if (c->grabberControl == nullptr) {
        return "MP3変換用 T_CSampleGrabber の作成に失敗しました";
    }
    CMediaType pcmType;
    pcmType.SetType(&MEDIATYPE_Audio);
    pcmType.SetSubtype(&MEDIASUBTYPE_PCM);
    if (FAILED(c->grabberControl->SetAcceptedMediaType(&pcmType))) {
        return "サンプルグラバフィルタのメディアタイプの設定に失敗しました";
    }
    if (FAILED(c->graph->AddFilter(c->grabber, u"SampleGrabber"))) {
        return "サンプルグラバフィルタのグラフへの追加に失敗しました";
    }
    if (FAILED(c->graph->AddFilter(c->reader, u"MemFile"))) {
        return "メモリファイルフィルタのグラフへの追加に失敗しました";
    }
    IPin* output = FindPinByDirection(c->reader, PINDIR_OUTPUT);
    HRESULT rendered = output != nullptr ? c->graph->Render(output) : E_FAIL;
    ReleaseAndClear(&output);
    // A partial render may have left the PCM without the grabber.
    if (rendered != S_OK) {
        return "グラフの構築に失敗しました";
    }
    return nullptr;
}

struct PinCensus {
    IPin* input = nullptr;  // the first input pin, with a reference
    bool hasOutput = false;
};

PinCensus CountPins(IBaseFilter* filter) {
    PinCensus census;
    IEnumPins* pins = nullptr;
    if (FAILED(filter->EnumPins(&pins))) {
        return census;
    }
    IPin* pin = nullptr;
    ULONG fetched = 0;
    while (pins->Next(1, &pin, &fetched) == S_OK && fetched == 1) {
        PIN_DIRECTION direction = PINDIR_INPUT;
        pin->QueryDirection(&direction);
        if (direction == PINDIR_OUTPUT) {
            census.hasOutput = true;
        } else if (census.input == nullptr) {
            census.input = pin;
            continue;  // kept
        }
        pin->Release();
    }
    pins->Release();
    return census;
}

// The connected input pin of the renderer that Render put at the end of
// the chain (a filter with an input pin and no output pin), with a
// reference; null when there is none.
IPin* FindRendererInput(IGraphBuilder* graph) {
    IEnumFilters* filters = nullptr;
    if (FAILED(graph->EnumFilters(&filters))) {
        return nullptr;
    }
    IPin* found = nullptr;
    IBaseFilter* filter = nullptr;
    ULONG fetched = 0;
    while (found == nullptr && filters->Next(1, &filter, &fetched) == S_OK && fetched == 1) {
        PinCensus census = CountPins(filter);
        IPin* peer = nullptr;
        if (census.input != nullptr && !census.hasOutput &&
            SUCCEEDED(census.input->ConnectedTo(&peer))) {
            peer->Release();
            found = census.input;
        } else {
            ReleaseAndClear(&census.input);
        }
        filter->Release();
    }
    filters->Release();
    return found;
}

// The renderer that Render chose would play the sound: its input is given
// to the null renderer instead.
bool SwapInNullRenderer(Conversion* c) {
    IPin* rendererInput = FindRendererInput(c->graph);
    if (rendererInput == nullptr) {
        return false;
    }
    IPin* upstream = nullptr;
    rendererInput->ConnectedTo(&upstream);
    c->graph->Disconnect(upstream);
    c->graph->Disconnect(rendererInput);
    rendererInput->Release();
    IPin* nullInput = FindPinByDirection(c->nullRenderer, PINDIR_INPUT);
    HRESULT connected = nullInput != nullptr ? c->graph->Connect(upstream, nullInput) : E_FAIL;
    ReleaseAndClear(&nullInput);
    upstream->Release();
    return connected == S_OK;
}

// The decoder's format from the type the grabber connected with; the
// message of the check that failed, or null.
const char* TakeFormat(Conversion* c) {
    AM_MEDIA_TYPE connected{};
    if (FAILED(c->grabberControl->GetConnectedMediaType(&connected))) {
        return "音声が含まれていないか、オーディオフォーマットの取得に失敗しました。";
    }
    const char* refused = nullptr;
    WAVEFORMATEX source{};
    if (connected.formattype != FORMAT_WaveFormatEx || connected.pbFormat == nullptr ||
        connected.cbFormat < 16) {
        refused = "サポート外のストリームフォーマットです。";
    } else {
        std::memcpy(&source, connected.pbFormat, 16);
        // No channels or no block would leave nothing to divide by or read.
        if (source.wFormatTag != WAVE_FORMAT_PCM || source.nChannels == 0 ||
            source.nBlockAlign == 0 || source.nSamplesPerSec == 0) {
            refused = "サポート外のオーディオフォーマットです。";
        }
    }
    FreeMediaType(connected);
    if (refused != nullptr) {
        return refused;
    }
    WAVEFORMATEX& format = c->decoder->format;
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = source.nChannels;
    format.nSamplesPerSec = source.nSamplesPerSec;
    format.nBlockAlign = source.nBlockAlign;
    format.nAvgBytesPerSec = static_cast<DWORD>(source.nBlockAlign) * source.nSamplesPerSec;
    format.wBitsPerSample = static_cast<WORD>(source.nBlockAlign * 8 / source.nChannels);
    format.cbSize = 0;
    return nullptr;
}

// Runs the graph to its end while pumping messages; the message of the
// failure, or null.
const char* RunToCompletion(Conversion* c) {
    if (FAILED(c->mediaControl->Run())) {
        // A graph that does not run never completes.
        return "MP3変換の途中でエラーが発生しました";
    }
    for (;;) {
        if (PumpMessagesInner() != 0) {
            return "MP3変換の途中でソフトが終了しました";
        }
        LONG code = 0;
        if (c->mediaEvent->WaitForCompletion(kWaitStepMs, &code) != S_OK) {
            continue;
        }
        if (code == EC_ERRORABORT) {
            return "MP3変換の途中でエラーが発生しました";
        }
        if (code == EC_COMPLETE) {
            return c->decoder->pcmBlock == nullptr
                       ? "PCMデータを格納するメモリ領域の再確保に失敗しました"
                       : nullptr;
        }
    }
}

}  // namespace

IPin* FindPinByDirection(IBaseFilter* filter, PIN_DIRECTION direction) {
    IEnumPins* pins = nullptr;
    if (filter == nullptr || FAILED(filter->EnumPins(&pins))) {
        return nullptr;
    }
    IPin* found = nullptr;
    IPin* pin = nullptr;
    ULONG fetched = 0;
    while (found == nullptr && pins->Next(1, &pin, &fetched) == S_OK && fetched == 1) {
        PIN_DIRECTION pinDirection = PINDIR_INPUT;
        if (SUCCEEDED(pin->QueryDirection(&pinDirection)) && pinDirection == direction) {
            found = pin;
        } else {
            pin->Release();
        }
    }
    pins->Release();
    return found;
}

HRESULT AppendSampleToBuffer(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                             BOOL typeChanged, DWORD_PTR context) {
    (void)start;
    (void)stop;
    (void)typeChanged;
    auto* decoder = reinterpret_cast<PcmDecoder*>(context);
    if (decoder->pcmBlock == nullptr) {
        return S_OK;
    }
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    LONG length = sample->GetActualDataLength();
    if (data == nullptr || length <= 0) {
        return S_OK;
    }
    uint64_t needed = uint64_t{decoder->pcmSize} + static_cast<uint64_t>(length);
    if (needed > decoder->pcmCapacity) {
        uint64_t capacity = decoder->pcmCapacity;
        while (capacity < needed) {
            capacity += kGrowthStep;
        }
        // Past 4 GiB the block cannot be counted: that is a failed growth too.
        auto* grown = capacity > UINT32_MAX
                          ? nullptr
                          : static_cast<uint8_t*>(
                                AllocTracked(static_cast<uint32_t>(capacity), __FILE__, __LINE__));
        if (grown == nullptr) {
            FreeTracked(decoder->pcmBlock);
            decoder->pcmBlock = nullptr;
            return S_OK;
        }
        std::memcpy(grown, decoder->pcmBlock, decoder->pcmSize);
        FreeTracked(decoder->pcmBlock);
        decoder->pcmBlock = grown;
        decoder->pcmCapacity = static_cast<uint32_t>(capacity);
    }
    std::memcpy(decoder->pcmBlock + decoder->pcmSize, data, static_cast<size_t>(length));
    decoder->pcmSize += static_cast<uint32_t>(length);
    return S_OK;
}

int DecodeMp3ToPcm(PcmDecoder* decoder) {
    decoder->pcmBlock = nullptr;
    decoder->pcmCapacity = 0;
    decoder->pcmSize = 0;
    decoder->pcmReadPosition = 0;
    Conversion c;
    c.decoder = decoder;
    if (!ReadWholeStream(&c)) {
        return Fail(&c, nullptr);
    }
    if (const char* failure = BuildGraph(&c)) {
        return Fail(&c, failure);
    }
    if (FAILED(c.graph->AddFilter(c.nullRenderer, u"File Renderer"))) {
        return Fail(&c, "ヌルレンダラーフィルタのグラフへの追加に失敗しました");
    }
    if (!SwapInNullRenderer(&c)) {
        return Fail(&c, "既存レンダラーをNullレンダラーと交換する処理が失敗しました");
    }
    if (const char* failure = TakeFormat(&c)) {
        return Fail(&c, failure);
    }
    if (FAILED(c.grabberControl->SetCallback(AppendSampleToBuffer,
                                             reinterpret_cast<DWORD_PTR>(decoder)))) {
        return Fail(&c, "コールバック関数を設定できません");
    }
    uint64_t capacity = uint64_t{c.size} * 10;
    decoder->pcmBlock = capacity > UINT32_MAX
                            ? nullptr
                            : static_cast<uint8_t*>(AllocTracked(static_cast<uint32_t>(capacity),
                                                                 __FILE__, __LINE__));
    if (decoder->pcmBlock == nullptr) {
        return Fail(&c, "PCMデータを格納するメモリ領域の確保に失敗しました");
    }
    decoder->pcmCapacity = static_cast<uint32_t>(capacity);
    decoder->pcmSize = 0;
    c.mediaFilter = Query<IMediaFilter>(c.graph, IID_IMediaFilter);
    if (c.mediaFilter == nullptr) {
        return Fail(&c, "IMediaFilter の取得に失敗しました");
    }
    c.mediaFilter->SetSyncSource(nullptr);
    c.mediaControl = Query<IMediaControl>(c.graph, IID_IMediaControl);
    if (c.mediaControl == nullptr) {
        return Fail(&c, "IMediaControl の取得に失敗しました");
    }
    c.mediaEvent = Query<IMediaEvent>(c.graph, IID_IMediaEvent);
    if (c.mediaEvent == nullptr) {
        return Fail(&c, "IMediaEvent の取得に失敗しました");
    }
    if (const char* failure = RunToCompletion(&c)) {
        return Fail(&c, failure);
    }
    decoder->method = kDecodePcmMemory;
    decoder->outputSize = decoder->format.nAvgBytesPerSec;
    Release(&c);
    return 0;
}

}  // namespace tessel
