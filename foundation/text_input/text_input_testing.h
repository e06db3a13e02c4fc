// Test hooks of text input: the library makes no fields itself (a program
// that draws fields makes them), so tests make them here.
#pragma once

#include "foundation/text_input/text_input.h"

namespace tessel {

struct TextFieldOptions {
    int maxLength = 64;
    int escapeAllowed = 0;
    int singleByteOnly = 0;
    int numbersOnly = 0;
};

// A field holding `text` (cut to the maximum length) with the cursor behind
// it; its handle, or -1 when every slot is taken.
int CreateTextInputForTesting(const TextFieldOptions& options, const char* text = "");
// Makes a field (or -1: none) the one that takes the typed characters.
void SetActiveTextInputForTesting(int handle);
// -1 reads the Shift keys, 0 and 1 hold them released or down.
void SetShiftHeldForTesting(int held);
// An optional limit (bytes; 0 none) on the composition's length.
void SetCompositionLimitForTesting(int bytes);

}  // namespace tessel
