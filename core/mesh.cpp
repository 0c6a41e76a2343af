#include "mesh.h"

#include <cassert>

namespace quorax {

void computeFaceNormals(TriMesh& mesh) {
    for (MeshFace& f : mesh.faces) {
        Vec3 p0, p1, p2;
        facePositions(mesh, f, p0, p1, p2);
        f.normal = normalize(cross(p1 - p0, p2 - p0));
    }
}

void computeVertexNormals(TriMesh& mesh) {
    for (MeshVertex& v : mesh.vertices) v.normal = {0.0f, 0.0f, 0.0f};
    // Every incident face adds its unit normal, whatever its area.
    for (const MeshFace& f : mesh.faces)
        for (int c = 0; c < 3; ++c) mesh.vertices[f.v[c]].normal += f.normal;
    for (MeshVertex& v : mesh.vertices) v.normal = normalize(v.normal);
}

float faceArea(const TriMesh& mesh, int32_t face) {
    assert(face >= 0 && face < mesh.faceCount());
    Vec3 p0, p1, p2;
    facePositions(mesh, mesh.faces[face], p0, p1, p2);
    return 0.5f * length(cross(p1 - p0, p2 - p0));
}

} // namespace quorax
