// The fixed-function vertex stage; its rules are in vertex_pipeline.h.
#include "platform/d3d9/vertex_pipeline.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace platform::d3d9 {
namespace {

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

double StateFloat(const DeviceState& state, DWORD rs) {
    float f;
    std::memcpy(&f, &state.renderStates[rs], 4);
    return std::isfinite(f) ? f : 0.0;
}

// a x b for Direct3D's row-major matrices, summed in double and stored as floats.
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

void MultiplyDouble(const D3DMATRIX& a, const D3DMATRIX& b, double out[4][4]) {
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k)
                sum += static_cast<double>(a.m[i][k]) * b.m[k][j];
            out[i][j] = sum;
        }
    }
}

// The inverse transpose of the upper 3x3 of m (its cofactors over the determinant); the
// identity when m is singular.
void NormalMatrix(const double m[4][4], double out[3][3]) {
    double c[3][3];
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            int i1 = (i + 1) % 3, i2 = (i + 2) % 3, j1 = (j + 1) % 3, j2 = (j + 2) % 3;
            c[i][j] = m[i1][j1] * m[i2][j2] - m[i1][j2] * m[i2][j1];
        }
    }
    double det = m[0][0] * c[0][0] + m[0][1] * c[0][1] + m[0][2] * c[0][2];
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j)
            out[i][j] = det != 0.0 ? c[i][j] / det : (i == j ? 1.0 : 0.0);
    }
}

void RowTimes(const double v[3], double w, const double m[4][4], double out[3]) {
    for (int j = 0; j < 3; ++j)
        out[j] = v[0] * m[0][j] + v[1] * m[1][j] + v[2] * m[2][j] + w * m[3][j];
}

double Dot(const double a[3], const double b[3]) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

void Normalise(double v[3]) {
    double length = std::sqrt(Dot(v, v));
    if (length > 0.0) {
        for (int i = 0; i < 3; ++i)
            v[i] /= length;
    }
}

void ColourValue(const D3DCOLORVALUE& c, double out[4]) {
    out[0] = c.r;
    out[1] = c.g;
    out[2] = c.b;
    out[3] = c.a;
}

void ArgbToValue(uint32_t argb, double out[4]) {
    out[0] = ((argb >> 16) & 255) / 255.0;
    out[1] = ((argb >> 8) & 255) / 255.0;
    out[2] = (argb & 255) / 255.0;
    out[3] = (argb >> 24) / 255.0;
}

uint32_t Channel(double v) {
    if (!(v > 0.0))
        return 0;
    if (v >= 1.0)
        return 255;
    return static_cast<uint32_t>(v * 255.0 + 0.5);
}

uint32_t ValueToArgb(const double rgb[3], double alpha) {
    return (Channel(alpha) << 24) | (Channel(rgb[0]) << 16) | (Channel(rgb[1]) << 8) |
           Channel(rgb[2]);
}

void CompileLight(const D3DLIGHT9& l, const double view[4][4], CompiledLight* c) {
    c->type = l.Type;
    double d[4];
    ColourValue(l.Diffuse, d);
    std::copy(d, d + 3, c->diffuse);
    ColourValue(l.Specular, d);
    std::copy(d, d + 3, c->specular);
    ColourValue(l.Ambient, d);
    std::copy(d, d + 3, c->ambient);
    double position[3] = {l.Position.x, l.Position.y, l.Position.z};
    double direction[3] = {l.Direction.x, l.Direction.y, l.Direction.z};
    RowTimes(position, 1.0, view, c->position);
    RowTimes(direction, 0.0, view, c->direction);
    Normalise(c->direction);
    c->range = l.Range;
    c->attenuation[0] = l.Attenuation0;
    c->attenuation[1] = l.Attenuation1;
    c->attenuation[2] = l.Attenuation2;
    c->cosHalfTheta = std::cos(static_cast<double>(l.Theta) * 0.5);
    c->cosHalfPhi = std::cos(static_cast<double>(l.Phi) * 0.5);
    c->falloff = l.Falloff;
}

double FogFactor(DWORD mode, double d, double start, double end, double density) {
    double f = 1.0;
    if (mode == D3DFOG_LINEAR) {
        double range = end - start;
        f = range != 0.0 ? (end - d) / range : (d < end ? 1.0 : 0.0);
    } else if (mode == D3DFOG_EXP) {
        f = std::exp(-(d * density));
    } else if (mode == D3DFOG_EXP2) {
        double x = d * density;
        f = std::exp(-(x * x));
    }
    return std::clamp(f, 0.0, 1.0);
}

