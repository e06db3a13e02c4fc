// What start-up hands to the play scene: the data tables' rows and cells as
// the managers' kind tables, and the play field's pictures by image record.
#include "game/startup/play_assets.h"

#include <gtest/gtest.h>

#include "game/data/game_data.h"
#include "game/play/play_state.h"
#include "game/startup/image_cells.h"
#include "game/startup/init_game.h"

namespace {

// Cell c of record r is the handle 100000 + r x 100 + c.
int32_t Handle(int record, int cell) {
    return 100000 + record * 100 + cell;
}

class PlayAssets : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetImageCells();
        for (int r = 0; r < kGameImageRecords; ++r) {
            GameImages[r] = ImageCellRecord{r * 20, kGameImageCuts[r].count};
            for (int c = 0; c < kGameImageCuts[r].count; ++c) {
                ImageCellTable[r * 20 + c] = Handle(r, c);
            }
        }
        PlayTables = PlayKindTables{};
        PlayImages = PlayPictures{};
    }
    void TearDown() override {
        ResetImageCells();
        GameData = GameDataBlock{};
        PlayTables = PlayKindTables{};
        PlayImages = PlayPictures{};
        SidePanelImage = PauseImage = -1;
    }
};

TEST_F(PlayAssets, TheManagersTablesAreTheDataTables) {
    GameData.bulletInfo[3].imageRow = 7;
    GameData.bulletInfo[kBulletKinds - 1].hitRadius = 12.75;
    GameData.bulletImages.rows[2][5] = 0x08010203;
    GameData.enemyInfo[19].real2 = 40.5;
    GameData.enemyImages.rows[kCellRows - 1][kCellsPerRow - 1] = 0x08030201;
    InstallPlayAssets();
    EXPECT_EQ(PlayTables.bulletRows[3].imageRow, 7);
    EXPECT_EQ(PlayTables.bulletRows[kBulletKinds - 1].hitRadius, 12.75);
    EXPECT_EQ(PlayTables.bulletImages.rows[2][5], 0x08010203);
    EXPECT_EQ(PlayTables.enemyRows[19].real2, 40.5);
    EXPECT_EQ(PlayTables.enemyImages.rows[kCellRows - 1][kCellsPerRow - 1], 0x08030201);
}

TEST_F(PlayAssets, ThePlayFieldsPicturesComeFromTheirRecords) {
    SidePanelImage = 0x08000777;
    PauseImage = 0x08000778;
    InstallPlayAssets();
    const PlayPictures& p = PlayImages;
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(p.playerCells[i], Handle(6, i));
        EXPECT_EQ(p.panelLabels[i], Handle(14, i));
    }
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(p.timeDigits[i], Handle(18, i));
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(p.pauseMenu[i], Handle(20, i));
    }
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(p.burst[i], Handle(46, i));
        EXPECT_EQ(p.particle[i], Handle(47, i));
    }
    EXPECT_EQ(p.slowMarker, Handle(9, 0));
    EXPECT_EQ(p.panelTitle, Handle(15, 0));
    EXPECT_EQ(p.panelRule, Handle(16, 0));
    EXPECT_EQ(p.panelIcons[0], Handle(17, 0));
    EXPECT_EQ(p.panelIcons[1], Handle(17, 1));
    EXPECT_EQ(p.levelLabel, Handle(22, 0));
    EXPECT_EQ(p.shot, Handle(7, 0));
    EXPECT_EQ(p.bombRing, Handle(8, 0));
    EXPECT_EQ(p.item, Handle(10, 0));
    EXPECT_EQ(p.itemBonus, Handle(11, 0));
    EXPECT_EQ(p.gameOver[0], Handle(23, 0));
    EXPECT_EQ(p.gameOver[1], Handle(23, 1));
    EXPECT_EQ(p.levelUp, Handle(23, 2));
    EXPECT_EQ(p.bossShadow, Handle(30, 0));
    EXPECT_EQ(p.sidePanel, 0x08000777);
    EXPECT_EQ(p.pauseImage, 0x08000778);
}

TEST_F(PlayAssets, ARecordThatWasNeverMadeGivesNoPicture) {
    ResetImageCells();  // every record empty, as before LoadGameImages
    for (ImageCellRecord& record : GameImages) {
        record = ImageCellRecord{};
    }
    InstallPlayAssets();
    EXPECT_EQ(PlayImages.playerCells[1], -1);
    EXPECT_EQ(PlayImages.levelUp, -1);
    EXPECT_EQ(PlayImages.burst[15], -1);
}

}  // namespace
