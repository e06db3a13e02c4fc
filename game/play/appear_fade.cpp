// The fade constants are single-precision values widened to double, as the
// game's look was tuned with them.
#include "game/play/appear_fade.h"

namespace {

constexpr double kBulkShare = 0.95f;
constexpr double kRestShare = 0.05f;
constexpr double kBulkShrink = 0.82f;
constexpr double kQuickAlphaGain = 0.1;
constexpr int32_t kQuickFrames = 10;

}  // namespace

void ColourPair::Set(ColorRecord value) {
    colour = value;
    swapped = {value.b, value.g, value.r, value.a};
}

void ColourPair::SetAlpha(uint8_t alpha) {
    colour.a = alpha;
    swapped.a = alpha;
}

uint32_t PackColourWord(ColorRecord colour) {
    return static_cast<uint32_t>(colour.r) | static_cast<uint32_t>(colour.g) << 8 |
           static_cast<uint32_t>(colour.b) << 16 | static_cast<uint32_t>(colour.a) << 24;
}

void StartAppearFade(AppearFade* fade, int32_t frames, double from, double to, double alphaSpan,
                     bool halveAlphaStep) {
    fade->appearFrames = frames;
    fade->fadeScale = from;
    fade->fadeTarget = to;
    if (frames == 0) {
        fade->fadeA = 0.0;
        fade->fadeB = 0.0;
        fade->fadeBStep = 0.0;
        fade->fadeAlphaStep = 0.0;
        fade->fadeAlpha = 0.0;
        return;
    }
    fade->fadeA = (from - to) * kBulkShare;
    fade->fadeB = (from - to) * kRestShare;
    fade->fadeBStep = fade->fadeB / frames;
    fade->fadeAlphaStep = alphaSpan / frames;
    if (halveAlphaStep) {
        fade->fadeAlphaStep /= 2.0;
    }
    fade->fadeAlpha = fade->fadeAlphaStep;
}

bool StepAppearFade(AppearFade* fade, Motion* motion, ColourPair* colour, bool quickStart) {
    fade->appearFrames -= 1;
    bool quick = quickStart && fade->appearFrames >= kQuickFrames;
    fade->fadeAlpha += quick ? kQuickAlphaGain : fade->fadeAlphaStep;
    colour->SetAlpha(static_cast<uint8_t>(UnitToByte(fade->fadeAlpha)));
    fade->fadeA *= kBulkShrink;
    fade->fadeB -= fade->fadeBStep;
    motion->AdvanceScaled(fade->appearSpeed);
    if (fade->appearFrames >= 1) {
        return false;
    }
    colour->SetAlpha(255);
    return true;
}
