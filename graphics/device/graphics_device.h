// The graphics system's life: bringing Direct3D up (or the software path when
// no device can be had), re-creating every device object after a lost
// device, changing the screen mode while running, and the orderly shutdown.
// Also the screen settings a program chooses before start-up and the getters
// the rest of the library reads them through.
#pragma once

#include <cstdint>

#include "platform/d3d9.h"
#include "platform/ddraw.h"
#include "platform/types.h"

namespace tessel {

// 0, or -1 when neither a device nor the software path could be set up.
int InitGraphicsSystem();
// Always 0.
int TerminateGraphicsSystem();
// 0 with the drawing path chosen (HardwareInUse tells which); -1 when
// d3d9.dll or DirectDraw is missing, or when the software path cannot set the
// full-screen mode.
int SetupDirect3D();

// Each 0 or -1, with its log lines.
int CreateDirectDrawObject();
int CreateDirect3DObject();
int CreateDirect3DDevice();
int CreateZBuffer();
int CreateSubBackBuffer();
int CreateMaxBrightnessVolume();
// Releases every device object, the Direct3D and DirectDraw objects and the
// module, and gives the desktop back the display mode the program changed.
void ReleaseDirect3D();

// Releases and re-creates the device and every device object, keeping the
// screen mode and every handle. When the device does not come back, graphics
// stay lost and the next activation tries again. 0.
int RestoreGraphicsDevice();
// What the window procedure does when the application becomes active again:
// restores the device when it is lost (window mode: when a trial present
// fails; full screen: unless the window is minimised).
void RestoreGraphicsOnActivation(int minimised);
// Presentation reports each Present's result: a lost device is remembered
// until a restore brings it back.
void NotePresentResult(HRESULT result);
int IsGraphicsDeviceLost();

// The mode-change sequence; -1 in a value keeps the current one; force 1 runs
// it even when nothing changes. 0 (a change that cannot be served even at
// 640x480, 16 bits ends the program).
int ChangeScreenModeCore(int width, int height, int bits, int force, int refresh);
// 0 set as asked; -1 refused or failed (nothing changed); -2 failed and fell
// back to 640x480 at 16 bits. Before start-up it only stores the values.
int SetScreenMode(int width, int height, int bits, int refresh);
// use 0 forbids Direct3D. -1 (and no change) once the library has started.
int SetUseHardwareOption(int use);
int QueryUseHardwareOption();
// Desktop composition off while graphics run. 0.
int SetDesktopCompositionOff(int off);

// Every hardware draw opens a scene first; everything that reads or presents
// the back buffer closes it.
void EnsureSceneBegun();
void EnsureSceneEnded();
// 0. On the hardware path: the device's dialog-box mode off, then on again
// when `on` is not 0.
int SetDeviceDialogBoxMode(int on);
// 0. Ends an open scene first, then sets the dialog-box mode to `on`.
int SetDialogBoxModeWithSceneEnd(int on);
// Null without a device or on failure.
IDirect3DVertexBuffer9* CreateDeviceVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool);
IDirect3DIndexBuffer9* CreateDeviceIndexBuffer(UINT length, DWORD usage, D3DFORMAT format,
                                               D3DPOOL pool);

// Getters. Each output may be null.
IDirectDraw7* QueryDirectDrawObject();
// 640 and 480 when not set. 0.
int QueryScreenSize(int* width, int* height);
// 16 when not set.
int QueryScreenColorDepth();
// The size drawn to: 320x240 while either 320x240 flag is set. 0.
int QueryScreenState(int* width, int* height, int* bits);
int IsFullScreenMode();
// Full-screen 320x240: the low-resolution flag, and 640x480 for the display
// and every buffer.
void SetScreenHalfSize();
DDCAPS* ClearDirectDrawCaps(DDCAPS* caps);
// An empty hook.
int NoOpReturnZero();

// The colour with its hue kept and its brightest channel raised to 255;
// black (and any grey) becomes white. Inputs above 255 count as 255.
struct Rgb8 {
    uint8_t r;
    uint8_t g;
    uint8_t b;
};
Rgb8 MaximiseBrightness(int red, int green, int blue);

}  // namespace tessel
