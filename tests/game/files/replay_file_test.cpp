// Replay files: the exact layout, the list line, slot paths, and short,
// damaged and out-of-range files, which must read as empty slots.
#include "game/files/replay_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "tests/game/game_folder_support.h"

namespace {

using game_test::Bytes;
using game_test::GetLe;
using game_test::PutLe;

using game_test::LocalTime;

std::string ListLine(int64_t score, int32_t mode, const std::tm& time) {
    char line[kReplayListLineBytes];
    memset(line, 'x', sizeof line);
    FormatReplayListLine(score, mode, time, line);
    EXPECT_NE(memchr(line, '\0', sizeof line), nullptr);
    return line;
}

class ReplayFileTest : public game_test::GameFolder {
  protected:
    void SetUp() override {
        GameFolder::SetUp();
        MakeFolder("replay");
    }

    // A recorded game with non-round values in every field.
    static std::unique_ptr<ReplayFile> SampleReplay() {
        auto replay = std::make_unique<ReplayFile>();
        ReplayState state{};
        state.settings = {0, 0x0000000876543210LL, kModeTwoMinutes, 99, 2, 0xDEADBEEF, 0};
        for (int32_t i = 0; i < kReplayMaskCount; ++i) {
            state.masks[i] = static_cast<uint16_t>(i * 40503u);
        }
        PlaySettings final = state.settings;
        final.score = 0x0123456789ABCDEFLL;
        final.level = 12;
        FillReplayFile(final, state, LocalTime(2026, 3, 7, 9, 5), replay.get());
        return replay;
    }
};

TEST(ReplayListLine, DateScoreAndModeInTheirFields) {
    const std::tm when = LocalTime(2026, 3, 7, 9, 5);
    struct Row {
        int64_t score;
        int32_t mode;
        const char* line;
    };
    const Row rows[] = {
        {0, kModeEndless, "2026/03/07 09:05          0 Endless"},
        {1234, kModeTwoMinutes, "2026/03/07 09:05       1234 2minutes"},
        {-5, kModeEndless, "2026/03/07 09:05         -5 Endless"},
        {999999999, kModeEndless, "2026/03/07 09:05  999999999 Endless"},
        {4294967296LL, kModeEndless, "2026/03/07 09:05  4294967296 Endless"},
        {1099511627776LL, kModeTwoMinutes, "2026/03/07 09:05  1099511627776 2minutes"},
        {INT64_MAX, kModeTwoMinutes, "2026/03/07 09:05  9223372036854775807 2minutes"},
        {INT64_MIN, kModeTwoMinutes, "2026/03/07 09:05 -9223372036854775808 2minutes"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.score);
        EXPECT_EQ(ListLine(row.score, row.mode, when), row.line);
    }
    EXPECT_EQ(ListLine(0, kModeEndless, when).size(), 35u);
    EXPECT_EQ(ListLine(0, kModeTwoMinutes, LocalTime(1999, 12, 31, 23, 59)),
              "1999/12/31 23:59          0 2minutes");
}

TEST(ReplaySlotPath, TwoDigitsAtLeast) {
    const std::pair<int, const char*> slots[] = {{0, "replay\\vn_rep00.rpl"},
                                                 {7, "replay\\vn_rep07.rpl"},
                                                 {12, "replay\\vn_rep12.rpl"},
                                                 {19, "replay\\vn_rep19.rpl"}};
    for (const auto& [slot, expected] : slots) {
        char path[kReplayPathBytes];
        ReplaySlotPath(slot, path);
        EXPECT_STREQ(path, expected);
    }
}

TEST_F(ReplayFileTest, SavedFileHasItsExactSizeAndFieldOffsets) {
    auto replay = SampleReplay();
    char path[kReplayPathBytes];
    ReplaySlotPath(7, path);
    ASSERT_EQ(SaveReplayFile(*replay, path), 0);

    Bytes bytes;
    ASSERT_TRUE(Read("replay/vn_rep07.rpl", &bytes));
    ASSERT_EQ(bytes.size(), 432116u);
    EXPECT_EQ(GetLe(bytes, 0, 8), 0x0123456789ABCDEFULL);  // final score
    EXPECT_EQ(GetLe(bytes, 8, 4), 1u);                     // mode
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[12])),
              "2026/03/07 09:05  81985529216486895 2minutes");
    // The settings block, 4-aligned: its 64-bit fields straddle 8-byte boundaries.
    EXPECT_EQ(GetLe(bytes, 76, 8), 0u);                     // score at the start
    EXPECT_EQ(GetLe(bytes, 84, 8), 0x0000000876543210ULL);  // high score
    EXPECT_EQ(GetLe(bytes, 92, 4), 1u);                     // mode
    EXPECT_EQ(GetLe(bytes, 96, 4), 99u);                    // lives
    EXPECT_EQ(GetLe(bytes, 100, 4), 2u);                    // bombs
    EXPECT_EQ(GetLe(bytes, 104, 4), 0xDEADBEEFu);           // seed
    EXPECT_EQ(GetLe(bytes, 108, 4), 0u);                    // level
    EXPECT_EQ(GetLe(bytes, 112, 4), 0xDEADBEEFu);           // seed at saving
    EXPECT_EQ(GetLe(bytes, 116, 2), 0u);
    EXPECT_EQ(GetLe(bytes, 118, 2), 40503u);
    EXPECT_EQ(GetLe(bytes, 432114, 2), static_cast<uint16_t>(215999u * 40503u));

    char line[kReplayListLineBytes];
    EXPECT_EQ(BuildReplayListLine(path, line), 1);
    EXPECT_STREQ(line, "2026/03/07 09:05  81985529216486895 2minutes");
}

