// The bullet request that enemies and turrets fire most: plain behaviour,
// a hue of the pale circle, scale 1, fading in over 15 frames at half speed.
#pragma once

#include <cstdint>

#include "game/bullets/bullet_manager.h"

inline BulletRequest CommonShotRequest(int32_t kind, int32_t hue, double x, double y, double speed,
                                       double angle) {
    BulletRequest model{};
    model.kind = kind;
    model.behaviour = 0;
    model.colour = HueToColor(hue, 1.0, 255);
    model.x = x;
    model.y = y;
    model.speed = speed;
    model.angle = angle;
    model.scale = 1.0;
    model.appearFrames = 15;
    model.appearSpeed = 0.5;
    model.appearScaleFactor = 1.0;
    return model;
}
