// Start-up on the running library with the data folder the build generates:
// nothing fails to load, every cell is a live image of its record's size,
// and the folders packed into an archive with the game's key load the same.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "foundation/files/archive_fs.h"
#include "foundation/files/file_ops.h"
#include "game/data/game_data.h"
#include "game/draw/game_screens.h"
#include "game/startup/game_sounds.h"
#include "game/startup/image_cells.h"
#include "game/startup/init_game.h"
#include "game/startup/startup_calls.h"
#include "graphics/images/image_records.h"
#include "tests/graphics/device/graphics_test_support.h"
#include "tools/lib/archive_pack.h"

namespace {

// Where a cell lies in its file's picture.
struct CellPlace {
    int x, y, width, height;
    bool operator==(const CellPlace&) const = default;
};

class GeneratedStartUp : public tessel_test::GraphicsTest {
  protected:
    void SetUp() override {
        GraphicsTest::SetUp();
        // The log stays on, so that it can be read afterwards.
        calls_ = LibraryStartupCalls();
        calls_.enableLogFile = [](int) { return 0; };
        BindStartupCalls(&calls_);
    }
    void TearDown() override {
        BindStartupCalls(nullptr);
        GraphicsTest::TearDown();
        tessel::SetArchiveUse(0);
        tessel::SetArchiveSuffixOption(nullptr);
        tessel::SetArchiveKeyOption(nullptr);
        tessel::PurgeUnusedArchives();
    }

    static std::string DataFolder() { return VANTREL_GAME_DATA_DIR; }

    // Starts the game in the current folder, its data block empty as in a
    // fresh process; every cell's place, in table order.
    std::vector<CellPlace> StartAndReadCells() {
        std::memset(&GameData, 0, sizeof GameData);
        EXPECT_EQ(InitGame(ConfigWord{}), 0);
        LoadSystemImages();
        std::vector<CellPlace> cells;
        for (int i = 0; i < ImageCellNext; ++i) {
            const tessel::ImageRecord* image = tessel::GetImageRecord(ImageCellTable[i]);
            if (image == nullptr) {
                ADD_FAILURE() << "cell " << i << " is not an image";
                cells.push_back({-1, -1, -1, -1});
                continue;
            }
            cells.push_back({image->x, image->y, image->width, image->height});
        }
        return cells;
    }

    StartupCalls calls_{};
};

TEST_F(GeneratedStartUp, EveryAssetLoadsAndTheLogShowsNoFailure) {
    ASSERT_EQ(symlink((DataFolder() + "/image").c_str(), dir().Linux("image").c_str()), 0);
    ASSERT_EQ(symlink((DataFolder() + "/sound").c_str(), dir().Linux("sound").c_str()), 0);
    const std::vector<CellPlace> cells = StartAndReadCells();
    ASSERT_EQ(cells.size(), 283u);
    // Spot checks of the cells' places: the menu's descriptions and the digits.
    EXPECT_EQ(cells[GameImages[5].first + 5], (CellPlace{0, 204, 320, 12}));
    EXPECT_EQ(cells[GameImages[18].first + 7], (CellPlace{64, 32, 32, 32}));
    EXPECT_EQ(cells[GameImages[53].first + 15], (CellPlace{240, 112, 16, 16}));
    for (int32_t screen : {FrameImage, EffectScreen, FloorScreen, PauseImage, SidePanelImage,
                           FpsSheetImage, LetterSheetImage}) {
        EXPECT_EQ(tessel::IsImageHandleValid(screen), 1) << screen;
    }
    int width = 0, height = 0;
    ASSERT_EQ(tessel::QueryImageSize(FrameImage, &width, &height), 0);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
    // The data tables found their pictures.
    for (int32_t file : GameData.bulletImages.files) {
        EXPECT_NE(file, -1);
    }
    EXPECT_NE(GameData.enemyInfo[10].imageRow, 0);
    // The sounds loaded too (generated_sounds_test.cpp checks them whole).
    EXPECT_NE(SoundSlots[0].sound, -1);
    const std::string log = Log();
    EXPECT_FALSE(log.empty());
    for (const char* failure : {"がありません", "ロードに失敗", "作成できません", "読み飛ばし"}) {
        EXPECT_EQ(log.find(failure), std::string::npos) << failure << "\n" << log;
    }
}

TEST_F(GeneratedStartUp, TheImageFolderPackedWithTheGamesKeyLoadsTheSameCells) {
    ASSERT_EQ(symlink((DataFolder() + "/image").c_str(), dir().Linux("image").c_str()), 0);
    const std::vector<CellPlace> plain = StartAndReadCells();
    const auto plainData = std::make_unique<GameDataBlock>(GameData);
    tessel::EndLibrary();

    tessel_test::ScratchDirectory packed;  // the working folder from here on
    tessel::ArchivePackOptions options;
    options.keyText = "lanternfix";
    const std::string source = platform::WindowsPathFromLinux(DataFolder() + "/image");
    ASSERT_EQ(tessel::PackFolderToFile(source.c_str(), (packed.Windows() + "\\image.dat").c_str(),
                                       options),
              0);
    const std::vector<CellPlace> fromArchive = StartAndReadCells();
    EXPECT_EQ(fromArchive, plain);
    for (int i = 0; i < kBulletKinds; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(GameData.bulletInfo[i].width, plainData->bulletInfo[i].width);
        EXPECT_EQ(GameData.bulletInfo[i].hitRadius, plainData->bulletInfo[i].hitRadius);
    }
    for (int i = 0; i < kEnemyKinds; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(GameData.enemyInfo[i].imageRow, plainData->enemyInfo[i].imageRow);
        EXPECT_EQ(GameData.enemyInfo[i].height, plainData->enemyInfo[i].height);
    }
    EXPECT_EQ(tessel::IsImageHandleValid(LetterSheetImage), 1);
}

}  // namespace
