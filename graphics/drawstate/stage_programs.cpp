// The constant tables of the per-draw set-up: the blend table of modes 0-12,
// the 72 built-in textured stage programs (built once by rule) and the blend
// mask's fade ranges.
#include <array>

#include "graphics/drawstate/draw_state.h"

namespace tessel {

namespace {

constexpr int16_t kLeave = -1;

const BlendTableRow kBlendTable[kBlendModeCount] = {
    {-1, -1, D3DBLENDOP_ADD, 0, 0},
    {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD, 0, 1},
    {D3DBLEND_SRCALPHA, D3DBLEND_ONE, D3DBLENDOP_ADD, 0, 1},
    {D3DBLEND_INVDESTCOLOR, D3DBLEND_ZERO, D3DBLENDOP_ADD, 0, 1},
    {D3DBLEND_ZERO, D3DBLEND_SRCCOLOR, D3DBLENDOP_ADD, 0, 1},
    {D3DBLEND_SRCALPHA, D3DBLEND_ONE, D3DBLENDOP_ADD, 0, 1},
    {-1, -1, D3DBLENDOP_ADD, 0, 0},
    {-1, -1, D3DBLENDOP_ADD, 0, 1},
    {D3DBLEND_ZERO, D3DBLEND_ONE, D3DBLENDOP_ADD, 0, 1},
    {D3DBLEND_INVDESTCOLOR, D3DBLEND_ZERO, D3DBLENDOP_ADD, 0, 1},
    {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD, 2, 1},
    {D3DBLEND_ZERO, D3DBLEND_SRCCOLOR, D3DBLENDOP_ADD, 1, 1},
    {D3DBLEND_SRCALPHA, D3DBLEND_ONE, D3DBLENDOP_REVSUBTRACT, 0, 1},
};

StageProgramEntry Stage(int texCoord, int colorOp, int colorArg1, int colorArg2, int alphaOp,
                        int alphaArg1, int alphaArg2) {
    StageProgramEntry e = {};
    e.imageHandle = -1;
    e.texCoordIndex = texCoord;
    e.resultTarget = 0;
    e.colorOp = static_cast<int16_t>(colorOp);
    e.colorArg1 = static_cast<int16_t>(colorArg1);
    e.colorArg2 = static_cast<int16_t>(colorArg2);
    e.alphaOp = static_cast<int16_t>(alphaOp);
    e.alphaArg1 = static_cast<int16_t>(alphaArg1);
    e.alphaArg2 = static_cast<int16_t>(alphaArg2);
    return e;
}

// The image's colour in a masked program.
void SetImageColor(StageProgramEntry* e, int colorMod) {
    e->colorOp = colorMod != 0 ? D3DTOP_MODULATE : D3DTOP_SELECTARG1;
    e->colorArg1 = D3DTA_TEXTURE;
    e->colorArg2 = colorMod != 0 ? static_cast<int16_t>(D3DTA_DIFFUSE) : kLeave;
}

StageProgram Unmasked(int v, int a, int colorMod, int kind) {
    StageProgram p = {};
    const int texture = kind == 2 ? (D3DTA_TEXTURE | D3DTA_COMPLEMENT) : D3DTA_TEXTURE;
    StageProgramEntry s0 = colorMod != 0
                               ? Stage(0, D3DTOP_MODULATE, texture, D3DTA_DIFFUSE, 0, 0, 0)
                               : Stage(0, D3DTOP_SELECTARG1, texture, kLeave, 0, 0, 0);
    if (v == 0) {
        s0.alphaOp = D3DTOP_SELECTARG2;
        s0.alphaArg1 = kLeave;
        s0.alphaArg2 = D3DTA_DIFFUSE;
    } else if (a == 0) {
        s0.alphaOp = D3DTOP_SELECTARG1;
        s0.alphaArg1 = D3DTA_TEXTURE;
        s0.alphaArg2 = kLeave;
    } else {
        s0.alphaOp = D3DTOP_MODULATE;
        s0.alphaArg1 = D3DTA_TEXTURE;
        s0.alphaArg2 = D3DTA_DIFFUSE;
    }
    p.stages[0] = s0;
    p.stageCount = 1;
    if (kind == 1) {
        p.stages[1] = Stage(1, D3DTOP_BLENDCURRENTALPHA, D3DTA_CURRENT, D3DTA_TFACTOR,
                            D3DTOP_SELECTARG1, D3DTA_CURRENT, kLeave);
        p.stageCount = 2;
    }
    return p;
}

StageProgram Masked(int v, int a, int colorMod) {
    StageProgram p = {};
    p.stages[0] = Stage(0, D3DTOP_SELECTARG2, kLeave, D3DTA_DIFFUSE, D3DTOP_ADD, D3DTA_TEXTURE,
                        D3DTA_TFACTOR);
    auto alphaMod = [](int texCoord, int arg1) {
        return Stage(texCoord, D3DTOP_SELECTARG1, D3DTA_CURRENT, kLeave, D3DTOP_MODULATE, arg1,
                     D3DTA_CURRENT);
    };
    if (v == 0) {
        StageProgramEntry s1 =
            a == 0 ? Stage(1, 0, 0, 0, D3DTOP_MODULATE, D3DTA_CURRENT, D3DTA_DIFFUSE)
                   : Stage(1, 0, 0, 0, D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_CURRENT);
        SetImageColor(&s1, colorMod);
        p.stages[1] = s1;
        p.stageCount = 2;
    } else if (v == 1) {
        p.stages[1] = alphaMod(1, D3DTA_SPECULAR);
        StageProgramEntry s2 = alphaMod(1, D3DTA_TEXTURE);
        SetImageColor(&s2, colorMod);
        p.stages[2] = s2;
        p.stageCount = 3;
        if (a != 0) {
            p.stages[3] = alphaMod(0, D3DTA_DIFFUSE);
            p.stageCount = 4;
        }
    } else {
        StageProgramEntry s1 = alphaMod(1, D3DTA_TEXTURE);
        SetImageColor(&s1, colorMod);
        p.stages[1] = s1;
        p.stageCount = 2;
        if (a != 0) {
            p.stages[2] = alphaMod(1, D3DTA_DIFFUSE);
            p.stageCount = 3;
        }
    }
    return p;
}

// Every stage after the last one disables; its other fields leave.
void CloseProgram(StageProgram* p) {
    for (int s = p->stageCount; s < kSamplerStageCount; ++s) {
        p->stages[s] =
            Stage(kLeave, D3DTOP_DISABLE, kLeave, kLeave, D3DTOP_DISABLE, kLeave, kLeave);
    }
}

struct ProgramTable {
    std::array<StageProgram, 72> programs;
    std::array<bool, 72> used;
};

ProgramTable BuildProgramTable() {
    ProgramTable table = {};
    for (int c = 0; c < 12; ++c) {
        const bool masked = c == 2 || c == 3;
        const int kind = c / 4;
        const int colorMod = c % 2;
        if (!masked && c % 4 > 1) {
            continue;
        }
        for (int a = 0; a < 2; ++a) {
            for (int v = 0; v < 3; ++v) {
                const int index = v + 3 * a + 6 * c;
                StageProgram p = masked ? Masked(v, a, colorMod) : Unmasked(v, a, colorMod, kind);
                CloseProgram(&p);
                table.programs[index] = p;
                table.used[index] = true;
            }
        }
    }
    return table;
}

}  // namespace

const BlendTableRow& BlendRowFor(int mode) {
    // Values past the table are stored as given and not defined; they draw
    // as copies.
    return mode >= 0 && mode < kBlendModeCount ? kBlendTable[mode] : kBlendTable[0];
}

const StageProgram* BuiltInTexturedProgram(int v, int a, int c) {
    static const ProgramTable table = BuildProgramTable();
    const int index = v + 3 * a + 6 * c;
    if (v < 0 || v > 2 || a < 0 || a > 1 || index < 0 || index >= 72 || !table.used[index]) {
        return nullptr;
    }
    return &table.programs[index];
}

MaskRangeSetup MaskRangeFor(int range, int t) {
    struct Row {
        int32_t op;
        int32_t top;   // e at threshold 0
        int32_t low;   // e below it subtracts
        int32_t gain;  // factor alpha per 256 above low
    };
    Row row = {D3DTOP_MODULATE, 512, 256, 255};
    if (range <= 64) {
        row = {D3DTOP_MODULATE4X, 1280, 1024, 64};
    } else if (range <= 128) {
        row = {D3DTOP_MODULATE2X, 768, 512, 128};
    }
    const int e = row.top - t * row.top / 255;
    if (e < row.low) {
        return {D3DTOP_SUBTRACT, row.op, 255 - e * 255 / row.low};
    }
    return {D3DTOP_ADD, row.op, (e - row.low) * row.gain / 256};
}

}  // namespace tessel
