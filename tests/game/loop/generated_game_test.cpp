// The whole program on the running library in the generated data folder: it starts, draws, saves
// screenshots of the FPS figure and ends.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "foundation/runtime/message_pump.h"
#include "game/draw/draw_queue.h"
#include "game/loop/frame_calls.h"
#include "game/loop/frame_loop.h"
#include "game/loop/frame_overlays.h"
#include "game/loop/frame_pacer.h"
#include "game/loop/scene_machine.h"
#include "game/random/dsfmt_random.h"
#include "game/startup/startup_calls.h"
#include "tests/game/game_program_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kFrames = 150;
constexpr uint32_t kFirstShot = 30;  // the first second: dashes
// A whole cycle measured: 1000 ms / 60 frames, and 1000 over that mean is a
// hair below 60, which the truncated digits show as 59.9.
constexpr uint32_t kSecondShot = 140;

// The P key down in the two frames of the shots.
struct Harness {
    static int Pump() { return FrameCounter >= kFrames ? 1 : tessel::PumpMessages(); }
    static int Key(int code) {
        return code == kScreenshotKey &&
               (FrameCounter == kFirstShot || FrameCounter == kSecondShot);
    }
    static std::tm Time() {
        std::tm time{};
        time.tm_year = 126;
        time.tm_mday = 1;
        time.tm_sec = FrameCounter == kFirstShot ? 1 : 2;
        return time;
    }
};

class GeneratedGame : public game_test::GameProgramTest {
  protected:
    void SetUp() override {
        GameProgramTest::SetUp();
        frameCalls_.pumpMessages = &Harness::Pump;
        UseSleepClock();
        frameCalls_.isKeyPressed = &Harness::Key;
        frameCalls_.localTime = &Harness::Time;
        // The scenes' pictures are left out, so that the figure is read over black.
        frameCalls_.flushDrawQueue = [](DrawQueue* queue) { ClearDrawQueue(queue); };
        BindFrames();
    }

    // The 14 x 16 cell at (x, 464) of a 640 x 480 24-bit BMP (bottom-up
    // rows) without its first column, which the point overlaps at x 624.
    static Bytes Cell(const Bytes& bmp, int x) {
        Bytes cell;
        for (int y = 464; y < 480; ++y) {
            const size_t row = 54 + static_cast<size_t>(479 - y) * 640 * 3;
            cell.insert(cell.end(), bmp.begin() + row + (x + 1) * 3,
                        bmp.begin() + row + (x + 14) * 3);
        }
        return cell;
    }
    static bool AllBlack(const Bytes& cell) {
        for (uint8_t byte : cell) {
            if (byte != 0) {
                return false;
            }
        }
        return true;
    }
    Bytes ReadShot(const char* name) const {
        std::ifstream in(Folder("screenshot") + "/" + name, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
};

TEST_F(GeneratedGame, RunsItsFramesAndShowsTheFpsFigureInItsScreenshots) {
    LinkGameData();
    ASSERT_EQ(mkdir(Folder("screenshot").c_str(), 0755), 0);
    {
        std::ofstream config(Folder("config.dat"), std::ios::binary);
        config.write("\0\0\0\x08", 4);  // the FPS figure on
    }
    EXPECT_EQ(RunGameProgram(), 0);
    EXPECT_EQ(FrameCounter, kFrames);
    struct stat score {};
    EXPECT_EQ(stat(Folder("score.dat").c_str(), &score), 0);
    EXPECT_EQ(score.st_size, 44);

    const Bytes first = ReadShot("260101000001.bmp");
    const Bytes second = ReadShot("260101000002.bmp");
    ASSERT_EQ(first.size(), 54u + 640 * 480 * 3);
    ASSERT_EQ(second.size(), first.size());
    // Dashes in the first second.
    const Bytes dash = Cell(first, 593);
    EXPECT_FALSE(AllBlack(dash));
    EXPECT_EQ(Cell(first, 606), dash);
    EXPECT_EQ(Cell(first, 624), dash);
    // 59.9: a five, then two equal nines, none of them a dash.
    const Bytes five = Cell(second, 593);
    const Bytes nine = Cell(second, 606);
    EXPECT_FALSE(AllBlack(five));
    EXPECT_FALSE(AllBlack(nine));
    EXPECT_NE(five, nine);
    EXPECT_NE(nine, dash);
    EXPECT_EQ(Cell(second, 624), nine);
    // The label is the same in both.
    EXPECT_EQ(Cell(second, 544), Cell(first, 544));
    EXPECT_FALSE(AllBlack(Cell(first, 544)));
}

}  // namespace
