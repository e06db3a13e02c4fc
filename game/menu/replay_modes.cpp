// Replay select, which plays a stored game back, and replay save, which
// stores the game just played into any of the 20 slots. Both show the same
// list.
#include "game/draw/draw_queue.h"
#include "game/draw/game_screens.h"
#include "game/files/replay_file.h"
#include "game/menu/menu_scene.h"
#include "game/menu/menu_scene_internal.h"
#include "game/menu/menu_services.h"
#include "game/menu/replay_list.h"
#include "game/play/frame_requests.h"
#include "game/play/play_state.h"

namespace {

constexpr int32_t kListTextStyle = 1;

// The one record a replay is read into or built in: 432116 bytes, so it is
// made once rather than on the stack of a frame.
ReplayFile SlotRecord;

// Plays the slot back; false when it holds no playable file (any more).
bool StartPlayback(int32_t slot) {
    ReplayListEntry& entry = ReplayList[slot];
    if (entry.exists == 0) {
        return false;
    }
    if (LoadReplayFile(&SlotRecord, entry.path) != 0) {
        SetReplayListLine(slot, nullptr);  // gone or spoilt since the list was read
        return false;
    }
    ReplayPlayback = 1;
    CurrentPlay =
        StartingSettings(static_cast<int32_t>(SlotRecord.mode), SlotRecord.state.savedSeed);
    GameReplay = SlotRecord.state;
    RequestSceneChange(kScenePlay, kMenuFade, MenuBlack());
    return true;
}

// Writes the game just played into the slot. Only a file that is all on the
// disk changes the slot's line: a failed save keeps what the slot shows, as
// it keeps the file.
bool SaveToSlot(int32_t slot) {
    FillReplayFile(CurrentPlay, GameReplay, CurrentMenuServices().localTimeNow(), &SlotRecord);
    if (SaveReplayFile(SlotRecord, ReplayList[slot].path) != 0) {
        return false;
    }
    SetReplayListLine(slot, SlotRecord.listLine);
    return true;
}

void DrawReplayList(const MenuScene& scene, int32_t titleCell) {
    QueueMenuBackground(MakeDefaultColor());
    QueueSceneTitle(titleCell);
    for (int32_t i = 0; i < kReplaySlotCount; ++i) {
        bool selected = i == scene.cursor;
        QueueTextDraw(&TopDrawQueue, ReplayList[i].text, kListTextStyle, FrameImage,
                      kMenuFrontLayer, kBlendAlpha, 80.0, 80.0 + 16.0 * i, 1.0,
                      selected ? MakeDefaultColor() : MenuGrey(), 0);
    }
}

// What the two lists share: the cursor, decide on the selected slot (the check
// sound when `decide` took it, the cancel sound when not), and cancel.
void UpdateReplayList(MenuScene* scene, bool (*decide)(int32_t slot)) {
    if (!MenuTakesInput()) {
        return;
    }
    MoveMenuCursor(scene, kReplaySlotCount);
    if (scene->mode == kMenuReplaySelect) {
        RememberedReplayCursor = scene->cursor;
    }
    if (DecidePressed()) {
        RequestSound(decide(scene->cursor) ? kMenuSoundCheck : kMenuSoundCancel);
    }
    if (CancelPressed()) {
        RequestSceneChange(kMenuTitle, kMenuFade, MenuBlack());
        RequestSound(kMenuSoundCancel);
    }
}

}  // namespace

void ReplaySelectMode(MenuScene* scene, int32_t phase) {
    if (phase == kMenuPhaseDraw) {
        DrawReplayList(*scene, kTitleCellReplaySelect);
        return;
    }
    UpdateReplayList(scene, StartPlayback);
}

void ReplaySaveMode(MenuScene* scene, int32_t phase) {
    if (phase == kMenuPhaseDraw) {
        DrawReplayList(*scene, kTitleCellReplaySave);
        return;
    }
    UpdateReplayList(scene, SaveToSlot);
}
