// What a window does with the messages its procedure leaves to the system.
#include "platform/ime/ime_internal.h"
#include "platform/window/window_internal.h"

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCCREATE:
            return TRUE;
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            BeginPaint(window, &paint);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_NCHITTEST:
            return HTCLIENT;
        case WM_SETCURSOR: {
            if (LOWORD(lParam) != HTCLIENT) {
                return FALSE;
            }
            HCURSOR cursor = nullptr;
            {
                std::lock_guard<std::recursive_mutex> guard(platform::WindowLock());
                platform::WindowRecord* record = platform::FindWindowRecord(window);
                if (record != nullptr && record->windowClass != nullptr) {
                    cursor = record->windowClass->cursor;
                }
            }
            if (cursor == nullptr) {
                return FALSE;
            }
            SetCursor(cursor);
            return TRUE;
        }
        case WM_SYSKEYDOWN:
            // Alt+F4 asks to close, through the system command.
            if (wParam == VK_F4 && (lParam & (1 << 29)) != 0) {
                PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
            }
            return 0;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0u) == SC_CLOSE) {
                SendMessageA(window, WM_CLOSE, 0, 0);
            }
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE && HIWORD(wParam) == 0) {
                SetFocus(window);
            }
            return 0;
        case WM_IME_COMPOSITION:
            // A window that leaves the input method to the system gets its
            // results as typed characters.
            platform::PostResultAsCharacters(window, lParam);
            return 0;
        case WM_SETTEXT:
            return SetWindowTextA(window, reinterpret_cast<LPCSTR>(lParam));
        default:
            return 0;
    }
}
