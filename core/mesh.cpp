#include "mesh.h"

#include <string>

#include <cassert>
#include <cmath>

namespace quorax {

namespace {

bool isDeleted(std::span<const uint32_t> flags, std::size_t face) {
    return !flags.empty() && (flags[face] & kDeletedFlag) != 0;
}

} // namespace

void computeFaceNormals(TriMesh& mesh, NormalRule rule, std::span<const uint32_t> faceFlags) {
    assert(faceFlags.empty() || faceFlags.size() == mesh.faces.size());
    for (std::size_t i = 0; i < mesh.faces.size(); ++i) {
        if (isDeleted(faceFlags, i)) continue;
        MeshFace& f = mesh.faces[i];
        Vec3 p0, p1, p2;
        facePositions(mesh, f, p0, p1, p2);
        const Vec3 n = cross(p1 - p0, p2 - p0);
        f.normal = rule == NormalRule::Unit ? normalize(n) : n;
    }
}

void computeVertexNormals(TriMesh& mesh, NormalRule rule, std::span<const uint32_t> faceFlags) {
    assert(faceFlags.empty() || faceFlags.size() == mesh.faces.size());
    for (MeshVertex& v : mesh.vertices) v.normal = {0.0f, 0.0f, 0.0f};
    // Every incident face adds its normal as computeFaceNormals scaled it.
    for (std::size_t i = 0; i < mesh.faces.size(); ++i) {
        if (isDeleted(faceFlags, i)) continue;
        for (int32_t c : mesh.faces[i].v) mesh.vertices[c].normal += mesh.faces[i].normal;
    }
    if (rule == NormalRule::Unit)
        for (MeshVertex& v : mesh.vertices) v.normal = normalize(v.normal);
}

float faceArea(const TriMesh& mesh, int32_t face) {
    assert(face >= 0 && face < mesh.faceCount());
    Vec3 p0, p1, p2;
    facePositions(mesh, mesh.faces[face], p0, p1, p2);
    return 0.5f * length(cross(p1 - p0, p2 - p0));
}

namespace {

int32_t removeNonFinite(TriMesh& mesh, std::vector<uint32_t>* flags) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < mesh.faces.size(); ++i) {
        const MeshFace& f = mesh.faces[i];
        Vec3 p0, p1, p2;
        facePositions(mesh, f, p0, p1, p2);
        const bool finite = isFinite(p0) && isFinite(p1) && isFinite(p2) &&
                            std::isfinite(faceArea(mesh, static_cast<int32_t>(i))) && std::isfinite(f.power);
        if (!finite) continue;
        if (flags) (*flags)[kept] = (*flags)[i];
        mesh.faces[kept++] = f;
    }
    const int32_t removed = static_cast<int32_t>(mesh.faces.size() - kept);
    mesh.faces.resize(kept);
    if (flags) flags->resize(kept);
    return removed;
}

} // namespace

int32_t removeNonFiniteFaces(TriMesh& mesh) { return removeNonFinite(mesh, nullptr); }

int32_t removeNonFiniteFaces(TriMesh& mesh, std::vector<uint32_t>& faceFlags) {
    return removeNonFinite(mesh, &faceFlags);
}

std::string nonFiniteFacesWarning(const std::string& what, const std::string& path, int32_t removed) {
    return what + " \"" + path + "\": " + std::to_string(removed) + (removed == 1 ? " face was" : " faces were") +
           " left out: a corner is not a finite number, or the face's area or power is not finite";
}

} // namespace quorax
