// The Theora decoder over clips made at test time: what it refuses, the
// information it reports, the frame it shows after advancing and seeking
// (across key frames and across the end of the movie), the page index of a
// long clip and what the decoder does when the index cannot grow.
#include <gtest/gtest.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "foundation/files/files_test_support.h"
#include "foundation/memory/memory.h"
#include "movie/movie_test_support.h"
#include "movie/theora_decoder.h"
#include "movie/theora_testing.h"
#include "platform/kernel.h"

namespace {

using tessel::TheoraDecoder;
using tessel_test::MemoryFile;
using tessel_test::OpenMemoryClip;

struct DecoderCloser {
    void operator()(TheoraDecoder* d) const { tessel::TheoraClose(d); }
};
using DecoderPtr = std::unique_ptr<TheoraDecoder, DecoderCloser>;

class TheoraDecoderTest : public ::testing::Test {
  protected:
    void SetUp() override { tessel::TheoraBuildYuvTables(); }

    DecoderPtr Open(const std::vector<uint8_t>& clip, int stock = 10) {
        file_.bytes = clip;
        return DecoderPtr(OpenMemoryClip(file_, stock));
    }

    // The frame number drawn into the shown picture.
    static int Shown(TheoraDecoder* d) {
        tessel::TheoraUpdateImage(d, 1, 0);
        const tessel::BASEIMAGE* image = tessel::TheoraRgbImage(d);
        return tessel::ReadFrameNumber(image->pixels, image->pitch, image->width, image->height);
    }

