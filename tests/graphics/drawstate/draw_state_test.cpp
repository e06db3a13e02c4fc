// The per-draw set-up read back from the device: blend states, stage programs, textures, masks.
#include <gtest/gtest.h>

#include <string>

#include "graphics/batch/vertex_batch.h"
#include "graphics/drawstate/draw_state.h"
#include "graphics/images/image_create.h"
#include "graphics/settings/draw_settings.h"
#include "tests/graphics/state/state_cache_test_support.h"

namespace {

using namespace tessel;

class DrawStateTest : public tessel_test::StateCacheTest {
  protected:
    void SetUp() override {
        StateCacheTest::SetUp();
        for (IDirect3DTexture9*& t : textures_) {
            ASSERT_EQ(
                device_->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr),
                D3D_OK);
        }
    }
    void TearDown() override {
        FlushVertexBatch();
        SetDrawTexture(nullptr);
        SetUserStageProgram(nullptr, 0);
        g_drawSettings.filterMode = 0;
        for (IDirect3DTexture9* t : textures_) {
            t->Release();
        }
        StateCacheTest::TearDown();
    }
    DWORD Rs(D3DRENDERSTATETYPE state) { return ReadRenderState(state); }
    IDirect3DBaseTexture9* Bound(DWORD stage) {
        IDirect3DBaseTexture9* bound = nullptr;
        device_->GetTexture(stage, &bound);
        if (bound != nullptr) {
            bound->Release();
        }
        return bound;
    }
    DWORD Sampler(DWORD stage, D3DSAMPLERSTATETYPE state) {
        DWORD value = 0;
        device_->GetSamplerState(stage, state, &value);
        return value;
    }
    DWORD Tss(DWORD stage, D3DTEXTURESTAGESTATETYPE state) {
        DWORD value = 0;
        device_->GetTextureStageState(stage, state, &value);
        return value;
    }
    static int MethodCount(const std::string& method) {
        int count = 0;
        for (const platform::D3D9TraceEntry& entry : platform::D3D9Trace()) {
            count += entry.method == method ? 1 : 0;
        }
        return count;
    }
    void Apply(int alpha, int key, int texture = 0) {
        TextureFormatRequest info = {};
        info.alpha = static_cast<uint8_t>(alpha);
        info.colorKey = static_cast<uint8_t>(key);
        ApplyDrawSettings(&info, textures_[texture], kDrawUseTextureFlags);
    }
    void SetMaskForTest(int range, int threshold) {
        SetBlendMaskState(textures_[1], threshold, range);
    }
    IDirect3DTexture9* textures_[2] = {};
};

TEST_F(DrawStateTest, CopyModeReadsBackAsOpaqueAlphaBlendedOrKeyedByTheTexture) {
    SetImageBlendMode(0, 0);
    Apply(0, 0);
    EXPECT_EQ(Rs(D3DRS_ALPHABLENDENABLE), 0u);
    EXPECT_EQ(Rs(D3DRS_ALPHATESTENABLE), 0u);
    EXPECT_EQ(Tss(0, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_SELECTARG1));
    EXPECT_EQ(Tss(0, D3DTSS_COLORARG1), static_cast<DWORD>(D3DTA_TEXTURE));
    EXPECT_EQ(Tss(0, D3DTSS_ALPHAOP), static_cast<DWORD>(D3DTOP_SELECTARG2));
    EXPECT_EQ(Tss(1, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_DISABLE));
    EXPECT_EQ(g_batch.format, static_cast<int>(kVertexTex2D));

    // An alpha texture under bilinear filtering blends.
    SetImageFilterMode(kFilterBilinear);
    Apply(1, 0);
    EXPECT_EQ(Rs(D3DRS_ALPHABLENDENABLE), 1u);
    EXPECT_EQ(Rs(D3DRS_SRCBLEND), static_cast<DWORD>(D3DBLEND_SRCALPHA));
    EXPECT_EQ(Rs(D3DRS_DESTBLEND), static_cast<DWORD>(D3DBLEND_INVSRCALPHA));
    EXPECT_EQ(Tss(0, D3DTSS_ALPHAOP), static_cast<DWORD>(D3DTOP_SELECTARG1));

    // A keyed texture under nearest filtering: alpha test, no blending.
    SetImageFilterMode(kFilterNearest);
    Apply(0, 1);
    EXPECT_EQ(Rs(D3DRS_ALPHABLENDENABLE), 0u);
    EXPECT_EQ(Rs(D3DRS_ALPHATESTENABLE), 1u);
    EXPECT_EQ(Rs(D3DRS_ALPHAREF), 16u);
    EXPECT_EQ(Rs(D3DRS_ALPHAFUNC), static_cast<DWORD>(D3DCMP_GREATER));
    EXPECT_EQ(g_batch.format, static_cast<int>(kVertexTex2D));
}

