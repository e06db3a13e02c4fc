// The SDL audio device under the mixer: opened in the device's format with
// SDL converting to whatever the hardware takes, started at once, and
// closed (waiting for a running callback) before the mixer goes. The
// driver is SDL's choice, so SDL_AUDIODRIVER picks it as SDL users expect.
#include "platform/dsound/session_internal.h"

namespace platform::dsound {
namespace {

void Callback(void* userdata, Uint8* stream, int length) {
    auto* mixer = static_cast<Mixer*>(userdata);
    int frames = length / mixer->Format().FrameBytes();
    mixer->Mix(stream, frames);
}

}  // namespace

std::unique_ptr<AudioDevice> AudioDevice::Open(Mixer* mixer, const DeviceFormat& format,
                                               int periodFrames) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        return nullptr;
    }
    SDL_AudioSpec want = {};
    want.freq = static_cast<int>(format.rate);
    want.format = format.bits == 16 ? AUDIO_S16SYS : AUDIO_U8;
    want.channels = static_cast<Uint8>(format.channels);
    want.samples = static_cast<Uint16>(periodFrames);
    want.callback = Callback;
    want.userdata = mixer;
    SDL_AudioSpec have = {};
    SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (id == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return nullptr;
    }
    SDL_PauseAudioDevice(id, 0);
    return std::unique_ptr<AudioDevice>(new AudioDevice(id));
}

AudioDevice::~AudioDevice() {
    SDL_CloseAudioDevice(id_);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

bool Session::Open() {
    if (testMode) {
        return true;
    }
    std::lock_guard<std::mutex> guard(deviceLock_);
    DeviceFormat format;
    {
        std::lock_guard<std::mutex> mixing(mixer.Lock());
        format = mixer.Format();
    }
    device_ = AudioDevice::Open(&mixer, format, mixer.PeriodFrames());
    return device_ != nullptr;
}

HRESULT Session::ChangeFormat(const DeviceFormat& format) {
    std::lock_guard<std::mutex> guard(deviceLock_);
    {
        std::lock_guard<std::mutex> mixing(mixer.Lock());
        const DeviceFormat& now = mixer.Format();
        if (now.rate == format.rate && now.channels == format.channels && now.bits == format.bits) {
            return DS_OK;
        }
    }
    bool reopen = device_ != nullptr;
    // The callback must not run while the format it mixes into changes.
    device_.reset();
    {
        std::lock_guard<std::mutex> mixing(mixer.Lock());
        mixer.SetFormat(format);
    }
    if (reopen && !closed_) {
        device_ = AudioDevice::Open(&mixer, format, mixer.PeriodFrames());
        if (device_ == nullptr) {
            return DSERR_GENERIC;
        }
    }
    return DS_OK;
}

void Session::Close() {
    std::lock_guard<std::mutex> guard(deviceLock_);
    closed_ = true;
    device_.reset();
}

}  // namespace platform::dsound
