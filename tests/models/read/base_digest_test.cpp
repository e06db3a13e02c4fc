// Fingerprints of whole converted bases: the base block byte for byte (its
// own pointers as offsets), and the vertex-block arrays, triangle lists and
// key bytes as far as they are written. Each of a few models, read through
// every reader built on the read model and through the conversion alone,
// must keep the fingerprint it had when its figure was taken: a change to
// how readers store what they read, or to how the conversion works, may
// make it faster but must leave every byte of the base as it was.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/memory/memory.h"
#include "models/core/model_system.h"
#include "models/loading/model_loading.h"
#include "models/read/read_model_conversion.h"
#include "tests/models/model_test_support.h"
#include "tests/models/read/conversion_fixture.h"
#include "tests/models/xfile/x_sample_models.h"

namespace tessel_test {
namespace {

class Digest {
  public:
    void Add(const void* p, size_t n) {
        const auto* bytes = static_cast<const uint8_t*>(p);
        for (size_t i = 0; i < n; ++i) {
            hash_ = (hash_ ^ bytes[i]) * 0x100000001B3ull;
        }
    }
    template <typename T>
    void AddArray(const T* p, int64_t count) {
        if (p != nullptr && count > 0) {
            Add(p, sizeof(T) * static_cast<size_t>(count));
        }
    }
    uint64_t value() const { return hash_; }

