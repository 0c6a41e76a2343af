// Indexed triangle surface and the normal derivations run on every fresh mesh.
#pragma once

#include <cstdint>
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

// Unit face normal (P1 − P0) × (P2 − P0) / |…| of every face, right-hand rule
// on the file's corner order. A degenerate face gets the zero vector.
void computeFaceNormals(TriMesh& mesh);

// Vertex normal = normalised sum of the unit normals of the incident faces,
// each face weighted 1. A vertex of no face (or whose face normals cancel)
// gets the zero vector. Run after computeFaceNormals.
void computeVertexNormals(TriMesh& mesh);

// Area of face `face` (0-based, must exist): 0.5 · |(P1 − P0) × (P2 − P0)|, in float.
float faceArea(const TriMesh& mesh, int32_t face);

// Corner positions of a face, in face order.
inline void facePositions(const TriMesh& mesh, const MeshFace& f, Vec3& p0, Vec3& p1, Vec3& p2) {
    p0 = mesh.vertices[f.v[0]].pos;
    p1 = mesh.vertices[f.v[1]].pos;
    p2 = mesh.vertices[f.v[2]].pos;
}

} // namespace quorax
