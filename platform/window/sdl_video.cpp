// The SDL backend's video, devices and desktop: starting video, SDL's events
// turned into WindowEvent records, the cursor, the display's modes, the
// clipboard and message boxes.
#include <SDL.h>

#include <cstring>
#include <string>

#include "platform/kernel.h"
#include "platform/window/backend_internal.h"
#include "platform/window/sdl_backend_internal.h"

namespace platform {
namespace {

// SDL takes its driver from SDL_VIDEODRIVER, a name or a comma-separated list.
bool NamedInEnvironment(const char* driver) {
    const char* asked = SDL_getenv("SDL_VIDEODRIVER");
    if (asked == nullptr || driver == nullptr) {
        return false;
    }
    std::string list = asked;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(',', start);
        std::string name =
            list.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (SDL_strcasecmp(name.c_str(), driver) == 0) {
            return true;
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return false;
}

bool IsRealDriver(const char* name) {
    return name != nullptr && std::strcmp(name, "dummy") != 0 &&
           std::strcmp(name, "offscreen") != 0 && std::strcmp(name, "evdev") != 0;
}

HWND HandleOfSdlId(uint32_t id) {
    std::lock_guard<std::recursive_mutex> guard(WindowLock());
    WindowRecord* window = WindowOfSdlId(id);
    return window != nullptr ? window->handle : nullptr;
}

WindowEventKind KindOfWindowEvent(Uint8 event) {
    switch (event) {
        case SDL_WINDOWEVENT_EXPOSED:
            return WindowEventKind::Exposed;
        case SDL_WINDOWEVENT_MOVED:
            return WindowEventKind::Moved;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            return WindowEventKind::Resized;
        case SDL_WINDOWEVENT_MINIMIZED:
            return WindowEventKind::Minimized;
        case SDL_WINDOWEVENT_MAXIMIZED:
            return WindowEventKind::Maximized;
        case SDL_WINDOWEVENT_RESTORED:
            return WindowEventKind::Restored;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            return WindowEventKind::FocusGained;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            return WindowEventKind::FocusLost;
        case SDL_WINDOWEVENT_CLOSE:
            return WindowEventKind::CloseAsked;
        case SDL_WINDOWEVENT_ENTER:
            return WindowEventKind::MouseEntered;
        default:
            return WindowEventKind::Other;
    }
}

MouseButton ButtonOf(Uint8 button) {
    switch (button) {
        case SDL_BUTTON_LEFT:
            return MouseButton::Left;
        case SDL_BUTTON_RIGHT:
            return MouseButton::Right;
        case SDL_BUTTON_MIDDLE:
            return MouseButton::Middle;
        case SDL_BUTTON_X1:
            return MouseButton::X1;
        case SDL_BUTTON_X2:
            return MouseButton::X2;
        default:
            return MouseButton::None;
    }
}

// SDL's text and editing events carry their text in a buffer of the size of
// WindowEvent::text.
void CopyEventText(const char (&text)[sizeof WindowEvent::text], WindowEvent* event) {
    std::memcpy(event->text, text, sizeof event->text);
    event->text[sizeof event->text - 1] = '\0';
}

WindowEvent RecordOf(const SDL_Event& sdl) {
    WindowEvent event;
    switch (sdl.type) {
        case SDL_WINDOWEVENT:
            event.kind = KindOfWindowEvent(sdl.window.event);
            event.window = HandleOfSdlId(sdl.window.windowID);
            event.x = event.width = sdl.window.data1;
            event.y = event.height = sdl.window.data2;
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            event.kind =
                sdl.type == SDL_KEYDOWN ? WindowEventKind::KeyDown : WindowEventKind::KeyUp;
            event.window = HandleOfSdlId(sdl.key.windowID);
            FillKeyCodes(sdl.key.keysym.scancode, &event);
            event.repeat = sdl.key.repeat != 0;
            event.capsLock = (sdl.key.keysym.mod & KMOD_CAPS) != 0;
            event.numLock = (sdl.key.keysym.mod & KMOD_NUM) != 0;
            break;
        case SDL_TEXTINPUT:
            event.kind = WindowEventKind::Text;
            event.window = HandleOfSdlId(sdl.text.windowID);
            CopyEventText(sdl.text.text, &event);
            break;
        case SDL_TEXTEDITING:
            event.kind = WindowEventKind::Editing;
            event.window = HandleOfSdlId(sdl.edit.windowID);
            CopyEventText(sdl.edit.text, &event);
            event.editStart = sdl.edit.start;
            event.editLength = sdl.edit.length;
            break;
        case SDL_MOUSEMOTION:
            event.kind = WindowEventKind::MouseMove;
            event.window = HandleOfSdlId(sdl.motion.windowID);
            event.x = sdl.motion.x;
            event.y = sdl.motion.y;
            event.dx = sdl.motion.xrel;
            event.dy = sdl.motion.yrel;
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            event.kind = sdl.type == SDL_MOUSEBUTTONDOWN ? WindowEventKind::MouseButtonDown
                                                         : WindowEventKind::MouseButtonUp;
            event.window = HandleOfSdlId(sdl.button.windowID);
            event.x = sdl.button.x;
            event.y = sdl.button.y;
            event.button = ButtonOf(sdl.button.button);
            event.clicks = sdl.button.clicks;
            break;
        case SDL_MOUSEWHEEL:
            event.kind = WindowEventKind::MouseWheel;
            event.window = HandleOfSdlId(sdl.wheel.windowID);
            // A flipped wheel (natural scrolling) reports the other way round.
            event.wheel =
                sdl.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -sdl.wheel.y : sdl.wheel.y;
            break;
        default:
            break;
    }
    return event;
}

Uint32 IconFlags(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::Error:
            return SDL_MESSAGEBOX_ERROR;
        case BoxIcon::Warning:
            return SDL_MESSAGEBOX_WARNING;
        default:
            return SDL_MESSAGEBOX_INFORMATION;
    }
}

// A 32-bit desktop is what XRGB8888 is, though SDL counts its bits as 24.
int BitsOfFormat(Uint32 format) {
    if (SDL_BYTESPERPIXEL(format) == 4) {
        return 32;
    }
    int bits = static_cast<int>(SDL_BITSPERPIXEL(format));
    return bits == 15 ? 16 : bits;
}

}  // namespace

bool BackendStartVideo(bool* real, bool* named) {
    // Ctrl+C should end the program as it does any other; the screen saver
    // stays as the desktop has it until asked otherwise.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    // Frames arrive as finished pixels, so the window's own framebuffer is
    // enough; without this SDL opens a throwaway OpenGL context on the first
    // present just to decide, which costs start-up time and, under some
    // drivers, crashes inside the driver.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        return false;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    *real = IsRealDriver(driver);
    *named = NamedInEnvironment(driver);
    return true;
}

void BackendPumpEvents(void (*sink)(const WindowEvent& event)) {
    SDL_PumpEvents();
    SDL_Event events[64];
    for (;;) {
        int count = SDL_PeepEvents(events, 64, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
        if (count <= 0) {
            return;
        }
        for (int i = 0; i < count; ++i) {
            sink(RecordOf(events[i]));
        }
    }
}

bool BackendSpellsText() {
    return SDL_IsTextInputActive() == SDL_TRUE;
}

void BackendResetComposition() {
    // Stopping text input is SDL's one way to make the desktop's input
    // method drop what it is composing.
    if (SDL_IsTextInputActive() == SDL_TRUE) {
        SDL_StopTextInput();
        SDL_StartTextInput();
    }
}

void BackendShowCursor(bool shown) {
    SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE);
}

void BackendWarpCursor(int x, int y) {
    SDL_WarpMouseGlobal(x, y);
}

bool BackendDesktopMode(DisplayMode* mode) {
    SDL_DisplayMode desktop = {};
    if (SDL_GetDesktopDisplayMode(0, &desktop) != 0) {
        return false;
    }
    *mode = {desktop.w, desktop.h, BitsOfFormat(desktop.format), desktop.refresh_rate};
    return true;
}

std::vector<DisplayMode> BackendDisplaySizes() {
    std::vector<DisplayMode> sizes;
    int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode mode = {};
        if (SDL_GetDisplayMode(0, i, &mode) == 0) {
            sizes.push_back({mode.w, mode.h, 0, mode.refresh_rate});
        }
    }
    return sizes;
}

