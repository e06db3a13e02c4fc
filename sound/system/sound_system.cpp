// StartSoundSystem and EndSoundSystem.
//
// Start: the lock; the device, either of its own in music mode 0
// (CreateDevice, OpenPrimary, SetPrimaryFormat: create, initialise,
// cooperative level on the desktop, primary buffer and its format) or, in
// music mode 1, from DirectMusic's performance (CreateMusicDevice: loader,
// performance, the port log, the performance's audio), falling back to mode
// 0 when there is no loader; the silence buffer that keeps the device
// running (StartSilence); the load mode and Ogg width of a fresh start; the
// device log (LogDevices); empty tables; then
// the sound thread (StartThread), made suspended and resumed only once every
// table is empty. A failed step before the silence buffer leaves the system
// down, with whatever it made released and the lock deleted again.
//
// End: the stop handshake with the thread while pumping messages (not on an
// inactive window, where the pump would wait for activation), then a join of
// the thread itself, since the handshake's wait also ends when the pump
// reports quit (StopThread); only then the tables, the lock, the DirectMusic
// objects and the device go.
#include "sound/system/sound_system.h"

#include "foundation/base/charset.h"
#include "foundation/memory/log.h"
#include "foundation/runtime/message_pump.h"
#include "platform/dmusic.h"
#include "platform/dsound.h"
#include "platform/kernel.h"
#include "platform/window.h"
#include "sound/decoders/ogg_decoder.h"
#include "sound/handles/sound_table.h"
#include "sound/music/music_internal.h"
#include "sound/play/sound_calls.h"
#include "sound/sound_system_internal.h"
#include "sound/sound_testing.h"
#include "sound/system/sound_thread.h"