    MemoryFile file_;
};

tessel::TheoraClipOptions Numbered(int frames, int keyInterval) {
    tessel::TheoraClipOptions recipe;
    recipe.frames = frames;
    recipe.keyFrameInterval = keyInterval;
    return recipe;
}

// Polls until `done` holds; false when `seconds` pass first. The bound only
// guards against a hang (sanitizer runs are slow), it times nothing.
// (<chrono> does not build with this folder's execution character set.)
double MonotonicSeconds() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

template <class Condition>
bool Eventually(Condition done, double seconds = 30) {
    const double end = MonotonicSeconds() + seconds;
    while (!done()) {
        if (MonotonicSeconds() > end) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

// Whether thread `tid` of this process sleeps in the kernel (state S); a wait
// that still spins or yields is running.
bool Asleep(pid_t tid) {
    std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
    const std::string text((std::istreambuf_iterator<char>(stat)),
                           std::istreambuf_iterator<char>());
    const size_t nameEnd = text.rfind(')');
    return nameEnd != std::string::npos && nameEnd + 2 < text.size() && text[nameEnd + 2] == 'S';
}

// Where each page of an Ogg file starts.
std::vector<size_t> PageStarts(const std::vector<uint8_t>& file) {
    std::vector<size_t> starts;
    size_t at = 0;
    while (at + 27 <= file.size()) {
        starts.push_back(at);
        const int segments = file[at + 26];
        size_t body = 0;
        for (int i = 0; i < segments; ++i) {
            body += file[at + 27 + i];
        }
        at += 27 + segments + body;
    }
    return starts;
}

TEST_F(TheoraDecoderTest, RefusesWhatIsNoTheoraMovieWithoutALogLine) {
    const std::vector<uint8_t> clip =
        tessel::EncodeTheoraClip(Numbered(4, 4), tessel::FrameNumberPainter());
    ASSERT_FALSE(clip.empty());
    const std::vector<size_t> pages = PageStarts(clip);
    ASSERT_GE(pages.size(), 3u);
    std::vector<uint8_t> notOgg = clip;
    notOgg[3] = 'T';
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"empty", {}},
        {"three bytes", {'O', 'g', 'g'}},
        {"not OggS", notOgg},
        {"Vorbis only", tessel::EncodeSilentVorbisOgg(0.5)},
        // The identification page whole, the page of the other two headers cut.
        {"cut before the third header",
         std::vector<uint8_t>(clip.begin(), clip.begin() + static_cast<long>(pages[1] + 40))},
    };
    for (const Case& c : cases) {
        tessel_test::LogScope log;
        MemoryFile file{c.bytes, 0};
        EXPECT_EQ(OpenMemoryClip(file), nullptr) << c.name;
        EXPECT_EQ(log.Text().find("Theora"), std::string::npos) << c.name;
    }
}

TEST_F(TheoraDecoderTest, RefusesAClipWithoutFramesWithALogLine) {
    tessel_test::LogScope log;
    const std::vector<uint8_t> clip =
        tessel::EncodeTheoraClip(Numbered(0, 4), tessel::FrameNumberPainter());
    ASSERT_FALSE(clip.empty());
    EXPECT_EQ(Open(clip), nullptr);
    EXPECT_NE(log.Text().find("Theora ムービーにフレームがありません"), std::string::npos);
}

TEST_F(TheoraDecoderTest, RefusesFramesPastTheLargestSideWithALogLine) {
    struct Case {
        int width, height;
        bool opens;
    };
    const Case cases[] = {{2048, 16, true}, {16, 2048, true}, {2064, 16, false}, {16, 2064, false}};
    for (const Case& c : cases) {
        tessel_test::LogScope log;
        tessel::TheoraClipOptions recipe = Numbered(1, 1);
        recipe.width = c.width;
        recipe.height = c.height;
        DecoderPtr d = Open(tessel::EncodeTheoraClip(recipe, tessel::SolidPainter(90, 100, 110)));
        EXPECT_EQ(d != nullptr, c.opens) << c.width << "x" << c.height;
        EXPECT_EQ(log.Text().find("Theora ムービーのフレームサイズが扱えない大きさです") !=
                      std::string::npos,
                  !c.opens);
    }
}

TEST_F(TheoraDecoderTest, SolidColourClipsGiveTheirColourAndTheirInformation) {
    struct Case {
        uint8_t y, u, v;
        uint32_t fpsNumerator, fpsDenominator;
        int frames;
    };
    const Case cases[] = {
        {81, 90, 240, 30, 1, 7},        // a red
        {145, 54, 34, 30000, 1001, 5},  // a green
        {41, 240, 110, 25, 2, 3},       // a blue
        {180, 128, 128, 60, 1, 9},      // a grey
    };
    for (const Case& c : cases) {
        tessel::TheoraClipOptions recipe = Numbered(c.frames, 4);
        recipe.fpsNumerator = c.fpsNumerator;
        recipe.fpsDenominator = c.fpsDenominator;
        DecoderPtr d = Open(tessel::EncodeTheoraClip(recipe, tessel::SolidPainter(c.y, c.u, c.v)));
        ASSERT_NE(d, nullptr);
        tessel::TheoraMovieInfo info{};
        EXPECT_EQ(tessel::TheoraQueryInfo(d.get(), &info), 0);
        EXPECT_EQ(info.frameCount, c.frames);
        EXPECT_DOUBLE_EQ(info.framesPerSecond,
                         static_cast<double>(c.fpsNumerator) / c.fpsDenominator);
        EXPECT_EQ(info.width, recipe.width);
        EXPECT_EQ(info.height, recipe.height);
        // BT.601 studio range, in doubles.
        const double yy = 1.164 * (c.y - 16);
        const int r = std::clamp(static_cast<int>(yy + 1.596 * (c.v - 128)), 0, 255);
        const int g =
            std::clamp(static_cast<int>(yy - 0.391 * (c.u - 128) - 0.813 * (c.v - 128)), 0, 255);
        const int b = std::clamp(static_cast<int>(yy + 2.018 * (c.u - 128)), 0, 255);
        const tessel::BASEIMAGE* image = tessel::TheoraRgbImage(d.get());
        ASSERT_EQ(image->width, recipe.width);
        ASSERT_EQ(image->height, recipe.height);
        for (int y = 0; y < image->height; y += 7) {
            for (int x = 0; x < image->width; x += 5) {
                const uint8_t* p = image->pixels + y * image->pitch + 4 * x;
                EXPECT_NEAR(p[0], b, 2) << x << "," << y;
                EXPECT_NEAR(p[1], g, 2) << x << "," << y;
                EXPECT_NEAR(p[2], r, 2) << x << "," << y;
                EXPECT_EQ(p[3], 255);
            }
        }
    }
}

TEST_F(TheoraDecoderTest, AdvancingShowsEachNumberedFrameAcrossKeyFrames) {
    struct Case {
        const char* name;
        bool pagePerFrame;
        bool withVorbis;
        int keyInterval;
    };
    const Case cases[] = {
        {"a page per frame", true, false, 8},
        {"frames sharing pages", false, false, 8},
        {"with a Vorbis stream", true, true, 16},
        {"frames sharing pages with Vorbis", false, true, 4},
    };
    const int kFrames = 40;
    for (const Case& c : cases) {
        tessel::TheoraClipOptions recipe = Numbered(kFrames, c.keyInterval);
        recipe.pagePerFrame = c.pagePerFrame;
        recipe.withVorbis = c.withVorbis;
        DecoderPtr d = Open(tessel::EncodeTheoraClip(recipe, tessel::FrameNumberPainter()), 4);
        ASSERT_NE(d, nullptr) << c.name;
        EXPECT_EQ(tessel::TheoraIndexFactsOf(d.get()).frames, kFrames) << c.name;
        EXPECT_EQ(Shown(d.get()), 0) << c.name;
        // Steps of one, then jumps past the stock and over key frames.
        const int steps[] = {1, 1, 1, 5, 9, 1, 13, 2, 3};
        int expected = 0;
        for (int step : steps) {
            tessel::TheoraAdvance(d.get(), step);
            expected += step;
            EXPECT_EQ(tessel::TheoraCurrentFrame(d.get()), expected) << c.name;
            EXPECT_EQ(Shown(d.get()), expected) << c.name << " after a step of " << step;
        }
        // Backwards: from 36 to a frame between key frames, and to the start.
        for (int target : {21, 3, 0, 39}) {
            tessel::TheoraSeek(d.get(), target);
            EXPECT_EQ(Shown(d.get()), target) << c.name << " after a seek to " << target;
        }
    }
}

// A repeated frame comes as an empty packet, for which the decoder finishes
// no stripes: it is stocked whole from the picture before it, also when it is
// the first frame after a seek or a jump.
TEST_F(TheoraDecoderTest, RepeatedFramesShowThePictureBeforeThem) {
    tessel::TheoraClipOptions recipe = Numbered(12, 8);
    recipe.repeated = {3, 8};
    DecoderPtr d = Open(tessel::EncodeTheoraClip(recipe, tessel::FrameNumberPainter()), 4);
    ASSERT_NE(d, nullptr);
    const std::vector<int> shown = {0, 1, 2, 3, 3, 4, 5, 6, 7, 8, 8, 9, 10, 11};
    ASSERT_EQ(tessel::TheoraIndexFactsOf(d.get()).frames, static_cast<int>(shown.size()));
    for (size_t f = 0; f < shown.size(); ++f) {
        EXPECT_EQ(Shown(d.get()), shown[f]) << "frame " << f;
        tessel::TheoraAdvance(d.get(), 1);
    }
    for (int target : {4, 10, 4, 13, 0}) {
        tessel::TheoraSeek(d.get(), target);
        EXPECT_EQ(Shown(d.get()), shown[static_cast<size_t>(target)]) << "seek to " << target;
    }
    tessel::TheoraSeek(d.get(), 2);
    tessel::TheoraAdvance(d.get(), 8);
    EXPECT_EQ(Shown(d.get()), shown[10]) << "a jump onto a repeat";
}

TEST_F(TheoraDecoderTest, SeekClampsToTheMovie) {
    DecoderPtr d = Open(tessel::EncodeTheoraClip(Numbered(12, 4), tessel::FrameNumberPainter()));
    ASSERT_NE(d, nullptr);
    tessel::TheoraSeek(d.get(), 100);
    EXPECT_EQ(tessel::TheoraCurrentFrame(d.get()), 11);
    EXPECT_EQ(Shown(d.get()), 11);
    tessel::TheoraSeek(d.get(), -5);
    EXPECT_EQ(tessel::TheoraCurrentFrame(d.get()), 0);
    EXPECT_EQ(Shown(d.get()), 0);
}

TEST_F(TheoraDecoderTest, AdvancingPastTheEndWrapsWhileTheThreadDecodesAcrossIt) {
    const int kFrames = 12;
    const int kStock = 4;
    DecoderPtr d =
        Open(tessel::EncodeTheoraClip(Numbered(kFrames, 5), tessel::FrameNumberPainter()), kStock);
    ASSERT_NE(d, nullptr);
    tessel::TheoraAdvance(d.get(), kFrames - 2);
    ASSERT_EQ(Shown(d.get()), kFrames - 2);
    // The stock fills with the window of frames from the shown one, across
    // the end: 10, 11, 0, 1.
    std::vector<int64_t> stocked;
    for (int i = 0; i < 10000; ++i) {
        stocked = tessel::TheoraStockFrames(d.get());
        std::sort(stocked.begin(), stocked.end());
        if (stocked.size() == kStock && tessel::TheoraStatusOf(d.get()) == 0) {
            break;
        }
        Sleep(1);
    }
    EXPECT_EQ(stocked, (std::vector<int64_t>{0, 1, 10, 11}));
    struct Step {
        int n;
        int shown;
    };
    const Step steps[] = {{1, 11}, {1, 0}, {1, 1}, {11, 0}, {12, 0}, {5, 5}, {10, 3}, {24, 3}};
    for (const Step& s : steps) {
        tessel::TheoraAdvance(d.get(), s.n);
        EXPECT_EQ(tessel::TheoraCurrentFrame(d.get()), s.shown);
        EXPECT_EQ(Shown(d.get()), s.shown) << "after " << s.n;
    }
}

// A damaged clip from the fuzzer's finds: frames are indexed, but the decoder
// has no picture to give for some of them. Updating gives 0 for those instead
// of waiting for a frame that cannot come.
TEST_F(TheoraDecoderTest, FramesWithoutAPictureEndTheWait) {
    std::string tests = TESSEL_TEST_DATA_DIR;
    tests.resize(tests.rfind('/'));
    const std::string path = tests + "/fuzz/corpus/movie_theora/no_picture_to_give";
    const std::string bytes = tessel_test::ReadWholeFile(path);
    ASSERT_FALSE(bytes.empty()) << path;
    DecoderPtr d = Open(std::vector<uint8_t>(bytes.begin(), bytes.end()), 2);
    ASSERT_NE(d, nullptr);
    // Each update returns, with a frame or without; the wait used to be endless.
    for (int i = 0; i < 6; ++i) {
        tessel::TheoraAdvance(d.get(), 1);
        const int updated = tessel::TheoraUpdateImage(d.get(), 1, 0);
        EXPECT_TRUE(updated == 0 || updated == 1);
    }
}

TEST_F(TheoraDecoderTest, UpdatingAConvertedFrameAgainDoesNothing) {
    DecoderPtr d = Open(tessel::EncodeTheoraClip(Numbered(6, 4), tessel::FrameNumberPainter()));
    ASSERT_NE(d, nullptr);
    // Open converted frame 0 already; without a device there is no surface.
    EXPECT_EQ(tessel::TheoraYuvSurface(d.get()), nullptr);
    EXPECT_EQ(tessel::TheoraUpdateImage(d.get(), 1, 0), 0);
    EXPECT_EQ(tessel::TheoraUpdateImage(d.get(), 1, 1), 0);
    EXPECT_EQ(tessel::TheoraUpdateImage(d.get(), 0, 0), 0);
    tessel::TheoraAdvance(d.get(), 0);
    EXPECT_EQ(tessel::TheoraUpdateImage(d.get(), 1, 0), 0);
    tessel::TheoraAdvance(d.get(), 2);
    EXPECT_EQ(tessel::TheoraUpdateImage(d.get(), 1, 0), 1);
    EXPECT_EQ(tessel::TheoraUpdateImage(d.get(), 1, 0), 0);
}

TEST_F(TheoraDecoderTest, ALongClipGrowsItsIndexInStepsOfAThousand) {
    tessel::TheoraClipOptions recipe = Numbered(1100, 64);
    recipe.width = 32;
    recipe.height = 32;
    recipe.quality = 30;
    const std::vector<uint8_t> clip =
        tessel::EncodeTheoraClip(recipe, tessel::FrameNumberPainter());
    // The encoder adds key frames of its own where the picture changes much.
    int keyFrames = 0;
    for (const tessel_test::OracleFrame& frame : tessel_test::DecodeAllFrames(clip)) {
        keyFrames += frame.key ? 1 : 0;
    }
    EXPECT_GE(keyFrames, (1100 + 63) / 64);
    DecoderPtr d = Open(clip, 3);
    ASSERT_NE(d, nullptr);
    const tessel::TheoraIndexFacts facts = tessel::TheoraIndexFactsOf(d.get());
    EXPECT_EQ(facts.frames, 1100);
    EXPECT_EQ(facts.entries, 1100);  // one page per frame
    EXPECT_EQ(facts.capacity, 2000);
    EXPECT_EQ(facts.keyFlagCapacity, 2000);
    EXPECT_EQ(facts.keyFrames, keyFrames);
    for (int target : {1050, 1099, 999, 1000, 640}) {
        tessel::TheoraSeek(d.get(), target);
        EXPECT_EQ(Shown(d.get()), target);
    }
}

// The open's tracked blocks in order: the record, the index, the key-frame
// flags, then the index's growth and the flags' growth at frame 1000.
TEST_F(TheoraDecoderTest, AFailedGrowthOfTheIndexFailsTheOpen) {
    tessel::TheoraClipOptions recipe = Numbered(1001, 64);
    recipe.width = 16;
    recipe.height = 16;
    recipe.quality = 20;
    const std::vector<uint8_t> clip =
        tessel::EncodeTheoraClip(recipe, tessel::FrameNumberPainter());
    struct Case {
        int successes;
        const char* line;
    };
    const Case cases[] = {
        {1, "Theora ページ情報格納用メモリの確保に失敗しました"},
        {2, "Theora キーフレーム情報格納用メモリの確保に失敗しました"},
        {3, "Theora ページ情報格納用メモリの確保に失敗しました"},
        {4, "Theora キーフレーム情報格納用メモリの確保に失敗しました"},
    };
    const uint32_t blocksBefore = tessel::TrackedBlockCount();
    for (const Case& c : cases) {
        tessel_test::LogScope log;
        tessel::SetTrackedHeapFailingAfter(c.successes);
        DecoderPtr d = Open(clip);
        tessel::SetTrackedHeapFailing(false);
        EXPECT_EQ(d, nullptr) << c.successes;
        EXPECT_NE(log.Text().find(c.line), std::string::npos) << c.successes << "\n" << log.Text();
        // The open stops at the growth, before the image it would make next.
        EXPECT_EQ(log.Text().find("画像バッファ"), std::string::npos) << c.successes;
        EXPECT_EQ(tessel::TrackedBlockCount(), blocksBefore) << c.successes;
    }
}

// The thread wakes a window thread that fell asleep waiting for its frame,
// and the wait leaves the count of waiters as it found it.
TEST_F(TheoraDecoderTest, AWindowThreadAsleepOnItsFrameIsWokenWhenTheFrameComes) {
    DecoderPtr d = Open(tessel::EncodeTheoraClip(Numbered(12, 4), tessel::FrameNumberPainter()), 3);
    ASSERT_NE(d, nullptr);
    tessel::TheoraHoldThread(d.get(), true);
    ASSERT_TRUE(Eventually([&] { return tessel::TheoraStatusOf(d.get()) == 4; }));
    // A frame the held thread has not stocked: the window thread must wait.
    tessel::TheoraAdvance(d.get(), 7);
    const std::vector<int64_t> stocked = tessel::TheoraStockFrames(d.get());
    ASSERT_EQ(std::count(stocked.begin(), stocked.end(), 7), 0);
    ASSERT_EQ(tessel::TheoraWaiterCount(d.get()), 0u);
    std::atomic<pid_t> windowThread{0};
    std::atomic<int> shown{-1};
    std::thread window([&] {
        windowThread = gettid();
        shown = Shown(d.get());
    });
    const bool slept = Eventually([&] {
        return windowThread != 0 && tessel::TheoraWaiterCount(d.get()) == 1 && Asleep(windowThread);
    });
    tessel::TheoraHoldThread(d.get(), false);
    const bool woken = Eventually([&] { return shown >= 0; });
    if (!woken) {
        tessel::TheoraWakeAllWaiters(d.get());  // lets the window thread end
    }
    window.join();
    EXPECT_TRUE(slept);
    EXPECT_TRUE(woken);
    EXPECT_EQ(shown, 7);
    EXPECT_EQ(tessel::TheoraWaiterCount(d.get()), 0u);
}

TEST_F(TheoraDecoderTest, OpensAndClosesManyTimesWhileTheThreadRuns) {
    const std::vector<uint8_t> clip =
        tessel::EncodeTheoraClip(Numbered(20, 4), tessel::FrameNumberPainter());
    for (int i = 0; i < 100; ++i) {
        DecoderPtr d = Open(clip, 1 + i % 5);
        ASSERT_NE(d, nullptr);
        tessel::TheoraAdvance(d.get(), 1 + i % 7);
        EXPECT_EQ(Shown(d.get()), 1 + i % 7);
        tessel::TheoraAdvance(d.get(), 3);
    }
}

}  // namespace
