// Reading the devices into the game's buttons, and stepping a state by one
// frame's button word.
#include "game/input/input_state.h"

#include "foundation/runtime/input.h"

namespace {

// One frame: the word becomes current, and each button's counter runs on
// while it stays down and falls to 0 when it is up.
void StepButtons(InputState* state, uint16_t buttons) {
    state->previousButtons = state->currentButtons;
    state->currentButtons = buttons;
    for (int b = 0; b < kButtonCount; ++b) {
        bool down = (buttons >> b) & 1;
        state->holdFrames[b] = down ? state->holdFrames[b] + 1 : 0;
    }
}

// Code 0 means no key, and an assign.dat may hold any 16-bit value.
bool KeyDown(const InputDevices& devices, uint16_t scanCode) {
    return scanCode >= 1 && scanCode <= kHighestScanCode && devices.isKeyDown(scanCode) != 0;
}

int LibraryKeyDown(int scanCode) {
    return tessel::IsKeyPressed(scanCode);
}

int LibraryPadBits(int padId) {
    return tessel::ReadPadBits(padId);
}

}  // namespace

void ConstructInputState(InputState* state) {
    *state = InputState{};
}

InputDevices LibraryInputDevices() {
    return {LibraryKeyDown, LibraryPadBits};
}

void UpdateInput(InputState* state) {
    UpdateInputFrom(state, LibraryInputDevices());
}

void UpdateInputFrom(InputState* state, const InputDevices& devices) {
    uint32_t pad = static_cast<uint32_t>(devices.readPadBits(static_cast<int>(state->padId)));
    uint16_t buttons = 0;
    for (int b = 0; b < kButtonCount; ++b) {
        const KeyBinding& binding = state->assignment.buttons[b];
        bool padDown = (pad & PadMaskOfButton(b, binding.padCode)) != 0;
        if (padDown || KeyDown(devices, binding.keyCode)) {
            buttons |= static_cast<uint16_t>(1u << b);
        }
    }
    StepButtons(state, buttons);
}

void ApplyLiveInput(InputState* game, const InputState& live) {
    StepButtons(game, live.currentButtons);
}

void ApplyButtonMask(InputState* game, uint16_t mask) {
    StepButtons(game, mask);
}

bool IsButtonPressed(const InputState& state, int button) {
    uint16_t bit = static_cast<uint16_t>(1u << button);
    return (state.currentButtons & bit) != 0 && (state.previousButtons & bit) == 0;
}

bool IsButtonHeld(const InputState& state, int button) {
    return (state.currentButtons >> button) & 1;
}
