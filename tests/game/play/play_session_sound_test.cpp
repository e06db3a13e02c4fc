// The whole program in a scripted 2minutes game and then its replay, heard
// through the mixer in its test mode: each game frame mixes one frame's worth
// of sound (the sound thread's refill pass run first, so no stream falls
// behind), and the mix is kept. Shots fired in three bursts must be found in
// the mix by cross-correlation with the effect's own samples exactly where
// they were played; the track must play sample for sample as its Ogg file
// decodes and loop back to its loop point without a gap (the effects over it
// added as the mixer draws them out), and the replay must mix the very same
// samples as the game. Nothing here looks at the pictures, which other
// tests check: the library draws one frame in 64, each of them presented
// without a failure, so the drawing path still runs beside the sound while
// the session costs a fraction of its drawing. Drawing feeds nothing back
// into the game (games drawn every frame replay as their undrawn replays,
// which the replay tests check), so the sound heard is the same.
#include <gtest/gtest.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "foundation/runtime/message_pump.h"
#include "game/draw/draw_queue.h"
#include "game/input/input_state.h"
#include "game/input/key_assignment.h"
#include "game/loop/frame_calls.h"
#include "game/loop/frame_loop.h"
#include "game/loop/scene_machine.h"
#include "game/menu/menu_scene_internal.h"
#include "game/play/game_scene.h"
#include "game/play/play_state.h"
#include "game/startup/game_sounds.h"
#include "platform/dsound_testing.h"
#include "sound/play/sound_calls.h"
#include "sound/sound_system_internal.h"
#include "sound/system/sound_thread.h"
#include "tests/game/drawn_one_frame_in.h"
#include "tests/game/game_program_support.h"

namespace {

constexpr uint32_t kPlayFrom = 5;
// The game runs past the point where its track first loops (33 s in).
constexpr uint32_t kReplayFrom = 2200;
constexpr uint32_t kFrames = 3000;
constexpr int64_t kTrackLoopSample = kTrack2LoopMs * 44100 / 1000;
constexpr int kMixFramesPerGameFrame = 735;  // 44100 Hz at 60 frames a second
constexpr int kShotSlot = 3;                 // pshot
// The play scene's frames at which the shot button is down for one frame:
// each press fires a burst of shots, one every three frames.
constexpr int32_t kShotPresses[] = {60, 300, 540};

// What the session heard and did; starts are in mix frames.
struct Heard {
    std::vector<int16_t> mix;                   // interleaved stereo, from the first frame
    std::vector<std::pair<int, size_t>> plays;  // every effect played: handle, start
    std::vector<size_t> musicStarts;            // the game's, then the replay's
    long long underruns = -1;
    int presented = 0;  // frames the library drew and presented without a failure
};

// The library draws one frame in 64, presenting it.
struct Session : game_test::DrawnOneFrameIn<64> {
    static inline Heard heard;

    static size_t MixedFrames() { return heard.mix.size() / 2; }

