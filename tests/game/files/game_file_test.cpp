// Saving the game's files: a save the disk stops part-way keeps the previous file.
#include "game/files/game_file.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <memory>
#include <set>
#include <string>

#include "game/files/assign_file.h"
#include "game/files/config_file.h"
#include "game/files/replay_file.h"
#include "game/files/score_file.h"
#include "tests/game/game_folder_support.h"

namespace {

using game_test::Bytes;

// Bytes no save writes: every position differs from its neighbours.
Bytes OldBytes(size_t size) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 37 + 11);
    }
    return bytes;
}

std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return names;
    }
    while (struct dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.insert(name);
        }
    }
    closedir(dir);
    return names;
}

struct SaveCase {
    const char* name;
    const char* folder;  // Linux name of the file's folder
    const char* file;    // Linux name of the file in it
    size_t size;
    rlim_t limit;  // below the size: the save stops part-way
    std::function<int()> save;
};

class GameFileSave : public game_test::GameFolder {
  protected:
    void SetUp() override {
        GameFolder::SetUp();
        MakeFolder("replay");
        score_.highScores[1] = 0x0000001234567890LL;
        score_.gamesStarted = 77;
        ConstructInputState(&input_);
        SetDefaultKeyAssignment(&input_.assignment);
        replay_ = std::make_unique<ReplayFile>();
        replay_->finalScore = 987654321;
        replay_->state.masks[kReplayMaskCount - 1] = 0x0155;
    }

    std::vector<SaveCase> Cases() {
        return {
            {"score.dat", ".", "score.dat", kScoreFileBytes, 20,
             [this] { return SaveScoreFile(score_); }},
            {"assign.dat", ".", "assign.dat", 64, 30, [this] { return SaveKeyAssignment(input_); }},
            {"config.dat", ".", "config.dat", kConfigWordBytes, 2,
             [] {
                 return SaveConfigFile(ConfigWord{2, 1, 1, 0x0A});
             }},
            // Larger than the stream's buffer: the write itself stops short.
            {"a replay", "replay", "vn_rep07.rpl", kReplayFileBytes, 100000,
             [this] { return SaveReplayFile(*replay_, "replay\\vn_rep07.rpl"); }},
        };
    }

    ScoreFile score_{};
    InputState input_;
    std::unique_ptr<ReplayFile> replay_;
};

TEST_F(GameFileSave, ASaveStoppedPartWayLeavesThePreviousFileWhole) {
    for (const SaveCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        std::string path = std::string(c.folder) + "/" + c.file;
        const Bytes old = OldBytes(c.size);
        Write(path, old);
        {
            game_test::FileSizeLimit limit(c.limit);
            ASSERT_TRUE(limit.set());
            EXPECT_EQ(c.save(), -1);
        }
        Bytes kept;
        ASSERT_TRUE(Read(path, &kept));
        EXPECT_TRUE(kept == old) << "the previous bytes are lost";
        EXPECT_EQ(Names(c.folder).count(std::string(c.file) + ".tmp"), 0u);

        // With room on the disk the same save replaces the file whole.
        ASSERT_EQ(c.save(), 0);
        Bytes saved;
        ASSERT_TRUE(Read(path, &saved));
        EXPECT_EQ(saved.size(), c.size);
        EXPECT_NE(saved, old);
        EXPECT_EQ(Names(c.folder).count(std::string(c.file) + ".tmp"), 0u);
    }
}

TEST_F(GameFileSave, ASaveStoppedPartWayLeavesNoFileWhereThereWasNone) {
    // A part of a file would load: each reader fills only the bytes it finds.
    for (const SaveCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        std::set<std::string> before = Names(c.folder);
        {
            game_test::FileSizeLimit limit(c.limit);
            ASSERT_TRUE(limit.set());
            EXPECT_EQ(c.save(), -1);
        }
        EXPECT_EQ(Names(c.folder), before);
    }
}

TEST_F(GameFileSave, AFileThatCannotBeReplacedIsKeptAndTheSaveFails) {
    const Bytes old = OldBytes(kScoreFileBytes);
    struct Case {
        const char* name;
        std::function<void()> prepare;
    };
    const Case cases[] = {
        {"read-only",
         [&] {
             Write("score.dat", old);
             ASSERT_EQ(chmod("score.dat", 0444), 0);
         }},
        {"a folder in its place", [] { ASSERT_EQ(mkdir("score.dat", 0755), 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(system("rm -rf score.dat"), 0);
        c.prepare();
        struct stat before;
        ASSERT_EQ(stat("score.dat", &before), 0);
        EXPECT_EQ(SaveScoreFile(score_), -1);
        struct stat after;
        ASSERT_EQ(stat("score.dat", &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(Names("."), (std::set<std::string>{"replay", "score.dat"}));
    }
}

TEST_F(GameFileSave, AnExistingFileIsReplacedWhateverTheCaseOfItsName) {
    Write("SCORE.DAT", OldBytes(kScoreFileBytes));
    ASSERT_EQ(SaveScoreFile(score_), 0);
    EXPECT_EQ(Names("."), (std::set<std::string>{"SCORE.DAT", "replay"}));
    ScoreFile loaded{};
    LoadScoreFile(&loaded);
    EXPECT_EQ(loaded.highScores[1], score_.highScores[1]);
    EXPECT_EQ(loaded.gamesStarted, 77u);
}

}  // namespace
