// Message boxes: a real one when there is a screen to show it on (screen.cpp
// decides); without one, the answer that a test (or the box's own cancel) gives.
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
    // A box that could not be shown (SDL's X11 box needs the server's core
    // fonts) answers as a closed one.
    int pressed = platform::ScreenMessageBox(owner, text, shownCaption, type, set.escape, set.ids,
                                             set.labels, set.count);
    return pressed >= 0 ? pressed : set.escape;
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
