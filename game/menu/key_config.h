// The key configuration's state: the assignment as it was when the scene was
// built, to go back to on cancel, and which pad buttons are down this frame
// and were down the frame before, to find a button newly pressed.
#pragma once

#include <cstdint>

#include "game/input/key_assignment.h"

// Flags by pad button number (1 to 16 are used).
constexpr int kPadButtonFlags = 28;

struct KeyConfigState {
    KeyAssignment backup;
    uint8_t thisFrame[kPadButtonFlags];
    uint8_t lastFrame[kPadButtonFlags];
};
extern KeyConfigState KeyConfig;

// The entries that take a pad button, and the logical button each sets.
constexpr int kKeyConfigButtonEntries = 4;  // shot, bomb, slow, pause
constexpr int kKeyConfigSaveEntry = 4;
constexpr int kKeyConfigCancelEntry = 5;
constexpr int kKeyConfigEntries = 6;
extern const int kKeyConfigButtons[kKeyConfigButtonEntries];

// Takes the backup of the live assignment and clears the flags.
void BeginKeyConfig();
// Moves this frame's flags to the last frame's and reads the pad: the
// highest button down now, or 0 when none is.
int ReadPadButtonsForConfig(int padId);
// The highest button down now and up the frame before, or 0.
int FindNewPadButton(int padId);
