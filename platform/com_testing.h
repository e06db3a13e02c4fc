// Test hooks of COM (not part of COM).
#pragma once

#include "platform/com.h"

namespace platform {

// Task memory blocks allocated and not yet freed, process-wide.
long TaskMemoryBlocksOutstanding();

}  // namespace platform
