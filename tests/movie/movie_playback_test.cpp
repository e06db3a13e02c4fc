// Playing Theora movies: the frame due at a clock time (no sound) or at the
// sound's position, the end of a movie that does not loop, looping, the
// frame hook, and pausing and resuming every movie.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "sound/play/sound_calls.h"
#include "tests/movie/movie_playback_support.h"
#include "tests/sound/sound_fixture.h"

namespace {

using namespace movietest;
using namespace tessel;

// What the hook saw: its calls, the value, and the number painted in the
// frame the movie's picture held.
struct HookLog {
    static inline int calls = 0;
    static inline int32_t value = 0;
    static inline int shown = -1;
    static void Reset() {
        calls = 0;
        value = 0;
        shown = -1;
    }
    static int Hook(MovieRecord* record, int32_t value) {
        ++calls;
        HookLog::value = value;
        TheoraUpdateImage(record->decoder, 1, 0);
        const BASEIMAGE* image = record->currentImage;
        shown = ReadFrameNumber(image->pixels, image->pitch, image->width, image->height);
        return 0;
    }
};

class MoviePlaybackTest : public MovieFilesTest {
  protected:
    static constexpr int kFrames = 10;
    static constexpr double kFps = 30;

    void SetUp() override {
        MovieFilesTest::SetUp();
        HookLog::Reset();
        WriteFileBytes("clip.ogv", NumberedClip(kFrames));
    }
    // Opened, hooked and playing from the hand clock's now.
    int Playing(int playType) {
        const int handle = Open("clip.ogv");
        EXPECT_NE(handle, -1);
        EXPECT_EQ(MovieSetFrameHook(handle, HookLog::Hook, 77), 0);
        EXPECT_EQ(MoviePlay(handle, playType), 0);
        return handle;
    }
    // The frame shown after advancing at `at` microseconds after `start`.
    static int64_t ShownAt(int handle, uint64_t start, uint64_t at) {
        HandClock::now = start + at;
        MovieAdvanceFrame(handle, 0);
        const MovieRecord* record = MovieRecordFromHandle(handle);
        const int64_t frame = TheoraCurrentFrame(record->decoder);
        EXPECT_EQ(HookLog::shown, frame) << "the picture is that frame's";
        return frame;
    }
};

TEST_F(MoviePlaybackTest, WithoutSoundTheFrameDueFollowsTheClockTruncated) {
    const uint64_t start = HandClock::now;
    const int handle = Playing(1);
    struct Case {
        uint64_t at;
        int64_t frame;
    };
    // 33333 us is 0.99999 of a frame, 33334 us 1.00002.
    const Case cases[] = {{0, 0},      {33333, 0},  {33334, 1}, {200000, 6},
                          {266666, 7}, {266667, 8}, {299999, 8}};
    for (const Case& c : cases) {
        EXPECT_EQ(ShownAt(handle, start, c.at), c.frame) << c.at << " us";
    }
    EXPECT_EQ(HookLog::value, 77);
    EXPECT_EQ(MovieRecordFromHandle(handle)->playing, 1);
}

TEST_F(MoviePlaybackTest, AMovieThatDoesNotLoopStopsOnItsLastFrame) {
    const uint64_t start = HandClock::now;
    const int handle = Playing(1);
    const MovieRecord* record = MovieRecordFromHandle(handle);
    EXPECT_EQ(ShownAt(handle, start, FrameTime(25, kFps)), kFrames - 1);
    EXPECT_EQ(record->playing, 1) << "the first call only reaches the last frame";
    EXPECT_EQ(ShownAt(handle, start, FrameTime(26, kFps)), kFrames - 1);
    EXPECT_EQ(record->playing, 0);
    EXPECT_EQ(record->paused, 1);
    // Ended: the clock no longer moves it, and the hook is still called.
    const int calls = HookLog::calls;
    EXPECT_EQ(ShownAt(handle, start, FrameTime(100, kFps)), kFrames - 1);
    EXPECT_EQ(HookLog::calls, calls + 1);
    // A resume leaves an ended movie alone.
    MovieResumeAll();
    EXPECT_EQ(record->paused, 1);
    EXPECT_EQ(record->playing, 0);
}

TEST_F(MoviePlaybackTest, ALoopingMovieWrapsForwardAcrossItsEnd) {
    const uint64_t start = HandClock::now;
    const int handle = Playing(kPlayLooping);
    EXPECT_EQ(ShownAt(handle, start, FrameTime(8, kFps)), 8);
    EXPECT_EQ(ShownAt(handle, start, FrameTime(12, kFps)), 2);
    EXPECT_EQ(ShownAt(handle, start, FrameTime(29, kFps)), 9);
    EXPECT_EQ(ShownAt(handle, start, FrameTime(30, kFps)), 0);
    EXPECT_EQ(MovieRecordFromHandle(handle)->playing, 1);
}

TEST_F(MoviePlaybackTest, PauseAndResumeContinueFromTheFrameShown) {
    const uint64_t start = HandClock::now;
    const int handle = Playing(1);
    const MovieRecord* record = MovieRecordFromHandle(handle);
    EXPECT_EQ(ShownAt(handle, start, FrameTime(5, kFps)), 5);
    HookLog::calls = 0;
    EXPECT_EQ(MoviePauseAll(), 0);
    EXPECT_EQ(HookLog::calls, 1) << "pausing shows the frame once more";
    EXPECT_EQ(record->paused, 1);
    EXPECT_EQ(record->playing, 1);
    // Paused: time passes, the frame stays, the hook still runs.
    EXPECT_EQ(ShownAt(handle, start, 60000000), 5);
    EXPECT_EQ(HookLog::calls, 2);
    EXPECT_EQ(MovieResumeAll(), 0);
    EXPECT_EQ(record->paused, 0);
    EXPECT_EQ(record->playing, 1);
    const uint64_t resumed = HandClock::now;
    EXPECT_EQ(ShownAt(handle, resumed, 0), 5) << "not a frame back, not the clock's time";
    EXPECT_EQ(ShownAt(handle, resumed, 33334), 6);
}

TEST_F(MoviePlaybackTest, AFreshMovieIsNotResumedAndStaysOnItsFirstFrame) {
    const int handle = Open("clip.ogv");
    ASSERT_EQ(MovieSetFrameHook(handle, HookLog::Hook, 5), 0);
    EXPECT_EQ(MovieResumeAll(), 0);
    const MovieRecord* record = MovieRecordFromHandle(handle);
    EXPECT_EQ(record->paused, 1);
    EXPECT_EQ(record->playing, 0);
    EXPECT_EQ(ShownAt(handle, HandClock::now, FrameTime(4, kFps)), 0);
    EXPECT_EQ(HookLog::value, 5);
}

// The sound decides: a clock far past the end changes nothing.
class MovieSoundTest : public soundtest::SoundTest {
  protected:
    void SetUp() override {
        SoundTest::SetUp();
        TheoraBuildYuvTables();
        HandClock::now = 1000000;
        SetMovieClockForTest(HandClock::Read);
        WriteFileBytes("sound.ogv", NumberedClip(30, 30, true));
    }
    void TearDown() override {
        SetMovieClockForTest(nullptr);
        SoundTest::TearDown();
    }
    tessel_test::ScratchDirectory dir_;
};

TEST_F(MovieSoundTest, WithSoundTheFrameDueFollowsTheSoundsPosition) {
    const int handle = OpenMovie("sound.ogv", nullptr, nullptr, 0);
    ASSERT_NE(handle, -1);
    MovieRecord* record = MovieRecordFromHandle(handle);
    ASSERT_NE(record->sound, -1) << "the movie's own Vorbis stream";
    EXPECT_EQ(GetSoundLoadMode(), kLoadWhole) << "the load mode comes back";
    ASSERT_EQ(MoviePlay(handle, 1), 0);
    EXPECT_EQ(IsSoundPlaying(record->sound), 1);
    HandClock::now += 100000000;
    std::vector<int16_t> out(44100 / 4 * 2);
    ASSERT_EQ(platform::AdvanceDirectSoundMixer(real, 44100 / 4, out.data()), 44100);
    const int ms = GetSoundPositionMs(record->sound);
    ASSERT_GT(ms, 150);
    ASSERT_LT(ms, 350);
    MovieAdvanceFrame(handle, 0);
    EXPECT_EQ(TheoraCurrentFrame(record->decoder), static_cast<int64_t>(ms) * 30 / 1000);
    EXPECT_EQ(record->playing, 1);
    // Paused, the sound stops where it stands.
    MoviePauseAll();
    EXPECT_EQ(IsSoundPlaying(record->sound), 0);
    MovieResumeAll();
    EXPECT_EQ(IsSoundPlaying(record->sound), 1);
    EXPECT_EQ(MovieDispose(handle), 0);
    EXPECT_EQ(OpenMovieCountForTest(), 0);
}

// A sound's position never ends the movie: held on the last frame, playing.
TEST_F(MovieSoundTest, WithSoundAMovieStaysOnItsLastFrameWhileItPlays) {
    // A fifth of a second of pictures with a second of sound.
    TheoraClipOptions recipe;
    recipe.frames = 6;
    recipe.withVorbis = true;
    recipe.vorbisSeconds = 1;
    WriteFileBytes("short.ogv", EncodeTheoraClip(recipe, FrameNumberPainter()));
    const int handle = OpenMovie("short.ogv", nullptr, nullptr, 0);
    ASSERT_NE(handle, -1);
    MovieRecord* record = MovieRecordFromHandle(handle);
    ASSERT_NE(record->sound, -1);
    ASSERT_EQ(MoviePlay(handle, 1), 0);
    std::vector<int16_t> out(44100 / 10 * 2);
    int lastMs = 0;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(platform::AdvanceDirectSoundMixer(real, 44100 / 10, out.data()), 44100 / 10 * 4);
        lastMs = std::max(lastMs, GetSoundPositionMs(record->sound));
        MovieAdvanceFrame(handle, 0);
    }
    ASSERT_GE(lastMs, 250) << "the sound went past the pictures' end";
    EXPECT_EQ(TheoraCurrentFrame(record->decoder), 5);
    EXPECT_EQ(record->playing, 1);
    EXPECT_EQ(record->paused, 0);
    EXPECT_EQ(MovieDispose(handle), 0);
}

// A clip's own sound lasts as long as its pictures (0.2 s at 22050 Hz), so
// that the sound carries the movie to its last frame.
TEST_F(MovieSoundTest, AClipsSoundLastsAsLongAsItsPictures) {
    WriteFileBytes("own.ogv", NumberedClip(6, 30, true));
    const int handle = OpenMovie("own.ogv", nullptr, nullptr, 0);
    ASSERT_NE(handle, -1);
    MovieRecord* record = MovieRecordFromHandle(handle);
    ASSERT_NE(record->sound, -1);
    EXPECT_EQ(GetSoundLengthSamples(record->sound), 4410);
    EXPECT_EQ(MovieDispose(handle), 0);
}

}  // namespace
