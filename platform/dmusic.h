// DirectMusic 8 as the library calls it: the loader, the performance and
// the DirectMusic object, created through COM by class id. None of them is
// installed here, so CoCreateInstance answers REGDB_E_CLASSNOTREG and the
// library takes the path of a machine without DirectMusic. The interfaces
// are declared for the calls the library makes on them all the same.
#pragma once

#include "platform/com.h"
#include "platform/dsound.h"
#include "platform/types.h"

extern const CLSID CLSID_DirectMusicLoader;
extern const CLSID CLSID_DirectMusicPerformance;
extern const CLSID CLSID_DirectMusic;
extern const IID IID_IDirectMusicLoader8;
extern const IID IID_IDirectMusicPerformance8;
extern const IID IID_IDirectMusic;
extern const IID IID_IDirectMusic8;
extern const GUID GUID_PerfMasterVolume;

using MUSIC_TIME = LONG;
using REFERENCE_TIME = LONGLONG;

#define DMUS_APATH_SHARED_STEREOPLUSREVERB 1u
#define DMUS_AUDIOF_ALL 0x3Fu
#define DMUS_PC_OUTPUTCLASS 1u
#define DMUS_MAX_DESCRIPTION 128

#define DMUS_AUDIOPARAMS_FEATURES 0x1u
#define DMUS_AUDIOPARAMS_VOICES 0x2u
#define DMUS_AUDIOPARAMS_SAMPLERATE 0x4u
#define DMUS_AUDIOPARAMS_DEFAULTSYNTH 0x8u

struct DMUS_AUDIOPARAMS {
    DWORD dwSize;
    BOOL fInitNow;
    DWORD dwValidData;
    DWORD dwFeatures;
    DWORD dwVoices;
    DWORD dwSampleRate;
    CLSID clsidDefaultSynth;
};
struct IDirectMusicSegmentState;

struct DMUS_PORTCAPS {
    DWORD dwSize;
    DWORD dwFlags;
    GUID guidPort;
    DWORD dwClass;
    DWORD dwType;
    DWORD dwMemorySize;
    DWORD dwMaxChannelGroups;
    DWORD dwMaxVoices;
    DWORD dwMaxAudioChannels;
    DWORD dwEffectFlags;
    WCHAR wszDescription[DMUS_MAX_DESCRIPTION];
};
using LPDMUS_PORTCAPS = DMUS_PORTCAPS*;

struct IDirectMusic : IUnknown {
    virtual HRESULT EnumPort(DWORD index, LPDMUS_PORTCAPS caps) = 0;

  protected:
    ~IDirectMusic() = default;
};

struct IDirectMusic8 : IDirectMusic {
  protected:
    ~IDirectMusic8() = default;
};

struct IDirectMusicSegment8 : IUnknown {
    virtual HRESULT Unload(IUnknown* performanceOrPath) = 0;

  protected:
    ~IDirectMusicSegment8() = default;
};

struct IDirectMusicLoader8 : IUnknown {
    virtual HRESULT ReleaseObjectByUnknown(IUnknown* object) = 0;

  protected:
    ~IDirectMusicLoader8() = default;
};

struct IDirectMusicPerformance8 : IUnknown {
    virtual HRESULT Stop(IDirectMusicSegment8* segment, IDirectMusicSegmentState* state,
                         MUSIC_TIME time, DWORD flags) = 0;
    virtual HRESULT IsPlaying(IDirectMusicSegment8* segment, IDirectMusicSegmentState* state) = 0;
    virtual HRESULT SetGlobalParam(const GUID& type, void* data, DWORD size) = 0;
    virtual HRESULT CloseDown() = 0;
    virtual HRESULT InitAudio(IDirectMusic** music, IDirectSound** sound, HWND window,
                              DWORD defaultPathType, DWORD channelCount, DWORD flags,
                              DMUS_AUDIOPARAMS* params) = 0;

  protected:
    ~IDirectMusicPerformance8() = default;
};
