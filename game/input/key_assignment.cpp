// The default key assignment and the pad codes' bits.
#include "game/input/key_assignment.h"

#include "foundation/runtime/input.h"

void SetDefaultKeyAssignment(KeyAssignment* assignment) {
    *assignment = KeyAssignment{};
    KeyBinding* buttons = assignment->buttons;
    buttons[kButtonUp] = {kPadCodeUp, 200};        // up arrow
    buttons[kButtonRight] = {kPadCodeRight, 205};  // right arrow
    buttons[kButtonDown] = {kPadCodeDown, 208};    // down arrow
    buttons[kButtonLeft] = {kPadCodeLeft, 203};    // left arrow
    buttons[kButtonShot] = {1, 44};                // Z
    buttons[kButtonBomb] = {2, 45};                // X
    buttons[kButtonSlow] = {3, 42};                // left shift
    buttons[kButtonPause] = {4, 1};                // escape
}

uint32_t PadDirectionMask(uint16_t code) {
    switch (code) {
        case kPadCodeUp:
            return tessel::kPadUp;
        case kPadCodeRight:
            return tessel::kPadRight;
        case kPadCodeDown:
            return tessel::kPadDown;
        case kPadCodeLeft:
            return tessel::kPadLeft;
        default:
            return 0;
    }
}

uint32_t PadButtonMask(uint16_t code) {
    if (code < 1 || code > kPadButtonCodes) {
        return 0;
    }
    return 1u << (tessel::kPadFirstButtonBit + code - 1);
}

uint32_t PadMaskOfButton(int button, uint16_t code) {
    return button <= kButtonLeft ? PadDirectionMask(code) : PadButtonMask(code);
}

bool KeyAssignmentInRange(const KeyAssignment& assignment) {
    for (int b = 0; b < kButtonCount; ++b) {
        const KeyBinding& binding = assignment.buttons[b];
        bool padKnown = binding.padCode == 0 || PadMaskOfButton(b, binding.padCode) != 0;
        if (!padKnown || binding.keyCode > kHighestScanCode) {
            return false;
        }
    }
    return true;
}
