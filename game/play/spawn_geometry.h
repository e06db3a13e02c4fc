// Where the members of a ring or a fan go. Each member gets an angle and a
// position at `radius` from the centre along that angle; the caller queues
// one spawn request per member, in the order given here, which replays rely on.
#pragma once

#include "game/math/angles.h"

// `count` members spaced evenly around the circle, clockwise from the base
// angle; a half step turns the whole ring back by half a spacing first.
// place(angle, x, y) runs once per member; nothing runs when count < 1.
template <class Place>
void ForEachRingMember(int count, double cx, double cy, double baseAngle, double radius,
                       int halfStep, Place&& place) {
    if (count < 1) {
        return;
    }
    double step = 360.0 / count;
    double offset = halfStep != 0 ? -step / 2.0 : 0.0;
    for (int i = 0; i < count; ++i) {
        double angle = baseAngle + offset;
        place(angle, cx + PolarX(radius, angle), cy + PolarY(radius, angle));
        offset -= step;
    }
}

// `count` members spread around the base angle, in pairs on either side of
// it. The spacing is `spread` itself when `spreadIsStep` is set, else `spread`
// shared out over the members. An odd count puts its first member on the base
// angle. place(angle, x, y) runs once per member; nothing runs when count < 1.
template <class Place>
void ForEachFanMember(int count, double cx, double cy, double baseAngle, double spread,
                      int spreadIsStep, double radius, Place&& place) {
    if (count < 1) {
        return;
    }
    auto placeAt = [&](double angle) {
        place(angle, cx + PolarX(radius, angle), cy + PolarY(radius, angle));
    };
    double step = spreadIsStep != 0 ? spread : spread / count;
    double offset;
    if (count % 2 != 0) {
        placeAt(baseAngle);
        offset = -step;
    } else {
        offset = -step / 2.0;
    }
    for (int pair = 0; pair < count / 2; ++pair) {
        placeAt(baseAngle + offset);
        placeAt(baseAngle - offset);
        offset -= step;
    }
}
