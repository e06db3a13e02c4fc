// The library's on-screen text console: a font of its own and 80 lines that
// the presentation draws over the frame while it has lines to show. Nothing
// in the library writes lines into it, so its one lasting effect is the font
// slot it holds from start-up to shutdown.
#pragma once

namespace tessel {

// 0, or -1 without the DirectDraw object or the main window; a second call
// returns 0 at once.
int StartDebugText();
// Releases the console's font unless it is already lost. 0.
int EndDebugText();
int IsDebugTextActive();
// Makes sure the console and its font exist, then draws the lines that fit
// the screen, white with a black edge. 0.
int DrawDebugText();

}  // namespace tessel
