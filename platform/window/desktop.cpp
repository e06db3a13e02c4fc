// The desktop window: the window under every other, covering the whole
// screen and belonging to no program. It is a record without a procedure,
// named by a checked id like every window, made on first use and kept for
// the life of the process; it is not among this process's windows, so
// searches, broadcasts and activation never meet it.
#include "platform/window.h"
#include "platform/window/window_internal.h"

namespace platform {

HWND DesktopWindowHandle() {
    static const HWND handle = [] {
        auto* record = new WindowRecord();
        record->procOnly = true;
        record->proxy = true;
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        return AddWindowHandle(record);
    }();
    return handle;
}

bool IsDesktopWindow(HWND window) {
    return window != nullptr && window == DesktopWindowHandle();
}

}  // namespace platform

HWND GetDesktopWindow() {
    return platform::DesktopWindowHandle();
}
