// Test hooks of the kernel services (not part of Windows).
#pragma once

#include "platform/kernel.h"

namespace platform {

// Makes a module absent, to send the library down the path it takes on a
// machine without it.
void SetModuleAbsent(const char* name, bool absent);

// Catches what OutputDebugStringA writes; null goes back to standard error
// (when TESSEL_DEBUG_OUTPUT is set).
using DebugOutputSink = void (*)(const char* text, void* context);
void SetDebugOutputSink(DebugOutputSink sink, void* context);

// How many threads are blocked waiting for the object behind `handle` now;
// 0 for a handle that is not live. Lets a test see that a call it runs on
// another thread has reached its wait.
int ThreadsWaitingFor(HANDLE handle);

}  // namespace platform
