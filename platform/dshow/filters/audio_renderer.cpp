// The audio renderer: plays 8- or 16-bit PCM through the platform's sound
// mixer, in a looping secondary buffer of one second that it keeps ahead
// of the play cursor. Samples are written as they come, blocking while the
// buffer is full, so the mixer paces the stream; the end is reported once
// what was written has been played. Without a sound device it takes the
// samples on the clock and drops them, so that a graph still runs.
//
// Routes: the type it takes, the device (OpenDevice, CloseDevice), state
// changes (Pause, Run, Stop, the flushes), the ring (Pending, WaitUntil,
// WriteRing, Receive, EndOfStream), the volume and balance.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "platform/dshow/filters/media_filters_internal.h"
#include "platform/dshow_testing.h"
#include "platform/dsound.h"

namespace platform::dshow {

namespace {

// How often a writer waiting for room looks at the play cursor again.
constexpr auto kCursorPoll = std::chrono::milliseconds(4);

class AudioRenderer final : public CBaseRenderer, public IBasicAudio {
  public:
    AudioRenderer() : CBaseRenderer(CLSID_DSoundRender, "Audio Renderer", nullptr, &made_) {}
    ~AudioRenderer() override { CloseDevice(); }

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override {
        if (IsEqualGUID(iid, IID_IBasicAudio)) {
            return GetInterface(static_cast<IBasicAudio*>(this), object);
        }
        return CBaseRenderer::NonDelegatingQueryInterface(iid, object);
    }

    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT SetMediaType(const CMediaType* type) override;
    HRESULT DoRenderSample(IMediaSample* sample) override {
        (void)sample;  // only without a device: the sample is dropped on time
        return S_OK;
    }
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME start) override;

    HRESULT put_Volume(LONG volume) override;
    HRESULT get_Volume(LONG* volume) override;
    HRESULT put_Balance(LONG balance) override;
    HRESULT get_Balance(LONG* balance) override;

    IDirectSound8* Sound() const { return sound_; }
    DWORD Queued();

  private:
    bool OpenDevice();
    void CloseDevice();
    // Bytes written and not yet played; under ringMutex_.
    DWORD Pending();
    // Waits until `ready` holds or the renderer stops or flushes.
    template <class Ready>
    bool WaitUntil(Ready ready);
    void WriteRing(const BYTE* data, DWORD bytes);

    HRESULT made_ = S_OK;
    WAVEFORMATEX format_{};
    IDirectSound8* sound_ = nullptr;        // set while paused or stopped
    IDirectSoundBuffer* buffer_ = nullptr;  // likewise
    DWORD ringBytes_ = 0;
    LONG volume_ = 0;
    LONG balance_ = 0;

