// The wave format record shared by the sound services (DirectSound and the
// audio compression manager): laid out byte for byte as Windows packs it,
// 18 bytes with no padding, because decoders copy it whole.
#pragma once

#include "platform/types.h"

#define WAVE_FORMAT_PCM 1u

#pragma pack(push, 1)
struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX is 18 bytes");
static_assert(offsetof(WAVEFORMATEX, nAvgBytesPerSec) == 8, "WAVEFORMATEX layout");
static_assert(offsetof(WAVEFORMATEX, cbSize) == 16, "WAVEFORMATEX layout");

using PWAVEFORMATEX = WAVEFORMATEX*;
using LPWAVEFORMATEX = WAVEFORMATEX*;
using LPCWAVEFORMATEX = const WAVEFORMATEX*;
