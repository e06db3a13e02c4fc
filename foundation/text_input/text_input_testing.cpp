// Test hooks of text input: fields made and chosen without a drawer.
#include "foundation/text_input/text_input_testing.h"

#include <cstring>

#include "foundation/memory/memory.h"
#include "foundation/text_input/text_input_internal.h"

namespace tessel {

int CreateTextInputForTesting(const TextFieldOptions& options, const char* text) {
    for (int slot = 0; slot < kTextInputSlots; ++slot) {
        TextInputRecord& record = g_textInput.records[slot];
        if (record.inUse != 0) {
            continue;
        }
        int maxLength = options.maxLength > 0 ? options.maxLength : 0;
        auto* buffer = static_cast<char*>(
            AllocTrackedZeroed(static_cast<uint32_t>(maxLength) + 1, __FILE__, __LINE__));
        if (buffer == nullptr) {
            return -1;
        }
        int length = static_cast<int>(std::strlen(text));
        length = length < maxLength ? length : maxLength;
        std::memcpy(buffer, text, static_cast<size_t>(length));
        g_textInput.checkCounter = (g_textInput.checkCounter + 1) & 0x7FF;
        record = TextInputRecord{};
        record.inUse = 1;
        record.check = g_textInput.checkCounter;
        record.length = length;
        record.maxLength = maxLength;
        record.selectStart = -1;
        record.selectEnd = -1;
        record.cursor = length;
        record.text = buffer;
        record.escapeAllowed = options.escapeAllowed;
        record.singleByteOnly = options.singleByteOnly;
        record.numbersOnly = options.numbersOnly;
        return kTextInputHandleKind | (record.check << 16) | slot;
    }
    return -1;
}

void SetActiveTextInputForTesting(int handle) {
    g_textInput.display.activeHandle = handle;
}

void SetShiftHeldForTesting(int held) {
    g_textInput.shiftOverride = held;
}

void SetCompositionLimitForTesting(int bytes) {
    g_textInput.ime.compositionLimit = bytes;
}

}  // namespace tessel
