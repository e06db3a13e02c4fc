// The camera and the projection: placing the camera by angles, the
// projection modes, the cached products of the transform chain and the 2D
// camera that every draw target gets.
#include "graphics/camera/camera.h"

#include "foundation/base/numbers.h"
#include "graphics/batch/vertex_batch.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/settings/settings_internal.h"

namespace tessel {

namespace {

constexpr float kTan30 = 0.5773502588272095f;
constexpr float kSixtyDegrees = 1.0471975803375244f;

void TargetSize(float* width, float* height) {
    int w = 0;
    int h = 0;
    if (settings::DrawTargetSize(g_drawSettings.drawTarget, &w, &h) != 0) {
        w = settings::ScreenWidth();
        h = settings::ScreenHeight();
    }
    *width = static_cast<float>(w);
    *height = static_cast<float>(h);
}

}  // namespace

Vec3* CrossProduct3(Vec3* out, Vec3 a, Vec3 b) {
    *out = Vec3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, b.y * a.x - b.x * a.y};
    return out;
}

Vec3* TransformPointByMat(Vec3* out, Vec3 p, const Mat4* m) {
    const auto& r = m->m;
    *out = Vec3{p.x * r[0][0] + p.y * r[1][0] + p.z * r[2][0] + r[3][0],
                p.x * r[0][1] + p.y * r[1][1] + p.z * r[2][1] + r[3][1],
                p.x * r[0][2] + p.y * r[1][2] + p.z * r[2][2] + r[3][2]};
    return out;
}

Vec3* TransformDirectionByMat(Vec3* out, Vec3 d, const Mat4* m) {
    const auto& r = m->m;
    *out = Vec3{d.x * r[0][0] + d.y * r[1][0] + d.z * r[2][0],
                d.x * r[0][1] + d.y * r[1][1] + d.z * r[2][1],
                d.x * r[0][2] + d.y * r[1][2] + d.z * r[2][2]};
    return out;
}

int PlaceCameraByAngles(float x, float y, float z, float vRot, float hRot, float tRot) {
    CameraSettings& c = g_drawSettings.camera;
    c.vRot = vRot;
    c.hRot = hRot;
    c.tRot = tRot;
    float sV = 0, cV = 0, sH = 0, cH = 0, sT = 0, cT = 0;
    SinCos(vRot, &sV, &cV);
    SinCos(hRot, &sH, &cH);
    SinCos(tRot, &sT, &cT);
    const Vec3 position{x, y, z};
    const Vec3 target{x + cV * sH, y - sV, z + cV * cH};
    const Vec3 up{sV * sH * cT - cH * sT, cV * cT, sV * cH * cT + sH * sT};
    Mat4 view = {};
    LookAtMatrix(&view, &position, &target, &up);
    SetViewTransform(&view);
    c.cameraView = view;
    c.position = position;
    c.target = target;
    c.up = up;
    return 0;
}

int SetCameraScreenCenter(float x, float y) {
    CameraSettings& c = g_drawSettings.camera;
    c.centerX = x;
    c.centerY = y;
    float w = 0;
    float h = 0;
    TargetSize(&w, &h);
    Mat4 adjust = {};
    MatViewport(&adjust, x, y, w * c.adjustScale, h * c.adjustScale);
    return SetProjectionAdjustTransform(&adjust);
}

int RebuildProjection() {
    CameraSettings& c = g_drawSettings.camera;
    float w = 0;
    float h = 0;
    TargetSize(&w, &h);
    const float aspect = c.projectionMode == 2 ? 0.0f : (h / w) * c.aspectFactor;
    Mat4 projection = c.projectionSource;
    if (c.projectionMode == 0) {
        MatPerspective(&projection, c.fieldOfView, c.nearZ, c.farZ, aspect);
    } else if (c.projectionMode == 1) {
        MatOrtho(&projection, c.orthoHeight, c.nearZ, c.farZ, aspect);
    }
    return SetProjectionTransform(&projection);
}

int SetCameraDepthRange(float nearZ, float farZ) {
    g_drawSettings.camera.nearZ = nearZ;
    g_drawSettings.camera.farZ = farZ;
    RebuildProjection();
    return 0;
}

int SetCameraFieldOfView(float fov) {
    g_drawSettings.camera.projectionMode = 0;
    g_drawSettings.camera.fieldOfView = fov;
    RebuildProjection();
    return 0;
}

int SetProjectionMatrix(const Mat4* matrix) {
    g_drawSettings.camera.projectionMode = 2;
    g_drawSettings.camera.projectionSource = *matrix;
    RebuildProjection();
    return 0;
}

void UpdateViewProjectionCache() {
    DrawSettings& s = g_drawSettings;
    CameraSettings& c = s.camera;
    if (c.cacheValid != 0) {
        return;
    }
    MatMul(&c.viewProjection, &s.view, &s.projection);
    MatMul(&c.viewProjection, &c.viewProjection, &s.projectionAdjust);
    MatMul(&c.fullTransform, &s.world, &c.viewProjection);
    for (int row = 0; row < 3; ++row) {
        c.rightAxis[row] = s.view.m[row][0];
        c.upAxis[row] = s.view.m[row][1];
        c.forwardAxis[row] = s.view.m[row][2];
    }
    c.rightAxis[3] = 0.0f;
    c.upAxis[3] = 0.0f;
    c.forwardAxis[3] = 0.0f;
    c.cacheValid = 1;
}

Vec3* WorldToScreenPoint(Vec3* out, Vec3 p) {
    const auto& r = g_drawSettings.camera.fullTransform.m;
    float v[4];
    for (int col = 0; col < 4; ++col) {
        v[col] = p.x * r[0][col] + p.y * r[1][col] + p.z * r[2][col] + r[3][col];
    }
    *out = Vec3{v[0] / v[3], v[1] / v[3], v[2] / v[3]};
    return out;
}

// The camera every target selection leaves: it looks along +z from the
// target's centre, far enough back that a 60-degree view spans the target's
// height, so points at z = 0 fall on whole pixels. Its up is +y while rows
// count downwards, so a point (x, y, 0) lands on pixel (x, height - y): the
// 2D picture of the 3D world is mirrored vertically. That is kept on
// purpose: programs' own 3D drawing and the game's floor place their cameras
// from this one and are drawn for it, and a device shows the same.
void ResetCameraForTarget() {
    DrawSettings& s = g_drawSettings;
    float w = 0;
    float h = 0;
    TargetSize(&w, &h);
    Mat4 identity = {};
    MatIdentity(&identity);
    SetWorldTransform(&identity);
    MatViewport(&s.drawAreaMatrix, w * 0.5f, h * 0.5f, w, h);
    MatInverted(&s.drawAreaInverse, &s.drawAreaMatrix);
    SetCameraScreenCenter(w * 0.5f, h * 0.5f);
    const float distance = static_cast<float>(static_cast<int>(h) / 2) / kTan30;
    const Vec3 eye{w * 0.5f, h * 0.5f, -distance};
    const Vec3 target{w * 0.5f, h * 0.5f, -distance + 1.0f};
    const Vec3 up{0.0f, 1.0f, 0.0f};
    Mat4 view = {};
    LookAtMatrix(&view, &eye, &target, &up);
    SetViewTransform(&view);
    s.camera.position = eye;
    s.camera.target = target;
    s.camera.up = up;
    SetCameraFieldOfView(kSixtyDegrees);
    SetCameraDepthRange(distance * 0.10000000149011612f + 0.0f, distance + 20000.0f);
}

}  // namespace tessel
