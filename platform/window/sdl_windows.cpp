// The SDL backend's windows: one SDL window per top-level window that the
// screen shows, brought to what the service asks, its pixels presented and
// its icon set. The service decides when; nothing here sends a message.
#include <SDL.h>

#include <unordered_map>

#include "platform/window/backend_internal.h"
#include "platform/window/sdl_backend_internal.h"

namespace platform {

struct BackendWindow {
    SDL_Window* sdl = nullptr;
    uint32_t id = 0;
};

namespace {

// SDL's window ids to our records; guarded by WindowLock().
std::unordered_map<uint32_t, WindowRecord*>& ById() {
    static auto* windows = new std::unordered_map<uint32_t, WindowRecord*>();
    return *windows;
}

Uint32 CreationFlags(const ScreenWindowState& state) {
    Uint32 flags = SDL_WINDOW_HIDDEN;
    if (!state.framed) {
        flags |= SDL_WINDOW_BORDERLESS;
    }
    if (state.resizable) {
        flags |= SDL_WINDOW_RESIZABLE;
    }
    return flags;
}

}  // namespace

SDL_Window* SdlWindowOf(const WindowRecord* window) {
    return window != nullptr && window->backend != nullptr ? window->backend->sdl : nullptr;
}

uint32_t SdlWindowIdOf(const WindowRecord* window) {
    return window != nullptr && window->backend != nullptr ? window->backend->id : 0;
}

WindowRecord* WindowOfSdlId(uint32_t id) {
    auto found = ById().find(id);
    return found == ById().end() ? nullptr : found->second;
}

bool BackendSyncWindow(WindowRecord* window, const ScreenWindowState& state) {
    if (window->backend == nullptr) {
        SDL_Window* sdl = SDL_CreateWindow(state.titleUtf8.c_str(), state.x, state.y, state.width,
                                           state.height, CreationFlags(state));
        if (sdl == nullptr) {
            return false;
        }
        window->backend = new BackendWindow{sdl, SDL_GetWindowID(sdl)};
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        ById()[window->backend->id] = window;
    }
    SDL_Window* sdl = window->backend->sdl;
    SDL_SetWindowTitle(sdl, state.titleUtf8.c_str());
    SDL_SetWindowBordered(sdl, state.framed ? SDL_TRUE : SDL_FALSE);
    SDL_SetWindowResizable(sdl, state.resizable ? SDL_TRUE : SDL_FALSE);
    if (!state.fullScreen) {
        int oldX = 0;
        int oldY = 0;
        int oldWidth = 0;
        int oldHeight = 0;
        SDL_GetWindowPosition(sdl, &oldX, &oldY);
        SDL_GetWindowSize(sdl, &oldWidth, &oldHeight);
        if (oldWidth != state.width || oldHeight != state.height) {
            SDL_SetWindowSize(sdl, state.width, state.height);
        }
        if (oldX != state.x || oldY != state.y) {
            SDL_SetWindowPosition(sdl, state.x, state.y);
        }
    }
    return true;
}

// Shown after the icon is set, so that the desktop meets the window with it.
void BackendShowState(WindowRecord* window, const ScreenWindowState& state) {
    SDL_Window* sdl = SdlWindowOf(window);
    if (sdl == nullptr) {
        return;
    }
    Uint32 flags = SDL_GetWindowFlags(sdl);
    bool shown = (flags & SDL_WINDOW_SHOWN) != 0;
    if (state.visible && !shown) {
        SDL_ShowWindow(sdl);
    } else if (!state.visible && shown) {
        SDL_HideWindow(sdl);
    }
    if (state.visible && state.minimized && (flags & SDL_WINDOW_MINIMIZED) == 0) {
        SDL_MinimizeWindow(sdl);
    } else if (state.visible && state.maximized && (flags & SDL_WINDOW_MAXIMIZED) == 0) {
        SDL_MaximizeWindow(sdl);
    } else if (state.visible && !state.minimized && !state.maximized &&
               (flags & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_MAXIMIZED)) != 0) {
        SDL_RestoreWindow(sdl);
    }
}

void BackendSetFullScreen(WindowRecord* window, bool on) {
    SDL_Window* sdl = SdlWindowOf(window);
    if (sdl == nullptr) {
        return;
    }
    if (!on) {
        SDL_SetWindowFullscreen(sdl, 0);
        return;
    }
    // The desktop keeps its own mode; the window covers it and the picture
    // is stretched over it (BackendPresent), which shows what the mode would
    // without touching the desktop's resolution. Without a window manager to
    // honour the full-screen request the window is put over the desktop by
    // hand first.
    SDL_DisplayMode desktop = {};
    if (SDL_GetDesktopDisplayMode(0, &desktop) == 0) {
        SDL_SetWindowBordered(sdl, SDL_FALSE);
        SDL_SetWindowPosition(sdl, 0, 0);
        SDL_SetWindowSize(sdl, desktop.w, desktop.h);
    }
    SDL_SetWindowFullscreen(sdl, SDL_WINDOW_FULLSCREEN_DESKTOP);
}

void BackendDestroyWindow(WindowRecord* window) {
    BackendWindow* backend = nullptr;
    {
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        backend = window->backend;
        window->backend = nullptr;
        if (backend != nullptr) {
            ById().erase(backend->id);
        }
    }
    if (backend != nullptr) {
        SDL_DestroyWindow(backend->sdl);
        delete backend;
    }
}

void BackendPresent(WindowRecord* window) {
    SDL_Window* sdl = SdlWindowOf(window);
    if (sdl == nullptr) {
        return;
    }
    SDL_Surface* target = SDL_GetWindowSurface(sdl);
    if (target == nullptr) {
        return;
    }
    // SDL's RGB888 is X8R8G8B8 in a 32-bit word, as ours.
    SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(
        window->pixels.data(), window->pixelWidth, window->pixelHeight, 32, window->pixelWidth * 4,
        SDL_PIXELFORMAT_RGB888);
    if (source == nullptr) {
        return;
    }
    SDL_SetSurfaceBlendMode(source, SDL_BLENDMODE_NONE);
    // A full-screen window whose mode the display could not take covers the
    // whole screen: the picture is stretched over it, as the mode would show it.
    if (source->w == target->w && source->h == target->h) {
        SDL_BlitSurface(source, nullptr, target, nullptr);
    } else {
        SDL_BlitScaled(source, nullptr, target, nullptr);
    }
    SDL_FreeSurface(source);
    SDL_UpdateWindowSurface(sdl);
}

void BackendSetIcon(WindowRecord* window, const uint32_t* pixels, int width, int height) {
    SDL_Window* sdl = SdlWindowOf(window);
    if (sdl == nullptr) {
        return;
    }
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(
        const_cast<uint32_t*>(pixels), width, height, 32, width * 4, SDL_PIXELFORMAT_ARGB8888);
    if (surface != nullptr) {
        SDL_SetWindowIcon(sdl, surface);
        SDL_FreeSurface(surface);
    }
}

}  // namespace platform
