// The hue circle has six segments; in each one channel is full, one moves
// between full and a quarter (rising or falling) and one moves between a
// quarter and nothing, so neighbouring segments meet at the same colour. The
// per-segment step factors are single-precision constants, as the game's
// colours were tuned with them.
#include "game/math/color.h"

#include <cmath>

namespace {

enum Channel { kRed = 0, kGreen = 1, kBlue = 2 };

struct HueSegment {
    int start;
    float step;         // t = p x step x 255 for the moving channels
    float fallingStep;  // the full-to-quarter channel's own step, where it differs
    Channel full;
    Channel moving;
    bool rising;  // the moving channel rises from a quarter to full (else falls)
    Channel low;  // falls from a quarter to 0 when `rising`, else rises from 0 to a quarter
};

constexpr HueSegment kHueSegments[6] = {
    {0, 0.0238f, 0.0238f, kRed, kGreen, true, kBlue},     // red to yellow
    {43, 0.0233f, 0.0232f, kGreen, kRed, false, kBlue},   // yellow to green
    {86, 0.0237f, 0.0237f, kGreen, kBlue, true, kRed},    // green to cyan
    {128, 0.0233f, 0.0233f, kBlue, kGreen, false, kRed},  // cyan to blue
    {171, 0.0238f, 0.0238f, kBlue, kRed, true, kGreen},   // blue to magenta
    {213, 0.0233f, 0.0233f, kRed, kBlue, false, kGreen},  // magenta to red
};

const HueSegment& SegmentOf(int hue) {
    int segment = 5;
    while (hue < kHueSegments[segment].start) {
        --segment;
    }
    return kHueSegments[segment];
}

double ScaledChannel(double value, double brightness) {
    double scaled = value * brightness;
    if (!(scaled > 0.0)) {
        return 0.0;
    }
    return scaled > 255.0 ? 255.0 : scaled;
}

}  // namespace

ColorRecord MakeColor(uint8_t r, uint8_t g, uint8_t b) {
    return ColorRecord{r, g, b, 255};
}

ColorRecord MakeColorAlpha(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    return ColorRecord{r, g, b, a};
}

ColorRecord MakeDefaultColor() {
    return ColorRecord{255, 255, 255, 255};
}

int UnitToByte(double f) {
    double scaled = f * 255.0;
    if (!(scaled > 0.0)) {
        return 0;
    }
    if (scaled >= 255.0) {
        return 255;
    }
    return static_cast<int>(scaled);
}

ColorRecord HueToColor(int hue, double brightness, uint8_t alpha) {
    int wrapped = hue % 255;
    if (wrapped < 0) {
        wrapped += 255;
    }
    const HueSegment& segment = SegmentOf(wrapped);
    int p = wrapped - segment.start;
    double t = p * static_cast<double>(segment.step) * 255.0;
    double channels[3];
    channels[segment.full] = 255.0;
    if (segment.rising) {
        channels[segment.moving] = std::round((255.0 - t) * 0.25 + t);
        channels[segment.low] = std::round((255.0 - t) * 0.25);
    } else {
        double tf = p * static_cast<double>(segment.fallingStep) * 255.0;
        channels[segment.moving] = std::round(tf * 0.25 + (255.0 - tf));
        channels[segment.low] = std::round(t * 0.25);
    }
    ColorRecord color{0, 0, 0, alpha};
    color.r = static_cast<uint8_t>(ScaledChannel(channels[kRed], brightness));
    color.g = static_cast<uint8_t>(ScaledChannel(channels[kGreen], brightness));
    color.b = static_cast<uint8_t>(ScaledChannel(channels[kBlue], brightness));
    return color;
}
