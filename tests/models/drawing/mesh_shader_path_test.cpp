// The shader path of mesh drawing: rigid, 4-bone and 8-bone lists drawn from the model's device
// buffers through the built-in shaders (the world or the bones in the registers from 94) draw
// what the fixed-function path draws from the processor's copies, within one step per channel;
// a list whose shaders cannot be selected is drawn on the fixed-function path alone.
#include "tests/models/drawing/mesh_shader_path_fixture.h"

namespace tessel_test {
namespace {

TEST_F(MeshShaderPathTest, ARigidListDrawsTheFixedPathsPixelsFromTheDeviceBuffers) {
    base_.lists = {{0, 0, 10, 8, 1}};
    Create();
    ExpectSameBothWays(1);
}

TEST_F(MeshShaderPathTest, FourAndEightBoneListsDrawWhatTheProcessorsSkinningDraws) {
    base_.lists = {{0, 1, 10, 8, 1}, {0, 2, 10, 8, 1}};
    Create();
    ExpectSameBothWays(2);
}

TEST_F(MeshShaderPathTest, AListWhoseShadersCannotBeSelectedTakesTheFixedPathAlone) {
    // A normal map lights with the material's diffuse colour: with the diffuse colour from the
    // vertices its lit pixel shaders are not made. The plain list beside it keeps the shaders.
    base_.lists = {{0, 0, 10, 8, 1, true}, {0, 0, 10, 8, 1}};
    Create();
    for (int32_t m = 0; m < record_->base->meshCount; ++m) {
        tessel::ModelMesh& mesh = record_->base->meshes[m];
        if (mesh.material->normalLayerCount > 0) {
            mesh.flags |= tessel::kMeshDiffuseFromVertex;
        }
    }
    ExpectSameBothWays(1);
}

}  // namespace
}  // namespace tessel_test