// A material colour from its source: the vertex's colour 1 or 2 where it has one.
void SourceColour(const VertexProgram& p, DWORD source, const double* material, bool hasDiffuse,
                  const double* diffuse, bool hasSpecular, const double* specular, double out[4]) {
    const double* from = material;
    if (p.colorVertex && source == D3DMCS_COLOR1 && hasDiffuse)
        from = diffuse;
    else if (p.colorVertex && source == D3DMCS_COLOR2 && hasSpecular)
        from = specular;
    std::copy(from, from + 4, out);
}

void Light(const VertexProgram& p, const double position[3], const double normal[3],
           uint32_t vertexDiffuse, uint32_t vertexSpecular, RasterVertex* out) {
    const VertexLayout& layout = p.layout;
    double vd[4], vs[4];
    ArgbToValue(vertexDiffuse, vd);
    ArgbToValue(vertexSpecular, vs);
    bool hasD = layout.diffuse >= 0, hasS = layout.specular >= 0;
    double cd[4], ca[4], cs[4], ce[4];
    SourceColour(p, p.diffuseSource, p.material[0], hasD, vd, hasS, vs, cd);
    SourceColour(p, p.ambientSource, p.material[1], hasD, vd, hasS, vs, ca);
    SourceColour(p, p.specularSource, p.material[2], hasD, vd, hasS, vs, cs);
    SourceColour(p, p.emissiveSource, p.material[3], hasD, vd, hasS, vs, ce);

    double diffuse[3], specular[3] = {0.0, 0.0, 0.0};
    for (int c = 0; c < 3; ++c)
        diffuse[c] = ce[c] + ca[c] * p.globalAmbient[c];
    double toEye[3] = {-position[0], -position[1], -position[2]};
    Normalise(toEye);
    for (int i = 0; i < p.lightCount; ++i) {
        const CompiledLight& l = p.lights[i];
        double toLight[3];
        double atten = 1.0, spot = 1.0;
        if (l.type == D3DLIGHT_DIRECTIONAL) {
            for (int c = 0; c < 3; ++c)
                toLight[c] = -l.direction[c];
        } else {
            for (int c = 0; c < 3; ++c)
                toLight[c] = l.position[c] - position[c];
            double d = std::sqrt(Dot(toLight, toLight));
            if (d > l.range)
                continue;
            Normalise(toLight);
            double denominator = l.attenuation[0] + l.attenuation[1] * d + l.attenuation[2] * d * d;
            atten = denominator > 0.0 ? 1.0 / denominator : 1.0;
            if (l.type == D3DLIGHT_SPOT) {
                double rho = -Dot(toLight, l.direction);
                if (rho <= l.cosHalfPhi) {
                    spot = 0.0;
                } else if (rho <= l.cosHalfTheta) {
                    double x = (rho - l.cosHalfPhi) / (l.cosHalfTheta - l.cosHalfPhi);
                    spot = l.falloff == 1.0 ? x : std::pow(x, l.falloff);
                }
            }
        }
        double scale = atten * spot;
        double nl = std::max(Dot(normal, toLight), 0.0);
        for (int c = 0; c < 3; ++c)
            diffuse[c] += scale * (ca[c] * l.ambient[c] + cd[c] * l.diffuse[c] * nl);
        if (!p.specular)
            continue;
        double half[3];
        for (int c = 0; c < 3; ++c)
            half[c] = toLight[c] + (p.localViewer ? toEye[c] : (c == 2 ? 1.0 : 0.0));
        Normalise(half);
        double nh = std::max(Dot(normal, half), 0.0);
        double term = p.power == 0.0 ? 1.0 : std::pow(nh, p.power);
        for (int c = 0; c < 3; ++c)
            specular[c] += scale * cs[c] * l.specular[c] * term;
    }
    out->diffuse = ValueToArgb(diffuse, cd[3]);
    out->specular = ValueToArgb(specular, cs[3]);
}

// The sets as the vertex gives them (pre-transformed vertices, or no stage transforming its
// set): the floats the stage's set holds, 0 for those it lacks, in single precision throughout
// (the general path's round trip through double changes no float).
void PlainTextureCoordinates(const VertexProgram& p, const uint8_t* v, RasterVertex* out) {
    const VertexLayout& layout = p.layout;
    for (int i = 0; i < kRasterTexCoordSets; ++i) {
        const DWORD set = p.stages[i].set;
        float u = 0.0f, w = 0.0f;
        if (set < static_cast<DWORD>(layout.texSets)) {
            const uint8_t* given = v + layout.tex[set];
            u = LoadFloat(given);
            if (layout.texFloats[set] >= 2)
                w = LoadFloat(given + 4);
        }
        out->tex[i][0] = u;
        out->tex[i][1] = w;
        out->texQ[i] = 1.0f;
    }
}

