// The scene machine: one slot per scene, at most one scene live after the
// first switch, and the fade that carries every change. A request starts the
// fade; the frame in which it reaches its length destroys the live scene and
// builds the next one, and the new scene then brightens over the same number
// of frames while the counter runs back down. Scenes keep updating through
// both halves.
#pragma once

#include <cstdint>

#include "game/math/color.h"

struct GameScene;
struct MenuScene;

// The argument of RequestSceneChange. Menu scenes take the id as their mode.
enum SceneId : int32_t {
    kSceneSplash = 0,
    kSceneTitle = 1,
    kScenePlay = 2,
    kSceneReplaySelect = 3,
    kSceneKeyConfig = 4,
    kSceneQuit = 5,  // no scene: ends the loop
    kSceneReplaySave = 6,
    kSceneCollection = 7,
};

// The slots in update and draw order: the six menu scenes (splash, title,
// replay select, key configuration, replay save, collection), then play.
constexpr int kMenuSceneSlots = 6;
constexpr int kSceneSlotCount = kMenuSceneSlots + 1;
// The menu scene ids in slot order.
extern const int32_t kMenuSlotScenes[kMenuSceneSlots];

struct SceneSlotTable {
    MenuScene* menus[kMenuSceneSlots];  // each owned; null when not live
    GameScene* play;
};
extern SceneSlotTable SceneSlots;

struct SceneFadeState {
    int32_t active;   // 0/1: a change is under way
    int32_t counter;  // frames into the fade, or left of the fade-in
    int32_t length;   // frames
    ColorRecord colour;
};
// At start: inactive, counter and length 20, black: the first scene fades in.
extern SceneFadeState FadeState;
extern int32_t NextSceneId;
extern int32_t QuitRequested;
// Every loop pass, drawn or not.
extern uint32_t FrameCounter;

constexpr int32_t kFirstFadeFrames = 20;

// Back to the state of a fresh process; live scenes are destroyed.
void ResetSceneMachine();

// Saves score.dat first while a play scene lives, then (re)starts the fade
// towards `scene` from counter 0.
void RequestSceneChange(int32_t scene, int32_t fadeFrames, ColorRecord colour);
// True while a requested change is under way.
bool SceneFadeRunning();

// Destroys the live scenes and builds the one of NextSceneId (the quit id
// sets QuitRequested instead, an unknown id builds nothing); the fade goes
// inactive with its counter kept, so the new scene fades in.
void SwitchScene();
void DestroyScenes();
// Builds the splash scene straight into its slot, as start-up does.
void StartSplashScene();

// Each live scene's update (draw), in slot order.
void UpdateScenes();
void DrawScenes();

// One frame of the fade: forwards while active, switching when the counter
// reaches the length; backwards towards 0 otherwise.
void StepSceneFade();
// The fade box's opacity for this frame: counter / length in single
// precision as a byte; 0 when the counter is 0.
int FadeBoxAlpha();