TEST_F(DrawStateTest, FadedMultiplyAddsAStageThatBlendsTowardTheWhiteFactor) {
    SetImageBlendMode(11, 90);
    SetImageBrightness(200, 255, 255);
    Apply(1, 0);
    EXPECT_EQ(Rs(D3DRS_SRCBLEND), static_cast<DWORD>(D3DBLEND_ZERO));
    EXPECT_EQ(Rs(D3DRS_DESTBLEND), static_cast<DWORD>(D3DBLEND_SRCCOLOR));
    EXPECT_EQ(Rs(D3DRS_TEXTUREFACTOR), 0xFFFFFFFFu);
    EXPECT_EQ(Tss(0, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_MODULATE));
    EXPECT_EQ(Tss(0, D3DTSS_ALPHAOP), static_cast<DWORD>(D3DTOP_MODULATE));
    EXPECT_EQ(Tss(1, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_BLENDCURRENTALPHA));
    EXPECT_EQ(Tss(1, D3DTSS_COLORARG1), static_cast<DWORD>(D3DTA_CURRENT));
    EXPECT_EQ(Tss(1, D3DTSS_COLORARG2), static_cast<DWORD>(D3DTA_TFACTOR));
    EXPECT_EQ(Tss(1, D3DTSS_TEXCOORDINDEX), 1u);
    EXPECT_EQ(Tss(2, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_DISABLE));

    // Without a texture the same mode blends the diffuse colour instead.
    ApplyDrawSettings(nullptr, nullptr, 0);
    EXPECT_EQ(Rs(D3DRS_TEXTUREFACTOR), 0xFFFFFFFFu);
    EXPECT_EQ(Tss(0, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_BLENDDIFFUSEALPHA));
    EXPECT_EQ(g_batch.format, static_cast<int>(kVertexColor2D));
    SetImageBlendMode(0, 0);
    SetImageBrightness(255, 255, 255);
}

TEST_F(DrawStateTest, AnotherTextureWithTheSameFlagsSendsOneSetTextureAndNothingElse) {
    SetImageBlendMode(1, 128);
    Apply(1, 0, 0);
    platform::ClearD3D9Trace();
    Apply(1, 0, 0);
    EXPECT_EQ(MethodCount("SetTexture"), 0) << "the same texture again";
    Apply(1, 0, 1);
    EXPECT_EQ(MethodCount("SetTexture"), 1);
    EXPECT_EQ(MethodCount("SetRenderState"), 0);
    EXPECT_EQ(MethodCount("SetTextureStageState"), 0);
    IDirect3DBaseTexture9* bound = nullptr;
    device_->GetTexture(0, &bound);
    EXPECT_EQ(bound, textures_[1]);
    if (bound != nullptr) {
        bound->Release();
    }
    SetImageBlendMode(0, 0);
}

TEST_F(DrawStateTest, TheMaskRangeTableFollowsItsIntegerArithmetic) {
    struct Case {
        int range, threshold, stage0, stage1, factor;
    };
    const Case cases[] = {
        {64, 0, D3DTOP_ADD, D3DTOP_MODULATE4X, 64},
        {64, 255, D3DTOP_SUBTRACT, D3DTOP_MODULATE4X, 255},
        {2, 128, D3DTOP_SUBTRACT, D3DTOP_MODULATE4X, 97},
        {100, 77, D3DTOP_ADD, D3DTOP_MODULATE2X, 12},
        {128, 255, D3DTOP_SUBTRACT, D3DTOP_MODULATE2X, 255},
        {200, 200, D3DTOP_SUBTRACT, D3DTOP_MODULATE, 145},
        {255, 10, D3DTOP_ADD, D3DTOP_MODULATE, 235},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.range << " " << c.threshold);
        const MaskRangeSetup setup = MaskRangeFor(c.range, c.threshold);
        EXPECT_EQ(setup.stage0AlphaOp, c.stage0);
        EXPECT_EQ(setup.stage1AlphaOp, c.stage1);
        EXPECT_EQ(setup.factorAlpha, c.factor);
    }
}

TEST_F(DrawStateTest, AMaskSetsTheFadeStagesAndThreshold255SkipsTheDraw) {
    SetMaskForTest(64, 0);
    SetImageBlendMode(1, 255);
    Apply(0, 0);
    EXPECT_EQ(g_batch.format, static_cast<int>(kVertexTex2D2));
    EXPECT_EQ(g_batch.skip, 0);
    EXPECT_EQ(Tss(0, D3DTSS_ALPHAOP), static_cast<DWORD>(D3DTOP_ADD));
    EXPECT_EQ(Tss(1, D3DTSS_ALPHAOP), static_cast<DWORD>(D3DTOP_MODULATE4X));
    EXPECT_EQ(Rs(D3DRS_TEXTUREFACTOR), 0x40FFFFFFu);
    EXPECT_EQ(Rs(D3DRS_ALPHABLENDENABLE), 1u);
    SetMaskForTest(64, 255);
    Apply(0, 0);
    EXPECT_EQ(g_batch.skip, 1);
    EXPECT_EQ(Tss(0, D3DTSS_ALPHAOP), static_cast<DWORD>(D3DTOP_SUBTRACT));
    EXPECT_EQ(Rs(D3DRS_TEXTUREFACTOR), 0xFFFFFFFFu);
    SetBlendMaskState(nullptr, -1, -1);
    Apply(0, 0);
    EXPECT_EQ(g_batch.skip, 0);
    EXPECT_EQ(g_batch.format, static_cast<int>(kVertexTex2D));
    SetImageBlendMode(0, 0);
}

