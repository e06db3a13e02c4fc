// Internal side of the test hooks: the call trace, refusals, the active
// profile, failure injection and the list of live devices.
#pragma once

#include <cstddef>
#include <string>

#include "platform/d3d9.h"
#include "platform/d3d9_testing.h"

namespace platform::d3d9 {

// Counts the call and, while recording, keeps it with its arguments.
void Trace(const char* method, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Names the method a refusal belongs to, for methods the trace leaves out
// (read-backs and the adapter's queries); Trace does it for the others.
void Enter(const char* method);
// Adds the vertex bytes of a draw to the call traced last.
void TraceVertices(const void* data, size_t bytes);
bool TraceRecording();

// Records why a call is refused (on the call traced last, while recording)
// and returns the result the reason's table entry gives the call.
HRESULT Refuse(D3D9Refusal reason);
using Why = D3D9Refusal;

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
