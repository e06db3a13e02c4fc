// 64-bit FNV-1a over the fields of the play state, each value by its bytes.
#include "game/play/play_hash.h"

#include <cstring>
#include <type_traits>

#include "game/play/game_scene.h"
#include "game/play/play_state.h"
#include "game/random/dsfmt_random.h"

namespace {

struct Hasher {
    uint64_t value = 0xCBF29CE484222325ull;

    template <class T>
    void Add(const T& field) {
        static_assert(std::is_arithmetic_v<T>);
        unsigned char bytes[sizeof(T)];
        std::memcpy(bytes, &field, sizeof(T));
        for (unsigned char b : bytes) {
            value = (value ^ b) * 0x100000001B3ull;
        }
    }

    template <class T, std::size_t N>
    void AddAll(const T (&fields)[N]) {
        for (const T& f : fields) {
            Add(f);
        }
    }

    void AddMotion(const Motion& m) {
        Add(m.x);
        Add(m.y);
        Add(m.speed);
        Add(m.angle);
        Add(m.vx);
        Add(m.vy);
    }

    void AddShape(const HitShape& shape) {
        Add(shape.type);
        Add(shape.radius);
    }
};

void AddPlayer(Hasher* h, const Player& p) {
    h->Add(p.x);
    h->Add(p.y);
    h->AddShape(p.hit);
    h->AddShape(p.pickup);
    h->Add(p.age);
    h->Add(p.tilt);
    h->Add(p.slowFactor);
    h->Add(p.shotTimer);
    h->Add(p.bombCooldown);
    h->Add(p.invincibility);
    h->Add(p.hitFlag);
    h->Add(p.hitFrames);
    h->Add(p.deadFlag);
    h->Add(p.timer);
}

void AddSchedule(Hasher* h, const GameScene& scene) {
    h->Add(scene.frame);
    h->Add(scene.wavePhase);
    h->Add(scene.bossActive);
    h->Add(scene.gameOverByLives);
    h->Add(scene.gameOverByTime);
    h->Add(scene.bombsThisGame);
    for (const WaveEntry& e : scene.waves) {
        h->Add(e.kind);
        h->Add(e.mark);
        h->Add(e.threshold);
        h->Add(e.kills);
        h->Add(e.id);
        h->Add(e.started);
    }
    h->Add(scene.input.currentButtons);
    h->Add(scene.input.previousButtons);
    h->AddAll(scene.input.holdFrames);
    const StageBlock& s = scene.stage;
    h->Add(s.stage);
    h->AddAll(s.scroll);
    h->AddAll(s.viewCentre);
    h->Add(s.scrollDistance);
}

void AddObjects(Hasher* h, const TaskPool& pool) {
    for (std::size_t i = 0; i < pool.order.size(); ++i) {
        const PooledObject& o = *pool.order[i];
        if (o.active == 0) {
            continue;
        }
        h->Add(static_cast<int64_t>(pool.order[i] - pool.records.data()));
        h->Add(static_cast<int64_t>(i));
        h->AddMotion(o);
        h->AddShape(o.hit);
        h->Add(o.kind);
        h->Add(o.param);
        h->AddAll(o.ints);
        h->Add(o.p4);
        h->Add(o.p5);
        h->Add(o.p6);
        h->AddAll(o.reals);
        h->Add(o.age);
        h->Add(o.killed);
        h->AddAll(o.flags);
        h->Add(o.visible);
        h->Add(o.scale);
        h->Add(o.alpha);
    }
    h->Add(pool.requestCount);
}

void AddBullets(Hasher* h, const BulletManager& bullets) {
    for (std::size_t i = 0; i < bullets.order.size(); ++i) {
        const Bullet& b = *bullets.order[i];
        if (b.active == 0) {
            continue;
        }
        h->Add(static_cast<int64_t>(bullets.order[i] - bullets.records.data()));
        h->Add(static_cast<int64_t>(i));
        h->AddMotion(b);
        h->AddShape(b.hit);
        h->Add(b.kind);
        h->Add(b.behaviour);
        h->Add(b.state);
        h->Add(b.age);
        h->Add(b.scale);
        h->Add(b.minAge);
        h->Add(b.lifetime);
        h->AddAll(b.ints);
        h->AddAll(b.reals);
        h->Add(b.fade.appearFrames);
        h->Add(b.vanishCount);
    }
    h->Add(bullets.requestCount);
}

void AddEnemies(Hasher* h, const EnemyManager& enemies) {
    for (std::size_t i = 0; i < enemies.order.size(); ++i) {
        const Enemy& e = *enemies.order[i];
        if (e.active == 0) {
            continue;
        }
        h->Add(static_cast<int64_t>(enemies.order[i] - enemies.records.data()));
        h->Add(static_cast<int64_t>(i));
        h->AddMotion(e);
        h->Add(e.kind);
        h->Add(e.param);
        h->AddAll(e.ints);
        h->Add(e.p4);
        h->Add(e.p5);
        h->Add(e.p6);
        h->Add(e.life);
        h->Add(e.age);
        h->Add(e.state);
        h->Add(e.guard);
    }
    h->Add(enemies.requestCount);
}

}  // namespace

uint64_t HashPlayState(const GameScene& scene) {
    Hasher h;
    h.Add(CurrentPlay.score);
    h.Add(CurrentPlay.mode);
    h.Add(CurrentPlay.lives);
    h.Add(CurrentPlay.bombs);
    h.Add(CurrentPlay.seed);
    h.Add(CurrentPlay.level);
    AddPlayer(&h, scene.player);
    AddSchedule(&h, scene);
    AddObjects(&h, scene.pool);
    AddBullets(&h, scene.bullets);
    AddEnemies(&h, scene.enemies);
    h.Add(PlayRandom.index);
    h.AddAll(PlayRandom.lanes);
    return h.value;
}
