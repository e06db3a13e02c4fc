// Vertex and index buffers on the device: creation in each pool, locks whole and in part with
// DISCARD and NOOVERWRITE, draws from stream 0 with a start vertex and a stride wider than the
// FVF, indexed draws with a base vertex, a minimum index and a start index, buffers relocked
// with DISCARD between draws, the references a binding holds, and the refusals.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "d3d9_fixture.h"

namespace {

using d3d9test::DeviceTest;

// The model's vertex layout: position, normal, two colours, then one four-float set, in a
// record 16 bytes wider than the FVF covers.
struct ModelVertex {
    float x, y, z;
    float nx, ny, nz;
    DWORD diffuse, specular;
    float u, v, s, t;
    float spare[4];
};
constexpr DWORD kModelFvf = 0xD2 | 0x100 | D3DFVF_TEXCOORDSIZE4(0);
static_assert(sizeof(ModelVertex) == 64);

class BufferTest : public DeviceTest {
  protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_NE(device_, nullptr);
        D3DMATRIX id{};
        id._11 = id._22 = id._33 = id._44 = 1.0f;
        device_->SetTransform(D3DTS_WORLD, &id);
        device_->SetTransform(D3DTS_VIEW, &id);
        device_->SetTransform(D3DTS_PROJECTION, &id);
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
        device_->SetFVF(kModelFvf);
        ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0), D3D_OK);
    }
    uint32_t Pixel(int x, int y) { return platform::ReadD3D9BackBufferPixel(device_, x, y); }

    IDirect3DVertexBuffer9* Vertices(UINT count, DWORD usage = D3DUSAGE_WRITEONLY,
                                     D3DPOOL pool = D3DPOOL_DEFAULT) {
        IDirect3DVertexBuffer9* vb = nullptr;
        EXPECT_EQ(device_->CreateVertexBuffer(count * sizeof(ModelVertex), usage, kModelFvf, pool,
                                              &vb, nullptr),
                  D3D_OK);
        return vb;
    }
    IDirect3DIndexBuffer9* Indices(const std::vector<uint16_t>& indices) {
        IDirect3DIndexBuffer9* ib = nullptr;
        EXPECT_EQ(
            device_->CreateIndexBuffer(static_cast<UINT>(indices.size() * 2), D3DUSAGE_WRITEONLY,
                                       D3DFMT_INDEX16, D3DPOOL_DEFAULT, &ib, nullptr),
            D3D_OK);
        void* data = nullptr;
        EXPECT_EQ(ib->Lock(0, 0, &data, 0), D3D_OK);
        std::memcpy(data, indices.data(), indices.size() * 2);
        EXPECT_EQ(ib->Unlock(), D3D_OK);
        return ib;
    }
};

// The four corners of a rectangle in clip space, as a strip or the first four of a list.
void Corners(ModelVertex* v, float l, float t, float r, float b, DWORD colour) {
    float xs[4] = {l, r, l, r}, ys[4] = {t, t, b, b};
    for (int i = 0; i < 4; ++i) {
        v[i] = {};
        v[i].x = xs[i], v[i].y = ys[i], v[i].z = 0.5f;
        v[i].diffuse = colour;
    }
}

void Fill(IDirect3DVertexBuffer9* vb, UINT first, const std::vector<ModelVertex>& v, DWORD flags) {
    void* data = nullptr;
    ASSERT_EQ(vb->Lock(first * sizeof(ModelVertex),
                       static_cast<UINT>(v.size() * sizeof(ModelVertex)), &data, flags),
              D3D_OK);
    std::memcpy(data, v.data(), v.size() * sizeof(ModelVertex));
    ASSERT_EQ(vb->Unlock(), D3D_OK);
}

