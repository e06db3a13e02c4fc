// The game's buttons as one 16-bit word a frame, with hold counters. The live
// state is read from the keyboard and pad every frame and serves menus, the
// pause menu and the replay fast-forward; the game's own state is fed once a
// play frame from a copy of the live buttons or from a recorded mask, and
// everything that steers play reads only it.
#pragma once

#include <cstdint>

#include "game/input/key_assignment.h"

constexpr int kKeyboardBufferBytes = 256;

struct InputState {
    uint32_t holdFrames[kButtonCount];  // frames down without a break; 0 while up
    uint32_t padId;                     // the pad read; 1 for the live state
    uint16_t previousButtons;           // bit b: button b
    uint16_t currentButtons;
    KeyAssignment assignment;
    uint8_t keyboard[kKeyboardBufferBytes];  // cleared at construction; nothing reads it
};

// Everything 0; the assignment too (set it apart).
void ConstructInputState(InputState* state);

// Where the live state reads the devices: the library's keyboard and pads, or
// a stand-in. isKeyDown is asked only for scan codes 1 to 255; readPadBits
// gives the pad alone, without its keyboard mapping.
struct InputDevices {
    int (*isKeyDown)(int scanCode);
    int (*readPadBits)(int padId);
};
InputDevices LibraryInputDevices();

// The live update: a button is down while its key is down or its pad code's
// bit is set, counted once when both are.
void UpdateInput(InputState* state);
void UpdateInputFrom(InputState* state, const InputDevices& devices);

// The game's update from the live state's current buttons, or from a
// recorded mask; the same mask gives the same state either way.
void ApplyLiveInput(InputState* game, const InputState& live);
void ApplyButtonMask(InputState* game, uint16_t mask);

// Pressed: down this frame and up the frame before. Held: down this frame.
bool IsButtonPressed(const InputState& state, int button);
bool IsButtonHeld(const InputState& state, int button);

inline bool IsUpPressed(const InputState& s) {
    return IsButtonPressed(s, kButtonUp);
}
inline bool IsRightPressed(const InputState& s) {
    return IsButtonPressed(s, kButtonRight);
}
inline bool IsDownPressed(const InputState& s) {
    return IsButtonPressed(s, kButtonDown);
}
inline bool IsLeftPressed(const InputState& s) {
    return IsButtonPressed(s, kButtonLeft);
}
inline bool IsShotPressed(const InputState& s) {
    return IsButtonPressed(s, kButtonShot);
}
inline bool IsBombPressed(const InputState& s) {
    return IsButtonPressed(s, kButtonBomb);
}
inline bool IsPausePressed(const InputState& s) {
    return IsButtonPressed(s, kButtonPause);
}

inline bool IsUpHeld(const InputState& s) {
    return IsButtonHeld(s, kButtonUp);
}
inline bool IsRightHeld(const InputState& s) {
    return IsButtonHeld(s, kButtonRight);
}
inline bool IsDownHeld(const InputState& s) {
    return IsButtonHeld(s, kButtonDown);
}
inline bool IsLeftHeld(const InputState& s) {
    return IsButtonHeld(s, kButtonLeft);
}
inline bool IsShotHeld(const InputState& s) {
    return IsButtonHeld(s, kButtonShot);
}
inline bool IsBombHeld(const InputState& s) {
    return IsButtonHeld(s, kButtonBomb);
}
inline bool IsSlowHeld(const InputState& s) {
    return IsButtonHeld(s, kButtonSlow);
}
