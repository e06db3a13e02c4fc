// Presentation into the window framebuffer that the window layer keeps for
// each window (X8R8G8B8, also written by the GDI blits).
#pragma once

#include <cstdint>

#include "platform/d3d9/objects.h"
#include "platform/types.h"

namespace platform::d3d9 {

// Point-stretches the rectangle `from` of a surface onto the rectangle `to`
// of an X8R8G8B8 pixel array; the part of `to` outside the array is cut off.
void StretchToFramebuffer(const Surface& source, const RECT& from, const RECT& to, uint32_t* pixels,
                          int width, int height, int pitch);

// Presents onto the window's client area; a null `to` is the whole client
// area. False when the window has no framebuffer.
bool PresentToWindow(HWND window, const Surface& source, const RECT& from, const RECT* to);

// The client size of a window (0, 0 for a bad window).
void WindowClientSize(HWND window, int* width, int* height);

}  // namespace platform::d3d9
