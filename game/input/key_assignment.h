// Which key and which pad code press each of the game's sixteen logical
// buttons, and how a pad code names bits of the library's pad state.
#pragma once

#include <cstdint>

constexpr int kButtonCount = 16;

// Logical buttons by bit number; 7 to 9 and 11 to 15 mean nothing to the game.
enum GameButton {
    kButtonUp = 0,
    kButtonRight = 1,
    kButtonDown = 2,
    kButtonLeft = 3,
    kButtonShot = 4,  // also decide in menus
    kButtonBomb = 5,  // also cancel in menus; held, it fast-forwards a replay
    kButtonSlow = 6,
    kButtonPause = 10,
};

// Buttons 0 to 3 take a pad direction, the others a pad button.
enum PadDirection : uint16_t {
    kPadCodeUp = 1,
    kPadCodeRight = 2,
    kPadCodeDown = 3,
    kPadCodeLeft = 4,
};
constexpr int kPadButtonCodes = 16;  // pad buttons 1 to 16
constexpr int kHighestScanCode = 255;

struct KeyBinding {
    uint16_t padCode;  // 0: no pad input
    uint16_t keyCode;  // keyboard scan code; 0: no key
};

struct KeyAssignment {
    KeyBinding buttons[kButtonCount];  // button 0 first
};

// Arrows, Z shot, X bomb, left shift slow, escape pause; pad directions and
// pad buttons 1 to 4 for the same; the other buttons unassigned.
void SetDefaultKeyAssignment(KeyAssignment* assignment);

// The pad state bits a code stands for: directions 1 to 4, pad buttons 1 to
// 16; any other code stands for none.
uint32_t PadDirectionMask(uint16_t code);
uint32_t PadButtonMask(uint16_t code);
// The mask of a logical button's pad code, by the kind of code the button takes.
uint32_t PadMaskOfButton(int button, uint16_t code);

// True when every pad code is 0 or one of its button's kind, and every key
// code a scan code (0 to 255): what the game itself can ever store.
bool KeyAssignmentInRange(const KeyAssignment& assignment);
