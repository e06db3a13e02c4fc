// Light handles: records in a table of 4096 slots, and their hand-over to
// the device, directional lights first, then spot lights, then point lights,
// so that the lights the shaders see are the directional ones.
#include <cmath>

#include "foundation/memory/memory.h"
#include "foundation/runtime/startup.h"
#include "graphics/camera/camera.h"
#include "graphics/state/render_state_cache.h"

namespace tessel {

LightTable g_lights;

namespace {

constexpr int kTypeOrder[3] = {D3DLIGHT_DIRECTIONAL, D3DLIGHT_SPOT, D3DLIGHT_POINT};

// While fewer than all slots have been used, the one after the highest; then
// the first empty one, or -1 when there is none.
int FindFreeSlot() {
    if (g_lights.end < kLightTableSize) {
        return g_lights.end;
    }
    for (int slot = 0; slot < kLightTableSize; ++slot) {
        if (g_lights.slots[slot] == nullptr) {
            return slot;
        }
    }
    return -1;
}

void SetLightDefaults(D3DLIGHT9* light) {
    light->Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
    light->Specular = {1.0f, 1.0f, 1.0f, 1.0f};
    light->Ambient = {0.33f, 0.33f, 0.33f, 0.33f};
    light->Range = 2000.0f;
    light->Falloff = 1.0f;
    light->Attenuation0 = 0.1f;
    light->Theta = 2.0f;
    light->Phi = 2.0f;
}

void FreeSlot(int slot) {
    FreeTracked(g_lights.slots[slot]);
    g_lights.slots[slot] = nullptr;
    --g_lights.count;
    if (slot == g_lights.end - 1) {
        int end = slot;
        while (end > 0 && g_lights.slots[end - 1] == nullptr) {
            --end;
        }
        g_lights.end = end;
    }
    g_lights.changed = 1;
}

}  // namespace

LightRecord* GetLightRecord(int handle) {
    if (handle < 0 || (static_cast<uint32_t>(handle) & 0x78000000u) != kLightHandleKind) {
        return nullptr;
    }
    const int slot = handle & 0xFFFF;
    if (slot >= kLightTableSize || g_lights.slots[slot] == nullptr) {
        return nullptr;
    }
    LightRecord* record = g_lights.slots[slot];
    return record->handle == handle ? record : nullptr;
}

int EnableLighting3D(int on) {
    g_lights.lightingOff = on == 0 ? 1 : 0;
    SetLightingSwitch(on);
    g_lights.changed = 1;
    return 0;
}

int AllocLightHandle() {
    const int slot = FindFreeSlot();
    if (slot < 0) {
        return -1;
    }
    auto* record =
        static_cast<LightRecord*>(AllocTrackedZeroed(sizeof(LightRecord), __FILE__, __LINE__));
    if (record == nullptr) {
        AbortWithLog("ライト用のメモリの確保に失敗しました");
    }
    SetLightDefaults(&record->light);
    record->deviceIndex = -1;
    record->check = g_lights.nextCheck;
    g_lights.nextCheck = g_lights.nextCheck == 2047 ? 0 : g_lights.nextCheck + 1;
    record->handle = static_cast<int32_t>(((static_cast<uint32_t>(record->check) | 0x4800u) << 16) |
                                          static_cast<uint32_t>(slot));
    g_lights.slots[slot] = record;
    ++g_lights.count;
    if (slot >= g_lights.end) {
        g_lights.end = slot + 1;
    }
    record->enabled = 1;
    record->changed = 1;
    g_lights.changed = 1;
    return record->handle;
}

int CreateDirectionalLight(float x, float y, float z) {
    const float length = std::sqrt(x * x + y * y + z * z);
    if (length == 0.0f) {
        return -1;
    }
    const int handle = AllocLightHandle();
    LightRecord* record = GetLightRecord(handle);
    if (record == nullptr) {
        return -1;
    }
    record->light.Type = D3DLIGHT_DIRECTIONAL;
    record->light.Direction = {x / length, y / length, z / length};
    return handle;
}

int ReleaseLightHandle(int handle) {
    if (GetLightRecord(handle) == nullptr) {
        return -1;
    }
    FreeSlot(handle & 0xFFFF);
    return 0;
}

int DeleteAllLights() {
    for (int slot = 0; slot < g_lights.end; ++slot) {
        LightRecord* record = g_lights.slots[slot];
        if (record != nullptr && record->handle != g_lights.defaultLight) {
            FreeSlot(slot);
        }
    }
    return 0;
}

void ReleaseDefaultLight() {
    if (ReleaseLightHandle(g_lights.defaultLight) == 0) {
        g_lights.defaultLight = -1;
    }
}

void MarkLightsForResend() {
    g_lights.resendAll = 1;
}

int ApplyLightsToDevice() {
    SetLightingSwitch(g_lights.lightingOff == 0 ? 1 : 0);
    if (g_lights.changed == 0 && g_lights.resendAll == 0) {
        return 0;
    }
    int index = 0;
    for (int type : kTypeOrder) {
        int seen = 0;
        for (int slot = 0; slot < g_lights.end && seen < g_lights.count; ++slot) {
            LightRecord* record = g_lights.slots[slot];
            if (record == nullptr) {
                continue;
            }
            ++seen;
            if (record->enabled == 0 || static_cast<int>(record->light.Type) != type) {
                continue;
            }
            if (record->deviceIndex != index || record->changed != 0 || g_lights.resendAll != 0) {
                record->deviceIndex = index;
                record->changed = 0;
                ApplyLightBlock(index, 1, &record->light);
            }
            ++index;
        }
    }
    for (int stale = index; stale < g_lights.sentCount; ++stale) {
        ApplyLightBlock(stale, 0, nullptr);
    }
    g_lights.sentCount = index;
    g_lights.lastIndex = index - 1;
    g_lights.changed = 0;
    g_lights.resendAll = 0;
    return 0;
}

}  // namespace tessel
