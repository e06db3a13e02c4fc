// What the SDL backend's own files share, and what tests that drive it
// through SDL's events need: the only header besides them that names SDL.
#pragma once

#include <SDL.h>

#include <cstdint>

#include "platform/window/window_internal.h"

namespace platform {

// The Windows codes of the key at an SDL scan code; zeros for a key without them.
void FillKeyCodes(SDL_Scancode code, WindowEvent* event);
BYTE DirectInputKeyOf(SDL_Scancode code);

// The SDL window behind a record, and its id in SDL's events (null and 0 for
// a record without one). Callers hold WindowLock().
SDL_Window* SdlWindowOf(const WindowRecord* window);
uint32_t SdlWindowIdOf(const WindowRecord* window);
// The record of an SDL window id; null for none. Callers hold WindowLock().
WindowRecord* WindowOfSdlId(uint32_t id);

}  // namespace platform
