// The client-area pixels of each window; the screen shows them (screen.cpp).
#include <algorithm>

#include "platform/window/window_internal.h"

namespace platform {

void ResizeFramebuffer(WindowRecord* window) {
    int width = std::max(window->clientWidth, 0);
    int height = std::max(window->clientHeight, 0);
    if (width == window->pixelWidth && height == window->pixelHeight) {
        return;
    }
    // What was drawn stays where it was; new area starts black.
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    int keepWidth = std::min(width, window->pixelWidth);
    int keepHeight = std::min(height, window->pixelHeight);
    for (int y = 0; y < keepHeight; ++y) {
        std::copy_n(window->pixels.begin() + static_cast<ptrdiff_t>(y) * window->pixelWidth,
                    keepWidth, pixels.begin() + static_cast<ptrdiff_t>(y) * width);
    }
    window->pixels.swap(pixels);
    window->pixelWidth = width;
    window->pixelHeight = height;
}

bool LockWindowFramebuffer(HWND handle, WindowFramebuffer* out) {
    if (out == nullptr) {
        return false;
    }
    WindowRecord* window = nullptr;
    {
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        window = FindWindowRecord(handle);
        if (window == nullptr) {
            return false;
        }
        ++window->busy;  // the record outlives a DestroyWindow until the unlock
    }
    window->pixelLock.lock();
    ResizeFramebuffer(window);
    out->pixels = window->pixels.data();
    out->width = window->pixelWidth;
    out->height = window->pixelHeight;
    out->pitch = window->pixelWidth * 4;
    return true;
}

void UnlockWindowFramebuffer(HWND handle, bool changed) {
    WindowRecord* window = nullptr;
    {
        // A window destroyed while locked is still found: the lock's use keeps it.
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        window = FindUsedRecord(handle);
    }
    if (window == nullptr) {
        return;
    }
    if (changed) {
        PresentFramebuffer(window);
    }
    window->pixelLock.unlock();
    EndBusyUse(window);
}

}  // namespace platform
