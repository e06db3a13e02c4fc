// The play scene's construction and its frame: the wave schedule, the player,
// the player's collisions and the pause menu. Drawing is in game_scene_draw.cpp.
#include "game/play/game_scene.h"

#include <new>

#include "game/behaviour/behaviour_tables.h"
#include "game/input/replay_input.h"
#include "game/play/frame_requests.h"
#include "game/play/play_state.h"
#include "game/random/dsfmt_random.h"

Player* PlayerPointer = nullptr;
GameScene* LiveGameScene = nullptr;

const WaveEntry WaveTemplate[kWaveEntries] = {
    {10, 12, 10, 0, 0, 0, 0}, {11, 4, 3, 0, 0, 1, 0},  {12, 12, 6, 0, 0, 2, 0},
    {13, 2, 1, 0, 0, 3, 0},   {14, 10, 7, 0, 0, 4, 0}, {15, 2, 1, 0, 0, 5, 0},
    {16, 4, 1, 0, 0, 6, 0},   {17, 8, 6, 0, 0, 7, 0},
};

namespace {

constexpr int32_t kShuffledEntries = 6;
constexpr int32_t kBossEntry = 6;
constexpr int32_t kBossKind = 19;
constexpr int32_t kPauseFadeFrames = 20;

constexpr int32_t kShotKind = 1;
constexpr int32_t kBurstKind = 2;
constexpr int32_t kItemKind = 3;
constexpr int32_t kBombKind = 7;
constexpr int32_t kTimePenaltyKind = 20;
constexpr int32_t kGameOverKind = 24;
constexpr int32_t kLevelUpKind = 25;

constexpr int32_t kSoundCursor = 0;
constexpr int32_t kSoundPause = 2;
constexpr int32_t kSoundShot = 3;
constexpr int32_t kSoundBomb = 4;
constexpr int32_t kSoundItem = 6;
constexpr int32_t kSoundPlayerHit = 8;
constexpr int32_t kSoundLastSeconds = 19;
constexpr int32_t kSoundLevelUp = 20;

constexpr double kStartX = 192.0;
constexpr double kStartY = 400.0;

void ConstructPlayer(GameScene* scene) {
    Player& p = scene->player;
    p = Player{};
    MakeHitCircle(&p.hit, 1.0);
    MakeHitCircle(&p.pickup, 40.0);
    p.drawScale = 1.0;
    p.owner = scene;
    p.x = kStartX;
    p.y = kStartY;
    p.timer = kTwoMinutesStartFrames;
    PlayerPointer = &p;
}

void ConstructStage(GameScene* scene) {
    StageBlock& s = scene->stage;
    s = StageBlock{};
    s.stage = 1;
    for (auto& slot : s.models) {
        slot = StageModelSlot{-1, 0};
    }
    s.viewCentre[0] = 256.0;
    s.viewCentre[1] = 256.0;
    s.viewCentre[2] = 256.0;
    s.colour[0] = 60;
    s.colour[1] = 0;
    s.colour[2] = 60;
    s.models[0] = StageModelSlot{FloorModel, 300};
    s.scrollDistance = 1600;
    s.fogStart = 200.0;
    s.fogEnd = 1400.0;
}

void StartWaveEntry(GameScene* scene, int32_t index) {
    scene->waves[index].started = 1;
    QueueObjectSpawn(&scene->pool, scene->waves[index].kind, 0.0, 0.0, 0.0, 0.0, 0, 0.0, 0.0, 0.0);
}

bool EntryDone(const WaveEntry& entry) {
    return entry.kills >= entry.threshold;
}

// The next cycle's order: each template entry goes to a random free place.
void ReshuffleWaves(GameScene* scene) {
    for (int32_t i = 0; i < kShuffledEntries; ++i) {
        scene->waves[i].mark = 0;
    }
    for (int32_t i = 0; i < kShuffledEntries; ++i) {
        int32_t r = RandomInt(kShuffledEntries);
        while (scene->waves[r].mark != 0) {
            r = RandomInt(kShuffledEntries);
        }
        scene->waves[r] = WaveTemplate[i];
    }
    scene->wavePhase = 0;
    if (CurrentPlay.level < kMaxLevel) {
        RequestSound(kSoundLevelUp);
        CurrentPlay.level += 1;
        QueueObjectSpawn(&scene->pool, kLevelUpKind, 0.0, 0.0, 0.0, 0.0, 0, 0.0, 0.0, 0.0);
    }
}

void QueueGameOver(GameScene* scene) {
    QueueObjectSpawn(&scene->pool, kGameOverKind, 0.0, 0.0, 0.0, 0.0, 0, 0.0, 0.0, 0.0);
}

bool GameIsOver(const GameScene& scene) {
    return scene.gameOverByLives != 0 || scene.gameOverByTime != 0;
}

// Steps 1 to 4: the buttons move the player.
void MovePlayer(GameScene* scene) {
    Player& p = scene->player;
    const InputState& in = scene->input;
    double vx = 0.0;
    double vy = 0.0;
    if (p.hitFlag == 0) {
        double turn = IsSlowHeld(in) ? 5.0 : 3.0;
        if (IsUpHeld(in)) {
            vy = -5.0;
        }
        if (IsDownHeld(in)) {
            vy = vy == 0.0 ? 5.0 : 0.0;
        }
        if (IsRightHeld(in)) {
            vx = 5.0;
            p.tilt -= turn;
        }
        if (IsLeftHeld(in)) {
            vx = vx == 0.0 ? -5.0 : 0.0;
            p.tilt += turn;
        }
        p.tilt = p.tilt < -15.0 ? -15.0 : (p.tilt > 15.0 ? 15.0 : p.tilt);
        if (IsRightHeld(in) == IsLeftHeld(in)) {
            p.tilt *= 0.5;
            if (p.tilt > -0.2 && p.tilt < 0.2) {
                p.tilt = 0.0;
            }
        }
    }
    if (IsSlowHeld(in)) {
        p.slowFactor = p.slowFactor + 0.1 > 1.0 ? 1.0 : p.slowFactor + 0.1;
        vx *= 0.4;
        vy *= 0.4;
    } else {
        p.slowFactor = p.slowFactor - 0.1 < 0.0 ? 0.0 : p.slowFactor - 0.1;
    }
    if (vx != 0.0 && vy != 0.0) {
        vx /= kDiagonalDivisor;
        vy /= kDiagonalDivisor;
    }
    p.x += vx;
    p.y += vy;
    p.x = p.x < 8.0 ? 8.0 : (p.x > 376.0 ? 376.0 : p.x);
    p.y = p.y < 16.0 ? 16.0 : (p.y > 464.0 ? 464.0 : p.y);
}

void FireShots(GameScene* scene) {
    Player& p = scene->player;
    if (IsShotHeld(scene->input)) {
        p.shotTimer = 30;
    }
    if (p.shotTimer > 0 && p.age % 3 == 0 && p.hitFlag == 0 && p.timer > 0) {
        RequestSound(kSoundShot);
        QueueObjectSpawn(&scene->pool, kShotKind, p.x - 10.0, p.y + 20.0, 20.0, 90.0, 0, 0.0, 0.0,
                         0.0);
        QueueObjectSpawn(&scene->pool, kShotKind, p.x + 10.0, p.y + 20.0, 20.0, 90.0, 0, 0.0, 0.0,
                         0.0);
    }
}

void ReleaseBomb(GameScene* scene) {
    Player& p = scene->player;
    if (!IsBombHeld(scene->input) || p.bombCooldown >= 1 || CurrentPlay.bombs < 1 ||
        p.hitFrames >= 9 || scene->gameOverByTime != 0) {
        return;
    }
    QueueObjectSpawn(&scene->pool, kBombKind, p.x, p.y, 0.0, 90.0, 0, 0.0, 0.0, 0.0);
    CurrentPlay.bombs -= 1;
    scene->bombsThisGame += 1;
    RequestSound(kSoundBomb);
    if (ReplayPlayback == 0 && p.hitFlag != 0) {
        GameScoreFile.rescueBombs += 1;
    }
    p.bombCooldown = 80;
    p.invincibility = 150;
    p.hitFlag = 0;
    p.hitFrames = 0;
}

void Die(GameScene* scene) {
    Player& p = scene->player;
    if (p.hitFrames < 10 || p.deadFlag != 0) {
        return;
    }
    p.deadFlag = 1;
    CurrentPlay.lives -= 1;
    p.invincibility = 240;
    SpawnObjectRing(&scene->pool, kBurstKind, p.x, p.y, 5.0, 90.0, 24, 0.0, 0, 0, 0.5, 3.0, 0.0);
    if (CurrentPlay.mode == kModeTwoMinutes) {
        QueueObjectSpawn(&scene->pool, kTimePenaltyKind, p.x, p.y, 0.0, 0.0, 0, 0.0, 0.0, 0.0);
        p.timer = p.timer - kDeathTimePenalty < 0 ? 0 : p.timer - kDeathTimePenalty;
    }
    p.x = kStartX;
    p.y = kStartY;
    if (CurrentPlay.lives < 0 && !GameIsOver(*scene)) {
        scene->gameOverByLives = 1;
        QueueGameOver(scene);
    }
}

void Revive(GameScene* scene) {
    Player& p = scene->player;
    if (p.deadFlag == 0 || CurrentPlay.lives < 0) {
        return;
    }
    if (p.invincibility == 182) {
        SpawnObjectRing(&scene->pool, kBurstKind, p.x, p.y, -7.0, 90.0, 32, 224.0, 0, 5, 0.5, 3.5,
                        0.0);
    }
    if (p.invincibility == 150) {
        p.hitFlag = 0;
        p.hitFrames = 0;
        p.deadFlag = 0;
        CurrentPlay.bombs = 2;
    }
}

void CountDown(GameScene* scene) {
    Player& p = scene->player;
    p.shotTimer -= 1;
    p.bombCooldown -= 1;
    p.invincibility -= 1;
    if (CurrentPlay.mode == kModeTwoMinutes && p.timer >= 1 && CurrentPlay.lives >= 0) {
        p.timer -= 1;
    }
    if (p.hitFlag != 0) {
        p.hitFrames += 1;
    }
    if (p.timer > 0 && p.timer <= 600 && p.timer % 60 == 0) {
        RequestSound(kSoundLastSeconds);
    }
    p.age += 1;
}

void HandlePause(GameScene* scene) {
    if (IsPausePressed(LiveInput) && !GameIsOver(*scene)) {
        RequestSound(kSoundPause);
        scene->pauseActive = scene->pauseActive != 0 ? 0 : 1;
        if (scene->pauseActive != 0) {
            scene->pauseCursor = 0;
        }
    }
    if (scene->pauseActive == 0 && scene->pauseFade > 0) {
        scene->pauseFade -= 1;
    } else if (scene->pauseActive != 0 && scene->pauseFade < kPauseFadeFrames) {
        scene->pauseFade += 1;
    }
    if (scene->pauseFade != kPauseFadeFrames || SceneFadeRunning()) {
        return;
    }
    if (IsUpPressed(LiveInput) || IsDownPressed(LiveInput)) {
        RequestSound(kSoundCursor);
        scene->pauseCursor = scene->pauseCursor != 0 ? 0 : 1;
    }
    if (!IsShotPressed(LiveInput)) {
        return;
    }
    RequestSound(kSoundPause);
    if (scene->pauseCursor == 0) {
        scene->pauseActive = 0;
        return;
    }
    if (ReplayPlayback == 0) {
        GameScoreFile.giveUps += 1;
    }
    RequestMusic(1, kMusicStop);
    RequestMusic(2, kMusicStop);
    RequestSceneChange(1, 15, MakeColor(0, 0, 0));
}

}  // namespace

