// The cell arithmetic works in double, where fmod is exact, so a frame count
// that outgrows int cannot overflow; within int range it equals the integer form.
#include "game/math/animation_frame.h"

#include <cmath>

int AnimationCellIndex(int first, int count, int frame, double speed) {
    if (count <= 0) {
        return first;
    }
    double step = std::fmod(std::trunc(frame * speed), count);
    if (std::isnan(step)) {
        return first;
    }
    if (step < 0.0) {
        step += count;
    }
    return first + static_cast<int>(step);
}
