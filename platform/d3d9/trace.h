// Internal side of the test hooks: the call trace, the active profile,
// failure injection and the list of live devices.
#pragma once

#include <cstddef>
#include <string>

#include "platform/d3d9.h"
#include "platform/d3d9_testing.h"

namespace platform::d3d9 {

// Counts the call and, while recording, keeps it with its arguments.
void Trace(const char* method, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Adds the vertex bytes of a draw to the call traced last.
void TraceVertices(const void* data, size_t bytes);
bool TraceRecording();

std::string FormatRect(const RECT* rect);

// A copy of the profile in force.
D3D9Profile ActiveProfile();

// True when an injected failure is due for this call (and uses it up).
bool ConsumeFailure(D3D9FailPoint point);

class Device;
void RegisterLiveDevice(Device* device);
void UnregisterLiveDevice(Device* device);

// Blocks until the next vertical blank begins (or counts one when virtual).
void WaitForNextVerticalBlank();

}  // namespace platform::d3d9
