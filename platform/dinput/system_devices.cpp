// The system keyboard and mouse: their state follows the WindowEvent records
// the window service delivers to its observers, and a change signals the
// events a program set for notification.
#include "platform/dinput/system_devices_internal.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/kernel.h"
#include "platform/window.h"

namespace platform::dinput {
namespace {

struct State {
    std::mutex lock;
    BYTE keys[256] = {};
    LONG mouseX = 0;
    LONG mouseY = 0;
    LONG mouseZ = 0;
    BYTE mouseButtons[4] = {};
    std::vector<HANDLE> keyboardEvents;
    std::vector<HANDLE> mouseEvents;
};

State& Shared() {
    static auto* state = new State();
    return *state;
}

int MouseButtonSlot(MouseButton button) {
    switch (button) {
        case MouseButton::Left:
            return 0;
        case MouseButton::Right:
            return 1;
        case MouseButton::Middle:
            return 2;
        case MouseButton::X1:
            return 3;
        default:
            return -1;
    }
}

void Signal(const std::vector<HANDLE>& events) {
    for (HANDLE event : events) {
        SetEvent(event);
    }
}

void Observe(const WindowEvent& event, void*) {
    State& state = Shared();
    std::lock_guard<std::mutex> guard(state.lock);
    switch (event.kind) {
        case WindowEventKind::KeyDown:
        case WindowEventKind::KeyUp: {
            BYTE code = event.directInputKey;
            if (code == 0) {
                return;
            }
            BYTE value = event.kind == WindowEventKind::KeyDown ? 0x80 : 0;
            if (state.keys[code] != value) {
                state.keys[code] = value;
                Signal(state.keyboardEvents);
            }
            return;
        }
        case WindowEventKind::MouseMove:
            state.mouseX += event.dx;
            state.mouseY += event.dy;
            Signal(state.mouseEvents);
            return;
        case WindowEventKind::MouseWheel:
            state.mouseZ += event.wheel * 120;  // one notch is 120, as on Windows
            Signal(state.mouseEvents);
            return;
        case WindowEventKind::MouseButtonDown:
        case WindowEventKind::MouseButtonUp: {
            int slot = MouseButtonSlot(event.button);
            if (slot >= 0) {
                state.mouseButtons[slot] =
                    event.kind == WindowEventKind::MouseButtonDown ? 0x80 : 0;
                Signal(state.mouseEvents);
            }
            return;
        }
        default:
            return;
    }
}

}  // namespace

void StartWatching() {
    static std::once_flag once;
    std::call_once(once, [] { AddWindowEventObserver(Observe, nullptr); });
    // The state a device reads is what the screen has reported up to now, as a
    // device of DirectInput reads the keyboard whether or not messages are taken.
    PumpWindowEvents();
}

void CopyKeyboardState(BYTE* out) {
    State& state = Shared();
    std::lock_guard<std::mutex> guard(state.lock);
    std::memcpy(out, state.keys, sizeof state.keys);
}

void TakeMouseState(DIMOUSESTATE* out) {
    State& state = Shared();
    std::lock_guard<std::mutex> guard(state.lock);
    out->lX = state.mouseX;
    out->lY = state.mouseY;
    out->lZ = state.mouseZ;
    std::memcpy(out->rgbButtons, state.mouseButtons, sizeof out->rgbButtons);
    state.mouseX = state.mouseY = state.mouseZ = 0;
}

void ResetMouseMovement() {
    State& state = Shared();
    std::lock_guard<std::mutex> guard(state.lock);
    state.mouseX = state.mouseY = state.mouseZ = 0;
}

void AddNotification(bool keyboard, HANDLE event) {
    State& state = Shared();
    std::lock_guard<std::mutex> guard(state.lock);
    (keyboard ? state.keyboardEvents : state.mouseEvents).push_back(event);
}

void RemoveNotification(bool keyboard, HANDLE event) {
    State& state = Shared();
    std::lock_guard<std::mutex> guard(state.lock);
    auto& events = keyboard ? state.keyboardEvents : state.mouseEvents;
    auto found = std::find(events.begin(), events.end(), event);
    if (found != events.end()) {
        events.erase(found);
    }
}

}  // namespace platform::dinput
