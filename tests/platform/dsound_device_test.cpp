// DirectSound on a real SDL device (the dummy driver under the tests): the
// object's life as the sound system starts it, the module's enumeration,
// sound actually mixed by the device's thread, and buffers released on other
// threads while the callback mixes.
#include <SDL.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/dsound.h"
#include "platform/dsound_testing.h"
#include "platform/kernel.h"
#include "platform/kernel_testing.h"
#include "tests/platform/dsound_fixture.h"

using dsoundtest::Pcm;

namespace {

IDirectSound8* CreateObject() {
    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_DirectSound8, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectSound8,
                               &object),
              S_OK);
    return static_cast<IDirectSound8*>(object);
}

IDirectSoundBuffer* CreateBuffer(IDirectSound8* sound, const WAVEFORMATEX& format, DWORD bytes,
                                 DWORD flags) {
    WAVEFORMATEX copy = format;
    DSBUFFERDESC desc = {};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = flags;
    desc.dwBufferBytes = bytes;
    desc.lpwfxFormat = flags & DSBCAPS_PRIMARYBUFFER ? nullptr : &copy;
    IDirectSoundBuffer* buffer = nullptr;
    EXPECT_EQ(sound->CreateSoundBuffer(&desc, &buffer, nullptr), DS_OK);
    return buffer;
}

// Waits (generously) until `done` holds; false on time-out.
template <class Condition>
bool WaitFor(Condition done) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > 20000) {
            return false;
        }
        Sleep(1);
    }
    return true;
}

DWORD PlayCursor(IDirectSoundBuffer* buffer) {
    DWORD play = 0;
    buffer->GetCurrentPosition(&play, nullptr);
    return play;
}

DWORD Status(IDirectSoundBuffer* buffer) {
    DWORD status = 0;
    buffer->GetStatus(&status);
    return status;
}

