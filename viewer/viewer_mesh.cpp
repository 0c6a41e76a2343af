#include "viewer_mesh.h"

#include <algorithm>

#include "obj_reader.h"
#include "ply_reader.h"

namespace quorax {

void ViewerMesh::clear() {
    tri.clear();
    vertexData.clear();
    faceFlags.clear();
    bboxMin = {1.0f, 1.0f, 1.0f};
    bboxMax = {-1.0f, -1.0f, -1.0f};
}

void ViewerMesh::resetViewerFields(std::array<uint8_t, 4> color) {
    ViewerVertexData v;
    v.color = color;
    vertexData.assign(tri.vertices.size(), v);
    faceFlags.assign(tri.faces.size(), 0u);
}

void deriveViewerMesh(ViewerMesh& mesh) {
    TriMesh& t = mesh.tri;
    mesh.bboxMin = {1.0f, 1.0f, 1.0f};
    mesh.bboxMax = {-1.0f, -1.0f, -1.0f};
    bool first = true;
    for (int32_t i = 0; i < t.vertexCount(); ++i) {
        if (mesh.vertexDeleted(i)) continue;
        const Vec3 p = t.vertices[i].pos;
        if (first) {
            mesh.bboxMin = mesh.bboxMax = p;
            first = false;
            continue;
        }
        mesh.bboxMin = {std::min(mesh.bboxMin.x, p.x), std::min(mesh.bboxMin.y, p.y), std::min(mesh.bboxMin.z, p.z)};
        mesh.bboxMax = {std::max(mesh.bboxMax.x, p.x), std::max(mesh.bboxMax.y, p.y), std::max(mesh.bboxMax.z, p.z)};
    }
    computeFaceNormals(t, NormalRule::Unnormalised, mesh.faceFlags);
    computeVertexNormals(t, NormalRule::Unnormalised, mesh.faceFlags);
}

std::string loadObjViewerMesh(ViewerMesh& mesh, const std::string& path, ReadStatus& status,
                              int32_t* skippedFaces) {
    mesh.clear();
    ObjReadOptions options;
    options.scanTextureLines = true;
    ObjReadResult r;
    status = readObjMeshFile(mesh.tri, path, &r, options);
    if (!status.ok()) mesh.tri.clear();
    if (skippedFaces) *skippedFaces = r.skippedFaces;
    mesh.resetViewerFields(kObjVertexColor);
    for (int32_t i = 0; i < mesh.vertexCount(); ++i) mesh.vertexData[i].exportIndex = i + 1; // running number
    deriveViewerMesh(mesh);
    return "OBJ ok: v " + std::to_string(mesh.vertexCount()) + " t " + std::to_string(mesh.faceCount());
}

ReadStatus loadPlyViewerMesh(ViewerMesh& mesh, const std::string& path) {
    mesh.clear();
    const ReadStatus status = readPlyMeshFile(mesh.tri, path);
    if (!status.ok()) mesh.tri.clear();
    mesh.resetViewerFields(kPlyVertexColor);
    deriveViewerMesh(mesh);
    return status;
}

} // namespace quorax
