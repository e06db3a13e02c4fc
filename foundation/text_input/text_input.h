// Typed text: the character ring that the window procedure fills, the
// one-line text fields (text-input handles) that take the ring's characters
// once per frame, and the input method's state (the composition being typed,
// its cursor and clauses, the candidate list, the open status).
//
// Text is in the library's double-byte character set; a double-byte
// character takes two bytes everywhere (in the ring, in the fields, in the
// composition). Making fields, choosing the active one and drawing them are
// left to the caller; it reads the records, the input-method state and the
// display settings below.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace tessel {

constexpr int kInputRingBytes = 1025;  // 1024 characters wait at most
constexpr int32_t kTextInputHandleKind = 0x38000000;
constexpr int kTextInputSlots = 256;
constexpr int kCompositionBytes = 1024;
constexpr int kClauseBytes = 1024;
constexpr int kTextInputColors = 15;
constexpr int kCaretBlinkMilliseconds = 500;

// The control characters that the editing keys become (key table) and the
// other control characters a field acts on.
enum : uint8_t {
    kCharCopy = 0x03,       // Ctrl+C
    kCharBackspace = 0x08,  // Backspace
    kCharTab = 0x09,
    kCharEnter = 0x0D,
    kCharDelete = 0x10,     // Delete key
    kCharNextPage = 0x15,   // Page Down
    kCharPaste = 0x16,      // Ctrl+V
    kCharPriorPage = 0x17,  // Page Up
    kCharCut = 0x18,        // Ctrl+X
    kCharEnd = 0x19,
    kCharHome = 0x1A,
    kCharEscape = 0x1B,
    kCharRight = 0x1C,
    kCharLeft = 0x1D,
    kCharUp = 0x1E,
    kCharDown = 0x1F,
};

// One text field. Offsets are in bytes and always lie on character
// boundaries; the text is NUL-terminated in a buffer of maxLength + 1 bytes.
struct TextInputRecord {
    int32_t inUse;
    int32_t check;
    int32_t ended;      // Enter or Escape ended the field
    int32_t cancelled;  // it was Escape
    int32_t length;
    int32_t maxLength;
    int32_t selectStart;  // -1: no selection; start may lie behind end
    int32_t selectEnd;
    int32_t displayStart;  // the first byte shown
    int32_t cursor;
    char* text;  // tracked memory
    int32_t escapeAllowed;
    int32_t singleByteOnly;
    int32_t numbersOnly;
};

struct ImeState {
    char composition[kCompositionBytes];
    char savedComposition[kCompositionBytes];  // kept across a reset of the IME
    int32_t compositionCursor;                 // in characters
    int32_t composing;
    uint32_t clauses[kClauseBytes / 4];  // byte offsets of the composition's clauses
    int32_t clauseCount;
    void* candidateList;  // tracked memory, the platform's CANDIDATELIST layout
    int32_t candidateListSize;
    int32_t open;  // the IME's open status
    int32_t enabled;
    int32_t used;              // an IME message has arrived
    int32_t compositionLimit;  // bytes; 0: none
    int32_t resetStep;         // 0 idle, 1 to 4
};

// What a drawer of the fields reads.
struct TextInputDisplay {
    uint32_t colors[kTextInputColors];  // screen pixel values
    int32_t caretBlinkPeriod;           // milliseconds
    int32_t caretBlinkStart;            // millisecond clock
    int32_t caretShown;
    int32_t activeHandle = -1;  // -1: none
};

// 0, or -1 when the ring is full (the byte is dropped).
int PushInputChar(uint8_t byte);
// 0 when no complete character waits (a lead byte whose second byte has not
// arrived yet stays in the ring); else the character's byte count, 1 or 2,
// and its bytes in out. Without `remove` the character stays in the ring.
int TakeInputChar(char out[2], int remove);
// 1 while the ring can take another byte.
int InputRingHasRoom();
// The control character of an editing key (virtual key); 0 for other keys.
uint8_t KeyTableChar(int virtualKey);

// Once per frame: the IME's reset steps, then the active field takes the
// waiting characters. 0, or -1 when the active handle is not a valid one.
int UpdateTextInput();
int DeleteTextInput(int handle);  // 0, or -1 for a bad handle
int DeleteAllTextInputs();
// Lets the main window use the input method (on) or not.
int EnableImeInput(int on);
int IsImeInputEnabled();
// Clears the ring, the fields and the IME's state and sets the display
// settings; called by start-up. 0.
int StartTextInput();
// The window procedure's handling of the input method's messages; returns
// what the window procedure returns.
LRESULT OnImeMessage(UINT message, WPARAM wParam, LPARAM lParam, HWND window);
// Becoming active again re-opens an IME that the fields used, so that its
// state matches the desktop's.
void RequestImeReopen();
// Characters in the first `bytes` bytes of text, stopping at a NUL.
int CountChars(const char* text, int bytes);
// Shows the caret and restarts its blink now. 0.
int ResetCaretBlink();
// Removes the selected bytes, clears the selection and puts the cursor at
// the selection's start. 0.
int DeleteSelection(TextInputRecord* record);

// The record of a live handle, or null.
TextInputRecord* FindTextInput(int handle);
const ImeState& CurrentImeState();
const TextInputDisplay& CurrentTextInputDisplay();

}  // namespace tessel
