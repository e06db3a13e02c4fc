// The input method's side of text input: its window messages (the
// composition and its result, which goes into the character ring, the
// candidate list, the open status), the switch that lets the main window use
// it, the reset that closes and re-opens it after the window was away, and
// the cut of a composition that the active field could not take whole.
#include <cstring>

#include "foundation/base/text.h"
#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "foundation/runtime/main_window.h"
#include "foundation/runtime/message_pump.h"
#include "foundation/runtime/startup.h"
#include "foundation/text_input/text_input_internal.h"
#include "platform/ime.h"
#include "platform/window.h"

namespace tessel {

namespace {

constexpr uint64_t kOpenStatusWaitMicroseconds = 2000;

ImeState& Ime() {
    return g_textInput.ime;
}

void FreeCandidateList() {
    if (Ime().candidateList != nullptr) {
        FreeTracked(Ime().candidateList);
        Ime().candidateList = nullptr;
    }
    Ime().candidateListSize = 0;
}

void ClearComposition() {
    Ime().composition[0] = '\0';
    Ime().composing = 0;
}

// The composition string, cut to the buffer and terminated.
void FetchComposition(HIMC context) {
    LONG bytes =
        ImmGetCompositionStringA(context, GCS_COMPSTR, Ime().composition, kCompositionBytes - 1);
    if (bytes < 0) {
        bytes = 0;
    }
    Ime().composition[bytes < kCompositionBytes - 1 ? bytes : kCompositionBytes - 1] = '\0';
}

// The result goes into the character ring, whole characters; from the first
// that does not fit on, it is dropped.
void TakeResult(HIMC context) {
    char result[kCompositionBytes];
    LONG bytes = ImmGetCompositionStringA(context, GCS_RESULTSTR, result, sizeof(result));
    if (bytes > static_cast<LONG>(sizeof(result))) {
        bytes = sizeof(result);
    }
    PushInputText(result, static_cast<int>(bytes));
}

void OnComposition(HWND window, LPARAM flags) {
    HIMC context = ImmGetContext(window);
    if (context == nullptr) {
        return;
    }
    if ((flags & GCS_COMPSTR) != 0) {
        FetchComposition(context);
    }
    if ((flags & GCS_RESULTSTR) != 0) {
        TakeResult(context);
        FetchComposition(context);
    }
    if ((flags & GCS_CURSORPOS) != 0) {
        LONG cursor = ImmGetCompositionStringA(context, GCS_CURSORPOS, nullptr, 0);
        Ime().compositionCursor = CountChars(Ime().composition, cursor < 0 ? 0 : cursor);
    }
    if ((flags & GCS_COMPCLAUSE) != 0) {
        LONG bytes =
            ImmGetCompositionStringA(context, GCS_COMPCLAUSE, Ime().clauses, sizeof(Ime().clauses));
        Ime().clauseCount = bytes > 0 ? bytes / 4 : 0;
    }
    ImmReleaseContext(window, context);
}

void FetchCandidateList(HWND window) {
    HIMC context = ImmGetContext(window);
    FreeCandidateList();
    DWORD size = ImmGetCandidateListA(context, 0, nullptr, 0);
    if (size == 0) {
        WriteLogFormat(
            "漢字変換候補のデータサイズが０でした  DefHWND:%x IMC:%x\n",
            static_cast<unsigned>(reinterpret_cast<uintptr_t>(ImmGetDefaultIMEWnd(window))),
            static_cast<unsigned>(reinterpret_cast<uintptr_t>(context)));
        ImmReleaseContext(window, context);
        return;
    }
    void* list = AllocTracked(size, __FILE__, __LINE__);
    if (list == nullptr) {
        AbortWithLogFormat(
            "漢字変換候補を保存するメモリの確保に失敗しました( 確保しようとしたサイズ %d バイト )",
            static_cast<int>(size));
    }
    if (ImmGetCandidateListA(context, 0, static_cast<LPCANDIDATELIST>(list), size) == 0) {
        FreeTracked(list);
        WriteLogFormat("漢字変換候補の取得に失敗しました  BufSize:%d\n", static_cast<int>(size));
    } else {
        Ime().candidateList = list;
        Ime().candidateListSize = static_cast<int32_t>(size);
    }
    ImmReleaseContext(window, context);
}

// The open status follows once the messages of the change have been taken.
LRESULT OnOpenStatusChange(HWND window, WPARAM wParam, LPARAM lParam) {
    LRESULT result = DefWindowProcA(window, WM_IME_NOTIFY, wParam, lParam);
    if (g_textInput.waitingOpenStatus == 0) {
        g_textInput.waitingOpenStatus = 1;
        uint64_t start = ReadMicrosecondClock(0);
        while (PumpMessagesInner() == 0 &&
               ReadMicrosecondClock(0) - start < kOpenStatusWaitMicroseconds) {
        }
        g_textInput.waitingOpenStatus = 0;
    }
    HIMC context = ImmGetContext(window);
    Ime().open = ImmGetOpenStatus(context) != FALSE ? 1 : 0;
    ImmReleaseContext(window, context);
    return result;
}

LRESULT OnNotify(HWND window, WPARAM wParam, LPARAM lParam) {
    switch (wParam) {
        case IMN_CHANGECANDIDATE:
        case IMN_OPENCANDIDATE:
        case IMN_SETCANDIDATEPOS:
            FetchCandidateList(window);
            return 0;
        case IMN_CLOSECANDIDATE:
            FreeCandidateList();
            return 0;
        case IMN_SETOPENSTATUS:
            return OnOpenStatusChange(window, wParam, lParam);
        default:
            return DefWindowProcA(window, WM_IME_NOTIFY, wParam, lParam);
    }
}

}  // namespace

LRESULT OnImeMessage(UINT message, WPARAM wParam, LPARAM lParam, HWND window) {
    ResetCaretBlink();
    Ime().used = 1;
    switch (message) {
        case WM_IME_STARTCOMPOSITION:
            Ime().composing = 1;
            Ime().compositionCursor = 0;
            return 0;
        case WM_IME_ENDCOMPOSITION:
            ClearComposition();
            return 0;
        case WM_IME_COMPOSITION:
            OnComposition(window, lParam);
            return 0;
        case WM_IME_SETCONTEXT:
            // The input method draws no windows of its own: the fields show it.
            return DefWindowProcA(window, message, wParam, 0);
        case WM_IME_NOTIFY:
            return OnNotify(window, wParam, lParam);
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

int EnableImeInput(int on) {
    int32_t wanted = on != 0 ? 1 : 0;
    if (wanted == Ime().enabled) {
        return 0;
    }
    Ime().enabled = wanted;
    WINNLSEnableIME(GetMainWindow(), wanted != 0 ? TRUE : FALSE);
    if (wanted == 0) {
        FreeCandidateList();
        ClearComposition();
    }
    return 0;
}

int IsImeInputEnabled() {
    return Ime().enabled;
}

void RequestImeReopen() {
    if (Ime().used != 0 && Ime().open != 0) {
        Ime().resetStep = 1;
    }
}

void RunImeResetStep() {
    int step = Ime().resetStep;
    if (step == 0) {
        return;
    }
    HWND window = GetMainWindow();
    HIMC context = ImmGetContext(window);
    switch (step) {
        case 1:
            CopyText(Ime().savedComposition, Ime().composition);
            ImmNotifyIME(context, NI_COMPOSITIONSTR, CPS_CANCEL, 0);
            ImmSetOpenStatus(context, FALSE);
            break;
        case 2:
            ImmSetOpenStatus(context, FALSE);
            break;
        case 3:
            ImmSetOpenStatus(context, TRUE);
            break;
        default: {
            ImmSetOpenStatus(context, TRUE);
            auto bytes = static_cast<DWORD>(std::strlen(Ime().savedComposition));
            ImmSetCompositionStringA(context, SCS_SETSTR, Ime().savedComposition, bytes, nullptr,
                                     0);
            break;
        }
    }
    ImmReleaseContext(window, context);
    Ime().resetStep = step >= 4 ? 0 : step + 1;
}

void FitCompositionToField(const TextInputRecord& record) {
    int room = record.maxLength - record.length;
    if (room < 0) {
        room = 0;
    }
    int limit = room;
    if (Ime().compositionLimit > 0 && Ime().compositionLimit < limit) {
        limit = Ime().compositionLimit;
    }
    int bytes = static_cast<int>(std::strlen(Ime().composition));
    if (bytes <= limit) {
        return;
    }
    // Cut behind the last whole character that fits.
    int cut = 0;
    for (;;) {
        int next = cut + CharBytesAt(Ime().composition, bytes, cut);
        if (next > limit) {
            break;
        }
        cut = next;
    }
    Ime().composition[cut] = '\0';
    HWND window = GetMainWindow();
    HIMC context = ImmGetContext(window);
    ImmNotifyIME(context, NI_COMPOSITIONSTR, CPS_CANCEL, 0);
    ImmSetCompositionStringA(context, SCS_SETSTR, Ime().composition, static_cast<DWORD>(cut),
                             nullptr, 0);
    ImmReleaseContext(window, context);
}

}  // namespace tessel
