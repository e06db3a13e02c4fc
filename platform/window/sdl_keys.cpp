// The SDL backend's keys: SDL's scan codes (positions on the keyboard) turned
// into the Windows codes a key event carries: the virtual key, the set-1 scan
// code with its extended bit, the side of a modifier, and DirectInput's code.
// Codes are positional and named after the US layout; a Japanese layout's own
// keys keep their positions but not their names.
#include <SDL.h>

#include "platform/window/sdl_backend_internal.h"

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

struct Pair {
    SDL_Scancode scan;
    BYTE code;
};

// Key positions by the codes DirectInput gives them (US names).
constexpr Pair kKeys[] = {
    {SDL_SCANCODE_ESCAPE, 0x01},
    {SDL_SCANCODE_1, 0x02},
    {SDL_SCANCODE_2, 0x03},
    {SDL_SCANCODE_3, 0x04},
    {SDL_SCANCODE_4, 0x05},
    {SDL_SCANCODE_5, 0x06},
    {SDL_SCANCODE_6, 0x07},
    {SDL_SCANCODE_7, 0x08},
    {SDL_SCANCODE_8, 0x09},
    {SDL_SCANCODE_9, 0x0A},
    {SDL_SCANCODE_0, 0x0B},
    {SDL_SCANCODE_MINUS, 0x0C},
    {SDL_SCANCODE_EQUALS, 0x0D},
    {SDL_SCANCODE_BACKSPACE, 0x0E},
    {SDL_SCANCODE_TAB, 0x0F},
    {SDL_SCANCODE_Q, 0x10},
    {SDL_SCANCODE_W, 0x11},
    {SDL_SCANCODE_E, 0x12},
    {SDL_SCANCODE_R, 0x13},
    {SDL_SCANCODE_T, 0x14},
    {SDL_SCANCODE_Y, 0x15},
    {SDL_SCANCODE_U, 0x16},
    {SDL_SCANCODE_I, 0x17},
    {SDL_SCANCODE_O, 0x18},
    {SDL_SCANCODE_P, 0x19},
    {SDL_SCANCODE_LEFTBRACKET, 0x1A},
    {SDL_SCANCODE_RIGHTBRACKET, 0x1B},
    {SDL_SCANCODE_RETURN, 0x1C},
    {SDL_SCANCODE_LCTRL, 0x1D},
    {SDL_SCANCODE_A, 0x1E},
    {SDL_SCANCODE_S, 0x1F},
    {SDL_SCANCODE_D, 0x20},
    {SDL_SCANCODE_F, 0x21},
    {SDL_SCANCODE_G, 0x22},
    {SDL_SCANCODE_H, 0x23},
    {SDL_SCANCODE_J, 0x24},
    {SDL_SCANCODE_K, 0x25},
    {SDL_SCANCODE_L, 0x26},
    {SDL_SCANCODE_SEMICOLON, 0x27},
    {SDL_SCANCODE_APOSTROPHE, 0x28},
    {SDL_SCANCODE_GRAVE, 0x29},
    {SDL_SCANCODE_LSHIFT, 0x2A},
    {SDL_SCANCODE_BACKSLASH, 0x2B},
    {SDL_SCANCODE_NONUSHASH, 0x2B},
    {SDL_SCANCODE_Z, 0x2C},
    {SDL_SCANCODE_X, 0x2D},
    {SDL_SCANCODE_C, 0x2E},
    {SDL_SCANCODE_V, 0x2F},
    {SDL_SCANCODE_B, 0x30},
    {SDL_SCANCODE_N, 0x31},
    {SDL_SCANCODE_M, 0x32},
    {SDL_SCANCODE_COMMA, 0x33},
    {SDL_SCANCODE_PERIOD, 0x34},
    {SDL_SCANCODE_SLASH, 0x35},
    {SDL_SCANCODE_RSHIFT, 0x36},
    {SDL_SCANCODE_KP_MULTIPLY, 0x37},
    {SDL_SCANCODE_LALT, 0x38},
    {SDL_SCANCODE_SPACE, 0x39},
    {SDL_SCANCODE_CAPSLOCK, 0x3A},
    {SDL_SCANCODE_F1, 0x3B},
    {SDL_SCANCODE_F2, 0x3C},
    {SDL_SCANCODE_F3, 0x3D},
    {SDL_SCANCODE_F4, 0x3E},
    {SDL_SCANCODE_F5, 0x3F},
    {SDL_SCANCODE_F6, 0x40},
    {SDL_SCANCODE_F7, 0x41},
    {SDL_SCANCODE_F8, 0x42},
    {SDL_SCANCODE_F9, 0x43},
    {SDL_SCANCODE_F10, 0x44},
    {SDL_SCANCODE_NUMLOCKCLEAR, 0x45},
    {SDL_SCANCODE_SCROLLLOCK, 0x46},
    {SDL_SCANCODE_KP_7, 0x47},
    {SDL_SCANCODE_KP_8, 0x48},
    {SDL_SCANCODE_KP_9, 0x49},
    {SDL_SCANCODE_KP_MINUS, 0x4A},
    {SDL_SCANCODE_KP_4, 0x4B},
    {SDL_SCANCODE_KP_5, 0x4C},
    {SDL_SCANCODE_KP_6, 0x4D},
    {SDL_SCANCODE_KP_PLUS, 0x4E},
    {SDL_SCANCODE_KP_1, 0x4F},
    {SDL_SCANCODE_KP_2, 0x50},
    {SDL_SCANCODE_KP_3, 0x51},
    {SDL_SCANCODE_KP_0, 0x52},
    {SDL_SCANCODE_KP_PERIOD, 0x53},
    {SDL_SCANCODE_NONUSBACKSLASH, 0x56},
    {SDL_SCANCODE_F11, 0x57},
    {SDL_SCANCODE_F12, 0x58},
    {SDL_SCANCODE_F13, 0x64},
    {SDL_SCANCODE_F14, 0x65},
    {SDL_SCANCODE_F15, 0x66},
    {SDL_SCANCODE_LANG3, 0x70},
    {SDL_SCANCODE_INTERNATIONAL2, 0x70},
    {SDL_SCANCODE_INTERNATIONAL1, 0x73},
    {SDL_SCANCODE_INTERNATIONAL4, 0x79},
    {SDL_SCANCODE_INTERNATIONAL5, 0x7B},
    {SDL_SCANCODE_INTERNATIONAL3, 0x7D},
    {SDL_SCANCODE_KP_EQUALS, 0x8D},
    {SDL_SCANCODE_LANG5, 0x94},
    {SDL_SCANCODE_KP_ENTER, 0x9C},
    {SDL_SCANCODE_RCTRL, 0x9D},
    {SDL_SCANCODE_MUTE, 0xA0},
    {SDL_SCANCODE_VOLUMEDOWN, 0xAE},
    {SDL_SCANCODE_VOLUMEUP, 0xB0},
    {SDL_SCANCODE_KP_COMMA, 0xB3},
    {SDL_SCANCODE_KP_DIVIDE, 0xB5},
    {SDL_SCANCODE_PRINTSCREEN, 0xB7},
    {SDL_SCANCODE_RALT, 0xB8},
    {SDL_SCANCODE_PAUSE, 0xC5},
    {SDL_SCANCODE_HOME, 0xC7},
    {SDL_SCANCODE_UP, 0xC8},
    {SDL_SCANCODE_PAGEUP, 0xC9},
    {SDL_SCANCODE_LEFT, 0xCB},
    {SDL_SCANCODE_RIGHT, 0xCD},
    {SDL_SCANCODE_END, 0xCF},
    {SDL_SCANCODE_DOWN, 0xD0},
    {SDL_SCANCODE_PAGEDOWN, 0xD1},
    {SDL_SCANCODE_INSERT, 0xD2},
    {SDL_SCANCODE_DELETE, 0xD3},
    {SDL_SCANCODE_LGUI, 0xDB},
    {SDL_SCANCODE_RGUI, 0xDC},
    {SDL_SCANCODE_APPLICATION, 0xDD},
    {SDL_SCANCODE_POWER, 0xDE},
    {SDL_SCANCODE_SLEEP, 0xDF},
};

}  // namespace

BYTE DirectInputKeyOf(SDL_Scancode code) {
    for (const Pair& pair : kKeys) {
        if (pair.scan == code) {
            return pair.code;
        }
    }
    return 0;
}

void FillKeyCodes(SDL_Scancode code, WindowEvent* event) {
    KeyInfo info = LookUpKey(code);
    event->virtualKey = info.virtualKey;
    event->scanCode = info.scanCode;
    event->extended = info.extended;
    event->sidedKey = SidedKey(code);
    event->directInputKey = DirectInputKeyOf(code);
}

}  // namespace platform