void BackendAllowScreenSaver(bool allow) {
    if (allow) {
        SDL_EnableScreenSaver();
    } else {
        SDL_DisableScreenSaver();
    }
}

bool BackendClipboardText(std::string* utf8) {
    if (!SDL_HasClipboardText()) {
        return false;
    }
    char* text = SDL_GetClipboardText();
    if (text == nullptr) {
        return false;
    }
    *utf8 = text;
    SDL_free(text);
    return true;
}

void BackendSetClipboardText(const std::string& utf8) {
    SDL_SetClipboardText(utf8.c_str());
}

int BackendMessageBox(WindowRecord* owner, const std::string& textUtf8,
                      const std::string& captionUtf8, BoxIcon icon, const BoxButton* buttons,
                      int count, int escape) {
    SDL_MessageBoxButtonData data[3] = {};
    count = count < 3 ? count : 3;
    for (int i = 0; i < count; ++i) {
        data[i].buttonid = buttons[i].id;
        data[i].text = buttons[i].label;
        if (i == 0) {
            data[i].flags |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
        }
        if (buttons[i].id == escape) {
            data[i].flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
        }
    }
    SDL_MessageBoxData box = {};
    box.flags = IconFlags(icon);
    {
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        box.window = SdlWindowOf(owner);
    }
    box.title = captionUtf8.c_str();
    box.message = textUtf8.c_str();
    box.numbuttons = count;
    box.buttons = data;
    int pressed = -1;
    if (SDL_ShowMessageBox(&box, &pressed) != 0) {
        // No box could be shown (SDL's X11 box needs the server's core fonts).
        std::string why = std::string("MessageBoxA: ") + SDL_GetError() + "\n";
        OutputDebugStringA(why.c_str());
        return -1;
    }
    return pressed < 0 ? escape : pressed;
}

}  // namespace platform
