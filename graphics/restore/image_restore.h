// Refilling images after the device came back: by default every image that
// remembers its file is reloaded from it (one load for a run of images of the
// same file), or a function the program registered does the refill.
#pragma once

#include <cstdint>

namespace tessel {

using RestoreFunction = void (*)(void* data);

// Null registers the default refill. 0.
int SetRestoreCallback(RestoreFunction function, void* data = nullptr);
// Runs the registered refill, then makes every font again. 0.
int RunRestore();
// The default refill.
void RestoreAllImages();
// How many files the default refill has loaded since the process started.
uint64_t RestoreLoadCount();

}  // namespace tessel
