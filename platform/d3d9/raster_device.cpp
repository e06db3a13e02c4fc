// The device's draw calls: vertices from client memory in the format set by SetFVF, handed to
// the rasteriser with the device's states, render target and depth surface.
//
// Routes: DrawPrimitiveUP and DrawIndexedPrimitiveUP (client memory), DrawPrimitive and
// DrawIndexedPrimitive (stream 0 and the index buffer) check their arguments (counts and byte
// ranges in 64 bits), turn indices into offsets from the draw's first vertex (DrawWithIndices:
// index + base vertex - minimum index), run the vertex stage on each vertex (vertex_pipeline.h)
// and hand one draw to the rasteriser (DrawVertices).
//
// With a vertex shader set, the shader takes the place of transform and lighting
// (shaders/vertex_shading.h); with a pixel shader, the rasteriser's shader route takes the
// place of the texture stages (shaders/pixel_route.h).
//
// Pre-transformed vertices (XYZRHW) are used as they are: no transform, lighting or fog.
// Untransformed ones (XYZ) are transformed and lit into clip space; the rasteriser clips, divides
// by w and applies the viewport. Vertices without a diffuse colour are white, without a specular
// colour black; missing texture sets read (0, 0).

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/d3d9/device.h"
#include "platform/d3d9/raster_draw.h"
#include "platform/d3d9/shaders/pixel_route.h"
#include "platform/d3d9/shaders/vertex_shading.h"
#include "platform/d3d9/trace.h"
#include "platform/d3d9/vertex_pipeline.h"

namespace platform::d3d9 {
namespace {

RasterSurface SurfaceView(Surface* s) {
    RasterSurface r;
    if (s == nullptr)
        return r;
    r.bits = s->Bits();
    r.width = s->Width();
    r.height = s->Height();
    r.pitch = s->Pitch();
    r.format = s->Format();
    return r;
}

// A DXT level as A8R8G8B8 rows, decoded once for every change of its blocks rather than once
// for every texel sampled.
RasterSurface DecodedView(Surface* s) {
    std::vector<uint32_t>& copy = s->DecodedCopy();
    int w = s->Width(), h = s->Height();
    if (s->DecodedVersion() != s->Version() || copy.size() != static_cast<size_t>(w) * h) {
        copy.resize(static_cast<size_t>(w) * h);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                copy[static_cast<size_t>(y) * w + x] =
                    ReadPixel(s->Format(), s->Bits(), s->Pitch(), x, y);
            }
        }
        s->SetDecodedVersion(s->Version());
    }
    RasterSurface r;
    r.bits = reinterpret_cast<uint8_t*>(copy.data());
    r.width = w;
    r.height = h;
    r.pitch = w * 4;
    r.format = D3DFMT_A8R8G8B8;
    return r;
}

// The rasteriser's view of a bound texture; false for none or a kind it does not sample.
bool TextureView(IDirect3DBaseTexture9* base, RasterTexture* view) {
    if (base == nullptr || base->GetType() != D3DRTYPE_TEXTURE)
        return false;
    Texture* texture = static_cast<Texture*>(static_cast<IDirect3DTexture9*>(base));
    bool blocks = IsDxtFormat(texture->Format());
    view->format = blocks ? D3DFMT_A8R8G8B8 : texture->Format();
    view->levelCount = std::min(texture->LevelCount(), kRasterMaxLevels);
    for (int i = 0; i < view->levelCount; ++i) {
        Surface* level = texture->Level(i);
        view->levels[i] = blocks ? DecodedView(level) : SurfaceView(level);
    }
    return view->levelCount > 0;
}

// The layout of an FVF, which depends on nothing else: worked out again only when the FVF
// differs from the last draw's on this thread. False for one the device does not draw.
bool KnownLayoutFor(DWORD fvf, const VertexLayout** layout) {
    thread_local bool known = false;
    thread_local DWORD knownFvf = 0;
    thread_local bool drawable = false;
    thread_local VertexLayout kept;
    if (!known || knownFvf != fvf) {
        kept = VertexLayout();
        drawable = LayoutFor(fvf, &kept);
        knownFvf = fvf;
        known = true;
    }
    *layout = &kept;
    return drawable;
}

uint64_t VertexCountFor(D3DPRIMITIVETYPE type, UINT primitiveCount) {
    return RasterVertexCountFor(type, primitiveCount);
}

// A draw whose vertex count does not fit the 32 bits Direct3D counts in.
bool VertexCountOverflows(uint64_t count) {
    return count > UINT32_MAX;
}

