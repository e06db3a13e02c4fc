// Keys: SDL's key events become WM_KEYDOWN/WM_KEYUP (or the WM_SYS forms)
// with virtual keys, PC scan codes and the extended bit; the key state tables;
// TranslateMessage's characters in code page 932.
#include <SDL.h>

#include <mutex>
#include <string>

#include "platform/kernel.h"
#include "platform/window/window_internal.h"

namespace platform {
namespace {

struct KeyInfo {
    BYTE virtualKey;
    BYTE scanCode;
    bool extended;
};

// SDL scan code -> virtual key, set-1 scan code, extended flag.
KeyInfo LookUpKey(SDL_Scancode code) {
    static const BYTE kLetterScans[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17,
                                          0x24, 0x25, 0x26, 0x32, 0x31, 0x18, 0x19, 0x10, 0x13,
                                          0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};
    if (code >= SDL_SCANCODE_A && code <= SDL_SCANCODE_Z) {
        int i = code - SDL_SCANCODE_A;
        return {static_cast<BYTE>('A' + i), kLetterScans[i], false};
    }
    if (code >= SDL_SCANCODE_1 && code <= SDL_SCANCODE_0) {
        int i = code - SDL_SCANCODE_1;  // 1..9 then 0
        return {static_cast<BYTE>(i == 9 ? '0' : '1' + i), static_cast<BYTE>(0x02 + i), false};
    }
    if (code >= SDL_SCANCODE_F1 && code <= SDL_SCANCODE_F10) {
        int i = code - SDL_SCANCODE_F1;
        return {static_cast<BYTE>(VK_F1 + i), static_cast<BYTE>(0x3B + i), false};
    }
    if (code >= SDL_SCANCODE_KP_1 && code <= SDL_SCANCODE_KP_9) {
        static const BYTE kPadScans[9] = {0x4F, 0x50, 0x51, 0x4B, 0x4C, 0x4D, 0x47, 0x48, 0x49};
        int i = code - SDL_SCANCODE_KP_1;
        return {static_cast<BYTE>(VK_NUMPAD0 + 1 + i), kPadScans[i], false};
    }
    switch (code) {
        case SDL_SCANCODE_RETURN:
            return {VK_RETURN, 0x1C, false};
        case SDL_SCANCODE_ESCAPE:
            return {VK_ESCAPE, 0x01, false};
        case SDL_SCANCODE_BACKSPACE:
            return {VK_BACK, 0x0E, false};
        case SDL_SCANCODE_TAB:
            return {VK_TAB, 0x0F, false};
        case SDL_SCANCODE_SPACE:
            return {VK_SPACE, 0x39, false};
        case SDL_SCANCODE_MINUS:
            return {0xBD, 0x0C, false};
        case SDL_SCANCODE_EQUALS:
            return {0xBB, 0x0D, false};
        case SDL_SCANCODE_LEFTBRACKET:
            return {0xDB, 0x1A, false};
        case SDL_SCANCODE_RIGHTBRACKET:
            return {0xDD, 0x1B, false};
        case SDL_SCANCODE_BACKSLASH:
            return {0xDC, 0x2B, false};
        case SDL_SCANCODE_NONUSHASH:
            return {0xDC, 0x2B, false};
        case SDL_SCANCODE_SEMICOLON:
            return {0xBA, 0x27, false};
        case SDL_SCANCODE_APOSTROPHE:
            return {0xDE, 0x28, false};
        case SDL_SCANCODE_GRAVE:
            return {0xC0, 0x29, false};
        case SDL_SCANCODE_COMMA:
            return {0xBC, 0x33, false};
        case SDL_SCANCODE_PERIOD:
            return {0xBE, 0x34, false};
        case SDL_SCANCODE_SLASH:
            return {0xBF, 0x35, false};
        case SDL_SCANCODE_CAPSLOCK:
            return {VK_CAPITAL, 0x3A, false};
        case SDL_SCANCODE_F11:
            return {0x7A, 0x57, false};
        case SDL_SCANCODE_F12:
            return {0x7B, 0x58, false};
        case SDL_SCANCODE_PRINTSCREEN:
            return {0x2C, 0x37, true};
        case SDL_SCANCODE_SCROLLLOCK:
            return {0x91, 0x46, false};
        case SDL_SCANCODE_PAUSE:
            return {VK_PAUSE, 0x45, false};
        case SDL_SCANCODE_INSERT:
            return {VK_INSERT, 0x52, true};
        case SDL_SCANCODE_HOME:
            return {VK_HOME, 0x47, true};
        case SDL_SCANCODE_PAGEUP:
            return {VK_PRIOR, 0x49, true};
        case SDL_SCANCODE_DELETE:
            return {VK_DELETE, 0x53, true};
        case SDL_SCANCODE_END:
            return {VK_END, 0x4F, true};
        case SDL_SCANCODE_PAGEDOWN:
            return {VK_NEXT, 0x51, true};
        case SDL_SCANCODE_RIGHT:
            return {VK_RIGHT, 0x4D, true};
        case SDL_SCANCODE_LEFT:
            return {VK_LEFT, 0x4B, true};
        case SDL_SCANCODE_DOWN:
            return {VK_DOWN, 0x50, true};
        case SDL_SCANCODE_UP:
            return {VK_UP, 0x48, true};
        case SDL_SCANCODE_NUMLOCKCLEAR:
            return {VK_NUMLOCK, 0x45, true};
        case SDL_SCANCODE_KP_DIVIDE:
            return {0x6F, 0x35, true};
        case SDL_SCANCODE_KP_MULTIPLY:
            return {0x6A, 0x37, false};
        case SDL_SCANCODE_KP_MINUS:
            return {0x6D, 0x4A, false};
        case SDL_SCANCODE_KP_PLUS:
            return {0x6B, 0x4E, false};
        case SDL_SCANCODE_KP_ENTER:
            return {VK_RETURN, 0x1C, true};
        case SDL_SCANCODE_KP_0:
            return {VK_NUMPAD0, 0x52, false};
        case SDL_SCANCODE_KP_PERIOD:
            return {0x6E, 0x53, false};
        case SDL_SCANCODE_NONUSBACKSLASH:
            return {0xE2, 0x56, false};
        case SDL_SCANCODE_APPLICATION:
            return {0x5D, 0x5D, true};
        case SDL_SCANCODE_INTERNATIONAL1:
            return {0xE2, 0x73, false};  // ro
        case SDL_SCANCODE_INTERNATIONAL3:
            return {0xDC, 0x7D, false};  // yen
        case SDL_SCANCODE_INTERNATIONAL4:
            return {0x1C, 0x79, false};  // convert
        case SDL_SCANCODE_INTERNATIONAL5:
            return {0x1D, 0x7B, false};  // no convert
        case SDL_SCANCODE_LCTRL:
            return {VK_CONTROL, 0x1D, false};
        case SDL_SCANCODE_LSHIFT:
            return {VK_SHIFT, 0x2A, false};
        case SDL_SCANCODE_LALT:
            return {VK_MENU, 0x38, false};
        case SDL_SCANCODE_LGUI:
            return {0x5B, 0x5B, true};
        case SDL_SCANCODE_RCTRL:
            return {VK_CONTROL, 0x1D, true};
        case SDL_SCANCODE_RSHIFT:
            return {VK_SHIFT, 0x36, false};
        case SDL_SCANCODE_RALT:
            return {VK_MENU, 0x38, true};
        case SDL_SCANCODE_RGUI:
            return {0x5C, 0x5C, true};
        default:
            return {0, 0, false};
    }
}

// The side-specific key that a generic modifier stands for.
BYTE SidedKey(SDL_Scancode code) {
    switch (code) {
        case SDL_SCANCODE_LSHIFT:
            return VK_LSHIFT;
        case SDL_SCANCODE_RSHIFT:
            return VK_RSHIFT;
        case SDL_SCANCODE_LCTRL:
            return VK_LCONTROL;
        case SDL_SCANCODE_RCTRL:
            return VK_RCONTROL;
        case SDL_SCANCODE_LALT:
            return VK_LMENU;
        case SDL_SCANCODE_RALT:
            return VK_RMENU;
        default:
            return 0;
    }
}

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

// Lock keys take their toggles from SDL's modifier state, which knows the
// state of the lights when the program starts.
void ApplyLockToggles(BYTE* keys, Uint16 mod) {
    keys[VK_CAPITAL] = static_cast<BYTE>((keys[VK_CAPITAL] & 0x80) | ((mod & KMOD_CAPS) ? 1 : 0));
    keys[VK_NUMLOCK] = static_cast<BYTE>((keys[VK_NUMLOCK] & 0x80) | ((mod & KMOD_NUM) ? 1 : 0));
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

void TranslateSdlKey(const SDL_Event& event, HWND window) {
    SDL_Scancode code = event.key.keysym.scancode;
    KeyInfo info = LookUpKey(code);
    if (info.virtualKey == 0) {
        return;
    }
    bool down = event.type == SDL_KEYDOWN;
    bool wasDown = false;
    bool altDown = false;
    bool controlDown = false;
    {
        AsyncState& async = Async();
        std::lock_guard<std::mutex> guard(async.lock);
        ApplyLockToggles(async.keys, event.key.keysym.mod);
        wasDown = Down(async.keys, info.virtualKey);
        ApplyKey(async.keys, info.virtualKey, SidedKey(code), down);
        if (down) {
            async.pressedSince[info.virtualKey] = true;
        }
        altDown = Down(async.keys, VK_MENU);
        controlDown = Down(async.keys, VK_CONTROL);
    }
    if (window == nullptr) {
        return;
    }
    // Alt (without Control), F10 and Alt itself make the system forms.
    bool system = (altDown && !controlDown) || info.virtualKey == VK_F10 ||
                  (info.virtualKey == VK_MENU && !controlDown);
    UINT message = down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    DWORD lParam = 1u | (static_cast<DWORD>(info.scanCode) << 16);
    if (info.extended) {
        lParam |= 1u << 24;
    }
    if (altDown) {
        lParam |= 1u << 29;
    }
    if (!down || event.key.repeat != 0 || wasDown) {
        lParam |= 1u << 30;
    }
    if (!down) {
        lParam |= 1u << 31;
    }
    PostToWindow(window, message, info.virtualKey, static_cast<LPARAM>(lParam));
}

// Where the desktop's keyboard layout speaks (a real video driver with SDL's
// text input on), the printable characters are the layout's, from SDL's text
// events; TranslateMessage then adds only the control characters, which SDL
// does not report as text. Without it (the dummy driver, text input off),
// TranslateMessage spells every key on the US layout.
bool CharactersFromSdlText() {
    return HasRealVideoDriver() && SDL_IsTextInputActive();
}

// SDL's text arrives as WM_CHAR in code page 932, a double-byte character as
// its lead byte and then its trail byte; with Alt held, as WM_SYSCHAR.
void TranslateSdlText(const SDL_Event& event, HWND window) {
    if (window == nullptr) {
        return;
    }
    bool everything = CharactersFromSdlText();
    UINT message = WM_CHAR;
    {
        AsyncState& async = Async();
        std::lock_guard<std::mutex> guard(async.lock);
        if (Down(async.keys, VK_MENU) && !Down(async.keys, VK_CONTROL)) {
            message = WM_SYSCHAR;
        }
    }
    const char* text = event.text.text;
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
    if (character >= 0x20 && character != 0x7F && CharactersFromSdlText()) {
        return FALSE;  // the layout's character follows as SDL text
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
    PumpSdlEvents();
    AsyncState& async = Async();
    std::lock_guard<std::mutex> guard(async.lock);
    bool down = Down(async.keys, virtualKey);
    bool pressed = async.pressedSince[virtualKey];
    async.pressedSince[virtualKey] = false;
    return static_cast<SHORT>((down ? 0x8000 : 0) | (pressed ? 1 : 0));
}