    std::mutex ringMutex_;
    std::condition_variable ringChanged_;
    bool aborting_ = false;  // under ringMutex_: stopping or flushing
    DWORD writeOffset_ = 0;  // under ringMutex_
    DWORD lastCursor_ = 0;   // under ringMutex_
    DWORD pending_ = 0;      // under ringMutex_
};

HRESULT AudioRenderer::CheckMediaType(const CMediaType* type) {
    if (type->majortype != MEDIATYPE_Audio || type->subtype != MEDIASUBTYPE_PCM ||
        type->formattype != FORMAT_WaveFormatEx || type->pbFormat == nullptr ||
        type->cbFormat < sizeof(WAVEFORMATEX) - sizeof(WORD)) {
        return S_FALSE;
    }
    WAVEFORMATEX format{};
    std::memcpy(&format, type->pbFormat, std::min<size_t>(type->cbFormat, sizeof(format)));
    bool plain =
        format.wFormatTag == WAVE_FORMAT_PCM && format.nChannels >= 1 && format.nChannels <= 2 &&
        (format.wBitsPerSample == 8 || format.wBitsPerSample == 16) &&
        format.nBlockAlign == format.nChannels * format.wBitsPerSample / 8 &&
        format.nSamplesPerSec >= DSBFREQUENCY_MIN && format.nSamplesPerSec <= DSBFREQUENCY_MAX;
    return plain ? S_OK : S_FALSE;
}

HRESULT AudioRenderer::SetMediaType(const CMediaType* type) {
    std::memcpy(&format_, type->pbFormat, std::min<size_t>(type->cbFormat, sizeof(format_)));
    format_.nAvgBytesPerSec = format_.nSamplesPerSec * format_.nBlockAlign;
    format_.cbSize = 0;
    return CBaseRenderer::SetMediaType(type);
}

bool AudioRenderer::OpenDevice() {
    if (buffer_ != nullptr) {
        return true;
    }
    void* sound = nullptr;
    if (FAILED(CoCreateInstance(CLSID_DirectSound8, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IDirectSound8, &sound))) {
        return false;
    }
    sound_ = static_cast<IDirectSound8*>(sound);
    ringBytes_ = format_.nAvgBytesPerSec - format_.nAvgBytesPerSec % format_.nBlockAlign;
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof(desc);
    desc.dwFlags =
        DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN | DSBCAPS_GLOBALFOCUS | DSBCAPS_GETCURRENTPOSITION2;
    desc.dwBufferBytes = ringBytes_;
    desc.lpwfxFormat = &format_;
    if (FAILED(sound_->Initialize(nullptr)) ||
        FAILED(sound_->SetCooperativeLevel(nullptr, DSSCL_PRIORITY)) ||
        FAILED(sound_->CreateSoundBuffer(&desc, &buffer_, nullptr))) {
        CloseDevice();
        return false;
    }
    buffer_->SetVolume(volume_);
    buffer_->SetPan(balance_);
    return true;
}

void AudioRenderer::CloseDevice() {
    if (buffer_ != nullptr) {
        buffer_->Stop();
        buffer_->Release();
        buffer_ = nullptr;
    }
    if (sound_ != nullptr) {
        sound_->Release();
        sound_ = nullptr;
    }
}

HRESULT AudioRenderer::Pause() {
    CAutoLock lock(&m_InterfaceLock);
    if (m_State == State_Stopped) {
        if (m_pInputPin->IsConnected()) {
            OpenDevice();
        }
        std::lock_guard<std::mutex> ring(ringMutex_);
        aborting_ = false;
    } else if (buffer_ != nullptr) {
        buffer_->Stop();
    }
    return CBaseRenderer::Pause();
}

HRESULT AudioRenderer::Run(REFERENCE_TIME start) {
    CAutoLock lock(&m_InterfaceLock);
    HRESULT result = CBaseRenderer::Run(start);
    if (SUCCEEDED(result) && buffer_ != nullptr) {
        buffer_->Play(0, 0, DSBPLAY_LOOPING);
    }
    return result;
}

HRESULT AudioRenderer::Stop() {
    {
        std::lock_guard<std::mutex> ring(ringMutex_);
        aborting_ = true;
    }
    ringChanged_.notify_all();
    HRESULT result = CBaseRenderer::Stop();
    CAutoLock lock(&m_InterfaceLock);
    if (buffer_ != nullptr) {
        buffer_->Stop();
        buffer_->SetCurrentPosition(0);
    }
    std::lock_guard<std::mutex> ring(ringMutex_);
    writeOffset_ = 0;
    lastCursor_ = 0;
    pending_ = 0;
    return result;
}

HRESULT AudioRenderer::BeginFlush() {
    {
        std::lock_guard<std::mutex> ring(ringMutex_);
        aborting_ = true;
    }
    ringChanged_.notify_all();
    return CBaseRenderer::BeginFlush();
}

HRESULT AudioRenderer::EndFlush() {
    {
        std::lock_guard<std::mutex> ring(ringMutex_);
        aborting_ = false;
    }
    return CBaseRenderer::EndFlush();
}

DWORD AudioRenderer::Pending() {
    DWORD cursor = 0;
    DWORD safe = 0;
    buffer_->GetCurrentPosition(&cursor, &safe);
    DWORD played = (cursor + ringBytes_ - lastCursor_) % ringBytes_;
    lastCursor_ = cursor;
    if (played > 0 && played >= pending_) {
        // The stream fell behind and the buffer played on into silence: the
        // next bytes go where the mixer can still take them.
        writeOffset_ = safe - safe % format_.nBlockAlign;
    }
    pending_ = played >= pending_ ? 0 : pending_ - played;
    return pending_;
}

DWORD AudioRenderer::Queued() {
    std::lock_guard<std::mutex> lock(ringMutex_);
    return buffer_ != nullptr ? Pending() : 0;
}

template <class Ready>
bool AudioRenderer::WaitUntil(Ready ready) {
    std::unique_lock<std::mutex> lock(ringMutex_);
    while (!aborting_ && !ready()) {
        ringChanged_.wait_for(lock, kCursorPoll);
    }
    return !aborting_;
}

void AudioRenderer::WriteRing(const BYTE* data, DWORD bytes) {
    void* parts[2] = {};
    DWORD sizes[2] = {};
    if (FAILED(buffer_->Lock(writeOffset_, bytes, &parts[0], &sizes[0], &parts[1], &sizes[1], 0))) {
        return;
    }
    std::memcpy(parts[0], data, sizes[0]);
    if (parts[1] != nullptr) {
        std::memcpy(parts[1], data + sizes[0], sizes[1]);
    }
    buffer_->Unlock(parts[0], sizes[0], parts[1], sizes[1]);
    writeOffset_ = (writeOffset_ + bytes) % ringBytes_;
    pending_ += bytes;
    // What follows is silenced, so that a late stream leaves a gap rather
    // than replaying the last second.
    DWORD quiet = std::min(ringBytes_ - pending_, format_.nAvgBytesPerSec / 4);
    if (quiet > 0 && SUCCEEDED(buffer_->Lock(writeOffset_, quiet, &parts[0], &sizes[0], &parts[1],
                                             &sizes[1], 0))) {
        BYTE silence = format_.wBitsPerSample == 8 ? 0x80 : 0;
        std::memset(parts[0], silence, sizes[0]);
        if (parts[1] != nullptr) {
            std::memset(parts[1], silence, sizes[1]);
        }
        buffer_->Unlock(parts[0], sizes[0], parts[1], sizes[1]);
    }
}

HRESULT AudioRenderer::Receive(IMediaSample* sample) {
    if (buffer_ == nullptr) {
        return CBaseRenderer::Receive(sample);
    }
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    DWORD left = static_cast<DWORD>(std::max<LONG>(0, sample->GetActualDataLength()));
    left -= left % format_.nBlockAlign;
    while (left > 0) {
        DWORD room = 0;
        if (!WaitUntil([&] {
                room = ringBytes_ - Pending();
                return room >= format_.nBlockAlign;
            })) {
            HRESULT state = m_pInputPin->CheckStreaming();
            return state != S_OK ? state : S_FALSE;
        }
        std::lock_guard<std::mutex> lock(ringMutex_);
        DWORD part = std::min(left, room - room % format_.nBlockAlign);
        WriteRing(data, part);
        data += part;
        left -= part;
    }
    return S_OK;
}

HRESULT AudioRenderer::EndOfStream() {
    if (buffer_ != nullptr && !WaitUntil([&] { return Pending() == 0; })) {
        return S_OK;  // stopped or flushed before it played out
    }
    return CBaseRenderer::EndOfStream();
}

HRESULT AudioRenderer::put_Volume(LONG volume) {
    if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX) {
        return E_INVALIDARG;
    }
    CAutoLock lock(&m_InterfaceLock);
    volume_ = volume;
    return buffer_ != nullptr ? buffer_->SetVolume(volume) : S_OK;
}

