// Message boxes: a real one through SDL when there is a screen to show it on;
// without one, the answer that a test (or the box's own cancel) gives.
#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/kernel.h"
#include "platform/window/window_internal.h"

namespace {

struct MessageBoxState {
    std::mutex lock;
    int answer = 0;
    bool forceHeadless = false;
    std::string text;
    std::string caption;
    int count = 0;
};

MessageBoxState& Boxes() {
    static auto* state = new MessageBoxState();
    return *state;
}

std::string ToUtf8(const char* text) {
    if (text == nullptr || text[0] == '\0') {
        return std::string();
    }
    int units = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::u16string wide(static_cast<size_t>(std::max(units, 1)), u'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), units);
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(std::max(bytes, 1)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), -1, utf8.data(), bytes, nullptr, nullptr);
    utf8.resize(std::strlen(utf8.c_str()));
    return utf8;
}

struct ButtonSet {
    int ids[3];
    const char* labels[3];
    int count;
    int escape;  // the answer of closing the box
};

ButtonSet ButtonsOf(UINT type) {
    switch (type & 0x0Fu) {
        case MB_OKCANCEL:
            return {{IDOK, IDCANCEL}, {"OK", "Cancel"}, 2, IDCANCEL};
        case MB_YESNOCANCEL:
            return {{IDYES, IDNO, IDCANCEL}, {"Yes", "No", "Cancel"}, 3, IDCANCEL};
        case MB_YESNO:
            return {{IDYES, IDNO}, {"Yes", "No"}, 2, IDNO};
        default:
            return {{IDOK}, {"OK"}, 1, IDOK};
    }
}

Uint32 IconFlags(UINT type) {
    switch (type & 0xF0u) {
        case MB_ICONERROR:
            return SDL_MESSAGEBOX_ERROR;
        case MB_ICONWARNING:
            return SDL_MESSAGEBOX_WARNING;
        default:
            return SDL_MESSAGEBOX_INFORMATION;
    }
}

int ShowWithSdl(HWND owner, const char* text, const char* caption, const ButtonSet& set,
                UINT type) {
    SDL_MessageBoxButtonData buttons[3] = {};
    for (int i = 0; i < set.count; ++i) {
        buttons[i].buttonid = set.ids[i];
        buttons[i].text = set.labels[i];
        if (i == 0) {
            buttons[i].flags |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
        }
        if (set.ids[i] == set.escape) {
            buttons[i].flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
        }
    }
    std::string utf8Text = ToUtf8(text);
    std::string utf8Caption = ToUtf8(caption);
    SDL_MessageBoxData data = {};
    data.flags = IconFlags(type);
    {
        std::lock_guard<std::recursive_mutex> guard(platform::WindowLock());
        platform::WindowRecord* record = platform::FindWindowRecord(owner);
        data.window = record != nullptr ? record->sdl : nullptr;
    }
    data.title = utf8Caption.c_str();
    data.message = utf8Text.c_str();
    data.numbuttons = set.count;
    data.buttons = buttons;
    int pressed = -1;
    if (SDL_ShowMessageBox(&data, &pressed) != 0) {
        // No box could be shown (SDL's X11 box needs the server's core fonts):
        // the answer is the one of a closed box.
        std::string why = std::string("MessageBoxA: ") + SDL_GetError() + "\n";
        OutputDebugStringA(why.c_str());
        return set.escape;
    }
    if (pressed < 0) {
        return set.escape;
    }
    return pressed;
}

}  // namespace

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    ButtonSet set = ButtonsOf(type);
    const char* shownCaption = caption != nullptr ? caption : "Error";
    int answer = 0;
    bool headless = false;
    {
        MessageBoxState& state = Boxes();
        std::lock_guard<std::mutex> guard(state.lock);
        state.text = text != nullptr ? text : "";
        state.caption = shownCaption;
        ++state.count;
        answer = state.answer;
        headless = state.forceHeadless;
    }
    if (headless || !platform::HasRealVideoDriver()) {
        return answer != 0 ? answer : set.escape;
    }
    return ShowWithSdl(owner, text, shownCaption, set, type);
}

namespace platform {

void SetMessageBoxAnswer(int answer, bool forceHeadless) {
    MessageBoxState& state = Boxes();
    std::lock_guard<std::mutex> guard(state.lock);
    state.answer = answer;
    state.forceHeadless = forceHeadless;
}

const char* LastMessageBoxText() {
    MessageBoxState& state = Boxes();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.text.c_str();
}

const char* LastMessageBoxCaption() {
    MessageBoxState& state = Boxes();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.caption.c_str();
}

int MessageBoxCount() {
    MessageBoxState& state = Boxes();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.count;
}

}  // namespace platform
