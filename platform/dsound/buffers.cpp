// The buffer objects: secondary buffers, each one voice of the mixer over
// samples that its duplicates share, and the primary buffer, which stands
// for the device and carries its format.
//
// Routes: CreateSecondaryBuffer and DuplicateBuffer make a SoundBuffer;
// its methods change the voice under the mixer's lock; CreatePrimaryBuffer
// makes a PrimaryBuffer whose SetFormat changes the device's format.
#include <algorithm>
#include <new>

#include "platform/dsound/session_internal.h"

namespace platform::dsound {
namespace {

// Flags a secondary buffer may carry; software location and sticky focus
// change nothing here.
constexpr DWORD kLocSoftware = 0x00000008u;
constexpr DWORD kStickyFocus = 0x00004000u;
constexpr DWORD kSecondaryFlags = DSBCAPS_STATIC | kLocSoftware | DSBCAPS_CTRLFREQUENCY |
                                  DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME | kStickyFocus |
                                  DSBCAPS_GLOBALFOCUS | DSBCAPS_GETCURRENTPOSITION2;

class SoundBuffer final : public RefCounted<SoundBuffer, IDirectSoundBuffer8,
                                            &IID_IDirectSoundBuffer, &IID_IDirectSoundBuffer8> {
  public:
    SoundBuffer(std::shared_ptr<Session> session, const Voice& voice)
        : session_(std::move(session)), voice_(voice) {
        std::lock_guard<std::mutex> guard(Lock());
        session_->mixer.Attach(&voice_);
    }
    ~SoundBuffer() {
        std::lock_guard<std::mutex> guard(Lock());
        session_->mixer.Detach(&voice_);
    }

    // A stopped copy at position 0 over the same samples.
    Voice Duplicate() {
        std::lock_guard<std::mutex> guard(Lock());
        Voice copy = voice_;
        copy.streamed = false;
        copy.fresh.clear();
        copy.playing = false;
        copy.looping = false;
        copy.position = 0;
        return copy;
    }
    const Session* Owner() const { return session_.get(); }

    HRESULT GetCurrentPosition(LPDWORD play, LPDWORD write) override {
        if (play == nullptr && write == nullptr) {
            return DSERR_INVALIDPARAM;
        }
        std::lock_guard<std::mutex> guard(Lock());
        session_->mixer.Cursors(voice_, play, write);
        return DS_OK;
    }
    HRESULT GetStatus(LPDWORD status) override {
        if (status == nullptr) {
            return DSERR_INVALIDPARAM;
        }
        std::lock_guard<std::mutex> guard(Lock());
        *status = 0;
        if (voice_.playing) {
            *status = DSBSTATUS_PLAYING | (voice_.looping ? DSBSTATUS_LOOPING : 0);
        }
        return DS_OK;
    }
    HRESULT Lock(DWORD offset, DWORD bytes, LPVOID* part1, LPDWORD bytes1, LPVOID* part2,
                 LPDWORD bytes2, DWORD flags) override;
    HRESULT Play(DWORD reserved1, DWORD priority, DWORD flags) override {
        if (reserved1 != 0 || priority != 0 || (flags & ~DSBPLAY_LOOPING) != 0) {
            return DSERR_INVALIDPARAM;
        }
        if (session_->level == 0) {
            return DSERR_PRIOLEVELNEEDED;
        }
        std::lock_guard<std::mutex> guard(Lock());
        voice_.playing = true;
        voice_.looping = (flags & DSBPLAY_LOOPING) != 0;
        return DS_OK;
    }
    HRESULT SetCurrentPosition(DWORD newPosition) override {
        std::lock_guard<std::mutex> guard(Lock());
        if (newPosition >= voice_.samples->size) {
            return DSERR_INVALIDPARAM;
        }
        voice_.position = uint64_t{newPosition / voice_.blockAlign} << 32;
        return DS_OK;
    }
    HRESULT SetFormat(LPCWAVEFORMATEX) override { return DSERR_INVALIDCALL; }
    HRESULT SetVolume(LONG volume) override {
        if ((voice_.controls & DSBCAPS_CTRLVOLUME) == 0) {
            return DSERR_CONTROLUNAVAIL;
        }
        if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX) {
            return DSERR_INVALIDPARAM;
        }
        std::lock_guard<std::mutex> guard(Lock());
        voice_.volume = volume;
        ChannelGains(voice_.volume, voice_.pan, &voice_.gainLeft, &voice_.gainRight);
        return DS_OK;
    }
    HRESULT SetPan(LONG pan) override {
        if ((voice_.controls & DSBCAPS_CTRLPAN) == 0) {
            return DSERR_CONTROLUNAVAIL;
        }
        if (pan < DSBPAN_LEFT || pan > DSBPAN_RIGHT) {
            return DSERR_INVALIDPARAM;
        }
        std::lock_guard<std::mutex> guard(Lock());
        voice_.pan = pan;
        ChannelGains(voice_.volume, voice_.pan, &voice_.gainLeft, &voice_.gainRight);
        return DS_OK;
    }
    HRESULT SetFrequency(DWORD frequency) override {
        if ((voice_.controls & DSBCAPS_CTRLFREQUENCY) == 0) {
            return DSERR_CONTROLUNAVAIL;
        }
        if (frequency == DSBFREQUENCY_ORIGINAL) {
            frequency = voice_.ownRate;
        }
        if (frequency < DSBFREQUENCY_MIN || frequency > DSBFREQUENCY_MAX) {
            return DSERR_INVALIDPARAM;
        }
        std::lock_guard<std::mutex> guard(Lock());
        voice_.frequency = frequency;
        return DS_OK;
    }
    HRESULT Stop() override {
        std::lock_guard<std::mutex> guard(Lock());
        voice_.playing = false;
        return DS_OK;
    }
    HRESULT Unlock(LPVOID part1, DWORD bytes1, LPVOID part2, DWORD bytes2) override;

