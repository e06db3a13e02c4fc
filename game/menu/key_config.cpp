// The key configuration: the pad buttons of shot, bomb, slow and pause are
// chosen by pressing them; the choice is saved to assign.dat, or dropped by
// going back to the assignment the scene began with.
#include "game/menu/key_config.h"

#include <cstring>

#include "game/draw/draw_queue.h"
#include "game/draw/game_screens.h"
#include "game/files/assign_file.h"
#include "game/input/input_state.h"
#include "game/menu/menu_scene.h"
#include "game/menu/menu_scene_internal.h"
#include "game/menu/menu_services.h"
#include "game/play/frame_requests.h"
#include "game/play/play_state.h"

KeyConfigState KeyConfig;

const int kKeyConfigButtons[kKeyConfigButtonEntries] = {kButtonShot, kButtonBomb, kButtonSlow,
                                                        kButtonPause};

namespace {

constexpr int32_t kNumberStyle = 1;

void UpdateKeyConfig(MenuScene* scene) {
    MoveMenuCursor(scene, kKeyConfigEntries);
    int newButton = FindNewPadButton(static_cast<int>(LiveInput.padId));
    if (scene->cursor < kKeyConfigButtonEntries) {
        if (newButton > 0) {
            RequestSound(kMenuSoundCheck);
            LiveInput.assignment.buttons[kKeyConfigButtons[scene->cursor]].padCode =
                static_cast<uint16_t>(newButton);
        }
        return;
    }
    if (DecidePressed()) {
        RequestSound(kMenuSoundCheck);
        if (scene->cursor == kKeyConfigSaveEntry) {
            SaveKeyAssignment(LiveInput);
        } else {
            LiveInput.assignment = KeyConfig.backup;
        }
        RequestSceneChange(kMenuTitle, kMenuFade, MenuBlack());
        return;
    }
    if (CancelPressed()) {
        // Back without saving; what was changed stays for this run.
        RequestSceneChange(kMenuTitle, kMenuFade, MenuBlack());
        RequestSound(kMenuSoundCancel);
    }
}

void DrawKeyConfig(const MenuScene& scene) {
    QueueMenuBackground(MenuTint());
    QueueSceneTitle(kTitleCellKeyConfig);
    for (int32_t i = 0; i < kKeyConfigEntries; ++i) {
        ColorRecord colour = i == scene.cursor ? MakeDefaultColor() : MenuGrey();
        double y = 128.0 + 32.0 * i;
        QueueMenuPicture(kPicturePadLabels, i, 16.0, y, kMenuFrontLayer, 1.0, colour);
        if (i < kKeyConfigButtonEntries) {
            uint16_t code = LiveInput.assignment.buttons[kKeyConfigButtons[i]].padCode;
            QueueNumberDraw(&TopDrawQueue, code, kNumberStyle, FrameImage, kMenuFrontLayer,
                            kBlendAlpha, 320.0, y + 4.0, 1.0, colour, 0);
        }
    }
}

}  // namespace

void BeginKeyConfig() {
    KeyConfig.backup = LiveInput.assignment;
    std::memset(KeyConfig.thisFrame, 0, sizeof KeyConfig.thisFrame);
    std::memset(KeyConfig.lastFrame, 0, sizeof KeyConfig.lastFrame);
}

int ReadPadButtonsForConfig(int padId) {
    std::memcpy(KeyConfig.lastFrame, KeyConfig.thisFrame, sizeof KeyConfig.lastFrame);
    std::memset(KeyConfig.thisFrame, 0, sizeof KeyConfig.thisFrame);
    uint32_t bits = static_cast<uint32_t>(CurrentMenuServices().readPadBits(padId));
    int found = 0;
    for (int n = 1; n <= kPadButtonCodes; ++n) {
        if ((bits & PadButtonMask(static_cast<uint16_t>(n))) != 0) {
            KeyConfig.thisFrame[n] = 1;
            found = n;
        }
    }
    return found;
}

int FindNewPadButton(int /*padId*/) {
    for (int n = kPadButtonCodes; n >= 1; --n) {
        if (KeyConfig.thisFrame[n] != 0 && KeyConfig.lastFrame[n] == 0) {
            return n;
        }
    }
    return 0;
}

void KeyConfigMode(MenuScene* scene, int32_t phase) {
    if (phase == kMenuPhaseDraw) {
        DrawKeyConfig(*scene);
        return;
    }
    // The pad is read every frame, so a button held through a fade is not new after it.
    ReadPadButtonsForConfig(static_cast<int>(LiveInput.padId));
    if (MenuTakesInput()) {
        UpdateKeyConfig(scene);
    }
}
