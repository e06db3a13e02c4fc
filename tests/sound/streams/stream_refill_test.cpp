// The refill of a stream sound's ring, driven directly on a test-mode device:
// the ring and first fill of each format, the top-up amounts as the play
// cursor moves, the end with its silence and stop, and the short sources and
// sections that must neither stall nor repeat.
#include <gtest/gtest.h>

#include "sound/streams/stream_internal.h"
#include "tests/sound/streams/stream_fixture.h"

namespace {

using namespace streamtest;
using tessel::RefillStreamSound;
using tessel::StartStreamPlayback;

TEST_F(StreamTest, TheRingHoldsASecondAndTheFirstFillThreeQuartersOfIt) {
    struct Case {
        int channels, rate, bits;
        DWORD ring;
        int32_t firstFill, threshold;
    };
    const Case cases[] = {
        {2, 44100, 16, 176400, 132300, 0},
        {1, 22050, 8, 22050, 16537, 0},
        // 16537.5 bytes: the fill rounds down to 16536, the writer's lead up to 16538.
        {2, 11025, 8, 22050, 16536, 22048},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        const int block = c.channels * c.bits / 8;
        const int frames = c.rate * 2;
        std::vector<uint8_t> pcm =
            c.bits == 16 ? Ramp16(frames, c.channels) : Ramp8(frames * block);
        const int handle = MakeStream(Wav(c.channels, c.rate, c.bits, pcm));
        ASSERT_NE(handle, -1);
        EXPECT_EQ(proxy->createFlags.back(), tessel::kStreamRingFlags);
        EXPECT_EQ(proxy->createBytes.back(), c.ring);
        EXPECT_EQ(Record(handle)->writeCursor, -800);  // nothing written before the prime
        EXPECT_EQ(Record(handle)->totalSamples, frames);
        ASSERT_EQ(tessel::PrimeStreamSound(handle), 0);
        EXPECT_EQ(Record(handle)->writeCursor, c.firstFill);
        EXPECT_EQ(Record(handle)->refillThreshold, c.threshold);
        EXPECT_EQ(RingBytes(handle, 0, static_cast<DWORD>(c.firstFill)),
                  Slice(pcm, 0, static_cast<size_t>(c.firstFill)));
        // Not playing: the ring is not filled twice.
        EXPECT_EQ(RefillStreamSound(handle), 0);
        EXPECT_EQ(Record(handle)->writeCursor, c.firstFill);
    }
}

// 44100 Hz 16-bit stereo: an eighth of a second (22048 bytes) while three
// eighths or more are buffered, else up to three eighths; nothing until the
// cursor reaches the threshold, three quarters of a second behind the writer.
TEST_F(StreamTest, TopUpsFollowWhatIsStillBuffered) {
    std::vector<uint8_t> pcm = Ramp16(44100 * 3, 2);
    const int handle = MakeStream(Wav(2, 44100, 16, pcm));
    ASSERT_NE(handle, -1);
    ASSERT_EQ(StartStreamPlayback(handle, 1, 0), 0);
    ASSERT_EQ(tessel::IsStreamPlaying(handle), 1);
    ASSERT_EQ(Record(handle)->writeCursor, 132300);
    ASSERT_EQ(Record(handle)->refillThreshold, 0);
    struct Step {
        DWORD cursor;
        int result;
        int32_t write, threshold;
    };
    const Step steps[] = {
        {4, 0, 154348, 22048},       // 0.75 s ahead: an eighth
        {22044, -1, 154348, 22048},  // short of the threshold: nothing
        {22048, 0, 176396, 44096},   // at the threshold, 0.75 s ahead: an eighth
        {130000, 0, 19976, 64076},   // 46396 bytes (134/512 s) ahead: 19980 bytes, across the end
        {10000, 0, 76476, 120576},   // 28/512 s ahead, the writer below the threshold: 56500
        {76476, 0, 142624, 10324},   // caught up: three eighths, 66148 bytes
        {76624, 0, 142968, 10668},   // 66000 bytes (191/512 s) ahead: 344 bytes
        {76816, 0, 165016, 32716},   // 66152 bytes (192/512 s) ahead: an eighth
    };
    int64_t source = 132300;
    int32_t write = 132300;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.cursor);
        SetCursor(handle, step.cursor);
        EXPECT_EQ(RefillStreamSound(handle), step.result);
        EXPECT_EQ(Record(handle)->writeCursor, step.write);
        EXPECT_EQ(Record(handle)->refillThreshold, step.threshold);
        const int32_t written = (step.write - write + 176400) % 176400;
        if (written > 0) {
            EXPECT_EQ(RingBytes(handle, static_cast<DWORD>(write), static_cast<DWORD>(written)),
                      Slice(pcm, static_cast<size_t>(source), static_cast<size_t>(written)))
                << "the source goes on where it stopped";
        }
        source += written;
        write = step.write;
        EXPECT_EQ(Record(handle)->sourcePosition, source);
    }
}