namespace tessel {
namespace {

SoundStartStep g_failAt = kStartNoFailure;

bool Fails(SoundStartStep step) {
    return g_failAt == step;
}

void DeleteLock() {
    if (!g_soundSystem.lockMade)
        return;
    DeleteCriticalSection(&g_soundSystem.lock);
    g_soundSystem.lockMade = 0;
}

void ReleaseDevice(IDirectSound8* sound) {
    if (g_soundSystem.primary != nullptr)
        g_soundSystem.primary->Release();
    g_soundSystem.primary = nullptr;
    sound->Release();
}

IDirectSound8* CreateDevice() {
    WriteLog("DirectSound の初期化を行います\n");
    WriteLog("DirectSound インターフェースの取得を行います....  ");
    void* object = nullptr;
    if (Fails(kStartCreateDevice) ||
        FAILED(CoCreateInstance(CLSID_DirectSound8, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IDirectSound8, &object))) {
        WriteLog("DirectSoundインターフェースの作成に失敗しました\n");
        return nullptr;
    }
    auto* sound = static_cast<IDirectSound8*>(object);
    WriteLog("成功\n");
    WriteLog("引き続きインターフェースの初期化処理...  ");
    if (Fails(kStartInitialize) || FAILED(sound->Initialize(nullptr))) {
        WriteLog("初期化に失敗しました\n");
        sound->Release();
        return nullptr;
    }
    WriteLog("成功\n");
    return sound;
}

template <typename Interface>
void ReleaseInto(Interface** object) {
    if (*object != nullptr)
        (*object)->Release();
    *object = nullptr;
}

// Releases what a DirectMusic start made so far.
void ReleaseMusicObjects() {
    if (g_soundSystem.performance != nullptr)
        g_soundSystem.performance->CloseDown();
    ReleaseInto(&g_soundSystem.performance);
    ReleaseInto(&g_soundSystem.loader);
}

void* CreateMusicObject(SoundStartStep step, const CLSID& classId, const IID& iid) {
    void* object = nullptr;
    if (Fails(step) ||
        FAILED(CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, iid, &object))) {
        return nullptr;
    }
    return object;
}

void LogMusicPorts(IDirectMusic* music) {
    DMUS_PORTCAPS caps = {};
    caps.dwSize = sizeof(caps);
    for (DWORD index = 0; music->EnumPort(index, &caps) == S_OK; ++index) {
        char description[DMUS_MAX_DESCRIPTION * 2 + 1] = "";
        caps.wszDescription[DMUS_MAX_DESCRIPTION - 1] = 0;
        WideCharToMultiByte(LibraryCodePage(), 0, caps.wszDescription, -1, description,
                            sizeof(description), nullptr, nullptr);
        const char* kind = caps.dwClass == DMUS_PC_OUTPUTCLASS ? "出力ポート" : "入力ポート";
        WriteLogFormat("%s  Device%d:%s ", kind, static_cast<int>(index), description);
        caps = {};
        caps.dwSize = sizeof(caps);
    }
}

// Lists the ports through a DirectMusic object of its own, released again.
int ListMusicPorts() {
    auto* music = static_cast<IDirectMusic*>(
        CreateMusicObject(kStartMusicObject, CLSID_DirectMusic, IID_IDirectMusic));
    if (music == nullptr) {
        WriteLog("DirectMusic オブジェクトの取得に失敗しました\n");
        return -1;
    }
    void* music8 = nullptr;
    if (Fails(kStartMusic8) || FAILED(music->QueryInterface(IID_IDirectMusic8, &music8))) {
        WriteLog("DirectMusic8 オブジェクトの取得に失敗しました\n");
        music->Release();
        return -1;
    }
    LogMusicPorts(music);
    static_cast<IDirectMusic8*>(music8)->Release();
    music->Release();
    return 0;
}

// The performance's audio brings up the DirectSound device the rest uses.
IDirectSound8* StartMusicAudio() {
    DMUS_AUDIOPARAMS params = {};
    params.dwSize = sizeof(params);
    params.dwValidData = DMUS_AUDIOPARAMS_SAMPLERATE;
    params.dwSampleRate = 44100;
    IDirectSound* sound = nullptr;
    if (Fails(kStartMusicAudio) ||
        FAILED(g_soundSystem.performance->InitAudio(nullptr, &sound, nullptr,
                                                    DMUS_APATH_SHARED_STEREOPLUSREVERB, 64,
                                                    DMUS_AUDIOF_ALL, &params)) ||
        sound == nullptr) {
        WriteLog("DirectMusicPerformanceオブジェクトの初期化に失敗しました\n");
        return nullptr;
    }
    void* sound8 = nullptr;
    HRESULT asked = sound->QueryInterface(IID_IDirectSound8, &sound8);
    sound->Release();
    if (FAILED(asked)) {
        WriteLog("DirectMusicPerformanceオブジェクトの初期化に失敗しました\n");
        return nullptr;
    }
    return static_cast<IDirectSound8*>(sound8);
}

enum class MusicStart { kStarted, kNoLoader, kFailed };

// Music mode 1: DirectMusic, whose performance owns the DirectSound device.
// On failure everything made here is released again.
MusicStart CreateMusicDevice(IDirectSound8** sound) {
    WriteLog("DirectSound8 の初期化を行います\n");
    g_soundSystem.loader = static_cast<IDirectMusicLoader8*>(
        CreateMusicObject(kStartMusicLoader, CLSID_DirectMusicLoader, IID_IDirectMusicLoader8));
    if (g_soundSystem.loader == nullptr) {
        WriteLog("DirectMusicLoader8 オブジェクトの作成に失敗しました\n");
        WriteLog("前バージョンでの初期化処理に移ります\n");
        return MusicStart::kNoLoader;
    }
    g_soundSystem.performance = static_cast<IDirectMusicPerformance8*>(CreateMusicObject(
        kStartMusicPerformance, CLSID_DirectMusicPerformance, IID_IDirectMusicPerformance8));
    if (g_soundSystem.performance == nullptr) {
        WriteLog("DirectMusicPerformance オブジェクトの作成に失敗しました\n");
        ReleaseMusicObjects();
        return MusicStart::kFailed;
    }
    *sound = ListMusicPorts() == 0 ? StartMusicAudio() : nullptr;
    if (*sound == nullptr) {
        ReleaseMusicObjects();
        return MusicStart::kFailed;
    }
    LONG volume = 0;
    g_soundSystem.performance->SetGlobalParam(GUID_PerfMasterVolume, &volume, sizeof(volume));
    return MusicStart::kStarted;
}

int OpenPrimary(IDirectSound8* sound) {
    // Bound to the desktop, not to the main window, so that sound does not
    // depend on which window has the focus.
    if (Fails(kStartCooperativeLevel) ||
        FAILED(sound->SetCooperativeLevel(GetDesktopWindow(), DSSCL_PRIORITY))) {
        WriteLog("DirectSoundの協調レベルの設定に失敗しました\n");
        return -1;
    }
    DSBUFFERDESC description = {};
    description.dwSize = sizeof(description);
    description.dwFlags = DSBCAPS_PRIMARYBUFFER;
    if (Fails(kStartPrimaryBuffer) ||
        FAILED(sound->CreateSoundBuffer(&description, &g_soundSystem.primary, nullptr))) {
        g_soundSystem.primary = nullptr;
        WriteLog("DirectSoundのプライマリサウンドバッファの作成に失敗しました\n");
        return -1;
    }
    return 0;
}

void SetPrimaryFormat(IDirectSound8* sound) {
    DSCAPS caps = {};
    caps.dwSize = sizeof(caps);
    sound->GetCaps(&caps);
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = (caps.dwFlags & DSCAPS_PRIMARYSTEREO) ? 2 : 1;
    format.wBitsPerSample = (caps.dwFlags & DSCAPS_PRIMARY16BIT) ? 16 : 8;
    format.nSamplesPerSec =
        caps.dwMaxSecondarySampleRate < 44100 ? caps.dwMaxSecondarySampleRate : 44100;
    format.nBlockAlign = static_cast<WORD>(format.nChannels * format.wBitsPerSample / 8);
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    if (Fails(kStartPrimaryFormat) || FAILED(g_soundSystem.primary->SetFormat(&format))) {
        WriteLog("DirectSoundのプライマリサウンドバッファのフォーマット設定に失敗しました\n");
    }
}

void StartSilence() {
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = 44100;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = 176400;
    DSBUFFERDESC description = {};
    description.dwSize = sizeof(description);
    description.dwFlags = DSBCAPS_STATIC | DSBCAPS_GETCURRENTPOSITION2;
    description.dwBufferBytes = 400;
    description.lpwfxFormat = &format;
    IDirectSoundBuffer* silence = nullptr;
    if (Fails(kStartSilenceBuffer) ||
        FAILED(g_soundSystem.sound->CreateSoundBuffer(&description, &silence, nullptr))) {
        WriteLog("無音バッファの作成に失敗しました");
        return;
    }
    void* part1 = nullptr;
    void* part2 = nullptr;
    DWORD size1 = 0;
    DWORD size2 = 0;
    if (Fails(kStartSilenceLock) ||
        FAILED(silence->Lock(0, 400, &part1, &size1, &part2, &size2, 0))) {
        WriteLog("無音バッファのロックに失敗しました");
        silence->Release();
        return;
    }
    for (DWORD i = 0; i < size1; ++i)
        static_cast<uint8_t*>(part1)[i] = 0;
    silence->Unlock(part1, size1, part2, size2);
    silence->Play(0, 0, DSBPLAY_LOOPING);
    g_soundSystem.silence = silence;
}

BOOL LogDevice(GUID*, LPCSTR description, LPCSTR module, LPVOID) {
    WriteLogFormat("モジュール名:%15s  ドライバ記述:%s ", module, description);
    return TRUE;
}

const char* Yes(DWORD flags, DWORD flag) {
    return (flags & flag) ? "OK" : "NO";
}

void LogDevices() {
    WriteLog("DirectSound デバイスを列挙します\n");
    HMODULE library = Fails(kStartDeviceLibrary) ? nullptr : LoadLibraryA("DSOUND.DLL");
    if (library == nullptr) {
        WriteLog("DSOUND.DLL のロードに失敗しました\n");
        return;
    }
    FARPROC entry =
        Fails(kStartEnumerateEntry) ? nullptr : GetProcAddress(library, "DirectSoundEnumerateA");
    if (entry == nullptr) {
        WriteLog("DirectSound デバイスの列挙用関数のポインタ取得に失敗しました\n");
        FreeLibrary(library);
        return;
    }
    reinterpret_cast<HRESULT (*)(LPDSENUMCALLBACKA, LPVOID)>(entry)(LogDevice, nullptr);
    DSCAPS caps = {};
    caps.dwSize = sizeof(caps);
    g_soundSystem.sound->GetCaps(&caps);
    const DWORD f = caps.dwFlags;
    WriteLogFormat("最大サンプリングレート:%.2fKHz 最小サンプリングレート:%.2fKHz ",
                   caps.dwMaxSecondarySampleRate / 1000.0, caps.dwMinSecondarySampleRate / 1000.0);
    WriteLogFormat("総サウンドメモリ領域:%.2fKB 空きサウンドメモリ領域:%.2fKB \n",
                   caps.dwTotalHwMemBytes / 1024.0, caps.dwFreeHwMemBytes / 1024.0);
    WriteLog("利用可能サンプリング精度\n");
    WriteLogFormat(" プライマリ １６bit = %s  ８bit = %s ", Yes(f, DSCAPS_PRIMARY16BIT),
                   Yes(f, DSCAPS_PRIMARY8BIT));
    WriteLogFormat(" セカンダリ １６bit = %s  ８bit = %s \n", Yes(f, DSCAPS_SECONDARY16BIT),
                   Yes(f, DSCAPS_SECONDARY8BIT));
    WriteLog("利用可能チャンネル\n");
    WriteLogFormat(" プライマリ MONO = %s  STEREO = %s ", Yes(f, DSCAPS_PRIMARYMONO),
                   Yes(f, DSCAPS_PRIMARYSTEREO));
    WriteLogFormat(" セカンダリ MONO = %s  STEREO = %s \n", Yes(f, DSCAPS_SECONDARYMONO),
                   Yes(f, DSCAPS_SECONDARYSTEREO));
    FreeLibrary(library);
}

void StartThread() {
    g_soundSystem.stopWord = 0;
    ResetSoundThreadCounters();
    g_soundSystem.thread = CreateThread(nullptr, 0, SoundStreamThread, nullptr, CREATE_SUSPENDED,
                                        &g_soundSystem.threadId);
    SetThreadPriority(g_soundSystem.thread, THREAD_PRIORITY_TIME_CRITICAL);
    ResumeThread(g_soundSystem.thread);
}

// Pumping keeps the window answering while the thread finishes its pass;
// but on an inactive window the pump would hold the end until the user
// activates the window again, so then the join alone waits.
bool PumpForStop() {
    return !PumpHoldsUntilActivation() && PumpMessagesInner() == 0;
}

void StopThread() {
    InterlockedExchange(&g_soundSystem.stopWord, 1);
    if (PumpForStop()) {
        while (InterlockedCompareExchange(&g_soundSystem.stopWord, 1, 1) == 1) {
            Sleep(2);
            if (!PumpForStop())
                break;
        }
    }
    // The wait above may end on quit while the thread is still in its pass.
    if (g_soundSystem.thread != nullptr) {
        WaitForSingleObject(g_soundSystem.thread, INFINITE);
        CloseHandle(g_soundSystem.thread);
        g_soundSystem.thread = nullptr;
    }
}

}  // namespace