TEST_F(ReplayFileTest, LoadAfterSaveGivesTheSameRecordAndTheSameBytes) {
    auto replay = SampleReplay();
    ASSERT_EQ(SaveReplayFile(*replay, "replay\\vn_rep00.rpl"), 0);
    auto loaded = std::make_unique<ReplayFile>();
    ASSERT_EQ(LoadReplayFile(loaded.get(), "replay\\vn_rep00.rpl"), 0);
    EXPECT_EQ(loaded->finalScore, replay->finalScore);
    EXPECT_EQ(loaded->mode, replay->mode);
    EXPECT_STREQ(loaded->listLine, replay->listLine);
    EXPECT_EQ(loaded->state.settings.highScore, replay->state.settings.highScore);
    EXPECT_EQ(loaded->state.settings.seed, replay->state.settings.seed);
    EXPECT_EQ(loaded->state.savedSeed, replay->state.savedSeed);
    EXPECT_EQ(memcmp(loaded->state.masks, replay->state.masks, sizeof replay->state.masks), 0);

    ASSERT_EQ(SaveReplayFile(*loaded, "replay\\vn_rep01.rpl"), 0);
    Bytes first, second;
    ASSERT_TRUE(Read("replay/vn_rep00.rpl", &first));
    ASSERT_TRUE(Read("replay/vn_rep01.rpl", &second));
    EXPECT_EQ(first, second);
}

TEST_F(ReplayFileTest, WithoutTheReplayFolderNothingIsSavedAndEverySlotIsEmpty) {
    ASSERT_EQ(rmdir("replay"), 0);
    auto replay = SampleReplay();
    EXPECT_EQ(SaveReplayFile(*replay, "replay\\vn_rep03.rpl"), -1);
    char line[kReplayListLineBytes];
    EXPECT_EQ(BuildReplayListLine("replay\\vn_rep03.rpl", line), 0);
    EXPECT_STREQ(line, kEmptyReplayListLine);
    auto loaded = std::make_unique<ReplayFile>();
    loaded->finalScore = 42;
    EXPECT_EQ(LoadReplayFile(loaded.get(), "replay\\vn_rep03.rpl"), -1);
    EXPECT_EQ(loaded->finalScore, 42);
}

TEST_F(ReplayFileTest, AHeaderOutOfRangeIsAnEmptySlotThatNeverLoads) {
    auto replay = SampleReplay();
    ASSERT_EQ(SaveReplayFile(*replay, "replay\\vn_rep05.rpl"), 0);
    Bytes good;
    ASSERT_TRUE(Read("replay/vn_rep05.rpl", &good));
    struct Damage {
        const char* what;
        size_t offset;
        uint32_t value;
        bool inRange;
    };
    const Damage damages[] = {
        {"file mode 2", 8, 2, false},
        {"file mode all ones", 8, 0xFFFFFFFF, false},
        {"settings mode 2", 92, 2, false},
        {"settings mode -1", 92, 0xFFFFFFFF, false},
        {"level 31", 108, 31, false},
        {"level -1", 108, 0xFFFFFFFF, false},
        {"lives 100", 96, 100, false},
        {"lives -1", 96, 0xFFFFFFFF, false},
        {"bombs 100", 100, 100, false},
        {"bombs -1", 100, 0xFFFFFFFF, false},
        {"level 30", 108, 30, true},
        {"lives 0", 96, 0, true},
        {"bombs 99", 100, 99, true},
        {"file mode 0", 8, 0, true},
        // A game starts at score 0: any other starting score was made by hand
        // (near the top of int64 it would overflow in play).
        {"start score 1", 76, 1, false},
        {"start score near the top", 80, 0x7FFFFFFF, false},
        {"start score negative", 80, 0xFFFFFFFF, false},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.what);
        Bytes bytes = good;
        PutLe(&bytes, d.offset, d.value, 4);
        Write("replay/vn_rep05.rpl", bytes);
        char line[kReplayListLineBytes];
        EXPECT_EQ(BuildReplayListLine("replay\\vn_rep05.rpl", line), d.inRange ? 1 : 0);
        EXPECT_STREQ(line, d.inRange ? replay->listLine : kEmptyReplayListLine);
        auto loaded = std::make_unique<ReplayFile>();
        loaded->state.masks[1] = 0x5555;
        EXPECT_EQ(LoadReplayFile(loaded.get(), "replay\\vn_rep05.rpl"), d.inRange ? 0 : -1);
        EXPECT_EQ(loaded->state.masks[1], d.inRange ? 40503 : 0x5555);
    }
}

