// The collection: twelve medals in two rows of six, one per unlock of the
// score file, each shown with its description once earned.
#include "game/files/score_file.h"
#include "game/menu/menu_scene.h"
#include "game/menu/menu_scene_internal.h"
#include "game/play/frame_requests.h"
#include "game/play/play_state.h"

namespace {

constexpr int32_t kCollectionColumns = 6;
constexpr int32_t kCollectionEntries = kScoreUnlockCount;  // 12

// Cell 0 is the locked medal; entry i's own is cell i + 1.
int32_t CollectionCell(int32_t entry) {
    return GameScoreFile.unlocks[entry] != 0 ? entry + 1 : 0;
}

void MoveCollectionCursor(MenuScene* scene) {
    const struct {
        bool (*pressed)(const InputState&);
        int32_t step;
    } moves[] = {
        {IsDownPressed, kCollectionColumns},
        {IsUpPressed, -kCollectionColumns},
        {IsRightPressed, 1},
        {IsLeftPressed, -1},
    };
    for (const auto& move : moves) {
        if (move.pressed(LiveInput)) {
            scene->cursor += move.step;
            RequestSound(kMenuSoundSelect);
        }
    }
    if (scene->cursor < 0) {
        scene->cursor += kCollectionEntries;
    } else if (scene->cursor >= kCollectionEntries) {
        scene->cursor -= kCollectionEntries;
    }
}

void DrawCollection(const MenuScene& scene) {
    const ColorRecord white = MakeDefaultColor();
    QueueMenuBackground(MenuTint());
    QueueSceneTitle(kTitleCellCollection);
    QueueMenuPicture(kPictureCollectionCharacter, 0, 200.0, -8.0, kMenuPictureLayer, 1.0, white);
    for (int32_t i = 0; i < kCollectionEntries; ++i) {
        double x = 40.0 + 72.0 * (i % kCollectionColumns);
        double y = 120.0 + 80.0 * (i / kCollectionColumns);
        QueueMenuPicture(kPictureCollectionIcons, CollectionCell(i), x, y, kMenuFrontLayer, 1.0,
                         i == scene.cursor ? white : MenuGrey());
    }
    QueueMenuPicture(kPictureMessageWindow, 0, 130.0, 392.0, kMenuFrontLayer, 1.0, white);
    QueueMenuPicture(kPictureCollectionInfo, CollectionCell(scene.cursor), 160.0, 400.0,
                     kMenuFrontLayer, 1.0, white);
}

}  // namespace

void CollectionMode(MenuScene* scene, int32_t phase) {
    if (phase == kMenuPhaseDraw) {
        DrawCollection(*scene);
        return;
    }
    if (!MenuTakesInput()) {
        return;
    }
    MoveCollectionCursor(scene);
    if (IsBombPressed(LiveInput)) {
        RequestSceneChange(kMenuTitle, kMenuFade, MenuBlack());
        RequestSound(kMenuSoundCancel);
    }
}
