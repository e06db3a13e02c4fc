// Keys: the screen's key events become WM_KEYDOWN/WM_KEYUP (or the WM_SYS
// forms) with virtual keys, PC scan codes and the extended bit; the key state
// tables (the thread's, as of the messages it took, and the devices' own);
// TranslateMessage's characters in code page 932. Characters take one of two
// routes: where the desktop's layout spells typed text (ScreenSpellsText),
// printable characters come from text events and TranslateMessage adds only
// control characters; elsewhere TranslateMessage spells every key itself on
// the US layout.
// Not here: dead keys, the input method's composition, other layouts'
// spelling in TranslateMessage.
#include <mutex>
#include <string>

#include "platform/kernel.h"
#include "platform/window/window_internal.h"

namespace platform {
namespace {

// The keyboard as the devices report it now (the asynchronous state) and the
// keys pressed since the last GetAsyncKeyState of each.
struct AsyncState {
    std::mutex lock;
    BYTE keys[256] = {};
    bool pressedSince[256] = {};
};

AsyncState& Async() {
    static auto* state = new AsyncState();
    return *state;
}

void SetKey(BYTE* keys, BYTE key, bool down) {
    if (down) {
        if ((keys[key] & 0x80) == 0) {
            keys[key] ^= 0x01;  // the toggle flips on each press
        }
        keys[key] |= 0x80;
    } else {
        keys[key] &= static_cast<BYTE>(~0x80);
    }
}

// The generic modifiers are down while either side is.
void MergeModifiers(BYTE* keys) {
    auto merge = [keys](BYTE generic, BYTE left, BYTE right) {
        bool down = ((keys[left] | keys[right]) & 0x80) != 0;
        keys[generic] = static_cast<BYTE>((keys[generic] & 0x01) | (down ? 0x80 : 0));
    };
    merge(VK_SHIFT, VK_LSHIFT, VK_RSHIFT);
    merge(VK_CONTROL, VK_LCONTROL, VK_RCONTROL);
    merge(VK_MENU, VK_LMENU, VK_RMENU);
}

void ApplyKey(BYTE* keys, BYTE virtualKey, BYTE sided, bool down) {
    if (sided != 0) {
        SetKey(keys, sided, down);
        MergeModifiers(keys);
    } else {
        SetKey(keys, virtualKey, down);
    }
}

// Lock keys take their toggles from the lights each key event reports, which
// are right even for a program started with a light on.
void ApplyLockToggles(BYTE* keys, bool capsLock, bool numLock) {
    keys[VK_CAPITAL] = static_cast<BYTE>((keys[VK_CAPITAL] & 0x80) | (capsLock ? 1 : 0));
    keys[VK_NUMLOCK] = static_cast<BYTE>((keys[VK_NUMLOCK] & 0x80) | (numLock ? 1 : 0));
}

bool Down(const BYTE* keys, int key) {
    return (keys[key] & 0x80) != 0;
}

// The character of a key on the US layout, as TranslateMessage gives it.
int CharacterOf(BYTE key, const BYTE* keys) {
    bool shift = Down(keys, VK_SHIFT);
    bool control = Down(keys, VK_CONTROL);
    bool caps = (keys[VK_CAPITAL] & 0x01) != 0;
    bool numLock = (keys[VK_NUMLOCK] & 0x01) != 0;
    if (key >= 'A' && key <= 'Z') {
        if (control) {
            return key - 'A' + 1;
        }
        bool upper = shift != caps;
        return upper ? key : key - 'A' + 'a';
    }
    switch (key) {
        case VK_RETURN:
            return control ? 10 : 13;
        case VK_BACK:
            return control ? 0x7F : 8;
        case VK_TAB:
            return control ? -1 : 9;
        case VK_ESCAPE:
            return 27;
        case VK_SPACE:
            return ' ';
        default:
            break;
    }
    if (control) {
        switch (key) {
            case 0xDB:
                return 27;  // [
            case 0xDC:
                return 28;  // backslash
            case 0xDD:
                return 29;  // ]
            default:
                return -1;
        }
    }
    if (key >= '0' && key <= '9') {
        static const char kShifted[] = ")!@#$%^&*(";
        return shift ? kShifted[key - '0'] : key;
    }
    if (key >= VK_NUMPAD0 && key <= VK_NUMPAD0 + 9) {
        return numLock ? '0' + (key - VK_NUMPAD0) : -1;
    }
    switch (key) {
        case 0x6A:
            return '*';
        case 0x6B:
            return '+';
        case 0x6D:
            return '-';
        case 0x6E:
            return numLock ? '.' : -1;
        case 0x6F:
            return '/';
        case 0xBA:
            return shift ? ':' : ';';
        case 0xBB:
            return shift ? '+' : '=';
        case 0xBC:
            return shift ? '<' : ',';
        case 0xBD:
            return shift ? '_' : '-';
        case 0xBE:
            return shift ? '>' : '.';
        case 0xBF:
            return shift ? '?' : '/';
        case 0xC0:
            return shift ? '~' : '`';
        case 0xDB:
            return shift ? '{' : '[';
        case 0xDC:
            return shift ? '|' : '\\';
        case 0xDD:
            return shift ? '}' : ']';
        case 0xDE:
            return shift ? '"' : '\'';
        case 0xE2:
            return shift ? '|' : '\\';
        default:
            return -1;
    }
}

}  // namespace

void TranslateKeyEvent(const WindowEvent& event, HWND window) {
    if (event.virtualKey == 0) {
        return;
    }
    bool down = event.kind == WindowEventKind::KeyDown;
    bool wasDown = false;
    bool altDown = false;
    bool controlDown = false;
    {
        AsyncState& async = Async();
        std::lock_guard<std::mutex> guard(async.lock);
        ApplyLockToggles(async.keys, event.capsLock, event.numLock);
        wasDown = Down(async.keys, event.virtualKey);
        ApplyKey(async.keys, event.virtualKey, event.sidedKey, down);
        if (down) {
            async.pressedSince[event.virtualKey] = true;
        }
        altDown = Down(async.keys, VK_MENU);
        controlDown = Down(async.keys, VK_CONTROL);
    }
    if (window == nullptr) {
        return;
    }
    // Alt (without Control), F10 and Alt itself make the system forms.
    bool system = (altDown && !controlDown) || event.virtualKey == VK_F10 ||
                  (event.virtualKey == VK_MENU && !controlDown);
    UINT message = down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    DWORD lParam = 1u | (static_cast<DWORD>(event.scanCode) << 16);
    if (event.extended) {
        lParam |= 1u << 24;
    }
    if (altDown) {
        lParam |= 1u << 29;
    }
    if (!down || event.repeat || wasDown) {
        lParam |= 1u << 30;
    }
    if (!down) {
        lParam |= 1u << 31;
    }
    PostToWindow(window, message, event.virtualKey, static_cast<LPARAM>(lParam));
}

// Where the desktop's keyboard layout speaks (ScreenSpellsText), the
// printable characters are the layout's, from the screen's text events;
// TranslateMessage then adds only the control characters, which are not
// reported as text. Without it (no screen, text input off), TranslateMessage
// spells every key on the US layout.
//
// Text arrives as WM_CHAR in code page 932, a double-byte character as its
// lead byte and then its trail byte; with Alt held, as WM_SYSCHAR.
void TranslateTextEvent(const WindowEvent& event, HWND window) {
    if (window == nullptr) {
        return;
    }
    bool everything = ScreenSpellsText();
    UINT message = WM_CHAR;
    {
        AsyncState& async = Async();
        std::lock_guard<std::mutex> guard(async.lock);
        if (Down(async.keys, VK_MENU) && !Down(async.keys, VK_CONTROL)) {
            message = WM_SYSCHAR;
        }
    }
    const char* text = event.text;
    int units = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (units <= 1) {
        return;
    }
    std::u16string wide(static_cast<size_t>(units), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), units);
    for (int i = 0; i + 1 < units; ++i) {
        char16_t unit = wide[static_cast<size_t>(i)];
        if (unit < 0x80 && !everything) {
            continue;  // TranslateMessage spells it from the key
        }
        char bytes[4] = {};
        int count = WideCharToMultiByte(932, 0, &wide[static_cast<size_t>(i)], 1, bytes,
                                        sizeof bytes, nullptr, nullptr);
        for (int b = 0; b < count; ++b) {
            PostToWindow(window, message, static_cast<BYTE>(bytes[b]), 1);
        }
    }
}

