// The window and its movies: losing the activation pauses every playing
// movie and getting it back resumes them from the frame shown, unless a
// program that runs while inactive keeps them playing in a window.
#include <gtest/gtest.h>

#include "foundation/runtime/system_state.h"
#include "graphics/device/graphics_device.h"
#include "graphics/restore/image_restore.h"
#include "graphics/settings/draw_settings.h"
#include "tests/foundation/runtime/library_test_support.h"
#include "tests/movie/movie_playback_support.h"

namespace {

using namespace movietest;
using namespace tessel;

class MovieWindowTest : public tessel_test::LibraryTest {
  protected:
    void SetUp() override {
        LibraryTest::SetUp();
        TheoraBuildYuvTables();
        HandClock::now = 1000000;
        SetMovieClockForTest(HandClock::Read);
    }
    void TearDown() override {
        if (movie_ != -1) {
            MovieDispose(movie_);
        }
        SetMovieClockForTest(nullptr);
        SetRunWhenInactive(0);
        LibraryTest::TearDown();
        ChangeWindowMode(1);
        EXPECT_EQ(OpenMovieCountForTest(), 0);
    }
    // A ten-frame clip opened and playing from the hand clock's now.
    MovieRecord* PlayingClip() {
        WriteFileBytes("clip.ogv", NumberedClip(10));
        movie_ = OpenMovie("clip.ogv", nullptr, nullptr, 0);
        EXPECT_NE(movie_, -1);
        EXPECT_EQ(MoviePlay(movie_, 1), 0);
        return MovieRecordFromHandle(movie_);
    }
    int movie_ = -1;
};

TEST_F(MovieWindowTest, LosingAndGettingBackTheActivationPausesAndResumesMovies) {
    struct Case {
        const char* name;
        int fullScreen;
        int runWhenInactive;
        int pausedWhileInactive;
    };
    // Full screen pauses whatever the option says: the screen is gone.
    const Case cases[] = {
        {"window", 0, 0, 1},
        {"window, runs while inactive", 0, 1, 0},
        {"full screen, runs while inactive", 1, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.fullScreen != 0) {
            OfferFullScreenModes();
        }
        ChangeWindowMode(c.fullScreen != 0 ? 0 : 1);
        SetRunWhenInactive(c.runWhenInactive);
        ASSERT_EQ(StartLibrary(), 0);
        HWND window = GetMainWindow();
        MovieRecord* record = PlayingClip();
        ASSERT_NE(record, nullptr);
        const uint64_t start = HandClock::now;
        HandClock::now = start + FrameTime(4, 30);
        MovieAdvanceFrame(movie_, 0);
        ASSERT_EQ(TheoraCurrentFrame(record->decoder), 4);

        SendMessageA(window, WM_ACTIVATE, WA_INACTIVE, 0);
        EXPECT_EQ(record->paused, c.pausedWhileInactive);
        EXPECT_EQ(record->playing, 1);
        // A minute away: a paused movie still shows frame 4 afterwards.
        HandClock::now += 60000000;
        SendMessageA(window, WM_ACTIVATE, WA_ACTIVE, 0);
        EXPECT_EQ(record->paused, 0);
        EXPECT_EQ(record->playing, 1);
        MovieAdvanceFrame(movie_, 0);
        EXPECT_EQ(TheoraCurrentFrame(record->decoder), c.pausedWhileInactive != 0 ? 4 : 9);

        MovieDispose(movie_);
        movie_ = -1;
        EXPECT_EQ(EndLibrary(), 0);
    }
}

// A display change the window can follow (a restore function set, a depth
// other than 24 or a new 8, a display no smaller than the screen) resumes
// the movies that were paused while playing; any other ends the program.
TEST_F(MovieWindowTest, AFollowedDisplayChangeResumesMoviesAndAnyOtherClosesTheWindow) {
    struct Case {
        const char* name;
        bool restoreFunction;
        int bits;
        int width;
        int height;
        bool followed;
    };
    const Case cases[] = {
        {"16 bits, larger", true, 16, 1024, 768, true},
        {"same size, 16 bits", true, 16, 640, 480, true},
        {"24 bits", true, 24, 1024, 768, false},
        {"8 bits", true, 8, 1024, 768, false},
        {"narrower", true, 16, 639, 768, false},
        {"lower", true, 16, 1024, 479, false},
        {"no restore function", false, 16, 1024, 768, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(StartLibrary(), 0);
        ASSERT_EQ(g_system.closePosted, 0);
        HWND window = GetMainWindow();
        int screenWidth = 0;
        int screenHeight = 0;
        int screenBits = 0;
        QueryScreenState(&screenWidth, &screenHeight, &screenBits);
        ASSERT_EQ(screenWidth, 640);
        ASSERT_EQ(screenHeight, 480);
        ASSERT_NE(screenBits, 16);
        if (!c.restoreFunction) {
            g_drawSettings.restoreCallback = nullptr;
        }
        MovieRecord* record = PlayingClip();
        ASSERT_NE(record, nullptr);
        MoviePauseAll();
        ASSERT_EQ(record->paused, 1);

        SendMessageA(window, WM_DISPLAYCHANGE, static_cast<WPARAM>(c.bits),
                     static_cast<LPARAM>(MAKELONG(c.width, c.height)));
        EXPECT_EQ(g_system.displayChanged, 1);
        EXPECT_EQ(record->paused, c.followed ? 0 : 1);
        EXPECT_EQ(record->playing, 1);
        EXPECT_EQ(g_system.closePosted, c.followed ? 0 : 1);

        MovieDispose(movie_);
        movie_ = -1;
        SetRestoreCallback(nullptr);
        EXPECT_EQ(EndLibrary(), 0);
    }
}

}  // namespace
