// The enemy-bullet manager: every enemy bullet of the play scene, up to 3070
// at once. It follows the task pool's design (fixed records, a pointer vector
// kept in order, a request queue applied at the start of its update, the same
// counters and sorts). A bullet's look and much of its conduct come from its
// kind row; an optional behaviour from the bullet behaviour table adds
// movement. The manager draws all bullets itself, in two passes, from one
// callback request in the front draw queue.
//
// A bullet appears (fading in, shrinking to its size), flies, and either
// leaves the field, runs out its lifetime or vanishes (15 frames of fading out).
#pragma once

#include <array>
#include <cstdint>

#include "game/math/color.h"
#include "game/math/hit_shape.h"
#include "game/play/appear_fade.h"
#include "game/play/kind_rows.h"
#include "game/play/motion.h"
#include "game/play/pool_steps.h"
#include "game/pool/task_pool.h"
#include "game/random/draw_random.h"

struct GameScene;

constexpr int kBulletCapacity = 3070;
constexpr int kPulseRings = 3;

enum BulletDrawStyle : int32_t {
    kBulletTrail = 0,  // draws nothing; leaves one bullet a frame behind it
    kBulletPlain = 1,
    kBulletTurned = 2,    // turned along its direction
    kBulletSpinning = 3,  // turned by its phase time
    kBulletPulse = 4,     // three rings pulsing behind it
    kBulletTimed = 6,     // an animation over its lifetime, then gone
};

struct Bullet : Motion {
    int32_t active;
    int32_t priority;  // greater first: the larger bullets draw under the smaller
    int32_t age;       // normal frames gone through
    double scale;
    HitShape hit;  // what the player and the bomb test against
    GameScene* owner;
    int32_t kind;       // its kind row
    int32_t behaviour;  // its slot in the bullet behaviour table; -1 none
    int32_t state;      // a LifeState
    int32_t minAge;     // it leaves the field only when older
    int32_t blendAdd;   // non-zero draws the body additively
    int32_t ringTimer[kPulseRings];
    double ringSize[kPulseRings];
    double ringAngle[kPulseRings];  // radians
    double ringAlpha[kPulseRings];
    ColourPair colour;
    int32_t lifetime;  // frames, for the timed style
    int32_t ints[7];   // scratch for the behaviours, zero at spawn
    double p4;
    double p5;
    double p6;
    double reals[5];
    AppearFade fade;
    int32_t vanishCount;  // frames of vanishing done
    double phaseTime;     // + 0.08 a normal or vanishing frame: pulses and spins
    double vanishSpeed;   // the velocity's factor while vanishing
    double vanishGrow;
    double vanishFade;
    double vanishAlpha;
    double vanishScale;
    double vanishShrink;
};

// One queued bullet. `x`, `y` and `angle` are the centre and the base angle
// when the request is the model of a fan or a ring.
struct BulletRequest {
    int32_t kind;
    int32_t behaviour;
    int32_t blendAdd;
    int32_t appearFrames;
    int32_t lifetime;
    double x;
    double y;
    double speed;
    double angle;
    double scale;
    double appearSpeed;
    double appearScaleFactor;
    double p4;
    double p5;
    double p6;
    ColorRecord colour;
    GameScene* owner;
};

struct BulletManager : RecordPool<Bullet, BulletRequest, kBulletCapacity, GameScene*> {
    // Copies the kind rows and the image table; every bullet starts free.
    BulletManager(const BulletInfoRow (&kindRows)[kKindRows], const BulletImageTable& images);

    BulletInfoRow kindRows[kKindRows];
    BulletImageTable images;
    // The pulse rings' turns; play never reads it.
    DrawRandom ringTurns;
};

// Frees every bullet and empties the queue; the copied tables stay.
void ConstructBulletManager(BulletManager* manager);

// The row of a bullet kind; a kind outside the table reads as an empty row.
const BulletInfoRow& BulletKindRow(const BulletManager& manager, int32_t kind);

// Queues one bullet (its owner is the manager's). A 641st request in one
// frame is dropped.
void QueueBulletSpawn(BulletManager* manager, const BulletRequest& request);
// `count` bullets spread around the request's angle: `spread` is the spacing
// when `spreadIsStep` is set, else the whole spread; each starts `radius` from
// (x, y) along its angle.
void FireBulletFan(BulletManager* manager, const BulletRequest& model, int32_t count, double spread,
                   int32_t spreadIsStep, double radius);
// `count` bullets evenly around the circle, clockwise from the request's
// angle; `halfStep` turns the ring back by half a spacing.
void FireBulletRing(BulletManager* manager, const BulletRequest& model, int32_t count,
                    int32_t halfStep, double radius);

// The frame's step: spawn, update every bullet, sort the live ones to the front.
void UpdateBulletManager(BulletManager* manager);

// The front queue's callback: draws every live bullet, glows first.
void DrawBulletLayer(BulletManager* manager);
