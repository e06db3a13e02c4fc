// Squared distances avoid the square root; the comparison is strict, so
// circles that only touch do not collide.
#include "game/math/hit_shape.h"

void MakeHitCircle(HitShape* shape, double radius) {
    shape->type = kHitShapeCircle;
    shape->radius = radius;
}

bool HitTestAt(const HitShape& a, double ax, double ay, const HitShape& b, double bx, double by) {
    if (a.type != b.type) {
        return false;
    }
    if (a.type == kHitShapePoint) {
        return ax == bx && ay == by;
    }
    if (a.type != kHitShapeCircle) {
        return false;
    }
    double dx = bx - ax;
    double dy = by - ay;
    double reach = a.radius + b.radius;
    return dx * dx + dy * dy < reach * reach;
}
