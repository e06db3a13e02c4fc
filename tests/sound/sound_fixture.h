// A sound system attached to a test-mode device through a proxy that can
// refuse buffer creation and duplication from a chosen call on, for the
// tables' and buffers' tests.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "platform/dsound.h"
#include "platform/dsound_testing.h"
#include "sound/sound_testing.h"
#include "tests/platform/dsound_fixture.h"

namespace soundtest {

using dsoundtest::Pcm;

// Forwards to the real device; counts and can refuse creates and duplicates.
class DeviceProxy final : public IDirectSound8 {
  public:
    explicit DeviceProxy(IDirectSound8* real) : real_(real) {}
    HRESULT QueryInterface(REFIID iid, void** object) override {
        return real_->QueryInterface(iid, object);
    }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT CreateSoundBuffer(LPCDSBUFFERDESC desc, LPDIRECTSOUNDBUFFER* buffer,
                              LPUNKNOWN outer) override {
        createFlags.push_back(desc->dwFlags);
        createBytes.push_back(desc->dwBufferBytes);
        if (refuseFlags != 0 && (desc->dwFlags == refuseFlags || refuseFlags == ~0u))
            return DSERR_GENERIC;
        return real_->CreateSoundBuffer(desc, buffer, outer);
    }
    HRESULT GetCaps(LPDSCAPS caps) override { return real_->GetCaps(caps); }
    HRESULT DuplicateSoundBuffer(LPDIRECTSOUNDBUFFER original,
                                 LPDIRECTSOUNDBUFFER* duplicate) override {
        ++duplicates;
        if (refuseDuplicateFrom > 0 && duplicates >= refuseDuplicateFrom)
            return DSERR_GENERIC;
        return real_->DuplicateSoundBuffer(original, duplicate);
    }
    HRESULT SetCooperativeLevel(HWND window, DWORD level) override {
        return real_->SetCooperativeLevel(window, level);
    }
    HRESULT Initialize(const GUID* device) override { return real_->Initialize(device); }

    std::vector<DWORD> createFlags;
    std::vector<DWORD> createBytes;
    DWORD refuseFlags = 0;  // these flags fail; ~0u: every create fails
    int duplicates = 0;
    int refuseDuplicateFrom = 0;  // the n-th duplicate (1-based) and later fail

  private:
    IDirectSound8* real_;
};

class SoundTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::SetDirectSoundTestMode(true);
        void* object = nullptr;
        ASSERT_EQ(CoCreateInstance(CLSID_DirectSound8, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IDirectSound8, &object),
                  S_OK);
        real = static_cast<IDirectSound8*>(object);
        ASSERT_EQ(real->Initialize(nullptr), DS_OK);
        ASSERT_EQ(real->SetCooperativeLevel(nullptr, DSSCL_PRIORITY), DS_OK);
        proxy = new DeviceProxy(real);
        tessel::AttachSoundSystemForTest(proxy);
    }
    void TearDown() override {
        tessel::DetachSoundSystemForTest();
        delete proxy;
        real->Release();
        platform::SetDirectSoundTestMode(false);
    }

    IDirectSound8* real = nullptr;
    DeviceProxy* proxy = nullptr;
};

}  // namespace soundtest