void SetSoundStartFailureForTest(SoundStartStep step) {
    g_failAt = step;
}

bool SilenceBufferPlaying() {
    if (g_soundSystem.silence == nullptr)
        return false;
    DWORD status = 0;
    return SUCCEEDED(g_soundSystem.silence->GetStatus(&status)) && (status & DSBSTATUS_PLAYING);
}

int StartSoundSystem() {
    if (SoundSystemUp())
        return -1;
    InitializeCriticalSection(&g_soundSystem.lock);
    g_soundSystem.lockMade = 1;
    IDirectSound8* sound = nullptr;
    if (g_soundSystem.musicMode == 1) {
        const MusicStart started = CreateMusicDevice(&sound);
        if (started != MusicStart::kStarted)
            DeleteLock();
        if (started == MusicStart::kNoLoader) {
            // Without DirectMusic the start goes the DirectSound way.
            g_soundSystem.musicMode = 0;
            return StartSoundSystem();
        }
        if (started == MusicStart::kFailed)
            return -1;
    } else if (g_soundSystem.musicMode == 0) {
        sound = CreateDevice();
        if (sound == nullptr) {
            DeleteLock();
            return -1;
        }
        if (OpenPrimary(sound) != 0) {
            ReleaseDevice(sound);
            DeleteLock();
            return -1;
        }
        SetPrimaryFormat(sound);
    }
    g_soundSystem.sound = sound;
    if (sound != nullptr)
        StartSilence();
    // Every start loads as a fresh one does: a program that left the load
    // mode at streaming (the game does, for its music) or Ogg at 8 bits
    // before it ended the library would otherwise load its next start's
    // effects that way.
    SetSoundLoadMode(kLoadWhole);
    SetOggSampleWidth(2);
    ListInit(&g_soundSystem.streamHead, &g_soundSystem.streamTail);
    if (sound != nullptr)
        LogDevices();
    ResetSoundTable();
    DeleteAllSounds();
    DeleteAllSoftSoundData();
    DeleteAllSoftSoundPlayers();
    StartThread();
    WriteLog("DirectSound の初期化は正常に終了しました\n");
    return 0;
}

int EndSoundSystem() {
    if (!SoundSystemUp())
        return -1;
    StopThread();
    if (WaveCaptureOpen())
        CloseWaveCapture();
    DeleteAllSounds();
    DeleteAllSoftSoundData();
    DeleteAllSoftSoundPlayers();
    DeleteAllMusicHandles();
    DeleteMidiTempFile();
    DeleteLock();
    if (g_soundSystem.performance != nullptr)
        g_soundSystem.performance->Stop(nullptr, nullptr, 0, 0);
    ReleaseMusicObjects();
    if (g_soundSystem.primary != nullptr)
        g_soundSystem.primary->Stop();
    if (g_soundSystem.silence != nullptr) {
        g_soundSystem.silence->Stop();
        g_soundSystem.silence->Release();
        g_soundSystem.silence = nullptr;
    }
    ReleaseDevice(g_soundSystem.sound);
    g_soundSystem.sound = nullptr;
    WriteLog("DirectSound の終了処理は正常に終了しました\n");
    return 0;
}

}  // namespace tessel
