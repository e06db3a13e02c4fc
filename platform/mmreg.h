// The wave format records of the multimedia headers, shared by DirectSound
// and the compression manager: the common 18-byte WAVEFORMATEX and the
// extended records of the compressed formats the compression manager
// converts. Byte-packed, as the formats are stored in files: sizeof
// (WAVEFORMATEX) is 18.
#pragma once

#include "platform/types.h"

#define WAVE_FORMAT_PCM 0x0001
#define WAVE_FORMAT_ADPCM 0x0002
#define WAVE_FORMAT_ALAW 0x0006
#define WAVE_FORMAT_MULAW 0x0007
#define WAVE_FORMAT_IMA_ADPCM 0x0011
#define WAVE_FORMAT_MPEG 0x0050
#define WAVE_FORMAT_MPEGLAYER3 0x0055

#pragma pack(push, 1)

struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;  // bytes of the format's own record after these 18
};
using PWAVEFORMATEX = WAVEFORMATEX*;
using LPWAVEFORMATEX = WAVEFORMATEX*;
using LPCWAVEFORMATEX = const WAVEFORMATEX*;

struct IMAADPCMWAVEFORMAT {
    WAVEFORMATEX wfx;
    WORD wSamplesPerBlock;
};

struct ADPCMCOEFSET {
    SHORT iCoef1;
    SHORT iCoef2;
};

// Followed by wNumCoef coefficient pairs (7 standard ones, then any extra).
struct ADPCMWAVEFORMAT {
    WAVEFORMATEX wfx;
    WORD wSamplesPerBlock;
    WORD wNumCoef;
    ADPCMCOEFSET aCoef[1];
};

#define MPEGLAYER3_WFX_EXTRA_BYTES 12
#define MPEGLAYER3_ID_UNKNOWN 0
#define MPEGLAYER3_ID_MPEG 1
#define MPEGLAYER3_ID_CONSTANTFRAMESIZE 2
#define MPEGLAYER3_FLAG_PADDING_ISO 0x00000000
#define MPEGLAYER3_FLAG_PADDING_ON 0x00000001
#define MPEGLAYER3_FLAG_PADDING_OFF 0x00000002

struct MPEGLAYER3WAVEFORMAT {
    WAVEFORMATEX wfx;
    WORD wID;
    DWORD fdwFlags;
    WORD nBlockSize;
    WORD nFramesPerBlock;
    WORD nCodecDelay;
};

#pragma pack(pop)

static_assert(sizeof(WAVEFORMATEX) == 18);
static_assert(sizeof(IMAADPCMWAVEFORMAT) == 20);
static_assert(sizeof(ADPCMWAVEFORMAT) == 26);
static_assert(sizeof(MPEGLAYER3WAVEFORMAT) == 30);
