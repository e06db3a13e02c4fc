// Start-up, the frame loop with its skip rules and draw sequence, and the end.
#include "game/loop/frame_loop.h"

#include "game/data/data_tables.h"
#include "game/draw/draw_queue.h"
#include "game/draw/game_screens.h"
#include "game/draw/library_draw_calls.h"
#include "game/files/assign_file.h"
#include "game/files/config_file.h"
#include "game/files/score_file.h"
#include "game/loop/draw_target.h"
#include "game/loop/frame_calls.h"
#include "game/loop/frame_overlays.h"
#include "game/loop/frame_pacer.h"
#include "game/loop/scene_machine.h"
#include "game/loop/sound_requests.h"
#include "game/play/play_state.h"
#include "game/startup/init_game.h"

ConfigWord GameConfig = {};

namespace {

constexpr int kFrameWidth = 640;
constexpr int kFrameHeight = 480;
constexpr int kAlphaBlend = 1;
constexpr int kOpaque = 255;
constexpr uint32_t kLivePadId = 1;

// Fast-forward: while a replay plays with the live bomb button held, only
// every fourth frame is drawn, waited for and presented.
bool FastForwardSkips() {
    return SceneSlots.play != nullptr && ReplayPlayback != 0 && IsBombHeld(LiveInput) &&
           FrameCounter % 4 != 0;
}

bool HalfRateSkips() {
    return ConfigOptionOn(GameConfig, kConfigHalfFrameRate) && FrameCounter % 2 != 0;
}

void DrawFadeBox(const FrameCalls& calls) {
    if (FadeState.counter <= 0) {
        return;
    }
    const ColorRecord& colour = FadeState.colour;
    calls.setBlendMode(kAlphaBlend, FadeBoxAlpha());
    calls.drawBoxShape(0, 0, kFrameWidth, kFrameHeight,
                       calls.colorToScreenPixel(colour.r, colour.g, colour.b), 1);
    calls.setBlendMode(kAlphaBlend, kOpaque);
}

}  // namespace

int StartGame() {
    LoadConfigFile(&GameConfig);
    LoadScoreFile(&GameScoreFile);
    ConstructInputState(&LiveInput);
    SetDefaultKeyAssignment(&LiveInput.assignment);
    LoadKeyAssignment(&LiveInput);
    LiveInput.padId = kLivePadId;
    DestroyScenes();
    if (InitGame(GameConfig) != 0) {
        return -1;
    }
    BindLibraryDrawCalls(&LibraryOwnDrawCalls());
    LoadSystemImages();
    StartSplashScene();
    return 0;
}

void DrawFrame() {
    const FrameCalls& calls = CurrentFrameCalls();
    SelectAndClearScreen(FrameImage);
    SelectAndClearScreen(EffectScreen);
    SetDrawTarget(FrameImage);
    DrawScenes();
    calls.flushDrawQueue(&FrontDrawQueue);
    calls.flushDrawQueue(&TopDrawQueue);
    calls.setBlendMode(kAlphaBlend, kOpaque);
    calls.setBrightness(255, 255, 255);
    SetDrawTarget(FrameImage);
    if (ConfigOptionOn(GameConfig, kConfigShowFps)) {
        DrawFpsOverlay(FramePacer.meanFrameTime);
    }
    DrawFadeBox(calls);
    SaveScreenshotOnKey();
    SetDrawTarget(kBackScreenTarget);
    calls.drawImageStretched(0, 0, GameData.screenWidth, GameData.screenHeight, FrameImage, 1);
}

void UpdateFrame() {
    CurrentFrameCalls().updateInput(&LiveInput);
    UpdateScenes();
    FlushSoundRequests();
    StepSceneFade();
    // After the fade, so that a play scene built by the switch starts its
    // music in the frame it was built.
    FlushMusicRequests();
}

void RunFrame() {
    const FrameCalls& calls = CurrentFrameCalls();
    UpdateFrame();
    if (!FastForwardSkips()) {
        if (!HalfRateSkips()) {
            DrawFrame();
        }
        WaitFrame();
        calls.presentScreen();
    }
    FrameCounter += 1;
}

void RunFrameLoop() {
    while (CurrentFrameCalls().pumpMessages() == 0) {
        RunFrame();
        if (QuitRequested != 0) {
            break;
        }
    }
}

int RunGameProgram() {
    if (StartGame() != 0) {
        return -1;
    }
    RunFrameLoop();
    SaveScoreFile(GameScoreFile);
    // The scenes hold no file; they go before the library their images live in.
    DestroyScenes();
    CurrentFrameCalls().endLibrary();
    return 0;
}
