// The character ring between the window procedure and the fields: bytes go
// in as they are typed (a double-byte character as two), characters come out
// whole. Also the key table that turns editing keys into control characters.
#include "foundation/base/text.h"
#include "foundation/text_input/text_input_internal.h"

namespace tessel {

namespace {

struct KeyTableEntry {
    int virtualKey;
    uint8_t character;
};

constexpr KeyTableEntry kKeyTable[] = {
    {0x2E, kCharDelete},   {0x25, kCharLeft},
    {0x27, kCharRight},    {0x26, kCharUp},
    {0x28, kCharDown},     {0x24, kCharHome},
    {0x23, kCharEnd},      {0x21, kCharPriorPage},
    {0x22, kCharNextPage}, {0, 0},
};

int NextIndex(int index) {
    return (index + 1) % kInputRingBytes;
}

bool IsKeyTableChar(uint8_t byte) {
    for (const KeyTableEntry& entry : kKeyTable) {
        if (entry.virtualKey != 0 && entry.character == byte) {
            return true;
        }
    }
    return false;
}

}  // namespace

uint8_t KeyTableChar(int virtualKey) {
    for (const KeyTableEntry& entry : kKeyTable) {
        if (entry.virtualKey == 0) {
            break;
        }
        if (entry.virtualKey == virtualKey) {
            return entry.character;
        }
    }
    return 0;
}

int InputRingHasRoom() {
    return NextIndex(g_textInput.ringWrite) != g_textInput.ringRead ? 1 : 0;
}

int PushInputChar(uint8_t byte) {
    if (InputRingHasRoom() == 0) {
        return -1;
    }
    g_textInput.ring[g_textInput.ringWrite] = byte;
    g_textInput.ringWrite = NextIndex(g_textInput.ringWrite);
    return 0;
}

int TakeInputChar(char out[2], int remove) {
    int read = g_textInput.ringRead;
    if (read == g_textInput.ringWrite) {
        return 0;
    }
    uint8_t first = g_textInput.ring[read];
    read = NextIndex(read);
    out[0] = static_cast<char>(first);
    int count = 1;
    if (!IsKeyTableChar(first) && IsLeadByte(&first, LibraryCharSet) != 0) {
        if (read == g_textInput.ringWrite) {
            return 0;  // its second byte has not arrived yet
        }
        out[1] = static_cast<char>(g_textInput.ring[read]);
        read = NextIndex(read);
        count = 2;
    }
    if (remove != 0) {
        g_textInput.ringRead = read;
    }
    return count;
}

}  // namespace tessel