GameScene::GameScene()
    : bullets(PlayTables.bulletRows, PlayTables.bulletImages),
      enemies(PlayTables.enemyRows, PlayTables.enemyImages) {}

GameScene* ConstructGameScene() {
    GameScene* scene = new (std::nothrow) GameScene();
    if (scene == nullptr) {
        return nullptr;
    }
    ConstructTaskPool(&scene->pool);
    ConstructBulletManager(&scene->bullets);
    ConstructEnemyManager(&scene->enemies);
    if (ReplayPlayback != 0) {
        CurrentPlay = GameReplay.settings;
        CurrentPlay.highScore = ModeHighScore(GameScoreFile, CurrentPlay.mode);
    } else {
        GameReplay.settings = CurrentPlay;
    }
    int32_t track = CurrentPlay.mode == kModeTwoMinutes ? 2 : 1;
    RequestMusic(track, kMusicPlayFromStart);
    scene->pool.owner = scene;
    scene->bullets.owner = scene;
    scene->enemies.owner = scene;
    SeedRandom(&PlayRandom, CurrentPlay.seed);
    scene->pauseActive = 0;
    scene->pauseFade = 0;
    scene->pauseCursor = 0;
    scene->gameOverByLives = 0;
    scene->gameOverByTime = 0;
    scene->bombsThisGame = 0;
    ConstructInputState(&scene->input);
    ConstructPlayer(scene);
    ConstructStage(scene);
    scene->frame = 0;
    scene->wavePhase = 0;
    scene->bossActive = 0;
    if (ReplayPlayback == 0) {
        GameScoreFile.gamesStarted += 1;
    }
    for (int i = 0; i < kWaveEntries; ++i) {
        scene->waves[i] = WaveTemplate[i];
    }
    LiveGameScene = scene;
    return scene;
}