  private:
    std::mutex& Lock() { return session_->mixer.Lock(); }

    std::shared_ptr<Session> session_;
    Voice voice_;  // guarded by the mixer's lock
};

HRESULT SoundBuffer::Lock(DWORD offset, DWORD bytes, LPVOID* part1, LPDWORD bytes1, LPVOID* part2,
                          LPDWORD bytes2, DWORD flags) {
    if (part1 == nullptr || bytes1 == nullptr ||
        (flags & ~(DSBLOCK_FROMWRITECURSOR | DSBLOCK_ENTIREBUFFER)) != 0) {
        return DSERR_INVALIDPARAM;
    }
    DWORD size = voice_.samples->size;
    if ((flags & DSBLOCK_FROMWRITECURSOR) != 0) {
        std::lock_guard<std::mutex> guard(Lock());
        session_->mixer.Cursors(voice_, nullptr, &offset);
    }
    if ((flags & DSBLOCK_ENTIREBUFFER) != 0) {
        bytes = size;
    }
    if (offset >= size || bytes == 0 || bytes > size) {
        return DSERR_INVALIDPARAM;
    }
    uint8_t* base = voice_.samples->Bytes();
    DWORD first = std::min(bytes, size - offset);
    *part1 = base + offset;
    *bytes1 = first;
    // Without a second pointer the caller gets the part up to the end only.
    if (part2 != nullptr) {
        *part2 = bytes > first ? base : nullptr;
    }
    if (bytes2 != nullptr) {
        *bytes2 = part2 != nullptr ? bytes - first : 0;
    }
    return DS_OK;
}

HRESULT SoundBuffer::Unlock(LPVOID part1, DWORD bytes1, LPVOID part2, DWORD bytes2) {
    uint8_t* base = voice_.samples->Bytes();
    DWORD size = voice_.samples->size;
    auto* first = static_cast<uint8_t*>(part1);
    if (first == nullptr || first < base || first >= base + size ||
        bytes1 > static_cast<DWORD>(base + size - first)) {
        return DSERR_INVALIDPARAM;
    }
    if (part2 != nullptr && (part2 != base || bytes2 > size)) {
        return DSERR_INVALIDPARAM;
    }
    std::lock_guard<std::mutex> guard(Lock());
    MarkWritten(voice_, static_cast<DWORD>(first - base), bytes1);
    if (part2 != nullptr && bytes2 > 0) {
        MarkWritten(voice_, 0, bytes2);
    }
    return DS_OK;
}

// The primary buffer stands for the device: playing it changes nothing (the
// device runs while the object lives), and its format is the device's.
class PrimaryBuffer final
    : public RefCounted<PrimaryBuffer, IDirectSoundBuffer, &IID_IDirectSoundBuffer> {
  public:
    explicit PrimaryBuffer(std::shared_ptr<Session> session) : session_(std::move(session)) {}

    HRESULT GetCurrentPosition(LPDWORD, LPDWORD) override { return DSERR_INVALIDCALL; }
    HRESULT GetStatus(LPDWORD status) override {
        if (status == nullptr) {
            return DSERR_INVALIDPARAM;
        }
        *status = playing_ ? DSBSTATUS_PLAYING | DSBSTATUS_LOOPING : 0;
        return DS_OK;
    }
    HRESULT Lock(DWORD, DWORD, LPVOID*, LPDWORD, LPVOID*, LPDWORD, DWORD) override {
        return DSERR_INVALIDCALL;
    }
    HRESULT Play(DWORD reserved1, DWORD priority, DWORD flags) override {
        if (reserved1 != 0 || priority != 0 || flags != DSBPLAY_LOOPING) {
            return DSERR_INVALIDPARAM;
        }
        playing_ = true;
        return DS_OK;
    }
    HRESULT SetCurrentPosition(DWORD) override { return DSERR_INVALIDCALL; }
    HRESULT SetFormat(LPCWAVEFORMATEX format) override {
        if (format == nullptr) {
            return DSERR_INVALIDPARAM;
        }
        if (session_->level < DSSCL_PRIORITY) {
            return DSERR_PRIOLEVELNEEDED;
        }
        if (!IsPlayableFormat(*format)) {
            return DSERR_BADFORMAT;
        }
        DeviceFormat device;
        device.rate = format->nSamplesPerSec;
        device.channels = format->nChannels;
        device.bits = format->wBitsPerSample;
        return session_->ChangeFormat(device);
    }
    HRESULT SetVolume(LONG) override { return DSERR_CONTROLUNAVAIL; }
    HRESULT SetPan(LONG) override { return DSERR_CONTROLUNAVAIL; }
    HRESULT SetFrequency(DWORD) override { return DSERR_CONTROLUNAVAIL; }
    HRESULT Stop() override {
        playing_ = false;
        return DS_OK;
    }
    HRESULT Unlock(LPVOID, DWORD, LPVOID, DWORD) override { return DSERR_INVALIDCALL; }

  private:
    std::shared_ptr<Session> session_;
    std::atomic<bool> playing_{false};
};

}  // namespace

