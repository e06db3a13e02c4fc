// The play scene's draw: the floor, the player, the HUD, the side panel and
// the pause overlay. The floor screen is drawn at once (its colour, then the
// floor model's tiles); the rest of the frame is queued in the two draw
// queues.
#include <cstdio>

#include "game/draw/draw_queue.h"
#include "game/draw/game_screens.h"
#include "game/loop/draw_target.h"
#include "game/loop/frame_calls.h"
#include "game/math/animation_frame.h"
#include "game/play/game_scene.h"
#include "game/play/play_state.h"
#include "game/startup/init_game.h"

namespace {

constexpr double kFieldX = 64.0;
constexpr double kFieldY = 16.0;
constexpr int32_t kPauseFadeFrames = 20;
constexpr int kFloorScreenSize = 512;

void DrawPlayer(const GameScene& scene) {
    const Player& p = scene.player;
    if (p.deadFlag != 0) {
        return;
    }
    ColorRecord colour = MakeDefaultColor();
    if (p.invincibility > 0 && (p.age / 2) % 2 != 0) {
        colour = MakeColor(64, 64, 255);
    }
    int32_t cell = PlayImages.playerCells[AnimationCellIndex(0, 4, p.age, 0.25)];
    QueueRotatedImageDraw(&FrontDrawQueue, cell, EffectScreen, 0, kBlendAlpha, p.x + kFieldX,
                          p.y + kFieldY, 1.0, p.tilt, 1.0, colour, 0);
    QueueRotatedImageDraw(&FrontDrawQueue, PlayImages.slowMarker, EffectScreen, -10001, kBlendAlpha,
                          p.x + kFieldX, p.y + kFieldY, p.slowFactor, p.age * 2.0, 1.0,
                          MakeDefaultColor(), 0);
}

void DrawClockAndLevel(const GameScene& scene) {
    const ColorRecord white = MakeDefaultColor();
    int32_t level = CurrentPlay.level > 99 ? 99 : CurrentPlay.level;
    if (CurrentPlay.mode != kModeTwoMinutes) {
        QueueImageDraw(&TopDrawQueue, PlayImages.levelLabel, FrameImage, -1000, kBlendAlpha, 280.0,
                       16.0, 1.0, white, 0);
        QueueNumberDraw(&TopDrawQueue, level, 2, FrameImage, -1000, kBlendAlpha, 360.0, 16.0, 1.0,
                        white, 0);
        return;
    }
    int32_t timer = scene.player.timer;
    ColorRecord colour = timer <= 600 ? MakeColor(255, 120, 64) : white;
    // Minutes, then seconds in two digits, then tenths.
    int32_t seconds = timer > 0 ? timer / 60 : 0;
    const int32_t digits[4] = {seconds / 60 % 10, seconds % 60 / 10, seconds % 10,
                               timer > 0 ? timer % 60 / 6 : 0};
    const double xs[4] = {264.0, 296.0, 312.0, 344.0};
    for (int i = 0; i < 4; ++i) {
        QueueImageDraw(&TopDrawQueue, PlayImages.timeDigits[digits[i]], FrameImage, -1000,
                       kBlendAlpha, xs[i], 0.0, 1.0, colour, 0);
    }
    QueueImageDraw(&TopDrawQueue, PlayImages.levelLabel, FrameImage, -1000, kBlendAlpha, 280.0,
                   32.0, 1.0, white, 0);
    QueueNumberDraw(&TopDrawQueue, level, 2, FrameImage, -1000, kBlendAlpha, 360.0, 32.0, 1.0,
                    white, 0);
}

void DrawPanelLine(int32_t label, double labelY, double ruleY) {
    const ColorRecord white = MakeDefaultColor();
    QueueImageDraw(&TopDrawQueue, label, FrameImage, 0, kBlendAlpha, 520.0, labelY, 1.0, white, 0);
    QueueImageDraw(&TopDrawQueue, PlayImages.panelRule, FrameImage, 0, kBlendAlpha, 512.0, ruleY,
                   1.0, white, 0);
}

void DrawSidePanel() {
    const ColorRecord white = MakeDefaultColor();
    QueueImagePartDraw(&TopDrawQueue, PlayImages.sidePanel, FrameImage, 0, kBlendAlpha, 0.0, 0.0,
                       0.0, 0.0, 128.0, 480.0, 1.0, white, 0);
    QueueImagePartDraw(&TopDrawQueue, PlayImages.sidePanel, FrameImage, 0, kBlendAlpha, 512.0, 0.0,
                       128.0, 0.0, 128.0, 480.0, 1.0, white, 0);
    QueueImageDraw(&TopDrawQueue, PlayImages.panelTitle, FrameImage, 0, kBlendAlpha, 544.0, 8.0,
                   1.0, white, 0);
    DrawPanelLine(PlayImages.panelLabels[0], 32.0, 48.0);
    QueueNumberDraw(&TopDrawQueue, CurrentPlay.highScore, 2, FrameImage, 0, kBlendAlpha, 636.0,
                    48.0, 1.0, white, 0);
    DrawPanelLine(PlayImages.panelLabels[1], 68.0, 84.0);
    QueueNumberDraw(&TopDrawQueue, CurrentPlay.score, 2, FrameImage, 0, kBlendAlpha, 636.0, 84.0,
                    1.0, white, 0);
    DrawPanelLine(PlayImages.panelLabels[2], 128.0, 144.0);
    if (CurrentPlay.mode == kModeTwoMinutes) {
        QueueTextDraw(&TopDrawQueue, "-Nullity-", 3, FrameImage, 0, kBlendAlpha, 516.0, 144.0, 1.0,
                      white, 0);
    } else {
        for (int32_t i = 0; i < CurrentPlay.lives && i < 99; ++i) {
            QueueImageDraw(&TopDrawQueue, PlayImages.panelIcons[0], FrameImage, 0, kBlendAlpha,
                           516.0 + 16.0 * i, 144.0, 1.0, white, 0);
        }
    }
    DrawPanelLine(PlayImages.panelLabels[3], 164.0, 180.0);
    for (int32_t i = 0; i < CurrentPlay.bombs && i < 99; ++i) {
        QueueImageDraw(&TopDrawQueue, PlayImages.panelIcons[1], FrameImage, 0, kBlendAlpha,
                       516.0 + 16.0 * i, 180.0, 1.0, white, 0);
    }
}

void DrawPauseOverlay(const GameScene& scene) {
    if (scene.pauseActive == 0 && scene.pauseFade <= 0) {
        return;
    }
    const ColorRecord white = MakeDefaultColor();
    QueueRotatedImageDraw(&FrontDrawQueue, EffectScreen, PlayImages.pauseImage, -20000, kBlendAlpha,
                          64.0, 64.0, 0.25, 0.0, 1.0, white, 0);
    double alpha = static_cast<float>(scene.pauseFade * 0.05f);
    QueueRotatedImageDraw(&TopDrawQueue, PlayImages.pauseImage, FrameImage, 800, kBlendAlpha, 320.0,
                          240.0, 4.0, 0.0, alpha, MakeColor(128, 255, 160), 0);
    if (scene.pauseActive == 0 && scene.pauseFade != kPauseFadeFrames) {
        return;
    }
    QueueImageDraw(&TopDrawQueue, PlayImages.pauseMenu[0], FrameImage, -1000, kBlendAlpha, 136.0,
                   170.0, 1.0, white, 0);
    QueueImageDraw(&TopDrawQueue, PlayImages.pauseMenu[1], FrameImage, -1000, kBlendAlpha, 152.0,
                   220.0, scene.pauseCursor == 0 ? 1.0 : 0.5, white, 0);
    QueueImageDraw(&TopDrawQueue, PlayImages.pauseMenu[2], FrameImage, -1000, kBlendAlpha, 152.0,
                   260.0, scene.pauseCursor == 1 ? 1.0 : 0.5, white, 0);
}

// The copies of one floor model: enough tiles to cover the scroll distance
// and one more, placed from far to near.
void DrawFloorCopies(const FrameCalls& calls, const StageBlock& stage, int slot) {
    const StageModelSlot& model = stage.models[slot];
    if (model.model == -1 || model.tileLength <= 0) {
        return;
    }
    const int32_t length = model.tileLength;
    const int32_t distance = stage.scrollDistance;
    const int32_t copies = distance / length + (distance % length != 0 ? 2 : 1);
    for (int32_t i = 0; i < copies; ++i) {
        const double z = static_cast<double>(copies - i) * length - length / 2 - stage.scroll[slot];
        calls.placeModel(model.model, static_cast<float>(stage.viewCentre[0]), 0.0f,
                         static_cast<float>(z));
        calls.renderModel(model.model);
    }
}

}  // namespace