void DestroyGameScene(GameScene* scene) {
    if (scene == nullptr) {
        return;
    }
    if (LiveGameScene == scene) {
        LiveGameScene = nullptr;
        PlayerPointer = nullptr;
    }
    delete scene;
}

void RunWaveSchedule(GameScene* scene) {
    if (scene->wavePhase == -1) {
        ReshuffleWaves(scene);
    }
    if (scene->wavePhase == 0 && scene->waves[0].started == 0) {
        StartWaveEntry(scene, 0);
        scene->wavePhase = 1;
    }
    int32_t p = scene->wavePhase;
    if (p >= 1 && p <= 5 && scene->waves[p].started == 0 && EntryDone(scene->waves[p - 1])) {
        StartWaveEntry(scene, p);
        scene->wavePhase += 1;
    }
    if (scene->wavePhase == 6 && scene->bossActive == 0 && EntryDone(scene->waves[5])) {
        scene->waves[kBossEntry].started = 1;
        QueueEnemySpawn(&scene->enemies, kBossKind, 440.0, -30.0, 0.0, 0.0, 0, 0, 0.0, 0.0, 0.0);
        scene->bossActive = 1;
        scene->wavePhase = 7;
    }
}

void EndBossWave(GameScene* scene) {
    scene->wavePhase = -1;
    scene->bossActive = 0;
    if (ReplayPlayback == 0) {
        GameScoreFile.bossKills += 1;
    }
}

