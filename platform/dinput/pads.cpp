// SDL's joysticks as the layer's game pads (see pads_internal.h): opening
// each once, in SDL's device order, as a game controller where SDL's mapping
// knows it, else as a plain joystick; their axes, buttons and hat.
#include "platform/dinput/pads_internal.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "platform/kernel.h"

namespace platform::pads {
namespace {

constexpr SDL_GameControllerButton kControllerButtons[] = {
    SDL_CONTROLLER_BUTTON_A,
    SDL_CONTROLLER_BUTTON_B,
    SDL_CONTROLLER_BUTTON_X,
    SDL_CONTROLLER_BUTTON_Y,
    SDL_CONTROLLER_BUTTON_LEFTSHOULDER,
    SDL_CONTROLLER_BUTTON_RIGHTSHOULDER,
    SDL_CONTROLLER_BUTTON_BACK,
    SDL_CONTROLLER_BUTTON_START,
    SDL_CONTROLLER_BUTTON_LEFTSTICK,
    SDL_CONTROLLER_BUTTON_RIGHTSTICK,
    SDL_CONTROLLER_BUTTON_GUIDE,
    SDL_CONTROLLER_BUTTON_MISC1,
    SDL_CONTROLLER_BUTTON_PADDLE1,
    SDL_CONTROLLER_BUTTON_PADDLE2,
    SDL_CONTROLLER_BUTTON_PADDLE3,
    SDL_CONTROLLER_BUTTON_PADDLE4,
    SDL_CONTROLLER_BUTTON_TOUCHPAD,
};

// Hat bits of SDL to a point-of-view angle.
uint32_t HatToPov(Uint8 hat) {
    switch (hat) {
        case SDL_HAT_UP:
            return 0;
        case SDL_HAT_RIGHTUP:
            return 4500;
        case SDL_HAT_RIGHT:
            return 9000;
        case SDL_HAT_RIGHTDOWN:
            return 13500;
        case SDL_HAT_DOWN:
            return 18000;
        case SDL_HAT_LEFTDOWN:
            return 22500;
        case SDL_HAT_LEFT:
            return 27000;
        case SDL_HAT_LEFTUP:
            return 31500;
        default:
            return kPovCentred;
    }
}

Uint8 ControllerHat(SDL_GameController* c) {
    auto down = [c](SDL_GameControllerButton b) { return SDL_GameControllerGetButton(c, b) != 0; };
    Uint8 hat = SDL_HAT_CENTERED;
    hat |= down(SDL_CONTROLLER_BUTTON_DPAD_UP) ? SDL_HAT_UP : 0;
    hat |= down(SDL_CONTROLLER_BUTTON_DPAD_DOWN) ? SDL_HAT_DOWN : 0;
    hat |= down(SDL_CONTROLLER_BUTTON_DPAD_LEFT) ? SDL_HAT_LEFT : 0;
    hat |= down(SDL_CONTROLLER_BUTTON_DPAD_RIGHT) ? SDL_HAT_RIGHT : 0;
    return hat;
}

bool HasDpad(SDL_GameController* c) {
    return SDL_GameControllerHasButton(c, SDL_CONTROLLER_BUTTON_DPAD_UP) ||
           SDL_GameControllerHasButton(c, SDL_CONTROLLER_BUTTON_DPAD_DOWN) ||
           SDL_GameControllerHasButton(c, SDL_CONTROLLER_BUTTON_DPAD_LEFT) ||
           SDL_GameControllerHasButton(c, SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
}

// A known controller reads like the common two-stick pad of DirectInput:
// left stick X and Y, the triggers together on Z, right stick on Rx and Ry.
void DescribeController(SDL_GameController* c, Reading* out) {
    out->hasAxis[kX] = SDL_GameControllerHasAxis(c, SDL_CONTROLLER_AXIS_LEFTX);
    out->hasAxis[kY] = SDL_GameControllerHasAxis(c, SDL_CONTROLLER_AXIS_LEFTY);
    out->hasAxis[kZ] = SDL_GameControllerHasAxis(c, SDL_CONTROLLER_AXIS_TRIGGERLEFT) ||
                       SDL_GameControllerHasAxis(c, SDL_CONTROLLER_AXIS_TRIGGERRIGHT);
    out->hasAxis[kRx] = SDL_GameControllerHasAxis(c, SDL_CONTROLLER_AXIS_RIGHTX);
    out->hasAxis[kRy] = SDL_GameControllerHasAxis(c, SDL_CONTROLLER_AXIS_RIGHTY);
    out->povCount = HasDpad(c) ? 1 : 0;
    int buttons = 0;
    int known = static_cast<int>(sizeof kControllerButtons / sizeof kControllerButtons[0]);
    for (int i = 0; i < known; ++i) {
        if (SDL_GameControllerHasButton(c, kControllerButtons[i])) {
            buttons = i + 1;
        }
    }
    out->buttonCount = buttons;
}

void ReadController(SDL_GameController* c, Reading* out) {
    out->axis[kX] = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTX);
    out->axis[kY] = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTY);
    int triggers = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_TRIGGERLEFT) -
                   SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_TRIGGERRIGHT);
    out->axis[kZ] = std::clamp(triggers, -32768, 32767);
    out->axis[kRx] = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_RIGHTX);
    out->axis[kRy] = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_RIGHTY);
    if (out->povCount > 0) {
        out->pov[0] = HatToPov(ControllerHat(c));
    }
    for (int i = 0; i < out->buttonCount; ++i) {
        out->button[i] = SDL_GameControllerGetButton(c, kControllerButtons[i]) != 0;
    }
}

