// Loading a sound from any bytes and playing it through a test-mode device:
// the first byte picks the load mode (whole, or streamed from the image), the
// play type and whether a loop point is set; the rest is the file image. What
// loads is played for a second and a half, the sound thread's pass running
// every 30 ms of mixed sound, and deleted.
#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_target.h"
#include "platform/com.h"
#include "platform/dsound.h"
#include "platform/dsound_testing.h"
#include "sound/handles/sound_table.h"
#include "sound/play/sound_calls.h"
#include "sound/sound_testing.h"
#include "sound/system/sound_thread.h"

namespace {

// One test-mode device and sound system for the program's life.
IDirectSound8* Device() {
    static IDirectSound8* device = [] {
        platform::SetDirectSoundTestMode(true);
        void* object = nullptr;
        CoCreateInstance(CLSID_DirectSound8, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectSound8,
                         &object);
        auto* sound = static_cast<IDirectSound8*>(object);
        sound->Initialize(nullptr);
        sound->SetCooperativeLevel(nullptr, DSSCL_PRIORITY);
        platform::SetDirectSoundTestMode(false);
        tessel::AttachSoundSystemForTest(sound);
        return sound;
    }();
    return device;
}

}  // namespace

TESSEL_FUZZ_TARGET(sound_stream) {
    if (size < 1) {
        return 0;
    }
    IDirectSound8* device = Device();
    const uint8_t choice = data[0];
    tessel_fuzz::ExactCopy copy(data + 1, size - 1);
    tessel::SetSoundLoadMode((choice & 1) != 0 ? tessel::kLoadFileImage : tessel::kLoadWhole);
    const int handle = tessel::LoadSoundFromImage(copy.bytes.get(), static_cast<int>(size - 1),
                                                  1 + (choice >> 5), -1);
    tessel::SetSoundLoadMode(tessel::kLoadWhole);
    if (handle == -1) {
        return 0;
    }
    const int64_t length = tessel::GetSoundLengthSamples(handle);
    if ((choice & 2) != 0 && length > 1) {
        tessel::SetLoopPointSamples(length / 2, handle);
    }
    tessel::PlaySoundHandle(handle, (choice & 4) != 0 ? tessel::kPlayLooping : tessel::kPlayOnce,
                            (choice >> 3) & 1);
    static int16_t mixed[1323 * 2];
    for (int pass = 0; pass < 50; ++pass) {
        platform::AdvanceDirectSoundMixer(device, 1323, mixed);
        tessel::RunSoundThreadPass();
        tessel_fuzz::sink = tessel_fuzz::sink + mixed[pass] +
                            static_cast<uint32_t>(tessel::GetSoundPositionMs(handle));
    }
    tessel::StopSoundHandle(handle);
    tessel::DeleteSoundHandle(handle);
    return 0;
}