// Once the data is over, an eighth of a second of silence follows it and the
// ring stops as soon as the play cursor is past the end; 8-bit silence is the
// unsigned midpoint, and the position reads 0 once the sound has ended.
TEST_F(StreamTest, OnePlayEndsWithSilenceAndStopsOnceTheCursorIsPast) {
    std::vector<uint8_t> pcm = Ramp8(4410);  // 0.2 s at 22050 Hz, 8-bit mono
    const int handle = MakeStream(Wav(1, 22050, 8, pcm));
    ASSERT_NE(handle, -1);
    Soil(handle, 0x11);
    ASSERT_EQ(StartStreamPlayback(handle, 1, 0), 0);
    EXPECT_EQ(Record(handle)->ending, 1);
    EXPECT_EQ(Record(handle)->endPosition, 4410);
    EXPECT_EQ(Record(handle)->writeCursor, 4410 + 2756);
    EXPECT_EQ(RingBytes(handle, 0, 4410), pcm);
    EXPECT_EQ(RingBytes(handle, 4410, 2756), std::vector<uint8_t>(2756, 0x80));
    EXPECT_EQ(RingBytes(handle, 7166, 10), std::vector<uint8_t>(10, 0x11));

    SetCursor(handle, 4000);  // not past the end yet: more silence
    EXPECT_EQ(RefillStreamSound(handle), 0);
    EXPECT_EQ(Record(handle)->writeCursor, 7166 + 2756);
    EXPECT_EQ(RingBytes(handle, 7166, 2756), std::vector<uint8_t>(2756, 0x80));
    EXPECT_EQ(tessel::GetStreamPositionMs(handle), 4000 * 1000 / 22050);
    EXPECT_EQ(tessel::IsStreamPlaying(handle), 1);

    SetCursor(handle, 4411);
    EXPECT_EQ(RefillStreamSound(handle), 0);
    EXPECT_EQ(tessel::IsStreamPlaying(handle), 0);
    EXPECT_EQ(Record(handle)->playing, 0);
    EXPECT_EQ(Record(handle)->ending, 0);
    EXPECT_EQ(tessel::GetStreamPositionMs(handle), 0);
    EXPECT_EQ(Record(handle)->lastSourceReached, 1);

    // Played again, it starts from the top.
    ASSERT_EQ(StartStreamPlayback(handle, 1, 0), 0);
    EXPECT_EQ(RingBytes(handle, 0, 4410), pcm);
    EXPECT_EQ(tessel::IsStreamPlaying(handle), 1);
}

// Data ending just short of the first fill's end leaves no room for the whole
// eighth of silence: what is written stays inside the locked range.
TEST_F(StreamTest, SilenceAfterTheEndStaysInsideTheLockedRange) {
    std::vector<uint8_t> pcm = Ramp8(16000);
    const int handle = MakeStream(Wav(1, 22050, 8, pcm));
    ASSERT_NE(handle, -1);
    Soil(handle, 0x11);
    ASSERT_EQ(StartStreamPlayback(handle, 1, 0), 0);
    EXPECT_EQ(Record(handle)->ending, 1);
    EXPECT_EQ(Record(handle)->writeCursor, 16537);
    EXPECT_EQ(RingBytes(handle, 16000, 537), std::vector<uint8_t>(537, 0x80));
    EXPECT_EQ(RingBytes(handle, 16537, 2756), std::vector<uint8_t>(2756, 0x11));
}

