// Test hooks of COM (not part of COM).
#pragma once

#include "platform/com.h"

namespace platform {

// Task memory blocks allocated and not yet freed, process-wide.
long TaskMemoryBlocksOutstanding();

// Makes `factory` the one that CoCreateInstance uses for the class (after
// the layer's own classes are registered, so that they do not replace it)
// and returns the one it replaces, or null; null as the factory leaves the
// class unregistered.
ClassFactoryFunction ReplaceComClassForTesting(const CLSID& classId, ClassFactoryFunction factory);

}  // namespace platform
