// The sound system in music mode 1, over DirectMusic objects of the test's
// own (the platform has none): the start through the performance's audio
// with its port log, the fall-back to DirectSound without a loader, a
// failure at each later step, the segment poll, stop and delete of a music,
// and an end that releases every object.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "foundation/memory/memory.h"
#include "platform/com.h"
#include "platform/dmusic.h"
#include "platform/dsound_testing.h"
#include "sound/sound_system_internal.h"
#include "sound/sound_testing.h"
#include "sound/system/sound_system.h"
#include "tests/foundation/files/files_test_support.h"

namespace {

using namespace tessel;

// What the fakes saw, and whether DirectMusic is there at all.
struct MusicWorld {
    bool present = false;
    int live = 0;  // fake objects not yet released
    int closeDowns = 0;
    int stopsAll = 0;
    std::vector<IDirectMusicSegment8*> stopped;
    std::map<IDirectMusicSegment8*, bool> sounding;
    int unloads = 0;
    int loaderReleases = 0;
    LONG masterVolume = -1;
    DWORD pathType = 0;
    DWORD channels = 0;
    DWORD features = 0;
    DWORD sampleRate = 0;
    HWND audioWindow = reinterpret_cast<HWND>(1);
};
MusicWorld g_world;

template <class Object, class Interface, const IID*... answers>
class Fake : public platform::RefCounted<Object, Interface, answers...> {
  protected:
    Fake() { ++g_world.live; }
    ~Fake() { --g_world.live; }
};

class FakeSegment final : public Fake<FakeSegment, IDirectMusicSegment8> {
  public:
    HRESULT Unload(IUnknown*) override {
        ++g_world.unloads;
        return S_OK;
    }
};

class FakeLoader final : public Fake<FakeLoader, IDirectMusicLoader8, &IID_IDirectMusicLoader8> {
  public:
    HRESULT ReleaseObjectByUnknown(IUnknown*) override {
        ++g_world.loaderReleases;
        return S_OK;
    }
};

class FakeMusic final
    : public Fake<FakeMusic, IDirectMusic8, &IID_IDirectMusic, &IID_IDirectMusic8> {
  public:
    HRESULT EnumPort(DWORD index, LPDMUS_PORTCAPS caps) override {
        const char16_t* names[] = {u"Synth ポート", u"MIDI in"};
        if (index >= 2)
            return S_FALSE;
        caps->dwClass = index == 0 ? DMUS_PC_OUTPUTCLASS : 0;
        for (int i = 0; names[index][i] != 0; ++i)
            caps->wszDescription[i] = static_cast<WCHAR>(names[index][i]);
        return S_OK;
    }
};

class FakePerformance final
    : public Fake<FakePerformance, IDirectMusicPerformance8, &IID_IDirectMusicPerformance8> {
  public:
    HRESULT Stop(IDirectMusicSegment8* segment, IDirectMusicSegmentState*, MUSIC_TIME,
                 DWORD) override {
        if (segment == nullptr)
            ++g_world.stopsAll;
        else
            g_world.stopped.push_back(segment);
        return S_OK;
    }
    HRESULT IsPlaying(IDirectMusicSegment8* segment, IDirectMusicSegmentState*) override {
        return g_world.sounding[segment] ? S_OK : S_FALSE;
    }
    HRESULT SetGlobalParam(const GUID& type, void* data, DWORD size) override {
        if (IsEqualGUID(type, GUID_PerfMasterVolume) && size == sizeof(LONG))
            std::memcpy(&g_world.masterVolume, data, sizeof(LONG));
        return S_OK;
    }
    HRESULT CloseDown() override {
        ++g_world.closeDowns;
        return S_OK;
    }
    HRESULT InitAudio(IDirectMusic** music, IDirectSound** sound, HWND window, DWORD pathType,
                      DWORD channels, DWORD features, DMUS_AUDIOPARAMS* params) override {
        g_world.audioWindow = window;
        g_world.pathType = pathType;
        g_world.channels = channels;
        g_world.features = features;
        if (params != nullptr && (params->dwValidData & DMUS_AUDIOPARAMS_SAMPLERATE))
            g_world.sampleRate = params->dwSampleRate;
        if (music != nullptr)
            *music = nullptr;
        void* object = nullptr;
        if (FAILED(CoCreateInstance(CLSID_DirectSound8, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IDirectSound8, &object))) {
            return E_FAIL;
        }
        auto* device = static_cast<IDirectSound8*>(object);
        device->Initialize(nullptr);
        device->SetCooperativeLevel(nullptr, DSSCL_PRIORITY);
        *sound = device;
        return S_OK;
    }
};

template <class Object>
HRESULT Make(REFIID iid, void** object) {
    *object = nullptr;
    if (!g_world.present)
        return REGDB_E_CLASSNOTREG;
    auto* made = new Object();
    HRESULT result = made->QueryInterface(iid, object);
    made->Release();
    return result;
}

class MusicModeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        static const bool registered = [] {
            platform::RegisterComClass(CLSID_DirectMusicLoader, Make<FakeLoader>);
            platform::RegisterComClass(CLSID_DirectMusicPerformance, Make<FakePerformance>);
            platform::RegisterComClass(CLSID_DirectMusic, Make<FakeMusic>);
            return true;
        }();
        (void)registered;
        g_world = MusicWorld();
        g_world.present = true;
        platform::SetDirectSoundTestMode(true);
        SetMusicModeForTest(1);
        blocks_ = TrackedBlockCount();
    }
    void TearDown() override {
        SetSoundStartFailureForTest(kStartNoFailure);
        EndSoundSystem();
        SetMusicModeForTest(0);
        platform::SetDirectSoundTestMode(false);
        EXPECT_EQ(g_world.live, 0) << "every DirectMusic object released";
        EXPECT_EQ(TrackedBlockCount(), blocks_);
    }

    uint32_t blocks_ = 0;
};

