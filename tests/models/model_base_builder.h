// A whole base laid out by hand for model, buffer and animation tests:
// frames in a tree (parents first, each subtree contiguous), one mesh per
// triangle list, skin bones, shapes and animation sets. The record is a
// tracked block, as the base release frees it; every array it points at lives
// in this object, which must outlive the base. Vertex values are not round so
// that a byte in the wrong place shows. The benchmarks build their bases
// with it too.
#pragma once

#include <cstring>
#include <vector>

#include "foundation/memory/memory.h"
#include "models/base/base_processing.h"
#include "models/core/model_system.h"
#include "models/instances/model_instances.h"
#include "models/util/mesh_utilities.h"
#include "models/util/model_containers.h"

namespace tessel_test {

struct TestFrame {
    int parent = -1;
    tessel::Vec3 translation{0.0f, 0.0f, 0.0f};
    tessel::Vec3 scale{1.0f, 1.0f, 1.0f};
    tessel::Vec3 rotation{0.0f, 0.0f, 0.0f};
    int order = 0;
    uint32_t flags = 1;
};

struct TestList {
    int frame = 0;
    int vertexType = 0;  // 0 rigid, 1 and 2 skinned (bones: frames 0 and 1)
    int vertexCount = 4;
    int triangles = 2;  // a strip over the vertices
    int sets = 1;
    bool normalMap = false;
    bool shape = false;  // the mesh is deformed by shapes
    uint8_t visible = 1;
};

struct TestSkinBone {
    int frame = 0;  // whose run refers to it
    int boneFrame = 0;
    tessel::Mat3x4 bind = {};
    int translationOnly = 0;
};

struct TestShape {
    int frame = 0;
    int list = 0;  // the mesh it deforms
    std::vector<tessel::ModelShapeDelta> deltas;
};

struct TestKeySet {
    uint8_t kind = 1;
    uint8_t target = 10;
    int16_t shapeIndex = -1;
    std::vector<float> times;  // empty: start + k x step
    float start = 0.0f;
    float step = 1.0f;
    std::vector<float> values;
};

struct TestAnim {
    int frame = 0;
    std::vector<TestKeySet> keySets;
};

struct TestAnimSet {
    int additive = 0;
    int matrixMode = 0;
    std::vector<TestAnim> anims;
};

// The values a vertex of a list gets.
inline tessel::Vec3 TestPosition(int list, int i) {
    return {0.25f + 1.5f * i + 100.0f * list, -0.75f + 0.5f * (i % 3), 2.125f - 0.375f * i};
}
inline tessel::Vec3 TestNormal(int list, int i) {
    return {0.125f * i, 0.5f + 0.0625f * list, -0.8125f};
}
inline uint32_t TestDiffuse(int list, int i) {
    return 0xFF000000u | static_cast<uint32_t>(list) << 16 | static_cast<uint32_t>(i);
}
inline uint32_t TestSpecular(int list, int i) {
    return 0x01020304u + static_cast<uint32_t>(i) * 0x10u + static_cast<uint32_t>(list);
}
inline float TestU(int i, int set) {
    return 0.125f * i + 0.5f * set;
}
inline float TestV(int i, int set) {
    return 1.0f - 0.0625f * i - 0.25f * set;
}

class TestBase {
  public:
    std::vector<TestFrame> frames{TestFrame{}};
    std::vector<TestList> lists;
    std::vector<TestSkinBone> skinBones;
    std::vector<TestShape> shapes;
    std::vector<TestAnimSet> animSets;

    // Lays the base out and stores it in a new base slot; its handle or -1.
    int Store() {
        handle_ = tessel::NewModelBaseHandle();
        if (handle_ == -1) {
            return -1;
        }
        base_ = static_cast<tessel::ModelBase*>(
            tessel::AllocTrackedZeroed(sizeof(tessel::ModelBase), "", 0));
        LayFrames();
        LayMeshes();
        LaySkinBones();
        LayShapes();
        LayAnimations();
        tessel::ComputeFrameMatrices(base_);
        if (tessel::StoreModelBase(handle_, base_) != 0) {
            return -1;
        }
        return handle_;
    }

    tessel::ModelBase* base() const { return base_; }
    int handle() const { return handle_; }

