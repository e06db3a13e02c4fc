// The chain of PCM decoders: a PcmDecoder recognises the sound behind an
// InputStream (WAV PCM, WAV through the compression manager, Ogg Vorbis, MP3
// through the compression manager, then the MP3 conversion graph) and then
// delivers its PCM through one set of calls, whatever the method.
#pragma once

#include <cstdint>

#include "images/input_stream.h"
#include "platform/acm.h"
#include "platform/mmreg.h"

struct OggVorbis_File;

namespace tessel {

enum PcmDecodeMethod : int32_t {
    kDecodeWavPcm = 0,     // PCM read straight from the stream
    kDecodeAcm = 1,        // compressed WAV or MP3 through the compression manager
    kDecodeOggVorbis = 2,  // libvorbisfile
    kDecodePcmMemory = 3,  // PCM held in memory, made by the conversion graph
};

struct PcmDecoder {
    int32_t open;
    int32_t endOfData;  // a read found no more data
    int32_t method;
    InputStream stream;

    // WAV chunks.
    int32_t fmtChunkPosition;
    uint32_t fmtChunkSize;
    int32_t dataStart;
    uint32_t dataSize;

    // The PCM this decoder delivers.
    WAVEFORMATEX format;

    // Compressed source (method 1).
    WAVEFORMATEX* sourceFormat;  // 18 + cbSize bytes
    HACMSTREAM acmStream;        // the converting stream
    HACMSTREAM spareStream;      // a fresh one, taken when conversion restarts
    uint8_t* compressed;         // the whole compressed data
    uint32_t compressedSize;
    uint32_t consumed;     // compressed bytes the converter has taken
    uint32_t chunkSize;    // compressed bytes handed to one conversion
    int64_t totalSamples;  // from the MP3 frame scan; -1 when unknown
    uint32_t blockStart;   // PCM byte position of the output block's first byte

    // Ogg Vorbis (method 2).
    OggVorbis_File* vorbis;
    int32_t vorbisOpened;
    int32_t sampleWidth;
    int32_t vorbisBuild;  // 0 the current vorbisfile release, 1 the older one

    // PCM in memory (method 3).
    uint8_t* pcmBlock;
    uint32_t pcmCapacity;
    uint32_t pcmSize;
    uint32_t pcmReadPosition;

    // Output block.
    uint8_t* output;
    uint32_t outputSize;
    uint32_t outputAvailable;
    uint32_t outputReadPosition;
    uint32_t pcmPosition;  // PCM byte position of the next byte delivered
};

// 0 when an opener took the data, -1 when none did.
int OpenDecoder(const InputStream* stream, PcmDecoder* decoder);
// The same with the given openers only, in order (for tests and fuzzing).
int OpenDecoderWith(const InputStream* stream, PcmDecoder* decoder,
                    int (*const* openers)(PcmDecoder*), int openerCount);
// Bytes delivered (fewer at the end of the data); -1 when not open.
int32_t ReadDecoder(PcmDecoder* decoder, void* buffer, uint32_t bytes);
// To a sample frame; a move of 15 bytes or less is not made. 0.
int SeekDecoder(PcmDecoder* decoder, int64_t sample);
// The same, made whatever the distance: a stream going back to a loop start
// a few bytes behind its end must really go back. 0.
int SeekDecoderExactly(PcmDecoder* decoder, int64_t sample);
// 0; -1 when not open.
int CloseDecoder(PcmDecoder* decoder);
// Copies the 18-byte format of the PCM delivered.
int GetDecoderFormat(const PcmDecoder* decoder, WAVEFORMATEX* format);
// Total PCM bytes.
int64_t GetDecoderPcmSize(PcmDecoder* decoder);
// All the PCM in one new tracked block that the caller frees. 0 or -1.
int DecodeAllToMemory(PcmDecoder* decoder, WAVEFORMATEX* format, void** pcm, uint32_t* size);
// A RIFF/WAVE file image in one new tracked block: the format's bytes as the
// "fmt " chunk and the PCM as "data". 0 or -1.
int BuildWaveImage(void** image, uint32_t* imageSize, const void* format, uint32_t formatSize,
                   const void* pcm, uint32_t pcmSize);

// The openers, each from the stream's start; 0 when it took the data. Each
// leaves nothing allocated when it refuses.
int OpenWavPcmDecoder(PcmDecoder* decoder);
int OpenWavAcmDecoder(PcmDecoder* decoder);
int OpenMp3AcmDecoder(PcmDecoder* decoder);
// The MP3 conversion graph: the whole stream to PCM in memory (method 3).
int DecodeMp3ToPcm(PcmDecoder* decoder);

// Method 1: refills the output block (0, or -1 at the end of the data),
// moves to a PCM byte position, and releases the converter.
int AcmDecoderRefill(PcmDecoder* decoder);
void AcmDecoderSeek(PcmDecoder* decoder, uint32_t target);
int64_t AcmDecoderLength(PcmDecoder* decoder);
void AcmDecoderRelease(PcmDecoder* decoder);
// Opens the converting and spare streams from the source format to `format`
// over the compressed data already in the decoder. 0 or -1.
int AcmDecoderStart(PcmDecoder* decoder);

}  // namespace tessel
