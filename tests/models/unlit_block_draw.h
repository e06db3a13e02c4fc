// Drawing a model's device buffer block by hand, as the model tests check
// what a block holds: unlit in its vertex colour, x and y seen at 1/8, with no
// depth test, culling, blending, fog, texture or shader in the way.
#pragma once

#include <gtest/gtest.h>

#include "graphics/device/graphics_device.h"
#include "models/core/model_records.h"
#include "platform/d3d9.h"

namespace tessel_test {

// Clears the target to CLEAR and binds BLOCK, ready for an indexed draw.
inline IDirect3DDevice9* BeginUnlitBlockDraw(const tessel::ModelBufferBlock* block,
                                             D3DCOLOR clear) {
    IDirect3DDevice9* device = tessel::g_graphics.device;
    tessel::EnsureSceneBegun();
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, clear, 1.0f, 0), D3D_OK);
    D3DMATRIX identity = {};
    identity._11 = identity._22 = identity._33 = identity._44 = 1.0f;
    D3DMATRIX projection = identity;
    projection._11 = projection._22 = projection._33 = 0.125f;
    device->SetTransform(D3DTS_WORLD, &identity);
    device->SetTransform(D3DTS_VIEW, &identity);
    device->SetTransform(D3DTS_PROJECTION, &projection);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device->SetRenderState(D3DRS_FOGENABLE, FALSE);
    device->SetTexture(0, nullptr);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    device->SetVertexShader(nullptr);
    device->SetPixelShader(nullptr);
    EXPECT_EQ(device->SetFVF(block->fvf), D3D_OK);
    EXPECT_EQ(device->SetStreamSource(0, block->vertexBuffer, 0, block->stride), D3D_OK);
    EXPECT_EQ(device->SetIndices(block->indexBuffer), D3D_OK);
    return device;
}

// Unbinds the block and ends the scene; the render target, for the caller
// to read and release.
inline IDirect3DSurface9* EndUnlitBlockDraw(IDirect3DDevice9* device) {
    device->SetStreamSource(0, nullptr, 0, 0);
    device->SetIndices(nullptr);
    tessel::EnsureSceneEnded();
    IDirect3DSurface9* target = nullptr;
    EXPECT_EQ(device->GetRenderTarget(0, &target), D3D_OK);
    return target;
}

}  // namespace tessel_test