  private:
    uint64_t hash_ = 0xCBF29CE484222325ull;
};

uint32_t TrackedSize(const void* data) {
    const auto* header = reinterpret_cast<const tessel::TrackedBlockHeader*>(
        static_cast<const uint8_t*>(data) - tessel::kTrackedDataOffset);
    return header->size;
}

// The base block word by word: a word pointing into the block or into the
// vertex block becomes its region and offset; a word pointing elsewhere
// (a tracked text, a device object) is left out, as its value changes from
// run to run; any other word counts as it is.
void AddBaseBlock(const tessel::ModelBase& b, Digest* d) {
    const auto* start = reinterpret_cast<const uint8_t*>(&b);
    const uint32_t size = TrackedSize(&b);
    const auto* vertex = static_cast<const uint8_t*>(b.vertexBlock.block);
    const uint32_t vertexSize = vertex != nullptr ? TrackedSize(vertex) : 0;
    // The handle, the instance count and the textures' image handles tell
    // slots taken, not the model.
    std::vector<uint8_t> copy(start, start + size);
    std::memset(copy.data(), 0, 8);
    for (int i = 0; i < b.textureCount; ++i) {
        const auto* field = reinterpret_cast<const uint8_t*>(&b.textures[i].imageHandle);
        if (field >= start && field + 4 <= start + size) {
            std::memset(copy.data() + (field - start), 0, 4);
        }
    }
    for (uint32_t at = 0; at + 8 <= size; at += 8) {
        uint64_t word = 0;
        std::memcpy(&word, copy.data() + at, 8);
        const auto* p = reinterpret_cast<const uint8_t*>(word);
        uint64_t out[2] = {0, word};
        if (p >= start && p < start + size) {
            out[0] = 1;
            out[1] = static_cast<uint64_t>(p - start);
        } else if (vertex != nullptr && p >= vertex && p <= vertex + vertexSize) {
            out[0] = 2;
            out[1] = static_cast<uint64_t>(p - vertex);
        } else if (word >= 0x10000 && word < (1ull << 47) && word % 8 == 0) {
            out[0] = 3;
            out[1] = 0;
        }
        d->Add(out, sizeof out);
    }
    for (const char* text : {b.name, b.filePath, b.directory}) {
        d->Add(text != nullptr ? text : "", text != nullptr ? std::strlen(text) + 1 : 1);
    }
}

// A frame's position records up to each end marker; the slots behind it are
// never written.
void AddPositions(const tessel::ModelFrame& f, Digest* d) {
    const int pairs = (f.positionStride - 12) / 8;
    for (int p = 0; p < f.positionCount; ++p) {
        const uint8_t* record = f.positions + static_cast<size_t>(p) * f.positionStride;
        d->Add(record, 12);
        for (int k = 0; k < pairs; ++k) {
            d->Add(record + 12 + 8 * k, 8);
            uint32_t bone = 0;
            std::memcpy(&bone, record + 12 + 8 * k, 4);
            if (bone == 0xFFFFFFFFu) {
                break;
            }
        }
    }
}

void AddList(const tessel::ModelTriangleList& l, Digest* d) {
    d->AddArray(l.vertices, int64_t{l.vertexCount} * l.vertexSize);
    d->AddArray(l.bones, l.boneCount);
    d->AddArray(l.meshVertexIndices, l.vertexCount);
    d->AddArray(l.positions, l.vertexCount);
    d->AddArray(l.normals, l.vertexCount);
    d->AddArray(l.indices, l.indexCount);
    d->AddArray(l.filteredIndices, l.filteredIndexCount);
}

uint64_t BaseDigest(int handle) {
    const tessel::ModelBase* b = tessel::GetModelBase(handle);
    if (b == nullptr) {
        return 0;
    }
    Digest d;
    AddBaseBlock(*b, &d);
    for (int i = 0; i < b->frameCount; ++i) {
        const tessel::ModelFrame& f = b->frames[i];
        AddPositions(f, &d);
        d.AddArray(f.normals, f.normalCount);
        d.Add(f.name != nullptr ? f.name : "", f.name != nullptr ? std::strlen(f.name) + 1 : 1);
    }
    for (int i = 0; i < b->meshCount; ++i) {
        const tessel::ModelMesh& m = b->meshes[i];
        d.AddArray(m.vertices, int64_t{m.vertexCount} * m.vertexStride);
        d.AddArray(m.triangles, m.triangleCount);
    }
    for (int i = 0; i < b->triangleListCount; ++i) {
        AddList(b->triangleLists[i], &d);
    }
    d.AddArray(static_cast<const uint8_t*>(b->keyData), b->keyDataUsed);
    return d.value();
}

// Two materials, texture coordinates and colours, triangles and quads, an
// object mirrored across x, and a child object one level deeper.
std::string SampleMqo() {
    return "Metasequoia Document\r\nFormat Text Ver 1.0\r\n\r\n"
           "Material 2 {\r\n"
           "\t\"red\" col(0.900 0.200 0.100 1.000) dif(0.750) amb(0.250) emi(0.125) spc(0.500) "
           "power(7.50)\r\n"
           "\t\"blue\" col(0.100 0.200 0.900 0.500) dif(1.000) amb(0.000) emi(0.000) spc(0.000) "
           "power(5.00)\r\n"
           "}\r\n"
           "Object \"body\" {\r\n\tdepth 0\r\n\tfacet 59.5\r\n\tmirror 1\r\n\tmirror_axis 1\r\n"
           "\tvertex 6 {\r\n\t\t0 0 0\r\n\t\t1.5 0 0\r\n\t\t1.5 2 0\r\n\t\t0 2 0\r\n"
           "\t\t0.75 3 0.5\r\n\t\t2.25 1 -0.5\r\n\t}\r\n"
           "\tface 4 {\r\n"
           "\t\t4 V(0 1 2 3) M(0) UV(0 0 1 0 1 1 0 1)\r\n"
           "\t\t3 V(3 2 4) M(1) UV(0 1 1 1 0.5 0.25) COL(4278190335 4278255360 4294901760)\r\n"
           "\t\t3 V(1 5 2) M(0)\r\n"
           "\t\t4 V(2 5 4 3) M(1) COL(4294967295 4278190080 4278190335 4278255360)\r\n"
           "\t}\r\n}\r\n"
           "Object \"arm\" {\r\n\tdepth 1\r\n\tfacet 30\r\n"
           "\tvertex 4 {\r\n\t\t0 0 1\r\n\t\t1 0 1\r\n\t\t1 1 1.25\r\n\t\t0 1 1\r\n\t}\r\n"
           "\tface 2 {\r\n\t\t3 V(0 1 2) M(0)\r\n\t\t4 V(0 2 3 1) M(1)\r\n\t}\r\n}\r\n"
           "Eof\r\n";
}

// A grid of quads cut into triangles over bone frames in a chain, every
// position moved by two to four bones, as the conversion benchmark has it.
void FillSkinnedGrid(ConversionModel* m, int grid, int bones) {
    tessel::ReadModelFrame* root = tessel::ReadModelNewFrame(&m->model, "body", nullptr);
    tessel::ReadModelFrame* parent = root;
    for (int b = 0; b < bones; ++b) {
        parent = tessel::ReadModelNewFrame(&m->model, "bone", parent);
        parent->translation = {0.5f, 0.0f, 0.125f * b};
    }
    const int side = grid + 1;
    std::vector<tessel::Vec3> positions;
    std::vector<std::vector<tessel::ReadModelSkinWeightPair>> weights(bones);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const int p = y * side + x;
            positions.push_back({0.5f * x, 0.25f * (x % 7), 0.5f * y});
            const int first = (x * bones) / side;
            const int count = 2 + (x + y) % 3;
            for (int k = 0; k < count; ++k) {
                weights[(first + k) % bones].push_back({p, 1.0f / static_cast<float>(count)});
            }
        }
    }
    std::vector<TriangleCorners> triangles;
    for (int y = 0; y < grid; ++y) {
        for (int x = 0; x < grid; ++x) {
            const int a = y * side + x;
            triangles.push_back({{a, a + side, a + 1}});
            triangles.push_back({{a + 1, a + side, a + side + 1}});
        }
    }
    tessel::ReadModelMesh* mesh = m->AddMesh(root, positions, triangles);
    for (int b = 0; b < bones; ++b) {
        m->AddBone(mesh, 1 + b, weights[b], -0.5f * b);
    }
}

