#include "foundation/runtime/system_state.h"

#include <cstddef>
#include <cstring>

namespace tessel {

SystemState g_system = [] {
    SystemState state;
    std::memset(&state, 0, sizeof(state));
    state.windowScaleX = 1.0;
    state.windowScaleY = 1.0;
    return state;
}();

void ResetSystemState() {
    constexpr size_t kKept = offsetof(SystemState, usePerformanceCounter);
    std::memset(reinterpret_cast<char*>(&g_system) + kKept, 0, sizeof(SystemState) - kKept);
}

}  // namespace tessel
