// Hit shapes: which pairings meet, and where circles stop touching.
#include "game/math/hit_shape.h"

#include <gtest/gtest.h>

namespace {

struct Owner {
    double x;
    double y;
};

HitShape Circle(double radius) {
    HitShape shape{};
    MakeHitCircle(&shape, radius);
    return shape;
}

TEST(HitShape, MakeHitCircleGivesACircleOfThatRadius) {
    HitShape shape{kHitShapePoint, 0.0};
    MakeHitCircle(&shape, 16.5);
    EXPECT_EQ(shape.type, kHitShapeCircle);
    EXPECT_EQ(shape.radius, 16.5);
}

TEST(HitShape, PairingsMeetOnlyAsTheRulesSay) {
    struct Case {
        const char* what;
        HitShape a;
        Owner at;
        HitShape b;
        Owner bt;
        bool hit;
    };
    const HitShape point{kHitShapePoint, 0.0};
    const HitShape r1 = Circle(1.0), r2 = Circle(2.0), r3 = Circle(3.0), r40 = Circle(40.0);
    const HitShape r50 = Circle(50.0), half = Circle(0.5);
    const HitShape one{1, 50.0}, three{3, 50.0};
    const Case cases[] = {
        {"radii 1 + 40 at 41 only touch", r1, {100, 200}, r40, {141, 200}, false},
        {"radii 1 + 40 at 40.999 overlap", r1, {100, 200}, r40, {140.999, 200}, true},
        {"radii 2 + 3 at 5 on a diagonal", r2, {10, 10}, r3, {13, 14}, false},
        {"radii 2 + 3 just inside 5", r2, {10, 10}, r3, {12.999, 14}, true},
        {"concentric circles", half, {7, 7}, half, {7, 7}, true},
        {"points at the same place", point, {5.25, 9.5}, point, {5.25, 9.5}, true},
        {"points a hair apart", point, {5.25, 9.5}, point, {5.25, 9.500000001}, false},
        {"a point never meets a circle", point, {0, 0}, r50, {0, 0}, false},
        {"type 1 never collides", one, {0, 0}, one, {0, 0}, false},
        {"type 3 never collides", three, {0, 0}, three, {0, 0}, false},
        {"type 1 against a circle", one, {0, 0}, r50, {0, 0}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(HitTest(c.a, c.at, c.b, c.bt), c.hit);
        EXPECT_EQ(HitTest(c.b, c.bt, c.a, c.at), c.hit) << "with the shapes swapped";
        EXPECT_EQ(HitTestAt(c.a, c.at.x, c.at.y, c.b, c.bt.x, c.bt.y), c.hit);
    }
}

}  // namespace