bool Has(const std::string& text, const char* line) {
    return text.find(line) != std::string::npos;
}

TEST_F(MusicModeTest, StartsThroughThePerformancesAudioAndEndsIt) {
    tessel_test::LogScope log;
    ASSERT_EQ(StartSoundSystem(), 0);
    EXPECT_EQ(MusicModeForTest(), 1);
    EXPECT_EQ(g_world.audioWindow, nullptr);
    EXPECT_EQ(g_world.pathType, DMUS_APATH_SHARED_STEREOPLUSREVERB);
    EXPECT_EQ(g_world.channels, 64u);
    EXPECT_EQ(g_world.features, DMUS_AUDIOF_ALL);
    EXPECT_EQ(g_world.sampleRate, 44100u);
    EXPECT_EQ(g_world.masterVolume, 0);
    EXPECT_EQ(g_world.live, 2) << "the DirectMusic object goes once its ports are listed";
    EXPECT_TRUE(SilenceBufferPlaying()) << "on the performance's device";
    ASSERT_EQ(EndSoundSystem(), 0);
    EXPECT_EQ(g_world.stopsAll, 1);
    EXPECT_EQ(g_world.closeDowns, 1);
    EXPECT_EQ(g_world.live, 0);
    const std::string text = log.Text();
    const char* inOrder[] = {
        "DirectSound8 の初期化を行います\r\n",
        "出力ポート  Device0:Synth ポート \r\nT:入力ポート  Device1:MIDI in \r\n",
        "DirectSound デバイスを列挙します\r\n",
        "DirectSound の初期化は正常に終了しました\r\n",
        "DirectSound の終了処理は正常に終了しました\r\n",
    };
    size_t at = 0;
    for (const char* line : inOrder) {
        const size_t found = text.find(line, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << text;
        at = found + std::strlen(line);
    }
    EXPECT_FALSE(Has(text, "DirectSound の初期化を行います")) << "no DirectSound-only start";
}

TEST_F(MusicModeTest, WithoutALoaderTheStartGoesTheDirectSoundWay) {
    g_world.present = false;
    tessel_test::LogScope log;
    ASSERT_EQ(StartSoundSystem(), 0);
    EXPECT_EQ(MusicModeForTest(), 0);
    const std::string text = log.Text();
    const size_t fallback = text.find(
        "DirectMusicLoader8 オブジェクトの作成に失敗しました\r\n"
        "T:前バージョンでの初期化処理に移ります\r\nT:DirectSound の初期化を行います\r\n");
    EXPECT_NE(fallback, std::string::npos) << text;
    EXPECT_TRUE(SilenceBufferPlaying());
    EXPECT_EQ(EndSoundSystem(), 0);
}

TEST_F(MusicModeTest, AFailedDirectMusicStepLeavesSoundDownAndNothingMade) {
    struct Case {
        SoundStartStep step;
        const char* message;
    };
    const Case cases[] = {
        {kStartMusicPerformance, "DirectMusicPerformance オブジェクトの作成に失敗しました\r\n"},
        {kStartMusicObject, "DirectMusic オブジェクトの取得に失敗しました\r\n"},
        {kStartMusic8, "DirectMusic8 オブジェクトの取得に失敗しました\r\n"},
        {kStartMusicAudio, "DirectMusicPerformanceオブジェクトの初期化に失敗しました\r\n"},
    };
    for (const Case& c : cases) {
        tessel_test::LogScope log;
        SetSoundStartFailureForTest(c.step);
        EXPECT_EQ(StartSoundSystem(), -1) << c.step;
        EXPECT_TRUE(Has(log.Text(), c.message)) << c.step << "\n" << log.Text();
        EXPECT_FALSE(Has(log.Text(), "正常に終了しました")) << c.step;
        EXPECT_EQ(MusicModeForTest(), 1) << "no fall-back past the loader";
        EXPECT_FALSE(SoundSystemUp());
        EXPECT_EQ(g_soundSystem.lockMade, 0) << c.step;
        EXPECT_EQ(g_world.live, 0) << c.step;
        EXPECT_EQ(RefreshMusicState(), -1);
        EXPECT_EQ(EndSoundSystem(), -1);
        EXPECT_FALSE(SoundThreadRunning());
    }
    SetSoundStartFailureForTest(kStartNoFailure);
    EXPECT_EQ(StartSoundSystem(), 0);
}

TEST_F(MusicModeTest, ThePollFollowsASegmentOnceItWasSeenPlaying) {
    ASSERT_EQ(StartSoundSystem(), 0);
    auto* segment = new FakeSegment();
    const int music = AddMusicForTest(segment, 1);
    ASSERT_NE(music, -1);
    // Not yet sounding: a segment starts a little after its play.
    g_world.sounding[segment] = false;
    EXPECT_EQ(RefreshMusicState(), 0);
    EXPECT_EQ(MusicPlayingForTest(music), 1);
    EXPECT_EQ(GetMusicState(music), 1);
    g_world.sounding[segment] = true;
    EXPECT_EQ(RefreshMusicState(), 0);
    EXPECT_EQ(MusicPlayingForTest(music), 1);
    g_world.sounding[segment] = false;
    EXPECT_EQ(RefreshMusicState(), 0);
    EXPECT_EQ(MusicPlayingForTest(music), 0) << "the segment ended";
    EXPECT_EQ(GetMusicState(music), 0);
    g_world.sounding[segment] = true;
    EXPECT_EQ(RefreshMusicState(), 0);
    EXPECT_EQ(MusicPlayingForTest(music), 0) << "only music marked playing is asked about";
}

TEST_F(MusicModeTest, StopAndDeleteGoThroughThePerformanceAndTheLoader) {
    ASSERT_EQ(StartSoundSystem(), 0);
    auto* first = new FakeSegment();
    auto* second = new FakeSegment();
    const int playing = AddMusicForTest(first, 1);
    const int resting = AddMusicForTest(second, 0);
    ASSERT_NE(playing, -1);
    ASSERT_NE(resting, -1);
    EXPECT_EQ(StopMusicHandle(playing), 0);
    ASSERT_EQ(g_world.stopped.size(), 1u);
    EXPECT_EQ(g_world.stopped[0], first);
    EXPECT_EQ(MusicPlayingForTest(playing), 0);
    EXPECT_EQ(DeleteMusicHandle(playing), 0);
    EXPECT_EQ(DeleteMusicHandle(playing), -1);
    EXPECT_EQ(g_world.unloads, 1);
    EXPECT_EQ(g_world.loaderReleases, 1);
    EXPECT_EQ(g_world.live, 3) << "loader, performance and the second segment";
    // The end deletes the rest.
    ASSERT_EQ(EndSoundSystem(), 0);
    EXPECT_EQ(g_world.unloads, 2);
    EXPECT_EQ(g_world.loaderReleases, 2);
    EXPECT_EQ(g_world.stopped.size(), 1u) << "a resting music is not stopped";
}

}  // namespace
