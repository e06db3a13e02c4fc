// A menu scene under test: a scratch working folder, the live buttons fed by
// hand, a fake clock, local time and pad, and the frame's requests (sounds,
// music, scene change, draws) read back.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "game/draw/draw_queue.h"
#include "game/input/input_state.h"
#include "game/menu/menu_scene.h"
#include "game/menu/menu_services.h"
#include "game/play/frame_requests.h"
#include "game/play/play_state.h"
#include "game/startup/game_sounds.h"
#include "game/startup/image_cells.h"
#include "tests/game/button_masks.h"
#include "tests/game/game_folder_support.h"

namespace menu_test {

using game_test::Buttons;

struct SceneDeleter {
    void operator()(MenuScene* scene) const { DestroyMenuScene(scene); }
};
using ScenePointer = std::unique_ptr<MenuScene, SceneDeleter>;

// What the fake services answer.
struct FakeWorld {
    int clock = 0;
    std::tm localTime{};
    int padBits = 0;
};
inline FakeWorld World;

class MenuTest : public game_test::GameFolder {
  protected:
    void SetUp() override {
        GameFolder::SetUp();
        World = FakeWorld{};
        static const MenuServices fake{
            [] { return World.clock; },
            [] { return World.localTime; },
            [](int) { return World.padBits; },
        };
        BindMenuServices(&fake);
        ConstructInputState(&LiveInput);
        SetDefaultKeyAssignment(&LiveInput.assignment);
        LiveInput.padId = 1;
        GameScoreFile = ScoreFile{};
        CurrentPlay = PlaySettings{};
        ReplayPlayback = 0;
        RememberedTitleCursor = 0;
        RememberedReplayCursor = 0;
        ClearFrame();
    }
    void TearDown() override {
        BindMenuServices(nullptr);
        ClearFrame();
    }

    static void ClearFrame() {
        ClearSoundRequests();
        ClearMusicRequests();
        ResetSceneMachine();
        ClearDrawQueue(&TopDrawQueue);
        ClearDrawQueue(&FrontDrawQueue);
    }

    static ScenePointer Build(int32_t mode) { return ScenePointer(ConstructMenuScene(mode)); }

    // One update in which `mask` is newly pressed (nothing was down before).
    static void Press(MenuScene* scene, uint16_t mask) {
        ApplyButtonMask(&LiveInput, 0);
        ApplyButtonMask(&LiveInput, mask);
        UpdateMenuScene(scene);
    }
    // One update with `mask` down, as it was the frame before.
    static void Hold(MenuScene* scene, uint16_t mask) {
        ApplyButtonMask(&LiveInput, mask);
        ApplyButtonMask(&LiveInput, mask);
        UpdateMenuScene(scene);
    }

    // The sound slots requested this frame, in slot order.
    static std::vector<int32_t> Sounds() {
        std::vector<int32_t> slots;
        for (int32_t slot = 0; slot < kSoundSlots; ++slot) {
            if (SoundSlots[slot].requested != 0) {
                slots.push_back(slot);
            }
        }
        return slots;
    }
    static bool SceneRequested() { return FadeState.active != 0; }

    // The top queue's requests in draw order.
    static std::vector<const DrawRequest*> Drawn() {
        SortDrawQueue(&TopDrawQueue);
        return std::vector<const DrawRequest*>(TopDrawQueue.order.begin(),
                                               TopDrawQueue.order.begin() + TopDrawQueue.count);
    }
};

}  // namespace menu_test

namespace menu_test {

// Every GameImages record's cells as fake handles that name them:
// 100000 + record x 100 + cell.
inline void FakePictureCells() {
    ResetImageCells();
    for (int r = 0; r < kGameImageRecords; ++r) {
        GameImages[r] = ImageCellRecord{r * 20, kGameImageCuts[r].count};
        for (int c = 0; c < kGameImageCuts[r].count; ++c) {
            ImageCellTable[r * 20 + c] = 100000 + r * 100 + c;
        }
    }
}
inline int32_t PictureHandle(int record, int cell) {
    return 100000 + record * 100 + cell;
}

}  // namespace menu_test
