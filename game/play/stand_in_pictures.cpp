// The stand-in pictures: drawable images filled with a colour each, so that
// every draw of a frame reaches the library's drawing paths with pixels.
#include "game/play/stand_in_pictures.h"

#include <cstdint>
#include <vector>

#include "game/draw/game_screens.h"
#include "game/play/play_state.h"
#include "game/startup/init_game.h"
#include "graphics/images/image_create.h"
#include "graphics/images/image_records.h"

namespace {

std::vector<int32_t> g_made;

struct Colour {
    int r, g, b;
};

int32_t MakePicture(int width, int height, Colour colour) {
    int32_t handle = tessel::CreateDrawableImage(width, height);
    if (handle == -1) {
        return -1;
    }
    g_made.push_back(handle);
    if (tessel::FillImageWithColor(handle, colour.r, colour.g, colour.b, 255) != 0) {
        return -1;
    }
    return handle;
}

template <class Table>
void FillCells(Table* table, int32_t picture) {
    for (auto& row : table->rows) {
        for (int32_t& cell : row) {
            cell = picture;
        }
    }
}

// Every image of the play field is `picture`, apart from the side panel and
// the pause overlay, which have their own sizes.
void SetPlayPictures(int32_t picture, int32_t panel, int32_t pause) {
    PlayPictures& p = PlayImages;
    auto fill = [picture](auto& array) {
        for (int32_t& handle : array) {
            handle = picture;
        }
    };
    fill(p.playerCells);
    fill(p.panelLabels);
    fill(p.panelIcons);
    fill(p.timeDigits);
    fill(p.pauseMenu);
    fill(p.burst);
    fill(p.gameOver);
    fill(p.particle);
    p.slowMarker = p.panelTitle = p.panelRule = p.levelLabel = p.shot = p.item = p.itemBonus =
        p.bombRing = p.levelUp = p.bossShadow = picture;
    p.sidePanel = panel;
    p.pauseImage = pause;
    FillCells(&PlayTables.bulletImages, picture);
    FillCells(&PlayTables.enemyImages, picture);
}

}  // namespace

int MakeStandInPictures() {
    ReleaseStandInPictures();
    FrameImage = MakePicture(640, 480, {0, 0, 0});
    EffectScreen = MakePicture(512, 512, {0, 0, 0});
    FloorScreen = MakePicture(512, 512, {40, 90, 140});
    LetterSheetImage = MakePicture(512, 480, {230, 230, 120});
    const int32_t picture = MakePicture(32, 32, {200, 60, 90});
    const int32_t panel = MakePicture(256, 480, {70, 70, 100});
    const int32_t pause = MakePicture(128, 128, {0, 0, 0});
    for (int32_t handle :
         {FrameImage, EffectScreen, FloorScreen, LetterSheetImage, picture, panel, pause}) {
        if (handle == -1) {
            ReleaseStandInPictures();
            return -1;
        }
    }
    SetPlayPictures(picture, panel, pause);
    return 0;
}

void ReleaseStandInPictures() {
    for (int32_t handle : g_made) {
        tessel::ReleaseImageHandle(handle);
    }
    g_made.clear();
    FrameImage = EffectScreen = FloorScreen = LetterSheetImage = -1;
    SetPlayPictures(0, 0, 0);
}
