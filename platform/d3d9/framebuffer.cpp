#include "platform/d3d9/present.h"

namespace platform::d3d9 {

bool PresentToWindow(HWND window, const Surface& source, const RECT& from, const RECT* to) {
    return false;
}

void WindowClientSize(HWND window, int* width, int* height) {
    *width = 640;
    *height = 480;
}

}  // namespace platform::d3d9