void TextureCoordinates(const VertexProgram& p, const uint8_t* v, RasterVertex* out) {
    if (p.plainCoordinates) {
        PlainTextureCoordinates(p, v, out);
        return;
    }
    const VertexLayout& layout = p.layout;
    for (int i = 0; i < kRasterTexCoordSets; ++i) {
        const StageCoordinates& st = p.stages[i];
        double in[4] = {0.0, 0.0, 0.0, 0.0};
        int given = 0;
        if (st.set < static_cast<DWORD>(layout.texSets)) {
            given = layout.texFloats[st.set];
            for (int k = 0; k < given; ++k)
                in[k] = LoadFloat(v + layout.tex[st.set] + 4 * k);
        }
        out->texQ[i] = 1.0f;
        if (st.count == 0) {
            out->tex[i][0] = static_cast<float>(in[0]);
            out->tex[i][1] = static_cast<float>(in[1]);
            continue;
        }
        if (given < 4)
            in[given] = 1.0;
        double r[4];
        for (int j = 0; j < 4; ++j) {
            r[j] = in[0] * st.matrix[0][j] + in[1] * st.matrix[1][j] + in[2] * st.matrix[2][j] +
                   in[3] * st.matrix[3][j];
        }
        out->tex[i][0] = static_cast<float>(r[0]);
        out->tex[i][1] = st.count >= 2 ? static_cast<float>(r[1]) : 0.0f;
        if (st.projected)
            out->texQ[i] = static_cast<float>(r[st.count - 1]);
    }
}

}  // namespace

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
    if (fvf & D3DFVF_NORMAL) {
        layout->normal = layout->size;
        layout->size += 12;
    }
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
    if (sets > kMaxTexCoordSets)
        return false;
    for (int i = 0; i < sets; ++i) {
        // Coordinate sizes sit two bits a set from bit 16: 0 two floats, 1 three, 2 four, 3 one.
        static const int kFloats[4] = {2, 3, 4, 1};
        int floats = kFloats[(fvf >> (16 + 2 * i)) & 3];
        layout->tex[i] = layout->size;
        layout->texFloats[i] = floats;
        layout->size += 4 * floats;
    }
    layout->texSets = sets;
    return true;
}

void CompileVertexProgram(const DeviceState& state, const VertexLayout& layout, VertexProgram* p,
                          RasterStates* states) {
    p->layout = layout;
    const DWORD* rs = state.renderStates;
    const D3DMATRIX& world = state.transforms[D3DTS_WORLD];
    const D3DMATRIX& view = state.transforms[D3DTS_VIEW];
    const D3DMATRIX& projection = state.transforms[D3DTS_PROJECTION];
    bool untransformed = !layout.transformed;
    if (untransformed) {
        p->transform = Multiply(Multiply(world, view), projection);
        MultiplyDouble(world, view, p->worldView);
        NormalMatrix(p->worldView, p->normalMatrix);
    }
    p->lighting = untransformed && rs[D3DRS_LIGHTING] != FALSE;
    p->normalize = rs[D3DRS_NORMALIZENORMALS] != FALSE;
    p->localViewer = rs[D3DRS_LOCALVIEWER] != FALSE;
    p->specular = rs[D3DRS_SPECULARENABLE] != FALSE;
    p->colorVertex = rs[D3DRS_COLORVERTEX] != FALSE;
    p->diffuseSource = rs[D3DRS_DIFFUSEMATERIALSOURCE];
    p->specularSource = rs[D3DRS_SPECULARMATERIALSOURCE];
    p->ambientSource = rs[D3DRS_AMBIENTMATERIALSOURCE];
    p->emissiveSource = rs[D3DRS_EMISSIVEMATERIALSOURCE];
    p->lightCount = 0;
    // The material, the ambient light and the lights are read by lighting alone.
    if (p->lighting) {
        ColourValue(state.material.Diffuse, p->material[0]);
        ColourValue(state.material.Ambient, p->material[1]);
        ColourValue(state.material.Specular, p->material[2]);
        ColourValue(state.material.Emissive, p->material[3]);
        p->power = state.material.Power;
        double ambient[4];
        ArgbToValue(rs[D3DRS_AMBIENT], ambient);
        std::copy(ambient, ambient + 3, p->globalAmbient);
        double viewMatrix[4][4];
        for (int i = 0; i < 4; ++i) {
            for (int j = 0; j < 4; ++j)
                viewMatrix[i][j] = view.m[i][j];
        }
        for (const auto& [index, slot] : state.lights) {
            if (!slot.enabled || p->lightCount == 8)
                continue;
            CompileLight(slot.light, viewMatrix, &p->lights[p->lightCount++]);
        }
    }

    // Fog: a table mode wins over the vertex mode; vertex fog is computed for untransformed
    // vertices only, pre-transformed ones carry their factor in the specular alpha.
    bool fog = rs[D3DRS_FOGENABLE] != FALSE;
    DWORD table = rs[D3DRS_FOGTABLEMODE];
    DWORD vertexMode = rs[D3DRS_FOGVERTEXMODE];
    bool tableFog = table == D3DFOG_EXP || table == D3DFOG_EXP2 || table == D3DFOG_LINEAR;
    bool vertexFog =
        vertexMode == D3DFOG_EXP || vertexMode == D3DFOG_EXP2 || vertexMode == D3DFOG_LINEAR;
    p->fogMode = fog && !tableFog && vertexFog && untransformed ? vertexMode : 0;
    p->rangeFog = rs[D3DRS_RANGEFOGENABLE] != FALSE;
    p->fogStart = StateFloat(state, D3DRS_FOGSTART);
    p->fogEnd = StateFloat(state, D3DRS_FOGEND);
    p->fogDensity = StateFloat(state, D3DRS_FOGDENSITY);
    states->vertexFogInSpecular = p->fogMode != 0 || layout.specular >= 0;
    states->fogFromW = !(projection._14 == 0.0f && projection._24 == 0.0f &&
                         projection._34 == 0.0f && projection._44 == 1.0f);

    p->plainCoordinates = true;
    for (int i = 0; i < kRasterTexCoordSets; ++i) {
        StageCoordinates& st = p->stages[i];
        st.set = state.stageStates[i][D3DTSS_TEXCOORDINDEX] & 0xFFFFu;
        DWORD flags = state.stageStates[i][D3DTSS_TEXTURETRANSFORMFLAGS];
        st.count = untransformed ? std::min<DWORD>(flags & 0xFFu, 4u) : 0;
        st.projected = st.count >= 2 && (flags & D3DTTFF_PROJECTED) != 0;
        const D3DMATRIX& m = state.transforms[D3DTS_TEXTURE0 + i];
        for (int r = 0; r < 4 && st.count != 0; ++r) {  // read only when a count is set
            for (int c = 0; c < 4; ++c)
                st.matrix[r][c] = m.m[r][c];
        }
        states->stage[i][kTssTexCoordIndex] = static_cast<uint32_t>(i);
        states->texProjected[i] = st.projected;
        p->plainCoordinates = p->plainCoordinates && st.count == 0;
    }
}

