// A menu scene's life (construction by mode, the frame's update and draw), the
// cursor step every list shares, and the drawing and input helpers of the
// mode handlers.
#include "game/menu/menu_scene.h"

#include <new>

#include "game/draw/draw_queue.h"
#include "game/draw/game_screens.h"
#include "game/files/score_file.h"
#include "game/menu/key_config.h"
#include "game/menu/menu_scene_internal.h"
#include "game/menu/replay_list.h"
#include "game/play/frame_requests.h"
#include "game/play/play_state.h"
#include "game/startup/image_cells.h"

int32_t RememberedTitleCursor = 0;
int32_t RememberedReplayCursor = 0;

namespace {

using ModeHandler = void (*)(MenuScene*, int32_t);

// A mode that is none of the six has no handler: it shows and does nothing.
ModeHandler HandlerOf(int32_t mode) {
    switch (mode) {
        case kMenuSplash:
            return SplashMode;
        case kMenuTitle:
            return TitleMenuMode;
        case kMenuReplaySelect:
            return ReplaySelectMode;
        case kMenuKeyConfig:
            return KeyConfigMode;
        case kMenuReplaySave:
            return ReplaySaveMode;
        case kMenuCollection:
            return CollectionMode;
        default:
            return nullptr;
    }
}

// The list scenes come after a game or go to one: the music stops, and the
// slots are read afresh.
void EnterReplayList() {
    RequestMusic(1, kMusicStop);
    RequestMusic(2, kMusicStop);
    BuildReplayList();
}

}  // namespace

MenuScene* ConstructMenuScene(int32_t mode) {
    auto* scene = new (std::nothrow) MenuScene{};
    if (scene == nullptr) {
        return nullptr;
    }
    ConstructTaskPool(&scene->pool);
    scene->pool.owner = scene;
    scene->mode = mode;
    switch (mode) {
        case kMenuTitle:
            scene->cursor = RememberedTitleCursor;
            break;
        case kMenuReplaySelect:
            scene->cursor = RememberedReplayCursor;
            EnterReplayList();
            break;
        case kMenuKeyConfig:
            BeginKeyConfig();
            break;
        case kMenuReplaySave:
            EnterReplayList();
            break;
        case kMenuCollection:
            SetCounterUnlocks(&GameScoreFile);
            break;
        default:
            break;
    }
    return scene;
}

void DestroyMenuScene(MenuScene* scene) {
    delete scene;
}

void UpdateMenuScene(MenuScene* scene) {
    scene->frame += 1;
    if (ModeHandler handler = HandlerOf(scene->mode)) {
        handler(scene, kMenuPhaseUpdate);
    }
    UpdateTaskPool(&scene->pool);
}

void DrawMenuScene(MenuScene* scene) {
    if (ModeHandler handler = HandlerOf(scene->mode)) {
        handler(scene, kMenuPhaseDraw);
    }
    DrawTaskPool(&scene->pool);
}

void MoveMenuCursor(MenuScene* scene, int32_t count) {
    if (IsDownPressed(LiveInput)) {
        scene->cursor += 1;
        RequestSound(kMenuSoundSelect);
    }
    if (IsUpPressed(LiveInput)) {
        scene->cursor -= 1;
        RequestSound(kMenuSoundSelect);
    }
    if (scene->cursor < 0) {
        scene->cursor += count;
    } else if (scene->cursor >= count) {
        scene->cursor -= count;
    }
}

void QueueMenuPicture(int32_t record, int32_t cell, double x, double y, int32_t layer, double alpha,
                      ColorRecord colour) {
    QueueImageDraw(&TopDrawQueue, GameImageCell(record, cell), FrameImage, layer, kBlendAlpha, x, y,
                   alpha, colour, 0);
}

void QueueMenuBackground(ColorRecord tint) {
    QueueMenuPicture(kPictureBackground, 0, 0.0, 0.0, kMenuBackLayer, 1.0, tint);
}

void QueueSceneTitle(int32_t cell) {
    QueueMenuPicture(kPictureSceneTitles, cell, 8.0, 8.0, kMenuFrontLayer, 1.0, MakeDefaultColor());
}

PlaySettings StartingSettings(int32_t mode, uint32_t seed) {
    PlaySettings settings{};
    settings.highScore = ModeHighScore(GameScoreFile, mode);
    settings.mode = mode;
    settings.lives = mode == kModeTwoMinutes ? kTwoMinutesStartLives : kEndlessStartLives;
    settings.bombs = kStartBombs;
    settings.seed = seed;
    return settings;
}

bool MenuTakesInput() {
    return !SceneFadeRunning();
}

bool DecidePressed() {
    return IsShotPressed(LiveInput);
}

bool CancelPressed() {
    return IsBombPressed(LiveInput) && !IsShotPressed(LiveInput);
}
