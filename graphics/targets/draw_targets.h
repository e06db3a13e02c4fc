// Draw targets, the software path's screens, reading the target back and
// presenting the finished frame to the window.
#pragma once

#include <cstdint>

#include "graphics/memimg/memimg.h"
#include "images/base_image.h"
#include "platform/d3d9.h"
#include "platform/types.h"

namespace tessel {

struct DrawTargetState {
    // The software path's screen and the two work images the software string
    // drawing uses (without and with alpha), all of the screen size.
    MEMIMG primarySoftScreen;
    MEMIMG workImage;
    MEMIMG workImageAlpha;
    // What the software kernels draw into.
    MEMIMG* currentSoftTarget;
    // The last full presentation's area: the source rectangle on the device
    // path, the destination's size on the software path.
    RECT presentArea;
    // The screen lock: the surface locked in place, or the system-memory copy
    // of the rectangle locked instead.
    int32_t lockHeld;
    IDirect3DSurface9* lockedSurface;
    IDirect3DSurface9* lockedCopy;
};
extern DrawTargetState g_targets;

// The timer the front screen refreshes the window with.
constexpr UINT_PTR kFrontScreenTimerId = 32767;
constexpr UINT kFrontScreenTimerPeriod = 32;

int CreateSoftwareScreens();
void ReleaseSoftwareScreens();
MEMIMG* CurrentSoftTarget();
// The size of the current draw target; 0 x 0 when it names no image any more.
void CurrentTargetSize(int* width, int* height);

// 0, or -1 with nothing changed for a target that is not a screen or a
// drawable image.
int SelectDrawTarget(int target);
// Sends the stored target to the device again (after the device came back).
void SelectCurrentDrawTarget();
// A null rectangle, or one with a negative left or top, erases all.
int EraseDrawTarget(const RECT* rect);
// Both screens erased and the result shown (after the device came back).
void EraseAndPresentScreens();

int LockScreenRect(const RECT* rect, BASEIMAGE* image);
int ReleaseScreenLock();
int CaptureScreenToImage(int x1, int y1, int x2, int y2, int image);
// saveType 0 BMP, 1 JPEG, 2 PNG: the writer's result; -1 for another type.
int SaveDrawScreen(int x1, int y1, int x2, int y2, const char* fileName, int saveType,
                   int jpegQuality, int jpegExtra, int pngLevel);

// The frame being presented, whatever the target: the back buffer (which a
// sub back buffer has just been copied to) or the software screen, copied
// into a buffer of its size and format, made anew when the one given
// differs. 0 or -1.
int CopyScreenPixels(BASEIMAGE* into);

// The last whole-screen presentation, kept so that an inactive window can
// show it again (RepaintLastFrame): taken at every full presentation.
void KeepLastFrame();
int LastFrameKept();
// The image made from the kept frame goes; the frame stays (graphics end).
void ForgetLastFrameImage();
// The kept frame and its image go (the window ends).
void ReleaseLastFrame();

int PresentScreen(const RECT* rect);
int PresentScreenPublic();
int PresentBackScreen();
int EnsureSubBackBuffer();
void FrontScreenRefreshTimer(HWND window, UINT message, UINT_PTR id, DWORD time);

}  // namespace tessel
