// The text-input layer's one block of state and what its sources share.
// Internal to foundation/text_input.
#pragma once

#include <cstdint>

#include "foundation/text_input/text_input.h"

namespace tessel {

struct TextInputState {
    uint8_t ring[kInputRingBytes];
    int32_t ringWrite;
    int32_t ringRead;  // empty when equal to ringWrite
    // The byte pushed next is the trail byte of a lead byte that went in
    // (kTrailDue) or that found no room for both bytes (kTrailDropped).
    int32_t trailState;
    TextInputRecord records[kTextInputSlots];
    int32_t checkCounter;
    ImeState ime;
    TextInputDisplay display;
    int32_t shiftOverride = -1;  // tests: -1 reads the keyboard, else 0 or 1
    int32_t waitingOpenStatus;   // the pump runs for an open-status change
};

enum : int32_t { kNoTrailDue = 0, kTrailDue = 1, kTrailDropped = 2 };

extern TextInputState g_textInput;

// Pushes whole characters of `text` until one does not fit; a lead byte
// that ends the text has no character and is left out. The bytes taken.
int PushInputText(const char* text, int count);
// Bytes the ring can still take.
int InputRingFreeBytes();

// The IME's reset steps, one per frame while the counter runs.
void RunImeResetStep();
// Cuts a composition that the active field could not take whole.
void FitCompositionToField(const TextInputRecord& record);
// Either Shift key down, as the keyboard input reports it.
bool ShiftHeld();
// The byte offset of the character boundary at or before `offset`, found
// from the start of the text (trail bytes can look like lead bytes).
int BoundaryAtOrBefore(const char* text, int length, int offset);
// Bytes of the character at `offset` (1 or 2; 1 for a lead byte cut off by
// the end).
int CharBytesAt(const char* text, int length, int offset);

}  // namespace tessel
