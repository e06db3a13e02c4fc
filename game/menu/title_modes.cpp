// The splash picture and the title menu, from which every game and every
// other menu starts.
#include "game/draw/draw_queue.h"
#include "game/draw/game_screens.h"
#include "game/menu/menu_scene.h"
#include "game/menu/menu_scene_internal.h"
#include "game/menu/menu_services.h"
#include "game/play/frame_requests.h"
#include "game/play/play_state.h"

namespace {

constexpr int32_t kSplashFrames = 60;

enum TitleEntry : int32_t {
    kTitleEndless,
    kTitleTwoMinutes,
    kTitleCollection,
    kTitleReplay,
    kTitleKeyConfig,
    kTitleQuit,
    kTitleEntries,
};

// A new live game of `mode`, seeded from the millisecond clock.
void StartNewGame(int32_t mode) {
    ReplayPlayback = 0;
    uint32_t seed = static_cast<uint32_t>(CurrentMenuServices().millisecondClock());
    CurrentPlay = StartingSettings(mode, seed);
    RememberedTitleCursor = 0;
    RequestSceneChange(kScenePlay, kMenuFade, MenuBlack());
}

void ActOnTitleEntry(int32_t entry) {
    switch (entry) {
        case kTitleEndless:
            StartNewGame(kModeEndless);
            return;
        case kTitleTwoMinutes:
            StartNewGame(kModeTwoMinutes);
            return;
        case kTitleCollection:
            RequestSceneChange(kMenuCollection, kTitleFade, MenuBlack());
            return;
        case kTitleReplay:
            RequestSceneChange(kMenuReplaySelect, kTitleFade, MenuBlack());
            return;
        case kTitleKeyConfig:
            RequestSceneChange(kMenuKeyConfig, kTitleFade, MenuBlack());
            return;
        default:
            RequestSceneChange(kSceneQuit, kTitleFade, MenuBlack());
            return;
    }
}

void UpdateTitle(MenuScene* scene) {
    if (IsBombPressed(LiveInput)) {
        scene->cursor = -1;  // the wrap puts it on quit
        RequestSound(kMenuSoundCancel);
    }
    MoveMenuCursor(scene, kTitleEntries);
    RememberedTitleCursor = scene->cursor;
    if (DecidePressed()) {
        RequestSound(kMenuSoundCheck);
        ActOnTitleEntry(scene->cursor);
    }
}

void DrawTitle(const MenuScene& scene) {
    const ColorRecord white = MakeDefaultColor();
    QueueMenuBackground(white);
    QueueMenuPicture(kPictureTitleCharacter, 0, 180.0, -32.0, kMenuPictureLayer, 1.0, white);
    QueueMenuPicture(kPictureCredit, 0, 16.0, 448.0, kMenuPictureLayer, 1.0, white);
    QueueMenuPicture(kPictureLogo, 0, 0.0, 0.0, kMenuPictureLayer, 1.0, white);
    QueueMenuPicture(kPictureVersion, 0, 8.0, 170.0, kMenuPictureLayer, 1.0, white);
    for (int32_t i = 0; i < kTitleEntries; ++i) {
        bool selected = i == scene.cursor;
        QueueMenuPicture(kPictureTitleEntries, i, 16.0, 220.0 + 24.0 * i, kMenuBackLayer,
                         selected ? 1.0 : 0.75, selected ? white : MakeColor(128, 128, 128));
    }
    QueueMenuPicture(kPictureTitleDescriptions, scene.cursor, 0.0, 416.0, kMenuBackLayer, 1.0,
                     white);
}

}  // namespace

void SplashMode(MenuScene* scene, int32_t phase) {
    if (phase == kMenuPhaseDraw) {
        QueueMenuPicture(kPictureSplash, 0, 0.0, 0.0, kMenuBackLayer, 1.0, MakeDefaultColor());
        return;
    }
    // Asked once: a second request would only start the fade over.
    if (!MenuTakesInput()) {
        return;
    }
    bool decided = DecidePressed();
    if (decided) {
        RequestSound(kMenuSoundCheck);
    }
    if (decided || scene->frame == kSplashFrames) {
        RequestSceneChange(kMenuTitle, kMenuFade, MenuBlack());
    }
}

void TitleMenuMode(MenuScene* scene, int32_t phase) {
    if (phase == kMenuPhaseDraw) {
        DrawTitle(*scene);
        return;
    }
    if (MenuTakesInput()) {
        UpdateTitle(scene);
    }
}
