// The registration of the platform's media filters, and the test of a
// file's first bytes that marks MPEG audio for the MPEG audio decoder.
#include "platform/dshow/filters/media_filters_internal.h"

namespace platform::dshow {

const CLSID kMpegAudioDecoderClass = {
    0xEA76C4A5, 0xE9EE, 0x43CB, {0x81, 0xF2, 0x8C, 0x3A, 0x66, 0xD7, 0x81, 0xE0}};
const CLSID kMediaFileDecoderClass = {
    0x05F77CC2, 0xC9F3, 0x4E2A, {0xA1, 0x9A, 0x61, 0xFA, 0xE0, 0xC4, 0x8C, 0x17}};

namespace {

struct FrameHeader {
    int version;  // 0 MPEG-1, 1 MPEG-2, 2 MPEG-2.5
    int layer;    // 1 to 3
    int rate;
    size_t bytes;
};

// Kilobits per second by [MPEG-1 or not][layer - 1][index].
constexpr int kBitRates[2][3][15] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
constexpr int kSampleRates[3][3] = {
    {44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

// Reads a frame header; free-format frames (no bit rate) are not counted,
// their length being unknown.
bool ReadFrameHeader(const BYTE* at, FrameHeader* header) {
    if (at[0] != 0xFF || (at[1] & 0xE0) != 0xE0) {
        return false;
    }
    int versionBits = (at[1] >> 3) & 3;
    int layerBits = (at[1] >> 1) & 3;
    int rateIndex = (at[2] >> 4) & 15;
    int sampleIndex = (at[2] >> 2) & 3;
    if (versionBits == 1 || layerBits == 0 || rateIndex == 0 || rateIndex == 15 ||
        sampleIndex == 3) {
        return false;
    }
    header->version = versionBits == 3 ? 0 : versionBits == 2 ? 1 : 2;
    header->layer = 4 - layerBits;
    header->rate = kSampleRates[header->version][sampleIndex];
    int kbps = kBitRates[header->version == 0 ? 0 : 1][header->layer - 1][rateIndex];
    int padding = (at[2] >> 1) & 1;
    if (header->layer == 1) {
        header->bytes = static_cast<size_t>((12000 * kbps / header->rate + padding) * 4);
    } else {
        int factor = header->layer == 3 && header->version != 0 ? 72000 : 144000;
        header->bytes = static_cast<size_t>(factor * kbps / header->rate + padding);
    }
    return true;
}

bool AlwaysTry(const BYTE* head, size_t length) {
    (void)head;
    (void)length;
    return true;
}

}  // namespace

bool LooksLikeMpegAudio(const BYTE* head, size_t length) {
    if (length >= 3 && head[0] == 'I' && head[1] == 'D' && head[2] == '3') {
        return true;
    }
    FrameHeader first{};
    if (length < 4 || !ReadFrameHeader(head, &first)) {
        return false;
    }
    if (first.bytes + 4 > length) {
        return true;  // the second header lies beyond what we were shown
    }
    FrameHeader second{};
    return ReadFrameHeader(head + first.bytes, &second) && second.version == first.version &&
           second.layer == first.layer && second.rate == first.rate;
}

void RegisterMediaDecoders() {
    RegisterFileSource({CLSID_AsyncReader, MERIT_UNLIKELY, CreateFileSource, AlwaysTry});
    RegisterMediaFilter({kMpegAudioDecoderClass,
                         u"MPEG Audio Decoder",
                         MERIT_NORMAL,
                         CreateMpegAudioDecoder,
                         {{MEDIATYPE_Stream, MEDIASUBTYPE_MPEG1Audio}}});
    RegisterMediaFilter({kMediaFileDecoderClass,
                         u"Media File Splitter",
                         MERIT_NORMAL - 1,
                         CreateMediaFileDecoder,
                         {{MEDIATYPE_Stream, GUID_NULL}}});
    RegisterMediaFilter({CLSID_DSoundRender,
                         u"Audio Renderer",
                         MERIT_PREFERRED,
                         CreateAudioRenderer,
                         {{MEDIATYPE_Audio, MEDIASUBTYPE_PCM}}});
}

}  // namespace platform::dshow
