// Beams: an image stretched onto the quad `width` wide and `length` long
// along a game angle (degrees), from a base point or centred on it.
#pragma once

#include <cstdint>

void DrawBeamFromBase(int32_t image, double x, double y, double length, double width, double angle);
void DrawBeamCentred(int32_t image, double x, double y, double length, double width, double angle);
