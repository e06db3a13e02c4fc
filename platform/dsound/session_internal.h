// What a DirectSound object and its buffers share: the mixer, the SDL
// device that plays it (none in test mode), and the cooperative level. The
// buffers keep the session alive; releasing the DirectSound object closes
// its device, so buffers that outlive it fall silent without dangling.
#pragma once

#include <SDL.h>

#include <atomic>
#include <memory>
#include <mutex>

#include "platform/dsound.h"
#include "platform/dsound/mixer_internal.h"

namespace platform::dsound {

// One open SDL audio device whose callback runs the mixer.
class AudioDevice {
  public:
    // Null when SDL has no audio, or no device takes the format.
    static std::unique_ptr<AudioDevice> Open(Mixer* mixer, const DeviceFormat& format,
                                             int periodFrames);
    ~AudioDevice();
    AudioDevice(const AudioDevice&) = delete;
    AudioDevice& operator=(const AudioDevice&) = delete;

  private:
    explicit AudioDevice(SDL_AudioDeviceID id) : id_(id) {}
    SDL_AudioDeviceID id_;
};

struct Session {
    Session(bool testMode, int periodFrames) : mixer(periodFrames), testMode(testMode) {}
    ~Session() { Close(); }

    // Opens the device in the mixer's format; test mode opens nothing.
    bool Open();
    // Plays in a new format from now on, reopening the device when it is open.
    HRESULT ChangeFormat(const DeviceFormat& format);
    void Close();

    Mixer mixer;  // declared first: the device's callback uses it until the device closes
    const bool testMode;
    std::atomic<DWORD> level{0};

  private:
    std::mutex deviceLock_;
    std::unique_ptr<AudioDevice> device_;
    bool closed_ = false;
};

// Checks a PCM format that the mixer plays (8 or 16 bits, mono or stereo, a
// rate inside the frequency range, a consistent block).
bool IsPlayableFormat(const WAVEFORMATEX& format);

// Buffer objects (buffers.cpp).
HRESULT CreateSecondaryBuffer(const std::shared_ptr<Session>& session, const DSBUFFERDESC& desc,
                              LPDIRECTSOUNDBUFFER* buffer);
HRESULT DuplicateBuffer(const std::shared_ptr<Session>& session, LPDIRECTSOUNDBUFFER original,
                        LPDIRECTSOUNDBUFFER* duplicate);
LPDIRECTSOUNDBUFFER CreatePrimaryBuffer(const std::shared_ptr<Session>& session);

// The session of a DirectSound object of this layer, or null.
std::shared_ptr<Session> SessionOf(IDirectSound8* sound);

}  // namespace platform::dsound
