// The behaviours the registries store: bullets that curve, bounce, leave a
// trail or time out; the enemies of the waves and the boss; the pooled
// objects (the player's shots and bomb, items, particles, texts, the wave
// spawners, game over and level up); the stage's floor scroll. Every random
// value comes from the play generator, and where one call takes several they
// are drawn from its last argument towards its first.
#pragma once

#include <cstdint>

struct PooledObject;
struct Bullet;
struct Enemy;
struct StageBlock;

void BulletCurveBehaviour(Bullet* bullet, int32_t phase);
void BulletBounceBehaviour(Bullet* bullet, int32_t phase);
void BulletBurstBehaviour(Bullet* bullet, int32_t phase);
void BulletTimeoutBehaviour(Bullet* bullet, int32_t phase);

void BasicEnemyBehaviour(Enemy* enemy, int32_t phase);
void IdleEnemyBehaviour(Enemy* enemy, int32_t phase);
void WaveEnemyBehaviour10(Enemy* enemy, int32_t phase);
void WaveEnemyBehaviour11(Enemy* enemy, int32_t phase);
void WaveEnemyBehaviour12(Enemy* enemy, int32_t phase);
void WaveEnemyBehaviour13(Enemy* enemy, int32_t phase);
void WaveEnemyBehaviour14(Enemy* enemy, int32_t phase);
void WaveEnemyBehaviour15(Enemy* enemy, int32_t phase);
void BossEnemyBehaviour(Enemy* enemy, int32_t phase);

void ObjectKind0Behaviour(PooledObject* object, int32_t phase);
void PlayerShotBehaviour(PooledObject* object, int32_t phase);
void DeathBurstBehaviour(PooledObject* object, int32_t phase);
void ItemBehaviour(PooledObject* object, int32_t phase);
void BombShardBehaviour(PooledObject* object, int32_t phase);
void BombRingBehaviour(PooledObject* object, int32_t phase);
void BombBehaviour(PooledObject* object, int32_t phase);
void ObjectKind8Behaviour(PooledObject* object, int32_t phase);
void ObjectKind9Behaviour(PooledObject* object, int32_t phase);
void WaveSpawnerBehaviour10(PooledObject* object, int32_t phase);
void WaveSpawnerBehaviour11(PooledObject* object, int32_t phase);
void WaveSpawnerBehaviour12(PooledObject* object, int32_t phase);
void WaveSpawnerBehaviour13(PooledObject* object, int32_t phase);
void WaveSpawnerBehaviour14(PooledObject* object, int32_t phase);
void WaveSpawnerBehaviour15(PooledObject* object, int32_t phase);
void TimePenaltyTextBehaviour(PooledObject* object, int32_t phase);
void BossParticleBehaviour(PooledObject* object, int32_t phase);
void ObjectKind22Behaviour(PooledObject* object, int32_t phase);
void ObjectKind23Behaviour(PooledObject* object, int32_t phase);
void GameOverBehaviour(PooledObject* object, int32_t phase);
void LevelUpBehaviour(PooledObject* object, int32_t phase);
void WarpObjectBehaviour(PooledObject* object, int32_t phase);

void PlayerBehaviour1(StageBlock* stage, int32_t phase);
