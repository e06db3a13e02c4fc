// The beams' corners: half the width to either side of the beam's line, at
// its base and at its tip, given top-left first and clockwise as the image
// lies (the tip is the image's top edge).
#include "game/draw/beam_quads.h"

#include "game/draw/library_draw_calls.h"
#include "game/math/angles.h"

namespace {

// The beam whose base lies `baseReach` and tip `tipReach` along the angle from (x, y).
void DrawBeamQuad(int32_t image, double x, double y, double width, double angle, double baseReach,
                  double tipReach) {
    const double half = width / 2.0;
    const double left = angle + 90.0;
    const double right = angle - 90.0;
    const double tipX = PolarX(tipReach, angle);
    const double tipY = PolarY(tipReach, angle);
    const double baseX = PolarX(baseReach, angle);
    const double baseY = PolarY(baseReach, angle);
    const double leftX = x + PolarX(half, left);
    const double leftY = y + PolarY(half, left);
    const double rightX = x + PolarX(half, right);
    const double rightY = y + PolarY(half, right);
    DrawCalls().drawQuad(static_cast<float>(leftX + tipX), static_cast<float>(leftY + tipY),
                         static_cast<float>(rightX + tipX), static_cast<float>(rightY + tipY),
                         static_cast<float>(rightX + baseX), static_cast<float>(rightY + baseY),
                         static_cast<float>(leftX + baseX), static_cast<float>(leftY + baseY),
                         image, 1);
}

}  // namespace

void DrawBeamFromBase(int32_t image, double x, double y, double length, double width,
                      double angle) {
    DrawBeamQuad(image, x, y, width, angle, 0.0, length);
}

void DrawBeamCentred(int32_t image, double x, double y, double length, double width, double angle) {
    DrawBeamQuad(image, x, y, width, angle, -length / 2.0, length / 2.0);
}
