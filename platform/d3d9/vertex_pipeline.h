// The device's fixed-function vertex stage: vertices read by their FVF, transformed, lit, given
// their texture coordinates and vertex fog, and handed to the rasteriser as RasterVertex.
//
// - Position: untransformed vertices (XYZ) go through world x view x projection as row vectors
//   into clip space; pre-transformed ones (XYZRHW) pass as they are, with no lighting, texture
//   transform or vertex fog.
// - Lighting (LIGHTING TRUE, untransformed vertices), in camera space:
//   diffuse = Ce + Ca Ga + sum over lights of Atten Spot (Ca La + Cd Ld max(N.L, 0)),
//   specular = sum of Atten Spot Cs Ls max(N.H, 0)^P (SPECULARENABLE only), each channel clamped
//   to 0..1 and rounded to 8 bits; the diffuse alpha is Cd's, the specular alpha Cs's. N is the
//   normal times the inverse transpose of world x view (unit length with NORMALIZENORMALS), L
//   the unit vector to the light (the reverse of a directional light's direction), H the unit
//   half-way vector of L and the unit vector to the eye (LOCALVIEWER) or (0, 0, 1).
//   Atten = 1 / (a0 + a1 d + a2 d^2) for point and spot lights (1 for directional), and a light
//   farther than its Range adds nothing; Spot = 1 inside the inner cone (rho > cos(Theta / 2)),
//   0 outside the outer one (rho <= cos(Phi / 2)), else ((rho - cos(Phi / 2)) /
//   (cos(Theta / 2) - cos(Phi / 2)))^Falloff, rho being the cosine between the spot direction
//   and the light-to-vertex direction. The material colours Cd, Cs, Ca, Ce come from the
//   material or, with COLORVERTEX, from the vertex's diffuse (COLOR1) or specular (COLOR2)
//   colour as the four MATERIALSOURCE states say, the material where the vertex lacks it.
//   Without lighting the vertex's colours pass (white and black where absent).
// - Texture coordinates: rasteriser set i holds what stage i reads: the vertex set that its
//   TEXCOORDINDEX names, through the stage's texture transform when TEXTURETRANSFORMFLAGS asks
//   (the coordinates padded with 1 after the last given and 0 beyond, times the matrix, COUNTn
//   keeping n results); PROJECTED divides by the last kept result at each pixel.
// - Vertex fog (FOGVERTEXMODE, no table mode): the factor of the camera-space depth z (or the
//   distance to the eye with RANGEFOGENABLE), LINEAR (end - d) / (end - start), EXP
//   e^-(density d), EXP2 e^-((density d)^2), clamped to 0..1, goes into the specular alpha in
//   1/255, where the rasteriser reads it.
#pragma once

#include <cstdint>

#include "platform/d3d9/device.h"
#include "platform/d3d9/raster_types.h"

namespace platform::d3d9 {

constexpr int kMaxTexCoordSets = 8;

// Where the fields of one vertex lie, from its FVF.
struct VertexLayout {
    bool transformed = false;  // XYZRHW
    int size = 0;
    int normal = -1;
    int diffuse = -1;
    int specular = -1;
    int texSets = 0;
    int tex[kMaxTexCoordSets] = {};
    int texFloats[kMaxTexCoordSets] = {};
};

// False for an FVF without a position the device draws or with more than eight sets.
bool LayoutFor(DWORD fvf, VertexLayout* layout);

struct CompiledLight {
    DWORD type;
    double diffuse[3], specular[3], ambient[3];
    double position[3];   // camera space
    double direction[3];  // camera space, unit length: where the light shines
    double range;
    double attenuation[3];
    double cosHalfTheta, cosHalfPhi;
    double falloff;
};

struct StageCoordinates {
    DWORD set;
    DWORD count;  // TEXTURETRANSFORMFLAGS' count; 0: no transform
    bool projected;
    double matrix[4][4];
};

// Everything a draw's vertices need, compiled once a draw.
struct VertexProgram {
    VertexLayout layout;
    D3DMATRIX transform;  // world x view x projection
    double worldView[4][4];
    double normalMatrix[3][3];
    bool lighting = false;
    bool normalize = false;
    bool localViewer = true;
    bool specular = false;
    bool colorVertex = true;
    DWORD diffuseSource = 0, specularSource = 0, ambientSource = 0, emissiveSource = 0;
    double material[4][4];  // diffuse, ambient, specular, emissive: r, g, b, a
    double power = 0.0;
    double globalAmbient[3] = {};
    CompiledLight lights[8];
    int lightCount = 0;
    DWORD fogMode = 0;  // vertex fog formula, 0 when none is computed
    bool rangeFog = false;
    double fogStart = 0.0, fogEnd = 1.0, fogDensity = 1.0;
    StageCoordinates stages[kRasterTexCoordSets];
    bool plainCoordinates = false;  // no stage transforms its set
};

// Compiles the program and tells the rasteriser's states what it does: each stage reads its
// own set, which sets are projected, where fog factors lie and whether table fog takes w.
void CompileVertexProgram(const DeviceState& state, const VertexLayout& layout,
                          VertexProgram* program, RasterStates* states);
void RunVertexProgram(const VertexProgram& program, const uint8_t* vertex, RasterVertex* out);

}  // namespace platform::d3d9
