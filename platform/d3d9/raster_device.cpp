// The device's draw calls: vertices from client memory in the format set by SetFVF, handed to
// the rasteriser with the device's states, render target and depth surface.
//
// Routes: DrawPrimitiveUP and DrawIndexedPrimitiveUP check their arguments (counts in 64 bits),
// read the vertices by the FVF's layout (DrawVertices) and hand one draw to the rasteriser.
//
// Pre-transformed vertices (XYZRHW) are used as they are: no transform, lighting or fog.
// Untransformed ones (XYZ) go through world x view x projection (row vectors, as Direct3D
// multiplies), then the rasteriser clips, divides by w and applies the viewport. Vertices
// without a diffuse colour are white, without a specular colour black; missing texture sets
// read (0, 0).

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/d3d9/device.h"
#include "platform/d3d9/raster_draw.h"
#include "platform/d3d9/trace.h"

namespace platform::d3d9 {
namespace {

// Where the fields of one vertex lie, from its FVF.
struct VertexLayout {
    bool transformed = false;  // XYZRHW
    int size = 0;
    int diffuse = -1;
    int specular = -1;
    int texSets = 0;
    int tex[kRasterTexCoordSets] = {-1, -1};
};

bool LayoutFor(DWORD fvf, VertexLayout* layout) {
    DWORD position = fvf & D3DFVF_POSITION_MASK;
    if (position == D3DFVF_XYZRHW) {
        layout->transformed = true;
        layout->size = 16;
    } else if (position == D3DFVF_XYZ) {
        layout->size = 12;
    } else {
        return false;
    }
    if (fvf & D3DFVF_NORMAL)
        layout->size += 12;
    if (fvf & D3DFVF_PSIZE)
        layout->size += 4;
    if (fvf & D3DFVF_DIFFUSE) {
        layout->diffuse = layout->size;
        layout->size += 4;
    }
    if (fvf & D3DFVF_SPECULAR) {
        layout->specular = layout->size;
        layout->size += 4;
    }
    int sets = static_cast<int>((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT);
    if (sets > 8)
        return false;
    for (int i = 0; i < sets; ++i) {
        // Coordinate sizes sit two bits a set from bit 16: 0 two floats, 1 three, 2 four, 3 one.
        static const int kFloats[4] = {2, 3, 4, 1};
        int floats = kFloats[(fvf >> (16 + 2 * i)) & 3];
        if (i < kRasterTexCoordSets)
            layout->tex[i] = layout->size;
        layout->size += 4 * floats;
    }
    layout->texSets = sets;
    return true;
}

float LoadFloat(const uint8_t* p) {
    float f;
    std::memcpy(&f, p, 4);
    return f;
}

uint32_t LoadWord(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// a x b for Direct3D's row-major matrices.
D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k)
                sum += static_cast<double>(a.m[i][k]) * b.m[k][j];
            r.m[i][j] = static_cast<float>(sum);
        }
    }
    return r;
}

void ReadVertex(const uint8_t* p, const VertexLayout& layout, const D3DMATRIX* transform,
                RasterVertex* v) {
    float x = LoadFloat(p), y = LoadFloat(p + 4), z = LoadFloat(p + 8);
    if (layout.transformed) {
        v->x = x;
        v->y = y;
        v->z = z;
        v->rhw = LoadFloat(p + 12);
    } else {
        const D3DMATRIX& m = *transform;
        float out[4];
        for (int j = 0; j < 4; ++j) {
            out[j] = static_cast<float>(static_cast<double>(x) * m.m[0][j] +
                                        static_cast<double>(y) * m.m[1][j] +
                                        static_cast<double>(z) * m.m[2][j] + m.m[3][j]);
        }
        v->x = out[0];
        v->y = out[1];
        v->z = out[2];
        v->rhw = out[3];  // clip-space w
    }
    v->diffuse = layout.diffuse >= 0 ? LoadWord(p + layout.diffuse) : 0xFFFFFFFFu;
    v->specular = layout.specular >= 0 ? LoadWord(p + layout.specular) : 0u;
    for (int i = 0; i < kRasterTexCoordSets; ++i) {
        if (layout.tex[i] < 0) {
            v->tex[i][0] = v->tex[i][1] = 0.0f;
            continue;
        }
        v->tex[i][0] = LoadFloat(p + layout.tex[i]);
        v->tex[i][1] = LoadFloat(p + layout.tex[i] + 4);
    }
}

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