    static void MixOneFrame() {
        IDirectSound8* sound = tessel::g_soundSystem.sound;
        if (sound == nullptr) {
            return;
        }
        tessel::RunSoundThreadPass();
        std::vector<int16_t> block(kMixFramesPerGameFrame * 2);
        if (platform::AdvanceDirectSoundMixer(sound, kMixFramesPerGameFrame, block.data()) !=
            kMixFramesPerGameFrame * 4) {
            ADD_FAILURE() << "the mixer is not in test mode";
            return;
        }
        heard.mix.insert(heard.mix.end(), block.begin(), block.end());
    }
    static int Pump() {
        if (FrameCounter == kPlayFrom) {
            RequestSceneChange(kScenePlay, 2, ColorRecord{});
        }
        // The replay list's way into a replay: the game recorded is played back.
        if (FrameCounter == kReplayFrom) {
            ReplayPlayback = 1;
            RequestSceneChange(kScenePlay, 2, ColorRecord{});
        }
        MixOneFrame();
        if (FrameCounter >= kFrames) {
            heard.underruns = platform::GetDirectSoundUnderrunFrames(tessel::g_soundSystem.sound);
            return 1;
        }
        return tessel::PumpMessages();
    }
    static void UpdateInput(InputState* live) {
        uint16_t mask = 0;
        const GameScene* scene = SceneSlots.play;
        if (scene != nullptr && ReplayPlayback == 0) {
            for (int32_t press : kShotPresses) {
                if (scene->frame == press) {
                    mask = static_cast<uint16_t>(1u << kButtonShot);
                }
            }
        }
        ApplyButtonMask(live, mask);
    }
    static int Present() {
        if (!Drawn()) {
            return 0;
        }
        const int result = LibraryFrameCalls().presentScreen();
        heard.presented += result == 0;
        return result;
    }
    static int Play(int sound, int playType, int fromStart) {
        if (sound == MusicTrack2 && playType == tessel::kPlayLooping) {
            heard.musicStarts.push_back(MixedFrames());
        } else {
            heard.plays.emplace_back(sound, MixedFrames());
        }
        return tessel::PlaySoundHandle(sound, playType, fromStart);
    }
};

// A 16-bit mono WAV our generator wrote (44-byte header), at the device's
// 44100 Hz: its rate divides that, and each sample is drawn out to the next
// in a straight line (the last one held).
std::vector<double> ReadEffect(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    if (bytes.size() < 46) {
        return {};
    }
    const uint32_t rate = bytes[24] | bytes[25] << 8 | bytes[26] << 16 | bytes[27] << 24;
    if (rate == 0 || 44100 % rate != 0) {
        return {};
    }
    std::vector<double> samples;
    for (size_t i = 44; i + 1 < bytes.size(); i += 2) {
        samples.push_back(static_cast<int16_t>(bytes[i] | bytes[i + 1] << 8));
    }
    const size_t factor = 44100 / rate;
    std::vector<double> out;
    for (size_t i = 0; i < samples.size(); ++i) {
        const double next = i + 1 < samples.size() ? samples[i + 1] : samples[i];
        for (size_t k = 0; k < factor; ++k) {
            out.push_back(samples[i] + (next - samples[i]) * static_cast<double>(k) / factor);
        }
    }
    return out;
}

// The track decoded by libvorbisfile on its own: interleaved 16-bit stereo.
std::vector<int16_t> DecodeTrack(const std::string& path) {
    std::vector<int16_t> pcm;
    OggVorbis_File file;
    if (ov_fopen(path.c_str(), &file) != 0) {
        return pcm;
    }
    char buffer[8192];
    int section = 0;
    for (;;) {
        const long got = ov_read(&file, buffer, sizeof buffer, 0, 2, 1, &section);
        if (got <= 0) {
            break;
        }
        const auto* samples = reinterpret_cast<const int16_t*>(buffer);
        pcm.insert(pcm.end(), samples, samples + got / 2);
    }
    ov_clear(&file);
    return pcm;
}

// Normalised correlation of the effect with the mix's left channel minus the
// track's own samples (the effects alone), with the effect starting at `at`.
double Correlation(const std::vector<double>& effect, const std::vector<double>& effects,
                   size_t at) {
    double dot = 0.0, mixEnergy = 0.0, effectEnergy = 0.0;
    for (size_t i = 0; i < effect.size() && at + i < effects.size(); ++i) {
        dot += effect[i] * effects[at + i];
        mixEnergy += effects[at + i] * effects[at + i];
        effectEnergy += effect[i] * effect[i];
    }
    return mixEnergy == 0.0 ? 0.0 : dot / std::sqrt(mixEnergy * effectEnergy);
}

class PlaySessionSound : public game_test::GameProgramTest {
  protected:
    void SetUp() override {
        platform::SetDirectSoundTestMode(true);
        GameProgramTest::SetUp();
        frameCalls_.pumpMessages = &Session::Pump;
        frameCalls_.updateInput = &Session::UpdateInput;
        frameCalls_.playSound = &Session::Play;
        frameCalls_.flushDrawQueue = &Session::Flush;
        frameCalls_.eraseDrawTarget = &Session::Erase;
        frameCalls_.renderModel = &Session::Render;
        frameCalls_.drawImageStretched = &Session::Stretch;
        frameCalls_.presentScreen = &Session::Present;
        BindFrames();
        Session::heard = Heard{};
        ReplayPlayback = 0;
        CurrentPlay = StartingSettings(kModeTwoMinutes, 20261210);
    }
    void TearDown() override {
        CurrentPlay = savedPlay_;
        GameProgramTest::TearDown();
        platform::SetDirectSoundTestMode(false);
    }