class BaseDigestTest : public ModelSystemTest {
  protected:
    int Load(int (*reader)(const tessel::ModelLoadParams*), const std::vector<uint8_t>& file,
             const char* path) {
        std::vector<uint8_t> image = file;
        image.push_back(0);
        const tessel::ModelLoadParams params = {
            image.data(), static_cast<int32_t>(file.size()), path, "model", "/", nullptr};
        return reader(&params);
    }
    void ExpectDigest(int handle, uint64_t expected) {
        ASSERT_GE(handle, 0) << Log();
        EXPECT_EQ(BaseDigest(handle), expected) << std::hex << BaseDigest(handle);
        tessel::ReleaseModelBase(handle);
    }
};

TEST_F(BaseDigestTest, ASkinnedGridConvertsToTheSameBase) {
    ConversionModel m;
    FillSkinnedGrid(&m, 24, 8);
    ExpectDigest(tessel::ConvertReadModel(&m.model, nullptr, nullptr), 2307808608121862096ull);
    // The same again, with another slot and fresh blocks.
    ConversionModel again;
    FillSkinnedGrid(&again, 24, 8);
    ExpectDigest(tessel::ConvertReadModel(&again.model, nullptr, nullptr), 2307808608121862096ull);
}

TEST_F(BaseDigestTest, TheFullXModelLoadsToTheSameBase) {
    ExpectDigest(Load(tessel::LoadXModel, FullModel(XForm::kText), "full.x"),
                 11625801697326919860ull);
}

TEST_F(BaseDigestTest, AnXGridLoadsToTheSameBase) {
    ExpectDigest(Load(tessel::LoadXModel, GridModel(XForm::kText, 2000), "grid.x"),
                 14345039097555445431ull);
}

TEST_F(BaseDigestTest, AnMqoModelLoadsToTheSameBase) {
    const std::string text = SampleMqo();
    ExpectDigest(
        Load(tessel::LoadMqoModel, std::vector<uint8_t>(text.begin(), text.end()), "sample.mqo"),
        6692616385247003718ull);
}

}  // namespace
}  // namespace tessel_test
