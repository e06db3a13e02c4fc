// The DirectSound object: made uninitialised by COM from its class id,
// initialised on the default device (opening the SDL device, or none in
// test mode), then making buffers, setting the cooperative level and
// answering synthetic capabilities of a software device. Also the run-time
// module "dsound.dll" with DirectSoundEnumerateA.
#include <atomic>
#include <string>

#include "platform/dsound/session_internal.h"
#include "platform/dsound_testing.h"
#include "platform/kernel/codepage.h"
#include "platform/kernel/modules.h"
#include "platform/layer_modules.h"

namespace platform::dsound {
namespace {

std::atomic<bool> testMode{false};
std::atomic<int> periodFrames{512};

class DirectSound final
    : public RefCounted<DirectSound, IDirectSound8, &IID_IDirectSound, &IID_IDirectSound8> {
  public:
    ~DirectSound() {
        if (session_ != nullptr) {
            session_->Close();
        }
    }

    HRESULT CreateSoundBuffer(LPCDSBUFFERDESC desc, LPDIRECTSOUNDBUFFER* buffer,
                              LPUNKNOWN outer) override {
        if (buffer == nullptr || desc == nullptr) {
            return DSERR_INVALIDPARAM;
        }
        *buffer = nullptr;
        if (outer != nullptr) {
            return DSERR_NOAGGREGATION;
        }
        if (session_ == nullptr) {
            return DSERR_UNINITIALIZED;
        }
        if (desc->dwSize != sizeof(DSBUFFERDESC)) {
            return DSERR_INVALIDPARAM;
        }
        if ((desc->dwFlags & DSBCAPS_PRIMARYBUFFER) != 0) {
            if (desc->dwBufferBytes != 0 || desc->lpwfxFormat != nullptr) {
                return DSERR_INVALIDPARAM;
            }
            *buffer = CreatePrimaryBuffer(session_);
            return DS_OK;
        }
        return CreateSecondaryBuffer(session_, *desc, buffer);
    }

    HRESULT GetCaps(LPDSCAPS caps) override {
        if (caps == nullptr || caps->dwSize != sizeof(DSCAPS)) {
            return DSERR_INVALIDPARAM;
        }
        if (session_ == nullptr) {
            return DSERR_UNINITIALIZED;
        }
        // A software device: every format, any rate in range, no hardware
        // buffers or memory.
        *caps = DSCAPS{};
        caps->dwSize = sizeof(DSCAPS);
        caps->dwFlags = DSCAPS_PRIMARYMONO | DSCAPS_PRIMARYSTEREO | DSCAPS_PRIMARY8BIT |
                        DSCAPS_PRIMARY16BIT | DSCAPS_CONTINUOUSRATE | DSCAPS_SECONDARYMONO |
                        DSCAPS_SECONDARYSTEREO | DSCAPS_SECONDARY8BIT | DSCAPS_SECONDARY16BIT;
        caps->dwMinSecondarySampleRate = DSBFREQUENCY_MIN;
        caps->dwMaxSecondarySampleRate = DSBFREQUENCY_MAX;
        caps->dwPrimaryBuffers = 1;
        return DS_OK;
    }

    HRESULT DuplicateSoundBuffer(LPDIRECTSOUNDBUFFER original,
                                 LPDIRECTSOUNDBUFFER* duplicate) override {
        if (original == nullptr || duplicate == nullptr) {
            return DSERR_INVALIDPARAM;
        }
        *duplicate = nullptr;
        if (session_ == nullptr) {
            return DSERR_UNINITIALIZED;
        }
        return DuplicateBuffer(session_, original, duplicate);
    }

    HRESULT SetCooperativeLevel(HWND, DWORD level) override {
        if (session_ == nullptr) {
            return DSERR_UNINITIALIZED;
        }
        if (level < DSSCL_NORMAL || level > DSSCL_WRITEPRIMARY) {
            return DSERR_INVALIDPARAM;
        }
        // Nothing writes the primary buffer's samples directly here.
        if (level == DSSCL_WRITEPRIMARY) {
            return DSERR_UNSUPPORTED;
        }
        session_->level = level;
        return DS_OK;
    }

    HRESULT Initialize(const GUID* device) override {
        if (session_ != nullptr) {
            return DSERR_ALREADYINITIALIZED;
        }
        if (device != nullptr) {
            return DSERR_NODRIVER;
        }
        auto session = std::make_shared<Session>(testMode.load(), periodFrames.load());
        if (!session->Open()) {
            return DSERR_NODRIVER;
        }
        session_ = std::move(session);
        return DS_OK;
    }

    const std::shared_ptr<Session>& SessionOf() const { return session_; }

  private:
    std::shared_ptr<Session> session_;
};

HRESULT CreateDirectSound(REFIID iid, void** object) {
    auto* sound = new DirectSound;
    HRESULT result = sound->QueryInterface(iid, object);
    sound->Release();
    return result;
}

// SDL's names are UTF-8; the library logs code page 932.
std::string ToCodePage932(const char* utf8) {
    int units = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    if (units <= 0) {
        return "?";
    }
    std::u16string wide(static_cast<size_t>(units), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide.data(), units);
    int bytes = WideCharToMultiByte(932, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return "?";
    }
    std::string narrow(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(932, 0, wide.c_str(), -1, narrow.data(), bytes, nullptr, nullptr);
    narrow.resize(static_cast<size_t>(bytes) - 1);
    return narrow;
}

}  // namespace

std::shared_ptr<Session> SessionOf(IDirectSound8* sound) {
    auto* object = dynamic_cast<DirectSound*>(sound);
    return object != nullptr ? object->SessionOf() : nullptr;
}

}  // namespace platform::dsound

HRESULT DirectSoundEnumerateA(LPDSENUMCALLBACKA callback, LPVOID context) {
    if (callback == nullptr) {
        return DSERR_INVALIDPARAM;
    }
    // Without audio there is no device to list, as on a machine without one.
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        return DS_OK;
    }
    const char* driver = SDL_GetCurrentAudioDriver();
    std::string module = driver != nullptr ? driver : "audio";
    const char* name = SDL_GetNumAudioDevices(0) > 0 ? SDL_GetAudioDeviceName(0, 0) : nullptr;
    std::string description =
        platform::dsound::ToCodePage932(name != nullptr ? name : module.c_str());
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    callback(nullptr, description.c_str(), module.c_str(), context);
    return DS_OK;
}