void CountWaveKill(int32_t id) {
    if (LiveGameScene == nullptr) {
        return;
    }
    for (auto& entry : LiveGameScene->waves) {
        if (entry.id == id) {
            entry.kills += 1;
            return;
        }
    }
}

void UpdatePlayer(GameScene* scene) {
    MovePlayer(scene);
    FireShots(scene);
    ReleaseBomb(scene);
    Die(scene);
    Revive(scene);
    Player& p = scene->player;
    if (ReplayPlayback == 0 && CurrentPlay.score > CurrentPlay.highScore) {
        CurrentPlay.highScore = CurrentPlay.score;
        SetModeHighScore(&GameScoreFile, CurrentPlay.mode, CurrentPlay.highScore);
    }
    CountDown(scene);
    if (p.timer < 1 && !GameIsOver(*scene)) {
        scene->gameOverByTime = 1;
        QueueGameOver(scene);
    }
}

void ResolveCollisions(GameScene* scene) {
    Player& p = scene->player;
    for (PooledObject* object : scene->pool.order) {
        if (object->active == 0 || object->kind != kItemKind || p.deadFlag != 0) {
            continue;
        }
        if (!HitTest(p.pickup, p, object->hit, *object) || p.hitFlag != 0) {
            continue;
        }
        object->active = 0;
        RequestSound(kSoundItem);
        CurrentPlay.score += 10000;
        if (object->param == 1 && p.timer > 0) {
            p.timer += 1800;
            CurrentPlay.score += 190000;
            RequestSound(kSoundItem);
        }
    }
    for (Bullet* bullet : scene->bullets.order) {
        if (p.deadFlag != 0) {
            return;
        }
        if (bullet->active == 0 || bullet->state != kStateNormal ||
            !HitTest(p.hit, p, bullet->hit, *bullet)) {
            continue;
        }
        bullet->state = kStateVanishing;
        if (p.invincibility > 0 || p.hitFlag != 0 || p.timer <= 0) {
            continue;
        }
        RequestSound(kSoundPlayerHit);
        p.hitFlag = 1;
        p.invincibility = 20;
        SpawnObjectRing(&scene->pool, kBurstKind, p.x, p.y, 4.2, 90.0, 24, 0.0, 0, 0, 1.0, 1.0,
                        0.0);
    }
}

void RunPlayFrame(GameScene* scene) {
    if (ReplayPlayback != 0) {
        FeedReplayFrame(&scene->input, GameReplay, scene->frame);
    } else {
        FeedLiveFrame(&scene->input, LiveInput, &GameReplay, scene->frame);
    }
    RunWaveSchedule(scene);
    UpdatePlayer(scene);
    RunBehaviour(PlayerBehaviours, scene->stage.stage, &scene->stage, kBehaviourUpdate);
    UpdateTaskPool(&scene->pool);
    ResolveCollisions(scene);
    UpdateEnemyManager(&scene->enemies);
    UpdateBulletManager(&scene->bullets);
    scene->frame += 1;
}

void UpdateGameScene(GameScene* scene) {
    if (scene->pauseActive == 0 && scene->pauseFade == 0) {
        RunPlayFrame(scene);
    }
    HandlePause(scene);
}
