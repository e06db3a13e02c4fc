// Each window's input context and the Imm calls on it. The screen reports a
// composition as editing events (the whole text and the cursor, in
// characters, each time it changes) and its result as a text event; here
// they become what Windows tells a window: WM_IME_STARTCOMPOSITION, a
// WM_IME_COMPOSITION for every change and for the result, and
// WM_IME_ENDCOMPOSITION, with the texts in code page 932 for
// ImmGetCompositionStringA to read.
// Not here: candidate lists and clauses (the screen reports none), the
// input method's own windows (it draws none).
#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "platform/ime/ime_internal.h"
#include "platform/kernel.h"
#include "platform/window/window_internal.h"

namespace platform {
namespace {

struct InputContext {
    std::string composition;  // code page 932
    LONG cursor = 0;          // byte offset into the composition
    std::string result;       // the last composition's result
    bool composing = false;
    bool open = true;
};

std::mutex& ContextLock() {
    static auto* lock = new std::mutex();
    return *lock;
}

std::map<HWND, InputContext>& Contexts() {
    static auto* contexts = new std::map<HWND, InputContext>();
    return *contexts;
}

// A context is named by its window, whose id is checked on every use.
HIMC ContextOf(HWND window) {
    return reinterpret_cast<HIMC>(window);
}

HWND WindowOf(HIMC context) {
    return reinterpret_cast<HWND>(context);
}

bool ImeEnabledFor(HWND window) {
    std::lock_guard<std::recursive_mutex> guard(WindowLock());
    const WindowRecord* record = FindWindowRecord(window);
    return record != nullptr && record->imeEnabled;
}

// UTF-8 as code page 932; `cursorChars` characters in becomes a byte
// offset in `*cursorBytes`.
std::string ToCodePage932(const char* utf8, int cursorChars, LONG* cursorBytes) {
    std::string out;
    *cursorBytes = 0;
    int units = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    if (units <= 1) {
        return out;
    }
    std::u16string wide(static_cast<size_t>(units), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide.data(), units);
    int characters = 0;
    for (int i = 0; i + 1 < units;) {
        if (characters == cursorChars) {
            *cursorBytes = static_cast<LONG>(out.size());
        }
        // A pair of surrogates is one character, and not one of code page 932.
        bool pair = wide[static_cast<size_t>(i)] >= 0xD800 &&
                    wide[static_cast<size_t>(i)] <= 0xDBFF && i + 2 < units;
        int count = pair ? 2 : 1;
        char bytes[8] = {};
        int written = WideCharToMultiByte(932, 0, &wide[static_cast<size_t>(i)], count, bytes,
                                          sizeof bytes, nullptr, nullptr);
        out.append(bytes, static_cast<size_t>(written > 0 ? written : 0));
        i += count;
        ++characters;
    }
    if (cursorChars >= characters) {
        *cursorBytes = static_cast<LONG>(out.size());
    }
    return out;
}

constexpr LPARAM kCompositionChanged = GCS_COMPSTR | GCS_CURSORPOS;

// The messages of a composition that ends, with a result or without; the
// caller holds ContextLock().
void EndComposition(HWND window, InputContext& context, const std::string* result) {
    context.composition.clear();
    context.cursor = 0;
    LPARAM flags = kCompositionChanged;
    if (result != nullptr) {
        context.result = *result;
        flags |= GCS_RESULTSTR;
    }
    if (context.composing || result != nullptr) {
        PostToWindow(window, WM_IME_COMPOSITION, 0, flags);
    }
    if (context.composing) {
        PostToWindow(window, WM_IME_ENDCOMPOSITION, 0, 0);
    }
    context.composing = false;
}

// A new composition text; the caller holds ContextLock().
void ChangeComposition(HWND window, InputContext& context, std::string text, LONG cursor) {
    if (text.empty()) {
        EndComposition(window, context, nullptr);
        return;
    }
    if (!context.composing) {
        context.composing = true;
        PostToWindow(window, WM_IME_STARTCOMPOSITION, 0, 0);
    }
    context.composition = std::move(text);
    context.cursor = cursor;
    PostToWindow(window, WM_IME_COMPOSITION, 0, kCompositionChanged);
}

// Runs `action` on a live window's context; false for a bad one.
template <typename Action>
bool WithContext(HIMC handle, Action action) {
    HWND window = WindowOf(handle);
    if (!IsWindow(window)) {
        return false;
    }
    std::lock_guard<std::mutex> guard(ContextLock());
    action(window, Contexts()[window]);
    return true;
}

LONG CopyOut(const std::string& text, LPVOID buffer, DWORD bytes) {
    if (buffer != nullptr && bytes > 0) {
        size_t count = std::min<size_t>(text.size(), bytes);
        std::copy(text.begin(), text.begin() + static_cast<long>(count),
                  static_cast<char*>(buffer));
    }
    return static_cast<LONG>(text.size());
}

}  // namespace

bool InputMethodTakes(const WindowEvent& event, HWND window) {
    bool editing = event.kind == WindowEventKind::Editing;
    if (window == nullptr) {
        return editing;
    }
    bool enabled = ImeEnabledFor(window);
    std::lock_guard<std::mutex> guard(ContextLock());
    InputContext& context = Contexts()[window];
    if (!enabled || !context.open) {
        return editing;  // no composition to show; typed text stays characters
    }
    LONG cursor = 0;
    std::string text = ToCodePage932(event.text, event.editStart, &cursor);
    if (editing) {
        ChangeComposition(window, context, std::move(text), cursor);
        return true;
    }
    if (!context.composing) {
        return false;
    }
    EndComposition(window, context, &text);
    return true;
}

void PostResultAsCharacters(HWND window, LPARAM flags) {
    if ((flags & GCS_RESULTSTR) == 0) {
        return;
    }
    std::string result;
    {
        std::lock_guard<std::mutex> guard(ContextLock());
        auto found = Contexts().find(window);
        if (found == Contexts().end()) {
            return;
        }
        result = found->second.result;
    }
    for (char byte : result) {
        PostToWindow(window, WM_CHAR, static_cast<BYTE>(byte), 1);
    }
}

void ForgetInputContext(HWND window) {
    std::lock_guard<std::mutex> guard(ContextLock());
    Contexts().erase(window);
}

}  // namespace platform