// What both draw calls check of their primitives: a known type, a vertex (or
// index) count that fits, a stride.
HRESULT CheckPrimitives(D3DPRIMITIVETYPE type, UINT primitiveCount, uint64_t count, UINT stride) {
    if (type < D3DPT_POINTLIST || type > D3DPT_TRIANGLEFAN) {
        return Refuse(Why::BadPrimitiveType);
    }
    if (VertexCountOverflows(count)) {
        return Refuse(Why::VertexCountOverflow);
    }
    if (stride == 0) {
        return Refuse(Why::StrideTooSmall);
    }
    return D3D_OK;
}

}  // namespace

void Device::CopyRasterStates() {
    std::memcpy(rasterStates_.render, state_.renderStates, sizeof rasterStates_.render);
    for (int i = 0; i < kRasterStateStages; ++i)
        std::memcpy(rasterStates_.stage[i], state_.stageStates[i], sizeof rasterStates_.stage[i]);
    for (int i = 0; i < kRasterSamplerCount; ++i) {
        std::memcpy(rasterStates_.sampler[i], state_.samplerStates[i],
                    sizeof rasterStates_.sampler[i]);
    }
}

// The stages (the first eight) and the samplers (all sixteen) the rasteriser keeps; the slot and
// type checked.
void Device::KeepRasterStageState(DWORD stage, DWORD type, DWORD value) {
    if (stage < static_cast<DWORD>(kRasterStateStages) && type < kStageStateCount)
        rasterStates_.stage[stage][type] = value;
}

void Device::KeepRasterSamplerState(DWORD sampler, DWORD type, DWORD value) {
    if (sampler < static_cast<DWORD>(kRasterSamplerCount) && type < kSamplerStateCount)
        rasterStates_.sampler[sampler][type] = value;
}

HRESULT Device::DrawVertices(D3DPRIMITIVETYPE type, UINT primitiveCount, const uint8_t* vertexData,
                             UINT vertexCount, UINT stride, const uint32_t* indices) {
    const VertexShader* vertexShader = state_.vertexShader;
    const VertexLayout* fvfLayout = nullptr;
    ShaderVertexLayout shaderLayout;
    if (vertexShader != nullptr) {
        if (!ShaderLayoutFor(state_, vertexShader->Compiled(), &shaderLayout)) {
            return Refuse(Why::UnsupportedFvf);
        }
        if (stride < static_cast<UINT>(shaderLayout.size)) {
            return Refuse(Why::StrideTooSmall);
        }
    } else {
        if (!KnownLayoutFor(state_.fvf, &fvfLayout)) {
            return Refuse(Why::UnsupportedFvf);
        }
        if (stride < static_cast<UINT>(fvfLayout->size)) {
            return Refuse(Why::StrideTooSmall);
        }
    }
    Surface* target = state_.renderTargets[0];
    if (target == nullptr) {
        return Refuse(Why::NoRenderTarget);
    }

    // The stored states are the setters' copy; what follows fills in the rest, which the
    // vertex stage and the bound objects decide, for every draw.
    RasterStates& states = rasterStates_;
    // Grown, never shrunk: its first vertexCount vertices are this draw's, all written below.
    thread_local std::vector<RasterVertex> vertices;
    if (vertices.size() < vertexCount)
        vertices.resize(vertexCount);
    const PixelShader* pixelShader = state_.pixelShader;
    if (vertexShader != nullptr) {
        ShadeVertices(state_, vertexShader->Compiled(), shaderLayout, vertexData, vertexCount,
                      stride, pixelShader != nullptr, vertices.data(), &states);
    } else {
        thread_local VertexProgram program;
        CompileVertexProgram(state_, *fvfLayout, &program, &states);
        for (UINT i = 0; i < vertexCount; ++i)
            RunVertexProgram(program, vertexData + static_cast<size_t>(i) * stride, &vertices[i]);
    }
    thread_local shader::ShaderConstants pixelConstants;
    RasterPixelShader shading;
    states.pixelShader = nullptr;
    if (pixelShader != nullptr) {
        shader::MergeConstants(pixelShader->Compiled(), state_.pixelShaderFloats,
                               shader::kPixelFloatConstants, state_.pixelShaderInts,
                               state_.pixelShaderBools, &pixelConstants);
        shading.program = &pixelShader->Compiled();
        shading.constants = &pixelConstants;
        states.pixelShader = &shading;
    }

    // Views of the bound textures; a view's levels past its count are never read, so they are
    // not cleared for every draw. The stages run four textures; a pixel shader reads every
    // sampler it declares.
    thread_local RasterTexture textures[kRasterSamplerCount];
    for (int i = 0; i < kRasterSamplerCount; ++i) {
        states.textures[i] = nullptr;
        bool read = pixelShader != nullptr ? pixelShader->Compiled().samplerTypes[i] != 0
                                           : i < kRasterStageCount;
        if (read && TextureView(state_.textures[i], &textures[i]))
            states.textures[i] = &textures[i];
    }
    const D3DVIEWPORT9& vp = state_.viewport;
    states.viewport = {static_cast<int32_t>(vp.X),
                       static_cast<int32_t>(vp.Y),
                       static_cast<int32_t>(vp.Width),
                       static_cast<int32_t>(vp.Height),
                       vp.MinZ,
                       vp.MaxZ};
    states.scissor = {state_.scissor.left, state_.scissor.top, state_.scissor.right,
                      state_.scissor.bottom};
    states.blendOpCap = (caps_.PrimitiveMiscCaps & D3DPMISCCAPS_BLENDOP) != 0;
    states.argTempCap = (caps_.PrimitiveMiscCaps & D3DPMISCCAPS_TSSARGTEMP) != 0;

    RasterTarget rt;
    rt.color = SurfaceView(target);
    rt.depth = SurfaceView(state_.depthStencil);

    RasterDrawCall call;
    call.primitiveType = type;
    call.primitiveCount = primitiveCount;
    call.vertices = vertices.data();
    call.vertexCount = vertexCount;
    call.indices = indices;
    call.space = vertexShader == nullptr && fvfLayout->transformed ? RasterSpace::kScreen
                                                                   : RasterSpace::kClip;
    DrawRasterPrimitives(rt, states, call);
    states.pixelShader = nullptr;  // the draw's own
    target->Touch();
    if (state_.depthStencil != nullptr)
        state_.depthStencil->Touch();
    return D3D_OK;
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertexData,
                                UINT stride) {
    Trace("DrawPrimitiveUP", "%u, %u, stride %u", type, primitiveCount, stride);
    uint64_t vertices = VertexCountFor(type, primitiveCount);
    if (vertexData == nullptr) {
        return Refuse(Why::NullArgument);
    }
    HRESULT check = CheckPrimitives(type, primitiveCount, vertices, stride);
    if (FAILED(check)) {
        return check;
    }
    UINT vertexCount = static_cast<UINT>(vertices);
    TraceVertices(vertexData, static_cast<size_t>(vertexCount) * stride);
    if (primitiveCount == 0 || IsLost())
        return D3D_OK;
    return DrawVertices(type, primitiveCount, static_cast<const uint8_t*>(vertexData), vertexCount,
                        stride, nullptr);
}