namespace platform {

void SetDirectSoundTestMode(bool on) {
    dsound::testMode = on;
}

void SetDirectSoundPeriodFrames(int frames) {
    dsound::periodFrames = frames;
}

int AdvanceDirectSoundMixer(IDirectSound8* sound, int frames, void* out) {
    std::shared_ptr<dsound::Session> session = dsound::SessionOf(sound);
    if (session == nullptr || !session->testMode || frames < 0 || out == nullptr) {
        return -1;
    }
    session->mixer.Mix(static_cast<uint8_t*>(out), frames);
    std::lock_guard<std::mutex> guard(session->mixer.Lock());
    return frames * session->mixer.Format().FrameBytes();
}

long long GetDirectSoundUnderrunFrames(IDirectSound8* sound) {
    std::shared_ptr<dsound::Session> session = dsound::SessionOf(sound);
    if (session == nullptr) {
        return -1;
    }
    std::lock_guard<std::mutex> guard(session->mixer.Lock());
    return static_cast<long long>(session->mixer.UnderrunFrames());
}

bool GetDirectSoundDeviceFormat(IDirectSound8* sound, WAVEFORMATEX* format) {
    std::shared_ptr<dsound::Session> session = dsound::SessionOf(sound);
    if (session == nullptr || format == nullptr) {
        return false;
    }
    std::lock_guard<std::mutex> guard(session->mixer.Lock());
    const dsound::DeviceFormat& device = session->mixer.Format();
    *format = WAVEFORMATEX{};
    format->wFormatTag = WAVE_FORMAT_PCM;
    format->nChannels = static_cast<WORD>(device.channels);
    format->nSamplesPerSec = device.rate;
    format->nBlockAlign = static_cast<WORD>(device.FrameBytes());
    format->nAvgBytesPerSec = device.rate * format->nBlockAlign;
    format->wBitsPerSample = static_cast<WORD>(device.bits);
    return true;
}

void RegisterDirectSoundModule() {
    static const PlatformExport exports[] = {
        {"DirectSoundEnumerateA", reinterpret_cast<FARPROC>(&DirectSoundEnumerateA)},
        {nullptr, nullptr},
    };
    RegisterModule("dsound.dll", exports);
    RegisterComClass(CLSID_DirectSound8, dsound::CreateDirectSound);
}

}  // namespace platform