void UpdateThreadKeyState(ThreadQueue& queue, const MSG& msg) {
    if (msg.message != WM_KEYDOWN && msg.message != WM_KEYUP && msg.message != WM_SYSKEYDOWN &&
        msg.message != WM_SYSKEYUP) {
        return;
    }
    bool down = msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN;
    auto key = static_cast<BYTE>(msg.wParam);
    BYTE sided = 0;
    auto scan = static_cast<BYTE>((msg.lParam >> 16) & 0xFF);
    bool extended = ((msg.lParam >> 24) & 1) != 0;
    if (key == VK_SHIFT) {
        sided = scan == 0x36 ? VK_RSHIFT : VK_LSHIFT;
    } else if (key == VK_CONTROL) {
        sided = extended ? VK_RCONTROL : VK_LCONTROL;
    } else if (key == VK_MENU) {
        sided = extended ? VK_RMENU : VK_LMENU;
    }
    std::lock_guard<std::mutex> guard(queue.lock);
    {
        AsyncState& async = Async();
        std::lock_guard<std::mutex> asyncGuard(async.lock);
        queue.keyState[VK_CAPITAL] = static_cast<BYTE>((queue.keyState[VK_CAPITAL] & 0x80) |
                                                       (async.keys[VK_CAPITAL] & 0x01));
        queue.keyState[VK_NUMLOCK] = static_cast<BYTE>((queue.keyState[VK_NUMLOCK] & 0x80) |
                                                       (async.keys[VK_NUMLOCK] & 0x01));
    }
    ApplyKey(queue.keyState, key, sided, down);
}

}  // namespace platform

