// Indexed triangle surface and the normal derivations run on every fresh mesh.
#pragma once

#include <cstdint>
#include <string>
#include <span>
#include <vector>

#include "vec3.h"

namespace quorax {

struct MeshVertex {
    Vec3 pos;              // position as read
    Vec3 normal;           // vertex normal; zero after reading
    float potential = 0.0f; // sampled potential; zero after reading
};

struct MeshFace {
    int32_t v[3] = {0, 0, 0}; // 0-based corner indices, file order
    Vec3 normal;              // face normal; zero after reading
    float power = 0.0f;       // area × mean |corner potential|; zero after reading
    bool seeded = false;      // set by the seeding step
};

// The surface. Every index in a face lies in 0 .. vertexCount() - 1: the
// readers drop faces that would break this, and all steps rely on it.
struct TriMesh {
    std::vector<MeshVertex> vertices; // file order
    std::vector<MeshFace> faces;      // file order
    bool loaded = false;              // set by a reader once it has finished

    int32_t vertexCount() const { return static_cast<int32_t>(vertices.size()); }
    int32_t faceCount() const { return static_cast<int32_t>(faces.size()); }
    void clear() {
        vertices.clear();
        faces.clear();
        loaded = false;
    }
};

// How the normals of a surface are scaled.
enum class NormalRule {
    Unit,          // console tool: unit face normals; vertex normal the normalised sum
    Unnormalised,  // viewer: face normal (P1 − P0) × (P2 − P0), twice the face area long;
                   // vertex normal the plain sum
};

// Bit 0 of a face's flag word marks it deleted: the steps given flags skip it.
constexpr uint32_t kDeletedFlag = 1u;

// Face normal (P1 − P0) × (P2 − P0) of every face, right-hand rule on the
// file's corner order, scaled by `rule`; a degenerate face gets the zero
// vector under NormalRule::Unit. `faceFlags`, when not empty, holds one flag
// word per face: deleted faces keep the normal they had.
void computeFaceNormals(TriMesh& mesh, NormalRule rule = NormalRule::Unit,
                        std::span<const uint32_t> faceFlags = {});

// Vertex normal = sum of the normals of the incident faces that are not
// deleted, normalised under NormalRule::Unit (each face weighted 1 there, by
// twice its area under Unnormalised). A vertex of no face (or whose face
// normals cancel) gets the zero vector. Run after computeFaceNormals.
void computeVertexNormals(TriMesh& mesh, NormalRule rule = NormalRule::Unit,
                          std::span<const uint32_t> faceFlags = {});

// Area of face `face` (0-based, must exist): 0.5 · |(P1 − P0) × (P2 − P0)|, in float.
float faceArea(const TriMesh& mesh, int32_t face);

// Removes, keeping the order of the others, every face with a corner that is
// not finite or whose area or power is not finite (a vertex so far out that
// the products overflow). Vertices stay, so indices keep their meaning.
// Returns the number of faces removed. Run after reading, to keep such faces
// out of the normals, and again after mapping the potential.
int32_t removeNonFiniteFaces(TriMesh& mesh);
// The same, keeping `faceFlags` (one entry per face) parallel to the faces.
int32_t removeNonFiniteFaces(TriMesh& mesh, std::vector<uint32_t>& faceFlags);

// The warning for `removed` such faces of the surface file `path` (`what`:
// "OBJ mesh", "PLY model" ...).
std::string nonFiniteFacesWarning(const std::string& what, const std::string& path, int32_t removed);

// Corner positions of a face, in face order.
inline void facePositions(const TriMesh& mesh, const MeshFace& f, Vec3& p0, Vec3& p1, Vec3& p2) {
    p0 = mesh.vertices[f.v[0]].pos;
    p1 = mesh.vertices[f.v[1]].pos;
    p2 = mesh.vertices[f.v[2]].pos;
}

} // namespace quorax
