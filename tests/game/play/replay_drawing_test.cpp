// Drawing never changes play: generated games drawn every frame on the hardware and the software
// path hash alike with their undrawn replays, and the frames were really drawn.
#include <gtest/gtest.h>

#include "game/draw/game_screens.h"
#include "game/draw/library_draw_calls.h"
#include "game/play/play_state.h"
#include "game/play/replay_check.h"
#include "game/play/stand_in_pictures.h"
#include "game/play/stand_in_tables.h"
#include "graphics/batch/vertex_batch.h"
#include "tests/graphics/images/image_test_support.h"

namespace {

// The library's own calls, counting the bullet layer's images on the way.
int g_bulletImages = 0;
const LibraryDrawCalls kCountingCalls = [] {
    LibraryDrawCalls calls = LibraryOwnDrawCalls();
    calls.drawRotatedAlt = [](float x, float y, double scale, double angle, int32_t image) {
        ++g_bulletImages;
        LibraryOwnDrawCalls().drawRotatedAlt(x, y, scale, angle, image);
    };
    return calls;
}();

class ReplayOnADrawingPath : public tessel_test::BothPathsImageTest {
  protected:
    void SetUp() override {
        BothPathsImageTest::SetUp();
        PrepareStandInPlay();
        GameScoreFile = ScoreFile{};
        ASSERT_EQ(MakeStandInPictures(), 0);
        g_bulletImages = 0;
        BindLibraryDrawCalls(&kCountingCalls);
    }
    void TearDown() override {
        BindLibraryDrawCalls(nullptr);
        ReleaseStandInPictures();
        BothPathsImageTest::TearDown();
    }
    static uint32_t FramePixel(int x, int y) {
        tessel::FlushVertexBatch();
        return Pixel(FrameImage, x, y) & 0xFFFFFFu;
    }
};

TEST_P(ReplayOnADrawingPath, GamesDrawnEveryFrameHashAsTheirUndrawnReplays) {
    // Short games, as drawing every frame on the hardware path's device costs
    // several milliseconds a frame: the replay tool runs long ones on either path.
    const struct {
        uint32_t game;
        bool drawLive;  // else the playback draws
    } cases[] = {{0, true}, {3, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.game);
        ReplayCheckSummary summary{};
        EXPECT_EQ(
            CheckReplayOfGame(GeneratedGameSettings(c.game), c.game + 1, 150, c.drawLive, &summary),
            -1);
        EXPECT_EQ(summary.played, 150);
    }
    EXPECT_GT(g_bulletImages, 1000);  // bullets fly from the first waves on
    // The side panel's colour on the left, the floor or what covers it in the field.
    EXPECT_EQ(FramePixel(10, 240), 0x46'46'64u);
    EXPECT_NE(FramePixel(300, 300), 0u);
}

INSTANTIATE_TEST_SUITE_P(BothPaths, ReplayOnADrawingPath, testing::Bool(), tessel_test::PathName);

}  // namespace