// The floor screen is filled with the stage colour every frame: left as it
// was made, it would hold black, the transparent colour, which the software
// path keys out of a drawable image while the hardware path draws it, so the
// two paths would show the play field differently. The floor models are then
// laid from far to near, one tile after another, under the stage's fog; the
// software path has no model system, so there the floor is the colour alone.
void DrawStageFloor(GameScene* scene) {
    const FrameCalls& calls = CurrentFrameCalls();
    const StageBlock& stage = scene->stage;
    SetDrawTarget(FloorScreen);
    const bool models = calls.renderModel != nullptr;
    if (models) {
        calls.setFogSwitch(1);
        calls.setFogTint(stage.colour[0], stage.colour[1], stage.colour[2]);
    }
    if (GameFloor.ready != 0) {
        calls.drawBoxShape(
            0, 0, kFloorScreenSize, kFloorScreenSize,
            calls.colorToScreenPixel(stage.colour[0], stage.colour[1], stage.colour[2]), 1);
    }
    if (models) {
        calls.setFogRange(static_cast<float>(stage.fogStart), static_cast<float>(stage.fogEnd));
        calls.placeCameraByAngles(static_cast<float>(stage.viewCentre[0]), 300.0f, 0.0f,
                                  static_cast<float>(stage.cameraAngles[0]),
                                  static_cast<float>(stage.cameraAngles[1]),
                                  static_cast<float>(stage.cameraAngles[2]));
        calls.setCameraDepthRange(100.0f, 10000.0f);
        for (int slot = 0; slot < kStageModelSlots; ++slot) {
            DrawFloorCopies(calls, stage, slot);
        }
    }
    RestoreDrawTarget();
}

void DrawGameScene(GameScene* scene) {
    DrawStageFloor(scene);
    DrawPlayer(*scene);
    DrawClockAndLevel(*scene);
    QueueDrawCallback(&FrontDrawQueue, &scene->bullets, -10000);
    DrawEnemies(&scene->enemies);
    DrawTaskPool(&scene->pool);
    const ColorRecord white = MakeDefaultColor();
    QueueImageDraw(&FrontDrawQueue, FloorScreen, EffectScreen, 10000, kBlendAlpha, 0.0, 0.0, 1.0,
                   white, 0);
    QueueImageDraw(&TopDrawQueue, EffectScreen, FrameImage, 1000, kBlendAlpha, 64.0, -16.0, 1.0,
                   white, 0);
    DrawSidePanel();
    DrawPauseOverlay(*scene);
}
