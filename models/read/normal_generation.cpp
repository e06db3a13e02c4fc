// Normal generation: each face gets its plane normal, then every corner's
// normal is the normalised sum over a fan of faces found by walking around the
// corner's position, edge by edge, while neighbouring faces stay within the
// smoothing angle. A fan is one shared normal; the normals the faces end up
// using are compacted in order of first use.
// Routes: ValidateAndComputeFaceNormals, the two work buffers, FanWalk
// (ChooseNeighbour picks among faces sharing an edge), CompactNormals.
#include <cmath>
#include <cstring>
#include <initializer_list>

#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "models/read/read_model.h"
#include "models/read/read_model_preparation.h"
#include "models/util/model_containers.h"

namespace tessel {

namespace {

constexpr float kDefaultSmoothingAngle = 1.5620697f;
// Faces a fan may hold; a larger fan closes at this size and its remaining
// corners start fans of their own.
constexpr int kMaxFanFaces = 1024;
constexpr double kTwoPi = 6.283185307179586;

constexpr uint8_t kCornerDone = 1;
constexpr uint8_t kCornerInWalk = 2;
// In a fan that was cut at its size limit: later walks stop there.
constexpr uint8_t kCornerSealed = 4;

// A corner in its position's run, with the positions of its neighbours in
// its face, so that finding the faces on an edge reads only the run.
struct CornerRef {
    int32_t face;
    int32_t corner;
    int32_t nextPosition;
    int32_t previousPosition;
};

Vec3 Sub(const Vec3& a, const Vec3& b) {
    return Vec3{a.x - b.x, a.y - b.y, a.z - b.z};
}

float Dot(const Vec3& a, const Vec3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vec3 Cross(const Vec3& a, const Vec3& b) {
    return Vec3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// A zero (or not finite) vector stays zero rather than becoming NaN.
Vec3 Normalised(const Vec3& v) {
    const double x = v.x, y = v.y, z = v.z;
    const double length = std::sqrt(x * x + y * y + z * z);
    if (!(length > 0.0) || !std::isfinite(length)) {
        return Vec3{0.0f, 0.0f, 0.0f};
    }
    return Vec3{static_cast<float>(x / length), static_cast<float>(y / length),
                static_cast<float>(z / length)};
}

// A face record is large and the passes over them stride through memory
// that no cache holds; asking for the record a few faces ahead hides most of
// the wait.
constexpr int kFacesAhead = 8;

void AheadOfUse(const ReadModelMesh* mesh, int f) {
    if (f + kFacesAhead < mesh->faceCount) {
        const ReadModelFace* ahead = &mesh->faces[f + kFacesAhead];
        __builtin_prefetch(ahead);
        __builtin_prefetch(&ahead->corners[0].normal);
        __builtin_prefetch(&ahead->faceNormal);
    }
}

// Each face's plane normal from its first three corners (the other way
// round with reverseWinding), once its corners are known good. The number of
// corners, or -1 after a log line for a malformed face.
int64_t ValidateAndComputeFaceNormals(const ReadModel* model, ReadModelMesh* mesh) {
    int64_t corners = 0;
    for (int f = 0; f < mesh->faceCount; ++f) {
        AheadOfUse(mesh, f);
        ReadModelFace& face = mesh->faces[f];
        if (face.cornerCount < 3 || face.cornerCount > kReadModelFaceCorners) {
            WriteLogFormat(
                "Read Model Convert Error : 面 %d の頂点数 %d が扱える範囲 (3 から 32) の外です", f,
                face.cornerCount);
            return -1;
        }
        for (int k = 0; k < face.cornerCount; ++k) {
            const int32_t p = face.corners[k].position;
            if (p < 0 || p >= mesh->positionCount) {
                WriteLogFormat(
                    "Read Model Convert Error : 面 %d の頂点座標番号 %d が頂点数 %d の範囲外です",
                    f, p, mesh->positionCount);
                return -1;
            }
        }
        corners += face.cornerCount;
        const Vec3& p0 = mesh->positions[face.corners[0].position];
        const Vec3 a = Sub(mesh->positions[face.corners[1].position], p0);
        const Vec3 b = Sub(mesh->positions[face.corners[2].position], p0);
        face.faceNormal = Normalised(model->reverseWinding != 0 ? Cross(b, a) : Cross(a, b));
    }
    return corners;
}

// The first buffer: a normal, a flag byte, a fan slot and a compacted index
// per corner (21 bytes). The second: the corners that use each position, as
// runs that start where `runStart` says, and packed copies of the faces'
// corners and normals, so the walk reads no large face record.
struct NormalWork {
    void* perCorner = nullptr;
    void* perPosition = nullptr;
    Vec3* fanNormals = nullptr;
    uint8_t* flags = nullptr;
    int32_t* cornerFan = nullptr;
    int32_t* compacted = nullptr;
    int32_t* firstCorner = nullptr;     // faces + 1 entries
    int32_t* cornerPosition = nullptr;  // the faces' position indices, corner by corner
    Vec3* faceNormals = nullptr;        // the faces' normals, packed for the walk
    int32_t* runStart = nullptr;
    CornerRef* runs = nullptr;

    ~NormalWork() {
        FreeTracked(perCorner);
        FreeTracked(perPosition);
    }
};

bool AllocateWork(const ReadModelMesh* mesh, int64_t corners, NormalWork* work) {
    const uint64_t cornerBytes = static_cast<uint64_t>(corners) * 21;
    work->perCorner = cornerBytes == 0 || cornerBytes > UINT32_MAX
                          ? nullptr
                          : AllocTracked(static_cast<uint32_t>(cornerBytes), "", 0);
    if (work->perCorner == nullptr) {
        WriteLog(
            "Read Model Convert Error : 法線自動作成処理で格納する法線のメモリの確保に失敗しまし"
            "た\n");
        return false;
    }
    auto* bytes = static_cast<uint8_t*>(work->perCorner);
    const auto n = static_cast<size_t>(corners);
    work->fanNormals = reinterpret_cast<Vec3*>(bytes);
    work->cornerFan = reinterpret_cast<int32_t*>(bytes + 12 * n);
    work->compacted = reinterpret_cast<int32_t*>(bytes + 16 * n);
    work->flags = bytes + 20 * n;
    std::memset(work->flags, 0, n);

    const auto faces = static_cast<uint64_t>(mesh->faceCount);
    const uint64_t positionBytes = 20ull * static_cast<uint64_t>(corners) + 16ull * faces + 4 +
                                   4ull * (static_cast<uint64_t>(mesh->positionCount) + 1);
    work->perPosition = positionBytes > UINT32_MAX
                            ? nullptr
                            : AllocTracked(static_cast<uint32_t>(positionBytes), "", 0);
    if (work->perPosition == nullptr) {
        WriteLog(
            "Read Model Convert Error : 関係する面の情報を格納するメモリの確保に失敗しました\n");
        return false;
    }
    auto* at = static_cast<uint8_t*>(work->perPosition);
    work->runs = reinterpret_cast<CornerRef*>(at);
    at += sizeof(CornerRef) * n;
    work->faceNormals = reinterpret_cast<Vec3*>(at);
    at += 12 * faces;
    work->cornerPosition = reinterpret_cast<int32_t*>(at);
    at += 4 * n;
    work->firstCorner = reinterpret_cast<int32_t*>(at);
    at += 4 * (faces + 1);
    work->runStart = reinterpret_cast<int32_t*>(at);
    std::memset(work->runStart, 0, 4 * (static_cast<size_t>(mesh->positionCount) + 1));
    return true;
}

// Numbers the corners face by face, packs the faces' corners and normals and
// lists, per position, the corners that use it, in face order.
void ListCorners(const ReadModelMesh* mesh, NormalWork* work) {
    int32_t* start = work->runStart;
    int32_t corner = 0;
    for (int f = 0; f < mesh->faceCount; ++f) {
        AheadOfUse(mesh, f);
        const ReadModelFace& face = mesh->faces[f];
        work->firstCorner[f] = corner;
        work->faceNormals[f] = face.faceNormal;
        for (int k = 0; k < face.cornerCount; ++k) {
            ++start[face.corners[k].position + 1];
            work->cornerPosition[corner] = face.corners[k].position;
            work->cornerFan[corner] = corner;
            ++corner;
        }
    }
    work->firstCorner[mesh->faceCount] = corner;
    for (int p = 0; p < mesh->positionCount; ++p) {
        start[p + 1] += start[p];
    }
    // Fill each run from its start, then move the starts back.
    for (int f = 0; f < mesh->faceCount; ++f) {
        const int32_t first = work->firstCorner[f];
        for (int k = 0; first + k < work->firstCorner[f + 1]; ++k) {
            const int32_t last = work->firstCorner[f + 1] - first - 1;
            const int32_t* at = work->cornerPosition + first;
            work->runs[start[at[k]]++] =
                CornerRef{f, k, at[k == last ? 0 : k + 1], at[k == 0 ? last : k - 1]};
        }
    }
    for (int p = mesh->positionCount; p > 0; --p) {
        start[p] = start[p - 1];
    }
    start[0] = 0;
}

// One walk around a corner's position: the faces it takes, their normals
// summed.
class FanWalk {
  public:
    FanWalk(const ReadModelMesh* mesh, NormalWork* work, float limit)
        : mesh_(mesh), work_(work), limit_(limit) {}

    // Walks from the corner, then gives every recorded corner the fan's
    // normal, stored in the start corner's slot.
    void Run(int face, int corner) {
        start_ = face;
        recorded_ = 0;
        Record(face, corner);
        const bool closed = WalkOneWay(face, corner, true);
        if (!closed) {
            WalkOneWay(face, corner, false);
        }
        const uint8_t done = recorded_ == kMaxFanFaces ? kCornerDone | kCornerSealed : kCornerDone;
        Vec3 sum{0.0f, 0.0f, 0.0f};
        for (int i = 0; i < recorded_; ++i) {
            const Vec3& n = work_->faceNormals[fan_[i].face];
            sum = Vec3{sum.x + n.x, sum.y + n.y, sum.z + n.z};
        }
        const int32_t slot = CornerId(face, corner);
        work_->fanNormals[slot] = Normalised(sum);
        for (int i = 0; i < recorded_; ++i) {
            const int32_t id = CornerId(fan_[i].face, fan_[i].corner);
            work_->cornerFan[id] = slot;
            work_->flags[id] = done;
        }
    }

  private:
    struct Choice {
        int32_t face = -1;
        int32_t corner = 0;
        int32_t third = 0;  // the corner beside it off the edge
        bool sameDirection = false;
        double angle = 0.0;
    };

    // The angle from the current face to the candidate's third corner,
    // turning toward the current face's normal, in [0, 2 pi).
    double AngleOf(const Choice& choice, const Vec3& origin, const Vec3& across,
                   const Vec3& up) const {
        const Vec3 w = Sub(Point(choice.face, choice.third), origin);
        double angle =
            std::atan2(static_cast<double>(Dot(w, up)), static_cast<double>(Dot(w, across)));
        if (angle < 0.0) {
            angle += kTwoPi;
        }
        return angle;
    }

    int32_t CornerId(int face, int corner) const { return work_->firstCorner[face] + corner; }
    int CornerCount(int face) const {
        return work_->firstCorner[face + 1] - work_->firstCorner[face];
    }
    int Next(int face, int corner) const {
        return corner + 1 == CornerCount(face) ? 0 : corner + 1;
    }
    int Prev(int face, int corner) const {
        return corner == 0 ? CornerCount(face) - 1 : corner - 1;
    }
    int32_t PositionOf(int face, int corner) const {
        return work_->cornerPosition[CornerId(face, corner)];
    }
    const Vec3& Point(int face, int corner) const {
        return mesh_->positions[PositionOf(face, corner)];
    }
    const Vec3& NormalOf(int face) const { return work_->faceNormals[face]; }

    void Record(int face, int corner) {
        fan_[recorded_++] = FanEntry{face, corner};
        work_->flags[CornerId(face, corner)] |= kCornerInWalk;
    }

    bool MarkedInWalk(int face) const {
        for (int k = 0; k < CornerCount(face); ++k) {
            if ((work_->flags[CornerId(face, k)] & kCornerInWalk) != 0) {
                return true;
            }
        }
        return false;
    }

    bool SameTriangle(int a, int b) const {
        if (CornerCount(a) != CornerCount(b)) {
            return false;
        }
        for (int k = 0; k < CornerCount(a); ++k) {
            bool found = false;
            for (int j = 0; j < CornerCount(b) && !found; ++j) {
                found = PositionOf(a, k) == PositionOf(b, j);
            }
            if (!found) {
                return false;
            }
        }
        return true;
    }

    // The face across the edge from the current face's corner to its next
    // (or previous) corner: the one met first when the current face turns
    // about the edge toward the side its normal points to.
    Choice ChooseNeighbour(int face, int corner, int previous, bool towardNext) const {
        const int32_t p = PositionOf(face, corner);
        const int edgeCorner = towardNext ? Next(face, corner) : Prev(face, corner);
        const int32_t q = PositionOf(face, edgeCorner);
        const Vec3& origin = mesh_->positions[p];
        const Vec3& up = NormalOf(face);
        // The current face's direction away from the edge, across it; made
        // only when two faces compete.
        Vec3 across{0.0f, 0.0f, 0.0f};
        auto makeAcross = [&] {
            const int thirdCorner = towardNext ? Prev(face, corner) : Next(face, corner);
            const Vec3 edge = Sub(mesh_->positions[q], origin);
            across = Sub(Point(face, thirdCorner), origin);
            const float edgeSquared = Dot(edge, edge);
            if (edgeSquared > 0.0f) {
                const float along = Dot(across, edge) / edgeSquared;
                across = Vec3{across.x - edge.x * along, across.y - edge.y * along,
                              across.z - edge.z * along};
            }
        };

        Choice best;
        int candidates = 0;
        // A face across the edge uses both p and q; the shorter of their
        // corner runs finds it, so a corner shared by thousands of faces costs
        // no more than its rim.
        auto consider = [&](const CornerRef& c) {
            const int32_t g = c.face;
            const int kg = c.corner;
            const bool nextIsQ = c.nextPosition == q;
            const bool prevIsQ = c.previousPosition == q;
            if ((!nextIsQ && !prevIsQ) || g == face || g == previous ||
                (work_->flags[CornerId(g, kg)] & kCornerSealed) != 0 ||
                (g != start_ && MarkedInWalk(g))) {
                return;
            }
            // Toward next, the current face runs p to q: a face holding q
            // after p runs the edge the same way.
            const bool opposite = towardNext ? prevIsQ : nextIsQ;
            Choice choice;
            choice.face = g;
            choice.corner = kg;
            choice.sameDirection = !opposite;
            choice.third = (towardNext == opposite) ? Next(g, kg) : Prev(g, kg);
            // One candidate needs no angle; the first gets its own once a
            // second one comes.
            if (candidates++ == 0) {
                best = choice;
                return;
            }
            if (candidates == 2) {
                makeAcross();
                best.angle = AngleOf(best, origin, across, up);
            }
            choice.angle = AngleOf(choice, origin, across, up);
            if (choice.angle < best.angle ||
                (!choice.sameDirection && best.sameDirection && SameTriangle(g, best.face))) {
                best = choice;
            }
        };
        const int32_t* start = work_->runStart;
        if (start[p + 1] - start[p] <= start[q + 1] - start[q]) {
            for (int32_t r = start[p]; r < start[p + 1]; ++r) {
                consider(work_->runs[r]);
            }
            return best;
        }
        for (int32_t r = start[q]; r < start[q + 1]; ++r) {
            const CornerRef c = work_->runs[r];
            const int after = Next(c.face, c.corner);
            const int before = Prev(c.face, c.corner);
            // In face order, as the run of p would list them.
            const int first = after < before ? after : before;
            const int second = after < before ? before : after;
            for (int k : {first, second}) {
                if ((k == second && second == first) || PositionOf(c.face, k) != p) {
                    continue;
                }
                consider(CornerRef{c.face, k, PositionOf(c.face, Next(c.face, k)),
                                   PositionOf(c.face, Prev(c.face, k))});
            }
        }
        return best;
    }

    // True when the walk closed (came back to its start, or the fan is full).
    bool WalkOneWay(int face, int corner, bool towardNext) {
        int previous = -1;
        while (recorded_ < kMaxFanFaces) {
            const Choice next = ChooseNeighbour(face, corner, previous, towardNext);
            if (next.face < 0 || next.sameDirection) {
                return false;
            }
            if (Dot(NormalOf(next.face), NormalOf(face)) < limit_) {
                return false;
            }
            if (next.face == start_) {
                return true;
            }
            Record(next.face, next.corner);
            previous = face;
            face = next.face;
            corner = next.corner;
        }
        return true;
    }

  private:
    const ReadModelMesh* mesh_;
    NormalWork* work_;
    float limit_;
    int start_ = 0;
    int recorded_ = 0;
    struct FanEntry {
        int32_t face;
        int32_t corner;
    };
    FanEntry fan_[kMaxFanFaces];
};

float SmoothingLimit(const ReadModelMesh* mesh) {
    float angle = mesh->frame != nullptr ? mesh->frame->smoothingAngle : 0.0f;
    if (angle == 0.0f) {
        angle = kDefaultSmoothingAngle;
    }
    return std::cos(angle);
}

// The fans' normals in order of first use, the faces' normal indices
// renumbered; false after a log line when memory is short.
bool CompactNormals(ReadModel* model, ReadModelMesh* mesh, NormalWork* work, int64_t corners) {
    for (int64_t i = 0; i < corners; ++i) {
        work->compacted[i] = -1;
    }
    int32_t used = 0;
    for (int64_t i = 0; i < corners; ++i) {
        const int32_t fan = work->cornerFan[i];
        if (work->compacted[fan] < 0) {
            work->compacted[fan] = used++;
        }
    }
    auto* normals =
        static_cast<Vec3*>(AllocChainedBlock(static_cast<uint32_t>(used) * 12u, &model->blocks));
    if (normals == nullptr) {
        WriteLog(
            "Read Model Convert Error : 法線自動作成処理で格納する法線のメモリの確保に失敗しまし"
            "た _ 2\n");
        return false;
    }
    int32_t corner = 0;
    for (int f = 0; f < mesh->faceCount; ++f) {
        AheadOfUse(mesh, f);
        ReadModelFace& face = mesh->faces[f];
        for (int k = 0; k < face.cornerCount; ++k, ++corner) {
            const int32_t fan = work->cornerFan[corner];
            face.corners[k].normal = work->compacted[fan];
            normals[work->compacted[fan]] = work->fanNormals[fan];
        }
    }
    mesh->normals = normals;
    mesh->normalCount = used;
    return true;
}

}  // namespace

bool GenerateReadModelNormals(ReadModel* model, ReadModelMesh* mesh) {
    if (mesh->faceCount <= 0) {
        return true;
    }
    const int64_t corners = ValidateAndComputeFaceNormals(model, mesh);
    if (corners < 0) {
        return false;
    }
    NormalWork work;
    if (!AllocateWork(mesh, corners, &work)) {
        return false;
    }
    ListCorners(mesh, &work);
    FanWalk walk(mesh, &work, SmoothingLimit(mesh));
    for (int f = 0; f < mesh->faceCount; ++f) {
        for (int32_t corner = work.firstCorner[f]; corner < work.firstCorner[f + 1]; ++corner) {
            if ((work.flags[corner] & kCornerDone) == 0) {
                walk.Run(f, corner - work.firstCorner[f]);
            }
        }
    }
    return CompactNormals(model, mesh, &work, corners);
}

}  // namespace tessel
