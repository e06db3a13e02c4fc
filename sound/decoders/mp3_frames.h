// MPEG audio frame headers and the tags around MP3 data, as the MP3 opener
// of the decoder chain walks them.
#pragma once

#include <cstdint>

namespace tessel {

struct Mp3FrameHeader {
    int32_t mpeg1;       // 1 MPEG-1, 0 MPEG-2
    int32_t layer;       // 0 layer I, 1 layer II, 2 layer III
    int32_t bitRate;     // kbit/s
    int32_t sampleRate;  // Hz
    int32_t padding;     // 0 or 1
    int32_t channels;    // 1 for single channel, else 2
    int32_t samplesPerFrame;
    int32_t frameSize;  // bytes, the header included
};

// 0 when the four bytes are a frame header with usable indices, else -1.
int ParseMp3FrameHeader(const uint8_t* bytes, Mp3FrameHeader* header);

// Bytes an ID3v2 tag at the start takes (0 when the first bytes are no tag):
// the size from its header plus 10, plus 10 more for a version-4 footer.
uint32_t Id3TagSkip(const uint8_t* first10, uint32_t available);

// The frames between `start` and `end` of `data`: the first frame's offset,
// the end of the last whole frame and the sum of their samples. -1 when no
// frame is found or a frame header does not parse.
struct Mp3Scan {
    uint32_t firstFrame;
    uint32_t dataEnd;
    int64_t totalSamples;
    Mp3FrameHeader first;
};
int ScanMp3Frames(const uint8_t* data, uint32_t start, uint32_t end, Mp3Scan* scan);

}  // namespace tessel