HRESULT Device::DrawVertices(D3DPRIMITIVETYPE type, UINT primitiveCount, const uint8_t* vertexData,
                             UINT vertexCount, UINT stride, const uint32_t* indices) {
    VertexLayout layout;
    if (!LayoutFor(state_.fvf, &layout)) {
        return Refuse(Why::UnsupportedFvf);
    }
    if (stride < static_cast<UINT>(layout.size)) {
        return Refuse(Why::StrideTooSmall);
    }
    Surface* target = state_.renderTargets[0];
    if (target == nullptr) {
        return Refuse(Why::NoRenderTarget);
    }

    D3DMATRIX transform;
    if (!layout.transformed) {
        transform =
            Multiply(Multiply(state_.transforms[D3DTS_WORLD], state_.transforms[D3DTS_VIEW]),
                     state_.transforms[D3DTS_PROJECTION]);
    }
    thread_local std::vector<RasterVertex> vertices;
    vertices.resize(vertexCount);
    for (UINT i = 0; i < vertexCount; ++i) {
        ReadVertex(vertexData + static_cast<size_t>(i) * stride, layout, &transform, &vertices[i]);
    }

    // The states block is large; one per thread is reused from draw to draw.
    thread_local RasterStates states;
    std::memcpy(states.render, state_.renderStates, sizeof states.render);
    for (int i = 0; i < kRasterStateStages; ++i) {
        std::memcpy(states.stage[i], state_.stageStates[i], sizeof states.stage[i]);
        std::memcpy(states.sampler[i], state_.samplerStates[i], sizeof states.sampler[i]);
    }
    RasterTexture textures[kRasterStageCount];
    for (int i = 0; i < kRasterStateStages; ++i)
        states.textures[i] = nullptr;
    for (int i = 0; i < kRasterStageCount; ++i) {
        if (TextureView(state_.textures[i], &textures[i]))
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
    call.space = layout.transformed ? RasterSpace::kScreen : RasterSpace::kClip;
    DrawRasterPrimitives(rt, states, call);
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
    UINT indexCount = static_cast<UINT>(indices64);
    UINT vertexEnd = static_cast<UINT>(vertexEnd64);
    TraceVertices(
        static_cast<const uint8_t*>(vertexData) + static_cast<size_t>(minVertexIndex) * stride,
        static_cast<size_t>(numVertices) * stride);
    if (primitiveCount == 0 || IsLost())
        return D3D_OK;
    thread_local std::vector<uint32_t> indices;
    indices.resize(indexCount);
    const uint8_t* in = static_cast<const uint8_t*>(indexData);
    for (UINT i = 0; i < indexCount; ++i) {
        if (indexFormat == D3DFMT_INDEX16) {
            uint16_t v;
            std::memcpy(&v, in + 2 * i, 2);
            indices[i] = v;
        } else {
            std::memcpy(&indices[i], in + 4 * i, 4);
        }
        // Indices count from the first vertex of the declared range; one outside the range
        // reads no vertex and its primitive is skipped.
        indices[i] = indices[i] >= minVertexIndex && indices[i] < vertexEnd
                         ? indices[i] - minVertexIndex
                         : numVertices;
    }
    const uint8_t* first =
        static_cast<const uint8_t*>(vertexData) + static_cast<size_t>(minVertexIndex) * stride;
    return DrawVertices(type, primitiveCount, first, numVertices, stride, indices.data());
}

}  // namespace platform::d3d9
