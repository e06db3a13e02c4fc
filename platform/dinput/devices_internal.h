// The device objects of DirectInput and how the DirectInput objects make
// them. Internal to the platform layer.
#pragma once

#include <SDL.h>

#include "platform/dinput.h"
#include "platform/dinput/pads_internal.h"

namespace platform::dinput {

enum class DeviceKind { kKeyboard, kMouse, kPad };

// A new device with one reference; null when the pad is gone.
IDirectInputDevice8A* CreateSystemDevice(DeviceKind kind, bool version8);
IDirectInputDevice8A* CreatePadDevice(SDL_JoystickID id, bool version8);

// The instance guid that names an attached pad, and back.
GUID PadInstanceGuid(SDL_JoystickID id);
bool PadOfInstanceGuid(const GUID& guid, SDL_JoystickID* id);
void FillPadInstance(const pads::PadInfo& info, bool version8, DIDEVICEINSTANCEA* out);

}  // namespace platform::dinput