HRESULT Device::DrawWithIndices(D3DPRIMITIVETYPE type, UINT primitiveCount,
                                const uint8_t* indexData, D3DFORMAT indexFormat, int64_t baseVertex,
                                UINT minVertexIndex, UINT numVertices, const uint8_t* vertexData,
                                UINT stride) {
    UINT indexCount = static_cast<UINT>(VertexCountFor(type, primitiveCount));
    thread_local std::vector<uint32_t> indices;
    indices.resize(indexCount);
    uint64_t vertexEnd = static_cast<uint64_t>(minVertexIndex) + numVertices;
    for (UINT i = 0; i < indexCount; ++i) {
        uint32_t raw;
        if (indexFormat == D3DFMT_INDEX16) {
            uint16_t v;
            std::memcpy(&v, indexData + 2 * static_cast<size_t>(i), 2);
            raw = v;
        } else {
            std::memcpy(&raw, indexData + 4 * static_cast<size_t>(i), 4);
        }
        // Indices count from the first vertex of the declared range (after the base vertex);
        // one outside the range reads no vertex and its primitive is skipped.
        int64_t index = baseVertex + raw;
        indices[i] = index >= minVertexIndex && static_cast<uint64_t>(index) < vertexEnd
                         ? static_cast<uint32_t>(index - minVertexIndex)
                         : numVertices;
    }
    const uint8_t* first = vertexData + static_cast<size_t>(minVertexIndex) * stride;
    return DrawVertices(type, primitiveCount, first, numVertices, stride, indices.data());
}