  private:
    int Descendants(int frame) const {
        int count = 0;
        for (size_t i = frame + 1; i < frames.size(); ++i) {
            int p = frames[i].parent;
            while (p != -1 && p != frame) {
                p = frames[p].parent;
            }
            if (p != frame) {
                break;
            }
            ++count;
        }
        return count;
    }

    void LayFrames() {
        const int n = static_cast<int>(frames.size());
        frameRecords_.assign(n, tessel::ModelFrame{});
        maskWords_.assign(n, std::vector<uint32_t>(8, 0));
        for (int i = 0; i < n; ++i) {
            tessel::ModelFrame& f = frameRecords_[i];
            const TestFrame& t = frames[i];
            f.base = base_;
            f.index = i;
            f.translation = t.translation;
            f.scale = t.scale;
            f.rotation = t.rotation;
            f.rotationOrder = t.order;
            f.quaternion[3] = 1.0f;
            f.flags = t.flags;
            f.parent = t.parent >= 0 ? &frameRecords_[t.parent] : nullptr;
            tessel::InitFrameChangeDescriptor(&f.change, maskWords_[i].data(), i + 1,
                                              1 + Descendants(i));
            tessel::InitFrameChangeDescriptor(&f.drawChange, nullptr, i + 1, 1);
        }
        for (int i = 0; i < n; ++i) {
            tessel::ModelFrame& f = frameRecords_[i];
            if (f.parent == nullptr) {
                ++base_->topFrameCount;
                continue;
            }
            if (f.parent->firstChild == nullptr) {
                f.parent->firstChild = &f;
            } else {
                f.parent->lastChild->nextSibling = &f;
                f.prevSibling = f.parent->lastChild;
            }
            f.parent->lastChild = &f;
        }
        base_->frameCount = n;
        base_->frames = frameRecords_.data();
    }

    // Lists are grouped by frame, as a loader lays them: a frame's meshes and
    // lists are contiguous.
    void LayMeshes() {
        const int count = static_cast<int>(lists.size());
        order_.clear();
        for (size_t f = 0; f < frames.size(); ++f) {
            for (int i = 0; i < count; ++i) {
                if (lists[i].frame == static_cast<int>(f)) {
                    order_.push_back(i);
                }
            }
        }
        meshRecords_.assign(count, tessel::ModelMesh{});
        listRecords_.assign(count, tessel::ModelTriangleList{});
        materials_.assign(count, tessel::ModelMaterial{});
        meshVertices_.assign(count, {});
        meshIndices_.assign(count, {});
        indices_.assign(count, {});
        filtered_.assign(count, {});
        gatheredPositions_.assign(count, {});
        gatheredNormals_.assign(count, {});
        sourceVertices_.assign(count, {});
        bones_.assign(count, std::vector<int32_t>{0, 1});
        positions_.assign(frames.size(), {});
        normals_.assign(frames.size(), {});
        std::vector<int> firstPosition(count, 0);
        const int maxWeights = 8;
        for (int slot = 0; slot < count; ++slot) {
            const int li = order_[slot];
            const TestList& t = lists[li];
            firstPosition[slot] = static_cast<int>(normals_[t.frame].size());
            for (int i = 0; i < t.vertexCount; ++i) {
                tessel::Vec3 p = TestPosition(li, i);
                std::vector<uint8_t>& pos = positions_[t.frame];
                size_t at = pos.size();
                pos.resize(at + 12 + 8 * maxWeights, 0);
                std::memcpy(&pos[at], &p, 12);
                const uint32_t pairs[2][2] = {{0, 0}, {1, 0}};
                const float weights[2] = {0.75f, 0.25f};
                for (int k = 0; k < maxWeights; ++k) {
                    uint32_t bone = k < 2 ? pairs[k][0] : 0xFFFFFFFFu;
                    float w = k < 2 ? weights[k] : 0.0f;
                    std::memcpy(&pos[at + 12 + 8 * k], &bone, 4);
                    std::memcpy(&pos[at + 16 + 8 * k], &w, 4);
                }
                tessel::ModelNormal n;
                n.normal = TestNormal(li, i);
                n.tangent = {1.0f + i, 0.25f, -0.5f};
                n.binormal = {-0.375f, 2.0f + i, 0.75f};
                normals_[t.frame].push_back(n);
            }
        }
        for (size_t f = 0; f < frames.size(); ++f) {
            tessel::ModelFrame& fr = frameRecords_[f];
            fr.maxWeights = maxWeights;
            fr.positionStride = 12 + 8 * maxWeights;
            fr.positionCount = static_cast<int32_t>(normals_[f].size());
            fr.positions = positions_[f].empty() ? nullptr : positions_[f].data();
            fr.normalCount = fr.positionCount;
            fr.normals = normals_[f].empty() ? nullptr : normals_[f].data();
        }
        for (int slot = 0; slot < count; ++slot) {
            LayList(slot, order_[slot], firstPosition[slot]);
        }
        for (int slot = 0; slot < count; ++slot) {
            tessel::ModelFrame& fr = frameRecords_[lists[order_[slot]].frame];
            if (fr.meshCount++ == 0) {
                fr.meshes = &meshRecords_[slot];
            }
        }
        base_->meshCount = count;
        base_->meshes = count > 0 ? meshRecords_.data() : nullptr;
        base_->triangleListCount = count;
        base_->triangleLists = count > 0 ? listRecords_.data() : nullptr;
        base_->materialCount = count;
        base_->materials = count > 0 ? materials_.data() : nullptr;
        for (int slot = 0; slot < count; ++slot) {
            tessel::InitFrameChangeDescriptor(&meshRecords_[slot].drawChange, nullptr,
                                              static_cast<int>(frames.size()) + 1 + slot, 1);
        }
    }

