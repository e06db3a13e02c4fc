// The 3D side of the draw settings: the camera, the projection modes, the
// cached products of the transform chain, the 2D camera every draw target
// gets, the light handles and the start-up reset of the whole record.
#pragma once

#include <cstdint>

#include "foundation/math/matrix.h"
#include "platform/d3d9.h"

namespace tessel {

// ---- camera and projection
int PlaceCameraByAngles(float x, float y, float z, float vRot, float hRot, float tRot);
int SetCameraScreenCenter(float x, float y);
int SetCameraDepthRange(float nearZ, float farZ);
int SetCameraFieldOfView(float fov);
int SetProjectionMatrix(const Mat4* matrix);
int RebuildProjection();
void UpdateViewProjectionCache();
Vec3* WorldToScreenPoint(Vec3* out, Vec3 point);
// The camera part of selecting a draw target: a camera that shows the target
// pixel for pixel at z = 0, y growing downwards.
void ResetCameraForTarget();
Vec3* CrossProduct3(Vec3* out, Vec3 a, Vec3 b);
Vec3* TransformPointByMat(Vec3* out, Vec3 point, const Mat4* matrix);
Vec3* TransformDirectionByMat(Vec3* out, Vec3 direction, const Mat4* matrix);

// ---- lights
constexpr int kLightTableSize = 4096;
constexpr uint32_t kLightHandleKind = 0x48000000u;

struct LightRecord {
    int32_t check;
    int32_t handle;
    D3DLIGHT9 light;
    int32_t deviceIndex;  // -1 until sent
    int32_t enabled;
    int32_t changed;
};

struct LightTable {
    LightRecord* slots[kLightTableSize];
    int32_t count;
    int32_t end;  // one past the highest slot in use
    int32_t nextCheck;
    int32_t sentCount;  // device indices used by the last send
    int32_t lastIndex;
    int32_t changed;
    int32_t resendAll;
    int32_t defaultLight;
    int32_t lightingOff;
    D3DMATERIAL9 material;
    int32_t materialChanged;
    int32_t diffuseSource;
    int32_t specularSource;
};
extern LightTable g_lights;

int EnableLighting3D(int on);
// -1 when every slot holds a light.
int AllocLightHandle();
// -1 for a zero direction, which has no normal.
int CreateDirectionalLight(float x, float y, float z);
int ReleaseLightHandle(int handle);
// Every light except the default one.
int DeleteAllLights();
void ReleaseDefaultLight();
int ApplyLightsToDevice();
// After the device was made again every enabled light goes to it again.
void MarkLightsForResend();
LightRecord* GetLightRecord(int handle);

// ---- start-up and device re-creation
int ResetDrawState();
// Before the draw target is selected on a new device, and after every other
// state went to it.
void KeepCameraMatrices();
void ReapplyCameraMatrices();

}  // namespace tessel
