// The active field's editing, once per frame: each waiting character of the
// ring is a key (clipboard, Backspace, Delete, Home, End, Left, Right, Enter,
// Escape) or a character typed at the cursor, with the field's length limit
// and its numbers-only and single-byte-only modes.
//
// Character boundaries are always found by walking from the start of the
// text: in a double-byte character set a trail byte can have a lead byte's
// value, so the byte before the cursor cannot tell where its character
// begins.
#include <cstring>

#include "foundation/base/text.h"
#include "foundation/memory/memory.h"
#include "foundation/runtime/input.h"
#include "foundation/runtime/main_window.h"
#include "foundation/text_input/text_input_internal.h"

namespace tessel {

namespace {

constexpr int kLeftShiftKey = 0x2A;  // DirectInput key codes
constexpr int kRightShiftKey = 0x36;

bool HasSelection(const TextInputRecord& record) {
    return record.selectStart != -1 && record.selectStart != record.selectEnd;
}

int SelectionLow(const TextInputRecord& record) {
    return record.selectStart < record.selectEnd ? record.selectStart : record.selectEnd;
}

int SelectionHigh(const TextInputRecord& record) {
    return record.selectStart < record.selectEnd ? record.selectEnd : record.selectStart;
}

void ClearSelection(TextInputRecord& record) {
    record.selectStart = -1;
    record.selectEnd = -1;
}

void RemoveBytes(TextInputRecord& record, int at, int count) {
    std::memmove(record.text + at, record.text + at + count,
                 static_cast<size_t>(record.length - at - count));
    record.length -= count;
    record.text[record.length] = '\0';
    if (record.cursor > at + count) {
        record.cursor -= count;
    } else if (record.cursor > at) {
        record.cursor = at;
    }
    if (record.displayStart > record.length) {
        record.displayStart = record.length;
    }
}

void CopySelection(const TextInputRecord& record) {
    if (!HasSelection(record)) {
        return;
    }
    int low = SelectionLow(record);
    int count = SelectionHigh(record) - low;
    auto* copy =
        static_cast<char*>(AllocTracked(static_cast<uint32_t>(count + 1), __FILE__, __LINE__));
    if (copy == nullptr) {
        return;
    }
    std::memcpy(copy, record.text + low, static_cast<size_t>(count));
    copy[count] = '\0';
    WriteClipboardText(copy);
    FreeTracked(copy);
}

// The cursor moves to `to`; Shift stretches the selection from its start
// (or from where the cursor was) to there, otherwise it goes.
void MoveCursor(TextInputRecord& record, int to) {
    if (ShiftHeld()) {
        if (record.selectStart == -1) {
            record.selectStart = record.cursor;
        }
        record.selectEnd = to;
    } else {
        ClearSelection(record);
    }
    record.cursor = to;
}

void Backspace(TextInputRecord& record) {
    if (HasSelection(record)) {
        DeleteSelection(&record);
        return;
    }
    if (record.cursor == 0) {
        return;
    }
    int start = BoundaryAtOrBefore(record.text, record.length, record.cursor - 1);
    RemoveBytes(record, start, record.cursor - start);
}

void DeleteKey(TextInputRecord& record) {
    if (HasSelection(record)) {
        if (ShiftHeld()) {
            CopySelection(record);
        }
        DeleteSelection(&record);
        return;
    }
    if (record.cursor < record.length) {
        RemoveBytes(record, record.cursor, CharBytesAt(record.text, record.length, record.cursor));
    }
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Whether a numbers-only field takes the character: digits, a '-' in front
// and one '.'; the selection, which the character replaces, does not count.
bool NumberFieldTakes(const TextInputRecord& record, const char* bytes, int count) {
    if (count != 1) {
        return false;
    }
    char c = bytes[0];
    if (IsDigit(c)) {
        return true;
    }
    int at = HasSelection(record) ? SelectionLow(record) : record.cursor;
    if (c == '-') {
        return at == 0;
    }
    if (c != '.') {
        return false;
    }
    for (int i = 0; i < record.length; ++i) {
        bool selected =
            HasSelection(record) && i >= SelectionLow(record) && i < SelectionHigh(record);
        if (record.text[i] == '.' && !selected) {
            return false;
        }
    }
    return true;
}

void Insert(TextInputRecord& record, const char* bytes, int count) {
    if (record.numbersOnly != 0 && !NumberFieldTakes(record, bytes, count)) {
        return;
    }
    if (record.singleByteOnly != 0 && count == 2) {
        return;
    }
    // A character longer than the whole field can never fit.
    if (count > record.maxLength) {
        return;
    }
    DeleteSelection(&record);
    while (record.length + count > record.maxLength) {
        int last = BoundaryAtOrBefore(record.text, record.length, record.length - 1);
        RemoveBytes(record, last, record.length - last);
    }
    std::memmove(record.text + record.cursor + count, record.text + record.cursor,
                 static_cast<size_t>(record.length - record.cursor));
    std::memcpy(record.text + record.cursor, bytes, static_cast<size_t>(count));
    record.length += count;
    record.cursor += count;
    record.text[record.length] = '\0';
}

// Pasted text goes straight into the field, its control bytes as
// characters: pushed back into the ring they would act as keys (a pasted
// Ctrl+V pasting again for ever, a pasted Enter ending the field). A paste
// takes what the ring could hold, whole characters.
void PasteClipboard(TextInputRecord& record) {
    int size = ReadClipboardText(nullptr, 0);
    if (size <= 0) {
        return;
    }
    auto* text =
        static_cast<char*>(AllocTrackedZeroed(static_cast<uint32_t>(size) + 1, __FILE__, __LINE__));
    if (text == nullptr) {
        return;
    }
    if (ReadClipboardText(text, size + 1) == 0) {
        int length = static_cast<int>(std::strlen(text));
        if (length > kInputRingBytes - 1) {
            length = kInputRingBytes - 1;
        }
        for (int at = 0; at < length;) {
            int count = IsLeadByte(text + at, LibraryCharSet) != 0 ? 2 : 1;
            if (at + count > length) {
                break;  // a lead byte cut off from its trail byte
            }
            Insert(record, text + at, count);
            at += count;
        }
    }
    FreeTracked(text);
}

void Edit(TextInputRecord& record, const char* bytes, int count) {
    uint8_t c = static_cast<uint8_t>(bytes[0]);
    if (count == 2) {
        Insert(record, bytes, count);
        return;
    }
    switch (c) {
        case kCharCopy:
            CopySelection(record);
            break;
        case kCharBackspace:
            Backspace(record);
            break;
        case kCharDelete:
            DeleteKey(record);
            break;
        case kCharPaste:
            PasteClipboard(record);
            break;
        case kCharCut:
            CopySelection(record);
            DeleteSelection(&record);
            break;
        case kCharEnd:
            MoveCursor(record, record.length);
            break;
        case kCharHome:
            MoveCursor(record, 0);
            break;
        case kCharRight:
            if (record.cursor < record.length) {
                MoveCursor(record,
                           record.cursor + CharBytesAt(record.text, record.length, record.cursor));
            } else {
                MoveCursor(record, record.cursor);
            }
            break;
        case kCharLeft:
            if (record.cursor > 0) {
                MoveCursor(record,
                           BoundaryAtOrBefore(record.text, record.length, record.cursor - 1));
            } else {
                MoveCursor(record, record.cursor);
            }
            break;
        case kCharEnter:
            record.ended = 1;
            break;
        case kCharEscape:
            if (record.escapeAllowed != 0) {
                record.ended = 1;
                record.cancelled = 1;
            }
            break;
        case kCharTab:
        case kCharUp:
        case kCharDown:
            break;
        default:
            Insert(record, bytes, count);
            break;
    }
}

}  // namespace

bool ShiftHeld() {
    if (g_textInput.shiftOverride >= 0) {
        return g_textInput.shiftOverride != 0;
    }
    return IsKeyPressed(kLeftShiftKey) != 0 || IsKeyPressed(kRightShiftKey) != 0;
}

int BoundaryAtOrBefore(const char* text, int length, int offset) {
    int at = 0;
    for (;;) {
        int next = at + CharBytesAt(text, length, at);
        if (next > offset) {
            return at;
        }
        at = next;
    }
}

int CharBytesAt(const char* text, int length, int offset) {
    if (offset + 1 < length && IsLeadByte(text + offset, LibraryCharSet) != 0) {
        return 2;
    }
    return 1;
}

int CountChars(const char* text, int bytes) {
    int count = 0;
    for (int at = 0; at < bytes && text[at] != '\0'; ++count) {
        at += IsLeadByte(text + at, LibraryCharSet) != 0 && text[at + 1] != '\0' ? 2 : 1;
    }
    return count;
}

int DeleteSelection(TextInputRecord* record) {
    if (record->selectStart == -1) {
        return 0;
    }
    int low = SelectionLow(*record);
    int high = SelectionHigh(*record);
    if (high > low) {
        RemoveBytes(*record, low, high - low);
    }
    ClearSelection(*record);
    record->cursor = low;
    return 0;
}

int UpdateTextInput() {
    RunImeResetStep();
    int handle = g_textInput.display.activeHandle;
    if (handle == -1) {
        return 0;
    }
    TextInputRecord* record = FindTextInput(handle);
    if (record == nullptr) {
        return -1;
    }
    if (record->ended != 0) {
        return 0;
    }
    FitCompositionToField(*record);
    char bytes[2];
    while (record->ended == 0) {
        int count = TakeInputChar(bytes, 1);
        if (count == 0) {
            break;
        }
        ResetCaretBlink();
        Edit(*record, bytes, count);
    }
    return 0;
}

}  // namespace tessel
