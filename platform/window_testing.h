// Test hooks of the window service (not part of Windows): display modes,
// message boxes without a screen, the single-instance namespace.
#pragma once

#include "platform/window.h"

namespace platform {

// Replaces the display modes the screen reports; a null list (or a negative
// count) goes back to the screen's own.
void SetDisplayModes(const DisplayMode* modes, int count, const DisplayMode* desktop);

// What MessageBoxA answers without a screen to show it on (the dummy video
// driver, or when a test forces it): 0 means the box's cancel answer (IDOK
// for a box with only OK, IDNO for Yes/No). The last box's texts are kept.
void SetMessageBoxAnswer(int answer, bool forceHeadless);
const char* LastMessageBoxText();
const char* LastMessageBoxCaption();
int MessageBoxCount();

// The namespace in which FindWindowA looks for windows of other processes.
// Also taken from the environment variable TESSEL_INSTANCE_NAMESPACE; by
// default one per display ("x11-:0", "wayland-wayland-0", or "headless" for
// the dummy and offscreen drivers). Null returns to the default.
void SetInstanceNamespace(const char* name);

// True when windows are shown by a real video driver (not dummy/offscreen).
bool HasRealVideoDriver();

}  // namespace platform
