// The character ring between the window procedure and the fields: bytes go
// in as they are typed (a double-byte character as two), characters come out
// whole. Also the key table that turns editing keys into control characters.
//
// The ring takes whole characters only: a lead byte goes in when its trail
// byte will fit too, or neither does. A lone lead byte left at the ring's
// end would pair with whatever is typed next.
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

int InputRingFreeBytes() {
    int stored = (g_textInput.ringWrite - g_textInput.ringRead + kInputRingBytes) % kInputRingBytes;
    return kInputRingBytes - 1 - stored;
}

int InputRingHasRoom() {
    return InputRingFreeBytes() > 0 ? 1 : 0;
}

namespace {

void Store(uint8_t byte) {
    g_textInput.ring[g_textInput.ringWrite] = byte;
    g_textInput.ringWrite = NextIndex(g_textInput.ringWrite);
}

bool StartsDoubleByteChar(uint8_t byte) {
    return !IsKeyTableChar(byte) && IsLeadByte(&byte, LibraryCharSet) != 0;
}

}  // namespace

int PushInputChar(uint8_t byte) {
    int32_t trail = g_textInput.trailState;
    g_textInput.trailState = kNoTrailDue;
    if (trail == kTrailDropped) {
        return -1;
    }
    if (trail == kTrailDue) {
        if (InputRingHasRoom() == 0) {
            return -1;
        }
        Store(byte);
        return 0;
    }
    int needed = StartsDoubleByteChar(byte) ? 2 : 1;
    if (InputRingFreeBytes() < needed) {
        g_textInput.trailState = needed == 2 ? kTrailDropped : kNoTrailDue;
        return -1;
    }
    Store(byte);
    g_textInput.trailState = needed == 2 ? kTrailDue : kNoTrailDue;
    return 0;
}

int PushInputText(const char* text, int count) {
    int at = 0;
    while (at < count) {
        int bytes = StartsDoubleByteChar(static_cast<uint8_t>(text[at])) ? 2 : 1;
        if (at + bytes > count || InputRingFreeBytes() < bytes) {
            break;
        }
        for (int i = 0; i < bytes; ++i) {
            Store(static_cast<uint8_t>(text[at + i]));
        }
        at += bytes;
    }
    return at;
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