    void LayList(int slot, int li, int firstPosition) {
        const TestList& t = lists[li];
        tessel::ModelMesh& mesh = meshRecords_[slot];
        tessel::ModelTriangleList& list = listRecords_[slot];
        tessel::ModelMaterial& material = materials_[slot];
        material.normalLayerCount = t.normalMap ? 1 : 0;
        material.diffuse[0] = 0.5f + slot;
        mesh.frame = &frameRecords_[t.frame];
        mesh.material = &material;
        mesh.initiallyVisible = t.visible;
        mesh.hasShape = t.shape ? 1 : 0;
        mesh.texCoordSetCount = t.sets;
        mesh.texCoordComponents = 2;
        mesh.vertexStride = 20 + 8 * t.sets;
        mesh.vertexCount = t.vertexCount;
        std::vector<uint8_t>& v = meshVertices_[slot];
        v.assign(static_cast<size_t>(mesh.vertexStride) * t.vertexCount, 0);
        for (int i = 0; i < t.vertexCount; ++i) {
            tessel::ModelMeshVertex vertex = {firstPosition + i, firstPosition + i,
                                              TestDiffuse(li, i), TestSpecular(li, i), 0};
            uint8_t* at = v.data() + static_cast<size_t>(mesh.vertexStride) * i;
            std::memcpy(at, &vertex, sizeof vertex);
            for (int s = 0; s < t.sets; ++s) {
                float uv[2] = {TestU(i, s), TestV(i, s)};
                std::memcpy(at + 20 + 8 * s, uv, 8);
            }
        }
        mesh.vertices = v.data();
        mesh.triangleListCount = 1;
        mesh.triangleLists = &list;

        list.mesh = &mesh;
        list.vertexType = static_cast<uint16_t>(t.vertexType);
        list.vertexCount = t.vertexCount;
        list.boneCount = 2;
        list.bones = bones_[slot].data();
        meshIndices_[slot].resize(t.vertexCount);
        gatheredPositions_[slot].resize(t.vertexCount);
        gatheredNormals_[slot].resize(t.vertexCount);
        for (int i = 0; i < t.vertexCount; ++i) {
            meshIndices_[slot][i] = static_cast<uint32_t>(i);
            gatheredPositions_[slot][i] = TestPosition(li, i);
            gatheredNormals_[slot][i] = TestNormal(li, i);
        }
        list.meshVertexIndices = meshIndices_[slot].data();
        list.positions = gatheredPositions_[slot].data();
        list.normals = gatheredNormals_[slot].data();
        for (int k = 0; k < t.triangles; ++k) {
            indices_[slot].push_back(static_cast<uint16_t>(k));
            indices_[slot].push_back(static_cast<uint16_t>(k + 1 + k % 2));
            indices_[slot].push_back(static_cast<uint16_t>(k + 2 - k % 2));
        }
        // The filtered list keeps the first triangle, turned.
        filtered_[slot] = {indices_[slot][2], indices_[slot][1], indices_[slot][0]};
        list.indexCount = static_cast<uint16_t>(indices_[slot].size());
        list.indices = indices_[slot].data();
        list.filteredIndexCount = 3;
        list.filteredIndices = filtered_[slot].data();
        const int bytes = t.vertexType == 0 ? 32 : (t.vertexType == 1 ? 48 : 64);
        list.vertexSize = static_cast<uint16_t>(bytes);
        sourceVertices_[slot].assign(static_cast<size_t>(bytes) * t.vertexCount + 16, 0);
        list.vertices = sourceVertices_[slot].data();
        tessel::GatherMeshVertices(&list);
    }