TEST_F(ReplayFileTest, ShortFilesListOnlyWithAWholeHeaderAndLoadZeroMasksPastTheirEnd) {
    auto replay = SampleReplay();
    ASSERT_EQ(SaveReplayFile(*replay, "replay\\vn_rep09.rpl"), 0);
    Bytes whole;
    ASSERT_TRUE(Read("replay/vn_rep09.rpl", &whole));

    for (size_t size : {size_t{0}, size_t{11}, size_t{76}, size_t{115}}) {
        SCOPED_TRACE(size);
        Write("replay/vn_rep09.rpl", Bytes(whole.begin(), whole.begin() + size));
        char line[kReplayListLineBytes];
        EXPECT_EQ(BuildReplayListLine("replay\\vn_rep09.rpl", line), 0);
        EXPECT_STREQ(line, kEmptyReplayListLine);
        auto loaded = std::make_unique<ReplayFile>();
        EXPECT_EQ(LoadReplayFile(loaded.get(), "replay\\vn_rep09.rpl"), -1);
    }

    // The header and three and a half masks.
    Write("replay/vn_rep09.rpl", Bytes(whole.begin(), whole.begin() + 116 + 7));
    char line[kReplayListLineBytes];
    EXPECT_EQ(BuildReplayListLine("replay\\vn_rep09.rpl", line), 1);
    EXPECT_STREQ(line, replay->listLine);
    auto loaded = std::make_unique<ReplayFile>();
    memset(loaded->state.masks, 0xFF, sizeof loaded->state.masks);
    ASSERT_EQ(LoadReplayFile(loaded.get(), "replay\\vn_rep09.rpl"), 0);
    EXPECT_EQ(loaded->state.settings.seed, 0xDEADBEEFu);
    EXPECT_EQ(loaded->state.masks[2], replay->state.masks[2]);
    EXPECT_EQ(loaded->state.masks[3], replay->state.masks[3] & 0x00FF);
    EXPECT_EQ(loaded->state.masks[4], 0);
    EXPECT_EQ(loaded->state.masks[kReplayMaskCount - 1], 0);

    // A longer file reads its record and ignores the rest.
    Bytes longer = whole;
    longer.resize(whole.size() + 100, 0x77);
    Write("replay/vn_rep09.rpl", longer);
    ASSERT_EQ(LoadReplayFile(loaded.get(), "replay\\vn_rep09.rpl"), 0);
    EXPECT_EQ(loaded->state.masks[kReplayMaskCount - 1], replay->state.masks[kReplayMaskCount - 1]);
}

TEST_F(ReplayFileTest, AListLineWithoutItsEndIsEndedWithinItsSixtyFourBytes) {
    auto replay = SampleReplay();
    ASSERT_EQ(SaveReplayFile(*replay, "replay\\vn_rep11.rpl"), 0);
    Bytes bytes;
    ASSERT_TRUE(Read("replay/vn_rep11.rpl", &bytes));
    memset(&bytes[12], 'A', kReplayListLineBytes);
    Write("replay/vn_rep11.rpl", bytes);

    char line[kReplayListLineBytes + 8];
    memset(line, 'z', sizeof line);
    EXPECT_EQ(BuildReplayListLine("replay\\vn_rep11.rpl", line), 1);
    EXPECT_EQ(strnlen(line, sizeof line), kReplayListLineBytes - 1);
    EXPECT_EQ(line[kReplayListLineBytes], 'z');  // nothing written past the 64 bytes
    auto loaded = std::make_unique<ReplayFile>();
    ASSERT_EQ(LoadReplayFile(loaded.get(), "replay\\vn_rep11.rpl"), 0);
    EXPECT_EQ(strnlen(loaded->listLine, kReplayListLineBytes), kReplayListLineBytes - 1);

    // Bytes after an early end are not carried into the line.
    memcpy(&bytes[12], "abc\0defg", 8);
    Write("replay/vn_rep11.rpl", bytes);
    EXPECT_EQ(BuildReplayListLine("replay\\vn_rep11.rpl", line), 1);
    EXPECT_STREQ(line, "abc");
    EXPECT_EQ(line[5], '\0');
}

}  // namespace