HRESULT Device::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minVertexIndex, UINT numVertices,
                                       UINT primitiveCount, const void* indexData,
                                       D3DFORMAT indexFormat, const void* vertexData, UINT stride) {
    Trace("DrawIndexedPrimitiveUP", "%u, min %u, %u vertices, %u, index format %u, stride %u", type,
          minVertexIndex, numVertices, primitiveCount, indexFormat, stride);
    uint64_t indices64 = VertexCountFor(type, primitiveCount);
    uint64_t vertexEnd64 = static_cast<uint64_t>(minVertexIndex) + numVertices;
    if (vertexData == nullptr || indexData == nullptr) {
        return Refuse(Why::NullArgument);
    }
    HRESULT check = CheckPrimitives(type, primitiveCount, indices64, stride);
    if (FAILED(check)) {
        return check;
    }
    if (indexFormat != D3DFMT_INDEX16 && indexFormat != D3DFMT_INDEX32) {
        return Refuse(Why::BadIndexFormat);
    }
    if (VertexCountOverflows(vertexEnd64)) {
        return Refuse(Why::VertexCountOverflow);
    }
    TraceVertices(
        static_cast<const uint8_t*>(vertexData) + static_cast<size_t>(minVertexIndex) * stride,
        static_cast<size_t>(numVertices) * stride);
    if (primitiveCount == 0 || IsLost())
        return D3D_OK;
    return DrawWithIndices(type, primitiveCount, static_cast<const uint8_t*>(indexData),
                           indexFormat, 0, minVertexIndex, numVertices,
                           static_cast<const uint8_t*>(vertexData), stride);
}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) {
    Trace("DrawPrimitive", "%u, start %u, %u", type, startVertex, primitiveCount);
    VertexBuffer* buffer = state_.streamSource;
    if (buffer == nullptr) {
        return Refuse(Why::NoStreamSource);
    }
    UINT stride = state_.streamStride;
    uint64_t vertices = VertexCountFor(type, primitiveCount);
    HRESULT check = CheckPrimitives(type, primitiveCount, vertices, stride);
    if (FAILED(check)) {
        return check;
    }
    // The whole range in 64 bits: offset + (start + count) x stride must lie in the buffer.
    uint64_t begin = state_.streamOffset + static_cast<uint64_t>(startVertex) * stride;
    uint64_t end = begin + vertices * stride;
    if (end > buffer->Bytes().size()) {
        return Refuse(Why::RangeOutsideBuffer);
    }
    if (primitiveCount == 0 || IsLost())
        return D3D_OK;
    const uint8_t* data = buffer->Bytes().data() + begin;
    TraceVertices(data, static_cast<size_t>(end - begin));
    return DrawVertices(type, primitiveCount, data, static_cast<UINT>(vertices), stride, nullptr);
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertexIndex,
                                     UINT minVertexIndex, UINT numVertices, UINT startIndex,
                                     UINT primitiveCount) {
    Trace("DrawIndexedPrimitive", "%u, base %d, min %u, %u vertices, start %u, %u", type,
          baseVertexIndex, minVertexIndex, numVertices, startIndex, primitiveCount);
    VertexBuffer* buffer = state_.streamSource;
    IndexBuffer* indexBuffer = state_.indices;
    if (buffer == nullptr) {
        return Refuse(Why::NoStreamSource);
    }
    if (indexBuffer == nullptr) {
        return Refuse(Why::NoIndexBuffer);
    }
    UINT stride = state_.streamStride;
    uint64_t indexCount = VertexCountFor(type, primitiveCount);
    HRESULT check = CheckPrimitives(type, primitiveCount, indexCount, stride);
    if (FAILED(check)) {
        return check;
    }
    D3DFORMAT indexFormat = indexBuffer->FormatOrFvf();
    uint64_t indexSize = indexFormat == D3DFMT_INDEX32 ? 4 : 2;
    if ((static_cast<uint64_t>(startIndex) + indexCount) * indexSize >
        indexBuffer->Bytes().size()) {
        return Refuse(Why::RangeOutsideBuffer);
    }
    // The vertices the indices may reach: base + min .. base + min + count - 1, past the
    // stream's offset, all inside the buffer.
    int64_t firstVertex = static_cast<int64_t>(baseVertexIndex) + minVertexIndex;
    uint64_t bytes = buffer->Bytes().size();
    if (firstVertex < 0 || state_.streamOffset > bytes) {
        return Refuse(Why::RangeOutsideBuffer);
    }
    uint64_t available = (bytes - state_.streamOffset) / stride;
    if (static_cast<uint64_t>(firstVertex) + numVertices > available) {
        return Refuse(Why::RangeOutsideBuffer);
    }
    if (primitiveCount == 0 || IsLost())
        return D3D_OK;
    // Viewed from base + 0, the indices fall into min .. min + count - 1.
    const uint8_t* base = buffer->Bytes().data() + state_.streamOffset +
                          static_cast<uint64_t>(firstVertex - minVertexIndex) * stride;
    TraceVertices(base + static_cast<size_t>(minVertexIndex) * stride,
                  static_cast<size_t>(numVertices) * stride);
    return DrawWithIndices(type, primitiveCount,
                           indexBuffer->Bytes().data() + startIndex * indexSize, indexFormat, 0,
                           minVertexIndex, numVertices, base, stride);
}

}  // namespace platform::d3d9
