// The play scene: one game in Endless or 2minutes, live or played back. Each
// frame takes the game's buttons (recording them, or reading them back), runs
// the wave schedule, moves the player, updates the pooled objects, resolves
// the player's collisions and updates the enemies and bullets; the pause menu
// runs outside that, from the live buttons. A game is a pure function of its
// settings (seed included) and its button masks.
//
// The routes: ConstructGameScene builds and seeds; UpdateGameScene runs a
// frame (waves, UpdatePlayer, the pool, ResolveCollisions, the managers, then
// the pause); DrawGameScene queues the frame's pictures; CountWaveKill is
// called by wave enemies as they leave or die. Drawing never changes play.
#pragma once

#include <cstdint>

#include "game/bullets/bullet_manager.h"
#include "game/enemies/enemy_manager.h"
#include "game/input/input_state.h"
#include "game/math/hit_shape.h"
#include "game/pool/task_pool.h"

struct GameScene;

constexpr int32_t kTwoMinutesStartFrames = 7259;
constexpr int32_t kDeathTimePenalty = 900;
constexpr double kDiagonalDivisor = 1.4142356;  // this constant, not the square root of two

struct Player {
    double x;  // play-field coordinates, 8..376
    double y;  // 16..464
    HitShape hit;
    double drawScale;
    HitShape pickup;
    int32_t age;
    GameScene* owner;
    double tilt;        // degrees, -15..15
    double slowFactor;  // 0..1
    int32_t shotTimer;
    int32_t bombCooldown;
    int32_t invincibility;
    int32_t hitFlag;
    int32_t hitFrames;  // updates since the hit
    int32_t deadFlag;
    int32_t timer;  // 2minutes frames left
};

constexpr int kStageModelSlots = 8;

struct StageModelSlot {
    int32_t model;  // -1 none
    int32_t tileLength;
};

struct StageBlock {
    int32_t stage;  // also its slot in the player behaviour table
    StageModelSlot models[kStageModelSlots];
    double scroll[kStageModelSlots];
    double viewCentre[3];
    double cameraAngles[3];
    int32_t scrollDistance;
    double fogStart;
    double fogEnd;
    uint8_t colour[3];
};

constexpr int kWaveEntries = 8;

struct WaveEntry {
    int32_t kind;  // the pooled object that runs the wave
    int32_t mark;  // non-zero; cleared while a reshuffle places entries
    int32_t threshold;
    int32_t kills;
    int32_t spare;
    int32_t id;
    int32_t started;
};

extern const WaveEntry WaveTemplate[kWaveEntries];

struct GameScene {
    GameScene();
    GameScene(const GameScene&) = delete;
    GameScene& operator=(const GameScene&) = delete;

    TaskPool pool;
    BulletManager bullets;
    EnemyManager enemies;
    StageBlock stage;
    Player player;
    int32_t frame;  // this frame's place in the replay's masks

    InputState input;  // the game's own buttons
    WaveEntry waves[kWaveEntries];
    int32_t wavePhase;  // -1 after a boss's death, then 0..7
    int32_t bossActive;

    int32_t pauseActive;
    int32_t pauseFade;    // 0..20
    int32_t pauseCursor;  // 0 resume, 1 give up
    int32_t gameOverByLives;
    int32_t gameOverByTime;
    int32_t bombsThisGame;
};

// The live scene's player; null while no scene lives.
extern Player* PlayerPointer;
// The live scene; null while none lives.
extern GameScene* LiveGameScene;

// Builds the scene from CurrentPlay (or from the replay's settings in
// playback) and seeds PlayRandom. Null when there is no memory for it.
GameScene* ConstructGameScene();
void DestroyGameScene(GameScene* scene);
void UpdateGameScene(GameScene* scene);
void DrawGameScene(GameScene* scene);

// One frame's play without the pause handling: input, waves, player, pool,
// collisions, enemies, bullets, frame counter.
void RunPlayFrame(GameScene* scene);
void RunWaveSchedule(GameScene* scene);
void UpdatePlayer(GameScene* scene);
void ResolveCollisions(GameScene* scene);
void DrawStageFloor(GameScene* scene);

// One kill (or escape) for the live scene's wave entry of this id.
void CountWaveKill(int32_t id);
// What a boss's death does to the schedule: a reshuffle starts next frame.
void EndBossWave(GameScene* scene);
