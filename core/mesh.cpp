#include "mesh.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <string>
#include <vector>

#include "parallel.h"

namespace quorax {

namespace {

bool isDeleted(std::span<const uint32_t> flags, std::size_t face) {
    return !flags.empty() && (flags[face] & kDeletedFlag) != 0;
}

} // namespace

void computeFaceNormals(TriMesh& mesh, NormalRule rule, std::span<const uint32_t> faceFlags) {
    assert(faceFlags.empty() || faceFlags.size() == mesh.faces.size());
    parallelRanges(mesh.faces.size(), 4096, [&](std::size_t first, std::size_t last) {
        for (std::size_t i = first; i < last; ++i) {
            if (isDeleted(faceFlags, i)) continue;
            MeshFace& f = mesh.faces[i];
            Vec3 p0, p1, p2;
            facePositions(mesh, f, p0, p1, p2);
            const Vec3 n = cross(p1 - p0, p2 - p0);
            f.normal = rule == NormalRule::Unit ? normalize(n) : n;
        }
    });
}

void computeVertexNormals(TriMesh& mesh, NormalRule rule, std::span<const uint32_t> faceFlags) {
    assert(faceFlags.empty() || faceFlags.size() == mesh.faces.size());
    // Every incident face adds its normal as computeFaceNormals scaled it, in
    // face order. Each thread owns a range of vertices and goes through all
    // faces for them, so every sum keeps that order.
    const std::size_t vertices = mesh.vertices.size();
    const std::size_t threads = static_cast<std::size_t>(workerThreads());
    const std::size_t span = (vertices + threads - 1) / std::max<std::size_t>(threads, 1);
    parallelRanges(threads, 1, [&](std::size_t firstPart, std::size_t lastPart) {
        const int64_t lo = static_cast<int64_t>(std::min(vertices, firstPart * span));
        const int64_t hi = static_cast<int64_t>(std::min(vertices, lastPart * span));
        for (int64_t v = lo; v < hi; ++v) mesh.vertices[static_cast<std::size_t>(v)].normal = {0.0f, 0.0f, 0.0f};
        for (std::size_t i = 0; i < mesh.faces.size(); ++i) {
            if (isDeleted(faceFlags, i)) continue;
            for (int32_t c : mesh.faces[i].v)
                if (c >= lo && c < hi) mesh.vertices[static_cast<std::size_t>(c)].normal += mesh.faces[i].normal;
        }
        if (rule == NormalRule::Unit)
            for (int64_t v = lo; v < hi; ++v) {
                Vec3& n = mesh.vertices[static_cast<std::size_t>(v)].normal;
                n = normalize(n);
            }
    });
}

float faceArea(const TriMesh& mesh, int32_t face) {
    assert(face >= 0 && face < mesh.faceCount());
    Vec3 p0, p1, p2;
    facePositions(mesh, mesh.faces[face], p0, p1, p2);
    return 0.5f * length(cross(p1 - p0, p2 - p0));
}

namespace {

int32_t removeNonFinite(TriMesh& mesh, std::vector<uint32_t>* flags) {
    std::vector<char> finite(mesh.faces.size());
    parallelRanges(mesh.faces.size(), 4096, [&](std::size_t first, std::size_t last) {
        for (std::size_t i = first; i < last; ++i) {
            const MeshFace& f = mesh.faces[i];
            Vec3 p0, p1, p2;
            facePositions(mesh, f, p0, p1, p2);
            // The area as faceArea() computes it, from the corners at hand.
            finite[i] = isFinite(p0) && isFinite(p1) && isFinite(p2) &&
                        std::isfinite(0.5f * length(cross(p1 - p0, p2 - p0))) && std::isfinite(f.power);
        }
    });
    std::size_t kept = 0;
    for (std::size_t i = 0; i < mesh.faces.size(); ++i)
        if (finite[i]) {
            if (flags) (*flags)[kept] = (*flags)[i];
            if (kept != i) mesh.faces[kept] = mesh.faces[i];
            ++kept;
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
