// Hit shapes: a point or a circle carried by an object, placed at its owner's
// position. Only like shapes meet: two points at the very same place, or two
// circles whose centres lie strictly closer than the sum of their radii.
#pragma once

#include <cstdint>

enum HitShapeType : uint32_t {
    kHitShapePoint = 0,
    kHitShapeCircle = 2,
    // 1, 3 and every other value never collide.
};

struct HitShape {
    uint32_t type;
    double radius;
};

void MakeHitCircle(HitShape* shape, double radius);

// The test on explicit positions; symmetric in its two shapes.
bool HitTestAt(const HitShape& a, double ax, double ay, const HitShape& b, double bx, double by);

// The test on two owners: anything with an `x` and a `y` (pooled objects,
// bullets, enemies, the player).
template <class OwnerA, class OwnerB>
bool HitTest(const HitShape& a, const OwnerA& ownerA, const HitShape& b, const OwnerB& ownerB) {
    return HitTestAt(a, ownerA.x, ownerA.y, b, ownerB.x, ownerB.y);
}
