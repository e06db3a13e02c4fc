// The scene slots, the fade, and the switch at its midpoint.
#include "game/loop/scene_machine.h"

#include "game/files/score_file.h"
#include "game/menu/menu_scene.h"
#include "game/play/game_scene.h"
#include "game/play/play_state.h"

const int32_t kMenuSlotScenes[kMenuSceneSlots] = {
    kSceneSplash,    kSceneTitle,      kSceneReplaySelect,
    kSceneKeyConfig, kSceneReplaySave, kSceneCollection,
};

SceneSlotTable SceneSlots = {};
SceneFadeState FadeState = {0, kFirstFadeFrames, kFirstFadeFrames, {0, 0, 0, 255}};
int32_t NextSceneId = kSceneSplash;
int32_t QuitRequested = 0;
uint32_t FrameCounter = 0;

namespace {

// The menu slot of a scene id, or -1 when the id is no menu scene.
int MenuSlotOf(int32_t scene) {
    for (int slot = 0; slot < kMenuSceneSlots; ++slot) {
        if (kMenuSlotScenes[slot] == scene) {
            return slot;
        }
    }
    return -1;
}

}  // namespace

void ResetSceneMachine() {
    DestroyScenes();
    FadeState = SceneFadeState{0, kFirstFadeFrames, kFirstFadeFrames, MakeColor(0, 0, 0)};
    NextSceneId = kSceneSplash;
    QuitRequested = 0;
    FrameCounter = 0;
}

void RequestSceneChange(int32_t scene, int32_t fadeFrames, ColorRecord colour) {
    if (SceneSlots.play != nullptr) {
        SaveScoreFile(GameScoreFile);
    }
    NextSceneId = scene;
    FadeState.counter = 0;
    FadeState.length = fadeFrames;
    FadeState.active = 1;
    FadeState.colour = colour;
}

bool SceneFadeRunning() {
    return FadeState.active != 0;
}

void DestroyScenes() {
    for (MenuScene*& menu : SceneSlots.menus) {
        if (menu != nullptr) {
            DestroyMenuScene(menu);
            menu = nullptr;
        }
    }
    if (SceneSlots.play != nullptr) {
        DestroyGameScene(SceneSlots.play);
        SceneSlots.play = nullptr;
    }
}

void SwitchScene() {
    DestroyScenes();
    if (NextSceneId == kScenePlay) {
        SceneSlots.play = ConstructGameScene();
    } else if (NextSceneId == kSceneQuit) {
        QuitRequested = 1;
    } else if (const int slot = MenuSlotOf(NextSceneId); slot >= 0) {
        SceneSlots.menus[slot] = ConstructMenuScene(NextSceneId);
    }
    FadeState.active = 0;
}

void StartSplashScene() {
    SceneSlots.menus[MenuSlotOf(kSceneSplash)] = ConstructMenuScene(kSceneSplash);
    FadeState = SceneFadeState{0, kFirstFadeFrames, kFirstFadeFrames, MakeColor(0, 0, 0)};
}

void UpdateScenes() {
    for (MenuScene* menu : SceneSlots.menus) {
        if (menu != nullptr) {
            UpdateMenuScene(menu);
        }
    }
    if (SceneSlots.play != nullptr) {
        UpdateGameScene(SceneSlots.play);
    }
}

void DrawScenes() {
    for (MenuScene* menu : SceneSlots.menus) {
        if (menu != nullptr) {
            DrawMenuScene(menu);
        }
    }
    if (SceneSlots.play != nullptr) {
        DrawGameScene(SceneSlots.play);
    }
}

void StepSceneFade() {
    if (FadeState.active != 0) {
        FadeState.counter += 1;
        if (FadeState.counter >= FadeState.length) {
            SwitchScene();
        }
        return;
    }
    if (FadeState.counter > 0) {
        FadeState.counter -= 1;
    }
}

int FadeBoxAlpha() {
    if (FadeState.counter <= 0) {
        return 0;
    }
    // A fade of no length covers the screen for its one frame.
    if (FadeState.length <= 0) {
        return 255;
    }
    const float share =
        static_cast<float>(FadeState.counter) / static_cast<float>(FadeState.length);
    return UnitToByte(share);
}
