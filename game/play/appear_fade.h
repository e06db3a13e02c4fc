// What bullets and enemies share beyond their motion: the three life states,
// the colour they are drawn in, and the fade-in of an appearing record, which
// shrinks it from a start scale towards its own while its alpha rises and it
// moves at a fraction of its speed.
#pragma once

#include <cstdint>

#include "game/math/color.h"
#include "game/play/motion.h"

enum LifeState : int32_t {
    kStateAppearing = 1,
    kStateNormal = 2,
    kStateVanishing = 3,
};

// A colour and its copy with red and blue exchanged, the order of the packed
// draw colour; both change together.
struct ColourPair {
    ColorRecord colour;
    ColorRecord swapped;

    void Set(ColorRecord value);
    void SetAlpha(uint8_t alpha);
};

// The record's bytes as one word, red in the low byte, alpha in the top one.
uint32_t PackColourWord(ColorRecord colour);

struct AppearFade {
    int32_t appearFrames;  // frames of fading in left
    double appearSpeed;    // the velocity's factor while appearing
    double fadeScale;      // the start scale
    double fadeTarget;     // the scale it shrinks towards
    double fadeA;          // the bulk of the excess scale, shrinking by a factor a frame
    double fadeB;          // the rest, shrinking by a step a frame
    double fadeBStep;
    double fadeAlphaStep;
    double fadeAlpha;
};

// Sets the fade of `frames` frames from scale `from` towards `to`, the alpha
// rising by `alphaSpan` / frames a frame (half that when `halveAlphaStep`).
// With frames 0 the five moving values are 0.
void StartAppearFade(AppearFade* fade, int32_t frames, double from, double to, double alphaSpan,
                     bool halveAlphaStep);

// One frame of appearing: the alpha rises (by 0.1 while ten or more frames
// remain when `quickStart`, else by its step) and goes into the colour's
// alpha byte, the scale shrinks and the record moves by its scaled velocity.
// True when the fade is over; the colour is then opaque.
bool StepAppearFade(AppearFade* fade, Motion* motion, ColourPair* colour, bool quickStart);
