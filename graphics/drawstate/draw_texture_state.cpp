// The texture-stage program of a draw: built from the blend table, the
// texture's alpha and key flags, the modulation flags and the blend mask, or
// taken from a user program; then only what differs from the cache is sent.
// Routes: SetupDrawTextureState -> a given or user program straight to
// ApplyProgram; a clean built-in program with only a new texture -> one
// SendTexture; otherwise BuildBuiltIn (untextured, or BuildTextured with and
// without a mask) -> ApplyProgram (stage count, SendHeader, SendStages).
// SetUserStageProgram and ResetStageDefaults2D close the file. Nothing here
// decides which texture a draw uses: ApplyDrawSettings has stored it.
#include <cstring>

#include "graphics/batch/vertex_batch.h"
#include "graphics/device/device_state.h"
#include "graphics/drawstate/draw_state.h"
#include "graphics/images/image_records.h"

namespace tessel {

namespace {

constexpr uint32_t kWhite = 0xFFFFFFFFu;

struct UserProgram {
    int32_t installed;
    int32_t texturesOnly;
    StageProgram program;
};
UserProgram g_userProgram;

// A stage's texture as the program gives it; with resolve set an image
// handle stands for the texture of the image's first tile.
IDirect3DBaseTexture9* StageTexture(const StageProgramEntry& entry, int resolve) {
    if (resolve == 0 || entry.imageHandle == -1) {
        return entry.texture;
    }
    const ImageRecord* record = GetImageRecord(entry.imageHandle);
    if (record == nullptr || record->source == nullptr || record->source->tileCount == 0) {
        return nullptr;
    }
    return record->source->tiles[0].texture;
}

StageProgram UntexturedProgram(int mode, int kind) {
    StageProgram p = {};
    StageProgramEntry& s0 = p.stages[0];
    s0.imageHandle = -1;
    s0.texCoordIndex = 0;
    s0.alphaOp = D3DTOP_SELECTARG2;
    s0.alphaArg1 = D3DTA_DIFFUSE;
    s0.alphaArg2 = D3DTA_DIFFUSE;
    s0.colorArg1 = D3DTA_DIFFUSE;
    s0.colorArg2 = D3DTA_DIFFUSE;
    s0.colorOp = D3DTOP_SELECTARG2;
    if (mode == 3) {
        s0.colorOp = D3DTOP_SELECTARG1;
    } else if (kind == 1) {
        s0.colorOp = D3DTOP_BLENDDIFFUSEALPHA;
        s0.colorArg2 = D3DTA_TFACTOR;
    } else if (kind == 2) {
        s0.colorOp = D3DTOP_SELECTARG1;
        s0.colorArg1 = D3DTA_DIFFUSE | D3DTA_COMPLEMENT;
    }
    for (int s = 1; s < kSamplerStageCount; ++s) {
        StageProgramEntry& e = p.stages[s];
        e.imageHandle = -1;
        e.texCoordIndex = 0;
        e.resultTarget = 0;
        e.alphaArg1 = e.alphaArg2 = e.colorArg1 = e.colorArg2 = -1;
        e.alphaOp = e.colorOp = D3DTOP_DISABLE;
    }
    p.stageCount = 1;
    return p;
}

// The texture stage the image goes to when a mask takes stage 0.
int MaskedImageStage() {
    return g_stateCache.imageAlpha == 1 ? 2 : 1;
}

void SendRenderState(int32_t* cached, int32_t value, D3DRENDERSTATETYPE state, bool force) {
    if (value == -1) {
        if (force && *cached > 1) {
            g_graphics.device->SetRenderState(state, static_cast<DWORD>(*cached));
        }
        return;
    }
    if (!force && *cached == value) {
        return;
    }
    g_graphics.device->SetRenderState(state, static_cast<DWORD>(value));
    *cached = value;
}

void SendHeader(const StageProgram& p, bool force) {
    StageProgram& c = g_stateCache.program;
    SendRenderState(&c.alphaTestEnable, p.alphaTestEnable, D3DRS_ALPHATESTENABLE, force);
    SendRenderState(&c.alphaRef, p.alphaRef, D3DRS_ALPHAREF, force);
    SendRenderState(&c.alphaFunc, p.alphaFunc, D3DRS_ALPHAFUNC, force);
    SendRenderState(&c.alphaBlendEnable, p.alphaBlendEnable, D3DRS_ALPHABLENDENABLE, force);
    SendRenderState(&c.srcBlend, p.srcBlend, D3DRS_SRCBLEND, force);
    SendRenderState(&c.destBlend, p.destBlend, D3DRS_DESTBLEND, force);
    SendRenderState(&c.blendOp, p.blendOp, D3DRS_BLENDOP, force);
    if (force || c.textureFactor != p.textureFactor) {
        g_graphics.device->SetRenderState(D3DRS_TEXTUREFACTOR, p.textureFactor);
        c.textureFactor = p.textureFactor;
        const uint32_t f = p.textureFactor;
        const float constant[4] = {
            static_cast<float>(f & 0xFF) / 255.0f, static_cast<float>((f >> 8) & 0xFF) / 255.0f,
            static_cast<float>((f >> 16) & 0xFF) / 255.0f, static_cast<float>(f >> 24) / 255.0f};
        SetPixelShaderConstF(5, constant, 1);
    }
}

void SendStageState(int stage, int16_t* cached, int16_t value, D3DTEXTURESTAGESTATETYPE type,
                    bool force) {
    if (value == -1 || (!force && *cached == value)) {
        return;
    }
    g_graphics.device->SetTextureStageState(static_cast<DWORD>(stage), type,
                                            static_cast<DWORD>(static_cast<uint16_t>(value)));
    *cached = value;
}

void SendTexture(int stage, IDirect3DBaseTexture9* texture, bool force) {
    StageProgramEntry& c = g_stateCache.program.stages[stage];
    if (!force && c.texture == texture) {
        return;
    }
    g_graphics.device->SetTexture(static_cast<DWORD>(stage), texture);
    c.texture = texture;
}

void SendStages(const StageProgram& p, int stagesToSend, int texturesOnly, int resolve,
                bool force) {
    for (int s = 0; s < stagesToSend; ++s) {
        if (s >= 2 && p.stages[s - 1].alphaOp == D3DTOP_DISABLE && texturesOnly == 0) {
            break;
        }
        const StageProgramEntry& e = p.stages[s];
        StageProgramEntry& c = g_stateCache.program.stages[s];
        SendTexture(s, StageTexture(e, resolve), force);
        if (e.texCoordIndex != -1 && (force || c.texCoordIndex != e.texCoordIndex)) {
            g_graphics.device->SetTextureStageState(static_cast<DWORD>(s), D3DTSS_TEXCOORDINDEX,
                                                    static_cast<DWORD>(e.texCoordIndex));
            c.texCoordIndex = e.texCoordIndex;
        }
        if (texturesOnly != 0) {
            continue;
        }
        if (g_graphics.tssArgTempSupported != 0 && e.resultTarget != -1 &&
            (force || c.resultTarget != e.resultTarget)) {
            g_graphics.device->SetTextureStageState(
                static_cast<DWORD>(s), D3DTSS_RESULTARG,
                e.resultTarget == 0 ? D3DTA_CURRENT : D3DTA_TEMP);
            c.resultTarget = e.resultTarget;
        }
        SendStageState(s, &c.alphaOp, e.alphaOp, D3DTSS_ALPHAOP, force);
        SendStageState(s, &c.alphaArg1, e.alphaArg1, D3DTSS_ALPHAARG1, force);
        SendStageState(s, &c.alphaArg2, e.alphaArg2, D3DTSS_ALPHAARG2, force);
        SendStageState(s, &c.colorOp, e.colorOp, D3DTSS_COLOROP, force);
        SendStageState(s, &c.colorArg1, e.colorArg1, D3DTSS_COLORARG1, force);
        SendStageState(s, &c.colorArg2, e.colorArg2, D3DTSS_COLORARG2, force);
    }
}

// Steps 6 to 8: stage count, then the send.
int ApplyProgram(const StageProgram& p, int texturesOnly, int resolve) {
    const bool force = g_stateCache.force != 0;
    if (g_batch.count != 0) {
        FlushVertexBatch();
    }
    if (p.stageCount != g_stateCache.program.stageCount) {
        g_stateCache.program.stageCount = p.stageCount;
        const int keptForce = g_stateCache.force;
        g_stateCache.force = 1;
        SetFilterModeState(g_stateCache.filterMode);
        SetMaxAnisotropyState(g_stateCache.maxAnisotropy);
        g_stateCache.force = keptForce;
    }
    const int stagesToSend = p.stageCount < kSamplerStageCount ? p.stageCount + 1 : p.stageCount;
    SendHeader(p, force);
    SendStages(p, stagesToSend, texturesOnly, resolve, force);
    return 0;
}

void BuildTextured(StageProgram* p, const BlendTableRow& row, bool blending) {
    DeviceStateCache& c = g_stateCache;
    const int colorMod = c.colorModulation != 0 ? 1 : 0;
    const int a = c.alphaModulation != 0 ? 1 : 0;
    const bool masked = c.maskTexture != nullptr;
    const bool zOn = c.zEnable == 1;
    int v = 0;
    if (c.imageAlpha == 1) {
        v = 1;
    } else if (c.colorKey == 1 || (zOn && !masked)) {
        v = 2;
    }
    const int selector = masked ? colorMod + 2 : colorMod + 4 * row.colorKind;
    const StageProgram* list = BuiltInTexturedProgram(v, a, selector);
    const StageProgram header = *p;
    *p = *list;
    p->srcBlend = header.srcBlend;
    p->destBlend = header.destBlend;
    p->blendOp = header.blendOp;
    p->textureFactor = kWhite;
    p->alphaRef = c.program.alphaRef;
    p->alphaFunc = c.program.alphaFunc;
    if (!blending) {
        if (c.imageAlpha == 1 || masked) {
            p->srcBlend = D3DBLEND_SRCALPHA;
            p->destBlend = D3DBLEND_INVSRCALPHA;
        }
    }
    if (!masked) {
        // A mask that hid everything is gone: its skip must not drop these.
        g_batch.skip = 0;
        SelectVertexFormat(1);
        if (c.colorKey == 1) {
            p->alphaTestEnable = 1;
            p->alphaRef = 16;
            p->alphaFunc = D3DCMP_GREATER;
        } else if (zOn) {
            p->alphaTestEnable = 1;
            p->alphaRef = 0;
            p->alphaFunc = D3DCMP_GREATER;
        } else {
            p->alphaTestEnable = 0;
        }
        p->alphaBlendEnable = (c.imageAlpha == 1 || blending) ? 1 : 0;
        p->stages[0].texture = c.drawTexture;
        return;
    }
    SelectVertexFormat(2);
    const int threshold = c.maskThreshold;
    g_batch.skip = threshold == 255 ? 1 : 0;
    p->stages[0].texture = c.maskTexture;
    p->stages[MaskedImageStage()].texture = c.drawTexture;
    if (c.maskRange <= 1) {
        p->alphaTestEnable = 1;
        p->alphaRef = (threshold == 0 && (c.imageAlpha != 0 || c.colorKey != 0)) ? 1 : threshold;
        p->alphaFunc = D3DCMP_GREATEREQUAL;
        p->alphaBlendEnable = 0;
        p->textureFactor = 0x00FFFFFFu;
        return;
    }
    p->alphaTestEnable = 0;
    p->alphaBlendEnable = 1;
    const MaskRangeSetup setup = MaskRangeFor(c.maskRange, threshold);
    p->stages[0].alphaOp = static_cast<int16_t>(setup.stage0AlphaOp);
    p->stages[1].alphaOp = static_cast<int16_t>(setup.stage1AlphaOp);
    p->textureFactor = (static_cast<uint32_t>(setup.factorAlpha) << 24) | 0x00FFFFFFu;
}

// Steps 3 to 5: the built-in program of the cached blend state.
StageProgram BuildBuiltIn() {
    DeviceStateCache& c = g_stateCache;
    const BlendTableRow& row = BlendRowFor(c.blendMode);
    StageProgram p = {};
    p.srcBlend = row.srcBlend;
    p.destBlend = row.destBlend;
    p.blendOp = row.blendOp;
    if (c.blendMode == 3 && g_graphics.blendOpSupported != 0) {
        p.srcBlend = D3DBLEND_SRCALPHA;
        p.destBlend = D3DBLEND_ONE;
        p.blendOp = D3DBLENDOP_REVSUBTRACT;
    }
    c.programDirty = 0;
    c.textureDirty = 0;
    const bool blending = c.blendMode != 0 && c.blendMode != 6;
    if (c.drawTexture == nullptr) {
        const StageProgram header = p;
        p = UntexturedProgram(c.blendMode, row.colorKind);
        p.srcBlend = header.srcBlend;
        p.destBlend = header.destBlend;
        p.blendOp = header.blendOp;
        g_batch.skip = 0;
        p.alphaTestEnable = 0;
        p.alphaRef = c.program.alphaRef;
        p.alphaFunc = c.program.alphaFunc;
        p.alphaBlendEnable = blending ? 1 : 0;
        p.textureFactor = kWhite;
        SelectVertexFormat(0);
        return p;
    }
    BuildTextured(&p, row, blending);
    return p;
}

}  // namespace

int SetupDrawTextureState(int resolve, const StageProgram* program, int texturesOnly) {
    if (g_graphics.device == nullptr) {
        return -1;
    }
    DeviceStateCache& c = g_stateCache;
    if (program != nullptr) {
        return ApplyProgram(*program, texturesOnly, resolve);
    }
    if (g_userProgram.installed != 0) {
        return ApplyProgram(g_userProgram.program, g_userProgram.texturesOnly, resolve);
    }
    if (c.force == 0 && c.programDirty == 0) {
        if (c.textureDirty == 0) {
            return -1;
        }
        const int stage = c.maskTexture == nullptr ? 0 : MaskedImageStage();
        if (g_batch.count != 0) {
            FlushVertexBatch();
        }
        SendTexture(stage, c.drawTexture, false);
        c.textureDirty = 0;
        return 0;
    }
    return ApplyProgram(BuildBuiltIn(), 0, resolve);
}

int SetUserStageProgram(const StageProgram* program, int texturesOnly) {
    FlushVertexBatch();
    if (program == nullptr) {
        g_userProgram.installed = 0;
        return 0;
    }
    g_userProgram.program = *program;
    g_userProgram.texturesOnly = texturesOnly;
    g_userProgram.installed = 1;
    g_stateCache.programDirty = 1;
    g_stateCache.textureDirty = 1;
    SetupDrawTextureState(1, nullptr, 0);
    return 0;
}

int ResetStageDefaults2D() {
    IDirect3DDevice9* device = g_graphics.device;
    if (device == nullptr) {
        return -1;
    }
    FlushVertexBatch();
    DeviceStateCache& c = g_stateCache;
    const int coordIndex[4] = {0, 1, 1, 0};
    for (int s = 0; s < 4; ++s) {
        const auto stage = static_cast<DWORD>(s);
        device->SetSamplerState(stage, D3DSAMP_ADDRESSU,
                                static_cast<DWORD>(c.sampler[s][kSamplerAddressU]));
        device->SetSamplerState(stage, D3DSAMP_ADDRESSV,
                                static_cast<DWORD>(c.sampler[s][kSamplerAddressV]));
        device->SetTextureStageState(stage, D3DTSS_TEXCOORDINDEX,
                                     static_cast<DWORD>(coordIndex[s]));
        c.program.stages[s].texCoordIndex = coordIndex[s];
        if (g_graphics.tssArgTempSupported != 0) {
            device->SetTextureStageState(stage, D3DTSS_RESULTARG, D3DTA_CURRENT);
            c.program.stages[s].resultTarget = 0;
        }
    }
    device->SetRenderState(D3DRS_SHADEMODE, static_cast<DWORD>(c.shadeMode));
    device->SetRenderState(D3DRS_LIGHTING, static_cast<DWORD>(c.lighting));
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_DITHERENABLE, FALSE);
    const float vertexC0[4] = {0.0f, 1.0f, 0.0f, 0.0f};
    const float pixelC0[4] = {0.0f, 0.5f, 1.0f, 2.0f};
    SetVertexShaderConstF(0, vertexC0, 1);
    SetPixelShaderConstF(0, pixelC0, 1);
    if (c.vertexShader != nullptr || c.declaration != nullptr) {
        device->SetVertexShader(nullptr);
        c.vertexShader = nullptr;
        c.declaration = nullptr;
    }
    if (c.pixelShader != nullptr) {
        device->SetPixelShader(nullptr);
        c.pixelShader = nullptr;
    }
    c.lastFvf = 0;
    c.streamSource = nullptr;
    c.indexBuffer = nullptr;
    return 0;
}

}  // namespace tessel
