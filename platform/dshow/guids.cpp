// The identifiers of the media graph's interfaces, classes, media types and
// formats, with their published values.
#include "platform/dshow/types.h"

namespace {

// {56a868xx-0ad4-11ce-b03a-0020af0ba770}: the graph's core interfaces.
constexpr GUID Core(DWORD first) {
    return {first, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
}

// {e436ebxx-524f-11ce-9f53-0020af0ba770}: classes and stream types.
constexpr GUID Stream(DWORD first) {
    return {first, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
}

// {xxxxxxxx-0000-0010-8000-00aa00389b71}: types named by a FourCC or tag.
constexpr GUID Tagged(DWORD first) {
    return {first, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}

}  // namespace

const GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

const IID IID_IPersist = {0x0000010C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IPin = Core(0x56A86891);
const IID IID_IEnumPins = Core(0x56A86892);
const IID IID_IEnumFilters = Core(0x56A86893);
const IID IID_IBaseFilter = Core(0x56A86895);
const IID IID_IReferenceClock = Core(0x56A86897);
const IID IID_IMediaFilter = Core(0x56A86899);
const IID IID_IMediaSample = Core(0x56A8689A);
const IID IID_IMemAllocator = Core(0x56A8689C);
const IID IID_IMemInputPin = Core(0x56A8689D);
const IID IID_IFilterGraph = Core(0x56A8689F);
const IID IID_IMediaEventSink = Core(0x56A868A2);
const IID IID_IFileSourceFilter = Core(0x56A868A6);
const IID IID_IGraphBuilder = Core(0x56A868A9);
const IID IID_IAsyncReader = Core(0x56A868AA);
const IID IID_IMediaControl = Core(0x56A868B1);
const IID IID_IBasicAudio = Core(0x56A868B3);
const IID IID_IMediaEvent = Core(0x56A868B6);
const IID IID_IEnumMediaTypes = {
    0x89C31040, 0x846B, 0x11CE, {0x97, 0xD3, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
const IID IID_IMediaSeeking = {
    0x36B73880, 0xC2C8, 0x11CF, {0x8B, 0x46, 0x00, 0x80, 0x5F, 0x6C, 0xEF, 0x60}};

const CLSID CLSID_FilterGraph = Stream(0xE436EBB3);
const CLSID CLSID_SystemClock = Stream(0xE436EBB1);
const CLSID CLSID_AsyncReader = Stream(0xE436EBB5);
const CLSID CLSID_DSoundRender = {
    0x79376820, 0x07D0, 0x11CF, {0xA2, 0x4D, 0x00, 0x20, 0xAF, 0xD7, 0x97, 0x67}};
const CLSID CLSID_NullRenderer = {
    0xC1F400A4, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
const CLSID CLSID_MemoryAllocator = {
    0x1E651CC0, 0xB199, 0x11D0, {0x82, 0x12, 0x00, 0xC0, 0x4F, 0xC3, 0x2C, 0x45}};

const GUID MEDIATYPE_Video = Tagged(0x73646976);  // 'vids'
const GUID MEDIATYPE_Audio = Tagged(0x73647561);  // 'auds'
const GUID MEDIATYPE_Stream = Stream(0xE436EB83);
const GUID MEDIASUBTYPE_PCM = Tagged(0x00000001);  // WAVE_FORMAT_PCM
const GUID MEDIASUBTYPE_RGB24 = Stream(0xE436EB7D);
const GUID MEDIASUBTYPE_RGB32 = Stream(0xE436EB7E);
const GUID MEDIASUBTYPE_MPEG1Audio = Stream(0xE436EB87);
const GUID FORMAT_None = {
    0x0F6417D6, 0xC318, 0x11D0, {0xA4, 0x3F, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
const GUID FORMAT_VideoInfo = {
    0x05589F80, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
const GUID FORMAT_WaveFormatEx = {
    0x05589F81, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
const GUID TIME_FORMAT_MEDIA_TIME = {
    0x7B785574, 0x8C82, 0x11CF, {0xBC, 0x0C, 0x00, 0xAA, 0x00, 0xAC, 0x74, 0xF6}};
