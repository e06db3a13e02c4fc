// The clipboard: code page 932 text with CR LF line ends for the programs,
// UTF-8 with LF line ends for the desktop (through the screen).
#include <cstring>
#include <string>

#include "platform/kernel.h"
#include "platform/window/window_internal.h"

namespace {

struct Clipboard {
    std::mutex lock;
    DWORD openedBy = 0;       // thread id, 0 while closed
    HGLOBAL text = nullptr;   // the block the clipboard owns
    std::string desktopText;  // the desktop's text (UTF-8) as we last saw or set it
};

Clipboard& Board() {
    static auto* board = new Clipboard();
    return *board;
}

std::string Convert(const std::string& text, UINT from, UINT to) {
    if (text.empty()) {
        return text;
    }
    int units =
        MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (units <= 0) {
        return std::string();
    }
    std::u16string wide(static_cast<size_t>(units), u'\0');
    MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), wide.data(), units);
    int bytes = WideCharToMultiByte(to, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(std::max(bytes, 0)), '\0');
    WideCharToMultiByte(to, 0, wide.data(), units, out.data(), bytes, nullptr, nullptr);
    return out;
}

std::string ToLineFeeds(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        out += text[i];
    }
    return out;
}

std::string ToCrLf(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) {
            out += '\r';
        }
        out += text[i];
    }
    return out;
}

HGLOBAL MakeBlock(const std::string& text) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    if (block == nullptr) {
        return nullptr;
    }
    auto bytes = static_cast<char*>(GlobalLock(block));
    text.copy(bytes, text.size());
    bytes[text.size()] = '\0';
    GlobalUnlock(block);
    return block;
}

void ReplaceText(Clipboard& board, HGLOBAL block) {
    if (board.text != nullptr && board.text != block) {
        GlobalFree(board.text);
    }
    board.text = block;
}

bool IsOpenHere(Clipboard& board) {
    return board.openedBy == GetCurrentThreadId();
}

// Text that another program put on the desktop's clipboard since we last
// looked replaces ours.
void RefreshFromDesktop(Clipboard& board) {
    std::string desktop;
    if (!platform::DesktopClipboardText(&desktop) || desktop == board.desktopText) {
        return;
    }
    board.desktopText = desktop;
    ReplaceText(board, MakeBlock(ToCrLf(Convert(desktop, CP_UTF8, 932))));
}

}  // namespace

BOOL OpenClipboard(HWND owner) {
    Clipboard& board = Board();
    std::lock_guard<std::mutex> guard(board.lock);
    if (board.openedBy != 0 && !IsOpenHere(board)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    board.openedBy = GetCurrentThreadId();
    return TRUE;
}

BOOL CloseClipboard() {
    Clipboard& board = Board();
    std::lock_guard<std::mutex> guard(board.lock);
    if (!IsOpenHere(board)) {
        SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
        return FALSE;
    }
    board.openedBy = 0;
    return TRUE;
}

BOOL EmptyClipboard() {
    Clipboard& board = Board();
    std::lock_guard<std::mutex> guard(board.lock);
    if (!IsOpenHere(board)) {
        SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
        return FALSE;
    }
    ReplaceText(board, nullptr);
    return TRUE;
}

HANDLE SetClipboardData(UINT format, HANDLE data) {
    Clipboard& board = Board();
    std::lock_guard<std::mutex> guard(board.lock);
    if (!IsOpenHere(board) || format != CF_TEXT || data == nullptr) {
        SetLastError(IsOpenHere(board) ? ERROR_INVALID_PARAMETER : ERROR_CLIPBOARD_NOT_OPEN);
        return nullptr;
    }
    // The block now belongs to the clipboard, as on Windows.
    ReplaceText(board, data);
    auto bytes = static_cast<const char*>(GlobalLock(data));
    std::string text(bytes, strnlen(bytes, GlobalSize(data)));
    GlobalUnlock(data);
    board.desktopText = ToLineFeeds(Convert(text, 932, CP_UTF8));
    platform::SetDesktopClipboardText(board.desktopText);
    return data;
}

HANDLE GetClipboardData(UINT format) {
    Clipboard& board = Board();
    std::lock_guard<std::mutex> guard(board.lock);
    if (!IsOpenHere(board) || format != CF_TEXT) {
        return nullptr;
    }
    RefreshFromDesktop(board);
    return board.text;
}

BOOL IsClipboardFormatAvailable(UINT format) {
    Clipboard& board = Board();
    std::lock_guard<std::mutex> guard(board.lock);
    if (format != CF_TEXT) {
        return FALSE;
    }
    RefreshFromDesktop(board);
    return board.text != nullptr ? TRUE : FALSE;
}
