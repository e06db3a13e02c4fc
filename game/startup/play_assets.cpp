// Which image cells the play field draws. The records are the fixed ones of
// LoadGameImages; a record that did not load gives -1 cells, which draw nothing.
#include "game/startup/play_assets.h"

#include <algorithm>
#include <iterator>

#include "game/data/game_data.h"
#include "game/play/play_state.h"
#include "game/startup/image_cells.h"
#include "game/startup/init_game.h"

namespace {

// GameImages records of the play field.
enum PlayPicture : int {
    kPlayerRecord = 6,
    kShotRecord = 7,
    kBombRingRecord = 8,
    kSlowMarkerRecord = 9,
    kItemRecord = 10,
    kTimeItemRecord = 11,
    kPanelLabelRecord = 14,
    kPanelTitleRecord = 15,
    kPanelRuleRecord = 16,
    kPanelIconRecord = 17,
    kDigitRecord = 18,
    kPauseWordRecord = 20,
    kLevelWordRecord = 22,
    kBannerRecord = 23,  // game over, its band of light, level up
    kShadowRecord = 30,
    kBurstRecord = 46,     // the first explosion of the effect sheet
    kParticleRecord = 47,  // the second
};

template <size_t N>
void Cells(int32_t (&handles)[N], int record) {
    for (size_t i = 0; i < N; ++i) {
        handles[i] = GameImageCell(record, static_cast<int>(i));
    }
}

void InstallPlayPictures() {
    PlayPictures& p = PlayImages;
    Cells(p.playerCells, kPlayerRecord);
    p.slowMarker = GameImageCell(kSlowMarkerRecord, 0);
    p.sidePanel = SidePanelImage;
    p.panelTitle = GameImageCell(kPanelTitleRecord, 0);
    Cells(p.panelLabels, kPanelLabelRecord);
    p.panelRule = GameImageCell(kPanelRuleRecord, 0);
    Cells(p.panelIcons, kPanelIconRecord);
    Cells(p.timeDigits, kDigitRecord);
    p.levelLabel = GameImageCell(kLevelWordRecord, 0);
    p.pauseImage = PauseImage;
    Cells(p.pauseMenu, kPauseWordRecord);
    p.shot = GameImageCell(kShotRecord, 0);
    Cells(p.burst, kBurstRecord);
    p.item = GameImageCell(kItemRecord, 0);
    p.itemBonus = GameImageCell(kTimeItemRecord, 0);
    p.bombRing = GameImageCell(kBombRingRecord, 0);
    Cells(p.gameOver, kBannerRecord);
    p.levelUp = GameImageCell(kBannerRecord, 2);
    Cells(p.particle, kParticleRecord);
    p.bossShadow = GameImageCell(kShadowRecord, 0);
}

}  // namespace

void InstallPlayAssets() {
    static_assert(std::size(PlayTables.bulletRows) == std::size(GameData.bulletInfo));
    static_assert(std::size(PlayTables.enemyRows) == std::size(GameData.enemyInfo));
    std::copy(std::begin(GameData.bulletInfo), std::end(GameData.bulletInfo),
              PlayTables.bulletRows);
    PlayTables.bulletImages = GameData.bulletImages;
    std::copy(std::begin(GameData.enemyInfo), std::end(GameData.enemyInfo), PlayTables.enemyRows);
    PlayTables.enemyImages = GameData.enemyImages;
    InstallPlayPictures();
    FloorModel = GameFloor.model;
}
