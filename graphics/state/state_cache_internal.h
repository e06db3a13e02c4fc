// What the cache's files share: the device test, the compare rule and the
// render-state send that every single-value setter goes through.
#pragma once

#include <bit>
#include <cstdint>

#include "graphics/batch/vertex_batch.h"
#include "graphics/device/device_state.h"
#include "graphics/state/render_state_cache.h"

namespace tessel::state_cache {

inline bool HasDevice() {
    return g_graphics.device != nullptr;
}

// Equal values are held back unless the re-apply steps force a re-send.
inline bool HoldBack(bool equal) {
    return equal && g_stateCache.force == 0;
}

inline int ResultOf(HRESULT result) {
    return SUCCEEDED(result) ? 0 : -1;
}

inline DWORD FloatBits(float value) {
    return std::bit_cast<DWORD>(value);
}

// The rule of a single render state (the caller has checked for a device):
// compare with the cache, flush, send, store. 0 when the device took it.
inline int SetCachedRenderState(int32_t* field, int32_t value, D3DRENDERSTATETYPE state,
                                DWORD deviceValue) {
    if (HoldBack(*field == value)) {
        return 0;
    }
    FlushVertexBatch();
    HRESULT result = g_graphics.device->SetRenderState(state, deviceValue);
    *field = value;
    return ResultOf(result);
}

// Refreshes the fog's vertex register from the cached range and density.
void RefreshFogConstant();

}  // namespace tessel::state_cache