bool IsPlayableFormat(const WAVEFORMATEX& format) {
    if (format.wFormatTag != WAVE_FORMAT_PCM) {
        return false;
    }
    if (format.nChannels < 1 || format.nChannels > 2) {
        return false;
    }
    if (format.wBitsPerSample != 8 && format.wBitsPerSample != 16) {
        return false;
    }
    if (format.nBlockAlign != format.nChannels * format.wBitsPerSample / 8) {
        return false;
    }
    return format.nSamplesPerSec >= DSBFREQUENCY_MIN && format.nSamplesPerSec <= DSBFREQUENCY_MAX;
}

HRESULT CreateSecondaryBuffer(const std::shared_ptr<Session>& session, const DSBUFFERDESC& desc,
                              LPDIRECTSOUNDBUFFER* buffer) {
    if ((desc.dwFlags & ~kSecondaryFlags) != 0 || desc.lpwfxFormat == nullptr ||
        desc.dwBufferBytes < DSBSIZE_MIN || desc.dwBufferBytes > DSBSIZE_MAX) {
        return DSERR_INVALIDPARAM;
    }
    const WAVEFORMATEX& format = *desc.lpwfxFormat;
    if (!IsPlayableFormat(format)) {
        return DSERR_BADFORMAT;
    }
    if (desc.dwBufferBytes < format.nBlockAlign) {
        return DSERR_INVALIDPARAM;
    }
    Voice voice;
    try {
        voice.samples = std::make_shared<SampleStore>();
        // Silence: 128 for unsigned 8-bit samples, 0 for 16-bit ones.
        int16_t silence = format.wBitsPerSample == 8 ? int16_t{-32640} : int16_t{0};
        voice.samples->words.assign((desc.dwBufferBytes + 1) / 2, silence);
    } catch (const std::bad_alloc&) {
        return DSERR_OUTOFMEMORY;
    }
    voice.samples->size = desc.dwBufferBytes;
    voice.channels = format.nChannels;
    voice.bits = format.wBitsPerSample;
    voice.blockAlign = format.nBlockAlign;
    voice.ownRate = format.nSamplesPerSec;
    voice.frequency = format.nSamplesPerSec;
    voice.frames = desc.dwBufferBytes / format.nBlockAlign;
    voice.controls = desc.dwFlags;
    *buffer = new SoundBuffer(session, voice);
    return DS_OK;
}

HRESULT DuplicateBuffer(const std::shared_ptr<Session>& session, LPDIRECTSOUNDBUFFER original,
                        LPDIRECTSOUNDBUFFER* duplicate) {
    auto* source = dynamic_cast<SoundBuffer*>(original);
    if (source == nullptr || source->Owner() != session.get()) {
        return DSERR_INVALIDCALL;
    }
    *duplicate = new SoundBuffer(session, source->Duplicate());
    return DS_OK;
}

LPDIRECTSOUNDBUFFER CreatePrimaryBuffer(const std::shared_ptr<Session>& session) {
    return new PrimaryBuffer(session);
}

}  // namespace platform::dsound
