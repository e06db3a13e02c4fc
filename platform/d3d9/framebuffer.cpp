// The window framebuffer as presentation reaches it through the window service.
#include "platform/d3d9/present.h"
#include "platform/window.h"

namespace platform::d3d9 {

bool PresentToWindow(HWND window, const Surface& source, const RECT& from, const RECT* to) {
    WindowFramebuffer framebuffer;
    if (!LockWindowFramebuffer(window, &framebuffer)) {
        return false;
    }
    RECT whole = {0, 0, framebuffer.width, framebuffer.height};
    StretchToFramebuffer(source, from, to != nullptr ? *to : whole, framebuffer.pixels,
                         framebuffer.width, framebuffer.height, framebuffer.pitch);
    UnlockWindowFramebuffer(window, true);
    return true;
}

void WindowClientSize(HWND window, int* width, int* height) {
    RECT client = {0, 0, 0, 0};
    if (!GetClientRect(window, &client)) {
        client = {0, 0, 0, 0};
    }
    *width = client.right - client.left;
    *height = client.bottom - client.top;
}

}  // namespace platform::d3d9