  private:
    const PlaySettings savedPlay_ = CurrentPlay;
};

TEST_F(PlaySessionSound, ShotsAndTheTrackAreHeardAndTheReplayMixesTheSameSamples) {
    LinkGameData();
    const std::string data = VANTREL_GAME_DATA_DIR;
    const std::vector<double> effect = ReadEffect(data + "/sound/se/pshot.wav");
    const std::vector<int16_t> track = DecodeTrack(data + "/sound/bgm/02.ogg");
    ASSERT_GT(effect.size(), 1000u);
    ASSERT_GT(track.size(), 44100u * 2 * 20);

    ASSERT_EQ(RunGameProgram(), 0);
    ASSERT_EQ(FrameCounter, kFrames);
    const Heard& heard = Session::heard;
    ASSERT_EQ(heard.mix.size(), static_cast<size_t>(kFrames + 1) * kMixFramesPerGameFrame * 2);
    EXPECT_EQ(heard.underruns, 0);
    // Every 64th frame went through the library's drawing path, to its end.
    EXPECT_EQ(heard.presented, static_cast<int>((kFrames + 63) / 64));
    ASSERT_EQ(heard.musicStarts.size(), 2u) << "the track played for the game and its replay";
    const size_t gameStart = heard.musicStarts[0];
    const size_t replayStart = heard.musicStarts[1];
    for (size_t f = 0; f < gameStart; ++f) {
        ASSERT_EQ(heard.mix[f * 2], 0) << "sound before the track, at " << f;
    }
    std::vector<std::pair<int, size_t>> gamePlays, replayPlays;
    std::vector<size_t> shots;
    for (const auto& [sound, start] : heard.plays) {
        (start < replayStart ? gamePlays : replayPlays).emplace_back(sound, start);
        if (start < replayStart && sound == SoundSlots[kShotSlot].sound) {
            shots.push_back(start);
        }
    }
    ASSERT_FALSE(gamePlays.empty());
    // Each press fires a burst of shots, one every three frames.
    ASSERT_GE(shots.size(), 3u * 5);

    // The track alone until the first effect: sample for sample as it decodes.
    const size_t firstEffect = gamePlays.front().second;
    ASSERT_GT(firstEffect, gameStart + 20000);
    size_t differing = 0;
    for (size_t f = gameStart; f < firstEffect; ++f) {
        for (size_t c = 0; c < 2; ++c) {
            differing += heard.mix[f * 2 + c] != track[(f - gameStart) * 2 + c];
        }
    }
    EXPECT_EQ(differing, 0u);

    // The effects alone: the game's mix less the track.
    std::vector<double> effects(replayStart);
    for (size_t f = 0; f < effects.size(); ++f) {
        const size_t t = (f - gameStart) * 2;
        const int trackSample = f >= gameStart && t < track.size() ? track[t] : 0;
        effects[f] = heard.mix[f * 2] - trackSample;
    }
    // Each shot's best match within a frame either side is where it was played,
    // and a shot that sounds alone is the effect's very samples.
    int isolated = 0;
    for (size_t start : shots) {
        SCOPED_TRACE(testing::Message() << "shot at " << start);
        size_t best = 0;
        double bestValue = -2.0;
        for (size_t at = start - kMixFramesPerGameFrame; at <= start + kMixFramesPerGameFrame;
             ++at) {
            const double value = Correlation(effect, effects, at);
            if (value > bestValue) {
                bestValue = value;
                best = at;
            }
        }
        EXPECT_EQ(best, start);
        // Enemy shots and hits sound over some of them; none is drowned.
        EXPECT_GT(bestValue, 0.15);
        isolated += bestValue > 0.9999;
    }
    EXPECT_GT(isolated, 0);

    // Across the track's first loop the mix is the track played on from its
    // loop point, no frame lost or repeated, with the effects over it: each
    // drawn out to 44100 Hz as above, in both channels.
    std::vector<std::vector<double>> slotSamples(kSoundSlots);
    for (int i = 0; i < kSoundSlots; ++i) {
        slotSamples[i] = ReadEffect(data + "/sound/se/" + kSoundSlotNames[i] + ".wav");
    }
    const size_t trackFrames = track.size() / 2;
    ASSERT_LT(static_cast<size_t>(kTrackLoopSample), trackFrames);
    const size_t wrap = gameStart + trackFrames;
    ASSERT_LT(wrap + 22050, replayStart);
    std::vector<double> effectSum(2 * 22050, 0.0);
    std::vector<int> voices(2 * 22050, 0);
    for (const auto& [sound, start] : gamePlays) {
        for (int i = 0; i < kSoundSlots; ++i) {
            if (SoundSlots[i].sound != sound) {
                continue;
            }
            for (size_t j = 0; j < slotSamples[i].size(); ++j) {
                const size_t f = start + j;
                if (f >= wrap - 22050 && f < wrap + 22050) {
                    effectSum[f - (wrap - 22050)] += slotSamples[i][j];
                    voices[f - (wrap - 22050)] += 1;
                }
            }
        }
    }
    // The mixer rounds each effect's drawn-out samples: a unit for each voice.
    size_t overTolerance = 0;
    for (size_t f = wrap - 22050; f < wrap + 22050; ++f) {
        size_t k = f - gameStart;
        if (k >= trackFrames) {
            k = kTrackLoopSample + (k - trackFrames);
        }
        for (size_t c = 0; c < 2; ++c) {
            const double expected =
                std::clamp(track[k * 2 + c] + effectSum[f - (wrap - 22050)], -32768.0, 32767.0);
            const double difference = std::fabs(heard.mix[f * 2 + c] - expected);
            overTolerance += difference > voices[f - (wrap - 22050)] + 0.5;
        }
    }
    EXPECT_EQ(overTolerance, 0u);

    // The replay plays the same effects at the same times after its track
    // starts, and mixes the same samples.
    const size_t span = kMixFramesPerGameFrame * (kFrames - kReplayFrom - 20);
    ASSERT_LE(replayStart + span, heard.mix.size() / 2);
    ASSERT_LE(gameStart + span, replayStart);
    auto relative = [](const std::vector<std::pair<int, size_t>>& plays, size_t from, size_t span) {
        std::vector<std::pair<int, size_t>> out;
        for (const auto& [sound, start] : plays) {
            if (start - from < span) {
                out.emplace_back(sound, start - from);
            }
        }
        return out;
    };
    EXPECT_EQ(relative(replayPlays, replayStart, span), relative(gamePlays, gameStart, span));
    // The game's last effects may still sound as its replay begins: the
    // comparison starts once the longest of them would have ended.
    size_t longest = 0;
    for (const char* name : kSoundSlotNames) {
        longest = std::max(longest, ReadEffect(data + "/sound/se/" + name + ".wav").size());
    }
    ASSERT_GT(longest, 0u);
    const size_t lastGamePlay = gamePlays.back().second;
    const size_t settled =
        lastGamePlay + longest > replayStart ? lastGamePlay + longest - replayStart : 0;
    ASSERT_LT(settled, span / 2);
    size_t firstDiffering = SIZE_MAX;
    for (size_t i = settled * 2; i < span * 2 && firstDiffering == SIZE_MAX; ++i) {
        if (heard.mix[gameStart * 2 + i] != heard.mix[replayStart * 2 + i]) {
            firstDiffering = i / 2;
        }
    }
    EXPECT_EQ(firstDiffering, SIZE_MAX) << "the replay's mix differs from frame " << firstDiffering;
}

}  // namespace
