// Test hooks of DirectInput (not part of DirectInput).
#pragma once

#include "platform/dinput.h"

namespace platform {

// Makes a DirectInput version unavailable (its object is not created), as on
// a machine without it; both off sends the library to its fallback.
void SetDirectInputAvailable(bool version7, bool version8);

}  // namespace platform