HRESULT AudioRenderer::get_Volume(LONG* volume) {
    if (volume == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(&m_InterfaceLock);
    *volume = volume_;
    return S_OK;
}

HRESULT AudioRenderer::put_Balance(LONG balance) {
    if (balance < DSBPAN_LEFT || balance > DSBPAN_RIGHT) {
        return E_INVALIDARG;
    }
    CAutoLock lock(&m_InterfaceLock);
    balance_ = balance;
    return buffer_ != nullptr ? buffer_->SetPan(balance) : S_OK;
}

HRESULT AudioRenderer::get_Balance(LONG* balance) {
    if (balance == nullptr) {
        return E_POINTER;
    }
    CAutoLock lock(&m_InterfaceLock);
    *balance = balance_;
    return S_OK;
}

}  // namespace

IBaseFilter* CreateAudioRenderer() {
    auto* renderer = new AudioRenderer();
    renderer->NonDelegatingAddRef();
    return renderer;
}

}  // namespace platform::dshow

namespace platform {

IDirectSound8* AudioRendererSound(IBaseFilter* filter) {
    auto* renderer = dynamic_cast<dshow::AudioRenderer*>(filter);
    return renderer != nullptr ? renderer->Sound() : nullptr;
}

DWORD AudioRendererQueuedBytes(IBaseFilter* filter) {
    auto* renderer = dynamic_cast<dshow::AudioRenderer*>(filter);
    return renderer != nullptr ? renderer->Queued() : 0;
}

}  // namespace platform