TEST_F(BufferTest, BuffersInEveryPoolLockWholeAndInPart) {
    for (D3DPOOL pool : {D3DPOOL_DEFAULT, D3DPOOL_MANAGED, D3DPOOL_SYSTEMMEM}) {
        for (DWORD usage :
             {DWORD{0}, DWORD{D3DUSAGE_WRITEONLY}, DWORD{D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY}}) {
            if (pool == D3DPOOL_MANAGED && (usage & D3DUSAGE_DYNAMIC))
                continue;
            SCOPED_TRACE(::testing::Message() << "pool " << pool << ", usage " << usage);
            IDirect3DVertexBuffer9* vb = Vertices(8, usage, pool);
            ASSERT_NE(vb, nullptr);
            for (DWORD flags : {DWORD{0}, DWORD{D3DLOCK_DISCARD}, DWORD{D3DLOCK_NOOVERWRITE}}) {
                void* whole = nullptr;
                ASSERT_EQ(vb->Lock(0, 0, &whole, flags), D3D_OK);
                ASSERT_EQ(vb->Unlock(), D3D_OK);
                void* part = nullptr;
                ASSERT_EQ(vb->Lock(64, 128, &part, flags), D3D_OK);
                EXPECT_EQ(static_cast<uint8_t*>(part) - static_cast<uint8_t*>(whole), 64);
                ASSERT_EQ(vb->Unlock(), D3D_OK);
            }
            void* past = nullptr;
            EXPECT_REFUSED(RectOutsideSurface, vb->Lock(8 * 64 - 4, 8, &past, 0));
            EXPECT_EQ(vb->Release(), 0u);
        }
    }
}

TEST_F(BufferTest, DrawPrimitiveReadsStreamZeroFromItsStartVertex) {
    IDirect3DVertexBuffer9* vb = Vertices(8);
    std::vector<ModelVertex> v(8);
    Corners(&v[0], -1, 1, 0, -1, 0xFFFF0000u);  // left half, red
    Corners(&v[4], 0, 1, 1, -1, 0xFF00FF00u);   // right half, green
    Fill(vb, 0, v, 0);
    ASSERT_EQ(device_->SetStreamSource(0, vb, 0, sizeof(ModelVertex)), D3D_OK);
    ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 4, 2), D3D_OK);
    EXPECT_EQ(Pixel(10, 10), 0xFF000000u);
    EXPECT_EQ(Pixel(50, 10), 0xFF00FF00u);
    // The stream offset moves the first vertex too.
    ASSERT_EQ(device_->SetStreamSource(0, vb, 4 * sizeof(ModelVertex), sizeof(ModelVertex)),
              D3D_OK);
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
    ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    EXPECT_EQ(Pixel(50, 10), 0xFF00FF00u);
    EXPECT_REFUSED(RangeOutsideBuffer, device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 1, 2));
    EXPECT_REFUSED(IndexOutOfRange, device_->SetStreamSource(1, vb, 0, 64));
    device_->SetStreamSource(0, nullptr, 0, 0);
    EXPECT_REFUSED(NoStreamSource, device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2));
    vb->Release();
}

TEST_F(BufferTest, IndexedDrawsWithBaseVertexMinimumIndexAndStartIndex) {
    IDirect3DVertexBuffer9* vb = Vertices(12);
    std::vector<ModelVertex> v(12);
    Corners(&v[0], -1, 1, -0.5f, 0, 0xFFFF0000u);
    Corners(&v[4], -0.5f, 1, 0, 0, 0xFF00FF00u);
    Corners(&v[8], 0, 1, 0.5f, 0, 0xFF0000FFu);
    Fill(vb, 0, v, 0);
    // Index data: a quad's two triangles twice, at index 0 and index 6; the second set names
    // vertices 4..7 so that base vertex 0 reaches them with minimum index 4.
    IDirect3DIndexBuffer9* ib = Indices({0, 1, 2, 2, 1, 3, 4, 5, 6, 6, 5, 7});
    ASSERT_EQ(device_->SetStreamSource(0, vb, 0, sizeof(ModelVertex)), D3D_OK);
    ASSERT_EQ(device_->SetIndices(ib), D3D_OK);
    struct Case {
        INT base;
        UINT minIndex, startIndex;
        int litColumn;  // which quarter of the top half lights
        DWORD colour;
    } cases[] = {
        {0, 0, 0, 0, 0xFFFF0000u},  // vertices 0..3
        {4, 0, 0, 1, 0xFF00FF00u},  // base 4: indices 0..3 read vertices 4..7
        {8, 0, 0, 2, 0xFF0000FFu},
        {0, 4, 6, 1, 0xFF00FF00u},  // start index 6: indices 4..7, declared from 4
        {4, 4, 6, 2, 0xFF0000FFu},  // both: vertices 8..11
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "base " << c.base << ", min " << c.minIndex << ", start " << c.startIndex);
        device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
        ASSERT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, c.base, c.minIndex, 4,
                                                c.startIndex, 2),
                  D3D_OK);
        for (int q = 0; q < 3; ++q)
            EXPECT_EQ(Pixel(8 + 16 * q, 6), q == c.litColumn ? c.colour : 0xFF000000u) << q;
    }
    // Vertices past the buffer, indices past theirs, and no index buffer are refused.
    EXPECT_REFUSED(RangeOutsideBuffer,
                   device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 10, 0, 4, 0, 2));
    EXPECT_REFUSED(RangeOutsideBuffer,
                   device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 8, 2));
    EXPECT_REFUSED(RangeOutsideBuffer,
                   device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, -1, 0, 4, 0, 2));
    device_->SetIndices(nullptr);
    EXPECT_REFUSED(NoIndexBuffer, device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2));
    ib->Release();
    vb->Release();
}