using namespace platform;

HIMC ImmGetContext(HWND window) {
    return IsWindow(window) ? ContextOf(window) : nullptr;
}

BOOL ImmReleaseContext(HWND window, HIMC context) {
    return context != nullptr && WindowOf(context) == window ? TRUE : FALSE;
}

HWND ImmGetDefaultIMEWnd(HWND window) {
    return nullptr;
}

LONG ImmGetCompositionStringA(HIMC handle, DWORD index, LPVOID buffer, DWORD bytes) {
    LONG result = IMM_ERROR_GENERAL;
    WithContext(handle, [&](HWND, InputContext& context) {
        switch (index) {
            case GCS_COMPSTR:
                result = CopyOut(context.composition, buffer, bytes);
                break;
            case GCS_RESULTSTR:
                result = CopyOut(context.result, buffer, bytes);
                break;
            case GCS_CURSORPOS:
                result = context.cursor;
                break;
            case GCS_COMPCLAUSE:
                result = 0;
                break;
            default:
                break;
        }
    });
    return result;
}

BOOL ImmSetCompositionStringA(HIMC handle, DWORD index, LPCVOID composition, DWORD bytes,
                              LPCVOID reading, DWORD readingBytes) {
    if (index != SCS_SETSTR || (composition == nullptr && bytes != 0)) {
        return FALSE;
    }
    std::string text;
    if (composition != nullptr) {
        text.assign(static_cast<const char*>(composition), bytes);
        text.resize(std::strlen(text.c_str()));  // the text ends at a NUL
    }
    return WithContext(handle,
                       [&](HWND window, InputContext& context) {
                           if (!context.open) {
                               return;
                           }
                           auto cursor = static_cast<LONG>(text.size());
                           ChangeComposition(window, context, text, cursor);
                       })
               ? TRUE
               : FALSE;
}

BOOL ImmNotifyIME(HIMC handle, DWORD action, DWORD index, DWORD value) {
    if (action != NI_COMPOSITIONSTR || (index != CPS_CANCEL && index != CPS_COMPLETE)) {
        return FALSE;
    }
    bool done = WithContext(handle, [&](HWND window, InputContext& context) {
        if (index == CPS_COMPLETE && context.composing) {
            std::string result = context.composition;
            EndComposition(window, context, &result);
        } else {
            EndComposition(window, context, nullptr);
        }
    });
    if (done) {
        ResetScreenComposition();
    }
    return done ? TRUE : FALSE;
}

BOOL ImmGetOpenStatus(HIMC handle) {
    BOOL open = FALSE;
    WithContext(handle, [&](HWND, InputContext& context) { open = context.open ? TRUE : FALSE; });
    return open;
}

BOOL ImmSetOpenStatus(HIMC handle, BOOL open) {
    bool changed = false;
    bool valid = WithContext(handle, [&](HWND window, InputContext& context) {
        bool wanted = open != FALSE;
        changed = context.open != wanted;
        if (changed && !wanted) {
            EndComposition(window, context, nullptr);
        }
        context.open = wanted;
    });
    if (!valid) {
        return FALSE;
    }
    if (changed) {
        ResetScreenComposition();
        SendMessageA(WindowOf(handle), WM_IME_NOTIFY, IMN_SETOPENSTATUS, 0);
    }
    return TRUE;
}

DWORD ImmGetCandidateListA(HIMC context, DWORD index, LPCANDIDATELIST list, DWORD bytes) {
    return 0;
}
