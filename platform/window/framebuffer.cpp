// The client-area pixels of each window, and their way to the screen.
#include <SDL.h>

#include <algorithm>

#include "platform/window/internal.h"

namespace platform {

void ResizeFramebuffer(HWND window) {
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

void PresentFramebuffer(HWND window) {
    if (window->sdl == nullptr || !HasRealVideoDriver() || !IsVideoThread() ||
        window->pixelWidth == 0 || window->pixelHeight == 0) {
        return;
    }
    SDL_Surface* surface = SDL_GetWindowSurface(window->sdl);
    if (surface == nullptr) {
        return;
    }
    int width = std::min(surface->w, window->pixelWidth);
    int height = std::min(surface->h, window->pixelHeight);
    if (SDL_MUSTLOCK(surface)) {
        SDL_LockSurface(surface);
    }
    // SDL's RGB888 is X8R8G8B8 in a 32-bit word, as ours.
    SDL_ConvertPixels(width, height, SDL_PIXELFORMAT_RGB888, window->pixels.data(),
                      window->pixelWidth * 4, surface->format->format, surface->pixels,
                      surface->pitch);
    if (SDL_MUSTLOCK(surface)) {
        SDL_UnlockSurface(surface);
    }
    SDL_UpdateWindowSurface(window->sdl);
}

bool LockWindowFramebuffer(HWND window, WindowFramebuffer* out) {
    if (out == nullptr) {
        return false;
    }
    {
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        if (!IsLiveWindow(window)) {
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

void UnlockWindowFramebuffer(HWND window, bool changed) {
    if (window == nullptr) {
        return;
    }
    if (changed) {
        PresentFramebuffer(window);
    }
    window->pixelLock.unlock();
    bool release = false;
    {
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        --window->busy;
        release = window->destroyed && window->busy == 0;
    }
    if (release) {
        delete window;
    }
}

}  // namespace platform
