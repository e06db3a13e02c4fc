// A RIFF/WAVE file image in memory, made from a format record and PCM: how
// sounds decoded elsewhere are handed on to code that reads WAV files.
#include <cstring>

#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "sound/decoders/pcm_decoder.h"

namespace tessel {
namespace {

uint8_t* PutTag(uint8_t* at, const char* tag) {
    std::memcpy(at, tag, 4);
    return at + 4;
}

uint8_t* PutLe32(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
    at[2] = static_cast<uint8_t>(value >> 16);
    at[3] = static_cast<uint8_t>(value >> 24);
    return at + 4;
}

}  // namespace

int BuildWaveImage(void** image, uint32_t* imageSize, const void* format, uint32_t formatSize,
                   const void* pcm, uint32_t pcmSize) {
    uint64_t total = uint64_t{formatSize} + pcmSize + 28;
    auto* bytes =
        total > UINT32_MAX
            ? nullptr
            : static_cast<uint8_t*>(AllocTracked(static_cast<uint32_t>(total), __FILE__, __LINE__));
    if (bytes == nullptr) {
        return WriteLog("仮WAVEファイルイメージ用のメモリ確保に失敗しました\n");
    }
    uint8_t* at = PutTag(bytes, "RIFF");
    at = PutLe32(at, formatSize + pcmSize + 20);
    at = PutTag(at, "WAVE");
    at = PutTag(at, "fmt ");
    at = PutLe32(at, formatSize);
    std::memcpy(at, format, formatSize);
    at += formatSize;
    at = PutTag(at, "data");
    at = PutLe32(at, pcmSize);
    std::memcpy(at, pcm, pcmSize);
    *image = bytes;
    *imageSize = static_cast<uint32_t>(total);
    return 0;
}

}  // namespace tessel