TEST_F(BufferTest, DiscardLocksBetweenDrawsLeaveEarlierDrawsAsTheyWere) {
    // A dynamic buffer refilled with DISCARD after each draw, as a per-frame stream is: each
    // draw shows the vertices current when it was made.
    IDirect3DVertexBuffer9* vb = Vertices(4, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY);
    ASSERT_EQ(device_->SetStreamSource(0, vb, 0, sizeof(ModelVertex)), D3D_OK);
    const float lefts[3] = {-1.0f, -0.5f, 0.0f};
    const DWORD colours[3] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu};
    for (int i = 0; i < 3; ++i) {
        std::vector<ModelVertex> v(4);
        Corners(v.data(), lefts[i], 1, lefts[i] + 0.5f, 0, colours[i]);
        Fill(vb, 0, v, D3DLOCK_DISCARD);
        ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    }
    // NOOVERWRITE appends past what the draws used.
    IDirect3DVertexBuffer9* ring = Vertices(8, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY);
    std::vector<ModelVertex> first(4), second(4);
    Corners(first.data(), 0.5f, 1, 1, 0, 0xFFFFFF00u);
    Corners(second.data(), -1, 0, -0.5f, -1, 0xFF00FFFFu);
    ASSERT_EQ(device_->SetStreamSource(0, ring, 0, sizeof(ModelVertex)), D3D_OK);
    Fill(ring, 0, first, D3DLOCK_DISCARD);
    ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    Fill(ring, 4, second, D3DLOCK_NOOVERWRITE);
    ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 4, 2), D3D_OK);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Pixel(8 + 16 * i, 6), colours[i]) << i;
    EXPECT_EQ(Pixel(56, 6), 0xFFFFFF00u);
    EXPECT_EQ(Pixel(8, 40), 0xFF00FFFFu);
    ring->Release();
    vb->Release();
}

TEST_F(BufferTest, BoundBuffersLiveUntilUnboundOrTheDeviceGoes) {
    IDirect3DVertexBuffer9* vb = Vertices(4);
    IDirect3DIndexBuffer9* ib = Indices({0, 1, 2});
    ASSERT_EQ(device_->SetStreamSource(0, vb, 0, sizeof(ModelVertex)), D3D_OK);
    ASSERT_EQ(device_->SetIndices(ib), D3D_OK);
    EXPECT_EQ(vb->Release(), 1u);  // the binding's reference
    EXPECT_EQ(ib->Release(), 1u);
    // Drawing still reads them; the device releases them when it goes (TearDown checks 0).
    std::vector<ModelVertex> v(4);
    Corners(v.data(), -1, 1, 1, -1, 0xFFFFFFFFu);
    Fill(vb, 0, v, 0);
    EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 1), D3D_OK);
    EXPECT_EQ(Pixel(2, 2), 0xFFFFFFFFu);
}

TEST_F(BufferTest, ALostDeviceDrawsNothingFromBuffersWhichStillLockAndRelease) {
    IDirect3DVertexBuffer9* vb = Vertices(4);
    IDirect3DIndexBuffer9* ib = Indices({0, 1, 2, 2, 1, 3});
    std::vector<ModelVertex> v(4);
    Corners(v.data(), -1, 1, 1, -1, 0xFFFFFFFFu);
    Fill(vb, 0, v, 0);
    ASSERT_EQ(device_->SetStreamSource(0, vb, 0, sizeof(ModelVertex)), D3D_OK);
    ASSERT_EQ(device_->SetIndices(ib), D3D_OK);
    platform::LoseD3D9Devices();
    Fill(vb, 0, v, D3DLOCK_DISCARD);
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);
    EXPECT_EQ(Pixel(2, 2), 0xFF000000u);
    device_->SetStreamSource(0, nullptr, 0, 0);
    device_->SetIndices(nullptr);
    EXPECT_EQ(vb->Release(), 0u);
    EXPECT_EQ(ib->Release(), 0u);
}

}  // namespace
