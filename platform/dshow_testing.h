// Test hooks of the media graph (not part of it).
#pragma once

#include "platform/dshow.h"

namespace platform {

// Framework objects (filters, pins' filters, allocators, enumerators and
// graphs) alive now, process-wide.
long LiveMediaObjects();

// Forgets a registered filter or file source.
void UnregisterMediaFilter(const CLSID& classId);
void UnregisterFileSource(const CLSID& classId);

}  // namespace platform
