// The system keyboard and mouse of DirectInput: their state follows the
// events that the window service takes, seen through its event observer.
// Internal to the platform layer.
#pragma once

#include "platform/dinput.h"

namespace platform::dinput {

// Starts watching the screen's events (once) and takes the events waiting now.
void StartWatching();

// 256 bytes by key code, 0x80 for a key that is down.
void CopyKeyboardState(BYTE* out);
// The movement since the last take and the buttons now.
void TakeMouseState(DIMOUSESTATE* out);
// Forgets the movement so far (a fresh acquire starts from here).
void ResetMouseMovement();

// Events signalled on every change of the keyboard or of the mouse.
void AddNotification(bool keyboard, HANDLE event);
void RemoveNotification(bool keyboard, HANDLE event);

}  // namespace platform::dinput
