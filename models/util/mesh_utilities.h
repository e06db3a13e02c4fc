// Mesh work the loaders and the base processing share: the tangent frames of
// a mesh's normals, the gathering of a triangle list's vertices into the
// aligned source layouts skinning reads, and the preparation of a texture's
// colour and alpha images.
#pragma once

#include <cstdint>

#include "images/base_image.h"
#include "models/core/model_records.h"

namespace tessel {

// Bytes of one source vertex of a list: 32 rigid, 48 up to 4 bones, 64 up to
// 8 bones, the list's own vertex size for free-form lists.
int32_t SourceVertexBytes(const ModelTriangleList* list);

// Tangent and binormal of every normal record the mesh's vertices use, from
// its triangles' positions and first texture coordinates. 0 or -1.
int RebuildTangentFrames(ModelMesh* mesh);
// The list's source vertices from its frame's positions and normals.
int GatherMeshVertices(ModelTriangleList* list);
// The same from a model's own copy of its mesh's positions and normals.
int GatherInstanceListVertices(ModelInstanceTriangleList* list);

// Decodes the files into a colour and an alpha image (a missing colour file
// gives white of the alpha image's size), optionally turns the colour image
// from a height map into a normal map, scales sides that are not powers of
// two up to the next ones (capped at half the device's largest texture),
// scales the alpha image to the colour image's size and optionally turns
// both by 180 degrees. 0, or -1 with nothing left made.
int MergeColorAndAlphaImages(BASEIMAGE* colourOut, BASEIMAGE* alphaOut, const void* colourFile,
                             int colourSize, const void* alphaFile, int alphaSize, int toNormalMap,
                             float bumpScale, int rotate);

}  // namespace tessel