// A hard mask (range 0 or 1) tests alpha against the threshold; at threshold
// 0 an alpha or keyed image tests against 1, so its clear texels stay out.
// The image sits in stage 2 behind the alpha stage when it has alpha, else in
// stage 1.
TEST_F(DrawStateTest, AHardMaskPlacesTheImageAndTestsAlphaAgainstTheThreshold) {
    struct Case {
        const char* name;
        int mode;
        int alpha, key;
        int range, threshold;
        DWORD imageStage;
        DWORD alphaRef;
    };
    const Case cases[] = {
        {"alpha image, threshold 0", 1, 1, 0, 0, 0, 2, 1},
        {"alpha image, range 1, threshold 77", 1, 1, 0, 1, 77, 2, 77},
        {"keyed image, threshold 0", 0, 0, 1, 1, 0, 1, 1},
        {"opaque image, threshold 0", 0, 0, 0, 0, 0, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetMaskForTest(c.range, c.threshold);
        SetImageBlendMode(c.mode, 255);
        Apply(c.alpha, c.key);
        EXPECT_EQ(g_batch.format, static_cast<int>(kVertexTex2D2));
        EXPECT_EQ(Bound(0), textures_[1]) << "the mask";
        EXPECT_EQ(Bound(c.imageStage), textures_[0]) << "the image";
        if (c.imageStage == 2) {
            EXPECT_EQ(Bound(1), nullptr);
        }
        EXPECT_EQ(Rs(D3DRS_ALPHATESTENABLE), 1u);
        EXPECT_EQ(Rs(D3DRS_ALPHAREF), c.alphaRef);
        EXPECT_EQ(Rs(D3DRS_ALPHAFUNC), static_cast<DWORD>(D3DCMP_GREATEREQUAL));
        EXPECT_EQ(Rs(D3DRS_ALPHABLENDENABLE), 0u);
        EXPECT_EQ(Rs(D3DRS_TEXTUREFACTOR), 0x00FFFFFFu);
    }
    SetBlendMaskState(nullptr, -1, -1);
    SetImageBlendMode(0, 0);
}

// With Z on and no mask, an opaque image takes the keyed variant: its alpha
// is read and tested GREATER 0, so fully clear texels leave the depth alone.
TEST_F(DrawStateTest, WithZOnAnOpaqueImageTakesTheKeyedVariant) {
    SetImageBlendMode(0, 0);
    g_drawSettings.zSets[0].enable = 1;
    Apply(0, 0);
    g_drawSettings.zSets[0].enable = 0;
    EXPECT_EQ(Rs(D3DRS_ALPHATESTENABLE), 1u);
    EXPECT_EQ(Rs(D3DRS_ALPHAREF), 0u);
    EXPECT_EQ(Rs(D3DRS_ALPHAFUNC), static_cast<DWORD>(D3DCMP_GREATER));
    EXPECT_EQ(Tss(0, D3DTSS_ALPHAOP), static_cast<DWORD>(D3DTOP_SELECTARG1));
    EXPECT_EQ(Tss(0, D3DTSS_ALPHAARG1), static_cast<DWORD>(D3DTA_TEXTURE));
    EXPECT_EQ(Rs(D3DRS_ALPHABLENDENABLE), 0u);
}

// Without the addressing flag, stages 0 to 3 are put back to CLAMP; stage 4
// keeps what it had.
TEST_F(DrawStateTest, DrawsClampTheFirstFourStagesUnlessAskedOtherwise) {
    for (int stage = 0; stage < 5; ++stage) {
        SetTexAddressAll(D3DTADDRESS_WRAP, stage);
    }
    Apply(0, 0);
    for (DWORD stage = 0; stage < 4; ++stage) {
        SCOPED_TRACE(stage);
        EXPECT_EQ(Sampler(stage, D3DSAMP_ADDRESSU), static_cast<DWORD>(D3DTADDRESS_CLAMP));
        EXPECT_EQ(Sampler(stage, D3DSAMP_ADDRESSV), static_cast<DWORD>(D3DTADDRESS_CLAMP));
    }
    EXPECT_EQ(Sampler(4, D3DSAMP_ADDRESSU), static_cast<DWORD>(D3DTADDRESS_WRAP));
    SetTexAddressAll(D3DTADDRESS_CLAMP, 4);
}

}  // namespace