// A source shorter than the first fill ends within it: the end rule applies
// at once, so the ring stops once the cursor is past the data instead of
// going round a second of unwritten bytes to play the data again.
TEST_F(StreamTest, ASourceShorterThanTheFirstFillEndsAtOnce) {
    std::vector<uint8_t> pcm = Ramp16(441, 2);  // 10 ms
    const int handle = MakeStream(Wav(2, 44100, 16, pcm));
    ASSERT_NE(handle, -1);
    ASSERT_EQ(StartStreamPlayback(handle, 1, 0), 0);
    EXPECT_EQ(Record(handle)->ending, 1);
    EXPECT_EQ(Record(handle)->endPosition, 1764);
    EXPECT_EQ(Record(handle)->writeCursor, 1764 + 22048);
    SetCursor(handle, 5292);  // one 30 ms pass later
    EXPECT_EQ(RefillStreamSound(handle), 0);
    EXPECT_EQ(tessel::IsStreamPlaying(handle), 0);
}

// The ring ran dry exactly where the data ends: the end is heard as soon as
// the cursor moves on from there.
TEST_F(StreamTest, ARingDrainedAtTheEndStillStopsOnceTheCursorMovesOn) {
    std::vector<uint8_t> pcm = Ramp16((132300 + 22048) / 4, 2);
    const int handle = MakeStream(Wav(2, 44100, 16, pcm));
    ASSERT_NE(handle, -1);
    ASSERT_EQ(StartStreamPlayback(handle, 1, 0), 0);
    SetCursor(handle, 4);
    ASSERT_EQ(RefillStreamSound(handle), 0);
    ASSERT_EQ(Record(handle)->ending, 0);
    SetCursor(handle, 154348);  // caught up with the writer
    ASSERT_EQ(RefillStreamSound(handle), 0);
    EXPECT_EQ(Record(handle)->ending, 1);
    EXPECT_EQ(Record(handle)->endPosition, 154348);
    EXPECT_EQ(Record(handle)->endPlayCursor, 154348);
    SetCursor(handle, 154352);
    ASSERT_EQ(RefillStreamSound(handle), 0);
    EXPECT_EQ(tessel::IsStreamPlaying(handle), 0);
}

// Repeats play the whole source again; play type 1 ignores a loop point and
// ends; play type 3 starts the last source over without one.
TEST_F(StreamTest, RepeatsAndLoopingPlayFollowThePlayType) {
    std::vector<uint8_t> pcm = Ramp16(4410, 2);  // 0.1 s, 17640 bytes
    struct Case {
        int loopCount, playType;
        bool ends;
        int32_t written;  // before the end, or of the first fill
    };
    const Case cases[] = {
        {2, 1, true, 3 * 17640},  // two repeats, then the end
        {255, 1, true, 17640},    // a loop point with play type 1: once to the end
        {0, 3, false, 132300},    // looping play: the first fill full of repeats
        {255, 3, false, 132300},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.loopCount * 10 + c.playType);
        const int handle = MakeStream(Wav(2, 44100, 16, pcm), c.loopCount);
        ASSERT_NE(handle, -1);
        ASSERT_EQ(StartStreamPlayback(handle, c.playType, 0), 0);
        EXPECT_EQ(Record(handle)->ending, c.ends ? 1 : 0);
        if (c.ends) {
            EXPECT_EQ(Record(handle)->endPosition, c.written);
        }
        std::vector<uint8_t> ring = RingBytes(handle, 0, static_cast<DWORD>(c.written));
        for (int32_t at = 0; at < c.written; at += 17640)
            ASSERT_EQ(Slice(ring, at, std::min(17640, c.written - at)),
                      Slice(pcm, 0, std::min(17640, c.written - at)))
                << at;
        tessel::DeleteSoundHandle(handle);
    }
}

// A loop section of 12 bytes, inside the decoder's short-seek slack, still
// goes back to the loop start every time.
TEST_F(StreamTest, ALoopOfAFewBytesGoesBackEveryTime) {
    std::vector<uint8_t> pcm = Ramp16(1000, 2);
    const int handle = MakeStream(Wav(2, 44100, 16, pcm), 255);
    ASSERT_NE(handle, -1);
    tessel::StreamSoundSource& source = Record(handle)->sources[0];
    source.loopStart = 997;
    source.loopStartBytes = 997 * 4;
    ASSERT_EQ(StartStreamPlayback(handle, 3, 0), 0);
    EXPECT_EQ(Record(handle)->writeCursor, 132300);
    std::vector<uint8_t> ring = RingBytes(handle, 0, 132300);
    EXPECT_EQ(Slice(ring, 0, 4000), pcm);
    for (size_t at = 4000; at + 12 <= ring.size(); at += 12)
        ASSERT_EQ(Slice(ring, at, 12), Slice(pcm, 3988, 12)) << at;
}

}  // namespace