TEST(DirectSoundDevice, StartsAndPlaysAsTheSoundSystemUsesIt) {
    platform::SetDirectSoundTestMode(false);
    IDirectSound8* sound = CreateObject();
    ASSERT_NE(sound, nullptr);
    DSCAPS caps = {};
    caps.dwSize = sizeof(caps);
    EXPECT_EQ(sound->GetCaps(&caps), DSERR_UNINITIALIZED);
    EXPECT_EQ(sound->SetCooperativeLevel(nullptr, DSSCL_PRIORITY), DSERR_UNINITIALIZED);
    GUID other = IID_IDirectSound8;
    EXPECT_EQ(sound->Initialize(&other), DSERR_NODRIVER);
    ASSERT_EQ(sound->Initialize(nullptr), DS_OK);
    EXPECT_EQ(sound->Initialize(nullptr), DSERR_ALREADYINITIALIZED);

    IDirectSoundBuffer* primary = CreateBuffer(sound, {}, 0, DSBCAPS_PRIMARYBUFFER);
    ASSERT_NE(primary, nullptr);
    WAVEFORMATEX format = Pcm(2, 16, 44100);
    EXPECT_EQ(primary->SetFormat(&format), DSERR_PRIOLEVELNEEDED);
    IDirectSoundBuffer* early =
        CreateBuffer(sound, Pcm(1, 16, 22050), 100, dsoundtest::kEffectFlags);
    EXPECT_EQ(early->Play(0, 0, 0), DSERR_PRIOLEVELNEEDED);
    early->Release();
    EXPECT_EQ(sound->SetCooperativeLevel(nullptr, 0), DSERR_INVALIDPARAM);
    ASSERT_EQ(sound->SetCooperativeLevel(nullptr, DSSCL_PRIORITY), DS_OK);

    caps.dwSize = sizeof(caps) - 1;
    EXPECT_EQ(sound->GetCaps(&caps), DSERR_INVALIDPARAM);
    caps.dwSize = sizeof(caps);
    ASSERT_EQ(sound->GetCaps(&caps), DS_OK);
    EXPECT_EQ(caps.dwFlags & 0xF0Fu, 0xF0Fu);  // every primary and secondary format
    EXPECT_EQ(caps.dwMinSecondarySampleRate, DSBFREQUENCY_MIN);
    EXPECT_EQ(caps.dwMaxSecondarySampleRate, DSBFREQUENCY_MAX);
    EXPECT_EQ(caps.dwPrimaryBuffers, 1u);
    EXPECT_EQ(caps.dwTotalHwMemBytes, 0u);

    WAVEFORMATEX wide = Pcm(3, 16, 44100);
    EXPECT_EQ(primary->SetFormat(&wide), DSERR_BADFORMAT);
    WAVEFORMATEX mono = Pcm(1, 16, 22050);
    ASSERT_EQ(primary->SetFormat(&mono), DS_OK);  // reopens the device
    ASSERT_EQ(primary->SetFormat(&format), DS_OK);
    WAVEFORMATEX device = {};
    ASSERT_TRUE(platform::GetDirectSoundDeviceFormat(sound, &device));
    EXPECT_EQ(device.nChannels, 2);
    EXPECT_EQ(device.nSamplesPerSec, 44100u);
    EXPECT_EQ(device.wBitsPerSample, 16);
    EXPECT_EQ(primary->Play(0, 0, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(primary->Play(0, 0, DSBPLAY_LOOPING), DS_OK);

    // The silence buffer keeps the device running; its cursor moves.
    IDirectSoundBuffer* silence = CreateBuffer(sound, format, 400, 0x10002u);
    ASSERT_EQ(silence->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    DWORD start = PlayCursor(silence);
    EXPECT_TRUE(WaitFor([&] { return PlayCursor(silence) != start; }));
    EXPECT_EQ(platform::AdvanceDirectSoundMixer(sound, 1, &start), -1);  // the device mixes

    // A short effect plays to its end on the device's thread.
    IDirectSoundBuffer* effect = CreateBuffer(sound, Pcm(1, 8, 22050), 2205, 0x80E2u);
    ASSERT_EQ(effect->Play(0, 0, 0), DS_OK);
    EXPECT_TRUE(WaitFor([&] { return Status(effect) == 0; }));
    EXPECT_EQ(PlayCursor(effect), 0u);

    effect->Release();
    silence->Stop();
    silence->Release();
    primary->Stop();
    primary->Release();
    EXPECT_EQ(sound->Release(), 0u);
}

struct Listed {
    int count = 0;
    bool nullGuid = false;
    std::string description;
    std::string module;
};

BOOL CollectDevice(GUID* device, LPCSTR description, LPCSTR module, LPVOID context) {
    auto* listed = static_cast<Listed*>(context);
    ++listed->count;
    listed->nullGuid = device == nullptr;
    listed->description = description;
    listed->module = module;
    return TRUE;
}

TEST(DirectSoundDevice, TheModuleListsOneDeviceNamedAfterSdls) {
    HMODULE module = LoadLibraryA("DSOUND.DLL");
    ASSERT_NE(module, nullptr);
    FARPROC entry = GetProcAddress(module, "DirectSoundEnumerateA");
    ASSERT_NE(entry, nullptr);
    using Enumerate = HRESULT (*)(LPDSENUMCALLBACKA, LPVOID);
    auto call = reinterpret_cast<Enumerate>(reinterpret_cast<void*>(entry));
    Listed listed;
    ASSERT_EQ(call(CollectDevice, &listed), DS_OK);
    EXPECT_EQ(listed.count, 1);
    EXPECT_TRUE(listed.nullGuid);
    EXPECT_EQ(listed.module, std::getenv("SDL_AUDIODRIVER"));
    EXPECT_FALSE(listed.description.empty());
    EXPECT_EQ(call(nullptr, nullptr), DSERR_INVALIDPARAM);
    FreeLibrary(module);

    platform::SetModuleAbsent("dsound.dll", true);
    EXPECT_EQ(LoadLibraryA("DSOUND.DLL"), nullptr);
    platform::SetModuleAbsent("dsound.dll", false);
}

TEST(DirectSoundDevice, AnAudioDriverSdlLacksLeavesNoDevice) {
    std::string kept =
        std::getenv("SDL_AUDIODRIVER") != nullptr ? std::getenv("SDL_AUDIODRIVER") : "";
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    platform::SetDirectSoundTestMode(false);
    IDirectSound8* sound = CreateObject();
    EXPECT_EQ(sound->Initialize(nullptr), DSERR_NODRIVER);
    IDirectSoundBuffer* buffer = reinterpret_cast<IDirectSoundBuffer*>(1);
    DSBUFFERDESC desc = {};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DSBCAPS_PRIMARYBUFFER;
    EXPECT_EQ(sound->CreateSoundBuffer(&desc, &buffer, nullptr), DSERR_UNINITIALIZED);
    EXPECT_EQ(buffer, nullptr);
    sound->Release();
    setenv("SDL_AUDIODRIVER", kept.c_str(), 1);
}

// Four threads make, play, duplicate and release buffers (often while they
// play) until the mixer has made `passes` passes and each thread has done
// 400 rounds; `passesDone` tells how many passes the mixer has made.
template <class Passes>
void ReleaseWhileMixing(IDirectSound8* sound, int passes, Passes passesDone) {
    std::vector<std::thread> workers;
    std::atomic<int> releasedPlaying{0};
    for (int t = 0; t < 4; ++t) {
        workers.emplace_back([&, t] {
            std::vector<int16_t> samples(2048, static_cast<int16_t>(1000 * (t + 1)));
            for (int i = 0; i < 400 || passesDone() < passes; ++i) {
                IDirectSoundBuffer* buffer =
                    CreateBuffer(sound, Pcm(1, 16, 22050 + 1000 * t), 4096, 0x80E2u);
                void* part = nullptr;
                DWORD bytes = 0;
                buffer->Lock(0, 4096, &part, &bytes, nullptr, nullptr, 0);
                std::memcpy(part, samples.data(), bytes);
                buffer->Unlock(part, bytes, nullptr, 0);
                buffer->SetVolume(-100 * t);
                buffer->SetPan(1000 * t - 2000);
                buffer->Play(0, 0, (i & 1) ? DSBPLAY_LOOPING : 0);
                IDirectSoundBuffer* copy = nullptr;
                sound->DuplicateSoundBuffer(buffer, &copy);
                copy->Play(0, 0, 0);
                std::this_thread::yield();
                if (Status(buffer) & DSBSTATUS_PLAYING) {
                    ++releasedPlaying;
                }
                buffer->Release();
                copy->SetFrequency(30000);
                copy->Release();
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    EXPECT_GE(passesDone(), passes);
    EXPECT_GT(releasedPlaying.load(), 0);
}

TEST(DirectSoundDevice, BuffersReleasedOnOtherThreadsWhileTheCallbackMixes) {
    platform::SetDirectSoundTestMode(false);
    platform::SetDirectSoundPeriodFrames(64);  // many short passes
    IDirectSound8* sound = CreateObject();
    ASSERT_EQ(sound->Initialize(nullptr), DS_OK);
    ASSERT_EQ(sound->SetCooperativeLevel(nullptr, DSSCL_PRIORITY), DS_OK);
    IDirectSoundBuffer* clock = CreateBuffer(sound, Pcm(2, 16, 44100), 4000, 0x180E2u);
    ASSERT_EQ(clock->Play(0, 0, DSBPLAY_LOOPING), DS_OK);

    // The clock's cursor moves once per pass of the device's callback.
    std::atomic<int> passesSeen{0};
    std::atomic<bool> stop{false};
    std::thread watcher([&] {
        DWORD last = PlayCursor(clock);
        while (!stop) {
            DWORD now = PlayCursor(clock);
            if (now != last) {
                ++passesSeen;
                last = now;
            }
            std::this_thread::yield();
        }
    });
    ReleaseWhileMixing(sound, 40, [&] { return passesSeen.load(); });
    stop = true;
    watcher.join();
    // The mixer still runs after all that.
    DWORD start = PlayCursor(clock);
    EXPECT_TRUE(WaitFor([&] { return PlayCursor(clock) != start; }));
    clock->Release();
    sound->Release();
    platform::SetDirectSoundPeriodFrames(512);
}

// The same with the mixer driven by a thread of the test, which the race
// detector watches whole (SDL's own thread it is told to overlook).
TEST(DirectSoundDevice, BuffersReleasedOnOtherThreadsWhileAThreadMixes) {
    platform::SetDirectSoundTestMode(true);
    IDirectSound8* sound = CreateObject();
    ASSERT_EQ(sound->Initialize(nullptr), DS_OK);
    ASSERT_EQ(sound->SetCooperativeLevel(nullptr, DSSCL_PRIORITY), DS_OK);
    std::atomic<int> passes{0};
    std::atomic<bool> stop{false};
    std::thread mixing([&] {
        std::vector<int16_t> out(2 * 64);
        while (!stop) {
            platform::AdvanceDirectSoundMixer(sound, 64, out.data());
            ++passes;
            std::this_thread::yield();
        }
    });
    ReleaseWhileMixing(sound, 200, [&] { return passes.load(); });
    stop = true;
    mixing.join();
    sound->Release();
    platform::SetDirectSoundTestMode(false);
}

}  // namespace