    void LaySkinBones() {
        const int n = static_cast<int>(skinBones.size());
        boneRecords_.assign(n, tessel::ModelSkinBone{});
        boneRefs_.clear();
        for (size_t f = 0; f < frames.size(); ++f) {
            tessel::ModelFrame& fr = frameRecords_[f];
            fr.firstSkinBoneRef = static_cast<int32_t>(boneRefs_.size());
            for (int b = 0; b < n; ++b) {
                if (skinBones[b].frame == static_cast<int>(f)) {
                    boneRefs_.push_back(&boneRecords_[b]);
                    ++fr.skinBoneRefCount;
                }
            }
        }
        // Each frame's run of the bones that name it, as the conversion's
        // sort by bone frame leaves them.
        for (int b = n - 1; b >= 0; --b) {
            tessel::ModelFrame& bone = frameRecords_[skinBones[b].boneFrame];
            bone.firstSkinBone = &boneRecords_[b];
            ++bone.skinBoneCount;
        }
        for (int b = 0; b < n; ++b) {
            boneRecords_[b].bind = skinBones[b].bind;
            boneRecords_[b].boneFrame = skinBones[b].boneFrame;
            boneRecords_[b].translationOnly = skinBones[b].translationOnly;
        }
        base_->skinBoneCount = n;
        base_->skinBones = n > 0 ? boneRecords_.data() : nullptr;
        base_->frameSkinBoneRefCount = static_cast<int32_t>(boneRefs_.size());
        base_->frameSkinBoneRefs = boneRefs_.empty() ? nullptr : boneRefs_.data();
    }

    int SlotOfList(int li) const {
        for (size_t s = 0; s < order_.size(); ++s) {
            if (order_[s] == li) {
                return static_cast<int>(s);
            }
        }
        return -1;
    }

    // Shapes are grouped by frame too; each has one shape mesh.
    void LayShapes() {
        const int n = static_cast<int>(shapes.size());
        shapeRecords_.assign(n, tessel::ModelShape{});
        shapeMeshRecords_.assign(n, tessel::ModelShapeMesh{});
        std::vector<int> shapeOrder;
        for (size_t f = 0; f < frames.size(); ++f) {
            for (int s = 0; s < n; ++s) {
                if (shapes[s].frame == static_cast<int>(f)) {
                    shapeOrder.push_back(s);
                }
            }
        }
        for (int k = 0; k < n; ++k) {
            const TestShape& t = shapes[shapeOrder[k]];
            tessel::ModelShape& shape = shapeRecords_[k];
            tessel::ModelFrame& fr = frameRecords_[t.frame];
            shape.frame = &fr;
            shape.shapeMeshCount = 1;
            shape.firstShapeMesh = k;
            if (fr.shapeCount++ == 0) {
                fr.firstShape = &shape;
            }
            tessel::ModelShapeMesh& mesh = shapeMeshRecords_[k];
            mesh.mesh = &meshRecords_[SlotOfList(t.list)];
            mesh.vertexCount = static_cast<int32_t>(t.deltas.size());
            mesh.data = const_cast<tessel::ModelShapeDelta*>(t.deltas.data());
        }
        base_->shapeCount = n;
        base_->shapes = n > 0 ? shapeRecords_.data() : nullptr;
        base_->shapeMeshCount = n;
        base_->shapeMeshes = n > 0 ? shapeMeshRecords_.data() : nullptr;
        for (size_t s = 0; s < order_.size(); ++s) {
            const tessel::ModelTriangleList& list = listRecords_[s];
            if (list.mesh->hasShape == 0) {
                continue;
            }
            base_->shapeEntryBytes += 24 * list.mesh->vertexCount;
            base_->shapeVertexBytes[list.vertexType] += list.vertexSize * list.vertexCount;
        }
    }