void RunVertexProgram(const VertexProgram& p, const uint8_t* v, RasterVertex* out) {
    const VertexLayout& layout = p.layout;
    float x = LoadFloat(v), y = LoadFloat(v + 4), z = LoadFloat(v + 8);
    uint32_t diffuse = layout.diffuse >= 0 ? LoadWord(v + layout.diffuse) : 0xFFFFFFFFu;
    uint32_t specular = layout.specular >= 0 ? LoadWord(v + layout.specular) : 0u;
    out->diffuse = diffuse;
    out->specular = specular;
    TextureCoordinates(p, v, out);
    if (layout.transformed) {
        out->x = x;
        out->y = y;
        out->z = z;
        out->rhw = LoadFloat(v + 12);
        return;
    }
    const D3DMATRIX& m = p.transform;
    float clip[4];
    for (int j = 0; j < 4; ++j) {
        clip[j] = static_cast<float>(static_cast<double>(x) * m.m[0][j] +
                                     static_cast<double>(y) * m.m[1][j] +
                                     static_cast<double>(z) * m.m[2][j] + m.m[3][j]);
    }
    out->x = clip[0];
    out->y = clip[1];
    out->z = clip[2];
    out->rhw = clip[3];  // clip-space w
    if (!p.lighting && p.fogMode == 0)
        return;
    double position[3] = {x, y, z}, eye[3];
    RowTimes(position, 1.0, p.worldView, eye);
    if (p.lighting) {
        double normal[3] = {0.0, 0.0, 0.0};
        if (layout.normal >= 0) {
            double n[3] = {LoadFloat(v + layout.normal), LoadFloat(v + layout.normal + 4),
                           LoadFloat(v + layout.normal + 8)};
            for (int j = 0; j < 3; ++j) {
                normal[j] = n[0] * p.normalMatrix[0][j] + n[1] * p.normalMatrix[1][j] +
                            n[2] * p.normalMatrix[2][j];
            }
            if (p.normalize)
                Normalise(normal);
        }
        Light(p, eye, normal, diffuse, specular, out);
    }
    if (p.fogMode != 0) {
        double d = p.rangeFog ? std::sqrt(Dot(eye, eye)) : eye[2];
        double f = FogFactor(p.fogMode, d, p.fogStart, p.fogEnd, p.fogDensity);
        out->specular = (out->specular & 0x00FFFFFFu) | (Channel(f) << 24);
    }
}

}  // namespace platform::d3d9
