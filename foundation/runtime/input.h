// Keyboard, mouse and game pads. DirectInput (version 7, else 8) gives a
// keyboard, a mouse and one device per attached game controller; without
// either version the multimedia joystick calls and the window keyboard state
// stand in. Callers ask whether one key is down (by DirectInput key code)
// and for a pad's directions and buttons as a 32-bit mask, optionally merged
// with a keyboard mapping of those bits.
#pragma once

#include <cstdint>

#include "platform/dinput.h"
#include "platform/types.h"

namespace tessel {

constexpr int kMaxPads = 16;
constexpr int kPadKeyCodes = 4;
// Added to a pad number (1 is the first pad) to merge the keyboard mapping.
constexpr int kPadKeyboard = 0x1000;

// Pad mask bits.
constexpr uint32_t kPadDown = 0x1;
constexpr uint32_t kPadLeft = 0x2;
constexpr uint32_t kPadRight = 0x4;
constexpr uint32_t kPadUp = 0x8;
constexpr int kPadFirstButtonBit = 4;
constexpr int kPadButtons = 24;

enum PadEffect { kConstantEffect = 0, kSineEffect = 1, kPadEffectCount = 2 };

struct PadRecord {
    IDirectInputDevice7A* device;  // both versions' pad devices are this
    IDirectInputEffect* effects[kPadEffectCount];
    HANDLE event;
    DIJOYSTATE state;  // axes in -1000..1000, a button byte 128 while down
    int32_t hasZAndR;  // fallback mode
    int32_t vibrationPower;
    int32_t vibrationSecondPower;
    int32_t vibrationDuration;
    int32_t vibrationElapsed;
    int32_t vibrationLastTick;
    int32_t effectPlaying[kPadEffectCount];
    int32_t lastPollTime;
};

struct InputState {
    int32_t noDirectInput;  // survives every start
    // null: not started; kFallbackMarker: fallback mode; else the object.
    IUnknown* directInput;
    int32_t version8;
    IDirectInputDeviceA* keyboard;
    HANDLE keyboardEvent;
    IDirectInputDeviceA* mouse;
    uint8_t keyState[256];  // by DirectInput key code; bit 7 set while down
    int32_t keyboardReadTime;
    int32_t padCount;
    PadRecord pads[kMaxPads];
    int32_t padKeyMap[kMaxPads][32][kPadKeyCodes];  // below 0: none; 0 matches no key
    int32_t starting;
    int32_t refreshingKeyboard;
};

extern InputState g_input;
// What the DirectInput object holds in fallback mode.
IUnknown* const kFallbackMarker = reinterpret_cast<IUnknown*>(~static_cast<uintptr_t>(0));

// 0, or -1 when the keyboard's notification cannot be set up.
int StartInputSystem();
int EndInputSystem();
// 1 while the key (DirectInput code 0 to 255) is down, else 0.
int IsKeyPressed(int code);
// The pad mask of an input id: the pad number from 1, plus kPadKeyboard to
// merge that pad's keyboard mapping (kPadKeyboard alone: pad 1's mapping).
int ReadPadBits(int inputId);
// 1 when the keyboard state was read, else 0 (at most once a millisecond).
int RefreshKeyboardState();
// The same for the frame pump, which has just taken the window's messages:
// the refresh does not take more of them.
int RefreshKeyboardStateAfterMessages();
// 0, or -1 for an index outside 0..15 or when reading must stop.
int RefreshPadState(int index);
int ReacquireInputDevices();
int EnumeratePads();
int ReleasePads();
// DIENUM_CONTINUE to go on enumerating, DIENUM_STOP once 16 pads are there.
BOOL OnPadDeviceFound(const DIDEVICEINSTANCEA* instance);
int ApplyPadVibration();
int TickPadVibration();
int EndPadVibration(int inputId);

// The fallback's reading of a multimedia joystick axis (0 to 65535) on the
// scale of the pads' axes (-1000 to 1000).
int32_t FallbackAxisValue(DWORD position);

}  // namespace tessel