    void LayAnimations() {
        size_t keySetCount = 0;
        size_t animCount = 0;
        for (const TestAnimSet& set : animSets) {
            animCount += set.anims.size();
            for (const TestAnim& anim : set.anims) {
                keySetCount += anim.keySets.size();
            }
        }
        keySetRecords_.assign(keySetCount, tessel::ModelKeySet{});
        animRecords_.assign(animCount, tessel::ModelAnim{});
        setRecords_.assign(animSets.size(), tessel::ModelAnimSet{});
        size_t nextKeySet = 0;
        size_t nextAnim = 0;
        for (size_t s = 0; s < animSets.size(); ++s) {
            TestAnimSet& t = animSets[s];
            tessel::ModelAnimSet& set = setRecords_[s];
            set.additive = t.additive;
            set.matrixMode = t.matrixMode;
            set.animCount = static_cast<int32_t>(t.anims.size());
            set.anims = &animRecords_[nextAnim];
            for (TestAnim& ta : t.anims) {
                tessel::ModelAnim& anim = animRecords_[nextAnim++];
                anim.frame = ta.frame;
                anim.keySetCount = static_cast<int32_t>(ta.keySets.size());
                anim.keySets = anim.keySetCount > 0 ? &keySetRecords_[nextKeySet] : nullptr;
                for (TestKeySet& tk : ta.keySets) {
                    tessel::ModelKeySet& keys = keySetRecords_[nextKeySet++];
                    keys.kind = tk.kind;
                    keys.target = tk.target;
                    keys.shapeIndex = tk.shapeIndex;
                    const int floats = tk.kind == 0 || tk.kind == 7 ? 4 : (tk.kind == 1 ? 3 : 1);
                    keys.keyCount = static_cast<int32_t>(tk.values.size()) / floats;
                    keys.hasTimeTable = tk.times.empty() ? 0 : 1;
                    keys.times = tk.times.empty() ? nullptr : tk.times.data();
                    keys.startTime = tk.start;
                    keys.timeStep = tk.step;
                    keys.values = tk.values.data();
                }
            }
        }
        base_->keySetCount = static_cast<int32_t>(keySetCount);
        base_->keySets = keySetRecords_.empty() ? nullptr : keySetRecords_.data();
        base_->animCount = static_cast<int32_t>(animCount);
        base_->anims = animRecords_.empty() ? nullptr : animRecords_.data();
        base_->animSetCount = static_cast<int32_t>(setRecords_.size());
        base_->animSets = setRecords_.empty() ? nullptr : setRecords_.data();
    }

    int handle_ = -1;
    tessel::ModelBase* base_ = nullptr;
    std::vector<int> order_;
    std::vector<tessel::ModelFrame> frameRecords_;
    std::vector<std::vector<uint32_t>> maskWords_;
    std::vector<tessel::ModelMesh> meshRecords_;
    std::vector<tessel::ModelTriangleList> listRecords_;
    std::vector<tessel::ModelMaterial> materials_;
    std::vector<std::vector<uint8_t>> meshVertices_;
    std::vector<std::vector<uint32_t>> meshIndices_;
    std::vector<std::vector<uint16_t>> indices_;
    std::vector<std::vector<uint16_t>> filtered_;
    std::vector<std::vector<tessel::Vec3>> gatheredPositions_;
    std::vector<std::vector<tessel::Vec3>> gatheredNormals_;
    std::vector<std::vector<uint8_t>> sourceVertices_;
    std::vector<std::vector<int32_t>> bones_;
    std::vector<std::vector<uint8_t>> positions_;
    std::vector<std::vector<tessel::ModelNormal>> normals_;
    std::vector<tessel::ModelSkinBone> boneRecords_;
    std::vector<tessel::ModelSkinBone*> boneRefs_;
    std::vector<tessel::ModelShape> shapeRecords_;
    std::vector<tessel::ModelShapeMesh> shapeMeshRecords_;
    std::vector<tessel::ModelKeySet> keySetRecords_;
    std::vector<tessel::ModelAnim> animRecords_;
    std::vector<tessel::ModelAnimSet> setRecords_;
};

// A model of a stored base in a slot reserved as the loader reserves it; the
// handle, or -1.
inline int CreateTestModel(int baseHandle) {
    int handle = tessel::NewModelHandle();
    if (handle == -1) {
        return -1;
    }
    return tessel::CreateModelFromBase(handle, baseHandle) == 0 ? handle : -1;
}

}  // namespace tessel_test
