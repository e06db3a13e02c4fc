// Helpers the draw settings' files share.
#pragma once

namespace tessel {

// The screen draw targets: the back and the front screen.
constexpr int kDrawTargetBack = -2;
constexpr int kDrawTargetFront = -4;

namespace settings {

// A device to send to on the hardware path.
bool OnHardware();
int ScreenWidth();
int ScreenHeight();
// The size of a draw target: the screen for the screen targets, else the
// image's. -1 for a bad image handle.
int DrawTargetSize(int target, int* width, int* height);

}  // namespace settings
}  // namespace tessel
