// The mask screen's seams: the drawing calls, the draw-target selection and
// the device's life call into a screen-sized mask through which drawing could
// be routed. Nothing in the library makes a mask screen or a mask, so the
// screen is never active and each hook leaves everything as it is.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace tessel {

struct MaskScreenState {
    int32_t enabled;
    int32_t active;  // enabled and a mask screen made
    int32_t created;
    int32_t dataCount;  // used slots of the mask data table
};
extern MaskScreenState g_maskScreen;

int MaskScreenIsEnabled();
// -1: there is no mask buffer to draw through; no flag and no target changes.
int MaskScreenEnable(int on);
int MaskBeforeDraw(const RECT* rect);
int MaskAfterDraw(const RECT* rect);
int MaskScreenTeardown();
int MaskScreenRestore();
int EndMaskScreen();
int DeleteAllMaskData();

}  // namespace tessel