using namespace platform;

BOOL TranslateMessage(const MSG* msg) {
    if (msg == nullptr || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN)) {
        return FALSE;
    }
    BYTE keys[256];
    GetKeyboardState(keys);
    int character = CharacterOf(static_cast<BYTE>(msg->wParam), keys);
    if (character < 0) {
        return FALSE;
    }
    if (character >= 0x20 && character != 0x7F && ScreenSpellsText()) {
        return FALSE;  // the layout's character follows as a text event
    }
    // The character is the next message the thread takes, ahead of what
    // was queued after the key.
    UINT message = msg->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR;
    std::shared_ptr<ThreadQueue> queue = CurrentQueue();
    MSG charMsg = *msg;
    charMsg.message = message;
    charMsg.wParam = static_cast<WPARAM>(character);
    std::lock_guard<std::mutex> guard(queue->lock);
    queue->posted.push_front(charMsg);
    return TRUE;
}

BOOL GetKeyboardState(BYTE* state) {
    if (state == nullptr) {
        return FALSE;
    }
    std::shared_ptr<ThreadQueue> queue = CurrentQueue();
    std::lock_guard<std::mutex> guard(queue->lock);
    std::copy(queue->keyState, queue->keyState + 256, state);
    return TRUE;
}

SHORT GetKeyState(int virtualKey) {
    if (virtualKey < 0 || virtualKey > 255) {
        return 0;
    }
    std::shared_ptr<ThreadQueue> queue = CurrentQueue();
    std::lock_guard<std::mutex> guard(queue->lock);
    BYTE value = queue->keyState[virtualKey];
    return static_cast<SHORT>(((value & 0x80) ? 0xFF80 : 0) | (value & 0x01));
}

SHORT GetAsyncKeyState(int virtualKey) {
    if (virtualKey < 0 || virtualKey > 255) {
        return 0;
    }
    PumpWindowEvents();
    AsyncState& async = Async();
    std::lock_guard<std::mutex> guard(async.lock);
    bool down = Down(async.keys, virtualKey);
    bool pressed = async.pressedSince[virtualKey];
    async.pressedSince[virtualKey] = false;
    return static_cast<SHORT>((down ? 0x8000 : 0) | (pressed ? 1 : 0));
}