// Any other joystick: its axes in order on X, Y, Z, Rx, Ry, Rz and the two
// sliders, its hats as points of view, its first 32 buttons.
void DescribeJoystick(SDL_Joystick* j, Reading* out) {
    int axes = std::min(SDL_JoystickNumAxes(j), static_cast<int>(kAxisCount));
    for (int i = 0; i < axes; ++i) {
        out->hasAxis[i] = true;
    }
    out->povCount = std::clamp(SDL_JoystickNumHats(j), 0, kPovCount);
    out->buttonCount = std::clamp(SDL_JoystickNumButtons(j), 0, kButtonCount);
}

void ReadJoystick(SDL_Joystick* j, Reading* out) {
    for (int i = 0; i < kAxisCount; ++i) {
        if (out->hasAxis[i]) {
            out->axis[i] = SDL_JoystickGetAxis(j, i);
        }
    }
    for (int i = 0; i < out->povCount; ++i) {
        out->pov[i] = HatToPov(SDL_JoystickGetHat(j, i));
    }
    for (int i = 0; i < out->buttonCount; ++i) {
        out->button[i] = SDL_JoystickGetButton(j, i) != 0;
    }
}

}  // namespace

bool EnsureStarted() {
    static std::once_flag once;
    static bool started = false;
    std::call_once(once, [] {
        // The pads are read whether or not a window of ours has the focus.
        SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
        started = SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER) == 0;
        if (started) {
            SDL_InitSubSystem(SDL_INIT_HAPTIC);  // optional: force feedback where there is some
        }
    });
    return started;
}

void Update() {
    if (EnsureStarted()) {
        SDL_JoystickUpdate();
    }
}

int Count() {
    return EnsureStarted() ? std::max(SDL_NumJoysticks(), 0) : 0;
}

bool Info(int index, PadInfo* out) {
    if (index < 0 || index >= Count()) {
        return false;
    }
    out->id = SDL_JoystickGetDeviceInstanceID(index);
    if (out->id < 0) {
        return false;
    }
    const char* name = SDL_JoystickNameForIndex(index);
    out->name = name != nullptr ? name : "Joystick";
    out->guid = SDL_JoystickGetDeviceGUID(index);
    out->vendor = SDL_JoystickGetDeviceVendor(index);
    out->product = SDL_JoystickGetDeviceProduct(index);
    out->controller = SDL_IsGameController(index) == SDL_TRUE;
    return true;
}

int IndexOf(SDL_JoystickID id) {
    int count = Count();
    for (int i = 0; i < count; ++i) {
        if (SDL_JoystickGetDeviceInstanceID(i) == id) {
            return i;
        }
    }
    return -1;
}

bool Open(SDL_JoystickID id, Pad* pad) {
    *pad = Pad{};
    int index = IndexOf(id);
    if (index < 0) {
        return false;
    }
    if (SDL_IsGameController(index)) {
        pad->controller = SDL_GameControllerOpen(index);
        if (pad->controller != nullptr) {
            pad->joystick = SDL_GameControllerGetJoystick(pad->controller);
        }
    }
    if (pad->joystick == nullptr) {
        pad->controller = nullptr;
        pad->joystick = SDL_JoystickOpen(index);
    }
    if (pad->joystick == nullptr) {
        return false;
    }
    pad->id = id;
    return true;
}

void Close(Pad* pad) {
    if (pad->controller != nullptr) {
        SDL_GameControllerClose(pad->controller);
    } else if (pad->joystick != nullptr) {
        SDL_JoystickClose(pad->joystick);
    }
    *pad = Pad{};
}

bool Attached(const Pad& pad) {
    return pad.joystick != nullptr && SDL_JoystickGetAttached(pad.joystick) == SDL_TRUE;
}

void Describe(const Pad& pad, Reading* out) {
    *out = Reading{};
    for (uint32_t& p : out->pov) {
        p = kPovCentred;
    }
    if (pad.joystick == nullptr) {
        return;
    }
    if (pad.controller != nullptr) {
        DescribeController(pad.controller, out);
    } else {
        DescribeJoystick(pad.joystick, out);
    }
}

bool Read(const Pad& pad, Reading* out) {
    Describe(pad, out);
    if (!Attached(pad)) {
        return false;
    }
    if (pad.controller != nullptr) {
        ReadController(pad.controller, out);
    } else {
        ReadJoystick(pad.joystick, out);
    }
    return true;
}

void ToCodePage(const std::string& utf8, char* out, int size) {
    if (size <= 0) {
        return;
    }
    out[0] = '\0';
    int units =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (units <= 0) {
        return;
    }
    std::vector<WCHAR> wide(static_cast<size_t>(units));
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), units);
    std::vector<char> narrow(static_cast<size_t>(units) * 2 + 1);
    int bytes = WideCharToMultiByte(CP_ACP, 0, wide.data(), units, narrow.data(),
                                    static_cast<int>(narrow.size()), nullptr, nullptr);
    bytes = std::clamp(bytes, 0, size - 1);
    // Never cut a double-byte character in half.
    int end = 0;
    while (end < bytes) {
        int step = IsDBCSLeadByte(static_cast<BYTE>(narrow[static_cast<size_t>(end)])) ? 2 : 1;
        if (end + step > bytes) {
            break;
        }
        end += step;
    }
    std::copy(narrow.begin(), narrow.begin() + end, out);
    out[end] = '\0';
}

}  // namespace platform::pads
